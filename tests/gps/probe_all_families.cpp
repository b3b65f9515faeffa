// The probe with every driver installed, as the program runs it: each family's simulated
// receiver on a pseudo-terminal is found by its own family (and under its own name) when
// all families are asked in table order, so no family before it claims a device of
// another family, and none hangs on it. A line with no receiver behind it gives no port,
// within a bounded virtual time.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/error.h"
#include "core/object.h"
#include "gps/gps_drivers.h"
#include "gps/gpsport.h"
#include "gps/loggers/emtac.h"
#include "gps/loggers/magellan.h"
#include "gps/loggers/mtk.h"
#include "gps/loggers/royaltek_log.h"
#include "platform/sys/clock.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/emtac_sim.h"
#include "tests/support/gps_sim/garmin_sim.h"
#include "tests/support/gps_sim/globalsat_sim.h"
#include "tests/support/gps_sim/magellan_sim.h"
#include "tests/support/gps_sim/mtk_sim.h"
#include "tests/support/gps_sim/navilink_sim.h"
#include "tests/support/gps_sim/royaltek_sim.h"
#include "tests/support/gps_sim/royaltek_sim_clock.h"
#include "tests/support/gps_sim/skytraq_sim.h"
#include "tests/support/gps_sim/wintec_sim.h"

namespace {

using tm_test::pty_pair;
using tm_test::virtual_worker;

// Runs the worker's call to its end on the virtual clock, moving it only while the
// receiver is quiet and the call waits: by 1 ms at a paced real rate while the receiver
// was at work a moment ago (its answers travel in real time), by 10 ms once it has been
// still for a while (a time-out the driver waits out). The call's virtual duration, or
// -1 when it did not end within a generous real bound.
int64_t run_quiet(virtual_worker& w, const std::function<bool()>& quiet) {
  using clock = std::chrono::steady_clock;
  constexpr auto kSettle = std::chrono::milliseconds(30);
  const auto until = clock::now() + std::chrono::seconds(60);
  auto last_active = clock::now();
  while (!w.done()) {
    const auto now = clock::now();
    if (now > until) return -1;
    const bool still = quiet();
    if (!still) last_active = now;
    if (still && tm_test::clock_idle()) {
      const bool settled = now - last_active >= kSettle;
      plat::advance_virtual_ms(settled ? 10 : 1);
      std::this_thread::sleep_for(std::chrono::microseconds(settled ? 20 : 150));
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(10));
    }
  }
  w.finish();
  return w.elapsed();
}

// A simulated receiver on a line: the device the probe opens, and the runner that moves
// the virtual clock only while the receiver has nothing in hand.
class simulated {
 public:
  virtual ~simulated() = default;
  virtual std::string path() const = 0;
  virtual int64_t run(virtual_worker& w) = 0;
};

// A simulator that serves a pty_pair on a thread of its own. `quiet` tells when it has
// no command in hand; bytes the driver wrote and the simulator has not read yet hold
// the clock too.
template <class Sim> class threaded_sim : public simulated {
 public:
  using maker = std::function<std::unique_ptr<Sim>(pty_pair&)>;
  using quiet_fn = std::function<bool(const Sim&)>;
  threaded_sim(const maker& make, quiet_fn quiet) : quiet_(std::move(quiet)) {
    if (pty_.ok()) sim_ = make(pty_);
  }
  std::string path() const override { return pty_.path(); }
  int64_t run(virtual_worker& w) override {
    // The simulators without a quiet test of their own pace the clock themselves.
    if (!quiet_) return tm_test::run_paced(w);
    return run_quiet(w, [this] {
      return tm_test::master_pending(pty_.master()) == 0 && quiet_(*sim_);
    });
  }

 private:
  pty_pair pty_;  // declared first: outlives the simulator serving it
  std::unique_ptr<Sim> sim_;
  quiet_fn quiet_;
};

// The Garmin receiver serves its own pty on the thread that moves the clock.
class garmin_line : public simulated {
 public:
  garmin_line() : sim_(model()) {}
  std::string path() const override { return sim_.path(); }
  int64_t run(virtual_worker& w) override { return sim_.drive(w); }

 private:
  static tm_test::garmin_model model() {
    tm_test::garmin_model m;
    m.product_id = 695;
    m.version = 330;
    m.description = "Trail Sim";
    m.wpt_type = 110;
    m.trk_hdr_type = 312;
    m.trk_type = 302;
    return m;
  }
  tm_test::garmin_sim_pty sim_;
};

bool logger_quiet() { return tm_test::logger_sim_busy().load() == 0; }

std::unique_ptr<simulated> garmin() { return std::make_unique<garmin_line>(); }

std::unique_ptr<simulated> magellan() {
  return std::make_unique<threaded_sim<tm_test::magellan_sim>>(
      [](pty_pair& pty) {
        return std::make_unique<tm_test::magellan_sim>(
            pty, std::vector<std::string>{"PMGNWPL,4807.0380,N,01131.0000,E,0000200,M,WPT001,one,a"},
            std::vector<std::string>{}, std::vector<std::string>{});
      },
      nullptr);
}

std::unique_ptr<simulated> emtac() {
  return std::make_unique<threaded_sim<tm_test::emtac_sim>>(
      [](pty_pair& pty) {
        auto s = std::make_unique<tm_test::emtac_sim>(pty.master(), pty.slave(), "TRINE_V1.10_2008");
        s->start();
        return s;
      },
      [](const tm_test::emtac_sim&) { return logger_quiet(); });
}

std::unique_ptr<simulated> globalsat() {
  return std::make_unique<threaded_sim<gps_sim::globalsat_sim>>(
      [](pty_pair& pty) {
        auto s = std::make_unique<gps_sim::globalsat_sim>(pty.master(), pty.slave());
        s->start();
        return s;
      },
      [](const gps_sim::globalsat_sim&) { return true; });
}

std::unique_ptr<simulated> navilink() {
  return std::make_unique<threaded_sim<gps_sim::navilink_sim>>(
      [](pty_pair& pty) {
        auto s = std::make_unique<gps_sim::navilink_sim>(pty);
        s->start();
        return s;
      },
      [](const gps_sim::navilink_sim& s) { return s.idle(); });
}

std::unique_ptr<simulated> royaltek() {
  return std::make_unique<threaded_sim<tm_test::royaltek_sim>>(
      [](pty_pair& pty) {
        auto s = std::make_unique<tm_test::royaltek_sim>(pty.master(), pty.slave(),
                                                         "RoyalTek RBT-2300 V1.2", 57600);
        s->start();
        return s;
      },
      [](const tm_test::royaltek_sim&) { return logger_quiet(); });
}

std::unique_ptr<simulated> wintec() {
  return std::make_unique<threaded_sim<tm_test::wintec_sim>>(
      [](pty_pair& pty) {
        return std::make_unique<tm_test::wintec_sim>(
            pty, tm_test::wintec_record_bytes({45, 6, 1, 2024, 1, 2, 3, 4, 5, 0}));
      },
      [](const tm_test::wintec_sim&) { return tm_test::sims_quiet(); });
}

std::unique_ptr<simulated> mediatek() {
  return std::make_unique<threaded_sim<gps_sim::mtk_sim>>(
      [](pty_pair& pty) {
        auto s = std::make_unique<gps_sim::mtk_sim>(pty);
        s->format = 0x3F;
        s->image = std::string(512, '\x5A');
        s->start();
        return s;
      },
      [](const gps_sim::mtk_sim& s) { return s.idle(); });
}

std::unique_ptr<simulated> skytraq() {
  return std::make_unique<threaded_sim<gps_sim::skytraq_sim>>(
      [](pty_pair& pty) {
        auto s = std::make_unique<gps_sim::skytraq_sim>(pty.master(), pty.slave());
        const uint8_t kernel[3] = {1, 2, 3}, version[3] = {1, 6, 4}, revision[3] = {9, 7, 30};
        s->set_version(kernel, version, revision);
        s->start();
        return s;
      },
      [](const gps_sim::skytraq_sim&) { return true; });
}

class ProbeAllFamilies : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    // Every driver, then their start-up routines, as at program start-up.
    gps_drivers_install();
    gpsport_register();
    ASSERT_EQ(get_gblerr(), 0);
  }
  void TearDown() override {
    GpsPortFixture::TearDown();
    magellan_log_free();
    emtac_sentence_free();
    mtk_module_free();
    gpslog_free();
  }
};

struct family_case {
  const char* name;
  std::unique_ptr<simulated> (*make)();
  int family;
  const char* display_name;
};

// gps_probe with every family asked, in table order, on the receiver's line: the port
// found is of the receiver's family, under its name; closing it ends the dialogue.
void expect_found_by_its_family(const family_case& c) {
  SCOPED_TRACE(c.name);
  std::unique_ptr<simulated> line = c.make();
  gpsport_t* port = nullptr;
  {
    virtual_worker w([&] { gps_probe(line->path().c_str(), 0, &port); });
    ASSERT_GE(line->run(w), 0) << "the probe hangs";
  }
  EXPECT_EQ(get_gblerr(), 0);
  set_gblerr(0);
  ASSERT_NE(port, nullptr) << "no family found the receiver";
  EXPECT_EQ(port->family, c.family) << "claimed by " << gps_family_name(port->family);
  EXPECT_STREQ(port->display_name, c.display_name);
  EXPECT_STREQ(port->device_path, line->path().c_str());
  {
    virtual_worker w([&] { gpsport_close(port); });
    EXPECT_GE(line->run(w), 0) << "the close hangs";
  }
  set_gblerr(0);
  obj_t* o = port;
  free_obj(&o);
}

const family_case kFamilies[] = {
    {"Garmin", garmin, GPS_GARMIN, "Trail Sim"},
    {"Magellan", magellan, GPS_MAGELLAN, "2.22,MERIDIAN GPS"},
    {"Emtac", emtac, GPS_EMTAC, "Emtac Trine TRINE_V1.10_2008"},
    {"Globalsat", globalsat, GPS_GLOBALSAT, "GlobalSat DataLogger ID 00123456789ABCDE"},
    // Asked after Globalsat at the same speed with the same frame markers but a
    // big-endian length: a Navilink receiver drops those heads as line noise.
    {"Navilink", navilink, GPS_NAVILINK, "Navilink NAVSIM 1.0"},
    {"RoyalTek", royaltek, GPS_ROYALTEK, "RoyalTek RBT-2300 V1.2"},
    {"Wintec", wintec, GPS_WINTEC, "WBT201 hardw. 1.27 softw. 2.04 log 1.4"},
    {"MediaTek", mediatek, GPS_MEDIATEK, "MediaTek SIMFW_1.0,0001,,,AXN_SIM,0002,SIM200,1.0"},
    {"SkyTraq", skytraq, GPS_SKYTRAQ, "Skytraq Ker. 1.2.3 Ver. 1.6.4 Rev. 2009-07-30"},
};

TEST_F(ProbeAllFamilies, EachReceiverIsFoundByItsOwnFamilyOnly) {
  for (const family_case& c : kFamilies) expect_found_by_its_family(c);
}

// No receiver: a line that stays silent, and one whose other end has gone. Every family
// gives up after its own bounded waits.
TEST_F(ProbeAllFamilies, NoReceiverGivesNoPortWithinABoundedTime) {
  constexpr int64_t kBoundMs = 10 * 60 * 1000;
  for (const bool hung_up : {false, true}) {
    SCOPED_TRACE(hung_up ? "hung up" : "silent");
    pty_pair pty;
    ASSERT_TRUE(pty.ok());
    if (hung_up) pty.unplug();
    gpsport_t* port = reinterpret_cast<gpsport_t*>(&pty);
    virtual_worker w([&] { gps_probe(pty.path().c_str(), 0, &port); });
    const int64_t took = w.run(20);
    ASSERT_GE(took, 0) << "the probe hangs";
    EXPECT_LT(took, kBoundMs);
    EXPECT_EQ(port, nullptr);
    set_gblerr(0);
  }
}

}  // namespace
