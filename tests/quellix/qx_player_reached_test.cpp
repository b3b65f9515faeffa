// A point goes out when the replay clock has reached it: the ticks of a run, one at a
// time on the virtual clock, and the moment each datagram left. The first point goes out
// at play; every later one at the first tick at or after its own time on the run's clock
// (track time over the factor, or distance at the speed), never before it, each once and
// in the run's order, forwards or backwards, by time or by speed, and again on each pass
// of a loop.
#include <cmath>

#include "tests/quellix/qx_player_fixture.h"

namespace qx_test {
namespace {

struct heard {
  int64_t at_ms;  // after the run's play
  std::string text;
};

struct reached_case {
  const char* name;
  std::vector<PointAt> places;
  double factor;     // time factor, or 0 for the speed mode
  double speed;      // km/h in the speed mode
  bool backwards;    // from the last point (sought) down to the first
};

void PrintTo(const reached_case& c, std::ostream* os) { *os << c.name; }

std::vector<PointAt> even(size_t n, double step_s, double step_m) {
  std::vector<PointAt> out;
  for (size_t i = 0; i < n; ++i) out.push_back({double(i) * step_s, double(i) * step_m});
  return out;
}

class PlayerReached : public PlayerTest, public ::testing::WithParamInterface<reached_case> {
 protected:
  // Plays and runs the ticks one at a time for `ms`, noting when each datagram left.
  std::vector<heard> play_and_listen(int64_t ms) {
    const int64_t start = plat::now_ms();
    std::vector<heard> out;
    const auto note = [&] {
      for (std::string& d : wire()) out.push_back({plat::now_ms() - start, std::move(d)});
    };
    qx_player_play();
    posts_.run_for(0);
    note();
    for (int64_t t = 0; t < ms; t += kQxTickMs) {
      posts_.run_for(kQxTickMs);
      note();
    }
    return out;
  }
};

// When the run's clock reaches point i (ms after play).
double due_ms(const reached_case& c, size_t i, size_t first) {
  const PointAt& p = c.places[i];
  const PointAt& s = c.places[first];
  if (c.factor > 0) return std::fabs(p.seconds - s.seconds) * 1000.0 / c.factor;
  return std::fabs(p.metres - s.metres) / (c.speed / 3.6) * 1000.0;
}

TEST_P(PlayerReached, EachPointGoesOutWhenTheClockReachesItNeverBefore) {
  const reached_case& c = GetParam();
  create_player(make_track(c.places));
  if (c.factor > 0) qx_player_set_time_factor(c.factor);
  else qx_player_set_speed(c.speed);
  const size_t n = c.places.size();
  const size_t first = c.backwards ? n - 1 : 0;
  if (c.backwards) {
    qx_player_seek(1.0);
    qx_player_set_direction(-1.0);
  }
  drain_all();
  const double last_due = due_ms(c, c.backwards ? 0 : n - 1, first);
  const std::vector<heard> got = play_and_listen(int64_t(last_due) + 2000);

  ASSERT_GE(got.size(), n + 2);
  EXPECT_EQ(got.front().text, start_marker());
  EXPECT_EQ(got.front().at_ms, 0);
  EXPECT_EQ(got.back().text, stop_marker()) << "the run ends after its last point";
  // The points between the markers: each once, in the run's order, at its time.
  ASSERT_EQ(got.size(), n + 2);
  for (size_t k = 0; k < n; ++k) {
    const size_t i = c.backwards ? n - 1 - k : k;
    const heard& h = got[k + 1];
    SCOPED_TRACE("point " + std::to_string(i));
    EXPECT_EQ(h.text, point_text(i));
    const double due = due_ms(c, i, first);
    EXPECT_GE(double(h.at_ms), due - 1.0) << "sent before the clock reached it";
    EXPECT_LT(double(h.at_ms), due + kQxTickMs) << "sent more than a tick after it";
  }
  EXPECT_LE(double(got.back().at_ms), last_due + 1000.0 + 2 * kQxTickMs);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PlayerReached,
    ::testing::Values(
        // Twelve fixes 2 s apart: the second goes out at 2 s, the last at 22 s.
        reached_case{"every_2_s", even(12, 2.0, 10.0), 1.0, 0, false},
        reached_case{"factor_3", even(12, 2.0, 10.0), 3.0, 0, false},
        reached_case{"factor_half", even(5, 2.0, 10.0), 0.5, 0, false},
        // Fixes closer than a tick: each at the first tick after its time.
        reached_case{"closer_than_a_tick", even(10, 0.15, 2.0), 1.0, 0, false},
        reached_case{"uneven", {{0, 0}, {0.5, 3}, {0.55, 4}, {3.0, 20}, {3.1, 21}, {7.9, 50}}, 1.0, 0, false},
        // 36 km/h over points 20 m apart: one every 2 s.
        reached_case{"speed_36", even(8, 1.0, 20.0), 0, 36.0, false},
        reached_case{"backwards", even(8, 2.0, 10.0), 1.0, 0, true},
        reached_case{"backwards_speed", even(6, 1.0, 20.0), 0, 36.0, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Each pass of a loop opens with STOP, START and the first point at the tick that found
// the end, and its points then go out as the clock of the new pass reaches them.
TEST_F(PlayerTest, EachPassOfALoopSendsItsPointsWhenReached) {
  create_player(make_even_track(4, 1.0, 10.0));
  qx_player_set_loop(1);
  drain_all();
  const int64_t start = plat::now_ms();
  std::vector<heard> got;
  qx_player_play();
  posts_.run_for(0);
  for (int t = 0; t < 20; ++t) {
    for (std::string& d : wire()) got.push_back({plat::now_ms() - start, std::move(d)});
    posts_.run_for(kQxTickMs);
  }
  // Pass one from 0: the tick at 3.2 s reaches the last point (3 s), finds the end and
  // opens pass two there, whose points go out on its own clock.
  const std::vector<std::pair<int64_t, std::string>> expected = {
      {0, start_marker()},    {0, point_text(0)},     {1200, point_text(1)}, {2000, point_text(2)},
      {3200, point_text(3)},  {3200, stop_marker()},  {3200, start_marker()}, {3200, point_text(0)},
      {4400, point_text(1)},  {5200, point_text(2)},  {6400, point_text(3)}, {6400, stop_marker()},
      {6400, start_marker()}, {6400, point_text(0)}};
  ASSERT_GE(got.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(got[k].at_ms, expected[k].first);
    EXPECT_EQ(got[k].text, expected[k].second);
  }
}

// A tick held up past the end by more than the look-back still brings the points the
// clock passed before the run's STOP: none that the clock reached is lost.
TEST_F(PlayerTest, ALateTickAfterTheEndStillSendsTheLastPoints) {
  create_player(make_even_track(4, 1.0, 10.0));
  drain_all();
  qx_player_play();
  posts_.run_for(0);
  posts_.run_for(1300);  // point 1 at 1.2 s
  EXPECT_EQ(wire(), std::vector<std::string>({start_marker(), point_text(0), point_text(1)}));
  // The window thread is busy: the next tick runs 5 s late, well past the end (3 s).
  plat::advance_virtual_ms(5000);
  posts_.run_for(0);
  EXPECT_EQ(wire(), std::vector<std::string>({point_text(2), point_text(3), stop_marker()}));
  EXPECT_DOUBLE_EQ(qx_current_player()->start_time * 86400.0, 3.0);
}

}  // namespace
}  // namespace qx_test
