// Finds which frame of the animation a screen capture of the program's window
// shows, and compares a capture with a frame written by julia-frames.
//
//   e2e-frame-match find CAPTURE.xwd FIRST LAST [SCALE]
//       Renders frames FIRST..LAST in order, converts each into the capture's
//       pixel format with the program's own converter choice, and prints the
//       number of the first frame equal to the capture in every pixel.
//   e2e-frame-match compare CAPTURE.xwd FRAME.raw [SCALE]
//       Converts the framebuffer in FRAME.raw (76,800 little-endian words)
//       and compares it with the capture; prints the differing pixels.
//
//   e2e-frame-match find-in SCREEN.ppm FIRST LAST [SCALE]
//       As find, in a screenshot of a whole screen: prints the first frame
//       shown anywhere in it, and where: "FRAME X Y", the picture's top left
//       corner in screen pixels.
//   e2e-frame-match compare-in SCREEN.ppm FRAME.raw X Y [SCALE]
//       As compare, with the picture at (X, Y) in the screenshot.
//   e2e-frame-match black-around SCREEN.ppm X Y [SCALE]
//       Counts the pixels of the screenshot around the picture at (X, Y)
//       that are not black: "N pixels around it are not black".
//   e2e-frame-match find-shrunk AREA.ppm FIRST LAST
//       As find-in, for a screenshot of an area too small for the picture
//       (a screen saver's preview): the picture shrunk to the largest size
//       of its shape that fits, centred. Prints "FRAME X Y W H", its place
//       and size.
//   e2e-frame-match compare-shrunk AREA.ppm FRAME.raw
//       As compare, for the shrunk picture, and the area around it must be
//       black: "N pixels differ".
//
// The shrunk picture is W x H: the area's width and the height that keeps
// the picture's shape, rounded down, where that fits; else the area's
// height and the width that keeps it. Its pixel (i, j) is the picture's
// pixel (i * 320 / W, j * 240 / H), rounded down.
//
// With SCALE (1-8, default 1) the capture is SCALE times the picture's size
// each way and every picture pixel must be a block of SCALE x SCALE equal
// pixels; a capture with any other block is refused (status 1).
//
// CAPTURE.xwd is the window dump that xwd writes: the server's own pixels,
// so a 16-bit desktop is compared in 5-6-5, not in colours widened to 8 bits.
// Its window must have a TrueColor visual, which shows pixels as written.
// SCREEN.ppm is a binary PPM (P6, 8 bits a channel), as pngtopnm makes of a
// Wayland compositor's screenshot: compared as 32-bit XRGB, the format the
// program's texture takes there.
// Exit status: 0 when the frames agree (or one was found), 1 when not, 2 on
// bad input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "animation/julia_renderer.h"
#include "display/pixel_converters.h"

namespace {

using namespace quenlixor;

struct Capture {
    std::uint32_t width = 0, height = 0;
    std::uint32_t bits_per_pixel = 0;
    std::uint32_t red_mask = 0, green_mask = 0, blue_mask = 0;
    std::uint32_t bytes_per_line = 0;
    std::vector<std::uint8_t> pixels;  // picture_height rows of bytes_per_line
};

std::uint32_t big_endian_word(const std::vector<std::uint8_t>& bytes, std::size_t index) {
    const std::size_t at = index * 4;
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | std::uint32_t{bytes[at + 3]};
}

std::vector<std::uint8_t> read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t capture_scale = 1;

// Reduces a capture of capture_scale times the picture's size to the
// picture's size, when every block of capture_scale x capture_scale pixels is
// one colour; the count of the other blocks when not (the capture as it was).
long reduce_blocks(Capture& capture) {
    const std::uint32_t bytes_per_pixel = capture.bits_per_pixel / 8;
    const std::uint32_t scale = capture_scale;
    constexpr auto columns = static_cast<std::uint32_t>(picture_width);
    constexpr auto rows = static_cast<std::uint32_t>(picture_height);
    std::vector<std::uint8_t> reduced(std::size_t{columns} * rows * bytes_per_pixel);
    long uneven = 0;
    for (std::uint32_t y = 0; y < rows; ++y) {
        for (std::uint32_t x = 0; x < columns; ++x) {
            const std::uint8_t* const corner = capture.pixels.data() +
                                               std::size_t{y} * scale * capture.bytes_per_line +
                                               std::size_t{x} * scale * bytes_per_pixel;
            bool even = true;
            for (std::uint32_t j = 0; j < scale && even; ++j) {
                for (std::uint32_t i = 0; i < scale && even; ++i) {
                    even = std::memcmp(corner + std::size_t{j} * capture.bytes_per_line +
                                           std::size_t{i} * bytes_per_pixel,
                                       corner, bytes_per_pixel) == 0;
                }
            }
            uneven += even ? 0 : 1;
            std::memcpy(reduced.data() + (std::size_t{y} * columns + x) * bytes_per_pixel, corner,
                        bytes_per_pixel);
        }
    }
    if (uneven == 0) {
        capture.pixels = std::move(reduced);
        capture.bytes_per_line = columns * bytes_per_pixel;
        capture.width = columns;
        capture.height = rows;
    }
    return uneven;
}

bool reduce_blocks(const char* path, Capture& capture) {
    const long uneven = reduce_blocks(capture);
    if (uneven != 0) {
        std::fprintf(stderr, "e2e-frame-match: %s: %ld of the %ux%u blocks are not one colour\n",
                     path, uneven, capture_scale, capture_scale);
    }
    return uneven == 0;
}

bool load_capture(const char* path, Capture& capture) {
    const std::vector<std::uint8_t> bytes = read_file(path);
    if (bytes.size() < 100) {
        std::fprintf(stderr, "e2e-frame-match: %s is not a window dump\n", path);
        return false;
    }
    // XWDFileHeader: 25 big-endian 32-bit fields, then the window name, then
    // ncolors colour entries of 12 bytes, then the pixels.
    const std::uint32_t header_size = big_endian_word(bytes, 0);
    const std::uint32_t version = big_endian_word(bytes, 1);
    const std::uint32_t format = big_endian_word(bytes, 2);
    const std::uint32_t width = big_endian_word(bytes, 4);
    const std::uint32_t height = big_endian_word(bytes, 5);
    const std::uint32_t byte_order = big_endian_word(bytes, 7);
    capture.bits_per_pixel = big_endian_word(bytes, 11);
    capture.bytes_per_line = big_endian_word(bytes, 12);
    capture.red_mask = big_endian_word(bytes, 14);
    capture.green_mask = big_endian_word(bytes, 15);
    capture.blue_mask = big_endian_word(bytes, 16);
    const std::uint32_t ncolors = big_endian_word(bytes, 19);
    // Through any other visual class the screen shows each pixel as a colour
    // map says, not as its bits are written.
    const std::uint32_t visual_class = big_endian_word(bytes, 13);
    constexpr std::uint32_t true_color = 4;
    if (visual_class != true_color) {
        std::fprintf(stderr,
                     "e2e-frame-match: %s: the window's visual is not TrueColor (class %u), so "
                     "its pixels do not show as written\n",
                     path, visual_class);
        return false;
    }
    if (version != 7 || format != 2 || byte_order != 0) {
        std::fprintf(stderr, "e2e-frame-match: %s: only little-endian ZPixmap dumps\n", path);
        return false;
    }
    if (width != static_cast<std::uint32_t>(picture_width) * capture_scale ||
        height != static_cast<std::uint32_t>(picture_height) * capture_scale) {
        std::fprintf(stderr, "e2e-frame-match: %s is %ux%u, not the %dx%d picture times %u\n", path,
                     width, height, picture_width, picture_height, capture_scale);
        return false;
    }
    const std::size_t start = std::size_t{header_size} + std::size_t{ncolors} * 12;
    const std::size_t size = std::size_t{capture.bytes_per_line} * height;
    if (bytes.size() < start + size) {
        std::fprintf(stderr, "e2e-frame-match: %s is truncated\n", path);
        return false;
    }
    capture.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                          bytes.begin() + static_cast<std::ptrdiff_t>(start + size));
    capture.width = width;
    capture.height = height;
    return capture_scale == 1 || reduce_blocks(path, capture);
}

// Reads the next number of a PPM header at `at`, after white space.
bool ppm_number(const std::vector<std::uint8_t>& bytes, std::size_t& at, std::uint32_t& value) {
    while (at < bytes.size() && std::strchr(" \t\r\n", bytes[at]) != nullptr) {
        ++at;
    }
    const std::size_t first = at;
    value = 0;
    while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9' && at - first < 6) {
        value = value * 10 + (bytes[at] - '0');
        ++at;
    }
    return at > first && at < bytes.size();
}

// A screenshot as a capture of 32-bit XRGB pixels (bytes B, G, R, 0).
bool load_screen(const char* path, Capture& screen) {
    const std::vector<std::uint8_t> bytes = read_file(path);
    std::size_t at = 2;
    std::uint32_t maximum = 0;
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6' ||
        !ppm_number(bytes, at, screen.width) || !ppm_number(bytes, at, screen.height) ||
        !ppm_number(bytes, at, maximum) || maximum != 255 ||
        bytes.size() - at - 1 < std::size_t{screen.width} * screen.height * 3) {
        std::fprintf(stderr, "e2e-frame-match: %s is not a binary PPM of 8-bit channels\n", path);
        return false;
    }
    ++at;  // the one white space character before the pixels
    screen.bits_per_pixel = 32;
    screen.red_mask = 0xFF0000;
    screen.green_mask = 0xFF00;
    screen.blue_mask = 0xFF;
    screen.bytes_per_line = screen.width * 4;
    screen.pixels.assign(std::size_t{screen.bytes_per_line} * screen.height, 0);
    for (std::size_t pixel = 0; pixel < std::size_t{screen.width} * screen.height; ++pixel) {
        const std::uint8_t* const rgb = &bytes[at + pixel * 3];
        std::uint8_t* const xrgb = &screen.pixels[pixel * 4];
        xrgb[0] = rgb[2];
        xrgb[1] = rgb[1];
        xrgb[2] = rgb[0];
    }
    return true;
}

// The part of `screen` with its top left corner at (x, y), capture_scale
// times the picture's size, as a capture of its own; false when the screen
// does not reach that far.
bool region_of(const Capture& screen, std::uint32_t x, std::uint32_t y, Capture& region) {
    const std::uint32_t width = static_cast<std::uint32_t>(picture_width) * capture_scale;
    const std::uint32_t height = static_cast<std::uint32_t>(picture_height) * capture_scale;
    if (x > screen.width || screen.width - x < width || y > screen.height ||
        screen.height - y < height) {
        return false;
    }
    region = screen;
    region.width = width;
    region.height = height;
    region.bytes_per_line = width * 4;
    region.pixels.resize(std::size_t{region.bytes_per_line} * height);
    for (std::uint32_t row = 0; row < height; ++row) {
        std::memcpy(&region.pixels[std::size_t{row} * region.bytes_per_line],
                    &screen.pixels[(std::size_t{y} + row) * screen.bytes_per_line + x * 4],
                    region.bytes_per_line);
    }
    return true;
}

// The bytes the program puts on a desktop of the capture's format, row by
// row in the capture's own row layout.
struct Expectation {
    Converter converter = nullptr;
    std::uint32_t bytes_per_pixel = 0;
    std::uint32_t colour_bits = 0;  // the bits the three masks cover
    std::vector<std::uint8_t> rows;
};

bool prepare_expectation(const Capture& capture, Expectation& expected) {
    expected.converter = select_converter(capture.bits_per_pixel, capture.red_mask,
                                          capture.green_mask, capture.blue_mask);
    if (expected.converter == nullptr) {
        std::fprintf(stderr, "e2e-frame-match: the program refuses this format (%u bits)\n",
                     capture.bits_per_pixel);
        return false;
    }
    expected.bytes_per_pixel = capture.bits_per_pixel / 8;
    expected.colour_bits = capture.red_mask | capture.green_mask | capture.blue_mask;
    expected.rows.assign(capture.pixels.size(), 0);
    return true;
}

std::uint32_t pixel_at(const std::vector<std::uint8_t>& rows, std::size_t offset,
                       std::uint32_t bytes_per_pixel) {
    std::uint32_t value = 0;
    for (std::uint32_t b = 0; b < bytes_per_pixel; ++b) {
        value |= std::uint32_t{rows[offset + b]} << (8 * b);
    }
    return value;
}

// Converts `frame` and counts the pixels whose colour bits differ from the
// capture's.
long differing_pixels(const Capture& capture, Expectation& expected, const std::uint32_t* frame) {
    for (int row = 0; row < picture_height; ++row) {
        expected.converter(frame + row * picture_width,
                           expected.rows.data() + std::size_t(row) * capture.bytes_per_line,
                           picture_width);
    }
    long differing = 0;
    for (int row = 0; row < picture_height; ++row) {
        for (int column = 0; column < picture_width; ++column) {
            const std::size_t offset = std::size_t(row) * capture.bytes_per_line +
                                       std::size_t(column) * expected.bytes_per_pixel;
            const std::uint32_t want = pixel_at(expected.rows, offset, expected.bytes_per_pixel);
            const std::uint32_t got = pixel_at(capture.pixels, offset, expected.bytes_per_pixel);
            if (((want ^ got) & expected.colour_bits) != 0) {
                ++differing;
            }
        }
    }
    return differing;
}

bool parse_frame(const char* text, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return *text != '\0' && *end == '\0' && value >= 0 && value <= 0x7FFFFFFF;
}

int find(const char* capture_path, const char* first_text, const char* last_text) {
    long long first = 0, last = 0;
    if (!parse_frame(first_text, first) || !parse_frame(last_text, last) || last < first) {
        std::fprintf(stderr, "e2e-frame-match: bad frame range %s..%s\n", first_text, last_text);
        return 2;
    }
    Capture capture;
    Expectation expected;
    if (!load_capture(capture_path, capture) || !prepare_expectation(capture, expected)) {
        return 2;
    }
    prepare_tables();
    frame_number = static_cast<std::int32_t>(first == 0 ? 0x7FFFFFFF : first - 1);
    for (long long frame = first; frame <= last; ++frame) {
        render_frame();
        if (differing_pixels(capture, expected, framebuffer) == 0) {
            std::printf("%d\n", frame_number);
            return 0;
        }
    }
    std::fprintf(stderr, "e2e-frame-match: no frame in %lld..%lld matches %s\n", first, last,
                 capture_path);
    return 1;
}

// Reads a raw frame: pixel_count little-endian words.
bool load_raw(const char* raw_path, std::vector<std::uint32_t>& frame) {
    const std::vector<std::uint8_t> raw = read_file(raw_path);
    if (raw.size() != sizeof(std::uint32_t) * pixel_count) {
        std::fprintf(stderr, "e2e-frame-match: %s is not a raw frame\n", raw_path);
        return false;
    }
    frame.assign(pixel_count, 0);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = pixel_at(raw, 4 * i, 4);
    }
    return true;
}

int compare(const char* capture_path, const char* raw_path) {
    Capture capture;
    Expectation expected;
    if (!load_capture(capture_path, capture) || !prepare_expectation(capture, expected)) {
        return 2;
    }
    std::vector<std::uint32_t> frame;
    if (!load_raw(raw_path, frame)) {
        return 2;
    }
    const long differing = differing_pixels(capture, expected, frame.data());
    std::printf("%ld pixels differ\n", differing);
    return differing == 0 ? 0 : 1;
}

// Whether the screen shows `frame` with its top left corner at (x, y):
// a few pixels spread over the picture first (most places fail at the
// first), then every pixel and every block.
bool shows_frame_at(const Capture& screen, std::uint32_t x, std::uint32_t y, Expectation& expected,
                    const std::uint32_t* frame) {
    for (std::uint32_t sample = 0; sample < 64; ++sample) {
        const std::uint32_t column = (sample * 149 + 160) % picture_width;
        const std::uint32_t row = (sample * 83 + 120) % picture_height;
        std::uint32_t want = 0;
        expected.converter(frame + row * picture_width + column, &want, 1);
        const std::size_t at = (std::size_t{y} + row * capture_scale) * screen.bytes_per_line +
                               (std::size_t{x} + column * capture_scale) * 4;
        if (((pixel_at(screen.pixels, at, 4) ^ want) & expected.colour_bits) != 0) {
            return false;
        }
    }
    Capture region;
    if (!region_of(screen, x, y, region) || reduce_blocks(region) != 0) {
        return false;
    }
    Expectation of_region;
    return prepare_expectation(region, of_region) &&
           differing_pixels(region, of_region, frame) == 0;
}

int find_in(const char* screen_path, const char* first_text, const char* last_text) {
    long long first = 0, last = 0;
    if (!parse_frame(first_text, first) || !parse_frame(last_text, last) || last < first) {
        std::fprintf(stderr, "e2e-frame-match: bad frame range %s..%s\n", first_text, last_text);
        return 2;
    }
    Capture screen;
    Expectation expected;
    if (!load_screen(screen_path, screen) || !prepare_expectation(screen, expected)) {
        return 2;
    }
    const std::uint32_t width = static_cast<std::uint32_t>(picture_width) * capture_scale;
    const std::uint32_t height = static_cast<std::uint32_t>(picture_height) * capture_scale;
    if (screen.width < width || screen.height < height) {
        std::fprintf(stderr, "e2e-frame-match: %s is smaller than the picture times %u\n",
                     screen_path, capture_scale);
        return 2;
    }
    prepare_tables();
    frame_number = static_cast<std::int32_t>(first == 0 ? 0x7FFFFFFF : first - 1);
    for (long long frame = first; frame <= last; ++frame) {
        render_frame();
        for (std::uint32_t y = 0; y + height <= screen.height; ++y) {
            for (std::uint32_t x = 0; x + width <= screen.width; ++x) {
                if (shows_frame_at(screen, x, y, expected, framebuffer)) {
                    std::printf("%d %u %u\n", frame_number, x, y);
                    return 0;
                }
            }
        }
    }
    std::fprintf(stderr, "e2e-frame-match: no frame in %lld..%lld is in %s in %ux%u blocks\n",
                 first, last, screen_path, capture_scale, capture_scale);
    return 1;
}

int compare_in(const char* screen_path, const char* raw_path, const char* x_text,
               const char* y_text) {
    long long x = 0, y = 0;
    Capture screen;
    Capture region;
    Expectation expected;
    std::vector<std::uint32_t> frame;
    if (!parse_frame(x_text, x) || !parse_frame(y_text, y)) {
        std::fprintf(stderr, "e2e-frame-match: bad place %s,%s\n", x_text, y_text);
        return 2;
    }
    if (!load_screen(screen_path, screen) || !load_raw(raw_path, frame)) {
        return 2;
    }
    if (!region_of(screen, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), region)) {
        std::fprintf(stderr, "e2e-frame-match: the picture at %lld,%lld leaves %s\n", x, y,
                     screen_path);
        return 2;
    }
    if (!reduce_blocks(screen_path, region) || !prepare_expectation(region, expected)) {
        return 1;
    }
    const long differing = differing_pixels(region, expected, frame.data());
    std::printf("%ld pixels differ\n", differing);
    return differing == 0 ? 0 : 1;
}

int black_around(const char* screen_path, const char* x_text, const char* y_text) {
    long long x = 0, y = 0;
    Capture screen;
    if (!parse_frame(x_text, x) || !parse_frame(y_text, y)) {
        std::fprintf(stderr, "e2e-frame-match: bad place %s,%s\n", x_text, y_text);
        return 2;
    }
    if (!load_screen(screen_path, screen)) {
        return 2;
    }
    const long long right = x + static_cast<long long>(picture_width) * capture_scale;
    const long long bottom = y + static_cast<long long>(picture_height) * capture_scale;
    long lit = 0;
    for (std::uint32_t row = 0; row < screen.height; ++row) {
        for (std::uint32_t column = 0; column < screen.width; ++column) {
            const bool inside = column >= x && column < right && row >= y && row < bottom;
            const std::size_t at = std::size_t{row} * screen.bytes_per_line + column * 4;
            lit += !inside && pixel_at(screen.pixels, at, 4) != 0 ? 1 : 0;
        }
    }
    std::printf("%ld pixels around it are not black\n", lit);
    return lit == 0 ? 0 : 1;
}

// The place and size of the picture shrunk into a `width` x `height` area,
// and the expected screen pixel at (column, row) of it: written out from
// the rule above, not taken from the display's code.
struct Shrunk {
    std::uint32_t x, y, width, height;
};

Shrunk shrunk_into(std::uint32_t width, std::uint32_t height) {
    Shrunk shrunk{0, 0, width, height};
    const auto picture_w = static_cast<std::uint32_t>(picture_width);
    const auto picture_h = static_cast<std::uint32_t>(picture_height);
    if (std::uint64_t{width} * picture_h <= std::uint64_t{height} * picture_w) {
        shrunk.height = width * picture_h / picture_w;
    } else {
        shrunk.width = height * picture_w / picture_h;
    }
    shrunk.x = (width - shrunk.width) / 2;
    shrunk.y = (height - shrunk.height) / 2;
    return shrunk;
}

// Pixels of the area that differ from `frame` shrunk into it on black,
// counting at most `enough` of them.
long shrunk_differences(const Capture& area, const Shrunk& shrunk, const std::uint32_t* frame,
                        long enough) {
    long differing = 0;
    for (std::uint32_t row = 0; row < area.height && differing < enough; ++row) {
        for (std::uint32_t column = 0; column < area.width && differing < enough; ++column) {
            std::uint32_t want = 0;
            if (column >= shrunk.x && column < shrunk.x + shrunk.width && row >= shrunk.y &&
                row < shrunk.y + shrunk.height) {
                const std::uint32_t i = column - shrunk.x;
                const std::uint32_t j = row - shrunk.y;
                const std::uint32_t source_x =
                    i * static_cast<std::uint32_t>(picture_width) / shrunk.width;
                const std::uint32_t source_y =
                    j * static_cast<std::uint32_t>(picture_height) / shrunk.height;
                want = frame[source_y * static_cast<std::uint32_t>(picture_width) + source_x] &
                       0xFFFFFFU;
            }
            const std::size_t at = std::size_t{row} * area.bytes_per_line + column * 4;
            if ((pixel_at(area.pixels, at, 4) & 0xFFFFFFU) != want) {
                ++differing;
            }
        }
    }
    return differing;
}

bool load_small_area(const char* path, Capture& area) {
    if (!load_screen(path, area)) {
        return false;
    }
    if (area.width == 0 || area.height == 0 ||
        (area.width >= static_cast<std::uint32_t>(picture_width) &&
         area.height >= static_cast<std::uint32_t>(picture_height))) {
        std::fprintf(stderr,
                     "e2e-frame-match: %s is %ux%u, which the picture needs no shrinking for\n",
                     path, area.width, area.height);
        return false;
    }
    return true;
}

int find_shrunk(const char* area_path, const char* first_text, const char* last_text) {
    long long first = 0, last = 0;
    if (!parse_frame(first_text, first) || !parse_frame(last_text, last) || last < first) {
        std::fprintf(stderr, "e2e-frame-match: bad frame range %s..%s\n", first_text, last_text);
        return 2;
    }
    Capture area;
    if (!load_small_area(area_path, area)) {
        return 2;
    }
    const Shrunk shrunk = shrunk_into(area.width, area.height);
    prepare_tables();
    frame_number = static_cast<std::int32_t>(first == 0 ? 0x7FFFFFFF : first - 1);
    for (long long frame = first; frame <= last; ++frame) {
        render_frame();
        if (shrunk_differences(area, shrunk, framebuffer, 1) == 0) {
            std::printf("%d %u %u %u %u\n", frame_number, shrunk.x, shrunk.y, shrunk.width,
                        shrunk.height);
            return 0;
        }
    }
    std::fprintf(stderr,
                 "e2e-frame-match: no frame in %lld..%lld is in %s shrunk to %ux%u at %u,%u\n",
                 first, last, area_path, shrunk.width, shrunk.height, shrunk.x, shrunk.y);
    return 1;
}

int compare_shrunk(const char* area_path, const char* raw_path) {
    Capture area;
    std::vector<std::uint32_t> frame;
    if (!load_small_area(area_path, area) || !load_raw(raw_path, frame)) {
        return 2;
    }
    const long differing =
        shrunk_differences(area, shrunk_into(area.width, area.height), frame.data(), 0x7FFFFFFF);
    std::printf("%ld pixels differ\n", differing);
    return differing == 0 ? 0 : 1;
}

}  // namespace

// An optional last argument SCALE: 1-8.
bool read_scale(int argc, char** argv, int fixed) {
    if (argc == fixed) {
        return true;
    }
    if (argc != fixed + 1 || std::strlen(argv[fixed]) != 1 || argv[fixed][0] < '1' ||
        argv[fixed][0] > '8') {
        return false;
    }
    capture_scale = static_cast<std::uint32_t>(argv[fixed][0] - '0');
    return true;
}

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "find") == 0 && read_scale(argc, argv, 5)) {
        return find(argv[2], argv[3], argv[4]);
    }
    if (argc >= 4 && std::strcmp(argv[1], "compare") == 0 && read_scale(argc, argv, 4)) {
        return compare(argv[2], argv[3]);
    }
    if (argc >= 5 && std::strcmp(argv[1], "find-in") == 0 && read_scale(argc, argv, 5)) {
        return find_in(argv[2], argv[3], argv[4]);
    }
    if (argc >= 6 && std::strcmp(argv[1], "compare-in") == 0 && read_scale(argc, argv, 6)) {
        return compare_in(argv[2], argv[3], argv[4], argv[5]);
    }
    if (argc >= 5 && std::strcmp(argv[1], "black-around") == 0 && read_scale(argc, argv, 5)) {
        return black_around(argv[2], argv[3], argv[4]);
    }
    if (argc == 5 && std::strcmp(argv[1], "find-shrunk") == 0) {
        return find_shrunk(argv[2], argv[3], argv[4]);
    }
    if (argc == 4 && std::strcmp(argv[1], "compare-shrunk") == 0) {
        return compare_shrunk(argv[2], argv[3]);
    }
    std::fprintf(stderr,
                 "usage: e2e-frame-match find CAPTURE.xwd FIRST LAST [SCALE]\n"
                 "       e2e-frame-match compare CAPTURE.xwd FRAME.raw [SCALE]\n"
                 "       e2e-frame-match find-in SCREEN.ppm FIRST LAST [SCALE]\n"
                 "       e2e-frame-match compare-in SCREEN.ppm FRAME.raw X Y [SCALE]\n"
                 "       e2e-frame-match black-around SCREEN.ppm X Y [SCALE]\n"
                 "       e2e-frame-match find-shrunk AREA.ppm FIRST LAST\n"
                 "       e2e-frame-match compare-shrunk AREA.ppm FRAME.raw\n");
    return 2;
}
