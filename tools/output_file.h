// The files julia-frames writes. A regular file is written beside its
// destination under a temporary name and renamed into place when complete,
// so that a reader never sees half a file and a failure leaves nothing
// behind. A character device (/dev/null, a terminal) or a pipe has nothing
// to replace and is written where it is, as is standard output.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace quenlixor {

// One file being written. `what` names it in messages ("GIF").
struct OutputFile {
    std::string path;
    std::string target;     // the path with links followed
    std::string temporary;  // empty when written in place
    const char* what = "";
    std::FILE* file = nullptr;
    bool standard_output = false;
};

// Creates the temporary file beside `path`, or opens a device or pipe. False
// (with a message naming the path and the reason on stderr) when it cannot.
bool open_output(OutputFile& output, const std::string& path, const char* what);

// Makes standard output (in binary mode) the output.
void open_standard_output(OutputFile& output, const char* what);

// Appends bytes; written in place, they are passed on at once. On failure
// prints the message (none for a pipe whose reader has gone), removes the
// temporary file and returns false.
bool write_output(OutputFile& output, const void* bytes, std::size_t size);

// Flushes, closes and renames the file into place; on failure prints the
// message, removes the temporary file and returns false.
bool commit_output(OutputFile& output);

// Closes and removes the temporary file, if one is open.
void discard_output(OutputFile& output);

// open_output, write_output and commit_output in one.
bool write_whole_file(const std::string& path, const char* what, const void* bytes,
                      std::size_t size);

}  // namespace quenlixor
