// The simulated Garmin receiver against an outside host: gpsbabel reads waypoints,
// routes, track logs and the real-time stream from it over a pseudo-terminal in real
// time, and what it writes must be the model, for every D-type arrangement it handles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "tests/gps/garmin_sim_models.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace tm_test {
namespace {

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string trace_text(const garmin_sim_trace& t) {
  std::string s = "host ids:";
  for (int i : t.host_ids) s += " " + std::to_string(i);
  s += "\ncommands:";
  for (int i : t.commands) s += " " + std::to_string(i);
  return s + "\n";
}

struct arrangement {
  const char* name;
  uint16_t product_id;
  int16_t version;
  bool protocol_array;
  int wpt, rte_hdr, rte_link, trk, trk_hdr;
  unsigned skip = 0;  // what this host leaves out
  bool a302 = false;  // the track transfer announced as A302
};

// Receivers of the built-in product table (no protocol array: the host knows the
// types by product id and version) and receivers that announce their types.
const arrangement kArrangements[] = {
    {"table 13: D100 D200 D300", 13, 100, false, 100, 200, 0, 300, 0},
    {"table 14: D100 D200, no tracks", 14, 100, false, 100, 200, 0, 0, 0},
    {"table 44: D101 D201 D300", 44, 100, false, 101, 201, 0, 300, 0},
    {"table 29 v400: D102 D201 D300", 29, 400, false, 102, 201, 0, 300, 0},
    {"table 73: D103 D201 D300", 73, 100, false, 103, 201, 0, 300, 0},
    {"table 72: D104 D201 D300", 72, 100, false, 104, 201, 0, 300, 0},
    {"table 39: D151 D201 D300", 39, 100, false, 151, 201, 0, 300, 0},
    {"table 22: D152 D200 D300", 22, 100, false, 152, 200, 0, 300, 0},
    {"table 48: D154 D201 D300", 48, 100, false, 154, 201, 0, 300, 0},
    {"table 71: D155 D201 D300", 71, 100, false, 155, 201, 0, 300, 0},
    // gpsbabel does not read the variable idents of D105 and D106: it names the
    // waypoints itself.
    {"array: D105 A200 D201 A300 D300", 900, 310, true, 105, 201, 0, 300, 0, GPX_NO_WPT_NAMES},
    {"array: D106 A201 D202 D210 A301 D310 D301", 901, 310, true, 106, 202, 210, 301, 310, GPX_NO_WPT_NAMES},
    {"array: D107 A200 D200 A301 D311 D302", 902, 310, true, 107, 200, 0, 302, 311},
    {"array: D108 A201 D201 D210 A301 D312 D304", 903, 310, true, 108, 201, 210, 304, 312},
    {"array: D109 A201 D202 D210 A301 D310 D302", 904, 310, true, 109, 202, 210, 302, 310},
    {"array: D110 A201 D202 D210 A301 D312 D304", 905, 310, true, 110, 202, 210, 304, 312},
    {"array: D150 A200 D201, no tracks", 906, 310, true, 150, 201, 0, 0, 0},
    {"array: D108 A201 D201 D210 A302 D310 D303", 907, 310, true, 108, 201, 210, 303, 310, 0, true},
};

TEST(GarminSimGpsbabel, EveryArrangementReadsAsTheModel) {
  if (!tool_present("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  for (const arrangement& a : kArrangements) {
    SCOPED_TRACE(a.name);
    garmin_model m = sample_model(a.wpt, a.rte_hdr, a.rte_link, a.trk, a.trk_hdr);
    m.product_id = a.product_id;
    m.version = a.version;
    m.send_protocol_array = a.protocol_array;
    if (a.a302) {
      m.protocols = garmin_model_protocols(m);
      for (garmin_sim_protocol& p : m.protocols) {
        if (p.tag == 'A' && p.number == 301) p.number = 302;
      }
    }
    gpx_data g;
    std::string why, text;
    ASSERT_TRUE(garmin_sim_gpsbabel_gpx(m, "gsim_gpsbabel", &g, &why, &text)) << why;
    EXPECT_EQ(garmin_gpx_diff(g, m, a.skip), "") << text << why;
    EXPECT_NE(why.find("re-sendings 0"), std::string::npos) << why;
  }
}

// The comparison finds every kind of difference: the GPX of one model against models
// changed in one field each.
TEST(GarminSimGpsbabel, ComparisonFindsEachDifference) {
  if (!tool_present("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  const garmin_model m = sample_model(110, 202, 210, 304, 312);
  gpx_data g;
  std::string why;
  ASSERT_TRUE(garmin_sim_gpsbabel_gpx(m, "gsim_compare", &g, &why)) << why;
  ASSERT_EQ(garmin_gpx_diff(g, m), "");
  struct Change {
    const char* what;
    void (*apply)(garmin_model&);
    const char* reported;
  };
  const Change changes[] = {
      {"waypoint name", [](garmin_model& x) { x.waypoints[1].text[GT_IDENT] = "BRAVO2"; }, "waypoint 1: name"},
      {"latitude by 1.7e-7 degrees",
       [](garmin_model& x) { x.waypoints[0].num[GN_LAT] += 2; },  // two semicircles
       "waypoint 0: position"},
      {"comment", [](garmin_model& x) { x.waypoints[2].text[GT_CMNT] = "SAY HI"; }, "waypoint 2: comment"},
      {"altitude", [](garmin_model& x) { x.waypoints[0].flt[GF_ALT] += 0.5f; }, "waypoint 0: elevation"},
      {"waypoint time", [](garmin_model& x) { x.waypoints[0].num[GN_TIME] += 1; }, "waypoint 0: time"},
      {"a waypoint more", [](garmin_model& x) { x.waypoints.push_back(x.waypoints[0]); }, "waypoints: 3, model 4"},
      {"route name", [](garmin_model& x) { x.routes[1].header.text[GT_IDENT] = "ELSEWHERE"; }, "route 1: name"},
      {"route point", [](garmin_model& x) { x.routes[0].points[2].num[GN_LON] -= 100; }, "route 0 point 2: position"},
      {"track name", [](garmin_model& x) { x.tracks[0].header.text[GT_IDENT] = "NOON"; }, "track 0: name"},
      {"track point time", [](garmin_model& x) { x.tracks[1].points[2].num[GN_TIME] -= 60; }, "track point 6: time"},
      {"track point altitude", [](garmin_model& x) { x.tracks[0].points[0].flt[GF_ALT] = 0; }, "track point 0: elevation"},
      {"a track point less", [](garmin_model& x) { x.tracks[1].points.pop_back(); }, "track points: 7, model 6"},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.what);
    garmin_model changed = m;
    c.apply(changed);
    EXPECT_NE(garmin_gpx_diff(g, changed).find(c.reported), std::string::npos) << garmin_gpx_diff(g, changed);
  }
}

// ---- Real-time stream -------------------------------------------------------------------

struct nmea_fix {
  int64_t time = -1;  // Unix seconds, from RMC
  double lat = 0, lon = 0, knots = 0, course = 0;
  bool has_alt = false;
  double alt = 0;
};

double nmea_angle(const std::string& v, const std::string& hemi) {
  const double raw = std::strtod(v.c_str(), nullptr);
  const double deg = std::floor(raw / 100.0);
  const double a = deg + (raw - deg * 100.0) / 60.0;
  return hemi == "S" || hemi == "W" ? -a : a;
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> f;
  std::string cur;
  for (char c : line) {
    if (c == ',' || c == '*') {
      f.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  f.push_back(cur);
  return f;
}

// The fixes of an NMEA text: one per RMC, with the altitude of the GGA that follows.
std::vector<nmea_fix> nmea_fixes(const std::string& text) {
  std::vector<nmea_fix> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> f = fields(line);
    if (f[0] == "$GPRMC" && f.size() >= 10) {
      nmea_fix x;
      std::tm tm{};
      const int hms = std::atoi(f[1].c_str()), dmy = std::atoi(f[9].c_str());
      tm.tm_hour = hms / 10000;
      tm.tm_min = hms / 100 % 100;
      tm.tm_sec = hms % 100;
      tm.tm_mday = dmy / 10000;
      tm.tm_mon = dmy / 100 % 100 - 1;
      tm.tm_year = 100 + dmy % 100;
      x.time = timegm(&tm);
      x.lat = nmea_angle(f[3], f[4]);
      x.lon = nmea_angle(f[5], f[6]);
      x.knots = std::strtod(f[7].c_str(), nullptr);
      x.course = std::strtod(f[8].c_str(), nullptr);
      out.push_back(x);
    } else if (f[0] == "$GPGGA" && f.size() >= 10 && !out.empty()) {
      out.back().has_alt = true;
      out.back().alt = std::strtod(f[9].c_str(), nullptr);
    }
  }
  return out;
}

garmin_sim_pvt pvt_record(double lat_deg, double lon_deg, float alt, double tow, float east, float north) {
  garmin_sim_pvt p;
  p.alt = alt;
  p.msl_hght = -47.3f;
  p.fix = 3;
  p.leap_scnds = 18;
  p.tow = tow;
  p.wn_days = 13006;  // the week of 2025-08-10
  p.lat = lat_deg * M_PI / 180.0;
  p.lon = lon_deg * M_PI / 180.0;
  p.east = east;
  p.north = north;
  p.epe = 4.5f;
  p.eph = 3.25f;
  p.epv = 2.5f;
  return p;
}

TEST(GarminSimGpsbabel, RealTimeStreamReadsAsTheModel) {
  if (!tool_present("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  garmin_model m = sample_model(110, 202, 210, 304, 312);
  m.offers_pvt = true;
  // North-east, south-west and a standstill, on whole seconds of the week.
  m.pvt = {pvt_record(45.836617, 6.302533, 400.0f, 345618, 3.0f, 4.0f),
           pvt_record(-22.951916, -43.210487, 12.5f, 345619, -2.0f, -2.0f),
           pvt_record(0.5, -0.25, 1234.75f, 432018, 0.0f, 5.0f)};
  m.pvt_interval_ms = 150;
  m.pvt_repeat = true;
  garmin_sim_pty sim(m);
  ASSERT_TRUE(sim.start_realtime());
  const std::string out = fresh_dir("gsim_pvt") + "out.nmea";
  std::string log;
  // gpsbabel follows the stream until it is stopped: the records come round again and
  // again, and it is killed after a while.
  run_tool({"gpsbabel", "-T", "-i", "garmin", "-f", sim.path(), "-o", "nmea", "-F", out}, &log, 4000);
  sim.stop();
  const garmin_sim_trace t = sim.trace();
  EXPECT_TRUE(t.pvt_on) << trace_text(t);
  std::string text = read_text(out);
  text.erase(text.rfind('\n') + 1);  // a line cut by the kill
  const std::vector<nmea_fix> fixes = nmea_fixes(text);
  ASSERT_GE(fixes.size(), m.pvt.size()) << log.substr(0, 2000) << text;
  for (size_t i = 0; i < fixes.size(); ++i) {
    SCOPED_TRACE(i);
    const garmin_sim_pvt& p = m.pvt[i % m.pvt.size()];
    const nmea_fix& x = fixes[i];
    // Receiver epoch 1989-12-31, UTC = GPS time less the leap seconds.
    const int64_t want = 631065600 + int64_t(p.wn_days) * 86400 + int64_t(p.tow) - p.leap_scnds;
    EXPECT_EQ(x.time, want);
    EXPECT_NEAR(x.lat, p.lat * 180.0 / M_PI, 1e-5);  // three decimals of minutes
    EXPECT_NEAR(x.lon, p.lon * 180.0 / M_PI, 1e-5);
    const double speed = std::hypot(p.east, p.north);
    EXPECT_NEAR(x.knots, speed * 3600.0 / 1852.0, 0.006);
    if (speed > 0) {
      double course = std::atan2(p.east, p.north) * 180.0 / M_PI;
      if (course < 0) course += 360.0;
      EXPECT_NEAR(x.course, course, 0.006);
    }
    // This host writes the ellipsoid height as the GGA altitude.
    ASSERT_TRUE(x.has_alt);
    EXPECT_NEAR(x.alt, p.alt, 0.0005);
  }
}

}  // namespace
}  // namespace tm_test
