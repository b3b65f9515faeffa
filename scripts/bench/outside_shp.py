#!/usr/bin/python3
"""The outside yardstick of the Shapefile load benchmark, timed on this machine.

Writes the files of bench/shp_load_bench.cpp (the same closed forms, the same bytes:
line_z.shp, a polyline Z of 1,000,000 vertices in 4 parts, and points.shp, 1,000,000
point records, each with its .shx and a one-field .dbf) into build/shp_bench/ of the
source tree unless they are already there, and times `ogr2ogr -f Memory` on each: the
best of a few runs in milliseconds per load, with ogr2ogr's peak resident size, as the
benchmark prints its own. Run with Debian's python3.
"""
import math
import os
import struct
import sys

from outside_common import best_run

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
DIR = os.path.join(ROOT, "build", "shp_bench")
VERTICES, PARTS, POINTS = 1000000, 4, 1000000


def header(total, shape_type, box):
    return (struct.pack(">i", 9994) + b"\0" * 20 + struct.pack(">i", total // 2) +
            struct.pack("<ii", 1000, shape_type) + struct.pack("<8d", *box, 0.0, 0.0))


def dbf(n):
    out = [struct.pack("<BBBBIHH", 3, 124, 1, 1, n, 65, 11), b"\0" * 20,
           b"ID".ljust(11, b"\0"), b"N", b"\0" * 4, bytes([10, 0]), b"\0" * 14, b"\x0d"]
    out += [b" %10d" % (i + 1) for i in range(n)]
    out.append(b"\x1a")
    return b"".join(out)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def write_line_z(base):
    x = [600000.0 + 0.5 * i for i in range(VERTICES)]
    y = [6000000.0 + 1000.0 * math.sin(0.001 * i) for i in range(VERTICES)]
    z = [100.0 + 50.0 * math.sin(0.01 * i) for i in range(VERTICES)]
    box = [min(x), min(y), max(x), max(y), min(z), max(z)]
    content = 44 + 4 * PARTS + 16 * VERTICES + 16 + 8 * VERTICES
    xy = [v for pair in zip(x, y) for v in pair]
    shp = [header(100 + 8 + content, 13, box), struct.pack(">ii", 1, content // 2),
           struct.pack("<i4dii", 13, *box[:4], PARTS, VERTICES),
           struct.pack("<%di" % PARTS, *[k * (VERTICES // PARTS) for k in range(PARTS)]),
           struct.pack("<%dd" % (2 * VERTICES), *xy), struct.pack("<2d", box[4], box[5]),
           struct.pack("<%dd" % VERTICES, *z)]
    write(base + ".shp", b"".join(shp))
    write(base + ".shx", header(108, 13, box) + struct.pack(">ii", 50, content // 2))
    write(base + ".dbf", dbf(1))


def write_points(base):
    box = [2.0, 45.0, 2.999, 45.999, 0.0, 0.0]
    shp = [header(100 + 28 * POINTS, 1, box)]
    shx = [header(100 + 8 * POINTS, 1, box)]
    for i in range(POINTS):
        shx.append(struct.pack(">ii", (100 + 28 * i) // 2, 10))
        shp.append(struct.pack(">ii", i + 1, 10) +
                   struct.pack("<idd", 1, 2.0 + 0.001 * (i % 1000), 45.0 + 0.001 * (i // 1000)))
    write(base + ".shp", b"".join(shp))
    write(base + ".shx", b"".join(shx))
    write(base + ".dbf", dbf(POINTS))


def main():
    os.makedirs(DIR, exist_ok=True)
    for name, writer in (("line_z", write_line_z), ("points", write_points)):
        if not os.path.exists(os.path.join(DIR, name + ".shp")):
            writer(os.path.join(DIR, name))
    print("== outside yardstick (scripts/bench/outside_shp.py)")
    for name, what in (("line_z", "polyline Z of %d vertices" % VERTICES),
                       ("points", "%d points" % POINTS)):
        path = os.path.join(DIR, name + ".shp")
        seconds, peak = best_run(["ogr2ogr", "-f", "Memory", "mem", path])
        print(f"ogr2ogr -f Memory mem {name}.shp, {what}: {seconds * 1000.0:.1f} ms per load, "
              f"peak {peak:.0f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
