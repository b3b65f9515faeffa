// The menu bar of the frame: built from the table in the user's language (the "LANG"
// setting, else the user's own language), every record of the table present (the
// last one too), the start-up states, and the helpers that grey, enable and check
// items for other parts of the program.
#include <cstdlib>
#include <string>

#include "tests/shell/frame_fixture.h"
#include "tests/support/harness_dialogs.h"

namespace frame_test {
namespace {

// Compares the whole bar with the table: popups by position, items by id and text,
// separators by place. Returns the number of differences (and reports them).
int compare_with_table(plat::Menu bar, bool french) {
  int differences = 0;
  int top = -1, pos = -1;
  plat::Menu popup = nullptr;
  for (const menu_item* rec = main_menu_table; rec->kind != MENU_END; ++rec) {
    const char* want = french ? rec->text_fr : rec->text_en;
    if (rec->kind == MENU_POPUP) {
      popup = plat::get_sub_menu(bar, ++top);
      pos = -1;
      std::string got = plat::get_menu_string(bar, unsigned(top), plat::MF_BYPOSITION);
      if (got != want || !popup) {
        ADD_FAILURE() << "popup " << top << ": " << got << " / " << want;
        ++differences;
      }
      continue;
    }
    ++pos;
    unsigned state = plat::get_menu_state(popup, unsigned(pos), plat::MF_BYPOSITION);
    if (rec->kind == MENU_SEPARATOR) {
      if (state == plat::MENU_NOT_FOUND || !(state & plat::MF_SEPARATOR)) {
        ADD_FAILURE() << "separator missing in popup " << top << " at " << pos;
        ++differences;
      }
      continue;
    }
    unsigned id = plat::get_menu_item_id(popup, pos);
    std::string got = plat::get_menu_string(popup, unsigned(pos), plat::MF_BYPOSITION);
    if (id != unsigned(rec->id) || got != want) {
      ADD_FAILURE() << "item " << rec->id << ": got " << id << " " << got << " / " << want;
      ++differences;
    }
  }
  if (plat::get_menu_item_count(bar) != top + 1) {
    ADD_FAILURE() << "bar has " << plat::get_menu_item_count(bar) << " popups";
    ++differences;
  }
  return differences;
}

struct LangCase {
  const char* lang_key;   // the "LANG" setting, null for none
  const char* user_lang;  // the user's language (LC_ALL), null to leave it
  bool french;
};

class MenuLanguage : public FrameFixture, public ::testing::WithParamInterface<LangCase> {
 protected:
  void SetUp() override {
    const LangCase& c = GetParam();
    saved_ = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
    had_ = std::getenv("LC_ALL") != nullptr;
    if (c.user_lang) setenv("LC_ALL", c.user_lang, 1);
    SetUpWith(c.lang_key);
  }
  void TearDown() override {
    FrameFixture::TearDown();
    if (had_)
      setenv("LC_ALL", saved_.c_str(), 1);
    else
      unsetenv("LC_ALL");
  }
  std::string saved_;
  bool had_ = false;
};

TEST_P(MenuLanguage, BarFollowsTheTableInTheLanguage) {
  EXPECT_EQ(compare_with_table(menu_, GetParam().french), 0);
  // The last record of the table is built too.
  EXPECT_NE(plat::get_menu_state(menu_, IDM_ENVIRONMENT, plat::MF_BYCOMMAND), plat::MENU_NOT_FOUND);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, MenuLanguage,
    ::testing::Values(LangCase{"FRANCAIS", "en_GB.UTF-8", true},
                      LangCase{"ENGLISH", "fr_FR.UTF-8", false},
                      LangCase{nullptr, "fr_FR.UTF-8", true},
                      LangCase{nullptr, "eu_ES.UTF-8", true},
                      LangCase{nullptr, "de_DE.UTF-8", false}));

TEST(MenuTable, EveryItemHasOneIdAndBothTexts) {
  int items = 0;
  for (const menu_item* rec = main_menu_table; rec->kind != MENU_END; ++rec) {
    EXPECT_EQ(rec->zero, 0);
    if (rec->kind == MENU_POPUP) {
      EXPECT_EQ(rec->level, 0);
    }
    if (rec->kind != MENU_ITEM) continue;
    ++items;
    EXPECT_EQ(rec->level, 1);
    EXPECT_TRUE(rec->text_fr && *rec->text_fr && rec->text_en && *rec->text_en) << rec->id;
    for (const menu_item* other = rec + 1; other->kind != MENU_END; ++other)
      if (other->kind == MENU_ITEM) {
        EXPECT_NE(other->id, rec->id);
      }
  }
  EXPECT_EQ(items, 34);
}

// Records of an unknown kind and of a level that no popup opened are skipped.
TEST_F(FrameFixture, OddRecordsAreSkipped) {
  const menu_item table[] = {
      {0, MENU_ITEM, 1, 1, "orphan", "orphan"},
      {0, MENU_POPUP, 0, 0, "P", "P"},
      {0, 7, 2, 1, "odd", "odd"},
      {0, MENU_ITEM, 3, 1, "three", "three"},
      {0, MENU_ITEM, 4, 5, "deep", "deep"},
      {0, MENU_END, 0, 0, nullptr, nullptr},
  };
  plat::Menu bar = build_menu_bar(table);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(plat::get_menu_item_count(bar), 1);
  plat::Menu popup = plat::get_sub_menu(bar, 0);
  ASSERT_EQ(plat::get_menu_item_count(popup), 1);
  EXPECT_EQ(plat::get_menu_item_id(popup, 0), 3u);
}

TEST_F(FrameFixture, StartUpStates) {
  struct Want {
    unsigned id;
    bool grey, checked;
  };
  const Want wants[] = {
      {IDM_ADD_GRID, true, false},      {IDM_MERGE_TRACKLOGS, true, false},
      {IDM_RAW_LOG, true, false},       {IDM_CENTER_LAST, false, true},
      {IDM_GLOBAL_LAST, false, true},   {IDM_NAVIG_TRACK, false, true},
      {IDM_ZOOM1_ON_IMAGE, false, false}, {IDM_NAVIGATION, false, false},
      {IDM_MONOCHROME, false, false},   {IDM_NEGATIVE, false, false},
      {IDM_NAVIG_LOG, false, false},    {IDM_OPEN, false, false},
  };
  for (const Want& w : wants) {
    EXPECT_EQ(menu_is_greyed(w.id), w.grey) << w.id;
    EXPECT_EQ(menu_is_checked(w.id), w.checked) << w.id;
  }
  EXPECT_TRUE(toolbar_checked(IDM_NAVIG_TRACK));
  EXPECT_FALSE(toolbar_checked(IDM_NEGATIVE));
  EXPECT_FALSE(toolbar_checked(IDM_MONOCHROME));
  EXPECT_FALSE(toolbar_checked(IDM_NAVIGATION));
  // The option words agree with their check marks.
  EXPECT_EQ(opt_center_last_loaded.load(), 1);
  EXPECT_EQ(opt_global_view_last.load(), 1);
  EXPECT_EQ(opt_navig_track.load(), 1);
  EXPECT_EQ(opt_zoom1_on_image.load(), 0);
}

TEST_F(FrameFixture, StateHelpers) {
  menu_enable_gps_items(0);
  for (unsigned id : {IDM_GPS_ITEM_1, IDM_GPS_ITEM_2, IDM_GPS_ITEM_3}) EXPECT_FALSE(menu_is_greyed(id));
  EXPECT_TRUE(menu_is_greyed(IDM_GPS_DOWNLOAD));
  menu_enable_gps_items(1);
  EXPECT_FALSE(menu_is_greyed(IDM_GPS_DOWNLOAD));

  menu_grey_display_system();
  EXPECT_TRUE(menu_is_greyed(IDM_DISPLAY_SYSTEM));
  EXPECT_FALSE(tm_test::choose_menu_command(frame_, IDM_DISPLAY_SYSTEM));

  menu_enable_zoomal(0);
  EXPECT_TRUE(menu_is_greyed(IDM_MANUAL_LOCALISATION));
  menu_enable_zoomal(1);
  EXPECT_FALSE(menu_is_greyed(IDM_MANUAL_LOCALISATION));

  menu_check_navigation(1);
  EXPECT_TRUE(menu_is_checked(IDM_NAVIGATION));
  EXPECT_TRUE(toolbar_checked(IDM_NAVIGATION));
  menu_check_navigation(0);
  EXPECT_FALSE(menu_is_checked(IDM_NAVIGATION));
  EXPECT_FALSE(toolbar_checked(IDM_NAVIGATION));

  menu_sync_rawlog(1);
  EXPECT_TRUE(menu_is_checked(IDM_RAW_LOG));
  menu_sync_rawlog(0);
  EXPECT_FALSE(menu_is_checked(IDM_RAW_LOG));
}

TEST_F(FrameFixture, DisableAllGreysTheBarAndTheToolbar) {
  int dialogs = 0;
  auto count_dialog = [&](plat::Wnd) {
    ++dialogs;
    tm_test::press_escape();
  };
  tm_test::answer_next_dialog(count_dialog);
  menu_disable_all(1);
  int n = plat::get_menu_item_count(menu_);
  ASSERT_EQ(n, 6);
  for (int pos = 0; pos < n; ++pos)
    EXPECT_TRUE(plat::get_menu_state(menu_, unsigned(pos), plat::MF_BYPOSITION) & plat::MF_GRAYED);
  EXPECT_FALSE(plat::is_window_enabled(main_toolbar()));
  EXPECT_FALSE(tm_test::choose_menu_command(frame_, IDM_OPEN));
  tm_test::run_until_idle();
  EXPECT_EQ(dialogs, 0);

  menu_disable_all(0);
  for (int pos = 0; pos < n; ++pos)
    EXPECT_FALSE(plat::get_menu_state(menu_, unsigned(pos), plat::MF_BYPOSITION) & plat::MF_GRAYED);
  EXPECT_TRUE(plat::is_window_enabled(main_toolbar()));
  EXPECT_TRUE(tm_test::choose_menu_command(frame_, IDM_OPEN));
  tm_test::run_until_idle();
  EXPECT_EQ(dialogs, 1);  // the open dialog
}

}  // namespace
}  // namespace frame_test
