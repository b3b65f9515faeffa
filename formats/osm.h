// OpenStreetMap XML import (format 68) and the OSM feature tables.
//
// The reader is an instance of the table-driven XML engine (core/xml.h): "node" and
// "way" elements under "osm" become map nodes (150) and ways (151, map/repr.h); their
// "tag" elements set name (key code 23), elevation (24), reference (25) and lanes (26),
// and any other key that selects features classifies the element by the feature of
// (key, value, node or way). Ways keep their "nd" references as identifiers while the
// file is read; afterwards they are resolved through a hash map of the file's nodes by
// identifier (references to missing nodes are dropped). Then the file's folder gets a
// sub-folder per feature main type, way lines are drawn from the ways, and the rendering
// calculation (repr_render_calc) sorts the elements into display folders with styles.
// API versions "0.5" and "0.6" are read (same node/way/nd/tag layout); any other version
// is error 14, which ends the read. Objects read before an error stay in the list.
//
// The vocabularies are data: four native object XML files of the system data folder,
// each holding one list identified by its name:
//   "osmktag.xml"  "posmktagsch"   tag keys: `tag` records (name, code)
//   "osmvtag.xml"  "posmvtagsch"   tag values: `tag` records (name, code)
//   "osmkfeat.xml" "posmkfeatsch"  keyword records of the keys that select a feature:
//                                  `feature` records, maintype = key code, subtype = the
//                                  key's default value code (0: none), elttype 0, name =
//                                  the key text
//   "osmvfeat.xml" "posmvfeatsch"  features: maintype = key code, subtype = value code,
//                                  elttype 150 (node) or 151 (way), mnemo, name
// The user's changes (map features window) are kept in three saved tables, written at
// exit with the other saved tables and read back by osm_init: the user keyword list
// ("posmukeysch", keyword records), the user value list ("posmuvalsch", `tag` records of
// values the user added) and the user feature list ("posmufeatsch", features; mnemo
// "NONE" removes the representation of a base feature). New keys are entered in the
// user keyword list.
//
// Threads: the tables are rebuilt on the user-interface thread (map features window)
// while a load task reads them; every routine here takes osm_tables_mutex(). A caller
// that walks a table returned by an accessor holds that lock while it walks.
//
// Files: osm_tables.cpp (vocabularies, user lists, rebuild, descriptions), osm_read.cpp
// (the reader), osm_build.cpp (node references, way lines, folders).
#pragma once
#include <cstdint>
#include <mutex>

#include "core/obj_list.h"

struct obj_t;
struct feature_t;

constexpr int kOsmFormat = 68;

// Key codes with a fixed meaning for the import.
constexpr int kOsmKeyName = 23;
constexpr int kOsmKeyElevation = 24;
constexpr int kOsmKeyRef = 25;
constexpr int kOsmKeyLanes = 26;

// Element and attribute codes of the reader.
enum osm_element : int { OSM_NONE = 0, OSM_XML, OSM_OSM, OSM_NODE, OSM_WAY, OSM_TAG, OSM_ND };
constexpr int kOsmElementCount = 6;
enum osm_attribute : int {
  OSMA_NONE = 0, OSMA_ENCODING, OSMA_VERSION, OSMA_ID, OSMA_LAT, OSMA_LON, OSMA_VISIBLE,
  OSMA_TIMESTAMP, OSMA_REF, OSMA_K, OSMA_V
};
constexpr int kOsmAttributeCount = 10;

// Result code of a refused version, a truncated file or a malformed document.
constexpr int kOsmBadData = 14;

// Vocabulary files and their list names; the saved user lists.
inline constexpr const char* kOsmKeyTagFile = "osmktag.xml";
inline constexpr const char* kOsmValueTagFile = "osmvtag.xml";
inline constexpr const char* kOsmKeyFeatFile = "osmkfeat.xml";
inline constexpr const char* kOsmValueFeatFile = "osmvfeat.xml";
inline constexpr const char* kOsmKeyTagList = "posmktagsch";
inline constexpr const char* kOsmValueTagList = "posmvtagsch";
inline constexpr const char* kOsmKeyFeatList = "posmkfeatsch";
inline constexpr const char* kOsmValueFeatList = "posmvfeatsch";
inline constexpr const char* kOsmUserKeywordList = "posmukeysch";
inline constexpr const char* kOsmUserValueList = "posmuvalsch";
inline constexpr const char* kOsmUserFeatureList = "posmufeatsch";

// ---- Start-up (osm_tables.cpp) --------------------------------------------------------------
// Builds the element and attribute dictionaries, loads the four vocabulary files from the
// system data folder (a file that cannot be loaded writes its message to the trace log:
// "Unable to load k tags", "Unable to load v tags", "Unable to load k features",
// "Unable to load v features", or the French texts; the import then classifies nothing
// by that vocabulary), reads the saved user lists, rebuilds the tables, fills the reader
// slot of format 68 and the OSM description hook of the representation rules.
void osm_init();
// The same with the vocabulary files taken from `folder` (tests, other data folders);
// the user lists are read from `user_folder` when given ("<list name>.sot") and queued
// for saving when they change, else they start empty and are not saved. Returns the
// number of vocabulary files loaded (0..4).
int osm_init_from(const char* folder, const char* user_folder);
// Frees the dictionaries, the tables and the lists (tests; the end of the program, after
// the saved tables are written: queued user lists must not be freed before savfile_flush).
void osm_free();

// ---- The reader (osm_read.cpp) --------------------------------------------------------------
// Reader of format 68: result 0 or the error code (also left in gblerr); see above.
int read_osm(obj_t* file, container_t* list);
// Appends, for each OSM feature whose mnemo is `mnemo`: "OSM\n", the key name, "\n", the
// value name, "\n", then "node\n" or "way\n" (the description hook of map/repr.h).
void osm_feature_text(const char* mnemo, char** text);

// ---- Tables (osm_tables.cpp) ----------------------------------------------------------------
std::recursive_mutex& osm_tables_mutex();

// Key and value dictionaries: sorted indexes of `tag` records (core/dict.h) by name,
// and their reverse indexes by code.
container_t* osm_key_dict();
container_t* osm_key_reverse();
container_t* osm_value_dict();
container_t* osm_value_reverse();
// Code of a key or value name (0 when absent); name of a code (null when absent).
int osm_key_code(const char* name);
int osm_value_code(const char* name);
const char* osm_key_name(int code);
const char* osm_value_name(int code);
// The code of the name, entered with a new code (one above the largest in use) when
// absent; a new key also gets a keyword record (default value 0) in the user keyword
// list, a new value a record in the user value list. 0 for a null or empty name.
int osm_key_add(const char* name);
int osm_value_add(const char* name);

// Keyword records: sorted index of `feature` records keyed on maintype (the key code);
// subtype is the default value code.
container_t* osm_keywords();
feature_t* osm_keyword_find(int key_code, feature_t** out);
// Stores a keyword record (key code, default value code) in the user keyword list,
// replacing one of the same key code. The tables change at the next osm_tables_rebuild.
void osm_keyword_record(int key_code, int default_value);

// The OSM feature table: sorted index of `feature` records keyed on maintype (the key
// code); the element type is 150 (node) or 151 (way).
container_t* osm_features();
// The feature of (key, value, element type), or null.
feature_t* osm_feature_find(int key_code, int value_code, int elttype, feature_t** out);
// Stores a copy of the feature in the user feature list, replacing one of the same key,
// value and element type. mnemo "NONE" takes the representation away.
void osm_feature_record(const feature_t* feature);

// The user lists (saved tables).
container_t* osm_user_keywords();
container_t* osm_user_values();
container_t* osm_user_features();

// Rebuilds the dictionaries and tables: the base vocabularies, then the user values and
// keywords, then the user features (a user feature replaces the base feature of the
// same key, value and element type, else it is added).
void osm_tables_rebuild();
