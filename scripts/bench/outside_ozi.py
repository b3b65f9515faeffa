#!/usr/bin/python3
"""The outside yardstick of the OziExplorer track load benchmark, timed on this machine.

Writes the file of bench/ozi_plt_load_bench.cpp (the same closed forms, the same bytes)
at $TMPDIR/tm_ozi_plt_bench.plt (default /tmp), unless it is already there with the
right size, and times `gpsbabel -t -i ozi -f big.plt` on it: the
median of a few runs in milliseconds per load, with gpsbabel's peak resident size. Run
with Debian's python3.
"""
import math
import sys

from outside_common import best_run, report, temp_path, write_once

POINTS = 1000000


def document():
    out = ["OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\n"
           "Reserved 3\r\n0,2,255,Big,0,0,2,8421376\r\n%d\r\n" % POINTS]
    for i in range(POINTS):
        out.append("%.6f,%.6f,%d,%.1f,%.7f,,\r\n"
                   % (45.0 + 0.5 * math.sin(0.0137 * i), 6.0 + 0.5 * math.sin(0.0219 * i + 0.5),
                      1 if i % 100000 == 0 else 0, 3000.0 + 1500.0 * math.sin(0.001 * i),
                      43831.0 + i / 86400.0))
    return "".join(out).encode()


def main():
    path = temp_path("tm_ozi_plt_bench.plt")
    write_once(path, document())
    command = ["gpsbabel", "-t", "-i", "ozi", "-f", path]
    best, peak = best_run(command)
    report("scripts/bench/outside_ozi.py",
           f"gpsbabel -t -i ozi -f big.plt, {POINTS} track points",
           best, peak)
    return 0


if __name__ == "__main__":
    sys.exit(main())
