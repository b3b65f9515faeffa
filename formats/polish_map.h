// Polish map text files (format 47, "cGPSmapper Polish map"), and the Polish feature
// tables.
//
// The reader is a byte-at-a-time lexer driven by a transition table (state x character
// class -> action, next state). Section names in brackets ("[POI]", "[POLYLINE]",
// "[POLYGON]", "[RGN10]" ...) give the element kind of what follows (16 point, 64 line,
// 128 area); key lines ("Type=0x2f06", "Label=...", "Data0=(lat,lon),(lat,lon)") are
// handed to one handler per key. Every Data0/Origin0 line of a point section makes a map
// node (150), of a line or area section a way line (152, an area closed as a ring), each
// classified by the feature (153) of (type, subtype, kind). At the end the file's folder
// gets one sub-folder per feature main type and the rendering calculation (map/repr.h)
// sorts the elements into display folders with their styles.
//
// Bad input: a datum outside the Polish naming scheme (or no georeference) ends the read
// with error 13; a coordinate pair cut short by the end of the file with error 14; objects
// beyond the memory budget with error 1. Objects read before an error stay in the list.
// A coordinate line without a whole pair makes no object; a Type above 0xFFFF finds no
// feature. Names and labels are cut at a fixed length, and coordinate lists are bounded
// by the bytes really in the file.
//
// The feature tables: two native object XML files of the system data folder,
// "pfmsfeat.xml" (features: maintype, subtype, elttype 16/64/128, mnemo, name) and
// "pfmmfeat.xml" (one main feature per main type, naming its group), and two saved
// tables of the user's changes, "ppfmfeatsch" (features) and "ppfmmainfsch" (main
// features), written at exit with the other saved tables. mp_features_rebuild merges
// them (the user's records win). The records a loaded map points at stay valid across
// rebuilds: an entry of the same (maintype, subtype, elttype) is updated in place, and
// records that leave the tables are kept until mp_free.
//
// Threads: the tables are rebuilt on the user-interface thread (map features window)
// while a load task reads them; every routine here takes mp_tables_mutex(). A caller
// that walks a table returned by an accessor holds that lock while it walks.
//
// Files: polish_map_tables.cpp (start-up, tables, rebuild, descriptions),
// polish_map_read.cpp (lexer and key handlers), polish_map_build.cpp (folders).
#pragma once
#include <cstdint>
#include <mutex>

#include "core/obj_list.h"

struct obj_t;
struct feature_t;

constexpr int kPolishFormat = 47;

// Element kinds of the Polish features (`elttype`).
constexpr int kPolishPoi = 16;
constexpr int kPolishPolyline = 64;
constexpr int kPolishPolygon = 128;

// Error code of a datum that is not known (or of a file without georeference).
constexpr int kPolishBadDatum = 13;
// The reader's file buffer.
constexpr int kPolishReadBuffer = 131072;

// Feature files, their list names, and the saved user tables.
inline constexpr const char* kPolishFeatureFile = "pfmsfeat.xml";
inline constexpr const char* kPolishMainFeatureFile = "pfmmfeat.xml";
inline constexpr const char* kPolishFeatureList = "pfmsfeat";
inline constexpr const char* kPolishMainFeatureList = "pfmmfeat";
inline constexpr const char* kPolishUserFeatures = "ppfmfeatsch";
inline constexpr const char* kPolishUserMainFeatures = "ppfmmainfsch";

// ---- Start-up (polish_map_tables.cpp) -------------------------------------------------------
// Builds the section and key dictionaries, loads the two feature files from the system
// data folder (a file that cannot be loaded writes "Unable to load features" or
// "Unable to load main features" (French texts in French) to the trace log; the indexes
// then stay empty), reads the saved user tables, rebuilds the indexes, fills the reader
// slot of format 47 and the Polish description hook of the representation rules.
void mp_init();
// The same with the feature files taken from `folder` (tests, other data folders); the
// user tables are read from `user_folder` when given, else start empty and are not
// saved. Returns the number of feature files loaded (0..2).
int mp_init_from(const char* folder, const char* user_folder);
// Frees the dictionaries, tables and lists (tests; the end of the program). The feature
// records that loaded maps point at go too: no map of the format may stay loaded.
void mp_free();

// ---- The reader (polish_map_read.cpp) -------------------------------------------------------
// Reader of format 47. Result 0 when the file was read (gblerr tells whether it stopped
// on an error: 13 unknown datum, 14 cut short, 1 memory), 128 when the file cannot be
// opened (gblerr 2).
int mp_read(obj_t* file, container_t* list);

// ---- Tables (polish_map_tables.cpp) ---------------------------------------------------------
std::recursive_mutex& mp_tables_mutex();

// The feature index: sorted index of `feature` keyed on maintype (several entries per
// main type, one per subtype and element kind).
container_t* mp_features();
// The main features: sorted index of `feature` keyed on maintype, one per main type; its
// `name` names the group (and the main type's folder).
container_t* mp_main_features();
// The saved user tables ("ppfmfeatsch", "ppfmmainfsch"); sorted indexes keyed on maintype.
container_t* mp_user_features();
container_t* mp_user_main_features();

// The feature of (type, subtype, element kind) in mp_features, or null.
feature_t* mp_feature_find(int type, int subtype, int elttype, feature_t** out);

// Rebuilds mp_features and mp_main_features: the main features of "pfmmfeat.xml" then of
// "ppfmmainfsch" (same main type: the later wins); the features of "pfmsfeat.xml", then
// every feature of "ppfmfeatsch" copied onto the entry of the same maintype, subtype and
// elttype, or added.
void mp_features_rebuild();

// Records an edited feature (the map features window): when mp_features holds no feature
// of its maintype, subtype and elttype, or one whose mnemo or name differs, a copy goes
// into "ppfmfeatsch" (replacing the user's earlier record of the same three values) and
// the table is queued for saving. The tables change at the next mp_features_rebuild.
void mp_feature_record_change(const feature_t* feature);

// Appends to the owned text, for every feature of mp_features whose mnemo is `mnemo`:
// "Polish format\n0x%02x\n" (main type), "0x%02x\n" (subtype), then "POI\n" (16),
// "POLYLINE\n" (64) or "POLYGON\n" (others). The Polish description hook of map/repr.h.
void mp_feature_describe(const char* mnemo, char** text);
