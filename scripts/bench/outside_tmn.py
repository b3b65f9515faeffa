#!/usr/bin/python3
"""The outside yardstick of the navigation log benchmark, timed on this machine.

Writes the points of bench/tmn_load_bench.cpp (the same closed forms) as a CSV file at
$TMPDIR/tm_tmn_load_bench.csv (default /tmp), unless it is already there with the right
size, and times `gpsbabel -t -i unicsv -f same.csv` on it: the median
of a few runs in milliseconds per load, with gpsbabel's peak resident size, as the
benchmark prints its own. Run with Debian's python3.
"""
import math
import sys

from outside_common import best_run, report, temp_path, write_once

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
    path = temp_path("tm_tmn_load_bench.csv")
    write_once(path, document())
    command = ["gpsbabel", "-t", "-i", "unicsv", "-f", path]
    best, peak = best_run(command)
    report("scripts/bench/outside_tmn.py",
           f"gpsbabel -t -i unicsv -f same.csv, {POINTS} track points",
           best, peak)
    return 0


if __name__ == "__main__":
    sys.exit(main())
