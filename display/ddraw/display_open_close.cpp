// Opening and closing the display: ddraw.dll, the window, the DirectDraw
// objects, the converter for the desktop's pixel format, the screen saver.
#include "display/ddraw/ddraw_display.h"

namespace quenlixor {

DisplayState display_state{};

namespace {

using DirectDrawCreateEntry = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);

}  // namespace

const char* display_failure() {
    return "";
}

std::int32_t display_open(const char* title, std::int32_t width, std::int32_t height,
                          std::int32_t /*scale*/) {
    DisplayState& state = display_state;
    state.width = width;
    state.height = height;

    state.ddraw_module = LoadLibraryA("ddraw.dll");
    if (state.ddraw_module == nullptr) {
        return 0;
    }
    FARPROC entry = GetProcAddress(state.ddraw_module, "DirectDrawCreate");
    if (entry == nullptr) {
        return 0;
    }
    // Through void(*)(): the generic function pointer type that converts to
    // any other without a cast-function-type warning.
    const auto direct_draw_create =
        reinterpret_cast<DirectDrawCreateEntry>(reinterpret_cast<void (*)()>(entry));
    if (FAILED(direct_draw_create(nullptr, &state.ddraw, nullptr))) {
        return 0;
    }

    WNDCLASSA& window_class = state.window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = window_proc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = nullptr;
    window_class.hIcon = nullptr;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = nullptr;
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = title;
    if (RegisterClassA(&window_class) == 0) {
        return 0;
    }

    RECT outer{0, 0, width, height};
    AdjustWindowRect(&outer, display_window_style, FALSE);
    const std::int32_t outer_width = outer.right - outer.left;
    const std::int32_t outer_height = outer.bottom - outer.top;
    // Centred; an arithmetic shift halves towards minus infinity, also when
    // the window is larger than the screen.
    const std::int32_t x = (GetSystemMetrics(SM_CXSCREEN) - outer_width) >> 1;
    const std::int32_t y = (GetSystemMetrics(SM_CYSCREEN) - outer_height) >> 1;

    state.window = CreateWindowExA(0, title, title, display_window_style, x, y, outer_width,
                                   outer_height, nullptr, nullptr, nullptr, nullptr);
    if (state.window == nullptr) {
        return 0;
    }
    ShowWindow(state.window, SW_SHOWNORMAL);

    if (FAILED(state.ddraw->SetCooperativeLevel(state.window, DDSCL_NORMAL))) {
        return 0;
    }

    // One description serves both surfaces.
    DDSURFACEDESC description{};
    description.dwSize = sizeof(DDSURFACEDESC);
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY;
    if (FAILED(state.ddraw->CreateSurface(&description, &state.primary_surface, nullptr))) {
        return 0;
    }
    // No pixel format and no memory placement: the off-screen surface takes
    // the display's format, which the converter is chosen for.
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    description.dwWidth = static_cast<DWORD>(width);
    description.dwHeight = static_cast<DWORD>(height);
    if (FAILED(state.ddraw->CreateSurface(&description, &state.offscreen_surface, nullptr))) {
        return 0;
    }

    if (FAILED(state.ddraw->CreateClipper(0, &state.clipper, nullptr))) {
        return 0;
    }
    if (FAILED(state.clipper->SetHWnd(0, state.window))) {
        return 0;
    }
    if (FAILED(state.primary_surface->SetClipper(state.clipper))) {
        return 0;
    }

    DDPIXELFORMAT format{};
    format.dwSize = sizeof(DDPIXELFORMAT);
    if (FAILED(state.primary_surface->GetPixelFormat(&format))) {
        return 0;
    }
    if ((format.dwFlags & DDPF_RGB) == 0) {
        return 0;
    }
    state.converter = select_converter(format.dwRGBBitCount, format.dwRBitMask, format.dwGBitMask,
                                       format.dwBBitMask);
    if (state.converter == nullptr) {
        return 0;
    }

    // Screen saver off for the running system only (no profile write, no
    // broadcast); the user's setting is kept for display_close.
    BOOL active = FALSE;
    state.screen_saver_was_active =
        SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) != 0 ? active : TRUE;
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, 0);
    state.screen_saver_switched_off = true;
    return 1;
}

void display_close() {
    DisplayState& state = display_state;
    if (state.offscreen_surface != nullptr) {
        state.offscreen_surface->Release();
        state.offscreen_surface = nullptr;
    }
    if (state.primary_surface != nullptr) {
        state.primary_surface->Release();
        state.primary_surface = nullptr;
    }
    if (state.ddraw != nullptr) {
        state.ddraw->RestoreDisplayMode();
        state.ddraw->SetCooperativeLevel(state.window, DDSCL_NORMAL);
        state.ddraw->Release();
        state.ddraw = nullptr;
    }
    DestroyWindow(state.window);
    if (state.ddraw_module != nullptr) {
        FreeLibrary(state.ddraw_module);
        state.ddraw_module = nullptr;
    }
    if (state.screen_saver_switched_off) {
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, state.screen_saver_was_active ? 1U : 0U,
                              nullptr, 0);
        state.screen_saver_switched_off = false;
    }
}

}  // namespace quenlixor
