// POSIX has no window system of its own: a display that owns a window (the
// SDL display) announces it here, so that active_window() and set_caption()
// of platform.h reach it.
#pragma once

namespace quenlixor {

struct WindowSystem {
    void* window;                                         // nullptr: no window
    void (*set_caption)(void* window, const char* text);  // nullptr: none
};

// From now on active_window() returns system.window and set_caption() on that
// window calls system.set_caption. WindowSystem{} withdraws the window.
void use_window_system(const WindowSystem& system);

}  // namespace quenlixor
