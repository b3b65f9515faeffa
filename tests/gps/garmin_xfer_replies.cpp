// The Garmin transfers against receivers that answer wrongly, played packet by packet by
// a small script on the simulated USB backend (the virtual clock): a route waypoint or a
// track point before any header, unexpected packet ids, a wrong or missing completion
// code, short and cut packets, silence. Each gives error 17 and leaves its file empty;
// the well-formed answers next to them give the expected counts and numbered parts.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "gps/garmin/dtypes.h"
#include "gps/garmin/product.h"
#include "gps/garmin/transfers.h"
#include "gps/port_io.h"
#include "platform/usb/usb.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::virtual_worker;

std::string word(int v) { return std::string{char(v & 0xFF), char((v >> 8) & 0xFF)}; }

std::string usb_packet(uint8_t type, uint16_t id, const std::string& data, int extra_size = 0) {
  std::string p(12, '\0');
  p[0] = char(type);
  p[4] = char(id & 0xFF);
  p[5] = char(id >> 8);
  const uint32_t n = uint32_t(data.size() + extra_size);
  for (int i = 0; i < 4; ++i) p[8 + i] = char((n >> (8 * i)) & 0xFF);
  return p + data;
}

// L001 packet ids and A010 command codes the replies use.
constexpr int kRecords = 27, kRteHdr = 29, kRteWpt = 30, kRteLink = 98, kTrkData = 34,
              kTrkHdr = 99, kWptData = 35, kXferCmplt = 12;
constexpr int kCmdRte = 4, kCmdTrk = 6, kCmdWpt = 7;

std::string pack(int dtype, const garmin_record& r) {
  uint8_t buf[256];
  const size_t n = garmin_pack(garmin_dtype_find(dtype), &r, buf, sizeof buf);
  return std::string(reinterpret_cast<char*>(buf), n);
}

std::string point(int dtype, double lat, double lon) {
  garmin_record r{};
  r.num[GN_LAT] = uint32_t(int32_t(lat * 2147483648.0 / 180.0));
  r.num[GN_LON] = uint32_t(int32_t(lon * 2147483648.0 / 180.0));
  r.num[GN_TIME] = 946598400u;
  return pack(dtype, r);
}
std::string invalid_point(int dtype) {
  garmin_record r{};
  r.num[GN_LAT] = r.num[GN_LON] = 0x7FFFFFFFu;
  return pack(dtype, r);
}
std::string named(int dtype, const char* name) {
  garmin_record r{};
  char text[32];
  std::snprintf(text, sizeof text, "%s", name);
  r.text[GT_IDENT] = text;
  r.text[GT_CMNT] = text;
  const std::string s = pack(dtype, r);
  return s;
}

std::string pkt(int id, const std::string& data) { return usb_packet(20, uint16_t(id), data); }

// A receiver that answers a Command_Data packet (id 10) with the packets listed for its
// command code: data available on the interrupt pipe, then the packets over bulk.
struct scripted_receiver {
  std::vector<std::pair<int, std::vector<std::string>>> replies;
  int add() {
    auto copy = replies;
    return plat::usb_sim_add(64, [copy](plat::usb_sim_link& link) {
      uint8_t buf[64];
      for (;;) {
        const long n = link.receive(buf, sizeof buf);
        if (n < 0) return;
        if (n < 14 || buf[0] != 20 || buf[4] != 10) continue;
        for (const auto& [code, packets] : copy) {
          if (code != buf[12]) continue;
          const std::string avail = usb_packet(0, 2, "");
          if (!link.send_interrupt(avail.data(), avail.size())) return;
          for (const std::string& p : packets)
            if (!link.send_bulk(p.data(), p.size())) return;
        }
      }
    });
  }
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool exists(const std::string& path) { return std::ifstream(path).good(); }

int line_count(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

class GarminReplies : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    garmin_init();
    plat::usb_sim_enable(true);
    dir_ = tm_test::fresh_dir("garmin_replies");
  }
  void TearDown() override {
    free_obj(&entry_);
    plat::usb_sim_enable(false);
    GpsPortFixture::TearDown();
  }
  // An entry as a USB receiver's protocol array gives it: L001, A010, the transfers.
  void make_entry(std::initializer_list<std::pair<char, int>> triples) {
    const garmin_product_data pd{900, 250, "Scripted receiver"};
    garmin_product_from_array(&pd, &entry_);
    for (const auto& [tag, n] : triples) garmin_apply_protocol(tag, n, entry_, 1);
  }
  // Runs one download slot against the receiver; returns the error it left.
  int download(scripted_receiver& rx, gps_download_item_fn fn, const char* ext, int32_t* count) {
    const int index = rx.add();
    char* path = nullptr;
    com_device* dev = nullptr;
    usb_find_device(index, &path, &dev);
    free_mem(&path);
    EXPECT_NE(dev, nullptr);
    if (!dev) return -1;
    int err = -1;
    {
      virtual_worker w([&] {
        fn(dev, entry_, count, base().c_str(), ext);
        err = get_gblerr();
      });
      EXPECT_GE(w.run(), 0);
    }
    com_close(&dev);
    set_gblerr(0);
    return err;
  }
  std::string base() const { return dir_ + "/dl"; }

  std::string dir_;
  garmin_product* entry_ = nullptr;
};

TEST_F(GarminReplies, WrongAnswersGiveSeventeenAndAnEmptyFile) {
  const std::string hdr310 = named(310, "TRK"), hdr201 = pack(201, garmin_record{});
  const std::string wpt = named(108, "WPT"), pt = point(301, 45, 6);
  struct Case {
    const char* what;
    int command;  // Transfer_Wpt, Transfer_Rte or Transfer_Trk
    std::vector<std::string> packets;
  };
  const Case cases[] = {
      {"track point before any header", kCmdTrk,
       {pkt(kRecords, word(2)), pkt(kTrkData, pt), pkt(kTrkHdr, hdr310), pkt(kXferCmplt, word(kCmdTrk))}},
      {"route waypoint before any header", kCmdRte,
       {pkt(kRecords, word(2)), pkt(kRteWpt, wpt), pkt(kRteHdr, hdr201), pkt(kXferCmplt, word(kCmdRte))}},
      {"waypoint in a Trk_Data packet", kCmdWpt,
       {pkt(kRecords, word(1)), pkt(kTrkData, wpt), pkt(kXferCmplt, word(kCmdWpt))}},
      {"route link in an A200 transfer", kCmdRte,
       {pkt(kRecords, word(3)), pkt(kRteHdr, hdr201), pkt(kRteWpt, wpt), pkt(kRteLink, "")}},
      {"completion of another command", kCmdWpt,
       {pkt(kRecords, word(1)), pkt(kWptData, wpt), pkt(kXferCmplt, word(kCmdTrk))}},
      {"completion without its word", kCmdWpt,
       {pkt(kRecords, word(1)), pkt(kWptData, wpt), pkt(kXferCmplt, "")}},
      {"no Records packet first", kCmdWpt, {pkt(kWptData, wpt), pkt(kXferCmplt, word(kCmdWpt))}},
      {"Records without its count", kCmdWpt, {pkt(kRecords, "\x01")}},
      {"waypoint shorter than its type", kCmdWpt,
       {pkt(kRecords, word(1)), pkt(kWptData, wpt.substr(0, 10)), pkt(kXferCmplt, word(kCmdWpt))}},
      {"packet shorter than its header says", kCmdWpt,
       {pkt(kRecords, word(1)), usb_packet(20, kWptData, wpt, 40), pkt(kXferCmplt, word(kCmdWpt))}},
      {"packet cut inside its header", kCmdWpt, {pkt(kRecords, word(1)), std::string("\x14\0\0\0#", 5)}},
      {"silence after the records count", kCmdTrk, {pkt(kRecords, word(5)), pkt(kTrkHdr, hdr310)}},
      {"silence instead of the completion", kCmdWpt, {pkt(kRecords, word(1)), pkt(kWptData, wpt)}},
  };
  make_entry({{'L', 1}, {'A', 10}, {'A', 100}, {'D', 108}, {'A', 200}, {'D', 201}, {'A', 301},
              {'D', 310}, {'D', 301}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    scripted_receiver rx;
    rx.replies.push_back({c.command, c.packets});
    const bool tracks = c.command == kCmdTrk, routes = c.command == kCmdRte;
    gps_download_item_fn fn = tracks   ? garmin_write_tracklogs
                              : routes ? garmin_write_routes
                                       : garmin_write_waypoints;
    const char* ext = tracks ? "tmt" : routes ? "tmr" : "tmw";
    int32_t count = -1;
    EXPECT_EQ(download(rx, fn, ext, &count), ERR_PROTOCOL);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(slurp(base() + "." + ext), "");
    EXPECT_FALSE(exists(base() + "_t00.tmt"));
  }
}

TEST_F(GarminReplies, ItemsTheEntryDoesNotOfferGiveSeventeen) {
  make_entry({{'L', 1}, {'A', 10}, {'D', 108}, {'D', 301}, {'D', 201}});
  for (auto fn : {garmin_write_waypoints, garmin_write_tracklogs, garmin_write_routes}) {
    scripted_receiver rx;
    int32_t count = -1;
    EXPECT_EQ(download(rx, fn, "tmx", &count), ERR_PROTOCOL);
    EXPECT_EQ(count, 0);
  }
}

// Tracks of 5, 0 and 12 points: parts _t00 and _t01 hold the two tracks with points, and
// the joined file all 17; a part left by an earlier download does not join them.
TEST_F(GarminReplies, TracksWithoutPointsLeaveNoGapInTheNumberedParts) {
  make_entry({{'L', 1}, {'A', 10}, {'A', 301}, {'D', 310}, {'D', 303}});
  std::vector<std::string> packets;
  auto track = [&](const char* name, int points, int invalid) {
    packets.push_back(pkt(kTrkHdr, named(310, name)));
    for (int i = 0; i < points; ++i) packets.push_back(pkt(kTrkData, point(303, 45 + i * 1e-3, 6)));
    for (int i = 0; i < invalid; ++i) packets.push_back(pkt(kTrkData, invalid_point(303)));
  };
  track("FIVE", 5, 0);
  track("NONE", 0, 0);
  track("INVALID", 0, 4);  // a D303 track whose points are all invalid writes no file
  track("TWELVE", 12, 1);
  packets.insert(packets.begin(), pkt(kRecords, word(int(packets.size()))));
  packets.push_back(pkt(kXferCmplt, word(kCmdTrk)));
  {
    std::ofstream stale(base() + "_t02.tmt");
    stale << "TMT-V2_Tarmelo_Tracklog\nGarmin old 1 D310\n1;\n1;\n\"OLD\";0;0;0;1;\n1.0;2.0;\"x\";1;0;\n";
  }
  scripted_receiver rx;
  rx.replies.push_back({kCmdTrk, packets});
  int32_t count = -1;
  ASSERT_EQ(download(rx, garmin_write_tracklogs, "tmt", &count), 0);
  EXPECT_EQ(count, 17);
  const std::string part0 = slurp(base() + "_t00.tmt"), part1 = slurp(base() + "_t01.tmt");
  EXPECT_NE(part0.find("\"FIVE\""), std::string::npos);
  EXPECT_NE(part1.find("\"TWELVE\""), std::string::npos);
  EXPECT_EQ(part0.rfind("TMT-V2_Tarmelo_Tracklog\nGarmin Scripted receiver 900 D310\n", 0), 0u);
  EXPECT_FALSE(exists(base() + "_t02.tmt"));
  // Four header lines, then per track its header line and its points.
  const std::string joined = slurp(base() + ".tmt");
  EXPECT_EQ(line_count(joined), 4 + 1 + 5 + 1 + 12);
  EXPECT_NE(joined.find(";5;\n"), std::string::npos);   // the header lines carry the
  EXPECT_NE(joined.find(";12;\n"), std::string::npos);  // valid point counts
  EXPECT_EQ(joined.find("OLD"), std::string::npos);
  EXPECT_EQ(joined.find("INVALID"), std::string::npos);
}

}  // namespace
