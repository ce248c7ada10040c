// Flashes in an animation, judged as WCAG 2.x defines general and red
// flashes: what julia-frames checks in every animation it writes.
//
// A field is a 341 x 256 part of the output as shown (every picture pixel
// an N x N block at scale N), or the whole output where that is smaller. In
// a field, from one frame to the next, the pixels that grow brighter are
// one area and those that grow darker another; an area larger than a
// quarter of the field moves by its mean change of relative luminance.
// Pixels whose darker colour has a relative luminance of 0.8 or more take
// no part. Moves in one direction add up, however many frames they take,
// and the field changes when they reach 0.1 away from its last turn: a
// slow fade is one change. Red is judged the same way on (R-G-B) x 320 of
// the linear values, clipped at 0, among the pixels whose earlier or later
// colour is saturated red (R/(R+G+B) of 0.8 or more); a red change is one
// of more than 20. A flash is two opposing changes, so more than three
// flashes in a second are seven changes of one kind in one field within a
// second.
//
// The work is in two parts: frame_changes compares one frame with the one
// before, on any thread; watch_changes takes those comparisons in frame
// order and follows every field.
#pragma once

#include <cstdint>
#include <vector>

namespace quenlixor {

inline constexpr int flash_colours_max = 32;
inline constexpr std::uint32_t colour_slots = 256;
inline constexpr int field_width_shown = 341;
inline constexpr int field_height_shown = 256;

// One comparison's sums: pixels and their changes (in 1/8192 of relative
// luminance, in 1/16 of redness), brighter, darker, redder and less red.
// Counts and changes are of output pixels.
struct ChangeSums {
    std::int32_t brighter = 0;
    std::int32_t brightening = 0;
    std::int32_t darker = 0;
    std::int32_t darkening = 0;
    std::int32_t redder = 0;
    std::int32_t reddening = 0;
    std::int32_t less_red = 0;
    std::int32_t unreddening = 0;
};

// The same sums, each kind's pixels and change in one word: for one field.
struct PackedSums {
    std::uint64_t kinds[4] = {};  // brighter, darker, redder, less red
};

// The pictures' colours and the fields: what both parts read.
struct FlashSetup {
    int colour_count = 0;
    std::uint32_t colours[flash_colours_max] = {};  // 0x00RRGGBB; bits 24-31 of a pixel carry none
    // Each colour's index + 1 in the slot its hash names or the next free
    // one after; 0 in the free slots.
    std::uint8_t colour_of_slot[colour_slots] = {};
    std::int32_t luminance[flash_colours_max] = {};  // relative luminance x 8192
    std::int32_t redness[flash_colours_max] = {};    // (R-G-B) x 320 x 16, at least 0
    bool saturated_red[flash_colours_max] = {};
    // What one pixel changing from colour a to colour b adds: entry a * count + b.
    std::vector<ChangeSums> pair_sums;
    std::vector<PackedSums> packed_pair_sums;

    int width = 0;  // the picture, in pixels
    int height = 0;
    int scale = 1;
    int field_width = 0;  // in output pixels
    int field_height = 0;
    // Fields start on picture pixels: `columns` x `rows` of them.
    int columns = 1;
    int rows = 1;
};

// The setup for pictures of `width` x `height` pixels shown at `scale`
// (every pixel an N x N block), whose pixels take the `count` colours
// (1 to flash_colours_max, all different) of `colours`.
void prepare_flash_setup(FlashSetup& setup, const std::uint32_t* colours, int count, int width,
                         int height, int scale);

// What moved in one field from one frame to the next: the mean change of
// each area that is larger than a quarter of it, 0 for the others.
struct FieldChange {
    std::int32_t field = 0;        // row * columns + column
    std::int32_t brightening = 0;  // in 1/8192 of relative luminance
    std::int32_t darkening = 0;
    std::int32_t reddening = 0;  // in 1/16 of redness
    std::int32_t unreddening = 0;
};

// A pixel that changed: its column and its pair of colours (a * count + b).
struct ChangedPixel {
    std::uint16_t column = 0;
    std::uint16_t pair = 0;
};

// Working space of frame_changes, one per thread.
struct FlashScratch {
    std::vector<ChangedPixel> changed;     // row by row
    std::vector<std::uint32_t> row_start;  // each row's first in `changed`
    std::vector<ChangeSums> column_sums;   // down the field row's picture rows
    ChangeSums strip_sums;                 // all of those columns
};

// On any thread: the fields of `picture` that moved since `previous`
// (width x height words each, rows adjacent) into `changes`, in field
// order. False, with `changes` empty, when a pixel has a colour outside
// the setup's.
bool frame_changes(const FlashSetup& setup, const std::uint32_t* picture,
                   const std::uint32_t* previous, FlashScratch& scratch,
                   std::vector<FieldChange>& changes);

// The pace an output is shown at: each frame for `frame_ticks` of
// `ticks_per_second` (a GIF's delay in hundredths, 1/60 for raw frames).
struct FlashPace {
    std::int32_t frame_ticks = 1;
    std::int32_t ticks_per_second = 60;
};

// One kind of change in one field: where it stands and its last changes.
struct ChangeTrack {
    std::int64_t level = 0;  // the moves added up
    std::int64_t high = 0;   // the highest and lowest level since the last change
    std::int64_t low = 0;
    int direction = 0;  // of the last change: 1 up, -1 down, 0 none yet
    int recent_count = 0;
    std::int64_t recent[6] = {};  // the frames of the last changes, oldest first
};

// The first second found with more than three flashes at a pace.
struct FlashFinding {
    bool found = false;
    bool red = false;
    std::int64_t first = 0;    // the frame (from 0) whose change opens the second
    std::int64_t changes = 0;  // changes of that kind in that field in that second
    std::int32_t field = 0;
};

struct FlashWatch {
    const FlashSetup* setup = nullptr;
    int pace_count = 0;
    FlashPace paces[2];
    FlashFinding findings[2];
    std::vector<ChangeTrack> luminance;  // per field
    std::vector<ChangeTrack> red;
};

// Starts following the fields of `setup` for outputs shown at `paces`
// (one or two).
void start_flash_watch(FlashWatch& watch, const FlashSetup& setup, const FlashPace* paces,
                       int pace_count);

// Frame `index` (from 0, one after another) and what moved in it.
void watch_changes(FlashWatch& watch, std::int64_t index, const std::vector<FieldChange>& changes);

// The time frame `index` appears at a pace, in seconds.
double frame_seconds(const FlashPace& pace, std::int64_t index);

}  // namespace quenlixor
