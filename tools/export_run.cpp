// One run of julia-frames: the options read, the outputs opened, every frame
// through the pipeline and the files completed or removed.
#include "tools/export_run.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "animation/flash_check.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "tools/apng_encoder.h"
#include "tools/export_options.h"
#include "tools/export_pipeline.h"
#include "tools/export_progress.h"
#include "tools/gif_encoder.h"
#include "tools/output_file.h"
#include "tools/palette_index.h"
#include "tools/png_encoder.h"
#include "tools/raw_frame.h"

namespace quenlixor {
namespace {

// One file output that stays open for the whole run (the APNG, the GIF, the
// raw stream) or until the last frame (--png PATH, --raw PATH).
struct FileOutput {
    bool wanted = false;
    bool failed = false;
    OutputFile file;
};

// What the run writes and how far it got.
struct Export {
    ExportOptions options;
    const Kernel* kernel = nullptr;
    bool gif = false;
    int delay = 4;
    FileOutput gif_file;
    // The GIF's last frame, until its delay is known (the next frame's
    // time), and the frame before it, until the next differs.
    std::vector<unsigned char> gif_pending;
    std::int64_t gif_pending_tick = 0;
    std::vector<unsigned char> gif_held;
    bool apng = false;
    int apng_fps = 60;
    FileOutput apng_file;
    // The APNG's last frame, until it is known how long it shows: from
    // apng_held_tick (in 1/F s) to the next frame's time, the frames of the
    // run it stands for being apng_held_frames. apng_placed frames are
    // written before it.
    std::vector<unsigned char> apng_held;
    unsigned apng_held_frames = 0;
    std::int64_t apng_held_tick = 0;
    std::int64_t apng_last_tick = 0;  // the last frame's so far
    std::int64_t apng_placed = 0;
    FileOutput png_file;
    FileOutput raw_file;
    FileOutput raw_stream;
    bool png_sequence_failed = false;
    bool raw_sequence_failed = false;
    bool failed = false;
    Progress progress;
    std::int64_t written = 0;
    // The flash check of the outputs that are animations, each on its own
    // timeline: the PNG and raw frames at 60 a second, unguarded (they have
    // no times of their own); the GIF and the APNG at their own paces,
    // guarded.
    bool flash = false;
    FlashSetup flash_setup;
    FlashWatch flash_watch;
    int timeline_count = 0;
    FlashTimeline timelines[3];
    std::string timeline_names[3];
    int gif_timeline = -1;
    int apng_timeline = -1;
};

int bad_input(const std::string& message) {
    print_error("julia-frames: " + message + " (see --help)\n");
    return 2;
}

// The kernel named on the command line (the fastest when none is), or
// nullptr with `message` saying why it cannot run.
const Kernel* choose_kernel(const std::string& name, std::string& message) {
    if (name.empty()) {
        return &fastest_kernel();
    }
    const Kernel* kernel = kernel_named(name);
    if (kernel == nullptr) {
        message = "unknown kernel '" + name + "' (this build has " + kernel_names() + ")";
    } else if (!kernel_available(*kernel)) {
        message = "this processor cannot run the " + name + " kernel";
        kernel = nullptr;
    }
    return kernel;
}

void open_file_output(Export& job, FileOutput& output, const std::string& path, const char* what) {
    output.wanted = true;
    if (!open_output(output.file, path, what)) {
        output.failed = true;
        job.failed = true;
    }
}

void write_to_file(Export& job, FileOutput& output, const std::vector<unsigned char>& bytes,
                   bool complete) {
    if (!output.wanted || output.failed) {
        return;
    }
    if (!write_output(output.file, bytes.data(), bytes.size()) ||
        (complete && !commit_output(output.file))) {
        output.failed = true;
        job.failed = true;
    }
}

// Opens every output that is one file for the whole run.
void open_file_outputs(Export& job) {
    const ExportOptions& options = job.options;
    if (job.gif && options.gif_path == "-") {
        job.gif_file.wanted = true;
        open_standard_output(job.gif_file.file, "GIF");
    } else if (job.gif) {
        open_file_output(job, job.gif_file, options.gif_path, "GIF");
    }
    if (job.apng && options.apng_path == "-") {
        job.apng_file.wanted = true;
        open_standard_output(job.apng_file.file, "APNG");
    } else if (job.apng) {
        open_file_output(job, job.apng_file, options.apng_path, "APNG");
    }
    if (options.png.destination == Destination::last_frame) {
        open_file_output(job, job.png_file, options.png.path, "PNG picture");
    }
    if (options.raw.destination == Destination::last_frame) {
        open_file_output(job, job.raw_file, options.raw.path, "raw frame");
    }
    if (options.raw.destination == Destination::stream) {
        job.raw_stream.wanted = true;
        open_standard_output(job.raw_stream.file, "raw stream");
    }
}

void discard_file_outputs(Export& job) {
    discard_output(job.gif_file.file);
    discard_output(job.apng_file.file);
    discard_output(job.png_file.file);
    discard_output(job.raw_file.file);
    discard_output(job.raw_stream.file);
}

bool is_last(const Export& job, const FrameWork& frame) {
    return frame.index == job.options.count - 1;
}

bool wants_raw(const Export& job, const FrameWork& frame) {
    const Destination destination = job.options.raw.destination;
    return destination == Destination::stream || destination == Destination::sequence ||
           (destination == Destination::last_frame && is_last(job, frame));
}

bool wants_png(const Export& job, const FrameWork& frame) {
    const Destination destination = job.options.png.destination;
    return destination == Destination::sequence ||
           (destination == Destination::last_frame && is_last(job, frame));
}

// On a worker: the frame rendered, and its raw bytes and PNG if wanted.
void prepare_frame(const Export& job, FrameWork& frame) {
    render_frame_into(frame_at(job.options, frame.index), frame.pixels, *job.kernel);
    if (wants_raw(job, frame)) {
        const auto scale = static_cast<std::size_t>(job.options.scale);
        frame.raw_bytes.resize(raw_frame_bytes * scale * scale);
        raw_frame(frame.pixels, job.options.scale, frame.raw_bytes.data());
    }
    if (wants_png(job, frame) && !encode_png(frame.pixels, job.options.scale, frame.png_bytes)) {
        frame.failed = true;
    }
}

// Whether a frame of the run is shown by the APNG's frame before it, for
// 1/F s longer, instead of being a frame of its own: when it has that
// frame's parameter (and so its picture), and that frame can show longer,
// by as much as the guard may still hold it (a second and a frame at most).
// Frames are folded by their parameters, not their pixels, so that the
// APNG's frame count is known before any frame is rendered.
bool apng_folds(bool repeats, unsigned held_frames, int fps) {
    return repeats && held_frames + static_cast<unsigned>(fps) + 1 < apng_longest_delay;
}

// The APNG's frame count: the run's frames, less those folded.
std::int64_t apng_frame_count(const ExportOptions& options, int fps) {
    std::int64_t frames = 1;
    unsigned held_frames = 1;
    for (std::int64_t index = 1; index < options.count && stop_signal() == 0; ++index) {
        if (apng_folds(same_julia_parameter(frame_at(options, index - 1), frame_at(options, index)),
                       held_frames, fps)) {
            ++held_frames;
        } else {
            ++frames;
            held_frames = 1;
        }
    }
    return frames;
}

// On a worker, once the frame before is prepared: the frame's APNG bytes,
// and whether it repeats the frame before (it still has bytes, one
// transparent pixel, for when the frame before cannot show longer).
void finish_apng_frame(const Export& job, FrameWork& frame, const FrameWork* previous) {
    if (!frame.failed && job.apng) {
        frame.apng_repeats =
            previous != nullptr && same_julia_parameter(frame_at(job.options, frame.index - 1),
                                                        frame_at(job.options, frame.index));
        frame.failed = !apng_frame(frame.pixels, previous == nullptr ? nullptr : previous->pixels,
                                   job.options.scale, apng_deflate_for(job.options.count),
                                   frame.apng_scratch, frame.apng_bytes);
    }
}

// On a worker, once the frame before is prepared: the frame's GIF and APNG
// bytes and what moved since the frame before.
void finish_frame(const Export& job, FrameWork& frame, const FrameWork* previous) {
    if (!frame.failed && job.gif) {
        frame.failed = !gif_frame(frame.pixels, previous == nullptr ? nullptr : previous->pixels,
                                  job.delay, job.options.scale, frame.scratch, frame.gif_bytes);
    }
    finish_apng_frame(job, frame, previous);
    frame.flash_changes.clear();
    if (!frame.failed && job.flash && previous != nullptr) {
        frame.failed = !frame_changes(job.flash_setup, frame.pixels, previous->pixels,
                                      frame.flash_scratch, frame.flash_changes);
    }
}

// Sets up the flash check when an output is an animation: the PNG and raw
// sequences and the raw stream at 60 frames a second (a screen's pace),
// the GIF and the APNG at their own, held longer where they would flash.
void prepare_flash_check(Export& job) {
    const ExportOptions& options = job.options;
    if (options.count < 2) {
        return;
    }
    const bool png = options.png.destination == Destination::sequence;
    const bool raw = options.raw.destination == Destination::sequence ||
                     options.raw.destination == Destination::stream;
    const auto add_timeline = [&job](FlashPace pace, bool guarded, const char* name) {
        start_flash_timeline(job.timelines[job.timeline_count], pace, guarded);
        job.timeline_names[job.timeline_count] = name;
        return job.timeline_count++;
    };
    if (png || raw) {
        add_timeline(FlashPace{1, 60}, false,
                     png && raw ? "the PNG and raw frames"
                     : png      ? "the PNG frames"
                                : "the raw frames");
    }
    if (job.gif) {
        job.gif_timeline = add_timeline(FlashPace{job.delay, 100}, true, "the GIF");
    }
    if (job.apng) {
        job.apng_timeline = add_timeline(FlashPace{1, job.apng_fps}, true, "the APNG");
    }
    if (job.timeline_count == 0) {
        return;
    }
    job.flash = true;
    prepare_flash_setup(job.flash_setup, palette, palette_colours, picture_width, picture_height,
                        options.scale);
    start_flash_watch(job.flash_watch, job.flash_setup);
}

// "the raw frames at 60 frames a second", from a timeline.
std::string paced_name(const std::string& name, const FlashPace& pace) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g",
                  static_cast<double>(pace.ticks_per_second) / pace.frame_ticks);
    return name + " at " + rate + " frames a second";
}

// One line on stderr if an output flashes more than three times in a
// second. Only the outputs without times of their own can: the GIF is held
// where it would.
void warn_of_flashes(const Export& job) {
    const FlashTimeline* flashing = nullptr;
    std::string name;
    for (int at = 0; at < job.timeline_count && flashing == nullptr; ++at) {
        if (job.timelines[at].finding.found) {
            flashing = &job.timelines[at];
            name = job.timeline_names[at];
        }
    }
    if (flashing == nullptr) {
        return;
    }
    const FlashFinding& finding = flashing->finding;
    const FlashPace& pace = flashing->pace;
    // The frames shown in that second.
    const std::int64_t shown = (pace.ticks_per_second + pace.frame_ticks - 1) / pace.frame_ticks;
    const std::int64_t last = std::min<std::int64_t>(finding.first + shown, job.options.count) - 1;
    const std::string part = job.flash_setup.columns * job.flash_setup.rows == 1
                                 ? "the picture"
                                 : "a 341x256 part of the picture as shown";
    std::fprintf(
        stderr,
        "julia-frames: warning: %s flash %lld%s times in the second from %.2f s (frames %ld to "
        "%ld: %lld changes of %s over more than a quarter of %s); more than 3 flashes a second "
        "can set off seizures in people with photosensitive epilepsy (--apng, --gif and "
        "the program hold frames longer where they would flash)\n",
        paced_name(name, pace).c_str(), static_cast<long long>(finding.changes / 2),
        finding.changes % 2 != 0 ? ".5" : "",
        static_cast<double>(finding.first_tick) / pace.ticks_per_second,
        static_cast<long>(frame_at(job.options, finding.first)),
        static_cast<long>(frame_at(job.options, last)), static_cast<long long>(finding.changes),
        finding.red ? "saturated red" : "brightness", part.c_str());
}

// Whether any output is still being written.
bool outputs_left(const Export& job) {
    const ExportOptions& options = job.options;
    return (job.gif_file.wanted && !job.gif_file.failed) ||
           (job.apng_file.wanted && !job.apng_file.failed) ||
           (job.png_file.wanted && !job.png_file.failed) ||
           (job.raw_file.wanted && !job.raw_file.failed) ||
           (job.raw_stream.wanted && !job.raw_stream.failed) ||
           (options.png.destination == Destination::sequence && !job.png_sequence_failed) ||
           (options.raw.destination == Destination::sequence && !job.raw_sequence_failed);
}

void write_to_sequence(Export& job, const PictureOutput& output, bool& sequence_failed,
                       const char* what, const FrameWork& frame,
                       const std::vector<unsigned char>& bytes) {
    if (output.destination != Destination::sequence || sequence_failed) {
        return;
    }
    const std::string path = name_from_pattern(output.path, frame_at(job.options, frame.index));
    if (!write_whole_file(path, what, bytes.data(), bytes.size())) {
        // The frames written so far stay; the rest of this sequence is dropped.
        sequence_failed = true;
        job.failed = true;
    }
}

// A frame whose delay is known; one that changes nothing is folded into the
// one before it.
void write_gif_frame(Export& job, const std::vector<unsigned char>& bytes) {
    if (gif_fold_frame(job.gif_held, bytes)) {
        return;
    }
    write_to_file(job, job.gif_file, job.gif_held, false);
    job.gif_held = bytes;
}

// The GIF's frame `bytes`, shown at `tick` (in hundredths): the frame
// before now has its delay, the time to this one.
void add_gif_frame(Export& job, const std::vector<unsigned char>& bytes, std::int64_t tick) {
    if (!job.gif) {
        return;
    }
    if (!job.gif_pending.empty()) {
        gif_set_delay(job.gif_pending, static_cast<int>(tick - job.gif_pending_tick));
        write_gif_frame(job, job.gif_pending);
    }
    job.gif_pending = bytes;
    job.gif_pending_tick = tick;
}

// Writes the APNG's held frame, placed and shown until `tick` (in 1/F s; the
// last frame with the file's end).
void write_held_apng_frame(Export& job, std::int64_t tick, bool last) {
    place_apng_frame(job.apng_held, job.apng_placed++,
                     static_cast<unsigned>(tick - job.apng_held_tick),
                     static_cast<unsigned>(job.apng_fps));
    if (last) {
        apng_end(job.apng_held);
    }
    write_to_file(job, job.apng_file, job.apng_held, last);
}

// A frame of the run for the APNG, shown at `tick` (in 1/F s): the frame
// before shows for longer, or is written, now that it is known how long it
// shows, and this one held.
void write_apng_frame(Export& job, const FrameWork& frame, std::int64_t tick) {
    if (!job.apng) {
        return;
    }
    job.apng_last_tick = tick;
    if (!job.apng_held.empty() &&
        apng_folds(frame.apng_repeats, job.apng_held_frames, job.apng_fps)) {
        ++job.apng_held_frames;
        return;
    }
    if (!job.apng_held.empty()) {
        write_held_apng_frame(job, tick, false);
    }
    job.apng_held = frame.apng_bytes;
    job.apng_held_frames = 1;
    job.apng_held_tick = tick;
}

// The APNG's last frame, shown until `tick`, and its end.
void finish_apng(Export& job, std::int64_t tick) {
    if (job.apng && !job.apng_held.empty()) {
        write_held_apng_frame(job, tick, true);
    }
}

// On the calling thread, frame after frame: every output's share of it.
bool write_frame(Export& job, const FrameWork& frame) {
    if (frame.failed) {
        std::fprintf(stderr, "julia-frames: cannot encode frame %ld\n",
                     static_cast<long>(frame_at(job.options, frame.index)));
        job.failed = true;
        return false;
    }
    std::int64_t gif_tick = frame.index * job.delay;
    std::int64_t apng_tick = frame.index;
    if (job.flash) {
        watch_changes(job.flash_watch, frame.index, frame.flash_changes);
        for (int at = 0; at < job.timeline_count; ++at) {
            FlashTimeline& timeline = job.timelines[at];
            const std::int64_t tick = flash_next_tick(timeline, job.flash_watch, frame.index);
            flash_place_frame(timeline, job.flash_watch, frame.index, tick);
            if (at == job.gif_timeline) {
                gif_tick = tick;
            }
            if (at == job.apng_timeline) {
                apng_tick = tick;
            }
        }
    }
    write_to_file(job, job.raw_stream, frame.raw_bytes, false);
    add_gif_frame(job, frame.gif_bytes, gif_tick);
    write_apng_frame(job, frame, apng_tick);
    write_to_sequence(job, job.options.png, job.png_sequence_failed, "PNG picture", frame,
                      frame.png_bytes);
    write_to_sequence(job, job.options.raw, job.raw_sequence_failed, "raw frame", frame,
                      frame.raw_bytes);
    if (is_last(job, frame)) {
        write_to_file(job, job.png_file, frame.png_bytes, true);
        write_to_file(job, job.raw_file, frame.raw_bytes, true);
    }
    job.written = frame.index + 1;
    const bool rendering_only = !job.gif && !job.apng &&
                                job.options.png.destination == Destination::none &&
                                job.options.raw.destination == Destination::none;
    return rendering_only || outputs_left(job);
}

std::uint64_t steady_us() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

// The progress line's timing; QUENLIXOR_PROGRESS_AFTER_MS (0 to 86400000)
// sets how many milliseconds a run lasts before the line first shows. Any
// other value is ignored with a warning.
ProgressTiming progress_timing() {
    ProgressTiming timing;
    const char* const after = std::getenv("QUENLIXOR_PROGRESS_AFTER_MS");
    if (after == nullptr || *after == '\0') {
        return timing;
    }
    std::uint64_t ms = 0;
    const char* digit = after;
    for (; *digit >= '0' && *digit <= '9' && ms <= 86400000U; ++digit) {
        ms = ms * 10 + static_cast<std::uint64_t>(*digit - '0');
    }
    if (*digit != '\0' || ms > 86400000U) {
        std::fprintf(stderr,
                     "julia-frames: warning: QUENLIXOR_PROGRESS_AFTER_MS=%s is not a number of "
                     "milliseconds from 0 to 86400000; ignored\n",
                     after);
        return timing;
    }
    timing.first_after_us = ms * 1000;
    return timing;
}

int run_export_with(int argc, char** argv, bool check_flashes) {
    Export job;
    ExportOptions& options = job.options;
    std::string message;
    switch (parse_export_options(argc, argv, options, message)) {
        case ParseResult::help:
            std::fputs(export_usage_text, stdout);
            return 0;
        case ParseResult::version:
            // QUENLIXOR_VERSION comes from the build: the project's version.
            std::printf("julia-frames %s\nrenderer kernel: %s\n", QUENLIXOR_VERSION,
                        fastest_kernel().name);
            return 0;
        case ParseResult::bad:
            return bad_input(message);
        case ParseResult::run:
            break;
    }
    job.gif = !options.gif_path.empty();
    job.apng = !options.apng_path.empty();
    job.apng_fps = apng_fps(options);
    if (options.png.destination != Destination::none && !png_available()) {
        return bad_input(
            "PNG output is unavailable in this build (it has no zlib); use --gif or --raw");
    }
    if (job.apng && !png_available()) {
        return bad_input(
            "APNG output is unavailable in this build (it has no zlib); use --gif or --raw");
    }
    job.kernel = choose_kernel(options.kernel, message);
    if (job.kernel == nullptr) {
        return bad_input(message);
    }
    const int threads = options.threads > 0 ? options.threads : processors_available();

    // Threads may render only once the tables are filled.
    prepare_tables();
    catch_stop_requests(StopRequests::restart_io);

    job.delay = gif_delay_centiseconds(gif_fps(options));
    if (check_flashes) {
        prepare_flash_check(job);
    }
    open_file_outputs(job);

    PipelineStages stages;
    stages.count = options.count;
    stages.threads = threads;
    stages.prepare = [&job](FrameWork& frame) { prepare_frame(job, frame); };
    stages.write = [&job](const FrameWork& frame) { return write_frame(job, frame); };
    stages.tick = [&job] {
        update_progress(job.progress, job.written, steady_us());
        return stop_signal() == 0;
    };
    if (job.gif && !job.gif_file.failed) {
        prepare_gif_colours();
        std::vector<unsigned char> head;
        gif_head(options.scale, head);
        write_to_file(job, job.gif_file, head, false);
    }
    if (job.apng && !job.apng_file.failed) {
        prepare_apng_colours();
        std::vector<unsigned char> head;
        apng_head(options.scale, apng_frame_count(options, job.apng_fps), head);
        write_to_file(job, job.apng_file, head, false);
    }
    if ((job.gif && !job.gif_file.failed) || (job.apng && !job.apng_file.failed) || job.flash) {
        stages.needs_previous = true;
        stages.finish = [&job](FrameWork& frame, const FrameWork* previous) {
            finish_frame(job, frame, previous);
        };
    }

    start_progress(job.progress, options.count, !options.quiet && stderr_is_terminal(), stderr,
                   steady_us(), progress_timing());
    bool complete = false;
    if (!job.failed || outputs_left(job)) {
        complete = run_pipeline(stages);
    }
    finish_progress(job.progress);
    if (job.flash) {
        warn_of_flashes(job);
    }

    if (complete && stop_signal() == 0 && job.gif) {
        // The last frame shows for one frame's time.
        add_gif_frame(job, {}, job.gif_pending_tick + job.delay);
        job.gif_held.push_back(gif_trailer);
        write_to_file(job, job.gif_file, job.gif_held, true);
    }
    if (complete && stop_signal() == 0) {
        // The last frame shows for one frame's time.
        finish_apng(job, job.apng_last_tick + 1);
    }
    discard_file_outputs(job);
    if (stop_signal() != 0) {
        std::fprintf(stderr, "julia-frames: stopped after %ld of %ld frames\n",
                     static_cast<long>(job.written), static_cast<long>(options.count));
        return 1;
    }
    return job.failed || !complete ? 1 : 0;
}

}  // namespace

int run_export(int argc, char** argv) {
    return run_export_with(argc, argv, true);
}

int run_export_unchecked(int argc, char** argv) {
    return run_export_with(argc, argv, false);
}

}  // namespace quenlixor
