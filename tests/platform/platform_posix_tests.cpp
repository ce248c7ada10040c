// The POSIX platform: the key queue on a terminal (a pseudo-terminal made
// standard input here) and on other input, stop requests and pushed codes,
// and the window a display announces.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/platform_posix_windows.h"

namespace quenlixor {
namespace {

// In a child process (the key queue changes standard input's terminal
// settings for the rest of the process): fails with a message and status 1.
[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "FAILED: %s\n", what);
    std::_Exit(1);
}

bool key_waiting_within(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (key_waiting()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Child: standard input from /dev/null.
[[noreturn]] void read_keys_from_null() {
    const int null = open("/dev/null", O_RDONLY);
    if (null < 0 || dup2(null, STDIN_FILENO) < 0) {
        fail("cannot make /dev/null standard input");
    }
    if (key_waiting()) {
        fail("a key waits on /dev/null");
    }
    if (read_key() != -1) {
        fail("read_key on /dev/null did not report -1");
    }
    std::fputs("no keys\n", stderr);
    std::exit(0);
}

// Child: standard input from a pseudo-terminal on which the test types.
[[noreturn]] void read_keys_from_terminal() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        fail("no pseudo-terminal");
    }
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    if (slave < 0 || dup2(slave, STDIN_FILENO) < 0) {
        fail("cannot make the pseudo-terminal standard input");
    }
    if (key_waiting()) {
        fail("a key waits before any was typed");
    }
    // Typed without a newline: only a terminal out of canonical mode hands
    // the bytes over at once.
    if (write(master, "q\x1b", 2) != 2) {
        fail("cannot type");
    }
    if (!key_waiting_within(std::chrono::milliseconds(20000))) {
        fail("the typed key is not waiting");
    }
    if (read_key() != 'q') {
        fail("first code is not q");
    }
    if (!key_waiting() || read_key() != 0x1b) {
        fail("second code is not escape");
    }
    if (key_waiting()) {
        fail("a key still waits after both were read");
    }
    termios mode{};
    tcgetattr(STDIN_FILENO, &mode);
    if ((mode.c_lflag & (ICANON | ECHO)) != 0) {
        fail("terminal still canonical or echoing");
    }
    pollfd echoed{master, POLLIN, 0};
    if (poll(&echoed, 1, 100) == 1) {
        fail("typed keys were echoed");
    }
    std::fputs("keys read\n", stderr);
    std::exit(0);
}

// Child: switches the terminal `slave` to single key presses, then ends.
[[noreturn]] void touch_keys_and_end(int slave) {
    dup2(slave, STDIN_FILENO);
    (void)key_waiting();
    end_process(0);
}

// Child: Ctrl+C (SIGINT) once stop requests are caught, standard input a
// pipe with no key in it.
[[noreturn]] void stop_with_sigint() {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0 || dup2(pipe_ends[0], STDIN_FILENO) < 0) {
        fail("no pipe");
    }
    catch_stop_requests();
    if (key_waiting()) {
        fail("a key waits before the signal");
    }
    raise(SIGINT);  // would end the process were it not caught
    if (!key_waiting() || read_key() != stop_key_code || read_key() != stop_key_code) {
        fail("a stop request does not read as the stop key");
    }
    std::fputs("stopped as by a key\n", stderr);
    std::exit(0);
}

TEST(PosixKeysDeathTest, AStopRequestIsAKeyThatStaysWaiting) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(stop_with_sigint(), ::testing::ExitedWithCode(0), "stopped as by a key");
}

TEST(PosixKeysDeathTest, NoTerminalMeansNoKeyWaiting) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(read_keys_from_null(), ::testing::ExitedWithCode(0), "no keys");
}

TEST(PosixKeysDeathTest, ReadsSingleKeyPressesFromATerminalWithoutEcho) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(read_keys_from_terminal(), ::testing::ExitedWithCode(0), "keys read");
}

TEST(PosixKeysDeathTest, RestoresTheTerminalAtExit) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(slave, &before), 0);
    ASSERT_NE(before.c_lflag & ICANON, 0U);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(touch_keys_and_end(slave), ::testing::ExitedWithCode(0), "");
    termios after{};
    ASSERT_EQ(tcgetattr(slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    close(slave);
    close(master);
}

TEST(PosixWindowTest, ThereIsNoWindowAndSettingACaptionDoesNothing) {
    EXPECT_EQ(active_window(), nullptr);
    set_caption(nullptr, "Quenlixor Julia Animator FPS:0");
    int anything = 0;
    set_caption(&anything, "Quenlixor Julia Animator FPS:0");
    EXPECT_EQ(anything, 0);
}

// Child: a code pushed back waits in front of the terminal, and only one.
[[noreturn]] void push_keys_back() {
    const int null = open("/dev/null", O_RDONLY);
    if (null < 0 || dup2(null, STDIN_FILENO) < 0) {
        fail("cannot make /dev/null standard input");
    }
    push_key(65);
    push_key(66);  // refused: 65 still waits
    if (!key_waiting() || read_key() != 65) {
        fail("the pushed code does not come first");
    }
    if (key_waiting() || read_key() != -1) {
        fail("a second pushed code was kept");
    }
    std::fputs("pushed code read\n", stderr);
    std::exit(0);
}

TEST(PosixKeysDeathTest, APushedCodeIsReadBeforeTheTerminal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(push_keys_back(), ::testing::ExitedWithCode(0), "pushed code read");
}

std::string caption_set;

void record_caption(void* /*window*/, const char* text) {
    caption_set = text;
}

TEST(PosixWindowTest, CaptionsReachTheAnnouncedWindowOnly) {
    int window = 0;
    int other = 0;
    use_window_system(WindowSystem{&window, record_caption});
    EXPECT_EQ(active_window(), &window);
    set_caption(&other, "elsewhere");
    EXPECT_EQ(caption_set, "");
    set_caption(&window, "Quenlixor Julia Animator FPS:60");
    EXPECT_EQ(caption_set, "Quenlixor Julia Animator FPS:60");
    use_window_system(WindowSystem{});
    EXPECT_EQ(active_window(), nullptr);
    set_caption(&window, "gone");
    EXPECT_EQ(caption_set, "Quenlixor Julia Animator FPS:60");
}

}  // namespace
}  // namespace quenlixor
