// frame-profile: where a frame's time goes in the running program.
//
//   frame-profile [FRAMES [KERNEL]]     FRAMES default 300; KERNEL reference,
//                                       sse2, avx2 or avx512 (default: the fastest)
//
// Opens the display as the program does, then times each part of the frame
// loop over FRAMES frames (after a few warm-up frames) and prints the mean
// of each in microseconds:
//   render   render_frame
//   convert  all rows of the framebuffer through the display's converter
//            into a buffer in memory (what display_update does per frame
//            between its lock and unlock)
//   caption  building the frame-rate caption and setting it on the window
//   update   display_update: messages, lock, conversion, unlock, blit, Sleep(0)
// (and the median, which a busy machine disturbs less), and the frame rate
// the sum of the means of render, caption and update allows.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "animation/animation_driver.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "display/ddraw/ddraw_display.h"
#include "display/display.h"
#include "display/pixel_converters.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

struct Timer {
    LARGE_INTEGER frequency;
};

Timer timer;

double now_us() {
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) * 1e6 /
           static_cast<double>(timer.frequency.QuadPart);
}

const char* converter_name(Converter converter) {
    const struct {
        Converter converter;
        const char* name;
    } names[] = {
        {convert_to_xrgb8888, "xrgb8888"}, {convert_to_xbgr8888, "xbgr8888"},
        {convert_to_rgb888, "rgb888"},     {convert_to_bgr888, "bgr888"},
        {convert_to_rgb565, "rgb565"},     {convert_to_bgr565, "bgr565"},
        {convert_to_rgb555, "rgb555"},     {convert_to_bgr555, "bgr555"},
    };
    for (const auto& entry : names) {
        if (entry.converter == converter) {
            return entry.name;
        }
    }
    return "unknown";
}

int run(int argc, char** argv) {
    long frames = 300;
    if (argc > 1) {
        frames = std::strtol(argv[1], nullptr, 10);
        if (frames < 1 || frames > 100000) {
            std::fprintf(stderr, "usage: frame-profile [FRAMES [KERNEL]]\n");
            return 2;
        }
    }
    Kernel kernel = fastest_kernel();
    if (argc > 2 && (!kernel_by_name(argv[2], kernel) || !kernel_available(kernel))) {
        std::fprintf(stderr, "frame-profile: kernel %s is not available here\n", argv[2]);
        return 2;
    }
    QueryPerformanceFrequency(&timer.frequency);

    use_extended_precision();
    if (display_open("Quenlixor Julia frame profile", picture_width, picture_height) == 0) {
        std::fprintf(stderr, "frame-profile: the display cannot be opened\n");
        return 1;
    }
    prepare_tables();
    use_kernel(kernel);
    void* const caption_window = active_window();
    std::vector<std::uint32_t> rows(pixel_count);  // room for any surface format

    enum Part { render, convert, caption, update, part_count };
    const char* const part_names[part_count] = {"render", "convert", "caption", "update"};
    std::vector<double> samples[part_count];
    const long warm_up = 10;
    for (long i = 0; i < warm_up + frames; ++i) {
        const double t0 = now_us();
        render_frame();
        const double t1 = now_us();
        auto* destination = reinterpret_cast<unsigned char*>(rows.data());
        const auto row_bytes = static_cast<std::size_t>(picture_width) * 4;
        for (int row = 0; row < picture_height; ++row) {
            display_state.converter(framebuffer + row * picture_width, destination,
                                    static_cast<std::uint32_t>(picture_width));
            destination += row_bytes;
        }
        const double t2 = now_us();
        {
            const std::string text = caption_text(static_cast<float>(i));
            set_caption(caption_window, text.c_str());
        }
        const double t3 = now_us();
        display_update(framebuffer);
        const double t4 = now_us();
        if (i >= warm_up) {
            samples[render].push_back(t1 - t0);
            samples[convert].push_back(t2 - t1);
            samples[caption].push_back(t3 - t2);
            samples[update].push_back(t4 - t3);
        }
    }
    display_close();

    std::printf("frames %ld, kernel %s, converter %s\n", frames, kernel_name(kernel),
                converter_name(display_state.converter));
    std::printf("part        mean us   median us\n");
    double frame = 0;
    for (int part = 0; part < part_count; ++part) {
        std::vector<double>& times = samples[part];
        double sum = 0;
        for (const double t : times) {
            sum += t;
        }
        const double mean = sum / static_cast<double>(times.size());
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        std::printf("%-8s %10.1f %11.1f\n", part_names[part], mean, median);
        if (part != convert) {
            frame += mean;
        }
    }
    std::printf("frame    %10.1f              (%.1f frames per second)\n", frame, 1e6 / frame);
    return 0;
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
    return quenlixor::run(argc, argv);
}
