// Palette indices by the green byte: the palette entries' green bytes all
// differ, so one table lookup names a pixel's entry, and a second confirms
// the whole word.
#include "tools/palette_index.h"

#include <algorithm>
#include <iterator>

#include "animation/julia_renderer.h"

namespace quenlixor {
namespace {

// The palette word of every index; no word at all (a green byte that does
// not match index_of_green) for the rest.
std::uint32_t word_of_index[256];
// Index of the palette entry with a given green byte. 0xFF where none has
// it.
std::uint8_t index_of_green[256];

}  // namespace

void prepare_palette_index() {
    std::fill(std::begin(index_of_green), std::end(index_of_green), std::uint8_t{0xFF});
    std::fill(std::begin(word_of_index), std::end(word_of_index), 0xFFFF00FFU);
    for (int entry = 0; entry < palette_colours; ++entry) {
        const std::uint32_t word = palette[entry];
        word_of_index[entry] = word;
        index_of_green[(word >> 8) & 0xFF] = static_cast<std::uint8_t>(entry);
    }
}

std::uint8_t palette_index(std::uint32_t word, bool& known) {
    // A palette word: its green byte names it.
    const std::uint8_t index = index_of_green[(word >> 8) & 0xFF];
    if (word_of_index[index] == word) {
        return index;
    }
    // Otherwise look the colour up, bits 24-31 aside.
    for (int entry = 0; entry < palette_colours; ++entry) {
        if (((word_of_index[entry] ^ word) & 0x00FFFFFFU) == 0) {
            return static_cast<std::uint8_t>(entry);
        }
    }
    known = false;
    return 0;
}

}  // namespace quenlixor
