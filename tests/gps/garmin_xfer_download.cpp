// Whole Garmin downloads through the family's driver-table column, against the simulated
// receiver over a pseudo-terminal (serial) and over the simulated USB backend, on the
// virtual clock: identify or probe, then gps_download of waypoints, tracks and routes.
// The receiver holds the records of the D-type fixtures worked out by
// scripts/fixtures/make_dtype_fixtures.py (tests/fixtures/dtypes/cases.txt); the V2
// files must hold exactly the fixture's record lines under the file's header lines.
// Also: the progress texts, a receiver that is not the one identified, and the loaded
// files against what the simulator's GPX comparison expects of the model.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "formats/garmin_symbols.h"
#include "gps/garmin/dtypes.h"
#include "gps/garmin/link.h"
#include "gps/garmin/product.h"
#include "gps/garmin/transfers.h"
#include "gps/gpsport.h"
#include "gps/port_io.h"
#include "platform/usb/usb.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/garmin_sim.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::garmin_model;
using tm_test::garmin_sim_record;
using tm_test::virtual_worker;

// ---- The D-type fixtures ---------------------------------------------------------------

struct dcase {
  std::string name;
  int dtype = 0;
  int count = 0;                  // header count of the expected line; -1 for records
  std::vector<std::string> recs;  // packed records
  std::string out;                // expected record lines
};

std::string unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
  return out;
}

std::string with_icons(std::string text) {
  for (size_t at; (at = text.find("{icon:")) != std::string::npos;) {
    const size_t end = text.find('}', at);
    const int smbl = std::atoi(text.c_str() + at + 6);
    text.replace(at, end - at + 1, std::to_string(garmin_symbol_to_icon(smbl)));
  }
  return text;
}

struct fixtures {
  std::vector<dcase> cases;
  std::map<int, std::string> flags;

  static const fixtures& get() {
    static const fixtures f = load();
    return f;
  }
  static fixtures load() {
    fixtures f;
    std::ifstream in(std::string(TM_FIXTURE_DIR) + "/dtypes/cases.txt");
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::string key, a, b, c;
      words >> key >> a;
      if (key == "case" && (words >> b >> c)) f.cases.push_back({a, std::stoi(b), std::stoi(c), {}, {}});
      if (key == "rec") f.cases.back().recs.push_back(unhex(a));
      if (key == "out") f.cases.back().out = with_icons(unhex(a));
      if (key == "flags" && (words >> b)) f.flags[std::stoi(a)] = unhex(b);
    }
    return f;
  }
  // Record cases of a type (every record case, in file order).
  std::vector<const dcase*> records(int dtype) const {
    std::vector<const dcase*> out;
    for (const dcase& c : cases)
      if (c.dtype == dtype && c.count == -1 && !c.recs.empty()) out.push_back(&c);
    return out;
  }
  // Header cases written with count 7.
  std::vector<const dcase*> headers(int dtype) const {
    std::vector<const dcase*> out;
    for (const dcase& c : cases)
      if (c.dtype == dtype && c.count == 7 && c.recs.size() == 1) out.push_back(&c);
    return out;
  }
};

// The header line of a header case with another count (the count is its last field).
std::string header_line(const dcase& h, int count) {
  std::string line = h.out;
  const std::string seven = "7;\n";
  if (line.size() < seven.size() || line.compare(line.size() - 3, 3, seven) != 0) return "<bad fixture>";
  return line.substr(0, line.size() - 3) + std::to_string(count) + ";\n";
}

garmin_sim_record sim_record(int dtype, const std::string& packed) {
  garmin_record r{};
  garmin_unpack(garmin_dtype_find(dtype), &r, reinterpret_cast<const uint8_t*>(packed.data()),
                packed.size());
  garmin_sim_record s;
  std::memcpy(s.num, r.num, sizeof s.num);
  std::memcpy(s.flt, r.flt, sizeof s.flt);
  // The simulator hands its texts to garmin_pack, which takes UTF-8 as unpack gives it.
  for (int i = 0; i < GT_COUNT; ++i) s.text[i] = r.text[i] ? r.text[i] : "";
  garmin_record_clear(&r);
  return s;
}

bool invalid_point(int dtype, const garmin_sim_record& r) {
  return (dtype == 303 || dtype == 304) && r.num[GN_LAT] == 0x7FFFFFFFu &&
         r.num[GN_LON] == 0x7FFFFFFFu;
}

// ---- Receivers and the files expected of them ------------------------------------------

struct config {
  const char* name;
  int link, command, wpt, rte_hdr, rte_link, trk, trk_hdr;
  bool table = false;  // no protocol array: the product table serves it (serial only)
  bool empty = false;  // the receiver holds nothing
  uint16_t product_id = 411;
  int16_t version = 250;
};

struct expectation {
  garmin_model model;
  std::string tmw, tmt, tmr;
  int32_t count = 0;
};

expectation expect(const config& c) {
  const fixtures& fx = fixtures::get();
  expectation e;
  garmin_model& m = e.model;
  m.product_id = c.product_id;
  m.version = c.version;
  m.description = std::string("Simulated ") + c.name;
  m.send_protocol_array = !c.table;
  m.link = c.link;
  m.command = c.command;
  m.wpt_type = c.wpt;
  m.rte_hdr_type = c.rte_hdr;
  m.rte_link_type = c.rte_link;
  m.trk_type = c.trk;
  m.trk_hdr_type = c.trk_hdr;
  const std::string garmin = "Garmin " + m.description + " " + std::to_string(c.product_id);
  if (c.empty) return e;

  // Waypoints: every record case of the waypoint type.
  for (const dcase* w : fx.records(c.wpt)) {
    for (const std::string& r : w->recs) m.waypoints.push_back(sim_record(c.wpt, r));
    e.tmw += w->out;
    e.count += int32_t(w->recs.size());
  }
  if (!m.waypoints.empty())
    e.tmw = "TMW-V2_Tarmelo_Waypoint\n" + garmin + "\n" + fx.flags.at(c.wpt) + e.tmw;

  // Routes: one per waypoint case, under the header cases in turn.
  if (c.rte_hdr) {
    const auto headers = fx.headers(c.rte_hdr);
    const auto cases = fx.records(c.wpt);
    for (size_t k = 0; k < cases.size(); ++k) {
      tm_test::garmin_sim_route route;
      const dcase& h = *headers[k % headers.size()];
      route.header = sim_record(c.rte_hdr, h.recs[0]);
      for (const std::string& r : cases[k]->recs) route.points.push_back(sim_record(c.wpt, r));
      e.tmr += header_line(h, int(route.points.size())) + cases[k]->out;
      e.count += int32_t(route.points.size());
      m.routes.push_back(route);
    }
    if (!m.routes.empty())
      e.tmr = "TMR-V2_Tarmelo_Route\n" + garmin + fx.flags.at(c.rte_hdr) + fx.flags.at(c.wpt) + e.tmr;
  }

  // Tracks: one per track point case, under the header cases in turn; without a header
  // type every point in one run.
  if (c.trk) {
    const auto cases = fx.records(c.trk);
    const auto headers = c.trk_hdr ? fx.headers(c.trk_hdr) : std::vector<const dcase*>{};
    std::string body;
    int32_t valid_all = 0;
    for (size_t k = 0; k < cases.size(); ++k) {
      tm_test::garmin_sim_track track;
      for (const std::string& r : cases[k]->recs) track.points.push_back(sim_record(c.trk, r));
      int32_t valid = 0;
      for (const garmin_sim_record& p : track.points) valid += invalid_point(c.trk, p) ? 0 : 1;
      if (c.trk_hdr) {
        const dcase& h = *headers[k % headers.size()];
        track.header = sim_record(c.trk_hdr, h.recs[0]);
        if (valid > 0) body += header_line(h, valid) + cases[k]->out;
      } else {
        body += cases[k]->out;
      }
      valid_all += valid;
      m.tracks.push_back(track);
    }
    e.count += valid_all;
    if (!c.trk_hdr)
      e.tmt = "TMT-V2_Tarmelo_Tracklog\n" + garmin + " A300\n0;0;0;0;0;0;0;1;\n" + fx.flags.at(c.trk) +
              std::to_string(valid_all) + ";\n" + body;
    else if (valid_all > 0)
      e.tmt = "TMT-V2_Tarmelo_Tracklog\n" + garmin + fx.flags.at(c.trk_hdr) + fx.flags.at(c.trk) + body;
  }
  return e;
}

// Every D-type of waypoints, route headers, track points and track headers, with and
// without route links, over both links' tables, from the table and from protocol arrays.
const config kConfigs[] = {
    {"w100", 1, 10, 100, 200, 0, 300, 0},       {"w101", 1, 10, 101, 201, 210, 301, 310},
    {"w102", 1, 10, 102, 202, 0, 302, 311},     {"w103", 1, 10, 103, 200, 0, 303, 312},
    {"w104", 1, 10, 104, 201, 0, 304, 310},     {"w105", 1, 10, 105, 202, 0, 301, 0},
    {"w106", 1, 10, 106, 200, 210, 302, 310},   {"w107", 1, 10, 107, 201, 0, 303, 311},
    {"w108", 1, 10, 108, 202, 210, 304, 312},   {"w109", 1, 10, 109, 200, 0, 300, 310},
    {"w110", 1, 10, 110, 201, 0, 301, 311},     {"w150", 1, 10, 150, 202, 0, 302, 312},
    {"w151", 1, 10, 151, 200, 0, 303, 310},     {"w152", 1, 10, 152, 201, 210, 304, 311},
    {"w154", 1, 10, 154, 202, 0, 300, 312},     {"w155", 1, 10, 155, 201, 0, 301, 0},
    {"l002", 2, 11, 150, 201, 0, 0, 0},
    {"table", 1, 10, 102, 201, 0, 300, 0, true, false, 29, 400},
    {"empty", 1, 10, 108, 201, 210, 303, 310, false, true},
};

enum transport { kSerial, kUsb };

// ---- The fixture ------------------------------------------------------------------------

std::mutex g_progress_mutex;
std::vector<std::pair<std::string, double>> g_progress;

void record_progress(const char* text, double fraction) {
  std::lock_guard<std::mutex> lock(g_progress_mutex);
  g_progress.emplace_back(text, fraction);
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class GarminDownload : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    garmin_install();
    garmin_init();
    dir_ = tm_test::fresh_dir("garmin_download");
    {
      std::lock_guard<std::mutex> lock(g_progress_mutex);
      g_progress.clear();
    }
    garmin_set_progress_observer(record_progress);
  }
  void TearDown() override {
    garmin_set_progress_observer(nullptr);
    usb_.reset();
    pty_.reset();
    if (plat::usb_sim_enabled()) plat::usb_sim_enable(false);
    GpsPortFixture::TearDown();
  }

  // Identifies the receiver (serial) or probes it (USB): the port, or null.
  gpsport_t* find(transport t, const garmin_model& m, const tm_test::garmin_sim_faults& faults = {}) {
    gpsport_t* port = nullptr;
    if (t == kSerial) {
      pty_ = std::make_unique<tm_test::garmin_sim_pty>(m, faults);
      if (!pty_->ok()) return nullptr;
      obj_new_registered(CLS_GPSPORT, &port);
      port->kind = GPSPORT_SERIAL;
      int32_t found = 0;
      virtual_worker w([&] { found = garmin_identify(pty_->path().c_str(), port); });
      EXPECT_GE(pty_->drive(w), 0);
      EXPECT_EQ(found, 1);
      return found == 1 ? port : nullptr;
    }
    plat::usb_sim_enable(true);
    usb_ = std::make_unique<tm_test::garmin_sim_usb>(m, faults);
    const int index = usb_->add();
    int found = 0;
    {
      virtual_worker w([&] { found = garmin_usb_probe(index, &port); });
      EXPECT_GE(w.run(), 0);
    }
    EXPECT_EQ(found, 1);
    return found == 1 ? port : nullptr;
  }
  // gps_download of `flags` on the port: the error it left, the count in *count.
  int download(transport t, gpsport_t* port, int flags, int32_t* count) {
    int err = -1;
    virtual_worker w([&] {
      gps_download(port, base().c_str(), flags, count);
      err = get_gblerr();
      set_gblerr(0);
    });
    if (t == kSerial) {
      EXPECT_GE(pty_->drive(w), 0);
    } else {
      EXPECT_GE(w.run(), 0);
    }
    return err;
  }
  std::string base() const { return dir_ + "/garmin"; }

  std::string dir_;
  std::unique_ptr<tm_test::garmin_sim_pty> pty_;
  std::unique_ptr<tm_test::garmin_sim_usb> usb_;
};

class GarminDownloadFiles : public GarminDownload,
                            public ::testing::WithParamInterface<std::tuple<config, transport>> {};

TEST_P(GarminDownloadFiles, FilesHoldTheFixtureLines) {
  const auto& [c, t] = GetParam();
  if (c.table && t == kUsb) GTEST_SKIP() << "no product table over USB";
  const expectation e = expect(c);
  gpsport_t* port = find(t, e.model);
  ASSERT_NE(port, nullptr);
  const uint32_t wanted = GPS_WAYPOINTS | GPS_ROUTES | (c.trk ? uint32_t(GPS_TRACKS) : 0u);
  EXPECT_EQ(port->capabilities & (GPS_WAYPOINTS | GPS_TRACKS | GPS_ROUTES | GPS_SWITCH_OFF),
            wanted | GPS_SWITCH_OFF);
  int32_t count = -1;
  EXPECT_EQ(download(t, port, int(wanted), &count), 0);
  EXPECT_EQ(count, e.count);
  EXPECT_EQ(slurp(base() + ".tmw"), e.tmw);
  EXPECT_EQ(slurp(base() + ".tmr"), e.tmr);
  if (c.trk) {
    EXPECT_EQ(slurp(base() + ".tmt"), e.tmt);
  }
  EXPECT_EQ(port->connection, nullptr);  // closed after the transfer
}

INSTANTIATE_TEST_SUITE_P(
    Receivers, GarminDownloadFiles, ::testing::Combine(::testing::ValuesIn(kConfigs),
                                                       ::testing::Values(kSerial, kUsb)),
    [](const ::testing::TestParamInfo<std::tuple<config, transport>>& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) == kSerial ? "_serial" : "_usb");
    });

class GarminDownloadLinks : public GarminDownload,
                            public ::testing::WithParamInterface<transport> {};

// The texts and fractions of the progress window along a download.
TEST_P(GarminDownloadLinks, ProgressTexts) {
  garmin_model m;
  m.product_id = 500;
  m.description = "Progress receiver";
  m.wpt_type = 108;
  m.rte_hdr_type = 201;
  m.trk_type = 301;
  m.trk_hdr_type = 310;
  garmin_sim_record r;
  r.text[GT_IDENT] = "P";
  for (int i = 0; i < 3; ++i) m.waypoints.push_back(r);
  m.routes.resize(2);
  m.routes[0].points.assign(1, r);
  m.routes[1].points.assign(2, r);
  m.tracks.resize(2);
  m.tracks[0].points.assign(2, r);
  m.tracks[1].points.assign(1, r);
  gpsport_t* port = find(GetParam(), m);
  ASSERT_NE(port, nullptr);
  int32_t count = 0;
  ASSERT_EQ(download(GetParam(), port, GPS_WAYPOINTS | GPS_TRACKS | GPS_ROUTES, &count), 0);
  EXPECT_EQ(count, 3 + 3 + 3);
  const std::vector<std::pair<std::string, double>> expected = {
      {"Garmin - Waypoints", -1.0},    {"Waypoint 0 / 3", 0.0},       {"Waypoint 1 / 3", 1.0 / 3},
      {"Waypoint 2 / 3", 2.0 / 3},     {"Garmin - Tracklogs", -1.0},  {"Tracklog 1 : point 0", 1.0 / 5},
      {"Tracklog 1 : point 1", 2.0 / 5}, {"Tracklog 2 : point 0", 4.0 / 5}, {"Garmin - Routes", -1.0},
      {"Route 1 : waypoint 0", 1.0 / 5}, {"Route 2 : waypoint 0", 3.0 / 5}, {"Route 2 : waypoint 1", 4.0 / 5},
  };
  std::lock_guard<std::mutex> lock(g_progress_mutex);
  ASSERT_EQ(g_progress.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(g_progress[i].first, expected[i].first);
    EXPECT_NEAR(g_progress[i].second, expected[i].second, 1e-9) << expected[i].first;
  }
}

// The A300 texts, with the count of the whole log.
TEST_P(GarminDownloadLinks, ProgressTextsOfASingleLog) {
  garmin_model m;
  m.product_id = 501;
  m.description = "Single log receiver";
  m.trk_type = 300;
  m.tracks.resize(1);
  m.tracks[0].points.resize(4);
  gpsport_t* port = find(GetParam(), m);
  ASSERT_NE(port, nullptr);
  int32_t count = 0;
  ASSERT_EQ(download(GetParam(), port, GPS_TRACKS, &count), 0);
  EXPECT_EQ(count, 4);
  std::lock_guard<std::mutex> lock(g_progress_mutex);
  ASSERT_EQ(g_progress.size(), 5u);
  EXPECT_EQ(g_progress[0].first, "Garmin - Tracklogs");
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(g_progress[1 + i].first, "Tracklog : point " + std::to_string(i) + " / 4");
    EXPECT_DOUBLE_EQ(g_progress[1 + i].second, i / 4.0);
  }
}

// A receiver other than the one identified answers the reconnection: error 17, nothing
// written, the port closed.
TEST_P(GarminDownloadLinks, AnotherReceiverOnReconnectGivesSeventeen) {
  garmin_model m;
  m.product_id = 502;
  m.description = "First receiver";
  m.waypoints.resize(2);
  gpsport_t* port = find(GetParam(), m);
  ASSERT_NE(port, nullptr);
  str_set("Receiver identified before", &port->display_name);
  int32_t count = -1;
  EXPECT_EQ(download(GetParam(), port, GPS_WAYPOINTS, &count), ERR_PROTOCOL);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(port->connection, nullptr);
  EXPECT_EQ(port->driver, nullptr);
  EXPECT_EQ(slurp(base() + ".tmw"), "<missing>");
}

// Switching off after the items: the receiver gets Turn_Off_Pwr, the port is closed.
TEST_P(GarminDownloadLinks, SwitchOffAfterTheItems) {
  garmin_model m;
  m.product_id = 504;
  m.description = "To be switched off";
  m.waypoints.resize(1);
  gpsport_t* port = find(GetParam(), m);
  ASSERT_NE(port, nullptr);
  int32_t count = -1;
  EXPECT_EQ(download(GetParam(), port, GPS_WAYPOINTS | GPS_SWITCH_OFF, &count), 0);
  EXPECT_EQ(count, 1);
  const tm_test::garmin_sim_trace tr = GetParam() == kSerial ? pty_->trace() : usb_->trace();
  EXPECT_TRUE(tr.powered_off);
  ASSERT_FALSE(tr.commands.empty());
  EXPECT_EQ(tr.commands.back(), 8);  // Turn_Off_Pwr of A010, after Transfer_Wpt
  EXPECT_EQ(port->connection, nullptr);
}

// A receiver that falls silent in the middle of the waypoints: error 17, an empty file,
// the port closed.
TEST_P(GarminDownloadLinks, SilenceInTheMiddleOfATransferGivesSeventeen) {
  garmin_model m;
  m.product_id = 503;
  m.description = "Falling silent";
  garmin_sim_record r;
  r.text[GT_IDENT] = "W";
  m.waypoints.assign(5, r);
  gpsport_t* port = find(GetParam(), m);
  ASSERT_NE(port, nullptr);
  tm_test::garmin_sim_faults faults;
  // After the reconnection's packets and the Records packet: inside the waypoints.
  faults.silence.at = (GetParam() == kSerial ? pty_->trace() : usb_->trace()).packets_sent + 5;
  if (GetParam() == kSerial)
    pty_->set_faults(faults);
  else
    usb_->set_faults(faults);
  int32_t count = -1;
  EXPECT_EQ(download(GetParam(), port, GPS_WAYPOINTS, &count), ERR_PROTOCOL);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(slurp(base() + ".tmw"), "");
  EXPECT_EQ(port->connection, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Links, GarminDownloadLinks, ::testing::Values(kSerial, kUsb),
                         [](const ::testing::TestParamInfo<transport>& info) {
                           return std::string(info.param == kSerial ? "serial" : "usb");
                         });

// Framing faults of the serial line inside a transfer are repaired by the link: the
// files are the same as from a clean line.
TEST_F(GarminDownload, SerialLineFaultsInsideATransferLeaveTheFilesWhole) {
  struct Fault {
    const char* what;
    void (*set)(tm_test::garmin_sim_faults* f, int at);
    int host_naks, receiver_naks;  // NAKs the fault draws from each side
  };
  const Fault faults[] = {
      {"bad check byte", [](tm_test::garmin_sim_faults* f, int at) { f->bad_check.at = at; }, 1, 0},
      {"bad check byte twice", [](tm_test::garmin_sim_faults* f, int at) {
         f->bad_check.at = at;
         f->bad_check.times = 2;
       }, 2, 0},
      {"junk before a packet", [](tm_test::garmin_sim_faults* f, int at) { f->junk.at = at; }, 0, 0},
      {"stray 16 inside a packet", [](tm_test::garmin_sim_faults* f, int at) {
         f->stray_dle.at = at;
         f->dle_offset = 3;
       }, 1, 0},
      {"frame without its end", [](tm_test::garmin_sim_faults* f, int at) { f->unterminated_frame.at = at; }, 1, 0},
      {"host command refused once", [](tm_test::garmin_sim_faults* f, int) { f->nak.at = 4; }, 0, 1},
  };
  const config c{"faults", 1, 10, 108, 201, 210, 304, 312};
  const expectation e = expect(c);
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    gpsport_t* port = find(kSerial, e.model);
    ASSERT_NE(port, nullptr);
    tm_test::garmin_sim_faults f;
    fault.set(&f, pty_->trace().packets_sent + 4);
    pty_->set_faults(f);
    int32_t count = -1;
    EXPECT_EQ(download(kSerial, port, GPS_WAYPOINTS | GPS_TRACKS | GPS_ROUTES, &count), 0);
    EXPECT_EQ(count, e.count);
    EXPECT_EQ(slurp(base() + ".tmw"), e.tmw);
    EXPECT_EQ(slurp(base() + ".tmr"), e.tmr);
    EXPECT_EQ(slurp(base() + ".tmt"), e.tmt);
    const tm_test::garmin_sim_trace tr = pty_->trace();  // the fault did strike
    EXPECT_EQ(tr.naks_received, fault.host_naks);
    EXPECT_EQ(tr.naks_sent, fault.receiver_naks);
  }
}

}  // namespace
