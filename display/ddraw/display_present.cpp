// Presenting frames: the message pump, the conversion into the off-screen
// surface and the blit into the window's client area.
#include <cstring>

#include "display/ddraw/ddraw_display.h"

namespace quenlixor {
namespace {

// Widens a converted row of `count` pixels of `bytes` bytes each in place:
// pixel i becomes pixels i x scale to i x scale + scale - 1. From the right
// end leftwards, so that no pixel is overwritten before it is copied.
void repeat_pixels(unsigned char* row, std::int32_t count, std::int32_t bytes, std::int32_t scale) {
    const auto step = static_cast<std::size_t>(bytes);
    for (std::int32_t pixel = count - 1; pixel >= 0; --pixel) {
        unsigned char value[4];
        std::memcpy(value, row + static_cast<std::size_t>(pixel) * step, step);
        unsigned char* block = row + static_cast<std::size_t>(pixel * scale) * step;
        for (std::int32_t copy = 0; copy < scale; ++copy) {
            std::memcpy(block + static_cast<std::size_t>(copy) * step, value, step);
        }
    }
}

}  // namespace

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
    if (state.scale <= 1) {
        for (std::int32_t row = 0; row < state.height; ++row) {
            state.converter(source, destination, static_cast<std::uint32_t>(state.width));
            source += state.width;
            destination += description.lPitch;
        }
    } else {
        // Each picture row is converted once, widened, and copied into the
        // scale - 1 surface rows below it.
        const auto shown_row_bytes =
            static_cast<std::size_t>(state.width * state.scale * state.bytes_per_pixel);
        for (std::int32_t row = 0; row < state.height; ++row) {
            state.converter(source, destination, static_cast<std::uint32_t>(state.width));
            repeat_pixels(destination, state.width, state.bytes_per_pixel, state.scale);
            unsigned char* const converted = destination;
            destination += description.lPitch;
            for (std::int32_t copy = 1; copy < state.scale; ++copy) {
                std::memcpy(destination, converted, shown_row_bytes);
                destination += description.lPitch;
            }
            source += state.width;
        }
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
