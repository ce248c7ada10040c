// Tests of the julia-frames tool, run as the real program in a child
// process: its refusals of bad input, its failures to write, and the frames
// it writes, checked against the renderer linked into this test.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"

#if defined(QUENLIXOR_HAVE_PNG)
#include <png.h>
#endif

namespace quenlixor {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The text in single quotes for the shell.
std::string quoted(const std::string& text) {
    std::string result(1, '\'');
    for (const char c : text) {
        if (c == '\'') {
            result.append("'\\''");
        } else {
            result.push_back(c);
        }
    }
    result.push_back('\'');
    return result;
}

class JuliaFramesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/julia-frames-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        work_ = pattern;
        outputs_ = work_ / "outputs";
        fs::create_directory(outputs_);
    }
    void TearDown() override { fs::remove_all(work_); }

    Outcome run(const std::vector<std::string>& arguments) {
        std::string command = quoted(QUENLIXOR_JULIA_FRAMES);
        for (const std::string& argument : arguments) {
            command.push_back(' ');
            command.append(quoted(argument));
        }
        const fs::path out = work_ / "stdout";
        const fs::path err = work_ / "stderr";
        command.append(" >");
        command.append(quoted(out.string()));
        command.append(" 2>");
        command.append(quoted(err.string()));
        command.append(" </dev/null");
        const int raw_status = std::system(command.c_str());
        Outcome outcome;
        outcome.status = WIFEXITED(raw_status) ? WEXITSTATUS(raw_status) : -1;
        outcome.out = read_file(out);
        outcome.err = read_file(err);
        return outcome;
    }

    std::vector<std::string> files_in_outputs() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(outputs_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    std::string output(const std::string& name) const { return (outputs_ / name).string(); }

    fs::path work_;
    fs::path outputs_;
};

// The frame with the given number as the renderer in this process makes it,
// as the 307,200 bytes of a raw file.
std::string expected_raw_frame(std::int32_t number) {
    prepare_tables();
    use_kernel(Kernel::reference);
    frame_number = number == 0 ? 0x7FFFFFFF : number - 1;
    render_frame();
    std::string bytes;
    for (const std::uint32_t word : framebuffer) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes += static_cast<char>((word >> shift) & 0xFF);
        }
    }
    return bytes;
}

int count_lines(const std::string& text) {
    int lines = 0;
    for (const char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

struct BadInput {
    const char* what;
    std::vector<std::string> arguments;
};

TEST_F(JuliaFramesTest, RefusesBadInputWithOneLineAndStatus2) {
    const std::vector<BadInput> cases = {
        {"no arguments", {}},
        {"no frame", {"--raw", "OUT"}},
        {"frame without value", {"--frame"}},
        {"negative frame", {"--frame", "-1", "--raw", "OUT"}},
        {"frame past the range", {"--frame", "2147483648", "--raw", "OUT"}},
        {"huge frame", {"--frame", "99999999999999999999999", "--raw", "OUT"}},
        {"non-numeric frame", {"--frame", "12x", "--raw", "OUT"}},
        {"empty frame", {"--frame", "", "--raw", "OUT"}},
        {"signed frame", {"--frame", "+5", "--raw", "OUT"}},
        {"frame given twice", {"--frame", "1", "--frame", "2", "--raw", "OUT"}},
        {"zero count", {"--frame", "1", "--count", "0", "--raw", "OUT"}},
        {"count past the range", {"--frame", "1", "--count", "2147483648", "--raw", "OUT"}},
        {"non-numeric count", {"--frame", "1", "--count", "many"}},
        {"unknown option", {"--frame", "1", "--frames", "2", "--raw", "OUT"}},
        {"stray argument", {"--frame", "1", "OUT"}},
        {"unknown kernel", {"--frame", "1", "--kernel", "fastest", "--raw", "OUT"}},
        {"no output and no count", {"--frame", "1"}},
        {"raw without path", {"--frame", "1", "--raw"}},
        {"empty raw path", {"--frame", "1", "--raw", ""}},
        {"raw given twice", {"--frame", "1", "--raw", "OUT", "--raw", "OUT"}},
    };
    for (const BadInput& bad : cases) {
        std::vector<std::string> arguments;
        for (const std::string& argument : bad.arguments) {
            arguments.push_back(argument == "OUT" ? output("frame.raw") : argument);
        }
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.status, 2) << bad.what;
        EXPECT_EQ(count_lines(outcome.err), 1) << bad.what << ": " << outcome.err;
        EXPECT_EQ(outcome.err.rfind("julia-frames: ", 0), 0U) << bad.what << ": " << outcome.err;
        EXPECT_TRUE(outcome.out.empty()) << bad.what;
        EXPECT_TRUE(files_in_outputs().empty()) << bad.what;
    }
}

TEST_F(JuliaFramesTest, HelpPrintsUsage) {
    const Outcome outcome = run({"--help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out.rfind("usage: julia-frames --frame N", 0), 0U) << outcome.out;
    EXPECT_TRUE(outcome.err.empty());
}

TEST_F(JuliaFramesTest, UnwritablePathGivesStatus1AndLeavesNothing) {
    // A folder that does not exist, and a destination that is a folder.
    const std::string missing = output("missing/frame.raw");
    Outcome outcome = run({"--frame", "7", "--raw", missing});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find(missing), std::string::npos) << outcome.err;
    EXPECT_TRUE(files_in_outputs().empty());

    fs::create_directory(outputs_ / "taken");
    outcome = run({"--frame", "7", "--raw", output("taken")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(files_in_outputs(), std::vector<std::string>{"taken"});
    EXPECT_TRUE(fs::is_empty(outputs_ / "taken"));
}

TEST_F(JuliaFramesTest, RawFileIsTheFramebufferOfThatFrame) {
    for (const std::int32_t number : {1, 1000, 2147483647}) {
        const std::string path = output("frame.raw");
        const Outcome outcome = run({"--frame", std::to_string(number), "--raw", path});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_TRUE(outcome.err.empty());
        const std::string written = read_file(path);
        ASSERT_EQ(written.size(), 307200U);
        EXPECT_TRUE(written == expected_raw_frame(number)) << "frame " << number;
        EXPECT_EQ(files_in_outputs(), std::vector<std::string>{"frame.raw"});
    }
}

TEST_F(JuliaFramesTest, CountRendersOnAndWrapsAfterTheLastFrameNumber) {
    const Outcome outcome =
        run({"--frame", "2147483646", "--count", "3", "--raw", output("wrapped.raw")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    // 2147483646, 2147483647, then 0.
    EXPECT_TRUE(read_file(output("wrapped.raw")) == expected_raw_frame(0));

    const Outcome counted = run({"--frame", "998", "--count", "3", "--raw", output("1000.raw")});
    ASSERT_EQ(counted.status, 0) << counted.err;
    EXPECT_TRUE(read_file(output("1000.raw")) == expected_raw_frame(1000));
}

TEST_F(JuliaFramesTest, CountAloneRendersAndWritesNothing) {
    const Outcome outcome = run({"--frame", "5", "--count", "2"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(files_in_outputs().empty());
}

TEST_F(JuliaFramesTest, EveryAvailableKernelWritesTheSameFrame) {
    const std::string expected = expected_raw_frame(4321);
    for (const Kernel kernel : {Kernel::reference, Kernel::sse2, Kernel::avx2, Kernel::avx512}) {
        const std::string path = output(std::string(kernel_name(kernel)) + ".raw");
        const Outcome outcome =
            run({"--frame", "4321", "--kernel", kernel_name(kernel), "--raw", path});
        if (!kernel_available(kernel)) {
            EXPECT_EQ(outcome.status, 2) << kernel_name(kernel);
            continue;
        }
        ASSERT_EQ(outcome.status, 0) << kernel_name(kernel) << ": " << outcome.err;
        EXPECT_TRUE(read_file(path) == expected) << kernel_name(kernel);
    }
}

TEST_F(JuliaFramesTest, ReplacesAnExistingFileWhole) {
    const std::string path = output("frame.raw");
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(500000, 'x');
    }
    const Outcome outcome = run({"--frame", "3", "--raw=" + path});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(read_file(path) == expected_raw_frame(3));
}

#if defined(QUENLIXOR_HAVE_PNG)
TEST_F(JuliaFramesTest, PngShowsTheFrameAsA32BitDesktopDoes) {
    const std::string path = output("frame.png");
    const Outcome outcome = run({"--frame", "1", "--png", path});
    ASSERT_EQ(outcome.status, 0) << outcome.err;

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0) << image.message;
    EXPECT_EQ(image.width, 320U);
    EXPECT_EQ(image.height, 240U);
    EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_RGB));
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0)
        << image.message;

    expected_raw_frame(1);
    int differing = 0;
    bool any_high_bits = false;
    for (int pixel = 0; pixel < pixel_count; ++pixel) {
        const std::uint32_t word = framebuffer[pixel];
        any_high_bits = any_high_bits || (word >> 24) != 0;
        const auto at = static_cast<std::size_t>(pixel) * 3;
        const std::uint32_t shown = (static_cast<std::uint32_t>(pixels[at]) << 16) |
                                    (static_cast<std::uint32_t>(pixels[at + 1]) << 8) |
                                    pixels[at + 2];
        differing += shown != (word & 0x00FFFFFFU) ? 1 : 0;
    }
    EXPECT_EQ(differing, 0);
    // The frame uses palette entries with bit 24 set, which the picture drops.
    EXPECT_TRUE(any_high_bits);
}

TEST_F(JuliaFramesTest, AFailedOutputDoesNotStopTheOther) {
    const Outcome outcome =
        run({"--frame", "9", "--raw", output("missing/frame.raw"), "--png", output("frame.png")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(count_lines(outcome.err), 1) << outcome.err;
    EXPECT_EQ(files_in_outputs(), std::vector<std::string>{"frame.png"});
}
#endif

}  // namespace
}  // namespace quenlixor
