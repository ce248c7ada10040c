// The progress line julia-frames shows on a terminal during long runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace quenlixor {

struct Progress {
    bool enabled = false;  // stderr is a terminal and --quiet was not given
    std::int64_t total = 0;
    std::chrono::steady_clock::time_point start{};
    std::chrono::steady_clock::time_point last_shown{};
    bool shown = false;
    std::size_t shown_length = 0;
};

void start_progress(Progress& progress, std::int64_t total, bool enabled);

// Shows the line for `done` frames when the run has lasted half a second and
// the last update is a tenth of a second old.
void update_progress(Progress& progress, std::int64_t done);

// Clears the line, if one was shown.
void finish_progress(Progress& progress);

// "1234/3600 frames  34%  2468 fps  0:01 left"
std::string progress_line(std::int64_t done, std::int64_t total, double seconds);

}  // namespace quenlixor
