// Given windows on X11: XScreenSaver's window (XSCREENSAVER_WINDOW), the
// root window, or any X window named by its number.
//
// SDL_CreateWindowFrom draws into the window with the window surface but
// selects none of its events. Selected here on SDL's connection, a
// ConfigureNotify becomes SDL's SDL_WINDOWEVENT_RESIZED (and the window
// surface is made anew at the new size) and an Expose becomes
// SDL_WINDOWEVENT_EXPOSED. SDL 2 turns a ConfigureNotify's position into
// the root window's coordinates by way of the window's parent, which the
// root window lacks: the BadWindow of that translation is the one X error
// of SDL's own kept here from its handler (which ends the process). The
// others kept are about the given window itself, which its owner destroys
// when it likes: they mark it gone, and the display ends the program.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>

#include <cstdio>
#include <cstdlib>

#include "display/sdl/sdl_given_window.h"

namespace quenlixor {
namespace {

using ErrorHandler = int (*)(Display*, XErrorEvent*);

struct GivenWindowState {
    Display* display;  // SDL's connection
    Window window;
    // The handler before ours (SDL's), while ours is in place.
    ErrorHandler previous;
    bool watching;
    bool gone;
};

GivenWindowState given{};

// Set by note_error while a window is looked up.
bool lookup_failed = false;

int note_error(Display* /*display*/, XErrorEvent* /*error*/) {
    lookup_failed = true;
    return 0;
}

int keep_given_window_errors(Display* display, XErrorEvent* error) {
    if (error->resourceid == given.window) {
        if (error->error_code == BadWindow || error->error_code == BadDrawable) {
            given.gone = true;
            return 0;
        }
    } else if (error->request_code == X_TranslateCoords && error->error_code == BadWindow &&
               error->resourceid == None) {
        return 0;
    }
    return given.previous != nullptr ? given.previous(display, error) : 0;
}

}  // namespace

const bool sdl_draws_given_windows = true;

const char* const given_window_driver = "x11";

bool given_window_find(std::uint64_t window, std::uint64_t& found, char* failure,
                       std::size_t size) {
    const char* const name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') {
        std::snprintf(failure, size,
                      "no X display (DISPLAY is not set): a given window is an X window, and a "
                      "Wayland desktop has none to give");
        return false;
    }
    Display* const display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::snprintf(failure, size, "cannot open the X display %s", name);
        return false;
    }
    const Window target = window == 0 ? DefaultRootWindow(display) : static_cast<Window>(window);
    lookup_failed = false;
    const ErrorHandler previous = XSetErrorHandler(note_error);
    XWindowAttributes attributes{};
    const bool there = XGetWindowAttributes(display, target, &attributes) != 0;
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    if (!there || lookup_failed) {
        std::snprintf(failure, size, "0x%lx is not a window on the X display %s",
                      static_cast<unsigned long>(target), name);
        return false;
    }
    if (attributes.c_class != InputOutput) {
        std::snprintf(failure, size, "0x%lx is an input-only window, which shows nothing",
                      static_cast<unsigned long>(target));
        return false;
    }
    found = target;
    return true;
}

bool given_window_watch(SDL_Window* window, char* failure, std::size_t size) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) == SDL_FALSE || info.subsystem != SDL_SYSWM_X11) {
        std::snprintf(failure, size, "the window is not drawn through X11");
        return false;
    }
    Display* const display = info.info.x11.display;
    given.display = display;
    given.window = info.info.x11.window;
    given.gone = false;
    given.previous = XSetErrorHandler(keep_given_window_errors);
    given.watching = true;
    // Whatever SDL's connection already asks of the window (of the root
    // window, say), and its exposures and changes of size; no input.
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, given.window, &attributes);
    XSelectInput(display, given.window,
                 attributes.your_event_mask | ExposureMask | StructureNotifyMask);
    XSync(display, False);
    return true;
}

bool given_window_gone() {
    return given.gone;
}

void given_window_close() {
    if (given.watching) {
        // Errors about requests SDL made of the window before it let go of
        // it are still ours.
        XSync(given.display, False);
        XSetErrorHandler(given.previous);
    }
    given = GivenWindowState{};
}

}  // namespace quenlixor
