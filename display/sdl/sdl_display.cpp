// The display through SDL2: one centred, fixed-size window, SDL's desktop
// full screen (the screen's mode unchanged), or an X window another program
// gives it (XScreenSaver's, the root window). Our converters fill its
// surface in the desktop's own pixel format, as the DirectDraw display
// fills its off-screen surface. On Wayland, where SDL has no window
// surface of its own, the converters fill a streaming texture instead,
// which an SDL renderer puts into the window pixel for pixel. Either way
// the window asks for the desktop's full resolution (high-DPI), and every
// picture pixel becomes the largest whole square of physical pixels that
// fits (at most the block asked for; shrunk where not even one fits, as
// in a small preview), the picture centred on black, which is drawn once.
// From frame to frame only what changed is converted and shown. Keys in the
// window go into the platform's key queue (none come from a given window);
// a close request closes the display and ends the process with status 0,
// and so does the end of a given window.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "display/display.h"
#include "display/pixel_converters.h"
#include "display/present_rows.h"
#include "display/sdl/sdl_display.h"
#include "display/sdl/sdl_given_window.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

// What changed in a frame is looked for in bands of this many picture
// rows, and in each band in runs of columns that take in gaps of fewer
// than this many unchanged ones; each run is converted and shown on its
// own. From one frame to the next about 4 % of the picture's pixels
// change, scattered: the one rectangle around them all is 72 % of the
// picture on average, each band's 41 % (in at most 30 rectangles), the
// runs 19 % (72 rectangles on average, at most 108). Measured on Xvfb, a
// frame shown in runs took a third to two thirds of the time the bands'
// rectangles took.
constexpr std::int32_t band_rows = 8;
constexpr std::int32_t gap_columns = 16;

struct SdlDisplayState {
    DisplayForm form;
    // The largest block the picture gets; 0 for no limit but the area's.
    std::int32_t most;
    // given_window: the X window drawn into.
    std::uint64_t given;
    SDL_Window* window;
    // With a texture, the renderer that draws it into the window; both
    // nullptr where the window surface is written.
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    Uint32 texture_format;
    std::int32_t width;
    std::int32_t height;
    std::int32_t scale;
    // The surface (or the renderer's output) in pixels that the picture was
    // placed in last, and the window surface it was, if one.
    std::int32_t area_width;
    std::int32_t area_height;
    SDL_Surface* surface;
    PictureFit placement;
    // Where the picture is on the target (the window surface, or the
    // renderer's output), in its pixels: its blocks, or the picture shrunk
    // where not even one pixel fits a picture pixel (block 0).
    PictureRect place;
    Converter converter;
    std::int32_t bytes_per_pixel;
    bool video_started;
    // The picture last shown, and whether the target holds it at the
    // placement (false: the next frame is converted and shown whole).
    std::vector<std::uint32_t> shown;
    bool holds_picture;
    // The parts of the picture a frame changed, and their blocks on the
    // target, in its pixels.
    std::vector<PictureRect> parts;
    std::vector<SDL_Rect> changed;
};

SdlDisplayState state{};

char failure[512];

// Records why opening failed (step and SDL's error) and returns 0.
std::int32_t fail(const char* step, const char* error) {
    std::snprintf(failure, sizeof failure, "%s: %s", step,
                  error[0] != '\0' ? error : "(SDL gave no reason)");
    return 0;
}

// Adds `text` to the zero-terminated `line` of `size` bytes, as much as fits.
void append(char* line, std::size_t size, const char* text) {
    const std::size_t used = std::strlen(line);
    std::snprintf(line + used, size - used, "%s", text);
}

// The drivers that show a window on a desktop the user sees.
bool is_desktop_driver(const char* driver) {
    for (const char* name : {"x11", "wayland", "windows", "cocoa"}) {
        if (std::strcmp(driver, name) == 0) {
            return true;
        }
    }
    return false;
}

// SDL 2 has no framebuffer for a Wayland window: a window surface there
// would be a texture of SDL's own, as large as the window in points, which
// SDL's renderer stretches over the window's pixels. Ours is as large as
// the picture's blocks in pixels, and drawn one to one.
bool presents_with_texture() {
    const char* const driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, "wayland") == 0;
}

// The texture format the renderer takes, among those the converters write:
// the first without alpha, as SDL's own stand-in takes, else the first the
// converters write at all (its alpha is not blended: the texture is copied).
bool choose_texture_format(const SDL_RendererInfo& info, Uint32& chosen) {
    chosen = SDL_PIXELFORMAT_UNKNOWN;
    for (Uint32 i = 0; i < info.num_texture_formats; ++i) {
        const Uint32 format = info.texture_formats[i];
        int bits = 0;
        Uint32 red = 0;
        Uint32 green = 0;
        Uint32 blue = 0;
        Uint32 alpha = 0;
        if (SDL_ISPIXELFORMAT_FOURCC(format) ||
            SDL_PixelFormatEnumToMasks(format, &bits, &red, &green, &blue, &alpha) == SDL_FALSE ||
            select_converter(static_cast<std::uint32_t>(bits), red, green, blue) == nullptr) {
            continue;
        }
        if (alpha == 0) {
            chosen = format;
            return true;
        }
        if (chosen == SDL_PIXELFORMAT_UNKNOWN) {
            chosen = format;
        }
    }
    return chosen != SDL_PIXELFORMAT_UNKNOWN;
}

// Says on stderr what the picture gets when the desktop scales the window
// by a fraction: SDL then has a pixel size for the window that no whole
// block fills.
void tell_fractional_scale(std::int32_t pixels_wide, std::int32_t pixels_high) {
    int points_wide = 0;
    int points_high = 0;
    SDL_GetWindowSize(state.window, &points_wide, &points_high);
    if (points_wide <= 0 || points_high <= 0 ||
        (pixels_wide % points_wide == 0 && pixels_high % points_high == 0)) {
        return;
    }
    const std::int32_t block = state.placement.block;
    std::fprintf(stderr,
                 "quenlixor-julia: the desktop is scaled by %.2f, so the window's %dx%d points "
                 "are %dx%d pixels: the picture gets %dx%d blocks of them, centred on black, and "
                 "is exact only where the desktop puts those pixels on the screen unscaled\n",
                 static_cast<double>(pixels_wide) / points_wide, points_wide, points_high,
                 static_cast<int>(pixels_wide), static_cast<int>(pixels_high),
                 static_cast<int>(block), static_cast<int>(block));
}

// Places the picture in `pixels_wide` x `pixels_high` pixels: the block
// size and offset and, with a texture, a texture of the blocks' size.
// False (with the failure recorded) when the picture does not fit.
bool place_in(std::int32_t pixels_wide, std::int32_t pixels_high) {
    state.area_width = pixels_wide;
    state.area_height = pixels_high;
    state.holds_picture = false;
    state.placement = fit_picture(pixels_wide, pixels_high, state.width, state.height, state.most);
    const std::int32_t block = state.placement.block;
    if (pixels_wide <= 0 || pixels_high <= 0) {
        return fail("window size", "the window has no pixels") != 0;
    }
    state.place = block == 0 ? shrink_picture(pixels_wide, pixels_high, state.width, state.height)
                             : PictureRect{state.placement.x, state.placement.y,
                                           state.width * block, state.height * block};
    if (block != 0) {
        tell_fractional_scale(pixels_wide, pixels_high);
    }
    if (state.renderer == nullptr) {
        return true;
    }
    if (state.texture != nullptr) {
        SDL_DestroyTexture(state.texture);
    }
    state.texture =
        SDL_CreateTexture(state.renderer, state.texture_format, SDL_TEXTUREACCESS_STREAMING,
                          state.place.width, state.place.height);
    if (state.texture == nullptr) {
        return fail("texture", SDL_GetError()) != 0;
    }
    // Copied one to one, so nothing would filter; and nothing blends.
    SDL_SetTextureScaleMode(state.texture, SDL_ScaleModeNearest);
    SDL_SetTextureBlendMode(state.texture, SDL_BLENDMODE_NONE);
    return true;
}

// Places the picture in the window surface, in its format, with black
// around it.
bool place_in_surface(SDL_Surface* surface) {
    const SDL_PixelFormat& format = *surface->format;
    state.surface = surface;
    state.converter =
        select_converter(format.BitsPerPixel, format.Rmask, format.Gmask, format.Bmask);
    state.bytes_per_pixel = format.BytesPerPixel;
    if (state.converter == nullptr) {
        return fail("pixel format", SDL_GetPixelFormatName(format.format)) != 0;
    }
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    return place_in(surface->w, surface->h);
}

// Makes what the frames are shown through, in the window just made: the
// window surface, or on Wayland a renderer whose texture format the
// converters write, and places the picture in it.
bool prepare_presenting() {
    if (!presents_with_texture()) {
        SDL_Surface* const surface = SDL_GetWindowSurface(state.window);
        if (surface == nullptr) {
            return fail("window surface", SDL_GetError()) != 0;
        }
        return place_in_surface(surface);
    }
    state.renderer = SDL_CreateRenderer(state.window, -1, 0);
    SDL_RendererInfo info;
    if (state.renderer == nullptr || SDL_GetRendererInfo(state.renderer, &info) != 0) {
        return fail("renderer", SDL_GetError()) != 0;
    }
    Uint32& format = state.texture_format;
    if (!choose_texture_format(info, format)) {
        return fail("texture format", info.num_texture_formats == 0
                                          ? "none"
                                          : SDL_GetPixelFormatName(info.texture_formats[0]));
    }
    int bits = 0;
    Uint32 red = 0;
    Uint32 green = 0;
    Uint32 blue = 0;
    Uint32 alpha = 0;
    SDL_PixelFormatEnumToMasks(format, &bits, &red, &green, &blue, &alpha);
    state.converter = select_converter(static_cast<std::uint32_t>(bits), red, green, blue);
    state.bytes_per_pixel = SDL_BYTESPERPIXEL(format);
    int wide = 0;
    int high = 0;
    if (SDL_GetRendererOutputSize(state.renderer, &wide, &high) != 0) {
        return fail("renderer", SDL_GetError()) != 0;
    }
    return place_in(wide, high);
}

// The SDL window of the form asked for: a window of its own, centred; the
// whole of SDL's first screen (the primary one); or the given window.
SDL_Window* make_window(const char* title) {
    constexpr Uint32 shown = SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI;
    switch (state.form) {
        case DisplayForm::full_screen: {
            // As large as the screen even out of full screen, where no
            // window manager puts it there (a bare X server).
            SDL_Rect screen{0, 0, state.width, state.height};
            SDL_GetDisplayBounds(0, &screen);
            return SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, screen.w,
                                    screen.h, shown | SDL_WINDOW_FULLSCREEN_DESKTOP);
        }
        case DisplayForm::given_window:
            return SDL_CreateWindowFrom(
                reinterpret_cast<const void*>(static_cast<std::uintptr_t>(state.given)));
        default:
            return SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                    state.width * state.scale, state.height * state.scale, shown);
    }
}

// Opens the window on the video driver `driver` (SDL's choice when
// nullptr) and prepares what it is shown through; on failure, records why
// and undoes it all.
bool open_on(const char* driver, const char* title) {
    if (driver != nullptr) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return fail("SDL video", SDL_GetError()) != 0;
    }
    state.video_started = true;
    state.window = make_window(title);
    char why[sizeof failure] = "";
    if (state.window == nullptr) {
        fail("window", SDL_GetError());
    } else if (state.form == DisplayForm::given_window &&
               !given_window_watch(state.window, why, sizeof why)) {
        fail("given window", why);
    } else if (prepare_presenting()) {
        return true;
    }
    display_close();
    return false;
}

// Opens SDL's window from the window given, through the window system's
// own driver (or the one SDL_VIDEODRIVER names), once the window is found.
bool open_given_window(const char* title) {
    char why[sizeof failure] = "";
    if (!given_window_find(state.given, state.given, why, sizeof why)) {
        return fail("given window", why) != 0;
    }
    const char* const asked = SDL_getenv("SDL_VIDEODRIVER");
    return open_on(asked != nullptr && asked[0] != '\0' ? nullptr : given_window_driver, title);
}

// Opens the window on a desktop. A driver named in SDL_VIDEODRIVER is the
// user's choice and is taken as it is. Otherwise Wayland comes first where
// a Wayland display is named (a Wayland window stays sharp on a scaled
// desktop; without a name libwayland complains on stderr when it finds no
// runtime folder), then the other desktop drivers in SDL's order: without
// a desktop SDL would fall back to a driver that shows nothing. When
// Wayland was passed over for another, stderr says why in one line.
bool open_window(const char* title) {
    const char* const asked = SDL_getenv("SDL_VIDEODRIVER");
    if (asked != nullptr && asked[0] != '\0') {
        return open_on(nullptr, title);
    }
    const char* const wayland_display = SDL_getenv("WAYLAND_DISPLAY");
    const bool wayland_named = wayland_display != nullptr && wayland_display[0] != '\0';
    const char* drivers[8];
    int count = 0;
    for (int index = 0; index < SDL_GetNumVideoDrivers(); ++index) {
        const char* const driver = SDL_GetVideoDriver(index);
        const bool wayland = std::strcmp(driver, "wayland") == 0;
        if (!is_desktop_driver(driver) || (wayland && !wayland_named) || count == 8) {
            continue;
        }
        if (wayland) {
            std::memmove(drivers + 1, drivers, sizeof drivers[0] * static_cast<unsigned>(count));
            drivers[0] = driver;
        } else {
            drivers[count] = driver;
        }
        ++count;
    }
    char errors[400] = "";
    char wayland_failure[sizeof failure] = "";
    for (int index = 0; index < count; ++index) {
        if (open_on(drivers[index], title)) {
            if (wayland_failure[0] != '\0') {
                const bool x11 = std::strcmp(drivers[index], "x11") == 0;
                std::fprintf(stderr,
                             "quenlixor-julia: Wayland cannot show the window (%s), so it opens "
                             "through %s instead\n",
                             wayland_failure, x11 ? "X11" : drivers[index]);
            }
            return true;
        }
        if (std::strcmp(drivers[index], "wayland") == 0) {
            std::memcpy(wayland_failure, failure, sizeof failure);
        }
        const char* const reason = failure;
        for (const char* part : {errors[0] == '\0' ? "" : "; ", drivers[index], ": ", reason}) {
            append(errors, sizeof errors, part);
        }
    }
    SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    std::snprintf(failure, sizeof failure,
                  "no desktop: no X11 or Wayland desktop could show the window (%s); set "
                  "SDL_VIDEODRIVER to run on another SDL video driver",
                  errors[0] == '\0' ? "SDL has no desktop driver" : errors);
    return false;
}

// Shows what was written: on the window surface the parts `count` of
// state.changed, or all of it (black and picture) when `whole`; the
// texture one to one at its place, on black, when anything changed.
void show_picture(bool whole, int count) {
    if (state.renderer == nullptr) {
        if (whole) {
            SDL_UpdateWindowSurface(state.window);
        } else if (count > 0) {
            SDL_UpdateWindowSurfaceRects(state.window, state.changed.data(), count);
        }
        return;
    }
    if (!whole && count == 0) {
        return;
    }
    const SDL_Rect place{state.place.x, state.place.y, state.place.width, state.place.height};
    SDL_SetRenderDrawColor(state.renderer, 0, 0, 0, SDL_ALPHA_OPAQUE);
    SDL_RenderClear(state.renderer);
    SDL_RenderCopy(state.renderer, state.texture, nullptr, &place);
    SDL_RenderPresent(state.renderer);
}

[[noreturn]] void close_and_end() {
    display_close();
    end_process(0);
}

// Answers the window's events: keys into the key queue (a given window
// sends none, and none are taken from it), a close request ends the
// program, an exposed window is shown again whole.
void pump_events() {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        switch (event.type) {
            case SDL_KEYDOWN:
                if (state.form != DisplayForm::given_window) {
                    push_key(window_key_code(static_cast<std::uint32_t>(event.key.keysym.sym)));
                }
                break;
            case SDL_QUIT:
                close_and_end();
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
                    close_and_end();
                }
                if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
                    show_picture(true, 0);
                }
                break;
            default:
                break;
        }
    }
}

// Makes sure the target the frame goes into is there and placed: the
// picture placed again when the window surface was made anew or the
// window's size in pixels has changed (the desktop's scale did, say, or a
// given window's size). False when there is nothing to write into.
bool target_ready() {
    bool placed = true;
    if (state.renderer == nullptr) {
        SDL_Surface* const surface = SDL_GetWindowSurface(state.window);
        if (surface == nullptr) {
            return false;
        }
        if (surface != state.surface || surface->w != state.area_width ||
            surface->h != state.area_height) {
            placed = place_in_surface(surface);
        }
    } else {
        int wide = 0;
        int high = 0;
        if (SDL_GetRendererOutputSize(state.renderer, &wide, &high) != 0) {
            return false;
        }
        if (wide != state.area_width || high != state.area_height) {
            placed = place_in(wide, high);
        }
    }
    if (!placed) {
        failure[0] = '\0';  // a failure of display_update, not of the opening
    }
    return placed;
}

// The blocks of the picture's part `rect` on the target, in its pixels (the
// whole shrunk picture where the block is 0).
SDL_Rect blocks_of(const PictureRect& rect, bool on_surface) {
    const std::int32_t block = state.placement.block;
    const std::int32_t x = on_surface ? state.place.x : 0;
    const std::int32_t y = on_surface ? state.place.y : 0;
    if (block == 0) {
        return SDL_Rect{x, y, state.place.width, state.place.height};
    }
    return SDL_Rect{x + rect.x * block, y + rect.y * block, rect.width * block,
                    rect.height * block};
}

// Converts the part `rect` of the picture `pixels` into its blocks on the
// target (all of it shrunk, where the block is 0), and notes them among the
// parts changed. False when the target could not be locked.
bool present_part(const std::uint32_t* pixels, const PictureRect& rect, int& count) {
    const bool on_surface = state.renderer == nullptr;
    const SDL_Rect blocks = blocks_of(rect, on_surface);
    std::uint8_t* target = nullptr;
    int pitch = 0;
    if (on_surface) {
        if (SDL_LockSurface(state.surface) != 0) {
            return false;
        }
        pitch = state.surface->pitch;
        target = static_cast<std::uint8_t*>(state.surface->pixels) + blocks.y * pitch +
                 blocks.x * state.bytes_per_pixel;
    } else {
        void* locked = nullptr;
        if (SDL_LockTexture(state.texture, &blocks, &locked, &pitch) != 0) {
            return false;
        }
        target = static_cast<std::uint8_t*>(locked);
    }
    if (state.placement.block == 0) {
        present_shrunk(pixels, state.width, state.height, state.place.width, state.place.height,
                       state.converter, state.bytes_per_pixel, target, pitch);
    } else {
        present_rect(pixels + static_cast<std::ptrdiff_t>(rect.y) * state.width + rect.x,
                     state.width, PictureRect{0, 0, rect.width, rect.height}, state.placement.block,
                     state.converter, state.bytes_per_pixel, target, pitch);
    }
    if (on_surface) {
        SDL_UnlockSurface(state.surface);
    } else {
        SDL_UnlockTexture(state.texture);
    }
    state.changed[static_cast<std::size_t>(count++)] = blocks;
    return true;
}

}  // namespace

const DisplayForms display_forms = {true, sdl_draws_given_windows, false};

std::int32_t display_block() {
    return state.placement.block;
}

ShownSize display_shown_size() {
    return {state.place.width, state.place.height};
}

std::int32_t display_open(const char* title, std::int32_t width, std::int32_t height,
                          const DisplayPlace& place) {
    failure[0] = '\0';
    state = SdlDisplayState{};
    const std::int32_t scale = place.scale;
    const bool own_window = place.form == DisplayForm::window;
    if (!own_window && place.form != DisplayForm::full_screen &&
        (place.form != DisplayForm::given_window || !sdl_draws_given_windows)) {
        return fail("form",
                    "this display shows a window of its own, full screen or, with X11, "
                    "in a window given to it");
    }
    state.form = place.form;
    state.width = width;
    state.height = height;
    state.scale = scale;
    state.most = own_window ? 0 : scale;
    state.given = place.window;
    if (scale < (own_window ? 1 : 0) || scale > max_display_scale || width <= 0 || height <= 0) {
        return fail("window size", "scale must be 1 to 8 and the picture at least 1 pixel");
    }
    state.shown.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    const auto most = static_cast<std::size_t>(((height + band_rows - 1) / band_rows) *
                                               changed_parts_most(width, gap_columns));
    state.parts.resize(most);
    state.changed.resize(most);
    // On X11 SDL prefers a DirectColor visual, whose colour map does not
    // show 16-bit pixels as they are; the screen's TrueColor visual does.
    SDL_setenv("SDL_VIDEO_X11_NODIRECTCOLOR", "1", 0);
    // The window surface is to be the desktop's own pixels, which our
    // converters write and the window system shows as they are, not a
    // texture SDL would draw with a renderer of its choice (on Wayland the
    // display draws its own texture instead).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // sdl2-compat (SDL 2 on SDL3) makes a Wayland window as many pixels as
    // it is asked points, its default for programs that know nothing of
    // high DPI, and sets that as SDL starts, over hints of normal priority.
    // This one knows; the variable in the environment stays the user's.
    // (SDL 2 itself has no such hint.)
    if (SDL_getenv("SDL_VIDEO_WAYLAND_SCALE_TO_DISPLAY") == nullptr) {
        SDL_SetHintWithPriority("SDL_VIDEO_WAYLAND_SCALE_TO_DISPLAY", "0", SDL_HINT_OVERRIDE);
    }
    // Ctrl+C and SIGTERM belong to the platform's stop requests.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // In a given window the program is the screen saver (XScreenSaver's,
    // say): it keeps the screen saver as it is, which SDL would otherwise
    // switch off as its video starts.
    const bool given = place.form == DisplayForm::given_window;
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, given ? "1" : "0");
    if (!(given ? open_given_window(title) : open_window(title))) {
        return 0;
    }
    if (!given) {
        SDL_DisableScreenSaver();
    }
    if (place.form == DisplayForm::full_screen) {
        SDL_ShowCursor(SDL_DISABLE);
    }
    return 1;
}

void display_close() {
    if (state.texture != nullptr) {
        SDL_DestroyTexture(state.texture);
        state.texture = nullptr;
    }
    if (state.renderer != nullptr) {
        SDL_DestroyRenderer(state.renderer);
        state.renderer = nullptr;
    }
    if (state.window != nullptr) {
        SDL_DestroyWindow(state.window);
        state.window = nullptr;
    }
    given_window_close();
    state.surface = nullptr;
    state.area_width = 0;
    state.area_height = 0;
    if (state.video_started) {
        SDL_EnableScreenSaver();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        state.video_started = false;
    }
}

// The driver sets the caption every frame, mostly to the text it already
// has; on X11 each change is a round of property updates and a flush. A
// given window's name is its owner's.
void display_set_caption(const char* text) {
    if (state.window != nullptr && state.form != DisplayForm::given_window &&
        std::strcmp(SDL_GetWindowTitle(state.window), text) != 0) {
        SDL_SetWindowTitle(state.window, text);
    }
}

SDL_Window* sdl_display_window() {
    return state.window;
}

std::int32_t display_update(const std::uint32_t* pixels) {
    pump_events();
    if (given_window_gone()) {
        close_and_end();
    }
    if (!target_ready()) {
        return 0;
    }
    // Where the target holds the picture shown last, only the runs that
    // changed in each band; else the whole picture.
    const bool whole = !state.holds_picture || state.placement.block == 0;
    const std::int32_t rows_at_once = whole ? state.height : band_rows;
    int count = 0;
    for (std::int32_t top = 0; top < state.height; top += rows_at_once) {
        const std::int32_t rows = std::min(rows_at_once, state.height - top);
        PictureRect* const parts = state.parts.data() + count;
        std::int32_t found = 1;
        parts[0] = PictureRect{0, 0, state.width, rows};
        if (!whole) {
            const std::ptrdiff_t start = static_cast<std::ptrdiff_t>(top) * state.width;
            found = changed_parts(state.shown.data() + start, pixels + start, state.width, rows,
                                  gap_columns, parts);
        }
        for (std::int32_t part = 0; part < found; ++part) {
            parts[part].y += top;
            if (!present_part(pixels, parts[part], count)) {
                state.holds_picture = false;
                return 0;
            }
        }
    }
    std::copy(pixels, pixels + state.shown.size(), state.shown.begin());
    state.holds_picture = true;
    show_picture(whole, count);
    return 1;
}

const char* display_failure() {
    return failure;
}

}  // namespace quenlixor
