// The identifications of the Globalsat, Navilink, MediaTek and SkyTraq loggers, each
// asked on each other one's simulated logger, whatever the order of the driver table:
// none claims another family's logger, leaves the port untouched and an error unset,
// and each gives up within its bounded waits (on the virtual clock).
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/error.h"
#include "core/object.h"
#include "gps/gpsport.h"
#include "gps/loggers/globalsat.h"
#include "gps/loggers/mtk.h"
#include "gps/loggers/navilink.h"
#include "gps/loggers/skytraq.h"
#include "platform/sys/clock.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/globalsat_sim.h"
#include "tests/support/gps_sim/mtk_sim.h"
#include "tests/support/gps_sim/navilink_sim.h"
#include "tests/support/gps_sim/skytraq_sim.h"

namespace {

using tm_test::pty_pair;

// A started simulator on its line, and whether it has nothing in hand.
struct logger_line {
  int family = 0;
  std::unique_ptr<pty_pair> pty = std::make_unique<pty_pair>();
  std::shared_ptr<void> sim;
  std::function<bool()> idle = [] { return true; };
};

logger_line skytraq_line() {
  logger_line l;
  l.family = GPS_SKYTRAQ;
  auto s = std::make_shared<gps_sim::skytraq_sim>(l.pty->master(), l.pty->slave());
  s->set_sectors(gps_sim::skytraq_pack({{2200, 1000, 4201000, 168000, 4780000, 5, false}}));
  s->start();
  l.sim = s;
  return l;
}

logger_line globalsat_line() {
  logger_line l;
  l.family = GPS_GLOBALSAT;
  auto s = std::make_shared<gps_sim::globalsat_sim>(l.pty->master(), l.pty->slave());
  s->start();
  l.sim = s;
  return l;
}

logger_line navilink_line() {
  logger_line l;
  l.family = GPS_NAVILINK;
  auto s = std::make_shared<gps_sim::navilink_sim>(*l.pty);
  s->start();
  l.idle = [s] { return s->idle(); };
  l.sim = s;
  return l;
}

logger_line mtk_line() {
  logger_line l;
  l.family = GPS_MEDIATEK;
  auto s = std::make_shared<gps_sim::mtk_sim>(*l.pty);
  s->format = 0x3F;
  s->image = std::string(512, '\x5A');
  s->start();
  l.idle = [s] { return s->idle(); };
  l.sim = s;
  return l;
}

// Bytes the driver wrote that the simulator has not read yet.
int master_pending(int master) {
  int n = 0;
  return ioctl(master, FIONREAD, &n) == 0 ? n : 0;
}

// Runs the call on the virtual clock, moving it only while the simulator and every
// waiter are idle, by half a second (the waits of the identifications are ten seconds
// and more): the virtual milliseconds it took, -1 when it hung.
int64_t run_idle(tm_test::virtual_worker& w, const logger_line& line) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!w.done()) {
    if (std::chrono::steady_clock::now() > until) return -1;
    if (tm_test::clock_idle() && line.idle() && master_pending(line.pty->master()) == 0)
      plat::advance_virtual_ms(500);
    else
      std::this_thread::yield();
  }
  w.finish();
  return w.elapsed();
}

class LoggerCrossIdentify : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    mtk_module_init();
  }
  void TearDown() override {
    mtk_module_free();
    GpsPortFixture::TearDown();
  }
};

TEST_F(LoggerCrossIdentify, NoLoggerIdentificationClaimsAnotherFamilysLogger) {
  struct identification {
    const char* name;
    int family;
    int32_t (*identify)(const char*, gpsport_t*);
  };
  const identification identifications[] = {
      {"Globalsat", GPS_GLOBALSAT, globalsat_probe},
      {"Navilink", GPS_NAVILINK, navilink_identify},
      {"MediaTek", GPS_MEDIATEK, mtk_identify},
      {"SkyTraq", GPS_SKYTRAQ, skytraq_probe},
  };
  struct logger {
    const char* name;
    logger_line (*make)();
  };
  const logger loggers[] = {
      {"Globalsat", globalsat_line},
      {"Navilink", navilink_line},
      {"MediaTek", mtk_line},
      {"SkyTraq", skytraq_line},
  };
  for (const identification& id : identifications) {
    for (const logger& lg : loggers) {
      logger_line line = lg.make();
      ASSERT_TRUE(line.pty->ok());
      if (line.family == id.family) continue;
      SCOPED_TRACE(std::string(id.name) + " asked on the " + lg.name + " logger");
      gpsport_t* port = nullptr;
      gpsport_create(1, GPSPORT_SERIAL, 0, 0, "", &port);
      ASSERT_NE(port, nullptr);
      int32_t found = -9;
      tm_test::virtual_worker w([&] { found = id.identify(line.pty->path().c_str(), port); });
      const int64_t took = run_idle(w, line);
      ASSERT_GE(took, 0) << "the identification hangs";
      EXPECT_LE(took, 5 * 60 * 1000);
      EXPECT_EQ(found, 0);
      EXPECT_EQ(get_gblerr(), 0);
      EXPECT_EQ(port->family, 0);
      EXPECT_EQ(port->connection, nullptr);
      EXPECT_EQ(port->driver, nullptr);
      set_gblerr(0);
      obj_t* o = port;
      free_obj(&o);
    }
  }
}

}  // namespace
