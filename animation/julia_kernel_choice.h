// The choice among the renderer's kernels: the extended-precision reference
// and SIMD kernels that give the same frames bit for bit. The fastest one
// this processor runs is chosen at the first frame; use_kernel() overrides
// the choice (for tools, tests and benchmarks).
#pragma once

namespace quenlixor {

enum class Kernel { reference, sse2, avx2, avx512, neon, simd128 };

// Every kernel there is, available here or not: SSE2, AVX2 and AVX-512 are
// built only for x86, NEON only for ARM64 and SIMD128 only for WebAssembly.
inline constexpr Kernel every_kernel[] = {Kernel::reference, Kernel::sse2, Kernel::avx2,
                                          Kernel::avx512,    Kernel::neon, Kernel::simd128};

// Whether this processor (and its operating system) can run the kernel.
bool kernel_available(Kernel kernel);
// The fastest available kernel; the reference when nothing else runs.
Kernel fastest_kernel();
// Makes render_frame() use the kernel; an unavailable one is ignored and the
// active kernel stays as it was.
void use_kernel(Kernel kernel);
Kernel active_kernel();
// "reference", "sse2", "avx2", "avx512", "neon" or "simd128".
const char* kernel_name(Kernel kernel);
// The kernel whose kernel_name is `name`, available or not; false when no
// kernel has that name.
bool kernel_by_name(const char* name, Kernel& kernel);

}  // namespace quenlixor
