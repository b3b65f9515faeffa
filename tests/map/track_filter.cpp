// The track point filter on small tracks: spikes, short and untimed segments, and the
// segment's first point, which the filtered list keeps.
#include "map/track_filter.h"

#include <gtest/gtest.h>

#include <vector>

#include "geodesy/georef.h"
#include "tests/map/gps_fixture.h"

namespace tm_test {
namespace {

// One metre of latitude in degrees, near enough for walking tracks.
constexpr double kDegPerMetre = 1.0 / 111195.0;

class TrackFilter : public GpsFixture {
 protected:
  void SetUp() override {
    GpsFixture::SetUp();
    georef_create(list_, &georef_);
    tracklog_create(list_, &track_);
    trackseg_create(track_, list_, &seg_);
  }
  // n points one second apart walking north at 1.4 m/s; the points listed in `spikes`
  // jump 10 km east; `dated` false leaves the dates unset.
  std::vector<obj_t*> walk(int n, std::vector<int> spikes = {}, bool dated = true) {
    std::vector<obj_t*> pts;
    for (int i = 0; i < n; ++i) {
      double x = 2.0, y = 45.0 + i * 1.4 * kDegPerMetre;
      for (int s : spikes)
        if (s == i) x += 10000.0 * kDegPerMetre;
      const date_rec d = at_second(i);
      gpspos_t* p = nullptr;
      gpspos_create(x, y, dated ? &d : nullptr, 0, seg_, list_, &p);
      pts.push_back(p);
    }
    return pts;
  }
  std::vector<obj_t*> segment_points() const {
    std::vector<obj_t*> v;
    for (int i = 0; i < obj_list_count(seg_->sons); ++i) v.push_back(seg_->sons->elems[i]);
    return v;
  }

  georef_t* georef_ = nullptr;
  tracklog_t* track_ = nullptr;
  trackseg_t* seg_ = nullptr;
};

// The spike goes; every other point stays, the first one included, in order.
TEST_F(TrackFilter, DropsASpikeAndKeepsTheFirstPoint) {
  const std::vector<obj_t*> pts = walk(20, {7});
  track_filter_segments(list_);
  std::vector<obj_t*> expected = pts;
  expected.erase(expected.begin() + 7);
  EXPECT_EQ(segment_points(), expected);
  EXPECT_EQ(segment_points().front(), pts.front());
  // The dropped point is still an object of the data set.
  EXPECT_EQ(obj_list_count_of_class(list_, CLS_GPSPOS), 20);
}

TEST_F(TrackFilter, SegmentsLeftAlone) {
  const struct {
    const char* what;
    int n;
    std::vector<int> spikes;
    bool dated;
  } cases[] = {
      {"nine timed points", 9, {4}, true},
      {"no dates", 20, {7}, false},
      // With the spike in the mean, fewer than ten steps pass the first limit.
      {"ten points, one spike", 10, {5}, true},
  };
  for (const auto& c : cases) {
    obj_list_clear(seg_->sons);
    const std::vector<obj_t*> pts = walk(c.n, c.spikes, c.dated);
    EXPECT_EQ(track_filter_segment(seg_, georef_), 0) << c.what;
    EXPECT_EQ(segment_points(), pts) << c.what;
  }
}

// Duplicate fixes (same time, same place) give no valid speed: they leave the list,
// the first point stays.
TEST_F(TrackFilter, DuplicateFixesAreDropped) {
  std::vector<obj_t*> pts = walk(15);
  std::vector<obj_t*> dups;
  for (int i : {3, 9}) {
    auto* src = static_cast<gpspos_t*>(pts[size_t(i)]);
    gpspos_t* d = nullptr;
    const date_rec t = at_second(i);
    gpspos_create(val(src->coords.x), val(src->coords.y), &t, 0, nullptr, list_, &d);
    dups.push_back(d);
  }
  // Insert each duplicate right after its original.
  obj_list_clear(seg_->sons);
  for (size_t i = 0; i < pts.size(); ++i) {
    obj_list_append(seg_->sons, pts[i]);
    if (i == 3) obj_list_append(seg_->sons, dups[0]);
    if (i == 9) obj_list_append(seg_->sons, dups[1]);
  }
  EXPECT_EQ(track_filter_segment(seg_, georef_), 1);
  EXPECT_EQ(segment_points(), pts);
}

// The reference is the earliest point even when it is not first in the list; it heads
// the filtered list.
TEST_F(TrackFilter, EarliestPointHeadsTheResult) {
  std::vector<obj_t*> pts = walk(16, {10});
  // Move the earliest point (time 0) to the end of the list.
  obj_list_remove_at(seg_->sons, 0);
  obj_list_append(seg_->sons, pts[0]);
  EXPECT_EQ(track_filter_segment(seg_, georef_), 1);
  const std::vector<obj_t*> got = segment_points();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.front(), pts[0]);
  EXPECT_EQ(std::count(got.begin(), got.end(), pts[10]), 0);
  EXPECT_EQ(got.size(), size_t(15));
}

// The quarter is counted on the points the last pass kept, the earliest point aside:
// of 40 points, 9 kept leave the segment whole and 10 replace it. The track: the
// earliest point, `slow` walking steps, one step at 150 m/s (under the first limit, over
// the second), ten fixes far away, and undated points to make up 40.
TEST_F(TrackFilter, AQuarterOfThePointsMustPassBesideTheEarliest) {
  const struct {
    int slow;
    int replaced;
    size_t kept;
  } cases[] = {{9, 0, 40}, {10, 1, 11}};
  for (const auto& c : cases) {
    obj_list_clear(seg_->sons);
    std::vector<obj_t*> pts;
    double y = 45.0;
    auto add = [&](double x, double lat, int second) {
      const date_rec d = at_second(second);
      gpspos_t* p = nullptr;
      gpspos_create(x, lat, second >= 0 ? &d : nullptr, 0, seg_, list_, &p);
      pts.push_back(p);
    };
    int t = 0;
    add(2.0, y, t++);
    for (int i = 0; i < c.slow; ++i) add(2.0, y += 1.4 * kDegPerMetre, t++);
    add(2.0, y + 150.0 * kDegPerMetre, t++);
    for (int i = 0; i < 10; ++i) add(3.0, y, t++);
    while (pts.size() < 40) add(2.0, y, -1);
    EXPECT_EQ(track_filter_segment(seg_, georef_), c.replaced) << c.slow;
    const std::vector<obj_t*> got = segment_points();
    EXPECT_EQ(got.size(), c.kept) << c.slow;
    if (c.replaced) {
      EXPECT_EQ(got, std::vector<obj_t*>(pts.begin(), pts.begin() + 1 + c.slow)) << c.slow;
    }
  }
}

}  // namespace
}  // namespace tm_test
