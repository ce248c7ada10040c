// The command line of julia-frames.
#include "tools/export_options.h"

#include <cstdio>
#include <string_view>

#include "animation/command_line.h"
#include "tools/apng_encoder.h"

namespace quenlixor {

const char* const export_usage_text =
    "usage: julia-frames --frame N [--count K] [--step S] [--threads T] [--kernel NAME]\n"
    "                    [--fps F] [--scale N] [--quiet] [--apng PATH|-]\n"
    "                    [--gif PATH|-] [--png PATH|PATTERN] [--raw PATH|PATTERN|-]\n"
    "       julia-frames --help | --version\n"
    "\n"
    "Renders the frames of the Julia animation numbered N, N+S, N+2S, ... (K of them)\n"
    "and writes them. The frame after 2147483647 is 0, as in the program.\n"
    "\n"
    "  --frame N      first frame number, 0 to 2147483647\n"
    "  --count K      number of frames, 1 to 2147483647 (default 1)\n"
    "  --step S       distance between frame numbers, 1 to 2147483647 (default 1)\n"
    "  --threads T    threads rendering and encoding, 1 to 256 (default: the\n"
    "                 processors available); the outputs are the same for every T\n"
    "  --kernel NAME  the renderer kernel: reference (the x87's arithmetic) or a SIMD\n"
    "                 kernel of this build, which an unknown name lists (default: the\n"
    "                 fastest this processor has); all give the same frames\n"
    "  --fps F        frames per second of the animations: the APNG 1 to 60 (default\n"
    "                 60, as the program shows them), each frame exactly 1/F s; the\n"
    "                 GIF 1 to 50 (default 25), each frame 100/F centiseconds\n"
    "                 rounded to the nearest, as GIF delays are whole hundredths;\n"
    "                 in either a frame shows longer where the next would flash\n"
    "                 (PNG and raw frames have no rate: they are judged at 60 a\n"
    "                 second)\n"
    "  --scale N      every picture pixel an N x N block in every output, 1 to 8\n"
    "                 (default 1), as in the program's window\n"
    "  --quiet        no progress line (it appears only on a terminal anyway); a\n"
    "                 warning of flashes still shows\n"
    "  --apng PATH    an animated PNG of all frames, exact, looping for ever at --fps:\n"
    "                 the one to play them as the program does (browsers show it in\n"
    "                 an <img>); at most 1073741824 frames\n"
    "  --apng -       the APNG on standard output, as it is made\n"
    "  --gif PATH     an animated GIF of all frames, exact, looping for ever: for\n"
    "                 viewers that do not play APNG\n"
    "  --gif -        the GIF on standard output, as it is made\n"
    "  --png PATH     an 8-bit RGB PNG of the last frame, as a 32-bit desktop shows it\n"
    "  --png PATTERN  one PNG per frame, named by a printf integer conversion with the\n"
    "                 frame number: 'frame-%06d.png'\n"
    "  --raw PATH     the framebuffer of the last frame: 76800 little-endian 32-bit\n"
    "                 words (times N x N at --scale N), row 0 first\n"
    "  --raw PATTERN  one raw file per frame\n"
    "  --raw -        every frame on standard output in order, 307200 bytes each\n"
    "                 (times N x N): for video tools such as ffmpeg\n"
    "  --help         show this text\n"
    "  --version      show the version and the kernel used by default\n"
    "\n"
    "Without an output, --count must be given (the frames are rendered and dropped).\n"
    "Every animation written (APNG, GIF, PNG or raw sequence, raw stream) is judged\n"
    "for flashes as WCAG 2.x defines general and red flashes, on every 341x256 part\n"
    "of the output as shown (the whole picture at --scale 1). The APNG and the GIF\n"
    "hold a frame longer where the next would make more than three flashes in a\n"
    "second, just long enough, as the program does; every frame is in them, in\n"
    "order. PNG and raw frames are judged at 60 a second: more than three flashes\n"
    "in any one second give one warning line on stderr, since they can set off\n"
    "seizures in people with photosensitive epilepsy; the outputs are written all\n"
    "the same.\n"
    "Files are written beside their destination and renamed when complete; after a\n"
    "failure or an interrupt the frames of a sequence already written stay. Devices\n"
    "(/dev/null) and pipes are written directly. Folders are not made.\n"
    "Exit status: 0 done, 1 an output could not be written or the run was stopped,\n"
    "2 bad input.\n";

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the picture output of --png or --raw from its path.
bool read_picture_output(std::string_view option, const std::string& path, PictureOutput& output,
                         std::string& message) {
    if (path == "-") {
        if (option != "--raw") {
            message = std::string(option) +
                      " cannot write to standard output; only --apng -, --gif - and --raw - can";
            return false;
        }
        output.destination = Destination::stream;
        return true;
    }
    bool bad = false;
    output.destination =
        is_frame_pattern(path, bad, message) ? Destination::sequence : Destination::last_frame;
    if (bad) {
        message = std::string(option) + " " + message;
        return false;
    }
    output.path = path;
    return true;
}

}  // namespace

bool is_frame_pattern(const std::string& path, bool& bad, std::string& message) {
    bad = false;
    if (path.find('%') == std::string::npos) {
        return false;
    }
    int conversions = 0;
    for (std::size_t at = 0; at < path.size(); ++at) {
        if (path[at] != '%') {
            continue;
        }
        std::size_t next = at + 1;
        if (next < path.size() && path[next] == '%') {
            at = next;
            continue;
        }
        while (next < path.size() &&
               std::string_view("-+ #0").find(path[next]) != std::string_view::npos) {
            ++next;
        }
        int width_digits = 0;
        while (next < path.size() && is_digit(path[next])) {
            ++next;
            ++width_digits;
        }
        int precision_digits = 0;
        if (next < path.size() && path[next] == '.') {
            ++next;
            while (next < path.size() && is_digit(path[next])) {
                ++next;
                ++precision_digits;
            }
        }
        const bool integer = next < path.size() &&
                             std::string_view("diuoxX").find(path[next]) != std::string_view::npos;
        if (!integer || width_digits > 2 || precision_digits > 2) {
            bad = true;
            message = "pattern '" + path +
                      "' needs an integer conversion such as %d or %06d (write %% for a "
                      "percent sign)";
            return false;
        }
        ++conversions;
        at = next;
    }
    if (conversions != 1) {
        bad = true;
        message = "pattern '" + path +
                  "' must have exactly one integer conversion such as %d, not " +
                  std::to_string(conversions);
        return false;
    }
    return true;
}

// The pattern is checked (is_frame_pattern): one integer conversion taking an
// int, at most 99 wide; so it is a safe format here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string name_from_pattern(const std::string& pattern, std::int32_t number) {
    const int length = std::snprintf(nullptr, 0, pattern.c_str(), number);
    std::string name(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(name.data(), name.size(), pattern.c_str(), number);
    name.resize(static_cast<std::size_t>(length));
    return name;
}
#pragma GCC diagnostic pop

std::int32_t frame_at(const ExportOptions& options, std::int64_t index) {
    // index and step are below 2^31, so the sum stays below 2^63.
    return frame_after(options.first_frame, index * options.step);
}

int gif_fps(const ExportOptions& options) {
    return options.fps != 0 ? options.fps : 25;
}

int apng_fps(const ExportOptions& options) {
    return options.fps != 0 ? options.fps : 60;
}

int gif_delay_centiseconds(int fps) {
    return (200 + fps) / (2 * fps);
}

ParseResult parse_export_options(int argc, char** argv, ExportOptions& options,
                                 std::string& message) {
    bool help = false;
    bool version = false;
    std::string png_path;
    std::string raw_path;
    CommandOption table[] = {
        number_option("--frame", 0, frame_number_max, options.first_frame),
        number_option("--count", 1, frame_number_max, options.count),
        number_option("--step", 1, frame_number_max, options.step),
        number_option("--threads", 1, 256, options.threads),
        number_option("--fps", 1, 60, options.fps),
        number_option("--scale", 1, 8, options.scale),
        text_option("--kernel", options.kernel),
        text_option("--apng", options.apng_path),
        text_option("--gif", options.gif_path),
        text_option("--png", png_path),
        text_option("--raw", raw_path),
        flag_option("--quiet", options.quiet),
        flag_option("--help", help),
        flag_option("--version", version),
        flag_option("-h", help),
    };
    if (!read_command_line(argc, argv, table, message)) {
        return ParseResult::bad;
    }
    if (help) {
        return ParseResult::help;
    }
    if (version) {
        return ParseResult::version;
    }
    const bool png_given = option_given(table, "--png");
    const bool raw_given = option_given(table, "--raw");
    if ((png_given && !read_picture_output("--png", png_path, options.png, message)) ||
        (raw_given && !read_picture_output("--raw", raw_path, options.raw, message))) {
        return ParseResult::bad;
    }
    const bool streams[] = {options.apng_path == "-", options.gif_path == "-",
                            options.raw.destination == Destination::stream};
    if (streams[0] + streams[1] + streams[2] > 1) {
        message = "only one of --apng -, --gif - and --raw - can write to standard output";
        return ParseResult::bad;
    }
    if (!option_given(table, "--frame")) {
        message = "--frame N is required";
        return ParseResult::bad;
    }
    if (!options.gif_path.empty() && options.fps > 50) {
        message = "--fps " + std::to_string(options.fps) +
                  ": a GIF plays at most 50 frames a second (its delays are whole hundredths; "
                  "the APNG plays up to 60)";
        return ParseResult::bad;
    }
    if (!options.apng_path.empty() && options.count > apng_frames_max) {
        message = "--count " + std::to_string(options.count) + ": an APNG holds at most " +
                  std::to_string(apng_frames_max) + " frames";
        return ParseResult::bad;
    }
    const bool any_output =
        option_given(table, "--apng") || option_given(table, "--gif") || png_given || raw_given;
    if (!any_output && !option_given(table, "--count")) {
        message = "nothing to do: give --apng, --gif, --png, --raw or --count K";
        return ParseResult::bad;
    }
    return ParseResult::run;
}

}  // namespace quenlixor
