// julia-frames: renders frames of the animation on every core and writes
// them as an animated GIF, PNG pictures, raw framebuffers or a raw stream.
// See export_usage_text (export_options.cpp) for the command line.
//
// Exit status: 0 on success, 1 when an output cannot be written or the run
// is stopped, 2 on bad input (with a one-line message on stderr).
#include "platform/paths.h"
#include "tools/export_run.h"

int main(int argc, char** argv) {
    return quenlixor::run_export(argc, quenlixor::utf8_arguments(argc, argv));
}
