// The frame pacer on a simulated microsecond clock: frames of a given cost
// are run through it for simulated seconds, and the frames each rate counting
// span would see are counted, as the caption counts them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "animation/animation_driver.h"
#include "tests/animation/simulated_platform.h"

namespace quenlixor {
namespace {

// Runs frames costing `frame_cost_us` each (work + pacing) from a start at
// 7 s for `seconds` and returns the frame end times.
std::vector<std::uint64_t> run_paced(std::int32_t fps, std::uint64_t frame_cost_us,
                                     std::uint64_t seconds) {
    const std::uint64_t start = 7000000;
    simulated.now_us = start;
    FramePacer pacer{};
    pacer_start(pacer, fps);
    std::vector<std::uint64_t> ends;
    while (simulated.now_us < start + seconds * 1000000) {
        simulated.now_us += frame_cost_us;
        pacer_wait(pacer);
        ends.push_back(simulated.now_us);
    }
    return ends;
}

// Frames ending within [from, from + 1 s).
int frames_in_second(const std::vector<std::uint64_t>& ends, std::uint64_t from) {
    int count = 0;
    for (const std::uint64_t end : ends) {
        count += end >= from && end < from + 1000000 ? 1 : 0;
    }
    return count;
}

TEST(FramePacerTest, HoldsEachSecondToTheRateAsked) {
    for (const std::int32_t fps : {1, 7, 60, 144, 1000}) {
        for (const std::uint32_t oversleep : {0U, 90U}) {
            simulated = SimulatedPlatform{};
            simulated.oversleep_us = oversleep;
            const std::vector<std::uint64_t> ends = run_paced(fps, 200, 5);
            for (std::uint64_t second = 1; second < 4; ++second) {
                // A span starting anywhere sees fps frames, give or take one.
                const int seen = frames_in_second(ends, 7000000 + second * 1000000 + 333);
                EXPECT_GE(seen, fps - 1) << fps << " fps, oversleeping " << oversleep;
                EXPECT_LE(seen, fps + 1) << fps << " fps, oversleeping " << oversleep;
            }
        }
    }
}

TEST(FramePacerTest, ASlowFrameIsNotMadeUpWithABurst) {
    simulated = SimulatedPlatform{};
    simulated.now_us = 1000000;
    FramePacer pacer{};
    pacer_start(pacer, 100);  // a frame every 10 ms
    simulated.now_us += 2000;
    pacer_wait(pacer);
    EXPECT_EQ(simulated.sleeps, std::vector<std::uint32_t>{8000});
    simulated.now_us += 250000;  // one frame takes a quarter of a second
    pacer_wait(pacer);
    simulated.now_us += 2000;
    pacer_wait(pacer);
    // The next frame is due 10 ms after the slow one ended, not at once.
    EXPECT_EQ(simulated.sleeps, (std::vector<std::uint32_t>{8000, 8000}));
}

TEST(FramePacerTest, AFrameLateByLessThanTheCatchUpIsMadeUp) {
    simulated = SimulatedPlatform{};
    simulated.now_us = 1000000;
    FramePacer pacer{};
    pacer_start(pacer, 500);  // a frame every 2 ms
    std::vector<std::uint64_t> ends;
    for (int frame = 1; frame <= 1000; ++frame) {
        // Every 100th frame takes 7 ms: a busy system, not a slow program.
        simulated.now_us += frame % 100 == 50 ? 7000U : 500U;
        pacer_wait(pacer);
        ends.push_back(simulated.now_us);
    }
    // The frames after a late one follow without sleeping until the loop is
    // back on time, so every second still holds 500 frames.
    EXPECT_EQ(frames_in_second(ends, 1000000 + 1), 500);
}

TEST(FramePacerTest, FramesSlowerThanTheRateAreNotHeldBack) {
    simulated = SimulatedPlatform{};
    const std::vector<std::uint64_t> ends = run_paced(60, 20000, 2);  // 50 frames a second
    EXPECT_TRUE(simulated.sleeps.empty());
    EXPECT_EQ(frames_in_second(ends, 7500000), 50);
}

TEST(FramePacerTest, WithoutARateNeitherReadsTheClockNorSleeps) {
    simulated = SimulatedPlatform{};
    FramePacer pacer{};
    pacer_start(pacer, 0);
    for (int frame = 0; frame < 10; ++frame) {
        pacer_wait(pacer);
    }
    EXPECT_EQ(simulated.clock_reads, 0);
    EXPECT_TRUE(simulated.sleeps.empty());
}

}  // namespace
}  // namespace quenlixor
