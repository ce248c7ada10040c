// The reference kernel: the escape-time loop exactly as defined, each
// assignment carried out in the x87 extended format (long double) and stored
// as a single. Slow, but it is the oracle of the other kernels and their
// fallback on the rare pixels where double intermediates could round
// differently.
#include "animation/julia_renderer_kernels.h"

namespace quenlixor {

int reference_escape_count(float zr, float zi, float c_re, float c_im) {
    using Extended = long double;
    float rr = 0.0F;
    float ii = 0.0F;
    int n = 0;
    // The test looks at the squares of the previous pass, so every pixel
    // makes at least one pass.
    while (n < iteration_limit && static_cast<Extended>(rr) + static_cast<Extended>(ii) < 4.0L) {
        rr = static_cast<float>(static_cast<Extended>(zr) * static_cast<Extended>(zr));
        ii = static_cast<float>(static_cast<Extended>(zi) * static_cast<Extended>(zi));
        const float t =
            static_cast<float>(static_cast<Extended>(zi) * static_cast<Extended>(zr) * 2.0L);
        zr = static_cast<float>((static_cast<Extended>(rr) - static_cast<Extended>(ii)) +
                                static_cast<Extended>(c_re));
        zi = static_cast<float>(static_cast<Extended>(c_im) + static_cast<Extended>(t));
        ++n;
    }
    return n;
}

void render_pixels_reference(float c_re, float c_im, std::uint32_t* pixels) {
    std::uint32_t* pixel = pixels;
    for (int row = 0; row < picture_height; ++row) {
        const float zi = y_of_row[row];
        for (int column = 0; column < picture_width; ++column) {
            *pixel++ = palette[reference_escape_count(x_of_column[column], zi, c_re, c_im)];
        }
    }
}

}  // namespace quenlixor
