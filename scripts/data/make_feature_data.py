#!/usr/bin/python3
"""Writes the feature data files of the vector map readers into data/:

  representation.xml  the representations (how each mnemonic is drawn), list
                      "representations"
  osmktag.xml         OpenStreetMap tag keys and their codes, list "posmktagsch"
  osmvtag.xml         OpenStreetMap tag values and their codes, list "posmvtagsch"
  osmkfeat.xml        keyword records of the keys that select a feature (key code,
                      default value code), list "posmkfeatsch"
  osmvfeat.xml        OpenStreetMap features (key, value, node 150 / way 151, mnemonic),
                      list "posmvfeatsch"
  pfmsfeat.xml        Polish map features (type, subtype, POI 16 / polyline 64 /
                      polygon 128, mnemonic, name), list "pfmsfeat"
  pfmmfeat.xml        Polish map main types and their group names, list "pfmmfeat"
  info.bmp            the information sign of the map features window's buttons

The XML files are native object files: one element per object, named after its class,
with "id" and "type" attributes and one "F" + attribute child per attribute; each file
holds a list (class 34) naming its objects by id. The OSM keys and values and the Polish
type codes are the public conventions of those formats; the mnemonics, names, colours
and widths are ours. Run with Debian's python3 (PIL for the bitmap):
    /usr/bin/python3 scripts/data/make_feature_data.py
The output is deterministic.
"""
import os
from xml.sax.saxutils import escape

from PIL import Image, ImageDraw

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data")

NODE, WAY = 150, 151
POI, POLYLINE, POLYGON = 16, 64, 128

# ---- Representations -------------------------------------------------------------------
# Point: (mnemo, (r, g, b), object size m, symbol px, symbol 0..5 or -1 icon, icon, font)
# Line:  (mnemo, (r, g, b), width m, width px, motif 0/1/8/9, fill motif, font, lanes)
POINTS = [
    ("CITY", (0, 0, 0), 2000, 10, 1, -1, 14),
    ("TOWN", (0, 0, 0), 1000, 8, 1, -1, 12),
    ("VILLAGE", (40, 40, 40), 400, 6, 1, -1, 10),
    ("HAMLET", (70, 70, 70), 200, 4, 0, -1, 9),
    ("LOCALITY", (90, 90, 90), 150, 4, 0, -1, 8),
    ("PEAK", (120, 70, 20), 300, 8, 4, -1, 9),
    ("SADDLE", (120, 70, 20), 200, 6, 3, -1, 8),
    ("SPRING", (0, 70, 220), 100, 6, 1, -1, 8),
    ("CAVE", (60, 60, 60), 100, 6, 5, -1, 8),
    ("TREE", (0, 120, 0), 50, 4, 1, -1, 7),
    ("FUEL", (220, 0, 0), 100, 8, -1, 2, 8),
    ("PARKING", (0, 70, 220), 100, 8, -1, 9, 8),
    ("RESTAURANT", (150, 0, 170), 80, 6, -1, 52, 8),
    ("CAFE", (150, 0, 170), 60, 6, -1, 31, 8),
    ("BANK", (0, 140, 0), 60, 6, -1, 24, 8),
    ("HOSPITAL", (220, 0, 0), 150, 8, -1, 14, 9),
    ("PHARMACY", (0, 140, 0), 60, 6, 3, -1, 8),
    ("SCHOOL", (120, 70, 20), 100, 6, 2, -1, 8),
    ("WORSHIP", (60, 60, 60), 100, 6, -1, 28, 8),
    ("POLICE", (0, 70, 220), 80, 6, 2, -1, 8),
    ("POST", (240, 170, 0), 60, 6, 2, -1, 8),
    ("TOILETS", (0, 70, 220), 40, 4, 1, -1, 7),
    ("DRINKWATER", (0, 70, 220), 40, 4, -1, 54, 7),
    ("SHOP", (150, 0, 170), 60, 6, 2, -1, 8),
    ("HOTEL", (0, 70, 220), 100, 6, -1, 43, 8),
    ("CAMPING", (0, 140, 0), 150, 6, -1, 11, 8),
    ("VIEWPOINT", (240, 170, 0), 80, 6, 4, -1, 8),
    ("MUSEUM", (120, 70, 20), 80, 6, -1, 19, 8),
    ("INFO", (0, 170, 190), 60, 6, 2, -1, 8),
    ("BUSSTOP", (0, 70, 220), 40, 4, 2, -1, 7),
    ("STATION", (220, 0, 0), 200, 8, 2, -1, 10),
    ("AIRPORT", (60, 60, 60), 1000, 10, -1, 20, 10),
    ("SIGNALS", (220, 0, 0), 20, 4, 1, -1, 6),
    ("CROSSING", (60, 60, 60), 20, 4, 3, -1, 6),
    ("LAMP", (240, 210, 0), 10, 2, 0, -1, 6),
    ("TOWER", (60, 60, 60), 60, 6, 5, -1, 7),
    ("MONUMENT", (120, 70, 20), 60, 6, 4, -1, 8),
    ("RUINS", (120, 70, 20), 60, 6, 5, -1, 8),
    ("SHELTER", (120, 70, 20), 60, 6, 2, -1, 8),
    ("BENCH", (120, 70, 20), 10, 2, 0, -1, 6),
    ("GATE", (60, 60, 60), 10, 4, 3, -1, 6),
    ("POWERPOLE", (90, 90, 90), 10, 2, 0, -1, 6),
    ("POINT", (0, 0, 0), 50, 4, 1, -1, 8),
]
LINES = [
    ("MOTORWAY", (220, 60, 60), 12, 5, 1, 0, 10, 2),
    ("MWLINK", (220, 60, 60), 6, 3, 1, 0, 8, 1),
    ("TRUNK", (240, 120, 60), 10, 4, 1, 0, 10, 2),
    ("PRIMARY", (250, 170, 60), 8, 4, 1, 0, 10, 2),
    ("SECONDARY", (240, 220, 80), 7, 3, 1, 0, 9, 2),
    ("TERTIARY", (255, 255, 150), 6, 3, 1, 0, 9, 2),
    ("ROAD", (200, 200, 200), 5, 2, 1, 0, 8, 2),
    ("RESIDENTIAL", (180, 180, 180), 5, 2, 1, 0, 8, 2),
    ("SERVICE", (170, 170, 170), 3, 1, 1, 0, 7, 1),
    ("PEDESTRIAN", (200, 200, 220), 4, 2, 1, 0, 7, 1),
    ("TRACK", (150, 110, 50), 3, 1, 9, 0, 7, 1),
    ("PATH", (120, 70, 20), 1, 1, 8, 0, 7, 1),
    ("FOOTWAY", (250, 128, 114), 2, 1, 8, 0, 7, 1),
    ("CYCLEWAY", (0, 70, 220), 2, 1, 9, 0, 7, 1),
    ("STEPS", (250, 128, 114), 2, 2, 8, 0, 6, 1),
    ("RAILWAY", (80, 80, 80), 3, 2, 9, 0, 8, 1),
    ("TRAM", (110, 110, 110), 2, 1, 1, 0, 7, 1),
    ("SUBWAY", (130, 130, 200), 2, 1, 9, 0, 7, 1),
    ("RIVER", (80, 140, 230), 20, 3, 1, 0, 10, 1),
    ("STREAM", (80, 140, 230), 3, 1, 1, 0, 8, 1),
    ("CANAL", (80, 140, 230), 10, 2, 1, 0, 9, 1),
    ("DITCH", (80, 140, 230), 1, 1, 8, 0, 7, 1),
    ("COAST", (40, 90, 200), 5, 2, 1, 0, 8, 1),
    ("BORDER", (150, 0, 170), 10, 2, 9, 0, 9, 1),
    ("ADMIN", (170, 80, 170), 5, 1, 9, 0, 8, 1),
    ("POWERLINE", (110, 110, 110), 1, 1, 8, 0, 6, 1),
    ("FENCE", (120, 120, 120), 1, 1, 8, 0, 6, 1),
    ("WALL", (100, 100, 100), 1, 1, 1, 0, 6, 1),
    ("RUNWAY", (160, 160, 180), 45, 6, 1, 0, 9, 1),
    ("TAXIWAY", (180, 180, 200), 20, 3, 1, 0, 8, 1),
    ("AERIALWAY", (60, 60, 60), 2, 1, 9, 0, 7, 1),
    ("FERRY", (40, 90, 200), 2, 1, 9, 0, 8, 1),
    ("CONTOUR", (190, 140, 90), 1, 1, 1, 0, 6, 1),
    ("BUILDING", (190, 160, 150), 1, 1, 1, 1, 7, 1),
    ("WATERAREA", (170, 210, 240), 1, 1, 1, 1, 8, 1),
    ("WOOD", (160, 210, 140), 1, 1, 1, 1, 8, 1),
    ("GRASS", (200, 240, 180), 1, 1, 1, 1, 7, 1),
    ("FARM", (240, 230, 200), 1, 1, 1, 1, 7, 1),
    ("URBAN", (230, 220, 220), 1, 1, 1, 1, 8, 1),
    ("INDUSTRIAL", (230, 210, 230), 1, 1, 1, 1, 7, 1),
    ("COMMERCIAL", (240, 200, 200), 1, 1, 1, 1, 7, 1),
    ("PARK", (200, 250, 200), 1, 1, 1, 1, 8, 1),
    ("CEMETERY", (170, 200, 170), 1, 1, 1, 1, 7, 1),
    ("SPORT", (140, 220, 180), 1, 1, 1, 1, 7, 1),
    ("PARKINGAREA", (240, 240, 200), 1, 1, 1, 1, 7, 1),
    ("WETLAND", (180, 220, 220), 1, 1, 1, 1, 7, 1),
    ("SAND", (245, 230, 170), 1, 1, 1, 1, 7, 1),
    ("ROCK", (210, 200, 190), 1, 1, 1, 1, 7, 1),
    ("GLACIER", (230, 245, 255), 1, 1, 1, 1, 7, 1),
    ("MILITARY", (230, 180, 180), 1, 1, 9, 1, 7, 1),
    ("AIRPORTAREA", (220, 220, 230), 1, 1, 1, 1, 8, 1),
    ("LINE", (0, 0, 0), 2, 1, 1, 0, 7, 1),
]

POINT_MNEMOS = {row[0] for row in POINTS}

# ---- OpenStreetMap ----------------------------------------------------------------------
# Keys with a fixed meaning for the import, then the keys that select features.
FIXED_KEYS = {"name": 23, "ele": 24, "ref": 25, "lanes": 26}
# key: (default value or None, [(value, node mnemo or None, way mnemo or None, name)])
OSM = {
    "highway": (None, [
        ("motorway", None, "MOTORWAY", "Motorway"),
        ("motorway_link", None, "MWLINK", "Motorway link"),
        ("trunk", None, "TRUNK", "Trunk road"),
        ("trunk_link", None, "MWLINK", "Trunk link"),
        ("primary", None, "PRIMARY", "Primary road"),
        ("primary_link", None, "PRIMARY", "Primary link"),
        ("secondary", None, "SECONDARY", "Secondary road"),
        ("secondary_link", None, "SECONDARY", "Secondary link"),
        ("tertiary", None, "TERTIARY", "Tertiary road"),
        ("tertiary_link", None, "TERTIARY", "Tertiary link"),
        ("unclassified", None, "ROAD", "Minor road"),
        ("road", None, "ROAD", "Road"),
        ("residential", None, "RESIDENTIAL", "Residential street"),
        ("living_street", None, "RESIDENTIAL", "Living street"),
        ("service", None, "SERVICE", "Service road"),
        ("pedestrian", None, "PEDESTRIAN", "Pedestrian street"),
        ("track", None, "TRACK", "Track"),
        ("path", None, "PATH", "Path"),
        ("footway", None, "FOOTWAY", "Footway"),
        ("bridleway", None, "PATH", "Bridleway"),
        ("cycleway", None, "CYCLEWAY", "Cycleway"),
        ("steps", None, "STEPS", "Steps"),
        ("construction", None, "SERVICE", "Road under construction"),
        ("bus_stop", "BUSSTOP", None, "Bus stop"),
        ("traffic_signals", "SIGNALS", None, "Traffic signals"),
        ("crossing", "CROSSING", None, "Crossing"),
        ("stop", "SIGNALS", None, "Stop sign"),
        ("give_way", "SIGNALS", None, "Give way"),
        ("mini_roundabout", "CROSSING", None, "Mini roundabout"),
        ("turning_circle", "CROSSING", None, "Turning circle"),
        ("motorway_junction", "CROSSING", None, "Motorway junction"),
        ("street_lamp", "LAMP", None, "Street lamp"),
        ("speed_camera", "SIGNALS", None, "Speed camera"),
    ]),
    "railway": (None, [
        ("rail", None, "RAILWAY", "Railway"),
        ("light_rail", None, "TRAM", "Light railway"),
        ("tram", None, "TRAM", "Tramway"),
        ("subway", None, "SUBWAY", "Subway"),
        ("narrow_gauge", None, "RAILWAY", "Narrow gauge railway"),
        ("disused", None, "TRAM", "Disused railway"),
        ("abandoned", None, "TRAM", "Abandoned railway"),
        ("station", "STATION", None, "Railway station"),
        ("halt", "STATION", None, "Railway halt"),
        ("tram_stop", "BUSSTOP", None, "Tram stop"),
        ("level_crossing", "CROSSING", None, "Level crossing"),
    ]),
    "waterway": (None, [
        ("river", None, "RIVER", "River"),
        ("stream", None, "STREAM", "Stream"),
        ("canal", None, "CANAL", "Canal"),
        ("drain", None, "DITCH", "Drain"),
        ("ditch", None, "DITCH", "Ditch"),
        ("riverbank", None, "WATERAREA", "Riverbank"),
        ("dam", None, "WALL", "Dam"),
        ("weir", None, "WALL", "Weir"),
        ("waterfall", "SPRING", None, "Waterfall"),
    ]),
    "natural": (None, [
        ("water", None, "WATERAREA", "Water"),
        ("wood", None, "WOOD", "Wood"),
        ("scrub", None, "WOOD", "Scrub"),
        ("grassland", None, "GRASS", "Grassland"),
        ("heath", None, "GRASS", "Heath"),
        ("wetland", None, "WETLAND", "Wetland"),
        ("beach", None, "SAND", "Beach"),
        ("sand", None, "SAND", "Sand"),
        ("bare_rock", None, "ROCK", "Bare rock"),
        ("scree", None, "ROCK", "Scree"),
        ("glacier", None, "GLACIER", "Glacier"),
        ("coastline", None, "COAST", "Coastline"),
        ("cliff", None, "WALL", "Cliff"),
        ("peak", "PEAK", None, "Peak"),
        ("saddle", "SADDLE", None, "Saddle"),
        ("volcano", "PEAK", None, "Volcano"),
        ("spring", "SPRING", None, "Spring"),
        ("cave_entrance", "CAVE", None, "Cave entrance"),
        ("tree", "TREE", None, "Tree"),
    ]),
    "landuse": (None, [
        ("residential", None, "URBAN", "Residential area"),
        ("industrial", None, "INDUSTRIAL", "Industrial area"),
        ("commercial", None, "COMMERCIAL", "Commercial area"),
        ("retail", None, "COMMERCIAL", "Retail area"),
        ("forest", None, "WOOD", "Forest"),
        ("farmland", None, "FARM", "Farmland"),
        ("farmyard", None, "FARM", "Farmyard"),
        ("meadow", None, "GRASS", "Meadow"),
        ("grass", None, "GRASS", "Grass"),
        ("orchard", None, "FARM", "Orchard"),
        ("vineyard", None, "FARM", "Vineyard"),
        ("cemetery", None, "CEMETERY", "Cemetery"),
        ("military", None, "MILITARY", "Military area"),
        ("quarry", None, "ROCK", "Quarry"),
        ("reservoir", None, "WATERAREA", "Reservoir"),
        ("allotments", None, "FARM", "Allotments"),
        ("construction", None, "INDUSTRIAL", "Construction site"),
        ("railway", None, "INDUSTRIAL", "Railway land"),
        ("recreation_ground", None, "PARK", "Recreation ground"),
    ]),
    "building": ("yes", [
        ("yes", None, "BUILDING", "Building"),
        ("house", None, "BUILDING", "House"),
        ("residential", None, "BUILDING", "Residential building"),
        ("apartments", None, "BUILDING", "Apartments"),
        ("commercial", None, "BUILDING", "Commercial building"),
        ("industrial", None, "BUILDING", "Industrial building"),
        ("retail", None, "BUILDING", "Shop building"),
        ("school", None, "BUILDING", "School building"),
        ("church", None, "BUILDING", "Church"),
        ("garage", None, "BUILDING", "Garage"),
        ("shed", None, "BUILDING", "Shed"),
        ("hut", None, "BUILDING", "Hut"),
        ("farm", None, "BUILDING", "Farm house"),
        ("barn", None, "BUILDING", "Barn"),
    ]),
    "amenity": (None, [
        ("fuel", "FUEL", None, "Fuel station"),
        ("parking", "PARKING", "PARKINGAREA", "Parking"),
        ("restaurant", "RESTAURANT", None, "Restaurant"),
        ("fast_food", "RESTAURANT", None, "Fast food"),
        ("cafe", "CAFE", None, "Cafe"),
        ("bar", "CAFE", None, "Bar"),
        ("pub", "CAFE", None, "Pub"),
        ("bank", "BANK", None, "Bank"),
        ("atm", "BANK", None, "Cash machine"),
        ("hospital", "HOSPITAL", "URBAN", "Hospital"),
        ("clinic", "HOSPITAL", None, "Clinic"),
        ("doctors", "HOSPITAL", None, "Doctor"),
        ("pharmacy", "PHARMACY", None, "Pharmacy"),
        ("school", "SCHOOL", "URBAN", "School"),
        ("kindergarten", "SCHOOL", None, "Kindergarten"),
        ("university", "SCHOOL", "URBAN", "University"),
        ("college", "SCHOOL", None, "College"),
        ("library", "MUSEUM", None, "Library"),
        ("place_of_worship", "WORSHIP", None, "Place of worship"),
        ("police", "POLICE", None, "Police"),
        ("fire_station", "POLICE", None, "Fire station"),
        ("post_office", "POST", None, "Post office"),
        ("post_box", "POST", None, "Post box"),
        ("townhall", "INFO", None, "Town hall"),
        ("toilets", "TOILETS", None, "Toilets"),
        ("drinking_water", "DRINKWATER", None, "Drinking water"),
        ("bench", "BENCH", None, "Bench"),
        ("shelter", "SHELTER", None, "Shelter"),
        ("telephone", "POINT", None, "Telephone"),
        ("cinema", "MUSEUM", None, "Cinema"),
        ("theatre", "MUSEUM", None, "Theatre"),
        ("marketplace", "SHOP", None, "Market place"),
        ("bus_station", "STATION", None, "Bus station"),
        ("recycling", "POINT", None, "Recycling"),
    ]),
    "shop": ("yes", [
        ("yes", "SHOP", None, "Shop"),
        ("supermarket", "SHOP", "COMMERCIAL", "Supermarket"),
        ("convenience", "SHOP", None, "Convenience store"),
        ("bakery", "SHOP", None, "Bakery"),
        ("butcher", "SHOP", None, "Butcher"),
        ("clothes", "SHOP", None, "Clothes"),
        ("hairdresser", "SHOP", None, "Hairdresser"),
        ("car_repair", "SHOP", None, "Car repair"),
        ("bicycle", "SHOP", None, "Bicycle shop"),
        ("books", "SHOP", None, "Books"),
        ("hardware", "SHOP", None, "Hardware"),
    ]),
    "tourism": (None, [
        ("hotel", "HOTEL", None, "Hotel"),
        ("motel", "HOTEL", None, "Motel"),
        ("guest_house", "HOTEL", None, "Guest house"),
        ("hostel", "HOTEL", None, "Hostel"),
        ("alpine_hut", "SHELTER", None, "Mountain hut"),
        ("camp_site", "CAMPING", "GRASS", "Camp site"),
        ("caravan_site", "CAMPING", None, "Caravan site"),
        ("viewpoint", "VIEWPOINT", None, "Viewpoint"),
        ("museum", "MUSEUM", None, "Museum"),
        ("information", "INFO", None, "Information"),
        ("attraction", "MONUMENT", None, "Attraction"),
        ("picnic_site", "BENCH", None, "Picnic site"),
        ("zoo", "MUSEUM", "PARK", "Zoo"),
    ]),
    "leisure": (None, [
        ("park", None, "PARK", "Park"),
        ("garden", None, "PARK", "Garden"),
        ("playground", "POINT", "PARK", "Playground"),
        ("pitch", None, "SPORT", "Pitch"),
        ("sports_centre", "POINT", "SPORT", "Sports centre"),
        ("stadium", None, "SPORT", "Stadium"),
        ("golf_course", None, "SPORT", "Golf course"),
        ("swimming_pool", None, "WATERAREA", "Swimming pool"),
        ("nature_reserve", None, "PARK", "Nature reserve"),
        ("track", None, "SPORT", "Running track"),
    ]),
    "place": (None, [
        ("city", "CITY", None, "City"),
        ("town", "TOWN", None, "Town"),
        ("village", "VILLAGE", None, "Village"),
        ("hamlet", "HAMLET", None, "Hamlet"),
        ("suburb", "VILLAGE", None, "Suburb"),
        ("neighbourhood", "HAMLET", None, "Neighbourhood"),
        ("isolated_dwelling", "HAMLET", None, "Isolated dwelling"),
        ("locality", "LOCALITY", None, "Locality"),
        ("island", "LOCALITY", None, "Island"),
    ]),
    "boundary": (None, [
        ("administrative", None, "ADMIN", "Administrative boundary"),
        ("national_park", None, "BORDER", "National park"),
        ("protected_area", None, "BORDER", "Protected area"),
    ]),
    "power": (None, [
        ("line", None, "POWERLINE", "Power line"),
        ("minor_line", None, "POWERLINE", "Minor power line"),
        ("tower", "POWERPOLE", None, "Power tower"),
        ("pole", "POWERPOLE", None, "Power pole"),
        ("substation", "POINT", "INDUSTRIAL", "Substation"),
        ("generator", "POINT", None, "Generator"),
    ]),
    "man_made": (None, [
        ("tower", "TOWER", None, "Tower"),
        ("water_tower", "TOWER", None, "Water tower"),
        ("lighthouse", "TOWER", None, "Lighthouse"),
        ("mast", "TOWER", None, "Mast"),
        ("pier", None, "WALL", "Pier"),
        ("pipeline", None, "POWERLINE", "Pipeline"),
        ("wastewater_plant", None, "INDUSTRIAL", "Wastewater plant"),
    ]),
    "aeroway": (None, [
        ("aerodrome", "AIRPORT", "AIRPORTAREA", "Aerodrome"),
        ("runway", None, "RUNWAY", "Runway"),
        ("taxiway", None, "TAXIWAY", "Taxiway"),
        ("helipad", "AIRPORT", None, "Helipad"),
    ]),
    "aerialway": (None, [
        ("cable_car", None, "AERIALWAY", "Cable car"),
        ("gondola", None, "AERIALWAY", "Gondola"),
        ("chair_lift", None, "AERIALWAY", "Chair lift"),
        ("drag_lift", None, "AERIALWAY", "Drag lift"),
        ("station", "STATION", None, "Lift station"),
    ]),
    "historic": (None, [
        ("monument", "MONUMENT", None, "Monument"),
        ("memorial", "MONUMENT", None, "Memorial"),
        ("castle", "MUSEUM", None, "Castle"),
        ("ruins", "RUINS", None, "Ruins"),
        ("archaeological_site", "RUINS", None, "Archaeological site"),
        ("wayside_cross", "MONUMENT", None, "Wayside cross"),
    ]),
    "barrier": (None, [
        ("fence", None, "FENCE", "Fence"),
        ("wall", None, "WALL", "Wall"),
        ("hedge", None, "FENCE", "Hedge"),
        ("gate", "GATE", None, "Gate"),
        ("bollard", "GATE", None, "Bollard"),
        ("lift_gate", "GATE", None, "Lift gate"),
    ]),
    "route": (None, [
        ("ferry", None, "FERRY", "Ferry route"),
    ]),
    "public_transport": (None, [
        ("platform", "BUSSTOP", "PEDESTRIAN", "Platform"),
        ("stop_position", "BUSSTOP", None, "Stop position"),
        ("station", "STATION", None, "Station"),
    ]),
    "office": ("yes", [
        ("yes", "INFO", None, "Office"),
        ("government", "INFO", None, "Government office"),
    ]),
    "emergency": (None, [
        ("fire_hydrant", "POINT", None, "Fire hydrant"),
        ("phone", "POINT", None, "Emergency phone"),
        ("defibrillator", "HOSPITAL", None, "Defibrillator"),
    ]),
    "military": (None, [
        ("barracks", None, "MILITARY", "Barracks"),
        ("danger_area", None, "MILITARY", "Danger area"),
    ]),
    "sport": (None, [
        ("soccer", "POINT", None, "Football"),
        ("tennis", "POINT", None, "Tennis"),
        ("swimming", "POINT", None, "Swimming"),
        ("climbing", "POINT", None, "Climbing"),
    ]),
    "healthcare": (None, [
        ("hospital", "HOSPITAL", None, "Health care: hospital"),
        ("pharmacy", "PHARMACY", None, "Health care: pharmacy"),
    ]),
    "craft": ("yes", [
        ("yes", "SHOP", None, "Craft"),
    ]),
}
# Further keys that select no feature but are named in the dictionary.
OTHER_KEYS = ["bridge", "tunnel", "oneway", "surface", "maxspeed", "access", "layer",
              "addr:housenumber", "addr:street", "addr:city", "addr:postcode",
              "admin_level", "operator", "cuisine", "religion", "denomination", "water",
              "wetland", "website", "phone", "opening_hours", "wikipedia", "note",
              "source", "created_by", "name:en", "name:fr", "alt_name", "int_name",
              "junction", "service", "foot", "bicycle", "horse", "motor_vehicle",
              "width", "height", "population", "capital", "is_in", "network"]

# ---- Polish map -------------------------------------------------------------------------
# Main types: (type, group name)
PFM_MAIN = [
    (0x01, "Cities and major roads"), (0x02, "Cities and principal highways"),
    (0x03, "Towns and other highways"), (0x04, "Towns and arterial roads"),
    (0x05, "Towns and collector roads"), (0x06, "Villages and streets"),
    (0x07, "Villages and alleys"), (0x08, "Villages and ramps"),
    (0x09, "Settlements and ramps"), (0x0a, "Settlements and unpaved roads"),
    (0x0b, "Hamlets and connectors"), (0x0c, "Hamlets and roundabouts"),
    (0x0d, "Places and reservations"), (0x0e, "Places and runways"),
    (0x10, "Localities"), (0x11, "Localities"), (0x13, "Man-made areas"),
    (0x14, "Railways and parks"), (0x15, "Shorelines and parks"),
    (0x16, "Trails and parks"), (0x17, "City parks"), (0x18, "Streams and golf"),
    (0x19, "Time zones and sport"), (0x1a, "Ferries and cemeteries"), (0x1b, "Ferries"),
    (0x1c, "Borders"), (0x1d, "Borders"), (0x1e, "Borders and parks"),
    (0x1f, "Rivers and parks"), (0x20, "Contours and parks"), (0x21, "Contours"),
    (0x22, "Contours"), (0x23, "Contours"), (0x24, "Contours"), (0x25, "Contours"),
    (0x26, "Intermittent rivers"), (0x27, "Runways"), (0x28, "Pipelines and sea"),
    (0x29, "Power lines and water"), (0x2a, "Food and drink"), (0x2b, "Lodging"),
    (0x2c, "Attractions"), (0x2d, "Entertainment"), (0x2e, "Shopping"),
    (0x2f, "Services"), (0x30, "Emergency and government"), (0x32, "Sea"),
    (0x3b, "Water"), (0x3c, "Lakes"), (0x3d, "Lakes"), (0x3e, "Lakes"), (0x3f, "Lakes"),
    (0x40, "Lakes"), (0x41, "Lakes"), (0x42, "Lakes"), (0x43, "Lakes"), (0x44, "Lakes"),
    (0x45, "Water"), (0x46, "Rivers"), (0x47, "Rivers"), (0x48, "Rivers"),
    (0x49, "Rivers"), (0x4c, "Intermittent water"), (0x4d, "Glaciers"),
    (0x4e, "Orchards"), (0x4f, "Scrub"), (0x50, "Woods"), (0x51, "Wetlands"),
    (0x52, "Tundra"), (0x53, "Flats"), (0x64, "Man-made features"),
    (0x65, "Water features"), (0x66, "Land features"),
]
# Features: (type, subtype, kind, mnemo, name)
PFM = [
    # POI: cities by size
    (0x01, 0x00, POI, "CITY", "Large city"), (0x02, 0x00, POI, "CITY", "City"),
    (0x03, 0x00, POI, "CITY", "City"), (0x04, 0x00, POI, "TOWN", "Town"),
    (0x05, 0x00, POI, "TOWN", "Town"), (0x06, 0x00, POI, "TOWN", "Small town"),
    (0x07, 0x00, POI, "VILLAGE", "Village"), (0x08, 0x00, POI, "VILLAGE", "Village"),
    (0x09, 0x00, POI, "VILLAGE", "Small village"), (0x0a, 0x00, POI, "HAMLET", "Settlement"),
    (0x0b, 0x00, POI, "HAMLET", "Hamlet"), (0x0c, 0x00, POI, "HAMLET", "Hamlet"),
    (0x0d, 0x00, POI, "HAMLET", "Place"), (0x0e, 0x00, POI, "LOCALITY", "Place"),
    (0x10, 0x00, POI, "LOCALITY", "Locality"), (0x11, 0x00, POI, "LOCALITY", "Locality"),
    # POI: food and drink
    (0x2a, 0x00, POI, "RESTAURANT", "Restaurant"), (0x2a, 0x01, POI, "RESTAURANT", "American food"),
    (0x2a, 0x02, POI, "RESTAURANT", "Asian food"), (0x2a, 0x03, POI, "RESTAURANT", "Barbecue"),
    (0x2a, 0x04, POI, "RESTAURANT", "Chinese food"), (0x2a, 0x05, POI, "CAFE", "Deli and bakery"),
    (0x2a, 0x06, POI, "RESTAURANT", "International food"), (0x2a, 0x07, POI, "RESTAURANT", "Fast food"),
    (0x2a, 0x08, POI, "RESTAURANT", "Italian food"), (0x2a, 0x09, POI, "RESTAURANT", "Mexican food"),
    (0x2a, 0x0a, POI, "RESTAURANT", "Pizza"), (0x2a, 0x0b, POI, "RESTAURANT", "Seafood"),
    (0x2a, 0x0c, POI, "RESTAURANT", "Steak house"), (0x2a, 0x0d, POI, "CAFE", "Bagels"),
    (0x2a, 0x0e, POI, "CAFE", "Cafe"), (0x2a, 0x0f, POI, "RESTAURANT", "French food"),
    (0x2a, 0x10, POI, "RESTAURANT", "German food"), (0x2a, 0x11, POI, "RESTAURANT", "British food"),
    # POI: lodging
    (0x2b, 0x00, POI, "HOTEL", "Lodging"), (0x2b, 0x01, POI, "HOTEL", "Hotel"),
    (0x2b, 0x02, POI, "HOTEL", "Bed and breakfast"), (0x2b, 0x03, POI, "CAMPING", "Camping"),
    (0x2b, 0x04, POI, "HOTEL", "Resort"),
    # POI: attractions
    (0x2c, 0x00, POI, "MONUMENT", "Attraction"), (0x2c, 0x01, POI, "PARKING", "Amusement park"),
    (0x2c, 0x02, POI, "MUSEUM", "Museum"), (0x2c, 0x03, POI, "MUSEUM", "Library"),
    (0x2c, 0x04, POI, "MONUMENT", "Landmark"), (0x2c, 0x05, POI, "SCHOOL", "School"),
    (0x2c, 0x06, POI, "TREE", "Park"), (0x2c, 0x07, POI, "MUSEUM", "Zoo"),
    (0x2c, 0x08, POI, "POINT", "Sports arena"), (0x2c, 0x09, POI, "MUSEUM", "Hall"),
    (0x2c, 0x0a, POI, "POINT", "Winery"), (0x2c, 0x0b, POI, "WORSHIP", "Place of worship"),
    # POI: entertainment
    (0x2d, 0x00, POI, "MUSEUM", "Entertainment"), (0x2d, 0x01, POI, "MUSEUM", "Theatre"),
    (0x2d, 0x02, POI, "CAFE", "Bar"), (0x2d, 0x03, POI, "MUSEUM", "Cinema"),
    (0x2d, 0x04, POI, "POINT", "Casino"), (0x2d, 0x05, POI, "POINT", "Golf course"),
    (0x2d, 0x06, POI, "POINT", "Ski centre"), (0x2d, 0x07, POI, "POINT", "Bowling"),
    (0x2d, 0x08, POI, "POINT", "Ice skating"), (0x2d, 0x09, POI, "POINT", "Swimming pool"),
    (0x2d, 0x0a, POI, "POINT", "Sports centre"), (0x2d, 0x0b, POI, "POINT", "Airfield"),
    # POI: shopping
    (0x2e, 0x00, POI, "SHOP", "Shopping"), (0x2e, 0x01, POI, "SHOP", "Department store"),
    (0x2e, 0x02, POI, "SHOP", "Grocery"), (0x2e, 0x03, POI, "SHOP", "General store"),
    (0x2e, 0x04, POI, "SHOP", "Shopping centre"), (0x2e, 0x05, POI, "PHARMACY", "Pharmacy"),
    (0x2e, 0x06, POI, "SHOP", "Convenience store"), (0x2e, 0x07, POI, "SHOP", "Clothes"),
    (0x2e, 0x08, POI, "SHOP", "Home and garden"), (0x2e, 0x09, POI, "SHOP", "Furniture"),
    (0x2e, 0x0a, POI, "SHOP", "Specialty shop"), (0x2e, 0x0b, POI, "SHOP", "Computer shop"),
    # POI: services
    (0x2f, 0x00, POI, "INFO", "Service"), (0x2f, 0x01, POI, "FUEL", "Fuel station"),
    (0x2f, 0x02, POI, "POINT", "Car rental"), (0x2f, 0x03, POI, "SHOP", "Car repair"),
    (0x2f, 0x04, POI, "AIRPORT", "Airport"), (0x2f, 0x05, POI, "POST", "Post office"),
    (0x2f, 0x06, POI, "BANK", "Bank"), (0x2f, 0x07, POI, "SHOP", "Car dealer"),
    (0x2f, 0x08, POI, "STATION", "Ground transport"), (0x2f, 0x09, POI, "POINT", "Marina"),
    (0x2f, 0x0a, POI, "POINT", "Wrecker service"), (0x2f, 0x0b, POI, "PARKING", "Parking"),
    (0x2f, 0x0c, POI, "TOILETS", "Rest area"), (0x2f, 0x0d, POI, "POINT", "Automobile club"),
    (0x2f, 0x0e, POI, "POINT", "Car wash"), (0x2f, 0x0f, POI, "POINT", "Dealer"),
    (0x2f, 0x10, POI, "POINT", "Personal service"), (0x2f, 0x11, POI, "POINT", "Business service"),
    (0x2f, 0x12, POI, "POINT", "Communication"), (0x2f, 0x13, POI, "POINT", "Repair service"),
    (0x2f, 0x14, POI, "INFO", "Social service"), (0x2f, 0x15, POI, "POINT", "Utility"),
    (0x2f, 0x16, POI, "POINT", "Truck stop"), (0x2f, 0x17, POI, "BUSSTOP", "Transit service"),
    # POI: emergency and government
    (0x30, 0x00, POI, "POLICE", "Emergency"), (0x30, 0x01, POI, "POLICE", "Police station"),
    (0x30, 0x02, POI, "HOSPITAL", "Hospital"), (0x30, 0x03, POI, "INFO", "Town hall"),
    (0x30, 0x04, POI, "INFO", "Court house"), (0x30, 0x05, POI, "INFO", "Community centre"),
    (0x30, 0x06, POI, "GATE", "Border crossing"), (0x30, 0x07, POI, "INFO", "Government office"),
    (0x30, 0x08, POI, "POLICE", "Fire station"),
    # POI: man-made, water and land features
    (0x64, 0x00, POI, "POINT", "Man-made feature"), (0x64, 0x01, POI, "MONUMENT", "Bridge"),
    (0x64, 0x02, POI, "SHELTER", "Building"), (0x64, 0x03, POI, "WORSHIP", "Cemetery"),
    (0x64, 0x04, POI, "WORSHIP", "Church"), (0x64, 0x05, POI, "INFO", "Civil building"),
    (0x64, 0x06, POI, "CROSSING", "Crossing"), (0x64, 0x07, POI, "MONUMENT", "Dam"),
    (0x64, 0x08, POI, "HOSPITAL", "Hospital"), (0x64, 0x09, POI, "MONUMENT", "Levee"),
    (0x64, 0x0a, POI, "INFO", "Locale"), (0x64, 0x0b, POI, "POLICE", "Military"),
    (0x64, 0x0c, POI, "RUINS", "Mine"), (0x64, 0x0d, POI, "TOWER", "Oil field"),
    (0x64, 0x0e, POI, "PARKING", "Park"), (0x64, 0x0f, POI, "POST", "Post"),
    (0x64, 0x10, POI, "SCHOOL", "School"), (0x64, 0x11, POI, "TOWER", "Tower"),
    (0x64, 0x12, POI, "INFO", "Trail"), (0x64, 0x13, POI, "CAVE", "Tunnel"),
    (0x64, 0x14, POI, "DRINKWATER", "Drinking water"), (0x64, 0x15, POI, "RUINS", "Ghost town"),
    (0x64, 0x16, POI, "SHELTER", "Subdivision"),
    (0x65, 0x00, POI, "SPRING", "Water feature"), (0x65, 0x01, POI, "SPRING", "Arroyo"),
    (0x65, 0x02, POI, "SPRING", "Sand bar"), (0x65, 0x03, POI, "SPRING", "Bay"),
    (0x65, 0x04, POI, "SPRING", "Bend"), (0x65, 0x05, POI, "SPRING", "Canal"),
    (0x65, 0x06, POI, "SPRING", "Channel"), (0x65, 0x07, POI, "SPRING", "Cove"),
    (0x65, 0x08, POI, "SPRING", "Falls"), (0x65, 0x09, POI, "SPRING", "Geyser"),
    (0x65, 0x0a, POI, "PEAK", "Glacier"), (0x65, 0x0b, POI, "SPRING", "Harbour"),
    (0x65, 0x0c, POI, "SPRING", "Island"), (0x65, 0x0d, POI, "SPRING", "Lake"),
    (0x65, 0x0e, POI, "SPRING", "Rapids"), (0x65, 0x0f, POI, "SPRING", "Reservoir"),
    (0x65, 0x10, POI, "SPRING", "Sea"), (0x65, 0x11, POI, "SPRING", "Spring"),
    (0x65, 0x12, POI, "SPRING", "Stream"), (0x65, 0x13, POI, "SPRING", "Swamp"),
    (0x66, 0x00, POI, "PEAK", "Land feature"), (0x66, 0x01, POI, "PEAK", "Arch"),
    (0x66, 0x02, POI, "PEAK", "Area"), (0x66, 0x03, POI, "PEAK", "Basin"),
    (0x66, 0x04, POI, "PEAK", "Beach"), (0x66, 0x05, POI, "PEAK", "Bench"),
    (0x66, 0x06, POI, "SADDLE", "Cape"), (0x66, 0x07, POI, "PEAK", "Cliff"),
    (0x66, 0x08, POI, "PEAK", "Crater"), (0x66, 0x09, POI, "PEAK", "Flat"),
    (0x66, 0x0a, POI, "TREE", "Forest"), (0x66, 0x0b, POI, "SADDLE", "Gap"),
    (0x66, 0x0c, POI, "SADDLE", "Gut"), (0x66, 0x0d, POI, "PEAK", "Isthmus"),
    (0x66, 0x0e, POI, "PEAK", "Lava"), (0x66, 0x0f, POI, "PEAK", "Pillar"),
    (0x66, 0x10, POI, "PEAK", "Plain"), (0x66, 0x11, POI, "PEAK", "Range"),
    (0x66, 0x12, POI, "PEAK", "Reserve"), (0x66, 0x13, POI, "PEAK", "Ridge"),
    (0x66, 0x14, POI, "CAVE", "Rock"), (0x66, 0x15, POI, "PEAK", "Slope"),
    (0x66, 0x16, POI, "PEAK", "Summit"), (0x66, 0x17, POI, "SADDLE", "Valley"),
    (0x66, 0x18, POI, "TREE", "Woods"),
    # Polylines
    (0x01, 0x00, POLYLINE, "MOTORWAY", "Major highway"),
    (0x02, 0x00, POLYLINE, "TRUNK", "Principal highway"),
    (0x03, 0x00, POLYLINE, "PRIMARY", "Other highway"),
    (0x04, 0x00, POLYLINE, "SECONDARY", "Arterial road"),
    (0x05, 0x00, POLYLINE, "TERTIARY", "Collector road"),
    (0x06, 0x00, POLYLINE, "RESIDENTIAL", "Residential street"),
    (0x07, 0x00, POLYLINE, "SERVICE", "Alley or private road"),
    (0x08, 0x00, POLYLINE, "MWLINK", "Ramp, low speed"),
    (0x09, 0x00, POLYLINE, "MWLINK", "Ramp, high speed"),
    (0x0a, 0x00, POLYLINE, "TRACK", "Unpaved road"),
    (0x0b, 0x00, POLYLINE, "MWLINK", "Highway connector"),
    (0x0c, 0x00, POLYLINE, "ROAD", "Roundabout"),
    (0x14, 0x00, POLYLINE, "RAILWAY", "Railway"),
    (0x15, 0x00, POLYLINE, "COAST", "Shoreline"),
    (0x16, 0x00, POLYLINE, "PATH", "Trail"),
    (0x18, 0x00, POLYLINE, "STREAM", "Stream"),
    (0x19, 0x00, POLYLINE, "ADMIN", "Time zone"),
    (0x1a, 0x00, POLYLINE, "FERRY", "Ferry"),
    (0x1b, 0x00, POLYLINE, "FERRY", "Ferry"),
    (0x1c, 0x00, POLYLINE, "ADMIN", "Province border"),
    (0x1d, 0x00, POLYLINE, "ADMIN", "County border"),
    (0x1e, 0x00, POLYLINE, "BORDER", "International border"),
    (0x1f, 0x00, POLYLINE, "RIVER", "River"),
    (0x20, 0x00, POLYLINE, "CONTOUR", "Minor land contour"),
    (0x21, 0x00, POLYLINE, "CONTOUR", "Intermediate land contour"),
    (0x22, 0x00, POLYLINE, "CONTOUR", "Major land contour"),
    (0x23, 0x00, POLYLINE, "CONTOUR", "Minor depth contour"),
    (0x24, 0x00, POLYLINE, "CONTOUR", "Intermediate depth contour"),
    (0x25, 0x00, POLYLINE, "CONTOUR", "Major depth contour"),
    (0x26, 0x00, POLYLINE, "STREAM", "Intermittent river"),
    (0x27, 0x00, POLYLINE, "RUNWAY", "Airport runway"),
    (0x28, 0x00, POLYLINE, "POWERLINE", "Pipeline"),
    (0x29, 0x00, POLYLINE, "POWERLINE", "Power line"),
    (0x2a, 0x00, POLYLINE, "BORDER", "Marine boundary"),
    (0x2b, 0x00, POLYLINE, "BORDER", "Hazard boundary"),
    # Polygons
    (0x01, 0x00, POLYGON, "URBAN", "Large urban area"),
    (0x02, 0x00, POLYGON, "URBAN", "Small urban area"),
    (0x03, 0x00, POLYGON, "URBAN", "Rural housing area"),
    (0x04, 0x00, POLYGON, "MILITARY", "Military base"),
    (0x05, 0x00, POLYGON, "PARKINGAREA", "Parking lot"),
    (0x06, 0x00, POLYGON, "PARKINGAREA", "Parking garage"),
    (0x07, 0x00, POLYGON, "AIRPORTAREA", "Airport"),
    (0x08, 0x00, POLYGON, "COMMERCIAL", "Shopping centre"),
    (0x09, 0x00, POLYGON, "WATERAREA", "Marina"),
    (0x0a, 0x00, POLYGON, "URBAN", "University"),
    (0x0b, 0x00, POLYGON, "URBAN", "Hospital"),
    (0x0c, 0x00, POLYGON, "INDUSTRIAL", "Industrial complex"),
    (0x0d, 0x00, POLYGON, "PARK", "Reservation"),
    (0x0e, 0x00, POLYGON, "AIRPORTAREA", "Airport runway"),
    (0x13, 0x00, POLYGON, "BUILDING", "Man-made area"),
    (0x14, 0x00, POLYGON, "PARK", "National park"),
    (0x15, 0x00, POLYGON, "PARK", "National park"),
    (0x16, 0x00, POLYGON, "PARK", "National park"),
    (0x17, 0x00, POLYGON, "PARK", "City park"),
    (0x18, 0x00, POLYGON, "SPORT", "Golf course"),
    (0x19, 0x00, POLYGON, "SPORT", "Sport complex"),
    (0x1a, 0x00, POLYGON, "CEMETERY", "Cemetery"),
    (0x1e, 0x00, POLYGON, "PARK", "State park"),
    (0x1f, 0x00, POLYGON, "PARK", "State park"),
    (0x20, 0x00, POLYGON, "PARK", "State park"),
    (0x28, 0x00, POLYGON, "WATERAREA", "Ocean"),
    (0x29, 0x00, POLYGON, "WATERAREA", "Water"),
    (0x32, 0x00, POLYGON, "WATERAREA", "Sea"),
    (0x3b, 0x00, POLYGON, "WATERAREA", "Water"),
    (0x3c, 0x00, POLYGON, "WATERAREA", "Large lake"),
    (0x3d, 0x00, POLYGON, "WATERAREA", "Large lake"),
    (0x3e, 0x00, POLYGON, "WATERAREA", "Medium lake"),
    (0x3f, 0x00, POLYGON, "WATERAREA", "Medium lake"),
    (0x40, 0x00, POLYGON, "WATERAREA", "Small lake"),
    (0x41, 0x00, POLYGON, "WATERAREA", "Small lake"),
    (0x42, 0x00, POLYGON, "WATERAREA", "Major lake"),
    (0x43, 0x00, POLYGON, "WATERAREA", "Major lake"),
    (0x44, 0x00, POLYGON, "WATERAREA", "Large lake"),
    (0x45, 0x00, POLYGON, "WATERAREA", "Water"),
    (0x46, 0x00, POLYGON, "WATERAREA", "Major river"),
    (0x47, 0x00, POLYGON, "WATERAREA", "Large river"),
    (0x48, 0x00, POLYGON, "WATERAREA", "Medium river"),
    (0x49, 0x00, POLYGON, "WATERAREA", "Small river"),
    (0x4c, 0x00, POLYGON, "WETLAND", "Intermittent water"),
    (0x4d, 0x00, POLYGON, "GLACIER", "Glacier"),
    (0x4e, 0x00, POLYGON, "FARM", "Orchard"),
    (0x4f, 0x00, POLYGON, "WOOD", "Scrub"),
    (0x50, 0x00, POLYGON, "WOOD", "Woods"),
    (0x51, 0x00, POLYGON, "WETLAND", "Wetland"),
    (0x52, 0x00, POLYGON, "GRASS", "Tundra"),
    (0x53, 0x00, POLYGON, "SAND", "Flat"),
]


# ---- Writing ------------------------------------------------------------------------------
class Doc:
    """A native object document: objects numbered from 1 with a two-letter prefix."""

    def __init__(self):
        self.parts = []
        self.next_id = 1

    def add(self, cls_name, cls_id, prefix, fields):
        ident = "%s%d" % (prefix, self.next_id)
        self.next_id += 1
        lines = ['  <%s id="%s" type="%d">' % (cls_name, ident, cls_id)]
        for name, value in fields:
            if value is None:
                continue
            lines.append("    <F%s>%s</F%s>" % (name, escape(str(value)), name))
        lines.append("  </%s>" % cls_name)
        self.parts.append("\n".join(lines))
        return ident

    def write(self, path, list_name, members):
        ident = "LI%d" % self.next_id
        self.next_id += 1
        ids = ",".join(members)
        self.parts.append('  <container id="%s" type="34">\n    <Fname>%s</Fname>\n'
                          '    <Fobjs><IDS>%s</IDS></Fobjs>\n  </container>'
                          % (ident, list_name, ids))
        text = ('<?xml version="1.0" encoding="UTF-8"?>\n<tmobjnative>\n'
                + "\n".join(self.parts) + "\n</tmobjnative>\n")
        with open(path, "w", encoding="utf-8", newline="\n") as f:
            f.write(text)


def colour(rgb):
    return "%d %d %d" % rgb


def write_representations():
    doc = Doc()
    ids = []
    seen = set()
    for m, rgb, size_m, px, symb, icon, font in POINTS:
        assert m not in seen
        seen.add(m)
        ids.append(doc.add("representation", 154, "RP", [
            ("mnemo", m), ("colour", colour(rgb)), ("thickmeter", size_m),
            ("thickpixel", px), ("motiforsymb", symb), ("filloricon", icon),
            ("fontsz", font), ("lanes", 1), ("feattype", NODE)]))
    for m, rgb, width_m, px, motif, fill, font, lanes in LINES:
        assert m not in seen
        seen.add(m)
        ids.append(doc.add("representation", 154, "RP", [
            ("mnemo", m), ("colour", colour(rgb)), ("thickmeter", width_m),
            ("thickpixel", px), ("motiforsymb", motif), ("filloricon", fill),
            ("fontsz", font), ("lanes", lanes), ("feattype", WAY)]))
    doc.write(os.path.join(OUT, "representation.xml"), "representations", ids)
    return seen


def osm_codes():
    keys = dict(FIXED_KEYS)
    code = 1
    for k in list(OSM.keys()) + OTHER_KEYS:
        while code in keys.values():
            code += 1
        if k not in keys:
            keys[k] = code
            code += 1
    values = {}
    for k, (default, rows) in OSM.items():
        for v, _, _, _ in rows:
            if v not in values:
                values[v] = len(values) + 1
    for v in ["no", "true", "false", "1", "2", "-1", "asphalt", "gravel", "unpaved",
              "paved", "private", "permissive", "designated", "destination", "both",
              "left", "right", "roundabout", "bus", "drink", "fuel_station"]:
        if v not in values:
            values[v] = len(values) + 1
    return keys, values


def write_osm(known):
    keys, values = osm_codes()
    doc = Doc()
    ids = [doc.add("tag", 48, "TG", [("name", k), ("val", c)])
           for k, c in sorted(keys.items(), key=lambda kv: kv[1])]
    doc.write(os.path.join(OUT, "osmktag.xml"), "posmktagsch", ids)
    doc = Doc()
    ids = [doc.add("tag", 48, "TG", [("name", v), ("val", c)])
           for v, c in sorted(values.items(), key=lambda kv: kv[1])]
    doc.write(os.path.join(OUT, "osmvtag.xml"), "posmvtagsch", ids)
    doc = Doc()
    ids = []
    for k, (default, rows) in OSM.items():
        ids.append(doc.add("feature", 153, "FE", [
            ("maintype", keys[k]), ("subtype", values[default] if default else 0),
            ("elttype", 0), ("name", k)]))
    doc.write(os.path.join(OUT, "osmkfeat.xml"), "posmkfeatsch", ids)
    doc = Doc()
    ids = []
    for k, (default, rows) in OSM.items():
        for v, node_m, way_m, name in rows:
            for elt, m in ((NODE, node_m), (WAY, way_m)):
                if not m:
                    continue
                assert m in known, m
                assert (elt == NODE) == (m in POINT_MNEMOS), (k, v, m)
                ids.append(doc.add("feature", 153, "FE", [
                    ("maintype", keys[k]), ("subtype", values[v]), ("elttype", elt),
                    ("mnemo", m), ("name", name)]))
    doc.write(os.path.join(OUT, "osmvfeat.xml"), "posmvfeatsch", ids)


def write_polish(known):
    doc = Doc()
    ids = []
    seen = set()
    for t, s, kind, m, name in PFM:
        assert (t, s, kind) not in seen, (t, s, kind)
        seen.add((t, s, kind))
        assert m in known, m
        assert (kind == POI) == (m in POINT_MNEMOS), (t, s, m)
        ids.append(doc.add("feature", 153, "FE", [
            ("maintype", t), ("subtype", s), ("elttype", kind), ("mnemo", m),
            ("name", name)]))
    doc.write(os.path.join(OUT, "pfmsfeat.xml"), "pfmsfeat", ids)
    doc = Doc()
    ids = [doc.add("feature", 153, "FE", [("maintype", t), ("subtype", 0), ("elttype", 0),
                                         ("name", name)]) for t, name in PFM_MAIN]
    doc.write(os.path.join(OUT, "pfmmfeat.xml"), "pfmmfeat", ids)


def write_info_bitmap():
    """A 16 x 16 information sign: a blue disc with a white "i", 24-bit BMP."""
    img = Image.new("RGB", (16, 16), (192, 192, 192))
    d = ImageDraw.Draw(img)
    d.ellipse([0, 0, 15, 15], fill=(0, 70, 200), outline=(0, 30, 120))
    d.rectangle([7, 3, 8, 4], fill=(255, 255, 255))
    d.rectangle([7, 6, 8, 12], fill=(255, 255, 255))
    d.rectangle([6, 6, 7, 6], fill=(255, 255, 255))
    d.rectangle([6, 12, 9, 12], fill=(255, 255, 255))
    img.save(os.path.join(OUT, "info.bmp"), "BMP")


def main():
    known = write_representations()
    write_osm(known)
    write_polish(known)
    write_info_bitmap()


if __name__ == "__main__":
    main()
