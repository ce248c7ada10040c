# The one part of a window manager's work that Wine waits for: the ICCCM
# WM_STATE property of each top-level window, set to NormalState when the
# window is mapped and taken away when it is withdrawn. Nothing else: no
# frame, no reparenting, no placement, no focus; windows stay exactly where
# their programs put them.
#
# Wine's X11 driver takes a window with a caption as managed, and before it
# unmaps one (on every hide or destroy) waits for the window manager to have
# set WM_STATE, two seconds at most. On a bare Xvfb nobody sets it, so every
# closed window costs those two seconds (about 300 s of each Windows
# preset's tests).
#
# Run with DISPLAY set; prints "ready" once it is watching, and runs until it
# is killed or the display goes.
import sys

from Xlib import X, display, error

NORMAL_STATE = 1

connection = display.Display()
# A window that has gone by the time its property is set is no error of
# anyone's.
connection.set_error_handler(lambda *_: None)
wm_state = connection.intern_atom("WM_STATE")
connection.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
connection.sync()
print("ready", flush=True)

try:
    while True:
        event = connection.next_event()
        if event.type == X.MapNotify and not event.override:
            event.window.change_property(wm_state, wm_state, 32, [NORMAL_STATE, X.NONE])
        elif event.type == X.UnmapNotify:
            event.window.delete_property(wm_state)
        else:
            continue
        connection.flush()
except (error.ConnectionClosedError, OSError):
    sys.exit(0)
