"""What the outside yardstick scripts of the load benchmarks share: writing the big
input file once (kept while its size is right), timing an outside command on it (the
median of a few runs, with the peak resident size of the command itself from wait4),
and printing the result as the benchmarks print their own. The comparison table of
`make bench` (table.py) uses the scripts' document makers and times both sides itself.
"""
import os
import statistics
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


def spawn(command):
    """Runs command with its output dropped: (wall seconds, peak resident MB). Spawned
    without a copy of this process's memory, so the peak is the command's own."""
    with open(os.devnull, "wb") as null:
        actions = [(os.POSIX_SPAWN_DUP2, null.fileno(), 1)]
        start = time.perf_counter()
        pid = os.posix_spawnp(command[0], command, os.environ, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        seconds = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError("%s failed" % command[0])
    return seconds, usage.ru_maxrss / 1024.0


def best_run(command, runs=3):
    """Runs command a few times: the median wall time in seconds and the largest peak
    resident size of the runs in MB."""
    results = [spawn(command) for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results)


def report(script, what, best, peak):
    """Prints the yardstick's heading and its one result line."""
    print(f"== outside yardstick ({script})")
    print(f"{what}: {best * 1000.0:.1f} ms per load, peak {peak:.0f} MB")
