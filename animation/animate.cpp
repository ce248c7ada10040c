#include "animation/animate.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "animation/animation_driver.h"
#include "animation/julia_renderer.h"
#include "platform/paths.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

RateCounter rate_counter;
FlashGuard guard;
std::int32_t last_shown;

// What the user should know of a run before it starts: that --fps max
// flashes, and where full screen or a given window gave a smaller block
// than --scale asked for (or none: the picture shrunk).
void tell_about_the_run(const ProgramOptions& options, const DisplayPlace& place) {
    if (options.fps == unpaced) {
        print_error(
            "quenlixor-julia: --fps max shows frames as fast as the machine makes them: the "
            "picture flashes, which can set off seizures in people with photosensitive "
            "epilepsy\n");
    }
    const std::int32_t block = display_block();
    if (place.form != DisplayForm::window && options.scale_given && block < options.scale) {
        const std::string area =
            place.form == DisplayForm::full_screen ? "the screen" : "the window";
        print_error("quenlixor-julia: --scale " + std::to_string(options.scale) +
                    (block == 0 ? " lowered: the picture is shrunk to fit " + area
                                : " lowered to " + std::to_string(block) + " to fit " + area) +
                    "\n");
    }
}

}  // namespace

void animate(const ProgramOptions& options, const DisplayPlace& place) {
    catch_stop_requests();
    if (display_open(program_title, picture_width, picture_height, place) == 0) {
        std::fprintf(stderr, "cannot open the display: %s\n", display_failure());
        end_process(-1);
    }
    tell_about_the_run(options, place);
    prepare_tables();
    frame_number = frame_number_before(options.first_frame);
    last_shown = frame_number;
    rate_start(rate_counter);
    FramePacer pacer{};
    pacer_start(pacer, options.fps);
    guard_start(guard, options.fps, picture_width, picture_height, palette, palette_colours);
    // In a window given to it the program is a screen saver's: it reads no
    // terminal (its keys are the user's, meant for whatever else runs
    // there), and only a stop request ends it.
    const bool takes_keys = place.form != DisplayForm::given_window;
    const auto asked_to_end = [takes_keys] {
        return takes_keys ? !poll_key().empty() : stop_signal() != 0;
    };

    for (bool ending = false; !ending;) {
        render_frame();
        // The frame shows when it is due, or later where the guard holds the
        // one before on the screen for longer; that one is shown again every
        // frame's time meanwhile, so that the window's events and the keys
        // are still answered.
        const std::uint64_t hold_until =
            guard_judge(guard, framebuffer, display_block(), display_shown_size());
        while (!ending && pacer_hold(pacer, hold_until)) {
            display_update(guard.on_screen.data());
            ending = asked_to_end();
        }
        if (ending) {
            break;
        }
        rate_count_frame(rate_counter);
        {
            const std::string caption = caption_text(rate_counter.rate_shown);
            display_set_caption(caption.c_str());
        }
        display_update(framebuffer);
        last_shown = frame_number;
        guard_shown(guard, framebuffer, pacer.shown_us);
        pacer_shown(pacer);
        ending = asked_to_end();
    }

    display_close();
    end_process(0);
}

std::int32_t frame_after_last_shown() {
    return frame_after(last_shown, 1);
}

}  // namespace quenlixor
