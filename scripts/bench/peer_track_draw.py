#!/usr/bin/python3
"""Peer of the track redraw row of the comparison table (scripts/bench/table.py): PIL's
ImageDraw.line drawing the 1,000,000 screen points of bench/redraw_track_bench.cpp
(x = 960 + 940 sin(0.0137 i), y = 540 + 530 sin(0.0219 i + 0.5)), 1 pixel wide as the
track's links are drawn at fit scale, into a white 1920 x 1080 RGB image cleared each
run, as the redraw clears the window. Times one warm-up run and then ITERATIONS runs in
this process and prints the median seconds of one run on its last line. Run with
Debian's python3 (PIL).
"""
import math
import statistics
import sys
import time

from PIL import Image, ImageDraw

POINTS = 1000000
ITERATIONS = 5


def main():
    points = [(960.0 + 940.0 * math.sin(0.0137 * i), 540.0 + 530.0 * math.sin(0.0219 * i + 0.5))
              for i in range(POINTS)]

    def draw():
        image = Image.new("RGB", (1920, 1080), (255, 255, 255))
        ImageDraw.Draw(image).line(points, fill=(255, 0, 255), width=1)

    draw()
    times = []
    for _ in range(ITERATIONS):
        start = time.perf_counter()
        draw()
        times.append(time.perf_counter() - start)
    print("%.6f" % statistics.median(times))
    return 0


if __name__ == "__main__":
    sys.exit(main())
