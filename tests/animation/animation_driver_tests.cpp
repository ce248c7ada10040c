// The driver's frame-rate count under a simulated tick clock, its caption
// text, and its key poll over a scripted key queue: the driver linked with
// the simulated platform.
#include "animation/animation_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/animation/simulated_platform.h"

namespace quenlixor {
namespace {

// --- simulated tick clock ---------------------------------------------------

// The tick clock reads `now`, then moves on by `step` ms: with a step, the
// two readings on a frame that updates the rate differ.
void set_clock(std::uint32_t now, std::uint32_t step = 0) {
    simulated = SimulatedPlatform{};
    simulated.tick_ms = now;
    simulated.tick_step = step;
}

// One rate update as seen from outside: when it happened and what it showed.
struct Update {
    std::uint32_t at;
    float rate;
};

// Runs `frames` frames of `frame_ms` each from start time `start`, returning
// the rate updates in order and the caption after every frame.
struct FrameRun {
    std::vector<Update> updates;
    std::vector<std::string> captions;
};

FrameRun run_frames(std::uint32_t start, std::uint32_t frame_ms, int frames) {
    set_clock(start);
    RateCounter counter{};
    rate_start(counter);
    FrameRun run;
    for (int i = 0; i < frames; ++i) {
        simulated.tick_ms += frame_ms;
        if (rate_count_frame(counter)) {
            run.updates.push_back({simulated.tick_ms, counter.rate_shown});
        }
        run.captions.push_back(caption_text(counter.rate_shown));
    }
    return run;
}

TEST(RateCounterTest, StartsWithNothingCountedAndRateZero) {
    set_clock(12345);
    RateCounter counter{7.0F, 9.0F, 1};
    rate_start(counter);
    EXPECT_EQ(counter.frames_counted, 0.0F);
    EXPECT_EQ(counter.rate_shown, 0.0F);
    EXPECT_EQ(counter.last_update, 12345U);
}

TEST(RateCounterTest, FirstCaptionShowsZero) {
    const FrameRun run = run_frames(5000, 16, 1);
    EXPECT_TRUE(run.updates.empty());
    EXPECT_EQ(run.captions.at(0), "Quenlixor Julia Animator FPS:0");
}

TEST(RateCounterTest, FirstFrameSlowerThanTheSpanShowsOne) {
    const FrameRun run = run_frames(5000, 1500, 1);
    ASSERT_EQ(run.updates.size(), 1U);
    EXPECT_EQ(run.updates[0].rate, 1.0F);
    EXPECT_EQ(run.captions.at(0), "Quenlixor Julia Animator FPS:1");
}

TEST(RateCounterTest, ASpanMustLastMoreThanOneSecond) {
    set_clock(1000);
    RateCounter counter{};
    rate_start(counter);
    simulated.tick_ms = 2000;  // exactly one second later: not yet
    EXPECT_FALSE(rate_count_frame(counter));
    EXPECT_EQ(counter.rate_shown, 0.0F);
    simulated.tick_ms = 2001;
    EXPECT_TRUE(rate_count_frame(counter));
    EXPECT_EQ(counter.rate_shown, 2.0F);
    EXPECT_EQ(counter.frames_counted, 0.0F);
}

// With a steady frame time the count per span is the same whatever the phase
// of the start within a second, and every span lasts just over one second:
// the first frame that ends more than 1000 ms after the previous update ends
// it. A rounded last-update second would make the spans (and counts) swing
// between about half and one and a half seconds' worth.
struct SteadyCase {
    std::uint32_t frame_ms;
    std::uint32_t start;
};

class SteadyRateTest : public ::testing::TestWithParam<SteadyCase> {};

TEST_P(SteadyRateTest, CountsTheFramesOfEachJustOverOneSecondSpan) {
    const SteadyCase c = GetParam();
    const auto per_span = static_cast<int>(1000 / c.frame_ms + 1);  // first k with k*ms > 1000
    const int frames = per_span * 12;
    const FrameRun run = run_frames(c.start, c.frame_ms, frames);
    ASSERT_EQ(run.updates.size(), 12U);
    std::uint32_t previous = c.start;
    for (const Update& update : run.updates) {
        EXPECT_EQ(update.rate, static_cast<float>(per_span));
        const std::uint32_t span = update.at - previous;
        EXPECT_GT(span, 1000U);
        EXPECT_LE(span, 1000U + c.frame_ms);
        previous = update.at;
    }
    EXPECT_EQ(run.captions.back(), "Quenlixor Julia Animator FPS:" + std::to_string(per_span));
}

INSTANTIATE_TEST_SUITE_P(FrameTimesAndStartPhases, SteadyRateTest,
                         ::testing::Values(SteadyCase{16, 0}, SteadyCase{16, 499},
                                           SteadyCase{16, 500}, SteadyCase{16, 501},
                                           SteadyCase{16, 1499}, SteadyCase{17, 250},
                                           SteadyCase{33, 999}, SteadyCase{1, 123456},
                                           SteadyCase{7, 700}, SteadyCase{250, 1},
                                           SteadyCase{1001, 0}),
                         [](const ::testing::TestParamInfo<SteadyCase>& steady_info) {
                             return std::to_string(steady_info.param.frame_ms) + "ms_frames_from_" +
                                    std::to_string(steady_info.param.start);
                         });

TEST(RateCounterTest, KeepsUpdatingAcrossTheTickCountWrap) {
    // Starts 2.5 s before the 32-bit millisecond count wraps to 0 and runs
    // 10 s of 10 ms frames: ten spans of 101 frames, the later ones after
    // the wrap.
    const std::uint32_t start = 0xFFFFFFFFU - 2500U + 1U;
    const FrameRun run = run_frames(start, 10, 1010);
    ASSERT_EQ(run.updates.size(), 10U);
    int after_wrap = 0;
    for (const Update& update : run.updates) {
        EXPECT_EQ(update.rate, 101.0F);
        if (update.at < start) {
            ++after_wrap;
        }
    }
    EXPECT_EQ(after_wrap, 8);
}

TEST(RateCounterTest, AnUpdateRestartsTheSpanAtAFreshReading) {
    set_clock(100, 3);
    RateCounter counter{};
    rate_start(counter);  // reads 100
    EXPECT_EQ(counter.last_update, 100U);
    simulated.tick_ms = 1200;
    simulated.tick_reads = 0;
    EXPECT_TRUE(rate_count_frame(counter));  // reads 1200, then 1203
    EXPECT_EQ(simulated.tick_reads, 2);
    EXPECT_EQ(counter.last_update, 1203U);
    simulated.tick_reads = 0;
    EXPECT_FALSE(rate_count_frame(counter));
    EXPECT_EQ(simulated.tick_reads, 1);
}

TEST(RateCounterTest, CountStopsAtTwoToTheTwentyFourInSinglePrecision) {
    set_clock(0);
    RateCounter counter{};
    rate_start(counter);
    const std::int64_t frames = (std::int64_t{1} << 24) + 1000;
    for (std::int64_t i = 0; i < frames; ++i) {
        rate_count_frame(counter);
    }
    EXPECT_EQ(counter.rate_shown, 0.0F);
    simulated.tick_ms = 5000;
    ASSERT_TRUE(rate_count_frame(counter));
    EXPECT_EQ(counter.rate_shown, 16777216.0F);
    EXPECT_EQ(caption_text(counter.rate_shown), "Quenlixor Julia Animator FPS:16777216");
}

// --- caption text -------------------------------------------------------------

TEST(CaptionTextTest, PrefixIsTheTwentyNineCharacterLiteral) {
    EXPECT_EQ(std::string(caption_prefix), "Quenlixor Julia Animator FPS:");
    EXPECT_EQ(std::string(caption_prefix).size(), 29U);
    EXPECT_EQ(std::string(program_title), "Quenlixor Julia (Tolvane)");
}

TEST(CaptionTextTest, ShowsTheRateAsPlainDigitsRightAfterThePrefix) {
    const struct {
        float rate;
        const char* caption;
    } cases[] = {
        {0.0F, "Quenlixor Julia Animator FPS:0"},
        {1.0F, "Quenlixor Julia Animator FPS:1"},
        {57.0F, "Quenlixor Julia Animator FPS:57"},
        {60.0F, "Quenlixor Julia Animator FPS:60"},
        {1000.0F, "Quenlixor Julia Animator FPS:1000"},
        {12345678.0F, "Quenlixor Julia Animator FPS:12345678"},
        {16777216.0F, "Quenlixor Julia Animator FPS:16777216"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(caption_text(c.rate), c.caption) << c.rate;
    }
}

TEST(CaptionTextTest, EveryWholeRateReadsAsItsDecimalDigits) {
    std::vector<std::int64_t> rates;
    for (std::int64_t n = 0; n <= 70000; ++n) {
        rates.push_back(n);
    }
    for (int bit = 17; bit <= 24; ++bit) {
        const std::int64_t power = std::int64_t{1} << bit;
        rates.insert(rates.end(), {power - 1, power, power + 1});
    }
    rates.push_back(9999999);
    rates.push_back(10000000);
    // Whether the C runtime leaves a point after a whole number (_gcvt) or
    // not (snprintf), the caption shows the digits alone.
    for (const bool with_point : {true, false}) {
        simulated.number_text_with_point = with_point;
        for (const std::int64_t n : rates) {
            if (n > (std::int64_t{1} << 24)) {
                continue;  // not a single-precision whole number any more
            }
            char text[number_text_capacity];
            rate_text(static_cast<float>(n), text);
            ASSERT_EQ(std::string(text), std::to_string(n)) << with_point;
            ASSERT_EQ(caption_text(static_cast<float>(n)), caption_prefix + std::to_string(n));
        }
    }
}

// --- key poll -------------------------------------------------------------------

struct KeyCase {
    const char* name;
    std::vector<int> queued;
    std::string key;
    std::vector<int> left;
};

class PollKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(PollKeyTest, ReadsOneKeyAndLeavesTheRest) {
    const KeyCase& c = GetParam();
    simulated = SimulatedPlatform{};
    simulated.key_codes.assign(c.queued.begin(), c.queued.end());
    EXPECT_EQ(poll_key(), c.key);
    EXPECT_EQ(std::vector<int>(simulated.key_codes.begin(), simulated.key_codes.end()), c.left);
    EXPECT_EQ(simulated.reads_of_empty, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, PollKeyTest,
    ::testing::Values(KeyCase{"none", {}, "", {}}, KeyCase{"letter", {'q'}, "q", {}},
                      KeyCase{"escape", {27}, "\x1b", {}},
                      KeyCase{"virtual_key_from_window", {65, 66}, "A", {66}},
                      KeyCase{"code_255", {255}, "\xff", {}},
                      KeyCase{"zero_prefix", {0, 59}, "\xff;", {}},
                      KeyCase{"e0_prefix", {224, 72}, "\xffH", {}},
                      KeyCase{"e0_prefix_then_more", {224, 77, 'x'}, "\xffM", {'x'}},
                      KeyCase{"zero_prefix_zero_code", {0, 0}, std::string("\xff\0", 2), {}}),
    [](const ::testing::TestParamInfo<KeyCase>& key_info) {
        return std::string(key_info.param.name);
    });

}  // namespace
}  // namespace quenlixor
