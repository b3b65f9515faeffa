#!/usr/bin/python3
"""Peer of the UTM row of the comparison table (scripts/bench/table.py): pyproj projecting
1,000,000 WGS 84 points to UTM zone 31 north from numpy arrays, the points of
bench/projection_bench.cpp (the same generator: longitudes 0..6 E, latitudes 0..84 N).
Times one warm-up run and then ITERATIONS runs in this process and prints the median
seconds of one run on its last line. Run with Debian's python3 (numpy, pyproj).
"""
import statistics
import sys
import time

import numpy
from pyproj import Transformer

POINTS = 1000000
ITERATIONS = 7


def points(lon0, lon1, lat0, lat1):
    """The linear congruential sequence of the benchmark: state = state * 1103515245 +
    12345 (mod 2^32) from 7, each value (state >> 8) / 2^24, longitude then latitude."""
    values = numpy.empty(2 * POINTS, dtype=numpy.float64)
    s = 7
    for i in range(2 * POINTS):
        s = (s * 1103515245 + 12345) & 0xFFFFFFFF
        values[i] = (s >> 8) / 16777216.0
    lon = lon0 + (lon1 - lon0) * values[0::2]
    lat = lat0 + (lat1 - lat0) * values[1::2]
    return numpy.ascontiguousarray(lon), numpy.ascontiguousarray(lat)


def main():
    lon, lat = points(0.0, 6.0, 0.0, 84.0)
    to_utm = Transformer.from_crs("EPSG:4326", "EPSG:32631", always_xy=True)
    to_utm.transform(lon, lat)
    times = []
    for _ in range(ITERATIONS):
        start = time.perf_counter()
        x, y = to_utm.transform(lon, lat)
        times.append(time.perf_counter() - start)
    assert x.shape == (POINTS,) and numpy.isfinite(x).all()
    print("%.6f" % statistics.median(times))
    return 0


if __name__ == "__main__":
    sys.exit(main())
