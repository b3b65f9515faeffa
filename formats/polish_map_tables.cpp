// The Polish map feature tables: the section and key dictionaries of the lexer, the two
// feature files, the user's saved tables "ppfmfeatsch" and "ppfmmainfsch", and the two
// indexes rebuilt from them.
//
// Stability: the indexes hold records of the module's own pools, one record per
// (maintype, subtype, elttype) for the features and one per maintype for the main
// features. A rebuild copies the values of its sources onto the pooled record of the
// same key (or makes one), so that a node or way line classified by an earlier load
// keeps a valid feature however often the window rebuilds the tables. Pooled records
// are freed only by mp_free.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>

#include "core/config.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/tracelog.h"
#include "core/xml.h"
#include "formats/file_load.h"
#include "formats/polish_map.h"
#include "formats/polish_map_internal.h"
#include "formats/user_lists.h"
#include "map/file_object.h"
#include "map/repr.h"
#include "map/saved_tables.h"

namespace {

constexpr int kSectionCount = 12;
constexpr int kKeyCount = 46;

tag_t g_section_table[kSectionCount] = {
    make_tag("IMG ID", MP_SECTION_HEADER), make_tag("POI", MP_SECTION_POI),
    make_tag("POLYLINE", MP_SECTION_LINE), make_tag("POLYGON", MP_SECTION_AREA),
    make_tag("PLT", MP_SECTION_OTHER),     make_tag("WPT", MP_SECTION_OTHER),
    make_tag("SHP", MP_SECTION_SHAPE),     make_tag("FILE", MP_SECTION_OTHER),
    make_tag("RGN10", MP_SECTION_POI),     make_tag("RGN20", MP_SECTION_CITY),
    make_tag("RGN40", MP_SECTION_LINE),    make_tag("RGN80", MP_SECTION_AREA),
};

tag_t g_key_table[kKeyCount] = {
    make_tag("Datum", MP_KEY_DATUM),
    make_tag("Elevation", MP_KEY_UNIT),
    make_tag("HeightUnit", MP_KEY_UNIT),
    make_tag("DepthUnit", MP_KEY_UNIT),
    make_tag("Type", MP_KEY_TYPE),
    make_tag("City", MP_KEY_CITY),
    make_tag("Label", MP_KEY_LABEL),
    make_tag("EndLevel", MP_KEY_ENDLEVEL),
    make_tag("Data0", MP_KEY_DATA),
    make_tag("Origin0", MP_KEY_DATA),
    make_tag("CityName", MP_KEY_CITYNAME),
    make_tag("File0", MP_KEY_FILE),
    make_tag("File1", MP_KEY_FILE),
    make_tag("File2", MP_KEY_FILE),
    make_tag("File3", MP_KEY_FILE),
    make_tag("File4", MP_KEY_FILE),
    make_tag("File5", MP_KEY_FILE),
    make_tag("File6", MP_KEY_FILE),
    make_tag("File7", MP_KEY_FILE),
    make_tag("File8", MP_KEY_FILE),
    make_tag("RgnType", MP_KEY_RGNTYPE),
    make_tag("DefaultType", MP_KEY_RGNTYPE),
    make_tag("name", MP_KEY_NAME),
    make_tag("Color", MP_KEY_COLOR),
    make_tag("Height", MP_KEY_HEIGHT),
    make_tag("Depth", MP_KEY_HEIGHT),
    make_tag("SubType", MP_KEY_SUBTYPE),
    make_tag("ReferenceEllipsoid", MP_KEY_ELLIPSOID),
    make_tag("StreetDesc", MP_KEY_LABEL2),
    make_tag("Label2", MP_KEY_LABEL2),
    make_tag("Data1", MP_KEY_OTHER_LEVEL),
    make_tag("Data2", MP_KEY_OTHER_LEVEL),
    make_tag("Data3", MP_KEY_OTHER_LEVEL),
    make_tag("Data4", MP_KEY_OTHER_LEVEL),
    make_tag("Data5", MP_KEY_OTHER_LEVEL),
    make_tag("Data6", MP_KEY_OTHER_LEVEL),
    make_tag("Data7", MP_KEY_OTHER_LEVEL),
    make_tag("Data8", MP_KEY_OTHER_LEVEL),
    make_tag("Origin1", MP_KEY_OTHER_LEVEL),
    make_tag("Origin2", MP_KEY_OTHER_LEVEL),
    make_tag("Origin3", MP_KEY_OTHER_LEVEL),
    make_tag("Origin4", MP_KEY_OTHER_LEVEL),
    make_tag("Origin5", MP_KEY_OTHER_LEVEL),
    make_tag("Origin6", MP_KEY_OTHER_LEVEL),
    make_tag("Origin7", MP_KEY_OTHER_LEVEL),
    make_tag("Origin8", MP_KEY_OTHER_LEVEL),
};

using user_lists::error_pause;
using user_lists::free_index;
using user_lists::free_with_elements;
using user_table = user_lists::user_list;

using feature_key = std::tuple<int, int, int>;

struct mp_tables {
  container_t* sections = nullptr;
  container_t* keys = nullptr;
  container_t* base_features = nullptr;       // "pfmsfeat.xml"
  container_t* base_main_features = nullptr;  // "pfmmfeat.xml"
  user_table user_features;                   // "ppfmfeatsch"
  user_table user_main_features;              // "ppfmmainfsch"
  container_t* features = nullptr;            // index over pooled records
  container_t* main_features = nullptr;
  container_t* pool = nullptr;                // owns every pooled record
  std::map<feature_key, feature_t*> feature_pool;
  std::map<int, feature_t*> main_pool;
  bool loaded = false;  // both feature files were loaded
  bool save = false;    // user tables are queued for saving when changed
};

mp_tables g;
std::recursive_mutex g_mutex;

constexpr int kMaintypeOffset = int(offsetof(feature_t, maintype));

void free_user(user_table* u) { user_lists::user_list_free(u); }

// An empty user table under its name, read back from `folder` when given.
void make_user(user_table* u, const char* name, const char* folder) {
  feature_index_create(&u->table);
  user_lists::user_list_open(u, name, folder);
}

void queue_user(user_table* u) { user_lists::user_list_queue(u, g.save); }

using user_lists::load_named_list;

const char* text_or_empty(const char* s) { return s ? s : ""; }
bool same_text(const char* a, const char* b) {
  return std::strcmp(text_or_empty(a), text_or_empty(b)) == 0;
}

// Gives `dst` the values of `src` (its id and list membership unchanged).
void assign_feature(feature_t* dst, const feature_t* src) {
  if (dst == src) return;
  dst->maintype = src->maintype;
  dst->subtype = src->subtype;
  dst->elttype = src->elttype;
  if (!same_text(dst->mnemo, src->mnemo)) {
    free_mem(&dst->mnemo);
    if (src->mnemo) str_set(src->mnemo, &dst->mnemo);
  }
  if (!same_text(dst->name, src->name)) {
    free_mem(&dst->name);
    if (src->name) str_set(src->name, &dst->name);
  }
}

// The pooled record of a key holding the values of `src`: the pool's record of that key
// updated, or a new one.
feature_t* pooled(feature_t* existing, const feature_t* src) {
  if (existing) {
    assign_feature(existing, src);
    return existing;
  }
  feature_t* f = nullptr;
  feature_create(g.pool, src->maintype, src->subtype, src->elttype, src->mnemo, src->name, &f);
  return f;
}

template <class Fn> void each_feature(const container_t* list, Fn fn) {
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i)
    if (obj_t* o = list->elems[i]; o && o->cls == CLS_FEATURE) fn(static_cast<feature_t*>(o));
}

void rebuild_locked() {
  error_pause pause;
  free_index(&g.features);
  free_index(&g.main_features);
  feature_index_create(&g.features);
  feature_index_create(&g.main_features);
  if (!g.pool) obj_list_new(&g.pool);
  if (!g.loaded || !g.features || !g.main_features || !g.pool) return;
  // Main features: one per main type, the later source winning.
  std::map<int, const feature_t*> mains;
  each_feature(g.base_main_features, [&](feature_t* f) { mains[f->maintype] = f; });
  each_feature(g.user_main_features.table, [&](feature_t* f) { mains[f->maintype] = f; });
  for (const auto& [type, src] : mains) {
    feature_t*& slot = g.main_pool[type];
    slot = pooled(slot, src);
    if (slot) index_insert(g.main_features, slot);
  }
  // Features: one per (maintype, subtype, elttype); the user's records replace the
  // values of the base record of the same three.
  std::map<feature_key, const feature_t*> features;
  auto add = [&](feature_t* f) { features[{f->maintype, f->subtype, f->elttype}] = f; };
  each_feature(g.base_features, add);
  each_feature(g.user_features.table, add);
  for (const auto& [key, src] : features) {
    feature_t*& slot = g.feature_pool[key];
    slot = pooled(slot, src);
    if (slot) index_insert(g.features, slot);
  }
}

void describe(const char* mnemo, char** text) { mp_feature_describe(mnemo, text); }

}  // namespace

// ---- Internal access for the reader ---------------------------------------------------------

container_t* mp_section_dict() { return g.sections; }
container_t* mp_key_dict() { return g.keys; }

feature_t* mp_classify(int type, int subtype, int kind) {
  if (type < 0 || type > 255 || subtype < 0 || subtype > 255) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  feature_t* f = nullptr;
  feature_find_sub(g.features, type, subtype, kind, &f);
  return f;
}

// ---- Start-up ---------------------------------------------------------------------------------

std::recursive_mutex& mp_tables_mutex() { return g_mutex; }

void mp_init() {
  // The feature files are data of the program; the user's own features live with the
  // user's settings.
  const std::string folder = user_lists::data_folder_of("pfmsfeat.xml");
  mp_init_from(folder.c_str(), get_user_app_dir());
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  g.save = true;
}

int mp_init_from(const char* folder, const char* user_folder) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  mp_free();
  error_pause pause;
  repr_register_classes();
  dict_rebuild_pair(kSectionCount, g_section_table, kKeyCount, g_key_table, &g.sections,
                    &g.keys);
  set_gblerr(0);
  register_format_reader(kPolishFormat, mp_read);
  repr_set_describe_hook(kReprDescribePolish, describe);
  int loaded = 0;
  // Without either file nothing is classified: the indexes stay empty.
  if (load_named_list(folder, kPolishFeatureFile, kPolishFeatureList, &g.base_features,
                      "Impossible de charger les features ", "Unable to load features")) {
    ++loaded;
    if (load_named_list(folder, kPolishMainFeatureFile, kPolishMainFeatureList,
                        &g.base_main_features, "Impossible de charger les features main ",
                        "Unable to load main features"))
      ++loaded;
  }
  g.loaded = loaded == 2;
  make_user(&g.user_features, kPolishUserFeatures, user_folder);
  make_user(&g.user_main_features, kPolishUserMainFeatures, user_folder);
  g.save = false;
  rebuild_locked();
  return loaded;
}

void mp_free() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  error_pause pause;
  free_index(&g.features);
  free_index(&g.main_features);
  g.feature_pool.clear();
  g.main_pool.clear();
  free_with_elements(&g.pool);
  free_with_elements(&g.base_features);
  free_with_elements(&g.base_main_features);
  free_user(&g.user_features);
  free_user(&g.user_main_features);
  if (g.sections || g.keys) {
    // The dictionaries hold the static tables' records: only the indexes go.
    free_index(&g.sections);
    free_index(&g.keys);
  }
  g.loaded = false;
  g.save = false;
}

// ---- Tables ---------------------------------------------------------------------------------

container_t* mp_features() { return g.features; }
container_t* mp_main_features() { return g.main_features; }
container_t* mp_user_features() { return g.user_features.table; }
container_t* mp_user_main_features() { return g.user_main_features.table; }

feature_t* mp_feature_find(int type, int subtype, int elttype, feature_t** out) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  feature_t* f = nullptr;
  if (type >= 0 && type <= 255 && subtype >= 0 && subtype <= 255)
    feature_find_sub(g.features, type, subtype, elttype, &f);
  if (out) *out = f;
  return f;
}

void mp_features_rebuild() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  rebuild_locked();
}

void mp_feature_record_change(const feature_t* feature) {
  if (!feature) return;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  feature_t* known = nullptr;
  feature_find_sub(g.features, feature->maintype, feature->subtype, feature->elttype, &known);
  if (known && same_text(known->mnemo, feature->mnemo) && same_text(known->name, feature->name))
    return;
  error_pause pause;
  if (!g.user_features.table) make_user(&g.user_features, kPolishUserFeatures, nullptr);
  if (!g.user_features.table) return;
  feature_t* stored = nullptr;
  feature_find_sub(g.user_features.table, feature->maintype, feature->subtype,
                   feature->elttype, &stored);
  if (stored) {
    assign_feature(stored, feature);
  } else {
    feature_create(nullptr, feature->maintype, feature->subtype, feature->elttype,
                   feature->mnemo, feature->name, &stored);
    if (!stored) return;
    index_insert(g.user_features.table, stored);
  }
  queue_user(&g.user_features);
}

void mp_feature_describe(const char* mnemo, char** text) {
  if (!mnemo || !text) return;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  const int n = obj_list_count(g.features);
  for (int i = 0; i < n; ++i) {
    const auto* f = static_cast<const feature_t*>(g.features->elems[i]);
    if (!f || !f->mnemo || std::strcmp(f->mnemo, mnemo) != 0) continue;
    char line[64];
    std::snprintf(line, sizeof line, "Polish format\n0x%02x\n0x%02x\n", unsigned(f->maintype),
                  unsigned(f->subtype));
    str_cat(line, text);
    str_cat(f->elttype == kPolishPoi       ? "POI\n"
            : f->elttype == kPolishPolyline ? "POLYLINE\n"
                                            : "POLYGON\n",
            text);
  }
}
