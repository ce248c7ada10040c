// The AVX2 kernel: 8 pixels per block, three blocks in flight at once so
// that the dependency chain of one pass (single multiply, widening, double
// subtract and add, narrowing) of one block overlaps with the others. A
// group of blocks ends when all its lanes have escaped or made 20 passes.
//
// Exactness, pass by pass, against the extended-precision reference:
// - rr = zr x zr, ii = zi x zi and t = (zi + zi) x zr are single multiplies:
//   the products of singles are exact in extended precision, so both round
//   them once, to the same single.
// - zi = c_im + t is a single add: a sum of two singles rounded to extended
//   precision and then to single gives the single add's result.
// - The new zr = (rr - ii) + c_re is carried in double. When rr, ii and c_re
//   (those that are not zero) lie within a factor of 2^27 of each other
//   their sum needs at most 53 bits, so both formats hold it exactly and
//   round it once, to the same single. The lanes where they do not are
//   flagged.
// - The escape test rr + ii < 4 is made on the single sum, which orders as
//   the exact sum does except when it is exactly 4; such lanes are flagged.
// Flagged pixels are rare; they are computed again with the reference.
//
// Built with AVX2 and without FMA, and with -ffp-contract=off.
#include <immintrin.h>

#include "animation/julia_renderer_kernels.h"

namespace quenlixor {

namespace {

constexpr int lanes = 8;
constexpr int blocks_per_row = picture_width / lanes;
constexpr int block_count = pixel_count / lanes;
// Blocks computed together; the framebuffer's blocks are taken in order, so
// a group may straddle two rows.
constexpr int group_size = 3;
static_assert(block_count % group_size == 0);

}  // namespace

QUENLIXOR_KERNEL_ENTRY void render_pixels_avx2(float c_re, float c_im, std::uint32_t* pixels) {
    const __m256d c_re_wide = _mm256_set1_pd(static_cast<double>(c_re));
    const __m256 c_im_single = _mm256_set1_ps(c_im);
    const __m256 bound = _mm256_set1_ps(4.0F);
    const __m256i spread_limit = _mm256_set1_epi32(exact_spread);
    // |c_re| takes part in the spread unless it is zero.
    const float c_re_size = c_re < 0.0F ? -c_re : c_re;
    const __m256 c_re_for_largest = _mm256_set1_ps(c_re_size);
    const __m256 c_re_for_smallest = _mm256_set1_ps(c_re_size > 0.0F ? c_re_size : 3.0e38F);
    // Counts run from 1 to 20: the first 24 palette entries cover them.
    const __m256i colours_0_to_7 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(palette));
    const __m256i colours_8_to_15 =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(palette + 8));
    const __m256i colours_16_to_23 =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(palette + 16));
    const __m256i seven = _mm256_set1_epi32(7);
    const __m256i fifteen = _mm256_set1_epi32(15);
    const __m256i one = _mm256_set1_epi32(1);

    // The first pass starts from the squares of the coordinates.
    CoordinateSquares squares;
    square_coordinates(squares);
    const float* const column_squares = squares.column;
    const double* const column_squares_wide = squares.column_wide;
    const float* const row_squares = squares.row;
    const double* const row_squares_wide = squares.row_wide;

    for (int first = 0; first < block_count; first += group_size) {
        __m256 zr[group_size];
        __m256 zi[group_size];
        // Lanes still iterating; a lane that has escaped goes on computing
        // values nobody reads.
        __m256 active[group_size];
        __m256i count[group_size];
        // Lane positions flagged in any block of the group.
        __m256 doubtful = _mm256_setzero_ps();

        // The first pass, from the squares of the coordinates.
        __m256 any_active = _mm256_setzero_ps();
#pragma GCC unroll 8
        for (int g = 0; g < group_size; ++g) {
            const int block = first + g;
            const int column = (block % blocks_per_row) * lanes;
            const int row = block / blocks_per_row;
            const __m256 x = _mm256_load_ps(x_of_column + column);
            const __m256 y = _mm256_broadcast_ss(y_of_row + row);
            const __m256 rr = _mm256_load_ps(column_squares + column);
            const __m256 ii = _mm256_broadcast_ss(row_squares + row);
            zi[g] = _mm256_add_ps(c_im_single, _mm256_mul_ps(_mm256_add_ps(y, y), x));
            const __m256d ii_wide = _mm256_broadcast_sd(row_squares_wide + row);
            const __m256d zr_low = _mm256_add_pd(
                _mm256_sub_pd(_mm256_load_pd(column_squares_wide + column), ii_wide), c_re_wide);
            const __m256d zr_high = _mm256_add_pd(
                _mm256_sub_pd(_mm256_load_pd(column_squares_wide + column + 4), ii_wide),
                c_re_wide);
            zr[g] = _mm256_set_m128(_mm256_cvtpd_ps(zr_high), _mm256_cvtpd_ps(zr_low));

            const __m256 size = _mm256_add_ps(rr, ii);
            const __m256 on_bound = _mm256_cmp_ps(size, bound, _CMP_EQ_OQ);
            const __m256 largest = _mm256_max_ps(size, c_re_for_largest);
            const __m256 smallest = _mm256_min_ps(_mm256_min_ps(rr, ii), c_re_for_smallest);
            const __m256i spread =
                _mm256_sub_epi32(_mm256_castps_si256(largest), _mm256_castps_si256(smallest));
            doubtful = _mm256_or_ps(
                doubtful, _mm256_or_ps(on_bound, _mm256_castsi256_ps(
                                                     _mm256_cmpgt_epi32(spread, spread_limit))));
            active[g] = _mm256_cmp_ps(size, bound, _CMP_LT_OQ);
            any_active = _mm256_or_ps(any_active, active[g]);
            count[g] = one;
        }

        for (int pass = 1; pass < iteration_limit && _mm256_testz_ps(any_active, any_active) == 0;
             ++pass) {
            any_active = _mm256_setzero_ps();
#pragma GCC unroll 8
            for (int g = 0; g < group_size; ++g) {
                count[g] = _mm256_sub_epi32(count[g], _mm256_castps_si256(active[g]));

                const __m256 rr = _mm256_mul_ps(zr[g], zr[g]);
                const __m256 ii = _mm256_mul_ps(zi[g], zi[g]);
                const __m256 t = _mm256_mul_ps(_mm256_add_ps(zi[g], zi[g]), zr[g]);
                zi[g] = _mm256_add_ps(c_im_single, t);

                const __m256d rr_low = _mm256_cvtps_pd(_mm256_castps256_ps128(rr));
                const __m256d rr_high = _mm256_cvtps_pd(_mm256_extractf128_ps(rr, 1));
                const __m256d ii_low = _mm256_cvtps_pd(_mm256_castps256_ps128(ii));
                const __m256d ii_high = _mm256_cvtps_pd(_mm256_extractf128_ps(ii, 1));
                const __m256d zr_low = _mm256_add_pd(_mm256_sub_pd(rr_low, ii_low), c_re_wide);
                const __m256d zr_high = _mm256_add_pd(_mm256_sub_pd(rr_high, ii_high), c_re_wide);
                zr[g] = _mm256_set_m128(_mm256_cvtpd_ps(zr_high), _mm256_cvtpd_ps(zr_low));

                const __m256 size = _mm256_add_ps(rr, ii);
                const __m256 on_bound = _mm256_cmp_ps(size, bound, _CMP_EQ_OQ);
                const __m256 largest = _mm256_max_ps(size, c_re_for_largest);
                const __m256 smallest = _mm256_min_ps(_mm256_min_ps(rr, ii), c_re_for_smallest);
                const __m256i spread =
                    _mm256_sub_epi32(_mm256_castps_si256(largest), _mm256_castps_si256(smallest));
                const __m256 doubt = _mm256_or_ps(
                    on_bound, _mm256_castsi256_ps(_mm256_cmpgt_epi32(spread, spread_limit)));
                doubtful = _mm256_or_ps(doubtful, _mm256_and_ps(doubt, active[g]));

                active[g] = _mm256_and_ps(active[g], _mm256_cmp_ps(size, bound, _CMP_LT_OQ));
                any_active = _mm256_or_ps(any_active, active[g]);
            }
        }

        std::uint32_t* const out = pixels + first * lanes;
#pragma GCC unroll 8
        for (int g = 0; g < group_size; ++g) {
            // palette[count], from three registers of eight entries.
            const __m256i low = _mm256_permutevar8x32_epi32(colours_0_to_7, count[g]);
            const __m256i middle = _mm256_permutevar8x32_epi32(colours_8_to_15, count[g]);
            const __m256i high = _mm256_permutevar8x32_epi32(colours_16_to_23, count[g]);
            __m256i colour = _mm256_blendv_epi8(low, middle, _mm256_cmpgt_epi32(count[g], seven));
            colour = _mm256_blendv_epi8(colour, high, _mm256_cmpgt_epi32(count[g], fifteen));
            _mm256_store_si256(reinterpret_cast<__m256i*>(out + g * lanes), colour);
        }
        auto lanes_in_doubt = static_cast<unsigned>(_mm256_movemask_ps(doubtful));
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
