// The animated PNG (APNG): indexed colour, the palette's 21 colours and one
// transparent entry (8 bits a pixel), looping for ever. The first frame is
// the file's default image (IDAT), whole; every frame after it is the
// rectangle that changed since the one before, left in place (dispose op
// none) and drawn over what is there (blend op over): inside it each pixel
// that did not change is stored as its colour or as transparent, whichever
// the compressor finds continues its match (frame_deflate.h). A frame that
// changes nothing is one transparent pixel. At a scale N every picture
// pixel is an N x N block.
//
// Each frame's bytes (its fcTL chunk, then its IDAT or fdAT chunk) depend
// only on the frame and the one before, so frames are encoded on any
// thread; the file is the head, the frames' bytes in order and the end. A
// frame's place in the file (its chunks' sequence numbers) and its delay
// are set when it is written (place_apng_frame): a frame whose picture is
// the one before's can then be shown by that one for longer instead, and
// a delay can wait for what is known only once the next frame is.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/frame_deflate.h"

namespace quenlixor {

// The most frames an APNG of ours holds: its chunks after the head are
// numbered in one sequence, two for each frame but the first, and PNG's
// numbers end at 2^31 - 1.
inline constexpr std::int64_t apng_frames_max = std::int64_t{1} << 30;

// The longest a frame shows for, in numerator steps of its delay (16 bits).
inline constexpr unsigned apng_longest_delay = 65535;

// Working space of apng_frame, one per thread.
struct ApngScratch {
    std::vector<std::uint8_t> values;  // the rows: filter type, then indices
    std::vector<std::uint8_t> either;  // 0xFF where a pixel did not change
    std::vector<std::uint8_t> row;     // one row's indices and changes at scale 1
    DeflateScratch deflate;
};

// Reads the palette; call after prepare_tables() and before the others.
void prepare_apng_colours();

// The file's start: signature, IHDR (320 x 240 times `scale`, 1-8),
// acTL (`frame_count` frames, 1 to apng_frames_max, looping for ever), the
// palette and its transparency.
void apng_head(int scale, std::int64_t frame_count, std::vector<unsigned char>& bytes);

// How the frames after the first are deflated (frame_deflate.h). The
// first frame, stored whole once, weighs most in a short run, and its own
// and the few frames after it are worth more time: a run of up to 120
// frames gets thorough_effort for every frame (some 35 ms a frame), of up
// to 360 lighter_effort (some 15 ms), a longer run deflate_frame (some
// 0.3 ms: the full cycle must not take much longer than its GIF).
enum class ApngDeflate { fast, lighter, thorough };
ApngDeflate apng_deflate_for(std::int64_t frame_count);

// A frame's bytes: `pixels` is its picture and `previous` the one before,
// or null for the first frame; `scale` as in apng_head; deflated as
// `deflate` says (the first frame as thoroughly as any), where its rows are
// no larger than a whole frame's at scale 1, and else fast. Its place and
// delay are set by place_apng_frame. False when a pixel has a colour
// outside the palette (nothing the renderer writes).
bool apng_frame(const std::uint32_t* pixels, const std::uint32_t* previous, int scale,
                ApngDeflate deflate, ApngScratch& scratch, std::vector<unsigned char>& bytes);

// Makes `frame` (apng_frame's bytes) frame number `index` of the file (from
// 0; frame 0 must be the one without a `previous`), shown for numerator /
// denominator seconds (each 1 to 65535).
void place_apng_frame(std::vector<unsigned char>& frame, std::int64_t index, unsigned numerator,
                      unsigned denominator);

// The file's end (IEND), after the last frame.
void apng_end(std::vector<unsigned char>& bytes);

}  // namespace quenlixor
