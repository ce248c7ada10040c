// The yardstick of the renderer benchmark: the straightforward scalar port of
// the escape-time loop, double intermediates and single stores, built at -O2
// (see CMakeLists.txt). It is what the SIMD kernels are measured against; its
// frames may differ from the reference in rare pixels.
#include "bench/renderer_yardstick.h"

#include "animation/julia_renderer_kernels.h"

namespace quenlixor {

long render_pixels_yardstick(float c_re, float c_im) {
    long passes = 0;
    std::uint32_t* pixel = framebuffer;
    for (int row = 0; row < picture_height; ++row) {
        for (int column = 0; column < picture_width; ++column) {
            float zr = x_of_column[column];
            float zi = y_of_row[row];
            float rr = 0.0F;
            float ii = 0.0F;
            int n = 0;
            while (n < 20 && static_cast<double>(rr) + static_cast<double>(ii) < 4.0) {
                rr = static_cast<float>(static_cast<double>(zr) * static_cast<double>(zr));
                ii = static_cast<float>(static_cast<double>(zi) * static_cast<double>(zi));
                const float t =
                    static_cast<float>(static_cast<double>(zi) * static_cast<double>(zr) * 2.0);
                zr = static_cast<float>((static_cast<double>(rr) - static_cast<double>(ii)) +
                                        static_cast<double>(c_re));
                zi = static_cast<float>(static_cast<double>(c_im) + static_cast<double>(t));
                ++n;
            }
            passes += n;
            *pixel++ = palette[n];
        }
    }
    return passes;
}

}  // namespace quenlixor
