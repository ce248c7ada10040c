// The PNG and APNG encoders of the WebAssembly build: there is no zlib for
// it here (Debian's emscripten ships none, and its zlib port is downloaded
// at build time), so it has none; julia-frames refuses both outputs there.
#include "tools/apng_encoder.h"
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

void prepare_apng_colours() {}

void apng_head(int, std::int64_t, std::vector<unsigned char>&) {}

ApngDeflate apng_deflate_for(std::int64_t) {
    return ApngDeflate::fast;
}

bool apng_frame(const std::uint32_t*, const std::uint32_t*, int, ApngDeflate, ApngScratch&,
                std::vector<unsigned char>&) {
    return false;
}

void place_apng_frame(std::vector<unsigned char>&, std::int64_t, unsigned, unsigned) {}

void apng_end(std::vector<unsigned char>&) {}

}  // namespace quenlixor
