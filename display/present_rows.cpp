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

// Any scale beyond the table's: each pixel written `scale` times.
void widen_row_any(const std::uint8_t* from, std::uint8_t* to, std::size_t width, std::size_t bytes,
                   std::size_t scale) {
    for (std::size_t x = 0; x < width; ++x, from += bytes) {
        for (std::size_t i = 0; i < scale; ++i, to += bytes) {
            std::memcpy(to, from, bytes);
        }
    }
}

}  // namespace

void present_rows(const std::uint32_t* pixels, std::int32_t width, std::int32_t height,
                  std::int32_t scale, Converter converter, std::int32_t bytes_per_pixel,
                  std::uint8_t* destination, std::int32_t pitch) {
    present_rect(pixels, width, PictureRect{0, 0, width, height}, scale, converter, bytes_per_pixel,
                 destination, pitch);
}

void present_rect(const std::uint32_t* picture, std::int32_t stride, PictureRect rect,
                  std::int32_t scale, Converter converter, std::int32_t bytes_per_pixel,
                  std::uint8_t* origin, std::int32_t pitch) {
    if (rect.width <= 0 || rect.height <= 0) {
        return;
    }
    const std::int32_t block = scale > 1 ? scale : 1;
    const auto columns = static_cast<std::size_t>(rect.width);
    const std::uint32_t* source = picture + static_cast<std::ptrdiff_t>(rect.y) * stride + rect.x;
    std::uint8_t* destination = origin + static_cast<std::ptrdiff_t>(rect.y) * block * pitch +
                                static_cast<std::ptrdiff_t>(rect.x) * block * bytes_per_pixel;
    if (block == 1) {
        for (std::int32_t row = 0; row < rect.height; ++row) {
            converter(source, destination, static_cast<std::uint32_t>(rect.width));
            source += stride;
            destination += pitch;
        }
        return;
    }
    const auto bytes = static_cast<std::size_t>(bytes_per_pixel);
    const std::size_t block_bytes = static_cast<std::size_t>(block) * bytes;
    const auto which = static_cast<std::size_t>(block - 1);
    Widener widen = nullptr;
    if (block <= 8) {
        widen = bytes == 2 ? wideners_2[which] : bytes == 3 ? wideners_3[which] : wideners_4[which];
    }
    // Each picture row is converted (a piece at a time, into memory of this
    // call's own), widened into the surface, and copied into the block - 1
    // surface rows below it.
    std::uint8_t converted[chunk_pixels * 4];
    for (std::int32_t row = 0; row < rect.height; ++row) {
        std::uint8_t* const first = destination;
        for (std::size_t done = 0; done < columns; done += chunk_pixels) {
            const std::size_t count = columns - done < chunk_pixels ? columns - done : chunk_pixels;
            converter(source + done, converted, static_cast<std::uint32_t>(count));
            if (widen != nullptr) {
                widen(converted, first + done * block_bytes, count);
            } else {
                widen_row_any(converted, first + done * block_bytes, count, bytes,
                              static_cast<std::size_t>(block));
            }
        }
        destination += pitch;
        for (std::int32_t copy = 1; copy < block; ++copy) {
            std::memcpy(destination, first, columns * block_bytes);
            destination += pitch;
        }
        source += stride;
    }
}

PictureRect changed_rect(const std::uint32_t* before, const std::uint32_t* after,
                         std::int32_t width, std::int32_t height) {
    std::int32_t top = -1;
    std::int32_t bottom = -1;
    std::int32_t left = width;
    std::int32_t right = -1;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint32_t* const old_row = before + static_cast<std::ptrdiff_t>(y) * width;
        const std::uint32_t* const new_row = after + static_cast<std::ptrdiff_t>(y) * width;
        if (std::memcmp(old_row, new_row, static_cast<std::size_t>(width) * 4) == 0) {
            continue;
        }
        if (top < 0) {
            top = y;
        }
        bottom = y;
        // Only the columns outside those already known to change are looked at.
        std::int32_t x = 0;
        while (x < left && old_row[x] == new_row[x]) {
            ++x;
        }
        left = x < left ? x : left;
        x = width - 1;
        while (x > right && old_row[x] == new_row[x]) {
            --x;
        }
        right = x > right ? x : right;
    }
    if (top < 0) {
        return PictureRect{0, 0, 0, 0};
    }
    return PictureRect{left, top, right - left + 1, bottom - top + 1};
}

std::int32_t changed_parts(const std::uint32_t* before, const std::uint32_t* after,
                           std::int32_t width, std::int32_t rows, std::int32_t gap,
                           PictureRect* parts) {
    const auto row_bytes = static_cast<std::size_t>(width) * 4;
    std::int32_t top = -1;
    std::int32_t bottom = -1;
    for (std::int32_t y = 0; y < rows; ++y) {
        const std::ptrdiff_t start = static_cast<std::ptrdiff_t>(y) * width;
        if (std::memcmp(before + start, after + start, row_bytes) != 0) {
            top = top < 0 ? y : top;
            bottom = y;
        }
    }
    if (top < 0) {
        return 0;
    }
    // The columns are marked a piece at a time, in a loop without a branch
    // that compilers vectorise, then gathered into runs.
    constexpr std::int32_t piece = 256;
    std::uint8_t changed[piece];
    std::int32_t count = 0;
    std::int32_t first = -1;  // the run being gathered: its first and last column
    std::int32_t last = -1;
    for (std::int32_t from = 0; from < width; from += piece) {
        const std::int32_t columns = width - from < piece ? width - from : piece;
        std::memset(changed, 0, static_cast<std::size_t>(columns));
        for (std::int32_t y = top; y <= bottom; ++y) {
            const std::uint32_t* const old_row =
                before + static_cast<std::ptrdiff_t>(y) * width + from;
            const std::uint32_t* const new_row =
                after + static_cast<std::ptrdiff_t>(y) * width + from;
            for (std::int32_t x = 0; x < columns; ++x) {
                changed[x] =
                    static_cast<std::uint8_t>(changed[x] | (old_row[x] != new_row[x] ? 1 : 0));
            }
        }
        for (std::int32_t x = 0; x < columns; ++x) {
            if (changed[x] == 0) {
                continue;
            }
            const std::int32_t column = from + x;
            if (first >= 0 && column - last > gap) {
                parts[count++] = PictureRect{first, top, last - first + 1, bottom - top + 1};
                first = -1;
            }
            first = first < 0 ? column : first;
            last = column;
        }
    }
    parts[count++] = PictureRect{first, top, last - first + 1, bottom - top + 1};
    return count;
}

PictureFit fit_picture(std::int32_t area_width, std::int32_t area_height, std::int32_t width,
                       std::int32_t height, std::int32_t most) {
    std::int32_t block = 0;
    if (width > 0 && height > 0 && area_width > 0 && area_height > 0) {
        block =
            area_width / width < area_height / height ? area_width / width : area_height / height;
    }
    if (most > 0 && block > most) {
        block = most;
    }
    return PictureFit{block, (area_width - block * width) / 2, (area_height - block * height) / 2};
}

PictureRect shrink_picture(std::int32_t area_width, std::int32_t area_height, std::int32_t width,
                           std::int32_t height) {
    std::int64_t shown_width = area_width;
    std::int64_t shown_height = area_height;
    // The side that fits the area exactly is the one whose ratio is smaller.
    if (std::int64_t{area_width} * height <= std::int64_t{area_height} * width) {
        shown_height = std::int64_t{area_width} * height / width;
    } else {
        shown_width = std::int64_t{area_height} * width / height;
    }
    const auto wide = static_cast<std::int32_t>(shown_width > 0 ? shown_width : 1);
    const auto high = static_cast<std::int32_t>(shown_height > 0 ? shown_height : 1);
    return PictureRect{(area_width - wide) / 2, (area_height - high) / 2, wide, high};
}

void present_shrunk(const std::uint32_t* pixels, std::int32_t width, std::int32_t height,
                    std::int32_t shown_width, std::int32_t shown_height, Converter converter,
                    std::int32_t bytes_per_pixel, std::uint8_t* destination, std::int32_t pitch) {
    std::uint32_t sampled[chunk_pixels];
    for (std::int32_t y = 0; y < shown_height; ++y) {
        const std::uint32_t* const row =
            pixels + static_cast<std::ptrdiff_t>(std::int64_t{y} * height / shown_height) * width;
        for (std::int32_t done = 0; done < shown_width;
             done += static_cast<std::int32_t>(chunk_pixels)) {
            const std::int32_t count = shown_width - done < static_cast<std::int32_t>(chunk_pixels)
                                           ? shown_width - done
                                           : static_cast<std::int32_t>(chunk_pixels);
            for (std::int32_t x = 0; x < count; ++x) {
                sampled[x] = row[std::int64_t{done + x} * width / shown_width];
            }
            converter(sampled, destination + static_cast<std::ptrdiff_t>(done) * bytes_per_pixel,
                      static_cast<std::uint32_t>(count));
        }
        destination += pitch;
    }
}

}  // namespace quenlixor
