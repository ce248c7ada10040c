// The SDL display without a desktop: the display on SDL's dummy video
// driver (window surface, full screen, a picture shrunk, only the changes
// presented, caption, keys, close request), and refusing to run when there
// is no desktop and no driver was asked for, or no X display for a given
// window.
#include <SDL.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "display/display.h"
#include "display/pixel_converters.h"
#include "display/sdl/sdl_display.h"
#include "platform/platform.h"
#include "tests/display/test_picture.h"

namespace quenlixor {
namespace {

using test_support::test_picture;

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

// The window surface as 0x00RRGGBB words (the dummy driver's is RGB888).
std::uint32_t surface_pixel(const SDL_Surface* surface, int x, int y) {
    const auto* const row = reinterpret_cast<const std::uint32_t*>(
        static_cast<const std::uint8_t*>(surface->pixels) + y * surface->pitch);
    return row[x] & 0xFFFFFFU;
}

// How many pixels of the surface are not the picture `pixels` of `width` x
// `height` at (x, y) in `block` x `block` blocks on black.
long pixels_off(const SDL_Surface* surface, const std::vector<std::uint32_t>& pixels, int width,
                int height, int x, int y, int block) {
    long off = 0;
    for (int j = 0; j < surface->h; ++j) {
        for (int i = 0; i < surface->w; ++i) {
            const bool inside = i >= x && i < x + width * block && j >= y && j < y + height * block;
            const std::uint32_t expected =
                inside
                    ? pixels[static_cast<std::size_t>((j - y) / block * width + (i - x) / block)] &
                          0xFFFFFFU
                    : 0;
            off += surface_pixel(surface, i, j) != expected ? 1 : 0;
        }
    }
    return off;
}

TEST_F(DummyDisplayTest, FullScreenCentresTheLargestBlocksOnBlackWithoutTheCursor) {
    // The dummy driver's screen is 1024x768: a 100x70 picture fits in
    // blocks of 10 at (12, 34); --scale 3 where it fits, 8 lowered to 10
    // for a 200x100 one (5: 1000x500 at (12, 134)).
    struct Case {
        int width, height, asked, block, x, y;
    };
    for (const Case& c : {Case{100, 70, 0, 10, 12, 34}, Case{100, 70, 3, 3, 362, 279},
                          Case{200, 100, 8, 5, 12, 134}}) {
        SCOPED_TRACE(c.asked);
        ASSERT_EQ(display_open("Quenlixor Julia (Tolvane)", c.width, c.height,
                               DisplayPlace{DisplayForm::full_screen, c.asked, 0}),
                  1)
            << display_failure();
        SDL_Window* const window = sdl_display_window();
        EXPECT_EQ(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP,
                  static_cast<Uint32>(SDL_WINDOW_FULLSCREEN_DESKTOP));
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
        EXPECT_FALSE(SDL_IsScreenSaverEnabled());
        const std::vector<std::uint32_t> pixels = test_picture(c.width, c.height);
        ASSERT_EQ(display_update(pixels.data()), 1);
        EXPECT_EQ(display_block(), c.block);
        const SDL_Surface* const surface = SDL_GetWindowSurface(window);
        ASSERT_EQ(surface->w, 1024);
        ASSERT_EQ(surface->h, 768);
        EXPECT_EQ(pixels_off(surface, pixels, c.width, c.height, c.x, c.y, c.block), 0);
        display_close();
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    }
}

TEST_F(DummyDisplayTest, APictureLargerThanTheScreenIsShownShrunkOnBlack) {
    // 2000x1000 on the dummy driver's 1024x768: 1024x512 at (0, 128).
    const int width = 2000;
    const int height = 1000;
    ASSERT_EQ(display_open("Quenlixor Julia (Tolvane)", width, height,
                           DisplayPlace{DisplayForm::full_screen, 0, 0}),
              1)
        << display_failure();
    const std::vector<std::uint32_t> pixels = test_picture(width, height);
    ASSERT_EQ(display_update(pixels.data()), 1);
    EXPECT_EQ(display_block(), 0);
    const SDL_Surface* const surface = SDL_GetWindowSurface(sdl_display_window());
    long off = 0;
    for (int y = 0; y < surface->h; ++y) {
        for (int x = 0; x < surface->w; ++x) {
            const bool inside = y >= 128 && y < 128 + 512;
            const std::uint32_t expected =
                inside ? pixels[static_cast<std::size_t>((y - 128) * height / 512 * width +
                                                         x * width / 1024)] &
                             0xFFFFFFU
                       : 0;
            off += surface_pixel(surface, x, y) != expected ? 1 : 0;
        }
    }
    EXPECT_EQ(off, 0);
    display_close();
}

TEST_F(DummyDisplayTest, FrameAfterFrameOnlyWhatChangedIsWrittenAndTheSurfaceStaysExact) {
    // A picture 21 rows high: bands of 8, 8 and 5.
    const int width = 37;
    const int height = 21;
    const int block = 8;  // asked for: 296x168 at (364, 300)
    const int x0 = 364;
    const int y0 = 300;
    ASSERT_EQ(display_open("Quenlixor Julia (Tolvane)", width, height,
                           DisplayPlace{DisplayForm::full_screen, block, 0}),
              1)
        << display_failure();
    SDL_Surface* const surface = SDL_GetWindowSurface(sdl_display_window());
    std::vector<std::uint32_t> pixels = test_picture(width, height);
    ASSERT_EQ(display_update(pixels.data()), 1);
    ASSERT_EQ(display_block(), block);
    ASSERT_EQ(pixels_off(surface, pixels, width, height, x0, y0, block), 0);

    // A mark on a block outside the changes of its band (rows 0-7, changed
    // in columns 0-5) stays: that block is not written again. The changes:
    // the corners, the bands' first and last rows.
    auto* const marked = reinterpret_cast<std::uint32_t*>(
        static_cast<std::uint8_t*>(surface->pixels) + (y0 + 3 * block) * surface->pitch);
    marked[x0 + 30 * block] = 0x123456;
    const std::vector<std::pair<int, int>> changes = {{0, 0},   {36, 20}, {5, 7},  {6, 8},
                                                      {36, 15}, {0, 16},  {12, 12}};
    for (const auto& [x, y] : changes) {
        pixels[static_cast<std::size_t>(y * width + x)] ^= 0x00FF00FFU;
    }
    ASSERT_EQ(display_update(pixels.data()), 1);
    EXPECT_EQ(marked[x0 + 30 * block], 0x123456U);
    marked[x0 + 30 * block] = pixels[3 * width + 30] & 0xFFFFFFU;
    EXPECT_EQ(pixels_off(surface, pixels, width, height, x0, y0, block), 0);

    for (int x = 0; x < width; ++x) {
        pixels[static_cast<std::size_t>(9 * width + x)] += 1;
    }
    ASSERT_EQ(display_update(pixels.data()), 1);
    EXPECT_EQ(pixels_off(surface, pixels, width, height, x0, y0, block), 0);
    ASSERT_EQ(display_update(pixels.data()), 1) << "a frame with no change";
    EXPECT_EQ(pixels_off(surface, pixels, width, height, x0, y0, block), 0);
    display_close();
}

// Where there is no X display (a Wayland desktop alone), a given window
// cannot be drawn into, and opening says so.
[[noreturn]] void open_given_window_without_x() {
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("DISPLAY");
    if (display_open("Quenlixor Julia (Tolvane)", 320, 240,
                     DisplayPlace{DisplayForm::given_window, 0, 0}) != 0) {
        std::exit(1);
    }
    std::fprintf(stderr, "refused: %s\n", display_failure());
    std::exit(display_forms.given_window ? 0 : 2);
}

TEST(DummyDisplayDeathTest, AGivenWindowWithoutAnXDisplayIsRefusedAndSaysWhy) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(open_given_window_without_x(), testing::ExitedWithCode(0),
                "refused: given window: no X display \\(DISPLAY is not set\\)");
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
// choice of Wayland is taken alone. An empty name names none: X11 alone is
// tried.
[[noreturn]] void open_on_missing_wayland(const char* name, bool asked) {
    unsetenv("DISPLAY");
    char runtime[] = "/tmp/qj-runtime-XXXXXX";
    if (mkdtemp(runtime) == nullptr) {
        std::exit(3);
    }
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    setenv("WAYLAND_DISPLAY", name, 1);
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
    EXPECT_EXIT(open_on_missing_wayland("qj-no-such-compositor", false), testing::ExitedWithCode(0),
                "refused: no desktop: .*\\(wayland: SDL video: [^;]+; x11: SDL video: ");
    EXPECT_EXIT(open_on_missing_wayland("qj-no-such-compositor", true), testing::ExitedWithCode(0),
                "refused: SDL video: [^;]*\n");
    EXPECT_EXIT(open_on_missing_wayland("", false), testing::ExitedWithCode(0),
                "refused: no desktop: [^(]*\\(x11: SDL video: ");
}

}  // namespace
}  // namespace quenlixor
