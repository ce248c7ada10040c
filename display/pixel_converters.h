// Row converters from the framebuffer's 0x00RRGGBB pixels into the pixel
// formats a desktop surface may have, and the choice among them.
//
// A converter turns one row: it reads exactly `count` source pixels (4 bytes
// each, little-endian 0xXXRRGGBB) from `source` and writes exactly `count`
// destination pixels, adjacent, from `destination` on. Neither address needs
// any alignment, no byte outside the two rows is read or written, and a count
// of 0 touches nothing. Converters keep no state and may be called from any
// thread; after every call the x87 floating-point unit is usable.
#pragma once

#include <cstdint>

namespace quenlixor {

using Converter = void (*)(const void* source, void* destination, std::uint32_t count);

// The converter for a surface whose DDPIXELFORMAT reports this bit count and
// these red, green and blue masks (exact match), or nullptr when the format
// is not one of the eight below.
Converter select_converter(std::uint32_t bit_count, std::uint32_t red_mask,
                           std::uint32_t green_mask, std::uint32_t blue_mask);

// The name of the path the converters take on this processor: "portable",
// "mmx", "sse2" or "avx2".
const char* converter_path_name();

// 32 bits, masks R 0x00FF0000 G 0x0000FF00 B 0x000000FF: the pixel unchanged,
// bits 24-31 included (bytes B, G, R, X).
void convert_to_xrgb8888(const void* source, void* destination, std::uint32_t count);
// 32 bits, masks R 0x000000FF G 0x0000FF00 B 0x00FF0000: bytes R, G, B, 0.
void convert_to_xbgr8888(const void* source, void* destination, std::uint32_t count);
// 24 bits, masks R 0xFF0000 G 0x00FF00 B 0x0000FF: bytes B, G, R.
void convert_to_rgb888(const void* source, void* destination, std::uint32_t count);
// 24 bits, masks R 0x0000FF G 0x00FF00 B 0xFF0000: bytes R, G, B.
void convert_to_bgr888(const void* source, void* destination, std::uint32_t count);
// 16 bits, masks R 0xF800 G 0x07E0 B 0x001F (top bits of each channel kept).
void convert_to_rgb565(const void* source, void* destination, std::uint32_t count);
// 16 bits, masks R 0x001F G 0x07E0 B 0xF800.
void convert_to_bgr565(const void* source, void* destination, std::uint32_t count);
// 16 bits, masks R 0x7C00 G 0x03E0 B 0x001F, bit 15 zero.
void convert_to_rgb555(const void* source, void* destination, std::uint32_t count);
// 16 bits, masks R 0x001F G 0x03E0 B 0x7C00, bit 15 zero.
void convert_to_bgr555(const void* source, void* destination, std::uint32_t count);

}  // namespace quenlixor
