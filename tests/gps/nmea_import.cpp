// The NMEA import: one track point per fix (GGA and RMC of one second together), segments
// per START/STOP block, waypoints and routes, datum changes early and late, the clean-up
// of finished segments (date repair, stationary runs), satellites, round trips through
// the export, and cut or hostile files, which keep what was read and never crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/config_state.h"
#include "formats/file_load.h"
#include "formats/gpstext.h"
#include "tests/gps/nmea_import_fixture.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::sentence;
using tm_test::sentences;

class NmeaImport : public tm_test::NmeaFilesFixture {
 protected:
  // The points of every segment, in order.
  static std::vector<gpspos_t*> all_points(const container_t* list) {
    std::vector<gpspos_t*> out;
    for (trackseg_t* s : segments_of(list))
      for (gpspos_t* p : points_of(s)) out.push_back(p);
    return out;
  }
  static void expect_date(const gpspos_t* p, int year, int month, int day, double seconds) {
    const date_rec r = time_of(p);
    int y = 0, m = 0;
    double d = 0;
    date_rec_split(&r, &y, &m, &d);
    EXPECT_EQ(y, year);
    EXPECT_EQ(m, month);
    EXPECT_EQ(int(std::floor(d)), day);
    EXPECT_NEAR((d - std::floor(d)) * 86400.0, seconds, 1e-3);
  }
  // Every object of the list has an id, in increasing order (lookups by id rely on it).
  static void expect_id_ordered(const container_t* list) {
    for (int i = 0; i < obj_list_count(list); ++i) {
      EXPECT_NE(list->elems[i]->id, 0) << i;
      if (i > 0) {
        EXPECT_LT(list->elems[i - 1]->id, list->elems[i]->id) << i;
      }
    }
  }
  static std::string gga(const char* time, const char* lat = "4807.0380", const char* lon = "01131.0000",
                         const char* quality = "1") {
    return sentence(std::string("$GPGGA,") + time + "," + lat + ",N," + lon + ",E," + quality +
                    ",08,0.9,545.4,M,46.9,M,,");
  }
};

TEST_F(NmeaImport, GgaAndRmcOfOneSecondFillOnePoint) {
  fileatt_t* f = nullptr;
  const std::string text =
      gga("123519.00") +
      sentence("$GPRMC,123519.05,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W") +
      gga("123518.00") + gga("123520.00", "4807.0400");
  ASSERT_EQ(load(text, &f), 0);
  const auto segs = segments_of(f->sot);
  ASSERT_EQ(segs.size(), 1u);
  const auto pts = points_of(segs[0]);
  ASSERT_EQ(pts.size(), 2u);
  double x = 0, y = 0;
  degrees_of(f->sot, pts[0], &x, &y);
  EXPECT_NEAR(x, 11.0 + 31.0 / 60.0, 1e-9);
  EXPECT_NEAR(y, 48.0 + 7.038 / 60.0, 1e-9);
  EXPECT_FLOAT_EQ(pts[0]->altitude, 545.4f);
  EXPECT_NEAR(pts[0]->geoidh, 46.9, 1e-4);
  EXPECT_NEAR(pts[0]->coords.z, 498.5, 1e-3);
  EXPECT_NEAR(pts[0]->speed, 22.4 * 1.852, 1e-9);
  EXPECT_NEAR(pts[0]->direction, 84.4, 1e-9);
  expect_date(pts[0], 1994, 3, 23, 12 * 3600 + 35 * 60 + 19);
  expect_date(pts[1], 1994, 3, 23, 12 * 3600 + 35 * 60 + 20);
  const obj_t* nav = pts[0]->navig;
  ASSERT_NE(nav, nullptr);
  const auto* n = static_cast<const navigation_t*>(nav);
  EXPECT_EQ(n->fix, 1);
  EXPECT_NEAR(n->hdop, 0.9, 1e-12);
  const obj_t* father = pts[0]->father;
  EXPECT_EQ(father, all_of<tracklog_t>(f->sot, CLS_TRACKLOG)[0]);
  // Each stored point is in the list once; the styles were given.
  EXPECT_EQ(all_of<gpspos_t>(f->sot, CLS_GPSPOS).size(), 2u);
  expect_id_ordered(f->sot);
  const obj_t* folder = f->folder;
  EXPECT_NE(folder, nullptr);
}

TEST_F(NmeaImport, FixAtMidnightIsOnePoint) {
  fileatt_t* f = nullptr;
  const std::string text =
      gga("235959") + sentence("$GPRMC,000000.000,A,4807.1000,N,01131.0000,E,1.0,2.0,100324,,") +
      gga("000000.000", "4807.1000") + gga("000001", "4807.2000");
  ASSERT_EQ(load(text, &f), 0);
  const auto pts = all_points(f->sot);
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_FLOAT_EQ(pts[1]->altitude, 545.4f);
  EXPECT_NEAR(pts[1]->speed, 1.852, 1e-9);
}

// Number fields with stray characters are no numbers: an RMB destination latitude
// "4x17.24" makes no waypoint (it used to make one at 0 deg 04'), a malformed GGA
// position no point, a malformed speed no speed; the well-formed sentences around them
// are read.
TEST_F(NmeaImport, MalformedNumbersAreNeverHalfRead) {
  fileatt_t* f = nullptr;
  const std::string text =
      sentence("$GPRMB,A,0.66,L,003,004,4x17.24,N,12309.57,W,001.3,052.5,000.5,V") +
      sentence("$GPRMB,A,0.66,L,003,005,4917.24,N,12309.57,W,001.3,052.5,000.5,V") +
      gga("123519", "48O7.0380") + gga("123520", "4807.0380", "011x1.0000") +
      sentence("$GPRMC,123521,A,4807.0380,N,01131.0000,E,02x2.4,084.4,230394,003.1,W") +
      sentence("$GPRMC,123522,A,4807.1380,N,01131.0000,E,022.4,084.4,230394,003.1,W");
  ASSERT_EQ(load(text, &f), 0);
  const auto w = all_of<waypoint_t>(f->sot, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(tm_test::narrow_text(w[0]->name), "005");
  double x = 0, y = 0;
  degrees_of(f->sot, w[0], &x, &y);
  EXPECT_NEAR(y, 49.0 + 17.24 / 60.0, 1e-9);
  const auto pts = all_points(f->sot);
  ASSERT_EQ(pts.size(), 2u);
  degrees_of(f->sot, pts[0], &x, &y);
  EXPECT_NEAR(y, 48.0 + 7.038 / 60.0, 1e-9);
  EXPECT_NEAR(seconds_of_day(pts[0]), 12 * 3600 + 35 * 60 + 21, 1e-3);
  EXPECT_GT(std::fabs(pts[0]->speed - 2.0 * 1.852), 1e-6);  // "02x2.4" is no speed
  EXPECT_NEAR(pts[1]->speed, 22.4 * 1.852, 1e-9);
}

TEST_F(NmeaImport, StartStopMarksGiveOneSegmentPerBlock) {
  fileatt_t* f = nullptr;
  const std::string text = sentences({"$PTMQH,NMEA File Header", "$PGRMM,WGS 84", "$PTMQT,START"}) +
                           gga("100000") + gga("100001", "4807.1000") +
                           sentences({"$PTMQT,STOP", "$PTMQT,START"}) + gga("100005", "4807.2000") +
                           sentence("$PTMQT,STOP") + gga("100009", "4807.3000");
  ASSERT_EQ(load(text, &f), 0);
  const auto segs = segments_of(f->sot);
  ASSERT_EQ(segs.size(), 3u);
  EXPECT_EQ(points_of(segs[0]).size(), 2u);
  EXPECT_EQ(points_of(segs[1]).size(), 1u);
  EXPECT_EQ(points_of(segs[2]).size(), 1u);
}

TEST_F(NmeaImport, WaypointsOnlyGiveWaypointsAndAnEmptyTracklog) {
  fileatt_t* f = nullptr;
  const std::string text = sentences({"$GPWPL,4807.0380,N,01131.0000,E,WPT1",
                                      "$GPWPL,3352.0000,S,15112.0000,E,SYD",
                                      "$GPWPL,4807.0380,N,01131.0000,E,WPT1"});
  ASSERT_EQ(load(text, &f), 0);
  const auto w = all_of<waypoint_t>(f->sot, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(tm_test::narrow_text(w[0]->name), "WPT1");
  double x = 0, y = 0;
  degrees_of(f->sot, w[1], &x, &y);
  EXPECT_NEAR(x, 151.2, 1e-9);
  EXPECT_NEAR(y, -(33.0 + 52.0 / 60.0), 1e-9);
  const auto logs = all_of<tracklog_t>(f->sot, CLS_TRACKLOG);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(obj_list_count(logs[0]->sons), 0);
  EXPECT_TRUE(all_of<gpspos_t>(f->sot, CLS_GPSPOS).empty());
}

TEST_F(NmeaImport, RoutesTakeKnownWaypointsOnceEach) {
  fileatt_t* f = nullptr;
  const std::string text = sentences({
      "$GPWPL,4807.0380,N,01131.0000,E,A", "$GPWPL,4808.0000,N,01131.0000,E,B",
      "$GPWPL,4809.0000,N,01131.0000,E,A",  // another A elsewhere: kept, not used by name
      "$GPRTE,1,1,c,R1,A,X,B",      // X is no waypoint: skipped
      "$GPRTE,1,1,c,R2,X,Y",        // no known waypoint: no route
      "$GPRTE,1,1,c,R1,A,X,B",      // the same route again
      "$GPRTE,1,1,c,R1,B",          // same name, other waypoints
      "$GPRTE,2,1,c,R3,A", "$GPRTE,2,2,c,R3,B",
      "$GPRTE,3,2,c,R4,B",          // a second sentence without its first
  });
  ASSERT_EQ(load(text, &f), 0);
  const auto routes = all_of<route_t>(f->sot, CLS_ROUTE);
  ASSERT_EQ(routes.size(), 3u);
  expect_id_ordered(f->sot);
  const auto names = [](const route_t* r) {
    std::string s = tm_test::narrow_text(r->name) + ":";
    for (int i = 0; i < obj_list_count(r->sons); ++i)
      s += tm_test::narrow_text(static_cast<waypoint_t*>(r->sons->elems[i])->name);
    return s;
  };
  std::vector<std::string> got;
  for (const route_t* r : routes) got.push_back(names(r));
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"R1:AB", "R1:B", "R3:AB"}));
  EXPECT_EQ(all_of<waypoint_t>(f->sot, CLS_WAYPOINT).size(), 3u);
  for (const route_t* r : routes) {
    const auto* first = static_cast<const waypoint_t*>(r->sons->elems[0]);
    if (tm_test::narrow_text(first->name) != "A") continue;
    double x = 0, y = 0;
    degrees_of(f->sot, first, &x, &y);
    EXPECT_NEAR(y, 48.0 + 7.038 / 60.0, 1e-9);
  }
}

TEST_F(NmeaImport, EarlyDatumChangeReprojectsWhatWasRead) {
  const std::string first = gga("100000", "4807.0000", "00230.0000");
  const std::string second = gga("100001", "4808.0000", "00230.0000");
  fileatt_t* wgs = nullptr;
  fileatt_t* ed50 = nullptr;
  fileatt_t* early = nullptr;
  ASSERT_EQ(load(first, &wgs, "wgs.nmea"), 0);
  ASSERT_EQ(load(sentence("$PGRMM,European 1950") + first, &ed50, "ed50.nmea"), 0);
  ASSERT_EQ(load(first + sentence("$PGRMM,European 1950") + second, &early, "early.nmea"), 0);
  double xw = 0, yw = 0, xe = 0, ye = 0, xr = 0, yr = 0;
  degrees_of(wgs->sot, all_points(wgs->sot)[0], &xw, &yw);
  degrees_of(ed50->sot, all_points(ed50->sot)[0], &xe, &ye);
  const auto pts = all_points(early->sot);
  ASSERT_EQ(pts.size(), 2u);
  degrees_of(early->sot, pts[0], &xr, &yr);
  // The datums differ by tens of metres; the point read before the change is read again
  // on the new datum.
  EXPECT_GT(std::hypot(xe - xw, ye - yw), 1e-4);
  EXPECT_LT(std::hypot(xe - xw, ye - yw), 1e-2);
  EXPECT_NEAR(xr, xe, 1e-9);
  EXPECT_NEAR(yr, ye, 1e-9);
}

TEST_F(NmeaImport, LateDatumChangeLeavesEarlierObjectsWhereTheyWere) {
  std::string text;
  for (int i = 0; i < 10; ++i) {
    char t[16], lat[16];
    std::snprintf(t, sizeof t, "1000%02d", i);
    std::snprintf(lat, sizeof lat, "48%02d.0000", i);
    text += gga(t, lat, "00230.0000");
  }
  text += sentence("$PGRMM,European 1950") + gga("100020", "4830.0000", "00230.0000");
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(text, &f), 0);
  const auto pts = all_points(f->sot);
  ASSERT_EQ(pts.size(), 11u);
  double x = 0, y = 0;
  degrees_of(f->sot, pts[0], &x, &y);
  EXPECT_NEAR(x, 2.5, 1e-9);
  EXPECT_NEAR(y, 48.0, 1e-9);
  degrees_of(f->sot, pts[10], &x, &y);
  EXPECT_GT(std::hypot(x - 2.5, y - 48.5), 1e-4);
}

TEST_F(NmeaImport, StationaryRunsKeepTheirEnds) {
  std::string text;
  for (int i = 0; i < 5; ++i) text += gga(("10000" + std::to_string(i)).c_str());
  text += gga("100010", "4807.1000") + gga("100011", "4807.2000");
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(text, &f), 0);
  const auto pts = all_points(f->sot);
  ASSERT_EQ(pts.size(), 4u);
  EXPECT_NEAR(seconds_of_day(pts[0]), 36000, 1e-3);
  EXPECT_NEAR(seconds_of_day(pts[1]), 36004, 1e-3);
  EXPECT_NEAR(seconds_of_day(pts[2]), 36010, 1e-3);
  // What the clean-up took out of the segment left the list too.
  EXPECT_EQ(all_of<gpspos_t>(f->sot, CLS_GPSPOS).size(), 4u);
}

TEST_F(NmeaImport, EqualPositionsWithEqualTimesKeepTheSecond) {
  // Positions without time: each is a point of its own, all at time 0.
  fileatt_t* f = nullptr;
  const std::string text = sentences({"$GPGLL,4807.0000,N,00230.0000,E", "$GPGLL,4807.0000,N,00230.0000,E",
                                      "$GPGLL,4808.0000,N,00230.0000,E", "$GPGLL,4809.0000,N,00230.0000,E"});
  ASSERT_EQ(load(text, &f), 0);
  const auto all = all_of<gpspos_t>(f->sot, CLS_GPSPOS);
  const auto pts = all_points(f->sot);
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_EQ(all.size(), 3u);
  double x = 0, y = 0;
  degrees_of(f->sot, pts[1], &x, &y);
  EXPECT_NEAR(y, 48.0 + 8.0 / 60.0, 1e-9);
}

struct date_case {
  const char* rmc_date;
  int year, month, day_before, day;
};

TEST_F(NmeaImport, PointsBeforeTheFirstDateTakeIt) {
  const date_case cases[] = {{"150324", 2024, 3, 14, 15},
                             // First of a month: the day before is in the month before.
                             {"010324", 2024, 2, 29, 1}};
  for (const date_case& c : cases) {
    SCOPED_TRACE(c.rmc_date);
    const std::string text =
        gga("235958", "4807.0000") + gga("235959", "4807.1000") + gga("000002", "4807.2000") +
        sentence(std::string("$GPRMC,000005,A,4807.3000,N,01131.0000,E,1.0,2.0,") + c.rmc_date +
                 ",,") +
        gga("000006", "4807.4000");
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(text, &f, (std::string(c.rmc_date) + ".nmea").c_str()), 0);
    const auto pts = all_points(f->sot);
    ASSERT_EQ(pts.size(), 5u);
    expect_date(pts[0], c.year, c.month, c.day_before, 86398);
    expect_date(pts[1], c.year, c.month, c.day_before, 86399);
    expect_date(pts[2], 2024, 3, c.day, 2);
    expect_date(pts[3], 2024, 3, c.day, 5);
    expect_date(pts[4], 2024, 3, c.day, 6);
  }
}

TEST_F(NmeaImport, FarYearsKeepTheirDate) {
  // Found by the fuzz harness: a ZDA date of year 900024 overflowed the packed date.
  fileatt_t* f = nullptr;
  const std::string text = gga("235959") + sentence("$GPZDA,235959.750,2,3,900024,,") +
                           gga("235959.75", "4807.1000");
  ASSERT_EQ(load(text, &f), 0);
  const auto pts = all_points(f->sot);
  ASSERT_EQ(pts.size(), 2u);
  expect_date(pts[1], 900024, 3, 2, 86399.75);
}

TEST_F(NmeaImport, SatellitesOfAGsvSeriesAreMadeOnce) {
  fileatt_t* f = nullptr;
  const std::string text =
      gga("100000") +
      sentences({"$GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45",
                 "$GPGSV,2,2,08,15,10,100,30,16,11,101,31,17,12,102,32,18,13,103,33",
                 "$GPRMC,100000,A,4807.0380,N,01131.0000,E,1.0,2.0,230394,,"}) +
      gga("100001", "4807.1000") + sentence("$GPGSV,1,1,03,05,40,083,46,06,17,308,41,07,07,344,39");
  ASSERT_EQ(load(text, &f), 0);
  const auto pts = all_points(f->sot);
  ASSERT_EQ(pts.size(), 2u);
  ASSERT_EQ(obj_list_count(pts[0]->idsats), 8);
  ASSERT_EQ(obj_list_count(pts[1]->idsats), 3);
  EXPECT_EQ(all_of<satellite_t>(f->sot, CLS_SATELLITE).size(), 11u);
  const auto* s0 = static_cast<const satellite_t*>(pts[0]->idsats->elems[0]);
  const auto* s7 = static_cast<const satellite_t*>(pts[0]->idsats->elems[7]);
  EXPECT_EQ(s0->prn, 1);
  EXPECT_EQ(s0->snr, 46);
  EXPECT_EQ(s7->prn, 18);
  EXPECT_EQ(static_cast<const satellite_t*>(pts[1]->idsats->elems[2])->prn, 7);
}

// Objects that would leave less than the import's margin of the memory budget stop it
// with "not enough memory"; what was read stays in the list, without styles (the budget
// here: a ceiling 100 MB above what the process held before).
TEST_F(NmeaImport, ObjectsBeyondTheMemoryBudgetStopTheRead) {
  std::string text;
  for (int i = 0; i < 5000; ++i) {
    char t[16], lat[16];
    std::snprintf(t, sizeof t, "%02d%02d%02d", i / 3600, i / 60 % 60, i % 60);
    std::snprintf(lat, sizeof lat, "48%02d.%04d", i % 60, i);
    text += gga(t, lat);
  }
  // The ceiling: 100 MB above what the process holds before the block below.
  const std::string ceiling = tm_test::maxmem_above_held(100);
  if (ceiling.empty()) GTEST_SKIP() << "the process already holds more than the largest memory ceiling";
  constexpr size_t kHeld = size_t(160) << 20;
  auto held = std::make_unique<char[]>(kHeld);
  std::memset(held.get(), 1, kHeld);  // resident, so counted as committed
  config_set("MAXMEM", ceiling.c_str());
  config_detail::forget_maxmem();
  fileatt_t* f = nullptr;
  const int result = load(text, &f);
  config_set("MAXMEM", "1500");  // the default ceiling
  config_detail::forget_maxmem();
  EXPECT_EQ(result, ERR_MEMORY);
  const size_t kept = all_of<gpspos_t>(f->sot, CLS_GPSPOS).size();
  EXPECT_GT(kept, 1000u);
  EXPECT_LT(kept, 5000u);
  const obj_t* folder = f->folder;
  EXPECT_EQ(folder, nullptr);
  fileatt_t* g = nullptr;
  EXPECT_EQ(load(text, &g, "again.nmea"), 0);
  EXPECT_EQ(all_points(g->sot).size(), 5000u);
}

TEST_F(NmeaImport, UnopenableFileIsErrorTwo) {
  EXPECT_EQ(load_path(dir_ + "/missing.nmea"), ERR_FILE_ACCESS);
}

TEST_F(NmeaImport, CutFileKeepsWhatWasRead) {
  const std::string whole = gga("100000") + gga("100001", "4807.1000") + gga("100002", "4807.2000");
  for (size_t cut = 0; cut <= whole.size(); cut += 7) {
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(whole.substr(0, cut), &f, ("cut" + std::to_string(cut)).c_str()), 0) << cut;
    const size_t complete = whole.substr(0, cut).size() / gga("100000").size();
    const size_t got = all_points(f->sot).size();
    EXPECT_GE(got, complete > 0 ? complete : 0) << cut;
    EXPECT_LE(got, complete + 1) << cut;
  }
}

TEST_F(NmeaImport, LongLinesLoseTheirSentenceOnly) {
  const std::string padded = std::string(190, ' ') + gga("100001", "4807.1000");
  const std::string text = gga("100000") + padded + gga("100002", "4807.2000") +
                           std::string(5000, 'x') + "\n" + gga("100003", "4807.3000");
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(text, &f), 0);
  const auto pts = all_points(f->sot);
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_NEAR(seconds_of_day(pts[1]), 36002, 1e-3);
  // A sentence that just fits the 200 characters is read.
  const std::string fits = std::string(200 - (gga("100001").size() - 2), ' ') + gga("100001", "4807.1000");
  fileatt_t* g = nullptr;
  ASSERT_EQ(load(gga("100000") + fits, &g, "fits.nmea"), 0);
  EXPECT_EQ(all_points(g->sot).size(), 2u);
}

TEST_F(NmeaImport, HostileBytesNeverCrash) {
  std::mt19937 rng(7);
  const std::string good = gga("100000");
  static const char kBytes[] = "$*,\r\n0123456789ABCDEFGPRMCGGAWPLTE.NSEW \0\xff";
  const std::string alphabet(kBytes, sizeof kBytes - 1);
  for (int round = 0; round < 40; ++round) {
    std::string text = good;
    const int n = 200 + int(rng() % 3000);
    for (int i = 0; i < n; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
    fileatt_t* f = nullptr;
    const int r = load(text, &f, ("h" + std::to_string(round)).c_str());
    EXPECT_EQ(r, 0);
    EXPECT_GE(all_points(f->sot).size(), 1u);
  }
}

TEST_F(NmeaImport, RoundTripKeepsSegmentsHeightsAndValues) {
  container_t* layer = new_layer();
  tracklog_t* log = nullptr;
  tracklog_create(layer, &log);
  std::vector<gpspos_t*> made;
  for (int seg = 0; seg < 2; ++seg) {
    trackseg_t* s = nullptr;
    trackseg_create(log, layer, &s);
    for (int i = 0; i < 3 + seg; ++i) {
      const date_rec t = tm_test::at_time(2024, 3, 9, 10 + seg, 0, i * 1.5);
      gpspos_t* p = add_point(layer, s, 2.25 + i / 600.0, -(48.75 + seg / 60.0), &t, 100.0 + i);
      p->geoidh = float(40.0 + i);
      p->speed = 10.0 + i;
      p->direction = 90.0 + i;
      made.push_back(p);
    }
  }
  waypoint_t* w = nullptr;
  waypoint_create(-3.5, 40.25, "HOME", nullptr, 0, 0, 0, 0.0, layer, &w);
  route_t* r = nullptr;
  route_create(layer, &r);
  mbs_to_wcs("TRIP", &r->name);
  obj_list_append(r->sons, w);
  export_text({layer});
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(dir_ + "/out.nmea", &f), 0);
  const auto segs = segments_of(f->sot);
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(points_of(segs[0]).size(), 3u);
  EXPECT_EQ(points_of(segs[1]).size(), 4u);
  const auto pts = all_points(f->sot);
  ASSERT_EQ(pts.size(), made.size());
  for (size_t i = 0; i < pts.size(); ++i) {
    SCOPED_TRACE(i);
    double x = 0, y = 0;
    degrees_of(f->sot, pts[i], &x, &y);
    EXPECT_NEAR(x, made[i]->coords.x, 2e-6);
    EXPECT_NEAR(y, made[i]->coords.y, 2e-6);
    EXPECT_NEAR(pts[i]->altitude, made[i]->altitude, 1e-4);
    EXPECT_NEAR(pts[i]->geoidh, made[i]->geoidh, 1e-4);
    EXPECT_NEAR(pts[i]->speed, made[i]->speed, 2e-4);
    EXPECT_NEAR(pts[i]->direction, made[i]->direction, 1e-4);
    const date_rec a = time_of(pts[i]), b = time_of(made[i]);
    EXPECT_NEAR(date_time_diff(a.date, a.day, b.date, b.day) * 86400.0, 0.0, 1e-3);
  }
  const auto wpts = all_of<waypoint_t>(f->sot, CLS_WAYPOINT);
  ASSERT_EQ(wpts.size(), 1u);
  double x = 0, y = 0;
  degrees_of(f->sot, wpts[0], &x, &y);
  EXPECT_NEAR(x, -3.5, 2e-6);
  EXPECT_NEAR(y, 40.25, 2e-6);
  const auto routes = all_of<route_t>(f->sot, CLS_ROUTE);
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(tm_test::narrow_text(routes[0]->name), "TRIP");
  EXPECT_EQ(obj_list_count(routes[0]->sons), 1);
}

TEST_F(NmeaImport, CleanupLeavesShortSegmentsAlone) {
  container_t* layer = new_layer();
  tracklog_t* log = nullptr;
  tracklog_create(layer, &log);
  trackseg_t* s = nullptr;
  trackseg_create(log, layer, &s);
  const date_rec t{0.5, 0.5};
  for (int i = 0; i < 3; ++i) add_point(layer, s, 1, 1, &t);
  nmea_track_cleanup(s, nullptr);
  EXPECT_EQ(obj_list_count(s->sons), 3);
}

TEST_F(NmeaImport, ReaderSlotOfFormat39IsTheImport) {
  format_readers_clear();
  nmea_files_init();
  EXPECT_EQ(format_reader_of(kNmeaFileFormat), &read_nmea_file);
  // The GPS text files' reader hands format 39 to that slot.
  fileatt_t* f = nullptr;
  const std::string path = tm_test::write_file(dir_ + "/d.nmea", gga("100000") + gga("100001", "4807.1000"));
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &f);
  ASSERT_NE(f, nullptr);
  loaded_.adopt(f);
  f->fileformat = kNmeaFileFormat;
  obj_list_new(&f->sot);
  EXPECT_EQ(gpstext_read(f, f->sot), 0);
  EXPECT_EQ(all_points(f->sot).size(), 2u);
  format_readers_clear();
}

TEST_F(NmeaImport, ExportOfAFileObjectReadsBack) {
  container_t* content = nullptr;
  obj_list_new(&content);
  add_georef(content);
  waypoint_create(7.25, 46.5, "PEAK", nullptr, 0, 0, 0, 0.0, content, nullptr);
  fileatt_t* source = new_file(content);
  const std::string path = dir_ + "/file.nmea";
  nmea_export(path.c_str(), nullptr, source);
  EXPECT_EQ(get_gblerr(), 0);
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(path, &f), 0);
  const auto w = all_of<waypoint_t>(f->sot, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(tm_test::narrow_text(w[0]->name), "PEAK");
  // Into a memory file when no path is given.
  fileatt_t* mem = nullptr;
  file_new_in_memory(&mem);
  ASSERT_NE(mem, nullptr);
  nmea_export(nullptr, mem, source);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(memory_bytes(mem), tm_test::slurp_file(path));
  obj_t* o = mem;
  free_obj(&o);
}

}  // namespace
