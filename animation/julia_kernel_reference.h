// The reference kernel's escape-time loop over an extended arithmetic of
// extended_arithmetic.h: julia_kernel_reference.cpp instantiates it with the
// renderer's own (`Extended`); the benchmark also with the other one, to
// compare the two.
#pragma once

#include <cstdint>

#include "animation/julia_renderer_kernels.h"

namespace quenlixor {

// One pass of the escape-time loop on one pixel. The new zr is used only
// when the next test lets the pixel go on, that is when rr + ii < 4.
template <class A>
inline void make_reference_pass(float& zr, float& zi, float& rr, float& ii, float c_re,
                                float c_im) {
    rr = A::square(zr);
    ii = A::square(zi);
    const float t = A::doubled_product(zi, zr);
    zr = A::next_real(rr, ii, c_re);
    zi = A::sum(c_im, t);
}

// The test before each pass: it looks at the squares of the previous pass,
// so every pixel makes at least one pass.
template <class A>
inline int reference_escape_count_in(float zr, float zi, float c_re, float c_im) {
    float rr = 0.0F;
    float ii = 0.0F;
    int n = 0;
    while (n < iteration_limit && A::below_bound(rr, ii)) {
        make_reference_pass<A>(zr, zi, rr, ii, c_re, c_im);
        ++n;
    }
    return n;
}

template <class A>
void reference_escape_counts_in(int pixels, const float* x, float y, float c_re, float c_im,
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
            if (counts[k] == pass && A::below_bound(rr[k], ii[k])) {
                make_reference_pass<A>(zr[k], zi[k], rr[k], ii[k], c_re, c_im);
                counts[k] = pass + 1;
                any = true;
            }
        }
    }
}

template <class A>
void render_pixels_reference_in(float c_re, float c_im, std::uint32_t* pixels) {
    std::uint32_t* pixel = pixels;
    for (int row = 0; row < picture_height; ++row) {
        const float zi = y_of_row[row];
        for (int column = 0; column < picture_width; ++column) {
            *pixel++ = palette[reference_escape_count_in<A>(x_of_column[column], zi, c_re, c_im)];
        }
    }
}

}  // namespace quenlixor
