#!/usr/bin/python3
"""Writes the diffusion program's run-time data into data/quellix-data/ (a folder named
"quellix" would collide with the program file when the build copies data/ beside it): the button icons
("valid.ico", "boucle.ico", "rev.ico", "pause.ico", "start.ico", "stop.ico"), the window
icon "quellix.ico" and the example configuration "quellix_exemple.cfg".

The icon files hold PNG images (the suite's icon loader reads PNG whatever the name):
22 x 22 pixels, "boucle.ico" 24 x 24 and the window icon 32 x 32, RGB on the button-face
grey so that they sit on the buttons without transparency.

Run with Debian's /usr/bin/python3 (PIL) from the repository's root folder.
"""
import os

from PIL import Image, ImageDraw

FACE = (240, 240, 240)
INK = (32, 32, 32)
GREEN = (0, 140, 0)
RED = (200, 0, 0)
BLUE = (0, 70, 170)
OUT = os.path.join("data", "quellix-data")


def icon(size):
    img = Image.new("RGB", (size, size), FACE)
    return img, ImageDraw.Draw(img)


def valid():
    img, d = icon(22)
    d.line([(4, 11), (9, 17), (18, 5)], fill=GREEN, width=3)
    return img


def boucle():
    img, d = icon(24)
    d.arc([4, 4, 19, 19], start=40, end=330, fill=BLUE, width=3)
    d.polygon([(14, 2), (21, 7), (13, 10)], fill=BLUE)
    return img


def rev():
    img, d = icon(22)
    d.polygon([(16, 4), (16, 18), (5, 11)], fill=INK)
    return img


def pause():
    img, d = icon(22)
    d.rectangle([5, 4, 9, 18], fill=INK)
    d.rectangle([13, 4, 17, 18], fill=INK)
    return img


def start():
    img, d = icon(22)
    d.polygon([(6, 4), (6, 18), (17, 11)], fill=INK)
    return img


def stop():
    img, d = icon(22)
    d.rectangle([5, 5, 17, 17], fill=RED)
    return img


def window_icon():
    img, d = icon(32)
    d.ellipse([10, 10, 21, 21], fill=BLUE)
    for r in (6, 11):
        d.arc([16 - r - 5, 16 - r - 5, 16 + r + 5, 16 + r + 5], start=300, end=60, fill=BLUE, width=2)
        d.arc([16 - r - 5, 16 - r - 5, 16 + r + 5, 16 + r + 5], start=120, end=240, fill=BLUE, width=2)
    return img


CONFIG = """# Example configuration of the NMEA diffusion program.
#
# Copy this file to "quellix.cfg" in this folder (or in the program folder) and remove the
# "# " in front of the settings you want. A setting is a line that begins with its key,
# followed by blanks or tabs and the value up to the end of the line. Any line that does
# not begin with a key (such as these ones) is never read.
#
# Language of the menus and messages: FRANCAIS or ENGLISH.
# LANG ENGLISH
#
# Trace log: LOGERROR on a line by itself writes failures to "zz_QXDF.log" in LOG_DIR.
# LOGERROR
#
# Destinations (host, a blank, port), selected at start: up to nine keys.
# ACTIVE_NMEA_UDP_DIFFUSE_ADR1 127.0.0.1 4000
# ACTIVE_NMEA_UDP_DIFFUSE_ADR2 192.168.1.20 10110
#
# Known destinations that receive nothing until selected in Diffusion addresses.
# INACTIVE_NMEA_UDP_DIFFUSE_ADR1 192.168.1.30 10110
#
# The following keys are written by the command line for the current run only:
#   DIFFUSE (ON/OFF, "-diffuseoff", "-diffuse_host:port"), IPADR ("-diffuse_host:port"),
#   NAVIGPORT ("-navig port", "-naviglog port"), NAVIGPORTSPEED ("-navigportspeed speed").
"""


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, make in (("valid.ico", valid), ("boucle.ico", boucle), ("rev.ico", rev),
                       ("pause.ico", pause), ("start.ico", start), ("stop.ico", stop),
                       ("quellix.ico", window_icon)):
        make().save(os.path.join(OUT, name), format="PNG", optimize=True)
    with open(os.path.join(OUT, "quellix_exemple.cfg"), "w", encoding="ascii", newline="\n") as f:
        f.write(CONFIG)


if __name__ == "__main__":
    main()
