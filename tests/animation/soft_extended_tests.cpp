// The software model of the x87 extended format against the x87 of this
// machine (long double on x86), bit for bit: every operation the renderer
// uses on millions of operands over the ranges its frames make, and
// operands built to sit on the rounding boundaries.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "animation/soft_extended.h"

static_assert(LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384 && LDBL_MIN_EXP == -16381,
              "the oracle is the x87's 80-bit long double");

namespace quenlixor {
namespace {

using Hardware = long double;

// The model's record is the x87's own first ten bytes.
SoftExtended model_of(Hardware value) {
    SoftExtended model{};
    unsigned char bytes[sizeof(Hardware)];
    std::memcpy(bytes, &value, sizeof value);
    std::memcpy(&model.significand, bytes, 8);
    std::memcpy(&model.sign_exponent, bytes + 8, 2);
    return model;
}

std::string text(SoftExtended value) {
    char line[64];
    std::snprintf(line, sizeof line, "%04X:%016" PRIX64, static_cast<unsigned>(value.sign_exponent),
                  value.significand);
    return line;
}

::testing::AssertionResult same(Hardware expected, SoftExtended actual) {
    const SoftExtended wanted = model_of(expected);
    if (wanted.significand == actual.significand && wanted.sign_exponent == actual.sign_exponent) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the model gives " << text(actual) << ", the x87 " << text(wanted);
}

::testing::AssertionResult same(float expected, float actual) {
    if (std::bit_cast<std::uint32_t>(expected) == std::bit_cast<std::uint32_t>(actual)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the model gives " << std::hexfloat << actual << ", the x87 " << expected;
}

::testing::AssertionResult same(double expected, double actual) {
    if (std::bit_cast<std::uint64_t>(expected) == std::bit_cast<std::uint64_t>(actual)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the model gives " << std::hexfloat << actual << ", the x87 " << expected;
}

// Random operands. Volatile stores keep the compiler from folding the x87's
// side of a comparison at compile time.
struct Operands {
    std::mt19937_64 bits{20261207};

    std::uint64_t next() { return bits(); }
    bool coin() { return (bits() & 1U) != 0; }
    int between(int low, int high) {
        return low + static_cast<int>(bits() % static_cast<std::uint64_t>(high - low + 1));
    }
    // A single with its leading bit at 2^low..2^high, either sign.
    float single(int low, int high) {
        const auto biased = static_cast<std::uint32_t>(between(low, high) + 127);
        const auto fraction = static_cast<std::uint32_t>(next()) & 0x7FFFFFU;
        return std::bit_cast<float>((coin() ? 0x80000000U : 0U) | biased << 23 | fraction);
    }
    // Any finite single, subnormals included.
    float any_single() {
        for (;;) {
            const auto value = std::bit_cast<float>(static_cast<std::uint32_t>(next()));
            if ((std::bit_cast<std::uint32_t>(value) & 0x7F800000U) != 0x7F800000U) {
                return value;
            }
        }
    }
    double double_between(int low, int high) {
        const auto biased = static_cast<std::uint64_t>(between(low, high) + 1023);
        const std::uint64_t fraction = next() & ((std::uint64_t{1} << 52) - 1);
        return std::bit_cast<double>((coin() ? std::uint64_t{1} << 63 : 0U) | biased << 52 |
                                     fraction);
    }
    double any_double() {
        for (;;) {
            const auto value = std::bit_cast<double>(next());
            if ((std::bit_cast<std::uint64_t>(value) >> 52 & 0x7FFU) != 0x7FFU) {
                return value;
            }
        }
    }
    // An extended value with its leading bit at 2^low..2^high.
    Hardware extended(int low, int high) {
        const Hardware value = static_cast<Hardware>(next() | std::uint64_t{1} << 63);
        return std::ldexp(coin() ? -value : value, between(low, high) - 63);
    }
};

// The renderer's ranges: coordinates and orbit values (zero, tiny values
// near the axes, up to the values just past escape), the parameter c, the
// doubles from sin and cos, and frame numbers.
float orbit_value(Operands& operands) {
    const std::uint64_t pick = operands.next() % 16;
    if (pick == 0) {
        return 0.0F;
    }
    if (pick == 1) {
        return operands.single(-40, -12);
    }
    return operands.single(-12, 3);
}

// --- conversions ----------------------------------------------------------

TEST(SoftExtendedTest, ConversionsFromIntSingleAndDoubleAreTheX87s) {
    Operands operands;
    for (const std::int32_t number : {0, 1, -1, 180, 2147483647, -2147483647 - 1, 4921875}) {
        ASSERT_TRUE(same(static_cast<Hardware>(number), soft_extended_from_int(number))) << number;
    }
    for (int k = 0; k < 1000000; ++k) {
        const auto number = static_cast<std::int32_t>(operands.next());
        ASSERT_TRUE(same(static_cast<Hardware>(number), soft_extended_from_int(number))) << number;
        const float single = operands.any_single();
        ASSERT_TRUE(same(static_cast<Hardware>(single), soft_extended_from_float(single)))
            << std::hexfloat << single;
        const double wide = operands.any_double();
        ASSERT_TRUE(same(static_cast<Hardware>(wide), soft_extended_from_double(wide)))
            << std::hexfloat << wide;
    }
    const float special[] = {0.0F,
                             -0.0F,
                             std::numeric_limits<float>::denorm_min(),
                             -std::numeric_limits<float>::min(),
                             std::numeric_limits<float>::max(),
                             std::numeric_limits<float>::infinity()};
    for (const float single : special) {
        EXPECT_TRUE(same(static_cast<Hardware>(single), soft_extended_from_float(single)))
            << single;
        EXPECT_TRUE(same(static_cast<Hardware>(static_cast<double>(single)),
                         soft_extended_from_double(static_cast<double>(single))))
            << single;
    }
    EXPECT_TRUE(same(static_cast<Hardware>(std::numeric_limits<double>::denorm_min()),
                     soft_extended_from_double(std::numeric_limits<double>::denorm_min())));
}

// --- every operation of the renderer, on the renderer's operands ----------

TEST(SoftExtendedTest, TheRenderersOperationsOnItsRangesAreTheX87s) {
    Operands operands;
    for (int k = 0; k < 1000000; ++k) {
        // One pass of the escape-time loop.
        const float zr = orbit_value(operands);
        const float zi = orbit_value(operands);
        const float c_re = operands.coin() ? operands.single(-30, -1) : operands.single(-8, 0);
        const float c_im = operands.single(-12, 1);
        const volatile Hardware x = static_cast<Hardware>(zr);
        const volatile Hardware y = static_cast<Hardware>(zi);
        const SoftExtended mx = soft_extended_from_float(zr);
        const SoftExtended my = soft_extended_from_float(zi);
        const Hardware square = x * x;
        const SoftExtended model_square = soft_extended_mul(mx, mx);
        ASSERT_TRUE(same(square, model_square)) << std::hexfloat << zr;
        const auto rr = static_cast<float>(square);
        ASSERT_TRUE(same(rr, soft_extended_to_float(model_square))) << std::hexfloat << zr;
        const auto ii = static_cast<float>(y * y);
        const Hardware product = y * x * 2.0L;
        const SoftExtended model_product =
            soft_extended_mul(soft_extended_mul(my, mx), soft_extended_from_int(2));
        ASSERT_TRUE(same(product, model_product)) << std::hexfloat << zi << " " << zr;
        const auto t = static_cast<float>(product);
        ASSERT_TRUE(same(t, soft_extended_to_float(model_product)));

        const volatile Hardware hr = static_cast<Hardware>(rr);
        const volatile Hardware hi = static_cast<Hardware>(ii);
        const volatile Hardware hc = static_cast<Hardware>(c_re);
        const Hardware difference = hr - hi;
        const SoftExtended model_difference =
            soft_extended_sub(soft_extended_from_float(rr), soft_extended_from_float(ii));
        ASSERT_TRUE(same(difference, model_difference)) << std::hexfloat << rr << " " << ii;
        const Hardware next = difference + hc;
        const SoftExtended model_next =
            soft_extended_add(model_difference, soft_extended_from_float(c_re));
        ASSERT_TRUE(same(next, model_next)) << std::hexfloat << rr << " " << ii << " " << c_re;
        ASSERT_TRUE(same(static_cast<float>(next), soft_extended_to_float(model_next)))
            << std::hexfloat << rr << " " << ii << " " << c_re;

        const volatile Hardware hci = static_cast<Hardware>(c_im);
        const volatile Hardware ht = static_cast<Hardware>(t);
        const Hardware next_imaginary = hci + ht;
        const SoftExtended model_next_imaginary =
            soft_extended_add(soft_extended_from_float(c_im), soft_extended_from_float(t));
        ASSERT_TRUE(same(next_imaginary, model_next_imaginary));
        ASSERT_TRUE(
            same(static_cast<float>(next_imaginary), soft_extended_to_float(model_next_imaginary)));

        const SoftExtended model_size =
            soft_extended_add(soft_extended_from_float(rr), soft_extended_from_float(ii));
        ASSERT_EQ(hr + hi < 4.0L, soft_extended_less(model_size, soft_extended_from_int(4)))
            << std::hexfloat << rr << " " << ii;
        ASSERT_EQ(4.0L < hr + hi, soft_extended_less(soft_extended_from_int(4), model_size));

        // The parameter path: the angle of a frame number, 0.7 x angle, the
        // product of a cosine and a sine, the sum of two sines.
        const auto number = static_cast<std::int32_t>(operands.next() & 0x7FFFFFFFU);
        const volatile Hardware frame = static_cast<Hardware>(number);
        const Hardware turned = frame * static_cast<Hardware>(3.141593);
        const SoftExtended model_turned =
            soft_extended_mul(soft_extended_from_int(number), soft_extended_from_double(3.141593));
        ASSERT_TRUE(same(turned, model_turned)) << number;
        const Hardware radians = turned / 180.0L;
        const SoftExtended model_radians =
            soft_extended_div(model_turned, soft_extended_from_int(180));
        ASSERT_TRUE(same(radians, model_radians)) << number;
        const auto angle = static_cast<float>(radians);
        ASSERT_TRUE(same(angle, soft_extended_to_float(model_radians))) << number;
        const volatile Hardware ha = static_cast<Hardware>(angle);
        const Hardware argument = ha * static_cast<Hardware>(0.7);
        const SoftExtended model_argument =
            soft_extended_mul(soft_extended_from_float(angle), soft_extended_from_double(0.7));
        ASSERT_TRUE(same(argument, model_argument));
        ASSERT_TRUE(same(static_cast<double>(argument), soft_extended_to_double(model_argument)));

        const double cosine = operands.double_between(-30, -1);
        const double sine = operands.double_between(-30, -1);
        const volatile Hardware hcos = static_cast<Hardware>(cosine);
        const volatile Hardware hsin = static_cast<Hardware>(sine);
        const Hardware c_re_product = hcos * hsin;
        const SoftExtended model_c_re =
            soft_extended_mul(soft_extended_from_double(cosine), soft_extended_from_double(sine));
        ASSERT_TRUE(same(c_re_product, model_c_re)) << std::hexfloat << cosine << " " << sine;
        ASSERT_TRUE(same(static_cast<float>(c_re_product), soft_extended_to_float(model_c_re)))
            << std::hexfloat << cosine << " " << sine;
        const Hardware c_im_sum = hsin + hcos;
        const SoftExtended model_c_im =
            soft_extended_add(soft_extended_from_double(sine), soft_extended_from_double(cosine));
        ASSERT_TRUE(same(c_im_sum, model_c_im));
        ASSERT_TRUE(same(static_cast<float>(c_im_sum), soft_extended_to_float(model_c_im)));
    }
}

TEST(SoftExtendedTest, OperationsOnAnyExtendedOperandsAreTheX87s) {
    Operands operands;
    for (int k = 0; k < 500000; ++k) {
        // Exponents apart by anything from 0 to 200, of either sign.
        const int low = operands.between(-300, 300);
        const volatile Hardware a = operands.extended(low, low);
        const int gap = operands.between(-200, 200);
        const volatile Hardware b = operands.extended(low + gap, low + gap);
        const SoftExtended ma = model_of(a);
        const SoftExtended mb = model_of(b);
        ASSERT_TRUE(same(a + b, soft_extended_add(ma, mb))) << text(ma) << " + " << text(mb);
        ASSERT_TRUE(same(a - b, soft_extended_sub(ma, mb))) << text(ma) << " - " << text(mb);
        ASSERT_TRUE(same(a * b, soft_extended_mul(ma, mb))) << text(ma) << " x " << text(mb);
        ASSERT_TRUE(same(a / b, soft_extended_div(ma, mb))) << text(ma) << " / " << text(mb);
        ASSERT_EQ(a < b, soft_extended_less(ma, mb)) << text(ma) << " < " << text(mb);
        ASSERT_EQ(b < a, soft_extended_less(mb, ma)) << text(mb) << " < " << text(ma);
        ASSERT_TRUE(same(static_cast<float>(a), soft_extended_to_float(ma))) << text(ma);
        ASSERT_TRUE(same(static_cast<double>(a), soft_extended_to_double(ma))) << text(ma);
    }
}

// --- the rounding boundaries ----------------------------------------------

// Sums that land at, or a unit of the 64th bit either side of, a halfway
// point of the 64-bit significand, of the single's and of the double's:
// they round at the 64th bit, and once more when stored.
TEST(SoftExtendedTest, TiesAtTheSixtyFourthBitThenRoundAgainAsTheX87Does) {
    Operands operands;
    for (int k = 0; k < 200000; ++k) {
        // A halfway point between two singles (normal or subnormal), or
        // between two doubles, held exactly in extended precision.
        const int kind = operands.between(0, 2);
        Hardware halfway = 0;
        int exponent = 0;  // of the halfway point's leading bit
        if (kind == 0) {
            const float single = operands.single(-126, 10);
            std::frexp(single, &exponent);
            halfway = static_cast<Hardware>(single) +
                      std::ldexp(single < 0 ? -1.0L : 1.0L, exponent - 1 - 24);
            --exponent;
        } else if (kind == 1) {
            const auto fraction = static_cast<std::uint32_t>(operands.next() & 0x7FFFFFU);
            const float single = std::bit_cast<float>(fraction);  // subnormal or zero
            halfway = static_cast<Hardware>(single) + 0x1p-150L;
            std::frexp(halfway, &exponent);
            --exponent;
        } else {
            const double wide = operands.double_between(-1000, 10);
            std::frexp(wide, &exponent);
            halfway = static_cast<Hardware>(wide) +
                      std::ldexp(wide < 0 ? -1.0L : 1.0L, exponent - 1 - 53);
            --exponent;
        }
        // Offsets of half, one and one and a half units of the 64th bit, of
        // less than half a unit, and of half a unit and a little more or
        // less, whose last bits fall beyond the sum's 128 bits and are only
        // told by the sticky bit.
        const int offset_unit = exponent - 63;
        for (const Hardware units :
             {-1.5L, -1.0L, -0.5L - 0x1p-63L, -0.5L, -0.5L + 0x1p-64L, -0x1p-20L, 0.0L, 0x1p-20L,
              0.5L - 0x1p-64L, 0.5L, 0.5L + 0x1p-63L, 1.0L, 1.5L, 1.5L + 0x1p-62L}) {
            const volatile Hardware offset = std::ldexp(units, offset_unit);
            const volatile Hardware point = halfway;
            const Hardware sum = point + offset;
            const SoftExtended model = soft_extended_add(model_of(point), model_of(offset));
            ASSERT_TRUE(same(sum, model))
                << text(model_of(point)) << " + " << text(model_of(offset));
            ASSERT_TRUE(same(static_cast<float>(sum), soft_extended_to_float(model)))
                << text(model_of(point)) << " + " << text(model_of(offset));
            ASSERT_TRUE(same(static_cast<double>(sum), soft_extended_to_double(model)))
                << text(model_of(point)) << " + " << text(model_of(offset));
        }
    }
}

TEST(SoftExtendedTest, ProductsOfDoublesTieAtTheSixtyFourthBit) {
    // (1 + 2^-a)(1 + 2^-b) = 1 + 2^-a + 2^-b + 2^-(a+b): the last term lands
    // on, below or beside the 64th bit; scaled by a single's or double's
    // halfway point it also sits on their boundaries.
    for (int a = 1; a <= 52; ++a) {
        for (int b = a; b <= 52; ++b) {
            for (const double scale :
                 {1.0, 1.0 + 0x1p-24, -(1.0 + 0x1p-24 + 0x1p-23), 0x1p-140, 1.0 + 0x1p-52}) {
                const double x = (1.0 + std::ldexp(1.0, -a)) * scale;
                const double y = 1.0 + std::ldexp(1.0, -b);
                const volatile Hardware hx = static_cast<Hardware>(x);
                const volatile Hardware hy = static_cast<Hardware>(y);
                const Hardware product = hx * hy;
                const SoftExtended model =
                    soft_extended_mul(soft_extended_from_double(x), soft_extended_from_double(y));
                ASSERT_TRUE(same(product, model)) << a << " " << b << " " << scale;
                ASSERT_TRUE(same(static_cast<float>(product), soft_extended_to_float(model)))
                    << a << " " << b << " " << scale;
                ASSERT_TRUE(same(static_cast<double>(product), soft_extended_to_double(model)))
                    << a << " " << b << " " << scale;
            }
        }
    }
}

TEST(SoftExtendedTest, SumsOfValuesFarApartInExponent) {
    Operands operands;
    for (int gap = 0; gap <= 200; ++gap) {
        for (int k = 0; k < 400; ++k) {
            const volatile Hardware big = operands.extended(0, 0);
            // The small one random, or a power of 2 on a halfway point.
            const volatile Hardware small = k % 4 == 0
                                                ? std::ldexp(operands.coin() ? 1.0L : -1.0L, -gap)
                                                : operands.extended(-gap, -gap);
            const SoftExtended mb = model_of(big);
            const SoftExtended ms = model_of(small);
            ASSERT_TRUE(same(big + small, soft_extended_add(mb, ms)))
                << text(mb) << " + " << text(ms);
            ASSERT_TRUE(same(small + big, soft_extended_add(ms, mb)))
                << text(ms) << " + " << text(mb);
            ASSERT_TRUE(same(big - small, soft_extended_sub(mb, ms)))
                << text(mb) << " - " << text(ms);
            ASSERT_TRUE(same(small - big, soft_extended_sub(ms, mb)))
                << text(ms) << " - " << text(mb);
        }
    }
}

TEST(SoftExtendedTest, SumsOfSquaresJustBelowAtAndAbove4) {
    // rr + ii against 4, and stored as a single, for squares whose sum is 4
    // or a few units of the last bit of ii away, and for extended values a
    // little below and above 4 - rr.
    for (int k = 1; k <= 20000; ++k) {
        const float rr = 4.0F - static_cast<float>(k) * 0x1p-22F;
        const float rest = 4.0F - rr;  // exact
        const volatile Hardware hr = static_cast<Hardware>(rr);
        const SoftExtended mr = soft_extended_from_float(rr);
        float below = rest;
        float above = rest;
        for (int units = 0; units <= 3; ++units) {
            for (const float ii : {below, above}) {
                const volatile Hardware hi = static_cast<Hardware>(ii);
                const SoftExtended size = soft_extended_add(mr, soft_extended_from_float(ii));
                ASSERT_TRUE(same(hr + hi, size)) << std::hexfloat << rr << " + " << ii;
                ASSERT_EQ(hr + hi < 4.0L, soft_extended_less(size, soft_extended_from_int(4)))
                    << std::hexfloat << rr << " + " << ii;
                ASSERT_EQ(4.0L < hr + hi, soft_extended_less(soft_extended_from_int(4), size));
                ASSERT_TRUE(same(static_cast<float>(hr + hi), soft_extended_to_float(size)));
            }
            below = std::nextafter(below, 0.0F);
            above = std::nextafter(above, 8.0F);
        }
        for (const Hardware offset : {0x1p-40L, 0x1p-60L, 0x1p-64L, 0x1p-70L, 0x1p-100L}) {
            for (const Hardware sign : {-1.0L, 1.0L}) {
                const volatile Hardware hi = static_cast<Hardware>(rest) + sign * offset;
                const SoftExtended size = soft_extended_add(mr, model_of(hi));
                ASSERT_TRUE(same(hr + hi, size)) << std::hexfloat << rr << " " << sign * offset;
                ASSERT_EQ(hr + hi < 4.0L, soft_extended_less(size, soft_extended_from_int(4)));
                ASSERT_EQ(4.0L < hr + hi, soft_extended_less(soft_extended_from_int(4), size));
                ASSERT_TRUE(same(static_cast<float>(hr + hi), soft_extended_to_float(size)));
            }
        }
    }
}

TEST(SoftExtendedTest, SubnormalSinglesAndDoublesAsTheX87StoresThem) {
    Operands operands;
    for (int k = 0; k < 300000; ++k) {
        // Products of singles below the single's normal range, sums of
        // subnormal singles, and products of doubles below the double's.
        const float a = operands.single(-90, -50);
        const float b = operands.single(-100, -60);
        const volatile Hardware ha = static_cast<Hardware>(a);
        const volatile Hardware hb = static_cast<Hardware>(b);
        const SoftExtended ma = soft_extended_from_float(a);
        const SoftExtended mb = soft_extended_from_float(b);
        const Hardware product = ha * hb;
        const SoftExtended model_product = soft_extended_mul(ma, mb);
        ASSERT_TRUE(same(product, model_product));
        ASSERT_TRUE(same(static_cast<float>(product), soft_extended_to_float(model_product)))
            << std::hexfloat << a << " x " << b;
        const auto tiny_a =
            std::bit_cast<float>(static_cast<std::uint32_t>(operands.next()) & 0x807FFFFFU);
        const auto tiny_b =
            std::bit_cast<float>(static_cast<std::uint32_t>(operands.next()) & 0x80FFFFFFU);
        const volatile Hardware hta = static_cast<Hardware>(tiny_a);
        const volatile Hardware htb = static_cast<Hardware>(tiny_b);
        const SoftExtended model_sum =
            soft_extended_add(soft_extended_from_float(tiny_a), soft_extended_from_float(tiny_b));
        ASSERT_TRUE(same(hta + htb, model_sum));
        ASSERT_TRUE(same(static_cast<float>(hta + htb), soft_extended_to_float(model_sum)))
            << std::hexfloat << tiny_a << " + " << tiny_b;
        const double x = operands.double_between(-600, -480);
        const double y = operands.double_between(-600, -500);
        const volatile Hardware hx = static_cast<Hardware>(x);
        const volatile Hardware hy = static_cast<Hardware>(y);
        const SoftExtended model_wide =
            soft_extended_mul(soft_extended_from_double(x), soft_extended_from_double(y));
        ASSERT_TRUE(same(hx * hy, model_wide));
        ASSERT_TRUE(same(static_cast<double>(hx * hy), soft_extended_to_double(model_wide)))
            << std::hexfloat << x << " x " << y;
        ASSERT_TRUE(same(static_cast<float>(hx * hy), soft_extended_to_float(model_wide)));
    }
}

TEST(SoftExtendedTest, ExponentRangeIsTheX87s) {
    // Products and quotients past the largest and below the smallest normal
    // extended value: infinities, the x87's denormals and zeros.
    Operands operands;
    for (int k = 0; k < 100000; ++k) {
        const volatile Hardware a = operands.extended(-16445, 16383);
        const volatile Hardware b = operands.extended(-16445, 16383);
        const SoftExtended ma = model_of(a);
        const SoftExtended mb = model_of(b);
        ASSERT_TRUE(same(a * b, soft_extended_mul(ma, mb))) << text(ma) << " x " << text(mb);
        ASSERT_TRUE(same(a / b, soft_extended_div(ma, mb))) << text(ma) << " / " << text(mb);
        ASSERT_TRUE(same(a + b, soft_extended_add(ma, mb))) << text(ma) << " + " << text(mb);
        ASSERT_TRUE(same(static_cast<float>(a), soft_extended_to_float(ma))) << text(ma);
        ASSERT_TRUE(same(static_cast<double>(a), soft_extended_to_double(ma))) << text(ma);
        // Denormal operands.
        const volatile Hardware denormal =
            std::ldexp(static_cast<Hardware>(operands.next() >> 1), -16445);
        const SoftExtended md = model_of(denormal);
        ASSERT_TRUE(same(denormal * b, soft_extended_mul(md, mb))) << text(md) << " x " << text(mb);
        ASSERT_TRUE(same(denormal / b, soft_extended_div(md, mb))) << text(md) << " / " << text(mb);
        ASSERT_TRUE(same(b / denormal, soft_extended_div(mb, md))) << text(mb) << " / " << text(md);
        ASSERT_TRUE(same(denormal + b, soft_extended_add(md, mb))) << text(md) << " + " << text(mb);
        ASSERT_TRUE(
            same(denormal - denormal * 0.5L, soft_extended_sub(md, model_of(denormal * 0.5L))));
    }
}

TEST(SoftExtendedTest, ZerosAndSignsAsTheX87) {
    const Hardware values[] = {0.0L, -0.0L, 1.0L, -1.0L, 0x1p-16445L, -3.5L};
    for (const Hardware a_value : values) {
        for (const Hardware b_value : values) {
            const volatile Hardware a = static_cast<Hardware>(a_value);
            const volatile Hardware b = static_cast<Hardware>(b_value);
            const SoftExtended ma = model_of(a);
            const SoftExtended mb = model_of(b);
            EXPECT_TRUE(same(a + b, soft_extended_add(ma, mb))) << text(ma) << " + " << text(mb);
            EXPECT_TRUE(same(a - b, soft_extended_sub(ma, mb))) << text(ma) << " - " << text(mb);
            EXPECT_TRUE(same(a * b, soft_extended_mul(ma, mb))) << text(ma) << " x " << text(mb);
            if (b_value != 0.0L) {
                EXPECT_TRUE(same(a / b, soft_extended_div(ma, mb)))
                    << text(ma) << " / " << text(mb);
            }
            EXPECT_EQ(a < b, soft_extended_less(ma, mb)) << text(ma) << " < " << text(mb);
            EXPECT_TRUE(same(static_cast<float>(a), soft_extended_to_float(ma)));
            EXPECT_TRUE(same(static_cast<double>(a), soft_extended_to_double(ma)));
        }
    }
}

}  // namespace
}  // namespace quenlixor
