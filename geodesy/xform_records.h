// The records of the transformation steps: control point pairs, offset-scale, scale,
// 3-D affine and 2-D linear steps, the chain of steps, and the georeference that ties a
// layer, a view, an image or a file to its coordinate system.
//
// All are objects of the object store (id and class first), packed. Only the georef has
// a class descriptor; its struct is checked against it at compile time. The other
// records are reached only through the routines of the transformation module (xform.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/obj_layout.h"
#include "core/object.h"
#include "geodesy/geodesy_records.h"

constexpr int CLS_XFORM_CONTROL_POINT = 41;
constexpr int CLS_XFORM_OFFSET_SCALE = 42;
constexpr int CLS_XFORM_AFFINE3D = 43;
constexpr int CLS_XFORM_CHAIN = 45;
constexpr int CLS_GEOREF = 46;
constexpr int CLS_XFORM_LINEAR2D = 47;
constexpr int CLS_XFORM_SCALE = 57;

// Transform kinds: the index of the forward and inverse routine tables. The kinds of
// projections (13 to 22) and their inverses (23 to 32) are the `trsftype` of cartproj.
enum xform_kind : int {
  XK_IDENTITY = 0,
  XK_OFFSET_SCALE = 1,
  XK_SCALE = 2,
  XK_AFFINE3D = 3,
  XK_LINEAR2D = 4,
  XK_IDENTITY5 = 5,
  XK_CHAIN = 6,
  XK_MERIDIAN_SHIFT = 7,
  XK_SHIFT3 = 8,
  XK_SHIFT7 = 9,
  XK_SHIFT10 = 10,
  XK_TO_GEOCENTRIC = 11,
  XK_TO_GEODETIC = 12,
  XK_LCC = 13,
  XK_POLAR_STEREO = 14,
  XK_MERCATOR = 15,
  XK_TM = 16,
  XK_EQUIRECT = 17,
  XK_SPHERE_OBLIQUE_MERCATOR = 18,
  XK_SPHERE_TM = 19,
  XK_SPHERE_STEREO = 20,
  XK_SPHERE_CONIC = 21,
  XK_SPHERE_SKEW_MERCATOR = 22,
  XK_FIRST_PROJECTION = 13,
  XK_LAST_PROJECTION = 22,
  XK_INVERSE_OFFSET = 10,  // kind + 10: the inverse projection of kinds 13 to 22
  XK_LAST = 32,
};
constexpr int kXformKindCount = XK_LAST + 1;

// georef `refertype`.
enum georef_kind : int { GEOREF_NONE = 0, GEOREF_GEOGRAPHIC = 1, GEOREF_PROJECTED = 2 };

#pragma pack(push, 1)
// Class 41: a control point pair; the origins of an offset-scale step, and one element of
// the control-point lists that affine steps are fitted to.
struct xform_control_point_t : obj_t {
  double sx, sy, sz;  // source
  double tx, ty, tz;  // target
};

// Class 42, kind 1: x' = (x - source x)*sx + target x; likewise y.
struct xform_offset_scale_t : obj_t {
  double sx, sy, sz;
  xform_control_point_t* origins;  // null: the step changes nothing
};

// Class 57, kind 2: x' = x*sx, y' = y*sy. The unit step of a georef.
struct xform_scale_t : obj_t {
  double sx, sy, sz;
};

// Class 43, kind 3: forward and inverse 4 x 4 matrices, row by row.
struct xform_affine3d_t : obj_t {
  double f[16];
  double g[16];
};

// Class 47, kind 4: forward x' = a1*x + a2*y, y' = a3*x + a4*y; inverse with b.
struct xform_linear2d_t : obj_t {
  double a1, a2, a3, a4;
  double b1, b2, b3, b4;
};

// Class 45, kind 6: a flat array of steps applied in order. The steps belong elsewhere
// (projections, datums and transformations to the tables, unit steps to their georef),
// except `owned`: a step made for this chain alone (the inverted unit step of a view),
// freed with the chain.
struct xform_chain_t : obj_t {
  int32_t count;
  int32_t* kinds;   // owned, count entries
  obj_t** steps;    // owned, count entries
  obj_t* owned;     // null, or a step freed with the chain
  int32_t owned_kind;
};

// Class 46: the coordinate reference of a layer, a view, an image or a file.
struct georef_t : obj_t {
  int32_t refertype;       // georef_kind
  geodatum_t* datum;
  cartproj_t* projection;  // refertype 2 only
  obj_t* transfo;          // unit step (a class-57 scale step) or null
  int32_t transfotype;     // its kind (2)
  int32_t unit;            // angular (refertype 1) or linear (2) unit of the coordinates
};
#pragma pack(pop)

inline constexpr attr_desc kGeorefAttrs[] = {
    {"id", AT_ID},          {"type", AT_INT},        {"refertype", AT_INT},
    {"datum", AT_REF},      {"projection", AT_REF},  {"transfo", AT_REF},
    {"transfotype", AT_INT}, {"unit", AT_INT}};
inline constexpr int kGeorefAttrCount = 8;
extern const objdesc georef_desc;

static_assert(offsetof(georef_t, refertype) == attr_offset_in(kGeorefAttrs, 2));
static_assert(offsetof(georef_t, datum) == attr_offset_in(kGeorefAttrs, 3));
static_assert(offsetof(georef_t, projection) == attr_offset_in(kGeorefAttrs, 4));
static_assert(offsetof(georef_t, transfo) == attr_offset_in(kGeorefAttrs, 5));
static_assert(offsetof(georef_t, transfotype) == attr_offset_in(kGeorefAttrs, 6));
static_assert(offsetof(georef_t, unit) == attr_offset_in(kGeorefAttrs, 7));
static_assert(sizeof(georef_t) == attr_layout_size(kGeorefAttrs, kGeorefAttrCount));
static_assert(sizeof(xform_control_point_t) == 56 && sizeof(xform_scale_t) == 32 &&
              sizeof(xform_affine3d_t) == 264 && sizeof(xform_linear2d_t) == 72);
