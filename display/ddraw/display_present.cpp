// Presenting frames: the message pump, the conversion into the off-screen
// surface and the blit into the window's client area.
#include "display/ddraw/ddraw_display.h"

namespace quenlixor {

std::int32_t display_update(const std::uint32_t* pixels) {
    const DisplayState& state = display_state;

    // Only the display window's messages; messages posted to the thread
    // without a window stay queued.
    MSG message;
    while (PeekMessageA(&message, state.window, 0, 0, PM_REMOVE) != 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }

    // A lost surface that can be restored is usable again at this lock.
    state.primary_surface->Restore();
    state.offscreen_surface->Restore();

    DDSURFACEDESC description{};
    description.dwSize = sizeof(DDSURFACEDESC);
    if (FAILED(state.offscreen_surface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr))) {
        return 0;
    }
    const std::uint32_t* source = pixels;
    auto* destination = static_cast<unsigned char*>(description.lpSurface);
    for (std::int32_t row = 0; row < state.height; ++row) {
        state.converter(source, destination, static_cast<std::uint32_t>(state.width));
        source += state.width;
        destination += description.lPitch;
    }
    state.offscreen_surface->Unlock(description.lpSurface);

    paint_window();
    Sleep(0);
    return 1;
}

void paint_window() {
    const DisplayState& state = display_state;
    if (state.primary_surface == nullptr) {
        return;
    }
    RECT source{0, 0, state.width, state.height};
    POINT origin{0, 0};
    ClientToScreen(state.window, &origin);
    RECT destination;
    GetClientRect(state.window, &destination);
    destination.left += origin.x;
    destination.right += origin.x;
    destination.top += origin.y;
    destination.bottom += origin.y;
    state.primary_surface->Blt(&destination, state.offscreen_surface, &source, DDBLT_WAIT, nullptr);
}

}  // namespace quenlixor
