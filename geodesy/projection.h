// Projections (class 38 `cartproj`): creation and set-up, the step routines that carry a
// point between geographic and projected coordinates, the UTM and plate carree systems
// made on demand, and the Lambert conic helpers the coordinate-system readers use.
//
// A projection is a kind (0 to 47) on a datum with its parameters. One table, indexed by
// kind (projection_kinds.cpp), gives each kind that can be created its transform kind,
// its set-up routine (which fills the derived fields n, r0, c, coeff0..coeff3 once) and
// its forward and inverse formulas; each kind or family of kinds lives in its own file
// proj_<kind>.cpp with set-up, forward and inverse side by side.
//
// In a transformation chain the projection object is the step object of its transform
// kind: kinds 13 to 22 apply proj_forward, kinds 23 to 32 proj_inverse. Both look the
// formulas up by the projection's own kind, so kinds that share a transform kind but not
// a formula (the New Zealand map grid beside the Transverse Mercator) each get theirs.
//
// Coordinates travel as two doubles changed in place: geographic ones in the datum's
// angular unit (longitude counted from the datum's prime meridian), projected ones in the
// projection's linear unit. The formulas allocate nothing and set no error: a point that
// has no image (a pole of the Mercator) gets an infinite coordinate; a point outside the
// formulas' domain (a latitude beyond a pole, the singular points of the oblique kinds, a
// grid point the inverse cannot take back) gets NaN in both coordinates, never a finite
// point elsewhere.
#pragma once
#include "geodesy/geodesy_records.h"

// ---- Kinds ------------------------------------------------------------------------------
constexpr int kProjKindCount = 48;  // kinds 0 to 47

enum proj_kind : int {
  PK_NONE = 0,             // coordinates pass unchanged
  PK_TM = 1,               // Transverse Mercator (series)
  PK_HOTINE = 3,           // oblique Mercator (Hotine), grid angle = azimuth, centre origin
  PK_LABORDE = 4,          // oblique Mercator (Laborde)
  PK_ROSENMUND = 5,        // oblique Mercator (Rosenmund, Swiss)
  PK_MERCATOR = 7,
  PK_LCC2 = 8,             // Lambert conformal conic, two standard parallels
  PK_LCC1 = 9,             // Lambert conformal conic, one standard parallel
  PK_POLAR = 15,           // polar stereographic, scale at the pole
  PK_OBLIQUE_STEREO = 16,
  PK_EQUIRECT = 17,
  PK_NZMG = 26,            // New Zealand map grid
  PK_LCC_BELGIAN = 28,     // Lambert conic, two parallels, Belgian form
  PK_HOTINE_GRID = 30,     // oblique Mercator (Hotine), own grid angle, natural origin
  PK_PLATE_CARREE = 36,
  PK_MERCATOR_TS = 42,     // Mercator from a latitude of true scale
  PK_SPHERE_TM = 43,       // Transverse Mercator on the conformal sphere
  PK_OBLIQUE_CONIC = 44,   // oblique conformal conic on the conformal sphere (Krovak)
  PK_SPHERE_STEREO = 45,
  PK_POLAR_TS = 46,        // polar stereographic from a latitude of true scale
};

// Transform kinds of the forward projections (the inverse ones are these + 10).
enum proj_trsf_kind : int {
  TRSF_PROJ_LCC = 13,
  TRSF_PROJ_POLAR = 14,
  TRSF_PROJ_MERCATOR = 15,
  TRSF_PROJ_TM = 16,
  TRSF_PROJ_EQUIRECT = 17,
  TRSF_PROJ_SPHERE_OMERC = 18,
  TRSF_PROJ_SPHERE_TM = 19,
  TRSF_PROJ_SPHERE_STEREO = 20,
  TRSF_PROJ_SPHERE_CONIC = 21,
  TRSF_PROJ_SKEW_MERCATOR = 22,
  TRSF_PROJ_INVERSE_OFFSET = 10,
};

// 1 when the kind can be created (it has a set-up routine).
int proj_kind_has_setup(int kind);
// The transform kind a projection of this kind gets; -1 when it cannot be created.
int proj_kind_trsftype(int kind);

// ---- Step routines ----------------------------------------------------------------------
using proj_point_fn = void (*)(const cartproj_t* proj, double* x, double* y);

// (longitude, latitude) -> (easting, northing) and back, by the projection's kind. A
// projection that was never set up (no datum) leaves the point as it is. A point with an
// infinite or NaN coordinate gets NaN in both, in every kind and both ways, save the
// infinite point that the forward gives a pole (the Mercator's, the far pole of a cone),
// which the inverse takes back to that pole.
void proj_forward(const cartproj_t* proj, double* x, double* y);
void proj_inverse(const cartproj_t* proj, double* x, double* y);
// proj_forward on n points at once, point i at x[i * stride], y[i * stride] (stride 2 for
// (x, y) pairs, 3 for (x, y, z) triples, 1 for two separate arrays): the results are
// those of proj_forward point by point, with what the formulas derive from the set-up
// fields derived once for the run.
void proj_forward_points(const cartproj_t* proj, double* x, double* y, int n, int stride);

// The formulas of each transform kind, as the kind table names them (each converts the
// units on its way in and out, like proj_forward).
void proj_lcc_forward(const cartproj_t* proj, double* x, double* y);
void proj_lcc_inverse(const cartproj_t* proj, double* x, double* y);
void proj_polar_stereo_forward(const cartproj_t* proj, double* x, double* y);
void proj_polar_stereo_inverse(const cartproj_t* proj, double* x, double* y);
void proj_mercator_forward(const cartproj_t* proj, double* x, double* y);
void proj_mercator_inverse(const cartproj_t* proj, double* x, double* y);
void proj_tm_forward(const cartproj_t* proj, double* x, double* y);
void proj_tm_inverse(const cartproj_t* proj, double* x, double* y);
void proj_tm_forward_points(const cartproj_t* proj, double* x, double* y, int n, int stride);
void proj_equirect_forward(const cartproj_t* proj, double* x, double* y);
void proj_equirect_inverse(const cartproj_t* proj, double* x, double* y);
void proj_sphere_oblique_mercator_forward(const cartproj_t* proj, double* x, double* y);
void proj_sphere_oblique_mercator_inverse(const cartproj_t* proj, double* x, double* y);
void proj_sphere_tm_forward(const cartproj_t* proj, double* x, double* y);
void proj_sphere_tm_inverse(const cartproj_t* proj, double* x, double* y);
void proj_sphere_stereo_forward(const cartproj_t* proj, double* x, double* y);
void proj_sphere_stereo_inverse(const cartproj_t* proj, double* x, double* y);
void proj_sphere_conic_forward(const cartproj_t* proj, double* x, double* y);
void proj_sphere_conic_inverse(const cartproj_t* proj, double* x, double* y);
void proj_sphere_skew_mercator_forward(const cartproj_t* proj, double* x, double* y);
void proj_sphere_skew_mercator_inverse(const cartproj_t* proj, double* x, double* y);
void proj_nzmg_forward(const cartproj_t* proj, double* x, double* y);
void proj_nzmg_inverse(const cartproj_t* proj, double* x, double* y);

// ---- Creation -------------------------------------------------------------------------------
// params: lambda0, phi0, k0, x0, y0, p5, p6, p7 as in "cartproj.txt" (angles in the angular
// unit, lengths in the linear unit; p5..p7 as each kind reads them). Null without error
// when the kind cannot be created; null with gblerr when its set-up fails.
cartproj_t* proj_create(const char* name, int kind, const double params[8], int linear_unit,
                        int angular_unit, geodatum_t* datum, int code, cartproj_t** out);
// Checks, transform kind, set-up routine, indexing by code, name and datum. gblerr 13 for
// a kind without set-up routine (or parameters its formulas cannot take), 12 for an
// ellipsoid with negative e2; a projection without datum or ellipsoid is left as it is.
void proj_setup(cartproj_t* proj, int angular_unit);
// For a projection built field by field: a new code, then proj_setup. gblerr 13 when the
// kind is outside 0..47 or there is no datum.
void proj_reinit(cartproj_t* proj, int angular_unit);
// 1 when both are given, of the same kind, with the same parameters (radians and metres:
// origin within 1e-6, k0 within 1e-5, false origin within 0.01; for Lambert conics also
// the parallels within 1e-6 and the third parameter within 1e-5).
int proj_equal(const cartproj_t* a, const cartproj_t* b);
// Among the projections of the same datum, the first of the same kind equal to it.
cartproj_t* proj_find_equal(const cartproj_t* proj, cartproj_t** out);

// The azimuth of the central line at the centre, radians, of an oblique Mercator (kinds
// 3, 4, 30): what a writer of the system's parameters writes back. 0 for other kinds.
double proj_central_line_azimuth(const cartproj_t* proj);
// The origin longitude, radians, as the parameters gave it: the set-up of the two-parallel
// Lambert conics moves lambda0 (the Belgian kind 28 by its fixed cone turn of 29.2985
// seconds of arc over the cone constant, kind 8 by p7 times it), and this takes the move
// back; lambda0 itself for other kinds and for a projection not set up.
double proj_given_lambda0(const cartproj_t* proj);
// The origin latitude, radians, on which a domain or validity box is centred: phio0,
// except for the kinds given by a latitude of true scale: the equator for the Mercator
// (kind 42, whose phio0 is that latitude, its northing counted from the equator) and the
// pole at the false origin for the polar stereographic (kind 46, once set up).
double proj_origin_latitude(const cartproj_t* proj);

// ---- Systems made on demand ---------------------------------------------------------------
// The UTM zone (1 to 60) of a datum, north or south: an equal existing projection, or a
// new one named "<datum> / UTM zone %02d%c". gblerr 12 and null for a zone outside 1..60.
cartproj_t* crs_name_utm(geodatum_t* datum, int zone, int south, cartproj_t** out);
// The UTM zone of a point (longitude, latitude in degrees): zones 1 to 60, longitude 180
// in zone 60, south below the equator. gblerr 12 and null for a non-finite point.
cartproj_t* crs_utm_from_lonlat(geodatum_t* datum, const double point[2], cartproj_t** out);
// The plate carree of a datum for a latitude in the datum's angular unit: an existing
// kind-17 projection of the datum within 0.02 rad, or a new "<datum> / Plate carree".
cartproj_t* crs_name_plate_carree(geodatum_t* datum, double latitude, cartproj_t** out);
// The datum of a GPS TrackMaker file: ellipsoid (a, 1/f) and the shift to the reference
// datum (tx, ty, tz, then seven zeros or the rotation and scale as datumtrans_create
// takes them), found or created with its ellipsoid and transformation.
geodatum_t* crs_gtm_custom(const double ellipsoid_params[2], const double shift[10],
                           geodatum_t** out);
// The projection an ECW file names (scheme-3 name) on a given datum, or null.
cartproj_t* proj_find_ecw(const char* name, const geodatum_t* datum, cartproj_t** out);

// ---- Lambert conformal conic helpers -------------------------------------------------------
// Cone constant of two standard parallels; *m1 = N(phi1) cos phi1. Equal parallels give
// the one-parallel cone sin phi1.
double lcc_cone_constant(double phi1, double phi2, double a, double e, double e2, double* m1);
// Scale factor at a latitude of the cone rho = c / E(phi)^n.
double lcc_scale_at(double phi, double c, double n, double a, double e2);
// Scale factor at the origin latitude of the cone through two standard parallels.
double lcc_k0_from_parallels(double phi0, double phi1, double phi2, const ellipsoid_t* ell,
                             double* k0);
// The two latitudes of scale 1 of a Lambert projection (transform kind 13), south one in
// *phi1, north one in *phi2; both 0 for other kinds. A cone whose scale is nowhere below
// 1 has no such latitude: both are then its origin latitude.
void lcc_parallels_from_scale(const cartproj_t* proj, double* phi1, double* phi2);
