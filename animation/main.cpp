// The program: opens the display, animates the Julia set frame after frame
// with the frame rate in the window's caption, and stops at the first key
// typed in the console or pressed in the window. Closing the window ends the
// process from inside the display's window procedure.
#include <cstdio>
#include <string>

#include "animation/animation_driver.h"
#include "animation/julia_renderer.h"
#include "display/display.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

RateCounter rate_counter;

[[noreturn]] void run() {
    use_extended_precision();
    catch_stop_requests();
    if (display_open(program_title, picture_width, picture_height) == 0) {
        std::fprintf(stderr, "cannot open the display: %s\n", display_failure());
        end_process(-1);
    }
    prepare_tables();
    void* const caption_window = active_window();
    rate_start(rate_counter, tick_count_ms);

    const KeyQueue keys = console_keys();
    for (;;) {
        render_frame();
        rate_count_frame(rate_counter, tick_count_ms);
        {
            const std::string caption = caption_text(rate_counter.rate_shown);
            set_caption(caption_window, caption.c_str());
        }
        display_update(framebuffer);
        if (!poll_key(keys).empty()) {
            break;
        }
    }

    display_close();
    end_process(0);
}

}  // namespace
}  // namespace quenlixor

int main() {
    quenlixor::run();
}
