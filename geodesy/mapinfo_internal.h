// Inside the MapInfo clause module: the small conversions its files share.
//
// A projection fresh from mif_proj_new holds its extra angles (coeff1..coeff3) in
// degrees; the set-up turns them into radians. The set-up is also what gives a
// projection its `geodatum`, so that field tells the two states apart.
#pragma once
#include "geodesy/geodesy_records.h"
#include "geodesy/units.h"

namespace mif_detail {

inline double rad_of_deg(double v) {
  double scratch = 0.0;
  angle_unit_scale(ANG_DEGREE, 0, &v, &scratch);
  return v;
}
inline double deg_of_rad(double v) {
  double scratch = 0.0;
  angle_unit_scale(ANG_DEGREE, 1, &v, &scratch);
  return v;
}
inline bool is_set_up(const cartproj_t* p) { return p->geodatum != nullptr; }
// An extra angle of the projection in radians, whichever state it is in.
inline double extra_angle_rad(const cartproj_t* p, double v) {
  return is_set_up(p) ? v : rad_of_deg(v);
}

// The Belgian Lambert conic (kind 28) turns its cone by this angle: its set-up moves the
// origin longitude east by the angle over the cone constant. A clause gives the origin
// longitude before that move.
constexpr double kBelgianTurnSeconds = 29.2985;
// The origin longitude of a projection as a clause gives it (radians).
double clause_lambda0(const cartproj_t* p);
// The azimuth of the central line of a Hotine projection with its natural origin (kind
// 30) as a clause gives it (radians); *ok false when its grid is not rectified by that
// azimuth (MapInfo's Hotine has no grid angle of its own).
double clause_hotine_azimuth(const cartproj_t* p, bool* ok);

}  // namespace mif_detail
