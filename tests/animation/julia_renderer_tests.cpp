// Tests of the Julia renderer: its tables, palette and parameter path, the
// facts every frame must show, and every SIMD kernel against the
// extended-precision reference, frame for frame and on pixels built to trip
// a kernel that cuts corners.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "animation/extended_arithmetic.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "animation/julia_renderer_kernels.h"
#include "tests/lib/fast_path_table.h"

namespace quenlixor {
namespace {

// The hardware's long double: on x86 the x87's extended format, the oracle of
// these tests whichever arithmetic the renderer computes in.
using LongDouble = long double;

// The escape-time count of one pixel, written out plainly from the
// definition, every assignment in extended precision: the test's own oracle
// for the library's reference kernel.
int plain_extended_count(float zr, float zi, float c_re, float c_im) {
    LongDouble rr = 0;
    LongDouble ii = 0;
    int n = 0;
    while (n < 20 && rr + ii < 4.0L) {
        const auto x = static_cast<LongDouble>(zr);
        const auto y = static_cast<LongDouble>(zi);
        const float new_rr = static_cast<float>(x * x);
        const float new_ii = static_cast<float>(y * y);
        const float t = static_cast<float>(y * x * 2.0L);
        zr =
            static_cast<float>((static_cast<LongDouble>(new_rr) - static_cast<LongDouble>(new_ii)) +
                               static_cast<LongDouble>(c_re));
        zi = static_cast<float>(static_cast<LongDouble>(c_im) + static_cast<LongDouble>(t));
        rr = static_cast<LongDouble>(new_rr);
        ii = static_cast<LongDouble>(new_ii);
        ++n;
    }
    return n;
}

// The straightforward port with double intermediates: the kind of kernel
// whose rare wrong pixels the traps below are built to catch.
int plain_double_count(float zr, float zi, float c_re, float c_im) {
    float rr = 0.0F;
    float ii = 0.0F;
    int n = 0;
    while (n < 20 && static_cast<double>(rr) + static_cast<double>(ii) < 4.0) {
        const auto x = static_cast<double>(zr);
        const auto y = static_cast<double>(zi);
        rr = static_cast<float>(x * x);
        ii = static_cast<float>(y * y);
        const float t = static_cast<float>(y * x * 2.0);
        zr = static_cast<float>((static_cast<double>(rr) - static_cast<double>(ii)) +
                                static_cast<double>(c_re));
        zi = static_cast<float>(static_cast<double>(c_im) + static_cast<double>(t));
        ++n;
    }
    return n;
}

// The bits of a single or a double (std::bit_cast is missing from some
// standard libraries the suite builds with).
std::uint32_t bits_of(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
std::uint64_t bits_of(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The escape-time count behind a framebuffer pixel, or -1 for a colour that
// no count gives.
int count_of_colour(std::uint32_t colour) {
    for (int n = 1; n <= 20; ++n) {
        if (palette[n] == colour) {
            return n;
        }
    }
    return -1;
}

// Pixel index into a frame held in a vector.
std::size_t at(int pixel) {
    return static_cast<std::size_t>(pixel);
}

std::vector<std::uint32_t> current_frame() {
    return {framebuffer, framebuffer + pixel_count};
}

// Renders the frame with the given number into the framebuffer.
std::vector<std::uint32_t> frame_by_number(std::int32_t number, const Kernel& kernel) {
    render_frame_into(number, framebuffer, kernel);
    return current_frame();
}

std::string describe_difference(const std::vector<std::uint32_t>& expected,
                                const std::vector<std::uint32_t>& actual) {
    int differing = 0;
    int first = -1;
    for (int pixel = 0; pixel < pixel_count; ++pixel) {
        if (expected[at(pixel)] != actual[at(pixel)]) {
            if (first < 0) {
                first = pixel;
            }
            ++differing;
        }
    }
    if (first < 0) {
        return "identical";
    }
    char text[160];
    std::snprintf(text, sizeof text, "%d pixels differ, first at column %d row %d: %08X, not %08X",
                  differing, first % picture_width, first / picture_width,
                  static_cast<unsigned>(actual[at(first)]),
                  static_cast<unsigned>(expected[at(first)]));
    return text;
}

// The kernels of the table this processor runs.
std::vector<const Kernel*> available_kernels() {
    std::vector<const Kernel*> kernels;
    for (const Kernel* kernel : kernel_table()) {
        if (kernel_available(*kernel)) {
            kernels.push_back(kernel);
        }
    }
    return kernels;
}

// The same, but the reference.
std::vector<const Kernel*> fast_kernels() {
    std::vector<const Kernel*> kernels = available_kernels();
    kernels.pop_back();
    return kernels;
}

class RendererTest : public ::testing::Test {
protected:
    void SetUp() override { prepare_tables(); }
    void TearDown() override { prepare_tables(); }
};

// --- the table of kernels ------------------------------------------------

std::string names_of(std::span<const Kernel* const> kernels) {
    std::string names;
    for (const Kernel* kernel : kernels) {
        names += std::string(names.empty() ? "" : " ") + kernel->name;
    }
    return names;
}

TEST(KernelTableTest, HoldsEveryKernelTheBuildCompilesOnceWithTheReferenceLast) {
    // QUENLIXOR_BUILT_KERNELS: the SIMD kernels the build compiled into the
    // library.
    test_support::expect_table_of_built_paths(kernel_table(), reference_kernel,
                                              QUENLIXOR_BUILT_KERNELS);
    for (const Kernel* kernel : kernel_table()) {
        EXPECT_EQ(kernel_named(kernel->name), kernel) << kernel->name;
    }
    EXPECT_EQ(kernel_named("none of them"), nullptr);
    EXPECT_EQ(kernel_names().find(std::string(", ") + reference_kernel.name), std::string::npos);
    EXPECT_EQ(kernel_names().substr(kernel_names().rfind(' ') + 1), reference_kernel.name);
}

TEST(KernelTableTest, EachKernelNeedsMoreThanTheNextOnEveryLevelOfProcessor) {
    test_support::expect_ordered_by_needs(kernel_table());
}

TEST(KernelTableTest, TheFastestIsTheFirstAvailableAndWiderNeedsNarrower) {
    const std::vector<const Kernel*> available = available_kernels();
    ASSERT_FALSE(available.empty());
    EXPECT_EQ(&fastest_kernel(), available.front());
    EXPECT_TRUE(kernel_available(reference_kernel));
    // A processor that runs a kernel runs every later one of the table: the
    // table is ordered by width within one family.
    const std::span<const Kernel* const> table = kernel_table();
    const auto first = std::find(table.begin(), table.end(), available.front());
    EXPECT_EQ(static_cast<std::size_t>(table.end() - first), available.size())
        << "available: " << names_of(available);
}

TEST(KernelTableTest, TheFamilysNarrowestKernelRunsUnlessCappedToNone) {
#if defined(__i386__)
    GTEST_SKIP() << "a 32-bit x86 processor may lack even SSE2";
#endif
    const std::span<const Kernel* const> table = kernel_table();
    if (table.size() < 2) {
        GTEST_SKIP() << "no SIMD kernel in this build";
    }
    // Every x86-64, ARM64 and WebAssembly SIMD processor has its family's
    // 128-bit kernel; QUENLIXOR_SIMD=none (or mmx) leaves the reference.
    const char* setting = std::getenv("QUENLIXOR_SIMD");
    const bool capped = setting != nullptr &&
                        (std::strcmp(setting, "none") == 0 || std::strcmp(setting, "mmx") == 0);
    const Kernel& narrowest = *table[table.size() - 2];
    EXPECT_EQ(kernel_available(narrowest), !capped) << narrowest.name;
    if (capped) {
        EXPECT_EQ(&fastest_kernel(), &reference_kernel);
    }
}

// --- tables ---------------------------------------------------------------

TEST_F(RendererTest, CoordinateTablesSpanTheViewWithDivisors319And239) {
    EXPECT_EQ(x_of_column[0], -2.0F);
    EXPECT_EQ(y_of_row[0], 1.5F);
    EXPECT_EQ(x_of_column[319], 2.0F - 0x1p-23F);
    EXPECT_EQ(y_of_row[239], -1.5F);
    // The steps as singles, and every entry as i x step + left (or top -
    // j x step) rounded once from extended precision.
    const auto column_step = static_cast<float>(0.012539184652268887);
    const auto row_step = static_cast<float>(0.012552301399409771);
    EXPECT_EQ(static_cast<double>(column_step), 0.012539184652268887);
    EXPECT_EQ(static_cast<double>(row_step), 0.012552301399409771);
    for (int column = 0; column < picture_width; ++column) {
        EXPECT_EQ(x_of_column[column], static_cast<float>(static_cast<LongDouble>(column) *
                                                              static_cast<LongDouble>(column_step) -
                                                          2.0L))
            << "column " << column;
        if (column > 0) {
            EXPECT_GT(x_of_column[column], x_of_column[column - 1]);
        }
    }
    for (int row = 0; row < picture_height; ++row) {
        EXPECT_EQ(y_of_row[row], static_cast<float>(1.5L - static_cast<LongDouble>(row) *
                                                               static_cast<LongDouble>(row_step)))
            << "row " << row;
        if (row > 0) {
            EXPECT_LT(y_of_row[row], y_of_row[row - 1]);
        }
    }
}

TEST_F(RendererTest, PaletteIsTheRampWithUnclampedRedThenWhiteThenZero) {
    // floor(i x 13.421052932739258) for i = 0..19.
    const int levels[20] = {0,   13,  26,  40,  53,  67,  80,  93,  107, 120,
                            134, 147, 161, 174, 187, 201, 214, 228, 241, 255};
    for (int i = 0; i < 20; ++i) {
        const int f = levels[i];
        EXPECT_EQ(f, static_cast<int>(std::floor(i * 13.421052932739258)));
        const auto red = static_cast<std::uint32_t>(2 * f);
        const auto blue = static_cast<std::uint32_t>(f >= 128 ? 2 * (f - 128) : 0);
        EXPECT_EQ(palette[i], (red << 16) | (static_cast<std::uint32_t>(f) << 8) | blue)
            << "entry " << i;
        // Entries 10-19 carry the ninth bit of red in bit 24.
        EXPECT_EQ((palette[i] >> 24) != 0, i >= 10) << "entry " << i;
    }
    EXPECT_EQ(palette[0], 0x00000000U);
    EXPECT_EQ(palette[1], 0x001A0D00U);
    EXPECT_EQ(palette[9], 0x00F07800U);
    EXPECT_EQ(palette[10], 0x010C860CU);
    EXPECT_EQ(palette[19], 0x01FEFFFEU);
    EXPECT_EQ(palette[20], 0x00FFFFFFU);
    for (int i = 21; i < 256; ++i) {
        EXPECT_EQ(palette[i], 0U) << "entry " << i;
    }
}

TEST_F(RendererTest, PreparationOverwritesWhateverTheTablesHeld) {
    std::memset(palette, 0xA5, sizeof palette);
    std::memset(x_of_column, 0x5A, sizeof x_of_column);
    std::memset(y_of_row, 0x5A, sizeof y_of_row);
    prepare_tables();
    EXPECT_EQ(palette[21], 0U);
    EXPECT_EQ(palette[255], 0U);
    EXPECT_EQ(palette[10], 0x010C860CU);
    EXPECT_EQ(x_of_column[0], -2.0F);
    EXPECT_EQ(y_of_row[239], -1.5F);
}

// --- parameter path -------------------------------------------------------

TEST_F(RendererTest, FirstFrameParameter) {
    const JuliaParameter first = julia_parameter(1);
    EXPECT_EQ(first.angle, static_cast<float>(3.141593L / 180.0L));
    EXPECT_NEAR(first.angle, 0.0174533, 1e-7);
    EXPECT_NEAR(first.c_re, 0.012215, 1e-6);
    EXPECT_NEAR(first.c_im, 0.034905, 1e-6);
}

TEST_F(RendererTest, FrameZeroHasParameterZero) {
    const JuliaParameter zero = julia_parameter(0);
    EXPECT_EQ(zero.angle, 0.0F);
    EXPECT_EQ(zero.c_re, 0.0F);
    EXPECT_EQ(zero.c_im, 0.0F);
}

TEST_F(RendererTest, ParameterFollowsThePathAcrossTheRange) {
    for (std::int64_t number = 0; number <= 0x7FFFFFFF; number += 7919 * 1543) {
        const JuliaParameter parameter = julia_parameter(static_cast<std::int32_t>(number));
        // The angle is the number read as degrees with the constant 3.141593.
        EXPECT_NEAR(parameter.angle, static_cast<double>(number) * 3.141593 / 180.0,
                    static_cast<double>(parameter.angle) * 1e-7 + 1e-30)
            << number;
        // Twice a sine, and doubling a double is exact.
        EXPECT_EQ(parameter.c_im,
                  static_cast<float>(2.0 * std::sin(static_cast<double>(parameter.angle))))
            << number;
        const double c_re = std::cos(static_cast<double>(parameter.angle)) *
                            std::sin(0.7 * static_cast<double>(parameter.angle));
        EXPECT_NEAR(parameter.c_re, c_re, 1e-7) << number;
        EXPECT_LE(std::fabs(parameter.c_re), 1.0F);
        EXPECT_LE(std::fabs(parameter.c_im), 2.0F);
    }
}

TEST_F(RendererTest, ParameterIsTheX87sWhereDoubleRoundsTheAngleDifferently) {
    // Frames 4,921,875 x 2^k: their angle in double rounds to the next
    // single (0x1.4f8efp+16 x 2^k). Each value as the x87 gives it.
    struct Pinned {
        std::int32_t number;
        float angle;
        float c_re;
        float c_im;
    };
    constexpr Pinned pinned[] = {
        {4921875, 0x1.4f8eeep+16F, 0x1.4fca9p-1F, -0x1.68049cp+0F},
        {9843750, 0x1.4f8eeep+17F, -0x1.03ed08p-7F, -0x1.fff7e2p+0F},
        {19687500, 0x1.4f8eeep+18F, -0x1.ffcf9ap-1F, -0x1.6cbcaap-5F},
        {39375000, 0x1.4f8eeep+19F, -0x1.fe15ccp-6F, 0x1.6ca586p-4F},
        {78750000, 0x1.4f8eeep+20F, 0x1.fc5226p-5F, 0x1.6c48fep-3F},
        {157500000, 0x1.4f8eeep+21F, 0x1.f54b54p-4F, 0x1.6ad772p-2F},
        {315000000, 0x1.4f8eeep+22F, 0x1.d9abb2p-3F, 0x1.651a02p-1F},
        {630000000, 0x1.4f8eeep+23F, 0x1.72a472p-2F, 0x1.4eaf04p+0F},
        {1260000000, 0x1.4f8eeep+24F, 0x1.f45602p-4F, 0x1.fa8ef2p+0F},
    };
    for (const Pinned& pin : pinned) {
        const JuliaParameter parameter = julia_parameter(pin.number);
        EXPECT_EQ(bits_of(parameter.angle), bits_of(pin.angle))
            << pin.number << ": " << std::hexfloat << parameter.angle;
        EXPECT_EQ(bits_of(parameter.c_re), bits_of(pin.c_re))
            << pin.number << ": " << std::hexfloat << parameter.c_re;
        EXPECT_EQ(bits_of(parameter.c_im), bits_of(pin.c_im))
            << pin.number << ": " << std::hexfloat << parameter.c_im;
        EXPECT_NE(bits_of(static_cast<float>(static_cast<double>(pin.number) * 3.141593 / 180.0)),
                  bits_of(pin.angle))
            << pin.number;
    }
}

// The renderer's arithmetic keeps subnormal results and operands: neither
// the processor nor the run time flushes them to zero (x86's FTZ and DAZ,
// AArch64's FPCR.FZ; WebAssembly keeps them by definition).
TEST_F(RendererTest, SubnormalsAreNotFlushed) {
    volatile float tiny = 0x1p-70F;
    volatile float smallest_normal = 0x1p-126F;
    const float product = tiny * tiny;  // 2^-140
    EXPECT_EQ(bits_of(product), 0x00000200U);
    const float difference = smallest_normal * 1.5F - smallest_normal;  // 2^-127
    EXPECT_EQ(bits_of(difference), 0x00400000U);
    volatile float subnormal = 0x1p-140F;
    EXPECT_EQ(bits_of(subnormal * 2.0F), 0x00000400U);
    volatile double wide = 0x1p-530;
    EXPECT_EQ(bits_of(wide * wide), std::uint64_t{1} << 14);  // 2^-1060
    // The same through the renderer's extended arithmetic and the
    // assignments of its passes.
    using A = Extended;
    EXPECT_EQ(A::to_float(A::mul(A::from_float(tiny), A::from_float(tiny))), 0x1p-140F);
    EXPECT_EQ(A::to_double(A::mul(A::from_double(wide), A::from_double(wide))), 0x1p-1060);
    EXPECT_EQ(A::square(tiny), 0x1p-140F);
    EXPECT_EQ(A::doubled_product(subnormal, 0.5F), 0x1p-140F);
    EXPECT_EQ(A::sum(subnormal, subnormal), 0x1p-139F);
    EXPECT_EQ(A::next_real(0x1p-140F, 0x1p-141F, 0x1p-149F), 0x1.01p-141F);
    EXPECT_EQ(A::next_real(0.0F, 0.0F, -0x1p-149F), -0x1p-149F);
}

// --- frames ---------------------------------------------------------------

TEST_F(RendererTest, RenderFrameAdvancesTheNumberAndWrapsToZero) {
    frame_number = 0;
    render_frame();
    EXPECT_EQ(frame_number, 1);
    render_frame();
    EXPECT_EQ(frame_number, 2);
    frame_number = 0x7FFFFFFE;
    render_frame();
    EXPECT_EQ(frame_number, 0x7FFFFFFF);
    render_frame();
    EXPECT_EQ(frame_number, 0);
    // ... and the frame after the wrap is frame 0, with c = (0, 0): white
    // exactly where the coordinate's squared magnitude is below 1.
    int white = 0;
    for (int row = 0; row < picture_height; ++row) {
        for (int column = 0; column < picture_width; ++column) {
            const LongDouble size =
                static_cast<LongDouble>(x_of_column[column]) *
                    static_cast<LongDouble>(x_of_column[column]) +
                static_cast<LongDouble>(y_of_row[row]) * static_cast<LongDouble>(y_of_row[row]);
            const std::uint32_t pixel = framebuffer[row * picture_width + column];
            EXPECT_EQ(pixel == 0x00FFFFFFU, size < 1.0L) << "column " << column << " row " << row;
            white += pixel == 0x00FFFFFFU ? 1 : 0;
        }
    }
    EXPECT_EQ(white, 19952);
}

TEST_F(RendererTest, FirstFrameHasAWhiteCentreAndAColouredCorner) {
    frame_number = 0;
    render_frame();
    EXPECT_EQ(framebuffer[120 * picture_width + 160], 0x00FFFFFFU);
    // Column 0, row 0 is -2 + 1.5i, outside the bound already: one pass.
    EXPECT_EQ(framebuffer[0], palette[1]);
    EXPECT_EQ(framebuffer[0], 0x001A0D00U);
}

TEST_F(RendererTest, EveryFrameGivesOnePassExactlyToThePixelsOutsideTheBound) {
    std::vector<bool> outside(pixel_count);
    int outside_count = 0;
    for (int pixel = 0; pixel < pixel_count; ++pixel) {
        const float x = x_of_column[pixel % picture_width];
        const float y = y_of_row[pixel / picture_width];
        // The squares as singles, their sum exact in double.
        const double size = static_cast<double>(x * x) + static_cast<double>(y * y);  // NOLINT
        outside[at(pixel)] = size >= 4.0;
        outside_count += outside[at(pixel)] ? 1 : 0;
    }
    EXPECT_EQ(outside_count, 8272);
    for (const std::int32_t number : {0, 1, 2, 90, 1000, 123456789, 2147483647}) {
        const std::vector<std::uint32_t> frame = frame_by_number(number, fastest_kernel());
        int ones = 0;
        for (int pixel = 0; pixel < pixel_count; ++pixel) {
            EXPECT_EQ(frame[at(pixel)] == palette[1], outside[at(pixel)]) << "frame " << number;
            ones += frame[at(pixel)] == palette[1] ? 1 : 0;
        }
        EXPECT_EQ(ones, 8272) << "frame " << number;
    }
}

TEST_F(RendererTest, PassCountsOfFrames1And1000) {
    for (const Kernel* kernel : available_kernels()) {
        for (const auto& [number, passes] : {std::pair<std::int32_t, long>{1, 539814},
                                             std::pair<std::int32_t, long>{1000, 181215}}) {
            const std::vector<std::uint32_t> frame = frame_by_number(number, *kernel);
            long total = 0;
            for (const std::uint32_t pixel : frame) {
                const int count = count_of_colour(pixel);
                ASSERT_GE(count, 1);
                total += count;
            }
            EXPECT_EQ(total, passes) << kernel->name << ", frame " << number;
        }
    }
}

TEST_F(RendererTest, ReferenceKernelMatchesAPlainExtendedLoop) {
    for (const std::int32_t number : {1, 1000, 271828182, 2147483647}) {
        const JuliaParameter parameter = julia_parameter(number);
        const std::vector<std::uint32_t> frame = frame_by_number(number, reference_kernel);
        for (int pixel = 0; pixel < pixel_count; ++pixel) {
            const int expected = plain_extended_count(x_of_column[pixel % picture_width],
                                                      y_of_row[pixel / picture_width],
                                                      parameter.c_re, parameter.c_im);
            ASSERT_EQ(frame[at(pixel)], palette[expected])
                << "frame " << number << " pixel " << pixel;
        }
    }
}

TEST_F(RendererTest, ReferenceCountsOfSeveralPixelsAtOnceMatchThePlainLoop) {
    // Frame 540 (c_im near zero) leaves much of its picture to the reference;
    // frame 1 mixes every count. Batches of every size, from columns that
    // stop at different passes.
    for (const std::int32_t number : {1, 540}) {
        const JuliaParameter parameter = julia_parameter(number);
        for (const int row : {3, 100, 121}) {
            for (int pixels = 1; pixels <= max_reference_pixels; ++pixels) {
                for (int first = 0; first + pixels <= picture_width; first += 37) {
                    const float* const x = x_of_column + first;
                    int counts[max_reference_pixels];
                    reference_escape_counts(pixels, x, y_of_row[row], parameter.c_re,
                                            parameter.c_im, counts);
                    for (int k = 0; k < pixels; ++k) {
                        ASSERT_EQ(counts[k], plain_extended_count(x[k], y_of_row[row],
                                                                  parameter.c_re, parameter.c_im))
                            << "frame " << number << " row " << row << " column " << first + k
                            << " of " << pixels;
                    }
                }
            }
        }
    }
}

// --- the floating-point state ---------------------------------------------

#if QUENLIXOR_HAS_X87 || defined(__aarch64__)
// The registers of the calling thread that the renderer sets and must give
// back exactly: on x86 the x87's control and status words (the status word
// holds its exception flags) and MXCSR (SSE's controls and flags), on ARM64
// FPCR and FPSR (the flags).
#if QUENLIXOR_HAS_X87
struct Registers {
    std::uint16_t x87_control;
    std::uint16_t x87_status;
    std::uint32_t mxcsr;
    bool operator==(const Registers&) const = default;
};

Registers read_registers() {
    Registers registers{};
    __asm__ volatile("fnstcw %0" : "=m"(registers.x87_control) : : "memory");
    __asm__ volatile("fnstsw %0" : "=m"(registers.x87_status) : : "memory");
    __asm__ volatile("stmxcsr %0" : "=m"(registers.mxcsr) : : "memory");
    return registers;
}

// Sets the controls and the flags, the x87's through its environment.
void write_registers(const Registers& registers) {
    std::uint32_t environment[7];
    __asm__ volatile("fnstenv %0" : "=m"(environment) : : "memory");
    environment[0] = (environment[0] & 0xFFFF0000U) | registers.x87_control;
    environment[1] = (environment[1] & 0xFFFF0000U) | registers.x87_status;
    __asm__ volatile("fldenv %0" : : "m"(environment) : "memory");
    __asm__ volatile("ldmxcsr %0" : : "m"(registers.mxcsr) : "memory");
}

std::string describe(const Registers& registers) {
    char text[80];
    std::snprintf(text, sizeof text, "x87 control %04X status %04X, MXCSR %08X",
                  unsigned{registers.x87_control}, unsigned{registers.x87_status},
                  static_cast<unsigned>(registers.mxcsr));
    return text;
}

// The controls a caller set, as the processor reads them back (bit 6 of the
// x87's word, for one, always reads as 1), with the flag of the caller's own
// division by zero raised wherever that exception is masked (so that the
// caller's next instruction does not fault on it).
Registers caller_registers(std::uint16_t x87_control, std::uint32_t mxcsr) {
    constexpr unsigned zero_divide = 0x0004U;
    const auto x87_flags = static_cast<std::uint16_t>(x87_control & zero_divide);
    const std::uint32_t sse_flags = (mxcsr >> 7) & zero_divide;
    const Registers own = read_registers();
    write_registers({x87_control, x87_flags, mxcsr | sse_flags});
    const Registers caller = read_registers();
    write_registers(own);
    return caller;
}

// The renderer's state, as its kernel finds it; where the x87 computes
// nothing of the renderer's, the renderer leaves it alone.
void expect_renderers_state(const Registers& inside, const Registers& caller, const char* name) {
    if (QUENLIXOR_X87_COMPUTES) {
        // 64-bit precision, rounding to nearest, all exceptions masked.
        EXPECT_EQ(inside.x87_control & 0x0F3FU, 0x033FU) << name << ": " << describe(inside);
    } else {
        EXPECT_EQ(inside.x87_control, caller.x87_control) << name << ": " << describe(inside);
    }
    // Rounding to nearest, no flush-to-zero or denormals-are-zero, all
    // exceptions masked.
    EXPECT_EQ(inside.mxcsr & 0xFFC0U, 0x1F80U) << name << ": " << describe(inside);
}

// Where it spoils the frames, when the renderer leaves it as it is.
enum class Unit { x87, sse };

bool unit_computes_frames(Unit unit, bool fast_kernels_run) {
    // SSE: the SIMD kernels, and the model's singles and doubles.
    return unit == Unit::x87 ? QUENLIXOR_X87_EXTENDED == 1
                             : fast_kernels_run || QUENLIXOR_X87_EXTENDED == 0;
}

struct HostileState {
    const char* name;
    Registers registers;
    Unit unit;
    // Whether the frames below come out wrong in it when the renderer
    // leaves the state as it is (where it unmasks an exception: a fault).
    bool spoils_frames;
};

std::vector<HostileState> hostile_states() {
    constexpr std::uint16_t x87 = 0x037F;  // 64-bit, to nearest, all masked
    constexpr std::uint32_t sse = 0x1F80;  // to nearest, all masked
    return {
        {"x87 at 53 bits (Windows' default)", caller_registers(0x027F, sse), Unit::x87, true},
        {"x87 at 24 bits", caller_registers(0x007F, sse), Unit::x87, true},
        {"x87 rounding down", caller_registers(0x077F, sse), Unit::x87, true},
        {"x87 rounding up", caller_registers(0x0B7F, sse), Unit::x87, true},
        {"x87 rounding toward zero", caller_registers(0x0F7F, sse), Unit::x87, true},
        {"x87 exceptions unmasked", caller_registers(0x0340, sse), Unit::x87, false},
        {"x87 invalid, zero divide and overflow unmasked", caller_registers(0x1332, sse), Unit::x87,
         false},
        {"SSE rounding down", caller_registers(x87, 0x3F80), Unit::sse, true},
        {"SSE rounding up", caller_registers(x87, 0x5F80), Unit::sse, true},
        {"SSE rounding toward zero", caller_registers(x87, 0x7F80), Unit::sse, true},
        {"SSE flush-to-zero, denormals-are-zero", caller_registers(x87, 0x9FC0), Unit::sse, false},
        {"SSE invalid, zero divide and overflow unmasked", caller_registers(x87, 0x1980), Unit::sse,
         false},
        {"SSE exceptions unmasked", caller_registers(x87, 0x0000), Unit::sse, false},
        {"all of it at once", caller_registers(0x0C40, 0xE040), Unit::sse, false},
    };
}
#else
struct Registers {
    std::uint64_t fpcr;
    std::uint64_t fpsr;
    bool operator==(const Registers&) const = default;
};

Registers read_registers() {
    Registers registers{};
    __asm__ volatile("mrs %0, fpcr" : "=r"(registers.fpcr) : : "memory");
    __asm__ volatile("mrs %0, fpsr" : "=r"(registers.fpsr) : : "memory");
    return registers;
}

void write_registers(const Registers& registers) {
    __asm__ volatile("msr fpcr, %0" : : "r"(registers.fpcr) : "memory");
    __asm__ volatile("msr fpsr, %0" : : "r"(registers.fpsr) : "memory");
}

std::string describe(const Registers& registers) {
    char text[80];
    std::snprintf(text, sizeof text, "FPCR %08llX, FPSR %08llX",
                  static_cast<unsigned long long>(registers.fpcr),
                  static_cast<unsigned long long>(registers.fpsr));
    return text;
}

// FPCR as a processor reads it back (where it has no trapping, for one, the
// trap enables read as zero), with the flag of the caller's own division by
// zero raised.
Registers caller_registers(std::uint64_t fpcr) {
    constexpr std::uint64_t zero_divide = 0x2U;
    const Registers own = read_registers();
    write_registers({fpcr, zero_divide});
    const Registers caller = read_registers();
    write_registers(own);
    return caller;
}

void expect_renderers_state(const Registers& inside, const Registers& /*caller*/,
                            const char* name) {
    // Rounding to nearest (RMode), no flush-to-zero (FZ; FIZ and AH), no trap
    // enabled.
    constexpr std::uint64_t controls = 0x00C00000U | 0x01000000U | 0x3U | 0x9F00U;
    EXPECT_EQ(inside.fpcr & controls, 0U) << name << ": " << describe(inside);
}

enum class Unit { fpcr };

bool unit_computes_frames(Unit /*unit*/, bool /*fast_kernels_run*/) {
    return true;
}

struct HostileState {
    const char* name;
    Registers registers;
    Unit unit;
    bool spoils_frames;
};

std::vector<HostileState> hostile_states() {
    return {
        {"FPCR rounding up", caller_registers(0x00400000U), Unit::fpcr, true},
        {"FPCR rounding down", caller_registers(0x00800000U), Unit::fpcr, true},
        {"FPCR rounding toward zero", caller_registers(0x00C00000U), Unit::fpcr, true},
        {"FPCR flush-to-zero", caller_registers(0x01000000U), Unit::fpcr, false},
        {"FPCR invalid, zero divide and overflow trapped", caller_registers(0x0700U), Unit::fpcr,
         false},
        {"all of it at once", caller_registers(0x01C09F00U), Unit::fpcr, false},
    };
}
#endif

// Runs `work` with the thread's registers set to `state` and returns them as
// they are after it; the test's own are back when it returns.
template <class Work>
Registers registers_after(const Registers& state, Work work) {
    const Registers own = read_registers();
    write_registers(state);
    work();
    const Registers after = read_registers();
    write_registers(own);
    return after;
}

Registers registers_in_kernel;

void probe_registers(float /*c_re*/, float /*c_im*/, std::uint32_t* /*pixels*/) {
    registers_in_kernel = read_registers();
}

// The tables' contents, bit for bit.
std::vector<std::uint32_t> table_bits() {
    std::vector<std::uint32_t> bits;
    for (const float x : x_of_column) {
        bits.push_back(bits_of(x));
    }
    for (const float y : y_of_row) {
        bits.push_back(bits_of(y));
    }
    bits.insert(bits.end(), palette, palette + 256);
    return bits;
}

int entries_differing(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    int count = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        count += a[i] == b[i] ? 0 : 1;
    }
    return count;
}

// Whatever floating-point state the process left the thread in (what other
// libraries, drivers, runtimes and debugging aids set), the tables and the
// frames are the ones computed in the renderer's own, which the kernels
// find, and the thread gets its state back exactly, its own exception flags
// and no others. What is expected is made before any state is spoiled: the
// tables the tests above pin and, from them, the frames as the reference
// kernel computes them (not through the renderer's setting of the state).
// The frames come out wrong in most of these states when the renderer leaves
// the state as it is, and each such state must show in one at least.
TEST_F(RendererTest, TablesAndFramesStayExactWhateverFloatingPointStateTheProcessSet) {
#if defined(__i386__)
    if (!read_processor_features().sse2) {
        GTEST_SKIP() << "the test reads MXCSR, which this processor may lack";
    }
#endif
    const std::vector<std::uint32_t> right_tables = table_bits();
    const std::vector<std::int32_t> numbers = {1000, 4921875, 7777777, 123456789, 1251204996};
    std::vector<std::vector<std::uint32_t>> expected;
    for (const std::int32_t number : numbers) {
        const JuliaParameter parameter = julia_parameter(number);
        reference_kernel.render(parameter.c_re, parameter.c_im, framebuffer);
        expected.push_back(current_frame());
    }
    const std::vector<const Kernel*> kernels = available_kernels();
    const bool fast_kernels_run = kernels.size() > 1;
    const Kernel probe{"probe", nullptr, probe_registers, {1, 1}};
    std::vector<std::uint32_t> picture(pixel_count);
    for (const HostileState& hostile : hostile_states()) {
        const char* const name = hostile.name;
        const Registers& state = hostile.registers;
        Registers after = registers_after(state, [] { prepare_tables(); });
        EXPECT_TRUE(after == state) << name << ", prepare_tables: " << describe(after);
        const std::vector<std::uint32_t> tables = table_bits();
        EXPECT_EQ(entries_differing(tables, right_tables), 0) << name << ": table entries differ";

        after = registers_after(state, [&] { render_frame_into(1, picture.data(), probe); });
        expect_renderers_state(registers_in_kernel, state, name);
        EXPECT_TRUE(after == state) << name << ", after the probe: " << describe(after);

        const bool try_spoiling =
            hostile.spoils_frames && unit_computes_frames(hostile.unit, fast_kernels_run);
        bool spoiled = false;
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            for (const Kernel* kernel : kernels) {
                after = registers_after(
                    state, [&] { render_frame_into(numbers[i], picture.data(), *kernel); });
                EXPECT_TRUE(picture == expected[i])
                    << name << ", " << kernel->name << ", frame " << numbers[i] << ": "
                    << describe_difference(expected[i], picture);
                EXPECT_TRUE(after == state) << name << ", " << kernel->name << ", frame "
                                            << numbers[i] << ": " << describe(after);
                if (try_spoiling) {
                    // Left as it is.
                    registers_after(state, [&] {
                        const JuliaParameter parameter = julia_parameter(numbers[i]);
                        kernel->render(parameter.c_re, parameter.c_im, picture.data());
                    });
                    spoiled = spoiled || picture != expected[i];
                }
            }
        }
        if (try_spoiling) {
            EXPECT_TRUE(spoiled) << name << " spoils none of the frames: they show nothing";
        }

        // render_frame, which the program calls, as well.
        frame_number = frame_after(numbers.front(), -1);
        after = registers_after(state, [] { render_frame(); });
        EXPECT_TRUE(current_frame() == expected.front()) << name << ", render_frame";
        EXPECT_TRUE(after == state) << name << ", render_frame: " << describe(after);
    }
}
#endif

// --- SIMD kernels against the reference -----------------------------------

// Frame numbers across the whole range: the first frames, both ends, the
// wrap, frames where the path's c is nearly zero, and an even spread.
std::vector<std::int32_t> tested_frame_numbers() {
    std::vector<std::int32_t> numbers = {0,          1,          2,          3,         45,
                                         90,         180,        1000,       65536,     2147483646,
                                         2147483647, 2147483600, 1073741824, 482993221, 1210274923};
    constexpr int spread = 600;
    for (int k = 0; k < spread; ++k) {
        numbers.push_back(
            static_cast<std::int32_t>(static_cast<std::int64_t>(k) * 2147483647 / (spread - 1)));
    }
    return numbers;
}

TEST_F(RendererTest, FastKernelsGiveTheReferenceFramesAcrossTheRange) {
    const std::vector<const Kernel*> kernels = fast_kernels();
    if (kernels.empty()) {
        GTEST_SKIP() << "no SIMD kernel runs on this processor";
    }
    for (const std::int32_t number : tested_frame_numbers()) {
        const std::vector<std::uint32_t> expected = frame_by_number(number, reference_kernel);
        for (const Kernel* kernel : kernels) {
            const std::vector<std::uint32_t> actual = frame_by_number(number, *kernel);
            EXPECT_TRUE(actual == expected) << kernel->name << ", frame " << number << ": "
                                            << describe_difference(expected, actual);
        }
    }
}

// What a probe kernel was asked to render.
struct ProbeCall {
    float c_re = 0.0F;
    float c_im = 0.0F;
    std::uint32_t* pixels = nullptr;
    int calls = 0;
};
ProbeCall probe_call;

void probe_render(float c_re, float c_im, std::uint32_t* pixels) {
    probe_call = {c_re, c_im, pixels, probe_call.calls + 1};
}

TEST_F(RendererTest, RenderFrameIntoRendersWithTheKernelItIsGiven) {
    const Kernel probe{"probe", nullptr, probe_render, {1, 1}};
    std::vector<std::uint32_t> picture(pixel_count);
    probe_call = {};
    render_frame_into(4321, picture.data(), probe);
    const JuliaParameter parameter = julia_parameter(4321);
    EXPECT_EQ(probe_call.calls, 1);
    EXPECT_EQ(bits_of(probe_call.c_re), bits_of(parameter.c_re));
    EXPECT_EQ(bits_of(probe_call.c_im), bits_of(parameter.c_im));
    EXPECT_EQ(probe_call.pixels, picture.data());
}

TEST_F(RendererTest, EveryKernelRendersIntoAPictureOfAnyAlignment) {
    // A picture one word past a 64-byte boundary, between two guard words.
    std::vector<std::uint32_t> storage(pixel_count + 32, 0xDEADBEEFU);
    const auto address = reinterpret_cast<std::uintptr_t>(storage.data());
    const std::size_t skip = ((64 - address % 64) % 64) / sizeof(std::uint32_t) + 1;
    std::uint32_t* const picture = storage.data() + skip;
    const std::vector<std::uint32_t> expected = frame_by_number(4321, reference_kernel);
    for (const Kernel* kernel : available_kernels()) {
        std::fill(storage.begin(), storage.end(), 0xDEADBEEFU);
        render_frame_into(4321, picture, *kernel);
        const std::vector<std::uint32_t> actual(picture, picture + pixel_count);
        EXPECT_TRUE(actual == expected)
            << kernel->name << ": " << describe_difference(expected, actual);
        EXPECT_EQ(picture[-1], 0xDEADBEEFU) << kernel->name;
        EXPECT_EQ(picture[pixel_count], 0xDEADBEEFU) << kernel->name;
    }
}

// Renders one parameter with every kernel, with the pixel at (column, row)
// set to the coordinate (zr, zi), and checks it against the reference.
void expect_kernels_agree_on(float zr, float zi, float c_re, float c_im, int expected_count) {
    for (const auto& [column, row] : {std::pair{0, 0}, std::pair{13, 7}, std::pair{319, 239},
                                      std::pair{164, 120}, std::pair{7, 100}}) {
        prepare_tables();
        x_of_column[column] = zr;
        y_of_row[row] = zi;
        reference_kernel.render(c_re, c_im, framebuffer);
        const std::vector<std::uint32_t> expected = current_frame();
        EXPECT_EQ(expected[at(row * picture_width + column)], palette[expected_count]);
        for (const Kernel* kernel : fast_kernels()) {
            kernel->render(c_re, c_im, framebuffer);
            const std::vector<std::uint32_t> actual = current_frame();
            EXPECT_TRUE(actual == expected)
                << kernel->name << ", pixel at column " << column << " row " << row << ": "
                << describe_difference(expected, actual);
        }
    }
}

TEST_F(RendererTest, KernelsFollowTheReferenceWhereDoubleRoundsDifferently) {
    // In the first pass rr - ii + c_re needs more than 53 bits (ii is
    // 2^-56): in double the new zr comes out one unit lower than in extended
    // precision, and the orbit, never near the bound when tested, escapes a
    // pass later.
    const float zr = 0x1.851eccp-2F;
    const float zi = 0x1p-28F;
    const float c_re = -0x1.2ca764p-1F;
    const float c_im = 0x1.caa9cp-1F;
    ASSERT_EQ(plain_extended_count(zr, zi, c_re, c_im), 5);
    ASSERT_EQ(plain_double_count(zr, zi, c_re, c_im), 6);
    expect_kernels_agree_on(zr, zi, c_re, c_im, 5);
}

TEST_F(RendererTest, KernelsContinueWhereTheSingleSumRoundsTo4WhicheverSquareIsLarge) {
    // rr + ii is just below 4, but its single sum is exactly 4. Near
    // 1.2 + 1.6i the exact sum of squares is 4 - 2^-23, a tie that the single
    // sum rounds to 4, and both squares are far above any floor of doubt;
    // near 2 one square is tiny, as the real or the imaginary part. Every
    // sign.
    const float coordinates[][2] = {{0x1.333338p+0F, 0x1.999996p+0F},
                                    {0x1.999996p+0F, 0x1.333338p+0F},
                                    {0x1.3851fep+0F, 0x1.95b594p+0F},
                                    {0x1.fffffep+0F, 0x1.4p-11F},
                                    {0x1.4p-11F, 0x1.fffffep+0F}};
    for (const auto& coordinate : coordinates) {
        for (const float sign_re : {1.0F, -1.0F}) {
            for (const float sign_im : {1.0F, -1.0F}) {
                const float zr = sign_re * coordinate[0];
                const float zi = sign_im * coordinate[1];
                const float rr = zr * zr;
                const float ii = zi * zi;
                ASSERT_EQ(rr + ii, 4.0F);
                ASSERT_LT(static_cast<double>(rr) + static_cast<double>(ii), 4.0);
                const int passes = plain_extended_count(zr, zi, 0.25F, -0.5F);
                ASSERT_GE(passes, 2);
                expect_kernels_agree_on(zr, zi, 0.25F, -0.5F, passes);
            }
        }
    }
}

TEST_F(RendererTest, ASumOfSquaresOfExactly4Escapes) {
    // The squares 4 and 0 after the first pass: one pass, whatever c is.
    expect_kernels_agree_on(2.0F, 0.0F, 0.25F, -0.5F, 1);
    expect_kernels_agree_on(-2.0F, 0.0F, -0.75F, 0.125F, 1);
    // The squares 3 and 1, neither small enough to leave the pixel to the
    // reference: the SIMD kernels decide on their own.
    const float zr = 0x1.bb67aep+0F;
    ASSERT_EQ(zr * zr, 3.0F);
    expect_kernels_agree_on(zr, 1.0F, 0.25F, -0.5F, 1);
    // From (1, 0) with c = (1, 0) the second pass squares (2, 0).
    expect_kernels_agree_on(1.0F, 0.0F, 1.0F, 0.0F, 2);
}

TEST_F(RendererTest, KernelsFollowTheReferenceWhereDoubleRoundsDifferentlyInALaterPass) {
    // The first pass is beyond doubt: squares of 0.57 and 2^-5, and the new
    // zi is c_im + 2^-5 x 0.57... = 2^-28 exactly. In the second pass
    // ii = 2^-56, and rr - ii + c_re needs more than 53 bits.
    const float zr = 0x1.241p-1F;
    const float zi = 0x1p-5F;
    const float c_re = 0x1.1d97f6p-2F;
    const float c_im = -0x1.240ffep-5F;
    ASSERT_GE(zi * zi, 0x1p-27F);
    ASSERT_EQ(c_im + 2.0F * zi * zr, 0x1p-28F);
    ASSERT_EQ(plain_extended_count(zr, zi, c_re, c_im), 11);
    ASSERT_EQ(plain_double_count(zr, zi, c_re, c_im), 10);
    expect_kernels_agree_on(zr, zi, c_re, c_im, 11);
}

TEST_F(RendererTest, KernelsFollowTheReferenceWhereASquareJustUnderTheFloorRoundsDifferently) {
    // The smaller square is 2^-29 + 2^-52, in the highest binade below the
    // SIMD kernels' doubt floor of 2^-27 where double can miscount (squares
    // from 2^-28 on keep rr - ii exact, and then a sum that double rounds is
    // at least 4 and escapes either way). rr - ii = 2 + 2^-22 - ii needs 54
    // bits: double rounds it up by 2^-52, and with c_re the new zr comes out
    // as 2 - 2^-24, a halfway point that rounds to 2, where extended precision
    // gives 2 - 2^-23. So the orbit escapes a pass later than in double, on
    // squares beyond doubt in every other pass: a lower floor misses it.
    const float zr = 0x1.6a09e8p+0F;
    const float zi = 0x1.6a09e8p-15F;
    const float c_re = -0x1.3ep-22F;
    const float c_im = 0x1.84p-12F;
    ASSERT_EQ(zi * zi, 0x1.000002p-29F);
    ASSERT_EQ(zr * zr, 0x1.000002p+1F);
    ASSERT_EQ(plain_extended_count(zr, zi, c_re, c_im), 3);
    ASSERT_EQ(plain_double_count(zr, zi, c_re, c_im), 2);
    expect_kernels_agree_on(zr, zi, c_re, c_im, 3);
}

TEST_F(RendererTest, KernelsContinueWhereTheSingleSumRoundsTo4InALaterPass) {
    // The first pass takes (0.5, 0.25) to the coordinate of the test above
    // whose single sum of squares rounds to 4.
    const float c_re = 1.8125F - 0x1p-23F;
    const float c_im = 0x1.4p-11F - 0.25F;
    const float zr = 0.5F * 0.5F - 0.25F * 0.25F + c_re;
    const float zi = c_im + 2.0F * 0.25F * 0.5F;
    ASSERT_EQ(zr, 0x1.fffffep+0F);
    ASSERT_EQ(zi, 0x1.4p-11F);
    const float rr = zr * zr;
    const float ii = zi * zi;
    ASSERT_EQ(rr + ii, 4.0F);
    const int passes = plain_extended_count(0.5F, 0.25F, c_re, c_im);
    ASSERT_GE(passes, 3);
    expect_kernels_agree_on(0.5F, 0.25F, c_re, c_im, passes);
}

TEST_F(RendererTest, KernelsMatchTheReferenceForTinyAndZeroRealParts) {
    for (const float c_re : {0.0F, -0.0F, 1e-9F, -0x1p-30F, 0x1p-126F, 0x1p-149F}) {
        for (const float c_im : {0.0F, 0.75F, -1.25F}) {
            reference_kernel.render(c_re, c_im, framebuffer);
            const std::vector<std::uint32_t> expected = current_frame();
            for (const Kernel* kernel : fast_kernels()) {
                kernel->render(c_re, c_im, framebuffer);
                const std::vector<std::uint32_t> actual = current_frame();
                EXPECT_TRUE(actual == expected) << kernel->name << ", c = (" << c_re << ", " << c_im
                                                << "): " << describe_difference(expected, actual);
            }
        }
    }
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
#if QUENLIXOR_HAS_X87
    // The tests' own oracle computes in x87 extended precision; Windows may
    // start a program with a 53-bit significand.
    const std::uint16_t extended = 0x037F;
    __asm__ volatile("fldcw %0" : : "m"(extended));
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
