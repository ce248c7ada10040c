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
// (scale x + i, scale y + j) for i, j in 0..scale-1, scale 1 or more (the
// display's scale times the desktop's: up to 8 with copies of a constant
// size, larger ones pixel by pixel); nothing outside the scale x width
// pixels of the scale x height rows is written. With scale 1 this is one
// converter call per row. No rows at all when `height` is 0 or less.
void present_rows(const std::uint32_t* pixels, std::int32_t width, std::int32_t height,
                  std::int32_t scale, Converter converter, std::int32_t bytes_per_pixel,
                  std::uint8_t* destination, std::int32_t pitch);

// Where a picture goes in a surface of its own size or larger: every
// picture pixel a block x block square of surface pixels, the largest that
// fits both ways, and the picture centred, at (x, y) from the surface's top
// left corner (the rest is the display's to fill black). block is 0 when
// the surface is smaller than the picture either way.
struct PicturePlacement {
    std::int32_t block;
    std::int32_t x;
    std::int32_t y;
};

PicturePlacement place_picture(std::int32_t surface_width, std::int32_t surface_height,
                               std::int32_t width, std::int32_t height);

}  // namespace quenlixor
