// Where a frame differs from the one before: what the animated outputs
// (GIF, APNG) store of each frame after the first.
#pragma once

#include <cstdint>

namespace quenlixor {

struct Rectangle {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The smallest rectangle holding every pixel of `pixels` that differs from
// `previous` (picture_width x picture_height words each, rows adjacent);
// empty (width 0) when none does.
Rectangle changed_rectangle(const std::uint32_t* pixels, const std::uint32_t* previous);

}  // namespace quenlixor
