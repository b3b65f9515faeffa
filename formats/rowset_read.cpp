// The ROWSET reader (see rowset.h): the vocabulary built from the class registry, the
// element routines and the read.
//
// Reading state: the engine context's user data is the reader state (list and current
// object), its scratch block the name of the attribute element last started.
#include "formats/rowset.h"

#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/dict.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "core/xml.h"
#include "map/gps_classes.h"

namespace {

enum rowset_element : int { ROWSET_NONE = 0, ROWSET_TYPE = 1, ROWSET_ATTRIBUTE = 2,
                            ROWSET_ROW = 3, ROWSET_ROOT = 4 };
constexpr int kRoutines = 5;
constexpr int kFirstClass = 1;
constexpr int kLastClass = 199;
constexpr int kBudgetStride = 4096;
constexpr double kBudgetMargin = 16.0 * 1024 * 1024;

// Classes whose objects hold system resources: line stores (25), file objects (27),
// memory copies of files (28), GPS ports (111), sockets (141).
constexpr int kRefusedClasses[] = {25, 27, 28, 111, 141};

// A reference (type 11) or list (type 12) attribute of a row, linked after the read.
struct pending_link {
  obj_t* holder;
  int offset;
  int type;
  uint32_t id;
};

struct rowset_reader {
  container_t* list = nullptr;
  obj_t* current = nullptr;
  int64_t made = 0;
  std::unordered_map<uint32_t, obj_t*> by_id;  // the rows' own ids, as written
  std::vector<pending_link> links;
};

rowset_reader* state(xml_parser_t* ctx) { return static_cast<rowset_reader*>(ctx->user); }

// ---- Vocabulary ------------------------------------------------------------------------

void add_word(container_t* dict, const char* name, int value) {
  int found = -1;
  dict_lookup(dict, name, -1, &found);
  if (found != -1) return;  // one entry per distinct name; the fixed names come first
  obj_t* obj = nullptr;
  alloc_obj(CLS_TAG, &obj);
  tag_t* tag = static_cast<tag_t*>(obj);
  if (!tag) return;
  char* owned = nullptr;
  str_set(name, &owned);
  tag->name = owned;
  tag->val = value;
  index_insert(dict, tag);
}

void add_class_attributes(container_t* dict, int cls) {
  const objdesc* desc = obj_class_descriptor(cls, nullptr);
  if (!desc || !desc->attrs) return;
  for (int i = 0; i < desc->count; ++i) {
    // Of the object header, only the id: the key references are linked by.
    if (i == 1 || (i == 0 && desc->attrs[0].type != AT_ID)) continue;
    const char* attr = desc->attrs[i].name;
    if (!attr || !*attr) continue;
    std::string upper(attr);
    for (char& ch : upper) ch = ascii_upper(ch);
    add_word(dict, upper.c_str(), ROWSET_ATTRIBUTE);
  }
}

container_t* build_dictionary() {
  container_t* dict = nullptr;
  dict_create(&dict);
  if (!dict) return nullptr;
  add_word(dict, "TYPE", ROWSET_TYPE);
  add_word(dict, "ROW", ROWSET_ROW);
  add_word(dict, "ROWSET", ROWSET_ROOT);
  for (int cls = kFirstClass; cls <= kLastClass; ++cls) add_class_attributes(dict, cls);
  return dict;
}

void free_dictionary(container_t** dict) {
  const int n = obj_list_count(*dict);
  for (int i = 0; i < n; ++i) {
    obj_t* tag = (*dict)->elems[i];
    free_obj(&tag);
  }
  free_obj(dict);
}

// ---- Rows ----------------------------------------------------------------------------------

// The reference and list attributes that their holder's free routine releases: only
// those are linked. Any other such field (a list's own sons, a folder's file, a
// waypoint's icon) merely points at what another owner frees; an object linked there
// would leave the content list and never be freed.
struct owned_field {
  int cls;
  const char* name;
};
constexpr owned_field kOwnedFields[] = {
    {CLS_GPSPOS, "navig"},   {CLS_GPSPOS, "dgps"},     {CLS_GPSPOS, "raw"},
    {CLS_GPSPOS, "idsats"},  {CLS_TRACKLOG, "sons"},   {CLS_ROUTE, "sons"},
    {CLS_LOIS, "sons"},      {CLS_NAVSEG, "sons"},     {CLS_TRACKSEG, "sons"},
};

bool holder_frees(int cls, const char* name) {
  for (const owned_field& f : kOwnedFields)
    if (f.cls == cls && str_compare_ci(f.name, name) == 0) return true;
  return false;
}

bool refused(int cls) {
  for (int c : kRefusedClasses)
    if (c == cls) return true;
  return false;
}

// The class of a name: a registered class of 1 to 199 with a descriptor, else 0.
int class_named(const char* name) {
  for (int cls = kFirstClass; cls <= kLastClass; ++cls) {
    if (!obj_class_descriptor(cls, nullptr)) continue;
    const char* n = obj_class_name(cls);
    if (n && std::strcmp(n, name) == 0) return cls;
  }
  return 0;
}

// "TYPE": a new object of the named class in the list becomes the current object. The
// object stays in the list whatever follows: the list alone frees it.
void on_type(xml_parser_t* ctx, const char* text) {
  if (!text) return;
  rowset_reader* st = state(ctx);
  st->current = nullptr;
  std::string name(text);  // the engine keeps one blank of a run: trailing ones go
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\n' ||
                           name.back() == '\r'))
    name.pop_back();
  const int cls = class_named(name.c_str());
  if (cls == 0 || refused(cls)) return;
  obj_t* o = nullptr;
  obj_new_in_list(st->list, cls, &o);
  if (!o || get_gblerr()) return;
  st->current = o;
  if (++st->made % kBudgetStride == 0 && compute_mem_budget() < kBudgetMargin)
    set_gblerr(ERR_MEMORY);
}

// "ROW", start and end: no current object.
void on_row(xml_parser_t* ctx, const char* text) {
  if (!text) state(ctx)->current = nullptr;
}

// An 8-bit string attribute holds UTF-8, whatever the document's encoding.
void set_string(xml_parser_t* ctx, char* field, const char* text) {
  if (ctx->encoding != XML_LOCAL) {
    attr_from_text(AT_STRING, field, text);
    return;
  }
  char16_t* wide = nullptr;
  char* utf8 = nullptr;
  mbs_to_wcs(text, &wide);
  attr_from_text(AT_STRING, field, wstr_to_utf8(wide, &utf8));
  free_mem(&wide);
  free_mem(&utf8);
}

// The number of an id, reference or list text: the two prefix characters skipped.
uint32_t id_of(const char* text) {
  const char* digits = text;
  for (int k = 0; k < 2 && *digits; ++k) ++digits;
  uint32_t id = 0;
  attr_from_text(AT_UINT, &id, digits);
  return id;
}

// The text of an attribute element, converted into the current object's attribute of
// that name (case ignored). An id is read after its two prefix characters. The row's
// own id (its class's first attribute) is the key the references of the file use: the
// object keeps the id the store gave it. References and lists are remembered and
// linked once every row is read.
void set_attribute(xml_parser_t* ctx, const char* text) {
  rowset_reader* st = state(ctx);
  obj_t* obj = st->current;
  if (!obj || !ctx->scratch || !ctx->scratch[0]) return;
  const int n = obj_class_attr_count(obj->cls);
  {
    int type = 0, off = 0;
    const char* name = nullptr;
    obj_attr_info(obj->cls, 0, &type, &off, &name);
    if (type == AT_ID && name && str_compare_ci(name, ctx->scratch) == 0) {
      const uint32_t id = id_of(text);
      if (id != 0) st->by_id[id] = obj;
      return;
    }
  }
  for (int i = 2; i < n; ++i) {
    int type = 0, off = 0;
    const char* name = nullptr;
    obj_attr_info(obj->cls, i, &type, &off, &name);
    if (!name || str_compare_ci(name, ctx->scratch) != 0) continue;
    if (off + attr_type_size(type) > obj_class_size(obj->cls)) return;
    char* field = reinterpret_cast<char*>(obj) + off;
    switch (type) {
      case AT_ID: {
        const char* digits = text;
        for (int k = 0; k < 2 && *digits; ++k) ++digits;
        attr_from_text(AT_ID, field, digits);
        break;
      }
      case AT_REF: case AT_LIST: {
        const uint32_t id = id_of(text);
        if (id != 0 && holder_frees(obj->cls, name)) st->links.push_back({obj, off, type, id});
        break;
      }
      case AT_FATHER: break;
      case AT_WSTRING: xml_text_to_wcs(ctx, text, reinterpret_cast<char16_t**>(field)); break;
      case AT_STRING: set_string(ctx, field, text); break;
      default: attr_from_text(type, field, text); break;
    }
    return;
  }
}

// An attribute element: its name is remembered at its start, its text converted.
void on_attribute(xml_parser_t* ctx, const char* text) {
  if (ctx->end_tag || !ctx->scratch) return;
  if (!text) {
    std::strncpy(ctx->scratch, ctx->text ? ctx->text : "", kXmlScratchSize - 1);
    ctx->scratch[kXmlScratchSize - 1] = '\0';
    return;
  }
  set_attribute(ctx, text);
}

// After the read: each reference and list is linked to the object of the read whose row
// gave that id; an id no row gave leaves the attribute empty. A list is only ever linked
// to a list (a container). Only the fields their holder frees are linked (kOwnedFields).
// The object that is linked to leaves the file's content list: the object referring to
// it holds it from then on, as those classes' free routines expect. So an object is linked to once at
// most, an object that holds another is never linked to, and one that is held holds
// nothing: whatever the file says, freeing the file frees every object once.
void link_references(rowset_reader& st) {
  std::unordered_set<obj_t*> held, holders;
  std::set<std::pair<obj_t*, int>> filled;  // a field named twice keeps its first link
  for (const pending_link& l : st.links) {
    auto it = st.by_id.find(l.id);
    if (it == st.by_id.end()) continue;
    obj_t* target = it->second;
    if (target == l.holder || held.count(target) || holders.count(target) ||
        held.count(l.holder) || filled.count({l.holder, l.offset}))
      continue;
    if (l.type == AT_LIST && target->cls != CLS_CONTAINER) continue;
    int at = obj_list_count(st.list) - 1;
    while (at >= 0 && st.list->elems[at] != target) --at;
    if (at < 0) continue;
    obj_list_remove_at(st.list, at);
    std::memcpy(reinterpret_cast<char*>(l.holder) + l.offset, &target, sizeof target);
    held.insert(target);
    holders.insert(l.holder);
    filled.insert({l.holder, l.offset});
  }
}

constexpr xml_element_handler kHandlers[kRoutines] = {nullptr, on_type, on_attribute, on_row,
                                                      nullptr};

}  // namespace

int read_rowset(obj_t* file, container_t* list) {
  if (!list) return 0;
  container_t* dict = build_dictionary();
  container_t* attributes = nullptr;
  dict_create(&attributes);
  rowset_reader st;
  st.list = list;
  xml_parser_t* ctx = nullptr;
  if (dict && attributes && get_gblerr() == 0)
    xml_parser_create(&st, dict, attributes, nullptr, 0, kRoutines, kHandlers, nullptr, &ctx);
  if (ctx) {
    alloc_mem_zero(&ctx->scratch, kXmlScratchSize);
    xml_read_file(file, ctx);
  }
  // The dictionaries go whatever stopped the read; the store frees nothing while an
  // error is pending, so the error waits meanwhile.
  const int error = get_gblerr();
  set_gblerr(0);
  link_references(st);
  xml_parser_free(&ctx);
  free_dictionary(&dict);
  free_obj(&attributes);
  if (error != 0) set_gblerr(error);
  return 0;
}
