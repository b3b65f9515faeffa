// The replay engine on the wire: the datagrams two loopback listeners receive while a
// track is played, paused, stopped, looped, sought and run backwards, with the ticks run
// by a stand-in dispatcher on the virtual clock.
#include "tests/quellix/qx_player_fixture.h"

namespace qx_test {
namespace {

using strings = std::vector<std::string>;

std::string P(size_t i) { return "P" + std::to_string(i) + "\r\n"; }

TEST(QxMarkers, ChecksumsAreTheXorOfTheTextBetweenDollarAndStar) {
  struct marker_case {
    const char* sentence;
    int length;
  };
  const marker_case cases[] = {{qx_start_marker_sentence, qx_start_marker_length()},
                               {qx_stop_marker_sentence, qx_stop_marker_length()}};
  for (const auto& c : cases) {
    const std::string s(c.sentence, size_t(c.length));
    ASSERT_EQ(s.size(), std::strlen(c.sentence));
    ASSERT_EQ(s.substr(s.size() - 2), "\r\n");
    const size_t star = s.find('*');
    ASSERT_NE(star, std::string::npos);
    unsigned sum = 0;
    for (size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(s[i]);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    EXPECT_EQ(s.substr(star + 1, 2), hex) << s;
  }
  EXPECT_EQ(std::string(qx_start_marker_sentence), start_marker());
  EXPECT_EQ(std::string(qx_stop_marker_sentence), stop_marker());
}

TEST_F(PlayerTest, PlayPressedTwicePauseAndStop) {
  create_player(make_even_track(5, 1.0, 10.0));
  EXPECT_EQ(wire(), strings({stop_marker()}));
  qx_player_play();
  posts_.run_for(0);
  EXPECT_EQ(wire(), strings({start_marker(), P(0)}));
  posts_.run_for(1000);  // the ticks at 0.4 s and 0.8 s have not reached point 1
  EXPECT_EQ(wire(), strings{});
  posts_.run_for(800);   // the ticks at 1.2 s and 1.6 s both reach it: sent once
  EXPECT_EQ(wire(), strings({P(1)}));

  const int ticks_before = posts_.count(kQxTimerCommand);
  qx_player_play();  // the direction it already runs
  EXPECT_EQ(wire(), strings{});
  EXPECT_EQ(posts_.count(kQxTimerCommand), ticks_before);

  qx_player_reset();
  EXPECT_EQ(wire(), strings({stop_marker(), stop_marker()}));
  qx_player* p = qx_current_player();
  EXPECT_EQ(p->running_direction, 0.0);
  EXPECT_DOUBLE_EQ(p->start_time * 86400.0, 1.0);  // paused at 1.8 s: the point of 1 s
  posts_.run_for(2000);                             // the pending tick of the paused run
  EXPECT_EQ(wire(), strings{});

  qx_player_stop();
  EXPECT_EQ(wire(), strings({stop_marker(), stop_marker()}));
  EXPECT_EQ(p->start_time, 0.0);
  EXPECT_EQ(p->current_point, nullptr);
}

TEST_F(PlayerTest, APauseCancelsThePendingTickOfItsRun) {
  create_player(make_even_track(20, 1.0, 10.0));
  qx_player_play();
  posts_.run_for(500);
  qx_player_reset();
  qx_player_play();  // a new run while the old run's tick is still pending
  posts_.run_for(4000);
  std::lock_guard<std::mutex> lock(posts_.m);
  EXPECT_EQ(posts_.timers.size(), 1u) << "one chain of ticks, not two";
}

TEST_F(PlayerTest, LoopEndsEachPassWithStopStartAndTheFirstPoint) {
  create_player(make_even_track(3, 1.0, 10.0));
  qx_player_set_loop(1);
  drain_all();
  qx_player_play();
  posts_.run_for(0);
  posts_.run_for(2400);
  EXPECT_EQ(wire(), strings({start_marker(), P(0), P(1), P(2), stop_marker(), start_marker(), P(0)}));
  posts_.run_for(2400);
  EXPECT_EQ(wire(), strings({P(1), P(2), stop_marker(), start_marker(), P(0)}));
}

TEST_F(PlayerTest, TheEndOfTheTrackWithoutLoopStopsTheRun) {
  create_player(make_even_track(3, 1.0, 10.0));
  drain_all();
  qx_player_play();
  posts_.run_for(0);
  posts_.run_for(5000);
  EXPECT_EQ(wire(), strings({start_marker(), P(0), P(1), P(2), stop_marker()}));
  qx_player* p = qx_current_player();
  EXPECT_EQ(p->running_direction, 0.0);
  EXPECT_DOUBLE_EQ(p->start_time * 86400.0, 2.0);
  EXPECT_EQ(ui_.release_buttons, 1);
  EXPECT_EQ(ui_.locks, std::vector<int>({0}));
  std::lock_guard<std::mutex> lock(posts_.m);
  EXPECT_TRUE(posts_.timers.empty());
}

// Fixes closer together than a tick: each of the track's own fixes still goes out once
// and in order; a point the resampler inserted is passed over unless a tick reaches it.
// The ticks at 0.4, 0.8 and 1.2 s reach the points 2 (0.30 s), 5 (0.75 s) and 8 (1.20 s).
TEST_F(PlayerTest, FixesWithinOneTickAreAllSentInOrder) {
  create_player(make_even_track(10, 0.15, 2.0));
  for (size_t i : {1, 4, 5, 7}) points_[i]->inserted = 1;
  drain_all();
  qx_player_play();
  posts_.run_for(0);
  posts_.run_for(3000);
  EXPECT_EQ(wire(), strings({start_marker(), P(0), P(2), P(3), P(5), P(6), P(8), P(9), stop_marker()}));
}

// The first tick of a run comes some time after the run started (at once in the window
// thread's queue, but never at the very instant of the reference): the run still opens
// with its start point, then what the clock passed since, then goes on at its pace.
TEST_F(PlayerTest, ALateFirstTickStillOpensTheRunWithItsStartPoint) {
  struct late_case {
    const char* name;
    bool by_speed;     // 36 km/h over points 10 m apart: a point a second, as by time
    int64_t late_ms;   // from the run's start to its first tick
    strings first;     // what the first tick sends after START
  };
  const late_case cases[] = {
      {"time_at_once", false, 0, {P(0)}},
      {"time_30_ms", false, 30, {P(0)}},
      {"time_1500_ms", false, 1500, {P(0), P(1)}},
      {"speed_30_ms", true, 30, {P(0)}},
      {"speed_1500_ms", true, 1500, {P(0), P(1)}},
  };
  for (const late_case& c : cases) {
    SCOPED_TRACE(c.name);
    qx_players_reset();
    obj_t* previous = track_;
    free_obj(&previous);
    create_player(make_even_track(5, 1.0, 10.0));
    if (c.by_speed) qx_player_set_speed(36.0);
    drain_all();
    qx_player_play();
    plat::advance_virtual_ms(c.late_ms);
    posts_.run_for(0);
    strings first = {start_marker()};
    first.insert(first.end(), c.first.begin(), c.first.end());
    EXPECT_EQ(wire(), first);
    posts_.run_for(6000);
    strings rest;
    for (size_t i = c.first.size(); i < 5; ++i) rest.push_back(P(i));
    rest.push_back(stop_marker());
    EXPECT_EQ(wire(), rest);
  }
}

TEST_F(PlayerTest, ALoopingRunSendsTheFixesUpToTheEndBeforeClosingThePass) {
  create_player(make_even_track(5, 0.15, 2.0));
  qx_player_set_loop(1);
  drain_all();
  qx_player_play();
  posts_.run_for(0);
  posts_.run_for(800);
  EXPECT_EQ(wire(), strings({start_marker(), P(0), P(1), P(2), P(3), P(4), stop_marker(), start_marker(), P(0)}));
}

TEST_F(PlayerTest, SeekSendsOneDatagramOfStopAndThePointAndOnlyWhileStopped) {
  create_player(make_even_track(11, 1.0, 10.0));  // 100 m
  drain_all();
  qx_player_seek(0.35);  // 35 m: the first point at or after it is at 40 m
  EXPECT_EQ(wire(), strings({stop_marker() + P(4)}));
  EXPECT_EQ(ui_.shown_texts.back(), P(4));
  qx_player_play();
  posts_.run_for(0);
  EXPECT_EQ(wire(), strings({start_marker(), P(4)}));  // the run starts from the point
  qx_player_seek(0.9);
  EXPECT_EQ(wire(), strings{});
  EXPECT_EQ(ui_.shown_texts.back(), P(4));
}

TEST_F(PlayerTest, PauseWhileStoppedKeepsTheSoughtPosition) {
  create_player(make_even_track(11, 1.0, 10.0));
  qx_player_seek(0.5);
  drain_all();
  qx_player_reset();
  EXPECT_EQ(wire(), strings({stop_marker(), stop_marker()}));
  EXPECT_DOUBLE_EQ(qx_current_player()->start_time * 86400.0, 5.0);
  EXPECT_DOUBLE_EQ(qx_current_player()->start_distance, 50.0);
  qx_player_play();
  posts_.run_for(0);
  EXPECT_EQ(wire(), strings({start_marker(), P(5)}));
}

// Factor 2 reaches 20 s of track time after 10 s; 36 km/h reaches 100 m.
struct rate_case {
  const char* name;
  int speed_mode;
  double value;
  size_t expected;
};

class PlayerRate : public PlayerTest, public ::testing::WithParamInterface<rate_case> {};

TEST_P(PlayerRate, AfterTenSecondsTheReplayHasReachedItsPoint) {
  const rate_case& c = GetParam();
  create_player(make_even_track(60, 1.0, 10.0));  // 1 s and 10 m apart
  if (c.speed_mode) qx_player_set_speed(c.value);
  else qx_player_set_time_factor(c.value);
  EXPECT_EQ(qx_current_player()->mode, c.speed_mode ? QX_MODE_SPEED : QX_MODE_TIME);
  drain_all();
  qx_player_play();
  posts_.run_for(0);
  posts_.run_for(10000);
  const strings got = wire();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back(), P(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Rates, PlayerRate,
                         ::testing::Values(rate_case{"factor2", 0, 2.0, 20},
                                           rate_case{"factor_half", 0, 0.5, 5},
                                           rate_case{"speed36", 1, 36.0, 10},
                                           rate_case{"speed72", 1, 72.0, 20}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerTest, ChangingTheFactorWhileRunningPausesAndPlaysAgain) {
  create_player(make_even_track(30, 1.0, 10.0));
  qx_player_play();
  posts_.run_for(0);
  posts_.run_for(5000);
  drain_all();
  qx_player_set_time_factor(2.0);
  EXPECT_EQ(wire(), strings({stop_marker(), stop_marker(), start_marker()}));
  posts_.run_for(0);
  posts_.run_for(2000);  // from 5 s, twice as fast: 9 s
  const strings got = wire();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back(), P(9));
}

TEST_F(PlayerTest, BackwardRunFromTheEndToTheFirstPoint) {
  create_player(make_even_track(11, 1.0, 10.0));
  qx_player_seek(1.0);
  drain_all();
  qx_player_set_direction(-1.0);
  qx_player_play();
  posts_.run_for(0);
  posts_.run_for(12000);
  strings expected{start_marker()};
  for (size_t i = 11; i-- > 0;) expected.push_back(P(i));
  expected.push_back(stop_marker());
  EXPECT_EQ(wire(), expected);
}

TEST_F(PlayerTest, BackwardWhileRunningForwardPausesThenRunsBackFromThere) {
  create_player(make_even_track(11, 1.0, 10.0));
  qx_player_play();
  posts_.run_for(0);
  posts_.run_for(3300);
  EXPECT_EQ(wire().back(), P(3));  // reached by the tick at 3.2 s
  qx_player_set_direction(-1.0);
  qx_player_play();
  EXPECT_EQ(wire(), strings({stop_marker(), stop_marker(), start_marker()}));
  posts_.run_for(0);  // at 3 s again: point 3 was the last sent
  posts_.run_for(1900);
  EXPECT_EQ(wire(), strings({P(2)}));  // reached 1.2 s after the turn, not before
  posts_.run_for(100);
  EXPECT_EQ(wire(), strings({P(1)}));
}

TEST_F(PlayerTest, ModeAndDirectionOutsideTheirSetsAreIgnored) {
  create_player(make_even_track(3, 1.0, 10.0));
  qx_player* p = qx_current_player();
  struct set_case {
    int mode;
    double direction;
    int want_mode;
    double want_direction;
  };
  const set_case cases[] = {{1, -1.0, 1, -1.0}, {3, 0.0, 1, -1.0},  {-1, 0.5, 1, -1.0},
                            {2, 1.0, 2, 1.0},   {0, -2.0, 0, 1.0}};
  for (const auto& c : cases) {
    qx_player_set_mode(c.mode);
    qx_player_set_direction(c.direction);
    EXPECT_EQ(p->mode, c.want_mode) << c.mode;
    EXPECT_EQ(p->requested_direction, c.want_direction) << c.direction;
  }
}

TEST_F(PlayerTest, ATrackWithoutPointsGivesErrorTenAndNoPlayer) {
  container_t* empty = make_track({});
  int index = 7;
  EXPECT_EQ(qx_player_create(nullptr, empty, &index, "empty.nmea"), kQxNoTrackError);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(get_gblerr(), kQxNoTrackError);
  EXPECT_EQ(qx_player_count(), 0);
  EXPECT_EQ(qx_current_player(), nullptr);
  EXPECT_EQ(wire(), strings{});
}

TEST_F(PlayerTest, SelectingAPlayerReleasesItsNameAndSendsStop) {
  create_player(make_even_track(3, 1.0, 10.0));
  int second = -1;
  ASSERT_EQ(qx_player_create(nullptr, track_, &second, "second.nmea"), 0);
  EXPECT_EQ(qx_current_player_index(), second);
  EXPECT_STREQ(qx_current_player()->name, "second.nmea");
  drain_all();
  const int states = ui_.states;
  qx_player_select(0);
  EXPECT_EQ(qx_current_player_index(), 0);
  EXPECT_STREQ(qx_current_player()->name, "");
  EXPECT_EQ(ui_.states, states + 1);
  EXPECT_EQ(wire(), strings({stop_marker()}));
  qx_player_rename(0, "again.nmea");
  EXPECT_STREQ(qx_current_player()->name, "again.nmea");
  qx_player_select(-1);  // no current player: no marker goes out
  EXPECT_EQ(qx_current_player(), nullptr);
  EXPECT_EQ(wire(), strings{});
}

TEST_F(PlayerTest, DiffusionSwitchSendsItsMarkerEvenWhileOff) {
  create_player(make_even_track(5, 1.0, 10.0));
  qx_set_diffusion_flag(0);
  drain_all();
  qx_player_play();
  posts_.run_for(0);
  posts_.run_for(1000);
  EXPECT_EQ(wire(), strings{});
  EXPECT_FALSE(ui_.shown_texts.empty()) << "the display follows the replay";
  qx_set_diffusion(1);
  EXPECT_EQ(wire(), strings({start_marker()}));
  posts_.run_for(800);
  EXPECT_EQ(wire(), strings({P(1)}));  // reached by the tick at 1.2 s
  qx_set_diffusion(0);
  EXPECT_EQ(wire(), strings({stop_marker()}));
  EXPECT_EQ(qx_diffusion_on(), 0);
}

}  // namespace
}  // namespace qx_test
