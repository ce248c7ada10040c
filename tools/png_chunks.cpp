// PNG chunks over zlib's CRC-32.
#include "tools/png_chunks.h"

#include <zlib.h>

namespace quenlixor {
namespace {

std::uint32_t read32(const std::vector<unsigned char>& bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

void write32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value) {
    for (int byte = 0; byte < 4; ++byte) {
        bytes[at + static_cast<std::size_t>(byte)] =
            static_cast<unsigned char>(value >> (24 - 8 * byte));
    }
}

std::uint32_t chunk_crc(const std::vector<unsigned char>& bytes, std::size_t start,
                        std::uint32_t length) {
    return static_cast<std::uint32_t>(
        crc32(crc32(0, nullptr, 0), bytes.data() + start + 4, static_cast<uInt>(length) + 4));
}

}  // namespace

void put32(std::vector<unsigned char>& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<unsigned char>(value >> shift));
    }
}

void put16(std::vector<unsigned char>& bytes, unsigned value) {
    bytes.push_back(static_cast<unsigned char>(value >> 8));
    bytes.push_back(static_cast<unsigned char>(value));
}

std::size_t begin_chunk(std::vector<unsigned char>& bytes, const char (&type)[5]) {
    const std::size_t start = bytes.size();
    put32(bytes, 0);
    bytes.insert(bytes.end(), type, type + 4);
    return start;
}

void end_chunk(std::vector<unsigned char>& bytes, std::size_t start) {
    const auto length = static_cast<std::uint32_t>(bytes.size() - start - 8);
    write32(bytes, start, length);
    put32(bytes, chunk_crc(bytes, start, length));
}

void renew_chunk_crc(std::vector<unsigned char>& bytes, std::size_t start) {
    const std::uint32_t length = read32(bytes, start);
    write32(bytes, start + 8 + length, chunk_crc(bytes, start, length));
}

}  // namespace quenlixor
