// GeoNames XML search results: the vocabulary, the element handlers that turn each
// "geoname" record into a point of interest, and the reader that runs them over a file.
//
// The handlers keep in the context's scratch block the point made by the "geoname"
// element being read and that element's depth, so that the values of a record land in
// the point that record made and nowhere else: a "geoname" that made no point leaves
// nothing to write into, and the point is forgotten when its element closes.
#include "formats/geonames.h"

#include <iterator>

#include "core/command_hooks.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/strutil.h"
#include "core/xml.h"
#include "geodesy/georef.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

enum geonames_element : int {
  GN_GEONAMES = 1, GN_GEONAME = 2, GN_NAME = 3, GN_LNG = 4, GN_LAT = 5, GN_ELEVATION = 6,
  GN_POPULATION = 7, GN_COUNTRY_CODE = 8, GN_FCODE = 9, GN_COUNTRY_NAME = 10,
  GN_DISTANCE = 11, GN_POSTALCODE = 12, GN_TOTAL = 13, GN_HANDLERS = 14
};

tag_t g_element_table[] = {
    make_tag("geonames", GN_GEONAMES),       make_tag("geoname", GN_GEONAME),
    make_tag("name", GN_NAME),               make_tag("lng", GN_LNG),
    make_tag("lat", GN_LAT),                 make_tag("elevation", GN_ELEVATION),
    make_tag("population", GN_POPULATION),   make_tag("countryCode", GN_COUNTRY_CODE),
    make_tag("fcode", GN_FCODE),             make_tag("countryName", GN_COUNTRY_NAME),
    make_tag("distance", GN_DISTANCE),       make_tag("postalcode", GN_POSTALCODE),
    make_tag("totalResultsCount", GN_TOTAL),
};
tag_t g_attr_table[] = {make_tag("xmlns", 1)};

container_t* g_elements = nullptr;
container_t* g_attributes = nullptr;

// Default point styles of the points read: symbol size, label size, design scale.
constexpr int kGeonamesSymbolSize = 8;
constexpr int kGeonamesLabelSize = 14;
constexpr double kGeonamesStyleScale = 400.0;

struct read_state {
  poi_t* point;   // made by the open "geoname" element, null when none
  int32_t depth;  // stacked depth of that element
};

read_state* state_of(xml_parser_t* ctx) { return reinterpret_cast<read_state*>(ctx->scratch); }

int stacked_depth(const xml_parser_t* ctx) {
  return ctx->depth < kXmlMaxDepth ? ctx->depth : kXmlMaxDepth;
}

// The element that holds the element on top of the stack (0 at the root).
int parent_element(const xml_parser_t* ctx) {
  const int n = stacked_depth(ctx);
  return n >= 2 ? ctx->stack[n - 2] : 0;
}

// The point the values of the element on top may be written into: the one made by
// the enclosing "geoname" record, only when the element sits right inside it.
poi_t* record_point(xml_parser_t* ctx, const char* text) {
  if (!text || parent_element(ctx) != GN_GEONAME) return nullptr;
  read_state* st = state_of(ctx);
  if (!st->point || st->depth != stacked_depth(ctx) - 1) return nullptr;
  return st->point;
}

void on_geoname(xml_parser_t* ctx, const char* text) {
  if (text) return;
  read_state* st = state_of(ctx);
  const int depth = stacked_depth(ctx);
  if (ctx->end_tag) {
    if (st->point && st->depth == depth) st->point = nullptr;
    return;
  }
  if (parent_element(ctx) != GN_GEONAMES || get_gblerr() != 0) return;
  core_progress_file_position("GeoNames");
  auto* folder = static_cast<folder_t*>(ctx->user);
  obj_t* point = nullptr;
  gpsobj_new_point(CLS_POI, folder->sot, &point);
  if (!point) return;
  st->point = static_cast<poi_t*>(point);
  st->depth = depth;
}

// A wide text of the record's point from the element's UTF-8 (or declared) text; the
// label then shows the name.
void set_point_text(xml_parser_t* ctx, char16_t** field, const char* text) {
  xml_text_to_wcs(ctx, text, field);
  state_of(ctx)->point->display = 0;
}

void on_name(xml_parser_t* ctx, const char* text) {
  if (!text || parent_element(ctx) != GN_GEONAME) return;
  poi_t* p = record_point(ctx, text);
  if (!p) {
    set_gblerr(ERR_BAD_FILE);  // a name with no point of interest to carry it
    return;
  }
  set_point_text(ctx, &p->name, text);
}

void on_population(xml_parser_t* ctx, const char* text) {
  if (poi_t* p = record_point(ctx, text)) set_point_text(ctx, &p->comment, text);
}

void on_lng(xml_parser_t* ctx, const char* text) {
  if (poi_t* p = record_point(ctx, text)) parse_number(text, &p->coords.x);
}

void on_lat(xml_parser_t* ctx, const char* text) {
  if (poi_t* p = record_point(ctx, text)) parse_number(text, &p->coords.y);
}

void on_elevation(xml_parser_t* ctx, const char* text) {
  poi_t* p = record_point(ctx, text);
  if (!p) return;
  float value = 0.0f;
  parse_float(text, &value);
  p->altitude = value;
  p->coords.z = value;
}

const xml_element_handler kElementHandlers[GN_HANDLERS] = {
    nullptr,  nullptr, on_geoname,   on_name, on_lng,  on_lat,  on_elevation,
    on_population, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

// A record the file ends inside lacks what its closing part would have given (a
// position, most often): its point is dropped rather than shown at a wrong place.
void drop_unfinished_point(xml_parser_t* ctx, folder_t* folder) {
  read_state* st = state_of(ctx);
  if (!st || !st->point || get_gblerr() != 0) return;
  for (int i = obj_list_count(folder->sot) - 1; i >= 0; --i) {
    obj_t* o = nullptr;
    obj_list_get(folder->sot, i, &o);
    if (o != st->point) continue;
    obj_list_remove_at(folder->sot, i);
    free_obj(&o);
    break;
  }
  st->point = nullptr;
}

}  // namespace

void geonames_register_vocab() {
  dict_rebuild_pair(int(std::size(g_element_table)), g_element_table, int(std::size(g_attr_table)),
                    g_attr_table, &g_elements, &g_attributes);
}

int read_geonames_xml(obj_t* file, folder_t* folder) {
  if (!file || !folder || !folder->sot) return set_gblerr(ERR_PARAMETERS);
  if (!g_elements) geonames_register_vocab();
  xml_parser_t* ctx = xml_parser_create(folder, g_elements, g_attributes, nullptr, 0, GN_HANDLERS,
                                        kElementHandlers, nullptr, nullptr);
  if (!ctx || get_gblerr() != 0) {
    xml_parser_free(&ctx);
    return get_gblerr();
  }
  alloc_mem_zero(&ctx->scratch, sizeof(read_state));
  georef_create(folder->sot, nullptr);
  if (get_gblerr() == 0) xml_read_file(file, ctx);
  drop_unfinished_point(ctx, folder);
  xml_parser_free(&ctx);
  if (get_gblerr() != 0) return get_gblerr();
  file_default_point_styles(file, CLS_POI, kGeonamesSymbolSize, kGeonamesLabelSize, kGeonamesStyleScale);
  return get_gblerr();
}
