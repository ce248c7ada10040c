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

struct Case {
    std::vector<const char*> arguments;  // after the program's name
    OptionsAction action;
    ProgramOptions options;  // when the action is run
    std::string problem;     // when it is bad
};

const Case cases[] = {
    {{}, OptionsAction::run, {1, 0, 1}, ""},
    {{"--scale", "1"}, OptionsAction::run, {1, 0, 1}, ""},
    {{"--scale", "8"}, OptionsAction::run, {8, 0, 1}, ""},
    {{"--scale=2", "--fps", "1"}, OptionsAction::run, {2, 1, 1}, ""},
    {{"--fps", "1000"}, OptionsAction::run, {1, 1000, 1}, ""},
    {{"--frame", "0"}, OptionsAction::run, {1, 0, 0}, ""},
    {{"--frame", "2147483647", "--scale", "3"}, OptionsAction::run, {3, 0, 2147483647}, ""},
    {{"--version"}, OptionsAction::version, {}, ""},
    {{"--version", "--help"}, OptionsAction::help, {}, ""},
    {{"--scale", "0"}, OptionsAction::bad, {}, "--scale 0 is out of range (1-8)"},
    {{"--scale", "9"}, OptionsAction::bad, {}, "--scale 9 is out of range (1-8)"},
    {{"--fps", "0"}, OptionsAction::bad, {}, "--fps 0 is out of range (1-1000)"},
    {{"--fps=1001"}, OptionsAction::bad, {}, "--fps 1001 is out of range (1-1000)"},
    {{"--frame", "-1"}, OptionsAction::bad, {}, "--frame -1 is out of range (0-2147483647)"},
    {{"--frame", "2147483648"},
     OptionsAction::bad,
     {},
     "--frame 2147483648 is out of range (0-2147483647)"},
    // A mistake after --help is still a mistake.
    {{"--help", "--scale", "x"}, OptionsAction::bad, {}, "--scale x is not a number"},
};

std::string describe(const Case& c) {
    std::string text = "quenlixor-julia";
    for (const char* argument : c.arguments) {
        text += std::string(" ") + argument;
    }
    return text;
}

TEST(ProgramOptionsTest, EachCommandLineGivesItsActionOptionsAndProblem) {
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"quenlixor-julia"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        ProgramOptions options{5, 5, 5};
        std::string problem = "left over";
        const OptionsAction action =
            parse_options(static_cast<int>(argv.size()), argv.data(), options, problem);
        SCOPED_TRACE(describe(c));
        EXPECT_EQ(action, c.action);
        if (c.action == OptionsAction::bad) {
            EXPECT_EQ(problem, c.problem);
        } else if (c.action == OptionsAction::run) {
            EXPECT_EQ(options.scale, c.options.scale);
            EXPECT_EQ(options.fps, c.options.fps);
            EXPECT_EQ(options.first_frame, c.options.first_frame);
        }
    }
}

TEST(ProgramOptionsTest, TheFrameBeforeTheFirstFrameWrapsBelowZero) {
    EXPECT_EQ(frame_number_before(0), 2147483647);
    EXPECT_EQ(frame_number_before(1), 0);
    EXPECT_EQ(frame_number_before(2147483647), 2147483646);
}

TEST(ProgramOptionsTest, TheUsageNamesEveryOption) {
    const std::string usage = usage_text;
    for (const char* name : {"--scale N", "--fps N", "--frame N", "--help", "--version"}) {
        EXPECT_NE(usage.find(name), std::string::npos) << name;
    }
    EXPECT_EQ(usage.back(), '\n');
}

}  // namespace
}  // namespace quenlixor
