// The few operating-system services julia-frames needs beyond the standard
// library, one implementation file per platform chosen when it is linked:
// export_platform_posix.cpp and export_platform_win32.cpp.
#pragma once

namespace quenlixor {

// From now on SIGINT and SIGTERM (Ctrl+C, Ctrl+Break and closing the console
// on Windows) only record that a stop was asked for; a write to a closed pipe
// fails with EPIPE instead of ending the process.
void catch_export_signals();

// The number of the signal that asked the export to stop (the POSIX number:
// 2 for an interrupt, 15 for a termination), or 0 while none has.
int stop_signal();

// Whether standard error is a terminal.
bool stderr_is_terminal();

// The processors this process may run on (at least 1).
int processors_available();

// This process's identifier, for names of temporary files.
int process_id();

// Makes standard output carry bytes unchanged (Windows translates newlines
// in text mode; POSIX has nothing to do).
void use_binary_stdout();

}  // namespace quenlixor
