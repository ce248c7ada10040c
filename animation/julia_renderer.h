// The Julia frame renderer: coordinate and colour tables, the path of the
// set's parameter, and the escape-time colouring of every pixel of a frame.
//
// All floating-point quantities are stored as singles; the arithmetic of each
// assignment is that of the x87 extended format. Several kernels compute the
// pixels: the extended-precision reference and SIMD kernels that give the
// same frames bit for bit. One is chosen at start from the processor's
// features; use_kernel() overrides the choice.
#pragma once

#include <cstdint>

namespace quenlixor {

inline constexpr int picture_width = 320;
inline constexpr int picture_height = 240;
inline constexpr int pixel_count = picture_width * picture_height;  // 76,800

// The picture, row-major, rows adjacent; each pixel reads 0x00RRGGBB (bits
// 24-31 may be set by the palette and carry no colour).
extern std::uint32_t framebuffer[pixel_count];

// The real coordinate of every column and the imaginary coordinate of every
// row (row 0 is the top of the picture, at +1.5).
extern float x_of_column[picture_width];
extern float y_of_row[picture_height];

// Colour of every escape-time count: 0-19 a ramp, 20 white, 21-255 zero.
extern std::uint32_t palette[256];

// Number of the frame last rendered; render_frame() advances it first, so
// the first frame uses 1. Kept within 0..2,147,483,647 (wraps to 0).
extern std::int32_t frame_number;

// Fills x_of_column, y_of_row and palette. Call once before the first frame.
void prepare_tables();

// Advances frame_number, moves the Julia parameter and writes all pixels of
// the framebuffer with the active kernel.
void render_frame();

// Writes the picture of frame `number` (0..2,147,483,647) into `pixels`
// (pixel_count words, rows adjacent) with the active kernel, leaving
// frame_number and the framebuffer alone. After prepare_tables() and once
// the kernel is chosen, several threads may call it at once.
void render_frame_into(std::int32_t number, std::uint32_t* pixels);

enum class Kernel { reference, sse2, avx2, avx512 };

// Whether this processor (and its operating system) can run the kernel.
bool kernel_available(Kernel kernel);
// The fastest available kernel; the reference when nothing else runs.
Kernel fastest_kernel();
// Makes render_frame() use the kernel; an unavailable one is ignored and the
// active kernel stays as it was.
void use_kernel(Kernel kernel);
Kernel active_kernel();
// "reference", "sse2", "avx2" or "avx512".
const char* kernel_name(Kernel kernel);
// The kernel whose kernel_name is `name`, available or not; false when no
// kernel has that name.
bool kernel_by_name(const char* name, Kernel& kernel);

}  // namespace quenlixor
