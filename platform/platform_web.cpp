// The platform seam in WebAssembly (emscripten), for the page and for
// julia-frames under Node: the host's clock, a key queue the web display
// fills from the page's key presses, sleeping as a real return to the
// browser, and the process as emscripten's C library gives it.
//
// The program's loop blocks; it runs under Asyncify, so that emscripten_sleep
// unwinds the program's stack to the browser and rewinds it when the time is
// up.
#include "platform/platform.h"

#include <emscripten.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace quenlixor {

namespace {

// A code pushed into the key queue (push_key); -1 when none waits.
int pushed_key = -1;

// performance.now(): milliseconds since the page started, with fractions.
double now_ms() {
    return emscripten_get_now();
}

}  // namespace

std::uint32_t tick_count_ms() {
    // Reduced modulo 2^32, as a 32-bit millisecond tick count is.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now_ms()));
}

std::uint64_t clock_us() {
    return static_cast<std::uint64_t>(now_ms() * 1000.0);
}

void sleep_us(std::uint32_t microseconds) {
    // A timer in the browser counts whole milliseconds; the pacer's due
    // times make up for the rounding.
    emscripten_sleep((microseconds + 500U) / 1000U);
}

bool key_waiting() {
    return pushed_key >= 0;
}

int read_key() {
    // A page has no console to wait on: without a pushed key there is none.
    const int code = pushed_key;
    pushed_key = -1;
    return code;
}

void push_key(int code) {
    if (pushed_key < 0) {
        pushed_key = code & 0xFF;
    }
}

void catch_stop_requests(StopRequests /*how*/) {
    // A page receives no signals; closing the tab simply ends it.
}

int stop_signal() {
    return 0;
}

void number_text(double value, char* buffer) {
    std::snprintf(buffer, number_text_capacity, "%.8g", value);
}

void end_process(int status) {
    std::exit(status);
}

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) != 0;
}

int processors_available() {
    // navigator.hardwareConcurrency (or Node's count) where the module has
    // threads; 1 where it has none.
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<int>(count) : 1;
}

int process_id() {
    return static_cast<int>(getpid());
}

void use_binary_stdout() {}

}  // namespace quenlixor
