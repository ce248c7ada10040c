// The platform seam on Windows: each operation is one Win32 or C runtime call.
#include "platform/platform.h"

#include <conio.h>
#include <float.h>
#include <stdlib.h>
#include <windows.h>

namespace quenlixor {
namespace {

// Set by the console's control handler, which Windows runs on a thread of
// its own; read by the key poll on the program's thread.
volatile LONG stop_requested = 0;

// How long the handler holds a closing console open: Windows ends the
// process when the handler returns, and kills it about 5 s after a close
// event anyway. The program's thread ends the process itself long before.
constexpr DWORD stop_grace_ms = 4500;

BOOL WINAPI on_console_control(DWORD event) {
    InterlockedExchange(&stop_requested, 1);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        return TRUE;
    }
    // Close, logoff, shutdown: returning would end the process now, before
    // the frame loop has seen the request and closed the display.
    Sleep(stop_grace_ms);
    return TRUE;
}

bool stop_was_requested() {
    return InterlockedCompareExchange(&stop_requested, 0, 0) != 0;
}

}  // namespace

std::uint32_t tick_count_ms() {
    return GetTickCount();
}

bool key_waiting() {
    return stop_was_requested() || _kbhit() != 0;
}

int read_key() {
    return stop_was_requested() ? stop_key_code : _getch();
}

void catch_stop_requests() {
    SetConsoleCtrlHandler(on_console_control, TRUE);
}

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
