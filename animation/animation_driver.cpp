#include "animation/animation_driver.h"

#include <cstring>

#include "platform/platform.h"

namespace quenlixor {

void rate_start(RateCounter& counter, TickClock clock) {
    counter.frames_counted = 0.0F;
    counter.rate_shown = 0.0F;
    counter.last_update = clock();
}

bool rate_count_frame(RateCounter& counter, TickClock clock) {
    counter.frames_counted += 1.0F;
    const std::uint32_t elapsed = clock() - counter.last_update;
    if (elapsed <= rate_span_ms) {
        return false;
    }
    counter.rate_shown = counter.frames_counted;
    counter.frames_counted = 0.0F;
    counter.last_update = clock();
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

KeyQueue console_keys() {
    return KeyQueue{key_waiting, read_key};
}

std::string poll_key(KeyQueue keys) {
    std::string key;
    if (!keys.key_waiting()) {
        return key;
    }
    const int first = keys.read_key();
    if (first == 0 || first == 0xE0) {
        key += static_cast<char>(0xFF);
        key += static_cast<char>(keys.read_key());
    } else {
        key += static_cast<char>(first);
    }
    return key;
}

long double seconds_clock() {
    return static_cast<long double>(tick_count_ms()) / 1000.0L;
}

}  // namespace quenlixor
