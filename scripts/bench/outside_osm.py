#!/usr/bin/python3
"""The outside yardstick of the OpenStreetMap load benchmark, timed on this machine.

Writes the file of bench/osm_load_bench.cpp (the same closed forms, the same bytes) at
build/tm_osm_load_bench.osm in the source tree (or $TM_OSM_BENCH_FILE), unless it is
already there with the right size, and times `ogr2ogr -f Memory` converting it (every
layer of GDAL's OSM driver: points, lines, multipolygons...): the best of a few runs in
milliseconds per load, with ogr2ogr's peak resident size, as the benchmark prints its
own. Run with Debian's python3.
"""
import math
import os
import sys

from outside_common import best_run

NODES = 1000000
WAYS = 100000
NODES_PER_WAY = 10
HIGHWAYS = ["primary", "secondary", "residential", "track", "footway"]
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def document():
    out = ["<?xml version='1.0' encoding='UTF-8'?>\n<osm version=\"0.6\" generator=\"bench\">\n"]
    for i in range(1, NODES + 1):
        lat = 45.0 + 0.5 * math.sin(0.0137 * i)
        lon = 6.0 + 0.5 * math.sin(0.0219 * i + 0.5)
        out.append('  <node id="%d" version="1" timestamp="2020-01-01T00:00:00Z" uid="1" '
                   'user="bench" changeset="1" lat="%.7f" lon="%.7f"' % (i, lat, lon))
        if i % 20 != 0:
            out.append("/>\n")
            continue
        out.append('>\n    <tag k="name" v="N%d"/>\n' % i)
        if (i // 20) % 2 == 0:
            out.append('    <tag k="amenity" v="cafe"/>\n')
        else:
            out.append('    <tag k="natural" v="peak"/>\n    <tag k="ele" v="%d"/>\n' % (i % 4000))
        out.append("  </node>\n")
    for j in range(1, WAYS + 1):
        out.append('  <way id="%d" version="1" timestamp="2020-01-01T00:00:00Z" uid="1" '
                   'user="bench" changeset="1">\n' % j)
        for k in range(1, NODES_PER_WAY + 1):
            out.append('    <nd ref="%d"/>\n' % (NODES_PER_WAY * (j - 1) + k))
        if j % 7 == 0:
            out.append('    <tag k="building" v="yes"/>\n')
        else:
            out.append('    <tag k="highway" v="%s"/>\n    <tag k="name" v="Way %d"/>\n'
                       % (HIGHWAYS[j % 5], j))
            if j % 3 == 0:
                out.append('    <tag k="lanes" v="2"/>\n')
        out.append("  </way>\n")
    out.append("</osm>\n")
    return "".join(out).encode()


def main():
    path = os.environ.get("TM_OSM_BENCH_FILE") or os.path.join(ROOT, "build", "tm_osm_load_bench.osm")
    data = document()
    if not os.path.exists(path) or os.path.getsize(path) != len(data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    del data
    command = ["ogr2ogr", "-f", "Memory", "/vsimem/osm_bench", path]
    best, peak = best_run(command)
    print("== outside yardstick (scripts/bench/outside_osm.py)")
    print(f"ogr2ogr -f Memory big.osm, {NODES} nodes and {WAYS} ways: "
          f"{best * 1000.0:.1f} ms per load, peak {peak:.0f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
