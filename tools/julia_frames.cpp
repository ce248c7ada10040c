// julia-frames: renders frames of the animation and writes the last one as
// a PNG picture or as the raw framebuffer.
//
//   julia-frames --frame N [--count K] [--kernel NAME] [--png PATH] [--raw PATH]
//
// Exit status: 0 on success, 1 when an output cannot be written, 2 on bad
// input (with a one-line message on stderr).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "animation/julia_kernel_choice.h"
#include "animation/julia_renderer.h"
#include "platform/platform.h"

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

#if defined(QUENLIXOR_HAVE_PNG)
#include <png.h>
#endif

namespace quenlixor {
namespace {

constexpr std::int64_t largest_number = 2147483647;

constexpr const char* usage_text =
    "usage: julia-frames --frame N [--count K] [--kernel NAME] [--png PATH] [--raw PATH]\n"
    "\n"
    "Renders the frames of the Julia animation numbered N, N+1, ..., N+K-1 and writes\n"
    "the last one. The frame after 2147483647 is 0, as in the program.\n"
    "\n"
    "  --frame N      first frame number, 0 to 2147483647\n"
    "  --count K      number of frames to render, 1 to 2147483647 (default 1)\n"
    "  --kernel NAME  reference, sse2, avx2 or avx512 (default: the fastest\n"
    "                 this processor has)\n"
    "  --png PATH     write an 8-bit RGB PNG of what a 32-bit desktop shows\n"
    "  --raw PATH     write the framebuffer: 76800 little-endian 32-bit words, row 0 first\n"
    "  --help         show this text\n"
    "\n"
    "Without --png or --raw, --count must be given (the frames are rendered and dropped).\n"
    "Exit status: 0 done, 1 an output could not be written, 2 bad input.\n";

struct Options {
    std::int64_t first_frame = -1;
    std::int64_t count = 1;
    bool count_given = false;
    const char* kernel = nullptr;
    const char* png_path = nullptr;
    const char* raw_path = nullptr;
};

int bad_input(const std::string& message) {
    std::fprintf(stderr, "julia-frames: %s (see --help)\n", message.c_str());
    return 2;
}

// A decimal number from lowest to largest_number, nothing else.
bool parse_number(const char* text, std::int64_t lowest, std::int64_t* value) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    std::int64_t result = 0;
    for (const char* digit = text; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') {
            return false;
        }
        result = result * 10 + (*digit - '0');
        if (result > largest_number) {
            return false;
        }
    }
    if (result < lowest) {
        return false;
    }
    *value = result;
    return true;
}

int process_id() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// Writes through a temporary file beside the destination and renames it into
// place, so that a failed write leaves nothing behind and a reader never sees
// half a file.
template <typename WriteContents>
bool write_file(const char* path, const char* what, WriteContents write_contents) {
    const std::string temporary = std::string(path) + ".partial-" + std::to_string(process_id());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "julia-frames: cannot write the %s to %s: %s\n", what, path,
                     std::strerror(errno));
        return false;
    }
    errno = 0;
    bool written = write_contents(file);
    int error_number = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        error_number = errno;
    }
    if (!written) {
        std::fprintf(stderr, "julia-frames: cannot write the %s to %s: %s\n", what, path,
                     error_number != 0 ? std::strerror(error_number) : "write failed");
        std::remove(temporary.c_str());
        return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::fprintf(stderr, "julia-frames: cannot write the %s to %s: %s\n", what, path,
                     error.message().c_str());
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool write_raw(std::FILE* file) {
    static unsigned char bytes[pixel_count * 4];
    for (int pixel = 0; pixel < pixel_count; ++pixel) {
        const std::uint32_t word = framebuffer[pixel];
        bytes[pixel * 4 + 0] = static_cast<unsigned char>(word);
        bytes[pixel * 4 + 1] = static_cast<unsigned char>(word >> 8);
        bytes[pixel * 4 + 2] = static_cast<unsigned char>(word >> 16);
        bytes[pixel * 4 + 3] = static_cast<unsigned char>(word >> 24);
    }
    return std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes && std::fflush(file) == 0;
}

#if defined(QUENLIXOR_HAVE_PNG)
// What a 32-bit desktop shows: red, green and blue bytes, bits 24-31 dropped.
unsigned char png_rows[picture_height][picture_width * 3];

bool write_png(std::FILE* file) {
    for (int row = 0; row < picture_height; ++row) {
        for (int column = 0; column < picture_width; ++column) {
            const std::uint32_t pixel = framebuffer[row * picture_width + column];
            png_rows[row][column * 3 + 0] = static_cast<unsigned char>(pixel >> 16);
            png_rows[row][column * 3 + 1] = static_cast<unsigned char>(pixel >> 8);
            png_rows[row][column * 3 + 2] = static_cast<unsigned char>(pixel);
        }
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    // libpng reports its errors by jumping back here; nothing with a
    // destructor lives in this frame.
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, picture_width, picture_height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (auto& row : png_rows) {
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fflush(file) == 0;
}
#endif

int run(int argc, char** argv) {
    Options options;
    bool frame_given = false;
    bool kernel_given = false;
    for (int index = 1; index < argc; ++index) {
        std::string_view argument = argv[index];
        if (argument == "--help" || argument == "-h") {
            std::fputs(usage_text, stdout);
            return 0;
        }
        // Both "--name value" and "--name=value".
        const char* value = nullptr;
        bool inline_value = false;
        if (const auto equals = argument.find('=');
            argument.starts_with("--") && equals != std::string_view::npos) {
            value = argv[index] + equals + 1;
            argument = argument.substr(0, equals);
            inline_value = true;
        }
        const bool known = argument == "--frame" || argument == "--count" ||
                           argument == "--kernel" || argument == "--png" || argument == "--raw";
        if (!known) {
            return bad_input("unknown option '" + std::string(argv[index]) + "'");
        }
        if (!inline_value) {
            if (index + 1 >= argc) {
                return bad_input(std::string(argument) + " needs a value");
            }
            value = argv[++index];
        }
        if (argument == "--frame") {
            if (frame_given) {
                return bad_input("--frame given twice");
            }
            frame_given = true;
            if (!parse_number(value, 0, &options.first_frame)) {
                return bad_input("--frame takes a frame number from 0 to 2147483647, not '" +
                                 std::string(value) + "'");
            }
        } else if (argument == "--count") {
            if (options.count_given) {
                return bad_input("--count given twice");
            }
            options.count_given = true;
            if (!parse_number(value, 1, &options.count)) {
                return bad_input("--count takes a number of frames from 1 to 2147483647, not '" +
                                 std::string(value) + "'");
            }
        } else if (argument == "--kernel") {
            if (kernel_given) {
                return bad_input("--kernel given twice");
            }
            kernel_given = true;
            options.kernel = value;
        } else if (argument == "--png") {
            if (options.png_path != nullptr) {
                return bad_input("--png given twice");
            }
            options.png_path = value;
        } else {
            if (options.raw_path != nullptr) {
                return bad_input("--raw given twice");
            }
            options.raw_path = value;
        }
    }

    if (!frame_given) {
        return bad_input("--frame N is required");
    }
    if (options.png_path == nullptr && options.raw_path == nullptr && !options.count_given) {
        return bad_input("nothing to do: give --png PATH, --raw PATH or --count K");
    }
    if ((options.png_path != nullptr && *options.png_path == '\0') ||
        (options.raw_path != nullptr && *options.raw_path == '\0')) {
        return bad_input("an output path is empty");
    }
#if !defined(QUENLIXOR_HAVE_PNG)
    if (options.png_path != nullptr) {
        return bad_input("PNG output is unavailable in this build (it has no libpng); use --raw");
    }
#endif
    Kernel kernel = fastest_kernel();
    if (options.kernel != nullptr) {
        if (!kernel_by_name(options.kernel, kernel)) {
            return bad_input("unknown kernel '" + std::string(options.kernel) +
                             "' (reference, sse2, avx2 or avx512)");
        }
        if (!kernel_available(kernel)) {
            return bad_input("this processor cannot run the " + std::string(options.kernel) +
                             " kernel");
        }
    }

    prepare_tables();
    use_kernel(kernel);
    // render_frame() advances the number first; the frame before 0 is the
    // last one, 2147483647.
    frame_number = options.first_frame == 0 ? static_cast<std::int32_t>(largest_number)
                                            : static_cast<std::int32_t>(options.first_frame - 1);
    for (std::int64_t frame = 0; frame < options.count; ++frame) {
        render_frame();
    }

    bool written = true;
    if (options.raw_path != nullptr) {
        written = write_file(options.raw_path, "raw frame", write_raw) && written;
    }
#if defined(QUENLIXOR_HAVE_PNG)
    if (options.png_path != nullptr) {
        written = write_file(options.png_path, "PNG picture", write_png) && written;
    }
#endif
    return written ? 0 : 1;
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
    // The renderer's reference arithmetic is x87 extended precision; Windows
    // may start a program with a 53-bit mantissa.
    quenlixor::use_extended_precision();
    return quenlixor::run(argc, argv);
}
