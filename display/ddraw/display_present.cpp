// Presenting frames: the message pump, the conversion into the off-screen
// surface, the blit into the window's client area, and the caption. A window
// of its own gets the whole frame every time; the other forms only the
// rectangle that changed since the frame before.
#include <algorithm>
#include <cstring>

#include "display/ddraw/ddraw_display.h"
#include "display/present_rows.h"

namespace quenlixor {
namespace {

// The rectangle `source` of the off-screen surface blitted to the same
// rectangle of the picture's place in the client area. A preview's surface
// is its whole client area, black and picture, copied whole with one GDI
// BitBlt from the surface's device context: Wine draws DirectDraw's blits to
// a child window into an X window of its own that it never shows, and of
// several GDI drawings into a child window in one frame shows only some.
void blit_to_place(const RECT& source) {
    const DisplayState& state = display_state;
    if (state.form == DisplayForm::preview) {
        HDC surface_dc = nullptr;
        if (FAILED(state.offscreen_surface->GetDC(&surface_dc))) {
            return;
        }
        if (HDC window_dc = GetDC(state.window); window_dc != nullptr) {
            RECT client{};
            GetClientRect(state.window, &client);
            BitBlt(window_dc, 0, 0, client.right, client.bottom, surface_dc, 0, 0, SRCCOPY);
            ReleaseDC(state.window, window_dc);
        }
        state.offscreen_surface->ReleaseDC(surface_dc);
        return;
    }
    POINT origin{state.place.left, state.place.top};
    ClientToScreen(state.window, &origin);
    RECT destination{origin.x + source.left, origin.y + source.top, origin.x + source.right,
                     origin.y + source.bottom};
    RECT from = source;
    state.primary_surface->Blt(&destination, state.offscreen_surface, &from, DDBLT_WAIT, nullptr);
}

// Full screen, a screen saver and a preview: converts what changed since the
// frame shown last (everything, where the surface may not hold that frame or
// the picture is shrunk) and blits it. 0 when the surface cannot be locked.
std::int32_t present_changes(const std::uint32_t* pixels) {
    DisplayState& state = display_state;
    // A restored surface has lost what it held.
    if (state.primary_surface->IsLost() == DDERR_SURFACELOST) {
        state.primary_surface->Restore();
        InvalidateRect(state.window, nullptr, FALSE);
    }
    if (state.offscreen_surface->IsLost() == DDERR_SURFACELOST) {
        state.offscreen_surface->Restore();
        state.holds_picture = false;
    }
    const std::int32_t block = state.scale;
    // A preview is small, and its parent may paint over it at any time (under
    // Wine it does): it is drawn whole every frame, black and all, as one.
    const bool preview = state.form == DisplayForm::preview;
    const bool whole = !state.holds_picture || block == 0 || preview;
    const PictureRect changed = whole
                                    ? PictureRect{0, 0, state.width, state.height}
                                    : changed_rect(state.shown, pixels, state.width, state.height);
    if (changed.width == 0 || changed.height == 0) {
        return 1;
    }
    DDSURFACEDESC description{};
    description.dwSize = sizeof(DDSURFACEDESC);
    if (FAILED(state.offscreen_surface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr))) {
        state.holds_picture = false;
        return 0;
    }
    auto* surface = static_cast<std::uint8_t*>(description.lpSurface);
    if (preview) {
        // Black (zero in every RGB format) around the picture, every frame.
        const auto pitch = static_cast<std::size_t>(description.lPitch);
        const auto bytes = static_cast<std::size_t>(state.bytes_per_pixel);
        const RECT& place = state.place;
        for (DWORD row = 0; row < description.dwHeight; ++row) {
            std::uint8_t* const line = surface + row * pitch;
            const auto top = static_cast<DWORD>(place.top);
            const auto bottom = static_cast<DWORD>(place.bottom);
            if (row < top || row >= bottom) {
                std::memset(line, 0, description.dwWidth * bytes);
                continue;
            }
            std::memset(line, 0, static_cast<std::size_t>(place.left) * bytes);
            std::memset(line + static_cast<std::size_t>(place.right) * bytes, 0,
                        (description.dwWidth - static_cast<DWORD>(place.right)) * bytes);
        }
        surface += static_cast<std::size_t>(place.top) * pitch +
                   static_cast<std::size_t>(place.left) * bytes;
    }
    RECT blitted{0, 0, state.place.right - state.place.left, state.place.bottom - state.place.top};
    if (block == 0) {
        present_shrunk(pixels, state.width, state.height, blitted.right, blitted.bottom,
                       state.converter, state.bytes_per_pixel, surface, description.lPitch);
    } else {
        present_rect(pixels, state.width, changed, block, state.converter, state.bytes_per_pixel,
                     surface, description.lPitch);
        blitted = RECT{changed.x * block, changed.y * block, (changed.x + changed.width) * block,
                       (changed.y + changed.height) * block};
    }
    state.offscreen_surface->Unlock(description.lpSurface);
    std::copy(pixels, pixels + static_cast<std::ptrdiff_t>(state.width) * state.height,
              state.shown);
    state.holds_picture = true;
    blit_to_place(blitted);
    return 1;
}

}  // namespace

std::int32_t display_update(const std::uint32_t* pixels) {
    DisplayState& state = display_state;

    // Only the display window's messages; messages posted to the thread
    // without a window stay queued.
    MSG message;
    while (PeekMessageA(&message, state.window, 0, 0, PM_REMOVE) != 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }

    if (state.form != DisplayForm::window) {
        // A preview whose parent went without its child's destruction
        // reaching us.
        if (state.form == DisplayForm::preview && IsWindow(state.parent) == 0) {
            close_and_end();
        }
        const std::int32_t presented = present_changes(pixels);
        Sleep(0);
        return presented;
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
    if (state.form != DisplayForm::window) {
        // Before the first frame the surface holds nothing to show.
        if (!state.holds_picture) {
            return;
        }
        blit_to_place(
            RECT{0, 0, state.place.right - state.place.left, state.place.bottom - state.place.top});
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

void paint_black_around(HDC dc) {
    const DisplayState& state = display_state;
    RECT client{};
    GetClientRect(state.window, &client);
    const auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    if (!state.holds_picture) {
        FillRect(dc, &client, black);
        return;
    }
    // The bands above, below, left and right of the picture, each filled on
    // its own (a clip region would stay with a window's cached DC).
    const RECT& place = state.place;
    const RECT bands[] = {
        {client.left, client.top, client.right, place.top},
        {client.left, place.bottom, client.right, client.bottom},
        {client.left, place.top, place.left, place.bottom},
        {place.right, place.top, client.right, place.bottom},
    };
    for (const RECT& band : bands) {
        if (band.right > band.left && band.bottom > band.top) {
            FillRect(dc, &band, black);
        }
    }
}

}  // namespace quenlixor
