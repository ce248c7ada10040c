// One run of julia-frames, from its arguments to its exit status.
#pragma once

namespace quenlixor {

// Reads the command line (argv[0] is the program), renders the frames and
// writes the outputs. Returns the exit status: 0 done, 1 an output could not
// be written or the run was stopped, 2 bad input (one line on stderr).
int run_export(int argc, char** argv);

// The same run without the flash check: the export benchmark's baseline.
int run_export_unchecked(int argc, char** argv);

}  // namespace quenlixor
