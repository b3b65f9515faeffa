// Stand-ins for the Polish feature tables (formats/polish_map.h) while the Polish reader
// is not in this build: weak definitions of the routines the map features window calls,
// keeping the table contract (the user's records merged into the index by a rebuild,
// the same (type, subtype, kind) updated in place). The reader's own definitions replace
// them as soon as its tables are linked; this file goes when they are.
#include <cstring>
#include <mutex>

#include "core/index.h"
#include "core/object.h"
#include "core/obj_list.h"
#include "formats/polish_map.h"
#include "map/repr.h"

namespace {

struct seam_tables {
  container_t* features = nullptr;  // the index (its own records)
  container_t* user = nullptr;      // the user's records
};
seam_tables g_seam;
std::recursive_mutex g_seam_mutex;

bool same_key(const feature_t* a, const feature_t* b) {
  return a->maintype == b->maintype && a->subtype == b->subtype && a->elttype == b->elttype;
}

feature_t* find_same(const container_t* index, const feature_t* f) {
  const int n = obj_list_count(index);
  for (int i = 0; i < n; ++i) {
    auto* e = static_cast<feature_t*>(index->elems[i]);
    if (e && same_key(e, f)) return e;
  }
  return nullptr;
}

bool same_text(const char* a, const char* b) { return std::strcmp(a ? a : "", b ? b : "") == 0; }

}  // namespace

__attribute__((weak)) std::recursive_mutex& mp_tables_mutex() { return g_seam_mutex; }

__attribute__((weak)) container_t* mp_features() {
  std::lock_guard<std::recursive_mutex> lock(g_seam_mutex);
  if (!g_seam.features) feature_index_create(&g_seam.features);
  return g_seam.features;
}

__attribute__((weak)) feature_t* mp_feature_find(int type, int subtype, int elttype, feature_t** out) {
  std::lock_guard<std::recursive_mutex> lock(g_seam_mutex);
  return feature_find_sub(mp_features(), type, subtype, elttype, out);
}

__attribute__((weak)) void mp_features_rebuild() {
  std::lock_guard<std::recursive_mutex> lock(g_seam_mutex);
  container_t* index = mp_features();
  const int n = obj_list_count(g_seam.user);
  for (int i = 0; i < n; ++i)
    if (auto* f = static_cast<feature_t*>(g_seam.user->elems[i])) repr_add_feature(index, f);
}

__attribute__((weak)) void mp_feature_record_change(const feature_t* feature) {
  if (!feature) return;
  std::lock_guard<std::recursive_mutex> lock(g_seam_mutex);
  feature_t* known = nullptr;
  mp_feature_find(feature->maintype, feature->subtype, feature->elttype, &known);
  if (known && same_text(known->mnemo, feature->mnemo) && same_text(known->name, feature->name)) return;
  if (!g_seam.user) feature_index_create(&g_seam.user);
  if (feature_t* mine = find_same(g_seam.user, feature)) {
    obj_copy(feature, mine);
    return;
  }
  repr_add_feature(g_seam.user, feature);
}
