// Benchmarks of julia-frames' exporter, run in-process through run_export:
//
// - render/threads:T: frames rendered (and dropped) per second with T
//   threads, frames 1, 6, 11, ... (720 frames spread over the cycle);
//   compare T = the cores with 1: the goal is a rate of at least
//   0.8 x cores x the rate of one thread.
// - gif_full_cycle/threads:T: frames 1-3600 as an animated GIF written to a
//   temporary file, everything included; reports the file's size in bytes.
//
//   export_benchmark [--benchmark_filter=...] [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tools/export_run.h"

namespace quenlixor {
namespace {

int run_with(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    std::string program = "julia-frames";
    argv.push_back(program.data());
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    return run_export(static_cast<int>(argv.size()), argv.data());
}

void render(benchmark::State& state) {
    const std::string threads = std::to_string(state.range(0));
    constexpr int frames = 720;
    for (auto _ : state) {
        if (run_with({"--frame", "1", "--count", std::to_string(frames), "--step", "5", "--quiet",
                      "--threads", threads}) != 0) {
            state.SkipWithError("julia-frames failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * frames);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(frames),
                                               benchmark::Counter::kIsIterationInvariantRate);
}

void gif_full_cycle(benchmark::State& state) {
    const std::string threads = std::to_string(state.range(0));
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("export-benchmark-" + std::to_string(process_id()) + ".gif");
    for (auto _ : state) {
        if (run_with({"--frame", "1", "--count", "3600", "--quiet", "--threads", threads, "--gif",
                      path.string()}) != 0) {
            state.SkipWithError("julia-frames failed");
            return;
        }
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
    using namespace quenlixor;
    use_extended_precision();
    const int cores = processors_available();
    auto* render_case = benchmark::RegisterBenchmark("render", render);
    auto* gif_case = benchmark::RegisterBenchmark("gif_full_cycle", gif_full_cycle);
    for (int threads = 1; threads <= cores; ++threads) {
        render_case->Arg(threads);
        gif_case->Arg(threads);
    }
    render_case->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
    gif_case->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
