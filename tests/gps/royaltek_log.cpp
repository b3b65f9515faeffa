// The RoyalTek log reader: records of each log type, the length byte read unsigned,
// a segment per subfile header, sentences cut short or out of place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gps/loggers/royaltek_log.h"
#include "tests/gps/royaltek_fixture.h"
#include "tests/support/gps_sim/royaltek_sim.h"

namespace rtk_test {
namespace {

using tm_test::royaltek_point;
using tm_test::royaltek_sim;

std::string header(int index, int type, int points) {
  return royaltek_sim::sentence("LOG101," + std::to_string(index) + "," + std::to_string(type) +
                                "," + std::to_string(points) + ",65536");
}

// A LOG102 of the records, with the length byte given (default: the records' size).
std::string records(int block, const std::string& bytes, int length = -1) {
  std::string body = "LOG102,";
  body.push_back(char(block & 0xFF));
  body.push_back(char(block >> 8));
  body.push_back(char(length < 0 ? bytes.size() : size_t(length)));
  body += bytes;
  return royaltek_sim::sentence(body);
}

royaltek_point point(int i) {
  return {10, 20, i % 60, 48.5 + i * 0.001, -3.25 - i * 0.001, 120.0 + i, 10.0};
}

std::string packed(int type, int from, int count) {
  std::string out;
  for (int i = from; i < from + count; ++i) out += royaltek_sim::pack(point(i), type);
  return out;
}

class RoyaltekLog : public LoggerFixture {
 protected:
  container_t* load(const std::string& text, int* result) {
    return load_with(gpslog_read, tm_test::write_file(dir_ + "/t.rtkt", text), result);
  }
};

TEST_F(RoyaltekLog, RecordsOfEachLogType) {
  struct {
    int type;
    bool altitude, speed;
  } const cases[] = {{0, false, false}, {1, true, false}, {2, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    int result = -1;
    container_t* list = load(header(0, c.type, 3) + records(0, packed(c.type, 0, 3)), &result);
    ASSERT_EQ(result, 0);
    const auto points = all_points(list);
    ASSERT_EQ(points.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      const royaltek_point t = point(i);
      EXPECT_NEAR(points[size_t(i)]->coords.y, royaltek_sim::stored_degrees(t.latitude), 1e-9);
      EXPECT_NEAR(points[size_t(i)]->coords.x, royaltek_sim::stored_degrees(t.longitude), 1e-9);
      EXPECT_EQ(seconds_of_day(points[size_t(i)]), 10 * 3600 + 20 * 60 + i);
      EXPECT_NEAR(points[size_t(i)]->altitude, c.altitude ? t.altitude : 0.0, 1e-3);
      // 10 m/s is 36 km/h.
      EXPECT_NEAR(points[size_t(i)]->speed, c.speed ? 36.0 : 0.0, 1e-4);
    }
  }
}

TEST_F(RoyaltekLog, LengthByteCountsWholeRecordsUnsigned) {
  struct {
    int type, records, extra, expected;
  } const cases[] = {
      {1, 2, 8, 2},     // 40 bytes of type 1: 2 records, the rest ignored
      {2, 12, 0, 12},   // 240 bytes: a length byte above 127
      {0, 21, 3, 21},   // 255 bytes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.records);
    std::string bytes = packed(c.type, 0, c.records) + std::string(size_t(c.extra), '\x11');
    int result = -1;
    container_t* list = load(header(0, c.type, c.records) + records(0, bytes), &result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(all_points(list).size(), size_t(c.expected));
  }
}

TEST_F(RoyaltekLog, EachHeaderStartsASegment) {
  const std::string text = royaltek_sim::sentence("LOG108,2,1,2,3,4,5,6,3") + header(0, 2, 2) +
                           records(0, packed(2, 0, 2)) + header(1, 0, 1) +
                           records(0, packed(0, 5, 1)) + header(2, 1, 3) +
                           records(0, packed(1, 9, 2)) + records(1, packed(1, 11, 1));
  int result = -1;
  container_t* list = load(text, &result);
  ASSERT_EQ(result, 0);
  const auto segments = segments_of(list);
  ASSERT_EQ(segments.size(), 3u);
  EXPECT_EQ(points_of(segments[0]).size(), 2u);
  EXPECT_EQ(points_of(segments[1]).size(), 1u);
  EXPECT_EQ(points_of(segments[2]).size(), 3u);
}

TEST_F(RoyaltekLog, SentencesOutOfPlaceOrCutMakeNoPoint) {
  const std::string good = header(0, 2, 2) + records(0, packed(2, 0, 2));
  std::string cut = records(1, packed(2, 2, 2));
  cut.resize(cut.size() - 20);
  std::string bad_sum = records(1, packed(2, 2, 1));
  bad_sum[bad_sum.size() - 3] = bad_sum[bad_sum.size() - 3] == '0' ? '1' : '0';
  struct {
    const char* what;
    std::string text;
    size_t points;
  } const cases[] = {
      {"records before any header", records(0, packed(2, 0, 2)) + good, 2},
      {"a header of an unknown type", header(0, 7, 2) + records(0, packed(2, 0, 2)), 0},
      {"a length byte beyond the sentence", good + records(1, packed(2, 2, 1), 200), 2},
      {"a file cut inside a sentence", good + cut, 2},
      {"a bad checksum", good + bad_sum, 2},
      {"a good one after a bad checksum", good + bad_sum + records(1, packed(2, 3, 1)), 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    int result = -1;
    container_t* list = load(c.text, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(all_points(list).size(), c.points);
  }
}

TEST_F(RoyaltekLog, MissingFileGives2) {
  fileatt_t* f = loaded_.open(dir_ + "/none.rtkt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(gpslog_read(f, f->sot), 2);
}

}  // namespace
}  // namespace rtk_test

namespace rtk_test {
namespace {

// The committed fixture (scripts/fixtures/make_royaltek_fixtures.py): a type-2 subfile
// of 15 points and a type-0 subfile of 25.
TEST_F(RoyaltekLog, FixtureOfTwoSubfiles) {
  int result = -1;
  container_t* list =
      load_with(gpslog_read, TM_FIXTURE_DIR "/royaltek/two_subfiles.rtkt", &result);
  ASSERT_EQ(result, 0);
  const auto segments = segments_of(list);
  ASSERT_EQ(segments.size(), 2u);
  const auto first = points_of(segments[0]), second = points_of(segments[1]);
  ASSERT_EQ(first.size(), 15u);
  ASSERT_EQ(second.size(), 25u);
  EXPECT_NEAR(first[3]->coords.y, royaltek_sim::stored_degrees(45.0003), 1e-9);
  EXPECT_NEAR(first[3]->coords.x, royaltek_sim::stored_degrees(5.9994), 1e-9);
  EXPECT_NEAR(first[3]->altitude, 303.0, 1e-4);
  EXPECT_NEAR(first[3]->speed, 9.0, 1e-4);
  EXPECT_EQ(seconds_of_day(first[3]), 8 * 3600 + 3);
  EXPECT_NEAR(second[24]->coords.y, royaltek_sim::stored_degrees(-33.5024), 1e-9);
  EXPECT_NEAR(second[24]->coords.x, royaltek_sim::stored_degrees(151.2524), 1e-9);
  EXPECT_EQ(seconds_of_day(second[24]), 9 * 3600 + 30 * 60 + 24);
  EXPECT_NEAR(second[24]->altitude, 0.0, 1e-9);
}

}  // namespace
}  // namespace rtk_test
