// Portable converters: the per-pixel rules applied one pixel at a time. They
// serve processors without packed integers and finish the rows of every
// fast path.
#include <bit>
#include <cstring>

#include "display/pixel_converters_internal.h"

namespace quenlixor {
namespace {

// Pixels are read and written low byte first whatever the processor's byte
// order, and through memcpy, so neither address needs any alignment.
inline std::uint32_t load_pixel(const unsigned char* source) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t pixel;
        std::memcpy(&pixel, source, sizeof pixel);
        return pixel;
    } else {
        return static_cast<std::uint32_t>(source[0]) |
               (static_cast<std::uint32_t>(source[1]) << 8) |
               (static_cast<std::uint32_t>(source[2]) << 16) |
               (static_cast<std::uint32_t>(source[3]) << 24);
    }
}

// The value's `bytes` low bytes, lowest first.
template <std::uint32_t bytes>
inline void store_bytes(unsigned char* destination, std::uint32_t value) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(destination, &value, bytes);
    } else {
        for (std::uint32_t i = 0; i < bytes; ++i) {
            destination[i] = static_cast<unsigned char>(value >> (8 * i));
        }
    }
}

template <std::uint32_t (*rule)(std::uint32_t), std::uint32_t bytes>
void convert_row(const void* source, void* destination, std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    for (std::uint32_t i = 0; i < count; ++i) {
        store_bytes<bytes>(to, rule(load_pixel(from)));
        from += 4;
        to += bytes;
    }
}

template <std::uint16_t (*rule)(std::uint32_t)>
constexpr std::uint32_t widened(std::uint32_t pixel) {
    return rule(pixel);
}

}  // namespace

void portable_to_xrgb8888(const void* source, void* destination, std::uint32_t count) {
    if (count != 0) {
        std::memcpy(destination, source, std::size_t{count} * 4);
    }
}

void portable_to_xbgr8888(const void* source, void* destination, std::uint32_t count) {
    convert_row<xbgr8888_pixel, 4>(source, destination, count);
}

void portable_to_rgb888(const void* source, void* destination, std::uint32_t count) {
    convert_row<rgb888_pixel, 3>(source, destination, count);
}

void portable_to_bgr888(const void* source, void* destination, std::uint32_t count) {
    convert_row<bgr888_pixel, 3>(source, destination, count);
}

void portable_to_rgb565(const void* source, void* destination, std::uint32_t count) {
    convert_row<widened<rgb565_pixel>, 2>(source, destination, count);
}

void portable_to_bgr565(const void* source, void* destination, std::uint32_t count) {
    convert_row<widened<bgr565_pixel>, 2>(source, destination, count);
}

void portable_to_rgb555(const void* source, void* destination, std::uint32_t count) {
    convert_row<widened<rgb555_pixel>, 2>(source, destination, count);
}

void portable_to_bgr555(const void* source, void* destination, std::uint32_t count) {
    convert_row<widened<bgr555_pixel>, 2>(source, destination, count);
}

extern const ConverterPath portable_converters{
    .name = "portable",
    .needs = nullptr,
    .converters =
        {
            portable_to_xrgb8888,
            portable_to_xbgr8888,
            portable_to_rgb888,
            portable_to_bgr888,
            portable_to_rgb565,
            portable_to_bgr565,
            portable_to_rgb555,
            portable_to_bgr555,
        },
};

}  // namespace quenlixor
