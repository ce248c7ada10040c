// Flashes in an animation, judged as WCAG 2.x defines general and red
// flashes; and the guard on the pace that follows from it. julia-frames
// checks every animation it writes with it, and the program, its screen
// savers and the page hold frames by it wherever they are paced, as
// julia-frames holds its GIF's: no 341 x 256 part of what they show flashes
// more than three times in a second.
//
// A field is a 341 x 256 part of the output as shown (every picture pixel
// an N x N block at block N), or the whole output where that is smaller (a
// picture at block 1, or shrunk). In a field, from one frame to the next,
// the pixels that grow brighter are one area and those that grow darker
// another; an area larger than a quarter of the field moves by its mean
// change of relative luminance. Pixels whose darker colour has a relative
// luminance of 0.8 or more take no part. Moves in one direction add up,
// however many frames they take, and the field changes when they reach 0.1
// away from its last turn: a slow fade is one change. Red is judged the
// same way on (R-G-B) x 320 of the linear values, clipped at 0, among the
// pixels whose earlier or later colour is saturated red (R/(R+G+B) of 0.8
// or more); a red change is one of more than 20. A flash is two opposing
// changes, so more than three flashes in a second are seven changes of one
// kind in one field within a second.
//
// The work is in three parts. frame_changes compares one frame with the
// one before, on any thread. watch_changes takes those comparisons in
// frame order and follows every field: which frames change it does not
// depend on when they are shown. A FlashTimeline then gives the frames
// their times on one output's clock: unguarded, at its pace, finding the
// first second that holds a seventh change; guarded, holding a frame on
// the screen for longer wherever the next would bring one, just long enough
// that it comes a second and a frame after the sixth change before it.
#pragma once

#include <cstdint>
#include <limits>
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

// Four lanes, one for each kind of change: brighter, darker, redder and
// less red (GCC's and Clang's vectors: SSE2, NEON or WebAssembly SIMD as
// the build targets, plain words elsewhere).
using KindLanes = std::int32_t __attribute__((vector_size(16)));

// The same sums, the four kinds side by side.
struct KindSums {
    KindLanes pixels = {};
    KindLanes change = {};
};

// The pictures' colours and how they are shown: what both parts read.
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
    std::vector<KindSums> kind_pair_sums;
    // The same times the weights of a picture row in a field: the block (a
    // whole row), the part of a block inside (its last row), the rest of
    // the block, minus the block (a row gone).
    std::vector<KindSums> row_pair_sums[4];

    int width = 0;  // the picture, in pixels
    int height = 0;
    int scale = 1;        // every picture pixel a scale x scale block; 0: shrunk
    int shown_width = 0;  // the output, in its pixels
    int shown_height = 0;
    int field_width = 0;  // in output pixels
    int field_height = 0;
    // Fields start on picture pixels: `columns` x `rows` of them. Where the
    // field is the whole output, one.
    int columns = 1;
    int rows = 1;
    // Where the field is the whole output: whether each picture column and
    // row shows (all do but where the picture is shrunk), and what a pixel
    // shown adds: each pair's sums times the output pixels it covers.
    std::vector<std::uint8_t> columns_shown;
    std::vector<std::uint8_t> rows_shown;
    std::vector<KindSums> shown_pair_sums;
};

// The setup for pictures of `width` x `height` pixels shown at `scale`
// (every pixel an N x N block, N of 1 or more), whose pixels take the
// `count` colours (1 to flash_colours_max, all different) of `colours`.
void prepare_flash_setup(FlashSetup& setup, const std::uint32_t* colours, int count, int width,
                         int height, int scale);

// The same for pictures shown shrunk to `shown_width` x `shown_height`
// (1 to the picture's size each way), as present_shrunk shows them: output
// pixel (i, j) is picture pixel (i * width / shown_width, j * height /
// shown_height). The output is judged whole (it is smaller than a field).
void prepare_shrunk_flash_setup(FlashSetup& setup, const std::uint32_t* colours, int count,
                                int width, int height, int shown_width, int shown_height);

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
    // Down the field row's picture rows: each column's sums, and each
    // group of columns' pixels.
    std::vector<KindSums> column_sums;
    std::vector<KindLanes> group_pixels;
};

// On any thread: the fields of `picture` that moved since `previous`
// (width x height words each, rows adjacent) into `changes`, in field
// order. False, with `changes` empty, when a pixel has a colour outside
// the setup's.
bool frame_changes(const FlashSetup& setup, const std::uint32_t* picture,
                   const std::uint32_t* previous, FlashScratch& scratch,
                   std::vector<FieldChange>& changes);

// --- following the fields -----------------------------------------------

// A flash is two opposing changes: more than three in a second are this
// many changes.
inline constexpr int changes_too_many = 7;

// One kind of change in one field: where it stands and its last changes.
struct ChangeTrack {
    std::int64_t level = 0;  // the moves added up
    std::int64_t high = 0;   // the highest and lowest level since the last change
    std::int64_t low = 0;
    int direction = 0;  // of the last change: 1 up, -1 down, 0 none yet
    int recent_count = 0;
    // The frames of the last changes, oldest first.
    std::int64_t recent[changes_too_many - 1] = {};
};

// A change of one kind in one field at a frame, and the sixth change of
// that kind in that field before it (the frame it happened at, or -1 where
// there is none yet): the seventh within a second would be a flash too many.
struct FlashChange {
    std::int32_t field = 0;
    bool red = false;
    std::int64_t sixth_before = -1;
};

struct FlashWatch {
    const FlashSetup* setup = nullptr;
    std::vector<ChangeTrack> luminance;  // per field
    std::vector<ChangeTrack> red;
    // The changes the frame last watched made.
    std::vector<FlashChange> changed;
};

// Starts following the fields of `setup`.
void start_flash_watch(FlashWatch& watch, const FlashSetup& setup);

// Follows the fields of `setup` instead of those of the watch's setup, as
// it is when the picture comes to be shown at another size: each field
// goes on from the one at its place before (the one whose centre was
// nearest, in the picture), so that what the fields saw changing before
// still counts.
void move_flash_watch(FlashWatch& watch, const FlashSetup& setup);

// Frame `index` (from 0, one after another) and what moved in it since
// the frame before: into watch.changed, the changes it makes.
void watch_changes(FlashWatch& watch, std::int64_t index, const std::vector<FieldChange>& changes);

// --- timing the frames ----------------------------------------------------

// The pace an output is shown at: each frame for `frame_ticks` of
// `ticks_per_second` (a GIF's delay in hundredths, 1/60 for raw frames, a
// frame's microseconds for the program).
struct FlashPace {
    std::int32_t frame_ticks = 1;
    std::int32_t ticks_per_second = 60;
};

// The first second found with more than three flashes.
struct FlashFinding {
    bool found = false;
    bool red = false;
    std::int64_t first = 0;       // the frame whose change opens the second
    std::int64_t first_tick = 0;  // when it showed
    std::int64_t changes = 0;     // changes of that kind in that field in that second
    std::int32_t field = 0;
};

// When an output's frames show, on its clock.
struct FlashTimeline {
    FlashPace pace;
    bool guarded = false;
    // The ticks of the last frames placed, frame i's at i % size: as many
    // as a second and a frame can hold at the pace and twice over.
    std::vector<std::int64_t> ticks;
    std::int64_t placed = 0;  // frames placed so far
    FlashFinding finding;     // unguarded
};

// No tick: before every other.
inline constexpr std::int64_t no_tick = std::numeric_limits<std::int64_t>::min();

// Starts the timeline of an output shown at `pace`, guarded or not.
void start_flash_timeline(FlashTimeline& timeline, FlashPace pace, bool guarded);

// Guarded: the tick before which the frame last watched may not show, for
// the changes it makes: a second and one frame after the sixth change
// before each of them, or no_tick. (A screen or a recording that shows a
// frame one refresh early or late still sees no seventh change within the
// second.)
std::int64_t flash_hold_until(const FlashTimeline& timeline, const FlashWatch& watch);

// The tick the frame last watched, frame `index` (the next to place), shows
// at on the timeline's own clock: frame_ticks after the frame before (0 for
// the first), and guarded no earlier than flash_hold_until.
std::int64_t flash_next_tick(const FlashTimeline& timeline, const FlashWatch& watch,
                             std::int64_t index);

// Frame `index`, the frame last watched, shows at `tick` (no earlier than
// the frame before): remembered for the frames after it. Unguarded, the
// first seventh change of one kind in one field less than a second after
// the first is found, and the changes of that field and kind in that second
// are counted.
void flash_place_frame(FlashTimeline& timeline, const FlashWatch& watch, std::int64_t index,
                       std::int64_t tick);

}  // namespace quenlixor
