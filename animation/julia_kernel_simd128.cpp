// The SIMD128 kernel (WebAssembly): the blocks of julia_kernel_simd.h,
// vectors of 4 lanes. This file alone is compiled with -msimd128 (and
// without the auto-vectoriser, which that option would turn on), so
// SIMD128 instructions stay in the kernel. WebAssembly's arithmetic is IEEE
// rounded to nearest with subnormals kept, and SIMD128 has no fused
// multiply-add.
#include <wasm_simd128.h>

#include <cstddef>
#include <cstdint>

#include "animation/julia_renderer_kernels.h"

#define QUENLIXOR_SIMD_TARGET
#define QUENLIXOR_SIMD_OPERATION __attribute__((always_inline)) static inline

namespace quenlixor {
namespace {

struct Simd128Vectors {
    static constexpr int lanes = 4;
    // 8 pixels per block (two vectors), one block in flight, as SSE2's: the
    // engines map SIMD128 onto the processor's 16 or 32 vector registers.
    static constexpr std::size_t vectors = 2;
    static constexpr std::size_t streams = 1;
    static constexpr BlockShape block{4, 2};
    using Singles = v128_t;
    using Wide = v128_t;
    using Mask = v128_t;
    using Counts = v128_t;
    using Colours = const std::uint32_t*;

    QUENLIXOR_SIMD_OPERATION Singles load(const float* values) { return wasm_v128_load(values); }
    QUENLIXOR_SIMD_OPERATION Singles broadcast(float value) { return wasm_f32x4_splat(value); }
    QUENLIXOR_SIMD_OPERATION Wide widen(float value) {
        return wasm_f64x2_splat(static_cast<double>(value));
    }
    QUENLIXOR_SIMD_OPERATION Singles mul(Singles a, Singles b) { return wasm_f32x4_mul(a, b); }
    QUENLIXOR_SIMD_OPERATION Singles add(Singles a, Singles b) { return wasm_f32x4_add(a, b); }
    QUENLIXOR_SIMD_OPERATION Singles next_real(Singles rr, Singles ii, Wide c_re) {
        const v128_t low = wasm_f64x2_add(
            wasm_f64x2_sub(wasm_f64x2_promote_low_f32x4(rr), wasm_f64x2_promote_low_f32x4(ii)),
            c_re);
        const v128_t high = wasm_f64x2_add(
            wasm_f64x2_sub(wasm_f64x2_promote_low_f32x4(wasm_i32x4_shuffle(rr, rr, 2, 3, 2, 3)),
                           wasm_f64x2_promote_low_f32x4(wasm_i32x4_shuffle(ii, ii, 2, 3, 2, 3))),
            c_re);
        return wasm_i32x4_shuffle(wasm_f32x4_demote_f64x2_zero(low),
                                  wasm_f32x4_demote_f64x2_zero(high), 0, 1, 4, 5);
    }
    QUENLIXOR_SIMD_OPERATION Mask all_lanes() { return wasm_i32x4_splat(-1); }
    QUENLIXOR_SIMD_OPERATION Mask no_lanes() { return wasm_i32x4_splat(0); }
    QUENLIXOR_SIMD_OPERATION Singles square_size(Singles rr, Singles ii) {
        return wasm_f32x4_add(rr, ii);
    }
    // pmin (b < a ? b : a) is one instruction on the engines' processors;
    // the squares are never -0, and a NaN only in lanes nobody reads.
    QUENLIXOR_SIMD_OPERATION Mask in_doubt(Singles rr, Singles ii, Singles size, Singles floor,
                                           Singles bound) {
        return wasm_v128_or(wasm_f32x4_lt(wasm_f32x4_pmin(rr, ii), floor),
                            wasm_f32x4_eq(size, bound));
    }
    QUENLIXOR_SIMD_OPERATION Mask going_on(Mask active, Singles size, Singles bound) {
        return wasm_v128_and(active, wasm_f32x4_lt(size, bound));
    }
    QUENLIXOR_SIMD_OPERATION unsigned lanes_of(Mask mask) {
        return static_cast<unsigned>(wasm_i32x4_bitmask(mask));
    }
    QUENLIXOR_SIMD_OPERATION Mask either(Mask a, Mask b) { return wasm_v128_or(a, b); }
    QUENLIXOR_SIMD_OPERATION bool none(Mask mask) { return !wasm_v128_any_true(mask); }
    QUENLIXOR_SIMD_OPERATION Counts zero_counts() { return wasm_i32x4_splat(0); }
    QUENLIXOR_SIMD_OPERATION Counts count_up(Counts counts, Mask mask) {
        return wasm_i32x4_sub(counts, mask);  // a lane of mask is -1
    }
    QUENLIXOR_SIMD_OPERATION Colours colours(const std::uint32_t* entries) { return entries; }
    QUENLIXOR_SIMD_OPERATION void store_colours(std::uint32_t* out, Counts counts,
                                                Colours entries) {
        std::uint32_t values[lanes];
        wasm_v128_store(values, counts);
        for (int lane = 0; lane < lanes; ++lane) {
            out[lane] = entries[values[lane] & 0xFFU];
        }
    }
};

}  // namespace
}  // namespace quenlixor

#include "animation/julia_kernel_simd.h"

namespace quenlixor {

extern const Kernel simd128_kernel{
    .name = "simd128",
    .needs = &ProcessorFeatures::simd128,
    .render = render_blocks<Simd128Vectors>,
    .block = Simd128Vectors::block,
};

}  // namespace quenlixor
