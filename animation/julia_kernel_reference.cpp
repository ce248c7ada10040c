// The reference kernel: the escape-time loop exactly as defined, each
// assignment carried out in the x87 extended format (the x87 itself or its
// software model, see extended_arithmetic.h) and stored as a single. It is
// the oracle of the other kernels and their fallback on the rare pixels
// where double intermediates could round differently.
#include "animation/julia_kernel_reference.h"

#include "animation/extended_arithmetic.h"
#include "animation/julia_renderer_kernels.h"

namespace quenlixor {

int reference_escape_count(float zr, float zi, float c_re, float c_im) {
    return reference_escape_count_in<Extended>(zr, zi, c_re, c_im);
}

void reference_escape_counts(int pixels, const float* x, float y, float c_re, float c_im,
                             int* counts) {
    reference_escape_counts_in<Extended>(pixels, x, y, c_re, c_im, counts);
}

namespace {

void render_pixels_reference(float c_re, float c_im, std::uint32_t* pixels) {
    render_pixels_reference_in<Extended>(c_re, c_im, pixels);
}

}  // namespace

extern const Kernel reference_kernel{
    .name = "reference",
    .needs = nullptr,
    .render = render_pixels_reference,
    .block = {1, 1},
};

}  // namespace quenlixor
