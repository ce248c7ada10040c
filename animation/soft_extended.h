// The x87 extended format in software, for processors without an x87 (and
// for x86 builds that ask for it): a 64-bit significand with its leading bit
// explicit, a 15-bit exponent biased by 16383, and every result rounded to
// nearest even, as the x87 rounds with its precision control at 64 bits.
// Results below the normal range become the format's denormals and results
// beyond it become infinities, as on the x87.
//
// Only what the renderer computes is covered: conversions from int, single
// and double (all exact); add, subtract, multiply and divide of finite
// values, divisors not zero; comparison; and the stores to single and to
// double, each one rounding straight from the 64-bit significand, to a
// subnormal result where it falls below the normal range (as fst does).
// Infinities and NaNs are not modelled as operands; the renderer makes none.
//
// The record's fields are the first ten bytes of an x87 long double on a
// little-endian machine, so the model's values compare with the hardware's
// bit for bit.
#pragma once

#include <cstdint>

namespace quenlixor {

struct SoftExtended {
    std::uint64_t significand;    // bit 63 set except for zeros and denormals
    std::uint16_t sign_exponent;  // sign in bit 15, biased exponent in bits 0-14
};

SoftExtended soft_extended_from_int(std::int32_t value);
SoftExtended soft_extended_from_float(float value);
SoftExtended soft_extended_from_double(double value);

SoftExtended soft_extended_add(SoftExtended a, SoftExtended b);
SoftExtended soft_extended_sub(SoftExtended a, SoftExtended b);
SoftExtended soft_extended_mul(SoftExtended a, SoftExtended b);
SoftExtended soft_extended_div(SoftExtended a, SoftExtended b);

// a < b, with -0 equal to +0.
bool soft_extended_less(SoftExtended a, SoftExtended b);

float soft_extended_to_float(SoftExtended value);
double soft_extended_to_double(SoftExtended value);

}  // namespace quenlixor
