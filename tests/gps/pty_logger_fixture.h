// The fixture of a serial logger's driver tests over a pty: the GPS text fixture with
// the driver table saved before the test and restored after it, the port module
// registered and the family put in by `Install`, the simulator `Sim` on the pty started
// before each test and stopped after, and every port the test probed closed and freed.
// probe runs gps_probe on the virtual clock in steps of `StepMs`.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "gps/gpsport.h"
#include "gps/gpsport_internal.h"
#include "tests/formats/gpstext_fixture.h"
#include "tests/gps/pty_fixture.h"

namespace tm_test {

template <class Sim, void (*Install)(), int64_t StepMs>
class PtyLoggerFixture : public GpsTextFixture {
 protected:
  void SetUp() override {
    GpsTextFixture::SetUp();
    std::memcpy(saved_table_, gps_device_table, sizeof saved_table_);
    gpsport_register();
    Install();
    ASSERT_TRUE(pty.ok());
    sim.start();
  }
  void TearDown() override {
    sim.stop();
    for (gpsport_t*& p : ports_) {
      gpsport_close(p);
      gpsport_free(&p);
    }
    set_gblerr(0);
    std::memcpy(gps_device_table, saved_table_, sizeof saved_table_);
    GpsTextFixture::TearDown();
  }

  // gps_probe on the pty (or on `path`) with a family filter, on the virtual clock; the
  // port (kept for freeing) or null.
  gpsport_t* probe(int filter = 0, const std::string& path = "") {
    gpsport_t* port = nullptr;
    const std::string device = path.empty() ? pty.path() : path;
    virtual_worker w([&] { gps_probe(device.c_str(), filter, &port); });
    EXPECT_GE(w.run(StepMs), 0);
    if (port) ports_.push_back(port);
    return port;
  }

  pty_pair pty;
  Sim sim{pty.master(), pty.slave()};
  std::vector<gpsport_t*> ports_;
  gps_device_column saved_table_[kGpsFamilyCount + 1];
};

}  // namespace tm_test
