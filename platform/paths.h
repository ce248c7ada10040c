// Paths as the programs keep them: UTF-8 text, from the command line to the
// files they name and the messages that name them.
//
// Windows names files in UTF-16 and gives a narrow program its command line
// in the ANSI code page, which holds only some letters; its implementation
// file (paths_win32.cpp) converts at this seam and calls the wide Win32 and
// C runtime routines named beside each operation. On POSIX systems (and in
// WebAssembly, whose C library is POSIX's) a path is bytes and passes through
// unchanged (paths_posix.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace quenlixor {

// main's arguments as UTF-8, split by the C runtime's rules as argv was; argc
// stays the same. Win32: the C runtime's wide arguments (__wgetmainargs, as
// for wmain) through WideCharToMultiByte(CP_UTF8), kept until the process
// ends. POSIX: argv itself.
char** utf8_arguments(int argc, char** argv);

// What a path names, links followed.
enum class PathKind {
    none,            // nothing, or nothing this process may look at
    regular,         // a regular file
    folder,          // a directory
    device_or_pipe,  // a character device or a pipe (FIFO)
    other,           // a socket, a block device, ...
};

// POSIX: stat. Win32: a device (NUL, CON) by the type of the file it
// opens, else GetFileAttributesW (the C runtime's stat sees no devices).
PathKind path_kind(const char* path);

// The file that writing `path` replaces: the one a symbolic link leads to,
// else `path` itself. False when `path` is a link that leads nowhere. POSIX:
// lstat and realpath. Win32: always `path` itself (MoveFileExW replaces a
// link, as the C runtime's stat follows none).
bool replaced_file(const char* path, std::string& file);

// Creates or empties `path` and opens it for writing bytes: fopen(path,
// "wb"); Win32: _wfopen. Null, with errno set, when it cannot.
std::FILE* open_for_writing(const char* path);

// Puts the file `from` in the place of `to`, which may exist, in one step:
// rename; Win32: MoveFileExW with MOVEFILE_REPLACE_EXISTING. False, with
// errno set, when it cannot.
bool replace_file(const char* from, const char* to);

// Removes the file `path`: remove; Win32: _wremove. False, with errno set,
// when it cannot.
bool remove_file(const char* path);

// Writes UTF-8 `text` to standard error. Win32: on a console through
// WriteConsoleW as UTF-16, which shows every letter (a console's code page
// does not); elsewhere the bytes, as on POSIX.
void print_error(std::string_view text);

// Tells UTF-8 `text` to a user who has no console, and waits until it has
// been read. Win32: a message box titled `title` with an OK button and the
// information icon, or the error icon when `error` (MessageBoxW), owned by
// the window `owner` when that is one (IsWindow), else by none. POSIX:
// `text` and a newline on standard error.
void show_message(std::string_view title, std::string_view text, bool error,
                  std::uint64_t owner = 0);

}  // namespace quenlixor
