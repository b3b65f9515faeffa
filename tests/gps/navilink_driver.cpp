// The Navilink driver against the simulated receiver on a pseudo-terminal, on the
// virtual clock: the probe, a connect that meets another receiver, every item written
// as the receiver holds it, the ring datalog read in two parts, the deletes and the
// switch-off, and every fault of the line ending in a retry or error 17, never a hang.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "gps/gpsport.h"
#include "gps/loggers/navilink.h"
#include "gps/port_io.h"
#include "platform/ui/msgbox.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/navilink_fixture.h"
#include "tests/support/harness.h"
#include "tests/support/test_env.h"

namespace {

using gps_sim::navilink_sim;
using gps_sim::nl_fault;
using lnav_test::lines_of;
using lnav_test::run_with;
using lnav_test::slurp;

const std::vector<std::string> kWaypointLines = {
    "\"5\";-73.1234567;45.1234567;\"HOME\";27;9;2;3.048000000000e+02;\"2008-07-06T05:04:03Z\";",
    "\"6\";151.2345678;-33.8765432;\"CAMP\";0;0;2;9.753600000000e+00;\"2019-12-31T23:59:58Z\";",
    "\"9\";-0.5000001;0.5000001;\"PEAK\";41;77;2;1.997506800000e+04;\"2001-01-02T03:04:05Z\";",
};

class NavilinkDriver : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    ASSERT_TRUE(pty_.ok());
    navilink_install();
    lnav_test::navilink_truth(sim_);
    dir_ = tm_test::fresh_dir("navilink");
    base_ = dir_ + "/dl";
  }
  void TearDown() override {
    sim_.stop();
    GpsPortFixture::TearDown();
  }

  gpsport_t* probe() {
    gpsport_t* port = nullptr;
    EXPECT_GE(run_with(sim_, [&] { gps_probe(pty_.path().c_str(), 0, &port); }), 0);
    return port;
  }

  // A connection and driver context straight from the driver (no port object).
  struct link {
    com_device* dev = nullptr;
    navilink_ctx* ctx = nullptr;
    ~link() {
      navilink_ctx_free(&ctx);
      com_close(&dev);
    }
  };
  void open_link(link& l) {
    ASSERT_NE(com_open(pty_.path().c_str(), 115200, &l.dev), nullptr);
    ASSERT_EQ(navilink_ctx_new(l.dev, &l.ctx), 0);
  }
  // Runs one download slot; the count, and the virtual time it took in *took.
  // One item's download on the virtual clock, moved step_ms at a time while both sides
  // wait (the driver's waits are seconds long: larger steps only wait its time-outs out
  // sooner).
  int32_t item(gps_download_item_fn fn, const char* ext, int64_t* took = nullptr, int64_t step_ms = 10) {
    link l;
    open_link(l);
    int32_t count = -1;
    const int64_t t = run_with(sim_, [&] { fn(l.dev, l.ctx, &count, base_.c_str(), ext); }, step_ms);
    EXPECT_GE(t, 0) << "the download hung";
    if (took) *took = t;
    return count;
  }
  std::string file(const char* ext) { return slurp(base_ + "." + ext); }

  tm_test::pty_pair pty_;
  navilink_sim sim_{pty_};
  std::string dir_, base_;
};

TEST_F(NavilinkDriver, ProbeFindsTheReceiverAndAnotherDeviceIsRefused) {
  sim_.start();
  gpsport_t* port = probe();
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->family, GPS_NAVILINK);
  EXPECT_STREQ(port->display_name, "Navilink NAVSIM 1.0");
  EXPECT_EQ(port->capabilities, 0x3Fu);
  EXPECT_EQ(port->speed, 115200);
  gpsport_close(port);
  EXPECT_EQ(port->driver, nullptr);

  // The same port later answers with another receiver's name.
  sim_.stop();
  sim_.name = "OTHER";
  sim_.start();
  int32_t ok = -1;
  ASSERT_GE(run_with(sim_, [&] { ok = navilink_connect(port); }), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(get_gblerr(), ERR_PROTOCOL);
  EXPECT_EQ(port->connection, nullptr);
  set_gblerr(0);
  free_obj(&port);
}

TEST_F(NavilinkDriver, SilentOrWrongSpeedLineIsNotANavilink) {
  // Nobody answers.
  gpsport_t* port = probe();
  EXPECT_EQ(port, nullptr);
  EXPECT_EQ(get_gblerr(), 0);
  // A receiver that hears only 115200 baud is asked at another speed: silence too. What
  // the probe left unread on the line goes first, so the receiver does not answer it.
  pty_.drain();
  sim_.start();
  com_device* dev = nullptr;
  ASSERT_NE(com_open(pty_.path().c_str(), 9600, &dev), nullptr);
  const std::string sync = navilink_sim::frame(std::string("\xD6", 1));
  com_write(dev, sync.data(), int(sync.size()));
  uint8_t buf[16];
  int got = -1;
  ASSERT_GE(run_with(sim_, [&] { got = com_read(dev, sizeof buf, buf); }), 0);
  EXPECT_EQ(got, 0);
  com_close(&dev);
  // A receiver that never acknowledges the synchronisation is not taken either.
  sim_.fault = nl_fault::lost_ack;
  gpsport_t* other = nullptr;
  gpsport_create(1, GPSPORT_SERIAL, 115200, 0, "", &other);
  int32_t found = -9;
  ASSERT_GE(run_with(sim_, [&] { found = navilink_identify(pty_.path().c_str(), other); }), 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(other->connection, nullptr);
  free_obj(&other);
}

TEST_F(NavilinkDriver, WaypointsTracklogDatalogAndRoutesHoldTheTruth) {
  sim_.log_read_offset = 0x40;
  sim_.start();
  EXPECT_EQ(item(navilink_download_waypoints, "tmw"), 3);
  auto w = lines_of(file("tmw"));
  ASSERT_EQ(w.size(), 6u);
  EXPECT_EQ(w[0], "TMW-V2_Tarmelo_Waypoint");
  EXPECT_EQ(w[1], "Navilink  - S.N. 4242");
  EXPECT_EQ(w[2], "1;1;1;1;1;4;1;0;0;0;1;0;0;1;0;0;0;0;0;0;");
  EXPECT_EQ(std::vector<std::string>(w.begin() + 3, w.end()), kWaypointLines);

  EXPECT_EQ(item(navilink_download_tracklog, "track.tmn"), 5);
  auto t = lines_of(file("track.tmn"));
  ASSERT_EQ(t.size(), 8u);
  EXPECT_EQ(t[0], "TMN-V3_Tarmelo_Navigation_logfile");
  EXPECT_EQ(t[1], "#Navilink  - S.N. 4242");
  EXPECT_EQ(t[2],
            "#longitude;latitude;time;starttrack;altitude;height;depth;temperature;speed;"
            "direction;nbsatsinvue;nbsatsused;dgps;fix;hdop;pdop;");
  EXPECT_EQ(t[3], "-123.0000000;48.1000000;\"2010-03-04T10:20:00Z\";;3.048000000000e+01;;;;20;0;;;;;;;");
  EXPECT_EQ(t[7], "-123.0017284;48.1004936;\"2010-03-04T10:20:28Z\";;3.169920000000e+01;;;;28;360;;;;;;;");

  EXPECT_EQ(item(navilink_download_datalog, "datalog.tmn"), 4);
  auto d = lines_of(file("datalog.tmn"));
  ASSERT_EQ(d.size(), 7u);
  EXPECT_EQ(d[3], "2.0000000;-1.0000000;\"2012-02-29T23:58:10Z\";1;-2.50;;;;12.34;359.99;;7;;;;1.20;");
  EXPECT_EQ(d[4], "2.0000013;-1.0000011;\"2012-02-29T23:58:11Z\";0;7.50;;;;12.35;359.98;;8;;;;1.40;");

  EXPECT_EQ(item(navilink_download_routes, "tmr"), 2);
  auto r = lines_of(file("tmr"));
  ASSERT_EQ(r.size(), 4u + 1 + 2 + 1 + 4);
  EXPECT_EQ(r[0], "TMR-V2_Tarmelo_Route");
  EXPECT_EQ(r[1], "Navilink  - S.N. 4242 ");
  EXPECT_EQ(r[2], "1;1;0;0;0;0;1;");
  EXPECT_EQ(r[4], "0;\"TO CAMP\";2;");
  EXPECT_EQ(r[5], kWaypointLines[0]);
  EXPECT_EQ(r[6], kWaypointLines[1]);
  EXPECT_EQ(r[7], "1;\"ROUND TRIP\";4;");
  EXPECT_EQ(std::vector<std::string>(r.begin() + 8, r.end()),
            (std::vector<std::string>{kWaypointLines[1], kWaypointLines[2], kWaypointLines[0],
                                      kWaypointLines[2]}));
}

TEST_F(NavilinkDriver, WrappedDatalogAreaIsReadInTwoParts) {
  // 0x1000 bytes of area, the oldest record 64 bytes before its end: two records at the
  // end of the area, two from its start.
  sim_.log_read_offset = 0x1000 - 64;
  sim_.start();
  EXPECT_EQ(item(navilink_download_datalog, "datalog.tmn"), 4);
  std::vector<std::string> reads;
  for (const std::string& q : sim_.requests())
    if (q.rfind("14", 0) == 0) reads.push_back(q);
  // 14, address, size, flag 01: the end of the area, then its start up to the write address.
  EXPECT_EQ(reads, (std::vector<std::string>{"14c00f0100400001", "1400000100400001"}));
  auto d = lines_of(file("datalog.tmn"));
  ASSERT_EQ(d.size(), 7u);
  EXPECT_EQ(d[3].substr(0, 20), "2.0000000;-1.0000000");
  EXPECT_EQ(d[6].substr(0, 20), "2.0000039;-1.0000033");
}

TEST_F(NavilinkDriver, RoutePointsMissingFromTheWaypointsWriteNoLine) {
  sim_.routes = {{3, "GAPS", {5, 77, 6}}};
  sim_.start();
  EXPECT_EQ(item(navilink_download_routes, "tmr"), 1);
  auto r = lines_of(file("tmr"));
  ASSERT_EQ(r.size(), 7u);
  EXPECT_EQ(r[4], "3;\"GAPS\";2;");
  EXPECT_EQ(r[5], kWaypointLines[0]);
  EXPECT_EQ(r[6], kWaypointLines[1]);
}

TEST_F(NavilinkDriver, IconsAboveTheTableTakeTheLastSymbol) {
  const struct {
    int icon, symbol;
  } cases[] = {{0, 0}, {1, 10}, {9, 27}, {36, 53}, {44, 41}, {45, 41}, {255, 41}};
  for (const auto& c : cases) EXPECT_EQ(navilink_icon_symbol(c.icon), c.symbol) << c.icon;
}

// More records than asked never pass the count asked for, nor the waypoint array.
TEST_F(NavilinkDriver, AnswersWithMoreRecordsThanAskedAreCut) {
  sim_.fault = nl_fault::extra_records;
  sim_.start();
  EXPECT_EQ(item(navilink_download_waypoints, "tmw"), 3);
  EXPECT_EQ(lines_of(file("tmw")).size(), 6u);
  EXPECT_EQ(item(navilink_download_routes, "tmr"), 2);
  EXPECT_EQ(lines_of(file("tmr")).size(), 4u + 3 + 5);
  EXPECT_EQ(item(navilink_download_tracklog, "track.tmn"), 5);
  EXPECT_EQ(lines_of(file("track.tmn")).size(), 8u);
}

// A route record cut inside its sub-routes gives the numbers it holds, no more.
TEST_F(NavilinkDriver, CutRouteRecordReadsOnlyItsPayload) {
  sim_.routes = {{0, "LONG", {5, 6, 9, 5, 6, 9}}};
  sim_.fault = nl_fault::cut_route;
  sim_.start();
  EXPECT_EQ(item(navilink_download_routes, "tmr"), 1);
  auto r = lines_of(file("tmr"));
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[4], "0;\"LONG\";3;");
  EXPECT_EQ(r[7], kWaypointLines[2]);
}

// Every fault of the line ends in a retry or a clear error, never a hang.
TEST_F(NavilinkDriver, LineFaultsEndInARetryOrError17) {
  struct Case {
    const char* what;
    nl_fault fault;
    int command;
    int32_t count;
    int error;
    size_t lines;
  };
  const Case cases[] = {
      {"memory answered by no record", nl_fault::empty_answer, 0x14, 0, ERR_PROTOCOL, 3},
      {"memory answers with a bad checksum", nl_fault::bad_checksum, 0x14, 0, ERR_PROTOCOL, 3},
      {"memory never answered", nl_fault::silence, 0x14, 0, ERR_PROTOCOL, 3},
      {"memory answers cut short", nl_fault::short_frame, 0x14, 3, ERR_PROTOCOL, 6},
      {"garbage before every answer", nl_fault::garbage, 0, 5, 0, 8},
      {"information never answered", nl_fault::silence, 0x20, 0, ERR_PROTOCOL, 0},
      {"information cut short", nl_fault::short_frame, 0x20, 0, ERR_PROTOCOL, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim_.stop();
    sim_.fault = c.fault;
    sim_.fault_command = c.command;
    sim_.start();
    std::remove((base_ + ".track.tmn").c_str());
    int64_t took = 0;
    EXPECT_EQ(item(navilink_download_tracklog, "track.tmn", &took, 500), c.count);
    EXPECT_EQ(get_gblerr(), c.error);
    EXPECT_LE(took, 400000);
    EXPECT_EQ(lines_of(file("track.tmn")).size(), c.lines);
    set_gblerr(0);
  }
}

// A receiver that answers a request with the records of the one before (more than the
// request asked): the count asked is kept, the download ends, nothing is read past it.
TEST_F(NavilinkDriver, RecordsOfAnotherRequestNeverPassTheCount) {
  // 200 points: two requests of 128 and 72 records; the second is answered with 128.
  sim_.track.clear();
  for (int i = 0; i < 200; ++i)
    sim_.track.push_back({int32_t(i), 0, 0, 0, 0, {2010, 3, 4, 10, 20, 0}});
  sim_.fault = nl_fault::out_of_order;
  sim_.start();
  EXPECT_EQ(item(navilink_download_tracklog, "track.tmn"), 200);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(lines_of(file("track.tmn")).size(), 203u);
  std::vector<std::string> reads;
  for (const std::string& q : sim_.requests())
    if (q.rfind("14", 0) == 0) reads.push_back(q);
  EXPECT_EQ(reads, (std::vector<std::string>{"1400100000001000", "1400200000000900"}));
}

TEST_F(NavilinkDriver, DeletesAndSwitchOff) {
  sim_.start();
  link l;
  open_link(l);
  int32_t count = -1;
  ASSERT_GE(run_with(sim_, [&] { navilink_delete_tracklog(l.dev, l.ctx, &count); }), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(sim_.track_cleared(), 1);
  // The clear request names the track area the information gave.
  const auto q = sim_.requests();
  ASSERT_GE(q.size(), 2u);
  EXPECT_EQ(q[q.size() - 2], "20");
  EXPECT_EQ(q.back(), "1100100000000000");

  int64_t took = run_with(sim_, [&] { navilink_delete_datalog(l.dev, l.ctx, &count); });
  EXPECT_EQ(count, 1);
  EXPECT_EQ(sim_.log_cleared(), 1);
  // The acknowledgement of the datalog clear does not end the wait: the silence does.
  EXPECT_GE(took, 10000);
  EXPECT_LT(took, 20000);

  sim_.fault = nl_fault::lost_ack;
  ASSERT_GE(run_with(sim_, [&] { navilink_delete_tracklog(l.dev, l.ctx, &count); }), 0);
  EXPECT_EQ(count, 0);

  ASSERT_GE(run_with(sim_, [&] { navilink_power_off(l.dev, l.ctx, GPSPORT_SERIAL); }), 0);
  ASSERT_TRUE(tm_test::wait_for([&] { return sim_.switched_off() == 1; }, 5000));
}

// The whole transfer through the port object: every item, the deletes asked and done,
// the switch-off, the port closed.
TEST_F(NavilinkDriver, TransferOfEveryItemThroughThePort) {
  sim_.start();
  gpsport_t* port = probe();
  ASSERT_NE(port, nullptr);
  gpsport_close(port);
  auto session = std::make_unique<tm_test::UiSession>();
  tm_test::clear_message_boxes();
  tm_test::answer_next_message_box(plat::IDYES);
  tm_test::answer_next_message_box(plat::IDYES);
  int32_t count = 0;
  ASSERT_GE(run_with(sim_, [&] { gps_download(port, base_.c_str(), 0x3F, &count); }, 10, 60000,
                     [] { tm_test::pump(10); }),
            0);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(count, 3 + 5 + 2 + 4);
  EXPECT_EQ(port->connection, nullptr);
  EXPECT_EQ(lines_of(file("tmw"))[1], "Navilink NAVSIM 1.0 - S.N. 4242");
  EXPECT_EQ(lines_of(file("track.tmn")).size(), 8u);
  EXPECT_EQ(lines_of(file("datalog.tmn")).size(), 7u);
  EXPECT_EQ(lines_of(file("tmr")).size(), 12u);
  EXPECT_EQ(sim_.track_cleared(), 1);
  EXPECT_EQ(sim_.log_cleared(), 1);
  ASSERT_TRUE(tm_test::wait_for([&] { return sim_.switched_off() == 1; }, 5000));
  session.reset();
  free_obj(&port);
}

}  // namespace
