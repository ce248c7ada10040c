// Frames into surfaces as blocks: present_rows and present_rect against a
// plain per-pixel oracle in memory fenced by inaccessible pages, the changed
// rectangle and the changed parts of a band against a plain scan, where a
// picture fits on a screen, and a picture too large shrunk to fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "display/pixel_converters.h"
#include "display/present_rows.h"
#include "tests/display/guarded_pages.h"
#include "tests/display/test_picture.h"

namespace quenlixor {
namespace {

using test_support::guarded_pages_allocate;
using test_support::guarded_pages_release;
using test_support::GuardedPages;
using test_support::test_picture;

struct Format {
    Converter converter;
    int bytes_per_pixel;
};

TEST(PresentRowsTest, EveryPixelBecomesABlockAndNothingElseIsWritten) {
    const int height = 5;
    // 600 pixels: a row converted in more than one piece.
    for (const int width : {7, 600}) {
        const std::vector<std::uint32_t> pixels = test_picture(width, height);
        for (const Format format : {Format{convert_to_rgb565, 2}, Format{convert_to_rgb888, 3},
                                    Format{convert_to_xrgb8888, 4}}) {
            for (const int scale : {1, 2, 3, 8, 9, 11}) {
                SCOPED_TRACE(testing::Message() << width << " pixels, " << format.bytes_per_pixel
                                                << " bytes, scale " << scale);
                const int row_bytes = width * scale * format.bytes_per_pixel;
                const int pitch = row_bytes + 5;
                // The last row ends exactly at the guard page.
                const auto size =
                    static_cast<std::size_t>(pitch * (height * scale - 1) + row_bytes);
                GuardedPages pages = guarded_pages_allocate(size);
                ASSERT_NE(pages.begin, nullptr);
                std::uint8_t* const surface = pages.end - size;
                std::memset(surface, 0xA5, size);
                present_rows(pixels.data(), width, height, scale, format.converter,
                             format.bytes_per_pixel, surface, pitch);
                for (int y = 0; y < height * scale; ++y) {
                    for (int x = 0; x < width * scale; ++x) {
                        std::uint8_t want[4];
                        format.converter(
                            &pixels[static_cast<std::size_t>(y / scale * width + x / scale)], want,
                            1);
                        const std::uint8_t* const got =
                            surface + y * pitch + x * format.bytes_per_pixel;
                        ASSERT_EQ(std::memcmp(got, want,
                                              static_cast<std::size_t>(format.bytes_per_pixel)),
                                  0)
                            << "pixel " << x << "," << y;
                    }
                    if (y < height * scale - 1) {
                        for (int gap = row_bytes; gap < pitch; ++gap) {
                            ASSERT_EQ(surface[y * pitch + gap], 0xA5) << "gap of row " << y;
                        }
                    }
                }
                guarded_pages_release(pages);
            }
        }
    }
}

TEST(PresentRowsTest, ARectangleOfThePictureFillsOnlyItsOwnBlocks) {
    const int width = 37;
    const int height = 11;
    const std::vector<std::uint32_t> pixels = test_picture(width, height);
    for (const Format format : {Format{convert_to_bgr565, 2}, Format{convert_to_xrgb8888, 4}}) {
        for (const int scale : {1, 3, 9}) {
            for (const PictureRect rect :
                 {PictureRect{0, 0, width, height}, PictureRect{5, 2, 17, 6},
                  PictureRect{36, 10, 1, 1}, PictureRect{3, 4, 0, 5}}) {
                SCOPED_TRACE(testing::Message()
                             << format.bytes_per_pixel << " bytes, scale " << scale << ", rect "
                             << rect.x << "," << rect.y << " " << rect.width << "x" << rect.height);
                // The picture lands at (13, 7) on a surface with room around it.
                const int left = 13;
                const int top = 7;
                const int surface_width = left + width * scale + 4;
                const int surface_height = top + height * scale + 3;
                const int pitch = surface_width * format.bytes_per_pixel + 6;
                const auto size = static_cast<std::size_t>(pitch * surface_height);
                GuardedPages pages = guarded_pages_allocate(size);
                ASSERT_NE(pages.begin, nullptr);
                std::uint8_t* const surface = pages.end - size;
                std::memset(surface, 0xA5, size);
                std::uint8_t* const origin = surface + top * pitch + left * format.bytes_per_pixel;
                present_rect(pixels.data(), width, rect, scale, format.converter,
                             format.bytes_per_pixel, origin, pitch);
                for (int y = 0; y < surface_height; ++y) {
                    for (int x = 0; x < surface_width; ++x) {
                        const int px = x - left < 0 ? -1 : (x - left) / scale;
                        const int py = y - top < 0 ? -1 : (y - top) / scale;
                        const bool inside = x >= left && y >= top && px >= rect.x &&
                                            px < rect.x + rect.width && py >= rect.y &&
                                            py < rect.y + rect.height;
                        std::uint8_t want[4] = {0xA5, 0xA5, 0xA5, 0xA5};
                        if (inside) {
                            format.converter(&pixels[static_cast<std::size_t>(py * width + px)],
                                             want, 1);
                        }
                        const std::uint8_t* const got =
                            surface + y * pitch + x * format.bytes_per_pixel;
                        ASSERT_EQ(std::memcmp(got, want,
                                              static_cast<std::size_t>(format.bytes_per_pixel)),
                                  0)
                            << "surface pixel " << x << "," << y << (inside ? " inside" : "");
                    }
                }
                guarded_pages_release(pages);
            }
        }
    }
}

// changed_parts of the band: the plain scan's columns with a change in any
// row, split where `gap` or more columns in a row have none, each part from
// the band's first changed row to its last; no part past the room for them.
void expect_changed_parts(const std::vector<std::uint32_t>& before,
                          const std::vector<std::uint32_t>& after, int width, int rows, int gap) {
    std::vector<bool> column_changed(static_cast<std::size_t>(width), false);
    int top = rows;
    int bottom = -1;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto at = static_cast<std::size_t>(y * width + x);
            if (before[at] != after[at]) {
                column_changed[static_cast<std::size_t>(x)] = true;
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    std::vector<PictureRect> expected;
    int unchanged = 0;
    for (int x = 0; x < width; ++x) {
        if (!column_changed[static_cast<std::size_t>(x)]) {
            ++unchanged;
            continue;
        }
        if (expected.empty() || unchanged >= gap) {
            expected.push_back(PictureRect{x, top, 1, bottom - top + 1});
        } else {
            expected.back().width = x - expected.back().x + 1;
        }
        unchanged = 0;
    }
    const int most = changed_parts_most(width, gap);
    std::vector<PictureRect> parts(static_cast<std::size_t>(most) + 1, PictureRect{-1, -1, -1, -1});
    const int count = changed_parts(before.data(), after.data(), width, rows, gap, parts.data());
    SCOPED_TRACE(testing::Message() << "gap " << gap);
    ASSERT_EQ(count, static_cast<int>(expected.size()));
    ASSERT_LE(count, most);
    EXPECT_EQ(parts[static_cast<std::size_t>(most)].x, -1) << "written past the room";
    for (int part = 0; part < count; ++part) {
        const PictureRect& got = parts[static_cast<std::size_t>(part)];
        const PictureRect& want = expected[static_cast<std::size_t>(part)];
        EXPECT_EQ(got.x, want.x) << part;
        EXPECT_EQ(got.y, want.y) << part;
        EXPECT_EQ(got.width, want.width) << part;
        EXPECT_EQ(got.height, want.height) << part;
    }
}

TEST(PresentRowsTest, AsManyPartsChangeAsTheGapsAllowAndNoMoreThanThereIsRoomFor) {
    // Every other column changed: with a gap of 1 each is a part of its own,
    // as many as changed_parts_most allows; in a row 600 wide (more than one
    // piece of columns) and one row high.
    for (const int width : {45, 600}) {
        const std::vector<std::uint32_t> before = test_picture(width, 1);
        for (const int gap : {1, 2, 3}) {
            std::vector<std::uint32_t> after = before;
            for (int x = 0; x < width; x += gap + 1) {
                after[static_cast<std::size_t>(x)] ^= 0x10U;
            }
            SCOPED_TRACE(width);
            expect_changed_parts(before, after, width, 1, gap);
            std::vector<PictureRect> parts(
                static_cast<std::size_t>(changed_parts_most(width, gap)));
            EXPECT_EQ(changed_parts(before.data(), after.data(), width, 1, gap, parts.data()),
                      changed_parts_most(width, gap));
        }
    }
}

TEST(PresentRowsTest, TheChangedRectangleHoldsEveryChangeAndNoMore) {
    const int width = 45;
    const int height = 23;
    const std::vector<std::uint32_t> before = test_picture(width, height);
    std::uint32_t seed = 99;
    const auto next = [&seed]() {
        seed = seed * 1103515245U + 12345U;
        return seed >> 8;
    };
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<std::uint32_t> after = before;
        // None, one, a few or many changes, corners and edges included.
        const int changes =
            trial % 4 == 0 ? 0 : static_cast<int>(next() % (trial % 3 == 0 ? 300 : 4)) + 1;
        for (int i = 0; i < changes; ++i) {
            const std::uint32_t at = next() % static_cast<std::uint32_t>(width * height);
            after[at] ^= 1U << (next() % 32);
        }
        if (trial % 50 == 1) {
            after[0] ^= 1;
            after[static_cast<std::size_t>(width * height - 1)] ^= 1;
        }
        int left = width;
        int right = -1;
        int top = height;
        int bottom = -1;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const auto at = static_cast<std::size_t>(y * width + x);
                if (before[at] != after[at]) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        const PictureRect rect = changed_rect(before.data(), after.data(), width, height);
        SCOPED_TRACE(trial);
        expect_changed_parts(before, after, width, height, 1 + trial % 7);
        if (right < 0) {
            EXPECT_EQ(rect.width, 0);
            EXPECT_EQ(rect.height, 0);
            continue;
        }
        EXPECT_EQ(rect.x, left);
        EXPECT_EQ(rect.y, top);
        EXPECT_EQ(rect.width, right - left + 1);
        EXPECT_EQ(rect.height, bottom - top + 1);
    }
}

TEST(PresentRowsTest, APictureFitsCentredInTheLargestWholeBlocks) {
    const struct {
        int area_width, area_height, most;
        PictureFit fit;
    } cases[] = {
        {1920, 1080, 0, {4, 320, 60}},  // 1,280 x 960
        {3840, 2160, 0, {9, 480, 0}},   // past the windows' 8
        {1024, 768, 0, {3, 32, 24}},
        {1920, 1080, 2, {2, 640, 300}},  // --scale 2 fits and is kept
        {1920, 1080, 5, {4, 320, 60}},   // --scale 5 does not: lowered
        {1921, 1081, 0, {4, 320, 60}},   // the odd pixel goes right and below
        {320, 240, 0, {1, 0, 0}},
        {480, 360, 0, {1, 80, 60}},  // a desktop scaled by 1.5: no block of 1.5
        {643, 900, 0, {2, 1, 210}},  // taller than wide: the width decides
        {319, 240, 0, {0, 159, 120}},
        {152, 112, 0, {0, 76, 56}},  // a preview: not even one pixel each
        {0, 0, 0, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        const PictureFit fit = fit_picture(c.area_width, c.area_height, 320, 240, c.most);
        SCOPED_TRACE(testing::Message()
                     << c.area_width << "x" << c.area_height << " at most " << c.most);
        EXPECT_EQ(fit.block, c.fit.block);
        EXPECT_EQ(fit.x, c.fit.x);
        EXPECT_EQ(fit.y, c.fit.y);
    }
}

TEST(PresentRowsTest, APictureTooLargeIsShrunkToItsShapeCentredAndSampledNearest) {
    const struct {
        int area_width, area_height;
        PictureRect shown;
    } cases[] = {
        {152, 112, {1, 0, 149, 112}},  // a preview: the height decides
        {300, 100, {83, 0, 133, 100}}, {100, 300, {0, 112, 100, 75}},  // the width decides
        {319, 240, {0, 0, 319, 239}},  {1, 1, {0, 0, 1, 1}},
    };
    for (const auto& c : cases) {
        const PictureRect shown = shrink_picture(c.area_width, c.area_height, 320, 240);
        SCOPED_TRACE(testing::Message() << c.area_width << "x" << c.area_height);
        EXPECT_EQ(shown.x, c.shown.x);
        EXPECT_EQ(shown.y, c.shown.y);
        EXPECT_EQ(shown.width, c.shown.width);
        EXPECT_EQ(shown.height, c.shown.height);
    }

    // 700 x 9 shrunk to 600 x 5: rows sampled in more than one piece.
    const int width = 700;
    const int height = 9;
    const std::vector<std::uint32_t> pixels = test_picture(width, height);
    for (const Format format : {Format{convert_to_rgb565, 2}, Format{convert_to_rgb888, 3},
                                Format{convert_to_xrgb8888, 4}}) {
        for (const auto& [shown_width, shown_height] : {std::pair{600, 5}, std::pair{1, 1}}) {
            SCOPED_TRACE(testing::Message() << format.bytes_per_pixel << " bytes, " << shown_width);
            const int row_bytes = shown_width * format.bytes_per_pixel;
            const int pitch = row_bytes + 3;
            const auto size = static_cast<std::size_t>(pitch * (shown_height - 1) + row_bytes);
            GuardedPages pages = guarded_pages_allocate(size);
            ASSERT_NE(pages.begin, nullptr);
            std::uint8_t* const surface = pages.end - size;
            std::memset(surface, 0xA5, size);
            present_shrunk(pixels.data(), width, height, shown_width, shown_height,
                           format.converter, format.bytes_per_pixel, surface, pitch);
            for (int y = 0; y < shown_height; ++y) {
                for (int x = 0; x < shown_width; ++x) {
                    // The nearest picture pixel to the left and above.
                    const int from_x = x * width / shown_width;
                    const int from_y = y * height / shown_height;
                    std::uint8_t want[4];
                    format.converter(&pixels[static_cast<std::size_t>(from_y * width + from_x)],
                                     want, 1);
                    ASSERT_EQ(std::memcmp(surface + y * pitch + x * format.bytes_per_pixel, want,
                                          static_cast<std::size_t>(format.bytes_per_pixel)),
                              0)
                        << "pixel " << x << "," << y;
                }
                for (int gap = row_bytes; gap < pitch && y < shown_height - 1; ++gap) {
                    ASSERT_EQ(surface[y * pitch + gap], 0xA5) << "gap of row " << y;
                }
            }
            guarded_pages_release(pages);
        }
    }
}

}  // namespace
}  // namespace quenlixor
