// A simulated platform for the driver's tests, linked in place of the real
// one (platform/platform.h): clocks that move only when a test moves them, a
// scripted console key queue, and the number text of either C runtime.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace quenlixor {

struct SimulatedPlatform {
    // tick_count_ms reads `tick_ms`, then moves it on by `tick_step`.
    std::uint32_t tick_ms;
    std::uint32_t tick_step;
    int tick_reads;
    // clock_us reads `now_us`; sleep_us records the sleep and moves `now_us`
    // on by it plus `oversleep_us`.
    std::uint64_t now_us;
    int clock_reads;
    std::vector<std::uint32_t> sleeps;
    std::uint32_t oversleep_us;
    // The console key queue; read_key on an empty queue counts and gives -1.
    std::deque<int> key_codes;
    int reads_of_empty;
    // number_text as Windows' _gcvt writes whole numbers ("57.") instead of
    // as POSIX snprintf ("57").
    bool number_text_with_point;
};

// Reset by the test as it needs.
extern SimulatedPlatform simulated;

}  // namespace quenlixor
