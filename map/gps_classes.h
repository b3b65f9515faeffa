// The geographic and GPS classes: waypoints, tracks, routes, points and lines of
// interest, live positions and the drawn shapes that readers of shape files make.
//
// Every class here is a packed record of the object store whose layout is checked at
// compile time against its descriptor (attribute offsets are the running sum of the type
// sizes, pointers 8 bytes). The module is split by subject:
//   gps_classes.cpp   descriptors, destructors, default colours, gpsobj_types_register
//   gps_create.cpp    constructors used by readers and receivers
//   gps_points.cpp    labels, centroids, rings, timing tests, speeds, projection
//   gps_icons.cpp     the waypoint icon table and the lap icon (PNG files)
//   gps_styles.cpp    the default drawing styles a freshly loaded file gets
//   gps_merge.cpp     the merge of several track lists into one time-ordered track
//                     (gps_styles_internal.h: the track styles both of them make)
// Coordinates are those of the georeference of the folder holding an object.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/dates.h"
#include "core/obj_layout.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "geodesy/extent.h"

struct bitmap_t;
struct georef_t;
struct geodatum_t;
struct xform_chain_t;

// ---- Class ids ------------------------------------------------------------------------
constexpr int CLS_GPSTIME = 95;
constexpr int CLS_DGPS = 97;
constexpr int CLS_SATELLITE = 98;
constexpr int CLS_NAVIGATION = 99;
constexpr int CLS_WAYPOINT = 100;
constexpr int CLS_NAVSEG = 101;
constexpr int CLS_TRACKLOG = 102;
constexpr int CLS_POSITION = 103;
constexpr int CLS_ROUTE = 104;
constexpr int CLS_TRACKSEG = 105;
constexpr int CLS_POI = 106;
constexpr int CLS_LOIS = 107;
constexpr int CLS_GPSPOS = 112;
constexpr int CLS_GEOTEXT = 113;
constexpr int CLS_LOIPOINT = 114;
constexpr int CLS_LOIL = 115;
constexpr int CLS_COURSEPOINT = 116;
constexpr int CLS_LAP_BEGIN = 117;
constexpr int CLS_LAP_END = 118;
constexpr int CLS_GEOPOINT = 119;
constexpr int CLS_GEOSEGMENT = 120;
constexpr int CLS_GEORECTANGLE = 121;
constexpr int CLS_GEOARCELLIP = 122;

// Waypoint icons: symbols 0..60, files "wpt%d.png"; the lap icon file.
constexpr int kWaypointIconCount = 61;
inline constexpr const char* kLapIconFile = "lap.png";

// Label sizes of the default label styles for classes outside the display settings
// (display_settings.h), which start with the same sizes.
constexpr int kPointLabelSize = 12;
constexpr int kLineLabelSize = 10;

// A colour word (attribute type 13): red in the low byte, then green, then blue.
constexpr uint32_t gps_rgb(int r, int g, int b) {
  return uint32_t(r & 255) | uint32_t(g & 255) << 8 | uint32_t(b & 255) << 16;
}

#pragma pack(push, 1)
// Attribute type 5: x and y, and the elevation as a float.
struct gps_point_t {
  double x, y;
  float z;
};
// Attribute type 21: the position of a line's label (x, y and a spare word).
struct gps_textpos_t {
  double x, y;
  int32_t w;
};
// Attribute type 33: icon width and height.
struct gps_iconsize_t {
  int32_t w, h;
};
// Attribute type 30: the two end points (or corners) of a shape, and a spare value.
struct gps_twopoints_t {
  double x1, y1, x2, y2;
  double spare;
};
// Attribute type 4: start and end angles.
struct gps_angles_t {
  double start, end;
};

struct gpstime_t : obj_t {  // 95
  uint32_t gpsweek;
  double gpstow;
};
struct dgps_t : obj_t {  // 97
  double ageofdgpsdata;
  int32_t dgpsstation;
};
struct satellite_t : obj_t {  // 98
  int32_t prn, elevation, azimuth, snr, used, status;
};
struct navigation_t : obj_t {  // 99
  double hdop, vdop, pdop;
  int32_t nbsatsinvue, nbsatsused, fix;
  double hacc, vacc, magvar;
  int32_t dgps, dr;
};
// 100 waypoint and 116 coursepoint share their head; 106 poi lacks proxim and tpre.
struct waypoint_t : obj_t {  // 100
  obj_t* father;
  gps_point_t coords;
  float altitude, geoidh;
  char16_t* name;
  char16_t* comment;
  uint32_t colour;
  int32_t symbol, display;
  bitmap_t* icon;
  char16_t* label;
  gps_iconsize_t icosize;
  double icoscale;
  double proxim, tpre;
  date_rec time;
};
struct poi_t : obj_t {  // 106
  obj_t* father;
  gps_point_t coords;
  float altitude, geoidh;
  char16_t* name;
  char16_t* comment;
  uint32_t colour;
  int32_t symbol, display;
  bitmap_t* icon;
  char16_t* label;
  gps_iconsize_t icosize;
  double icoscale;
  date_rec time;
};
struct coursepoint_t : obj_t {  // 116
  obj_t* father;
  gps_point_t coords;
  float altitude, geoidh;
  char16_t* name;
  char16_t* comment;
  uint32_t colour;
  int32_t symbol, display;
  bitmap_t* icon;
  char16_t* label;
  date_rec time;
};
struct navseg_t : obj_t {  // 101
  obj_t* father;
  container_t* sons;
};
struct tracklog_t : obj_t {  // 102
  obj_t* father;
  container_t* sons;  // track segments
  char16_t* name;
  char16_t* comment;
  gps_textpos_t txtcoord;
  uint32_t colour;
  int32_t number;
  int32_t thickness;
};
struct position_t : obj_t {  // 103
  obj_t* father;
  gps_point_t coords;
  date_rec time;
  double speed, direction;
  obj_t* datum;
};
struct route_t : obj_t {  // 104
  obj_t* father;
  container_t* sons;  // route points
  char16_t* name;
  char16_t* comment;
  gps_textpos_t txtcoord;
  uint32_t colour;
  int32_t number;
};
struct trackseg_t : obj_t {  // 105
  obj_t* father;
  container_t* sons;  // track points (their father is the segment's tracklog)
};
struct lois_t : obj_t {  // 107
  obj_t* father;
  container_t* sons;  // loi points
  char16_t* name;
  char16_t* comment;
  gps_textpos_t txtcoord;
  uint32_t colour, fillcolor;
  int32_t fillmotif, thickness;
  date_rec time;
};
struct gpspos_t : obj_t {  // 112
  obj_t* father;
  gps_point_t coords;
  float altitude, geoidh;
  date_rec time;
  double speed, direction, tpre;
  obj_t* navig;
  container_t* idsats;
  obj_t* dgps;
  obj_t* raw;
};
struct geotext_t : obj_t {  // 113
  obj_t* father;
  gps_point_t coords;
  char16_t* text;
  uint32_t colour;
  int32_t font, size, thickness, underital;
  double orient;
  extent_t textzone;
};
struct loipoint_t : obj_t {  // 114
  obj_t* pere;
  gps_point_t coords;
  float altitude, geoidh;
};
struct loil_t : obj_t {  // 115
  obj_t* father;
  char16_t* name;
  char16_t* comment;
  coord_list loicoord;
  gps_textpos_t txtcoord;
  uint32_t colour;
  int32_t edgemotif;
  uint32_t fillcolor;
  int32_t fillmotif, thickness;
  date_rec time;
};
struct lap_t : obj_t {  // 117, 118
  obj_t* father;
  gps_point_t coords;
  float altitude, geoidh;
};
struct geopoint_t : obj_t {  // 119
  obj_t* father;
  gps_point_t coords;
  uint32_t colour;
  int32_t motif, thickness, shape;
  double orient;
};
struct geosegment_t : obj_t {  // 120
  obj_t* father;
  gps_twopoints_t coords;
  uint32_t colour;
  int32_t thickness, motif;
};
struct georectangle_t : obj_t {  // 121
  obj_t* father;
  gps_twopoints_t coords;
  uint32_t colour;
  int32_t thickness, edgemotif, fillmotif;
};
// The axes and the orientation are doubles: a shape file's ellipse of 2.5 by 0.4 units
// keeps its size.
struct geoarcellip_t : obj_t {  // 122
  obj_t* father;
  gps_point_t center;
  double graxis, smaxis, orient;
  gps_angles_t angle;
  uint32_t colour;
  int32_t edgemotif, fillmotif;
};
#pragma pack(pop)

// Every point-like class (100, 106, 112, 113, 114, 116 to 119) has its coordinates at
// the same place: after id, type and father.
constexpr int kPointCoordsOffset = 16;

// ---- Descriptors ----------------------------------------------------------------------
// One entry per registered class: id, record size, descriptor, destructor.
struct gps_class_entry {
  int cls;
  int size;
  const objdesc* desc;
  obj_free_fn free_fn;
};
// The table of the classes gpsobj_types_register registers, and its length.
const gps_class_entry* gps_class_table(int* count);

// ---- Registration and colours -----------------------------------------------------------
// Registers the classes with their destructors, creates the icon list and loads the
// icons from the program's system data folder (a missing icon is written to the trace
// log and leaves its slot null).
void gpsobj_types_register();
// Default colour (red, green, blue) of a class: the colour of its kind in the display
// settings (display_settings.h) for 100, 102, 104, 106, 107, 112 and 115; 255, 255, 0
// for any other.
uint32_t gpsobj_default_colour(int cls);

// ---- Constructors (each makes the object in `list` and returns it in *out) ---------------
// Classes 100, 106 and 116 only, else gblerr 15: display 0, symbol 0, default colour
// (course points 255, 0, 0).
obj_t* gpsobj_new_point(int cls, container_t* list, obj_t** out);
// name and comment are char16_t text when `wide` is set, else local code page text.
waypoint_t* waypoint_create(double x, double y, const void* name, const void* comment, int wide,
                            int symbol, int display, double altitude, container_t* list,
                            waypoint_t** out);
gpspos_t* gpspos_create(double x, double y, const date_rec* time, double altitude,
                        trackseg_t* segment, container_t* list, gpspos_t** out);
trackseg_t* trackseg_create(tracklog_t* tracklog, container_t* list, trackseg_t** out);
route_t* route_create(container_t* list, route_t** out);
tracklog_t* tracklog_create(container_t* list, tracklog_t** out);
// A waypoint "Push-to-log point" at a live position.
waypoint_t* push_to_log_point(container_t* list, const gpspos_t* position, waypoint_t** out);
// Without index: object inserted into list. With an index keyed on the name: an object of
// the same name, x, y and symbol already there is returned and the new one freed.
obj_t* gpsobj_add_unique(container_t* index, obj_t* obj, container_t* list, obj_t** out);

// ---- Points and lists -------------------------------------------------------------------
void gpsobj_set_label(obj_t* obj);
void file_set_point_labels(obj_t* file, int cls);
void gpsobj_close_ring(obj_t* obj);
// The extent of a line object (tracklog: the points of its segments in order; route, loi
// set: its points): the number of points, the first and the last of them and their
// bounding box (step 0). Points without coordinates are passed over. No points (or no
// line, or a class without point list): 0 and every value 0.
struct gps_track_extent {
  int points = 0;
  gps_point_t first{}, last{};
  extent_t box{};
};
int gpsobj_track_extent(const obj_t* line, gps_track_extent* out);
void gpsobj_centroid(const container_t* points, double out[2]);
int track_has_times(const container_t* points);
void gpsobj_remove_empty_routes(container_t* list);
void gpsobj_track_label_positions(container_t* list);
// Speed in georef units (metres for geographic data) per second; -1 (and *out 0) when a
// date is unset or the time difference is not positive.
int gpspos_speed(const georef_t* georef, const obj_t* p1, const obj_t* p2, double* out);
// The frame of gpspos_speed, prepared once for many speeds in one georeference: the
// chain to geographic coordinates on the reference datum when one is needed, and the
// datum distances are measured on (no georef: the reference datum).
struct gps_speed_frame {
  explicit gps_speed_frame(const georef_t* georef);
  ~gps_speed_frame();
  gps_speed_frame(const gps_speed_frame&) = delete;
  gps_speed_frame& operator=(const gps_speed_frame&) = delete;
  // As gpspos_speed: 0 and the speed, or -1 and 0.
  int speed(const obj_t* p1, const obj_t* p2, double* out) const;
  xform_chain_t* chain = nullptr;
  geodatum_t* datum = nullptr;
};
void gpsobj_project_point(xform_chain_t* chain, obj_t* point);
int list_has_gps_points(const container_t* list);
int file_has_gps_points(obj_t* file);
// Date-time of a point of any timed point class, or null for other classes.
const date_rec* gpsobj_point_time(const obj_t* point, date_rec* out);

// ---- Icons ------------------------------------------------------------------------------
bitmap_t* gpsobj_get_icon(int symbol, bitmap_t** out);
bitmap_t* gpsobj_copy_icon(int symbol, bitmap_t** out);
container_t* gpsobj_get_icon_list(container_t** out);
bitmap_t* gpsobj_get_lap_icon(bitmap_t** out);
// Gives the objects of class `cls` that have no icon a copy of their symbol's icon, in
// `list` and in the lists of its objects' sons, depth first. With `into_sons` false only
// `list` is walked: for a list that holds every object its sons lists hold (a reader's
// fresh list), which spares a second walk over a million track points.
void gpsobj_attach_icons(container_t* list, int cls, bool into_sons = true);
// Loads one icon file (relative names are looked for in the system folder, then the
// program folder) through the image loading's icon hook; null and a trace-log line
// "Unable to load <name>" when it fails or the hook is not filled.
bitmap_t* gpsobj_load_icon(const char* file_name, bitmap_t** out);
// Frees any earlier icons, creates the icon list and loads "wpt0.png".."wpt60.png" and
// the lap icon; returns the number of waypoint icons loaded.
int gpsobj_load_icons();
// Frees the icon table (the list and the icons).
void gpsobj_free_icons();

// ---- Default styles after a load --------------------------------------------------------
// Each works folder by folder over the folders of a file and adds a style only where the
// folder holds objects of the class and no active style of that drawing class draws them
// yet (in the folder's own list, or in a sub-folder drawing the folder's list), so that
// running one twice adds nothing. Result 0, or -1 with gblerr set (15 for a class the
// routine does not accept); a set error code stops the walk at the folder it appeared in.
// `scale` is the ground size of a pixel (metres) the styles are designed for.
//
// Waypoints (100) or points of interest (106): a symbol style of thickness `size` (2
// when below 1) and a label style of size `label_size` (below 1: the size of the
// class's kind in the display settings).
int file_default_point_styles(obj_t* file, int cls, int size, int label_size, double scale);
// Points 100, 106 or 116: labels set, then per folder a sub-folder (not user-displayable,
// layer priority `priority`, one more for each folder) holding the folder's georef, an
// icon style (pixel offset word `offset`: x in the low 16 bits, y in the high ones,
// scale `icon_scale`) and a label style (`label_size`; below 1 the display settings'
// size of 100 or 106, 12 for 116; `label_scale`).
int file_default_label_styles(obj_t* file, int cls, int label_size, int priority,
                              double icon_scale, double label_scale, int offset);
// Track points: one point-and-link style per segment with points, coloured and sized by
// the segment's tracklog; with labels, the tracklogs' names at their centroids.
int file_default_track_styles(obj_t* file, int with_labels, double scale);
// The style of one track segment in the navigation track's colour (live tracks).
obj_t* gpspos_style_create(container_t* list, trackseg_t* segment, obj_t** out, double scale);
// Routes (104, points of class 100) or loi sets (107, points of class 114): one style per
// object with points; with labels, its name at the centroid of its points. Other
// classes: nothing.
int file_default_route_styles(obj_t* file, int cls, int with_labels, double scale);
// Loi lines (115): a polyline style; with labels, their names.
int file_default_loil_styles(obj_t* file, int with_labels, double scale);
// Lap markers (117, 118) of a folder: the folder goes to priority 30000 and a sub-folder
// gets the lap icon and the texts "BEGIN" and "END".
int folder_add_lap_markers(obj_t* folder, double scale);
// Styles of the drawn shapes of shape-file readers, made in `list` (which is also their
// source list). A value given as NULL_INT (a null colour pointer for the colour) is read
// from the object's attribute of the same meaning; any other value is fixed. An ellipse
// has no thickness of its own: NULL_INT gives it thickness 1.
obj_t* geopoint_style_create(container_t* list, obj_t** out, const uint32_t* colour,
                             int thickness, int shape, int motif, double scale);
obj_t* geotext_style_create(container_t* list, obj_t** out, const uint32_t* colour, int size,
                            int thickness, int font, double scale);
obj_t* geosegment_style_create(container_t* list, obj_t** out, const uint32_t* colour,
                               int thickness, int motif, double scale);
obj_t* georectangle_style_create(container_t* list, obj_t** out, const uint32_t* colour,
                                 int thickness, int edgemotif, int fillmotif, double scale);
obj_t* geoarcellip_style_create(container_t* list, obj_t** out, const uint32_t* colour,
                                int thickness, int edgemotif, int fillmotif, double scale);
// "Merge tracklogs": moves the track points of the n lists (the last list first) into a
// new list *out holding a georef (a copy of the first one met, else the default one;
// points of a list in another system are converted into it) and one tracklog whose one
// segment holds the points in date-time order. The folder (when given) gets the default
// track styles without labels; its object list becomes the new list when it has none.
// The source lists lose, and free, their tracklogs, their segments and their styles of
// track points: layers showing them must be updated by the caller.
container_t* gpsobj_build_gpspos_list(obj_t* folder, int n, container_t* const* lists,
                                      container_t** out, double scale);
