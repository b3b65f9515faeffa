#!/usr/bin/python3
"""Draws the toolbar button images of the map program into data/.

Each file is one 16 x 16 image, 24 bits per pixel, on the classic button face colour
(192, 192, 192): the toolbar makes that colour (and the top-left pixel's colour)
transparent. Drawn colours avoid the greys 128 and 223, which the toolbar maps to
system colours. Run with the system python (it needs PIL):

    /usr/bin/python3 scripts/bitmaps/make_toolbar_bitmaps.py [output folder]
"""
import os
import sys

from PIL import Image, ImageDraw

FACE = (192, 192, 192)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
NAVY = (0, 0, 140)
BLUE = (40, 90, 220)
RED = (200, 0, 0)
GREEN = (0, 140, 0)
GLASS = (200, 230, 255)
YELLOW = (250, 210, 0)
SIZE = 16


def canvas():
    img = Image.new("RGB", (SIZE, SIZE), FACE)
    return img, ImageDraw.Draw(img)


def magnifier(d):
    # Lens (outline and glass) at the top left, handle towards the bottom right.
    d.ellipse((1, 1, 10, 10), fill=GLASS, outline=NAVY)
    d.ellipse((2, 2, 9, 9), outline=NAVY)
    for i in range(5):
        d.line((9 + i, 10 + i, 10 + i, 10 + i), fill=BLACK)
        d.line((10 + i, 9 + i, 10 + i, 10 + i), fill=BLACK)


def zoom_plus():
    img, d = canvas()
    magnifier(d)
    d.line((3, 5, 8, 5), fill=BLACK)
    d.line((3, 6, 8, 6), fill=BLACK)
    d.line((5, 3, 5, 8), fill=BLACK)
    d.line((6, 3, 6, 8), fill=BLACK)
    return img


def zoom_minus():
    img, d = canvas()
    magnifier(d)
    d.line((3, 5, 8, 5), fill=BLACK)
    d.line((3, 6, 8, 6), fill=BLACK)
    return img


def zoom_object():
    # Four corner brackets around a small map square: "show everything".
    img, d = canvas()
    d.rectangle((5, 5, 10, 10), fill=GREEN, outline=BLACK)
    for (x, y, dx, dy) in ((1, 1, 1, 1), (14, 1, -1, 1), (1, 14, 1, -1), (14, 14, -1, -1)):
        d.line((x, y, x + 3 * dx, y), fill=NAVY)
        d.line((x, y, x, y + 3 * dy), fill=NAVY)
    return img


def track():
    # A travelled path: a red polyline with its points marked.
    img, d = canvas()
    pts = [(1, 14), (5, 9), (8, 12), (11, 5), (14, 2)]
    d.line(pts, fill=RED, width=2)
    for (x, y) in (pts[0], pts[-1]):
        d.rectangle((x - 1, y - 1, x + 1, y + 1), fill=NAVY)
    return img


def negative():
    # Left half: dark shape on white; right half: the same shape inverted.
    img, d = canvas()
    d.rectangle((1, 2, 7, 13), fill=WHITE, outline=BLACK)
    d.rectangle((8, 2, 14, 13), fill=BLACK, outline=BLACK)
    d.ellipse((2, 5, 6, 9), fill=BLACK)
    d.ellipse((9, 5, 13, 9), fill=WHITE)
    return img


def monochrome():
    # Steps of one hue from dark to light, framed.
    img, d = canvas()
    shades = [(0, 0, 0), (60, 60, 60), (100, 100, 100), (160, 160, 160), (255, 255, 255)]
    d.rectangle((1, 2, 14, 13), outline=BLACK)
    for i, c in enumerate(shades):
        x0 = 2 + i * 12 // 5
        x1 = 2 + (i + 1) * 12 // 5 - 1
        d.rectangle((x0, 3, x1, 12), fill=c)
    return img


def satellite():
    # A satellite body with two solar panels and a signal arc below.
    img, d = canvas()
    d.rectangle((6, 4, 9, 7), fill=YELLOW, outline=BLACK)
    d.rectangle((0, 4, 4, 7), fill=BLUE, outline=NAVY)
    d.rectangle((11, 4, 15, 7), fill=BLUE, outline=NAVY)
    d.line((5, 5, 5, 6), fill=BLACK)
    d.line((10, 5, 10, 6), fill=BLACK)
    d.arc((3, 8, 12, 17), 200, 340, fill=RED)
    d.arc((5, 10, 10, 15), 200, 340, fill=RED)
    d.point((7, 14), fill=RED)
    d.point((8, 14), fill=RED)
    return img


IMAGES = {
    "zoomplus32.bmp": zoom_plus,
    "zoomoins32.bmp": zoom_minus,
    "zoomobject32.bmp": zoom_object,
    "trajet.bmp": track,
    "invert.bmp": negative,
    "monochrome.bmp": monochrome,
    "satellite24.bmp": satellite,
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "data")
    os.makedirs(out, exist_ok=True)
    for name, draw in IMAGES.items():
        img = draw()
        # The top-left pixel decides transparency when loaded: keep it the face colour.
        assert img.getpixel((0, 0)) == FACE, name
        img.save(os.path.join(out, name), format="BMP")


if __name__ == "__main__":
    main()
