// The program's command line: quenlixor-julia [--scale N] [--fps N|max]
// [--frame N] [--fullscreen] [--root | --window-id ID] [--help] [--version].
// Each option with a value takes it as the next argument or after '='
// (--scale 3, --scale=3). The forms a display cannot show have no option.
#pragma once

#include <cstdint>
#include <string>

#include "animation/julia_renderer.h"
#include "display/display.h"

namespace quenlixor {

// The program's version, as its build names it.
extern const char* const program_version;

inline constexpr std::int32_t fps_max = 1000;

// The pace without --fps: one frame a refresh of a 60 Hz screen, so that
// the path moves one step a refresh, never faster than a viewer can follow.
inline constexpr std::int32_t default_fps = 60;

// --fps max: no pacing at all, as many frames a second as the machine makes.
inline constexpr std::int32_t unpaced = 0;

struct ProgramOptions {
    std::int32_t scale = 1;  // 1..max_display_scale
    bool scale_given = false;
    std::int32_t fps = default_fps;  // 1..fps_max, or unpaced
    std::int32_t first_frame = 1;    // the first frame shown, 0..frame_number_max
    DisplayForm form = DisplayForm::window;
    std::uint64_t window = 0;  // given_window: the X window, 0 for the root
};

// The usage text for a display that can show `forms`, ending with a newline.
std::string program_usage(const DisplayForms& forms);

// What the command line asks for.
enum class OptionsAction { run, help, version, bad };

// Reads argv[1..argc-1] into `options`, for a display that can show
// `forms`, with `screen_saver_window` the value of XSCREENSAVER_WINDOW (or
// nullptr): where the display can draw into a given window, that window is
// drawn into when no other form is asked for, and by --root. On a bad
// command line (an unknown option or argument, a missing value, a value
// that is not a decimal number or lies outside its range, an option given
// twice, two forms at once, a window that is not a number) returns
// OptionsAction::bad with `problem` set to one line naming it, e.g.
// "--scale 9 is out of range (1-8)". Otherwise --help wins over --version,
// and either wins over running.
OptionsAction parse_options(int argc, const char* const* argv, const DisplayForms& forms,
                            const char* screen_saver_window, ProgramOptions& options,
                            std::string& problem);

// Where the options ask the display to show the picture.
DisplayPlace display_place(const ProgramOptions& options);

// --- the screen saver's command line (quenlixor-julia.scr) ---------------
// As Windows passes it and its own screen-saver library reads it: one
// letter after '/' or '-', in either case, and for /p (and, optionally,
// /c) a window handle in decimal, after a colon or as the next argument:
//   /s                    run as the screen saver
//   /p HWND, /p:HWND      preview in the window HWND
//   /c, /c:HWND, /c HWND  the settings (owned by HWND); no argument too
enum class SaverAction { run, preview, settings, bad };

// What the screen saver says for its settings: it has none.
inline constexpr const char* saver_no_settings = "Quenlixor Julia has no settings.";

// The title of the screen saver's message boxes.
inline constexpr const char* saver_title = "Quenlixor Julia";

// Reads argv[1..argc-1] as above; `window` is the handle given (0 where
// none is). On anything else (another letter, a handle that is missing,
// 0, not decimal digits or wider than 64 bits, more arguments) returns
// SaverAction::bad with `problem` one line naming it, e.g.
// "/p needs a window handle (a decimal number): /p 1234".
SaverAction parse_saver_arguments(int argc, const char* const* argv, std::uint64_t& window,
                                  std::string& problem);

// The renderer's frame_number that makes `first_frame` the first frame
// render_frame shows: one less, frame 0 following the last frame.
std::int32_t frame_number_before(std::int32_t first_frame);

}  // namespace quenlixor
