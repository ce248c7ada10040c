#include "animation/command_line.h"

namespace quenlixor {
namespace {

enum class NumberRead { ok, not_a_number, out_of_range };

// Decimal digits with an optional '-', nothing else; values far outside every
// range saturate instead of overflowing.
NumberRead read_number(std::string_view text, std::int32_t low, std::int32_t high,
                       std::int32_t& value) {
    std::size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) {
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

// Stores `text` as the value of `option`; false with `problem` set when it is
// not a value the option takes.
bool store_value(CommandOption& option, std::string_view text, std::string& problem) {
    const std::string name(option.name);
    if (option.kind == OptionKind::text) {
        *option.text = text;
        return true;
    }
    const bool has_word = !option.word.empty();
    if (has_word && text == option.word) {
        *option.number = option.word_value;
        return true;
    }
    const std::string or_word = has_word ? " or " + std::string(option.word) : "";
    switch (read_number(text, option.low, option.high, *option.number)) {
        case NumberRead::ok:
            return true;
        case NumberRead::not_a_number:
            problem = name + " " + std::string(text) + " is not a number" + or_word;
            return false;
        case NumberRead::out_of_range:
            problem = name + " " + std::string(text) + " is out of range (" +
                      std::to_string(option.low) + "-" + std::to_string(option.high) +
                      (has_word ? ", or " + std::string(option.word) : "") + ")";
            return false;
    }
    return false;
}

}  // namespace

bool read_command_line(int argc, const char* const* argv, std::span<CommandOption> options,
                       std::string& problem) {
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        const std::size_t equals = argument.starts_with("--") ? argument.find('=') : argument.npos;
        const std::string_view name = argument.substr(0, equals);
        CommandOption* option = nullptr;
        for (CommandOption& row : options) {
            if (row.name == name) {
                option = &row;
            }
        }
        if (option == nullptr) {
            problem = argument.starts_with('-') ? "unknown option " + std::string(name)
                                                : "unexpected argument " + std::string(argument);
            return false;
        }
        if (option->given) {
            problem = std::string(name) + " is given twice";
            return false;
        }
        option->given = true;
        if (option->kind == OptionKind::flag) {
            if (equals != argument.npos) {
                problem = std::string(name) + " takes no value";
                return false;
            }
            *option->flag = true;
            continue;
        }
        std::string_view text;
        if (equals != argument.npos && equals + 1 < argument.size()) {
            text = argument.substr(equals + 1);
        } else if (equals == argument.npos && index + 1 < argc && argv[index + 1][0] != '\0' &&
                   !std::string_view(argv[index + 1]).starts_with("--")) {
            text = argv[++index];
        } else {
            problem = std::string(name) + (option->kind != OptionKind::number ? " needs a value"
                                           : option->word.empty()
                                               ? " needs a number"
                                               : " needs a number or " + std::string(option->word));
            return false;
        }
        if (!store_value(*option, text, problem)) {
            return false;
        }
    }
    return true;
}

bool option_given(std::span<const CommandOption> options, std::string_view name) {
    for (const CommandOption& option : options) {
        if (option.name == name) {
            return option.given;
        }
    }
    return false;
}

}  // namespace quenlixor
