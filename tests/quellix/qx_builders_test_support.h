// Test support for the replay data builders: the load fixture (file objects, the GPX
// and own-format readers, the load dispatch) with the NMEA tables and the replay point
// class, the virtual clock (so two NMEA exports stamp the same time), builders of NMEA
// lines, and the replay points of a file in time order.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "gps/nmea_files.h"
#include "gps/nmea_parser.h"
#include "platform/sys/clock.h"
#include "quellix/qx_builders.h"
#include "quellix/replay_point.h"
#include "tests/formats/load_fixture.h"
#include "tests/gps/nmea_import_fixture.h"

namespace tm_test {

class QxBuildersFixture : public LoadFixture {
 protected:
  void SetUp() override {
    LoadFixture::SetUp();
    plat::use_virtual_clock(true);
    ASSERT_EQ(nmea_module_init(), 0);
    nmea_files_init();
    qx_replay_point_register();
    ASSERT_EQ(get_gblerr(), 0);
  }
  void TearDown() override {
    plat::use_virtual_clock(false);
    LoadFixture::TearDown();
    nmea_module_free();
  }

  // A disk file of the text (a new name at each call: a file object is found again by
  // its name), opened as an NMEA file.
  fileatt_t* nmea_file(const std::string& text) {
    const std::string name = "/t" + std::to_string(++files_made_) + ".nmea";
    fileatt_t* f = open(put(name, text));
    if (f) {
      f->filetype = kFileKindGps;
      f->fileformat = uint32_t(kNmeaFileFormat);
    }
    return f;
  }
  // The replay points of the file's content list in time order (ties by id).
  static std::vector<replay_point*> points_of(const fileatt_t* f) {
    std::vector<replay_point*> out = objects_of<replay_point>(f->sot, CLS_REPLAY_POINT);
    std::stable_sort(out.begin(), out.end(), [](const replay_point* a, const replay_point* b) {
      return a->time < b->time;
    });
    return out;
  }
  // The log read into points (no resampling).
  std::vector<replay_point*> read_log(const std::string& text, int* err = nullptr) {
    fileatt_t* f = nmea_file(text);
    const int e = qx_read_nmea_log(f);
    if (err) *err = e;
    EXPECT_EQ(get_gblerr(), 0);
    return points_of(f);
  }
  int files_made_ = 0;

  static std::string text_of(const replay_point* p) {
    return p->text ? std::string(p->text, size_t(p->length)) : std::string();
  }
};

// Seconds as days.
inline double days(double seconds) { return seconds / 86400.0; }

// "$GPRMC" of a time, a position given as NMEA fields, a speed in knots ("" none) and a
// date ("" none).
inline std::string rmc(const std::string& time, const std::string& lat, const std::string& lon,
                       const std::string& knots = "", const std::string& date = "") {
  return sentence("$GPRMC," + time + ",A," + lat + ",N," + lon + ",E," + knots + ",," + date +
                  ",,");
}
inline std::string gga(const std::string& time, const std::string& lat, const std::string& lon,
                       const std::string& altitude = "", const std::string& separation = "") {
  std::string alt = altitude.empty() ? "," : altitude + ",M";
  std::string sep = separation.empty() ? "," : separation + ",M";
  return sentence("$GPGGA," + time + "," + lat + ",N," + lon + ",E,1,08,1.0," + alt + "," + sep +
                  ",,");
}
inline std::string gll(const std::string& lat, const std::string& lon) {
  return sentence("$GPGLL," + lat + ",N," + lon + ",E,,A");
}
// Latitude field "4500.mmmm" of 45 degrees plus `metres` north (1852 m a minute of
// latitude on the sphere the distance uses is close enough for tests that compare with
// the reader's own distances).
inline std::string lat_field(double minutes) {
  char b[32];
  std::snprintf(b, sizeof b, "45%07.4f", minutes);
  return b;
}

}  // namespace tm_test
