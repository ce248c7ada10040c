// The Julia frame renderer: coordinate and colour tables, the path of the
// set's parameter, and the escape-time colouring of every pixel of a frame.
//
// All floating-point quantities are stored as singles; the arithmetic of each
// assignment is that of the x87 extended format, rounded to nearest. Each of
// the calls below sets the floating-point state it computes in (the x87's
// 64-bit precision, rounding to nearest, subnormals kept, exceptions masked:
// floating_point_state.h) for itself, on the calling thread, whatever the
// rest of the process did to it, and gives the caller's state back as it
// found it. The kernels that compute the pixels are in julia_kernel_choice.h.
#pragma once

#include <cstdint>

namespace quenlixor {

struct Kernel;

inline constexpr int picture_width = 320;
inline constexpr int picture_height = 240;
inline constexpr int pixel_count = picture_width * picture_height;  // 76,800

// The picture, row-major, rows adjacent; each pixel reads 0x00RRGGBB (bits
// 24-31 may be set by the palette and carry no colour).
extern std::uint32_t framebuffer[pixel_count];

// Colour of every escape-time count: 0-19 a ramp, 20 white, 21-255 zero.
extern std::uint32_t palette[256];

// The palette's colours: entries 0 to 20 (the rest are black, as entry 0 is).
inline constexpr int palette_colours = 21;

// Frames are numbered 0 to frame_number_max; the frame after the last is 0.
inline constexpr std::int32_t frame_number_max = 2147483647;

// The number of the frame `steps` frames after frame `number`
// (0..frame_number_max), wrapping after frame_number_max to 0; steps -1 is
// the frame before. `number + steps` must fit in 64 bits.
constexpr std::int32_t frame_after(std::int64_t number, std::int64_t steps) {
    return static_cast<std::int32_t>((number + steps) & frame_number_max);
}

// Number of the frame last rendered; render_frame() advances it first, so
// the first frame uses 1. Kept within 0..frame_number_max.
extern std::int32_t frame_number;

// Fills the coordinate tables and the palette. Call once before the first
// frame.
void prepare_tables();

// Advances frame_number, moves the Julia parameter and writes all pixels of
// the framebuffer with the fastest kernel.
void render_frame();

// Writes the picture of frame `number` (0..2,147,483,647) into `pixels`
// (pixel_count words, rows adjacent, any alignment of std::uint32_t) with
// `kernel`, which must be available, leaving frame_number and the
// framebuffer alone. After prepare_tables() several threads may call it at
// once.
void render_frame_into(std::int32_t number, std::uint32_t* pixels, const Kernel& kernel);

// Whether frames `a` and `b` have the same Julia parameter, and so the same
// picture: far along the path the angle, a single, takes the same value for
// many frames in a row. Any thread may call it after prepare_tables().
bool same_julia_parameter(std::int32_t a, std::int32_t b);

}  // namespace quenlixor
