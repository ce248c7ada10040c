// SSE2 converters: blocks of 128-bit vectors, any alignment (unaligned loads
// and stores), the rest of each row by the portable converters. SSE2 is the
// x86-64 baseline; 32-bit processors are checked for it with CPUID first.
#include <emmintrin.h>

#include <cstddef>

#include "display/pixel_converters_internal.h"
#include "platform/processor_features.h"

#define QUENLIXOR_SSE2 __attribute__((target("sse2")))

namespace quenlixor {
namespace {

QUENLIXOR_SSE2 inline __m128i load(const unsigned char* source) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
}

QUENLIXOR_SSE2 inline void store(unsigned char* destination, __m128i value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), value);
}

QUENLIXOR_SSE2 inline __m128i splat(int pattern) {
    return _mm_set1_epi32(pattern);
}

// Red and blue exchanged, bits 24-31 cleared: 0x00BBGGRR from 0xXXRRGGBB.
QUENLIXOR_SSE2 inline __m128i swap_red_blue(__m128i pixels) {
    const __m128i red_blue = _mm_and_si128(pixels, splat(0x00FF00FF));
    const __m128i green = _mm_and_si128(pixels, splat(0x0000FF00));
    // Swapping the two 16-bit halves of each pixel swaps red and blue.
    const __m128i swapped = _mm_shufflehi_epi16(_mm_shufflelo_epi16(red_blue, 0xB1), 0xB1);
    return _mm_or_si128(swapped, green);
}

// Four pixels' three low bytes, packed into bytes 0-11 (bytes 12-15 zero).
QUENLIXOR_SSE2 inline __m128i pack_three_bytes(__m128i pixels) {
    // In each 64-bit half: the lower pixel's bytes 0-2 and the upper pixel's
    // bytes 0-2 moved down next to them, bytes 0-5 of the half.
    const __m128i lower = _mm_and_si128(pixels, _mm_set1_epi64x(0x0000000000FFFFFF));
    const __m128i upper =
        _mm_and_si128(_mm_srli_epi64(pixels, 8), _mm_set1_epi64x(0x0000FFFFFF000000));
    const __m128i halves = _mm_or_si128(lower, upper);
    // The upper half's six bytes moved down to bytes 6-11.
    const __m128i high_half = _mm_unpackhi_epi64(_mm_setzero_si128(), halves);
    return _mm_or_si128(_mm_move_epi64(halves), _mm_srli_si128(high_half, 2));
}

// 16 pixels (64 source bytes) into 48 destination bytes of 3 bytes each;
// `swap` exchanges red and blue first.
template <bool swap>
QUENLIXOR_SSE2 inline void convert_24_block(const unsigned char* from, unsigned char* to) {
    __m128i packed[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const __m128i pixels = load(from + 16 * i);
        packed[i] = pack_three_bytes(swap ? swap_red_blue(pixels) : pixels);
    }
    store(to, _mm_or_si128(packed[0], _mm_slli_si128(packed[1], 12)));
    store(to + 16, _mm_or_si128(_mm_srli_si128(packed[1], 4), _mm_slli_si128(packed[2], 8)));
    store(to + 32, _mm_or_si128(_mm_srli_si128(packed[2], 8), _mm_slli_si128(packed[3], 4)));
}

// 5-6-5 from two vectors of four pixels. The two lower channels are placed
// in bits 0-10 of each 32-bit lane and packed to 16 bits with signed
// saturation (no value reaches 0x8000); the upper channel's top five bits are
// put at bits 3-7 of each lane's upper half, so that packing 16-bit lanes to
// bytes with unsigned saturation leaves them in bits 11-15 of the pixel.
template <bool red_high>
QUENLIXOR_SSE2 inline __m128i pack_565(__m128i first, __m128i second) {
    const __m128i green = splat(0x0000FC00);
    __m128i low[2], high[2];
    const __m128i pixels[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        const __m128i p = pixels[i];
        if (red_high) {
            const __m128i blue = _mm_slli_epi32(_mm_and_si128(p, splat(0x000000F8)), 2);
            low[i] = _mm_srli_epi32(_mm_or_si128(_mm_and_si128(p, green), blue), 5);
            high[i] = _mm_and_si128(p, splat(0x00F80000));
        } else {
            const __m128i red = _mm_srli_epi32(_mm_and_si128(p, splat(0x00F80000)), 14);
            low[i] = _mm_srli_epi32(_mm_or_si128(_mm_and_si128(p, green), red), 5);
            high[i] = _mm_slli_epi32(_mm_and_si128(p, splat(0x000000F8)), 16);
        }
    }
    return _mm_or_si128(_mm_packs_epi32(low[0], low[1]), _mm_packus_epi16(high[0], high[1]));
}

// 5-5-5 from two vectors of four pixels. Red and blue, masked together, are
// moved into place by one multiply-add of 16-bit lanes: the multiplier 8
// puts a channel at bits 0-4 after the final shift by 6, 0x2000 at bits
// 10-14. The order of the two multipliers chooses the layout.
QUENLIXOR_SSE2 inline __m128i pack_555(__m128i first, __m128i second, __m128i multipliers) {
    __m128i packed[2];
    const __m128i pixels[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        const __m128i red_blue =
            _mm_madd_epi16(_mm_and_si128(pixels[i], splat(0x00F800F8)), multipliers);
        const __m128i green = _mm_and_si128(pixels[i], splat(0x0000F800));
        packed[i] = _mm_srli_epi32(_mm_or_si128(red_blue, green), 6);
    }
    return _mm_packs_epi32(packed[0], packed[1]);
}

// Multipliers of (blue, red) in each pixel's pair of 16-bit lanes.
QUENLIXOR_SSE2 inline __m128i multipliers_555(bool red_high) {
    return red_high ? splat(0x20000008) : splat(0x00082000);
}

// --- the row converters ----------------------------------------------------

QUENLIXOR_REALIGN_STACK QUENLIXOR_SSE2 void sse2_to_xrgb8888(const void* source, void* destination,
                                                             std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    std::uint32_t blocks = count / 16;
    for (; blocks != 0; --blocks, from += 64, to += 64) {
        const __m128i a = load(from), b = load(from + 16), c = load(from + 32), d = load(from + 48);
        store(to, a);
        store(to + 16, b);
        store(to + 32, c);
        store(to + 48, d);
    }
    for (std::uint32_t quads = (count % 16) / 4; quads != 0; --quads, from += 16, to += 16) {
        store(to, load(from));
    }
    portable_to_xrgb8888(from, to, count % 4);
}

QUENLIXOR_REALIGN_STACK QUENLIXOR_SSE2 void sse2_to_xbgr8888(const void* source, void* destination,
                                                             std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    for (std::uint32_t blocks = count / 8; blocks != 0; --blocks, from += 32, to += 32) {
        store(to, swap_red_blue(load(from)));
        store(to + 16, swap_red_blue(load(from + 16)));
    }
    portable_to_xbgr8888(from, to, count % 8);
}

QUENLIXOR_REALIGN_STACK QUENLIXOR_SSE2 void sse2_to_rgb888(const void* source, void* destination,
                                                           std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    for (std::uint32_t blocks = count / 16; blocks != 0; --blocks, from += 64, to += 48) {
        convert_24_block<false>(from, to);
    }
    portable_to_rgb888(from, to, count % 16);
}

QUENLIXOR_REALIGN_STACK QUENLIXOR_SSE2 void sse2_to_bgr888(const void* source, void* destination,
                                                           std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    for (std::uint32_t blocks = count / 16; blocks != 0; --blocks, from += 64, to += 48) {
        convert_24_block<true>(from, to);
    }
    portable_to_bgr888(from, to, count % 16);
}

template <bool red_high>
QUENLIXOR_REALIGN_STACK QUENLIXOR_SSE2 void sse2_to_565(const void* source, void* destination,
                                                        std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    for (std::uint32_t blocks = count / 8; blocks != 0; --blocks, from += 32, to += 16) {
        store(to, pack_565<red_high>(load(from), load(from + 16)));
    }
    if (red_high) {
        portable_to_rgb565(from, to, count % 8);
    } else {
        portable_to_bgr565(from, to, count % 8);
    }
}

template <bool red_high>
QUENLIXOR_REALIGN_STACK QUENLIXOR_SSE2 void sse2_to_555(const void* source, void* destination,
                                                        std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    const __m128i multipliers = multipliers_555(red_high);
    for (std::uint32_t blocks = count / 8; blocks != 0; --blocks, from += 32, to += 16) {
        store(to, pack_555(load(from), load(from + 16), multipliers));
    }
    if (red_high) {
        portable_to_rgb555(from, to, count % 8);
    } else {
        portable_to_bgr555(from, to, count % 8);
    }
}

}  // namespace

extern const ConverterPath sse2_converters{
    .name = "sse2",
    .needs = &ProcessorFeatures::sse2,
    .converters =
        {
            sse2_to_xrgb8888,
            sse2_to_xbgr8888,
            sse2_to_rgb888,
            sse2_to_bgr888,
            sse2_to_565<true>,
            sse2_to_565<false>,
            sse2_to_555<true>,
            sse2_to_555<false>,
        },
};

}  // namespace quenlixor
