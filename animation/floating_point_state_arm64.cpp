// The renderer's floating-point state on ARM64 (see floating_point_state.h):
// FPCR, whose rounding mode, flush-to-zero and trap enables play the part of
// x86's controls, and FPSR, its cumulative exception flags.
#include <cstdint>
#include <cstring>

#include "animation/floating_point_state.h"

namespace quenlixor {
namespace {

// FPCR as the processor starts: rounding to nearest (RMode = 00), no
// flush-to-zero (FZ, nor FIZ and AH where the processor has them), no
// exception trapped, IEEE NaNs.
constexpr std::uint64_t renderer_fpcr = 0;

struct Arm64Registers {
    std::uint64_t fpcr;
    std::uint64_t fpsr;
};
static_assert(sizeof(Arm64Registers) <= sizeof(FloatingPointState::registers));

std::uint64_t read_fpcr() {
    std::uint64_t value = 0;
    __asm__ volatile("mrs %0, fpcr" : "=r"(value));
    return value;
}

}  // namespace

FloatingPointState use_renderer_floating_point() {
    Arm64Registers caller{};
    caller.fpcr = read_fpcr();
    __asm__ volatile("mrs %0, fpsr" : "=r"(caller.fpsr));
    // Writing FPCR may wait for the arithmetic in flight: only when it differs.
    if (caller.fpcr != renderer_fpcr) {
        __asm__ volatile("msr fpcr, %0" : : "r"(renderer_fpcr));
    }
    FloatingPointState state{};
    std::memcpy(state.registers, &caller, sizeof caller);
    return state;
}

void restore_caller_floating_point(const FloatingPointState& caller_state) {
    Arm64Registers caller{};
    std::memcpy(&caller, caller_state.registers, sizeof caller);
    __asm__ volatile("msr fpsr, %0" : : "r"(caller.fpsr));
    if (caller.fpcr != renderer_fpcr) {
        __asm__ volatile("msr fpcr, %0" : : "r"(caller.fpcr));
    }
}

}  // namespace quenlixor
