// The browser tests' oracle: frames FIRST .. FIRST+COUNT-1 of the animation
// from the reference kernel, as raw framebuffers (76,800 little-endian 32-bit
// words each, 0x00RRGGBB) one after another in one file. (A file, not
// standard output: emscripten's stdout is text.)
//   reference_frames FIRST COUNT OUT.raw
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: reference_frames FIRST COUNT OUT.raw\n", stderr);
        return 2;
    }
    const long first = std::strtol(argv[1], nullptr, 10);
    const long count = std::strtol(argv[2], nullptr, 10);
    if (first < 0 || count < 1 || count > 64) {
        std::fputs("reference_frames: FIRST from 0, COUNT from 1 to 64\n", stderr);
        return 2;
    }
    std::FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr) {
        std::perror(argv[3]);
        return 1;
    }
    quenlixor::prepare_tables();
    std::vector<std::uint32_t> pixels(quenlixor::pixel_count);
    for (long n = first; n < first + count; ++n) {
        quenlixor::render_frame_into(static_cast<std::int32_t>(n), pixels.data(),
                                     quenlixor::reference_kernel);
        for (std::uint32_t& p : pixels) {
            p &= 0xFFFFFFu;
        }
        if (std::fwrite(pixels.data(), sizeof pixels[0], pixels.size(), out) != pixels.size()) {
            return 1;
        }
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
