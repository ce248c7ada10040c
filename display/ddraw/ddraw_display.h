// The Win32 + DirectDraw display: internals shared by its source files and by
// the tests. The public contract is display/display.h.
//
// DirectDraw runs in normal (windowed) cooperative mode with a primary surface
// (the whole screen), one off-screen surface in the desktop's pixel format
// holding the picture as it is shown, and a clipper bound to the window.
// ddraw.dll is loaded at run time; only the first-version interfaces are used.
// The screen's mode never changes, whatever the form:
// - window: a centred window with a caption whose client area is the picture
//   at its scale; the off-screen surface is converted whole every frame and
//   blitted to the whole client area.
// - full_screen: a popup window covering the monitor the program starts on
//   (its console's, else the cursor's), black, the picture centred in the
//   largest whole blocks that fit (at most the scale asked for), the cursor
//   hidden over it. It ends as the window does (a key, WM_CLOSE).
// - screen_saver: a topmost popup over the whole virtual screen, black, the
//   picture centred on the primary monitor as full_screen places it, the
//   cursor hidden; a key, a button, moving the mouse more than
//   saver_mouse_slack pixels or losing the activation ends the process.
// - preview: a child window covering its parent's client area, the picture
//   fitted, or shrunk where not even one pixel per picture pixel fits; it
//   ignores input and ends the process when it (with its parent) is destroyed
//   or the parent is found gone. Its off-screen surface is the whole client
//   area, black included, converted and copied whole every frame with GDI
//   from the surface's device context (DirectDraw's cooperation is not bound
//   to the child): Wine shows neither DirectDraw's blits into a child window
//   nor, reliably, several GDI drawings into one within a frame.
// Full screen and the screen saver convert and blit only the rectangle of
// the picture that changed since the frame before; a repaint shows all.
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
    // setting back, once). Only a window of its own and full screen do.
    BOOL screen_saver_was_active;
    bool screen_saver_switched_off;

    // The form shown, and for a preview its parent window.
    DisplayForm form;
    HWND parent;
    // Any form but a window: where the picture is in the client area, in
    // pixels (its blocks, or the picture shrunk where scale is 0). The
    // off-screen surface is exactly this size (a preview's: the client
    // area's, the picture at this place in it).
    RECT place;
    // The frame shown last (width x height pixels) and whether the
    // off-screen surface holds it; while it does, an update converts and
    // blits only the rectangle that changed.
    std::uint32_t* shown;
    bool holds_picture;
    // A screen saver: where the first mouse move found the cursor, and
    // whether the window has been active (only losing the activation it had
    // ends the saver).
    bool mouse_seen;
    POINT mouse_start;
    bool was_active;
    // Set while display_close runs: the window's destruction then ends
    // nothing.
    bool closing;
};

extern DisplayState display_state;

// Window style of the display: caption, system menu and minimise box; no
// sizing border, no maximise box.
inline constexpr DWORD display_window_style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
static_assert(display_window_style == 0x00CA0000);

// How far the mouse may move from where a screen saver first saw it, in
// pixels along either axis, without ending it.
inline constexpr LONG saver_mouse_slack = 4;

// Blits the whole off-screen surface to the window's client area on the
// screen (any form but a window: to the picture's place in it). Does nothing
// while there is no primary surface.
void paint_window();

// Any form but a window: paints the client area outside the picture's place
// black with GDI, inside a WM_PAINT's BeginPaint.
void paint_black_around(HDC dc);

// display_close, then the end of the process with status 0.
[[noreturn]] void close_and_end();

// The display window's procedure: repaints on WM_PAINT, closes the display and
// ends the process on WM_CLOSE, pushes key-downs into the console key queue
// (a window, full screen); hides the cursor (full screen, screen saver);
// ends a screen saver on input and a preview when it is destroyed.
LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace quenlixor
