// The program: reads its options and animates the Julia set where they say
// (animate.h): frame after frame with the frame rate in the window's caption,
// until the first key typed in the console or pressed in the window (in a
// window given to it, a stop request). Closing the window ends the process
// from inside the display's window procedure.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "animation/animate.h"
#include "animation/julia_kernel_choice.h"
#include "animation/program_options.h"
#include "display/display.h"
#include "display/pixel_converters.h"
#include "platform/paths.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

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

[[noreturn]] void run(int argc, char** argv) {
    ProgramOptions options;
    follow_options(argc, argv, options);
    animate(options, display_place(options));
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
    quenlixor::run(argc, quenlixor::utf8_arguments(argc, argv));
}
