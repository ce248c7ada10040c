// Benchmarks of the Julia renderer: one frame with each kernel this
// processor runs, and with the plain scalar yardstick, at frames 1 and 1000.
// Besides the time per frame each case reports per_pass, the time per pass
// of the escape loop (frame 1 makes 539,814 passes, frame 1000 181,215).
//
//   renderer_benchmark [--benchmark_filter=...] [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "animation/julia_renderer.h"
#include "animation/julia_renderer_kernels.h"
#include "bench/renderer_yardstick.h"

namespace quenlixor {
namespace {

// Passes of the escape loop behind the framebuffer: each pixel's count is
// the palette entry its colour came from.
long passes_in_framebuffer() {
    long passes = 0;
    for (const std::uint32_t pixel : framebuffer) {
        for (int count = 1; count <= iteration_limit; ++count) {
            if (palette[count] == pixel) {
                passes += count;
                break;
            }
        }
    }
    return passes;
}

void report_passes(benchmark::State& state, long passes) {
    state.counters["passes"] = static_cast<double>(passes);
    // Time per pass of the escape loop, shown in seconds with an SI prefix
    // (0.44n is 0.44 ns).
    state.counters["per_pass"] = benchmark::Counter(
        static_cast<double>(passes),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// One whole frame through render_frame(), parameter path included.
void frame_with_kernel(benchmark::State& state, Kernel kernel, std::int32_t number) {
    prepare_tables();
    use_kernel(kernel);
    for (auto _ : state) {
        frame_number = number - 1;
        render_frame();
        benchmark::DoNotOptimize(framebuffer);
        benchmark::ClobberMemory();
    }
    report_passes(state, passes_in_framebuffer());
}

void frame_with_yardstick(benchmark::State& state, std::int32_t number) {
    prepare_tables();
    long passes = 0;
    for (auto _ : state) {
        const JuliaParameter parameter = julia_parameter(number);
        passes = render_pixels_yardstick(parameter.c_re, parameter.c_im);
        benchmark::DoNotOptimize(framebuffer);
        benchmark::ClobberMemory();
    }
    report_passes(state, passes);
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
    using namespace quenlixor;
    for (const std::int32_t number : {1, 1000}) {
        const std::string frame = "/frame:" + std::to_string(number);
        for (const Kernel kernel :
             {Kernel::reference, Kernel::sse2, Kernel::avx2, Kernel::avx512}) {
            if (kernel_available(kernel)) {
                benchmark::RegisterBenchmark(
                    (std::string("render_frame/") + kernel_name(kernel) + frame).c_str(),
                    frame_with_kernel, kernel, number)
                    ->Unit(benchmark::kMicrosecond);
            }
        }
        benchmark::RegisterBenchmark(("render_frame/yardstick" + frame).c_str(),
                                     frame_with_yardstick, number)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
