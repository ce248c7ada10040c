// The files julia-frames writes.
#include "tools/export_outputs.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "animation/julia_renderer.h"
#include "display/pixel_converters.h"
#include "display/present_rows.h"
#include "platform/export_platform.h"

#if defined(QUENLIXOR_HAVE_PNG)
#include <png.h>
#endif

namespace quenlixor {
namespace {

void report(const OutputFile& output, const std::string& reason) {
    std::fprintf(stderr, "julia-frames: cannot write the %s to %s: %s\n", output.what,
                 output.path.c_str(), reason.c_str());
}

}  // namespace

bool open_output(OutputFile& output, const std::string& path, const char* what) {
    namespace fs = std::filesystem;
    output.path = path;
    output.what = what;
    // A link is followed: the file it names is replaced and the link stays.
    std::error_code error;
    fs::path target = path;
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        target = fs::canonical(target, error);
        if (error) {
            report(output, "it is a link to nothing that can be replaced");
            return false;
        }
    }
    output.target = target.string();
    output.temporary = output.target + ".partial-" + std::to_string(process_id());
    // Only a regular file is replaced: never a folder, a device or a pipe.
    const auto status = fs::status(target, error);
    if (fs::is_directory(status)) {
        report(output, "it is a folder");
        return false;
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        report(output, "it is not a regular file");
        return false;
    }
    output.file = std::fopen(output.temporary.c_str(), "wb");
    if (output.file == nullptr) {
        report(output, std::strerror(errno));
        return false;
    }
    return true;
}

void discard_output(OutputFile& output) {
    if (output.file != nullptr) {
        std::fclose(output.file);
        output.file = nullptr;
        std::remove(output.temporary.c_str());
    }
}

bool write_output(OutputFile& output, const void* bytes, std::size_t size) {
    if (size == 0) {
        return true;  // a frame folded into the one before brings no bytes
    }
    errno = 0;
    if (std::fwrite(bytes, 1, size, output.file) != size) {
        const int error_number = errno;
        report(output, error_number != 0 ? std::strerror(error_number) : "write failed");
        discard_output(output);
        return false;
    }
    return true;
}

bool commit_output(OutputFile& output) {
    errno = 0;
    const bool flushed = std::fflush(output.file) == 0;
    int error_number = errno;
    const bool closed = std::fclose(output.file) == 0;
    if (error_number == 0) {
        error_number = errno;
    }
    output.file = nullptr;
    if (!flushed || !closed) {
        report(output, error_number != 0 ? std::strerror(error_number) : "write failed");
        std::remove(output.temporary.c_str());
        return false;
    }
    std::error_code error;
    std::filesystem::rename(output.temporary, output.target, error);
    if (error) {
        report(output, error.message());
        std::remove(output.temporary.c_str());
        return false;
    }
    return true;
}

bool write_whole_file(const std::string& path, const char* what, const void* bytes,
                      std::size_t size) {
    OutputFile output;
    return open_output(output, path, what) && write_output(output, bytes, size) &&
           commit_output(output);
}

// The rows as the window shows them, through the same routine, into a
// surface of the format's bytes.
void raw_frame(const std::uint32_t* pixels, int scale, unsigned char* bytes) {
    present_rows(pixels, picture_width, picture_height, scale, convert_to_xrgb8888, 4, bytes,
                 picture_width * scale * 4);
}

bool write_stream(const void* bytes, std::size_t size, bool& broken_pipe) {
    errno = 0;
    if (std::fwrite(bytes, 1, size, stdout) == size && std::fflush(stdout) == 0) {
        return true;
    }
    broken_pipe = errno == EPIPE;
    if (!broken_pipe) {
        std::fprintf(stderr, "julia-frames: cannot write the raw stream to standard output: %s\n",
                     errno != 0 ? std::strerror(errno) : "write failed");
    }
    return false;
}

#if defined(QUENLIXOR_HAVE_PNG)
bool png_available() {
    return true;
}

namespace {

void append_png_bytes(png_structp png, png_bytep data, png_size_t size) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    bytes->insert(bytes->end(), data, data + size);
}

void flush_nothing(png_structp) {}

// libpng reports its errors by jumping back into this function; nothing
// with a destructor lives in its frame.
bool encode_png_rows(png_structp png, png_infop info, png_bytepp rows, int scale,
                     std::vector<unsigned char>* bytes) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_write_fn(png, bytes, append_png_bytes, flush_nothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture_width * scale),
                 static_cast<png_uint_32>(picture_height * scale), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool encode_png(const std::uint32_t* pixels, int scale, std::vector<unsigned char>& bytes) {
    const auto row_bytes = static_cast<std::size_t>(picture_width * scale * 3);
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture_height * scale));
    std::vector<unsigned char> picture(rows.size() * row_bytes);
    // Bytes R, G, B.
    present_rows(pixels, picture_width, picture_height, scale, convert_to_bgr888, 3, picture.data(),
                 static_cast<std::int32_t>(row_bytes));
    for (std::size_t row = 0; row < rows.size(); ++row) {
        rows[row] = picture.data() + row * row_bytes;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    bytes.clear();
    const bool encoded = info != nullptr && encode_png_rows(png, info, rows.data(), scale, &bytes);
    png_destroy_write_struct(&png, &info);
    return encoded;
}
#else
bool png_available() {
    return false;
}

bool encode_png(const std::uint32_t*, int, std::vector<unsigned char>&) {
    return false;
}
#endif

}  // namespace quenlixor
