// The display against Wine's own DirectDraw and window system on a virtual X
// screen. The suite runs at screen depths 24, 16 and 8 (QUENLIXOR_XVFB_DEPTH);
// what the screen shows is read back in-process with GDI and compared with an
// independent conversion of the presented frame.
//
// With the arguments --close-child MODE REPORT the executable instead opens the
// display, asks the window to close (or, as a screen saver, gives it input,
// or as a preview, loses its parent) and reports through its exit status and
// the file REPORT; the suite runs it as a child process to see the display
// closed and the process ended.
#include <conio.h>
#include <float.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/ddraw/ddraw_display.h"

namespace quenlixor {
namespace {

constexpr const char* title = "Quenlixor Julia (Tolvane)";
constexpr std::int32_t picture_width = 320;
constexpr std::int32_t picture_height = 240;

// Exit statuses of the close child, other than 0 (closed as it should).
constexpr int child_open_failed = 2;
constexpr int child_update_returned = 3;
constexpr int child_bad_arguments = 4;
constexpr int child_gave_up = 5;

// Bits per pixel of the desktop as GDI reports it.
int desktop_bits() {
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return bits;
}

// The depth of the virtual X screen the suite was started on.
int requested_depth() {
    const char* value = std::getenv("QUENLIXOR_XVFB_DEPTH");
    return value != nullptr ? std::atoi(value) : 24;
}

BOOL screen_saver_active() {
    BOOL active = -1;
    EXPECT_NE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0), 0);
    return active;
}

void set_screen_saver_active(BOOL active) {
    ASSERT_NE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active ? 1U : 0U, nullptr, 0), 0);
    ASSERT_EQ(screen_saver_active(), active);
}

// A frame of distinct, busy pixels: every channel takes many values, bit 24
// is set in some pixels (it carries no colour), and `seed` makes frames differ.
std::vector<std::uint32_t> make_frame(std::uint32_t seed, std::int32_t width = picture_width,
                                      std::int32_t height = picture_height) {
    std::vector<std::uint32_t> frame(static_cast<std::size_t>(width) *
                                     static_cast<std::size_t>(height));
    const auto row_length = static_cast<std::size_t>(width);
    std::uint32_t state = seed * 2654435761U + 12345U;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        state = state * 1664525U + 1013904223U;
        const auto x = static_cast<std::uint32_t>(i % row_length);
        const auto y = static_cast<std::uint32_t>(i / row_length);
        const std::uint32_t red = (x * 7U + seed * 40U) & 0xFFU;
        const std::uint32_t green = (y * 5U + (state >> 24)) & 0xFFU;
        const std::uint32_t blue = (state >> 8) & 0xFFU;
        const std::uint32_t extra = (state >> 4) & 0x01000000U;
        frame[i] = extra | (red << 16) | (green << 8) | blue;
    }
    return frame;
}

// The colour bits a desktop of `bits` per pixel keeps of a 0x00RRGGBB pixel:
// 5-6-5 at 16 bits, all 24 colour bits otherwise.
std::uint32_t kept_colour(std::uint32_t pixel, int bits) {
    if (bits == 16) {
        return pixel & 0x00F8FCF8U;
    }
    return pixel & 0x00FFFFFFU;
}

// Reads width x height pixels of the screen from `origin` as 0x00RRGGBB, through
// a 32-bit top-down DIB section.
std::vector<std::uint32_t> read_screen(POINT origin, std::int32_t width, std::int32_t height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) *
                                      static_cast<std::size_t>(height));
    HDC screen = GetDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    if (section != nullptr && memory != nullptr) {
        HGDIOBJ previous = SelectObject(memory, section);
        BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
        GdiFlush();
        std::memcpy(pixels.data(), bits, pixels.size() * sizeof(std::uint32_t));
        SelectObject(memory, previous);
    } else {
        ADD_FAILURE() << "no DIB section to read the screen into";
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    if (section != nullptr) {
        DeleteObject(section);
    }
    ReleaseDC(nullptr, screen);
    return pixels;
}

POINT client_origin() {
    POINT origin{0, 0};
    ClientToScreen(display_state.window, &origin);
    return origin;
}

// Compares `shown`, pixels read off the screen in rows of `width`, with
// `expected` as a desktop of `bits` bits keeps it; reports the first few
// differences.
::testing::AssertionResult compare_pixels(const std::vector<std::uint32_t>& expected,
                                          const std::vector<std::uint32_t>& shown,
                                          std::int32_t width, int bits) {
    const auto row_length = static_cast<std::size_t>(width);
    std::size_t wrong = 0;
    std::string report;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::uint32_t want = kept_colour(expected[i], bits);
        const std::uint32_t got = kept_colour(shown[i], bits);
        if (got != want) {
            if (wrong < 5) {
                char line[96];
                std::snprintf(line, sizeof line, "\n  (%zu, %zu): shown 0x%06X, expected 0x%06X",
                              i % row_length, i / row_length, static_cast<unsigned>(got),
                              static_cast<unsigned>(want));
                report += line;
            }
            ++wrong;
        }
    }
    if (wrong == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << wrong << " of " << expected.size() << " pixels differ:" << report;
}

// Compares the window's client area on the screen with `frame`, a picture of
// the open display's size (times its scale), as the desktop keeps it, once.
::testing::AssertionResult compare_screen(const std::vector<std::uint32_t>& frame) {
    const std::int32_t scale = display_state.scale > 1 ? display_state.scale : 1;
    const std::int32_t width = display_state.width * scale;
    return compare_pixels(frame, read_screen(client_origin(), width, display_state.height * scale),
                          width, desktop_bits());
}

// Wine's DirectDraw puts a blit to the primary surface on the X screen a
// moment later, not within the Blt call: waits for the client area to show
// `frame`, without pumping messages, for up to 20 s (it takes milliseconds
// unless the machine is very busy).
::testing::AssertionResult screen_shows(const std::vector<std::uint32_t>& frame) {
    const DWORD start = GetTickCount();
    for (;;) {
        ::testing::AssertionResult result = compare_screen(frame);
        if (result || GetTickCount() - start > 20000) {
            return result;
        }
        Sleep(20);
    }
}

// Paints the client area white with GDI, as another program's window would
// cover it.
void cover_client_area() {
    HDC window_dc = GetDC(display_state.window);
    RECT client{0, 0, display_state.width, display_state.height};
    FillRect(window_dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(display_state.window, window_dc);
    GdiFlush();
}

// Whether the whole client area on the screen is white.
::testing::AssertionResult screen_is_covered() {
    const std::vector<std::uint32_t> shown =
        read_screen(client_origin(), display_state.width, display_state.height);
    std::size_t other = 0;
    for (std::uint32_t pixel : shown) {
        other += (pixel & 0x00FFFFFFU) == 0x00FFFFFFU ? 0U : 1U;
    }
    if (other == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << other << " pixels are not white";
}

// Sets every byte of the off-screen surface, row padding included.
void fill_offscreen_surface(unsigned char value) {
    DDSURFACEDESC description{};
    description.dwSize = sizeof description;
    ASSERT_EQ(display_state.offscreen_surface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr),
              DD_OK);
    std::memset(description.lpSurface, value,
                static_cast<std::size_t>(description.lPitch) * description.dwHeight);
    display_state.offscreen_surface->Unlock(description.lpSurface);
}

// Checks the off-screen surface row by row at its pitch: each row holds the
// frame's row in the desktop's format (computed here, plainly), and the bytes
// after it up to the next row still hold `padding`.
::testing::AssertionResult offscreen_surface_holds(const std::vector<std::uint32_t>& frame,
                                                   unsigned char padding) {
    DDSURFACEDESC description{};
    description.dwSize = sizeof description;
    if (display_state.offscreen_surface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr) !=
        DD_OK) {
        return ::testing::AssertionFailure() << "lock failed";
    }
    const auto* surface = static_cast<const unsigned char*>(description.lpSurface);
    const std::int32_t width = display_state.width;
    const std::int32_t bytes_per_pixel = desktop_bits() == 16 ? 2 : 4;
    std::size_t wrong_pixels = 0;
    std::size_t wrong_padding = 0;
    for (std::int32_t y = 0; y < display_state.height; ++y) {
        const unsigned char* row = surface + y * description.lPitch;
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint32_t pixel = frame[static_cast<std::size_t>(y * width + x)];
            const std::uint32_t red = (pixel >> 16) & 0xFFU;
            const std::uint32_t green = (pixel >> 8) & 0xFFU;
            const std::uint32_t blue = pixel & 0xFFU;
            bool same = false;
            if (bytes_per_pixel == 2) {
                std::uint16_t value;
                std::memcpy(&value, row + 2 * x, sizeof value);
                same = value == (((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
            } else {
                std::uint32_t value;
                std::memcpy(&value, row + 4 * x, sizeof value);
                same = value == pixel;  // bits 24-31 are copied along
            }
            wrong_pixels += same ? 0U : 1U;
        }
        for (std::int32_t i = width * bytes_per_pixel; i < description.lPitch; ++i) {
            wrong_padding += row[i] == padding ? 0U : 1U;
        }
    }
    display_state.offscreen_surface->Unlock(description.lpSurface);
    if (wrong_pixels == 0 && wrong_padding == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << wrong_pixels << " pixels wrong, " << wrong_padding << " padding bytes changed (pitch "
           << description.lPitch << ")";
}

// Takes the messages of the current thread's queue, without dispatching them.
void drain_thread_queue() {
    MSG message;
    // Only messages without a window: a window's pending paint would come
    // back for ever until it is validated.
    const auto no_window = reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));
    while (PeekMessageA(&message, no_window, 0, 0, PM_REMOVE) != 0) {
    }
}

// Leaves the console's push-back slot empty.
void drain_pushed_key() {
    while (_kbhit() != 0) {
        _getch();
    }
}

// An open display for each test; closed again, with its class unregistered so
// that the next test can open it afresh.
class OpenDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (desktop_bits() < 16) {
            GTEST_SKIP() << "the display refuses a " << desktop_bits() << "-bit desktop";
        }
        ASSERT_EQ(display_open(title, picture_width, picture_height), 1);
        opened_ = true;
    }

    void TearDown() override {
        if (opened_) {
            display_close();
            UnregisterClassA(title, nullptr);
        }
        drain_pushed_key();
        drain_thread_queue();
    }

    // Posts a message to the display window and lets display_update dispatch
    // it, presenting `frame`.
    void post_and_update(UINT message, WPARAM wParam, LPARAM lParam) {
        ASSERT_NE(PostMessageA(display_state.window, message, wParam, lParam), 0);
        ASSERT_EQ(display_update(frame_.data()), 1);
    }

    std::vector<std::uint32_t> frame_ = make_frame(1);
    bool opened_ = false;
};

TEST(WineDesktop, HasTheRequestedDepth) {
    const int depth = requested_depth();
    const int bits = desktop_bits();
    std::printf("virtual screen depth %d, desktop %d bits per pixel\n", depth, bits);
    EXPECT_EQ(bits, depth == 24 ? 32 : depth);
}

TEST_F(OpenDisplay, UsesTheSystemsDirectDraw) {
    char path[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameA(display_state.ddraw_module, path, MAX_PATH), 0U);
    char system[MAX_PATH] = {};
    ASSERT_NE(GetSystemDirectoryA(system, MAX_PATH), 0U);
    const std::string expected = std::string(system) + "\\ddraw.dll";
    EXPECT_EQ(lstrcmpiA(path, expected.c_str()), 0) << path;
    EXPECT_NE(display_state.ddraw, nullptr);
    EXPECT_NE(display_state.primary_surface, nullptr);
    EXPECT_NE(display_state.offscreen_surface, nullptr);
    EXPECT_NE(display_state.clipper, nullptr);
    EXPECT_EQ(display_state.width, picture_width);
    EXPECT_EQ(display_state.height, picture_height);
}

TEST_F(OpenDisplay, WindowIsCentredWithAClientAreaOfThePictureSize) {
    RECT outer{0, 0, picture_width, picture_height};
    ASSERT_NE(AdjustWindowRect(&outer, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, FALSE), 0);
    const int outer_width = outer.right - outer.left;
    const int outer_height = outer.bottom - outer.top;
    // Halved towards minus infinity, written without shifts.
    const auto centred = [](int free_space) {
        return free_space >= 0 ? free_space / 2 : -((-free_space + 1) / 2);
    };
    const int x = centred(GetSystemMetrics(SM_CXSCREEN) - outer_width);
    const int y = centred(GetSystemMetrics(SM_CYSCREEN) - outer_height);

    RECT window_rect{};
    ASSERT_NE(GetWindowRect(display_state.window, &window_rect), 0);
    EXPECT_EQ(window_rect.left, x);
    EXPECT_EQ(window_rect.top, y);
    EXPECT_EQ(window_rect.right, x + outer_width);
    EXPECT_EQ(window_rect.bottom, y + outer_height);

    RECT client{};
    ASSERT_NE(GetClientRect(display_state.window, &client), 0);
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_EQ(client.right, picture_width);
    EXPECT_EQ(client.bottom, picture_height);
}

TEST_F(OpenDisplay, WindowHasItsStyleClassAndCaptionAndIsActive) {
    HWND window = display_state.window;
    const auto style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    // The system adds visibility and sibling clipping to a shown top-level window.
    EXPECT_EQ(style & ~static_cast<DWORD>(WS_VISIBLE | WS_CLIPSIBLINGS), 0x00CA0000U)
        << std::hex << style;
    EXPECT_NE(style & WS_VISIBLE, 0U);
    const auto extended = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    EXPECT_EQ(extended & ~static_cast<DWORD>(WS_EX_WINDOWEDGE), 0U) << std::hex << extended;

    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_STREQ(caption, title);
    char class_name[64] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    EXPECT_STREQ(class_name, title);

    EXPECT_EQ(GetClassLongA(window, GCL_STYLE), static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_WNDPROC), reinterpret_cast<ULONG_PTR>(&window_proc));
    EXPECT_EQ(GetClassLongA(window, GCL_CBCLSEXTRA), 0U);
    EXPECT_EQ(GetClassLongA(window, GCL_CBWNDEXTRA), 0U);
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HICON), 0U);
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HCURSOR),
              reinterpret_cast<ULONG_PTR>(LoadCursorA(nullptr, IDC_ARROW)));
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HBRBACKGROUND), 0U);
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_MENUNAME), 0U);

    EXPECT_EQ(GetActiveWindow(), window);
    EXPECT_EQ(GetParent(window), nullptr);
    EXPECT_EQ(GetMenu(window), nullptr);

    // The caption goes to the window that was active once the display opened.
    EXPECT_EQ(display_state.caption_window, window);
    display_set_caption("Quenlixor Julia Animator FPS:57");
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_STREQ(caption, "Quenlixor Julia Animator FPS:57");
}

TEST_F(OpenDisplay, ConverterAndOffscreenSurfaceFollowTheDesktop) {
    DDPIXELFORMAT primary{};
    primary.dwSize = sizeof primary;
    ASSERT_EQ(display_state.primary_surface->GetPixelFormat(&primary), DD_OK);
    std::printf("primary surface: flags 0x%lX, %lu bits, masks R 0x%08lX G 0x%08lX B 0x%08lX\n",
                primary.dwFlags, primary.dwRGBBitCount, primary.dwRBitMask, primary.dwGBitMask,
                primary.dwBBitMask);
    EXPECT_NE(primary.dwFlags & DDPF_RGB, 0U);
    EXPECT_EQ(primary.dwRGBBitCount, static_cast<DWORD>(desktop_bits()));
    if (desktop_bits() == 16) {
        EXPECT_EQ(display_state.converter, &convert_to_rgb565);
    } else {
        EXPECT_EQ(display_state.converter, &convert_to_xrgb8888);
    }

    DDSURFACEDESC description{};
    description.dwSize = sizeof description;
    ASSERT_EQ(display_state.offscreen_surface->GetSurfaceDesc(&description), DD_OK);
    EXPECT_EQ(description.dwWidth, 320U);
    EXPECT_EQ(description.dwHeight, 240U);
    EXPECT_NE(description.ddsCaps.dwCaps & DDSCAPS_OFFSCREENPLAIN, 0U);
    EXPECT_EQ(description.ddpfPixelFormat.dwRGBBitCount, primary.dwRGBBitCount);
    EXPECT_EQ(description.ddpfPixelFormat.dwRBitMask, primary.dwRBitMask);
    EXPECT_EQ(description.ddpfPixelFormat.dwGBitMask, primary.dwGBitMask);
    EXPECT_EQ(description.ddpfPixelFormat.dwBBitMask, primary.dwBBitMask);
    std::printf("off-screen surface: caps 0x%lX, pitch %ld bytes\n", description.ddsCaps.dwCaps,
                description.lPitch);
}

TEST_F(OpenDisplay, PresentedFramesAppearInTheWindowPixelForPixel) {
    for (std::uint32_t seed : {2U, 3U}) {
        const std::vector<std::uint32_t> frame = make_frame(seed);
        ASSERT_EQ(display_update(frame.data()), 1);
        EXPECT_TRUE(screen_shows(frame)) << "frame " << seed;
    }
}

TEST_F(OpenDisplay, OffscreenSurfaceHoldsTheConvertedFrameRowByRow) {
    fill_offscreen_surface(0xA5);
    const std::vector<std::uint32_t> frame = make_frame(4);
    ASSERT_EQ(display_update(frame.data()), 1);
    EXPECT_TRUE(offscreen_surface_holds(frame, 0xA5));
}

TEST_F(OpenDisplay, RepaintRequestShowsTheLastFrame) {
    const std::vector<std::uint32_t> frame = make_frame(5);
    ASSERT_EQ(display_update(frame.data()), 1);
    ASSERT_TRUE(screen_shows(frame));

    cover_client_area();
    // Still covered a while later: no blit of the frame is on its way.
    Sleep(300);
    ASSERT_TRUE(screen_is_covered());

    ASSERT_NE(RedrawWindow(display_state.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW),
              0);
    EXPECT_TRUE(screen_shows(frame));
    RECT update{};
    EXPECT_EQ(GetUpdateRect(display_state.window, &update, FALSE), 0) << "paint not validated";
}

// (Whether a failed lock skips the blit cannot be seen here: Wine would not
// blit from the locked surface either. The test double's suite checks it.)
TEST_F(OpenDisplay, FailedLockReturnsZeroAfterPumpingAndTheNextUpdatePresents) {
    const std::vector<std::uint32_t> first = make_frame(10);
    ASSERT_EQ(display_update(first.data()), 1);

    // Wine refuses a second lock of a locked surface at once.
    DDSURFACEDESC held{};
    held.dwSize = sizeof held;
    ASSERT_EQ(display_state.offscreen_surface->Lock(nullptr, &held, DDLOCK_WAIT, nullptr), DD_OK);
    ASSERT_EQ(_kbhit(), 0);
    ASSERT_NE(PostMessageA(display_state.window, WM_KEYDOWN, 'K', 0x00250001), 0);
    const std::vector<std::uint32_t> second = make_frame(11);
    const std::int32_t presented = display_update(second.data());
    display_state.offscreen_surface->Unlock(held.lpSurface);

    EXPECT_EQ(presented, 0);
    // The messages were dispatched before the lock.
    ASSERT_NE(_kbhit(), 0);
    EXPECT_EQ(_getch(), 'K');

    ASSERT_EQ(display_update(second.data()), 1);
    EXPECT_TRUE(screen_shows(second));
}

TEST_F(OpenDisplay, PendingRepaintIsServedByTheNextUpdate) {
    const std::vector<std::uint32_t> first = make_frame(6);
    ASSERT_EQ(display_update(first.data()), 1);
    ASSERT_NE(InvalidateRect(display_state.window, nullptr, FALSE), 0);
    RECT update{};
    ASSERT_NE(GetUpdateRect(display_state.window, &update, FALSE), 0);

    const std::vector<std::uint32_t> second = make_frame(7);
    ASSERT_EQ(display_update(second.data()), 1);
    EXPECT_EQ(GetUpdateRect(display_state.window, &update, FALSE), 0) << "paint not dispatched";
    EXPECT_TRUE(screen_shows(second));
}

struct KeyCase {
    WPARAM virtual_key;
    int pushed;
};

class KeyDown : public OpenDisplay, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyDown, PushesTheLowByteOfTheVirtualKeyCode) {
    ASSERT_EQ(_kbhit(), 0);
    // Repeat count 1, scan code of A; what the window system posts for a press.
    post_and_update(WM_KEYDOWN, GetParam().virtual_key, 0x001E0001);
    ASSERT_NE(_kbhit(), 0);
    EXPECT_EQ(_getch(), GetParam().pushed);
    EXPECT_EQ(_kbhit(), 0);
}

INSTANTIATE_TEST_SUITE_P(WindowMessages, KeyDown,
                         ::testing::Values(KeyCase{'A', 65}, KeyCase{'Z', 90},
                                           KeyCase{VK_ESCAPE, 0x1B}, KeyCase{VK_LEFT, 0x25},
                                           KeyCase{VK_F1, 0x70}, KeyCase{VK_SHIFT, 0x10},
                                           KeyCase{0x141, 0x41}));

TEST_F(OpenDisplay, AltWithALetterPushesNothing) {
    ASSERT_EQ(_kbhit(), 0);
    // Context bit 29: Alt is held.
    post_and_update(WM_SYSKEYDOWN, 'A', 0x201E0001);
    post_and_update(WM_SYSKEYUP, 'A', static_cast<LPARAM>(0xE01E0001U));
    EXPECT_EQ(_kbhit(), 0);
}

TEST_F(OpenDisplay, F10PushesNothing) {
    ASSERT_EQ(_kbhit(), 0);
    // F10 arrives as a system key. (Its release would open the system menu's
    // modal loop, so only the press is sent.)
    post_and_update(WM_SYSKEYDOWN, VK_F10, 0x00440001);
    EXPECT_EQ(_kbhit(), 0);
}

// Sends a key press and release through the system's input queue, as the
// keyboard would.
void press_key(WORD virtual_key) {
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = virtual_key;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(SendInput(2, inputs, sizeof(INPUT)), 2U);
}

TEST_F(OpenDisplay, KeyTypedIntoTheWindowReachesTheKeyPoll) {
    ASSERT_EQ(_kbhit(), 0);
    ASSERT_EQ(GetForegroundWindow(), display_state.window);
    press_key('Q');
    // The input reaches the window's queue through the window system: pump
    // until it has come, for up to 20 s.
    const DWORD start = GetTickCount();
    while (_kbhit() == 0 && GetTickCount() - start < 20000) {
        ASSERT_EQ(display_update(frame_.data()), 1);
        Sleep(10);
    }
    ASSERT_NE(_kbhit(), 0);
    EXPECT_EQ(_getch(), 'Q');
}

TEST_F(OpenDisplay, AutoRepeatLeavesOneCodeWaiting) {
    ASSERT_EQ(_kbhit(), 0);
    ASSERT_NE(PostMessageA(display_state.window, WM_KEYDOWN, 'A', 0x001E0001), 0);
    // Bit 30: the key was already down, an auto-repeat.
    ASSERT_NE(PostMessageA(display_state.window, WM_KEYDOWN, 'A', 0x401E0001), 0);
    ASSERT_NE(PostMessageA(display_state.window, WM_KEYDOWN, 'A', 0x401E0001), 0);
    ASSERT_EQ(display_update(frame_.data()), 1);
    ASSERT_NE(_kbhit(), 0);
    EXPECT_EQ(_getch(), 65);
    EXPECT_EQ(_kbhit(), 0);
}

TEST_F(OpenDisplay, MessagesWithoutAWindowStayQueued) {
    drain_thread_queue();
    ASSERT_NE(PostThreadMessageA(GetCurrentThreadId(), WM_APP + 1, 11, 12), 0);
    ASSERT_NE(PostMessageA(nullptr, WM_APP + 2, 21, 22), 0);
    ASSERT_NE(PostMessageA(display_state.window, WM_APP + 3, 31, 32), 0);
    ASSERT_EQ(display_update(frame_.data()), 1);

    MSG message{};
    // A window handle of -1 selects the messages that have no window.
    const auto no_window = reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));
    ASSERT_NE(PeekMessageA(&message, no_window, WM_APP + 1, WM_APP + 1, PM_REMOVE), 0);
    EXPECT_EQ(message.wParam, 11U);
    EXPECT_EQ(message.lParam, 12);
    ASSERT_NE(PeekMessageA(&message, no_window, WM_APP + 2, WM_APP + 2, PM_REMOVE), 0);
    EXPECT_EQ(message.wParam, 21U);
    EXPECT_EQ(message.lParam, 22);
    // The window's own message was taken and dispatched.
    EXPECT_EQ(PeekMessageA(&message, display_state.window, WM_APP + 3, WM_APP + 3, PM_REMOVE), 0);
}

TEST_F(OpenDisplay, ClosingReleasesTheObjectsAndDestroysTheWindow) {
    HWND window = display_state.window;
    IDirectDrawClipper* clipper = display_state.clipper;
    const Converter converter = display_state.converter;
    display_close();
    opened_ = false;
    EXPECT_EQ(display_state.offscreen_surface, nullptr);
    EXPECT_EQ(display_state.primary_surface, nullptr);
    EXPECT_EQ(display_state.ddraw, nullptr);
    EXPECT_EQ(display_state.ddraw_module, nullptr);
    EXPECT_EQ(IsWindow(window), 0);
    EXPECT_EQ(display_state.window, window);
    EXPECT_EQ(display_state.clipper, clipper);
    EXPECT_EQ(display_state.converter, converter);

    // A second close finds nothing to release and does no harm.
    display_close();
    EXPECT_EQ(display_state.ddraw, nullptr);
    EXPECT_EQ(IsWindow(window), 0);
    UnregisterClassA(title, nullptr);
}

// A picture whose rows do not fill the surface's pitch: Wine rounds the
// pitch up, so rows must be stepped by the pitch and the padding left alone.
// Every picture pixel as a block of scale x scale screen pixels, whatever
// Wine's DirectDraw does when a blit stretches.
TEST(ScaledPicture, EveryPixelIsAnExactBlockOnTheScreen) {
    if (desktop_bits() < 16) {
        GTEST_SKIP() << "the display refuses a " << desktop_bits() << "-bit desktop";
    }
    constexpr std::int32_t scale = 2;
    ASSERT_EQ(display_open(title, picture_width, picture_height, scale), 1);
    RECT client{};
    GetClientRect(display_state.window, &client);
    EXPECT_EQ(client.right, picture_width * scale);
    EXPECT_EQ(client.bottom, picture_height * scale);
    const std::vector<std::uint32_t> frame = make_frame(9);
    std::vector<std::uint32_t> blocks;
    for (std::int32_t y = 0; y < picture_height * scale; ++y) {
        for (std::int32_t x = 0; x < picture_width * scale; ++x) {
            blocks.push_back(
                frame[static_cast<std::size_t>((y / scale) * picture_width + x / scale)]);
        }
    }
    ASSERT_EQ(display_update(frame.data()), 1);
    EXPECT_TRUE(screen_shows(blocks));
    display_close();
    UnregisterClassA(title, nullptr);
}

// The x87 control word as the processor holds it.
std::uint16_t x87_control_word() {
    std::uint16_t control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    return control;
}

// The renderer's reference path relies on the 64-bit mantissa set once at
// start: nothing the display or the caption does may change it.
TEST(X87ControlWord, StaysAsSetThroughOpeningPresentingAndTheCaption) {
    if (desktop_bits() < 16) {
        GTEST_SKIP() << "the display refuses a " << desktop_bits() << "-bit desktop";
    }
    const unsigned int saved = _controlfp(0, 0);
    _controlfp(_PC_64, _MCW_PC);
    const std::uint16_t set = x87_control_word();
    EXPECT_EQ(set & 0x0300U, 0x0300U) << "precision control: 64-bit mantissa";

    ASSERT_EQ(display_open(title, picture_width, picture_height), 1);
    EXPECT_EQ(x87_control_word(), set) << "after display_open";
    const std::vector<std::uint32_t> frame = make_frame(11);
    for (int update = 0; update < 3; ++update) {
        ASSERT_EQ(display_update(frame.data()), 1);
        EXPECT_EQ(x87_control_word(), set) << "after display_update " << update;
    }
    display_set_caption("Quenlixor Julia Animator FPS:57");
    EXPECT_EQ(x87_control_word(), set) << "after setting the caption";
    display_close();
    EXPECT_EQ(display_state.caption_window, nullptr);
    display_set_caption("ignored");  // no display: the call fails quietly
    UnregisterClassA(title, nullptr);
    _controlfp(saved, _MCW_PC);
}

TEST(OddSizedPicture, LandsPixelForPixelRowByRowAtTheSurfacesPitch) {
    if (desktop_bits() < 16) {
        GTEST_SKIP() << "the display refuses a " << desktop_bits() << "-bit desktop";
    }
    constexpr std::int32_t width = 317;
    constexpr std::int32_t height = 199;
    ASSERT_EQ(display_open(title, width, height), 1);
    RECT client{};
    GetClientRect(display_state.window, &client);
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, height);

    DDSURFACEDESC description{};
    description.dwSize = sizeof description;
    ASSERT_EQ(display_state.offscreen_surface->GetSurfaceDesc(&description), DD_OK);
    EXPECT_EQ(description.dwWidth, static_cast<DWORD>(width));
    EXPECT_EQ(description.dwHeight, static_cast<DWORD>(height));
    std::printf("%d x %d off-screen surface: pitch %ld bytes\n", width, height, description.lPitch);

    fill_offscreen_surface(0x5A);
    const std::vector<std::uint32_t> frame = make_frame(9, width, height);
    EXPECT_EQ(display_update(frame.data()), 1);
    EXPECT_TRUE(offscreen_surface_holds(frame, 0x5A));
    EXPECT_TRUE(screen_shows(frame));
    display_close();
    UnregisterClassA(title, nullptr);
}

// Opens and closes the display itself, around a screen-saver setting.
class ScreenSaver : public ::testing::TestWithParam<BOOL> {
protected:
    void SetUp() override {
        BOOL active = FALSE;
        ASSERT_NE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0), 0);
        saved_ = active;
    }
    void TearDown() override {
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, saved_ ? 1U : 0U, nullptr, 0);
        UnregisterClassA(title, nullptr);
    }
    BOOL saved_ = FALSE;
};

TEST_P(ScreenSaver, IsOffWhileOpenAndRestoredAfterClose) {
    if (desktop_bits() < 16) {
        GTEST_SKIP() << "the display refuses a " << desktop_bits() << "-bit desktop";
    }
    set_screen_saver_active(GetParam());
    ASSERT_EQ(display_open(title, picture_width, picture_height), 1);
    EXPECT_EQ(screen_saver_active(), FALSE);
    display_close();
    EXPECT_EQ(screen_saver_active(), GetParam());

    // Restored once: a second close leaves a later change alone.
    set_screen_saver_active(!GetParam());
    display_close();
    EXPECT_EQ(screen_saver_active(), !GetParam());
}

TEST_P(ScreenSaver, FailedOpenLeavesItAlone) {
    set_screen_saver_active(GetParam());
    // A class of that name exists already: the opening fails before any window.
    WNDCLASSA other{};
    other.lpfnWndProc = DefWindowProcA;
    other.lpszClassName = title;
    ASSERT_NE(RegisterClassA(&other), 0);
    EXPECT_EQ(display_open(title, picture_width, picture_height), 0);
    EXPECT_EQ(screen_saver_active(), GetParam());
    display_close();
    EXPECT_EQ(screen_saver_active(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(OnAndOff, ScreenSaver, ::testing::Values(TRUE, FALSE));

TEST(FailedOpening, WhenTheClassCannotBeRegisteredNoWindowIsMade) {
    WNDCLASSA other{};
    other.lpfnWndProc = DefWindowProcA;
    other.lpszClassName = title;
    ASSERT_NE(RegisterClassA(&other), 0);
    display_state = DisplayState{};
    EXPECT_EQ(display_open(title, picture_width, picture_height), 0);
    EXPECT_EQ(display_state.window, nullptr);
    EXPECT_EQ(display_state.primary_surface, nullptr);
    EXPECT_EQ(FindWindowA(title, nullptr), nullptr);
    display_close();
    UnregisterClassA(title, nullptr);
}

// Refuses every window creation on this thread.
LRESULT CALLBACK refuse_windows(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(FailedOpening, WhenTheWindowCannotBeCreatedNoSurfaceIsMade) {
    BOOL before = screen_saver_active();
    HHOOK hook = SetWindowsHookExA(WH_CBT, refuse_windows, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    display_state = DisplayState{};
    const std::int32_t opened = display_open(title, picture_width, picture_height);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(display_state.window, nullptr);
    EXPECT_EQ(display_state.primary_surface, nullptr);
    EXPECT_EQ(display_state.clipper, nullptr);
    EXPECT_EQ(screen_saver_active(), before);
    display_close();
    EXPECT_EQ(screen_saver_active(), before);
    UnregisterClassA(title, nullptr);
}

TEST(EightBitDesktop, IsRefusedAfterTheWindowIsShown) {
    if (desktop_bits() != 8) {
        GTEST_SKIP() << "runs on an 8-bit desktop";
    }
    for (BOOL active : {TRUE, FALSE}) {
        set_screen_saver_active(active);
        display_state = DisplayState{};
        EXPECT_EQ(display_open(title, picture_width, picture_height), 0);
        // Wine refuses the primary surface in video memory on a palette
        // desktop, before the pixel format is read; on a system that creates
        // it, the palette format is refused instead. Either way no converter.
        std::printf("refused with: ddraw %p, primary %p, off-screen %p, clipper %p\n",
                    static_cast<void*>(display_state.ddraw),
                    static_cast<void*>(display_state.primary_surface),
                    static_cast<void*>(display_state.offscreen_surface),
                    static_cast<void*>(display_state.clipper));
        EXPECT_NE(display_state.ddraw, nullptr);
        EXPECT_NE(IsWindowVisible(display_state.window), 0);
        EXPECT_EQ(display_state.converter, nullptr);
        EXPECT_EQ(screen_saver_active(), active);
        display_close();
        EXPECT_EQ(screen_saver_active(), active);
        EXPECT_EQ(IsWindow(display_state.window), 0);
        UnregisterClassA(title, nullptr);
    }
}

// ------------------------------------------- full screen, preview, saver

// What a form other than a window should show in an area of `area_width` x
// `area_height` pixels: black, and `frame` (picture_width x picture_height)
// at (x, y) in `block` x `block` squares, or, with block 0, shrunk to
// `shown_width` x `shown_height`, each shown pixel the picture pixel at the
// nearest place to its left and above.
std::vector<std::uint32_t> expected_area(const std::vector<std::uint32_t>& frame,
                                         std::int32_t area_width, std::int32_t area_height,
                                         std::int32_t block, std::int32_t x, std::int32_t y,
                                         std::int32_t shown_width = 0,
                                         std::int32_t shown_height = 0) {
    std::vector<std::uint32_t> area(
        static_cast<std::size_t>(area_width) * static_cast<std::size_t>(area_height), 0);
    if (block > 0) {
        shown_width = picture_width * block;
        shown_height = picture_height * block;
    }
    for (std::int32_t j = 0; j < shown_height; ++j) {
        for (std::int32_t i = 0; i < shown_width; ++i) {
            const std::int32_t source_x = block > 0 ? i / block : i * picture_width / shown_width;
            const std::int32_t source_y = block > 0 ? j / block : j * picture_height / shown_height;
            area[static_cast<std::size_t>((y + j) * area_width + x + i)] =
                frame[static_cast<std::size_t>(source_y * picture_width + source_x)];
        }
    }
    return area;
}

// Waits (up to 20 s) for the screen's `width` x `height` pixels at `origin`
// to show `expected` as the desktop keeps it, presenting `frame` meanwhile as
// the program does frame after frame (Wine puts GDI's drawing on the X
// screen as the thread takes its messages, and a preview's parent paints
// itself meanwhile); reports the first differences.
::testing::AssertionResult screen_area_shows(POINT origin, std::int32_t width, std::int32_t height,
                                             const std::vector<std::uint32_t>& expected,
                                             const std::vector<std::uint32_t>& frame) {
    const int bits = desktop_bits();
    const DWORD start = GetTickCount();
    for (;;) {
        ::testing::AssertionResult result =
            compare_pixels(expected, read_screen(origin, width, height), width, bits);
        if (result || GetTickCount() - start > 20000) {
            return result;
        }
        Sleep(20);
        // The thread's other windows (a preview's parent) answered too, as
        // their program would.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
            DispatchMessageA(&message);
        }
        display_update(frame.data());
    }
}

// The block a whole picture fits at on `width` x `height` pixels, worked out
// plainly: the largest k with 320k x 240k inside.
std::int32_t largest_block(std::int32_t width, std::int32_t height) {
    std::int32_t block = 0;
    while (picture_width * (block + 1) <= width && picture_height * (block + 1) <= height) {
        ++block;
    }
    return block;
}

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (desktop_bits() < 16) {
            GTEST_SKIP() << "the display refuses a " << desktop_bits() << "-bit desktop";
        }
        saved_screen_saver_ = screen_saver_active();
    }
    void TearDown() override {
        display_close();
        UnregisterClassA(title, nullptr);
        if (parent_ != nullptr) {
            DestroyWindow(parent_);
        }
        UnregisterClassA("quenlixor test parent", nullptr);
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, saved_screen_saver_ ? 1U : 0U, nullptr, 0);
        drain_pushed_key();
        drain_thread_queue();
    }

    // A visible top-level window of `width` x `height` pixels, all client
    // area, at (40, 30), standing in for the control panel's preview box.
    HWND make_parent(std::int32_t width, std::int32_t height) {
        WNDCLASSA parent_class{};
        parent_class.lpfnWndProc = DefWindowProcA;
        parent_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        parent_class.lpszClassName = "quenlixor test parent";
        RegisterClassA(&parent_class);
        parent_ = CreateWindowExA(0, "quenlixor test parent", "preview box",
                                  WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 30, width, height,
                                  nullptr, nullptr, nullptr, nullptr);
        return parent_;
    }

    BOOL saved_screen_saver_ = FALSE;
    HWND parent_ = nullptr;
};

TEST_F(FormTest, FullScreenCoversTheScreenBlackWithThePictureInTheLargestBlocks) {
    const std::int32_t screen_width = GetSystemMetrics(SM_CXSCREEN);
    const std::int32_t screen_height = GetSystemMetrics(SM_CYSCREEN);
    set_screen_saver_active(TRUE);
    ASSERT_EQ(display_open(title, picture_width, picture_height,
                           DisplayPlace{DisplayForm::full_screen, 0, 0}),
              1)
        << display_failure();
    const std::int32_t block = largest_block(screen_width, screen_height);
    EXPECT_EQ(display_block(), block);
    RECT rect{};
    GetWindowRect(display_state.window, &rect);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, screen_width);
    EXPECT_EQ(rect.bottom, screen_height);
    const auto style = static_cast<DWORD>(GetWindowLongA(display_state.window, GWL_STYLE));
    EXPECT_NE(style & WS_POPUP, 0U);
    EXPECT_EQ(style & WS_CAPTION, 0U);
    EXPECT_EQ(GetWindowLongA(display_state.window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(screen_saver_active(), FALSE) << "switched off, as for a window";
    EXPECT_EQ(GetCursor(), nullptr) << "no cursor over it";
    display_set_caption("Quenlixor Julia Animator FPS:60");
    char caption[64] = {};
    GetWindowTextA(display_state.window, caption, sizeof caption);
    EXPECT_STREQ(caption, "Quenlixor Julia Animator FPS:60");

    const std::int32_t x = (screen_width - picture_width * block) / 2;
    const std::int32_t y = (screen_height - picture_height * block) / 2;
    const std::vector<std::uint32_t> first = make_frame(21);
    ASSERT_EQ(display_update(first.data()), 1);
    EXPECT_TRUE(screen_area_shows(POINT{0, 0}, screen_width, screen_height,
                                  expected_area(first, screen_width, screen_height, block, x, y),
                                  first));

    // Covered and repainted: black and the whole picture again, without a
    // new frame.
    HDC dc = GetDC(display_state.window);
    RECT all{0, 0, screen_width, screen_height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(display_state.window, dc);
    GdiFlush();
    InvalidateRect(display_state.window, nullptr, FALSE);
    ASSERT_EQ(display_update(first.data()), 1);
    EXPECT_TRUE(screen_area_shows(POINT{0, 0}, screen_width, screen_height,
                                  expected_area(first, screen_width, screen_height, block, x, y),
                                  first));

    // A frame that differs in a small part: only that part is converted and
    // blitted, so the off-screen surface's other bytes, spoilt here, never
    // reach the screen.
    std::vector<std::uint32_t> second = first;
    for (std::int32_t row = 100; row < 107; ++row) {
        for (std::int32_t column = 50; column < 61; ++column) {
            second[static_cast<std::size_t>(row * picture_width + column)] ^= 0x00FFFFFFU;
        }
    }
    fill_offscreen_surface(0x5A);
    ASSERT_EQ(display_update(second.data()), 1);
    EXPECT_TRUE(screen_area_shows(POINT{0, 0}, screen_width, screen_height,
                                  expected_area(second, screen_width, screen_height, block, x, y),
                                  second));

    display_close();
    EXPECT_EQ(IsWindow(display_state.window), 0);
    EXPECT_EQ(screen_saver_active(), TRUE);
}

TEST_F(FormTest, FullScreenTakesTheScaleAskedForWhereItFitsElseLowersIt) {
    const std::int32_t screen_width = GetSystemMetrics(SM_CXSCREEN);
    const std::int32_t screen_height = GetSystemMetrics(SM_CYSCREEN);
    const std::int32_t fits = largest_block(screen_width, screen_height);
    ASSERT_GE(fits, 2) << "a screen of at least 640x480";
    for (std::int32_t asked : {2, max_display_scale}) {
        ASSERT_EQ(display_open(title, picture_width, picture_height,
                               DisplayPlace{DisplayForm::full_screen, asked, 0}),
                  1)
            << display_failure();
        const std::int32_t block = asked <= fits ? asked : fits;
        EXPECT_EQ(display_block(), block) << "--scale " << asked;
        const std::vector<std::uint32_t> frame = make_frame(static_cast<std::uint32_t>(asked));
        ASSERT_EQ(display_update(frame.data()), 1);
        EXPECT_TRUE(screen_area_shows(POINT{0, 0}, screen_width, screen_height,
                                      expected_area(frame, screen_width, screen_height, block,
                                                    (screen_width - picture_width * block) / 2,
                                                    (screen_height - picture_height * block) / 2),
                                      frame))
            << "--scale " << asked;
        display_close();
        UnregisterClassA(title, nullptr);
    }
}

// What a preview copies into its child window, read from its off-screen
// surface: `expected` (`width` x `height`, the child's client area) as the
// desktop keeps it. Under Wine 8 that copy reaches the screen's pixels that
// GDI reads back in-process in some runs of this suite and not in others,
// so the surface is what is checked here.
::testing::AssertionResult preview_surface_holds(const std::vector<std::uint32_t>& expected,
                                                 std::int32_t width, std::int32_t height) {
    DDSURFACEDESC description{};
    description.dwSize = sizeof description;
    if (display_state.offscreen_surface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr) !=
        DD_OK) {
        return ::testing::AssertionFailure() << "lock failed";
    }
    const int bits = desktop_bits();
    std::size_t wrong = 0;
    const auto wide = static_cast<std::size_t>(width);
    for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
        const auto* row = static_cast<const unsigned char*>(description.lpSurface) +
                          y * static_cast<std::size_t>(description.lPitch);
        for (std::size_t x = 0; x < wide; ++x) {
            std::uint32_t got = 0;
            if (bits == 16) {
                std::uint16_t value;
                std::memcpy(&value, row + 2 * x, sizeof value);
                const std::uint32_t wide_value = value;
                got = ((wide_value >> 11U) << 19U) | (((wide_value >> 5U) & 63U) << 10U) |
                      ((wide_value & 31U) << 3U);
            } else {
                std::memcpy(&got, row + 4 * x, sizeof got);
            }
            wrong += kept_colour(got, bits) == kept_colour(expected[y * wide + x], bits) ? 0U : 1U;
        }
    }
    const bool size_right = description.dwWidth == static_cast<DWORD>(width) &&
                            description.dwHeight == static_cast<DWORD>(height);
    display_state.offscreen_surface->Unlock(description.lpSurface);
    if (wrong == 0 && size_right) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << wrong << " pixels differ; surface "
                                         << description.dwWidth << "x" << description.dwHeight;
}

TEST_F(FormTest, PreviewTooSmallForOneBlockHoldsThePictureShrunkForItsParent) {
    HWND parent = make_parent(152, 112);
    ASSERT_NE(parent, nullptr);
    set_screen_saver_active(TRUE);
    ASSERT_EQ(
        display_open(
            title, picture_width, picture_height,
            DisplayPlace{DisplayForm::preview, 0,
                         static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(parent))}),
        1)
        << display_failure();
    EXPECT_EQ(display_block(), 0);
    EXPECT_EQ(GetParent(display_state.window), parent);
    EXPECT_NE(GetWindowLongA(display_state.window, GWL_STYLE) & WS_CHILD, 0);
    EXPECT_NE(IsWindowVisible(display_state.window), 0);
    RECT client{};
    GetClientRect(display_state.window, &client);
    EXPECT_EQ(client.right, 152);
    EXPECT_EQ(client.bottom, 112);
    EXPECT_EQ(screen_saver_active(), TRUE) << "a preview leaves the screen saver alone";

    // 112 rows high, as wide as the shape allows (149.33 pixels), centred.
    const std::vector<std::uint32_t> frame = make_frame(31);
    ASSERT_EQ(display_update(frame.data()), 1);
    EXPECT_TRUE(preview_surface_holds(expected_area(frame, 152, 112, 0, 1, 0, 149, 112), 152, 112));
    // A key in it is ignored: nothing reaches the key queue.
    PostMessageA(display_state.window, WM_KEYDOWN, 'A', 0);
    ASSERT_EQ(display_update(frame.data()), 1);
    EXPECT_EQ(_kbhit(), 0);
    display_close();
    EXPECT_EQ(IsWindow(display_state.window), 0);
    EXPECT_NE(IsWindow(parent), 0);
    EXPECT_EQ(screen_saver_active(), TRUE);
}

TEST_F(FormTest, PreviewLargeEnoughForBlocksHoldsThemCentred) {
    HWND parent = make_parent(700, 500);
    ASSERT_NE(parent, nullptr);
    ASSERT_EQ(
        display_open(
            title, picture_width, picture_height,
            DisplayPlace{DisplayForm::preview, 0,
                         static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(parent))}),
        1)
        << display_failure();
    EXPECT_EQ(display_block(), 2);
    const std::vector<std::uint32_t> frame = make_frame(32);
    ASSERT_EQ(display_update(frame.data()), 1);
    EXPECT_TRUE(preview_surface_holds(expected_area(frame, 700, 500, 2, 30, 10), 700, 500));
}

TEST_F(FormTest, PreviewOfSomethingThatIsNoWindowFailsWithALine) {
    HWND gone = make_parent(100, 100);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    parent_ = nullptr;
    const auto number = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(gone));
    EXPECT_EQ(display_open(title, picture_width, picture_height,
                           DisplayPlace{DisplayForm::preview, 0, number}),
              0);
    char expected[96];
    std::snprintf(expected, sizeof expected, "parent window: 0x%llX is not a window",
                  static_cast<unsigned long long>(number));
    EXPECT_STREQ(display_failure(), expected);
    EXPECT_EQ(FindWindowA(title, nullptr), nullptr);
}

TEST(FormScale, OutsideZeroToEightIsRefused) {
    EXPECT_EQ(display_open(title, picture_width, picture_height,
                           DisplayPlace{DisplayForm::full_screen, 9, 0}),
              0);
    EXPECT_STREQ(display_failure(), "scale: 9 is not between 0 and 8");
    EXPECT_EQ(FindWindowA(title, nullptr), nullptr);
}

// What the close child writes to its report file when its display window is
// destroyed after the surfaces and the DirectDraw object were released.
constexpr char released_before_destroy[] = "window destroyed after the release\n";

// Starts this executable as a child that closes its window in the given way,
// reporting into a new temporary file whose name goes to `report_path`.
bool start_close_child(const std::string& mode, char (&report_path)[MAX_PATH],
                       PROCESS_INFORMATION& process) {
    char directory[MAX_PATH] = {};
    EXPECT_NE(GetTempPathA(MAX_PATH, directory), 0U);
    EXPECT_NE(GetTempFileNameA(directory, "qjc", 0, report_path), 0U);
    char path[MAX_PATH] = {};
    EXPECT_NE(GetModuleFileNameA(nullptr, path, MAX_PATH), 0U);
    std::string command =
        std::string("\"") + path + "\" --close-child " + mode + " \"" + report_path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    process = PROCESS_INFORMATION{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process) == 0) {
        ADD_FAILURE() << "CreateProcessA failed: " << GetLastError();
        DeleteFileA(report_path);
        return false;
    }
    return true;
}

// Waits up to `milliseconds` for the child to end, answering this thread's
// messages meanwhile (a child window of ours sends to its parent); ends it
// when it does not. Returns its exit status; `report` receives what it wrote.
DWORD finish_close_child(PROCESS_INFORMATION& process, const char* report_path, std::string& report,
                         DWORD milliseconds) {
    DWORD status = 0xFFFFFFFFU;
    const DWORD start = GetTickCount();
    bool ended = false;
    while (!ended && GetTickCount() - start < milliseconds) {
        const DWORD woken =
            MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 100, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) {
            ended = true;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
            DispatchMessageA(&message);
        }
    }
    if (ended) {
        GetExitCodeProcess(process.hProcess, &status);
    } else {
        ADD_FAILURE() << "the child did not end within " << milliseconds << " ms";
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 10000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    report.clear();
    if (FILE* file = std::fopen(report_path, "rb")) {
        char buffer[256];
        const std::size_t length = std::fread(buffer, 1, sizeof buffer, file);
        report.assign(buffer, length);
        std::fclose(file);
    }
    DeleteFileA(report_path);
    return status;
}

// Runs this executable as a child that closes its window in the given way.
// Returns the child's exit status; `report` receives what the child wrote.
DWORD run_close_child(const std::string& mode, std::string& report) {
    char report_path[MAX_PATH] = {};
    PROCESS_INFORMATION process{};
    if (!start_close_child(mode, report_path, process)) {
        return 0xFFFFFFFFU;
    }
    return finish_close_child(process, report_path, report, 60000);
}

class WindowClose : public ::testing::TestWithParam<const char*> {};

TEST_P(WindowClose, ClosesTheDisplayAndEndsTheProcessWithStatusZero) {
    if (desktop_bits() < 16) {
        GTEST_SKIP() << "the display refuses a " << desktop_bits() << "-bit desktop";
    }
    std::string report;
    EXPECT_EQ(run_close_child(GetParam(), report), 0U);
    EXPECT_EQ(report, released_before_destroy);
}

INSTANTIATE_TEST_SUITE_P(WindowMessages, WindowClose,
                         ::testing::Values("close-message", "system-close", "full-screen-close"));

// What the screen-saver child reports of its window before it is given its
// input: the window's rectangle, whether it is topmost, the block, whether
// the system's screen saver setting is as it was, and whether the cursor is
// hidden.
std::string saver_geometry_report() {
    const std::int32_t left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const std::int32_t top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    char line[160];
    std::snprintf(line, sizeof line,
                  "window %d %d %d %d topmost 1 block %d setting kept cursor none\n",
                  static_cast<int>(left), static_cast<int>(top),
                  static_cast<int>(left + GetSystemMetrics(SM_CXVIRTUALSCREEN)),
                  static_cast<int>(top + GetSystemMetrics(SM_CYVIRTUALSCREEN)),
                  static_cast<int>(
                      largest_block(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN))));
    return line;
}

// The screen saver ends the process with status 0, the display closed, on
// each input that ends it, and not on a move of a few pixels.
class SaverInput : public ::testing::TestWithParam<const char*> {};

TEST_P(SaverInput, ClosesTheDisplayAndEndsTheProcessWithStatusZero) {
    if (desktop_bits() < 16) {
        GTEST_SKIP() << "the display refuses a " << desktop_bits() << "-bit desktop";
    }
    std::string report;
    EXPECT_EQ(run_close_child(GetParam(), report), 0U);
    EXPECT_EQ(report, saver_geometry_report() +
                          "still running after a first move and one of 4 "
                          "pixels\n" +
                          released_before_destroy);
}

INSTANTIATE_TEST_SUITE_P(EndingInput, SaverInput,
                         ::testing::Values("saver-key", "saver-alt-key", "saver-left-button",
                                           "saver-right-button", "saver-move", "saver-deactivated",
                                           "saver-app-deactivated"));

// A preview into a window of another process: shown there, and ended with
// its parent's end, within seconds.
TEST(PreviewChild, EndsWhenItsParentInAnotherProcessIsDestroyed) {
    if (desktop_bits() < 16) {
        GTEST_SKIP() << "the display refuses a " << desktop_bits() << "-bit desktop";
    }
    WNDCLASSA parent_class{};
    parent_class.lpfnWndProc = DefWindowProcA;
    parent_class.lpszClassName = "quenlixor test parent";
    RegisterClassA(&parent_class);
    HWND parent = CreateWindowExA(0, "quenlixor test parent", "preview box", WS_POPUP | WS_VISIBLE,
                                  60, 50, 152, 112, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    char mode[64];
    std::snprintf(mode, sizeof mode, "preview-of:%llu",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(parent)));
    char report_path[MAX_PATH] = {};
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(start_close_child(mode, report_path, process));
    // The child's window appears in the parent, as large as its client area.
    HWND child = nullptr;
    const DWORD start = GetTickCount();
    while (child == nullptr && GetTickCount() - start < 60000 &&
           WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
            DispatchMessageA(&message);
        }
        child = FindWindowExA(parent, nullptr, title, nullptr);
        Sleep(20);
    }
    EXPECT_NE(child, nullptr) << "no preview window in the parent";
    RECT client{};
    GetClientRect(child, &client);
    EXPECT_EQ(client.right, 152);
    EXPECT_EQ(client.bottom, 112);
    DestroyWindow(parent);
    std::string report;
    const DWORD destroyed = GetTickCount();
    EXPECT_EQ(finish_close_child(process, report_path, report, 10000), 0U);
    std::printf("the preview's process ended %lu ms after its parent was destroyed\n",
                static_cast<unsigned long>(GetTickCount() - destroyed));
    UnregisterClassA("quenlixor test parent", nullptr);
}

// The child's report file, written when the display window is destroyed.
const char* child_report_path = nullptr;

// Adds `text` at the end of the child's report file.
void add_to_report(const std::string& text) {
    HANDLE file = CreateFileA(child_report_path, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
}

// Watches the destruction of the display window: display_close destroys it
// after releasing the surfaces and the DirectDraw object.
LRESULT CALLBACK watch_destroy(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_DESTROYWND && reinterpret_cast<HWND>(wParam) == display_state.window &&
        display_state.offscreen_surface == nullptr && display_state.primary_surface == nullptr &&
        display_state.ddraw == nullptr) {
        add_to_report(released_before_destroy);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The screen-saver child: opens the saver, reports its geometry, shows that
// a first move and one of 4 pixels from it go by, then gives it the input
// `mode` names. The last display_update must not return.
int saver_child(const char* mode) {
    // The cursor where the first move will be: Windows' own first move,
    // as the window appears, finds it there too.
    SetCursorPos(GetSystemMetrics(SM_XVIRTUALSCREEN) + 300,
                 GetSystemMetrics(SM_YVIRTUALSCREEN) + 200);
    if (display_open(title, picture_width, picture_height,
                     DisplayPlace{DisplayForm::screen_saver, 0, 0}) != 1) {
        return child_open_failed;
    }
    const BOOL setting_before = display_state.screen_saver_switched_off;
    RECT rect{};
    GetWindowRect(display_state.window, &rect);
    const bool topmost = (GetWindowLongA(display_state.window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    char line[160];
    std::snprintf(
        line, sizeof line, "window %d %d %d %d topmost %d block %d setting %s cursor %s\n",
        static_cast<int>(rect.left), static_cast<int>(rect.top), static_cast<int>(rect.right),
        static_cast<int>(rect.bottom), topmost ? 1 : 0, static_cast<int>(display_block()),
        setting_before ? "switched" : "kept", GetCursor() == nullptr ? "none" : "shown");
    add_to_report(line);
    const std::vector<std::uint32_t> frame = make_frame(8);
    HWND window = display_state.window;
    // Activated (as Windows does when it starts the saver), then a first
    // move anywhere, and one 4 pixels from it along each axis.
    PostMessageA(window, WM_ACTIVATEAPP, TRUE, 0);
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(300, 200));
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(304, 196));
    if (display_update(frame.data()) != 1) {
        return child_update_returned;
    }
    add_to_report("still running after a first move and one of 4 pixels\n");
    if (SetWindowsHookExA(WH_CBT, watch_destroy, nullptr, GetCurrentThreadId()) == nullptr) {
        return child_bad_arguments;
    }
    if (std::strcmp(mode, "saver-key") == 0) {
        PostMessageA(window, WM_KEYDOWN, 'A', 0);
    } else if (std::strcmp(mode, "saver-alt-key") == 0) {
        PostMessageA(window, WM_SYSKEYDOWN, 'A', 0x20000000);
    } else if (std::strcmp(mode, "saver-left-button") == 0) {
        PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(304, 196));
    } else if (std::strcmp(mode, "saver-right-button") == 0) {
        PostMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(304, 196));
    } else if (std::strcmp(mode, "saver-move") == 0) {
        PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(300, 205));
    } else if (std::strcmp(mode, "saver-deactivated") == 0) {
        PostMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
    } else if (std::strcmp(mode, "saver-app-deactivated") == 0) {
        PostMessageA(window, WM_ACTIVATEAPP, FALSE, 0);
    } else {
        return child_bad_arguments;
    }
    display_update(frame.data());
    return child_update_returned;
}

// The preview child: a preview in the window `parent` (another process's),
// presenting frames until the process is ended for it, or a minute passes.
int preview_child(const char* parent) {
    const std::uint64_t window = std::strtoull(parent, nullptr, 10);
    if (display_open(title, picture_width, picture_height,
                     DisplayPlace{DisplayForm::preview, 0, window}) != 1) {
        return child_open_failed;
    }
    const std::vector<std::uint32_t> frame = make_frame(8);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 60000) {
        display_update(frame.data());
        Sleep(10);
    }
    return child_gave_up;
}

// The child side: open, present, ask the window to close, present again. The
// second display_update must not return.
int close_child(const char* mode, const char* report_path) {
    child_report_path = report_path;
    if (std::strncmp(mode, "saver-", 6) == 0) {
        return saver_child(mode);
    }
    if (std::strncmp(mode, "preview-of:", 11) == 0) {
        return preview_child(mode + 11);
    }
    const bool full_screen = std::strcmp(mode, "full-screen-close") == 0;
    const DisplayPlace place{full_screen ? DisplayForm::full_screen : DisplayForm::window,
                             full_screen ? 0 : 1, 0};
    if (display_open(title, picture_width, picture_height, place) != 1) {
        return child_open_failed;
    }
    const std::vector<std::uint32_t> frame = make_frame(8);
    if (display_update(frame.data()) != 1) {
        return child_update_returned;
    }
    if (SetWindowsHookExA(WH_CBT, watch_destroy, nullptr, GetCurrentThreadId()) == nullptr) {
        return child_bad_arguments;
    }
    if (std::strcmp(mode, "close-message") == 0) {
        PostMessageA(display_state.window, WM_CLOSE, 0, 0);
    } else if (std::strcmp(mode, "system-close") == 0 || full_screen) {
        // What the close button, the system menu and Alt+F4 send.
        PostMessageA(display_state.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
        return child_bad_arguments;
    }
    display_update(frame.data());
    return child_update_returned;
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--close-child") == 0) {
        return quenlixor::close_child(argv[2], argv[3]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
