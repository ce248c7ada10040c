// The platform seam on Windows: each operation is one Win32 or C runtime call.
#include "platform/platform.h"

#include <conio.h>
#include <float.h>
#include <stdlib.h>
#include <windows.h>

namespace quenlixor {

std::uint32_t tick_count_ms() {
    return GetTickCount();
}

bool key_waiting() {
    return _kbhit() != 0;
}

int read_key() {
    return _getch();
}

void catch_stop_requests() {}

void* active_window() {
    return GetActiveWindow();
}

void set_caption(void* window, const char* text) {
    SetWindowTextA(static_cast<HWND>(window), text);
}

void use_extended_precision() {
    _controlfp(0, _MCW_PC);
}

void number_text(double value, char* buffer) {
    _gcvt(value, 8, buffer);
}

void end_process(int status) {
    exit(status);
}

}  // namespace quenlixor
