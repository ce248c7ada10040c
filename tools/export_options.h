// The command line of julia-frames: which frames, which outputs, how.
#pragma once

#include <cstdint>
#include <string>

#include "animation/julia_renderer.h"

namespace quenlixor {

// Where one of the picture outputs (--png, --raw) goes.
enum class Destination {
    none,
    last_frame,  // one file holding the last frame
    sequence,    // one file per frame, named by a pattern
    stream,      // every frame on standard output (--raw - only)
};

struct PictureOutput {
    Destination destination = Destination::none;
    std::string path;  // the file, or the pattern with one integer conversion
};

struct ExportOptions {
    std::int32_t first_frame = 0;
    std::int32_t count = 1;
    std::int32_t step = 1;
    std::int32_t threads = 0;  // 0: the processors available
    std::string kernel;        // empty: the fastest
    std::int32_t fps = 0;      // 0: not given; the GIF plays at 25, the APNG at 60
    std::int32_t scale = 1;    // every picture pixel an N x N block in every output
    bool quiet = false;
    std::string gif_path;   // empty: no GIF; "-": standard output
    std::string apng_path;  // empty: no APNG; "-": standard output
    PictureOutput png;
    PictureOutput raw;
};

enum class ParseResult { run, help, version, bad };

// Reads the arguments into `options`. On ParseResult::bad, `message` holds
// one line saying what is wrong.
ParseResult parse_export_options(int argc, char** argv, ExportOptions& options,
                                 std::string& message);

// Whether `path` is a file-name pattern: exactly one printf integer
// conversion (%d, %i, %u, %o, %x or %X with flags, a width and a precision
// of at most two digits each, no length modifier) besides any %% escapes.
// With a '%' but not such a conversion it is neither a pattern nor a plain
// path: `message` says why and the result is false with `bad` set.
bool is_frame_pattern(const std::string& path, bool& bad, std::string& message);

// The file name of frame `number` under `pattern` (one integer conversion).
std::string name_from_pattern(const std::string& pattern, std::int32_t number);

// The number of the `index`th frame (from 0): first + index * step, wrapping
// to 0 after 2,147,483,647 as the program does.
std::int32_t frame_at(const ExportOptions& options, std::int64_t index);

// The frames a second of each animation: --fps, or the output's own
// default (the GIF 25, the APNG 60, a screen's refresh).
int gif_fps(const ExportOptions& options);
int apng_fps(const ExportOptions& options);

// GIF delays are whole centiseconds: 100/fps rounded to the nearest (half
// up), so 25 fps shows each frame for 4 cs and 30 fps for 3 cs.
int gif_delay_centiseconds(int fps);

extern const char* const export_usage_text;

}  // namespace quenlixor
