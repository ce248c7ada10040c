// The palette index of a frame's pixel, for the encoders that write indexed
// pictures (GIF, APNG): entries 0-20 of the renderer's palette.
#pragma once

#include <cstdint>

namespace quenlixor {

// The palette's colours: entries 0-20, the ramp and white (the rest are
// black, as entry 0 is).
inline constexpr int palette_colours = 21;

// Reads the palette; call after prepare_tables() and before palette_index().
void prepare_palette_index();

// The palette entry (0-20) of a pixel; `known` becomes false for a colour
// outside the palette (bits 24-31 aside), which no frame has.
std::uint8_t palette_index(std::uint32_t word, bool& known);

}  // namespace quenlixor
