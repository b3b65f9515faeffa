// The Magellan log reader: files the reference converter wrote from known points
// (scripts/fixtures/make_magellan_fixtures.py), the edge file of the same script, the
// symbol tables, recognition, hostile lines, and the converter reading what the driver
// wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "formats/recognise.h"
#include "gps/loggers/magellan.h"
#include "tests/formats/load_fixture.h"
#include "tests/support/run_tool.h"

namespace {

const std::string kDir = TM_FIXTURE_DIR "/magellan/";

struct known_wpt {
  double lat, lon, ele;
  std::u16string name, comment;
};

known_wpt waypoint(int i) {
  known_wpt w{45.25 + 0.125 * i, 6.5 - 0.375 * i, 100.0 + 10 * i, u"WP0", u"note "};
  if (i == 2) w.lat = -12.5, w.lon = -70.75;
  w.name += char16_t(u'0' + i);
  w.comment += char16_t(u'0' + i);
  return w;
}

// A field of a packed record, copied out.
#define GET(field)                                  \
  ([&] {                                            \
    std::remove_cv_t<decltype(field)> v_;           \
    std::memcpy(&v_, &(field), sizeof v_);          \
    return v_;                                      \
  }())

std::u16string wide(char16_t* p) { return p ? std::u16string(p) : std::u16string(); }

class MagellanLog : public tm_test::ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    magellan_log_register();
  }
  void free_tables() override { magellan_log_free(); }

  fileatt_t* read(const std::string& path, int expect = 0) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return nullptr;
    const int r = magellan_log_read(f, f->sot);
    EXPECT_EQ(r, expect);
    EXPECT_EQ(get_gblerr(), 0);
    loaded_.unload_at_end(f, r != 0);
    return f;
  }
  template <class T> static std::vector<T*> all(fileatt_t* f, int cls) { return tm_test::objects_of<T>(f->sot, cls); }
};

TEST_F(MagellanLog, ConverterWrittenWaypointsHoldTheKnownPoints) {
  fileatt_t* f = read(kDir + "waypoints.mgl");
  ASSERT_NE(f, nullptr);
  const auto w = all<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    const known_wpt k = waypoint(i);
    const gps_point_t c = GET(w[size_t(i)]->coords);
    EXPECT_NEAR(c.y, k.lat, 1e-7) << i;
    EXPECT_NEAR(c.x, k.lon, 1e-7) << i;
    EXPECT_EQ(GET(w[size_t(i)]->altitude), float(k.ele)) << i;
    EXPECT_EQ(wide(GET(w[size_t(i)]->name)), k.name);
    EXPECT_EQ(wide(GET(w[size_t(i)]->comment)), k.comment);
    EXPECT_EQ(GET(w[size_t(i)]->symbol), 19);  // icon "a", product 0
  }
}

TEST_F(MagellanLog, ConverterWrittenTrackAndRouteHoldTheKnownPoints) {
  fileatt_t* t = read(kDir + "track.mgl");
  ASSERT_NE(t, nullptr);
  const auto pts = all<gpspos_t>(t, CLS_GPSPOS);
  ASSERT_EQ(pts.size(), 5u);
  EXPECT_EQ(all<tracklog_t>(t, CLS_TRACKLOG).size(), 1u);
  for (int i = 0; i < 5; ++i) {
    const gps_point_t c = GET(pts[size_t(i)]->coords);
    EXPECT_NEAR(c.y, 45.5 + 0.01 * i, 1e-7);
    EXPECT_NEAR(c.x, 6.25 + 0.01 * i, 1e-7);
    EXPECT_EQ(GET(pts[size_t(i)]->altitude), float(1000 + 10 * i));
    const date_rec when = GET(pts[size_t(i)]->time);
    char* iso = nullptr;
    format_date_iso_span(&when, 1, 1, &iso);
    const int s = 12 * 3600 + 34 * 60 + 56 + 10 * i;
    char want[32];
    std::snprintf(want, sizeof want, "2024-05-06T%02d:%02d:%02dZ", s / 3600, s / 60 % 60, s % 60);
    EXPECT_STREQ(iso, want);
    free_mem(&iso);
  }
  fileatt_t* r = read(kDir + "route.mgl");
  ASSERT_NE(r, nullptr);
  const auto routes = all<route_t>(r, CLS_ROUTE);
  ASSERT_EQ(routes.size(), 1u);
  container_t* sons = GET(routes[0]->sons);
  ASSERT_EQ(obj_list_count(sons), 3);
  const int order[3] = {0, 2, 3};
  for (int i = 0; i < 3; ++i) {
    waypoint_t* w = static_cast<waypoint_t*>(sons->elems[i]);
    EXPECT_EQ(wide(GET(w->name)), waypoint(order[i]).name);
    EXPECT_NEAR(GET(w->coords).y, waypoint(order[i]).lat, 1e-7);
  }
}

TEST_F(MagellanLog, EdgeLinesAsTheFormatReadsThem) {
  fileatt_t* f = read(kDir + "edges.mgl");
  ASSERT_NE(f, nullptr);
  const auto w = all<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 3u);
  EXPECT_NEAR(GET(w[0]->altitude), 328 * 0.3048, 1e-3);  // feet
  EXPECT_EQ(GET(w[0]->symbol), 32);                       // "b", product 0
  EXPECT_EQ(GET(w[1]->symbol), 0);                        // index 21, product 0
  EXPECT_EQ(GET(w[2]->symbol), 0);                        // no icon
  // Status V makes no point; two track names make two tracklogs.
  EXPECT_EQ(all<gpspos_t>(f, CLS_GPSPOS).size(), 2u);
  const auto logs = all<tracklog_t>(f, CLS_TRACKLOG);
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(wide(GET(logs[0]->name)), u"t1");
  EXPECT_EQ(wide(GET(logs[1]->name)), u"t2");
  // The two-part route: its name last, the unknown name skipped; the route of a comment
  // only has no point and is removed.
  const auto routes = all<route_t>(f, CLS_ROUTE);
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(wide(GET(routes[0]->name)), u"Two part");
  container_t* sons = GET(routes[0]->sons);
  ASSERT_EQ(obj_list_count(sons), 3);
  EXPECT_EQ(wide(GET(static_cast<waypoint_t*>(sons->elems[2])->name)), u"NOICON");
}

TEST(MagellanSymbols, ProductTablesGiveTheSymbols) {
  struct row {
    const char* icon;
    long product;
    int symbol;
  };
  const row rows[] = {
      {"a", 0, 19}, {"b", 0, 32}, {"b", 4, 32}, {"b", 6, 32}, {"t", 0, 17}, {"u", 0, 19},
      {"au", 0, 0}, {"at", 0, 19}, {"b", 5, 10}, {"s", 5, 4},  {"t", 5, 0},  {"k", 7, 3},
      {"l", 7, 0},  {"b", 8, 0},   {"b", -1, 0}, {"", 0, 0},   {"A", 0, 19}, {"zz", 0, 0},
  };
  for (const row& r : rows)
    EXPECT_EQ(magellan_symbol(r.icon, r.product), r.symbol) << r.icon << " " << r.product;
}

TEST(MagellanRecognition, OnlyTheTenNamesMakeAMagellanLog) {
  struct row {
    const char* head;
    int magellan;
  };
  const row rows[] = {
      {"$PMGNWPL,4500.000,N", 1}, {"$PMGNCMD,END*3D", 1}, {"$PMGNFMT,1", 1},
      {"$PMGNXYZ,1", 0},          {"$PMGNWPLX,1", 0},     {"PMGNWPL,1", 0},
  };
  for (const row& r : rows) EXPECT_EQ(magellan_log_check(r.head, std::strlen(r.head)), r.magellan) << r.head;
}

TEST_F(MagellanLog, HostileLinesEndWithTheReadersCode) {
  auto sentence = [](const std::string& body) {
    int x = 0;
    for (char c : body) x ^= uint8_t(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", x);
    return "$" + body + tail;
  };
  struct row {
    const char* name;
    std::string bytes;
    int result;
    size_t waypoints;
  };
  const std::string wpl = sentence("PMGNWPL,4500.000,N,00600.000,E,0000010,M,A,,a");
  const row rows[] = {
      {"continuation without its route", wpl + sentence("PMGNRTE,2,2,c,1,A"), ERR_BAD_FILE, 1},
      {"line of 5000 characters", sentence("PMGNWPL," + std::string(5000, '9')) + wpl, 0, 1},
      {"fields without values", sentence("PMGNWPL,,,,,,,,,") + sentence("PMGNTRK,,,,,,,,A,,"), 0, 1},
      {"route sentence without values", wpl + sentence("PMGNRTE,,,,"), ERR_BAD_FILE, 1},
      {"bad checksum", "$PMGNWPL,4500.000,N,00600.000,E,0000010,M,B,,a*00\r\n", 0, 0},
      {"binary noise", std::string("\0\xff$PMGN\r\n\x01,,*", 14) + wpl, 0, 1},
      {"empty file", "", 0, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    fileatt_t* f = read(tm_test::write_file(dir_ + "/case.mgl", r.bytes), r.result);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(all<waypoint_t>(f, CLS_WAYPOINT).size(), r.waypoints);
    loaded_.free_one(f);
  }
}

// The reference converter reads the log the driver writes (version line, data lines
// and the END line as the receiver sent them).
TEST_F(MagellanLog, TheReferenceConverterReadsADriverWrittenLog) {
  if (!tm_test::tool_present("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  const std::string log =
      "$PMGNVER,19,2.22,MERIDIAN GPS*18\r\n"
      "$PMGNWPL,4807.0380,N,01131.0000,E,0000200,M,WPT001,first one,a*08\r\n"
      "$PMGNWPL,3315.0000,S,07007.5000,W,0000100,M,WPT002,,b*39\r\n"
      "$PMGNCMD,END*3D\r\n";
  const std::string path = tm_test::write_file(dir_ + "/driver.mglw", log);
  std::string out;
  ASSERT_EQ(tm_test::run_tool({"gpsbabel", "-w", "-i", "magellan", "-f", path, "-o", "unicsv", "-F", "-"}, &out, 30000),
            0)
      << out;
  EXPECT_NE(out.find("48.117300,11.516667,\"WPT001\""), std::string::npos) << out;
  EXPECT_NE(out.find("-33.250000,-70.125000,\"WPT002\""), std::string::npos) << out;
  fileatt_t* f = read(path);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(all<waypoint_t>(f, CLS_WAYPOINT).size(), 2u);
  EXPECT_EQ(GET(all<waypoint_t>(f, CLS_WAYPOINT)[1]->symbol), 0);  // product 19 has no table
}

}  // namespace
