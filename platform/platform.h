// The operating-system services both programs use, behind one seam: clocks
// and sleeping, the console's key queue, stop requests, number text and the
// process (its end, its processors, its standard streams). Paths, and the
// files they name, are paths.h's.
//
// Each platform has one implementation file, platform_<name>.cpp, chosen
// when the program is linked (QUENLIXOR_PLATFORM): platform_win32.cpp maps
// every operation onto the Win32 call or C runtime routine named beside it;
// platform_posix.cpp gives the closest equivalent on a POSIX system;
// platform_web.cpp serves WebAssembly (the page, where a sleep yields to the
// browser and the canvas display fills the key queue, and julia-frames
// under Node).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quenlixor {

// Milliseconds since some fixed start, as an unsigned 32-bit count that wraps
// to 0 after 2^32 ms (about 49.7 days). Win32: GetTickCount.
std::uint32_t tick_count_ms();

// Microseconds since some fixed start, steadily increasing, 64 bits.
// Win32: QueryPerformanceCounter over QueryPerformanceFrequency. POSIX:
// clock_gettime(CLOCK_MONOTONIC).
std::uint64_t clock_us();

// Sleeps for about `microseconds`, to within a fraction of a millisecond
// where the system allows. Win32: the timer period set to 1 ms on first use
// (timeBeginPeriod, undone by timeEndPeriod at exit), Sleep for the whole
// milliseconds but one, then Sleep(0) until QueryPerformanceCounter says the
// time is up. POSIX: nanosleep (macOS has no clock_nanosleep); a stop
// request caught with StopRequests::end_waits cuts it short.
void sleep_us(std::uint32_t microseconds);

// True when a key code waits in the console's key queue. Win32: _kbhit.
// POSIX: a byte is ready on standard input, when that is a terminal; never
// otherwise.
bool key_waiting();

// Takes the next key code from the console's key queue, waiting for one if
// the queue is empty. Win32: _getch. POSIX: one byte read from a terminal on
// standard input in non-canonical mode without echo; -1 when standard input
// is not a terminal or has ended.
int read_key();

// Pushes `code` back into the console's key queue: key_waiting() then reports
// a key and read_key() returns `code` before anything typed. There is room
// for one code; a push while one waits is refused. Win32: _ungetch. POSIX:
// one slot in front of the terminal.
void push_key(int code);

// A key code of 0 or 0xE0 starts a two-code key (the Windows console queues
// the function and arrow keys so): the code after it belongs to the same
// key.
constexpr bool starts_two_code_key(int code) {
    return code == 0 || code == 0xE0;
}

// The code a key pressed in a display's window leaves in the key queue: the
// low byte of the window system's key code, except that one that would
// start a two-code key, with no second code to follow it, becomes 0xFF.
constexpr int window_key_code(std::uint32_t key) {
    const auto code = static_cast<int>(key & 0xFFU);
    return starts_two_code_key(code) ? 0xFF : code;
}

// --- stop requests ---------------------------------------------------------

// The code read_key() returns for a request to stop (see catch_stop_requests).
inline constexpr int stop_key_code = 0x03;

// What a stop request does to the waits and the I/O under way.
enum class StopRequests {
    // The program's: a sleep or a key read under way ends at once (POSIX:
    // EINTR), so that the frame loop sees the request as a key.
    end_waits,
    // The exporter's: reads and writes go on after the request (POSIX:
    // SA_RESTART), and a write to a closed pipe fails with EPIPE instead of
    // ending the process, so that the run stops between frames and removes
    // its temporary files itself.
    restart_io,
};

// From now on the user's requests to end the program (Ctrl+C, Ctrl+Break and
// closing the console window, logoff and shutdown on Windows; SIGINT and
// SIGTERM on POSIX) no longer end it at once: once one has arrived,
// stop_signal() names it, key_waiting() reports a key and read_key() returns
// stop_key_code, so that the program ends itself after cleaning up. Windows
// ends a process whose console closes when the handler returns, and kills it
// about 5 s after a close event anyway: the handler holds such an event for
// 4.5 s, long enough for the program to end itself first.
void catch_stop_requests(StopRequests how = StopRequests::end_waits);

// The number of the signal that asked to stop (the POSIX numbers: 2 for an
// interrupt, Ctrl+C; 15 for a termination, every other console event on
// Windows), or 0 while none has.
int stop_signal();

// Room for any text number_text writes: sign, 8 digits, point, exponent.
inline constexpr std::size_t number_text_capacity = 32;

// Writes `value` with 8 significant digits into `buffer`, which holds at
// least number_text_capacity bytes, zero-terminated. Win32: _gcvt(value, 8,
// buffer), which leaves a point after the digits of a whole number ("57.").
// POSIX: snprintf with "%.8g" ("57"). Either way a whole number of up to
// 8 digits reads as its plain decimal digits once a trailing point is dropped.
void number_text(double value, char* buffer);

// --- the process -----------------------------------------------------------

// Ends the process with `status` the way the C runtime's exit does (atexit
// handlers run, streams are flushed).
[[noreturn]] void end_process(int status);

// Whether standard error is a terminal.
bool stderr_is_terminal();

// The processors this process may run on (at least 1).
int processors_available();

// This process's identifier, for names of temporary files.
int process_id();

// Makes standard output carry bytes unchanged (Windows translates newlines
// in text mode; POSIX has nothing to do).
void use_binary_stdout();

}  // namespace quenlixor
