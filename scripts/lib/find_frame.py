#!/usr/bin/python3
"""Finds the program's picture on a screenshot of a whole screen.

    find_frame.py SCREEN.rgb WIDTH HEIGHT FRAMES.raw FIRST SCALE

SCREEN.rgb is the screenshot as 8-bit RGB triples, row 0 first (ImageMagick:
convert SHOT.png -depth 8 rgb:SCREEN.rgb); FRAMES.raw the frames numbered
FIRST, FIRST+1, ... as julia-frames --raw writes them (320x240 little-endian
words 0x00RRGGBB each). Prints "FRAME X Y" and exits 0 when one of the frames
is on the screen at X, Y as exact SCALE x SCALE blocks, every pixel of it;
exits 1 when none is.
"""
import sys

FRAME_WIDTH, FRAME_HEIGHT = 320, 240


def frame_rows(raw):
    """The frame's rows as RGB bytes."""
    rgb = bytearray(len(raw) // 4 * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = raw[2::4], raw[1::4], raw[0::4]
    stride = FRAME_WIDTH * 3
    return [bytes(rgb[y * stride:(y + 1) * stride]) for y in range(FRAME_HEIGHT)]


def scaled(row, scale):
    """The row with each pixel repeated SCALE times."""
    out = bytearray(len(row) * scale)
    for copy in range(scale):
        for channel in range(3):
            out[3 * copy + channel::3 * scale] = row[channel::3]
    return bytes(out)


def shown_at(screen, width, rows, scale, x, y):
    """True when the frame's rows are on the screen at x, y, scaled."""
    stride = width * 3
    for row_index, row in enumerate(rows):
        line = scaled(row, scale)
        for copy in range(scale):
            start = (y + row_index * scale + copy) * stride + x * 3
            if screen[start:start + len(line)] != line:
                return False
    return True


def main():
    screen_path, width, height, frames_path, first, scale = sys.argv[1:7]
    width, height, first, scale = int(width), int(height), int(first), int(scale)
    screen = open(screen_path, 'rb').read()
    frames = open(frames_path, 'rb').read()
    frame_bytes = FRAME_WIDTH * FRAME_HEIGHT * 4
    if len(screen) != width * height * 3 or len(frames) % frame_bytes != 0:
        sys.exit('find_frame.py: the screenshot or the frames are not of the sizes given')
    picture_width, picture_height = FRAME_WIDTH * scale, FRAME_HEIGHT * scale
    for index in range(len(frames) // frame_bytes):
        rows = frame_rows(frames[index * frame_bytes:(index + 1) * frame_bytes])
        top = scaled(rows[0], scale)
        position = screen.find(top)
        while position >= 0:
            y, offset = divmod(position, width * 3)
            x = offset // 3
            if (offset % 3 == 0 and x + picture_width <= width and y + picture_height <= height
                    and shown_at(screen, width, rows, scale, x, y)):
                print(first + index, x, y)
                return 0
            position = screen.find(top, position + 1)
    return 1


if __name__ == '__main__':
    sys.exit(main())
