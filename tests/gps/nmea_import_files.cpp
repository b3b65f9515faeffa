// The NMEA import of files gpsbabel wrote from a script-made GPX scene
// (scripts/fixtures/make_nmea_file_fixtures.py), compared with gpsbabel's own reading of
// them: positions, dates and times, speeds and courses (RMC), heights, satellites and
// HDOP (GGA), and the waypoints. gpsbabel's default output, RMC then GGA per fix, gives
// one point per fix with the values of both.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/gps/nmea_import_fixture.h"

namespace {

using tm_test::csv_row;

class NmeaImportFiles : public tm_test::NmeaFilesFixture {
 protected:
  std::vector<gpspos_t*> load_points(const char* name, fileatt_t** out) {
    return load_points_at(tm_test::kNmeaFixtureDir + name, out);
  }
  std::vector<gpspos_t*> load_points_at(const std::string& path, fileatt_t** out) {
    fileatt_t* f = nullptr;
    EXPECT_EQ(load_path(path, &f), 0);
    *out = f;
    std::vector<gpspos_t*> pts;
    for (trackseg_t* s : segments_of(f->sot))
      for (gpspos_t* p : points_of(s)) pts.push_back(p);
    return pts;
  }
  static void expect_position(const container_t* list, const gpspos_t* p, csv_row& row) {
    double x = 0, y = 0;
    degrees_of(list, p, &x, &y);
    EXPECT_NEAR(y, std::stod(row["Latitude"]), 1e-6);
    EXPECT_NEAR(x, std::stod(row["Longitude"]), 1e-6);
  }
  static void expect_date_time(const gpspos_t* p, csv_row& row) {
    const date_rec r = time_of(p);
    int y = 0, m = 0;
    double d = 0;
    date_rec_split(&r, &y, &m, &d);
    char date[16];
    std::snprintf(date, sizeof date, "%04d/%02d/%02d", y, m, int(std::floor(d)));
    EXPECT_EQ(row["Date"], date);
    EXPECT_NEAR(seconds_of_day(p), tm_test::csv_seconds(row["Time"]), 1e-3);
  }
  static void expect_speed_course(const gpspos_t* p, csv_row& row) {
    EXPECT_NEAR(p->speed / 3.6, std::stod(row["Speed"]), 0.006);
    EXPECT_NEAR(p->direction, std::stod(row["Course"]), 0.06);
  }
};

TEST_F(NmeaImportFiles, RmcFileReadsAsGpsbabelReadsIt) {
  fileatt_t* f = nullptr;
  const auto pts = load_points("babel_rmc.nmea", &f);
  auto rows = tm_test::read_unicsv(tm_test::kNmeaFixtureDir + "babel_rmc_tracks.csv");
  ASSERT_EQ(pts.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    expect_position(f->sot, pts[i], rows[i]);
    expect_date_time(pts[i], rows[i]);
    expect_speed_course(pts[i], rows[i]);
  }
}

TEST_F(NmeaImportFiles, GgaFileReadsAsGpsbabelReadsIt) {
  fileatt_t* f = nullptr;
  const auto pts = load_points("babel_gga.nmea", &f);
  auto rows = tm_test::read_unicsv(tm_test::kNmeaFixtureDir + "babel_gga_tracks.csv");
  ASSERT_EQ(pts.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    expect_position(f->sot, pts[i], rows[i]);
    // GGA carries no date (gpsbabel was given it): the time of day only.
    EXPECT_NEAR(seconds_of_day(pts[i]), tm_test::csv_seconds(rows[i]["Time"]), 1e-3);
    EXPECT_NEAR(pts[i]->altitude, std::stod(rows[i]["Altitude"]), 1e-4);
    const obj_t* nav = pts[i]->navig;
    ASSERT_NE(nav, nullptr);
    const auto* n = static_cast<const navigation_t*>(nav);
    EXPECT_EQ(n->nbsatsinvue, std::stoi(rows[i]["Satellites"]));
    EXPECT_NEAR(n->hdop, std::stod(rows[i]["HDOP"]), 1e-9);
  }
}

TEST_F(NmeaImportFiles, FullFileGivesOnePointPerFixWithBothSentences) {
  fileatt_t* f = nullptr;
  const auto pts = load_points("babel_full.nmea", &f);
  auto rmc = tm_test::read_unicsv(tm_test::kNmeaFixtureDir + "babel_rmc_tracks.csv");
  auto gga = tm_test::read_unicsv(tm_test::kNmeaFixtureDir + "babel_gga_tracks.csv");
  ASSERT_EQ(pts.size(), rmc.size());
  ASSERT_EQ(pts.size(), gga.size());
  for (size_t i = 0; i < pts.size(); ++i) {
    SCOPED_TRACE(i);
    expect_position(f->sot, pts[i], rmc[i]);
    expect_date_time(pts[i], rmc[i]);
    expect_speed_course(pts[i], rmc[i]);
    EXPECT_NEAR(pts[i]->altitude, std::stod(gga[i]["Altitude"]), 1e-4);
  }
}

// Fixes without a time are points of their own, one per position: gpsbabel's untimed
// track (its reading in untimed_tracks.csv) exported by our writer reads back point for
// point (GLL, GGA and RMC of one position fill one point), and four GLL sentences with an
// empty time field give four points.
TEST_F(NmeaImportFiles, UntimedFixesGiveOnePointEach) {
  auto rows = tm_test::read_unicsv(tm_test::kNmeaFixtureDir + "untimed_tracks.csv");
  ASSERT_EQ(rows.size(), 7u);
  container_t* layer = new_layer();
  tracklog_t* log = nullptr;
  tracklog_create(layer, &log);
  trackseg_t* s = nullptr;
  trackseg_create(log, layer, &s);
  for (csv_row& row : rows)
    add_point(layer, s, std::stod(row["Longitude"]), std::stod(row["Latitude"]), nullptr,
              std::stod(row["Altitude"]));
  export_text({layer});
  fileatt_t* f = nullptr;
  auto pts = load_points_at(dir_ + "/out.nmea", &f);
  ASSERT_EQ(pts.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    double x = 0, y = 0;  // written to 1e-4 minutes
    degrees_of(f->sot, pts[i], &x, &y);
    EXPECT_NEAR(y, std::stod(rows[i]["Latitude"]), 2e-6);
    EXPECT_NEAR(x, std::stod(rows[i]["Longitude"]), 2e-6);
    EXPECT_NEAR(pts[i]->altitude, std::stod(rows[i]["Altitude"]), 1e-4);
  }
  pts = load_points("untimed_gll.nmea", &f);
  ASSERT_EQ(pts.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    double x = 0, y = 0;
    degrees_of(f->sot, pts[i], &x, &y);
    EXPECT_NEAR(y, std::stod(rows[i]["Latitude"]), 2e-6);
    EXPECT_NEAR(x, std::stod(rows[i]["Longitude"]), 2e-6);
  }
}

// A number field with a stray character (gpsbabel's WPL sentences, one latitude made
// "3x52.000") is no number: that waypoint is dropped, the others read.
TEST_F(NmeaImportFiles, AMalformedNumberDropsItsWaypoint) {
  fileatt_t* f = nullptr;
  load_points("malformed_wpl.nmea", &f);
  auto rows = tm_test::read_unicsv(tm_test::kNmeaFixtureDir + "babel_waypoints.csv");
  const auto w = all_of<waypoint_t>(f->sot, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), rows.size() - 1);
  for (size_t i = 0, k = 0; i < rows.size(); ++i) {
    if (i == 1) continue;  // the malformed one
    SCOPED_TRACE(i);
    EXPECT_EQ(tm_test::narrow_text(w[k]->name), rows[i]["Name"]);
    double x = 0, y = 0;
    degrees_of(f->sot, w[k], &x, &y);
    EXPECT_NEAR(y, std::stod(rows[i]["Latitude"]), 1e-6);
    EXPECT_NEAR(x, std::stod(rows[i]["Longitude"]), 1e-6);
    ++k;
  }
}

TEST_F(NmeaImportFiles, WaypointsReadAsGpsbabelReadsThem) {
  fileatt_t* f = nullptr;
  load_points("babel_full.nmea", &f);
  auto rows = tm_test::read_unicsv(tm_test::kNmeaFixtureDir + "babel_waypoints.csv");
  const auto w = all_of<waypoint_t>(f->sot, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(tm_test::narrow_text(w[i]->name), rows[i]["Name"]);
    double x = 0, y = 0;
    degrees_of(f->sot, w[i], &x, &y);
    EXPECT_NEAR(y, std::stod(rows[i]["Latitude"]), 1e-6);
    EXPECT_NEAR(x, std::stod(rows[i]["Longitude"]), 1e-6);
  }
}

}  // namespace
