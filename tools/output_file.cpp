// The files julia-frames writes, each complete or not at all.
#include "tools/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"

namespace quenlixor {
namespace {

void report(const OutputFile& output, const std::string& reason) {
    std::fprintf(stderr, "julia-frames: cannot write the %s to %s: %s\n", output.what,
                 output.path.c_str(), reason.c_str());
}

// The reason of a failed write or flush, from errno (or none set).
void report_failure(const OutputFile& output, int error_number) {
    // A pipe whose reader has gone ends the run without a message.
    if (error_number != EPIPE) {
        report(output, error_number != 0 ? std::strerror(error_number) : "write failed");
    }
}

// Opens a device or a pipe (or a link to one) where it is.
bool open_in_place(OutputFile& output) {
    output.target = output.path;
    output.file = std::fopen(output.path.c_str(), "wb");
    if (output.file == nullptr) {
        report(output, std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

bool open_output(OutputFile& output, const std::string& path, const char* what) {
    namespace fs = std::filesystem;
    output = OutputFile{};
    output.path = path;
    output.what = what;
    std::error_code error;
    const auto status = fs::status(path, error);
    if (fs::is_directory(status)) {
        report(output, "it is a folder");
        return false;
    }
    if (fs::is_character_file(status) || fs::is_fifo(status)) {
        return open_in_place(output);
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        report(output, "it is not a regular file, a character device or a pipe");
        return false;
    }
    // A link is followed: the file it names is replaced and the link stays.
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
    output.file = std::fopen(output.temporary.c_str(), "wb");
    if (output.file == nullptr) {
        report(output, std::strerror(errno));
        output.temporary.clear();
        return false;
    }
    return true;
}

void open_standard_output(OutputFile& output, const char* what) {
    output = OutputFile{};
    output.path = "standard output";
    output.target = output.path;
    output.what = what;
    output.file = stdout;
    output.standard_output = true;
    use_binary_stdout();
}

void discard_output(OutputFile& output) {
    if (output.file == nullptr) {
        return;
    }
    if (!output.standard_output) {
        std::fclose(output.file);
    }
    output.file = nullptr;
    if (!output.temporary.empty()) {
        std::remove(output.temporary.c_str());
    }
}

bool write_output(OutputFile& output, const void* bytes, std::size_t size) {
    if (size == 0) {
        return true;  // a frame folded into the one before brings no bytes
    }
    errno = 0;
    const bool written = std::fwrite(bytes, 1, size, output.file) == size &&
                         (!output.temporary.empty() || std::fflush(output.file) == 0);
    if (!written) {
        report_failure(output, errno);
        discard_output(output);
        return false;
    }
    return true;
}

bool commit_output(OutputFile& output) {
    errno = 0;
    const bool flushed = std::fflush(output.file) == 0;
    int error_number = errno;
    const bool closed = output.standard_output || std::fclose(output.file) == 0;
    if (error_number == 0) {
        error_number = errno;
    }
    output.file = nullptr;
    if (!flushed || !closed) {
        report_failure(output, error_number);
        if (!output.temporary.empty()) {
            std::remove(output.temporary.c_str());
        }
        return false;
    }
    if (output.temporary.empty()) {
        return true;
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

}  // namespace quenlixor
