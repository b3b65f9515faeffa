// The native object file reader: vocabulary, element and attribute handlers, and the
// read itself (see objxml.h).
//
// Reading state: the engine context's user data is the result list (objects whose
// "type" matched their element, in document order), its caller word the object being
// filled, and its scratch block the name of the last "F" element met. An object is in
// the result list exactly when it is the list's last element, since only the object
// being filled is ever appended; any other object that stops being filled is released.
//
// Every identifier is read after its two prefix characters, never past the end of a
// short text; IDS and COORDS write only into an attribute of their own type.
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/objxml.h"
#include "core/strutil.h"
#include "core/wstring.h"

namespace {

constexpr int kFirstClass = 1;
constexpr int kLastClass = 199;
constexpr int kClsFile = 27;
constexpr int kIdAttr = 1;
constexpr int kTypeAttr = 2;

// ---- Handler tables ----------------------------------------------------------------------

constexpr auto make_element_handlers() {
  struct table {
    xml_element_handler slots[kObjxmlHandlers + 1];
  } t{};
  for (int i = kFirstClass; i <= kLastClass; ++i) t.slots[i] = objxml_start_element;
  t.slots[kObjxmlAttributeElement] = objxml_attribute;
  t.slots[kObjxmlIds] = objxml_ids;
  t.slots[kObjxmlCoords] = objxml_coords;
  return t;
}

void attr_nothing(xml_parser_t*, int, const char*) {}

constexpr auto kElementHandlers = make_element_handlers();
const xml_attr_handler kAttrHandlers[3] = {attr_nothing, objxml_id_attr, objxml_type_attr};

// ---- Vocabulary ------------------------------------------------------------------------

void add_word(container_t* dict, const char* name, int value) {
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

void add_class_words(container_t* dict, int cls) {
  const objdesc* desc = obj_class_descriptor(cls, nullptr);
  if (!desc || desc->count < 1 || !desc->attrs) return;
  if (const char* name = obj_class_name(cls); name && *name) add_word(dict, name, cls);
  for (int i = 2; i < desc->count; ++i) {
    const char* attr = desc->attrs[i].name;
    if (!attr || !*attr) continue;
    const std::string word = std::string("F") + attr;
    int found = 0;
    dict_lookup(dict, word.c_str(), 0, &found);
    if (found != kObjxmlAttributeElement) add_word(dict, word.c_str(), kObjxmlAttributeElement);
  }
}

void free_dict(container_t** dict) {
  const int n = obj_list_count(*dict);
  for (int i = 0; i < n; ++i) {
    obj_t* tag = (*dict)->elems[i];
    free_obj(&tag);
  }
  free_obj(dict);
}

// ---- Small readers -----------------------------------------------------------------------

// The text after an identifier's two prefix characters (fewer when the text is shorter).
const char* after_prefix(const char* text, int n = 2) {
  for (int i = 0; i < n && *text; ++i) ++text;
  return text;
}

container_t* result_of(const xml_parser_t* ctx) { return static_cast<container_t*>(ctx->user); }

void set_current(xml_parser_t* ctx, obj_t* obj) { ctx->caller_data = obj; }

bool in_result(const xml_parser_t* ctx, const obj_t* obj) {
  obj_t* last = nullptr;
  obj_list_last(result_of(ctx), &last);
  return obj && last == obj;
}

// Stops filling the current object; it is released unless it is in the result list.
void end_current(xml_parser_t* ctx) {
  obj_t* cur = objxml_current(ctx);
  set_current(ctx, nullptr);
  if (cur && !in_result(ctx, cur)) objxml_discard(&cur);
}

// The attribute of the current object's class named by the scratch block ("F" + name).
struct attr_place {
  int type = 0;
  char* field = nullptr;
};

bool find_attribute(const xml_parser_t* ctx, attr_place* out) {
  obj_t* obj = objxml_current(ctx);
  if (!obj || !ctx->scratch || ctx->scratch[0] == '\0') return false;
  const char* wanted = ctx->scratch + 1;
  const int n = obj_class_attr_count(obj->cls);
  for (int i = 2; i < n; ++i) {
    int type = 0, off = 0;
    const char* name = nullptr;
    obj_attr_info(obj->cls, i, &type, &off, &name);
    if (!name || std::strcmp(name, wanted) != 0) continue;
    if (off + attr_type_size(type) > obj_class_size(obj->cls)) return false;
    out->type = type;
    out->field = reinterpret_cast<char*>(obj) + off;
    return true;
  }
  return false;
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

void set_attribute(xml_parser_t* ctx, const attr_place& at, const char* text) {
  switch (at.type) {
    case AT_ID: case AT_REF: case AT_LIST:
      attr_from_text(at.type, at.field, after_prefix(text));
      break;
    case AT_WSTRING:
      xml_text_to_wcs(ctx, text, reinterpret_cast<char16_t**>(at.field));
      break;
    case AT_STRING:
      set_string(ctx, at.field, text);
      break;
    default:
      attr_from_text(at.type, at.field, text);
      break;
  }
}

// Appends an id to an object array (count, capacity in bytes, element array); the
// entry holds the id until relinking turns it into a pointer.
void push_id(char* field, uint32_t id) {
  int32_t count;
  uint32_t capacity;
  obj_t** elems;
  std::memcpy(&count, field, 4);
  std::memcpy(&capacity, field + 4, 4);
  std::memcpy(&elems, field + 8, sizeof elems);
  if (count < 0 || !elems) count = 0;
  if (!elems) capacity = 0;
  if (uint64_t(count + 1) * kListSlot > capacity) {
    const int32_t want = count < 4 ? 8 : count * 2;
    capacity = list_capacity_for(want);
    realloc_mem(&elems, capacity);
  }
  elems[count++] = reinterpret_cast<obj_t*>(uintptr_t(id));
  std::memcpy(field, &count, 4);
  std::memcpy(field + 4, &capacity, 4);
  std::memcpy(field + 8, &elems, sizeof elems);
}

// One coordinate: '.' is its decimal point, so that ',' always separates (the
// system's number parser would take "3,4" for 3.4). Returns the separator after it.
const char* read_coordinate(const char* p, double* out) {
  char number[64];
  size_t n = 0;
  const char* q = p;
  for (; *q && (is_ascii_digit(*q) || *q == '.' || *q == '+' || *q == '-' || *q == 'e'); ++q)
    if (n + 1 < sizeof number) number[n++] = *q;
  number[n] = '\0';
  parse_number(number, out);
  return q;
}

// ---- The read ------------------------------------------------------------------------------

// The file object's list of loaded objects is its list attribute "sot", when its class
// has one.
void attach_files(obj_t* file, const container_t* loaded) {
  if (!file || obj_list_count_of_class(loaded, kClsFile) == 0) return;
  const int n = obj_class_attr_count(file->cls);
  for (int i = 2; i < n; ++i) {
    int type = 0, off = 0;
    const char* name = nullptr;
    obj_attr_info(file->cls, i, &type, &off, &name);
    if (type != AT_LIST || !name || std::strcmp(name, "sot") != 0) continue;
    if (off + attr_type_size(type) > obj_class_size(file->cls)) return;
    char* rec = reinterpret_cast<char*>(file);
    container_t* sot = field_load<container_t*>(rec, off);
    if (!sot) {
      obj_list_new(&sot);
      field_store(rec, off, sot);
    }
    obj_list_add_to_id_list(loaded, kClsFile, sot);
    return;
  }
}

// The loaded objects of the result list in increasing id order, as a plain list.
container_t* sort_by_id(container_t* result) {
  container_t* sorted = nullptr;
  index_create_over(result, 0, AT_ID, 0, &sorted);
  sorted->source = nullptr;
  sorted->elem_class = 0;
  sorted->key_type = 0;
  sorted->key_offset = 0;
  return sorted;
}

// The first object takes a fresh id + 2 and the others keep their distance to it, so
// that every loaded id lies above the ids in use; the generator goes on above the last.
// An object whose new id would not fit is not loaded.
void renumber_and_relink(container_t* sorted) {
  const int64_t fresh = obj_new_id();
  const int64_t offset = fresh + 2 - sorted->elems[0]->id;
  while (obj_list_count(sorted) > 0 &&
         sorted->elems[sorted->count - 1]->id + offset > INT32_MAX - 2) {
    obj_t* last = sorted->elems[sorted->count - 1];
    obj_list_remove_at(sorted, sorted->count - 1);
    objxml_discard(&last);
  }
  if (obj_list_count(sorted) == 0) return;
  obj_set_max_id(int(sorted->elems[sorted->count - 1]->id + offset + 2));
  objxml_relink(sorted, offset);
}

// Each object joins its class list; one whose id is already there (ids repeated in the
// file) takes a fresh id, so that no loaded object is left unreachable.
void enter_class_lists(const container_t* sorted) {
  for (int i = 0; i < obj_list_count(sorted); ++i) obj_enter_class_list(sorted->elems[i]);
}

// Steps after the parse. Nothing loaded: there is no first object to number from.
void finish_read(container_t* result, obj_t* file) {
  if (obj_list_count(result) == 0) {
    free_obj(&result);
    return;
  }
  container_t* sorted = sort_by_id(result);
  free_obj(&result);
  renumber_and_relink(sorted);
  enter_class_lists(sorted);
  attach_files(file, sorted);
  free_obj(&sorted);
}

}  // namespace

obj_t* objxml_current(const xml_parser_t* ctx) { return static_cast<obj_t*>(ctx->caller_data); }

int objxml_build_dicts(container_t** out_elements, container_t** out_attributes,
                       const xml_element_handler** out_element_handlers,
                       const xml_attr_handler** out_attr_handlers) {
  if (out_elements) {
    dict_create(out_elements);
    for (int cls = kFirstClass; cls <= kLastClass; ++cls) add_class_words(*out_elements, cls);
    add_word(*out_elements, "IDS", kObjxmlIds);
    add_word(*out_elements, "COORDS", kObjxmlCoords);
  }
  if (out_attributes) {
    dict_create(out_attributes);
    add_word(*out_attributes, "id", kIdAttr);
    add_word(*out_attributes, "type", kTypeAttr);
  }
  if (out_element_handlers) *out_element_handlers = kElementHandlers.slots;
  if (out_attr_handlers) *out_attr_handlers = kAttrHandlers;
  return get_gblerr();
}

void objxml_free_dicts(container_t** elements, container_t** attributes) {
  if (elements) free_dict(elements);
  if (attributes) free_dict(attributes);
}

void objxml_start_element(xml_parser_t* ctx, const char* text) {
  end_current(ctx);
  if (text || ctx->end_tag) return;  // character data or an end only end the object
  const int cls = xml_top_element(ctx);
  const char* name = obj_class_name(cls);
  if (!obj_class_descriptor(cls, nullptr) || !name || std::strcmp(name, ctx->text) != 0) return;
  obj_t* obj = nullptr;
  alloc_obj(cls, &obj);
  set_current(ctx, obj);
}

void objxml_id_attr(xml_parser_t* ctx, int element_id, const char* value) {
  obj_t* cur = objxml_current(ctx);
  if (!value || !cur || element_id != cur->cls) return;
  uint32_t id = 0;
  parse_uint(after_prefix(value), &id);
  cur->id = id <= uint32_t(INT32_MAX) ? int32_t(id) : 0;
}

void objxml_type_attr(xml_parser_t* ctx, int element_id, const char* value) {
  obj_t* cur = objxml_current(ctx);
  if (!value || !cur || element_id != cur->cls) return;
  int32_t type = 0;
  parse_int(value, &type);
  if (type == cur->cls) {
    if (!in_result(ctx, cur)) obj_list_append(result_of(ctx), cur);
    return;
  }
  // A type of another class discards the object, also when an earlier "type" had
  // entered it in the result list.
  if (in_result(ctx, cur)) obj_list_remove_at(result_of(ctx), obj_list_count(result_of(ctx)) - 1);
  end_current(ctx);
}

void objxml_attribute(xml_parser_t* ctx, const char* text) {
  if (ctx->end_tag || !ctx->scratch) return;
  if (!text) {
    std::strncpy(ctx->scratch, ctx->text, kXmlScratchSize - 1);
    ctx->scratch[kXmlScratchSize - 1] = '\0';
    return;
  }
  attr_place at;
  if (find_attribute(ctx, &at)) set_attribute(ctx, at, text);
}

void objxml_ids(xml_parser_t* ctx, const char* text) {
  attr_place at;
  if (!text || !find_attribute(ctx, &at) || at.type != AT_OBJARRAY) return;
  const char* p = after_prefix(text);
  for (;;) {
    uint32_t id = 0;
    p = parse_uint(p, &id);
    push_id(at.field, id);
    if (*p == '\0') return;
    p = after_prefix(p, 3);  // the separator and the next prefix
  }
}

void objxml_coords(xml_parser_t* ctx, const char* text) {
  attr_place at;
  if (!text || !find_attribute(ctx, &at) || at.type != AT_COORDS) return;
  coord_list coords;
  std::memcpy(&coords, at.field, sizeof coords);
  const char* p = text;
  while (*p) {
    double x = 0, y = 0;
    const char* q = read_coordinate(p, &x);
    if (*q == '\0') break;  // a number without its pair
    q = read_coordinate(q + 1, &y);
    coords_add(&coords, x, y);
    if (*q == '\0') break;
    p = q + 1;
  }
  std::memcpy(at.field, &coords, sizeof coords);
}

int read_obj_xml(obj_t* file) {
  container_t* result = nullptr;
  obj_list_new(&result);
  container_t* elements = nullptr;
  container_t* attributes = nullptr;
  const xml_element_handler* element_handlers = nullptr;
  const xml_attr_handler* attr_handlers = nullptr;
  objxml_build_dicts(&elements, &attributes, &element_handlers, &attr_handlers);
  xml_parser_t* ctx = xml_parser_create(result, elements, attributes, nullptr, 0,
                                        kObjxmlHandlers, element_handlers, attr_handlers,
                                        nullptr);
  alloc_mem_zero(&ctx->scratch, kXmlScratchSize);
  xml_read_file(file, ctx);
  // The steps after the parse run over what was loaded, whatever stopped the parse;
  // the store frees nothing while an error is pending, so the error waits meanwhile.
  const int error = get_gblerr();
  set_gblerr(0);
  end_current(ctx);
  xml_parser_free(&ctx);
  finish_read(result, file);
  objxml_free_dicts(&elements, &attributes);
  if (error != 0) set_gblerr(error);
  return 0;
}
