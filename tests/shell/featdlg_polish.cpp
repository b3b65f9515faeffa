// The page "Polish format" of the map features window worked as a user would: the type
// list, a type chosen (one feature: chosen at once; several: nothing to edit until a
// subtype is chosen), a subtype chosen (number, name, kind, representation loaded), the
// type and subtype typed as one number (hexadecimal, decimal, octal; a main type of 0 or
// a number beyond two bytes refused), the element kinds opening the groups, Apply
// (an edited and a new feature recorded, the lists shown again; nothing for a refused
// number) and the user's features surviving a restart.
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "core/config.h"
#include "tests/shell/featdlg_fixture.h"

namespace frame_test {
namespace {

using ::testing::Contains;

class FeatDlgPolish : public FeatDlgFixture {
 protected:
  plat::Wnd open_page() {
    open();
    show_tab(kFeatPagePolish);
    return featdlg_page(kFeatPagePolish);
  }
  static feature_t* polish_feature(int type, int subtype, int kind) {
    feature_t* f = nullptr;
    mp_feature_find(type, subtype, kind, &f);
    return f;
  }
  static std::string str(const char* s) { return s ? s : ""; }
  bool kinds_open() const { return enabled(kMpPoi) && enabled(kMpPolyline) && enabled(kMpPolygon); }
};

TEST(FeatDlgNumber, TypeAndSubtypeReadAsOneNumberOfTwoBytes) {
  struct Case {
    const char* text;
    bool valid;
    int number;
  } cases[] = {
      {"0x1f05", true, 0x1f05}, {"7941", true, 0x1f05},   {"017405", true, 0x1f05}, {"0X1F05", true, 0x1f05},
      {" +7941 ", true, 0x1f05}, {"0x0100", true, 256},    {"0xffff", true, 0xffff}, {"0x00ff", false, 0},
      {"255", false, 0},         {"0", false, 0},          {"", false, 0},           {"   ", false, 0},
      {"-7941", false, 0},       {"0x10000", false, 0},    {"0x11f05", false, 0},    {"73477", false, 0},
      {"7941abc", false, 0},     {"0x", false, 0},         {"99999999999999999999", false, 0},
      {"08", false, 0},
  };
  for (const Case& c : cases) {
    int n = -1;
    EXPECT_EQ(featdlg_read_type_subtype(c.text, &n), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(n, c.number) << c.text;
    }
  }
  // Only the first 37 characters are read.
  EXPECT_TRUE(featdlg_read_type_subtype((std::string(33, ' ') + "7941" + "xyz").c_str(), nullptr));
}

TEST_F(FeatDlgPolish, TheTypeListHoldsEveryMainTypeOnce) {
  open_page();
  const std::vector<std::string> types = items(kMpTypeList);
  EXPECT_EQ(types.size(), 73u);
  EXPECT_EQ(types.front(), "0x01");
  EXPECT_THAT(types, Contains("0x2f"));
  EXPECT_EQ(types.back(), "0x66");
  // Nothing chosen: nothing to edit.
  for (int id : {kMpPoi, kMpPolyline, kMpPolygon, kMpPointList, kMpLineList, kFeatPointMnemo, kFeatLineMnemo})
    EXPECT_FALSE(enabled(id)) << id;
}

// A type of one feature chooses it; a type of several waits for a subtype.
TEST_F(FeatDlgPolish, ChoosingATypeAndASubtypeShowsTheFeatureAndLoadsItsRepresentation) {
  open_page();
  choose(kMpTypeList, "0x17");
  EXPECT_EQ(items(kMpSubtypeList), std::vector<std::string>{"0x00"});
  EXPECT_EQ(selected(kMpSubtypeList), "0x00");
  EXPECT_EQ(text(kMpNumber), "0x1700");
  EXPECT_EQ(text(kMpName), "City park");
  EXPECT_TRUE(checked(kMpPolygon));
  EXPECT_FALSE(checked(kMpPoi));
  EXPECT_EQ(selected(kMpLineList), "PARK");
  EXPECT_EQ(selected(kMpPointList), "");
  EXPECT_EQ(text(kFeatLineMnemo), "PARK");
  EXPECT_TRUE(enabled(kFeatLineMnemo));
  EXPECT_FALSE(enabled(kFeatPointMnemo));

  choose(kMpTypeList, "0x2f");
  EXPECT_EQ(items(kMpSubtypeList).size(), 24u);
  EXPECT_EQ(selected(kMpSubtypeList), "");
  EXPECT_EQ(text(kMpNumber), "0x2f");
  EXPECT_EQ(text(kMpName), "");
  for (int id : {kMpPoi, kMpPolyline, kMpPolygon, kFeatPointMnemo, kFeatLineMnemo, kFeatLineColour, kFeatApply})
    EXPECT_FALSE(enabled(id)) << id;

  choose(kMpSubtypeList, "0x01");
  EXPECT_EQ(text(kMpNumber), "0x2f01");
  EXPECT_EQ(text(kMpName), "Fuel station");
  EXPECT_TRUE(checked(kMpPoi));
  EXPECT_TRUE(kinds_open());
  EXPECT_EQ(selected(kMpPointList), "FUEL");
  EXPECT_EQ(selected(kMpLineList), "");
  EXPECT_EQ(text(kFeatPointMnemo), "FUEL");
  EXPECT_TRUE(enabled(kFeatPointMnemo));
  EXPECT_FALSE(enabled(kFeatLineMnemo));
  EXPECT_TRUE(enabled(kFeatApply));
}

// The number typed opens the kinds while it names a type and subtype, and selects the
// feature of the checked kind in the lists.
TEST_F(FeatDlgPolish, ATypedNumberSelectsItsFeatureAndARefusedOneClosesTheKinds) {
  struct Case {
    const char* text;
    bool valid;
  } cases[] = {
      {"0x2f01", true}, {"12033", true}, {"027401", true}, {"0x00ff", false},
      {"0x12f01", false},  // 0x2f01 beyond the two bytes: not that type
      {"-12033", false}, {"255", false}, {"x12033", false},
  };
  open_page();
  type(kMpNumber, "0x2f01");
  ASSERT_TRUE(kinds_open());
  click(kMpPoi);
  EXPECT_TRUE(enabled(kFeatPointMnemo));
  for (const Case& c : cases) {
    choose(kMpTypeList, "0x01");
    type(kMpNumber, c.text);
    EXPECT_EQ(kinds_open(), c.valid) << c.text;
    EXPECT_EQ(enabled(kFeatPointMnemo), c.valid) << c.text;
    EXPECT_EQ(enabled(kMpPointList), c.valid) << c.text;
    EXPECT_EQ(selected(kMpTypeList), c.valid ? "0x2f" : "0x01") << c.text;
    if (c.valid) {
      EXPECT_EQ(selected(kMpSubtypeList), "0x01") << c.text;
    }
  }
  // Another kind: the feature of that kind (here none for 0x2f01 as a polyline).
  type(kMpNumber, "0x1f00");
  click(kMpPolygon);
  EXPECT_TRUE(enabled(kFeatLineMnemo));
  EXPECT_FALSE(enabled(kFeatPointMnemo));
  type(kMpNumber, "7936");
  EXPECT_EQ(selected(kMpTypeList), "0x1f");
  const int position = int(plat::send_message(ctl(kMpSubtypeList), plat::LB_GETCURSEL, 0, 0));
  ASSERT_GE(position, 0);
  const auto data = plat::send_message(ctl(kMpSubtypeList), plat::LB_GETITEMDATA, plat::WParam(position), 0);
  EXPECT_EQ(static_cast<feature_t*>(mp_features()->elems[data])->elttype, kPolishPolygon);
  click(kMpPolyline);
  type(kMpNumber, "12033");
  EXPECT_EQ(selected(kMpTypeList), "0x1f");  // no polyline 0x2f01: nothing selected anew
}

TEST_F(FeatDlgPolish, ApplyRecordsAnEditedAndANewFeatureAndListsThemAgain) {
  open_page();
  choose(kMpTypeList, "0x2f");
  choose(kMpSubtypeList, "0x01");
  type(kMpName, "Petrol");
  type(kFeatPointMnemo, "MYFUEL");
  click(kFeatApply);
  feature_t* f = polish_feature(0x2f, 0x01, kPolishPoi);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(str(f->mnemo), "MYFUEL");
  EXPECT_EQ(str(f->name), "Petrol");
  ASSERT_NE(table_repr("MYFUEL"), nullptr);
  EXPECT_EQ(obj_list_count(mp_user_features()), 1);
  EXPECT_EQ(selected(kMpPointList), "MYFUEL");
  EXPECT_EQ(selected(kMpTypeList), "0x2f");
  EXPECT_EQ(selected(kMpSubtypeList), "0x01");
  // A feature the index lacks, typed: recorded, listed and chosen.
  type(kMpNumber, "0x2f30");
  ASSERT_TRUE(kinds_open());
  ASSERT_TRUE(checked(kMpPoi));
  type(kMpName, "Hut");
  type(kFeatPointMnemo, "BANK");
  click(kFeatApply);
  f = polish_feature(0x2f, 0x30, kPolishPoi);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(str(f->mnemo), "BANK");
  EXPECT_EQ(str(f->name), "Hut");
  EXPECT_EQ(items(kMpSubtypeList).size(), 25u);
  EXPECT_EQ(selected(kMpSubtypeList), "0x30");
  // The positions of the subtype list follow the rebuilt index.
  choose(kMpSubtypeList, "0x01");
  EXPECT_EQ(text(kMpName), "Petrol");
  choose(kMpSubtypeList, "0x30");
  EXPECT_EQ(text(kMpName), "Hut");
  EXPECT_EQ(text(kFeatPointMnemo), "BANK");
}

// A number the page refuses records nothing, even when Apply's command comes.
TEST_F(FeatDlgPolish, ApplyWithARefusedNumberRecordsNothing) {
  for (const char* number : {"0x00ff", "0x12f01"}) {
    open_page();
    choose(kMpTypeList, "0x2f");
    choose(kMpSubtypeList, "0x01");
    type(kMpNumber, number);
    plat::send_message(wnd_, plat::WM_COMMAND, plat::make_wparam(kFeatApply, plat::BN_CLICKED), 0);
    tm_test::run_until_idle();
    EXPECT_EQ(obj_list_count(mp_user_features()), 0) << number;
    EXPECT_EQ(polish_feature(0x00, 0xff, kPolishPoi), nullptr) << number;
    EXPECT_EQ(str(polish_feature(0x2f, 0x01, kPolishPoi)->mnemo), "FUEL") << number;
    click(kFeatClose);
  }
}

TEST_F(FeatDlgPolish, TheUsersFeaturesSurviveARestart) {
  const std::string program = tm_test::fresh_dir("featdlg_mp_restart") + "/";
  std::filesystem::create_directories(program + "system");
  for (const char* f : {kPolishFeatureFile, kPolishMainFeatureFile})
    std::filesystem::copy_file(kFeatDataDir + f, program + "system/" + f);
  set_program_dir(program.c_str());
  mp_free();
  mp_init();
  open_page();
  type(kMpNumber, "0x2f30");
  click(kMpPoi);
  type(kMpName, "Hut");
  type(kFeatPointMnemo, "HUT");
  click(kFeatApplyClose);
  savfile_flush();
  const std::string saved = std::string(get_user_app_dir()) + kPolishUserFeatures + ".sot";
  EXPECT_TRUE(std::filesystem::exists(saved));
  mp_free();
  repr_tables_free();
  ASSERT_EQ(repr_load_from((dir_ + kReprFileName).c_str()), 0);
  mp_init();
  feature_t* f = polish_feature(0x2f, 0x30, kPolishPoi);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(str(f->mnemo), "HUT");
  EXPECT_EQ(str(f->name), "Hut");
  EXPECT_NE(table_repr("HUT"), nullptr);
  open_page();
  choose(kMpTypeList, "0x2f");
  choose(kMpSubtypeList, "0x30");
  EXPECT_EQ(text(kMpName), "Hut");
  EXPECT_EQ(text(kFeatPointMnemo), "HUT");
  click(kFeatClose);
  mp_free();
  set_program_dir(kFeatDataDir.c_str());
  ASSERT_EQ(mp_init_from(kFeatDataDir.c_str(), nullptr), 2);
}

}  // namespace
}  // namespace frame_test
