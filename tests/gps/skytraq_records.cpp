// The SkyTraq sector contents without a port: record decoding (full and compact records,
// the 10-bit deltas, the marked points, the ends of a sector's records) and the raw
// collection of a sector's bytes, fed in chunks as the read loop hands them over.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "core/error.h"
#include "geodesy/geodesy_tables.h"
#include "gps/loggers/frame.h"
#include "gps/loggers/skytraq.h"
#include "gps/port_io.h"
#include "tests/gps/skytraq_fixture.h"

namespace {

using gps_sim::skytraq_point;
using tm_test::split_fields;

const skytraq_point kBase{2200, 300000, 4201000, 168000, 4780000, 12, false};

std::string compact_raw(uint16_t step, uint32_t fx, uint32_t fy, uint32_t fz, uint8_t speed) {
  const uint32_t v = fx << 22 | (fy & 0x3F) << 16 | (fy >> 6) << 12 | fz;
  std::string r = {char(0x80), char(speed), char(step >> 8), char(step & 0xFF)};
  for (int s = 24; s >= 0; s -= 8) r.push_back(char(v >> s & 0xFF));
  return r;
}

std::string frame(const std::string& payload) {
  std::string f = "\xA0\xA1";
  f.push_back(char(payload.size() >> 8));
  f.push_back(char(payload.size() & 0xFF));
  f += payload;
  f.push_back(char(bframe_xor(reinterpret_cast<const uint8_t*>(payload.data()), int(payload.size()))));
  return f + "\r\n";
}

const std::string kTag("END\0CHECKSUM=", 13);

// The checksum byte that follows a sector's tag: the XOR of its bytes.
std::string checksum_of(const std::string& data) {
  return std::string(1, char(bframe_xor(reinterpret_cast<const uint8_t*>(data.data()), int(data.size()))));
}

class SkytraqRecords : public tm_test::GpsTextFixture {
 protected:
  void SetUp() override {
    GpsTextFixture::SetUp();
    ctx = skytraq_ctx_create(nullptr);
    ASSERT_NE(ctx, nullptr);
    ctx->out = std::tmpfile();
    ASSERT_NE(ctx->out, nullptr);
    ctx->datum = geo_get_ref_datum(nullptr);
  }
  void TearDown() override {
    void* d = ctx;
    skytraq_free(&d);
    GpsTextFixture::TearDown();
  }
  // The lines written so far, split into fields.
  std::vector<std::vector<std::string>> lines() {
    std::fflush(ctx->out);
    std::rewind(ctx->out);
    std::vector<std::vector<std::string>> out;
    char buf[512];
    while (std::fgets(buf, sizeof buf, ctx->out)) {
      std::string l(buf);
      if (!l.empty() && l.back() == '\n') l.pop_back();
      out.push_back(split_fields(l, ';'));
    }
    std::fseek(ctx->out, 0, SEEK_END);
    return out;
  }
  int decode(const std::string& data) {
    return skytraq_decode_sector(ctx, reinterpret_cast<const uint8_t*>(data.data()), int(data.size()));
  }
  // A chunk handed over by the read loop, through the wait record's current handler.
  void feed(const std::string& chunk) {
    ctx->wait->handler(reinterpret_cast<const uint8_t*>(chunk.data()), int(chunk.size()),
                       reinterpret_cast<port_reader*>(ctx->frame));
  }
  static void expect_at(const std::vector<std::string>& row, double x, double y, double z) {
    const auto g = skytraq_test::ecef_to_geodetic(x, y, z);
    ASSERT_GE(row.size(), 9u);
    EXPECT_NEAR(std::stod(row[0]), g.lon, 1e-9);
    EXPECT_NEAR(std::stod(row[1]), g.lat, 1e-9);
    EXPECT_NEAR(std::stod(row[5]), g.h, 1e-4);
  }

  skytraq_ctx* ctx = nullptr;
};

TEST_F(SkytraqRecords, CompactDeltasAndTimeSteps) {
  struct Case {
    const char* name;
    uint32_t fx, fy, fz;
    int dx, dy, dz;
  };
  const Case cases[] = {
      {"zero", 0, 0, 0, 0, 0, 0},
      {"largest forward", 511, 511, 511, 511, 511, 511},
      {"512 is one back", 512, 512, 512, -1, -1, -1},
      {"1023 is 512 back", 1023, 1023, 1023, -512, -512, -512},
      {"mixed, dy across its two fields", 3, 0x2C1, 700, 3, 511 - 0x2C1, 511 - 700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::freopen(nullptr, "w+b", ctx->out);
    ctx->have_fix = 0;
    const std::string data = gps_sim::skytraq_full_record(kBase) +
                             compact_raw(7, c.fx, c.fy, c.fz, 30) + compact_raw(0x1234, c.fx, c.fy, c.fz, 31);
    EXPECT_EQ(decode(data), 3);
    const auto l = lines();
    ASSERT_EQ(l.size(), 3u);
    expect_at(l[1], kBase.x + c.dx, kBase.y + c.dy, kBase.z + c.dz);
    // Compact records move the running position: the second moves from the first.
    expect_at(l[2], kBase.x + 2 * c.dx, kBase.y + 2 * c.dy, kBase.z + 2 * c.dz);
    EXPECT_EQ(l[1][2], "\"" + skytraq_test::utc_text(2200, 300007) + "\"");
    EXPECT_EQ(l[2][2], "\"" + skytraq_test::utc_text(2200, 300007 + 0x1234) + "\"");
    EXPECT_EQ(l[0][3], "1");
    EXPECT_EQ(l[1][3], "0");
    EXPECT_EQ(l[2][8], "31.00000");
  }
}

TEST_F(SkytraqRecords, WhereTheRecordsOfASectorEnd) {
  const std::string full = gps_sim::skytraq_full_record(kBase);
  skytraq_point poi = kBase;
  poi.poi = true;
  poi.x += 5000;
  const std::string compact = gps_sim::skytraq_compact_record(1, 1, 1, 1, 9);
  struct Case {
    const char* name;
    std::string data;
    int records;
  };
  const Case cases[] = {
      {"erased flash after the records", full + compact + std::string(40, '\xFF'), 2},
      {"a first byte with both type bits", full + "\xC0" + full.substr(1), 1},
      {"a first byte with neither type bit", full + std::string(1, '\x00') + full, 1},
      {"a first byte with only the marked bit", full + "\x20" + full.substr(1), 1},
      {"a full record cut short", full.substr(0, 17), 0},
      {"a compact record cut short", full + compact.substr(0, 7), 1},
      {"a compact record with no position before it", compact + full, 1},
      {"empty", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::freopen(nullptr, "w+b", ctx->out);
    ctx->have_fix = 0;
    ctx->points = 0;
    decode(c.data);
    EXPECT_EQ(int(lines().size()), c.records);
    EXPECT_EQ(int(ctx->points), c.records);
  }
  // A marked point: start flag 2, and its year as the GPS week gives it.
  std::freopen(nullptr, "w+b", ctx->out);
  EXPECT_EQ(decode(gps_sim::skytraq_full_record(poi)), 1);
  const auto l = lines();
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0][3], "2");
  expect_at(l[0], poi.x, poi.y, poi.z);
  EXPECT_EQ(l[0][2].substr(0, 5), "\"2022");
}

// A hostile log at the ends of the 32-bit range: the compact moves wrap, no overflow.
TEST_F(SkytraqRecords, MovesAtTheEndsOfTheRangeWrap) {
  skytraq_point low = kBase, high = kBase;
  low.x = low.y = low.z = INT32_MIN + 10;
  high.x = high.y = high.z = INT32_MAX - 10;
  const std::string data = gps_sim::skytraq_full_record(low) + compact_raw(1, 1023, 1023, 1023, 1) +
                           gps_sim::skytraq_full_record(high) + compact_raw(1, 511, 511, 511, 1);
  EXPECT_EQ(decode(data), 4);
  EXPECT_EQ(ctx->x, int32_t(uint32_t(INT32_MAX - 10) + 511u));
  EXPECT_EQ(lines().size(), 4u);
}

// The sector's bytes as the read loop hands them over after the acknowledgement: the
// sector ends at its tag and checksum byte only, wherever the chunks are cut, and what
// follows is read as frames again.
TEST_F(SkytraqRecords, RawSectorCollection) {
  // Records whose bytes spell "END" (a speed of 'E' and a time step of "ND").
  const std::string tricky = std::string("\x80\x45\x4E\x44", 4) + std::string(4, '\0');
  const std::string data = gps_sim::skytraq_full_record(kBase) + tricky + tricky +
                           gps_sim::skytraq_compact_record(5, 1, 2, 3, 4);
  const std::string ack = frame(std::string("\x83\x1B", 2));
  const std::string status = frame("\x94" + std::string(34, '\x01'));
  const std::string whole = ack + data + kTag + checksum_of(data) + status;
  struct Case {
    const char* name;
    std::vector<size_t> cuts;  // chunk boundaries in `whole`
  };
  const Case cases[] = {
      {"one chunk", {}},
      {"tag split", {ack.size() + 10, ack.size() + data.size() + 2, ack.size() + data.size() + 9}},
      {"checksum byte alone", {ack.size() + data.size() + 13, ack.size() + data.size() + 14}},
      {"acknowledgement alone", {ack.size()}},
      {"byte by byte", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::freopen(nullptr, "w+b", ctx->out);
    ctx->have_fix = 0;
    ctx->status_seen = 0;
    ctx->expected = 0x1B;
    ctx->sector_state = SKYTRAQ_SECTOR_IDLE;
    std::vector<size_t> cuts = c.cuts;
    if (std::string(c.name) == "byte by byte")
      for (size_t i = 1; i < whole.size(); ++i) cuts.push_back(i);
    size_t at = 0;
    cuts.push_back(whole.size());
    for (size_t cut : cuts) {
      feed(whole.substr(at, cut - at));
      at = cut;
    }
    EXPECT_EQ(ctx->sector_state, SKYTRAQ_SECTOR_DONE);
    EXPECT_EQ(lines().size(), 4u);
    EXPECT_EQ(ctx->status_seen, 1u);
    EXPECT_EQ(ctx->wait->handler, bframe_feed_chunk);
  }
}

TEST_F(SkytraqRecords, ARepeatedAcknowledgementReadsTheSectorOnce) {
  const std::string data = gps_sim::skytraq_full_record(kBase) + gps_sim::skytraq_compact_record(5, 1, 2, 3, 4);
  const std::string ack = frame(std::string("\x83\x1B", 2));
  ctx->expected = 0x1B;
  feed(ack + data + kTag + checksum_of(data) + ack + data + kTag + checksum_of(data));
  EXPECT_EQ(lines().size(), 2u);
  EXPECT_EQ(ctx->sector_state, SKYTRAQ_SECTOR_DONE);
  EXPECT_EQ(ctx->wait->handler, bframe_feed_chunk);
}

// The checksum byte after the tag decides: a sector whose bytes do not give it was
// damaged on the line and writes no point; the frames after it are read all the same.
TEST_F(SkytraqRecords, SectorChecksumDecides) {
  const std::string data = gps_sim::skytraq_full_record(kBase) + gps_sim::skytraq_compact_record(5, 1, 2, 3, 4);
  std::string flipped = data;
  flipped[7] = char(flipped[7] ^ 0x10);  // one bit of a coordinate lost on the line
  const std::string ack = frame(std::string("\x83\x1B", 2));
  const std::string status = frame("\x94" + std::string(34, '\x01'));
  struct Case {
    const char* name;
    std::string sector;  // bytes sent before the tag
    std::string checksum;
    int state;
    size_t lines;
  };
  const Case cases[] = {
      {"matching", data, checksum_of(data), SKYTRAQ_SECTOR_DONE, 2},
      {"wrong checksum byte", data, checksum_of(data + "\x01"), SKYTRAQ_SECTOR_FAILED, 0},
      {"damaged data", flipped, checksum_of(data), SKYTRAQ_SECTOR_FAILED, 0},
      {"empty sector", "", std::string(1, '\0'), SKYTRAQ_SECTOR_DONE, 0},
  };
  for (const Case& c : cases) {
    for (const bool one_chunk : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (one_chunk ? ", one chunk" : ", in pieces"));
      std::freopen(nullptr, "w+b", ctx->out);
      ctx->have_fix = 0;
      ctx->status_seen = 0;
      ctx->expected = 0x1B;
      ctx->sector_state = SKYTRAQ_SECTOR_IDLE;
      const std::string rest = c.sector + kTag + c.checksum + status;
      if (one_chunk) {
        feed(ack + rest);
      } else {
        feed(ack);
        for (size_t at = 0; at < rest.size(); at += 3) feed(rest.substr(at, 3));
      }
      EXPECT_EQ(ctx->sector_state, c.state);
      EXPECT_EQ(lines().size(), c.lines);
      EXPECT_EQ(ctx->status_seen, 1u);
      EXPECT_EQ(ctx->wait->handler, bframe_feed_chunk);
    }
  }
}

TEST_F(SkytraqRecords, SectorWithoutItsTagIsGivenUp) {
  ctx->expected = 0x1B;
  const double overall = ctx->wait->overall_timeout_s = 300;
  feed(frame(std::string("\x83\x1B", 2)) + std::string(100, '\x40'));
  EXPECT_EQ(ctx->sector_state, SKYTRAQ_SECTOR_DATA);
  EXPECT_EQ(ctx->wait->handler, skytraq_raw_chunk);
  for (int i = 0; i < 40 && ctx->sector_state == SKYTRAQ_SECTOR_DATA; ++i) feed(std::string(300, '\x40'));
  EXPECT_EQ(ctx->sector_state, SKYTRAQ_SECTOR_FAILED);
  EXPECT_EQ(ctx->wait->handler, bframe_feed_chunk);
  EXPECT_EQ(ctx->wait->overall_timeout_s, overall);
  EXPECT_LE(ctx->sector_len, kSkytraqSectorMax + 14);
  EXPECT_TRUE(lines().empty());
}

TEST_F(SkytraqRecords, AnswersOfTheWrongShapeAreIgnored) {
  struct Case {
    const char* name;
    std::string payload;
    uint8_t expected;
    bool acknowledged, status, version;
  };
  const Case cases[] = {
      {"acknowledgement of another command", std::string("\x83\x17", 2), 0x09, false, false, false},
      {"acknowledgement with a tail", std::string("\x83\x09\x00", 3), 0x09, false, false, false},
      {"acknowledgement", std::string("\x83\x09", 2), 0x09, true, false, false},
      {"short log status", "\x94" + std::string(33, '\x01'), 0x17, false, false, false},
      {"log status", "\x94" + std::string(34, '\x01'), 0x17, false, true, false},
      {"short version", "\x80\x01" + std::string(11, '\x01'), 0x02, false, false, false},
      {"version", "\x80\x01" + std::string(12, '\x01'), 0x02, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ctx->status_seen = 0;
    std::memset(ctx->version, 0, sizeof ctx->version);
    ctx->expected = c.expected;
    feed(frame(c.payload));
    EXPECT_EQ(ctx->acknowledged, c.acknowledged ? 1u : 0u);
    EXPECT_EQ(ctx->status_seen, c.status ? 1u : 0u);
    EXPECT_EQ(ctx->version[1] != 0, c.version);
  }
}

}  // namespace
