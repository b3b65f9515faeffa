#!/usr/bin/python3
"""The outside yardstick of the GPS TrackMaker load benchmark, timed on this machine.

Writes the file of bench/gtm_load_bench.cpp (the same closed forms, the same bytes) at
$TMPDIR/tm_gtm_load_bench.gtm (default /tmp), unless it is already there with the right
size, and times `gpsbabel -t -i gtm -f big.gtm` on it: the median of a
few runs in milliseconds per load, with gpsbabel's peak resident size, as the benchmark
prints its own. Run with Debian's python3.
"""
import math
import struct
import sys

from outside_common import best_run, report, temp_path, write_once

POINTS = 1000000
WAYPOINTS = 100


def document():
    out = [struct.pack("<H", 211), b"TrackMaker", b"\0" * 7,
           struct.pack("<IIIIIII", 0, 0, 0, 0, WAYPOINTS, POINTS, 0),
           struct.pack("<ffff", 5.0, 7.0, 44.0, 46.0), struct.pack("<IIII", 0, 1, 0, 0),
           struct.pack("<HHH", 0, 0, 0), b"\0" * 12, struct.pack("<H", 0)]
    out += [struct.pack("<H", 5) + b"Arial"] * 4
    out.append(struct.pack("<H", 0) + b"\0" * 32 + struct.pack("<H", 217) + b"\0" * 22)
    for k in range(WAYPOINTS):
        out.append(struct.pack("<dd", 44.0 + k / 100.0, 5.0 + k / 200.0) +
                   ("WPT%03d" % k).encode().ljust(10) + struct.pack("<H", 0) +
                   struct.pack("<HBIHfH", 1, 1, 946684800, 0, 0.0, 0))
    pack = struct.Struct("<ddIBf").pack
    for i in range(POINTS):
        out.append(pack(45.0 + 0.5 * math.sin(0.0137 * i), 6.0 + 0.5 * math.sin(0.0219 * i + 0.5),
                        946684800 + i, 1 if i == 0 else 0, 1000.0 + 500.0 * math.sin(0.001 * i)))
    out.append(struct.pack("<H", 3) + b"Big" + struct.pack("<BI", 1, 255) + b"\0" * 7)
    return b"".join(out)


def main():
    path = temp_path("tm_gtm_load_bench.gtm")
    write_once(path, document())
    command = ["gpsbabel", "-t", "-i", "gtm", "-f", path]
    best, peak = best_run(command)
    report("scripts/bench/outside_gtm.py",
           f"gpsbabel -t -i gtm -f big.gtm, {POINTS} track points",
           best, peak)
    return 0


if __name__ == "__main__":
    sys.exit(main())
