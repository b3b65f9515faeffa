// The rest of the viewer's commands as a user gives them: the browsing buttons and keys
// (next, previous, slideshow both ways, the delay buttons and the keypad during a
// slideshow), the arrow keys, dropped files, and what the window says: the slideshow
// title, the error line, "No valid file", and the initialisation failure's box.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "core/error.h"
#include "core/hooks.h"
#include "platform/ui/keys.h"
#include "platform/ui/msgbox.h"
#include "shell/framework/progress.h"
#include "tests/sorbinel/sb_shell_fixture.h"

namespace {

using sb_test::ShellTest;

struct exit_called {
  int code;
};
[[noreturn]] void throw_exit(int code) { throw exit_called{code}; }

class ShellCommands : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    a_ = copy_fixture("browse/01_red.png");
    b_ = copy_fixture("browse/02_green.png");
    c_ = copy_fixture("browse/03_blue.png");
    start({a_, b_, c_});
    drain();
    ASSERT_EQ(shown(), "01_red.png");
  }
  void TearDown() override {
    sb().mode = 0;
    ShellTest::TearDown();
  }
  static void command(unsigned id) {
    plat::send_message(sb().main, plat::WM_COMMAND, id, 0);
    drain();
  }
  static void key(int vk, unsigned mods = 0) {
    tm_test::press_key(vk, mods);
    drain();
  }
  std::string a_, b_, c_;
};

TEST_F(ShellCommands, NextAndPreviousButtonsAndSpace) {
  command(SB_ID_NEXT);
  EXPECT_EQ(shown(), "02_green.png");
  command(SB_ID_PREVIOUS);
  EXPECT_EQ(shown(), "01_red.png");
  key(plat::VK_SPACE);
  EXPECT_EQ(shown(), "02_green.png");
  key(plat::VK_SPACE, tm_test::MOD_SHIFT);
  EXPECT_EQ(shown(), "01_red.png");
  EXPECT_NE(title().find("01_red.png"), std::string::npos) << title();
}

TEST_F(ShellCommands, SlideshowButtonsStartStopAndStepTheDelay) {
  command(SB_ID_SLIDESHOW_FORWARDS);
  ASSERT_TRUE(sb().mode & kSbModeSlideshow);
  EXPECT_EQ(sb().direction, 1);
  busy_reset();
  EXPECT_EQ(title().rfind("Slideshow 5.0s", 0), 0u) << title();
  // The delay buttons and the keypad step the delay, not the zoom.
  const double zoom = std::fabs(scale_x());
  command(SB_ID_DELAY_SHORTER);
  EXPECT_EQ(sb().delay_ms, 4000);
  sb_on_key(plat::VK_SUBTRACT, 0, 0);
  EXPECT_EQ(sb().delay_ms, 3000);
  sb_on_key(plat::VK_ADD, 0, 0);
  command(SB_ID_DELAY_LONGER);
  EXPECT_EQ(sb().delay_ms, 5000);
  EXPECT_DOUBLE_EQ(std::fabs(scale_x()), zoom);
  // The forward button again stops it; the backward one starts it backwards.
  command(SB_ID_SLIDESHOW_FORWARDS);
  EXPECT_FALSE(sb().mode & kSbModeSlideshow);
  command(SB_ID_SLIDESHOW_BACKWARDS);
  EXPECT_TRUE(sb().mode & kSbModeSlideshow);
  EXPECT_EQ(sb().direction, -1);
  command(SB_ID_SLIDESHOW_BACKWARDS);
  EXPECT_FALSE(sb().mode & kSbModeSlideshow);
}

TEST_F(ShellCommands, FrenchSlideshowTitle) {
  config_reset();
  config_temp_dir_set((dir_ + "swap/").c_str(), "s_");
  config_set("LANG", "FRANCAIS");
  sb().mode = kSbModeSlideshow;
  sb().delay_ms = 1500;
  EXPECT_EQ(sb_slideshow_title(), "Diaporama 1,5s");
  sb().mode = 0;
  EXPECT_EQ(sb_slideshow_title(), "");
}

TEST_F(ShellCommands, ArrowKeysScrollALargeImage) {
  const std::string big = copy_fixture("dims/wide_1200x900.png");
  sb_on_drop_files(std::vector<const char*>{big.c_str()}.data(), 1);
  drain();
  ASSERT_EQ(shown(), "wide_1200x900.png");
  key(plat::VK_F3);  // actual size: larger than the window
  struct row {
    int vk;
    bool moves_x, moves_y;
  };
  for (const row& r : {row{plat::VK_RIGHT, true, false}, row{plat::VK_DOWN, false, true},
                       row{plat::VK_NEXT, false, true}, row{plat::VK_LEFT, true, false}}) {
    SCOPED_TRACE(r.vk);
    const double ox = view()->map.origin_x, oy = view()->map.origin_y;
    key(r.vk);
    EXPECT_EQ(view()->map.origin_x != ox, r.moves_x);
    EXPECT_EQ(view()->map.origin_y != oy, r.moves_y);
  }
}

TEST_F(ShellCommands, DroppedFilesAreShownFirstOfThem) {
  const std::string d = copy_fixture("info/gradient.png");
  const std::string e = copy_fixture("info/rgb.png");
  ASSERT_TRUE(tm_test::drop_files(sb().main, 10, 10, {e, d}));
  drain();
  EXPECT_EQ(shown(), "gradient.png");
}

TEST_F(ShellCommands, ErrorLineNamesTheFileAndResetsTheSettings) {
  sb_filter()->stored_zoom = 0.0;
  sb_filter()->page_count = 4;
  set_gblerr(ERR_BAD_FILE);
  sb_show_load_error(sb().current, nullptr, nullptr);
  EXPECT_EQ(get_gblerr(), 0);
  busy_reset();
  EXPECT_NE(title().find("01_red.png"), std::string::npos) << title();
  EXPECT_NE(title().find("Error while loading"), std::string::npos) << title();
  EXPECT_EQ(sb_filter()->stored_zoom, 1.0);
  EXPECT_EQ(int{sb_filter()->page_count}, 0);
  sb_show_no_valid_file();
  busy_reset();
  EXPECT_NE(title().find("No valid file"), std::string::npos) << title();
}

TEST_F(ShellCommands, TextFileAmongImagesIsPassedOver) {
  const std::string notes = copy_fixture("browse/06_notes.txt");
  sb_on_drop_files(std::vector<const char*>{notes.c_str()}.data(), 1);
  drain();
  EXPECT_NE(shown(), "06_notes.txt");
  EXPECT_FALSE(shown().empty());
}

// Only a file that cannot be shown: the line says so and stays through later commands.
TEST_F(ShellTest, NothingToShowSaysNoValidFile) {
  start({copy_fixture("browse/06_notes.txt")});
  drain();
  EXPECT_EQ(shown(), "");
  busy_reset();
  EXPECT_NE(title().find("No valid file"), std::string::npos) << title();
  post_command(kSbSlotRefresh, 0, nullptr);
  drain();
  busy_reset();
  EXPECT_NE(title().find("No valid file"), std::string::npos) << title();
}

TEST_F(ShellCommands, InitFailureShowsItsBoxAndEnds) {
  struct row {
    const char* lang;
    const char* text;
    const char* caption;
  };
  const row rows[] = {
      {"ENGLISH", "Error during initialization\nEnd of application", "Error during initialization"},
      {"FRANCAIS", "Erreur lors de l'initialisation\nFin de l'application", "Erreur lors de l'initialisation"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.lang);
    config_reset();
    config_temp_dir_set((dir_ + "swap/").c_str(), "s_");
    config_set("LANG", r.lang);
    tm_test::clear_message_boxes();
    const core_hooks saved = get_core_hooks();
    get_core_hooks().exit_program = throw_exit;
    set_gblerr(ERR_OS);
    int code = -1;
    plat::use_virtual_clock(false);
    try {
      sb_init_error_exit();
    } catch (const exit_called& e) {
      code = e.code;
    }
    plat::use_virtual_clock(true);
    get_core_hooks() = saved;
    sb_exit_reset();
    app_set_closing(0);
    set_stop_request(0);
    set_gblerr(0);
    EXPECT_NE(code, 0);
    ASSERT_EQ(tm_test::message_boxes().size(), 1u);
    EXPECT_EQ(tm_test::message_boxes()[0].text, r.text);
    EXPECT_EQ(tm_test::message_boxes()[0].caption, r.caption);
    EXPECT_TRUE(tm_test::message_boxes()[0].flags & plat::MB_ICONSTOP);
  }
}

}  // namespace
