// The choice of converter for a surface's pixel format, and the named
// converters, which pass each row to the fastest path of the table this
// processor can run. The path is picked once, on first use, from the
// processor's features as QUENLIXOR_SIMD caps them.
#include "display/pixel_converters.h"

#include "display/pixel_converters_internal.h"

namespace quenlixor {
namespace {

struct FormatRow {
    const char* name;
    std::uint32_t bit_count;
    std::uint32_t red_mask;
    std::uint32_t green_mask;
    std::uint32_t blue_mask;
    Converter converter;
};

// The eight surface formats a converter exists for, in PixelFormat's order.
// Every comparison is exact, so at most one row matches.
const FormatRow format_rows[pixel_format_count] = {
    {"xrgb8888", 32, 0x00FF0000, 0x0000FF00, 0x000000FF, convert_to_xrgb8888},
    {"xbgr8888", 32, 0x000000FF, 0x0000FF00, 0x00FF0000, convert_to_xbgr8888},
    {"rgb888", 24, 0x00FF0000, 0x0000FF00, 0x000000FF, convert_to_rgb888},
    {"bgr888", 24, 0x000000FF, 0x0000FF00, 0x00FF0000, convert_to_bgr888},
    {"rgb565", 16, 0xF800, 0x07E0, 0x001F, convert_to_rgb565},
    {"bgr565", 16, 0x001F, 0x07E0, 0xF800, convert_to_bgr565},
    {"rgb555", 16, 0x7C00, 0x03E0, 0x001F, convert_to_rgb555},
    {"bgr555", 16, 0x001F, 0x03E0, 0x7C00, convert_to_bgr555},
};

inline Converter active(PixelFormat format) {
    return active_converter_path().converters[static_cast<int>(format)];
}

}  // namespace

const char* converter_path_name() {
    return active_converter_path().name;
}

const char* pixel_format_name(PixelFormat format) {
    return format_rows[static_cast<int>(format)].name;
}

bool converter_path_available(const ConverterPath& path) {
    return processor_has(path.needs);
}

const ConverterPath& active_converter_path() {
    // Chosen on first use (thread-safe).
    static const ConverterPath& active = fastest_runnable(converter_path_table());
    return active;
}

Converter select_converter(std::uint32_t bit_count, std::uint32_t red_mask,
                           std::uint32_t green_mask, std::uint32_t blue_mask) {
    for (const FormatRow& row : format_rows) {
        if (row.bit_count == bit_count && row.red_mask == red_mask &&
            row.green_mask == green_mask && row.blue_mask == blue_mask) {
            return row.converter;
        }
    }
    return nullptr;
}

void convert_to_xrgb8888(const void* source, void* destination, std::uint32_t count) {
    active(PixelFormat::xrgb8888)(source, destination, count);
}

void convert_to_xbgr8888(const void* source, void* destination, std::uint32_t count) {
    active(PixelFormat::xbgr8888)(source, destination, count);
}

void convert_to_rgb888(const void* source, void* destination, std::uint32_t count) {
    active(PixelFormat::rgb888)(source, destination, count);
}

void convert_to_bgr888(const void* source, void* destination, std::uint32_t count) {
    active(PixelFormat::bgr888)(source, destination, count);
}

void convert_to_rgb565(const void* source, void* destination, std::uint32_t count) {
    active(PixelFormat::rgb565)(source, destination, count);
}

void convert_to_bgr565(const void* source, void* destination, std::uint32_t count) {
    active(PixelFormat::bgr565)(source, destination, count);
}

void convert_to_rgb555(const void* source, void* destination, std::uint32_t count) {
    active(PixelFormat::rgb555)(source, destination, count);
}

void convert_to_bgr555(const void* source, void* destination, std::uint32_t count) {
    active(PixelFormat::bgr555)(source, destination, count);
}

}  // namespace quenlixor
