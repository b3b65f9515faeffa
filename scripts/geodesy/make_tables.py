#!/usr/bin/python3
"""Generates the ten geodesy tables of data/ from public geodesy parameters.

Run it with Debian's interpreter:  /usr/bin/python3 scripts/geodesy/make_tables.py
It writes, into the repository's data/ folder:

  ellipsoi.txt  pmeridian.txt  datum.txt  gcentric.txt  cartproj.txt   (the objects)
  ellipsil.txt  pmeridil.txt   datumil.txt  gcentril.txt  cartpril.txt  (their outside names)

Sources (docs/geodesy-tables.md says the same per column):
  * the EPSG dataset as Debian's proj-data package ships it (/usr/share/proj/proj.db),
    read with sqlite3: ellipsoids, prime meridians, datums, their 3- and 7-parameter
    transformations to WGS 84, the longitude rotations between a datum and its
    Greenwich twin, and the projected systems whose method has a projection kind here;
  * the data files of Debian's gdal-data package: ozi_datum.csv (OziExplorer names,
    with their EPSG codes) and gt_datum.csv / gt_ellips.csv (the three-parameter datum
    list with the IHO/NIMA datum codes that NMEA receivers send in DTM sentences);
  * tables typed in below from public format documentation: MapInfo datum and
    ellipsoid numbers, the Garmin PCX5 / receiver datum list, the GPS TrackMaker datum
    numbers and grids, and the ER Mapper (ECW) names of well-known systems.

The script installs proj-data and gdal-data with apt-get when they are missing (as root).
It uses the standard library only. Output is deterministic: the same inputs give the
same bytes.
"""

import csv
import math
import os
import re
import sqlite3
import subprocess
import sys
from decimal import Decimal

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.normpath(os.path.join(HERE, '..', '..'))
OUT_DIR = os.path.join(REPO, 'data')
PROJ_DB = '/usr/share/proj/proj.db'
GDAL_DATA = '/usr/share/gdal'

# Codes that other parts of the system rely on.
WGS84_DATUM_CODE = 214          # the reference datum of GPS positions
WGS84_ELLIPSOID_CODE = 34       # PCX5 datum lines give da/df relative to ellipsoid 34
GREENWICH_CODE = 1              # custom GPS TrackMaker datums use prime meridian 1
EPSG_WGS84_DATUM = 6326
EPSG_WGS84_ELLIPSOID = 7030
EPSG_GREENWICH = 8901
EXTRA_FIRST_CODE = 300          # datums/transformations made from outside tables (< 1000,
                                # below every EPSG code)

# Naming schemes of the name tables.
SCHEME_EPSG, SCHEME_MAPINFO, SCHEME_ECW, SCHEME_RECEIVER = 1, 2, 3, 4
SCHEME_GTM, SCHEME_OZI, SCHEME_NMEA_DTM, SCHEME_POLISH = 5, 6, 7, 8

# Class ids of the objects named in each name table.
CLASS_ELLIPSOID, CLASS_TRANSFORM, CLASS_DATUM, CLASS_PROJECTION, CLASS_MERIDIAN = 35, 36, 37, 38, 39

# Unit tables of the system: units per radian, metres per unit (index = unit code).
ANGULAR_UNITS = [1.0, 57.29577951308232, 206264.80624709636, 63.66197723675813,
                 206264.80624709636, 3437.7467707849396, 1000000.0, 3437.7467707849396,
                 6366.197723675814, 636619.7723675814, 1018.5916357881301, 206264.80624709636]
# Display forms (2 = d/m/s, 7 = d/m) and the unnamed 11 are never chosen for table values.
ANGULAR_CHOICES = [0, 1, 3, 4, 5, 6, 8, 9, 10]
LINEAR_UNITS = [1.0, 0.3048, 1852.0, 1000.0, 1.8288, 0.9143984146160287,
                0.30480060960121924, 0.304812252984506, 0.3047972651150996,
                0.3047995179900423, 0.20116619497596572, 0.2011678249437587,
                0.2011676512155263, 20.116782494375872, 20.116765121552632,
                0.9143985539701268, 1.0000135965, 20.11684023368047, 0.2011684023368047,
                1609.3472186944375, 0.9143917953452987, 20.11661949759657,
                0.20116619497596572, 0.9143984146160287, 0.3047994715386762,
                20.116765121552632, 0.2011676512155263, 0.9143992, 0.3047997333333333,
                20.1167824, 0.201167824, 0.9143992042898124, 0.30479973476327077,
                20.116782494375872, 0.2011678249437587, 0.30480083333333335,
                0.30479951024814694, 0.30479841, 0.3047996, 0.3047995,
                0.9143985307444408, 0.91439523, 0.9143988, 0.9143985, 1609.344,
                0.3047997101815088, 0.3048007491]
UNIT_TOLERANCE = 1e-8           # relative: a unit of the dataset is one of ours within this

DEG = math.pi / 180.0


# --------------------------------------------------------------------------------------
# Inputs
# --------------------------------------------------------------------------------------

def ensure_packages():
    """Installs proj-data and gdal-data with apt-get when their files are missing."""
    needed = []
    if not os.path.exists(PROJ_DB):
        needed.append('proj-data')
    if not os.path.exists(os.path.join(GDAL_DATA, 'ozi_datum.csv')):
        needed.append('gdal-data')
    if not needed:
        return
    if os.geteuid() != 0:
        sys.exit('missing %s: install them (apt-get install %s) or run as root'
                 % (', '.join(needed), ' '.join(needed)))
    env = dict(os.environ, DEBIAN_FRONTEND='noninteractive')
    subprocess.run(['apt-get', 'update', '-qq'], check=True, env=env)
    subprocess.run(['apt-get', 'install', '-y', '-qq', '--no-install-recommends'] + needed,
                   check=True, env=env)


def num(x):
    """Full-precision text of a number in %lf syntax."""
    if isinstance(x, int):
        return str(x)
    x = float(x)
    if x == 0.0:
        return '0.0'
    return repr(x)


def clean_name(s, limit=255):
    s = s.replace(';', ',').replace('\n', ' ').replace('\r', ' ').strip()
    return s[:limit]


def rel_equal(a, b, tol=UNIT_TOLERANCE):
    return abs(a - b) <= tol * max(abs(a), abs(b))


def linear_index(metres_per_unit):
    for i, f in enumerate(LINEAR_UNITS):
        if rel_equal(f, metres_per_unit):
            return i
    return None


def angular_index(radians_per_unit):
    per_radian = 1.0 / radians_per_unit
    for i in ANGULAR_CHOICES:
        if rel_equal(ANGULAR_UNITS[i], per_radian):
            return i
    return None


def sexagesimal_to_degrees(value, code):
    """EPSG packed angles: 9110 DDD.MMSSsss, 9111 DDD.MM; decoded in decimal arithmetic so
    that the degrees are the double nearest to the exact value."""
    d = Decimal(repr(abs(value)))
    whole = int(d)
    digits = (format(d - whole, 'f')[2:] if d != whole else '') + '0000'
    minutes = Decimal(digits[0:2])
    if code == 9111:
        minutes = Decimal(digits[0:2] + '.' + (digits[2:] or '0'))
        deg = whole + minutes / 60
    else:
        seconds = Decimal(digits[2:4] + '.' + (digits[4:] or '0'))
        deg = whole + minutes / 60 + seconds / 3600
    deg = float(deg)
    return -deg if value < 0 else deg


class Epsg:
    """The parts of the EPSG dataset the tables need, read from proj.db."""

    def __init__(self, path):
        self.db = sqlite3.connect(path)
        self.units = {}
        for code, name, kind, factor in self.q(
                "select code, name, type, conv_factor from unit_of_measure "
                "where auth_name='EPSG'"):
            self.units[int(code)] = (kind, factor, name)
        self.version = dict(self.q("select key, value from metadata"))

    def q(self, sql, *args):
        return list(self.db.execute(sql, args))

    # ---- units ----
    def angle(self, value, uom):
        """(value, unit index) in a unit of the system; degrees when the EPSG unit is packed
        or has no equivalent here."""
        uom = int(uom)
        if uom in (9110, 9111):
            return sexagesimal_to_degrees(value, uom), 1
        kind, factor, _ = self.units[uom]
        if uom == 9122:
            return value, 1
        idx = angular_index(factor)
        if idx is not None:
            return value, idx
        return value * factor / DEG, 1

    def angle_radians(self, value, uom):
        v, idx = self.angle(value, uom)
        return v / ANGULAR_UNITS[idx]

    def length_factor(self, uom):
        kind, factor, _ = self.units[int(uom)]
        return factor

    def scale(self, value, uom):
        """(value, flag): flag 2 = parts per million, 0 = plain fraction."""
        uom = int(uom)
        if uom == 9202:
            return value, 2
        if uom == 9201:
            return value, 0
        kind, factor, _ = self.units[uom]
        return value * factor * 1e6, 2


# --------------------------------------------------------------------------------------
# Tables typed from public format documentation
# --------------------------------------------------------------------------------------

# MapInfo ellipsoid numbers (MapInfo Professional user guide, appendix "Ellipsoids"):
# number, name, a, 1/f.
MAPINFO_ELLIPSOIDS = [
    (9, 'Airy 1930', 6377563.396, 299.3249646),
    (13, 'Airy 1930 (modified for Ireland 1965)', 6377340.189, 299.3249646),
    (51, 'ATS77', 6378135.0, 298.257),
    (2, 'Australian', 6378160.0, 298.25),
    (10, 'Bessel 1841', 6377397.155, 299.1528128),
    (35, 'Bessel 1841 (modified for NGO 1948)', 6377492.0176, 299.15281),
    (14, 'Bessel 1841 (modified for Schwarzeck)', 6377483.865, 299.1528128),
    (36, 'Clarke 1858', 6378293.639, 294.26068),
    (7, 'Clarke 1866', 6378206.4, 294.9786982),
    (8, 'Clarke 1866 (modified for Michigan)', 6378450.047484481, 294.9786982),
    (6, 'Clarke 1880', 6378249.145, 293.465),
    (15, 'Clarke 1880 (modified for Arc 1950)', 6378249.145326, 293.4663076),
    (30, 'Clarke 1880 (modified for IGN)', 6378249.2, 293.4660213),
    (37, 'Clarke 1880 (modified for Jamaica)', 6378249.136, 293.46631),
    (16, 'Clarke 1880 (modified for Merchich)', 6378249.2, 293.46598),
    (38, 'Clarke 1880 (modified for Palestine)', 6378300.79, 293.46623),
    (39, 'Everest (Brunei and East Malaysia)', 6377298.556, 300.8017),
    (11, 'Everest (India 1830)', 6377276.345, 300.8017),
    (40, 'Everest (India 1956)', 6377301.243, 300.80174),
    (50, 'Everest (Pakistan)', 6377309.613, 300.8017),
    (17, 'Everest (W. Malaysia and Singapore 1948)', 6377304.063, 300.8017),
    (48, 'Everest (West Malaysia 1969)', 6377304.063, 300.8017),
    (18, 'Fischer 1960', 6378166.0, 298.3),
    (19, 'Fischer 1960 (modified for South Asia)', 6378155.0, 298.3),
    (20, 'Fischer 1968', 6378150.0, 298.3),
    (21, 'GRS 67', 6378160.0, 298.247167427),
    (0, 'GRS 80', 6378137.0, 298.257222101),
    (5, 'Hayford', 6378388.0, 297.0),
    (22, 'Helmert 1906', 6378200.0, 298.3),
    (23, 'Hough', 6378270.0, 297.0),
    (31, 'IAG 75', 6378140.0, 298.257222),
    (41, 'Indonesian', 6378160.0, 298.247),
    (4, 'International 1924', 6378388.0, 297.0),
    (49, 'Irish (WOFO)', 6377542.178, 299.325),
    (3, 'Krassovsky', 6378245.0, 298.3),
    (32, 'MERIT 83', 6378137.0, 298.257),
    (33, 'New International 1967', 6378157.5, 298.25),
    (42, 'NWL 9D', 6378145.0, 298.25),
    (43, 'NWL 10D', 6378135.0, 298.26),
    (44, 'OSU86F', 6378136.2, 298.25722),
    (45, 'OSU91A', 6378136.3, 298.25722),
    (46, 'Plessis 1817', 6376523.0, 308.64),
    (52, 'PZ90', 6378136.0, 298.257839303),
    (24, 'South American', 6378160.0, 298.25),
    (12, 'Sphere', 6370997.0, 0.0),
    (47, 'Struve 1860', 6378297.0, 294.73),
    (34, 'Walbeck', 6376896.0, 302.78),
    (25, 'War Office', 6378300.583, 296.0),
    (26, 'WGS 60', 6378165.0, 298.3),
    (27, 'WGS 66', 6378145.0, 298.25),
    (1, 'WGS 72', 6378135.0, 298.26),
    (28, 'WGS 84', 6378137.0, 298.257223563),
]

# MapInfo datum numbers (MapInfo Professional user guide, appendix "Projection Datums"):
# number, name, ellipsoid number, dX, dY, dZ, rotations X, Y, Z (arc-seconds, coordinate
# frame convention), scale (ppm), prime meridian (degrees), EPSG geographic system that
# the number stands for when the shift alone cannot tell (None: found from the shift;
# 0: a generic datum of its own, which no EPSG datum is).
MAPINFO_DATUMS = [
    (1, 'Adindan', 6, -162, -12, 206, 0, 0, 0, 0, 0, None),
    (2, 'Afgooye', 3, -43, -163, 45, 0, 0, 0, 0, 0, None),
    (3, 'Ain el Abd 1970', 4, -150, -251, -2, 0, 0, 0, 0, 0, None),
    (4, 'Anna 1 Astro 1965', 2, -491, -22, 435, 0, 0, 0, 0, 0, None),
    (5, 'Arc 1950', 15, -143, -90, -294, 0, 0, 0, 0, 0, None),
    (6, 'Arc 1960', 6, -160, -8, -300, 0, 0, 0, 0, 0, None),
    (7, 'Ascension Island 1958', 4, -207, 107, 52, 0, 0, 0, 0, 0, None),
    (8, 'Astro Beacon E', 4, 145, 75, -272, 0, 0, 0, 0, 0, None),
    (9, 'Astro B4 Sorol Atoll', 4, 114, -116, -333, 0, 0, 0, 0, 0, None),
    (10, 'Astro Dos 71/4', 4, -320, 550, -494, 0, 0, 0, 0, 0, None),
    (11, 'Astronomic Station 1952', 4, 124, -234, -25, 0, 0, 0, 0, 0, None),
    (12, 'Australian Geodetic 1966', 2, -133, -48, 148, 0, 0, 0, 0, 0, 4202),
    (13, 'Australian Geodetic 1984', 2, -134, -48, 149, 0, 0, 0, 0, 0, 4203),
    (14, 'Bellevue (IGN)', 4, -127, -769, 472, 0, 0, 0, 0, 0, None),
    (15, 'Bermuda 1957', 7, -73, 213, 296, 0, 0, 0, 0, 0, None),
    (16, 'Bogota Observatory', 4, 307, 304, -318, 0, 0, 0, 0, 0, None),
    (17, 'Campo Inchauspe', 4, -148, 136, 90, 0, 0, 0, 0, 0, None),
    (18, 'Canton Astro 1966', 4, 298, -304, -375, 0, 0, 0, 0, 0, None),
    (19, 'Cape', 6, -136, -108, -292, 0, 0, 0, 0, 0, None),
    (20, 'Cape Canaveral', 7, -2, 150, 181, 0, 0, 0, 0, 0, None),
    (21, 'Carthage', 6, -263, 6, 431, 0, 0, 0, 0, 0, None),
    (22, 'Chatham 1971', 4, 175, -38, 113, 0, 0, 0, 0, 0, None),
    (23, 'Chua Astro', 4, -134, 229, -29, 0, 0, 0, 0, 0, None),
    (24, 'Corrego Alegre', 4, -206, 172, -6, 0, 0, 0, 0, 0, None),
    (25, 'Djakarta (Batavia)', 10, -377, 681, -50, 0, 0, 0, 0, 0, None),
    (26, 'DOS 1968', 4, 230, -199, -752, 0, 0, 0, 0, 0, None),
    (27, 'Easter Island 1967', 4, 211, 147, 111, 0, 0, 0, 0, 0, None),
    (28, 'European 1950 (ED 50)', 4, -87, -98, -121, 0, 0, 0, 0, 0, 4230),
    (29, 'European 1979 (ED 79)', 4, -86, -98, -119, 0, 0, 0, 0, 0, None),
    (30, 'Gandajika Base', 4, -133, -321, 50, 0, 0, 0, 0, 0, None),
    (31, 'Geodetic Datum 1949', 4, 84, -22, 209, 0, 0, 0, 0, 0, 4272),
    (32, 'Geodetic Reference System 1967 (GRS 67)', 21, 0, 0, 0, 0, 0, 0, 0, 0, 0),
    (33, 'Geodetic Reference System 1980 (GRS 80)', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
    (34, 'Guam 1963', 7, -100, -248, 259, 0, 0, 0, 0, 0, None),
    (35, 'GUX 1 Astro', 4, 252, -209, -751, 0, 0, 0, 0, 0, None),
    (36, 'Hito XVIII 1963', 4, 16, 196, 93, 0, 0, 0, 0, 0, None),
    (37, 'Hjorsey 1955', 4, -73, 46, -86, 0, 0, 0, 0, 0, None),
    (38, 'Hong Kong 1963', 4, -156, -271, -189, 0, 0, 0, 0, 0, None),
    (39, 'Hu-Tzu-Shan', 4, -634, -549, -201, 0, 0, 0, 0, 0, None),
    (40, 'Indian (Thailand/Vietnam)', 11, 214, 836, 303, 0, 0, 0, 0, 0, None),
    (41, 'Indian (Bangladesh)', 11, 289, 734, 257, 0, 0, 0, 0, 0, None),
    (42, 'Ireland 1965', 13, 506, -122, 611, 0, 0, 0, 0, 0, None),
    (43, 'ISTS 073 Astro 1969', 4, 208, -435, -229, 0, 0, 0, 0, 0, None),
    (44, 'Johnston Island 1961', 4, 191, -77, -204, 0, 0, 0, 0, 0, None),
    (45, 'Kandawala', 11, -97, 787, 86, 0, 0, 0, 0, 0, None),
    (46, 'Kerguelen Island', 4, 145, -187, 103, 0, 0, 0, 0, 0, None),
    (47, 'Kertau 1948', 17, -11, 851, 5, 0, 0, 0, 0, 0, None),
    (48, 'L.C. 5 Astro', 7, 42, 124, 147, 0, 0, 0, 0, 0, None),
    (49, 'Liberia 1964', 6, -90, 40, 88, 0, 0, 0, 0, 0, None),
    (50, 'Luzon (Philippines)', 7, -133, -77, -51, 0, 0, 0, 0, 0, None),
    (51, 'Luzon (Mindanao Island)', 7, -133, -79, -72, 0, 0, 0, 0, 0, None),
    (52, 'Mahe 1971', 6, 41, -220, -134, 0, 0, 0, 0, 0, None),
    (53, 'Marco Astro', 4, -289, -124, 60, 0, 0, 0, 0, 0, None),
    (54, 'Massawa', 10, 639, 405, 60, 0, 0, 0, 0, 0, None),
    (55, 'Merchich', 16, 31, 146, 47, 0, 0, 0, 0, 0, None),
    (56, 'Midway Astro 1961', 4, 912, -58, 1227, 0, 0, 0, 0, 0, None),
    (57, 'Minna', 6, -92, -93, 122, 0, 0, 0, 0, 0, None),
    (58, 'Nahrwan (Masirah Island)', 6, -247, -148, 369, 0, 0, 0, 0, 0, None),
    (59, 'Nahrwan (United Arab Emirates)', 6, -249, -156, 381, 0, 0, 0, 0, 0, None),
    (60, 'Nahrwan (Saudi Arabia)', 6, -231, -196, 482, 0, 0, 0, 0, 0, None),
    (61, 'Naparima', 4, -2, 374, 172, 0, 0, 0, 0, 0, None),
    (62, 'NAD 27 (Continental US)', 7, -8, 160, 176, 0, 0, 0, 0, 0, None),
    (63, 'NAD 27 (Alaska)', 7, -5, 135, 172, 0, 0, 0, 0, 0, None),
    (64, 'NAD 27 (Bahamas)', 7, -4, 154, 178, 0, 0, 0, 0, 0, None),
    (65, 'NAD 27 (San Salvador)', 7, 1, 140, 165, 0, 0, 0, 0, 0, None),
    (66, 'NAD 27 (Canada)', 7, -10, 158, 187, 0, 0, 0, 0, 0, None),
    (67, 'NAD 27 (Canal Zone)', 7, 0, 125, 201, 0, 0, 0, 0, 0, None),
    (68, 'NAD 27 (Caribbean)', 7, -7, 152, 178, 0, 0, 0, 0, 0, None),
    (69, 'NAD 27 (Central America)', 7, 0, 125, 194, 0, 0, 0, 0, 0, None),
    (70, 'NAD 27 (Cuba)', 7, -9, 152, 178, 0, 0, 0, 0, 0, None),
    (71, 'NAD 27 (Greenland)', 7, 11, 114, 195, 0, 0, 0, 0, 0, None),
    (72, 'NAD 27 (Mexico)', 7, -12, 130, 190, 0, 0, 0, 0, 0, None),
    (73, 'NAD 27 (Michigan)', 8, -8, 160, 176, 0, 0, 0, 0, 0, None),
    (74, 'NAD 83', 0, 0, 0, 0, 0, 0, 0, 0, 0, 4269),
    (75, 'Observatorio 1966', 4, -425, -169, 81, 0, 0, 0, 0, 0, None),
    (76, 'Old Egyptian', 22, -130, 110, -13, 0, 0, 0, 0, 0, None),
    (77, 'Old Hawaiian', 7, 61, -285, -181, 0, 0, 0, 0, 0, None),
    (78, 'Oman', 6, -346, -1, 224, 0, 0, 0, 0, 0, None),
    (79, 'Ordnance Survey of Great Britain 1936', 9, 375, -111, 431, 0, 0, 0, 0, 0, 4277),
    (80, 'Pico de las Nieves', 4, -307, -92, 127, 0, 0, 0, 0, 0, None),
    (81, 'Pitcairn Astro 1967', 4, 185, 165, 42, 0, 0, 0, 0, 0, None),
    (82, 'Provisional South American 1956', 4, -288, 175, -376, 0, 0, 0, 0, 0, None),
    (83, 'Puerto Rico', 7, 11, 72, -101, 0, 0, 0, 0, 0, None),
    (84, 'Qatar National', 4, -128, -283, 22, 0, 0, 0, 0, 0, None),
    (85, 'Qornoq', 4, 164, 138, -189, 0, 0, 0, 0, 0, None),
    (86, 'Reunion', 4, 94, -948, -1262, 0, 0, 0, 0, 0, None),
    (87, 'Rome 1940', 4, -225, -65, 9, 0, 0, 0, 0, 0, None),
    (88, 'Santo (DOS)', 4, 170, 42, 84, 0, 0, 0, 0, 0, None),
    (89, 'Sao Braz', 4, -203, 141, 53, 0, 0, 0, 0, 0, None),
    (90, 'Sapper Hill 1943', 4, -355, 16, 74, 0, 0, 0, 0, 0, None),
    (91, 'Schwarzeck', 14, 616, 97, -251, 0, 0, 0, 0, 0, None),
    (92, 'South American 1969', 24, -57, 1, -41, 0, 0, 0, 0, 0, None),
    (93, 'South Asia', 19, 7, -10, -26, 0, 0, 0, 0, 0, None),
    (94, 'Southeast Base', 4, -499, -249, 314, 0, 0, 0, 0, 0, None),
    (95, 'Southwest Base', 4, -104, 167, -38, 0, 0, 0, 0, 0, None),
    (96, 'Timbalai 1948', 11, -689, 691, -46, 0, 0, 0, 0, 0, None),
    (97, 'Tokyo', 10, -128, 481, 664, 0, 0, 0, 0, 0, None),
    (98, 'Tristan Astro 1968', 4, -632, 438, -609, 0, 0, 0, 0, 0, None),
    (99, 'Viti Levu 1916', 6, 51, 391, -36, 0, 0, 0, 0, 0, None),
    (100, 'Wake-Eniwetok 1960', 23, 101, 52, -39, 0, 0, 0, 0, 0, None),
    (101, 'World Geodetic System 1960', 26, 0, 0, 0, 0, 0, 0, 0, 0, None),
    (102, 'World Geodetic System 1966', 27, 0, 0, 0, 0, 0, 0, 0, 0, None),
    (103, 'World Geodetic System 1972', 1, 0, 8, 10, 0, 0, 0, 0, 0, 4322),
    (104, 'World Geodetic System 1984', 28, 0, 0, 0, 0, 0, 0, 0, 0, 4326),
    (105, 'Yacare', 4, -155, 171, 37, 0, 0, 0, 0, 0, None),
    (106, 'Zanderij', 4, -265, 120, -358, 0, 0, 0, 0, 0, None),
    (107, 'NTF (Greenwich meridian)', 30, -168, -60, 320, 0, 0, 0, 0, 0, 4275),
    (108, 'European 1987 (ED 87)', 4, -83, -96, -113, 0, 0, 0, 0, 0, None),
    (109, 'Netherlands Bessel', 10, 593, 26, 478, 0, 0, 0, 0, 0, None),
    (110, 'Belgium Hayford', 4, 81, 120, 129, 0, 0, 0, 0, 0, None),
    (111, 'NWGL 10', 1, -1, 15, 1, 0, 0, 0, 0, 0, None),
    (112, 'Rikets koordinatsystem 1990 (RT 90)', 10, 498, -36, 568, 0, 0, 0, 0, 0, None),
    (113, 'Lisboa (DLx)', 4, -303, -62, 105, 0, 0, 0, 0, 0, None),
    (114, 'Melrica 1973 (D73)', 4, -223, 110, 37, 0, 0, 0, 0, 0, None),
    (115, 'EUREF 89', 0, 0, 0, 0, 0, 0, 0, 0, 0, 4258),
    (116, 'GDA 94', 0, 0, 0, 0, 0, 0, 0, 0, 0, 4283),
    (117, 'NZGD 2000', 0, 0, 0, 0, 0, 0, 0, 0, 0, 4167),
    (118, 'American Samoa', 7, -115, 118, 426, 0, 0, 0, 0, 0, None),
    (119, 'Antigua Astro 1965', 6, -270, 13, 62, 0, 0, 0, 0, 0, None),
    (120, 'Ayabelle Lighthouse', 6, -79, -129, 145, 0, 0, 0, 0, 0, None),
    (121, 'Bukit Rimpah', 10, -384, 664, -48, 0, 0, 0, 0, 0, None),
    (122, 'Estonia 1937', 10, 374, 150, 588, 0, 0, 0, 0, 0, None),
    (123, 'Dabola', 6, -83, 37, 124, 0, 0, 0, 0, 0, None),
    (124, 'Deception Island', 6, 260, 12, -147, 0, 0, 0, 0, 0, None),
    (125, 'Fort Thomas 1955', 6, -7, 215, 225, 0, 0, 0, 0, 0, None),
    (126, 'Graciosa Base SW 1948', 4, -104, 167, -38, 0, 0, 0, 0, 0, None),
    (127, 'Herat North', 4, -333, -222, 114, 0, 0, 0, 0, 0, None),
    (128, 'Hermanns Kogel', 10, 682, -203, 480, 0, 0, 0, 0, 0, None),
    (129, 'Indian', 50, 283, 682, 231, 0, 0, 0, 0, 0, None),
    (130, 'Indian 1954', 11, 217, 823, 299, 0, 0, 0, 0, 0, None),
    (131, 'Indian 1960', 11, 198, 881, 317, 0, 0, 0, 0, 0, None),
    (132, 'Indian 1975', 11, 210, 814, 289, 0, 0, 0, 0, 0, None),
    (133, 'Indonesian Datum 1974', 4, -24, -15, 5, 0, 0, 0, 0, 0, None),
    (134, 'ISTS 061 Astro 1968', 4, -794, 119, -298, 0, 0, 0, 0, 0, None),
    (135, 'Kusaie Astro 1951', 4, 647, 1777, -1124, 0, 0, 0, 0, 0, None),
    (136, 'Leigon', 6, -130, 29, 364, 0, 0, 0, 0, 0, None),
    (137, 'Montserrat Astro 1958', 6, 174, 359, 365, 0, 0, 0, 0, 0, None),
    (138, "M'Poraloko", 6, -74, -130, 42, 0, 0, 0, 0, 0, None),
    (139, 'North Sahara 1959', 6, -186, -93, 310, 0, 0, 0, 0, 0, None),
    (140, 'Observatorio Meteorologico 1939', 4, -425, -169, 81, 0, 0, 0, 0, 0, None),
    (141, 'Point 58', 6, -106, -129, 165, 0, 0, 0, 0, 0, None),
    (142, 'Pointe Noire 1948', 6, -148, 51, -291, 0, 0, 0, 0, 0, None),
    (143, 'Porto Santo 1936', 4, -499, -249, 314, 0, 0, 0, 0, 0, None),
    (144, 'Selvagem Grande 1938', 4, -289, -124, 60, 0, 0, 0, 0, 0, None),
    (145, 'Sierra Leone 1960', 6, -88, 4, 101, 0, 0, 0, 0, 0, None),
    (146, 'S-JTSK', 10, 589, 76, 480, 0, 0, 0, 0, 0, None),
    (147, 'Tananarive Observatory 1925', 4, -189, -242, -91, 0, 0, 0, 0, 0, None),
    (148, 'Voirol 1874', 6, -73, -247, 227, 0, 0, 0, 0, 0, None),
    (149, 'Voirol 1960', 6, -123, -206, 219, 0, 0, 0, 0, 0, None),
    (150, 'Hartebeesthoek94', 0, 0, 0, 0, 0, 0, 0, 0, 0, 4148),
    (151, 'ATS77', 51, 0, 0, 0, 0, 0, 0, 0, 0, 4122),
    (152, 'JGD2000', 0, 0, 0, 0, 0, 0, 0, 0, 0, 4612),
    (1000, 'Deutsches Hauptdreiecksnetz (DHDN)', 10, 582, 105, 414, -1.04, -0.35, 3.08, 8.3, 0, 4314),
    (1001, 'Pulkovo 1942', 3, 24, -123, -94, -0.02, 0.25, 0.13, 1.1, 0, 4284),
    (1002, 'NTF (Paris meridian)', 30, -168, -60, 320, 0, 0, 0, 0, 2.337229166667, 4807),
    (1003, 'Switzerland (CH 1903)', 10, 660.077, 13.551, 369.344, 0.804816, 0.577692, 0.952236, 5.66, 0, 4149),
    (1004, 'Hungarian Datum 1972', 21, -56, 75.77, 15.31, -0.37, -0.2, -0.21, -1.01, 0, 4237),
    (1005, 'Cape (7 parameters)', 28, -134.73, -110.92, -292.66, 0, 0, 0, 1, 0, 4222),
    (1006, 'AGD84 (7 parameters, Australia)', 2, -117.763, -51.51, 139.061, -0.292, -0.443, -0.277, -0.191, 0, 4203),
    (1007, 'AGD66 (7 parameters, ACT)', 2, -129.193, -41.212, 130.73, -0.246, -0.374, -0.329, -2.955, 0, 4202),
    (1008, 'AGD66 (7 parameters, Tasmania)', 2, -120.271, -64.543, 161.632, -0.2175, 0.0672, 0.1291, 2.4985, 0, 4202),
    (1009, 'AGD66 (7 parameters, Victoria/NSW)', 2, -119.353, -48.301, 139.484, -0.415, -0.26, -0.437, -0.613, 0, 4202),
    (1010, 'NZGD49 (7 parameters)', 4, 59.47, -5.04, 187.44, -0.47, 0.1, -1.024, -4.5993, 0, 4272),
    (1011, 'RT 90 (7 parameters)', 10, 419.3836, 99.3335, 591.3451, -0.850389, -1.817277, 7.862238, -0.99496, 0, 4124),
    (1012, 'Russia PZ90', 52, -1.08, -0.27, -0.9, 0, 0, -0.16, -0.12, 0, 4740),
    (1013, 'Russia SK42', 52, 23.92, -141.27, -80.9, 0, -0.35, -0.82, -0.12, 0, 4284),
    (1014, 'Russia SK95', 52, 24.82, -131.21, -82.66, 0, 0, -0.16, -0.12, 0, 4200),
    (1015, 'Tokyo (4 parameters)', 10, -146.414, 507.337, 680.507, 0, 0, 0, 0, 0, 4301),
    (1016, 'Finnish KKJ', 4, -96.062, -82.428, -121.754, -4.801, -0.345, 1.376, 1.496, 0, 4123),
    (1017, 'Xian 1980', 53, 24, -123, -94, -0.02, -0.25, 0.13, 1.1, 0, 4610),
    (1018, 'Lithuanian Pulkovo 1942', 4, -40.59527, -18.54979, -69.33956, -2.508, -1.8319, 2.6114, -4.2991, 0, None),
    (1019, 'Belgian 1972 (7 parameters)', 4, -99.059, 53.322, -112.486, -0.419, 0.83, -1.885, 0.999999, 0, 4313),
    (1020, 'S-JTSK (Ferro meridian)', 10, 589, 76, 480, 0, 0, 0, 0, -17.666666666667, 4818),
]

# Garmin receiver / PCX5 datum list (public-domain MacGPS45 table of the values PCX5
# prints): name, ellipsoid index into GARMIN_ELLIPSOIDS, dX, dY, dZ.
GARMIN_ELLIPSOIDS = [
    (6377563.396, 299.3249646), (6377340.189, 299.3249646), (6378160.0, 298.25),
    (6377397.155, 299.1528128), (6378206.4, 294.9786982), (6378249.145, 293.465),
    (6377276.345, 300.8017), (6377304.063, 300.8017), (6378155.0, 298.3),
    (6377309.613, 300.8017), (6378160.0, 298.247), (6378137.0, 298.257222101),
    (6378200.0, 298.3), (6378270.0, 297.0), (6378388.0, 297.0), (6378245.0, 298.3),
    (6378160.0, 298.25), (6377295.664, 300.8017), (6377298.556, 300.8017),
    (6378135.0, 298.26), (6378137.0, 298.257223563), (6377483.865, 299.1528128),
    (6377301.243, 300.8017), (6378298.3, 294.73),
]
GARMIN_DATUMS = [
    ('Adindan', 5, -162, -12, 206), ('Afgooye', 15, -43, -163, 45),
    ('Ain el Abd 1970', 14, -150, -251, -2), ('Anna 1 Astro 1965', 2, -491, -22, 435),
    ('Arc 1950', 5, -143, -90, -294), ('Arc 1960', 5, -160, -8, -300),
    ("Ascension Island '58", 14, -207, 107, 52), ('Astro B4 Sorol Atoll', 14, 114, -116, -333),
    ('Astro Beacon "E"', 14, 145, 75, -272), ('Astro DOS 71/4', 14, -320, 550, -494),
    ("Astronomic Stn '52", 14, 124, -234, -25), ("Australian Geod '66", 2, -133, -48, 148),
    ("Australian Geod '84", 2, -134, -48, 149), ('Bellevue (IGN)', 14, -127, -769, 472),
    ('Bermuda 1957', 4, -73, 213, 296), ('Bogota Observatory', 14, 307, 304, -318),
    ('Campo Inchauspe', 14, -148, 136, 90), ('Canton Astro 1966', 14, 298, -304, -375),
    ('Cape', 5, -136, -108, -292), ('Cape Canaveral', 4, -2, 150, 181),
    ('Carthage', 5, -263, 6, 431), ('CH-1903', 3, 674, 15, 405),
    ('Chatham 1971', 14, 175, -38, 113), ('Chua Astro', 14, -134, 229, -29),
    ('Corrego Alegre', 14, -206, 172, -6), ('Djakarta (Batavia)', 3, -377, 681, -50),
    ('DOS 1968', 14, 230, -199, -752), ('Easter Island 1967', 14, 211, 147, 111),
    ('European 1950', 14, -87, -98, -121), ('European 1979', 14, -86, -98, -119),
    ('Finland Hayford', 14, -78, -231, -97), ('Gandajika Base', 14, -133, -321, 50),
    ("Geodetic Datum '49", 14, 84, -22, 209), ('Guam 1963', 4, -100, -248, 259),
    ('GUX 1 Astro', 14, 252, -209, -751), ('Hermannskogel Datum', 3, 682, -203, 480),
    ('Hjorsey 1955', 14, -73, 46, -86), ('Hong Kong 1963', 14, -156, -271, -189),
    ('Indian Bangladesh', 6, 289, 734, 257), ('Indian Thailand', 6, 214, 836, 303),
    ('Ireland 1965', 1, 506, -122, 611), ("ISTS 073 Astro '69", 14, 208, -435, -229),
    ('Johnston Island', 14, 191, -77, -204), ('Kandawala', 6, -97, 787, 86),
    ('Kerguelen Island', 14, 145, -187, 103), ('Kertau 1948', 7, -11, 851, 5),
    ('L.C. 5 Astro', 4, 42, 124, 147), ('Liberia 1964', 5, -90, 40, 88),
    ('Luzon Mindanao', 4, -133, -79, -72), ('Luzon Philippines', 4, -133, -77, -51),
    ('Mahe 1971', 5, 41, -220, -134), ('Marco Astro', 14, -289, -124, 60),
    ('Massawa', 3, 639, 405, 60), ('Merchich', 5, 31, 146, 47),
    ('Midway Astro 1961', 14, 912, -58, 1227), ('Minna', 5, -92, -93, 122),
    ('NAD27 Alaska', 4, -5, 135, 172), ('NAD27 Bahamas', 4, -4, 154, 178),
    ('NAD27 Canada', 4, -10, 158, 187), ('NAD27 Canal Zone', 4, 0, 125, 201),
    ('NAD27 Caribbean', 4, -7, 152, 178), ('NAD27 Central', 4, 0, 125, 194),
    ('NAD27 CONUS', 4, -8, 160, 176), ('NAD27 Cuba', 4, -9, 152, 178),
    ('NAD27 Greenland', 4, 11, 114, 195), ('NAD27 Mexico', 4, -12, 130, 190),
    ('NAD27 San Salvador', 4, 1, 140, 165), ('NAD83', 11, 0, 0, 0),
    ('Nahrwn Masirah Ilnd', 5, -247, -148, 369), ('Nahrwn Saudi Arbia', 5, -231, -196, 482),
    ('Nahrwn United Arab', 5, -249, -156, 381), ('Naparima BWI', 14, -2, 374, 172),
    ('Observatorio 1966', 14, -425, -169, 81), ('Old Egyptian', 12, -130, 110, -13),
    ('Old Hawaiian', 4, 61, -285, -181), ('Oman', 5, -346, -1, 224),
    ('Ord Srvy Grt Britn', 0, 375, -111, 431), ('Pico De Las Nieves', 14, -307, -92, 127),
    ('Pitcairn Astro 1967', 14, 185, 165, 42), ("Prov So Amrican '56", 14, -288, 175, -376),
    ("Prov So Chilean '63", 14, 16, 196, 93), ('Puerto Rico', 4, 11, 72, -101),
    ('Qatar National', 14, -128, -283, 22), ('Qornoq', 14, 164, 138, -189),
    ('Reunion', 14, 94, -948, -1262), ('Rome 1940', 14, -225, -65, 9),
    ('RT 90', 3, 498, -36, 568), ('Santo (DOS)', 14, 170, 42, 84),
    ('Sao Braz', 14, -203, 141, 53), ('Sapper Hill 1943', 14, -355, 16, 74),
    ('Schwarzeck', 21, 616, 97, -251), ("South American '69", 16, -57, 1, -41),
    ('South Asia', 8, 7, -10, -26), ('Southeast Base', 14, -499, -249, 314),
    ('Southwest Base', 14, -104, 167, -38), ('Timbalai 1948', 6, -689, 691, -46),
    ('Tokyo', 3, -128, 481, 664), ('Tristan Astro 1968', 14, -632, 438, -609),
    ('Viti Levu 1916', 5, 51, 391, -36), ("Wake-Eniwetok '60", 13, 101, 52, -39),
    ('WGS 72', 19, 0, 0, 5), ('WGS 84', 20, 0, 0, 0), ('Zanderij', 14, -265, 120, -358),
]

# GPS TrackMaker datum numbers (GTM 2.11 file format documentation, datum table):
# number|name. Numbers 1 to 219 follow the NIMA TR8350.2 list (datum, then area).
GTM_DATUMS_TEXT = '''
1|Adindan Burkina Faso
2|Adindan Cameroon
3|Adindan Ethiopia
4|Adindan Mali
5|Adindan Mean for Ethiopia; Sudan
6|Adindan Senegal
7|Adindan Sudan
8|Afgooye Somalia
9|Ain el Abd '70 Bahrain
10|Ain el Abd '70 Saudi Arabia
11|Am. Samoa '62 American Samoa Islands
12|Anna 1 A'65 Cocos Islands
13|Antigua Isd '43 Antigua (Leeward Islands)
14|Arc 1950 Botswana
15|Arc 1950 Burundi
16|Arc 1950 Lesotho
17|Arc 1950 Malawi
18|Arc 1950 Mean Mean for Arc 1950
19|Arc 1950 Swaziland
20|Arc 1950 Zaire
21|Arc 1950 Zambia
22|Arc 1950 Zimbabwe
23|Arc 1960 Mean for Kenya; Tanzania
24|Arc 1960 Kenya
25|Arc 1960 Taanzania
26|Ascension Isd '58 Ascension Island
27|Astro Beacon E'45 Iwo Jima
28|Astro DOS 71/4 St. Helena Island
29|Astro Tern Isd'61 Tern Island
30|Astron. Station '52 Marcus Island
31|Australian G. '66 Australia; Tasmania
32|Australian G. '84 Australia; Tasmania
33|Ayabelle Light. Djibouti
34|Bellevue (IGN) Efate & Erromango Islands
35|Bermuda 1957 Bermuda
36|Bissau Guinea-Bissau
37|Bogota Obsty Colombia
38|Bukit Rimpah Indonesia (Bangka and Belitung Ids)
39|Camp Area Astro Antarctica (McMurdo Camp Area)
40|Campo Inchauspe Argentina
41|Canton Astro 1966 Phoenix Islands
42|Cape South Africa
43|Cape Canaveral Bahamas; Florida
44|Carthage Tunisia
45|Chatham Isd A. '71 New Zealand (Chatham Island)
46|Chua Astro Paraguay
47|Corrego Alegre Brazil
48|Dabola Guinea
49|Deception Island Deception Island; Antarctia
50|Djakarta (Batavia) Indonesia (Sumatra)
51|DOS 1968 New Georgia Islands (Gizo Island)
52|Easter Island 1967 Easter Island
53|Estonia System '37 Estonia
54|European 1950 Cyprus
55|European 1950 Egypt
56|European 1950 England Channel Islands; Scotland; Shetland Islands
57|European 1950 England; Ireland; Scotland; Shetland Islands
58|European 1950 Finland; Norway
59|European 1950 Greece
60|European 1950 Iran
61|European 1950 Italy (Sardinia)
62|European 1950 Italy (Sicily)
63|European 1950 Malta
64|European 1950 Mean for Austria; Belgium; Denmark; Finland; France; W. Germany; Gibraltar; Greece; Italy; Luxembourg; Netherlands; Norway; Portugal; Spain; Sweden; Switzerland
65|European 1950 Mean for Austria; Denmark; France; W. Germany; Netherlands; Switzerland
66|European 1950 Mean for Iraq; Israel; Jordan; Lebanon; Kuwait; Saudi Arabia; Syria
67|European 1950 Portugal; Spain
68|European 1950 Tunisia
69|European 1979 Switzerland
70|Fort Thomas 1955 Nevis; St. Kitts (Leeward Islands)
71|Gan 1970 Republic of Maldives
72|Geod. Dat. '49 New Zealand
73|Graciosa SW '48 Azores (Faial; Graciosa; Pico; Sao Jorge; Terceira)
74|Guam 1963 Guam
75|Gunung Segara Indonesia (Kalimantan)
76|GUX 1 Astro Guadalcanal Island
77|Herat North Afghanistan
78|Hermannskogel Croatia-Serbia; Bosnia-Herzegovina
79|Hjorsey 1955 Iceland
80|Hong Kong 1963 Hong Kong
81|Hu-Tzu-Shan Taiwan
82|Indian Bangladesh
83|Indian India; Nepal
84|Indian Pakistan
85|Indian 1954 Thailand
86|Indian 1960 Vietnam (Com Son Island)
87|Indian 1960 Vietnam (Near 16N)
88|Indian 1975 Thailand
89|Indonesian 1974 Indonesia
90|Ireland 1965 Ireland
91|ISTS 061 '68 SouthGeorgia Islands
92|ISTS 073 '69 Diego Garcia
93|Johnston Isld '61 Johnston Island
94|Kandawala Sri Lanka
95|Kerguelen Isld '49 Kerguelen Island
96|Kertau 1948 West Malaysia and Singapore
97|Kusaie Astro1951 Caroline Islands
98|Korean System South Korea
99|L. C. 5 Astro 1961 Cayman Brac Island
100|Leigon Ghana
101|Liberia 1964 Liberia
102|Luzon Philippines (Excluding Mindanao)
103|Luzon Philippines (Mindanao)
104|M'Poraloko Gabon
105|Mahe 1971 Mahe Island
106|Massawa Ethiopia (Eritrea)
107|Merchich Morocco
108|Midway Astro '61 Midway Islands
109|Minna Cameroon
110|Minna Nigeria
111|Montserrat '58 Montserrat (Leeward Islands)
112|Nahrwan Oman (Masirah Island)
113|Nahrwan Saudi Arabia
114|Nahrwan United Arab Emirates
115|Naparima BWI Trinidad & Tobago
116|NAD 1927 Alaska (Excluding Aleutian Ids)
117|NAD 1927 Alaska (Aleutian Ids East of 180W)
118|NAD 1927 Alaska (Aleutian Ids West of 180W)
119|NAD 1927 Bahamas (Except San Salvador Id)
120|NAD 1927 Bahamas (San Salvador Island)
121|NAD 1927 Canada (Alberta; British Columbia)
122|NAD 1927 Canada (Manitoba; Ontario)
123|NAD 1927 Canada (New Brunswick; Newfoundland; Nova Scotia; Quebec)
124|NAD 1927 Canada (Northwest Territories; Saskatchewan)
125|NAD 1927 Canada (Yukon)
126|NAD 1927 Canal Zone
127|NAD 1927 Cuba
128|NAD 1927 Greenland (Hayes Peninsula)
129|NAD 1927 Mean for Antigua; Barbados; Barbuda; Caicos Islands; Cuba; Dominican Republic; Grand Cayman; Jamaica; Turks Islands
130|NAD 1927 Mean for Belize; Costa Rica; El Salvador; Guatemala; Honduras
131|NAD 1927 Mean for Canada
132|NAD 1927 Mean for CONUS
133|NAD 1927 Mean for CONUS (East of Mississippi River Including Louisiana; Missouri; Minnesota)
134|NAD 1927 Mean for CONUS (West of Mississippi River Excluding Louisiana; Minnesota; Missouri)
135|NAD'27 Mexico
136|NAD'83 Alaska (Excluding Aleutian Ids)
137|NAD'83 Aleutian Ids
138|NAD'83 Canada
139|NAD'83 CONUS
140|NAD'83 Hawaii
141|NAD'83 Mexico; Central America
142|North Sahara 1959 Algeria
143|Obs. Met. 1939 Azores (Corvo & Flores Islands)
144|Old Egyptian 1907 Egypt
145|Old Hawaiian Hawaii
146|Old Hawaiian Kauai
147|Old Hawaiian Maui
148|Old Hawaiian Mean for Hawaii; Kauai; Maui; Oahu
149|Old Hawaiian Oahu
150|Oman Oman
151|OS G. Britain '36 England
152|OS G. Britain '36 England; Isle of Man; Wales
153|OS G. Britain '36 Mean for England; Isle of Man; Scotland; Shetland Islands; Wales
154|OS G. Britain '36 Scotland; Shetland Islands
155|OS G. Britain '36 Wales
156|Pico de las Nieves Canary Islands
157|Pitcairn Astro '67 Pitcairn Island
158|Point 58 Mean for Burkina Faso & Niger
159|Pointe Noire 1948 Congo
160|Porto Santo 1936 Porto Santo; Madeira Islands
161|PSA1956 Bolivia
162|PSA1956 Chile (Northern; Near 19S)
163|PSA1956 Chile (Southern; Near 43S)
164|PSA1956 Colombia
165|PSA1956 Ecuador
166|PSA1956 Guyana
167|PSA1956 Mean for Bolivia; Chile; Colombia; Ecuador; Guyana; Peru; Venezuela
168|PSA1956 Peru
169|PSA1956 Venezuela
170|PS Chilean 1963 Chile (Near 53S) (Hito XVIII)
171|Puerto Rico Puerto Rico; Virgin Islands
172|Pulkovo 1942 Russia
173|Qatar National Qatar
174|Qornoq Greenland (South)
175|Reunion Mascarene Islands
176|Rome 1940 Italy (Sardinia)
177|S42 (Pulkovo '42) Hungary
178|S42 (Pulkovo '42) Poland
179|S42 (Pulkovo '42) Czechoslavakia
180|S42 (Pulkovo '42) Latvia
181|S42 (Pulkovo '42) Kazakhstan
182|S42 (Pulkovo '42) Albania
183|S42 (Pulkovo '42) Romania
184|S-JTSK Czechoslavakia (Prior 1 Jan 1993)
185|Santo (DOS) 1965 Espirito Santo Island
186|Sao Braz Azores (Sao Miguel; Santa Maria Ids)
187|Sapper Hill 1943 East Falkland Island
188|Schwarzeck Namibia
189|Selvagem G '38 Salvage Islands
190|Sierra Leone 1960 Sierra Leone
191|SAD 1969 Argentina
192|SAD 1969 Bolivia
193|SAD 1969 Brazil
194|SAD 1969 Chile
195|SAD 1969 Colombia
196|SAD 1969 Ecuador
197|SAD 1969 Ecuador (Baltra; Galapagos)
198|SAD 1969 Guyana
199|SAD 1969 Mean Mean for Argentina; Bolivia; Brazil; Chile; Colombia; Ecuador; Guyana; Paraguay; Peru; Trinidad & Tobago; Venezuela
200|SAD 1969 Paraguay
201|SAD 1969 Peru
202|SAD 1969 Trinidad & Tobago
203|SAD 1969 Venezuela
204|South Asia Singapore
205|Tananarive 1925 Madagascar
206|Timbalai 1948 Brunei; E. Malaysia (Sabah Sarawak)
207|Tokyo Japan
208|Tokyo Mean for Japan; South Korea; Okinawa
209|Tokyo Okinawa
210|Tokyo South Korea
211|Tristan Astro '68 Tristao da Cunha
212|Viti Levu 1916 Fiji (Viti Levu Island)
213|Voirol 1960 Algeria
214|Wake Isld '52 Wake Atoll
215|W Eniwetok '60 Marshall Islands
216|WGS 1972 Global Definition
217|WGS 1984 Global Definition
218|Yacare Uruguay
219|Zanderij Suriname
220|Amersfoort Netherlands
221|French NTF France; Nouvelle Triangulation Francaise
222|Potsdam Germany
223|RT 90 Swedish
224|CH-1903 Swiss
225|Austria Austria
226|European 1950 Belgium
227|Israeli Israeli
228|Rome 1940 Luxembourg
229|Finland Hayford Finland
230|Dionisos Greece
231|SAD 69 (IBGE) Brazil
232|Potsdam II Gemany
233|Datum 73 Portugal
234|WGS 1972 (GPS) Global Definition
235|Adindan (GPS) Burkina Faso
236|Ain el Abd 1970 (GPS) Bahrain
237|Arc 1960 (GPS) Kenya and Taanzania
238|Ascension Island 1958 (GPS) Ascension Island
239|Belgium 1950 (GPS) Belgium
240|Danish 1934 (GPS) Denmark
241|Hu-Tzu-Shan (GPS) Taiwan
242|Indian Bangladesh (GPS) Bangladesh
243|Indian Maen (GPS) Mean for India
244|Indian Thailand (GPS) Mean for Thailand
245|Indonesian 1974 (GPS) Mean for Indonesia
246|Johnston Isld 61 (GPS) Johnston Island
247|Luzon Mean (GPS) Mean for Philippines
248|NAD27 Caribbean (GPS) Mean for Caribe
249|Nahrwan Saudi Arabia (GPS) Mean for Saudi Arabia
250|Naparima BWI (GPS) Trinidad and Tobago
251|Netherland Tri21 (GPS) Mean for Netherland
252|Nou Triag France (GPS) France
253|Nou Triag Luxemb (GPS) Luxemburg
254|Old Hawaiian Kauai (GPS) Kauai/Hawaii
255|Old Hawaiian Maui (GPS) Maui/Hawaii
256|Old Hawaiian Oahu (GPS) Oahu/Hawaii
257|Portugal 73 (GPS) Portugal
258|RT 90 (GPS) Swedish
259|Sapper Hill 1943 (GPS) East Falkland Island
260|Timbalai 1948 (GPS) Mean for Brunei; E. Malaysia (Sabah Sarawak)
261|Tokyo Mean (GPS) Mean for Japan; South Korea; Okinawa
262|Wake-Eniwetok 1960 (GPS) Marshall Islands
'''

# GPS TrackMaker numbers whose area names alone do not single out their line of the NIMA
# list (gt_datum.csv codes): number -> code.
GTM_NIMA_CODES = {
    64: 'EUR-M', 65: 'EUR-A', 66: 'EUR-S', 102: 'LUZ-A', 103: 'LUZ-B', 116: 'NAS-D',
    117: 'NAS-V', 118: 'NAS-W', 119: 'NAS-Q', 120: 'NAS-R', 121: 'NAS-F', 122: 'NAS-H',
    123: 'NAS-G', 124: 'NAS-I', 125: 'NAS-J', 129: 'NAS-P', 130: 'NAS-N', 131: 'NAS-E',
    132: 'NAS-C', 133: 'NAS-A', 134: 'NAS-B', 162: 'PRP-B', 163: 'PRP-C', 167: 'PRP-M',
    169: 'PRP-H', 179: 'SPK-C', 183: 'SPK-G', 197: 'SAN-J', 199: 'SAN-M', 207: 'TOY-A',
    208: 'TOY-M', 254: 'OHA-B', 255: 'OHA-C', 256: 'OHA-D', 261: 'TOY-M',
}
# GPS TrackMaker numbers outside the NIMA list whose names are those of an EPSG datum:
# number -> EPSG geographic system.
GTM_EPSG_SYSTEMS = {
    78: 3906, 220: 4289, 222: 4314, 225: 4312, 227: 4281, 230: 4120, 232: 4314,
    239: 4215, 251: 4289, 252: 4275, 253: 4181, 257: 4274,
}
# Numbers 220 to 233 are not from the NIMA list.
GTM_OWN_NUMBERS = range(220, 234)

# GPS TrackMaker predefined grids (same documentation) that are one EPSG projected
# system: grid number -> EPSG code.
GTM_GRIDS = [(3, 21781), (4, 3021), (5, 27700), (6, 29902), (8, 2393), (14, 28992)]

# NMEA 0183 DTM local datum codes that are not IHO datum codes.
NMEA_FIXED_CODES = [('W84', 4326), ('W72', 4322), ('P90', 4740)]

# ER Mapper (ECW) names of well-known geographic systems (EPSG code -> name).
ECW_DATUMS = [(4326, 'WGS84'), (4322, 'WGS72DOD'), (4267, 'NAD27'), (4269, 'NAD83'),
              (4277, 'OSGB36'), (4201, 'ADINDAN'), (4202, 'AGD66'), (4203, 'AGD84'),
              (4209, 'ARC1950'), (4210, 'ARC1960'), (4275, 'NTF'), (4283, 'GDA94'),
              (4284, 'PULKOVO')]


# --------------------------------------------------------------------------------------
# Objects of the tables
# --------------------------------------------------------------------------------------

class Tables:
    """The rows of the ten files, filled step by step from the sources."""

    def __init__(self):
        self.ellipsoids = {}    # code -> dict(name, a, invf, b, unit, epsg, a_m, invf_eff)
        self.meridians = {}     # code -> dict(name, lon, unit, epsg, radians)
        self.datums = {}        # code -> dict(name, ellipsoid, meridian, unit, epsg, base)
        self.transforms = {}    # code -> dict(src, dst, type, p[10], lin, ang, scale_flag, weight)
        self.projections = {}   # code -> dict(name, datum, kind, p[8], lin, ang)
        self.names = {c: [] for c in (CLASS_ELLIPSOID, CLASS_MERIDIAN, CLASS_DATUM,
                                      CLASS_TRANSFORM, CLASS_PROJECTION)}
        self.next_extra_datum = EXTRA_FIRST_CODE
        self.next_extra_ellipsoid = EXTRA_FIRST_CODE
        self.next_extra_transform = EXTRA_FIRST_CODE

    def add_name(self, klass, scheme, name, code):
        entry = (scheme, clean_name(str(name)), code)
        if entry not in self.names[klass]:
            self.names[klass].append(entry)


def ellipsoid_code(epsg_code):
    return WGS84_ELLIPSOID_CODE if epsg_code == EPSG_WGS84_ELLIPSOID else epsg_code


def meridian_code(epsg_code):
    return GREENWICH_CODE if epsg_code == EPSG_GREENWICH else epsg_code


def datum_code(epsg_code):
    return WGS84_DATUM_CODE if epsg_code == EPSG_WGS84_DATUM else epsg_code


def load_ellipsoids(epsg, t):
    rows = epsg.q("select code, name, semi_major_axis, uom_code, inv_flattening, "
                  "semi_minor_axis from ellipsoid where auth_name='EPSG' and deprecated=0 "
                  "and celestial_body_code='EARTH' order by code")
    for code, name, a, uom, invf, b in rows:
        code = int(code)
        factor = epsg.length_factor(uom)
        unit = linear_index(factor)
        if unit is None:                      # no such unit here: give metres
            a, b, unit, factor = a * factor, (b * factor if b else b), 0, 1.0
        if invf is None:
            invf_out, b_out = 0.0, b
        elif invf == 0.0:                     # a sphere: defined by b = a
            invf_out, b_out = 0.0, a
        else:
            invf_out, b_out = invf, 0.0
        a_m = a * LINEAR_UNITS[unit]
        b_m = b_out * LINEAR_UNITS[unit]
        invf_eff = invf_out if invf_out > 2e-14 else (a_m / (a_m - b_m) if a_m != b_m else 0.0)
        e2 = (2 * invf_out - 1) / invf_out ** 2 if invf_out > 2e-14 else (a_m ** 2 - b_m ** 2) / a_m ** 2
        t.ellipsoids[ellipsoid_code(code)] = dict(
            name=name, a=a, invf=invf_out, b=b_out, unit=unit, epsg=code,
            a_m=a_m, invf_eff=invf_eff, e2=e2)
        t.add_name(CLASS_ELLIPSOID, SCHEME_EPSG, code, ellipsoid_code(code))


def load_meridians(epsg, t):
    rows = epsg.q("select code, name, longitude, uom_code from prime_meridian "
                  "where auth_name='EPSG' and deprecated=0 order by code")
    for code, name, lon, uom in rows:
        code = int(code)
        value, unit = epsg.angle(lon, uom)
        t.meridians[meridian_code(code)] = dict(
            name=name, lon=value, unit=unit, epsg=code, radians=value / ANGULAR_UNITS[unit])
        t.add_name(CLASS_MERIDIAN, SCHEME_EPSG, code, meridian_code(code))


# ---- datums and their transformations to WGS 84 ----

TRANSLATION_METHODS = {9603, 1031, 1035}
POSITION_VECTOR_METHODS = {9606, 1033, 1037}
COORDINATE_FRAME_METHODS = {9607, 1032, 1038}
BADEKAS_CF_METHODS = {9636, 1034, 1039}
BADEKAS_PV_METHODS = {1061, 1062, 1063}
HELMERT_METHODS = (TRANSLATION_METHODS | POSITION_VECTOR_METHODS | COORDINATE_FRAME_METHODS
                   | BADEKAS_CF_METHODS | BADEKAS_PV_METHODS)
LONGITUDE_ROTATION_METHOD = 9601


def extent_area(south, north, west, east):
    """Area of a latitude/longitude box on the unit sphere."""
    if east < west:
        east += 360.0
    return (math.sin(north * DEG) - math.sin(south * DEG)) * (east - west) * DEG


def usage_areas(epsg, table):
    """Largest area of use of every object of a table, by code."""
    areas = {}
    for code, s, n, w, e in epsg.q(
            "select u.object_code, e.south_lat, e.north_lat, e.west_lon, e.east_lon "
            "from usage u join extent e on e.auth_name=u.extent_auth_name "
            "and e.code=u.extent_code where u.object_table_name=? "
            "and u.object_auth_name='EPSG'", table):
        if s is None:
            continue
        a = extent_area(s, n, w, e)
        areas[int(code)] = max(a, areas.get(int(code), 0.0))
    return areas


def usage_extent_names(epsg, table):
    names = {}
    for code, name in epsg.q(
            "select u.object_code, e.name from usage u join extent e "
            "on e.auth_name=u.extent_auth_name and e.code=u.extent_code "
            "where u.object_table_name=? and u.object_auth_name='EPSG' "
            "order by u.object_code, e.code", table):
        names.setdefault(int(code), name)
    return names


class Shift:
    """A 3- or 7-parameter shift to WGS 84 in the position-vector convention."""

    def __init__(self, tx, ty, tz, rx=0.0, ry=0.0, rz=0.0, rot_unit=4, scale=0.0,
                 scale_flag=2):
        self.t = [float(tx), float(ty), float(tz)]
        self.r = [float(rx), float(ry), float(rz)]
        self.rot_unit = rot_unit
        self.scale = float(scale)
        self.scale_flag = scale_flag

    def seven(self):
        return any(self.r) or self.scale != 0.0

    def rotations_rad(self):
        return [v / ANGULAR_UNITS[self.rot_unit] for v in self.r]

    def scale_fraction(self):
        return self.scale * 1e-6 if self.scale_flag == 2 else self.scale

    def negated(self):
        return Shift(-self.t[0], -self.t[1], -self.t[2], -self.r[0], -self.r[1], -self.r[2],
                     self.rot_unit, -self.scale, self.scale_flag)

    def fold_pivot(self, px, py, pz):
        """Molodensky-Badekas to plain Helmert: T' = T - M.P for the linear formula."""
        rx, ry, rz = self.rotations_rad()
        s = self.scale_fraction()
        self.t[0] -= s * px - rz * py + ry * pz
        self.t[1] -= rz * px + s * py - rx * pz
        self.t[2] -= -ry * px + rx * py + s * pz

    def close_to(self, other, tol_t=0.5, tol_r=1e-8, tol_s=1e-7):
        if any(abs(a - b) > tol_t for a, b in zip(self.t, other.t)):
            return False
        for a, b in zip(self.rotations_rad(), other.rotations_rad()):
            if abs(a - b) > tol_r:
                return False
        return abs(self.scale_fraction() - other.scale_fraction()) <= tol_s


def helmert_candidates(epsg):
    """Every usable Helmert transformation between a datum and WGS 84, as a shift from
    that datum to WGS 84: list of dict(code, datum, shift, accuracy, area, forward)."""
    areas = usage_areas(epsg, 'helmert_transformation')
    rows = epsg.q(
        "select h.code, h.method_code, s.datum_code, t.datum_code, h.accuracy, "
        "h.tx, h.ty, h.tz, h.translation_uom_code, h.rx, h.ry, h.rz, h.rotation_uom_code, "
        "h.scale_difference, h.scale_difference_uom_code, h.px, h.py, h.pz, "
        "h.pivot_uom_code, h.rate_tx, h.epoch "
        "from helmert_transformation_table h "
        "join geodetic_crs s on s.auth_name=h.source_crs_auth_name and s.code=h.source_crs_code "
        "join geodetic_crs t on t.auth_name=h.target_crs_auth_name and t.code=h.target_crs_code "
        "where h.auth_name='EPSG' and h.deprecated=0 and (t.datum_code=? or s.datum_code=?) "
        "order by h.code", str(EPSG_WGS84_DATUM), str(EPSG_WGS84_DATUM))
    out = []
    for (code, method, sd, td, acc, tx, ty, tz, tuom, rx, ry, rz, ruom, ds, suom,
         px, py, pz, puom, rate, epoch) in rows:
        method, code = int(method), int(code)
        if method not in HELMERT_METHODS or rate is not None:
            continue
        sd, td = int(sd), int(td)
        if sd == td:
            continue
        forward = td == EPSG_WGS84_DATUM
        f = epsg.length_factor(tuom)
        shift = Shift(tx * f, ty * f, tz * f)
        if method not in TRANSLATION_METHODS:
            rot = [rx, ry, rz]
            unit = int(ruom)
            idx = angular_index(epsg.units[unit][1])
            if idx is None:                               # e.g. milliarc-seconds
                rot = [v * epsg.units[unit][1] / (DEG / 3600.0) for v in rot]
                idx = 4
            if method in COORDINATE_FRAME_METHODS | BADEKAS_CF_METHODS:
                rot = [-v for v in rot]
            scale, flag = epsg.scale(ds, suom)
            shift = Shift(shift.t[0], shift.t[1], shift.t[2], rot[0], rot[1], rot[2], idx,
                          scale, flag)
            if method in BADEKAS_CF_METHODS | BADEKAS_PV_METHODS:
                pf = epsg.length_factor(puom)
                shift.fold_pivot(px * pf, py * pf, pz * pf)
        if not forward:
            shift = shift.negated()
        out.append(dict(code=code, datum=sd if forward else td, shift=shift,
                        accuracy=acc, area=areas.get(code, 0.0), forward=forward))
    return out


def choose_transformation(cands):
    """The transformation a datum gets: forward ones first; among those covering (nearly)
    the widest area, the best accuracy; then the wider area; then the lower code."""
    fwd = [c for c in cands if c['forward']] or cands
    widest = max(c['area'] for c in fwd)
    near = [c for c in fwd if c['area'] >= 0.95 * widest]
    near.sort(key=lambda c: (c['accuracy'] if c['accuracy'] is not None else 1e9,
                             -c['area'], c['code']))
    return near[0]


def weight_of(accuracy):
    if accuracy is None:
        return 100
    return max(1, min(999, int(math.ceil(accuracy))))


def geographic_crs_by_datum(epsg):
    """datum -> list of (code, name, deprecated, cs code) of its geographic 2D systems."""
    out = {}
    for code, name, dep, cs, datum in epsg.q(
            "select code, name, deprecated, coordinate_system_code, datum_code "
            "from geodetic_crs where auth_name='EPSG' and type='geographic 2D' "
            "and datum_code is not null order by code"):
        out.setdefault(int(datum), []).append((int(code), name, int(dep), cs))
    return out


def primary_crs(crs_list):
    live = [c for c in crs_list if not c[2]] or crs_list
    classic = [c for c in live if 4000 <= c[0] < 5000]
    return (classic or live)[0]


def axis_unit(epsg, cs_code):
    rows = epsg.q("select uom_code from axis where auth_name='EPSG' and "
                  "coordinate_system_code=? order by coordinate_system_order", str(cs_code))
    return [int(r[0]) for r in rows if r[0] is not None]


def load_datums(epsg, t):
    crs = geographic_crs_by_datum(epsg)
    rows = epsg.q("select code, name, ellipsoid_code, prime_meridian_code from geodetic_datum "
                  "where auth_name='EPSG' and deprecated=0 order by code")
    info = {}
    for code, name, ell, pm in rows:
        code, ell, pm = int(code), int(ell), int(pm)
        if ellipsoid_code(ell) not in t.ellipsoids or meridian_code(pm) not in t.meridians:
            continue
        info[code] = dict(name=name, ell=ell, pm=pm, crs=crs.get(code, []))

    cands = {}
    for c in helmert_candidates(epsg):
        if c['datum'] in info:
            cands.setdefault(c['datum'], []).append(c)
    t.helmert_by_datum = cands

    chosen = {d: choose_transformation(cs) for d, cs in cands.items()}
    included = {EPSG_WGS84_DATUM} | set(chosen)
    rotations = longitude_rotations(epsg, info, t)
    changed = True
    while changed:                        # a datum whose twin differs by its meridian only
        changed = False
        for rcode, src, dst in rotations:
            for a, b in ((src, dst), (dst, src)):
                if b in included and a not in included:
                    included.add(a)
                    changed = True

    for code in sorted(included):
        d = info[code]
        prim = primary_crs(d['crs']) if d['crs'] else None
        unit = 1
        if prim is not None:
            units = axis_unit(epsg, prim[3])
            if units:
                unit = epsg.angle(1.0, units[0])[1]
        t.datums[datum_code(code)] = dict(
            name=prim[1] if prim else d['name'], ellipsoid=ellipsoid_code(d['ell']),
            meridian=meridian_code(d['pm']), unit=unit, epsg=code, base=None,
            epsg_name=d['name'])
        for c in d['crs']:
            t.add_name(CLASS_DATUM, SCHEME_EPSG, c[0], datum_code(code))

    for code, c in sorted(chosen.items()):
        add_shift_row(t, c['code'], datum_code(code), c['shift'], weight_of(c['accuracy']))
        t.add_name(CLASS_TRANSFORM, SCHEME_EPSG, c['code'], c['code'])
    t.chosen = chosen

    used = set()
    for rcode, src, dst in rotations:
        if src in included and dst in included and src not in used:
            used.add(src)
            t.transforms[rcode] = dict(src=datum_code(src), dst=datum_code(dst), type=1,
                                       p=[0.0] * 10, lin=0, ang=1, flag=0, weight=1)
            t.add_name(CLASS_TRANSFORM, SCHEME_EPSG, rcode, rcode)


def add_shift_row(t, code, src_code, shift, weight, dst_code=WGS84_DATUM_CODE):
    p = shift.t + (shift.r + [shift.scale] if shift.seven() else [0.0] * 4) + [0.0] * 3
    t.transforms[code] = dict(src=src_code, dst=dst_code, type=7 if shift.seven() else 3,
                              p=p, lin=0, ang=shift.rot_unit,
                              flag=shift.scale_flag if shift.seven() else 0, weight=weight)


def longitude_rotations(epsg, info, t):
    """Longitude rotations that are exactly the difference of the two datums' prime
    meridians, between datums on the same ellipsoid: (code, source, target)."""
    out = []
    for code, sc, tc, val, uom in epsg.q(
            "select o.code, s.datum_code, d.datum_code, o.param1_value, o.param1_uom_code "
            "from other_transformation o "
            "join geodetic_crs s on s.auth_name=o.source_crs_auth_name and s.code=o.source_crs_code "
            "join geodetic_crs d on d.auth_name=o.target_crs_auth_name and d.code=o.target_crs_code "
            "where o.auth_name='EPSG' and o.deprecated=0 and o.method_code=? order by o.code",
            str(LONGITUDE_ROTATION_METHOD)):
        sc, tc = int(sc), int(tc)
        if sc not in info or tc not in info or info[sc]['ell'] != info[tc]['ell']:
            continue
        rot = epsg.angle_radians(val, uom)
        diff = (t.meridians[meridian_code(info[sc]['pm'])]['radians']
                - t.meridians[meridian_code(info[tc]['pm'])]['radians'])
        if abs(rot - diff) <= 1e-10:
            out.append((int(code), sc, tc))
    return out


# ---- projected systems ----

# Parameter codes of the EPSG conversions.
LAT_NAT, LON_NAT, K_NAT, FE, FN = 8801, 8802, 8805, 8806, 8807
LAT_CENTRE, LON_CENTRE, AZIMUTH, GRID_ANGLE, K_CENTRE, E_CENTRE, N_CENTRE = (
    8811, 8812, 8813, 8814, 8815, 8816, 8817)
LAT_FALSE, LON_FALSE, LAT_1ST, LAT_2ND, E_FALSE, N_FALSE = 8821, 8822, 8823, 8824, 8826, 8827
LAT_STD, LON_ORIGIN = 8832, 8833


class ProjectionParams:
    """The parameters of one EPSG conversion, given in the units of one table row."""

    def __init__(self, epsg, row, lin_uom):
        self.epsg = epsg
        self.values = {}
        for i in range(7):
            code, value, uom = row[3 * i:3 * i + 3]
            if code is not None:
                self.values[int(code)] = (value, int(uom))
        self.lin_uom = lin_uom
        self.lin_factor = epsg.length_factor(lin_uom)

    def has(self, *codes):
        return all(c in self.values for c in codes)

    def length(self, code):
        value, uom = self.values[code]
        if uom == self.lin_uom:
            return value
        return value * self.epsg.length_factor(uom) / self.lin_factor

    def scale(self, code):
        value, uom = self.values[code]
        if uom != 9201:
            raise ValueError('scale unit %d' % uom)
        return value

    def radians(self, code):
        value, uom = self.values[code]
        return self.epsg.angle_radians(value, uom)

    def angles(self, codes):
        """Values of several angles in one unit of the system, and that unit."""
        pairs = [self.epsg.angle(*self.values[c]) for c in codes]
        units = {u for _, u in pairs}
        if len(units) == 1:
            return [v for v, _ in pairs], units.pop()
        return [v / ANGULAR_UNITS[u] * ANGULAR_UNITS[1] for v, u in pairs], 1


def iso_t(phi, e):
    """EPSG's t of the conformal projections: tan(pi/4 - phi/2) / ((1-e sin)/(1+e sin))^(e/2)."""
    s = e * math.sin(phi)
    return math.tan(math.pi / 4 - phi / 2) / ((1 - s) / (1 + s)) ** (e / 2)


def hotine_centre_offset(a, e2, phic, alphac):
    """u of the projection centre of a Hotine oblique Mercator (metres, EPSG guidance)."""
    B = math.sqrt(1 + e2 * math.cos(phic) ** 4 / (1 - e2))
    A = a * B * math.sqrt(1 - e2) / (1 - e2 * math.sin(phic) ** 2)
    D = B * math.sqrt(1 - e2) / (math.cos(phic) * math.sqrt(1 - e2 * math.sin(phic) ** 2))
    D2 = max(D * D, 1.0)
    return (A / B) * math.atan(math.sqrt(D2 - 1) / math.cos(alphac)) * (1 if phic >= 0 else -1)


def lcc_radius(a, e, n, F, phi):
    return a * F * iso_t(phi, e) ** n


def projection_row(method, pp, ell):
    """(kind, [lambda0, phi0, k0, x0, y0, p5, p6, p7], angular unit) or None."""
    e2 = ell['e2']
    e = math.sqrt(e2)
    a = ell['a_m']
    if method in (9807, 9801, 9804, 9809, 9810):
        kind = {9807: 1, 9801: 9, 9804: 7, 9809: 16, 9810: 15}[method]
        (lam, phi), unit = pp.angles([LON_NAT, LAT_NAT])
        return kind, [lam, phi, pp.scale(K_NAT), pp.length(FE), pp.length(FN), 0.0, 0.0, 0.0], unit
    if method == 9811:
        # New Zealand map grid: its polynomial has no scale factor (k0 is not read).
        (lam, phi), unit = pp.angles([LON_NAT, LAT_NAT])
        return 26, [lam, phi, 1.0, pp.length(FE), pp.length(FN), 0.0, 0.0, 0.0], unit
    if method in (9802, 9803):
        (lam, phi, p1, p2), unit = pp.angles([LON_FALSE, LAT_FALSE, LAT_1ST, LAT_2ND])
        if abs(pp.radians(LAT_1ST) - pp.radians(LAT_2ND)) < 1e-12:
            if method == 9803:
                return None
            # One standard parallel given twice: the same conic with its natural origin
            # on that parallel and k0 = 1.
            phi1, phif = pp.radians(LAT_1ST), pp.radians(LAT_FALSE)
            n = math.sin(phi1)
            m1 = math.cos(phi1) / math.sqrt(1 - e2 * math.sin(phi1) ** 2)
            F = m1 / (n * iso_t(phi1, e) ** n)
            shift = (lcc_radius(a, e, n, F, phif) - lcc_radius(a, e, n, F, phi1)) / pp.lin_factor
            return 9, [lam, p1, 1.0, pp.length(E_FALSE), pp.length(N_FALSE) + shift,
                       0.0, 0.0, 0.0], unit
        # The Belgian kind turns its cone by the fixed angle of the method itself; its p7
        # is not read and stays 0.
        kind = 8 if method == 9802 else 28
        return kind, [lam, phi, 1.0, pp.length(E_FALSE), pp.length(N_FALSE), p1, p2, 0.0], unit
    if method == 9805:
        # Mercator given by its standard parallel, written in phi0; the kind derives k0
        # from it (k0 is not read) and keeps the northing origin on the equator.
        (lam, phi1), unit = pp.angles([LON_NAT, LAT_1ST])
        return 42, [lam, phi1, 1.0, pp.length(FE), pp.length(FN), 0.0, 0.0, 0.0], unit
    if method == 9829:
        # Polar stereographic given by its standard parallel (p5); phi0 is the pole on the
        # parallel's side, k0 is not read.
        (lam, phic), unit = pp.angles([LON_ORIGIN, LAT_STD])
        pole = 90.0 if pp.radians(LAT_STD) >= 0 else -90.0
        phi0 = pole / ANGULAR_UNITS[1] * ANGULAR_UNITS[unit]
        return 46, [lam, phi0, 1.0, pp.length(FE), pp.length(FN), phic, 0.0, 0.0], unit
    if method == 9813:
        # Laborde: centre, scale factor on the central line, azimuth of that line in p5.
        (lam, phi, alpha), unit = pp.angles([LON_CENTRE, LAT_CENTRE, AZIMUTH])
        return 4, [lam, phi, pp.scale(K_CENTRE), pp.length(FE), pp.length(FN),
                   alpha, 0.0, 0.0], unit
    if method == 9812:
        (lam, phi, alpha, gamma), unit = pp.angles([LON_CENTRE, LAT_CENTRE, AZIMUTH, GRID_ANGLE])
        return 30, [lam, phi, pp.scale(K_CENTRE), pp.length(FE), pp.length(FN),
                    alpha, gamma, 0.0], unit
    if method == 9815:
        (lam, phi, alpha, gamma), unit = pp.angles([LON_CENTRE, LAT_CENTRE, AZIMUTH, GRID_ANGLE])
        ar, gr = pp.radians(AZIMUTH), pp.radians(GRID_ANGLE)
        k = pp.scale(K_CENTRE)
        ec, nc = pp.length(E_CENTRE), pp.length(N_CENTRE)
        right = math.pi / 2
        if abs(ar - right) < 1e-9 and abs(gr - right) < 1e-9:
            # Central line at right angles to the meridian of the centre: the oblique
            # cylinder on the conformal sphere.
            return 5, [lam, phi, k, ec, nc, 0.0, 0.0, 0.0], unit
        if abs(ar - gr) < 1e-12:
            return 3, [lam, phi, k, ec, nc, alpha, gamma, 0.0], unit
        if abs(abs(ar) - right) < 1e-9:
            return None
        uc = hotine_centre_offset(a, e2, pp.radians(LAT_CENTRE), ar) * k / pp.lin_factor
        return 30, [lam, phi, k, ec - uc * math.sin(gr), nc - uc * math.cos(gr),
                    alpha, gamma, 0.0], unit
    return None


SUPPORTED_METHODS = {9807, 9801, 9802, 9803, 9804, 9805, 9809, 9810, 9811, 9829, 9812, 9813,
                     9815}
POLAR_METHODS = {9810, 9829}


def axes_ok(epsg, cs_code, method):
    rows = epsg.q("select orientation, uom_code from axis where auth_name='EPSG' and "
                  "coordinate_system_code=? order by coordinate_system_order", str(cs_code))
    if len(rows) != 2 or rows[0][1] != rows[1][1]:
        return None
    dirs = {r[0].lower() for r in rows}
    if dirs != {'east', 'north'}:
        if method not in POLAR_METHODS or not all(d.startswith(('north along', 'south along'))
                                                   for d in dirs):
            return None
    return int(rows[0][1])


def load_projections(epsg, t):
    rows = epsg.q(
        "select p.code, p.name, p.coordinate_system_code, g.datum_code, c.method_code, "
        "c.param1_code, c.param1_value, c.param1_uom_code, c.param2_code, c.param2_value, "
        "c.param2_uom_code, c.param3_code, c.param3_value, c.param3_uom_code, "
        "c.param4_code, c.param4_value, c.param4_uom_code, c.param5_code, c.param5_value, "
        "c.param5_uom_code, c.param6_code, c.param6_value, c.param6_uom_code, "
        "c.param7_code, c.param7_value, c.param7_uom_code "
        "from projected_crs p "
        "join geodetic_crs g on g.auth_name=p.geodetic_crs_auth_name and g.code=p.geodetic_crs_code "
        "join conversion_table c on c.auth_name=p.conversion_auth_name and c.code=p.conversion_code "
        "where p.auth_name='EPSG' and p.deprecated=0 order by p.code")
    skipped = {}
    for row in rows:
        code, name, cs, dcode, method = int(row[0]), row[1], row[2], int(row[3]), int(row[4])
        if method not in SUPPORTED_METHODS:
            continue
        dc = datum_code(dcode)
        if dc not in t.datums:
            skipped['datum'] = skipped.get('datum', 0) + 1
            continue
        uom = axes_ok(epsg, cs, method)
        if uom is None:
            skipped['axes'] = skipped.get('axes', 0) + 1
            continue
        lin = linear_index(epsg.length_factor(uom))
        if lin is None:
            skipped['unit'] = skipped.get('unit', 0) + 1
            continue
        pp = ProjectionParams(epsg, row[5:], uom)
        ell = t.ellipsoids[t.datums[dc]['ellipsoid']]
        try:
            res = projection_row(method, pp, ell)
        except (KeyError, ValueError):
            res = None
        if res is None:
            skipped['form'] = skipped.get('form', 0) + 1
            continue
        kind, params, ang = res
        t.projections[code] = dict(name=name, datum=dc, kind=kind, p=params, lin=lin, ang=ang,
                                   method=method)
        t.add_name(CLASS_PROJECTION, SCHEME_EPSG, code, code)
    t.projection_skips = skipped


def load_deprecated_codes(epsg, t):
    """Codes EPSG replaced name the object of their replacement."""
    for table, klass, objects, to_code in (
            ('projected_crs', CLASS_PROJECTION, t.projections, lambda c: c),
            ('ellipsoid', CLASS_ELLIPSOID, t.ellipsoids, ellipsoid_code),
            ('prime_meridian', CLASS_MERIDIAN, t.meridians, meridian_code)):
        for old, new in epsg.q("select deprecated_code, replacement_code from deprecation "
                               "where table_name=? and deprecated_auth_name='EPSG' "
                               "and replacement_auth_name='EPSG' order by deprecated_code, "
                               "replacement_code", table):
            if to_code(int(new)) in objects:
                t.add_name(klass, SCHEME_EPSG, int(old), to_code(int(new)))
    # A replaced geographic system names the datum of its replacement.
    crs_datum = {int(c): int(d) for c, d in epsg.q(
        "select code, datum_code from geodetic_crs where auth_name='EPSG' "
        "and type='geographic 2D' and datum_code is not null")}
    for old, new in epsg.q("select deprecated_code, replacement_code from deprecation "
                           "where table_name='geodetic_crs' and deprecated_auth_name='EPSG' "
                           "and replacement_auth_name='EPSG' order by deprecated_code, "
                           "replacement_code"):
        old, new = int(old), int(new)
        if old in crs_datum and new in crs_datum:
            d = datum_code(crs_datum[new])
            if d in t.datums and not any(n[0] == SCHEME_EPSG and n[1] == str(old)
                                         for n in t.names[CLASS_DATUM]):
                t.add_name(CLASS_DATUM, SCHEME_EPSG, old, d)


# --------------------------------------------------------------------------------------
# Outside names: datums of other formats found among the EPSG-derived ones
# --------------------------------------------------------------------------------------

def name_tokens(s):
    s = s.lower().replace("'", '')
    return set(re.findall(r'[a-z]+|\d+', s))


def similarity(a, b):
    ta, tb = name_tokens(a), name_tokens(b)
    if not ta or not tb:
        return 0.0
    score = len(ta & tb) / len(ta | tb)
    if re.sub(r'[^a-z0-9]', '', a.lower()) == re.sub(r'[^a-z0-9]', '', b.lower()):
        score += 1.0
    return score


class Resolver:
    """Finds the datum a line of an outside table means: the EPSG datum it names, the
    EPSG transformation whose shift it repeats, or a datum of its own."""

    def __init__(self, epsg, t):
        self.epsg = epsg
        self.t = t
        self.crs_datum = {int(c): int(d) for c, d in epsg.q(
            "select code, datum_code from geodetic_crs where auth_name='EPSG' "
            "and datum_code is not null")}
        self.crs_replacement = {int(o): int(n) for o, n in epsg.q(
            "select deprecated_code, replacement_code from deprecation "
            "where table_name='geodetic_crs' and deprecated_auth_name='EPSG' "
            "and replacement_auth_name='EPSG' order by replacement_code desc")}
        self.extent_names = usage_extent_names(epsg, 'helmert_transformation')
        self.variants = {}          # (epsg datum, transformation code) -> our datum code
        self.own = {}               # key of a datum made from a table -> our datum code
        self.report = []
        self.candidates = []        # (epsg datum, candidate dict)
        for d, cs in t.helmert_by_datum.items():
            if datum_code(d) in t.datums:
                for c in cs:
                    self.candidates.append((d, c))

    # ---- ellipsoids ----
    def ellipsoid(self, a, invf):
        """Our ellipsoid of that size and shape; of equal ones, the one most datums use."""
        use = {}
        for d in self.t.datums.values():
            use[d['ellipsoid']] = use.get(d['ellipsoid'], 0) + 1
        best, best_key = None, None
        for code, e in sorted(self.t.ellipsoids.items()):
            da = abs(e['a_m'] - a)
            di = abs(e['invf_eff'] - invf)
            if da > 0.5 or di > 1e-3:
                continue
            key = (da / 0.5 + di / 1e-3, -use.get(code, 0), code)
            if best_key is None or key < best_key:
                best, best_key = code, key
        return best

    def same_ellipsoid(self, c1, c2):
        e1, e2 = self.t.ellipsoids[c1], self.t.ellipsoids[c2]
        # Published datum lists round some ellipsoids (Clarke 1880 for Clarke 1880 (Arc)...).
        return abs(e1['a_m'] - e2['a_m']) <= 1.0 and abs(e1['invf_eff'] - e2['invf_eff']) <= 0.01

    def ellipsoid_or_new(self, a, invf, name):
        """Our ellipsoid of that size and shape; one of its own when EPSG has none."""
        code = self.ellipsoid(a, invf)
        if code is None:
            code = self.t.next_extra_ellipsoid
            self.t.next_extra_ellipsoid += 1
            e2 = (2 * invf - 1) / invf ** 2 if invf > 2e-14 else 0.0
            self.t.ellipsoids[code] = dict(name=name, a=a, invf=invf if invf > 2e-14 else 0.0,
                                           b=0.0 if invf > 2e-14 else a, unit=0, epsg=None,
                                           a_m=a, invf_eff=invf, e2=e2)
            self.report.append('ellipsoid %s (%r, %r): not in EPSG; own ellipsoid %d'
                               % (name, a, invf, code))
        return code

    # ---- datums ----
    def datum_names(self, d):
        info = self.t.datums.get(datum_code(d))
        return [info['name'], info['epsg_name']] if info else []

    def from_epsg(self, d, shift):
        """Datum d of EPSG, or its variant whose transformation repeats the shift."""
        chosen = self.t.chosen.get(d)
        if shift is not None:
            matches = [c for c in self.t.helmert_by_datum.get(d, []) if c['shift'].close_to(shift)]
            if matches and not (chosen and any(m['code'] == chosen['code'] for m in matches)):
                matches.sort(key=lambda c: c['code'])
                return self.variant(d, matches[0])
        return datum_code(d)

    def variant(self, d, cand):
        key = (d, cand['code'])
        if key in self.variants:
            return self.variants[key]
        base = self.t.datums[datum_code(d)]
        code = self.t.next_extra_datum
        self.t.next_extra_datum += 1
        area = self.extent_names.get(cand['code'], 'EPSG %d' % cand['code'])
        name = '%s (%s)' % (base['name'], area)
        if any(d['name'] == name for d in self.t.datums.values()):
            name = '%s (%s, EPSG %d)' % (base['name'], area, cand['code'])
        self.t.datums[code] = dict(name=name,
                                   ellipsoid=base['ellipsoid'], meridian=base['meridian'],
                                   unit=base['unit'], epsg=None, base=datum_code(d),
                                   epsg_name=base['epsg_name'])
        add_shift_row(self.t, cand['code'], code, cand['shift'], weight_of(cand['accuracy']))
        self.t.add_name(CLASS_TRANSFORM, SCHEME_EPSG, cand['code'], cand['code'])
        self.variants[key] = code
        return code

    def own_datum(self, name, ell, shift, meridian=GREENWICH_CODE, base=None):
        key = (ell, meridian, tuple(round(v, 4) for v in shift.t),
               tuple(round(v, 7) for v in shift.r), round(shift.scale_fraction(), 12))
        if key in self.own:
            return self.own[key]
        code = self.t.next_extra_datum
        self.t.next_extra_datum += 1
        self.t.datums[code] = dict(name=name, ellipsoid=ell, meridian=meridian, unit=1,
                                   epsg=None, base=base, epsg_name=name)
        tcode = self.t.next_extra_transform
        self.t.next_extra_transform += 1
        add_shift_row(self.t, tcode, code, shift, 100)
        self.own[key] = code
        return code

    def resolve(self, source, name, ell, shift, hint_crs=None, meridian=GREENWICH_CODE):
        """Our datum code for a line of an outside table, or None."""
        if hint_crs is not None and hint_crs in self.crs_datum:
            d = self.crs_datum[hint_crs]
            if datum_code(d) not in self.t.datums and hint_crs in self.crs_replacement:
                d = self.crs_datum.get(self.crs_replacement[hint_crs], d)
            if datum_code(d) in self.t.datums:
                return self.from_epsg(d, shift)
            # EPSG knows the datum but no transformation to WGS 84: the table's shift.
            if ell is None or shift is None:
                return None
            prim = self.epsg.q("select name from geodetic_crs where code=?", str(hint_crs))
            return self.own_datum(prim[0][0] if prim else name, ell, shift, meridian)
        if ell is None or shift is None:
            self.report.append('%s: %s: no ellipsoid' % (source, name))
            return None
        if ell == WGS84_ELLIPSOID_CODE and not any(shift.t) and not shift.seven():
            return WGS84_DATUM_CODE
        hits = {}
        for d, c in self.candidates:
            if (self.same_ellipsoid(self.t.datums[datum_code(d)]['ellipsoid'], ell)
                    and c['shift'].close_to(shift)):
                hits.setdefault(d, []).append(c)
        if len(hits) > 1:
            # Several datums share the shift: the one whose name is nearest, else the
            # lowest code.
            scored = sorted(((-max(similarity(name, n) for n in self.datum_names(d)), d)
                             for d in hits))
            hits = {scored[0][1]: hits[scored[0][1]]}
        if len(hits) == 1:
            d = next(iter(hits))
            return self.from_epsg(d, shift)
        near = self.nearby_named(name, ell, shift)
        if near is not None:
            return datum_code(near)
        self.report.append('%s: %s: no EPSG datum has this shift or name; own datum'
                           % (source, name))
        label = {'NMEA': 'NIMA list'}.get(source.split()[0], source.split()[0])
        return self.own_datum('%s (%s)' % (name, label), ell, shift, meridian)

    def nearby_named(self, name, ell, shift, radius=50.0):
        """An EPSG datum on the same ellipsoid, with a transformation within radius metres
        of the shift and a name like the given one."""
        best = None
        for d, c in self.candidates:
            if not self.same_ellipsoid(self.t.datums[datum_code(d)]['ellipsoid'], ell):
                continue
            dist = math.sqrt(sum((a - b) ** 2 for a, b in zip(c['shift'].t, shift.t)))
            if dist > 20 * radius:
                continue
            sim = max(similarity(name, n) for n in self.datum_names(d))
            if sim < 0.3 and dist > 5.0:
                continue
            if dist > radius and sim < 1.0:
                continue
            key = (-sim, dist, d)
            if best is None or key < best:
                best = key
        return best[2] if best else None


def load_mapinfo_names(t, r):
    mi_ell = {}
    for number, name, a, invf in MAPINFO_ELLIPSOIDS:
        code = r.ellipsoid_or_new(a, invf, '%s (MapInfo)' % name)
        mi_ell[number] = code
        t.add_name(CLASS_ELLIPSOID, SCHEME_MAPINFO, number, code)
    for (number, name, ell, dx, dy, dz, ex, ey, ez, ppm, pm, hint) in MAPINFO_DATUMS:
        # MapInfo rotations turn the frame (coordinate frame): negated for position vector.
        shift = Shift(dx, dy, dz, -ex, -ey, -ez, 4, ppm, 2)
        meridian = GREENWICH_CODE
        if pm:
            found = [c for c, m in t.meridians.items() if abs(m['radians'] - pm * DEG) < 1e-9]
            meridian = found[0] if found else None
        if meridian is None:
            r.report.append('MapInfo datum %d: unknown prime meridian' % number)
            continue
        if hint == 0:
            code = r.own_datum('%s (MapInfo)' % name, mi_ell[ell], shift, meridian)
        else:
            code = r.resolve('MapInfo %d' % number, name, mi_ell.get(ell), shift, hint, meridian)
        if code is not None:
            t.add_name(CLASS_DATUM, SCHEME_MAPINFO, number, code)


def load_ozi_names(t, r):
    ellipsoids = {}
    with open(os.path.join(GDAL_DATA, 'ozi_ellips.csv'), newline='') as f:
        for row in csv.reader(f):
            if len(row) >= 4 and row[0].strip().isdigit():
                ellipsoids[int(row[0])] = r.ellipsoid_or_new(
                    float(row[2]), float(row[3]), '%s (OziExplorer)' % row[1].strip())
    with open(os.path.join(GDAL_DATA, 'ozi_datum.csv'), newline='') as f:
        for row in csv.reader(f):
            if len(row) < 6 or row[0].startswith('#') or row[0] == 'NAME':
                continue
            name = row[0].strip()
            hint = int(row[1]) if row[1].strip() else None
            dz = row[5].split('#')[0].strip()
            shift = Shift(float(row[3]), float(row[4]), float(dz))
            code = r.resolve('OziExplorer', name, ellipsoids.get(int(row[2])), shift, hint)
            if code is not None:
                for scheme in (SCHEME_OZI, SCHEME_RECEIVER, SCHEME_POLISH):
                    t.add_name(CLASS_DATUM, scheme, name, code)


# Datum names of Polish map files beyond the OziExplorer names the scheme shares: the
# format's own short name of its default datum.
POLISH_DATUM_NAMES = [('W84', WGS84_DATUM_CODE)]


def load_polish_names(t):
    for name, code in POLISH_DATUM_NAMES:
        t.add_name(CLASS_DATUM, SCHEME_POLISH, name, code)


def load_garmin_names(t, r):
    ells = [r.ellipsoid_or_new(a, invf, 'Garmin ellipsoid %d (Garmin)' % i)
            for i, (a, invf) in enumerate(GARMIN_ELLIPSOIDS)]
    for name, ell, dx, dy, dz in GARMIN_DATUMS:
        code = r.resolve('Garmin', name, ells[ell], Shift(dx, dy, dz))
        if code is not None:
            t.add_name(CLASS_DATUM, SCHEME_RECEIVER, name, code)


def read_geotrans_tables(r):
    ellipsoids = {}
    with open(os.path.join(GDAL_DATA, 'gt_ellips.csv'), newline='') as f:
        for row in csv.reader(f):
            # NAME,CODE,A,B,RF; some names hold an unquoted comma: read from the right.
            if len(row) < 5 or row[0] == 'NAME':
                continue
            try:
                a, rf = float(row[-3]), float(row[-1])
            except ValueError:
                continue
            name = ','.join(row[:-4]).strip()
            ellipsoids[row[-4].strip()] = r.ellipsoid_or_new(a, rf, '%s (NIMA list)' % name)
    entries = []
    with open(os.path.join(GDAL_DATA, 'gt_datum.csv'), newline='') as f:
        for row in csv.reader(f):
            if len(row) < 8 or row[0] == 'CODE':
                continue
            try:
                dx, dy, dz = float(row[3]), float(row[5]), float(row[7])
            except ValueError:
                continue                           # a line the file itself garbles
            if len(row) > 13 and any(v.strip() for v in row[13:]):
                continue                           # the 7-parameter means
            entries.append((row[0].strip(), row[1].strip(), ellipsoids.get(row[2].strip()),
                            Shift(dx, dy, dz)))
    return entries


def load_nmea_names(t, r, geotrans):
    for code, crs in NMEA_FIXED_CODES:
        d = r.resolve('NMEA', code, None, None, crs)
        if d is not None:
            t.add_name(CLASS_DATUM, SCHEME_NMEA_DTM, code, d)
    by_prefix = {}
    for code, name, ell, shift in geotrans:
        prefix, _, sub = code.partition('-')
        by_prefix.setdefault(prefix, []).append((sub, code, name, ell, shift))
    for prefix in sorted(by_prefix):
        entries = by_prefix[prefix]
        pick = ([e for e in entries if e[0] == 'M'] or [e for e in entries if e[0] == '']
                or entries)[0]
        d = r.resolve('NMEA', pick[2], pick[3], pick[4])
        if d is None:
            continue
        base = t.datums[d].get('base')
        t.add_name(CLASS_DATUM, SCHEME_NMEA_DTM, prefix, base if base else d)


def load_ecw_names(t, r):
    for crs, name in ECW_DATUMS:
        d = r.crs_datum.get(crs)
        if d is not None and datum_code(d) in t.datums:
            t.add_name(CLASS_DATUM, SCHEME_ECW, name, datum_code(d))
    gda94 = datum_code(6283)
    for code in sorted(t.projections):
        p = t.projections[code]
        zone = utm_zone(p)
        if zone is None:
            continue
        z, north = zone
        if p['datum'] == gda94 and not north and 48 <= z <= 58:
            t.add_name(CLASS_PROJECTION, SCHEME_ECW, 'MGA%02d' % z, code)
        else:
            t.add_name(CLASS_PROJECTION, SCHEME_ECW, '%sUTM%02d' % ('N' if north else 'S', z), code)


def utm_zone(p):
    """(zone, north) when a projection is a UTM zone in metres, else None."""
    if p['kind'] != 1 or p['lin'] != 0:
        return None
    lam, phi, k0, x0, y0 = p['p'][:5]
    lam_deg = lam / ANGULAR_UNITS[p['ang']] * ANGULAR_UNITS[1]
    if phi != 0.0 or k0 != 0.9996 or x0 != 500000.0 or y0 not in (0.0, 10000000.0):
        return None
    z = (lam_deg + 183.0) / 6.0
    if abs(z - round(z)) > 1e-9 or not 1 <= round(z) <= 60:
        return None
    return int(round(z)), y0 == 0.0


GTM_ABBREVIATIONS = {
    'isd': 'island', 'isld': 'island', 'is': 'island', 'id': 'island', 'ids': 'islands',
    'obsty': 'observatory', 'geod': 'geodetic', 'dat': 'datum', 'g': 'geodetic',
    'astron': 'astronomic', 'light': 'lighthouse', 'obs': 'observatorio',
    'met': 'meteorologico', 'sad': 'south american', 'nad': 'north american',
    'psa': 'provisional south american', 'ps': 'provisional south', 'os': 'ordnance',
    's42': 's 42 pulkovo', 'pk': 'pulkovo', 'taanzania': 'tanzania', 'a': 'astro',
    'w': 'wake', 'selvagem': 'selvagem grande', 'gb': 'great britain',
    'prov': 'provisional', 'pk': 'pulkovo',
}


def gtm_tokens(name):
    s = name.lower()
    s = re.sub(r"'(\d\d)\b", r' 19\1', s)                  # '58 -> 1958
    s = re.sub(r'([a-z])(\d{4})', r'\1 \2', s)             # astro1951 -> astro 1951
    s = re.sub(r'(\d{4})([a-z])', r'\1 \2', s)
    out = []
    for w in re.findall(r'[a-z]+|\d+', s):
        out.extend(GTM_ABBREVIATIONS.get(w, w).split())
    return set(out) - {'for', 'of', 'the', 'and', 'gps', 'param', 'para', '3'}


def load_gtm_names(t, r, geotrans):
    """GPS TrackMaker datum numbers: each name is found in the NIMA list of gt_datum.csv
    (whose shift then finds the EPSG datum or transformation), else among our datums."""
    gt = [(gtm_tokens(name), code, name, ell, shift) for code, name, ell, shift in geotrans]
    ours = [(gtm_tokens(d['name']) | gtm_tokens(d['epsg_name']), c)
            for c, d in sorted(t.datums.items()) if d.get('base') is None]
    for line in GTM_DATUMS_TEXT.strip().splitlines():
        number, name = line.split('|', 1)
        number = int(number)
        if number in (216, 234):
            d = r.resolve('GTM', name, None, None, 4322)
        elif number == 217:
            d = WGS84_DATUM_CODE
        elif number in GTM_EPSG_SYSTEMS:
            d = r.resolve('GTM', name, None, None, GTM_EPSG_SYSTEMS[number])
        elif number in GTM_NIMA_CODES:
            g = [e for e in geotrans if e[0] == GTM_NIMA_CODES[number]][0]
            d = r.resolve('GTM', name, g[2], g[3])
        else:
            d = gtm_datum(r, name, gt, ours, number not in GTM_OWN_NUMBERS)
        if d is not None:
            t.add_name(CLASS_DATUM, SCHEME_GTM, number, d)
    for grid, crs in GTM_GRIDS:
        if crs in t.projections:
            t.add_name(CLASS_PROJECTION, SCHEME_GTM, grid, crs)


def token_score(a, b):
    """(share of the smaller set found in the other, Jaccard index) of two token sets."""
    if not a or not b:
        return (0.0, 0.0)
    inter = len(a & b)
    return (inter / min(len(a), len(b)), inter / len(a | b))


def gtm_datum(r, name, gt, ours, in_nima_list):
    tokens = gtm_tokens(name)
    scored = [(token_score(tokens, g[0]), -i) for i, g in enumerate(gt)
              if gtm_tokens(g[2].split()[0]) <= tokens]
    best = max(scored, default=((0.0, 0.0), 0))
    if in_nima_list and best[0][0] >= 0.6:
        _, code, gname, ell, shift = gt[-best[1]]
        return r.resolve('GTM', name, ell, shift)
    # Not in the NIMA list: a datum of ours with (nearly) the same name.
    head = gtm_tokens(name.split('(')[0])
    best = max(((token_score(head, toks), -c) for toks, c in ours
                if len(head & toks) >= 2), default=((0.0, 0.0), 0))
    if best[0][0] >= 0.6:
        return -best[1]
    r.report.append('GTM %s: no datum found' % name)
    return None


# --------------------------------------------------------------------------------------
# Output and self-check
# --------------------------------------------------------------------------------------

def unique_names(objects):
    """Gives every object of a class a distinct name: EPSG objects keep theirs, the others
    get their code added when their name is taken."""
    seen = set()
    for code in sorted(objects, key=lambda c: (objects[c].get('epsg') is None, c)):
        o = objects[code]
        name = clean_name(o['name'], 259)
        if name in seen:
            name = clean_name('%s [%d]' % (name, code), 259)
        seen.add(name)
        o['name'] = name


def write_lines(path, lines):
    with open(path, 'w', encoding='utf-8', newline='\n') as f:
        for line in lines:
            f.write(line + '\n')


def output_lines(t):
    files = {}
    files['ellipsoi.txt'] = [';'.join([str(c), e['name'], num(e['a']), num(e['invf']), num(e['b']),
                                      str(e['unit'])]) for c, e in sorted(t.ellipsoids.items())]
    files['pmeridian.txt'] = [';'.join([str(c), m['name'], num(m['lon']), str(m['unit'])])
                              for c, m in sorted(t.meridians.items())]
    files['datum.txt'] = [';'.join([str(c), d['name'], str(d['ellipsoid']), str(d['meridian']),
                                    str(d['unit']), '0']) for c, d in sorted(t.datums.items())]
    files['gcentric.txt'] = [';'.join([str(c), str(g['src']), str(g['dst']), str(g['type'])]
                                      + [num(v) for v in g['p']]
                                      + [str(g['lin']), str(g['ang']), str(g['flag']),
                                         str(g['weight']), '0', '0'])
                             for c, g in sorted(t.transforms.items())]
    files['cartproj.txt'] = [';'.join([str(c), p['name'], str(p['datum']), str(p['kind'])]
                                      + [num(v) for v in p['p']]
                                      + [str(p['lin']), str(p['ang']), '0'])
                             for c, p in sorted(t.projections.items())]
    for fname, klass in (('ellipsil.txt', CLASS_ELLIPSOID), ('pmeridil.txt', CLASS_MERIDIAN),
                         ('datumil.txt', CLASS_DATUM), ('gcentril.txt', CLASS_TRANSFORM),
                         ('cartpril.txt', CLASS_PROJECTION)):
        entries = sorted(t.names[klass], key=lambda e: (e[0], e[2], e[1]))
        files[fname] = ['%d;%s;%d' % e for e in entries]
    return files


FIELD_TYPES = {
    'ellipsoi.txt': 'isfffi',
    'pmeridian.txt': 'isfi',
    'datum.txt': 'isiiii',
    'gcentric.txt': 'iiii' + 'f' * 10 + 'iiiiii',
    'cartproj.txt': 'isii' + 'f' * 8 + 'iii',
    'ellipsil.txt': 'isi', 'pmeridil.txt': 'isi', 'datumil.txt': 'isi',
    'gcentril.txt': 'isi', 'cartpril.txt': 'isi',
}
INT_RE = re.compile(r'^-?\d+$')
FLOAT_RE = re.compile(r'^-?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$')

SETUP_KINDS = {0, 1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 26, 28, 30, 36, 42, 43, 44, 45, 46}


def self_check(t, files):
    problems = []
    for fname, lines in files.items():
        types = FIELD_TYPES[fname]
        limit = 255 if fname.endswith('il.txt') else 259
        if not lines:
            problems.append('%s is empty' % fname)
        for n, line in enumerate(lines, 1):
            fields = line.split(';')
            if len(fields) != len(types):
                problems.append('%s:%d: %d fields' % (fname, n, len(fields)))
                continue
            for f, ty in zip(fields, types):
                if ty == 'i' and not INT_RE.match(f):
                    problems.append('%s:%d: %r is not an integer' % (fname, n, f))
                elif ty == 'f' and not FLOAT_RE.match(f):
                    problems.append('%s:%d: %r is not a number' % (fname, n, f))
                elif ty == 's' and (not f or len(f.encode('utf-8')) > limit):
                    problems.append('%s:%d: bad name %r' % (fname, n, f))
    # references and codes
    w = t.datums.get(WGS84_DATUM_CODE)
    if not w or w['ellipsoid'] != WGS84_ELLIPSOID_CODE or w['meridian'] != GREENWICH_CODE:
        problems.append('WGS 84 is not datum %d on ellipsoid %d and meridian %d'
                        % (WGS84_DATUM_CODE, WGS84_ELLIPSOID_CODE, GREENWICH_CODE))
    e = t.ellipsoids.get(WGS84_ELLIPSOID_CODE)
    if not e or e['a'] != 6378137.0 or e['invf'] != 298.257223563:
        problems.append('ellipsoid %d is not WGS 84' % WGS84_ELLIPSOID_CODE)
    if t.meridians.get(GREENWICH_CODE, {}).get('lon') != 0.0:
        problems.append('prime meridian %d is not Greenwich' % GREENWICH_CODE)
    for c, d in t.datums.items():
        if d['ellipsoid'] not in t.ellipsoids or d['meridian'] not in t.meridians:
            problems.append('datum %d refers to a missing ellipsoid or meridian' % c)
        if not 0 <= d['unit'] <= 11:
            problems.append('datum %d: unit %d' % (c, d['unit']))
    linked = {WGS84_DATUM_CODE}
    for c, g in t.transforms.items():
        if g['src'] not in t.datums or g['dst'] not in t.datums:
            problems.append('transformation %d refers to a missing datum' % c)
        if g['type'] not in (0, 1, 3, 7, 10) or not 0 <= g['lin'] <= 46 or not 0 <= g['ang'] <= 11:
            problems.append('transformation %d: bad type or unit' % c)
        if g['type'] == 1:
            m1 = t.meridians[t.datums[g['src']]['meridian']]['radians']
            m2 = t.meridians[t.datums[g['dst']]['meridian']]['radians']
            if m1 == m2:
                problems.append('transformation %d: meridian shift between equal meridians' % c)
    # every datum reaches WGS 84
    changed = True
    while changed:
        changed = False
        for g in t.transforms.values():
            if (g['src'] in linked) != (g['dst'] in linked):
                linked |= {g['src'], g['dst']}
                changed = True
    for c in t.datums:
        if c not in linked:
            problems.append('datum %d has no path to WGS 84' % c)
    for c, p in t.projections.items():
        if p['datum'] not in t.datums:
            problems.append('projection %d refers to a missing datum' % c)
        if p['kind'] not in SETUP_KINDS or not 0 <= p['lin'] <= 46 or not 0 <= p['ang'] <= 11:
            problems.append('projection %d: bad kind or unit' % c)
        if any(math.isnan(v) or math.isinf(v) for v in p['p']):
            problems.append('projection %d: parameter not finite' % c)
    for klass, objects in ((CLASS_ELLIPSOID, t.ellipsoids), (CLASS_MERIDIAN, t.meridians),
                           (CLASS_DATUM, t.datums), (CLASS_TRANSFORM, t.transforms),
                           (CLASS_PROJECTION, t.projections)):
        for scheme, name, code in t.names[klass]:
            if code not in objects:
                problems.append('name %r (scheme %d) of class %d names missing code %d'
                                % (name, scheme, klass, code))
        names = [o['name'] for o in objects.values() if 'name' in o]
        if klass != CLASS_TRANSFORM and len(names) != len(set(names)):
            problems.append('class %d: duplicate names' % klass)
    if max(t.next_extra_datum, t.next_extra_ellipsoid, t.next_extra_transform) > 1000:
        problems.append('codes made from outside tables reach the EPSG range (1000)')
    if not any(n == (SCHEME_EPSG, '4326', WGS84_DATUM_CODE) for n in t.names[CLASS_DATUM]):
        problems.append('EPSG 4326 does not name datum %d' % WGS84_DATUM_CODE)
    return problems


def main():
    ensure_packages()
    epsg = Epsg(PROJ_DB)
    t = Tables()
    load_ellipsoids(epsg, t)
    load_meridians(epsg, t)
    load_datums(epsg, t)
    load_projections(epsg, t)
    load_deprecated_codes(epsg, t)
    r = Resolver(epsg, t)
    load_mapinfo_names(t, r)
    load_ozi_names(t, r)
    load_polish_names(t)
    load_garmin_names(t, r)
    geotrans = read_geotrans_tables(r)
    load_nmea_names(t, r, geotrans)
    load_gtm_names(t, r, geotrans)
    load_ecw_names(t, r)
    for objects in (t.ellipsoids, t.meridians, t.datums, t.projections):
        unique_names(objects)
    files = output_lines(t)
    problems = self_check(t, files)
    if problems:
        for p in problems[:50]:
            print('check:', p, file=sys.stderr)
        sys.exit('%d problems; nothing written' % len(problems))
    os.makedirs(OUT_DIR, exist_ok=True)
    for fname, lines in files.items():
        write_lines(os.path.join(OUT_DIR, fname), lines)
    print('EPSG dataset %s (%s) from %s' % (epsg.version.get('EPSG.VERSION'),
                                            epsg.version.get('EPSG.DATE'), PROJ_DB))
    for fname in sorted(files):
        print('%-14s %6d lines' % (fname, len(files[fname])))
    print('projected systems left out:', t.projection_skips)
    for line in r.report:
        print('note:', line)


if __name__ == '__main__':
    main()
