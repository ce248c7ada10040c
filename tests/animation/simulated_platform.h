// A simulated platform for the driver's tests, linked in place of the real
// one (platform/platform.h): clocks that move only when a test moves them, a
// scripted console key queue, the number text of either C runtime, and a log
// of the calls whose order matters.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace quenlixor {

struct SimulatedPlatform {
    // tick_count_ms reads `tick_ms`, then moves it on by `tick_step`.
    std::uint32_t tick_ms;
    std::uint32_t tick_step;
    int tick_reads;
    // clock_us reads `now_us`; sleep_us records the sleep and moves `now_us`
    // on by it plus `oversleep_us`, less `undersleep_us` (a timer that wakes
    // early).
    std::uint64_t now_us;
    int clock_reads;
    std::vector<std::uint32_t> sleeps;
    std::uint32_t oversleep_us;
    std::uint32_t undersleep_us;
    // The console key queue: key_waiting finds nothing for the first
    // `polls_before_key` polls; read_key on an empty queue counts and
    // gives -1.
    std::deque<int> key_codes;
    int polls_before_key;
    int reads_of_empty;
    // stop_signal answers 0 for the first `polls_before_stop` calls, then
    // `stop_number`.
    int polls_before_stop;
    int stop_number;
    // number_text as Windows' _gcvt writes whole numbers ("57.") instead of
    // as POSIX snprintf ("57").
    bool number_text_with_point;
    // read_key, catch_stop_requests and end_process, in order, with the
    // calls a test adds of its own stand-ins.
    std::vector<std::string> calls;
};

// Reset by the test as it needs.
extern SimulatedPlatform simulated;

// Thrown by end_process, so that the program's end returns to the test.
struct ProcessEnded {
    int status;
};

}  // namespace quenlixor
