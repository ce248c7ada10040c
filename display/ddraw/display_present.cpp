// Presenting frames: the message pump, the conversion into the off-screen
// surface, the blit into the window's client area, and the caption.
#include "display/ddraw/ddraw_display.h"
#include "display/present_rows.h"

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
    present_rows(pixels, state.width, state.height, state.scale, state.converter,
                 state.bytes_per_pixel, static_cast<std::uint8_t*>(description.lpSurface),
                 description.lPitch);
    state.offscreen_surface->Unlock(description.lpSurface);

    paint_window();
    Sleep(0);
    return 1;
}

void display_set_caption(const char* text) {
    SetWindowTextA(display_state.caption_window, text);
}

void paint_window() {
    const DisplayState& state = display_state;
    if (state.primary_surface == nullptr) {
        return;
    }
    const std::int32_t scale = state.scale > 1 ? state.scale : 1;
    RECT source{0, 0, state.width * scale, state.height * scale};
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
