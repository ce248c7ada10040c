#include "animation/program_options.h"

#include <cstring>
#include <string_view>

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

namespace {

enum class Option { scale, fps, frame, help, version };

struct OptionRow {
    std::string_view name;
    Option option;
    bool takes_value;
    std::int32_t low;
    std::int32_t high;
};

const OptionRow option_rows[] = {
    {"--scale", Option::scale, true, 1, max_display_scale},
    {"--fps", Option::fps, true, 1, fps_max},
    {"--frame", Option::frame, true, 0, frame_max},
    {"--help", Option::help, false, 0, 0},
    {"--version", Option::version, false, 0, 0},
};

enum class NumberRead { ok, not_a_number, out_of_range };

// A decimal number with an optional sign and at least one digit, nothing
// else; values far outside every range saturate instead of overflowing.
NumberRead read_number(std::string_view text, std::int32_t low, std::int32_t high,
                       std::int32_t& value) {
    std::size_t at = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        at = 1;
    }
    if (at == text.size()) {
        return NumberRead::not_a_number;
    }
    std::int64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9') {
            return NumberRead::not_a_number;
        }
        if (magnitude <= std::int64_t{1} << 40) {
            magnitude = magnitude * 10 + (text[at] - '0');
        }
    }
    const std::int64_t number = negative ? -magnitude : magnitude;
    if (number < low || number > high) {
        return NumberRead::out_of_range;
    }
    value = static_cast<std::int32_t>(number);
    return NumberRead::ok;
}

}  // namespace

OptionsAction parse_options(int argc, const char* const* argv, ProgramOptions& options,
                            std::string& problem) {
    options = ProgramOptions{};
    bool seen[std::size(option_rows)] = {};
    bool help = false;
    bool version = false;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        const std::size_t equals = argument.find('=');
        const std::string_view name =
            argument.rfind("--", 0) == 0 ? argument.substr(0, equals) : argument;
        std::size_t row = 0;
        while (row < std::size(option_rows) && option_rows[row].name != name) {
            ++row;
        }
        if (row == std::size(option_rows)) {
            problem = argument.rfind('-', 0) == 0 ? "unknown option " + std::string(name)
                                                  : "unexpected argument " + std::string(argument);
            return OptionsAction::bad;
        }
        const OptionRow& option = option_rows[row];
        if (seen[row]) {
            problem = std::string(name) + " is given twice";
            return OptionsAction::bad;
        }
        seen[row] = true;
        if (!option.takes_value) {
            if (equals != std::string_view::npos) {
                problem = std::string(name) + " takes no value";
                return OptionsAction::bad;
            }
            (option.option == Option::help ? help : version) = true;
            continue;
        }
        std::string_view text;
        if (equals != std::string_view::npos && equals + 1 < argument.size()) {
            text = argument.substr(equals + 1);
        } else if (equals == std::string_view::npos && index + 1 < argc &&
                   std::strncmp(argv[index + 1], "--", 2) != 0) {
            text = argv[++index];
        } else {
            problem = std::string(name) + " needs a number";
            return OptionsAction::bad;
        }
        std::int32_t value = 0;
        switch (read_number(text, option.low, option.high, value)) {
            case NumberRead::not_a_number:
                problem = std::string(name) + " " + std::string(text) + " is not a number";
                return OptionsAction::bad;
            case NumberRead::out_of_range:
                problem = std::string(name) + " " + std::string(text) + " is out of range (" +
                          std::to_string(option.low) + "-" + std::to_string(option.high) + ")";
                return OptionsAction::bad;
            case NumberRead::ok:
                break;
        }
        switch (option.option) {
            case Option::scale:
                options.scale = value;
                break;
            case Option::fps:
                options.fps = value;
                break;
            default:
                options.first_frame = value;
                break;
        }
    }
    if (help) {
        return OptionsAction::help;
    }
    return version ? OptionsAction::version : OptionsAction::run;
}

std::int32_t frame_number_before(std::int32_t first_frame) {
    return first_frame == 0 ? frame_max : first_frame - 1;
}

}  // namespace quenlixor
