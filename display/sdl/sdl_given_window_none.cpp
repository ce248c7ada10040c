// Given windows where the build has no window system whose windows another
// program hands over: none.
#include <cstdio>

#include "display/sdl/sdl_given_window.h"

namespace quenlixor {

const bool sdl_draws_given_windows = false;

const char* const given_window_driver = "";

bool given_window_find(std::uint64_t /*window*/, std::uint64_t& /*found*/, char* failure,
                       std::size_t size) {
    std::snprintf(failure, size, "this build draws into no window of another program's");
    return false;
}

bool given_window_watch(SDL_Window* /*window*/, char* failure, std::size_t size) {
    std::snprintf(failure, size, "this build draws into no window of another program's");
    return false;
}

bool given_window_gone() {
    return false;
}

void given_window_close() {}

}  // namespace quenlixor
