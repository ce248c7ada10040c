// The animation from the opening of the display to the end of the process,
// shared by the program's entry points (main.cpp, the window and full-screen
// program; screen_saver_main.cpp, the Windows screen saver): opens the
// display where `place` says, renders frame after frame with the frame rate
// in the caption, paced at `options.fps` (and, paced, holding a frame longer
// where the next would flash: the guard on the pace), from
// `options.first_frame` on, and stops at the first key (in a window given to
// it, at a stop request). A
// display that cannot be opened ends the process with status -1 and one
// line on stderr; the end of the loop closes the display and ends it with
// status 0. Closing the window, or the forms that end themselves (a screen
// saver's input, its preview's parent going), end the process from inside
// the display.
#pragma once

#include "animation/program_options.h"
#include "display/display.h"

namespace quenlixor {

[[noreturn]] void animate(const ProgramOptions& options, const DisplayPlace& place);

// The number of the frame after the last one shown: where the run ended
// while a frame was held back, that frame.
std::int32_t frame_after_last_shown();

}  // namespace quenlixor
