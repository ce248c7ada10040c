// The display: one window on the desktop that shows 32-bit 0x00RRGGBB frames.
//
// display_open opens it (1 on success, 0 on failure), display_update shows one
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

// The largest scale display_open takes.
inline constexpr std::int32_t max_display_scale = 8;

// `scale` (1..max_display_scale) shows every picture pixel as a scale x
// scale block: the window's client area is scale x width by scale x height.
std::int32_t display_open(const char* title, std::int32_t width, std::int32_t height,
                          std::int32_t scale = 1);
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
