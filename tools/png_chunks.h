// PNG chunks, for the PNG and APNG writers: a chunk is its data's length,
// its type, the data and the CRC-32 of type and data (zlib's crc32).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quenlixor {

inline constexpr unsigned char png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Appends a big-endian 32-bit or 16-bit number.
void put32(std::vector<unsigned char>& bytes, std::uint32_t value);
void put16(std::vector<unsigned char>& bytes, unsigned value);

// Starts a chunk: its length (filled in by end_chunk) and its type. Returns
// where the chunk starts.
std::size_t begin_chunk(std::vector<unsigned char>& bytes, const char (&type)[5]);

// Ends the chunk begun at `start`: its length, and the CRC of its type and
// data.
void end_chunk(std::vector<unsigned char>& bytes, std::size_t start);

// Recomputes the CRC of the whole chunk at `start`, after its data changed
// in place.
void renew_chunk_crc(std::vector<unsigned char>& bytes, std::size_t start);

}  // namespace quenlixor
