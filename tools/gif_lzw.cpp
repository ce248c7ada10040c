// The LZW coder of GIF image data.
//
// The dictionary is a table of child codes: for every code and symbol, the
// code of the string one symbol longer (0 for none; code 0 is a root and
// never a child). A code's row is cleared when the code is made, so the
// table needs no clearing beyond the roots.
#include "tools/gif_lzw.h"

#include <cstring>

namespace quenlixor {
namespace {

constexpr unsigned code_limit = 4096;  // codes are at most 12 bits
constexpr int widest_code = 12;
constexpr std::size_t sub_block_limit = 255;

struct Writer {
    std::vector<unsigned char>* out = nullptr;
    std::size_t block = 0;  // where the length of the open sub-block is
    std::uint64_t bits = 0;
    int bit_count = 0;
};

void put_byte(Writer& writer, std::uint8_t byte) {
    std::vector<unsigned char>& out = *writer.out;
    if (out[writer.block] == sub_block_limit) {
        writer.block = out.size();
        out.push_back(0);
    }
    out.push_back(byte);
    ++out[writer.block];
}

void put_code(Writer& writer, unsigned code, int width) {
    writer.bits |= static_cast<std::uint64_t>(code) << writer.bit_count;
    writer.bit_count += width;
    while (writer.bit_count >= 8) {
        put_byte(writer, static_cast<std::uint8_t>(writer.bits));
        writer.bits >>= 8;
        writer.bit_count -= 8;
    }
}

struct Dictionary {
    std::uint8_t* table = nullptr;
    std::size_t stride = 0;  // symbols per code
};

unsigned child(const Dictionary& dictionary, unsigned code, unsigned symbol) {
    std::uint16_t found = 0;
    std::memcpy(&found, dictionary.table + (code * dictionary.stride + symbol) * 2, 2);
    return found;
}

void make_child(const Dictionary& dictionary, unsigned code, unsigned symbol, unsigned made) {
    const auto value = static_cast<std::uint16_t>(made);
    std::memcpy(dictionary.table + (code * dictionary.stride + symbol) * 2, &value, 2);
    std::memset(dictionary.table + made * dictionary.stride * 2, 0, dictionary.stride * 2);
}

}  // namespace

std::size_t lzw_table_bytes(int code_size) {
    return code_limit * (std::size_t{1} << code_size) * 2;
}

void lzw_encode(const std::uint8_t* pixels, std::size_t count, int code_size,
                std::uint8_t transparent, bool prefer_transparent, std::uint8_t* table,
                std::vector<unsigned char>& out) {
    const unsigned clear = 1U << code_size;
    const unsigned end_code = clear + 1;
    const Dictionary dictionary{table, clear};
    std::memset(table, 0, (clear + 2) * dictionary.stride * 2);

    // For a pixel with lzw_either: the symbol tried first (and the one a new
    // string starts with) and the other.
    auto preferred = [&](std::uint8_t pixel) -> unsigned {
        const unsigned colour = pixel & lzw_colour;
        return prefer_transparent || colour >= clear ? transparent : colour;
    };
    auto other = [&](std::uint8_t pixel) -> unsigned {
        const unsigned colour = pixel & lzw_colour;
        return prefer_transparent || colour >= clear ? colour : transparent;
    };

    out.push_back(static_cast<std::uint8_t>(code_size));
    Writer writer;
    writer.out = &out;
    writer.block = out.size();
    out.push_back(0);
    int width = code_size + 1;
    unsigned free_code = clear + 2;
    put_code(writer, clear, width);

    unsigned current = (pixels[0] & lzw_either) != 0 ? preferred(pixels[0]) : pixels[0];
    for (std::size_t at = 1; at < count; ++at) {
        const std::uint8_t pixel = pixels[at];
        unsigned symbol = pixel;
        unsigned found = 0;
        if ((pixel & lzw_either) == 0) {
            found = child(dictionary, current, symbol);
        } else {
            symbol = preferred(pixel);
            found = child(dictionary, current, symbol);
            if (found == 0) {
                const unsigned second = other(pixel);
                if (second < clear) {
                    found = child(dictionary, current, second);
                }
            }
        }
        if (found != 0) {
            current = found;
            continue;
        }
        put_code(writer, current, width);
        if (free_code < code_limit) {
            make_child(dictionary, current, symbol, free_code);
            ++free_code;
            // The decoder makes this entry only on reading the next code,
            // and widens when its next free code reaches 2^width.
            if (free_code > (1U << width) && width < widest_code) {
                ++width;
            }
        }
        current = symbol;
    }
    put_code(writer, current, width);
    // The decoder makes an entry on reading the last code and may widen
    // before it reads the end.
    if (free_code == (1U << width) && width < widest_code) {
        ++width;
    }
    put_code(writer, end_code, width);
    if (writer.bit_count > 0) {
        put_byte(writer, static_cast<std::uint8_t>(writer.bits));
    }
    out.push_back(0);
}

}  // namespace quenlixor
