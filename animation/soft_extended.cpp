// The x87 extended format in software (see soft_extended.h). Every
// operation forms its exact result, or enough of it to round right, in a
// 128-bit integer, and one routine rounds it to nearest even for each of the
// three formats: extended, double and single.
#include "animation/soft_extended.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace quenlixor {

namespace {

__extension__ typedef unsigned __int128 Wide;

// A finite value as significand x 2^exponent, the exponent being that of
// its lowest bit.
struct Unpacked {
    bool negative;
    int exponent;
    std::uint64_t significand;
};

// A binary format: bits of precision, the exponent of the lowest bit of its
// smallest subnormal, and the largest exponent of a finite value's leading
// bit.
struct Format {
    int precision;
    int lowest_exponent;
    int highest_exponent;
};

constexpr int extended_bias = 16383;
constexpr std::uint16_t extended_infinite_exponent = 0x7FFF;
constexpr std::uint16_t sign_bit = 0x8000;
constexpr Format extended_format{64, 1 - extended_bias - 63, extended_bias};
constexpr Format double_format{53, -1022 - 52, 1023};
constexpr Format single_format{24, -126 - 23, 127};

// A rounded value: significand x 2^exponent, the significand below
// 2^precision, or an infinity when the value went beyond the format.
struct Rounded {
    bool negative;
    bool infinite;
    std::uint64_t significand;
    int exponent;
};

// The bits of one type as another (std::bit_cast is missing from some
// standard libraries this builds with, such as emscripten 3.1's).
template <class To, class From>
To same_bits(From value) {
    static_assert(sizeof(To) == sizeof(From));
    To result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

int bit_length(Wide value) {
    const auto high = static_cast<std::uint64_t>(value >> 64);
    const auto low = static_cast<std::uint64_t>(value);
    if (high != 0) {
        return 128 - std::countl_zero(high);
    }
    return 64 - std::countl_zero(low);
}

// Rounds magnitude x 2^exponent to nearest even in the format, to a
// subnormal where it falls below the normal range.
Rounded round_to(bool negative, Wide magnitude, int exponent, Format format) {
    if (magnitude == 0) {
        return {negative, false, 0, format.lowest_exponent};
    }
    int lowest = exponent + bit_length(magnitude) - format.precision;
    if (lowest < format.lowest_exponent) {
        lowest = format.lowest_exponent;
    }
    const int shift = lowest - exponent;
    Wide kept = 0;
    if (shift <= 0) {
        kept = magnitude << -shift;  // exact
    } else if (shift < 128) {
        const Wide half = Wide{1} << (shift - 1);
        const Wide rest = magnitude & ((Wide{1} << shift) - 1);
        kept = magnitude >> shift;
        if (rest > half || (rest == half && (kept & 1) != 0)) {
            ++kept;
        }
    } else if (shift == 128) {
        kept = magnitude > (Wide{1} << 127) ? 1 : 0;
    }
    if ((kept >> format.precision) != 0) {  // rounded up to the next power of 2
        kept >>= 1;
        ++lowest;
    }
    const bool infinite = kept != 0 && lowest + bit_length(kept) - 1 > format.highest_exponent;
    return {negative, infinite, static_cast<std::uint64_t>(kept), lowest};
}

Unpacked unpack(SoftExtended value) {
    const int biased = value.sign_exponent & extended_infinite_exponent;
    return {(value.sign_exponent & sign_bit) != 0, (biased == 0 ? 1 : biased) - extended_bias - 63,
            value.significand};
}

SoftExtended pack(const Rounded& value) {
    const std::uint16_t sign = value.negative ? sign_bit : 0;
    if (value.infinite) {
        return {std::uint64_t{1} << 63,
                static_cast<std::uint16_t>(sign | extended_infinite_exponent)};
    }
    if ((value.significand >> 63) == 0) {  // zero or denormal, at the lowest exponent
        return {value.significand, sign};
    }
    return {value.significand,
            static_cast<std::uint16_t>(sign | (value.exponent + 63 + extended_bias))};
}

SoftExtended exact(bool negative, std::uint64_t significand, int exponent) {
    return pack(round_to(negative, significand, exponent, extended_format));
}

SoftExtended zero(bool negative) {
    return {0, negative ? sign_bit : std::uint16_t{0}};
}

SoftExtended infinity(bool negative) {
    return {std::uint64_t{1} << 63,
            static_cast<std::uint16_t>((negative ? sign_bit : 0) | extended_infinite_exponent)};
}

// A value's significand shifted up to a leading bit at 63 (denormals).
Unpacked normalized(Unpacked value) {
    const int shift = std::countl_zero(value.significand);
    return {value.negative, value.exponent - shift, value.significand << shift};
}

SoftExtended add_unpacked(Unpacked a, Unpacked b) {
    if (a.significand == 0 || b.significand == 0) {
        if (a.significand == 0 && b.significand == 0) {
            return zero(a.negative && b.negative);
        }
        const Unpacked& other = a.significand == 0 ? b : a;
        return exact(other.negative, other.significand, other.exponent);
    }
    // `high` has the higher lowest bit. Up to 62 bits apart both fit exactly
    // in 127 bits. Further apart, `high` is normal (a denormal has the lowest
    // exponent there is) and is placed 62 bits up, and the bits of `low`
    // below the 128-bit sum collapse into a sticky bit 0: the sum keeps more
    // than 120 bits, so rounding drops bit 0 and at least one more, and the
    // sticky bit only tells a value above a halfway point from one on it.
    const Unpacked& high = a.exponent >= b.exponent ? a : b;
    const Unpacked& low = a.exponent >= b.exponent ? b : a;
    const int gap = high.exponent - low.exponent;
    Wide high_part = 0;
    Wide low_part = 0;
    int exponent = 0;
    if (gap <= 62) {
        high_part = Wide{high.significand} << gap;
        low_part = low.significand;
        exponent = low.exponent;
    } else {
        high_part = Wide{high.significand} << 62;
        exponent = high.exponent - 62;
        const int shift = gap - 62;
        if (shift >= 64) {
            low_part = 1;
        } else {
            const std::uint64_t lost = low.significand & ((std::uint64_t{1} << shift) - 1);
            low_part = (low.significand >> shift) | (lost != 0 ? 1U : 0U);
        }
    }
    if (high.negative == low.negative) {
        return pack(round_to(high.negative, high_part + low_part, exponent, extended_format));
    }
    if (high_part == low_part) {
        return zero(false);  // x - x is +0 when rounding to nearest
    }
    if (high_part > low_part) {
        return pack(round_to(high.negative, high_part - low_part, exponent, extended_format));
    }
    return pack(round_to(low.negative, low_part - high_part, exponent, extended_format));
}

}  // namespace

SoftExtended soft_extended_from_int(std::int32_t value) {
    const auto wide = static_cast<std::int64_t>(value);
    const auto magnitude = static_cast<std::uint64_t>(wide < 0 ? -wide : wide);
    return exact(value < 0, magnitude, 0);
}

SoftExtended soft_extended_from_float(float value) {
    const auto bits = same_bits<std::uint32_t>(value);
    const bool negative = (bits >> 31) != 0;
    const auto biased = static_cast<int>((bits >> 23) & 0xFFU);
    const std::uint64_t fraction = bits & 0x7FFFFFU;
    if (biased == 0xFF) {
        // Not an operand the renderer has; the x87's encoding of it.
        return fraction == 0
                   ? infinity(negative)
                   : SoftExtended{(std::uint64_t{3} << 62) | (fraction << 40),
                                  static_cast<std::uint16_t>(infinity(negative).sign_exponent)};
    }
    if (biased == 0) {
        return exact(negative, fraction, single_format.lowest_exponent);
    }
    return exact(negative, fraction | (std::uint64_t{1} << 23), biased - 127 - 23);
}

SoftExtended soft_extended_from_double(double value) {
    const auto bits = same_bits<std::uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const auto biased = static_cast<int>((bits >> 52) & 0x7FFU);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased == 0x7FF) {
        return fraction == 0 ? infinity(negative)
                             : SoftExtended{(std::uint64_t{3} << 62) | (fraction << 11),
                                            infinity(negative).sign_exponent};
    }
    if (biased == 0) {
        return exact(negative, fraction, double_format.lowest_exponent);
    }
    return exact(negative, fraction | (std::uint64_t{1} << 52), biased - 1023 - 52);
}

SoftExtended soft_extended_add(SoftExtended a, SoftExtended b) {
    return add_unpacked(unpack(a), unpack(b));
}

SoftExtended soft_extended_sub(SoftExtended a, SoftExtended b) {
    Unpacked negated = unpack(b);
    negated.negative = !negated.negative;
    return add_unpacked(unpack(a), negated);
}

SoftExtended soft_extended_mul(SoftExtended a, SoftExtended b) {
    const Unpacked x = unpack(a);
    const Unpacked y = unpack(b);
    const bool negative = x.negative != y.negative;
    if (x.significand == 0 || y.significand == 0) {
        return zero(negative);
    }
    return pack(round_to(negative, Wide{x.significand} * y.significand, x.exponent + y.exponent,
                         extended_format));
}

SoftExtended soft_extended_div(SoftExtended a, SoftExtended b) {
    const Unpacked x = unpack(a);
    const Unpacked y = unpack(b);
    const bool negative = x.negative != y.negative;
    if (x.significand == 0) {
        return zero(negative);
    }
    if (y.significand == 0) {
        return infinity(negative);
    }
    const Unpacked n = normalized(x);
    const Unpacked d = normalized(y);
    // The quotient of the 128-bit numerator has 64 or 65 bits; one more bit
    // and a sticky bit for the rest make it round right.
    const Wide numerator = Wide{n.significand} << 64;
    const Wide quotient = numerator / d.significand;
    Wide remainder = (numerator % d.significand) << 1;
    Wide next_bit = 0;
    if (remainder >= d.significand) {
        next_bit = 1;
        remainder -= d.significand;
    }
    const Wide bits = (quotient << 2) | (next_bit << 1) | (remainder != 0 ? 1U : 0U);
    return pack(round_to(negative, bits, n.exponent - d.exponent - 64 - 2, extended_format));
}

bool soft_extended_less(SoftExtended a, SoftExtended b) {
    if (a.significand == 0 && b.significand == 0) {
        return false;  // -0 == +0
    }
    const bool a_negative = (a.sign_exponent & sign_bit) != 0;
    const bool b_negative = (b.sign_exponent & sign_bit) != 0;
    if (a_negative != b_negative) {
        return a_negative;
    }
    // Magnitudes order as their exponent and significand do.
    const auto magnitude = [](SoftExtended value) {
        return (Wide{static_cast<std::uint16_t>(value.sign_exponent & extended_infinite_exponent)}
                << 64) |
               value.significand;
    };
    return a_negative ? magnitude(b) < magnitude(a) : magnitude(a) < magnitude(b);
}

float soft_extended_to_float(SoftExtended value) {
    const Unpacked x = unpack(value);
    const Rounded rounded = round_to(x.negative, x.significand, x.exponent, single_format);
    std::uint32_t bits = rounded.negative ? 0x80000000U : 0U;
    if (rounded.infinite) {
        bits |= 0x7F800000U;
    } else if ((rounded.significand >> 23) == 0) {  // zero or subnormal
        bits |= static_cast<std::uint32_t>(rounded.significand);
    } else {
        bits |= static_cast<std::uint32_t>(rounded.exponent + 23 + 127) << 23 |
                (static_cast<std::uint32_t>(rounded.significand) & 0x7FFFFFU);
    }
    return same_bits<float>(bits);
}

double soft_extended_to_double(SoftExtended value) {
    const Unpacked x = unpack(value);
    const Rounded rounded = round_to(x.negative, x.significand, x.exponent, double_format);
    std::uint64_t bits = rounded.negative ? std::uint64_t{1} << 63 : 0U;
    if (rounded.infinite) {
        bits |= std::uint64_t{0x7FF} << 52;
    } else if ((rounded.significand >> 52) == 0) {  // zero or subnormal
        bits |= rounded.significand;
    } else {
        bits |= static_cast<std::uint64_t>(rounded.exponent + 52 + 1023) << 52 |
                (rounded.significand & ((std::uint64_t{1} << 52) - 1));
    }
    return same_bits<double>(bits);
}

}  // namespace quenlixor
