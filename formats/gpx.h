// GPS eXchange files: the reader (GPX 1.1 with the Garmin GpxExtensions v3 and the
// gpx_style 0.2 extensions, and GPX 1.0, which shares the element names) and the writer
// (GPX 1.1 with both extensions).
//
// The reader is an instance of the table-driven XML engine (core/xml.h): one routine per
// element code and per attribute code builds waypoints, routes and tracklogs in the
// file's content list. Each element that makes an object keeps it in a slot of its own
// level of the element stack, and a text routine writes only into the object its parent
// element made, checked by class; so an element in the wrong place (a "wpt" inside a
// "rte", a "trkseg" outside a "trk") makes nothing and its children change nothing.
//
// Files: gpx_tables.cpp (the element, attribute, symbol and colour dictionaries, built at
// start-up), gpx_read.cpp (read_gpx, the start and attribute routines), gpx_read_text.cpp
// (the text routines), gpx_write.cpp and gpx_write_points.cpp (the writer).
#pragma once
#include <cstdint>
#include <cstdio>

#include "core/obj_list.h"

struct obj_t;
struct xform_chain_t;

// Element codes of the element dictionary; names not in it have code 0 (the XML engine
// gives them ids of their own above kGpxElementCount, which count as 0 here).
enum gpx_element : int {
  GPX_NONE = 0, GPX_GPX, GPX_WPT, GPX_RTE, GPX_RTEPT, GPX_TRK, GPX_TRKSEG, GPX_TRKPT,
  GPX_NAME, GPX_DESC, GPX_TIME, GPX_BOUNDS, GPX_ELE, GPX_SPEED, GPX_GEOIDHEIGHT, GPX_CMT,
  GPX_SYM, GPX_NUMBER, GPX_COLOR, GPX_WAYPOINT_EXT, GPX_TRACKPOINT_EXT, GPX_ROUTE_EXT,
  GPX_PROXIMITY, GPX_TEMPERATURE, GPX_DEPTH, GPX_DISPLAY_MODE, GPX_MAGVAR,
  GPX_DISPLAY_COLOR, GPX_FIX, GPX_COURSE, GPX_SAT, GPX_HDOP, GPX_VDOP, GPX_PDOP,
  GPX_AGE_OF_DGPS, GPX_DGPSID
};
constexpr int kGpxElementCount = 35;  // codes 1..35
constexpr int kGpxElementRoutines = kGpxElementCount + 1;
// Attribute codes; only "lat" and "lon" have routines.
enum gpx_attribute : int { GPXA_NONE = 0, GPXA_VERSION, GPXA_LAT, GPXA_LON, GPXA_MINLAT,
                           GPXA_MINLON, GPXA_MAXLAT, GPXA_MAXLON };
constexpr int kGpxAttributeCount = 13;
constexpr int kGpxAttributeRoutines = 8;

// Result codes of the reader.
constexpr int kGpxBadData = 14;

// ---- Start-up (gpx_tables.cpp) ----------------------------------------------------------
// Builds the element (35) and attribute (13) dictionaries, the symbol dictionary (61)
// with its reverse index by number, and the colour-name dictionary (17). Calling it
// again rebuilds them; gpx_free_tables releases them.
void gpx_register_tables();
void gpx_free_tables();
container_t* gpx_element_dict();
container_t* gpx_attribute_dict();
// The waypoint symbol number of a symbol name; 0 when the name is not in the table.
int gpx_symbol_number(const char* name);
// The name written for a symbol number: of the names sharing a number, the first in
// alphabetical order; "Dot" for a number no name gives.
const char* gpx_symbol_name(int symbol);
// The colour word of a display-colour name: its index in the default colour table (an
// unknown name gives index 0, indexes 14 and above give entry 0).
uint32_t gpx_display_colour(const char* name);
// Entry `index` of the 14-word default colour table (entry 0 for an index outside it).
uint32_t default_colour_word(int index);

// ---- Reading (gpx_read.cpp) --------------------------------------------------------------
// Reads a GPX file object into its content list `list`: 0, or the error code (2 when the
// file cannot be opened, 14 for an element whose object has the wrong class, 1 when the
// objects would leave less than 16 MiB of the memory budget). The
// objects read before an error stay in the list; the caller (the load dispatcher)
// unloads them. On success the objects are placed in the file's folder with their icons
// and default styles. gblerr is left as the read left it.
int read_gpx(obj_t* file, container_t* list);

// ---- Writing (gpx_write.cpp) ---------------------------------------------------------------
// Writes the GPS objects of the folders of `roots` as a GPX 1.1 file at `path`. Nothing
// when roots is null or the file cannot be created (logged by the open); error 2 when
// closing fails; error 13 for a folder without georeference (that folder is skipped).
void write_gpx(const char* path, container_t* roots);
// The steps of write_gpx, on the one open output. `chain` carries the folder's
// coordinates to geographic WGS 84 (null: they are already).
void gpx_write_folder(FILE* out, obj_t* folder);
void gpx_write_point(FILE* out, xform_chain_t* chain, const obj_t* point, const char* element);
void gpx_write_route(FILE* out, xform_chain_t* chain, const obj_t* route);
void gpx_write_tracklog(FILE* out, xform_chain_t* chain, const obj_t* tracklog);
void gpx_write_trkseg(FILE* out, xform_chain_t* chain, const container_t* points);
void gpx_write_navseg(FILE* out, xform_chain_t* chain, const obj_t* navseg);
