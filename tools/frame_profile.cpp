// frame-profile: where a frame's time goes in the running program.
//
//   frame-profile [FRAMES [KERNEL [FORMAT]]]
//       FRAMES default 300; KERNEL a kernel of this build (default: the
//       fastest); FORMAT the pixel format to convert into, xrgb8888,
//       rgb565, ... (default xrgb8888, a 32-bit desktop's)
//
// Opens the display as the program does, then times each part of the frame
// loop over FRAMES frames (after a few warm-up frames) and prints the mean
// of each in microseconds:
//   render   render_frame_into the framebuffer
//   convert  all rows of the framebuffer through FORMAT's converter into a
//            buffer in memory (what display_update does per frame between
//            its lock and unlock)
//   caption  building the frame-rate caption and setting it on the window
//   update   display_update: events, lock, conversion, unlock, blit
// (and the median, which a busy machine disturbs less), and the frame rate
// the sum of the means of render, caption and update allows.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "animation/animation_driver.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "display/display.h"
#include "display/pixel_converters.h"
#include "display/pixel_converters_internal.h"
#include "display/present_rows.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

double now_us() {
    return static_cast<double>(clock_us());
}

// The format named `name`; false when there is none.
bool format_by_name(std::string_view name, PixelFormat& format) {
    for (int index = 0; index < pixel_format_count; ++index) {
        if (name == pixel_format_name(static_cast<PixelFormat>(index))) {
            format = static_cast<PixelFormat>(index);
            return true;
        }
    }
    return false;
}

int run(int argc, char** argv) {
    long frames = 300;
    if (argc > 1) {
        frames = std::strtol(argv[1], nullptr, 10);
        if (frames < 1 || frames > 100000) {
            std::fprintf(stderr, "usage: frame-profile [FRAMES [KERNEL [FORMAT]]]\n");
            return 2;
        }
    }
    const Kernel* kernel = argc > 2 ? kernel_named(argv[2]) : &fastest_kernel();
    if (kernel == nullptr || !kernel_available(*kernel)) {
        std::fprintf(stderr, "frame-profile: kernel %s is not available here (%s)\n", argv[2],
                     kernel_names().c_str());
        return 2;
    }
    PixelFormat format = PixelFormat::xrgb8888;
    if (argc > 3 && !format_by_name(argv[3], format)) {
        std::fprintf(stderr, "frame-profile: there is no pixel format %s\n", argv[3]);
        return 2;
    }
    const Converter converter = active_converter_path().converters[static_cast<int>(format)];
    const std::int32_t bytes_per_pixel = format <= PixelFormat::xbgr8888 ? 4
                                         : format <= PixelFormat::bgr888 ? 3
                                                                         : 2;

    if (display_open("Quenlixor Julia frame profile", picture_width, picture_height) == 0) {
        std::fprintf(stderr, "frame-profile: the display cannot be opened\n");
        return 1;
    }
    prepare_tables();
    std::vector<std::uint8_t> rows(std::size_t{pixel_count} * 4);  // room for any format

    enum Part { render, convert, caption, update, part_count };
    const char* const part_names[part_count] = {"render", "convert", "caption", "update"};
    std::vector<double> samples[part_count];
    const long warm_up = 10;
    for (long i = 0; i < warm_up + frames; ++i) {
        const double t0 = now_us();
        frame_number = frame_after(frame_number, 1);
        render_frame_into(frame_number, framebuffer, *kernel);
        const double t1 = now_us();
        present_rows(framebuffer, picture_width, picture_height, 1, converter, bytes_per_pixel,
                     rows.data(), picture_width * bytes_per_pixel);
        const double t2 = now_us();
        {
            const std::string text = caption_text(static_cast<float>(i));
            display_set_caption(text.c_str());
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

    std::printf("frames %ld, kernel %s, converter %s\n", frames, kernel->name,
                pixel_format_name(format));
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
