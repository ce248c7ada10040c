// The renderer's kernels on x86 (32- and 64-bit), fastest first.
#include "animation/julia_kernel_choice.h"

namespace quenlixor {

extern const Kernel avx512_kernel;
extern const Kernel avx2_kernel;
extern const Kernel sse2_kernel;

std::span<const Kernel* const> kernel_table() {
    static constexpr const Kernel* table[] = {
        &avx512_kernel,
        &avx2_kernel,
        &sse2_kernel,
        &reference_kernel,
    };
    return table;
}

}  // namespace quenlixor
