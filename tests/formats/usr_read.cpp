// The Lowrance USR reader on the fixtures of scripts/fixtures/make_usr_fixtures.py (files
// gpsbabel wrote, checked against what gpsbabel reads in them, and a file of trails whose
// continuation bytes split segments); altitudes in feet; hostile counts and lengths, and
// every truncation, which end with error 14 and keep what was read before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/wstring.h"
#include "formats/file_load.h"
#include "formats/usr.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/formats/single_reader_fixture.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::put_le16;
using tm_test::put_le32;
using tm_test::slurp_file;
using tm_test::split_fields;

const std::string kDir = TM_FIXTURE_DIR "/usr/";

std::string utf8(const char16_t* w) {
  char* s = nullptr;
  wcs_to_mbs(w ? w : u"", &s);
  std::string out = s ? s : "";
  free_mem(&s);
  return out;
}

std::vector<std::vector<std::string>> read_answers(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(slurp_file(path));
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) rows.push_back(split_fields(line, ';'));
  return rows;
}

// ---- Byte builders of the USR layout ------------------------------------------------------

std::string usr_string(const std::string& s) {
  std::string out;
  put_le32(&out, uint32_t(s.size()));
  return out + s;
}

// A waypoint record: position, altitude in feet, name, comment, time, symbol, 2 bytes.
std::string wpt_record(int32_t northing, int32_t easting, int32_t feet, const std::string& name,
                       uint32_t time = 0) {
  std::string out;
  put_le32(&out, uint32_t(northing));
  put_le32(&out, uint32_t(easting));
  put_le32(&out, uint32_t(feet));
  out += usr_string(name) + usr_string("");
  put_le32(&out, time);
  put_le32(&out, 10001);
  put_le16(&out, 0);
  return out;
}

std::string count16(int n) {
  std::string out;
  put_le16(&out, uint32_t(n));
  return out;
}

// Header and waypoints (each after its 2-byte number).
std::string usr_head(int count, const std::vector<std::string>& records) {
  std::string out;
  put_le32(&out, 2);
  put_le16(&out, uint32_t(count));
  for (size_t i = 0; i < records.size(); ++i) out += count16(int(i)) + records[i];
  return out;
}

std::string trail_head(const std::string& name, int total) {
  return usr_string(name) + std::string(1, '\x01') + count16(total) + count16(9999);
}

std::string trail_point(int32_t northing, int32_t easting, int more) {
  std::string out;
  put_le32(&out, uint32_t(northing));
  put_le32(&out, uint32_t(easting));
  out.push_back(char(more));
  return out;
}

class UsrRead : public tm_test::SingleReaderFixture {
 protected:
  UsrRead() : SingleReaderFixture(lowrance_read, "t.usr") {}
  void SetUp() override {
    SingleReaderFixture::SetUp();
    usr_init();
    ASSERT_EQ(get_gblerr(), 0);
  }
  // A stored position in degrees.
  static void degrees(const fileatt_t* f, const gps_point_t& p, double* lon, double* lat) {
    auto g = all_of<georef_t>(f, CLS_GEOREF);
    ASSERT_EQ(g.size(), 1u);
    *lon = p.x;
    *lat = p.y;
    angle_unit_convert(g[0]->unit, 1, lon, lat);
  }
  static void expect_at(const fileatt_t* f, const gps_point_t& p, const std::string& lon,
                        const std::string& lat) {
    double x = 0, y = 0;
    degrees(f, p, &x, &y);
    EXPECT_NEAR(x, std::stod(lon), 1e-7);
    EXPECT_NEAR(y, std::stod(lat), 1e-7);
  }
};

void expect_time(const date_rec& stored, const std::vector<std::string>& r, size_t at) {
  date_rec t{};
  std::memcpy(&t, &stored, sizeof t);
  if (r[at].empty()) {
    EXPECT_EQ(t.date, kNoDate.date);
    EXPECT_EQ(t.day, kNoDate.day);
    return;
  }
  int year = 0, month = 0;
  double day = 0;
  date_rec_split(&t, &year, &month, &day);
  EXPECT_EQ(year, std::stoi(r[at]));
  EXPECT_EQ(month, std::stoi(r[at + 1]));
  const double expect =
      std::stoi(r[at + 2]) + (std::stoi(r[at + 3]) * 3600.0 + std::stoi(r[at + 4]) * 60.0 + std::stoi(r[at + 5])) / 86400.0;
  EXPECT_NEAR(day, expect, 1e-8);
}

TEST_F(UsrRead, FixturesLoadAsTheReferenceReadsThem) {
  for (const char* name : {"gpsbabel", "marks", "segments"}) {
    SCOPED_TRACE(name);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_path(kDir + name + ".usr", &f), 0);
    const auto rows = read_answers(kDir + name + ".txt");
    const auto waypoints = all_of<waypoint_t>(f, CLS_WAYPOINT);
    const auto marks = all_of<poi_t>(f, CLS_POI);
    const auto routes = all_of<route_t>(f, CLS_ROUTE);
    const auto logs = all_of<tracklog_t>(f, CLS_TRACKLOG);
    // The list keeps its own order: objects are found by name, marks by position.
    std::map<std::string, waypoint_t*> by_name;
    for (waypoint_t* w : waypoints) by_name[utf8(w->name)] = w;
    std::map<std::string, route_t*> route_named;
    for (route_t* r : routes) route_named[utf8(r->name)] = r;
    std::map<std::string, tracklog_t*> log_named;
    for (tracklog_t* t : logs) log_named[utf8(t->name)] = t;
    size_t w_seen = 0, m_seen = 0, r_seen = 0, t_seen = 0, p_at = 0, s_at = 0, q_at = 0;
    route_t* route = nullptr;
    tracklog_t* log = nullptr;
    trackseg_t* seg = nullptr;
    for (const auto& r : rows) {
      SCOPED_TRACE(r[0] + (r.size() > 1 ? " " + r[1] : ""));
      if (r[0] == "W") {
        waypoint_t* w = by_name[r[1]];
        ASSERT_NE(w, nullptr);
        ++w_seen;
        expect_at(f, w->coords, r[2], r[3]);
        EXPECT_NEAR(w->altitude, r[4].empty() ? 0.0 : std::stod(r[4]), 1e-3);
        expect_time(w->time, r, 5);
        EXPECT_EQ(w->display, 0);
      } else if (r[0] == "M") {
        poi_t* found = nullptr;
        for (poi_t* m : marks) {
          double x = 0, y = 0;
          degrees(f, m->coords, &x, &y);
          if (std::fabs(x - std::stod(r[1])) < 1e-7 && std::fabs(y - std::stod(r[2])) < 1e-7) found = m;
        }
        ASSERT_NE(found, nullptr);
        ++m_seen;
        EXPECT_EQ(found->display, 1);
      } else if (r[0] == "R") {
        route = route_named[r[1]];
        ASSERT_NE(route, nullptr);
        ++r_seen;
        p_at = 0;
      } else if (r[0] == "P") {
        ASSERT_NE(route, nullptr);
        ASSERT_LT(p_at, size_t(obj_list_count(route->sons)));
        auto* w = static_cast<waypoint_t*>(route->sons->elems[p_at++]);
        EXPECT_EQ(utf8(w->name), r[1]);
        expect_at(f, w->coords, r[2], r[3]);
        // A route point is the file's waypoint of that name, or a waypoint of its own.
        EXPECT_EQ(by_name[r[1]], w);
      } else if (r[0] == "T") {
        if (log) {
          EXPECT_EQ(s_at, size_t(obj_list_count(log->sons)));
        }
        log = log_named[r[1]];
        ASSERT_NE(log, nullptr);
        ++t_seen;
        s_at = 0;
      } else if (r[0] == "S") {
        ASSERT_NE(log, nullptr);
        ASSERT_LT(s_at, size_t(obj_list_count(log->sons)));
        seg = static_cast<trackseg_t*>(log->sons->elems[s_at++]);
        q_at = 0;
      } else if (r[0] == "Q") {
        ASSERT_NE(seg, nullptr);
        ASSERT_LT(q_at, size_t(obj_list_count(seg->sons)));
        auto* p = static_cast<gpspos_t*>(seg->sons->elems[q_at++]);
        EXPECT_EQ(p->father, log);
        expect_at(f, p->coords, r[1], r[2]);
      }
    }
    // Waypoints beyond the answer's are the route points of their own.
    EXPECT_LE(w_seen, waypoints.size());
    EXPECT_EQ(m_seen, marks.size());
    EXPECT_EQ(r_seen, routes.size());
    EXPECT_EQ(t_seen, logs.size());
    if (log) {
      EXPECT_EQ(s_at, size_t(obj_list_count(log->sons)));
    }
    EXPECT_FALSE(file_get_first_folder(f, nullptr) == nullptr);
  }
}

TEST_F(UsrRead, RoutePointsReuseTheWaypointsOfTheFile) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "gpsbabel.usr", &f), 0);
  // ALPHA is both a waypoint and the first route point; CHARLIE and DELTA are only
  // route points and join the list as waypoints of their own.
  const auto waypoints = all_of<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(waypoints.size(), 5u);
  waypoint_t* alpha = nullptr;
  for (waypoint_t* w : waypoints)
    if (utf8(w->name) == "ALPHA") alpha = w;
  ASSERT_NE(alpha, nullptr);
  const auto routes = all_of<route_t>(f, CLS_ROUTE);
  ASSERT_EQ(routes.size(), 1u);
  ASSERT_EQ(obj_list_count(routes[0]->sons), 3);
  EXPECT_EQ(routes[0]->sons->elems[0], alpha);
  EXPECT_NE(routes[0]->sons->elems[1], alpha);
}

TEST_F(UsrRead, AltitudesAreStoredInFeet) {
  struct alt_case {
    int32_t feet;
    double metres;
  };
  const alt_case cases[] = {{328, 99.9744}, {0, 0.0}, {-100, -30.48}, {-32808, 0.0}, {-40000, 0.0}};
  for (const alt_case& c : cases) {
    SCOPED_TRACE(c.feet);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(usr_head(1, {wpt_record(0, 0, c.feet, "A")}) + count16(0) + count16(0) + count16(0), &f),
              0);
    auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_NEAR(w[0]->altitude, c.metres, 1e-3);
    double x = 1, y = 1;
    degrees(f, w[0]->coords, &x, &y);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
  }
}

TEST_F(UsrRead, TimesCountFromTheStartOf2000) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(usr_head(1, {wpt_record(0, 0, 0, "A", 86400 + 3600)}) + count16(0) + count16(0) + count16(0), &f),
            0);
  auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 1u);
  expect_time(w[0]->time, {"2000", "1", "2", "1", "0", "0"}, 0);
}

TEST_F(UsrRead, LongAndWindows1252NamesReadWhole) {
  const std::string long_name(10000, 'n');
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(usr_head(2, {wpt_record(0, 0, 0, long_name), wpt_record(5, 5, 0, "Z\xFCrich")}) + count16(0) +
                     count16(0) + count16(0),
                 &f),
            0);
  std::vector<std::string> names;
  for (waypoint_t* w : all_of<waypoint_t>(f, CLS_WAYPOINT)) names.push_back(utf8(w->name));
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "Z\xC3\xBCrich");
  EXPECT_EQ(names[1], long_name);
}

struct bad_case {
  const char* what;
  std::string bytes;
  int code;
  int waypoints_kept;
};

TEST_F(UsrRead, HostileCountsAndLengthsStopWithError14) {
  const std::string one = usr_head(1, {wpt_record(1000, 2000, 0, "ONE")});
  std::string huge_name;
  put_le32(&huge_name, 1000);
  put_le32(&huge_name, 2000);
  put_le32(&huge_name, 0);
  put_le32(&huge_name, 0xFFFFFFF0u);
  huge_name += std::string(40, 'x');
  std::string huge_route = count16(1);
  put_le32(&huge_route, 0x7FFFFFFFu);
  huge_route += std::string(20, 'r');
  const std::string one_trail = count16(0) + count16(0) + count16(1);
  const bad_case cases[] = {
      {"shorter than 12 bytes", std::string("\x02\0\0\0\0\0\0\0\0\0\0", 11), 14, 0},
      {"nothing but the header", usr_head(0, {}) + count16(0) + count16(0) + count16(0), 0, 0},
      {"waypoint count beyond the file", usr_head(5, {wpt_record(1000, 2000, 0, "ONE")}) + std::string(20, '\0'), 14, 1},
      {"name length beyond the file", usr_head(2, {wpt_record(1, 2, 0, "ONE")}) + count16(1) + huge_name, 14, 1},
      {"route count beyond the file", one + count16(40) + std::string(20, '\0'), 14, 1},
      {"route name length beyond the file", one + huge_route, 14, 1},
      {"route point count beyond the file", one + count16(1) + usr_string("R") + count16(9) + std::string(1, '\0') + wpt_record(5, 5, 0, "P") + std::string(20, '\0'), 14, 2},
      {"event mark count beyond the file", one + count16(0) + count16(9) + std::string(24, '\0'), 14, 1},
      {"trail count beyond the file", one + count16(0) + count16(0) + count16(3) + std::string(8, '\0'), 14, 1},
      {"trail block of no points", one + one_trail + trail_head("T", 1) + count16(0) + count16(1) + trail_point(1, 1, 1), 14, 1},
      {"trail block beyond the file", one + one_trail + trail_head("T", 5) + count16(5) + trail_point(1, 1, 1), 14, 1},
      {"trail total beyond its blocks", one + one_trail + trail_head("T", 5) + count16(1) + trail_point(1, 1, 1), 14, 1},
      {"trail name length beyond the file", one + one_trail + huge_route.substr(2), 14, 1},
      {"no route count after the waypoints", one, 14, 1},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.what);
    fileatt_t* f = nullptr;
    EXPECT_EQ(load(c.bytes, &f), c.code);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(int(all_of<waypoint_t>(f, CLS_WAYPOINT).size()), c.waypoints_kept);
    loaded_.free_all();
  }
}

TEST_F(UsrRead, TrailPointsKeepTheirOrderAcrossBlocks) {
  // Continuation byte 0 on the first point starts no empty segment; on the last point it
  // keeps the point in the current segment.
  const std::string bytes = usr_head(0, {}) + count16(0) + count16(0) + count16(1) + trail_head("T", 4) +
                            count16(1) + trail_point(0, 10, 0) + count16(3) + trail_point(0, 20, 1) +
                            trail_point(0, 30, 0) + trail_point(0, 40, 0);
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(bytes, &f), 0);
  auto logs = all_of<tracklog_t>(f, CLS_TRACKLOG);
  ASSERT_EQ(logs.size(), 1u);
  ASSERT_EQ(obj_list_count(logs[0]->sons), 2);
  auto* first = static_cast<trackseg_t*>(logs[0]->sons->elems[0]);
  auto* second = static_cast<trackseg_t*>(logs[0]->sons->elems[1]);
  ASSERT_EQ(obj_list_count(first->sons), 2);
  ASSERT_EQ(obj_list_count(second->sons), 2);
  const double order[] = {10, 20, 30, 40};
  for (int i = 0; i < 4; ++i) {
    const trackseg_t* s = i < 2 ? first : second;
    auto* p = static_cast<gpspos_t*>(s->sons->elems[i % 2]);
    double x = 0, y = 0;
    degrees(f, p->coords, &x, &y);
    EXPECT_NEAR(x, order[i] / 6356752.3142 * 180.0 / 3.14159265358979323846, 1e-12);
  }
}

TEST_F(UsrRead, EveryTruncationOfAFixtureEndsCleanly) {
  for (const char* name : {"gpsbabel", "marks", "segments"}) {
    const std::string whole = slurp_file(kDir + name + ".usr");
    for (size_t n = 0; n < whole.size(); ++n) {
      const int r = load(whole.substr(0, n));
      EXPECT_EQ(r, 14) << name << " " << n;
      loaded_.free_all();
    }
  }
}

class UsrDispatch : public tm_test::LoadFixture {};

TEST_F(UsrDispatch, AFileGpsbabelWroteIsRecognisedAndLoaded) {
  usr_init();
  fileatt_t* f = identify("trip.usr", slurp_file(kDir + "gpsbabel.usr"));
  EXPECT_EQ(int(f->fileformat), kUsrFormat);
  ASSERT_EQ(file_load(f, nullptr, 0), 0);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), 5);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_GPSPOS), 4);
}

}  // namespace
