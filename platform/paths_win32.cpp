// Paths on Windows: UTF-8 inside the program, UTF-16 for every Win32 and C
// runtime call that takes one, so that a name outside the ANSI code page
// reaches the file system as typed.
#include <stdio.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths.h"
#include "platform/platform.h"

// The C runtime's split of the wide command line, by the same rules as argv
// (msvcrt.dll; MinGW-w64 has it for the UCRT too). MinGW's startup calls it
// for wmain with its globbing switch; neither is in its headers.
struct WideStartupInfo {
    int new_mode;
};
extern "C" int __wgetmainargs(int* count, wchar_t*** arguments, wchar_t*** environment,
                              int expand_wildcards, WideStartupInfo* startup);
extern "C" int _dowildcard;

namespace quenlixor {
namespace {

// `text` as UTF-16; false (errno EILSEQ) when it is not UTF-8.
bool to_utf16(std::string_view text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) {
        return true;
    }
    const int size = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) {
        errno = EILSEQ;
        return false;
    }
    wide.resize(static_cast<std::size_t>(length));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
    return true;
}

std::string to_utf8(const wchar_t* wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
    text.pop_back();  // the terminating zero
    return text;
}

// errno for the Win32 error of a failed MoveFileExW.
int errno_from_win32(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        default:
            return EIO;
    }
}

// Whether `path` names a character device: NUL or CON, which the C
// runtime's stat does not see as devices.
bool is_character_device(const char* path) {
    // Opened without access rights, only to ask its type. A named pipe is
    // not opened: that would take one of its instances.
    std::wstring wide;
    if (std::strncmp(path, "\\\\.\\pipe\\", 9) == 0 || !to_utf16(path, wide)) {
        return false;
    }
    const HANDLE file =
        CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool device = GetFileType(file) == FILE_TYPE_CHAR;
    CloseHandle(file);
    return device;
}

}  // namespace

char** utf8_arguments(int argc, char** argv) {
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    if (!pointers.empty()) {
        return pointers.data();
    }
    int count = 0;
    wchar_t** wide = nullptr;
    wchar_t** environment = nullptr;
    WideStartupInfo startup{0};
    // Its result is no status in every msvcrt.dll; the arguments are.
    __wgetmainargs(&count, &wide, &environment, _dowildcard, &startup);
    if (wide == nullptr || count != argc) {
        return argv;
    }
    for (int index = 0; index < count; ++index) {
        texts.push_back(to_utf8(wide[index]));
    }
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers.data();
}

PathKind path_kind(const char* path) {
    if (is_character_device(path)) {
        return PathKind::device_or_pipe;
    }
    std::wstring wide;
    const DWORD attributes =
        to_utf16(path, wide) ? GetFileAttributesW(wide.c_str()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return PathKind::none;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return PathKind::folder;
    }
    return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? PathKind::other : PathKind::regular;
}

bool replaced_file(const char* path, std::string& file) {
    file = path;
    return true;
}

std::FILE* open_for_writing(const char* path) {
    std::wstring wide;
    return to_utf16(path, wide) ? _wfopen(wide.c_str(), L"wb") : nullptr;
}

bool replace_file(const char* from, const char* to) {
    std::wstring wide_from;
    std::wstring wide_to;
    if (!to_utf16(from, wide_from) || !to_utf16(to, wide_to)) {
        return false;
    }
    if (MoveFileExW(wide_from.c_str(), wide_to.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        errno = errno_from_win32(GetLastError());
        return false;
    }
    return true;
}

bool remove_file(const char* path) {
    std::wstring wide;
    return to_utf16(path, wide) && _wremove(wide.c_str()) == 0;
}

void print_error(std::string_view text) {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    std::wstring wide;
    if (error == nullptr || error == INVALID_HANDLE_VALUE || GetConsoleMode(error, &mode) == 0 ||
        !to_utf16(text, wide)) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        return;
    }
    std::fflush(stderr);
    DWORD written = 0;
    WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

void show_message(std::string_view title, std::string_view text, bool error, std::uint64_t owner) {
    std::wstring wide_title;
    std::wstring wide_text;
    if (!to_utf16(title, wide_title) || !to_utf16(text, wide_text)) {
        wide_title = L"?";
        wide_text = L"?";
    }
    HWND owner_window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(owner));
    if (owner_window != nullptr && IsWindow(owner_window) == 0) {
        owner_window = nullptr;
    }
    const UINT icon =
        error ? static_cast<UINT>(MB_ICONERROR) : static_cast<UINT>(MB_ICONINFORMATION);
    MessageBoxW(owner_window, wide_text.c_str(), wide_title.c_str(), MB_OK | icon);
}

}  // namespace quenlixor
