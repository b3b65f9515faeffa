// The KML reader's text routines: feature texts and times, coordinates, style values,
// image and link references, the ground overlay box and the refresh of linked files.
//
// Each routine acts only when its element's parent (the nearest enclosing element of
// the dictionary) is one its row names; the objects it changes are the current ones,
// checked by class.
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "formats/kml_read_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

int parent_of(const xml_parser_t* ctx, int top) { return kml_parent_code(ctx, top); }
bool is_feature(int code) { return code == KML_PLACEMARK || code == KML_GROUND_OVERLAY; }

poi_t* current_point(kml_reader* st) {
  return st->current && st->current->cls == CLS_POI ? static_cast<poi_t*>(st->current) : nullptr;
}
lois_t* current_line(kml_reader* st) {
  return st->current && st->current->cls == CLS_LOIS ? static_cast<lois_t*>(st->current)
                                                     : nullptr;
}

double number_of(const char* text) {
  double v = 0.0;
  parse_number(text, &v);
  return std::isfinite(v) ? v : 0.0;
}
// An integer value; a fraction is cut and the value kept within 32 bits.
int int_of(const char* text) {
  const double v = number_of(text);
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483647.0) return -2147483647;
  return int(v);
}

// ---- Feature texts ------------------------------------------------------------------

void on_name(xml_parser_t* ctx, int top, const char* text) {
  kml_reader* st = kml_state(ctx);
  const int parent = kml_parent_at(ctx, top);
  const int code = kml_code_at(ctx, parent);
  if (is_feature(code)) {
    xml_text_to_wcs(ctx, text, &st->name);
  } else if (code == KML_FOLDER && parent == top - 1 && st->pushed[parent]) {
    // Only a name written right inside the folder: the name of an element the reader
    // does not know (a ScreenOverlay) inside it is that element's, not the folder's.
    char16_t* wide = nullptr;
    xml_text_to_wcs(ctx, text, &wide);
    folder_t* d = kml_folder(st);
    if (d && wide) wstr_set(wide, &d->name);
    free_mem(&wide);
  }
}

void on_snippet(xml_parser_t* ctx, int top, const char* text) {
  if (!is_feature(parent_of(ctx, top))) return;
  xml_text_to_wcs(ctx, text, &kml_state(ctx)->description);
}

void on_description(xml_parser_t* ctx, int top, const char* text) {
  kml_reader* st = kml_state(ctx);
  if (!is_feature(parent_of(ctx, top)) || st->description) return;
  xml_text_to_wcs(ctx, text, &st->description);
}

void on_when(xml_parser_t* ctx, int top, const char* text) {
  const int code = parent_of(ctx, top);
  if (code != KML_TIME_STAMP) return;
  kml_reader* st = kml_state(ctx);
  date_rec rec{};
  parse_date_iso_rec(&rec, text);
  st->time = rec;
  if (poi_t* p = current_point(st)) p->time = rec;
  if (lois_t* l = current_line(st)) l->time = rec;
}

// ---- Coordinates ----------------------------------------------------------------------

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// One tuple "x,y" or "x,y,z" from [at, end): the values read (0 to 3) and where the
// tuple ends. Values that do not parse count as 0.
int read_tuple(const char* at, const char* end, double v[3], const char** next) {
  int n = 0;
  const char* p = at;
  while (p < end && !is_blank(*p)) {
    const char* stop = p;
    while (stop < end && *stop != ',' && !is_blank(*stop)) ++stop;
    if (n < 3) {
      double value = 0.0;
      const char* from = p;
      if (from < stop && *from == '+') ++from;
      auto r = std::from_chars(from, stop, value);
      v[n++] = r.ec == std::errc() && std::isfinite(value) ? value : 0.0;
    }
    p = stop;
    if (p < end && *p == ',') ++p;
  }
  *next = p;
  return n;
}

void point_coordinates(kml_reader* st, const char* text) {
  poi_t* p = current_point(st);
  if (!p) return;
  const char* at = text;
  const char* end = text + std::strlen(text);
  while (at < end && is_blank(*at)) ++at;
  double v[3] = {0, 0, 0};
  const int n = read_tuple(at, end, v, &at);
  if (n < 2) return;
  p->coords.x = v[0];
  p->coords.y = v[1];
  if (n >= 3) {
    p->coords.z = float(v[2]);
    p->altitude = float(v[2]);
  }
}

void line_coordinates(kml_reader* st, const char* text) {
  lois_t* l = current_line(st);
  if (!l) return;
  container_t* points = obj_create_sons_list(l, 0, 0, 0);
  if (!points) return;
  const char* at = text;
  const char* end = text + std::strlen(text);
  while (at < end && get_gblerr() == 0) {
    while (at < end && is_blank(*at)) ++at;
    if (at >= end) break;
    double v[3] = {0, 0, 0};
    const int n = read_tuple(at, end, v, &at);
    if (n < 2) continue;
    obj_t* o = nullptr;
    obj_new_in_list(st->content, CLS_LOIPOINT, &o);
    auto* q = static_cast<loipoint_t*>(o);
    if (!q || get_gblerr()) return;
    q->pere = l;
    q->coords = gps_point_t{v[0], v[1], n >= 3 ? float(v[2]) : 0.0f};
    q->altitude = n >= 3 ? float(v[2]) : 0.0f;
    obj_list_append(points, q);
    kml_count_made(st);
  }
}

void on_coordinates(xml_parser_t* ctx, int top, const char* text) {
  const int code = parent_of(ctx, top);
  kml_reader* st = kml_state(ctx);
  if (code == KML_LINESTRING || code == KML_LINEARRING) {
    line_coordinates(st, text);
  } else if (code == KML_POINT) {
    point_coordinates(st, text);
  }
}

// ---- Style values ---------------------------------------------------------------------

void set_point_colour(kml_reader* st, uint32_t c) {
  if (poi_t* p = current_point(st)) p->colour = c;
}

void on_color(xml_parser_t* ctx, int top, const char* text) {
  kml_reader* st = kml_state(ctx);
  kml_style_t* s = kml_edit_style(st);
  uint32_t c = 0;
  if (!s || !kml_parse_colour(text, &c)) return;  // a short colour keeps the old one
  switch (parent_of(ctx, top)) {
    case KML_ICON_STYLE:
      s->icon_colour = c;
      set_point_colour(st, c);
      break;
    case KML_LABEL_STYLE:
      s->label_colour = c;
      s->icon_colour = c;
      set_point_colour(st, c);
      break;
    case KML_LINE_STYLE:
      s->line_colour = c;
      if (lois_t* l = current_line(st)) l->colour = c;
      break;
    case KML_POLY_STYLE:
      s->poly_colour = c;
      if (lois_t* l = current_line(st)) l->colour = c;
      break;
    default: break;
  }
}

void on_label_color(xml_parser_t* ctx, int top, const char* text) {
  kml_reader* st = kml_state(ctx);
  uint32_t c = 0;
  if (parent_of(ctx, top) != KML_STYLE || !kml_parse_colour(text, &c)) return;
  kml_edit_style(st)->label_colour = c;
  kml_edit_style(st)->icon_colour = c;
  set_point_colour(st, c);
}

void on_geom_color(xml_parser_t* ctx, int top, const char* text) {
  kml_reader* st = kml_state(ctx);
  uint32_t c = 0;
  if (parent_of(ctx, top) != KML_STYLE || !kml_parse_colour(text, &c)) return;
  kml_edit_style(st)->line_colour = c;
  kml_edit_style(st)->icon_colour = c;
  kml_edit_style(st)->poly_colour = c;
  set_point_colour(st, c);
  if (lois_t* l = current_line(st)) {
    l->colour = c;
    l->fillcolor = c;
  }
}

void on_width(xml_parser_t* ctx, int top, const char* text) {
  const int code = parent_of(ctx, top);
  kml_reader* st = kml_state(ctx);
  if (code != KML_STYLE && code != KML_LINE_STYLE) return;
  const int w = int_of(text);
  kml_edit_style(st)->width = w;
  kml_edit_style(st)->line_width = w;
  if (lois_t* l = current_line(st)) l->thickness = w;
}

void on_fill(xml_parser_t* ctx, int top, const char*) {
  kml_reader* st = kml_state(ctx);
  if (parent_of(ctx, top) == KML_POLY_STYLE) kml_edit_style(st)->fill = 1;
}

void on_scale(xml_parser_t* ctx, int top, const char* text) {
  const int code = parent_of(ctx, top);
  kml_reader* st = kml_state(ctx);
  if ((code != KML_STYLE && code != KML_ICON_STYLE)) return;
  const double v = number_of(text);
  kml_edit_style(st)->scale = v;
  if (poi_t* p = current_point(st)) p->icoscale = v;
}

void on_key(xml_parser_t* ctx, int top, const char* text) {
  kml_reader* st = kml_state(ctx);
  if (parent_of(ctx, top) != KML_STYLE_MAP || !st->style_map) return;
  st->map_normal = std::strcmp(text, "normal") == 0;
}

kml_style_t* style_named(kml_reader* st, const char* text) {
  if (text[0] != '#') return nullptr;
  auto it = st->styles.find(text + 1);
  return it == st->styles.end() ? nullptr : it->second;
}

void on_style_url(xml_parser_t* ctx, int top, const char* text) {
  kml_reader* st = kml_state(ctx);
  const int code = parent_of(ctx, top);
  if (code == KML_PLACEMARK) {
    kml_style_t* s = style_named(st, text);
    st->style = s ? s : st->default_style;
  } else if (code == KML_STYLE_MAP && st->map_normal && st->style_map) {
    kml_style_copy_values(style_named(st, text), st->style_map);
    st->map_normal = false;
    if (st->style_map->identifier) st->styles[st->style_map->identifier] = st->style_map;
  }
}

// ---- Images and links -----------------------------------------------------------------

bool holds_image(int code) {
  return code == KML_GROUND_OVERLAY || code == KML_STYLE || code == KML_ICON_STYLE;
}

// A new image request of the element `owner` (GroundOverlay, Style or IconStyle).
void new_request(kml_reader* st, int owner, const char* text) {
  if (!*text) return;
  auto r = std::make_unique<kml_image_request>();
  r->ref = text;
  kml_image_request* req = r.get();
  st->requests.push_back(std::move(r));
  kml_count_made(st);
  if (owner == KML_GROUND_OVERLAY) {
    req->list = kml_list(st);
    req->draw_order = st->draw_order;
    st->request = req;
    st->current = nullptr;
  } else {
    req->style_icon = true;
    if (st->style && st->style != st->default_style)
      st->style->icon_request = reinterpret_cast<obj_t*>(req);
    st->request = req;
    st->current = nullptr;
  }
}

// Records beyond what one read may load are not kept.
void new_link(kml_reader* st, const char* text) {
  if (!*text || st->links.size() >= size_t(kKmlMaxLinkLoads)) return;
  const std::string path = kml_resolve_reference(st->file, text);
  if (path.empty()) return;
  fileatt_t* known = nullptr;
  file_find_by_name(path.c_str(), &known);
  if (known) return;
  kml_link_record rec;
  rec.list = kml_list(st);
  rec.folder = kml_folder(st);
  rec.ref = text;
  rec.refresh = st->refresh;
  st->link_record = int(st->links.size());
  st->links.push_back(rec);
  kml_count_made(st);
}

void on_href(xml_parser_t* ctx, int top, const char* text) {
  kml_reader* st = kml_state(ctx);
  const int parent = kml_parent_at(ctx, top);
  const int code = kml_code_at(ctx, parent);
  const int grand = kml_parent_code(ctx, parent);
  if (code == KML_ICON && holds_image(grand))
    new_request(st, grand, text);
  else if (code == KML_LINK && grand == KML_NETWORK_LINK)
    new_link(st, text);
}

void on_icon_ref(xml_parser_t* ctx, int top, const char* text) {
  const int code = parent_of(ctx, top);
  if (holds_image(code)) new_request(kml_state(ctx), code, text);
}

void on_box_side(xml_parser_t* ctx, int top, const char* text, int side) {
  kml_reader* st = kml_state(ctx);
  if (parent_of(ctx, top) != KML_LATLONBOX || !st->request) return;
  const double v = number_of(text);
  switch (side) {
    case KML_NORTH: st->request->north = v; break;
    case KML_SOUTH: st->request->south = v; break;
    case KML_EAST: st->request->east = v; break;
    default: st->request->west = v; break;
  }
}
void on_north(xml_parser_t* c, int t, const char* x) { on_box_side(c, t, x, KML_NORTH); }
void on_south(xml_parser_t* c, int t, const char* x) { on_box_side(c, t, x, KML_SOUTH); }
void on_east(xml_parser_t* c, int t, const char* x) { on_box_side(c, t, x, KML_EAST); }
void on_west(xml_parser_t* c, int t, const char* x) { on_box_side(c, t, x, KML_WEST); }

void on_rotation(xml_parser_t* ctx, int top, const char* text) {
  const int code = parent_of(ctx, top);
  kml_reader* st = kml_state(ctx);
  if ((code != KML_LATLONBOX && code != KML_GROUND_OVERLAY) || !st->request) return;
  double r = std::fmod(number_of(text), 360.0);
  if (r > 180.0) r -= 360.0;
  if (r <= -180.0) r += 360.0;
  st->request->rotation = r;
}

// The draw order of a ground overlay. It usually comes before the overlay's "Icon": it
// is kept for the feature and given to the request its "href" makes, or set on the
// request when that came first.
void on_draw_order(xml_parser_t* ctx, int top, const char* text) {
  kml_reader* st = kml_state(ctx);
  if (parent_of(ctx, top) != KML_GROUND_OVERLAY) return;
  st->draw_order = int_of(text);
  if (st->request && !st->request->style_icon) st->request->draw_order = st->draw_order;
}

// The refresh of the links: a record made by an "href" earlier in the same "Link"
// takes the value too, whichever order the link's elements come in.
void set_refresh(kml_reader* st, int value) {
  st->refresh = value;
  if (st->link_record >= 0 && size_t(st->link_record) < st->links.size())
    st->links[size_t(st->link_record)].refresh = value;
}

void on_refresh_interval(xml_parser_t* ctx, int top, const char* text) {
  if (parent_of(ctx, top) != KML_LINK) return;
  const int v = int_of(text);
  set_refresh(kml_state(ctx), v > 0 ? v : 0);
}

void on_refresh_mode(xml_parser_t* ctx, int top, const char* text) {
  if (parent_of(ctx, top) != KML_LINK) return;
  kml_reader* st = kml_state(ctx);
  if (std::strcmp(text, "onInterval") == 0)
    set_refresh(st, st->refresh ? st->refresh : 4);
  else
    set_refresh(st, 0);
}

void on_visibility(xml_parser_t* ctx, int top, const char* text) {
  kml_reader* st = kml_state(ctx);
  const int parent = kml_parent_at(ctx, top);
  // Right inside the folder only, as its name (an unknown element's own flag is not the
  // folder's).
  if (kml_code_at(ctx, parent) != KML_FOLDER || parent != top - 1 || !st->pushed[parent]) return;
  if (folder_t* d = kml_folder(st)) d->displayed = int_of(text) != 0 ? 1 : 0;
}

constexpr kml_text_fn text_routine(int code) {
  switch (code) {
    case KML_COLOR: return on_color;
    case KML_SNIPPET: return on_snippet;
    case KML_COORDINATES: return on_coordinates;
    case KML_DESCRIPTION: return on_description;
    case KML_EAST: return on_east;
    case KML_WIDTH: return on_width;
    case KML_FILL: return on_fill;
    case KML_HREF: return on_href;
    case KML_DRAW_ORDER: return on_draw_order;
    case KML_NAME: return on_name;
    case KML_NORTH: return on_north;
    case KML_ROTATION: return on_rotation;
    case KML_SOUTH: return on_south;
    case KML_STYLE_URL: return on_style_url;
    case KML_LABEL_COLOR: return on_label_color;
    case KML_WEST: return on_west;
    case KML_GEOM_COLOR: return on_geom_color;
    case KML_WHEN: return on_when;
    case KML_ICON_REF: return on_icon_ref;
    case KML_KEY: return on_key;
    case KML_REFRESH_MODE: return on_refresh_mode;
    case KML_REFRESH_INTERVAL: return on_refresh_interval;
    case KML_SCALE: return on_scale;
    case KML_VISIBILITY: return on_visibility;
    default: return nullptr;
  }
}

template <int... Codes>
constexpr std::array<kml_text_fn, sizeof...(Codes)> make_text_table(
    std::integer_sequence<int, Codes...>) {
  return {text_routine(Codes)...};
}
constexpr auto kTextTable = make_text_table(std::make_integer_sequence<int, kKmlElementRoutines>{});

}  // namespace

const kml_text_fn kml_text_routines[kKmlElementRoutines] = {
#define R(i) kTextTable[i]
    R(0),  R(1),  R(2),  R(3),  R(4),  R(5),  R(6),  R(7),  R(8),  R(9),  R(10),
    R(11), R(12), R(13), R(14), R(15), R(16), R(17), R(18), R(19), R(20), R(21),
    R(22), R(23), R(24), R(25), R(26), R(27), R(28), R(29), R(30), R(31), R(32),
    R(33), R(34), R(35), R(36), R(37), R(38), R(39), R(40), R(41), R(42), R(43),
    R(44), R(45), R(46), R(47), R(48), R(49), R(50), R(51), R(52)
#undef R
};
