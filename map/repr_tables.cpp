// The tables of the representation rules: the representations loaded from
// "representation.xml", the mnemonic index, the user's scheme "prepressch", the feature
// description hooks of the source formats, and the feature index helpers.
//
// The mnemonic index holds copies: rebuilding it frees its elements and copies the
// loaded list and then the scheme into it, so that the user's values win over the file's
// and nobody outside ever holds a pointer into the loaded list through the index.
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/objxml.h"
#include "core/paths.h"
#include "core/tracelog.h"
#include "map/file_object.h"
#include "map/repr.h"
#include "map/repr_lists.h"
#include "map/saved_tables.h"

namespace {

struct repr_tables {
  container_t* loaded = nullptr;   // the named list of "representation.xml"
  container_t* index = nullptr;    // mnemonic index (copies)
  container_t* scheme = nullptr;   // "prepressch"
  fileatt_t* scheme_file = nullptr;
  std::string scheme_path;
  repr_describe_fn describe[kReprDescribeSlots] = {};
};

repr_tables g_tables;

std::recursive_mutex g_mutex;

constexpr int kMnemoOffset = int(offsetof(representation_t, mnemo));
constexpr int kMaintypeOffset = int(offsetof(feature_t, maintype));

container_t* new_mnemo_index(const char* name) {
  container_t* idx = nullptr;
  index_create(CLS_REPRESENTATION, AT_STRING, kMnemoOffset, &idx);
  if (idx && name) str_set(name, &idx->name);
  return idx;
}

// Frees an index or list together with its elements (and what lists among them hold).
void free_with_elements(container_t** list) { repr_free_list_deep(list); }

// Frees the elements of an index and empties it.
void clear_elements(container_t* list) {
  if (!list) return;
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) {
    obj_t* o = list->elems[i];
    free_obj(&o);
  }
  obj_list_set_count(list, 0);
}

// Any error pending while a table is freed would keep free_obj from freeing.
struct error_pause {
  int pending = get_gblerr();
  error_pause() { set_gblerr(0); }
  ~error_pause() { set_gblerr(pending); }
};

bool same_values(const representation_t* a, const representation_t* b) {
  return a->thickmeter == b->thickmeter && a->thickpixel == b->thickpixel &&
         a->motiforsymb == b->motiforsymb && a->filloricon == b->filloricon &&
         a->fontsz == b->fontsz && a->feattype == b->feattype && a->colour == b->colour;
}

void log_failure() {
  log_write_separator();
  log_line(is_french() ? "Impossible de charger les representations "
                       : "Unable to load representations");
}

void rebuild_locked() {
  if (!g_tables.index) return;
  error_pause pause;
  clear_elements(g_tables.index);
  for (container_t* src : {g_tables.loaded, g_tables.scheme}) {
    const int n = obj_list_count(src);
    for (int i = 0; i < n; ++i) {
      const obj_t* o = src->elems[i];
      if (!o || o->cls != CLS_REPRESENTATION) continue;
      if (!static_cast<const representation_t*>(o)->mnemo) continue;
      obj_t* copy = nullptr;
      index_put_copy(o, g_tables.index, &copy);
    }
  }
}

// The entries of an integer-keyed feature index whose key is `key`, from the first.
template <class Match>
feature_t* find_in_index(const container_t* index, int key, Match match, feature_t** out) {
  if (out) *out = nullptr;
  if (!index || index->key_type == 0) return nullptr;
  int pos = index_find_pos(index, &key);
  if (pos < 0) return nullptr;
  const int n = obj_list_count(index);
  for (; pos < n; ++pos) {
    obj_t* o = index->elems[pos];
    if (!o) continue;
    const void* k = nullptr;
    index_key_of(index, o, &k);
    if (!k || std::memcmp(k, &key, sizeof key) != 0) break;
    if (o->cls != CLS_FEATURE) continue;
    auto* f = static_cast<feature_t*>(o);
    if (match(f)) {
      if (out) *out = f;
      return f;
    }
  }
  return nullptr;
}

// A file's tree links and list references are dropped from what the read keeps or frees:
// the tables never carry them, and a list reference naming another list of the file (or
// the list itself, or a list loaded before) would make the free routine of its holder free
// that list a second time.
void drop_links(obj_t* o) {
  if (o->cls == CLS_CONTAINER) {
    auto* c = reinterpret_cast<container_t*>(o);
    c->father = nullptr;
    c->sons = nullptr;
    c->source = nullptr;
    return;
  }
  char* rec = reinterpret_cast<char*>(o);
  const int n = obj_class_attr_count(o->cls);
  for (int i = 2; i < n; ++i) {
    int type = 0, off = 0;
    const char* name = nullptr;
    obj_attr_info(o->cls, i, &type, &off, &name);
    if (type != AT_LIST && type != AT_FATHER) continue;
    if (off < 0 || off + attr_type_size(type) > obj_class_size(o->cls)) continue;
    field_store<void*>(rec, off, nullptr);
  }
}

// Whether `list` holds itself, directly or through the lists among its elements.
bool holds_itself(const container_t* list) {
  std::unordered_set<const obj_t*> seen;
  std::vector<const container_t*> todo{list};
  while (!todo.empty()) {
    const container_t* c = todo.back();
    todo.pop_back();
    for (int i = 0; i < obj_list_count(c); ++i) {
      const obj_t* e = c->elems[i];
      if (!e || e->cls != CLS_CONTAINER) continue;
      if (e == list) return true;
      if (seen.insert(e).second) todo.push_back(reinterpret_cast<const container_t*>(e));
    }
  }
  return false;
}

// The kept list holds only objects of this read (ids above `first_new`): an id of the file
// that names an object loaded before resolves to it, and freeing the list with its
// elements would free what its owner still holds.
void keep_own_elements(container_t* kept, int first_new) {
  int n = 0;
  for (int i = 0; i < obj_list_count(kept); ++i) {
    obj_t* e = kept->elems[i];
    if (e && e->id > first_new) kept->elems[n++] = e;
  }
  kept->count = n;
}

// The lists a file holds beside the one asked for go, with what only they hold: what the
// kept list reaches (its elements, and the elements of the lists among them, at any
// depth) stays, and so do objects loaded before this read.
void drop_other_lists(std::vector<container_t*>& others, const container_t* kept,
                      int first_new) {
  std::unordered_set<const obj_t*> reached;
  std::vector<const container_t*> todo;
  if (kept) {
    reached.insert(kept);
    todo.push_back(kept);
  }
  while (!todo.empty()) {
    const container_t* c = todo.back();
    todo.pop_back();
    for (int i = 0; i < obj_list_count(c); ++i) {
      const obj_t* e = c->elems[i];
      if (!e || !reached.insert(e).second) continue;
      if (e->cls == CLS_CONTAINER) todo.push_back(reinterpret_cast<const container_t*>(e));
    }
  }
  for (const obj_t* o : reached)
    if (o->id > first_new) drop_links(const_cast<obj_t*>(o));
  std::vector<container_t*> doomed;
  for (container_t* c : others)
    if (!reached.count(c)) doomed.push_back(c);
  std::unordered_set<const obj_t*> keep(doomed.begin(), doomed.end());
  keep.insert(reached.begin(), reached.end());
  for (container_t* c : doomed) {
    c->elem_class = 0;
    c->key_type = 0;
    c->key_offset = 0;
    c->source = nullptr;
    int n = 0;
    for (int i = 0; i < obj_list_count(c); ++i) {
      obj_t* e = c->elems[i];
      if (e && e->id > first_new && !keep.count(e)) {
        drop_links(e);
        c->elems[n++] = e;
      }
    }
    c->count = n;
    drop_links(c);
  }
  if (!doomed.empty()) obj_lists_free_type(doomed.data(), int(doomed.size()), 0);
  for (container_t* c : doomed) free_obj(&c);
}

}  // namespace

std::recursive_mutex& repr_tables_mutex() { return g_mutex; }

void repr_free_list_deep(container_t** list) {
  if (!list || !*list || get_gblerr() != 0) return;
  std::unordered_set<const obj_t*> seen{*list};
  std::vector<obj_t*> reached;
  std::vector<const container_t*> todo{*list};
  while (!todo.empty()) {
    const container_t* c = todo.back();
    todo.pop_back();
    for (int i = 0; i < obj_list_count(c); ++i) {
      obj_t* e = c->elems[i];
      if (!e || !seen.insert(e).second) continue;
      reached.push_back(e);
      if (e->cls == CLS_CONTAINER) todo.push_back(reinterpret_cast<const container_t*>(e));
    }
  }
  // A list's free routine never reads its elements: the order does not matter.
  for (obj_t* o : reached) free_obj(&o);
  obj_list_clear(*list);
  free_obj(list);
}

char* repr_data_path(const char* file_name, char** owner) {
  // The system folder first, then the program folder (where the build puts the data).
  str_set(get_system_dir(), owner);
  str_cat(file_name, owner);
  if (!file_exists(owner_get(owner))) {
    str_set(get_program_dir(), owner);
    str_cat(file_name, owner);
  }
  return owner_get(owner);
}

int repr_load_named_list(const char* path, const char* list_name, container_t** out) {
  if (out) *out = nullptr;
  if (!path || !*path || !list_name) return 2;
  error_pause pause;
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, path, 0, 0, &f);
  if (!f || !file_exists(path)) {
    set_gblerr(0);
    if (f && !f->in_table) free_obj(&f);
    return 2;
  }
  const int first_new = obj_max_id();
  read_obj_xml(f);
  int err = get_gblerr();
  set_gblerr(0);
  // The loaded lists are in the class list of containers (ordinary lists are not); the
  // one of this read has a new id and the name asked for.
  container_t* found = nullptr;
  std::vector<container_t*> others;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_CONTAINER, &cursor)) {
    auto* c = reinterpret_cast<container_t*>(cursor);
    if (c->id <= first_new) continue;
    if (c->name && std::strcmp(c->name, list_name) == 0 && !found)
      found = c;
    else
      others.push_back(c);
  }
  // A list that holds itself would be freed twice with its elements: the file is refused.
  if (found && holds_itself(found)) {
    others.push_back(found);
    found = nullptr;
    if (!err) err = ERR_BAD_FILE;
  }
  if (found) keep_own_elements(found, first_new);
  drop_other_lists(others, found, first_new);
  if (!f->in_table) free_obj(&f);
  if (!found && !err) err = 3;
  if (err) return err;
  // A list read from a file is plain: its key fields are not read from the file.
  found->elem_class = 0;
  found->key_type = 0;
  found->key_offset = 0;
  found->source = nullptr;
  if (out) *out = found;
  return 0;
}

namespace {

// Loads the representations of `path`; the user's scheme is kept in `scheme_folder`.
int load_tables(const char* path, const std::string& scheme_folder) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  repr_tables_free();
  error_pause pause;
  g_tables.index = new_mnemo_index(nullptr);
  g_tables.scheme = new_mnemo_index(kReprSchemeName);
  g_tables.scheme_path = scheme_folder + kReprSchemeName + ".sot";
  set_gblerr(0);
  savfile_read(g_tables.scheme_path.c_str(), g_tables.scheme, &g_tables.scheme_file);
  set_gblerr(0);
  const int r = repr_load_named_list(path, kReprListName, &g_tables.loaded);
  if (r != 0) log_failure();
  rebuild_locked();
  return r;
}

}  // namespace

int repr_load() {
  repr_register_classes();
  char* path = nullptr;
  repr_data_path(kReprFileName, &path);
  // The user's own representations live with the user's settings.
  const int r = load_tables(path, get_user_app_dir());
  free_mem(&path);
  return r;
}

int repr_load_from(const char* path) {
  char* folder = nullptr;
  path_folder(path ? path : "", &folder);
  const std::string scheme_folder = folder ? folder : "";
  free_mem(&folder);
  return load_tables(path, scheme_folder);
}

void repr_tables_free() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  error_pause pause;
  free_with_elements(&g_tables.loaded);
  free_with_elements(&g_tables.index);
  free_with_elements(&g_tables.scheme);
  if (g_tables.scheme_file && !g_tables.scheme_file->in_table) free_obj(&g_tables.scheme_file);
  g_tables.scheme_file = nullptr;
  g_tables.scheme_path.clear();
}

container_t* repr_loaded_list() { return g_tables.loaded; }
container_t* repr_mnemo_index() { return g_tables.index; }
container_t* repr_scheme() { return g_tables.scheme; }
const char* repr_scheme_path() { return g_tables.scheme_path.c_str(); }

representation_t* repr_find_mnemo(const char* mnemo, representation_t** out, int* position) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  representation_t* found = nullptr;
  int pos = -1;
  if (mnemo && g_tables.index && index_find_exact(g_tables.index, mnemo, &pos) == 1)
    found = static_cast<representation_t*>(g_tables.index->elems[pos]);
  else
    pos = -1;
  if (out) *out = found;
  if (position) *position = pos;
  return found;
}

representation_t* repr_find_by_mnemo(const feature_t* feature, representation_t** out,
                                     int* position) {
  return repr_find_mnemo(feature ? feature->mnemo : nullptr, out, position);
}

feature_t* feature_find_main(const container_t* index, int key, int maintype, int elttype,
                             feature_t** out) {
  return find_in_index(
      index, key, [&](const feature_t* f) { return f->maintype == maintype && f->elttype == elttype; },
      out);
}

feature_t* feature_find_sub(const container_t* index, int key, int subtype, int elttype,
                            feature_t** out) {
  return find_in_index(
      index, key, [&](const feature_t* f) { return f->subtype == subtype && f->elttype == elttype; },
      out);
}

container_t* feature_index_create(container_t** out) {
  return index_create(CLS_FEATURE, AT_INT, kMaintypeOffset, out);
}

feature_t* repr_add_feature(container_t* index, const feature_t* feature) {
  if (!index || !feature) return nullptr;
  feature_t* entry = nullptr;
  find_in_index(
      index, feature->maintype,
      [&](const feature_t* f) {
        return f->subtype == feature->subtype && f->elttype == feature->elttype;
      },
      &entry);
  if (!entry) {
    obj_t* fresh = nullptr;
    index_add_copy(feature, index, &fresh);
    return static_cast<feature_t*>(fresh);
  }
  if (entry != feature) obj_copy(feature, entry);
  return entry;
}

int repr_add_representation(const representation_t* r) {
  if (!r || !r->mnemo) return 0;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (!g_tables.scheme) g_tables.scheme = new_mnemo_index(kReprSchemeName);
  if (!g_tables.index) g_tables.index = new_mnemo_index(nullptr);
  representation_t* known = nullptr;
  repr_find_mnemo(r->mnemo, &known, nullptr);
  if (known && same_values(known, r)) return 0;
  error_pause pause;
  obj_t* entry = nullptr;
  index_get(g_tables.scheme, r->mnemo, &entry);
  int inserted = 0;
  if (entry) {
    if (entry != r) obj_copy(r, entry);
  } else {
    index_add_copy(r, g_tables.scheme, &entry);
    inserted = entry ? 1 : 0;
  }
  rebuild_locked();
  if (g_tables.scheme_file) savfile_queue(g_tables.scheme, g_tables.scheme_file);
  return inserted;
}

void repr_rebuild_index() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  rebuild_locked();
}

void repr_set_describe_hook(int slot, repr_describe_fn fn) {
  if (slot < 0 || slot >= kReprDescribeSlots) return;
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  g_tables.describe[slot] = fn;
}

char* repr_header_text(const obj_t* object, char** out) {
  str_set("FORMAT\nMAIN TYPE\nSUBTYPE\nELEMENT TYPE\n", out);
  const char* mnemo = nullptr;
  if (object && object->cls == CLS_REPRESENTATION)
    mnemo = static_cast<const representation_t*>(object)->mnemo;
  else if (object && object->cls == CLS_FEATURE)
    mnemo = static_cast<const feature_t*>(object)->mnemo;
  if (!mnemo) return owner_get(out);
  repr_describe_fn hooks[kReprDescribeSlots];
  {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    for (int i = 0; i < kReprDescribeSlots; ++i) hooks[i] = g_tables.describe[i];
  }
  // The mnemonic is copied: a hook may lead to a rebuild of the table it came from.
  std::string m = mnemo;
  for (repr_describe_fn fn : hooks)
    if (fn) fn(m.c_str(), out);
  return owner_get(out);
}
