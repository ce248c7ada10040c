#include "animation/animation_driver.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace quenlixor {

void rate_start(RateCounter& counter) {
    counter.frames_counted = 0.0F;
    counter.rate_shown = 0.0F;
    counter.last_update = tick_count_ms();
}

bool rate_count_frame(RateCounter& counter) {
    counter.frames_counted += 1.0F;
    const std::uint32_t elapsed = tick_count_ms() - counter.last_update;
    if (elapsed <= rate_span_ms) {
        return false;
    }
    counter.rate_shown = counter.frames_counted;
    counter.frames_counted = 0.0F;
    counter.last_update = tick_count_ms();
    return true;
}

void rate_text(float rate, char* buffer) {
    number_text(static_cast<double>(rate), buffer);
    const std::size_t length = std::strlen(buffer);
    if (length > 0 && buffer[length - 1] == '.') {
        buffer[length - 1] = '\0';
    }
}

std::string caption_text(float rate) {
    char number[number_text_capacity];
    rate_text(rate, number);
    std::string caption(caption_prefix);
    caption += number;
    return caption;
}

std::string poll_key() {
    std::string key;
    if (!key_waiting()) {
        return key;
    }
    const int first = read_key();
    if (starts_two_code_key(first)) {
        key += static_cast<char>(0xFF);
        key += static_cast<char>(read_key());
    } else {
        key += static_cast<char>(first);
    }
    return key;
}

void pacer_start(FramePacer& pacer, std::int32_t fps) {
    pacer.fps = fps > 0 ? fps : 0;
    pacer.frames = 0;
    pacer.start_us = pacer.fps > 0 ? clock_us() : 0;
    pacer.shown_us = pacer.start_us;
}

bool pacer_hold(FramePacer& pacer, std::uint64_t hold_until) {
    if (pacer.fps == 0) {
        return false;
    }
    const auto fps = static_cast<std::uint64_t>(pacer.fps);
    const std::uint64_t frame_us = (1000000U + fps - 1) / fps;
    std::uint64_t due = pacer.start_us + pacer.frames * 1000000U / fps;
    const bool held = hold_until != 0 && hold_until >= due;
    if (hold_until > due) {
        // The pace goes on from the time the held frame shows.
        pacer.start_us = hold_until;
        pacer.frames = 0;
        due = hold_until;
    }
    std::uint64_t now = clock_us();
    if (now < due && held && due - now > frame_us) {
        // Held: the frame before stays for another frame's time.
        sleep_us(static_cast<std::uint32_t>(frame_us));
        now = clock_us();
        if (now < due) {
            return true;
        }
    } else if (now < due) {
        // One sleep until the frame is due (a timer that wakes a little
        // early does not hold it for another frame's time).
        sleep_us(static_cast<std::uint32_t>(due - now));
        now = clock_us();
    } else if (now - due > pacer_catch_up_us && now - due >= 1000000U / fps) {
        pacer.start_us = now;
        pacer.frames = 0;
    }
    pacer.shown_us = now;
    return false;
}

void pacer_shown(FramePacer& pacer) {
    if (pacer.fps != 0) {
        ++pacer.frames;
    }
}

namespace {

// The setup for the picture as it shows: in blocks, or shrunk.
void prepare_guard_setup(const FlashGuard& guard, FlashSetup& setup) {
    if (guard.block > 0) {
        prepare_flash_setup(setup, guard.colours, guard.colour_count, guard.width, guard.height,
                            guard.block);
    } else {
        prepare_shrunk_flash_setup(setup, guard.colours, guard.colour_count, guard.width,
                                   guard.height, guard.shown.width, guard.shown.height);
    }
}

}  // namespace

void guard_start(FlashGuard& guard, std::int32_t fps, std::int32_t width, std::int32_t height,
                 const std::uint32_t* colours, std::int32_t count) {
    guard.on = fps > 0;
    guard.width = width;
    guard.height = height;
    guard.colour_count = std::min<std::int32_t>(count, flash_colours_max);
    std::copy(colours, colours + guard.colour_count, guard.colours);
    guard.block = -1;
    guard.shown = ShownSize{0, 0};
    guard.setup_in_use = 0;
    guard.frames = 0;
    guard.on_screen.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    if (guard.on) {
        start_flash_timeline(guard.timeline, FlashPace{1000000 / fps, 1000000}, true);
    }
}

std::uint64_t guard_judge(FlashGuard& guard, const std::uint32_t* pixels, std::int32_t block,
                          ShownSize shown) {
    if (!guard.on) {
        return 0;
    }
    if (block != guard.block || shown.width != guard.shown.width ||
        shown.height != guard.shown.height) {
        // Shown at another size: fields of that size, going on from those
        // at their places before.
        const bool first = guard.block < 0;
        guard.block = block;
        guard.shown = shown;
        guard.setup_in_use = first ? 0 : 1 - guard.setup_in_use;
        FlashSetup& setup = guard.setups[guard.setup_in_use];
        prepare_guard_setup(guard, setup);
        if (first) {
            start_flash_watch(guard.watch, setup);
        } else {
            move_flash_watch(guard.watch, setup);
        }
    }
    guard.changes.clear();
    if (guard.frames > 0 && !frame_changes(guard.setups[guard.setup_in_use], pixels,
                                           guard.on_screen.data(), guard.scratch, guard.changes)) {
        guard.changes.clear();  // a colour of no frame's: nothing to judge
    }
    watch_changes(guard.watch, guard.frames, guard.changes);
    const std::int64_t until = flash_hold_until(guard.timeline, guard.watch);
    return until > 0 ? static_cast<std::uint64_t>(until) : 0;
}

void guard_shown(FlashGuard& guard, const std::uint32_t* pixels, std::uint64_t shown_us) {
    if (!guard.on) {
        return;
    }
    flash_place_frame(guard.timeline, guard.watch, guard.frames,
                      static_cast<std::int64_t>(shown_us));
    std::copy(pixels, pixels + guard.on_screen.size(), guard.on_screen.begin());
    ++guard.frames;
}

}  // namespace quenlixor
