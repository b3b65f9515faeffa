// The OpenStreetMap reader: the parse of one file into map nodes and ways, then the
// resolution of the ways' node references and the feature folders (osm_build.cpp).
//
// Only "node" and "way" elements directly under "osm" make objects, and a "tag" or "nd"
// only changes the object its parent element made: an element in the wrong place makes
// nothing. Identifiers are 64-bit integers; a node is found again by a hash map, so that
// resolving a million references costs a million lookups, not a search each.
//
// Refused input, with error 14: a version other than "0.5" and "0.6" on "osm"; an
// "osm" element that never ends (a file cut short). Objects made before the error stay
// in the list; the ways then keep empty node lists.
#include <array>
#include <charconv>
#include <cstring>
#include <utility>

#include "core/error.h"
#include "core/memory.h"
#include "core/xml.h"
#include "formats/osm.h"
#include "formats/osm_internal.h"
#include "geodesy/georef.h"
#include "map/repr.h"

namespace {

// Objects made between two looks at the memory budget, and the room kept free.
constexpr int kBudgetStride = 4096;
constexpr double kBudgetMargin = 16.0 * 1024 * 1024;

osm_reader* state_of(xml_parser_t* ctx) { return static_cast<osm_reader*>(ctx->user); }

int code_at(const xml_parser_t* ctx, int k) {
  if (k < 0 || k >= kXmlMaxDepth || k >= ctx->depth) return 0;
  const int id = ctx->stack[k];
  return id > 0 && id <= kOsmElementCount ? id : 0;
}
int top_index(const xml_parser_t* ctx) {
  return ctx->depth >= 1 && ctx->depth <= kXmlMaxDepth ? ctx->depth - 1 : -1;
}
int parent_code(const xml_parser_t* ctx) {
  const int top = top_index(ctx);
  return top >= 1 ? code_at(ctx, top - 1) : 0;
}

bool parse_i64(const char* text, int64_t* out) {
  if (!text) return false;
  const char* end = text + std::strlen(text);
  while (text < end && *text == ' ') ++text;
  const auto r = std::from_chars(text, end, *out);
  return r.ec == std::errc() && r.ptr != text;
}
double parse_double(const char* text) {
  double v = 0.0;
  if (!text) return v;
  const char* end = text + std::strlen(text);
  while (text < end && (*text == ' ' || *text == '+')) ++text;
  std::from_chars(text, end, v);
  return v;
}

void count_made(osm_reader* st) {
  if (++st->made % kBudgetStride == 0 && compute_mem_budget() < kBudgetMargin)
    set_gblerr(ERR_MEMORY);
}

void start_node(xml_parser_t* ctx, osm_reader* st) {
  obj_t* o = nullptr;
  obj_new_in_list(st->list, CLS_NODE, &o);
  st->current = o;
  st->current_kind = o ? OSM_NODE : 0;
  count_made(st);
}

void start_way(xml_parser_t* ctx, osm_reader* st) {
  (void)ctx;
  obj_t* o = nullptr;
  obj_new_in_list(st->list, CLS_WAY, &o);
  st->current = o;
  st->current_kind = o ? OSM_WAY : 0;
  if (o) st->ways.push_back({static_cast<way_t*>(o), st->refs.size(), st->refs.size()});
  count_made(st);
}

// The object of the element at the top's parent: a tag or nd belongs to the node or way
// being read only when that is the element right above it.
obj_t* owner_of_child(xml_parser_t* ctx, osm_reader* st) {
  const int parent = parent_code(ctx);
  if (!st->current || parent != st->current_kind) return nullptr;
  return st->current;
}

void on_element(xml_parser_t* ctx, int code, const char* text) {
  if (text) return;
  osm_reader* st = state_of(ctx);
  if (ctx->end_tag) {
    if (code == OSM_NODE || code == OSM_WAY) {
      st->current = nullptr;
      st->current_kind = 0;
    } else if (code == OSM_OSM && top_index(ctx) == 0) {
      st->osm_closed = true;
    }
    return;
  }
  switch (code) {
    case OSM_OSM:
      if (top_index(ctx) == 0) st->osm_open = true;
      break;
    case OSM_NODE:
    case OSM_WAY:
      st->current = nullptr;
      st->current_kind = 0;
      if (parent_code(ctx) != OSM_OSM) break;
      if (code == OSM_NODE)
        start_node(ctx, st);
      else
        start_way(ctx, st);
      break;
    case OSM_TAG:
      st->key = 0;
      st->have_key = false;
      st->have_value = false;
      st->value.clear();
      break;
    default:
      break;
  }
}

template <int Code> void element_entry(xml_parser_t* ctx, const char* text) {
  on_element(ctx, Code, text);
}
template <int... Codes> constexpr auto make_element_table(std::integer_sequence<int, Codes...>) {
  return std::array<xml_element_handler, sizeof...(Codes)>{
      (Codes == 0 ? nullptr : element_entry<Codes>)...};
}
constexpr auto kElementHandlers =
    make_element_table(std::make_integer_sequence<int, kOsmElementCount + 1>{});

// ---- Attributes ---------------------------------------------------------------------------

void on_version(xml_parser_t* ctx, int element_id, const char* value) {
  if (!value || element_id != OSM_OSM) return;
  if (std::strcmp(value, "0.5") != 0 && std::strcmp(value, "0.6") != 0) set_gblerr(kOsmBadData);
}

node_t* current_node(xml_parser_t* ctx, int element_id) {
  osm_reader* st = state_of(ctx);
  if (element_id != OSM_NODE || st->current_kind != OSM_NODE) return nullptr;
  return static_cast<node_t*>(st->current);
}

void on_id(xml_parser_t* ctx, int element_id, const char* value) {
  node_t* n = value ? current_node(ctx, element_id) : nullptr;
  if (!n) return;
  str_set(value, &n->osmident);
  int64_t id = 0;
  if (parse_i64(value, &id)) state_of(ctx)->nodes.add(id, n);
}

void on_lat(xml_parser_t* ctx, int element_id, const char* value) {
  if (node_t* n = value ? current_node(ctx, element_id) : nullptr) {
    gps_point_t c;
    std::memcpy(&c, &n->coords, sizeof c);
    c.y = parse_double(value);
    std::memcpy(&n->coords, &c, sizeof c);
  }
}

void on_lon(xml_parser_t* ctx, int element_id, const char* value) {
  if (node_t* n = value ? current_node(ctx, element_id) : nullptr) {
    gps_point_t c;
    std::memcpy(&c, &n->coords, sizeof c);
    c.x = parse_double(value);
    std::memcpy(&n->coords, &c, sizeof c);
  }
}

void on_ref(xml_parser_t* ctx, int element_id, const char* value) {
  osm_reader* st = state_of(ctx);
  if (!value || element_id != OSM_ND || st->current_kind != OSM_WAY) return;
  if (!owner_of_child(ctx, st) || st->ways.empty()) return;
  int64_t id = 0;
  if (!parse_i64(value, &id)) return;
  st->refs.push_back(id);
  st->ways.back().last = st->refs.size();
}

// A key and its value, applied to the node or way.
void apply_tag(xml_parser_t* ctx, osm_reader* st, obj_t* owner, const char* value) {
  const bool is_node = st->current_kind == OSM_NODE;
  switch (st->key) {
    case 0:
      return;
    case kOsmKeyName:
      if (is_node)
        xml_text_to_wcs(ctx, value, &static_cast<node_t*>(owner)->name);
      else
        xml_text_to_wcs(ctx, value, &static_cast<way_t*>(owner)->name);
      return;
    case kOsmKeyElevation:
      if (is_node) {
        auto* n = static_cast<node_t*>(owner);
        const float z = float(parse_double(value));
        gps_point_t c;
        std::memcpy(&c, &n->coords, sizeof c);
        c.z = z;
        std::memcpy(&n->coords, &c, sizeof c);
        std::memcpy(&n->altitude, &z, sizeof z);
      }
      return;
    case kOsmKeyRef:
      if (is_node)
        xml_text_to_wcs(ctx, value, &static_cast<node_t*>(owner)->ref);
      else
        xml_text_to_wcs(ctx, value, &static_cast<way_t*>(owner)->ref);
      return;
    case kOsmKeyLanes:
      if (!is_node) {
        int64_t lanes = 0;
        if (parse_i64(value, &lanes) && lanes > 0 && lanes < 1000) {
          const int32_t v = int32_t(lanes);
          std::memcpy(&static_cast<way_t*>(owner)->lanes, &v, sizeof v);
        }
      }
      return;
    default: {
      feature_t* f = osm_classify(st->key, value, is_node ? kEltNode : kEltWay);
      if (!f) return;
      if (is_node)
        std::memcpy(&static_cast<node_t*>(owner)->feature, &f, sizeof f);
      else
        std::memcpy(&static_cast<way_t*>(owner)->feature, &f, sizeof f);
      return;
    }
  }
}

void on_k(xml_parser_t* ctx, int element_id, const char* value) {
  osm_reader* st = state_of(ctx);
  if (!value || element_id != OSM_TAG) return;
  obj_t* owner = owner_of_child(ctx, st);
  if (!owner) return;
  st->key = osm_key_lookup(value);
  st->have_key = true;
  if (st->have_value) {
    apply_tag(ctx, st, owner, st->value.c_str());
    st->have_value = false;
  }
}

void on_v(xml_parser_t* ctx, int element_id, const char* value) {
  osm_reader* st = state_of(ctx);
  if (!value || element_id != OSM_TAG) return;
  obj_t* owner = owner_of_child(ctx, st);
  if (!owner) return;
  if (!st->have_key) {
    st->value = value;
    st->have_value = true;
    return;
  }
  apply_tag(ctx, st, owner, value);
}

constexpr xml_attr_handler kAttributeHandlers[kOsmAttributeCount + 1] = {
    nullptr, xml_set_encoding, on_version, on_id, on_lat, on_lon, nullptr, nullptr, on_ref, on_k, on_v};

}  // namespace

int read_osm(obj_t* file, container_t* list) {
  if (!list) return get_gblerr();
  osm_reader state;
  state.list = list;
  xml_parser_t* ctx = nullptr;
  xml_parser_create(&state, osm_element_dict(), osm_attribute_dict(), nullptr, 0,
                    kOsmElementCount + 1, kElementHandlers.data(), kAttributeHandlers, &ctx);
  if (!ctx) return get_gblerr() ? get_gblerr() : kOsmBadData;
  georef_create(list, nullptr);
  if (get_gblerr() == 0) xml_read_file(file, ctx);
  xml_parser_free(&ctx);
  // A document whose "osm" element never ends was cut short.
  if (get_gblerr() == 0 && state.osm_open && !state.osm_closed) set_gblerr(kOsmBadData);
  if (get_gblerr() != 0) return get_gblerr();
  osm_resolve_ways(&state);
  if (get_gblerr() != 0) return get_gblerr();
  return osm_build_folders(file, list);
}
