// The readers of the system's own GPS text files on the script-made fixtures and on
// small texts: what each column gives the objects, the header table, the edge cases of
// counts and presence lines, and malformed input refused with nothing left behind.
#include <cmath>
#include <fstream>
#include <sstream>

#include "core/dates.h"
#include "core/object.h"
#include "core/wstring.h"
#include "geodesy/xform_records.h"
#include "tests/formats/gpstext_fixture.h"

namespace {

using tm_test::slurp_file;

using tm_test::GpsTextFixture;
using tm_test::packed;
using tm_test::wide;

const std::string kDir = TM_FIXTURE_DIR "/gpstext/";

std::vector<std::vector<std::string>> expected_rows(const std::string& kind) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(slurp_file(kDir + "expected.txt"));
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::istringstream cols(line);
    for (std::string c; std::getline(cols, c, ';');) f.push_back(c);
    if (line.size() && line.back() == ';') f.emplace_back();
    if (!f.empty() && f[0] == kind) rows.push_back(f);
  }
  return rows;
}

std::u16string u16(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

const char* kWptHeader = "TMW-V2_Tarmelo_Waypoint\nGarmin test 1\n";
const char* kWptFlags = "1;1;1;1;1;2;1;1;1;1;1;1;0;0;1;1;1;1;1;1;\n";
const char* kWptRecord =
    "'A';1.500000000000000;2.500000000000000;'c';1;1;0;000;000;000;"
    "1.000000000000e+01;0.000000000000e+00;0;'';'';'';'';'';\n";

class GpsTextRead : public GpsTextFixture {};

TEST_F(GpsTextRead, VersionOneWaypointsInSemicircles) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "v1_waypoints.tmw", &f), 0);
  const auto rows = expected_rows("v1w");
  const auto w = waypoints(f);
  ASSERT_EQ(w.size(), rows.size());
  for (size_t i = 0; i < w.size(); ++i) {
    EXPECT_EQ(wide(w[i]->name), u16(rows[i][1]));
    EXPECT_NEAR(packed(w[i]->coords.x), std::stod(rows[i][2]), 1e-11);
    EXPECT_NEAR(packed(w[i]->coords.y), std::stod(rows[i][3]), 1e-11);
    EXPECT_EQ(wide(w[i]->comment), u16(rows[i][4]));
    EXPECT_EQ(packed(w[i]->symbol), std::stoi(rows[i][5]));
    EXPECT_EQ(packed(w[i]->display), std::stoi(rows[i][6]));
    EXPECT_EQ(packed(w[i]->altitude), 0.0f);
  }
  EXPECT_TRUE(obj_list_has_class(f->sot, CLS_GEOREF));
  EXPECT_NE(file_get_first_folder(f, nullptr), nullptr);
}

TEST_F(GpsTextRead, VersionOneTrackPointsBeforeTheFirstFlagHaveNoSegment) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "v1_track.tmt", &f), 0);
  const auto rows = expected_rows("v1t");
  const auto p = points(f);
  ASSERT_EQ(p.size(), rows.size());
  ASSERT_EQ(tracklogs(f).size(), 1u);
  const auto segs = segments(f);
  for (size_t i = 0; i < p.size(); ++i) {
    EXPECT_NEAR(packed(p[i]->coords.x), std::stod(rows[i][1]), 1e-11);
    EXPECT_NEAR(packed(p[i]->coords.y), std::stod(rows[i][2]), 1e-11);
    date_rec want;
    date_from_seconds_1989(&want, uint32_t(std::stoul(rows[i][3])));
    EXPECT_DOUBLE_EQ(packed(p[i]->time).date, want.date);
    const int seg = std::stoi(rows[i][4]);
    EXPECT_EQ(segment_of(f, p[i]), seg == 0 ? nullptr : segs.at(size_t(seg - 1))) << i;
  }
}

TEST_F(GpsTextRead, VersionTwoWaypointsTakeTheirPresentFields) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "v2_waypoints.tmw", &f), 0);
  const auto w = waypoints(f);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(wide(w[0]->name), u"CAMP");
  EXPECT_EQ(wide(w[0]->comment), u"base; camp");
  EXPECT_DOUBLE_EQ(packed(w[0]->coords.x), 6.8652);
  EXPECT_DOUBLE_EQ(packed(w[0]->coords.y), 45.8326);
  EXPECT_EQ(packed(w[0]->symbol), 8);
  EXPECT_EQ(packed(w[0]->display), 1);
  EXPECT_FLOAT_EQ(packed(w[0]->altitude), 1234.5f);
  EXPECT_EQ(wide(w[1]->name), u"O'BRIEN");  // its own delimiter
  EXPECT_EQ(packed(w[1]->symbol), 18);
  EXPECT_FLOAT_EQ(packed(w[1]->altitude), 0.0f);  // empty field
}

TEST_F(GpsTextRead, VersionTwoTracklogsWithHeadersAndSegments) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "v2_track.tmt", &f), 0);
  const auto t = tracklogs(f);
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(wide(t[0]->name), u"ACTIVE LOG");
  EXPECT_EQ(packed(t[0]->colour), gps_rgb(255, 0, 0));
  EXPECT_EQ(wide(t[1]->name), u"SECOND");
  EXPECT_EQ(packed(t[1]->colour), gps_rgb(0, 0, 255));
  const auto p = points(f);
  ASSERT_EQ(p.size(), 4u);
  const auto s = segments(f);
  ASSERT_EQ(s.size(), 3u);  // the first point of each log, and the flagged third point
  EXPECT_EQ(segment_of(f, p[0]), s[0]);
  EXPECT_EQ(segment_of(f, p[1]), s[0]);
  EXPECT_EQ(segment_of(f, p[2]), s[1]);
  EXPECT_EQ(segment_of(f, p[3]), s[2]);
  EXPECT_EQ(packed(p[3]->father), static_cast<obj_t*>(t[1]));
  EXPECT_DOUBLE_EQ(packed(p[0]->time).date, parse_date_iso("2008-05-06T12:00:00Z"));
  EXPECT_FLOAT_EQ(packed(p[1]->altitude), 110.0f);
  EXPECT_DOUBLE_EQ(packed(p[0]->tpre), 21.5);
  EXPECT_EQ(packed(p[2]->tpre), NULL_DOUBLE);
}

TEST_F(GpsTextRead, VersionTwoRoutesHoldTheirPoints) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "v2_routes.tmr", &f), 0);
  const auto r = routes(f);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(packed(r[0]->number), 3);
  EXPECT_EQ(wide(r[0]->name), u"TO THE LAKE");
  EXPECT_EQ(wide(r[0]->comment), u"two legs");
  ASSERT_EQ(obj_list_count(r[0]->sons), 2);
  const auto* lake = static_cast<const waypoint_t*>(r[0]->sons->elems[1]);
  EXPECT_EQ(wide(lake->name), u"LAKE");
  EXPECT_DOUBLE_EQ(packed(lake->coords.x), 6.5);
  EXPECT_FLOAT_EQ(packed(lake->altitude), 600.0f);
}

TEST_F(GpsTextRead, NavigationLogColumns) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "v3_log.tmn", &f), 0);
  const auto p = points(f);
  ASSERT_EQ(p.size(), 3u);
  ASSERT_EQ(tracklogs(f).size(), 1u);
  // Height given with altitude: the height is the coordinate, the difference the geoid.
  EXPECT_FLOAT_EQ(packed(p[0]->coords.z), 100.0f);
  EXPECT_FLOAT_EQ(packed(p[0]->altitude), 150.0f);
  EXPECT_FLOAT_EQ(packed(p[0]->geoidh), 50.0f);
  EXPECT_DOUBLE_EQ(packed(p[0]->tpre), 25.0);
  EXPECT_DOUBLE_EQ(packed(p[0]->speed), 12.0);
  EXPECT_DOUBLE_EQ(packed(p[0]->direction), 90.0);
  const auto* n = static_cast<const navigation_t*>(p[0]->navig);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(packed(n->nbsatsinvue), 9);
  EXPECT_EQ(packed(n->nbsatsused), 7);
  EXPECT_EQ(packed(n->dgps), 1);
  EXPECT_EQ(packed(n->fix), 3);
  EXPECT_DOUBLE_EQ(packed(n->hdop), 1.1);
  EXPECT_DOUBLE_EQ(packed(n->pdop), 1.9);
  // Only altitude: it is the coordinate; absent columns stay null, no navigation record.
  EXPECT_FLOAT_EQ(packed(p[1]->coords.z), 160.0f);
  EXPECT_EQ(packed(p[1]->speed), NULL_DOUBLE);
  EXPECT_EQ(packed(p[1]->navig), nullptr);
  // Only height, no time, a new segment.
  EXPECT_FLOAT_EQ(packed(p[2]->coords.z), 20.0f);
  EXPECT_FLOAT_EQ(packed(p[2]->altitude), 0.0f);
  EXPECT_EQ(packed(p[2]->time).date, 0.0);
  const auto s = segments(f);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(segment_of(f, p[1]), s[0]);
  EXPECT_EQ(segment_of(f, p[2]), s[1]);
  // The second record asked for a push-to-log point at its position.
  const auto w = waypoints(f);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(wide(w[0]->name), u"Push-to-log point");
  EXPECT_DOUBLE_EQ(packed(w[0]->coords.x), 5.51);
  EXPECT_DOUBLE_EQ(packed(w[0]->time).date, packed(p[1]->time).date);
}

TEST_F(GpsTextRead, HeaderTableAndEdgeCases) {
  struct Case {
    const char* name;
    std::string text;
    int result;
    int waypoints, points;
    int left = -1;  // objects left in the list, when checked
  } const cases[] = {
      {"23rd character differs", std::string("TMW-V2_Tarmelo_WaypoinX\nGarmin\n") + kWptFlags + kWptRecord, 0, 1, 0},
      {"x absent", std::string(kWptHeader) + "1;0;1;1;1;2;1;1;1;1;1;1;0;0;1;1;1;1;1;1;\n" + kWptRecord, 14, 0, 0, 0},
      {"y absent", std::string(kWptHeader) + "1;1;0;1;1;2;1;1;1;1;1;1;0;0;1;1;1;1;1;1;\n", 14, 0, 0, 0},
      {"no records", std::string(kWptHeader) + kWptFlags, 0, 0, 0, 0},
      {"short point count",
       "TMT-V2_Tarmelo_Tracklog\nGarmin\n0;0;0;0;0;0;0;1;\n1;1;0;0;0;0;0;\n5;\n1.0;2.0;\n3.0;4.0;\n",
       0, 0, 2},
      {"old NMEA log", "TMN-Tarmelo_NMEA_logfile\n$GPGGA,1\n", 0, 0, 0, 0},
      {"unknown header", "TMX-something else entirely, long enough\n1;\n", 0, 0, 0, 0},
      {"V1 empty", "TMW-waypoint\n\n", 0, 0, 0, 0},
      // The log's one tracklog is made before any record: it stays, with the georeference.
      {"TMN comments only", "TMN-V3_Tarmelo_Navigation_logfile\n#a\n#b\n", 0, 0, 0, 2},
  };
  for (const Case& c : cases) {
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(c.text, &f), c.result) << c.name;
    EXPECT_EQ(waypoints(f).size(), size_t(c.waypoints)) << c.name;
    EXPECT_EQ(points(f).size(), size_t(c.points)) << c.name;
    // Nothing read: the georeference made for the read is freed with it.
    if (c.left >= 0) {
      EXPECT_EQ(count(f), c.left) << c.name;
    }
  }
}

TEST_F(GpsTextRead, MalformedInputIsRefusedAndLeavesNothing) {
  const std::string wpt = std::string(kWptHeader) + kWptFlags + kWptRecord;
  const std::string trk = "TMT-V2_Tarmelo_Tracklog\nGarmin\n0;0;0;0;0;0;0;1;\n1;1;0;0;0;0;0;\n";
  const std::string tmn = "TMN-V3_Tarmelo_Navigation_logfile\n";
  const std::string cols15 = "1.0;2.0;'t';0;;;;;;;;;;;;";
  struct Case {
    const char* name;
    std::string text;
    int result;
  } const cases[] = {
      {"shorter than its header", "TMW-V2_Tarm", 2},
      {"cut inside a record", wpt + "'B';1.0;2.", 14},
      {"cut after a field", wpt + "'B';1.0;", 14},
      {"unterminated string", wpt + "'B;1.0;2.0;", 14},
      {"string of 999 characters", wpt + "'" + std::string(999, 'n') + "';1.0;2.0;'';1;1;0;0;0;0;1;0;0;'';'';'';'';'';\n", 14},
      {"number of 91 characters", trk + "1;" + std::string(91, '1') + ";2.0;\n", 14},
      {"real that does not read", trk + "1;abc;2.0;\n", 14},
      {"infinite real", trk + "1;inf;2.0;\n", 14},
      {"integer out of range", trk + "2147483648;1.0;2.0;\n", 14},
      {"negative count", trk + "-1;\n", 14},
      {"NUL byte", wpt + std::string("'B';1.0;2\0.0;", 13), 14},
      {"invalid UTF-8", wpt + "'\xC3\x28';1.0;2.0;'';1;1;0;0;0;0;1;0;0;'';'';'';'';'';\n", 14},
      {"no ';' after a string", wpt + "'B'x;", 14},
      {"empty x", wpt + "'B';;2.0;'';1;1;0;0;0;0;1;0;0;'';'';'';'';'';\n", 14},
      {"presence line cut", std::string(kWptHeader) + "1;1;1;", 14},
      {"header lines only", "TMT-V2_Tarmelo_Tracklog\n", 14},
      {"V1 line short", "TMW-waypoint\nCAMP,12,13\n", 14},
      {"V1 x beyond 32 bits", "TMW-waypoint\nCAMP,2147483648,13,c,1,1\n", 14},
      {"V1 time not a number", "TMT-tracklog\n1,2,x,0\n", 14},
      {"V1 invalid UTF-8", "TMW-waypoint\nC\xFF,1,2,c,1,1\n", 14},
      {"TMN record cut", tmn + cols15, 14},
      {"TMN comment of 999", tmn + "#" + std::string(998, 'c') + "\n" + cols15 + ";\n", 14},
      {"TMN line of 999 between records", tmn + cols15 + ";\n#" + std::string(998, 'c') + "\n", 14},
  };
  for (const Case& c : cases) {
    fileatt_t* f = nullptr;
    EXPECT_EQ(load(c.text, &f), c.result) << c.name;
    EXPECT_EQ(count(f), 0) << c.name;
  }
}

TEST_F(GpsTextRead, LimitsThemselvesAreRead) {
  const std::string trk = "TMT-V2_Tarmelo_Tracklog\nGarmin\n0;0;0;0;0;0;0;1;\n1;1;0;0;0;0;0;\n";
  fileatt_t* f = nullptr;
  const std::string x90 = "1." + std::string(88, '5');
  ASSERT_EQ(load(trk + "1;" + x90 + ";2.0;\n", &f), 0);
  ASSERT_EQ(points(f).size(), 1u);
  EXPECT_NEAR(packed(points(f)[0]->coords.x), 1.5555555, 1e-6);
  const std::string name998(998, 'n');
  ASSERT_EQ(load(std::string(kWptHeader) + kWptFlags + "'" + name998 +
                     "';1.0;2.0;'';1;1;0;0;0;0;1;0;0;'';'';'';'';'';\n", &f), 0);
  ASSERT_EQ(waypoints(f).size(), 1u);
  EXPECT_EQ(wide(waypoints(f)[0]->name), std::u16string(998, u'n'));
  ASSERT_EQ(load("TMN-V3_Tarmelo_Navigation_logfile\n#" + std::string(997, 'c') + "\r\n" +
                     "1.0;2.0;;0;;;;;;;;;;;;;", &f), 0);
  EXPECT_EQ(points(f).size(), 1u);
}

TEST_F(GpsTextRead, VersionOneTextIsCutToItsWidths) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("TMW-waypoint\nLONGNAME99,0,0," + std::string(300, 'c') + ",1,1\n", &f), 0);
  ASSERT_EQ(waypoints(f).size(), 1u);
  EXPECT_EQ(wide(waypoints(f)[0]->name), u"LONGNAM");
  EXPECT_EQ(wide(waypoints(f)[0]->comment), std::u16string(259, u'c'));
}

// Every cut of every fixture reads cleanly: what lies before a record boundary loads,
// a cut inside a record is refused and leaves nothing.
TEST_F(GpsTextRead, EveryTruncationOfTheFixtures) {
  for (const char* name : {"v1_waypoints.tmw", "v1_track.tmt", "v2_waypoints.tmw", "v2_track.tmt",
                           "v2_routes.tmr", "v3_log.tmn"}) {
    const std::string whole = slurp_file(kDir + name);
    ASSERT_FALSE(whole.empty()) << name;
    for (size_t n = 0; n < whole.size(); ++n) {
      fileatt_t* f = nullptr;
      const int result = load(whole.substr(0, n), &f);
      EXPECT_TRUE(result == 0 || result == 2 || result == 14) << name << " cut at " << n;
      if (result != 0) {
        EXPECT_EQ(count(f), 0) << name << " cut at " << n;
      }
    }
  }
}

TEST_F(GpsTextRead, FailedReadKeepsWhatTheListHeld) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(std::string(kWptHeader) + kWptFlags + kWptRecord, &f), 0);
  const int before = count(f);
  const std::string bad = put(std::string(kWptHeader) + kWptFlags + kWptRecord + "'B';1.0;", "bad.tmw");
  fileatt_t* g = nullptr;
  file_open_object(nullptr, nullptr, bad.c_str(), 0, 0, &g);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(read_tmw_v2(g, f->sot), 14);
  set_gblerr(0);
  EXPECT_EQ(count(f), before);
  rd_close_file(g);
  free_obj(&g);
}

TEST_F(GpsTextRead, MissingFilesAndTheNmeaSlot) {
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, (dir_ + "/none.tmw").c_str(), 0, 0, &f);
  ASSERT_NE(f, nullptr);
  container_t* list = new_list();
  EXPECT_EQ(read_tmw_v1(f, list), 2);
  set_gblerr(0);
  EXPECT_EQ(read_tmn_v3(f, list), 2);
  set_gblerr(0);
  EXPECT_EQ(gpstext_read(nullptr, list), -1);
  // Format 39 belongs to the NMEA import; with no reader in its slot nothing is read.
  f->fileformat = kFormatNmeaImport;
  EXPECT_EQ(gpstext_read(f, list), 3);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(obj_list_count(list), 0);
  free_obj(&f);
}

}  // namespace
