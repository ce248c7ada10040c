// Tables, palette and parameter path of the Julia frame renderer, and its
// frames. The pixels themselves are computed by the kernels of
// julia_kernel_choice.h.
#include "animation/julia_renderer.h"

#include <cmath>
#include <cstring>

#include "animation/extended_arithmetic.h"
#include "animation/floating_point_state.h"
#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer_kernels.h"

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

// The tables, computed in the renderer's floating-point state; out of line,
// so that none of their arithmetic moves across the setting of the state.
__attribute__((noinline)) void fill_tables() {
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

}  // namespace

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

namespace {

// Frame `number` into `pixels`: as fill_tables, out of line.
__attribute__((noinline)) void render_frame_in(std::int32_t number, std::uint32_t* pixels,
                                               const Kernel& kernel) {
    const JuliaParameter parameter = julia_parameter(number);
    kernel.render(parameter.c_re, parameter.c_im, pixels);
}

// Whether two frames' parameters are the same, bit for bit: as
// render_frame_in, out of line.
__attribute__((noinline)) bool same_parameter_in(std::int32_t a, std::int32_t b) {
    const JuliaParameter first = julia_parameter(a);
    const JuliaParameter second = julia_parameter(b);
    const float parts[2][2] = {{first.c_re, first.c_im}, {second.c_re, second.c_im}};
    return std::memcmp(parts[0], parts[1], sizeof parts[0]) == 0;
}

}  // namespace

void prepare_tables() {
    const FloatingPointState caller = use_renderer_floating_point();
    fill_tables();
    restore_caller_floating_point(caller);
}

void render_frame() {
    frame_number = frame_after(frame_number, 1);
    render_frame_into(frame_number, framebuffer, fastest_kernel());
}

void render_frame_into(std::int32_t number, std::uint32_t* pixels, const Kernel& kernel) {
    const FloatingPointState caller = use_renderer_floating_point();
    render_frame_in(number, pixels, kernel);
    restore_caller_floating_point(caller);
}

bool same_julia_parameter(std::int32_t a, std::int32_t b) {
    const FloatingPointState caller = use_renderer_floating_point();
    const bool same = same_parameter_in(a, b);
    restore_caller_floating_point(caller);
    return same;
}

}  // namespace quenlixor
