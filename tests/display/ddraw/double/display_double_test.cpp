// The display against the DirectDraw test double: every call, argument and
// order of the opening, the presentation and the closing, every failure of the
// opening, each desktop pixel format, lost surfaces and failed locks.
//
// Each test loads the double afresh (LoadLibraryA("ddraw.dll") finds it beside
// this program), configures it, lets the display open, present and close, and
// unloads it again; an unload that does not happen means the display kept a
// reference to ddraw.dll.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "display/ddraw/ddraw_display.h"
#include "display/display.h"
#include "display/pixel_converters.h"
#include "display/pixel_converters_internal.h"
#include "tests/display/ddraw/double/ddraw_double.h"

namespace quenlixor {
namespace {

namespace dd = ddraw_double;

constexpr std::int32_t picture_width = 320;
constexpr std::int32_t picture_height = 240;
constexpr DWORD ddscl_normal = 8;
// The first-version surface description's size, as the display must state
// it: 108 bytes in a 32-bit program, 120 in a 64-bit one (its surface pointer).
constexpr DWORD first_version_description_size = sizeof(void*) == 4 ? 108 : 120;
constexpr DWORD ddlock_wait = 1;
constexpr DWORD ddblt_wait = 0x01000000;
constexpr DWORD ddpf_rgb = 0x40;
constexpr DWORD ddpf_palette_indexed8 = 0x20;

// --------------------------------------------------------------- helpers

std::string program_directory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.find_last_of("\\/"));
}

std::string module_directory(HMODULE module) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.find_last_of("\\/"));
}

// A window class and caption of its own for every test, so that no test
// meets another's class or window.
std::string title_for_this_test() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string title = "Quenlixor double ";
    title += info->test_suite_name();
    title += ".";
    title += info->name();
    return title;
}

// A class registered with no instance belongs to the program's module.
bool class_registered(const std::string& title) {
    WNDCLASSA window_class{};
    return GetClassInfoA(GetModuleHandleA(nullptr), title.c_str(), &window_class) != 0;
}

BOOL screen_saver_active() {
    BOOL active = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active;
}

void set_screen_saver_active(BOOL active) {
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active ? 1U : 0U, nullptr, 0);
}

// Frames of pseudo-random pixels, all 32 bits of each random (bits 24-31
// carry no colour but may be set).
std::vector<std::uint32_t> make_frame(std::int32_t width, std::int32_t height, std::uint32_t seed) {
    std::vector<std::uint32_t> frame(
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height > 0 ? height : 0) + 1);
    std::uint32_t state = seed | 1U;
    for (std::uint32_t& pixel : frame) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        pixel = state;
    }
    return frame;
}

// The screen rectangle of the window's client area.
RECT client_rect_on_screen(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    return RECT{client.left + origin.x, client.top + origin.y, client.right + origin.x,
                client.bottom + origin.y};
}

// --------------------------------------------------------------- Sleep

// The display's Sleep calls, seen by replacing this program's import of
// KERNEL32's Sleep with a recorder (the display is linked into this program,
// so its calls go through that import). Only calls made while `recording`
// is set are kept, each with the double's call count at that moment, which
// places it among the DirectDraw calls.
struct SleepCall {
    DWORD milliseconds;
    std::uint32_t double_calls_before;
};

using SleepEntry = void(WINAPI*)(DWORD);
SleepEntry real_sleep = nullptr;
bool recording_sleeps = false;
const dd::Control* sleep_clock = nullptr;
std::vector<SleepCall> sleeps;

void WINAPI recording_sleep(DWORD milliseconds) {
    if (recording_sleeps) {
        sleeps.push_back({milliseconds, sleep_clock != nullptr ? sleep_clock->call_count : 0});
    }
    real_sleep(milliseconds);
}

bool interpose_sleep() {
    if (real_sleep != nullptr) {
        return true;
    }
    auto* base = reinterpret_cast<std::uint8_t*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name != 0; ++module) {
        if (_stricmp(reinterpret_cast<const char*>(base + module->Name), "KERNEL32.dll") != 0) {
            continue;
        }
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* address = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++address) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) {
                continue;
            }
            const auto* by_name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), "Sleep") != 0) {
                continue;
            }
            DWORD protection = 0;
            if (VirtualProtect(&address->u1.Function, sizeof address->u1.Function, PAGE_READWRITE,
                               &protection) == 0) {
                return false;
            }
            real_sleep = reinterpret_cast<SleepEntry>(address->u1.Function);
            address->u1.Function = reinterpret_cast<DWORD_PTR>(&recording_sleep);
            VirtualProtect(&address->u1.Function, sizeof address->u1.Function, protection,
                           &protection);
            return true;
        }
    }
    return false;
}

// Runs display_update with its Sleep calls recorded.
std::int32_t update_recording_sleeps(const dd::Control& control, const std::uint32_t* pixels) {
    sleeps.clear();
    sleep_clock = &control;
    recording_sleeps = true;
    const std::int32_t result = display_update(pixels);
    recording_sleeps = false;
    sleep_clock = nullptr;
    return result;
}

// --------------------------------------------------------------- pixel formats

using Layout = PixelFormat;

struct Format {
    DWORD bit_count;
    DWORD red_mask;
    DWORD green_mask;
    DWORD blue_mask;
    Layout layout;
    Converter converter;
};

const Format formats[] = {
    {32, 0x00FF0000, 0x0000FF00, 0x000000FF, Layout::xrgb8888, convert_to_xrgb8888},
    {32, 0x000000FF, 0x0000FF00, 0x00FF0000, Layout::xbgr8888, convert_to_xbgr8888},
    {24, 0x00FF0000, 0x0000FF00, 0x000000FF, Layout::rgb888, convert_to_rgb888},
    {24, 0x000000FF, 0x0000FF00, 0x00FF0000, Layout::bgr888, convert_to_bgr888},
    {16, 0xF800, 0x07E0, 0x001F, Layout::rgb565, convert_to_rgb565},
    {16, 0x001F, 0x07E0, 0xF800, Layout::bgr565, convert_to_bgr565},
    {16, 0x7C00, 0x03E0, 0x001F, Layout::rgb555, convert_to_rgb555},
    {16, 0x001F, 0x03E0, 0x7C00, Layout::bgr555, convert_to_bgr555},
};

std::uint32_t bytes_per_pixel(const Format& format) {
    return format.bit_count / 8;
}

// The bytes one source pixel becomes, written plainly from the format table.
std::vector<std::uint8_t> expected_bytes(Layout layout, std::uint32_t pixel) {
    const std::uint32_t r = (pixel >> 16) & 0xFF;
    const std::uint32_t g = (pixel >> 8) & 0xFF;
    const std::uint32_t b = pixel & 0xFF;
    auto le16 = [](std::uint32_t v) {
        return std::vector<std::uint8_t>{static_cast<std::uint8_t>(v & 0xFF),
                                         static_cast<std::uint8_t>((v >> 8) & 0xFF)};
    };
    auto byte = [](std::uint32_t v) { return static_cast<std::uint8_t>(v); };
    switch (layout) {
        case Layout::xrgb8888:
            return {byte(b), byte(g), byte(r), byte(pixel >> 24)};
        case Layout::xbgr8888:
            return {byte(r), byte(g), byte(b), 0};
        case Layout::rgb888:
            return {byte(b), byte(g), byte(r)};
        case Layout::bgr888:
            return {byte(r), byte(g), byte(b)};
        case Layout::rgb565:
            return le16(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
        case Layout::bgr565:
            return le16(((b >> 3) << 11) | ((g >> 2) << 5) | (r >> 3));
        case Layout::rgb555:
            return le16(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        case Layout::bgr555:
            return le16(((b >> 3) << 10) | ((g >> 3) << 5) | (r >> 3));
    }
    return {};
}

DDPIXELFORMAT rgb_format(DWORD bit_count, DWORD red, DWORD green, DWORD blue) {
    DDPIXELFORMAT format{};
    format.dwSize = sizeof(DDPIXELFORMAT);
    format.dwFlags = ddpf_rgb;
    format.dwRGBBitCount = bit_count;
    format.dwRBitMask = red;
    format.dwGBitMask = green;
    format.dwBBitMask = blue;
    return format;
}

// Checks a surface's whole memory: the guard bytes before and after are the
// sentinel, each row holds the frame's row converted (every pixel a scale x
// scale block), and the bytes between a row's last pixel and the next row
// are the sentinel. Reports the first
// wrong byte and how many there are.
void expect_surface_holds(const dd::SurfaceState& surface, const dd::Control& control,
                          Layout layout, const std::uint32_t* frame, std::int32_t width,
                          std::int32_t height, std::int32_t scale = 1) {
    ASSERT_NE(surface.block, nullptr);
    std::size_t wrong = 0;
    std::string first;
    auto check = [&](const std::uint8_t* at, std::uint8_t expected, const char* what,
                     std::int32_t row, std::size_t column) {
        if (*at != expected) {
            if (wrong == 0) {
                char text[160];
                std::snprintf(text, sizeof text, "%s, row %d byte %u: 0x%02X, expected 0x%02X",
                              what, static_cast<int>(row), static_cast<unsigned>(column),
                              static_cast<unsigned>(*at), static_cast<unsigned>(expected));
                first = text;
            }
            ++wrong;
        }
    };
    const std::uint8_t sentinel = control.sentinel;
    for (std::size_t i = 0; i < control.guard_bytes; ++i) {
        check(surface.block + i, sentinel, "guard before the first row", -1, i);
    }
    const std::size_t row_bytes = static_cast<std::size_t>(width * scale) * surface.bytes_per_pixel;
    const auto pitch = static_cast<std::size_t>(surface.pitch);
    for (std::int32_t row = 0; row < height * scale; ++row) {
        const std::uint8_t* line = surface.pixels + static_cast<std::size_t>(row) * pitch;
        for (std::int32_t column = 0; column < width * scale; ++column) {
            const std::uint32_t pixel =
                frame[static_cast<std::size_t>(row / scale) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(column / scale)];
            const std::vector<std::uint8_t> bytes = expected_bytes(layout, pixel);
            for (std::size_t k = 0; k < bytes.size(); ++k) {
                const std::size_t at = static_cast<std::size_t>(column) * bytes.size() + k;
                check(line + at, bytes[k], "converted pixel", row, at);
            }
        }
        for (std::size_t at = row_bytes; at < pitch; ++at) {
            check(line + at, sentinel, "byte beyond the row", row, at);
        }
    }
    const std::uint8_t* after = surface.pixels + surface.height * pitch;
    for (std::size_t i = 0; i < control.guard_bytes; ++i) {
        check(after + i, sentinel, "guard after the last row",
              static_cast<std::int32_t>(height * scale), i);
    }
    EXPECT_EQ(wrong, 0U) << "first wrong byte: " << first;
}

// True when every byte of the surface's memory is still the sentinel.
bool surface_untouched(const dd::SurfaceState& surface, const dd::Control& control) {
    for (std::size_t i = 0; i < surface.block_size; ++i) {
        if (surface.block[i] != control.sentinel) {
            return false;
        }
    }
    return true;
}

// --------------------------------------------------------------- the log

// "ddraw.CreateSurface", "primary.Lock", "DirectDrawCreate": a call named by
// the kind of object the double knows it to be.
std::string label(const dd::Control& control, const dd::Call& call) {
    std::string object;
    if (call.object != nullptr) {
        object = "unknown";
        for (std::uint32_t i = 0; i < control.direct_draw_count; ++i) {
            if (control.direct_draws[i].object == call.object) {
                object = "ddraw";
            }
        }
        for (std::uint32_t i = 0; i < control.surface_count; ++i) {
            if (control.surfaces[i].object == call.object) {
                object = control.surfaces[i].primary ? "primary" : "offscreen";
            }
        }
        for (std::uint32_t i = 0; i < control.clipper_count; ++i) {
            if (control.clippers[i].object == call.object) {
                object = "clipper";
            }
        }
        object += ".";
    }
    return object + call.name;
}

std::vector<std::string> labels_since(const dd::Control& control, std::uint32_t from) {
    std::vector<std::string> labels;
    for (std::uint32_t i = from; i < control.call_count; ++i) {
        labels.push_back(label(control, control.calls[i]));
    }
    return labels;
}

const std::vector<std::string> opening_calls = {
    "DirectDrawCreate",    "ddraw.SetCooperativeLevel", "ddraw.CreateSurface",
    "ddraw.CreateSurface", "ddraw.CreateClipper",       "clipper.SetHWnd",
    "primary.SetClipper",  "primary.GetPixelFormat",
};

// --------------------------------------------------------------- fixture

// Loads the double afresh, hands the test its control record, and after the
// test closes the display, checks that nothing reached the double that it
// does not implement, and unloads it.
class DoubleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetModuleHandleA("ddraw.dll"), nullptr)
            << "a ddraw.dll is still loaded from an earlier test";
        // The display's record as at the start of a program: the one thing
        // a test needs that no public operation gives (display_close leaves
        // window, width, height, clipper and converter as they were).
        display_state = DisplayState{};
        title_ = title_for_this_test();
        module_ = LoadLibraryA("ddraw.dll");
        ASSERT_NE(module_, nullptr) << "no ddraw.dll beside the test program";
        const FARPROC entry = GetProcAddress(module_, dd::control_export);
        ASSERT_NE(entry, nullptr) << "the ddraw.dll loaded is not the test double";
        control_ = reinterpret_cast<dd::ControlEntry>(reinterpret_cast<void (*)()>(entry))();
        ASSERT_NE(control_, nullptr);
        ASSERT_EQ(control_->magic, dd::control_magic);
        ASSERT_EQ(control_->call_count, 0U) << "the double was not loaded afresh";
        saved_screen_saver_ = screen_saver_active();
    }

    void TearDown() override {
        display_close();
        if (control_ != nullptr) {
            EXPECT_FALSE(control_->log_overflowed);
            for (std::uint32_t i = 0; i < control_->call_count; ++i) {
                const dd::Call& call = control_->calls[i];
                EXPECT_NE(call.method, dd::Method::unsupported)
                    << "call " << i << ": " << label(*control_, call)
                    << " is not one the display uses";
                EXPECT_TRUE(call.object_alive)
                    << "call " << i << ": " << label(*control_, call) << " on a released object";
            }
        }
        UnregisterClassA(title_.c_str(), nullptr);
        if (module_ != nullptr) {
            FreeLibrary(module_);
            module_ = nullptr;
        }
        EXPECT_EQ(GetModuleHandleA("ddraw.dll"), nullptr)
            << "ddraw.dll is still loaded after display_close";
        set_screen_saver_active(saved_screen_saver_);
    }

    std::int32_t open(std::int32_t width = picture_width, std::int32_t height = picture_height) {
        return display_open(title_.c_str(), width, height);
    }

    dd::SurfaceState& primary() {
        dd::SurfaceState* surface = dd::find_surface(*control_, display_state.primary_surface);
        if (surface == nullptr) {
            ADD_FAILURE() << "the display holds no primary surface of the double";
            return control_->surfaces[0];
        }
        return *surface;
    }

    dd::SurfaceState& offscreen() {
        dd::SurfaceState* surface = dd::find_surface(*control_, display_state.offscreen_surface);
        if (surface == nullptr) {
            ADD_FAILURE() << "the display holds no off-screen surface of the double";
            return control_->surfaces[0];
        }
        return *surface;
    }

    const dd::Call& call(std::uint32_t index) const { return control_->calls[index]; }

    std::string title_;
    HMODULE module_ = nullptr;
    dd::Control* control_ = nullptr;
    BOOL saved_screen_saver_ = FALSE;
};

// --------------------------------------------------------------- opening

TEST_F(DoubleTest, TheModuleTheDisplayLoadsIsTheDoubleBesideTheProgram) {
    EXPECT_EQ(module_directory(module_), program_directory());
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(display_state.ddraw_module, module_);
    ASSERT_EQ(control_->direct_draw_count, 1U);
    EXPECT_EQ(display_state.ddraw, control_->direct_draws[0].object);
}

TEST_F(DoubleTest, OpeningMakesTheStatedCallsInOrder) {
    ASSERT_EQ(open(), 1);
    ASSERT_EQ(labels_since(*control_, 0), opening_calls);

    const dd::Call& create = call(0);
    EXPECT_EQ(create.argument, nullptr) << "DirectDrawCreate: no GUID (the active driver)";
    EXPECT_EQ(create.outer, nullptr);
    EXPECT_EQ(create.created, display_state.ddraw);

    const dd::Call& cooperative = call(1);
    EXPECT_EQ(cooperative.object, display_state.ddraw);
    EXPECT_EQ(cooperative.window, display_state.window);
    EXPECT_EQ(cooperative.flags, ddscl_normal);
    EXPECT_TRUE(cooperative.cooperative_window_exists) << "the window exists before";

    const dd::Call& primary_call = call(2);
    EXPECT_EQ(primary_call.description_size, first_version_description_size);
    EXPECT_EQ(primary_call.description_flags, 0x1U);
    EXPECT_EQ(primary_call.description_caps, 0x4200U);
    EXPECT_EQ(primary_call.outer, nullptr);
    EXPECT_EQ(primary_call.created, display_state.primary_surface);

    const dd::Call& offscreen_call = call(3);
    EXPECT_EQ(offscreen_call.description_size, first_version_description_size);
    EXPECT_EQ(offscreen_call.description_flags, 0x7U);
    EXPECT_EQ(offscreen_call.description_caps, 0x40U);
    EXPECT_EQ(offscreen_call.description_width, 320U);
    EXPECT_EQ(offscreen_call.description_height, 240U);
    EXPECT_EQ(offscreen_call.outer, nullptr);
    EXPECT_EQ(offscreen_call.created, display_state.offscreen_surface);

    const dd::Call& clipper_call = call(4);
    EXPECT_EQ(clipper_call.flags, 0U);
    EXPECT_EQ(clipper_call.outer, nullptr);
    EXPECT_EQ(clipper_call.created, display_state.clipper);

    const dd::Call& hwnd = call(5);
    EXPECT_EQ(hwnd.object, display_state.clipper);
    EXPECT_EQ(hwnd.flags, 0U);
    EXPECT_EQ(hwnd.window, display_state.window);

    const dd::Call& set_clipper = call(6);
    EXPECT_EQ(set_clipper.object, display_state.primary_surface);
    EXPECT_EQ(set_clipper.argument, display_state.clipper);

    const dd::Call& format = call(7);
    EXPECT_EQ(format.object, display_state.primary_surface);
    EXPECT_EQ(format.description_size, 32U);

    // What exists: one of each object, the clipper attached to the primary
    // surface, the off-screen surface exactly 320 x 240.
    EXPECT_EQ(dd::alive_direct_draws(*control_), 1U);
    EXPECT_EQ(dd::alive_surfaces(*control_), 2U);
    EXPECT_EQ(dd::alive_clippers(*control_), 1U);
    EXPECT_EQ(primary().clipper, display_state.clipper);
    EXPECT_EQ(offscreen().width, 320U);
    EXPECT_EQ(offscreen().height, 240U);
    EXPECT_EQ(display_state.width, 320);
    EXPECT_EQ(display_state.height, 240);
    EXPECT_EQ(display_state.converter, &convert_to_xrgb8888);

    // The window: shown, its class and first caption the title.
    ASSERT_TRUE(IsWindow(display_state.window));
    EXPECT_TRUE(IsWindowVisible(display_state.window));
    char text[256] = {};
    GetClassNameA(display_state.window, text, sizeof text);
    EXPECT_EQ(std::string(text), title_);
    GetWindowTextA(display_state.window, text, sizeof text);
    EXPECT_EQ(std::string(text), title_);
}

// --------------------------------------------------------------- failures

struct FailureRow {
    const char* name;
    dd::Step step;
    DDPIXELFORMAT format;  // dwSize 0: the double's default
    std::uint32_t direct_draws;
    std::uint32_t surfaces;
    std::uint32_t clippers;
    bool window;            // registered class and shown window exist
    bool clipper_attached;  // to the primary surface
    bool converter_none;    // `converter` stored as none
    const char* failure;    // display_failure() afterwards
};

DDPIXELFORMAT no_format() {
    return DDPIXELFORMAT{};
}

DDPIXELFORMAT palettized_format() {
    DDPIXELFORMAT format{};
    format.dwSize = sizeof(DDPIXELFORMAT);
    format.dwFlags = ddpf_palette_indexed8;
    format.dwRGBBitCount = 8;
    return format;
}

DDPIXELFORMAT not_rgb_format() {
    // Masks and bit count of a supported format, only the flag missing: the
    // flag alone must refuse it.
    DDPIXELFORMAT format = rgb_format(16, 0xF800, 0x07E0, 0x001F);
    format.dwFlags = 0x200;  // DDPF_FOURCC-like, not RGB
    return format;
}

const FailureRow failure_rows[] = {
    {"DirectDrawCreate", dd::Step::direct_draw_create, no_format(), 0, 0, 0, false, false, false,
     "DirectDrawCreate: %G"},
    {"SetCooperativeLevel", dd::Step::set_cooperative_level, no_format(), 1, 0, 0, true, false,
     false, "cooperative level: %G"},
    {"CreateSurfacePrimary", dd::Step::create_primary_surface, no_format(), 1, 0, 0, true, false,
     false, "primary surface: %G"},
    {"CreateSurfaceOffscreen", dd::Step::create_offscreen_surface, no_format(), 1, 1, 0, true,
     false, false, "off-screen surface: %G"},
    {"CreateClipper", dd::Step::create_clipper, no_format(), 1, 2, 0, true, false, false,
     "clipper: %G"},
    {"SetHWnd", dd::Step::set_hwnd, no_format(), 1, 2, 1, true, false, false, "clipper window: %G"},
    {"SetClipper", dd::Step::set_clipper, no_format(), 1, 2, 1, true, false, false,
     "clipper attachment: %G"},
    {"GetPixelFormat", dd::Step::get_pixel_format, no_format(), 1, 2, 1, true, true, false,
     "desktop format: %G"},
    {"NoRgbFlag", dd::Step::none, not_rgb_format(), 1, 2, 1, true, true, false,
     "desktop format: 16 bits per pixel is not supported (not RGB)"},
    {"Palettized8Bit", dd::Step::none, palettized_format(), 1, 2, 1, true, true, false,
     "desktop format: 8 bits per pixel is not supported (not RGB)"},
    {"Rgb8Bit", dd::Step::none, rgb_format(8, 0xE0, 0x1C, 0x03), 1, 2, 1, true, true, true,
     "desktop format: 8 bits per pixel is not supported"},
    {"Rgb15Bit555Masks", dd::Step::none, rgb_format(15, 0x7C00, 0x03E0, 0x001F), 1, 2, 1, true,
     true, true, "desktop format: 15 bits per pixel is not supported"},
    {"Rgb16BitMixedMasks", dd::Step::none, rgb_format(16, 0x001F, 0x07E0, 0x7C00), 1, 2, 1, true,
     true, true,
     "desktop format: 16 bits per pixel with masks R 0x0000001F G 0x000007E0 B 0x00007C00 is "
     "not supported"},
    {"Rgb32BitNoBlue", dd::Step::none, rgb_format(32, 0x00FF0000, 0x0000FF00, 0), 1, 2, 1, true,
     true, true,
     "desktop format: 32 bits per pixel with masks R 0x00FF0000 G 0x0000FF00 B 0x00000000 is "
     "not supported"},
    {"Rgb24BitWith565Masks", dd::Step::none, rgb_format(24, 0xF800, 0x07E0, 0x001F), 1, 2, 1, true,
     true, true,
     "desktop format: 24 bits per pixel with masks R 0x0000F800 G 0x000007E0 B 0x0000001F is "
     "not supported"},
};

// A row's expected failure line, DDERR_GENERIC written out for %G.
std::string expected_failure(const FailureRow& row) {
    std::string line = row.failure;
    const std::size_t at = line.find("%G");
    if (at != std::string::npos) {
        line.replace(at, 2, "DDERR_GENERIC (0x80004005)");
    }
    return line;
}

class OpeningFailureTest : public DoubleTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(OpeningFailureTest, ReturnsZeroAndLeavesWhatExistsUntilClose) {
    const FailureRow& row = GetParam();
    control_->special_step = row.step;
    control_->special_result = DDERR_GENERIC;
    if (row.format.dwSize != 0) {
        control_->pixel_format = row.format;
    }
    // A converter left from before shows whether the failed opening stored
    // one (it must store none when select_converter finds none).
    display_state.converter = &convert_to_bgr888;
    set_screen_saver_active(TRUE);

    EXPECT_EQ(open(), 0);
    EXPECT_EQ(std::string(display_failure()), expected_failure(row));

    EXPECT_EQ(display_state.width, 320);
    EXPECT_EQ(display_state.height, 240);
    EXPECT_EQ(display_state.ddraw_module, module_) << "ddraw.dll stays loaded";
    EXPECT_EQ(dd::alive_direct_draws(*control_), row.direct_draws);
    EXPECT_EQ(dd::alive_surfaces(*control_), row.surfaces);
    EXPECT_EQ(dd::alive_clippers(*control_), row.clippers);
    EXPECT_EQ(display_state.ddraw != nullptr, row.direct_draws == 1);
    EXPECT_EQ(display_state.primary_surface != nullptr, row.surfaces >= 1);
    EXPECT_EQ(display_state.offscreen_surface != nullptr, row.surfaces == 2);
    EXPECT_EQ(display_state.clipper != nullptr, row.clippers == 1);
    if (row.direct_draws == 1) {
        EXPECT_EQ(display_state.ddraw, control_->direct_draws[0].object);
    }

    // The opening stopped at the failing step and released nothing.
    const std::vector<std::string> calls = labels_since(*control_, 0);
    ASSERT_FALSE(calls.empty());
    ASSERT_LE(calls.size(), opening_calls.size());
    EXPECT_EQ(calls, std::vector<std::string>(
                         opening_calls.begin(),
                         opening_calls.begin() + static_cast<std::ptrdiff_t>(calls.size())));
    const std::size_t failing_call = row.step == dd::Step::none
                                         ? opening_calls.size() - 1
                                         : static_cast<std::size_t>(row.step) - 1;
    EXPECT_EQ(calls.size(), failing_call + 1) << "the last call is the failing step";

    if (row.window) {
        ASSERT_NE(display_state.window, nullptr);
        EXPECT_TRUE(IsWindow(display_state.window));
        EXPECT_TRUE(IsWindowVisible(display_state.window)) << "the window was already shown";
        EXPECT_TRUE(class_registered(title_));
    } else {
        EXPECT_EQ(display_state.window, nullptr);
        EXPECT_EQ(FindWindowA(title_.c_str(), nullptr), nullptr);
        EXPECT_FALSE(class_registered(title_)) << "the class is registered after DirectDraw";
    }
    if (row.surfaces >= 1) {
        EXPECT_EQ(primary().clipper, row.clipper_attached ? display_state.clipper : nullptr);
    }
    if (row.converter_none) {
        EXPECT_EQ(display_state.converter, nullptr);
    } else {
        EXPECT_EQ(display_state.converter, &convert_to_bgr888) << "no converter was chosen";
    }
    EXPECT_EQ(screen_saver_active(), TRUE) << "a failed opening leaves the screen saver alone";

    // Closing the half-open display releases what exists, except the
    // clipper, and destroys the window.
    const std::uint32_t closing = control_->call_count;
    const HWND window = display_state.window;
    display_close();
    std::vector<std::string> releases;
    if (row.surfaces == 2) {
        releases.push_back("offscreen.Release");
    }
    if (row.surfaces >= 1) {
        releases.push_back("primary.Release");
    }
    if (row.direct_draws == 1) {
        releases.push_back("ddraw.RestoreDisplayMode");
        releases.push_back("ddraw.SetCooperativeLevel");
        releases.push_back("ddraw.Release");
    }
    EXPECT_EQ(labels_since(*control_, closing), releases);
    EXPECT_EQ(dd::alive_direct_draws(*control_), 0U);
    EXPECT_EQ(dd::alive_surfaces(*control_), 0U);
    EXPECT_EQ(dd::alive_clippers(*control_), row.clippers);
    EXPECT_EQ(display_state.ddraw_module, nullptr);
    if (window != nullptr) {
        EXPECT_FALSE(IsWindow(window));
    }
    EXPECT_EQ(screen_saver_active(), TRUE);
}

INSTANTIATE_TEST_SUITE_P(EveryStep, OpeningFailureTest, ::testing::ValuesIn(failure_rows),
                         [](const ::testing::TestParamInfo<FailureRow>& case_info) {
                             return std::string(case_info.param.name);
                         });

// Results that are not negative are successes, however odd.
class PositiveResultTest : public DoubleTest, public ::testing::WithParamInterface<dd::Step> {};

TEST_P(PositiveResultTest, CountsAsSuccess) {
    control_->special_step = GetParam();
    control_->special_result = S_FALSE;
    // A failure line left from an earlier opening is cleared.
    display_open(title_.c_str(), picture_width, picture_height, 0);
    ASSERT_STRNE(display_failure(), "");
    EXPECT_EQ(open(), 1);
    EXPECT_STREQ(display_failure(), "");
    EXPECT_EQ(labels_since(*control_, 0), opening_calls);
    EXPECT_EQ(display_state.converter, &convert_to_xrgb8888);
}

INSTANTIATE_TEST_SUITE_P(EveryStep, PositiveResultTest,
                         ::testing::Values(dd::Step::direct_draw_create,
                                           dd::Step::set_cooperative_level,
                                           dd::Step::create_primary_surface,
                                           dd::Step::create_offscreen_surface,
                                           dd::Step::create_clipper, dd::Step::set_hwnd,
                                           dd::Step::set_clipper, dd::Step::get_pixel_format),
                         [](const ::testing::TestParamInfo<dd::Step>& case_info) {
                             return std::to_string(static_cast<unsigned>(case_info.param));
                         });

// --------------------------------------------------------------- no DirectDraw hardware

constexpr DWORD primary_in_video_memory = 0x4200;  // DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY
constexpr DWORD primary_anywhere = 0x200;          // DDSCAPS_PRIMARYSURFACE

TEST_F(DoubleTest, PrimaryRefusedForWantOfHardwareIsAskedForOnceMoreWithoutVideoMemory) {
    control_->no_video_memory_primary = true;
    ASSERT_EQ(open(), 1);
    EXPECT_STREQ(display_failure(), "");

    std::vector<std::string> expected = opening_calls;
    expected.insert(expected.begin() + 2, "ddraw.CreateSurface");
    ASSERT_EQ(labels_since(*control_, 0), expected);
    EXPECT_EQ(call(2).description_caps, primary_in_video_memory);
    EXPECT_EQ(call(2).result, DDERR_NODIRECTDRAWHW);
    EXPECT_EQ(call(3).description_caps, primary_anywhere);
    EXPECT_EQ(call(3).description_flags, 0x1U);
    EXPECT_EQ(call(3).created, display_state.primary_surface);
    EXPECT_EQ(call(4).description_caps, 0x40U) << "the off-screen surface as always";
    EXPECT_EQ(dd::alive_surfaces(*control_), 2U);

    const std::vector<std::uint32_t> frame = make_frame(picture_width, picture_height, 7);
    ASSERT_EQ(display_update(frame.data()), 1);
    expect_surface_holds(offscreen(), *control_, Layout::xrgb8888, frame.data(), picture_width,
                         picture_height);
}

TEST_F(DoubleTest, PrimaryRefusedForWantOfHardwareTwiceFailsAfterTheOneRetry) {
    control_->special_step = dd::Step::create_primary_surface;
    control_->special_result = DDERR_NODIRECTDRAWHW;
    EXPECT_EQ(open(), 0);
    EXPECT_STREQ(display_failure(),
                 "primary surface: DDERR_NODIRECTDRAWHW (0x88760233); without video memory: "
                 "DDERR_NODIRECTDRAWHW (0x88760233)");
    const std::vector<std::string> calls = labels_since(*control_, 0);
    ASSERT_EQ(calls, (std::vector<std::string>{"DirectDrawCreate", "ddraw.SetCooperativeLevel",
                                               "ddraw.CreateSurface", "ddraw.CreateSurface"}));
    EXPECT_EQ(call(2).description_caps, primary_in_video_memory);
    EXPECT_EQ(call(3).description_caps, primary_anywhere);
    EXPECT_EQ(display_state.primary_surface, nullptr);
}

// Any other refusal of the primary surface ends the opening at once.
class PrimaryFailureTest : public DoubleTest, public ::testing::WithParamInterface<HRESULT> {};

TEST_P(PrimaryFailureTest, GetsNoRetry) {
    control_->special_step = dd::Step::create_primary_surface;
    control_->special_result = GetParam();
    EXPECT_EQ(open(), 0);
    const std::vector<std::string> calls = labels_since(*control_, 0);
    ASSERT_EQ(calls.size(), 3U);
    EXPECT_EQ(call(2).description_caps, primary_in_video_memory);
    EXPECT_EQ(std::string(display_failure()).rfind("primary surface: ", 0), 0U)
        << display_failure();
}

INSTANTIATE_TEST_SUITE_P(OtherResults, PrimaryFailureTest,
                         ::testing::Values(DDERR_OUTOFVIDEOMEMORY, DDERR_NODIRECTDRAWSUPPORT,
                                           DDERR_INVALIDCAPS, DDERR_UNSUPPORTED,
                                           DDERR_PRIMARYSURFACEALREADYEXISTS,
                                           static_cast<HRESULT>(0x88760232)));

TEST(FailureLine, NamesTheResultAndAlwaysGivesItsCode) {
    // Through the double's one refusal that needs no window: the opening's
    // first DirectDraw call.
    display_state = DisplayState{};
    HMODULE module = LoadLibraryA("ddraw.dll");
    ASSERT_NE(module, nullptr);
    auto* control = reinterpret_cast<dd::ControlEntry>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, dd::control_export)))();
    control->special_step = dd::Step::direct_draw_create;
    const std::pair<HRESULT, const char*> cases[] = {
        {DDERR_OUTOFMEMORY, "DirectDrawCreate: DDERR_OUTOFMEMORY (0x8007000E)"},
        {DDERR_INVALIDPARAMS, "DirectDrawCreate: DDERR_INVALIDPARAMS (0x80070057)"},
        {DDERR_NODIRECTDRAWSUPPORT, "DirectDrawCreate: DDERR_NODIRECTDRAWSUPPORT (0x887600DE)"},
        {static_cast<HRESULT>(0x88760299), "DirectDrawCreate: 0x88760299"},
    };
    for (const auto& [result, line] : cases) {
        control->special_result = result;
        EXPECT_EQ(display_open("Quenlixor double failure line", picture_width, picture_height), 0);
        EXPECT_STREQ(display_failure(), line);
        display_close();
    }
    FreeLibrary(module);
    EXPECT_EQ(GetModuleHandleA("ddraw.dll"), nullptr);
}

// --------------------------------------------------------------- scale

TEST_F(DoubleTest, ScaleOutsideOneToEightIsRefusedBeforeAnythingIsMade) {
    for (const std::int32_t scale : {0, -1, 9}) {
        EXPECT_EQ(display_open(title_.c_str(), picture_width, picture_height, scale), 0);
        EXPECT_EQ(std::string(display_failure()),
                  "scale: " + std::to_string(scale) + " is not between 1 and 8");
    }
    EXPECT_EQ(control_->call_count, 0U);
    EXPECT_EQ(display_state.ddraw_module, nullptr);
    EXPECT_FALSE(class_registered(title_));
}

struct ScaleCase {
    std::int32_t scale;
    Format format;
};

class ScaleTest : public DoubleTest, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(ScaleTest, EveryPixelIsAnExactBlockBlittedOneToOneIntoACentredWindow) {
    const std::int32_t scale = GetParam().scale;
    const Format& format = GetParam().format;
    control_->pixel_format =
        rgb_format(format.bit_count, format.red_mask, format.green_mask, format.blue_mask);
    control_->pitch_padding = 6;
    ASSERT_EQ(display_open(title_.c_str(), picture_width, picture_height, scale), 1);

    const std::int32_t shown_width = picture_width * scale;
    const std::int32_t shown_height = picture_height * scale;
    RECT client{};
    GetClientRect(display_state.window, &client);
    EXPECT_EQ(client.right, shown_width);
    EXPECT_EQ(client.bottom, shown_height);
    RECT outer{};
    GetWindowRect(display_state.window, &outer);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) >> 1);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) >> 1);

    dd::SurfaceState& surface = offscreen();
    ASSERT_EQ(surface.width, static_cast<DWORD>(shown_width));
    ASSERT_EQ(surface.height, static_cast<DWORD>(shown_height));

    const std::vector<std::uint32_t> frame = make_frame(picture_width, picture_height, 99);
    const std::uint32_t before = control_->call_count;
    ASSERT_EQ(display_update(frame.data()), 1);
    expect_surface_holds(surface, *control_, format.layout, frame.data(), picture_width,
                         picture_height, scale);

    // The blit copies the whole surface to the client area, same size.
    const dd::Call* blit = nullptr;
    for (std::uint32_t i = before; i < control_->call_count; ++i) {
        if (control_->calls[i].method == dd::Method::surface_blt) {
            blit = &control_->calls[i];
        }
    }
    ASSERT_NE(blit, nullptr);
    EXPECT_EQ(blit->source_rect.left, 0);
    EXPECT_EQ(blit->source_rect.top, 0);
    EXPECT_EQ(blit->source_rect.right, shown_width);
    EXPECT_EQ(blit->source_rect.bottom, shown_height);
    const RECT on_screen = client_rect_on_screen(display_state.window);
    EXPECT_EQ(blit->destination_rect.left, on_screen.left);
    EXPECT_EQ(blit->destination_rect.top, on_screen.top);
    EXPECT_EQ(blit->destination_rect.right, on_screen.right);
    EXPECT_EQ(blit->destination_rect.bottom, on_screen.bottom);
}

INSTANTIATE_TEST_SUITE_P(Scales, ScaleTest,
                         ::testing::Values(ScaleCase{2, formats[0]}, ScaleCase{3, formats[2]},
                                           ScaleCase{2, formats[4]}),
                         [](const ::testing::TestParamInfo<ScaleCase>& case_info) {
                             return std::string(pixel_format_name(case_info.param.format.layout)) +
                                    "_times" + std::to_string(case_info.param.scale);
                         });

// A ddraw.dll without DirectDrawCreate: the look-up fails with the module
// loaded and nothing else made. The broken module is loaded first by its
// path; the display's LoadLibraryA("ddraw.dll") then finds it by name.
TEST(NoDirectDrawCreate, OpeningFailsWithOnlyTheModuleLoaded) {
    ASSERT_EQ(GetModuleHandleA("ddraw.dll"), nullptr);
    display_state = DisplayState{};
    const std::string title = title_for_this_test();
    const std::string path = program_directory() + "\\no-entry\\ddraw.dll";
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr) << path;
    ASSERT_NE(GetProcAddress(module, "quenlixor_double_no_entry"), nullptr);
    ASSERT_EQ(GetProcAddress(module, "DirectDrawCreate"), nullptr);

    EXPECT_EQ(display_open(title.c_str(), picture_width, picture_height), 0);
    EXPECT_STREQ(display_failure(), "ddraw.dll: no DirectDrawCreate");
    EXPECT_EQ(display_state.ddraw_module, module);
    EXPECT_EQ(display_state.width, 320);
    EXPECT_EQ(display_state.height, 240);
    EXPECT_EQ(display_state.ddraw, nullptr);
    EXPECT_EQ(display_state.window, nullptr);
    EXPECT_EQ(FindWindowA(title.c_str(), nullptr), nullptr);
    EXPECT_FALSE(class_registered(title));

    display_close();
    EXPECT_EQ(display_state.ddraw_module, nullptr);
    FreeLibrary(module);
    EXPECT_EQ(GetModuleHandleA("ddraw.dll"), nullptr) << "display_close did not free ddraw.dll";
}

// LoadLibraryA failing: a copy of this program, started from a folder where
// no ddraw.dll can be found, opens the display and reports what it found as
// bits of its exit status.
constexpr const char* missing_module_flag = "--missing-ddraw-child";

enum MissingModuleFault : int {
    missing_opened = 1 << 0,
    missing_size_not_stored = 1 << 1,
    missing_module_set = 1 << 2,
    missing_ddraw_set = 1 << 3,
    missing_window_set = 1 << 4,
    missing_window_exists = 1 << 5,
    missing_class_registered = 1 << 6,
    missing_module_loaded = 1 << 7,
    missing_module_loadable = 1 << 8,
    missing_failure_line = 1 << 9,
};

int run_missing_module_child() {
    const char* title = "Quenlixor double missing ddraw.dll";
    int faults = 0;
    if (display_open(title, picture_width, picture_height) != 0) {
        faults |= missing_opened;
    }
    if (display_state.width != 320 || display_state.height != 240) {
        faults |= missing_size_not_stored;
    }
    if (display_state.ddraw_module != nullptr) {
        faults |= missing_module_set;
    }
    if (display_state.ddraw != nullptr) {
        faults |= missing_ddraw_set;
    }
    if (display_state.window != nullptr) {
        faults |= missing_window_set;
    }
    if (FindWindowA(title, nullptr) != nullptr) {
        faults |= missing_window_exists;
    }
    if (class_registered(title)) {
        faults |= missing_class_registered;
    }
    if (GetModuleHandleA("ddraw.dll") != nullptr) {
        faults |= missing_module_loaded;
    }
    if (std::strcmp(display_failure(), "ddraw.dll: not found") != 0) {
        std::fprintf(stderr, "failure line: \"%s\"\n", display_failure());
        faults |= missing_failure_line;
    }
    // The scenario itself: ddraw.dll really cannot be loaded here.
    if (LoadLibraryA("ddraw.dll") != nullptr) {
        faults |= missing_module_loadable;
    }
    return faults;
}

TEST(MissingDirectDraw, OpeningFailsBeforeAnyWindow) {
    // A copy of this program in a folder without ddraw.dll; it runs with
    // this one's WINEDLLOVERRIDES=ddraw=n, so no other ddraw.dll may load.
    const std::string path = program_directory() + "\\no-ddraw\\display_double_test.exe";
    ASSERT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
    std::string command = "\"" + path + "\" " + missing_module_flag;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &process);
    ASSERT_TRUE(started);

    ASSERT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
    DWORD status = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(status & missing_module_loadable, 0U)
        << "ddraw.dll could be loaded in the child: the scenario did not happen";
    EXPECT_EQ(status, 0U) << "faults (bits of MissingModuleFault): " << status;
}

// --------------------------------------------------------------- formats

struct FormatCase {
    Format format;
    std::int32_t width;
    std::int32_t height;
    std::uint32_t pitch_padding;
};

std::vector<FormatCase> format_cases() {
    std::vector<FormatCase> cases;
    for (const Format& format : formats) {
        // The program's picture with a pitch wider than the row, and a small
        // odd picture with an odd padding (rows at unaligned addresses).
        cases.push_back({format, picture_width, picture_height, 12});
        cases.push_back({format, 13, 5, 5});
    }
    return cases;
}

class FormatTest : public DoubleTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(FormatTest, PicksItsConverterAndPresentsFramesExactly) {
    const FormatCase& param = GetParam();
    const Format& format = param.format;
    control_->pixel_format =
        rgb_format(format.bit_count, format.red_mask, format.green_mask, format.blue_mask);
    control_->pitch_padding = param.pitch_padding;

    ASSERT_EQ(open(param.width, param.height), 1);
    EXPECT_EQ(display_state.converter, format.converter);
    dd::SurfaceState& surface = offscreen();
    ASSERT_EQ(surface.width, static_cast<DWORD>(param.width));
    ASSERT_EQ(surface.height, static_cast<DWORD>(param.height));
    ASSERT_EQ(surface.bytes_per_pixel, bytes_per_pixel(format));
    ASSERT_EQ(surface.pitch,
              static_cast<LONG>(static_cast<std::uint32_t>(param.width) * bytes_per_pixel(format) +
                                param.pitch_padding));

    // Two different frames: every row is converted on every call.
    for (std::uint32_t seed : {0x12345678U, 0x9ABCDEF1U}) {
        const std::vector<std::uint32_t> frame = make_frame(param.width, param.height, seed);
        ASSERT_EQ(display_update(frame.data()), 1);
        expect_surface_holds(surface, *control_, format.layout, frame.data(), param.width,
                             param.height);
        if (HasFailure()) {
            return;
        }
    }

    // The blit put the surface into the screen at the client area (checked
    // where the client area has the picture's size, so nothing is scaled).
    const RECT client = client_rect_on_screen(display_state.window);
    if (client.right - client.left == param.width && client.bottom - client.top == param.height) {
        const dd::SurfaceState& screen = primary();
        const std::size_t row_bytes =
            static_cast<std::size_t>(param.width) * surface.bytes_per_pixel;
        std::size_t wrong_rows = 0;
        for (std::int32_t row = 0; row < param.height; ++row) {
            const std::uint8_t* on_screen = screen.pixels + (client.top + row) * screen.pitch +
                                            client.left * static_cast<LONG>(screen.bytes_per_pixel);
            const std::uint8_t* in_surface = surface.pixels + row * surface.pitch;
            if (std::memcmp(on_screen, in_surface, row_bytes) != 0) {
                ++wrong_rows;
            }
        }
        EXPECT_EQ(wrong_rows, 0U);
    }
}

INSTANTIATE_TEST_SUITE_P(EachFormat, FormatTest, ::testing::ValuesIn(format_cases()),
                         [](const ::testing::TestParamInfo<FormatCase>& case_info) {
                             return std::string(pixel_format_name(case_info.param.format.layout)) +
                                    "_" + std::to_string(case_info.param.width) + "x" +
                                    std::to_string(case_info.param.height);
                         });

// --------------------------------------------------------------- presenting

TEST_F(DoubleTest, UpdateRestoresLocksConvertsUnlocksAndBlitsInThatOrder) {
    ASSERT_EQ(open(), 1);
    const std::vector<std::uint32_t> frame = make_frame(picture_width, picture_height, 7);
    for (int round = 0; round < 2; ++round) {
        const std::uint32_t from = control_->call_count;
        ASSERT_TRUE(interpose_sleep());
        ASSERT_EQ(update_recording_sleeps(*control_, frame.data()), 1);
        // Sleep(0) once, after the blit, the last DirectDraw call.
        ASSERT_EQ(sleeps.size(), 1U);
        EXPECT_EQ(sleeps[0].milliseconds, 0U);
        EXPECT_EQ(sleeps[0].double_calls_before, control_->call_count);
        // Repaints dispatched by the message pump come first.
        std::uint32_t first = from;
        while (first < control_->call_count && label(*control_, call(first)) == "primary.Blt") {
            ++first;
        }
        ASSERT_EQ(labels_since(*control_, first),
                  (std::vector<std::string>{"primary.Restore", "offscreen.Restore",
                                            "offscreen.Lock", "offscreen.Unlock", "primary.Blt"}));
        const dd::Call& lock = call(first + 2);
        EXPECT_EQ(lock.lock_rect, nullptr) << "the whole surface";
        EXPECT_NE(lock.argument, nullptr);
        EXPECT_EQ(lock.description_size, first_version_description_size);
        EXPECT_EQ(lock.flags, ddlock_wait);
        EXPECT_EQ(lock.outer, nullptr) << "no event";
        EXPECT_EQ(lock.result, DD_OK);

        const dd::Call& unlock = call(first + 3);
        EXPECT_EQ(unlock.argument, offscreen().pixels) << "the lpSurface of the lock";
        EXPECT_EQ(unlock.result, DD_OK);

        const dd::Call& blt = call(first + 4);
        const RECT client = client_rect_on_screen(display_state.window);
        ASSERT_TRUE(blt.has_destination_rect);
        EXPECT_EQ(blt.destination_rect.left, client.left);
        EXPECT_EQ(blt.destination_rect.top, client.top);
        EXPECT_EQ(blt.destination_rect.right, client.right);
        EXPECT_EQ(blt.destination_rect.bottom, client.bottom);
        EXPECT_EQ(client.right - client.left, 320) << "client area of the picture's size";
        EXPECT_EQ(client.bottom - client.top, 240);
        EXPECT_EQ(blt.argument, display_state.offscreen_surface);
        ASSERT_TRUE(blt.has_source_rect);
        EXPECT_EQ(blt.source_rect.left, 0);
        EXPECT_EQ(blt.source_rect.top, 0);
        EXPECT_EQ(blt.source_rect.right, 320);
        EXPECT_EQ(blt.source_rect.bottom, 240);
        EXPECT_EQ(blt.flags, ddblt_wait);
        EXPECT_EQ(blt.outer, nullptr) << "no effects record";
        EXPECT_EQ(blt.result, DD_OK);
    }
}

TEST_F(DoubleTest, FailedLockReturnsZeroAfterPumpingWithoutUnlockOrBlit) {
    ASSERT_EQ(open(), 1);
    const std::vector<std::uint32_t> frame = make_frame(picture_width, picture_height, 3);
    // A repaint waiting in the queue shows that the messages were pumped
    // before the lock.
    InvalidateRect(display_state.window, nullptr, FALSE);
    control_->special_step = dd::Step::lock;
    control_->special_result = DDERR_GENERIC;
    const std::uint32_t from = control_->call_count;

    ASSERT_TRUE(interpose_sleep());
    EXPECT_EQ(update_recording_sleeps(*control_, frame.data()), 0);

    EXPECT_TRUE(sleeps.empty()) << "no Sleep after a failed lock";
    std::vector<std::string> calls = labels_since(*control_, from);
    ASSERT_GE(calls.size(), 4U);
    // Only repaints before the restores: the pending one was dispatched.
    for (std::size_t i = 0; i + 3 < calls.size(); ++i) {
        EXPECT_EQ(calls[i], "primary.Blt");
    }
    // Nothing after the failed lock: no Unlock, no blit.
    EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
              (std::vector<std::string>{"primary.Restore", "offscreen.Restore", "offscreen.Lock"}));
    EXPECT_TRUE(surface_untouched(offscreen(), *control_)) << "nothing was converted";
    EXPECT_FALSE(offscreen().locked);
}

TEST_F(DoubleTest, LostSurfacesThatCanBeRestoredArePresentedInto) {
    // Both surfaces come lost from their creation (as after a change of the
    // display by another program), and can be restored.
    control_->create_lost_primary = true;
    control_->create_lost_offscreen = true;
    control_->create_restorable = true;
    ASSERT_EQ(open(), 1);
    ASSERT_TRUE(primary().lost);
    ASSERT_TRUE(offscreen().lost);
    const std::vector<std::uint32_t> frame = make_frame(picture_width, picture_height, 11);
    const std::uint32_t from = control_->call_count;

    EXPECT_EQ(display_update(frame.data()), 1);

    EXPECT_FALSE(primary().lost);
    EXPECT_FALSE(offscreen().lost);
    // The first call after any repaints is the restore of the primary
    // surface; everything from then on succeeded.
    std::uint32_t first = from;
    while (first < control_->call_count && label(*control_, call(first)) == "primary.Blt") {
        ++first;
    }
    EXPECT_EQ(labels_since(*control_, first),
              (std::vector<std::string>{"primary.Restore", "offscreen.Restore", "offscreen.Lock",
                                        "offscreen.Unlock", "primary.Blt"}));
    for (std::uint32_t i = first; i < control_->call_count; ++i) {
        EXPECT_EQ(call(i).result, DD_OK) << label(*control_, call(i));
    }
    expect_surface_holds(offscreen(), *control_, Layout::xrgb8888, frame.data(), picture_width,
                         picture_height);
}

TEST_F(DoubleTest, LostOffscreenSurfaceThatCannotBeRestoredFailsTheUpdate) {
    ASSERT_EQ(open(), 1);
    offscreen().lost = true;
    offscreen().restorable = false;
    const std::vector<std::uint32_t> frame = make_frame(picture_width, picture_height, 13);
    const std::uint32_t from = control_->call_count;

    EXPECT_EQ(display_update(frame.data()), 0);

    const std::vector<std::string> calls = labels_since(*control_, from);
    ASSERT_GE(calls.size(), 3U);
    EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
              (std::vector<std::string>{"primary.Restore", "offscreen.Restore", "offscreen.Lock"}));
    EXPECT_EQ(call(control_->call_count - 2).result, DDERR_WRONGMODE);
    EXPECT_EQ(call(control_->call_count - 1).result, DDERR_SURFACELOST);
    EXPECT_TRUE(offscreen().lost);
    // Every later update fails the same way.
    EXPECT_EQ(display_update(frame.data()), 0);
}

TEST_F(DoubleTest, LostPrimarySurfaceThatCannotBeRestoredStillCountsAsPresented) {
    ASSERT_EQ(open(), 1);
    primary().lost = true;
    primary().restorable = false;
    const std::vector<std::uint32_t> frame = make_frame(picture_width, picture_height, 17);

    // The blit fails, and its result is not examined.
    EXPECT_EQ(display_update(frame.data()), 1);
    const dd::Call& last = call(control_->call_count - 1);
    EXPECT_EQ(label(*control_, last), "primary.Blt");
    EXPECT_EQ(last.result, DDERR_SURFACELOST);
    expect_surface_holds(offscreen(), *control_, Layout::xrgb8888, frame.data(), picture_width,
                         picture_height);
}

TEST_F(DoubleTest, NoRowsAreConvertedWhenTheHeightIsZero) {
    ASSERT_EQ(open(picture_width, 0), 1);
    EXPECT_EQ(offscreen().height, 0U);
    const std::vector<std::uint32_t> frame = make_frame(picture_width, 1, 19);
    EXPECT_EQ(display_update(frame.data()), 1);
    EXPECT_TRUE(surface_untouched(offscreen(), *control_));
}

TEST_F(DoubleTest, NoRowsAreConvertedWhenTheHeightIsNegative) {
    ASSERT_EQ(open(), 1);
    // The height is compared as a signed number: a negative one converts no
    // rows. No opening gives a negative height with a surface to go with it,
    // so the test sets the field itself, and puts it back.
    display_state.height = -3;
    const std::vector<std::uint32_t> frame = make_frame(picture_width, picture_height, 23);
    EXPECT_EQ(display_update(frame.data()), 1);
    display_state.height = picture_height;
    EXPECT_TRUE(surface_untouched(offscreen(), *control_));
}

// --------------------------------------------------------------- closing

TEST_F(DoubleTest, CloseReleasesInOrderKeepsTheClipperAndIsHarmlessTwice) {
    ASSERT_EQ(open(), 1);
    const std::vector<std::uint32_t> frame = make_frame(picture_width, picture_height, 29);
    ASSERT_EQ(display_update(frame.data()), 1);
    const HWND window = display_state.window;
    IDirectDraw* const ddraw = display_state.ddraw;
    IDirectDrawClipper* const clipper = display_state.clipper;
    const Converter converter = display_state.converter;
    const std::uint32_t from = control_->call_count;

    display_close();

    ASSERT_EQ(labels_since(*control_, from),
              (std::vector<std::string>{"offscreen.Release", "primary.Release",
                                        "ddraw.RestoreDisplayMode", "ddraw.SetCooperativeLevel",
                                        "ddraw.Release"}));
    const dd::Call& cooperative = call(from + 3);
    EXPECT_EQ(cooperative.window, window);
    EXPECT_EQ(cooperative.flags, ddscl_normal);
    EXPECT_EQ(call(from + 4).object, ddraw);
    EXPECT_TRUE(call(from + 4).cooperative_window_exists)
        << "the window is destroyed after DirectDraw is released";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(dd::alive_direct_draws(*control_), 0U);
    EXPECT_EQ(dd::alive_surfaces(*control_), 0U);
    EXPECT_EQ(dd::alive_clippers(*control_), 1U) << "the clipper is not released";

    EXPECT_EQ(display_state.offscreen_surface, nullptr);
    EXPECT_EQ(display_state.primary_surface, nullptr);
    EXPECT_EQ(display_state.ddraw, nullptr);
    EXPECT_EQ(display_state.ddraw_module, nullptr);
    EXPECT_EQ(display_state.window, window);
    EXPECT_EQ(display_state.clipper, clipper);
    EXPECT_EQ(display_state.converter, converter);
    EXPECT_EQ(display_state.width, 320);
    EXPECT_EQ(display_state.height, 240);

    // A second close finds nothing to release.
    const std::uint32_t second = control_->call_count;
    display_close();
    EXPECT_EQ(control_->call_count, second);
    EXPECT_EQ(dd::alive_clippers(*control_), 1U);
    EXPECT_EQ(display_state.ddraw_module, nullptr);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(DoubleTest, ScreenSaverIsOffWhileOpenAndAsBeforeAfterClose) {
    for (const BOOL before : {TRUE, FALSE}) {
        SCOPED_TRACE(before ? "screen saver on before" : "screen saver off before");
        set_screen_saver_active(before);
        ASSERT_EQ(screen_saver_active(), before) << "the setting cannot be read back here";
        display_state = DisplayState{};
        ASSERT_EQ(open(), 1);
        EXPECT_EQ(screen_saver_active(), FALSE);
        display_close();
        EXPECT_EQ(screen_saver_active(), before);
        display_close();
        EXPECT_EQ(screen_saver_active(), before);
        UnregisterClassA(title_.c_str(), nullptr);
        // The display freed its reference; the test's keeps the double.
    }
}

}  // namespace
}  // namespace quenlixor

// A crash (say, rows written far past a surface) ends the program at once
// with a message instead of waiting for a debugger.
LONG WINAPI report_crash(EXCEPTION_POINTERS* exception) {
    std::fprintf(stderr, "unhandled exception 0x%08lX at %p\n",
                 exception->ExceptionRecord->ExceptionCode,
                 exception->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(report_crash);
    if (argc == 2 && std::strcmp(argv[1], quenlixor::missing_module_flag) == 0) {
        return quenlixor::run_missing_module_child();
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
