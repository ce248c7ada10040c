// The PNG encoder of the WebAssembly build: there is no zlib for it here
// (Debian's emscripten ships none, and its zlib port is downloaded at build
// time), so it has none.
#include "tools/png_encoder.h"

namespace quenlixor {

bool png_available() {
    return false;
}

bool encode_png_rgb(const unsigned char*, std::uint32_t, std::uint32_t,
                    std::vector<unsigned char>&) {
    return false;
}

bool encode_png(const std::uint32_t*, int, std::vector<unsigned char>&) {
    return false;
}

}  // namespace quenlixor
