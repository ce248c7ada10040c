// The guard on the pace over the animation's whole cycle (frames 1 to
// 3600), as the program runs it at the default 60 frames a second with the
// picture shown in blocks of N (a window of --scale N, or full screen: 4 on
// 1920x1080, 6 on 2560x1440, 9 on 3840x2160), each frame judged against the
// one on the screen before it shows. One iteration is the whole cycle on a
// clock of the benchmark's own, where each frame shows when the pace and
// the guard allow (the frames are rendered on the way, outside the times
// taken). Reports, beside the time per iteration (the thread's
// processor time, as the CPU column):
//   judge_us     the guard's processor time per frame
//   core_share   the guard's share of a core at the pace it holds the cycle
//                to: its time over the cycle's length
//   cycle_s      how long the cycle takes (60 s unguarded)
//   held         frames held on the screen longer than a frame's time
//   longest_ms   the longest a frame is held
//   fewest       the fewest frames shown in any one second
// and the rendering, the program's other work per frame that does not need
// a display, beside it as render/block:N with its share of a core unguarded.
//
//   guard_benchmark [--benchmark_filter=...] [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

#include "animation/animation_driver.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"

namespace quenlixor {
namespace {

constexpr int cycle_frames = 3600;
constexpr std::int32_t pace = 60;
constexpr std::uint64_t frame_us = 1000000 / pace;

double thread_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

FlashGuard guard;

void guard_cycle(benchmark::State& state) {
    const auto block = static_cast<std::int32_t>(state.range(0));
    prepare_tables();
    std::vector<std::uint32_t> picture(pixel_count);
    const ShownSize shown{block * picture_width, block * picture_height};
    double judging = 0;
    std::uint64_t now = 0;
    int held = 0;
    std::uint64_t longest = 0;
    std::size_t fewest = 0;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        guard_start(guard, pace, picture_width, picture_height, palette, palette_colours);
        now = 0;
        held = 0;
        longest = 0;
        fewest = cycle_frames;
        std::deque<std::uint64_t> last_second;  // when the frames of the last second showed
        judging = 0;
        for (int index = 0; index < cycle_frames; ++index) {
            render_frame_into(1 + index, picture.data(), fastest_kernel());
            const std::uint32_t* const pixels = picture.data();
            const double start = thread_seconds();
            const std::uint64_t hold_until = guard_judge(guard, pixels, block, shown);
            judging += thread_seconds() - start;
            const std::uint64_t due = index == 0 ? 0 : now + frame_us;
            if (hold_until > due) {
                ++held;
                longest = std::max(longest, hold_until - now);
            }
            now = std::max(due, hold_until);
            const double shown_start = thread_seconds();
            guard_shown(guard, pixels, now);
            judging += thread_seconds() - shown_start;
            last_second.push_back(now);
            while (last_second.front() + 1000000 <= now) {
                last_second.pop_front();
            }
            if (now >= 1000000) {
                fewest = std::min(fewest, last_second.size());
            }
        }
    }
    const double cycle_seconds = static_cast<double>(now + frame_us) * 1e-6;
    state.counters["judge_us"] = judging * 1e6 / cycle_frames;
    state.counters["core_share"] = judging / cycle_seconds;
    state.counters["cycle_s"] = cycle_seconds;
    state.counters["held"] = held;
    state.counters["longest_ms"] = static_cast<double>(longest) * 1e-3;
    state.counters["fewest"] = static_cast<double>(fewest);
}

void render_cycle(benchmark::State& state) {
    prepare_tables();
    std::vector<std::uint32_t> picture(pixel_count);
    double rendering = 0;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        const double start = thread_seconds();
        for (int index = 0; index < cycle_frames; ++index) {
            render_frame_into(1 + index, picture.data(), fastest_kernel());
        }
        rendering = thread_seconds() - start;
        benchmark::DoNotOptimize(picture.data());
    }
    state.counters["render_us"] = rendering * 1e6 / cycle_frames;
    state.counters["core_share"] = rendering / (cycle_frames / static_cast<double>(pace));
    state.SetLabel(fastest_kernel().name);
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("render", quenlixor::render_cycle)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("guard", quenlixor::guard_cycle)
        ->ArgName("block")
        ->Args({1})
        ->Args({2})
        ->Args({3})
        ->Args({4})
        ->Args({6})
        ->Args({8})
        ->Args({9})
        ->Args({12})
        ->Args({16})
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
