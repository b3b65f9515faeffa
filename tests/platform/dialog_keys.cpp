// The keyboard of a dialog: Tab and Shift+Tab through the tab stops, the arrows within
// a group of radio buttons, Enter for the focused or default push button, Escape and
// closing for Cancel, and the keys an item keeps for itself.
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_trackbar.h"
#include "tests/platform/dialog_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

class DialogKeys : public DialogTest {
 protected:
  // Opens the sample dialog modelessly; keys reach it through is_dialog_message in the
  // harness's loop (see pump_dialog).
  Wnd open(const DlgTemplate& t = sample_template()) {
    Wnd dlg = create_dialog_indirect(t, parent_, probe_proc);
    EXPECT_NE(dlg, nullptr);
    dlg_ = dlg;
    pump_dialog();
    return dlg;
  }
  // A modeless dialog's share of a message loop, as a program writes it.
  void pump_dialog() {
    Msg m;
    for (int guard = 0; guard < 10000 && peek_message(&m, nullptr, 0, 0, PM_REMOVE); ++guard) {
      if (is_dialog_message(dlg_, &m)) continue;
      translate_message(&m);
      dispatch_message(&m);
    }
  }
  void press(int vk, unsigned mods = 0) {
    tm_test::press_key(vk, mods);
    pump_dialog();
  }
  Wnd dlg_ = nullptr;
};

TEST_F(DialogKeys, TabGoesThroughTheTabStopsInOrderAndBack) {
  DlgTemplate t = sample_template();
  // Items that Tab passes over: no tab stop, disabled, hidden.
  t.items.push_back({"Edit", 2001, "", WS_BORDER | WS_TABSTOP | WS_DISABLED, 150, 7, 40, 14});
  t.items.push_back({"Edit", 2002, "", WS_BORDER | WS_TABSTOP, 150, 26, 40, 14, 0, true});
  t.items.push_back({"Edit", 2003, "", WS_BORDER, 150, 45, 40, 14});
  open(t);
  ASSERT_EQ(tm_test::focused_control_id(), 1096);
  const std::vector<int> forward = {1094, 1111, 1005, 1000, IDOK, IDCANCEL, 1096, 1094};
  std::vector<int> seen;
  for (size_t i = 0; i < forward.size(); ++i) {
    tm_test::press_tab();
    pump_dialog();
    seen.push_back(tm_test::focused_control_id());
  }
  EXPECT_EQ(seen, forward);
  seen.clear();
  for (int i = 0; i < 3; ++i) {
    tm_test::press_tab(true);
    pump_dialog();
    seen.push_back(tm_test::focused_control_id());
  }
  EXPECT_EQ(seen, (std::vector<int>{1096, IDCANCEL, IDOK}));
  EXPECT_EQ(get_next_dlg_tab_item(dlg_, nullptr, false), get_dlg_item(dlg_, 1096));
  EXPECT_EQ(get_next_dlg_tab_item(dlg_, nullptr, true), get_dlg_item(dlg_, IDCANCEL));
  for (const Command& c : probe().commands) EXPECT_NE(c.code, BN_CLICKED) << "moving the focus presses nothing: " << c;
}

TEST_F(DialogKeys, TabIntoAnEditSelectsItsTextSoTypingReplacesIt) {
  open();
  press(VK_TAB);
  press(VK_TAB);
  press(VK_TAB);  // 1094, 1111, then the edit 1005
  ASSERT_EQ(tm_test::focused_control_id(), 1005);
  tm_test::type_text("2.5");
  pump_dialog();
  EXPECT_EQ(dlg_item_text(dlg_, 1005), "2.5");
  EXPECT_EQ(dialog_codes(1005).back(), EN_CHANGE);
}

TEST_F(DialogKeys, TabIntoARadioGroupLandsOnItsCheckedButton) {
  open();
  check_radio_button(dlg_, 1111, 1113, 1113);
  press(VK_TAB);  // 1094
  press(VK_TAB);
  EXPECT_EQ(tm_test::focused_control_id(), 1113);
  press(VK_TAB, tm_test::MOD_SHIFT);
  press(VK_TAB);
  EXPECT_EQ(tm_test::focused_control_id(), 1113);
}

TEST_F(DialogKeys, ArrowsMoveWithinARadioGroupAndChoose) {
  open();
  check_radio_button(dlg_, 1111, 1113, 1111);
  set_focus(get_dlg_item(dlg_, 1111));
  pump_dialog();
  probe().commands.clear();
  struct Case {
    int vk;
    int focus;
  };
  const Case cases[] = {
      {VK_DOWN, 1112}, {VK_RIGHT, 1113}, {VK_DOWN, 1111} /* wraps within the group */, {VK_UP, 1113}, {VK_LEFT, 1112},
  };
  for (const Case& c : cases) {
    press(c.vk);
    EXPECT_EQ(tm_test::focused_control_id(), c.focus) << c.vk;
    for (int id = 1111; id <= 1113; ++id)
      EXPECT_EQ(is_dlg_button_checked(dlg_, id), unsigned(id == c.focus ? BST_CHECKED : BST_UNCHECKED)) << id;
    EXPECT_EQ(probe().commands.back(), (Command{c.focus, BN_CLICKED}));
  }
  EXPECT_EQ(get_next_dlg_group_item(dlg_, get_dlg_item(dlg_, 1111), true), get_dlg_item(dlg_, 1113));
  EXPECT_EQ(get_next_dlg_group_item(dlg_, get_dlg_item(dlg_, 1000), false), get_dlg_item(dlg_, IDOK));
}

TEST_F(DialogKeys, AnEditKeepsItsArrows) {
  open();
  ASSERT_EQ(tm_test::focused_control_id(), 1096);
  press(VK_END);
  press(VK_LEFT);
  press(VK_LEFT);
  EXPECT_EQ(tm_test::focused_control_id(), 1096);
  uint32_t a = 0, b = 0;
  send_dlg_item_message(dlg_, 1096, EM_GETSEL, WParam(reinterpret_cast<uintptr_t>(&a)), LParam(reinterpret_cast<intptr_t>(&b)));
  EXPECT_EQ(a, 1u);
}

// List boxes, combo boxes and trackbars of a group take the arrows for themselves: the
// focus stays, their selection or position moves, and the parent hears of it.
TEST_F(DialogKeys, ListsCombosAndTrackbarsKeepTheirArrows) {
  register_listbox_control();
  register_combo_control();
  register_trackbar_control();
  DlgTemplate t = sample_template();
  t.items.push_back({"ListBox", 2101, "", LBS_NOTIFY | WS_BORDER | WS_TABSTOP | WS_GROUP, 130, 7, 90, 30});
  t.items.push_back({"ComboBox", 2102, "", CBS_DROPDOWNLIST | WS_TABSTOP, 130, 40, 90, 60});
  t.items.push_back({"ComboBox", 2103, "", CBS_DROPDOWN | WS_TABSTOP, 130, 58, 90, 60});
  t.items.push_back({"msctls_trackbar32", 2104, "", WS_TABSTOP, 130, 76, 90, 20});
  open(t);
  for (int id : {2101, 2102, 2103}) {
    const uint32_t add = id == 2101 ? LB_ADDSTRING : CB_ADDSTRING;
    for (const char16_t* s : {u"un", u"deux", u"trois"})
      send_dlg_item_message(dlg_, id, add, 0, LParam(reinterpret_cast<intptr_t>(s)));
  }
  struct Case {
    int id;
    uint32_t get_pos;  // the message that reads the selection or position
    int code;          // the notification a key's move raises (0: a scroll message)
  };
  const Case cases[] = {{2101, LB_GETCURSEL, LBN_SELCHANGE},
                        {2102, CB_GETCURSEL, CBN_SELCHANGE},
                        {2103, CB_GETCURSEL, CBN_SELCHANGE},
                        {2104, TBM_GETPOS, 0}};
  for (const Case& c : cases) {
    Wnd item = get_dlg_item(dlg_, c.id);
    set_focus(item);
    pump_dialog();
    Wnd focus = get_focus();
    ASSERT_TRUE(focus == item || is_child(item, focus)) << c.id;
    probe().commands.clear();
    const LResult before = send_message(item, c.get_pos, 0, 0);
    press(VK_DOWN);
    EXPECT_EQ(get_focus(), focus) << c.id << ": the arrow stays with the item";
    EXPECT_NE(send_message(item, c.get_pos, 0, 0), before) << c.id;
    if (c.code) {
      EXPECT_EQ(dialog_codes(c.id), (std::vector<int>{c.code})) << c.id;
    }
    press(VK_UP);
    EXPECT_EQ(get_focus(), focus) << c.id;
    EXPECT_EQ(send_message(item, c.get_pos, 0, 0), c.code ? 0 : before) << c.id;
  }
}

TEST_F(DialogKeys, EnterPressesTheFocusedOrTheDefaultButton) {
  struct Case {
    const char* what;
    int focus;       // the item focused first
    int set_def;     // DM_SETDEFID first (0: none)
    int disable;     // an item disabled first (0: none)
    std::vector<Command> commands;
  };
  const Case cases[] = {
      {"edit: the default button", 1096, 0, 0, {{IDOK, BN_CLICKED}}},
      {"focused push button", 1000, 0, 0, {{1000, BN_CLICKED}}},
      {"a default named by the dialog", 1096, 1000, 0, {{1000, BN_CLICKED}}},
      {"a disabled default does nothing", 1096, 0, IDOK, {}},
      {"check box: the default button", 1094, 0, 0, {{IDOK, BN_CLICKED}}},
  };
  for (const Case& c : cases) {
    probe() = DialogProbe{};
    probe().hook = [](Wnd, uint32_t m, WParam, LParam) -> intptr_t { return m == WM_COMMAND ? 1 : 0; };  // ends nothing
    open();
    if (c.set_def) send_message(dlg_, DM_SETDEFID, WParam(c.set_def), 0);
    if (c.disable) enable_window(get_dlg_item(dlg_, c.disable), false);
    set_focus(get_dlg_item(dlg_, c.focus));
    pump_dialog();
    probe().commands.clear();
    press(VK_RETURN);
    EXPECT_EQ(probe().commands, c.commands) << c.what;
    destroy_window(dlg_);
  }
}

TEST_F(DialogKeys, SettingTheDefaultButtonMovesItsLook) {
  open();
  EXPECT_EQ(send_message(dlg_, DM_GETDEFID, 0, 0), LResult(make_lparam(IDOK, int(DC_HASDEFID))));
  send_message(dlg_, DM_SETDEFID, 1000, 0);
  EXPECT_EQ(send_message(dlg_, DM_GETDEFID, 0, 0), LResult(make_lparam(1000, int(DC_HASDEFID))));
  EXPECT_EQ(get_window_long(get_dlg_item(dlg_, 1000), GWL_STYLE) & BS_TYPEMASK, LResult(BS_DEFPUSHBUTTON));
  EXPECT_EQ(get_window_long(get_dlg_item(dlg_, IDOK), GWL_STYLE) & BS_TYPEMASK, LResult(BS_PUSHBUTTON));
  EXPECT_NE(get_window_long(get_dlg_item(dlg_, IDOK), GWL_STYLE) & WS_TABSTOP, 0) << "other style bits stay";
}

TEST_F(DialogKeys, EscapeAndClosingSendCancel) {
  struct Case {
    const char* what;
    bool by_key;
    bool cancel_disabled;
    std::vector<Command> commands;
  };
  const Case cases[] = {
      {"Escape", true, false, {{IDCANCEL, BN_CLICKED}}},
      {"close box", false, false, {{IDCANCEL, BN_CLICKED}}},
      {"Escape, Cancel disabled", true, true, {}},
      {"close box, Cancel disabled", false, true, {}},
  };
  for (const Case& c : cases) {
    probe() = DialogProbe{};
    probe().hook = [](Wnd, uint32_t m, WParam, LParam) -> intptr_t { return m == WM_COMMAND ? 1 : 0; };
    open();
    if (c.cancel_disabled) enable_window(get_dlg_item(dlg_, IDCANCEL), false);
    probe().commands.clear();
    if (c.by_key) {
      press(VK_ESCAPE);
    } else {
      post_message(dlg_, WM_CLOSE, 0, 0);
      pump_dialog();
    }
    EXPECT_EQ(probe().commands, c.commands) << c.what;
    EXPECT_TRUE(is_window(dlg_)) << c.what << ": only the procedure ends a dialog";
    destroy_window(dlg_);
  }
}

TEST_F(DialogKeys, AMultiLineEditWithWantReturnKeepsEnter) {
  struct Case {
    uint32_t style;
    const char* text;
    std::vector<Command> commands;
  };
  const Case cases[] = {
      {ES_MULTILINE | ES_WANTRETURN, "a\r\n", {}},
      {ES_MULTILINE, "a", {{IDOK, BN_CLICKED}}},
  };
  for (const Case& c : cases) {
    probe() = DialogProbe{};
    probe().hook = [](Wnd, uint32_t m, WParam, LParam) -> intptr_t { return m == WM_COMMAND ? 1 : 0; };
    DlgTemplate t = sample_template();
    t.items[1].style = c.style | WS_BORDER | WS_TABSTOP;
    t.items[1].text = "";
    t.items[1].cy = 30;
    open(t);
    tm_test::type_text("a");
    press(VK_RETURN);
    EXPECT_EQ(dlg_item_text(dlg_, 1096), c.text);
    std::vector<Command> ok;
    for (const Command& cmd : probe().commands)
      if (cmd.id == IDOK) ok.push_back(cmd);
    EXPECT_EQ(ok, c.commands);
    destroy_window(dlg_);
  }
}

TEST_F(DialogKeys, NextDlgCtlMovesTheFocus) {
  open();
  send_message(dlg_, WM_NEXTDLGCTL, 0, 0);
  EXPECT_EQ(tm_test::focused_control_id(), 1094);
  send_message(dlg_, WM_NEXTDLGCTL, 1, 0);
  EXPECT_EQ(tm_test::focused_control_id(), 1096);
  send_message(dlg_, WM_NEXTDLGCTL, WParam(reinterpret_cast<uintptr_t>(get_dlg_item(dlg_, 1005))), 1);
  EXPECT_EQ(tm_test::focused_control_id(), 1005);
  uint32_t a = 9, b = 9;
  send_dlg_item_message(dlg_, 1005, EM_GETSEL, WParam(reinterpret_cast<uintptr_t>(&a)), LParam(reinterpret_cast<intptr_t>(&b)));
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 4u) << "the text selected";
}

TEST_F(DialogKeys, TheFocusComesBackWhenTheDialogIsActivatedAgain) {
  open();
  set_focus(get_dlg_item(dlg_, 1005));
  set_active_window(parent_);
  EXPECT_FALSE(is_child(dlg_, get_focus()));
  set_active_window(dlg_);
  EXPECT_EQ(tm_test::focused_control_id(), 1005);
}

TEST_F(DialogKeys, MessagesOfOtherWindowsAreNotTheDialogs) {
  open();
  Msg m;
  m.wnd = parent_;
  m.message = WM_KEYDOWN;
  m.wparam = VK_TAB;
  EXPECT_FALSE(is_dialog_message(dlg_, &m));
  m.wnd = get_dlg_item(dlg_, 1096);
  m.message = WM_USER + 9;
  EXPECT_TRUE(is_dialog_message(dlg_, &m)) << "an item's message is dispatched for the loop";
  EXPECT_FALSE(is_dialog_message(nullptr, &m));
}

}  // namespace
