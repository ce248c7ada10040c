// The AVX-512 kernel (F, DQ, BW and VL, without FMA): the blocks of
// julia_kernel_simd.h, vectors of 16 lanes, masks in mask registers.

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

#include <cstddef>
#include <cstdint>

#include "animation/julia_renderer_kernels.h"

#define QUENLIXOR_SIMD_TARGET __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl,no-fma")))
#define QUENLIXOR_SIMD_OPERATION QUENLIXOR_SIMD_TARGET __attribute__((always_inline)) static inline

namespace quenlixor {
namespace {

// 16 lanes per vector, 32 pixels per block, two blocks in flight.
struct Avx512Vectors {
    static constexpr int lanes = 16;
    static constexpr std::size_t vectors = 2;
    static constexpr std::size_t streams = 2;
    static constexpr BlockShape block{16, 2};
    using Singles = __m512;
    using Wide = __m512d;
    using Mask = __mmask16;
    using Counts = __m512i;
    // Counts run from 1 to 20: palette entries 0-31 in two registers.
    struct Colours {
        __m512i entries_0_to_15;
        __m512i entries_16_to_31;
    };

    QUENLIXOR_SIMD_OPERATION Singles load(const float* values) { return _mm512_loadu_ps(values); }
    QUENLIXOR_SIMD_OPERATION Singles broadcast(float value) { return _mm512_set1_ps(value); }
    QUENLIXOR_SIMD_OPERATION Wide widen(float value) {
        return _mm512_set1_pd(static_cast<double>(value));
    }
    QUENLIXOR_SIMD_OPERATION Singles mul(Singles a, Singles b) { return _mm512_mul_ps(a, b); }
    QUENLIXOR_SIMD_OPERATION Singles add(Singles a, Singles b) { return _mm512_add_ps(a, b); }
    QUENLIXOR_SIMD_OPERATION Singles next_real(Singles rr, Singles ii, Wide c_re) {
        const __m512d low =
            _mm512_add_pd(_mm512_sub_pd(_mm512_cvtps_pd(_mm512_castps512_ps256(rr)),
                                        _mm512_cvtps_pd(_mm512_castps512_ps256(ii))),
                          c_re);
        const __m512d high =
            _mm512_add_pd(_mm512_sub_pd(_mm512_cvtps_pd(_mm512_extractf32x8_ps(rr, 1)),
                                        _mm512_cvtps_pd(_mm512_extractf32x8_ps(ii, 1))),
                          c_re);
        return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(low)),
                                  _mm512_cvtpd_ps(high), 1);
    }
    QUENLIXOR_SIMD_OPERATION Mask all_lanes() { return 0xFFFF; }
    QUENLIXOR_SIMD_OPERATION Mask no_lanes() { return 0; }
    QUENLIXOR_SIMD_OPERATION Mask either(Mask a, Mask b) { return static_cast<Mask>(a | b); }
    QUENLIXOR_SIMD_OPERATION bool none(Mask mask) { return mask == 0; }
    // Rounded towards zero, the sum is below 4 exactly when the exact sum is.
    QUENLIXOR_SIMD_OPERATION Singles square_size(Singles rr, Singles ii) {
        return _mm512_add_round_ps(rr, ii, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    }
    QUENLIXOR_SIMD_OPERATION Mask in_doubt(Singles rr, Singles ii, Singles size, Singles floor,
                                           Singles bound) {
        static_cast<void>(size);
        static_cast<void>(bound);
        return _mm512_cmp_ps_mask(_mm512_min_ps(rr, ii), floor, _CMP_LT_OQ);
    }
    QUENLIXOR_SIMD_OPERATION Mask going_on(Mask active, Singles size, Singles bound) {
        return _mm512_mask_cmp_ps_mask(active, size, bound, _CMP_LT_OQ);
    }
    QUENLIXOR_SIMD_OPERATION unsigned lanes_of(Mask mask) { return mask; }
    QUENLIXOR_SIMD_OPERATION Counts zero_counts() { return _mm512_setzero_si512(); }
    QUENLIXOR_SIMD_OPERATION Counts count_up(Counts counts, Mask mask) {
        return _mm512_mask_add_epi32(counts, mask, counts, _mm512_set1_epi32(1));
    }
    QUENLIXOR_SIMD_OPERATION Colours colours(const std::uint32_t* entries) {
        return {_mm512_loadu_si512(entries), _mm512_loadu_si512(entries + 16)};
    }
    QUENLIXOR_SIMD_OPERATION void store_colours(std::uint32_t* out, Counts counts,
                                                const Colours& colours) {
        _mm512_storeu_si512(out, _mm512_permutex2var_epi32(colours.entries_0_to_15, counts,
                                                           colours.entries_16_to_31));
    }
};

}  // namespace
}  // namespace quenlixor

#include "animation/julia_kernel_simd.h"

namespace quenlixor {

extern const Kernel avx512_kernel{
    .name = "avx512",
    .needs = &ProcessorFeatures::avx512,
    .render = render_blocks<Avx512Vectors>,
    .block = Avx512Vectors::block,
};

}  // namespace quenlixor
