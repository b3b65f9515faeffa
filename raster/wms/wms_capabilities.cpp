// Capabilities documents (WMS 1.0, 1.1 and 1.3) read through the core XML engine into a
// service object and its tree of layers.
//
// The reader keeps its state in the context's scratch block: the service being filled,
// the layer each stacked "Layer" element made (by stack position, so that an end tag
// that closes several elements at once cannot leave a stale layer current), and the
// BoundingBox being read. A BoundingBox's attributes may come in any order: bounds read
// before its CRS wait until the CRS names the entry they belong to. Boxes are stored
// with x east and y north; a 1.3.0 document writes EPSG geographic systems latitude
// first, and such boxes are turned round as they are read.
//
// Namespace prefixes are dropped by the engine, so "xlink:href" arrives as "href": both
// names carry the GetMap address.
#include <cstring>
#include <iterator>

#include "core/dict.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "core/xml.h"
#include "raster/image_load.h"
#include "raster/wms/wms_internal.h"

namespace {

enum wms_element : int {
  E_DECLARATION = 1, E_ROOT = 2, E_SERVICE = 3, E_NAME = 4, E_TITLE = 5, E_LAYER_LIMIT = 6, E_MAX_WIDTH = 7,
  E_MAX_HEIGHT = 8, E_CAPABILITY = 9, E_REQUEST = 10, E_GETMAP = 11, E_FORMAT = 12,
  E_ONLINE_RESOURCE = 13, E_GET = 14, E_LAYER = 15, E_SRS = 16, E_CRS = 17, E_GEO_BOX = 18,
  E_BOUNDING_BOX = 19, E_DIMENSION = 20, E_MIN_SCALE = 21, E_MAX_SCALE = 22, E_WEST = 23,
  E_EAST = 24, E_SOUTH = 25, E_NORTH = 26, E_FEES = 27, E_ACCESS = 28, E_EXCEPTION = 29,
  E_HANDLERS = 30
};

enum wms_attribute : int {
  A_XMLNS = 0, A_ENCODING = 1, A_VERSION = 2, A_NO_SUBSETS = 3, A_CRS = 4, A_FIXED_WIDTH = 5,
  A_FIXED_HEIGHT = 6, A_HREF = 7, A_ONLINE_RESOURCE = 8, A_MINX = 9, A_MAXX = 10,
  A_MINY = 11, A_MAXY = 12, A_RESX = 13, A_RESY = 14, A_HANDLERS = 15
};

tag_t g_element_table[] = {
    make_tag("xml", E_DECLARATION),  // the declaration, whose "encoding" applies
    make_tag("WMT_MS_Capabilities", E_ROOT), make_tag("WMS_Capabilities", E_ROOT),
    make_tag("Service", E_SERVICE),          make_tag("Name", E_NAME),
    make_tag("Title", E_TITLE),              make_tag("LayerLimit", E_LAYER_LIMIT),
    make_tag("MaxWidth", E_MAX_WIDTH),       make_tag("MaxHeight", E_MAX_HEIGHT),
    make_tag("Capability", E_CAPABILITY),    make_tag("Request", E_REQUEST),
    make_tag("GetMap", E_GETMAP),            make_tag("Map", E_GETMAP),
    make_tag("Format", E_FORMAT),            make_tag("OnlineResource", E_ONLINE_RESOURCE),
    make_tag("Get", E_GET),                  make_tag("Layer", E_LAYER),
    make_tag("SRS", E_SRS),                  make_tag("CRS", E_CRS),
    make_tag("LatLonBoundingBox", E_GEO_BOX), make_tag("EX_GeographicBoundingBox", E_GEO_BOX),
    make_tag("BoundingBox", E_BOUNDING_BOX), make_tag("Dimension", E_DIMENSION),
    make_tag("MinScaleDenominator", E_MIN_SCALE), make_tag("MaxScaleDenominator", E_MAX_SCALE),
    make_tag("westBoundLongitude", E_WEST),  make_tag("eastBoundLongitude", E_EAST),
    make_tag("southBoundLatitude", E_SOUTH), make_tag("northBoundLatitude", E_NORTH),
    make_tag("Fees", E_FEES),                make_tag("AccessConstraints", E_ACCESS),
    make_tag("Exception", E_EXCEPTION),
};
tag_t g_attr_table[] = {
    make_tag("xmlns", A_XMLNS),         make_tag("encoding", A_ENCODING),
    make_tag("version", A_VERSION),     make_tag("noSubsets", A_NO_SUBSETS),
    make_tag("CRS", A_CRS),             make_tag("SRS", A_CRS),
    make_tag("fixedWidth", A_FIXED_WIDTH), make_tag("fixedHeight", A_FIXED_HEIGHT),
    make_tag("xlink:href", A_HREF),     make_tag("href", A_HREF),
    make_tag("onlineResource", A_ONLINE_RESOURCE),
    make_tag("minx", A_MINX),           make_tag("maxx", A_MAXX),
    make_tag("miny", A_MINY),           make_tag("maxy", A_MAXY),
    make_tag("resx", A_RESX),           make_tag("resy", A_RESY),
};

container_t* g_elements = nullptr;
container_t* g_attributes = nullptr;

// The BoundingBox being read.
struct pending_box {
  int32_t open;        // 1 between its start tag and the next element event
  int32_t depth;       // its stack position
  char code[64];       // its CRS, "" until read
  int32_t have[4];     // minx, maxx, miny, maxy read
  double value[4];
};

struct read_state {
  container_t* list;
  wms_service_t* service;         // the service being filled, null outside one
  wms_layer_t* layers[kXmlMaxDepth];  // the layer made by the element at each position
  int32_t geo_box_depth;          // stack position of the open geographic box, -1 none
  pending_box box;
  int32_t services_made;
};

read_state* state_of(xml_parser_t* ctx) { return reinterpret_cast<read_state*>(ctx->scratch); }

int stacked(const xml_parser_t* ctx) { return ctx->depth < kXmlMaxDepth ? ctx->depth : kXmlMaxDepth; }

// The element directly enclosing the element on top (0 when none).
int parent_element(const xml_parser_t* ctx) {
  const int n = stacked(ctx);
  return n >= 2 ? ctx->stack[n - 2] : 0;
}

bool inside(const xml_parser_t* ctx, int id) {
  for (int k = stacked(ctx) - 1; k >= 0; --k)
    if (ctx->stack[k] == id) return true;
  return false;
}

// The layer of the nearest enclosing "Layer" element at or below position `from`.
wms_layer_t* layer_below(xml_parser_t* ctx, int from) {
  read_state* st = state_of(ctx);
  for (int k = from; k >= 0; --k)
    if (ctx->stack[k] == E_LAYER) return st->layers[k];
  return nullptr;
}

// The layer whose direct child element is on top.
wms_layer_t* current_layer(xml_parser_t* ctx) {
  const int n = stacked(ctx);
  if (n < 2 || ctx->stack[n - 2] != E_LAYER) return nullptr;
  return state_of(ctx)->layers[n - 2];
}

char* text_utf8(xml_parser_t* ctx, const char* text, char** owner) {
  char16_t* wide = nullptr;
  xml_text_to_wcs(ctx, text, &wide);
  wstr_to_utf8(wide, owner);
  free_mem(&wide);
  return owner_get(owner);
}

void set_wide(xml_parser_t* ctx, const char* text, char16_t** owner) {
  free_mem(owner);
  xml_text_to_wcs(ctx, text, owner);
}

int to_int(const char* text) {
  int32_t v = 0;
  while (text && is_ascii_space(*text)) ++text;
  parse_int(text, &v);
  return v;
}

double to_double(const char* text) {
  double v = 0;
  while (text && is_ascii_space(*text)) ++text;
  parse_number(text, &v);
  return v;
}

// ---- The BoundingBox ----------------------------------------------------------------------

// Writes the bounds read so far into the layer's entry of the box's system.
void apply_box(xml_parser_t* ctx) {
  read_state* st = state_of(ctx);
  pending_box& b = st->box;
  if (!b.open || !b.code[0]) return;
  wms_layer_t* layer = layer_below(ctx, b.depth - 1);
  if (!layer || b.depth < 1 || ctx->stack[b.depth - 1] != E_LAYER) return;
  wms_crs_t* e = wms_layer_crs_by_code(layer, b.code);
  if (!e) return;
  const char* version = st->service ? st->service->version : nullptr;
  const bool swap = wms_axis_latitude_first(version, b.code, e->georef) != 0;
  // minx, maxx, miny, maxy as written; latitude-first systems write y in "x".
  extent_t box = e->has_box ? wms_get_extent(&e->box) : extent_t{0, 0, 0, 0, 0};
  double* targets[4] = {&box.xmin, &box.xmax, &box.ymin, &box.ymax};
  if (swap) {
    targets[0] = &box.ymin;
    targets[1] = &box.ymax;
    targets[2] = &box.xmin;
    targets[3] = &box.xmax;
  }
  for (int i = 0; i < 4; ++i)
    if (b.have[i]) *targets[i] = b.value[i];
  wms_put_extent(&e->box, box);
  e->has_box = 1;
}

void close_box(read_state* st) { std::memset(&st->box, 0, sizeof st->box); }

// ---- Element routines ------------------------------------------------------------------------

void on_root(xml_parser_t* ctx, const char* text) {
  if (text || ctx->end_tag) return;
  read_state* st = state_of(ctx);
  if (ctx->depth < 1) return;
  // A document type declaration of the same name opens an element that never closes:
  // the root inside it fills the service that the declaration made.
  const int n = stacked(ctx);
  for (int k = 0; k < n - 1; ++k)
    if (ctx->stack[k] == E_ROOT && st->service) return;
  st->service = wms_service_new(st->list);
  if (st->service) ++st->services_made;
}

void on_name(xml_parser_t* ctx, const char* text) {
  if (!text) return;
  read_state* st = state_of(ctx);
  const int parent = parent_element(ctx);
  if (parent == E_SERVICE && st->service) {
    if (!str_find_ci(text, "wms")) set_gblerr(ERR_UNKNOWN_FORMAT);
  } else if (parent == E_LAYER) {
    if (wms_layer_t* layer = current_layer(ctx)) {
      free_mem(&layer->name);
      text_utf8(ctx, text, &layer->name);
    }
  }
}

void on_title(xml_parser_t* ctx, const char* text) {
  if (!text) return;
  read_state* st = state_of(ctx);
  const int parent = parent_element(ctx);
  if (parent == E_SERVICE && st->service) set_wide(ctx, text, &st->service->title);
  else if (parent == E_LAYER)
    if (wms_layer_t* layer = current_layer(ctx)) set_wide(ctx, text, &layer->title);
}

void on_service_number(xml_parser_t* ctx, const char* text) {
  read_state* st = state_of(ctx);
  if (!text || !st->service || parent_element(ctx) != E_SERVICE) return;
  const int v = to_int(text);
  switch (xml_top_element(ctx)) {
    case E_LAYER_LIMIT: st->service->layer_limit = v; break;
    case E_MAX_WIDTH: st->service->max_width = v; break;
    case E_MAX_HEIGHT: st->service->max_height = v; break;
    default: break;
  }
}

void on_format(xml_parser_t* ctx, const char* text) {
  read_state* st = state_of(ctx);
  if (!text || !st->service || parent_element(ctx) != E_GETMAP) return;
  struct format_word { const char* word; int code; };
  static constexpr format_word kWords[] = {
      {"png", kDecoderPng}, {"jpeg", kDecoderJpeg}, {"tiff", kDecoderTiff},
      {"gif", kDecoderGif}, {"bmp", kDecoderBmp},   {"ppm", 8}};
  wms_service_t* s = st->service;
  for (const format_word& w : kWords) {
    if (!str_find_ci(text, w.word)) continue;
    int32_t* formats = owner_get(&s->formats);
    realloc_mem(&formats, sizeof(int32_t) * size_t(s->format_count + 1));
    formats[s->format_count++] = w.code;
    owner_put(&s->formats, formats);
  }
}

void on_layer(xml_parser_t* ctx, const char* text) {
  if (text || ctx->end_tag) return;
  read_state* st = state_of(ctx);
  const int n = stacked(ctx);
  if (n < 1 || n > kXmlMaxDepth) return;
  st->layers[n - 1] = nullptr;
  const int parent = parent_element(ctx);
  if (!st->service || (parent != E_CAPABILITY && parent != E_LAYER)) return;
  wms_layer_t* father = parent == E_LAYER ? st->layers[n - 2] : nullptr;
  if (parent == E_LAYER && !father) return;  // inside a layer that was not made
  wms_layer_t* layer =
      wms_layer_new(st->service, father ? static_cast<obj_t*>(father) : st->service);
  if (!layer) return;
  wms_layer_inherit(layer, father);
  st->layers[n - 1] = layer;
}

void on_crs(xml_parser_t* ctx, const char* text) {
  if (!text) return;
  wms_layer_t* layer = current_layer(ctx);
  if (!layer) return;
  // 1.1 documents may list several systems in one element, separated by blanks.
  const char* p = text;
  while (*p) {
    while (is_ascii_space(*p)) ++p;
    const char* start = p;
    while (*p && !is_ascii_space(*p)) ++p;
    const size_t len = size_t(p - start);
    if (len == 0 || len >= 64) continue;
    char code[64];
    std::memcpy(code, start, len);
    code[len] = 0;
    if (wms_layer_crs_by_code(layer, code)) continue;  // inherited already
    georef_t* g = nullptr;
    if (wms_crs_lookup(code, nullptr, &g)) wms_layer_add_crs(layer, code, g);
  }
}

void on_geo_box(xml_parser_t* ctx, const char* text) {
  if (text) return;
  read_state* st = state_of(ctx);
  const int n = stacked(ctx);
  if (ctx->end_tag) {
    st->geo_box_depth = -1;
    return;
  }
  st->geo_box_depth = -1;
  if (parent_element(ctx) != E_LAYER) return;
  if (wms_layer_t* layer = current_layer(ctx)) {
    st->geo_box_depth = n - 1;
    // A box of its own replaces the inherited one.
    layer->has_geo_box = 1;
    wms_put_extent(&layer->geo_box, extent_t{0, 0, 0, 0, 0});
  }
}

// The layer whose geographic box element is open and directly encloses the top element.
wms_layer_t* geo_box_layer(xml_parser_t* ctx) {
  read_state* st = state_of(ctx);
  const int n = stacked(ctx);
  if (st->geo_box_depth < 1 || n < 2 || st->geo_box_depth != n - 2) return nullptr;
  if (ctx->stack[n - 2] != E_GEO_BOX) return nullptr;
  return layer_below(ctx, n - 3);
}

void on_geo_bound(xml_parser_t* ctx, const char* text) {
  if (!text) return;
  wms_layer_t* layer = geo_box_layer(ctx);
  if (!layer) return;
  const double v = to_double(text);
  switch (xml_top_element(ctx)) {
    case E_WEST: layer->geo_box.xmin = v; break;
    case E_EAST: layer->geo_box.xmax = v; break;
    case E_SOUTH: layer->geo_box.ymin = v; break;
    case E_NORTH: layer->geo_box.ymax = v; break;
    default: break;
  }
}

void on_bounding_box(xml_parser_t* ctx, const char* text) {
  if (text) return;
  read_state* st = state_of(ctx);
  close_box(st);
  if (ctx->end_tag) return;
  st->geo_box_depth = -1;
  const int n = stacked(ctx);
  if (n >= 2 && ctx->stack[n - 2] == E_LAYER) {
    st->box.open = 1;
    st->box.depth = n - 1;
  }
}

const xml_element_handler kElementHandlers[E_HANDLERS] = {
    nullptr,           nullptr,           on_root,         nullptr,          on_name,
    on_title,          on_service_number, on_service_number, on_service_number, nullptr,
    nullptr,           nullptr,           on_format,       nullptr,          nullptr,
    on_layer,          on_crs,            on_crs,          on_geo_box,       on_bounding_box,
    nullptr,           nullptr,           nullptr,         on_geo_bound,     on_geo_bound,
    on_geo_bound,      on_geo_bound,      nullptr,         nullptr,          nullptr};

// ---- Attribute routines ------------------------------------------------------------------------

void on_version(xml_parser_t* ctx, int element_id, const char* value) {
  read_state* st = state_of(ctx);
  if (!value || element_id != E_ROOT || !st->service) return;
  free_mem(&st->service->version);
  str_set(value, &st->service->version);
}

void on_layer_attr(xml_parser_t* ctx, int element_id, const char* value) {
  if (!value || element_id != E_LAYER) return;
  const int n = stacked(ctx);
  wms_layer_t* layer = n >= 1 ? state_of(ctx)->layers[n - 1] : nullptr;
  if (!layer) return;
  const int v = to_int(value);
  switch (ctx->attr_id) {
    case A_NO_SUBSETS: layer->no_subsets = v; break;
    case A_FIXED_WIDTH: layer->fixed_width = v; break;
    case A_FIXED_HEIGHT: layer->fixed_height = v; break;
    default: break;
  }
}

// The address of a GetMap request: inside "GetMap" (or "Map"), on "Get" or inside it.
void on_address(xml_parser_t* ctx, int element_id, const char* value) {
  read_state* st = state_of(ctx);
  if (!value || !st->service || !inside(ctx, E_GETMAP)) return;
  if (element_id != E_GET && !inside(ctx, E_GET)) return;
  if (st->service->getmap_url) return;  // the first Get address is the one used
  while (is_ascii_space(*value)) ++value;
  if (!*value) return;
  str_set(value, &st->service->getmap_url);
}

void on_box_crs(xml_parser_t* ctx, int element_id, const char* value) {
  read_state* st = state_of(ctx);
  if (!value || element_id != E_BOUNDING_BOX || !st->box.open) return;
  const size_t len = std::strlen(value);
  if (len >= sizeof st->box.code) return;
  std::memcpy(st->box.code, value, len + 1);
  apply_box(ctx);
}

void on_bound(xml_parser_t* ctx, int element_id, const char* value) {
  if (!value) return;
  read_state* st = state_of(ctx);
  const int i = ctx->attr_id - A_MINX;  // 0 minx, 1 maxx, 2 miny, 3 maxy
  if (i < 0 || i > 3) return;
  const double v = to_double(value);
  if (element_id == E_BOUNDING_BOX) {
    if (!st->box.open) return;
    st->box.have[i] = 1;
    st->box.value[i] = v;
    apply_box(ctx);
  } else if (element_id == E_GEO_BOX) {
    const int n = stacked(ctx);
    if (st->geo_box_depth != n - 1) return;
    wms_layer_t* layer = layer_below(ctx, n - 2);
    if (!layer) return;
    extent_t box = wms_get_extent(&layer->geo_box);
    double* targets[4] = {&box.xmin, &box.xmax, &box.ymin, &box.ymax};
    *targets[i] = v;
    wms_put_extent(&layer->geo_box, box);
  }
}

const xml_attr_handler kAttrHandlers[A_HANDLERS] = {
    nullptr,       xml_set_encoding, on_version, on_layer_attr, on_box_crs,
    on_layer_attr, on_layer_attr,    on_address, on_address,    on_bound,
    on_bound,      on_bound,         on_bound,   nullptr,       nullptr};

}  // namespace

void wms_capabilities_register() {
  dict_rebuild_pair(int(std::size(g_element_table)), g_element_table, int(std::size(g_attr_table)),
                    g_attr_table, &g_elements, &g_attributes);
}

int wms_read_capabilities(const void* bytes, size_t n, container_t* list, wms_service_t** out) {
  if (out) *out = nullptr;
  if (!list) list = wms_services();
  if (!g_elements) wms_capabilities_register();
  set_gblerr(0);
  xml_parser_t* ctx = xml_parser_create(nullptr, g_elements, g_attributes, nullptr, 0, E_HANDLERS,
                                        kElementHandlers, kAttrHandlers, nullptr);
  if (!ctx || get_gblerr() != 0) {
    xml_parser_free(&ctx);
    return 0;
  }
  alloc_mem_zero(&ctx->scratch, sizeof(read_state));
  read_state* st = state_of(ctx);
  st->list = list;
  st->geo_box_depth = -1;
  const int before = obj_list_count(list);
  if (bytes && n > 0) xml_read_bytes(bytes, n, ctx);
  xml_parser_free(&ctx);
  const int err = get_gblerr();
  set_gblerr(0);  // the store frees nothing while an error is pending
  // The services this document made: a refused one (error 3) is dropped whole.
  wms_service_t* last = nullptr;
  for (int i = obj_list_count(list) - 1; i >= before; --i) {
    obj_t* o = nullptr;
    obj_list_get(list, i, &o);
    auto* s = static_cast<wms_service_t*>(o);
    if (!s || s->cls != CLS_WMS_SERVICE) continue;
    if (err != 0) {
      wms_service_free(&s);
      continue;
    }
    if (!last) last = s;
  }
  if (err != 0) return set_gblerr(err), 0;
  if (!last) {
    set_gblerr(ERR_NO_COMM);  // 5: not a capabilities document
    return 0;
  }
  if (out) *out = last;
  return 1;
}
