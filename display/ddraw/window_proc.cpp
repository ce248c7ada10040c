// The display window's procedure, for each form.
#include "display/ddraw/ddraw_display.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

// A screen saver's input: a key, a button, the mouse moved more than
// saver_mouse_slack pixels from where its first move (the one Windows makes
// up as the window appears) found it, or the activation it had lost: each
// ends the process. True when `message` is one of those.
bool ends_screen_saver(UINT message, WPARAM wParam, LPARAM lParam) {
    DisplayState& state = display_state;
    switch (message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_XBUTTONDOWN:
            return true;
        case WM_MOUSEMOVE: {
            const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (!state.mouse_seen) {
                state.mouse_seen = true;
                state.mouse_start = at;
                return false;
            }
            const LONG dx = at.x - state.mouse_start.x;
            const LONG dy = at.y - state.mouse_start.y;
            return dx > saver_mouse_slack || dx < -saver_mouse_slack || dy > saver_mouse_slack ||
                   dy < -saver_mouse_slack;
        }
        case WM_ACTIVATEAPP:
            if (wParam != FALSE) {
                state.was_active = true;
                return false;
            }
            return state.was_active;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) {
                state.was_active = true;
                return false;
            }
            return state.was_active;
        default:
            return false;
    }
}

}  // namespace

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const DisplayForm form = display_state.form;
    if (message == WM_PAINT) {
        if (form != DisplayForm::window) {
            // Black around the picture, the picture as it was last shown.
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            // A preview's surface holds its black too.
            if (dc != nullptr && (form != DisplayForm::preview || !display_state.holds_picture)) {
                paint_black_around(dc);
            }
            EndPaint(window, &paint);
            paint_window();
            return 0;
        }
        paint_window();
        // Validates the update region, so no further paint comes for it.
        return DefWindowProcA(window, WM_PAINT, wParam, lParam);
    }
    if (message == WM_CLOSE) {
        close_and_end();
    }
    // Closing deactivates the window: that ends nothing more.
    if (form == DisplayForm::screen_saver && !display_state.closing &&
        ends_screen_saver(message, wParam, lParam)) {
        close_and_end();
    }
    if (message == WM_DESTROY && form == DisplayForm::preview && !display_state.closing) {
        // Destroyed with its parent.
        close_and_end();
    }
    if (message == WM_SETCURSOR &&
        (form == DisplayForm::full_screen || form == DisplayForm::screen_saver) &&
        LOWORD(lParam) == HTCLIENT) {
        SetCursor(nullptr);
        return TRUE;
    }
    if (message == WM_KEYDOWN && form != DisplayForm::preview) {
        // The virtual-key code goes to the console key queue, where the key
        // poll finds it. The queue holds one code; a push while one is
        // waiting is refused, which is fine.
        push_key(window_key_code(static_cast<std::uint32_t>(wParam)));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace quenlixor
