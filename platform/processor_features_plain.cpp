// Processors without a fast path of ours: nothing beyond plain code.
#include "platform/processor_features.h"

namespace quenlixor {

ProcessorFeatures read_processor_features() {
    return ProcessorFeatures{};
}

}  // namespace quenlixor
