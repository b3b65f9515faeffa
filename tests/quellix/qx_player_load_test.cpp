// The load task of command 14 with the real builders: an NMEA log on disk becomes a
// player that is added to the file box and, with the leading "1", replays in a loop.
#include "core/hooks.h"
#include "tests/quellix/qx_builders_test_support.h"
#include "tests/quellix/qx_player_fixture.h"

namespace qx_test {
namespace {

std::string g_task_text;
int g_task_ends = 0;
std::vector<std::string> g_boxes;

class QxLoadTask : public tm_test::QxBuildersFixture {
 protected:
  void SetUp() override {
    QxBuildersFixture::SetUp();
    env_.up();
    g_task_ends = 0;
    g_boxes.clear();
    get_command_hooks().current_task_text = [] { return g_task_text.c_str(); };
    get_command_hooks().task_end = [] { ++g_task_ends; };
    get_core_hooks().message_box = [](const char* text, const char* caption) {
      g_boxes.push_back(std::string(caption) + "|" + text);
    };
  }
  void TearDown() override {
    get_core_hooks().message_box = nullptr;
    env_.down();
    QxBuildersFixture::TearDown();
  }
  void run_task(const std::string& text) {
    g_task_text = text;
    qx_load_track_data(nullptr);
  }
  WireEnv env_;
};

TEST_F(QxLoadTask, LoadAndPlayRunsTheLogsPointsInALoop) {
  const std::string path =
      put("/run.nmea", tm_test::rmc("100000", tm_test::lat_field(0), "00600.0000", "3.6", "100324") +
                           tm_test::rmc("100001", tm_test::lat_field(0.0005), "00600.0000", "3.6", "100324") +
                           tm_test::rmc("100002", tm_test::lat_field(0.0010), "00600.0000", "3.6", "100324"));
  run_task("1" + path);
  EXPECT_EQ(g_task_ends, 1);
  EXPECT_TRUE(g_boxes.empty());
  ASSERT_EQ(env_.ui.loaded.size(), 1u);
  EXPECT_EQ(env_.ui.loaded[0].first, path);
  EXPECT_EQ(env_.ui.loaded[0].second, qx_current_player_index());
  qx_player* p = qx_current_player();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->loop, 1);
  EXPECT_EQ(p->running_direction, 1.0);

  fileatt_t* f = file_of(p->document);
  ASSERT_NE(f, nullptr);
  const auto points = points_of(f);
  ASSERT_EQ(points.size(), 3u);
  std::vector<std::string> expected{stop_marker(), start_marker()};
  for (const replay_point* rp : points) expected.push_back(text_of(rp));
  expected.push_back(stop_marker());
  expected.push_back(start_marker());
  expected.push_back(text_of(points[0]));
  env_.posts.run_for(0);
  env_.posts.run_for(2400);  // the points at 0, 1 and 2 s, then the pass ends at 2.4 s
  EXPECT_EQ(env_.wire(), expected);
}

TEST_F(QxLoadTask, AFileWithoutTrackDataIsToldAndMakesNoPlayer) {
  const std::string path = put("/words.txt", "just some words\n");
  run_task("0" + path);
  EXPECT_EQ(g_task_ends, 1);
  ASSERT_FALSE(g_boxes.empty());
  EXPECT_EQ(g_boxes.back(), "Loading error|" + path + "\nNo track GPS data");
  EXPECT_EQ(qx_player_count(), 0);
  EXPECT_TRUE(env_.ui.loaded.empty());
  EXPECT_EQ(env_.wire(), std::vector<std::string>{});
}

}  // namespace
}  // namespace qx_test
