// The edit control: the notifications of typing and of text set by code, the modified
// flag, filters by style, the limit, the selection by keys and mouse, multi-line text,
// UTF-16 text, and the parent's colours.
#include <algorithm>
#include <string>

#include "platform/ui/scrollbar.h"
#include "tests/platform/dialog_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

class CtlEdit : public CtlTest {
 protected:
  Wnd edit(uint32_t style, const char* text = "", Rect r = Rect{20, 20, 220, 42}, int id = 1096) {
    return make("Edit", text, style | WS_TABSTOP, r, id);
  }
  std::pair<int, int> sel(Wnd e) {
    uint32_t a = 0, b = 0;
    send_message(e, EM_GETSEL, WParam(reinterpret_cast<uintptr_t>(&a)), LParam(reinterpret_cast<intptr_t>(&b)));
    return {int(a), int(b)};
  }
  bool modified(Wnd e) { return send_message(e, EM_GETMODIFY, 0, 0) != 0; }
  // Focuses the edit, types, and delivers.
  void type(Wnd e, const char* text) {
    set_focus(e);
    tm_test::type_text(text);
    tm_test::run_until_idle();
  }
};

TEST_F(CtlEdit, TypingRaisesUpdateAndChangeAndSetsTheModifiedFlag) {
  Wnd e = edit(ES_AUTOHSCROLL);
  set_focus(e);
  tm_test::run_until_idle();
  message_log().clear();
  type(e, "12");
  EXPECT_EQ(window_text(e), "12");
  EXPECT_EQ(codes_from(parent_, 1096), (std::vector<int>{EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE}));
  EXPECT_TRUE(modified(e));
}

TEST_F(CtlEdit, TextSetByCodeRaisesChangeAndClearsTheModifiedFlag) {
  Wnd e = edit(ES_AUTOHSCROLL);
  type(e, "x");
  ASSERT_TRUE(modified(e));
  struct Case {
    const char* text;
  };
  for (Case c : {Case{"1.00"}, Case{""}, Case{"Paysage"}}) {
    message_log().clear();
    EXPECT_TRUE(set_window_text(e, c.text));
    EXPECT_EQ(window_text(e), c.text);
    EXPECT_EQ(codes_from(parent_, 1096), (std::vector<int>{EN_UPDATE, EN_CHANGE})) << c.text;
    EXPECT_FALSE(modified(e)) << c.text;
    EXPECT_EQ(sel(e), (std::pair<int, int>{0, 0}));
  }
  send_message(e, EM_SETMODIFY, 1, 0);
  EXPECT_TRUE(modified(e));
}

TEST_F(CtlEdit, SelectionAndFlagChangesByCodeRaiseNothing) {
  Wnd e = edit(ES_AUTOHSCROLL, "Horizontale");
  tm_test::run_until_idle();
  message_log().clear();
  send_message(e, EM_SETSEL, 2, 5);
  EXPECT_EQ(sel(e), (std::pair<int, int>{2, 5}));
  send_message(e, EM_SETSEL, 0, -1);
  EXPECT_EQ(sel(e), (std::pair<int, int>{0, 11}));
  send_message(e, EM_SETSEL, 7, 3);  // the caret at 3
  EXPECT_EQ(sel(e), (std::pair<int, int>{3, 7}));
  send_message(e, EM_SETSEL, WParam(-1), 0);  // no selection, the caret stays
  EXPECT_EQ(sel(e), (std::pair<int, int>{3, 3}));
  send_message(e, EM_SETMODIFY, 1, 0);
  send_message(e, EM_LIMITTEXT, 4, 0);
  send_message(e, EM_SETREADONLY, 1, 0);
  tm_test::run_until_idle();
  EXPECT_TRUE(commands_to(parent_).empty());
  EXPECT_EQ(window_text(e), "Horizontale") << "a limit leaves the text as it is";
}

TEST_F(CtlEdit, TypedCharactersAreFilteredByTheStyle) {
  struct Case {
    uint32_t style;
    const char* typed;
    const char* text;
    bool changed;
  };
  const Case cases[] = {
      {ES_AUTOHSCROLL, "Abc 1-2", "Abc 1-2", true},
      {ES_NUMBER, "a1b2-3.4 5", "12345", true},
      {ES_NUMBER, "abc", "", false},
      {ES_UPPERCASE, "abc éà z", "ABC ÉÀ Z", true},
      {ES_LOWERCASE, "ABC ÉÀ z", "abc éà z", true},
      {ES_READONLY, "abc", "", false},
      {ES_READONLY | ES_MULTILINE, "abc\n", "", false},
  };
  for (const Case& c : cases) {
    Wnd e = edit(c.style);
    set_focus(e);
    tm_test::run_until_idle();
    message_log().clear();
    type(e, c.typed);
    EXPECT_EQ(window_text(e), c.text) << c.typed;
    EXPECT_EQ(!codes_from(parent_, 1096).empty(), c.changed) << c.typed;
    EXPECT_EQ(modified(e), c.changed) << c.typed;
    destroy_window(e);
  }
}

TEST_F(CtlEdit, TheLimitKeepsWhatFitsAndSaysSo) {
  Wnd e = edit(ES_AUTOHSCROLL | ES_NUMBER);
  send_message(e, EM_LIMITTEXT, 3, 0);
  EXPECT_EQ(send_message(e, EM_GETLIMITTEXT, 0, 0), 3);
  set_focus(e);
  tm_test::run_until_idle();
  message_log().clear();
  type(e, "12000");
  EXPECT_EQ(window_text(e), "120");
  const std::vector<int> codes = codes_from(parent_, 1096);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), EN_CHANGE), 3);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), EN_MAXTEXT), 2) << "once for each refused character";
  // Replacing a selection may use the room it frees.
  send_message(e, EM_SETSEL, 0, -1);
  type(e, "9");
  EXPECT_EQ(window_text(e), "9");
  message_log().clear();
  send_message(e, EM_SETSEL, 1, 1);
  send_message(e, EM_REPLACESEL, 1, LParam(reinterpret_cast<intptr_t>(u"8765")));
  EXPECT_EQ(window_text(e), "987");
  EXPECT_EQ(codes_from(parent_, 1096), (std::vector<int>{EN_UPDATE, EN_CHANGE, EN_MAXTEXT}));
  // Text set by code is not held to the limit.
  set_window_text(e, "250000");
  EXPECT_EQ(window_text(e), "250000");
  send_message(e, EM_LIMITTEXT, 0, 0);
  EXPECT_GT(send_message(e, EM_GETLIMITTEXT, 0, 0), 1000000);
}

TEST_F(CtlEdit, KeysMoveTheCaretAndSelectAndEdit) {
  struct Case {
    std::vector<std::pair<int, unsigned>> keys;  // key, modifiers
    const char* typed;                          // then typed
    const char* text;
    std::pair<int, int> sel;
  };
  using K = std::vector<std::pair<int, unsigned>>;
  const unsigned S = tm_test::MOD_SHIFT, C = tm_test::MOD_CTRL;
  const Case cases[] = {
      {K{{VK_HOME, 0}}, "", "hello world", {0, 0}},
      {K{{VK_END, 0}, {VK_LEFT, S}, {VK_LEFT, S}, {VK_LEFT, S}}, "", "hello world", {8, 11}},
      {K{{VK_END, 0}, {VK_LEFT, S}, {VK_LEFT, S}, {VK_LEFT, S}}, "X", "hello woX", {9, 9}},
      {K{{VK_HOME, 0}, {VK_END, S}}, "", "hello world", {0, 11}},
      {K{{'A', C}}, "bye", "bye", {3, 3}},
      {K{{VK_HOME, 0}, {VK_RIGHT, C}}, "", "hello world", {6, 6}},
      {K{{VK_END, 0}, {VK_LEFT, C}, {VK_LEFT, C | S}}, "", "hello world", {0, 6}},
      {K{{VK_HOME, 0}, {VK_RIGHT, 0}, {VK_BACK, 0}}, "", "ello world", {0, 0}},
      {K{{VK_HOME, 0}, {VK_DELETE, 0}, {VK_DELETE, 0}}, "", "llo world", {0, 0}},
      {K{{VK_HOME, 0}, {VK_RIGHT, S}, {VK_RIGHT, S}, {VK_RIGHT, 0}}, "", "hello world", {2, 2}},
      {K{{VK_END, 0}, {VK_BACK, 0}, {'Z', C}}, "", "hello world", {11, 11}},
  };
  for (const Case& c : cases) {
    Wnd e = edit(ES_AUTOHSCROLL, "hello world");
    set_focus(e);
    for (auto [vk, mods] : c.keys) tm_test::press_key(vk, mods);
    tm_test::type_text(c.typed);
    tm_test::run_until_idle();
    EXPECT_EQ(window_text(e), c.text) << c.keys.size() << " keys, " << c.typed;
    EXPECT_EQ(sel(e), c.sel) << c.keys.size() << " keys, " << c.typed;
    destroy_window(e);
  }
}

TEST_F(CtlEdit, TheMousePlacesTheCaretAndSelects) {
  Wnd e = edit(ES_AUTOHSCROLL, "Facteur de taille de police", Rect{20, 20, 320, 42});
  tm_test::run_until_idle();
  message_log().clear();
  tm_test::click(e, 1, 10);
  tm_test::run_until_idle();
  EXPECT_EQ(get_focus(), e);
  EXPECT_EQ(sel(e), (std::pair<int, int>{0, 0}));
  tm_test::click(e, 290, 10);
  tm_test::run_until_idle();
  EXPECT_EQ(sel(e), (std::pair<int, int>{27, 27})) << "beyond the text: its end";
  tm_test::click(e, 70, 10);
  tm_test::run_until_idle();
  const int middle = sel(e).first;
  EXPECT_GT(middle, 3);
  EXPECT_LT(middle, 20);
  // A drag selects from the press to the release.
  tm_test::mouse_down(e, 1, 10);
  tm_test::mouse_move(e, 290, 10);
  tm_test::mouse_up(e, 290, 10);
  tm_test::run_until_idle();
  EXPECT_EQ(sel(e), (std::pair<int, int>{0, 27}));
  tm_test::double_click(e, 70, 10);
  tm_test::run_until_idle();
  const auto word = sel(e);
  EXPECT_EQ(window_text_w(e).substr(size_t(word.first), size_t(word.second - word.first)), u"taille");
  EXPECT_EQ(codes_from(parent_, 1096), std::vector<int>{EN_SETFOCUS}) << "moving the caret raises nothing";
  EXPECT_FALSE(modified(e));
}

TEST_F(CtlEdit, FocusIsReported) {
  Wnd a = edit(ES_AUTOHSCROLL, "", Rect{20, 20, 220, 42}, 1005);
  Wnd b = edit(ES_AUTOHSCROLL, "", Rect{20, 60, 220, 82}, 1007);
  tm_test::run_until_idle();
  message_log().clear();
  set_focus(a);
  set_focus(b);
  EXPECT_EQ(commands_to(parent_), (std::vector<Command>{{1005, EN_SETFOCUS}, {1005, EN_KILLFOCUS}, {1007, EN_SETFOCUS}}));
}

TEST_F(CtlEdit, MultiLineTextHasLinesAndReturns) {
  Wnd e = edit(ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN, "", Rect{20, 20, 220, 120});
  type(e, "un\ndeux\ncinquante");
  EXPECT_EQ(window_text(e), "un\r\ndeux\r\ncinquante");
  EXPECT_EQ(send_message(e, EM_GETLINECOUNT, 0, 0), 3);
  EXPECT_EQ(send_message(e, EM_LINEINDEX, 1, 0), 4);
  EXPECT_EQ(send_message(e, EM_LINEINDEX, 2, 0), 10);
  EXPECT_EQ(send_message(e, EM_LINEINDEX, 3, 0), -1);
  EXPECT_EQ(send_message(e, EM_LINELENGTH, 5, 0), 4);
  EXPECT_EQ(send_message(e, EM_LINEFROMCHAR, 11, 0), 2);
  char16_t line[16] = {15};
  EXPECT_EQ(send_message(e, EM_GETLINE, 1, LParam(reinterpret_cast<intptr_t>(line))), 4);
  EXPECT_EQ(std::u16string(line, 4), u"deux");
  // Up keeps the column as far as the shorter line allows; Home stays on the line.
  tm_test::press_key(VK_UP);
  tm_test::run_until_idle();
  EXPECT_EQ(sel(e), (std::pair<int, int>{8, 8})) << "end of \"deux\"";
  tm_test::press_key(VK_HOME);
  tm_test::press_key(VK_UP, tm_test::MOD_SHIFT);
  tm_test::run_until_idle();
  EXPECT_EQ(sel(e), (std::pair<int, int>{0, 4}));
  tm_test::press_key(VK_END, tm_test::MOD_CTRL);
  tm_test::press_key(VK_BACK);
  tm_test::press_key(VK_HOME);
  tm_test::press_key(VK_BACK);  // joins the line to the one above, "\r\n" going at once
  tm_test::run_until_idle();
  EXPECT_EQ(window_text(e), "un\r\ndeuxcinquant");
  EXPECT_EQ(send_message(e, EM_GETLINECOUNT, 0, 0), 2);
}

TEST_F(CtlEdit, WithoutSidewaysScrollingLongLinesWrap) {
  const char* text = "Choisissez d'abord le systeme de coordonnees du curseur";
  Wnd wrapped = edit(ES_MULTILINE, text, Rect{20, 20, 120, 140});
  Wnd scrolled = edit(ES_MULTILINE | ES_AUTOHSCROLL, text, Rect{130, 20, 230, 140}, 2);
  Wnd single = edit(ES_AUTOHSCROLL, text, Rect{20, 150, 120, 172}, 3);
  tm_test::run_until_idle();
  EXPECT_GT(send_message(wrapped, EM_GETLINECOUNT, 0, 0), 3);
  EXPECT_EQ(send_message(scrolled, EM_GETLINECOUNT, 0, 0), 1);
  // Lines break after blanks: each wrapped line after the first starts a word.
  const std::u16string t = window_text_w(wrapped);
  for (LResult i = 1; i < send_message(wrapped, EM_GETLINECOUNT, 0, 0); ++i) {
    const LResult at = send_message(wrapped, EM_LINEINDEX, WParam(i), 0);
    EXPECT_EQ(t[size_t(at) - 1], u' ') << "line " << i;
  }
  // A single-line edit follows the caret sideways.
  EXPECT_EQ(send_message(single, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  send_message(single, EM_SETSEL, 55, 55);
  EXPECT_GT(send_message(single, EM_GETFIRSTVISIBLELINE, 0, 0), 20);
}

TEST_F(CtlEdit, AMultiLineEditScrollsToTheCaretAndOnRequest) {
  std::string text;
  for (int i = 0; i < 30; ++i) text += "ligne " + std::to_string(i) + "\r\n";
  Wnd e = edit(ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, text.c_str(), Rect{20, 20, 220, 120});
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(e, EM_GETLINECOUNT, 0, 0), 31);
  EXPECT_EQ(send_message(e, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  set_focus(e);
  tm_test::press_key(VK_END, tm_test::MOD_CTRL);
  tm_test::run_until_idle();
  const LResult first = send_message(e, EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_GT(first, 20) << "the last line shows";
  ScrollInfo si;
  si.mask = SIF_POS | SIF_RANGE;
  ASSERT_TRUE(get_scroll_info(e, SB_VERT, &si));
  EXPECT_EQ(si.pos, int(first));
  EXPECT_EQ(si.max, 30);
  send_message(e, EM_LINESCROLL, 0, -100);
  EXPECT_EQ(send_message(e, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  send_message(e, EM_LINESCROLL, 0, 3);
  EXPECT_EQ(send_message(e, EM_GETFIRSTVISIBLELINE, 0, 0), 3);
  send_message(e, WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(send_message(e, EM_GETFIRSTVISIBLELINE, 0, 0), 4);
  EXPECT_EQ(get_scroll_pos(e, SB_VERT), 4);
  // The first line shown holds its text where the client area starts.
  tm_test::run_until_idle();
  EXPECT_TRUE(any_pixel(e, Rect{0, 0, 60, 14}, inky));
}

TEST_F(CtlEdit, TextIsUtf16AndPairsGoWhole) {
  Wnd e = edit(ES_AUTOHSCROLL);
  type(e, "é€😀x");
  EXPECT_EQ(window_text_w(e), u"é€😀x");
  EXPECT_EQ(get_window_text_length(e), 5);
  tm_test::press_key(VK_BACK);
  tm_test::press_key(VK_BACK);
  tm_test::run_until_idle();
  EXPECT_EQ(window_text_w(e), u"é€");
  tm_test::press_key(VK_LEFT);
  tm_test::press_key(VK_RIGHT, tm_test::MOD_SHIFT);
  tm_test::run_until_idle();
  EXPECT_EQ(sel(e), (std::pair<int, int>{1, 2}));
}

TEST_F(CtlEdit, ThePasswordCharacterHidesTheText) {
  Wnd a = edit(ES_AUTOHSCROLL | ES_PASSWORD, "iiii", Rect{20, 20, 220, 42}, 1);
  Wnd b = edit(ES_AUTOHSCROLL | ES_PASSWORD, "WWWW", Rect{20, 60, 220, 82}, 2);
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(a, EM_GETPASSWORDCHAR, 0, 0), u'*');
  EXPECT_EQ(window_text(a), "iiii");
  for (int x = 0; x < 196; ++x)
    for (int y = 0; y < 18; ++y) ASSERT_EQ(tm_test::pixel_at(a, x, y), tm_test::pixel_at(b, x, y)) << x << "," << y;
  EXPECT_TRUE(any_pixel(a, Rect{0, 0, 196, 18}, inky));
}

TEST_F(CtlEdit, TheParentChoosesTheColours) {
  Brush pale = create_solid_brush(rgb(255, 255, 200));
  std::vector<uint32_t> asked;
  handlers()[parent_] = [&](Wnd, uint32_t m, WParam, LParam, LResult* r) {
    if (m != WM_CTLCOLOREDIT && m != WM_CTLCOLORSTATIC) return false;
    asked.push_back(m);
    *r = LResult(reinterpret_cast<intptr_t>(pale));
    return true;
  };
  Wnd e = edit(ES_AUTOHSCROLL, "1.00");
  tm_test::run_until_idle();
  EXPECT_EQ(tm_test::pixel_at(e, 190, 10), pixel_of(rgb(255, 255, 200)));
  EXPECT_EQ(asked.back(), WM_CTLCOLOREDIT);
  handlers()[parent_] = nullptr;
  handlers().erase(parent_);
  send_message(e, EM_SETREADONLY, 1, 0);
  tm_test::run_until_idle();
  EXPECT_EQ(tm_test::pixel_at(e, 190, 10), pixel_of(get_sys_color(COLOR_BTNFACE))) << "read-only: the face";
  EXPECT_NE(get_window_long(e, GWL_STYLE) & ES_READONLY, 0);
  destroy_window(e);
  delete_object(pale);
}

TEST_F(CtlEdit, UndoBringsBackTheTextBeforeTheLastEdit) {
  Wnd e = edit(ES_AUTOHSCROLL, "1.00");
  EXPECT_EQ(send_message(e, EM_CANUNDO, 0, 0), 0);
  send_message(e, EM_SETSEL, 0, -1);
  type(e, "2.5");
  EXPECT_EQ(window_text(e), "2.5");
  EXPECT_EQ(send_message(e, EM_UNDO, 0, 0), 1);
  EXPECT_EQ(window_text(e), "1.00") << "the typed run goes back at once";
  EXPECT_TRUE(modified(e));
}

}  // namespace
