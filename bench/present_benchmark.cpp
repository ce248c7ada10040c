// What a frame of the native program costs, part by part, on the desktop it
// runs on (DISPLAY; Xvfb does): rendering it, converting it into the window
// surface (present_rows), showing the surface (SDL_UpdateWindowSurface),
// setting the caption, and the whole display_update; beside the other way
// to present, a streaming texture drawn by an SDL renderer (software, and
// the default accelerated one), both at scales 1, 2 and 4. And full screen
// on the desktop's screen, whatever its size (run it on Xvfb screens of
// 1920x1080 and 3840x2160), through frames one after the other of the
// animation as the program shows them: display_update, which converts and
// shows only what changed, beside the whole picture converted and the whole
// screen shown every frame, as it was done before.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "display/display.h"
#include "display/pixel_converters.h"
#include "display/present_rows.h"
#include "display/sdl/sdl_display.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

// The display is opened once per scale; a scale change reopens it. -1:
// full screen.
std::int32_t open_scale = 0;

SDL_Window* display_window(std::int32_t scale) {
    if (open_scale != scale && scale < 0) {
        if (open_scale != 0) {
            display_close();
        }
        if (display_open("Quenlixor Julia (Tolvane)", picture_width, picture_height,
                         DisplayPlace{DisplayForm::full_screen, 0, 0}) == 0) {
            std::fprintf(stderr, "cannot open the display: %s\n", display_failure());
            std::exit(1);
        }
        open_scale = scale;
    }
    if (open_scale != scale) {
        if (open_scale != 0) {
            display_close();
        }
        if (display_open("Quenlixor Julia (Tolvane)", picture_width, picture_height, scale) == 0) {
            std::fprintf(stderr, "cannot open the display: %s\n", display_failure());
            std::exit(1);
        }
        open_scale = scale;
    }
    return sdl_display_window();
}

void BM_RenderFrame(benchmark::State& state) {
    prepare_tables();
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        render_frame();
        benchmark::DoNotOptimize(framebuffer[0]);
    }
    state.SetLabel(fastest_kernel().name);
}

void BM_ConvertIntoWindowSurface(benchmark::State& state) {
    const auto scale = static_cast<std::int32_t>(state.range(0));
    SDL_Surface* const surface = SDL_GetWindowSurface(display_window(scale));
    const SDL_PixelFormat& format = *surface->format;
    const Converter converter =
        select_converter(format.BitsPerPixel, format.Rmask, format.Gmask, format.Bmask);
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        SDL_LockSurface(surface);
        present_rows(framebuffer, picture_width, picture_height, scale, converter,
                     format.BytesPerPixel, static_cast<std::uint8_t*>(surface->pixels),
                     surface->pitch);
        SDL_UnlockSurface(surface);
        benchmark::ClobberMemory();
    }
    state.SetLabel(SDL_GetPixelFormatName(format.format));
}

void BM_ShowWindowSurface(benchmark::State& state) {
    SDL_Window* const window = display_window(static_cast<std::int32_t>(state.range(0)));
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        SDL_UpdateWindowSurface(window);
    }
}

void BM_SetCaption(benchmark::State& state) {
    display_window(1);
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        display_set_caption("Quenlixor Julia Animator FPS:1234");
    }
}

void BM_DisplayUpdate(benchmark::State& state) {
    display_window(static_cast<std::int32_t>(state.range(0)));
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        display_update(framebuffer);
    }
}

// Frames 1 to 120 of the animation, shown in turn: from one to the next
// the picture changes as it does in the program.
const std::vector<std::uint32_t>& animation_frames() {
    static std::vector<std::uint32_t> frames;
    if (frames.empty()) {
        prepare_tables();
        frame_number = 0;
        for (int frame = 1; frame <= 120; ++frame) {
            render_frame();
            frames.insert(frames.end(), framebuffer, framebuffer + pixel_count);
        }
    }
    return frames;
}

// Where full screen places the picture; the block and the screen's size as
// the label.
PictureFit full_screen_fit(SDL_Window* window, benchmark::State& state) {
    const SDL_Surface* const surface = SDL_GetWindowSurface(window);
    const PictureFit fit = fit_picture(surface->w, surface->h, picture_width, picture_height, 0);
    state.SetLabel(std::to_string(surface->w) + "x" + std::to_string(surface->h) + ", blocks of " +
                   std::to_string(fit.block));
    return fit;
}

void BM_FullScreenUpdate(benchmark::State& state) {
    const std::vector<std::uint32_t>& frames = animation_frames();
    full_screen_fit(display_window(-1), state);
    std::size_t frame = 0;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        display_update(frames.data() + frame * pixel_count);
        frame = (frame + 1) % 120;
    }
}

// The whole picture converted and the whole screen shown, every frame.
void BM_FullScreenWhole(benchmark::State& state) {
    const std::vector<std::uint32_t>& frames = animation_frames();
    SDL_Window* const window = display_window(-1);
    const PictureFit fit = full_screen_fit(window, state);
    SDL_Surface* const surface = SDL_GetWindowSurface(window);
    const SDL_PixelFormat& format = *surface->format;
    const Converter converter =
        select_converter(format.BitsPerPixel, format.Rmask, format.Gmask, format.Bmask);
    std::size_t frame = 0;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        SDL_PumpEvents();
        SDL_LockSurface(surface);
        present_rows(frames.data() + frame * pixel_count, picture_width, picture_height, fit.block,
                     converter, format.BytesPerPixel,
                     static_cast<std::uint8_t*>(surface->pixels) + fit.y * surface->pitch +
                         fit.x * format.BytesPerPixel,
                     surface->pitch);
        SDL_UnlockSurface(surface);
        SDL_UpdateWindowSurface(window);
        frame = (frame + 1) % 120;
    }
}

// The other way: the framebuffer as a streaming XRGB texture, scaled by the
// renderer with nearest-neighbour sampling, in a window of its own.
void streaming_texture(benchmark::State& state, const char* renderer_name) {
    const auto scale = static_cast<int>(state.range(0));
    if (open_scale != 0) {
        display_close();
        open_scale = 0;
    }
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, renderer_name);
    SDL_Window* const window =
        SDL_CreateWindow("texture", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                         picture_width * scale, picture_height * scale, SDL_WINDOW_SHOWN);
    SDL_Renderer* const renderer = SDL_CreateRenderer(window, -1, 0);
    if (renderer == nullptr) {
        state.SkipWithError(SDL_GetError());
        SDL_DestroyWindow(window);
        return;
    }
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer, &info);
    SDL_Texture* const texture =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                          picture_width, picture_height);
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        SDL_PumpEvents();
        SDL_UpdateTexture(texture, nullptr, framebuffer, picture_width * 4);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        SDL_RenderPresent(renderer);
    }
    state.SetLabel(info.name);
    SDL_DestroyTexture(texture);
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void BM_StreamingTextureSoftware(benchmark::State& state) {
    streaming_texture(state, "software");
}

void BM_StreamingTextureAccelerated(benchmark::State& state) {
    streaming_texture(state, "");
}

BENCHMARK(BM_RenderFrame);
BENCHMARK(BM_ConvertIntoWindowSurface)->Arg(1)->Arg(2)->Arg(4);
BENCHMARK(BM_ShowWindowSurface)->Arg(1)->Arg(2)->Arg(4);
BENCHMARK(BM_SetCaption);
BENCHMARK(BM_DisplayUpdate)->Arg(1)->Arg(2)->Arg(4);
BENCHMARK(BM_StreamingTextureSoftware)->Arg(1)->Arg(2)->Arg(4);
BENCHMARK(BM_StreamingTextureAccelerated)->Arg(1)->Arg(2)->Arg(4);
BENCHMARK(BM_FullScreenWhole);
BENCHMARK(BM_FullScreenUpdate);

}  // namespace
}  // namespace quenlixor

BENCHMARK_MAIN();
