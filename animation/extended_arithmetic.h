// The extended-precision arithmetic the renderer computes in: the x87
// itself where long double is the x87's 80-bit format, the software model of
// soft_extended.h everywhere else (and on x86 too when the build defines
// QUENLIXOR_SOFT_EXTENDED). The choice is made here, once, as the type
// `Extended`; the renderer's code names only that.
//
// Each arithmetic is a plain record of procedures over its `Value`:
// conversions from int, single and double; add, sub, mul, div; less; the
// stores to single and to double. Besides, each supplies the assignments of
// one pass of the escape-time loop (all on singles, the arithmetic inside
// each in extended precision): square, doubled_product, sum, next_real and
// below_bound. The x87 carries them out as written; the model does them in
// single or double precision wherever that gives the x87's result, and
// computes in the model only where it might not. Both rely on the
// floating-point state the renderer sets around its work
// (floating_point_state.h): rounding to nearest, subnormals kept, and the
// x87 at 64-bit precision.
#pragma once

#include <cfloat>
#include <cstdint>

#include "animation/soft_extended.h"

#if (defined(__i386__) || defined(__x86_64__)) && LDBL_MANT_DIG == 64
#define QUENLIXOR_HAS_X87 1
#else
#define QUENLIXOR_HAS_X87 0
#endif
#if QUENLIXOR_HAS_X87 && !defined(QUENLIXOR_SOFT_EXTENDED)
#define QUENLIXOR_X87_EXTENDED 1
#else
#define QUENLIXOR_X87_EXTENDED 0
#endif
// Whether anything the renderer computes with runs on the x87: its extended
// precision, or the C library's sines and cosines of the parameter path,
// which MinGW-w64's computes on the x87 (on 64-bit Windows too), glibc's
// with SSE.
#if QUENLIXOR_X87_EXTENDED || (QUENLIXOR_HAS_X87 && defined(__MINGW32__))
#define QUENLIXOR_X87_COMPUTES 1
#else
#define QUENLIXOR_X87_COMPUTES 0
#endif

namespace quenlixor {

// The x87, through long double (which it is only where
// QUENLIXOR_X87_EXTENDED is 1).
struct X87Extended {
    using Value = long double;
    static Value from_int(std::int32_t value) { return static_cast<Value>(value); }
    static Value from_float(float value) { return static_cast<Value>(value); }
    static Value from_double(double value) { return static_cast<Value>(value); }
    static Value add(Value a, Value b) { return a + b; }
    static Value sub(Value a, Value b) { return a - b; }
    static Value mul(Value a, Value b) { return a * b; }
    static Value div(Value a, Value b) { return a / b; }
    static bool less(Value a, Value b) { return a < b; }
    static float to_float(Value value) { return static_cast<float>(value); }
    static double to_double(Value value) { return static_cast<double>(value); }

    // z x z
    static float square(float z) { return to_float(mul(from_float(z), from_float(z))); }
    // zi x zr x 2
    static float doubled_product(float zi, float zr) {
        return to_float(mul(mul(from_float(zi), from_float(zr)), from_int(2)));
    }
    // a + b
    static float sum(float a, float b) { return to_float(add(from_float(a), from_float(b))); }
    // (rr - ii) + c_re, for squares with rr + ii < 4
    static float next_real(float rr, float ii, float c_re) {
        return to_float(add(sub(from_float(rr), from_float(ii)), from_float(c_re)));
    }
    // rr + ii < 4
    static bool below_bound(float rr, float ii) {
        return less(add(from_float(rr), from_float(ii)), from_int(4));
    }
};

// The software model, with the passes of the escape-time loop in single and
// double precision where these give the x87's result (the argument is that
// of the SIMD kernels, in julia_kernel_simd.h):
// - Products of singles are exact in extended precision (and doubling is
//   exact), so the single multiply rounds them once, to the same single.
// - A single add gives the extended add rounded to single: 64 bits are more
//   than twice the single's 24 bits plus 2.
// - The squares rr and ii are at least 0. When their exact sum is below 4 it
//   is at most 4 - 2^-46: if rr (say) is 2 or more, 4 - rr is a multiple of
//   2^-22 and ii either below 2^-23 or a multiple of 2^-46. The double sum
//   rounds within 2^-52 and so orders against 4 as the exact sum does.
// - The new zr = (rr - ii) + c_re is used only while the orbit goes on, that
//   is when rr + ii < 4 (so next_real is asked only for such squares). Then,
//   when each of rr, ii and c_re is zero or at least 2^-27 (multiples of
//   2^-50) and |c_re| is at most 4 (partial sums below 8), the sum is exact
//   in double, and both round the exact value once. Otherwise the model
//   computes it.
struct ModelExtended {
    using Value = SoftExtended;
    static Value from_int(std::int32_t value) { return soft_extended_from_int(value); }
    static Value from_float(float value) { return soft_extended_from_float(value); }
    static Value from_double(double value) { return soft_extended_from_double(value); }
    static Value add(Value a, Value b) { return soft_extended_add(a, b); }
    static Value sub(Value a, Value b) { return soft_extended_sub(a, b); }
    static Value mul(Value a, Value b) { return soft_extended_mul(a, b); }
    static Value div(Value a, Value b) { return soft_extended_div(a, b); }
    static bool less(Value a, Value b) { return soft_extended_less(a, b); }
    static float to_float(Value value) { return soft_extended_to_float(value); }
    static double to_double(Value value) { return soft_extended_to_double(value); }

    // Squares below this, or real parts of c outside the bounds below, may
    // make (rr - ii) + c_re inexact in double.
    static constexpr float exact_square_floor = 0x1p-27F;
    static constexpr float exact_c_re_limit = 4.0F;

    static float square(float z) { return z * z; }
    static float doubled_product(float zi, float zr) { return zi * 2.0F * zr; }
    static float sum(float a, float b) { return a + b; }
    static float next_real(float rr, float ii, float c_re) {
        const float smaller = rr < ii ? rr : ii;
        const float c_re_size = c_re < 0.0F ? -c_re : c_re;
        if ((smaller >= exact_square_floor || smaller == 0.0F) &&
            ((c_re_size >= exact_square_floor && c_re_size <= exact_c_re_limit) ||
             c_re_size == 0.0F)) {
            return static_cast<float>((static_cast<double>(rr) - static_cast<double>(ii)) +
                                      static_cast<double>(c_re));
        }
        return next_real_in_model(rr, ii, c_re);
    }
    // For squares only (rr, ii >= 0).
    static bool below_bound(float rr, float ii) {
        return static_cast<double>(rr) + static_cast<double>(ii) < 4.0;
    }

    // Kept out of line: the passes that need it are rare.
    __attribute__((noinline)) static float next_real_in_model(float rr, float ii, float c_re) {
        return to_float(add(sub(from_float(rr), from_float(ii)), from_float(c_re)));
    }
};

#if QUENLIXOR_X87_EXTENDED
using Extended = X87Extended;
#else
using Extended = ModelExtended;
#endif

}  // namespace quenlixor
