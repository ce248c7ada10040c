// The platform seam, on the platform itself: clock, number text and process
// end. Platform-specific cases are in
// platform_win32_tests.cpp and platform_posix_tests.cpp.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace quenlixor {
namespace {

TEST(TickCountTest, AdvancesInMillisecondsWithTheSteadyClock) {
    // Each tick reading is bracketed by two steady readings, so that however
    // long this thread waits between any two of them, the ticks that passed
    // lie between the inner and the outer steady spans.
    using std::chrono::steady_clock;
    const auto outer_before = steady_clock::now();
    const std::uint32_t ticks_before = tick_count_ms();
    const auto inner_before = steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto inner_after = steady_clock::now();
    const std::uint32_t ticks_after = tick_count_ms();
    const auto outer_after = steady_clock::now();
    const std::uint32_t ticks = ticks_after - ticks_before;  // wrap-safe
    const auto ms = [](steady_clock::duration span) {
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(span).count());
    };
    // The tick count may step in coarse increments (about 16 ms on some
    // systems) but follows real time.
    EXPECT_GE(ticks + 40, ms(inner_after - inner_before));
    EXPECT_LE(ticks, ms(outer_after - outer_before) + 40);
    EXPECT_GE(ticks, 250U);
}

// Drops a trailing point, as the caption does.
std::string without_point(const char* text) {
    std::string s(text);
    if (!s.empty() && s.back() == '.') {
        s.pop_back();
    }
    return s;
}

TEST(NumberTextTest, WholeNumbersReadAsTheirDigitsUpToAPoint) {
    for (std::int64_t n = 0; n <= 100000; ++n) {
        char text[number_text_capacity];
        std::memset(text, 'z', sizeof text);
        number_text(static_cast<double>(n), text);
        ASSERT_NE(std::memchr(text, '\0', sizeof text), nullptr) << n;
        ASSERT_EQ(without_point(text), std::to_string(n)) << "raw text: " << text;
    }
    for (int bit = 17; bit <= 26; ++bit) {
        for (const std::int64_t n : {(std::int64_t{1} << bit) - 1, std::int64_t{1} << bit}) {
            if (n > 99999999) {
                continue;
            }
            char text[number_text_capacity];
            number_text(static_cast<double>(n), text);
            ASSERT_EQ(without_point(text), std::to_string(n)) << "raw text: " << text;
        }
    }
}

TEST(NumberTextTest, KeepsEightSignificantDigits) {
    char text[number_text_capacity];
    number_text(123456789.0, text);
    EXPECT_EQ(std::string(text).substr(0, 11), "1.2345679e+") << text;
    number_text(99999999.0, text);
    EXPECT_EQ(without_point(text), "99999999");
}

void say_goodbye() {
    std::fputs("atexit handler ran\n", stderr);
}

TEST(ProcessTest, HasAProcessorAndNoStopRequestYet) {
    EXPECT_GE(processors_available(), 1);
    EXPECT_GT(process_id(), 0);
    EXPECT_EQ(stop_signal(), 0);
}

TEST(EndProcessDeathTest, EndsWithTheStatusThroughTheRuntimesExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atexit(say_goodbye);
            end_process(0);
        },
        ::testing::ExitedWithCode(0), "atexit handler ran");
    EXPECT_EXIT(
        {
            std::atexit(say_goodbye);
            end_process(7);
        },
        ::testing::ExitedWithCode(7), "atexit handler ran");
}

}  // namespace
}  // namespace quenlixor
