#!/usr/bin/python3
"""The outside yardstick of the NMEA import benchmark, timed on this machine.

Writes the file of bench/nmea_import_bench.cpp (the same closed forms, the same bytes:
500,000 fixes of a GGA and an RMC sentence each) at build/release/tm_nmea_import_bench.nmea
(the first argument names another file), unless it is already there with the right size,
and times `gpsbabel -i nmea -f x` on it: the median of a few runs in
milliseconds per load, with gpsbabel's peak resident size, as the benchmark prints its
own. Run with Debian's python3.
"""
import math
import os
import sys

from outside_common import best_run, report, write_once

FIXES = 500000
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def sentence(body):
    total = 0
    for ch in body[1:]:
        total ^= ord(ch)
    return "%s*%02X\r\n" % (body, total)


def angle(v, longitude):
    units = int(math.floor(abs(v) * 600000.0 + 0.5))
    degrees, rest = divmod(units, 600000)
    return ("%03d%07.4f" if longitude else "%02d%07.4f") % (degrees, rest / 10000.0)


def document():
    out = []
    for i in range(FIXES):
        s, d = i % 86400, i // 86400
        hms = "%02d%02d%02d.00" % (s // 3600, s // 60 % 60, s % 60)
        lat = angle(45.0 + 0.5 * math.sin(0.0137 * i), False)
        lon = angle(6.0 + 0.5 * math.sin(0.0219 * i + 0.5), True)
        out.append(sentence("$GPGGA,%s,%s,N,%s,E,1,08,0.9,%.1f,M,47.0,M,,"
                            % (hms, lat, lon, 1000.0 + 500.0 * math.sin(0.001 * i))))
        out.append(sentence("$GPRMC,%s,A,%s,N,%s,E,%.1f,%.1f,%02d0120,,"
                            % (hms, lat, lon, 10.0 + 5.0 * math.sin(0.01 * i),
                               math.fmod(0.37 * i, 360.0), 1 + d)))
    return "".join(out).encode()


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        ROOT, "build", "release", "tm_nmea_import_bench.nmea")
    write_once(path, document())
    command = ["gpsbabel", "-i", "nmea", "-f", path]
    best, peak = best_run(command)
    report("scripts/bench/outside_nmea.py",
           f"gpsbabel -i nmea -f x, {FIXES * 2} sentences",
           best, peak)
    return 0


if __name__ == "__main__":
    sys.exit(main())
