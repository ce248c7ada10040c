// Copying a framebuffer into a surface in the surface's own pixel format,
// every picture pixel as a scale x scale block.
#pragma once

#include <cstdint>

#include "display/pixel_converters.h"

namespace quenlixor {

// The widest picture present_rows takes, in pixels.
inline constexpr std::int32_t present_rows_max_width = 4096;

// Converts `height` rows of `width` 0x00RRGGBB pixels (rows adjacent) from
// `pixels` with `converter`, whose pixels are `bytes_per_pixel` bytes wide,
// into the surface at `destination`, whose rows start `pitch` bytes apart.
// Picture pixel (x, y) fills the surface pixels (scale x + i, scale y + j)
// for i, j in 0..scale-1; nothing outside the scale x width pixels of the
// scale x height rows is written. `width` is at most present_rows_max_width
// and `scale` 1..8. One thread at a time: a scaled row passes through a
// buffer of its own.
void present_rows(const std::uint32_t* pixels, std::int32_t width, std::int32_t height,
                  std::int32_t scale, Converter converter, std::int32_t bytes_per_pixel,
                  std::uint8_t* destination, std::int32_t pitch);

}  // namespace quenlixor
