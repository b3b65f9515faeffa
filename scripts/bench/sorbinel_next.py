#!/usr/bin/python3
"""The outside yardstick of bench/sorbinel_next_bench.cpp: djpeg decoding the same photo.

The benchmark writes its 6000 x 4000 JPEG at $TMPDIR/tm_sorbinel_next_bench.jpg (default
/tmp) and leaves it there; this script times `djpeg -outfile /dev/null` on that file
(which decodes every line of it) and prints the best of a few runs in milliseconds, and
the 1.3 x bound the benchmark's figure must stay under. Run the benchmark first.
Debian's python3 and libjpeg-turbo-progs.
"""
import math
import os
import subprocess
import sys
import time


def main():
    path = os.path.join(os.environ.get("TMPDIR") or "/tmp", "tm_sorbinel_next_bench.jpg")
    if not os.path.exists(path):
        print("no %s: run bench_sorbinel_next_bench first" % path)
        return 1
    best = math.inf
    for _ in range(3):
        start = time.perf_counter()
        out = subprocess.run(["djpeg", "-outfile", "/dev/null", path], capture_output=True)
        best = min(best, time.perf_counter() - start)
        if out.returncode != 0:
            print("djpeg failed: %s" % out.stderr.decode(errors="replace").strip())
            return 1
    print("djpeg 6000x4000 photo: %.0f ms (next-image bound 1.3 x: %.0f ms)"
          % (best * 1000, best * 1300))
    return 0


if __name__ == "__main__":
    sys.exit(main())
