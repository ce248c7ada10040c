// The program: reads its options, opens the display, animates the Julia set
// frame after frame with the frame rate in the window's caption, and stops at
// the first key typed in the console or pressed in the window (in a window
// given to it, at a stop request). Closing the window ends the process from
// inside the display's window procedure.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "animation/animation_driver.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "animation/program_options.h"
#include "display/display.h"
#include "display/pixel_converters.h"
#include "platform/paths.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

RateCounter rate_counter;

// Ends the process when the command line asks for anything but a run: help,
// the version, or a bad option (status 2, before any window exists).
void follow_options(int argc, char** argv, ProgramOptions& options) {
    std::string problem;
    switch (parse_options(argc, argv, display_forms, std::getenv("XSCREENSAVER_WINDOW"), options,
                          problem)) {
        case OptionsAction::run:
            return;
        case OptionsAction::help:
            std::fputs(program_usage(display_forms).c_str(), stdout);
            end_process(0);
        case OptionsAction::version:
            std::printf("quenlixor-julia %s\nrenderer kernel: %s\nconverter path: %s\n",
                        program_version, fastest_kernel().name, converter_path_name());
            end_process(0);
        case OptionsAction::bad:
            print_error("quenlixor-julia: " + problem + "\n" + program_usage(display_forms));
            end_process(2);
    }
}

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

[[noreturn]] void run(int argc, char** argv) {
    ProgramOptions options;
    follow_options(argc, argv, options);
    catch_stop_requests();
    const DisplayPlace place = display_place(options);
    if (display_open(program_title, picture_width, picture_height, place) == 0) {
        std::fprintf(stderr, "cannot open the display: %s\n", display_failure());
        end_process(-1);
    }
    tell_about_the_run(options, place);
    prepare_tables();
    frame_number = frame_number_before(options.first_frame);
    rate_start(rate_counter);
    FramePacer pacer{};
    pacer_start(pacer, options.fps);
    // In a window given to it the program is a screen saver's: it reads no
    // terminal (its keys are the user's, meant for whatever else runs
    // there), and only a stop request ends it.
    const bool takes_keys = place.form != DisplayForm::given_window;

    for (;;) {
        render_frame();
        rate_count_frame(rate_counter);
        {
            const std::string caption = caption_text(rate_counter.rate_shown);
            display_set_caption(caption.c_str());
        }
        display_update(framebuffer);
        pacer_wait(pacer);
        if (takes_keys ? !poll_key().empty() : stop_signal() != 0) {
            break;
        }
    }

    display_close();
    end_process(0);
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
    quenlixor::run(argc, quenlixor::utf8_arguments(argc, argv));
}
