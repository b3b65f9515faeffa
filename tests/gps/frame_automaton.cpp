// The byte-frame automaton against the frames written by
// scripts/fixtures/make_nmea_sentences.py for the three logger configurations: every
// stream fed whole, split in two at every byte and byte by byte must deliver exactly the
// expected payloads. Then hostile streams (65535-byte frames, endless frames, random
// bytes) with a bounded buffer, the builder, the 15-bit sum, and a handler's error.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "gps/loggers/frame.h"

namespace {

struct FrameCase {
  std::string name;
  std::string config;
  std::string stream;
  std::vector<std::string> frames;
};

std::string unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
  return out;
}

std::vector<FrameCase> load_cases() {
  std::vector<FrameCase> cases;
  std::ifstream in(TM_FIXTURE_DIR "/nmea/frames.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("case ", 0) == 0) {
      const size_t sp = line.find(' ', 5);
      cases.push_back({line.substr(5, sp - 5), line.substr(sp + 1), "", {}});
    } else if (line.rfind("feed ", 0) == 0) {
      cases.back().stream += unhex(line.substr(5));
    } else if (line.rfind("frame ", 0) == 0) {
      cases.back().frames.push_back(unhex(line.substr(6)));
    }
  }
  return cases;
}

const bframe_config* config_named(const std::string& name) {
  if (name == "globalsat") return &kBframeGlobalsat;
  if (name == "navilink") return &kBframeNavilink;
  return &kBframeSkytraq;
}

// The frames the handler received (through the driver context).
struct Received {
  std::vector<std::string> payloads;
  std::vector<uint32_t> ids;
};

void on_frame(bframe* f) {
  auto* r = static_cast<Received*>(f->driver);
  r->payloads.emplace_back(reinterpret_cast<const char*>(f->cursor), size_t(f->expected));
  r->ids.push_back(f->message_id);
}

class FrameTest : public ::testing::Test {
 protected:
  void TearDown() override {
    bframe_free(&f_);
    set_gblerr(0);
  }
  void make(const bframe_config* c) {
    bframe_free(&f_);
    received_ = Received{};
    ASSERT_EQ(bframe_create_config(c, on_frame, nullptr, nullptr, &f_), 0);
    f_->driver = &received_;
  }
  int feed(const std::string& s) {
    return bframe_feed(reinterpret_cast<const uint8_t*>(s.data()), int(s.size()), f_);
  }
  bframe* f_ = nullptr;
  Received received_;
};

class FrameCases : public FrameTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FrameCases, WholeStream) {
  const FrameCase& c = GetParam();
  make(config_named(c.config));
  ASSERT_EQ(feed(c.stream), 0);
  EXPECT_EQ(received_.payloads, c.frames);
  for (size_t i = 0; i < c.frames.size(); ++i)
    EXPECT_EQ(received_.ids[i], uint8_t(c.frames[i][0]));
}

TEST_P(FrameCases, SplitAtEveryByte) {
  const FrameCase& c = GetParam();
  for (size_t cut = 0; cut <= c.stream.size(); ++cut) {
    make(config_named(c.config));
    ASSERT_EQ(feed(c.stream.substr(0, cut)), 0);
    ASSERT_EQ(feed(c.stream.substr(cut)), 0);
    ASSERT_EQ(received_.payloads, c.frames) << c.name << " cut at " << cut;
  }
}

TEST_P(FrameCases, ByteByByte) {
  const FrameCase& c = GetParam();
  make(config_named(c.config));
  for (char ch : c.stream) ASSERT_EQ(feed(std::string(1, ch)), 0);
  EXPECT_EQ(received_.payloads, c.frames);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FrameCases, ::testing::ValuesIn(load_cases()),
                         [](const ::testing::TestParamInfo<FrameCase>& info) {
                           return info.param.name;
                         });

TEST(FrameFixtures, CasesPresent) { EXPECT_FALSE(load_cases().empty()); }

// ---- Builder and checksums ----------------------------------------------------------

std::string build(const std::string& payload, int big_endian,
                  const uint8_t* markers = kBframeDefaultMarkers) {
  std::string out(payload.size() + 8, '\0');
  const int n = bframe_build(reinterpret_cast<const uint8_t*>(payload.data()),
                             int(payload.size()), big_endian, markers,
                             reinterpret_cast<uint8_t*>(out.data()));
  EXPECT_EQ(n, int(payload.size() + 8));
  return out;
}

TEST(FrameBuild, NmeaSwitchFrames) {
  EXPECT_EQ(build(std::string("\xBC\x01", 2), 1),
            std::string("\xA0\xA2\x00\x02\xBC\x01\x00\xBD\xB0\xB3", 10));
  EXPECT_EQ(build(std::string("\xBC\x00", 2), 1),
            std::string("\xA0\xA2\x00\x02\xBC\x00\x00\xBC\xB0\xB3", 10));
}

TEST(FrameBuild, LittleEndianLengthAndSum) {
  const std::string payload(0x0102, '\xFF');
  const std::string f = build(payload, 0);
  EXPECT_EQ(f.substr(2, 2), std::string("\x02\x01", 2));
  const unsigned sum = (0x0102u * 0xFF) & 0x7FFF;
  EXPECT_EQ(uint8_t(f[4 + 0x0102]), sum & 0xFF);
  EXPECT_EQ(uint8_t(f[5 + 0x0102]), sum >> 8);
  EXPECT_EQ(bframe_sum15(reinterpret_cast<const uint8_t*>(payload.data()), int(payload.size())),
            sum);
}

TEST(FrameBuild, RefusesLengthsOutsideSixteenBits) {
  uint8_t out[16];
  EXPECT_EQ(bframe_build(nullptr, -1, 1, nullptr, out), -1);
  std::vector<uint8_t> big(65536);
  std::vector<uint8_t> frame(65536 + 8);
  EXPECT_EQ(bframe_build(big.data(), 65536, 1, nullptr, frame.data()), -1);
  EXPECT_EQ(bframe_build(big.data(), 65535, 1, nullptr, frame.data()), 65535 + 8);
}

TEST_F(FrameTest, BuiltFramesReadBackInEveryConfiguration) {
  for (const bframe_config* c : {&kBframeGlobalsat, &kBframeNavilink}) {
    make(c);
    const std::string payload = "\x20payload with \xA0\xA2 and \xB0\xB3 inside";
    ASSERT_EQ(feed(build(payload, c->big_endian)), 0);
    ASSERT_EQ(received_.payloads.size(), 1u);
    EXPECT_EQ(received_.payloads[0], payload);
  }
}

// ---- Hostile streams ------------------------------------------------------------------

TEST_F(FrameTest, LargestFramesAreDroppedWithABoundedBuffer) {
  for (const bframe_config* c : {&kBframeGlobalsat, &kBframeNavilink, &kBframeSkytraq}) {
    make(c);
    // A 65535-byte frame, well formed, whose length is above what the logger sends.
    std::string payload(65535, '\x55');
    std::string stream = std::string(reinterpret_cast<const char*>(c->markers), 2) + "\xFF\xFF";
    stream += payload + std::string(3, '\0') + std::string(reinterpret_cast<const char*>(c->markers + 2), 2);
    ASSERT_EQ(feed(stream), 0);
    EXPECT_TRUE(received_.payloads.empty());
    EXPECT_LE(f_->capacity, 65536);
    // Frames at the limit still arrive.
    const std::string ok(kBframeMaxPayload, '\x11');
    if (c != &kBframeSkytraq) {
      ASSERT_EQ(feed(build(ok, c->big_endian, c->markers)), 0);
      ASSERT_EQ(received_.payloads.size(), 1u);
      EXPECT_EQ(received_.payloads[0], ok);
    }
  }
}

TEST_F(FrameTest, FrameWithoutEndIsDroppedPastItsLength) {
  make(&kBframeGlobalsat);
  ASSERT_EQ(feed(std::string("\xA0\xA2\x00\x10", 4)), 0);
  std::string endless(1 << 20, '\x42');
  for (int i = 0; i < 16; ++i) {
    ASSERT_EQ(feed(endless), 0);
    ASSERT_LE(f_->collected, 0x10 + kBframeSlack);
    ASSERT_LE(f_->capacity, kBframeInitialCapacity);
  }
  ASSERT_EQ(feed(build("\x83ok", 1)), 0);
  ASSERT_EQ(received_.payloads.size(), 1u);
  EXPECT_EQ(received_.payloads[0], "\x83ok");
}

// A stray start byte 1 (or several) just before a frame does not hide the frame.
TEST_F(FrameTest, RepeatedStartByteBeforeAFrame) {
  for (const bframe_config* c : {&kBframeGlobalsat, &kBframeNavilink, &kBframeSkytraq}) {
    make(c);
    const std::string start1(1, char(c->markers[0]));
    std::string frame;
    if (c == &kBframeSkytraq) {
      // A0 A1, length, payload, XOR, 0D 0A.
      frame = std::string("\xA0\xA1\x00\x02\x80\x01\x81\x0D\x0A", 9);
    } else {
      frame = build("\x83ok", c->big_endian, c->markers);
    }
    ASSERT_EQ(feed(start1 + frame), 0);
    ASSERT_EQ(feed(start1 + start1 + start1 + frame), 0);
    ASSERT_EQ(received_.payloads.size(), 2u);
  }
}

TEST_F(FrameTest, LengthBytesInTheNextRead) {
  make(&kBframeGlobalsat);
  const std::string f = build("\xBF\x01\x02", 1);
  // Start byte 2 ends the first chunk, then one length byte per chunk.
  ASSERT_EQ(feed(f.substr(0, 2)), 0);
  EXPECT_EQ(f_->state, 6);
  ASSERT_EQ(feed(f.substr(2, 1)), 0);
  EXPECT_EQ(f_->state, 7);
  ASSERT_EQ(feed(f.substr(3)), 0);
  ASSERT_EQ(received_.payloads.size(), 1u);
  EXPECT_EQ(received_.payloads[0], "\xBF\x01\x02");
}

TEST_F(FrameTest, RandomBytesKeepTheBufferBounded) {
  std::mt19937 rng(99);
  for (const bframe_config* c : {&kBframeGlobalsat, &kBframeNavilink, &kBframeSkytraq}) {
    make(c);
    for (int round = 0; round < 200; ++round) {
      std::string s;
      const int n = 1 + int(rng() % 3000);
      for (int i = 0; i < n; ++i) {
        const unsigned r = rng();
        s += (r & 7) == 0 ? char(c->markers[(r >> 3) & 3]) : char(r >> 8);
      }
      ASSERT_EQ(feed(s), 0);
      ASSERT_LE(f_->collected, f_->max_length + kBframeSlack);
      ASSERT_LE(f_->capacity, 65536);
    }
    // Back in step on the next good frame.
    received_ = Received{};
    const std::string tail = c == &kBframeSkytraq ? std::string() : build("\x20sync", c->big_endian);
    if (!tail.empty()) {
      ASSERT_EQ(feed(std::string(c->max_length + 40, '\0') + tail), 0);
      ASSERT_EQ(received_.payloads.size(), 1u);
    }
  }
}

// ---- Errors ------------------------------------------------------------------------------

int g_calls = 0;
void failing_handler(bframe*) {
  ++g_calls;
  set_gblerr(ERR_PROTOCOL);
}

TEST_F(FrameTest, HandlerErrorStopsTheFeedAtThatByte) {
  ASSERT_EQ(bframe_create(nullptr, failing_handler, nullptr, nullptr, 1, nullptr, &f_), 0);
  EXPECT_EQ(f_->markers[1], 0xA2);
  EXPECT_EQ(f_->capacity, kBframeInitialCapacity);
  g_calls = 0;
  const std::string two = build("\x01", 1) + build("\x02", 1);
  EXPECT_EQ(bframe_feed(reinterpret_cast<const uint8_t*>(two.data()), int(two.size()), f_),
            ERR_PROTOCOL);
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(f_->in_left, int(two.size() / 2));
}

TEST_F(FrameTest, CreateWithOwnMarkers) {
  const uint8_t markers[4] = {1, 2, 3, 4};
  ASSERT_EQ(bframe_create(nullptr, on_frame, nullptr, nullptr, 0, markers, &f_), 0);
  f_->driver = &received_;
  ASSERT_EQ(feed(build("\x07xyz", 0, markers)), 0);
  ASSERT_EQ(received_.payloads.size(), 1u);
  EXPECT_EQ(received_.ids[0], 7u);
}

}  // namespace
