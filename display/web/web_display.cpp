// The display in a web page: a canvas the page gives the module
// (Module.canvas), its title as the caption, the page's key presses and taps
// on the picture into the platform's key queue, and the Screen Wake Lock
// while it runs.
//
// Every picture pixel is an exact k x k block of device pixels, k =
// max(1, floor(scale x devicePixelRatio)), or with Module.room().largest (the
// page in full screen without ?scale) the largest k that fits. The module
// draws the blocks itself; the canvas is placed and sized on whole device
// pixels and holds one pixel per device pixel, the picture centred in it and
// black around. Where the picture would not fit in the room the page gives it
// (Module.room(), else the viewport), k is the largest that fits; where not
// even k = 1 fits, the canvas is laid out smaller still, smoothed. The room
// and the ratio are read every frame, and again on a resize or a change of
// full screen (also while the animation waits for its start, and after it
// ended), so rotation, resizing, zooming or a move to another monitor refit
// the canvas; Module.onFit hears of every new fit.
//
// Whole device pixels: browsers lay boxes out in fractions of a CSS pixel
// (Chromium in 1/64) and centre them at fractional positions, and a canvas
// there is resampled on screen however exact its own pixels are. So the
// canvas's margins and size are whole multiples of the least number of
// device pixels that is also a whole number of CSS pixels (21 device pixels,
// 8 CSS pixels, at ratio 2.625; 1 at a whole ratio), within a parent that
// starts on a whole device pixel (the page's stage). Where layout is in
// device pixels (a real ratio) any whole number would do; where it is in CSS
// pixels (Chromium emulating a ratio, as its tests do) only those land
// exactly. The browser's own word on the canvas's device-pixel box
// (ResizeObserver) is not used: where Chromium emulates a ratio it reports
// the CSS size.
//
// display_update returns to the browser after presenting: until the next
// display refresh (requestAnimationFrame), or, when the page asks for
// Module.pace = "max", for one macrotask only (a MessageChannel message, not
// a clamped timer). A hidden page renders nothing either way: the wait lasts
// until it is visible again. With Module.waitForStart(go), the first frame
// stays until the page calls go() (reduced motion: the page's start
// control); only then do keys and taps count and the wake lock is asked for.
// The wait is the module's Asyncify import.
#include <emscripten.h>

#include <cstring>
#include <vector>

#include "display/display.h"
#include "platform/platform.h"

// --- the page's side --------------------------------------------------------
// clang-format off (it would split JavaScript's === and !==)

// Takes the canvas for a picture of `width` x `height` pixels at `scale`, k
// at most `most`; shows the title, refits on a resize or a change of full
// screen, and listens for keys, taps and the page's visibility and asks for
// the wake lock (at once, or when the page starts it). 0 when the page gave
// no canvas.
//
// A key press and a tap on the picture (touch or pen; a mouse click is not
// one, as a click in a desktop window is not) both go through press() into
// one queue, which display_update hands to the platform's key queue: a tap
// is the key Enter (13). Module.pressedBy tells which came first. Keys that
// move among the page's controls or use one are the controls' own: Tab,
// Shift, and Enter or Space on a button or link (the full-screen control).
EM_JS(int, web_display_open, (const char* title, int width, int height, int scale, int most), {
    var canvas = Module['canvas'];
    if (!canvas || !canvas.getContext) {
        return 0;
    }
    var context = canvas.getContext('2d', {alpha : false});
    if (!context) {
        return 0;
    }
    var web = {
        canvas : canvas,
        context : context,
        keys : [],
        lock : null,
        open : true,
        width : width,
        height : height,
        scale : scale,
        most : most,
        block : 0,
        image : null,
        imageBlock : 0,
        x : 0,
        y : 0,
        waitForStart : Module['waitForStart'] || null
    };
    web.press = function(code, by) {
        web.keys.push(code);
        if (!Module['pressedBy']) {
            Module['pressedBy'] = by;
        }
    };
    web.onKey = function(event) {
        var code = event.keyCode;
        var on = event.target && event.target.tagName;
        if (code == 9 || code == 16 ||
            ((code == 13 || code == 32) && (on == 'BUTTON' || on == 'A'))) {
            return;
        }
        web.press(code & 0xFF, 'key');
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
    web.listen = function() {
        window.addEventListener('keydown', web.onKey);
        canvas.addEventListener('pointerup', web.onTap);
        document.addEventListener('visibilitychange', web.onVisibility);
        web.askLock();
    };

    // Fits the canvas to the room and the ratio; true when anything changed
    // (the canvas is then clear, and wants the picture painted again).
    web.layout = function() {
        var ratio = window.devicePixelRatio || 1;
        var room = Module['room'] ? Module['room']()
                                  : {width : window.innerWidth, height : window.innerHeight};
        var largest = !!room.largest;
        if (web.block && web.ratio == ratio && web.roomWidth == room.width &&
            web.roomHeight == room.height && web.largest == largest) {
            return false;
        }
        web.ratio = ratio;
        web.roomWidth = room.width;
        web.roomHeight = room.height;
        web.largest = largest;
        // The grid: the least number of device pixels that is a whole number
        // of CSS pixels too (1 where the ratio has no such number).
        var step = 1;
        for (var css = 1; css <= 64; ++css) {
            var device = Math.round(css * ratio);
            if (device > 0 && Math.abs(css * ratio - device) <= device * 1e-7) {
                step = device;
                break;
            }
        }
        var up = function(n) {
            return Math.ceil(n / step) * step;
        };
        var down = function(n) {
            return Math.floor(n / step) * step;
        };
        // The room in device pixels, to its last whole step.
        var roomWidth = down(Math.floor(room.width * ratio));
        var roomHeight = down(Math.floor(room.height * ratio));
        var wanted =
            largest ? web.most : Math.min(web.most, Math.max(1, Math.floor(web.scale * ratio)));
        var block = wanted;
        while (block > 1 && (block * web.width > roomWidth || block * web.height > roomHeight)) {
            --block;
        }
        var smooth = block * web.width > roomWidth || block * web.height > roomHeight;
        // Along one axis: where the box starts, the picture's offset in it (so
        // that the picture is centred in the room) and the box's length, which
        // ends within the room.
        var place = function(roomLength, picture) {
            var start = Math.max(0, Math.floor((roomLength - picture) / 2));
            return {
                box : down(start),
                offset : start - down(start),
                length : up(start - down(start) + picture)
            };
        };
        var across = place(roomWidth, block * web.width);
        var along = place(roomHeight, block * web.height);
        // CSS pixels a picture pixel takes.
        var shown = block / ratio;
        var style = canvas.style;
        if (smooth) {
            shown = Math.max(0, Math.min(room.width / web.width, room.height / web.height));
            across = {box : 0, offset : 0, length : web.width};
            along = {box : 0, offset : 0, length : web.height};
            style.marginLeft = (room.width - shown * web.width) / 2 + 'px';
            style.marginTop = (room.height - shown * web.height) / 2 + 'px';
            style.width = shown * web.width + 'px';
            style.height = shown * web.height + 'px';
            style.imageRendering = 'auto';
        } else {
            // A device length in CSS pixels, a shade over, so that a layout that
            // truncates to its unit keeps the whole number.
            var length = function(n) {
                return (n + 1 / 256) / ratio + 'px';
            };
            style.marginLeft = length(across.box);
            style.marginTop = length(along.box);
            style.width = length(across.length);
            style.height = length(along.length);
            style.removeProperty('image-rendering');
        }
        canvas.width = across.length;
        canvas.height = along.length;
        web.x = across.offset;
        web.y = along.offset;
        web.block = block;
        if (Module['onFit']) {
            Module['onFit']({
                scale : web.scale,
                wanted : wanted,
                block : block,
                ratio : ratio,
                shown : shown,
                smooth : smooth,
                largest : largest
            });
        }
        return true;
    };

    // Puts the last frame on the canvas at its place; a frame made at
    // another k (the canvas refitted between frames) is scaled to this one,
    // block for block.
    web.paint = function() {
        var image = web.image;
        if (!image) {
            return;
        }
        if (web.imageBlock != web.block) {
            var from = web.imageBlock;
            var to = web.block;
            var scaled = new ImageData(to * web.width, to * web.height);
            var source = new Uint32Array(image.data.buffer, image.data.byteOffset,
                                         image.width * image.height);
            var target = new Uint32Array(scaled.data.buffer);
            for (var y = 0, i = 0; y < scaled.height; ++y) {
                var row = Math.floor(y / to) * from * image.width;
                for (var x = 0; x < scaled.width; ++x) {
                    target[i++] = source[row + Math.floor(x / to) * from];
                }
            }
            web.image = image = scaled;
            web.imageBlock = to;
        }
        web.context.putImageData(image, web.x, web.y);
    };
    // Refits now, as often as the fit changes the page's lines (at most
    // three times); the page calls it as Module.refit when its lines change
    // while no frame comes (waiting for the start, after the end).
    web.refit = function() {
        var changed = 0;
        while (changed < 3 && web.layout()) {
            ++changed;
        }
        if (changed) {
            web.paint();
        }
    };
    Module['refit'] = web.refit;
    window.addEventListener('resize', web.refit);
    document.addEventListener('fullscreenchange', web.refit);
    document.addEventListener('webkitfullscreenchange', web.refit);
    if (!web.waitForStart) {
        web.listen();
    }
    document.title = UTF8ToString(title);
    canvas.hidden = false;
    Module['webDisplay'] = web;
    Module['displayOpened'] = true;
    if (Module['onOpen']) {
        Module['onOpen']();
    }
    return 1;
});

// Stops listening for keys, taps and visibility, lets the wake lock go. The
// canvas keeps the last frame (a copy: the module's memory goes with it),
// still refitted on a resize or a change of full screen.
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
    if (web.image) {
        web.image =
            new ImageData(new Uint8ClampedArray(web.image.data), web.image.width, web.image.height);
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

// Fits the canvas for this frame and returns k.
EM_JS(int, web_display_layout, (), {
    var web = Module['webDisplay'];
    web.layout();
    return web.block;
});

// Shows the frame, `width` x `height` RGBA pixels in the module's memory
// (k x k blocks at the k of the last fit), centred on the canvas.
EM_JS(void, web_display_show, (const void* pixels, int width, int height), {
    var web = Module['webDisplay'];
    var bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4);
    web.image = new ImageData(bytes, width, height);
    web.imageBlock = web.block;
    web.paint();
});

// Returns to the browser until the next display refresh, or for one
// macrotask with Module.pace "max"; while the page is hidden, until it shows;
// the first time, with Module.waitForStart, until the page starts it.
EM_JS(void, web_display_yield, (), {
    Asyncify.handleSleep(function(wakeUp) {
        var web = Module['webDisplay'];
        if (web.waitForStart) {
            var wait = web.waitForStart;
            web.waitForStart = null;
            wait(function() {
                web.listen();
                wakeUp();
            });
            return;
        }
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

// The largest k: a picture of 16 x 320 by 16 x 240 pixels (20 MB) is about
// as much as a browser gives one canvas; beyond it (scale 8 zoomed past
// 200 %, full screen on a screen over 5,120 x 3,840 device pixels) the
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

// Fits the canvas for this frame; a new k means new canvas pixels.
void fit_canvas() {
    const std::int32_t block = web_display_layout();
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

// Where not even a block of 1 fits, the page shrinks the canvas itself,
// smoothly: what the picture shows as then is the picture at block 1.
ShownSize display_shown_size() {
    return {state.block * state.width, state.block * state.height};
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
    if (web_display_open(title, width, height, scale, max_block) == 0) {
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
