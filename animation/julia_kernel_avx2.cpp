// The AVX2 kernel: the blocks of julia_kernel_simd.h, vectors of 8 lanes.
// AVX2 without FMA: no multiply may fuse with an add.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "animation/julia_renderer_kernels.h"

#define QUENLIXOR_SIMD_TARGET __attribute__((target("avx2,no-fma")))
#define QUENLIXOR_SIMD_OPERATION QUENLIXOR_SIMD_TARGET __attribute__((always_inline)) static inline

namespace quenlixor {
namespace {

struct Avx2Vectors {
    static constexpr int lanes = 8;
    // Blocks of 8x4 pixels (four vectors) on x86-64, one in flight: four
    // independent dependency chains per pass cover the latency of one (about
    // 20 cycles through the double-precision zr) without a branch per block
    // in flight; the counts and masks of some vectors then live on the
    // stack, off the chains. (Measured over frames 1-600 against 8x2, 8x3,
    // 8x8 and two streams of 8x2, it was the fastest.) With the 8 registers
    // of 32-bit x86, 8x2 is faster.
    static constexpr BlockShape block{8, sizeof(void*) == 8 ? 4 : 2};
    static constexpr std::size_t vectors = static_cast<std::size_t>(block.height);
    static constexpr std::size_t streams = 1;
    using Singles = __m256;
    using Wide = __m256d;
    using Mask = __m256;
    using Counts = __m256i;
    // Counts run from 1 to 20: palette entries 0-23 in three registers.
    struct Colours {
        __m256i entries_0_to_7;
        __m256i entries_8_to_15;
        __m256i entries_16_to_23;
    };

    QUENLIXOR_SIMD_OPERATION Singles load(const float* values) { return _mm256_loadu_ps(values); }
    QUENLIXOR_SIMD_OPERATION Singles broadcast(float value) { return _mm256_set1_ps(value); }
    QUENLIXOR_SIMD_OPERATION Wide widen(float value) {
        return _mm256_set1_pd(static_cast<double>(value));
    }
    QUENLIXOR_SIMD_OPERATION Singles mul(Singles a, Singles b) { return _mm256_mul_ps(a, b); }
    QUENLIXOR_SIMD_OPERATION Singles add(Singles a, Singles b) { return _mm256_add_ps(a, b); }
    QUENLIXOR_SIMD_OPERATION Singles next_real(Singles rr, Singles ii, Wide c_re) {
        const __m256d low =
            _mm256_add_pd(_mm256_sub_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(rr)),
                                        _mm256_cvtps_pd(_mm256_castps256_ps128(ii))),
                          c_re);
        const __m256d high =
            _mm256_add_pd(_mm256_sub_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(rr, 1)),
                                        _mm256_cvtps_pd(_mm256_extractf128_ps(ii, 1))),
                          c_re);
        return _mm256_set_m128(_mm256_cvtpd_ps(high), _mm256_cvtpd_ps(low));
    }
    QUENLIXOR_SIMD_OPERATION Mask all_lanes() { return _mm256_castsi256_ps(_mm256_set1_epi32(-1)); }
    QUENLIXOR_SIMD_OPERATION Mask no_lanes() { return _mm256_setzero_ps(); }
    QUENLIXOR_SIMD_OPERATION Singles square_size(Singles rr, Singles ii) {
        return _mm256_add_ps(rr, ii);
    }
    QUENLIXOR_SIMD_OPERATION Mask in_doubt(Singles rr, Singles ii, Singles size, Singles floor,
                                           Singles bound) {
        return _mm256_or_ps(_mm256_cmp_ps(_mm256_min_ps(rr, ii), floor, _CMP_LT_OQ),
                            _mm256_cmp_ps(size, bound, _CMP_EQ_OQ));
    }
    QUENLIXOR_SIMD_OPERATION Mask going_on(Mask active, Singles size, Singles bound) {
        return _mm256_and_ps(active, _mm256_cmp_ps(size, bound, _CMP_LT_OQ));
    }
    QUENLIXOR_SIMD_OPERATION unsigned lanes_of(Mask mask) {
        return static_cast<unsigned>(_mm256_movemask_ps(mask));
    }
    QUENLIXOR_SIMD_OPERATION Mask either(Mask a, Mask b) { return _mm256_or_ps(a, b); }
    QUENLIXOR_SIMD_OPERATION bool none(Mask mask) { return _mm256_testz_ps(mask, mask) != 0; }
    QUENLIXOR_SIMD_OPERATION Counts zero_counts() { return _mm256_setzero_si256(); }
    QUENLIXOR_SIMD_OPERATION Counts count_up(Counts counts, Mask mask) {
        return _mm256_sub_epi32(counts, _mm256_castps_si256(mask));  // a lane of mask is -1
    }
    QUENLIXOR_SIMD_OPERATION Colours colours(const std::uint32_t* entries) {
        return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(entries)),
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(entries + 8)),
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(entries + 16))};
    }
    QUENLIXOR_SIMD_OPERATION void store_colours(std::uint32_t* out, Counts counts,
                                                const Colours& colours) {
        const __m256i low = _mm256_permutevar8x32_epi32(colours.entries_0_to_7, counts);
        const __m256i middle = _mm256_permutevar8x32_epi32(colours.entries_8_to_15, counts);
        const __m256i high = _mm256_permutevar8x32_epi32(colours.entries_16_to_23, counts);
        __m256i colour =
            _mm256_blendv_epi8(low, middle, _mm256_cmpgt_epi32(counts, _mm256_set1_epi32(7)));
        colour =
            _mm256_blendv_epi8(colour, high, _mm256_cmpgt_epi32(counts, _mm256_set1_epi32(15)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), colour);
    }
};

}  // namespace
}  // namespace quenlixor

#include "animation/julia_kernel_simd.h"

namespace quenlixor {

extern const Kernel avx2_kernel{
    .name = "avx2",
    .needs = &ProcessorFeatures::avx2,
    .render = render_blocks<Avx2Vectors>,
    .block = Avx2Vectors::block,
};

}  // namespace quenlixor
