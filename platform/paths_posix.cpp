// Paths on POSIX systems and in WebAssembly: bytes, passed to the C library
// unchanged.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/paths.h"
#include "platform/platform.h"

namespace quenlixor {

char** utf8_arguments(int /*argc*/, char** argv) {
    return argv;
}

PathKind path_kind(const char* path) {
    struct stat status {};
    if (stat(path, &status) != 0) {
        return PathKind::none;
    }
    if (S_ISDIR(status.st_mode)) {
        return PathKind::folder;
    }
    if (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode)) {
        return PathKind::device_or_pipe;
    }
    return S_ISREG(status.st_mode) ? PathKind::regular : PathKind::other;
}

bool replaced_file(const char* path, std::string& file) {
    struct stat status {};
    if (lstat(path, &status) != 0 || !S_ISLNK(status.st_mode)) {
        file = path;
        return true;
    }
    const std::unique_ptr<char, decltype(&std::free)> target(realpath(path, nullptr), std::free);
    if (target == nullptr) {
        return false;
    }
    file = target.get();
    return true;
}

std::FILE* open_for_writing(const char* path) {
    return std::fopen(path, "wb");
}

bool replace_file(const char* from, const char* to) {
    return std::rename(from, to) == 0;
}

bool remove_file(const char* path) {
    return std::remove(path) == 0;
}

void print_error(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void show_message(std::string_view /*title*/, std::string_view text, bool /*error*/,
                  std::uint64_t /*owner*/) {
    print_error(std::string(text) + "\n");
}

}  // namespace quenlixor
