// Keyhole Markup Language files (format 38): the reader (KML 2.x as the globe viewers
// and this system's writer produce it) and the writer (KML 2.2).
//
// The reader is an instance of the table-driven XML engine (core/xml.h). Placemarks
// become points of interest (class 106) and lines of interest (class 107, their points
// class 114); "Folder" elements become folders of the file, each showing an object list
// of its own; "Style" and "StyleMap" elements become style records (class 109) kept by
// identifier for the read; ground overlays and style icons become image requests that
// are loaded through the image dispatcher after the parse; "NetworkLink" elements
// become linked files loaded after the images (at most 100 loads in all, a chain of
// links included). Elements outside the dictionary (MultiGeometry, ExtendedData, ...)
// get the engine's ids from kKmlElementRoutines up; they are passed over when a routine
// looks for the element that encloses it, so the geometry inside a MultiGeometry is read.
//
// Ownership: every object the read makes is an element of the content list, so that
// unloading the file frees each object exactly once. What the folders show are lists of
// references: the file's folder a list of the objects outside any "Folder", each nested
// folder a list of its own objects (every list holds the georeference too), so that an
// object is drawn and exported once, in its own folder.
//
// The writer walks a list of folders and writes each object through a table of writer
// routines by class, coordinates carried to geographic WGS 84.
//
// Files: kml_tables.cpp (dictionaries, the style class, start-up), kml_read.cpp (the
// parse: state, start and attribute routines), kml_read_text.cpp (text routines),
// kml_resolve.cpp (images and linked files after the parse), kml_write.cpp (document,
// folders, shared styles) and kml_write_objects.cpp (the placemarks).
#pragma once
#include <cstdint>
#include <cstdio>

#include "core/obj_layout.h"
#include "core/obj_list.h"
#include "core/object.h"

struct folder_t;
struct xform_chain_t;

constexpr int kKmlFormat = 38;
constexpr int CLS_KML_STYLE = 109;

// Element codes; 29 is unused. Names outside the dictionary get ids from
// kKmlElementRoutines up.
enum kml_element : int {
  KML_NONE = 0, KML_XML = 1, KML_ALTITUDE_MODE, KML_COLOR, KML_SNIPPET, KML_COORDINATES,
  KML_DESCRIPTION, KML_EAST, KML_WIDTH, KML_FILL, KML_ICON, KML_LATLONBOX,
  KML_GROUND_OVERLAY, KML_H, KML_HREF, KML_W, KML_X, KML_Y, KML_DRAW_ORDER, KML_DOCUMENT,
  KML_LINESTRING, KML_LINEARRING, KML_NAME, KML_NORTH, KML_PLACEMARK, KML_POINT,
  KML_INNER_BOUNDARY, KML_OUTER_BOUNDARY, KML_POLYGON, KML_UNUSED29, KML_ROTATION,
  KML_SOUTH, KML_STYLE, KML_STYLE_URL, KML_LABEL_COLOR, KML_WEST, KML_ICON_STYLE,
  KML_LABEL_STYLE, KML_LINE_STYLE, KML_POLY_STYLE, KML_GEOM_COLOR, KML_WHEN,
  KML_TIME_STAMP, KML_ICON_REF, KML_FOLDER, KML_NETWORK_LINK, KML_LINK, KML_STYLE_MAP,
  KML_KEY, KML_REFRESH_MODE, KML_REFRESH_INTERVAL, KML_SCALE, KML_VISIBILITY
};
constexpr int kKmlElementNames = 57;
constexpr int kKmlElementRoutines = 53;  // codes 0..52
enum kml_attribute : int { KMLA_XMLNS = 0, KMLA_ENCODING = 1, KMLA_ID = 2 };
constexpr int kKmlAttributeNames = 3;

// The identifier of the style that stands for "no style".
inline constexpr const char* kKmlDefaultStyle = "kml_style_par_defaut";
// Linked files loaded by one read, the files they link to included.
constexpr int kKmlMaxLinkLoads = 100;

#pragma pack(push, 1)
// Class 109: one "Style" or "StyleMap". Colours are colour words (red in the low byte).
// `icon_request` refers to an image request of the read that made the style (the
// styles live only as long as that read).
struct kml_style_t : obj_t {
  char* identifier;
  uint32_t icon_colour;
  int32_t width;
  uint32_t label_colour;
  uint32_t line_colour;
  int32_t line_width;
  uint32_t poly_colour;
  int32_t fill;
  obj_t* icon_request;
  double scale;
};
#pragma pack(pop)

inline constexpr attr_desc kKmlStyleAttrs[] = {
    {"id", AT_ID},          {"type", AT_INT},       {"identifier", AT_STRING},
    {"iconcolor", AT_COLOR}, {"width", AT_INT},     {"labelcolor", AT_COLOR},
    {"linecolor", AT_COLOR}, {"linewidth", AT_INT}, {"polycolor", AT_COLOR},
    {"fill", AT_INT},       {"icon", AT_REF},       {"scale", AT_DOUBLE}};
inline constexpr int kKmlStyleAttrCount = 12;
static_assert(offsetof(kml_style_t, identifier) == attr_offset_in(kKmlStyleAttrs, 2));
static_assert(offsetof(kml_style_t, icon_request) == attr_offset_in(kKmlStyleAttrs, 10));
static_assert(sizeof(kml_style_t) == attr_layout_size(kKmlStyleAttrs, kKmlStyleAttrCount));

// ---- Start-up (kml_tables.cpp) -----------------------------------------------------------
// Builds the element (57 names) and attribute (3) dictionaries, registers the style class
// (109) with its free and copy routines, and fills the reader slot of format 38. Calling
// it again rebuilds everything; kml_free_tables releases the dictionaries.
void kml_module_init();
void kml_free_tables();
container_t* kml_element_dict();
container_t* kml_attribute_dict();
// A new style (class 109, not in any list) with the defaults: icon colour the default
// colour of points of interest, line and polygon colours that of lines of interest,
// label colour the icon colour, widths 2, fill 0, no icon, scale 1.
kml_style_t* kml_style_new(const char* identifier, kml_style_t** out);
// Those default values again (the identifier stays).
void kml_style_reset(kml_style_t* style);
// The values of `from` copied into `to`, whose identifier stays.
void kml_style_copy_values(const kml_style_t* from, kml_style_t* to);

// Reads a colour in the KML order aabbggrr (a leading '#' skipped): 1 and *colour set to
// the colour word when eight hexadecimal digits are there (alpha ignored), else 0 and
// *colour unchanged.
int kml_parse_colour(const char* text, uint32_t* colour);

// ---- Reading (kml_read.cpp) ----------------------------------------------------------------
// Reads a KML file object into its content list: 0, or the error code (2 the file cannot
// be opened, 1 memory budget). Objects read before an error stay in the list (the load
// dispatcher unloads them); images and linked files that fail are dropped and the read
// goes on.
int read_kml(obj_t* file, container_t* list);

// ---- Writing (kml_write.cpp) ---------------------------------------------------------------
// Writes the folders of `roots` (and their sub-folders) as a KML 2.2 document at `path`.
// Nothing when roots is null or the file cannot be created (logged by the open); error 2
// when closing fails; error 13 for a folder with objects and no georeference (its objects
// are left out, the rest is written).
void write_kml(const char* path, container_t* roots);
// The export writer (kind 3, format 38).
inline void kml_write_file(const char* path, container_t* roots) { write_kml(path, roots); }
// Points of its own per LineString part of a long line (a part after the first also
// repeats the last point of the part before it).
constexpr int kKmlPartPoints = 65000;
