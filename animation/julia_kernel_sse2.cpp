// The SSE2 kernel: the blocks of julia_kernel_simd.h, vectors of 4 lanes.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "animation/julia_renderer_kernels.h"

#define QUENLIXOR_SIMD_TARGET __attribute__((target("sse2")))
#define QUENLIXOR_SIMD_OPERATION QUENLIXOR_SIMD_TARGET __attribute__((always_inline)) static inline

namespace quenlixor {
namespace {

struct Sse2Vectors {
    static constexpr int lanes = 4;
    // 8 pixels per block (two vectors), one block in flight.
    static constexpr std::size_t vectors = 2;
    static constexpr std::size_t streams = 1;
    static constexpr BlockShape block{4, 2};
    using Singles = __m128;
    using Wide = __m128d;
    using Mask = __m128;
    using Counts = __m128i;
    using Colours = const std::uint32_t*;

    QUENLIXOR_SIMD_OPERATION Singles load(const float* values) { return _mm_loadu_ps(values); }
    QUENLIXOR_SIMD_OPERATION Singles broadcast(float value) { return _mm_set1_ps(value); }
    QUENLIXOR_SIMD_OPERATION Wide widen(float value) {
        return _mm_set1_pd(static_cast<double>(value));
    }
    QUENLIXOR_SIMD_OPERATION Singles mul(Singles a, Singles b) { return _mm_mul_ps(a, b); }
    QUENLIXOR_SIMD_OPERATION Singles add(Singles a, Singles b) { return _mm_add_ps(a, b); }
    QUENLIXOR_SIMD_OPERATION Singles next_real(Singles rr, Singles ii, Wide c_re) {
        const __m128d low = _mm_add_pd(_mm_sub_pd(_mm_cvtps_pd(rr), _mm_cvtps_pd(ii)), c_re);
        const __m128d high = _mm_add_pd(
            _mm_sub_pd(_mm_cvtps_pd(_mm_movehl_ps(rr, rr)), _mm_cvtps_pd(_mm_movehl_ps(ii, ii))),
            c_re);
        return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
    }
    QUENLIXOR_SIMD_OPERATION Mask all_lanes() { return _mm_castsi128_ps(_mm_set1_epi32(-1)); }
    QUENLIXOR_SIMD_OPERATION Mask no_lanes() { return _mm_setzero_ps(); }
    QUENLIXOR_SIMD_OPERATION Singles square_size(Singles rr, Singles ii) {
        return _mm_add_ps(rr, ii);
    }
    QUENLIXOR_SIMD_OPERATION Mask in_doubt(Singles rr, Singles ii, Singles size, Singles floor,
                                           Singles bound) {
        return _mm_or_ps(_mm_cmplt_ps(_mm_min_ps(rr, ii), floor), _mm_cmpeq_ps(size, bound));
    }
    QUENLIXOR_SIMD_OPERATION Mask going_on(Mask active, Singles size, Singles bound) {
        return _mm_and_ps(active, _mm_cmplt_ps(size, bound));
    }
    QUENLIXOR_SIMD_OPERATION unsigned lanes_of(Mask mask) {
        return static_cast<unsigned>(_mm_movemask_ps(mask));
    }
    QUENLIXOR_SIMD_OPERATION Mask either(Mask a, Mask b) { return _mm_or_ps(a, b); }
    QUENLIXOR_SIMD_OPERATION bool none(Mask mask) { return _mm_movemask_ps(mask) == 0; }
    QUENLIXOR_SIMD_OPERATION Counts zero_counts() { return _mm_setzero_si128(); }
    QUENLIXOR_SIMD_OPERATION Counts count_up(Counts counts, Mask mask) {
        return _mm_sub_epi32(counts, _mm_castps_si128(mask));  // a lane of mask is -1
    }
    QUENLIXOR_SIMD_OPERATION Colours colours(const std::uint32_t* entries) { return entries; }
    QUENLIXOR_SIMD_OPERATION void store_colours(std::uint32_t* out, Counts counts,
                                                Colours entries) {
        alignas(16) std::uint32_t values[lanes];
        _mm_store_si128(reinterpret_cast<__m128i*>(values), counts);
        for (int lane = 0; lane < lanes; ++lane) {
            out[lane] = entries[values[lane] & 0xFFU];
        }
    }
};

}  // namespace
}  // namespace quenlixor

#include "animation/julia_kernel_simd.h"

namespace quenlixor {

extern const Kernel sse2_kernel{
    .name = "sse2",
    .needs = &ProcessorFeatures::sse2,
    .render = render_blocks<Sse2Vectors>,
    .block = Sse2Vectors::block,
};

}  // namespace quenlixor
