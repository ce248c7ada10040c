// The renderer's kernels on ARM64, fastest first.
#include "animation/julia_kernel_choice.h"

namespace quenlixor {

extern const Kernel neon_kernel;

std::span<const Kernel* const> kernel_table() {
    static constexpr const Kernel* table[] = {
        &neon_kernel,
        &reference_kernel,
    };
    return table;
}

}  // namespace quenlixor
