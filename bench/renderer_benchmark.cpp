// Benchmarks of the Julia renderer on one thread: each kernel this processor
// runs, and the plain scalar yardstick, on frame 1, frame 1000 and frames
// 1-600 (one iteration renders all 600); beside the reference, the reference
// with the software model of the x87 extended format
// (reference_soft_extended), as processors without an x87 run it; beside the
// fastest kernel, the same without the setting of the floating-point state
// around each frame (render_unguarded): the baseline of what that costs. Besides the time per
// iteration each case reports
//   per_pass     the time per pass of the escape loop (frame 1 makes 539,814
//                passes, frame 1000 181,215), in seconds with an SI prefix
//   per_frame    the time per frame
//   lane_use     the share of the lane-passes computed that a pixel needed:
//                a kernel's block makes as many passes as the largest count
//                among its pixels
//   x_yardstick  how many times faster than the yardstick on the same frames
//                (the yardstick runs first, in the same run)
// Times are the thread's processor time, as Google Benchmark's CPU column.
//
//   renderer_benchmark [--benchmark_filter=...] [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "animation/extended_arithmetic.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_kernel_reference.h"
#include "animation/julia_renderer.h"
#include "animation/julia_renderer_kernels.h"
#include "bench/renderer_yardstick.h"

namespace quenlixor {
namespace {

struct FrameSet {
    const char* name;
    std::int32_t first;
    std::int32_t last;
};

constexpr FrameSet frame_sets[] = {
    {"frame:1", 1, 1}, {"frame:1000", 1000, 1000}, {"frames:1-600", 1, 600}};

// The yardstick's time per iteration, by frame set, for the ratios.
std::map<std::string, double> yardstick_seconds;

double thread_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The escape-time count behind a pixel's colour.
int count_of_colour(std::uint32_t colour) {
    for (int count = 1; count <= iteration_limit; ++count) {
        if (palette[count] == colour) {
            return count;
        }
    }
    return 0;
}

// Passes the pixels of a frame needed, and the lane-passes blocks of the
// given shape compute for them.
struct Work {
    double passes = 0;
    double lane_passes = 0;
};

void add_work(const std::vector<std::uint32_t>& picture, BlockShape block, Work& work) {
    for (int top = 0; top < picture_height; top += block.height) {
        for (int left = 0; left < picture_width; left += block.width) {
            int largest = 0;
            for (int row = top; row < top + block.height; ++row) {
                for (int column = left; column < left + block.width; ++column) {
                    const int count = count_of_colour(
                        picture[static_cast<std::size_t>(row * picture_width + column)]);
                    work.passes += count;
                    largest = std::max(largest, count);
                }
            }
            work.lane_passes += static_cast<double>(largest) * block.width * block.height;
        }
    }
}

void report(benchmark::State& state, const FrameSet& set, const Work& work, double seconds,
            bool yardstick) {
    const double iterations = static_cast<double>(state.iterations());
    const double per_iteration = seconds / iterations;
    state.counters["per_pass"] = per_iteration / work.passes;
    state.counters["per_frame"] = per_iteration / (set.last - set.first + 1);
    state.counters["lane_use"] = work.passes / work.lane_passes;
    if (yardstick) {
        yardstick_seconds[set.name] = per_iteration;
    } else if (yardstick_seconds.count(set.name) != 0) {
        state.counters["x_yardstick"] = yardstick_seconds[set.name] / per_iteration;
    }
}

// Frames through render_frame_into, which sets the renderer's floating-point
// state for each frame and gives the caller's back.
void render_frames(const Kernel& kernel, FrameSet set, std::uint32_t* picture) {
    for (std::int32_t number = set.first; number <= set.last; ++number) {
        render_frame_into(number, picture, kernel);
        benchmark::DoNotOptimize(picture);
        benchmark::ClobberMemory();
    }
}

// The same frames straight from the kernel, the state left as it is: what
// render_frame_into does but for the floating-point state.
void render_frames_unguarded(const Kernel& kernel, FrameSet set, std::uint32_t* picture) {
    for (std::int32_t number = set.first; number <= set.last; ++number) {
        const JuliaParameter parameter = julia_parameter(number);
        kernel.render(parameter.c_re, parameter.c_im, picture);
        benchmark::DoNotOptimize(picture);
        benchmark::ClobberMemory();
    }
}

using RenderFrames = void(const Kernel&, FrameSet, std::uint32_t*);

void frames_with_kernel(benchmark::State& state, const Kernel* kernel, FrameSet set,
                        RenderFrames* render) {
    prepare_tables();
    std::vector<std::uint32_t> picture(pixel_count);
    const double start = thread_seconds();
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        render(*kernel, set, picture.data());
    }
    const double seconds = thread_seconds() - start;
    Work work;
    for (std::int32_t number = set.first; number <= set.last; ++number) {
        render_frame_into(number, picture.data(), *kernel);
        add_work(picture, kernel->block, work);
    }
    report(state, set, work, seconds, false);
}

#ifdef QUENLIXOR_BENCH_SOFT_EXTENDED
void frames_with_soft_extended_reference(benchmark::State& state, FrameSet set) {
    prepare_tables();
    std::vector<std::uint32_t> picture(pixel_count);
    const double start = thread_seconds();
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        for (std::int32_t number = set.first; number <= set.last; ++number) {
            const JuliaParameter parameter = julia_parameter(number);
            render_pixels_reference_in<ModelExtended>(parameter.c_re, parameter.c_im,
                                                      picture.data());
            benchmark::DoNotOptimize(picture.data());
            benchmark::ClobberMemory();
        }
    }
    const double seconds = thread_seconds() - start;
    Work work;
    for (std::int32_t number = set.first; number <= set.last; ++number) {
        const JuliaParameter parameter = julia_parameter(number);
        render_pixels_reference_in<ModelExtended>(parameter.c_re, parameter.c_im, picture.data());
        add_work(picture, BlockShape{1, 1}, work);
    }
    report(state, set, work, seconds, false);
}
#endif

void frames_with_yardstick(benchmark::State& state, FrameSet set) {
    prepare_tables();
    const double start = thread_seconds();
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        for (std::int32_t number = set.first; number <= set.last; ++number) {
            const JuliaParameter parameter = julia_parameter(number);
            render_pixels_yardstick(parameter.c_re, parameter.c_im);
            benchmark::DoNotOptimize(framebuffer);
            benchmark::ClobberMemory();
        }
    }
    const double seconds = thread_seconds() - start;
    Work work;
    for (std::int32_t number = set.first; number <= set.last; ++number) {
        const JuliaParameter parameter = julia_parameter(number);
        render_pixels_yardstick(parameter.c_re, parameter.c_im);
        add_work({framebuffer, framebuffer + pixel_count}, BlockShape{1, 1}, work);
    }
    report(state, set, work, seconds, true);
}

}  // namespace
}  // namespace quenlixor

// Google Benchmark owns the registered cases until the program ends.
// NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
int main(int argc, char** argv) {
    using namespace quenlixor;
    for (const FrameSet& set : frame_sets) {
        const std::string frames = std::string("/") + set.name;
        benchmark::RegisterBenchmark(("render/yardstick" + frames).c_str(), frames_with_yardstick,
                                     set)
            ->Unit(benchmark::kMicrosecond);
        for (const Kernel* kernel : kernel_table()) {
            // The reference takes seconds for 600 frames: single frames only.
            if (kernel_available(*kernel) &&
                (kernel != &reference_kernel || set.first == set.last)) {
                benchmark::RegisterBenchmark(
                    (std::string("render/") + kernel->name + frames).c_str(), frames_with_kernel,
                    kernel, set, render_frames)
                    ->Unit(benchmark::kMicrosecond);
            }
        }
        // What owning the floating-point state costs the fastest kernel, whose
        // frames are the shortest: the same frames without it.
        benchmark::RegisterBenchmark(
            (std::string("render_unguarded/") + fastest_kernel().name + frames).c_str(),
            frames_with_kernel, &fastest_kernel(), set, render_frames_unguarded)
            ->Unit(benchmark::kMicrosecond);
#ifdef QUENLIXOR_BENCH_SOFT_EXTENDED
        if (set.first == set.last) {
            benchmark::RegisterBenchmark(("render/reference_soft_extended" + frames).c_str(),
                                         frames_with_soft_extended_reference, set)
                ->Unit(benchmark::kMicrosecond);
        }
#endif
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
// NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)
