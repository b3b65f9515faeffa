// NMEA log files: the header line and then every received byte unchanged; a second log
// in the same second keeps the first; a failed write closes the log; logs open for the
// serial ports that read and the Garmin USB ports, never for UDP; the two switches and
// their menu check marks; a reader thread logging while the switch is turned.
#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/config.h"
#include "gps/gpsport.h"
#include "gps/nmea_log.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/support/test_env.h"

namespace gpsport_test {
namespace {

const std::string kHeaderLine = "$PTMQH,NMEA File Header*62\r\n";

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The NMEA_*.nmea files of a folder, sorted by name.
std::vector<std::string> log_files(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("NMEA_", 0) == 0) out.push_back(folder + name);
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct Checks {
  std::vector<std::pair<unsigned, int>> seen;
};
Checks& checks() {
  static Checks c;
  return c;
}
void record_check(unsigned item, int on) { checks().seen.emplace_back(item, on); }

class NmeaLog : public GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    log_dir_ = tm_test::fresh_dir("nmealogs");
    config_set_dir("LOG_DIR", nullptr, log_dir_.c_str());
    checks().seen.clear();
    set_navig_menu_check_routine(record_check);
    navig_log_set(0);
    navig_rawlog_set(0);
    checks().seen.clear();
  }
  void TearDown() override {
    set_navig_menu_check_routine(nullptr);
    navig_log_set(0);
    plat::use_virtual_clock(false);
    GpsPortFixture::TearDown();
  }

  // A live serial port of a family whose protocol is not NMEA: a raw reader.
  gpsport_t* raw_port() {
    gpsport_t* port = nullptr;
    gpsport_create(1, GPSPORT_SERIAL, 4800, GPS_FAMILY_NONE, "", &port);
    port_reader* reader = nullptr;
    alloc_mem_zero(&reader, sizeof *reader);
    reader->read = com_read_routine;
    port->reader = reader;
    return port;
  }
  // A live UDP port: an NMEA reader on its socket.
  gpsport_t* udp_port() {
    gpsport_t* port = nullptr;
    gpsport_create(10110, GPSPORT_UDP, 0, GPS_MAGELLAN, "", &port);
    EXPECT_EQ(nmea_module_init(), 0);
    nmea_parser* parser = nullptr;
    nmea_reader_create(nullptr, udp_read_routine, &parser);
    port->reader = parser;
    return port;
  }
  static nmea_parser* reader(gpsport_t* port) { return static_cast<nmea_parser*>(port->reader); }

  std::string log_dir_;
};

TEST_F(NmeaLog, PathIsTheFolderThePrefixTheStampAndTheExtension) {
  EXPECT_EQ(nmea_log_path("/var/log/tm/", 2026, 3, 7, 9, 5, 1), "/var/log/tm/NMEA_2026-03-07_09h05m01s.nmea");
  EXPECT_EQ(nmea_log_path("/logs", 999, 12, 31, 23, 59, 59), "/logs/NMEA_ 999-12-31_23h59m59s.nmea");
}

// Every chunk as it came, NUL, CR and bytes above 127 included, after the header.
TEST_F(NmeaLog, LogHoldsTheHeaderThenEveryByteUnchanged) {
  gpsport_t* port = raw_port();
  nmea_log_open(port);
  EXPECT_EQ(port->nmea_log_open.load(), 1);
  ASSERT_NE(reader(port)->log, nullptr);
  std::string sent;
  for (int chunk = 0; chunk < 40; ++chunk) {
    std::string bytes;
    for (int i = 0; i < 1 + chunk * 7; ++i) bytes += char((chunk * 31 + i * 17) & 0xFF);
    if (chunk == 3) bytes = "$GPGGA,123519,4807.038,N*00\r\n";
    nmea_log_write(reader(port), reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()));
    sent += bytes;
    // Flushed at once: the file already holds everything written.
    const std::vector<std::string> files = log_files(log_dir_);
    ASSERT_EQ(files.size(), 1u);
    ASSERT_EQ(read_all(files[0]), kHeaderLine + sent);
  }
  nmea_log_write(reader(port), nullptr, 5);
  nmea_log_write(reader(port), reinterpret_cast<const uint8_t*>("x"), 0);
  navig_port_log_close(port);
  EXPECT_EQ(reader(port)->log, nullptr);
  EXPECT_EQ(port->nmea_log_open.load(), 0);
  EXPECT_EQ(read_all(log_files(log_dir_)[0]), kHeaderLine + sent);
  free_obj(&port);
}

// With the clock standing still every log opens in the same second: each gets its own
// file and the earlier ones keep what they hold.
TEST_F(NmeaLog, ASecondLogInTheSameSecondKeepsTheFirst) {
  plat::use_virtual_clock(true);
  gpsport_t* port = raw_port();
  std::vector<std::string> contents;
  for (int i = 0; i < 3; ++i) {
    nmea_log_open(port);
    const std::string bytes = "log " + std::to_string(i) + "\r\n";
    nmea_log_write(reader(port), reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()));
    contents.push_back(kHeaderLine + bytes);
    navig_port_log_close(port);
  }
  const std::vector<std::string> files = log_files(log_dir_);
  ASSERT_EQ(files.size(), 3u);
  // NMEA_<stamp>.nmea, NMEA_<stamp>_2.nmea, NMEA_<stamp>_3.nmea
  const std::string first = files[0].substr(0, files[0].size() - 5);
  EXPECT_EQ(read_all(first + ".nmea"), contents[0]);
  EXPECT_EQ(read_all(first + "_2.nmea"), contents[1]);
  EXPECT_EQ(read_all(first + "_3.nmea"), contents[2]);
  free_obj(&port);
}

TEST_F(NmeaLog, AFailedWriteClosesTheLogAndReadingGoesOn) {
  gpsport_t* port = raw_port();
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  reader(port)->log = full;
  port->nmea_log_open.store(1);
  const std::string bytes(100, 'x');
  nmea_log_write(reader(port), reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()));
  EXPECT_EQ(reader(port)->log, nullptr);
  EXPECT_EQ(port->nmea_log_open.load(), 1) << "the flag stays until logging is switched off";
  nmea_log_write(reader(port), reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()));
  navig_logs_close();
  EXPECT_EQ(port->nmea_log_open.load(), 0);
  free_obj(&port);
}

// A log folder that cannot be made: no log, no error, the flag set all the same.
TEST_F(NmeaLog, ALogThatCannotBeCreatedLeavesThePortWithout) {
  // The configured folder is replaced by a plain file of the same name.
  const std::string folder = log_dir_ + "gone/";
  config_set_dir("LOG_DIR", nullptr, folder.c_str());
  ASSERT_STREQ(get_log_dir(), folder.c_str());
  std::filesystem::remove(folder);
  tm_test::write_file(folder.substr(0, folder.size() - 1), "x");
  gpsport_t* port = raw_port();
  nmea_log_open(port);
  EXPECT_EQ(reader(port)->log, nullptr);
  EXPECT_EQ(port->nmea_log_open.load(), 1);
  EXPECT_EQ(get_gblerr(), 0);
  free_obj(&port);
}

// Turning logging on opens a log for each serial port that reads and has none, the PVT
// log of each Garmin USB port; a UDP port and a port without reader get none.
TEST_F(NmeaLog, LogsOpenForReadingSerialPortsAndUsbPortsOnly) {
  static std::vector<gpsport_t*> pvt_opened;
  pvt_opened.clear();
  gps_usb_hooks& hooks = get_gps_usb_hooks();
  const gps_usb_hooks saved = hooks;
  hooks.pvt_nmea_log_open = [](gpsport_t* p) {
    pvt_opened.push_back(p);
    p->nmea_log_open.store(1);
  };
  gpsport_t* serial = raw_port();
  gpsport_t* idle = nullptr;
  gpsport_create(2, GPSPORT_SERIAL, 4800, 1, "", &idle);
  gpsport_t* udp = udp_port();
  gpsport_t* usb = nullptr;
  gpsport_create(0, GPSPORT_USB, 0, GPS_GARMIN, "", &usb);
  gpsport_t* logged = raw_port();
  nmea_log_open(logged);
  ASSERT_EQ(log_files(log_dir_).size(), 1u);

  navig_logs_open();
  EXPECT_NE(reader(serial)->log, nullptr);
  EXPECT_EQ(serial->nmea_log_open.load(), 1);
  EXPECT_EQ(idle->nmea_log_open.load(), 0);
  EXPECT_EQ(reader(udp)->log, nullptr);
  EXPECT_EQ(udp->nmea_log_open.load(), 0);
  EXPECT_EQ(pvt_opened, std::vector<gpsport_t*>{usb});
  EXPECT_EQ(log_files(log_dir_).size(), 2u) << "the open log was kept, one more for the serial port";

  navig_logs_open();  // nothing more to open
  EXPECT_EQ(pvt_opened.size(), 1u);

  navig_logs_close();
  EXPECT_EQ(reader(serial)->log, nullptr);
  EXPECT_EQ(reader(logged)->log, nullptr);
  EXPECT_EQ(serial->nmea_log_open.load(), 0);
  EXPECT_EQ(logged->nmea_log_open.load(), 0);
  hooks = saved;
  for (gpsport_t* p : {serial, idle, udp, usb, logged}) free_obj(&p);
}

TEST_F(NmeaLog, SwitchesSetTheirCheckMarksAndTheRawLogsOfUsbPorts) {
  static std::vector<std::string> raw_calls;
  raw_calls.clear();
  gps_usb_hooks& hooks = get_gps_usb_hooks();
  const gps_usb_hooks saved = hooks;
  hooks.pvt_raw_log_open = [](gpsport_t* p) {
    raw_calls.push_back("open " + std::string(p->display_name));
    p->raw_log_open.store(1);
  };
  hooks.pvt_raw_log_close = [](gpsport_t* p) {
    raw_calls.push_back("close " + std::string(p->display_name));
    p->raw_log_open.store(0);
  };
  gpsport_t* usb_a = nullptr;
  gpsport_t* usb_b = nullptr;
  gpsport_t* serial = nullptr;
  gpsport_create(0, GPSPORT_USB, 0, 1, "", &usb_a);
  gpsport_create(0, GPSPORT_USB, 0, 1, "", &usb_b);
  gpsport_create(1, GPSPORT_SERIAL, 4800, 1, "", &serial);
  str_set("A", &usb_a->display_name);
  str_set("B", &usb_b->display_name);
  usb_b->raw_log_open.store(1);

  EXPECT_EQ(navig_log_get(), 0);
  navig_log_set(1);
  EXPECT_EQ(navig_log_get(), 1);
  navig_log_set(0);
  EXPECT_EQ(navig_log_get(), 0);
  navig_rawlog_set(1);
  EXPECT_EQ(navig_rawlog_get(), 1);
  EXPECT_EQ(raw_calls, (std::vector<std::string>{"open A"}));
  navig_rawlog_set(0);
  EXPECT_EQ(navig_rawlog_get(), 0);
  EXPECT_EQ(raw_calls, (std::vector<std::string>{"open A", "close A", "close B"}));
  EXPECT_EQ(checks().seen, (std::vector<std::pair<unsigned, int>>{
                               {40063, 1}, {40063, 0}, {40038, 1}, {40038, 0}}));
  hooks = saved;
  for (gpsport_t* p : {usb_a, usb_b, serial}) free_obj(&p);
}

// Destroying a port closes its log (and frees its reader).
TEST_F(NmeaLog, DestroyClosesTheLog) {
  gpsport_t* port = raw_port();
  nmea_log_open(port);
  const std::string bytes = "$GPRMC\r\n";
  nmea_log_write(reader(port), reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()));
  free_obj(&port);
  const std::vector<std::string> files = log_files(log_dir_);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(read_all(files[0]), kHeaderLine + bytes);
}

// The live reader's loop: each turn opens or closes the logs after the switch and logs
// what it read, while the user-interface thread turns the switch. Every log holds the
// header and whole chunks.
TEST_F(NmeaLog, ReaderThreadLogsWhileTheSwitchIsTurned) {
  const std::string chunk = "$GPGLL,4916.45,N,12311.12,W,225444,A*31\r\n";
  gpsport_t* port = raw_port();
  port->run.store(1);
  std::atomic<int> turns{0};
  std::thread reader_thread([&] {
    while (port->run.load() == 1) {
      if (navig_log_get())
        navig_logs_open();
      else
        navig_logs_close();
      nmea_log_write(reader(port), reinterpret_cast<const uint8_t*>(chunk.data()), int(chunk.size()));
      turns.fetch_add(1);
      std::this_thread::yield();
    }
    navig_port_log_close(port);
  });
  for (int i = 0; i < 6; ++i) {
    const int before = turns.load();
    navig_log_set(i % 2 == 0 ? 1 : 0);
    ASSERT_TRUE(tm_test::wait_for([&] { return turns.load() > before + 3; }));
    // Plain reads of the port's shared flags from this thread.
    (void)port->nmea_log_open.load();
  }
  port->run.store(-1);
  reader_thread.join();
  const std::vector<std::string> files = log_files(log_dir_);
  ASSERT_FALSE(files.empty());
  for (const std::string& f : files) {
    const std::string content = read_all(f);
    ASSERT_EQ(content.rfind(kHeaderLine, 0), 0u) << f;
    EXPECT_EQ((content.size() - kHeaderLine.size()) % chunk.size(), 0u) << f;
  }
  free_obj(&port);
}

}  // namespace
}  // namespace gpsport_test
