// The instruction sets of an ARM64 processor: Advanced SIMD (NEON) is part of
// every one, and Linux saves its registers for every process.
#include "platform/processor_features.h"

namespace quenlixor {

ProcessorFeatures read_processor_features() {
    ProcessorFeatures features{};
    features.neon = true;
    return features;
}

}  // namespace quenlixor
