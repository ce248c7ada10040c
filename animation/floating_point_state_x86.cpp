// The renderer's floating-point state on x86, 32- and 64-bit (see
// floating_point_state.h): the x87's control word and SSE's MXCSR.
#include <cstdint>
#include <cstring>

#include "animation/extended_arithmetic.h"
#include "animation/floating_point_state.h"
#include "platform/processor_features.h"

namespace quenlixor {
namespace {

// The x87's environment as fnstenv stores it (28 bytes): the control word,
// the status word with the exception flags, the tag word and the last
// instruction's addresses.
struct X87Environment {
    std::uint32_t words[7];
};
static_assert(sizeof(X87Environment) + sizeof(std::uint32_t) <=
              sizeof(FloatingPointState::registers));
constexpr int mxcsr_register = 7;

// Whether the x87 computes anything of the renderer's (see
// extended_arithmetic.h). Where the model computes the extended precision
// and the C library uses SSE, the renderer leaves the x87 alone: such a
// build has no x87 instruction (tests/animation/check_kernel_isa.cmake).
constexpr bool x87_computes = QUENLIXOR_X87_COMPUTES == 1;

// 64-bit precision (PC = 11), rounding to nearest (RC = 00), all six
// exceptions masked.
constexpr std::uint16_t renderer_x87_control = 0x037F;
// Rounding to nearest (RC = 00), no flush-to-zero (FZ) or
// denormals-are-zero (DAZ), all six exceptions masked, no flag raised.
constexpr std::uint32_t renderer_mxcsr = 0x1F80;

// Whether the processor has MXCSR wherever the renderer's code uses SSE:
// every x86-64 computes its singles and doubles with SSE (the model, the
// C library's sine and cosine, the SIMD kernels); on 32-bit x86 only the
// SIMD kernels do, which need SSE2.
bool sse_computes() {
    if constexpr (sizeof(void*) == 8) {
        return true;
    } else {
        static const bool has_sse2 = read_processor_features().sse2;
        return has_sse2;
    }
}

}  // namespace

FloatingPointState use_renderer_floating_point() {
    FloatingPointState caller{};
    if constexpr (x87_computes) {
        X87Environment environment{};
        // fnstenv masks the exceptions too; fldcw sets the whole word.
        __asm__ volatile("fnstenv %0" : "=m"(environment));
        __asm__ volatile("fldcw %0" : : "m"(renderer_x87_control));
        std::memcpy(caller.registers, &environment, sizeof environment);
    }
    if (sse_computes()) {
        __asm__ volatile("stmxcsr %0" : "=m"(caller.registers[mxcsr_register]));
        __asm__ volatile("ldmxcsr %0" : : "m"(renderer_mxcsr));
    }
    return caller;
}

void restore_caller_floating_point(const FloatingPointState& caller) {
    if constexpr (x87_computes) {
        // The caller's control and status words, its flags in place of the
        // renderer's.
        X87Environment environment{};
        std::memcpy(&environment, caller.registers, sizeof environment);
        __asm__ volatile("fldenv %0" : : "m"(environment));
    }
    if (sse_computes()) {
        __asm__ volatile("ldmxcsr %0" : : "m"(caller.registers[mxcsr_register]));
    }
}

}  // namespace quenlixor
