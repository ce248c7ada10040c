// The platform seam on POSIX systems: a monotonic clock, a terminal key queue
// on standard input, SIGINT and SIGTERM as stop requests, and the process's
// processors and streams.
#include "platform/platform.h"

#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace quenlixor {

namespace {

// Terminal settings of standard input before it was switched to reading
// single key presses, restored when the process ends.
struct KeyboardState {
    bool raw;
    termios saved;
};

KeyboardState keyboard_state{};

// Set by the signal handler of catch_stop_requests: the signal's number.
std::atomic<int> signal_received{0};
static_assert(std::atomic<int>::is_always_lock_free);

// A code pushed back into the key queue (push_key), read before the
// terminal; -1 when none waits.
int pushed_key = -1;

extern "C" void note_stop_request(int number) {
    signal_received.store(number);
}

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

std::uint64_t clock_us() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000U +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000U;
}

void sleep_us(std::uint32_t microseconds) {
    const timespec span{static_cast<time_t>(microseconds / 1000000U),
                        static_cast<long>(microseconds % 1000000U) * 1000L};
    // A signal (EINTR) ends the sleep early: a stop request is to be seen at
    // once, and a frame loop sleeping too little merely paces itself again.
    nanosleep(&span, nullptr);
}

bool key_waiting() {
    if (stop_signal() != 0 || pushed_key >= 0) {
        return true;
    }
    if (!keyboard_ready()) {
        return false;
    }
    pollfd input{STDIN_FILENO, POLLIN, 0};
    return poll(&input, 1, 0) == 1 && (input.revents & POLLIN) != 0;
}

int read_key() {
    if (stop_signal() != 0) {
        return stop_key_code;
    }
    if (pushed_key >= 0) {
        const int code = pushed_key;
        pushed_key = -1;
        return code;
    }
    if (!keyboard_ready()) {
        return -1;
    }
    unsigned char code = 0;
    for (;;) {
        const ssize_t count = read(STDIN_FILENO, &code, 1);
        if (count == 1) {
            return code;
        }
        if (stop_signal() != 0) {
            return stop_key_code;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        return -1;
    }
}

void catch_stop_requests(StopRequests how) {
    struct sigaction action {};
    action.sa_handler = note_stop_request;
    sigemptyset(&action.sa_mask);
    // Without SA_RESTART a blocking read or sleep returns at once.
    action.sa_flags = how == StopRequests::restart_io ? SA_RESTART : 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    if (how == StopRequests::restart_io) {
        std::signal(SIGPIPE, SIG_IGN);
    }
}

int stop_signal() {
    return signal_received.load();
}

void push_key(int code) {
    if (pushed_key < 0) {
        pushed_key = code & 0xFF;
    }
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
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return CPU_COUNT(&set);
    }
#endif
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : static_cast<int>(count);
}

int process_id() {
    return static_cast<int>(getpid());
}

void use_binary_stdout() {}

}  // namespace quenlixor
