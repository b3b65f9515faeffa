// The RoyalTek driver against the simulated logger on a pty, on the virtual clock:
// identity at both speeds, connect checks, the download of track subfiles into the log
// files and back through the log reader, every fault ending in a retry or error 17,
// the erase, and the draining of a logger that never pauses (real time).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdio>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "gps/gpsport.h"
#include "gps/loggers/emtac.h"
#include "gps/loggers/royaltek.h"
#include "gps/loggers/royaltek_log.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "tests/gps/royaltek_fixture.h"
#include "tests/support/gps_sim/emtac_sim.h"
#include "tests/support/gps_sim/royaltek_sim.h"

namespace rtk_test {
namespace {

using tm_test::pty_pair;
using tm_test::royaltek_fault;
using tm_test::royaltek_point;
using tm_test::royaltek_sim;
using tm_test::royaltek_subfile;

royaltek_subfile make_subfile(int log_type, int count, int seed) {
  royaltek_subfile s{log_type, {}};
  for (int i = 0; i < count; ++i) {
    const int t = 3600 * 7 + seed * 1000 + i;
    s.points.push_back({t / 3600, t / 60 % 60, t % 60, 45.1 + 0.0001 * i + seed,
                        5.7 - 0.0002 * i - seed, 200.0 + i * 0.5, 1.5 + (i % 7)});
  }
  return s;
}

class RoyaltekDriver : public LoggerDriverFixture {
 protected:
  // Starts `sim` holding one subfile of five points: the port the probe finds on it.
  gpsport_t* start_with_one_subfile(royaltek_sim* sim) {
    sim->add_subfile(make_subfile(0, 5, 0));
    sim->start();
    return probe(GPS_ROYALTEK);
  }
  // The truth of every subfile compared with what the reader made of the main file.
  void expect_truth(const std::vector<royaltek_subfile>& truth) {
    int result = -1;
    container_t* list = load_with(gpslog_read, base_ + ".rtkt", &result);
    ASSERT_EQ(result, 0);
    const auto segments = segments_of(list);
    ASSERT_EQ(segments.size(), truth.size());
    for (size_t s = 0; s < truth.size(); ++s) {
      const auto points = points_of(segments[s]);
      ASSERT_EQ(points.size(), truth[s].points.size()) << "subfile " << s;
      for (size_t i = 0; i < points.size(); ++i) {
        const royaltek_point& t = truth[s].points[i];
        EXPECT_NEAR(points[i]->coords.y, royaltek_sim::stored_degrees(t.latitude), 1e-9);
        EXPECT_NEAR(points[i]->coords.x, royaltek_sim::stored_degrees(t.longitude), 1e-9);
        EXPECT_EQ(seconds_of_day(points[i]), t.hour * 3600 + t.minute * 60 + t.second);
        const int type = truth[s].log_type;
        EXPECT_NEAR(points[i]->altitude, type >= 1 ? royaltek_sim::stored_value(t.altitude) : 0.0,
                    1e-3);
        EXPECT_NEAR(points[i]->speed, type == 2 ? royaltek_sim::stored_value(t.speed) * 3.6 : 0.0,
                    1e-4);
      }
    }
  }
  static int count_of(const std::vector<std::string>& commands, const std::string& prefix) {
    return int(std::count_if(commands.begin(), commands.end(),
                             [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
  }
};

TEST_F(RoyaltekDriver, ProbeFindsTheLoggerAtEitherSpeed) {
  for (int speed : {57600, 115200}) {
    SCOPED_TRACE(speed);
    royaltek_sim sim(pty_.master(), pty_.slave(), "RoyalTek RBT-2300 V1.2", speed);
    sim.start();
    gpsport_t* port = probe();
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->family, GPS_ROYALTEK);
    EXPECT_EQ(port->speed, speed);
    EXPECT_EQ(port->capabilities, 0x30u);
    EXPECT_STREQ(port->display_name, "RoyalTek RBT-2300 V1.2");
    EXPECT_EQ(port->connection, nullptr);
    EXPECT_EQ(port->driver, nullptr);
    sim.stop();
    obj_t* o = port;
    free_obj(&o);
    pty_.drain();
  }
}

TEST_F(RoyaltekDriver, IdentifyClaimsNeitherSilenceNorAnotherLogger) {
  // An Emtac logger answers only its own sentences at 38400 baud.
  tm_test::emtac_sim emtac(pty_.master(), pty_.slave());
  emtac.start();
  gpsport_t* port = new_port(pty_.path());
  int32_t found = -9;
  logger_worker w(pty_.master(), [&] { found = royaltek_probe(pty_.path().c_str(), port); });
  ASSERT_GE(w.run(5), 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(port->family, 0);
  emtac.stop();
  // And the RoyalTek logger is not an Emtac one.
  royaltek_sim sim(pty_.master(), pty_.slave());
  sim.start();
  logger_worker w2(pty_.master(), [&] { found = emtac_probe(pty_.path().c_str(), port); });
  ASSERT_GE(w2.run(5), 0);
  EXPECT_EQ(found, 0);
}

TEST_F(RoyaltekDriver, ConnectToAnotherLoggerGives17) {
  royaltek_sim sim(pty_.master(), pty_.slave(), "RoyalTek RBT-2001");
  sim.start();
  gpsport_t* port = new_port(pty_.path());
  str_set("RoyalTek RBT-2300", &port->display_name);
  port->speed = 57600;
  port->family = GPS_ROYALTEK;
  int32_t ok = -1;
  int err = 0;
  logger_worker w(pty_.master(), [&] {
    ok = royaltek_open(port);
    err = get_gblerr();
    set_gblerr(0);
  });
  ASSERT_GE(w.run(5), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(err, ERR_PROTOCOL);
  EXPECT_EQ(port->connection, nullptr);
  EXPECT_EQ(port->driver, nullptr);
}

TEST_F(RoyaltekDriver, DownloadWritesEverySubfileAndTheTruthLoadsBack) {
  const std::vector<royaltek_subfile> truth = {make_subfile(1, 500, 0), make_subfile(2, 13, 1),
                                               make_subfile(0, 30, 2)};
  royaltek_sim sim(pty_.master(), pty_.slave());
  for (const auto& s : truth) sim.add_subfile(s);
  sim.set_logging(true);
  sim.start();
  gpsport_t* port = probe(GPS_ROYALTEK);
  ASSERT_NE(port, nullptr);
  int32_t count = 0;
  ASSERT_EQ(download(port, &count), 0);
  EXPECT_EQ(count, 543);
  // Logging was stopped before the transfer.
  EXPECT_FALSE(sim.logging());
  // 500 points go in requests of 240, 240 and 20 records.
  const auto commands = sim.commands();
  std::vector<std::string> first;
  for (const auto& c : commands)
    if (c.rfind("PROY102,", 0) == 0 && c.find(",1,") != std::string::npos) first.push_back(c);
  ASSERT_EQ(first.size(), 3u);
  const uint32_t base = royaltek_sim::base_address(0);
  EXPECT_EQ(first[0], "PROY102," + std::to_string(base) + ",1,240");
  EXPECT_EQ(first[1], "PROY102," + std::to_string(base + 16 * 240) + ",1,240");
  EXPECT_EQ(first[2], "PROY102," + std::to_string(base + 32 * 240) + ",1,20");
  // The subfiles stay beside the main file, which holds them all.
  for (int i = 0; i < 3; ++i) {
    char* name = nullptr;
    royaltek_subfile_name(base_.c_str(), "rtkt", i, &name);
    const std::string sub = tm_test::slurp_file(name);
    free_mem(&name);
    EXPECT_EQ(sub.rfind("$LOG101,", 0), 0u);
  }
  const std::string main_text = tm_test::slurp_file(base_ + ".rtkt");
  EXPECT_EQ(main_text.rfind("$LOG108,", 0), 0u);
  EXPECT_NE(main_text.find("$PTMQH,RoyalTek RBT-2300*"), std::string::npos);
  expect_truth(truth);
}

struct fault_case {
  royaltek_fault fault;
  int times;
  int error;  // 0: the retry brings the whole log
};

TEST_F(RoyaltekDriver, EveryFaultEndsInARetryOrError17) {
  const fault_case cases[] = {
      {royaltek_fault::bad_checksum, 1, 0},  {royaltek_fault::skip_block, 2, 0},
      {royaltek_fault::short_block, 1, 0},   {royaltek_fault::garbage, 50, 0},
      {royaltek_fault::skip_block, 50, ERR_PROTOCOL},
      {royaltek_fault::bad_checksum, 50, ERR_PROTOCOL},
  };
  const std::vector<royaltek_subfile> truth = {make_subfile(2, 30, 0)};
  for (const fault_case& c : cases) {
    SCOPED_TRACE(int(c.fault) * 100 + c.times);
    royaltek_sim sim(pty_.master(), pty_.slave());
    for (const auto& s : truth) sim.add_subfile(s);
    sim.start();
    gpsport_t* port = probe(GPS_ROYALTEK);
    ASSERT_NE(port, nullptr);
    sim.set_fault(c.fault, c.times);
    int32_t count = 0;
    EXPECT_EQ(download(port, &count), c.error);
    if (c.error == 0) {
      EXPECT_EQ(count, 30);
      expect_truth(truth);
    } else {
      // A bounded number of tries of the same request.
      EXPECT_EQ(count_of(sim.commands(), "PROY102,"), kRoyaltekTries);
    }
    sim.stop();
    obj_t* o = port;
    free_obj(&o);
    pty_.drain();
  }
}

TEST_F(RoyaltekDriver, SilentLoggerAtConnectGives17) {
  royaltek_sim sim(pty_.master(), pty_.slave());
  gpsport_t* port = start_with_one_subfile(&sim);
  ASSERT_NE(port, nullptr);
  sim.set_fault(royaltek_fault::silence, 1000);
  int32_t ok = -1;
  int err = 0;
  logger_worker w(pty_.master(), [&] {
    ok = royaltek_open(port);
    err = get_gblerr();
    set_gblerr(0);
  });
  ASSERT_GE(w.run(5), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(err, ERR_PROTOCOL);
  EXPECT_EQ(port->connection, nullptr);
}

TEST_F(RoyaltekDriver, EraseClearsTheLog) {
  royaltek_sim sim(pty_.master(), pty_.slave());
  gpsport_t* port = start_with_one_subfile(&sim);
  ASSERT_NE(port, nullptr);
  // The slots as the transfer calls them after its question (answered Yes).
  int32_t count = 0, erased = 0;
  int err = -1;
  base_ = dir_ + "/log";
  logger_worker w(pty_.master(), [&] {
    if (!royaltek_open(port)) return;
    royaltek_download_log(port->connection, port->driver, &count, base_.c_str(), "rtkt");
    royaltek_erase_log(port->connection, port->driver, &erased);
    err = get_gblerr();
    set_gblerr(0);
    gpsport_close(port);
  });
  ASSERT_GE(w.run(5), 0);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(erased, 1);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(sim.subfile_count(), 0u);
  EXPECT_EQ(count_of(sim.commands(), "PROY109,-1"), 1);
}

TEST_F(RoyaltekDriver, SubfileNames) {
  struct {
    int index;
    const char* name;
  } const cases[] = {{0, "log_t00.rtkt"}, {3, "log_t03.rtkt"}, {9, "log_t09.rtkt"},
                     {12, "log_t12.rtkt"}, {123, "log_t123.rtkt"}};
  for (const auto& c : cases) {
    char* name = nullptr;
    royaltek_subfile_name("log", "rtkt", c.index, &name);
    EXPECT_STREQ(name, c.name);
    free_mem(&name);
  }
}

// Real time: a logger that streams without a pause still gets identified, the line
// being drained for a bounded time.
TEST_F(RoyaltekDriver, DrainOfAStreamingLoggerIsBounded) {
  royaltek_sim sim(pty_.master(), pty_.slave());
  sim.set_fault(royaltek_fault::stream, 1);
  sim.start();
  gpsport_t* port = new_port(pty_.path());
  std::atomic<int32_t> found{-9};
  std::atomic<bool> done{false};
  std::thread probe_thread([&] {
    found = royaltek_probe(pty_.path().c_str(), port);
    done = true;
  });
  const bool returned = tm_test::wait_for([&] { return done.load(); }, 60000);
  sim.stop();  // a probe still draining ends once the stream stops
  probe_thread.join();
  EXPECT_TRUE(returned) << "the probe drains a streaming logger without end";
  EXPECT_EQ(found, 1);
}

TEST_F(RoyaltekDriver, EraseOnAStreamingLoggerEndsBounded) {
  // The erase drains what follows its answer; a logger that streams positions meanwhile
  // never leaves the line quiet. On the real clock, as the probe's drain above.
  royaltek_sim sim(pty_.master(), pty_.slave());
  gpsport_t* port = start_with_one_subfile(&sim);
  ASSERT_NE(port, nullptr);
  ASSERT_TRUE(royaltek_open(port));
  sim.set_fault(royaltek_fault::stream, 1);
  std::atomic<int32_t> erased{-9};
  std::atomic<int> err{-1};
  std::atomic<bool> done{false};
  std::thread eraser([&] {
    int32_t count = 0;
    royaltek_erase_log(port->connection, port->driver, &count);
    erased = count;
    err = get_gblerr();
    set_gblerr(0);
    done = true;
  });
  const bool returned = tm_test::wait_for([&] { return done.load(); }, 60000);
  sim.stop();
  eraser.join();
  EXPECT_TRUE(returned) << "the erase drains a streaming logger without end";
  EXPECT_EQ(err.load(), 0);
  EXPECT_EQ(erased.load(), 1);
  EXPECT_EQ(sim.subfile_count(), 0u);
  gpsport_close(port);
}

}  // namespace
}  // namespace rtk_test
