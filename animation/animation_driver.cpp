#include "animation/animation_driver.h"

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
}

void pacer_wait(FramePacer& pacer) {
    if (pacer.fps == 0) {
        return;
    }
    const auto fps = static_cast<std::uint64_t>(pacer.fps);
    ++pacer.frames;
    const std::uint64_t due = pacer.start_us + pacer.frames * 1000000U / fps;
    const std::uint64_t now = clock_us();
    if (now < due) {
        sleep_us(static_cast<std::uint32_t>(due - now));
    } else if (now - due > pacer_catch_up_us && now - due >= 1000000U / fps) {
        pacer.start_us = now;
        pacer.frames = 0;
    }
}

}  // namespace quenlixor
