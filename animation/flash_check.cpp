// Flashes in an animation, and the guard on the pace (flash_check.h).
//
// The pictures have few colours, so everything a pixel can add to a
// field's sums is known for every pair of colours before the first frame,
// the four kinds side by side (KindSums). A field's sums come from those
// of its columns, which slide down the picture a row at a time, and the
// field slides along them a column at a time. Most fields see too little
// change to move: a field row is first judged by groups of eight columns,
// whose sums bound those of every field starting in the group, and only the
// groups whose bound passes a quarter of a field are judged field by field.
// Fields start on picture pixels; at a block that does not divide 341 or
// 256 their last column or row of picture pixels is partly inside, and
// counts by the output pixels inside.
#include "animation/flash_check.h"

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

// sRGB byte to linear light, as the relative luminance defines it.
double linear(int byte) {
    const double value = byte / 255.0;
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

// Where a colour's index is first looked for in FlashSetup::colour_of_slot.
std::uint32_t colour_slot(std::uint32_t colour) {
    return (colour * 2654435761U) >> 24;
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

// Calls take(row, column, pair) for every pixel whose word changed, row by
// row (row_done(row) after each), with its pair of colours (a * count + b):
// 32 pixels at a time are skipped where none did. False when a colour is
// not the setup's.
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
                take(row, column, from * setup.colour_count + to);
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
        [&scratch](int, int column, int pair) {
            scratch.changed.push_back(
                {static_cast<std::uint16_t>(column), static_cast<std::uint16_t>(pair)});
        },
        [&scratch](int row) {
            scratch.row_start[static_cast<std::size_t>(row) + 1] =
                static_cast<std::uint32_t>(scratch.changed.size());
        });
}

// The columns whose pixels bound those of the fields that start among them.
constexpr int group_columns = 8;
// The largest block judged (a field's pixels times the block stay far
// below 2^31).
constexpr int largest_scale = 1024;

// (No vector is passed to or from a function by value: 32-bit x86 without
// SSE would pass it otherwise than with it.)

// Whether any lane is not 0, as two words (one instruction more than a
// vector, where four lanes one by one would be six).
bool any_lane(const KindLanes& lanes) {
    std::uint64_t halves[2];
    std::memcpy(halves, &lanes, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

void add_sums(KindSums& to, const KindSums& from) {
    to.pixels += from.pixels;
    to.change += from.change;
}

void take_sums(KindSums& from, const KindSums& taken) {
    from.pixels -= taken.pixels;
    from.change -= taken.change;
}

// The field's change from its sums, if an area is larger than a quarter of
// its `area` (in output pixels); false when none is.
bool judge_field(const KindSums& sums, std::int32_t area, std::int32_t field, FieldChange& change) {
    const KindLanes field_area = {area, area, area, area};
    const KindLanes larger = sums.pixels * 4 > field_area;
    if (!any_lane(larger)) {
        return false;
    }
    const auto mean = [&sums, &larger](int kind) {
        return larger[kind] != 0 ? sums.change[kind] / sums.pixels[kind] : 0;
    };
    change.field = field;
    change.brightening = mean(0);
    change.darkening = mean(1);
    change.reddening = mean(2);
    change.unreddening = mean(3);
    return change.brightening != 0 || change.darkening != 0 || change.reddening != 0 ||
           change.unreddening != 0;
}

// The sums of the changed pixels of the whole picture, each as many times
// as it is shown. False when a colour is not the setup's.
bool whole_picture_sums(const FlashSetup& setup, const std::uint32_t* picture,
                        const std::uint32_t* previous, KindSums& sums) {
    sums = KindSums{};
    return for_changed_pixels(
        setup, picture, previous,
        [&setup, &sums](int row, int column, int pair) {
            if (setup.rows_shown[static_cast<std::size_t>(row)] != 0 &&
                setup.columns_shown[static_cast<std::size_t>(column)] != 0) {
                add_sums(sums, setup.shown_pair_sums[static_cast<std::size_t>(pair)]);
            }
        },
        [](int) {});
}

// The changed pixels of row `row`, each pair's sums taken from `weighted`
// (their sums times a row's weight), into the column sums and their
// groups' pixels.
void add_row(FlashScratch& scratch, const std::vector<KindSums>& weighted, int row) {
    const std::uint32_t end = scratch.row_start[static_cast<std::size_t>(row) + 1];
    for (std::uint32_t at = scratch.row_start[static_cast<std::size_t>(row)]; at < end; ++at) {
        const ChangedPixel pixel = scratch.changed[at];
        const KindSums& sums = weighted[pixel.pair];
        add_sums(scratch.column_sums[pixel.column], sums);
        scratch.group_pixels[pixel.column / group_columns] += sums.pixels;
    }
}

// The fields of one field row from the column sums. A field's sums are its
// full columns' times the block and its partial column's by the output
// pixels inside, so its pixels are at most the block times those of its
// full and partial columns: no kind passes a quarter of the field where
// those do not pass `least`, a quarter of the field over the block. A
// group's window, the groups that the fields starting in it reach into,
// bounds them all; only in the groups whose window passes are the fields
// summed, sliding along each run of such groups, and judged where their
// bound passes.
void judge_field_row(const FlashSetup& setup, const FlashScratch& scratch, int field_row,
                     std::vector<FieldChange>& changes) {
    const std::int32_t scale = setup.scale;
    const int full = setup.field_width / scale;
    const std::int32_t part = setup.field_width % scale;
    const std::int32_t area = setup.field_width * setup.field_height;
    const std::int32_t bound = area / (4 * scale);
    const KindLanes least = {bound, bound, bound, bound};
    const std::vector<KindSums>& columns = scratch.column_sums;
    const std::vector<KindLanes>& groups = scratch.group_pixels;
    const auto group_count = static_cast<int>(groups.size());
    // A field starting at column x reaches column x + full (partly); from
    // group g, at most group (g * group_columns + group_columns - 1 + full)
    // / group_columns.
    const int reach = (group_columns - 1 + full) / group_columns;
    const int last_group = (setup.columns - 1) / group_columns;
    KindLanes window = {};
    for (int group = 0; group <= std::min(reach, group_count - 1); ++group) {
        window += groups[static_cast<std::size_t>(group)];
    }
    KindSums sums;  // of the full columns of the field at `next`
    int next = -1;  // the field start `sums` is for, -1 for none
    for (int group = 0; group <= last_group; ++group) {
        if (group > 0) {
            window -= groups[static_cast<std::size_t>(group - 1)];
            if (group + reach < group_count) {
                window += groups[static_cast<std::size_t>(group + reach)];
            }
        }
        if (!any_lane(window > least)) {
            continue;
        }
        const int first = group * group_columns;
        const int last = std::min(first + group_columns, setup.columns) - 1;
        if (next != first) {
            sums = KindSums{};
            for (int column = first; column < first + full; ++column) {
                add_sums(sums, columns[static_cast<std::size_t>(column)]);
            }
        }
        for (int start = first; start <= last; ++start) {
            if (start > first) {
                take_sums(sums, columns[static_cast<std::size_t>(start - 1)]);
                add_sums(sums, columns[static_cast<std::size_t>(start + full - 1)]);
            }
            const KindSums& partial =
                columns[static_cast<std::size_t>(start + (part != 0 ? full : 0))];
            const KindLanes pixels = part != 0 ? sums.pixels + partial.pixels : sums.pixels;
            if (!any_lane(pixels > least)) {
                continue;
            }
            KindSums field;
            field.pixels = sums.pixels * scale;
            field.change = sums.change * scale;
            if (part != 0) {
                field.pixels += partial.pixels * part;
                field.change += partial.change * part;
            }
            FieldChange change;
            if (judge_field(field, area, field_row * setup.columns + start, change)) {
                changes.push_back(change);
            }
        }
        // Slid on to the first start of the next group.
        take_sums(sums, columns[static_cast<std::size_t>(last)]);
        if (last + full < setup.width) {
            add_sums(sums, columns[static_cast<std::size_t>(last + full)]);
        }
        next = last + 1;
    }
}

// The shared part of the setups: the colours and what their pairs add up.
void prepare_colours(FlashSetup& setup, const std::uint32_t* colours, int count) {
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
    setup.kind_pair_sums.resize(setup.pair_sums.size());
    for (std::size_t pair = 0; pair < setup.pair_sums.size(); ++pair) {
        const ChangeSums& sums = setup.pair_sums[pair];
        setup.kind_pair_sums[pair].pixels =
            KindLanes{sums.brighter, sums.darker, sums.redder, sums.less_red};
        setup.kind_pair_sums[pair].change =
            KindLanes{sums.brightening, sums.darkening, sums.reddening, sums.unreddening};
    }
}

// The sums of a pair for a picture pixel shown as `pixels` output pixels.
void add_shown_pair_sums(FlashSetup& setup, std::int32_t pixels) {
    setup.shown_pair_sums.resize(setup.kind_pair_sums.size());
    for (std::size_t pair = 0; pair < setup.kind_pair_sums.size(); ++pair) {
        setup.shown_pair_sums[pair].pixels = setup.kind_pair_sums[pair].pixels * pixels;
        setup.shown_pair_sums[pair].change = setup.kind_pair_sums[pair].change * pixels;
    }
}

}  // namespace

void prepare_flash_setup(FlashSetup& setup, const std::uint32_t* colours, int count, int width,
                         int height, int scale) {
    prepare_colours(setup, colours, count);
    scale = std::clamp(scale, 1, largest_scale);
    setup.width = width;
    setup.height = height;
    setup.scale = scale;
    setup.shown_width = width * scale;
    setup.shown_height = height * scale;
    setup.field_width = std::min(field_width_shown, setup.shown_width);
    setup.field_height = std::min(field_height_shown, setup.shown_height);
    setup.columns = (setup.shown_width - setup.field_width) / scale + 1;
    setup.rows = (setup.shown_height - setup.field_height) / scale + 1;
    const int part = setup.field_height % scale;
    const std::int32_t row_weights[4] = {scale, part, scale - part, -scale};
    for (int weight = 0; weight < 4; ++weight) {
        std::vector<KindSums>& sums = setup.row_pair_sums[weight];
        sums.resize(setup.kind_pair_sums.size());
        for (std::size_t pair = 0; pair < sums.size(); ++pair) {
            sums[pair].pixels = setup.kind_pair_sums[pair].pixels * row_weights[weight];
            sums[pair].change = setup.kind_pair_sums[pair].change * row_weights[weight];
        }
    }
    if (setup.columns == 1 && setup.rows == 1 && setup.field_width == setup.shown_width &&
        setup.field_height == setup.shown_height) {
        setup.columns_shown.assign(static_cast<std::size_t>(width), 1);
        setup.rows_shown.assign(static_cast<std::size_t>(height), 1);
        add_shown_pair_sums(setup, scale * scale);
    }
}

void prepare_shrunk_flash_setup(FlashSetup& setup, const std::uint32_t* colours, int count,
                                int width, int height, int shown_width, int shown_height) {
    prepare_colours(setup, colours, count);
    shown_width = std::clamp(shown_width, 1, width);
    shown_height = std::clamp(shown_height, 1, height);
    setup.width = width;
    setup.height = height;
    setup.scale = 0;
    setup.shown_width = shown_width;
    setup.shown_height = shown_height;
    setup.field_width = shown_width;
    setup.field_height = shown_height;
    // No larger than the picture, it shows a picture pixel at most once.
    setup.columns_shown.assign(static_cast<std::size_t>(width), 0);
    setup.rows_shown.assign(static_cast<std::size_t>(height), 0);
    for (std::int64_t at = 0; at < shown_width; ++at) {
        setup.columns_shown[static_cast<std::size_t>(at * width / shown_width)] = 1;
    }
    for (std::int64_t at = 0; at < shown_height; ++at) {
        setup.rows_shown[static_cast<std::size_t>(at * height / shown_height)] = 1;
    }
    add_shown_pair_sums(setup, 1);
}

bool frame_changes(const FlashSetup& setup, const std::uint32_t* picture,
                   const std::uint32_t* previous, FlashScratch& scratch,
                   std::vector<FieldChange>& changes) {
    changes.clear();
    if (!setup.shown_pair_sums.empty()) {
        // One field, the whole output.
        KindSums sums;
        if (!whole_picture_sums(setup, picture, previous, sums)) {
            return false;
        }
        FieldChange change;
        if (judge_field(sums, setup.field_width * setup.field_height, 0, change)) {
            changes.push_back(change);
        }
        return true;
    }
    if (!find_changed_pixels(setup, picture, previous, scratch)) {
        return false;
    }
    const std::int64_t area = static_cast<std::int64_t>(setup.field_width) * setup.field_height;
    if (4 * static_cast<std::int64_t>(setup.scale) * setup.scale *
            static_cast<std::int64_t>(scratch.changed.size()) <=
        area) {
        return true;  // not even all of them would be more than a quarter of a field
    }
    // The columns of the first field row, then each row after: a row comes
    // in partly (the field's last row), then whole, and goes.
    const int full = setup.field_height / setup.scale;
    const int part = setup.field_height % setup.scale;
    scratch.column_sums.assign(static_cast<std::size_t>(setup.width), KindSums{});
    scratch.group_pixels.assign(
        static_cast<std::size_t>((setup.width + group_columns - 1) / group_columns), KindLanes{});
    const std::vector<KindSums>& whole_row = setup.row_pair_sums[0];
    const std::vector<KindSums>& part_row = setup.row_pair_sums[1];
    const std::vector<KindSums>& rest_of_row = setup.row_pair_sums[2];
    const std::vector<KindSums>& row_gone = setup.row_pair_sums[3];
    for (int row = 0; row < full; ++row) {
        add_row(scratch, whole_row, row);
    }
    if (part != 0) {
        add_row(scratch, part_row, full);
    }
    for (int start = 0;; ++start) {
        judge_field_row(setup, scratch, start, changes);
        if (start + 1 == setup.rows) {
            break;
        }
        add_row(scratch, row_gone, start);
        add_row(scratch, part != 0 ? rest_of_row : whole_row, start + full);
        if (part != 0) {
            add_row(scratch, part_row, start + full + 1);
        }
    }
    return true;
}

namespace {

// A change of one kind in one field at frame `index`, noted among the
// frame's changes with the sixth change before it.
void count_change(FlashWatch& watch, ChangeTrack& track, bool red, std::int32_t field,
                  std::int64_t index) {
    constexpr int kept = changes_too_many - 1;
    watch.changed.push_back({field, red, track.recent_count == kept ? track.recent[0] : -1});
    if (track.recent_count == kept) {
        std::copy(track.recent + 1, track.recent + kept, track.recent);
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

// Where a field's centre is in the picture, in picture pixels.
double field_centre(const FlashSetup& setup, int start, int field_length, int picture_length) {
    if (setup.scale == 0 || !setup.shown_pair_sums.empty()) {
        return picture_length / 2.0;
    }
    return start + field_length / (2.0 * setup.scale);
}

// The start of the field of `setup` whose centre is nearest to `centre`,
// along one axis.
int nearest_start(const FlashSetup& setup, double centre, int field_length, int starts) {
    if (starts == 1) {
        return 0;
    }
    const auto start = static_cast<int>(std::lround(centre - field_length / (2.0 * setup.scale)));
    return std::clamp(start, 0, starts - 1);
}

// Frame `index`'s tick, or no_tick where the timeline has not kept it.
std::int64_t tick_of(const FlashTimeline& timeline, std::int64_t index) {
    const auto size = static_cast<std::int64_t>(timeline.ticks.size());
    if (index < 0 || index >= timeline.placed || index < timeline.placed - size) {
        return no_tick;
    }
    return timeline.ticks[static_cast<std::size_t>(index % size)];
}

}  // namespace

void start_flash_watch(FlashWatch& watch, const FlashSetup& setup) {
    watch = FlashWatch{};
    watch.setup = &setup;
    const auto fields =
        static_cast<std::size_t>(setup.columns) * static_cast<std::size_t>(setup.rows);
    watch.luminance.assign(fields, ChangeTrack{});
    watch.red.assign(fields, ChangeTrack{});
}

void move_flash_watch(FlashWatch& watch, const FlashSetup& setup) {
    const FlashSetup& before = *watch.setup;
    std::vector<ChangeTrack> luminance;
    std::vector<ChangeTrack> red;
    luminance.reserve(static_cast<std::size_t>(setup.columns) *
                      static_cast<std::size_t>(setup.rows));
    red.reserve(luminance.capacity());
    for (int row = 0; row < setup.rows; ++row) {
        const int row_before =
            nearest_start(before, field_centre(setup, row, setup.field_height, setup.height),
                          before.field_height, before.rows);
        for (int column = 0; column < setup.columns; ++column) {
            const int column_before =
                nearest_start(before, field_centre(setup, column, setup.field_width, setup.width),
                              before.field_width, before.columns);
            const auto field =
                static_cast<std::size_t>(row_before) * static_cast<std::size_t>(before.columns) +
                static_cast<std::size_t>(column_before);
            luminance.push_back(watch.luminance[field]);
            red.push_back(watch.red[field]);
        }
    }
    watch.setup = &setup;
    watch.luminance = std::move(luminance);
    watch.red = std::move(red);
    watch.changed.clear();
}

void watch_changes(FlashWatch& watch, std::int64_t index, const std::vector<FieldChange>& changes) {
    watch.changed.clear();
    for (const FieldChange& change : changes) {
        const auto field = static_cast<std::size_t>(change.field);
        if ((change.brightening | change.darkening) != 0) {
            move_both(watch, watch.luminance[field], false, change.field, index, change.brightening,
                      change.darkening, luminance_change);
        }
        if ((change.reddening | change.unreddening) != 0) {
            move_both(watch, watch.red[field], true, change.field, index, change.reddening,
                      change.unreddening, redness_change);
        }
    }
}

void start_flash_timeline(FlashTimeline& timeline, FlashPace pace, bool guarded) {
    timeline = FlashTimeline{};
    timeline.pace = pace;
    timeline.guarded = guarded;
    const std::int64_t frame_ticks = std::max<std::int32_t>(pace.frame_ticks, 1);
    const std::int64_t in_a_second = (pace.ticks_per_second + frame_ticks) / frame_ticks + 1;
    timeline.ticks.assign(static_cast<std::size_t>(2 * in_a_second + 64), 0);
}

std::int64_t flash_hold_until(const FlashTimeline& timeline, const FlashWatch& watch) {
    std::int64_t until = no_tick;
    for (const FlashChange& change : watch.changed) {
        const std::int64_t sixth = tick_of(timeline, change.sixth_before);
        if (sixth != no_tick) {
            until =
                std::max(until, sixth + timeline.pace.ticks_per_second + timeline.pace.frame_ticks);
        }
    }
    return until;
}

std::int64_t flash_next_tick(const FlashTimeline& timeline, const FlashWatch& watch,
                             std::int64_t index) {
    const std::int64_t before = tick_of(timeline, index - 1);
    const std::int64_t due = before == no_tick ? 0 : before + timeline.pace.frame_ticks;
    return timeline.guarded ? std::max(due, flash_hold_until(timeline, watch)) : due;
}

void flash_place_frame(FlashTimeline& timeline, const FlashWatch& watch, std::int64_t index,
                       std::int64_t tick) {
    if (!timeline.guarded) {
        FlashFinding& finding = timeline.finding;
        const std::int64_t second = timeline.pace.ticks_per_second;
        for (const FlashChange& change : watch.changed) {
            if (finding.found) {
                if (change.field == finding.field && change.red == finding.red &&
                    tick - finding.first_tick < second) {
                    ++finding.changes;
                }
                continue;
            }
            const std::int64_t sixth = tick_of(timeline, change.sixth_before);
            if (sixth != no_tick && tick - sixth < second) {
                finding = {true,  change.red,       change.sixth_before,
                           sixth, changes_too_many, change.field};
            }
        }
    }
    const auto size = static_cast<std::int64_t>(timeline.ticks.size());
    timeline.ticks[static_cast<std::size_t>(index % size)] = tick;
    timeline.placed = index + 1;
}

}  // namespace quenlixor
