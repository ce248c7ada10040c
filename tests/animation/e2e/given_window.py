"""A window of another program's for the native program to draw into
(--window-id): made on $DISPLAY at 10,20 with the size given, grey, named
"given window", and mapped. Prints its number (0x...) and "ready" once it
shows; then reads commands on standard input, one a line:

    size W H   gives the window that size, and prints "sized" once the X
               server has it
    cover W H  maps a window of that size over its corner
    uncover    destroys that window, and prints "uncovered" once the X
               server has done so
    end        destroys the window and ends

and ends when standard input does.
"""
import sys

from Xlib import X, display


def main():
    width, height = int(sys.argv[1]), int(sys.argv[2])
    connection = display.Display()
    screen = connection.screen()
    window = screen.root.create_window(
        10, 20, width, height, 0, screen.root_depth,
        background_pixel=0x808080, event_mask=X.StructureNotifyMask)
    window.set_wm_name("given window")
    window.map()
    connection.sync()
    while connection.next_event().type != X.MapNotify:
        pass
    print(hex(window.id), flush=True)
    print("ready", flush=True)
    for line in sys.stdin:
        words = line.split()
        if words[:1] == ["size"]:
            window.configure(width=int(words[1]), height=int(words[2]))
            connection.sync()
            print("sized", flush=True)
        elif words[:1] == ["cover"]:
            cover = screen.root.create_window(
                10, 20, int(words[1]), int(words[2]), 0, screen.root_depth,
                background_pixel=0xFFFFFF, event_mask=X.StructureNotifyMask)
            cover.map()
            connection.sync()
            while connection.next_event().type != X.MapNotify:
                pass
        elif words[:1] == ["uncover"]:
            cover.destroy()
            connection.sync()
            print("uncovered", flush=True)
        elif words[:1] == ["end"]:
            break
    window.destroy()
    connection.sync()


main()
