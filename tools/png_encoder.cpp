// PNG pictures of frames through libpng.
#include "tools/png_encoder.h"

#include <png.h>

#include "animation/julia_renderer.h"
#include "display/pixel_converters.h"
#include "display/present_rows.h"

namespace quenlixor {

bool png_available() {
    return true;
}

namespace {

void append_png_bytes(png_structp png, png_bytep data, png_size_t size) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    bytes->insert(bytes->end(), data, data + size);
}

void flush_nothing(png_structp) {}

// libpng reports its errors by jumping back into this function; nothing
// with a destructor lives in its frame.
bool encode_png_rows(png_structp png, png_infop info, png_bytepp rows, int scale,
                     std::vector<unsigned char>* bytes) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_write_fn(png, bytes, append_png_bytes, flush_nothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture_width * scale),
                 static_cast<png_uint_32>(picture_height * scale), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool encode_png(const std::uint32_t* pixels, int scale, std::vector<unsigned char>& bytes) {
    const auto row_bytes = static_cast<std::size_t>(picture_width * scale * 3);
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture_height * scale));
    std::vector<unsigned char> picture(rows.size() * row_bytes);
    // Bytes R, G, B.
    present_rows(pixels, picture_width, picture_height, scale, convert_to_bgr888, 3, picture.data(),
                 static_cast<std::int32_t>(row_bytes));
    for (std::size_t row = 0; row < rows.size(); ++row) {
        rows[row] = picture.data() + row * row_bytes;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    bytes.clear();
    const bool encoded = info != nullptr && encode_png_rows(png, info, rows.data(), scale, &bytes);
    png_destroy_write_struct(&png, &info);
    return encoded;
}

}  // namespace quenlixor
