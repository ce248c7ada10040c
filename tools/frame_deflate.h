// Deflate (a zlib stream, RFC 1950 and 1951) of a frame's rows, made for the
// APNG's pictures: bands of a few colours whose rows repeat the rows above,
// shifted a little where the bands slant.
//
// Its matches are found at the distances such pictures repeat at: runs (the
// byte before) and the rows one and two above, a few pixels either way,
// whence most of what a general match finder copies here comes, at a small
// part of its cost. Where the picture allows either of two bytes (a pixel
// that did not change may be stored as itself or as the transparent index),
// the parse takes whichever continues the match.
//
// zlib's own deflate (at level 9 its chains reach 4,096 candidates) is both
// slower on these pictures, by more than ten times, and larger by 7 %; no
// library Debian ships for every platform here codes such pictures better
// at a speed an export can afford, so this one is ours. zlib inflates what
// it writes in the tests, and so do the decoders of ffmpeg, libpng and
// Chromium.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quenlixor {

// Working space, one per thread.
struct DeflateScratch {
    std::vector<std::uint8_t> stored;  // the bytes as the stream holds them
    std::vector<std::uint32_t> tokens;
};

// The bytes deflate_frame may read past the end of `values` and `either`.
inline constexpr std::size_t frame_rows_slack = 8;

// The rows to compress: `size` bytes of rows `stride` bytes long (a filter
// byte and the pixels), and frame_rows_slack more that can be anything.
// Where `either` (null: nowhere) is 0xFF, the byte may be stored as
// `alternative` instead of as its value in `values`; elsewhere it is 0.
struct FrameRows {
    const std::uint8_t* values = nullptr;
    const std::uint8_t* either = nullptr;
    std::size_t size = 0;
    std::size_t stride = 1;
    std::uint8_t alternative = 0;
};

// Appends the zlib stream of `rows` to `bytes`; the bytes it holds (each
// value or its alternative) are left in scratch.stored.
void deflate_frame(const FrameRows& rows, DeflateScratch& scratch,
                   std::vector<unsigned char>& bytes);

}  // namespace quenlixor
