// The MapSend and MapShow readers on the fixtures of
// scripts/fixtures/make_mapsend_fixtures.py (every object equal to the script's table),
// the registration of the readers, and bad files: wrong heads and sizes, files cut at
// every byte, and counts, slot numbers and indexes that point outside the file's layout
// end with their error code, keep what was read before and read nothing out of bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "formats/file_load.h"
#include "formats/mapsend.h"
#include "map/gps_classes.h"
#include "tests/formats/mapsend_fixture.h"

namespace {

using tm_test::kMapsendDir;
using tm_test::mapsend_reader;
using tm_test::slurp_file;
using tm_test::utf8;

bool holds(const container_t* list, const obj_t* o) {
  for (int i = 0; i < obj_list_count(list); ++i)
    if (list->elems[i] == o) return true;
  return false;
}

class MapsendRead : public tm_test::MapsendFixture {
 protected:
  // Every object of the file equal to its table row: waypoints, routes with their points,
  // track logs each with one segment holding their points.
  void expect_table(const fileatt_t* f, const std::string& table) {
    const auto rows = tm_test::table_rows(table);
    auto waypoints = all_of<waypoint_t>(f, CLS_WAYPOINT);
    auto routes = all_of<route_t>(f, CLS_ROUTE);
    auto logs = all_of<tracklog_t>(f, CLS_TRACKLOG);
    auto points = all_of<gpspos_t>(f, CLS_GPSPOS);
    size_t w = 0, r = 0, l = 0, p = 0;
    tracklog_t* log = nullptr;
    for (const auto& row : rows) {
      SCOPED_TRACE(row[0] + ";" + row[1]);
      if (row[0] == "W") {
        ASSERT_LT(w, waypoints.size());
        const waypoint_t* o = waypoints[w++];
        EXPECT_EQ(utf8(o->name), row[1]);
        EXPECT_EQ(utf8(o->comment), row[2]);
        double x = 0, y = 0;
        degrees(f, o->coords, &x, &y);
        EXPECT_NEAR(x, std::stod(row[3]), 1e-7);
        EXPECT_NEAR(y, std::stod(row[4]), 1e-7);
        EXPECT_EQ(float(o->altitude), std::stof(row[5]));
        EXPECT_EQ(int(o->symbol), std::stoi(row[6]));
        EXPECT_EQ(int(o->display), 0);
        date_rec t{};
        std::memcpy(&t, &o->time, sizeof t);
        if (row[7] == "-") {
          EXPECT_EQ(t.date, 0.0);
        } else {
          const date_rec e = tm_test::unix_date(std::stod(row[7]));
          EXPECT_EQ(t.date, e.date);
          EXPECT_NEAR(t.day, e.day, 1e-9);
        }
      } else if (row[0] == "R") {
        ASSERT_LT(r, routes.size());
        const route_t* o = routes[r++];
        EXPECT_EQ(utf8(o->name), row[1]);
        if (o->comment) EXPECT_EQ(utf8(o->comment), row[2]);
        else EXPECT_EQ(int(o->number), std::stoi(row[2]));
        const auto names = tm_test::split_fields(row[3], '|');
        ASSERT_EQ(obj_list_count(o->sons), int(names.size()));
        for (size_t i = 0; i < names.size(); ++i) {
          obj_t* point = o->sons->elems[i];
          ASSERT_EQ(point->cls, CLS_WAYPOINT);
          EXPECT_EQ(utf8(static_cast<waypoint_t*>(point)->name), names[i]);
          // Route points are the list's own waypoints, never copies.
          EXPECT_NE(std::find(waypoints.begin(), waypoints.end(), point), waypoints.end());
        }
      } else if (row[0] == "L") {
        ASSERT_LT(l, logs.size());
        log = logs[l++];
        EXPECT_EQ(utf8(log->name), row[1]);
        ASSERT_EQ(obj_list_count(log->sons), 1);
      } else {
        ASSERT_NE(log, nullptr);
        ASSERT_LT(p, points.size());
        const gpspos_t* o = points[p++];
        auto* segment = static_cast<trackseg_t*>(log->sons->elems[0]);
        EXPECT_TRUE(holds(segment->sons, o));
        EXPECT_EQ(static_cast<const obj_t*>(o->father), static_cast<const obj_t*>(log));
        double x = 0, y = 0;
        degrees(f, o->coords, &x, &y);
        EXPECT_NEAR(x, std::stod(row[1]), 1e-7);
        EXPECT_NEAR(y, std::stod(row[2]), 1e-7);
        EXPECT_EQ(float(o->altitude), std::stof(row[3]));
        date_rec t{};
        std::memcpy(&t, &o->time, sizeof t);
        if (row[4] == "-") {
          EXPECT_EQ(t.date, 0.0);
        } else {
          const date_rec e = tm_test::unix_date(std::stod(row[4]));
          EXPECT_EQ(t.date, e.date);
          EXPECT_NEAR((t.day - e.day) * 86400.0, 0.0, 1e-4);
        }
        if (row[5] != "-") {
          EXPECT_EQ(double(o->speed), std::stod(row[5]));
        }
      }
    }
    EXPECT_EQ(w, waypoints.size());
    EXPECT_EQ(r, routes.size());
    EXPECT_EQ(l, logs.size());
    EXPECT_EQ(p, points.size());
  }

  static std::string fixture(const char* name) { return slurp_file(kMapsendDir + name); }
};

struct fixture_case {
  const char* file;
  mapsend_reader reader;
};

const fixture_case kFixtures[] = {
    {"wpt_v2.ms", mapsend_read},   {"wpt_v3.ms", mapsend_read},   {"wpt_v4.ms", mapsend_read},
    {"trk_v2.ms", mapsend_read},   {"trk_v3.ms", mapsend_read},   {"trk_v4.ms", mapsend_read},
    {"a.wpr", mapshow_read_wpr},   {"a.wpo", mapshow_read_wpo},   {"a.trl", mapshow_read_trl},
    {"a.trk", mapshow_read_trk},
};

TEST_F(MapsendRead, FixturesHoldTheObjectsOfTheirTables) {
  for (const fixture_case& fc : kFixtures) {
    SCOPED_TRACE(fc.file);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_path(fc.reader, kMapsendDir + fc.file, &f), 0);
    expect_table(f, kMapsendDir + fc.file + ".csv");
    EXPECT_EQ(all_of<georef_t>(f, CLS_GEOREF).size(), 1u);
    EXPECT_NE(static_cast<const obj_t*>(f->folder), nullptr);
  }
}

TEST_F(MapsendRead, InitRegistersEveryReader) {
  format_readers_clear();
  mapsend_init();
  EXPECT_EQ(format_reader_of(kMapsendFormat), &mapsend_read);
  EXPECT_EQ(format_reader_of(kMapshowTrlFormat), &mapshow_read_trl);
  EXPECT_EQ(format_reader_of(kMapshowWprFormat), &mapshow_read_wpr);
  EXPECT_EQ(format_reader_of(kMapshowWpoFormat), &mapshow_read_wpo);
  EXPECT_EQ(format_reader_of(kMapshowTrkFormat), &mapshow_read_trk);
  format_readers_clear();
}

TEST_F(MapsendRead, SymbolsPastTheTableGiveZero) {
  EXPECT_EQ(mapsend_symbol(0), 12);
  EXPECT_EQ(mapsend_symbol(17), 46);
  EXPECT_EQ(mapsend_symbol(41), 13);
  EXPECT_EQ(mapsend_symbol(42), 0);
  EXPECT_EQ(mapsend_symbol(255), 0);
}

TEST_F(MapsendRead, HeadsAreCheckedByteByByte) {
  const std::string good = fixture("wpt_v3.ms");
  struct head_case {
    const char* what;
    size_t at;
    char value;
    int result;
  };
  const head_case cases[] = {
      {"first byte", 0, 12, ERR_UNKNOWN_FORMAT},    {"magic", 2, 'E', ERR_UNKNOWN_FORMAT},
      {"not checked", 5, 'x', 0},                   {"digit 3", 7, '2', ERR_UNKNOWN_FORMAT},
      {"version digit", 8, '5', ERR_UNKNOWN_FORMAT}, {"version twice", 13, '6', ERR_UNKNOWN_FORMAT},
      {"tag", 10, 'X', ERR_UNKNOWN_FORMAT},         {"file type 3", 14, 3, ERR_UNKNOWN_FORMAT},
      {"file type high", 17, 1, ERR_UNKNOWN_FORMAT},
  };
  for (const head_case& hc : cases) {
    SCOPED_TRACE(hc.what);
    std::string bytes = good;
    bytes[hc.at] = hc.value;
    EXPECT_EQ(load(mapsend_read, bytes), hc.result);
  }
  EXPECT_EQ(load(mapsend_read, good.substr(0, 17)), ERR_BAD_FILE);
  EXPECT_EQ(load(mapsend_read, ""), ERR_BAD_FILE);
}

// A MapSend file cut at any byte after its head ends with 14, keeping the objects read
// before the cut: never fewer as the cut moves on.
TEST_F(MapsendRead, CutFilesEndWithBadFileAndKeepWhatWasRead) {
  for (const char* name : {"wpt_v2.ms", "wpt_v4.ms", "trk_v2.ms", "trk_v3.ms"}) {
    SCOPED_TRACE(name);
    const std::string full = fixture(name);
    size_t last = 0;
    for (size_t n = 18; n < full.size(); ++n) {
      fileatt_t* f = nullptr;
      ASSERT_EQ(load(mapsend_read, full.substr(0, n), &f), ERR_BAD_FILE) << n;
      const size_t objects = all_of<waypoint_t>(f, CLS_WAYPOINT).size() +
                             all_of<gpspos_t>(f, CLS_GPSPOS).size();
      EXPECT_GE(objects, last) << n;
      last = objects;
      free_loaded();
    }
  }
}

// Counts far above what the file holds end at the bytes really there.
TEST_F(MapsendRead, HostileCountsEndAtTheBytesThere) {
  const std::string wpt = fixture("wpt_v2.ms");
  const std::string trk = fixture("trk_v2.ms");
  struct count_case {
    const char* what;
    std::string bytes;
    size_t at;
    size_t waypoints, points;
  };
  const size_t route_count_at = wpt.find("\x09ROUTE ONE") - 4;
  const size_t route_points_at = route_count_at + 4 + 10 + 4;
  const size_t track_count_at = 18 + 1 + uint8_t(trk[18]);
  const count_case cases[] = {
      {"waypoints", wpt, 18, 3, 0},
      {"routes", wpt, route_count_at, 5, 0},
      {"route points", wpt, route_points_at, 4, 0},
      {"track points", trk, track_count_at, 0, 3},
  };
  for (const count_case& cc : cases) {
    SCOPED_TRACE(cc.what);
    std::string bytes = cc.bytes;
    std::memcpy(&bytes[cc.at], "\xFF\xFF\xFF\xFF", 4);
    fileatt_t* f = nullptr;
    EXPECT_EQ(load(mapsend_read, bytes, &f), ERR_BAD_FILE);
    // The records before the count's end stay (a route's point count may also read the
    // next route's bytes as points before the file ends).
    EXPECT_GE(all_of<waypoint_t>(f, CLS_WAYPOINT).size(), cc.waypoints);
    EXPECT_EQ(all_of<gpspos_t>(f, CLS_GPSPOS).size(), cc.points);
  }
}

// ---- MapShow ---------------------------------------------------------------------------

void put16(std::string* s, size_t at, unsigned v) {
  (*s)[at] = char(v & 0xFF);
  (*s)[at + 1] = char(v >> 8 & 0xFF);
}

struct show_layout {
  const char* file;
  mapsend_reader reader;
  size_t min_size, slots, record, gap, route_slots, per_route, route_record;
};
const show_layout kShow[] = {
    {"a.wpr", mapshow_read_wpr, 43008, 1000, 40, 0, 50, 150, 332},
    {"a.wpo", mapshow_read_wpo, 23008, 500, 44, 92, 20, 30, 92},
};

size_t route_record_at(const show_layout& l, size_t r) {
  const size_t block = 8 + 3 * l.slots + l.record * l.slots + l.gap;
  return block + 4 + ((3 * l.route_slots + 5) & ~size_t(3)) + l.route_record * r;
}

TEST_F(MapsendRead, MapshowWaypointFilesBelowTheirSizeOrWithAnotherMagicAreRefused) {
  for (const show_layout& l : kShow) {
    SCOPED_TRACE(l.file);
    const std::string good = fixture(l.file);
    std::string bytes(good.substr(0, l.min_size - 1));
    EXPECT_EQ(load(l.reader, bytes), ERR_BAD_FILE);
    bytes = good;
    bytes[1] ^= 1;
    EXPECT_EQ(load(l.reader, bytes), ERR_BAD_FILE);
    // Ending after the waypoint records: the waypoints, no routes.
    fileatt_t* f = nullptr;
    EXPECT_EQ(load(l.reader, good.substr(0, std::max(l.min_size, 8 + 3 * l.slots + 3 * l.record)), &f), 0);
    EXPECT_EQ(all_of<waypoint_t>(f, CLS_WAYPOINT).size(), 3u);
    EXPECT_EQ(all_of<route_t>(f, CLS_ROUTE).size(), 0u);
  }
}

// Counts, slot numbers and index values outside the layout end the read with 14; the
// waypoints and the routes before stay.
TEST_F(MapsendRead, MapshowValuesOutsideTheLayoutAreBadFiles) {
  for (const show_layout& l : kShow) {
    SCOPED_TRACE(l.file);
    const std::string good = fixture(l.file);
    const size_t tour = route_record_at(l, 3);  // HOME, PEAK, HOME; SHORT is record 0
    struct value_case {
      const char* what;
      size_t at;
      unsigned value;
      size_t waypoints, routes;
    };
    const value_case cases[] = {
        {"waypoint count above the slots", 4, unsigned(l.slots + 1), 0, 0},
        {"route point count above its room", tour + 20, unsigned(l.per_route + 1), 3, 1},
        {"slot number past the slot index", tour + 24, unsigned(l.slots), 3, 2},
        {"slot number 0xFFFF", tour + 22, 0xFFFF, 3, 2},
        {"index value past the waypoints read", 8 + 2 * 7, 3, 3, 2},
    };
    for (const value_case& vc : cases) {
      SCOPED_TRACE(vc.what);
      std::string bytes = good;
      put16(&bytes, vc.at, vc.value);
      fileatt_t* f = nullptr;
      EXPECT_EQ(load(l.reader, bytes, &f), ERR_BAD_FILE);
      EXPECT_EQ(all_of<waypoint_t>(f, CLS_WAYPOINT).size(), vc.waypoints);
      EXPECT_EQ(all_of<route_t>(f, CLS_ROUTE).size(), vc.routes);
    }
    // The largest values the layout holds are read.
    std::string bytes = good;
    put16(&bytes, 4, unsigned(l.slots));
    EXPECT_EQ(load(l.reader, bytes), 0);
  }
}

TEST_F(MapsendRead, MapshowTrackCountsAboveTheirRoomAreBadFiles) {
  struct track_case {
    const char* file;
    mapsend_reader reader;
    size_t table;
  };
  const track_case cases[] = {{"a.trl", mapshow_read_trl, 4 * 65536 + 16},
                              {"a.trk", mapshow_read_trk, 16}};
  for (const track_case& tc : cases) {
    SCOPED_TRACE(tc.file);
    std::string bytes = fixture(tc.file);
    put16(&bytes, tc.table + 44 * 2, 2501);  // after track 0 (and 1)
    fileatt_t* f = nullptr;
    EXPECT_EQ(load(tc.reader, bytes, &f), ERR_BAD_FILE);
    EXPECT_GE(all_of<tracklog_t>(f, CLS_TRACKLOG).size(), 1u);
    // 2500 points fit the layout: read, nothing past the file.
    put16(&bytes, tc.table + 44 * 2, 2500);
    EXPECT_EQ(load(tc.reader, bytes), 0);
  }
}

TEST_F(MapsendRead, TrlHeaderSitsAtTheLastMultipleOf65536) {
  const std::string good = fixture("a.trl");
  // Too short after the header.
  EXPECT_EQ(load(mapshow_read_trl, good.substr(0, 4 * 65536 + 351)), ERR_BAD_FILE);
  // Cut at the header: the header would be at 262144, past the end.
  EXPECT_EQ(load(mapshow_read_trl, good.substr(0, 4 * 65536)), ERR_BAD_FILE);
  // Track 3's points start at 65536 + 30000.
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(mapshow_read_trl, good, &f), 0);
  auto logs = all_of<tracklog_t>(f, CLS_TRACKLOG);
  ASSERT_EQ(logs.size(), 3u);
  EXPECT_EQ(utf8(logs[2]->name), "TRACK 3");
  const int32_t x = int32_t(uint8_t(good[65536 + 30000])) | int32_t(uint8_t(good[65536 + 30001])) << 8 |
                    int32_t(uint8_t(good[65536 + 30002])) << 16 | int32_t(uint8_t(good[65536 + 30003])) << 24;
  auto* first = static_cast<gpspos_t*>(static_cast<trackseg_t*>(logs[2]->sons->elems[0])->sons->elems[0]);
  double lon = 0, lat = 0;
  degrees(f, first->coords, &lon, &lat);
  EXPECT_NEAR(lon, x / 36000.0, 1e-9);
}

// MapShow files cut anywhere end with 0 or 14 and read nothing past their end.
TEST_F(MapsendRead, MapshowFilesCutAnywhereNeverReadPastTheirEnd) {
  struct cut_case {
    const char* file;
    mapsend_reader reader;
  };
  for (const cut_case& cc : {cut_case{"a.wpr", mapshow_read_wpr}, cut_case{"a.wpo", mapshow_read_wpo},
                             cut_case{"a.trk", mapshow_read_trk}, cut_case{"a.trl", mapshow_read_trl}}) {
    SCOPED_TRACE(cc.file);
    const std::string full = fixture(cc.file);
    for (size_t n = 0; n < full.size(); n += 997) {
      const int result = load(cc.reader, full.substr(0, n));
      EXPECT_TRUE(result == 0 || result == ERR_BAD_FILE) << n << " " << result;
      free_loaded();
    }
  }
}

}  // namespace
