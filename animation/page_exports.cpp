// What the page asks of the program besides its command line (the page's
// modules only): the frame that would have come next, for the link that
// continues the animation where it ended: the one after the last shown, or
// the one held back when the run ended.
#include <emscripten.h>

#include <cstdint>

#include "animation/animate.h"

extern "C" EMSCRIPTEN_KEEPALIVE std::int32_t quenlixor_next_frame() {
    return quenlixor::frame_after_last_shown();
}
