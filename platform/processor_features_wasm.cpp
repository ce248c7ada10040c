// The instruction sets of a WebAssembly module built with -msimd128: an
// engine without SIMD128 refuses the whole module when it loads it, so a
// running module always has it.
#include "platform/processor_features.h"

namespace quenlixor {

ProcessorFeatures read_processor_features() {
    ProcessorFeatures features{};
    features.simd128 = true;
    return features;
}

}  // namespace quenlixor
