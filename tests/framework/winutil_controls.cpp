// The combo box, list box, list view and up-down helpers: items with data words, the
// selection read back as data or text (whole, or nothing when it does not fit), selection
// by data, keyword lists into combo boxes, the release of objects held as item data, and
// the up-down's buddy, range and the buddy's length limit.
#include <cstring>
#include <string>
#include <vector>

#include "core/dict.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_listview.h"
#include "platform/ui/ctl_updown.h"
#include "tests/framework/winutil_fixture.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/harness_lists.h"

namespace {

using winutil_test::ToolkitTest;

const char* kE = "\xc3\xa9t\xc3\xa9";  // "été" in UTF-8

class ControlsTest : public ToolkitTest {
 protected:
  plat::Wnd make(const char* cls, uint32_t style, int id, int w = 200, int h = 150) {
    plat::register_controls();
    return plat::create_window(0, cls, "", plat::WS_CHILD | plat::WS_VISIBLE | style, 10, 10, w, h, frame,
                               uintptr_t(id));
  }
  plat::Wnd combo() { return make(plat::kComboBoxClass, plat::CBS_DROPDOWNLIST, 300); }
  plat::Wnd list() { return make(plat::kListBoxClass, plat::LBS_NOTIFY | plat::WS_VSCROLL, 301); }
};

// ---- Combo boxes ----------------------------------------------------------------------------
TEST_F(ControlsTest, ComboItemsCarryTheirData) {
  plat::Wnd cb = combo();
  ASSERT_NE(cb, nullptr);
  EXPECT_EQ(combo_selected_data(cb), -1);  // nothing selected
  EXPECT_EQ(combo_add_item(cb, "alpha", 11), 0);
  EXPECT_EQ(combo_add_item_w(cb, u"b\u00eata", -5), 1);
  EXPECT_EQ(combo_add_item(cb, kE, intptr_t(1) << 40), 2);  // a whole data word
  EXPECT_EQ(combo_add_item(cb, nullptr, 0), 3);
  EXPECT_EQ(combo_add_item(cb, "twin", 11), 4);
  struct Case {
    intptr_t data;
    int index;          // what combo_select_data answers
    intptr_t selected;  // the data then selected
    const char* text;
  } cases[] = {
      {-5, 1, -5, "b\xc3\xaata"},
      {intptr_t(1) << 40, 2, intptr_t(1) << 40, kE},
      {11, 0, 11, "alpha"},  // the first of two
      {0, 3, 0, ""},
      {99, -1, 0, ""},  // no such data: the selection stays
  };
  for (const Case& c : cases) {
    EXPECT_EQ(combo_select_data(cb, c.data), c.index) << c.data;
    EXPECT_EQ(combo_selected_data(cb), c.selected) << c.data;
    char buf[32];
    std::strcpy(buf, "junk");
    EXPECT_EQ(combo_selected_text(cb, buf, sizeof buf), int(std::strlen(c.text)));
    EXPECT_STREQ(buf, c.text);
  }
  combo_clear(cb);
  EXPECT_EQ(plat::send_message(cb, plat::CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(combo_selected_data(cb), -1);
  char buf[8] = "junk";
  EXPECT_EQ(combo_selected_text(cb, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
}

TEST_F(ControlsTest, SelectedTextOnlyWhenItFits) {
  plat::Wnd cb = combo();
  plat::Wnd lb = list();
  combo_add_item(cb, "abcdef", 1);
  list_add_item(lb, "abcdef", 1);
  combo_select_data(cb, 1);
  list_select_data(lb, 1);
  struct Case {
    int size;
    const char* want;
  } cases[] = {{7, "abcdef"}, {100, "abcdef"}, {6, ""}, {1, ""}};
  for (const Case& c : cases) {
    std::vector<char> buf(size_t(c.size) + 4, 'x');
    EXPECT_EQ(combo_selected_text(cb, buf.data(), c.size), 6);
    EXPECT_STREQ(buf.data(), c.want) << c.size;
    EXPECT_EQ(buf[size_t(c.size)], 'x');  // nothing written past the buffer
    std::vector<char> lbuf(size_t(c.size) + 4, 'x');
    EXPECT_EQ(list_selected_text(lb, lbuf.data(), c.size), 6);
    EXPECT_STREQ(lbuf.data(), c.want) << c.size;
    EXPECT_EQ(lbuf[size_t(c.size)], 'x');
  }
  // No room at all, or no buffer: only the length.
  EXPECT_EQ(combo_selected_text(cb, nullptr, 0), 6);
  char one = 'x';
  EXPECT_EQ(list_selected_text(lb, &one, 0), 6);
  EXPECT_EQ(one, 'x');
}

TEST_F(ControlsTest, UserChoiceReadsBackAsData) {
  plat::Wnd cb = combo();
  for (int i = 0; i < 4; ++i) combo_add_item(cb, ("item " + std::to_string(i)).c_str(), 100 + i);
  ASSERT_TRUE(tm_test::select_combo_item(cb, 2));
  EXPECT_EQ(combo_selected_data(cb), 102);
  char buf[16];
  combo_selected_text(cb, buf, sizeof buf);
  EXPECT_STREQ(buf, "item 2");
}

TEST_F(ControlsTest, ComboFromAKeywordList) {
  tag_t table[] = {make_tag("ROUTE", 3), make_tag("TRACK", 7), make_tag("WAYPOINT", 12)};
  container_t* dict = nullptr;
  ASSERT_EQ(dict_build(3, table, &dict), 0);
  plat::Wnd cb = combo();
  combo_fill_from_list(cb, dict);
  ASSERT_EQ(plat::send_message(cb, plat::CB_GETCOUNT, 0, 0), 3);
  struct Case {
    int data;
    const char* name;
  } cases[] = {{3, "ROUTE"}, {7, "TRACK"}, {12, "WAYPOINT"}};
  for (const Case& c : cases) {
    EXPECT_GE(combo_select_data(cb, c.data), 0) << c.name;
    char buf[16];
    combo_selected_text(cb, buf, sizeof buf);
    EXPECT_STREQ(buf, c.name);
  }
  combo_fill_from_list(cb, nullptr);  // no list: nothing added
  EXPECT_EQ(plat::send_message(cb, plat::CB_GETCOUNT, 0, 0), 3);
  free_obj(&dict);
}

TEST_F(ControlsTest, TakeDataReleasesTheObjects) {
  struct Case {
    int keep_selected;
    bool selected_survives;
  } cases[] = {{0, false}, {1, true}};
  for (const Case& c : cases) {
    plat::Wnd cb = combo();
    std::vector<int> ids;
    for (int i = 0; i < 3; ++i) {
      obj_t* o = nullptr;
      obj_new_registered(CLS_CONTAINER, &o);
      ASSERT_NE(o, nullptr);
      ids.push_back(o->id);
      combo_add_item(cb, "o", o->id);
    }
    combo_add_item(cb, "not an object", 987654);
    combo_add_item(cb, "none", 0);
    combo_add_item(cb, "minus", -1);
    combo_select_data(cb, ids[1]);
    combo_take_data(cb, c.keep_selected);
    EXPECT_EQ(plat::send_message(cb, plat::CB_GETCOUNT, 0, 0), 0);
    for (size_t i = 0; i < ids.size(); ++i) {
      obj_t* found = nullptr;
      obj_find_any_class(ids[i], &found);
      bool alive = found != nullptr;
      EXPECT_EQ(alive, i == 1 && c.selected_survives) << c.keep_selected << " " << i;
      if (found) free_obj(&found);
    }
    plat::destroy_window(cb);
  }
}

// Texts in the local code page: UTF-8 when valid, else Windows-1252 byte by byte (its
// letters at 0x80-0x9F included); read back, they come out as UTF-8.
TEST_F(ControlsTest, ItemTextsInTheLocalCodePage) {
  struct Case {
    const char* given;
    std::u16string shown;
    const char* read;
  } cases[] = {
      {kE, u"\u00e9t\u00e9", kE},
      {"caf\xe9", u"caf\u00e9", "caf\xc3\xa9"},
      {"\x80 \x9c\x8a", u"\u20ac \u0153\u0160", "\xe2\x82\xac \xc5\x93\xc5\xa0"},
      {"\xf0\x9f\x97\xba", u"\U0001F5FA", "\xf0\x9f\x97\xba"},  // a surrogate pair
  };
  int n = 0;
  for (const Case& c : cases) {
    plat::Wnd lb = list();
    list_add_item(lb, c.given, ++n);
    std::u16string shown(64, u'\0');
    auto len = plat::send_message(lb, plat::LB_GETTEXT, 0, plat::LParam(shown.data()));
    ASSERT_GE(len, 0);
    shown.resize(size_t(len));
    EXPECT_EQ(shown, c.shown) << c.read;
    list_select_data(lb, n);
    char buf[32] = "junk";
    list_selected_text(lb, buf, sizeof buf);
    EXPECT_STREQ(buf, c.read);
    plat::destroy_window(lb);
  }
}

// ---- List boxes ----------------------------------------------------------------------------------
TEST_F(ControlsTest, ListBoxSelectionByData) {
  plat::Wnd lb = list();
  EXPECT_EQ(list_selected_data(lb), -1);
  EXPECT_EQ(list_add_item(lb, "one", 10), 0);
  EXPECT_EQ(list_add_item(lb, kE, 20), 1);
  EXPECT_EQ(list_add_item(lb, "three", 30), 2);
  struct Case {
    intptr_t data;
    int index, sel;
    intptr_t selected;
    const char* text;
  } cases[] = {
      {20, 1, 1, 20, kE},
      {30, 2, 2, 30, "three"},
      {99, -1, -1, -1, ""},  // none has it: the selection is cleared
      {10, 0, 0, 10, "one"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(list_select_data(lb, c.data), c.index) << c.data;
    EXPECT_EQ(plat::send_message(lb, plat::LB_GETCURSEL, 0, 0), c.sel) << c.data;
    EXPECT_EQ(list_selected_data(lb), c.selected) << c.data;
    char buf[16] = "junk";
    list_selected_text(lb, buf, sizeof buf);
    EXPECT_STREQ(buf, c.text);
  }
  // A user's click reads back the same way.
  ASSERT_TRUE(tm_test::click_list_item(lb, 2, 0u));
  tm_test::run_until_idle();
  EXPECT_EQ(list_selected_data(lb), 30);
  list_clear(lb);
  EXPECT_EQ(plat::send_message(lb, plat::LB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(list_selected_data(lb), -1);
}

TEST_F(ControlsTest, SortedListKeepsDataWithItsText) {
  plat::Wnd lb = make(plat::kListBoxClass, plat::LBS_SORT, 302);
  list_add_item(lb, "pear", 3);
  list_add_item(lb, "apple", 1);
  list_add_item(lb, "fig", 2);
  struct Case {
    intptr_t data;
    int index;
    const char* text;
  } cases[] = {{1, 0, "apple"}, {2, 1, "fig"}, {3, 2, "pear"}};
  for (const Case& c : cases) {
    EXPECT_EQ(list_select_data(lb, c.data), c.index);
    char buf[16];
    list_selected_text(lb, buf, sizeof buf);
    EXPECT_STREQ(buf, c.text);
  }
}

// ---- List views -------------------------------------------------------------------------------------
TEST_F(ControlsTest, ListViewRowsAndSelectedData) {
  plat::Wnd lv = make(plat::kListViewClass, plat::LVS_REPORT, 303, 300, 200);
  ASSERT_NE(lv, nullptr);
  plat::LvColumn col;
  col.mask = plat::LVCF_WIDTH;
  col.cx = 200;
  plat::send_message(lv, plat::LVM_INSERTCOLUMN, 0, plat::LParam(&col));
  EXPECT_EQ(listview_selected_data(lv), -1);
  struct Row {
    const char* text;
    intptr_t data;
    std::u16string wide;
  } rows[] = {{"first", 5, u"first"}, {kE, -7, u"\u00e9t\u00e9"}, {nullptr, 9, u""}, {"last", 0, u"last"}};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(listview_add_row(lv, rows[i].text, rows[i].data), i);
  ASSERT_EQ(plat::send_message(lv, plat::LVM_GETITEMCOUNT, 0, 0), 4);
  for (int i = 0; i < 4; ++i) {
    char16_t buf[32] = {};
    plat::LvItem it;
    it.sub_item = 0;
    it.text = buf;
    it.text_max = 32;
    plat::send_message(lv, plat::LVM_GETITEMTEXT, plat::WParam(i), plat::LParam(&it));
    EXPECT_EQ(std::u16string(buf), rows[i].wide) << i;
  }
  for (int i : {1, 3, 0}) {
    plat::LvItem none;
    none.state = 0;
    none.state_mask = plat::LVIS_SELECTED;
    plat::send_message(lv, plat::LVM_SETITEMSTATE, plat::WParam(-1), plat::LParam(&none));
    plat::LvItem sel;
    sel.state = plat::LVIS_SELECTED;
    sel.state_mask = plat::LVIS_SELECTED;
    plat::send_message(lv, plat::LVM_SETITEMSTATE, plat::WParam(i), plat::LParam(&sel));
    EXPECT_EQ(listview_selected_data(lv), rows[i].data) << i;
  }
}

// ---- Up-down ------------------------------------------------------------------------------------------
TEST_F(ControlsTest, UpDownBuddyRangeAndLength) {
  struct Case {
    int position, high, low, length;
    int want_pos;
    int want_limit;  // the buddy's limit; 0: left as it was
  } cases[] = {
      {150, 200, 0, 3, 150, 3},  // beyond the control's first range, inside the new one
      {5, 10, 1, 0, 5, 0},
      {50, 10, 1, 2, 10, 2},     // kept inside the range
      {-3, 100, -10, 4, -3, 4},
  };
  for (const Case& c : cases) {
    plat::Wnd buddy = make(plat::kEditClass, 0, 400, 60, 20);
    plat::Wnd ud = make(plat::kUpDownClass, plat::UDS_SETBUDDYINT, 401, 16, 20);
    plat::move_window(ud, 80, 10, 16, 20, true);
    int before = int(plat::send_message(buddy, plat::EM_GETLIMITTEXT, 0, 0));
    updown_setup(ud, buddy, c.position, c.high, c.low, c.length);
    EXPECT_EQ(reinterpret_cast<plat::Wnd>(plat::send_message(ud, plat::UDM_GETBUDDY, 0, 0)), buddy);
    int low = 0, high = 0;
    plat::send_message(ud, plat::UDM_GETRANGE32, plat::WParam(&low), plat::LParam(&high));
    EXPECT_EQ(low, c.low);
    EXPECT_EQ(high, c.high);
    EXPECT_EQ(plat::send_message(ud, plat::UDM_GETPOS32, 0, 0), c.want_pos) << c.position;
    EXPECT_EQ(plat::window_text(buddy), std::to_string(c.want_pos)) << c.position;
    int limit = int(plat::send_message(buddy, plat::EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(limit, c.want_limit ? c.want_limit : before) << c.position;
    // The arrows move within the range.
    ASSERT_TRUE(tm_test::click_updown(ud, true));
    tm_test::run_until_idle();
    int want_after = c.want_pos < c.high ? c.want_pos + 1 : c.high;
    EXPECT_EQ(plat::send_message(ud, plat::UDM_GETPOS32, 0, 0), want_after) << c.position;
    plat::destroy_window(ud);
    plat::destroy_window(buddy);
  }
  updown_setup(make(plat::kUpDownClass, 0, 402, 16, 20), nullptr, 1, 5, 0, 8);  // no buddy
}

}  // namespace
