// MMX converters: 64-bit packed integers, for 32-bit processors without
// SSE2. Six formats have blocks; xbgr8888 and bgr888 stay per pixel. Every
// converter here ends its packed work with EMMS, so the x87 unit is usable
// again before the remainder and after the call.
#include <mmintrin.h>

#include <cstddef>
#include <cstring>

#include "display/pixel_converters_internal.h"

#define QUENLIXOR_MMX __attribute__((target("mmx")))

namespace quenlixor {
namespace {

// An 8-byte packed value at any address (MOVQ needs no alignment).
using UnalignedM64 = int __attribute__((vector_size(8), may_alias, aligned(1)));

QUENLIXOR_MMX inline __m64 load(const unsigned char* source) {
    return static_cast<__m64>(*reinterpret_cast<const UnalignedM64*>(source));
}

QUENLIXOR_MMX inline void store(unsigned char* destination, __m64 value) {
    *reinterpret_cast<UnalignedM64*>(destination) = static_cast<UnalignedM64>(value);
}

QUENLIXOR_MMX inline void store_low_half(unsigned char* destination, __m64 value) {
    const int low = _mm_cvtsi64_si32(value);
    std::memcpy(destination, &low, sizeof low);
}

QUENLIXOR_MMX inline __m64 repeat32(int pattern) {
    return _mm_set1_pi32(pattern);
}

QUENLIXOR_MMX inline __m64 repeat64(std::uint64_t pattern) {
    return _mm_set_pi32(static_cast<int>(pattern >> 32), static_cast<int>(pattern & 0xFFFFFFFFu));
}

// 16 pixels per block: eight 8-byte loads into the eight MMX registers,
// then eight 8-byte stores. Written out as MOVQs because a compiler moves
// plain 8-byte copies through general registers instead.
QUENLIXOR_MMX void mmx_to_xrgb8888(const void* source, void* destination, std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    for (std::uint32_t blocks = count / 16; blocks != 0; --blocks, from += 64, to += 64) {
        __asm__ volatile(
            "movq (%0), %%mm0\n\t"
            "movq 8(%0), %%mm1\n\t"
            "movq 16(%0), %%mm2\n\t"
            "movq 24(%0), %%mm3\n\t"
            "movq 32(%0), %%mm4\n\t"
            "movq 40(%0), %%mm5\n\t"
            "movq 48(%0), %%mm6\n\t"
            "movq 56(%0), %%mm7\n\t"
            "movq %%mm0, (%1)\n\t"
            "movq %%mm1, 8(%1)\n\t"
            "movq %%mm2, 16(%1)\n\t"
            "movq %%mm3, 24(%1)\n\t"
            "movq %%mm4, 32(%1)\n\t"
            "movq %%mm5, 40(%1)\n\t"
            "movq %%mm6, 48(%1)\n\t"
            "movq %%mm7, 56(%1)"
            :
            : "r"(from), "r"(to)
            : "memory", "mm0", "mm1", "mm2", "mm3", "mm4", "mm5", "mm6", "mm7");
    }
    _mm_empty();
    portable_to_xrgb8888(from, to, count % 16);
}

// 4 pixels (two 8-byte loads) to 12 bytes: pixel 0 or pixel 1 shifted left
// 24 or pixel 2 shifted left 48 as the first 8 bytes; pixel 2's red byte and
// pixel 3 as the next 4.
QUENLIXOR_MMX void mmx_to_rgb888(const void* source, void* destination, std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    const __m64 lower_pixel = repeat64(0x0000000000FFFFFF);
    const __m64 upper_pixel = repeat64(0x0000FFFFFF000000);
    const __m64 low_byte = repeat64(0x00000000000000FF);
    const __m64 upper_three_bytes = repeat64(0x00000000FFFFFF00);
    for (std::uint32_t blocks = count / 4; blocks != 0; --blocks, from += 16, to += 12) {
        const __m64 first = load(from);
        const __m64 second = load(from + 8);
        const __m64 bytes_0_to_7 =
            _mm_or_si64(_mm_or_si64(_mm_and_si64(first, lower_pixel),
                                    _mm_and_si64(_mm_srli_si64(first, 8), upper_pixel)),
                        _mm_slli_si64(second, 48));
        const __m64 bytes_8_to_11 =
            _mm_or_si64(_mm_and_si64(_mm_srli_si64(second, 16), low_byte),
                        _mm_and_si64(_mm_srli_si64(second, 24), upper_three_bytes));
        store(to, bytes_0_to_7);
        store_low_half(to + 8, bytes_8_to_11);
    }
    _mm_empty();
    portable_to_rgb888(from, to, count % 4);
}

// 5-6-5, 4 pixels per block. The two lower channels land in bits 0-10 of
// each 32-bit lane and are packed to 16 bits with signed saturation, which
// none reaches; the upper channel's top five bits sit in bits 3-7 of each
// lane's upper half, and packing 16-bit lanes to bytes with unsigned
// saturation moves them to bits 11-15 of the pixel.
template <bool red_high>
QUENLIXOR_MMX void mmx_to_565(const void* source, void* destination, std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    const __m64 blue = repeat32(0x000000F8);
    const __m64 green = repeat32(0x0000FC00);
    const __m64 red = repeat32(0x00F80000);
    for (std::uint32_t blocks = count / 4; blocks != 0; --blocks, from += 16, to += 8) {
        __m64 low[2], high[2];
        for (std::size_t i = 0; i < 2; ++i) {
            const __m64 p = load(from + 8 * i);
            if (red_high) {
                low[i] = _mm_srli_pi32(
                    _mm_or_si64(_mm_and_si64(p, green), _mm_slli_pi32(_mm_and_si64(p, blue), 2)),
                    5);
                high[i] = _mm_and_si64(p, red);
            } else {
                low[i] = _mm_srli_pi32(
                    _mm_or_si64(_mm_and_si64(p, green), _mm_srli_pi32(_mm_and_si64(p, red), 14)),
                    5);
                high[i] = _mm_slli_si64(_mm_and_si64(p, blue), 16);
            }
        }
        store(to, _mm_or_si64(_mm_packs_pi32(low[0], low[1]), _mm_packs_pu16(high[0], high[1])));
    }
    _mm_empty();
    if (red_high) {
        portable_to_rgb565(from, to, count % 4);
    } else {
        portable_to_bgr565(from, to, count % 4);
    }
}

// 5-5-5, 4 pixels per block, both layouts in one routine: red and blue are
// masked together and moved into place by one multiply-add of 16-bit lanes
// with the pair of multipliers (blue's, red's): 8 puts a channel at bits
// 0-4 after the common shift right by 6, 0x2000 at bits 10-14.
template <int multiplier_pair, Converter remainder>
QUENLIXOR_MMX void mmx_to_555(const void* source, void* destination, std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    const __m64 multipliers = repeat32(multiplier_pair);
    const __m64 red_blue = repeat32(0x00F800F8);
    const __m64 green = repeat32(0x0000F800);
    for (std::uint32_t blocks = count / 4; blocks != 0; --blocks, from += 16, to += 8) {
        __m64 packed[2];
        for (std::size_t i = 0; i < 2; ++i) {
            const __m64 p = load(from + 8 * i);
            packed[i] =
                _mm_srli_pi32(_mm_or_si64(_mm_madd_pi16(_mm_and_si64(p, red_blue), multipliers),
                                          _mm_and_si64(p, green)),
                              6);
        }
        store(to, _mm_packs_pi32(packed[0], packed[1]));
    }
    _mm_empty();
    remainder(from, to, count % 4);
}

// The multipliers of blue (lower 16 bits) and red (upper 16 bits).
constexpr int rgb555_multipliers = 0x20000008;
constexpr int bgr555_multipliers = 0x00082000;

}  // namespace

extern const ConverterPath mmx_converters{
    .name = "mmx",
    .needs = &ProcessorFeatures::mmx,
    .converters =
        {
            mmx_to_xrgb8888,
            portable_to_xbgr8888,
            mmx_to_rgb888,
            portable_to_bgr888,
            mmx_to_565<true>,
            mmx_to_565<false>,
            mmx_to_555<rgb555_multipliers, portable_to_rgb555>,
            mmx_to_555<bgr555_multipliers, portable_to_bgr555>,
        },
};

}  // namespace quenlixor
