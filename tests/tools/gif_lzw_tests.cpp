// Tests of the GIF LZW coder against a plain decoder written from the
// format's rules: every coding decodes to the pixels (each pixel that may be
// transparent to its colour or the transparent index), at every code size,
// across the widths' boundaries, with the table full and kept, and the
// sub-blocks are well formed. And of the GIF encoder's choice between the
// two codings of a frame.
#include "tools/gif_lzw.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "tools/gif_encoder.h"

namespace quenlixor {
namespace {

// The codes of GIF image data: the minimum code size, then sub-blocks.
// Empty (with `error` set) when the data is malformed.
std::vector<std::uint8_t> decode(const std::vector<unsigned char>& data, std::string& error) {
    std::vector<std::uint8_t> pixels;
    if (data.size() < 2 || data[0] < 2 || data[0] > 8) {
        error = "no code size";
        return {};
    }
    const int code_size = data[0];
    std::vector<unsigned char> codes;
    std::size_t at = 1;
    for (;;) {
        if (at >= data.size()) {
            error = "sub-blocks run past the end";
            return {};
        }
        const std::size_t length = data[at++];
        if (length == 0) {
            break;
        }
        if (at + length > data.size()) {
            error = "a sub-block runs past the end";
            return {};
        }
        codes.insert(codes.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                     data.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    if (at != data.size()) {
        error = "bytes after the last sub-block";
        return {};
    }
    const int clear = 1 << code_size;
    const int end = clear + 1;
    std::vector<int> prefix(4096, -1);
    std::vector<std::uint8_t> suffix(4096, 0);
    for (int code = 0; code < clear; ++code) {
        suffix[static_cast<std::size_t>(code)] = static_cast<std::uint8_t>(code);
    }
    auto string_of = [&](int code) {
        std::vector<std::uint8_t> text;
        for (; code >= 0; code = prefix[static_cast<std::size_t>(code)]) {
            text.insert(text.begin(), suffix[static_cast<std::size_t>(code)]);
        }
        return text;
    };
    int width = code_size + 1;
    int next = clear + 2;
    int previous = -1;
    std::size_t bit = 0;
    bool ended = false;
    while (bit + static_cast<std::size_t>(width) <= codes.size() * 8) {
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit) {
            code |= ((codes[bit / 8] >> (bit % 8)) & 1) << i;
        }
        if (code == clear) {
            width = code_size + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end) {
            ended = true;
            break;
        }
        std::vector<std::uint8_t> text;
        if (previous < 0) {
            if (code >= clear) {
                error = "a first code that is not a root";
                return {};
            }
            text = string_of(code);
        } else {
            if (code < next) {
                text = string_of(code);
            } else if (code == next && next < 4096) {
                text = string_of(previous);
                text.push_back(text.front());
            } else {
                error = "code " + std::to_string(code) + " not in the table";
                return {};
            }
            if (next < 4096) {
                prefix[static_cast<std::size_t>(next)] = previous;
                suffix[static_cast<std::size_t>(next)] = text.front();
                ++next;
                if (next == (1 << width) && width < 12) {
                    ++width;
                }
            }
        }
        pixels.insert(pixels.end(), text.begin(), text.end());
        previous = code;
    }
    if (!ended) {
        error = "no end code";
        return {};
    }
    if ((bit + 7) / 8 != codes.size()) {
        error = "bytes after the end code";
        return {};
    }
    return pixels;
}

// Codes the pixels both ways at once and checks that each decodes to them.
// Returns the two codings' sizes.
std::vector<std::size_t> check_coding(const std::vector<std::uint8_t>& pixels, int code_size,
                                      std::uint8_t transparent) {
    std::vector<std::uint8_t> tables(2 * lzw_table_bytes(code_size) + 1, 0xA5);
    std::vector<unsigned char> first = {7};  // coded data is appended
    std::vector<unsigned char> second;
    // The second table starts one byte in: any alignment.
    LzwCoding codings[2] = {{tables.data(), &first},
                            {tables.data() + lzw_table_bytes(code_size) + 1, &second}};
    lzw_encode(pixels.data(), pixels.size(), code_size, transparent, codings, 2);
    EXPECT_EQ(first.front(), 7);
    first.erase(first.begin());
    std::vector<std::size_t> sizes;
    for (const std::vector<unsigned char>* data : {&first, &second}) {
        std::string error;
        const std::vector<std::uint8_t> decoded = decode(*data, error);
        EXPECT_TRUE(error.empty())
            << error << " (code size " << code_size << ", " << pixels.size() << " pixels)";
        EXPECT_EQ(decoded.size(), pixels.size()) << "code size " << code_size;
        if (decoded.size() != pixels.size()) {
            return {};
        }
        std::size_t wrong = 0;
        for (std::size_t at = 0; at < pixels.size(); ++at) {
            const std::uint8_t pixel = pixels[at];
            if ((pixel & lzw_either) == 0) {
                wrong += decoded[at] != pixel ? 1U : 0U;
                continue;
            }
            const int colour = pixel & lzw_colour;
            const bool as_colour = colour < (1 << code_size) && decoded[at] == colour;
            wrong += as_colour || decoded[at] == transparent ? 0U : 1U;
        }
        EXPECT_EQ(wrong, 0U) << "code size " << code_size << ", " << pixels.size() << " pixels";
        sizes.push_back(data->size());
    }
    return sizes;
}

TEST(GifLzw, EveryLengthAcrossTheWidthsDecodes) {
    // Each length from 1 to 700 ends on a different code, so the end code
    // falls on and beside every width change of a small code size.
    std::mt19937 random(18);
    for (const int code_size : {2, 3}) {
        for (std::size_t count = 1; count <= 700; ++count) {
            std::vector<std::uint8_t> pixels(count);
            for (std::uint8_t& pixel : pixels) {
                pixel = static_cast<std::uint8_t>(random() % (1U << code_size));
            }
            check_coding(pixels, code_size, 0);
        }
    }
}

TEST(GifLzw, AFullTableIsKeptAndStillDecodes) {
    // Random pixels fill the 4,096 codes many times over.
    std::mt19937 random(7);
    for (int code_size = 2; code_size <= 7; ++code_size) {
        std::vector<std::uint8_t> pixels(200000);
        for (std::uint8_t& pixel : pixels) {
            pixel = static_cast<std::uint8_t>(random() % (1U << code_size));
            if (random() % 3 == 0) {
                pixel |= lzw_either;
            }
        }
        check_coding(pixels, code_size, static_cast<std::uint8_t>((1 << code_size) - 1));
    }
}

TEST(GifLzw, ColoursBeyondTheCodeSizeAreCodedTransparent) {
    // As in a frame whose changes all lie below index 16 (code size 4) while
    // its unchanged pixels hold colours 16-20: those can only be transparent.
    std::mt19937 random(5);
    for (int code_size = 2; code_size <= 4; ++code_size) {
        const unsigned alphabet = 1U << code_size;
        std::vector<std::uint8_t> pixels(100000);
        for (std::uint8_t& pixel : pixels) {
            pixel = random() % 3 != 0
                        ? static_cast<std::uint8_t>(random() % alphabet)
                        : static_cast<std::uint8_t>((random() % (alphabet + 5)) | lzw_either);
        }
        check_coding(pixels, code_size, static_cast<std::uint8_t>(alphabet - 1));
    }
}

TEST(GifLzw, LongRunsAndRowsOfRepeatsDecode) {
    std::vector<std::uint8_t> pixels(300000, 3);
    for (std::size_t at = 0; at < pixels.size(); at += 640) {
        for (std::size_t column = 0; column < 320 && at + column < pixels.size(); ++column) {
            pixels[at + column] = static_cast<std::uint8_t>((column / 7) % 16);
        }
    }
    check_coding(pixels, 4, 9);
}

TEST(GifLzw, PicksColourOrTransparencyAsPreferred) {
    // Every pixel may be transparent (index 0) or colour 1: the first coding
    // keeps the colours, the second makes them transparent.
    const std::vector<std::uint8_t> pixels(5000, 1 | lzw_either);
    std::vector<std::uint8_t> tables(2 * lzw_table_bytes(2));
    std::vector<unsigned char> first;
    std::vector<unsigned char> second;
    LzwCoding codings[2] = {{tables.data(), &first}, {tables.data() + lzw_table_bytes(2), &second}};
    lzw_encode(pixels.data(), pixels.size(), 2, 0, codings, 2);
    std::string error;
    EXPECT_EQ(decode(first, error), std::vector<std::uint8_t>(5000, 1)) << error;
    EXPECT_EQ(decode(second, error), std::vector<std::uint8_t>(5000, 0)) << error;
    // A colour beyond the code size can only be transparent.
    const std::vector<std::uint8_t> wide(300, 6 | lzw_either);
    first.clear();
    lzw_encode(wide.data(), wide.size(), 2, 3, codings, 1);
    EXPECT_EQ(decode(first, error), std::vector<std::uint8_t>(300, 3)) << error;
}

TEST(GifLzw, FollowsTransparencyWhereTheColourBreaksTheString) {
    // Rows of a repeating pattern with every fifth pixel transparent (index
    // 0) teach the dictionary the pattern's strings; then the same rows with
    // those pixels a random colour that may be transparent. The coding that
    // prefers colours goes on through the transparent strings where the
    // colour breaks them, so it is well under the same rows with the
    // random colours fixed.
    std::mt19937 random(3);
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> fixed;
    for (int row = 0; row < 200; ++row) {
        for (int column = 0; column < 320; ++column) {
            const auto colour = static_cast<std::uint8_t>(1 + column % 13);
            const auto other = static_cast<std::uint8_t>(1 + random() % 15);
            const bool fifth = column % 5 == 0;
            pixels.push_back(!fifth     ? colour
                             : row < 20 ? std::uint8_t{0}
                                        : static_cast<std::uint8_t>(other | lzw_either));
            fixed.push_back(!fifth ? colour : row < 20 ? std::uint8_t{0} : other);
        }
    }
    const std::vector<std::size_t> sizes = check_coding(pixels, 4, 0);
    const std::vector<std::size_t> fixed_sizes = check_coding(fixed, 4, 0);
    ASSERT_EQ(sizes.size(), 2U);
    ASSERT_EQ(fixed_sizes.size(), 2U);
    EXPECT_LT(sizes[0] * 3, fixed_sizes[0] * 2);
}

TEST(GifEncoder, EachFrameKeepsTheShorterOfItsTwoCodings) {
    // The frame's rectangle, transparent index and code size as the encoder
    // wrote them; its pixels, those unchanged since the frame before either
    // colour or transparent, coded both ways here.
    prepare_tables();
    prepare_gif_colours();
    std::vector<std::uint32_t> before(pixel_count);
    std::vector<std::uint32_t> now(pixel_count);
    std::vector<std::uint8_t> work;
    std::vector<unsigned char> frame;
    int colours_shorter = 0;
    int transparency_shorter = 0;
    for (const std::int32_t number : {40, 700, 2500, 99999, 123456}) {
        for (const std::int32_t step : {1, 5, 50}) {
            render_frame_into(number, before.data(), fastest_kernel());
            render_frame_into(number + step, now.data(), fastest_kernel());
            ASSERT_TRUE(gif_frame(now.data(), before.data(), 4, 1, work, frame));
            ASSERT_GT(frame.size(), 19U);
            const auto word = [&](std::size_t at) { return frame[at] | frame[at + 1] << 8; };
            const int left = word(9);
            const int top = word(11);
            std::vector<std::uint8_t> pixels;
            for (int y = top; y < top + word(15); ++y) {
                for (int x = left; x < left + word(13); ++x) {
                    const std::size_t at = static_cast<std::size_t>(y * picture_width + x);
                    std::uint8_t index = 0;
                    while (((palette[index] ^ now[at]) & 0xFFFFFFU) != 0) {
                        ++index;
                    }
                    pixels.push_back(now[at] == before[at] ? index | lzw_either : index);
                }
            }
            std::vector<std::uint8_t> tables(2 * lzw_table_bytes(frame[18]));
            std::vector<unsigned char> codings[2];
            LzwCoding coding[2] = {{tables.data(), &codings[0]},
                                   {tables.data() + tables.size() / 2, &codings[1]}};
            lzw_encode(pixels.data(), pixels.size(), frame[18], frame[6], coding, 2);
            EXPECT_EQ(frame.size() - 18, std::min(codings[0].size(), codings[1].size()))
                << "frame " << number << " after " << number + step;
            colours_shorter += codings[0].size() < codings[1].size() ? 1 : 0;
            transparency_shorter += codings[1].size() < codings[0].size() ? 1 : 0;
        }
    }
    // Each way wins somewhere, so a wrong choice shows.
    EXPECT_GT(colours_shorter, 0);
    EXPECT_GT(transparency_shorter, 0);
}

}  // namespace
}  // namespace quenlixor
