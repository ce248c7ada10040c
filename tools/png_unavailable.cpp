// The PNG encoder of a build without libpng: it has none.
#include "tools/png_encoder.h"

namespace quenlixor {

bool png_available() {
    return false;
}

bool encode_png(const std::uint32_t*, int, std::vector<unsigned char>&) {
    return false;
}

}  // namespace quenlixor
