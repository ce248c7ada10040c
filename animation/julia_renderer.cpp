// Tables, palette, parameter path and the choice of kernel of the Julia
// frame renderer. The pixels themselves are computed by the kernels in
// julia_kernel_*.cpp.
#include "animation/julia_renderer.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "animation/extended_arithmetic.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer_kernels.h"
#include "platform/processor_features.h"

// Which SIMD kernels this build has comes from the build (animation/
// CMakeLists.txt): the x86 ones, NEON on ARM64 or SIMD128 in WebAssembly.
#if !defined(QUENLIXOR_X86_KERNELS)
#define QUENLIXOR_X86_KERNELS 0
#endif
#if !defined(QUENLIXOR_NEON_KERNEL)
#define QUENLIXOR_NEON_KERNEL 0
#endif
#if !defined(QUENLIXOR_SIMD128_KERNEL)
#define QUENLIXOR_SIMD128_KERNEL 0
#endif

namespace quenlixor {

alignas(64) std::uint32_t framebuffer[pixel_count];
alignas(64) float x_of_column[picture_width];
alignas(64) float y_of_row[picture_height];
alignas(64) std::uint32_t palette[256];
std::int32_t frame_number = 0;

namespace {

// The view rectangle and the palette step, set from double constants.
constexpr double view_left = -2.0;
constexpr double view_right = 2.0;
constexpr double view_bottom = -1.5;
constexpr double view_top = 1.5;
constexpr double palette_step_constant = 13.42105263157895;
// Degrees to radians, with the decimal constant the animation was made with.
constexpr double degrees_constant = 3.141593;
constexpr double sine_rate = 0.7;

// Stored as singles, like every floating-point quantity of the renderer.
float column_step;
float row_step;
float palette_step;

// -1 until the first use picks the fastest kernel.
int active_kernel_index = -1;

}  // namespace

void prepare_tables() {
    using A = Extended;
    const auto left = static_cast<float>(view_left);
    const auto right = static_cast<float>(view_right);
    const auto bottom = static_cast<float>(view_bottom);
    const auto top = static_cast<float>(view_top);
    column_step =
        A::to_float(A::div(A::sub(A::from_float(right), A::from_float(left)), A::from_int(319)));
    row_step =
        A::to_float(A::div(A::sub(A::from_float(top), A::from_float(bottom)), A::from_int(239)));
    for (int column = 0; column < picture_width; ++column) {
        x_of_column[column] = A::to_float(
            A::add(A::mul(A::from_int(column), A::from_float(column_step)), A::from_float(left)));
    }
    for (int row = 0; row < picture_height; ++row) {
        y_of_row[row] = A::to_float(
            A::sub(A::from_float(top), A::mul(A::from_int(row), A::from_float(row_step))));
    }

    palette_step = static_cast<float>(palette_step_constant);
    for (int count = 0; count < iteration_limit; ++count) {
        const auto level = static_cast<std::uint32_t>(
            std::floor(A::to_double(A::mul(A::from_int(count), A::from_float(palette_step)))));
        // Red is not clamped: from level 128 on its ninth bit lands in bit 24.
        const std::uint32_t red = 2 * level;
        const std::uint32_t blue = level >= 128 ? 2 * (level - 128) : 0;
        palette[count] = (red << 16) | (level << 8) | blue;
    }
    palette[iteration_limit] = 0x00FFFFFFU;
    for (int count = iteration_limit + 1; count < 256; ++count) {
        palette[count] = 0;
    }
}

JuliaParameter julia_parameter(std::int32_t number) {
    using A = Extended;
    // Each named quantity is stored (rounded) before it is used again: the
    // angle and c as singles, the results of cos and sin as doubles.
    const float angle = A::to_float(
        A::div(A::mul(A::from_int(number), A::from_double(degrees_constant)), A::from_int(180)));
    const double cosine = std::cos(static_cast<double>(angle));
    const double sine_argument =
        A::to_double(A::mul(A::from_float(angle), A::from_double(sine_rate)));
    const double sine_of_argument = std::sin(sine_argument);
    const float c_re =
        A::to_float(A::mul(A::from_double(cosine), A::from_double(sine_of_argument)));
    const double first_sine = std::sin(static_cast<double>(angle));
    const double second_sine = std::sin(static_cast<double>(angle));
    const float c_im = A::to_float(A::add(A::from_double(first_sine), A::from_double(second_sine)));
    return JuliaParameter{angle, c_re, c_im};
}

void render_frame() {
    frame_number =
        static_cast<std::int32_t>((static_cast<std::uint32_t>(frame_number) + 1U) & 0x7FFFFFFFU);
    const JuliaParameter parameter = julia_parameter(frame_number);
    render_pixels(active_kernel(), parameter.c_re, parameter.c_im, framebuffer);
}

void render_frame_into(std::int32_t number, std::uint32_t* pixels) {
    const JuliaParameter parameter = julia_parameter(number);
    render_pixels(active_kernel(), parameter.c_re, parameter.c_im, pixels);
}

void render_pixels(Kernel kernel, float c_re, float c_im, std::uint32_t* pixels) {
    switch (kernel) {
#if QUENLIXOR_X86_KERNELS
        case Kernel::sse2:
            render_pixels_sse2(c_re, c_im, pixels);
            return;
        case Kernel::avx2:
            render_pixels_avx2(c_re, c_im, pixels);
            return;
        case Kernel::avx512:
            render_pixels_avx512(c_re, c_im, pixels);
            return;
#endif
#if QUENLIXOR_NEON_KERNEL
        case Kernel::neon:
            render_pixels_neon(c_re, c_im, pixels);
            return;
#endif
#if QUENLIXOR_SIMD128_KERNEL
        case Kernel::simd128:
            render_pixels_simd128(c_re, c_im, pixels);
            return;
#endif
        default:
            render_pixels_reference(c_re, c_im, pixels);
            return;
    }
}

BlockShape kernel_block_shape(Kernel kernel) {
    switch (kernel) {
        case Kernel::sse2:
            return sse2_block;
        case Kernel::avx2:
            return avx2_block;
        case Kernel::avx512:
            return avx512_block;
        case Kernel::neon:
            return neon_block;
        case Kernel::simd128:
            return simd128_block;
        default:
            return BlockShape{1, 1};
    }
}

bool kernel_available(Kernel kernel) {
    switch (kernel) {
        case Kernel::reference:
            return true;
#if QUENLIXOR_X86_KERNELS
        case Kernel::sse2:
            return processor_features().sse2;
        case Kernel::avx2:
            return processor_features().avx2;
        case Kernel::avx512:
            return processor_features().avx512;
#endif
#if QUENLIXOR_NEON_KERNEL
        case Kernel::neon:
            return processor_features().neon;
#endif
#if QUENLIXOR_SIMD128_KERNEL
        case Kernel::simd128:
            return processor_features().simd128;
#endif
        default:
            return false;
    }
}

Kernel fastest_kernel() {
    // Widest first; a processor has at most one of the 128-bit kernels.
    for (const Kernel kernel :
         {Kernel::avx512, Kernel::avx2, Kernel::sse2, Kernel::neon, Kernel::simd128}) {
        if (kernel_available(kernel)) {
            return kernel;
        }
    }
    return Kernel::reference;
}

void use_kernel(Kernel kernel) {
    if (kernel_available(kernel)) {
        active_kernel_index = static_cast<int>(kernel);
    }
}

Kernel active_kernel() {
    if (active_kernel_index < 0) {
        active_kernel_index = static_cast<int>(fastest_kernel());
    }
    return static_cast<Kernel>(active_kernel_index);
}

const char* kernel_name(Kernel kernel) {
    switch (kernel) {
        case Kernel::reference:
            return "reference";
        case Kernel::sse2:
            return "sse2";
        case Kernel::avx2:
            return "avx2";
        case Kernel::avx512:
            return "avx512";
        case Kernel::neon:
            return "neon";
        case Kernel::simd128:
            return "simd128";
    }
    return "unknown";
}

bool kernel_by_name(const char* name, Kernel& kernel) {
    for (const Kernel candidate : every_kernel) {
        if (std::strcmp(name, kernel_name(candidate)) == 0) {
            kernel = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace quenlixor
