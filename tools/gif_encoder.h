// The animated GIF: one global colour table of the palette's colours, a
// loop extension, and per frame a graphics control block (delay, leave in
// place, transparency) and the rectangle that changed since the frame
// before, its unchanged pixels coded as their colour or as transparent,
// whichever codes shorter. At a scale N every picture pixel is an N x N
// block.
//
// Each frame's image data is independent of the others', so frames are
// encoded on any thread; the file is the head, the frames' bytes in order
// and the trailer.
#pragma once

#include <cstdint>
#include <vector>

namespace quenlixor {

// Colour-table indices are the palette's for colours 0-20; each frame's
// transparent index is one its changed pixels do not use.
inline constexpr unsigned char gif_trailer = 0x3B;

// Reads the palette; call after prepare_tables() and before the others.
void prepare_gif_colours();

// The file's start: signature, screen descriptor (320 x 240 times `scale`,
// 1-8), colour table and the extension that makes viewers loop for ever.
void gif_head(int scale, std::vector<unsigned char>& bytes);

// One frame's bytes: graphics control block, image descriptor and image
// data. `pixels` is the frame's picture and `previous` the one before, or
// null for the first frame, which is stored whole; `scale` as in gif_head.
// `work` is scratch space.
// False when a pixel has a colour outside the palette (nothing the
// renderer writes).
bool gif_frame(const std::uint32_t* pixels, const std::uint32_t* previous, int delay_centiseconds,
               int scale, std::vector<std::uint8_t>& work, std::vector<unsigned char>& bytes);

// Sets the delay of `frame` (gif_frame's bytes) to `delay_centiseconds`
// (0 to 65535).
void gif_set_delay(std::vector<unsigned char>& frame, int delay_centiseconds);

// Folds `frame` (gif_frame's bytes of the frame after the one in `held`)
// into `held` when it changes nothing: held's frame then shows for both
// delays, and `frame` need not be written. False, changing nothing, when
// `frame` changes something or the delays together pass the longest a GIF
// holds (655.35 s).
bool gif_fold_frame(std::vector<unsigned char>& held, const std::vector<unsigned char>& frame);

}  // namespace quenlixor
