// The OziExplorer data file reader on the fixtures of
// scripts/fixtures/make_ozi_files_fixtures.py: files gpsbabel wrote, read as gpsbabel
// reads them back; event, point and other-datum files equal to their tables (pyproj's
// WGS 84 positions for the other datum); route lines that name missing routes or make no
// waypoint; bad files, which end with their code, keep what was read and never crash.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "formats/file_load.h"
#include "formats/ozi.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform_records.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::slurp_file;

const std::string kDir = TM_FIXTURE_DIR "/ozi_files/";
constexpr double kFoot = 0.3048;

// UTF-8 text to UTF-16 (the tables are UTF-8).
std::u16string utf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      out.push_back(c);
      i += 1;
    } else if ((c & 0xE0) == 0xC0) {
      out.push_back(char16_t(((c & 0x1F) << 6) | (s[i + 1] & 0x3F)));
      i += 2;
    } else {
      out.push_back(char16_t(((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F)));
      i += 3;
    }
  }
  return out;
}
std::u16string text_of(const char16_t* w) { return w ? std::u16string(w) : std::u16string(); }

// One row of an answer table: kind;name;lon;lat;altitude;time;group.
struct answer {
  std::string kind, name;
  double lon, lat;
  std::string altitude, time, group;
};

std::vector<answer> answers(const std::string& path) {
  std::vector<answer> rows;
  std::istringstream in(slurp_file(path));
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    const auto c = tm_test::split_fields(line, ';');
    rows.push_back({c[0], c[1], std::stod(c[2]), std::stod(c[3]), c[4], c[5], c[6]});
  }
  return rows;
}

// "yyyy-mm-ddThh:mm:ss" as a packed date.
double packed(const std::string& t) {
  int y, mo, d, h, mi, s;
  if (std::sscanf(t.c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) return 0;
  return y * 10000.0 + mo * 100.0 + d + (h * 3600.0 + mi * 60.0 + s) / 86400.0;
}

template <class P> void expect_point(const P* p, const answer& a) {
  EXPECT_NEAR(p->coords.x, a.lon, 1e-7);
  EXPECT_NEAR(p->coords.y, a.lat, 1e-7);
  if (a.altitude.empty())
    EXPECT_EQ(+p->altitude, 0.0f);
  else
    EXPECT_NEAR(p->altitude, std::stod(a.altitude), 1e-3);
  if (a.time.empty())
    EXPECT_EQ(+p->time.date, 0.0);
  else  // gpsbabel cuts the fraction of the second off
    EXPECT_NEAR(p->time.date, packed(a.time), 1.01 / 86400.0);
}

class OziFilesRead : public tm_test::ReaderFixture {
 protected:
  int load_path(const std::string& path, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -1;
    const int result = ozi_read_data(f, f->sot);
    loaded_.unload_at_end(f, result != 0);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    if (out) *out = f;
    return result;
  }
  int load(const std::string& text, fileatt_t** out = nullptr, const char* ext = ".wpt") {
    return load_path(tm_test::write_file(dir_ + "/t" + ext, text), out);
  }
  template <class T> static std::vector<T*> all_of(const fileatt_t* f, int cls) {
    return tm_test::objects_of<T>(f->sot, cls);
  }
};

const std::string kWptHead =
    "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n";
const std::string kRteHead =
    "OziExplorer Route File Version 1.0\r\nWGS 84\r\nReserved 1\r\nReserved 2\r\n";

TEST_F(OziFilesRead, FilesGpsbabelWroteReadAsItReadsThem) {
  for (const char* name : {"babel.wpt", "babel.plt", "babel-1.plt", "babel.rte"}) {
    SCOPED_TRACE(name);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_path(kDir + name, &f), 0);
    const auto rows = answers(kDir + name + ".csv");
    ASSERT_FALSE(rows.empty());
    const auto geo = all_of<georef_t>(f, CLS_GEOREF);
    ASSERT_EQ(geo.size(), 1u);
    EXPECT_EQ(+geo[0]->refertype, GEOREF_GEOGRAPHIC);
    EXPECT_EQ(+geo[0]->unit, ANG_DEGREE);
    if (rows[0].kind == "W") {
      const auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
      ASSERT_EQ(w.size(), rows.size());
      for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(text_of(w[i]->name), utf16(rows[i].name));
        expect_point(w[i], rows[i]);
      }
      EXPECT_EQ(text_of(w[0]->comment), u"first point");
    } else if (rows[0].kind == "R") {
      const auto routes = all_of<route_t>(f, CLS_ROUTE);
      size_t at = 0;
      for (const route_t* r : routes) {
        for (int i = 0; i < obj_list_count(r->sons); ++i, ++at) {
          ASSERT_LT(at, rows.size());
          EXPECT_EQ(text_of(r->name), utf16(rows[at].group));
          const auto* w = static_cast<const waypoint_t*>(r->sons->elems[i]);
          ASSERT_EQ(+w->cls, CLS_WAYPOINT);
          EXPECT_EQ(text_of(w->name), utf16(rows[at].name));
          expect_point(w, rows[at]);
        }
      }
      EXPECT_EQ(at, rows.size());
    } else {
      const auto logs = all_of<tracklog_t>(f, CLS_TRACKLOG);
      ASSERT_EQ(logs.size(), 1u);
      EXPECT_EQ(+logs[0]->thickness, 2);
      EXPECT_EQ(+logs[0]->colour, 255u);
      const auto segs = all_of<trackseg_t>(f, CLS_TRACKSEG);
      ASSERT_EQ(segs.size(), 1u);
      ASSERT_EQ(obj_list_count(segs[0]->sons), int(rows.size()));
      for (size_t i = 0; i < rows.size(); ++i) {
        const auto* p = static_cast<const gpspos_t*>(segs[0]->sons->elems[i]);
        EXPECT_EQ(+p->father, logs[0]);
        expect_point(p, rows[i]);
      }
    }
  }
}

TEST_F(OziFilesRead, EventAndPointFilesEqualTheirTables) {
  for (const char* name : {"events.evt", "points.pnt"}) {
    SCOPED_TRACE(name);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_path(kDir + name, &f), 0);
    const auto rows = answers(kDir + name + ".csv");
    const auto p = all_of<poi_t>(f, CLS_POI);
    ASSERT_EQ(p.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_NEAR(p[i]->coords.x, rows[i].lon, 1e-9);
      EXPECT_NEAR(p[i]->coords.y, rows[i].lat, 1e-9);
      if (rows[i].kind == "E") {
        EXPECT_EQ(+p[i]->symbol, std::stoi(rows[i].name));
        EXPECT_EQ(+p[i]->colour, uint32_t(std::stoul(rows[i].group)));
      } else {
        EXPECT_EQ(text_of(p[i]->name), utf16(rows[i].name));
        EXPECT_EQ(text_of(p[i]->comment), utf16(rows[i].group));
        EXPECT_EQ(+p[i]->colour, 65535u);
      }
    }
  }
}

TEST_F(OziFilesRead, OtherDatumReachesWgs84AsPyprojComputes) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "ed50.wpt", &f), 0);
  const auto geo = all_of<georef_t>(f, CLS_GEOREF);
  ASSERT_EQ(geo.size(), 1u);
  const geodatum_t* datum = geo[0]->datum;  // the record is packed: read by value
  ASSERT_NE(datum, nullptr);
  EXPECT_EQ(+datum->code, 6230);
  const auto rows = answers(kDir + "ed50.wpt.csv");
  const auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), rows.size());
  xform_chain_t* chain = nullptr;
  georef_chain_to_ref(geo[0], &chain);
  ASSERT_NE(chain, nullptr);
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    expect_point(w[i], rows[i]);  // stored on the file's datum, as written
    const auto wgs = tm_test::split_fields(rows[i].group, ',');
    double x = w[i]->coords.x, y = w[i]->coords.y, z = 0;
    xform_chain_forward(chain, &x, &y, &z);
    EXPECT_NEAR(x, std::stod(wgs[0]), 1e-6);
    EXPECT_NEAR(y, std::stod(wgs[1]), 1e-6);
  }
  obj_t* c = chain;
  free_obj(&c);
}

// Waypoint fields: symbol through the symbol table, colour, display, proximity, altitude
// in feet with -777 as no altitude, a "CE" head.
TEST_F(OziFilesRead, WaypointFieldsAndNoAltitude) {
  struct row {
    const char* line;
    int symbol;
    uint32_t colour;
    int display;
    double proxim, altitude;
  };
  const row rows[] = {
      {"1,A,1,2,,4,1,3,255,65535,c,0,1,25.5,100", 6, 255, 1, 25.5, 100 * kFoot},
      {"2,B,1,2,,19,1,3,0,65535,c,0,0,0,-777", 17, 0, 0, 0, 0},
      {"3,C,1,2,,20,1,3,0,65535,c,0,2", 0, 0, 2, 0, 0},
      {"4,D,1,2,,0,1,3,16711680,65535,c,0,0,0,-777.0,6,0,17", 19, 16711680, 0, 0, 0},
      {"5,E,1,2,,-3,1,3,0,65535,c,0,0,0,-1", 0, 0, 0, 0, -kFoot},
  };
  for (const char* head : {"OziExplorer Waypoint File", "OziExplorer CE Waypoint File"}) {
    std::string text = std::string(head) + " Version 1.1\r\nWGS 84\r\nR\r\nR\r\n";
    for (const row& r : rows) text += std::string(r.line) + "\r\n";
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(text, &f), 0) << head;
    const auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
    ASSERT_EQ(w.size(), std::size(rows));
    for (size_t i = 0; i < w.size(); ++i) {
      SCOPED_TRACE(rows[i].line);
      EXPECT_EQ(+w[i]->symbol, rows[i].symbol);
      EXPECT_EQ(+w[i]->colour, rows[i].colour);
      EXPECT_EQ(+w[i]->display, rows[i].display);
      EXPECT_DOUBLE_EQ(+w[i]->proxim, rows[i].proxim);
      EXPECT_NEAR(w[i]->altitude, rows[i].altitude, 1e-4);
      EXPECT_EQ(+w[i]->coords.y, 1.0);
      EXPECT_EQ(+w[i]->coords.x, 2.0);
    }
  }
}

// Route points: the route of the number, else the next higher; a "W" line that makes no
// waypoint appends nothing (not the waypoint before it again).
TEST_F(OziFilesRead, RouteLinesFindTheirRoutes) {
  const std::string text = kRteHead +
                           "R,5,Five,,\r\n"
                           "R,9,Nine,,\r\n"
                           "W,5,,1,A,1,1,,0,1,3,0,65535,,0,0\r\n"
                           "W,7,,1,B,2,2,,0,1,3,0,65535,,0,0\r\n"
                           "W,5,,\r\n"
                           "W,12,,1,C,3,3,,0,1,3,0,65535,,0,0\r\n"
                           "W,5\r\n"
                           "X,5,,1,D,4,4\r\n"
                           "R,20,Empty,,\r\n";
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(text, &f, ".rte"), 0);
  const auto routes = all_of<route_t>(f, CLS_ROUTE);
  ASSERT_EQ(routes.size(), 2u) << "the route without points is deleted";
  auto names = [](const route_t* r) {
    std::u16string s;
    for (int i = 0; i < obj_list_count(r->sons); ++i)
      s += text_of(static_cast<waypoint_t*>(r->sons->elems[i])->name);
    return s;
  };
  EXPECT_EQ(+routes[0]->number, 5);
  EXPECT_EQ(names(routes[0]), u"A");
  EXPECT_EQ(+routes[1]->number, 9);
  EXPECT_EQ(names(routes[1]), u"B");
  const auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 3u) << "C stays in the list on its own";
  EXPECT_EQ(text_of(w[2]->name), u"C");
}

TEST_F(OziFilesRead, TrackSegmentsFollowTheBreakField) {
  const std::string text =
      "OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\n"
      "Reserved 3\r\n0,3,16711680,Hike,0,0,2,8421376\r\n4\r\n"
      "1,1,0,10,36526.5\r\n2,2,0\r\n3,3,1,-777,0\r\n4,4,0,,\r\n5\r\n";
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(text, &f, ".plt"), 0);
  const auto logs = all_of<tracklog_t>(f, CLS_TRACKLOG);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(text_of(logs[0]->name), u"Hike");
  EXPECT_EQ(+logs[0]->thickness, 3);
  EXPECT_EQ(+logs[0]->colour, 16711680u);
  const auto segs = all_of<trackseg_t>(f, CLS_TRACKSEG);
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(obj_list_count(segs[0]->sons), 2);
  EXPECT_EQ(obj_list_count(segs[1]->sons), 2);
  const auto p = all_of<gpspos_t>(f, CLS_GPSPOS);
  ASSERT_EQ(p.size(), 4u);
  EXPECT_NEAR(p[0]->altitude, 10 * kFoot, 1e-4);
  EXPECT_NEAR(p[0]->time.date, 20000101.5, 1e-9);
  EXPECT_EQ(+p[2]->altitude, 0.0f);
  EXPECT_EQ(+p[2]->time.date, 0.0);
}

TEST_F(OziFilesRead, BadFilesGiveTheirCodeAndKeepWhatWasRead) {
  const std::string good = "1,A,1,2,,0,1,3,0,65535,c,0,0,0,0\r\n";
  struct row {
    const char* what;
    std::string text;
    int code;
    size_t kept;
  };
  const std::string long_line = "1," + std::string(10000, 'N') + ",1,2," + std::string(10000, ',');
  const row rows[] = {
      {"shorter than its head", "OziExplorer", 14, 0},
      {"kind word unknown", "OziExplorer Map Data File\r\nWGS 84\r\n", 3, 0},
      {"CE then nothing", "OziExplorer CE\r\nWGS 84\r\n", 3, 0},
      {"datum unknown", "OziExplorer Waypoint File\r\nNowhere 1900\r\nR\r\nR\r\n" + good, 13, 0},
      {"latitude not finite", kWptHead + good + "2,B,1e999,2,,0\r\n" + good, 3, 1},
      {"longitude absurd", kWptHead + good + "2,B,1,1e300,,0\r\n" + good, 3, 1},
      {"altitude absurd", kWptHead + good + "2,B,1,2,,0,1,3,0,0,c,0,0,0,1e300\r\n", 3, 1},
      {"10,000-character line", kWptHead + good + long_line + "\r\n" + good, 0, 3},
      {"Windows-1252 and NUL bytes", kWptHead + "1,\x80\xe9\xff" + std::string(1, '\0') +
                                         ",1,2\r\n" + good, 0, 2},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    fileatt_t* f = nullptr;
    EXPECT_EQ(load(r.text, &f), r.code);
    EXPECT_EQ(all_of<waypoint_t>(f, CLS_WAYPOINT).size(), r.kept);
  }
}

// Files of many chunks: every line read whole wherever the reader's chunks cut it, with
// either line ending, and the last line taken without an ending.
TEST_F(OziFilesRead, LinesAcrossTheReadersChunksAreReadWhole) {
  for (const std::string eol : {"\r\n", "\n"}) {
    SCOPED_TRACE(eol.size() == 2 ? "CR LF" : "LF");
    std::string text = "OziExplorer Track Point File Version 2.1" + eol + "WGS 84" + eol +
                       "Altitude is in Feet" + eol + "Reserved 3" + eol + "0,2,255,Long" + eol + "0" + eol;
    const int n = 9000;  // about 300 KB: several chunks
    for (int i = 0; i < n; ++i) {
      // A padding field of varying length moves the line ends across chunk edges.
      text += std::to_string(i * 1e-4) + "," + std::to_string(-i * 1e-4) + ",0," + std::to_string(i) +
              ",0" + std::string(size_t(i % 23), ' ');
      if (i + 1 < n) text += eol;
    }
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(text, &f, ".plt"), 0);
    const auto p = all_of<gpspos_t>(f, CLS_GPSPOS);
    ASSERT_EQ(p.size(), size_t(n));
    for (int i = 0; i < n; i += 1) {
      ASSERT_NEAR(p[size_t(i)]->coords.y, i * 1e-4, 1e-9) << i;
      ASSERT_NEAR(p[size_t(i)]->coords.x, -i * 1e-4, 1e-9) << i;
      ASSERT_NEAR(p[size_t(i)]->altitude, i * kFoot, 1e-2) << i;
    }
  }
}

TEST_F(OziFilesRead, CutAtEveryLengthNeverBreaks) {
  for (const char* name : {"babel.wpt", "babel.plt", "babel.rte", "events.evt", "points.pnt"}) {
    const std::string whole = slurp_file(kDir + name);
    for (size_t n = 0; n < whole.size(); ++n) {
      const int rc = load(whole.substr(0, n));
      EXPECT_TRUE(rc == 0 || rc == 3 || rc == 13 || rc == 14) << name << " cut at " << n;
    }
    loaded_.free_all();
  }
}

TEST_F(OziFilesRead, InitRegistersTheReader) {
  register_format_reader(kOziFormat, nullptr);
  ozi_files_init();
  EXPECT_EQ(format_reader_of(kOziFormat), &ozi_read_data);
  register_format_reader(kOziFormat, nullptr);
}

}  // namespace
