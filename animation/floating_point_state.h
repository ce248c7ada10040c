// The floating-point state the renderer computes in: rounding to nearest,
// subnormals kept, every exception masked, and on the x87 a 64-bit
// significand. The frames are defined by that arithmetic, but the controls
// that say so are registers of each thread, and any code in the process may
// set them otherwise: Windows starts threads at 53 bits, Direct3D runtimes
// set 24, a library built for speed sets flush-to-zero, a debugging aid
// unmasks exceptions (feenableexcept), a plug-in changes the rounding and
// leaves it so. So for the tables and for every frame the renderer sets its
// own state on the calling thread, and then gives the caller's back exactly
// as it found it: the controls, and the exception flags too, so that the
// renderer's own work leaves no flag raised (where the caller unmasked an
// exception, a flag left raised would fault in the caller's next x87
// instruction).
//
// Which registers that is depends on the processor family, one file each,
// floating_point_state_<family>.cpp, which the build picks
// (animation/CMakeLists.txt):
// - x86 (32- and 64-bit): the x87's control word (64-bit precision,
//   rounding to nearest, exceptions masked) where the x87 computes the
//   renderer's extended precision or the C library's sines and cosines
//   (MinGW-w64's), and SSE's MXCSR (rounding to nearest, no
//   flush-to-zero, no denormals-are-zero, exceptions masked) where the
//   renderer's code uses SSE.
// - ARM64: FPCR as the processor starts (rounding to nearest, no
//   flush-to-zero, no trap enabled), and FPSR, its flags.
// - WebAssembly: nothing; its arithmetic has no modes.
// - Any other processor: the C library's default environment (<cfenv>).
// A few instructions each way, once per call of the renderer.
#pragma once

#include <cstdint>

namespace quenlixor {

// The caller's state as use_renderer_floating_point found it, in the layout
// of the family's file (x86: the x87's environment as fnstenv stores it,
// then MXCSR; ARM64: FPCR, then FPSR).
struct FloatingPointState {
    alignas(8) std::uint32_t registers[8];
};

// Sets the renderer's floating-point state on the calling thread and returns
// the caller's.
FloatingPointState use_renderer_floating_point();

// Gives the calling thread back the state use_renderer_floating_point
// returned, flags and all.
void restore_caller_floating_point(const FloatingPointState& caller);

}  // namespace quenlixor
