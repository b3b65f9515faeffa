// The simulated Garmin receiver on the simulated USB backend, played against a raw host
// on the virtual clock: session start, identification over the interrupt pipe, transfers
// announced by data-available and read over bulk, the real-time stream, and the USB
// fault switches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sys/clock.h"
#include "platform/usb/usb.h"
#include "tests/gps/garmin_sim_models.h"
#include "tests/gps/pty_fixture.h"

namespace tm_test {
namespace {

std::string word(uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }

std::string packet(int type, int id, const std::string& data) {
  std::string s{char(type), 0, 0, 0};
  s += word(uint16_t(id)) + word(0);
  const uint32_t n = uint32_t(data.size());
  s += std::string{char(n & 0xFF), char(n >> 8 & 0xFF), char(n >> 16 & 0xFF), char(n >> 24)};
  return s + data;
}

struct usb_packet {
  int type = -1, id = -1;
  uint32_t size = 0;  // announced
  std::string data;   // what came behind the header
};

usb_packet parse(const std::string& b) {
  usb_packet p;
  if (b.size() < 12) return p;
  p.type = uint8_t(b[0]);
  p.id = uint8_t(b[4]) | uint8_t(b[5]) << 8;
  p.size = uint32_t(uint8_t(b[8])) | uint32_t(uint8_t(b[9])) << 8 | uint32_t(uint8_t(b[10])) << 16 |
           uint32_t(uint8_t(b[11])) << 24;
  p.data = b.substr(12);
  return p;
}

class usb_host {
 public:
  explicit usb_host(int index) {
    const std::string path = "sim:" + std::to_string(index);
    dev_ = plat::usb_open_path(path.c_str());
  }
  ~usb_host() { plat::usb_close(dev_); }
  bool ok() const { return dev_ != nullptr; }

  bool send(int type, int id, const std::string& data) {
    const std::string b = packet(type, id, data);
    return plat::usb_bulk_out(dev_, b.data(), b.size(), 1000) == long(b.size());
  }
  bool command(int code) { return send(20, 10, word(uint16_t(code))); }

  // One interrupt message: chunks until a short or zero-length one. `chunks` gets the
  // sizes; empty when nothing came within timeout_ms.
  std::string message(std::vector<long>* chunks = nullptr, int64_t timeout_ms = 500, int max_chunks = 100) {
    std::string m;
    for (int i = 0; i < max_chunks; ++i) {
      char buf[64];
      const long n = plat::usb_interrupt_in(dev_, buf, sizeof buf, timeout_ms);
      if (n < 0) break;
      if (chunks) chunks->push_back(n);
      m.append(buf, size_t(n));
      if (n < 64) break;
    }
    return m;
  }
  // One bulk transfer; empty when nothing came.
  std::string bulk(int64_t timeout_ms = 500) {
    std::string b(8192, '\0');
    const long n = plat::usb_bulk_in(dev_, b.data(), b.size(), timeout_ms);
    b.resize(n > 0 ? size_t(n) : 0);
    return b;
  }

 private:
  plat::usb_device* dev_ = nullptr;
};

class GarminSimUsb : public ::testing::Test {
 protected:
  void SetUp() override { plat::usb_sim_enable(true); }
  void TearDown() override { plat::usb_sim_enable(false); }

  // Runs the host's part on a worker under the virtual clock.
  template <class Fn>
  int64_t play(garmin_sim_usb& sim, Fn host_part) {
    const int index = sim.add();
    bool opened = false;
    virtual_worker w([&] {
      usb_host h(index);
      opened = h.ok();
      if (opened) host_part(h);
    });
    const int64_t took = w.run();
    EXPECT_TRUE(opened);
    return took;
  }
};

std::string product_data(const garmin_model& m) {
  return word(m.product_id) + word(uint16_t(m.version)) + m.description + std::string(1, '\0');
}

TEST_F(GarminSimUsb, SessionIdentificationAndTransfer) {
  garmin_model m = sample_model(110, 202, 210, 304, 312);
  m.offers_pvt = true;
  m.description = std::string(47, 'D');  // product data packet of exactly 64 bytes
  m.ext_product_data = {std::string("EXT1\0", 5), std::string("EXT2\0", 5)};
  garmin_sim_usb sim(m);
  play(sim, [&](usb_host& h) {
    ASSERT_TRUE(h.send(0, 5, ""));
    usb_packet p = parse(h.message());
    EXPECT_EQ(p.type, 0);
    EXPECT_EQ(p.id, 6);
    EXPECT_EQ(p.size, 4u);
    EXPECT_EQ(p.data, std::string("\x14\x6a\x0a\xce", 4));  // unit id 3456789012

    ASSERT_TRUE(h.send(20, 254, ""));
    std::vector<long> chunks;
    p = parse(h.message(&chunks));
    EXPECT_EQ(p.type, 20);
    EXPECT_EQ(p.id, 255);
    EXPECT_EQ(p.data, product_data(m));
    EXPECT_EQ(chunks, (std::vector<long>{64, 0}));  // a full last chunk: zero-length packet
    for (const std::string& e : m.ext_product_data) {
      p = parse(h.message());
      EXPECT_EQ(p.id, 248);
      EXPECT_EQ(p.data, e);
    }
    p = parse(h.message());
    EXPECT_EQ(p.id, 253);
    std::string want;
    for (const garmin_sim_protocol& t : garmin_model_protocols(m)) want += std::string(1, t.tag) + word(t.number);
    EXPECT_EQ(p.data, want);
    EXPECT_NE(want.find(std::string("A") + word(800)), std::string::npos);

    ASSERT_TRUE(h.command(4));  // Transfer_Rte: A201 with links between points
    p = parse(h.message());
    EXPECT_EQ(p.type, 0);
    EXPECT_EQ(p.id, 2);
    std::vector<int> ids;
    for (;;) {
      const std::string b = h.bulk();
      if (b.empty()) break;
      p = parse(b);
      ids.push_back(p.id);
      EXPECT_EQ(p.size, p.data.size());
      if (p.id == 12) {
        EXPECT_EQ(p.data, word(4));
        break;
      }
    }
    EXPECT_EQ(ids, (std::vector<int>{27, 29, 30, 98, 30, 98, 30, 29, 30, 98, 30, 12}));
    EXPECT_TRUE(h.bulk().empty());
  });
  EXPECT_TRUE(sim.trace().session_started);
  EXPECT_EQ(sim.trace().commands, (std::vector<int>{4}));
}

// The real-time stream: a PVT record every interval, with the satellites and, once
// asked for, the receiver measurements, each an interrupt message of 64-byte chunks.
TEST_F(GarminSimUsb, RealTimeStream) {
  garmin_model m = sample_model(110, 202, 210, 304, 312);
  m.offers_pvt = true;
  m.pvt.resize(3);
  for (int i = 0; i < 3; ++i) m.pvt[size_t(i)].tow = 1000 + i;
  m.sat.resize(1);
  m.sat[0].sv[0].svid = 35;
  m.rcv.resize(1);
  m.rcv[0].week = 2100;
  m.pvt_interval_ms = 1000;
  garmin_sim_usb sim(m);
  play(sim, [&](usb_host& h) {
    // Measurements asked for first: the stream's first record goes out as soon as 49
    // is read, so a 110 written after it may or may not come in time for it.
    ASSERT_TRUE(h.command(110));
    ASSERT_TRUE(h.command(49));
    std::vector<std::pair<int, std::vector<long>>> got;
    std::vector<int64_t> pvt_times;
    for (int i = 0; i < 9; ++i) {
      std::vector<long> chunks;
      const usb_packet p = parse(h.message(&chunks, 1500));
      if (p.id == 51) pvt_times.push_back(plat::now_ms());
      got.push_back({p.id, chunks});
      if (p.id == 51) {
        EXPECT_EQ(p.data, garmin_sim_pack_pvt(m.pvt[pvt_times.size() - 1]));
      }
    }
    ASSERT_EQ(got.size(), 9u);
    for (size_t i = 0; i < got.size(); i += 3) {
      EXPECT_EQ(got[i].first, 51);
      EXPECT_EQ(got[i].second, (std::vector<long>{64, 12}));
      EXPECT_EQ(got[i + 1].first, 114);
      EXPECT_EQ(got[i + 1].second, (std::vector<long>{64, 32}));
      EXPECT_EQ(got[i + 2].first, 52);
      EXPECT_EQ(got[i + 2].second, (std::vector<long>{64, 64, 64, 46}));
    }
    ASSERT_EQ(pvt_times.size(), 3u);
    EXPECT_EQ(pvt_times[1] - pvt_times[0], 1000);
    EXPECT_EQ(pvt_times[2] - pvt_times[1], 1000);
    ASSERT_TRUE(h.command(50));
    EXPECT_TRUE(h.message(nullptr, 3000).empty());
  });
  EXPECT_FALSE(sim.trace().pvt_on);
  EXPECT_TRUE(sim.trace().rcv_on);
}

TEST_F(GarminSimUsb, FaultSwitches) {
  struct Case {
    const char* what;
    void (*set)(garmin_sim_faults&);
    void (*check)(usb_host&, const garmin_model&);
  };
  // Receiver packets are numbered in the order sent: 0 the Records of the first
  // transfer, 1 its first waypoint.
  const Case cases[] = {
      {"silence from the first waypoint on",
       [](garmin_sim_faults& f) { f.silence = {1, 1}; },
       [](usb_host& h, const garmin_model&) {
         ASSERT_TRUE(h.command(7));
         EXPECT_EQ(parse(h.message()).id, 2);
         EXPECT_EQ(parse(h.bulk()).id, 27);
         EXPECT_TRUE(h.bulk(3000).empty());
         ASSERT_TRUE(h.send(20, 254, ""));
         EXPECT_TRUE(h.message(nullptr, 3000).empty());
       }},
      {"short record",
       [](garmin_sim_faults& f) {
         f.short_record = {1, 1};
         f.short_size = 5;
       },
       [](usb_host& h, const garmin_model&) {
         ASSERT_TRUE(h.command(7));
         h.message();
         h.bulk();
         const usb_packet p = parse(h.bulk());
         EXPECT_EQ(p.id, 35);
         EXPECT_EQ(p.size, 5u);
         EXPECT_EQ(p.data.size(), 5u);
       }},
      {"unterminated record",
       [](garmin_sim_faults& f) { f.unterminated = {1, 1}; },
       [](usb_host& h, const garmin_model& m) {
         ASSERT_TRUE(h.command(7));
         h.message();
         h.bulk();
         const usb_packet p = parse(h.bulk());
         const std::string full = garmin_sim_pack(m.wpt_type, m.waypoints[0]);
         EXPECT_EQ(p.data, full.substr(0, full.size() - 1));
         EXPECT_EQ(p.size, p.data.size());
       }},
      {"size beyond the data",
       [](garmin_sim_faults& f) {
         f.size_beyond = {0, 1};
         f.extra_size = 1000;
       },
       [](usb_host& h, const garmin_model& m) {
         ASSERT_TRUE(h.command(7));
         h.message();
         const usb_packet p = parse(h.bulk());
         EXPECT_EQ(p.id, 27);
         EXPECT_EQ(p.size, 1002u);
         EXPECT_EQ(p.data, word(uint16_t(m.waypoints.size())));
       }},
      {"identification over bulk",
       [](garmin_sim_faults& f) { f.usb_bulk_always = true; },
       [](usb_host& h, const garmin_model& m) {
         ASSERT_TRUE(h.send(20, 254, ""));
         usb_packet p = parse(h.message());
         EXPECT_EQ(p.type, 0);
         EXPECT_EQ(p.id, 2);
         p = parse(h.bulk());
         EXPECT_EQ(p.id, 255);
         EXPECT_EQ(p.data, product_data(m));
         EXPECT_EQ(parse(h.bulk()).id, 253);
         EXPECT_TRUE(h.message(nullptr, 1000).empty());
       }},
      {"stray packet before the first waypoint",
       [](garmin_sim_faults& f) { f.junk = {1, 1}; },
       [](usb_host& h, const garmin_model& m) {
         ASSERT_TRUE(h.command(7));
         h.message();
         h.bulk();
         usb_packet p = parse(h.bulk());
         EXPECT_EQ(p.type, 20);
         EXPECT_EQ(p.id, kGarminSimStrayId);
         EXPECT_EQ(p.data, garmin_sim_faults{}.junk_bytes);
         p = parse(h.bulk());
         EXPECT_EQ(p.id, 35);
         EXPECT_EQ(p.data, garmin_sim_pack(m.wpt_type, m.waypoints[0]));
       }},
      {"stray packets before Session_Started",
       [](garmin_sim_faults& f) { f.usb_stray_before_session = 3; },
       [](usb_host& h, const garmin_model&) {
         ASSERT_TRUE(h.send(0, 5, ""));
         for (int i = 0; i < 3; ++i) {
           const usb_packet p = parse(h.message());
           EXPECT_EQ(p.type, 20);
           EXPECT_EQ(p.id, kGarminSimStrayId);
         }
         const usb_packet p = parse(h.message());
         EXPECT_EQ(p.type, 0);
         EXPECT_EQ(p.id, 6);
       }},
      {"endless interrupt data",
       [](garmin_sim_faults& f) { f.endless_interrupt = true; },
       [](usb_host& h, const garmin_model&) {
         ASSERT_TRUE(h.send(0, 5, ""));
         EXPECT_EQ(parse(h.message()).id, 6);
         std::vector<long> chunks;
         h.message(&chunks, 500, 3000);
         ASSERT_EQ(chunks.size(), 3000u);
         for (long n : chunks) ASSERT_EQ(n, 64);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    plat::usb_sim_enable(true);  // forgets the receivers of the previous case
    garmin_model m = sample_model(108, 201, 0, 301, 0);
    garmin_sim_faults f;
    c.set(f);
    garmin_sim_usb sim(m, f);
    play(sim, [&](usb_host& h) { c.check(h, m); });
  }
}

}  // namespace
}  // namespace tm_test
