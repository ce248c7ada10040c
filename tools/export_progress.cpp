// The progress line.
#include "tools/export_progress.h"

#include <cinttypes>
#include <cstdio>

namespace quenlixor {

void start_progress(Progress& progress, std::int64_t total, bool enabled, std::FILE* stream,
                    std::uint64_t now_us, ProgressTiming timing) {
    progress = Progress{};
    progress.enabled = enabled;
    progress.stream = stream;
    progress.timing = timing;
    progress.total = total;
    progress.start_us = now_us;
}

std::string progress_line(std::int64_t done, std::int64_t total, double seconds) {
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    const std::int64_t percent = total > 0 ? done * 100 / total : 100;
    char left[32] = "?";
    if (rate > 0) {
        const auto remaining =
            static_cast<std::int64_t>(static_cast<double>(total - done) / rate + 0.5);
        std::snprintf(left, sizeof left, "%" PRId64 ":%02d", remaining / 60,
                      static_cast<int>(remaining % 60));
    }
    char line[160];
    std::snprintf(line, sizeof line, "%" PRId64 "/%" PRId64 " frames  %3d%%  %.0f fps  %s left",
                  done, total, static_cast<int>(percent), rate, left);
    return line;
}

void update_progress(Progress& progress, std::int64_t done, std::uint64_t now_us) {
    if (!progress.enabled || now_us - progress.start_us < progress.timing.first_after_us ||
        (progress.shown && now_us - progress.last_shown_us < progress.timing.every_us)) {
        return;
    }
    const std::string line =
        progress_line(done, progress.total, static_cast<double>(now_us - progress.start_us) / 1e6);
    // Spaces cover what is left of a longer line before.
    const std::size_t pad =
        progress.shown_length > line.size() ? progress.shown_length - line.size() : 0;
    std::fprintf(progress.stream, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
    std::fflush(progress.stream);
    progress.shown = true;
    progress.shown_length = line.size();
    progress.last_shown_us = now_us;
}

void finish_progress(Progress& progress) {
    if (progress.shown) {
        std::fprintf(progress.stream, "\r%*s\r", static_cast<int>(progress.shown_length), "");
        std::fflush(progress.stream);
        progress.shown = false;
    }
}

}  // namespace quenlixor
