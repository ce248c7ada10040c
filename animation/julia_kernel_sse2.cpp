// The SSE2 kernel: 4 pixels per block, several blocks in flight at once.
// The arithmetic and the argument for its exactness are those of the AVX2
// kernel (see julia_kernel_avx2.cpp): single multiplies and the single sum
// for zi, double for the new zr, the escape test on the single sum, and the
// reference for the rare pixels where rr, ii and c_re were too far apart for
// the new zr to be exact in double or the single sum was exactly 4.
//
// Built with SSE2 (also on 32-bit x86) and with -ffp-contract=off.
#include <emmintrin.h>

#include "animation/julia_renderer_kernels.h"

namespace quenlixor {

namespace {

constexpr int lanes = 4;
constexpr int blocks_per_row = picture_width / lanes;
constexpr int block_count = pixel_count / lanes;
constexpr int group_size = 4;
static_assert(block_count % group_size == 0);

}  // namespace

QUENLIXOR_KERNEL_ENTRY void render_pixels_sse2(float c_re, float c_im, std::uint32_t* pixels) {
    const __m128d c_re_wide = _mm_set1_pd(static_cast<double>(c_re));
    const __m128 c_im_single = _mm_set1_ps(c_im);
    const __m128 bound = _mm_set1_ps(4.0F);
    const __m128i spread_limit = _mm_set1_epi32(exact_spread);
    const float c_re_size = c_re < 0.0F ? -c_re : c_re;
    const __m128 c_re_for_largest = _mm_set1_ps(c_re_size);
    const __m128 c_re_for_smallest = _mm_set1_ps(c_re_size > 0.0F ? c_re_size : 3.0e38F);
    const __m128i one = _mm_set1_epi32(1);

    // The first pass starts from the squares of the coordinates.
    CoordinateSquares squares;
    square_coordinates(squares);
    const float* const column_squares = squares.column;
    const double* const column_squares_wide = squares.column_wide;
    const float* const row_squares = squares.row;
    const double* const row_squares_wide = squares.row_wide;

    for (int first = 0; first < block_count; first += group_size) {
        __m128 zr[group_size];
        __m128 zi[group_size];
        __m128 active[group_size];
        __m128i count[group_size];
        __m128 doubtful = _mm_setzero_ps();

        // The first pass, from the squares of the coordinates.
        __m128 any_active = _mm_setzero_ps();
#pragma GCC unroll 8
        for (int g = 0; g < group_size; ++g) {
            const int block = first + g;
            const int column = (block % blocks_per_row) * lanes;
            const int row = block / blocks_per_row;
            const __m128 x = _mm_load_ps(x_of_column + column);
            const __m128 y = _mm_set1_ps(y_of_row[row]);
            const __m128 rr = _mm_load_ps(column_squares + column);
            const __m128 ii = _mm_set1_ps(row_squares[row]);
            zi[g] = _mm_add_ps(c_im_single, _mm_mul_ps(_mm_add_ps(y, y), x));
            const __m128d ii_wide = _mm_set1_pd(row_squares_wide[row]);
            const __m128d zr_low = _mm_add_pd(
                _mm_sub_pd(_mm_load_pd(column_squares_wide + column), ii_wide), c_re_wide);
            const __m128d zr_high = _mm_add_pd(
                _mm_sub_pd(_mm_load_pd(column_squares_wide + column + 2), ii_wide), c_re_wide);
            zr[g] = _mm_movelh_ps(_mm_cvtpd_ps(zr_low), _mm_cvtpd_ps(zr_high));

            const __m128 size = _mm_add_ps(rr, ii);
            const __m128 on_bound = _mm_cmpeq_ps(size, bound);
            const __m128 largest = _mm_max_ps(size, c_re_for_largest);
            const __m128 smallest = _mm_min_ps(_mm_min_ps(rr, ii), c_re_for_smallest);
            const __m128i spread =
                _mm_sub_epi32(_mm_castps_si128(largest), _mm_castps_si128(smallest));
            doubtful = _mm_or_ps(
                doubtful,
                _mm_or_ps(on_bound, _mm_castsi128_ps(_mm_cmpgt_epi32(spread, spread_limit))));
            active[g] = _mm_cmplt_ps(size, bound);
            any_active = _mm_or_ps(any_active, active[g]);
            count[g] = one;
        }

        for (int pass = 1; pass < iteration_limit && _mm_movemask_ps(any_active) != 0; ++pass) {
            any_active = _mm_setzero_ps();
#pragma GCC unroll 8
            for (int g = 0; g < group_size; ++g) {
                count[g] = _mm_sub_epi32(count[g], _mm_castps_si128(active[g]));

                const __m128 rr = _mm_mul_ps(zr[g], zr[g]);
                const __m128 ii = _mm_mul_ps(zi[g], zi[g]);
                const __m128 t = _mm_mul_ps(_mm_add_ps(zi[g], zi[g]), zr[g]);
                zi[g] = _mm_add_ps(c_im_single, t);

                const __m128d rr_low = _mm_cvtps_pd(rr);
                const __m128d rr_high = _mm_cvtps_pd(_mm_movehl_ps(rr, rr));
                const __m128d ii_low = _mm_cvtps_pd(ii);
                const __m128d ii_high = _mm_cvtps_pd(_mm_movehl_ps(ii, ii));
                const __m128d zr_low = _mm_add_pd(_mm_sub_pd(rr_low, ii_low), c_re_wide);
                const __m128d zr_high = _mm_add_pd(_mm_sub_pd(rr_high, ii_high), c_re_wide);
                zr[g] = _mm_movelh_ps(_mm_cvtpd_ps(zr_low), _mm_cvtpd_ps(zr_high));

                const __m128 size = _mm_add_ps(rr, ii);
                const __m128 on_bound = _mm_cmpeq_ps(size, bound);
                const __m128 largest = _mm_max_ps(size, c_re_for_largest);
                const __m128 smallest = _mm_min_ps(_mm_min_ps(rr, ii), c_re_for_smallest);
                const __m128i spread =
                    _mm_sub_epi32(_mm_castps_si128(largest), _mm_castps_si128(smallest));
                const __m128 doubt =
                    _mm_or_ps(on_bound, _mm_castsi128_ps(_mm_cmpgt_epi32(spread, spread_limit)));
                doubtful = _mm_or_ps(doubtful, _mm_and_ps(doubt, active[g]));

                active[g] = _mm_and_ps(active[g], _mm_cmplt_ps(size, bound));
                any_active = _mm_or_ps(any_active, active[g]);
            }
        }

        std::uint32_t* const out = pixels + first * lanes;
#pragma GCC unroll 8
        for (int g = 0; g < group_size; ++g) {
            alignas(16) std::uint32_t counts[lanes];
            _mm_store_si128(reinterpret_cast<__m128i*>(counts), count[g]);
            for (int lane = 0; lane < lanes; ++lane) {
                out[g * lanes + lane] = palette[counts[lane]];
            }
        }
        auto lanes_in_doubt = static_cast<unsigned>(_mm_movemask_ps(doubtful));
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
