// The GIF encoder of a build without giflib: it has none.
#include "tools/gif_encoder.h"

namespace quenlixor {

bool gif_available() {
    return false;
}

void prepare_gif_colours() {}

bool gif_head(int, std::vector<unsigned char>&) {
    return false;
}

bool gif_frame(const std::uint32_t*, const std::uint32_t*, int, int, std::vector<std::uint8_t>&,
               std::vector<unsigned char>&) {
    return false;
}

bool gif_fold_frame(std::vector<unsigned char>&, const std::vector<unsigned char>&) {
    return false;
}

}  // namespace quenlixor
