// The georef record and its small services: creation, naming of its system, its unit
// and unit step, comparisons, the choice of the georef closest to a target, ground
// distances, and the plate carree used to draw geographic views.
#include <cmath>

#include "core/error.h"
#include "core/index.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/projection.h"
#include "geodesy/projection_math.h"
#include "geodesy/units.h"

namespace {

constexpr double kPlateCarreeLatitudeLimit = 1.4;  // radians, about 80.2 degrees

// The object of a class (datum or projection) with that name, or null.
template <class T> T* find_by_name(int cls, const char* name) {
  T* found = nullptr;
  geo_lock lock(geo_state().mutex);
  index_get(geo_name_index(cls), name, &found);
  return found;
}

// Rank of a projection kind when choosing among georefs: lower first.
int projection_rank(int projtype) {
  switch (projtype) {
    case 15: return 1;
    case 9: return 2;
    case 8: return 3;
    case 5: case 14: case 16: case 28: case 43: case 44: return 4;
    case 47: return 6;
    case 7: case 42: return 7;
    case 1: case 27: return 8;
    case 17: return 9;
    case 4: case 36: case 46: return 10;
    case 3: case 30: return 14;
    case 2: return 20;
    case 26: case 45: return 25;
    default: return 100;
  }
}

cartproj_t* projection_of(const georef_t* g) {
  return g->refertype == GEOREF_PROJECTED ? g->projection : nullptr;
}

// The unit the georef's datum (refertype 1) or projection (2) holds its coordinates in;
// -1 when it has none.
int system_unit(const georef_t* g) {
  if (g->refertype == GEOREF_GEOGRAPHIC) return g->datum ? g->datum->unit : -1;
  if (g->refertype == GEOREF_PROJECTED) return g->projection ? g->projection->unit : -1;
  return -1;
}

// The cost of joining the datums: 0 for equal ones; -1 when no path joins them.
int datum_cost(geodatum_t* a, geodatum_t* b) {
  if (a == b) return 0;
  int cost = 0;
  geocentric_t* t = nullptr;
  return geo_datum_path(a, b, &t, &cost) ? cost : -1;
}

}  // namespace

// ---- The record -------------------------------------------------------------------------

// A georef owns its unit step (a class-57 scale step made by georef_unit_step); a step
// of another class belongs to whoever set it.
void georef_free(obj_t* obj) {
  auto* g = static_cast<georef_t*>(obj);
  obj_t* step = g->transfo;
  if (!step || step->cls != CLS_XFORM_SCALE) return;
  g->transfo = nullptr;
  free_obj(&step);
}

void georef_copy(const obj_t* src, obj_t* dst) {
  const auto* s = static_cast<const georef_t*>(src);
  auto* d = static_cast<georef_t*>(dst);
  const obj_t* step = s->transfo;
  if (!step || step->cls != CLS_XFORM_SCALE) return;
  const auto* scale = static_cast<const xform_scale_t*>(step);
  xform_scale_t* copy = nullptr;
  xform_make_scale(scale->sx, scale->sy, scale->sz, &copy);
  d->transfo = copy;
}

georef_t* georef_create(container_t* list, georef_t** out) {
  georef_t* g = nullptr;
  obj_new_registered(CLS_GEOREF, &g);
  if (g) {
    geodatum_t* ref = geo_get_ref_datum(nullptr);
    g->refertype = GEOREF_GEOGRAPHIC;
    g->datum = ref;
    g->unit = ref ? ref->unit : ANG_DEGREE;
    if (list) id_list_insert(list, g);
  }
  if (out) *out = g;
  return g;
}

int georef_set_by_name(georef_t* g, const char* name, geodatum_t** datum,
                       cartproj_t** projection) {
  if (datum) *datum = nullptr;
  if (projection) *projection = nullptr;
  if (!g || !name) {
    set_gblerr(ERR_VALUE);
    return 0;
  }
  if (geodatum_t* d = find_by_name<geodatum_t>(CLS_GEODATUM, name)) {
    g->refertype = GEOREF_GEOGRAPHIC;
    g->datum = d;
    g->projection = nullptr;
    g->unit = d->unit;
    if (datum) *datum = d;
    return 1;
  }
  if (cartproj_t* p = find_by_name<cartproj_t>(CLS_CARTPROJ, name)) {
    g->refertype = GEOREF_PROJECTED;
    g->projection = p;
    g->datum = p->datum;
    g->unit = p->unit;
    if (projection) *projection = p;
    return 1;
  }
  set_gblerr(ERR_VALUE);
  return 0;
}

void georef_set_unit(georef_t* g, int unit) {
  if (g) g->unit = unit;
}

void georef_reset_unit(georef_t* g) {
  if (!g) return;
  const int unit = system_unit(g);
  if (unit >= 0) g->unit = unit;
}

int georef_unit_step(georef_t* g) {
  if (!g) return 0;
  if (g->refertype != GEOREF_GEOGRAPHIC && g->refertype != GEOREF_PROJECTED) return 0;
  const int target = system_unit(g);
  if (target < 0) return set_gblerr(ERR_GEOGRAPHIC);
  if (g->unit == target) return 0;
  const bool geographic = g->refertype == GEOREF_GEOGRAPHIC;
  // A unit index read from a file may be anything: no step is made from a unit that
  // does not exist, and the georef keeps the unit it had.
  if (!(geographic ? angle_unit_valid(g->unit) : length_unit_valid(g->unit)))
    return set_gblerr(ERR_VALUE);
  const double r = geographic ? angle_unit_ratio(g->unit, target, nullptr)
                              : length_unit_ratio(g->unit, target, nullptr);
  xform_scale_t* s = nullptr;
  if (!xform_make_scale(r, r, 1.0, &s)) return get_gblerr();
  georef_free(g);  // the unit step it may already own
  g->transfo = s;
  g->transfotype = XK_SCALE;
  g->unit = target;
  return 0;
}

int georef_same_system(const georef_t* a, const georef_t* b) {
  if (!a || !b) return 1;
  if (a == b) return 0;
  return a->refertype == b->refertype && a->datum == b->datum && a->projection == b->projection
             ? 0
             : 1;
}

int georef_differs(const georef_t* a, const georef_t* b) {
  if (!a || !b) return 1;
  if (a == b) return 0;
  return a->refertype == b->refertype && a->datum == b->datum &&
                 a->projection == b->projection && a->transfo == b->transfo &&
                 a->unit == b->unit
             ? 0
             : 1;
}

int georef_is_complete(const georef_t* g) {
  if (!g || g->refertype == GEOREF_NONE || !g->datum) return 0;
  return g->refertype != GEOREF_PROJECTED || g->projection ? 1 : 0;
}

// ---- Choosing a georef ----------------------------------------------------------------------

int proj_precedes(const cartproj_t* a, const cartproj_t* b) {
  if (!a) return 1;
  if (!b || get_gblerr()) return 0;
  const int ra = projection_rank(a->projtype), rb = projection_rank(b->projtype);
  if (ra != rb) return ra < rb ? 1 : 0;
  if (a->projtype != b->projtype) return 0;
  return std::fabs(b->phio0) <= std::fabs(a->phio0) ? 1 : 0;
}

georef_t* georef_pick_closest(const container_t* list, const georef_t* target,
                              georef_t** best) {
  georef_t* answer = nullptr;
  const int n = obj_list_count(list);
  const bool first_wins = !target || n == 1 || target->refertype == GEOREF_NONE;
  int best_class = 100;
  int best_cost = 100000;
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_list_get(list, i, &o);
    if (!o || o->cls != CLS_GEOREF) continue;
    georef_t* g = static_cast<georef_t*>(o);
    if (first_wins) {
      answer = g;
      break;
    }
    const int cls = georef_chain_class(g->datum, target->datum, projection_of(g),
                                       projection_of(target), nullptr);
    if (cls > best_class) continue;
    best_class = cls;
    const int cost = datum_cost(g->datum, target->datum);
    if (cost < 0 || cost > best_cost) continue;
    best_cost = cost;
    if (proj_precedes(projection_of(g), projection_of(target))) answer = g;
  }
  if (best) *best = answer;
  return answer;
}

// ---- Distances ------------------------------------------------------------------------------

double georef_distance(const geodatum_t* datum, double x1, double y1, double x2, double y2,
                       double* distance) {
  if (distance) *distance = 0.0;
  const ellipsoid_t* e = datum ? datum->ell : nullptr;
  if (!e) {
    set_gblerr(ERR_OBJECT);
    return 0.0;
  }
  angle_unit_scale(datum->unit, 0, &x1, &y1);
  angle_unit_scale(datum->unit, 0, &x2, &y2);
  const double sy = std::sin((y2 - y1) / 2.0);
  const double sx = std::sin((x2 - x1) / 2.0);
  const double h = sy * sy + std::cos(y1) * std::cos(y2) * sx * sx;
  const double sigma = 2.0 * std::asin(std::sqrt(std::fmin(1.0, h)));
  const double d = sigma * meridian_radius(e->a, (y1 + y2) / 2.0, e->e2);
  if (distance) *distance = d;
  return d;
}

// ---- Plate carree for geographic views ------------------------------------------------------

cartproj_t* crs_plate_carree_clamped(geodatum_t* datum, int unit, double latitude,
                                     cartproj_t** projection) {
  if (projection) *projection = nullptr;
  double lat = latitude, scratch = 0.0;
  angle_unit_scale(unit, 0, &lat, &scratch);
  if (lat > kPlateCarreeLatitudeLimit) lat = kPlateCarreeLatitudeLimit;
  if (lat < -kPlateCarreeLatitudeLimit) lat = -kPlateCarreeLatitudeLimit;
  angle_unit_scale(unit, 1, &lat, &scratch);
  cartproj_t* p = nullptr;
  crs_name_plate_carree(datum, lat, &p);
  if (projection) *projection = p;
  return p;
}

cartproj_t* graph_project_point(geodatum_t* datum, int unit, extent_t extent,
                                cartproj_t** projection) {
  return crs_plate_carree_clamped(datum, unit, extent_center_y(extent), projection);
}

void graph_project_extent(const georef_t* graph_georef, extent_t* extent,
                          cartproj_t** projection) {
  if (projection) *projection = nullptr;
  if (!graph_georef || !extent || graph_georef->refertype != GEOREF_GEOGRAPHIC) return;
  geodatum_t* d = graph_georef->datum;
  if (!d) return;
  cartproj_t* p = graph_project_point(d, d->unit, *extent, projection);
  if (!p) return;
  xform_forward_2d(p, XK_EQUIRECT, &extent->xmin, &extent->ymin);
  xform_forward_2d(p, XK_EQUIRECT, &extent->xmax, &extent->ymax);
}

void graph_extent_to_system(cartproj_t* projection, extent_t* extent) {
  if (!projection || !extent) return;
  xform_inverse_2d(projection, XK_EQUIRECT, &extent->xmin, &extent->ymin);
  xform_inverse_2d(projection, XK_EQUIRECT, &extent->xmax, &extent->ymax);
}
