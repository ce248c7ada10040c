// Palette indices by the green byte: one table lookup names a pixel's entry,
// and a second confirms the whole word.
#include "tools/palette_index.h"

#include <algorithm>
#include <iterator>

#include "animation/julia_renderer.h"

namespace quenlixor {

namespace palette_tables {
std::uint32_t word_of_index[256];
std::uint8_t index_of_green[256];
}  // namespace palette_tables

void prepare_palette_index() {
    using namespace palette_tables;
    std::fill(std::begin(index_of_green), std::end(index_of_green), std::uint8_t{0xFF});
    std::fill(std::begin(word_of_index), std::end(word_of_index), 0xFFFF00FFU);
    for (int entry = 0; entry < palette_colours; ++entry) {
        const std::uint32_t word = palette[entry];
        word_of_index[entry] = word;
        index_of_green[(word >> 8) & 0xFF] = static_cast<std::uint8_t>(entry);
    }
}

void palette_rgb_bytes(unsigned char* rgb) {
    for (int entry = 0; entry < palette_colours; ++entry) {
        const std::uint32_t word = palette[entry];
        rgb[entry * 3] = static_cast<unsigned char>(word >> 16);
        rgb[entry * 3 + 1] = static_cast<unsigned char>(word >> 8);
        rgb[entry * 3 + 2] = static_cast<unsigned char>(word);
    }
}

std::uint8_t palette_index_of_other(std::uint32_t word, bool& known) {
    for (int entry = 0; entry < palette_colours; ++entry) {
        if (((palette_tables::word_of_index[entry] ^ word) & 0x00FFFFFFU) == 0) {
            return static_cast<std::uint8_t>(entry);
        }
    }
    known = false;
    return 0;
}

bool palette_indices(const std::uint32_t* words, int count, std::uint8_t* indices) {
    // Every pixel by its green byte, then, should any word not be its
    // entry's, those again the slow way.
    bool palette_words = true;
    for (int at = 0; at < count; ++at) {
        const std::uint32_t word = words[at];
        const std::uint8_t index = palette_tables::index_of_green[(word >> 8) & 0xFF];
        palette_words &= palette_tables::word_of_index[index] == word;
        indices[at] = index;
    }
    bool known = true;
    for (int at = 0; !palette_words && at < count; ++at) {
        indices[at] = palette_index(words[at], known);
    }
    return known;
}

}  // namespace quenlixor
