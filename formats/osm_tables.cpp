// The OpenStreetMap vocabularies and feature tables: the base lists loaded from the four
// vocabulary files, the user's lists (saved tables), and the dictionaries and indexes
// rebuilt from both.
//
// Stability: the indexes hold pointers to the records of the base lists and of the user
// lists, never copies, and a record is only ever changed in place (a user record of the
// same key is overwritten, not replaced), so that a node or way classified by a load
// keeps a valid feature however often the window rebuilds the tables. Records are freed
// only by osm_free.
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/tracelog.h"
#include "core/xml.h"
#include "formats/file_load.h"
#include "formats/osm.h"
#include "formats/osm_internal.h"
#include "formats/user_lists.h"
#include "map/file_object.h"
#include "map/repr.h"
#include "map/saved_tables.h"

namespace {

tag_t g_element_table[kOsmElementCount] = {
    make_tag("xml", OSM_XML), make_tag("osm", OSM_OSM), make_tag("node", OSM_NODE),
    make_tag("way", OSM_WAY), make_tag("tag", OSM_TAG), make_tag("nd", OSM_ND),
};
tag_t g_attribute_table[kOsmAttributeCount] = {
    make_tag("encoding", OSMA_ENCODING), make_tag("version", OSMA_VERSION),
    make_tag("id", OSMA_ID),             make_tag("lat", OSMA_LAT),
    make_tag("lon", OSMA_LON),           make_tag("visible", OSMA_VISIBLE),
    make_tag("timestamp", OSMA_TIMESTAMP), make_tag("ref", OSMA_REF),
    make_tag("k", OSMA_K),               make_tag("v", OSMA_V),
};

using user_lists::error_pause;
using user_lists::free_index;
using user_lists::free_with_elements;
using user_lists::user_list;

struct osm_tables {
  container_t* elements = nullptr;
  container_t* attributes = nullptr;
  // Base lists (loaded, plain lists of their records).
  container_t* base_keys = nullptr;
  container_t* base_values = nullptr;
  container_t* base_keywords = nullptr;
  container_t* base_features = nullptr;
  // User lists (saved tables).
  user_list user_keywords;
  user_list user_values;
  user_list user_features;
  // Rebuilt tables.
  container_t* key_dict = nullptr;
  container_t* key_reverse = nullptr;
  container_t* value_dict = nullptr;
  container_t* value_reverse = nullptr;
  container_t* keywords = nullptr;
  container_t* features = nullptr;
  // Tag records made for new keys (their names); freed with the tables.
  container_t* made_tags = nullptr;
  bool save = false;
};

osm_tables g;
std::recursive_mutex g_mutex;

constexpr int kMaintypeOffset = int(offsetof(feature_t, maintype));
constexpr int kTagValOffset = int(offsetof(tag_t, val));

void free_user(user_list* u) { user_lists::user_list_free(u); }

// An index of records of class `cls` keyed at `key_offset`, read back from `folder`.
void make_user(user_list* u, int cls, int key_type, int key_offset, const char* name,
               const char* folder) {
  index_create(cls, key_type, key_offset, &u->table);
  user_lists::user_list_open(u, name, folder);
}

void queue_user(user_list* u) { user_lists::user_list_queue(u, g.save); }

// 1 when the list was loaded, else 0 (its message in the trace log).
int load_list(const char* folder, const char* file, const char* list_name, container_t** out,
              const char* fr, const char* en) {
  return user_lists::load_named_list(folder, file, list_name, out, fr, en) ? 1 : 0;
}

// Entries of a list of class `cls`.
template <class Fn> void each_of(const container_t* list, int cls, Fn fn) {
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i)
    if (obj_t* o = list->elems[i]; o && o->cls == cls) fn(o);
}

// A tag of the dictionary by name, or null.
tag_t* dict_tag(const container_t* dict, const char* name) {
  tag_t* t = nullptr;
  if (dict && name) index_get(dict, name, &t);
  return t;
}
tag_t* reverse_tag(const container_t* reverse, int code) {
  tag_t* t = nullptr;
  if (reverse) index_get(reverse, &code, &t);
  return t;
}

// The largest code of a dictionary (0 when empty).
int largest_code(const container_t* reverse) {
  const int n = obj_list_count(reverse);
  return n > 0 ? static_cast<tag_t*>(reverse->elems[n - 1])->val : 0;
}

// Puts the tags of a list into a dictionary; a name already there keeps its first tag.
void fill_dict(container_t* dict, const container_t* list) {
  each_of(list, CLS_TAG, [&](obj_t* o) {
    auto* t = static_cast<tag_t*>(o);
    if (t->name && !dict_tag(dict, t->name)) index_insert(dict, t);
  });
}

// The entry of an index keyed on maintype with the same (maintype, subtype, elttype), or
// with the same maintype when `by_key` (keyword records).
feature_t* same_feature(const container_t* index, const feature_t* f, bool by_key) {
  feature_t* found = nullptr;
  if (by_key)
    feature_find_main(index, f->maintype, f->maintype, f->elttype, &found);
  else
    feature_find_sub(index, f->maintype, f->subtype, f->elttype, &found);
  return found;
}

// Puts records into a table: one of the same key replaces the entry (the entry is taken
// out of the index, the record put in).
void merge_features(container_t* index, const container_t* list, bool by_key) {
  each_of(list, CLS_FEATURE, [&](obj_t* o) {
    auto* f = static_cast<feature_t*>(o);
    if (feature_t* old = same_feature(index, f, by_key)) index_remove(index, old);
    index_insert(index, f);
  });
}

// The dictionaries and indexes rebuilt from the lists (their records belong to the lists).
void free_rebuilt() {
  free_index(&g.key_reverse);
  free_index(&g.value_reverse);
  free_index(&g.key_dict);
  free_index(&g.value_dict);
  free_index(&g.keywords);
  free_index(&g.features);
}

void rebuild_locked() {
  error_pause pause;
  free_rebuilt();
  dict_create(&g.key_dict);
  dict_create(&g.value_dict);
  fill_dict(g.key_dict, g.base_keys);
  fill_dict(g.key_dict, g.made_tags);
  fill_dict(g.value_dict, g.base_values);
  fill_dict(g.value_dict, g.user_values.table);
  dict_create_reverse(g.key_dict, &g.key_reverse);
  dict_create_reverse(g.value_dict, &g.value_reverse);
  feature_index_create(&g.keywords);
  merge_features(g.keywords, g.base_keywords, true);
  merge_features(g.keywords, g.user_keywords.table, true);
  feature_index_create(&g.features);
  merge_features(g.features, g.base_features, false);
  merge_features(g.features, g.user_features.table, false);
}

// The user keyword records name their keys: a key the base vocabulary lacks gets a tag
// of its own, so that its name survives a restart.
void name_user_keys() {
  each_of(g.user_keywords.table, CLS_FEATURE, [&](obj_t* o) {
    auto* f = static_cast<feature_t*>(o);
    if (!f->name || !*f->name) return;
    tag_t* known = dict_tag(g.key_dict, f->name);
    if (known) return;
    obj_t* t = nullptr;
    alloc_obj(CLS_TAG, &t);
    if (!t) return;
    t->id = obj_new_id();
    auto* tag = static_cast<tag_t*>(t);
    str_set(f->name, &tag->name);
    tag->val = f->maintype;
    obj_list_append(g.made_tags, t);
    index_insert(g.key_dict, t);
  });
}

void describe(const char* mnemo, char** text) { osm_feature_text(mnemo, text); }

// A new tag for a name, with a code one above the largest of the dictionary.
tag_t* new_tag(const char* name, const container_t* reverse) {
  obj_t* t = nullptr;
  alloc_obj(CLS_TAG, &t);
  if (!t) return nullptr;
  t->id = obj_new_id();
  auto* tag = static_cast<tag_t*>(t);
  str_set(name, &tag->name);
  tag->val = largest_code(reverse) + 1;
  return tag;
}

}  // namespace

// ---- Internal access for the reader -----------------------------------------------------------

container_t* osm_element_dict() { return g.elements; }
container_t* osm_attribute_dict() { return g.attributes; }

feature_t* osm_classify(int key_code, const char* value, int elttype) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  feature_t* keyword = nullptr;
  feature_find_main(g.keywords, key_code, key_code, 0, &keyword);
  if (!keyword) return nullptr;
  int value_code = 0;
  if (tag_t* t = dict_tag(g.value_dict, value)) value_code = t->val;
  feature_t* f = nullptr;
  if (value_code) feature_find_sub(g.features, key_code, value_code, elttype, &f);
  // A value without a feature of its own takes the feature of the key's default value.
  if (!f && keyword->subtype != 0 && keyword->subtype != value_code)
    feature_find_sub(g.features, key_code, keyword->subtype, elttype, &f);
  return f;
}

int osm_key_lookup(const char* name) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  tag_t* t = dict_tag(g.key_dict, name);
  return t ? t->val : 0;
}

// ---- Start-up -----------------------------------------------------------------------------------

std::recursive_mutex& osm_tables_mutex() { return g_mutex; }

void osm_init() {
  // The vocabularies are data of the program; the user's own lists live with the user's
  // settings.
  const std::string folder = user_lists::data_folder_of("osmktag.xml");
  osm_init_from(folder.c_str(), get_user_app_dir());
}

int osm_init_from(const char* folder, const char* user_folder) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  osm_free();
  error_pause pause;
  repr_register_classes();
  dict_rebuild_pair(kOsmElementCount, g_element_table, kOsmAttributeCount, g_attribute_table,
                    &g.elements, &g.attributes);
  set_gblerr(0);
  int loaded = 0;
  loaded += load_list(folder, kOsmKeyTagFile, kOsmKeyTagList, &g.base_keys,
                      "Impossible de charger les tags k ", "Unable to load k tags");
  loaded += load_list(folder, kOsmValueTagFile, kOsmValueTagList, &g.base_values,
                      "Impossible de charger les tags v ", "Unable to load v tags");
  loaded += load_list(folder, kOsmKeyFeatFile, kOsmKeyFeatList, &g.base_keywords,
                      "Impossible de charger les features k ", "Unable to load k features");
  loaded += load_list(folder, kOsmValueFeatFile, kOsmValueFeatList, &g.base_features,
                      "Impossible de charger les features v ", "Unable to load v features");
  make_user(&g.user_keywords, CLS_FEATURE, AT_INT, kMaintypeOffset, kOsmUserKeywordList,
            user_folder);
  make_user(&g.user_values, CLS_TAG, AT_INT, kTagValOffset, kOsmUserValueList, user_folder);
  make_user(&g.user_features, CLS_FEATURE, AT_INT, kMaintypeOffset, kOsmUserFeatureList,
            user_folder);
  obj_list_new(&g.made_tags);
  g.save = false;
  rebuild_locked();
  name_user_keys();
  free_index(&g.key_reverse);
  dict_create_reverse(g.key_dict, &g.key_reverse);
  register_format_reader(kOsmFormat, read_osm);
  repr_set_describe_hook(kReprDescribeOsm, describe);
  g.save = user_folder != nullptr;
  return loaded;
}

void osm_free() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  error_pause pause;
  free_rebuilt();
  free_with_elements(&g.base_keys);
  free_with_elements(&g.base_values);
  free_with_elements(&g.base_keywords);
  free_with_elements(&g.base_features);
  free_with_elements(&g.made_tags);
  free_user(&g.user_keywords);
  free_user(&g.user_values);
  free_user(&g.user_features);
  if (g.elements || g.attributes) {
    // The dictionaries hold the static tables' records: only the indexes go.
    free_index(&g.elements);
    free_index(&g.attributes);
  }
  g.save = false;
}

// ---- Tables ---------------------------------------------------------------------------------------

container_t* osm_key_dict() { return g.key_dict; }
container_t* osm_key_reverse() { return g.key_reverse; }
container_t* osm_value_dict() { return g.value_dict; }
container_t* osm_value_reverse() { return g.value_reverse; }
container_t* osm_keywords() { return g.keywords; }
container_t* osm_features() { return g.features; }
container_t* osm_user_keywords() { return g.user_keywords.table; }
container_t* osm_user_values() { return g.user_values.table; }
container_t* osm_user_features() { return g.user_features.table; }

int osm_key_code(const char* name) { return osm_key_lookup(name); }

int osm_value_code(const char* name) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  tag_t* t = dict_tag(g.value_dict, name);
  return t ? t->val : 0;
}

const char* osm_key_name(int code) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  tag_t* t = reverse_tag(g.key_reverse, code);
  return t ? t->name : nullptr;
}

const char* osm_value_name(int code) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  tag_t* t = reverse_tag(g.value_reverse, code);
  return t ? t->name : nullptr;
}

int osm_key_add(const char* name) {
  if (!name || !*name) return 0;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (tag_t* t = dict_tag(g.key_dict, name)) return t->val;
  error_pause pause;
  if (!g.made_tags) obj_list_new(&g.made_tags);
  if (!g.key_dict) dict_create(&g.key_dict);
  tag_t* tag = new_tag(name, g.key_reverse);
  if (!tag) return 0;
  obj_list_append(g.made_tags, tag);
  index_insert(g.key_dict, tag);
  free_index(&g.key_reverse);
  dict_create_reverse(g.key_dict, &g.key_reverse);
  // The new key's keyword record names it for the next start.
  osm_keyword_record(tag->val, 0);
  return tag->val;
}

int osm_value_add(const char* name) {
  if (!name || !*name) return 0;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (tag_t* t = dict_tag(g.value_dict, name)) return t->val;
  error_pause pause;
  if (!g.value_dict) dict_create(&g.value_dict);
  if (!g.user_values.table)
    make_user(&g.user_values, CLS_TAG, AT_INT, kTagValOffset, kOsmUserValueList, nullptr);
  tag_t* tag = new_tag(name, g.value_reverse);
  if (!tag) return 0;
  index_insert(g.user_values.table, tag);
  index_insert(g.value_dict, tag);
  free_index(&g.value_reverse);
  dict_create_reverse(g.value_dict, &g.value_reverse);
  queue_user(&g.user_values);
  return tag->val;
}

feature_t* osm_keyword_find(int key_code, feature_t** out) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  return feature_find_main(g.keywords, key_code, key_code, 0, out);
}

void osm_keyword_record(int key_code, int default_value) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (!g.user_keywords.table) make_user(&g.user_keywords, CLS_FEATURE, AT_INT, kMaintypeOffset,
                                        kOsmUserKeywordList, nullptr);
  feature_t* stored = nullptr;
  feature_find_main(g.user_keywords.table, key_code, key_code, 0, &stored);
  if (!stored) {
    tag_t* t = reverse_tag(g.key_reverse, key_code);
    feature_create(nullptr, key_code, default_value, 0, nullptr, t ? t->name : nullptr, &stored);
    if (!stored) return;
    index_insert(g.user_keywords.table, stored);
  }
  stored->subtype = default_value;
  queue_user(&g.user_keywords);
}

feature_t* osm_feature_find(int key_code, int value_code, int elttype, feature_t** out) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  return feature_find_sub(g.features, key_code, value_code, elttype, out);
}

void osm_feature_record(const feature_t* feature) {
  if (!feature) return;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (!g.user_features.table) make_user(&g.user_features, CLS_FEATURE, AT_INT, kMaintypeOffset,
                                        kOsmUserFeatureList, nullptr);
  feature_t* stored = same_feature(g.user_features.table, feature, false);
  if (stored) {
    if (stored != feature) {
      error_pause pause;
      obj_copy(feature, stored);
    }
  } else {
    obj_t* copy = nullptr;
    error_pause pause;
    index_add_copy(feature, g.user_features.table, &copy);
  }
  queue_user(&g.user_features);
}

void osm_tables_rebuild() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  rebuild_locked();
}

void osm_feature_text(const char* mnemo, char** text) {
  if (!mnemo || !text) return;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  const int n = obj_list_count(g.features);
  for (int i = 0; i < n; ++i) {
    const auto* f = static_cast<const feature_t*>(g.features->elems[i]);
    if (!f || !f->mnemo || std::strcmp(f->mnemo, mnemo) != 0) continue;
    tag_t* k = reverse_tag(g.key_reverse, f->maintype);
    tag_t* v = reverse_tag(g.value_reverse, f->subtype);
    str_cat("OSM\n", text);
    str_cat(k && k->name ? k->name : "", text);
    str_cat("\n", text);
    str_cat(v && v->name ? v->name : "", text);
    str_cat("\n", text);
    str_cat(f->elttype == kEltNode ? "node\n" : "way\n", text);
  }
}
