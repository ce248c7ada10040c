// The progress line julia-frames shows on a terminal during long runs.
//
// The reporter reads no clock of its own: every call is given the time, so
// that what it shows depends only on the times it is told.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quenlixor {

struct ProgressTiming {
    std::uint64_t first_after_us = 500000;  // nothing shows before the run has lasted this long
    std::uint64_t every_us = 100000;        // and then at most one update this often
};

struct Progress {
    bool enabled = false;  // the stream is a terminal and --quiet was not given
    std::FILE* stream = nullptr;
    ProgressTiming timing;
    std::int64_t total = 0;
    std::uint64_t start_us = 0;
    std::uint64_t last_shown_us = 0;
    bool shown = false;
    std::size_t shown_length = 0;
};

// Starts a run of `total` frames at `now_us` (any steady clock in
// microseconds). Nothing is written to `stream` unless `enabled`.
void start_progress(Progress& progress, std::int64_t total, bool enabled, std::FILE* stream,
                    std::uint64_t now_us, ProgressTiming timing = {});

// Shows the line for `done` frames when the run has lasted
// timing.first_after_us and the last update is timing.every_us old.
void update_progress(Progress& progress, std::int64_t done, std::uint64_t now_us);

// Clears the line, if one was shown.
void finish_progress(Progress& progress);

// "1234/3600 frames  34%  2468 fps  0:01 left"
std::string progress_line(std::int64_t done, std::int64_t total, double seconds);

}  // namespace quenlixor
