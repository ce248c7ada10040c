// PNG pictures of frames: the chunks are ours, the compressed data zlib's.
//
// Each row is filtered with the filter whose bytes, read as signed, add up
// to the least magnitude (the long-standing heuristic for truecolour
// pictures, libpng's default too); ties go to the earlier filter. At a
// scale above 1 every repeated row is then all zeros under the Up filter.
// The rows are deflated in one zlib stream, one IDAT chunk.
//
// zlib's deflate gives the same bytes for the same input, level and
// settings wherever its version's code is the same: Debian's zlib 1.2.13,
// natively, for ARM64 and for MinGW, gives one file everywhere (the Windows
// build is tested against the native one).
#include "tools/png_encoder.h"

#define ZLIB_CONST
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "animation/julia_renderer.h"
#include "display/pixel_converters.h"
#include "display/present_rows.h"
#include "tools/png_chunks.h"

namespace quenlixor {
namespace {

constexpr std::size_t bytes_per_pixel = 3;
constexpr int deflate_level = 6;
constexpr int deflate_window_bits = 15;
constexpr int deflate_memory_level = 8;

enum Filter : unsigned char { none, sub, up, average, paeth };
constexpr int filter_count = 5;

int paeth_predictor(int left, int above, int above_left) {
    const int estimate = left + above - above_left;
    const int to_left = std::abs(estimate - left);
    const int to_above = std::abs(estimate - above);
    const int to_above_left = std::abs(estimate - above_left);
    if (to_left <= to_above && to_left <= to_above_left) {
        return left;
    }
    return to_above <= to_above_left ? above : above_left;
}

// Byte `at` of `row` under filter F; `above` is the row before (zeros for
// the first row).
template <Filter F>
unsigned char filtered(const unsigned char* row, const unsigned char* above, std::size_t at) {
    const int value = row[at];
    const int left = at >= bytes_per_pixel ? row[at - bytes_per_pixel] : 0;
    const int up_value = above[at];
    const int above_left = at >= bytes_per_pixel ? above[at - bytes_per_pixel] : 0;
    int prediction = 0;
    if constexpr (F == sub) {
        prediction = left;
    } else if constexpr (F == up) {
        prediction = up_value;
    } else if constexpr (F == average) {
        prediction = (left + up_value) / 2;
    } else if constexpr (F == paeth) {
        prediction = paeth_predictor(left, up_value, above_left);
    }
    return static_cast<unsigned char>(value - prediction);
}

// The row's bytes under F read as signed, their magnitudes added up; stops
// early once past `limit`.
template <Filter F>
std::size_t filter_cost(const unsigned char* row, const unsigned char* above, std::size_t size,
                        std::size_t limit) {
    std::size_t cost = 0;
    for (std::size_t at = 0; at < size && cost <= limit; ++at) {
        const unsigned char byte = filtered<F>(row, above, at);
        cost += byte < 128 ? byte : 256U - byte;
    }
    return cost;
}

template <Filter F>
void apply_filter(const unsigned char* row, const unsigned char* above, std::size_t size,
                  unsigned char* out) {
    for (std::size_t at = 0; at < size; ++at) {
        out[at] = filtered<F>(row, above, at);
    }
}

using CostFunction = std::size_t (*)(const unsigned char*, const unsigned char*, std::size_t,
                                     std::size_t);
using ApplyFunction = void (*)(const unsigned char*, const unsigned char*, std::size_t,
                               unsigned char*);
constexpr CostFunction filter_costs[filter_count] = {
    filter_cost<none>, filter_cost<sub>, filter_cost<up>, filter_cost<average>, filter_cost<paeth>};
constexpr ApplyFunction filter_appliers[filter_count] = {apply_filter<none>, apply_filter<sub>,
                                                         apply_filter<up>, apply_filter<average>,
                                                         apply_filter<paeth>};

// The picture's rows as PNG's image data before compression: each row its
// filter's number, then its filtered bytes.
void filter_rows(const unsigned char* picture, std::size_t row_bytes, std::size_t rows,
                 unsigned char* out) {
    const std::vector<unsigned char> zeros(row_bytes, 0);
    for (std::size_t row = 0; row < rows; ++row) {
        const unsigned char* now = picture + row * row_bytes;
        const unsigned char* above = row == 0 ? zeros.data() : now - row_bytes;
        int best = 0;
        std::size_t best_cost = filter_costs[0](now, above, row_bytes, SIZE_MAX);
        for (int filter = 1; filter < filter_count && best_cost > 0; ++filter) {
            const std::size_t cost = filter_costs[filter](now, above, row_bytes, best_cost);
            if (cost < best_cost) {
                best = filter;
                best_cost = cost;
            }
        }
        unsigned char* const line = out + row * (row_bytes + 1);
        line[0] = static_cast<unsigned char>(best);
        filter_appliers[best](now, above, row_bytes, line + 1);
    }
}

// Appends the zlib stream of `data` to `bytes`; false when zlib fails.
bool append_deflated(const std::vector<unsigned char>& data, std::vector<unsigned char>& bytes) {
    z_stream stream{};
    if (deflateInit2(&stream, deflate_level, Z_DEFLATED, deflate_window_bits, deflate_memory_level,
                     Z_FILTERED) != Z_OK) {
        return false;
    }
    const std::size_t start = bytes.size();
    const uLong bound = deflateBound(&stream, static_cast<uLong>(data.size()));
    bytes.resize(start + bound);
    stream.next_in = data.data();
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = bytes.data() + start;
    stream.avail_out = static_cast<uInt>(bound);
    const bool finished = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    bytes.resize(start + stream.total_out);
    return deflateEnd(&stream) == Z_OK && finished;
}

}  // namespace

bool png_available() {
    return true;
}

bool encode_png_rgb(const unsigned char* rgb, std::uint32_t width, std::uint32_t height,
                    std::vector<unsigned char>& bytes) {
    const std::size_t row_bytes = std::size_t{width} * bytes_per_pixel;
    std::vector<unsigned char> data(height * (row_bytes + 1));
    filter_rows(rgb, row_bytes, height, data.data());

    bytes.assign(std::begin(png_signature), std::end(png_signature));
    // IHDR: width, height, 8 bits per sample, colour type 2 (RGB), deflate,
    // adaptive filtering, no interlace.
    const std::size_t header = begin_chunk(bytes, "IHDR");
    put32(bytes, width);
    put32(bytes, height);
    const unsigned char format[] = {8, 2, 0, 0, 0};
    bytes.insert(bytes.end(), std::begin(format), std::end(format));
    end_chunk(bytes, header);
    const std::size_t image = begin_chunk(bytes, "IDAT");
    if (!append_deflated(data, bytes)) {
        return false;
    }
    end_chunk(bytes, image);
    end_chunk(bytes, begin_chunk(bytes, "IEND"));
    return true;
}

bool encode_png(const std::uint32_t* pixels, int scale, std::vector<unsigned char>& bytes) {
    const auto width = static_cast<std::uint32_t>(picture_width * scale);
    const auto height = static_cast<std::uint32_t>(picture_height * scale);
    const std::size_t row_bytes = width * bytes_per_pixel;
    // Bytes R, G, B.
    std::vector<unsigned char> picture(height * row_bytes);
    present_rows(pixels, picture_width, picture_height, scale, convert_to_bgr888,
                 static_cast<std::int32_t>(bytes_per_pixel), picture.data(),
                 static_cast<std::int32_t>(row_bytes));
    return encode_png_rgb(picture.data(), width, height, bytes);
}

}  // namespace quenlixor
