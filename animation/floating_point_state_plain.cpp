// The renderer's floating-point state on any other processor (see
// floating_point_state.h): the C library's default environment, which
// rounds to nearest and traps on nothing; what else it covers is the
// library's to say.
#include <cfenv>
#include <cstring>

#include "animation/floating_point_state.h"

namespace quenlixor {

static_assert(sizeof(std::fenv_t) <= sizeof(FloatingPointState::registers),
              "the caller's environment must fit the record");

FloatingPointState use_renderer_floating_point() {
    std::fenv_t caller{};
    std::fegetenv(&caller);
    std::fesetenv(FE_DFL_ENV);
    FloatingPointState state{};
    std::memcpy(state.registers, &caller, sizeof caller);
    return state;
}

void restore_caller_floating_point(const FloatingPointState& caller_state) {
    std::fenv_t caller{};
    std::memcpy(&caller, caller_state.registers, sizeof caller);
    std::fesetenv(&caller);
}

}  // namespace quenlixor
