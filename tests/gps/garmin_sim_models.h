// Sample models of the simulated Garmin receiver for the tests: waypoints, routes and
// track logs whose fields exercise every column the given D-types carry.
#pragma once
#include <cmath>
#include <cstdlib>

#include "tests/support/gps_sim/garmin_sim.h"

namespace tm_test {

inline garmin_sim_record sample_waypoint(const char* ident, double lat, double lon, const char* cmnt,
                                         float alt, int64_t unix_time) {
  garmin_sim_record r;
  r.text[GT_IDENT] = ident;
  r.text[GT_CMNT] = cmnt;
  r.text[GT_FACILITY] = "FACILITY";
  r.text[GT_CITY] = "TOWN";
  r.text[GT_NAME] = "NAME OF IT";
  r.text[GT_STATE] = "VD";
  r.text[GT_CC] = "CH";
  r.text[GT_LNK_IDENT] = "LINK";
  r.num[GN_LAT] = uint32_t(garmin_sim_semicircles(lat));
  r.num[GN_LON] = uint32_t(garmin_sim_semicircles(lon));
  r.num[GN_SMBL] = 18;
  r.num[GN_DSPL] = 1;
  r.num[GN_COLOUR] = 2;
  r.flt[GF_ALT] = alt;
  r.flt[GF_DPTH] = 1.0e25f;
  r.flt[GF_TEMP] = 1.0e25f;
  r.num[GN_ALT_I16] = uint32_t(std::labs(std::lround(alt)));  // hosts differ on its sign
  r.num[GN_TIME] = garmin_sim_time(unix_time);
  r.num[GN_WPT_CAT] = 0;
  return r;
}

inline garmin_sim_record sample_point(double lat, double lon, float alt, int64_t unix_time, bool first) {
  garmin_sim_record r;
  r.num[GN_LAT] = uint32_t(garmin_sim_semicircles(lat));
  r.num[GN_LON] = uint32_t(garmin_sim_semicircles(lon));
  r.flt[GF_ALT] = alt;
  r.flt[GF_DPTH] = 1.0e25f;
  r.flt[GF_TEMP] = 1.0e25f;
  r.num[GN_TIME] = garmin_sim_time(unix_time);
  r.num[GN_NEW_TRK] = first ? 1 : 0;
  return r;
}

// A receiver with the given D-types (0: not offered): three waypoints (one with a
// negative position and a 16 in its data, one with a quote in its comment), two routes
// and two track logs of a few points.
inline garmin_model sample_model(int wpt, int rte_hdr, int rte_link, int trk, int trk_hdr) {
  garmin_model m;
  m.product_id = 903;
  m.version = 310;
  m.description = "Simulated Receiver 3.10";
  m.wpt_type = wpt;
  m.rte_hdr_type = rte_hdr;
  m.rte_link_type = rte_link;
  m.trk_type = trk;
  m.trk_hdr_type = trk_hdr;
  m.waypoints = {
      sample_waypoint("ALPHA", 46.519653, 6.632273, "CAMP AT THE LAKE", 372.5f, 1700000000),
      sample_waypoint("BRAVO", -33.448890, -70.669265, "HUT 16", 570.25f, 1700003600),
      sample_waypoint("CHARLY", 0.000016, -0.5, "SAY \"HI\"", -12.0f, 1700007200),
  };
  garmin_sim_route r1;
  r1.header.num[GN_NMBR] = 1;
  r1.header.text[GT_CMNT] = "TO THE LAKE";
  r1.header.text[GT_IDENT] = "LAKE ROUTE";
  r1.points = {m.waypoints[0], m.waypoints[1], m.waypoints[2]};
  r1.points[0].text[GT_IDENT] = "R1P1";
  r1.points[1].text[GT_IDENT] = "R1P2";
  r1.points[2].text[GT_IDENT] = "R1P3";
  garmin_sim_route r2;
  r2.header.num[GN_NMBR] = 2;
  r2.header.text[GT_CMNT] = "BACK";
  r2.header.text[GT_IDENT] = "BACK HOME";
  r2.points = {m.waypoints[2], m.waypoints[0]};
  r2.points[0].text[GT_IDENT] = "R2P1";
  r2.points[1].text[GT_IDENT] = "R2P2";
  m.routes = {r1, r2};
  garmin_sim_track t1;
  t1.header.text[GT_IDENT] = "MORNING";
  t1.header.num[GN_INDEX] = 0;
  t1.header.num[GN_DSPL] = 1;
  t1.header.num[GN_COLOUR] = 3;
  for (int i = 0; i < 4; ++i) {
    t1.points.push_back(sample_point(46.5 + i * 0.0011, 6.6 - i * 0.0017, 400.0f + float(i) * 2.5f,
                                     1700010000 + i * 15, i == 0));
  }
  garmin_sim_track t2;
  t2.header.text[GT_IDENT] = "EVENING";
  t2.header.num[GN_INDEX] = 1;
  t2.header.num[GN_DSPL] = 1;
  t2.header.num[GN_COLOUR] = 5;
  for (int i = 0; i < 3; ++i) {
    t2.points.push_back(sample_point(-12.25 - i * 0.002, 130.75 + i * 0.003, 35.0f - float(i), 1700020000 + i * 60,
                                     i == 0));
  }
  m.tracks = {t1, t2};
  return m;
}

}  // namespace tm_test
