// The program's entry point (animation/main.cpp, its `main` renamed) run
// against the simulated platform and recording stand-ins for the renderer
// and the display: the order of start-up, frame loop and shut-down, the exit statuses, the
// caption set on every frame and the key that ends the loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "animation/animate.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "display/display.h"
#include "display/pixel_converters.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "tests/animation/simulated_platform.h"

int quenlixor_program_main(int argc, char** argv);
// The screen saver's entry point (animation/screen_saver_main.cpp), its
// `main` renamed too.
int quenlixor_saver_main(int argc, char** argv);

namespace quenlixor {

// --- recording stand-ins for the renderer and the display -------------------
// (the platform is the simulated one)

namespace {

// What the stand-ins record and answer.
struct World {
    std::int32_t open_result;
    std::uint32_t frame_ms;  // how long a frame takes on the tick clock
    int frames_rendered;
    std::int32_t scale_opened;
    DisplayPlace place_opened;
    std::int32_t block_fitted;  // what display_block answers
    // Frames the renderer draws with a square that turns white and black
    // by turns (else every frame is black).
    bool flashing;
    // The frames shown (a held frame shown again as well), by the number
    // they were rendered as, and when.
    std::vector<std::int32_t> updates;
    std::vector<std::uint64_t> update_us;
    std::vector<std::int32_t> frames_shown;
    std::vector<char*> utf8_argv;  // what utf8_arguments gives, when not empty
};

World world;

void record(const std::string& call) {
    simulated.calls.push_back(call);
}

}  // namespace

alignas(32) std::uint32_t framebuffer[pixel_count];
std::uint32_t palette[256];
std::int32_t frame_number;

void prepare_tables() {
    record("prepare_tables");
}

void render_frame() {
    frame_number =
        static_cast<std::int32_t>((static_cast<std::uint32_t>(frame_number) + 1U) & 0x7FFFFFFFU);
    world.frames_shown.push_back(frame_number);
    ++world.frames_rendered;
    // A 100 x 100 square in the middle turns white and black by turns.
    std::fill(std::begin(framebuffer), std::end(framebuffer), palette[0]);
    if (world.flashing && frame_number % 2 != 0) {
        for (int y = 70; y < 170; ++y) {
            std::fill_n(framebuffer + y * picture_width + 110, 100, palette[20]);
        }
    }
    simulated.tick_ms += world.frame_ms;
    record("render_frame");
}

const Kernel& fastest_kernel() {
    static const Kernel kernel{"avx2", nullptr, nullptr, {8, 4}};
    return kernel;
}

const char* converter_path_name() {
    return "sse2";
}

const DisplayForms display_forms = {true, true, false};

std::int32_t display_open(const char* title, std::int32_t width, std::int32_t height,
                          const DisplayPlace& place) {
    world.scale_opened = place.scale;
    world.place_opened = place;
    record("display_open(" + std::string(title) + "," + std::to_string(width) + "," +
           std::to_string(height) + ")");
    return world.open_result;
}

std::int32_t display_block() {
    return world.block_fitted;
}

ShownSize display_shown_size() {
    return {world.block_fitted * picture_width, world.block_fitted * picture_height};
}

const char* display_failure() {
    return "primary surface: DDERR_NODIRECTDRAWHW (0x88760233)";
}

void display_close() {
    record("display_close");
}

std::int32_t display_update(const std::uint32_t* pixels) {
    record(pixels == framebuffer ? "display_update(framebuffer)" : "display_update(other)");
    world.updates.push_back(pixels == framebuffer ? frame_number : -1);
    world.update_us.push_back(simulated.now_us);
    return 0;  // a failed lock: the loop goes on all the same
}

void display_set_caption(const char* text) {
    record(std::string("display_set_caption(") + text + ")");
}

char** utf8_arguments(int /*argc*/, char** argv) {
    return world.utf8_argv.empty() ? argv : world.utf8_argv.data();
}

void print_error(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void show_message(std::string_view title, std::string_view text, bool error, std::uint64_t owner) {
    record("show_message(" + std::string(title) + "," + std::string(text) + "," +
           (error ? "error" : "information") + "," + std::to_string(owner) + ")");
}

// --- tests ------------------------------------------------------------------------

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

int run_entry(int (*entry)(int, char**), const char* name, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), name);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    try {
        entry(static_cast<int>(arguments.size()), argv.data());
    } catch (const ProcessEnded& ended) {
        return ended.status;
    }
    ADD_FAILURE() << "the program returned instead of ending the process";
    return 1000;
}

int run_program(std::vector<std::string> arguments = {}) {
    return run_entry(quenlixor_program_main, "quenlixor-julia", std::move(arguments));
}

int run_saver(std::vector<std::string> arguments = {}) {
    return run_entry(quenlixor_saver_main, "quenlixor-julia.scr", std::move(arguments));
}

void reset_world() {
    world = World{};
    world.open_result = 1;
    frame_number = 0;
    for (std::uint32_t entry = 0; entry < 256; ++entry) {
        palette[entry] = entry <= 20 ? entry * 0x0C0C0CU : 0;
    }
    palette[20] = 0xFFFFFF;
    simulated = SimulatedPlatform{};
    simulated.tick_ms = 5000;
    simulated.number_text_with_point = true;  // as Windows' _gcvt: "57."
}

// The calls of one frame showing `rate`.
std::vector<std::string> frame_calls(const std::string& rate) {
    return {"render_frame", "display_set_caption(Quenlixor Julia Animator FPS:" + rate + ")",
            "display_update(framebuffer)"};
}

TEST(DriverMainTest, AFailedOpenEndsWithMinusOneBeforeAnythingElse) {
    reset_world();
    world.open_result = 0;
    EXPECT_EQ(run_program(), -1);
    EXPECT_THAT(simulated.calls,
                ElementsAre("catch_stop_requests",
                            "display_open(Quenlixor Julia (Tolvane),320,240)", "end_process(-1)"));
}

TEST(DriverMainTest, RunsFramesUntilAKeyThenClosesAndEndsWithZero) {
    reset_world();
    simulated.polls_before_key = 2;
    simulated.key_codes = {'q'};
    EXPECT_EQ(run_program(), 0);

    std::vector<std::string> expected = {
        "catch_stop_requests", "display_open(Quenlixor Julia (Tolvane),320,240)", "prepare_tables"};
    for (int frame = 0; frame < 3; ++frame) {
        const std::vector<std::string> calls = frame_calls("0");
        expected.insert(expected.end(), calls.begin(), calls.end());
    }
    expected.insert(expected.end(), {"read_key", "display_close", "end_process(0)"});
    EXPECT_THAT(simulated.calls, ElementsAreArray(expected));
}

TEST(DriverMainTest, AKeyAlreadyWaitingEndsTheRunAfterTheFirstFrame) {
    reset_world();
    simulated.key_codes = {13};
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(world.frames_rendered, 1);
}

TEST(DriverMainTest, AnExtendedKeyIsReadWholeAndEndsTheRun) {
    reset_world();
    simulated.polls_before_key = 1;
    simulated.key_codes = {224, 72, 'x'};
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(world.frames_rendered, 2);
    EXPECT_EQ(simulated.key_codes, std::deque<int>{'x'});  // the next key stays queued
    EXPECT_THAT(simulated.calls,
                testing::IsSupersetOf({"read_key", "display_close", "end_process(0)"}));
}

TEST(DriverMainTest, TheCaptionShowsTheFramesOfEachSecondOnEveryFrame) {
    reset_world();
    // Start at 5000 ms; frame k ends at 5000 + 300 k ms.
    world.frame_ms = 300;
    simulated.polls_before_key = 10;
    simulated.key_codes = {'q'};
    EXPECT_EQ(run_program(), 0);

    std::vector<std::string> captions;
    for (const std::string& call : simulated.calls) {
        if (call.rfind("display_set_caption", 0) == 0) {
            captions.push_back(call);
        }
    }
    const std::string prefix = "display_set_caption(Quenlixor Julia Animator FPS:";
    EXPECT_THAT(captions, ElementsAre(prefix + "0)", prefix + "0)", prefix + "0)", prefix + "4)",
                                      prefix + "4)", prefix + "4)", prefix + "4)", prefix + "4)",
                                      prefix + "4)", prefix + "4)", prefix + "4)"));
}

// Runs the program until its third frame has been shown (a key ends it,
// or in a given window a stop request); what it said on stderr.
std::string run_three_frames(std::vector<std::string> arguments) {
    reset_world();
    simulated.polls_before_key = 2;
    simulated.key_codes = {'q'};
    simulated.polls_before_stop = 2;
    simulated.stop_number = 15;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_program(std::move(arguments)), 0);
    std::fflush(stderr);
    return testing::internal::GetCapturedStderr();
}

TEST(DriverMainTest, OptionsSetTheScaleTheFirstFrameAndThePace) {
    // Paced at 60 frames a second unless asked otherwise: frame k is due
    // k / 60 s after the start, and shows then.
    EXPECT_EQ(run_three_frames({}), "");
    EXPECT_EQ(world.place_opened.form, DisplayForm::window);
    EXPECT_EQ(world.scale_opened, 1);
    EXPECT_EQ(world.frames_shown, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(simulated.sleeps, (std::vector<std::uint32_t>{16666, 16667}));
    EXPECT_EQ(world.update_us, (std::vector<std::uint64_t>{0, 16666, 33333}));

    EXPECT_EQ(run_three_frames({"--scale", "3", "--frame", "0", "--fps", "100"}), "");
    EXPECT_EQ(world.scale_opened, 3);
    EXPECT_EQ(world.frames_shown, (std::vector<std::int32_t>{0, 1, 2}));
    EXPECT_EQ(simulated.sleeps, (std::vector<std::uint32_t>{10000, 10000}));
}

// Runs frames of a square that turns every frame, shown at `block`, for
// `polls` polls of the key.
void run_flashing(std::int32_t block, int polls, std::vector<std::string> arguments = {}) {
    reset_world();
    world.flashing = true;
    world.block_fitted = block;
    simulated.polls_before_key = polls;
    simulated.key_codes = {'q'};
    EXPECT_EQ(run_program(std::move(arguments)), 0);
}

TEST(DriverMainTest, AFrameThatWouldFlashIsHeldBackAndTheOneBeforeShownAgainMeanwhile) {
    // At block 4 the square (400 x 400 pixels on the screen) fills any field
    // around it, and turns at every frame: a seventh turn within a second
    // would be a fourth flash. So frame 8 shows a second and a frame after
    // frame 2, the turn six before it, and frame 7 stays on the screen until
    // then, shown again every sixtieth of a second; frame 9 shows a second
    // and a frame after frame 3, as soon as the pace allows, and so on.
    run_flashing(4, 140);
    std::vector<std::int32_t> new_frames;
    std::vector<std::uint64_t> new_frame_us;
    std::vector<int> held_after;  // by frame
    for (std::size_t at = 0; at < world.updates.size(); ++at) {
        if (world.updates[at] < 0) {
            ++held_after.back();
            continue;
        }
        new_frames.push_back(world.updates[at]);
        new_frame_us.push_back(world.update_us[at]);
        held_after.push_back(0);
    }
    ASSERT_GE(new_frames.size(), 14U);
    EXPECT_EQ(std::vector<std::int32_t>(new_frames.begin(), new_frames.begin() + 14),
              (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    const std::uint64_t second_and_frame = 1000000 + 16666;
    EXPECT_EQ(new_frame_us[6], 100000U);
    EXPECT_EQ(new_frame_us[7], new_frame_us[1] + second_and_frame);
    EXPECT_EQ(new_frame_us[8], new_frame_us[2] + second_and_frame);
    EXPECT_EQ(new_frame_us[13], new_frame_us[7] + second_and_frame);
    EXPECT_EQ(std::vector<int>(held_after.begin(), held_after.begin() + 14),
              (std::vector<int>{0, 0, 0, 0, 0, 0, 55, 0, 0, 0, 0, 0, 55, 0}));
    // At block 1 the square is an eighth of the picture, the field there:
    // nothing is held, each frame shows when due.
    run_flashing(1, 70);
    EXPECT_THAT(world.updates, testing::Not(testing::Contains(-1)));
    EXPECT_EQ(world.update_us[7], 7 * 1000000U / 60);
    // Unpaced, nothing is held either.
    run_flashing(4, 70, {"--fps", "max"});
    EXPECT_THAT(world.updates, testing::Not(testing::Contains(-1)));
    EXPECT_TRUE(simulated.sleeps.empty());
}

TEST(DriverMainTest, AKeyWhileAFrameIsHeldEndsTheRunThere) {
    // Frame 8 is rendered and held back; the run ends with frame 7 on the
    // screen, and goes on from frame 8 (the page's link).
    run_flashing(4, 20);
    ASSERT_EQ(world.frames_rendered, 8);
    EXPECT_EQ(world.updates.back(), -1) << "ended while frame 7 was held";
    EXPECT_EQ(simulated.calls.back(), "end_process(0)");
    EXPECT_EQ(frame_after_last_shown(), 8);
    run_flashing(4, 3);
    EXPECT_EQ(frame_after_last_shown(), 5);
}

TEST(DriverMainTest, TheUnpacedRunIsAskedForAndSaysItFlashesInEveryForm) {
    for (std::vector<std::string> arguments : std::vector<std::vector<std::string>>{
             {}, {"--fullscreen"}, {"--root"}, {"--window-id", "0x400001"}}) {
        arguments.insert(arguments.end(), {"--fps", "max"});
        SCOPED_TRACE(arguments.front());
        const std::string said = run_three_frames(arguments);
        EXPECT_TRUE(simulated.sleeps.empty());
        EXPECT_EQ(simulated.clock_reads, 0);
        EXPECT_EQ(world.frames_rendered, 3);
        EXPECT_THAT(said, testing::StartsWith("quenlixor-julia: --fps max "));
        EXPECT_THAT(said, testing::HasSubstr("photosensitive epilepsy"));
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
}

TEST(DriverMainTest, FullScreenAsksForTheLargestBlockOrSaysWhereScaleWasLowered) {
    reset_world();
    EXPECT_EQ(run_three_frames({"--fullscreen"}), "");
    EXPECT_EQ(world.place_opened.form, DisplayForm::full_screen);
    EXPECT_EQ(world.place_opened.scale, 0);
    EXPECT_EQ(simulated.sleeps.size(), 2U) << "paced by default in every form";

    // display_block() answers what the display fitted: 0 at first, as reset;
    // the stand-in is told 4 before the run.
    const auto run_with_block = [](std::vector<std::string> arguments, std::int32_t block) {
        reset_world();
        world.block_fitted = block;
        simulated.polls_before_key = 0;
        simulated.key_codes = {'q'};
        simulated.stop_number = 15;  // what ends a run in a given window
        testing::internal::CaptureStderr();
        EXPECT_EQ(run_program(std::move(arguments)), 0);
        std::fflush(stderr);
        return testing::internal::GetCapturedStderr();
    };
    EXPECT_EQ(run_with_block({"--fullscreen", "--scale", "5"}, 4),
              "quenlixor-julia: --scale 5 lowered to 4 to fit the screen\n");
    EXPECT_EQ(world.place_opened.scale, 5);
    EXPECT_EQ(run_with_block({"--fullscreen", "--scale", "4"}, 4), "");
    EXPECT_EQ(run_with_block({"--root", "--scale", "3"}, 2),
              "quenlixor-julia: --scale 3 lowered to 2 to fit the window\n");
    EXPECT_EQ(run_with_block({"--root", "--scale", "1"}, 0),
              "quenlixor-julia: --scale 1 lowered: the picture is shrunk to fit the window\n");
}

TEST(DriverMainTest, InAGivenWindowOnlyAStopRequestEndsTheRunAndNoKeyIsRead) {
    reset_world();
    world.block_fitted = 2;
    simulated.key_codes = {'q'};
    simulated.polls_before_stop = 2;
    simulated.stop_number = 15;
    EXPECT_EQ(run_program({"--window-id", "0x400001", "--scale", "2"}), 0);
    EXPECT_EQ(world.place_opened.form, DisplayForm::given_window);
    EXPECT_EQ(world.place_opened.window, 0x400001U);
    EXPECT_EQ(world.frames_rendered, 3);
    EXPECT_EQ(simulated.key_codes, std::deque<int>{'q'}) << "the terminal is not read";
    EXPECT_THAT(simulated.calls, testing::Not(testing::Contains("read_key")));
    EXPECT_THAT(std::vector<std::string>(simulated.calls.end() - 2, simulated.calls.end()),
                ElementsAre("display_close", "end_process(0)"));
}

TEST(DriverMainTest, OptionsAreReadFromTheArgumentsAsUtf8) {
    reset_world();
    simulated.key_codes = {'q'};
    std::string program = "quenlixor-julia";
    std::string scale = "--scale=4";
    world.utf8_argv = {program.data(), scale.data(), nullptr};
    EXPECT_EQ(run_program({"--scale=2"}), 0);
    EXPECT_EQ(world.scale_opened, 4);
}

TEST(DriverMainTest, ABadOptionEndsWithTwoAndTheUsageBeforeAnythingElse) {
    reset_world();
    testing::internal::CaptureStderr();
    const int status = run_program({"--fps", "2000"});
    std::fflush(stderr);
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    EXPECT_THAT(simulated.calls, ElementsAre("end_process(2)"));
    EXPECT_EQ(error.substr(0, error.find('\n')),
              "quenlixor-julia: --fps 2000 is out of range (1-1000, or max)");
    EXPECT_NE(error.find("\nusage: quenlixor-julia [--scale N]"), std::string::npos) << error;
}

TEST(DriverMainTest, HelpAndVersionPrintAndEndWithZeroWithoutAWindow) {
    reset_world();
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_program({"--help"}), 0);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("usage: quenlixor-julia", 0), 0U);

    testing::internal::CaptureStdout();
    EXPECT_EQ(run_program({"--version"}), 0);
    std::fflush(stdout);
    const std::string version = testing::internal::GetCapturedStdout();
    std::string version_lines;
    for (const char c : version) {
        version_lines += c == '\r' ? "" : std::string(1, c);
    }
    EXPECT_EQ(version_lines, "quenlixor-julia " QUENLIXOR_VERSION
                             "\nrenderer kernel: avx2\nconverter path: sse2\n");
    EXPECT_THAT(simulated.calls, ElementsAre("end_process(0)", "end_process(0)"));
}

// The screen saver runs the same loop as the program, paced at 60 frames
// a second, in the form its command line asks for; the display ends it (a
// key pushed into the queue stands in for that here).
TEST(DriverMainTest, TheScreenSaverRunsTheLoopPacedAsTheScreenSaverOrThePreview) {
    for (const bool preview : {false, true}) {
        reset_world();
        simulated.polls_before_key = 2;
        simulated.key_codes = {'q'};
        EXPECT_EQ(preview ? run_saver({"/p", "66318"}) : run_saver({"/S"}), 0);
        EXPECT_EQ(world.place_opened.form,
                  preview ? DisplayForm::preview : DisplayForm::screen_saver);
        EXPECT_EQ(world.place_opened.window, preview ? 66318U : 0U);
        EXPECT_EQ(world.place_opened.scale, 0) << "the largest block that fits";
        EXPECT_EQ(world.frames_shown, (std::vector<std::int32_t>{1, 2, 3}));
        EXPECT_EQ(simulated.sleeps, (std::vector<std::uint32_t>{16666, 16667}));
        std::vector<std::string> expected = {"catch_stop_requests",
                                             "display_open(Quenlixor Julia (Tolvane),320,240)",
                                             "prepare_tables"};
        for (int frame = 0; frame < 3; ++frame) {
            const std::vector<std::string> calls = frame_calls("0");
            expected.insert(expected.end(), calls.begin(), calls.end());
        }
        expected.insert(expected.end(), {"read_key", "display_close", "end_process(0)"});
        EXPECT_THAT(simulated.calls, ElementsAreArray(expected));
    }
}

TEST(DriverMainTest, TheScreenSaverSaysItHasNoSettingsOrNamesABadArgumentInABox) {
    reset_world();
    EXPECT_EQ(run_saver(), 0);
    EXPECT_EQ(run_saver({"/c:3932"}), 0);
    EXPECT_EQ(run_saver({"-p"}), 2);
    EXPECT_THAT(
        simulated.calls,
        ElementsAre("show_message(Quenlixor Julia,Quenlixor Julia has no settings.,information,0)",
                    "end_process(0)",
                    "show_message(Quenlixor Julia,Quenlixor Julia has no settings.,information,"
                    "3932)",
                    "end_process(0)",
                    "show_message(Quenlixor Julia,quenlixor-julia.scr: /p needs a window handle "
                    "(a decimal number): /p 1234,error,0)",
                    "end_process(2)"));
    EXPECT_EQ(world.frames_rendered, 0);
}

}  // namespace
}  // namespace quenlixor
