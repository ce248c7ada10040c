// The processor's features and the QUENLIXOR_SIMD cap: every cap over every
// combination of features, the names, and the setting read from the
// environment in a child process (the features are read once per process).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/processor_features.h"

namespace quenlixor {
namespace {

ProcessorFeatures from_bits(unsigned bits) {
    return {(bits & 1U) != 0, (bits & 2U) != 0,  (bits & 4U) != 0,
            (bits & 8U) != 0, (bits & 16U) != 0, (bits & 32U) != 0};
}

unsigned to_bits(const ProcessorFeatures& features) {
    return (features.mmx ? 1U : 0U) | (features.sse2 ? 2U : 0U) | (features.avx2 ? 4U : 0U) |
           (features.avx512 ? 8U : 0U) | (features.neon ? 16U : 0U) | (features.simd128 ? 32U : 0U);
}

TEST(ProcessorFeaturesTest, ACapKeepsExactlyTheFeaturesAtOrBelowIt) {
    // Bits: mmx, sse2, avx2, avx512, neon, simd128; the x86 levels keep the
    // n lowest of x86's, and every 128-bit level (sse2, neon, simd128) keeps
    // SSE2, NEON and SIMD128.
    const unsigned kept_by_level[] = {0x0, 0x1, 0x33, 0x37, 0x3F, 0x33, 0x33};
    const SimdLevel levels[] = {SimdLevel::none,   SimdLevel::mmx,    SimdLevel::sse2,
                                SimdLevel::avx2,   SimdLevel::avx512, SimdLevel::neon,
                                SimdLevel::simd128};
    for (unsigned bits = 0; bits < 64; ++bits) {
        for (unsigned level = 0; level < 7; ++level) {
            EXPECT_EQ(to_bits(capped_features(from_bits(bits), levels[level])),
                      bits & kept_by_level[level])
                << "features " << bits << ", level " << level;
        }
    }
}

TEST(ProcessorFeaturesTest, TheSettingNamesALevelExactlyOrIsIgnored) {
    const ProcessorFeatures all = from_bits(0x3F);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "none").features), 0x0U);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "mmx").features), 0x1U);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "sse2").features), 0x33U);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "avx2").features), 0x37U);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "avx512").features), 0x3FU);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "neon").features), 0x33U);
    EXPECT_EQ(to_bits(apply_simd_setting(all, "simd128").features), 0x33U);
    EXPECT_FALSE(apply_simd_setting(all, "mmx").setting_ignored);
    // A cap never adds what the processor lacks.
    EXPECT_EQ(to_bits(apply_simd_setting(from_bits(0x3), "avx512").features), 0x3U);
    EXPECT_FALSE(apply_simd_setting(all, nullptr).setting_ignored);
    EXPECT_EQ(to_bits(apply_simd_setting(all, nullptr).features), 0x3FU);
    for (const char* unknown : {"", "AVX2", "sse", "avx2 ", "3dnow", "sse2,avx2", "NEON", "simd"}) {
        const FeatureSetting setting = apply_simd_setting(all, unknown);
        EXPECT_TRUE(setting.setting_ignored) << '"' << unknown << '"';
        EXPECT_EQ(to_bits(setting.features), 0x3FU) << '"' << unknown << '"';
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
#if defined(__aarch64__)
    EXPECT_TRUE(features.neon) << "NEON is the ARM64 baseline";
#endif
    // One family of instruction sets per processor.
    EXPECT_LE((features.sse2 ? 1 : 0) + (features.neon ? 1 : 0) + (features.simd128 ? 1 : 0), 1);
}

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
// The operating system's own view of the processor: Linux lists a vector
// extension among the flags only when it also saves that extension's state.
TEST(ProcessorFeaturesTest, AgreeWithTheProcessorFlagsOfLinux) {
    std::FILE* file = std::fopen("/proc/cpuinfo", "r");
    if (file == nullptr) {
        GTEST_SKIP() << "no /proc/cpuinfo";
    }
    std::string flags;
    char line[8192];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::strncmp(line, "flags", 5) == 0) {
            flags = line;
            break;
        }
    }
    std::fclose(file);
    ASSERT_FALSE(flags.empty());
    flags.back() = ' ';  // the newline
    const auto has = [&flags](const char* flag) {
        return flags.find(' ' + std::string(flag) + ' ') != std::string::npos;
    };
    const ProcessorFeatures features = read_processor_features();
    EXPECT_EQ(features.mmx, has("mmx"));
    EXPECT_EQ(features.sse2, has("sse2"));
    EXPECT_EQ(features.avx2, has("avx") && has("avx2"));
    EXPECT_EQ(features.avx512,
              has("avx512f") && has("avx512dq") && has("avx512bw") && has("avx512vl"))
        << flags;
}
#endif

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
        "^quenlixor: QUENLIXOR_SIMD=turbo is not none, mmx, sse2, avx2, avx512, neon or simd128; "
        "ignored\n$");
}

}  // namespace
}  // namespace quenlixor
