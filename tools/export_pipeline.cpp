// The ordered parallel pipeline.
//
// Frame i goes into slot i % slots. With `needs_previous`, frame i's second
// stage reads slot (i-1) % slots, so frame i is handed out only once frame
// i - slots + 1 is written: then the frame that used its slot before (i -
// slots) and the one that read that slot (i - slots + 1) are both done.
#include "tools/export_pipeline.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "animation/julia_renderer.h"

namespace quenlixor {
namespace {

struct Pipeline {
    const PipelineStages* stages = nullptr;
    std::vector<FrameWork> slots;
    std::int64_t window = 0;   // frames handed out beyond those written
    std::int64_t next = 0;     // the next frame to hand out
    std::int64_t written = 0;  // frames written, in order
    bool stopping = false;
    std::mutex lock;
    std::condition_variable changed;
};

FrameWork& slot_of(Pipeline& pipeline, std::int64_t index) {
    return pipeline
        .slots[static_cast<std::size_t>(index % static_cast<std::int64_t>(pipeline.slots.size()))];
}

void work_on_frames(Pipeline& pipeline) {
    const PipelineStages& stages = *pipeline.stages;
    std::unique_lock<std::mutex> guard(pipeline.lock);
    for (;;) {
        pipeline.changed.wait(guard, [&] {
            return pipeline.stopping || pipeline.next >= stages.count ||
                   pipeline.next < pipeline.written + pipeline.window;
        });
        if (pipeline.stopping || pipeline.next >= stages.count) {
            return;
        }
        const std::int64_t index = pipeline.next++;
        FrameWork& frame = slot_of(pipeline, index);
        guard.unlock();

        frame.index = index;
        frame.failed = false;
        stages.prepare(frame);

        guard.lock();
        frame.prepared = index;
        pipeline.changed.notify_all();
        const FrameWork* previous = nullptr;
        if (stages.needs_previous && index > 0) {
            const FrameWork& before = slot_of(pipeline, index - 1);
            pipeline.changed.wait(
                guard, [&] { return pipeline.stopping || before.prepared == index - 1; });
            if (pipeline.stopping) {
                return;
            }
            previous = &before;
        }
        guard.unlock();

        if (stages.finish) {
            stages.finish(frame, previous);
        }

        guard.lock();
        frame.finished = index;
        pipeline.changed.notify_all();
    }
}

}  // namespace

int frames_in_flight(int threads) {
    return 2 * threads + 2;
}

bool run_pipeline(const PipelineStages& stages) {
    Pipeline pipeline;
    pipeline.stages = &stages;
    pipeline.slots.resize(static_cast<std::size_t>(frames_in_flight(stages.threads)));
    for (FrameWork& frame : pipeline.slots) {
        frame.storage.resize(pixel_count + 16);
        const auto address = reinterpret_cast<std::uintptr_t>(frame.storage.data());
        frame.pixels = frame.storage.data() + (((64 - address % 64) % 64) / 4);
    }
    pipeline.window =
        static_cast<std::int64_t>(pipeline.slots.size()) - (stages.needs_previous ? 1 : 0);

    std::vector<std::thread> workers;
    for (int thread = 0; thread < stages.threads; ++thread) {
        workers.emplace_back(work_on_frames, std::ref(pipeline));
    }

    bool complete = true;
    for (std::int64_t index = 0; index < stages.count && complete; ++index) {
        FrameWork& frame = slot_of(pipeline, index);
        std::unique_lock<std::mutex> guard(pipeline.lock);
        while (!pipeline.changed.wait_for(guard, std::chrono::milliseconds(20),
                                          [&] { return frame.finished == index; })) {
            guard.unlock();
            complete = stages.tick();
            guard.lock();
            if (!complete) {
                break;
            }
        }
        guard.unlock();
        complete = complete && stages.write(frame) && stages.tick();
        guard.lock();
        pipeline.written = index + 1;
        pipeline.changed.notify_all();
    }

    {
        std::lock_guard<std::mutex> guard(pipeline.lock);
        pipeline.stopping = true;
        pipeline.changed.notify_all();
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    return complete;
}

}  // namespace quenlixor
