// The SDL display's part that is the window system's own: drawing into a
// window another program made (XScreenSaver's, the root window, one named
// by its number). SDL draws into an X window it did not make, but asks the
// X server for none of its events: this part asks for the window's
// exposures and changes of size on SDL's own connection, so that SDL
// reports them as it does for a window of its own, and keeps X errors
// about that window (whose owner may destroy it at any time) from ending
// the process. One file per window system, chosen when the display is
// built: sdl_given_window_x11.cpp where the build has X11,
// sdl_given_window_none.cpp elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

struct SDL_Window;

namespace quenlixor {

// Whether this build can draw into a given window.
extern const bool sdl_draws_given_windows;

// The SDL video driver that draws into given windows ("x11").
extern const char* const given_window_driver;

// Finds the window `window` (0: the root window) on the window system's
// display, before SDL's video starts, and sets `found` to its number.
// False when there is none, with why in `failure` (of `size` bytes), e.g.
// "0x1234 is not a window on the X display :0".
bool given_window_find(std::uint64_t window, std::uint64_t& found, char* failure, std::size_t size);

// Asks for the exposures and changes of size of `window`, the SDL window
// made from the window found, on SDL's connection; from now on X errors
// about the window only mark it gone. False, with why in `failure`, when
// SDL's window is not on that window system.
bool given_window_watch(SDL_Window* window, char* failure, std::size_t size);

// True once the given window has gone (its owner destroyed it).
bool given_window_gone();

// Ends the watch once the SDL window is destroyed (before SDL's video
// ends); nothing when there was none.
void given_window_close();

}  // namespace quenlixor
