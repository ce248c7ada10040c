// Flashes in an animation (flash_check.h).
//
// The pictures have few colours, so everything a pixel can add to a
// field's sums is known for every pair of colours before the first frame.
// A field's sums come from those of its columns, which slide down the
// picture a row at a time, and the field slides along them a column at a
// time: each picture pixel is added and taken away once per field row.
// Fields start on picture pixels; at a scale that does not divide 341 or
// 256 their last column or row of picture pixels is partly inside, and
// counts by the output pixels inside.
#include "tools/flash_check.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace quenlixor {
namespace {

constexpr std::int32_t luminance_unit = 8192;  // 1.0 of relative luminance
constexpr std::int32_t redness_unit = 16;      // 1 of (R-G-B) x 320
// A change: 0.1 of relative luminance or more; more than 20 of redness.
constexpr std::int64_t luminance_change = 820;  // 0.1 x 8192 = 819.2, so 820 or more
constexpr std::int64_t redness_change = 20 * redness_unit + 1;
// A flash is two changes: more than three in a second are seven or more.
constexpr int changes_too_many = 7;
// A kind's pixels and change packed in one word (PackedSums): pixels below
// 2^20 (a field has at most 341 x 256), and their change above.
constexpr int packed_change_shift = 20;
constexpr std::uint64_t packed_pixels_mask = (std::uint64_t{1} << packed_change_shift) - 1;

// sRGB byte to linear light, as the relative luminance defines it.
double linear(int byte) {
    const double value = byte / 255.0;
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

// Where a colour's index is first looked for in FlashSetup::colour_of_slot.
std::uint32_t colour_slot(std::uint32_t colour) {
    return (colour * 2654435761U) >> 24;
}

void add_weighted(ChangeSums& to, const ChangeSums& from, std::int32_t weight) {
    to.brighter += weight * from.brighter;
    to.brightening += weight * from.brightening;
    to.darker += weight * from.darker;
    to.darkening += weight * from.darkening;
    to.redder += weight * from.redder;
    to.reddening += weight * from.reddening;
    to.less_red += weight * from.less_red;
    to.unreddening += weight * from.unreddening;
}

// The colour index of a pixel; `known` becomes false for a colour outside
// the setup's.
int colour_index(const FlashSetup& setup, std::uint32_t word, bool& known) {
    const std::uint32_t colour = word & 0x00FFFFFFU;
    for (std::uint32_t slot = colour_slot(colour);; slot = (slot + 1) % colour_slots) {
        const int entry = setup.colour_of_slot[slot];
        if (entry == 0) {
            known = false;
            return 0;
        }
        if (setup.colours[entry - 1] == colour) {
            return entry - 1;
        }
    }
}

// Whether `count` pixels are the same words as before (a loop the
// compiler turns into vector operations).
template <int count>
bool same_words(const std::uint32_t* now, const std::uint32_t* before) {
    std::uint32_t differ = 0;
    for (int pixel = 0; pixel < count; ++pixel) {
        differ |= now[pixel] ^ before[pixel];
    }
    return differ == 0;
}

// Four pixels' words, or lanes of 0 and -1, as GCC's and Clang's vectors
// (SSE2, NEON or WebAssembly SIMD as the build targets).
using FourLanes = std::int32_t __attribute__((vector_size(16)));

// Bit k set where pixel k of eight changed its word. (No vector is passed
// to or from a function: 32-bit x86 without SSE would pass it otherwise.)
unsigned changed_of_eight(const std::uint32_t* now, const std::uint32_t* before) {
    FourLanes now_low;
    FourLanes now_high;
    FourLanes before_low;
    FourLanes before_high;
    std::memcpy(&now_low, now, sizeof now_low);
    std::memcpy(&now_high, now + 4, sizeof now_high);
    std::memcpy(&before_low, before, sizeof before_low);
    std::memcpy(&before_high, before + 4, sizeof before_high);
    const FourLanes bits = ((now_low != before_low) & FourLanes{1, 2, 4, 8}) |
                           ((now_high != before_high) & FourLanes{16, 32, 64, 128});
    return static_cast<unsigned>(bits[0] | bits[1] | bits[2] | bits[3]);
}

// Calls take(column, pair) for every pixel whose word changed, row by row
// (row_done(row) after each), with its pair of colours (a * count + b):
// 32 pixels at a time are skipped where none did. False
// when a colour is not the setup's.
template <typename Take, typename RowDone>
bool for_changed_pixels(const FlashSetup& setup, const std::uint32_t* picture,
                        const std::uint32_t* previous, Take take, RowDone row_done) {
    const int width = setup.width;
    bool known = true;
    for (int row = 0; row < setup.height; ++row) {
        const std::uint32_t* now = picture + static_cast<std::ptrdiff_t>(row) * width;
        const std::uint32_t* before = previous + static_cast<std::ptrdiff_t>(row) * width;
        for (int at = 0; at < width; at += 32) {
            // The pixels that changed as bits, taken lowest first.
            std::uint32_t changed = 0;
            if (at + 32 <= width) {
                if (same_words<32>(now + at, before + at)) {
                    continue;
                }
                for (int eight = 0; eight < 32; eight += 8) {
                    changed |= changed_of_eight(now + at + eight, before + at + eight) << eight;
                }
            } else {
                for (int column = at; column < width; ++column) {
                    changed |= (now[column] != before[column] ? 1U : 0U) << (column - at);
                }
            }
            for (; changed != 0; changed &= changed - 1) {
                const int column = at + std::countr_zero(changed);
                const int from = colour_index(setup, before[column], known);
                const int to = colour_index(setup, now[column], known);
                take(column, from * setup.colour_count + to);
            }
        }
        row_done(row);
    }
    return known;
}

// The changed pixels into scratch.changed (row r's from
// scratch.row_start[r]). False when a colour is not the setup's.
bool find_changed_pixels(const FlashSetup& setup, const std::uint32_t* picture,
                         const std::uint32_t* previous, FlashScratch& scratch) {
    scratch.changed.clear();
    scratch.row_start.assign(static_cast<std::size_t>(setup.height) + 1, 0);
    return for_changed_pixels(
        setup, picture, previous,
        [&scratch](int column, int pair) {
            scratch.changed.push_back(
                {static_cast<std::uint16_t>(column), static_cast<std::uint16_t>(pair)});
        },
        [&scratch](int row) {
            scratch.row_start[static_cast<std::size_t>(row) + 1] =
                static_cast<std::uint32_t>(scratch.changed.size());
        });
}

// The sums of the changed pixels of the whole picture. False when a colour
// is not the setup's.
bool whole_picture_sums(const FlashSetup& setup, const std::uint32_t* picture,
                        const std::uint32_t* previous, ChangeSums& sums) {
    // Each kind's pixels and change in one word.
    std::uint64_t packed[4] = {};
    const bool known = for_changed_pixels(
        setup, picture, previous,
        [&setup, &packed](int, int pair) {
            const PackedSums& sums_of_pair = setup.packed_pair_sums[static_cast<std::size_t>(pair)];
            packed[0] += sums_of_pair.kinds[0];
            packed[1] += sums_of_pair.kinds[1];
            packed[2] += sums_of_pair.kinds[2];
            packed[3] += sums_of_pair.kinds[3];
        },
        [](int) {});
    const auto pixels = [&packed](int kind) {
        return static_cast<std::int32_t>(packed[kind] & packed_pixels_mask);
    };
    const auto change = [&packed](int kind) {
        return static_cast<std::int32_t>(packed[kind] >> packed_change_shift);
    };
    sums.brighter = pixels(0);
    sums.brightening = change(0);
    sums.darker = pixels(1);
    sums.darkening = change(1);
    sums.redder = pixels(2);
    sums.reddening = change(2);
    sums.less_red = pixels(3);
    sums.unreddening = change(3);
    return known;
}

// The field's change from its sums, if an area is larger than a quarter of
// its `area` (in the sums' pixels); false when none is.
bool judge_field(const ChangeSums& sums, std::int64_t area, std::int32_t field,
                 FieldChange& change) {
    const auto mean = [area](std::int32_t pixels, std::int32_t total) {
        return pixels > 0 && 4 * static_cast<std::int64_t>(pixels) > area ? total / pixels : 0;
    };
    change.field = field;
    change.brightening = mean(sums.brighter, sums.brightening);
    change.darkening = mean(sums.darker, sums.darkening);
    change.reddening = mean(sums.redder, sums.reddening);
    change.unreddening = mean(sums.less_red, sums.unreddening);
    return change.brightening != 0 || change.darkening != 0 || change.reddening != 0 ||
           change.unreddening != 0;
}

// The changed pixels of row `row`, times `weight`, into the column sums
// and their total.
void add_row(const FlashSetup& setup, FlashScratch& scratch, int row, std::int32_t weight) {
    const std::uint32_t end = scratch.row_start[static_cast<std::size_t>(row) + 1];
    for (std::uint32_t at = scratch.row_start[static_cast<std::size_t>(row)]; at < end; ++at) {
        const ChangedPixel pixel = scratch.changed[at];
        const ChangeSums& sums = setup.pair_sums[pixel.pair];
        add_weighted(scratch.column_sums[pixel.column], sums, weight);
        add_weighted(scratch.strip_sums, sums, weight);
    }
}

// Whether no field of the strip the column sums cover can have an area of
// more than a quarter: not even all of the strip's pixels that moved.
bool strip_is_still(const FlashSetup& setup, const FlashScratch& scratch) {
    const std::int64_t most = 4 * static_cast<std::int64_t>(setup.scale);
    const std::int64_t area = static_cast<std::int64_t>(setup.field_width) *
                              static_cast<std::int64_t>(setup.field_height);
    const ChangeSums& strip = scratch.strip_sums;
    return most * strip.brighter <= area && most * strip.darker <= area &&
           most * strip.redder <= area && most * strip.less_red <= area;
}

// The fields of one field row from the column sums: each is its full
// columns times the scale and its partial column by the pixels inside.
void judge_field_row(const FlashSetup& setup, const FlashScratch& scratch, int field_row,
                     std::vector<FieldChange>& changes) {
    const int scale = setup.scale;
    const int full = setup.field_width / scale;
    const int part = setup.field_width % scale;
    const std::int64_t area = static_cast<std::int64_t>(setup.field_width) *
                              static_cast<std::int64_t>(setup.field_height);
    const std::vector<ChangeSums>& columns = scratch.column_sums;
    if (strip_is_still(setup, scratch)) {
        return;
    }
    ChangeSums sums;
    for (int column = 0; column < full; ++column) {
        add_weighted(sums, columns[static_cast<std::size_t>(column)], scale);
    }
    if (part != 0) {
        add_weighted(sums, columns[static_cast<std::size_t>(full)], part);
    }
    for (int start = 0;; ++start) {
        FieldChange change;
        if (judge_field(sums, area, field_row * setup.columns + start, change)) {
            changes.push_back(change);
        }
        if (start + 1 == setup.columns) {
            break;
        }
        add_weighted(sums, columns[static_cast<std::size_t>(start)], -scale);
        add_weighted(sums, columns[static_cast<std::size_t>(start + full)], scale - part);
        if (part != 0) {
            add_weighted(sums, columns[static_cast<std::size_t>(start + full + 1)], part);
        }
    }
}

}  // namespace

void prepare_flash_setup(FlashSetup& setup, const std::uint32_t* colours, int count, int width,
                         int height, int scale) {
    setup = FlashSetup{};
    setup.colour_count = count;
    for (int index = 0; index < count; ++index) {
        const std::uint32_t word = colours[index] & 0x00FFFFFFU;
        setup.colours[index] = word;
        std::uint32_t slot = colour_slot(word);
        while (setup.colour_of_slot[slot] != 0) {
            slot = (slot + 1) % colour_slots;
        }
        setup.colour_of_slot[slot] = static_cast<std::uint8_t>(index + 1);
        const double red = linear(static_cast<int>(word >> 16));
        const double green = linear(static_cast<int>((word >> 8) & 0xFF));
        const double blue = linear(static_cast<int>(word & 0xFF));
        setup.luminance[index] = static_cast<std::int32_t>(
            std::lround((0.2126 * red + 0.7152 * green + 0.0722 * blue) * luminance_unit));
        setup.redness[index] = static_cast<std::int32_t>(
            std::lround(std::max(0.0, (red - green - blue) * 320.0) * redness_unit));
        const double total = red + green + blue;
        setup.saturated_red[index] = total > 0 && red >= 0.8 * total;
    }
    setup.pair_sums.assign(static_cast<std::size_t>(count * count), ChangeSums{});
    for (int from = 0; from < count; ++from) {
        for (int to = 0; to < count; ++to) {
            ChangeSums& sums = setup.pair_sums[static_cast<std::size_t>(from * count + to)];
            const std::int32_t change = setup.luminance[to] - setup.luminance[from];
            // The darker colour must be below 0.8.
            const bool dark_enough =
                5 * std::min(setup.luminance[from], setup.luminance[to]) < 4 * luminance_unit;
            if (dark_enough && change > 0) {
                sums.brighter = 1;
                sums.brightening = change;
            } else if (dark_enough && change < 0) {
                sums.darker = 1;
                sums.darkening = -change;
            }
            const std::int32_t reddening = setup.redness[to] - setup.redness[from];
            if (setup.saturated_red[from] || setup.saturated_red[to]) {
                if (reddening > 0) {
                    sums.redder = 1;
                    sums.reddening = reddening;
                } else if (reddening < 0) {
                    sums.less_red = 1;
                    sums.unreddening = -reddening;
                }
            }
        }
    }

    setup.packed_pair_sums.resize(setup.pair_sums.size());
    for (std::size_t pair = 0; pair < setup.pair_sums.size(); ++pair) {
        const ChangeSums& sums = setup.pair_sums[pair];
        const auto pack = [](std::int32_t pixels, std::int32_t change) {
            return (static_cast<std::uint64_t>(change) << packed_change_shift) |
                   static_cast<std::uint64_t>(pixels);
        };
        setup.packed_pair_sums[pair] = {
            {pack(sums.brighter, sums.brightening), pack(sums.darker, sums.darkening),
             pack(sums.redder, sums.reddening), pack(sums.less_red, sums.unreddening)}};
    }

    setup.width = width;
    setup.height = height;
    setup.scale = scale;
    setup.field_width = std::min(field_width_shown, width * scale);
    setup.field_height = std::min(field_height_shown, height * scale);
    setup.columns = (width * scale - setup.field_width) / scale + 1;
    setup.rows = (height * scale - setup.field_height) / scale + 1;
}

bool frame_changes(const FlashSetup& setup, const std::uint32_t* picture,
                   const std::uint32_t* previous, FlashScratch& scratch,
                   std::vector<FieldChange>& changes) {
    changes.clear();
    const int scale = setup.scale;
    if (setup.field_width == setup.width * scale && setup.field_height == setup.height * scale) {
        // One field, the whole output: its sums in picture pixels.
        ChangeSums sums;
        if (!whole_picture_sums(setup, picture, previous, sums)) {
            return false;
        }
        FieldChange change;
        if (judge_field(sums, static_cast<std::int64_t>(setup.width) * setup.height, 0, change)) {
            changes.push_back(change);
        }
        return true;
    }
    if (!find_changed_pixels(setup, picture, previous, scratch)) {
        return false;
    }
    if (scratch.changed.empty()) {
        return true;
    }
    // The columns of the first field row, then each row after.
    const int full = setup.field_height / scale;
    const int part = setup.field_height % scale;
    scratch.column_sums.assign(static_cast<std::size_t>(setup.width), ChangeSums{});
    scratch.strip_sums = ChangeSums{};
    for (int row = 0; row < full; ++row) {
        add_row(setup, scratch, row, scale);
    }
    if (part != 0) {
        add_row(setup, scratch, full, part);
    }
    for (int start = 0;; ++start) {
        judge_field_row(setup, scratch, start, changes);
        if (start + 1 == setup.rows) {
            break;
        }
        add_row(setup, scratch, start, -scale);
        add_row(setup, scratch, start + full, scale - part);
        if (part != 0) {
            add_row(setup, scratch, start + full + 1, part);
        }
    }
    return true;
}

namespace {

// A change of one kind in one field at frame `index`: counted in a second
// found before, and a second found if it is the seventh within one.
void count_change(FlashWatch& watch, ChangeTrack& track, bool red, std::int32_t field,
                  std::int64_t index) {
    for (int pace = 0; pace < watch.pace_count; ++pace) {
        FlashFinding& finding = watch.findings[pace];
        const FlashPace& shown = watch.paces[pace];
        if (finding.found) {
            if (finding.field == field && finding.red == red &&
                (index - finding.first) * shown.frame_ticks < shown.ticks_per_second) {
                ++finding.changes;
            }
        } else if (track.recent_count == changes_too_many - 1 &&
                   (index - track.recent[0]) * shown.frame_ticks < shown.ticks_per_second) {
            finding.found = true;
            finding.red = red;
            finding.first = track.recent[0];
            finding.changes = changes_too_many;
            finding.field = field;
        }
    }
    if (track.recent_count == changes_too_many - 1) {
        std::copy(track.recent + 1, track.recent + track.recent_count, track.recent);
        --track.recent_count;
    }
    track.recent[track.recent_count++] = index;
}

// A move of `delta` (up or down); a change where the level has come
// `threshold` or more from its last turn.
void move_track(FlashWatch& watch, ChangeTrack& track, bool red, std::int32_t field,
                std::int64_t index, std::int64_t delta, std::int64_t threshold) {
    if (delta == 0) {
        return;
    }
    track.level += delta;
    track.high = std::max(track.high, track.level);
    track.low = std::min(track.low, track.level);
    const bool up = track.direction != 1 && track.level - track.low >= threshold;
    const bool down = track.direction != -1 && track.high - track.level >= threshold;
    if (up || down) {
        track.direction = up ? 1 : -1;
        track.high = track.level;
        track.low = track.level;
        count_change(watch, track, red, field, index);
    }
}

// Both areas' moves, the one that goes on in the last change's direction
// first: two areas moving apart at once are a change each way.
void move_both(FlashWatch& watch, ChangeTrack& track, bool red, std::int32_t field,
               std::int64_t index, std::int32_t up, std::int32_t down, std::int64_t threshold) {
    if (track.direction >= 0) {
        move_track(watch, track, red, field, index, up, threshold);
        move_track(watch, track, red, field, index, -static_cast<std::int64_t>(down), threshold);
    } else {
        move_track(watch, track, red, field, index, -static_cast<std::int64_t>(down), threshold);
        move_track(watch, track, red, field, index, up, threshold);
    }
}

}  // namespace

void start_flash_watch(FlashWatch& watch, const FlashSetup& setup, const FlashPace* paces,
                       int pace_count) {
    watch = FlashWatch{};
    watch.setup = &setup;
    watch.pace_count = pace_count;
    for (int pace = 0; pace < pace_count; ++pace) {
        watch.paces[pace] = paces[pace];
    }
    const auto fields =
        static_cast<std::size_t>(setup.columns) * static_cast<std::size_t>(setup.rows);
    watch.luminance.assign(fields, ChangeTrack{});
    watch.red.assign(fields, ChangeTrack{});
}

void watch_changes(FlashWatch& watch, std::int64_t index, const std::vector<FieldChange>& changes) {
    for (const FieldChange& change : changes) {
        const auto field = static_cast<std::size_t>(change.field);
        move_both(watch, watch.luminance[field], false, change.field, index, change.brightening,
                  change.darkening, luminance_change);
        move_both(watch, watch.red[field], true, change.field, index, change.reddening,
                  change.unreddening, redness_change);
    }
}

double frame_seconds(const FlashPace& pace, std::int64_t index) {
    return static_cast<double>(index) * pace.frame_ticks / pace.ticks_per_second;
}

}  // namespace quenlixor
