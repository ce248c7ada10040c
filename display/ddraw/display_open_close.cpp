// Opening and closing the display: ddraw.dll, the window of the form asked
// for (a window of its own, a popup covering a monitor or the whole virtual
// screen, a child of a preview's parent) and where the picture goes in it,
// the DirectDraw objects, the converter for the desktop's pixel format, the
// screen saver.
#include <cstdio>
#include <vector>

#include "display/ddraw/ddraw_display.h"
#include "display/present_rows.h"
#include "platform/platform.h"

namespace quenlixor {

DisplayState display_state{};

namespace {

using DirectDrawCreateEntry = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);

// Why the last opening failed; empty while none has.
char failure_line[192];

struct ErrorName {
    HRESULT code;
    const char* name;
};

// The DirectDraw results an opening may meet, by name.
const ErrorName error_names[] = {
    {DDERR_GENERIC, "DDERR_GENERIC"},
    {DDERR_OUTOFMEMORY, "DDERR_OUTOFMEMORY"},
    {DDERR_INVALIDPARAMS, "DDERR_INVALIDPARAMS"},
    {DDERR_UNSUPPORTED, "DDERR_UNSUPPORTED"},
    {DDERR_NOTINITIALIZED, "DDERR_NOTINITIALIZED"},
    {DDERR_INVALIDCAPS, "DDERR_INVALIDCAPS"},
    {DDERR_INVALIDMODE, "DDERR_INVALIDMODE"},
    {DDERR_INVALIDOBJECT, "DDERR_INVALIDOBJECT"},
    {DDERR_INVALIDPIXELFORMAT, "DDERR_INVALIDPIXELFORMAT"},
    {DDERR_NOCOOPERATIVELEVELSET, "DDERR_NOCOOPERATIVELEVELSET"},
    {DDERR_NODIRECTDRAWSUPPORT, "DDERR_NODIRECTDRAWSUPPORT"},
    {DDERR_NOEXCLUSIVEMODE, "DDERR_NOEXCLUSIVEMODE"},
    {DDERR_NOTFOUND, "DDERR_NOTFOUND"},
    {DDERR_OUTOFVIDEOMEMORY, "DDERR_OUTOFVIDEOMEMORY"},
    {DDERR_SURFACELOST, "DDERR_SURFACELOST"},
    {DDERR_NODIRECTDRAWHW, "DDERR_NODIRECTDRAWHW"},
    {DDERR_PRIMARYSURFACEALREADYEXISTS, "DDERR_PRIMARYSURFACEALREADYEXISTS"},
    {DDERR_CLIPPERISUSINGHWND, "DDERR_CLIPPERISUSINGHWND"},
    {DDERR_NOCLIPPERATTACHED, "DDERR_NOCLIPPERATTACHED"},
    {DDERR_NOHWND, "DDERR_NOHWND"},
    {DDERR_HWNDSUBCLASSED, "DDERR_HWNDSUBCLASSED"},
    {DDERR_HWNDALREADYSET, "DDERR_HWNDALREADYSET"},
    {DDERR_NOBLTHW, "DDERR_NOBLTHW"},
    {DDERR_EXCLUSIVEMODEALREADYSET, "DDERR_EXCLUSIVEMODEALREADYSET"},
    {DDERR_WRONGMODE, "DDERR_WRONGMODE"},
};

// "DDERR_NAME (0x88760233)", or "0x88760299" for a result not in the table.
void describe_result(HRESULT result, char* text, std::size_t size) {
    const auto code = static_cast<unsigned long>(static_cast<DWORD>(result));
    for (const ErrorName& error : error_names) {
        if (error.code == result) {
            std::snprintf(text, size, "%s (0x%08lX)", error.name, code);
            return;
        }
    }
    std::snprintf(text, size, "0x%08lX", code);
}

// Records the failed step with a DirectDraw result; returns 0 for the
// opening to return.
std::int32_t fail_with_result(const char* step, HRESULT result) {
    char described[64];
    describe_result(result, described, sizeof described);
    std::snprintf(failure_line, sizeof failure_line, "%s: %s", step, described);
    return 0;
}

// Records the failed step with the thread's last Win32 error.
std::int32_t fail_with_last_error(const char* step) {
    const auto error = static_cast<unsigned long>(GetLastError());
    std::snprintf(failure_line, sizeof failure_line, "%s: error %lu (0x%08lX)", step, error, error);
    return 0;
}

// Records the failed step with a text of its own.
std::int32_t fail_with_text(const char* step, const char* text) {
    std::snprintf(failure_line, sizeof failure_line, "%s: %s", step, text);
    return 0;
}

// The frame shown last, for the forms that show only what changed.
std::vector<std::uint32_t> shown_frame;

// Where a form other than a window goes: the window's rectangle (on the
// screen, or in its parent's client area for a preview) and, in its client
// area, the rectangle the picture is fitted and centred in.
struct FormArea {
    RECT window;
    RECT picture_area;
};

// The monitor the program starts on: its console window's, else the one
// under the cursor, else the primary one.
RECT starting_monitor() {
    HMONITOR monitor = nullptr;
    if (HWND console = GetConsoleWindow(); console != nullptr) {
        monitor = MonitorFromWindow(console, MONITOR_DEFAULTTOPRIMARY);
    } else {
        POINT cursor{0, 0};
        GetCursorPos(&cursor);
        monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY);
    }
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor == nullptr || GetMonitorInfoA(monitor, &info) == 0) {
        return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    return info.rcMonitor;
}

FormArea form_area(DisplayForm form, HWND parent) {
    FormArea area{};
    switch (form) {
        case DisplayForm::screen_saver: {
            // Every monitor; the primary one's top left corner is (0, 0) on
            // the screen, so it lies at minus the virtual screen's origin in
            // the window.
            const LONG left = GetSystemMetrics(SM_XVIRTUALSCREEN);
            const LONG top = GetSystemMetrics(SM_YVIRTUALSCREEN);
            area.window = RECT{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                               top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
            area.picture_area = RECT{-left, -top, GetSystemMetrics(SM_CXSCREEN) - left,
                                     GetSystemMetrics(SM_CYSCREEN) - top};
            break;
        }
        case DisplayForm::preview:
            GetClientRect(parent, &area.window);
            area.picture_area = area.window;
            break;
        default:
            area.window = starting_monitor();
            area.picture_area = RECT{0, 0, area.window.right - area.window.left,
                                     area.window.bottom - area.window.top};
            break;
    }
    return area;
}

// The picture's place in `area`: centred in the largest block of at most
// `most` (no limit when 0) that fits, or shrunk to fit (block 0).
RECT picture_place(const RECT& area, std::int32_t width, std::int32_t height, std::int32_t most,
                   std::int32_t& block) {
    const std::int32_t area_width = area.right - area.left;
    const std::int32_t area_height = area.bottom - area.top;
    const PictureFit fit = fit_picture(area_width, area_height, width, height, most);
    block = fit.block;
    if (block == 0) {
        const PictureRect shrunk = shrink_picture(area_width, area_height, width, height);
        return RECT{area.left + shrunk.x, area.top + shrunk.y, area.left + shrunk.x + shrunk.width,
                    area.top + shrunk.y + shrunk.height};
    }
    return RECT{area.left + fit.x, area.top + fit.y, area.left + fit.x + width * block,
                area.top + fit.y + height * block};
}

}  // namespace

const char* display_failure() {
    return failure_line;
}

const DisplayForms display_forms = {true, false, true};

std::int32_t display_block() {
    return display_state.scale;
}

ShownSize display_shown_size() {
    const DisplayState& state = display_state;
    if (state.scale > 0) {
        return {state.width * state.scale, state.height * state.scale};
    }
    return {state.place.right - state.place.left, state.place.bottom - state.place.top};
}

std::int32_t display_open(const char* title, std::int32_t width, std::int32_t height,
                          const DisplayPlace& place) {
    DisplayState& state = display_state;
    failure_line[0] = '\0';
    state.width = width;
    state.height = height;
    const std::int32_t scale = place.scale;
    const bool own_window = place.form == DisplayForm::window;
    state.form = place.form;
    state.holds_picture = false;
    state.mouse_seen = false;
    state.was_active = false;
    const std::int32_t least = own_window ? 1 : 0;
    if (scale < least || scale > max_display_scale) {
        char text[64];
        std::snprintf(text, sizeof text, "%d is not between %d and %d", static_cast<int>(scale),
                      static_cast<int>(least), static_cast<int>(max_display_scale));
        return fail_with_text("scale", text);
    }
    if (!own_window && (width <= 0 || height <= 0)) {
        return fail_with_text("picture size", "the picture has no pixels");
    }
    state.parent = nullptr;
    if (place.form == DisplayForm::preview) {
        state.parent = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(place.window));
        if (IsWindow(state.parent) == 0) {
            char text[64];
            std::snprintf(text, sizeof text, "0x%llX is not a window",
                          static_cast<unsigned long long>(place.window));
            return fail_with_text("parent window", text);
        }
    }
    state.scale = scale;
    // The window's client area and the off-screen surface: every picture
    // pixel a scale x scale block, made by the conversion (display_update),
    // so that the blit copies one to one and never filters.
    std::int32_t shown_width = width * scale;
    std::int32_t shown_height = height * scale;
    // Any other form: the picture's blocks (or the picture shrunk) in an
    // area of the screen's size or the parent's.
    FormArea area{};
    if (!own_window) {
        area = form_area(place.form, state.parent);
        state.place = picture_place(area.picture_area, width, height, scale, state.scale);
        shown_width = state.place.right - state.place.left;
        shown_height = state.place.bottom - state.place.top;
        if (place.form == DisplayForm::preview) {
            // The whole client area, black included (display_present.cpp).
            shown_width = area.window.right - area.window.left;
            shown_height = area.window.bottom - area.window.top;
        }
        shown_frame.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
        state.shown = shown_frame.data();
    }

    state.ddraw_module = LoadLibraryA("ddraw.dll");
    if (state.ddraw_module == nullptr) {
        if (GetLastError() == ERROR_MOD_NOT_FOUND) {
            return fail_with_text("ddraw.dll", "not found");
        }
        return fail_with_last_error("ddraw.dll");
    }
    FARPROC entry = GetProcAddress(state.ddraw_module, "DirectDrawCreate");
    if (entry == nullptr) {
        return fail_with_text("ddraw.dll", "no DirectDrawCreate");
    }
    // Through void(*)(): the generic function pointer type that converts to
    // any other without a cast-function-type warning.
    const auto direct_draw_create =
        reinterpret_cast<DirectDrawCreateEntry>(reinterpret_cast<void (*)()>(entry));
    HRESULT result = direct_draw_create(nullptr, &state.ddraw, nullptr);
    if (FAILED(result)) {
        return fail_with_result("DirectDrawCreate", result);
    }

    WNDCLASSA& window_class = state.window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = window_proc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = nullptr;
    window_class.hIcon = nullptr;
    // No cursor over full screen and a screen saver (WM_SETCURSOR hides
    // it there too).
    const bool hides_cursor =
        place.form == DisplayForm::full_screen || place.form == DisplayForm::screen_saver;
    window_class.hCursor = hides_cursor ? nullptr : LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = nullptr;
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = title;
    if (RegisterClassA(&window_class) == 0) {
        return fail_with_last_error("window class");
    }

    if (own_window) {
        RECT outer{0, 0, shown_width, shown_height};
        AdjustWindowRect(&outer, display_window_style, FALSE);
        const std::int32_t outer_width = outer.right - outer.left;
        const std::int32_t outer_height = outer.bottom - outer.top;
        // Centred; an arithmetic shift halves towards minus infinity, also
        // when the window is larger than the screen.
        const std::int32_t x = (GetSystemMetrics(SM_CXSCREEN) - outer_width) >> 1;
        const std::int32_t y = (GetSystemMetrics(SM_CYSCREEN) - outer_height) >> 1;
        state.window = CreateWindowExA(0, title, title, display_window_style, x, y, outer_width,
                                       outer_height, nullptr, nullptr, nullptr, nullptr);
    } else {
        const bool preview = place.form == DisplayForm::preview;
        const DWORD style = preview ? WS_CHILD | WS_VISIBLE : WS_POPUP;
        const DWORD extended_style = place.form == DisplayForm::screen_saver ? WS_EX_TOPMOST : 0;
        const RECT& where = area.window;
        state.window = CreateWindowExA(extended_style, title, title, style, where.left, where.top,
                                       where.right - where.left, where.bottom - where.top,
                                       state.parent, nullptr, nullptr, nullptr);
    }
    if (state.window == nullptr) {
        return fail_with_last_error("window");
    }
    if (place.form != DisplayForm::preview) {
        ShowWindow(state.window, SW_SHOWNORMAL);
    }

    // A preview is drawn with GDI (display_present.cpp): DirectDraw is not
    // bound to its child window, which Wine would then draw through OpenGL
    // into an X window of its own that it never shows.
    result = state.ddraw->SetCooperativeLevel(
        place.form == DisplayForm::preview ? nullptr : state.window, DDSCL_NORMAL);
    if (FAILED(result)) {
        return fail_with_result("cooperative level", result);
    }

    // One description serves both surfaces.
    DDSURFACEDESC description{};
    description.dwSize = sizeof(DDSURFACEDESC);
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY;
    result = state.ddraw->CreateSurface(&description, &state.primary_surface, nullptr);
    if (result == DDERR_NODIRECTDRAWHW) {
        // A display without DirectDraw hardware (a basic or remote display
        // driver, a virtual machine) refuses a primary surface in video
        // memory but gives one wherever it keeps the screen: ask once more
        // without the placement.
        description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        const HRESULT retried =
            state.ddraw->CreateSurface(&description, &state.primary_surface, nullptr);
        if (FAILED(retried)) {
            char first[64];
            char second[64];
            describe_result(result, first, sizeof first);
            describe_result(retried, second, sizeof second);
            std::snprintf(failure_line, sizeof failure_line,
                          "primary surface: %s; without video memory: %s", first, second);
            return 0;
        }
        result = retried;
    }
    if (FAILED(result)) {
        return fail_with_result("primary surface", result);
    }
    // No pixel format and no memory placement: the off-screen surface takes
    // the display's format, which the converter is chosen for.
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    description.dwWidth = static_cast<DWORD>(shown_width);
    description.dwHeight = static_cast<DWORD>(shown_height);
    result = state.ddraw->CreateSurface(&description, &state.offscreen_surface, nullptr);
    if (FAILED(result)) {
        return fail_with_result("off-screen surface", result);
    }

    result = state.ddraw->CreateClipper(0, &state.clipper, nullptr);
    if (FAILED(result)) {
        return fail_with_result("clipper", result);
    }
    result = state.clipper->SetHWnd(0, state.window);
    if (FAILED(result)) {
        return fail_with_result("clipper window", result);
    }
    result = state.primary_surface->SetClipper(state.clipper);
    if (FAILED(result)) {
        return fail_with_result("clipper attachment", result);
    }

    DDPIXELFORMAT format{};
    format.dwSize = sizeof(DDPIXELFORMAT);
    result = state.primary_surface->GetPixelFormat(&format);
    if (FAILED(result)) {
        return fail_with_result("desktop format", result);
    }
    if ((format.dwFlags & DDPF_RGB) == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "%lu bits per pixel is not supported (not RGB)",
                      static_cast<unsigned long>(format.dwRGBBitCount));
        return fail_with_text("desktop format", text);
    }
    state.converter = select_converter(format.dwRGBBitCount, format.dwRBitMask, format.dwGBitMask,
                                       format.dwBBitMask);
    if (state.converter == nullptr) {
        char text[128];
        const DWORD bits = format.dwRGBBitCount;
        if (bits != 16 && bits != 24 && bits != 32) {
            std::snprintf(text, sizeof text, "%lu bits per pixel is not supported",
                          static_cast<unsigned long>(bits));
            return fail_with_text("desktop format", text);
        }
        std::snprintf(text, sizeof text,
                      "%lu bits per pixel with masks R 0x%08lX G 0x%08lX B 0x%08lX is not "
                      "supported",
                      static_cast<unsigned long>(format.dwRGBBitCount),
                      static_cast<unsigned long>(format.dwRBitMask),
                      static_cast<unsigned long>(format.dwGBitMask),
                      static_cast<unsigned long>(format.dwBBitMask));
        return fail_with_text("desktop format", text);
    }
    state.bytes_per_pixel = static_cast<std::int32_t>(format.dwRGBBitCount / 8);

    if (own_window || place.form == DisplayForm::full_screen) {
        // Screen saver off for the running system only (no profile write, no
        // broadcast); the user's setting is kept for display_close. A screen
        // saver and its preview are the screen saver, and leave it be.
        BOOL active = FALSE;
        state.screen_saver_was_active =
            SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) != 0 ? active : TRUE;
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, 0);
        state.screen_saver_switched_off = true;
    }
    if (hides_cursor) {
        SetCursor(nullptr);
    }
    // A window of its own: the window Windows activated, which is the
    // display's. The other forms have their own window, active or not.
    state.caption_window = own_window ? GetActiveWindow() : state.window;
    return 1;
}

void display_close() {
    DisplayState& state = display_state;
    state.closing = true;
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
    state.caption_window = nullptr;
    if (state.ddraw_module != nullptr) {
        FreeLibrary(state.ddraw_module);
        state.ddraw_module = nullptr;
    }
    if (state.screen_saver_switched_off) {
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, state.screen_saver_was_active ? 1U : 0U,
                              nullptr, 0);
        state.screen_saver_switched_off = false;
    }
    state.holds_picture = false;
    state.closing = false;
}

void close_and_end() {
    display_close();
    end_process(0);
}

}  // namespace quenlixor
