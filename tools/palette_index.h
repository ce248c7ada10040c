// The palette index of a frame's pixel, for the encoders that write indexed
// pictures (GIF, APNG): entries 0-20 of the renderer's palette.
#pragma once

#include <cstdint>

#include "animation/julia_renderer.h"

namespace quenlixor {

// Reads the palette; call after prepare_tables() and before palette_index().
void prepare_palette_index();

// The palette's entries 0-20 as red, green and blue bytes, three an entry,
// into `rgb` (a colour table's or a PLTE chunk's).
void palette_rgb_bytes(unsigned char* rgb);

namespace palette_tables {
// The palette word of every index; no word at all (a green byte that does
// not match index_of_green) for the rest.
extern std::uint32_t word_of_index[256];
// Index of the palette entry with a given green byte (the entries' green
// bytes all differ); 0xFF where none has it.
extern std::uint8_t index_of_green[256];
}  // namespace palette_tables

// A colour outside the palette, bits 24-31 aside: the slow way.
std::uint8_t palette_index_of_other(std::uint32_t word, bool& known);

// The palette entry (0-20) of a pixel; `known` becomes false for a colour
// outside the palette (bits 24-31 aside), which no frame has. A palette
// word's green byte names its entry.
inline std::uint8_t palette_index(std::uint32_t word, bool& known) {
    const std::uint8_t index = palette_tables::index_of_green[(word >> 8) & 0xFF];
    if (palette_tables::word_of_index[index] == word) {
        return index;
    }
    return palette_index_of_other(word, known);
}

// The palette entries of `count` pixels into `indices`; false, as
// palette_index, when a colour is outside the palette.
bool palette_indices(const std::uint32_t* words, int count, std::uint8_t* indices);

}  // namespace quenlixor
