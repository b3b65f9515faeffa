// The two tables of step routines indexed by transform kind, the routines of the small
// step records (kinds 0 to 6), and the entry points that apply one step.
//
// A step is applied per point, millions of times in a redraw: one bounds check, one
// indirect call, no allocation. Kinds 7 to 12 are the datum routines (datum_shift.h),
// 13 to 22 the projections and 23 to 32 the same projections run backwards.
#include <cstring>

#include "core/object.h"
#include "geodesy/datum_shift.h"
#include "geodesy/projection.h"
#include "geodesy/xform.h"

namespace {

void step_nothing(obj_t*, double*, double*, double*) {}

// ---- Kind 1: offset-scale -------------------------------------------------------------

void offset_scale_fwd(obj_t* step, double* x, double* y, double*) {
  const auto* s = static_cast<xform_offset_scale_t*>(step);
  const xform_control_point_t* o = s->origins;
  if (!o) return;
  *x = (*x - o->sx) * s->sx + o->tx;
  *y = (*y - o->sy) * s->sy + o->ty;
}

void offset_scale_inv(obj_t* step, double* x, double* y, double*) {
  const auto* s = static_cast<xform_offset_scale_t*>(step);
  const xform_control_point_t* o = s->origins;
  if (!o) return;
  *x = (*x - o->tx) / s->sx + o->sx;
  *y = (*y - o->ty) / s->sy + o->sy;
}

// ---- Kind 2: scale ----------------------------------------------------------------------

void scale_fwd(obj_t* step, double* x, double* y, double*) {
  const auto* s = static_cast<xform_scale_t*>(step);
  *x *= s->sx;
  *y *= s->sy;
}

void scale_inv(obj_t* step, double* x, double* y, double*) {
  const auto* s = static_cast<xform_scale_t*>(step);
  *x /= s->sx;
  *y /= s->sy;
}

// ---- Kind 3: 3-D affine ------------------------------------------------------------------

void apply_matrix(const double m[16], double* x, double* y, double* z) {
  const double X = *x, Y = *y, Z = *z;
  *x = m[0] * X + m[1] * Y + m[2] * Z + m[3];
  *y = m[4] * X + m[5] * Y + m[6] * Z + m[7];
  *z = m[8] * X + m[9] * Y + m[10] * Z + m[11];
}

void affine_fwd(obj_t* step, double* x, double* y, double* z) {
  double m[16];
  std::memcpy(m, static_cast<xform_affine3d_t*>(step)->f, sizeof m);
  apply_matrix(m, x, y, z);
}

void affine_inv(obj_t* step, double* x, double* y, double* z) {
  double m[16];
  std::memcpy(m, static_cast<xform_affine3d_t*>(step)->g, sizeof m);
  apply_matrix(m, x, y, z);
}

// ---- Kind 4: 2-D linear ------------------------------------------------------------------

void linear_fwd(obj_t* step, double* x, double* y, double*) {
  const auto* s = static_cast<xform_linear2d_t*>(step);
  const double X = *x, Y = *y;
  *x = s->a1 * X + s->a2 * Y;
  *y = s->a3 * X + s->a4 * Y;
}

void linear_inv(obj_t* step, double* x, double* y, double*) {
  const auto* s = static_cast<xform_linear2d_t*>(step);
  const double X = *x, Y = *y;
  *x = s->b1 * X + s->b2 * Y;
  *y = s->b3 * X + s->b4 * Y;
}

// ---- Kind 6: chain ----------------------------------------------------------------------

void chain_fwd(obj_t* step, double* x, double* y, double* z) {
  xform_chain_forward(static_cast<xform_chain_t*>(step), x, y, z);
}

void chain_inv(obj_t* step, double* x, double* y, double* z) {
  xform_chain_inverse(static_cast<xform_chain_t*>(step), x, y, z);
}

// ---- The tables ---------------------------------------------------------------------------

struct kind_routines {
  xform_fn forward;
  xform_fn inverse;
};

// ---- Kinds 13 to 32: projections -----------------------------------------------------
// The projection module picks the formula by the projection's own kind (two kinds may
// share a transform kind but not a formula); kinds 23 to 32 run it backwards.

void projection_fwd(obj_t* step, double* x, double* y, double*) {
  proj_forward(static_cast<const cartproj_t*>(step), x, y);
}

void projection_inv(obj_t* step, double* x, double* y, double*) {
  proj_inverse(static_cast<const cartproj_t*>(step), x, y);
}

struct kind_tables {
  xform_fn forward[kXformKindCount];
  xform_fn inverse[kXformKindCount];
};

constexpr kind_tables make_tables() {
  kind_tables t{};
  const kind_routines small[] = {
      {step_nothing, step_nothing},                   // 0 identity
      {offset_scale_fwd, offset_scale_inv},           // 1
      {scale_fwd, scale_inv},                         // 2
      {affine_fwd, affine_inv},                       // 3
      {linear_fwd, linear_inv},                       // 4
      {step_nothing, step_nothing},                   // 5 identity
      {chain_fwd, chain_inv},                         // 6
      {meridian_shift_fwd, meridian_shift_inv},       // 7
      {datum_shift3_fwd, datum_shift3_inv},           // 8
      {datum_shift7_fwd, datum_shift7_inv},           // 9
      {datum_shift7_fwd, datum_shift7_inv},           // 10
      {geodetic_to_geocentric, geocentric_to_geodetic},  // 11
      {geocentric_to_geodetic, geodetic_to_geocentric},  // 12
  };
  for (int k = 0; k < XK_FIRST_PROJECTION; ++k) {
    t.forward[k] = small[k].forward;
    t.inverse[k] = small[k].inverse;
  }
  for (int k = XK_FIRST_PROJECTION; k <= XK_LAST_PROJECTION; ++k) {
    t.forward[k] = projection_fwd;
    t.inverse[k] = projection_inv;
    t.forward[k + XK_INVERSE_OFFSET] = projection_inv;
    t.inverse[k + XK_INVERSE_OFFSET] = projection_fwd;
  }
  return t;
}

constexpr kind_tables kTables = make_tables();

inline bool kind_in_table(int kind) { return kind >= 0 && kind < kXformKindCount; }

inline void no_height_to_zero(double* z) {
  if (*z == NULL_DOUBLE) *z = 0.0;
}

}  // namespace

xform_fn xform_forward_fn(int kind) {
  return kind_in_table(kind) ? kTables.forward[kind] : step_nothing;
}

xform_fn xform_inverse_fn(int kind) {
  return kind_in_table(kind) ? kTables.inverse[kind] : step_nothing;
}

int xform_kind_valid(int kind) { return kind_in_table(kind) ? 1 : 0; }

void xform_forward(obj_t* step, int kind, double* x, double* y, double* z) {
  no_height_to_zero(z);
  if (step && kind_in_table(kind)) kTables.forward[kind](step, x, y, z);
}

void xform_inverse(obj_t* step, int kind, double* x, double* y, double* z) {
  no_height_to_zero(z);
  if (step && kind_in_table(kind)) kTables.inverse[kind](step, x, y, z);
}

void xform_forward_checked(obj_t* step, int kind, double* x, double* y, double* z) {
  xform_forward(step, kind, x, y, z);
}

void xform_inverse_checked(obj_t* step, int kind, double* x, double* y, double* z) {
  xform_inverse(step, kind, x, y, z);
}

void xform_forward_2d(obj_t* step, int kind, double* x, double* y) {
  double z = 0.0;
  xform_forward(step, kind, x, y, &z);
}

void xform_inverse_2d(obj_t* step, int kind, double* x, double* y) {
  double z = 0.0;
  xform_inverse(step, kind, x, y, &z);
}
