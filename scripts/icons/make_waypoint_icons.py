#!/usr/bin/python3
"""Draws the waypoint icons data/wpt0.png .. data/wpt60.png and the lap marker icon
data/lap.png: 24 x 24 palette images whose index 0 is transparent.

Symbol 0 is the plain waypoint flag. The others combine a shape (circle, square,
triangle, diamond, star, cross, pin, flag) with a colour, so that every symbol number
draws a different, legible mark. Run with Debian's python3 and PIL:
    /usr/bin/python3 scripts/icons/make_waypoint_icons.py
The output is deterministic; the images are committed in data/.
"""
import os
import sys

from PIL import Image, ImageDraw

SIZE = 24
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data")

# Palette: 0 transparent, 1 black outline, 2 white, then the fill colours.
COLOURS = [
    (255, 128, 0),   # orange
    (220, 0, 0),     # red
    (0, 140, 0),     # green
    (0, 70, 220),    # blue
    (240, 210, 0),   # yellow
    (150, 0, 170),   # purple
    (0, 170, 190),   # teal
    (120, 70, 20),   # brown
]
PALETTE = [(0, 0, 0), (0, 0, 0), (255, 255, 255)] + COLOURS
BLACK, WHITE, FIRST_FILL = 1, 2, 3


def circle(d, fill):
    d.ellipse([3, 3, 20, 20], fill=fill, outline=BLACK, width=2)


def square(d, fill):
    d.rectangle([4, 4, 19, 19], fill=fill, outline=BLACK, width=2)


def triangle(d, fill):
    d.polygon([(12, 2), (22, 21), (1, 21)], fill=fill, outline=BLACK)
    d.line([(12, 2), (22, 21), (1, 21), (12, 2)], fill=BLACK, width=2)


def diamond(d, fill):
    pts = [(12, 1), (22, 12), (12, 22), (1, 12)]
    d.polygon(pts, fill=fill)
    d.line(pts + [pts[0]], fill=BLACK, width=2)


def star(d, fill):
    pts = [(12, 1), (15, 9), (23, 9), (16, 14), (19, 22), (12, 17), (5, 22), (8, 14), (1, 9), (9, 9)]
    d.polygon(pts, fill=fill)
    d.line(pts + [pts[0]], fill=BLACK, width=1)


def cross(d, fill):
    d.rectangle([9, 2, 14, 21], fill=fill, outline=BLACK)
    d.rectangle([2, 9, 21, 14], fill=fill, outline=BLACK)
    d.rectangle([10, 3, 13, 20], fill=fill)
    d.rectangle([3, 10, 20, 13], fill=fill)


def pin(d, fill):
    d.ellipse([5, 1, 18, 14], fill=fill, outline=BLACK, width=2)
    d.polygon([(7, 11), (16, 11), (12, 22)], fill=fill)
    d.line([(7, 12), (12, 22), (16, 12)], fill=BLACK, width=2)
    d.ellipse([10, 6, 13, 9], fill=WHITE)


def flag(d, fill):
    d.line([(5, 2), (5, 22)], fill=BLACK, width=2)
    d.polygon([(6, 3), (20, 7), (6, 12)], fill=fill)
    d.line([(6, 3), (20, 7), (6, 12)], fill=BLACK, width=1)
    d.line([(2, 22), (9, 22)], fill=BLACK, width=2)


SHAPES = [circle, square, triangle, diamond, star, cross, pin, flag]


def new_image():
    img = Image.new("P", (SIZE, SIZE), 0)
    flat = []
    for c in PALETTE:
        flat.extend(c)
    img.putpalette(flat + [0] * (768 - len(flat)))
    return img, ImageDraw.Draw(img)


def save(img, name):
    img.save(os.path.join(OUT, name), format="PNG", transparency=0, optimize=False)


def waypoint_icon(symbol):
    img, d = new_image()
    if symbol == 0:
        flag(d, FIRST_FILL)
    else:
        k = symbol - 1  # 0..59: 8 shapes x 8 colours, skipping the plain orange flag
        shape = SHAPES[k % len(SHAPES)]
        row = k // len(SHAPES)
        if shape is flag:  # orange is symbol 0's: the other flags take the other colours
            colour = FIRST_FILL + 1 + row % (len(COLOURS) - 1)
        else:
            colour = FIRST_FILL + (row + k % len(SHAPES)) % len(COLOURS)
        shape(d, colour)
        if k >= 56:  # the last four carry a white centre mark
            d.rectangle([10, 10, 13, 13], fill=WHITE, outline=BLACK)
    return img


def lap_icon():
    """A chequered finish flag."""
    img, d = new_image()
    d.line([(4, 2), (4, 22)], fill=BLACK, width=2)
    for row in range(3):
        for col in range(4):
            x, y = 6 + col * 4, 3 + row * 4
            d.rectangle([x, y, x + 3, y + 3], fill=BLACK if (row + col) % 2 == 0 else WHITE)
    d.rectangle([5, 2, 22, 15], outline=BLACK)
    return img


def main():
    os.makedirs(OUT, exist_ok=True)
    for symbol in range(61):
        save(waypoint_icon(symbol), "wpt%d.png" % symbol)
    save(lap_icon(), "lap.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
