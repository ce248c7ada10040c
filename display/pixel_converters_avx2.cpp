// AVX2 converters: blocks of 256-bit vectors, any alignment, the rest of each
// row by the portable converters. Used only when CPUID reports AVX2 and the
// operating system saves the 256-bit registers.
#include <immintrin.h>

#include "display/pixel_converters_internal.h"
#include "platform/processor_features.h"

#define QUENLIXOR_AVX2 __attribute__((target("avx2")))

namespace quenlixor {
namespace {

QUENLIXOR_AVX2 inline __m256i load(const unsigned char* source) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source));
}

QUENLIXOR_AVX2 inline void store(unsigned char* destination, __m256i value) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination), value);
}

QUENLIXOR_AVX2 inline __m256i splat(int pattern) {
    return _mm256_set1_epi32(pattern);
}

// Byte shuffles within each 128-bit half (-1 clears the byte).
// 0xXXRRGGBB to 0x00BBGGRR.
QUENLIXOR_AVX2 inline __m256i swap_red_blue_shuffle() {
    return _mm256_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1,  //
                            2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1);
}

// Four pixels' bytes B, G, R (or R, G, B) to bytes 0-11 of each half.
QUENLIXOR_AVX2 inline __m256i three_bytes_shuffle(bool swap) {
    return swap ? _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,  //
                                   2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
                : _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                   0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
}

// Packing works within 128-bit halves; this puts the quarters back in order.
QUENLIXOR_AVX2 inline __m256i in_order(__m256i packed) {
    return _mm256_permute4x64_epi64(packed, 0xD8);
}

// The 16-bit formats from two vectors of eight pixels. With each channel
// masked to the bits it keeps, eight times the result is a sum of the three
// channels, each times a power of two: for red-high 5-6-5, for instance,
// B + 64 G + 2048 R. The byte multiply-add forms the sum of blue and green
// (one of them times 1 or 32 or 64) in the lower 16 bits of each pixel and
// red times 1 in the upper 16 (X times 0); the word multiply-add then joins
// the two halves with one of them weighted. A shift right by 3 leaves the
// 16-bit value, which the narrowing with unsigned saturation keeps whole.
struct Weights16 {
    int channel_mask;
    int byte_multipliers;  // blue, green, red, X: one byte each
    int word_multipliers;  // lower half, upper half: 16 bits each
};

QUENLIXOR_AVX2 inline __m256i pack_16(__m256i first, __m256i second, __m256i mask,
                                      __m256i byte_multipliers, __m256i word_multipliers) {
    __m256i packed[2];
    const __m256i pixels[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        const __m256i halves =
            _mm256_maddubs_epi16(_mm256_and_si256(pixels[i], mask), byte_multipliers);
        packed[i] = _mm256_srli_epi32(_mm256_madd_epi16(halves, word_multipliers), 3);
    }
    return in_order(_mm256_packus_epi32(packed[0], packed[1]));
}

// --- the row converters ----------------------------------------------------

QUENLIXOR_REALIGN_STACK QUENLIXOR_AVX2 void avx2_to_xrgb8888(const void* source, void* destination,
                                                             std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    for (std::uint32_t blocks = count / 32; blocks != 0; --blocks, from += 128, to += 128) {
        const __m256i a = load(from), b = load(from + 32), c = load(from + 64), d = load(from + 96);
        store(to, a);
        store(to + 32, b);
        store(to + 64, c);
        store(to + 96, d);
    }
    for (std::uint32_t octets = (count % 32) / 8; octets != 0; --octets, from += 32, to += 32) {
        store(to, load(from));
    }
    portable_to_xrgb8888(from, to, count % 8);
}

QUENLIXOR_REALIGN_STACK QUENLIXOR_AVX2 void avx2_to_xbgr8888(const void* source, void* destination,
                                                             std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    const __m256i shuffle = swap_red_blue_shuffle();
    for (std::uint32_t blocks = count / 16; blocks != 0; --blocks, from += 64, to += 64) {
        store(to, _mm256_shuffle_epi8(load(from), shuffle));
        store(to + 32, _mm256_shuffle_epi8(load(from + 32), shuffle));
    }
    for (std::uint32_t octets = (count % 16) / 8; octets != 0; --octets, from += 32, to += 32) {
        store(to, _mm256_shuffle_epi8(load(from), shuffle));
    }
    portable_to_xbgr8888(from, to, count % 8);
}

QUENLIXOR_AVX2 inline __m256i lanes(int a, int b, int c, int d, int e, int f, int g, int h) {
    return _mm256_setr_epi32(a, b, c, d, e, f, g, h);
}

// 32 pixels to 96 bytes. Each 128-bit half of a source vector is packed to
// three 32-bit lanes of 3-byte pixels (lanes 0-2 and 4-6 of the vector);
// permutations of 32-bit lanes and blends lay the 24 lanes of the four
// vectors out as three full vectors.
template <bool swap>
QUENLIXOR_AVX2 inline void convert_24_block(const unsigned char* from, unsigned char* to,
                                            __m256i shuffle) {
    const __m256i a = _mm256_shuffle_epi8(load(from), shuffle);
    const __m256i b = _mm256_shuffle_epi8(load(from + 32), shuffle);
    const __m256i c = _mm256_shuffle_epi8(load(from + 64), shuffle);
    const __m256i d = _mm256_shuffle_epi8(load(from + 96), shuffle);
    // a0-a5 b0 b1 | b2-b5 c0-c3 | c4 c5 d0-d5
    const __m256i first =
        _mm256_blend_epi32(_mm256_permutevar8x32_epi32(a, lanes(0, 1, 2, 4, 5, 6, 6, 6)),
                           _mm256_permutevar8x32_epi32(b, lanes(0, 0, 0, 0, 0, 0, 0, 1)), 0xC0);
    const __m256i second =
        _mm256_blend_epi32(_mm256_permutevar8x32_epi32(b, lanes(2, 4, 5, 6, 6, 6, 6, 6)),
                           _mm256_permutevar8x32_epi32(c, lanes(0, 0, 0, 0, 0, 1, 2, 4)), 0xF0);
    const __m256i third =
        _mm256_blend_epi32(_mm256_permutevar8x32_epi32(c, lanes(5, 6, 6, 6, 6, 6, 6, 6)),
                           _mm256_permutevar8x32_epi32(d, lanes(0, 0, 0, 1, 2, 4, 5, 6)), 0xFC);
    store(to, first);
    store(to + 32, second);
    store(to + 64, third);
}

// Blocks of 32 pixels, then of 8 (packed the same way, stored as 16 and 8
// bytes), then the remainder.
template <bool swap>
QUENLIXOR_REALIGN_STACK QUENLIXOR_AVX2 void avx2_to_24(const void* source, void* destination,
                                                       std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    const __m256i shuffle = three_bytes_shuffle(swap);
    for (std::uint32_t blocks = count / 32; blocks != 0; --blocks, from += 128, to += 96) {
        convert_24_block<swap>(from, to, shuffle);
    }
    const __m256i join = lanes(0, 1, 2, 4, 5, 6, 3, 7);
    for (std::uint32_t octets = (count % 32) / 8; octets != 0; --octets, from += 32, to += 24) {
        const __m256i packed =
            _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load(from), shuffle), join);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm256_castsi256_si128(packed));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + 16), _mm256_extracti128_si256(packed, 1));
    }
    if (swap) {
        portable_to_bgr888(from, to, count % 8);
    } else {
        portable_to_rgb888(from, to, count % 8);
    }
}

// Eight times the value: 5-6-5 red high B + 64 G + 2048 R, blue high
// (32 B + G) 64 + R; 5-5-5 red high B + 32 G + 1024 R, blue high
// (32 B + G) 32 + R.
constexpr Weights16 rgb565_weights{0x00F8FCF8, 0x00014001, 0x08000001};
constexpr Weights16 bgr565_weights{0x00F8FCF8, 0x00010120, 0x00010040};
constexpr Weights16 rgb555_weights{0x00F8F8F8, 0x00012001, 0x04000001};
constexpr Weights16 bgr555_weights{0x00F8F8F8, 0x00010120, 0x00010020};

template <const Weights16& weights, Converter remainder>
QUENLIXOR_REALIGN_STACK QUENLIXOR_AVX2 void avx2_to_16(const void* source, void* destination,
                                                       std::uint32_t count) {
    const auto* from = static_cast<const unsigned char*>(source);
    auto* to = static_cast<unsigned char*>(destination);
    const __m256i mask = splat(weights.channel_mask);
    const __m256i byte_multipliers = splat(weights.byte_multipliers);
    const __m256i word_multipliers = splat(weights.word_multipliers);
    for (std::uint32_t blocks = count / 16; blocks != 0; --blocks, from += 64, to += 32) {
        store(to, pack_16(load(from), load(from + 32), mask, byte_multipliers, word_multipliers));
    }
    remainder(from, to, count % 16);
}

}  // namespace

extern const ConverterPath avx2_converters{
    .name = "avx2",
    .needs = &ProcessorFeatures::avx2,
    .converters =
        {
            avx2_to_xrgb8888,
            avx2_to_xbgr8888,
            avx2_to_24<false>,
            avx2_to_24<true>,
            avx2_to_16<rgb565_weights, portable_to_rgb565>,
            avx2_to_16<bgr565_weights, portable_to_bgr565>,
            avx2_to_16<rgb555_weights, portable_to_rgb555>,
            avx2_to_16<bgr555_weights, portable_to_bgr555>,
        },
};

}  // namespace quenlixor
