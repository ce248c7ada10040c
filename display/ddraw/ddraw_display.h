// The Win32 + DirectDraw display: internals shared by its source files and by
// the tests. The public contract is display/display.h.
//
// DirectDraw runs in normal (windowed) cooperative mode with a primary surface
// (the whole screen), one off-screen surface of the picture's size in the
// desktop's pixel format, and a clipper bound to the window. ddraw.dll is
// loaded at run time; only the first-version interfaces are used.
#pragma once

#include <windows.h>
// windows.h first: ddraw.h builds on its types.
#include <ddraw.h>

#include <cstdint>

#include "display/display.h"
#include "display/pixel_converters.h"

namespace quenlixor {

// 108 bytes in a 32-bit program; its surface pointer makes it 120 in a 64-bit one.
static_assert(sizeof(DDSURFACEDESC) == (sizeof(void*) == 4 ? 108 : 120),
              "first-version surface description");
static_assert(sizeof(DDPIXELFORMAT) == 32, "first-version pixel format record");

// The display's one record. Zero until display_open fills it; display_close
// releases the objects and sets their fields to none (caption_window too), and
// leaves window, width, height, window_class, clipper and converter as they
// were.
struct DisplayState {
    HWND window;
    // The thread's active window right after the opening: the caption goes
    // there (it is the display's window once Windows has activated it).
    HWND caption_window;
    std::int32_t width;
    std::int32_t height;
    WNDCLASSA window_class;
    HMODULE ddraw_module;
    IDirectDraw* ddraw;
    IDirectDrawSurface* primary_surface;
    IDirectDrawClipper* clipper;
    IDirectDrawSurface* offscreen_surface;
    Converter converter;
    // Every picture pixel is shown as a scale x scale block: the client area
    // and the off-screen surface are scale x width by scale x height.
    std::int32_t scale;
    // Of the desktop's format: 2, 3 or 4.
    std::int32_t bytes_per_pixel;
    // The user's screen-saver setting as read by the opening, and whether the
    // opening switched the screen saver off (display_close then puts the
    // setting back, once).
    BOOL screen_saver_was_active;
    bool screen_saver_switched_off;
};

extern DisplayState display_state;

// Window style of the display: caption, system menu and minimise box; no
// sizing border, no maximise box.
inline constexpr DWORD display_window_style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
static_assert(display_window_style == 0x00CA0000);

// Blits the whole off-screen surface to the window's client area on the
// screen. Does nothing while there is no primary surface.
void paint_window();

// The display window's procedure: repaints on WM_PAINT, closes the display and
// ends the process on WM_CLOSE, pushes key-downs into the console key queue.
LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace quenlixor
