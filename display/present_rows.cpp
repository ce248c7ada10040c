#include "display/present_rows.h"

#include <array>
#include <cstring>
#include <utility>

namespace quenlixor {
namespace {

// Widens a converted row of `width` pixels of `Bytes` bytes in place: pixel
// x becomes pixels x Scale to x Scale + Scale - 1. From the right end
// leftwards, so that no pixel is overwritten before it is read. Copies of a
// constant size, a constant number of times, compile into plain moves.
template <std::size_t Bytes, std::size_t Scale>
void widen_row(std::uint8_t* row, std::size_t width) {
    for (std::size_t x = width; x-- > 0;) {
        std::uint8_t pixel[Bytes];
        std::memcpy(pixel, row + x * Bytes, Bytes);
        std::uint8_t* block = row + x * Scale * Bytes;
        for (std::size_t i = 0; i < Scale; ++i, block += Bytes) {
            std::memcpy(block, pixel, Bytes);
        }
    }
}

using Widener = void (*)(std::uint8_t* row, std::size_t width);

template <std::size_t Bytes, std::size_t... Scales>
constexpr std::array<Widener, sizeof...(Scales)> wideners(std::index_sequence<Scales...>) {
    return {widen_row<Bytes, Scales + 1>...};
}

// By bytes per pixel (2, 3, 4) and scale (1..8).
constexpr std::array<Widener, 8> wideners_2 = wideners<2>(std::make_index_sequence<8>());
constexpr std::array<Widener, 8> wideners_3 = wideners<3>(std::make_index_sequence<8>());
constexpr std::array<Widener, 8> wideners_4 = wideners<4>(std::make_index_sequence<8>());

}  // namespace

void present_rows(const std::uint32_t* pixels, std::int32_t width, std::int32_t height,
                  std::int32_t scale, Converter converter, std::int32_t bytes_per_pixel,
                  std::uint8_t* destination, std::int32_t pitch) {
    const auto columns = static_cast<std::size_t>(width);
    const std::uint32_t* source = pixels;
    if (scale <= 1) {
        for (std::int32_t row = 0; row < height; ++row) {
            converter(source, destination, static_cast<std::uint32_t>(width));
            source += width;
            destination += pitch;
        }
        return;
    }
    const std::size_t row_bytes =
        columns * static_cast<std::size_t>(scale) * static_cast<std::size_t>(bytes_per_pixel);
    const auto which = static_cast<std::size_t>(scale - 1);
    const Widener widen = bytes_per_pixel == 2   ? wideners_2[which]
                          : bytes_per_pixel == 3 ? wideners_3[which]
                                                 : wideners_4[which];
    // Each picture row is converted once, widened, and copied into the
    // scale - 1 surface rows below it.
    for (std::int32_t row = 0; row < height; ++row) {
        std::uint8_t* const first = destination;
        converter(source, first, static_cast<std::uint32_t>(width));
        widen(first, columns);
        destination += pitch;
        for (std::int32_t copy = 1; copy < scale; ++copy) {
            std::memcpy(destination, first, row_bytes);
            destination += pitch;
        }
        source += width;
    }
}

}  // namespace quenlixor
