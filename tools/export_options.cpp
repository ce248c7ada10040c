// The command line of julia-frames.
#include "tools/export_options.h"

#include <cstdio>
#include <string_view>

namespace quenlixor {

const char* const export_usage_text =
    "usage: julia-frames --frame N [--count K] [--step S] [--threads T] [--kernel NAME]\n"
    "                    [--fps F] [--scale N] [--quiet] [--gif PATH]\n"
    "                    [--png PATH|PATTERN] [--raw PATH|PATTERN|-]\n"
    "\n"
    "Renders the frames of the Julia animation numbered N, N+S, N+2S, ... (K of them)\n"
    "and writes them. The frame after 2147483647 is 0, as in the program.\n"
    "\n"
    "  --frame N      first frame number, 0 to 2147483647\n"
    "  --count K      number of frames, 1 to 2147483647 (default 1)\n"
    "  --step S       distance between frame numbers, 1 to 2147483647 (default 1)\n"
    "  --threads T    threads rendering and encoding, 1 to 256 (default: the\n"
    "                 processors available); the outputs are the same for every T\n"
    "  --kernel NAME  reference, sse2, avx2, avx512 (x86), neon (ARM64) or simd128\n"
    "                 (WebAssembly) (default: the fastest this processor has)\n"
    "  --fps F        frames per second of the GIF, 1 to 50 (default 25); each frame\n"
    "                 shows for 100/F centiseconds rounded to the nearest\n"
    "  --scale N      every picture pixel an N x N block in every output, 1 to 8\n"
    "                 (default 1), as in the program's window\n"
    "  --quiet        no progress line (it appears only on a terminal anyway)\n"
    "  --gif PATH     an animated GIF of all frames, exact, looping for ever\n"
    "  --png PATH     an 8-bit RGB PNG of the last frame, as a 32-bit desktop shows it\n"
    "  --png PATTERN  one PNG per frame, named by a printf integer conversion with the\n"
    "                 frame number: 'frame-%06d.png'\n"
    "  --raw PATH     the framebuffer of the last frame: 76800 little-endian 32-bit\n"
    "                 words (times N x N at --scale N), row 0 first\n"
    "  --raw PATTERN  one raw file per frame\n"
    "  --raw -        every frame on standard output in order, 307200 bytes each\n"
    "                 (times N x N)\n"
    "  --help         show this text\n"
    "\n"
    "Without an output, --count must be given (the frames are rendered and dropped).\n"
    "Files are written beside their destination and renamed when complete; after a\n"
    "failure or an interrupt the frames of a sequence already written stay.\n"
    "Exit status: 0 done, 1 an output could not be written or the run was stopped,\n"
    "2 bad input.\n";

namespace {

// A decimal number from lowest to highest, nothing else.
bool parse_number(const char* text, std::int64_t lowest, std::int64_t highest,
                  std::int64_t* value) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    std::int64_t result = 0;
    for (const char* digit = text; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') {
            return false;
        }
        result = result * 10 + (*digit - '0');
        if (result > highest) {
            return false;
        }
    }
    if (result < lowest) {
        return false;
    }
    *value = result;
    return true;
}

struct NumberOption {
    std::string_view name;
    std::int64_t lowest;
    std::int64_t highest;
    const char* meaning;
};

constexpr NumberOption number_options[] = {
    {"--frame", 0, largest_frame_number, "a frame number from 0 to 2147483647"},
    {"--count", 1, largest_frame_number, "a number of frames from 1 to 2147483647"},
    {"--step", 1, largest_frame_number, "a step from 1 to 2147483647"},
    {"--threads", 1, 256, "a number of threads from 1 to 256"},
    {"--fps", 1, 50, "frames per second from 1 to 50"},
    {"--scale", 1, 8, "a scale from 1 to 8"},
};

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the picture output of --png or --raw.
bool read_picture_output(std::string_view option, const char* value, PictureOutput& output,
                         std::string& message) {
    if (output.destination != Destination::none) {
        message = std::string(option) + " given twice";
        return false;
    }
    const std::string path = value;
    if (path.empty()) {
        message = "an output path is empty";
        return false;
    }
    if (path == "-") {
        if (option != "--raw") {
            message = std::string(option) + " cannot write to standard output; only --raw - can";
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
    return static_cast<std::int32_t>((options.first_frame + index * options.step) &
                                     largest_frame_number);
}

int gif_delay_centiseconds(int fps) {
    return (200 + fps) / (2 * fps);
}

ParseResult parse_export_options(int argc, char** argv, ExportOptions& options,
                                 std::string& message) {
    bool given[std::size(number_options)] = {};
    bool kernel_given = false;
    bool gif_given = false;
    for (int index = 1; index < argc; ++index) {
        std::string_view argument = argv[index];
        if (argument == "--help" || argument == "-h") {
            return ParseResult::help;
        }
        if (argument == "--quiet") {
            options.quiet = true;
            continue;
        }
        // Both "--name value" and "--name=value".
        const char* value = nullptr;
        bool inline_value = false;
        if (const auto equals = argument.find('=');
            argument.starts_with("--") && equals != std::string_view::npos) {
            value = argv[index] + equals + 1;
            argument = argument.substr(0, equals);
            inline_value = true;
        }
        std::size_t number_option = std::size(number_options);
        for (std::size_t known = 0; known < std::size(number_options); ++known) {
            if (argument == number_options[known].name) {
                number_option = known;
            }
        }
        const bool known = number_option < std::size(number_options) || argument == "--kernel" ||
                           argument == "--png" || argument == "--raw" || argument == "--gif";
        if (!known) {
            message = "unknown option '" + std::string(argv[index]) + "'";
            return ParseResult::bad;
        }
        if (!inline_value) {
            if (index + 1 >= argc) {
                message = std::string(argument) + " needs a value";
                return ParseResult::bad;
            }
            value = argv[++index];
        }
        if (number_option < std::size(number_options)) {
            const NumberOption& number = number_options[number_option];
            if (given[number_option]) {
                message = std::string(number.name) + " given twice";
                return ParseResult::bad;
            }
            given[number_option] = true;
            std::int64_t parsed = 0;
            if (!parse_number(value, number.lowest, number.highest, &parsed)) {
                message =
                    std::string(number.name) + " takes " + number.meaning + ", not '" + value + "'";
                return ParseResult::bad;
            }
            switch (number_option) {
                case 0:
                    options.first_frame = parsed;
                    break;
                case 1:
                    options.count = parsed;
                    break;
                case 2:
                    options.step = parsed;
                    break;
                case 3:
                    options.threads = static_cast<int>(parsed);
                    break;
                case 4:
                    options.fps = static_cast<int>(parsed);
                    break;
                default:
                    options.scale = static_cast<int>(parsed);
                    break;
            }
        } else if (argument == "--kernel") {
            if (kernel_given) {
                message = "--kernel given twice";
                return ParseResult::bad;
            }
            kernel_given = true;
            options.kernel = value;
        } else if (argument == "--gif") {
            if (gif_given) {
                message = "--gif given twice";
                return ParseResult::bad;
            }
            gif_given = true;
            options.gif_path = value;
            if (options.gif_path.empty()) {
                message = "an output path is empty";
                return ParseResult::bad;
            }
        } else if (!read_picture_output(argument, value,
                                        argument == "--png" ? options.png : options.raw, message)) {
            return ParseResult::bad;
        }
    }
    if (!given[0]) {
        message = "--frame N is required";
        return ParseResult::bad;
    }
    const bool any_output = gif_given || options.png.destination != Destination::none ||
                            options.raw.destination != Destination::none;
    if (!any_output && !given[1]) {
        message = "nothing to do: give --gif, --png, --raw or --count K";
        return ParseResult::bad;
    }
    return ParseResult::run;
}

}  // namespace quenlixor
