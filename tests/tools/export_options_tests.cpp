// julia-frames' command line read into its options: what each option sets,
// where the outputs go, and the line each mistake gives.
#include "tools/export_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quenlixor {
namespace {

struct Parsed {
    ParseResult result;
    ExportOptions options;
    std::string message;
};

Parsed parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "julia-frames");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    Parsed parsed;
    parsed.result = parse_export_options(static_cast<int>(argv.size()), argv.data(), parsed.options,
                                         parsed.message);
    return parsed;
}

TEST(ExportOptionsTest, EveryOptionGoesToItsPlace) {
    const Parsed parsed =
        parse({"--frame=7", "--count", "3",        "--step",     "2",       "--threads", "256",
               "--fps",     "50",      "--kernel", "sse2",       "--quiet", "--gif",     "a.gif",
               "--apng",    "a.png",   "--png",    "f-%04d.png", "--raw",   "-"});
    ASSERT_EQ(parsed.result, ParseResult::run) << parsed.message;
    const ExportOptions& options = parsed.options;
    EXPECT_EQ(options.first_frame, 7);
    EXPECT_EQ(options.count, 3);
    EXPECT_EQ(options.step, 2);
    EXPECT_EQ(options.threads, 256);
    EXPECT_EQ(gif_fps(options), 50);
    EXPECT_EQ(apng_fps(options), 50);
    EXPECT_EQ(options.kernel, "sse2");
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.gif_path, "a.gif");
    EXPECT_EQ(options.apng_path, "a.png");
    EXPECT_EQ(options.png.destination, Destination::sequence);
    EXPECT_EQ(options.png.path, "f-%04d.png");
    EXPECT_EQ(options.raw.destination, Destination::stream);
    EXPECT_EQ(frame_at(options, 2), 11);
}

TEST(ExportOptionsTest, DefaultsAndALastFrameFile) {
    const Parsed parsed = parse({"--frame", "2147483647", "--raw", "last.raw"});
    ASSERT_EQ(parsed.result, ParseResult::run) << parsed.message;
    EXPECT_EQ(parsed.options.count, 1);
    EXPECT_EQ(parsed.options.step, 1);
    EXPECT_EQ(parsed.options.threads, 0);
    EXPECT_EQ(gif_fps(parsed.options), 25);
    EXPECT_EQ(apng_fps(parsed.options), 60);
    EXPECT_TRUE(parsed.options.kernel.empty());
    EXPECT_FALSE(parsed.options.quiet);
    EXPECT_EQ(parsed.options.raw.destination, Destination::last_frame);
    EXPECT_EQ(parsed.options.png.destination, Destination::none);
    EXPECT_EQ(frame_at(parsed.options, 1), 0);  // the frame after the last is 0
}

TEST(ExportOptionsTest, HelpEitherWayAndVersion) {
    EXPECT_EQ(parse({"--help"}).result, ParseResult::help);
    EXPECT_EQ(parse({"-h"}).result, ParseResult::help);
    EXPECT_EQ(parse({"--help", "--bogus"}).result, ParseResult::bad);
    EXPECT_EQ(parse({"--version"}).result, ParseResult::version);
    EXPECT_EQ(parse({"--version", "--version"}).result, ParseResult::bad);
}

TEST(ExportOptionsTest, EachMistakeGivesItsLine) {
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{}, "--frame N is required"},
        {{"--raw", "x"}, "--frame N is required"},
        {{"--frame", "1"}, "nothing to do: give --apng, --gif, --png, --raw or --count K"},
        {{"--frame"}, "--frame needs a number"},
        {{"--frame", "-1", "--raw", "x"}, "--frame -1 is out of range (0-2147483647)"},
        {{"--frame", "+5", "--raw", "x"}, "--frame +5 is not a number"},
        {{"--frame", "1", "--frame", "2"}, "--frame is given twice"},
        {{"--frame", "1", "--count", "0"}, "--count 0 is out of range (1-2147483647)"},
        {{"--frame", "1", "--step", "2147483648"},
         "--step 2147483648 is out of range (1-2147483647)"},
        {{"--frame", "1", "--threads", "257"}, "--threads 257 is out of range (1-256)"},
        {{"--frame", "1", "--fps", "61"}, "--fps 61 is out of range (1-60)"},
        {{"--frame", "1", "--fps", "51", "--gif", "a.gif"},
         "--fps 51: a GIF plays at most 50 frames a second (its delays are whole hundredths; "
         "the APNG plays up to 60)"},
        {{"--frame", "1", "--count", "1073741825", "--apng", "a.png"},
         "--count 1073741825: an APNG holds at most 1073741824 frames"},
        {{"--frame", "1", "--frames", "2"}, "unknown option --frames"},
        {{"--frame", "1", "out.raw"}, "unexpected argument out.raw"},
        {{"--frame", "1", "--raw", ""}, "--raw needs a value"},
        {{"--frame", "1", "--gif="}, "--gif needs a value"},
        {{"--frame", "1", "--raw", "a", "--raw", "b"}, "--raw is given twice"},
        {{"--frame", "1", "--quiet", "--quiet", "--count", "1"}, "--quiet is given twice"},
        {{"--frame", "1", "--png", "-"},
         "--png cannot write to standard output; only --apng -, --gif - and --raw - can"},
        {{"--frame", "1", "--gif", "-", "--raw", "-"},
         "only one of --apng -, --gif - and --raw - can write to standard output"},
        {{"--frame", "1", "--apng", "-", "--gif", "-"},
         "only one of --apng -, --gif - and --raw - can write to standard output"},
        {{"--frame", "1", "--count", "2", "--raw", "f%d-%d"},
         "--raw pattern 'f%d-%d' must have exactly one integer conversion such as %d, not 2"},
    };
    for (const auto& c : cases) {
        const Parsed parsed = parse(c.arguments);
        EXPECT_EQ(parsed.result, ParseResult::bad) << c.message;
        EXPECT_EQ(parsed.message, c.message);
    }
}

}  // namespace
}  // namespace quenlixor
