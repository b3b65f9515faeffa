// The Emtac Trine log: the conversion of the binary log into text sentences and the
// reader of the text file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gps/loggers/emtac.h"
#include "tests/gps/royaltek_fixture.h"
#include "tests/support/gps_sim/emtac_sim.h"

namespace rtk_test {
namespace {

using tm_test::emtac_record;
using tm_test::emtac_sim;

emtac_record record(int i) {
  emtac_record r{};
  r.year = 8, r.month = 12, r.day = 31, r.hour = 23, r.minute = 59, r.second = 58 - i;
  r.latitude = -(3351'2000 + i);
  r.longitude = 15112'3400 + i;
  r.altitude_dm = 123;
  r.fix = 3;
  r.hdop_tenths = 12;
  r.heading = 270;
  r.speed_tenths = 55;
  return r;
}

std::string convert(const std::string& image, int records) {
  std::FILE* f = std::tmpfile();
  emtac_convert_log(reinterpret_cast<const uint8_t*>(image.data()), int64_t(image.size()),
                    records, f);
  std::rewind(f);
  std::string out;
  char buf[512];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
  std::fclose(f);
  return out;
}

TEST(EmtacConvert, OnlyTheRecordCountOfAWholeImage) {
  std::vector<emtac_record> three = {record(0), record(1), record(2)};
  three[1].empty = true;
  const std::string image = emtac_sim::image(three);
  const std::string line0 = emtac_sim::sentence(emtac_sim::text_body(1, three[0]));
  const std::string line2 = emtac_sim::sentence(emtac_sim::text_body(3, three[2]));
  struct {
    const char* what;
    std::string image;
    int records;
    std::string text;
  } const cases[] = {
      {"every record but the empty one", image, 3, line0 + line2},
      {"padding after the records is no record", image + std::string(108, '\x1a'), 3,
       line0 + line2},
      {"fewer records asked than held", image, 1, line0},
      {"an image shorter than the count", image.substr(0, 59), 3, ""},
      {"no records", image, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(convert(c.image, c.records), c.text);
  }
  EXPECT_EQ(line0, "$PEMT161,4,1,081231,235958,3,1.2,-3351.2000,15112.3400,12.3,270.0,5.5*" +
                       line0.substr(line0.size() - 4));
}

class EmtacLog : public LoggerFixture {
 protected:
  container_t* load(const std::string& text, int* result) {
    return load_with(emtac_read_log_file, tm_test::write_file(dir_ + "/t.emt", text), result);
  }
};

TEST_F(EmtacLog, PointsOfEveryTypeButZero) {
  const std::string text =
      emtac_sim::sentence("PEMT163,0,TRINE_V1.10") + emtac_sim::sentence("PEMT161,0,3") +
      emtac_sim::sentence("PEMT161,4,1,090315,123456,11,0.9,4830.5000,-00130.2500,250.5,90.0,12.5") +
      emtac_sim::sentence("PEMT161,4,2,090315,123457,2,1.5,-4830.5000,00130.2500,10.0,45.0,0.0");
  int result = -1;
  container_t* list = load(text, &result);
  ASSERT_EQ(result, 0);
  const auto points = all_points(list);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_NEAR(points[0]->coords.y, 48.5083333333, 1e-9);
  EXPECT_NEAR(points[0]->coords.x, -(1 + 30.25 / 60), 1e-9);
  EXPECT_NEAR(points[1]->coords.y, -48.5083333333, 1e-9);
  EXPECT_EQ(seconds_of_day(points[0]), 12 * 3600 + 34 * 60 + 56);
  int year = 0, month = 0;
  double day = 0;
  date_rec when;
  std::memcpy(&when, &points[0]->time, sizeof when);
  date_rec_split(&when, &year, &month, &day);
  EXPECT_EQ(year, 2009);
  EXPECT_EQ(month, 3);
  EXPECT_EQ(int(day), 15);
  EXPECT_NEAR(points[0]->altitude, 250.5, 1e-4);
  const double direction = points[0]->direction, speed = points[0]->speed;
  EXPECT_NEAR(direction, 90.0, 1e-9);
  EXPECT_NEAR(speed, 12.5, 1e-9);
  obj_t* const navig0 = points[0]->navig;
  obj_t* const navig1 = points[1]->navig;
  ASSERT_NE(navig0, nullptr);
  ASSERT_NE(navig1, nullptr);
  const auto* nav = static_cast<const navigation_t*>(navig0);
  EXPECT_EQ(nav->fix, 3);
  EXPECT_EQ(nav->dgps, 1);
  const double hdop = nav->hdop;
  EXPECT_NEAR(hdop, 0.9, 1e-9);
  const auto* nav1 = static_cast<const navigation_t*>(navig1);
  EXPECT_EQ(nav1->fix, 2);
  EXPECT_EQ(nav1->dgps, 0);
}

TEST_F(EmtacLog, HostileLinesMakeNoPoint) {
  const std::string good =
      emtac_sim::sentence("PEMT161,4,1,090315,123456,3,0.9,4830.5000,00130.2500,1.0,2.0,3.0");
  struct {
    const char* what;
    std::string text;
    size_t points;
  } const cases[] = {
      {"a status line", emtac_sim::sentence("PEMT161,0,5"), 0},
      {"a line longer than 100 characters", "$PEMT161,4," + std::string(300, '9') + "\r\n" + good, 1},
      {"no position", emtac_sim::sentence("PEMT161,4,1,090315,123456,3,0.9,,,1,2,3"), 0},
      {"a cut file", good + good.substr(0, 30), 1},
      {"binary noise", std::string("\x00\xff\x01$PEMT\r\r\n", 11) + good, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    int result = -1;
    container_t* list = load(c.text, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(all_points(list).size(), c.points);
  }
}

TEST_F(EmtacLog, MissingFileGives2) {
  fileatt_t* f = loaded_.open(dir_ + "/none.emt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(emtac_read_log_file(f, f->sot), 2);
}

}  // namespace
}  // namespace rtk_test

namespace rtk_test {
namespace {

// The committed fixtures (scripts/fixtures/make_royaltek_fixtures.py): the binary log
// converts into exactly the record lines of the text log, which loads 11 points (one
// slot of the 12 is empty).
TEST_F(EmtacLog, FixtureImageAndText) {
  const std::string image = tm_test::slurp_file(TM_FIXTURE_DIR "/emtac/log_image.bin");
  const std::string text = tm_test::slurp_file(TM_FIXTURE_DIR "/emtac/log.emt");
  ASSERT_EQ(image.size(), 240u);
  const size_t records = text.find("$PEMT161,4,");
  ASSERT_NE(records, std::string::npos);
  EXPECT_EQ(convert(image, 12), text.substr(records));
  int result = -1;
  container_t* list = load_with(emtac_read_log_file, TM_FIXTURE_DIR "/emtac/log.emt", &result);
  ASSERT_EQ(result, 0);
  const auto points = all_points(list);
  ASSERT_EQ(points.size(), 11u);
  EXPECT_NEAR(points[0]->coords.y, 48 + 30.1234 / 60, 1e-9);
  EXPECT_NEAR(points[0]->coords.x, -(1 + 23.05 / 60), 1e-9);
  EXPECT_EQ(seconds_of_day(points[0]), 10 * 3600);
}

}  // namespace
}  // namespace rtk_test
