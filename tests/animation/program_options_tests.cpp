// The program's command line, one table row per case: its options, the
// edges of each range, what --help and --version win over, and the frame
// number a first frame starts from. The rules every command line shares
// (values after '=', what is never a value, each kind of mistake) are
// command_line_tests.cpp's.
#include "animation/program_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quenlixor {
namespace {

// What a run's options come to, in short.
struct Run {
    std::int32_t scale;
    std::int32_t fps;
    std::int32_t first_frame;
    DisplayForm form = DisplayForm::window;
    std::uint64_t window = 0;
    bool scale_given = false;
};

struct Case {
    std::vector<const char*> arguments;  // after the program's name
    OptionsAction action;
    Run options;          // when the action is run
    std::string problem;  // when it is bad
    // XSCREENSAVER_WINDOW, when set.
    const char* screen_saver_window = nullptr;
};

constexpr DisplayForm window = DisplayForm::window;
constexpr DisplayForm full_screen = DisplayForm::full_screen;
constexpr DisplayForm given = DisplayForm::given_window;

// For a display that shows every form.
const Case cases[] = {
    {{}, OptionsAction::run, {1, 60, 1}, ""},
    {{"--scale", "1"}, OptionsAction::run, {1, 60, 1, window, 0, true}, ""},
    {{"--scale", "8"}, OptionsAction::run, {8, 60, 1, window, 0, true}, ""},
    {{"--scale=2", "--fps", "1"}, OptionsAction::run, {2, 1, 1, window, 0, true}, ""},
    {{"--fps", "1000"}, OptionsAction::run, {1, 1000, 1}, ""},
    {{"--fps", "max"}, OptionsAction::run, {1, 0, 1}, ""},
    {{"--fps=max"}, OptionsAction::run, {1, 0, 1}, ""},
    {{"--frame", "0"}, OptionsAction::run, {1, 60, 0}, ""},
    {{"--frame", "2147483647", "--scale", "3"},
     OptionsAction::run,
     {3, 60, 2147483647, window, 0, true},
     ""},
    {{"--fullscreen"}, OptionsAction::run, {1, 60, 1, full_screen}, ""},
    {{"--fullscreen", "--scale", "5"}, OptionsAction::run, {5, 60, 1, full_screen, 0, true}, ""},
    {{"--root"}, OptionsAction::run, {1, 60, 1, given, 0}, ""},
    {{"--window-id", "0x2a00007"}, OptionsAction::run, {1, 60, 1, given, 0x2a00007}, ""},
    {{"--window-id=44040199"}, OptionsAction::run, {1, 60, 1, given, 44040199}, ""},
    {{"--window-id", "0XFFFFFFFF"}, OptionsAction::run, {1, 60, 1, given, 0xFFFFFFFF}, ""},
    {{"--window-id", "268435457"}, OptionsAction::run, {1, 60, 1, given, 268435457}, ""},
    {{"--window-id", "4294967295"}, OptionsAction::run, {1, 60, 1, given, 4294967295}, ""},
    // XScreenSaver names its window for the hack: taken without options and
    // by --root, not over another form asked for.
    {{}, OptionsAction::run, {1, 60, 1, given, 0x600012}, "", "0x600012"},
    {{"--root"}, OptionsAction::run, {1, 60, 1, given, 77}, "", "77"},
    {{}, OptionsAction::run, {1, 60, 1, given, 123456789}, "", "123456789"},
    {{"--fullscreen"}, OptionsAction::run, {1, 60, 1, full_screen}, "", "0x600012"},
    {{"--window-id", "9"}, OptionsAction::run, {1, 60, 1, given, 9}, "", "0x600012"},
    // XScreenSaver's settings program previews the command of its list with
    // --window-id after it: the window named wins over --root and over
    // XSCREENSAVER_WINDOW.
    {{"--root", "--window-id", "0x200747"}, OptionsAction::run, {1, 60, 1, given, 0x200747}, ""},
    {{"--window-id", "0x200747", "--root"},
     OptionsAction::run,
     {1, 60, 1, given, 0x200747},
     "",
     "0x600012"},
    {{}, OptionsAction::run, {1, 60, 1}, "", ""},
    {{"--version"}, OptionsAction::version, {}, ""},
    {{"--version", "--help"}, OptionsAction::help, {}, ""},
    {{"--help"}, OptionsAction::help, {}, "", "not a number"},
    {{"--scale", "0"}, OptionsAction::bad, {}, "--scale 0 is out of range (1-8)"},
    {{"--scale", "9"}, OptionsAction::bad, {}, "--scale 9 is out of range (1-8)"},
    {{"--fps", "0"}, OptionsAction::bad, {}, "--fps 0 is out of range (1-1000, or max)"},
    {{"--fps=1001"}, OptionsAction::bad, {}, "--fps 1001 is out of range (1-1000, or max)"},
    {{"--fps", "MAX"}, OptionsAction::bad, {}, "--fps MAX is not a number or max"},
    {{"--fps"}, OptionsAction::bad, {}, "--fps needs a number or max"},
    {{"--frame", "-1"}, OptionsAction::bad, {}, "--frame -1 is out of range (0-2147483647)"},
    {{"--frame", "2147483648"},
     OptionsAction::bad,
     {},
     "--frame 2147483648 is out of range (0-2147483647)"},
    {{"--fullscreen", "--root"},
     OptionsAction::bad,
     {},
     "--root cannot be given with --fullscreen"},
    {{"--window-id", "5", "--fullscreen"},
     OptionsAction::bad,
     {},
     "--window-id cannot be given with --fullscreen"},
    {{"--window-id", "0"},
     OptionsAction::bad,
     {},
     "--window-id 0 is not a window (a number, decimal or hexadecimal after 0x)"},
    {{"--window-id", "0x1g"},
     OptionsAction::bad,
     {},
     "--window-id 0x1g is not a window (a number, decimal or hexadecimal after 0x)"},
    {{"--window-id", "4294967296"},
     OptionsAction::bad,
     {},
     "--window-id 4294967296 is not a window (a number, decimal or hexadecimal after 0x)"},
    {{},
     OptionsAction::bad,
     {},
     "XSCREENSAVER_WINDOW=0x60z is not a window (a number, decimal or hexadecimal after 0x)",
     "0x60z"},
    // A mistake after --help is still a mistake.
    {{"--help", "--scale", "x"}, OptionsAction::bad, {}, "--scale x is not a number"},
};

std::string describe(const Case& c) {
    std::string text = c.screen_saver_window != nullptr
                           ? std::string("XSCREENSAVER_WINDOW=") + c.screen_saver_window + " "
                           : "";
    text += "quenlixor-julia";
    for (const char* argument : c.arguments) {
        text += std::string(" ") + argument;
    }
    return text;
}

OptionsAction parse(const Case& c, const DisplayForms& forms, ProgramOptions& options,
                    std::string& problem) {
    std::vector<const char*> argv = {"quenlixor-julia"};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    options.scale = 5;
    options.fps = 5;
    problem = "left over";
    return parse_options(static_cast<int>(argv.size()), argv.data(), forms, c.screen_saver_window,
                         options, problem);
}

const DisplayForms every_form = {true, true, true};

TEST(ProgramOptionsTest, EachCommandLineGivesItsActionOptionsAndProblem) {
    for (const Case& c : cases) {
        ProgramOptions options;
        std::string problem;
        const OptionsAction action = parse(c, every_form, options, problem);
        SCOPED_TRACE(describe(c));
        EXPECT_EQ(action, c.action);
        if (c.action == OptionsAction::bad) {
            EXPECT_EQ(problem, c.problem);
        } else if (c.action == OptionsAction::run) {
            EXPECT_EQ(options.scale, c.options.scale);
            EXPECT_EQ(options.scale_given, c.options.scale_given);
            EXPECT_EQ(options.fps, c.options.fps);
            EXPECT_EQ(options.first_frame, c.options.first_frame);
            EXPECT_EQ(options.form, c.options.form);
            EXPECT_EQ(options.window, c.options.window);
        }
    }
}

TEST(ProgramOptionsTest, FormsTheDisplayCannotShowHaveNoOption) {
    const DisplayForms window_only = {false, false, false};
    const struct {
        const char* argument;
        const char* problem;
    } refused[] = {
        {"--fullscreen", "unknown option --fullscreen"},
        {"--root", "unknown option --root"},
        {"--window-id=3", "unknown option --window-id"},
    };
    for (const auto& c : refused) {
        ProgramOptions options;
        std::string problem;
        EXPECT_EQ(
            parse(Case{{c.argument}, OptionsAction::bad, {}, ""}, window_only, options, problem),
            OptionsAction::bad);
        EXPECT_EQ(problem, c.problem);
    }
    // Nor does XScreenSaver's window make it draw elsewhere than its own.
    ProgramOptions options;
    std::string problem;
    EXPECT_EQ(
        parse(Case{{}, OptionsAction::run, {}, "", "0x600012"}, window_only, options, problem),
        OptionsAction::run);
    EXPECT_EQ(options.form, DisplayForm::window);
}

TEST(ProgramOptionsTest, ThePlaceAsksForTheWindowsScaleOrTheLargestBlockThatFits) {
    ProgramOptions options;
    options.scale = 3;
    options.scale_given = true;
    DisplayPlace place = display_place(options);
    EXPECT_EQ(place.form, DisplayForm::window);
    EXPECT_EQ(place.scale, 3);
    options.form = DisplayForm::full_screen;
    EXPECT_EQ(display_place(options).scale, 3);
    options.scale_given = false;
    options.scale = 1;
    EXPECT_EQ(display_place(options).scale, 0);
    options.form = DisplayForm::given_window;
    options.window = 0x2a00007;
    place = display_place(options);
    EXPECT_EQ(place.form, DisplayForm::given_window);
    EXPECT_EQ(place.scale, 0);
    EXPECT_EQ(place.window, 0x2a00007U);
}

TEST(ProgramOptionsTest, TheFrameBeforeTheFirstFrameWrapsBelowZero) {
    EXPECT_EQ(frame_number_before(0), 2147483647);
    EXPECT_EQ(frame_number_before(1), 0);
    EXPECT_EQ(frame_number_before(2147483647), 2147483646);
}

TEST(ProgramOptionsTest, TheUsageNamesEveryOptionTheDisplayHas) {
    const std::string usage = program_usage(every_form);
    for (const char* name : {"--scale N", "--fps N", "--fps max", "--frame N", "--fullscreen",
                             "--root", "--window-id ID", "--help", "--version"}) {
        EXPECT_NE(usage.find(name), std::string::npos) << name;
    }
    EXPECT_NE(usage.find("seizures"), std::string::npos) << "--fps max is said to flash";
    EXPECT_EQ(usage.back(), '\n');
    const std::string window_usage = program_usage(DisplayForms{false, false, false});
    for (const char* name : {"--fullscreen", "--root", "--window-id"}) {
        EXPECT_EQ(window_usage.find(name), std::string::npos) << name;
    }
}

// The screen saver's command line, as Windows and its screen-saver library
// pass it.
TEST(ProgramOptionsTest, TheScreenSaverTakesWindowsArgumentsInAnyCaseWithSlashOrDash) {
    const struct {
        std::vector<const char*> arguments;
        SaverAction action;
        std::uint64_t window;
        std::string problem;
    } saver_cases[] = {
        {{}, SaverAction::settings, 0, ""},
        {{"/s"}, SaverAction::run, 0, ""},
        {{"/S"}, SaverAction::run, 0, ""},
        {{"-s"}, SaverAction::run, 0, ""},
        {{"/p", "1234"}, SaverAction::preview, 1234, ""},
        {{"/P:1234"}, SaverAction::preview, 1234, ""},
        {{"-p", "66318"}, SaverAction::preview, 66318, ""},
        {{"-P:18446744073709551615"}, SaverAction::preview, 18446744073709551615U, ""},
        {{"/c"}, SaverAction::settings, 0, ""},
        {{"/C:3932"}, SaverAction::settings, 3932, ""},
        {{"-c", "3932"}, SaverAction::settings, 3932, ""},
        {{"/p"}, SaverAction::bad, 0, "/p needs a window handle (a decimal number): /p 1234"},
        {{"/p:"}, SaverAction::bad, 0, "/p needs a window handle (a decimal number): /p:1234"},
        {{"/c:"}, SaverAction::bad, 0, "/c needs a window handle (a decimal number): /c:1234"},
        {{"/p", "0x4D2"},
         SaverAction::bad,
         0,
         "/p 0x4D2 is not a window handle (a decimal number from 1 on)"},
        {{"/p", "0"},
         SaverAction::bad,
         0,
         "/p 0 is not a window handle (a decimal number from 1 on)"},
        {{"/p:18446744073709551616"},
         SaverAction::bad,
         0,
         "/p 18446744073709551616 is not a window handle (a decimal number from 1 on)"},
        {{"/p", "18446744073709551617"},
         SaverAction::bad,
         0,
         "/p 18446744073709551617 is not a window handle (a decimal number from 1 on)"},
        {{"/p", "-5"},
         SaverAction::bad,
         0,
         "/p -5 is not a window handle (a decimal number from 1 on)"},
        {{"/c", "x"},
         SaverAction::bad,
         0,
         "/c x is not a window handle (a decimal number from 1 on)"},
        {{"/s", "1234"}, SaverAction::bad, 0, "unexpected argument 1234"},
        {{"/p", "1234", "/s"}, SaverAction::bad, 0, "unexpected argument /s"},
        {{"/s:1"},
         SaverAction::bad,
         0,
         "unknown argument /s:1 (/s runs the screen saver, /p HWND previews it, /c shows its "
         "settings)"},
        {{"/a"},
         SaverAction::bad,
         0,
         "unknown argument /a (/s runs the screen saver, /p HWND previews it, /c shows its "
         "settings)"},
        {{"s"},
         SaverAction::bad,
         0,
         "unknown argument s (/s runs the screen saver, /p HWND previews it, /c shows its "
         "settings)"},
        {{"/preview"},
         SaverAction::bad,
         0,
         "unknown argument /preview (/s runs the screen saver, /p HWND previews it, /c shows "
         "its settings)"},
        {{"--s"},
         SaverAction::bad,
         0,
         "unknown argument --s (/s runs the screen saver, /p HWND previews it, /c shows its "
         "settings)"},
    };
    for (const auto& c : saver_cases) {
        std::vector<const char*> argv = {"quenlixor-julia.scr"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        std::uint64_t handle = 77;
        std::string problem;
        const SaverAction action =
            parse_saver_arguments(static_cast<int>(argv.size()), argv.data(), handle, problem);
        std::string line;
        for (const char* argument : c.arguments) {
            line += std::string(argument) + " ";
        }
        SCOPED_TRACE(line);
        EXPECT_EQ(action, c.action);
        EXPECT_EQ(handle, c.window);
        EXPECT_EQ(problem, c.problem);
    }
}

}  // namespace
}  // namespace quenlixor
