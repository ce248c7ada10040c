// Converting a framebuffer into a surface in the surface's own pixel format,
// every picture pixel as a scale x scale block: the per-frame work of the
// ddraw and sdl displays between locking their surface and showing it (the
// web display draws its blocks itself, into the canvas's RGBA pixels). And
// the geometry around it: the largest block a picture fits at, centred on a
// screen, and the part of a frame that changed since the one before.
#pragma once

#include <cstdint>

#include "display/pixel_converters.h"

namespace quenlixor {

// Converts `height` rows of `width` 0x00RRGGBB pixels (rows adjacent) from
// `pixels` with `converter`, whose pixels are `bytes_per_pixel` (2, 3 or 4)
// bytes wide, into the surface at `destination`, whose rows start `pitch`
// bytes apart. Picture pixel (x, y) fills the surface pixels
// (scale x + i, scale y + j) for i, j in 0..scale-1, any scale of 1 or more;
// nothing outside the scale x width pixels of the scale x height rows is
// written. With scale 1 this is one converter call per row. No rows at all
// when `height` is 0 or less.
void present_rows(const std::uint32_t* pixels, std::int32_t width, std::int32_t height,
                  std::int32_t scale, Converter converter, std::int32_t bytes_per_pixel,
                  std::uint8_t* destination, std::int32_t pitch);

// A rectangle of picture pixels: columns x..x+width-1, rows y..y+height-1.
struct PictureRect {
    std::int32_t x;
    std::int32_t y;
    std::int32_t width;
    std::int32_t height;
};

// As present_rows, for the part `rect` of a picture whose rows are `stride`
// pixels apart (`picture` its pixel (0, 0)), into a surface whose block of
// picture pixel (0, 0) starts at `origin`: picture pixel (x, y) of the
// rectangle fills the block at (scale x, scale y) from `origin`, and nothing
// outside the rectangle's blocks is written.
void present_rect(const std::uint32_t* picture, std::int32_t stride, PictureRect rect,
                  std::int32_t scale, Converter converter, std::int32_t bytes_per_pixel,
                  std::uint8_t* origin, std::int32_t pitch);

// The smallest rectangle holding every pixel where the two pictures of
// `width` x `height` pixels (rows adjacent) differ; width and height 0 when
// they are the same.
PictureRect changed_rect(const std::uint32_t* before, const std::uint32_t* after,
                         std::int32_t width, std::int32_t height);

// The parts of a band of `rows` rows of `width` pixels (rows adjacent) where
// `before` and `after` differ: the columns where any of its rows differs,
// gathered into runs that take in gaps of fewer than `gap` (1 or more)
// unchanged columns, each a rectangle from the band's first changed row to
// its last. Writes them, left to right, into `parts`, which has room for
// changed_parts_most(width, gap) of them, and returns how many: 0 when the
// band is the same.
std::int32_t changed_parts(const std::uint32_t* before, const std::uint32_t* after,
                           std::int32_t width, std::int32_t rows, std::int32_t gap,
                           PictureRect* parts);

// The most parts changed_parts finds in a band `width` pixels wide: each but
// the first takes a changed column and the `gap` unchanged ones before it.
constexpr std::int32_t changed_parts_most(std::int32_t width, std::int32_t gap) {
    return (width + gap) / (gap + 1);
}

// A picture placed on an area (a screen, a window): every pixel a block x
// block square, the whole picture centred at (x, y) from the area's top
// left corner (an odd remainder puts the extra pixel right and below).
struct PictureFit {
    std::int32_t block;  // 0 when not even one pixel per picture pixel fits
    std::int32_t x;
    std::int32_t y;
};

// A `width` x `height` picture larger than its `area_width` x
// `area_height` area, shrunk: the largest size of the same shape (rounded
// down, at least 1 x 1) that fits, centred at (x, y) from the area's top
// left corner.
PictureRect shrink_picture(std::int32_t area_width, std::int32_t area_height, std::int32_t width,
                           std::int32_t height);

// Converts the `width` x `height` picture `pixels` (rows adjacent), shrunk
// to `shown_width` x `shown_height` (each at most the picture's), into the
// surface at `destination` as present_rows does: surface pixel (i, j) is
// picture pixel (i * width / shown_width, j * height / shown_height), the
// nearest to its left and above.
void present_shrunk(const std::uint32_t* pixels, std::int32_t width, std::int32_t height,
                    std::int32_t shown_width, std::int32_t shown_height, Converter converter,
                    std::int32_t bytes_per_pixel, std::uint8_t* destination, std::int32_t pitch);

// The largest block of at most `most` (no limit when `most` is 0) at which
// a `width` x `height` picture fits on an `area_width` x `area_height` area,
// and where it lands, centred.
PictureFit fit_picture(std::int32_t area_width, std::int32_t area_height, std::int32_t width,
                       std::int32_t height, std::int32_t most);

}  // namespace quenlixor
