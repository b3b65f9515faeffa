// Shared by the tests of the system and unit dialogs and of the cursor window: the
// frame built as start-up builds it, the real geodesy tables, a display system chosen
// by the test on the frame's graph space, and readers of the dialogs' controls.
#pragma once
#include <string>
#include <vector>

#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "map/graphspace.h"
#include "platform/sys/utf.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/dialog.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "shell/cursor_window.h"
#include "shell/system_dialogs.h"
#include "tests/geodesy/geodesy_fixture.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/harness_lists.h"
#include "tests/support/test_env.h"

namespace frame_test {

constexpr int kWgs84Code = 214;
constexpr int kLambert93Code = 2154;

class SystemDialogFixture : public FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    ASSERT_NO_FATAL_FAILURE(load_geodesy());
    system_dialog_reset();
    ASSERT_EQ(register_cursor_class(), 1);
    gs_ = get_current_graphspace();
    ASSERT_NE(gs_, nullptr);
    ASSERT_NE(gs_->georef, nullptr);
    tm_test::clear_message_boxes();
  }
  void TearDown() override {
    for (georef_t* g : georefs_) free_obj(&g);
    georefs_.clear();
    if (lone_) free_obj(&lone_);
    system_dialog_reset();
    FrameFixture::TearDown();
  }

  static geodatum_t* wgs84() {
    geodatum_t* d = nullptr;
    geo_find_by_code(CLS_GEODATUM, kWgs84Code, &d);
    return d;
  }
  static cartproj_t* lambert93() {
    cartproj_t* p = nullptr;
    geo_find_by_code(CLS_CARTPROJ, kLambert93Code, &p);
    return p;
  }
  static void set_system(georef_t* g, int refertype, int unit) {
    g->refertype = refertype;
    g->datum = refertype == GEOREF_PROJECTED ? lambert93()->datum : refertype ? wgs84() : nullptr;
    g->projection = refertype == GEOREF_PROJECTED ? lambert93() : nullptr;
    g->unit = unit;
  }
  // The display system: none, WGS 84 (1) or Lambert-93 (2), coordinates in `unit`.
  void use_display(int refertype, int unit) { set_system(gs_->georef, refertype, unit); }
  // A georef of the session kept until the end of the test.
  georef_t* session_georef(int refertype, int unit) {
    georef_t* g = nullptr;
    georef_create(nullptr, &g);
    set_system(g, refertype, unit);
    georefs_.push_back(g);
    return g;
  }
  // A datum of the tables (found by name) that no transformation joins to the others.
  geodatum_t* lone_datum() {
    geodatum_t* w = wgs84();
    if (!lone_) geodatum_create("Lone datum", w->ellip, 1, w->meridian0, nullptr, 99999, &lone_);
    return lone_;
  }
  pane_t* pane() { return map_object_->pane; }
  georef_t* cursor() { return pane()->georef; }

  static std::vector<std::string> list_texts(plat::Wnd dlg, int id) {
    std::vector<std::string> out;
    const auto n = plat::send_dlg_item_message(dlg, id, plat::LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
      const auto len = plat::send_dlg_item_message(dlg, id, plat::LB_GETTEXTLEN, plat::WParam(i), 0);
      std::u16string text(size_t(len) + 1, u'\0');
      plat::send_dlg_item_message(dlg, id, plat::LB_GETTEXT, plat::WParam(i),
                                  reinterpret_cast<plat::LParam>(text.data()));
      text.resize(size_t(len));
      out.push_back(plat::utf16_to_utf8(text));
    }
    return out;
  }
  static int list_selection(plat::Wnd dlg, int id) {
    return int(plat::send_dlg_item_message(dlg, id, plat::LB_GETCURSEL, 0, 0));
  }
  static int combo_selection(plat::Wnd dlg, int id) {
    return int(plat::send_dlg_item_message(dlg, id, plat::CB_GETCURSEL, 0, 0));
  }
  static int combo_count(plat::Wnd dlg, int id) {
    return int(plat::send_dlg_item_message(dlg, id, plat::CB_GETCOUNT, 0, 0));
  }
  static std::string combo_text(plat::Wnd dlg, int id) {
    char text[128] = "";
    combo_selected_text(plat::get_dlg_item(dlg, id), text, sizeof text);
    return text;
  }
  static bool enabled(plat::Wnd dlg, int id) { return plat::is_window_enabled(plat::get_dlg_item(dlg, id)); }
  static int default_button(plat::Wnd dlg) {
    return int(plat::loword(uintptr_t(plat::send_message(dlg, plat::DM_GETDEFID, 0, 0))));
  }
  static std::string title(plat::Wnd wnd) { return plat::window_text(wnd); }
  // A choice as the user makes it: an entry of a drop-down list or of the list.
  static void choose(plat::Wnd dlg, int id, const char* text) {
    plat::Wnd control = plat::get_dlg_item(dlg, id);
    if (id == IDC_SYS_IN_USE) {
      EXPECT_TRUE(tm_test::click_list_text(control, text))
          << text << " in " << ::testing::PrintToString(list_texts(dlg, id));
      tm_test::run_until_idle();
    } else {
      EXPECT_TRUE(tm_test::select_combo_text(control, text)) << text;
    }
  }

  graphspace_t* gs_ = nullptr;
  std::vector<georef_t*> georefs_;
  geodatum_t* lone_ = nullptr;
};

}  // namespace frame_test
