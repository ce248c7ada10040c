// Benchmarks of julia-frames' exporter, run in-process through run_export:
//
// - render/threads:T: frames rendered (and dropped) per second with T
//   threads, frames 1, 6, 11, ... (720 frames spread over the cycle);
//   compare T = the cores with 1: the goal is a rate of at least
//   0.8 x cores x the rate of one thread.
// - gif_full_cycle/threads:T/scale:N/flash_check:C: frames 1-3600 as an
//   animated GIF written to a temporary file, everything included, at
//   --scale 1 and 2, with the flash check (C 1, as julia-frames runs) and
//   without it (C 0, the baseline); reports the file's size in bytes. Goals
//   on 2 threads: 1.5 s at scale 1, 4 s at scale 2; the check at most 10 %
//   more.
// - apng_full_cycle/threads:T/scale:N: the same as an animated PNG (with
//   the flash check); reports the file's size in bytes.
// - apng_over_gif/threads:T: the full cycle as a GIF and as an APNG, one
//   after the other in each iteration, each timed: their times and the
//   APNG's over the GIF's (goal: at most 1.5).
// - apng_size/first:F/count:K: K frames from frame F as an APNG, as a GIF,
//   and what `apngopt` (default settings) makes of the APNG: the three
//   sizes and the APNG's over each (goals: at most 1 and 1.05). Skipped,
//   saying so, when apngopt is not installed; apngopt takes minutes for
//   the whole cycle.
// - flash_check/scale:N/step:S: the flash check alone over frames 1,
//   1+S, ... (3600 of them) at --scale N: the comparisons of the frames and
//   the watch of every field, timed without the rendering; one thread.
// - gif_against_gifsicle/step:S: 100 frames from frame 1 at --step 1, 10
//   and 100 as a GIF, and what `gifsicle -O3` makes of it: both sizes and
//   ours / gifsicle's (goal: at most 1.03). Skipped, saying so, when
//   gifsicle is not installed.
// - gif_scale_cost/scale:N: 100 frames from frame 1 as a GIF at each scale;
//   the bytes and their ratio to scale 1 (N x N would be the pixels').
//
//   export_benchmark [--benchmark_filter=...] [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "animation/flash_check.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "platform/platform.h"
#include "tools/export_run.h"

namespace quenlixor {
namespace {

int run_with(std::vector<std::string> arguments, bool check_flashes = true) {
    std::vector<char*> argv;
    std::string program = "julia-frames";
    argv.push_back(program.data());
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    return check_flashes ? run_export(static_cast<int>(argv.size()), argv.data())
                         : run_export_unchecked(static_cast<int>(argv.size()), argv.data());
}

void render(benchmark::State& state) {
    const std::string threads = std::to_string(state.range(0));
    constexpr int frames = 720;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
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

std::filesystem::path temporary(const std::string& name) {
    return std::filesystem::temp_directory_path() /
           ("export-benchmark-" + std::to_string(process_id()) + "-" + name);
}

void gif_full_cycle(benchmark::State& state) {
    const std::string threads = std::to_string(state.range(0));
    const std::string scale = std::to_string(state.range(1));
    const bool check_flashes = state.range(2) != 0;
    const std::filesystem::path path = temporary("cycle.gif");
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        if (run_with({"--frame", "1", "--count", "3600", "--quiet", "--threads", threads, "--scale",
                      scale, "--gif", path.string()},
                     check_flashes) != 0) {
            state.SkipWithError("julia-frames failed");
            return;
        }
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}

void apng_full_cycle(benchmark::State& state) {
    const std::string threads = std::to_string(state.range(0));
    const std::string scale = std::to_string(state.range(1));
    const std::filesystem::path path = temporary("cycle.png");
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        if (run_with({"--frame", "1", "--count", "3600", "--quiet", "--threads", threads, "--scale",
                      scale, "--apng", path.string()}) != 0) {
            state.SkipWithError("julia-frames failed");
            return;
        }
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}

// Seconds of wall-clock time julia-frames takes with `arguments`; negative
// when it fails.
double seconds_of(const std::vector<std::string>& arguments) {
    const auto start = std::chrono::steady_clock::now();
    const int status = run_with(arguments);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? seconds : -1;
}

void apng_over_gif(benchmark::State& state) {
    const std::string threads = std::to_string(state.range(0));
    const std::filesystem::path gif = temporary("cycle.gif");
    const std::filesystem::path apng = temporary("cycle.png");
    const std::vector<std::string> frames = {"--frame", "1",         "--count", "3600",
                                             "--quiet", "--threads", threads};
    double gif_seconds = 0;
    double apng_seconds = 0;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        std::vector<std::string> as_gif = frames;
        as_gif.insert(as_gif.end(), {"--gif", gif.string()});
        std::vector<std::string> as_apng = frames;
        as_apng.insert(as_apng.end(), {"--apng", apng.string()});
        const double gif_time = seconds_of(as_gif);
        const double apng_time = seconds_of(as_apng);
        if (gif_time < 0 || apng_time < 0) {
            state.SkipWithError("julia-frames failed");
            return;
        }
        gif_seconds += gif_time;
        apng_seconds += apng_time;
        state.SetIterationTime(apng_time);
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["gif_ms"] = 1000 * gif_seconds / iterations;
    state.counters["apng_ms"] = 1000 * apng_seconds / iterations;
    state.counters["apng_over_gif"] = apng_seconds / gif_seconds;
    std::filesystem::remove(gif);
    std::filesystem::remove(apng);
}

bool apngopt_installed() {
    return std::system("command -v apngopt >/dev/null 2>&1") == 0;
}

void apng_size(benchmark::State& state) {
    if (!apngopt_installed()) {
        state.SkipWithError("apngopt is not installed: no comparison (apt-get install apngopt)");
        return;
    }
    const std::filesystem::path apng = temporary("frames.png");
    const std::filesystem::path gif = temporary("frames.gif");
    const std::filesystem::path optimised = temporary("apngopt.png");
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        const std::vector<std::string> frames = {"--frame",     std::to_string(state.range(0)),
                                                 "--count",     std::to_string(state.range(1)),
                                                 "--quiet",     "--apng",
                                                 apng.string(), "--gif",
                                                 gif.string()};
        if (run_with(frames) != 0) {
            state.SkipWithError("julia-frames failed");
            return;
        }
        // apngopt reads an argument that starts with '/' as an option: it
        // is given the files' names in their folder.
        const std::string command = "cd '" + apng.parent_path().string() + "' && apngopt '" +
                                    apng.filename().string() + "' '" +
                                    optimised.filename().string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("apngopt failed");
            return;
        }
    }
    const auto apng_bytes = static_cast<double>(std::filesystem::file_size(apng));
    const auto gif_bytes = static_cast<double>(std::filesystem::file_size(gif));
    const auto apngopt_bytes = static_cast<double>(std::filesystem::file_size(optimised));
    state.counters["apng"] = apng_bytes;
    state.counters["gif"] = gif_bytes;
    state.counters["apngopt"] = apngopt_bytes;
    state.counters["apng_over_gif"] = apng_bytes / gif_bytes;
    state.counters["apng_over_apngopt"] = apng_bytes / apngopt_bytes;
    std::filesystem::remove(apng);
    std::filesystem::remove(gif);
    std::filesystem::remove(optimised);
}

void flash_check(benchmark::State& state) {
    const auto scale = static_cast<int>(state.range(0));
    const std::int64_t step = state.range(1);
    constexpr int frames = 3600;
    prepare_tables();
    FlashSetup setup;
    // The palette's 21 colours, as julia-frames reads them.
    prepare_flash_setup(setup, palette, 21, picture_width, picture_height, scale);
    std::vector<std::uint32_t> pictures[2] = {std::vector<std::uint32_t>(pixel_count),
                                              std::vector<std::uint32_t>(pixel_count)};
    FlashScratch scratch;
    std::vector<FieldChange> changes;
    FlashWatch watch;
    FlashTimeline timeline;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        start_flash_watch(watch, setup);
        start_flash_timeline(timeline, FlashPace{1, 60}, false);
        double seconds = 0;
        for (int index = 0; index < frames; ++index) {
            std::vector<std::uint32_t>& picture = pictures[index % 2];
            render_frame_into(frame_after(1, index * step), picture.data(), fastest_kernel());
            if (index == 0) {
                continue;
            }
            const auto start = std::chrono::steady_clock::now();
            frame_changes(setup, picture.data(), pictures[(index + 1) % 2].data(), scratch,
                          changes);
            watch_changes(watch, index, changes);
            flash_place_frame(timeline, watch, index, index);
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        state.SetIterationTime(seconds);
    }
    state.counters["flashes_found"] = timeline.finding.found ? 1 : 0;
}

bool gifsicle_installed() {
    return std::system("gifsicle --version >/dev/null 2>&1") == 0;
}

// 100 frames from frame 1 at a step and scale into `path`; false on failure.
bool hundred_frames(const std::filesystem::path& path, std::int64_t step, std::int64_t scale) {
    return run_with({"--frame", "1", "--count", "100", "--step", std::to_string(step), "--scale",
                     std::to_string(scale), "--quiet", "--gif", path.string()}) == 0;
}

void gif_against_gifsicle(benchmark::State& state) {
    if (!gifsicle_installed()) {
        state.SkipWithError("gifsicle is not installed: no comparison (apt-get install gifsicle)");
        return;
    }
    const std::filesystem::path ours = temporary("ours.gif");
    const std::filesystem::path theirs = temporary("gifsicle.gif");
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        if (!hundred_frames(ours, state.range(0), 1)) {
            state.SkipWithError("julia-frames failed");
            return;
        }
        const std::string command =
            "gifsicle -O3 '" + ours.string() + "' -o '" + theirs.string() + "' 2>/dev/null";
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("gifsicle failed");
            return;
        }
    }
    const auto ours_bytes = static_cast<double>(std::filesystem::file_size(ours));
    const auto gifsicle_bytes = static_cast<double>(std::filesystem::file_size(theirs));
    state.counters["ours"] = ours_bytes;
    state.counters["gifsicle_O3"] = gifsicle_bytes;
    state.counters["ratio"] = ours_bytes / gifsicle_bytes;
    std::filesystem::remove(ours);
    std::filesystem::remove(theirs);
}

void gif_scale_cost(benchmark::State& state) {
    const std::filesystem::path unscaled = temporary("scale-1.gif");
    const std::filesystem::path scaled = temporary("scale-n.gif");
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        if (!hundred_frames(scaled, 1, state.range(0))) {
            state.SkipWithError("julia-frames failed");
            return;
        }
    }
    if (!hundred_frames(unscaled, 1, 1)) {
        state.SkipWithError("julia-frames failed");
        return;
    }
    const auto bytes = static_cast<double>(std::filesystem::file_size(scaled));
    state.counters["bytes"] = bytes;
    state.counters["x_scale_1"] = bytes / static_cast<double>(std::filesystem::file_size(unscaled));
    std::filesystem::remove(scaled);
    std::filesystem::remove(unscaled);
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
    using namespace quenlixor;
    const int cores = processors_available();
    auto* render_case = benchmark::RegisterBenchmark("render", render);
    auto* gif_case = benchmark::RegisterBenchmark("gif_full_cycle", gif_full_cycle);
    auto* apng_case = benchmark::RegisterBenchmark("apng_full_cycle", apng_full_cycle);
    auto* apng_over_gif_case = benchmark::RegisterBenchmark("apng_over_gif", apng_over_gif);
    for (int threads = 1; threads <= cores; ++threads) {
        render_case->Arg(threads);
        apng_over_gif_case->Arg(threads);
        for (const int scale : {1, 2}) {
            apng_case->Args({threads, scale});
            for (const int check : {0, 1}) {
                gif_case->Args({threads, scale, check});
            }
        }
    }
    apng_case->ArgNames({"threads", "scale"})->Unit(benchmark::kMillisecond)->UseRealTime();
    apng_over_gif_case->ArgName("threads")->Unit(benchmark::kMillisecond)->UseManualTime();
    render_case->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
    gif_case->ArgNames({"threads", "scale", "flash_check"})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("flash_check", flash_check)
        ->ArgNames({"scale", "step"})
        ->Args({1, 1})
        ->Args({2, 1})
        ->Args({8, 1})
        ->Args({1, 150})
        ->Args({2, 150})
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    benchmark::RegisterBenchmark("gif_against_gifsicle", gif_against_gifsicle)
        ->ArgName("step")
        ->Arg(1)
        ->Arg(10)
        ->Arg(100)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    // The whole cycle, a tenth of it and one frame from the start, and
    // stretches from the middle and near the end of the cycle.
    benchmark::RegisterBenchmark("apng_size", apng_size)
        ->ArgNames({"first", "count"})
        ->Args({1, 1})
        ->Args({1, 360})
        ->Args({1801, 900})
        ->Args({3001, 120})
        ->Args({1, 3600})
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("gif_scale_cost", gif_scale_cost)
        ->ArgName("scale")
        ->DenseRange(1, 8)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
