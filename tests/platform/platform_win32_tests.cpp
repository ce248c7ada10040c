// The Windows platform against the Win32 and C runtime calls it maps onto:
// the tick count, the console key queue with a code pushed back as the
// display's window procedure does, and the precision field of the floating-point control word.
#include <conio.h>
#include <float.h>
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

TEST(Win32PrecisionTest, ControlfpReportsSixtyFourBitPrecision) {
    if (sizeof(void*) != 4) {
        GTEST_SKIP() << "a 64-bit C runtime neither sets nor reports the precision field";
    }
    const unsigned int previous = _controlfp(0, 0);
    ASSERT_EQ(_controlfp(_PC_24, _MCW_PC) & _MCW_PC, static_cast<unsigned int>(_PC_24));
    use_extended_precision();
    const unsigned int now = _controlfp(0, 0);
    _controlfp(previous & _MCW_PC, _MCW_PC);
    EXPECT_EQ(now & _MCW_PC, static_cast<unsigned int>(_PC_64));
}

TEST(Win32EndProcessDeathTest, MinusOneIsTheFailureStatus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(end_process(-1), ::testing::ExitedWithCode(-1), "");
}

}  // namespace
}  // namespace quenlixor
