// The XMODEM receiver: scripted senders on its byte routines under the virtual clock
// (blocks, sums and CRCs, repeats, wrong numbers, the two EOTs, silence), and lrzsz sx
// sending to it over a pty in real time.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/line_store.h"
#include "core/object.h"
#include "gps/loggers/xmodem.h"
#include "gps/port_io.h"
#include "map/file_object.h"
#include "tests/gps/royaltek_fixture.h"
#include "tests/support/gps_sim/royaltek_sim_clock.h"
#include "tests/support/run_tool.h"

namespace rtk_test {
namespace {

using tm_test::pty_pair;

std::string payload_of(int number, size_t size) {
  std::string p(size, '\0');
  for (size_t i = 0; i < size; ++i) p[i] = char((number * 31 + int(i) * 7) & 0xFF);
  return p;
}

// A block: header, payload, then the CRC (crc mode) or the sum, optionally spoilt.
std::string block(int number, const std::string& payload, bool crc, bool spoil = false,
                  int complement = -1) {
  std::string b;
  b.push_back(char(payload.size() == 1024 ? kXmodemStx : kXmodemSoh));
  b.push_back(char(number & 0xFF));
  b.push_back(char(complement >= 0 ? complement : 255 - (number & 0xFF)));
  b += payload;
  const auto* bytes = reinterpret_cast<const uint8_t*>(payload.data());
  if (crc) {
    uint16_t c = xmodem_crc16(bytes, int(payload.size()));
    if (spoil) c ^= 0x8001;
    b.push_back(char(c >> 8));
    b.push_back(char(c & 0xFF));
  } else {
    uint8_t s = xmodem_sum8(bytes, int(payload.size()));
    if (spoil) s ^= 0x40;
    b.push_back(char(s));
  }
  return b;
}

// One step of a scripted sender: bytes to send, then whether a reply is awaited.
struct step {
  std::string bytes;
  bool reply = true;
};

// A scripted sender on the receiver's own byte routines: each answer of the receiver
// lets the next steps onto the line, so the exchange runs in lock step, whatever the
// machine's load (the real line, in real time, is lrzsz's test below). Gathers one
// reply letter per awaited step (A ACK, N NAK, X CAN, ? other); a 'C' that calls
// again while a step waits for its answer is passed over, as a sender would.
class scripted_line {
 public:
  explicit scripted_line(std::vector<step> steps) : steps_(std::move(steps)) {}
  void attach(xmodem_rx* rx) {
    rx->port = this;
    rx->read = [](void* port, int max, uint8_t* buffer) {
      return static_cast<scripted_line*>(port)->read(max, buffer);
    };
    rx->write = [](void* port, const uint8_t* bytes, int count) {
      for (int i = 0; i < count; ++i) static_cast<scripted_line*>(port)->heard_byte(bytes[i]);
    };
  }
  const std::string& heard() const { return heard_; }
  char first() const { return first_; }

 private:
  // What is on the line, or 0 (the read time-out) when the script has run out.
  int read(int max, uint8_t* buffer) {
    int n = 0;
    while (n < max && at_ < line_.size()) buffer[n++] = uint8_t(line_[at_++]);
    return n;
  }
  void heard_byte(uint8_t b) {
    if (first_ == 0) {
      first_ = letter(b);
      feed();
    } else if (awaiting_ && b != kXmodemCrcAsk) {
      heard_.push_back(letter(b));
      awaiting_ = false;
      feed();
    }
  }
  // Puts the next steps on the line, up to one that waits for an answer.
  void feed() {
    while (next_ < steps_.size()) {
      const step& s = steps_[next_++];
      line_ += s.bytes;
      if (s.reply) {
        awaiting_ = true;
        return;
      }
    }
  }
  static char letter(int b) {
    switch (b) {
      case kXmodemAck: return 'A';
      case kXmodemNak: return 'N';
      case kXmodemCan: return 'X';
      case 'C': return 'C';
      default: return '?';
    }
  }
  std::vector<step> steps_;
  size_t next_ = 0;
  std::string line_;
  size_t at_ = 0;
  bool awaiting_ = false;
  std::string heard_;
  char first_ = 0;
};

std::string file_bytes(fileatt_t* f) {
  if (!f || !f->store) return "";
  std::string out;
  const int64_t size = filemobj_data_size(f->store);
  for (int64_t at = 0; at < size;) {
    int64_t n = size - at;
    const uint8_t* p = filemobj_read_ptr(f->store, at, &n);
    if (!p || n <= 0) break;
    out.append(reinterpret_cast<const char*>(p), size_t(n));
    at += n;
  }
  return out;
}

class XmodemReceiver : public LoggerFixture {
 protected:
  struct outcome {
    int error;
    std::string data;
    std::string heard;
    char first;
  };
  // The receiver's answers to a scripted sender, on the virtual clock (its pauses).
  outcome receive(int crc, const std::vector<step>& steps) {
    xmodem_rx* rx = nullptr;
    fileatt_t* file = nullptr;
    EXPECT_EQ(xmodem_create(nullptr, crc, &rx, &file), 0);
    scripted_line line(steps);
    line.attach(rx);
    outcome out{};
    {
      tm_test::virtual_worker w([&] {
        xmodem_receive(rx);
        out.error = get_gblerr();
        set_gblerr(0);
      });
      EXPECT_GE(w.run(5), 0) << "the receiver hangs";
    }
    out.data = file_bytes(file);
    out.heard = line.heard();
    out.first = line.first();
    xmodem_free(&rx);
    obj_t* o = file;
    free_obj(&o);
    return out;
  }
  pty_pair pty_;
};

const std::string kEot(1, char(kXmodemEot));

TEST_F(XmodemReceiver, ScriptedSenders) {
  const std::string a = payload_of(1, 128), b = payload_of(2, 128), c = payload_of(3, 128);
  const std::string big = payload_of(9, 1024);
  struct script {
    const char* what;
    int crc;
    std::vector<step> steps;
    int error;
    std::string data;
    std::string heard;
  };
  const script cases[] = {
      {"CRC blocks", 1,
       {{block(1, a, true)}, {block(2, b, true)}, {kEot}, {kEot}}, 0, a + b, "AANA"},
      {"sum blocks", 0,
       {{block(1, a, false)}, {block(2, b, false)}, {kEot}, {kEot}}, 0, a + b, "AANA"},
      {"a bad CRC is asked again", 1,
       {{block(1, a, true)}, {block(2, b, true, true)}, {block(2, b, true)}, {kEot}, {kEot}},
       0, a + b, "ANANA"},
      {"a bad sum is asked again", 0,
       {{block(1, a, false, true)}, {block(1, a, false)}, {block(2, b, false)}, {kEot}, {kEot}},
       0, a + b, "NAANA"},
      {"a block repeated after a lost ACK is dropped", 1,
       {{block(1, a, true)}, {block(1, a, true)}, {block(2, b, true)}, {kEot}, {kEot}},
       0, a + b, "AAANA"},
      {"a 1024-byte block is appended whole", 1,
       {{block(1, big, true)}, {block(2, a, true)}, {kEot}, {kEot}}, 0, big + a, "AANA"},
      {"a block number skipped cancels", 1,
       {{block(1, a, true)}, {block(3, c, true)}}, 0, a, "AX"},
      {"a first block other than 1 cancels", 1, {{block(0, a, true)}}, 0, "", "X"},
      {"a bad complement cancels", 1,
       {{block(1, a, true)}, {block(2, b, true, false, 0x11)}}, 0, a, "AX"},
      {"another byte after the first EOT ends without a reply", 1,
       {{block(1, a, true)}, {kEot}, {std::string("Z"), false}}, 0, a, "AN"},
      {"a CAN from the sender ends the transfer", 1,
       {{block(1, a, true)}, {std::string(1, char(kXmodemCan)), false}}, 0, a, "A"},
      {"a sender that stops inside a block", 1,
       {{block(1, a, true)}, {block(2, b, true).substr(0, 60), false}}, ERR_PROTOCOL, a, "A"},
      {"a silent sender", 1, {}, ERR_PROTOCOL, "", ""},
  };
  for (const script& s : cases) {
    SCOPED_TRACE(s.what);
    const outcome o = receive(s.crc, s.steps);
    EXPECT_EQ(o.error, s.error);
    EXPECT_EQ(o.first, s.crc ? 'C' : 'N');
    EXPECT_EQ(o.data, s.data);
    EXPECT_EQ(o.heard, s.heard);
  }
}

TEST_F(XmodemReceiver, BlockNumber255IsFollowedBy0) {
  std::vector<step> steps;
  std::string expected;
  for (int i = 1; i <= 258; ++i) {
    const std::string p = payload_of(i, 128);
    steps.push_back({block(i, p, true)});
    expected += p;
  }
  steps.push_back({kEot});
  steps.push_back({kEot});
  const outcome o = receive(1, steps);
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.data.size(), expected.size());
  EXPECT_TRUE(o.data == expected);
  EXPECT_EQ(o.heard, std::string(258, 'A') + "NA");
}

// lrzsz sx sends a file to the receiver over the pty, in 128-byte blocks and with -k in
// 1024-byte blocks; the file comes whole, padded to its last block. sx starts at the
// receiver's first call and runs in real time (the clock follows it).
TEST_F(XmodemReceiver, LrzszSxSends) {
  if (!tm_test::tool_present("sx")) GTEST_SKIP() << "lrzsz sx is not installed";
  std::string image;
  for (int i = 0; i < 3000; ++i) image.push_back(char((i * 13 + 5) & 0xFF));
  const std::string path = tm_test::write_file(dir_ + "/image.bin", image);
  for (const bool large : {false, true}) {
    SCOPED_TRACE(large ? "sx -k" : "sx");
    const size_t block_size = large ? 1024 : 128;
    std::vector<std::string> args = {"sx"};
    if (large) args.push_back("-k");
    args.push_back(path);
    com_device* device = nullptr;
    com_open(pty_.path().c_str(), 38400, &device);
    ASSERT_NE(device, nullptr);
    xmodem_rx* rx = nullptr;
    fileatt_t* file = nullptr;
    ASSERT_EQ(xmodem_create(device, 1, &rx, &file), 0);
    std::atomic<bool> serving{true};
    std::atomic<bool> started{false};
    std::thread sender([&] { started = tm_test::logger_sim_run_outside(pty_.master(), args, serving); });
    bool returned = false;
    {
      logger_worker w(pty_.master(), [&] { xmodem_receive(rx); });
      returned = w.run(5) >= 0;
      serving = false;  // sx is killed if it still runs
    }
    sender.join();
    EXPECT_TRUE(started);
    EXPECT_TRUE(returned);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    const std::string got = file_bytes(file);
    const size_t padded = (image.size() + block_size - 1) / block_size * block_size;
    EXPECT_EQ(got.size(), padded);
    EXPECT_TRUE(got.compare(0, image.size(), image) == 0);
    EXPECT_EQ(got.find_first_not_of('\x1a', image.size()), std::string::npos);
    xmodem_free(&rx);
    obj_t* o = file;
    free_obj(&o);
    com_close(&device);
    pty_.drain();
  }
}

}  // namespace
}  // namespace rtk_test
