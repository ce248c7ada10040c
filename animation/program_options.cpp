#include "animation/program_options.h"

#include "animation/command_line.h"

namespace quenlixor {

// QUENLIXOR_VERSION comes from the build: the project's version.
const char* const program_version = QUENLIXOR_VERSION;

const char* const usage_text =
    "usage: quenlixor-julia [--scale N] [--fps N] [--frame N] [--help] [--version]\n"
    "  --scale N   show every pixel as an N x N block, N from 1 to 8 (default 1)\n"
    "  --fps N     at most N frames per second, N from 1 to 1000 (default: no limit)\n"
    "  --frame N   start at frame N of the path, N from 0 to 2147483647 (default 1)\n"
    "  --help      print this text and end\n"
    "  --version   print the version, the renderer kernel and the converter path, and end\n"
    "A key in the window or in the terminal, or closing the window, ends the program.\n";

OptionsAction parse_options(int argc, const char* const* argv, ProgramOptions& options,
                            std::string& problem) {
    options = ProgramOptions{};
    bool help = false;
    bool version = false;
    CommandOption table[] = {
        number_option("--scale", 1, max_display_scale, options.scale),
        number_option("--fps", 1, fps_max, options.fps),
        number_option("--frame", 0, frame_number_max, options.first_frame),
        flag_option("--help", help),
        flag_option("--version", version),
    };
    if (!read_command_line(argc, argv, table, problem)) {
        return OptionsAction::bad;
    }
    if (help) {
        return OptionsAction::help;
    }
    return version ? OptionsAction::version : OptionsAction::run;
}

std::int32_t frame_number_before(std::int32_t first_frame) {
    return frame_after(first_frame, -1);
}

}  // namespace quenlixor
