#!/usr/bin/python3
"""Writes the small sample files that `make run` opens: a GPX file with a walking track
and a few waypoints, and a PNG under them, georeferenced by an OziExplorer calibration
file (relief.map, the image's four corners in degrees on WGS 84) and by a world file.

Everything is synthetic: the track is a loop built from sines around a point in the
Alps, the image a shaded pattern of the same area. Run with Debian's python3 (PIL):
    /usr/bin/python3 scripts/samples/make_samples.py
"""
import math
import os
from datetime import datetime, timedelta, timezone

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "..", "data", "samples")

# Centre of the samples (degrees, WGS 84) and the image's cover.
LON0, LAT0 = 6.8650, 45.9170
IMG_W, IMG_H = 400, 300
DEG_PER_PX = 0.0001


def track_points():
    start = datetime(2026, 7, 14, 7, 30, 0, tzinfo=timezone.utc)
    pts = []
    n = 240
    for i in range(n):
        t = 2 * math.pi * i / n
        lon = LON0 + 0.012 * math.cos(t) + 0.003 * math.cos(3 * t)
        lat = LAT0 + 0.008 * math.sin(t) + 0.002 * math.sin(2 * t)
        ele = 1450 + 380 * (1 - math.cos(t)) / 2 + 25 * math.sin(5 * t)
        pts.append((lat, lon, ele, start + timedelta(seconds=30 * i)))
    return pts


WAYPOINTS = [
    ("Depart", "Parking du col", 45.9170, 6.8770, 1452.0, "Parking Area"),
    ("Refuge", "Refuge d'altitude", 45.9250, 6.8650, 1690.0, "Lodging"),
    ("Source", "Eau potable", 45.9150, 6.8540, 1620.0, "Drinking Water"),
    ("Belvedere", "Vue sur le glacier", 45.9095, 6.8700, 1580.0, "Scenic Area"),
]


def write_gpx(path):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<gpx version="1.1" creator="tarmelo samples" '
             'xmlns="http://www.topografix.com/GPX/1/1">',
             '  <metadata><name>Boucle du refuge</name></metadata>']
    for name, cmt, lat, lon, ele, sym in WAYPOINTS:
        lines.append(f'  <wpt lat="{lat:.6f}" lon="{lon:.6f}"><ele>{ele:.1f}</ele>'
                     f'<name>{name}</name><cmt>{cmt}</cmt><sym>{sym}</sym></wpt>')
    lines.append('  <trk><name>Boucle du refuge</name><trkseg>')
    for lat, lon, ele, when in track_points():
        stamp = when.strftime("%Y-%m-%dT%H:%M:%SZ")
        lines.append(f'    <trkpt lat="{lat:.6f}" lon="{lon:.6f}"><ele>{ele:.1f}</ele>'
                     f'<time>{stamp}</time></trkpt>')
    lines.append('  </trkseg></trk>')
    lines.append('</gpx>')
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def write_image(path):
    img = Image.new("RGB", (IMG_W, IMG_H))
    px = img.load()
    for y in range(IMG_H):
        for x in range(IMG_W):
            # A smooth synthetic relief, lit from the north-west.
            u, v = x / IMG_W, y / IMG_H
            h = math.sin(6 * u) * math.cos(5 * v) + 0.5 * math.sin(11 * u + 7 * v)
            dx = 6 * math.cos(6 * u) * math.cos(5 * v) + 5.5 * math.cos(11 * u + 7 * v)
            dy = -5 * math.sin(6 * u) * math.sin(5 * v) + 3.5 * math.cos(11 * u + 7 * v)
            shade = max(0.0, min(1.0, 0.6 + 0.05 * (-dx - dy)))
            g = 150 + int(60 * h)
            px[x, y] = (int(shade * (g - 40)), int(shade * g), int(shade * (g - 70)))
    img.save(path, optimize=False)
    # World file: pixel size, rotations, then the centre of the top-left pixel.
    left = LON0 - IMG_W / 2 * DEG_PER_PX
    top = LAT0 + IMG_H / 2 * DEG_PER_PX
    with open(os.path.splitext(path)[0] + ".pgw", "w", newline="\n") as f:
        f.write(f"{DEG_PER_PX:.10f}\n0.0\n0.0\n{-DEG_PER_PX:.10f}\n"
                f"{left + DEG_PER_PX / 2:.10f}\n{top - DEG_PER_PX / 2:.10f}\n")


def degrees_minutes(value, pos, neg):
    """The degrees, minutes and hemisphere fields of an OziExplorer calibration point."""
    a = abs(value)
    d = int(a)
    return f"{d:4d},{(a - d) * 60:8.4f},{pos if value >= 0 else neg}"


def write_calibration(path, image_name):
    """An OziExplorer map file naming the image and giving its four corners: pixel
    corners (0, 0) to (IMG_W, IMG_H) at the edges of the image's cover."""
    left, right = LON0 - IMG_W / 2 * DEG_PER_PX, LON0 + IMG_W / 2 * DEG_PER_PX
    top, bottom = LAT0 + IMG_H / 2 * DEG_PER_PX, LAT0 - IMG_H / 2 * DEG_PER_PX
    corners = [(0, 0, left, top), (IMG_W, 0, right, top), (IMG_W, IMG_H, right, bottom),
               (0, IMG_H, left, bottom)]
    lines = ["OziExplorer Map Data File Version 2.2", "Relief", image_name,
             "1 ,Map Code,", "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84",
             "Reserved 1", "Reserved 2", "Magnetic Variation,,,E",
             "Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No"]
    for i in range(30):
        if i < len(corners):
            x, y, lon, lat = corners[i]
            geo = degrees_minutes(lat, "N", "S") + "," + degrees_minutes(lon, "E", "W")
            lines.append(f"Point{i + 1:02d},xy,{x:5d},{y:5d},in, deg,{geo},"
                         " grid,   ,           ,           ,N")
        else:
            lines.append(f"Point{i + 1:02d},xy,     ,     ,in, deg,    ,        ,N,"
                         "    ,        ,E, grid,   ,           ,           ,N")
    lines += ["Projection Setup,,,,,,,,,,", "MM0,Yes", f"MMPNUM,{len(corners)}"]
    for i, (x, y, _, _) in enumerate(corners):
        lines.append(f"MMPXY,{i + 1},{x},{y}")
    for i, (_, _, lon, lat) in enumerate(corners):
        lines.append(f"MMPLL,{i + 1},{lon:11.6f},{lat:11.6f}")
    lines.append(f"IWH,Map Image Width/Height,{IMG_W},{IMG_H}")
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    write_image(os.path.join(OUT, "relief.png"))
    write_calibration(os.path.join(OUT, "relief.map"), "relief.png")
    write_gpx(os.path.join(OUT, "boucle.gpx"))
