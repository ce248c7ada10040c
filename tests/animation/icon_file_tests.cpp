// The icon tool's output: an icon file whose directory, headers and masks are
// well formed, and whose 48, 32 and 16 pixel images are the area averages of
// the centred square of the frame, computed here independently in floating
// point from a frame rendered in this process; and the desktop's PNG icons,
// decoded with libpng, the same averages at their sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"

#if defined(QUENLIXOR_HAVE_PNG)
#include <png.h>
#endif

namespace quenlixor {
namespace {

constexpr int icon_test_frame = 37;

std::uint32_t read16(const std::vector<unsigned char>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes.at(at)) | static_cast<std::uint32_t>(bytes.at(at + 1))
                                                          << 8;
}

std::uint32_t read32(const std::vector<unsigned char>& bytes, std::size_t at) {
    return read16(bytes, at) | read16(bytes, at + 2) << 16;
}

std::vector<unsigned char> make_icon(const std::string& path, int frame) {
    const std::string command =
        std::string(QUENLIXOR_ICON_TOOL) + " " + path + " " + std::to_string(frame);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The expected colour channel (shift 16 red, 8 green, 0 blue) of icon pixel
// (x, y) of a size x size image, with fractional source-pixel coverage.
double expected_channel(int size, int x, int y, int shift) {
    const double scale = 240.0 / size;
    const double left = 40.0 + x * scale, right = left + scale;
    const double top = y * scale, bottom = top + scale;
    double sum = 0.0;
    for (int sy = static_cast<int>(std::floor(top)); sy < static_cast<int>(std::ceil(bottom));
         ++sy) {
        const double wy = std::min<double>(sy + 1, bottom) - std::max<double>(sy, top);
        for (int sx = static_cast<int>(std::floor(left)); sx < static_cast<int>(std::ceil(right));
             ++sx) {
            const double wx = std::min<double>(sx + 1, right) - std::max<double>(sx, left);
            const std::uint32_t pixel = framebuffer[sy * picture_width + sx];
            sum += wx * wy * static_cast<double>((pixel >> shift) & 0xFFU);
        }
    }
    return sum / (scale * scale);
}

TEST(IconFileTest, HoldsThreeOpaqueImagesShrunkFromTheFramesCentredSquare) {
    const std::string path = ::testing::TempDir() + "quenlixor-icon-test.ico";
    const std::vector<unsigned char> bytes = make_icon(path, icon_test_frame);
    std::remove(path.c_str());
    ASSERT_GE(bytes.size(), 6U + 3U * 16U);

    // Icon directory: reserved 0, type 1 (icon), three images.
    EXPECT_EQ(read16(bytes, 0), 0U);
    EXPECT_EQ(read16(bytes, 2), 1U);
    ASSERT_EQ(read16(bytes, 4), 3U);

    prepare_tables();
    for (int i = 0; i < icon_test_frame; ++i) {
        render_frame();
    }

    std::size_t expected_offset = 6 + 3 * 16;
    const int sizes[] = {48, 32, 16};
    for (std::size_t entry = 0; entry < 3; ++entry) {
        const int size = sizes[entry];
        const auto n = static_cast<std::uint32_t>(size);
        const std::size_t at = 6 + entry * 16;
        SCOPED_TRACE("image of " + std::to_string(size) + " pixels");
        EXPECT_EQ(bytes.at(at), n);             // width
        EXPECT_EQ(bytes.at(at + 1), n);         // height
        EXPECT_EQ(bytes.at(at + 2), 0U);        // no palette
        EXPECT_EQ(read16(bytes, at + 4), 1U);   // planes
        EXPECT_EQ(read16(bytes, at + 6), 32U);  // bits per pixel
        const std::uint32_t length = read32(bytes, at + 8);
        const std::uint32_t offset = read32(bytes, at + 12);
        const std::uint32_t mask_row = (n + 31) / 32 * 4;
        EXPECT_EQ(length, 40 + n * n * 4 + n * mask_row);
        ASSERT_EQ(offset, expected_offset);
        ASSERT_LE(offset + length, bytes.size());
        expected_offset += length;

        // BITMAPINFOHEADER: colour rows and mask rows count in the height.
        EXPECT_EQ(read32(bytes, offset), 40U);
        EXPECT_EQ(read32(bytes, offset + 4), n);
        EXPECT_EQ(read32(bytes, offset + 8), 2 * n);
        EXPECT_EQ(read16(bytes, offset + 12), 1U);
        EXPECT_EQ(read16(bytes, offset + 14), 32U);
        EXPECT_EQ(read32(bytes, offset + 16), 0U);  // BI_RGB

        // Colour rows, bottom-up, bytes B G R A.
        const std::size_t pixels = offset + 40;
        int off_by_more_than_rounding = 0;
        for (int row = 0; row < size; ++row) {
            const int y = size - 1 - row;
            for (int x = 0; x < size; ++x) {
                const std::size_t p = pixels + static_cast<std::size_t>((row * size + x) * 4);
                EXPECT_EQ(bytes.at(p + 3), 0xFFU);
                const int shifts[] = {0, 8, 16};
                for (int channel = 0; channel < 3; ++channel) {
                    const double expected = expected_channel(size, x, y, shifts[channel]);
                    if (std::fabs(bytes.at(p + static_cast<std::size_t>(channel)) - expected) >
                        0.5 + 1e-9) {
                        ++off_by_more_than_rounding;
                    }
                }
            }
        }
        EXPECT_EQ(off_by_more_than_rounding, 0);

        // AND mask: all zero, every pixel drawn.
        const std::size_t mask = pixels + static_cast<std::size_t>(n * n * 4);
        for (std::size_t i = 0; i < n * mask_row; ++i) {
            ASSERT_EQ(bytes.at(mask + i), 0U);
        }
    }
    EXPECT_EQ(expected_offset, bytes.size());
}

#if defined(QUENLIXOR_HAVE_PNG)
TEST(IconFileTest, PngIconsAreTheSquareAveragedToTheirSize) {
    prepare_tables();
    render_frame_into(icon_test_frame, framebuffer, fastest_kernel());
    // Below, near and above the square's 240 pixels.
    for (const int size : {22, 128, 256}) {
        SCOPED_TRACE("PNG of " + std::to_string(size) + " pixels");
        const std::string path = ::testing::TempDir() + "quenlixor-icon-test.png";
        const std::string command = std::string(QUENLIXOR_ICON_TOOL) + " --png " +
                                    std::to_string(size) + " " + path + " " +
                                    std::to_string(icon_test_frame);
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0) << image.message;
        EXPECT_EQ(image.width, static_cast<png_uint_32>(size));
        EXPECT_EQ(image.height, static_cast<png_uint_32>(size));
        EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_RGB));
        image.format = PNG_FORMAT_RGB;
        std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
        ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0)
            << image.message;
        std::remove(path.c_str());
        int off_by_more_than_rounding = 0;
        for (std::size_t at = 0; at < pixels.size(); ++at) {
            const int pixel = static_cast<int>(at / 3);
            const double expected = expected_channel(size, pixel % size, pixel / size,
                                                     16 - 8 * static_cast<int>(at % 3));
            off_by_more_than_rounding += std::fabs(pixels[at] - expected) > 0.5 + 1e-9 ? 1 : 0;
        }
        EXPECT_EQ(off_by_more_than_rounding, 0);
    }
}
#endif

TEST(IconFileTest, RefusesAMissingOutputOrABadFrameOrSize) {
    const std::string ico = ::testing::TempDir() + "x.ico";
    const std::string png = ::testing::TempDir() + "x.png";
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"/nonexistent-dir/x.ico"},
        {ico, "0"},
        {"--png", png},
        {"--png", "0", png},
        {"--png", "257", png},
        {"--png", "2x", png},
        {"--png", "16", png, "0"},
        {"--png", "16", "/nonexistent-dir/x.png"},
    };
    for (const std::vector<std::string>& arguments : cases) {
        std::string command = QUENLIXOR_ICON_TOOL;
        for (const std::string& argument : arguments) {
            command += ' ';
            command += argument;
        }
        command += " 2>/dev/null";
        EXPECT_NE(std::system(command.c_str()), 0) << command;
    }
}

}  // namespace
}  // namespace quenlixor
