// The display in a web page: a canvas the page gives the module
// (Module.canvas), its title as the caption, the page's key presses and taps
// on the picture into the platform's key queue, and the Screen Wake Lock
// while it is open.
//
// Every picture pixel is an exact k x k block of device pixels, k =
// max(1, floor(scale x devicePixelRatio)): the canvas holds k x width by
// k x height pixels and is laid out at that size divided by the ratio, so
// the browser shows its pixels one for one. Where that picture would not fit
// in the room the page gives it (Module.room(), else the viewport), k is the
// largest that fits; where not even k = 1 fits, the canvas is laid out
// smaller still, smoothed. The room and the ratio are read every frame, so
// rotation, resizing, zooming or a move to another monitor refit the canvas
// at the next one; Module.onFit hears of every new fit.
//
// display_update returns to the browser after presenting: until the next
// display refresh (requestAnimationFrame), or, when the page asks for
// Module.pace = "max", for one macrotask only (a MessageChannel message, not
// a clamped timer). A hidden page renders nothing either way: the wait lasts
// until it is visible again. The wait is the module's Asyncify import.
#include <emscripten.h>

#include <cstring>
#include <vector>

#include "display/display.h"
#include "platform/platform.h"

// --- the page's side --------------------------------------------------------
// clang-format off (it would split JavaScript's === and !==)

// Takes the canvas, shows the title, and starts listening for keys, taps and
// the page's visibility; asks for the wake lock. 0 when the page gave no
// canvas.
//
// A key press and a tap on the picture (touch or pen; a mouse click is not
// one, as a click in a desktop window is not) both go through press() into
// one queue, which display_update hands to the platform's key queue: a tap
// is the key Enter (13). Module.pressedBy tells which came first.
EM_JS(int, web_display_open, (const char* title), {
    var canvas = Module['canvas'];
    if (!canvas || !canvas.getContext) {
        return 0;
    }
    var context = canvas.getContext('2d', {alpha : false});
    if (!context) {
        return 0;
    }
    var web = {canvas : canvas, context : context, keys : [], lock : null, open : true};
    web.press = function(code, by) {
        web.keys.push(code);
        if (!Module['pressedBy']) {
            Module['pressedBy'] = by;
        }
    };
    web.onKey = function(event) {
        web.press(event.keyCode & 0xFF, 'key');
    };
    web.onTap = function(event) {
        if (event.pointerType == 'touch' || event.pointerType == 'pen') {
            web.press(13, 'tap');
        }
    };
    web.askLock = function() {
        if (!web.open || document.hidden || !navigator.wakeLock) {
            return;
        }
        navigator.wakeLock.request('screen').then(
            function(lock) {
                if (web.open) {
                    web.lock = lock;
                } else {
                    lock.release();
                }
            },
            function(){/* refused: the animation runs anyway */});
    };
    web.onVisibility = function() {
        web.askLock();
        if (!document.hidden && web.wakeOnVisible) {
            var wake = web.wakeOnVisible;
            web.wakeOnVisible = null;
            wake();
        }
    };
    window.addEventListener('keydown', web.onKey);
    canvas.addEventListener('pointerup', web.onTap);
    document.addEventListener('visibilitychange', web.onVisibility);
    web.askLock();
    document.title = UTF8ToString(title);
    canvas.hidden = false;
    Module['webDisplay'] = web;
    Module['displayOpened'] = true;
    if (Module['onOpen']) {
        Module['onOpen']();
    }
    return 1;
});

// Stops listening, lets the wake lock go; the canvas keeps the last frame.
EM_JS(void, web_display_close, (), {
    var web = Module['webDisplay'];
    if (!web) {
        return;
    }
    web.open = false;
    window.removeEventListener('keydown', web.onKey);
    web.canvas.removeEventListener('pointerup', web.onTap);
    document.removeEventListener('visibilitychange', web.onVisibility);
    if (web.lock) {
        web.lock.release();
        web.lock = null;
    }
    Module['webDisplay'] = null;
});

EM_JS(void, web_display_set_title, (const char* text), {
    var title = UTF8ToString(text);
    if (document.title != title) {
        document.title = title;
    }
});

// The next key pressed on the page, or -1.
EM_JS(int, web_display_next_key, (), {
    var web = Module['webDisplay'];
    return web && web.keys.length > 0 ? web.keys.shift() : -1;
});

// Lays the canvas out for a picture of `width` x `height` pixels at `scale`
// and returns k (at most `most`): sizes the canvas to k x width by k x height
// pixels when k changed, and its layout whenever k, the ratio or the room
// changed.
EM_JS(int, web_display_layout, (int scale, int width, int height, int most), {
    var web = Module['webDisplay'];
    var ratio = window.devicePixelRatio || 1;
    var room = Module['room'] ? Module['room']()
                              : {width : window.innerWidth, height : window.innerHeight};
    var wanted = Math.min(most, Math.max(1, Math.floor(scale * ratio)));
    // CSS pixels a picture pixel may take at most.
    var most_css = Math.max(0, Math.min(room.width / width, room.height / height));
    var block = Math.max(1, Math.min(wanted, Math.floor(most_css * ratio)));
    var css = block / ratio;
    var smooth = css > most_css;
    if (smooth) {
        css = most_css;
    }
    if (web.block == block && web.ratio == ratio && web.css == css) {
        return block;
    }
    if (web.block != block) {
        web.canvas.width = block * width;
        web.canvas.height = block * height;
    }
    web.canvas.style.width = (css * width) + 'px';
    web.canvas.style.height = (css * height) + 'px';
    if (smooth) {
        web.canvas.style.imageRendering = 'auto';
    } else {
        web.canvas.style.removeProperty('image-rendering');
    }
    web.block = block;
    web.ratio = ratio;
    web.css = css;
    if (Module['onFit']) {
        Module['onFit']({
            scale : scale,
            wanted : wanted,
            block : block,
            ratio : ratio,
            shown : css,
            smooth : smooth
        });
    }
    return block;
});

// Puts `width` x `height` RGBA pixels from the module's memory on the canvas.
EM_JS(void, web_display_show, (const void* pixels, int width, int height), {
    var web = Module['webDisplay'];
    var bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4);
    web.context.putImageData(new ImageData(bytes, width, height), 0, 0);
});

// Returns to the browser until the next display refresh, or for one
// macrotask with Module.pace "max"; while the page is hidden, until it shows.
EM_JS(void, web_display_yield, (), {
    Asyncify.handleSleep(function(wakeUp) {
        var web = Module['webDisplay'];
        if (Module['pace'] != 'max') {
            requestAnimationFrame(function() { wakeUp(); });
            return;
        }
        if (document.hidden) {
            web.wakeOnVisible = wakeUp;
            return;
        }
        if (!web.channel) {
            web.channel = new MessageChannel();
            web.channel.port1.onmessage = function() {
                var wake = web.wakeOnMessage;
                web.wakeOnMessage = null;
                wake();
            };
        }
        web.wakeOnMessage = wakeUp;
        web.channel.port2.postMessage(0);
    });
});

// clang-format on

// --- the display ------------------------------------------------------------

namespace quenlixor {
namespace {

// The largest k: a canvas of 16 x 320 by 16 x 240 pixels (20 MB) is about
// as much as a browser gives one; beyond it (scale 8 zoomed past 200 %) the
// picture stays that size.
constexpr std::int32_t max_block = 2 * max_display_scale;

struct WebDisplayState {
    std::int32_t width;
    std::int32_t height;
    std::int32_t scale;
    std::int32_t block;  // k: device pixels per picture pixel, 0 until fitted
    bool open;
    std::vector<std::uint32_t> canvas_pixels;  // RGBA, k x width by k x height
};

WebDisplayState state{};

const char* failure = "";

// A canvas pixel is 4 bytes, R, G, B, A (a little-endian word 0xAABBGGRR),
// and the canvas is opaque: the framebuffer's 0x00RRGGBB with alpha 255
// (bits 24-31 carry no colour).
std::uint32_t canvas_pixel(std::uint32_t pixel) {
    return (pixel >> 16 & 0xFFU) | (pixel & 0xFF00U) | (pixel & 0xFFU) << 16 | 0xFF000000U;
}

// The frame into the canvas pixels: picture pixel (x, y) fills the k x k
// block at (k x, k y).
void draw_blocks(const std::uint32_t* pixels) {
    const auto width = static_cast<std::size_t>(state.width);
    const auto block = static_cast<std::size_t>(state.block);
    const std::size_t canvas_width = width * block;
    std::uint32_t* to = state.canvas_pixels.data();
    for (std::int32_t y = 0; y < state.height; ++y, pixels += width) {
        std::uint32_t* const first = to;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t pixel = canvas_pixel(pixels[x]);
            for (std::size_t i = 0; i < block; ++i) {
                *to++ = pixel;
            }
        }
        for (std::size_t copy = 1; copy < block; ++copy, to += canvas_width) {
            std::memcpy(to, first, canvas_width * sizeof *to);
        }
    }
}

// Lays the canvas out for this frame; a new k means new canvas pixels.
void fit_canvas() {
    const std::int32_t block =
        web_display_layout(state.scale, state.width, state.height, max_block);
    if (block == state.block) {
        return;
    }
    state.block = block;
    state.canvas_pixels.assign(static_cast<std::size_t>(block * state.width) *
                                   static_cast<std::size_t>(block * state.height),
                               0);
}

}  // namespace

// The page's own control puts the canvas full screen; the program itself
// shows it in the page only.
const DisplayForms display_forms = {false, false, false};

std::int32_t display_block() {
    return state.block;
}

std::int32_t display_open(const char* title, std::int32_t width, std::int32_t height,
                          const DisplayPlace& place) {
    failure = "";
    const std::int32_t scale = place.scale;
    if (place.form != DisplayForm::window) {
        failure = "form: the page shows the picture in the page only";
        return 0;
    }
    if (scale < 1 || scale > max_display_scale || width <= 0 || height <= 0) {
        failure = "canvas size: scale must be 1 to 8 and the picture at least 1 pixel";
        return 0;
    }
    if (web_display_open(title) == 0) {
        failure = "canvas: the page has no canvas with a 2D context";
        return 0;
    }
    state.width = width;
    state.height = height;
    state.scale = scale;
    state.block = 0;
    state.open = true;
    return 1;
}

void display_close() {
    if (!state.open) {
        return;
    }
    web_display_close();
    state.open = false;
    state.canvas_pixels = std::vector<std::uint32_t>{};
}

std::int32_t display_update(const std::uint32_t* pixels) {
    if (!state.open) {
        return 0;
    }
    for (int code = web_display_next_key(); code >= 0; code = web_display_next_key()) {
        push_key(window_key_code(static_cast<std::uint32_t>(code)));
    }
    fit_canvas();
    draw_blocks(pixels);
    web_display_show(state.canvas_pixels.data(), state.block * state.width,
                     state.block * state.height);
    web_display_yield();
    return 1;
}

// The caption is the page's title, while the display is open.
void display_set_caption(const char* text) {
    if (state.open) {
        web_display_set_title(text);
    }
}

const char* display_failure() {
    return failure;
}

}  // namespace quenlixor
