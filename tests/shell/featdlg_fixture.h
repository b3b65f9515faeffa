// Shared by the tests of the map features window: the frame as start-up builds it, the
// waypoint icons, the representation table loaded from a copy of the shipped
// "representation.xml" (its scheme saved beside the copy, never into the sources), the
// OpenStreetMap and Polish tables of the shipped vocabulary and feature files, and the
// window opened and worked as a user would.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/xml.h"
#include "formats/osm.h"
#include "formats/polish_map.h"
#include "map/bitmap_record.h"
#include "map/file_internal.h"
#include "map/gps_classes.h"
#include "map/repr.h"
#include "map/saved_tables.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/ctl_tab.h"
#include "platform/ui/dialog.h"
#include "raster/image_load.h"
#include "shell/featdlg.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/harness_common.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/harness_lists.h"
#include "tests/support/test_env.h"

namespace frame_test {

inline const std::string kFeatDataDir = TM_SOURCE_DIR "/data/";

class FeatDlgFixture : public FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    xml_init();
    file_detail::file_ops_table_install();
    savfile_reset();
    register_gps_classes();
    bitmap_module_init();
    raster_module_init();
    ASSERT_GT(gpsobj_load_icons(), 10);
    repr_register_classes();
    dir_ = tm_test::fresh_dir("featdlg") + "/";
    std::filesystem::copy_file(kFeatDataDir + kReprFileName, dir_ + kReprFileName);
    ASSERT_EQ(repr_load_from((dir_ + kReprFileName).c_str()), 0);
    ASSERT_EQ(osm_init_from(kFeatDataDir.c_str(), nullptr), 4);
    ASSERT_EQ(mp_init_from(kFeatDataDir.c_str(), nullptr), 2);
    set_gblerr(0);
  }
  void TearDown() override {
    if (plat::Wnd w = featdlg_window()) plat::destroy_window(w);
    tm_test::run_until_idle();
    osm_free();
    mp_free();
    repr_tables_free();
    for (int i = 0; i < kReprDescribeSlots; ++i) repr_set_describe_hook(i, nullptr);
    savfile_reset();
    gpsobj_free_icons();
    set_gblerr(0);
    FrameFixture::TearDown();
  }

  // The window opened as the menu command opens it.
  plat::Wnd open() {
    featdlg_open_window();
    tm_test::run_until_idle();
    wnd_ = featdlg_window();
    EXPECT_NE(wnd_, nullptr);
    return wnd_;
  }

  plat::Wnd ctl(int id) const { return tm_test::dlg_control(wnd_, id); }
  std::string text(int id) const { return plat::window_text(ctl(id)); }
  bool enabled(int id) const { return plat::is_window_enabled(ctl(id)); }
  bool checked(int id) const { return plat::send_message(ctl(id), plat::BM_GETCHECK, 0, 0) == plat::BST_CHECKED; }
  bool visible(plat::Wnd w) const { return plat::is_window_visible(w); }

  void click(int id) {
    ASSERT_TRUE(tm_test::click_control(wnd_, id)) << id;
    tm_test::run_until_idle();
  }
  void type(int id, const char* text) {
    ASSERT_TRUE(tm_test::type_into(wnd_, id, text)) << id;
    tm_test::run_until_idle();
  }
  // Empties a field as a user would (its text selected and deleted).
  void clear(int id) {
    ASSERT_TRUE(tm_test::type_into(wnd_, id, "")) << id;
    tm_test::press_key(plat::VK_DELETE);
    tm_test::run_until_idle();
  }
  void choose_keyword(const char* name) {
    ASSERT_TRUE(tm_test::select_combo_text(ctl(kOsmKeywordList), name)) << name;
    tm_test::run_until_idle();
  }
  void choose(int list, const char* item) {
    ASSERT_TRUE(tm_test::click_list_text(ctl(list), item)) << list << " " << item;
    tm_test::run_until_idle();
  }
  void show_tab(int index) {
    ASSERT_TRUE(tm_test::click_tab(ctl(kFeatTab), index));
    tm_test::run_until_idle();
  }

  // The texts of a list box, and its selected text ("" when none).
  std::vector<std::string> items(int id) const {
    std::vector<std::string> out;
    plat::Wnd list = ctl(id);
    const int n = int(plat::send_message(list, plat::LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) out.push_back(item_text(list, i));
    return out;
  }
  std::string selected(int id) const {
    plat::Wnd list = ctl(id);
    const int i = int(plat::send_message(list, plat::LB_GETCURSEL, 0, 0));
    return i < 0 ? std::string() : item_text(list, i);
  }
  static std::string item_text(plat::Wnd list, int i) {
    const int len = int(plat::send_message(list, plat::LB_GETTEXTLEN, plat::WParam(i), 0));
    std::u16string w(size_t(len > 0 ? len : 0) + 1, u'\0');
    plat::send_message(list, plat::LB_GETTEXT, plat::WParam(i), plat::LParam(w.data()));
    std::string s;
    for (char16_t c : w)
      if (c) s += char(c);
    return s;
  }
  std::vector<std::string> combo_items(int id) const {
    std::vector<std::string> out;
    plat::Wnd combo = ctl(id);
    const int n = int(plat::send_message(combo, plat::CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      const int len = int(plat::send_message(combo, plat::CB_GETLBTEXTLEN, plat::WParam(i), 0));
      std::u16string w(size_t(len > 0 ? len : 0) + 1, u'\0');
      plat::send_message(combo, plat::CB_GETLBTEXT, plat::WParam(i), plat::LParam(w.data()));
      std::string s;
      for (char16_t c : w)
        if (c) s += char(c);
      out.push_back(s);
    }
    return out;
  }
  // The colour a button shows, read in its middle.
  plat::Color shown(int id) const {
    plat::Wnd b = ctl(id);
    plat::Rect r;
    plat::get_client_rect(b, &r);
    return plat::color_of_pixel(tm_test::pixel_at(b, r.width() / 2, r.height() / 2));
  }

  // The representation of the table by mnemonic (null when none).
  static representation_t* table_repr(const char* mnemo) {
    representation_t* r = nullptr;
    repr_find_mnemo(mnemo, &r, nullptr);
    return r;
  }
  // The OSM feature of (key name, value name, element type), or null.
  static feature_t* osm_feature(const char* key, const char* value, int elttype) {
    feature_t* f = nullptr;
    osm_feature_find(osm_key_code(key), osm_value_code(value), elttype, &f);
    return f;
  }

  // The point group opened through the page "OSM": k and v typed, "Node" checked.
  void open_point_group(const char* k = "amenity", const char* v = "somewhere") {
    type(kOsmKeyEdit, k);
    type(kOsmValueEdit, v);
    if (!checked(kOsmNode)) click(kOsmNode);
  }
  void open_both_groups(const char* k = "amenity", const char* v = "somewhere") {
    open_point_group(k, v);
    if (!checked(kOsmWay)) click(kOsmWay);
  }

  std::string dir_;
  plat::Wnd wnd_ = nullptr;
};

}  // namespace frame_test
