// The simulated Garmin receiver on its pseudo-terminal, played against a raw host on
// the virtual clock: framing and stuffing, ACK/NAK and re-sending, transfers of the
// model's records, and every fault switch of the serial link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/serial/port_wait.h"
#include "platform/sys/clock.h"
#include "tests/gps/garmin_sim_models.h"
#include "tests/gps/pty_fixture.h"

namespace tm_test {
namespace {

constexpr uint8_t DLE = 16, ETX = 3;

std::string word(uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }

// One frame as the host received it.
struct frame {
  std::string raw;   // every byte read, junk included, up to and with DLE ETX
  bool framed = false;  // DLE id ... DLE ETX with proper stuffing
  int id = -1;
  int size = -1;
  std::string data;  // unstuffed data bytes
  bool check_ok = false;
};

// Decodes a frame from the first DLE of `raw`.
frame decode(const std::string& raw) {
  frame f;
  f.raw = raw;
  const size_t start = raw.find(char(DLE));
  if (start == std::string::npos || start + 1 >= raw.size()) return f;
  f.id = uint8_t(raw[start + 1]);
  std::string body;
  size_t i = start + 2;
  for (; i < raw.size(); ++i) {
    if (uint8_t(raw[i]) != DLE) {
      body.push_back(raw[i]);
      continue;
    }
    if (i + 1 >= raw.size()) return f;
    if (uint8_t(raw[i + 1]) == DLE) {
      body.push_back(char(DLE));
      ++i;
    } else if (uint8_t(raw[i + 1]) == ETX) {
      break;
    } else {
      return f;  // a lone DLE inside the frame
    }
  }
  if (i >= raw.size() || body.size() < 2) return f;
  f.framed = true;
  f.size = uint8_t(body[0]);
  f.data = body.substr(1, body.size() - 2);
  unsigned sum = unsigned(f.id);
  for (size_t k = 0; k + 1 < body.size(); ++k) sum += uint8_t(body[k]);
  f.check_ok = uint8_t(-sum) == uint8_t(body.back());
  return f;
}

// The host side of the line: the code under test's stand-in, run on the worker thread.
class raw_host {
 public:
  explicit raw_host(const std::string& path) { fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC); }
  ~raw_host() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  void write_raw(const std::string& b) {
    if (write(fd_, b.data(), b.size()) != ssize_t(b.size())) ADD_FAILURE() << "host write";
  }
  // A packet with stuffing and a check byte (bad_check: a wrong one).
  void send(int id, const std::string& data, bool bad_check = false) {
    std::string body;
    body.push_back(char(data.size()));
    body += data;
    unsigned sum = unsigned(id);
    for (char c : body) sum += uint8_t(c);
    body.push_back(char(uint8_t(-sum) ^ (bad_check ? 0x11 : 0)));
    std::string f{char(DLE), char(id)};
    for (char c : body) {
      f.push_back(c);
      if (uint8_t(c) == DLE) f.push_back(char(DLE));
    }
    f += std::string{char(DLE), char(ETX)};
    write_raw(f);
  }
  void ack(int id) { send(6, word(uint16_t(id))); }
  void nak(int id) { send(21, word(uint16_t(id))); }

  // Bytes up to and with the next DLE ETX that is no stuffed DLE, waiting at most
  // timeout_ms of platform time for each byte. Empty raw when nothing came.
  frame receive(int64_t timeout_ms = 500) {
    std::string raw;
    bool dle = false;
    for (;;) {
      const int64_t deadline = plat::port_deadline(timeout_ms);
      uint8_t b;
      if (!pending_.empty()) {
        b = uint8_t(pending_[0]);
        pending_.erase(0, 1);
      } else {
        if (plat::port_wait(fd_, POLLIN, deadline) <= 0) return decode(raw);
        char buf[256];
        const ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0) return decode(raw);
        pending_.assign(buf, size_t(n));
        continue;
      }
      raw.push_back(char(b));
      if (dle && b == ETX) return decode(raw);
      dle = b == DLE && !dle;
    }
  }

  // Nothing at all arrives within ms.
  bool silent_for(int64_t ms) { return receive(ms).raw.empty(); }

 private:
  int fd_ = -1;
  std::string pending_;
};

// Runs the host's part on a worker under the virtual clock while the simulator serves.
template <class Fn>
int64_t play(garmin_sim_pty& sim, Fn host_part) {
  bool opened = false;
  virtual_worker w([&] {
    raw_host h(sim.path());
    opened = h.ok();
    if (opened) host_part(h);
  });
  const int64_t took = sim.drive(w);
  EXPECT_TRUE(opened);
  return took;
}

garmin_model small_model() {
  garmin_model m = sample_model(108, 201, 0, 301, 310);
  m.product_id = 903;
  m.version = 310;
  return m;
}

// The product data the model must send.
std::string product_data(const garmin_model& m) {
  return word(m.product_id) + word(uint16_t(m.version)) + m.description + std::string(1, '\0');
}

// The host identifies the receiver, then downloads waypoints and tracks; the records
// unpack to the model and no time-out passes while replies are in flight.
TEST(GarminSimSerial, IdentificationAndTransfersOnTheVirtualClock) {
  const garmin_model m = small_model();
  garmin_sim_pty sim(m);
  ASSERT_TRUE(sim.ok());
  const int64_t took = play(sim, [&](raw_host& h) {
    h.send(254, "");
    frame f = h.receive();
    EXPECT_EQ(f.id, 6);
    EXPECT_EQ(f.data, word(254));
    f = h.receive();
    EXPECT_EQ(f.id, 255);
    EXPECT_TRUE(f.check_ok);
    EXPECT_EQ(f.data, product_data(m));
    h.ack(255);
    f = h.receive();
    ASSERT_EQ(f.id, 253);
    std::string want;
    for (const garmin_sim_protocol& p : garmin_model_protocols(m)) want += std::string(1, p.tag) + word(p.number);
    EXPECT_EQ(f.data, want);
    h.ack(253);

    h.send(10, word(7));  // Transfer_Wpt
    EXPECT_EQ(h.receive().id, 6);
    f = h.receive();
    EXPECT_EQ(f.id, 27);
    EXPECT_EQ(f.data, word(uint16_t(m.waypoints.size())));
    h.ack(27);
    for (const garmin_sim_record& w : m.waypoints) {
      f = h.receive();
      EXPECT_EQ(f.id, 35);
      EXPECT_TRUE(f.check_ok);
      EXPECT_EQ(f.data, garmin_sim_pack(108, w));
      garmin_record r{};
      ASSERT_EQ(garmin_unpack(garmin_dtype_find(108), &r, reinterpret_cast<const uint8_t*>(f.data.data()),
                              f.data.size()),
                0);
      EXPECT_STREQ(r.text[GT_IDENT], w.text[GT_IDENT].c_str());
      EXPECT_EQ(r.num[GN_LAT], w.num[GN_LAT]);
      garmin_record_clear(&r);
      h.ack(35);
    }
    f = h.receive();
    EXPECT_EQ(f.id, 12);
    EXPECT_EQ(f.data, word(7));
    h.ack(12);

    h.send(10, word(6));  // Transfer_Trk: A301, header then points per track
    EXPECT_EQ(h.receive().id, 6);
    f = h.receive();
    size_t n = 0;
    for (const auto& t : m.tracks) n += 1 + t.points.size();
    EXPECT_EQ(f.data, word(uint16_t(n)));
    h.ack(27);
    for (const auto& t : m.tracks) {
      f = h.receive();
      EXPECT_EQ(f.id, 99);
      EXPECT_EQ(f.data, garmin_sim_pack(310, t.header));
      h.ack(99);
      for (const auto& p : t.points) {
        f = h.receive();
        EXPECT_EQ(f.id, 34);
        EXPECT_EQ(f.data, garmin_sim_pack(301, p));
        h.ack(34);
      }
    }
    f = h.receive();
    EXPECT_EQ(f.id, 12);
    EXPECT_EQ(f.data, word(6));
    h.ack(12);
    EXPECT_TRUE(h.silent_for(3000));
  });
  // Only the closing silence of 3 s passed: no wait ran out before its reply.
  EXPECT_GE(took, 3000);
  EXPECT_LT(took, 3000 + 500);
  const garmin_sim_trace t = sim.trace();
  EXPECT_EQ(t.resends, 0);
  EXPECT_EQ(t.commands, (std::vector<int>{7, 6}));
}

// The clock never overtakes a reply: a host that gives each reply only 1 ms of virtual
// time gets every one, and no virtual time passes at all.
TEST(GarminSimSerial, RepliesBeatTheShortestWait) {
  const garmin_model m = small_model();
  garmin_sim_pty sim(m);
  int answered = 0;
  const int64_t took = play(sim, [&](raw_host& h) {
    for (int i = 0; i < 40; ++i) {
      h.send(254, "");
      if (h.receive(1).id != 6) break;
      const frame f = h.receive(1);
      if (f.id != 255 || f.data != product_data(m)) break;
      h.ack(255);
      if (h.receive(1).id != 253) break;
      h.ack(253);
      ++answered;
    }
  });
  EXPECT_EQ(answered, 40);
  EXPECT_EQ(took, 0);
  EXPECT_EQ(sim.trace().resends, 0);
}

// L002 / A011 receivers use their own ids and codes: Command_Data 11, Transfer_Wpt 21,
// Records 35, Wpt_Data 43, Transfer_Rte 8 with headers 37 and route points 39.
TEST(GarminSimSerial, SecondLinkProtocolUsesItsOwnIds) {
  garmin_model m = sample_model(150, 201, 0, 0, 0);
  m.link = 2;
  m.command = 11;
  m.send_protocol_array = false;
  garmin_sim_pty sim(m);
  play(sim, [&](raw_host& h) {
    h.send(11, word(21));
    EXPECT_EQ(h.receive().id, 6);
    frame f = h.receive();
    EXPECT_EQ(f.id, 35);
    h.ack(35);
    for (size_t i = 0; i < m.waypoints.size(); ++i) {
      EXPECT_EQ(h.receive().id, 43);
      h.ack(43);
    }
    f = h.receive();
    EXPECT_EQ(f.id, 12);
    EXPECT_EQ(f.data, word(21));
    h.ack(12);
    h.send(11, word(8));
    EXPECT_EQ(h.receive().id, 6);
    EXPECT_EQ(h.receive().id, 35);
    h.ack(35);
    std::vector<int> ids;
    for (;;) {
      f = h.receive();
      h.ack(f.id);
      if (f.id == 12 || f.id < 0) break;
      ids.push_back(f.id);
    }
    EXPECT_EQ(ids, (std::vector<int>{37, 39, 39, 39, 37, 39, 39}));
  });
}

// A byte 16 in the size, the data or the check byte goes out doubled and decodes back.
TEST(GarminSimSerial, SixteenIsDoubledInSizeDataAndCheck) {
  garmin_model m = small_model();
  m.product_id = 16;  // data
  m.version = 0x1010;
  // 4 + 11 + 1 = 16 bytes: the size byte; the two 0xB4 bring the check byte to 16.
  m.description = std::string(9, 'A') + "\xB4\xB4";
  m.send_protocol_array = false;
  garmin_sim_pty sim(m);
  play(sim, [&](raw_host& h) {
    h.send(254, "");
    EXPECT_EQ(h.receive().id, 6);
    const frame f = h.receive();
    ASSERT_TRUE(f.framed) << f.raw.size();
    EXPECT_EQ(f.size, 16);
    EXPECT_TRUE(f.check_ok);
    EXPECT_EQ(f.data, product_data(m));
    // Size, three data bytes and the check byte are 16: each doubled.
    EXPECT_EQ(uint8_t(f.raw[f.raw.size() - 3]), DLE);
    EXPECT_EQ(f.raw.size(), 2u + 18u + 5u + 2u);
    h.ack(255);
  });
}

// The receiver's answers to what the host does: a bad frame of the host gets NAK, a
// host NAK gets the packet again, an unanswered packet is sent again after the wait
// and given up after the last sending.
TEST(GarminSimSerial, AcknowledgementAndResending) {
  garmin_model m = small_model();
  m.send_protocol_array = false;
  garmin_sim_pty sim(m);
  play(sim, [&](raw_host& h) {
    h.send(254, "", true);  // bad check byte
    frame f = h.receive();
    EXPECT_EQ(f.id, 21);
    EXPECT_EQ(f.data, word(254));
    h.write_raw(std::string{char(DLE), char(ETX)});  // DLE ETX without an id: dropped
    h.send(254, "");
    EXPECT_EQ(h.receive().id, 6);
    f = h.receive();
    EXPECT_EQ(f.id, 255);
    h.nak(255);
    EXPECT_EQ(h.receive().data, f.data);  // again at once
    // No answer: sent again every kGarminSimAckWaitMs, kGarminSimMaxSends times in all.
    int64_t last = plat::now_ms();
    int more = 0;
    while (h.receive(kGarminSimAckWaitMs + 100).id == 255) {
      ++more;
      EXPECT_EQ(plat::now_ms() - last, kGarminSimAckWaitMs);
      last = plat::now_ms();
    }
    EXPECT_EQ(more, kGarminSimMaxSends - 2);
  });
  const garmin_sim_trace t = sim.trace();
  EXPECT_EQ(t.bad_host_frames, 2);
  EXPECT_EQ(t.naks_sent, 1);
  EXPECT_EQ(t.naks_received, 1);
  EXPECT_EQ(t.resends, kGarminSimMaxSends - 1);
}

// Every fault switch of the serial link, seen from the host. Receiver packets are
// numbered from 0 in the order sent (0: the product data, or the Records of the
// waypoint transfer where the host asks for that first; 1: the first waypoint); host
// packets likewise.
TEST(GarminSimSerial, FaultSwitches) {
  struct Case {
    const char* what;
    void (*set)(garmin_sim_faults&);
    void (*check)(raw_host&, const garmin_model&);
  };
  const Case cases[] = {
      {"NAK twice",
       [](garmin_sim_faults& f) { f.nak = {0, 2}; },
       [](raw_host& h, const garmin_model&) {
         for (int i = 0; i < 2; ++i) {
           h.send(254, "");
           EXPECT_EQ(h.receive().id, 21);
         }
         h.send(254, "");
         EXPECT_EQ(h.receive().id, 6);
         EXPECT_EQ(h.receive().id, 255);
       }},
      {"NAK for ever",
       [](garmin_sim_faults& f) { f.nak = {0, -1}; },
       [](raw_host& h, const garmin_model&) {
         for (int i = 0; i < 15; ++i) {
           h.send(254, "");
           EXPECT_EQ(h.receive().id, 21);
         }
         EXPECT_TRUE(h.silent_for(2000));
       }},
      {"no ACK once",
       [](garmin_sim_faults& f) { f.no_ack = {0, 1}; },
       [](raw_host& h, const garmin_model&) {
         h.send(254, "");
         EXPECT_TRUE(h.silent_for(2000));
         h.send(254, "");
         EXPECT_EQ(h.receive().id, 6);
       }},
      {"bad check byte, good again after NAK",
       [](garmin_sim_faults& f) { f.bad_check = {0, 1}; },
       [](raw_host& h, const garmin_model& m) {
         h.send(254, "");
         h.receive();
         frame f = h.receive();
         EXPECT_TRUE(f.framed);
         EXPECT_FALSE(f.check_ok);
         h.nak(255);
         f = h.receive();
         EXPECT_TRUE(f.check_ok);
         EXPECT_EQ(f.data, product_data(m));
       }},
      {"lone 16 in the data",
       [](garmin_sim_faults& f) {
         f.stray_dle = {0, 1};
         f.dle_offset = 3;
       },
       [](raw_host& h, const garmin_model&) {
         h.send(254, "");
         h.receive();
         const frame f = h.receive();
         EXPECT_FALSE(f.framed);
         EXPECT_EQ(uint8_t(f.raw[2 + 3]), DLE);
         EXPECT_NE(uint8_t(f.raw[2 + 4]), DLE);
       }},
      {"junk before the packet",
       [](garmin_sim_faults& f) { f.junk = {0, 1}; },
       [](raw_host& h, const garmin_model& m) {
         h.send(254, "");
         h.receive();
         const frame f = h.receive();
         const std::string junk = garmin_sim_faults{}.junk_bytes;
         EXPECT_EQ(f.raw.substr(0, junk.size()), junk);
         EXPECT_EQ(f.data, product_data(m));
       }},
      {"silence from the product data on",
       [](garmin_sim_faults& f) { f.silence = {0, 1}; },
       [](raw_host& h, const garmin_model&) {
         h.send(254, "");
         EXPECT_EQ(h.receive().id, 6);
         EXPECT_TRUE(h.silent_for(5000));
         h.send(254, "");
         EXPECT_TRUE(h.silent_for(2000));
       }},
      {"short record",
       [](garmin_sim_faults& f) { f.short_record = {1, 1}; },
       [](raw_host& h, const garmin_model&) {
         h.send(10, word(7));
         h.receive();
         h.receive();
         h.ack(27);
         const frame f = h.receive();
         EXPECT_EQ(f.id, 35);
         EXPECT_TRUE(f.check_ok);
         EXPECT_EQ(f.size, 3);
         EXPECT_EQ(f.data.size(), 3u);
       }},
      {"unterminated record",
       [](garmin_sim_faults& f) { f.unterminated = {1, 1}; },
       [](raw_host& h, const garmin_model& m) {
         h.send(10, word(7));
         h.receive();
         h.receive();
         h.ack(27);
         const frame f = h.receive();
         const std::string full = garmin_sim_pack(108, m.waypoints[0]);
         EXPECT_TRUE(f.check_ok);
         EXPECT_EQ(f.data, full.substr(0, full.size() - 1));
         EXPECT_NE(f.data.back(), '\0');
       }},
      {"size beyond the data",
       [](garmin_sim_faults& f) {
         f.size_beyond = {0, 1};
         f.extra_size = 20;
       },
       [](raw_host& h, const garmin_model& m) {
         h.send(254, "");
         h.receive();
         const frame f = h.receive();
         EXPECT_EQ(f.size, int(product_data(m).size()) + 20);
         EXPECT_EQ(f.data, product_data(m));
       }},
      {"frame without DLE ETX",
       [](garmin_sim_faults& f) { f.unterminated_frame = {0, 1}; },
       [](raw_host& h, const garmin_model& m) {
         h.send(254, "");
         h.receive();
         const frame cut = h.receive(500);  // the frame never ends
         EXPECT_FALSE(cut.raw.empty());
         EXPECT_FALSE(cut.framed);
         h.nak(255);  // the host gives up on it: sent again, whole
         const frame f = h.receive();
         EXPECT_TRUE(f.framed);
         EXPECT_EQ(f.data, product_data(m));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    garmin_model m = small_model();
    m.send_protocol_array = false;
    garmin_sim_faults f;
    c.set(f);
    garmin_sim_pty sim(m, f);
    play(sim, [&](raw_host& h) { c.check(h, m); });
  }
}

// Power off: acknowledged, then the receiver answers nothing more.
TEST(GarminSimSerial, PowerOffLeavesTheReceiverSilent) {
  garmin_sim_pty sim(small_model());
  play(sim, [&](raw_host& h) {
    h.send(10, word(8));
    EXPECT_EQ(h.receive().id, 6);
    h.send(254, "");
    EXPECT_TRUE(h.silent_for(2000));
  });
  EXPECT_TRUE(sim.trace().powered_off);
}

// The real-time stream over the serial link: Pvt_Data (51) every interval after
// Start_Pvt_Data until Stop_Pvt_Data, each waiting for its ACK.
TEST(GarminSimSerial, RealTimeStream) {
  garmin_model m = small_model();
  m.pvt.resize(2);
  m.pvt[0].tow = 100;
  m.pvt[1].tow = 101;
  m.pvt_repeat = true;
  m.pvt_interval_ms = 1000;
  garmin_sim_pty sim(m);
  play(sim, [&](raw_host& h) {
    h.send(10, word(49));
    EXPECT_EQ(h.receive().id, 6);
    int64_t last = -1;
    for (int i = 0; i < 3; ++i) {
      const frame f = h.receive(1500);
      EXPECT_EQ(f.id, 51);
      EXPECT_EQ(f.data, garmin_sim_pack_pvt(m.pvt[size_t(i) % 2]));
      if (last >= 0) {
        EXPECT_EQ(plat::now_ms() - last, 1000);
      }
      last = plat::now_ms();
      h.ack(51);
    }
    h.send(10, word(50));
    frame f = h.receive();
    EXPECT_EQ(f.id, 6);
    EXPECT_TRUE(h.silent_for(2500));
  });
  EXPECT_FALSE(sim.trace().pvt_on);
}

}  // namespace
}  // namespace tm_test
