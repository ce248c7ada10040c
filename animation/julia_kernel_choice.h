// The renderer's kernels: the extended-precision reference and the SIMD
// kernels that give the same frames bit for bit, and the choice among them.
//
// A kernel is one file, julia_kernel_<name>.cpp, which defines its row (a
// Kernel record: nothing else of it is visible outside), and one line in the
// table of its processor family, julia_kernel_table_<family>.cpp, which the
// build picks (animation/CMakeLists.txt). Everything that names kernels (the
// program's --version, julia-frames --kernel, the tests and the benchmarks)
// learns them from the table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/processor_features.h"

namespace quenlixor {

// The blocks of a kernel, in pixels: the same columns of adjacent rows. A
// block runs until all its lanes have stopped or made iteration_limit
// passes, so it makes as many passes as the largest escape-time count among
// its pixels (1 for the reference, whose blocks are single pixels).
struct BlockShape {
    int width;
    int height;
};

// A kernel writes all pixel_count pixels of a picture (rows adjacent, like
// the framebuffer; any alignment of std::uint32_t) for the parameter c from
// the renderer's coordinate tables and palette, and touches no other state,
// so several threads may run kernels at once into pictures of their own.
using RenderPixels = void(float c_re, float c_im, std::uint32_t* pixels);

struct Kernel {
    // Its name on command lines and in --version.
    const char* name;
    // The processor feature it needs (nullptr: it runs on every processor).
    bool ProcessorFeatures::*needs;
    RenderPixels* render;
    BlockShape block;
};

// The reference, which runs everywhere: the last row of every table.
extern const Kernel reference_kernel;

// This build's kernels, fastest first, the reference last.
std::span<const Kernel* const> kernel_table();

// Whether this processor (and its operating system), as QUENLIXOR_SIMD caps
// it, can run the kernel.
bool kernel_available(const Kernel& kernel);

// The first available kernel of the table: what the program renders with.
const Kernel& fastest_kernel();

// The kernel of the table called `name`, available or not; nullptr when
// there is none.
const Kernel* kernel_named(std::string_view name);

// The names of the table's kernels, fastest first, for messages: "neon or
// reference" on ARM64.
std::string kernel_names();

}  // namespace quenlixor
