#include "tools/raw_frame.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "display/pixel_converters.h"
#include "display/present_rows.h"

namespace quenlixor {

// The rows as the window shows them, through the same routine, into a
// surface of the format's bytes.
void raw_frame(const std::uint32_t* pixels, int scale, unsigned char* bytes) {
    present_rows(pixels, picture_width, picture_height, scale, convert_to_xrgb8888, 4, bytes,
                 picture_width * scale * 4);
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
