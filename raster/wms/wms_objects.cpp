// The records of the WMS client: the service and layer classes with their free
// routines, the module's service list, the coordinate systems of a layer (codes,
// lookup in the geodesy tables, inheritance, comparisons) and the boxes carried from
// one system into another.
#include <cmath>
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/obj_list.h"
#include "core/strutil.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "raster/wms/wms_internal.h"

namespace {

container_t* g_services = nullptr;

void free_crs_entries(wms_layer_t* layer) {
  wms_crs_t* crs = owner_get(&layer->crs);
  const int n = layer->crs_count;
  for (int i = 0; i < n; ++i) {
    georef_t* g = crs[i].georef;
    free_obj(&g);
    char* code = crs[i].code;
    free_mem(&code);
  }
  free_mem(&layer->crs);
  layer->crs_count = 0;
  layer->crs_capacity = 0;
}

// Frees every layer of a list and the list.
void free_layer_list(container_t** owner) {
  container_t* list = owner_get(owner);
  if (!list) return;
  for (int i = obj_list_count(list) - 1; i >= 0; --i) {
    obj_t* o = nullptr;
    obj_list_get(list, i, &o);
    if (o && o->cls == CLS_WMS_LAYER) free_obj(&o);
  }
  obj_list_set_count(list, 0);
  free_obj(owner);
}

void layer_free(obj_t* obj) {
  auto* layer = static_cast<wms_layer_t*>(obj);
  free_layer_list(&layer->sons);
  free_mem(&layer->name);
  free_mem(&layer->title);
  free_crs_entries(layer);
}

void service_free(obj_t* obj) {
  auto* s = static_cast<wms_service_t*>(obj);
  wms_image_forget_service(s);
  free_layer_list(&s->layers);
  free_mem(&s->getmap_url);
  free_mem(&s->version);
  free_mem(&s->title);
  free_mem(&s->formats);
  s->format_count = 0;
}

bool same_system(const georef_t* a, const georef_t* b) {
  if (!a || !b) return false;
  if (a->refertype != b->refertype || a->datum != b->datum) return false;
  return a->refertype != GEOREF_PROJECTED || a->projection == b->projection;
}

// The georef of an EPSG-like number: a datum (geographic, degrees) or a projection.
georef_t* georef_for_number(int number, container_t* list, georef_t** out) {
  if (out) *out = nullptr;
  char text[24];
  std::snprintf(text, sizeof text, "%d", number);
  geodatum_t* datum = nullptr;
  geo_find_by_alias<geodatum_t>(CLS_GEODATUM, GEO_SCHEME_EPSG, text, &datum);
  if (!datum) geo_find_by_code<geodatum_t>(CLS_GEODATUM, number, &datum);
  cartproj_t* proj = nullptr;
  if (!datum) {
    geo_find_by_alias<cartproj_t>(CLS_CARTPROJ, GEO_SCHEME_EPSG, text, &proj);
    if (!proj) geo_find_by_code<cartproj_t>(CLS_CARTPROJ, number, &proj);
    if (!proj || !proj->datum) return nullptr;
  }
  const int saved = get_gblerr();
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  if (!g) return nullptr;
  if (datum) {
    g->refertype = GEOREF_GEOGRAPHIC;
    g->datum = datum;
    g->projection = nullptr;
    g->unit = datum->unit;
    if (g->unit != ANG_DEGREE) {
      g->unit = ANG_DEGREE;
      georef_unit_step(g);
    }
  } else {
    g->refertype = GEOREF_PROJECTED;
    g->datum = proj->datum;
    g->projection = proj;
    g->unit = proj->unit;
  }
  if (get_gblerr() != saved) {
    free_obj(&g);
    set_gblerr(saved);
    return nullptr;
  }
  if (list) obj_list_append(list, g);
  if (out) *out = g;
  return g;
}

}  // namespace

void wms_objects_register() {
  obj_register_class(CLS_WMS_SERVICE, sizeof(wms_service_t), nullptr);
  obj_set_free_callback(CLS_WMS_SERVICE, service_free);
  obj_register_class(CLS_WMS_LAYER, sizeof(wms_layer_t), nullptr);
  obj_set_free_callback(CLS_WMS_LAYER, layer_free);
  // The list of services is made when the first one is added (wms_services).
  g_services = nullptr;
}

void wms_services_free_all() {
  if (!g_services) return;
  for (int i = obj_list_count(g_services) - 1; i >= 0; --i) {
    obj_t* o = nullptr;
    obj_list_get(g_services, i, &o);
    auto* s = static_cast<wms_service_t*>(o);
    if (s && s->cls == CLS_WMS_SERVICE) wms_service_free(&s);
  }
  free_obj(&g_services);
}

container_t* wms_services() {
  if (!g_services) obj_list_new(&g_services);
  return g_services;
}

wms_service_t* wms_service_new(container_t* list) {
  wms_service_t* s = nullptr;
  obj_new_registered(CLS_WMS_SERVICE, &s);
  if (!s) return nullptr;
  obj_list_new(&s->layers);
  s->holder = list;
  if (list) obj_list_append(list, s);
  return s;
}

void wms_service_free(wms_service_t** service) {
  wms_service_t* s = owner_get(service);
  if (!s) return;
  if (container_t* holder = s->holder) {
    for (int i = obj_list_count(holder) - 1; i >= 0; --i) {
      obj_t* o = nullptr;
      obj_list_get(holder, i, &o);
      if (o == s) obj_list_remove_at(holder, i);
    }
  }
  free_obj(service);
}

wms_layer_t* wms_layer_new(wms_service_t* service, obj_t* father) {
  wms_layer_t* l = nullptr;
  obj_new_registered(CLS_WMS_LAYER, &l);
  if (!l) return nullptr;
  l->service = service;
  l->father = father;
  obj_list_new(&l->sons);
  container_t* into = nullptr;
  if (father && father->cls == CLS_WMS_LAYER) into = static_cast<wms_layer_t*>(father)->sons;
  else if (father && father->cls == CLS_WMS_SERVICE) into = static_cast<wms_service_t*>(father)->layers;
  if (into) obj_list_append(into, l);
  return l;
}

wms_layer_t* wms_next_layer(obj_t* parent, int* iter) {
  if (!parent || !iter) return nullptr;
  container_t* list = nullptr;
  if (parent->cls == CLS_WMS_SERVICE) list = static_cast<wms_service_t*>(parent)->layers;
  else if (parent->cls == CLS_WMS_LAYER) list = static_cast<wms_layer_t*>(parent)->sons;
  const int n = obj_list_count(list);
  while (*iter >= 0 && *iter < n) {
    obj_t* o = nullptr;
    obj_list_get(list, (*iter)++, &o);
    if (o && o->cls == CLS_WMS_LAYER) return static_cast<wms_layer_t*>(o);
  }
  return nullptr;
}

// ---- Coordinate systems ---------------------------------------------------------------------

int wms_crs_number(const char* code, int* is_crs_authority) {
  if (is_crs_authority) *is_crs_authority = 0;
  if (!code) return 0;
  const char* colon = std::strrchr(code, ':');
  const char* digits = colon ? colon + 1 : code;
  while (is_ascii_space(*digits)) ++digits;
  int32_t number = 0;
  const char* end = parse_int(digits, &number);
  if (!end || end == digits || number <= 0) return 0;
  if (is_crs_authority && !str_find_ci(code, "epsg") && str_find_ci(code, "crs"))
    *is_crs_authority = 1;
  return number;
}

georef_t* wms_crs_lookup(const char* code, container_t* list, georef_t** out) {
  if (out) *out = nullptr;
  int crs_authority = 0;
  int number = wms_crs_number(code, &crs_authority);
  if (number <= 0) return nullptr;
  if (crs_authority) {
    // The "CRS" authority's own codes: longitude/latitude on these datums.
    switch (number) {
      case 84: number = 4326; break;
      case 83: number = 4269; break;
      case 27: number = 4267; break;
      default: return nullptr;
    }
  }
  return georef_for_number(number, list, out);
}

georef_t* wms_wgs84_georef(georef_t** out) { return georef_for_number(4326, nullptr, out); }

wms_crs_t* wms_layer_crs_by_code(wms_layer_t* layer, const char* code) {
  if (!layer || !code) return nullptr;
  wms_crs_t* crs = owner_get(&layer->crs);
  for (int i = 0; i < layer->crs_count; ++i)
    if (crs[i].code && str_compare_ci(crs[i].code, code) == 0) return &crs[i];
  return nullptr;
}

wms_crs_t* wms_layer_add_crs(wms_layer_t* layer, const char* code, georef_t* georef) {
  wms_crs_t* crs = owner_get(&layer->crs);
  if (layer->crs_count >= layer->crs_capacity) {
    const int cap = layer->crs_capacity < 4 ? 4 : layer->crs_capacity * 2;
    realloc_mem(&crs, sizeof(wms_crs_t) * size_t(cap));
    owner_put(&layer->crs, crs);
    layer->crs_capacity = cap;
  }
  wms_crs_t* e = &crs[layer->crs_count++];
  std::memset(e, 0, sizeof *e);
  e->georef = georef;
  str_set(code, &e->code);
  return e;
}

void wms_layer_inherit(wms_layer_t* layer, const wms_layer_t* parent) {
  if (!layer || !parent) return;
  const wms_crs_t* crs = owner_get(&parent->crs);
  for (int i = 0; i < parent->crs_count; ++i) {
    georef_t* copy = nullptr;
    if (crs[i].georef) {
      obj_new_registered(CLS_GEOREF, &copy);
      if (copy) obj_copy(crs[i].georef, copy);
    }
    wms_crs_t* e = wms_layer_add_crs(layer, crs[i].code, copy);
    e->has_box = crs[i].has_box;
    wms_put_extent(&e->box, wms_get_extent(&crs[i].box));
  }
  layer->has_geo_box = parent->has_geo_box;
  wms_put_extent(&layer->geo_box, wms_get_extent(&parent->geo_box));
}

const wms_crs_t* wms_layer_find_crs(const wms_layer_t* layer, const georef_t* georef, int flag) {
  if (!layer || !georef) return nullptr;
  const wms_crs_t* crs = owner_get(&layer->crs);
  for (int i = 0; i < layer->crs_count; ++i) {
    const georef_t* g = crs[i].georef;
    if (!same_system(g, georef)) continue;
    if (flag == 0 && g->unit != georef->unit) continue;
    return &crs[i];
  }
  return nullptr;
}

int wms_layer_has_crs(const wms_layer_t* layer, const georef_t* georef, int flag) {
  return wms_layer_find_crs(layer, georef, flag) ? 1 : 0;
}

container_t* wms_layer_crs_list(const wms_layer_t* layer, container_t** out) {
  container_t* list = nullptr;
  obj_list_new(&list);
  if (layer && list) {
    const wms_crs_t* crs = owner_get(&layer->crs);
    for (int i = 0; i < layer->crs_count; ++i)
      if (crs[i].georef) obj_list_append(list, crs[i].georef);
  }
  if (out) *out = list;
  return list;
}

container_t* wms_common_crs(const container_t* first, const container_t* second,
                            container_t** out) {
  container_t* list = nullptr;
  obj_list_new(&list);
  const int n = obj_list_count(first), m = obj_list_count(second);
  for (int i = 0; list && i < n; ++i) {
    obj_t* a = nullptr;
    obj_list_get(first, i, &a);
    if (!a || a->cls != CLS_GEOREF) continue;
    for (int j = 0; j < m; ++j) {
      obj_t* b = nullptr;
      obj_list_get(second, j, &b);
      if (b && b->cls == CLS_GEOREF &&
          same_system(static_cast<georef_t*>(a), static_cast<georef_t*>(b))) {
        obj_list_append(list, a);
        break;
      }
    }
  }
  if (out) *out = list;
  return list;
}

int wms_axis_latitude_first(const char* version, const char* code, const georef_t* georef) {
  if (!version || std::strncmp(version, "1.3", 3) != 0) return 0;
  int crs_authority = 0;
  wms_crs_number(code, &crs_authority);
  if (crs_authority) return 0;  // "CRS:84" is longitude first in every version
  if (!code || !str_find_ci(code, "epsg")) return 0;
  return georef && georef->refertype == GEOREF_GEOGRAPHIC ? 1 : 0;
}

int wms_carry_box(const georef_t* from, const georef_t* to, extent_t box, extent_t* out) {
  if (!from || !to || !out) return 0;
  if (same_system(from, to) && from->unit == to->unit) {
    *out = box;
    return 1;
  }
  const int saved = get_gblerr();
  xform_chain_t* chain = nullptr;
  georef_link_chain(to, from, &chain);
  if (get_gblerr() != saved) {
    set_gblerr(saved);
    free_obj(&chain);
    return 0;
  }
  constexpr int kSamples = 8;
  extent_t r{1e300, -1e300, 1e300, -1e300, 0};
  for (int i = 0; i <= kSamples; ++i) {
    for (int j = 0; j <= kSamples; ++j) {
      if (i != 0 && i != kSamples && j != 0 && j != kSamples) continue;  // edges only
      double x = box.xmin + (box.xmax - box.xmin) * i / kSamples;
      double y = box.ymin + (box.ymax - box.ymin) * j / kSamples;
      double z = 0;
      if (chain) xform_chain_forward(chain, &x, &y, &z);
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      r.xmin = std::fmin(r.xmin, x);
      r.xmax = std::fmax(r.xmax, x);
      r.ymin = std::fmin(r.ymin, y);
      r.ymax = std::fmax(r.ymax, y);
    }
  }
  free_obj(&chain);
  if (get_gblerr() != saved) set_gblerr(saved);
  if (r.xmin > r.xmax || r.ymin > r.ymax) return 0;
  *out = r;
  return 1;
}

int wms_layers_extent(const container_t* layers, const georef_t* georef, extent_t* out) {
  if (!out) return 0;
  extent_t total{0, 0, 0, 0, 0};
  int found = 0;
  georef_t* wgs84 = nullptr;
  for (int i = 0; i < obj_list_count(layers); ++i) {
    obj_t* o = nullptr;
    obj_list_get(layers, i, &o);
    if (!o || o->cls != CLS_WMS_LAYER) continue;
    auto* layer = static_cast<wms_layer_t*>(o);
    extent_t box{};
    bool have = false;
    const wms_crs_t* e = wms_layer_find_crs(layer, georef, 1);
    if (e && e->has_box) {
      box = wms_get_extent(&e->box);
      have = true;
    } else if (layer->has_geo_box) {
      if (!wgs84) wms_wgs84_georef(&wgs84);
      have = wgs84 && wms_carry_box(wgs84, georef, wms_get_extent(&layer->geo_box), &box);
    }
    if (!have) continue;
    if (!found) total = box;
    else {
      total.xmin = std::fmin(total.xmin, box.xmin);
      total.xmax = std::fmax(total.xmax, box.xmax);
      total.ymin = std::fmin(total.ymin, box.ymin);
      total.ymax = std::fmax(total.ymax, box.ymax);
    }
    found = 1;
  }
  free_obj(&wgs84);
  total.step = 0;
  *out = total;
  return found;
}
