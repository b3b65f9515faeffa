#!/usr/bin/python3
"""The outside yardstick of bench/png_decode_bench.cpp: PIL decoding the same PNG.

The benchmark writes its 8000 x 8000 RGB file at $TMPDIR/tm_png_decode_bench.png
(default /tmp) and leaves it there; this script times Image.open(path).load() on that
file and prints the best of a few runs in milliseconds per decode, as the benchmark
prints its figure. Run the benchmark first. Debian's python3 with python3-pil.
"""
import math
import os
import sys
import time

from PIL import Image

Image.MAX_IMAGE_PIXELS = None  # 64 million pixels: above PIL's guard against bombs


def main():
    path = os.path.join(os.environ.get("TMPDIR") or "/tmp", "tm_png_decode_bench.png")
    if not os.path.exists(path):
        print("no %s: run bench_png_decode_bench first" % path)
        return 1
    best = math.inf
    for _ in range(3):
        start = time.perf_counter()
        with Image.open(path) as img:
            img.load()
        best = min(best, time.perf_counter() - start)
    print("PIL Image.open().load() %dx%d: %.0f ms" % (img.width, img.height, best * 1000))
    return 0


if __name__ == "__main__":
    sys.exit(main())
