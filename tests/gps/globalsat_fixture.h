// Test support for the Globalsat driver: the GPS file fixture (TMN reader) with the
// driver table saved and the Globalsat column installed, a pseudo-terminal with the
// simulated logger on it, the known track files (the truth) with their positions and
// times worked out here independently of the driver, and the runners of the slots on
// the virtual clock.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "gps/gpsport.h"
#include "gps/gpsport_internal.h"
#include "gps/loggers/globalsat.h"
#include "tests/formats/gpstext_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/gps/pty_logger_fixture.h"
#include "tests/support/gps_sim/globalsat_sim.h"

namespace globalsat_test {

// Steps of the virtual clock while a driver waits: the time-outs run to tens of seconds,
// and the clock moves only while every waiter is idle, so no answer is overtaken.
constexpr int64_t kStepMs = 100;

// Degrees of DDDMMmmmm: whole degrees, then minutes with four decimals.
inline double degrees(int32_t v) {
  const int32_t deg = v / 1000000;
  const double minutes = (v - deg * 1000000) / 10000.0;
  return deg + minutes / 60.0;
}

// "20YY-MM-DDThh:mm:ss" of hhmmss and ddmmyy.
inline std::string time_text(int32_t hhmmss, int32_t ddmmyy) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "20%02d-%02d-%02dT%02d:%02d:%02d", ddmmyy % 100, ddmmyy / 100 % 100,
                ddmmyy / 10000, hhmmss / 10000, hhmmss / 100 % 100, hhmmss % 100);
  return buf;
}

// Known track files: one in each record format, and one of format 2 only. Points walk
// from 45 12.3456 N 5 43.2100 E; the last track crosses to the west.
inline std::vector<gps_sim::globalsat_track> truth_tracks(int points_per_track = 30) {
  std::vector<gps_sim::globalsat_track> tracks;
  const int formats[] = {1, 0, 2, 1};
  for (int t = 0; t < 4; ++t) {
    gps_sim::globalsat_track tr;
    tr.format = formats[t];
    for (int i = 0; i < points_per_track; ++i) {
      gps_sim::globalsat_point p{};
      p.latitude = 45123456 + i * 137 + t * 10000;
      p.longitude = t == 3 ? -1200000 + i * 311 : 5432100 + i * 211;
      const int s = 3600 * 9 + 60 * (t * 5) + i * 7;
      p.time = (s / 3600) * 10000 + (s / 60 % 60) * 100 + s % 60;
      p.date = 150622 + t * 10000;  // 15..18 June 2022
      p.speed = 1234 + i * 10;
      p.altitude = 2150000 + i * 5000;
      tr.points.push_back(p);
    }
    tracks.push_back(tr);
  }
  return tracks;
}

class GlobalsatFixture
    : public tm_test::PtyLoggerFixture<gps_sim::globalsat_sim, globalsat_install, kStepMs> {
 protected:
  // Probes and closes the port, as the receiver search leaves it.
  gpsport_t* found_port() {
    gpsport_t* port = probe();
    if (port) gpsport_close(port);
    return port;
  }
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

  // The record lines of a written log, split into fields.
  static std::vector<std::vector<std::string>> records(const std::string& path) {
    std::vector<std::vector<std::string>> out;
    std::istringstream in(tm_test::slurp_file(path));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line))
      if (!line.empty() && line[0] != '#') out.push_back(tm_test::split_fields(line, ';'));
    return out;
  }
  // Every line against the known tracks: position to 1e-9 degree, the columns each
  // record format fills, and those it leaves empty.
  static void expect_truth(const std::vector<std::vector<std::string>>& rows,
                           const std::vector<gps_sim::globalsat_track>& tracks) {
    size_t r = 0;
    for (const auto& t : tracks) {
      for (size_t i = 0; i < t.points.size(); ++i, ++r) {
        ASSERT_LT(r, rows.size());
        const auto& row = rows[r];
        const auto& p = t.points[i];
        const int format = i == 0 ? 2 : t.format;
        ASSERT_EQ(row.size(), 17u) << r;
        EXPECT_NEAR(std::stod(row[0]), degrees(p.longitude), 1e-9) << r;
        EXPECT_NEAR(std::stod(row[1]), degrees(p.latitude), 1e-9) << r;
        EXPECT_EQ(row[2], format == 0 ? "" : "\"" + time_text(p.time, p.date) + "\"") << r;
        if (format == 2) {
          EXPECT_NEAR(std::stod(row[4]), p.altitude * 0.0001, 1e-9) << r;
        } else {
          EXPECT_EQ(row[4], "") << r;
        }
        if (format >= 1) {
          EXPECT_NEAR(std::stod(row[8]), p.speed * 0.01, 1e-9) << r;
        } else {
          EXPECT_EQ(row[8], "") << r;
        }
        for (int c : {3, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 16}) EXPECT_EQ(row[size_t(c)], "") << r << " column " << c;
      }
    }
    EXPECT_EQ(r, rows.size());
  }
};

}  // namespace globalsat_test
