// Internals of the renderer shared by its kernels, the tests and the
// benchmarks: the coordinate tables, the parameter path and the reference's
// escape-time counts, which the SIMD kernels fall back to.
#pragma once

#include <cstdint>

#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"

namespace quenlixor {

// Maximal escape-time count.
inline constexpr int iteration_limit = 20;

// The real coordinate of every column and the imaginary coordinate of every
// row (row 0 is the top of the picture, at +1.5).
extern float x_of_column[picture_width];
extern float y_of_row[picture_height];

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

// The same counts for up to max_reference_pixels pixels of one row at once
// (real coordinates x[0..pixels), imaginary coordinate y), computed together
// so that their passes overlap: the SIMD kernels' way to their lanes in doubt.
inline constexpr int max_reference_pixels = 16;
void reference_escape_counts(int pixels, const float* x, float y, float c_re, float c_im,
                             int* counts);

}  // namespace quenlixor
