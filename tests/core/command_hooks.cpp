// The core's command hooks: the lower layers post commands through them, and until the
// dispatcher fills them every call is harmless.
#include "core/command_hooks.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct posted {
  int slot = -1;
  int64_t delay = -1;
  std::string text;
  int ends = 0;
};
posted g_seen;

class CommandHooks : public ::testing::Test {
 protected:
  void SetUp() override { g_seen = posted{}; get_command_hooks() = command_hooks{}; }
  void TearDown() override { get_command_hooks() = command_hooks{}; }
};

TEST_F(CommandHooks, EmptySlotsDropPostsAndEndNothing) {
  EXPECT_EQ(core_post_command(20, 1000, "1/tmp/a.gpx"), 0);
  core_post_load_command("/tmp/a.gpx", 1);
  EXPECT_EQ(core_current_task_text(), nullptr);
  core_task_end();
  core_progress_file_position("Reading");
}

TEST_F(CommandHooks, FilledSlotsReceiveTheCallsAsGiven) {
  command_hooks& h = get_command_hooks();
  h.post_command = [](int slot, int64_t delay, const char* text) {
    g_seen.slot = slot;
    g_seen.delay = delay;
    g_seen.text = text ? text : "";
    return 1;
  };
  h.post_load_command = [](const char* path, int fit) { g_seen.text = std::string(path) + (fit ? "+" : "-"); };
  h.current_task_text = [] { return "12 3 1"; };
  h.task_end = [] { ++g_seen.ends; };
  h.progress_file_position = [](const char* text) { g_seen.text = std::string("progress ") + text; };

  EXPECT_EQ(core_post_command(21, 0, "4 7 1"), 1);
  EXPECT_EQ(g_seen.slot, 21);
  EXPECT_EQ(g_seen.delay, 0);
  EXPECT_EQ(g_seen.text, "4 7 1");
  core_post_load_command("/data/relief.png", 0);
  EXPECT_EQ(g_seen.text, "/data/relief.png-");
  EXPECT_STREQ(core_current_task_text(), "12 3 1");
  core_task_end();
  EXPECT_EQ(g_seen.ends, 1);
  core_progress_file_position("GeoNames");
  EXPECT_EQ(g_seen.text, "progress GeoNames");
}

}  // namespace
