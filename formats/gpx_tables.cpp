// The GPX reader's dictionaries, built once at start-up: element and attribute names to
// their codes, Garmin waypoint symbol names to the system's symbol numbers (with the
// reverse index the writer uses), and Garmin display-colour names to indexes of the
// default colour table.
#include <atomic>

#include "core/dict.h"
#include "core/error.h"
#include "core/object.h"
#include "formats/dict_slots.h"
#include "formats/gpx.h"
#include "map/gps_classes.h"

namespace {

tag_t g_element_table[kGpxElementCount] = {
    make_tag("gpx", GPX_GPX),
    make_tag("wpt", GPX_WPT),
    make_tag("rte", GPX_RTE),
    make_tag("rtept", GPX_RTEPT),
    make_tag("trk", GPX_TRK),
    make_tag("trkseg", GPX_TRKSEG),
    make_tag("trkpt", GPX_TRKPT),
    make_tag("name", GPX_NAME),
    make_tag("desc", GPX_DESC),
    make_tag("time", GPX_TIME),
    make_tag("bounds", GPX_BOUNDS),
    make_tag("ele", GPX_ELE),
    make_tag("speed", GPX_SPEED),
    make_tag("geoidheight", GPX_GEOIDHEIGHT),
    make_tag("cmt", GPX_CMT),
    make_tag("sym", GPX_SYM),
    make_tag("number", GPX_NUMBER),
    make_tag("color", GPX_COLOR),
    make_tag("WaypointExtension", GPX_WAYPOINT_EXT),
    make_tag("TrackPointExtension", GPX_TRACKPOINT_EXT),
    make_tag("RouteExtension", GPX_ROUTE_EXT),
    make_tag("Proximity", GPX_PROXIMITY),
    make_tag("Temperature", GPX_TEMPERATURE),
    make_tag("Depth", GPX_DEPTH),
    make_tag("DisplayMode", GPX_DISPLAY_MODE),
    make_tag("magvar", GPX_MAGVAR),
    make_tag("DisplayColor", GPX_DISPLAY_COLOR),
    make_tag("fix", GPX_FIX),
    make_tag("course", GPX_COURSE),
    make_tag("sat", GPX_SAT),
    make_tag("hdop", GPX_HDOP),
    make_tag("vdop", GPX_VDOP),
    make_tag("pdop", GPX_PDOP),
    make_tag("ageofdgpsdata", GPX_AGE_OF_DGPS),
    make_tag("dgpsid", GPX_DGPSID),
};

tag_t g_attribute_table[kGpxAttributeCount] = {
    make_tag("xmlns", GPXA_NONE),      make_tag("version", GPXA_VERSION),
    make_tag("creator", GPXA_NONE),    make_tag("lat", GPXA_LAT),
    make_tag("lon", GPXA_LON),         make_tag("minlat", GPXA_MINLAT),
    make_tag("minlon", GPXA_MINLON),   make_tag("maxlat", GPXA_MAXLAT),
    make_tag("maxlon", GPXA_MAXLON),   make_tag("author", GPXA_NONE),
    make_tag("href", GPXA_NONE),       make_tag("id", GPXA_NONE),
    make_tag("domain", GPXA_NONE),
};

// Garmin symbol names and the waypoint icon each selects.
tag_t g_symbol_table[] = {
    make_tag("Airport", 20),          make_tag("Anchor", 6),
    make_tag("Ball Park", 19),        make_tag("Bank", 24),
    make_tag("Bar", 31),              make_tag("Beach", 18),
    make_tag("Boat Ramp", 5),         make_tag("Boating", 5),
    make_tag("Bowling", 19),          make_tag("Box", 32),
    make_tag("Bridge", 33),           make_tag("Building", 1),
    make_tag("Campground", 11),       make_tag("Camping", 43),
    make_tag("Car", 3),               make_tag("Cemetery", 28),
    make_tag("Church", 28),           make_tag("Circle with X", 12),
    make_tag("City (Medium)", 19),    make_tag("City (Small)", 19),
    make_tag("Controlled Area", 16),  make_tag("Crossing", 29),
    make_tag("Danger Area", 30),      make_tag("Dangerous Area", 30),
    make_tag("Default", 0),           make_tag("Drinking Water", 54),
    make_tag("Fast Food", 52),        make_tag("First Aid", 14),
    make_tag("Fishing Area", 4),      make_tag("Forest", 17),
    make_tag("Gas Station", 2),       make_tag("Geocache", 32),
    make_tag("Geocache Found", 32),   make_tag("Golf Course", 10),
    make_tag("Hotel", 46),            make_tag("House", 1),
    make_tag("Information", 22),      make_tag("Live Theater", 39),
    make_tag("Medical Facility", 14), make_tag("Movie Theater", 57),
    make_tag("Museum", 48),           make_tag("Parachute Area", 0),
    make_tag("Park", 17),             make_tag("Parking Area", 41),
    make_tag("Pharmacy", 14),         make_tag("Picnic Area", 17),
    make_tag("Post Office", 25),      make_tag("Residence", 1),
    make_tag("Restaurant", 26),       make_tag("Rock", 27),
    make_tag("Scenic Area", 38),      make_tag("School", 0),
    make_tag("Shipwreck", 7),         make_tag("Shopping Center", 35),
    make_tag("Short Tower", 0),       make_tag("Skiing Area", 0),
    make_tag("Skull", 9),             make_tag("Soft Field", 0),
    make_tag("Stadium", 0),           make_tag("Summit", 27),
    make_tag("Swimming Area", 18),
};
constexpr int kSymbolCount = int(sizeof g_symbol_table / sizeof g_symbol_table[0]);
static_assert(kSymbolCount == 61);

// Garmin display colours and their indexes in the default colour table.
tag_t g_colour_table[] = {
    make_tag("Black", 0),       make_tag("DarkRed", 13),     make_tag("DarkGreen", 11),
    make_tag("DarkYellow", 7),  make_tag("DarkBlue", 12),    make_tag("DarkMagenta", 10),
    make_tag("DarkCyan", 16),   make_tag("LightGray", 17),   make_tag("DarkGray", 9),
    make_tag("Red", 2),         make_tag("Green", 4),        make_tag("Yellow", 14),
    make_tag("Blue", 3),        make_tag("Magenta", 5),      make_tag("Cyan", 15),
    make_tag("White", 1),       make_tag("Transparent", 17),
};
constexpr int kColourCount = int(sizeof g_colour_table / sizeof g_colour_table[0]);
static_assert(kColourCount == 17);

// The default colour table: red, green and blue in the low bytes, the fourth byte on top.
constexpr uint32_t word(int r, int g, int b, int fourth) {
  return gps_rgb(r, g, b) | uint32_t(fourth & 255) << 24;
}
constexpr uint32_t kDefaultColours[14] = {
    word(0, 0, 0, 255),      word(255, 255, 255, 0), word(0, 0, 0, 255),
    word(0, 255, 0, 255),    word(0, 255, 255, 192), word(255, 255, 128, 0),
    word(128, 64, 0, 128),   word(128, 128, 128, 0), word(128, 0, 128, 0),
    word(0, 0, 128, 128),    word(0, 48, 255, 255),  word(0, 0, 255, 255),
    word(0, 192, 192, 192),  word(192, 192, 0, 0)};

// Written at start-up, read by the load task and the export.
std::atomic<container_t*> g_elements{nullptr};
std::atomic<container_t*> g_attributes{nullptr};
std::atomic<container_t*> g_symbols{nullptr};
std::atomic<container_t*> g_symbol_names{nullptr};
std::atomic<container_t*> g_colours{nullptr};

using dict_slots::build;
using dict_slots::free_dict;

}  // namespace

void gpx_free_tables() {
  free_dict(g_symbol_names);  // an index over the symbols: before them
  free_dict(g_symbols);
  free_dict(g_colours);
  free_dict(g_attributes);
  free_dict(g_elements);
}

void gpx_register_tables() {
  gpx_free_tables();
  build(g_element_table, g_elements);
  build(g_attribute_table, g_attributes);
  build(g_symbol_table, g_symbols);
  build(g_colour_table, g_colours);
  container_t* reverse = nullptr;
  dict_create_reverse(g_symbols.load(), &reverse);
  g_symbol_names.store(reverse, std::memory_order_release);
}

container_t* gpx_element_dict() { return g_elements.load(std::memory_order_acquire); }
container_t* gpx_attribute_dict() { return g_attributes.load(std::memory_order_acquire); }

int gpx_symbol_number(const char* name) {
  int value = 0;
  dict_lookup(g_symbols.load(std::memory_order_acquire), name ? name : "", 0, &value);
  return value;
}

// The reverse index keeps names of equal numbers in the order of the dictionary (by name),
// so the first one found is the alphabetically first.
const char* gpx_symbol_name(int symbol) {
  const char* name = nullptr;
  dict_name_of(g_symbol_names.load(std::memory_order_acquire), symbol, "Dot", &name);
  return name ? name : "Dot";
}

uint32_t default_colour_word(int index) {
  return index >= 0 && index < 14 ? kDefaultColours[index] : kDefaultColours[0];
}

uint32_t gpx_display_colour(const char* name) {
  int index = 0;
  dict_lookup(g_colours.load(std::memory_order_acquire), name ? name : "", 0, &index);
  return default_colour_word(index);
}
