// The animated GIF: one global colour table of the palette's colours, a
// loop extension, and per frame a graphics control block (delay, leave in
// place, transparency) and the rectangle that changed since the frame
// before, its unchanged pixels transparent where that codes shorter.
//
// Each frame's image data is independent of the others', so frames are
// encoded on any thread; the file is the head, the frames' bytes in order
// and the trailer.
#pragma once

#include <cstdint>
#include <vector>

namespace quenlixor {

// Colour-table indices: the palette's index for colours 0-20,
// gif_transparent_index for pixels left as they were.
inline constexpr std::uint8_t gif_transparent_index = 21;
inline constexpr unsigned char gif_trailer = 0x3B;

// Whether this build can write GIFs: a build without giflib links
// gif_unavailable.cpp, whose functions all fail.
bool gif_available();

// Reads the palette; call after prepare_tables() and before the others.
void prepare_gif_colours();

// The file's start: signature, screen descriptor, colour table and the
// extension that makes viewers loop for ever.
bool gif_head(std::vector<unsigned char>& bytes);

// One frame's bytes: graphics control block, image descriptor and image
// data. `pixels` is the frame's picture and `previous` the one before, or
// null for the first frame, which is stored whole. `work` is scratch space.
// False when giflib fails or a pixel has a colour outside the palette
// (nothing the renderer writes).
bool gif_frame(const std::uint32_t* pixels, const std::uint32_t* previous, int delay_centiseconds,
               std::vector<std::uint8_t>& work, std::vector<unsigned char>& bytes);

}  // namespace quenlixor
