// The POSIX platform: the key queue on a terminal (a pseudo-terminal made
// standard input here) and on other input, stop requests both ways and
// pushed codes; what a path names.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/paths.h"
#include "platform/platform.h"

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

// Standard input: a pipe with nothing in it.
void use_empty_pipe_as_input() {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0 || dup2(pipe_ends[0], STDIN_FILENO) < 0) {
        fail("no pipe");
    }
}

// Whether the handler of `number` has calls it interrupts restarted.
bool restarts_calls(int number) {
    struct sigaction caught {};
    sigaction(number, nullptr, &caught);
    return (caught.sa_flags & SA_RESTART) != 0;
}

// Child: Ctrl+C (SIGINT) once stop requests are caught, standard input a
// pipe with no key in it.
[[noreturn]] void stop_with_sigint() {
    use_empty_pipe_as_input();
    catch_stop_requests();
    if (restarts_calls(SIGINT)) {
        fail("an interrupted wait would go on");
    }
    if (key_waiting() || stop_signal() != 0) {
        fail("a key waits before the signal");
    }
    raise(SIGINT);  // would end the process were it not caught
    if (!key_waiting() || read_key() != stop_key_code || read_key() != stop_key_code) {
        fail("a stop request does not read as the stop key");
    }
    if (stop_signal() != SIGINT) {
        fail("the signal is not named");
    }
    std::fputs("stopped as by a key\n", stderr);
    std::exit(0);
}

TEST(PosixKeysDeathTest, AStopRequestIsAKeyThatStaysWaiting) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(stop_with_sigint(), ::testing::ExitedWithCode(0), "stopped as by a key");
}

// Child: the exporter's way: SIGTERM is recorded, I/O restarts, and a write
// to a pipe nobody reads fails instead of ending the process.
[[noreturn]] void stop_with_restarting_io() {
    use_empty_pipe_as_input();
    catch_stop_requests(StopRequests::restart_io);
    if (!restarts_calls(SIGTERM)) {
        fail("interrupted I/O is not restarted");
    }
    raise(SIGTERM);  // would end the process were it not caught
    if (stop_signal() != SIGTERM || !key_waiting() || read_key() != stop_key_code) {
        fail("the termination is not recorded");
    }
    int closed[2];
    if (pipe(closed) != 0) {
        fail("no pipe");
    }
    close(closed[0]);
    const char byte = 'x';
    if (write(closed[1], &byte, 1) != -1 || errno != EPIPE) {  // SIGPIPE would end it here
        fail("a write to a closed pipe does not fail with EPIPE");
    }
    std::fputs("stopped between frames\n", stderr);
    std::exit(0);
}

TEST(PosixStopDeathTest, TheExportersWayRecordsTheSignalAndSurvivesAClosedPipe) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(stop_with_restarting_io(), ::testing::ExitedWithCode(0), "stopped between frames");
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

TEST(PosixPathsTest, EveryKindOfFileIsToldByWhatItIsAndLinksAreFollowed) {
    char folder[] = "/tmp/quenlixor-paths-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string in = std::string(folder) + "/";
    std::FILE* file = std::fopen((in + "regular").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    ASSERT_EQ(mkfifo((in + "fifo").c_str(), 0600), 0) << std::strerror(errno);
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%ssocket", in.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
        << std::strerror(errno);
    for (const char* name : {"regular", "fifo", "socket", "missing"}) {
        ASSERT_EQ(symlink((in + name).c_str(), (in + "link-to-" + name).c_str()), 0);
    }
    const struct {
        std::string path;
        PathKind kind;
    } cases[] = {
        {in + "regular", PathKind::regular},
        {in + "link-to-regular", PathKind::regular},
        {folder, PathKind::folder},
        {"/dev/null", PathKind::device_or_pipe},
        {in + "fifo", PathKind::device_or_pipe},
        {in + "link-to-fifo", PathKind::device_or_pipe},
        {in + "socket", PathKind::other},
        {in + "link-to-socket", PathKind::other},
        {in + "missing", PathKind::none},
        {in + "link-to-missing", PathKind::none},
    };
    for (const auto& named : cases) {
        EXPECT_EQ(path_kind(named.path.c_str()), named.kind) << named.path;
    }
    close(listener);
    for (const char* name : {"regular", "fifo", "socket", "link-to-regular", "link-to-fifo",
                             "link-to-socket", "link-to-missing"}) {
        EXPECT_EQ(std::remove((in + name).c_str()), 0) << name;
    }
    EXPECT_EQ(rmdir(folder), 0);
}

}  // namespace
}  // namespace quenlixor
