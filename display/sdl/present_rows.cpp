#include "display/sdl/present_rows.h"

#include <cstring>

namespace quenlixor {

namespace {

// Widens a converted row of `width` pixels of `Bytes` bytes in place, each
// pixel into `scale` copies, from the right: pixel x moves to x * scale and
// beyond, never onto a pixel not yet moved. Copies of a constant size
// compile into plain loads and stores.
template <std::size_t Bytes>
void widen_row(std::uint8_t* row, std::size_t width, std::size_t scale) {
    for (std::size_t x = width; x-- > 0;) {
        std::uint8_t pixel[Bytes];
        std::memcpy(pixel, row + x * Bytes, Bytes);
        std::uint8_t* to = row + x * scale * Bytes;
        for (std::size_t i = 0; i < scale; ++i, to += Bytes) {
            std::memcpy(to, pixel, Bytes);
        }
    }
}

}  // namespace

void present_rows(const std::uint32_t* pixels, std::int32_t width, std::int32_t height,
                  std::int32_t scale, Converter converter, std::int32_t bytes_per_pixel,
                  std::uint8_t* destination, std::int32_t pitch) {
    const auto columns = static_cast<std::size_t>(width);
    const auto blocks = static_cast<std::size_t>(scale);
    const std::size_t row_bytes = columns * blocks * static_cast<std::size_t>(bytes_per_pixel);
    for (std::int32_t row = 0; row < height; ++row) {
        std::uint8_t* const first = destination + static_cast<std::ptrdiff_t>(row) * scale * pitch;
        converter(pixels + static_cast<std::ptrdiff_t>(row) * width, first,
                  static_cast<std::uint32_t>(width));
        if (scale == 1) {
            continue;
        }
        switch (bytes_per_pixel) {
            case 2:
                widen_row<2>(first, columns, blocks);
                break;
            case 3:
                widen_row<3>(first, columns, blocks);
                break;
            default:
                widen_row<4>(first, columns, blocks);
                break;
        }
        for (std::int32_t copy = 1; copy < scale; ++copy) {
            std::memcpy(first + static_cast<std::ptrdiff_t>(copy) * pitch, first, row_bytes);
        }
    }
}

}  // namespace quenlixor
