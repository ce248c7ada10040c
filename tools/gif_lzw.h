// The LZW coder of GIF image data, for pictures where some pixels may be
// coded either as their colour or as the transparent index (pixels that did
// not change since the frame before): at each such pixel the coder takes
// whichever of the two extends the string it is matching, and a preference
// decides when both or neither do.
//
// giflib codes only pixels it is given, at the colour table's code size,
// clearing its table whenever it fills; this coder picks the pixels as it
// codes, takes any minimum code size, and keeps a full table for the rest
// of the image (a decoder then adds no entries), which codes these pictures
// shorter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quenlixor {

// An input pixel with this bit set may be coded as its colour (the low
// bits) or as the transparent index.
inline constexpr std::uint8_t lzw_either = 0x80;
inline constexpr std::uint8_t lzw_colour = 0x7F;

// The bytes of the coder's dictionary for a minimum code size.
std::size_t lzw_table_bytes(int code_size);

// One coding of a picture: `table`, lzw_table_bytes(code_size) bytes of
// scratch space of its own (any alignment), and the bytes it is appended
// to.
struct LzwCoding {
    std::uint8_t* table = nullptr;
    std::vector<unsigned char>* out = nullptr;
};

// Appends to each coding's `out` the image data of `count` pixels (count >
// 0): the minimum code size `code_size` (2-7), the codes in data sub-blocks
// each led by its length, and the empty sub-block that ends them. Every
// colour of a pixel without lzw_either, and `transparent`, is below
// 2^code_size; a pixel with lzw_either whose colour is not is coded as
// `transparent`. One or two codings (`coding_count`) are made in one pass,
// two in little more than the time of one: the first takes the colour of a
// pixel with lzw_either when both its colour and transparency extend the
// string, or neither does, the second transparency.
void lzw_encode(const std::uint8_t* pixels, std::size_t count, int code_size,
                std::uint8_t transparent, LzwCoding* codings, int coding_count);

}  // namespace quenlixor
