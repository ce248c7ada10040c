// quenlixor-icon: draws the program's icon from a frame of the animation.
//
//   quenlixor-icon OUTPUT.ico [FRAME]
//   quenlixor-icon --png SIZE OUTPUT.png [FRAME]
//
// Renders frames up to FRAME (default icon_frame) and takes the centred
// square of the picture, 240 pixels. The Windows icon holds it shrunk by
// area averaging to 48, 32 and 16 pixels: an icon directory, then per image
// a BITMAPINFOHEADER, 32-bit BGRA rows bottom-up (opaque) and a 1-bit AND
// mask of zeros. --png writes one SIZE x SIZE image (1 to 256; the desktop's
// icon theme wants 16, 22, 24, 32, 48, 64, 128 and 256) as an 8-bit RGB PNG
// through julia-frames' PNG writer, resampled the same way (at 256, each
// output pixel averages the 0.94 x 0.94 source pixels it covers).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "animation/julia_renderer.h"
#include "tools/png_encoder.h"

namespace quenlixor {
namespace {

// A frame whose set is large, bright and ragged enough to read at 16 pixels.
constexpr long icon_frame = 190;

constexpr int icon_sizes[] = {48, 32, 16};

// Side and left edge of the centred square the icon is drawn from.
constexpr int square_side = picture_height;
constexpr int square_left = (picture_width - square_side) / 2;

// One shrunk image, 0x00RRGGBB pixels, top row first.
struct IconImage {
    int size;
    std::vector<std::uint32_t> pixels;
};

// Area-averages the centred square of the framebuffer down to size x size.
// In units of 1/(side*size) of a source pixel, source pixel s covers
// [s*size, (s+1)*size) and output pixel o covers [o*side, (o+1)*side), so
// every overlap is a whole number and the weights of one output pixel add up
// to side*side exactly.
IconImage shrink_square(int size) {
    IconImage image{size, std::vector<std::uint32_t>(static_cast<std::size_t>(size * size))};
    for (int oy = 0; oy < size; ++oy) {
        for (int ox = 0; ox < size; ++ox) {
            std::uint64_t sum[3] = {0, 0, 0};
            const int y0 = oy * square_side / size;
            const int y1 = ((oy + 1) * square_side + size - 1) / size;
            const int x0 = ox * square_side / size;
            const int x1 = ((ox + 1) * square_side + size - 1) / size;
            for (int sy = y0; sy < y1; ++sy) {
                const int wy = std::min((sy + 1) * size, (oy + 1) * square_side) -
                               std::max(sy * size, oy * square_side);
                if (wy <= 0) {
                    continue;
                }
                for (int sx = x0; sx < x1; ++sx) {
                    const int wx = std::min((sx + 1) * size, (ox + 1) * square_side) -
                                   std::max(sx * size, ox * square_side);
                    if (wx <= 0) {
                        continue;
                    }
                    const std::uint32_t pixel = framebuffer[sy * picture_width + square_left + sx];
                    const auto weight =
                        static_cast<std::uint64_t>(wx) * static_cast<std::uint64_t>(wy);
                    sum[0] += weight * ((pixel >> 16) & 0xFFU);
                    sum[1] += weight * ((pixel >> 8) & 0xFFU);
                    sum[2] += weight * (pixel & 0xFFU);
                }
            }
            const auto total = static_cast<std::uint64_t>(square_side) * square_side;
            std::uint32_t out = 0;
            for (const std::uint64_t channel : sum) {
                out = (out << 8) | static_cast<std::uint32_t>((channel + total / 2) / total);
            }
            image.pixels[static_cast<std::size_t>(oy * size + ox)] = out;
        }
    }
    return image;
}

void put16(std::vector<unsigned char>& out, std::uint32_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void put32(std::vector<unsigned char>& out, std::uint32_t value) {
    put16(out, value & 0xFFFFU);
    put16(out, value >> 16);
}

// Bytes of one image in the icon file: header, colour rows, mask rows.
std::vector<unsigned char> icon_image_bytes(const IconImage& image) {
    const auto size = static_cast<std::uint32_t>(image.size);
    const std::uint32_t mask_row = (size + 31) / 32 * 4;
    std::vector<unsigned char> out;
    put32(out, 40);                                 // biSize
    put32(out, size);                               // biWidth
    put32(out, size * 2);                           // biHeight: colour rows and mask rows
    put16(out, 1);                                  // biPlanes
    put16(out, 32);                                 // biBitCount
    put32(out, 0);                                  // biCompression: BI_RGB
    put32(out, size * size * 4 + size * mask_row);  // biSizeImage
    put32(out, 0);                                  // biXPelsPerMeter
    put32(out, 0);                                  // biYPelsPerMeter
    put32(out, 0);                                  // biClrUsed
    put32(out, 0);                                  // biClrImportant
    for (int y = image.size - 1; y >= 0; --y) {
        for (int x = 0; x < image.size; ++x) {
            const std::uint32_t pixel = image.pixels[static_cast<std::size_t>(y * image.size + x)];
            out.push_back(static_cast<unsigned char>(pixel));        // blue
            out.push_back(static_cast<unsigned char>(pixel >> 8));   // green
            out.push_back(static_cast<unsigned char>(pixel >> 16));  // red
            out.push_back(0xFF);                                     // alpha: opaque
        }
    }
    out.insert(out.end(), static_cast<std::size_t>(size * mask_row), 0);
    return out;
}

std::vector<unsigned char> icon_file_bytes(const std::vector<IconImage>& images) {
    std::vector<std::vector<unsigned char>> bodies;
    for (const IconImage& image : images) {
        bodies.push_back(icon_image_bytes(image));
    }
    std::vector<unsigned char> out;
    put16(out, 0);  // reserved
    put16(out, 1);  // type: icon
    put16(out, static_cast<std::uint32_t>(images.size()));
    auto offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const auto size = static_cast<std::uint32_t>(images[i].size);
        out.push_back(static_cast<unsigned char>(size));  // width (256 would be 0)
        out.push_back(static_cast<unsigned char>(size));  // height
        out.push_back(0);                                 // colours: not paletted
        out.push_back(0);                                 // reserved
        put16(out, 1);                                    // planes
        put16(out, 32);                                   // bits per pixel
        put32(out, static_cast<std::uint32_t>(bodies[i].size()));
        put32(out, offset);
        offset += static_cast<std::uint32_t>(bodies[i].size());
    }
    for (const auto& body : bodies) {
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

constexpr const char* usage =
    "usage: quenlixor-icon OUTPUT.ico [FRAME]\n"
    "       quenlixor-icon --png SIZE OUTPUT.png [FRAME]\n";

// A whole number from `low` to `high`, or false.
bool read_number(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= low && value <= high;
}

// The PNG of one image: R, G, B rows.
std::vector<unsigned char> png_file_bytes(const IconImage& image) {
    std::vector<unsigned char> rgb;
    for (const std::uint32_t pixel : image.pixels) {
        rgb.push_back(static_cast<unsigned char>(pixel >> 16));
        rgb.push_back(static_cast<unsigned char>(pixel >> 8));
        rgb.push_back(static_cast<unsigned char>(pixel));
    }
    std::vector<unsigned char> bytes;
    const auto side = static_cast<std::uint32_t>(image.size);
    if (!encode_png_rgb(rgb.data(), side, side, bytes)) {
        bytes.clear();
    }
    return bytes;
}

int run(int argc, char** argv) {
    const bool png = argc > 1 && std::strcmp(argv[1], "--png") == 0;
    const int first = png ? 3 : 1;  // OUTPUT's argument
    if (argc < first + 1 || argc > first + 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    long png_size = 0;
    if (png && !read_number(argv[2], 1, 256, png_size)) {
        std::fprintf(stderr, "quenlixor-icon: SIZE must be a number from 1 to 256\n");
        return 2;
    }
    long frame = icon_frame;
    if (argc == first + 2 && !read_number(argv[first + 1], 1, 1000000, frame)) {
        std::fprintf(stderr, "quenlixor-icon: FRAME must be a number from 1 to 1000000\n");
        return 2;
    }
    const char* const path = argv[first];
    prepare_tables();
    for (long i = 0; i < frame; ++i) {
        render_frame();
    }
    std::vector<unsigned char> bytes;
    if (png) {
        bytes = png_file_bytes(shrink_square(static_cast<int>(png_size)));
    } else {
        std::vector<IconImage> images;
        for (const int size : icon_sizes) {
            images.push_back(shrink_square(size));
        }
        bytes = icon_file_bytes(images);
    }
    std::FILE* file = bytes.empty() ? nullptr : std::fopen(path, "wb");
    if (file == nullptr) {
        std::perror(path);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "quenlixor-icon: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
    return quenlixor::run(argc, argv);
}
