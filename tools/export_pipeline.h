// The ordered parallel pipeline: worker threads take frames in turn, a few
// frames per thread in flight, and the calling thread writes them in order.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "animation/flash_check.h"
#include "tools/apng_encoder.h"

namespace quenlixor {

// One frame in flight and what its outputs need of it.
struct FrameWork {
    std::int64_t index = 0;  // 0 for the first frame of the run
    // The picture: pixel_count words at a 64-byte boundary inside `storage`
    // (the widest kernels store whole aligned vectors).
    std::uint32_t* pixels = nullptr;
    std::vector<std::uint32_t> storage;
    std::vector<std::uint8_t> scratch;
    std::vector<unsigned char> gif_bytes;
    std::vector<unsigned char> apng_bytes;
    bool apng_repeats = false;  // the frame before's parameter, so its picture
    ApngScratch apng_scratch;
    std::vector<unsigned char> png_bytes;
    std::vector<unsigned char> raw_bytes;
    std::vector<FieldChange> flash_changes;  // what moved since the frame before
    FlashScratch flash_scratch;
    bool failed = false;
    // Set under the pipeline's lock: the index of the frame whose first or
    // second stage is done in this slot (-1 for none yet).
    std::int64_t prepared = -1;
    std::int64_t finished = -1;
};

struct PipelineStages {
    std::int64_t count = 0;
    int threads = 1;
    // On a worker, in any order: the frame on its own (render, convert).
    std::function<void(FrameWork&)> prepare;
    // Whether `finish` needs the frame before: it is then called with it,
    // once that frame is prepared (null for the first frame).
    bool needs_previous = false;
    // On a worker, after `prepare`.
    std::function<void(FrameWork&, const FrameWork* previous)> finish;
    // On the calling thread, frame after frame in order; false stops the run.
    std::function<bool(const FrameWork&)> write;
    // On the calling thread after each write and about every 20 ms while it
    // waits; false stops the run.
    std::function<bool()> tick;
};

// Runs every frame through the stages; true when all were written.
bool run_pipeline(const PipelineStages& stages);

// The frames in flight for a number of threads.
int frames_in_flight(int threads);

}  // namespace quenlixor
