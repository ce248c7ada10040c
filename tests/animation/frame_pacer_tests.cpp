// The frame pacer on a simulated microsecond clock: frames of a given cost
// are run through it for simulated seconds, and the frames each rate counting
// span would see are counted, as the caption counts them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "animation/animation_driver.h"
#include "tests/animation/simulated_platform.h"

namespace quenlixor {
namespace {

// After a frame has been shown: counts it and waits until the next is due.
void pacer_wait(FramePacer& pacer) {
    pacer_shown(pacer);
    while (pacer_hold(pacer, 0)) {
    }
}

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

TEST(FramePacerTest, FrameKIsDueKOverNSecondsAfterTheStartToTheMicrosecond) {
    // Frames that cost nothing end exactly when they are due: the start plus
    // k x 1,000,000 / N microseconds, rounded down once, never a rounded
    // frame time added up (at 60 fps frame 3 is due at 50,000 us, not 49,998).
    for (const std::int32_t fps : {7, 60, 144, 1000}) {
        simulated = SimulatedPlatform{};
        simulated.now_us = 7000000;
        FramePacer pacer{};
        pacer_start(pacer, fps);
        for (std::uint64_t k = 1; k <= 3 * static_cast<std::uint64_t>(fps); ++k) {
            pacer_wait(pacer);
            ASSERT_EQ(simulated.now_us, 7000000 + k * 1000000 / static_cast<std::uint64_t>(fps))
                << fps << " fps, frame " << k;
        }
    }
    simulated = SimulatedPlatform{};
    FramePacer pacer{};
    pacer_start(pacer, 60);
    for (int k = 0; k < 3; ++k) {
        pacer_wait(pacer);
    }
    EXPECT_EQ(simulated.now_us, 50000U);
}

TEST(FramePacerTest, ALateFrameIsMadeUpUnlessTheLoopFellTooFarBehind) {
    // A loop is made up from the schedule it had, unless it fell more than
    // a sixtieth of a second and more than a frame behind: then it starts
    // afresh from the present.
    struct Case {
        std::uint64_t late_us;
        std::int32_t fps;
        bool made_up;
    };
    const Case cases[] = {
        {8000, 60, true},  {16666, 60, true},  {16667, 60, false},  {150000, 5, true},
        {199999, 5, true}, {200000, 5, false}, {16666, 1000, true}, {16667, 1000, false},
        {7000, 500, true}, {900000, 1, true},  {1000000, 1, false},
    };
    for (const Case& c : cases) {
        simulated = SimulatedPlatform{};
        const std::uint64_t start = 7000000;
        const auto fps = static_cast<std::uint64_t>(c.fps);
        simulated.now_us = start;
        FramePacer pacer{};
        pacer_start(pacer, c.fps);
        // Frame 1 ends late_us after it was due; the frames after it cost
        // nothing.
        simulated.now_us += 1000000 / fps + c.late_us;
        pacer_wait(pacer);
        const std::uint64_t late_end = simulated.now_us;
        for (std::uint64_t j = 1; j <= 2 * fps; ++j) {
            pacer_wait(pacer);
        }
        const std::uint64_t expected =
            c.made_up ? start + (2 * fps + 1) * 1000000 / fps : late_end + 2000000;
        EXPECT_EQ(simulated.now_us, expected)
            << c.fps << " fps, late by " << c.late_us
            << " us: " << (c.made_up ? "made up" : "started afresh") << " expected";
    }
}

TEST(FramePacerTest, AfterAStallNoSecondShowsMoreThanOneFrameTooMany) {
    // Frames lost to a stall just before a second ends are made up in the
    // next one, which the caption then counts: never more than one.
    for (const std::int32_t fps : {24, 60}) {
        for (const std::uint64_t stall_us : {5000U, 16000U, 17000U, 41000U, 99000U, 250000U}) {
            simulated = SimulatedPlatform{};
            simulated.now_us = 7000000;
            FramePacer pacer{};
            pacer_start(pacer, fps);
            std::vector<std::uint64_t> ends;
            for (int frame = 1; frame <= 3 * fps; ++frame) {
                simulated.now_us += frame == fps - 1 ? stall_us : 1000U;
                pacer_wait(pacer);
                ends.push_back(simulated.now_us);
            }
            int most = 0;
            for (const std::uint64_t from : ends) {
                most = std::max(most, frames_in_second(ends, from));
            }
            EXPECT_LE(most, fps + 1) << fps << " fps, a stall of " << stall_us << " us";
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

TEST(FramePacerTest, AHeldFrameWaitsAFrameAtATimeAndThePaceGoesOnFromIt) {
    // A frame held until 1 s after the start, at 20 frames a second: four
    // waits of a frame's time (the frame before shown again after each of
    // the first 19), then it shows at 1 s and the next 50 ms later. A
    // timer that wakes early does not hold a frame that is due: each frame
    // after it shows after one wait.
    for (const std::uint32_t early : {0U, 300U}) {
        simulated = SimulatedPlatform{};
        simulated.undersleep_us = early;
        simulated.now_us = 3000000;
        FramePacer pacer{};
        pacer_start(pacer, 20);
        EXPECT_FALSE(pacer_hold(pacer, 0));
        pacer_shown(pacer);
        int held = 0;
        while (pacer_hold(pacer, 4000000)) {
            ++held;
        }
        EXPECT_EQ(held, early == 0 ? 19 : 20) << early;
        EXPECT_EQ(pacer.shown_us, early == 0 ? 4000000U : 4000000U - early) << early;
        pacer_shown(pacer);
        for (int frame = 1; frame <= 3; ++frame) {
            EXPECT_FALSE(pacer_hold(pacer, 0)) << early;
            pacer_shown(pacer);
        }
        EXPECT_EQ(pacer.shown_us, 4000000U + 150000U - early) << early;
    }
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
