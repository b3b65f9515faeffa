#!/usr/bin/python3
"""The outside yardsticks of the map display's benchmarks, timed on this machine.

Track: the 1,000,000 screen points of bench/redraw_track_bench.cpp (the same
closed-form path, recomputed here) drawn by PIL's ImageDraw.line, 1 pixel wide as the
track's links are drawn at fit scale, into a white 1920 x 1080 RGB image.

Raster: a 10000 x 10000 RGB image (the pattern of bench/raster_display_bench.cpp,
value x * (plane + 1) + y modulo 256) stored as an uncompressed TIFF in a temporary
folder, reduced by `gdal_translate -r average -outsize 1080 1080` (the fit of the image
into a 1920 x 1080 window is 1080 x 1080 screen pixels). The TIFF is written before
timing; each run's output goes to the same folder.

Each figure is the best of a few runs, printed in milliseconds per draw as the
benchmarks print theirs. Run with Debian's python3 (PIL and GDAL's command-line tools).
"""
import math
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy
from PIL import Image, ImageDraw

SCREEN_W, SCREEN_H = 1920, 1080
TRACK_POINTS = 1000000
RASTER_SIDE = 10000


def track_points(n):
    """Point i of the path: x = 960 + 940 sin(0.0137 i), y = 540 + 530 sin(0.0219 i + 0.5)."""
    return [(960.0 + 940.0 * math.sin(0.0137 * i), 540.0 + 530.0 * math.sin(0.0219 * i + 0.5))
            for i in range(n)]


def best_ms(run, repeats):
    best = math.inf
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best * 1000.0


def time_track():
    points = track_points(TRACK_POINTS)

    def draw():
        image = Image.new("RGB", (SCREEN_W, SCREEN_H), (255, 255, 255))
        ImageDraw.Draw(image).line(points, fill=(255, 0, 255), width=1)

    return best_ms(draw, 5)


def raster_pattern(side):
    """Plane p of pixel (x, y) is x * (p + 1) + y modulo 256, as the raster benchmark fills it."""
    x = numpy.arange(side, dtype=numpy.uint32)[numpy.newaxis, :]
    y = numpy.arange(side, dtype=numpy.uint32)[:, numpy.newaxis]
    planes = [((x * (p + 1) + y) & 255).astype(numpy.uint8) for p in range(3)]
    return numpy.dstack(planes)


def time_raster(folder):
    source = Path(folder) / "raster.tif"
    target = Path(folder) / "fit.tif"
    Image.fromarray(raster_pattern(RASTER_SIDE), "RGB").save(source, compression=None)
    command = ["gdal_translate", "-q", "-r", "average", "-outsize", "1080", "1080",
               str(source), str(target)]

    def translate():
        subprocess.run(command, check=True)

    return best_ms(translate, 3)


def main():
    print("== outside yardsticks (scripts/bench/outside_display.py)")
    print(f"PIL ImageDraw.line, {TRACK_POINTS} points into {SCREEN_W}x{SCREEN_H}: "
          f"{time_track():.1f} ms per draw")
    with tempfile.TemporaryDirectory(prefix="tm_outside_display_") as folder:
        print(f"gdal_translate -r average -outsize 1080 1080 of a {RASTER_SIDE}x{RASTER_SIDE} "
              f"RGB uncompressed TIFF: {time_raster(folder):.1f} ms per draw")
    return 0


if __name__ == "__main__":
    sys.exit(main())
