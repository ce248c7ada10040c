// The instruction sets of an x86 processor (32- or 64-bit), from CPUID and
// XGETBV.
#include <cpuid.h>

#include "platform/processor_features.h"

namespace quenlixor {

ProcessorFeatures read_processor_features() {
    ProcessorFeatures features{};
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
    return features;
}

}  // namespace quenlixor
