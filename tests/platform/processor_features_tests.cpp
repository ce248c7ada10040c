// The processor's features and the QUENLIXOR_SIMD cap: every cap over every
// combination of features, the names, and the setting read from the
// environment in a child process (the features are read once per process).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/processor_features.h"

namespace quenlixor {
namespace {

ProcessorFeatures from_bits(unsigned bits) {
    return {(bits & 1U) != 0, (bits & 2U) != 0, (bits & 4U) != 0, (bits & 8U) != 0};
}

unsigned to_bits(const ProcessorFeatures& features) {
    return (features.mmx ? 1U : 0U) | (features.sse2 ? 2U : 0U) | (features.avx2 ? 4U : 0U) |
           (features.avx512 ? 8U : 0U);
}

TEST(ProcessorFeaturesTest, ACapKeepsExactlyTheFeaturesAtOrBelowIt) {
    // Bits: mmx, sse2, avx2, avx512; a cap of level n keeps the n lowest.
    const unsigned kept_by_level[] = {0x0, 0x1, 0x3, 0x7, 0xF};
    const SimdLevel levels[] = {SimdLevel::none, SimdLevel::mmx, SimdLevel::sse2, SimdLevel::avx2,
                                SimdLevel::avx512};
    for (unsigned bits = 0; bits < 16; ++bits) {
        for (unsigned level = 0; level < 5; ++level) {
            EXPECT_EQ(to_bits(capped_features(from_bits(bits), levels[level])),
                      bits & kept_by_level[level])
                << "features " << bits << ", level " << level;
        }
    }
}

TEST(ProcessorFeaturesTest, TheSettingNamesALevelExactlyOrIsIgnored) {
    const ProcessorFeatures all = from_bits(0xF);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "none").features), 0x0U);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "mmx").features), 0x1U);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "sse2").features), 0x3U);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "avx2").features), 0x7U);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "avx512").features), 0xFU);
    EXPECT_FALSE(apply_simd_setting(all, "mmx").setting_ignored);
    // A cap never adds what the processor lacks.
    EXPECT_EQ(to_bits(apply_simd_setting(from_bits(0x3), "avx512").features), 0x3U);
    EXPECT_FALSE(apply_simd_setting(all, nullptr).setting_ignored);
    EXPECT_EQ(to_bits(apply_simd_setting(all, nullptr).features), 0xFU);
    for (const char* unknown : {"", "AVX2", "sse", "avx2 ", "3dnow", "sse2,avx2"}) {
        const FeatureSetting setting = apply_simd_setting(all, unknown);
        EXPECT_TRUE(setting.setting_ignored) << '"' << unknown << '"';
        EXPECT_EQ(to_bits(setting.features), 0xFU) << '"' << unknown << '"';
    }
}

TEST(ProcessorFeaturesTest, WiderSetsComeWithTheNarrowerOnes) {
    // Every x86 processor with SSE2 has MMX, and so on upwards.
    const ProcessorFeatures features = read_processor_features();
    EXPECT_TRUE(!features.sse2 || features.mmx);
    EXPECT_TRUE(!features.avx2 || features.sse2);
    EXPECT_TRUE(!features.avx512 || features.avx2);
#if defined(__x86_64__)
    EXPECT_TRUE(features.sse2) << "SSE2 is the x86-64 baseline";
#endif
}

char sse2_setting[] = "QUENLIXOR_SIMD=sse2";
char unknown_setting[] = "QUENLIXOR_SIMD=turbo";

TEST(ProcessorFeaturesDeathTest, TheEnvironmentCapsEveryCallerOnce) {
    EXPECT_EXIT(
        {
            putenv(sse2_setting);
            const ProcessorFeatures& features = processor_features();
            const ProcessorFeatures expected =
                capped_features(read_processor_features(), SimdLevel::sse2);
            std::exit(to_bits(features) == to_bits(expected) && !features.avx2 &&
                              &processor_features() == &features
                          ? 0
                          : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(ProcessorFeaturesDeathTest, AnUnknownSettingIsIgnoredWithOneWarningLine) {
    EXPECT_EXIT(
        {
            putenv(unknown_setting);
            const ProcessorFeatures& features = processor_features();
            processor_features();
            std::exit(to_bits(features) == to_bits(read_processor_features()) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "^quenlixor: QUENLIXOR_SIMD=turbo is not none, mmx, sse2, avx2 or avx512; ignored\n$");
}

}  // namespace
}  // namespace quenlixor
