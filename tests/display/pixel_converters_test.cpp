// The converters against the per-pixel rules: every format, every path this
// processor can run and the named converters, for many row lengths, every
// misalignment of source and destination, with random pixels; guard pages
// and sentinel bytes around the rows; the x87 unit after every call; the
// choice of converter by pixel format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "display/pixel_converters.h"
#include "display/pixel_converters_internal.h"
#include "tests/display/guarded_pages.h"
#include "tests/lib/fast_path_table.h"

namespace quenlixor {
namespace {

using test_support::guarded_pages_allocate;
using test_support::guarded_pages_release;
using test_support::GuardedPages;

// --- the formats -------------------------------------------------------------

struct FormatCase {
    PixelFormat format;
    std::uint32_t bytes;
    Converter named;
    std::uint32_t (*rule)(std::uint32_t);
    // The pixel format that selects it.
    std::uint32_t bit_count, red_mask, green_mask, blue_mask;
};

const FormatCase format_cases[] = {
    {PixelFormat::xrgb8888, 4, convert_to_xrgb8888,
     [](std::uint32_t p) -> std::uint32_t { return xrgb8888_pixel(p); }, 32, 0x00FF0000, 0x0000FF00,
     0x000000FF},
    {PixelFormat::xbgr8888, 4, convert_to_xbgr8888,
     [](std::uint32_t p) -> std::uint32_t { return xbgr8888_pixel(p); }, 32, 0x000000FF, 0x0000FF00,
     0x00FF0000},
    {PixelFormat::rgb888, 3, convert_to_rgb888,
     [](std::uint32_t p) -> std::uint32_t { return rgb888_pixel(p); }, 24, 0x00FF0000, 0x0000FF00,
     0x000000FF},
    {PixelFormat::bgr888, 3, convert_to_bgr888,
     [](std::uint32_t p) -> std::uint32_t { return bgr888_pixel(p); }, 24, 0x000000FF, 0x0000FF00,
     0x00FF0000},
    {PixelFormat::rgb565, 2, convert_to_rgb565,
     [](std::uint32_t p) -> std::uint32_t { return rgb565_pixel(p); }, 16, 0xF800, 0x07E0, 0x001F},
    {PixelFormat::bgr565, 2, convert_to_bgr565,
     [](std::uint32_t p) -> std::uint32_t { return bgr565_pixel(p); }, 16, 0x001F, 0x07E0, 0xF800},
    {PixelFormat::rgb555, 2, convert_to_rgb555,
     [](std::uint32_t p) -> std::uint32_t { return rgb555_pixel(p); }, 16, 0x7C00, 0x03E0, 0x001F},
    {PixelFormat::bgr555, 2, convert_to_bgr555,
     [](std::uint32_t p) -> std::uint32_t { return bgr555_pixel(p); }, 16, 0x001F, 0x03E0, 0x7C00},
};

const FormatCase& format_case(PixelFormat format) {
    return format_cases[static_cast<int>(format)];
}

// A converter under test: the named one (path -1) or that of a path of the
// table (its index).
struct Subject {
    int format;
    int path;
};

// Every path of the table, then the named converters (-1).
std::vector<int> subject_paths() {
    std::vector<int> paths;
    for (std::size_t path = 0; path < converter_path_table().size(); ++path) {
        paths.push_back(static_cast<int>(path));
    }
    paths.push_back(-1);
    return paths;
}

// nullptr when the path cannot run here.
Converter subject_converter(const Subject& subject) {
    const FormatCase& f = format_cases[subject.format];
    if (subject.path < 0) {
        return f.named;
    }
    const ConverterPath& path = *converter_path_table()[static_cast<std::size_t>(subject.path)];
    return converter_path_available(path) ? path.converters[static_cast<int>(f.format)] : nullptr;
}

std::string subject_name(const Subject& subject) {
    return std::string(pixel_format_name(format_cases[subject.format].format)) + "_" +
           (subject.path < 0
                ? "named"
                : converter_path_table()[static_cast<std::size_t>(subject.path)]->name);
}

// --- helpers -----------------------------------------------------------------

std::uint32_t load_pixel(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// The row the rules give, byte for byte, low byte first.
void expected_row(const FormatCase& f, const unsigned char* source, std::uint32_t count,
                  unsigned char* out) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t value = f.rule(load_pixel(source + 4 * i));
        for (std::uint32_t b = 0; b < f.bytes; ++b) {
            out[i * f.bytes + b] = static_cast<unsigned char>(value >> (8 * b));
        }
    }
}

void fill_random(std::mt19937& random, unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<unsigned char>(random() >> 24);
    }
}

unsigned char sentinel(std::size_t i) {
    return static_cast<unsigned char>(0x5A ^ (i * 13));
}

#if defined(__i386__) || defined(__x86_64__)
// The x87 tag word: 0xFFFF when all eight registers are empty, as they must
// be between calls. MMX instructions mark them all in use until EMMS.
std::uint32_t x87_tag_word() {
    struct {
        std::uint16_t control, unused0, status, unused1, tags, unused2;
        std::uint32_t pointers[4];
    } environment{};
    // FNSTENV masks every exception; FLDENV puts the environment back.
    __asm__ volatile("fnstenv %0\n\tfldenv %0" : "+m"(environment));
    return environment.tags;
}
// The x87 control word (precision, rounding, exception masks), which the
// program sets once and every converter must leave alone.
std::uint32_t x87_control_word() {
    std::uint16_t control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    return control;
}
void x87_set_control_word(std::uint32_t value) {
    const auto control = static_cast<std::uint16_t>(value);
    __asm__ volatile("fldcw %0" : : "m"(control));
}
// Empties the x87 registers after a failed check, so that one faulty
// converter does not fail the tests that follow it.
void recover_x87() {
    __asm__ volatile("emms\n\tfnclex" : :);
}
#else
// No x87 unit: the word is the test's own, which a converter cannot reach.
std::uint32_t stand_in_control_word = 0;
std::uint32_t x87_control_word() {
    return stand_in_control_word;
}
void x87_set_control_word(std::uint32_t value) {
    stand_in_control_word = value;
}
std::uint32_t x87_tag_word() {
    return 0xFFFF;
}
void recover_x87() {}
#endif

// True when the x87 registers are all empty and an extended-precision
// computation gives the right result.
bool x87_usable() {
    if (x87_tag_word() != 0xFFFF) {
        recover_x87();
        return false;
    }
    volatile long double a = 1.25L;
    volatile long double b = 3.0L;
    const long double result = a * b + a;
    return result == 5.0L;
}

// Row lengths: every short row, the program's row and a few longer ones.
std::vector<std::uint32_t> short_counts() {
    std::vector<std::uint32_t> counts;
    for (std::uint32_t n = 0; n <= 70; ++n) {
        counts.push_back(n);
    }
    return counts;
}
const std::uint32_t long_counts[] = {320, 321, 327, 511, 1024, 1283};
constexpr std::uint32_t max_count = 1283;
constexpr std::size_t misalignments = 32;  // the widest vector, in bytes
constexpr std::size_t margin = 64;         // sentinel bytes on each side

// --- converter tests ---------------------------------------------------------

class ConverterTest : public ::testing::TestWithParam<Subject> {
protected:
    void SetUp() override {
        convert_ = subject_converter(GetParam());
        if (convert_ == nullptr) {
            GTEST_SKIP() << "path not available on this processor";
        }
    }

    void TearDown() override {
        guarded_pages_release(source_pages_);
        guarded_pages_release(destination_pages_);
    }

    const FormatCase& format() const { return format_cases[GetParam().format]; }

    // Converts `count` pixels at source + source_offset into a sentinel-filled
    // buffer at destination_offset; checks the row against the rules, the
    // sentinels, the source and the x87 unit. False after the first failure.
    bool check_row(const unsigned char* source, std::uint32_t count, std::size_t destination_offset,
                   const std::vector<unsigned char>& expected) {
        const std::size_t row_bytes = std::size_t{count} * format().bytes;
        const std::size_t used = 2 * margin + misalignments + row_bytes;
        for (std::size_t i = 0; i < used; ++i) {
            destination_[i] = sentinel(i);
        }
        unsigned char* row = destination_.data() + margin + destination_offset;
        // A rounding mode of the test's own, which a reset of the unit would lose.
        const std::uint32_t control = x87_control_word();
        x87_set_control_word(control ^ 0x0C00);
        convert_(source, row, count);
        const bool control_kept = x87_control_word() == (control ^ 0x0C00);
        x87_set_control_word(control);
        if (!control_kept || !x87_usable()) {
            ADD_FAILURE() << "x87 unit unusable or changed after " << count << " pixels";
            return false;
        }
        if (!std::equal(row, row + row_bytes, expected.begin())) {
            for (std::size_t i = 0; i < row_bytes; ++i) {
                if (row[i] != expected[i]) {
                    ADD_FAILURE() << "count " << count << ", destination offset "
                                  << destination_offset << ": byte " << i << " (pixel "
                                  << i / format().bytes << ") is " << int{row[i]} << ", not "
                                  << int{expected[i]};
                    break;
                }
            }
            return false;
        }
        const std::size_t row_begin = margin + destination_offset;
        for (std::size_t i = 0; i < used; ++i) {
            if ((i < row_begin || i >= row_begin + row_bytes) && destination_[i] != sentinel(i)) {
                ADD_FAILURE() << "count " << count << ", destination offset " << destination_offset
                              << ": byte "
                              << static_cast<long long>(i) - static_cast<long long>(row_begin)
                              << " from the row's start was written";
                return false;
            }
        }
        return true;
    }

    // One row length at the given pairs of misalignments.
    bool check_count(std::mt19937& random, std::uint32_t count, bool every_pair) {
        const std::size_t source_bytes = std::size_t{count} * 4;
        std::vector<unsigned char> expected(std::size_t{count} * format().bytes);
        for (std::size_t source_offset = 0; source_offset < misalignments; ++source_offset) {
            unsigned char* source = source_.data() + margin + source_offset;
            fill_random(random, source, source_bytes);
            const std::vector<unsigned char> source_copy(source, source + source_bytes);
            expected_row(format(), source, count, expected.data());
            for (std::size_t destination_offset = 0; destination_offset < misalignments;
                 ++destination_offset) {
                if (!every_pair && destination_offset != (source_offset * 7 + 3) % misalignments &&
                    destination_offset != 0) {
                    continue;
                }
                if (!check_row(source, count, destination_offset, expected)) {
                    ADD_FAILURE() << "source offset " << source_offset;
                    return false;
                }
            }
            if (!std::equal(source, source + source_bytes, source_copy.begin())) {
                ADD_FAILURE() << "count " << count << ": the source row was changed";
                return false;
            }
        }
        return true;
    }

    Converter convert_ = nullptr;
    GuardedPages source_pages_{};
    GuardedPages destination_pages_{};
    std::vector<unsigned char> source_ =
        std::vector<unsigned char>(2 * margin + misalignments + 4 * max_count);
    std::vector<unsigned char> destination_ =
        std::vector<unsigned char>(2 * margin + misalignments + 4 * max_count);
};

TEST_P(ConverterTest, ShortRowsMatchTheRulesAtEveryMisalignment) {
    std::mt19937 random(1000u + static_cast<unsigned>(GetParam().format));
    for (const std::uint32_t count : short_counts()) {
        if (!check_count(random, count, true)) {
            return;
        }
    }
}

TEST_P(ConverterTest, LongRowsMatchTheRules) {
    std::mt19937 random(2000u + static_cast<unsigned>(GetParam().format));
    for (const std::uint32_t count : long_counts) {
        if (!check_count(random, count, false)) {
            return;
        }
    }
}

// Rows placed against inaccessible pages: the source ending right before
// one, the destination ending right before one and the destination starting
// right after one. A read or write past either end faults.
TEST_P(ConverterTest, StaysInsideItsRowsBetweenGuardPages) {
    source_pages_ = guarded_pages_allocate(4 * max_count);
    destination_pages_ = guarded_pages_allocate(4 * max_count);
    ASSERT_NE(source_pages_.begin, nullptr);
    ASSERT_NE(destination_pages_.begin, nullptr);
    std::mt19937 random(3000u + static_cast<unsigned>(GetParam().format));
    std::vector<std::uint32_t> counts = short_counts();
    counts.insert(counts.end(), std::begin(long_counts), std::end(long_counts));
    std::vector<unsigned char> expected(4 * max_count);
    for (const std::uint32_t count : counts) {
        const std::size_t source_bytes = std::size_t{count} * 4;
        const std::size_t row_bytes = std::size_t{count} * format().bytes;
        unsigned char* const sources[] = {source_pages_.end - source_bytes, source_pages_.begin};
        unsigned char* const destinations[] = {destination_pages_.end - row_bytes,
                                               destination_pages_.begin};
        for (unsigned char* source : sources) {
            fill_random(random, source, source_bytes);
            expected_row(format(), source, count, expected.data());
            for (unsigned char* destination : destinations) {
                convert_(source, destination, count);
                ASSERT_TRUE(x87_usable()) << "count " << count;
                ASSERT_TRUE(std::equal(destination, destination + row_bytes, expected.begin()))
                    << "count " << count;
            }
        }
    }
}

std::vector<Subject> all_subjects() {
    std::vector<Subject> subjects;
    for (int format = 0; format < pixel_format_count; ++format) {
        for (const int path : subject_paths()) {
            subjects.push_back(Subject{format, path});
        }
    }
    return subjects;
}

INSTANTIATE_TEST_SUITE_P(EveryFormatAndPath, ConverterTest, ::testing::ValuesIn(all_subjects()),
                         [](const ::testing::TestParamInfo<Subject>& subject) {
                             return subject_name(subject.param);
                         });

// --- known pixels --------------------------------------------------------------

struct KnownPixel {
    PixelFormat format;
    std::uint32_t source;
    std::uint32_t destination;  // low byte first, as many bytes as the format has
};

const KnownPixel known_pixels[] = {
    // Pure red.
    {PixelFormat::xrgb8888, 0x00FF0000, 0x00FF0000},
    {PixelFormat::xbgr8888, 0x00FF0000, 0x000000FF},
    {PixelFormat::rgb888, 0x00FF0000, 0xFF0000},  // bytes 00 00 FF
    {PixelFormat::bgr888, 0x00FF0000, 0x0000FF},  // bytes FF 00 00
    {PixelFormat::rgb565, 0x00FF0000, 0xF800},
    {PixelFormat::bgr565, 0x00FF0000, 0x001F},
    {PixelFormat::rgb555, 0x00FF0000, 0x7C00},
    {PixelFormat::bgr555, 0x00FF0000, 0x001F},
    // Pure blue.
    {PixelFormat::rgb555, 0x000000FF, 0x001F},
    {PixelFormat::bgr555, 0x000000FF, 0x7C00},
    {PixelFormat::rgb565, 0x000000FF, 0x001F},
    {PixelFormat::bgr565, 0x000000FF, 0xF800},
    // Pure green.
    {PixelFormat::rgb565, 0x0000FF00, 0x07E0},
    {PixelFormat::rgb555, 0x0000FF00, 0x03E0},
    {PixelFormat::xbgr8888, 0x0000FF00, 0x0000FF00},
    // White: bit 15 stays clear in 5-5-5.
    {PixelFormat::rgb565, 0x00FFFFFF, 0xFFFF},
    {PixelFormat::bgr565, 0x00FFFFFF, 0xFFFF},
    {PixelFormat::rgb555, 0x00FFFFFF, 0x7FFF},
    {PixelFormat::bgr555, 0x00FFFFFF, 0x7FFF},
    // Truncation: the low bits are dropped, nothing is rounded.
    {PixelFormat::rgb565, 0x00070307, 0x0000},
    {PixelFormat::bgr565, 0x00070307, 0x0000},
    {PixelFormat::rgb555, 0x00070307, 0x0000},
    {PixelFormat::bgr555, 0x00070307, 0x0000},
    {PixelFormat::rgb565, 0x00080408, 0x0821},
    {PixelFormat::bgr565, 0x00080408, 0x0821},
    {PixelFormat::rgb555, 0x00080408, 0x0401},
    {PixelFormat::bgr555, 0x00080408, 0x0401},
    // Bit 24 set: kept only by the 32-bit red-high copy.
    {PixelFormat::xrgb8888, 0x01123456, 0x01123456},
    {PixelFormat::xbgr8888, 0x01123456, 0x00563412},
    {PixelFormat::rgb888, 0x01123456, 0x123456},  // bytes 56 34 12
    {PixelFormat::bgr888, 0x01123456, 0x563412},  // bytes 12 34 56
    {PixelFormat::rgb565, 0x01123456, 0x11AA},
    {PixelFormat::bgr565, 0x01123456, 0x51A2},
    {PixelFormat::rgb555, 0x01123456, 0x08CA},
    {PixelFormat::bgr555, 0x01123456, 0x28C2},
    // All of bits 24-31 set, no colour.
    {PixelFormat::xrgb8888, 0xFF000000, 0xFF000000},
    {PixelFormat::xbgr8888, 0xFF000000, 0x00000000},
    {PixelFormat::rgb888, 0xFF000000, 0x000000},
    {PixelFormat::rgb565, 0xFF000000, 0x0000},
    {PixelFormat::bgr555, 0xFF000000, 0x0000},
};

TEST(KnownPixels, RulesGiveTheTableValues) {
    for (const KnownPixel& known : known_pixels) {
        const FormatCase& f = format_case(known.format);
        EXPECT_EQ(f.rule(known.source), known.destination)
            << pixel_format_name(f.format) << " of 0x" << std::hex << known.source;
    }
}

// Rows of one known pixel, long enough for blocks and a remainder, through
// every converter of the pixel's format.
TEST(KnownPixels, EveryConverterWritesTheTableValues) {
    constexpr std::uint32_t count = 37;
    for (const KnownPixel& known : known_pixels) {
        const FormatCase& f = format_case(known.format);
        std::vector<unsigned char> source(4 * count);
        for (std::uint32_t i = 0; i < count; ++i) {
            for (std::uint32_t b = 0; b < 4; ++b) {
                source[4 * i + b] = static_cast<unsigned char>(known.source >> (8 * b));
            }
        }
        for (const int path : subject_paths()) {
            const Subject subject{static_cast<int>(known.format), path};
            const Converter convert = subject_converter(subject);
            if (convert == nullptr) {
                continue;
            }
            std::vector<unsigned char> destination(f.bytes * count, 0xEE);
            convert(source.data(), destination.data(), count);
            for (std::uint32_t i = 0; i < count * f.bytes; ++i) {
                const auto want =
                    static_cast<unsigned char>(known.destination >> (8 * (i % f.bytes)));
                if (destination[i] != want) {
                    ADD_FAILURE() << subject_name(subject) << " of 0x" << std::hex << known.source
                                  << ": byte " << std::dec << i << " is " << int{destination[i]}
                                  << ", not " << int{want};
                    break;
                }
            }
        }
    }
}

// The rules against a second, plainly different formulation (shifts and
// masks on the whole pixel), over every colour with random bits 24-31.
TEST(PixelRules, AgreeWithShiftAndMaskFormulasForEveryColour) {
    std::mt19937 random(4000u);
    for (std::uint32_t colour = 0; colour < (1u << 24); ++colour) {
        const std::uint32_t p = colour | (random() & 0xFF000000u);
        const std::uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        const std::uint32_t swapped = ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
        const bool agree =
            xrgb8888_pixel(p) == p && xbgr8888_pixel(p) == swapped &&
            rgb888_pixel(p) == (p & 0x00FFFFFF) && bgr888_pixel(p) == swapped &&
            rgb565_pixel(p) == (((r & 0xF8) << 8) | (b >> 3) | ((g << 3) & 0x07E0)) &&
            bgr565_pixel(p) == (((b & 0xF8) << 8) | (r >> 3) | ((g << 3) & 0x07E0)) &&
            rgb555_pixel(p) == (((p >> 3) & 0x001F) | ((p >> 6) & 0x03E0) | ((p >> 9) & 0x7C00)) &&
            bgr555_pixel(p) == (((p >> 19) & 0x001F) | ((p >> 6) & 0x03E0) | ((p << 7) & 0x7C00));
        if (!agree) {
            FAIL() << "rules disagree for 0x" << std::hex << p;
        }
    }
}

// --- choosing a converter ------------------------------------------------------

TEST(SelectConverter, ChoosesTheConverterOfEachFormat) {
    for (const FormatCase& f : format_cases) {
        EXPECT_EQ(select_converter(f.bit_count, f.red_mask, f.green_mask, f.blue_mask), f.named)
            << pixel_format_name(f.format);
    }
}

struct Refusal {
    std::uint32_t bit_count, red_mask, green_mask, blue_mask;
};

const Refusal refusals[] = {
    {15, 0x7C00, 0x03E0, 0x001F},          // 5-5-5 only with bit count 16
    {15, 0x001F, 0x03E0, 0x7C00},          //
    {16, 0x001F, 0x07E0, 0x7C00},          // mixed 5-6-5 / 5-5-5 masks
    {32, 0x00FF0000, 0x0000FF00, 0x0000},  // no blue
    {8, 0x00FF0000, 0x0000FF00, 0x000000FF},
    {8, 0xF800, 0x07E0, 0x001F},
    {8, 0x7C00, 0x03E0, 0x001F},
    {8, 0, 0, 0},
    {0, 0, 0, 0},
    {24, 0xF800, 0x07E0, 0x001F},              // 16-bit masks at 24 bits
    {16, 0x00FF0000, 0x0000FF00, 0x000000FF},  // 32-bit masks at 16 bits
    {32, 0xF800, 0x07E0, 0x001F},              // 16-bit masks at 32 bits
    {32, 0xFF000000, 0x00FF0000, 0x0000FF00},  // channels in the upper bytes
    {32, 0x3FF00000, 0x000FFC00, 0x000003FF},  // 10-10-10
    {32, 0x00FF0000, 0x000000FF, 0x0000FF00},  // green in the wrong place
    {24, 0x0000FF00, 0x00FF0000, 0x000000FF},  //
    {16, 0x07E0, 0xF800, 0x001F},              //
    {64, 0x00FF0000, 0x0000FF00, 0x000000FF},  //
    {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
};

TEST(SelectConverter, RefusesEveryOtherFormat) {
    for (const Refusal& r : refusals) {
        EXPECT_EQ(select_converter(r.bit_count, r.red_mask, r.green_mask, r.blue_mask), nullptr)
            << std::hex << "bits " << std::dec << r.bit_count << std::hex << " masks 0x"
            << r.red_mask << " 0x" << r.green_mask << " 0x" << r.blue_mask;
    }
}

// --- the paths -------------------------------------------------------------------

TEST(ConverterPaths, TheTableHoldsEveryPathTheBuildCompilesOnce) {
    // QUENLIXOR_BUILT_CONVERTER_PATHS: the packed paths the build compiled.
    test_support::expect_table_of_built_paths(converter_path_table(), portable_converters,
                                              QUENLIXOR_BUILT_CONVERTER_PATHS);
}

TEST(ConverterPaths, EachPathNeedsMoreThanTheNextOnEveryLevelOfProcessor) {
    test_support::expect_ordered_by_needs(converter_path_table());
}

TEST(ConverterPaths, TheNamedConvertersUseTheFastestAvailablePath) {
    const std::span<const ConverterPath* const> table = converter_path_table();
    EXPECT_TRUE(converter_path_available(portable_converters));
    const ConverterPath& active = active_converter_path();
    EXPECT_STREQ(converter_path_name(), active.name);
    // Fastest first: every path before the active one cannot run here.
    const auto at = std::find(table.begin(), table.end(), &active);
    ASSERT_NE(at, table.end());
    EXPECT_TRUE(converter_path_available(active));
    for (auto path = table.begin(); path != at; ++path) {
        EXPECT_FALSE(converter_path_available(**path)) << (*path)->name;
    }
#if defined(__x86_64__)
    // SSE2 is part of every x86-64 processor.
    const auto sse2 = std::find_if(table.begin(), table.end(), [](const ConverterPath* path) {
        return std::string(path->name) == "sse2";
    });
    ASSERT_NE(sse2, table.end());
    EXPECT_TRUE(converter_path_available(**sse2));
#endif
    std::printf("converters use the %s path\n", active.name);
}

#if defined(__i386__) || defined(__x86_64__)
// The x87 check above notices packed-integer state left behind.
TEST(X87Check, NoticesMmxRegistersLeftInUse) {
    ASSERT_TRUE(x87_usable());
    // Nothing else here uses MMX registers, so none needs declaring.
    __asm__ volatile("pxor %%mm0, %%mm0" : :);
    EXPECT_FALSE(x87_usable());  // which also empties them again
    EXPECT_TRUE(x87_usable());
}
#endif

}  // namespace
}  // namespace quenlixor
