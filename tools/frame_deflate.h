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

// How hard deflate_frame_thoroughly looks: the nodes of a match tree it
// visits for each byte, and its rounds of costs.
struct ThoroughEffort {
    int tree_nodes;
    int rounds;
};

// The most it is worth: at 128 nodes the cycle's first frame was 1.5 %
// larger, beyond 512 it was the same; after three rounds a round saved less
// than 0.1 %. About 35 ms for a whole frame here.
inline constexpr ThoroughEffort thorough_effort{512, 3};
// Much of that in less than half the time: frames of 240 from frame 2500,
// 3.5 % larger than thorough_effort's, 3.6 % smaller than deflate_frame's.
inline constexpr ThoroughEffort lighter_effort{32, 1};

// The same, smaller and many times slower: the bytes stored as
// deflate_frame stores them, then the matches a binary-tree match finder
// finds for them anywhere in the window, and the cheapest way through those
// matches at what the codes of the way before cost, over `effort.rounds`
// rounds (the shortest stream kept, deflate_frame's if none is shorter).
// For the first frame, which is stored whole once, and the frames of a run
// of a few seconds.
void deflate_frame_thoroughly(const FrameRows& rows, const ThoroughEffort& effort,
                              DeflateScratch& scratch, std::vector<unsigned char>& bytes);

}  // namespace quenlixor
