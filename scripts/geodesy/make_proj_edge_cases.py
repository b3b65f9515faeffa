#!/usr/bin/python3
"""Writes tests/fixtures/geodesy/proj_edge_cases.csv: points PROJ computed (through Debian's
python3-pyproj) where the projection formulas are the most fragile, for the test
tests/geodesy/projection_edge_cases.cpp:

  - systems whose area crosses the antimeridian (Transverse Mercator, Lambert conic and
    Mercator), with points on both sides of 180 degrees;
  - a datum shift that carries a point across 180 degrees (WGS 84 to Fiji 1956 / UTM
    zone 60S through the tables' transformation);
  - the inverse of the oblique stereographic at the pole of EPSG 2954;
  - Transverse Mercator points 0 to 15 degrees from the central meridian in several zones;
  - every Transverse Mercator system of the tables whose area of use reaches further than
    3.5 degrees from its central meridian, at the corners of that area;
  - every Lambert conic of the tables (two parallels, kind 8) whose origin is a pole,
    inverted at points of the apex's northing east and west of the apex (not at the
    apex itself);
  - the oblique Mercators (Hotine, kinds 3 and 30, and the Swiss kind) 1 km from the
    poles;
  - points outside the domain of a projection, where PROJ refuses to give a number:
    Transverse Mercator 82 to 93 degrees from its central meridian near the equator,
    latitudes beyond +-90 for
    Transverse Mercator, both polar stereographics and the New Zealand map grid, and
    the New Zealand map grid's inverse far outside its area.

Run it with Debian's interpreter:  /usr/bin/python3 scripts/geodesy/make_proj_edge_cases.py
(python3-pyproj must be installed: apt-get install python3-pyproj).

One line per point: what,code,lon,lat,easting,northing
  proj   the system <code> of the tables: (lon, lat) on its datum gives (easting, northing),
         and back;
  inv    the same system, from (easting, northing) back to (lon, lat) only;
  chain  WGS 84 (lon, lat) carried to the system <code> through the datum shift of the
         tables;
  chain_inv  the way back: (easting, northing) of the system, with no height, carried to
         WGS 84 (lon, lat).
  out    (lon, lat) outside the system's domain: PROJ gives no number (inf) for the
         easting and northing; neither may the formulas.
  out_inv  (easting, northing) whose inverse PROJ refuses (inf for lon and lat).
Longitudes and latitudes in degrees on the system's geographic coordinates, eastings and
northings in the system's linear unit, all written so that they read back exactly. Two
runs give the same bytes.
"""

import math
import os
import re
import sys

try:
    import pyproj
    from pyproj import Transformer
except ImportError:
    sys.exit('python3-pyproj is not installed: apt-get install python3-pyproj')

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, '..', '..'))
OUT = os.path.join(ROOT, 'tests', 'fixtures', 'geodesy', 'proj_edge_cases.csv')
CARTPROJ = os.path.join(ROOT, 'data', 'cartproj.txt')

# Systems whose area crosses 180 degrees, with one point on each side of it.
ANTIMERIDIAN = [
    # Transverse Mercator
    (3460, [(-179.935, -19.681), (178.4, -17.8), (179.9, -16.2)]),  # Fiji Map Grid
    (8903, [(179.8, -14.3), (-179.5, -14.3), (-176.2, -13.3)]),      # UTM zone 1S
    (3389, [(178.5, 66.0), (-178.5, 66.0), (-175.0, 68.0)]),         # Gauss-Kruger zone 60
    (2754, [(178.5, 66.0), (-178.5, 66.0)]),
    (21360, [(178.5, 66.0), (-178.5, 66.0)]),
    (21260, [(178.5, 66.0), (-178.5, 66.0)]),
    (3390, [(178.5, 66.0), (-178.5, 66.0)]),
    (2636, [(178.5, 66.0), (-178.5, 66.0)]),
    # Lambert conic
    (3851, [(174.0, -41.0), (-176.5, -44.0)]),                       # NZCS2000, Chatham
    (26740, [(172.5, 52.9), (-176.6, 51.9)]),                        # Alaska zone 10 (ftUS)
    (3477, [(172.5, 52.9), (-176.6, 51.9)]),
    (6403, [(172.5, 52.9), (-176.6, 51.9)]),
    (26940, [(172.5, 52.9), (-176.6, 51.9)]),
    (5935, [(170.0, 65.0), (-172.0, 66.0)]),                         # EPSG Arctic zones
    (6093, [(172.0, 72.0), (-175.0, 71.5)]),
    (5930, [(170.0, 73.0), (-172.0, 72.0)]),
    (6086, [(172.0, 75.0), (-175.0, 75.5)]),
    (6122, [(170.0, 78.5), (-178.0, 79.0)]),
    (5925, [(170.0, 81.0), (-172.0, 82.0)]),
    (6120, [(160.0, 82.0), (-179.0, 82.5)]),
    # Mercator
    (3832, [(-110.55, -12.48), (170.0, 10.0), (-170.0, -20.0)]),     # PDC Mercator
    (3994, [(170.0, -45.0), (-170.0, -45.0), (-176.5, -44.0)]),      # Mercator 41
]

# WGS 84 points that the datum shift of Fiji 1956 carries across 180 degrees.
CHAIN = [(3141, [(179.9966, -17.6072), (179.999, -16.5), (179.5, -18.0)])]

# The oblique stereographic of Prince Edward Island: the grid point of the north pole.
POLE_INVERSE = [(2954, 400000.0, 5799243.568303699)]

# Transverse Mercator zones, and latitudes inside each; the points run 0 to 15 degrees
# either side of the central meridian.
WIDE_ZONES = [
    (9377, [-4.0, 4.0, 12.0]),       # MAGNA-SIRGAS origin-national
    (28232, [-10.0, -5.0, 0.0]),     # Pointe Noire / UTM 32S
    (5629, [-27.0, -18.0, -10.0]),   # Moznet / UTM 38S
    (3177, [20.0, 27.0, 33.0]),      # Libya TM
    (27700, [49.0, 55.0, 61.0]),     # British National Grid
    (32631, [0.0, 45.0, 70.0]),      # UTM 31N
    (32733, [-70.0, -40.0, -1.0]),   # UTM 33S
]
OFFSETS = [0.0, 1.0, 2.5, 4.0, 5.5, 7.0, 9.0, 11.0, 13.0, 15.0]

# Transverse Mercator systems of the tables are checked at the corners of their area of
# use when it reaches further than this from the central meridian (degrees).
WIDE_AREA = 3.5


def crs_transformer(code):
    # PROJ's own conversion, with the EPSG ellipsoid written out: its definitions name
    # built-in ellipsoids, some rounded (Bessel Namibia: a to the millimetre).
    crs = pyproj.CRS.from_epsg(code)
    definition = Transformer.from_crs(crs.geodetic_crs, crs, always_xy=True).definition
    ell = crs.ellipsoid
    if ell.inverse_flattening:
        shape = 'a=%r rf=%r' % (ell.semi_major_metre, ell.inverse_flattening)
    else:
        shape = 'a=%r b=%r' % (ell.semi_major_metre, ell.semi_minor_metre)
    definition = re.sub(r'\bellps=\S+', shape, definition)
    return Transformer.from_pipeline('+' + definition.replace(' ', ' +'))


def forward_rows(what, code, transformer, points):
    rows = []
    for lon, lat in points:
        e, n = transformer.transform(lon, lat)
        rows.append((what, code, lon, lat, e, n))
    return rows


def chain_rows(code, points):
    # The transformation the tables use between WGS 84 and the system's datum.
    crs = pyproj.CRS.from_epsg(code)
    group = pyproj.transformer.TransformerGroup(pyproj.CRS.from_epsg(4326), crs, always_xy=True)
    transformer = next(t for t in group.transformers if '15875' in str(t.to_json()))
    rows = forward_rows('chain', code, transformer, points)
    # The way back starts from the grid with no height, as the chains do: the point comes
    # back to WGS 84 a few millimetres from where it started.
    for _, _, _, _, e, n in list(rows):
        lon, lat = transformer.transform(e, n, direction='INVERSE')
        rows.append(('chain_inv', code, lon, lat, e, n))
    return rows


def inverse_rows(code, e, n, transformer=None):
    transformer = transformer or crs_transformer(code)
    lon, lat = transformer.transform(e, n, direction='INVERSE')
    return [('inv', code, lon, lat, e, n)]


def wide_zone_rows(code, latitudes):
    transformer = crs_transformer(code)
    lam0 = table_rows()[code]['lambda0']
    points = []
    for lat in latitudes:
        for d in OFFSETS:
            points.append((lam0 + d, lat))
            if d:
                points.append((lam0 - d, lat))
    return forward_rows('proj', code, transformer, points)


def table_rows():
    if not hasattr(table_rows, 'rows'):
        rows = {}
        with open(CARTPROJ, encoding='utf-8') as f:
            for line in f:
                v = line.rstrip('\n').split(';')
                rows[int(v[0])] = {'kind': int(v[3]), 'lambda0': float(v[4]),
                                   'phi0': float(v[5]), 'angular_unit': int(v[13])}
        table_rows.rows = rows
    return table_rows.rows


def degrees_from(lon, lam0):
    return abs((lon - lam0 + 180.0) % 360.0 - 180.0)


def wide_area_rows():
    rows = []
    for code, row in sorted(table_rows().items()):
        if row['kind'] != 1 or row['angular_unit'] != 1:
            continue
        crs = pyproj.CRS.from_epsg(code)
        pm = crs.prime_meridian
        if pm.unit_name != 'degree' or crs.geodetic_crs.axis_info[0].unit_name != 'degree':
            continue
        area = crs.area_of_use
        if area is None:
            continue
        # The area is given from Greenwich; the system counts from its own meridian.
        west, east = area.west - pm.longitude, area.east - pm.longitude
        lam0 = row['lambda0']
        if max(degrees_from(west, lam0), degrees_from(east, lam0)) <= WIDE_AREA:
            continue
        south, north = max(area.south, -89.0), min(area.north, 89.0)
        corners = [(round(lon, 6), round(lat, 6)) for lon in (west, east) for lat in (south, north)]
        corners = [(((lon + 180.0) % 360.0) - 180.0, lat) for lon, lat in corners]
        rows += forward_rows('proj', code, crs_transformer(code), corners)
    return rows


def pole_origin_lambert_rows():
    """Points of the apex's northing, a few hundred kilometres either side of the apex."""
    rows = []
    for code, row in sorted(table_rows().items()):
        if row['kind'] != 8 or abs(abs(row['phi0']) - 90.0) > 1e-9:
            continue
        transformer = crs_transformer(code)
        e0, n0 = transformer.transform(row['lambda0'], row['phi0'])
        for d in (400000.0, -650000.0):
            rows += inverse_rows(code, e0 + d, n0, transformer)
    return rows


# Oblique Mercators 1 km from the poles, forward and back: Hotine (kinds 3 and 30) near
# both poles, and the Swiss oblique Mercator (kind 5) near the north pole (PROJ's own
# inverse does not come back from its images of points near the south pole). The points
# are kept as given: PROJ's inverse there loses digits (6e-8 degrees of longitude for the
# Swiss system), its forward does not.
NEAR_POLE = [(2057, 2), (3078, 2), (5247, 2), (6842, 2), (29873, 2), (21781, 1), (2056, 1)]
NEAR_POLE_POINTS = [(-30.0, 89.991), (60.0, 89.991), (150.0, -89.991), (10.0, -89.991)]


def near_pole_rows():
    rows = []
    for code, poles in NEAR_POLE:
        points = NEAR_POLE_POINTS[:2 * poles]
        rows += forward_rows('proj', code, crs_transformer(code), points)
    return rows


# Points outside the domain: (code, [(lon, lat)]) forward; (code, [(e, n)]) inverse.
OUT_FORWARD = [
    (32631, [(96.0, 0.0), (-82.0, 0.5), (3.0, 91.0), (3.0, -90.5)]),  # UTM 31N
    (27700, [(83.0, 1.0), (-2.0, 92.0)]),                            # British National Grid
    (3031, [(0.0, -90.5), (40.0, -93.0), (10.0, 91.0)]),             # polar stereographic (ts)
    (3413, [(-45.0, 90.25), (0.0, 95.0)]),
    (5041, [(0.0, 90.5), (30.0, -91.0)]),                            # UPS North (kind 15)
    (5042, [(0.0, -90.5)]),                                          # UPS South
    (27200, [(173.0, -91.0), (175.0, 90.5)]),                        # New Zealand map grid
]
OUT_INVERSE = [
    (27200, [(2510000.0 + 2.0e8, 6023150.0 - 2.0e8), (-1.0e9, 5.0e8), (3.0e8, 3.0e8)]),
]



def out_rows():
    rows = []
    for code, points in OUT_FORWARD:
        transformer = crs_transformer(code)
        for lon, lat in points:
            e, n = transformer.transform(lon, lat, errcheck=False)
            if math.isfinite(e) and math.isfinite(n):
                sys.exit('PROJ gives a number for EPSG %d at (%r, %r)' % (code, lon, lat))
            rows.append(('out', code, lon, lat, e, n))
    for code, points in OUT_INVERSE:
        transformer = crs_transformer(code)
        for e, n in points:
            lon, lat = transformer.transform(e, n, direction='INVERSE', errcheck=False)
            if math.isfinite(lon) and math.isfinite(lat):
                sys.exit('PROJ inverts EPSG %d at (%r, %r)' % (code, e, n))
            rows.append(('out_inv', code, lon, lat, e, n))
    return rows


def main():
    rows = []
    for code, points in ANTIMERIDIAN:
        rows += forward_rows('proj', code, crs_transformer(code), points)
    for code, points in CHAIN:
        rows += chain_rows(code, points)
    for code, e, n in POLE_INVERSE:
        rows += inverse_rows(code, e, n)
    for code, latitudes in WIDE_ZONES:
        rows += wide_zone_rows(code, latitudes)
    rows += wide_area_rows()
    rows += pole_origin_lambert_rows()
    rows += near_pole_rows()
    rows += out_rows()
    lines = ['# Generated by scripts/geodesy/make_proj_edge_cases.py from PROJ %s (pyproj %s): '
             'do not edit.' % (pyproj.proj_version_str, pyproj.__version__),
             'what,code,lon,lat,easting,northing']
    for what, code, lon, lat, e, n in rows:
        lines.append('%s,%d,%r,%r,%r,%r' % (what, code, lon, lat, e, n))
    with open(OUT, 'w') as f:
        f.write('\n'.join(lines) + '\n')
    print('wrote %s (%d points)' % (OUT, len(rows)))


if __name__ == '__main__':
    main()
