#!/usr/bin/python3
"""The outside yardstick of bench/kap_decode_bench.cpp: gdal reading the same chart.

The benchmark writes its 10000 x 8000 chart at $TMPDIR/tm_kap_decode_bench.kap (default
/tmp) and leaves it there; this script times `gdalinfo -checksum` on that file (which
decodes every row of it) and prints the best of a few runs in milliseconds, as the
benchmark prints its figure. Run the benchmark first. Debian's python3 and gdal-bin.
"""
import math
import os
import subprocess
import sys
import time


def main():
    path = os.path.join(os.environ.get("TMPDIR") or "/tmp", "tm_kap_decode_bench.kap")
    if not os.path.exists(path):
        print("no %s: run bench_kap_decode_bench first" % path)
        return 1
    best = math.inf
    for _ in range(3):
        start = time.perf_counter()
        out = subprocess.run(["gdalinfo", "-checksum", path], capture_output=True, text=True)
        best = min(best, time.perf_counter() - start)
        if out.returncode != 0 or "Checksum=" not in out.stdout:
            print("gdalinfo failed: %s" % out.stderr.strip())
            return 1
    print("gdalinfo -checksum 10000x8000 chart: %.0f ms" % (best * 1000))
    return 0


if __name__ == "__main__":
    sys.exit(main())
