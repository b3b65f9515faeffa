#!/usr/bin/python3
"""Writes the image viewer's run-time pictures into data/sorbinel-data/ (the build copies
that folder beside the programs):

- the placeholders "system/erreur.png" (shown for a file that fails to load) and
  "system/inconnu.png" (a file whose type is not recognised), 256 x 192 RGB;
- the toolbar bitmaps "sb_*.bmp", 16 x 16 RGB on the button-face grey, like the map
  program's toolbar bitmaps;
- the window icon "sorbinel.ico" (a PNG image, as the suite's icon loader reads), 32 x 32.

Run with Debian's /usr/bin/python3 (PIL) from the repository's root folder.
"""
import os

from PIL import Image, ImageDraw

FACE = (240, 240, 240)
INK = (32, 32, 32)
RED = (200, 0, 0)
BLUE = (0, 70, 170)
GREEN = (0, 140, 0)
OUT = os.path.join("data", "sorbinel-data")


def placeholder(path, colour, mark):
    img = Image.new("RGB", (256, 192), (255, 255, 255))
    d = ImageDraw.Draw(img)
    d.rectangle([4, 4, 251, 187], outline=colour, width=6)
    if mark == "cross":
        d.line([(64, 40), (192, 152)], fill=colour, width=14)
        d.line([(192, 40), (64, 152)], fill=colour, width=14)
    else:
        # A question mark drawn from an arc, a stem and a dot.
        d.arc([88, 30, 168, 110], start=180, end=90, fill=colour, width=14)
        d.line([(128, 104), (128, 132)], fill=colour, width=14)
        d.ellipse([119, 146, 137, 164], fill=colour)
    img.save(path)


def button(draw):
    img = Image.new("RGB", (16, 16), FACE)
    draw(ImageDraw.Draw(img))
    return img


BUTTONS = {
    "sb_previous.bmp": lambda d: d.polygon([(11, 2), (11, 13), (3, 7)], fill=INK),
    "sb_next.bmp": lambda d: d.polygon([(4, 2), (4, 13), (12, 7)], fill=INK),
    "sb_zoomin.bmp": lambda d: (d.ellipse([1, 1, 11, 11], outline=INK), d.line([(4, 6), (8, 6)], fill=INK),
                                d.line([(6, 4), (6, 8)], fill=INK), d.line([(10, 10), (14, 14)], fill=INK, width=2)),
    "sb_zoomout.bmp": lambda d: (d.ellipse([1, 1, 11, 11], outline=INK), d.line([(4, 6), (8, 6)], fill=INK),
                                 d.line([(10, 10), (14, 14)], fill=INK, width=2)),
    "sb_actual.bmp": lambda d: (d.rectangle([2, 2, 13, 13], outline=INK), d.text((4, 2), "1", fill=INK)),
    "sb_stored.bmp": lambda d: (d.rectangle([2, 2, 13, 13], outline=BLUE), d.rectangle([5, 5, 10, 10], fill=BLUE)),
    "sb_mirror.bmp": lambda d: (d.line([(7, 1), (7, 14)], fill=INK), d.polygon([(5, 3), (5, 12), (1, 7)], fill=BLUE),
                                d.polygon([(9, 3), (9, 12), (13, 7)], fill=BLUE)),
    "sb_rotleft.bmp": lambda d: (d.arc([2, 2, 13, 13], start=200, end=90, fill=GREEN, width=2),
                                 d.polygon([(0, 6), (5, 6), (2, 10)], fill=GREEN)),
    "sb_rotright.bmp": lambda d: (d.arc([2, 2, 13, 13], start=90, end=340, fill=GREEN, width=2),
                                  d.polygon([(15, 6), (10, 6), (13, 10)], fill=GREEN)),
    "sb_slideback.bmp": lambda d: (d.polygon([(8, 2), (8, 13), (1, 7)], fill=BLUE),
                                   d.polygon([(15, 2), (15, 13), (8, 7)], fill=BLUE)),
    "sb_slidefwd.bmp": lambda d: (d.polygon([(0, 2), (0, 13), (7, 7)], fill=BLUE),
                                  d.polygon([(7, 2), (7, 13), (14, 7)], fill=BLUE)),
    "sb_slower.bmp": lambda d: (d.ellipse([1, 1, 14, 14], outline=INK), d.line([(7, 3), (7, 8), (11, 8)], fill=INK),
                                d.line([(12, 1), (12, 5)], fill=RED), d.line([(10, 3), (14, 3)], fill=RED)),
    "sb_faster.bmp": lambda d: (d.ellipse([1, 1, 14, 14], outline=INK), d.line([(7, 3), (7, 8), (11, 8)], fill=INK),
                                d.line([(10, 3), (14, 3)], fill=RED)),
    "sb_print.bmp": lambda d: (d.rectangle([4, 1, 11, 6], outline=INK, fill=(255, 255, 255)),
                               d.rectangle([1, 6, 14, 11], fill=INK), d.rectangle([4, 10, 11, 14], fill=(255, 255, 255),
                                                                                  outline=INK)),
    "sb_info.bmp": lambda d: (d.ellipse([1, 1, 14, 14], fill=BLUE), d.rectangle([7, 6, 8, 12], fill=(255, 255, 255)),
                              d.rectangle([7, 3, 8, 4], fill=(255, 255, 255))),
}


def window_icon(path):
    img = Image.new("RGB", (32, 32), FACE)
    d = ImageDraw.Draw(img)
    d.rectangle([3, 6, 28, 25], outline=INK, width=2, fill=(200, 225, 255))
    d.polygon([(5, 23), (13, 12), (19, 19), (22, 15), (27, 23)], fill=GREEN)
    d.ellipse([20, 8, 25, 13], fill=(240, 200, 0))
    img.save(path, format="PNG")


def main():
    os.makedirs(os.path.join(OUT, "system"), exist_ok=True)
    placeholder(os.path.join(OUT, "system", "erreur.png"), RED, "cross")
    placeholder(os.path.join(OUT, "system", "inconnu.png"), BLUE, "question")
    for name, draw in BUTTONS.items():
        button(draw).save(os.path.join(OUT, name), format="BMP")
    window_icon(os.path.join(OUT, "sorbinel.ico"))


if __name__ == "__main__":
    main()
