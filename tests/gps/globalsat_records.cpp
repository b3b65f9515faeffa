// The Globalsat answers without a port, fed as frames into the driver's automaton: the
// identifier, the list pages, the track packets and their records in each format, the
// bounds on what a frame holds and on the points of a track file, and the lines written
// for each record format.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/error.h"
#include "gps/loggers/frame.h"
#include "gps/loggers/globalsat.h"
#include "gps/port_io.h"
#include "tests/formats/load_fixture.h"

namespace {

void put32(std::string* s, int32_t v) {
  for (int sh = 24; sh >= 0; sh -= 8) s->push_back(char(uint32_t(v) >> sh & 0xFF));
}

std::string rec0(int32_t lat, int32_t lon) {
  std::string r;
  put32(&r, lat), put32(&r, lon);
  return r;
}
std::string rec1(int32_t lat, int32_t lon, int32_t t, int32_t d, int32_t speed) {
  std::string r = rec0(lat, lon);
  put32(&r, t), put32(&r, d), put32(&r, speed);
  return r;
}
std::string rec2(int32_t lat, int32_t lon, int32_t t, int32_t d, int32_t speed, int32_t alt, int32_t next) {
  std::string r = rec1(lat, lon, t, d, speed);
  put32(&r, alt), put32(&r, 0), put32(&r, next);
  return r;
}

class GlobalsatRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx = globalsat_ctx_create(nullptr);
    ASSERT_NE(ctx, nullptr);
  }
  void TearDown() override {
    void* d = ctx;
    globalsat_close(&d);
    set_gblerr(0);
  }
  // One frame of the payload into the automaton; the done flag it left.
  bool feed(const std::string& payload) {
    std::vector<uint8_t> f(payload.size() + 8);
    const int n = bframe_build(reinterpret_cast<const uint8_t*>(payload.data()), int(payload.size()), 1,
                               nullptr, f.data());
    ctx->wait->done = 0;
    bframe_feed(f.data(), n, ctx->frame);
    return ctx->wait->done != 0;
  }
  // A track packet: the id, the records, 0xFF up to 1024 bytes, then `tail` more bytes.
  static std::string packet(const std::string& records, size_t size = 1024, size_t tail = 4) {
    std::string p = "\xB5" + records;
    p.resize(1 + size, '\xFF');
    return p + std::string(tail, '\xFF');
  }
  void start_track() {
    ctx->command = 0xB5;
    ctx->points_in_answer = 0;
    ctx->record_format = 2;
    ctx->first_packet_seen = 0;
    ctx->packets = 0;
  }

  globalsat_ctx* ctx = nullptr;
};

TEST_F(GlobalsatRecords, IdentifierNeedsItsThirteenBytes) {
  struct Case {
    const char* name;
    std::string payload;
    bool recognised;
  };
  const std::string id("\xBF\x00\x12\x34\x56\x78\x9A\xBC\xDE\x00\x00", 11);
  const Case cases[] = {
      // Twelve bytes whose sum has a high byte 0: the byte after them is no product byte.
      {"twelve bytes", std::string("\xBF", 1) + std::string(8, '\0') + std::string("\x00\x00\x0D", 3), false},
      {"product 13 0", id + std::string("\x0D\x00", 2), true},
      {"product 13 0 and more", id + std::string("\x0D\x00\x01\x02", 4), true},
      {"product 14 0", id + std::string("\x0E\x00", 2), false},
      {"product 13 1", id + std::string("\x0D\x01", 2), false},
  };
  for (const Case& c : cases) {
    ctx->recognised = 0;
    std::memset(ctx->id, 0, sizeof ctx->id);
    EXPECT_TRUE(feed(c.payload)) << c.name;
    EXPECT_EQ(ctx->recognised, c.recognised ? 1u : 0u) << c.name;
    if (c.recognised) {
      EXPECT_STREQ(ctx->id, "00123456789ABCDE") << c.name;
    }
  }
}

TEST_F(GlobalsatRecords, ListPagesCountOnlyTheEntriesTheyHold) {
  auto page = [](int count, int next, int held, int tail) {
    std::string p = "\xBB";
    p += char(count >> 8), p += char(count & 0xFF), p += char(next >> 8), p += char(next & 0xFF);
    for (int i = 0; i < held; ++i) p += std::string(12, char(i));
    return p + std::string(size_t(tail), '\0');
  };
  struct Case {
    const char* name;
    std::string payload;
    bool answered;
    int files;
    int next;
  };
  const Case cases[] = {
      {"a page and the logger's tail", page(3, 3, 3, 4), true, 3, 3},
      {"the last page", page(2, 0, 2, 4), true, 2, 0},
      {"a page cut short ends the list", page(3, 9, 2, 0), true, 2, 0},
      {"a count of 65535 with one entry", page(65535, 1, 1, 4), true, 1, 0},
      {"no entry room at all", std::string("\xBB\x00\x05\x00", 4), false, 0, 0},
  };
  for (const Case& c : cases) {
    ctx->command = 0xBB;
    ctx->track_files = 0;
    ctx->next_index = 0;
    ctx->list_answered = 0;
    EXPECT_EQ(feed(c.payload), c.answered) << c.name;
    EXPECT_EQ(ctx->track_files, c.files) << c.name;
    EXPECT_EQ(ctx->next_index, c.next) << c.name;
  }
}

TEST_F(GlobalsatRecords, TrackPacketsNeedTheirWholePayload) {
  const std::string first = rec2(48301234, 2171234, 120000, 10622, 500, 1000000, 2);
  struct Case {
    const char* name;
    size_t size, tail;
    bool taken;
  };
  const Case cases[] = {
      {"1022 bytes", 1022, 0, false}, {"1023 bytes", 1023, 0, false}, {"1024 bytes", 1024, 0, true},
      {"1024 bytes and the logger's tail", 1024, 4, true},
  };
  for (const Case& c : cases) {
    start_track();
    feed(packet(first, c.size, c.tail));
    EXPECT_EQ(ctx->points_in_answer, c.taken ? 1 : 0) << c.name;
    EXPECT_EQ(ctx->first_packet_seen, c.taken ? 1u : 0u) << c.name;
  }
  // The second packet ends the wait; a track packet outside a track request is ignored.
  start_track();
  EXPECT_FALSE(feed(packet(first)));
  EXPECT_TRUE(feed(packet(first)));
  ctx->command = 0xBB;
  ctx->packets = 0;
  ctx->first_packet_seen = 0;
  EXPECT_FALSE(feed(packet(first)));
  EXPECT_EQ(ctx->first_packet_seen, 0u);
}

TEST_F(GlobalsatRecords, RecordsByFormat) {
  struct Case {
    const char* name;
    std::string records;
    std::vector<int> formats;  // of the points decoded, in order
  };
  std::string fmt1 = rec2(1, 1, 1, 10622, 1, 1, 1);
  for (int i = 0; i < 49; ++i) fmt1 += rec1(2, 2, 2, 10622, 2);
  // Twelve bytes remain: a record of 20 would run past the packet.
  fmt1 += rec0(3, 3) + std::string(4, '\0');
  std::string fmt0 = rec2(1, 1, 1, 10622, 1, 1, 0);
  for (int i = 0; i < 130; ++i) fmt0 += rec0(100 + i, 100);
  const Case cases[] = {
      {"format 2 announcing format 0 goes on with 8-byte records",
       rec2(1, 1, 1, 10622, 1, 1, 0) + rec0(5, 5) + rec0(6, 6), {2, 0, 0}},
      {"format 2 announcing format 1", rec2(1, 1, 1, 10622, 1, 1, 1) + rec1(5, 5, 5, 10622, 5), {2, 1}},
      // -1, -1 is empty in every format, 255, 255 in formats 0 and 1 only.
      {"empty slots keep the format",
       rec2(-1, -1, 0, 0, 0, 0, 0) + rec2(1, 1, 1, 10622, 1, 1, 2) + rec2(255, 255, 1, 10622, 1, 1, 2) +
           rec2(7, 7, 7, 10622, 7, 7, 1) + rec1(255, 255, 0, 0, 0) + rec1(-1, -1, 0, 0, 0) + rec1(8, 8, 8, 10622, 8),
       {2, 2, 2, 1}},
      {"records only while all their bytes are in the packet", fmt1,
       [] { std::vector<int> v(50, 1); v[0] = 2; return v; }()},
      {"at most 125 records in a packet", fmt0, [] { std::vector<int> v(125, 0); v[0] = 2; return v; }()},
      {"a format no logger writes ends the packet", rec2(1, 1, 1, 10622, 1, 1, 7) + rec0(5, 5), {2}},
  };
  for (const Case& c : cases) {
    start_track();
    std::string records = c.records;
    if (records.size() > 1024) records.resize(1024);
    feed(packet(records));
    ASSERT_EQ(ctx->points_in_answer, int(c.formats.size())) << c.name;
    for (size_t i = 0; i < c.formats.size(); ++i) EXPECT_EQ(ctx->points[i].format, c.formats[i]) << c.name << " " << i;
  }
}

TEST_F(GlobalsatRecords, ExtraPacketsNeverOverflowTheTrackFile) {
  std::string fmt0 = rec2(1, 1, 1, 10622, 1, 1, 0);
  for (int i = 0; i < 124; ++i) fmt0 += rec0(100 + i, 100);
  std::string more;
  for (int i = 0; i < 128; ++i) more += rec0(300 + i, 300);
  start_track();
  EXPECT_FALSE(feed(packet(fmt0)));
  EXPECT_TRUE(feed(packet(more)));
  EXPECT_EQ(ctx->points_in_answer, 250);
  for (int k = 0; k < 4; ++k) feed(packet(more));
  EXPECT_EQ(ctx->points_in_answer, 250);
  EXPECT_EQ(ctx->points[249].latitude, 300 + 124);
}

TEST_F(GlobalsatRecords, DegreesAndLines) {
  EXPECT_DOUBLE_EQ(globalsat_degrees(48301234), 48.50205666666667);
  EXPECT_NEAR(globalsat_degrees(-1301234), -1.50205666666667, 1e-12);
  struct Case {
    globalsat_point p;
    const char* line;
  };
  const Case cases[] = {
      {{48301234, 2171234, 0, 0, 0, 0, 0}, "2.285390000000000;48.502056666666668;;;;;;;;;;;;;;;\n"},
      {{48301234, 2171234, 93005, 150622, 1234, 0, 1},
       "2.285390000000000;48.502056666666668;\"2022-06-15T09:30:05\";;;;;;12.34000;;;;;;;;\n"},
      {{48301234, 2171234, 93005, 150622, 1234, 2155000, 2},
       "2.285390000000000;48.502056666666668;\"2022-06-15T09:30:05\";;2.155000000000e+02;;;;12.34000;;;;;;;;\n"},
  };
  for (const Case& c : cases) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    globalsat_write_point(f, c.p);
    std::rewind(f);
    char buf[512] = {};
    ASSERT_NE(std::fgets(buf, sizeof buf, f), nullptr);
    std::fclose(f);
    EXPECT_STREQ(buf, c.line);
    EXPECT_EQ(tm_test::split_fields(std::string(buf, std::strlen(buf) - 1), ';').size(), 17u);
  }
}

}  // namespace
