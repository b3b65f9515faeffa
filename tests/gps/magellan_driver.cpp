// The Magellan receiver driver against the simulated receiver on a pseudo-terminal:
// probe among the families, connect, the three listings copied into log files (and read
// back), the track delete, the close, the handshake in both directions, every fault
// switch, and the reference host reading the simulated receiver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "gps/gpsport.h"
#include "gps/loggers/magellan.h"
#include "gps/loggers/wintec.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "tests/formats/load_fixture.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/magellan_sim.h"
#include "tests/support/gps_sim/wintec_sim.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::magellan_sentence;
using tm_test::magellan_sim;
using tm_test::pty_pair;
using tm_test::virtual_worker;

const std::vector<std::string> kWaypoints = {
    "PMGNWPL,4807.0380,N,01131.0000,E,0000200,M,WPT001,first one,a",
    "PMGNWPL,3315.0000,S,07007.5000,W,0000100,M,WPT002,,b",
    "PMGNWPL,0030.0000,N,00000.0600,W,0000012,M,WPT003,third,c",
};
const std::vector<std::string> kTrack = {
    "PMGNTRK,4807.0380,N,01131.0000,E,00200,M,123456.00,A,track1,060524",
    "PMGNTRK,4807.1380,N,01131.1000,E,00210,M,123506.00,A,track1,060524",
    "PMGNTRK,4807.2380,N,01131.2000,E,00220,M,123516.00,A,track1,060524",
};
const std::vector<std::string> kRoutes = {"PMGNRTE,1,1,c,1,WPT001,a,WPT002,b"};
const char* const kVersionLine = "$PMGNVER,19,2.22,MERIDIAN GPS*18";
const char* const kName = "2.22,MERIDIAN GPS";

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string file_of_lines(const std::vector<std::string>& bodies) {
  std::string s = std::string(kVersionLine) + "\r\n";
  for (const auto& b : bodies) s += magellan_sentence(b);
  return s + magellan_sentence("PMGNCMD,END");
}

class MagellanDriver : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    ASSERT_TRUE(pty_->ok());
    magellan_log_register();
    magellan_install();
    wintec_install();
    dir_ = tm_test::fresh_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    GpsPortFixture::TearDown();
    magellan_log_free();
  }
  // Handshake on the pty as connect does, `body` with the context, then the close.
  void with_receiver(const std::function<void(com_device*, magellan_ctx*)>& body, bool expect_ctx = true) {
    virtual_worker w([&] {
      com_device* dev = nullptr;
      com_open(pty_->path().c_str(), kMagellanSpeed, &dev);
      ASSERT_NE(dev, nullptr);
      magellan_ctx* c = magellan_handshake(dev);
      EXPECT_EQ(c != nullptr, expect_ctx);
      body(dev, c);
      void* d = c;
      magellan_close(&d);
      com_close(&dev);
    });
    ASSERT_GE(tm_test::run_paced(w), 0) << "the driver hung";
  }
  using item_fn = void (*)(void*, void*, int32_t*, const char*, const char*);
  // One download into dir_/item.ext: the error code.
  int download(item_fn fn, int32_t* count) {
    int err = -1;
    with_receiver([&](com_device* dev, magellan_ctx* c) {
      if (!c) {
        err = ERR_PROTOCOL;
        return;
      }
      fn(dev, c, count, (dir_ + "/item").c_str(), "mgl");
      err = get_gblerr();
      set_gblerr(0);
    });
    return err;
  }

  // A new line for the next row of a table: nothing left unread from the last one.
  pty_pair& fresh_pty() {
    pty_ = std::make_unique<pty_pair>();
    return *pty_;
  }

  std::unique_ptr<pty_pair> pty_ = std::make_unique<pty_pair>();
  std::string dir_;
};

TEST_F(MagellanDriver, EachFamilyClaimsOnlyItsOwnDevice) {
  struct row {
    const char* name;
    bool magellan_device;
    int filter;
    int family;  // found, 0 none
  };
  const row rows[] = {
      {"every family, Magellan receiver", true, 0, GPS_MAGELLAN},
      {"every family, Wintec logger", false, 0, GPS_WINTEC},
      {"Wintec asked, Magellan receiver", true, GPS_WINTEC, 0},
      {"Magellan asked, Wintec logger", false, GPS_MAGELLAN, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    pty_pair pty;
    ASSERT_TRUE(pty.ok());
    std::unique_ptr<magellan_sim> m;
    std::unique_ptr<tm_test::wintec_sim> w;
    if (r.magellan_device) {
      m = std::make_unique<magellan_sim>(pty, kWaypoints, kTrack, kRoutes);
    } else {
      w = std::make_unique<tm_test::wintec_sim>(pty, tm_test::wintec_record_bytes({45, 6, 1, 2024, 1, 2, 3, 4, 5, 0}));
    }
    gpsport_t* port = nullptr;
    virtual_worker probe([&] { gps_probe(pty.path().c_str(), r.filter, &port); });
    ASSERT_GE(tm_test::run_paced(probe), 0);
    if (r.family == 0) {
      EXPECT_EQ(port, nullptr);
      continue;
    }
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->family, r.family);
    if (r.family == GPS_MAGELLAN) {
      EXPECT_STREQ(port->display_name, kName);
      EXPECT_EQ(port->capabilities, kMagellanCapabilities);
    }
    virtual_worker closing([&] { gpsport_close(port); });
    ASSERT_GE(tm_test::run_paced(closing), 0);
  }
}

TEST_F(MagellanDriver, ListingsAreCopiedLineByLine) {
  struct row {
    const char* name;
    item_fn fn;
    std::vector<std::string> bodies;  // lines of the file after the version line
    int count;
  };
  std::vector<std::string> both = kWaypoints;
  both.push_back("PMGNCMD,END");
  both.insert(both.end(), kRoutes.begin(), kRoutes.end());
  const row rows[] = {
      {"waypoints", magellan_download_waypoints, kWaypoints, 3},
      {"tracklog", magellan_download_tracklog, kTrack, 3},
      {"routes write the waypoints first", magellan_download_routes, both, 4},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    magellan_sim sim(fresh_pty(), kWaypoints, kTrack, kRoutes);
    int32_t count = -1;
    ASSERT_EQ(download(r.fn, &count), 0);
    EXPECT_EQ(count, r.count);
    std::string want = file_of_lines(r.bodies);
    if (r.fn == magellan_download_routes) {
      // The route listing starts again with the version line.
      want = file_of_lines(kWaypoints) + kVersionLine + "\r\n" + magellan_sentence(kRoutes[0]) +
             magellan_sentence("PMGNCMD,END");
    }
    EXPECT_EQ(slurp(dir_ + "/item.mgl"), want);
    // Every line was acknowledged with its own checksum.
    EXPECT_EQ(sim.good_acks(), r.count + (r.fn == magellan_download_routes ? 2 : 1));
  }
}

TEST_F(MagellanDriver, FaultsEndInAResendOrError17) {
  struct row {
    const char* name;
    int bad_ack;
    bool silent, garbage, unable, endless;
    int stall_after;
    int err;
  };
  const row rows[] = {
      {"one wrong acknowledgement is sent again", 1, false, false, false, false, -1, 0},
      {"acknowledgements that never match", 100, false, false, false, false, -1, ERR_PROTOCOL},
      {"silent receiver", 0, true, false, false, false, -1, ERR_PROTOCOL},
      {"noise only", 0, false, true, false, false, -1, ERR_PROTOCOL},
      {"refused listing", 0, false, false, true, false, -1, ERR_PROTOCOL},
      {"listing that stops", 0, false, false, false, false, 1, ERR_PROTOCOL},
      {"a line that never ends", 0, false, false, false, true, -1, ERR_PROTOCOL},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    magellan_sim sim(fresh_pty(), kWaypoints, kTrack, kRoutes);
    sim.faults.silent = r.silent;
    sim.faults.garbage = r.garbage;
    sim.faults.unable = r.unable;
    sim.faults.endless_line = r.endless;
    sim.faults.stall_after = r.stall_after;
    int32_t count = -1;
    int err = -1;
    with_receiver(
        [&](com_device* dev, magellan_ctx* c) {
          if (!c) {
            err = ERR_PROTOCOL;
            return;
          }
          sim.faults.bad_ack = r.bad_ack;
          magellan_download_tracklog(dev, c, &count, (dir_ + "/item").c_str(), "mgl");
          err = get_gblerr();
          set_gblerr(0);
          sim.faults.bad_ack = 0;
        },
        !r.silent && !r.garbage);
    EXPECT_EQ(err, r.err);
    if (r.err == 0) {
      EXPECT_EQ(slurp(dir_ + "/item.mgl"), file_of_lines(kTrack));
    }
    if (r.stall_after == 1) {
      // What came before the stop stays in the file.
      EXPECT_NE(slurp(dir_ + "/item.mgl").find(magellan_sentence(kTrack[0])), std::string::npos);
    }
    if (r.bad_ack == 1) {
      int sends = 0;
      for (const auto& s : sim.received()) sends += s.rfind("$PMGNCMD,TRACK,2*", 0) == 0;
      EXPECT_EQ(sends, 2);
    }
  }
}

TEST_F(MagellanDriver, ConnectChecksTheReceiverAndCloseHandsOff) {
  struct row {
    const char* name;
    std::string version;
    int32_t result;
    int err;
  };
  const row rows[] = {
      {"same receiver", "PMGNVER,19,2.22,MERIDIAN GPS", 1, 0},
      {"another receiver", "PMGNVER,19,3.10,SPORTRAK", 0, ERR_PROTOCOL},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    magellan_sim sim(fresh_pty(), kWaypoints, kTrack, kRoutes, r.version);
    gpsport_t* port = nullptr;
    gpsport_create(0, 0, 0, 0, nullptr, &port);
    ASSERT_NE(port, nullptr);
    port->kind = GPSPORT_SERIAL;
    port->family = GPS_MAGELLAN;
    str_set(pty_->path().c_str(), &port->device_path);
    str_set(kName, &port->display_name);
    int32_t result = -1;
    int err = -1;
    virtual_worker w([&] {
      result = magellan_connect(port);
      err = get_gblerr();
      set_gblerr(0);
      gpsport_close(port);
    });
    ASSERT_GE(tm_test::run_paced(w), 0);
    EXPECT_EQ(result, r.result);
    EXPECT_EQ(err, r.err);
    if (r.result == 1) {
      const auto got = sim.received();
      ASSERT_GE(got.size(), 2u);
      EXPECT_EQ(got[got.size() - 2].substr(0, 17), "$PMGNCMD,HANDOFF*");
      const std::string baud = magellan_sentence("PMGNCMD,BAUD,4800");
      EXPECT_EQ(got.back(), baud.substr(0, baud.size() - 2));
    }
    free_obj(reinterpret_cast<obj_t**>(&port));
  }
}

TEST_F(MagellanDriver, TrackDeleteEmptiesTheTrackOrGives17WhenRefused) {
  for (bool refuse : {false, true}) {
    SCOPED_TRACE(refuse ? "refused" : "deleted");
    magellan_sim sim(fresh_pty(), kWaypoints, kTrack, kRoutes);
    sim.faults.unable = refuse;
    int err = -1;
    with_receiver([&](com_device* dev, magellan_ctx* c) {
      ASSERT_NE(c, nullptr);
      int32_t count = -1;
      magellan_delete_track(dev, c, &count);
      err = get_gblerr();
      set_gblerr(0);
    });
    EXPECT_EQ(err, refuse ? ERR_PROTOCOL : 0);
    EXPECT_EQ(sim.track_size(), refuse ? 3 : 0);
  }
}

TEST_F(MagellanDriver, TransferDownloadsEveryItemThenDeletesTheTrack) {
  magellan_sim sim(*pty_, kWaypoints, kTrack, kRoutes);
  gpsport_t* port = nullptr;
  virtual_worker probe([&] { gps_probe(pty_->path().c_str(), GPS_MAGELLAN, &port); });
  ASSERT_GE(tm_test::run_paced(probe), 0);
  ASSERT_NE(port, nullptr);
  int32_t count = -1;
  virtual_worker w([&] {
    gpsport_close(port);
    gps_download(port, (dir_ + "/all").c_str(), GPS_WAYPOINTS | GPS_TRACKS | GPS_ROUTES | GPS_DELETE, &count);
  });
  ASSERT_GE(tm_test::run_paced(w), 0);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(count, 3 + 3 + 4);
  EXPECT_EQ(slurp(dir_ + "/all.mglw"), file_of_lines(kWaypoints));
  EXPECT_EQ(slurp(dir_ + "/all.mglt"), file_of_lines(kTrack));
  EXPECT_NE(slurp(dir_ + "/all.mglr").find(magellan_sentence(kRoutes[0])), std::string::npos);
  EXPECT_EQ(sim.track_size(), 0);
}

TEST_F(MagellanDriver, AMatchingAcknowledgementSendsNothingAgain) {
  magellan_sim sim(*pty_, kWaypoints, kTrack, kRoutes);
  with_receiver([&](com_device*, magellan_ctx* c) {
    ASSERT_NE(c, nullptr);
    str_set("$PMGNCMD,WAYPOINT", &c->command);
    const std::string ack = magellan_sentence("PMGNCSM,71");
    EXPECT_EQ(nmea_feed(reinterpret_cast<const uint8_t*>(ack.data()), int(ack.size()), c->parser), 0);
    EXPECT_EQ(c->acknowledged, 1);
    EXPECT_EQ(c->resend, 0);
    const std::string wrong = magellan_sentence("PMGNCSM,70");
    nmea_feed(reinterpret_cast<const uint8_t*>(wrong.data()), int(wrong.size()), c->parser);
    EXPECT_EQ(c->resend, 1);
    free_mem(&c->command);
  });
  for (const auto& s : sim.received()) EXPECT_EQ(s.find("WAYPOINT"), std::string::npos) << s;
}

// What the driver downloaded loads back through the log reader.
class MagellanLoadBack : public tm_test::ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    magellan_log_register();
  }
  void free_tables() override { magellan_log_free(); }
};

TEST_F(MagellanLoadBack, DownloadedRoutesLoadBackWithTheirWaypoints) {
  pty_pair pty;
  ASSERT_TRUE(pty.ok());
  magellan_sim sim(pty, kWaypoints, kTrack, kRoutes);
  const std::string base = dir_ + "/routes";
  virtual_worker w([&] {
    com_device* dev = nullptr;
    com_open(pty.path().c_str(), kMagellanSpeed, &dev);
    magellan_ctx* c = magellan_handshake(dev);
    int32_t count = 0;
    if (c) magellan_download_routes(dev, c, &count, base.c_str(), "mglr");
    void* d = c;
    magellan_close(&d);
    com_close(&dev);
  });
  ASSERT_GE(tm_test::run_paced(w), 0);
  ASSERT_EQ(get_gblerr(), 0);
  fileatt_t* f = loaded_.open(base + ".mglr");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(magellan_log_read(f, f->sot), 0);
  const auto wpts = tm_test::objects_of<waypoint_t>(f->sot, CLS_WAYPOINT);
  ASSERT_EQ(wpts.size(), 3u);
  const auto routes = tm_test::objects_of<route_t>(f->sot, CLS_ROUTE);
  ASSERT_EQ(routes.size(), 1u);
  ASSERT_EQ(obj_list_count(routes[0]->sons), 2);
  waypoint_t* first = static_cast<waypoint_t*>(routes[0]->sons->elems[0]);
  gps_point_t c;
  std::memcpy(&c, &first->coords, sizeof c);
  EXPECT_NEAR(c.y, 48 + 7.038 / 60, 1e-7);
  EXPECT_NEAR(c.x, 11 + 31.0 / 60, 1e-7);
}

// Degrees of a sentence's ddmm.mmmm field and its hemisphere letter.
double degrees_of(const std::string& dm, const std::string& hemisphere) {
  const double v = std::stod(dm);
  const double deg = std::floor(v / 100) + std::fmod(v, 100) / 60;
  return hemisphere == "S" || hemisphere == "W" ? -deg : deg;
}

// gpsbabel's serial Magellan protocol reads what the simulator serves: every waypoint
// and track point with its coordinates (GPX keeps nine decimals), altitude, name, time.
TEST(MagellanHost, TheReferenceHostReadsTheSimulatedReceiver) {
  if (!tm_test::tool_present("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  pty_pair pty;
  ASSERT_TRUE(pty.ok());
  magellan_sim sim(pty, kWaypoints, kTrack, kRoutes);
  const std::string dir = tm_test::fresh_dir("magellan_host");
  struct {
    const char* kind;
    const std::vector<std::string>& truth;
  } const cases[] = {{"-w", kWaypoints}, {"-t", kTrack}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    std::string out;
    const int rc = tm_test::run_tool(
        {"gpsbabel", c.kind, "-i", "magellan", "-f", pty.path(), "-o", "gpx", "-F", dir + "/out.gpx"}, &out, 60000);
    ASSERT_EQ(rc, 0) << out;
    const auto got = tm_test::host_gpx_points(slurp(dir + "/out.gpx"));
    ASSERT_EQ(got.size(), c.truth.size()) << slurp(dir + "/out.gpx");
    for (size_t i = 0; i < got.size(); ++i) {
      const auto f = tm_test::split_fields(c.truth[i], ',');
      EXPECT_NEAR(got[i].lat, degrees_of(f[1], f[2]), 1e-7) << i;
      EXPECT_NEAR(got[i].lon, degrees_of(f[3], f[4]), 1e-7) << i;
      EXPECT_NEAR(got[i].ele, std::stod(f[5]), 1e-6) << i;
      if (c.truth.data() == kWaypoints.data()) {
        EXPECT_EQ(got[i].name, f[7]) << i;
      } else {
        // Time hhmmss.ss and date ddmmyy.
        const std::string& t = f[7];
        const std::string& d = f[10];
        EXPECT_EQ(got[i].time, "20" + d.substr(4, 2) + "-" + d.substr(2, 2) + "-" + d.substr(0, 2) + "T" +
                                   t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2) + "Z")
            << i;
      }
    }
  }
}

}  // namespace
