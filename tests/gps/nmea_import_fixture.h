// Test support for the NMEA files: the GPS fixture with real file objects and geodesy
// tables, the NMEA tables built, a loader of texts and fixture files through the import,
// the objects it made (segments, points, waypoints, routes) in WGS 84 degrees, and the
// export of a test-built layer at a fixed time of export.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/wstring.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "gps/nmea_export_internal.h"
#include "gps/nmea_files.h"
#include "gps/nmea_import_internal.h"
#include "gps/nmea_parser.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"

namespace tm_test {

inline const std::string kNmeaFixtureDir = TM_FIXTURE_DIR "/nmea_files/";

inline std::string narrow_text(const char16_t* w) {
  std::string out;
  for (; w && *w; ++w) out.push_back(char(*w));
  return out;
}

// A sentence with its tail (checksum over the characters after '$', CR LF).
inline std::string sentence(const std::string& body) {
  int sum = 0;
  for (size_t i = 1; i < body.size(); ++i) sum ^= static_cast<unsigned char>(body[i]);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return body + tail;
}
inline std::string sentences(std::initializer_list<std::string> bodies) {
  std::string out;
  for (const std::string& b : bodies) out += sentence(b);
  return out;
}

// The rows of a unicsv file written by gpsbabel, each a map from column name to text
// (quotes taken off).
using csv_row = std::map<std::string, std::string>;
inline std::vector<csv_row> read_unicsv(const std::string& path) {
  std::vector<csv_row> rows;
  std::istringstream in(slurp_file(path));
  std::string line;
  std::vector<std::string> head;
  auto split = [](const std::string& l) {
    std::vector<std::string> cells;
    std::string cell;
    bool quoted = false;
    for (char ch : l) {
      if (ch == '"') quoted = !quoted;
      else if (ch == ',' && !quoted) cells.push_back(cell), cell.clear();
      else if (ch != '\r') cell.push_back(ch);
    }
    cells.push_back(cell);
    return cells;
  };
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    if (head.empty()) {
      head = split(line);
      continue;
    }
    const auto cells = split(line);
    csv_row row;
    for (size_t i = 0; i < head.size() && i < cells.size(); ++i) row[head[i]] = cells[i];
    rows.push_back(row);
  }
  return rows;
}
// "hh:mm:ss[.fff]" as seconds of the day.
inline double csv_seconds(const std::string& t) {
  int h = 0, m = 0;
  double s = 0;
  std::sscanf(t.c_str(), "%d:%d:%lf", &h, &m, &s);
  return h * 3600.0 + m * 60.0 + s;
}

// A date record of a calendar date and time of day.
inline date_rec at_time(int year, int month, int day, int h, int m, double s) {
  date_rec r{};
  date_normalize(&r, year, month, day - 1 + (h * 3600.0 + m * 60.0 + s) / 86400.0);
  return r;
}

class NmeaFilesFixture : public ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    ASSERT_EQ(nmea_module_init(), 0);
    ASSERT_EQ(get_gblerr(), 0);
  }

  // Imports a disk file; the file object in *out (freed at the end), its list kept
  // whatever the result.
  int load_path(const std::string& path, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -1;
    const int result = read_nmea_file(f, f->sot);
    loaded_.unload_at_end(f, result != 0);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    if (out) *out = f;
    return result;
  }
  int load(const std::string& text, fileatt_t** out = nullptr, const char* name = "t.nmea") {
    return load_path(write_file(dir_ + "/" + name, text), out);
  }

  template <class T> static std::vector<T*> all_of(const container_t* list, int cls) {
    return objects_of<T>(list, cls);
  }
  static georef_t* georef_of(const container_t* list) {
    auto g = all_of<georef_t>(list, CLS_GEOREF);
    return g.empty() ? nullptr : g.front();
  }
  // The track segments of every tracklog, in order.
  static std::vector<trackseg_t*> segments_of(const container_t* list) {
    std::vector<trackseg_t*> out;
    for (tracklog_t* t : all_of<tracklog_t>(list, CLS_TRACKLOG))
      for (int i = 0; i < obj_list_count(t->sons); ++i)
        if (t->sons->elems[i]->cls == CLS_TRACKSEG)
          out.push_back(static_cast<trackseg_t*>(t->sons->elems[i]));
    return out;
  }
  static std::vector<gpspos_t*> points_of(const trackseg_t* s) {
    std::vector<gpspos_t*> out;
    for (int i = 0; i < obj_list_count(s->sons); ++i)
      out.push_back(static_cast<gpspos_t*>(s->sons->elems[i]));
    return out;
  }
  // x, y of a point of the list carried to WGS 84 degrees.
  static void degrees_of(const container_t* list, const obj_t* p, double* x, double* y) {
    gps_point_t c;
    std::memcpy(&c, reinterpret_cast<const char*>(p) + kPointCoordsOffset, sizeof c);
    *x = c.x, *y = c.y;
    double z = 0;
    const georef_t* g = georef_of(list);
    xform_chain_t* chain = nullptr;
    georef_chain_to_ref(g, &chain);
    if (chain) {
      xform_chain_forward(chain, x, y, &z);
      obj_t* o = chain;
      free_obj(&o);
    }
    geodatum_t* ref = geo_get_ref_datum(nullptr);
    angle_unit_convert(ref ? ref->unit : ANG_DEGREE, ANG_DEGREE, x, y);
  }
  static date_rec time_of(const gpspos_t* p) {
    date_rec r;
    std::memcpy(&r, &p->time, sizeof r);
    return r;
  }
  // Seconds of the day of a point's time (from its day value).
  static double seconds_of_day(const gpspos_t* p) {
    const date_rec r = time_of(p);
    return (r.day - std::floor(r.day)) * 86400.0;
  }

  // Builders of a layer to export: a list with a georef on the reference datum (degrees).
  container_t* new_layer() {
    container_t* l = new_list();
    add_georef(l);
    return l;
  }
  static gpspos_t* add_point(container_t* list, trackseg_t* s, double lon, double lat,
                             const date_rec* time = nullptr, double altitude = 0.0) {
    gpspos_t* p = nullptr;
    gpspos_create(lon, lat, time, altitude, s, list, &p);
    return p;
  }

  // The export of the lists at a fixed time: 2024-03-10 08:00:00.
  std::string export_text(const std::vector<const container_t*>& lists, int* err = nullptr) {
    const std::string path = dir_ + "/out.nmea";
    nmea_export_lists(path.c_str(), nullptr, lists, kExportTime);
    if (err) *err = get_gblerr();
    set_gblerr(0);
    return slurp_file(path);
  }
  static std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      out.push_back(l);
    }
    return out;
  }
  // Lines without their tails.
  static std::vector<std::string> bodies_of(const std::string& text) {
    std::vector<std::string> out;
    for (std::string l : lines_of(text)) {
      const size_t star = l.rfind('*');
      out.push_back(star == std::string::npos ? l : l.substr(0, star));
    }
    return out;
  }

  // The bytes of an in-memory file object.
  static std::string memory_bytes(const fileatt_t* mem) {
    std::string got;
    int64_t at = 0;
    for (;;) {
      int64_t n = 1 << 20;
      const uint8_t* p = filemobj_read_ptr(mem->store, at, &n);
      if (!p || n <= 0) break;
      got.append(reinterpret_cast<const char*>(p), size_t(n));
      at += n;
    }
    return got;
  }

  static constexpr date_rec kExportTime{20240310.0 + 8.0 / 24.0, 10.0 + 8.0 / 24.0};
};

}  // namespace tm_test
