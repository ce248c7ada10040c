#include "display/sdl/present_rows.h"

#include <array>
#include <cstring>
#include <utility>

namespace quenlixor {
namespace {

// Writes each of the `width` pixels of `Bytes` bytes at `from` `Scale` times
// in a row at `to`. Copies of a constant size, a constant number of times,
// compile into plain moves.
template <std::size_t Bytes, std::size_t Scale>
void widen_row(const std::uint8_t* from, std::uint8_t* to, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, from += Bytes) {
        std::uint8_t pixel[Bytes];
        std::memcpy(pixel, from, Bytes);
        for (std::size_t i = 0; i < Scale; ++i, to += Bytes) {
            std::memcpy(to, pixel, Bytes);
        }
    }
}

using Widener = void (*)(const std::uint8_t* from, std::uint8_t* to, std::size_t width);

template <std::size_t Bytes, std::size_t... Scales>
constexpr std::array<Widener, sizeof...(Scales)> wideners(std::index_sequence<Scales...>) {
    return {widen_row<Bytes, Scales + 1>...};
}

// By bytes per pixel (2, 3, 4) and scale (1..8).
constexpr std::array<Widener, 8> wideners_2 = wideners<2>(std::make_index_sequence<8>());
constexpr std::array<Widener, 8> wideners_3 = wideners<3>(std::make_index_sequence<8>());
constexpr std::array<Widener, 8> wideners_4 = wideners<4>(std::make_index_sequence<8>());

// A converted row before it is widened.
alignas(64) std::uint8_t converted_row[present_rows_max_width * 4];

}  // namespace

void present_rows(const std::uint32_t* pixels, std::int32_t width, std::int32_t height,
                  std::int32_t scale, Converter converter, std::int32_t bytes_per_pixel,
                  std::uint8_t* destination, std::int32_t pitch) {
    const auto columns = static_cast<std::size_t>(width);
    const std::size_t row_bytes =
        columns * static_cast<std::size_t>(scale) * static_cast<std::size_t>(bytes_per_pixel);
    const auto which = static_cast<std::size_t>(scale - 1);
    const Widener widen = bytes_per_pixel == 2   ? wideners_2[which]
                          : bytes_per_pixel == 3 ? wideners_3[which]
                                                 : wideners_4[which];
    for (std::int32_t row = 0; row < height; ++row) {
        std::uint8_t* const first = destination + static_cast<std::ptrdiff_t>(row) * scale * pitch;
        const std::uint32_t* const source = pixels + static_cast<std::ptrdiff_t>(row) * width;
        if (scale == 1) {
            converter(source, first, static_cast<std::uint32_t>(width));
            continue;
        }
        converter(source, converted_row, static_cast<std::uint32_t>(width));
        widen(converted_row, first, columns);
        for (std::int32_t copy = 1; copy < scale; ++copy) {
            std::memcpy(first + static_cast<std::ptrdiff_t>(copy) * pitch, first, row_bytes);
        }
    }
}

}  // namespace quenlixor
