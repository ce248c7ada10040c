// The progress line on a clock the test sets: when it first shows, how
// often it is redrawn, how a shorter line covers a longer one, and that it
// is cleared at the end and never shown when disabled.
#include "tools/export_progress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace quenlixor {
namespace {

// What the reporter wrote to `stream` so far.
std::string written(std::FILE* stream) {
    std::fflush(stream);
    const long size = std::ftell(stream);
    std::string text(static_cast<std::size_t>(size), '\0');
    std::rewind(stream);
    const std::size_t read = std::fread(text.data(), 1, text.size(), stream);
    text.resize(read);
    std::fseek(stream, 0, SEEK_END);
    return text;
}

std::size_t count_of(const std::string& text, char c) {
    std::size_t count = 0;
    for (const char each : text) {
        count += each == c ? 1U : 0U;
    }
    return count;
}

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        stream_ = std::tmpfile();
        ASSERT_NE(stream_, nullptr);
    }
    void TearDown() override { std::fclose(stream_); }
    std::FILE* stream_ = nullptr;
};

TEST_F(ProgressTest, FirstShowsAfterHalfASecondThenAtMostTenTimesASecond) {
    Progress progress;
    const std::uint64_t start = 7000000;
    start_progress(progress, 3000, true, stream_, start);
    // A tick every millisecond for two seconds, a frame done at each.
    std::size_t lines_before_half_second = 0;
    for (std::uint64_t ms = 0; ms <= 2000; ++ms) {
        update_progress(progress, static_cast<std::int64_t>(ms), start + ms * 1000);
        if (ms == 499) {
            lines_before_half_second = count_of(written(stream_), '\r');
        }
    }
    EXPECT_EQ(lines_before_half_second, 0U);
    const std::string shown = written(stream_);
    // At 0.5 s, 0.6 s, ... 2.0 s.
    EXPECT_EQ(count_of(shown, '\r'), 16U) << shown;
    EXPECT_EQ(shown.rfind("\r500/3000 frames   16%  1000 fps  0:03 left", 0), 0U) << shown;
    EXPECT_NE(shown.find("\r2000/3000 frames   66%  1000 fps  0:01 left"), std::string::npos)
        << shown;
    EXPECT_EQ(shown.find('\n'), std::string::npos);

    finish_progress(progress);
    const std::string cleared = written(stream_).substr(shown.size());
    const std::string last_line = "2000/3000 frames   66%  1000 fps  0:01 left";
    EXPECT_EQ(cleared, "\r" + std::string(last_line.size(), ' ') + "\r");
}

TEST_F(ProgressTest, TheThresholdsAreTheCallersAndAShorterLineCoversALongerOne) {
    Progress progress;
    start_progress(progress, 100000, true, stream_, 0, ProgressTiming{0, 1000000});
    update_progress(progress, 99999, 1000000);  // the first tick shows at once
    update_progress(progress, 99999, 1999999);  // within the second: nothing
    update_progress(progress, 6, 2000000);
    const std::string shown = written(stream_);
    const std::string first = "99999/100000 frames   99%  99999 fps  0:00 left";
    const std::string second = "6/100000 frames    0%  3 fps  555:31 left";
    ASSERT_LT(second.size(), first.size());
    EXPECT_EQ(shown, "\r" + first + "\r" + second + std::string(first.size() - second.size(), ' '));
}

TEST_F(ProgressTest, DisabledShowsAndClearsNothing) {
    Progress progress;
    start_progress(progress, 10, false, stream_, 0, ProgressTiming{0, 0});
    for (std::uint64_t us = 0; us < 3000000; us += 1000) {
        update_progress(progress, 5, us);
    }
    finish_progress(progress);
    EXPECT_TRUE(written(stream_).empty());
}

TEST_F(ProgressTest, NothingShownMeansNothingToClear) {
    Progress progress;
    start_progress(progress, 10, true, stream_, 0);
    update_progress(progress, 5, 499999);
    finish_progress(progress);
    EXPECT_TRUE(written(stream_).empty());
}

}  // namespace
}  // namespace quenlixor
