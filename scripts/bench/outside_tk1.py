#!/usr/bin/python3
"""The outside yardstick of the TK1 load benchmark, timed on this machine.

Writes the file of bench/tk1_load_bench.cpp (the same closed forms, the same bytes:
1,000,000 records of 16 bytes in one track) at build/release/tm_tk1_load_bench.tk1 (the
first argument names another file), unless it is already there with the right size, and
times `gpsbabel -t -i wbt-tk1 -f x` on it: the best of a few runs in milliseconds per
load, with gpsbabel's peak resident size, as the benchmark prints its own. Run with
Debian's python3.
"""
import os
import struct
import sys

from outside_common import best_run

RECORDS = 1000000
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def document():
    head = bytearray(1024)
    head[0:15] = b"WintecLogFormat"
    struct.pack_into("<H", head, 30, 16)
    table = 1024 + RECORDS * 16
    struct.pack_into("<II", head, 140, table, 1)
    out = [bytes(head)]
    pack = struct.Struct("<HIiiH").pack
    for i in range(RECORDS):
        day, s = 1 + i // 86400, i % 86400
        when = 20 << 26 | 1 << 22 | day << 17 | (s // 3600) << 12 | (s // 60 % 60) << 6 | s % 60
        out.append(pack(1 if i == 0 else 0, when, 450000000 + 7919 * i % 10000000 - 5000000,
                        60000000 + 104729 * i % 8000000 - 4000000, 500 + i % 1000))
    out.append(struct.pack("<III", 1, 1024, RECORDS) + b"\0" * 12)
    return b"".join(out)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "release", "tm_tk1_load_bench.tk1")
    size = 1024 + RECORDS * 16 + 24
    if not os.path.exists(path) or os.path.getsize(path) != size:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(document())
    command = ["gpsbabel", "-t", "-i", "wbt-tk1", "-f", path]
    best, peak = best_run(command)
    print("== outside yardstick (scripts/bench/outside_tk1.py)")
    print(f"gpsbabel -t -i wbt-tk1 -f x, {RECORDS} records: {best * 1000.0:.1f} ms per load, peak {peak:.0f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
