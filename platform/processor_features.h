// The processor's instruction sets, read in one place for every fast path of
// the program and the tools (the renderer's kernels, the pixel converters).
//
// The environment variable QUENLIXOR_SIMD caps what the fast paths may use,
// whatever the processor has: none, mmx, sse2, avx2 or avx512, each level
// including the ones before it; neon (ARM64) and simd128 (WebAssembly) name
// the 128-bit level of their processors, as sse2 does of x86's, so each of
// the three caps x86 at SSE2 and keeps NEON and SIMD128. It lets a user run
// what an older processor runs and lets the tests reach paths this
// processor would never be given. Any other value is ignored, with one
// warning line on stderr.
//
// Portable: how the processor is read is one file per processor family
// (CPUID and XGETBV on x86; NEON is part of every ARM64 processor and
// SIMD128 is part of this build of the WebAssembly module); no
// operating-system call beyond the C library's getenv.
#pragma once

#include <span>

namespace quenlixor {

enum class SimdLevel { none, mmx, sse2, avx2, avx512, neon, simd128 };

struct ProcessorFeatures {
    bool mmx;
    bool sse2;
    // AVX2, with the operating system saving the YMM registers.
    bool avx2;
    // AVX-512 F, DQ, BW and VL, with the operating system saving the mask
    // registers and all 32 ZMM registers in full.
    bool avx512;
    // ARM64's Advanced SIMD.
    bool neon;
    // WebAssembly's 128-bit SIMD.
    bool simd128;
};

// What this processor and its operating system can run, capped by
// QUENLIXOR_SIMD: read on first use, once (thread-safe), the same for every
// caller afterwards.
const ProcessorFeatures& processor_features();

// Whether processor_features() has the feature `needs` names (nullptr: a
// need every processor meets).
inline bool processor_has(bool ProcessorFeatures::*needs) {
    return needs == nullptr || processor_features().*needs;
}

// The first row of a table of fast paths (fastest first, the last one
// needing nothing) whose `needs` this processor has.
template <class Row>
const Row& fastest_runnable(std::span<const Row* const> table) {
    for (const Row* row : table) {
        if (processor_has(row->needs)) {
            return *row;
        }
    }
    return *table.back();
}

// What this processor and its operating system can run, uncapped.
ProcessorFeatures read_processor_features();

// `features` without what lies above `cap`.
ProcessorFeatures capped_features(ProcessorFeatures features, SimdLevel cap);

// The level a QUENLIXOR_SIMD value names; false for anything else.
bool parse_simd_level(const char* text, SimdLevel& level);

// `processor` capped by the QUENLIXOR_SIMD value `setting` (nullptr: not
// set, no cap). An unknown value leaves `processor` as it is and is reported
// as ignored.
struct FeatureSetting {
    ProcessorFeatures features;
    bool setting_ignored;
};
FeatureSetting apply_simd_setting(ProcessorFeatures processor, const char* setting);

}  // namespace quenlixor

// The one stack-realignment attribute: 32-bit Windows keeps the stack only
// 4-byte aligned, so functions that may keep vectors on the stack realign it
// on entry. Nothing elsewhere.
#if defined(__i386__)
#define QUENLIXOR_REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define QUENLIXOR_REALIGN_STACK
#endif
