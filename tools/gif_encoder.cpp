// The animated GIF, every byte of it ours: the container is a few fixed
// records (the format's own, GIF89a), and the image data comes from our
// coder (gif_lzw.h).
//
// A frame's image data: the pixels that changed have their colours; those
// that did not may be coded either as their colour or as transparent, which
// the coder picks as it goes. The transparent index is the lowest no changed
// pixel has, so the frame's code size is as small as its colours allow. The
// data is coded twice, preferring colours and preferring transparency, and
// the shorter kept: with few changes long transparent strings code best,
// with many the colours' own strings do.
#include "tools/gif_encoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "animation/julia_renderer.h"
#include "tools/changed_area.h"
#include "tools/gif_lzw.h"
#include "tools/palette_index.h"

namespace quenlixor {
namespace {

constexpr int colour_table_size = 32;  // 22 entries rounded up to a power of two
constexpr int colour_table_bits = 5;
// The transparent index of a frame that changes nothing: no changed pixel
// takes index 0 from it.
constexpr std::uint8_t still_transparent_index = 0;

// The format's records: an extension starts with its introducer and label,
// an image with its separator, and data runs in sub-blocks of at most 255
// bytes each led by its length, ended by an empty one.
constexpr unsigned char extension_introducer = 0x21;
constexpr unsigned char graphics_control_label = 0xF9;
constexpr unsigned char application_label = 0xFF;
constexpr unsigned char image_separator = 0x2C;
// Graphics control flags: leave the frame in place (disposal method 1), and
// whether the transparent index means transparent.
constexpr unsigned char leave_in_place = 1 << 2;
constexpr unsigned char has_transparency = 1;
// The transparent index byte of a frame that has none.
constexpr unsigned char no_transparent_index = 0xFF;

// The colour table: red, green, blue bytes of every entry.
unsigned char colour_table[colour_table_size * 3];

void put16(std::vector<unsigned char>& bytes, int value) {
    bytes.push_back(static_cast<unsigned char>(value));
    bytes.push_back(static_cast<unsigned char>(value >> 8));
}

}  // namespace

void prepare_gif_colours() {
    prepare_palette_index();
    std::fill(std::begin(colour_table), std::end(colour_table), static_cast<unsigned char>(0));
    palette_rgb_bytes(colour_table);
}

void gif_head(int scale, std::vector<unsigned char>& bytes) {
    static const unsigned char signature[] = {'G', 'I', 'F', '8', '9', 'a'};
    bytes.assign(std::begin(signature), std::end(signature));
    // The screen descriptor: width, height, then a global colour table of
    // 2^colour_table_bits entries, 8 bits of colour resolution, no
    // background colour or aspect ratio.
    put16(bytes, picture_width * scale);
    put16(bytes, picture_height * scale);
    bytes.push_back(0x80 | (7 << 4) | (colour_table_bits - 1));
    bytes.push_back(0);
    bytes.push_back(0);
    bytes.insert(bytes.end(), std::begin(colour_table), std::end(colour_table));
    // The NETSCAPE2.0 application extension: loop count 0, for ever.
    static const unsigned char loop_for_ever[] = {extension_introducer,
                                                  application_label,
                                                  11,
                                                  'N',
                                                  'E',
                                                  'T',
                                                  'S',
                                                  'C',
                                                  'A',
                                                  'P',
                                                  'E',
                                                  '2',
                                                  '.',
                                                  '0',
                                                  3,
                                                  1,
                                                  0,
                                                  0,
                                                  0};
    bytes.insert(bytes.end(), std::begin(loop_for_ever), std::end(loop_for_ever));
}

bool gif_frame(const std::uint32_t* pixels, const std::uint32_t* previous, int delay_centiseconds,
               int scale, std::vector<std::uint8_t>& work, std::vector<unsigned char>& bytes) {
    Rectangle area = previous == nullptr ? Rectangle{0, 0, picture_width, picture_height}
                                         : changed_rectangle(pixels, previous);
    // A frame the same as the one before is one transparent pixel at the
    // corner, at every scale: the frame gif_fold_frame recognises.
    const bool same = area.width == 0;
    if (same) {
        area = Rectangle{0, 0, 1, 1};
        scale = 1;
    }
    const auto width = static_cast<std::size_t>(area.width);
    const auto height = static_cast<std::size_t>(area.height);
    const auto factor = static_cast<std::size_t>(scale);
    const std::size_t scaled_width = width * factor;
    const std::size_t scaled_count = scaled_width * height * factor;
    // The two codings' tables, the rectangle's indices, and at a scale
    // above 1 the scaled rectangle.
    const std::size_t table_bytes = lzw_table_bytes(colour_table_bits);
    work.resize(2 * table_bytes + width * height + (scale > 1 ? scaled_count + 8 : 0));
    std::uint8_t* const indices = work.data() + 2 * table_bytes;
    std::uint8_t* const coded = scale > 1 ? indices + width * height : indices;

    bool known = true;
    bool changed_colour[colour_table_size] = {};
    std::uint8_t* out = indices;
    for (int row = area.top; row < area.top + area.height; ++row) {
        const std::uint32_t* now = pixels + row * picture_width + area.left;
        const std::uint32_t* before =
            previous == nullptr ? nullptr : previous + row * picture_width + area.left;
        for (std::size_t column = 0; column < width; ++column) {
            const std::uint8_t index = palette_index(now[column], known);
            if (before != nullptr && before[column] == now[column]) {
                *out++ = index | lzw_either;
            } else {
                changed_colour[index] = true;
                *out++ = index;
            }
        }
    }
    if (!known) {
        return false;
    }
    if (same) {
        indices[0] = still_transparent_index;
    }
    int transparent = 0;
    while (changed_colour[transparent]) {
        ++transparent;
    }
    int highest = previous == nullptr ? 0 : transparent;
    for (int index = 0; index < colour_table_size; ++index) {
        highest = changed_colour[index] ? index : highest;
    }
    int code_size = 2;
    while ((1 << code_size) <= highest) {
        ++code_size;
    }
    if (scale > 1) {
        // Each index `scale` times: eight copies written at every step,
        // overlapping the next step's (the row copies below and the slack
        // at the end take the rest).
        std::uint8_t* to = coded;
        for (std::size_t row = 0; row < height; ++row) {
            const std::uint8_t* from = indices + row * width;
            std::uint8_t* const first = to;
            for (std::size_t column = 0; column < width; ++column, to += factor) {
                const std::uint64_t copies = from[column] * std::uint64_t{0x0101010101010101};
                std::memcpy(to, &copies, sizeof copies);
            }
            for (std::size_t copy = 1; copy < factor; ++copy, to += scaled_width) {
                std::memcpy(to, first, scaled_width);
            }
        }
    }

    // The graphics control block: flags, delay, transparent index; then
    // the image descriptor: left, top, width, height, no local colour table.
    bytes.clear();
    bytes.push_back(extension_introducer);
    bytes.push_back(graphics_control_label);
    bytes.push_back(4);
    bytes.push_back(leave_in_place | (previous == nullptr ? 0 : has_transparency));
    put16(bytes, delay_centiseconds);
    bytes.push_back(previous == nullptr ? no_transparent_index
                                        : static_cast<unsigned char>(transparent));
    bytes.push_back(0);
    bytes.push_back(image_separator);
    put16(bytes, area.left * scale);
    put16(bytes, area.top * scale);
    put16(bytes, static_cast<int>(scaled_width));
    put16(bytes, area.height * scale);
    bytes.push_back(0);
    const std::size_t start_size = bytes.size();

    // Preferring colours into `bytes`, preferring transparency beside it.
    const auto index = static_cast<std::uint8_t>(transparent);
    std::vector<unsigned char> second;
    LzwCoding codings[2] = {{work.data(), &bytes}, {work.data() + table_bytes, &second}};
    lzw_encode(coded, scaled_count, code_size, index, codings, previous == nullptr ? 1 : 2);
    const std::size_t first_size = bytes.size() - start_size;
    if (previous != nullptr && second.size() < first_size) {
        bytes.resize(start_size);
        bytes.insert(bytes.end(), second.begin(), second.end());
    }
    return true;
}

namespace {

// A frame's bytes: the graphics control block (introducer, label, size,
// flags, delay low and high, transparent index, end), then the image
// descriptor (separator, left, top, width, height, flags) and the data.
constexpr std::size_t delay_at = 4;
constexpr std::size_t transparent_at = 6;
constexpr std::size_t descriptor_at = 8;
constexpr std::size_t data_at = 18;
constexpr unsigned longest_delay = 65535;

unsigned delay_of(const std::vector<unsigned char>& frame) {
    return frame[delay_at] | (static_cast<unsigned>(frame[delay_at + 1]) << 8);
}

// Whether `frame` is what gif_frame makes of a frame the same as the one
// before: one transparent pixel at the corner.
bool shows_nothing(const std::vector<unsigned char>& frame) {
    static const unsigned char descriptor[] = {image_separator, 0, 0, 0, 0, 1, 0, 1, 0, 0};
    if (frame.size() <= data_at || frame[0] != extension_introducer ||
        frame[1] != graphics_control_label || frame[2] != 4 || (frame[3] & 1) == 0 ||
        frame[transparent_at] != still_transparent_index ||
        !std::equal(std::begin(descriptor), std::end(descriptor), frame.begin() + descriptor_at)) {
        return false;
    }
    std::uint8_t table[4096 * 4 * 2];
    static_assert(sizeof table == 4096 * 4 * 2);
    std::vector<unsigned char> data;
    LzwCoding coding{table, &data};
    lzw_encode(&still_transparent_index, 1, 2, still_transparent_index, &coding, 1);
    return frame.size() == data_at + data.size() &&
           std::equal(data.begin(), data.end(), frame.begin() + data_at);
}

}  // namespace

void gif_set_delay(std::vector<unsigned char>& frame, int delay_centiseconds) {
    const auto delay = static_cast<unsigned>(std::clamp(delay_centiseconds, 0, 65535));
    frame[delay_at] = static_cast<unsigned char>(delay);
    frame[delay_at + 1] = static_cast<unsigned char>(delay >> 8);
}

bool gif_fold_frame(std::vector<unsigned char>& held, const std::vector<unsigned char>& frame) {
    if (held.size() <= data_at || !shows_nothing(frame)) {
        return false;
    }
    const unsigned delay = delay_of(held) + delay_of(frame);
    if (delay > longest_delay) {
        return false;
    }
    held[delay_at] = static_cast<unsigned char>(delay);
    held[delay_at + 1] = static_cast<unsigned char>(delay >> 8);
    return true;
}

}  // namespace quenlixor
