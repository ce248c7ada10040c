// Internals of the renderer shared by its kernels, the tests and the
// benchmarks: the coordinate tables, the parameter path and the kernels
// themselves.
#pragma once

#include <cstdint>

#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "platform/processor_features.h"

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

// Kernels: each writes all pixel_count pixels of a picture (rows adjacent,
// like the framebuffer) for the parameter c from x_of_column, y_of_row and
// palette, and touches no other state, so several threads may run them at
// once into pictures of their own. The SIMD kernels exist only where they
// are built (SSE2, AVX2 and AVX-512 on x86, NEON on ARM64, SIMD128 in
// WebAssembly) and may be called only when kernel_available() says so. `pixels` needs no
// alignment beyond that of std::uint32_t.
void render_pixels_reference(float c_re, float c_im, std::uint32_t* pixels);
void render_pixels_sse2(float c_re, float c_im, std::uint32_t* pixels);
void render_pixels_avx2(float c_re, float c_im, std::uint32_t* pixels);
void render_pixels_avx512(float c_re, float c_im, std::uint32_t* pixels);
void render_pixels_neon(float c_re, float c_im, std::uint32_t* pixels);
void render_pixels_simd128(float c_re, float c_im, std::uint32_t* pixels);

// Writes all pixels of `pixels` for the parameter c with the given kernel,
// which must be available.
void render_pixels(Kernel kernel, float c_re, float c_im, std::uint32_t* pixels);

// The blocks of each kernel, in pixels: the same columns of adjacent rows. A
// block runs until all its lanes have stopped or made iteration_limit
// passes, so it makes as many passes as the largest escape-time count among
// its pixels (1 for the reference, whose blocks are single pixels).
struct BlockShape {
    int width;
    int height;
};
inline constexpr BlockShape sse2_block{4, 2};
// Four vectors per AVX2 block where there are 16 vector registers (x86-64),
// two where there are 8 (32-bit x86), which would keep most of four in memory.
inline constexpr BlockShape avx2_block{8, sizeof(void*) == 8 ? 4 : 2};
inline constexpr BlockShape avx512_block{16, 2};
// ARM64 has 32 vector registers: two blocks of two vectors in flight.
inline constexpr BlockShape neon_block{4, 2};
// WebAssembly engines map SIMD128 onto SSE or NEON registers; blocks as SSE2's.
inline constexpr BlockShape simd128_block{4, 2};
BlockShape kernel_block_shape(Kernel kernel);

}  // namespace quenlixor
