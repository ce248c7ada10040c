// Internals of the renderer shared by its kernels, the tests and the
// benchmarks: the parameter path and the kernels themselves.
#pragma once

#include <cstdint>

#include "animation/julia_renderer.h"

namespace quenlixor {

// Maximal escape-time count.
inline constexpr int iteration_limit = 20;

// The Julia parameter of one frame, with the angle it comes from.
struct JuliaParameter {
    float angle;
    float c_re;
    float c_im;
};

// The parameter path, in extended precision: the angle is the frame number
// read as degrees (with the decimal constant 3.141593), c_re is
// cos(angle) x sin(0.7 x angle) and c_im is 2 x sin(angle).
JuliaParameter julia_parameter(std::int32_t number);

// Escape-time count (1..20) of the pixel at coordinate (zr, zi) for the
// parameter c, every assignment in extended precision and stored as a single.
int reference_escape_count(float zr, float zi, float c_re, float c_im);

// Kernels: each writes all pixel_count pixels of a picture (rows adjacent,
// like the framebuffer) for the parameter c from x_of_column, y_of_row and
// palette, and touches no other state, so several threads may run them at
// once into pictures of their own. The SIMD kernels exist only on x86 and
// may be called only when kernel_available() says so. `pixels` needs no
// alignment beyond that of std::uint32_t.
void render_pixels_reference(float c_re, float c_im, std::uint32_t* pixels);
void render_pixels_sse2(float c_re, float c_im, std::uint32_t* pixels);
void render_pixels_avx2(float c_re, float c_im, std::uint32_t* pixels);
void render_pixels_avx512(float c_re, float c_im, std::uint32_t* pixels);

// Writes all pixels of `pixels` for the parameter c with the given kernel,
// which must be available.
void render_pixels(Kernel kernel, float c_re, float c_im, std::uint32_t* pixels);

// For the SIMD kernels: the squares of the coordinate tables as they stand,
// as singles and widened to double, from which every pixel's first pass
// starts. Aligned for the widest vector loads.
struct CoordinateSquares {
    alignas(64) float column[picture_width];
    alignas(64) double column_wide[picture_width];
    alignas(64) float row[picture_height];
    alignas(64) double row_wide[picture_height];
};
void square_coordinates(CoordinateSquares& squares);

// For the SIMD kernels: the spread of the bit patterns of two positive
// singles is their ratio's exponent, give or take one. The largest of rr, ii
// and |c_re| is at most the single sum rr + ii or |c_re|, and at least half
// of it; a spread of 26 between that and the smallest keeps the ratio within
// 2^27, where (rr - ii) + c_re is exact in double. Lanes beyond it are left
// to the reference.
inline constexpr int exact_spread = 26 << 23;

}  // namespace quenlixor

// The SIMD kernels' entry: 32-bit Windows callers may hand over a stack
// aligned to 4 bytes only.
#if defined(__i386__)
#define QUENLIXOR_KERNEL_ENTRY __attribute__((force_align_arg_pointer))
#else
#define QUENLIXOR_KERNEL_ENTRY
#endif
