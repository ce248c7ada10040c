// The converters over one 320x240 frame, row by row as the display calls
// them, beside memcpy of the same rows and beside SDL_ConvertPixels and
// pixman_image_composite32 (PIXMAN_OP_SRC) for the formats they share. Ends
// with a table: ns per frame, ratio to memcpy, ratio to each peer.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "display/pixel_converters.h"
#include "display/pixel_converters_internal.h"

#if defined(QUENLIXOR_BENCH_SDL)
#include <SDL.h>
#endif
#if defined(QUENLIXOR_BENCH_PIXMAN)
#include <pixman.h>
#endif

namespace quenlixor {
namespace {

constexpr std::uint32_t width = 320;
constexpr std::uint32_t height = 240;

alignas(64) std::uint32_t frame[width * height];
// One surface per format, rows adjacent at the format's own pitch, and one
// for memcpy.
alignas(64) unsigned char surface[width * height * 4];
alignas(64) unsigned char check_surface[width * height * 4];

struct FormatInfo {
    PixelFormat format;
    Converter named;
#if defined(QUENLIXOR_BENCH_SDL)
    std::uint32_t sdl_format;  // 0: not shared
#endif
#if defined(QUENLIXOR_BENCH_PIXMAN)
    pixman_format_code_t pixman_format;  // 0: not shared
#endif
};

#if defined(QUENLIXOR_BENCH_SDL)
#define SDL_FORMAT(f) , f
#else
#define SDL_FORMAT(f)
#endif
#if defined(QUENLIXOR_BENCH_PIXMAN)
#define PIXMAN_FORMAT_OF(f) , f
#else
#define PIXMAN_FORMAT_OF(f)
#endif

// SDL's RGB24 is bytes R, G, B in memory (our bgr888); pixman's r8g8b8 is a
// 24-bit value with red high, bytes B, G, R (our rgb888).
const FormatInfo formats[] = {
    {PixelFormat::xrgb8888,
     convert_to_xrgb8888 SDL_FORMAT(0u) PIXMAN_FORMAT_OF(pixman_format_code_t{})},
    {PixelFormat::xbgr8888,
     convert_to_xbgr8888 SDL_FORMAT(SDL_PIXELFORMAT_XBGR8888) PIXMAN_FORMAT_OF(PIXMAN_x8b8g8r8)},
    {PixelFormat::rgb888,
     convert_to_rgb888 SDL_FORMAT(SDL_PIXELFORMAT_BGR24) PIXMAN_FORMAT_OF(PIXMAN_r8g8b8)},
    {PixelFormat::bgr888,
     convert_to_bgr888 SDL_FORMAT(SDL_PIXELFORMAT_RGB24) PIXMAN_FORMAT_OF(PIXMAN_b8g8r8)},
    {PixelFormat::rgb565,
     convert_to_rgb565 SDL_FORMAT(SDL_PIXELFORMAT_RGB565) PIXMAN_FORMAT_OF(PIXMAN_r5g6b5)},
    {PixelFormat::bgr565,
     convert_to_bgr565 SDL_FORMAT(SDL_PIXELFORMAT_BGR565) PIXMAN_FORMAT_OF(PIXMAN_b5g6r5)},
    {PixelFormat::rgb555,
     convert_to_rgb555 SDL_FORMAT(SDL_PIXELFORMAT_RGB555) PIXMAN_FORMAT_OF(PIXMAN_x1r5g5b5)},
    {PixelFormat::bgr555,
     convert_to_bgr555 SDL_FORMAT(SDL_PIXELFORMAT_BGR555) PIXMAN_FORMAT_OF(PIXMAN_x1b5g5r5)},
};

// Destination bytes per pixel of a format: 4, 3 or 2.
std::uint32_t destination_bytes_per_pixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::xrgb8888:
        case PixelFormat::xbgr8888:
            return 4;
        case PixelFormat::rgb888:
        case PixelFormat::bgr888:
            return 3;
        default:
            return 2;
    }
}

std::uint32_t pitch_of(PixelFormat format) {
    return width * destination_bytes_per_pixel(format);
}

void fill_frame() {
    std::mt19937 random(42);
    for (std::uint32_t& pixel : frame) {
        pixel = random() & 0x01FFFFFFu;  // colours, and bit 24 now and then
    }
}

// The frame as the display converts it: 240 calls of 320 pixels.
void convert_frame(Converter convert, std::uint32_t pitch, unsigned char* destination) {
    for (std::uint32_t row = 0; row < height; ++row) {
        convert(frame + row * width, destination + row * pitch, width);
    }
}

void bench_memcpy(benchmark::State& state) {
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        for (std::uint32_t row = 0; row < height; ++row) {
            std::memcpy(surface + row * width * 4, frame + row * width, width * 4);
        }
        benchmark::DoNotOptimize(surface);
        benchmark::ClobberMemory();
    }
}

void bench_converter(benchmark::State& state, Converter convert, PixelFormat format) {
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        convert_frame(convert, pitch_of(format), surface);
        benchmark::DoNotOptimize(surface);
        benchmark::ClobberMemory();
    }
}

// Whether a peer's frame equals ours in the colour channels (bits 24-31 of
// 32-bit pixels are the peers' own business). Unused where neither peer is
// built in.
[[maybe_unused]] bool same_colours(PixelFormat format) {
    convert_frame(portable_converters.converters[static_cast<int>(format)], pitch_of(format),
                  check_surface);
    const std::uint32_t bytes = destination_bytes_per_pixel(format);
    for (std::uint32_t i = 0; i < width * height * bytes; ++i) {
        if (bytes == 4 && i % 4 == 3) {
            continue;
        }
        if (surface[i] != check_surface[i]) {
            return false;
        }
    }
    return true;
}

std::map<std::string, bool> peer_agrees;

#if defined(QUENLIXOR_BENCH_SDL)
void sdl_convert(const FormatInfo& f, bool by_rows) {
    const int pitch = static_cast<int>(pitch_of(f.format));
    if (by_rows) {
        for (std::uint32_t row = 0; row < height; ++row) {
            SDL_ConvertPixels(width, 1, SDL_PIXELFORMAT_XRGB8888, frame + row * width, width * 4,
                              f.sdl_format, surface + row * static_cast<std::uint32_t>(pitch),
                              pitch);
        }
    } else {
        SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_XRGB8888, frame, width * 4, f.sdl_format,
                          surface, pitch);
    }
}

void bench_sdl(benchmark::State& state, const FormatInfo* f, bool by_rows) {
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        sdl_convert(*f, by_rows);
        benchmark::DoNotOptimize(surface);
        benchmark::ClobberMemory();
    }
}
#endif

#if defined(QUENLIXOR_BENCH_PIXMAN)
void pixman_convert(pixman_image_t* source, pixman_image_t* destination, bool by_rows) {
    if (by_rows) {
        for (std::int32_t row = 0; row < static_cast<std::int32_t>(height); ++row) {
            pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, destination, 0, row, 0, 0, 0,
                                     row, width, 1);
        }
    } else {
        pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, destination, 0, 0, 0, 0, 0, 0,
                                 width, height);
    }
}

pixman_image_t* pixman_source() {
    return pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, frame, width * 4);
}

pixman_image_t* pixman_destination(const FormatInfo& f) {
    return pixman_image_create_bits(f.pixman_format, width, height,
                                    reinterpret_cast<std::uint32_t*>(surface),
                                    static_cast<int>(pitch_of(f.format)));
}

void bench_pixman(benchmark::State& state, const FormatInfo* f, bool by_rows) {
    pixman_image_t* source = pixman_source();
    pixman_image_t* destination = pixman_destination(*f);
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        pixman_convert(source, destination, by_rows);
        benchmark::DoNotOptimize(surface);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(destination);
    pixman_image_unref(source);
}
#endif

// Keeps the median CPU time of each benchmark's repetitions for the closing
// table (CPU time: the machine may be shared).
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

void print_ratio(const std::map<std::string, double>& medians, double ours,
                 const std::string& name) {
    const auto found = medians.find(name);
    if (found == medians.end()) {
        std::printf(" %12s", "-");
        return;
    }
    const auto agrees = peer_agrees.find(name);
    std::printf(" %11.2fx%s", ours / found->second,
                agrees != peer_agrees.end() && !agrees->second ? "*" : " ");
}

void print_table(const std::map<std::string, double>& medians) {
    const auto memcpy_time = medians.find("memcpy_rows");
    if (memcpy_time == medians.end()) {
        return;
    }
    std::printf("\nconverters on the %s path; median CPU ns per 320x240 frame (240 rows)\n",
                converter_path_name());
    std::printf("memcpy of the rows: %.0f ns\n", memcpy_time->second);
    std::printf("%-10s %10s %9s %12s %12s %12s %12s\n", "format", "ns/frame", "/memcpy",
                "/sdl_frame", "/sdl_rows", "/pix_frame", "/pix_rows");
    for (const FormatInfo& f : formats) {
        const auto ours = medians.find(std::string("convert/") + pixel_format_name(f.format));
        if (ours == medians.end()) {
            continue;
        }
        std::printf("%-10s %10.0f %8.2fx", pixel_format_name(f.format), ours->second,
                    ours->second / memcpy_time->second);
        for (const char* peer : {"sdl_frame/", "sdl_rows/", "pixman_frame/", "pixman_rows/"}) {
            print_ratio(medians, ours->second, std::string(peer) + pixel_format_name(f.format));
        }
        std::printf("\n");
    }
    std::printf(
        "(ratios: our time / the other's; below 1 is faster; * the peer's colours "
        "differ from ours)\n");
    std::printf("\nevery path, median CPU ns per frame (ratio to memcpy)\n%-10s", "format");
    for (const ConverterPath* path : converter_path_table()) {
        std::printf(" %18s", path->name);
    }
    std::printf("\n");
    for (const FormatInfo& f : formats) {
        std::printf("%-10s", pixel_format_name(f.format));
        for (const ConverterPath* path : converter_path_table()) {
            const auto found =
                medians.find(std::string("path_") + path->name + "/" + pixel_format_name(f.format));
            if (found == medians.end()) {
                std::printf(" %18s", "-");
            } else {
                std::printf(" %9.0f (%5.2fx)", found->second, found->second / memcpy_time->second);
            }
        }
        std::printf("\n");
    }
}

void register_all() {
    const int repetitions = 9;
    benchmark::RegisterBenchmark("memcpy_rows", bench_memcpy)
        ->Repetitions(repetitions)
        ->DisplayAggregatesOnly(true);
    for (const FormatInfo& f : formats) {
        benchmark::RegisterBenchmark(
            (std::string("convert/") + pixel_format_name(f.format)).c_str(), bench_converter,
            f.named, f.format)
            ->Repetitions(repetitions)
            ->DisplayAggregatesOnly(true);
        for (const ConverterPath* path : converter_path_table()) {
            if (!converter_path_available(*path)) {
                continue;
            }
            benchmark::RegisterBenchmark(
                (std::string("path_") + path->name + "/" + pixel_format_name(f.format)).c_str(),
                bench_converter, path->converters[static_cast<int>(f.format)], f.format)
                ->Repetitions(repetitions)
                ->DisplayAggregatesOnly(true);
        }
#if defined(QUENLIXOR_BENCH_SDL)
        if (f.sdl_format != 0) {
            for (const bool by_rows : {false, true}) {
                const std::string name =
                    std::string(by_rows ? "sdl_rows/" : "sdl_frame/") + pixel_format_name(f.format);
                sdl_convert(f, by_rows);
                peer_agrees[name] = same_colours(f.format);
                benchmark::RegisterBenchmark(name.c_str(), bench_sdl, &f, by_rows)
                    ->Repetitions(repetitions)
                    ->DisplayAggregatesOnly(true);
            }
        }
#endif
#if defined(QUENLIXOR_BENCH_PIXMAN)
        if (f.pixman_format != pixman_format_code_t{}) {
            for (const bool by_rows : {false, true}) {
                const std::string name = std::string(by_rows ? "pixman_rows/" : "pixman_frame/") +
                                         pixel_format_name(f.format);
                pixman_image_t* source = pixman_source();
                pixman_image_t* destination = pixman_destination(f);
                pixman_convert(source, destination, by_rows);
                pixman_image_unref(destination);
                pixman_image_unref(source);
                peer_agrees[name] = same_colours(f.format);
                benchmark::RegisterBenchmark(name.c_str(), bench_pixman, &f, by_rows)
                    ->Repetitions(repetitions)
                    ->DisplayAggregatesOnly(true);
            }
        }
#endif
    }
}

}  // namespace
}  // namespace quenlixor

// Google Benchmark owns the registered cases until the program ends.
// NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
int main(int argc, char** argv) {
    quenlixor::fill_frame();
    quenlixor::register_all();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    quenlixor::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    quenlixor::print_table(reporter.medians);
    benchmark::Shutdown();
    return 0;
}
// NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)
