// The DirectDraw test double: a ddraw.dll of our own that implements the
// first-version IDirectDraw, IDirectDrawSurface and IDirectDrawClipper calls
// of the display over plain memory, can be told to fail or answer oddly, and
// logs every call with its arguments.
//
// A test loads the double itself (LoadLibraryA("ddraw.dll") from the test's
// own folder), asks the export "quenlixor_double_control" for the double's
// Control record, configures it, and then lets the display load the same
// module. The record is the double's whole state: configuration, the objects
// it handed out, and the call log. It starts afresh each time the module is
// loaded.
#pragma once

#include <windows.h>
// windows.h first: ddraw.h builds on its types.
#include <ddraw.h>

#include <cstddef>
#include <cstdint>

namespace quenlixor::ddraw_double {

// "QJDD": the first member of the record, so a test can tell the double's
// record from anything else.
inline constexpr std::uint32_t control_magic = 0x44444A51;

// Name of the control export; its type is ControlEntry.
inline constexpr const char* control_export = "quenlixor_double_control";

// The steps of the display's opening and presentation that a test can answer
// with a result of its choice (Control::special_step).
enum class Step : std::uint32_t {
    none,
    direct_draw_create,
    set_cooperative_level,
    create_primary_surface,
    create_offscreen_surface,
    create_clipper,
    set_hwnd,
    set_clipper,
    get_pixel_format,
    lock,
};

// What a logged call was.
enum class Method : std::uint32_t {
    direct_draw_create,
    ddraw_set_cooperative_level,
    ddraw_create_surface,
    ddraw_create_clipper,
    ddraw_restore_display_mode,
    ddraw_add_ref,
    ddraw_release,
    surface_set_clipper,
    surface_get_pixel_format,
    surface_restore,
    surface_lock,
    surface_unlock,
    surface_blt,
    surface_add_ref,
    surface_release,
    clipper_set_hwnd,
    clipper_add_ref,
    clipper_release,
    // Any other method, QueryInterface included; `name` tells which.
    unsupported,
};

// One logged call. Members a method has no use for stay zero.
struct Call {
    Method method;
    const char* name;    // the method's own name, e.g. "Lock"
    const void* object;  // the interface pointer called (none for DirectDrawCreate)
    bool object_alive;   // false: the object had already been released
    HRESULT result;      // what the double answered
    DWORD flags;         // SetCooperativeLevel, CreateClipper, SetHWnd, Lock, Blt
    HWND window;         // SetCooperativeLevel, SetHWnd
    // IsWindow of the window the DirectDraw object cooperates with, at the
    // time of the call (false when there is none); for SetCooperativeLevel,
    // of the window passed.
    bool cooperative_window_exists;
    // The call's main pointer argument: the GUID of DirectDrawCreate, the
    // description of CreateSurface and Lock, the record of GetPixelFormat,
    // the clipper of SetClipper, the rectangle of Lock (lock_rect), the data
    // pointer of Unlock, the source surface of Blt.
    const void* argument;
    const void* lock_rect;      // Lock: the rectangle pointer
    const void* outer;          // create calls: pUnkOuter; Lock: the event; Blt: the effects
    const void* created;        // create calls: the object handed out
    RECT destination_rect;      // Blt
    bool has_destination_rect;  // Blt: a destination rectangle was passed
    RECT source_rect;           // Blt
    bool has_source_rect;       // Blt: a source rectangle was passed
    // CreateSurface: the description's fields as passed; Lock: dwSize;
    // GetPixelFormat: the record's dwSize in description_size.
    DWORD description_size;
    DWORD description_flags;
    DWORD description_caps;
    DWORD description_width;
    DWORD description_height;
};

struct DirectDrawState {
    IDirectDraw* object;  // the interface pointer handed out
    LONG references;      // 0: released
    HWND cooperative_window;
    DWORD cooperative_flags;
    bool cooperative_level_set;
};

struct ClipperState {
    IDirectDrawClipper* object;
    LONG references;  // the surfaces it is attached to hold a reference each
    HWND window;      // from SetHWnd
};

struct SurfaceState {
    IDirectDrawSurface* object;
    LONG references;  // 0: released (its memory stays readable for the test)
    bool primary;
    DWORD width;
    DWORD height;
    DWORD bytes_per_pixel;
    LONG pitch;  // width * bytes_per_pixel + Control::pitch_padding
    // The memory: guard_bytes of sentinel, height rows of pitch bytes, then
    // guard_bytes again. pixels points at the first row.
    std::uint8_t* block;
    std::size_t block_size;
    std::uint8_t* pixels;
    bool locked;
    void* locked_at;              // lpSurface handed out by the current lock
    bool lost;                    // Lock and Blt fail with DDERR_SURFACELOST
    bool restorable;              // Restore of a lost surface succeeds (else DDERR_WRONGMODE)
    IDirectDrawClipper* clipper;  // attached by SetClipper
};

inline constexpr std::size_t max_direct_draws = 4;
inline constexpr std::size_t max_surfaces = 8;
inline constexpr std::size_t max_clippers = 4;
inline constexpr std::size_t max_calls = 4096;

struct Control {
    std::uint32_t magic;  // control_magic

    // Configuration; a test changes it before the display opens (or, for the
    // surfaces' lost state, at any time).
    DDPIXELFORMAT pixel_format;  // what GetPixelFormat reports; default 32-bit XRGB
    // The step answered with special_result instead of its normal outcome:
    // a negative result fails the step (nothing created, out-pointer set to
    // none), a non-negative one lets it succeed with that result. Applies to
    // every call of the step.
    Step special_step;
    HRESULT special_result;
    // Bytes beyond each row of every surface created from now on, filled with
    // the sentinel; lPitch is the row's bytes plus this.
    std::uint32_t pitch_padding;
    // Bytes of sentinel before the first row and after the last one.
    std::uint32_t guard_bytes;
    // Fill of new surface memory, and of a lost surface's memory on Restore.
    std::uint8_t sentinel;
    // Surfaces created from now on start lost (primary, off-screen) and can
    // or cannot be restored.
    bool create_lost_primary;
    bool create_lost_offscreen;
    bool create_restorable;
    // A primary surface asked for in video memory is refused with
    // DDERR_NODIRECTDRAWHW, as on a display without DirectDraw hardware.
    bool no_video_memory_primary;

    // The objects handed out, in order of creation.
    DirectDrawState direct_draws[max_direct_draws];
    std::uint32_t direct_draw_count;
    SurfaceState surfaces[max_surfaces];
    std::uint32_t surface_count;
    ClipperState clippers[max_clippers];
    std::uint32_t clipper_count;

    // Every call, in order.
    Call calls[max_calls];
    std::uint32_t call_count;
    bool log_overflowed;
};

using ControlEntry = Control* (*)();

// Number of objects of each kind not yet released.
inline std::uint32_t alive_direct_draws(const Control& control) {
    std::uint32_t alive = 0;
    for (std::uint32_t i = 0; i < control.direct_draw_count; ++i) {
        alive += control.direct_draws[i].references > 0 ? 1U : 0U;
    }
    return alive;
}

inline std::uint32_t alive_surfaces(const Control& control) {
    std::uint32_t alive = 0;
    for (std::uint32_t i = 0; i < control.surface_count; ++i) {
        alive += control.surfaces[i].references > 0 ? 1U : 0U;
    }
    return alive;
}

inline std::uint32_t alive_clippers(const Control& control) {
    std::uint32_t alive = 0;
    for (std::uint32_t i = 0; i < control.clipper_count; ++i) {
        alive += control.clippers[i].references > 0 ? 1U : 0U;
    }
    return alive;
}

// The state of the surface behind an interface pointer, or none.
inline SurfaceState* find_surface(Control& control, const void* object) {
    for (std::uint32_t i = 0; i < control.surface_count; ++i) {
        if (object != nullptr && control.surfaces[i].object == object) {
            return &control.surfaces[i];
        }
    }
    return nullptr;
}

inline ClipperState* find_clipper(Control& control, const void* object) {
    for (std::uint32_t i = 0; i < control.clipper_count; ++i) {
        if (object != nullptr && control.clippers[i].object == object) {
            return &control.clippers[i];
        }
    }
    return nullptr;
}

}  // namespace quenlixor::ddraw_double
