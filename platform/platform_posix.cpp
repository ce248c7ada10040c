// The platform seam on POSIX systems: a monotonic clock, a terminal key queue
// on standard input, no windows, the x87 control word where there is one.
#include "platform/platform.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace quenlixor {

namespace {

// Terminal settings of standard input before it was switched to reading
// single key presses, restored when the process ends.
struct KeyboardState {
    bool raw;
    termios saved;
};

KeyboardState keyboard_state{};

void restore_terminal() {
    if (keyboard_state.raw) {
        tcsetattr(STDIN_FILENO, TCSANOW, &keyboard_state.saved);
        keyboard_state.raw = false;
    }
}

// Switches a terminal on standard input to non-canonical mode without echo,
// once, so that each key press is a byte to read at once. False when standard
// input is no terminal.
bool keyboard_ready() {
    if (keyboard_state.raw) {
        return true;
    }
    if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &keyboard_state.saved) != 0) {
        return false;
    }
    termios raw = keyboard_state.saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        return false;
    }
    static bool restore_registered = false;
    if (!restore_registered) {
        restore_registered = true;
        std::atexit(restore_terminal);
    }
    keyboard_state.raw = true;
    return true;
}

}  // namespace

std::uint32_t tick_count_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Reduced modulo 2^32, as a 32-bit millisecond tick count is.
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000U +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000U;
    return static_cast<std::uint32_t>(ms);
}

bool key_waiting() {
    if (!keyboard_ready()) {
        return false;
    }
    pollfd input{STDIN_FILENO, POLLIN, 0};
    return poll(&input, 1, 0) == 1 && (input.revents & POLLIN) != 0;
}

int read_key() {
    if (!keyboard_ready()) {
        return -1;
    }
    unsigned char code = 0;
    if (read(STDIN_FILENO, &code, 1) != 1) {
        return -1;
    }
    return code;
}

void catch_stop_requests() {}

void* active_window() {
    return nullptr;
}

void set_caption(void* /*window*/, const char* /*text*/) {}

void use_extended_precision() {
#if defined(__i386__) || defined(__x86_64__)
    std::uint16_t control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control = static_cast<std::uint16_t>(control | 0x0300U);  // precision control 11: 64 bits
    __asm__ volatile("fldcw %0" : : "m"(control));
#endif
}

void number_text(double value, char* buffer) {
    std::snprintf(buffer, number_text_capacity, "%.8g", value);
}

void end_process(int status) {
    std::exit(status);
}

}  // namespace quenlixor
