// The one algorithm of the SIMD kernels, at the width of the vector
// operations each kernel supplies. Included only by julia_kernel_sse2.cpp,
// julia_kernel_avx2.cpp and julia_kernel_avx512.cpp, each after it has
// defined QUENLIXOR_SIMD_TARGET (its instruction set as a target attribute)
// and, in an anonymous namespace, its vector operations.
//
// Confinement of the wider instruction sets: the library is compiled for the
// plain processor of its platform, with no -m option for SSE2, AVX2 or
// AVX-512. Only functions that carry the target attribute may use those
// instructions, and in each kernel file these are the kernel's entry (called
// only when kernel_available() says so) and functions in an anonymous
// namespace (this template and the vector operations), which no other file
// can call and the linker cannot pick for a caller elsewhere. Anything else a
// kernel file instantiates (inline functions of shared headers and of the
// standard library) is compiled for the plain processor. The test
// kernel_isa_check disassembles the library and checks this.
//
// Blocks: a block is one vector of adjacent pixels of a row, all started
// together; it runs until all its lanes have escaped or made 20 passes.
// Several blocks are in flight at once (streams), so that the dependency
// chain of one pass of one block overlaps with the others, and each stream
// takes the next block as soon as its own is done.
//
// Exactness, pass by pass, against the extended-precision reference:
// - rr = zr x zr, ii = zi x zi and t = (zi x 2) x zr are single multiplies:
//   products of singles are exact in extended precision (and doubling is
//   exact), so both round them once, to the same single.
// - zi = c_im + t is a single add: extended precision (64 bits) is wider
//   than twice the single's 24 bits plus 2, so rounding the sum to extended
//   and then to single gives the single add's result.
// - The new zr = (rr - ii) + c_re is carried in double, and it matters only
//   when the lane goes on, that is when rr + ii < 4. Then |rr|, |ii| < 4 and,
//   with |c_re| <= 4, every partial sum is below 8 = 2^3. When each of rr,
//   ii and c_re is zero or at least 2^-27, all are multiples of 2^-50 (a
//   single's last bit is 2^-23 of its leading one), and a multiple of 2^-50
//   below 2^3 has at most 53 bits: double and extended both hold every
//   partial sum exactly and round the result once, to the same single. So a
//   lane is in doubt when the smaller of rr and ii is below 2^-27; c_re is
//   fixed for the frame, and when it is outside those bounds every lane is
//   in doubt.
// - The escape test rr + ii < 4 is made on the single sum, which orders as
//   the exact sum does except when it is exactly 4; such lanes are in doubt.
// A lane in doubt stops there, and when its block is done its pixel is
// computed again with the reference. Such pixels are rare.
#pragma once

#ifndef QUENLIXOR_SIMD_TARGET
#error "define QUENLIXOR_SIMD_TARGET before including julia_kernel_simd.h"
#endif

#include <cstddef>
#include <cstdint>

#include "animation/julia_renderer_kernels.h"

namespace quenlixor {
namespace {

// Squares below this may make the new zr inexact in double (see above).
constexpr float exact_square_floor = 0x1p-27F;
// |c_re| above this may make the partial sums too large.
constexpr float exact_c_re_limit = 4.0F;

// The pixels of a block's lanes in doubt (bits of `lanes`), from the
// reference. Rare, so out of the kernel's loop, and plain scalar code.
__attribute__((noinline)) void render_lanes_in_doubt(std::uint32_t* out, unsigned lanes,
                                                     const float* x, float y, float c_re,
                                                     float c_im) {
    do {
        const int lane = __builtin_ctz(lanes);
        lanes &= lanes - 1;
        out[lane] = palette[reference_escape_count(x[lane], y, c_re, c_im)];
    } while (lanes != 0);
}

// The vector operations V supplies (each with the kernel's target):
//   lanes, streams: pixels per block, blocks in flight
//   Singles, Wide, Mask, Counts, Colours: vector types
//   load(const float*), broadcast(float), widen(float) -> Wide
//   mul, add (Singles)
//   next_real(rr, ii, c_re) -> Singles: (rr - ii) + c_re in double, rounded
//   all_lanes(), no_lanes(), none(Mask)
//   in_doubt(active, rr, ii, size, floor, bound): the lanes of active where
//     the smaller of rr and ii is below floor or size equals bound
//   going_on(active, in_doubt, size, bound): the lanes of active not in
//     doubt where size is below bound
//   zero_counts(), count_up(Counts, Mask): one more in the lanes of mask
//   mark(Counts, Mask): -1 in the lanes of mask; marked(Counts): the lanes
//     holding -1, as bits
//   colours(const std::uint32_t* palette), store_colours(out, Counts, Colours)
template <class V>
QUENLIXOR_SIMD_TARGET inline void render_blocks(float c_re, float c_im, std::uint32_t* pixels) {
    using Singles = typename V::Singles;
    using Mask = typename V::Mask;
    using Counts = typename V::Counts;
    constexpr int lanes = V::lanes;
    constexpr std::size_t streams = V::streams;
    constexpr int blocks_per_row = picture_width / lanes;
    constexpr int block_count = pixel_count / lanes;
    static_assert(picture_width % lanes == 0 && block_count >= static_cast<int>(streams));

    const typename V::Wide c_re_wide = V::widen(c_re);
    const Singles c_im_vector = V::broadcast(c_im);
    const Singles two = V::broadcast(2.0F);
    const Singles bound = V::broadcast(4.0F);
    const float c_re_size = c_re < 0.0F ? -c_re : c_re;
    const bool c_re_fits =
        c_re_size == 0.0F || (c_re_size >= exact_square_floor && c_re_size <= exact_c_re_limit);
    // With c_re outside its bounds no square is large enough: all in doubt.
    const Singles square_floor = V::broadcast(c_re_fits ? exact_square_floor : 3.0e38F);
    const typename V::Colours colours = V::colours(palette);

    // Every stream starts without a block, on values nobody reads.
    Singles zr[streams];
    Singles zi[streams];
    Mask active[streams];   // lanes still iterating
    Counts count[streams];  // passes made; -1 in lanes for the reference
    int passes[streams];
    int block[streams];  // -1 while the stream has no block
#pragma GCC unroll 8
    for (std::size_t s = 0; s < streams; ++s) {
        zr[s] = V::broadcast(0.0F);
        zi[s] = zr[s];
        active[s] = V::no_lanes();
        count[s] = V::zero_counts();
        passes[s] = 0;
        block[s] = -1;
    }
    int next_block = 0;
    std::size_t live = streams;

    while (live > 0) {
#pragma GCC unroll 8
        for (std::size_t s = 0; s < streams; ++s) {
            count[s] = V::count_up(count[s], active[s]);
            const Singles rr = V::mul(zr[s], zr[s]);
            const Singles ii = V::mul(zi[s], zi[s]);
            const Singles t = V::mul(V::mul(zi[s], two), zr[s]);
            zi[s] = V::add(c_im_vector, t);
            zr[s] = V::next_real(rr, ii, c_re_wide);
            const Singles size = V::add(rr, ii);
            // A lane in doubt stops, marked for the reference.
            const Mask in_doubt = V::in_doubt(active[s], rr, ii, size, square_floor, bound);
            count[s] = V::mark(count[s], in_doubt);
            active[s] = V::going_on(active[s], in_doubt, size, bound);
        }
#pragma GCC unroll 8
        for (std::size_t s = 0; s < streams; ++s) {
            if (V::none(active[s]) || ++passes[s] == iteration_limit) {
                if (block[s] >= 0) {
                    // The block is done: its colours, then the lanes in doubt.
                    const int column = (block[s] % blocks_per_row) * lanes;
                    const float y = y_of_row[block[s] / blocks_per_row];
                    std::uint32_t* const out = pixels + block[s] * lanes;
                    V::store_colours(out, count[s], colours);
                    const unsigned in_doubt = V::marked(count[s]);
                    if (in_doubt != 0) {
                        render_lanes_in_doubt(out, in_doubt, x_of_column + column, y, c_re, c_im);
                    }
                }
                if (next_block < block_count) {
                    const int column = (next_block % blocks_per_row) * lanes;
                    zr[s] = V::load(x_of_column + column);
                    zi[s] = V::broadcast(y_of_row[next_block / blocks_per_row]);
                    active[s] = V::all_lanes();
                    count[s] = V::zero_counts();
                    passes[s] = 0;
                    block[s] = next_block++;
                } else if (block[s] >= 0) {
                    block[s] = -1;
                    --live;
                }
            }
        }
    }
}

}  // namespace
}  // namespace quenlixor
