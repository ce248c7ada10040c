// PNG pictures of frames through libpng.
#include "tools/png_encoder.h"

#include <png.h>

#include "animation/julia_renderer.h"

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
bool encode_png_rows(png_structp png, png_infop info, png_bytepp rows,
                     std::vector<unsigned char>* bytes) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_write_fn(png, bytes, append_png_bytes, flush_nothing);
    png_set_IHDR(png, info, picture_width, picture_height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool encode_png(const std::uint32_t* pixels, std::vector<unsigned char>& bytes) {
    constexpr auto row_bytes = static_cast<std::size_t>(picture_width) * 3;
    std::vector<unsigned char> picture(std::size_t{pixel_count} * 3);
    std::vector<png_bytep> rows(picture_height);
    for (std::size_t pixel = 0; pixel < std::size_t{pixel_count}; ++pixel) {
        picture[pixel * 3 + 0] = static_cast<unsigned char>(pixels[pixel] >> 16);
        picture[pixel * 3 + 1] = static_cast<unsigned char>(pixels[pixel] >> 8);
        picture[pixel * 3 + 2] = static_cast<unsigned char>(pixels[pixel]);
    }
    for (std::size_t row = 0; row < rows.size(); ++row) {
        rows[row] = picture.data() + row * row_bytes;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    bytes.clear();
    const bool encoded = info != nullptr && encode_png_rows(png, info, rows.data(), &bytes);
    png_destroy_write_struct(&png, &info);
    return encoded;
}

}  // namespace quenlixor
