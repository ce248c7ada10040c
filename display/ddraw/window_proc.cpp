// The display window's procedure.
#include "display/ddraw/ddraw_display.h"
#include "platform/platform.h"

namespace quenlixor {

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        paint_window();
        // Validates the update region, so no further paint comes for it.
        return DefWindowProcA(window, WM_PAINT, wParam, lParam);
    }
    if (message == WM_CLOSE) {
        display_close();
        end_process(0);
    }
    if (message == WM_KEYDOWN) {
        // The virtual-key code goes to the console key queue, where the key
        // poll finds it. The queue holds one code; a push while one is
        // waiting is refused, which is fine.
        push_key(window_key_code(static_cast<std::uint32_t>(wParam)));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace quenlixor
