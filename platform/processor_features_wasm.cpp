// The instruction sets of a WebAssembly module. A module with a SIMD128
// kernel has SIMD128 instructions in it, and an engine without SIMD128
// refuses the whole module when it loads it: so a running module always has
// it. The page's scalar module, for engines without SIMD128, links this file
// too, but has no SIMD kernel or path that would read it.
#include "platform/processor_features.h"

namespace quenlixor {

ProcessorFeatures read_processor_features() {
    ProcessorFeatures features{};
    features.simd128 = true;
    return features;
}

}  // namespace quenlixor
