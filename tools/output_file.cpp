// The files julia-frames writes, each complete or not at all.
#include "tools/output_file.h"

#include <cerrno>
#include <cstring>

#include "platform/paths.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

void report(const OutputFile& output, const std::string& reason) {
    print_error("julia-frames: cannot write the " + std::string(output.what) + " to " +
                output.path + ": " + reason + "\n");
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
    output.file = open_for_writing(output.path.c_str());
    if (output.file == nullptr) {
        report(output, std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

bool open_output(OutputFile& output, const std::string& path, const char* what) {
    output = OutputFile{};
    output.path = path;
    output.what = what;
    switch (path_kind(path.c_str())) {
        case PathKind::folder:
            report(output, "it is a folder");
            return false;
        case PathKind::device_or_pipe:
            return open_in_place(output);
        case PathKind::other:
            report(output, "it is not a regular file, a character device or a pipe");
            return false;
        case PathKind::none:
        case PathKind::regular:
            break;
    }
    // A link is followed: the file it names is replaced and the link stays.
    if (!replaced_file(path.c_str(), output.target)) {
        report(output, "it is a link to nothing that can be replaced");
        return false;
    }
    output.temporary = output.target + ".partial-" + std::to_string(process_id());
    output.file = open_for_writing(output.temporary.c_str());
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
        remove_file(output.temporary.c_str());
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
            remove_file(output.temporary.c_str());
        }
        return false;
    }
    if (output.temporary.empty()) {
        return true;
    }
    if (!replace_file(output.temporary.c_str(), output.target.c_str())) {
        report(output, std::strerror(errno));
        remove_file(output.temporary.c_str());
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
