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

// sRGB byte to linear light, as the relative luminance defines it.
double linear(int byte) {
    const double value = byte / 255.0;
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
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
    const int guess = setup.index_of_green[(word >> 8) & 0xFF];
    if (((setup.colours[guess] ^ word) & 0x00FFFFFFU) == 0) {
        return guess;
    }
    for (int index = 0; index < setup.colour_count; ++index) {
        if (((setup.colours[index] ^ word) & 0x00FFFFFFU) == 0) {
            return index;
        }
    }
    known = false;
    return 0;
}

// The pixels that changed, eight at a time where none did: their pairs
// of colours added into `sums` when given (one field), else stored in
// scratch.pairs, which is zero elsewhere (a pair that adds nothing), with
// whether each row changed. False when a colour is not the setup's.
bool pair_pixels(const FlashSetup& setup, const std::uint32_t* picture,
                 const std::uint32_t* previous, FlashScratch& scratch, ChangeSums* sums,
                 bool& any_changed) {
    const auto width = static_cast<std::size_t>(setup.width);
    const auto height = static_cast<std::size_t>(setup.height);
    if (sums == nullptr) {
        scratch.pairs.assign(width * height, 0);
        scratch.row_changed.assign(height, 0);
    }
    any_changed = false;
    bool known = true;
    constexpr std::size_t step = 8;
    for (std::size_t row = 0; row < height; ++row) {
        const std::uint32_t* now = picture + row * width;
        const std::uint32_t* before = previous + row * width;
        bool changed = false;
        for (std::size_t at = 0; at < width; at += step) {
            const std::size_t end = std::min(width, at + step);
            if (std::memcmp(now + at, before + at, (end - at) * sizeof(std::uint32_t)) == 0) {
                continue;
            }
            for (std::size_t column = at; column < end; ++column) {
                if (now[column] == before[column]) {
                    continue;
                }
                const int from = colour_index(setup, before[column], known);
                const int to = colour_index(setup, now[column], known);
                const auto pair = static_cast<std::uint16_t>(from * setup.colour_count + to);
                if (sums != nullptr) {
                    add_weighted(*sums, setup.pair_sums[pair], 1);
                } else {
                    scratch.pairs[row * width + column] = pair;
                }
                changed = true;
            }
        }
        if (sums == nullptr) {
            scratch.row_changed[row] = changed ? 1 : 0;
        }
        any_changed = any_changed || changed;
    }
    return known;
}

// The field's change from its sums, if an area is larger than a quarter of
// its `area` (in the sums' pixels); false when none is.
bool judge_field(const ChangeSums& sums, std::int64_t area, std::int32_t field,
                 FieldChange& change) {
    const auto mean = [area](std::int32_t pixels, std::int32_t total) {
        return 4 * static_cast<std::int64_t>(pixels) > area ? total / pixels : 0;
    };
    change.field = field;
    change.brightening = mean(sums.brighter, sums.brightening);
    change.darkening = mean(sums.darker, sums.darkening);
    change.reddening = mean(sums.redder, sums.reddening);
    change.unreddening = mean(sums.less_red, sums.unreddening);
    return change.brightening != 0 || change.darkening != 0 || change.reddening != 0 ||
           change.unreddening != 0;
}

// Row `row` of pairs, times `weight`, into the column sums.
void add_row(const FlashSetup& setup, FlashScratch& scratch, int row, std::int32_t weight) {
    if (weight == 0 || scratch.row_changed[static_cast<std::size_t>(row)] == 0) {
        return;
    }
    const std::uint16_t* pairs = scratch.pairs.data() + static_cast<std::size_t>(row) *
                                                            static_cast<std::size_t>(setup.width);
    for (int column = 0; column < setup.width; ++column) {
        if (pairs[column] != 0) {
            add_weighted(scratch.column_sums[static_cast<std::size_t>(column)],
                         setup.pair_sums[pairs[column]], weight);
        }
    }
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
        setup.index_of_green[(word >> 8) & 0xFF] = static_cast<std::uint8_t>(index);
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
    bool any_changed = false;
    if (setup.field_width == setup.width * scale && setup.field_height == setup.height * scale) {
        // One field, the whole output: its sums in picture pixels.
        ChangeSums sums;
        if (!pair_pixels(setup, picture, previous, scratch, &sums, any_changed)) {
            return false;
        }
        FieldChange change;
        if (any_changed &&
            judge_field(sums, static_cast<std::int64_t>(setup.width) * setup.height, 0, change)) {
            changes.push_back(change);
        }
        return true;
    }
    if (!pair_pixels(setup, picture, previous, scratch, nullptr, any_changed)) {
        return false;
    }
    if (!any_changed) {
        return true;
    }
    // The columns of the first field row, then each row after.
    const int full = setup.field_height / scale;
    const int part = setup.field_height % scale;
    scratch.column_sums.assign(static_cast<std::size_t>(setup.width), ChangeSums{});
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
