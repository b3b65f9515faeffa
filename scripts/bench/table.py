#!/usr/bin/python3
"""The comparison table of `make bench`: this system's work beside an outside tool doing
the same work on the same input, one row per pair.

Each row names an input maker (the file is written once under build/bench-data/ and kept
while it is there), our command and the peer's command, and a target. Both sides run as
fresh processes, pinned on the same two cores (taskset -c), one after the other
(ours, peer, ours, peer...), BENCH_ROUNDS rounds (default 3); the table shows the median
wall time of each side, the ratio peer / ours (above 1: we are faster) and the peak
resident size of each side, read from wait4 of the child (ru_maxrss), so that the
driver's own memory never counts.

Mode "process": the whole process is timed from spawn to exit, start-up included, on
both sides. Mode "warm": both sides run the work several times inside one process and
print the time of one run (our side a Google Benchmark program of bench/, whose JSON
output gives the time per iteration; the peer a Python script that times its own loop
and prints the median); the process is still fresh on each round and its peak is still
taken from wait4.

Rows with no peer compare our time with an absolute target in seconds.

Environment: BENCH_ROWS (a regular expression; only the rows whose key or work matches),
BENCH_ROUNDS (rounds, default 3), BENCH_CORES (the two cores, default the last two of
the machine), BENCH_BIN (the folder of the Release programs, default build/release/bin),
BENCH_DATA (the inputs' folder, default build/bench-data).
Run with Debian's python3 (PIL, numpy, pyproj).
"""
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)

BIN = os.path.abspath(os.environ.get("BENCH_BIN") or os.path.join(ROOT, "build", "release", "bin"))
DATA = os.path.abspath(os.environ.get("BENCH_DATA") or os.path.join(ROOT, "build", "bench-data"))
ROUNDS = max(1, int(os.environ.get("BENCH_ROUNDS") or "3"))
PY = "/usr/bin/python3"
SIDE = 8000


def default_cores():
    n = os.cpu_count() or 2
    return "%d,%d" % (max(0, n - 2), n - 1) if n >= 2 else "0"


CORES = os.environ.get("BENCH_CORES") or default_cores()


def data(name):
    return os.path.join(DATA, name)


def tool(name):
    return os.path.join(BIN, name)


# ---- Input makers -------------------------------------------------------------------------
# Each writes its file(s) unless already there; the file is written beside under a
# temporary name first, so that an interrupted maker leaves nothing half written.

def made(path, write):
    if os.path.exists(path) and os.path.getsize(path) > 0:
        return path
    os.makedirs(os.path.dirname(path), exist_ok=True)
    part = path + ".part"
    write(part)
    os.replace(part, path)
    return path


def write_bytes(path, payload):
    with open(path, "wb") as f:
        f.write(payload)


def picture():
    """The 8000 x 8000 RGB picture every image row starts from: smooth ramps with a
    little noise, as a photo or a scanned map (compresses like one)."""
    import numpy
    from PIL import Image
    y, x = numpy.mgrid[0:SIDE, 0:SIDE].astype(numpy.int32)
    noise = numpy.random.default_rng(39).integers(0, 8, size=(SIDE, SIDE), dtype=numpy.int32)
    rgb = numpy.empty((SIDE, SIDE, 3), dtype=numpy.uint8)
    rgb[..., 0] = (x // 40 + y // 80 + noise) & 255
    rgb[..., 1] = ((x + y) // 63 + noise) & 255
    rgb[..., 2] = (200 - y // 50 + noise) & 255
    return Image.fromarray(rgb, "RGB")


def make_png():
    return made(data("rgb8000.png"), lambda p: picture().save(p, "PNG"))


def make_png_source():
    """A PNG kept as the source of the other image makers (PIL decodes it once)."""
    return make_png()


def load_source():
    from PIL import Image
    Image.MAX_IMAGE_PIXELS = None
    return Image.open(make_png_source())


def make_jpeg_baseline():
    return made(data("baseline420.jpg"),
                lambda p: load_source().save(p, "JPEG", quality=90, subsampling=2))


def make_jpeg_progressive():
    return made(data("progressive.jpg"),
                lambda p: load_source().save(p, "JPEG", quality=90, subsampling=2,
                                             progressive=True))


def make_gif():
    def write(p):
        from PIL import Image
        image = load_source().convert("P", palette=Image.Palette.ADAPTIVE, colors=256,
                                      dither=Image.Dither.NONE)
        image.save(p, "GIF")
    return made(data("rgb8000.gif"), write)


def make_tiff(name, options):
    def write(p):
        subprocess.run(["gdal_translate", "-q", "-of", "GTiff", "-co", "COMPRESS=LZW"] + options
                       + [make_png_source(), p], check=True)
    return made(data(name), write)


def make_gpx():
    import outside_gpx
    return made(data("track1m.gpx"), lambda p: write_bytes(p, outside_gpx.document()))


def make_gtm():
    import outside_gtm
    return made(data("track1m.gtm"), lambda p: write_bytes(p, outside_gtm.document()))


def make_ozi():
    import outside_ozi
    return made(data("track1m.plt"), lambda p: write_bytes(p, outside_ozi.document()))


def make_nmea():
    import outside_nmea
    return made(data("fixes500k.nmea"), lambda p: write_bytes(p, outside_nmea.document()))


def make_tk1():
    import outside_tk1
    return made(data("records1m.tk1"), lambda p: write_bytes(p, outside_tk1.document()))


def make_tmn_csv():
    import outside_tmn
    return made(data("log1m.csv"), lambda p: write_bytes(p, outside_tmn.document()))


def make_osm():
    """About 100 MB: 570,000 nodes and 57,000 ways of 10 nodes (the closed forms of
    outside_osm.py)."""
    import outside_osm
    outside_osm.NODES, outside_osm.WAYS = 570000, 57000
    return made(data("map100mb.osm"), lambda p: write_bytes(p, outside_osm.document()))


def make_shp(name):
    import outside_shp
    writer = {"line_z": outside_shp.write_line_z, "points": outside_shp.write_points}[name]

    def write(p):
        base = p[:-len(".shp.part")]
        writer(base)
        os.replace(base + ".shp", p)
    return made(data(name + ".shp"), write)


def from_bench_program(program, filename):
    """A file some bench program writes before its timing (in $TMPDIR): the program runs
    once with TMPDIR set to the inputs' folder."""
    def write(p):
        env = dict(os.environ, TMPDIR=DATA)
        subprocess.run([tool(program)], env=env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        os.replace(data(filename), p)
    return write


def make_kap():
    return made(data("chart10000x8000.kap"),
                from_bench_program("bench_kap_decode_bench", "tm_kap_decode_bench.kap"))


def make_tmn():
    return made(data("log1m.tmn"),
                from_bench_program("bench_tmn_load_bench", "tm_tmn_load_bench.tmn"))


# ---- Commands -----------------------------------------------------------------------------

PIL_LOAD = ("import sys\nfrom PIL import Image\nImage.MAX_IMAGE_PIXELS = None\n"
            "im = Image.open(sys.argv[1])\nim.load()\n")


def pil_load(path):
    return [PY, "-c", PIL_LOAD, path]


def viewer(path):
    """The image viewer, headless: it loads the file, shows it and ends."""
    return [tool("sorbinel"), path]


def map_program(path):
    """The map program, headless, loading one file on its command line."""
    return [tool("tarmelo"), "-load", path]


def work(*words):
    return [tool("tm_work")] + list(words)


def gbench(program, name):
    # A benchmark with a minimum time of its own has it in its name ("/min_time:2.000").
    return [tool(program), "--benchmark_filter=^%s(/min_time:[0-9.]+)?$" % re.escape(name),
            "--benchmark_format=json"]


def gb_seconds(out):
    """Seconds per iteration of the one benchmark of a JSON report."""
    report = json.loads(out)
    runs = [b for b in report["benchmarks"] if b.get("run_type", "iteration") == "iteration"]
    if not runs:
        raise RuntimeError("the benchmark program ran no benchmark")
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    b = runs[0]
    return b["real_time"] * scale[b.get("time_unit", "ns")]


def printed_seconds(out):
    """The last line the peer script printed: seconds of one run."""
    return float(out.strip().splitlines()[-1])


def relay_rates(out):
    """The relay benchmark's two highest lossless rates, as seconds per 10,000 groups:
    (ours, the python3 relay's)."""
    engine = int(re.search(r"engine relay\s+(\d+)", out).group(1))
    python = int(re.search(r"python3 relay\s+(\d+)", out).group(1))
    if engine <= 0 or python <= 0:
        raise RuntimeError("no rate measured (engine %d, python3 %d)" % (engine, python))
    return 10000.0 / engine, 10000.0 / python


PEER_TRACK = os.path.join(HERE, "peer_track_draw.py")
PEER_UTM = os.path.join(HERE, "peer_utm.py")


class Row:
    def __init__(self, key, work, peer, make, ours, theirs=None, target=1.0, mode="process",
                 ours_time=None, peer_time=None, note="", paired=None):
        self.key, self.work, self.peer = key, work, peer
        self.paired = paired
        self.make, self.ours, self.theirs = make, ours, theirs
        self.target, self.mode, self.note = target, mode, note
        self.ours_time, self.peer_time = ours_time, peer_time


def rows():
    png = make_png
    return [
        Row("viewer_png", "sorbinel showing an 8000x8000 PNG", "PIL open+load",
            png, lambda: viewer(png()), lambda: pil_load(png()), 1.0,
            note="peak <= peer's"),
        Row("viewer_jpeg_progressive", "sorbinel showing an 8000x8000 progressive JPEG",
            "PIL open+load", make_jpeg_progressive, lambda: viewer(make_jpeg_progressive()),
            lambda: pil_load(make_jpeg_progressive()), 1.0),
        Row("viewer_gif", "sorbinel showing an 8000x8000 GIF", "PIL open+load",
            make_gif, lambda: viewer(make_gif()), lambda: pil_load(make_gif()), 1.0),
        Row("tiff_lzw_strips", "TIFF LZW 8000x8000 strips, full decode", "PIL open+load",
            lambda: make_tiff("lzw_strips.tif", []),
            lambda: work("decode", "tiff", make_tiff("lzw_strips.tif", [])),
            lambda: pil_load(make_tiff("lzw_strips.tif", [])), 1.0),
        Row("tiff_lzw_predictor", "TIFF LZW 8000x8000 strips + predictor, full decode",
            "PIL open+load", lambda: make_tiff("lzw_predictor.tif", ["-co", "PREDICTOR=2"]),
            lambda: work("decode", "tiff", make_tiff("lzw_predictor.tif", ["-co", "PREDICTOR=2"])),
            lambda: pil_load(make_tiff("lzw_predictor.tif", ["-co", "PREDICTOR=2"])), 1.0),
        Row("tiff_lzw_tiled", "TIFF LZW 8000x8000 tiled 256, full decode", "PIL open+load",
            lambda: make_tiff("lzw_tiled.tif", ["-co", "TILED=YES"]),
            lambda: work("decode", "tiff", make_tiff("lzw_tiled.tif", ["-co", "TILED=YES"])),
            lambda: pil_load(make_tiff("lzw_tiled.tif", ["-co", "TILED=YES"])), 1.0),
        Row("png_decode", "PNG 8000x8000 RGB, decode only", "PIL open+load",
            png, lambda: work("decode", "png", png()), lambda: pil_load(png()), 1.0),
        Row("jpeg_decode", "JPEG 8000x8000 baseline 4:2:0, decode only",
            "djpeg -outfile /dev/null", make_jpeg_baseline,
            lambda: work("decode", "jpeg", make_jpeg_baseline()),
            lambda: ["djpeg", "-outfile", "/dev/null", make_jpeg_baseline()], 0.5),
        Row("gpx_program", "GPX 1M points, whole program (tarmelo headless)",
            "gpsbabel -t -i gpx (read only)", make_gpx, lambda: map_program(make_gpx()),
            lambda: ["gpsbabel", "-t", "-i", "gpx", "-f", make_gpx()], 4.0),
        Row("gpx_load", "GPX 1M points, reader only", "gpsbabel -t -i gpx (read only)",
            make_gpx, lambda: work("load", "gpx", make_gpx()),
            lambda: ["gpsbabel", "-t", "-i", "gpx", "-f", make_gpx()], 4.0),
        Row("gtm_load", "GPS TrackMaker 1M points", "gpsbabel -t -i gtm (read only)",
            make_gtm, lambda: work("load", "gtm", make_gtm()),
            lambda: ["gpsbabel", "-t", "-i", "gtm", "-f", make_gtm()], 2.0),
        Row("osm_load", "OSM 100 MB (570k nodes, 57k ways)", "ogr2ogr -f Memory",
            make_osm, lambda: work("load", "osm", make_osm()),
            lambda: ["ogr2ogr", "-f", "Memory", "/vsimem/bench", make_osm()], 1.5),
        Row("redraw_track", "redraw of a 1M-point track, 1920x1080",
            "PIL ImageDraw.line, same points", None,
            lambda: gbench("bench_redraw_track_bench", "RedrawTrack/1000000"),
            lambda: [PY, PEER_TRACK], 0.7, mode="warm",
            ours_time=gb_seconds, peer_time=printed_seconds),
        Row("utm", "1M points WGS84 -> UTM 31N", "pyproj, numpy arrays", None,
            lambda: gbench("bench_projection_bench", "Projection/utm31n_run"),
            lambda: [PY, PEER_UTM], 3.0, mode="warm",
            ours_time=gb_seconds, peer_time=printed_seconds),
        Row("index_search", "sorted index: 1M searches", "-", None,
            lambda: gbench("bench_index_bench", "IndexSearch/1000000"), None, 0.5, mode="warm",
            ours_time=gb_seconds),
        Row("quellix_relay", "quellix UDP relay to 9 listeners, s per 10k groups",
            "python3 UDP relay (same run)", None,
            lambda: [tool("bench_quellix_relay_bench")], None, 3.0, mode="rate",
            paired=relay_rates),
        Row("shp_line_z", "Shapefile polyline Z, 1M vertices", "ogr2ogr -f Memory",
            lambda: make_shp("line_z"), lambda: work("load", "shp", make_shp("line_z")),
            lambda: ["ogr2ogr", "-f", "Memory", "/vsimem/bench", make_shp("line_z")], 1.0),
        Row("shp_points", "Shapefile 1M points", "ogr2ogr -f Memory",
            lambda: make_shp("points"), lambda: work("load", "shp", make_shp("points")),
            lambda: ["ogr2ogr", "-f", "Memory", "/vsimem/bench", make_shp("points")], 1.0),
        Row("nmea_load", "NMEA 1M sentences (GGA+RMC)", "gpsbabel -i nmea (read only)",
            make_nmea, lambda: work("load", "nmea", make_nmea()),
            lambda: ["gpsbabel", "-i", "nmea", "-f", make_nmea()], 15.0),
        Row("tk1_load", "Wintec TK1 1M records", "gpsbabel -t -i wbt-tk1 (read only)",
            make_tk1, lambda: work("load", "tk1", make_tk1()),
            lambda: ["gpsbabel", "-t", "-i", "wbt-tk1", "-f", make_tk1()], 1.0),
        Row("ozi_load", "OziExplorer track 1M points", "gpsbabel -t -i ozi (read only)",
            make_ozi, lambda: work("load", "ozi", make_ozi()),
            lambda: ["gpsbabel", "-t", "-i", "ozi", "-f", make_ozi()], 10.0),
        Row("tmn_load", "navigation log 1M records", "gpsbabel -t -i unicsv (read only)",
            lambda: (make_tmn(), make_tmn_csv()), lambda: work("load", "tmn", make_tmn()),
            lambda: ["gpsbabel", "-t", "-i", "unicsv", "-f", make_tmn_csv()], 8.0,
            note="peer reads the same points as CSV"),
        Row("kap_decode", "KAP chart 10000x8000, full decode", "gdalinfo -checksum",
            make_kap, lambda: work("decode", "kap", make_kap()),
            lambda: ["gdalinfo", "-checksum", make_kap()], 1.0),
    ]


# ---- Running ------------------------------------------------------------------------------

def run(argv, env, home):
    """Spawns argv pinned on CORES, waits for it with wait4: (seconds, peak MB, stdout)."""
    with tempfile.TemporaryFile() as out, open(os.devnull, "wb") as null:
        command = ["taskset", "-c", CORES] + argv
        actions = [(os.POSIX_SPAWN_DUP2, out.fileno(), 1), (os.POSIX_SPAWN_DUP2, null.fileno(), 0)]
        child_env = dict(env, HOME=home)
        start = time.perf_counter()
        pid = os.posix_spawnp(command[0], command, child_env, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        seconds = time.perf_counter() - start
        out.seek(0)
        text = out.read().decode(errors="replace")
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise RuntimeError("%s ended with %d" % (" ".join(argv[:4]), code))
    return seconds, usage.ru_maxrss / 1024.0, text


def measure(row, env, home):
    ours, theirs = [], []
    ours_mb, theirs_mb = 0.0, 0.0
    for _ in range(ROUNDS):
        seconds, mb, out = run(row.ours(), env, home)
        ours_mb = max(ours_mb, mb)
        if row.paired:  # one program measures both sides in the same run
            us, them = row.paired(out)
            ours.append(us)
            theirs.append(them)
            continue
        ours.append(row.ours_time(out) if row.ours_time else seconds)
        if row.theirs:
            seconds, mb, out = run(row.theirs(), env, home)
            theirs.append(row.peer_time(out) if row.peer_time else seconds)
            theirs_mb = max(theirs_mb, mb)
    us = statistics.median(ours)
    them = statistics.median(theirs) if theirs else None
    return us, them, ours_mb, theirs_mb


def load_average():
    return " ".join("%.1f" % v for v in os.getloadavg())


def cell(text, width):
    return text.ljust(width)


def main():
    pattern = re.compile(os.environ.get("BENCH_ROWS") or ".")
    chosen = [r for r in rows() if pattern.search(r.key) or pattern.search(r.work)]
    missing = [p for p in ("tm_work", "sorbinel", "tarmelo") if not os.path.exists(tool(p))]
    if missing:
        print("missing programs in %s: %s (build the Release tree first)" % (BIN, ", ".join(missing)))
        return 1
    os.makedirs(DATA, exist_ok=True)
    for r in chosen:
        if r.make:
            r.make()
    # A child spawned from this process starts on its address space, and the system keeps
    # that space's high-water mark as the child's peak: once the inputs were made here (a
    # whole picture in PIL's hands), start again as a fresh process, so that each child's
    # peak is its own.
    if os.environ.get("TM_BENCH_FRESH") != "1":
        os.environ["TM_BENCH_FRESH"] = "1"
        sys.stdout.flush()
        os.execv(sys.executable, [sys.executable] + sys.argv)
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "TM_BENCH_FRESH")}
    env.pop("TARMELO_PICTURE", None)
    env.pop("SORBINEL_PICTURE", None)
    home = tempfile.mkdtemp(prefix="tm_bench_home_")
    print("cores %s, %d round(s), medians; ratio = peer / ours (above 1: we are faster); "
          "peak = ru_maxrss of the child; load average %s" % (CORES, ROUNDS, load_average()))
    head = ["work", "peer", "mode", "peer s", "ours s", "ratio", "target", "peak peer MB",
            "peak ours MB", "met"]
    widths = [52, 34, 7, 8, 8, 7, 9, 12, 12, 4]
    print("| " + " | ".join(cell(h, w) for h, w in zip(head, widths)) + " |")
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    failed = 0
    try:
        for r in chosen:
            try:
                us, them, ours_mb, theirs_mb = measure(r, env, home)
            except Exception as e:  # one broken row does not stop the table
                failed += 1
                print("| " + cell(r.work, widths[0]) + " | " + cell(r.peer, widths[1])
                      + " | failed: %s" % e)
                sys.stdout.flush()
                continue
            if them is None:
                ratio, target = "-", "<= %.2g s" % r.target
                met = us <= r.target
            else:
                ratio = "%.2f" % (them / us)
                target = ">= %.2g" % r.target
                met = them / us >= r.target
                if "peak <=" in r.note:
                    met = met and ours_mb <= theirs_mb
            peer_s = "%.3f" % them if them is not None else "-"
            peer_mb = "%.0f" % theirs_mb if them is not None and not r.paired else "-"
            mode = r.mode
            values = [r.work, r.peer, mode, peer_s, "%.3f" % us, ratio,
                      target + (" +mem" if "peak <=" in r.note else ""), peer_mb,
                      "%.0f" % ours_mb, "yes" if met else "no"]
            print("| " + " | ".join(cell(v, w) for v, w in zip(values, widths)) + " |")
            sys.stdout.flush()
    finally:
        shutil.rmtree(home, ignore_errors=True)
    print("load average at the end %s" % load_average())
    notes = [r for r in chosen if r.note and "peak <=" not in r.note]
    for r in notes:
        print("note: %s: %s" % (r.key, r.note))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
