#include "animation/program_options.h"

#include <cstdint>
#include <span>
#include <string_view>

#include "animation/command_line.h"

namespace quenlixor {

// QUENLIXOR_VERSION comes from the build: the project's version.
const char* const program_version = QUENLIXOR_VERSION;

std::string program_usage(const DisplayForms& forms) {
    std::string usage = "usage: quenlixor-julia [--scale N] [--fps N|max] [--frame N]";
    if (forms.full_screen) {
        usage += " [--fullscreen]";
    }
    if (forms.given_window) {
        usage += " [--root | --window-id ID]";
    }
    usage +=
        " [--help] [--version]\n"
        "  --scale N       show every pixel as an N x N block, N from 1 to 8 (default 1)\n"
        "  --fps N         at most N frames per second, N from 1 to 1000 (default 60); where\n"
        "                  the next frame would make a part of the screen flash more than 3\n"
        "                  times in a second (in blocks of 4 or more), the one before stays\n"
        "                  longer\n"
        "  --fps max       as many frames per second as the machine makes, never held: the\n"
        "                  picture then flashes, which can set off seizures in people with\n"
        "                  photosensitive epilepsy\n"
        "  --frame N       start at frame N of the path, N from 0 to 2147483647 (default 1)\n";
    if (forms.full_screen) {
        usage +=
            "  --fullscreen    fill the screen, black, with the picture centred in the largest\n"
            "                  whole blocks that fit (at most --scale, where given)\n";
    }
    if (forms.given_window) {
        usage +=
            "  --root          draw into the root window (XScreenSaver's, where\n"
            "                  XSCREENSAVER_WINDOW names it), as --fullscreen fills a screen\n"
            "  --window-id ID  draw into the X window ID (decimal, or hexadecimal after 0x)\n";
    }
    usage +=
        "  --help          print this text and end\n"
        "  --version       print the version, the renderer kernel and the converter path, and "
        "end\n";
    usage += forms.given_window
                 ? "A key in the window or in the terminal, or closing the window, ends the "
                   "program;\nin a window given to it, only a stop request (SIGTERM) does.\n"
                 : "A key in the window or in the terminal, or closing the window, ends the "
                   "program.\n";
    return usage;
}

namespace {

const char* const window_number = " (a number, decimal or hexadecimal after 0x)";

// An X window's number: decimal, or hexadecimal after 0x; 1 to 2^32 - 1.
bool read_window(const std::string& text, std::uint64_t& window) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 10) {
        return false;
    }
    std::uint64_t value = 0;
    for (const char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return false;
        }
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    }
    if (value == 0 || value > 0xFFFFFFFFU) {
        return false;
    }
    window = value;
    return true;
}

}  // namespace

OptionsAction parse_options(int argc, const char* const* argv, const DisplayForms& forms,
                            const char* screen_saver_window, ProgramOptions& options,
                            std::string& problem) {
    options = ProgramOptions{};
    bool help = false;
    bool version = false;
    bool full_screen = false;
    bool root = false;
    std::string window_id;
    CommandOption table[8] = {
        number_option("--scale", 1, max_display_scale, options.scale),
        number_or_word_option("--fps", 1, fps_max, "max", unpaced, options.fps),
        number_option("--frame", 0, frame_number_max, options.first_frame),
        flag_option("--help", help),
        flag_option("--version", version),
    };
    std::size_t rows = 5;
    if (forms.full_screen) {
        table[rows++] = flag_option("--fullscreen", full_screen);
    }
    if (forms.given_window) {
        table[rows++] = flag_option("--root", root);
        table[rows++] = text_option("--window-id", window_id);
    }
    const std::span<CommandOption> given(table, rows);
    if (!read_command_line(argc, argv, given, problem)) {
        return OptionsAction::bad;
    }
    options.scale_given = option_given(given, "--scale");
    // But --root with --window-id: XScreenSaver's settings program previews
    // a hack so, adding --window-id to the command of its list; the window
    // named wins.
    std::string first_form;
    for (const std::string name : {"--fullscreen", "--root", "--window-id"}) {
        if (!option_given(given, name)) {
            continue;
        }
        if (!first_form.empty() && !(first_form == "--root" && name == "--window-id")) {
            problem = name + " cannot be given with " + first_form;
            return OptionsAction::bad;
        }
        first_form = name;
    }
    if (full_screen) {
        options.form = DisplayForm::full_screen;
    } else if (!window_id.empty()) {
        if (!read_window(window_id, options.window)) {
            problem = "--window-id " + window_id + " is not a window" + window_number;
            return OptionsAction::bad;
        }
        options.form = DisplayForm::given_window;
    }
    if (help) {
        return OptionsAction::help;
    }
    if (version) {
        return OptionsAction::version;
    }
    const bool screen_saver_named =
        screen_saver_window != nullptr && screen_saver_window[0] != '\0';
    if (forms.given_window && screen_saver_named && (root || options.form == DisplayForm::window) &&
        window_id.empty()) {
        if (!read_window(screen_saver_window, options.window)) {
            problem = std::string("XSCREENSAVER_WINDOW=") + screen_saver_window +
                      " is not a window" + window_number;
            return OptionsAction::bad;
        }
        options.form = DisplayForm::given_window;
    } else if (root && window_id.empty()) {
        options.form = DisplayForm::given_window;
    }
    return OptionsAction::run;
}

namespace {

// A window handle as Windows passes it: decimal digits, 1 to 2^64 - 1.
bool read_handle(std::string_view text, std::uint64_t& window) {
    if (text.empty() || text.size() > 20) {
        return false;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    window = value;
    return value != 0;
}

}  // namespace

SaverAction parse_saver_arguments(int argc, const char* const* argv, std::uint64_t& window,
                                  std::string& problem) {
    window = 0;
    if (argc < 2) {
        return SaverAction::settings;
    }
    const std::string_view first = argv[1];
    const char letter = first.size() >= 2 && (first[0] == '/' || first[0] == '-')
                            ? static_cast<char>(first[1] | 0x20)
                            : '\0';
    const bool colon = first.size() > 2 && first[2] == ':';
    SaverAction action = SaverAction::bad;
    if (letter == 's' && first.size() == 2) {
        action = SaverAction::run;
    } else if (letter == 'p' && (first.size() == 2 || colon)) {
        action = SaverAction::preview;
    } else if (letter == 'c' && (first.size() == 2 || colon)) {
        action = SaverAction::settings;
    } else {
        problem = "unknown argument ";
        problem += first;
        problem += " (/s runs the screen saver, /p HWND previews it, /c shows its settings)";
        return SaverAction::bad;
    }
    std::string option(1, '/');
    option += letter;
    // The handle: after the colon, or the next argument; /c has it only
    // where one is given.
    int next = 2;
    std::string_view handle;
    if (colon) {
        handle = first.substr(3);
    } else if (action != SaverAction::run && argc > 2) {
        handle = argv[2];
        next = 3;
    }
    if (action == SaverAction::preview || colon || next == 3) {
        if (handle.empty()) {
            problem = option + " needs a window handle (a decimal number): " + option +
                      (colon ? ":1234" : " 1234");
            return SaverAction::bad;
        }
        if (!read_handle(handle, window)) {
            window = 0;
            problem = option + " ";
            problem += handle;
            problem += " is not a window handle (a decimal number from 1 on)";
            return SaverAction::bad;
        }
    }
    if (argc > next) {
        window = 0;
        problem = "unexpected argument ";
        problem += argv[next];
        return SaverAction::bad;
    }
    return action;
}

DisplayPlace display_place(const ProgramOptions& options) {
    DisplayPlace place;
    place.form = options.form;
    place.window = options.window;
    if (options.form == DisplayForm::window) {
        place.scale = options.scale;
    } else {
        place.scale = options.scale_given ? options.scale : 0;
    }
    return place;
}

std::int32_t frame_number_before(std::int32_t first_frame) {
    return frame_after(first_frame, -1);
}

}  // namespace quenlixor
