"""What the outside yardstick scripts of the load benchmarks share: writing the big
input file once (kept while its size is right), timing an outside command on it (the
best of a few runs, with the peak resident size of the runs), and printing the result
as the benchmarks print their own.
"""
import math
import os
import resource
import subprocess
import time


def temp_path(name):
    """The path of a benchmark file in $TMPDIR (default /tmp)."""
    return os.path.join(os.environ.get("TMPDIR") or "/tmp", name)


def write_once(path, data):
    """Writes data at path unless a file of the same size is already there."""
    if not os.path.exists(path) or os.path.getsize(path) != len(data):
        folder = os.path.dirname(path)
        if folder:
            os.makedirs(folder, exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def best_run(command, runs=3):
    """Runs command a few times: the best wall time in seconds and the peak resident
    size of the children in MB."""
    best = math.inf
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, check=True)
        best = min(best, time.perf_counter() - start)
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0
    return best, peak


def report(script, what, best, peak):
    """Prints the yardstick's heading and its one result line."""
    print(f"== outside yardstick ({script})")
    print(f"{what}: {best * 1000.0:.1f} ms per load, peak {peak:.0f} MB")
