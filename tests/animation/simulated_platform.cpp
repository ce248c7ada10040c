// The simulated platform: the operations of platform/platform.h the driver
// and the program's entry point use, over the record a test scripts.
#include "tests/animation/simulated_platform.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace quenlixor {

SimulatedPlatform simulated{};

std::uint32_t tick_count_ms() {
    const std::uint32_t value = simulated.tick_ms;
    simulated.tick_ms += simulated.tick_step;
    ++simulated.tick_reads;
    return value;
}

std::uint64_t clock_us() {
    ++simulated.clock_reads;
    return simulated.now_us;
}

void sleep_us(std::uint32_t microseconds) {
    simulated.sleeps.push_back(microseconds);
    simulated.now_us += microseconds + simulated.oversleep_us - simulated.undersleep_us;
}

bool key_waiting() {
    if (simulated.polls_before_key > 0) {
        --simulated.polls_before_key;
        return false;
    }
    return !simulated.key_codes.empty();
}

int read_key() {
    simulated.calls.emplace_back("read_key");
    if (simulated.key_codes.empty()) {
        ++simulated.reads_of_empty;
        return -1;
    }
    const int code = simulated.key_codes.front();
    simulated.key_codes.pop_front();
    return code;
}

int stop_signal() {
    if (simulated.polls_before_stop > 0) {
        --simulated.polls_before_stop;
        return 0;
    }
    return simulated.stop_number;
}

void number_text(double value, char* buffer) {
    std::snprintf(buffer, number_text_capacity,
                  simulated.number_text_with_point &&
                          value == static_cast<double>(static_cast<long long>(value))
                      ? "%.8g."
                      : "%.8g",
                  value);
}

void catch_stop_requests(StopRequests how) {
    simulated.calls.emplace_back(how == StopRequests::end_waits ? "catch_stop_requests"
                                                                : "catch_stop_requests(other)");
}

void end_process(int status) {
    simulated.calls.push_back("end_process(" + std::to_string(status) + ")");
    throw ProcessEnded{status};
}

}  // namespace quenlixor
