// The shared command-line rules on a table of each kind of option: values
// after '=' and as the next argument alike, what is never a value, the edges
// of a range, every mistake's line, and which options were given.
#include "animation/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quenlixor {
namespace {

struct Read {
    bool ok = false;
    std::string problem;
    bool flag = false;
    std::int32_t number = -7;
    std::string text = "unset";
    bool number_given = false;
};

Read read(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "program");
    Read result;
    CommandOption table[] = {
        flag_option("--flag", result.flag),
        number_option("--number", -3, 40, result.number),
        text_option("--text", result.text),
    };
    result.ok = read_command_line(static_cast<int>(arguments.size()), arguments.data(), table,
                                  result.problem);
    result.number_given = option_given(table, "--number");
    return result;
}

TEST(CommandLineTest, AValueFollowsTheNameOrAnEqualsSignAlike) {
    for (const auto& arguments : std::vector<std::vector<const char*>>{
             {"--number", "40", "--text", "a=b", "--flag"},
             {"--number=40", "--text=a=b", "--flag"},
         }) {
        const Read result = read(arguments);
        EXPECT_TRUE(result.ok) << result.problem;
        EXPECT_TRUE(result.flag);
        EXPECT_EQ(result.number, 40);
        EXPECT_EQ(result.text, "a=b");
        EXPECT_TRUE(result.number_given);
    }
    const Read negative = read({"--number", "-3", "--text", "-"});
    EXPECT_TRUE(negative.ok) << negative.problem;
    EXPECT_EQ(negative.number, -3);
    EXPECT_EQ(negative.text, "-");
}

TEST(CommandLineTest, NothingGivenLeavesEveryPlaceAsItWas) {
    const Read result = read({});
    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(result.flag);
    EXPECT_EQ(result.number, -7);
    EXPECT_EQ(result.text, "unset");
    EXPECT_FALSE(result.number_given);
}

TEST(CommandLineTest, EachMistakeIsOneLineNamingTheOption) {
    const struct {
        std::vector<const char*> arguments;
        const char* problem;
    } cases[] = {
        {{"--number", "41"}, "--number 41 is out of range (-3-40)"},
        {{"--number", "-4"}, "--number -4 is out of range (-3-40)"},
        {{"--number=99999999999999999999"},
         "--number 99999999999999999999 is out of range (-3-40)"},
        {{"--number", "+5"}, "--number +5 is not a number"},
        {{"--number", "-"}, "--number - is not a number"},
        {{"--number", "4x"}, "--number 4x is not a number"},
        {{"--number"}, "--number needs a number"},
        {{"--number", ""}, "--number needs a number"},
        {{"--number="}, "--number needs a number"},
        {{"--number", "--flag"}, "--number needs a number"},
        {{"--text"}, "--text needs a value"},
        {{"--text", ""}, "--text needs a value"},
        {{"--text="}, "--text needs a value"},
        {{"--text", "--flag"}, "--text needs a value"},
        {{"--flag=1"}, "--flag takes no value"},
        {{"--flag", "--flag"}, "--flag is given twice"},
        {{"--text", "a", "--text=b"}, "--text is given twice"},
        {{"--other"}, "unknown option --other"},
        {{"--other=1"}, "unknown option --other"},
        {{"-f"}, "unknown option -f"},
        {{"loose"}, "unexpected argument loose"},
        // The first mistake is the one named.
        {{"--number", "50", "--other"}, "--number 50 is out of range (-3-40)"},
    };
    for (const auto& c : cases) {
        const Read result = read(c.arguments);
        EXPECT_FALSE(result.ok) << c.problem;
        EXPECT_EQ(result.problem, c.problem);
    }
}

}  // namespace
}  // namespace quenlixor
