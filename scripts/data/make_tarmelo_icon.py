#!/usr/bin/python3
"""Writes the map program's window icon "data/tarmelo.ico": a PNG image (the suite's
icon loader reads PNG whatever the name), 32 x 32, RGB: a folded map with a track and a
waypoint flag. The program scales it to 16 x 16 for its small icon.

Run with Debian's /usr/bin/python3 (PIL) from the repository's root folder.
"""
import os

from PIL import Image, ImageDraw

FACE = (240, 240, 240)
INK = (32, 32, 32)
LAND = (214, 232, 190)
WATER = (150, 190, 235)
TRACK = (200, 0, 0)
FLAG = (0, 70, 170)


def main():
    img = Image.new("RGB", (32, 32), FACE)
    d = ImageDraw.Draw(img)
    # Three panels of a folded map.
    d.polygon([(2, 6), (11, 3), (11, 27), (2, 30)], fill=LAND, outline=INK)
    d.polygon([(11, 3), (21, 6), (21, 30), (11, 27)], fill=WATER, outline=INK)
    d.polygon([(21, 6), (30, 3), (30, 27), (21, 30)], fill=LAND, outline=INK)
    d.line([(4, 25), (9, 18), (15, 21), (20, 12), (26, 15)], fill=TRACK, width=2)
    d.line([(26, 15), (26, 6)], fill=INK, width=1)
    d.polygon([(26, 6), (30, 8), (26, 10)], fill=FLAG)
    img.save(os.path.join("data", "tarmelo.ico"), format="PNG")


if __name__ == "__main__":
    main()
