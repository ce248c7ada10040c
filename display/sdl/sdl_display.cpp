// The display through SDL2: one centred, fixed-size window whose surface our
// converters fill in the desktop's own pixel format, as the DirectDraw
// display fills its off-screen surface. Keys in the window go into the
// platform's key queue; a close request closes the display and ends the
// process with status 0.
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
    std::int32_t width;
    std::int32_t height;
    std::int32_t scale;
    Converter converter;
    std::int32_t bytes_per_pixel;
    bool video_started;
};

SdlDisplayState state{};

char failure[256];

// Records why opening failed (step and SDL's error) and returns 0.
std::int32_t fail(const char* step, const char* error) {
    std::snprintf(failure, sizeof failure, "%s: %s", step, error);
    return 0;
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

// Starts SDL's video on a desktop. A driver named in SDL_VIDEODRIVER is the
// user's choice and is taken as it is. Otherwise the desktop drivers are
// tried in SDL's order: without a desktop SDL would fall back to a driver
// that shows nothing. Wayland is tried only where a Wayland display is
// named (libwayland complains on stderr when it finds no runtime folder).
bool start_video() {
    const char* const asked = SDL_getenv("SDL_VIDEODRIVER");
    if (asked != nullptr && asked[0] != '\0') {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            return fail("SDL video", SDL_GetError()) != 0;
        }
        state.video_started = true;
        return true;
    }
    const char* const wayland = SDL_getenv("WAYLAND_DISPLAY");
    const bool wayland_named = wayland != nullptr && wayland[0] != '\0';
    char errors[160] = "";
    for (int index = 0; index < SDL_GetNumVideoDrivers(); ++index) {
        const char* const driver = SDL_GetVideoDriver(index);
        if (!is_desktop_driver(driver) || (std::strcmp(driver, "wayland") == 0 && !wayland_named)) {
            continue;
        }
        SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            state.video_started = true;
            return true;
        }
        const std::size_t used = std::strlen(errors);
        std::snprintf(errors + used, sizeof errors - used, "%s%s: %s", used == 0 ? "" : "; ",
                      driver, SDL_GetError());
    }
    SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    std::snprintf(failure, sizeof failure,
                  "no desktop: no X11 or Wayland display could be opened (%s); set "
                  "SDL_VIDEODRIVER to run on another SDL video driver",
                  errors[0] == '\0' ? "SDL has no desktop driver" : errors);
    return false;
}

void show_surface() {
    SDL_UpdateWindowSurface(state.window);
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
                    show_surface();
                }
                break;
            default:
                break;
        }
    }
}

}  // namespace

const DisplayForms display_forms = {false, false, false};

std::int32_t display_block() {
    return state.scale;
}

std::int32_t display_open(const char* title, std::int32_t width, std::int32_t height,
                          const DisplayPlace& place) {
    failure[0] = '\0';
    const std::int32_t scale = place.scale;
    if (place.form != DisplayForm::window) {
        return fail("form", "this display shows a window of its own only");
    }
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
    // texture SDL would draw with a renderer of its choice.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Ctrl+C and SIGTERM belong to the platform's stop requests.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (!start_video()) {
        return 0;
    }
    state.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                    width * scale, height * scale, SDL_WINDOW_SHOWN);
    if (state.window == nullptr) {
        return fail("window", SDL_GetError());
    }
    SDL_Surface* const surface = SDL_GetWindowSurface(state.window);
    if (surface == nullptr) {
        return fail("window surface", SDL_GetError());
    }
    const SDL_PixelFormat& format = *surface->format;
    state.converter =
        select_converter(format.BitsPerPixel, format.Rmask, format.Gmask, format.Bmask);
    state.bytes_per_pixel = format.BytesPerPixel;
    if (state.converter == nullptr) {
        return fail("pixel format", SDL_GetPixelFormatName(format.format));
    }
    SDL_DisableScreenSaver();
    return 1;
}

void display_close() {
    if (state.window != nullptr) {
        SDL_DestroyWindow(state.window);
        state.window = nullptr;
    }
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
    SDL_Surface* const surface = SDL_GetWindowSurface(state.window);
    if (surface == nullptr || SDL_LockSurface(surface) != 0) {
        return 0;
    }
    present_rows(pixels, state.width, state.height, state.scale, state.converter,
                 state.bytes_per_pixel, static_cast<std::uint8_t*>(surface->pixels),
                 surface->pitch);
    SDL_UnlockSurface(surface);
    show_surface();
    return 1;
}

const char* display_failure() {
    return failure;
}

}  // namespace quenlixor
