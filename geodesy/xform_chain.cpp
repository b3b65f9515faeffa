// Chains of steps (kind 6), the making and inverting of small step records, and the
// carrying of an extent through a step.
//
// A chain is two flat arrays, kinds and steps, walked in order forward and in reverse
// order backwards. The steps belong to their owners (the tables, the georefs), so the
// free routine of a chain frees only its arrays and the one step it may own: the
// inverted unit step of a view, made for that chain alone.
#include <cmath>
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "geodesy/projection.h"
#include "geodesy/xform.h"

namespace {

// The chain's arrays, read once: the record is packed, the arrays themselves are not.
struct chain_view {
  int count;
  const int32_t* kinds;
  obj_t* const* steps;
};

chain_view view_of(const xform_chain_t* c) { return {c->count, c->kinds, c->steps}; }

// Grows both arrays to hold n entries (the new ones zero); false when n is not sensible.
bool resize_arrays(xform_chain_t* c, int old_n, int n) {
  if (n < 0 || n > (1 << 24)) return false;
  int32_t* kinds = c->kinds;
  obj_t** steps = c->steps;
  realloc_mem(&kinds, size_t(n > 0 ? n : 1) * sizeof(int32_t));
  realloc_mem(&steps, size_t(n > 0 ? n : 1) * sizeof(obj_t*));
  for (int i = old_n < 0 ? 0 : old_n; i < n; ++i) {
    kinds[i] = 0;
    steps[i] = nullptr;
  }
  c->kinds = kinds;
  c->steps = steps;
  return true;
}

template <class T> T* new_step(int cls, T** out) {
  T* s = nullptr;
  obj_new_registered(cls, &s);
  if (out) *out = s;
  return s;
}

obj_t* invert_offset_scale(obj_t* step) {
  const auto* s = static_cast<xform_offset_scale_t*>(step);
  const xform_control_point_t* o = s->origins;
  if (!o || s->sx == 0.0 || s->sy == 0.0 || s->sz == 0.0) return nullptr;
  xform_control_point_t* swapped = nullptr;
  if (!new_step(CLS_XFORM_CONTROL_POINT, &swapped)) return nullptr;
  swapped->sx = o->tx;
  swapped->sy = o->ty;
  swapped->sz = o->tz;
  swapped->tx = o->sx;
  swapped->ty = o->sy;
  swapped->tz = o->sz;
  xform_offset_scale_t* inv = nullptr;
  if (!new_step(CLS_XFORM_OFFSET_SCALE, &inv)) {
    free_obj(&swapped);
    return nullptr;
  }
  inv->sx = 1.0 / s->sx;
  inv->sy = 1.0 / s->sy;
  inv->sz = 1.0 / s->sz;
  inv->origins = swapped;
  return inv;
}

// The unit step of a georef: its inverse is the scale by the reciprocal factors.
obj_t* invert_scale(obj_t* step) {
  const auto* s = static_cast<xform_scale_t*>(step);
  if (s->sx == 0.0 || s->sy == 0.0 || s->sz == 0.0) return nullptr;
  xform_scale_t* inv = nullptr;
  return xform_make_scale(1.0 / s->sx, 1.0 / s->sy, 1.0 / s->sz, &inv);
}

obj_t* invert_affine(obj_t* step) {
  const auto* s = static_cast<xform_affine3d_t*>(step);
  xform_affine3d_t* inv = nullptr;
  if (!new_step(CLS_XFORM_AFFINE3D, &inv)) return nullptr;
  std::memcpy(inv->f, s->g, sizeof inv->f);
  std::memcpy(inv->g, s->f, sizeof inv->g);
  return inv;
}

// A record of its own with the same parameters, for the copy of a chain that owns a
// step; null for a kind without such a record.
obj_t* copy_step(int kind, const obj_t* step) {
  switch (kind) {
    case XK_OFFSET_SCALE: {
      const auto* s = static_cast<const xform_offset_scale_t*>(step);
      xform_offset_scale_t* c = nullptr;
      if (!new_step(CLS_XFORM_OFFSET_SCALE, &c)) return nullptr;
      c->sx = s->sx;
      c->sy = s->sy;
      c->sz = s->sz;
      c->origins = nullptr;
      if (const xform_control_point_t* o = s->origins) {
        xform_control_point_t* origins = nullptr;
        if (new_step(CLS_XFORM_CONTROL_POINT, &origins)) {
          origins->sx = o->sx;
          origins->sy = o->sy;
          origins->sz = o->sz;
          origins->tx = o->tx;
          origins->ty = o->ty;
          origins->tz = o->tz;
        }
        c->origins = origins;
      }
      return c;
    }
    case XK_SCALE: {
      const auto* s = static_cast<const xform_scale_t*>(step);
      xform_scale_t* c = nullptr;
      return xform_make_scale(s->sx, s->sy, s->sz, &c);
    }
    case XK_AFFINE3D: {
      xform_affine3d_t* c = nullptr;
      if (!new_step(CLS_XFORM_AFFINE3D, &c)) return nullptr;
      const auto* s = static_cast<const xform_affine3d_t*>(step);
      std::memcpy(c->f, s->f, sizeof c->f);
      std::memcpy(c->g, s->g, sizeof c->g);
      return c;
    }
    default: return nullptr;
  }
}

}  // namespace

// ---- Chains ------------------------------------------------------------------------------

xform_chain_t* xform_chain_create(int n, xform_chain_t** out) {
  if (out) *out = nullptr;
  if (n < 0) n = 0;
  xform_chain_t* c = nullptr;
  if (!new_step(CLS_XFORM_CHAIN, &c)) return nullptr;
  if (!resize_arrays(c, 0, n)) {
    set_gblerr(ERR_VALUE);
    free_obj(&c);
    return nullptr;
  }
  c->count = n;
  if (out) *out = c;
  return c;
}

void xform_chain_append(xform_chain_t* chain, obj_t* step, int kind) {
  if (!chain || !step || kind == 0) return;
  const int n = chain->count;
  if (!resize_arrays(chain, n, n + 1)) return;
  chain->kinds[n] = kind;
  chain->steps[n] = step;
  chain->count = n + 1;
}

void xform_chain_forward(xform_chain_t* chain, double* x, double* y, double* z) {
  if (*z == NULL_DOUBLE) *z = 0.0;
  if (!chain) return;
  const chain_view v = view_of(chain);
  for (int i = 0; i < v.count; ++i) xform_forward(v.steps[i], v.kinds[i], x, y, z);
}

// Step by step over the whole run: a projection step carries all the points at once,
// a nested chain is walked the same way, any other step point by point. Each step
// changes a point from its own values alone, so the results are those of
// xform_chain_forward point by point.
void xform_chain_forward_points(xform_chain_t* chain, double* xyz, int n) {
  if (!xyz || n <= 0) return;
  // As every step entry does: no height becomes 0.
  const auto no_height_to_zero = [&] {
    for (int i = 0; i < n; ++i)
      if (xyz[3 * size_t(i) + 2] == NULL_DOUBLE) xyz[3 * size_t(i) + 2] = 0.0;
  };
  no_height_to_zero();
  if (!chain) return;
  const chain_view v = view_of(chain);
  for (int s = 0; s < v.count; ++s) {
    obj_t* step = v.steps[s];
    const int kind = v.kinds[s];
    if (!step) continue;
    if (kind >= XK_FIRST_PROJECTION && kind <= XK_LAST_PROJECTION) {
      no_height_to_zero();
      proj_forward_points(static_cast<const cartproj_t*>(step), xyz, xyz + 1, n, 3);
    } else if (kind == XK_CHAIN) {
      xform_chain_forward_points(static_cast<xform_chain_t*>(step), xyz, n);
    } else {
      for (int i = 0; i < n; ++i) {
        double* p = xyz + 3 * size_t(i);
        xform_forward(step, kind, p, p + 1, p + 2);
      }
    }
  }
}

void xform_chain_inverse(xform_chain_t* chain, double* x, double* y, double* z) {
  if (*z == NULL_DOUBLE) *z = 0.0;
  if (!chain) return;
  const chain_view v = view_of(chain);
  for (int i = v.count - 1; i >= 0; --i) xform_inverse_checked(v.steps[i], v.kinds[i], x, y, z);
}

int xform_step_count(const xform_chain_t* chain) { return chain ? chain->count : 0; }

int xform_chain_kind_at(const xform_chain_t* chain, int i) {
  return chain && i >= 0 && i < chain->count ? chain->kinds[i] : 0;
}

obj_t* xform_chain_step_at(const xform_chain_t* chain, int i) {
  return chain && i >= 0 && i < chain->count ? chain->steps[i] : nullptr;
}

void xform_chain_own(xform_chain_t* chain, obj_t* step, int kind) {
  if (!chain) return;
  obj_t* old = chain->owned;
  xform_free_step(chain->owned_kind, &old);
  chain->owned = step;
  chain->owned_kind = kind;
}

void xform_chain_free(obj_t* obj) {
  auto* c = static_cast<xform_chain_t*>(obj);
  int32_t* kinds = c->kinds;
  obj_t** steps = c->steps;
  free_mem(&kinds);
  free_mem(&steps);
  c->kinds = nullptr;
  c->steps = nullptr;
  c->count = 0;
  obj_t* owned = c->owned;
  c->owned = nullptr;
  xform_free_step(c->owned_kind, &owned);
}

void xform_chain_copy(const obj_t* src, obj_t* dst) {
  const auto* s = static_cast<const xform_chain_t*>(src);
  auto* d = static_cast<xform_chain_t*>(dst);
  const int n = s->count;
  obj_t* const owned = s->owned;
  d->kinds = nullptr;
  d->steps = nullptr;
  d->owned = nullptr;
  d->owned_kind = 0;
  d->count = 0;
  if (!resize_arrays(d, 0, n)) return;
  // The step the original owns is copied, so that the copy carries points alike and
  // each frees its own.
  obj_t* own_copy = owned ? copy_step(s->owned_kind, owned) : nullptr;
  for (int i = 0; i < n; ++i) {
    d->kinds[i] = s->kinds[i];
    d->steps[i] = s->steps[i] == owned && owned ? own_copy : s->steps[i];
  }
  d->count = n;
  d->owned = own_copy;
  d->owned_kind = own_copy ? s->owned_kind : 0;
}

// ---- Step records -----------------------------------------------------------------------

obj_t* xform_invert_step(int kind, obj_t* step, obj_t** out) {
  obj_t* inv = nullptr;
  if (step) {
    switch (kind) {
      case XK_OFFSET_SCALE: inv = invert_offset_scale(step); break;
      case XK_SCALE: inv = invert_scale(step); break;
      case XK_AFFINE3D: inv = invert_affine(step); break;
      default: break;
    }
  }
  if (out) *out = inv;
  return inv;
}

void xform_free_step(int kind, obj_t** step) {
  if (!step || !*step) return;
  if (kind == XK_OFFSET_SCALE && (*step)->cls == CLS_XFORM_OFFSET_SCALE) {
    auto* s = static_cast<xform_offset_scale_t*>(*step);
    xform_control_point_t* origins = s->origins;
    s->origins = nullptr;
    free_obj(&origins);
  }
  free_obj(step);
  *step = nullptr;
}

xform_scale_t* xform_make_scale(double sx, double sy, double sz, xform_scale_t** out) {
  xform_scale_t* s = nullptr;
  if (new_step(CLS_XFORM_SCALE, &s)) {
    s->sx = sx;
    s->sy = sy;
    s->sz = sz;
  }
  if (out) *out = s;
  return s;
}

xform_linear2d_t* xform_make_rotation(double angle, xform_linear2d_t** out) {
  xform_linear2d_t* r = nullptr;
  if (new_step(CLS_XFORM_LINEAR2D, &r)) {
    const double c = std::cos(angle), s = std::sin(angle);
    r->a1 = c;
    r->a2 = s;
    r->a3 = -s;
    r->a4 = c;
    r->b1 = c;
    r->b2 = -s;
    r->b3 = s;
    r->b4 = c;
  }
  if (out) *out = r;
  return r;
}

int xform_make_affine_rotation(double angle, double cx, double cy, xform_affine3d_t** out) {
  if (out) *out = nullptr;
  xform_affine3d_t* r = nullptr;
  if (!new_step(CLS_XFORM_AFFINE3D, &r)) return get_gblerr() ? get_gblerr() : ERR_OBJECT;
  const double c = std::cos(angle), s = std::sin(angle);
  double f[16] = {}, g[16] = {};
  f[0] = c;
  f[1] = s;
  f[3] = (1.0 - c) * cx - s * cy;
  f[4] = -s;
  f[5] = c;
  f[7] = s * cx + (1.0 - c) * cy;
  f[10] = 1.0;
  g[0] = c;
  g[1] = -s;
  g[3] = (1.0 - c) * cx + s * cy;
  g[4] = s;
  g[5] = c;
  g[7] = (1.0 - c) * cy - s * cx;
  g[10] = 1.0;
  std::memcpy(r->f, f, sizeof f);
  std::memcpy(r->g, g, sizeof g);
  if (out) *out = r;
  return 0;
}

// ---- Extents ------------------------------------------------------------------------------

void xform_extent(obj_t* step, int kind, int mode, extent_t* extent) {
  if (!extent || (mode != 0 && mode != 1)) return;
  // Corners: lower left, lower right, upper left, upper right.
  double x[4] = {extent->xmin, extent->xmax, extent->xmin, extent->xmax};
  double y[4] = {extent->ymin, extent->ymin, extent->ymax, extent->ymax};
  for (int i = 0; i < 4; ++i) xform_forward_2d(step, kind, &x[i], &y[i]);
  if (mode == 0) {
    extent->xmin = std::fmin(std::fmin(x[0], x[1]), std::fmin(x[2], x[3]));
    extent->xmax = std::fmax(std::fmax(x[0], x[1]), std::fmax(x[2], x[3]));
    extent->ymin = std::fmin(std::fmin(y[0], y[1]), std::fmin(y[2], y[3]));
    extent->ymax = std::fmax(std::fmax(y[0], y[1]), std::fmax(y[2], y[3]));
    return;
  }
  extent->xmin = (x[0] + x[2]) / 2.0;
  extent->xmax = (x[1] + x[3]) / 2.0;
  extent->ymin = (y[0] + y[1]) / 2.0;
  extent->ymax = (y[2] + y[3]) / 2.0;
}
