// The Windows platform against the Win32 and C runtime calls it maps onto:
// the tick count, and the console key queue with a code pushed back as the
// display's window procedure does; UTF-8 paths against the same names
// written in UTF-16 by the compiler.
#include <conio.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/paths.h"
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

// German, Greek and Chinese: no ANSI code page holds all three. The UTF-8
// bytes are written out by hand, the UTF-16 by the compiler.
const char* const utf8_name =
    "Bild f\xC3\xBCr J\xC3\xBClia \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 "
    "\xE6\xBC\xA2\xE5\xAD\x97";
const wchar_t* const utf16_name =
    L"Bild f\u00FCr J\u00FClia \u03A9\u03BC\u03AD\u03B3\u03B1 \u6F22\u5B57";

void write_text(const std::string& path, const char* text) {
    std::FILE* file = open_for_writing(path.c_str());
    ASSERT_NE(file, nullptr) << std::strerror(errno);
    std::fputs(text, file);
    ASSERT_EQ(std::fclose(file), 0);
}

// The text of the file named in UTF-16, read by the C runtime's wide call.
std::string text_of(const std::wstring& name) {
    std::FILE* file = _wfopen(name.c_str(), L"rb");
    if (file == nullptr) {
        return "(no such file)";
    }
    char text[32] = {};
    const std::size_t size = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    return std::string(text, size);
}

TEST(Win32PathsTest, AFileIsWrittenReplacedAndRemovedByItsNameOutsideTheCodePage) {
    const std::string name = std::string(utf8_name) + ".tmp";
    const std::wstring wide = std::wstring(utf16_name) + L".tmp";
    write_text(name, "older");
    EXPECT_EQ(text_of(wide), "older");
    EXPECT_EQ(path_kind(name.c_str()), PathKind::regular);

    write_text(name + ".partial", "newer");
    EXPECT_TRUE(replace_file((name + ".partial").c_str(), name.c_str()));
    EXPECT_EQ(text_of(wide), "newer");
    EXPECT_EQ(path_kind((name + ".partial").c_str()), PathKind::none);

    EXPECT_TRUE(remove_file(name.c_str()));
    EXPECT_EQ(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(remove_file(name.c_str()));
    EXPECT_EQ(errno, ENOENT);
}

TEST(Win32PathsTest, KindsOfPathsAndTextThatIsNotUtf8) {
    ASSERT_NE(CreateDirectoryW(utf16_name, nullptr), 0);
    EXPECT_EQ(path_kind(utf8_name), PathKind::folder);
    RemoveDirectoryW(utf16_name);
    EXPECT_EQ(path_kind(utf8_name), PathKind::none);
    EXPECT_EQ(path_kind("NUL"), PathKind::device_or_pipe);

    errno = 0;
    EXPECT_EQ(open_for_writing("J\xFClia.tmp"), nullptr);  // Latin-1, not UTF-8
    EXPECT_EQ(errno, EILSEQ);
    EXPECT_EQ(GetFileAttributesW(L"J\u00FClia.tmp"), INVALID_FILE_ATTRIBUTES);
}

TEST(Win32PathsTest, AMessageToAFileIsItsUtf8Bytes) {
    testing::internal::CaptureStderr();
    print_error(utf8_name);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), utf8_name);
}

}  // namespace
}  // namespace quenlixor
