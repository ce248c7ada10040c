// The animation driver's own logic, apart from the program's entry point:
// the frame-rate count shown in the caption, the caption text, the console
// key poll, the frame pacer and the guard on the pace. The frame loop
// (animate.cpp) strings these together with the renderer and the display.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "animation/flash_check.h"
#include "display/display.h"

namespace quenlixor {

// The window's first caption and the display window's class name.
inline constexpr const char* program_title = "Quenlixor Julia (Tolvane)";

// What the caption shows before the frame rate.
inline constexpr const char* caption_prefix = "Quenlixor Julia Animator FPS:";

// Length of a counting span: the rate is updated on the first frame that
// ends more than this many milliseconds after the previous update.
inline constexpr std::uint32_t rate_span_ms = 1000;

// The frame-rate count. frames_counted counts whole frames in single
// precision, so it stops growing at 2^24 = 16,777,216.
struct RateCounter {
    float frames_counted;       // frames since the last rate update
    float rate_shown;           // frames counted over the last finished span
    std::uint32_t last_update;  // tick count at the last update (or the start)
};

// Starts counting: nothing counted, rate 0, the span starting now (the
// platform's tick_count_ms).
void rate_start(RateCounter& counter);

// Counts one finished frame. When more than rate_span_ms have passed since
// the last update (an unsigned difference of tick counts, so the 32-bit wrap
// does not matter), the frames counted become the rate shown, counting
// starts again from 0 and the span restarts at a fresh clock reading.
// Returns true when the rate was updated.
bool rate_count_frame(RateCounter& counter);

// The number text of a rate: the platform's 8-digit number text without a
// trailing point, so a whole number reads as its plain decimal digits.
void rate_text(float rate, char* buffer);

// The caption for a rate: caption_prefix immediately followed by its number
// text, e.g. "Quenlixor Julia Animator FPS:57".
std::string caption_text(float rate);

// The key waiting in the platform's console key queue (key_waiting,
// read_key), consumed: the empty string when none waits; two characters,
// 0xFF and the second code, when the first code is 0 or 224 (an extended
// key); else the one code read.
std::string poll_key();

// --- frame pacing ---------------------------------------------------------

// Holds the frame loop to at most `fps` frames per second: frame k is due
// k / fps seconds after the start, so sleeping late now and then does not
// add up, and a frame that came late is made up by not sleeping before the
// next ones. A loop that falls more than pacer_catch_up_us (or one frame, if
// that is longer) behind starts afresh from the present instead of hurrying:
// a sixtieth of a second, so that after a stall no second shows more than
// one frame too many at 60 frames a second or fewer, and at higher rates the
// jitter of a busy system is still made up. Where the guard on the pace
// holds a frame back, the pace goes on from the time it shows.
inline constexpr std::uint64_t pacer_catch_up_us = 1000000 / 60;

struct FramePacer {
    std::int32_t fps;        // 0: no pacing
    std::uint64_t start_us;  // clock reading frame 0 was due at
    std::uint64_t frames;    // frames paced since start_us
    std::uint64_t shown_us;  // the clock reading the last frame was let show at
};

// Starts pacing at `fps` frames per second (0: none, and the clock is not
// read). The pacer reads the platform's clock_us and sleeps with sleep_us.
void pacer_start(FramePacer& pacer, std::int32_t fps);

// Before a frame is shown: sleeps until it is due, and false: the frame is
// to be shown (shown_us then says when). Where `hold_until` (a clock_us
// reading, 0 for none) is later than the time it is due, the frame is held
// until then, and sleeps a frame's time at a time: true while the time has
// not come, and the frame before is to stay on the screen for another
// frame's time. Without pacing false at once, without reading the clock.
bool pacer_hold(FramePacer& pacer, std::uint64_t hold_until);

// Counts the frame the pacer let show.
void pacer_shown(FramePacer& pacer);

// --- the guard on the pace -------------------------------------------------

// Holds frames on the screen for longer wherever the next would make a
// 341 x 256 part of the screen flash more than three times in a second
// (flash_check.h), just long enough; the frames, their order and the pace
// everywhere else stay as they are. It judges the picture as it shows:
// its blocks, or shrunk. Paced loops are guarded; an unpaced one (--fps
// max) is not.
struct FlashGuard {
    bool on;
    std::int32_t width;  // the picture
    std::int32_t height;
    std::uint32_t colours[flash_colours_max];
    std::int32_t colour_count;
    // How the picture shows (the display's block and size) for the fields
    // followed, and the setups: the one in use and the one before it.
    std::int32_t block;
    ShownSize shown;
    FlashSetup setups[2];
    int setup_in_use;
    FlashWatch watch;
    FlashTimeline timeline;                // in microseconds of clock_us
    std::vector<std::uint32_t> on_screen;  // the frame shown last
    std::int64_t frames;                   // frames shown
    FlashScratch scratch;
    std::vector<FieldChange> changes;
};

// Starts guarding frames of `width` x `height` pixels, which take the
// `count` colours of `colours`, at `fps` frames a second (0: unpaced, and
// unguarded).
void guard_start(FlashGuard& guard, std::int32_t fps, std::int32_t width, std::int32_t height,
                 const std::uint32_t* colours, std::int32_t count);

// The clock_us reading before which `pixels`, the next frame, may not
// show, shown at `block` as `shown` (display_block, display_shown_size),
// for what it changes from the frame on the screen; 0 where it may show
// at any time.
std::uint64_t guard_judge(FlashGuard& guard, const std::uint32_t* pixels, std::int32_t block,
                          ShownSize shown);

// `pixels`, the frame last judged, shows from `shown_us` (a clock_us
// reading) on.
void guard_shown(FlashGuard& guard, const std::uint32_t* pixels, std::uint64_t shown_us);

}  // namespace quenlixor
