// Representation rules of vector map data: map nodes, ways and way lines, the features
// that classify them, and the representations that say how each feature is drawn.
//
// Readers of OpenStreetMap and Polish-map files (formats/osm.h, the Polish reader) make
// nodes (150), ways (151) and way lines (152), each pointing at a feature (153) of their
// own vocabulary. A feature names a representation (154) by its mnemonic; the
// representations are loaded at start-up from "representation.xml" and the user's own
// changes are kept in the saved scheme "prepressch". The rendering calculation sorts a
// loaded map's elements into one display folder per feature and gives each folder its
// drawing styles (map/draw_styles.h).
//
// Every class here is a packed record of the object store; its layout is checked at
// compile time against its descriptor (repr_classes.cpp).
//
// Files: repr_classes.cpp (descriptors, destructors, copies, registration),
// repr_tables.cpp (the loaded list, the mnemonic index, the scheme, the header text,
// feature indexes), repr_render.cpp (repr_apply, repr_render_calc and the style
// builders).
//
// Threads: the representation tables are read by a load task (repr_render_calc) while
// the map features window changes them on the user-interface thread; every routine
// here that reads or changes them takes repr_tables_mutex(). A caller that walks the
// lists returned by the accessors from another thread than the user-interface one holds
// that lock while it walks.
#pragma once
#include <cstdint>
#include <mutex>

#include "core/obj_list.h"
#include "core/object.h"
#include "map/gps_classes.h"

struct folder_t;

// ---- Class ids --------------------------------------------------------------------------
constexpr int CLS_NODE = 150;
constexpr int CLS_WAY = 151;
constexpr int CLS_WAYLINE = 152;
constexpr int CLS_FEATURE = 153;
constexpr int CLS_REPRESENTATION = 154;

// Element types of a feature (`elttype`) and kinds of a representation (`feattype`).
constexpr int kEltPoi = 16;        // Polish POI (point)
constexpr int kEltCity = 32;       // point-like
constexpr int kEltPolyline = 64;   // Polish polyline (way line)
constexpr int kEltPolygon = 128;   // Polish polygon (way line, closed)
constexpr int kEltNode = 150;      // OSM node (point)
constexpr int kEltWay = 151;       // OSM way
// 1 for the element types drawn as points (16, 32, 150).
constexpr bool repr_elt_is_point(int elttype) {
  return elttype == kEltPoi || elttype == kEltCity || elttype == kEltNode;
}

// Layer priorities of display folders: point-like features above lines and areas.
constexpr int kReprPointPriority = 30000;
constexpr int kReprLinePriority = 20000;

// The mnemonic that means "no representation" in a feature.
inline constexpr const char* kReprNoMnemo = "NONE";
// The scheme of the user's representations (a saved table) and the data file.
inline constexpr const char* kReprSchemeName = "prepressch";
inline constexpr const char* kReprFileName = "representation.xml";

#pragma pack(push, 1)
struct feature_t : obj_t {  // 153
  int32_t maintype;  // source format's main type (OSM: key code; Polish: type)
  int32_t subtype;   // source format's subtype (OSM: value code; Polish: subtype)
  int32_t elttype;   // 16, 32, 150: points; 64, 128: way lines; 151: ways; 0: ignored
  char* mnemo;       // mnemonic of its representation ("NONE": none)
  char* name;        // display name (and name of its display folder)
};
struct representation_t : obj_t {  // 154
  obj_t* father;
  container_t* sons;
  char* mnemo;          // key of the mnemonic index
  uint32_t colour;      // colour word (gps_rgb)
  int32_t thickmeter;   // width (or object size) in metres
  int32_t thickpixel;   // width (or symbol size) in pixels
  int32_t motiforsymb;  // line motif or point symbol; negative: draw an icon
  int32_t filloricon;   // fill motif, or waypoint icon number 0..60
  int32_t fontsz;       // label size
  int32_t lanes;        // default number of lanes
  int32_t feattype;     // 150 point representation, 151 (or other non-zero) line
};
struct node_t : obj_t {  // 150
  obj_t* pere;
  gps_point_t coords;   // x longitude, y latitude, z elevation
  float altitude, geoidh;
  char16_t* name;
  char16_t* ref;
  char16_t* label;      // display text (unnamed attribute)
  char* osmident;       // OSM identifier as read
  feature_t* feature;
};
struct way_t : obj_t {  // 151
  obj_t* father;
  container_t* sons;    // its nodes, in order (not owned: the nodes live in the file list)
  char16_t* name;
  char16_t* ref;
  gps_textpos_t txtcoord;
  char16_t* label;      // display text (unnamed attribute)
  feature_t* feature;
  obj_t* roadatt;
  int32_t lanes;        // 0: the representation's default
};
struct wayline_t : obj_t {  // 152
  obj_t* father;
  char16_t* name;
  char16_t* ref;
  gps_textpos_t txtcoord;
  coord_list loicoord;  // x, y pairs
  char16_t* label;      // display text (unnamed attribute)
  feature_t* feature;
  obj_t* roadatt;
};
#pragma pack(pop)

// ---- Classes (repr_classes.cpp) -----------------------------------------------------------
// Registers classes 153, 154, 151, 150 and 152 with their descriptors, destructors and
// copy callbacks. Destructors free the owned strings (feature: mnemo, name; node: name,
// ref, label, osmident; way: name, ref, label and its node list, never the nodes;
// wayline: name, ref, label, coordinates; representation: mnemo and its sons list).
// Copies get their own strings (and coordinates); a representation copy has no father
// and no sons, a way copy has no node list (the original's is not shared).
void repr_register_classes();
// The descriptors (for tests and the objxml writer).
const objdesc* repr_class_descriptor(int cls);

// New objects made in `list` (may be null: not listed); strings are copied.
feature_t* feature_create(container_t* list, int maintype, int subtype, int elttype,
                          const char* mnemo, const char* name, feature_t** out);
representation_t* representation_create(container_t* list, const char* mnemo,
                                         representation_t** out);

// ---- Tables (repr_tables.cpp) -------------------------------------------------------------
std::recursive_mutex& repr_tables_mutex();

// Start-up: registers the classes; opens "representation.xml" in the system data folder
// as a file object and loads it. Success: its object list becomes the loaded list, the
// mnemonic index and the scheme "prepressch" are made (the scheme read back from the
// saved tables when a saved copy exists, and queued to be saved at exit) and the index
// is rebuilt; result 0. Failure: the file object is freed, the trace log gets a
// separator and "Unable to load representations" (French: "Impossible de charger les
// representations "), the tables stay empty (scheme and index still made); the error
// code is returned and gblerr cleared.
int repr_load();
// Loads the representations from an explicit path instead of the system folder (tests,
// the object XML of a data folder); same contract as repr_load.
int repr_load_from(const char* path);
// Frees every table (tests; the end of the program, after the saved tables are written:
// a queued scheme must not be freed before savfile_flush).
void repr_tables_free();

// Loads a native object XML file (core/objxml.h) of the given path and returns in *out
// the loaded list (class 34) whose `name` is `list_name`, or null. The file object made
// for the read is freed. Result 0, or the error code (2: not readable; 3: no list of that
// name); gblerr is left clear. The vocabulary files of the vector readers use it too.
int repr_load_named_list(const char* path, const char* list_name, container_t** out);
// The path of a data file in the system data folder (owned string).
char* repr_data_path(const char* file_name, char** owner);
// The list name of "representation.xml".
inline constexpr const char* kReprListName = "representations";

// The list of objects loaded from "representation.xml" (null before a load).
container_t* repr_loaded_list();
// The mnemonic index: sorted index over class 154 on `mnemo` (key type 10), holding its
// own copies; rebuilt from the loaded list and then the scheme (the scheme wins).
container_t* repr_mnemo_index();
// The scheme "prepressch": the representations the user added or changed.
container_t* repr_scheme();
// The file the scheme is saved to ("prepressch.sot" in the user's settings folder).
const char* repr_scheme_path();

// *out := the representation of the feature's mnemonic or null, *position its position
// in the mnemonic index or -1 (null feature: null and -1). Returns *out.
representation_t* repr_find_by_mnemo(const feature_t* feature, representation_t** out,
                                     int* position);
// The same by the mnemonic text (the map features window).
representation_t* repr_find_mnemo(const char* mnemo, representation_t** out, int* position);

// Feature indexes (sorted indexes of class 153 keyed on an integer attribute): the first
// entry whose key equals `key` and whose `maintype` (feature_find_main) or `subtype`
// (feature_find_sub) and `elttype` equal the values given; null when none.
feature_t* feature_find_main(const container_t* index, int key, int maintype, int elttype,
                             feature_t** out);
feature_t* feature_find_sub(const container_t* index, int key, int subtype, int elttype,
                            feature_t** out);
// A feature index keyed on `maintype` (key type 1).
container_t* feature_index_create(container_t** out);
// When the index (keyed on `maintype`) holds no entry with the feature's subtype,
// maintype and elttype, a new one is inserted; then the feature is copied into it.
// Returns the entry.
feature_t* repr_add_feature(container_t* index, const feature_t* feature);
// 0 without change when the mnemonic index holds a representation of that mnemonic whose
// thickmeter, thickpixel, motiforsymb, filloricon, fontsz, feattype and colour all
// equal the given one's. Otherwise the scheme's element of that mnemonic (inserted when
// absent) takes a copy of the representation, the index is rebuilt and the scheme is
// queued for saving; result 1 only when a new scheme element was inserted.
int repr_add_representation(const representation_t* representation);
// Frees the index's elements, then puts copies of the loaded list's and then the
// scheme's representations into it (same mnemonic: the later one replaces).
void repr_rebuild_index();

// Feature description lines of the source formats (repr_header_text): each hook appends,
// for every feature of its tables whose mnemo equals `mnemo`, its description lines to
// the owned text. Slot 0: OpenStreetMap, slot 1: Polish map. A null routine empties
// the slot.
using repr_describe_fn = void (*)(const char* mnemo, char** text);
constexpr int kReprDescribeOsm = 0;
constexpr int kReprDescribePolish = 1;
constexpr int kReprDescribeSlots = 2;
void repr_set_describe_hook(int slot, repr_describe_fn fn);
// *out := "FORMAT\nMAIN TYPE\nSUBTYPE\nELEMENT TYPE\n" followed by what the OSM hook
// and then the Polish hook append for the mnemonic of `object` (a representation or a
// feature; any other object adds nothing). Returns the owned text.
char* repr_header_text(const obj_t* object, char** out);

// ---- Rendering (repr_render.cpp) ----------------------------------------------------------
// Display folders by feature: an index of id pairs (class 161, core/core_classes.h)
// keyed on their third word, the feature's id; the pair's value is the folder's id.
// A feature with elttype 0 (or a null feature): nothing, *out_folder null. Else the
// folder of the feature (made when absent: a new list holding the object, priority
// 30000 for point-like element types and 20000 for the others, under `parent`, named
// after the feature's name) is returned in *out_folder. The object is not added to an
// existing folder's list: repr_render_calc does that.
folder_t* repr_apply(container_t* index, const feature_t* feature, obj_t* parent,
                     obj_t* object, folder_t** out_folder);
// Sorts every node, then way, then way line of `objects` that has a feature into the
// display folder of that feature under `parent` (a folder, or a file: its first folder;
// *out_index := the index of display folders, made here, the caller frees it; each
// display folder's list also gets the georeference of `objects` first), then gives every folder whose feature (in `features`: a list or
// index of class 153) has a non-zero elttype and a representation its styles, and
// compacts the folder's list. Styles by element type: points (16, 32, 150) an icon
// style in a sub-folder of priority 30000 when motiforsymb < 0 (else, and when the icon
// cannot be drawn, a symbol style) and a label style; way lines (64, 128) a polyline and
// a label style; ways (151) a point-and-link style per way and a label style, and for
// the way lines a reader drew from its ways (same feature) a polyline and a label style.
// Returns 0, or -1 with gblerr set (a set error stops the
// style loops).
int repr_render_calc(container_t* objects, obj_t* parent, const container_t* features,
                     container_t** out_index);
// The folder of a feature in an index made by repr_apply, or null.
folder_t* repr_folder_of(const container_t* index, const feature_t* feature);

// Style builders (each makes one style in `list`, or one per way, and returns the style,
// null on failure). `r` is the representation of the folder's feature. The icon style
// draws a copy of waypoint icon r->filloricon, appended to `owner` (null: to `list`); an
// icon number outside 0..60 or an icon that is not loaded makes no style (null).
obj_t* node_symbol_style(container_t* list, const representation_t* r);
obj_t* node_icon_style(container_t* list, const representation_t* r,
                       container_t* owner = nullptr);
obj_t* node_label_style(container_t* list, const representation_t* r);
int way_style_create(container_t* list, const representation_t* r);
obj_t* way_label_style(container_t* list, const representation_t* r);
obj_t* wayline_style_create(container_t* list, const representation_t* r);
obj_t* wayline_label_style(container_t* list, const representation_t* r);

// The centroid of a way's nodes into its `txtcoord` (0, 0 without nodes).
void way_set_centroid(way_t* way);
