// The plain scalar loop the renderer's kernels are measured against.
#pragma once

namespace quenlixor {

// Writes all pixels of the framebuffer for the parameter c and returns the
// number of passes of the escape loop.
long render_pixels_yardstick(float c_re, float c_im);

}  // namespace quenlixor
