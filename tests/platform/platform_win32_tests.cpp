// The Windows platform against the Win32 and C runtime calls it maps onto:
// the tick count, and the console key queue with a code pushed back as the
// display's window procedure does.
#include <conio.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace quenlixor {
namespace {

TEST(Win32TickCountTest, IsGetTickCount) {
    const DWORD before = GetTickCount();
    const std::uint32_t ticks = tick_count_ms();
    const DWORD after = GetTickCount();
    EXPECT_LE(ticks - before, after - before);
}

TEST(Win32KeysTest, ACodePushedBackIsWaitingAndReadOnce) {
    while (key_waiting()) {
        (void)read_key();
    }
    EXPECT_FALSE(key_waiting());
    ASSERT_EQ(_ungetch(65), 65);
    EXPECT_TRUE(key_waiting());
    EXPECT_EQ(read_key(), 65);
    EXPECT_FALSE(key_waiting());
    // Room for one code: a second push before the first is read is refused.
    ASSERT_EQ(_ungetch('x'), 'x');
    EXPECT_EQ(_ungetch('y'), EOF);
    EXPECT_EQ(read_key(), 'x');
    EXPECT_FALSE(key_waiting());
}

TEST(Win32EndProcessDeathTest, MinusOneIsTheFailureStatus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(end_process(-1), ::testing::ExitedWithCode(-1), "");
}

}  // namespace
}  // namespace quenlixor
