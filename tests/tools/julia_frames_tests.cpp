// Tests of the julia-frames tool, run as the real program in a child
// process: its refusals of bad input, its failures to write, and the frames
// it writes, checked against the renderer linked into this test (its
// reference kernel) and, for GIFs, decoded with giflib.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "animation/flash_check.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "platform/processor_features.h"

#if defined(QUENLIXOR_HAVE_PNG)
#include <png.h>
#include <zlib.h>
#endif
#if defined(QUENLIXOR_HAVE_GIF)
#include <gif_lib.h>
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

// The words of the command that runs julia-frames, built for another
// processor, on this machine (QUENLIXOR_TOOL_LAUNCHER, split at spaces;
// none natively).
std::vector<std::string> launcher_words() {
    std::vector<std::string> words;
    std::string word;
    for (const char c : std::string(QUENLIXOR_TOOL_LAUNCHER) + ' ') {
        if (c != ' ') {
            word.push_back(c);
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

// julia-frames as a shell command, through the launcher.
std::string tool_command() {
    std::string command;
    for (const std::string& word : launcher_words()) {
        command += quoted(word) + ' ';
    }
    return command + quoted(QUENLIXOR_JULIA_FRAMES);
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

    // Runs julia-frames with `environment` (NAME=VALUE words) added; its
    // standard output goes to `out_path` (by default a file read into
    // Outcome::out).
    Outcome run(const std::vector<std::string>& arguments, const std::string& out_path = "",
                const std::string& environment = "") {
        std::string command =
            (environment.empty() ? "" : "env " + environment + " ") + tool_command();
        for (const std::string& argument : arguments) {
            command.push_back(' ');
            command.append(quoted(argument));
        }
        const fs::path out = out_path.empty() ? work_ / "stdout" : fs::path(out_path);
        const fs::path err = work_ / "stderr";
        command.append(" >");
        command.append(quoted(out.string()));
        command.append(" 2>");
        command.append(quoted(err.string()));
        command.append(" </dev/null");
        const int raw_status = std::system(command.c_str());
        Outcome outcome;
        outcome.status = WIFEXITED(raw_status) ? WEXITSTATUS(raw_status) : -1;
        outcome.out = out_path.empty() ? read_file(out) : std::string();
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
// as the 307,200 bytes of a raw file; the picture is left in framebuffer.
std::string expected_raw_frame(std::int32_t number) {
    prepare_tables();
    render_frame_into(number, framebuffer, reference_kernel);
    std::string bytes;
    for (const std::uint32_t word : framebuffer) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes += static_cast<char>((word >> shift) & 0xFF);
        }
    }
    return bytes;
}

// The pixels of `scaled` (scale x 320 by scale x 240 words) that differ
// from their pixel of `picture` with `mask` applied: 0 when every picture
// pixel shows as a scale x scale block.
int pixels_off_their_block(const std::vector<std::uint32_t>& scaled, const std::uint32_t* picture,
                           int scale, std::uint32_t mask) {
    const int width = 320 * scale;
    int wrong = 0;
    for (int y = 0; y < 240 * scale; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t expected = picture[(y / scale) * 320 + x / scale] & mask;
            wrong += scaled[static_cast<std::size_t>(y * width + x)] != expected ? 1 : 0;
        }
    }
    return wrong;
}

int count_lines(const std::string& text) {
    int lines = 0;
    for (const char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

#if defined(QUENLIXOR_HAVE_PNG)
// The picture of frame `number` at `scale` as a 32-bit desktop shows it:
// rows of red, green and blue bytes, every frame pixel a scale x scale
// block.
std::vector<unsigned char> expected_rgb_picture(std::int32_t number, int scale) {
    expected_raw_frame(number);
    const int width = picture_width * scale;
    std::vector<unsigned char> rgb;
    for (int y = 0; y < picture_height * scale; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t word = framebuffer[(y / scale) * picture_width + x / scale];
            rgb.push_back(static_cast<unsigned char>(word >> 16));
            rgb.push_back(static_cast<unsigned char>(word >> 8));
            rgb.push_back(static_cast<unsigned char>(word));
        }
    }
    return rgb;
}

void append_to_string(png_structp png, png_bytep data, png_size_t size) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), size);
}

void flush_nothing(png_structp /*png*/) {}

// libpng's own PNG of an RGB picture, with all its defaults: the filter
// choice, zlib's level, strategy and window, the data in IDAT chunks of
// its own size.
std::string libpng_file(const std::vector<unsigned char>& rgb, int width, int height) {
    std::string file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the picture";
        return {};
    }
    png_set_write_fn(png, &file, append_to_string, flush_nothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row) {
        png_write_row(png, rgb.data() + static_cast<std::size_t>(row * width * 3));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

std::uint32_t big_endian_32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// `file` with its IDAT chunks joined into one, every other chunk as it is:
// the chunks' lengths and CRCs computed here.
std::string with_one_idat(const std::string& file) {
    std::string data;
    std::vector<std::pair<std::string, std::string>> chunks;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::uint32_t length = big_endian_32(file, at);
        const std::string type = file.substr(at + 4, 4);
        const std::string contents = file.substr(at + 8, length);
        if (type != "IDAT") {
            chunks.emplace_back(type, contents);
        } else if (data.empty()) {
            chunks.emplace_back(type, "");
        }
        if (type == "IDAT") {
            data += contents;
        }
        at += 12 + length;
    }
    std::string joined = file.substr(0, 8);
    const auto put32 = [&joined](std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            joined += static_cast<char>((value >> shift) & 0xFF);
        }
    };
    for (const auto& [type, contents] : chunks) {
        const std::string typed = type + (type == "IDAT" ? data : contents);
        put32(static_cast<std::uint32_t>(typed.size() - 4));
        joined += typed;
        put32(static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0),
                                               reinterpret_cast<const Bytef*>(typed.data()),
                                               static_cast<uInt>(typed.size()))));
    }
    return joined;
}

// The PNG at `path` is, byte for byte, the file libpng writes of frame
// `number` at `scale` with its defaults, its image data in one chunk.
void expect_libpngs_own_bytes(const std::string& path, std::int32_t number, int scale) {
    const std::string written = read_file(path);
    const std::string expected = with_one_idat(libpng_file(
        expected_rgb_picture(number, scale), picture_width * scale, picture_height * scale));
    EXPECT_EQ(written.size(), expected.size()) << path;
    EXPECT_TRUE(written == expected) << path;
}
#endif

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
        {"zero step", {"--frame", "1", "--step", "0", "--raw", "OUT"}},
        {"step past the range", {"--frame", "1", "--step", "2147483648", "--raw", "OUT"}},
        {"zero threads", {"--frame", "1", "--threads", "0", "--raw", "OUT"}},
        {"too many threads", {"--frame", "1", "--threads", "257", "--raw", "OUT"}},
        {"fps too low", {"--frame", "1", "--fps", "0", "--gif", "OUT"}},
        {"fps too high", {"--frame", "1", "--fps", "51", "--gif", "OUT"}},
        {"pattern without conversion", {"--frame", "1", "--count", "2", "--raw", "OUT%%"}},
        {"pattern with two", {"--frame", "1", "--count", "2", "--raw", "OUT%d-%d"}},
        {"pattern of a string", {"--frame", "1", "--count", "2", "--raw", "OUT%s"}},
        {"pattern of a float", {"--frame", "1", "--count", "2", "--raw", "OUT%5.2f"}},
        {"pattern with a length", {"--frame", "1", "--count", "2", "--raw", "OUT%ld"}},
        {"pattern too wide", {"--frame", "1", "--count", "2", "--raw", "OUT%999d"}},
        {"bare percent", {"--frame", "1", "--count", "2", "--raw", "OUT%"}},
        {"png to stdout", {"--frame", "1", "--png", "-"}},
        {"gif given twice", {"--frame", "1", "--gif", "OUT", "--gif", "OUT"}},
        {"zero scale", {"--frame", "1", "--scale", "0", "--gif", "OUT"}},
        {"scale too large", {"--frame", "1", "--scale", "9", "--raw", "OUT"}},
        {"non-numeric scale", {"--frame", "1", "--scale", "2x", "--png", "OUT"}},
        {"scale given twice", {"--frame", "1", "--scale", "2", "--scale=2", "--gif", "OUT"}},
        {"fps too high for the APNG", {"--frame", "1", "--fps", "61", "--apng", "OUT"}},
        {"fps too high for the GIF beside it",
         {"--frame", "1", "--fps", "51", "--apng", "OUT.png", "--gif", "OUT.gif"}},
        {"apng without path", {"--frame", "1", "--apng"}},
        {"apng given twice", {"--frame", "1", "--apng", "OUT", "--apng", "OUT"}},
        {"two streams", {"--frame", "1", "--apng", "-", "--raw", "-"}},
        {"more frames than an APNG holds",
         {"--frame", "1", "--count", "1073741825", "--apng", "OUT"}},
    };
    for (const BadInput& bad : cases) {
        std::vector<std::string> arguments;
        for (const std::string& argument : bad.arguments) {
            arguments.push_back(argument.starts_with("OUT") ? output("frame" + argument.substr(3))
                                                            : argument);
        }
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.status, 2) << bad.what;
        EXPECT_EQ(count_lines(outcome.err), 1) << bad.what << ": " << outcome.err;
        EXPECT_EQ(outcome.err.rfind("julia-frames: ", 0), 0U) << bad.what << ": " << outcome.err;
        EXPECT_TRUE(outcome.out.empty()) << bad.what;
        EXPECT_TRUE(files_in_outputs().empty()) << bad.what;
    }
}

TEST_F(JuliaFramesTest, HelpPrintsUsageAndVersionTheProjectsVersion) {
    Outcome outcome = run({"--help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out.rfind("usage: julia-frames --frame N", 0), 0U) << outcome.out;
    EXPECT_TRUE(outcome.err.empty());
    outcome = run({"--version"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, std::string("julia-frames ") + QUENLIXOR_VERSION +
                               "\nrenderer kernel: " + fastest_kernel().name + "\n");
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
    for (const Kernel* kernel : kernel_table()) {
        const std::string path = output(std::string(kernel->name) + ".raw");
        const Outcome outcome = run({"--frame", "4321", "--kernel", kernel->name, "--raw", path});
        if (!kernel_available(*kernel)) {
            EXPECT_EQ(outcome.status, 2) << kernel->name;
            continue;
        }
        ASSERT_EQ(outcome.status, 0) << kernel->name << ": " << outcome.err;
        EXPECT_TRUE(read_file(path) == expected) << kernel->name;
    }
}

TEST_F(JuliaFramesTest, AKernelAboveTheCappedProcessorIsRefusedAsBadInput) {
    // QUENLIXOR_SIMD makes this processor one of a lower level, as an older
    // processor is: a kernel it cannot run (which there would stop on an
    // illegal instruction) is refused, with status 2 and one line; the
    // kernels it can run still write the frame.
    for (const char* level : {"none", "sse2"}) {
        SimdLevel cap = SimdLevel::none;
        ASSERT_TRUE(parse_simd_level(level, cap));
        const ProcessorFeatures capped = capped_features(read_processor_features(), cap);
        for (const Kernel* kernel : kernel_table()) {
            const bool runs = kernel->needs == nullptr || capped.*kernel->needs;
            const std::string path = output("frame.raw");
            const Outcome outcome =
                run({"--frame", "4321", "--kernel", kernel->name, "--raw", path}, "",
                    std::string("QUENLIXOR_SIMD=") + level);
            if (runs) {
                EXPECT_EQ(outcome.status, 0)
                    << level << ", " << kernel->name << ": " << outcome.err;
                EXPECT_EQ(read_file(path).size(), 307200U) << level << ", " << kernel->name;
                fs::remove(path);
                continue;
            }
            EXPECT_EQ(outcome.status, 2) << level << ", " << kernel->name;
            EXPECT_EQ(count_lines(outcome.err), 1) << level << ": " << outcome.err;
            EXPECT_EQ(outcome.err.rfind("julia-frames: ", 0), 0U) << outcome.err;
            EXPECT_NE(outcome.err.find(std::string(" ") + kernel->name + " "), std::string::npos)
                << outcome.err;
            EXPECT_TRUE(files_in_outputs().empty()) << level << ", " << kernel->name;
        }
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
    expect_libpngs_own_bytes(path, 1, 1);
}

TEST_F(JuliaFramesTest, PngAtAScaleIsEveryPixelAsABlock) {
    const std::string path = output("frame.png");
    const Outcome outcome = run({"--frame", "1234", "--scale", "3", "--png", path});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0) << image.message;
    EXPECT_EQ(image.width, 960U);
    EXPECT_EQ(image.height, 720U);
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0)
        << image.message;
    std::vector<std::uint32_t> shown(pixels.size() / 3);
    for (std::size_t pixel = 0; pixel < shown.size(); ++pixel) {
        shown[pixel] = (static_cast<std::uint32_t>(pixels[pixel * 3]) << 16) |
                       (static_cast<std::uint32_t>(pixels[pixel * 3 + 1]) << 8) |
                       pixels[pixel * 3 + 2];
    }
    expected_raw_frame(1234);
    EXPECT_EQ(pixels_off_their_block(shown, framebuffer, 3, 0x00FFFFFFU), 0);
    expect_libpngs_own_bytes(path, 1234, 3);
}

TEST_F(JuliaFramesTest, AFailedOutputDoesNotStopTheOther) {
    const Outcome outcome =
        run({"--frame", "9", "--raw", output("missing/frame.raw"), "--png", output("frame.png")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(count_lines(outcome.err), 1) << outcome.err;
    EXPECT_EQ(files_in_outputs(), std::vector<std::string>{"frame.png"});
}
#endif

TEST_F(JuliaFramesTest, PatternsWriteOneFilePerFrameNamedByItsNumber) {
    // 2147483640 + 3k: after 2147483647 comes 0, so the fourth frame is 1.
    const Outcome outcome = run({"--frame", "2147483640", "--count", "4", "--step", "3", "--raw",
                                 output("r-%d.raw"), "--png", output("p-%03x.png")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    std::vector<std::string> names = files_in_outputs();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"p-001.png", "p-7ffffff8.png", "p-7ffffffb.png",
                                               "p-7ffffffe.png", "r-1.raw", "r-2147483640.raw",
                                               "r-2147483643.raw", "r-2147483646.raw"}));
    for (const std::int32_t number : {2147483640, 2147483643, 2147483646, 1}) {
        EXPECT_TRUE(read_file(output("r-" + std::to_string(number) + ".raw")) ==
                    expected_raw_frame(number))
            << number;
    }
}

TEST_F(JuliaFramesTest, StreamCarriesEveryFrameInOrder) {
    const Outcome outcome = run({"--frame", "3", "--count", "3", "--step", "500", "--raw", "-"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(outcome.err.empty()) << outcome.err;
    ASSERT_EQ(outcome.out.size(), 3 * 307200U);
    EXPECT_TRUE(outcome.out ==
                expected_raw_frame(3) + expected_raw_frame(503) + expected_raw_frame(1003));
    EXPECT_TRUE(files_in_outputs().empty());
}

TEST_F(JuliaFramesTest, WarnsOfFlashesInOneLineAndStillWritesEveryFrame) {
    // The whole cycle at the defaults, as a GIF (25 frames a second), as an
    // APNG and as raw frames (60): no flash. Under an emulator (qemu-user)
    // that takes too long; the frames and the check's sums are the same,
    // bit for bit.
    Outcome outcome;
    if (launcher_words().empty()) {
        outcome = run({"--frame", "1", "--count", "3600", "--gif", output("a.gif"), "--apng",
                       output("a.png"), "--raw", "-"},
                      "/dev/null");
        EXPECT_EQ(outcome.status, 0);
        EXPECT_TRUE(outcome.err.empty()) << outcome.err;
    }

    // Every 11th frame at 60 a second flashes from its second frame on
    // (frame 23); --quiet keeps the warning, and the stream is whole. The
    // warning counts flashes, two changes each.
    outcome = run({"--frame", "1", "--count", "64", "--step", "11", "--quiet", "--raw", "-"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(count_lines(outcome.err), 1) << outcome.err;
    EXPECT_EQ(
        outcome.err.rfind("julia-frames: warning: the raw frames at 60 frames a second flash ", 0),
        0U)
        << outcome.err;
    EXPECT_NE(outcome.err.find("in the second from 0.03 s (frames 23 to 672:"), std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("can set off seizures in people with photosensitive epilepsy"),
              std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("(--apng, --gif and the program hold frames longer"),
              std::string::npos)
        << outcome.err;
    double flashes = 0;
    long changes = 0;
    ASSERT_EQ(std::sscanf(outcome.err.c_str() + outcome.err.find(" flash ") + 7, "%lf", &flashes),
              1);
    ASSERT_EQ(
        std::sscanf(outcome.err.c_str() + outcome.err.find(": ", outcome.err.find("(frames")) + 2,
                    "%ld", &changes),
        1);
    EXPECT_GE(changes, 7) << outcome.err;
    EXPECT_EQ(flashes * 2, static_cast<double>(changes)) << outcome.err;
    ASSERT_EQ(outcome.out.size(), 64 * 307200U);
    EXPECT_TRUE(outcome.out.substr(0, 307200) == expected_raw_frame(1));
    EXPECT_TRUE(outcome.out.substr(63 * 307200) == expected_raw_frame(1 + 63 * 11));

    // The same frames as PNG files: a sequence is an animation, judged the
    // same way; the last frame alone is a picture, not judged.
#if defined(QUENLIXOR_HAVE_PNG)
    outcome = run({"--frame", "1", "--count", "64", "--step", "11", "--png", output("p-%d.png")});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(
        outcome.err.rfind("julia-frames: warning: the PNG frames at 60 frames a second flash ", 0),
        0U)
        << outcome.err;
    outcome = run({"--frame", "1", "--count", "64", "--step", "11", "--png", output("last.png")});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(outcome.err.empty()) << outcome.err;
#endif

    // The APNG beside the raw frames: they flash at 60 a second, it does not,
    // held where it would; and at 30 frames a second, every 20th frame,
    // written whole.
    outcome = run(
        {"--frame", "1", "--count", "64", "--step", "11", "--raw", "-", "--apng", output("c.png")},
        "/dev/null");
    EXPECT_EQ(count_lines(outcome.err), 1) << outcome.err;
    EXPECT_EQ(
        outcome.err.rfind("julia-frames: warning: the raw frames at 60 frames a second flash ", 0),
        0U)
        << outcome.err;
    outcome = run({"--frame", "1", "--count", "60", "--step", "20", "--fps", "30", "--apng",
                   output("d.png")});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(outcome.err.empty()) << outcome.err;
    EXPECT_TRUE(read_file(output("d.png")).ends_with(std::string("IEND\xAE\x42\x60\x82", 8)));

    // A GIF at 50 frames a second, every 20th frame: held where it would
    // flash, so no warning, and written whole.
    outcome = run(
        {"--frame", "1", "--count", "60", "--step", "20", "--fps", "50", "--gif", output("b.gif")});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(outcome.err.empty()) << outcome.err;
    const std::string gif = read_file(output("b.gif"));
    EXPECT_EQ(gif.rfind("GIF89a", 0), 0U);
    EXPECT_EQ(gif.back(), '\x3B');
#if defined(QUENLIXOR_HAVE_GIF)
    int error = 0;
    GifFileType* decoded = DGifOpenFileName(output("b.gif").c_str(), &error);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(DGifSlurp(decoded), GIF_OK);
    EXPECT_GT(decoded->ImageCount, 50);
    DGifCloseFile(decoded, &error);
#endif
}

TEST_F(JuliaFramesTest, AnAnimationsStreamIsItsFile) {
    for (const char* option : {"--gif", "--apng"}) {
        const std::vector<std::string> frames = {"--frame", "1234567890", "--count", "12", option};
        std::vector<std::string> to_file = frames;
        to_file.push_back(output("a"));
        ASSERT_EQ(run(to_file).status, 0);
        std::vector<std::string> to_stream = frames;
        to_stream.emplace_back("-");
        const Outcome outcome = run(to_stream);
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_TRUE(outcome.err.empty()) << outcome.err;
        EXPECT_TRUE(outcome.out == read_file(output("a"))) << option;
        EXPECT_EQ(files_in_outputs(), std::vector<std::string>{"a"});
        fs::remove(output("a"));
    }
}

TEST_F(JuliaFramesTest, BrokenPipeEndsQuietlyWithStatus1) {
    for (const char* stream : {"--raw", "--gif", "--apng"}) {
        const std::string command =
            "bash -c " + quoted(tool_command() + " --frame 1 --count 2000 " + stream + " - 2>" +
                                quoted((work_ / "stderr").string()) +
                                " | head -c 1000 >/dev/null;"
                                " exit ${PIPESTATUS[0]}");
        const int raw_status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(raw_status));
        EXPECT_EQ(WEXITSTATUS(raw_status), 1) << stream;
        EXPECT_TRUE(read_file(work_ / "stderr").empty()) << stream;
    }
}

TEST_F(JuliaFramesTest, WriteFailuresNameThePathAndLeaveNothing) {
    // A missing folder for an animation and for a sequence.
    for (const char* option : {"--apng", "--gif", "--png", "--raw"}) {
        const std::string missing = output("missing/frame-%d");
        const Outcome outcome = run({"--frame", "7", "--count", "3", option, missing});
        EXPECT_EQ(outcome.status, 1) << option;
        EXPECT_NE(outcome.err.find(output("missing/frame-")), std::string::npos) << outcome.err;
        EXPECT_TRUE(files_in_outputs().empty()) << option;
    }
    // A folder where the GIF belongs.
    fs::create_directory(outputs_ / "taken");
    Outcome outcome = run({"--frame", "7", "--count", "3", "--gif", output("taken")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("folder"), std::string::npos) << outcome.err;
    EXPECT_EQ(files_in_outputs(), std::vector<std::string>{"taken"});
    EXPECT_TRUE(fs::is_empty(outputs_ / "taken"));
    // A link is followed to a regular file and stays a link; a device, or a
    // link to one, is written where it is.
    fs::create_symlink(outputs_ / "real.gif", outputs_ / "link.gif");
    { std::ofstream old(outputs_ / "real.gif"); }
    outcome = run({"--frame", "7", "--count", "2", "--gif", output("link.gif")});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(fs::is_symlink(outputs_ / "link.gif"));
    EXPECT_GT(fs::file_size(outputs_ / "real.gif"), 1000U);
    fs::create_symlink("/dev/null", outputs_ / "null.gif");
    outcome = run({"--frame", "7", "--count", "2", "--gif", output("null.gif"), "--raw",
                   "/dev/null", "--png", "/dev/null"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(fs::is_symlink(outputs_ / "null.gif"));
    outcome = run({"--frame", "7", "--gif", "/dev/full"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("/dev/full: No space left"), std::string::npos) << outcome.err;
    fs::remove(outputs_ / "null.gif");
    fs::remove(outputs_ / "link.gif");
    fs::remove(outputs_ / "real.gif");
    // A full disk under the stream.
    const std::string command = tool_command() + " --frame 1 --count 2 --raw - >/dev/full 2>" +
                                quoted((work_ / "stderr").string());
    const int raw_status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw_status) ? WEXITSTATUS(raw_status) : -1, 1);
    EXPECT_NE(read_file(work_ / "stderr").find("No space left"), std::string::npos);
    // No permission (root may write anywhere).
    if (geteuid() != 0) {
        fs::create_directory(outputs_ / "locked");
        fs::permissions(outputs_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        outcome = run({"--frame", "7", "--gif", output("locked/a.gif")});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.err.find(output("locked/a.gif")), std::string::npos) << outcome.err;
        EXPECT_TRUE(fs::is_empty(outputs_ / "locked"));
        fs::permissions(outputs_ / "locked", fs::perms::owner_all);
    }
}

// In a forked child: replaces it with julia-frames and the arguments
// (status 127 when that fails).
[[noreturn]] void become_julia_frames(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    std::vector<std::string> copies = launcher_words();
    copies.emplace_back(QUENLIXOR_JULIA_FRAMES);
    copies.insert(copies.end(), arguments.begin(), arguments.end());
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

// In a child about to become julia-frames: its output to /dev/null.
void silence_output() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr ||
        std::freopen("/dev/null", "w", stderr) == nullptr) {
        _exit(126);
    }
}

// Starts julia-frames with the arguments, its output to /dev/null; returns
// its process id.
pid_t start(const std::vector<std::string>& arguments) {
    const pid_t child = fork();
    if (child == 0) {
        silence_output();
        become_julia_frames(arguments);
    }
    return child;
}

// Runs julia-frames with writes past `limit` bytes of a file failing (EFBIG:
// SIGXFSZ ignored); returns its status.
int run_with_file_size_limit(const std::vector<std::string>& arguments, rlim_t limit) {
    const pid_t child = fork();
    if (child == 0) {
        const rlimit file_size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &file_size);
        signal(SIGXFSZ, SIG_IGN);
        silence_output();
        become_julia_frames(arguments);
    }
    int raw_status = 0;
    waitpid(child, &raw_status, 0);
    return WIFEXITED(raw_status) ? WEXITSTATUS(raw_status) : -1;
}

TEST_F(JuliaFramesTest, AWriteFailingPartWayLeavesNoPartialFile) {
    // The raw frames (307,200 bytes) fail part-way, the PNGs and the GIF fit.
    EXPECT_EQ(run_with_file_size_limit({"--frame", "1", "--count", "3", "--raw", output("r-%d.raw"),
                                        "--png", output("p-%d.png"), "--gif", output("a.gif")},
                                       100000),
              1);
    std::vector<std::string> names = files_in_outputs();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.gif", "p-1.png", "p-2.png", "p-3.png"}));
    EXPECT_EQ(run_with_file_size_limit({"--frame", "1", "--raw", output("r.raw")}, 100000), 1);
    EXPECT_EQ(files_in_outputs().size(), 4U);
    for (const std::string& name : files_in_outputs()) {
        fs::remove(outputs_ / name);
    }
    // A file's last bytes stay in the C library's buffer until the file is
    // complete: one byte short of its size, the flush that completes it
    // fails, after every write has succeeded.
    for (const char* option : {"--apng", "--gif", "--png"}) {
        const std::vector<std::string> arguments = {"--frame", "7",    "--count",
                                                    "2",       option, output("a")};
        ASSERT_EQ(run(arguments).status, 0) << option;
        const auto size = static_cast<rlim_t>(fs::file_size(outputs_ / "a"));
        fs::remove(outputs_ / "a");
        EXPECT_EQ(run_with_file_size_limit(arguments, size - 1), 1) << option << ", " << size;
        const std::vector<std::string> left = files_in_outputs();
        EXPECT_TRUE(left.empty()) << option << ": " << (left.empty() ? "" : left.front());
    }
}

TEST_F(JuliaFramesTest, InterruptLeavesNoPartialFile) {
    for (const int signal_number : {SIGINT, SIGTERM}) {
        const pid_t child = start({"--frame", "1", "--count", "2000000", "--threads", "1", "--gif",
                                   output("long.gif"), "--raw", output("last.raw")});
        ASSERT_GT(child, 0);
        // Wait until the temporary files exist, then stop the export.
        for (int wait = 0; wait < 500 && files_in_outputs().size() < 2; ++wait) {
            usleep(10000);
        }
        EXPECT_EQ(files_in_outputs().size(), 2U);
        usleep(100000);
        kill(child, signal_number);
        int raw_status = 0;
        ASSERT_EQ(waitpid(child, &raw_status, 0), child);
        EXPECT_TRUE(WIFEXITED(raw_status)) << signal_number;
        EXPECT_EQ(WEXITSTATUS(raw_status), 1) << signal_number;
        EXPECT_TRUE(files_in_outputs().empty()) << signal_number;
    }
}

// Reads `fifo` (opened without blocking) until `child` has ended and every
// byte it wrote there is read; the child's exit status goes to `status`.
std::string read_fifo_until_child_ends(int fifo, pid_t child, int& status) {
    std::string bytes;
    bool ended = false;
    for (;;) {
        char buffer[65536];
        const ssize_t size = read(fifo, buffer, sizeof buffer);
        if (size > 0) {
            bytes.append(buffer, static_cast<std::size_t>(size));
            continue;
        }
        if (size < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
        if (ended) {
            break;  // read to the end once no writer is left
        }
        int raw_status = 0;
        if (waitpid(child, &raw_status, WNOHANG) == child) {
            ended = true;
            status = WIFEXITED(raw_status) ? WEXITSTATUS(raw_status) : -1;
            continue;
        }
        // No writer yet, or nothing more until the child writes or ends.
        pollfd waiting{fifo, POLLIN, 0};
        poll(&waiting, 1, 20);
    }
    return bytes;
}

TEST_F(JuliaFramesTest, WritesANamedPipeWhereItIsForTheReaderAtItsEnd) {
    // (A raw file to a named pipe: AGifStreamIsPassedOnFrameByFrame.)
    for (const char* option : {"--apng", "--gif", "--png"}) {
        const std::vector<std::string> arguments = {"--frame", "7", "--count", "2", option};
        std::vector<std::string> to_file = arguments;
        to_file.push_back(output("file"));
        ASSERT_EQ(run(to_file).status, 0) << option;
        const std::string expected = read_file(outputs_ / "file");
        fs::remove(outputs_ / "file");

        const std::string pipe = output("pipe");
        ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0) << std::strerror(errno);
        const int fifo = open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fifo, 0) << std::strerror(errno);
        std::vector<std::string> to_pipe = arguments;
        to_pipe.push_back(pipe);
        const pid_t child = start(to_pipe);
        ASSERT_GT(child, 0);
        int status = -1;
        const std::string received = read_fifo_until_child_ends(fifo, child, status);
        close(fifo);
        EXPECT_EQ(status, 0) << option;
        EXPECT_TRUE(received == expected)
            << option << ": " << received.size() << " bytes, not " << expected.size();
        EXPECT_EQ(files_in_outputs(), std::vector<std::string>{"pipe"}) << option;
        EXPECT_TRUE(fs::is_fifo(outputs_ / "pipe")) << option;
        fs::remove(outputs_ / "pipe");
    }
}

// Where the images of the GIF `gif` end: the offset after each one's last
// data block, as far as the bytes go.
std::vector<std::size_t> gif_image_ends(const std::string& gif) {
    std::vector<std::size_t> ends;
    const auto byte = [&gif](std::size_t at) {
        return at < gif.size() ? static_cast<unsigned char>(gif[at]) : 0U;
    };
    // The signature and the screen descriptor, then the global colour table.
    std::size_t at = 13;
    if ((byte(10) & 0x80U) != 0) {
        at += 3U << ((byte(10) & 7U) + 1);
    }
    const auto skip_data_blocks = [&] {
        while (at < gif.size() && byte(at) != 0) {
            at += 1 + byte(at);
        }
        ++at;
    };
    while (at < gif.size()) {
        const unsigned introducer = byte(at);
        if (introducer == 0x21) {  // an extension: its label, its blocks
            at += 2;
            skip_data_blocks();
        } else if (introducer == 0x2C) {  // an image: its descriptor, code size, blocks
            const unsigned packed = byte(at + 9);
            at += 10 + ((packed & 0x80U) != 0 ? 3U << ((packed & 7U) + 1) : 0U) + 1;
            skip_data_blocks();
            ends.push_back(at);
        } else {
            break;  // the trailer, or not a GIF
        }
    }
    return ends;
}

TEST_F(JuliaFramesTest, AGifStreamIsPassedOnFrameByFrame) {
    // The run writes each frame's share of the GIF on standard output, then
    // that frame's raw file. The raw file of frame 1021 is a named pipe, so
    // while the test leaves it unread, the run waits there: what has reached
    // standard output by then must end where an image of the GIF ends, not
    // part-way through one left in the C library's buffer.
    const std::string gate = output("r-1021.raw");
    ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0) << std::strerror(errno);
    const int fifo = open(gate.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fifo, 0) << std::strerror(errno);
    int stream[2];
    ASSERT_EQ(pipe(stream), 0);
    ASSERT_EQ(fcntl(stream[0], F_SETFL, O_NONBLOCK), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (dup2(stream[1], STDOUT_FILENO) < 0 ||
            std::freopen("/dev/null", "w", stderr) == nullptr) {
            _exit(126);
        }
        close(stream[0]);
        close(stream[1]);
        close(fifo);
        become_julia_frames({"--frame", "1000", "--count", "6", "--step", "7", "--gif", "-",
                             "--raw", output("r-%d.raw")});
    }
    ASSERT_GT(child, 0);
    close(stream[1]);

    std::string gif;
    const auto read_stream = [&gif, &stream] {
        char buffer[65536];
        ssize_t size = 0;
        while ((size = read(stream[0], buffer, sizeof buffer)) > 0) {
            gif.append(buffer, static_cast<std::size_t>(size));
        }
        return size == 0;  // the end of the stream
    };
    // Until the run begins frame 1021's raw file (or ends without it).
    bool stream_ended = false;
    bool at_gate = false;
    while (!stream_ended && !at_gate) {
        pollfd waiting[] = {{stream[0], POLLIN, 0}, {fifo, POLLIN, 0}};
        ASSERT_GT(poll(waiting, 2, 60000), 0) << "the run neither wrote nor ended in a minute";
        at_gate = (waiting[1].revents & POLLIN) != 0;
        stream_ended = read_stream();
    }
    // The run is past frame 1021's share of the stream, and can write no
    // more of it until the pipe is read.
    const std::size_t passed_on = gif.size();
    EXPECT_TRUE(at_gate) << "the run ended before frame 1021's raw file";

    int status = -1;
    const std::string raw = read_fifo_until_child_ends(fifo, child, status);
    close(fifo);
    while (!read_stream()) {
        pollfd waiting{stream[0], POLLIN, 0};
        poll(&waiting, 1, 1000);
    }
    close(stream[0]);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(raw == expected_raw_frame(1021));

    const std::vector<std::size_t> ends = gif_image_ends(gif);
    ASSERT_FALSE(ends.empty());
    EXPECT_EQ(ends.back() + 1, gif.size()) << "the trailer follows the last image";
    // Frames 1000, 1007 and 1014 come before it: at least the first two
    // are out (the one just before is held until the next is known to
    // change something).
    EXPECT_TRUE(ends.size() > 3 && passed_on >= ends[1] &&
                std::find(ends.begin(), ends.end(), passed_on) != ends.end())
        << passed_on << " bytes of " << gif.size() << " passed on; the images end at "
        << testing::PrintToString(ends);
}

TEST_F(JuliaFramesTest, OutputsAreTheSameForEveryThreadCount) {
    for (const char* scale : {"1", "2"}) {
        std::string first_gif;
        std::string first_apng;
        std::string first_stream;
        for (const char* threads : {"1", "2", "3"}) {
            const Outcome outcome =
                run({"--frame", "900", "--count", "9", "--step", "3", "--scale", scale, "--threads",
                     threads, "--gif", output("a.gif"), "--apng", output("a.png"), "--raw", "-"});
            ASSERT_EQ(outcome.status, 0) << outcome.err;
            const std::string gif = read_file(output("a.gif"));
            const std::string apng = read_file(output("a.png"));
            if (first_gif.empty()) {
                first_gif = gif;
                first_apng = apng;
                first_stream = outcome.out;
                const std::size_t factor = scale[0] == '2' ? 4 : 1;
                EXPECT_EQ(first_stream.size(), 9 * 307200U * factor);
            }
            EXPECT_TRUE(gif == first_gif) << threads << " threads, scale " << scale;
            EXPECT_TRUE(apng == first_apng) << threads << " threads, scale " << scale;
            EXPECT_TRUE(outcome.out == first_stream) << threads << " threads, scale " << scale;
        }
    }
}

TEST_F(JuliaFramesTest, RawAtAScaleIsEveryPixelAsABlock) {
    for (const int scale : {2, 3, 8}) {
        const std::string path = output("frame.raw");
        const Outcome outcome =
            run({"--frame", "777", "--scale", std::to_string(scale), "--raw", path});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        const std::string written = read_file(path);
        const auto words = static_cast<std::size_t>(76800 * scale * scale);
        ASSERT_EQ(written.size(), words * 4) << scale;
        std::vector<std::uint32_t> scaled(words);
        for (std::size_t word = 0; word < words; ++word) {
            for (int byte = 0; byte < 4; ++byte) {
                scaled[word] |= static_cast<std::uint32_t>(static_cast<unsigned char>(
                                    written[word * 4 + static_cast<std::size_t>(byte)]))
                                << (8 * byte);
            }
        }
        expected_raw_frame(777);
        EXPECT_EQ(pixels_off_their_block(scaled, framebuffer, scale, 0xFFFFFFFFU), 0) << scale;
    }
}

// Frames 180-239 at scale 4 flash more than three times a second at 25 and
// at 60 a second.
constexpr int held_first = 180;
constexpr int held_count = 60;

// The frames held_first on, as an animation shows them at `scale`: each of
// `pictures` (as many output pixels, 0x00RRGGBB or opaque) for its delay in
// ticks of `pace` (a frame that changes nothing folded into the one
// before). They are every frame, in order, each at least its frame's time,
// some longer; shown at their delays no field of them changes a seventh
// time within a second, while the same frames at the pace do.
void check_held_where_they_would_flash(const std::vector<std::vector<std::uint32_t>>& pictures,
                                       const std::vector<int>& delays, FlashPace pace, int scale) {
    ASSERT_FALSE(pictures.empty());
    ASSERT_EQ(pictures.size(), delays.size());
    FlashSetup setup;
    prepare_flash_setup(setup, palette, palette_colours, picture_width, picture_height, scale);
    FlashWatch watch;
    start_flash_watch(watch, setup);
    FlashTimeline as_held;
    FlashTimeline at_the_pace;
    start_flash_timeline(as_held, FlashPace{1, pace.ticks_per_second}, false);
    start_flash_timeline(at_the_pace, pace, false);
    FlashScratch scratch;
    std::vector<FieldChange> changes;
    std::vector<std::uint32_t> previous;
    std::size_t image = 0;
    int image_frames = 0;   // the frames the image stands for so far
    std::int64_t tick = 0;  // when the image shows
    int longer = 0;         // images shown longer than their frames' time
    prepare_tables();
    std::vector<std::uint32_t> picture(pixel_count);
    for (int index = 0; index < held_count; ++index) {
        render_frame_into(held_first + index, picture.data(), fastest_kernel());
        if (index > 0 && picture != previous) {
            // The next image.
            EXPECT_GE(delays[image], pace.frame_ticks * image_frames) << "image " << image;
            longer += delays[image] > pace.frame_ticks * image_frames ? 1 : 0;
            tick += delays[image];
            ++image;
            image_frames = 0;
            ASSERT_LT(image, pictures.size());
        }
        ++image_frames;
        EXPECT_EQ(pixels_off_their_block(pictures[image], picture.data(), scale, 0x00FFFFFFU), 0)
            << "frame " << held_first + index;
        changes.clear();
        if (index > 0) {
            ASSERT_TRUE(frame_changes(setup, picture.data(), previous.data(), scratch, changes));
        }
        watch_changes(watch, index, changes);
        flash_place_frame(as_held, watch, index, tick + pace.frame_ticks * (image_frames - 1));
        flash_place_frame(at_the_pace, watch, index, pace.frame_ticks * index);
        previous = picture;
    }
    EXPECT_EQ(image + 1, pictures.size());
    EXPECT_EQ(delays[image], pace.frame_ticks * image_frames);
    EXPECT_GT(longer, 0);
    EXPECT_FALSE(as_held.finding.found) << "frame " << held_first + as_held.finding.first;
    EXPECT_TRUE(at_the_pace.finding.found);
}

#if defined(QUENLIXOR_HAVE_GIF)
// The screen descriptor says what the frames' colours are: as many global
// table entries as the smallest power of two that holds every colour of
// the palette and one index more (a frame that changes every colour needs
// one for its transparent pixels), the colours in the order of the
// escape-time counts (not sorted by importance); as many bits of colour
// resolution per primary as the palette's red, green and blue bytes use;
// square pixels.
void expect_screen_descriptor_of_the_palette(const GifFileType& gif) {
    prepare_tables();
    std::vector<std::uint32_t> colours;
    unsigned primaries_used = 0;  // every bit any red, green or blue byte has
    for (int count = 0; count <= 20; ++count) {
        const std::uint32_t colour = palette[count] & 0x00FFFFFFU;
        if (std::find(colours.begin(), colours.end(), colour) == colours.end()) {
            colours.push_back(colour);
        }
        primaries_used |= (colour >> 16) | (colour >> 8) | colour;
    }
    primaries_used &= 0xFFU;
    int entries = 2;
    while (entries < static_cast<int>(colours.size()) + 1) {
        entries *= 2;
    }
    int resolution = 8;  // bits per primary, less those no byte ever sets
    for (unsigned low = primaries_used; low != 0 && (low & 1U) == 0; low >>= 1) {
        --resolution;
    }
    EXPECT_EQ(colours.size(), 21U);
    EXPECT_EQ(gif.SColorMap->ColorCount, entries);
    EXPECT_EQ(1 << gif.SColorMap->BitsPerPixel, entries);
    EXPECT_FALSE(gif.SColorMap->SortFlag);
    EXPECT_EQ(gif.SColorResolution, resolution);
    EXPECT_EQ(gif.AspectByte, 0);
    for (int entry = 0; entry < static_cast<int>(colours.size()); ++entry) {
        const GifColorType& shown = gif.SColorMap->Colors[entry];
        EXPECT_EQ((static_cast<std::uint32_t>(shown.Red) << 16) |
                      (static_cast<std::uint32_t>(shown.Green) << 8) | shown.Blue,
                  palette[entry] & 0x00FFFFFFU)
            << "entry " << entry;
    }
}

// What a GIF shows: the picture after each image, and for how long.
struct GifShown {
    int width = 0;
    int height = 0;
    std::vector<std::vector<std::uint32_t>> pictures;
    std::vector<int> delays;  // in hundredths of a second
};

// Decodes the GIF at `path` with giflib and lays its images one over the
// other, as a viewer does: every image left in place, its transparent
// pixels showing the picture before. Checks each image's records on the
// way: what julia-frames writes (no local colour table, every index in the
// global one, a transparent index on every image but the first) and that
// it loops for ever with the palette as its colour table.
GifShown decode_gif(const std::string& path) {
    GifShown shown;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    EXPECT_NE(gif, nullptr);
    if (gif == nullptr) {
        return shown;
    }
    EXPECT_EQ(DGifSlurp(gif), GIF_OK);
    shown.width = gif->SWidth;
    shown.height = gif->SHeight;
    EXPECT_NE(gif->SColorMap, nullptr);
    EXPECT_GE(gif->ImageCount, 1);
    if (gif->SColorMap == nullptr || gif->ImageCount < 1) {
        DGifCloseFile(gif, &error);
        return shown;
    }
    expect_screen_descriptor_of_the_palette(*gif);

    // The first image carries the loop extension: NETSCAPE2.0, count 0.
    bool loops = false;
    const SavedImage& first_image = gif->SavedImages[0];
    for (int block = 0; block + 1 < first_image.ExtensionBlockCount; ++block) {
        const ExtensionBlock& name = first_image.ExtensionBlocks[block];
        const ExtensionBlock& data = first_image.ExtensionBlocks[block + 1];
        loops = loops || (name.Function == APPLICATION_EXT_FUNC_CODE && name.ByteCount == 11 &&
                          std::string(reinterpret_cast<char*>(name.Bytes), 11) == "NETSCAPE2.0" &&
                          data.ByteCount == 3 && data.Bytes[0] == 1 && data.Bytes[1] == 0 &&
                          data.Bytes[2] == 0);
    }
    EXPECT_TRUE(loops);

    // No colour yet: a value no pixel has.
    std::vector<std::uint32_t> canvas(static_cast<std::size_t>(shown.width * shown.height),
                                      0xFF000000U);
    for (int image = 0; image < gif->ImageCount; ++image) {
        const SavedImage& saved = gif->SavedImages[image];
        EXPECT_EQ(saved.ImageDesc.ColorMap, nullptr) << image;
        GraphicsControlBlock control{};
        EXPECT_EQ(DGifSavedExtensionToGCB(gif, image, &control), GIF_OK);
        EXPECT_EQ(control.DisposalMode, DISPOSE_DO_NOT);
        // The first image has no transparency; the others' transparent
        // index lies in the colour table.
        if (image == 0) {
            EXPECT_EQ(control.TransparentColor, NO_TRANSPARENT_COLOR);
        } else {
            EXPECT_GE(control.TransparentColor, 0);
            EXPECT_LT(control.TransparentColor, gif->SColorMap->ColorCount);
        }
        const GifImageDesc& area = saved.ImageDesc;
        EXPECT_LE(area.Left + area.Width, shown.width);
        EXPECT_LE(area.Top + area.Height, shown.height);
        if (area.Left + area.Width > shown.width || area.Top + area.Height > shown.height) {
            break;
        }
        int outside_the_table = 0;
        for (int row = 0; row < area.Height; ++row) {
            for (int column = 0; column < area.Width; ++column) {
                const int index = saved.RasterBits[row * area.Width + column];
                if (index == control.TransparentColor) {
                    continue;
                }
                if (index >= gif->SColorMap->ColorCount) {
                    ++outside_the_table;
                    continue;
                }
                const GifColorType colour = gif->SColorMap->Colors[index];
                canvas[static_cast<std::size_t>((area.Top + row) * shown.width + area.Left +
                                                column)] =
                    (static_cast<std::uint32_t>(colour.Red) << 16) |
                    (static_cast<std::uint32_t>(colour.Green) << 8) | colour.Blue;
            }
        }
        EXPECT_EQ(outside_the_table, 0) << image;
        shown.pictures.push_back(canvas);
        shown.delays.push_back(control.DelayTime);
    }
    DGifCloseFile(gif, &error);
    return shown;
}

// Decodes the GIF at `path` and checks that, shown image after image for
// their delays of 3 cs per frame, it is the `count` frames from `first`,
// `step` apart, at `scale`, exactly. Returns the number of images.
int check_gif_frames(const std::string& path, std::int64_t first, std::int64_t step, int count,
                     int scale) {
    const GifShown gif = decode_gif(path);
    EXPECT_EQ(gif.width, 320 * scale);
    EXPECT_EQ(gif.height, 240 * scale);
    int shown = 0;  // frames shown so far
    for (std::size_t image = 0; image < gif.pictures.size(); ++image) {
        // Shown for one frame's delay or a multiple: each of those frames.
        const int delay = gif.delays[image];
        EXPECT_EQ(delay % 3, 0) << image;
        EXPECT_GT(delay, 0) << image;
        for (int frame = 0; frame < delay / 3; ++frame, ++shown) {
            const auto number = static_cast<std::int32_t>((first + step * shown) & 0x7FFFFFFF);
            expected_raw_frame(number);
            EXPECT_EQ(pixels_off_their_block(gif.pictures[image], framebuffer, scale, 0x00FFFFFFU),
                      0)
                << "frame " << number << ", scale " << scale;
        }
    }
    EXPECT_EQ(shown, count);
    return static_cast<int>(gif.pictures.size());
}

TEST_F(JuliaFramesTest, AGifIsHeldWhereItWouldFlashAndPlaysAtItsPaceElsewhere) {
    // At 25 frames a second: 4 cs each.
    const int scale = 4;
    const Outcome outcome =
        run({"--frame", std::to_string(held_first), "--count", std::to_string(held_count),
             "--scale", std::to_string(scale), "--gif", output("held.gif")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(outcome.err.empty()) << outcome.err;
    const GifShown gif = decode_gif(output("held.gif"));
    check_held_where_they_would_flash(gif.pictures, gif.delays, FlashPace{4, 100}, scale);
}

TEST_F(JuliaFramesTest, GifDecodesToEveryFrameExactly) {
    // Frames 2147483643, ... wrap to 0 and on, 7 apart; 30 fps is 3 cs. At
    // scale 2 every picture pixel is a 2 x 2 block, and the frames' codes
    // fill the coder's table.
    for (const int scale : {1, 2}) {
        const Outcome outcome =
            run({"--frame", "2147483643", "--count", "6", "--step", "7", "--fps", "30", "--scale",
                 std::to_string(scale), "--gif", output("a.gif")});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(check_gif_frames(output("a.gif"), 2147483643, 7, 6, scale), 6) << scale;
    }
    // Frames whose changes all lie below index 16 (code size 4) while some
    // unchanged pixels hold colours 16-20, which can only be transparent.
    const Outcome outcome = run({"--frame", "7795573", "--count", "3", "--step", "3", "--fps", "30",
                                 "--gif", output("a.gif")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(check_gif_frames(output("a.gif"), 7795573, 3, 3, 1), 3);
}

TEST_F(JuliaFramesTest, GifShowsAFrameThatChangesNothingByTheOneBefore) {
    // Around frame 1234567890 the picture stays the same for several frames
    // at a time: such a frame adds its delay to the one before it instead
    // of being an image.
    for (const int scale : {1, 3}) {
        const Outcome outcome = run({"--frame", "1234567890", "--count", "12", "--fps", "30",
                                     "--scale", std::to_string(scale), "--gif", output("a.gif")});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        const int images = check_gif_frames(output("a.gif"), 1234567890, 1, 12, scale);
        EXPECT_GT(images, 1) << scale;
        EXPECT_LT(images, 12) << scale;
    }
}
#endif

#if defined(QUENLIXOR_HAVE_PNG)
// An APNG decoded plainly, as the format describes it, chunk by chunk: what
// a viewer shows at each frame, and how long.
struct ShownFrame {
    std::vector<std::uint32_t> canvas;  // 0xAARRGGBB
    unsigned delay_numerator = 0;
    unsigned delay_denominator = 0;
};

struct DecodedApng {
    std::string problem;  // empty when the file is sound
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frame_count = 0;  // acTL's
    std::uint32_t plays = 1;
    bool first_frame_is_default_image = false;
    std::vector<ShownFrame> frames;
};

void unfilter_row(unsigned char* row, const unsigned char* above, std::size_t size, int filter) {
    for (std::size_t at = 0; at < size; ++at) {
        const int left = at > 0 ? row[at - 1] : 0;
        const int up = above[at];
        const int up_left = at > 0 ? above[at - 1] : 0;
        int prediction = 0;
        if (filter == 1) {
            prediction = left;
        } else if (filter == 2) {
            prediction = up;
        } else if (filter == 3) {
            prediction = (left + up) / 2;
        } else if (filter == 4) {
            const int estimate = left + up - up_left;
            const int a = std::abs(estimate - left);
            const int b = std::abs(estimate - up);
            const int c = std::abs(estimate - up_left);
            prediction = a <= b && a <= c ? left : b <= c ? up : up_left;
        }
        row[at] = static_cast<unsigned char>(row[at] + prediction);
    }
}

// Decodes an 8-bit palette APNG; `problem` names the first thing wrong.
DecodedApng decode_apng(const std::string& file) {
    DecodedApng decoded;
    const auto fail = [&decoded](const std::string& problem) {
        if (decoded.problem.empty()) {
            decoded.problem = problem;
        }
        return decoded;
    };
    static const std::string signature = "\x89PNG\r\n\x1a\n";
    if (file.compare(0, 8, signature) != 0) {
        return fail("no PNG signature");
    }
    std::vector<std::uint32_t> palette_argb;
    std::uint32_t next_sequence = 0;
    struct Control {
        std::uint32_t width, height, x, y;
        unsigned numerator, denominator, dispose, blend;
    };
    bool have_control = false;
    bool seen_image_data = false;
    Control control{};
    std::string data;
    std::vector<std::uint32_t> canvas;
    // Shows the frame whose data has been read, then disposes of it.
    const auto show = [&]() -> bool {
        const std::size_t row_bytes = control.width + 1;
        std::vector<unsigned char> rows(row_bytes * control.height);
        uLongf size = static_cast<uLongf>(rows.size());
        if (uncompress(rows.data(), &size, reinterpret_cast<const Bytef*>(data.data()),
                       static_cast<uLong>(data.size())) != Z_OK ||
            size != rows.size()) {
            return false;
        }
        const std::vector<unsigned char> zeros(control.width, 0);
        const std::vector<std::uint32_t> before = canvas;
        for (std::uint32_t y = 0; y < control.height; ++y) {
            unsigned char* row = rows.data() + y * row_bytes;
            if (row[0] > 4) {
                return false;
            }
            unfilter_row(row + 1, y == 0 ? zeros.data() : row + 1 - row_bytes, control.width,
                         row[0]);
            for (std::uint32_t x = 0; x < control.width; ++x) {
                if (row[1 + x] >= palette_argb.size()) {
                    return false;
                }
                const std::uint32_t colour = palette_argb[row[1 + x]];
                std::uint32_t& pixel = canvas[(control.y + y) * decoded.width + control.x + x];
                if (control.blend == 0 || colour >> 24 == 0xFF) {
                    pixel = colour;
                } else if (colour >> 24 != 0) {
                    return false;  // no partial alpha here
                }
            }
        }
        decoded.frames.push_back({canvas, control.numerator, control.denominator});
        if (control.dispose == 1) {
            for (std::uint32_t y = 0; y < control.height; ++y) {
                std::fill_n(canvas.begin() + (control.y + y) * decoded.width + control.x,
                            control.width, 0U);
            }
        } else if (control.dispose == 2) {
            canvas = before;
        }
        data.clear();
        have_control = false;
        return true;
    };
    for (std::size_t at = 8; at < file.size();) {
        if (at + 12 > file.size()) {
            return fail("a chunk cut short");
        }
        const std::uint32_t length = big_endian_32(file, at);
        if (at + 12 + length > file.size()) {
            return fail("a chunk cut short");
        }
        const std::string type = file.substr(at + 4, 4);
        const std::string body = file.substr(at + 8, length);
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(file.data() + at + 4), length + 4));
        if (crc != big_endian_32(file, at + 8 + length)) {
            return fail(type + ": wrong CRC");
        }
        at += 12 + length;
        if (type == "IHDR") {
            decoded.width = big_endian_32(body, 0);
            decoded.height = big_endian_32(body, 4);
            if (body.substr(8, 5) != std::string("\x08\x03\x00\x00\x00", 5)) {
                return fail("not an 8-bit palette picture without interlace");
            }
            canvas.assign(std::size_t{decoded.width} * decoded.height, 0);
        } else if (type == "acTL") {
            decoded.frame_count = big_endian_32(body, 0);
            decoded.plays = big_endian_32(body, 4);
        } else if (type == "PLTE") {
            for (std::size_t entry = 0; entry + 3 <= body.size(); entry += 3) {
                palette_argb.push_back(
                    0xFF000000U |
                    (static_cast<std::uint32_t>(static_cast<unsigned char>(body[entry])) << 16) |
                    (static_cast<std::uint32_t>(static_cast<unsigned char>(body[entry + 1])) << 8) |
                    static_cast<unsigned char>(body[entry + 2]));
            }
        } else if (type == "tRNS") {
            for (std::size_t entry = 0; entry < body.size() && entry < palette_argb.size();
                 ++entry) {
                palette_argb[entry] =
                    (palette_argb[entry] & 0x00FFFFFFU) |
                    (std::uint32_t{static_cast<unsigned char>(body[entry])} << 24);
            }
        } else if (type == "fcTL" || type == "fdAT") {
            if (big_endian_32(body, 0) != next_sequence++) {
                return fail(type + ": sequence number out of order");
            }
            if (type == "fdAT") {
                if (!have_control) {
                    return fail("fdAT without fcTL");
                }
                data += body.substr(4);
                continue;
            }
            if (have_control && !show()) {
                return fail("a frame that does not decode");
            }
            control = {big_endian_32(body, 4),
                       big_endian_32(body, 8),
                       big_endian_32(body, 12),
                       big_endian_32(body, 16),
                       (static_cast<unsigned>(static_cast<unsigned char>(body[20])) << 8) |
                           static_cast<unsigned char>(body[21]),
                       (static_cast<unsigned>(static_cast<unsigned char>(body[22])) << 8) |
                           static_cast<unsigned char>(body[23]),
                       static_cast<unsigned char>(body[24]),
                       static_cast<unsigned char>(body[25])};
            if (control.x + control.width > decoded.width ||
                control.y + control.height > decoded.height || control.width == 0 ||
                control.height == 0) {
                return fail("fcTL: a frame outside the picture");
            }
            have_control = true;
            decoded.first_frame_is_default_image =
                decoded.first_frame_is_default_image || (!seen_image_data && next_sequence == 1);
        } else if (type == "IDAT") {
            seen_image_data = true;
            if (decoded.first_frame_is_default_image) {
                data += body;
            }
        } else if (type == "IEND") {
            if (have_control && !show()) {
                return fail("a frame that does not decode");
            }
            if (decoded.frames.size() != decoded.frame_count) {
                return fail("acTL counts " + std::to_string(decoded.frame_count) + " frames, " +
                            std::to_string(decoded.frames.size()) + " are there");
            }
            return decoded;
        }
    }
    return fail("no IEND");
}

// Decodes the APNG at `path` and checks that it shows the `count` frames
// from `first`, `step` apart, at `scale`, exactly, each for 1/fps s (a
// frame of the file showing for several when their pictures are the
// same), looping for ever, its first frame the default image. Returns the
// number of frames in the file.
std::size_t check_apng_frames(const std::string& path, std::int64_t first, std::int64_t step,
                              int count, int scale, int fps) {
    const DecodedApng decoded = decode_apng(read_file(path));
    EXPECT_TRUE(decoded.problem.empty()) << path << ": " << decoded.problem;
    EXPECT_EQ(decoded.width, 320U * static_cast<unsigned>(scale));
    EXPECT_EQ(decoded.height, 240U * static_cast<unsigned>(scale));
    EXPECT_EQ(decoded.plays, 0U);
    EXPECT_TRUE(decoded.first_frame_is_default_image);
    int shown = 0;  // frames of the run shown so far
    for (const ShownFrame& frame : decoded.frames) {
        EXPECT_EQ(frame.delay_denominator, static_cast<unsigned>(fps)) << shown;
        EXPECT_GE(frame.delay_numerator, 1U) << shown;
        for (unsigned copy = 0; copy < frame.delay_numerator; ++copy, ++shown) {
            const auto number = static_cast<std::int32_t>((first + step * shown) & 0x7FFFFFFF);
            expected_raw_frame(number);
            // Opaque everywhere: alpha 0xFF over the picture's colours.
            for (std::uint32_t& word : framebuffer) {
                word |= 0xFF000000U;
            }
            EXPECT_EQ(pixels_off_their_block(frame.canvas, framebuffer, scale, 0xFFFFFFFFU), 0)
                << "frame " << number << ", scale " << scale;
        }
    }
    EXPECT_EQ(shown, count) << path;
    return decoded.frames.size();
}

TEST_F(JuliaFramesTest, ApngDecodesToEveryFrameExactlyAtItsPace) {
    // Across the wrap after 2147483647, 7 frames apart, at scale 1 and 2:
    // every frame a frame of the file; at 60 frames a second by default.
    for (const int scale : {1, 2}) {
        const Outcome outcome = run({"--frame", "2147483643", "--count", "6", "--step", "7",
                                     "--scale", std::to_string(scale), "--apng", output("a.png")});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(check_apng_frames(output("a.png"), 2147483643, 7, 6, scale, 60), 6U);
    }
    // Frames that keep one parameter for several frames at a time, each
    // such stretch one frame of the file shown for as long, at --fps.
    for (const char* fps : {"1", "30"}) {
        const Outcome outcome = run({"--frame", "1234567890", "--count", "12", "--fps", fps,
                                     "--scale", "3", "--apng", output("a.png")});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        const std::size_t frames =
            check_apng_frames(output("a.png"), 1234567890, 1, 12, 3, std::atoi(fps));
        EXPECT_GT(frames, 1U);
        EXPECT_LT(frames, 12U);
    }
}

TEST_F(JuliaFramesTest, AnApngIsHeldWhereItWouldFlashAndPlaysAtItsPaceElsewhere) {
    // At 60 frames a second: 1/60 s each.
    const int scale = 4;
    const Outcome outcome =
        run({"--frame", std::to_string(held_first), "--count", std::to_string(held_count),
             "--scale", std::to_string(scale), "--apng", output("held.png")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(outcome.err.empty()) << outcome.err;
    const DecodedApng decoded = decode_apng(read_file(output("held.png")));
    ASSERT_TRUE(decoded.problem.empty()) << decoded.problem;
    std::vector<std::vector<std::uint32_t>> pictures;
    std::vector<int> delays;
    for (const ShownFrame& frame : decoded.frames) {
        EXPECT_EQ(frame.delay_denominator, 60U);
        pictures.push_back(frame.canvas);
        for (std::uint32_t& word : pictures.back()) {
            word &= 0x00FFFFFFU;  // opaque
        }
        delays.push_back(static_cast<int>(frame.delay_numerator));
    }
    check_held_where_they_would_flash(pictures, delays, FlashPace{1, 60}, scale);
}

TEST_F(JuliaFramesTest, LibpngShowsTheApngsFirstFrameAsItsPicture) {
    // A viewer without APNG shows the default image: the first frame.
    const Outcome outcome = run({"--frame", "1000", "--count", "5", "--step", "50", "--scale", "2",
                                 "--apng", output("a.png")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, output("a.png").c_str()), 0) << image.message;
    EXPECT_EQ(image.width, 640U);
    EXPECT_EQ(image.height, 480U);
    image.format = PNG_FORMAT_ARGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0)
        << image.message;
    std::vector<std::uint32_t> shown(pixels.size() / 4);
    for (std::size_t pixel = 0; pixel < shown.size(); ++pixel) {
        shown[pixel] = (static_cast<std::uint32_t>(pixels[pixel * 4]) << 24) |
                       (static_cast<std::uint32_t>(pixels[pixel * 4 + 1]) << 16) |
                       (static_cast<std::uint32_t>(pixels[pixel * 4 + 2]) << 8) |
                       pixels[pixel * 4 + 3];
    }
    expected_raw_frame(1000);
    for (std::uint32_t& word : framebuffer) {
        word |= 0xFF000000U;
    }
    EXPECT_EQ(pixels_off_their_block(shown, framebuffer, 2, 0xFFFFFFFFU), 0);
}

// Whether a program is on the PATH.
bool installed(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

TEST_F(JuliaFramesTest, PngcheckPassesTheApng) {
    if (!installed("pngcheck")) {
        GTEST_SKIP() << "pngcheck is not installed (apt-get install pngcheck)";
    }
    for (const char* scale : {"1", "2"}) {
        const Outcome outcome = run({"--frame", "1234567890", "--count", "12", "--scale", scale,
                                     "--apng", output("a.png")});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        const int status = std::system(("pngcheck -q " + quoted(output("a.png")) + " >" +
                                        quoted((work_ / "pngcheck").string()) + " 2>&1")
                                           .c_str());
        EXPECT_EQ(status, 0) << read_file(work_ / "pngcheck");
    }
}

// The MD5 of each frame that `decoding` (an ffmpeg command reading its
// input) decodes, as 24-bit RGB, in order; `listing` is scratch.
std::vector<std::string> frame_digests(const std::string& decoding, const fs::path& listing) {
    std::vector<std::string> digests;
    const std::string command =
        decoding + " -f framemd5 -pix_fmt rgb24 - >" + quoted(listing.string()) + " 2>&1";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << command << ": " << read_file(listing);
        return digests;
    }
    std::istringstream lines(read_file(listing));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') {
            digests.push_back(line.substr(line.rfind(',') + 1));
        }
    }
    return digests;
}

TEST_F(JuliaFramesTest, FfmpegDecodesTheApngAsTheRawFramesAtItsPace) {
    if (!installed("ffmpeg") || !installed("ffprobe")) {
        GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg)";
    }
    if (!launcher_words().empty()) {
        // Under an emulator this takes long and shows nothing new: the
        // cross-built julia-frames writes the native one's APNG bytes
        // (julia_frames_same_files_as_native).
        GTEST_SKIP() << "not under an emulator: its APNG is the native one's, byte for byte";
    }
    // The whole cycle, at scale 2, and at 30 frames a second across the
    // wrap. Under the sanitizers only the cycle's first 400 frames: the whole
    // cycle's APNG is written there already, by
    // WarnsOfFlashesInOneLineAndStillWritesEveryFrame.
#if defined(__SANITIZE_ADDRESS__)
    const int cycle = 400;
#else
    const int cycle = 3600;
#endif
    const struct {
        const char* first;
        int count;
        int scale;
        int fps;
    } cases[] = {
        {"1", cycle, 1, 60},
        {"1801", 60, 2, 60},
        {"2147483620", 60, 1, 30},
    };
    for (const auto& run_case : cases) {
        std::vector<std::string> frames = {"--frame", run_case.first,
                                           "--count", std::to_string(run_case.count),
                                           "--scale", std::to_string(run_case.scale),
                                           "--quiet"};
        if (run_case.fps != 60) {  // 60 is the default
            frames.insert(frames.end(), {"--fps", std::to_string(run_case.fps)});
        }
        std::vector<std::string> arguments = frames;
        arguments.insert(arguments.end(), {"--apng", output("a.png")});
        const Outcome outcome = run(arguments);
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        std::string raw_stream = tool_command();
        for (const std::string& argument : frames) {
            raw_stream += " " + quoted(argument);
        }
        raw_stream += " --raw - | ffmpeg -v error -f rawvideo -pixel_format bgr0 -video_size " +
                      std::to_string(320 * run_case.scale) + "x" +
                      std::to_string(240 * run_case.scale) + " -i -";
        const std::vector<std::string> expected = frame_digests(raw_stream, work_ / "raw.md5");
        const std::vector<std::string> decoded =
            frame_digests("ffmpeg -v error -i " + quoted(output("a.png")), work_ / "apng.md5");
        // Each decoded frame's duration (ffmpeg counts in 1/100000 s): a
        // whole number of the run's frames, each shown as that one.
        const std::string probe =
            "ffprobe -v error -select_streams v -show_entries packet=duration_time -of csv=p=0 " +
            quoted(output("a.png")) + " >" + quoted((work_ / "durations").string());
        ASSERT_EQ(std::system(probe.c_str()), 0);
        std::istringstream durations(read_file(work_ / "durations"));
        std::vector<std::string> shown;
        std::size_t packets = 0;
        int off_pace = 0;
        for (std::string line; std::getline(durations, line) && packets < decoded.size();
             ++packets) {
            const double shown_for = std::stod(line) * run_case.fps;
            const long whole = std::max(std::lround(shown_for), 1L);
            // To the demuxer's 1/100000 s, and the 1/1000000 s printed.
            off_pace +=
                std::fabs(shown_for - static_cast<double>(whole)) > 2e-5 * run_case.fps ? 1 : 0;
            shown.insert(shown.end(), static_cast<std::size_t>(whole), decoded[packets]);
        }
        EXPECT_EQ(packets, decoded.size()) << run_case.first;
        EXPECT_EQ(off_pace, 0) << run_case.first;
        EXPECT_EQ(expected.size(), static_cast<std::size_t>(run_case.count)) << run_case.first;
        EXPECT_TRUE(shown == expected)
            << "frames from " << run_case.first << ": " << decoded.size() << " decoded, shown as "
            << shown.size() << ", " << expected.size() << " expected";
        if (run_case.scale == 1 && run_case.fps == 60) {
            // The whole cycle: every frame its own, 1/60 s.
            EXPECT_EQ(decoded.size(), static_cast<std::size_t>(run_case.count));
        }
    }
}

#endif

// Runs julia-frames with stderr (and stdin, stdout) on a pseudo-terminal;
// returns what the terminal received.
std::string run_on_terminal(const std::vector<std::string>& arguments, int& status) {
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        become_julia_frames(arguments);
    }
    std::string received;
    char buffer[4096];
    for (;;) {
        const ssize_t size = read(terminal, buffer, sizeof buffer);
        if (size > 0) {
            received.append(buffer, static_cast<std::size_t>(size));
        } else if (size < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // EIO once the child has gone
        }
    }
    int raw_status = 0;
    waitpid(child, &raw_status, 0);
    close(terminal);
    status = WIFEXITED(raw_status) ? WEXITSTATUS(raw_status) : -1;
    return received;
}

// Makes the progress line show from the first frame on, however fast this
// machine renders, for as long as it lives.
struct ProgressAtOnce {
    ProgressAtOnce() { setenv("QUENLIXOR_PROGRESS_AFTER_MS", "0", 1); }
    ~ProgressAtOnce() { unsetenv("QUENLIXOR_PROGRESS_AFTER_MS"); }
    ProgressAtOnce(const ProgressAtOnce&) = delete;
    ProgressAtOnce& operator=(const ProgressAtOnce&) = delete;
};

TEST_F(JuliaFramesTest, ProgressShowsOnlyOnATerminal) {
    const ProgressAtOnce at_once;
    const std::vector<std::string> arguments = {"--frame", "1", "--count", "40", "--threads", "1"};
    int status = -1;
    const std::string shown = run_on_terminal(arguments, status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(shown.find("/40 frames"), std::string::npos) << shown;
    EXPECT_NE(shown.find("%"), std::string::npos) << shown;
    EXPECT_NE(shown.find(" fps"), std::string::npos) << shown;
    EXPECT_NE(shown.find(" left"), std::string::npos) << shown;
    // Drawn over itself and cleared at the end.
    EXPECT_GE(std::count(shown.begin(), shown.end(), '\r'), 2) << shown;
    EXPECT_EQ(shown.back(), '\r') << shown;
    EXPECT_EQ(shown.find('\n'), std::string::npos) << shown;

    std::vector<std::string> quiet = arguments;
    quiet.push_back("--quiet");
    EXPECT_TRUE(run_on_terminal(quiet, status).empty());
    EXPECT_EQ(status, 0);

    const Outcome not_on_terminal = run(arguments);
    EXPECT_EQ(not_on_terminal.status, 0);
    EXPECT_TRUE(not_on_terminal.err.empty()) << not_on_terminal.err;
}

TEST_F(JuliaFramesTest, ABadProgressSettingIsIgnoredWithAWarning) {
    setenv("QUENLIXOR_PROGRESS_AFTER_MS", "soon", 1);
    const Outcome outcome = run({"--frame", "1", "--count", "2"});
    unsetenv("QUENLIXOR_PROGRESS_AFTER_MS");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(count_lines(outcome.err), 1) << outcome.err;
    EXPECT_NE(outcome.err.find("QUENLIXOR_PROGRESS_AFTER_MS=soon"), std::string::npos)
        << outcome.err;
}

#if defined(QUENLIXOR_HAVE_GIF)
TEST_F(JuliaFramesTest, GifDelayIsTheFrameTimeRoundedToTheNearestCentisecond) {
    // 100/F centiseconds, halves rounded up: 40 fps is 2.5 cs, shown as 3.
    for (const int fps : {1, 3, 7, 8, 16, 24, 40, 50}) {
        const Outcome outcome = run({"--frame", "100", "--count", "2", "--fps", std::to_string(fps),
                                     "--gif", output("d.gif")});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        int error = 0;
        GifFileType* gif = DGifOpenFileName(output("d.gif").c_str(), &error);
        ASSERT_NE(gif, nullptr);
        ASSERT_EQ(DGifSlurp(gif), GIF_OK);
        ASSERT_EQ(gif->ImageCount, 2);
        const int expected = static_cast<int>(std::floor(100.0 / fps + 0.5));
        for (int image = 0; image < 2; ++image) {
            GraphicsControlBlock control{};
            ASSERT_EQ(DGifSavedExtensionToGCB(gif, image, &control), GIF_OK);
            EXPECT_EQ(control.DelayTime, expected) << fps << " fps";
        }
        DGifCloseFile(gif, &error);
    }
}
#endif

}  // namespace
}  // namespace quenlixor
