#include "display/sdl/present_rows.h"

#include <cstring>

namespace quenlixor {

void present_rows(const std::uint32_t* pixels, std::int32_t width, std::int32_t height,
                  std::int32_t scale, Converter converter, std::int32_t bytes_per_pixel,
                  std::uint8_t* destination, std::int32_t pitch) {
    const auto pixel_bytes = static_cast<std::size_t>(bytes_per_pixel);
    const auto blocks = static_cast<std::size_t>(scale);
    const std::size_t row_bytes = static_cast<std::size_t>(width) * blocks * pixel_bytes;
    for (std::int32_t row = 0; row < height; ++row) {
        std::uint8_t* const first = destination + static_cast<std::ptrdiff_t>(row) * scale * pitch;
        converter(pixels + static_cast<std::ptrdiff_t>(row) * width, first,
                  static_cast<std::uint32_t>(width));
        if (scale == 1) {
            continue;
        }
        // Widen in place from the right: pixel x moves to x * scale and
        // beyond, never onto a pixel not yet moved.
        for (auto x = static_cast<std::size_t>(width); x-- > 0;) {
            const std::uint8_t* const from = first + x * pixel_bytes;
            std::uint8_t* to = first + x * blocks * pixel_bytes;
            std::uint8_t pixel[4];
            std::memcpy(pixel, from, pixel_bytes);
            for (std::size_t i = 0; i < blocks; ++i, to += pixel_bytes) {
                std::memcpy(to, pixel, pixel_bytes);
            }
        }
        for (std::int32_t copy = 1; copy < scale; ++copy) {
            std::memcpy(first + static_cast<std::ptrdiff_t>(copy) * pitch, first, row_bytes);
        }
    }
}

}  // namespace quenlixor
