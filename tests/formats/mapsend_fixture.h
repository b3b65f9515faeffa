// Test support for the MapSend and MapShow readers: loads of disk files through a given
// reader (the objects of a failed read kept for the test to look at, then unloaded as
// the dispatcher does), positions carried to degrees, and the tables of
// scripts/fixtures/make_mapsend_fixtures.py.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "formats/mapsend.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/support/test_env.h"

namespace tm_test {

using mapsend_reader = int (*)(obj_t*, container_t*);

inline const std::string kMapsendDir = TM_FIXTURE_DIR "/mapsend/";

// UTF-16 text as UTF-8.
inline std::string utf8(const char16_t* w) {
  std::string out;
  for (; w && *w; ++w) {
    const char32_t c = *w;
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (c < 0x800) {
      out.push_back(char(0xC0 | c >> 6));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else {
      out.push_back(char(0xE0 | c >> 12));
      out.push_back(char(0x80 | (c >> 6 & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// The rows of a fixture's table, each split at ';'.
inline std::vector<std::vector<std::string>> table_rows(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(slurp_file(path));
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) rows.push_back(split_fields(line, ';'));
  return rows;
}

// The moment `seconds` after 1970-01-01 as a date record.
inline date_rec unix_date(double seconds) {
  date_rec r{};
  date_normalize(&r, 1970, 1, seconds / 86400.0);
  return r;
}

class MapsendFixture : public ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    ASSERT_EQ(get_gblerr(), 0);
  }

  // Reads a disk file with `reader`; the file object (freed at the end) in *out.
  int load_path(mapsend_reader reader, const std::string& path, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -1;
    const int result = reader(f, f->sot);
    loaded_.unload_at_end(f, result != 0);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    if (out) *out = f;
    return result;
  }
  int load(mapsend_reader reader, const std::string& bytes, fileatt_t** out = nullptr,
           const char* name = "t.bin") {
    return load_path(reader, write_file(dir_ + "/" + name, bytes), out);
  }
  // Frees the files loaded so far (a test that loads many).
  void free_loaded() { loaded_.free_all(); }

  template <class T> static std::vector<T*> all_of(const fileatt_t* f, int cls) {
    return objects_of<T>(f->sot, cls);
  }
  // A point's position in degrees.
  static void degrees(const fileatt_t* f, const gps_point_t& p, double* x, double* y) {
    auto g = all_of<georef_t>(f, CLS_GEOREF);
    *x = p.x;
    *y = p.y;
    if (!g.empty()) angle_unit_convert(g.front()->unit, ANG_DEGREE, x, y);
  }
};

}  // namespace tm_test
