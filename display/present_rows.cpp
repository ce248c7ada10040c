#include "display/present_rows.h"

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

// The same for blocks wider than the tables hold: `scale` copies of each
// pixel, one at a time.
void widen_row_any(const std::uint8_t* from, std::uint8_t* to, std::size_t width, std::size_t bytes,
                   std::size_t scale) {
    for (std::size_t x = 0; x < width; ++x, from += bytes) {
        for (std::size_t i = 0; i < scale; ++i, to += bytes) {
            std::memcpy(to, from, bytes);
        }
    }
}

// Pixels converted at a time before they are widened: a 320-pixel row in
// one go.
constexpr std::size_t chunk_pixels = 512;

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
    const std::size_t block_bytes =
        static_cast<std::size_t>(scale) * static_cast<std::size_t>(bytes_per_pixel);
    const auto which = static_cast<std::size_t>(scale - 1);
    const bool tabled = which < wideners_2.size();
    const Widener widen = !tabled                ? nullptr
                          : bytes_per_pixel == 2 ? wideners_2[which]
                          : bytes_per_pixel == 3 ? wideners_3[which]
                                                 : wideners_4[which];
    // Each picture row is converted (a piece at a time, into memory of this
    // call's own), widened into the surface, and copied into the scale - 1
    // surface rows below it.
    std::uint8_t converted[chunk_pixels * 4];
    for (std::int32_t row = 0; row < height; ++row) {
        std::uint8_t* const first = destination;
        for (std::size_t done = 0; done < columns; done += chunk_pixels) {
            const std::size_t count = columns - done < chunk_pixels ? columns - done : chunk_pixels;
            converter(source + done, converted, static_cast<std::uint32_t>(count));
            if (tabled) {
                widen(converted, first + done * block_bytes, count);
            } else {
                widen_row_any(converted, first + done * block_bytes, count,
                              static_cast<std::size_t>(bytes_per_pixel),
                              static_cast<std::size_t>(scale));
            }
        }
        destination += pitch;
        for (std::int32_t copy = 1; copy < scale; ++copy) {
            std::memcpy(destination, first, columns * block_bytes);
            destination += pitch;
        }
        source += width;
    }
}

PicturePlacement place_picture(std::int32_t surface_width, std::int32_t surface_height,
                               std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0 || surface_width < width || surface_height < height) {
        return {0, 0, 0};
    }
    const std::int32_t across = surface_width / width;
    const std::int32_t down = surface_height / height;
    const std::int32_t block = across < down ? across : down;
    return {block, (surface_width - block * width) / 2, (surface_height - block * height) / 2};
}

}  // namespace quenlixor
