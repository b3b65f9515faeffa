// Inside the projection module: the entry of the kind table, the routines each
// proj_<kind>.cpp file gives it, and the small helpers the set-ups and formulas share.
//
// A set-up routine fills the derived fields of a projection from its parameters and its
// datum's ellipsoid; a failing one sets gblerr (13) and the projection is not indexed.
// A formula reads only the projection record: it converts the incoming pair to radians
// (forward) or metres (inverse), computes, and converts the result to the projection's
// linear unit or the datum's angular unit.
#pragma once
#include "geodesy/projection.h"
#include "geodesy/units.h"

using proj_setup_fn = void (*)(cartproj_t* proj, int kind, int linear_unit, int angular_unit);

struct proj_kind_entry {
  int trsftype;
  proj_setup_fn setup;  // null: the kind cannot be created
  proj_point_fn forward;
  proj_point_fn inverse;
};

// The entry of a kind 0..47; null outside.
const proj_kind_entry* proj_kind_of(int kind);

// Frees a projection record that is not kept (its set-up failed, or an equal one exists),
// keeping whatever error the caller will see.
void proj_discard(cartproj_t* proj);

// ---- Shared by the set-ups ----------------------------------------------------------------
struct proj_ellipsoid {
  double a;
  double e2;
  double e;
};
// The ellipsoid of the projection's datum (set-ups run only when there is one).
proj_ellipsoid proj_ellipsoid_of(const cartproj_t* proj);
// A kind-specific angle (p5..p7) from the angular unit to radians.
double proj_param_radians(double value, int angular_unit);
// The conformal sphere of a projection: n = B, coeff0 = chi0, c, r0 = k0 times its radius.
void proj_setup_conformal_sphere(cartproj_t* proj, int kind, int linear_unit,
                                 int angular_unit);

// ---- Unit passages around the formulas -----------------------------------------------------
inline void proj_geo_in(const cartproj_t* p, double* x, double* y) {
  angle_unit_scale(p->geodatum->unit, 0, x, y);
}
inline void proj_geo_out(const cartproj_t* p, double* x, double* y) {
  angle_unit_scale(p->geodatum->unit, 1, x, y);
}
inline void proj_grid_in(const cartproj_t* p, double* x, double* y) {
  length_unit_scale(p->unit, 0, x, y);
}
inline void proj_grid_out(const cartproj_t* p, double* x, double* y) {
  length_unit_scale(p->unit, 1, x, y);
}

// ---- The routines of each file ---------------------------------------------------------------
// proj_tm.cpp (kinds 1, 26)
void proj_setup_tm(cartproj_t* proj, int kind, int linear_unit, int angular_unit);
// For tests: proj_tm_forward_points with one build of its block loop (the widest the
// processor runs is the one proj_tm_forward_points takes); 0 when the processor lacks it.
enum { PROJ_TM_BUILD_PLAIN = 0, PROJ_TM_BUILD_AVX2 = 1, PROJ_TM_BUILD_AVX512 = 2 };
int proj_tm_forward_points_build(int build, const cartproj_t* proj, double* x, double* y, int n,
                                 int stride);
// proj_mercator.cpp (kinds 7, 42)
void proj_setup_mercator(cartproj_t* proj, int kind, int linear_unit, int angular_unit);
// proj_equirect.cpp (kinds 17, 36)
void proj_setup_equirect(cartproj_t* proj, int kind, int linear_unit, int angular_unit);
// proj_lcc.cpp (kinds 8, 9, 28)
void proj_setup_lcc1(cartproj_t* proj, int kind, int linear_unit, int angular_unit);
void proj_setup_lcc2(cartproj_t* proj, int kind, int linear_unit, int angular_unit);
// proj_polar.cpp (kinds 15, 46)
void proj_setup_polar(cartproj_t* proj, int kind, int linear_unit, int angular_unit);
void proj_setup_polar_ts(cartproj_t* proj, int kind, int linear_unit, int angular_unit);
// proj_sphere_tm.cpp (kind 43) and proj_laborde.cpp (kind 4)
void proj_setup_sphere_tm(cartproj_t* proj, int kind, int linear_unit, int angular_unit);
void proj_setup_laborde(cartproj_t* proj, int kind, int linear_unit, int angular_unit);
// Laborde's complex cubic on the grid offsets from the origin (in units of the sphere's
// radius: north in *re, east in *im), forward and inverse; G = coeff2 + i coeff3.
void laborde_cubic_forward(const cartproj_t* proj, double* re, double* im);
void laborde_cubic_inverse(const cartproj_t* proj, double* re, double* im);
// proj_krovak.cpp (kind 44)
void proj_setup_oblique_conic(cartproj_t* proj, int kind, int linear_unit, int angular_unit);
// proj_hotine.cpp (kinds 3, 30)
void proj_setup_oblique_mercator(cartproj_t* proj, int kind, int linear_unit,
                                 int angular_unit);
