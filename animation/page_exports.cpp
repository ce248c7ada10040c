// What the page asks of the program besides its command line (the page's
// modules only): the frame that would have come next, for the link that
// continues the animation where it ended. The loop shows every frame it
// renders before it looks for a key, so the last frame rendered is the last
// one shown.
#include <emscripten.h>

#include <cstdint>

#include "animation/julia_renderer.h"

extern "C" EMSCRIPTEN_KEEPALIVE std::int32_t quenlixor_next_frame() {
    return quenlixor::frame_after(quenlixor::frame_number, 1);
}
