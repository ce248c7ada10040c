// Reading the processor's instruction sets once, and the QUENLIXOR_SIMD cap.
#include "platform/processor_features.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define QUENLIXOR_CPUID 1
#else
#define QUENLIXOR_CPUID 0
#endif

namespace quenlixor {
namespace {

struct LevelName {
    SimdLevel level;
    const char* name;
};

const LevelName level_names[] = {
    {SimdLevel::none, "none"}, {SimdLevel::mmx, "mmx"},       {SimdLevel::sse2, "sse2"},
    {SimdLevel::avx2, "avx2"}, {SimdLevel::avx512, "avx512"},
};

const ProcessorFeatures& features_once() {
    static const ProcessorFeatures features = [] {
        const FeatureSetting setting =
            apply_simd_setting(read_processor_features(), std::getenv("QUENLIXOR_SIMD"));
        if (setting.setting_ignored) {
            std::fprintf(stderr,
                         "quenlixor: QUENLIXOR_SIMD=%s is not none, mmx, sse2, avx2 or avx512; "
                         "ignored\n",
                         std::getenv("QUENLIXOR_SIMD"));
        }
        return setting.features;
    }();
    return features;
}

}  // namespace

const ProcessorFeatures& processor_features() {
    return features_once();
}

ProcessorFeatures read_processor_features() {
    ProcessorFeatures features{false, false, false, false};
#if QUENLIXOR_CPUID
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    // __get_cpuid also finds out whether CPUID exists at all (i386, i486).
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return features;
    }
    features.mmx = (edx & bit_MMX) != 0;
    features.sse2 = (edx & bit_SSE2) != 0;
    const bool avx = (ecx & bit_AVX) != 0;
    if ((ecx & bit_OSXSAVE) == 0 || __get_cpuid_max(0, nullptr) < 7) {
        return features;
    }
    // Which register states the operating system saves: XCR0 bits 1 and 2
    // (XMM, YMM), 5 to 7 (opmask, upper ZMM halves, ZMM 16-31).
    unsigned xcr0_low = 0;
    unsigned xcr0_high = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    features.avx2 = avx && (xcr0_low & 0x6U) == 0x6U && (ebx & bit_AVX2) != 0;
    const unsigned avx512 = bit_AVX512F | bit_AVX512DQ | bit_AVX512BW | bit_AVX512VL;
    features.avx512 = (xcr0_low & 0xE6U) == 0xE6U && (ebx & avx512) == avx512;
#endif
    return features;
}

ProcessorFeatures capped_features(ProcessorFeatures features, SimdLevel cap) {
    features.mmx = features.mmx && cap >= SimdLevel::mmx;
    features.sse2 = features.sse2 && cap >= SimdLevel::sse2;
    features.avx2 = features.avx2 && cap >= SimdLevel::avx2;
    features.avx512 = features.avx512 && cap >= SimdLevel::avx512;
    return features;
}

bool parse_simd_level(const char* text, SimdLevel& level) {
    if (text == nullptr) {
        return false;
    }
    for (const LevelName& entry : level_names) {
        if (std::strcmp(text, entry.name) == 0) {
            level = entry.level;
            return true;
        }
    }
    return false;
}

FeatureSetting apply_simd_setting(ProcessorFeatures processor, const char* setting) {
    if (setting == nullptr) {
        return {processor, false};
    }
    SimdLevel cap = SimdLevel::avx512;
    if (!parse_simd_level(setting, cap)) {
        return {processor, true};
    }
    return {capped_features(processor, cap), false};
}

}  // namespace quenlixor
