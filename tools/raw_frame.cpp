#include "tools/raw_frame.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quenlixor {

void raw_frame(const std::uint32_t* pixels, unsigned char* bytes) {
    for (std::size_t pixel = 0; pixel < raw_frame_bytes / 4; ++pixel) {
        const std::uint32_t word = pixels[pixel];
        bytes[pixel * 4 + 0] = static_cast<unsigned char>(word);
        bytes[pixel * 4 + 1] = static_cast<unsigned char>(word >> 8);
        bytes[pixel * 4 + 2] = static_cast<unsigned char>(word >> 16);
        bytes[pixel * 4 + 3] = static_cast<unsigned char>(word >> 24);
    }
}

bool write_stream(const void* bytes, std::size_t size) {
    errno = 0;
    if (std::fwrite(bytes, 1, size, stdout) == size && std::fflush(stdout) == 0) {
        return true;
    }
    if (errno != EPIPE) {
        std::fprintf(stderr, "julia-frames: cannot write the raw stream to standard output: %s\n",
                     errno != 0 ? std::strerror(errno) : "write failed");
    }
    return false;
}

}  // namespace quenlixor
