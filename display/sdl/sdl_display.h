// The SDL2 display's one window, for its tests and benchmarks. The public
// contract is display/display.h.
#pragma once

struct SDL_Window;

namespace quenlixor {

// The display's window while it is open, else nullptr.
SDL_Window* sdl_display_window();

}  // namespace quenlixor
