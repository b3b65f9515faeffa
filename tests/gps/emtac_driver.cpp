// The Emtac Trine driver against the simulated logger: identity, connect checks, the
// text and XMODEM downloads (the truth loads back through the log reader), XMODEM
// faults, the erase; lrzsz sx serving the XMODEM phase in real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "gps/gpsport.h"
#include "gps/loggers/emtac.h"
#include "gps/port_io.h"
#include "tests/gps/royaltek_fixture.h"
#include "tests/support/gps_sim/emtac_sim.h"
#include "tests/support/run_tool.h"

namespace rtk_test {
namespace {

using tm_test::emtac_fault;
using tm_test::emtac_record;
using tm_test::emtac_sim;
using tm_test::pty_pair;

// Records spread over both hemispheres, with empty slots where asked.
std::vector<emtac_record> make_records(int count, int empty_every = 0) {
  std::vector<emtac_record> out;
  for (int i = 0; i < count; ++i) {
    emtac_record r{};
    r.empty = empty_every > 0 && i % empty_every == empty_every - 1;
    r.year = 9;
    r.month = 1 + i % 12;
    r.day = 1 + i % 28;
    r.hour = i % 24;
    r.minute = (i * 7) % 60;
    r.second = (i * 13) % 60;
    r.latitude = (i % 2 ? -1 : 1) * (4830'1234 + i * 17);
    r.longitude = (i % 3 ? 1 : -1) * (12315'4321 + i * 29);
    r.altitude_dm = 1000 + i;
    r.fix = i % 5 == 0 ? 11 : 3;
    r.hdop_tenths = 9 + i % 30;
    r.heading = i % 360;
    r.speed_tenths = i * 3;
    out.push_back(r);
  }
  return out;
}

class EmtacDriver : public LoggerDriverFixture {
 protected:
  // The file's lines and the points the reader makes of it against the truth.
  void expect_truth(const std::vector<emtac_record>& truth) {
    const std::string text = tm_test::slurp_file(base_ + ".emt");
    EXPECT_EQ(text.rfind("$PEMT163,0,", 0), 0u);
    std::vector<std::string> expected;
    for (size_t i = 0; i < truth.size(); ++i)
      if (!truth[i].empty) expected.push_back(emtac_sim::sentence(emtac_sim::text_body(int(i + 1), truth[i])));
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
      const size_t end = text.find("\r\n", at);
      if (end == std::string::npos) break;
      const std::string line = text.substr(at, end + 2 - at);
      if (line.rfind("$PEMT161,4,", 0) == 0) lines.push_back(line);
      at = end + 2;
    }
    EXPECT_EQ(lines, expected);
    int result = -1;
    container_t* list = load_with(emtac_read_log_file, base_ + ".emt", &result);
    ASSERT_EQ(result, 0);
    const auto points = all_points(list);
    ASSERT_EQ(points.size(), expected.size());
    size_t k = 0;
    for (const emtac_record& r : truth) {
      if (r.empty) continue;
      const gpspos_t* p = points[k++];
      const double lat = r.latitude / 10000.0, lon = r.longitude / 10000.0;
      EXPECT_NEAR(p->coords.y, nmea_dm_to_deg(lat, nullptr), 1e-7);
      EXPECT_NEAR(p->coords.x, nmea_dm_to_deg(lon, nullptr), 1e-7);
      EXPECT_EQ(seconds_of_day(p), r.hour * 3600 + r.minute * 60 + r.second);
      EXPECT_NEAR(p->altitude, r.altitude_dm / 10.0, 1e-3);
    }
  }
  static int count_of(const std::vector<std::string>& commands, const std::string& text) {
    return int(std::count(commands.begin(), commands.end(), text));
  }
};

TEST_F(EmtacDriver, ProbeFindsTheLogger) {
  emtac_sim sim(pty_.master(), pty_.slave(), "TRINE_V1.10_2008");
  sim.start();
  gpsport_t* port = probe();
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->family, GPS_EMTAC);
  EXPECT_EQ(port->speed, 38400);
  EXPECT_EQ(port->capabilities, 0x30u);
  EXPECT_STREQ(port->display_name, "Emtac Trine TRINE_V1.10_2008");
  EXPECT_EQ(port->connection, nullptr);
  EXPECT_EQ(port->driver, nullptr);
}

TEST_F(EmtacDriver, ConnectToAnotherLoggerGives17) {
  emtac_sim sim(pty_.master(), pty_.slave(), "TRINE_V2.00");
  sim.start();
  gpsport_t* port = new_port(pty_.path());
  str_set("Emtac Trine TRINE_V1.10_2008", &port->display_name);
  port->family = GPS_EMTAC;
  int32_t ok = -1;
  int err = 0;
  logger_worker w(pty_.master(), [&] {
    ok = emtac_open(port);
    err = get_gblerr();
    set_gblerr(0);
  });
  ASSERT_GE(w.run(5), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(err, ERR_PROTOCOL);
  EXPECT_EQ(port->connection, nullptr);
}

TEST_F(EmtacDriver, TextUpTo200RecordsXmodemAbove) {
  struct {
    int records;
    int empty_every;
    bool large_blocks;
    const char* command;
  } const cases[] = {
      {1, 0, false, "PEMT161,4,1,1"},
      {200, 0, false, "PEMT161,4,1,200"},
      {201, 0, false, "PEMT162,0"},
      // Empty slots write no line; the last block's padding is no record.
      {333, 7, false, "PEMT162,0"},
      {333, 0, true, "PEMT162,0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.records);
    const auto truth = make_records(c.records, c.empty_every);
    emtac_sim sim(pty_.master(), pty_.slave());
    sim.set_records(truth);
    sim.set_large_blocks(c.large_blocks);
    sim.start();
    gpsport_t* port = probe(GPS_EMTAC);
    ASSERT_NE(port, nullptr);
    int32_t count = 0;
    ASSERT_EQ(download(port, &count), 0);
    EXPECT_EQ(count_of(sim.commands(), c.command), 1);
    if (c.empty_every == 0) {
      EXPECT_EQ(count, c.records);
    }
    expect_truth(truth);
    sim.stop();
    obj_t* o = port;
    free_obj(&o);
    pty_.drain();
  }
}

TEST_F(EmtacDriver, XmodemFaultsEndInARetryOrError17) {
  struct {
    emtac_fault fault;
    int error;
  } const cases[] = {
      {emtac_fault::bad_check, 0},
      {emtac_fault::lost_ack, 0},
      {emtac_fault::garbage, 0},
      {emtac_fault::cancel, ERR_PROTOCOL},
      {emtac_fault::stall, ERR_PROTOCOL},
  };
  const auto truth = make_records(260);
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.fault));
    emtac_sim sim(pty_.master(), pty_.slave());
    sim.set_records(truth);
    sim.start();
    gpsport_t* port = probe(GPS_EMTAC);
    ASSERT_NE(port, nullptr);
    sim.set_fault(c.fault, 1);
    int32_t count = 0;
    EXPECT_EQ(download(port, &count), c.error);
    if (c.error == 0) {
      EXPECT_EQ(count, 260);
      expect_truth(truth);
    } else {
      EXPECT_EQ(count, 0);
    }
    sim.stop();
    obj_t* o = port;
    free_obj(&o);
    pty_.drain();
  }
}

TEST_F(EmtacDriver, SilentAfterConnectEndsBounded) {
  emtac_sim sim(pty_.master(), pty_.slave());
  sim.set_records(make_records(20));
  sim.start();
  gpsport_t* port = probe(GPS_EMTAC);
  ASSERT_NE(port, nullptr);
  // Connect is answered; the status and everything after are not.
  int32_t count = -1;
  int err = 0;
  base_ = dir_ + "/log";
  logger_worker w(pty_.master(), [&] {
    if (!emtac_open(port)) return;
    sim.set_fault(emtac_fault::silence, 1000);
    emtac_download_log(port->connection, port->driver, &count, base_.c_str(), "emt");
    int32_t erased = -1;
    emtac_erase_log(port->connection, port->driver, &erased);
    err = get_gblerr();
    set_gblerr(0);
    gpsport_close(port);
  });
  ASSERT_GE(w.run(5), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(err, ERR_PROTOCOL);  // the erase answer never came
}

TEST_F(EmtacDriver, EraseClearsTheLog) {
  emtac_sim sim(pty_.master(), pty_.slave());
  sim.set_records(make_records(20));
  sim.start();
  gpsport_t* port = probe(GPS_EMTAC);
  ASSERT_NE(port, nullptr);
  // The slots as the transfer calls them after its question (answered Yes).
  int32_t count = 0, erased = 0;
  int err = -1;
  base_ = dir_ + "/log";
  logger_worker w(pty_.master(), [&] {
    if (!emtac_open(port)) return;
    emtac_download_log(port->connection, port->driver, &count, base_.c_str(), "emt");
    emtac_erase_log(port->connection, port->driver, &erased);
    err = get_gblerr();
    set_gblerr(0);
    gpsport_close(port);
  });
  ASSERT_GE(w.run(5), 0);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(erased, 1);
  EXPECT_EQ(count, 20);
  EXPECT_EQ(sim.record_count(), 0u);
  EXPECT_EQ(count_of(sim.commands(), "PEMT161,8"), 1);
}

TEST_F(EmtacDriver, Identity) {
  struct {
    const char* version;
    bool found;
    const char* identity;
  } const cases[] = {
      {"$PEMT163,0,TRINE_V1.10*5A", true, "TRINE_V1.10"},
      {"$PEMT163,0,*5A", true, ""},
      {"$PEMT163,0,A,B* 5", true, "A,B"},
      {"$PEMT163,0*5A", false, ""},
      {"$PEMT163*5A", false, ""},
      {"", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    char* identity = nullptr;
    EXPECT_EQ(emtac_identity(c.version, &identity), c.found);
    if (c.found) {
      EXPECT_STREQ(identity, c.identity);
    }
    free_mem(&identity);
  }
}

// lrzsz sx serves the XMODEM phase, in 128- and 1024-byte blocks, in real time (the
// clock follows it while it runs).
TEST_F(EmtacDriver, LrzszSxServesTheXmodemPhase) {
  if (!tm_test::tool_present("sx")) GTEST_SKIP() << "lrzsz sx is not installed";
  const auto truth = make_records(230, 11);
  for (const bool large : {false, true}) {
    SCOPED_TRACE(large ? "sx -k" : "sx");
    emtac_sim sim(pty_.master(), pty_.slave());
    sim.set_records(truth);
    sim.set_large_blocks(large);
    sim.use_sx(true);
    sim.start();
    gpsport_t* port = probe(GPS_EMTAC);
    ASSERT_NE(port, nullptr);
    int32_t count = 0;
    ASSERT_EQ(download(port, &count), 0);
    EXPECT_EQ(count, 230);
    expect_truth(truth);
    sim.stop();
    obj_t* o = port;
    free_obj(&o);
    pty_.drain();
  }
}

}  // namespace
}  // namespace rtk_test
