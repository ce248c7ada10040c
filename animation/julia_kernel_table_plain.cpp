// The renderer's kernels where it has no SIMD kernel: the reference alone.
#include "animation/julia_kernel_choice.h"

namespace quenlixor {

std::span<const Kernel* const> kernel_table() {
    static constexpr const Kernel* table[] = {
        &reference_kernel,
    };
    return table;
}

}  // namespace quenlixor
