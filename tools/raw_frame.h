// The raw layout of a frame: the framebuffer's words as they stand,
// little-endian, row 0 first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "animation/julia_renderer.h"

namespace quenlixor {

inline constexpr std::size_t raw_frame_bytes = std::size_t{pixel_count} * 4;  // at scale 1

// The framebuffer's bytes: pixel_count little-endian 32-bit words, at
// `scale` (1-8) every pixel an N x N block of them: raw_frame_bytes x N x N
// bytes.
void raw_frame(const std::uint32_t* pixels, int scale, unsigned char* bytes);

}  // namespace quenlixor
