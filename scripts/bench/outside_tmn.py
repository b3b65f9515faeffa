#!/usr/bin/python3
"""The outside yardstick of the navigation log benchmark, timed on this machine.

Writes the points of bench/tmn_load_bench.cpp (the same closed forms) as a CSV file at
$TMPDIR/tm_tmn_load_bench.csv (default /tmp), unless it is already there with the right
size, and times `gpsbabel -t -i unicsv -f same.csv -o gpx -F /dev/null` on it: the best
of a few runs in milliseconds per load, with gpsbabel's peak resident size, as the
benchmark prints its own. Run with Debian's python3.
"""
import math
import os
import resource
import subprocess
import sys
import time

POINTS = 1000000


def document():
    out = ["lon,lat,date,time,alt,geoid,temp,speed,course,sat,fix,hdop,pdop\n"]
    for i in range(POINTS):
        s, d = i % 86400, i // 86400
        alt = 1000.0 + 500.0 * math.sin(0.001 * i)
        out.append("%.15f,%.15f,2020/01/%02d,%02d:%02d:%02d,%.12e,%.12e,%.12e,%.12e,%.12e,"
                   "8,3d,%.12e,%.12e\n"
                   % (6.0 + 0.5 * math.sin(0.0219 * i + 0.5), 45.0 + 0.5 * math.sin(0.0137 * i),
                      1 + d, s // 3600, s // 60 % 60, s % 60, alt, 50.0,
                      20.0 + 5.0 * math.sin(0.0003 * i), 10.0 + 3.0 * math.sin(0.01 * i),
                      float(i % 360), 0.9, 1.6))
    return "".join(out).encode()


def main():
    path = os.path.join(os.environ.get("TMPDIR") or "/tmp", "tm_tmn_load_bench.csv")
    data = document()
    if not os.path.exists(path) or os.path.getsize(path) != len(data):
        with open(path, "wb") as f:
            f.write(data)
    command = ["gpsbabel", "-t", "-i", "unicsv", "-f", path, "-o", "gpx", "-F", "/dev/null"]
    best = math.inf
    for _ in range(3):
        start = time.perf_counter()
        subprocess.run(command, check=True)
        best = min(best, time.perf_counter() - start)
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0
    print("== outside yardstick (scripts/bench/outside_tmn.py)")
    print(f"gpsbabel -t -i unicsv -f same.csv -o gpx -F /dev/null, {POINTS} track points: "
          f"{best * 1000.0:.1f} ms per load, peak {peak:.0f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
