// The animated PNG: our chunks, and each frame's rows deflated by
// frame_deflate: thoroughly the first frame (stored whole once, where a
// thorough parse saves a tenth on zlib's strongest level: the cycle's first
// frame, 1,981 bytes against 2,192) and the frames of a short run.
//
// Rows are stored unfiltered (filter type 0): the pictures are bands of
// escape-time colours, and deflate's matches with the rows above (at a
// distance of about one row) code them better than any PNG filter's
// differences do (each of the five filters, and the usual choice among
// them by least sum of magnitudes, made the cycle larger); at a scale N the
// repeated rows are such matches too.
#include "tools/apng_encoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "animation/julia_renderer.h"
#include "tools/changed_area.h"
#include "tools/palette_index.h"
#include "tools/png_chunks.h"

namespace quenlixor {
namespace {

// The most bytes a frame's rows may take to be deflated thoroughly: a whole
// frame at scale 1 (77,040), not at scale 2 and more, where a frame is
// N x N times larger and so is the time, and the rows repeat for the fast
// parse's matches anyway.
constexpr std::size_t thorough_bytes_max = 128 * 1024;

// Index 0 is transparent, the one entry of the tRNS chunk (the others are
// opaque), and the palette's colours follow it: index = palette entry + 1.
// So a transparent pixel is the byte of the filter type that leads each row
// (0): a run of transparent pixels goes on across the rows, into matches up
// to the longest deflate has, which made sparse frames a fifth smaller.
constexpr std::uint8_t transparent_index = 0;
constexpr int palette_entries = palette_colours + 1;

// fcTL's dispose and blend operations.
constexpr unsigned char dispose_none = 0;
constexpr unsigned char blend_source = 0;
constexpr unsigned char blend_over = 1;
constexpr std::uint8_t changed = 0;
constexpr std::uint8_t unchanged = 0xFF;

// A big-endian number written over four bytes at `at`.
void write_at(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t byte = 0; byte < 4; ++byte) {
        bytes[at + byte] = static_cast<unsigned char>(value >> (24 - 8 * byte));
    }
}

// A frame's bytes start with its fcTL chunk: length, type, sequence number,
// width, height, x and y offsets, delay numerator and denominator, dispose
// and blend operations, CRC; then its IDAT, or its fdAT led by its sequence
// number.
constexpr std::size_t sequence_at = 8;
constexpr std::size_t delay_at = 8 + 4 + 16;
constexpr std::size_t image_data_chunk_at = 12 + 26;

unsigned char palette_bytes[palette_entries * 3];

// The rows of `area` at `scale`, each its filter type (0) and its indices,
// into scratch.values, and into scratch.either which of them did not change
// (none without `previous`). False for a colour outside the palette.
bool frame_rows(const std::uint32_t* pixels, const std::uint32_t* previous, const Rectangle& area,
                int scale, ApngScratch& scratch) {
    const auto factor = static_cast<std::size_t>(scale);
    const auto width = static_cast<std::size_t>(area.width);
    const std::size_t row_bytes = width * factor + 1;
    const std::size_t size = row_bytes * static_cast<std::size_t>(area.height) * factor;
    scratch.values.resize(size + frame_rows_slack);
    scratch.either.resize(size + frame_rows_slack);
    // At a scale above 1, each row at scale 1 first, then widened.
    scratch.row.resize(factor > 1 ? 2 * width : 0);
    bool known = true;
    std::uint8_t* values = scratch.values.data();
    std::uint8_t* either = scratch.either.data();
    for (int row = area.top; row < area.top + area.height; ++row) {
        const std::uint32_t* now = pixels + row * picture_width + area.left;
        const std::uint32_t* before =
            previous == nullptr ? nullptr : previous + row * picture_width + area.left;
        values[0] = 0;
        either[0] = changed;
        std::uint8_t* const indices = factor > 1 ? scratch.row.data() : values + 1;
        std::uint8_t* const same = factor > 1 ? scratch.row.data() + width : either + 1;
        known = palette_indices(now, area.width, indices) && known;
        for (std::size_t column = 0; column < width; ++column) {
            ++indices[column];  // after the transparent entry
            same[column] = before != nullptr && before[column] == now[column] ? unchanged : changed;
        }
        if (factor > 1) {
            for (std::size_t column = 0; column < width; ++column) {
                std::memset(values + 1 + column * factor, indices[column], factor);
                std::memset(either + 1 + column * factor, same[column], factor);
            }
        }
        // The row's copies, at a scale above 1.
        for (std::size_t copy = 1; copy < factor; ++copy) {
            std::memcpy(values + copy * row_bytes, values, row_bytes);
            std::memcpy(either + copy * row_bytes, either, row_bytes);
        }
        values += row_bytes * factor;
        either += row_bytes * factor;
    }
    return known;
}

// The fcTL chunk, its sequence number and delay 0 until the frame is
// placed.
void frame_control(const Rectangle& area, int scale, unsigned char blend,
                   std::vector<unsigned char>& bytes) {
    const std::size_t control = begin_chunk(bytes, "fcTL");
    put32(bytes, 0);
    put32(bytes, static_cast<std::uint32_t>(area.width * scale));
    put32(bytes, static_cast<std::uint32_t>(area.height * scale));
    put32(bytes, static_cast<std::uint32_t>(area.left * scale));
    put32(bytes, static_cast<std::uint32_t>(area.top * scale));
    put16(bytes, 0);
    put16(bytes, 0);
    bytes.push_back(dispose_none);
    bytes.push_back(blend);
    end_chunk(bytes, control);
}

}  // namespace

void prepare_apng_colours() {
    prepare_palette_index();
    std::fill(std::begin(palette_bytes), std::end(palette_bytes), static_cast<unsigned char>(0));
    palette_rgb_bytes(palette_bytes + 3);  // after the transparent entry 0
}

void apng_head(int scale, std::int64_t frame_count, std::vector<unsigned char>& bytes) {
    bytes.assign(std::begin(png_signature), std::end(png_signature));
    // IHDR: width, height, 8 bits per index, colour type 3 (palette),
    // deflate, adaptive filtering, no interlace.
    const std::size_t header = begin_chunk(bytes, "IHDR");
    put32(bytes, static_cast<std::uint32_t>(picture_width * scale));
    put32(bytes, static_cast<std::uint32_t>(picture_height * scale));
    const unsigned char format[] = {8, 3, 0, 0, 0};
    bytes.insert(bytes.end(), std::begin(format), std::end(format));
    end_chunk(bytes, header);
    // acTL: the frames, and 0 plays: for ever.
    const std::size_t animation = begin_chunk(bytes, "acTL");
    put32(bytes, static_cast<std::uint32_t>(frame_count));
    put32(bytes, 0);
    end_chunk(bytes, animation);
    const std::size_t colours = begin_chunk(bytes, "PLTE");
    bytes.insert(bytes.end(), std::begin(palette_bytes), std::end(palette_bytes));
    end_chunk(bytes, colours);
    // tRNS: entry 0 transparent; those it does not list are opaque.
    const std::size_t alpha = begin_chunk(bytes, "tRNS");
    bytes.push_back(0);
    end_chunk(bytes, alpha);
}

ApngDeflate apng_deflate_for(std::int64_t frame_count) {
    return frame_count <= 120   ? ApngDeflate::thorough
           : frame_count <= 360 ? ApngDeflate::lighter
                                : ApngDeflate::fast;
}

bool apng_frame(const std::uint32_t* pixels, const std::uint32_t* previous, int scale,
                ApngDeflate deflate, ApngScratch& scratch, std::vector<unsigned char>& bytes) {
    bytes.clear();
    Rectangle area = previous == nullptr ? Rectangle{0, 0, picture_width, picture_height}
                                         : changed_rectangle(pixels, previous);
    FrameRows rows;
    if (area.width == 0) {
        // One transparent pixel at the corner, at every scale.
        area = {0, 0, 1, 1};
        scale = 1;
        scratch.values.assign(2 + frame_rows_slack, 0);
        scratch.values[1] = transparent_index;
    } else if (!frame_rows(pixels, previous, area, scale, scratch)) {
        return false;
    } else if (previous != nullptr) {
        rows.either = scratch.either.data();
    }
    rows.values = scratch.values.data();
    rows.size = scratch.values.size() - frame_rows_slack;
    rows.stride = static_cast<std::size_t>(area.width * scale) + 1;
    rows.alternative = transparent_index;

    frame_control(area, scale, previous == nullptr ? blend_source : blend_over, bytes);
    const std::size_t image_data = begin_chunk(bytes, previous == nullptr ? "IDAT" : "fdAT");
    if (previous != nullptr) {
        put32(bytes, 0);
    }
    if (previous == nullptr) {
        deflate = ApngDeflate::thorough;
    }
    if (deflate == ApngDeflate::fast || rows.size > thorough_bytes_max) {
        deflate_frame(rows, scratch.deflate, bytes);
    } else {
        deflate_frame_thoroughly(
            rows, deflate == ApngDeflate::thorough ? thorough_effort : lighter_effort,
            scratch.deflate, bytes);
    }
    end_chunk(bytes, image_data);
    return true;
}

void place_apng_frame(std::vector<unsigned char>& frame, std::int64_t index, unsigned numerator,
                      unsigned denominator) {
    // Frame 0's fcTL is chunk 0 of the sequence; each later frame has its
    // fcTL and its one fdAT.
    const auto control_number = static_cast<std::uint32_t>(index == 0 ? 0 : 2 * index - 1);
    const unsigned char fields[] = {
        static_cast<unsigned char>(numerator >> 8), static_cast<unsigned char>(numerator),
        static_cast<unsigned char>(denominator >> 8), static_cast<unsigned char>(denominator)};
    std::copy(std::begin(fields), std::end(fields), frame.begin() + delay_at);
    write_at(frame, sequence_at, control_number);
    renew_chunk_crc(frame, 0);
    if (index > 0) {
        write_at(frame, image_data_chunk_at + 8, control_number + 1);
        renew_chunk_crc(frame, image_data_chunk_at);
    }
}

void apng_end(std::vector<unsigned char>& bytes) {
    end_chunk(bytes, begin_chunk(bytes, "IEND"));
}

}  // namespace quenlixor
