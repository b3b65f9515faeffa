// Test support for the SkyTraq driver: the GPS file fixture (geodesy tables, TMN reader)
// with the driver table saved and the SkyTraq column installed, a pseudo-terminal with
// the simulated logger on it, the known points of the log (the truth) with their
// geodetic positions and UTC times worked out here independently of the driver, and
// the runners of the slots on the virtual clock.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "gps/gpsport.h"
#include "gps/gpsport_internal.h"
#include "gps/loggers/skytraq.h"
#include "tests/formats/gpstext_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/gps/pty_logger_fixture.h"
#include "tests/support/gps_sim/skytraq_sim.h"

namespace skytraq_test {

// Steps of the virtual clock while a driver waits: the time-outs run to tens of seconds,
// and the clock moves only while every waiter is idle, so no answer is overtaken.
constexpr int64_t kStepMs = 100;

// WGS 84 geodetic latitude, longitude (degrees) and ellipsoidal height of an ECEF point,
// by fixed-point iteration on the latitude.
struct geodetic {
  double lat, lon, h;
};
inline geodetic ecef_to_geodetic(double x, double y, double z) {
  const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
  const double p = std::hypot(x, y);
  double lat = std::atan2(z, p * (1 - e2)), h = 0;
  for (int i = 0; i < 50; ++i) {
    const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
    h = p / std::cos(lat) - n;
    lat = std::atan2(z, p * (1 - e2 * n / (n + h)));
  }
  const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
  h = p / std::cos(lat) - n;
  const double deg = 180.0 / M_PI;
  return {lat * deg, std::atan2(y, x) * deg, h};
}

// "YYYY-MM-DDThh:mm:ss" of a GPS time after 2017 (18 leap seconds behind).
inline std::string utc_text(int week, uint32_t seconds) {
  const std::time_t t = 315964800 + std::time_t(week) * 604800 + seconds - 18;
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
  return buf;
}

// The known points: a walk near 48.85 N 2.29 E in 2022, with steps that fit compact
// records and some that do not, and one marked point.
inline std::vector<gps_sim::skytraq_point> truth_points(int n) {
  std::vector<gps_sim::skytraq_point> pts;
  int32_t x = 4201000, y = 168000, z = 4780000;
  uint32_t t = 300000;
  int32_t week = 2200;
  for (int i = 0; i < n; ++i) {
    if (t >= 604800) t -= 604800, ++week;
    gps_sim::skytraq_point p{week, t, x, y, z, uint8_t(10 + i % 50), i % 17 == 5};
    pts.push_back(p);
    const int big = (i % 11 == 3) ? 900 : 0;  // a jump that needs a full record
    x += 3 + (i % 7) * 40 + big;
    y += -1 - (i % 5) * 30;
    z += (i % 2 ? -511 : 511);
    t += 5 + (i % 13 == 0 ? 20000 : 0);
  }
  return pts;
}

// The fixture log made by scripts/fixtures/make_skytraq_fixtures.py: its sectors of 4096
// bytes (erased flash after the records) and its known points.
inline const std::string kFixtureDir = TM_FIXTURE_DIR "/skytraq/";
inline std::vector<std::string> fixture_sectors() {
  const std::string image = tm_test::slurp_file(kFixtureDir + "log.bin");
  std::vector<std::string> out;
  for (size_t at = 0; at < image.size(); at += 4096) out.push_back(image.substr(at, 4096));
  return out;
}
inline std::vector<gps_sim::skytraq_point> fixture_truth() {
  std::vector<gps_sim::skytraq_point> out;
  std::istringstream in(tm_test::slurp_file(kFixtureDir + "truth.csv"));
  for (std::string line; std::getline(in, line);) {
    const auto f = tm_test::split_fields(line, ';');
    if (f.size() != 7) continue;
    out.push_back({std::stoi(f[0]), uint32_t(std::stoul(f[1])), std::stoi(f[2]), std::stoi(f[3]),
                   std::stoi(f[4]), uint8_t(std::stoi(f[5])), f[6] == "1"});
  }
  return out;
}

class SkytraqFixture
    : public tm_test::PtyLoggerFixture<gps_sim::skytraq_sim, skytraq_install, kStepMs> {
 protected:
  // A download of the items in `flags` into dir_/<base>; count, gblerr after.
  int download(gpsport_t* port, int flags, int32_t* count, const std::string& base = "log") {
    const std::string b = dir_ + "/" + base;
    int err = 0;
    tm_test::virtual_worker w([&] {
      gps_download(port, b.c_str(), flags, count);
      err = get_gblerr();
      set_gblerr(0);
    });
    EXPECT_GE(w.run(kStepMs), 0);
    return err;
  }
  std::string file(const std::string& base = "log") { return dir_ + "/" + base + ".tmn"; }
};

}  // namespace skytraq_test
