// The resampler: points inserted on the 1 s + 4.99 s grid of a gap, each at least 5 m
// beyond the last, with interpolated values and synthesised sentences; none in short
// gaps or across the start of a recorded run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/error.h"
#include "gps/nmea_parser.h"
#include "quellix/qx_builders.h"
#include "quellix/replay_point.h"
#include "tests/quellix/qx_builders_test_support.h"

namespace {

using tm_test::days;
using tm_test::lat_field;
using tm_test::rmc;
using tm_test::sentence;

constexpr const char* kLon = "00600.0000";

class QxResample : public tm_test::QxBuildersFixture {
 protected:
  std::vector<replay_point*> resampled(const std::string& text) {
    fileatt_t* f = nmea_file(text);
    EXPECT_EQ(qx_read_nmea_log(f), 0);
    qx_resample_track(f);
    EXPECT_EQ(get_gblerr(), 0);
    return points_of(f);
  }
};

// Two points 30 s apart, `minutes_between` minutes of latitude apart.
std::string gap_log(double minutes_between) {
  return rmc("100000", lat_field(0), kLon, "3.6") + rmc("100030", lat_field(minutes_between), kLon, "3.6");
}

struct gap_case {
  const char* name;
  double minutes;               // latitude minutes between the two points
  std::vector<double> steps;    // grid steps (s) that get a point
};

TEST_F(QxResample, PointsOnTheGridOfAGap) {
  // 0.108 minute is about 200 m: every grid step lies 34 m on; 0.0054 minute is about
  // 10 m: only the step that first reaches 5 m.
  const gap_case cases[] = {
      {"200_m", 0.108, {1, 5.99, 10.98, 15.97, 20.96, 25.95}},
      {"10_m", 0.0054, {15.97}},
      {"4_m", 0.0022, {}},
  };
  for (const gap_case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto p = resampled(gap_log(c.minutes));
    ASSERT_EQ(p.size(), c.steps.size() + 2);
    const replay_point* first = p.front();
    const replay_point* last = p.back();
    EXPECT_EQ(first->time, 0.0);
    EXPECT_NEAR(last->time, days(30), 1e-9);
    double previous = first->distance;
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const replay_point* q = p[i + 1];
      SCOPED_TRACE(i);
      const double a = c.steps[i] / 29.0;
      EXPECT_NEAR(q->time, first->time + a * (last->time - first->time), 1e-9);
      EXPECT_NEAR(q->distance, first->distance + a * (last->distance - first->distance), 1e-6);
      EXPECT_GE(double(q->distance), previous + 5.0);
      previous = q->distance;
      EXPECT_NEAR(q->latitude, first->latitude + a * (last->latitude - first->latitude), 1e-9);
      // 3.6 knots is 6.6672 km/h; inserted speeds keep two decimals.
      EXPECT_DOUBLE_EQ(double(q->speed), std::trunc(6.6672 * 100.0) * 0.01);
      EXPECT_EQ(int(q->marker), QX_MARKER_NONE);
      // Its own synthesised sentences, which our parser reads back.
      const std::string t = text_of(q);
      ASSERT_EQ(t.rfind("$GPGGA,,", 0), 0u) << t;
      nmea_parser* parser = nullptr;
      ASSERT_EQ(nmea_reader_create(nullptr, nullptr, &parser), 0);
      nmea_feed(reinterpret_cast<const uint8_t*>(t.data()), int(t.size()), parser);
      EXPECT_NEAR(parser->fix->latitude / 3600.0, q->latitude, 1e-6);
      EXPECT_NEAR(parser->fix->speed, q->speed, 1e-3);
      nmea_reader_free(&parser);
    }
    // The log's own points keep their recorded sentences.
    EXPECT_EQ(text_of(last), rmc("100030", lat_field(c.minutes), kLon, "3.6"));
  }
}

// "hhmmss.ss" of 10:00:00 plus `seconds`.
std::string time_after_ten(double seconds) {
  char b[16];
  std::snprintf(b, sizeof b, "10%02d%05.2f", int(seconds) / 60, std::fmod(seconds, 60.0));
  return b;
}

TEST_F(QxResample, NothingInsertedWhereTheGridDoesNotFallInsideTheGap) {
  // Fixes a second apart have no gap; fixes 2 s apart have their first grid step on the
  // next fix, and a gap of 1 s + 4.99 s its second one: none of them gets a point there
  // (a copy of the fix with synthesised sentences), whatever the sums of day fractions
  // round to. 0.1 minute of latitude (185 m) between fixes: every step would be taken.
  struct grid_case {
    const char* name;
    double first_s, spacing_s;
    size_t fixes, inserted;
  };
  const grid_case cases[] = {
      {"1_s", 0, 1.0, 5, 0},
      {"2_s_from_0", 0, 2.0, 30, 0},
      {"2_s_from_17", 17, 2.0, 30, 0},
      {"2_s_from_3.5", 3.5, 2.0, 30, 0},
      {"6.99_s", 0, 6.99, 6, 5},    // the step of 1 s only
      {"11.98_s", 0, 11.98, 6, 10},  // 1 s and 5.99 s
  };
  for (const grid_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text;
    for (size_t i = 0; i < c.fixes; ++i)
      text += rmc(time_after_ten(c.first_s + c.spacing_s * double(i)), lat_field(0.1 * double(i)), kLon, "100.0");
    const auto p = resampled(text);
    size_t inserted = 0;
    for (size_t i = 0; i < p.size(); ++i) {
      if (!p[i]->inserted) continue;
      ++inserted;
      ASSERT_LT(i + 1, p.size());
      // Well before the next fix, in time and in place.
      EXPECT_LT(p[i]->time, p[i + 1]->time - days(0.5)) << i;
      EXPECT_LT(p[i]->distance, p[i + 1]->distance - 5.0) << i;
    }
    EXPECT_EQ(inserted, c.inserted);
    EXPECT_EQ(p.size(), c.fixes + c.inserted);
  }
}

TEST_F(QxResample, NothingInsertedAcrossTwoRecordedRuns) {
  // The same gap as above, but the first run ends with STOP and the second starts with
  // START: the STOP ends the first point, the START is held for the second.
  const std::string stop = sentence("$PTMQT,STOP"), start = sentence("$PTMQT,START");
  const std::string first = rmc("100000", lat_field(0), kLon, "3.6");
  const std::string second = rmc("100030", lat_field(0.108), kLon, "3.6");
  const auto p = resampled(first + stop + start +
                           sentence("$PTMQB,100030,10032024") + second);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(text_of(p[0]), first + stop);
  EXPECT_EQ(text_of(p[1]), start + second);
  EXPECT_EQ(int(p[1]->marker), QX_MARKER_START);
  EXPECT_NEAR(p[1]->distance, 200.0, 2.0);
}

TEST_F(QxResample, LongGapOverAShortDistanceEndsAtOnce) {
  // Years between two fixes 6 m apart: one point, without walking the grid.
  const auto p = resampled(rmc("100000", lat_field(0), kLon, "0.1", "010100") +
                           rmc("100000", lat_field(0.0033), kLon, "0.1", "010169"));
  ASSERT_EQ(p.size(), 3u);
  EXPECT_GE(double(p[1]->distance), p[0]->distance + 5.0);
}

TEST_F(QxResample, ResampledTrackIsTheContentList) {
  fileatt_t* f = nmea_file(gap_log(0.108));
  ASSERT_EQ(qx_read_nmea_log(f), 0);
  qx_resample_track(f);
  // The list holds the segment and every point, in id order.
  int points = 0, previous_id = 0;
  for (int i = 0; i < obj_list_count(f->sot); ++i) {
    const obj_t* o = f->sot->elems[i];
    EXPECT_GT(int(o->id), previous_id);
    previous_id = o->id;
    if (o->cls == CLS_REPLAY_POINT) ++points;
  }
  EXPECT_EQ(points, 8);
  const auto segments = tm_test::objects_of<trackseg_t>(f->sot, CLS_TRACKSEG);
  ASSERT_EQ(segments.size(), 1u);
  EXPECT_EQ(obj_list_count(segments[0]->sons), 8);
}

}  // namespace
