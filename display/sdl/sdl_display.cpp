// The display through SDL2: one centred, fixed-size window whose surface our
// converters fill in the desktop's own pixel format, as the DirectDraw
// display fills its off-screen surface. On Wayland, where SDL has no
// window surface of its own, the converters fill a streaming texture
// instead, which an SDL renderer puts into the window pixel for pixel.
// Either way the window asks for the desktop's full resolution (high-DPI),
// and every picture pixel becomes the largest whole square of physical
// pixels that fits, the picture centred on black. Keys in the window go
// into the platform's key queue; a close request closes the display and
// ends the process with status 0.
#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "display/display.h"
#include "display/pixel_converters.h"
#include "display/present_rows.h"
#include "display/sdl/sdl_display.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

struct SdlDisplayState {
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
    PicturePlacement placement;
    Converter converter;
    std::int32_t bytes_per_pixel;
    bool video_started;
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
    state.placement = place_picture(pixels_wide, pixels_high, state.width, state.height);
    if (state.placement.block == 0) {
        char sizes[80];
        std::snprintf(sizes, sizeof sizes, "%dx%d pixels cannot hold the %dx%d picture",
                      static_cast<int>(pixels_wide), static_cast<int>(pixels_high),
                      static_cast<int>(state.width), static_cast<int>(state.height));
        return fail("window size", sizes) != 0;
    }
    tell_fractional_scale(pixels_wide, pixels_high);
    if (state.renderer == nullptr) {
        return true;
    }
    if (state.texture != nullptr) {
        SDL_DestroyTexture(state.texture);
    }
    state.texture = SDL_CreateTexture(
        state.renderer, state.texture_format, SDL_TEXTUREACCESS_STREAMING,
        state.width * state.placement.block, state.height * state.placement.block);
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
    state.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                    state.width * state.scale, state.height * state.scale,
                                    SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI);
    if (state.window != nullptr && prepare_presenting()) {
        return true;
    }
    if (state.window == nullptr) {
        fail("window", SDL_GetError());
    }
    display_close();
    return false;
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

// Shows the picture last written: the window surface as it is, or the
// texture one to one at its place, on black.
void show_picture() {
    if (state.renderer == nullptr) {
        SDL_UpdateWindowSurface(state.window);
        return;
    }
    const SDL_Rect place{state.placement.x, state.placement.y, state.width * state.placement.block,
                         state.height * state.placement.block};
    SDL_SetRenderDrawColor(state.renderer, 0, 0, 0, SDL_ALPHA_OPAQUE);
    SDL_RenderClear(state.renderer);
    SDL_RenderCopy(state.renderer, state.texture, nullptr, &place);
    SDL_RenderPresent(state.renderer);
}

[[noreturn]] void close_and_end() {
    display_close();
    end_process(0);
}

// Answers the window's events: keys into the key queue, a close request
// ends the program, an exposed window is shown again.
void pump_events() {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        switch (event.type) {
            case SDL_KEYDOWN:
                push_key(window_key_code(static_cast<std::uint32_t>(event.key.keysym.sym)));
                break;
            case SDL_QUIT:
                close_and_end();
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
                    close_and_end();
                }
                if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
                    show_picture();
                }
                break;
            default:
                break;
        }
    }
}

// Where the frame goes now: the window surface's or the texture's pixels
// and pitch, the picture placed again first when the window's size in
// pixels has changed (the desktop's scale did, say). False when there is
// nothing to write into.
bool lock_target(std::uint8_t*& pixels, int& pitch) {
    SDL_Surface* surface = nullptr;
    bool placed = true;
    int wide = 0;
    int high = 0;
    if (state.renderer == nullptr) {
        surface = SDL_GetWindowSurface(state.window);
        if (surface == nullptr) {
            return false;
        }
        if (surface != state.surface || surface->w != state.area_width ||
            surface->h != state.area_height) {
            placed = place_in_surface(surface);
        }
    } else {
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
    if (!placed || state.placement.block == 0) {
        return false;
    }
    if (surface != nullptr) {
        if (SDL_LockSurface(surface) != 0) {
            return false;
        }
        pixels = static_cast<std::uint8_t*>(surface->pixels) + state.placement.y * surface->pitch +
                 state.placement.x * state.bytes_per_pixel;
        pitch = surface->pitch;
        return true;
    }
    void* locked = nullptr;
    if (SDL_LockTexture(state.texture, nullptr, &locked, &pitch) != 0) {
        return false;
    }
    pixels = static_cast<std::uint8_t*>(locked);
    return true;
}

void unlock_target() {
    if (state.renderer == nullptr) {
        SDL_UnlockSurface(state.surface);
    } else {
        SDL_UnlockTexture(state.texture);
    }
}

}  // namespace

std::int32_t display_open(const char* title, std::int32_t width, std::int32_t height,
                          std::int32_t scale) {
    failure[0] = '\0';
    state = SdlDisplayState{};
    state.width = width;
    state.height = height;
    state.scale = scale;
    if (scale < 1 || scale > max_display_scale || width <= 0 || height <= 0) {
        return fail("window size", "scale must be 1 to 8 and the picture at least 1 pixel");
    }
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
    if (!open_window(title)) {
        return 0;
    }
    SDL_DisableScreenSaver();
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
// has; on X11 each change is a round of property updates and a flush.
void display_set_caption(const char* text) {
    if (state.window != nullptr && std::strcmp(SDL_GetWindowTitle(state.window), text) != 0) {
        SDL_SetWindowTitle(state.window, text);
    }
}

SDL_Window* sdl_display_window() {
    return state.window;
}

std::int32_t display_update(const std::uint32_t* pixels) {
    pump_events();
    std::uint8_t* target = nullptr;
    int pitch = 0;
    if (!lock_target(target, pitch)) {
        return 0;
    }
    present_rows(pixels, state.width, state.height, state.placement.block, state.converter,
                 state.bytes_per_pixel, target, pitch);
    unlock_target();
    show_picture();
    return 1;
}

const char* display_failure() {
    return failure;
}

}  // namespace quenlixor
