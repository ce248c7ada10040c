// The one algorithm of the SIMD kernels, at the width of the vector
// operations each kernel supplies. Included only by the SIMD kernels' files
// (julia_kernel_<name>.cpp), each after it has defined QUENLIXOR_SIMD_TARGET
// (its instruction set as a target attribute; empty where the file is
// compiled for its instruction set anyway, as NEON, which every ARM64
// processor has, and SIMD128, whose own file alone is compiled for it) and,
// in an anonymous namespace, its vector operations.
//
// Confinement of the wider instruction sets: the library is compiled for the
// plain processor of its platform, with no -m option for a wider instruction
// set. Only functions that carry the target attribute may use those
// instructions, and in each kernel file these are functions in an anonymous
// namespace (this template, the kernel's entry, called through its row only
// when kernel_available() says so, and the vector operations), which no
// other file can call and the linker cannot pick for a caller elsewhere.
// Anything else a kernel file instantiates (inline functions of shared
// headers and of the standard library) is compiled for the plain processor. The test
// julia_renderer_kernel_isa (tests/animation/check_kernel_isa.cmake)
// disassembles the library and checks this.
//
// Blocks: a block is a few vectors, one under the other (the same columns
// of adjacent rows, whose counts are more alike than those of a longer run
// of one row), all started together; it runs until all its lanes have stopped
// or made 20 passes. Several blocks may be in flight at once (streams), so
// that the dependency chain of one pass of one vector overlaps with the
// others, and each stream takes the next block as soon as its own is done.
// Small blocks waste few lane-passes on lanes that have stopped; each block
// costs a mispredicted branch when it ends, and the widths and streams of
// the kernels balance the two.
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
// - The escape test rr + ii < 4 is made on the single sum. Rounded to
//   nearest, it orders as the exact sum does except when it is exactly 4;
//   such lanes are in doubt. Rounded towards zero (where a kernel's vectors
//   can sum so), it is below 4 exactly when the exact sum is, since 4 is a
//   single.
// A lane in doubt is marked, and when its block is done its pixel is
// computed again with the reference. Such pixels are rare (tens per frame,
// thousands in a few frames whose orbits keep zi near zero). The test is not
// confined to the active lanes: a lane in doubt may go on (its count is not
// used), and a lane that has stopped goes on computing values nobody reads,
// which may mark it too: that costs a pixel from the reference, never a
// wrong one. Each block starts unmarked.
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
    int lane_of[max_reference_pixels];
    float x_of[max_reference_pixels];
    int pixels = 0;
    do {
        const int lane = __builtin_ctz(lanes);
        lanes &= lanes - 1;
        lane_of[pixels] = lane;
        x_of[pixels] = x[lane];
        ++pixels;
    } while (lanes != 0);
    int counts[max_reference_pixels];
    reference_escape_counts(pixels, x_of, y, c_re, c_im, counts);
    for (int k = 0; k < pixels; ++k) {
        out[lane_of[k]] = palette[counts[k]];
    }
}

// The vector operations V supplies (each with the kernel's target):
//   lanes, vectors, streams: pixels per vector, vectors per block, blocks
//     in flight; block: the BlockShape, lanes wide and vectors high
//   Singles, Wide, Mask, Counts, Colours: vector types
//   load(const float*), broadcast(float), widen(float) -> Wide
//   mul, add (Singles)
//   next_real(rr, ii, c_re) -> Singles: (rr - ii) + c_re in double, rounded
//   all_lanes(), no_lanes(), none(Mask), either(Mask, Mask)
//   square_size(rr, ii): rr + ii, rounded to nearest or towards zero
//   in_doubt(rr, ii, size, floor, bound): the lanes where the smaller of rr
//     and ii is below floor, or (when size was rounded to nearest) size
//     equals bound
//   going_on(active, size, bound): the lanes of active where size is below
//     bound
//   lanes_of(Mask): the lanes of a mask as bits
//   zero_counts(), count_up(Counts, Mask): one more in the lanes of mask
//   colours(const std::uint32_t* palette), store_colours(out, Counts, Colours)
//
// It is the kernel's entry itself (its row's render), so it realigns the
// stack where that is needed (QUENLIXOR_REALIGN_STACK).
template <class V>
QUENLIXOR_REALIGN_STACK QUENLIXOR_SIMD_TARGET void render_blocks(float c_re, float c_im,
                                                                 std::uint32_t* pixels) {
    using Singles = typename V::Singles;
    using Mask = typename V::Mask;
    using Counts = typename V::Counts;
    constexpr int lanes = V::lanes;
    constexpr std::size_t vectors = V::vectors;  // per block
    constexpr std::size_t streams = V::streams;
    constexpr int blocks_per_band = picture_width / lanes;  // a band: `vectors` rows
    constexpr int block_count = blocks_per_band * (picture_height / static_cast<int>(vectors));
    static_assert(picture_width % lanes == 0 && picture_height % vectors == 0 &&
                  block_count >= static_cast<int>(streams) && V::block.width == lanes &&
                  V::block.height == static_cast<int>(vectors) && lanes <= max_reference_pixels);

    const typename V::Wide c_re_wide = V::widen(c_re);
    const Singles c_im_vector = V::broadcast(c_im);
    // 2 as a value the compiler cannot see (read once per picture from a
    // volatile), so that zi x 2 stays a multiply (on the multiply units)
    // instead of becoming zi + zi (on the add units, which the conversions to
    // and from double keep the busiest). Either is exact.
    volatile float two_value = 2.0F;
    const Singles two = V::broadcast(two_value);
    const Singles bound = V::broadcast(4.0F);
    const float c_re_size = c_re < 0.0F ? -c_re : c_re;
    const bool c_re_fits =
        c_re_size == 0.0F || (c_re_size >= exact_square_floor && c_re_size <= exact_c_re_limit);
    // With c_re outside its bounds no square is large enough: all in doubt.
    const Singles square_floor = V::broadcast(c_re_fits ? exact_square_floor : 3.0e38F);
    const typename V::Colours colours = V::colours(palette);
    // Blocks go along each band of rows, band after band.
    const auto first_row = [](int number) {
        return number / blocks_per_band * static_cast<int>(vectors);
    };
    const auto first_column = [](int number) { return number % blocks_per_band * lanes; };

    // Every stream starts without a block, on values nobody reads.
    Singles zr[streams][vectors];
    Singles zi[streams][vectors];
    Mask active[streams][vectors];      // lanes still iterating
    unsigned marked[streams][vectors];  // lanes in doubt (bits), for the reference
    Counts count[streams][vectors];     // passes made
    int passes[streams];
    int block[streams];  // -1 while the stream has no block
#pragma GCC unroll 8
    for (std::size_t s = 0; s < streams; ++s) {
#pragma GCC unroll 8
        for (std::size_t v = 0; v < vectors; ++v) {
            zr[s][v] = V::broadcast(0.0F);
            zi[s][v] = zr[s][v];
            active[s][v] = V::no_lanes();
            marked[s][v] = 0;
            count[s][v] = V::zero_counts();
        }
        passes[s] = 0;
        block[s] = -1;
    }
    int next_block = 0;
    std::size_t live = streams;

    while (live > 0) {
#pragma GCC unroll 8
        for (std::size_t s = 0; s < streams; ++s) {
#pragma GCC unroll 8
            for (std::size_t v = 0; v < vectors; ++v) {
                count[s][v] = V::count_up(count[s][v], active[s][v]);
                const Singles rr = V::mul(zr[s][v], zr[s][v]);
                const Singles ii = V::mul(zi[s][v], zi[s][v]);
                const Singles t = V::mul(V::mul(zi[s][v], two), zr[s][v]);
                zi[s][v] = V::add(c_im_vector, t);
                zr[s][v] = V::next_real(rr, ii, c_re_wide);
                const Singles size = V::square_size(rr, ii);
                marked[s][v] |= V::lanes_of(V::in_doubt(rr, ii, size, square_floor, bound));
                active[s][v] = V::going_on(active[s][v], size, bound);
            }
        }
#pragma GCC unroll 8
        for (std::size_t s = 0; s < streams; ++s) {
            Mask any = active[s][0];
#pragma GCC unroll 8
            for (std::size_t v = 1; v < vectors; ++v) {
                any = V::either(any, active[s][v]);
            }
            if (V::none(any) || ++passes[s] == iteration_limit) {
                if (block[s] >= 0) {
                    // The block is done: its colours, then the lanes in doubt.
#pragma GCC unroll 8
                    for (std::size_t v = 0; v < vectors; ++v) {
                        const int row = first_row(block[s]) + static_cast<int>(v);
                        const int column = first_column(block[s]);
                        std::uint32_t* const out = pixels + row * picture_width + column;
                        V::store_colours(out, count[s][v], colours);
                        const unsigned in_doubt = marked[s][v];
                        if (in_doubt != 0) {
                            render_lanes_in_doubt(out, in_doubt, x_of_column + column,
                                                  y_of_row[row], c_re, c_im);
                        }
                    }
                }
                if (next_block < block_count) {
#pragma GCC unroll 8
                    for (std::size_t v = 0; v < vectors; ++v) {
                        zr[s][v] = V::load(x_of_column + first_column(next_block));
                        zi[s][v] =
                            V::broadcast(y_of_row[first_row(next_block) + static_cast<int>(v)]);
                        active[s][v] = V::all_lanes();
                        marked[s][v] = 0;
                        count[s][v] = V::zero_counts();
                    }
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
