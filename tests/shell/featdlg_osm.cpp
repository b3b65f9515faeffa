// The page "OSM" of the map features window worked as a user would: the keyword list,
// a keyword chosen (its values, k and v), k and v typed (the boxes need both), a value
// chosen (default box, node and way representations loaded), Apply (a new keyword,
// value and features recorded; the default value rules; unchecking a way that has no
// feature records nothing; an empty k or v records nothing), the user's features
// surviving a restart, and a load task reading the tables while Apply changes them.
#include <atomic>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>

#include "core/config.h"
#include "tests/shell/featdlg_fixture.h"
#include "tests/support/test_env.h"

namespace frame_test {
namespace {

using ::testing::Contains;
using ::testing::Not;

class FeatDlgOsm : public FeatDlgFixture {
 protected:
  // The keyword record's default value of a key name (-1 without record).
  static int default_of(const char* key) {
    feature_t* k = nullptr;
    osm_keyword_find(osm_key_code(key), &k);
    return k ? k->subtype : -1;
  }
  static std::string mnemo_of(const feature_t* f) { return f && f->mnemo ? f->mnemo : ""; }
  // Features of the user list of an element type.
  static int user_features(int elttype) {
    int n = 0;
    const container_t* list = osm_user_features();
    for (int i = 0; i < obj_list_count(list); ++i)
      if (static_cast<const feature_t*>(list->elems[i])->elttype == elttype) ++n;
    return n;
  }
};

TEST_F(FeatDlgOsm, TheKeywordListHoldsTheKeysWithAKeywordRecordInDictionaryOrder) {
  open();
  const std::vector<std::string> keys = combo_items(kOsmKeywordList);
  EXPECT_EQ(keys.size(), 26u);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_THAT(keys, Contains("amenity"));
  EXPECT_THAT(keys, Contains("building"));
  EXPECT_THAT(keys, Not(Contains("name")));  // a key without keyword record
}

TEST_F(FeatDlgOsm, AChosenKeywordListsItsValuesOnceEachAndStartsAFreshChoice) {
  open();
  open_both_groups("building", "anything");
  type(kFeatPointMnemo, "SCHOOL");
  choose_keyword("amenity");
  const std::vector<std::string> values = items(kOsmValueList);
  EXPECT_EQ(values.size(), 34u);
  EXPECT_EQ(std::set<std::string>(values.begin(), values.end()).size(), values.size());
  EXPECT_THAT(values, Contains("parking"));
  EXPECT_THAT(values, Contains("recycling"));
  EXPECT_THAT(values, Not(Contains("house")));  // a value of another key
  EXPECT_EQ(text(kOsmKeyEdit), "amenity");
  EXPECT_EQ(text(kOsmValueEdit), "");
  EXPECT_FALSE(checked(kOsmNode));
  EXPECT_FALSE(checked(kOsmWay));
  EXPECT_FALSE(enabled(kOsmNode));
  EXPECT_FALSE(enabled(kFeatPointMnemo));
  EXPECT_FALSE(enabled(kFeatLineMnemo));
  EXPECT_FALSE(enabled(kFeatPointColour));
  EXPECT_FALSE(enabled(kFeatApply));
}

// The boxes need both texts; "Default v" goes unchecked with them; a known key and value
// are selected in their lists.
TEST_F(FeatDlgOsm, TypedTextsSelectWhatIsKnownAndOpenTheBoxesOnlyWithBothTexts) {
  struct Case {
    const char* k;
    const char* v;
    bool boxes;
  } cases[] = {{"", "", false}, {"amenity", "", false}, {"", "bank", false}, {"amenity", "bank", true},
               {"new key", "new value", true}};
  open();
  choose_keyword("building");
  for (const Case& c : cases) {
    type(kOsmKeyEdit, "x");
    type(kOsmValueEdit, "y");
    if (!checked(kOsmDefaultValue)) click(kOsmDefaultValue);
    ASSERT_TRUE(checked(kOsmDefaultValue));
    for (auto [id, t] : {std::pair{kOsmKeyEdit, c.k}, std::pair{kOsmValueEdit, c.v}}) {
      if (*t)
        type(id, t);
      else
        clear(id);
    }
    for (int id : {kOsmDefaultValue, kOsmNode, kOsmWay})
      EXPECT_EQ(enabled(id), c.boxes) << c.k << "/" << c.v << " " << id;
    EXPECT_EQ(checked(kOsmDefaultValue), c.boxes) << c.k << "/" << c.v;
  }
  // A known key is selected in the keyword list, a known value of the listed ones in
  // the value list.
  choose_keyword("amenity");
  type(kOsmKeyEdit, "building");
  EXPECT_EQ(plat::window_text(ctl(kOsmKeywordList)), "building");
  choose_keyword("amenity");
  type(kOsmValueEdit, "bank");
  EXPECT_EQ(selected(kOsmValueList), "bank");
  // "Node" opens the node list and the point mnemonic; unchecked, the group closes.
  click(kOsmNode);
  EXPECT_TRUE(enabled(kOsmNodeList));
  EXPECT_TRUE(enabled(kFeatPointMnemo));
  EXPECT_FALSE(enabled(kOsmWayList));
  EXPECT_FALSE(enabled(kFeatLineMnemo));
  click(kOsmNode);
  EXPECT_FALSE(enabled(kOsmNodeList));
  EXPECT_FALSE(enabled(kFeatPointMnemo));
}

// A value chosen: "Default v" as the keyword record says, and each side checked with
// its representation selected and loaded when the feature has one.
TEST_F(FeatDlgOsm, AChosenValueShowsItsDefaultAndLoadsItsNodeAndWayRepresentations) {
  struct Case {
    const char* k;
    const char* v;
    const char* node;  // "" : no node representation
    const char* way;
    bool is_default;
  } cases[] = {
      {"amenity", "parking", "PARKING", "PARKINGAREA", false},
      {"amenity", "bank", "BANK", "", false},
      {"building", "yes", "", "BUILDING", true},
      {"building", "house", "", "BUILDING", false},
  };
  open();
  for (const Case& c : cases) {
    choose_keyword(c.k);
    choose(kOsmValueList, c.v);
    const std::string what = std::string(c.k) + "=" + c.v;
    EXPECT_EQ(text(kOsmValueEdit), c.v) << what;
    EXPECT_EQ(checked(kOsmDefaultValue), c.is_default) << what;
    EXPECT_EQ(checked(kOsmNode), *c.node != 0) << what;
    EXPECT_EQ(checked(kOsmWay), *c.way != 0) << what;
    EXPECT_EQ(selected(kOsmNodeList), c.node) << what;
    EXPECT_EQ(selected(kOsmWayList), c.way) << what;
    EXPECT_EQ(enabled(kFeatPointMnemo), *c.node != 0) << what;
    EXPECT_EQ(enabled(kFeatLineMnemo), *c.way != 0) << what;
    if (*c.node) {
      EXPECT_EQ(text(kFeatPointMnemo), c.node) << what;
    }
    if (*c.way) {
      EXPECT_EQ(text(kFeatLineMnemo), c.way) << what;
    }
  }
  // A choice in a representation list loads that representation.
  choose(kOsmWayList, "MOTORWAY");
  EXPECT_EQ(text(kFeatLineMnemo), "MOTORWAY");
  EXPECT_EQ(text(kFeatLineMetres), "12");
}

TEST_F(FeatDlgOsm, ApplyRecordsANewKeywordValueAndItsFeaturesAndShowsThemAgain) {
  open();
  const int keys_before = obj_list_count(osm_key_dict());
  open_both_groups("ski", "piste");
  type(kFeatPointMnemo, "SKI");
  type(kFeatLineMnemo, "MOTORWAY");
  click(kFeatApply);
  const int key = osm_key_code("ski"), value = osm_value_code("piste");
  ASSERT_GT(key, 0);
  ASSERT_GT(value, 0);
  EXPECT_EQ(obj_list_count(osm_key_dict()), keys_before + 1);
  EXPECT_EQ(default_of("ski"), 0);
  EXPECT_EQ(mnemo_of(osm_feature("ski", "piste", kEltNode)), "SKI");
  EXPECT_EQ(mnemo_of(osm_feature("ski", "piste", kEltWay)), "MOTORWAY");
  ASSERT_NE(table_repr("SKI"), nullptr);
  EXPECT_EQ(table_repr("SKI")->feattype, kEltNode);
  EXPECT_EQ(user_features(kEltNode), 1);
  EXPECT_EQ(user_features(kEltWay), 1);
  // The page shows the rebuilt tables: the new key listed and chosen, its value chosen,
  // both sides checked with their representations.
  EXPECT_THAT(combo_items(kOsmKeywordList), Contains("ski"));
  EXPECT_EQ(plat::window_text(ctl(kOsmKeywordList)), "ski");
  EXPECT_EQ(items(kOsmValueList), std::vector<std::string>{"piste"});
  EXPECT_EQ(selected(kOsmValueList), "piste");
  EXPECT_TRUE(checked(kOsmNode));
  EXPECT_TRUE(checked(kOsmWay));
  EXPECT_EQ(selected(kOsmNodeList), "SKI");
  EXPECT_EQ(selected(kOsmWayList), "MOTORWAY");
  EXPECT_EQ(text(kFeatPointMnemo), "SKI");
}

// Apply reached with an empty k or v (its button is off then, but the command may still
// come) enters no empty name and records nothing.
TEST_F(FeatDlgOsm, ApplyWithAnEmptyKeywordOrValueRecordsNothing) {
  struct Case {
    int emptied;
  } cases[] = {{kOsmKeyEdit}, {kOsmValueEdit}};
  for (const Case& c : cases) {
    open();
    open_both_groups("ski", "piste");
    type(kFeatPointMnemo, "SKI");
    clear(c.emptied);
    EXPECT_FALSE(enabled(kFeatApply));
    const int keys = obj_list_count(osm_key_dict()), values = obj_list_count(osm_value_dict());
    plat::send_message(wnd_, plat::WM_COMMAND, plat::make_wparam(kFeatApply, plat::BN_CLICKED), 0);
    tm_test::run_until_idle();
    EXPECT_EQ(obj_list_count(osm_key_dict()), keys) << c.emptied;
    EXPECT_EQ(obj_list_count(osm_value_dict()), values) << c.emptied;
    EXPECT_EQ(osm_key_code(""), 0);
    EXPECT_EQ(osm_value_code(""), 0);
    EXPECT_EQ(obj_list_count(osm_user_keywords()), 0) << c.emptied;
    EXPECT_EQ(obj_list_count(osm_user_features()), 0) << c.emptied;
    EXPECT_EQ(table_repr("SKI"), nullptr) << c.emptied;
    click(kFeatClose);
  }
}

// The default value: set when "Default v" is checked for another value, cleared when it
// is unchecked for the default itself or when neither side is drawn.
TEST_F(FeatDlgOsm, ApplySetsAndClearsTheKeywordsDefaultValue) {
  struct Case {
    const char* k;
    const char* v;
    bool click_default;  // the box flipped
    bool uncheck_sides;  // "Node" and "Way" unchecked
    const char* want;    // the default afterwards ("" : 0)
  } cases[] = {
      {"building", "yes", true, false, ""},
      {"building", "house", true, false, "house"},
      {"shop", "yes", false, true, ""},
      {"amenity", "bank", false, false, ""},
  };
  open();
  for (const Case& c : cases) {
    choose_keyword(c.k);
    choose(kOsmValueList, c.v);
    if (c.click_default) click(kOsmDefaultValue);
    if (c.uncheck_sides) {
      // Nothing left to edit turns Apply off; its command may still come.
      if (checked(kOsmNode)) click(kOsmNode);
      if (checked(kOsmWay)) click(kOsmWay);
      EXPECT_FALSE(enabled(kFeatApply));
      plat::send_message(wnd_, plat::WM_COMMAND, plat::make_wparam(kFeatApply, plat::BN_CLICKED), 0);
      tm_test::run_until_idle();
    } else {
      click(kFeatApply);
    }
    const int want = *c.want ? osm_value_code(c.want) : 0;
    EXPECT_EQ(default_of(c.k), want) << c.k << "=" << c.v;
    EXPECT_EQ(checked(kOsmDefaultValue), *c.want != 0 && std::strcmp(c.want, c.v) == 0) << c.k << "=" << c.v;
  }
}

// Unchecking "Way" takes the way representation away from a feature the table has, and
// records nothing for one it has not.
TEST_F(FeatDlgOsm, UncheckingWayRecordsNoneOnlyForAnExistingWayFeature) {
  open();
  choose_keyword("amenity");
  choose(kOsmValueList, "bank");
  ASSERT_FALSE(checked(kOsmWay));
  click(kFeatApply);
  EXPECT_EQ(osm_feature("amenity", "bank", kEltWay), nullptr);
  EXPECT_EQ(user_features(kEltWay), 0);
  choose(kOsmValueList, "parking");
  ASSERT_TRUE(checked(kOsmWay));
  click(kOsmWay);
  click(kFeatApply);
  EXPECT_EQ(mnemo_of(osm_feature("amenity", "parking", kEltWay)), kReprNoMnemo);
  EXPECT_EQ(user_features(kEltWay), 1);
  EXPECT_FALSE(checked(kOsmWay));
  EXPECT_EQ(selected(kOsmWayList), "");
  EXPECT_TRUE(checked(kOsmNode));
  EXPECT_EQ(mnemo_of(osm_feature("amenity", "parking", kEltNode)), "PARKING");
}

// The user's keyword, value, features and representation are in the saved tables
// written at exit, and the next start reads them back.
TEST_F(FeatDlgOsm, TheUsersFeaturesSurviveARestart) {
  const std::string program = tm_test::fresh_dir("featdlg_restart") + "/";
  std::filesystem::create_directories(program + "system");
  for (const char* f : {kOsmKeyTagFile, kOsmValueTagFile, kOsmKeyFeatFile, kOsmValueFeatFile})
    std::filesystem::copy_file(kFeatDataDir + f, program + "system/" + f);
  set_program_dir(program.c_str());
  tm_test::forget_saved_tables();  // a first run
  osm_free();
  osm_init();
  open();
  open_point_group("ski", "piste");
  type(kFeatPointMnemo, "SKI");
  click(kFeatApply);
  choose_keyword("building");
  choose(kOsmValueList, "house");
  click(kOsmDefaultValue);
  click(kFeatApplyClose);
  savfile_flush();
  const std::string saved = std::string(get_user_app_dir()) + kOsmUserFeatureList + ".sot";
  EXPECT_TRUE(std::filesystem::exists(saved));
  // The next start.
  osm_free();
  repr_tables_free();
  ASSERT_EQ(repr_load_from((dir_ + kReprFileName).c_str()), 0);
  osm_init();
  EXPECT_EQ(mnemo_of(osm_feature("ski", "piste", kEltNode)), "SKI");
  EXPECT_EQ(osm_feature("ski", "piste", kEltWay), nullptr);
  EXPECT_EQ(default_of("building"), osm_value_code("house"));
  EXPECT_NE(table_repr("SKI"), nullptr);
  open();
  EXPECT_THAT(combo_items(kOsmKeywordList), Contains("ski"));
  choose_keyword("ski");
  choose(kOsmValueList, "piste");
  EXPECT_TRUE(checked(kOsmNode));
  EXPECT_EQ(text(kFeatPointMnemo), "SKI");
  click(kFeatClose);
  osm_free();
  tm_test::forget_saved_tables();
  set_program_dir(kFeatDataDir.c_str());
  ASSERT_EQ(osm_init_from(kFeatDataDir.c_str(), nullptr), 4);
}

// A load task classifies with the tables while Apply changes them: under the tables'
// lock it never sees half of one Apply (here: the node drawn with SCHOOL while the
// keyword's default value, set in the same Apply, is already gone).
TEST_F(FeatDlgOsm, ALoadTaskNeverSeesHalfAnApply) {
  open();
  open_point_group("ski", "piste");
  type(kFeatPointMnemo, "SCHOOL");
  click(kOsmDefaultValue);
  click(kFeatApply);
  const int key = osm_key_code("ski"), value = osm_value_code("piste");
  ASSERT_EQ(default_of("ski"), value);
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0}, torn{0};
  std::thread reader([&] {
    while (!stop.load()) {
      // Spinning on the lock as a busy reader does: it is taken the moment it is free.
      std::unique_lock<std::recursive_mutex> lock(osm_tables_mutex(), std::try_to_lock);
      if (!lock.owns_lock()) {
        std::this_thread::yield();
        continue;
      }
      feature_t* node = nullptr;
      feature_t* keyword = nullptr;
      osm_feature_find(key, value, kEltNode, &node);
      osm_keyword_find(key, &keyword);
      const bool drawn = node && node->mnemo && std::strcmp(node->mnemo, "SCHOOL") == 0;
      if (drawn && (!keyword || keyword->subtype != value)) ++torn;
      ++reads;
    }
  });
  for (int i = 0; i < 60; ++i) {
    // Off: no default, no node (Apply's button is off then, its command is sent); on:
    // both again.
    click(kOsmDefaultValue);
    click(kOsmNode);
    plat::send_message(wnd_, plat::WM_COMMAND, plat::make_wparam(kFeatApply, plat::BN_CLICKED), 0);
    tm_test::run_until_idle();
    ASSERT_EQ(mnemo_of(osm_feature("ski", "piste", kEltNode)), kReprNoMnemo);
    click(kOsmNode);
    type(kFeatPointMnemo, "SCHOOL");
    click(kOsmDefaultValue);
    click(kFeatApply);
  }
  stop = true;
  reader.join();
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(default_of("ski"), value);
  EXPECT_EQ(mnemo_of(osm_feature("ski", "piste", kEltNode)), "SCHOOL");
}

}  // namespace
}  // namespace frame_test
