// The APNG's deflate against zlib's inflate: every stream it writes, fast
// or thorough, must inflate to the bytes it says it stored, each of them
// the byte given or, where either was allowed, the alternative; and on
// frames across the animation's cycle it must be clearly smaller than
// zlib's strongest level on the same rectangles (about 18 % smaller,
// measured), and thoroughly smaller still.
#include "tools/frame_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "tools/changed_area.h"
#include "tools/palette_index.h"

namespace quenlixor {
namespace {

struct Input {
    std::vector<std::uint8_t> values;
    std::vector<std::uint8_t> either;  // empty: no byte may be the alternative
    std::size_t stride = 1;
    std::uint8_t alternative = 0;
};

// Deflates `input` (thoroughly, with `effort`, or not: null), inflates the
// stream with zlib and checks what came back. Returns the stream's size.
std::size_t deflated(const Input& input, const ThoroughEffort* effort, const char* what) {
    const std::size_t size = input.values.size();
    std::vector<std::uint8_t> values = input.values;
    std::vector<std::uint8_t> either = input.either;
    values.resize(size + frame_rows_slack, 0xAA);
    if (!either.empty()) {
        either.resize(size + frame_rows_slack, 0xFF);
    }
    FrameRows rows;
    rows.values = values.data();
    rows.either = either.empty() ? nullptr : either.data();
    rows.size = size;
    rows.stride = input.stride;
    rows.alternative = input.alternative;
    DeflateScratch scratch;
    std::vector<unsigned char> stream = {'x'};  // appended to what is there
    if (effort != nullptr) {
        deflate_frame_thoroughly(rows, *effort, scratch, stream);
    } else {
        deflate_frame(rows, scratch, stream);
    }

    std::vector<unsigned char> inflated(size + 1);
    uLongf inflated_size = static_cast<uLongf>(inflated.size());
    const int status = uncompress(inflated.data(), &inflated_size, stream.data() + 1,
                                  static_cast<uLong>(stream.size() - 1));
    EXPECT_EQ(status, Z_OK) << what;
    EXPECT_EQ(inflated_size, size) << what;
    if (status != Z_OK || inflated_size != size) {
        return stream.size() - 1;
    }
    int wrong = 0;
    for (std::size_t at = 0; at < size; ++at) {
        const bool may_be_either = rows.either != nullptr && either[at] != 0;
        wrong += inflated[at] != scratch.stored[at] ||
                         (inflated[at] != input.values[at] &&
                          !(may_be_either && inflated[at] == input.alternative))
                     ? 1
                     : 0;
    }
    EXPECT_EQ(wrong, 0) << what;
    return stream.size() - 1;
}

// Every way: a thorough stream no larger than the fast one. Returns the fast
// and the most thorough sizes.
std::pair<std::size_t, std::size_t> round_trip(const Input& input, const char* what) {
    const std::size_t fast = deflated(input, nullptr, what);
    const std::size_t lighter = deflated(input, &lighter_effort, what);
    const std::size_t thorough = deflated(input, &thorough_effort, what);
    EXPECT_LE(lighter, fast) << what;
    EXPECT_LE(thorough, fast) << what;
    return {fast, thorough};
}

TEST(FrameDeflateTest, ZlibInflatesWhatItWrites) {
    std::mt19937 random(12345);
    // Sizes from one byte to more than a window, rows narrower and wider
    // than the longest match (258) and the window's reach.
    for (const std::size_t size : {1U, 2U, 3U, 9U, 300U, 5000U, 70000U}) {
        for (const std::size_t stride : {1U, 7U, 200U, 321U, 2561U}) {
            // A few values (or any byte) in runs, copies of the row above
            // shifted a little, and noise; half of them may be either.
            Input input;
            input.stride = stride;
            input.alternative = 21;
            const unsigned values = stride == 7 ? 256 : 22;
            for (std::size_t at = 0; at < size; ++at) {
                std::uint8_t value = static_cast<std::uint8_t>(random() % values);
                const unsigned kind = random() % 8;
                if (at >= stride && kind < 5) {
                    value = input.values[at - stride + (kind == 0 && stride > 1 ? 1 : 0)];
                } else if (at > 0 && kind < 7) {
                    value = input.values[at - 1];
                }
                input.values.push_back(value);
                input.either.push_back(random() % 2 == 0 ? 0xFF : 0);
            }
            round_trip(input, "picture-like, with either");
            input.either.clear();
            round_trip(input, "picture-like");
        }
    }
}

TEST(FrameDeflateTest, RunsEveryByteAndDeepCodes) {
    // One byte a million times: matches of 258 to the end, and every
    // stored byte the alternative where either.
    Input run;
    run.values.assign(1000000, 7);
    run.either.assign(1000000, 0xFF);
    run.alternative = 7;
    run.stride = 320;
    EXPECT_LT(round_trip(run, "one run").first, 3000U);
    // Every byte value, no two alike in a row: literals of all 256 codes.
    Input all;
    for (int copy = 0; copy < 40; ++copy) {
        for (int value = 0; value < 256; ++value) {
            all.values.push_back(static_cast<std::uint8_t>((value * 97 + copy) & 0xFF));
        }
    }
    all.stride = 256 * 40;
    round_trip(all, "every byte");
    // Byte frequencies in the Fibonacci numbers, shuffled: a plain Huffman
    // code for them is deeper than the 15 bits deflate allows.
    Input deep;
    std::uint32_t a = 1;
    std::uint32_t b = 1;
    for (int value = 0; value < 26; ++value) {
        deep.values.insert(deep.values.end(), a, static_cast<std::uint8_t>(value));
        const std::uint32_t next = a + b;
        a = b;
        b = next;
    }
    std::shuffle(deep.values.begin(), deep.values.end(), std::mt19937(7));
    deep.stride = 1000;
    round_trip(deep, "deep codes");
}

TEST(FrameDeflateTest, FramesAcrossTheCycleComeOutSmallerThanZlibsStrongest) {
    prepare_tables();
    prepare_palette_index();
    std::vector<std::uint32_t> before(pixel_count);
    std::vector<std::uint32_t> now(pixel_count);
    std::size_t ours = 0;
    std::size_t thorough = 0;
    std::size_t zlib_best = 0;
    for (std::int32_t frame = 2; frame < 3600; frame += 300) {
        render_frame_into(frame - 1, before.data(), reference_kernel);
        render_frame_into(frame, now.data(), reference_kernel);
        // The changed rectangle as the APNG stores it (transparent 0, the
        // colours after it), its unchanged pixels either (zlib gets them
        // as their colours).
        const Rectangle area = changed_rectangle(now.data(), before.data());
        ASSERT_GT(area.width, 0);
        Input input;
        input.stride = static_cast<std::size_t>(area.width) + 1;
        input.alternative = 0;
        for (int row = area.top; row < area.top + area.height; ++row) {
            input.values.push_back(0);
            input.either.push_back(0);
            for (int column = area.left; column < area.left + area.width; ++column) {
                bool known = true;
                const auto at = static_cast<std::size_t>(row * picture_width + column);
                input.values.push_back(
                    static_cast<std::uint8_t>(palette_index(now[at], known) + 1));
                input.either.push_back(now[at] == before[at] ? 0xFF : 0);
            }
        }
        const auto [fast, slow] = round_trip(input, "a frame");
        ours += fast;
        thorough += slow;
        std::vector<unsigned char> compressed(
            compressBound(static_cast<uLong>(input.values.size())));
        uLongf compressed_size = static_cast<uLongf>(compressed.size());
        ASSERT_EQ(compress2(compressed.data(), &compressed_size, input.values.data(),
                            static_cast<uLong>(input.values.size()), 9),
                  Z_OK);
        zlib_best += compressed_size;
    }
    EXPECT_LT(static_cast<double>(ours), 0.9 * static_cast<double>(zlib_best))
        << ours << " bytes, zlib " << zlib_best;
    EXPECT_LT(static_cast<double>(thorough), 0.97 * static_cast<double>(ours))
        << thorough << " bytes thoroughly, " << ours << " not";
}

}  // namespace
}  // namespace quenlixor
