// The files julia-frames writes: each is written beside its destination
// under a temporary name and renamed into place when complete, so that a
// reader never sees half a file and a failure leaves nothing behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace quenlixor {

inline constexpr std::size_t raw_frame_bytes = 307200;  // at scale 1

// One file being written. `what` names it in messages ("GIF").
struct OutputFile {
    std::string path;
    std::string target;  // the path with links followed
    std::string temporary;
    const char* what = "";
    std::FILE* file = nullptr;
};

// Creates the temporary file beside `path`. False (with a message naming the
// path and the reason on stderr) when it cannot.
bool open_output(OutputFile& output, const std::string& path, const char* what);

// Appends bytes; on failure prints the message, removes the temporary file
// and returns false.
bool write_output(OutputFile& output, const void* bytes, std::size_t size);

// Flushes, closes and renames the file into place; on failure prints the
// message, removes the temporary file and returns false.
bool commit_output(OutputFile& output);

// Closes and removes the temporary file, if one is open.
void discard_output(OutputFile& output);

// open_output, write_output and commit_output in one.
bool write_whole_file(const std::string& path, const char* what, const void* bytes,
                      std::size_t size);

// The framebuffer's bytes: 76,800 little-endian 32-bit words, at `scale`
// (1-8) every pixel an N x N block of them: raw_frame_bytes x N x N bytes.
void raw_frame(const std::uint32_t* pixels, int scale, unsigned char* bytes);

// Whether this build can write PNG pictures.
bool png_available();

// An 8-bit RGB PNG of what a 32-bit desktop shows (bits 24-31 dropped), at
// `scale` as raw_frame. False when libpng fails or is missing.
bool encode_png(const std::uint32_t* pixels, int scale, std::vector<unsigned char>& bytes);

// Writes frames to standard output; false on a failure (a closed pipe is
// reported only through `broken_pipe`, other failures with a message).
bool write_stream(const void* bytes, std::size_t size, bool& broken_pipe);

}  // namespace quenlixor
