#!/usr/bin/python3
"""Draws the state images of the map program's tree views into data/.

bitmap224.bmp holds three 16 x 16 images side by side, 24 bits per pixel: no box,
an empty check box, a checked box (state images 0, 1 and 2 of a tree item). The
background is magenta (255, 0, 255), which the program makes transparent; the first
image is nothing but background. Numbered bitmaps of the program live in its folder
as "bitmap<number>.bmp". Run with the system python (it needs PIL):

    /usr/bin/python3 scripts/bitmaps/make_state_bitmaps.py [output folder]
"""
import os
import sys

from PIL import Image, ImageDraw

MASK = (255, 0, 255)
BORDER = (64, 64, 64)
WHITE = (255, 255, 255)
TICK = (0, 0, 0)
SIZE = 16


def box(d, left, checked):
    # A 13 x 13 box in the middle of its cell, one pixel of border.
    d.rectangle((left + 1, 1, left + 13, 13), fill=WHITE, outline=BORDER)
    if not checked:
        return
    # The tick: down from the left, then up to the right, three pixels thick.
    for dy in range(3):
        d.line((left + 4, 6 + dy, left + 6, 8 + dy), fill=TICK)
        d.line((left + 6, 8 + dy, left + 10, 4 + dy), fill=TICK)


def states():
    img = Image.new("RGB", (3 * SIZE, SIZE), MASK)
    d = ImageDraw.Draw(img)
    box(d, SIZE, False)
    box(d, 2 * SIZE, True)
    return img


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "data")
    os.makedirs(out, exist_ok=True)
    img = states()
    assert img.getpixel((0, 0)) == MASK
    img.save(os.path.join(out, "bitmap224.bmp"), format="BMP")


if __name__ == "__main__":
    main()
