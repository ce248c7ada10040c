// The changed rectangle, eight pixels at a time where rows agree.
#include "tools/changed_area.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "animation/julia_renderer.h"

namespace quenlixor {
namespace {

// The first and one past the last column where two rows differ, eight
// pixels at a time; first == picture_width when they are the same.
void differing_columns(const std::uint32_t* now, const std::uint32_t* before, int& first,
                       int& end) {
    constexpr int step = 8;
    constexpr std::size_t step_bytes = step * sizeof(std::uint32_t);
    static_assert(picture_width % step == 0);
    first = 0;
    while (first < picture_width && std::memcmp(now + first, before + first, step_bytes) == 0) {
        first += step;
    }
    if (first == picture_width) {
        return;
    }
    end = picture_width;
    while (std::memcmp(now + end - step, before + end - step, step_bytes) == 0) {
        end -= step;
    }
    while (now[first] == before[first]) {
        ++first;
    }
    while (now[end - 1] == before[end - 1]) {
        --end;
    }
}

}  // namespace

Rectangle changed_rectangle(const std::uint32_t* pixels, const std::uint32_t* previous) {
    int top = picture_height;
    int bottom = -1;
    int left = picture_width;
    int right = 0;
    for (int row = 0; row < picture_height; ++row) {
        int first = 0;
        int end = 0;
        differing_columns(pixels + row * picture_width, previous + row * picture_width, first, end);
        if (first == picture_width) {
            continue;
        }
        top = std::min(top, row);
        bottom = row;
        left = std::min(left, first);
        right = std::max(right, end);
    }
    if (bottom < 0) {
        return {0, 0, 0, 0};
    }
    return {left, top, right - left, bottom - top + 1};
}

}  // namespace quenlixor
