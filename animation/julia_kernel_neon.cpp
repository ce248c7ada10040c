// The NEON kernel (ARM64): the blocks of julia_kernel_simd.h, vectors of 4
// lanes. Advanced SIMD is part of every ARM64 processor, so the kernel needs
// no target attribute and is always available there. AArch64's vector
// arithmetic rounds as IEEE singles and doubles do, to nearest, and keeps
// subnormals unless FPCR.FZ is set (which Linux leaves clear; the renderer's
// tests check it).
#include <arm_neon.h>

#include <cstddef>
#include <cstdint>

#include "animation/julia_renderer_kernels.h"

#define QUENLIXOR_SIMD_TARGET
#define QUENLIXOR_SIMD_OPERATION __attribute__((always_inline)) static inline

namespace quenlixor {
namespace {

struct NeonVectors {
    static constexpr int lanes = 4;
    // 8 pixels per block (two vectors), two blocks in flight: ARM64 has 32
    // vector registers, enough for both without spilling.
    static constexpr std::size_t vectors = 2;
    static constexpr std::size_t streams = 2;
    static constexpr BlockShape block{4, 2};
    using Singles = float32x4_t;
    using Wide = float64x2_t;
    using Mask = uint32x4_t;
    using Counts = uint32x4_t;
    using Colours = const std::uint32_t*;

    QUENLIXOR_SIMD_OPERATION Singles load(const float* values) { return vld1q_f32(values); }
    QUENLIXOR_SIMD_OPERATION Singles broadcast(float value) { return vdupq_n_f32(value); }
    QUENLIXOR_SIMD_OPERATION Wide widen(float value) {
        return vdupq_n_f64(static_cast<double>(value));
    }
    QUENLIXOR_SIMD_OPERATION Singles mul(Singles a, Singles b) { return vmulq_f32(a, b); }
    QUENLIXOR_SIMD_OPERATION Singles add(Singles a, Singles b) { return vaddq_f32(a, b); }
    QUENLIXOR_SIMD_OPERATION Singles next_real(Singles rr, Singles ii, Wide c_re) {
        const float64x2_t low = vaddq_f64(
            vsubq_f64(vcvt_f64_f32(vget_low_f32(rr)), vcvt_f64_f32(vget_low_f32(ii))), c_re);
        const float64x2_t high =
            vaddq_f64(vsubq_f64(vcvt_high_f64_f32(rr), vcvt_high_f64_f32(ii)), c_re);
        return vcvt_high_f32_f64(vcvt_f32_f64(low), high);
    }
    QUENLIXOR_SIMD_OPERATION Mask all_lanes() { return vdupq_n_u32(~0U); }
    QUENLIXOR_SIMD_OPERATION Mask no_lanes() { return vdupq_n_u32(0U); }
    QUENLIXOR_SIMD_OPERATION Singles square_size(Singles rr, Singles ii) {
        return vaddq_f32(rr, ii);
    }
    QUENLIXOR_SIMD_OPERATION Mask in_doubt(Singles rr, Singles ii, Singles size, Singles floor,
                                           Singles bound) {
        return vorrq_u32(vcltq_f32(vminq_f32(rr, ii), floor), vceqq_f32(size, bound));
    }
    QUENLIXOR_SIMD_OPERATION Mask going_on(Mask active, Singles size, Singles bound) {
        return vandq_u32(active, vcltq_f32(size, bound));
    }
    // NEON has no move-mask: each lane keeps its own bit, then one sum
    // across the vector.
    QUENLIXOR_SIMD_OPERATION unsigned lanes_of(Mask mask) {
        const uint32x4_t bits = {1U, 2U, 4U, 8U};
        return vaddvq_u32(vandq_u32(mask, bits));
    }
    QUENLIXOR_SIMD_OPERATION Mask either(Mask a, Mask b) { return vorrq_u32(a, b); }
    QUENLIXOR_SIMD_OPERATION bool none(Mask mask) { return vmaxvq_u32(mask) == 0U; }
    QUENLIXOR_SIMD_OPERATION Counts zero_counts() { return vdupq_n_u32(0U); }
    QUENLIXOR_SIMD_OPERATION Counts count_up(Counts counts, Mask mask) {
        return vsubq_u32(counts, mask);  // a lane of mask is all ones, -1
    }
    QUENLIXOR_SIMD_OPERATION Colours colours(const std::uint32_t* entries) { return entries; }
    QUENLIXOR_SIMD_OPERATION void store_colours(std::uint32_t* out, Counts counts,
                                                Colours entries) {
        std::uint32_t values[lanes];
        vst1q_u32(values, counts);
        for (int lane = 0; lane < lanes; ++lane) {
            out[lane] = entries[values[lane] & 0xFFU];
        }
    }
};

}  // namespace
}  // namespace quenlixor

#include "animation/julia_kernel_simd.h"

namespace quenlixor {

extern const Kernel neon_kernel{
    .name = "neon",
    .needs = &ProcessorFeatures::neon,
    .render = render_blocks<NeonVectors>,
    .block = NeonVectors::block,
};

}  // namespace quenlixor
