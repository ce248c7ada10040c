// The flash check on sequences whose flashes are known by construction, and
// its sliding field sums against a plain sum over every output pixel of
// every field.
#include "animation/flash_check.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"

namespace quenlixor {
namespace {

constexpr std::uint32_t black = 0x000000;
constexpr std::uint32_t white = 0xFFFFFF;

struct Checked {
    FlashSetup setup;
    FlashWatch watch;
    std::vector<FlashTimeline> timelines;
};

// An output's pace, guarded or not; or the times another timeline gives
// the frames (`follows` its index).
struct Timing {
    FlashPace pace;
    bool guarded = false;
    int follows = -1;
};

// `frames` frames of a 320 x 240 picture at `scale` through the check, on
// timelines at 60 frames a second or the paces given; draw(frame, x, y) is
// the index of each pixel's colour.
template <typename Drawing>
void run_frames(Checked& run, const std::vector<std::uint32_t>& colours, int frames,
                const Drawing& draw, int scale = 1,
                const std::vector<Timing>& timings = {Timing{FlashPace{1, 60}}}) {
    constexpr int width = 320;
    constexpr int height = 240;
    prepare_flash_setup(run.setup, colours.data(), static_cast<int>(colours.size()), width, height,
                        scale);
    start_flash_watch(run.watch, run.setup);
    run.timelines.assign(timings.size(), FlashTimeline{});
    for (std::size_t at = 0; at < timings.size(); ++at) {
        start_flash_timeline(run.timelines[at], timings[at].pace, timings[at].guarded);
    }
    std::vector<std::uint32_t> previous;
    std::vector<std::uint32_t> picture(static_cast<std::size_t>(width * height));
    FlashScratch scratch;
    std::vector<FieldChange> changes;
    for (int frame = 0; frame < frames; ++frame) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                picture[static_cast<std::size_t>(y * width + x)] =
                    colours[static_cast<std::size_t>(draw(frame, x, y))];
            }
        }
        changes.clear();
        if (!previous.empty()) {
            ASSERT_TRUE(
                frame_changes(run.setup, picture.data(), previous.data(), scratch, changes));
        }
        watch_changes(run.watch, frame, changes);
        std::vector<std::int64_t> ticks;
        for (std::size_t at = 0; at < timings.size(); ++at) {
            FlashTimeline& timeline = run.timelines[at];
            const int follows = timings[at].follows;
            ticks.push_back(follows >= 0 ? ticks[static_cast<std::size_t>(follows)]
                                         : flash_next_tick(timeline, run.watch, frame));
            flash_place_frame(timeline, run.watch, frame, ticks.back());
        }
        previous = picture;
    }
}

// A colour that turns every `frames` frames (60 a second: 7.5 is 4 Hz).
int toggled(int frame, double frames) {
    return static_cast<int>(frame / frames) % 2;
}

TEST(FlashCheck, FullPictureAt4HzIsMoreThanThreeFlashesAndAt3HzIsNot) {
    Checked run;
    run_frames(run, {black, white}, 180, [](int frame, int, int) { return toggled(frame, 7.5); });
    const FlashFinding& found = run.timelines[0].finding;
    ASSERT_TRUE(found.found);
    EXPECT_FALSE(found.red);
    // Turns at frames 8, 15, 23, 30, 38, 45, 53, 60: the second from frame 8.
    EXPECT_EQ(found.first, 8);
    EXPECT_EQ(found.changes, 8);

    run_frames(run, {black, white}, 180, [](int frame, int, int) { return toggled(frame, 10); });
    EXPECT_FALSE(run.timelines[0].finding.found);
}

TEST(FlashCheck, AFlashCountsOverMoreThanAQuarterOfThePicture) {
    // Rows 0 to rows-1 flash at 4 Hz, the rest stay grey: 48 rows are 20 %,
    // 60 exactly a quarter (no more than a quarter passes), 72 are 30 %.
    for (const int rows : {48, 60, 72}) {
        Checked run;
        run_frames(run, {black, white, 0x808080}, 120,
                   [rows](int frame, int, int y) { return y < rows ? toggled(frame, 7.5) : 2; });
        EXPECT_EQ(run.timelines[0].finding.found, rows == 72) << rows;
    }
}

TEST(FlashCheck, TwoHalvesFlashingInTurnAreBothFlashes) {
    Checked run;
    run_frames(run, {black, white}, 120,
               [](int frame, int x, int) { return toggled(frame, 7.5) ^ (x < 160 ? 1 : 0); });
    EXPECT_TRUE(run.timelines[0].finding.found);
}

TEST(FlashCheck, SaturatedRedFlashesWhereItsLuminanceDoesNot) {
    // Red and a grey of nearly its relative luminance (0.2126 and 0.2122).
    Checked run;
    run_frames(run, {0xFF0000, 0x7F7F7F}, 120,
               [](int frame, int, int) { return toggled(frame, 7.5); });
    ASSERT_TRUE(run.timelines[0].finding.found);
    EXPECT_TRUE(run.timelines[0].finding.red);
    EXPECT_EQ(run.timelines[0].finding.changes, 8);
    // A red just short of saturated (R/(R+G+B) 0.797) against a grey as
    // bright: no flash of either kind.
    run_frames(run, {0xFF6464, 0x969696}, 120,
               [](int frame, int, int) { return toggled(frame, 7.5); });
    EXPECT_FALSE(run.timelines[0].finding.found);
    // Dark red against dark blue: (R-G-B) x 320 is 16.4 for the red and,
    // clipped at 0, 0 for the blue, a red change of less than 20.
    run_frames(run, {0x400000, 0x000040}, 120,
               [](int frame, int, int) { return toggled(frame, 7.5); });
    EXPECT_FALSE(run.timelines[0].finding.found);
}

TEST(FlashCheck, AChangeIsATenthOfRelativeLuminanceOrMore) {
    // Greys 97 and 129 are 819/8192 apart, just short of a tenth: no flash
    // at 4 Hz; greys 97 and 130 are 850/8192 apart.
    for (const std::uint32_t lighter : {0x818181U, 0x828282U}) {
        Checked run;
        run_frames(run, {0x616161, lighter}, 120,
                   [](int frame, int, int) { return toggled(frame, 7.5); });
        EXPECT_EQ(run.timelines[0].finding.found, lighter == 0x828282U) << std::hex << lighter;
    }
}

TEST(FlashCheck, AFadeIsOneChangeHoweverManyFramesItTakes) {
    // Greys in 31 steps from black to white, each less than 0.1 from the next.
    std::vector<std::uint32_t> greys;
    for (int step = 0; step <= 30; ++step) {
        greys.push_back(0x010101U * static_cast<std::uint32_t>(step * 255 / 30));
    }
    // Black to white and back, each way over 30 frames, twice: four changes.
    Checked run;
    const auto triangle = [](int frame, int period) {
        const int at = frame % (2 * period);
        return at <= period ? at : 2 * period - at;
    };
    run_frames(run, greys, 121, [&](int frame, int, int) { return triangle(frame, 30); });
    EXPECT_FALSE(run.timelines[0].finding.found);
    EXPECT_EQ(run.watch.luminance[0].recent_count, 4);
    // Greys 10 to 18 (relative luminance 0.09 to 0.32) and back, 8 frames
    // each way: 7.5 changes a second, though no frame moves by 0.1.
    run_frames(run, greys, 120, [&](int frame, int, int) { return 10 + triangle(frame, 8); });
    EXPECT_TRUE(run.timelines[0].finding.found);
}

TEST(FlashCheck, APairWhoseDarkerIsAtLeast0_8IsNoFlash) {
    // Relative luminance 0.807 (grey 232) and 0.791 (grey 230) against white.
    for (const std::uint32_t grey : {0xE8E8E8U, 0xE6E6E6U}) {
        Checked run;
        run_frames(run, {grey, white}, 120,
                   [](int frame, int, int) { return toggled(frame, 7.5); });
        EXPECT_EQ(run.timelines[0].finding.found, grey == 0xE6E6E6U) << std::hex << grey;
    }
}

TEST(FlashCheck, EachOutputIsJudgedAtItsPace) {
    // A turn every 9 frames: 7 turns take 0.9 s at 60 frames a second and
    // 1.08 s at 50 (a GIF's 2 cs).
    Checked run;
    run_frames(run, {black, white}, 120, [](int frame, int, int) { return toggled(frame, 9); }, 1,
               {Timing{FlashPace{1, 60}}, Timing{FlashPace{2, 100}}});
    EXPECT_TRUE(run.timelines[0].finding.found);
    EXPECT_EQ(run.timelines[0].finding.first_tick, 9);
    EXPECT_FALSE(run.timelines[1].finding.found);
}

TEST(FlashCheck, AGuardedOutputHoldsAFrameJustLongEnoughWhereItWouldFlash) {
    // The whole picture turns every 7.5 frames (at frames 8, 15, 23, 30, 38,
    // 45, 53, 60, ...: 4 Hz). Guarded, the seventh turn (frame 53) shows a
    // second and a frame (61 sixtieths) after the first, the frame before it
    // held for 16 sixtieths more; every later frame follows its own frame
    // time, or the sixth turn before it. Judged at those times, the output
    // has no second with a seventh change. At 3 Hz the seventh turn comes a
    // second after the first, not a second and a frame: held a frame; at
    // 2.5 Hz nothing is held.
    Checked run;
    const std::vector<Timing> timings = {Timing{FlashPace{1, 60}, true}};
    const auto draw = [](int frame, int, int) { return toggled(frame, 7.5); };
    run_frames(run, {black, white}, 240, draw, 1, timings);
    ASSERT_EQ(run.timelines[0].placed, 240);
    FlashTimeline& shown = run.timelines[0];
    const auto tick_at = [&shown](int index) {
        return shown.ticks[static_cast<std::size_t>(index) % shown.ticks.size()];
    };
    EXPECT_EQ(tick_at(52), 52);
    EXPECT_EQ(tick_at(53), 8 + 61);
    EXPECT_EQ(tick_at(54), 8 + 61 + 1);
    EXPECT_FALSE(shown.finding.found);

    // The same frames judged unguarded at the guarded output's times, and
    // at their own.
    Checked judged;
    run_frames(judged, {black, white}, 240, draw, 1,
               {Timing{FlashPace{1, 60}, true}, Timing{FlashPace{1, 60}, false, 0},
                Timing{FlashPace{1, 60}, false}});
    EXPECT_FALSE(judged.timelines[1].finding.found);
    EXPECT_TRUE(judged.timelines[2].finding.found);

    for (const int frames : {10, 12}) {
        Checked slower;
        run_frames(
            slower, {black, white}, 240,
            [frames](int frame, int, int) { return toggled(frame, frames); }, 1, timings);
        const FlashTimeline& timeline = slower.timelines[0];
        EXPECT_EQ(timeline.ticks[70 % timeline.ticks.size()], frames == 10 ? 71 : 70);
        EXPECT_EQ(timeline.ticks[239 % timeline.ticks.size()], frames == 10 ? 242 : 239);
    }
}

TEST(FlashCheck, AScaledOutputIsJudgedOnEvery341x256Part) {
    // A square flashing at 4 Hz near the bottom right corner: 30 % of a
    // 341 x 256 field of the output and 20 % of it, at scales 2 and 3
    // (where fields end part-way through a picture pixel). At scale 1 the
    // whole picture is the field, and the larger square 8.5 % of it.
    struct Case {
        int scale;
        int side;
        bool flashes;
    };
    for (const Case& test : {Case{2, 81, true}, Case{2, 66, false}, Case{3, 54, true},
                             Case{3, 44, false}, Case{1, 81, false}}) {
        Checked run;
        run_frames(
            run, {black, white}, 75,
            [&](int frame, int x, int y) {
                return x >= 310 - test.side && x < 310 && y >= 235 - test.side && y < 235
                           ? toggled(frame, 7.5)
                           : 0;
            },
            test.scale);
        EXPECT_EQ(run.timelines[0].finding.found, test.flashes)
            << "scale " << test.scale << ", side " << test.side;
    }
}

// The changes frame_changes should find between two pictures of colour
// indices: each field's sums from sums over the output's pixels one by one
// (from the top left corner to each pixel).
std::vector<FieldChange> changes_pixel_by_pixel(const FlashSetup& setup,
                                                const std::vector<int>& before,
                                                const std::vector<int>& after) {
    const int scale = setup.scale;
    const int width = setup.width * scale;
    const int height = setup.height * scale;
    // corner[y][x]: the sums of the output pixels above and left of (x, y).
    std::vector<std::array<std::int64_t, 8>> corner(
        static_cast<std::size_t>((width + 1) * (height + 1)));
    const auto at = [width](int x, int y) { return static_cast<std::size_t>(y * (width + 1) + x); };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto pixel = static_cast<std::size_t>((y / scale) * setup.width + x / scale);
            const ChangeSums& pair = setup.pair_sums[static_cast<std::size_t>(
                before[pixel] * setup.colour_count + after[pixel])];
            const std::array<std::int32_t, 8> values = {
                pair.brighter, pair.brightening, pair.darker,   pair.darkening,
                pair.redder,   pair.reddening,   pair.less_red, pair.unreddening};
            for (std::size_t kind = 0; kind < 8; ++kind) {
                corner[at(x + 1, y + 1)][kind] = values[kind] + corner[at(x, y + 1)][kind] +
                                                 corner[at(x + 1, y)][kind] -
                                                 corner[at(x, y)][kind];
            }
        }
    }
    std::vector<FieldChange> expected;
    constexpr std::int64_t area = std::int64_t{341} * 256;
    for (int row = 0; row < setup.rows; ++row) {
        for (int column = 0; column < setup.columns; ++column) {
            const int left = column * scale;
            const int top = row * scale;
            std::array<std::int64_t, 8> sums{};
            for (std::size_t kind = 0; kind < 8; ++kind) {
                sums[kind] = corner[at(left + 341, top + 256)][kind] -
                             corner[at(left, top + 256)][kind] - corner[at(left + 341, top)][kind] +
                             corner[at(left, top)][kind];
            }
            const auto mean = [&sums](std::size_t kind) {
                return static_cast<std::int32_t>(sums[kind] * 4 > area ? sums[kind + 1] / sums[kind]
                                                                       : 0);
            };
            const FieldChange change{row * setup.columns + column, mean(0), mean(2), mean(4),
                                     mean(6)};
            if (change.brightening != 0 || change.darkening != 0 || change.reddening != 0 ||
                change.unreddening != 0) {
                expected.push_back(change);
            }
        }
    }
    return expected;
}

TEST(FlashCheck, FieldSumsAreThoseOfEveryOutputPixelInside) {
    // Random dark pictures about half as large again as the field whose bands turn
    // white, red or black, and back, at scales that divide the field and
    // that do not: every kind of area passes a quarter in some fields only.
    const std::vector<std::uint32_t> colours = {black, 0x204080, 0x303030, 0x7F7F7F,
                                                white, 0xFF0000, 0xC03010};
    std::mt19937 random(12345);
    for (const int scale : {2, 3, 5}) {
        const int width = 520 / scale;
        const int height = 400 / scale;
        FlashSetup setup;
        prepare_flash_setup(setup, colours.data(), static_cast<int>(colours.size()), width, height,
                            scale);
        ASSERT_EQ(setup.field_width, 341);
        ASSERT_EQ(setup.field_height, 256);
        std::vector<int> before(static_cast<std::size_t>(width * height));
        std::vector<int> after(before.size());
        for (std::size_t at = 0; at < before.size(); ++at) {
            const int x = static_cast<int>(at) % width * scale;
            before[at] = static_cast<int>(random() % 4);
            const bool turns = random() % 4 != 0 && (x < 240 || x >= 340);
            after[at] = !turns ? before[at] : x < 120 ? 4 : x < 240 ? 5 : 0;
        }
        const auto words = [&](const std::vector<int>& indices) {
            std::vector<std::uint32_t> picture;
            for (const int index : indices) {
                picture.push_back(colours[static_cast<std::size_t>(index)]);
            }
            return picture;
        };
        FlashScratch scratch;
        std::vector<FieldChange> changes;
        std::array<bool, 4> some_not_all{};  // a kind passes in some fields only, one way
        for (const bool back : {false, true}) {
            const std::vector<int>& from = back ? after : before;
            const std::vector<int>& to = back ? before : after;
            ASSERT_TRUE(
                frame_changes(setup, words(to).data(), words(from).data(), scratch, changes));
            const std::vector<FieldChange> expected = changes_pixel_by_pixel(setup, from, to);
            std::array<std::size_t, 4> moved{};
            for (const FieldChange& change : expected) {
                moved[0] += change.brightening != 0 ? 1 : 0;
                moved[1] += change.darkening != 0 ? 1 : 0;
                moved[2] += change.reddening != 0 ? 1 : 0;
                moved[3] += change.unreddening != 0 ? 1 : 0;
            }
            for (std::size_t kind = 0; kind < 4; ++kind) {
                some_not_all[kind] =
                    some_not_all[kind] ||
                    (moved[kind] > 0 &&
                     moved[kind] < static_cast<std::size_t>(setup.columns * setup.rows));
            }
            ASSERT_EQ(changes.size(), expected.size()) << scale;
            for (std::size_t at = 0; at < changes.size(); ++at) {
                EXPECT_EQ(changes[at].field, expected[at].field) << scale;
                EXPECT_EQ(changes[at].brightening, expected[at].brightening) << scale;
                EXPECT_EQ(changes[at].darkening, expected[at].darkening) << scale;
                EXPECT_EQ(changes[at].reddening, expected[at].reddening) << scale;
                EXPECT_EQ(changes[at].unreddening, expected[at].unreddening) << scale;
            }
        }
        for (const bool found : some_not_all) {
            EXPECT_TRUE(found) << scale;
        }
    }
}

TEST(FlashCheck, AShrunkPictureIsJudgedAsShown) {
    // Shrunk to 149 x 112, the picture shows 149 of its 320 columns (column
    // i * 320 / 149 at i) and 112 of its 240 rows. The columns it leaves
    // out, over half of the picture, turn white: judged whole at its own
    // size that is a change, as shown it is none. Where the columns it
    // shows turn white instead, all of it changes, by as much as each of
    // them does.
    const std::uint32_t colours[] = {black, white};
    FlashSetup setup;
    prepare_shrunk_flash_setup(setup, colours, 2, 320, 240, 149, 112);
    FlashSetup whole;
    prepare_flash_setup(whole, colours, 2, 320, 240, 1);
    std::vector<bool> shown_column(320, false);
    for (int i = 0; i < 149; ++i) {
        shown_column[static_cast<std::size_t>(i * 320 / 149)] = true;
    }
    const std::vector<std::uint32_t> before(320 * 240, black);
    std::vector<std::uint32_t> left_out(before.size());
    std::vector<std::uint32_t> shown(before.size());
    for (std::size_t at = 0; at < before.size(); ++at) {
        left_out[at] = shown_column[at % 320] ? black : white;
        shown[at] = shown_column[at % 320] ? white : black;
    }
    FlashScratch scratch;
    std::vector<FieldChange> changes;
    ASSERT_TRUE(frame_changes(setup, left_out.data(), before.data(), scratch, changes));
    EXPECT_TRUE(changes.empty());
    ASSERT_TRUE(frame_changes(whole, left_out.data(), before.data(), scratch, changes));
    EXPECT_EQ(changes.size(), 1U);
    ASSERT_TRUE(frame_changes(setup, shown.data(), before.data(), scratch, changes));
    ASSERT_EQ(changes.size(), 1U);
    EXPECT_EQ(changes[0].brightening, setup.luminance[1] - setup.luminance[0]);
}

TEST(FlashCheck, FieldsShownAtAnotherSizeGoOnFromTheirChangesBefore) {
    // The picture turns at every frame, at block 2 and then at block 3:
    // three changes before the move and three after are six, so the seventh
    // is held a second and a frame after the first, as if it had all been
    // at one size. Started afresh at block 3 instead, it is not.
    const std::uint32_t colours[] = {black, white};
    FlashSetup at_2;
    FlashSetup at_3;
    prepare_flash_setup(at_2, colours, 2, 320, 240, 2);
    prepare_flash_setup(at_3, colours, 2, 320, 240, 3);
    for (const bool moved : {true, false}) {
        FlashWatch watch;
        start_flash_watch(watch, at_2);
        FlashTimeline timeline;
        start_flash_timeline(timeline, FlashPace{1, 60}, true);
        std::vector<std::uint32_t> pictures[2] = {std::vector<std::uint32_t>(320 * 240, black),
                                                  std::vector<std::uint32_t>(320 * 240, white)};
        FlashScratch scratch;
        std::vector<FieldChange> changes;
        for (int frame = 0; frame < 8; ++frame) {
            if (frame == 4) {
                if (moved) {
                    move_flash_watch(watch, at_3);
                } else {
                    start_flash_watch(watch, at_3);
                }
            }
            changes.clear();
            if (frame > 0) {
                ASSERT_TRUE(frame_changes(*watch.setup, pictures[frame % 2].data(),
                                          pictures[(frame + 1) % 2].data(), scratch, changes));
                EXPECT_EQ(changes.size(),
                          static_cast<std::size_t>(frame < 4 ? at_2.columns * at_2.rows
                                                             : at_3.columns * at_3.rows));
            }
            watch_changes(watch, frame, changes);
            const std::int64_t tick = flash_next_tick(timeline, watch, frame);
            EXPECT_EQ(tick, moved && frame == 7 ? 1 + 61 : frame)
                << frame << (moved ? " moved" : "");
            flash_place_frame(timeline, watch, frame, tick);
        }
    }
}

TEST(FlashCheck, TheAnimationAtBlocks1To3IsHeldNowhereInItsCycle) {
    // Frames 1 to 3600, one step of the path at 60 frames a second, as the
    // program shows them in a window of scale 1, 2 or 3: every frame shows
    // at its time. At block 4 some are held.
    prepare_tables();
    std::vector<std::uint32_t> pictures[2] = {std::vector<std::uint32_t>(pixel_count),
                                              std::vector<std::uint32_t>(pixel_count)};
    FlashSetup setups[4];
    FlashWatch watches[4];
    FlashTimeline timelines[4];
    for (int block = 1; block <= 4; ++block) {
        const auto at = static_cast<std::size_t>(block - 1);
        prepare_flash_setup(setups[at], palette, palette_colours, picture_width, picture_height,
                            block);
        start_flash_watch(watches[at], setups[at]);
        start_flash_timeline(timelines[at], FlashPace{1, 60}, true);
    }
    FlashScratch scratch;
    std::vector<FieldChange> changes;
    std::int64_t held[4] = {};
    for (int index = 0; index < 3600; ++index) {
        std::vector<std::uint32_t>& picture = pictures[index % 2];
        render_frame_into(1 + index, picture.data(), fastest_kernel());
        for (std::size_t at = 0; at < 4; ++at) {
            changes.clear();
            if (index > 0) {
                ASSERT_TRUE(frame_changes(setups[at], picture.data(),
                                          pictures[(index + 1) % 2].data(), scratch, changes));
            }
            watch_changes(watches[at], index, changes);
            const std::int64_t tick = flash_next_tick(timelines[at], watches[at], index);
            flash_place_frame(timelines[at], watches[at], index, tick);
            held[at] = tick - index;
        }
    }
    EXPECT_EQ(held[0], 0);
    EXPECT_EQ(held[1], 0);
    EXPECT_EQ(held[2], 0);
    EXPECT_GT(held[3], 0);
}

TEST(FlashCheck, AColourOutsideTheSetupIsRefused) {
    const std::uint32_t colours[] = {black, white};
    FlashSetup setup;
    prepare_flash_setup(setup, colours, 2, 16, 8, 1);
    std::vector<std::uint32_t> before(128, black);
    std::vector<std::uint32_t> after(128, white);
    after[77] = 0x123456;
    FlashScratch scratch;
    std::vector<FieldChange> changes;
    EXPECT_FALSE(frame_changes(setup, after.data(), before.data(), scratch, changes));
    EXPECT_TRUE(changes.empty());
    after[77] = 0xFF000000U | white;  // bits 24-31 carry no colour
    EXPECT_TRUE(frame_changes(setup, after.data(), before.data(), scratch, changes));
    EXPECT_EQ(changes.size(), 1U);
}

}  // namespace
}  // namespace quenlixor
