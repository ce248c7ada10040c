// The renderer's kernels in WebAssembly with SIMD128, fastest first.
#include "animation/julia_kernel_choice.h"

namespace quenlixor {

extern const Kernel simd128_kernel;

std::span<const Kernel* const> kernel_table() {
    static constexpr const Kernel* table[] = {
        &simd128_kernel,
        &reference_kernel,
    };
    return table;
}

}  // namespace quenlixor
