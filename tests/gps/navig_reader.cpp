// The live navigation reader: the next-day rule, the live read step and protocol
// detection on in-memory readers; then whole runs of the reader thread against a pty
// receiver at 1 Hz on the virtual clock (switch-on bytes, fixes, the log), an unplugged
// and replugged receiver, a port that does not exist, a restart while running, a stop
// with a fix pending, a slow display, hostile bytes, UDP from a loopback peer and from
// socat, a pty that socat feeds, and the Garmin USB kind without its module.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "core/memory.h"
#include "core/object.h"
#include "gps/port_io.h"
#include "map/mapwin.h"
#include "platform/net/net.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "tests/gps/navig_fixture.h"
#include "tests/support/net_loopback.h"

namespace {

using namespace navig_test;

// ---- The next-day rule ------------------------------------------------------------------------
struct time_case {
  const char* name;
  double kept, time;
  int keeps;
};
constexpr double kSec = 1.0 / 86400.0;
const time_case kTimeCases[] = {
    {"later", 0.5, 0.5 + kSec, 1},
    {"same", 0.5, 0.5, 1},
    {"half_second_older", 0.5, 0.5 - 0.5 * kSec, 0},
    {"midnight_rollover", 86399 * kSec, 1 * kSec, 1},
    {"older_by_0_8_day", 0.9, 0.1, 0},
    {"older_by_more_than_0_8_day", 0.95, 0.1, 1},
    {"first_fix", 0.0, 0.3, 1},
};
class NavigTimeRule : public ::testing::TestWithParam<time_case> {};
TEST_P(NavigTimeRule, KeepsOrClearsTheTimeFlag) {
  const time_case& c = GetParam();
  EXPECT_EQ(navig_time_keeps(c.time, c.kept), c.keeps);
}
INSTANTIATE_TEST_SUITE_P(Cases, NavigTimeRule, ::testing::ValuesIn(kTimeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Live read step and detection on in-memory readers ---------------------------------------
struct memory_source {
  std::string bytes;
  size_t at = 0;
  int fail = 0;
};
int memory_read(void* device, int max, uint8_t* buf) {
  memory_source* s = static_cast<memory_source*>(device);
  if (s->fail) return -1;
  const size_t n = std::min(size_t(max), s->bytes.size() - s->at);
  std::memcpy(buf, s->bytes.data() + s->at, n);
  s->at += n;
  return int(n);
}

class NavigStep : public NavigFixture {};

TEST_F(NavigStep, ReadCarriesPositionRawTextAndDate) {
  memory_source src{receiver_second(12 * 3600)};
  nmea_parser* reader = nullptr;
  ASSERT_EQ(nmea_reader_create(&src, memory_read, &reader), 0);
  nmea_fix* fix = nullptr;
  nmea_fix_new(&fix);
  EXPECT_EQ(nmea_live_step(reader, fix), 1);
  EXPECT_TRUE(fix->valid.position);
  EXPECT_EQ(fix->raw_length, int(src.bytes.size()));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(fix->raw), size_t(fix->raw_length)), src.bytes);
  EXPECT_NEAR(fix->time, 0.5, 1e-9);
  int y = 0, m = 0;
  double d = 0;
  date_split(fix->fix_date.date, &y, &m, &d);
  EXPECT_EQ(y, 1994);
  EXPECT_EQ(m, 3);
  EXPECT_NEAR(d, 23.5, 1e-6);
  // Nothing more: no bytes, no position.
  EXPECT_EQ(nmea_live_step(reader, fix), 0);
  EXPECT_EQ(fix->raw_length, 0);
  // Text without sentences: bytes but no position.
  src.bytes += "hello, not a sentence\r\n";
  EXPECT_EQ(nmea_live_step(reader, fix), 0);
  EXPECT_GT(fix->raw_length, 0);
  // A read error, and no reader at all.
  src.fail = 1;
  EXPECT_EQ(nmea_live_step(reader, fix), -1);
  EXPECT_EQ(nmea_live_step(nullptr, fix), -1);
  nmea_fix_free(&fix);
  nmea_reader_free(&reader);
}

TEST_F(NavigStep, ReadIsBoundedByTheReadSize) {
  memory_source src{std::string(3 * kNavigReadSize, '$')};
  nmea_parser* reader = nullptr;
  ASSERT_EQ(nmea_reader_create(&src, memory_read, &reader), 0);
  nmea_fix* fix = nullptr;
  nmea_fix_new(&fix);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(nmea_live_step(reader, fix), 0);
    EXPECT_EQ(fix->raw_length, kNavigReadSize);
  }
  nmea_fix_free(&fix);
  nmea_reader_free(&reader);
}

TEST_F(NavigStep, DetectionSwitchesNmeaTextToAParserAndLeavesOtherBytes) {
  memory_source binary{std::string("\xA0\xA2\x00\x02\xBC\x01\xB0\xB3", 8)};
  port_reader* raw = nullptr;
  alloc_mem_zero(&raw, sizeof *raw);
  raw->device = &binary;
  raw->read = memory_read;
  void* reader = raw;
  int32_t family = GPS_FAMILY_NONE;
  nmea_detect(&reader, &family);
  EXPECT_EQ(family, GPS_FAMILY_NONE);
  EXPECT_EQ(reader, static_cast<void*>(raw));

  memory_source text{receiver_second(10)};
  raw->device = &text;
  nmea_detect(&reader, &family);
  EXPECT_EQ(family, GPS_MAGELLAN);
  nmea_parser* parser = static_cast<nmea_parser*>(reader);
  EXPECT_EQ(parser->device, static_cast<void*>(&text));
  EXPECT_EQ(parser->read, memory_read);
  ASSERT_NE(parser->fix, nullptr);
  // The bytes that revealed the protocol were parsed.
  EXPECT_TRUE(parser->fix->valid.position);
  nmea_reader_free(&parser);
}

TEST_F(NavigStep, DatumUpdateSetsTheFlagOnlyOnAChange) {
  gpsport_t* port = nullptr;
  gpsport_create(1, GPSPORT_SERIAL, 4800, GPS_MAGELLAN, "", &port);
  navig_georef_new(4, &port->georef);
  ASSERT_NE(port->georef, nullptr);
  nmea_fix* fix = nullptr;
  nmea_fix_new(&fix);
  navig_datum_update(port, fix);
  EXPECT_EQ(port->datum_changed.load(), 1);
  EXPECT_STREQ(port->datum, "WGS 84");
  navig_datum_update(port, fix);
  EXPECT_EQ(port->datum_changed.load(), 0);
  nmea_fix_free(&fix);
  obj_t* o = port;
  free_obj(&o);
}

// Bytes waiting on the line.
int pending_input(int fd) {
  int n = 0;
  return ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

// ---- Whole runs ------------------------------------------------------------------------------
class NavigRun : public NavigFixture {
 protected:
  // A simulated receiver on the pty master: one burst per virtual second from `first`.
  void start_receiver(tm_test::pty_pair* pty, int first, std::string* sent = nullptr,
                      std::mutex* sent_m = nullptr) {
    rx_run_ = true;
    rx_thread_ = std::thread([=, this] {
      int second = first;
      while (rx_run_) {
        const std::string burst = receiver_second(second++);
        if (sent) {
          std::lock_guard<std::mutex> lock(*sent_m);
          if (!pty->write_all(burst)) break;
          *sent += burst;
        } else if (!pty->write_all(burst)) {
          break;
        }
        plat::sleep_ms(1000);
      }
    });
  }
  void stop_receiver() {
    rx_run_ = false;
    if (rx_thread_.joinable()) rx_thread_.join();
  }
  void TearDown() override {
    stop_receiver();
    NavigFixture::TearDown();
  }

  static std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<std::string> logs() {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(log_dir_)) out.push_back(e.path().string());
    return out;
  }

  std::atomic<bool> rx_run_{false};
  std::thread rx_thread_;
};

TEST_F(NavigRun, ReceiverAtOneHertzFillsTheTrackAndTheLog) {
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  start_clock();
  start_ui();
  navig_start(nullptr, pty.path().c_str(), "4800", 1);
  EXPECT_EQ(navig_is_running(), 1);
  // The receiver is told to speak NMEA before anything is read.
  const std::string on = pty.take(std::string("$PMGNCMD,NMEAON*").size() + 2 + 2 + 10);
  EXPECT_EQ(on.substr(0, 16), "$PMGNCMD,NMEAON*");
  std::string rest = pty.take(2 * sentence("$PROY103,1,0").size());
  EXPECT_NE(rest.find(sentence("$PROY103,1,0")), std::string::npos);
  EXPECT_NE(rest.find(sentence("$PROY103,1,1")), std::string::npos);

  std::string sent;
  std::mutex sent_m;
  start_receiver(&pty, 10 * 3600, &sent, &sent_m);
  ASSERT_TRUE(tm_test::wait_for([] { return track_points() >= 5; }, 30000));
  EXPECT_EQ(checked(kNavigMenuItem), 1);
  stop_receiver();
  // The stop ends the reading: bytes still in the port when it comes are not the log's.
  // The reader is given time to take what was sent, as it would on a quiet receiver.
  {
    std::lock_guard<std::mutex> lock(sent_m);
    const size_t want = sent.size();
    EXPECT_TRUE(tm_test::wait_for(
        [&] {
          const auto files = logs();
          if (files.size() != 1) return false;
          const std::string log = read_file(files[0]);
          const size_t eol = log.find('\n');
          return eol != std::string::npos && log.size() - eol - 1 >= want;
        },
        20000));
  }
  navig_stop();
  EXPECT_EQ(navig_current_port(), nullptr);
  EXPECT_EQ(navig_is_running(), 0);
  EXPECT_EQ(checked(kNavigMenuItem), 0);
  // The track's points follow the receiver east, one per second, in order.
  const navseg_t* t = tracks().back();
  for (int i = 1; i < obj_list_count(t->sons); ++i) {
    const gpspos_t* a = static_cast<const gpspos_t*>(t->sons->elems[i - 1]);
    const gpspos_t* b = static_cast<const gpspos_t*>(t->sons->elems[i]);
    EXPECT_GT(double(b->coords.x), double(a->coords.x));
    EXPECT_GT(double(b->time.day), double(a->time.day));
  }
  // The log holds its header line, then exactly the bytes the receiver sent.
  const auto files = logs();
  ASSERT_EQ(files.size(), 1u);
  const std::string log = read_file(files[0]);
  const size_t eol = log.find('\n');
  ASSERT_NE(eol, std::string::npos);
  EXPECT_EQ(log.substr(0, std::strlen(kNmeaLogHeader)), kNmeaLogHeader);
  std::lock_guard<std::mutex> lock(sent_m);
  EXPECT_EQ(log.substr(eol + 1), sent);
}

// While the port is being reconnected the navigation window's status text says so; the
// port's name comes back once it reads again.
TEST_F(NavigRun, UnpluggedReceiverIsReconnectedWhenItComesBack) {
  // The frame's texts are written by the reader thread; the frame lookup, called by that
  // thread before each text is set, records the status text it finds there.
  static mapwin_t* frame = nullptr;
  static std::mutex seen_m;
  static std::vector<std::string> seen;
  {
    std::lock_guard<std::mutex> lock(seen_m);
    seen.clear();
  }
  mapwin_type_register();
  obj_new_registered(CLS_MAPWIN, &frame);
  ASSERT_NE(frame, nullptr);
  mapwin_ui_hooks hooks;
  hooks.command_target = []() -> obj_t* {
    std::lock_guard<std::mutex> lock(seen_m);
    const std::string text = frame->status_text ? frame->status_text : "";
    if (seen.empty() || seen.back() != text) seen.push_back(text);
    return frame;
  };
  mapwin_set_ui_hooks(&hooks);
  const std::string link = tm_test::fresh_dir("navlink") + "/gps";
  auto first = std::make_unique<tm_test::pty_pair>();
  tm_test::pty_pair second;
  ASSERT_TRUE(first->ok() && second.ok());
  ASSERT_EQ(symlink(first->path().c_str(), link.c_str()), 0);
  start_clock();
  start_ui();
  navig_start(nullptr, link.c_str(), "4800", 0);
  start_receiver(first.get(), 100);
  ASSERT_TRUE(tm_test::wait_for([] { return track_points() >= 2; }, 30000));
  stop_receiver();
  first->unplug();
  // The line is back under the same name, another device behind it.
  ASSERT_EQ(unlink(link.c_str()), 0);
  ASSERT_EQ(symlink(second.path().c_str(), link.c_str()), 0);
  const int before = track_points();
  start_receiver(&second, 200);
  EXPECT_TRUE(tm_test::wait_for([&] { return track_points() >= before + 2; }, 30000));
  stop_receiver();
  navig_stop();
  EXPECT_EQ(navig_current_port(), nullptr);
  mapwin_set_ui_hooks(nullptr);
  {
    std::lock_guard<std::mutex> lock(seen_m);
    // The port's name ("SERIAL PORT <device> NMEA"), then the same with the reconnection,
    // then the name again.
    const std::string suffix = ": connection lost, reconnecting...";
    const auto at = std::find_if(seen.begin(), seen.end(), [&](const std::string& t) {
      return t.size() > suffix.size() && t.compare(t.size() - suffix.size(), suffix.size(), suffix) == 0;
    });
    ASSERT_NE(at, seen.end()) << ::testing::PrintToString(seen);
    const std::string name = at->substr(0, at->size() - suffix.size());
    EXPECT_NE(name.find(link), std::string::npos);
    EXPECT_NE(std::find(at, seen.end(), name), seen.end()) << ::testing::PrintToString(seen);
  }
  free_mem(&frame->title);  // the frame's texts belong to its window, not to the record
  free_mem(&frame->status_part);
  free_mem(&frame->status_text);
  free_obj(&frame);
}

// A serial port whose protocol is to be detected: the NMEA text switches it to the NMEA
// reader on the device it holds, and reading goes on without new connections (one
// track from the connection, one from the first fix, no more).
TEST_F(NavigRun, DetectedNmeaIsReadOnTheSameDevice) {
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  gpsport_t* port = nullptr;
  gpsport_create(1, GPSPORT_SERIAL, 4800, GPS_FAMILY_NONE, "", &port);
  ASSERT_NE(port, nullptr);
  str_set(pty.path().c_str(), &port->device_path);
  start_clock();
  start_ui();
  navig_start(port, nullptr, nullptr, 0);
  start_receiver(&pty, 300);
  ASSERT_TRUE(tm_test::wait_for([] { return track_points() >= 4; }, 30000));
  stop_receiver();
  EXPECT_LE(navig_track_count(), 2);
  navig_stop();
  EXPECT_EQ(navig_current_port(), nullptr);
}

// A port of a family the live reader does not read keeps trying without tracks.
TEST_F(NavigRun, OtherFamilyMakesNoTracksAndStops) {
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  gpsport_t* port = nullptr;
  gpsport_create(1, GPSPORT_SERIAL, 4800, GPS_EMTAC, "", &port);
  ASSERT_NE(port, nullptr);
  str_set(pty.path().c_str(), &port->device_path);
  start_clock();
  start_ui();
  navig_start(port, nullptr, nullptr, 0);
  start_receiver(&pty, 300);
  const int64_t t0 = plat::now_ms();
  ASSERT_TRUE(tm_test::wait_for([&] { return plat::now_ms() - t0 > 5000; }, 30000));
  stop_receiver();
  EXPECT_LE(navig_track_count(), 1);
  navig_stop();
  EXPECT_FALSE(navig_reader_alive());
}

TEST_F(NavigRun, MissingDeviceIsRetriedUntilStopped) {
  start_clock();
  start_ui();
  const int64_t t0 = plat::now_ms();
  navig_start(nullptr, "/dev/nonexistent-gps-device", "4800", 0);
  ASSERT_TRUE(tm_test::wait_for([&] { return plat::now_ms() - t0 > 1000; }, 20000));
  EXPECT_NE(navig_current_port(), nullptr);
  EXPECT_TRUE(navig_reader_alive());
  const int64_t t1 = plat::now_ms();
  navig_stop();
  EXPECT_FALSE(navig_reader_alive());
  EXPECT_LT(plat::now_ms() - t1, 400);  // one connect turn and the polls
  EXPECT_EQ(navig_track_count(), 0);
}

TEST_F(NavigRun, RestartWhileRunningStopsTheFirstReader) {
  tm_test::pty_pair a, b;
  ASSERT_TRUE(a.ok() && b.ok());
  auto count_ports = [] {
    int n = 0;
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_GPSPORT, &cursor)) ++n;
    return n;
  };
  const int ports_before = count_ports();
  start_clock();
  start_ui();
  navig_start(nullptr, a.path().c_str(), "4800", 0);
  start_receiver(&a, 10);
  ASSERT_TRUE(tm_test::wait_for([] { return track_points() >= 1; }, 30000));
  gpsport_t* first = navig_current_port();
  const int tracks_before = navig_track_count();
  navig_start(nullptr, b.path().c_str(), "4800", 0);
  stop_receiver();
  gpsport_t* current = navig_current_port();
  ASSERT_NE(current, nullptr);
  EXPECT_NE(std::string(current->device_path), a.path());
  // Only the new port is left: the first was freed by its own reader.
  EXPECT_EQ(count_ports(), ports_before + 1);
  (void)first;
  start_receiver(&b, 20);
  EXPECT_TRUE(tm_test::wait_for([&] { return navig_track_count() > tracks_before && track_points() >= 1; }, 30000));
  stop_receiver();
  navig_stop();
}

TEST_F(NavigRun, StopWithAFixPendingTakesItBack) {
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  start_clock();
  // No display step runs: this thread stands for the user-interface thread.
  navig_start(nullptr, pty.path().c_str(), "4800", 0);
  start_receiver(&pty, 10);
  // One fix is handed over; the ones after it are dropped while it is pending.
  ASSERT_TRUE(tm_test::wait_for([] { return posts().load() >= 1; }, 30000));
  const int64_t t0 = plat::now_ms();
  ASSERT_TRUE(tm_test::wait_for([&] { return plat::now_ms() - t0 > 3000; }, 30000));
  EXPECT_EQ(posts().load(), 1);
  stop_receiver();
  navig_stop();
  EXPECT_EQ(navig_current_port(), nullptr);
  EXPECT_FALSE(navig_reader_alive());
}

// The program marks its navigation item through the user-interface thread (the toolbar
// button is a window, and a call from the reader waits for that thread). A stop asked on
// that thread goes on delivering such calls while it waits for the reader, so neither
// waits for the other.
std::atomic<int> g_mark_calls{0}, g_mark_state{-1};
plat::Wnd g_mark_window = nullptr;

plat::LResult mark_window_proc(plat::Wnd w, uint32_t msg, plat::WParam wp, plat::LParam lp) {
  if (msg == plat::WM_USER && wp == kNavigMenuItem) {
    g_mark_state = int(lp);
    ++g_mark_calls;
    return 0;
  }
  return plat::def_window_proc(w, msg, wp, lp);
}

TEST_F(NavigRun, StopOnTheInterfaceThreadServesTheReadersMarks) {
  plat::ui_reset();
  plat::set_ui_thread();
  plat::WndClass c;
  c.name = "NavigMarkProbe";
  c.proc = mark_window_proc;
  ASSERT_NE(plat::register_class(c), 0);
  g_mark_window = plat::create_window(0, "NavigMarkProbe", "", 0, 0, 0, 10, 10, nullptr, 0);
  ASSERT_NE(g_mark_window, nullptr);
  g_mark_calls = 0;
  g_mark_state = -1;
  get_navig_ui_hooks().menu_check = [](unsigned item, int on) {
    plat::send_message(g_mark_window, plat::WM_USER, item, on);
  };
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  start_clock();
  start_ui();
  navig_start(nullptr, pty.path().c_str(), "4800", 0);
  start_receiver(&pty, 10);
  // Bounded in real time: virtual time runs on while the reader waits for this thread, and
  // a busy machine may let many virtual seconds pass before the sends are served.
  const auto serve_until = [](const std::function<bool()>& done, int real_seconds) {
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(real_seconds);
    while (!plat::wait_servicing_sends(done, 1000))
      if (std::chrono::steady_clock::now() >= bound) return false;
    return true;
  };
  ASSERT_TRUE(serve_until([] { return g_mark_state.load() == 1 && posts().load() >= 2; }, 60));
  stop_receiver();
  // Should the stop wait without delivering, the watchdog ends the wait as a closing
  // program would, and the test fails instead of hanging.
  std::atomic<bool> stopped{false}, watchdog_fired{false};
  std::thread watchdog([&] {
    if (!tm_test::wait_for([&] { return stopped.load(); }, 20000)) {
      watchdog_fired = true;
      app_set_closing(1);
    }
  });
  navig_stop();
  stopped = true;
  watchdog.join();
  app_set_closing(0);
  EXPECT_FALSE(watchdog_fired.load()) << "the stop waited for a reader that waited for it";
  EXPECT_TRUE(serve_until([] { return !navig_reader_alive(); }, 20));
  EXPECT_EQ(g_mark_state.load(), 0);
  EXPECT_GE(g_mark_calls.load(), 2);
  get_navig_ui_hooks().menu_check = nullptr;
  plat::destroy_window(g_mark_window);
  g_mark_window = nullptr;
  plat::ui_reset();
}

TEST_F(NavigRun, SlowDisplayDropsFixesButNeverReordersThem) {
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  start_clock();
  ui_delay_ms_ = 30;
  ui_hold_ = true;
  start_ui();
  navig_start(nullptr, pty.path().c_str(), "4800", 0);
  // Many seconds at once: the reader sees them while the display is held.
  ASSERT_TRUE(tm_test::wait_for([] { return navig_connected() != 0; }, 20000));
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(pty.write_all(receiver_second(1000 + i)));
  // The reader has read every byte while the first fix was still pending.
  ASSERT_TRUE(tm_test::wait_for([] { return posts().load() >= 1; }, 30000));
  ASSERT_TRUE(tm_test::wait_for([&] { return pending_input(pty.slave()) == 0; }, 30000));
  const int64_t t0 = plat::now_ms();
  ASSERT_TRUE(tm_test::wait_for([&] { return plat::now_ms() - t0 > 500; }, 30000));
  EXPECT_EQ(posts().load(), 1);
  ui_hold_ = false;
  // A fix read while the display still holds the first one is dropped by design: the
  // next second is sent once the display has shown it and given it back.
  ASSERT_TRUE(tm_test::wait_for([&] { return steps_.load() >= 1; }, 30000));
  ASSERT_TRUE(pty.write_all(receiver_second(2000)));
  ASSERT_TRUE(tm_test::wait_for([] { return track_points() >= 2; }, 30000));
  navig_stop();
  const navseg_t* t = tracks().back();
  EXPECT_LT(obj_list_count(t->sons), 41);
  for (int i = 1; i < obj_list_count(t->sons); ++i) {
    const gpspos_t* a = static_cast<const gpspos_t*>(t->sons->elems[i - 1]);
    const gpspos_t* b = static_cast<const gpspos_t*>(t->sons->elems[i]);
    EXPECT_GT(double(b->time.day), double(a->time.day)) << i;
  }
}

TEST_F(NavigRun, OneThreadConfigurationStillReturnsAtOnce) {
  config_set("MONOTHREAD", "1");
  start_clock();
  start_ui();
  navig_start(nullptr, "/dev/nonexistent-gps-device", "4800", 0);
  EXPECT_TRUE(navig_reader_alive());
  navig_stop();
  EXPECT_FALSE(navig_reader_alive());
}

TEST_F(NavigRun, HostileBytesKeepTheReaderBoundedAndStoppable) {
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  start_clock();
  start_ui();
  navig_start(nullptr, pty.path().c_str(), "4800", 0);
  ASSERT_TRUE(tm_test::wait_for([] { return navig_connected() != 0; }, 20000));
  std::mt19937 rng(7);
  std::string junk(64 * 1024, '\0');
  for (char& c : junk) c = char(rng());
  // Random bytes, then endless "$" with no end of sentence, then one good second.
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(pty.write_all(junk));
  ASSERT_TRUE(pty.write_all("$GPRMC," + std::string(200 * 1024, '7')));
  ASSERT_TRUE(pty.write_all("\r\n" + receiver_second(500)));
  EXPECT_TRUE(tm_test::wait_for([] { return track_points() >= 1; }, 30000));
  EXPECT_TRUE(navig_reader_alive());
  navig_stop();
  EXPECT_FALSE(navig_reader_alive());
}

TEST_F(NavigRun, UdpFixesFromALoopbackPeer) {
  const uint16_t port = tm_test::unused_loopback_port();
  ASSERT_NE(port, 0);
  start_ui();
  const std::string name = "UDP" + std::to_string(port);
  navig_start(nullptr, name.c_str(), nullptr, 0);
  ASSERT_TRUE(tm_test::wait_for([] { return navig_connected() != 0; }, 20000));
  tm_test::loopback_socket peer(false);
  int second = 0;
  ASSERT_TRUE(tm_test::wait_for(
      [&] {
        const std::string d = receiver_second(second++);
        plat::net_sendto(peer.fd, d.data(), d.size(), {tm_test::loopback_addr(), port});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return track_points() >= 3;
      },
      30000));
  navig_stop();
  EXPECT_EQ(navig_current_port(), nullptr);
}

// A burst of datagrams that arrives at a UDP input faster than anything could read it
// one at a time is queued by the input socket and every one of them reaches the
// session hook, in order (a relay misses none).
std::atomic<int> g_burst_reads{0};
std::atomic<int> g_burst_out_of_order{0};
void count_burst_read(const nmea_fix* fix) {
  const int i = g_burst_reads.load();
  const std::string expect = "$BURST," + std::to_string(i) + ",";
  if (!fix->raw || std::string(reinterpret_cast<const char*>(fix->raw), expect.size()) != expect)
    g_burst_out_of_order.fetch_add(1);
  g_burst_reads.store(i + 1);
}

TEST_F(NavigRun, UdpBurstIsReadWholeAndInOrder) {
  long cap = 0;
  if (std::FILE* f = std::fopen("/proc/sys/net/core/rmem_max", "r")) {
    if (std::fscanf(f, "%ld", &cap) != 1) cap = 0;
    std::fclose(f);
  }
  constexpr int kBurst = 1500;  // 186-byte datagrams: far more than a default buffer holds
  if (cap < 2L * 1024 * 1024) GTEST_SKIP() << "the system caps receive buffers below 2 MiB";
  g_burst_reads = 0;
  g_burst_out_of_order = 0;
  get_navig_session_hooks().fix = count_burst_read;
  const uint16_t port = tm_test::unused_loopback_port();
  ASSERT_NE(port, 0);
  start_ui();
  const std::string name = "UDP" + std::to_string(port);
  navig_start(nullptr, name.c_str(), nullptr, 0);
  ASSERT_TRUE(tm_test::wait_for([] { return navig_connected() != 0; }, 20000));
  tm_test::loopback_socket peer(false);
  for (int i = 0; i < kBurst; ++i) {
    std::string d = "$BURST," + std::to_string(i) + ",";
    d.resize(186, '0');
    plat::net_sendto(peer.fd, d.data(), d.size(), {tm_test::loopback_addr(), port});
  }
  EXPECT_TRUE(tm_test::wait_for([] { return g_burst_reads.load() >= kBurst; }, 30000));
  EXPECT_EQ(g_burst_reads.load(), kBurst);
  EXPECT_EQ(g_burst_out_of_order.load(), 0);
  navig_stop();
  get_navig_session_hooks() = navig_session_hooks{};
}

bool have_socat() { return std::system("command -v socat >/dev/null 2>&1") == 0; }

std::string write_nmea_file(const std::string& dir, int seconds) {
  const std::string path = dir + "/x.nmea";
  std::ofstream out(path, std::ios::binary);
  for (int s = 0; s < seconds; ++s) out << receiver_second(3000 + s);
  return path;
}

TEST_F(NavigRun, UdpFromSocat) {
  if (!have_socat()) GTEST_SKIP() << "socat is not installed";
  const uint16_t port = tm_test::unused_loopback_port();
  ASSERT_NE(port, 0);
  const std::string file = write_nmea_file(tm_test::fresh_dir("navsocat"), 30);
  start_ui();
  const std::string name = "UDP" + std::to_string(port);
  navig_start(nullptr, name.c_str(), nullptr, 0);
  ASSERT_TRUE(tm_test::wait_for([] { return navig_connected() != 0; }, 20000));
  const std::string cmd = "socat -u -b 512 OPEN:" + file + " UDP4-SENDTO:127.0.0.1:" + std::to_string(port);
  EXPECT_TRUE(tm_test::wait_for(
      [&] {
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        return track_points() >= 1;
      },
      30000));
  navig_stop();
}

TEST_F(NavigRun, PtyFedBySocat) {
  if (!have_socat()) GTEST_SKIP() << "socat is not installed";
  const std::string dir = tm_test::fresh_dir("navsocatpty");
  const std::string file = write_nmea_file(dir, 30);
  const std::string link = dir + "/gps";
  const std::string cmd = "socat -u OPEN:" + file + ",ignoreeof PTY,link=" + link + ",rawer & echo $! > " +
                          dir + "/pid";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ASSERT_TRUE(tm_test::wait_for([&] { return access(link.c_str(), F_OK) == 0; }, 10000));
  start_ui();
  navig_start(nullptr, link.c_str(), "4800", 0);
  EXPECT_TRUE(tm_test::wait_for([] { return track_points() >= 2; }, 30000));
  navig_stop();
  std::ifstream pid_in(dir + "/pid");
  long pid = 0;
  pid_in >> pid;
  if (pid > 0) kill(pid_t(pid), SIGTERM);
}

TEST_F(NavigRun, GarminUsbWithoutItsModuleSaysSoAndEnds) {
  start_ui();
  navig_start(nullptr, "USB", nullptr, 0);
  ASSERT_TRUE(tm_test::wait_for([] { return !navig_reader_alive(); }, 20000));
  EXPECT_EQ(navig_current_port(), nullptr);
  std::lock_guard<std::mutex> lock(ui().m);
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_NE(ui().messages[0].find("Garmin USB"), std::string::npos);
}

}  // namespace
