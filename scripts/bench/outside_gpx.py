#!/usr/bin/python3
"""The outside yardstick of the GPX load benchmark, timed on this machine.

Writes the file of bench/gpx_load_bench.cpp (the same closed forms, the same bytes) at
$TMPDIR/tm_gpx_load_bench.gpx (default /tmp), unless it is already there with the right
size, and times `gpsbabel -i gpx -f big.gpx -o unicsv -F /dev/null` on it: the best of a
few runs in milliseconds per load, with gpsbabel's peak resident size, as the benchmark
prints its own. Run with Debian's python3.
"""
import math
import os
import resource
import subprocess
import sys
import time

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
    path = os.path.join(os.environ.get("TMPDIR") or "/tmp", "tm_gpx_load_bench.gpx")
    data = document()
    if not os.path.exists(path) or os.path.getsize(path) != len(data):
        with open(path, "wb") as f:
            f.write(data)
    command = ["gpsbabel", "-i", "gpx", "-f", path, "-o", "unicsv", "-F", "/dev/null"]
    best = math.inf
    for _ in range(3):
        start = time.perf_counter()
        subprocess.run(command, check=True)
        best = min(best, time.perf_counter() - start)
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0
    print("== outside yardstick (scripts/bench/outside_gpx.py)")
    print(f"gpsbabel -i gpx -f big.gpx -o unicsv -F /dev/null, {POINTS} track points: "
          f"{best * 1000.0:.1f} ms per load, peak {peak:.0f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
