// The command lines of both programs (quenlixor-julia and julia-frames), read
// by one set of rules from a table of options.
//
// An option is a flag (--help), a number in a range (--scale N) or a text
// (--gif PATH). A value is the next argument or follows '=' (--scale 3,
// --scale=3); it is never empty, and an argument that starts with "--" is
// never taken as one.
// A number is decimal digits with an optional '-'; values far outside every
// range are out of range, not wrapped. A number option may also take one word
// for a value of its own (--fps max). Every option may be given once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quenlixor {

enum class OptionKind { flag, number, text };

// One row of a table: its name, its kind, its range (numbers), where its value
// goes, and whether the command line gave it.
struct CommandOption {
    std::string_view name;
    OptionKind kind = OptionKind::flag;
    std::int32_t low = 0;
    std::int32_t high = 0;
    bool* flag = nullptr;
    std::int32_t* number = nullptr;
    std::string* text = nullptr;
    bool given = false;
    // A number option's word and the value it stands for (none when empty).
    std::string_view word;
    std::int32_t word_value = 0;
};

constexpr CommandOption flag_option(std::string_view name, bool& value) {
    return {name, OptionKind::flag, 0, 0, &value, nullptr, nullptr, false, {}, 0};
}

constexpr CommandOption number_option(std::string_view name, std::int32_t low, std::int32_t high,
                                      std::int32_t& value) {
    return {name, OptionKind::number, low, high, nullptr, &value, nullptr, false, {}, 0};
}

// A number in its range, or `word` for `word_value` (--fps max).
constexpr CommandOption number_or_word_option(std::string_view name, std::int32_t low,
                                              std::int32_t high, std::string_view word,
                                              std::int32_t word_value, std::int32_t& value) {
    CommandOption option = number_option(name, low, high, value);
    option.word = word;
    option.word_value = word_value;
    return option;
}

constexpr CommandOption text_option(std::string_view name, std::string& value) {
    return {name, OptionKind::text, 0, 0, nullptr, nullptr, &value, false, {}, 0};
}

// Reads argv[1..argc-1] into the table's places: a flag becomes true, a number
// or a text takes its value, and each row given is marked. False at the first
// mistake, with `problem` one line naming it:
//   "unknown option --zoom", "unexpected argument 320", "--fps is given twice",
//   "--help takes no value", "--scale needs a number", "--gif needs a value",
//   "--fps 6O is not a number", "--scale 9 is out of range (1-8)"; for an
//   option with a word, "--fps fast is not a number or max" and
//   "--fps 0 is out of range (1-1000, or max)".
bool read_command_line(int argc, const char* const* argv, std::span<CommandOption> options,
                       std::string& problem);

// Whether the command line read into `options` gave the option `name`.
bool option_given(std::span<const CommandOption> options, std::string_view name);

}  // namespace quenlixor
