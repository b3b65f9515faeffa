// The list box: strings and data words, sorting, the find and select rules, the
// selection by code (quiet) and by the user (notified), multiple and extended
// selection, the keyboard, the scroll bar that comes with too many items, painting.
#include <cstdint>
#include <string>

#include "platform/ui/ctl_listbox.h"
#include "tests/platform/dialog_fixture.h"
#include "tests/support/harness_lists.h"

using namespace plat;
using namespace ui_test;

namespace {

constexpr int kId = 1085;

LParam text_lp(const std::u16string& s) { return LParam(reinterpret_cast<intptr_t>(s.c_str())); }

class CtlListBox : public CtlTest {
 protected:
  void SetUp() override {
    CtlTest::SetUp();
    register_listbox_control();
  }
  Wnd list(uint32_t style, Rect r = Rect{20, 20, 220, 140}) { return make("ListBox", "", style | WS_BORDER, r, kId); }
  LResult add(Wnd l, const std::u16string& s) { return send_message(l, LB_ADDSTRING, 0, text_lp(s)); }
  void fill(Wnd l, std::initializer_list<const char16_t*> items) {
    for (const char16_t* s : items) add(l, s);
  }
  std::u16string text(Wnd l, int i) {
    const LResult n = send_message(l, LB_GETTEXTLEN, WParam(i), 0);
    if (n < 0) return u"<err>";
    std::u16string s(size_t(n) + 1, u'?');
    EXPECT_EQ(send_message(l, LB_GETTEXT, WParam(i), LParam(reinterpret_cast<intptr_t>(s.data()))), n);
    EXPECT_EQ(s[size_t(n)], u'\0');
    s.resize(size_t(n));
    return s;
  }
  std::vector<std::u16string> texts(Wnd l) {
    std::vector<std::u16string> out;
    for (int i = 0; i < int(send_message(l, LB_GETCOUNT, 0, 0)); ++i) out.push_back(text(l, i));
    return out;
  }
  // The selection notifications the parent received from the list box.
  std::vector<int> selection_codes() {
    std::vector<int> out;
    for (int c : codes_from(parent_, kId))
      if (c == LBN_SELCHANGE || c == LBN_DBLCLK) out.push_back(c);
    return out;
  }
  int cursel(Wnd l) { return int(send_message(l, LB_GETCURSEL, 0, 0)); }
};

TEST_F(CtlListBox, StringsAreAddedInsertedDeletedAndReadBack) {
  Wnd l = list(LBS_NOTIFY);
  EXPECT_EQ(add(l, u"Nord"), 0);
  EXPECT_EQ(add(l, u"Sud"), 1);
  EXPECT_EQ(send_message(l, LB_INSERTSTRING, 1, text_lp(u"Est")), 1);
  EXPECT_EQ(send_message(l, LB_INSERTSTRING, WParam(-1), text_lp(u"Ouest")), 3);
  EXPECT_EQ(send_message(l, LB_INSERTSTRING, 9, text_lp(u"Loin")), LB_ERR);
  EXPECT_EQ(texts(l), (std::vector<std::u16string>{u"Nord", u"Est", u"Sud", u"Ouest"}));
  EXPECT_EQ(send_message(l, LB_DELETESTRING, 0, 0), 3);
  EXPECT_EQ(texts(l), (std::vector<std::u16string>{u"Est", u"Sud", u"Ouest"}));
  struct Bad {
    uint32_t msg;
    WParam index;
  };
  for (Bad b : {Bad{LB_GETTEXTLEN, 3}, Bad{LB_GETTEXTLEN, WParam(-1)}, Bad{LB_DELETESTRING, 7},
                Bad{LB_GETITEMDATA, 3}, Bad{LB_SETITEMDATA, 5}, Bad{LB_GETSEL, 3}, Bad{LB_SETTOPINDEX, 4}})
    EXPECT_EQ(send_message(l, b.msg, b.index, 0), LB_ERR) << std::hex << b.msg;
  EXPECT_EQ(send_message(l, LB_RESETCONTENT, 0, 0), 0);
  EXPECT_EQ(send_message(l, LB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(cursel(l), LB_ERR);
}

TEST_F(CtlListBox, SortedListPlacesStringsIgnoringCase) {
  Wnd l = list(LBS_SORT);
  struct Case {
    const char16_t* text;
    int index;
  };
  for (Case c : {Case{u"gamma", 0}, Case{u"Alpha", 0}, Case{u"beta", 1}, Case{u"ALPHA2", 1}, Case{u"alpha", 1},
                 Case{u"Zulu", 5}})
    EXPECT_EQ(add(l, c.text), c.index) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
  EXPECT_EQ(texts(l), (std::vector<std::u16string>{u"Alpha", u"alpha", u"ALPHA2", u"beta", u"gamma", u"Zulu"}));
  // An insertion at a place stays there, even in a sorted list.
  EXPECT_EQ(send_message(l, LB_INSERTSTRING, 0, text_lp(u"zz")), 0);
  EXPECT_EQ(text(l, 0), u"zz");
}

TEST_F(CtlListBox, DataWordsRoundTripAtFullWidthAndFollowTheirItems) {
  Wnd l = list(LBS_SORT);
  const intptr_t words[] = {0, 1, -1, INTPTR_MAX, INTPTR_MIN, intptr_t(0x7FFF12345678LL), -0x123456789ALL};
  for (intptr_t w : words) {
    const LResult i = add(l, u"m" + std::u16string(1, char16_t(u'a' + (uint64_t(w) % 26))));
    ASSERT_GE(i, 0);
    EXPECT_EQ(send_message(l, LB_SETITEMDATA, WParam(i), LParam(w)), LB_OKAY);
    EXPECT_EQ(send_message(l, LB_GETITEMDATA, WParam(i), 0), w);
  }
  // Items inserted ahead move the earlier ones down; each keeps its word.
  send_message(l, LB_RESETCONTENT, 0, 0);
  add(l, u"b");
  send_message(l, LB_SETITEMDATA, 0, LParam(INTPTR_MIN + 7));
  add(l, u"a");
  add(l, u"c");
  EXPECT_EQ(send_message(l, LB_GETITEMDATA, 1, 0), INTPTR_MIN + 7);
  EXPECT_EQ(send_message(l, LB_GETITEMDATA, 0, 0), 0);
}

TEST_F(CtlListBox, FindAndSelectStringFollowThePrefixAndExactRules) {
  Wnd l = list(LBS_NOTIFY);
  fill(l, {u"Paris", u"Parisien", u"Lyon", u"paris", u"École"});
  struct Case {
    uint32_t msg;
    int start;
    const char16_t* text;
    int expected;
  };
  const Case cases[] = {
      {LB_FINDSTRING, -1, u"par", 0},      {LB_FINDSTRING, 0, u"PAR", 1},
      {LB_FINDSTRING, 1, u"pAr", 3},       {LB_FINDSTRING, 3, u"par", 0},  // goes round
      {LB_FINDSTRING, -1, u"ly", 2},       {LB_FINDSTRING, -1, u"Lyons", LB_ERR},
      {LB_FINDSTRING, 99, u"lyon", 2},     {LB_FINDSTRING, -1, u"éco", 4},
      {LB_FINDSTRINGEXACT, -1, u"PARIS", 0}, {LB_FINDSTRINGEXACT, 0, u"paris", 3},
      {LB_FINDSTRINGEXACT, -1, u"Pari", LB_ERR}, {LB_FINDSTRINGEXACT, -1, u"ÉCOLE", 4},
      {LB_FINDSTRINGEXACT, -1, u"parisien ", LB_ERR},
  };
  for (const Case& c : cases)
    EXPECT_EQ(send_message(l, c.msg, WParam(c.start), text_lp(c.text)), c.expected)
        << (c.msg == LB_FINDSTRING ? "prefix " : "exact ") << c.start;
  EXPECT_EQ(send_message(l, LB_SELECTSTRING, WParam(-1), text_lp(u"LY")), 2);
  EXPECT_EQ(cursel(l), 2);
  EXPECT_EQ(send_message(l, LB_SELECTSTRING, WParam(-1), text_lp(u"Marseille")), LB_ERR);
  EXPECT_EQ(cursel(l), 2) << "a string not found keeps the selection";
  Wnd empty = make("ListBox", "", 0, Rect{300, 20, 400, 80}, 1086);
  EXPECT_EQ(send_message(empty, LB_FINDSTRING, WParam(-1), text_lp(u"")), LB_ERR);
}

TEST_F(CtlListBox, SelectionByCodeRaisesNothing) {
  Wnd l = list(LBS_NOTIFY);
  fill(l, {u"un", u"deux", u"trois", u"quatre"});
  tm_test::run_until_idle();
  message_log().clear();
  EXPECT_EQ(send_message(l, LB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(cursel(l), 2);
  EXPECT_EQ(send_message(l, LB_SETCURSEL, 9, 0), LB_ERR);
  EXPECT_EQ(cursel(l), 2);
  EXPECT_EQ(send_message(l, LB_SETCURSEL, WParam(-1), 0), LB_ERR) << "clearing answers LB_ERR";
  EXPECT_EQ(cursel(l), LB_ERR);
  send_message(l, LB_SELECTSTRING, WParam(-1), text_lp(u"qu"));
  send_message(l, LB_SETTOPINDEX, 1, 0);
  send_message(l, LB_DELETESTRING, 3, 0);
  EXPECT_EQ(cursel(l), LB_ERR) << "deleting the selected item leaves none selected";
  EXPECT_EQ(send_message(l, LB_SETSEL, 1, 0), LB_ERR) << "LB_SETSEL is for multiple selection";
  tm_test::run_until_idle();
  EXPECT_TRUE(commands_to(parent_).empty());
}

TEST_F(CtlListBox, AUserClickSelectsAndNotifiesOnlyWithLbsNotify) {
  struct Case {
    uint32_t style;
    std::vector<int> first, again;
  };
  const Case cases[] = {{LBS_NOTIFY, {LBN_SELCHANGE}, {}}, {0, {}, {}}};
  int id = kId;
  for (const Case& c : cases) {
    Wnd l = make("ListBox", "", c.style | WS_BORDER, Rect{20, 20, 220, 140}, id);
    fill(l, {u"Automatique", u"Portrait", u"Paysage"});
    message_log().clear();
    ASSERT_TRUE(tm_test::click_list_item(l, 2));
    tm_test::run_until_idle();
    EXPECT_EQ(cursel(l), 2);
    EXPECT_EQ(get_focus(), l);
    EXPECT_EQ(selection_codes(), c.first) << c.style;
    message_log().clear();
    ASSERT_TRUE(tm_test::click_list_text(l, "paysage"));
    tm_test::run_until_idle();
    EXPECT_EQ(selection_codes(), c.again) << "the same item again changes nothing";
    destroy_window(l);
  }
}

TEST_F(CtlListBox, ADoubleClickOnAnItemRaisesDblClk) {
  Wnd l = list(LBS_NOTIFY);
  fill(l, {u"WGS 84", u"NTF", u"ED 50"});
  message_log().clear();
  ASSERT_TRUE(tm_test::double_click_list_item(l, 1));
  tm_test::run_until_idle();
  EXPECT_EQ(selection_codes(), (std::vector<int>{LBN_SELCHANGE, LBN_DBLCLK}));
  EXPECT_EQ(cursel(l), 1);
  message_log().clear();
  tm_test::double_click(l, 10, 120);  // below the last item
  tm_test::run_until_idle();
  EXPECT_EQ(selection_codes(), std::vector<int>{});
}

TEST_F(CtlListBox, TheParentMayDestroyTheListWhileItIsTold) {
  for (int code : {LBN_SETFOCUS, LBN_SELCHANGE, LBN_DBLCLK}) {
    Wnd l = list(LBS_NOTIFY);
    fill(l, {u"a", u"b", u"c"});
    handlers()[parent_] = [l, code](Wnd, uint32_t msg, WParam wp, LParam, LResult*) {
      if (msg == WM_COMMAND && int(hiword(wp)) == code && is_window(l)) destroy_window(l);
      return false;
    };
    tm_test::double_click_list_item(l, 1);
    tm_test::run_until_idle();
    EXPECT_FALSE(is_window(l)) << code;
    handlers().erase(parent_);
  }
}

TEST_F(CtlListBox, ArrowKeysMoveTheSelectionAndNotifyWhenItMoves) {
  Wnd l = list(LBS_NOTIFY);
  fill(l, {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h", u"i", u"j", u"k", u"l"});
  set_focus(l);
  tm_test::run_until_idle();
  struct Step {
    int vk;
    int sel;
    bool notified;
  };
  const Step steps[] = {{VK_DOWN, 0, true},  {VK_DOWN, 1, true}, {VK_UP, 0, true},   {VK_UP, 0, false},
                        {VK_END, 11, true},  {VK_DOWN, 11, false}, {VK_HOME, 0, true}, {VK_NEXT, 6, true},
                        {VK_RIGHT, 7, true}, {VK_LEFT, 6, true}};
  for (const Step& s : steps) {
    message_log().clear();
    tm_test::press_key(s.vk);
    tm_test::run_until_idle();
    EXPECT_EQ(cursel(l), s.sel) << "key " << s.vk;
    EXPECT_EQ(selection_codes(), s.notified ? std::vector<int>{LBN_SELCHANGE} : std::vector<int>{}) << "key " << s.vk;
  }
}

// A typed letter moves to the next item after the current one that begins with it, case
// ignored, going round to the first; a letter no item begins with changes nothing. The
// item comes into view.
TEST_F(CtlListBox, ATypedLetterMovesToTheNextItemBeginningWithIt) {
  Wnd l = list(LBS_NOTIFY | WS_VSCROLL, Rect{20, 20, 220, 92});
  fill(l, {u"Alpha", u"beta", u"Bravo", u"charlie", u"apple", u"Berlin"});
  for (int i = 0; i < 30; ++i) add(l, u"row " + std::u16string(1, char16_t(u'A' + i % 26)));
  add(l, u"zulu");
  set_focus(l);
  tm_test::run_until_idle();
  struct Step {
    const char* typed;
    int sel;
    bool notified;
  };
  const Step steps[] = {{"b", 1, true}, {"b", 2, true}, {"B", 5, true}, {"b", 1, true}, {"a", 4, true},
                        {"A", 0, true}, {"x", 0, false}, {"z", 36, true}, {"c", 3, true}};
  for (const Step& s : steps) {
    message_log().clear();
    tm_test::type_text(s.typed);
    tm_test::run_until_idle();
    EXPECT_EQ(cursel(l), s.sel) << "typed " << s.typed;
    EXPECT_EQ(selection_codes(), s.notified ? std::vector<int>{LBN_SELCHANGE} : std::vector<int>{})
        << "typed " << s.typed;
    const int top = int(send_message(l, LB_GETTOPINDEX, 0, 0));
    EXPECT_LE(top, s.sel) << "typed " << s.typed;
    Rect item;
    send_message(l, LB_GETITEMRECT, WParam(s.sel), LParam(reinterpret_cast<intptr_t>(&item)));
    Rect rc;
    get_client_rect(l, &rc);
    EXPECT_LE(item.bottom, rc.bottom) << "typed " << s.typed << ": the item is in view";
  }
}

TEST_F(CtlListBox, MultipleSelectionTogglesItemsAndCountsThem) {
  Wnd l = list(LBS_NOTIFY | LBS_MULTIPLESEL);
  fill(l, {u"waypoints", u"routes", u"traces", u"POI"});
  message_log().clear();
  tm_test::click_list_item(l, 1);
  tm_test::click_list_item(l, 3);
  tm_test::click_list_item(l, 1);
  tm_test::click_list_item(l, 0);
  tm_test::run_until_idle();
  EXPECT_EQ(selection_codes(), std::vector<int>(4, LBN_SELCHANGE));
  int items[8] = {};
  EXPECT_EQ(send_message(l, LB_GETSELCOUNT, 0, 0), 2);
  EXPECT_EQ(send_message(l, LB_GETSELITEMS, 8, LParam(reinterpret_cast<intptr_t>(items))), 2);
  EXPECT_EQ(items[0], 0);
  EXPECT_EQ(items[1], 3);
  EXPECT_EQ(send_message(l, LB_GETSELITEMS, 1, LParam(reinterpret_cast<intptr_t>(items))), 1) << "room for one";
  message_log().clear();
  EXPECT_EQ(send_message(l, LB_SETSEL, 1, -1), LB_OKAY);
  EXPECT_EQ(send_message(l, LB_GETSELCOUNT, 0, 0), 4);
  EXPECT_EQ(send_message(l, LB_SETSEL, 0, 2), LB_OKAY);
  EXPECT_EQ(send_message(l, LB_GETSEL, 2, 0), 0);
  EXPECT_GT(send_message(l, LB_GETSEL, 1, 0), 0);
  EXPECT_EQ(send_message(l, LB_SETCURSEL, 1, 0), LB_ERR) << "LB_SETCURSEL is for a single selection";
  tm_test::run_until_idle();
  EXPECT_TRUE(selection_codes().empty());
  // Space toggles the focus item.
  set_focus(l);
  tm_test::press_key(VK_SPACE);
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(l, LB_GETSEL, 0, 0), 0);
}

TEST_F(CtlListBox, ExtendedSelectionTakesRangesWithShiftAndTogglesWithCtrl) {
  Wnd l = list(LBS_NOTIFY | LBS_EXTENDEDSEL);
  fill(l, {u"0", u"1", u"2", u"3", u"4", u"5"});
  auto selected = [&] {
    std::vector<int> out;
    for (int i = 0; i < 6; ++i)
      if (send_message(l, LB_GETSEL, WParam(i), 0) > 0) out.push_back(i);
    return out;
  };
  struct Step {
    int index;
    unsigned mods;
    std::vector<int> selected;
  };
  const Step steps[] = {{1, 0, {1}},
                        {4, tm_test::MOD_SHIFT, {1, 2, 3, 4}},
                        {2, tm_test::MOD_CTRL, {1, 3, 4}},
                        {5, tm_test::MOD_SHIFT, {2, 3, 4, 5}},
                        {0, 0, {0}}};
  for (const Step& s : steps) {
    tm_test::click_list_item(l, s.index, s.mods);
    tm_test::run_until_idle();
    EXPECT_EQ(selected(), s.selected) << "click on " << s.index << " mods " << s.mods;
  }
  set_focus(l);
  tm_test::press_key(VK_DOWN, tm_test::MOD_SHIFT);
  tm_test::press_key(VK_DOWN, tm_test::MOD_SHIFT);
  tm_test::run_until_idle();
  EXPECT_EQ(selected(), (std::vector<int>{0, 1, 2}));
}

TEST_F(CtlListBox, TheScrollBarComesWhenTheItemsDoNotFit) {
  Wnd l = list(LBS_NOTIFY | WS_VSCROLL, Rect{20, 20, 220, 92});  // 70 pixels inside the border
  const int h = int(send_message(l, LB_GETITEMHEIGHT, 0, 0));
  Rect rc;
  get_client_rect(l, &rc);
  const int rows = rc.height() / h;
  ASSERT_GE(rows, 2);
  auto has_bar = [&] { return (get_window_long(l, GWL_STYLE) & WS_VSCROLL) != 0; };
  EXPECT_FALSE(has_bar());
  for (int i = 0; i < rows; ++i) add(l, u"row " + std::u16string(1, char16_t(u'A' + i)));
  EXPECT_FALSE(has_bar()) << "rows that fit need no bar";
  for (int i = rows; i < 20; ++i) add(l, u"row " + std::u16string(1, char16_t(u'A' + i)));
  EXPECT_TRUE(has_bar());
  ScrollInfo si;
  ASSERT_TRUE(get_scroll_info(l, SB_VERT, &si));
  EXPECT_EQ(si.min, 0);
  EXPECT_EQ(si.max, 19);
  EXPECT_EQ(int(si.page), rows);
  set_focus(l);
  tm_test::press_key(VK_END);
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(l, LB_GETTOPINDEX, 0, 0), 20 - rows) << "the last item comes into view";
  EXPECT_EQ(get_scroll_pos(l, SB_VERT), 20 - rows);
  // The bar scrolls the list: a click on its up arrow.
  Rect wr;
  get_window_rect(l, &wr);
  tm_test::click_window_point(l, wr.width() - 6, 5);
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(l, LB_GETTOPINDEX, 0, 0), 19 - rows);
  ASSERT_TRUE(tm_test::click_list_item(l, 2));
  tm_test::run_until_idle();
  EXPECT_EQ(cursel(l), 2);
  send_message(l, LB_RESETCONTENT, 0, 0);
  EXPECT_FALSE(has_bar());
}

TEST_F(CtlListBox, PaintsItsItemsWithTheSelectionHighlighted) {
  Wnd l = list(LBS_NOTIFY);
  fill(l, {u"Waypoints", u"Tracklog", u"Routes"});
  send_message(l, LB_SETCURSEL, 1, 0);
  tm_test::run_until_idle();
  Rect r0, r1, r2;
  send_message(l, LB_GETITEMRECT, 0, LParam(reinterpret_cast<intptr_t>(&r0)));
  send_message(l, LB_GETITEMRECT, 1, LParam(reinterpret_cast<intptr_t>(&r1)));
  send_message(l, LB_GETITEMRECT, 2, LParam(reinterpret_cast<intptr_t>(&r2)));
  const uint32_t highlight = pixel_of(get_sys_color(COLOR_HIGHLIGHT));
  EXPECT_TRUE(any_pixel(l, r0, inky)) << "text of an item";
  EXPECT_FALSE(any_pixel(l, r0, [&](uint32_t p) { return p == highlight; }));
  EXPECT_TRUE(any_pixel(l, r1, [&](uint32_t p) { return p == highlight; })) << "the selected item";
  EXPECT_TRUE(any_pixel(l, r1, [](uint32_t p) { return red(p) > 200 && green(p) > 200 && blue(p) > 200; }))
      << "its text in the highlight text colour";
  Rect below{r2.left, r2.bottom + 2, r2.right, r2.bottom + 20};
  EXPECT_FALSE(any_pixel(l, below, inky)) << "nothing under the last item";
}

}  // namespace
