#!/usr/bin/python3
"""The outside yardstick of the GPX load benchmark, timed on this machine.

Writes the file of bench/gpx_load_bench.cpp (the same closed forms, the same bytes) at
$TMPDIR/tm_gpx_load_bench.gpx (default /tmp), unless it is already there with the right
size, and times `gpsbabel -t -i gpx -f big.gpx` (read only) on it: the median of a
few runs in milliseconds per load, with gpsbabel's peak resident size, as the benchmark
prints its own. Run with Debian's python3.
"""
import math
import sys

from outside_common import best_run, report, temp_path, write_once

POINTS = 1000000
WAYPOINTS = 100


def document():
    out = ['<?xml version="1.0" encoding="UTF-8"?>\n'
           '<gpx version="1.1" creator="bench" xmlns="http://www.topografix.com/GPX/1/1">\n']
    for k in range(WAYPOINTS):
        out.append('  <wpt lat="%.9f" lon="%.9f"><name>WPT%03d</name></wpt>\n'
                   % (44.0 + k / 100.0, 5.0 + k / 200.0, k))
    out.append("  <trk><name>Big</name><trkseg>\n")
    for i in range(POINTS):
        s, d = i % 86400, i // 86400
        out.append('    <trkpt lat="%.9f" lon="%.9f"><ele>%.2f</ele>'
                   '<time>2020-01-%02dT%02d:%02d:%02dZ</time></trkpt>\n'
                   % (45.0 + 0.5 * math.sin(0.0137 * i), 6.0 + 0.5 * math.sin(0.0219 * i + 0.5),
                      1000.0 + 500.0 * math.sin(0.001 * i), 1 + d, s // 3600, s // 60 % 60,
                      s % 60))
    out.append("  </trkseg></trk>\n</gpx>\n")
    return "".join(out).encode()


def main():
    path = temp_path("tm_gpx_load_bench.gpx")
    write_once(path, document())
    command = ["gpsbabel", "-t", "-i", "gpx", "-f", path]
    best, peak = best_run(command)
    report("scripts/bench/outside_gpx.py",
           f"gpsbabel -t -i gpx -f big.gpx, {POINTS} track points",
           best, peak)
    return 0


if __name__ == "__main__":
    sys.exit(main())
