// Reading the processor's instruction sets once, and the QUENLIXOR_SIMD cap.
#include "platform/processor_features.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quenlixor {
namespace {

struct LevelName {
    SimdLevel level;
    const char* name;
};

const LevelName level_names[] = {
    {SimdLevel::none, "none"},       {SimdLevel::mmx, "mmx"},       {SimdLevel::sse2, "sse2"},
    {SimdLevel::avx2, "avx2"},       {SimdLevel::avx512, "avx512"}, {SimdLevel::neon, "neon"},
    {SimdLevel::simd128, "simd128"},
};

// The width a cap allows: NEON and SIMD128 are the 128-bit level, like SSE2.
int rank(SimdLevel level) {
    switch (level) {
        case SimdLevel::none:
            return 0;
        case SimdLevel::mmx:
            return 1;
        case SimdLevel::sse2:
        case SimdLevel::neon:
        case SimdLevel::simd128:
            return 2;
        case SimdLevel::avx2:
            return 3;
        case SimdLevel::avx512:
            return 4;
    }
    return 0;
}

const ProcessorFeatures& features_once() {
    static const ProcessorFeatures features = [] {
        const FeatureSetting setting =
            apply_simd_setting(read_processor_features(), std::getenv("QUENLIXOR_SIMD"));
        if (setting.setting_ignored) {
            std::fprintf(
                stderr,
                "quenlixor: QUENLIXOR_SIMD=%s is not none, mmx, sse2, avx2, avx512, neon or "
                "simd128; ignored\n",
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

ProcessorFeatures capped_features(ProcessorFeatures features, SimdLevel cap) {
    const int allowed = rank(cap);
    features.mmx = features.mmx && allowed >= 1;
    features.sse2 = features.sse2 && allowed >= 2;
    features.avx2 = features.avx2 && allowed >= 3;
    features.avx512 = features.avx512 && allowed >= 4;
    features.neon = features.neon && allowed >= 2;
    features.simd128 = features.simd128 && allowed >= 2;
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
