// A GPX track loaded and played as the command line's "-play" does, heard by a UDP
// listener on a loopback port the system chose: every fix of the track arrives, the first
// included, each once and in the track's order, whether the track has times (replayed on
// its own clock) or none (replayed at about 50 km/h from the first fix on).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "core/hooks.h"
#include "tests/quellix/qx_builders_test_support.h"
#include "tests/quellix/qx_heard_positions.h"
#include "tests/quellix/qx_player_fixture.h"
#include "tests/support/run_tool.h"

namespace qx_test {
namespace {

std::string g_task_text;
std::vector<std::string> g_boxes;

class QxReplayFixes : public tm_test::QxBuildersFixture {
 protected:
  void SetUp() override {
    QxBuildersFixture::SetUp();
    env_.up();
    g_boxes.clear();
    get_command_hooks().current_task_text = [] { return g_task_text.c_str(); };
    get_command_hooks().task_end = [] {};
    get_core_hooks().message_box = [](const char* text, const char* caption) {
      g_boxes.push_back(std::string(caption) + "|" + text);
    };
  }
  void TearDown() override {
    get_core_hooks().message_box = nullptr;
    env_.down();
    QxBuildersFixture::TearDown();
  }
  // Loads and plays the file as "-play" does; the run is heard for `seconds` of replay
  // time (time factor 1), the listener drained every minute so that its buffer never
  // overflows. Gives every datagram heard, in order.
  std::vector<std::string> play(const std::string& path, double seconds) {
    g_task_text = "1" + path;
    qx_load_track_data(nullptr);
    EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : g_boxes[0]);
    qx_player* p = qx_current_player();
    if (!p) return {};
    // One pass: the loop would start the track again.
    qx_player_set_loop(0);
    std::vector<std::string> heard;
    for (double t = 0; t < seconds; t += 60.0) {
      env_.posts.run_for(60000);
      auto more = env_.listeners[0].take(0, 0);
      heard.insert(heard.end(), more.begin(), more.end());
      env_.listeners[1].drain();
    }
    return heard;
  }
  WireEnv env_;
};

std::string boucle() { return tm_test::slurp_file(TM_SOURCE_DIR "/data/samples/boucle.gpx"); }

std::string without_times(const std::string& gpx) {
  return std::regex_replace(gpx, std::regex("<time>[^<]*</time>"), "");
}

void expect_same_fixes(const std::vector<fix_place>& heard, const std::vector<fix_place>& track) {
  ASSERT_EQ(heard.size(), track.size());
  for (size_t i = 0; i < track.size(); ++i) {
    EXPECT_NEAR(heard[i].lat, track[i].lat, 1e-6) << "fix " << i;
    EXPECT_NEAR(heard[i].lon, track[i].lon, 1e-6) << "fix " << i;
  }
}

TEST_F(QxReplayFixes, EveryFixOfATimedTrackArrivesInOrderTheFirstIncluded) {
  const std::string gpx = boucle();
  const std::vector<fix_place> track = gpx_track_points(gpx);
  ASSERT_GT(track.size(), 100u);
  // 30 s between the points: the whole track within two hours of replay.
  const std::vector<std::string> heard = play(put("/timed.gpx", gpx), 2.0 * 3600 + 120);
  // The STOP of the new player, the START of the run, then at once the first fix.
  ASSERT_GE(heard.size(), 3u);
  EXPECT_EQ(heard[0], stop_marker());
  EXPECT_EQ(heard[1], start_marker());
  EXPECT_NE(heard[2].find("$GPGLL"), std::string::npos) << heard[2];
  expect_same_fixes(heard_fixes(heard), track);
  EXPECT_EQ(heard.back(), stop_marker());
}

TEST_F(QxReplayFixes, EveryFixOfATrackWithoutTimesArrivesAtAboutFiftyKmPerHour) {
  const std::string gpx = without_times(boucle());
  ASSERT_EQ(gpx.find("<time>"), std::string::npos);
  const std::vector<fix_place> track = gpx_track_points(gpx);
  const std::string path = put("/untimed.gpx", gpx);
  // The first fix at once, the next ones without a stall: within the first minute of
  // replay many fixes came already.
  g_task_text = "1" + path;
  qx_load_track_data(nullptr);
  ASSERT_TRUE(g_boxes.empty()) << g_boxes[0];
  qx_player* p = qx_current_player();
  ASSERT_NE(p, nullptr);
  qx_player_set_loop(0);
  env_.posts.run_for(0);
  std::vector<std::string> heard = env_.listeners[0].take(3, 2000);
  ASSERT_GE(heard.size(), 3u);
  EXPECT_EQ(heard[0], stop_marker());
  EXPECT_EQ(heard[1], start_marker());
  EXPECT_NE(heard[2].find("$GPGLL"), std::string::npos) << heard[2];
  env_.posts.run_for(60000);
  auto more = env_.listeners[0].take(0, 0);
  heard.insert(heard.end(), more.begin(), more.end());
  // About 50 km/h: some 830 m in a minute, the points some 35 m apart.
  const size_t first_minute = heard_fixes(heard).size();
  EXPECT_GT(first_minute, 15u);
  EXPECT_LT(first_minute, 35u);
  // The whole track: its length at 50 km/h.
  ASSERT_GT(p->total_distance, 1000.0);
  const double seconds = p->total_distance / (50.0 / 3.6);
  const replay_point* last = nullptr;
  if (fileatt_t* f = file_of(p->document)) {
    const auto points = points_of(f);
    if (!points.empty()) last = points.back();
  }
  ASSERT_NE(last, nullptr);
  EXPECT_NEAR(last->time * 86400.0, seconds, seconds * 0.02);
  for (double t = 60; t < seconds + 120; t += 60) {
    env_.posts.run_for(60000);
    more = env_.listeners[0].take(0, 0);
    heard.insert(heard.end(), more.begin(), more.end());
  }
  env_.listeners[1].drain();
  expect_same_fixes(heard_fixes(heard), track);
  EXPECT_EQ(heard.back(), stop_marker());
}

}  // namespace
}  // namespace qx_test

namespace qx_test {
namespace {

// Fixes a kilometre apart without times: the replay starts on the first fix and goes on
// with in-between positions every few seconds (no silence until the second fix).
TEST_F(QxReplayFixes, ASparseTrackWithoutTimesStartsAtOnceAndKeepsSending) {
  std::string gpx =
      "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
      "<trk><name>T</name><trkseg>\n";
  for (int i = 0; i < 4; ++i) gpx += "<trkpt lat=\"" + std::to_string(45.0 + 0.01 * i) + "\" lon=\"6.000000\"></trkpt>\n";
  gpx += "</trkseg></trk></gpx>\n";
  const std::vector<fix_place> track = gpx_track_points(gpx);
  ASSERT_EQ(track.size(), 4u);
  g_task_text = "1" + put("/sparse.gpx", gpx);
  qx_load_track_data(nullptr);
  ASSERT_TRUE(g_boxes.empty()) << g_boxes[0];
  ASSERT_NE(qx_current_player(), nullptr);
  qx_player_set_loop(0);
  env_.posts.run_for(0);
  std::vector<std::string> heard = env_.listeners[0].take(3, 2000);
  ASSERT_GE(heard.size(), 3u);
  EXPECT_NE(heard[2].find("$GPGLL,4500.0000,N,00600.0000,E"), std::string::npos) << heard[2];
  // Every ten seconds of the first minute hears a position.
  for (int i = 0; i < 6; ++i) {
    env_.posts.run_for(10000);
    const auto more = env_.listeners[0].take(0, 0);
    EXPECT_FALSE(more.empty()) << "silence from " << i * 10 << " s";
    heard.insert(heard.end(), more.begin(), more.end());
  }
  // 3.3 km at 50 km/h: some four minutes.
  env_.posts.run_for(4 * 60000);
  const auto rest = env_.listeners[0].take(0, 0);
  heard.insert(heard.end(), rest.begin(), rest.end());
  env_.listeners[1].drain();
  expect_same_fixes(heard_fixes(heard), track);
  EXPECT_EQ(heard.back(), stop_marker());
}

}  // namespace
}  // namespace qx_test
