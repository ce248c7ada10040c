// julia-frames' platform services on Windows.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/export_platform.h"

namespace quenlixor {
namespace {

std::atomic<int> signal_received{0};

// Runs on a thread of its own. For Ctrl+C and Ctrl+Break returning TRUE
// keeps the process alive; on closing the console, logoff and shutdown
// Windows ends the process when the handler returns, so it waits there
// (Windows allows about five seconds) while the export removes its
// temporary files and ends the process itself.
BOOL WINAPI record_console_event(DWORD event) {
    signal_received.store(event == CTRL_C_EVENT ? 2 : 15);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        Sleep(4000);
    }
    return TRUE;
}

}  // namespace

void catch_export_signals() {
    SetConsoleCtrlHandler(record_console_event, TRUE);
}

int stop_signal() {
    return signal_received.load();
}

bool stderr_is_terminal() {
    return _isatty(_fileno(stderr)) != 0;
}

int processors_available() {
    DWORD_PTR process_mask = 0;
    DWORD_PTR system_mask = 0;
    int count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0) {
        for (; process_mask != 0; process_mask &= process_mask - 1) {
            ++count;
        }
    }
    return count > 0 ? count : 1;
}

int process_id() {
    return _getpid();
}

void use_binary_stdout() {
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace quenlixor
