// The DirectDraw test double (see ddraw_double.h): DirectDrawCreate and the
// first-version IDirectDraw, IDirectDrawSurface and IDirectDrawClipper over
// plain memory. The display's calls are implemented; every other method is
// logged and answered with DDERR_UNSUPPORTED (E_NOINTERFACE for
// QueryInterface).
//
// Objects are never freed while the module is loaded: a released object stays
// in its slot with no references, so a call that reaches it is logged (as a
// call on a released object) instead of crashing, and a released surface's
// memory can still be inspected. Everything is freed when the module unloads.
#include "tests/display/ddraw/double/ddraw_double.h"

#include <cstring>

namespace quenlixor::ddraw_double {
namespace {

Control control;

// Starts a log record for a call; the caller fills in the arguments and ends
// it with answer().
Call& log_call(Method method, const char* name, const void* object, bool object_alive) {
    static Call overflow;
    if (control.call_count == max_calls) {
        control.log_overflowed = true;
        overflow = Call{};
        return overflow;
    }
    Call& call = control.calls[control.call_count];
    ++control.call_count;
    call = Call{};
    call.method = method;
    call.name = name;
    call.object = object;
    call.object_alive = object_alive;
    if (control.direct_draw_count > 0) {
        const HWND window = control.direct_draws[control.direct_draw_count - 1].cooperative_window;
        call.cooperative_window_exists = window != nullptr && IsWindow(window) != 0;
    }
    return call;
}

HRESULT answer(Call& call, HRESULT result) {
    call.result = result;
    return result;
}

// IUnknown is the same for every object of the double: no other interface,
// and reference counts that a released object refuses to change.
HRESULT refuse_interface(const void* object, bool alive, void** result) {
    if (result != nullptr) {
        *result = nullptr;
    }
    Call& call = log_call(Method::unsupported, "QueryInterface", object, alive);
    return answer(call, E_NOINTERFACE);
}

ULONG change_references(Method method, const char* name, const void* object, LONG& references,
                        LONG change) {
    Call& call = log_call(method, name, object, references > 0);
    if (references <= 0) {
        answer(call, DDERR_INVALIDOBJECT);
        return 0;
    }
    references += change;
    answer(call, DD_OK);
    return static_cast<ULONG>(references);
}

// The result the test chose for this step, or DD_OK when the step runs as
// usual.
HRESULT special_result(Step step) {
    return control.special_step == step ? control.special_result : DD_OK;
}

DWORD bytes_per_pixel_of_display() {
    const DWORD bits = control.pixel_format.dwRGBBitCount;
    return bits >= 8 ? bits / 8 : 4;
}

void fill_with_sentinel(SurfaceState& surface) {
    std::memset(surface.block, control.sentinel, surface.block_size);
}

RECT whole_surface(const SurfaceState& surface) {
    return RECT{0, 0, static_cast<LONG>(surface.width), static_cast<LONG>(surface.height)};
}

bool rect_is_empty(const RECT& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

// Fills the next slot of `states` (below its limit, which the caller has
// checked) for the object beside it, with one reference.
template <typename State, typename Object>
State& take_slot(State* states, Object* objects, std::uint32_t& count) {
    const std::uint32_t index = count;
    ++count;
    State& created = states[index];
    created = State{};
    created.object = &objects[index];
    created.references = 1;
    objects[index].state = &created;
    return created;
}

// What every object of the double shares: its record, the IUnknown trio
// (no other interface; reference counts a released object refuses to
// change), and the answer to the methods the display does not call.
template <typename Interface, typename State, Method add_ref, Method release>
struct DoubleObject : Interface {
    State* state = nullptr;

    bool alive() const { return state->references > 0; }

    HRESULT unsupported(const char* name) {
        Call& call = log_call(Method::unsupported, name, this, alive());
        return answer(call, DDERR_UNSUPPORTED);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        return refuse_interface(this, alive(), object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return change_references(add_ref, "AddRef", this, state->references, 1);
    }
    ULONG STDMETHODCALLTYPE Release() override {
        return change_references(release, "Release", this, state->references, -1);
    }
};

// ---------------------------------------------------------------- clipper

struct Clipper final : DoubleObject<IDirectDrawClipper, ClipperState, Method::clipper_add_ref,
                                    Method::clipper_release> {
    HRESULT STDMETHODCALLTYPE SetHWnd(DWORD flags, HWND window) override {
        Call& call = log_call(Method::clipper_set_hwnd, "SetHWnd", this, alive());
        call.flags = flags;
        call.window = window;
        if (!alive()) {
            return answer(call, DDERR_INVALIDOBJECT);
        }
        const HRESULT special = special_result(Step::set_hwnd);
        if (FAILED(special)) {
            return answer(call, special);
        }
        if (flags != 0) {
            return answer(call, DDERR_INVALIDPARAMS);
        }
        state->window = window;
        return answer(call, special);
    }
    HRESULT STDMETHODCALLTYPE GetClipList(LPRECT, LPRGNDATA, LPDWORD) override {
        return unsupported("GetClipList");
    }
    HRESULT STDMETHODCALLTYPE GetHWnd(HWND*) override { return unsupported("GetHWnd"); }
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW, DWORD) override {
        return unsupported("Initialize");
    }
    HRESULT STDMETHODCALLTYPE IsClipListChanged(WINBOOL*) override {
        return unsupported("IsClipListChanged");
    }
    HRESULT STDMETHODCALLTYPE SetClipList(LPRGNDATA, DWORD) override {
        return unsupported("SetClipList");
    }
};

Clipper clipper_objects[max_clippers];

// A clipper reference held by a surface goes away with it.
void drop_clipper_reference(IDirectDrawClipper* clipper) {
    ClipperState* state = find_clipper(control, clipper);
    if (state != nullptr && state->references > 0) {
        --state->references;
    }
}

// ---------------------------------------------------------------- surface

struct Surface final : DoubleObject<IDirectDrawSurface, SurfaceState, Method::surface_add_ref,
                                    Method::surface_release> {
    // A surface's last release also drops its clipper.
    ULONG STDMETHODCALLTYPE Release() override {
        Call& call = log_call(Method::surface_release, "Release", this, alive());
        if (!alive()) {
            answer(call, DDERR_INVALIDOBJECT);
            return 0;
        }
        --state->references;
        if (state->references == 0 && state->clipper != nullptr) {
            drop_clipper_reference(state->clipper);
            state->clipper = nullptr;
        }
        answer(call, DD_OK);
        return static_cast<ULONG>(state->references);
    }

    HRESULT STDMETHODCALLTYPE SetClipper(LPDIRECTDRAWCLIPPER clipper) override {
        Call& call = log_call(Method::surface_set_clipper, "SetClipper", this, alive());
        call.argument = clipper;
        if (!alive()) {
            return answer(call, DDERR_INVALIDOBJECT);
        }
        const HRESULT special = special_result(Step::set_clipper);
        if (FAILED(special)) {
            return answer(call, special);
        }
        ClipperState* clipper_state = find_clipper(control, clipper);
        if (clipper != nullptr && (clipper_state == nullptr || clipper_state->references == 0)) {
            return answer(call, DDERR_INVALIDOBJECT);
        }
        if (state->clipper != nullptr) {
            drop_clipper_reference(state->clipper);
        }
        state->clipper = clipper;
        if (clipper_state != nullptr) {
            ++clipper_state->references;
        }
        return answer(call, special);
    }

    HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT format) override {
        Call& call = log_call(Method::surface_get_pixel_format, "GetPixelFormat", this, alive());
        call.argument = format;
        if (format != nullptr) {
            call.description_size = format->dwSize;
        }
        if (!alive()) {
            return answer(call, DDERR_INVALIDOBJECT);
        }
        const HRESULT special = special_result(Step::get_pixel_format);
        if (FAILED(special)) {
            return answer(call, special);
        }
        if (format == nullptr) {
            return answer(call, DDERR_INVALIDPARAMS);
        }
        *format = control.pixel_format;
        return answer(call, special);
    }

    HRESULT STDMETHODCALLTYPE Restore() override {
        Call& call = log_call(Method::surface_restore, "Restore", this, alive());
        if (!alive()) {
            return answer(call, DDERR_INVALIDOBJECT);
        }
        if (!state->lost) {
            return answer(call, DD_OK);
        }
        if (!state->restorable) {
            return answer(call, DDERR_WRONGMODE);
        }
        // The memory comes back; what it held is gone.
        state->lost = false;
        fill_with_sentinel(*state);
        return answer(call, DD_OK);
    }

    HRESULT STDMETHODCALLTYPE Lock(LPRECT rect, LPDDSURFACEDESC description, DWORD flags,
                                   HANDLE event) override {
        Call& call = log_call(Method::surface_lock, "Lock", this, alive());
        call.lock_rect = rect;
        call.argument = description;
        call.flags = flags;
        call.outer = event;
        if (description != nullptr) {
            call.description_size = description->dwSize;
        }
        if (!alive()) {
            return answer(call, DDERR_INVALIDOBJECT);
        }
        const HRESULT special = special_result(Step::lock);
        if (FAILED(special)) {
            return answer(call, special);
        }
        if (description == nullptr || description->dwSize != sizeof(DDSURFACEDESC)) {
            return answer(call, DDERR_INVALIDPARAMS);
        }
        if (state->lost) {
            return answer(call, DDERR_SURFACELOST);
        }
        if (state->locked) {
            return answer(call, DDERR_SURFACEBUSY);
        }
        std::uint8_t* address = state->pixels;
        if (rect != nullptr) {
            address +=
                rect->top * state->pitch + rect->left * static_cast<LONG>(state->bytes_per_pixel);
        }
        std::memset(description, 0, sizeof(DDSURFACEDESC));
        description->dwSize = sizeof(DDSURFACEDESC);
        description->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
        description->dwWidth = state->width;
        description->dwHeight = state->height;
        description->lPitch = state->pitch;
        description->lpSurface = address;
        description->ddpfPixelFormat = control.pixel_format;
        description->ddsCaps.dwCaps =
            state->primary ? DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY : DDSCAPS_OFFSCREENPLAIN;
        state->locked = true;
        state->locked_at = address;
        return answer(call, special);
    }

    HRESULT STDMETHODCALLTYPE Unlock(LPVOID data) override {
        Call& call = log_call(Method::surface_unlock, "Unlock", this, alive());
        call.argument = data;
        if (!alive()) {
            return answer(call, DDERR_INVALIDOBJECT);
        }
        if (!state->locked) {
            return answer(call, DDERR_NOTLOCKED);
        }
        if (data != state->locked_at) {
            return answer(call, DDERR_INVALIDPARAMS);
        }
        state->locked = false;
        state->locked_at = nullptr;
        return answer(call, DD_OK);
    }

    // Copies the source rectangle into the destination rectangle, scaled by
    // nearest pixel when the sizes differ and clipped to this surface.
    HRESULT STDMETHODCALLTYPE Blt(LPRECT destination_rect, LPDIRECTDRAWSURFACE source,
                                  LPRECT source_rect, DWORD flags, LPDDBLTFX effects) override {
        Call& call = log_call(Method::surface_blt, "Blt", this, alive());
        call.argument = source;
        call.flags = flags;
        call.outer = effects;
        if (destination_rect != nullptr) {
            call.has_destination_rect = true;
            call.destination_rect = *destination_rect;
        }
        if (source_rect != nullptr) {
            call.has_source_rect = true;
            call.source_rect = *source_rect;
        }
        if (!alive()) {
            return answer(call, DDERR_INVALIDOBJECT);
        }
        SurfaceState* from = find_surface(control, source);
        if (from == nullptr || from->references == 0) {
            return answer(call, DDERR_INVALIDPARAMS);
        }
        if (state->lost || from->lost) {
            return answer(call, DDERR_SURFACELOST);
        }
        if (state->locked || from->locked) {
            return answer(call, DDERR_SURFACEBUSY);
        }
        if (state->bytes_per_pixel != from->bytes_per_pixel) {
            return answer(call, DDERR_INVALIDPIXELFORMAT);
        }
        const RECT to_rect =
            destination_rect != nullptr ? *destination_rect : whole_surface(*state);
        const RECT from_rect = source_rect != nullptr ? *source_rect : whole_surface(*from);
        const RECT from_bounds = whole_surface(*from);
        if (rect_is_empty(to_rect) || rect_is_empty(from_rect) || from_rect.left < 0 ||
            from_rect.top < 0 || from_rect.right > from_bounds.right ||
            from_rect.bottom > from_bounds.bottom) {
            return answer(call, DDERR_INVALIDRECT);
        }
        const LONG to_width = to_rect.right - to_rect.left;
        const LONG to_height = to_rect.bottom - to_rect.top;
        const LONG from_width = from_rect.right - from_rect.left;
        const LONG from_height = from_rect.bottom - from_rect.top;
        const auto pixel_bytes = static_cast<LONG>(state->bytes_per_pixel);
        for (LONG y = to_rect.top; y < to_rect.bottom; ++y) {
            if (y < 0 || y >= static_cast<LONG>(state->height)) {
                continue;
            }
            const LONG from_y = from_rect.top + (y - to_rect.top) * from_height / to_height;
            for (LONG x = to_rect.left; x < to_rect.right; ++x) {
                if (x < 0 || x >= static_cast<LONG>(state->width)) {
                    continue;
                }
                const LONG from_x = from_rect.left + (x - to_rect.left) * from_width / to_width;
                std::memcpy(state->pixels + y * state->pitch + x * pixel_bytes,
                            from->pixels + from_y * from->pitch + from_x * pixel_bytes,
                            state->bytes_per_pixel);
            }
        }
        return answer(call, DD_OK);
    }

    HRESULT STDMETHODCALLTYPE AddAttachedSurface(LPDIRECTDRAWSURFACE) override {
        return unsupported("AddAttachedSurface");
    }
    HRESULT STDMETHODCALLTYPE AddOverlayDirtyRect(LPRECT) override {
        return unsupported("AddOverlayDirtyRect");
    }
    HRESULT STDMETHODCALLTYPE BltBatch(LPDDBLTBATCH, DWORD, DWORD) override {
        return unsupported("BltBatch");
    }
    HRESULT STDMETHODCALLTYPE BltFast(DWORD, DWORD, LPDIRECTDRAWSURFACE, LPRECT, DWORD) override {
        return unsupported("BltFast");
    }
    HRESULT STDMETHODCALLTYPE DeleteAttachedSurface(DWORD, LPDIRECTDRAWSURFACE) override {
        return unsupported("DeleteAttachedSurface");
    }
    HRESULT STDMETHODCALLTYPE EnumAttachedSurfaces(LPVOID, LPDDENUMSURFACESCALLBACK) override {
        return unsupported("EnumAttachedSurfaces");
    }
    HRESULT STDMETHODCALLTYPE EnumOverlayZOrders(DWORD, LPVOID, LPDDENUMSURFACESCALLBACK) override {
        return unsupported("EnumOverlayZOrders");
    }
    HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE, DWORD) override {
        return unsupported("Flip");
    }
    HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS, LPDIRECTDRAWSURFACE*) override {
        return unsupported("GetAttachedSurface");
    }
    HRESULT STDMETHODCALLTYPE GetBltStatus(DWORD) override { return unsupported("GetBltStatus"); }
    HRESULT STDMETHODCALLTYPE GetCaps(LPDDSCAPS) override { return unsupported("GetCaps"); }
    HRESULT STDMETHODCALLTYPE GetClipper(LPDIRECTDRAWCLIPPER*) override {
        return unsupported("GetClipper");
    }
    HRESULT STDMETHODCALLTYPE GetColorKey(DWORD, LPDDCOLORKEY) override {
        return unsupported("GetColorKey");
    }
    HRESULT STDMETHODCALLTYPE GetDC(HDC*) override { return unsupported("GetDC"); }
    HRESULT STDMETHODCALLTYPE GetFlipStatus(DWORD) override { return unsupported("GetFlipStatus"); }
    HRESULT STDMETHODCALLTYPE GetOverlayPosition(LPLONG, LPLONG) override {
        return unsupported("GetOverlayPosition");
    }
    HRESULT STDMETHODCALLTYPE GetPalette(LPDIRECTDRAWPALETTE*) override {
        return unsupported("GetPalette");
    }
    HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC) override {
        return unsupported("GetSurfaceDesc");
    }
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW, LPDDSURFACEDESC) override {
        return unsupported("Initialize");
    }
    HRESULT STDMETHODCALLTYPE IsLost() override { return unsupported("IsLost"); }
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) override { return unsupported("ReleaseDC"); }
    HRESULT STDMETHODCALLTYPE SetColorKey(DWORD, LPDDCOLORKEY) override {
        return unsupported("SetColorKey");
    }
    HRESULT STDMETHODCALLTYPE SetOverlayPosition(LONG, LONG) override {
        return unsupported("SetOverlayPosition");
    }
    HRESULT STDMETHODCALLTYPE SetPalette(LPDIRECTDRAWPALETTE) override {
        return unsupported("SetPalette");
    }
    HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD,
                                            LPDDOVERLAYFX) override {
        return unsupported("UpdateOverlay");
    }
    HRESULT STDMETHODCALLTYPE UpdateOverlayDisplay(DWORD) override {
        return unsupported("UpdateOverlayDisplay");
    }
    HRESULT STDMETHODCALLTYPE UpdateOverlayZOrder(DWORD, LPDIRECTDRAWSURFACE) override {
        return unsupported("UpdateOverlayZOrder");
    }
};

Surface surface_objects[max_surfaces];

// ---------------------------------------------------------------- DirectDraw

// Surfaces larger than this are refused (DDERR_OUTOFMEMORY).
constexpr std::size_t largest_surface_bytes = std::size_t{64} << 20;

struct DirectDraw final
    : DoubleObject<IDirectDraw, DirectDrawState, Method::ddraw_add_ref, Method::ddraw_release> {
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override {
        Call& call =
            log_call(Method::ddraw_set_cooperative_level, "SetCooperativeLevel", this, alive());
        call.window = window;
        call.flags = flags;
        call.cooperative_window_exists = window != nullptr && IsWindow(window) != 0;
        if (!alive()) {
            return answer(call, DDERR_INVALIDOBJECT);
        }
        const HRESULT special = special_result(Step::set_cooperative_level);
        if (FAILED(special)) {
            return answer(call, special);
        }
        state->cooperative_window = window;
        state->cooperative_flags = flags;
        state->cooperative_level_set = true;
        return answer(call, special);
    }

    HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC description,
                                            LPDIRECTDRAWSURFACE* surface,
                                            IUnknown* outer) override {
        Call& call = log_call(Method::ddraw_create_surface, "CreateSurface", this, alive());
        call.argument = description;
        call.outer = outer;
        if (description != nullptr) {
            call.description_size = description->dwSize;
            call.description_flags = description->dwFlags;
            call.description_caps = description->ddsCaps.dwCaps;
            call.description_width = description->dwWidth;
            call.description_height = description->dwHeight;
        }
        if (surface != nullptr) {
            *surface = nullptr;
        }
        if (!alive()) {
            return answer(call, DDERR_INVALIDOBJECT);
        }
        const bool primary =
            description != nullptr && (description->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) != 0;
        const HRESULT special =
            special_result(primary ? Step::create_primary_surface : Step::create_offscreen_surface);
        if (FAILED(special)) {
            return answer(call, special);
        }
        if (primary && control.no_video_memory_primary &&
            (description->ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY) != 0) {
            return answer(call, DDERR_NODIRECTDRAWHW);
        }
        if (description == nullptr || surface == nullptr ||
            description->dwSize != sizeof(DDSURFACEDESC) ||
            (description->dwFlags & DDSD_CAPS) == 0) {
            return answer(call, DDERR_INVALIDPARAMS);
        }
        if (outer != nullptr) {
            return answer(call, CLASS_E_NOAGGREGATION);
        }
        if (!state->cooperative_level_set) {
            return answer(call, DDERR_NOCOOPERATIVELEVELSET);
        }
        const DWORD size_flags = DDSD_WIDTH | DDSD_HEIGHT;
        DWORD width = 0;
        DWORD height = 0;
        if (primary) {
            // The primary surface is the screen; it has no size of its own.
            if ((description->dwFlags & size_flags) != 0) {
                return answer(call, DDERR_INVALIDPARAMS);
            }
            width = static_cast<DWORD>(GetSystemMetrics(SM_CXSCREEN));
            height = static_cast<DWORD>(GetSystemMetrics(SM_CYSCREEN));
        } else {
            // Empty surfaces are accepted, so that a display with no rows
            // can be tried.
            if ((description->dwFlags & size_flags) != size_flags) {
                return answer(call, DDERR_INVALIDPARAMS);
            }
            width = description->dwWidth;
            height = description->dwHeight;
        }
        const DWORD pixel_bytes = bytes_per_pixel_of_display();
        const std::size_t row_bytes =
            std::size_t{width} * pixel_bytes + std::size_t{control.pitch_padding};
        if (width > 0x10000 || height > 0x10000 ||
            row_bytes * std::size_t{height} > largest_surface_bytes) {
            return answer(call, DDERR_OUTOFMEMORY);
        }
        if (control.surface_count == max_surfaces) {
            return answer(call, DDERR_OUTOFMEMORY);
        }
        const std::size_t block_size = row_bytes * height + 2 * std::size_t{control.guard_bytes};
        auto* block = static_cast<std::uint8_t*>(HeapAlloc(GetProcessHeap(), 0, block_size));
        if (block == nullptr) {
            return answer(call, DDERR_OUTOFMEMORY);
        }

        SurfaceState& created = take_slot(control.surfaces, surface_objects, control.surface_count);
        created.primary = primary;
        created.width = width;
        created.height = height;
        created.bytes_per_pixel = pixel_bytes;
        created.pitch = static_cast<LONG>(row_bytes);
        created.block = block;
        created.block_size = block_size;
        created.pixels = block + control.guard_bytes;
        created.lost = primary ? control.create_lost_primary : control.create_lost_offscreen;
        created.restorable = control.create_restorable;
        fill_with_sentinel(created);

        *surface = created.object;
        call.created = created.object;
        return answer(call, special);
    }

    HRESULT STDMETHODCALLTYPE CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper,
                                            IUnknown* outer) override {
        Call& call = log_call(Method::ddraw_create_clipper, "CreateClipper", this, alive());
        call.flags = flags;
        call.argument = clipper;
        call.outer = outer;
        if (clipper != nullptr) {
            *clipper = nullptr;
        }
        if (!alive()) {
            return answer(call, DDERR_INVALIDOBJECT);
        }
        const HRESULT special = special_result(Step::create_clipper);
        if (FAILED(special)) {
            return answer(call, special);
        }
        if (clipper == nullptr || flags != 0) {
            return answer(call, DDERR_INVALIDPARAMS);
        }
        if (outer != nullptr) {
            return answer(call, CLASS_E_NOAGGREGATION);
        }
        if (control.clipper_count == max_clippers) {
            return answer(call, DDERR_OUTOFMEMORY);
        }
        const ClipperState& created =
            take_slot(control.clippers, clipper_objects, control.clipper_count);
        *clipper = created.object;
        call.created = created.object;
        return answer(call, special);
    }

    HRESULT STDMETHODCALLTYPE RestoreDisplayMode() override {
        Call& call =
            log_call(Method::ddraw_restore_display_mode, "RestoreDisplayMode", this, alive());
        return answer(call, alive() ? DD_OK : DDERR_INVALIDOBJECT);
    }

    HRESULT STDMETHODCALLTYPE Compact() override { return unsupported("Compact"); }
    HRESULT STDMETHODCALLTYPE CreatePalette(DWORD, LPPALETTEENTRY, LPDIRECTDRAWPALETTE*,
                                            IUnknown*) override {
        return unsupported("CreatePalette");
    }
    HRESULT STDMETHODCALLTYPE DuplicateSurface(LPDIRECTDRAWSURFACE, LPDIRECTDRAWSURFACE*) override {
        return unsupported("DuplicateSurface");
    }
    HRESULT STDMETHODCALLTYPE EnumDisplayModes(DWORD, LPDDSURFACEDESC, LPVOID,
                                               LPDDENUMMODESCALLBACK) override {
        return unsupported("EnumDisplayModes");
    }
    HRESULT STDMETHODCALLTYPE EnumSurfaces(DWORD, LPDDSURFACEDESC, LPVOID,
                                           LPDDENUMSURFACESCALLBACK) override {
        return unsupported("EnumSurfaces");
    }
    HRESULT STDMETHODCALLTYPE FlipToGDISurface() override {
        return unsupported("FlipToGDISurface");
    }
    HRESULT STDMETHODCALLTYPE GetCaps(LPDDCAPS, LPDDCAPS) override {
        return unsupported("GetCaps");
    }
    HRESULT STDMETHODCALLTYPE GetDisplayMode(LPDDSURFACEDESC) override {
        return unsupported("GetDisplayMode");
    }
    HRESULT STDMETHODCALLTYPE GetFourCCCodes(LPDWORD, LPDWORD) override {
        return unsupported("GetFourCCCodes");
    }
    HRESULT STDMETHODCALLTYPE GetGDISurface(LPDIRECTDRAWSURFACE*) override {
        return unsupported("GetGDISurface");
    }
    HRESULT STDMETHODCALLTYPE GetMonitorFrequency(LPDWORD) override {
        return unsupported("GetMonitorFrequency");
    }
    HRESULT STDMETHODCALLTYPE GetScanLine(LPDWORD) override { return unsupported("GetScanLine"); }
    HRESULT STDMETHODCALLTYPE GetVerticalBlankStatus(WINBOOL*) override {
        return unsupported("GetVerticalBlankStatus");
    }
    HRESULT STDMETHODCALLTYPE Initialize(GUID*) override { return unsupported("Initialize"); }
    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD, DWORD, DWORD) override {
        return unsupported("SetDisplayMode");
    }
    HRESULT STDMETHODCALLTYPE WaitForVerticalBlank(DWORD, HANDLE) override {
        return unsupported("WaitForVerticalBlank");
    }
};

DirectDraw direct_draw_objects[max_direct_draws];

void start_afresh() {
    control.magic = control_magic;
    control.pixel_format = DDPIXELFORMAT{};
    control.pixel_format.dwSize = sizeof(DDPIXELFORMAT);
    control.pixel_format.dwFlags = DDPF_RGB;
    control.pixel_format.dwRGBBitCount = 32;
    control.pixel_format.dwRBitMask = 0x00FF0000;
    control.pixel_format.dwGBitMask = 0x0000FF00;
    control.pixel_format.dwBBitMask = 0x000000FF;
    control.special_step = Step::none;
    control.special_result = DD_OK;
    control.pitch_padding = 0;
    control.guard_bytes = 64;
    control.sentinel = 0xA5;
    control.create_lost_primary = false;
    control.create_lost_offscreen = false;
    control.create_restorable = true;
}

void free_surface_memory() {
    for (std::uint32_t i = 0; i < control.surface_count; ++i) {
        HeapFree(GetProcessHeap(), 0, control.surfaces[i].block);
        control.surfaces[i].block = nullptr;
        control.surfaces[i].pixels = nullptr;
    }
}

HRESULT create_direct_draw(GUID* guid, IDirectDraw** direct_draw, IUnknown* outer) {
    Call& call = log_call(Method::direct_draw_create, "DirectDrawCreate", nullptr, true);
    call.argument = guid;
    call.outer = outer;
    if (direct_draw != nullptr) {
        *direct_draw = nullptr;
    }
    const HRESULT special = special_result(Step::direct_draw_create);
    if (FAILED(special)) {
        return answer(call, special);
    }
    if (direct_draw == nullptr || outer != nullptr) {
        return answer(call, DDERR_INVALIDPARAMS);
    }
    if (control.direct_draw_count == max_direct_draws) {
        return answer(call, DDERR_OUTOFMEMORY);
    }
    const DirectDrawState& created =
        take_slot(control.direct_draws, direct_draw_objects, control.direct_draw_count);
    *direct_draw = created.object;
    call.created = created.object;
    return answer(call, special);
}

}  // namespace
}  // namespace quenlixor::ddraw_double

// The module's exports (named in ddraw_double.def).
extern "C" {

HRESULT WINAPI DirectDrawCreate(GUID* guid, LPDIRECTDRAW* direct_draw, IUnknown* outer) {
    return quenlixor::ddraw_double::create_direct_draw(guid, direct_draw, outer);
}

quenlixor::ddraw_double::Control* quenlixor_double_control() {
    return &quenlixor::ddraw_double::control;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        quenlixor::ddraw_double::start_afresh();
    } else if (reason == DLL_PROCESS_DETACH) {
        quenlixor::ddraw_double::free_surface_memory();
    }
    return TRUE;
}

}  // extern "C"
