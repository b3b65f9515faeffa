#!/usr/bin/python3
"""The outside yardstick of the Garmin USB track download benchmark, timed on this machine.

Writes the track of bench/garmin_usb_download_bench.cpp (the same closed forms: 65,535
points of a D304 track, positions as the semicircles the receiver holds) as a GPX file at
build/release/tm_garmin_usb_bench.gpx (the first argument names another file), unless it
is already there with the right size, and times `gpsbabel -t -i gpx -f same.gpx -o unicsv
-F /dev/null` on it: the best of a few runs, as points per second. When the benchmark
program is built (build/release/bin/bench_garmin_usb_download_bench, or the second
argument), it is run too and the ratio of its points per second to gpsbabel's is printed
(target: at least 5). Run with Debian's python3.
"""
import datetime
import json
import math
import os
import subprocess
import sys
import time

POINTS = 65535
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
START = datetime.datetime(2020, 1, 1, tzinfo=datetime.timezone.utc)


def semicircle_degrees(v):
    s = int(round(v * 2147483648.0 / 180.0))
    return s * 180.0 / 2147483648.0


def document():
    out = ['<?xml version="1.0" encoding="UTF-8"?>\n',
           '<gpx version="1.1" creator="bench" xmlns="http://www.topografix.com/GPX/1/1">\n',
           "<trk><name>ACTIVE LOG</name><trkseg>\n"]
    for i in range(POINTS):
        lat = semicircle_degrees(45.0 + 0.5 * math.sin(0.0137 * i))
        lon = semicircle_degrees(6.0 + 0.5 * math.sin(0.0219 * i + 0.5))
        ele = 1000.0 + 500.0 * math.sin(0.001 * i)
        t = (START + datetime.timedelta(seconds=i)).strftime("%Y-%m-%dT%H:%M:%SZ")
        out.append('<trkpt lat="%.9f" lon="%.9f"><ele>%.3f</ele><time>%s</time></trkpt>\n'
                   % (lat, lon, ele, t))
    out.append("</trkseg></trk>\n</gpx>\n")
    return "".join(out).encode()


def ours(program):
    if not os.path.exists(program):
        return None
    run = subprocess.run([program, "--benchmark_format=json"], check=True,
                         capture_output=True, text=True)
    for b in json.loads(run.stdout).get("benchmarks", []):
        if "points_per_s" in b:
            return float(b["points_per_s"])
    return None


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        ROOT, "build", "release", "tm_garmin_usb_bench.gpx")
    program = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
        ROOT, "build", "release", "bin", "bench_garmin_usb_download_bench")
    data = document()
    if not os.path.exists(path) or os.path.getsize(path) != len(data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    command = ["gpsbabel", "-t", "-i", "gpx", "-f", path, "-o", "unicsv", "-F", "/dev/null"]
    best = math.inf
    for _ in range(3):
        start = time.perf_counter()
        subprocess.run(command, check=True)
        best = min(best, time.perf_counter() - start)
    theirs = POINTS / best
    print("== outside yardstick (scripts/bench/outside_garmin.py)")
    print(f"gpsbabel -t -i gpx -f x -o unicsv -F /dev/null, {POINTS} points: "
          f"{best * 1000.0:.1f} ms, {theirs:.0f} points/s")
    mine = ours(program)
    if mine is None:
        print(f"(no benchmark program at {program}: build it to get the ratio)")
        return 0
    print(f"bench_garmin_usb_download_bench: {mine:.0f} points/s, "
          f"ratio {mine / theirs:.2f} (target >= 5)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
