// The slideshow on the virtual clock (its cycle, its delay ladder, the keys that stop
// and start it) and Delete: the shown file goes to the trash with its record, and
// nothing is removed when there is no shown file, during a slideshow, for a member of
// an archive or for a file fetched from the web.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/sorbinel/sb_browse_fixture.h"

namespace sb_test {
namespace {

class BrowsePlay : public BrowseTest {
 protected:
  void SetUp() override {
    BrowseTest::SetUp();
    const char* old = std::getenv("XDG_DATA_HOME");
    had_old_ = old != nullptr;
    if (old) old_ = old;
    data_ = dir_ + "data/";
    fs::create_directories(data_);
    setenv("XDG_DATA_HOME", data_.c_str(), 1);
  }
  void TearDown() override {
    if (had_old_)
      setenv("XDG_DATA_HOME", old_.c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
    BrowseTest::TearDown();
  }
  // A folder of the test with three small images.
  std::string three() {
    const std::string d = dir_ + "three";
    fs::create_directories(d);
    for (const char* f : {"01_red.png", "02_green.png", "03_blue.png"})
      fs::copy(fixture(std::string("browse/") + f), d + "/" + f);
    return d;
  }
  static bool sliding() { return (sb().mode & kSbModeSlideshow) != 0; }
  std::set<std::string> trashed() const {
    std::set<std::string> out;
    if (!fs::exists(data_ + "Trash/files")) return out;
    for (const auto& e : fs::directory_iterator(data_ + "Trash/files"))
      out.insert(e.path().filename().string());
    return out;
  }
  void press_delete() {
    sb_delete_file();
    settle();
  }
  std::string data_, old_;
  bool had_old_ = false;
};

TEST_F(BrowsePlay, SlideshowStepsEveryDelayAndWraps) {
  start({three()});
  ASSERT_EQ(shown(), "three/01_red.png");
  sb_next_file(0, 1);  // Ctrl+Space
  settle();
  EXPECT_TRUE(sliding());
  EXPECT_EQ(shown(), "three/02_green.png");
  const std::vector<std::string> expected = {"three/03_blue.png", "three/01_red.png",
                                             "three/02_green.png"};
  for (const std::string& next : expected) {
    const std::string before = shown();
    tm_test::advance_time(kSbInitialDelayMs - 1);
    EXPECT_EQ(shown(), before);
    tm_test::advance_time(1);
    EXPECT_EQ(shown(), next);
  }
}

TEST_F(BrowsePlay, DelayStepsApplyToTheNextWait) {
  start({three()});
  sb_next_file(0, 1);
  settle();
  ASSERT_EQ(shown(), "three/02_green.png");
  // Keypad minus four times: 4000, 3000, 2000, 1500.
  std::vector<int> delays;
  for (int i = 0; i < 4; ++i) {
    sb_slideshow_delay_step(-1);
    delays.push_back(sb().delay_ms);
  }
  EXPECT_EQ(delays, (std::vector<int>{4000, 3000, 2000, 1500}));
  // The wait already running keeps its 5 s; the next one is 1.5 s.
  tm_test::advance_time(kSbInitialDelayMs);
  EXPECT_EQ(shown(), "three/03_blue.png");
  tm_test::advance_time(1499);
  EXPECT_EQ(shown(), "three/03_blue.png");
  tm_test::advance_time(1);
  EXPECT_EQ(shown(), "three/01_red.png");
  sb_slideshow_delay_step(1);
  EXPECT_EQ(sb().delay_ms, 2000);
}

TEST_F(BrowsePlay, DelayStepsOnlyDuringASlideshow) {
  start({three()});
  sb_slideshow_delay_step(-1);
  EXPECT_EQ(sb().delay_ms, kSbInitialDelayMs);
}

TEST_F(BrowsePlay, SpaceStopsTheSlideshowWithoutAStep) {
  start({three()});
  sb_next_file(0, 1);
  settle();
  ASSERT_EQ(shown(), "three/02_green.png");
  space();
  EXPECT_FALSE(sliding());
  EXPECT_EQ(shown(), "three/02_green.png");
  tm_test::advance_time(3 * kSbInitialDelayMs);
  EXPECT_EQ(shown(), "three/02_green.png");
  space();
  EXPECT_EQ(shown(), "three/03_blue.png");
}

TEST_F(BrowsePlay, ToolbarSlideshowBackwardsStartsThenStops) {
  start({three()});
  sb_slideshow_toggle(-1);
  settle();
  EXPECT_TRUE(sliding());
  EXPECT_EQ(sb().direction, -1);
  EXPECT_EQ(shown(), "three/03_blue.png");
  tm_test::advance_time(kSbInitialDelayMs);
  EXPECT_EQ(shown(), "three/02_green.png");
  // Forwards while it runs backwards: it turns round.
  sb_slideshow_toggle(1);
  settle();
  EXPECT_TRUE(sliding());
  EXPECT_EQ(sb().direction, 1);
  EXPECT_EQ(shown(), "three/03_blue.png");
  sb_slideshow_toggle(1);
  settle();
  EXPECT_FALSE(sliding());
  tm_test::advance_time(3 * kSbInitialDelayMs);
  EXPECT_EQ(shown(), "three/03_blue.png");
}

TEST_F(BrowsePlay, NoSlideshowForASingleFile) {
  start({fixture("pages.tif")});
  sb_next_file(0, 1);
  settle();
  EXPECT_FALSE(sliding());
}

TEST_F(BrowsePlay, DeleteMovesTheShownFileToTheTrash) {
  const std::string d = three();
  start({d});
  ASSERT_EQ(shown(), "three/01_red.png");
  press_delete();
  EXPECT_FALSE(fs::exists(d + "/01_red.png"));
  EXPECT_EQ(trashed(), std::set<std::string>{"01_red.png"});
  std::ifstream info(data_ + "Trash/info/01_red.png.trashinfo");
  std::string first, path;
  std::getline(info, first);
  std::getline(info, path);
  EXPECT_EQ(first, "[Trash Info]");
  EXPECT_EQ(path, "Path=" + fs::path(d + "/01_red.png").lexically_normal().string());
  // The file that followed it is shown, and the deleted one never comes back.
  EXPECT_EQ(shown(), "three/02_green.png");
  EXPECT_EQ(sb_browse_count(), 2);
  space();
  space();
  EXPECT_EQ(shown(), "three/02_green.png");
}

TEST_F(BrowsePlay, DeleteDuringASlideshowIsIgnored) {
  const std::string d = three();
  start({d});
  sb_next_file(0, 1);
  settle();
  ASSERT_TRUE(sliding());
  press_delete();
  EXPECT_TRUE(trashed().empty());
  EXPECT_TRUE(fs::exists(d + "/02_green.png"));
  EXPECT_TRUE(sliding());
}

TEST_F(BrowsePlay, DeleteRemovesNothingButALocalShownFile) {
  const std::string d = copy_fixture("browse");
  start({d});
  const auto all_there = [&] {
    for (const char* f : {"01_red.png", "02_green.png", "03_blue.png", "05_broken.jpg",
                          "06_notes.txt", "07_chart.kap", "08_pack.zip", "09_corrupt.png",
                          "sub/04_sub.png"})
      EXPECT_TRUE(fs::exists(d + "/" + f)) << f;
  };
  // A member of the archive: neither it nor the archive goes.
  while (shown() != "browse/08_pack.zip/z1.png") {
    space();
    ASSERT_LT(sb_browse_count() + 0, 50);
  }
  press_delete();
  all_there();
  EXPECT_TRUE(trashed().empty());
  EXPECT_EQ(shown(), "browse/08_pack.zip/z2.png");
  // The damaged image failed when shown: there is no shown file.
  space();
  ASSERT_EQ(sb().current, nullptr);
  ASSERT_GT(sb_browse_count(), 0);
  press_delete();
  all_there();
  EXPECT_TRUE(trashed().empty());
  EXPECT_EQ(shown(), "browse/sub/04_sub.png");
  // A file that came from the web.
  sb().current->from_url = 1;
  press_delete();
  all_there();
  EXPECT_TRUE(trashed().empty());
}

}  // namespace
}  // namespace sb_test
