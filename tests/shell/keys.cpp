// The keys of the frame: the accelerators of "TOUCHFONC" (Ctrl with a letter) and the
// frame's own keys (arrows, pages, Home, End, the zoom keys, F4, F12 and Ctrl+P).
#include <algorithm>
#include <string>

#include "shell/gps_ui/gps_dialogs.h"
#include "shell/cursor_window.h"
#include "shell/place_window.h"
#include "tests/shell/frame_fixture.h"

namespace frame_test {
namespace {

struct KeyCase {
  int vk;
  unsigned mods;
  const char* call;  // the stand-in reached; "" when nothing is reached
  plat::Wnd (*opened)() = nullptr;  // the window the key opens, when it opens one
};

const KeyCase kAccelerators[] = {
    {'C', tm_test::MOD_CTRL, "", cursor_window},
    {'O', tm_test::MOD_CTRL, ""},  // the open dialog: answered as Escape would
    {'F', tm_test::MOD_CTRL, "", placedlg_window},
    {'N', tm_test::MOD_CTRL, "", navdlg_window},
};

const KeyCase kKeys[] = {
    {'P', 0, ""},
    {'P', tm_test::MOD_SHIFT, ""},
    {plat::VK_F5, 0, ""},
    {plat::VK_SPACE, 0, ""},
    {plat::VK_NUMLOCK, 0, ""},
};

class Accelerators : public FrameFixture, public ::testing::WithParamInterface<KeyCase> {
 protected:
  void SetUp() override {
    FrameFixture::SetUp();
    register_cursor_class();  // as start-up does
  }
};

TEST_P(Accelerators, CtrlKeyRunsTheMenuCommand) {
  const KeyCase& k = GetParam();
  tm_test::press_key(k.vk, k.mods);
  tm_test::run_until_idle();
  if (*k.call) {
    EXPECT_TRUE(called(k.call)) << k.call;
    EXPECT_EQ(calls().size(), 1u);
  } else {
    EXPECT_TRUE(calls().empty());
  }
  if (k.opened) {
    EXPECT_NE(k.opened(), nullptr);
  }
  EXPECT_EQ(redraws(), 1);
  // Without Ctrl the letter is no command.
  clear_seen();
  tm_test::press_key(k.vk, 0);
  tm_test::run_until_idle();
  EXPECT_TRUE(calls().empty());
}

INSTANTIATE_TEST_SUITE_P(Touchfonc, Accelerators, ::testing::ValuesIn(kAccelerators));

TEST(AcceleratorTable, HoldsTheFiveCtrlKeys) {
  ASSERT_EQ(touchfonc_accelerator_count, 5);
  const unsigned want[][2] = {{'C', 40011}, {'O', 40058}, {'Q', 40002}, {'F', 40055}, {'N', 40036}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(touchfonc_accelerators[i].key, want[i][0]);
    EXPECT_EQ(touchfonc_accelerators[i].cmd, want[i][1]);
    EXPECT_EQ(touchfonc_accelerators[i].fvirt, plat::FVIRTKEY | plat::FCONTROL);
  }
}

TEST_F(FrameFixture, CtrlQQuits) {
  tm_test::press_key('Q', tm_test::MOD_CTRL);
  tm_test::run_until_idle();
  EXPECT_FALSE(plat::is_window(frame_));
  EXPECT_EQ(exits(), 1);
}

// An accelerator of a grey item is taken but runs nothing.
TEST_F(FrameFixture, AcceleratorOfAGreyItemDoesNothing) {
  menu_grey_display_system();
  plat::enable_menu_item(menu_, IDM_OPEN, plat::MF_BYCOMMAND | plat::MF_GRAYED);
  tm_test::press_key('O', tm_test::MOD_CTRL);
  tm_test::run_until_idle();
  EXPECT_FALSE(called_routine("cmd_open_files"));
}

class FrameKeys : public FrameFixture, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(FrameKeys, KeyReachesItsRoutine) {
  const KeyCase& k = GetParam();
  tm_test::press_key(k.vk, k.mods);
  tm_test::run_until_idle();
  if (*k.call) {
    EXPECT_TRUE(called(k.call)) << k.call;
  } else {
    EXPECT_TRUE(calls().empty()) << k.vk;
  }
  EXPECT_TRUE(prints().empty());
}

INSTANTIATE_TEST_SUITE_P(Keys, FrameKeys, ::testing::ValuesIn(kKeys));

// The zoom keys scale the map window about its centre; F4 fits the data into it.
TEST_F(FrameFixture, ZoomKeysScaleTheMapWindowAboutItsCentre) {
  struct ZoomCase {
    int vk;
    double scale;  // 0: the fit scale of the data
    int mods = 0;
  } cases[] = {
      {plat::VK_F1, kZoomInFactor}, {plat::VK_ADD, kZoomInFactor},
      {plat::VK_F2, kZoomOutFactor}, {plat::VK_SUBTRACT, kZoomOutFactor}, {plat::VK_F4, 0.0},
      // The main keyboard's + (Shift and =, as the menu names it) and -.
      {plat::VK_OEM_PLUS, kZoomInFactor, tm_test::MOD_SHIFT}, {plat::VK_OEM_PLUS, kZoomInFactor},
      {plat::VK_OEM_MINUS, kZoomOutFactor},
  };
  const int w = map_object_->width, h = map_object_->height;
  ASSERT_GT(w, 0);
  ASSERT_GT(h, 0);
  for (const ZoomCase& c : cases) {
    SCOPED_TRACE(c.vk);
    show_data_in_the_middle();
    // The world point at the centre: the data fit centres on (5000, 5000).
    const double cx = c.scale ? 5000.0 + w * 0.5 : 5000.0, cy = c.scale ? 5000.0 + h * 0.5 : 5000.0;
    const double scale = c.scale ? c.scale : std::min(w, h) / 10000.0;
    clear_seen();
    tm_test::press_key(c.vk, c.mods);
    tm_test::run_until_idle();
    const screen_mapping m = map_object_->map;
    EXPECT_DOUBLE_EQ(m.scale_x, scale);
    EXPECT_DOUBLE_EQ(m.scale_y, scale);  // y downwards
    EXPECT_NEAR(w * 0.5 / m.scale_x - m.origin_x, cx, 1e-9);
    EXPECT_NEAR(h * 0.5 / m.scale_y - m.origin_y, cy, 1e-9);
    EXPECT_GE(redraws(), 1);
  }
}

TEST_F(FrameFixture, CtrlPPrintsTheMapWindow) {
  tm_test::press_key('P', tm_test::MOD_CTRL);
  tm_test::run_until_idle();
  ASSERT_EQ(prints().size(), 1u);
  EXPECT_EQ(prints()[0], std::to_string(map_object_->id) + " 0");
}

// F12 shows the environment variables; Escape closes them, as it closes the About box.
TEST_F(FrameFixture, F12ShowsTheEnvironmentAndEscapeClosesIt) {
  tm_test::press_key(plat::VK_F12);
  tm_test::run_until_idle();
  plat::Wnd table = tm_test::find_window("ClasseTableau", nullptr);
  ASSERT_NE(table, nullptr);
  EXPECT_FALSE(plat::is_window_enabled(frame_));
  tm_test::press_key(plat::VK_ESCAPE);
  tm_test::run_until_idle();
  EXPECT_FALSE(plat::is_window(table));
  EXPECT_TRUE(plat::is_window_enabled(frame_));
}

// Zoom in then out does not give the scale back: the two factors are 2^(1/4) and
// 2^(-1/3).
TEST(ZoomFactors, InThenOutDoesNotRestoreTheScale) {
  EXPECT_DOUBLE_EQ(kZoomInFactor * kZoomInFactor * kZoomInFactor * kZoomInFactor, 2.0);
  EXPECT_DOUBLE_EQ(kZoomOutFactor * kZoomOutFactor * kZoomOutFactor, 0.5);
  EXPECT_DOUBLE_EQ(kZoomInFactor * kZoomOutFactor, 0.9438743126816935);
}

// The arrows, pages, Home and End scroll the map: each key's step is applied by
// command 5 (one pixel per unit, y downwards, so the origin moves by minus the step).
TEST_F(FrameFixture, ArrowAndPageKeysScrollTheMap) {
  show_data_in_the_middle();
  const int h = map_object_->height;
  struct Move {
    int vk;
    int dx, dy;
  } moves[] = {
      {plat::VK_UP, 0, -5},   {plat::VK_DOWN, 0, 5},  {plat::VK_PRIOR, 0, -h},
      {plat::VK_NEXT, 0, h},  {plat::VK_LEFT, -5, 0}, {plat::VK_RIGHT, 5, 0},
  };
  for (const Move& m : moves) {
    map_object_->map = screen_mapping{-5000.0, -5000.0, 1.0, 1.0};
    tm_test::press_key(m.vk);
    tm_test::run_until_idle();
    EXPECT_DOUBLE_EQ(double(map_object_->map.origin_x), -5000.0 - m.dx) << m.vk;
    EXPECT_DOUBLE_EQ(double(map_object_->map.origin_y), -5000.0 - m.dy) << m.vk;
  }
  map_object_->map = screen_mapping{-5000.0, -5000.0, 1.0, 1.0};
  tm_test::press_key(plat::VK_HOME);  // to the top of the data
  tm_test::run_until_idle();
  EXPECT_DOUBLE_EQ(double(map_object_->map.origin_y), 0.0);
  tm_test::press_key(plat::VK_END);  // to its bottom
  tm_test::run_until_idle();
  EXPECT_DOUBLE_EQ(double(map_object_->map.origin_y), h - 10000.0);
}

TEST_F(FrameFixture, KeysOutsideTheRangeAreIgnored) {
  for (int vk : {0, 8, 26, 124, 200}) main_on_keydown(vk);
  EXPECT_TRUE(calls().empty());
}

}  // namespace
}  // namespace frame_test
