// The program's command line: quenlixor-julia [--scale N] [--fps N]
// [--frame N] [--help] [--version]. Each option with a value takes it as the
// next argument or after '=' (--scale 3, --scale=3).
#pragma once

#include <cstdint>
#include <string>

#include "animation/julia_renderer.h"
#include "display/display.h"

namespace quenlixor {

// The usage text, ending with a newline.
extern const char* const usage_text;

// The program's version, as its build names it.
extern const char* const program_version;

inline constexpr std::int32_t fps_max = 1000;

struct ProgramOptions {
    std::int32_t scale = 1;        // 1..max_display_scale
    std::int32_t fps = 0;          // 1..fps_max, or 0: as fast as it can
    std::int32_t first_frame = 1;  // the first frame shown, 0..frame_number_max
};

// What the command line asks for.
enum class OptionsAction { run, help, version, bad };

// Reads argv[1..argc-1] into `options`. On a bad command line (an unknown
// option or argument, a missing value, a value that is not a decimal number
// or lies outside its range, an option given twice) returns
// OptionsAction::bad with `problem` set to one line naming the option, e.g.
// "--scale 9 is out of range (1-8)". Otherwise --help wins over --version,
// and either wins over running.
OptionsAction parse_options(int argc, const char* const* argv, ProgramOptions& options,
                            std::string& problem);

// The renderer's frame_number that makes `first_frame` the first frame
// render_frame shows: one less, frame 0 following the last frame.
std::int32_t frame_number_before(std::int32_t first_frame);

}  // namespace quenlixor
