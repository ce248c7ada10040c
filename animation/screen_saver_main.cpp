// The Windows screen saver, quenlixor-julia.scr: the program's animation
// (animate.h) with the command line Windows gives a screen saver. /s runs it
// on the whole virtual screen, /p HWND previews it in the window HWND; the
// settings (/c, or no argument) are a message box saying there are none,
// and a bad command line is one naming the mistake (status 2): a screen
// saver has no console to write to. It is paced at the default rate, as
// the program is without --fps.
#include <cstdint>
#include <string>

#include "animation/animate.h"
#include "animation/program_options.h"
#include "display/display.h"
#include "platform/paths.h"
#include "platform/platform.h"

namespace quenlixor {
namespace {

[[noreturn]] void run_screen_saver(int argc, char** argv) {
    std::uint64_t window = 0;
    std::string problem;
    DisplayPlace place;
    switch (parse_saver_arguments(argc, argv, window, problem)) {
        case SaverAction::settings:
            show_message(saver_title, saver_no_settings, false, window);
            end_process(0);
        case SaverAction::bad:
            show_message(saver_title, "quenlixor-julia.scr: " + problem, true);
            end_process(2);
        case SaverAction::run:
            place.form = DisplayForm::screen_saver;
            break;
        case SaverAction::preview:
            place.form = DisplayForm::preview;
            place.window = window;
            break;
    }
    // The largest block that fits, as full screen takes it.
    place.scale = 0;
    animate(ProgramOptions{}, place);
}

}  // namespace
}  // namespace quenlixor

int main(int argc, char** argv) {
    quenlixor::run_screen_saver(argc, quenlixor::utf8_arguments(argc, argv));
}
