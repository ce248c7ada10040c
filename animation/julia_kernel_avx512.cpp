// The AVX-512 kernel: 16 pixels per block, several blocks in flight at once
// so that the dependency chain of one pass of one block overlaps with the
// others. Mask registers hold the lanes still iterating and drive the
// counts, the flags and the end of a group: a group ends when all its lanes
// have escaped or made 20 passes.
//
// The arithmetic and the argument for its exactness are those of the AVX2
// kernel (see julia_kernel_avx2.cpp): single multiplies and the single sum
// for zi, double for the new zr, the escape test on the single sum, and the
// reference for the rare pixels where rr, ii and c_re were too far apart for
// the new zr to be exact in double or the single sum was exactly 4.
//
// Built with AVX-512 F, DQ, BW and VL, without FMA, and with
// -ffp-contract=off.

// GCC 12's AVX-512 intrinsics start some results from a deliberately
// undefined register (__Y = __Y), which its own uninitialized-value warnings
// then report at every use.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include "animation/julia_renderer_kernels.h"

namespace quenlixor {

namespace {

constexpr int lanes = 16;
constexpr int blocks_per_row = picture_width / lanes;
constexpr int block_count = pixel_count / lanes;
// Blocks computed together; the framebuffer's blocks are taken in order.
constexpr int group_size = 4;
static_assert(picture_width % lanes == 0 && picture_height % lanes == 0);
static_assert(block_count % group_size == 0);

// The new zr = (rr - ii) + c_re in double, rounded to single.
inline __m512 next_real_part(__m512 rr, __m512 ii, __m512d c_re_wide) {
    const __m512d rr_low = _mm512_cvtps_pd(_mm512_castps512_ps256(rr));
    const __m512d rr_high = _mm512_cvtps_pd(_mm512_extractf32x8_ps(rr, 1));
    const __m512d ii_low = _mm512_cvtps_pd(_mm512_castps512_ps256(ii));
    const __m512d ii_high = _mm512_cvtps_pd(_mm512_extractf32x8_ps(ii, 1));
    const __m512d low = _mm512_add_pd(_mm512_sub_pd(rr_low, ii_low), c_re_wide);
    const __m512d high = _mm512_add_pd(_mm512_sub_pd(rr_high, ii_high), c_re_wide);
    return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(low)), _mm512_cvtpd_ps(high),
                              1);
}

}  // namespace

QUENLIXOR_KERNEL_ENTRY void render_pixels_avx512(float c_re, float c_im, std::uint32_t* pixels) {
    const __m512d c_re_wide = _mm512_set1_pd(static_cast<double>(c_re));
    const __m512 c_im_single = _mm512_set1_ps(c_im);
    const __m512 bound = _mm512_set1_ps(4.0F);
    const __m512i spread_limit = _mm512_set1_epi32(exact_spread);
    // |c_re| takes part in the spread unless it is zero.
    const float c_re_size = c_re < 0.0F ? -c_re : c_re;
    const __m512 c_re_for_largest = _mm512_set1_ps(c_re_size);
    const __m512 c_re_for_smallest = _mm512_set1_ps(c_re_size > 0.0F ? c_re_size : 3.0e38F);
    // Counts run from 1 to 20: palette entries 0-31 in two registers cover
    // them, and one two-table permute looks them up.
    const __m512i colours_0_to_15 = _mm512_loadu_si512(palette);
    const __m512i colours_16_to_31 = _mm512_loadu_si512(palette + 16);
    const __m512i one = _mm512_set1_epi32(1);

    // The first pass starts from the squares of the coordinates.
    CoordinateSquares squares;
    square_coordinates(squares);
    const float* const column_squares = squares.column;
    const double* const column_squares_wide = squares.column_wide;
    const float* const row_squares = squares.row;
    const double* const row_squares_wide = squares.row_wide;

    for (int first = 0; first < block_count; first += group_size) {
        __m512 zr[group_size];
        __m512 zi[group_size];
        // Lanes still iterating; a lane that has escaped goes on computing
        // values nobody reads.
        __mmask16 active[group_size];
        __m512i count[group_size];
        // Lanes flagged in any block of the group.
        __mmask16 doubtful = 0;
        __mmask16 any_active = 0;

        // The first pass, from the squares of the coordinates.
#pragma GCC unroll 8
        for (int g = 0; g < group_size; ++g) {
            const int block = first + g;
            const int column = (block % blocks_per_row) * lanes;
            const int row = block / blocks_per_row;
            const __m512 x = _mm512_loadu_ps(x_of_column + column);
            const __m512 y = _mm512_set1_ps(y_of_row[row]);
            const __m512 rr = _mm512_load_ps(column_squares + column);
            const __m512 ii = _mm512_set1_ps(row_squares[row]);
            zi[g] = _mm512_add_ps(c_im_single, _mm512_mul_ps(_mm512_add_ps(y, y), x));
            const __m512d ii_wide = _mm512_set1_pd(row_squares_wide[row]);
            const __m512d zr_low = _mm512_add_pd(
                _mm512_sub_pd(_mm512_load_pd(column_squares_wide + column), ii_wide), c_re_wide);
            const __m512d zr_high = _mm512_add_pd(
                _mm512_sub_pd(_mm512_load_pd(column_squares_wide + column + 8), ii_wide),
                c_re_wide);
            zr[g] = _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(zr_low)),
                                       _mm512_cvtpd_ps(zr_high), 1);

            const __m512 size = _mm512_add_ps(rr, ii);
            const __m512 largest = _mm512_max_ps(size, c_re_for_largest);
            const __m512 smallest = _mm512_min_ps(_mm512_min_ps(rr, ii), c_re_for_smallest);
            const __m512i spread =
                _mm512_sub_epi32(_mm512_castps_si512(largest), _mm512_castps_si512(smallest));
            doubtful =
                static_cast<__mmask16>(doubtful | _mm512_cmp_ps_mask(size, bound, _CMP_EQ_OQ) |
                                       _mm512_cmpgt_epi32_mask(spread, spread_limit));
            active[g] = _mm512_cmp_ps_mask(size, bound, _CMP_LT_OQ);
            any_active = static_cast<__mmask16>(any_active | active[g]);
            count[g] = one;
        }

        for (int pass = 1; pass < iteration_limit && any_active != 0; ++pass) {
            any_active = 0;
#pragma GCC unroll 8
            for (int g = 0; g < group_size; ++g) {
                count[g] = _mm512_mask_add_epi32(count[g], active[g], count[g], one);

                const __m512 rr = _mm512_mul_ps(zr[g], zr[g]);
                const __m512 ii = _mm512_mul_ps(zi[g], zi[g]);
                const __m512 t = _mm512_mul_ps(_mm512_add_ps(zi[g], zi[g]), zr[g]);
                zi[g] = _mm512_add_ps(c_im_single, t);
                zr[g] = next_real_part(rr, ii, c_re_wide);

                const __m512 size = _mm512_add_ps(rr, ii);
                const __m512 largest = _mm512_max_ps(size, c_re_for_largest);
                const __m512 smallest = _mm512_min_ps(_mm512_min_ps(rr, ii), c_re_for_smallest);
                const __m512i spread =
                    _mm512_sub_epi32(_mm512_castps_si512(largest), _mm512_castps_si512(smallest));
                doubtful = static_cast<__mmask16>(
                    doubtful | _mm512_mask_cmp_ps_mask(active[g], size, bound, _CMP_EQ_OQ) |
                    _mm512_mask_cmpgt_epi32_mask(active[g], spread, spread_limit));
                active[g] = _mm512_mask_cmp_ps_mask(active[g], size, bound, _CMP_LT_OQ);
                any_active = static_cast<__mmask16>(any_active | active[g]);
            }
        }

        std::uint32_t* const out = pixels + first * lanes;
#pragma GCC unroll 8
        for (int g = 0; g < group_size; ++g) {
            _mm512_store_si512(out + g * lanes, _mm512_permutex2var_epi32(colours_0_to_15, count[g],
                                                                          colours_16_to_31));
        }
        auto lanes_in_doubt = static_cast<unsigned>(doubtful);
        while (lanes_in_doubt != 0) {
            const int lane = __builtin_ctz(lanes_in_doubt);
            lanes_in_doubt &= lanes_in_doubt - 1;
            for (int g = 0; g < group_size; ++g) {
                const int pixel = (first + g) * lanes + lane;
                pixels[pixel] =
                    palette[reference_escape_count(x_of_column[pixel % picture_width],
                                                   y_of_row[pixel / picture_width], c_re, c_im)];
            }
        }
    }
}

}  // namespace quenlixor
