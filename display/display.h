// The display: one window on the desktop that shows 32-bit 0x00RRGGBB frames.
//
// display_open opens it (1 on success, 0 on failure) in the form asked for
// (a window of its own, full screen, ...), display_update shows one
// frame of width x height pixels, rows adjacent (1 when presented, 0 when the
// surface could not be locked), display_set_caption replaces the caption,
// display_close undoes the opening. One display per process; all of them run
// on the program's one thread.
//
// Each target has one display, a folder of display/ chosen when the program
// is built (QUENLIXOR_DISPLAY): ddraw (Win32 and DirectDraw), sdl (SDL2) and
// web (a canvas in a browser's page). Every display sends what the user does
// in its window through the platform (platform/platform.h): a key pressed
// goes into the console's key queue as window_key_code makes it
// (push_key), and a request to close the window calls display_close and
// end_process(0).
#pragma once

#include <cstdint>

namespace quenlixor {

// The largest scale of a window of its own.
inline constexpr std::int32_t max_display_scale = 8;

// Where a display shows the picture.
enum class DisplayForm : std::int32_t {
    // A window of its own on the desktop, centred, whose client area is
    // scale x width by scale x height.
    window,
    // The whole of the screen the program starts on, black, with the picture
    // centred on it; the screen's mode never changes.
    full_screen,
    // A window another program made (XScreenSaver's, or the root window),
    // black, with the picture centred in it at the window's size, whatever
    // size it takes on.
    given_window,
    // A Windows screen saver running (/s): the whole virtual screen (every
    // monitor) black, the picture centred on the primary monitor; a key, a
    // button, moving the mouse or losing the activation ends it.
    screen_saver,
    // A Windows screen saver's preview (/p): a child of the given window
    // covering its client area, the picture shrunk to fit where it must;
    // it ignores input and ends when its parent goes.
    preview,
};

// What display_open is asked for.
struct DisplayPlace {
    DisplayForm form = DisplayForm::window;
    // A window: every picture pixel a scale x scale block, 1 to
    // max_display_scale. Any other form: the largest block that fits when 0;
    // else this block, lowered where it does not fit.
    std::int32_t scale = 1;
    // given_window: the window (an X window's number), or 0 for the root
    // window. preview: the parent window (a Windows HWND).
    std::uint64_t window = 0;
};

// The forms this target's display can show besides a window of its own.
struct DisplayForms {
    bool full_screen;
    bool given_window;
    bool screen_saver;  // screen_saver and preview
};

// Each display says what it can show.
extern const DisplayForms display_forms;

std::int32_t display_open(const char* title, std::int32_t width, std::int32_t height,
                          const DisplayPlace& place);

// A window of its own at `scale`.
inline std::int32_t display_open(const char* title, std::int32_t width, std::int32_t height,
                                 std::int32_t scale = 1) {
    return display_open(title, width, height, DisplayPlace{DisplayForm::window, scale, 0});
}

// The block the picture is shown at since display_open succeeded: the
// window's scale, or what fitted (0 where not even one pixel per picture
// pixel fits, as in a small preview, which shows it shrunk).
std::int32_t display_block();

// The picture's size on the screen since display_open succeeded, in the
// screen's pixels: display_block() times its own, or where that is 0 the
// size it is shrunk to (nearest pixels, as present_shrunk shows it).
struct ShownSize {
    std::int32_t width;
    std::int32_t height;
};
ShownSize display_shown_size();

void display_close();
std::int32_t display_update(const std::uint32_t* pixels);

// Replaces the caption with the zero-terminated `text`; the result is not
// reported, and nothing happens while no display is open. ddraw: the window
// that was active right after display_open, SetWindowTextA on every call.
// sdl: the window's title, when it differs from `text`. web: the page's
// title (document.title), when it differs from `text`.
void display_set_caption(const char* text);

// Why the last display_open failed, as one line that names the step and the
// system's error, e.g. "primary surface: DDERR_NODIRECTDRAWHW (0x88760233)";
// empty when no opening has failed.
const char* display_failure();

}  // namespace quenlixor
