// The Wintec logger driver against the simulated logger on a pseudo-terminal: probe and
// connect, the datalog download (its TMN-V3 lines against the known points, and the file
// loaded back), erase and close, the line automaton on its own, every fault switch, and
// the reference host reading what the simulator serves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "formats/gpstext.h"
#include "gps/gpsport.h"
#include "gps/loggers/wintec.h"
#include "gps/port_io.h"
#include "tests/formats/load_fixture.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/wintec_sim.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::pty_pair;
using tm_test::virtual_worker;
using tm_test::wintec_point;
using tm_test::wintec_sim;

// Known points; the third one's latitude is the bytes "@A,\n" (a line head and an LF
// inside block data), the fourth is a push-to-log point south-west of Greenwich, the
// fifth lies between 0 and -1 degree.
std::vector<wintec_point> truth(int n) {
  std::vector<wintec_point> v;
  for (int i = 0; i < n; ++i) {
    wintec_point p{45.0 + 0.0001234 * i, 6.5 + 0.0004321 * i, 200 + i % 50, 2024, 5, 6, 7 + i / 3600,
                   i / 60 % 60, i % 60, uint16_t(i == 0 ? 1 : 0)};
    if (i == 2) p.lat = 0x0A2C4140 * 1e-7;
    if (i == 3) {
      p.lat = -33.25, p.lon = -70.125, p.alt = -12;
      p.flags = 2;
    }
    if (i == 4) p.lat = -0.5, p.lon = -0.0000001;
    v.push_back(p);
  }
  return v;
}

std::string image_of(const std::vector<wintec_point>& pts) {
  std::string s;
  for (const auto& p : pts) s += tm_test::wintec_record_bytes(p);
  return s;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

// The TMN-V3 line the driver must write for a known point.
std::string expected_line(const wintec_point& p) {
  auto deg = [](double v) {
    const long long u = std::llround(v * 1e7), a = u < 0 ? -u : u;
    char b[32];
    std::snprintf(b, sizeof b, "%s%lld.%07lld", u < 0 ? "-" : "", a / 10000000, a % 10000000);
    return std::string(b);
  };
  char t[64], alt[64];
  std::snprintf(t, sizeof t, "\"%04d-%02d-%02dT%02d:%02d:%02dZ\"", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  std::snprintf(alt, sizeof alt, "%.12le", double(p.alt));
  return deg(p.lon) + ";" + deg(p.lat) + ";" + t + ";" + std::to_string(p.flags & 3) + ";" + alt +
         ";;;;;;;;;;;;";
}

class WintecDriver : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    ASSERT_TRUE(pty_.ok());
    dir_ = tm_test::fresh_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    wintec_install();
  }
  // Opens the logger as connect does and runs `body` with the open context, on the
  // virtual clock; the context is freed (close) afterwards.
  void with_logger(const std::function<void(com_device*, wintec_ctx*)>& body) {
    virtual_worker w([&] {
      com_device* dev = nullptr;
      com_open(pty_.path().c_str(), kWintecSpeed, &dev);
      ASSERT_NE(dev, nullptr);
      wintec_ctx* c = nullptr;
      wintec_ctx_create(dev, &c);
      ASSERT_NE(c, nullptr);
      body(dev, c);
      void* d = c;
      wintec_free(&d);
      com_close(&dev);
    });
    ASSERT_GE(tm_test::run_paced(w), 0) << "the driver hung";
  }
  // Logs in and downloads into dir_/log.tmn: the error code and count.
  int download(int32_t* count) {
    int err = -1;
    with_logger([&](com_device* dev, wintec_ctx* c) {
      if (!wintec_query(c)) {
        err = get_gblerr() ? get_gblerr() : ERR_PROTOCOL;
        return;
      }
      wintec_download_log(dev, c, count, (dir_ + "/log").c_str(), "tmn");
      err = get_gblerr();
      set_gblerr(0);
    });
    return err;
  }

  pty_pair pty_;
  std::string dir_;
};

TEST_F(WintecDriver, ProbeFindsTheLoggerAndNamesItWithItsVersions) {
  wintec_sim sim(pty_, image_of(truth(3)));
  gpsport_t* port = nullptr;
  virtual_worker w([&] { gps_probe(pty_.path().c_str(), 0, &port); });
  ASSERT_GE(tm_test::run_paced(w), 0);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->family, GPS_WINTEC);
  EXPECT_EQ(port->capabilities, kWintecCapabilities);
  EXPECT_EQ(port->speed, kWintecSpeed);
  EXPECT_STREQ(port->display_name, "WBT201 hardw. 1.27 softw. 2.04 log 1.4");
  virtual_worker closing([&] { gpsport_close(port); });
  ASSERT_GE(tm_test::run_paced(closing), 0);
  // The last command may still be crossing the line when the close returns.
  EXPECT_TRUE(tm_test::wait_for([&] { return sim.commands().back() == "@AL,2,1"; }, 2000))
      << sim.commands().back();
}

TEST_F(WintecDriver, DownloadWritesEveryWholeRecordOfTheLog) {
  struct row {
    const char* name;
    int points;
    int tail;  // bytes of a partial record after the points
  };
  const row rows[] = {
      {"empty log", 0, 0},
      {"a few points", 7, 0},
      {"exactly one block", 256, 0},
      {"a block and three records", 259, 0},
      {"last block of 40 bytes", 258, 8},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto pts = truth(r.points);
    std::string image = image_of(pts) + std::string(size_t(r.tail), '\x55');
    wintec_sim sim(pty_, image);
    int32_t count = -1;
    ASSERT_EQ(download(&count), 0);
    EXPECT_EQ(count, r.points);
    const auto lines = lines_of(slurp(dir_ + "/log.tmn"));
    ASSERT_EQ(lines.size(), size_t(r.points) + 3);
    EXPECT_EQ(lines[0], "TMN-V3_Tarmelo_Navigation_logfile");
    EXPECT_EQ(lines[1], "#Wintec WBT201 hardw. 1.27 softw. 2.04 log 1.4");
    for (int i = 0; i < r.points; ++i) ASSERT_EQ(lines[size_t(i) + 3], expected_line(pts[size_t(i)])) << i;
    const int blocks = (int(image.size()) + kWintecBlockSize - 1) / kWintecBlockSize;
    EXPECT_EQ(sim.blocks_served(), blocks);
  }
}

TEST_F(WintecDriver, FaultsEndInARetryOrError17) {
  struct row {
    const char* name;
    int bad_checksum, short_block, lost_echo;
    bool silent, garbage, no_ranges;
    int err;
    int count;  // records written (a failing second block keeps the first block's 256)
  };
  const row rows[] = {
      {"one bad checksum is read again", 1, 0, 0, false, false, false, 0, 300},
      {"one short block is read again", 0, 1, 0, false, false, false, 0, 300},
      {"one lost echo is read again", 0, 0, 1, false, false, false, 0, 300},
      {"a block that never checks", 0, 0, 0, false, false, false, ERR_PROTOCOL, 0},
      {"silent logger", 0, 0, 0, true, false, false, ERR_PROTOCOL, 0},
      {"noise only", 0, 0, 0, false, true, false, ERR_PROTOCOL, 0},
      {"ranges unanswered", 0, 0, 0, false, false, true, ERR_PROTOCOL, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    wintec_sim sim(pty_, image_of(truth(300)));
    sim.faults.bad_checksum = r.err && !r.silent && !r.garbage && !r.no_ranges ? 1000 : r.bad_checksum;
    sim.faults.short_block = r.short_block;
    sim.faults.lost_echo = r.lost_echo;
    sim.faults.silent = r.silent;
    sim.faults.garbage = r.garbage;
    sim.faults.no_ranges = r.no_ranges;
    int32_t count = -1;
    EXPECT_EQ(download(&count), r.err);
    if (r.err == 0) {
      EXPECT_EQ(count, r.count);
      EXPECT_EQ(lines_of(slurp(dir_ + "/log.tmn")).size(), size_t(r.count) + 3);
    }
    pty_.drain();
  }
}

TEST_F(WintecDriver, ASecondBlockThatFailsKeepsTheFirstBlocksRecords) {
  wintec_sim sim(pty_, image_of(truth(300)));
  int32_t count = -1;
  int err = -1;
  with_logger([&](com_device* dev, wintec_ctx* c) {
    ASSERT_TRUE(wintec_query(c));
    // The first block reads; then every answer checks wrong.
    std::thread spoil([&] {
      while (sim.blocks_served() < 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      sim.faults.bad_checksum = 1000;
    });
    wintec_download_log(dev, c, &count, (dir_ + "/log").c_str(), "tmn");
    spoil.join();
    err = get_gblerr();
    set_gblerr(0);
  });
  EXPECT_EQ(err, ERR_PROTOCOL);
  EXPECT_EQ(count, 256);
  EXPECT_EQ(lines_of(slurp(dir_ + "/log.tmn")).size(), 256u + 3);
}

TEST_F(WintecDriver, ConnectChecksTheNameAndGives17ForAnotherDevice) {
  struct row {
    const char* name;
    std::string device;
    bool silent;
    int32_t result;
    int err;
  };
  const row rows[] = {
      {"same logger", "WBT201", false, 1, 0},
      {"another logger", "WSG1000", false, 0, ERR_PROTOCOL},
      {"nothing answers", "WBT201", true, 0, ERR_PROTOCOL},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    wintec_sim sim(pty_, image_of(truth(2)), r.device);
    sim.faults.silent = r.silent;
    gpsport_t* port = nullptr;
    gpsport_create(0, 0, 0, 0, nullptr, &port);
    ASSERT_NE(port, nullptr);
    port->kind = GPSPORT_SERIAL;
    port->family = GPS_WINTEC;
    port->speed = kWintecSpeed;
    str_set(pty_.path().c_str(), &port->device_path);
    str_set("WBT201 hardw. 1.27 softw. 2.04 log 1.4", &port->display_name);
    int32_t result = -1;
    int err = -1;
    virtual_worker w([&] {
      result = wintec_open(port);
      err = get_gblerr();
      set_gblerr(0);
      gpsport_close(port);
    });
    ASSERT_GE(tm_test::run_paced(w), 0);
    EXPECT_EQ(result, r.result);
    EXPECT_EQ(err, r.err);
    EXPECT_EQ(port->connection, nullptr);
    free_obj(reinterpret_cast<obj_t**>(&port));
    pty_.drain();
  }
}

TEST_F(WintecDriver, TransferDownloadsErasesAndCloses) {
  wintec_sim sim(pty_, image_of(truth(20)));
  gpsport_t* port = nullptr;
  virtual_worker probe([&] { gps_probe(pty_.path().c_str(), GPS_WINTEC, &port); });
  ASSERT_GE(tm_test::run_paced(probe), 0);
  ASSERT_NE(port, nullptr);
  int32_t count = -1;
  virtual_worker w([&] {
    gpsport_close(port);
    gps_download(port, (dir_ + "/dl").c_str(), GPS_DATALOG | GPS_DELETE, &count);
  });
  ASSERT_GE(tm_test::run_paced(w), 0);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(count, 20);
  EXPECT_EQ(sim.erases(), 1);
  EXPECT_EQ(lines_of(slurp(dir_ + "/dl.tmn")).size(), 23u);
  tm_test::wait_for([&] { return !sim.commands().empty() && sim.commands().back() == "@AL,2,1"; }, 2000);
  const auto cmds = sim.commands();
  ASSERT_FALSE(cmds.empty());
  EXPECT_EQ(cmds.back(), "@AL,2,1");
  // A second download finds the log empty.
  int32_t again = -1;
  ASSERT_EQ(download(&again), 0);
  EXPECT_EQ(again, 0);
}

// The line automaton alone, fed text as the device sends it.
TEST(WintecLines, AnswersAreRecognisedAsTheProtocolSays) {
  struct row {
    const char* name;
    int command, param;
    std::string bytes;
    int done;
    const char* device_name;  // null: none
    uint32_t data_start;
  };
  const row rows[] = {
      {"login in mixed case", 0, 0, "@AL,lOgIn oK\r\n", 1, nullptr, 0},
      {"login without ok", 0, 0, "@AL,Login\r\n", 0, nullptr, 0},
      {"login with LF only", 0, 0, "@AL,LoginOK\n", 1, nullptr, 0},
      {"another sentence name", 0, 0, "@ALX,LoginOK\r\n", 0, nullptr, 0},
      {"name of nine letters keeps eight", 0, 0, "@ALALALALA,LoginOK\r\n", 0, nullptr, 0},
      {"device name", 7, 1, "@AL,7,1,WBT201\r\n", 1, "WBT201", 0},
      {"answer to another command", 7, 1, "@AL,7,2,WBT201\r\n", 0, nullptr, 0},
      {"data start", 5, 1, "junk@AL,5,1,4096\r\n", 1, nullptr, 4096},
      {"data start with a letter", 5, 1, "@AL,5,1,40x6\r\n", 1, nullptr, 0},
      {"a second CR loses the line", 5, 1, "@AL,5,1,512\r\r\n", 0, nullptr, 0},
      {"a '@' in the fields drops the line", 5, 1, "@AL,5@AL,5,1,77\r\n", 0, nullptr, 0},
      {"a new line after a dropped one", 5, 1, "@AL,5@\r\n@AL,5,1,77\r\n", 1, nullptr, 77},
      {"an overlong line is dropped", 5, 1, "@AL,5,1," + std::string(5000, '1') + "\r\n", 0, nullptr, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    wintec_ctx* c = nullptr;
    wintec_ctx_create(nullptr, &c);
    ASSERT_NE(c, nullptr);
    c->expected_command = r.command;
    c->expected_param = r.param;
    // One byte at a time and in one chunk must agree.
    for (int split = 0; split < 2; ++split) {
      c->wait->done = 0;
      free_mem(&c->device_name);
      c->data_start = 0;
      if (split) {
        for (char ch : r.bytes) {
          const uint8_t b = uint8_t(ch);
          wintec_feed(&b, 1, reinterpret_cast<port_reader*>(c));
        }
      } else {
        wintec_feed(reinterpret_cast<const uint8_t*>(r.bytes.data()), int(r.bytes.size()),
                    reinterpret_cast<port_reader*>(c));
      }
      EXPECT_EQ(c->wait->done, r.done);
      if (r.device_name) {
        EXPECT_STREQ(c->device_name, r.device_name);
      } else {
        EXPECT_EQ(c->device_name, nullptr);
      }
      EXPECT_EQ(c->data_start, r.data_start);
    }
    void* d = c;
    wintec_free(&d);
  }
}

// A block whose records hold a line head and LF is taken whole, and a checksum line
// decodes whole records only.
TEST(WintecLines, BlockBytesBypassTheLineAutomaton) {
  const auto pts = truth(5);
  const std::string image = image_of(pts);
  ASSERT_NE(image.find("@A,\n"), std::string::npos);
  struct row {
    const char* name;
    int requested;
    std::string tail;
    int records;
  };
  uint8_t x = 0;
  for (char ch : image) x ^= uint8_t(ch);
  char cs[40];
  std::snprintf(cs, sizeof cs, "@AL,CS,%02X,80\r\n@AL,5,3,4096\r\n", x);
  const row rows[] = {
      {"whole block", 80, cs, 5},
      {"wrong checksum", 80, "@AL,CS,00,80\r\n@AL,5,3,4096\r\n", 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    wintec_ctx* c = nullptr;
    wintec_ctx_create(nullptr, &c);
    c->expected_command = 5;
    c->expected_param = 3;
    c->requested = r.requested;
    const std::string bytes = image + r.tail;
    for (size_t i = 0; i < bytes.size(); i += 7) {
      const size_t n = std::min<size_t>(7, bytes.size() - i);
      wintec_feed(reinterpret_cast<const uint8_t*>(bytes.data() + i), int(n), reinterpret_cast<port_reader*>(c));
    }
    EXPECT_EQ(c->records, r.records);
    EXPECT_EQ(c->block_decoded, r.records > 0 ? 1 : 0);
    EXPECT_EQ(c->wait->done, 1);
    void* d = c;
    wintec_free(&d);
  }
  // 40 bytes requested: two whole records, the 8 bytes after them are no record.
  wintec_ctx* c = nullptr;
  wintec_ctx_create(nullptr, &c);
  c->expected_command = 5;
  c->expected_param = 3;
  c->requested = 40;
  const std::string block = image.substr(0, 40);
  uint8_t bx = 0;
  for (char ch : block) bx ^= uint8_t(ch);
  std::snprintf(cs, sizeof cs, "@AL,CS,%02X,40\r\n", bx);
  const std::string bytes = block + cs;
  wintec_feed(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()), reinterpret_cast<port_reader*>(c));
  EXPECT_EQ(c->records, 2);
  void* d = c;
  wintec_free(&d);
}

// The downloaded log loads back through the navigation log reader with the known points.
class WintecLoadBack : public tm_test::ReaderFixture {};

TEST_F(WintecLoadBack, TheDownloadedLogLoadsBackWithTheKnownPoints) {
  pty_pair pty;
  ASSERT_TRUE(pty.ok());
  const auto pts = truth(40);
  wintec_sim sim(pty, image_of(pts));
  const std::string base = dir_ + "/log";
  virtual_worker w([&] {
    com_device* dev = nullptr;
    com_open(pty.path().c_str(), kWintecSpeed, &dev);
    wintec_ctx* c = nullptr;
    wintec_ctx_create(dev, &c);
    int32_t count = 0;
    if (c && wintec_query(c)) wintec_download_log(dev, c, &count, base.c_str(), "tmn");
    void* d = c;
    wintec_free(&d);
    com_close(&dev);
  });
  ASSERT_GE(tm_test::run_paced(w), 0);
  ASSERT_EQ(get_gblerr(), 0);
  fileatt_t* f = loaded_.open(base + ".tmn");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(gpstext_read(f, f->sot), 0);
  const auto got = tm_test::objects_of<gpspos_t>(f->sot, CLS_GPSPOS);
  ASSERT_EQ(got.size(), pts.size());
  for (size_t i = 0; i < pts.size(); ++i) {
    gps_point_t c;
    std::memcpy(&c, &got[i]->coords, sizeof c);
    EXPECT_NEAR(c.x, pts[i].lon, 1e-7) << i;
    EXPECT_NEAR(c.y, pts[i].lat, 1e-7) << i;
    float alt;
    std::memcpy(&alt, &got[i]->altitude, sizeof alt);
    EXPECT_NEAR(alt, pts[i].alt, 1e-3) << i;
    date_rec t;
    std::memcpy(&t, &got[i]->time, sizeof t);
    char* text = nullptr;
    format_date_iso_span(&t, 1, 1, &text);
    char want[40];
    std::snprintf(want, sizeof want, "%04d-%02d-%02dT%02d:%02d:%02dZ", pts[i].year, pts[i].month, pts[i].day,
                  pts[i].hour, pts[i].minute, pts[i].second);
    EXPECT_STREQ(text, want) << i;
    free_mem(&text);
  }
  // The push-to-log record made a waypoint.
  EXPECT_EQ(tm_test::objects_of<waypoint_t>(f->sot, CLS_WAYPOINT).size(), 1u);
}

// gpsbabel's logger download reads what the simulator serves and gives the known points
// (GPX keeps nine decimals: 1e-7 degree, the logger's own unit).
TEST(WintecHost, TheReferenceHostReadsTheSimulatedLogger) {
  if (!tm_test::tool_present("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  pty_pair pty;
  ASSERT_TRUE(pty.ok());
  const auto pts = truth(300);
  wintec_sim sim(pty, image_of(pts));
  const std::string dir = tm_test::fresh_dir("wintec_host");
  const std::string out_path = dir + "/out.gpx";
  std::string out;
  const int rc = tm_test::run_tool({"gpsbabel", "-t", "-i", "wbt", "-f", pty.path(), "-o", "gpx",
                                    "-F", out_path},
                                   &out, 60000);
  ASSERT_EQ(rc, 0) << out;
  const auto got = tm_test::host_gpx_points(slurp(out_path));
  ASSERT_EQ(got.size(), pts.size()) << out;
  for (size_t i = 0; i < pts.size(); ++i) {
    EXPECT_NEAR(got[i].lat, pts[i].lat, 1e-7) << i;
    EXPECT_NEAR(got[i].lon, pts[i].lon, 1e-7) << i;
    EXPECT_NEAR(got[i].ele, pts[i].alt, 1e-6) << i;
    char when[40];
    std::snprintf(when, sizeof when, "%04d-%02d-%02dT%02d:%02d:%02dZ", pts[i].year, pts[i].month, pts[i].day,
                  pts[i].hour, pts[i].minute, pts[i].second);
    EXPECT_EQ(got[i].time, when) << i;
  }
}

}  // namespace
