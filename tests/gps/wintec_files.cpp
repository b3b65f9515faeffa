// The Wintec TK1, TK2 and TK3 readers: the committed fixtures (written from known points
// by scripts/fixtures/make_wintec_fixtures.py) against those points and against the
// reference converter, and small built files for the record sizes, counts and offsets
// that a hostile or truncated file may hold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "gps/loggers/wintec.h"
#include "tests/formats/load_fixture.h"
#include "tests/support/gps_sim/wintec_sim.h"
#include "tests/support/run_tool.h"

namespace {

const std::string kDir = TM_FIXTURE_DIR "/wintec/";

struct known {
  double lat, lon, alt;
  int second;  // of the day
  uint16_t flags;
};

// The points of the fixture script.
known truth(int i) {
  known k;
  k.lat = 47.5 + 0.0012345 * i - (i == 3 ? 95.0 : 0.0);
  k.lon = 8.25 - 0.0023456 * i - (i == 3 ? 20.0 : 0.0);
  k.alt = 400 + 7 * i - (i == 3 ? 450 : 0);
  k.second = 10 * 3600 + 20 * 60 + 5 * i;
  k.flags = uint16_t((i == 0 || i == 6 ? 1 : 0) | (i == 3 ? 2 : 0));
  return k;
}

uint32_t packed_time(int second) {
  return 24u << 26 | 3u << 22 | 9u << 17 | uint32_t(second / 3600) << 12 | uint32_t(second / 60 % 60) << 6 |
         uint32_t(second % 60);
}

std::string record(int i, int size = 16) {
  const known k = truth(i);
  std::string b(16, '\0');
  auto put = [&](int at, uint32_t v, int n) {
    for (int j = 0; j < n; ++j) b[size_t(at + j)] = char(v >> (8 * j));
  };
  put(0, k.flags, 2);
  put(2, packed_time(k.second), 4);
  put(6, uint32_t(int32_t(std::lround(k.lat * 1e7))), 4);
  put(10, uint32_t(int32_t(std::lround(k.lon * 1e7))), 4);
  put(14, uint16_t(int16_t(k.alt)), 2);
  b.resize(size_t(size), '\xee');
  return b;
}

void put_u32(std::string& s, size_t at, uint32_t v) {
  for (int j = 0; j < 4; ++j) s[at + size_t(j)] = char(v >> (8 * j));
}

// A TK1 file: one track of `count` records of `size` bytes from 0x400, table after them.
std::string tk1(int size, int count, uint32_t listed_count, uint32_t tracks = 1) {
  std::string s(0x400, '\0');
  std::memcpy(&s[0], "WintecLogFormat", 15);
  s[30] = char(size & 0xFF);
  s[31] = char(size >> 8);
  for (int i = 0; i < count; ++i) s += record(i % 10, size);
  const uint32_t table = uint32_t(s.size());
  std::string entry(24, '\0');
  put_u32(entry, 0, 7);
  put_u32(entry, 4, 0x400);
  put_u32(entry, 8, listed_count);
  s += entry;
  put_u32(s, 140, table);
  put_u32(s, 144, tracks);
  return s;
}

std::string tk2(uint32_t count, int records, const char* magic = "WintecLogTk2") {
  std::string s(1024, '\0');
  std::memcpy(&s[0], magic, std::strlen(magic));
  std::memcpy(&s[130], "Track", 5);
  put_u32(s, 460, count);
  for (int i = 0; i < records; ++i) s += record(i % 10);
  return s;
}

class WintecFiles : public tm_test::ReaderFixture {
 protected:
  int load(const std::string& path, int (*reader)(obj_t*, container_t*), fileatt_t** out) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -1;
    const int r = reader(f, f->sot);
    EXPECT_EQ(get_gblerr(), 0);
    loaded_.unload_at_end(f, r != 0);
    *out = f;
    return r;
  }
  template <class T> static std::vector<T*> all(fileatt_t* f, int cls) { return tm_test::objects_of<T>(f->sot, cls); }

  static void expect_point(const gpspos_t* p, int i) {
    const known k = truth(i);
    gps_point_t c;
    std::memcpy(&c, &p->coords, sizeof c);
    EXPECT_NEAR(c.y, k.lat, 1e-7) << i;
    EXPECT_NEAR(c.x, k.lon, 1e-7) << i;
    float alt;
    std::memcpy(&alt, &p->altitude, sizeof alt);
    EXPECT_EQ(alt, float(k.alt)) << i;
    date_rec t;
    std::memcpy(&t, &p->time, sizeof t);
    char* text = nullptr;
    format_date_iso_span(&t, 1, 1, &text);
    char want[32];
    std::snprintf(want, sizeof want, "2024-03-09T%02d:%02d:%02dZ", k.second / 3600, k.second / 60 % 60, k.second % 60);
    EXPECT_STREQ(text, want) << i;
    free_mem(&text);
  }
};

TEST_F(WintecFiles, FixturesHoldTheKnownPoints) {
  struct row {
    const char* file;
    int (*reader)(obj_t*, container_t*);
    size_t tracklogs, points, segments, waypoints;
  };
  const row rows[] = {
      {"tk1_basic.tk1", read_wintec_tk1, 2, 10, 2, 1},
      {"tk1_rec20.tk1", read_wintec_tk1, 2, 10, 2, 1},
      {"tk1_extra.tk1", read_wintec_tk1, 2, 10, 2, 1},
      {"tk2_named.tk2", read_wintec_tk2, 1, 10, 2, 1},
      {"tk3_points.tk3", read_wintec_tk3, 0, 0, 0, 5},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.file);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(kDir + r.file, r.reader, &f), 0);
    const auto logs = all<tracklog_t>(f, CLS_TRACKLOG);
    const auto pts = all<gpspos_t>(f, CLS_GPSPOS);
    EXPECT_EQ(logs.size(), r.tracklogs);
    ASSERT_EQ(pts.size(), r.points);
    EXPECT_EQ(all<trackseg_t>(f, CLS_TRACKSEG).size(), r.segments);
    const auto wpts = all<waypoint_t>(f, CLS_WAYPOINT);
    ASSERT_EQ(wpts.size(), r.waypoints);
    for (size_t i = 0; i < pts.size(); ++i) expect_point(pts[i], int(i));
    if (r.reader == read_wintec_tk1) {
      int32_t n0, n1;
      std::memcpy(&n0, &logs[0]->number, 4);
      std::memcpy(&n1, &logs[1]->number, 4);
      EXPECT_EQ(n0, 100);
      EXPECT_EQ(n1, 101);
    }
    if (r.reader == read_wintec_tk2) {
      char16_t* name;
      std::memcpy(&name, &logs[0]->name, sizeof name);
      EXPECT_EQ(std::u16string(name), u"Morning walk");
    }
    for (size_t i = 0; i < wpts.size(); ++i) {
      char16_t* name;
      std::memcpy(&name, &wpts[i]->name, sizeof name);
      EXPECT_EQ(std::u16string(name), u"Push-to-log point");
      gps_point_t c;
      std::memcpy(&c, &wpts[i]->coords, sizeof c);
      const int at = r.reader == read_wintec_tk3 ? int(i) : 3;
      EXPECT_NEAR(c.y, truth(at).lat, 1e-7);
      EXPECT_NEAR(c.x, truth(at).lon, 1e-7);
    }
  }
}

// The reference converter reads the same points from the TK1 fixture (its GPX keeps nine
// decimals: both hold the known points to 1e-7 degree).
TEST_F(WintecFiles, TheReferenceConverterAgreesOnTheTk1Fixture) {
  if (!tm_test::tool_present("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  std::string out;
  const std::string gpx = dir_ + "/tk1.gpx";
  ASSERT_EQ(tm_test::run_tool({"gpsbabel", "-t", "-i", "wbt-tk1", "-f", kDir + "tk1_basic.tk1", "-o", "gpx",
                               "-F", gpx},
                              &out, 30000),
            0)
      << out;
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(kDir + "tk1_basic.tk1", read_wintec_tk1, &f), 0);
  const auto pts = all<gpspos_t>(f, CLS_GPSPOS);
  const auto host = tm_test::host_gpx_points(tm_test::slurp_file(gpx));
  ASSERT_EQ(host.size(), pts.size());
  for (size_t i = 0; i < pts.size(); ++i) {
    const known k = truth(int(i));
    EXPECT_NEAR(host[i].lat, k.lat, 1e-7) << i;
    EXPECT_NEAR(host[i].lon, k.lon, 1e-7) << i;
    EXPECT_NEAR(host[i].ele, k.alt, 1e-6) << i;
    char when[32];
    std::snprintf(when, sizeof when, "2024-03-09T%02d:%02d:%02dZ", k.second / 3600, k.second / 60 % 60, k.second % 60);
    EXPECT_EQ(host[i].time, when) << i;
  }
}

TEST_F(WintecFiles, SizesCountsAndOffsetsFromTheFileAreBounded) {
  struct row {
    const char* name;
    std::string bytes;
    int (*reader)(obj_t*, container_t*);
    int result;
    size_t points;
    size_t segments;
  };
  std::string every_new = tk1(16, 4, 4);
  for (int i = 0; i < 4; ++i) every_new[0x400 + size_t(i) * 16] = 1;
  std::string far_records = tk1(16, 3, 3);
  put_u32(far_records, far_records.size() - 24 + 4, 1u << 30);
  std::string far_table = tk1(16, 3, 3);
  put_u32(far_table, 140, 1u << 30);
  std::string cut_table = tk1(16, 3, 3, 2);  // a second entry the file does not hold
  std::string zero_size = tk1(16, 3, 3);
  zero_size[30] = zero_size[31] = 0;
  const row rows[] = {
      {"record size 10 reads flags, time and latitude", tk1(10, 3, 3), read_wintec_tk1, 0, 3, 1},
      {"record size 20 skips 4 bytes", tk1(20, 3, 3), read_wintec_tk1, 0, 3, 1},
      {"record size 0", zero_size, read_wintec_tk1, ERR_BAD_FILE, 0, 0},
      // The table entry after the records is read as a fourth record (flags 7: a new segment).
      {"count above the records present", tk1(16, 3, 1000000), read_wintec_tk1, 0, 4, 2},
      {"records beyond the file", far_records, read_wintec_tk1, ERR_BAD_FILE, 0, 0},
      {"table beyond the file", far_table, read_wintec_tk1, ERR_BAD_FILE, 0, 0},
      {"table entry cut short keeps the first track", cut_table, read_wintec_tk1, ERR_BAD_FILE, 3, 1},
      {"TK1 of 147 bytes", tk1(16, 0, 0).substr(0, 147), read_wintec_tk1, ERR_BAD_FILE, 0, 0},
      {"bit 0 on every record", every_new, read_wintec_tk1, 0, 4, 4},
      {"TK2 of 1024 bytes with a count of 5", tk2(5, 0), read_wintec_tk2, 0, 0, 0},
      {"TK2 count above the records", tk2(1u << 31, 3), read_wintec_tk2, 0, 3, 1},
      {"TK2 of 1023 bytes", tk2(0, 0).substr(0, 1023), read_wintec_tk2, ERR_BAD_FILE, 0, 0},
      {"TK3 of 1023 bytes", tk2(0, 0, "WintecLogTk3").substr(0, 1023), read_wintec_tk3, ERR_BAD_FILE, 0, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    fileatt_t* f = nullptr;
    const std::string path = tm_test::write_file(dir_ + "/case.tk", r.bytes);
    EXPECT_EQ(load(path, r.reader, &f), r.result);
    EXPECT_EQ(all<gpspos_t>(f, CLS_GPSPOS).size(), r.points);
    EXPECT_EQ(all<trackseg_t>(f, CLS_TRACKSEG).size(), r.segments);
    if (std::string(r.name).rfind("record size 10", 0) == 0) {
      const auto pts = all<gpspos_t>(f, CLS_GPSPOS);
      gps_point_t c;
      std::memcpy(&c, &pts[1]->coords, sizeof c);
      EXPECT_NEAR(c.y, truth(1).lat, 1e-7);
      EXPECT_EQ(c.x, 0.0);
    }
    if (std::string(r.name).rfind("record size 20", 0) == 0) {
      const auto pts = all<gpspos_t>(f, CLS_GPSPOS);
      for (size_t i = 0; i < pts.size(); ++i) expect_point(pts[i], int(i));
    }
    loaded_.free_one(f);
  }
}

}  // namespace
