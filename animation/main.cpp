// The program: reads its options, opens the display, animates the Julia set
// frame after frame with the frame rate in the window's caption, and stops at
// the first key typed in the console or pressed in the window. Closing the
// window ends the process from inside the display's window procedure.
#include <cstdio>
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
    switch (parse_options(argc, argv, options, problem)) {
        case OptionsAction::run:
            return;
        case OptionsAction::help:
            std::fputs(usage_text, stdout);
            end_process(0);
        case OptionsAction::version:
            std::printf("quenlixor-julia %s\nrenderer kernel: %s\nconverter path: %s\n",
                        program_version, fastest_kernel().name, converter_path_name());
            end_process(0);
        case OptionsAction::bad:
            print_error("quenlixor-julia: " + problem + "\n" + usage_text);
            end_process(2);
    }
}

[[noreturn]] void run(int argc, char** argv) {
    ProgramOptions options;
    follow_options(argc, argv, options);
    catch_stop_requests();
    if (display_open(program_title, picture_width, picture_height, options.scale) == 0) {
        std::fprintf(stderr, "cannot open the display: %s\n", display_failure());
        end_process(-1);
    }
    prepare_tables();
    frame_number = frame_number_before(options.first_frame);
    rate_start(rate_counter);
    FramePacer pacer{};
    pacer_start(pacer, options.fps);

    for (;;) {
        render_frame();
        rate_count_frame(rate_counter);
        {
            const std::string caption = caption_text(rate_counter.rate_shown);
            display_set_caption(caption.c_str());
        }
        display_update(framebuffer);
        pacer_wait(pacer);
        if (!poll_key().empty()) {
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
