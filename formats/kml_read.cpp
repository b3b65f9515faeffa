// The KML reader: the parse of one file, the routines run at the start and the end of
// the elements that make objects, folders and styles, the "id" and "encoding"
// attributes, and what a read gives the objects afterwards (georeference, icons, default
// styles).
//
// A routine acts only where its element stands in the right place: the "parent" it
// tests is the nearest enclosing element of the dictionary, elements outside it
// (MultiGeometry, ExtendedData, ...) being passed over.
#include <array>
#include <cstring>
#include <utility>

#include "core/error.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "formats/file_load.h"
#include "formats/kml_read_internal.h"
#include "geodesy/georef.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

// Objects made between two looks at the memory budget, and the room kept free.
constexpr int kBudgetStride = 4096;
constexpr double kBudgetMargin = 16.0 * 1024 * 1024;

using kml_start_fn = void (*)(xml_parser_t* ctx, int top);

void clear_feature(kml_reader* st) {
  free_mem(&st->name);
  free_mem(&st->description);
  st->time = date_rec{};
  st->draw_order = 0;
}

void start_document(xml_parser_t* ctx, int) {
  kml_state(ctx)->current = nullptr;
  kml_state(ctx)->request = nullptr;
}

// A folder of the file under the current one, showing a new list of its own; the
// list holds the content list's georeference, the folder owns the list.
void start_folder(xml_parser_t* ctx, int top) {
  const int parent = kml_parent_at(ctx, top);
  const int code = kml_code_at(ctx, parent);
  if (parent >= 0 && code != KML_DOCUMENT && code != KML_FOLDER) return;
  kml_reader* st = kml_state(ctx);
  if (!kml_folder(st)) return;  // no folder of a file to hang it under
  container_t* list = nullptr;
  obj_list_new(&list);
  if (!list) return;
  if (st->georef) obj_list_append(list, st->georef);
  folder_t* d = nullptr;
  folder_get_or_create(kml_folder(st), list, 0, &d);
  if (!d) {
    free_obj(&list);
    return;
  }
  folder_set_name(d, "folder");
  st->lists.push_back(list);
  st->folders.push_back(d);
  st->pushed[top] = true;
  kml_count_made(st);
}

void end_folder(xml_parser_t* ctx, int top) {
  kml_reader* st = kml_state(ctx);
  if (!st->pushed[top]) return;
  st->pushed[top] = false;
  if (st->lists.size() > 1) st->lists.pop_back();
  if (st->folders.size() > 1) st->folders.pop_back();
}

void start_feature(xml_parser_t* ctx, int) {
  kml_reader* st = kml_state(ctx);
  clear_feature(st);
  st->style = st->default_style;
  st->current = nullptr;
  st->request = nullptr;
  st->link_record = -1;
  st->refresh = 0;
}

void start_point(xml_parser_t* ctx, int top) {
  if (kml_parent_code(ctx, top) != KML_PLACEMARK) return;
  kml_reader* st = kml_state(ctx);
  obj_t* o = nullptr;
  gpsobj_new_point(CLS_POI, st->content, &o);
  auto* p = static_cast<poi_t*>(o);
  if (!p || get_gblerr()) return;
  const kml_style_t* s = st->style;
  if (st->name) wstr_set(st->name, &p->name);
  if (st->description) wstr_set(st->description, &p->comment);
  p->icosize = gps_iconsize_t{32, 32};
  p->colour = s->icon_colour;
  p->time = st->time;
  p->icoscale = s->scale;
  if (s->icon_request)
    st->icon_users.emplace_back(p, reinterpret_cast<kml_image_request*>(s->icon_request));
  kml_share(st, p);
  st->current = p;
  kml_count_made(st);
}

lois_t* new_line(kml_reader* st) {
  obj_t* o = nullptr;
  obj_new_in_list(st->content, CLS_LOIS, &o);
  auto* l = static_cast<lois_t*>(o);
  if (!l || get_gblerr()) return nullptr;
  const kml_style_t* s = st->style;
  if (st->name) wstr_set(st->name, &l->name);
  if (st->description) wstr_set(st->description, &l->comment);
  l->colour = s->line_colour;
  l->thickness = s->line_width;
  l->time = st->time;
  l->fillcolor = 0;
  l->fillmotif = 0;
  kml_share(st, l);
  st->current = l;
  kml_count_made(st);
  return l;
}

void start_linestring(xml_parser_t* ctx, int top) {
  if (kml_parent_code(ctx, top) != KML_PLACEMARK) return;
  new_line(kml_state(ctx));
}

// A ring of a polygon: "LinearRing" in "outerBoundaryIs" or "innerBoundaryIs" in
// "Polygon" in "Placemark"; the outer ring takes the polygon colour and fill.
void start_linearring(xml_parser_t* ctx, int top) {
  const int boundary = kml_parent_at(ctx, top);
  const int bcode = kml_code_at(ctx, boundary);
  if (bcode != KML_OUTER_BOUNDARY && bcode != KML_INNER_BOUNDARY) return;
  const int polygon = kml_parent_at(ctx, boundary);
  if (kml_code_at(ctx, polygon) != KML_POLYGON) return;
  if (kml_parent_code(ctx, polygon) != KML_PLACEMARK) return;
  kml_reader* st = kml_state(ctx);
  lois_t* l = new_line(st);
  if (!l || bcode != KML_OUTER_BOUNDARY) return;
  l->fillcolor = st->style->poly_colour;
  l->fillmotif = st->style->fill;
}

kml_style_t* own_style(kml_reader* st, const char* identifier) {
  kml_style_t* s = nullptr;
  kml_style_new(identifier, &s);
  if (!s) return nullptr;
  st->owned_styles.push_back(s);
  kml_count_made(st);
  return s;
}

// An anonymous style record is reused by the next "Style" (its values were copied into
// the objects made under it); one that got an identifier belongs to the dictionary.
void start_style(xml_parser_t* ctx, int) {
  kml_reader* st = kml_state(ctx);
  if (!st->scratch) st->scratch = own_style(st, nullptr);
  kml_style_t* s = st->scratch;
  if (!s) return;
  kml_style_reset(s);
  st->style = s;
}

void start_style_map(xml_parser_t* ctx, int) {
  kml_reader* st = kml_state(ctx);
  st->style_map = own_style(st, nullptr);
  st->map_normal = false;
}

void end_style_map(xml_parser_t* ctx, int) {
  kml_reader* st = kml_state(ctx);
  st->style_map = nullptr;
  st->map_normal = false;
}

constexpr kml_start_fn start_routine(int code) {
  switch (code) {
    case KML_DOCUMENT: return start_document;
    case KML_FOLDER: return start_folder;
    case KML_PLACEMARK:
    case KML_GROUND_OVERLAY:
    case KML_NETWORK_LINK: return start_feature;
    case KML_POINT: return start_point;
    case KML_LINESTRING: return start_linestring;
    case KML_LINEARRING: return start_linearring;
    case KML_STYLE: return start_style;
    case KML_STYLE_MAP: return start_style_map;
    default: return nullptr;
  }
}

constexpr kml_start_fn end_routine(int code) {
  switch (code) {
    case KML_FOLDER: return end_folder;
    case KML_STYLE_MAP: return end_style_map;
    default: return nullptr;
  }
}

void on_element(xml_parser_t* ctx, int code, const char* text) {
  const int top = kml_top(ctx);
  if (top < 0) return;
  if (!text) {
    if (ctx->end_tag) {
      if (kml_start_fn fn = end_routine(code)) fn(ctx, top);
      return;
    }
    kml_state(ctx)->pushed[top] = false;
    if (kml_start_fn fn = start_routine(code)) fn(ctx, top);
    return;
  }
  if (kml_text_routines[code]) kml_text_routines[code](ctx, top, text);
}

template <int Code> void element_entry(xml_parser_t* ctx, const char* text) {
  on_element(ctx, Code, text);
}

template <int... Codes>
constexpr auto make_element_table(std::integer_sequence<int, Codes...>) {
  return std::array<xml_element_handler, sizeof...(Codes)>{
      (Codes == 0 ? nullptr : element_entry<Codes>)...};
}
constexpr auto kElementHandlers =
    make_element_table(std::make_integer_sequence<int, kKmlElementRoutines>{});

// "id" on a "Style": the style's identifier, and it enters the dictionary; on a
// "StyleMap": the map's identifier (it enters the dictionary with its "normal" style).
void on_id(xml_parser_t* ctx, int element_id, const char* value) {
  if (!value) return;
  kml_reader* st = kml_state(ctx);
  if (element_id == KML_STYLE) {
    kml_style_t* s = st->style;
    if (!s || s == st->default_style) return;
    str_set(value, &s->identifier);
    st->styles[value] = s;
    if (s == st->scratch) st->scratch = nullptr;
  } else if (element_id == KML_STYLE_MAP && st->style_map) {
    str_set(value, &st->style_map->identifier);
  }
}

constexpr xml_attr_handler kAttributeHandlers[kKmlAttributeNames] = {nullptr, xml_set_encoding,
                                                                     on_id};

// What a successful read gives the objects: the points' symbol icons (a point with a
// style icon keeps it), then folder by folder the default label styles of the points
// and the styles of the lines.
void place_objects(kml_reader* st) {
  obj_t* file = st->file;
  gpsobj_attach_icons(st->content, CLS_POI);
  file_default_label_styles(file, CLS_POI, 0, 10000, 8000.0, 2000.0, 1);
  file_default_route_styles(file, CLS_LOIS, 1, 50.0);
}

// The list the file's folder shows: the objects outside any "Folder" (the content
// list owns every object of the read). A list left by an earlier load of the file
// (a reload keeps the folder) held objects that are gone: only the list is freed.
container_t* top_list(folder_t* top, container_t* content, georef_t* g) {
  container_t* shown = nullptr;
  obj_list_new(&shown);
  if (!shown) return content;
  if (g) obj_list_append(shown, g);
  container_t* stale = top->sot;
  if (stale && stale != content) free_obj(&stale);
  top->sot = shown;
  return shown;
}

// Per-thread count of the reads running one inside another (a linked file is read
// while its parent resolves its links) and of the linked files they loaded.
thread_local int t_read_depth = 0;
thread_local int t_link_loads = 0;

void release_files(kml_reader* st) {
  const int saved = get_gblerr();
  set_gblerr(0);
  for (fileatt_t* f : st->release) file_unload(f, 1);
  set_gblerr(saved);
}

void free_state(kml_reader* st) {
  clear_feature(st);
  for (kml_style_t* s : st->owned_styles) free_obj(&s);
  st->owned_styles.clear();
  st->styles.clear();
}

}  // namespace

void kml_count_made(kml_reader* st) {
  if (++st->made % kBudgetStride == 0 && compute_mem_budget() < kBudgetMargin)
    set_gblerr(ERR_MEMORY);
}

void kml_share(kml_reader* st, obj_t* obj) {
  container_t* list = kml_list(st);
  if (list != st->content) obj_list_append(list, obj);
}

bool kml_take_link_load() {
  if (t_link_loads >= kKmlMaxLinkLoads) return false;
  ++t_link_loads;
  return true;
}

int read_kml(obj_t* file, container_t* list) {
  if (!list) return set_gblerr(ERR_PARAMETERS);
  if (t_read_depth == 0) t_link_loads = 0;
  ++t_read_depth;
  kml_reader st;
  st.file = file;
  st.content = list;
  georef_t* g = nullptr;
  georef_create(list, &g);
  st.georef = g;
  folder_t* top = nullptr;
  if (file_of(file)) folder_get_or_create(file, list, 0, &top);
  st.folders.push_back(top);
  st.lists.push_back(top ? top_list(top, list, g) : list);
  st.default_style = own_style(&st, kKmlDefaultStyle);
  if (st.default_style) st.styles[kKmlDefaultStyle] = st.default_style;
  st.style = st.default_style;
  xml_parser_t* ctx = nullptr;
  if (st.default_style && get_gblerr() == 0)
    xml_parser_create(&st, kml_element_dict(), kml_attribute_dict(), nullptr, 0,
                      kKmlElementRoutines, kElementHandlers.data(), kAttributeHandlers, &ctx);
  if (ctx) {
    xml_read_file(file, ctx);
    xml_parser_free(&ctx);
  }
  int err = get_gblerr();
  if (err == 0) {
    kml_resolve_images(&st);
    kml_resolve_links(&st);
    err = get_gblerr();
  }
  if (err == 0 && top) place_objects(&st);
  release_files(&st);
  // The store frees nothing while an error is pending: the state goes first.
  err = get_gblerr();
  set_gblerr(0);
  free_state(&st);
  set_gblerr(err);
  --t_read_depth;
  return err;
}
