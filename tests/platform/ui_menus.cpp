// Menus built at run time (insert by position and command, popups, separators, check
// and enable by command and by position, states, counts), the menu bar of a window,
// popup menus, choosing commands, and accelerator tables.
#include "tests/platform/ui_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

class UiMenus : public UiTest {};

// A menu bar like a frame's: File (Open, separator, Quit) and Display (Negative).
struct Frame {
  Menu bar, file, display;
};
Frame build_bar() {
  Frame f;
  f.bar = create_menu();
  f.file = create_popup_menu();
  f.display = create_popup_menu();
  append_menu(f.file, MF_STRING, 40058, "&Open\tCtrl+O");
  append_menu(f.file, MF_SEPARATOR, 0, nullptr);
  append_menu(f.file, MF_STRING, 40002, "&Quit\tCtrl+Q");
  append_menu(f.display, MF_STRING, 40027, "Negative images");
  insert_menu(f.bar, 0xFFFFFFFFu, MF_BYPOSITION | MF_POPUP, reinterpret_cast<uintptr_t>(f.file), "&File");
  insert_menu(f.bar, 0xFFFFFFFFu, MF_BYPOSITION | MF_POPUP, reinterpret_cast<uintptr_t>(f.display), "&Display");
  return f;
}

TEST_F(UiMenus, ItemsAreInsertedByPositionAndByCommand) {
  Frame f = build_bar();
  EXPECT_EQ(get_menu_item_count(f.bar), 2);
  EXPECT_EQ(get_menu_item_count(f.file), 3);
  EXPECT_EQ(get_sub_menu(f.bar, 0), f.file);
  EXPECT_EQ(get_sub_menu(f.bar, 1), f.display);
  EXPECT_EQ(get_menu_item_id(f.bar, 0), MENU_NOT_FOUND) << "a popup has no command";
  EXPECT_EQ(get_menu_item_id(f.file, 2), 40002u);
  // Before the item with command 40002 (found inside the File popup from the bar).
  EXPECT_TRUE(insert_menu(f.bar, 40002, MF_BYCOMMAND | MF_STRING, 40006, "&Print"));
  EXPECT_TRUE(insert_menu(f.file, 0, MF_BYPOSITION | MF_STRING, 40001, "New"));
  std::vector<unsigned> ids;
  for (int i = 0; i < get_menu_item_count(f.file); ++i) ids.push_back(get_menu_item_id(f.file, i));
  EXPECT_EQ(ids, (std::vector<unsigned>{40001, 40058, 0, 40006, 40002}));
  EXPECT_EQ(get_menu_string(f.bar, 40006, MF_BYCOMMAND), "&Print");
  EXPECT_EQ(get_menu_state(f.file, 2, MF_BYPOSITION), MF_SEPARATOR);
  EXPECT_FALSE(insert_menu(f.bar, 12345, MF_BYCOMMAND, 1, "x")) << "no such command";
  EXPECT_FALSE(insert_menu(f.file, 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<uintptr_t>(f.bar), "loop"));
  destroy_menu(f.bar);
  EXPECT_FALSE(is_menu(f.file)) << "popups go with their menu";
}

TEST_F(UiMenus, CheckAndEnableByCommandAndByPosition) {
  Frame f = build_bar();
  struct Case {
    Menu menu;
    unsigned where, flags;
    unsigned state_after;  // get_menu_state of 40058 afterwards
  };
  // Each row acts on "Open" (command 40058, position 0 of File).
  const Case checks[] = {
      {f.bar, 40058, MF_BYCOMMAND | MF_CHECKED, MF_CHECKED},
      {f.file, 0, MF_BYPOSITION | MF_UNCHECKED, 0},
      {f.file, 0, MF_BYPOSITION | MF_CHECKED, MF_CHECKED},
  };
  unsigned prev = 0;
  for (const Case& c : checks) {
    EXPECT_EQ(check_menu_item(c.menu, c.where, c.flags), prev);
    EXPECT_EQ(get_menu_state(f.bar, 40058, MF_BYCOMMAND), c.state_after);
    prev = c.state_after;
  }
  EXPECT_EQ(enable_menu_item(f.bar, 40058, MF_BYCOMMAND | MF_GRAYED), 0u);
  EXPECT_EQ(get_menu_state(f.file, 0, MF_BYPOSITION), MF_CHECKED | MF_GRAYED);
  EXPECT_EQ(enable_menu_item(f.file, 0, MF_BYPOSITION | MF_ENABLED), MF_GRAYED);
  // A popup of the bar greyed by position; its state carries its item count.
  EXPECT_EQ(enable_menu_item(f.bar, 1, MF_BYPOSITION | MF_GRAYED), 0u);
  EXPECT_EQ(get_menu_state(f.bar, 1, MF_BYPOSITION), (1u << 8) | MF_POPUP | MF_GRAYED);
  EXPECT_EQ(check_menu_item(f.bar, 999, MF_BYCOMMAND), MENU_NOT_FOUND);
  EXPECT_EQ(get_menu_state(f.bar, 7, MF_BYPOSITION), MENU_NOT_FOUND);
  destroy_menu(f.bar);
}

TEST_F(UiMenus, DeleteDestroysAPopupAndRemoveKeepsIt) {
  Frame f = build_bar();
  EXPECT_TRUE(remove_menu(f.bar, 1, MF_BYPOSITION));
  EXPECT_TRUE(is_menu(f.display));
  EXPECT_TRUE(delete_menu(f.bar, 0, MF_BYPOSITION));
  EXPECT_FALSE(is_menu(f.file));
  EXPECT_EQ(get_menu_item_count(f.bar), 0);
  EXPECT_TRUE(delete_menu(f.display, 40027, MF_BYCOMMAND));
  EXPECT_EQ(get_menu_item_count(f.display), 0);
  destroy_menu(f.display);
  destroy_menu(f.bar);
  EXPECT_EQ(get_menu_item_count(f.bar), -1);
}

TEST_F(UiMenus, AMenuBarTakesRoomFromTheClientArea) {
  Wnd w = top("T", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 300, 200});
  Rect before, after;
  get_client_rect(w, &before);
  message_log().clear();
  Frame f = build_bar();
  ASSERT_TRUE(set_menu(w, f.bar));
  EXPECT_EQ(get_menu(w), f.bar);
  get_client_rect(w, &after);
  EXPECT_EQ(after.height(), before.height() - 20);
  EXPECT_EQ(messages_of(w, {WM_SIZE}).size(), 1u);
  destroy_window(w);
  EXPECT_FALSE(is_menu(f.bar)) << "a window's menu goes with it";
}

TEST_F(UiMenus, ChoosingACommandInitialisesItsPopupAndRespectsGreyItems) {
  Wnd w = top();
  Frame f = build_bar();
  set_menu(w, f.bar);
  // The program greys Negative images each time the Display popup opens.
  handlers()[w] = [&](Wnd, uint32_t m, WParam wp, LParam, LResult*) {
    if (m == WM_INITMENUPOPUP && reinterpret_cast<Menu>(wp) == f.display)
      enable_menu_item(f.display, 40027, MF_BYCOMMAND | MF_GRAYED);
    return false;
  };
  tm_test::run_until_idle();
  message_log().clear();
  EXPECT_TRUE(tm_test::choose_menu_command(w, 40058));
  EXPECT_FALSE(tm_test::choose_menu_command(w, 40027));
  EXPECT_FALSE(tm_test::choose_menu_command(w, 555));
  tm_test::run_until_idle();
  std::vector<Logged> cmds = logged(WM_COMMAND);
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(loword(cmds[0].wp), 40058u);
  std::vector<Logged> inits = logged(WM_INITMENUPOPUP);
  ASSERT_EQ(inits.size(), 2u);
  EXPECT_EQ(reinterpret_cast<Menu>(inits[0].wp), f.file);
  EXPECT_EQ(loword(uintptr_t(inits[0].lp)), 0u);
  EXPECT_EQ(reinterpret_cast<Menu>(inits[1].wp), f.display);
  EXPECT_EQ(loword(uintptr_t(inits[1].lp)), 1u);
}

TEST_F(UiMenus, ClickingTheMenuBarOpensThePopupForTheChooser) {
  Wnd w = top("T", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 300, 200});
  Frame f = build_bar();
  set_menu(w, f.bar);
  tm_test::run_until_idle();
  message_log().clear();
  tm_test::choose_next_popup_command(40002);
  // The first bar item starts just inside the frame, below the caption.
  tm_test::click_window_point(w, 4 + 8, 4 + 20 + 10);
  tm_test::run_until_idle();
  std::vector<Logged> cmds = logged(WM_COMMAND);
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(loword(cmds[0].wp), 40002u);
  ASSERT_EQ(logged(WM_INITMENUPOPUP).size(), 1u);
}

TEST_F(UiMenus, TrackPopupMenuReturnsOrPostsTheChoice) {
  Wnd w = top();
  Menu popup = create_popup_menu();
  append_menu(popup, MF_STRING, 7, "Seven");
  append_menu(popup, MF_STRING | MF_GRAYED, 8, "Eight");
  tm_test::run_until_idle();
  message_log().clear();
  struct Case {
    unsigned answer;
    unsigned flags;
    unsigned result;
    size_t commands;
  };
  const Case cases[] = {
      {7, TPM_RETURNCMD, 7, 0}, {8, TPM_RETURNCMD, 0, 0}, {0, TPM_RETURNCMD, 0, 0}, {7, 0, 1, 1},
  };
  for (const Case& c : cases) {
    message_log().clear();
    tm_test::choose_next_popup_command(c.answer);
    EXPECT_EQ(track_popup_menu(popup, c.flags, 10, 10, w), c.result);
    tm_test::run_until_idle();
    EXPECT_EQ(logged(WM_COMMAND).size(), c.commands);
    EXPECT_EQ(logged(WM_INITMENUPOPUP).size(), 1u);
  }
  destroy_menu(popup);
}

TEST_F(UiMenus, AcceleratorsTurnKeysIntoCommands) {
  Wnd w = top();
  Frame f = build_bar();
  set_menu(w, f.bar);
  enable_menu_item(f.bar, 40027, MF_BYCOMMAND | MF_GRAYED);
  const AccelEntry entries[] = {
      {FVIRTKEY | FCONTROL, 'O', 40058},
      {FVIRTKEY | FCONTROL, 'Q', 40002},
      {FVIRTKEY, VK_F4, 40054},
      {FVIRTKEY | FCONTROL, 'N', 40027},  // greyed in the menu
  };
  Accel table = create_accelerator_table(entries, 4);
  ASSERT_NE(table, nullptr);
  tm_test::set_accelerators(w, table);
  struct Case {
    int vk;
    unsigned mods;
    unsigned command;  // 0: none
  };
  const Case cases[] = {
      {'O', tm_test::MOD_CTRL, 40058}, {'O', 0, 0}, {'Q', tm_test::MOD_CTRL, 40002},
      {VK_F4, 0, 40054},               {VK_F4, tm_test::MOD_SHIFT, 0}, {'N', tm_test::MOD_CTRL, 0},
  };
  tm_test::run_until_idle();
  for (const Case& c : cases) {
    message_log().clear();
    tm_test::press_key(c.vk, c.mods);
    tm_test::run_until_idle();
    std::vector<Logged> cmds = logged(WM_COMMAND);
    if (c.command) {
      ASSERT_EQ(cmds.size(), 1u) << c.vk;
      EXPECT_EQ(loword(cmds[0].wp), c.command);
      EXPECT_EQ(hiword(cmds[0].wp), 1u) << "from an accelerator";
      for (const Logged& k : logged(WM_KEYDOWN)) EXPECT_NE(k.wp, WParam(c.vk)) << "the key itself is taken";
    } else {
      EXPECT_TRUE(cmds.empty()) << c.vk;
    }
  }
  EXPECT_TRUE(destroy_accelerator_table(table));
  EXPECT_FALSE(destroy_accelerator_table(table));
}

}  // namespace
