// The NMEA export of a whole scene against the committed tests/fixtures/nmea_files/
// ours.nmea (byte for byte, the stamps based on a fixed time of export), and gpsbabel's
// reading of that file (stored by scripts/fixtures/make_nmea_file_fixtures.py): the same
// track points, times, speeds and courses, and the same waypoints.
//
// TM_NMEA_WRITE_FIXTURE=1 makes the first test write ours.nmea again (then run the
// fixture script to refresh gpsbabel's readings).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/gps/nmea_import_fixture.h"

namespace {

using tm_test::at_time;

struct expected_point {
  double lon, lat, speed_kmh, course;
  date_rec time;
};

class NmeaExportFiles : public tm_test::NmeaFilesFixture {
 protected:
  // The scene: four waypoints (one with a comma in its name), a route over two of them,
  // a tracklog of two segments (the second crossing midnight south and west of zero) and
  // a track.
  container_t* scene() {
    container_t* layer = new_layer();
    struct wpt { const char* name; double lon, lat; };
    const wpt wpts[] = {{"ALPHA", 11.516667, 48.1173},
                        {"SOUTH EAST", 151.2, -33.8666667},
                        {"A, B", -3.7038, 40.4168},
                        {"LIMA", -77.0428, -12.0464}};
    std::vector<waypoint_t*> made;
    for (const wpt& w : wpts) {
      waypoint_t* p = nullptr;
      waypoint_create(w.lon, w.lat, w.name, nullptr, 0, 0, 0, 0.0, layer, &p);
      made.push_back(p);
    }
    route_t* r = nullptr;
    route_create(layer, &r);
    mbs_to_wcs("TOUR", &r->name);
    obj_list_append(r->sons, made[0]);
    obj_list_append(r->sons, made[3]);
    tracklog_t* log = nullptr;
    tracklog_create(layer, &log);
    trackseg_t* s1 = nullptr;
    trackseg_create(log, layer, &s1);
    for (int i = 0; i < 6; ++i) {
      const date_rec t = at_time(2024, 3, 9, 10, 0, i * 1.25);
      gpspos_t* p = add_point(layer, s1, 2.25 + i * 0.00051, 48.75 + i * 0.00037, &t, 100.0 + i);
      p->geoidh = 47.5f;
      p->speed = 10.0 + 2 * i;
      p->direction = 10.0 + 30 * i;
      navigation_t* n = nullptr;
      alloc_obj(CLS_NAVIGATION, &n);
      n->fix = 3;
      n->nbsatsinvue = 7;
      n->hdop = 1.1;
      p->navig = n;
      points_.push_back({p->coords.x, p->coords.y, p->speed, p->direction, t});
    }
    trackseg_t* s2 = nullptr;
    trackseg_create(log, layer, &s2);
    for (int i = 0; i < 3; ++i) {
      const date_rec t = at_time(2024, 3, 9, 23, 59, 59.0 + i * 0.75);
      gpspos_t* p = add_point(layer, s2, -58.38159 - i * 0.00029, -34.60372 - i * 0.00041, &t, 25.0);
      p->speed = 4.0 + i;
      p->direction = 200.0 + i;
      points_.push_back({p->coords.x, p->coords.y, p->speed, p->direction, t});
    }
    obj_t* track = nullptr;
    obj_new_in_list(layer, CLS_NAVSEG, &track);
    container_t* sons = obj_create_sons_list(track, 0, 0, 0);
    for (int i = 0; i < 2; ++i) {
      const date_rec t = at_time(2024, 3, 10, 6, 30, i * 2.0);
      gpspos_t* p = add_point(layer, nullptr, 7.0 + i * 0.001, 46.0, &t, 0.0);
      obj_list_append(sons, p);
      points_.push_back({p->coords.x, p->coords.y, NULL_DOUBLE, NULL_DOUBLE, t});
    }
    return layer;
  }
  std::vector<expected_point> points_;
};

TEST_F(NmeaExportFiles, SceneIsWrittenAsTheCommittedFile) {
  const std::string text = export_text({scene()});
  const std::string path = tm_test::kNmeaFixtureDir + "ours.nmea";
  if (const char* w = std::getenv("TM_NMEA_WRITE_FIXTURE"); w && *w == '1') tm_test::write_file(path, text);
  EXPECT_EQ(text, tm_test::slurp_file(path));
}

TEST_F(NmeaExportFiles, GpsbabelReadsOurTrackPoints) {
  scene();
  const auto rows = tm_test::read_unicsv(tm_test::kNmeaFixtureDir + "ours_tracks.csv");
  ASSERT_EQ(rows.size(), points_.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    const expected_point& e = points_[i];
    auto row = rows[i];
    EXPECT_NEAR(std::stod(row["Latitude"]), e.lat, 2e-6);
    EXPECT_NEAR(std::stod(row["Longitude"]), e.lon, 2e-6);
    int y = 0, m = 0;
    double d = 0;
    date_rec_split(&e.time, &y, &m, &d);
    char date[16];
    std::snprintf(date, sizeof date, "%04d/%02d/%02d", y, m, int(std::floor(d)));
    EXPECT_EQ(row["Date"], date);
    EXPECT_NEAR(tm_test::csv_seconds(row["Time"]), (d - std::floor(d)) * 86400.0, 1e-3);
    if (e.speed_kmh == NULL_DOUBLE) continue;
    // gpsbabel makes the file's first point of the GLL sentence it meets before any GGA,
    // and gives it no speed or course; every other point has ours.
    if (i == 0 && row["Speed"].empty()) continue;
    EXPECT_NEAR(std::stod(row["Speed"]), e.speed_kmh / 3.6, 0.006);
    EXPECT_NEAR(std::stod(row["Course"]), e.course, 0.06);
  }
}

TEST_F(NmeaExportFiles, GpsbabelReadsOurWaypoints) {
  const auto rows = tm_test::read_unicsv(tm_test::kNmeaFixtureDir + "ours_waypoints.csv");
  const struct { const char* name; double lon, lat; } want[] = {{"ALPHA", 11.516667, 48.1173},
                                                                {"SOUTH EAST", 151.2, -33.8666667},
                                                                {"A  B", -3.7038, 40.4168},
                                                                {"LIMA", -77.0428, -12.0464}};
  ASSERT_EQ(rows.size(), std::size(want));
  for (size_t i = 0; i < rows.size(); ++i) {
    auto row = rows[i];
    EXPECT_EQ(row["Name"], want[i].name);
    EXPECT_NEAR(std::stod(row["Latitude"]), want[i].lat, 2e-6);
    EXPECT_NEAR(std::stod(row["Longitude"]), want[i].lon, 2e-6);
  }
}

}  // namespace
