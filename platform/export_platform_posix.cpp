// julia-frames' platform services on POSIX systems.
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <thread>

#include "platform/export_platform.h"

namespace quenlixor {
namespace {

std::atomic<int> signal_received{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void record_signal(int number) {
    signal_received.store(number);
}

}  // namespace

void catch_export_signals() {
    struct sigaction action {};
    action.sa_handler = record_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int stop_signal() {
    return signal_received.load();
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
