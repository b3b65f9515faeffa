// Conversion steps between two coordinate systems, and the chains built from them: the
// chain from a georef to the reference datum, and the link chain that carries a layer's
// coordinates into a view's.
//
// A conversion is at most five steps: the inverse projection of the source, geodetic to
// geocentric on the source datum, the datum shift, geocentric to geodetic on the target
// datum, the projection of the target. Two datums joined by a prime-meridian shift need
// one step; datums joined by an identity need none, and so do datums joined by a shift
// whose parameters are all zero when the two datums have the same ellipsoid (to 1 mm in
// both semi-axes), prime meridian and angular unit: such a shift (RGF93, ETRS89, NAD83 and
// the like to WGS 84) would carry every point through geocentric coordinates and back to
// where it was, less than 1 mm away.
#include <cmath>

#include "core/error.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"

namespace {

// Ellipsoids closer than this in both semi-axes (metres) are the same to the shifts:
// GRS 80 and WGS 84 differ by 0.1 mm in b.
constexpr double kSameAxisMetres = 1e-3;

double semi_minor(const ellipsoid_t* e) { return e->a * std::sqrt(1.0 - e->e2); }

bool same_ellipsoid(const ellipsoid_t* a, const ellipsoid_t* b) {
  if (!a || !b) return false;
  return a == b || (std::fabs(a->a - b->a) <= kSameAxisMetres &&
                    std::fabs(semi_minor(a) - semi_minor(b)) <= kSameAxisMetres);
}

bool zero_parameters(const geocentric_t* t) {
  return t->tx == 0.0 && t->ty == 0.0 && t->tz == 0.0 && t->epsilonx == 0.0 &&
         t->epsilony == 0.0 && t->epsilonz == 0.0 && t->de == 0.0;
}

// A geocentric shift that moves no point between the two datums (see above).
bool moves_nothing(const geocentric_t* t, const geodatum_t* ds, const geodatum_t* dt) {
  return zero_parameters(t) && same_ellipsoid(ds->ell, dt->ell) && ds->origlon == dt->origlon &&
         ds->unit == dt->unit;
}

bool is_projection_kind(int kind) {
  return kind >= XK_FIRST_PROJECTION && kind <= XK_LAST_PROJECTION;
}

// The kind that carries projected coordinates back to geographic ones; 0 for a
// projection whose coordinates pass unchanged (its kind 0), never another step family.
int inverse_projection_kind(const cartproj_t* p) {
  const int k = p->trsftype;
  return is_projection_kind(k) ? k + XK_INVERSE_OFFSET : XK_IDENTITY;
}

int forward_projection_kind(const cartproj_t* p) {
  const int k = p->trsftype;
  return is_projection_kind(k) ? k : XK_IDENTITY;
}

// The projection a georef's coordinates are on (refertype 2 only).
cartproj_t* projection_of(const georef_t* g) {
  return g->refertype == GEOREF_PROJECTED ? g->projection : nullptr;
}

struct step_list {
  int kinds[kMaxConversionSteps + 2] = {};
  obj_t* steps[kMaxConversionSteps + 2] = {};
  int count = 0;
};

void fill_chain(xform_chain_t* chain, const step_list& l) {
  for (int i = 0; i < l.count; ++i) {
    chain->kinds[i] = l.kinds[i];
    chain->steps[i] = l.steps[i];
  }
  chain->count = l.count;
}

void add_step(step_list& l, int kind, obj_t* step) {
  l.kinds[l.count] = kind;
  l.steps[l.count] = step;
  ++l.count;
}

}  // namespace

int georef_chain_class(const geodatum_t* da, const geodatum_t* db, const cartproj_t* pa,
                       const cartproj_t* pb, int* cls) {
  const int c = (da != db ? 3 : 0) + (pa ? 1 : 0) + (pb ? 1 : 0);
  if (cls) *cls = c;
  return c;
}

int georef_chain_build(geodatum_t* ds, geodatum_t* dt, cartproj_t* ps, cartproj_t* pt,
                       int kinds[], obj_t* steps[], int* count) {
  if (count) *count = 0;
  if (!kinds || !steps || !count) return set_gblerr(ERR_VALUE);
  int n = 0;
  if (ps) {
    kinds[n] = inverse_projection_kind(ps);
    steps[n++] = ps;
  }
  if (ds != dt) {
    geocentric_t* t = nullptr;
    if (!geo_datum_path(ds, dt, &t, nullptr) || !t) return set_gblerr(ERR_GEOGRAPHIC);
    if (t->trsftype == TRSF_MERIDIAN_SHIFT) {
      kinds[n] = XK_MERIDIAN_SHIFT;
      steps[n++] = t;
    } else if (t->trsftype != TRSF_IDENTITY && !moves_nothing(t, ds, dt)) {
      kinds[n] = XK_TO_GEOCENTRIC;
      steps[n++] = ds;
      kinds[n] = t->trsftype;
      steps[n++] = t;
      kinds[n] = XK_TO_GEODETIC;
      steps[n++] = dt;
    }
  }
  if (pt) {
    kinds[n] = forward_projection_kind(pt);
    steps[n++] = pt;
  }
  *count = n;
  return 0;
}

xform_chain_t* georef_chain_to_ref(const georef_t* g, xform_chain_t** chain) {
  if (chain) *chain = nullptr;
  if (!g) return nullptr;
  cartproj_t* p = projection_of(g);
  if (g->refertype == GEOREF_PROJECTED && !p) {
    set_gblerr(ERR_GEOGRAPHIC);
    return nullptr;
  }
  geodatum_t* ref = geo_get_ref_datum(nullptr);
  const int cls = georef_chain_class(g->datum, ref, p, nullptr, nullptr);
  if (cls == 0 && !g->transfo) return nullptr;
  step_list l;
  if (g->transfo) add_step(l, g->transfotype, g->transfo);
  int n = 0;
  if (georef_chain_build(g->datum, ref, p, nullptr, l.kinds + l.count, l.steps + l.count, &n))
    return nullptr;
  l.count += n;
  xform_chain_t* c = nullptr;
  if (!xform_chain_create(cls + 1, &c)) return nullptr;
  fill_chain(c, l);
  if (chain) *chain = c;
  return c;
}

// ---- Link chains ----------------------------------------------------------------------------

xform_chain_t* georef_chain_unit_steps(const georef_t* obj, int view_unit_kind,
                                       obj_t* view_unit_inverse, xform_chain_t** chain) {
  if (chain) *chain = nullptr;
  xform_chain_t* c = nullptr;
  if (!xform_chain_create(0, &c)) {
    xform_free_step(view_unit_kind, &view_unit_inverse);
    return nullptr;
  }
  if (obj) xform_chain_append(c, obj->transfo, obj->transfotype);
  xform_chain_append(c, view_unit_inverse, view_unit_kind);
  if (view_unit_inverse) xform_chain_own(c, view_unit_inverse, view_unit_kind);
  if (chain) *chain = c;
  return c;
}

xform_chain_t* georef_chain_between(const georef_t* view, const georef_t* obj,
                                    int view_unit_kind, obj_t* view_unit_inverse,
                                    xform_chain_t** chain) {
  if (chain) *chain = nullptr;
  cartproj_t* po = obj ? projection_of(obj) : nullptr;
  if (!view || !obj || (obj->refertype == GEOREF_PROJECTED && !po)) {
    xform_free_step(view_unit_kind, &view_unit_inverse);
    return nullptr;
  }
  cartproj_t* pv = projection_of(view);
  step_list l;
  add_step(l, obj->transfo ? obj->transfotype : XK_IDENTITY, obj->transfo);
  int n = 0;
  const int err = georef_chain_build(obj->datum, view->datum, po, pv, l.kinds + 1, l.steps + 1, &n);
  l.count += n;
  if (err == 0 && view_unit_inverse) add_step(l, view_unit_kind, view_unit_inverse);
  const int cls = georef_chain_class(obj->datum, view->datum, po, pv, nullptr);
  xform_chain_t* c = nullptr;
  if (!xform_chain_create(cls + 2, &c)) {
    xform_free_step(view_unit_kind, &view_unit_inverse);
    return nullptr;
  }
  fill_chain(c, l);
  if (view_unit_inverse) xform_chain_own(c, view_unit_inverse, view_unit_kind);
  if (chain) *chain = c;
  return c;
}

xform_chain_t* georef_link_chain(const georef_t* view, const georef_t* obj,
                                 xform_chain_t** chain) {
  if (chain) *chain = nullptr;
  if (!view || !obj) return nullptr;
  // The view's unit step, inverted: its coordinates come out of the conversion in the
  // unit of its datum or projection and must end in the view's own unit.
  obj_t* inverse = nullptr;
  const int inverse_kind = view->transfo ? view->transfotype : XK_IDENTITY;
  if (view->transfo) xform_invert_step(inverse_kind, view->transfo, &inverse);
  const bool same = obj->refertype == view->refertype && obj->datum == view->datum &&
                    obj->projection == view->projection;
  if (same) return georef_chain_unit_steps(obj, inverse_kind, inverse, chain);
  return georef_chain_between(view, obj, inverse_kind, inverse, chain);
}
