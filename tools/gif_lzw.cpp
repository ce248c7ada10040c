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

inline void put_byte(Writer& writer, std::uint8_t byte) {
    std::vector<unsigned char>& out = *writer.out;
    if (out[writer.block] == sub_block_limit) {
        writer.block = out.size();
        out.push_back(0);
    }
    out.push_back(byte);
    ++out[writer.block];
}

inline void put_code(Writer& writer, unsigned code, int width) {
    writer.bits |= static_cast<std::uint64_t>(code) << writer.bit_count;
    writer.bit_count += width;
    while (writer.bit_count >= 8) {
        put_byte(writer, static_cast<std::uint8_t>(writer.bits));
        writer.bits >>= 8;
        writer.bit_count -= 8;
    }
}

// The symbols per code (2^code_size) are a constant of each instance, so
// the look-ups and the clearing of a row compile into plain moves.
template <unsigned Stride>
unsigned child(const std::uint8_t* table, unsigned code, unsigned symbol) {
    std::uint16_t found = 0;
    std::memcpy(&found, table + (code * Stride + symbol) * 2, 2);
    return found;
}

template <unsigned Stride>
void make_child(std::uint8_t* table, unsigned code, unsigned symbol, unsigned made) {
    const auto value = static_cast<std::uint16_t>(made);
    std::memcpy(table + (code * Stride + symbol) * 2, &value, 2);
    std::memset(table + made * Stride * 2, 0, Stride * 2);
}

// One coding of the pixels and where it stands.
struct Coding {
    std::uint8_t* table = nullptr;
    Writer writer;
    bool prefer_transparent = false;
    unsigned current = 0;  // the code of the string matched so far
    unsigned free_code = 0;
    int width = 0;
};

struct Alphabet {
    unsigned clear = 0;
    unsigned transparent = 0;
};

// For a pixel with lzw_either: the symbol a new string starts with.
unsigned preferred_symbol(const Coding& coding, const Alphabet& alphabet, std::uint8_t pixel) {
    const unsigned colour = pixel & lzw_colour;
    return coding.prefer_transparent || colour >= alphabet.clear ? alphabet.transparent : colour;
}

void start_coding(Coding& coding, const Alphabet& alphabet, int code_size,
                  std::uint8_t first_pixel) {
    std::memset(coding.table, 0, (alphabet.clear + 2) * alphabet.clear * 2);
    std::vector<unsigned char>& out = *coding.writer.out;
    out.push_back(static_cast<unsigned char>(code_size));
    coding.writer.block = out.size();
    out.push_back(0);
    coding.width = code_size + 1;
    coding.free_code = alphabet.clear + 2;
    put_code(coding.writer, alphabet.clear, coding.width);
    coding.current = (first_pixel & lzw_either) != 0
                         ? preferred_symbol(coding, alphabet, first_pixel)
                         : first_pixel;
}

// The code of the string one pixel longer, 0 when the dictionary has
// none; `symbol` is the pixel's symbol for a new string.
template <unsigned Stride, bool PreferTransparent>
inline unsigned longer_string(const std::uint8_t* table, const Alphabet& alphabet, unsigned current,
                              std::uint8_t pixel, unsigned& symbol) {
    if ((pixel & lzw_either) == 0) {
        symbol = pixel;
        return child<Stride>(table, current, pixel);
    }
    const unsigned colour = pixel & lzw_colour;
    const bool transparent_first = PreferTransparent || colour >= alphabet.clear;
    symbol = transparent_first ? alphabet.transparent : colour;
    const unsigned found = child<Stride>(table, current, symbol);
    if (found != 0 || colour >= alphabet.clear) {
        return found;
    }
    return child<Stride>(table, current, transparent_first ? colour : alphabet.transparent);
}

// The string ends: its code is written, the string one pixel longer made a
// code (while there is room), and a new string starts with the pixel.
template <unsigned Stride>
[[gnu::noinline]] unsigned end_string(Coding& coding, unsigned current, unsigned symbol) {
    put_code(coding.writer, current, coding.width);
    if (coding.free_code < code_limit) {
        make_child<Stride>(coding.table, current, symbol, coding.free_code);
        ++coding.free_code;
        // The decoder makes this entry only on reading the next code, and
        // widens when its next free code reaches 2^width.
        if (coding.free_code > (1U << coding.width) && coding.width < widest_code) {
            ++coding.width;
        }
    }
    return symbol;
}

void finish_coding(Coding& coding, const Alphabet& alphabet) {
    put_code(coding.writer, coding.current, coding.width);
    // The decoder makes an entry on reading the last code and may widen
    // before it reads the end.
    if (coding.free_code == (1U << coding.width) && coding.width < widest_code) {
        ++coding.width;
    }
    put_code(coding.writer, alphabet.clear + 1, coding.width);
    if (coding.writer.bit_count > 0) {
        put_byte(coding.writer, static_cast<std::uint8_t>(coding.writer.bits));
    }
    coding.writer.out->push_back(0);
}

// Every pixel after the first. Two codings side by side: each pixel's
// dictionary look-ups depend on the one before in the same coding only, so
// the processor overlaps the two. The strings' codes stay in registers.
template <unsigned Stride>
void code_pixels(const std::uint8_t* pixels, std::size_t count, const Alphabet& alphabet,
                 Coding* coding, int used) {
    unsigned current = coding[0].current;
    const std::uint8_t* const table = coding[0].table;
    if (used == 2) {
        // The first prefers colours, the second transparency.
        unsigned other_current = coding[1].current;
        const std::uint8_t* const other_table = coding[1].table;
        for (std::size_t at = 1; at < count; ++at) {
            const std::uint8_t pixel = pixels[at];
            unsigned symbol = 0;
            unsigned other_symbol = 0;
            const unsigned found =
                longer_string<Stride, false>(table, alphabet, current, pixel, symbol);
            const unsigned other_found = longer_string<Stride, true>(
                other_table, alphabet, other_current, pixel, other_symbol);
            current = found != 0 ? found : end_string<Stride>(coding[0], current, symbol);
            other_current = other_found != 0
                                ? other_found
                                : end_string<Stride>(coding[1], other_current, other_symbol);
        }
        coding[1].current = other_current;
    } else {
        for (std::size_t at = 1; at < count; ++at) {
            unsigned symbol = 0;
            const unsigned found =
                longer_string<Stride, false>(table, alphabet, current, pixels[at], symbol);
            current = found != 0 ? found : end_string<Stride>(coding[0], current, symbol);
        }
    }
    coding[0].current = current;
}

}  // namespace

std::size_t lzw_table_bytes(int code_size) {
    return code_limit * (std::size_t{1} << code_size) * 2;
}

void lzw_encode(const std::uint8_t* pixels, std::size_t count, int code_size,
                std::uint8_t transparent, LzwCoding* codings, int coding_count) {
    const Alphabet alphabet{1U << code_size, transparent};
    Coding coding[2];
    const int used = coding_count < 2 ? 1 : 2;
    for (int which = 0; which < used; ++which) {
        coding[which].table = codings[which].table;
        coding[which].writer.out = codings[which].out;
        coding[which].prefer_transparent = which == 1;
        start_coding(coding[which], alphabet, code_size, pixels[0]);
    }
    switch (code_size) {
        case 2:
            code_pixels<4>(pixels, count, alphabet, coding, used);
            break;
        case 3:
            code_pixels<8>(pixels, count, alphabet, coding, used);
            break;
        case 4:
            code_pixels<16>(pixels, count, alphabet, coding, used);
            break;
        case 5:
            code_pixels<32>(pixels, count, alphabet, coding, used);
            break;
        case 6:
            code_pixels<64>(pixels, count, alphabet, coding, used);
            break;
        default:
            code_pixels<128>(pixels, count, alphabet, coding, used);
            break;
    }
    for (int which = 0; which < used; ++which) {
        finish_coding(coding[which], alphabet);
    }
}

}  // namespace quenlixor
