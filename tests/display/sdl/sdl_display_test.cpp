// The SDL display without a desktop: block copies checked against a plain
// per-pixel oracle in fenced memory, and the display itself on SDL's dummy
// video driver (window surface, caption, keys, close request), and refusing
// to run when there is no desktop and no driver was asked for.
#include <SDL.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/pixel_converters.h"
#include "display/present_rows.h"
#include "display/sdl/sdl_display.h"
#include "platform/platform.h"
#include "tests/display/guarded_pages.h"

namespace quenlixor {
namespace {

using test_support::guarded_pages_allocate;
using test_support::guarded_pages_release;
using test_support::GuardedPages;

std::vector<std::uint32_t> test_picture(int width, int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width * height));
    std::uint32_t seed = 12345;
    for (std::uint32_t& pixel : pixels) {
        seed = seed * 1103515245U + 12345U;
        pixel = seed ^ (seed >> 13);  // bits 24-31 set too
    }
    return pixels;
}

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
            // 12: wider than the widening tables, as at --scale 6 on a
            // desktop scaled by 2.
            for (const int scale : {1, 2, 3, 8, 12}) {
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

TEST(PlacePictureTest, TheLargestWholeBlockThatFitsCentred) {
    struct Case {
        int surface_width, surface_height, block, x, y;
    };
    for (const Case c : {
             Case{320, 240, 1, 0, 0},    // the window as large as the picture
             Case{640, 480, 2, 0, 0},    // a desktop scaled by 2, or --scale 2
             Case{480, 360, 1, 80, 60},  // scaled by 1.5: no whole block of 1.5
             Case{960, 720, 3, 0, 0},    // --scale 2 scaled by 1.5
             Case{800, 480, 2, 80, 0},   // wider than high: the height decides
             Case{643, 900, 2, 1, 210},  // odd margins round down
             Case{319, 240, 0, 0, 0},    // smaller: no block fits
             Case{320, 239, 0, 0, 0},
         }) {
        const PicturePlacement placed = place_picture(c.surface_width, c.surface_height, 320, 240);
        EXPECT_EQ(placed.block, c.block) << c.surface_width << "x" << c.surface_height;
        EXPECT_EQ(placed.x, c.x) << c.surface_width << "x" << c.surface_height;
        EXPECT_EQ(placed.y, c.y) << c.surface_width << "x" << c.surface_height;
    }
}

// --- the display on SDL's dummy driver ---------------------------------------

class DummyDisplayTest : public testing::Test {
protected:
    void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 1); }
};

TEST_F(DummyDisplayTest, ShowsTheFrameInBlocksInTheWindowSurfaceAndCaptionsIt) {
    const int width = 8;
    const int height = 6;
    const int scale = 3;
    ASSERT_EQ(display_open("Quenlixor Julia (Tolvane)", width, height, scale), 1)
        << display_failure();
    SDL_Window* const sdl_window = sdl_display_window();
    ASSERT_NE(sdl_window, nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(sdl_window), "Quenlixor Julia (Tolvane)");
    EXPECT_FALSE(SDL_IsScreenSaverEnabled());
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(sdl_window, &w, &h);
    EXPECT_EQ(w, width * scale);
    EXPECT_EQ(h, height * scale);
    EXPECT_EQ(SDL_GetWindowFlags(sdl_window) & SDL_WINDOW_RESIZABLE, 0U);

    const std::vector<std::uint32_t> pixels = test_picture(width, height);
    ASSERT_EQ(display_update(pixels.data()), 1);
    SDL_Surface* const surface = SDL_GetWindowSurface(sdl_window);
    ASSERT_EQ(surface->format->format, SDL_PIXELFORMAT_RGB888);
    for (int y = 0; y < height * scale; ++y) {
        const auto* const row = reinterpret_cast<const std::uint32_t*>(
            static_cast<const std::uint8_t*>(surface->pixels) + y * surface->pitch);
        for (int x = 0; x < width * scale; ++x) {
            ASSERT_EQ(row[x], pixels[static_cast<std::size_t>(y / scale * width + x / scale)])
                << x << "," << y;
        }
    }

    display_set_caption("Quenlixor Julia Animator FPS:60");
    EXPECT_STREQ(SDL_GetWindowTitle(sdl_window), "Quenlixor Julia Animator FPS:60");

    // A key pressed in the window waits in the key queue after the update.
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.windowID = SDL_GetWindowID(sdl_window);
    key.key.keysym.sym = SDLK_a;
    SDL_PushEvent(&key);
    display_update(pixels.data());
    ASSERT_TRUE(key_waiting());
    EXPECT_EQ(read_key(), 'a');
    key.key.keysym.sym = SDLK_LCTRL;  // low byte 0xE0, which would start a two-code key
    SDL_PushEvent(&key);
    display_update(pixels.data());
    ASSERT_TRUE(key_waiting());
    EXPECT_EQ(read_key(), 0xFF);

    display_close();
    EXPECT_EQ(sdl_display_window(), nullptr);
    display_set_caption("Quenlixor Julia Animator FPS:0");  // no display: nothing happens
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0U);
}

[[noreturn]] void close_request_during_update() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (display_open("Quenlixor Julia (Tolvane)", 4, 4, 1) != 1) {
        std::fprintf(stderr, "cannot open: %s\n", display_failure());
        std::exit(3);
    }
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    const std::uint32_t pixels[16] = {};
    display_update(pixels);
    std::fprintf(stderr, "the update returned\n");
    std::exit(4);
}

TEST(DummyDisplayDeathTest, ACloseRequestEndsTheProcessWithZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(close_request_during_update(), testing::ExitedWithCode(0), "");
}

[[noreturn]] void open_without_desktop() {
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (display_open("Quenlixor Julia (Tolvane)", 320, 240, 1) != 0) {
        std::fprintf(stderr, "opened on %s\n", SDL_GetCurrentVideoDriver());
        std::exit(1);
    }
    std::fprintf(stderr, "refused: %s\n", display_failure());
    std::exit(0);
}

TEST(DummyDisplayDeathTest, WithoutADesktopOpeningFailsAndSaysWhy) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(open_without_desktop(), testing::ExitedWithCode(0), "refused: no desktop: ");
}

// A Wayland display that is named but not there: Wayland is tried first,
// then X11, and the line says why each could not be used; the user's own
// choice of Wayland is taken alone.
[[noreturn]] void open_on_missing_wayland(bool asked) {
    unsetenv("DISPLAY");
    char runtime[] = "/tmp/qj-runtime-XXXXXX";
    if (mkdtemp(runtime) == nullptr) {
        std::exit(3);
    }
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    setenv("WAYLAND_DISPLAY", "qj-no-such-compositor", 1);
    if (asked) {
        setenv("SDL_VIDEODRIVER", "wayland", 1);
    } else {
        unsetenv("SDL_VIDEODRIVER");
    }
    const std::int32_t opened = display_open("Quenlixor Julia (Tolvane)", 320, 240, 1);
    rmdir(runtime);
    if (opened != 0) {
        std::exit(1);
    }
    std::fprintf(stderr, "refused: %s\n", display_failure());
    std::exit(0);
}

TEST(DummyDisplayDeathTest, ANamedWaylandDisplayIsTriedFirstAndTheUsersChoiceAlone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(open_on_missing_wayland(false), testing::ExitedWithCode(0),
                "refused: no desktop: .*\\(wayland: SDL video: [^;]+; x11: SDL video: ");
    EXPECT_EXIT(open_on_missing_wayland(true), testing::ExitedWithCode(0),
                "refused: SDL video: [^;]*\n");
}

}  // namespace
}  // namespace quenlixor
