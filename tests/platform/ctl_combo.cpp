// The combo box: strings and data words, the find and select rules, the text, changes
// by code (quiet) against the user's choices (notified in order), the dropped list
// window and its keys, the edit field of an editable combo box, the simple combo box,
// the keys of a combo box inside a dialog, and painting.
#include <cstdint>
#include <string>

#include "platform/ui/ctl_combo.h"
#include "tests/platform/dialog_fixture.h"
#include "tests/support/harness_lists.h"

using namespace plat;
using namespace ui_test;

namespace {

constexpr int kId = 1077;

LParam text_lp(const std::u16string& s) { return LParam(reinterpret_cast<intptr_t>(s.c_str())); }

class CtlCombo : public CtlTest {
 protected:
  void SetUp() override {
    CtlTest::SetUp();
    register_combo_control();
  }
  Wnd combo(uint32_t type, Rect r = Rect{20, 20, 220, 140}, int id = kId) {
    return make("ComboBox", "", type | WS_VSCROLL | WS_TABSTOP, r, id);
  }
  LResult add(Wnd c, const std::u16string& s) { return send_message(c, CB_ADDSTRING, 0, text_lp(s)); }
  void fill(Wnd c, std::initializer_list<const char16_t*> items) {
    for (const char16_t* s : items) add(c, s);
  }
  std::u16string item(Wnd c, int i) {
    const LResult n = send_message(c, CB_GETLBTEXTLEN, WParam(i), 0);
    if (n < 0) return u"<err>";
    std::u16string s(size_t(n) + 1, u'?');
    EXPECT_EQ(send_message(c, CB_GETLBTEXT, WParam(i), LParam(reinterpret_cast<intptr_t>(s.data()))), n);
    s.resize(size_t(n));
    return s;
  }
  int cursel(Wnd c) { return int(send_message(c, CB_GETCURSEL, 0, 0)); }
  bool dropped(Wnd c) { return send_message(c, CB_GETDROPPEDSTATE, 0, 0) != 0; }
  std::vector<int> codes(int id = kId) { return codes_from(parent_, id); }
  // A fresh record of notifications, after what is pending was delivered.
  void settle() {
    tm_test::run_until_idle();
    message_log().clear();
  }
  int list_windows() {
    int n = 0;
    for (Wnd w : top_level_windows())
      if (get_class_name(w) == kComboListClass) ++n;
    return n;
  }
};

TEST_F(CtlCombo, StringsAndDataWordsRoundTrip) {
  Wnd c = combo(CBS_DROPDOWNLIST);
  EXPECT_EQ(add(c, u"Format MIF (Mapinfo Interchange File) (*.mif)"), 0);
  EXPECT_EQ(add(c, u"Format KML (Google Earth) (*.kml)"), 1);
  EXPECT_EQ(send_message(c, CB_INSERTSTRING, 0, text_lp(u"Format GPX (*.gpx)")), 0);
  EXPECT_EQ(send_message(c, CB_INSERTSTRING, WParam(-1), text_lp(u"Format NMEA (*.nmea)")), 3);
  EXPECT_EQ(send_message(c, CB_INSERTSTRING, 7, text_lp(u"x")), CB_ERR);
  EXPECT_EQ(send_message(c, CB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(item(c, 2), u"Format KML (Google Earth) (*.kml)");
  const intptr_t words[] = {27, 38, INTPTR_MIN, intptr_t(0x7FFFDEADBEEFLL)};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(send_message(c, CB_SETITEMDATA, WParam(i), LParam(words[i])), CB_OKAY);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(send_message(c, CB_GETITEMDATA, WParam(i), 0), words[i]) << i;
  EXPECT_EQ(send_message(c, CB_DELETESTRING, 1, 0), 3);
  EXPECT_EQ(send_message(c, CB_GETITEMDATA, 1, 0), words[2]) << "the data word moves with its string";
  struct Bad {
    uint32_t msg;
    WParam index;
  };
  for (Bad b : {Bad{CB_GETLBTEXTLEN, 3}, Bad{CB_GETITEMDATA, 3}, Bad{CB_SETITEMDATA, WParam(-1)},
                Bad{CB_DELETESTRING, 3}, Bad{CB_SETTOPINDEX, 9}})
    EXPECT_EQ(send_message(c, b.msg, b.index, 0), CB_ERR) << std::hex << b.msg;
  send_message(c, CB_SETCURSEL, 1, 0);
  EXPECT_EQ(send_message(c, CB_RESETCONTENT, 0, 0), CB_OKAY);
  EXPECT_EQ(send_message(c, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(cursel(c), CB_ERR);
  EXPECT_EQ(window_text(c), "");
}

TEST_F(CtlCombo, SortedComboPlacesStringsIgnoringCase) {
  Wnd c = combo(CBS_DROPDOWNLIST | CBS_SORT);
  struct Case {
    const char16_t* text;
    int index;
  };
  for (Case k : {Case{u"Paysage", 0}, Case{u"automatique", 0}, Case{u"Portrait", 2}, Case{u"PAYSAGE", 2}})
    EXPECT_EQ(add(c, k.text), k.index);
  EXPECT_EQ(item(c, 0), u"automatique");
  EXPECT_EQ(item(c, 1), u"Paysage");
  EXPECT_EQ(item(c, 2), u"PAYSAGE");
  EXPECT_EQ(item(c, 3), u"Portrait");
}

TEST_F(CtlCombo, FindAndSelectStringFollowThePrefixAndExactRules) {
  Wnd c = combo(CBS_DROPDOWNLIST);
  fill(c, {u"degrés", u"degrés décimaux", u"grades", u"Degrés minutes", u"radians"});
  struct Case {
    uint32_t msg;
    int start;
    const char16_t* text;
    int expected;
  };
  const Case cases[] = {
      {CB_FINDSTRING, -1, u"DEG", 0},         {CB_FINDSTRING, 0, u"degrés", 1},
      {CB_FINDSTRING, 1, u"degrÉs", 3},       {CB_FINDSTRING, 3, u"deg", 0},
      {CB_FINDSTRING, -1, u"mètres", CB_ERR}, {CB_FINDSTRINGEXACT, -1, u"DEGRÉS", 0},
      {CB_FINDSTRINGEXACT, 0, u"degrés", 0},  {CB_FINDSTRINGEXACT, -1, u"grade", CB_ERR},
      {CB_FINDSTRINGEXACT, -1, u"Radians", 4},
  };
  for (const Case& k : cases)
    EXPECT_EQ(send_message(c, k.msg, WParam(k.start), text_lp(k.text)), k.expected) << k.start;
  settle();
  EXPECT_EQ(send_message(c, CB_SELECTSTRING, WParam(-1), text_lp(u"GRA")), 2);
  EXPECT_EQ(window_text(c), "grades");
  EXPECT_EQ(send_message(c, CB_SELECTSTRING, WParam(-1), text_lp(u"mil")), CB_ERR);
  EXPECT_EQ(cursel(c), 2) << "no match keeps the selection";
  tm_test::run_until_idle();
  EXPECT_TRUE(codes().empty());
}

TEST_F(CtlCombo, ChangesByCodeRaiseNothing) {
  Wnd c = combo(CBS_DROPDOWNLIST);
  fill(c, {u"Automatique", u"Portrait", u"Paysage"});
  settle();
  EXPECT_EQ(send_message(c, CB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(window_text(c), "Portrait");
  EXPECT_EQ(send_message(c, CB_SETCURSEL, WParam(-1), 0), CB_ERR);
  EXPECT_EQ(cursel(c), CB_ERR);
  EXPECT_EQ(window_text(c), "");
  EXPECT_TRUE(set_window_text(c, "paysage")) << "a drop-down list selects the string that equals the text";
  EXPECT_EQ(cursel(c), 2);
  EXPECT_EQ(send_message(c, WM_SETTEXT, 0, text_lp(u"Inconnu")), CB_ERR);
  EXPECT_EQ(cursel(c), 2);
  send_message(c, CB_SHOWDROPDOWN, 1, 0);
  EXPECT_TRUE(dropped(c));
  send_message(c, CB_SETCURSEL, 0, 0);
  send_message(c, CB_SHOWDROPDOWN, 0, 0);
  EXPECT_FALSE(dropped(c));
  add(c, u"Autre");
  send_message(c, CB_DELETESTRING, 3, 0);
  tm_test::run_until_idle();
  EXPECT_TRUE(codes().empty());
  EXPECT_EQ(list_windows(), 0);
}

TEST_F(CtlCombo, ChoosingAnItemWithTheMouseNotifiesInOrder) {
  Wnd c = combo(CBS_DROPDOWNLIST);
  fill(c, {u"OSM", u"Polish format", u"Garmin"});
  settle();
  ASSERT_TRUE(tm_test::select_combo_item(c, 2));
  EXPECT_EQ(codes(), (std::vector<int>{CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
  EXPECT_EQ(cursel(c), 2);
  EXPECT_EQ(window_text(c), "Garmin");
  EXPECT_FALSE(dropped(c));
  EXPECT_EQ(list_windows(), 0) << "the list window goes when it closes";
  EXPECT_EQ(get_focus(), c);
  message_log().clear();
  ASSERT_TRUE(tm_test::select_combo_text(c, "garmin"));
  EXPECT_EQ(codes(), (std::vector<int>{CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP})) << "the same item changes nothing";
}

TEST_F(CtlCombo, ClosingTheListWithoutAChoiceCancels) {
  Wnd c = combo(CBS_DROPDOWNLIST);
  fill(c, {u"1", u"2", u"3"});
  send_message(c, CB_SETCURSEL, 1, 0);
  set_focus(c);
  settle();
  const std::vector<int> cancelled{CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP};
  struct Way {
    const char* name;
    std::function<void()> close;
  };
  const Way ways[] = {
      {"the button again", [&] { tm_test::close_combo(c); }},
      {"Escape", [&] { tm_test::press_key(VK_ESCAPE); }},
      {"a click elsewhere", [&] { tm_test::click(parent_, 400, 300); }},
  };
  for (const Way& w : ways) {
    message_log().clear();
    ASSERT_TRUE(tm_test::open_combo(c)) << w.name;
    ASSERT_NE(tm_test::combo_list_window(c), nullptr);
    w.close();
    tm_test::run_until_idle();
    EXPECT_EQ(codes(), cancelled) << w.name;
    EXPECT_FALSE(dropped(c)) << w.name;
    EXPECT_EQ(cursel(c), 1) << w.name;
  }
}

TEST_F(CtlCombo, KeysMoveTheSelectionAndOpenAndCloseTheList) {
  Wnd c = combo(CBS_DROPDOWNLIST);
  fill(c, {u"a", u"b", u"c", u"d"});
  set_focus(c);
  settle();
  struct Step {
    int vk;
    unsigned mods;
    int sel;
    bool open;
    std::vector<int> codes;
  };
  const Step steps[] = {
      {VK_DOWN, 0, 0, false, {CBN_SELCHANGE}},
      {VK_DOWN, 0, 1, false, {CBN_SELCHANGE}},
      {VK_UP, 0, 0, false, {CBN_SELCHANGE}},
      {VK_UP, 0, 0, false, {}},
      {VK_END, 0, 3, false, {CBN_SELCHANGE}},
      {VK_F4, 0, 3, true, {CBN_DROPDOWN}},
      {VK_UP, 0, 2, true, {CBN_SELCHANGE}},
      {VK_RETURN, 0, 2, false, {CBN_SELENDOK, CBN_CLOSEUP}},
      {VK_DOWN, tm_test::MOD_ALT, 2, true, {CBN_DROPDOWN}},
      {VK_UP, tm_test::MOD_ALT, 2, false, {CBN_SELENDOK, CBN_CLOSEUP}},
      {VK_F4, 0, 2, true, {CBN_DROPDOWN}},
      {VK_ESCAPE, 0, 2, false, {CBN_SELENDCANCEL, CBN_CLOSEUP}},
  };
  for (const Step& s : steps) {
    message_log().clear();
    tm_test::press_key(s.vk, s.mods);
    tm_test::run_until_idle();
    EXPECT_EQ(cursel(c), s.sel) << "key " << s.vk;
    EXPECT_EQ(dropped(c), s.open) << "key " << s.vk;
    EXPECT_EQ(codes(), s.codes) << "key " << s.vk;
  }
}

// In a drop-down list, closed or open, a typed letter chooses the next item beginning
// with it, case ignored, going round; an editable combo box leaves the letters to its
// field.
TEST_F(CtlCombo, ATypedLetterChoosesTheNextItemBeginningWithIt) {
  Wnd c = combo(CBS_DROPDOWNLIST);
  fill(c, {u"Lambert I", u"lambert II", u"Mercator", u"Lambert 93", u"UTM"});
  set_focus(c);
  settle();
  struct Step {
    const char* typed;
    int sel;
    bool changed;
  };
  const Step steps[] = {{"l", 0, true}, {"l", 1, true}, {"L", 3, true}, {"l", 0, true},
                        {"m", 2, true}, {"q", 2, false}, {"u", 4, true}};
  for (const Step& s : steps) {
    message_log().clear();
    tm_test::type_text(s.typed);
    tm_test::run_until_idle();
    EXPECT_EQ(cursel(c), s.sel) << "typed " << s.typed;
    EXPECT_EQ(codes(), s.changed ? std::vector<int>{CBN_SELCHANGE} : std::vector<int>{}) << "typed " << s.typed;
  }
  // Open, the list follows and stays open until the choice is taken.
  tm_test::press_key(VK_F4);
  tm_test::run_until_idle();
  ASSERT_TRUE(dropped(c));
  tm_test::type_text("m");
  tm_test::run_until_idle();
  EXPECT_EQ(cursel(c), 2);
  EXPECT_TRUE(dropped(c));
  tm_test::press_key(VK_RETURN);
  tm_test::run_until_idle();
  EXPECT_FALSE(dropped(c));
  EXPECT_EQ(cursel(c), 2);

  Wnd e = combo(CBS_DROPDOWN, Rect{20, 160, 220, 280}, kId + 1);
  fill(e, {u"alpha", u"beta"});
  set_focus(e);
  settle();
  tm_test::type_text("b");
  tm_test::run_until_idle();
  EXPECT_EQ(cursel(e), -1);
  char16_t buf[8] = {};
  get_window_text_w(e, buf, 8);
  EXPECT_EQ(std::u16string(buf), u"b");
}

TEST_F(CtlCombo, TheDroppedListTakesTheRoomGivenAndScrolls) {
  Wnd c = combo(CBS_DROPDOWNLIST, Rect{20, 20, 220, 130});
  const int field = int(send_message(c, CB_GETITEMHEIGHT, WParam(-1), 0));
  const int item = int(send_message(c, CB_GETITEMHEIGHT, 0, 0));
  Rect wr;
  get_window_rect(c, &wr);
  EXPECT_EQ(wr.height(), field) << "the combo box keeps its field's height";
  EXPECT_FALSE(get_window_long(c, GWL_STYLE) & WS_VSCROLL) << "the scroll bar style is the list's";
  const int room_rows = (110 - field) / item;
  fill(c, {u"x", u"y"});
  Rect lr;
  send_message(c, CB_GETDROPPEDCONTROLRECT, 0, LParam(reinterpret_cast<intptr_t>(&lr)));
  EXPECT_EQ(lr, (Rect{wr.left, wr.bottom, wr.right, wr.bottom + 2 * item + 2})) << "no taller than its items";
  for (int i = 0; i < 20; ++i) add(c, u"item " + std::u16string(1, char16_t(u'A' + i)));
  ASSERT_TRUE(tm_test::open_combo(c));
  Wnd list = tm_test::combo_list_window(c);
  ASSERT_NE(list, nullptr);
  get_window_rect(list, &lr);
  EXPECT_EQ(lr, (Rect{wr.left, wr.bottom, wr.right, wr.bottom + room_rows * item + 2}));
  EXPECT_EQ(send_message(c, CB_GETTOPINDEX, 0, 0), 0);
  tm_test::wheel(list, 20, 20, -WHEEL_DELTA);
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(c, CB_GETTOPINDEX, 0, 0), 3);
  // The list's own scroll bar: a click on its down arrow.
  Rect lc;
  get_client_rect(list, &lc);
  tm_test::click(list, lc.right - 5, lc.bottom - 5);
  tm_test::run_until_idle();
  EXPECT_TRUE(dropped(c)) << "a click on the bar keeps the list open";
  EXPECT_EQ(send_message(c, CB_GETTOPINDEX, 0, 0), 4);
  message_log().clear();
  ASSERT_TRUE(tm_test::select_combo_item(c, 19));
  EXPECT_EQ(cursel(c), 19);
  EXPECT_EQ(codes(), (std::vector<int>{CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
}

TEST_F(CtlCombo, TheListOpensAboveWhenTheScreenHasNoRoomBelow) {
  const Rect screen = get_work_area();
  Wnd low = create_window(0, "ComboBox", "", WS_POPUP | WS_VISIBLE | CBS_DROPDOWNLIST, 100, screen.bottom - 30, 150,
                          120, nullptr, 0);
  ASSERT_NE(low, nullptr);
  fill(low, {u"1", u"2", u"3"});
  Rect wr, lr;
  get_window_rect(low, &wr);
  send_message(low, CB_GETDROPPEDCONTROLRECT, 0, LParam(reinterpret_cast<intptr_t>(&lr)));
  EXPECT_EQ(lr.bottom, wr.top);
  EXPECT_EQ(lr.left, wr.left);
  EXPECT_GT(lr.height(), 0);
}

TEST_F(CtlCombo, AnEditableComboTellsTypingAndShowsTheChosenString) {
  Wnd c = combo(CBS_DROPDOWN);
  fill(c, {u"mètres", u"kilomètres", u"milles nautiques"});
  Wnd edit = get_dlg_item(c, kComboEditId);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(get_class_name(edit), "Edit");
  settle();
  set_focus(c);
  tm_test::run_until_idle();
  EXPECT_EQ(get_focus(), edit) << "the focus goes to the edit field";
  EXPECT_EQ(codes(), std::vector<int>{CBN_SETFOCUS});
  message_log().clear();
  tm_test::type_text("12");
  tm_test::run_until_idle();
  EXPECT_EQ(window_text(c), "12");
  EXPECT_EQ(codes(), (std::vector<int>{CBN_EDITUPDATE, CBN_EDITCHANGE, CBN_EDITUPDATE, CBN_EDITCHANGE}));
  message_log().clear();
  send_message(c, CB_SETCURSEL, 1, 0);
  EXPECT_EQ(window_text(c), "kilomètres");
  EXPECT_TRUE(set_window_text(c, "5 km"));
  EXPECT_EQ(window_text(c), "5 km");
  tm_test::run_until_idle();
  EXPECT_TRUE(codes().empty()) << "text set by code raises nothing";
  ASSERT_TRUE(tm_test::select_combo_item(c, 2));
  EXPECT_EQ(window_text(c), "milles nautiques");
  EXPECT_EQ(codes(), (std::vector<int>{CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
  message_log().clear();
  tm_test::press_key(VK_UP);
  tm_test::run_until_idle();
  EXPECT_EQ(window_text(c), "kilomètres") << "Up in the edit field moves the selection";
  EXPECT_EQ(codes(), std::vector<int>{CBN_SELCHANGE});
  send_message(c, CB_LIMITTEXT, 3, 0);
  tm_test::type_into(parent_, kId, "abcdef");
  tm_test::run_until_idle();
  EXPECT_EQ(window_text(c), "abc");
  message_log().clear();
  set_focus(parent_);
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), std::vector<int>{CBN_KILLFOCUS});
}

TEST_F(CtlCombo, ASimpleComboShowsItsListAndTellsClicksOnIt) {
  Wnd c = combo(CBS_SIMPLE, Rect{20, 20, 220, 140});
  fill(c, {u"Nord", u"Sud", u"Est"});
  settle();
  ASSERT_TRUE(tm_test::select_combo_item(c, 1));
  EXPECT_EQ(cursel(c), 1);
  EXPECT_EQ(window_text(c), "Sud");
  EXPECT_EQ(codes(), (std::vector<int>{CBN_SETFOCUS, CBN_SELCHANGE}));
  EXPECT_EQ(list_windows(), 0) << "a simple combo box never drops a list";
  message_log().clear();
  const int field = int(send_message(c, CB_GETITEMHEIGHT, WParam(-1), 0));
  const int item = int(send_message(c, CB_GETITEMHEIGHT, 0, 0));
  tm_test::double_click(c, 10, field + 2 + item * 2 + item / 2);
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), (std::vector<int>{CBN_SELCHANGE, CBN_DBLCLK}));
  EXPECT_EQ(window_text(c), "Est");
}

TEST_F(CtlCombo, InADialogEnterAndEscapeCloseTheOpenListFirst) {
  DlgTemplate t;
  t.title = "Export";
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
  t.cx = 180;
  t.cy = 80;
  t.items = {
      {"ComboBox", kId, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 7, 7, 120, 80},
      {"Button", IDOK, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 70, 60, 50, 14},
      {"Button", IDCANCEL, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 125, 60, 50, 14},
  };
  static std::vector<int> combo_codes;
  static std::vector<std::pair<bool, int>> seen;  // dropped, selection at each answer
  combo_codes.clear();
  seen.clear();
  auto proc = [](Wnd dlg, uint32_t msg, WParam wp, LParam) -> intptr_t {
    Wnd c = get_dlg_item(dlg, kId);
    if (msg == WM_INITDIALOG) {
      for (const char16_t* s : {u"Format GPX (*.gpx)", u"Format NMEA (*.nmea)"})
        send_message(c, CB_ADDSTRING, 0, LParam(reinterpret_cast<intptr_t>(s)));
      send_message(c, CB_SETCURSEL, 0, 0);
      set_focus(c);
      return 0;
    }
    if (msg == WM_COMMAND && int(loword(wp)) == kId) combo_codes.push_back(int(hiword(wp)));
    if (msg == WM_COMMAND && (loword(wp) == IDOK || loword(wp) == IDCANCEL)) {
      end_dialog(dlg, intptr_t(loword(wp)));
      return 1;
    }
    return 0;
  };
  auto look = [](Wnd dlg) {
    Wnd c = get_dlg_item(dlg, kId);
    seen.emplace_back(send_message(c, CB_GETDROPPEDSTATE, 0, 0) != 0, int(send_message(c, CB_GETCURSEL, 0, 0)));
  };
  tm_test::answer_next_dialog([&](Wnd dlg) {
    look(dlg);
    tm_test::press_key(VK_F4);
    tm_test::press_key(VK_DOWN);
    tm_test::press_key(VK_RETURN);  // closes the list only
  });
  tm_test::answer_next_dialog([&](Wnd dlg) {
    look(dlg);
    tm_test::press_key(VK_F4);
    tm_test::press_key(VK_ESCAPE);  // closes the list only
  });
  tm_test::answer_next_dialog([&](Wnd dlg) {
    look(dlg);
    tm_test::press_key(VK_RETURN);  // now the dialog's
  });
  const intptr_t result = dialog_box_indirect(t, parent_, proc);
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(seen, (std::vector<std::pair<bool, int>>{{false, 0}, {false, 1}, {false, 1}}));
  EXPECT_EQ(combo_codes, (std::vector<int>{CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP,
                                           CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP}));
}

TEST_F(CtlCombo, TheParentMayDestroyTheComboBoxWhileItIsTold) {
  for (int code : {CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}) {
    Wnd c = combo(CBS_DROPDOWN);
    fill(c, {u"a", u"b"});
    handlers()[parent_] = [c, code](Wnd, uint32_t msg, WParam wp, LParam, LResult*) {
      if (msg == WM_COMMAND && int(hiword(wp)) == code && is_window(c)) destroy_window(c);
      return false;
    };
    tm_test::select_combo_item(c, 1);
    tm_test::run_until_idle();
    EXPECT_FALSE(is_window(c)) << code;
    EXPECT_EQ(list_windows(), 0) << code;
    handlers().erase(parent_);
  }
  // An open list goes with its window's top-level window too.
  Wnd c = combo(CBS_DROPDOWNLIST);
  fill(c, {u"a", u"b"});
  ASSERT_TRUE(tm_test::open_combo(c));
  destroy_window(parent_);
  tm_test::run_until_idle();
  EXPECT_EQ(list_windows(), 0);
}

TEST_F(CtlCombo, PaintsTheSelectionAndTheDroppedList) {
  Wnd c = combo(CBS_DROPDOWNLIST);
  fill(c, {u"Waypoints", u"Tracklog", u"Routes"});
  send_message(c, CB_SETCURSEL, 0, 0);
  tm_test::run_until_idle();
  Rect rc;
  get_client_rect(c, &rc);
  const Rect field{3, 3, rc.right - 20, rc.bottom - 3};
  EXPECT_TRUE(any_pixel(c, field, inky)) << "the selected string";
  const Rect button{rc.right - 18, 2, rc.right - 2, rc.bottom - 2};
  EXPECT_TRUE(any_pixel(c, button, inky)) << "the arrow";
  ASSERT_TRUE(tm_test::open_combo(c));
  Wnd list = tm_test::combo_list_window(c);
  ASSERT_NE(list, nullptr);
  const int item = int(send_message(c, CB_GETITEMHEIGHT, 0, 0));
  Rect lc;
  get_client_rect(list, &lc);
  const uint32_t highlight = pixel_of(get_sys_color(COLOR_HIGHLIGHT));
  EXPECT_TRUE(any_pixel(list, Rect{0, 0, lc.right, item}, [&](uint32_t p) { return p == highlight; }))
      << "the selected item marked";
  EXPECT_TRUE(any_pixel(list, Rect{0, item, lc.right, 2 * item}, inky)) << "the next item's text";
  tm_test::mouse_move(list, 10, 2 * item + item / 2);
  tm_test::run_until_idle();
  EXPECT_TRUE(any_pixel(list, Rect{0, 2 * item, lc.right, 3 * item}, [&](uint32_t p) { return p == highlight; }))
      << "the mark follows the mouse";
  tm_test::close_combo(c);
}

}  // namespace
