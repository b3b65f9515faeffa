// The map features window worked as a user would: its frame, tabs and sizes, the layout
// of the window and of both pages in both languages, everything off until a page opens
// a group and a mnemonic is given, mnemonics typed (known: all values loaded; new: the
// group's values kept for Apply), "Same color and font", the icon chooser (Apply stores
// the icon chosen), the uses list behind the information buttons, Apply, "Apply &
// close", Close and the tab change.
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "platform/gdi/surface.h"
#include "platform/ui/ctl_listview.h"
#include "platform/ui/ctl_updown.h"
#include "shell/framework/icon_chooser.h"
#include "shell/framework/table_window.h"
#include "tests/shell/featdlg_fixture.h"
#include "tests/support/dialog_layout.h"

namespace frame_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FeatDlgWindow : public FeatDlgFixture {};

TEST_F(FeatDlgWindow, OpensOverTheDisabledFrameWithItsTwoTabsAndEverythingOff) {
  plat::Wnd w = open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(plat::window_text(w), "Map features display");
  EXPECT_EQ(plat::get_owner(w), frame_);
  EXPECT_FALSE(plat::is_window_enabled(frame_));
  // The tab control holds the two pages' area; the window is 476 wider and 12 taller.
  plat::Wnd tab = ctl(kFeatTab);
  ASSERT_NE(tab, nullptr);
  EXPECT_EQ(plat::send_message(tab, plat::TCM_GETITEMCOUNT, 0, 0), 2);
  plat::Rect t, c, area{0, 0, 0, 0};
  plat::get_client_rect(tab, &t);
  plat::get_client_rect(w, &c);
  EXPECT_EQ(c.width(), t.width() + 476);
  EXPECT_EQ(c.height(), t.height() + 12);
  area = t;
  plat::send_message(tab, plat::TCM_ADJUSTRECT, 0, plat::LParam(&area));
  EXPECT_EQ(area.width(), 388);
  EXPECT_EQ(area.height(), 368);
  EXPECT_TRUE(visible(featdlg_page(kFeatPageOsm)));
  EXPECT_FALSE(visible(featdlg_page(kFeatPagePolish)));
  // Nothing can be edited or applied yet; Close can.
  for (int id : {kFeatPointMnemo, kFeatLineMnemo, kFeatPointColour, kFeatLineColour, kFeatPointFont,
                 kFeatSymbolList, kFeatIconButton, kFeatLineStyle, kFeatSameColourFont, kFeatApply,
                 kFeatApplyClose, kOsmNode, kOsmWay, kOsmDefaultValue, kOsmNodeList, kOsmWayList})
    EXPECT_FALSE(enabled(id)) << id;
  EXPECT_TRUE(enabled(kFeatClose));
  // The representation lists: point representations on the node side, the others on
  // the way side, in table order.
  std::vector<std::string> points, lines;
  const container_t* index = repr_mnemo_index();
  for (int i = 0; i < obj_list_count(index); ++i) {
    const auto* r = static_cast<const representation_t*>(index->elems[i]);
    (r->feattype == kEltNode ? points : lines).push_back(r->mnemo);
  }
  EXPECT_EQ(items(kOsmNodeList), points);
  EXPECT_EQ(items(kOsmWayList), lines);
  EXPECT_EQ(items(kMpPointList), points);
  EXPECT_EQ(items(kMpLineList), lines);
  // The line styles with the solid one chosen, the six symbols.
  EXPECT_THAT(combo_items(kFeatLineStyle), ElementsAre("", "_______", ".......", "-------"));
  EXPECT_EQ(plat::window_text(ctl(kFeatLineStyle)), "_______");
  EXPECT_EQ(combo_items(kFeatSymbolList).size(), 6u);
  // The information sign is on both uses buttons.
  EXPECT_NE(plat::send_message(ctl(kFeatPointInfo), plat::BM_GETIMAGE, plat::IMAGE_BITMAP, 0), 0);
  EXPECT_NE(plat::send_message(ctl(kFeatLineInfo), plat::BM_GETIMAGE, plat::IMAGE_BITMAP, 0), 0);
  // A second opening only brings it forward.
  featdlg_open_window();
  tm_test::run_until_idle();
  EXPECT_EQ(featdlg_window(), w);
}

TEST_F(FeatDlgWindow, WithoutTheInformationSignTheButtonsShowNoPicture) {
  set_program_dir(tm_test::fresh_dir("featdlg_noinfo").c_str());
  open();
  EXPECT_EQ(plat::send_message(ctl(kFeatPointInfo), plat::BM_GETIMAGE, plat::IMAGE_BITMAP, 0), 0);
  click(kFeatClose);
  set_program_dir(kFeatDataDir.c_str());
}

class FeatDlgLayout : public FeatDlgFixture, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { SetUpIn(GetParam()); }
};

// Every control inside its window, none over another, every text fitting: the window
// and each page as it shows, with every group open.
TEST_P(FeatDlgLayout, WindowAndPagesAreFreeOfFaults) {
  plat::Wnd w = open();
  open_both_groups();
  EXPECT_THAT(tm_test::dialog_layout_faults(w), IsEmpty());
  EXPECT_THAT(tm_test::dialog_layout_faults(featdlg_page(kFeatPageOsm)), IsEmpty());
  show_tab(kFeatPagePolish);
  ASSERT_TRUE(visible(featdlg_page(kFeatPagePolish)));
  EXPECT_THAT(tm_test::dialog_layout_faults(featdlg_page(kFeatPagePolish)), IsEmpty());
  // The pages lie inside the tab control's display area.
  plat::Wnd tab = ctl(kFeatTab);
  plat::Rect area;
  plat::get_client_rect(tab, &area);
  plat::send_message(tab, plat::TCM_ADJUSTRECT, 0, plat::LParam(&area));
  for (int p = 0; p < 2; ++p) {
    plat::Rect r;
    plat::get_window_rect(featdlg_page(p), &r);
    plat::Point corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    plat::map_window_points(nullptr, tab, corners, 2);
    EXPECT_GE(corners[0].x, area.left) << p;
    EXPECT_GE(corners[0].y, area.top) << p;
    EXPECT_LE(corners[1].x, area.right) << p;
    EXPECT_LE(corners[1].y, area.bottom) << p;
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, FeatDlgLayout, ::testing::Values("ENGLISH", "FRANCAIS"),
                         [](const ::testing::TestParamInfo<const char*>& i) { return std::string(i.param); });

// A known mnemonic loads every value of its representation; an unknown one keeps what
// the group shows, so that Apply makes a new representation of it.
TEST_F(FeatDlgWindow, TypingAKnownPointMnemonicLoadsItsValues) {
  struct Case {
    const char* mnemo;
    plat::Color colour;
    const char* font;
    const char* metres;
    bool icon;
    const char* size;  // symbol mode only
  } cases[] = {
      {"SCHOOL", plat::rgb(120, 70, 20), "8", "100", false, "6"},
      {"CITY", plat::rgb(0, 0, 0), "14", "2000", false, "10"},
      {"BANK", plat::rgb(0, 140, 0), "8", "60", true, nullptr},
  };
  open();
  open_point_group();
  for (const Case& c : cases) {
    type(kFeatPointMnemo, c.mnemo);
    EXPECT_EQ(shown(kFeatPointColour), c.colour) << c.mnemo;
    EXPECT_EQ(text(kFeatPointFont), c.font) << c.mnemo;
    EXPECT_EQ(text(kFeatPointMetres), c.metres) << c.mnemo;
    EXPECT_EQ(checked(kFeatIconMode), c.icon) << c.mnemo;
    EXPECT_EQ(checked(kFeatSymbolMode), !c.icon) << c.mnemo;
    EXPECT_EQ(enabled(kFeatIconButton), c.icon) << c.mnemo;
    EXPECT_EQ(enabled(kFeatSymbolList), !c.icon) << c.mnemo;
    if (c.size) {
      EXPECT_EQ(text(kFeatSymbolSize), c.size) << c.mnemo;
    }
    EXPECT_EQ(selected(kOsmNodeList), c.mnemo);
    EXPECT_TRUE(enabled(kFeatApply));
  }
  // SCHOOL draws symbol 2; BANK's icon shows on the chooser button.
  type(kFeatPointMnemo, "SCHOOL");
  EXPECT_EQ(plat::send_message(ctl(kFeatSymbolList), plat::CB_GETCURSEL, 0, 0), 2);
  type(kFeatPointMnemo, "BANK");
  EXPECT_NE(plat::send_message(ctl(kFeatIconButton), plat::BM_GETIMAGE, plat::IMAGE_BITMAP, 0), 0);
  // A new mnemonic keeps the values shown, and nothing is selected in the list.
  type(kFeatPointMnemo, "mine");
  EXPECT_EQ(text(kFeatPointMnemo), "MINE");
  EXPECT_EQ(text(kFeatPointMetres), "60");
  EXPECT_EQ(shown(kFeatPointColour), plat::rgb(0, 140, 0));
  EXPECT_EQ(selected(kOsmNodeList), "");
  // Apply makes it with those values; the lists show it.
  click(kFeatApply);
  representation_t* made = table_repr("MINE");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->thickmeter, 60);
  EXPECT_EQ(made->colour, gps_rgb(0, 140, 0));
  EXPECT_EQ(made->motiforsymb, -1);
  EXPECT_EQ(made->filloricon, 24);
  EXPECT_EQ(made->feattype, kEltNode);
  EXPECT_EQ(selected(kOsmNodeList), "MINE");
  EXPECT_THAT(items(kMpPointList), ::testing::Contains("MINE"));
  // Emptied: the group's controls go off, and so do the buttons.
  clear(kFeatPointMnemo);
  EXPECT_FALSE(enabled(kFeatPointColour));
  EXPECT_FALSE(enabled(kFeatApply));
  EXPECT_EQ(selected(kOsmNodeList), "");
}

TEST_F(FeatDlgWindow, TypingAKnownLineMnemonicLoadsItsValuesAndApplyStoresTheGroup) {
  open();
  open_both_groups();
  type(kFeatLineMnemo, "MOTORWAY");
  EXPECT_EQ(shown(kFeatLineColour), plat::rgb(220, 60, 60));
  EXPECT_EQ(text(kFeatLineFont), "10");
  EXPECT_EQ(text(kFeatLineMetres), "12");
  EXPECT_EQ(text(kFeatLinePixels), "5");
  EXPECT_EQ(plat::window_text(ctl(kFeatLineStyle)), "_______");
  EXPECT_EQ(selected(kOsmWayList), "MOTORWAY");
  // The values as the user changes them.
  type(kFeatLinePixels, "7");
  type(kFeatLineMetres, "15");
  ASSERT_TRUE(tm_test::select_combo_text(ctl(kFeatLineStyle), "-------"));
  tm_test::answer_next_color_dialog(plat::rgb(0, 0, 255));
  click(kFeatLineColour);
  EXPECT_EQ(shown(kFeatLineColour), plat::rgb(0, 0, 255));
  // A text size beyond the range is brought into it.
  type(kFeatLineFont, "99");
  click(kFeatApply);
  representation_t* r = table_repr("MOTORWAY");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->thickpixel, 7);
  EXPECT_EQ(r->thickmeter, 15);
  EXPECT_EQ(r->motiforsymb, 9);
  EXPECT_EQ(r->colour, gps_rgb(0, 0, 255));
  EXPECT_EQ(r->fontsz, 80);
  EXPECT_EQ(r->feattype, kEltWay);
  // The user's representation is in the scheme.
  EXPECT_EQ(obj_list_count(repr_scheme()), 1);
}

// A motif or symbol of the table that the lists do not show is kept by Apply, not
// replaced by some other one.
TEST_F(FeatDlgWindow, ALoadedMotifTheListsDoNotShowIsKept) {
  representation_t* line = nullptr;
  representation_create(nullptr, "ODDLINE", &line);
  line->motiforsymb = 3;
  line->thickpixel = 2;
  line->fontsz = 9;
  line->feattype = kEltWay;
  representation_t* point = nullptr;
  representation_create(nullptr, "ODDPOINT", &point);
  point->motiforsymb = 7;
  point->filloricon = -1;
  point->fontsz = 9;
  point->feattype = kEltNode;
  ASSERT_EQ(repr_add_representation(line), 1);
  ASSERT_EQ(repr_add_representation(point), 1);
  for (obj_t* o : {static_cast<obj_t*>(line), static_cast<obj_t*>(point)}) free_obj(&o);
  open();
  open_both_groups();
  type(kFeatLineMnemo, "ODDLINE");
  type(kFeatPointMnemo, "ODDPOINT");
  EXPECT_EQ(plat::send_message(ctl(kFeatLineStyle), plat::CB_GETCURSEL, 0, 0), plat::CB_ERR);
  EXPECT_EQ(plat::send_message(ctl(kFeatSymbolList), plat::CB_GETCURSEL, 0, 0), plat::CB_ERR);
  type(kFeatLinePixels, "4");
  type(kFeatSymbolSize, "5");
  click(kFeatApply);
  EXPECT_EQ(table_repr("ODDLINE")->motiforsymb, 3);
  EXPECT_EQ(table_repr("ODDLINE")->thickpixel, 4);
  EXPECT_EQ(table_repr("ODDPOINT")->motiforsymb, 7);
  EXPECT_EQ(table_repr("ODDPOINT")->thickpixel, 5);
}

TEST_F(FeatDlgWindow, SameColorAndFontKeepsTheGroupsEqual) {
  open();
  open_both_groups();
  type(kFeatPointMnemo, "SCHOOL");
  EXPECT_FALSE(enabled(kFeatSameColourFont));  // both mnemonics are needed
  type(kFeatLineMnemo, "MOTORWAY");
  ASSERT_TRUE(enabled(kFeatSameColourFont));
  // Unchecked: each group keeps its own.
  type(kFeatLineFont, "20");
  EXPECT_EQ(text(kFeatPointFont), "8");
  tm_test::answer_next_color_dialog(plat::rgb(0, 200, 0));
  click(kFeatLineColour);
  EXPECT_EQ(shown(kFeatPointColour), plat::rgb(120, 70, 20));
  // Checked: a colour chosen and a text size typed go to both.
  click(kFeatSameColourFont);
  tm_test::answer_next_color_dialog(plat::rgb(0, 0, 255));
  click(kFeatLineColour);
  EXPECT_EQ(shown(kFeatLineColour), plat::rgb(0, 0, 255));
  EXPECT_EQ(shown(kFeatPointColour), plat::rgb(0, 0, 255));
  type(kFeatLineFont, "33");
  EXPECT_EQ(text(kFeatPointFont), "33");
  type(kFeatPointFont, "12");
  EXPECT_EQ(text(kFeatLineFont), "12");
  click(kFeatApply);
  EXPECT_EQ(table_repr("SCHOOL")->colour, gps_rgb(0, 0, 255));
  EXPECT_EQ(table_repr("MOTORWAY")->colour, gps_rgb(0, 0, 255));
  EXPECT_EQ(table_repr("SCHOOL")->fontsz, 12);
  EXPECT_EQ(table_repr("MOTORWAY")->fontsz, 12);
}

// The icon chooser's choice is what Apply stores (not icon 0).
TEST_F(FeatDlgWindow, ApplyStoresTheIconChosenWithTheChooser) {
  open();
  open_point_group();
  type(kFeatPointMnemo, "MYICON");
  click(kFeatIconMode);
  ASSERT_TRUE(enabled(kFeatIconButton));
  EXPECT_FALSE(enabled(kFeatSymbolList));
  click(kFeatIconButton);
  plat::Wnd chooser = plat::get_active_window();
  ASSERT_NE(chooser, wnd_);
  ASSERT_GE(icon_chooser_selected(), 0);
  EXPECT_FALSE(plat::is_window_enabled(wnd_));
  // The 61 waypoint icons, not the lap icon of the icon table.
  int low = -1, high = -1;
  plat::send_message(tm_test::dlg_control(chooser, kIconUpDown), plat::UDM_GETRANGE32, plat::WParam(&low),
                     plat::LParam(&high));
  EXPECT_EQ(high, kWaypointIconCount - 10);
  // Icon 13: the second window of ten, fourth button.
  ASSERT_TRUE(tm_test::click_updown(tm_test::dlg_control(chooser, kIconUpDown), true));
  tm_test::run_until_idle();
  const int first = icon_chooser_first();
  ASSERT_TRUE(tm_test::click_control(chooser, kIconFirstButton + 3));
  tm_test::run_until_idle();
  const int chosen = first + 3;
  ASSERT_NE(chosen, 0);
  ASSERT_TRUE(tm_test::click_control(chooser, kIconOk));
  tm_test::run_until_idle();
  EXPECT_TRUE(plat::is_window_enabled(wnd_));
  EXPECT_NE(plat::send_message(ctl(kFeatIconButton), plat::BM_GETIMAGE, plat::IMAGE_BITMAP, 0), 0);
  type(kFeatPointMetres, "40");
  click(kFeatApply);
  representation_t* r = table_repr("MYICON");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->motiforsymb, -1);
  EXPECT_EQ(r->filloricon, chosen);
  EXPECT_EQ(r->thickmeter, 40);
  // Symbol mode stores the symbol and its size, and no icon.
  click(kFeatSymbolMode);
  ASSERT_TRUE(tm_test::select_combo_item(ctl(kFeatSymbolList), 4));
  type(kFeatSymbolSize, "9");
  click(kFeatApply);
  r = table_repr("MYICON");
  EXPECT_EQ(r->motiforsymb, 4);
  EXPECT_EQ(r->filloricon, -1);
  EXPECT_EQ(r->thickpixel, 9);
}

// An icon that could not be loaded is not offered; the others keep their numbers.
TEST_F(FeatDlgWindow, TheChooserLeavesOutAMissingIconAndTheOthersKeepTheirNumbers) {
  const std::string program = tm_test::fresh_dir("featdlg_icons") + "/";
  for (int i = 0; i < kWaypointIconCount; ++i) {
    const std::string name = "wpt" + std::to_string(i) + ".png";
    if (i != 5) std::filesystem::copy_file(kFeatDataDir + name, program + name);
  }
  set_program_dir(program.c_str());
  ASSERT_EQ(gpsobj_load_icons(), kWaypointIconCount - 1);
  open();
  open_point_group();
  type(kFeatPointMnemo, "MYICON");
  click(kFeatIconMode);
  click(kFeatIconButton);
  plat::Wnd chooser = plat::get_active_window();
  ASSERT_NE(chooser, wnd_);
  ASSERT_TRUE(tm_test::click_control(chooser, kIconFirstButton + 5));
  tm_test::run_until_idle();
  ASSERT_TRUE(tm_test::click_control(chooser, kIconOk));
  tm_test::run_until_idle();
  click(kFeatApply);
  EXPECT_EQ(table_repr("MYICON")->filloricon, 6);
  // Opened again on that icon.
  click(kFeatIconButton);
  EXPECT_EQ(icon_chooser_selected(), 5);
  // Closing the window closes the chooser with it.
  plat::Wnd window = wnd_;
  plat::send_message(window, plat::WM_CLOSE, 0, 0);
  tm_test::run_until_idle();
  EXPECT_EQ(icon_chooser_selected(), -1);
  EXPECT_EQ(featdlg_window(), nullptr);
  set_program_dir(kFeatDataDir.c_str());
  gpsobj_load_icons();
}

// The uses of a representation: a table window headed by the representation table's
// header text, a row per feature that names it.
TEST_F(FeatDlgWindow, TheInformationButtonListsTheUsesOfTheRepresentation) {
  open();
  open_both_groups();
  type(kFeatLineMnemo, "PARKINGAREA");
  click(kFeatLineInfo);
  plat::Wnd table = plat::get_active_window();
  ASSERT_NE(table, wnd_);
  EXPECT_EQ(plat::get_class_name(table), "ClasseTableau");
  EXPECT_EQ(plat::window_text(table), "Use for : PARKINGAREA");
  plat::Wnd lv = tm_test::dlg_control(table, kTableList);
  // One row for the OSM feature, then one per Polish feature drawn with it.
  ASSERT_EQ(plat::send_message(lv, plat::LVM_GETITEMCOUNT, 0, 0), 3);
  auto cell = [&](int row, int column) {
    char16_t buf[64] = {};
    plat::LvItem it;
    it.sub_item = column;
    it.text = buf;
    it.text_max = 64;
    plat::send_message(lv, plat::LVM_GETITEMTEXT, plat::WParam(row), plat::LParam(&it));
    return std::u16string(buf);
  };
  EXPECT_EQ(cell(0, 0), u"OSM");
  EXPECT_EQ(cell(0, 1), u"amenity");
  EXPECT_EQ(cell(0, 2), u"parking");
  EXPECT_EQ(cell(0, 3), u"way");
  EXPECT_EQ(cell(1, 0), u"Polish format");
  EXPECT_EQ(cell(2, 0), u"Polish format");
  EXPECT_FALSE(plat::is_window_enabled(wnd_));
  ASSERT_TRUE(tm_test::click_control(table, kTableClose));
  tm_test::run_until_idle();
  EXPECT_TRUE(plat::is_window_enabled(wnd_));
}

TEST_F(FeatDlgWindow, ApplyAndCloseStoresAndClosesCloseOnlyCloses) {
  struct Case {
    int button;
    const char* mnemo;
    int metres;  // what the table holds afterwards
  } cases[] = {{kFeatApplyClose, "CITY", 1234}, {kFeatClose, "TOWN", 1000}};
  for (const Case& c : cases) {
    open();
    open_point_group();
    type(kFeatPointMnemo, c.mnemo);
    type(kFeatPointMetres, "1234");
    click(c.button);
    EXPECT_EQ(featdlg_window(), nullptr) << c.button;
    EXPECT_TRUE(plat::is_window_enabled(frame_)) << c.button;
    EXPECT_EQ(table_repr(c.mnemo)->thickmeter, c.metres) << c.button;
  }
  // The window's own close box does the same as Close.
  open();
  plat::post_message(wnd_, plat::WM_CLOSE, 0, 0);
  tm_test::run_until_idle();
  EXPECT_EQ(featdlg_window(), nullptr);
  EXPECT_TRUE(plat::is_window_enabled(frame_));
}

// A tab change shows its page and loads the groups from that page's choices.
TEST_F(FeatDlgWindow, ATabChangeShowsItsPageAndLoadsItsRepresentations) {
  open();
  choose_keyword("amenity");
  choose(kOsmValueList, "parking");
  EXPECT_EQ(text(kFeatPointMnemo), "PARKING");
  EXPECT_EQ(text(kFeatLineMnemo), "PARKINGAREA");
  show_tab(kFeatPagePolish);
  EXPECT_TRUE(visible(featdlg_page(kFeatPagePolish)));
  EXPECT_FALSE(visible(featdlg_page(kFeatPageOsm)));
  // Nothing is chosen on the Polish page: no group can be edited there.
  EXPECT_FALSE(enabled(kFeatPointMnemo));
  EXPECT_FALSE(enabled(kFeatLineMnemo));
  EXPECT_FALSE(enabled(kFeatApply));
  show_tab(kFeatPageOsm);
  EXPECT_TRUE(visible(featdlg_page(kFeatPageOsm)));
  EXPECT_TRUE(enabled(kFeatPointMnemo));
  EXPECT_TRUE(enabled(kFeatLineMnemo));
  EXPECT_EQ(text(kFeatPointMnemo), "PARKING");
  EXPECT_EQ(selected(kOsmWayList), "PARKINGAREA");
  EXPECT_TRUE(enabled(kFeatApply));
}

}  // namespace
}  // namespace frame_test
