// Inside the converters: the per-pixel rules, which are the one definition of
// every format's bytes, and the sets of row converters built for each
// instruction-set path. The fast paths convert whole blocks and hand the rest
// of the row to the portable converters, which apply the rules one pixel at a
// time; the tests hold every path against the rules.
#pragma once

#include <cstdint>

#include <span>

#include "display/pixel_converters.h"
#include "platform/processor_features.h"

namespace quenlixor {

// --- per-pixel rules ---------------------------------------------------------
// Source pixel: 0xXXRRGGBB; X carries no colour.

constexpr std::uint32_t red_of(std::uint32_t pixel) {
    return (pixel >> 16) & 0xFFu;
}
constexpr std::uint32_t green_of(std::uint32_t pixel) {
    return (pixel >> 8) & 0xFFu;
}
constexpr std::uint32_t blue_of(std::uint32_t pixel) {
    return pixel & 0xFFu;
}

// 32-bit red high: all 32 bits unchanged, X included.
constexpr std::uint32_t xrgb8888_pixel(std::uint32_t pixel) {
    return pixel;
}

// 32-bit blue high: R in bits 0-7, G in 8-15, B in 16-23, bits 24-31 zero.
constexpr std::uint32_t xbgr8888_pixel(std::uint32_t pixel) {
    return red_of(pixel) | (green_of(pixel) << 8) | (blue_of(pixel) << 16);
}

// 24-bit formats: the value's three low bytes, stored low byte first.
// Red high: bytes B, G, R.
constexpr std::uint32_t rgb888_pixel(std::uint32_t pixel) {
    return blue_of(pixel) | (green_of(pixel) << 8) | (red_of(pixel) << 16);
}
// Blue high: bytes R, G, B.
constexpr std::uint32_t bgr888_pixel(std::uint32_t pixel) {
    return red_of(pixel) | (green_of(pixel) << 8) | (blue_of(pixel) << 16);
}

// 16-bit formats keep the top bits of each channel (truncation, no rounding)
// and are stored low byte first.
constexpr std::uint16_t rgb565_pixel(std::uint32_t pixel) {
    return static_cast<std::uint16_t>(((red_of(pixel) >> 3) << 11) | ((green_of(pixel) >> 2) << 5) |
                                      (blue_of(pixel) >> 3));
}
constexpr std::uint16_t bgr565_pixel(std::uint32_t pixel) {
    return static_cast<std::uint16_t>(((blue_of(pixel) >> 3) << 11) |
                                      ((green_of(pixel) >> 2) << 5) | (red_of(pixel) >> 3));
}
constexpr std::uint16_t rgb555_pixel(std::uint32_t pixel) {
    return static_cast<std::uint16_t>(((red_of(pixel) >> 3) << 10) | ((green_of(pixel) >> 3) << 5) |
                                      (blue_of(pixel) >> 3));
}
constexpr std::uint16_t bgr555_pixel(std::uint32_t pixel) {
    return static_cast<std::uint16_t>(((blue_of(pixel) >> 3) << 10) |
                                      ((green_of(pixel) >> 3) << 5) | (red_of(pixel) >> 3));
}

// --- formats and paths -------------------------------------------------------

enum class PixelFormat { xrgb8888, xbgr8888, rgb888, bgr888, rgb565, bgr565, rgb555, bgr555 };
inline constexpr int pixel_format_count = 8;

// The format's name, as its enumerator reads: "xrgb8888", "rgb565", ...
const char* pixel_format_name(PixelFormat format);

// An instruction-set path: its name (in --version), the processor feature
// it needs (nullptr: every processor runs it) and one converter per format,
// indexed by PixelFormat. portable is plain per-pixel code; the packed paths
// (on x86: mmx on 64-bit packed integers, ending with EMMS, sse2 and avx2 on
// 128- and 256-bit vectors) are one file each, pixel_converters_<name>.cpp,
// which defines the path's row and nothing else outside, and one line in the
// table of their processor family, pixel_converter_paths_<family>.cpp.
struct ConverterPath {
    const char* name;
    bool ProcessorFeatures::*needs;
    Converter converters[pixel_format_count];
};

// Every processor's path: the last row of every table.
extern const ConverterPath portable_converters;

// This build's paths, fastest first, portable last.
std::span<const ConverterPath* const> converter_path_table();

// Whether this processor (and its operating system, for the wide
// registers), as QUENLIXOR_SIMD caps it, can run the path.
bool converter_path_available(const ConverterPath& path);

// The first available path of the table; the named converters use it.
const ConverterPath& active_converter_path();

// Portable converters, also the remainder step of every fast path.
void portable_to_xrgb8888(const void* source, void* destination, std::uint32_t count);
void portable_to_xbgr8888(const void* source, void* destination, std::uint32_t count);
void portable_to_rgb888(const void* source, void* destination, std::uint32_t count);
void portable_to_bgr888(const void* source, void* destination, std::uint32_t count);
void portable_to_rgb565(const void* source, void* destination, std::uint32_t count);
void portable_to_bgr565(const void* source, void* destination, std::uint32_t count);
void portable_to_rgb555(const void* source, void* destination, std::uint32_t count);
void portable_to_bgr555(const void* source, void* destination, std::uint32_t count);

}  // namespace quenlixor
