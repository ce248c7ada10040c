// The choice among the kernels of this build's table.
#include "animation/julia_kernel_choice.h"

namespace quenlixor {

bool kernel_available(const Kernel& kernel) {
    return processor_has(kernel.needs);
}

const Kernel& fastest_kernel() {
    // Chosen once (thread-safe): the features it reads do not change either.
    static const Kernel& fastest = fastest_runnable(kernel_table());
    return fastest;
}

const Kernel* kernel_named(std::string_view name) {
    for (const Kernel* kernel : kernel_table()) {
        if (name == kernel->name) {
            return kernel;
        }
    }
    return nullptr;
}

std::string kernel_names() {
    std::string names;
    const std::span<const Kernel* const> table = kernel_table();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (i > 0) {
            names += i + 1 == table.size() ? " or " : ", ";
        }
        names += table[i]->name;
    }
    return names;
}

}  // namespace quenlixor
