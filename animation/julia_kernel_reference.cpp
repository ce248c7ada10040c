// The reference kernel: the escape-time loop exactly as defined, each
// assignment carried out in the x87 extended format (long double) and stored
// as a single. Slow, but it is the oracle of the other kernels and their
// fallback on the rare pixels where double intermediates could round
// differently.
#include "animation/julia_renderer_kernels.h"

namespace quenlixor {

namespace {

using Extended = long double;

// The test before each pass: it looks at the squares of the previous pass,
// so every pixel makes at least one pass.
bool goes_on(float rr, float ii) {
    return static_cast<Extended>(rr) + static_cast<Extended>(ii) < 4.0L;
}

// One pass of the escape-time loop on one pixel.
void make_pass(float& zr, float& zi, float& rr, float& ii, float c_re, float c_im) {
    rr = static_cast<float>(static_cast<Extended>(zr) * static_cast<Extended>(zr));
    ii = static_cast<float>(static_cast<Extended>(zi) * static_cast<Extended>(zi));
    const float t =
        static_cast<float>(static_cast<Extended>(zi) * static_cast<Extended>(zr) * 2.0L);
    zr = static_cast<float>((static_cast<Extended>(rr) - static_cast<Extended>(ii)) +
                            static_cast<Extended>(c_re));
    zi = static_cast<float>(static_cast<Extended>(c_im) + static_cast<Extended>(t));
}

}  // namespace

int reference_escape_count(float zr, float zi, float c_re, float c_im) {
    float rr = 0.0F;
    float ii = 0.0F;
    int n = 0;
    while (n < iteration_limit && goes_on(rr, ii)) {
        make_pass(zr, zi, rr, ii, c_re, c_im);
        ++n;
    }
    return n;
}

void reference_escape_counts(int pixels, const float* x, float y, float c_re, float c_im,
                             int* counts) {
    float zr[max_reference_pixels];
    float zi[max_reference_pixels];
    float rr[max_reference_pixels];
    float ii[max_reference_pixels];
    for (int k = 0; k < pixels; ++k) {
        zr[k] = x[k];
        zi[k] = y;
        rr[k] = 0.0F;
        ii[k] = 0.0F;
        counts[k] = 0;
    }
    // Pass by pass over all pixels, so that their dependency chains overlap;
    // a pixel still going on has made every pass so far.
    bool any = true;
    for (int pass = 0; pass < iteration_limit && any; ++pass) {
        any = false;
        for (int k = 0; k < pixels; ++k) {
            if (counts[k] == pass && goes_on(rr[k], ii[k])) {
                make_pass(zr[k], zi[k], rr[k], ii[k], c_re, c_im);
                counts[k] = pass + 1;
                any = true;
            }
        }
    }
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
