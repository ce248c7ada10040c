// Converting a framebuffer into a surface in the surface's own pixel format,
// every picture pixel as a scale x scale block: the per-frame work of the
// ddraw and sdl displays between locking their surface and showing it (the
// web display draws its blocks itself, into the canvas's RGBA pixels).
#pragma once

#include <cstdint>

#include "display/pixel_converters.h"

namespace quenlixor {

// Converts `height` rows of `width` 0x00RRGGBB pixels (rows adjacent) from
// `pixels` with `converter`, whose pixels are `bytes_per_pixel` (2, 3 or 4)
// bytes wide, into the surface at `destination`, whose rows start `pitch`
// bytes apart. Picture pixel (x, y) fills the surface pixels
// (scale x + i, scale y + j) for i, j in 0..scale-1, scale 1..8; nothing
// outside the scale x width pixels of the scale x height rows is written.
// With scale 1 this is one converter call per row. No rows at all when
// `height` is 0 or less.
void present_rows(const std::uint32_t* pixels, std::int32_t width, std::int32_t height,
                  std::int32_t scale, Converter converter, std::int32_t bytes_per_pixel,
                  std::uint8_t* destination, std::int32_t pitch);

}  // namespace quenlixor
