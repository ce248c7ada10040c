// The renderer's floating-point state in WebAssembly (see
// floating_point_state.h): nothing to set. Its arithmetic always rounds to
// nearest, keeps subnormals and traps on nothing, and no code in the page can
// change that.
#include "animation/floating_point_state.h"

namespace quenlixor {

FloatingPointState use_renderer_floating_point() {
    return {};
}

void restore_caller_floating_point(const FloatingPointState& /*caller*/) {}

}  // namespace quenlixor
