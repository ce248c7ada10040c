// The platform seam on Windows: each operation is one Win32 or C runtime call.
#include "platform/platform.h"

#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

namespace quenlixor {
namespace {

// Set by the console's control handler, which Windows runs on a thread of
// its own: the POSIX number of the signal the event stands for.
std::atomic<int> signal_received{0};

// How long the handler holds a closing console open: Windows ends the
// process when the handler returns, and kills it about 5 s after a close
// event anyway. The program's thread ends the process itself long before.
constexpr DWORD stop_grace_ms = 4500;

BOOL WINAPI on_console_control(DWORD event) {
    signal_received.store(event == CTRL_C_EVENT ? 2 : 15);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        return TRUE;
    }
    // Close, logoff, shutdown: returning would end the process now, before
    // the program has seen the request and cleaned up.
    Sleep(stop_grace_ms);
    return TRUE;
}

bool stop_was_requested() {
    return signal_received.load() != 0;
}

}  // namespace

std::uint32_t tick_count_ms() {
    return GetTickCount();
}

namespace {

// Ticks of QueryPerformanceCounter per second; fixed at boot.
std::uint64_t counter_frequency() {
    static const std::uint64_t frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<std::uint64_t>(value.QuadPart);
    }();
    return frequency;
}

void end_fine_timer() {
    timeEndPeriod(1);
}

}  // namespace

std::uint64_t clock_us() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const auto ticks = static_cast<std::uint64_t>(now.QuadPart);
    const std::uint64_t frequency = counter_frequency();
    return ticks / frequency * 1000000U + ticks % frequency * 1000000U / frequency;
}

void sleep_us(std::uint32_t microseconds) {
    // The system timer ticks every 15.6 ms unless a program asks for finer
    // ticks; 1 ms makes Sleep(1) last about 1 ms.
    static const bool fine_timer = [] {
        const bool set = timeBeginPeriod(1) == TIMERR_NOERROR;
        if (set) {
            atexit(end_fine_timer);
        }
        return set;
    }();
    // Sleep may last up to a tick longer than asked: it sleeps a tick less,
    // and the rest passes in Sleep(0), which gives up the time slice.
    const std::uint64_t end = clock_us() + microseconds;
    const std::uint32_t tick_ms = fine_timer ? 1U : 16U;
    if (microseconds / 1000U > tick_ms) {
        Sleep(microseconds / 1000U - tick_ms);
    }
    while (clock_us() < end) {
        Sleep(0);
    }
}

bool key_waiting() {
    return stop_was_requested() || _kbhit() != 0;
}

int read_key() {
    return stop_was_requested() ? stop_key_code : _getch();
}

void push_key(int code) {
    _ungetch(code);
}

// Windows has neither interrupted calls nor SIGPIPE: both ways are one.
void catch_stop_requests(StopRequests /*how*/) {
    SetConsoleCtrlHandler(on_console_control, TRUE);
}

int stop_signal() {
    return signal_received.load();
}

void number_text(double value, char* buffer) {
    _gcvt(value, 8, buffer);
}

void end_process(int status) {
    exit(status);
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
