// A picture for the display tests: every pixel a different-looking 32-bit
// word, bits 24-31 set too, so that a pixel taken from the wrong place or a
// channel taken from the wrong bits shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quenlixor::test_support {

inline std::vector<std::uint32_t> test_picture(int width, int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) *
                                      static_cast<std::size_t>(height));
    std::uint32_t seed = 12345;
    for (std::uint32_t& pixel : pixels) {
        seed = seed * 1103515245U + 12345U;
        pixel = seed ^ (seed >> 13);
    }
    return pixels;
}

}  // namespace quenlixor::test_support
