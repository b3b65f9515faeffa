// The common window classes and choosers driven headless: the pick list, the table
// window, tree check boxes, colour fields, the file dialogs with their remembered
// folders, the icon chooser with a short list, and dropped paths of any length.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/pairlist.h"
#include "map/view_records.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_listview.h"
#include "platform/ui/ctl_updown.h"
#include "platform/ui/dialog.h"
#include "platform/ui/ui.h"
#include "shell/framework/choosers.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/icon_chooser.h"
#include "shell/framework/pick_list.h"
#include "shell/framework/table_window.h"
#include "shell/framework/tree_checks.h"
#include "shell/framework/winutil.h"
#include "tests/framework/test_frame.h"
#include "tests/support/harness.h"
#include "tests/support/harness_common.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/harness_lists.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace {

std::vector<std::pair<int, std::string>> g_posted;

plat::LResult frame_proc(plat::Wnd w, uint32_t m, plat::WParam wp, plat::LParam lp) {
  if (m == kCommandMessage) {
    char* text = reinterpret_cast<char*>(lp);
    g_posted.emplace_back(int(wp), text ? text : "");
    std::free(text);
    return 0;
  }
  return plat::def_window_proc(w, m, wp, lp);
}

class WinUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    task_slots_init();
    winutil_state_reset();
    config_set("LANG", "ENGLISH");
    g_posted.clear();
    frame = framework_test::open_test_frame("UtilFrame", "f", 800, 600, frame_proc);
    set_command_target(reinterpret_cast<obj_t*>(&dummy), frame);
  }
  tm_test::UiSession ui;
  plat::Wnd frame = nullptr;
  obj_t dummy{1, 20};
};

container_t* named_objects(std::vector<obj_t*>* keep, int n) {
  container_t* list = nullptr;
  obj_list_new(&list);
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    alloc_obj(CLS_CONTAINER, &o);
    obj_name_set(o, ("item" + std::to_string(i)).c_str());
    obj_list_append(list, o);
    keep->push_back(o);
  }
  return list;
}

// The objects, their names and the list go back to the store.
void free_objects(container_t* list, std::vector<obj_t*>& objs) {
  obj_list_free_elements(list);
  free_obj(&list);
  objs.clear();
}

TEST_F(WinUtilTest, PickListTypedNumberAndChosenItem) {
  std::vector<obj_t*> objs;
  container_t* list = named_objects(&objs, 3);
  plat::Wnd w = create_pick_list("Pick", list, 17);
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(plat::is_window_enabled(frame));
  tm_test::type_into(w, kPickEdit, "12");
  tm_test::run_until_idle();
  EXPECT_FALSE(plat::is_window_enabled(tm_test::dlg_control(w, kPickOk)));
  tm_test::type_into(w, kPickEdit, "123");
  tm_test::run_until_idle();
  EXPECT_TRUE(plat::is_window_enabled(tm_test::dlg_control(w, kPickOk)));
  tm_test::click_control(w, kPickOk);
  tm_test::run_until_idle();
  EXPECT_FALSE(plat::is_window(w));
  EXPECT_TRUE(plat::is_window_enabled(frame));
  ASSERT_EQ(g_posted.size(), 1u);
  EXPECT_EQ(g_posted[0].first, 17);
  EXPECT_EQ(g_posted[0].second, "-123");

  g_posted.clear();
  w = create_pick_list("Pick", list, 17);
  tm_test::click_list_item(tm_test::dlg_control(w, kPickList), 1, 0u);
  tm_test::run_until_idle();
  tm_test::click_control(w, kPickOk);
  tm_test::run_until_idle();
  ASSERT_EQ(g_posted.size(), 1u);
  EXPECT_EQ(g_posted[0].second, std::to_string(objs[1]->id));
  free_objects(list, objs);
}

TEST_F(WinUtilTest, TableWindowRowsAndColumns) {
  struct Case {
    const char* text;
    int header, columns;
    int items;  // -1: no window
  } cases[] = {
      {"a\nb\nc\nd\ne\nf\ng\n", 0, 2, 3},  // 7 fields, 2 columns: 3 rows, the 7th left out
      {"h1\nh2\n\nx\ny\n", 1, 2, 1},     // a header row, an empty line not counted
      {"a\nb\n", 0, 0, -1},             // no column: nothing
      {"a\n", 0, 2, -1},                // no whole row
      {"", 1, 1, -1},
  };
  for (const Case& c : cases) {
    plat::Wnd w = create_table_window(c.text, "T", c.header, c.columns, 400, 1);
    if (c.items < 0) {
      EXPECT_EQ(w, nullptr) << c.text;
      continue;
    }
    ASSERT_NE(w, nullptr) << c.text;
    EXPECT_EQ(plat::get_class_name(w), "ClasseTableau");
    plat::Wnd lv = tm_test::dlg_control(w, kTableList);
    EXPECT_EQ(plat::send_message(lv, plat::LVM_GETITEMCOUNT, 0, 0), c.items) << c.text;
    EXPECT_FALSE(plat::is_window_enabled(frame));
    tm_test::click_control(w, kTableClose);
    tm_test::run_until_idle();
    EXPECT_FALSE(plat::is_window(w));
    EXPECT_TRUE(plat::is_window_enabled(frame));
  }
}

TEST_F(WinUtilTest, TreeChecksFollowParentsAndSubtrees) {
  plat::Wnd tree = create_tree(frame, 300, 300, 1);
  ASSERT_NE(tree, nullptr);
  auto add = [&](plat::TreeItem parent, int data) {
    plat::TvInsertStruct ins;
    ins.parent = parent;
    ins.insert_after = plat::TVI_LAST;
    ins.item.mask = plat::TVIF_TEXT | plat::TVIF_PARAM;
    std::u16string t = u"n";
    ins.item.text = t.data();
    ins.item.param = data;
    return reinterpret_cast<plat::TreeItem>(plat::send_message(tree, plat::TVM_INSERTITEM, 0, plat::LParam(&ins)));
  };
  plat::TreeItem root = add(nullptr, 0), a = add(root, 1), a1 = add(a, 2), b = add(root, 3);
  tree_set_check_all(tree, root, 1);
  for (plat::TreeItem i : {root, a, a1, b}) EXPECT_EQ(tree_get_check(tree, i), 1);
  tree_set_check(tree, a1, 0);
  tree_uncheck_parents(tree, a1, 0);
  EXPECT_EQ(tree_get_check(tree, a), 0);
  EXPECT_EQ(tree_get_check(tree, root), 0);
  EXPECT_EQ(tree_get_check(tree, b), 1);
  pairlist* pairs = nullptr;
  for (int i = 0; i < 4; ++i) pairlist_add(&pairs, 0, 100 + i);
  tree_collect_checks_all(tree, root, pairs);
  std::intptr_t first = 0, second = 0;
  pairlist_get(pairs, 3, &first, &second);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 103);
  pairlist_get(pairs, 2, &first, nullptr);
  EXPECT_EQ(first, 0);
  tree_set_check_all(tree, root, 0);
  pairlist_set(pairs, 1, 1, 101);  // a checked: its subtree follows
  tree_apply_checks_all(tree, root, pairs);
  EXPECT_EQ(tree_get_check(tree, a), 1);
  EXPECT_EQ(tree_get_check(tree, a1), 1);
  EXPECT_EQ(tree_get_check(tree, root), 0);
  pairlist_free(&pairs);
}

TEST_F(WinUtilTest, ColourFieldTakesTheChosenColour) {
  color_field field;
  color_field_init(&field, frame, plat::rgb(1, 2, 3));
  EXPECT_EQ(color_red(field.color), 1);
  EXPECT_EQ(color_blue(field.color), 3);
  tm_test::answer_next_color_dialog(plat::rgb(10, 20, 30));
  EXPECT_EQ(color_field_pick(&field), 1);
  EXPECT_EQ(field.color, plat::rgb(10, 20, 30));
  EXPECT_NE(field.brush, nullptr);
  tm_test::cancel_next_dialog();
  EXPECT_EQ(color_field_pick(&field), 0);
  EXPECT_EQ(field.color, plat::rgb(10, 20, 30));
  color_field_default(&field);
  EXPECT_EQ(field.color, plat::get_sys_color(plat::COLOR_BTNFACE));
  color_field_free(&field);
}

TEST_F(WinUtilTest, FileDialogsRememberTheirFolders) {
  std::string dir = tm_test::fresh_dir("files");
  std::string a = tm_test::write_file(dir + "a.gpx", "x"), b = tm_test::write_file(dir + "b.gpx", "y");
  std::vector<std::string> chosen;
  tm_test::answer_next_open_dialog({a, b});
  EXPECT_EQ(file_dialog_multi(nullptr, &chosen, "Load", "GPX\0*.gpx\0\0"), 1);
  ASSERT_EQ(chosen.size(), 2u);
  EXPECT_EQ(chosen[1], b);
  std::string folder = dir.substr(0, dir.size() - 1);
  EXPECT_EQ(std::string(remembered_folder(0)), folder);
  // Cancel: an empty name, the remembered folder unchanged.
  std::string one = "old";
  tm_test::cancel_next_dialog();
  EXPECT_EQ(file_dialog_single(&one, "Open", nullptr, nullptr, 0), 0);
  EXPECT_EQ(one, "");
  EXPECT_EQ(std::string(remembered_folder(0)), folder);
  // A save path longer than 260 characters comes back whole.
  std::string deep = tm_test::fresh_dir(std::string(120, 'd').c_str());
  deep += std::string(150, 'e') + ".gpx";
  int filter = 1;
  tm_test::answer_next_save_dialog(deep, 0);
  EXPECT_EQ(file_dialog_single(&one, "Save", "GPX\0*.gpx\0\0", &filter, 1), 1);
  EXPECT_EQ(one, deep);
  EXPECT_EQ(filter, 0);
}

TEST_F(WinUtilTest, IconChooserWithFewerThanTenIcons) {
  std::vector<obj_t*> objs;
  container_t* icons = named_objects(&objs, 3);
  static int chosen = -1;
  chosen = -1;
  plat::Wnd w = create_dialog_window(icons, 7, [](int i) { chosen = i; });
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(icon_chooser_selected(), 0);  // 7 is past the list
  EXPECT_EQ(icon_chooser_first(), 0);
  int low = -1, high = -1;
  plat::send_message(tm_test::dlg_control(w, kIconUpDown), plat::UDM_GETRANGE32, plat::WParam(&low), plat::LParam(&high));
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 0);  // never negative
  EXPECT_FALSE(plat::is_window_visible(tm_test::dlg_control(w, kIconFirstButton + 5)));
  plat::send_message(w, plat::WM_COMMAND, plat::make_wparam(kIconFirstButton + 5, 0), 0);  // past the list
  EXPECT_EQ(icon_chooser_selected(), 0);
  tm_test::click_control(w, kIconFirstButton + 2);
  tm_test::run_until_idle();
  EXPECT_EQ(icon_chooser_selected(), 2);
  EXPECT_EQ(plat::dlg_item_text(w, kIconName), "item2");
  tm_test::click_control(w, kIconOk);
  tm_test::run_until_idle();
  EXPECT_EQ(chosen, 2);
  EXPECT_FALSE(plat::is_window(w));
  free_objects(icons, objs);
}

// Bitmaps the icon chooser had drawn, so that a test can see them deleted.
std::vector<plat::Bitmap>& drawn_icons() {
  static std::vector<plat::Bitmap> v;
  return v;
}
plat::Bitmap record_icon(obj_t*, int w, int h) {
  plat::Bitmap b = plat::create_bitmap(w, h, nullptr);
  drawn_icons().push_back(b);
  return b;
}

TEST_F(WinUtilTest, IconChooserMovesItsWindowOfTen) {
  std::vector<obj_t*> objs;
  container_t* icons = named_objects(&objs, 25);
  plat::Wnd w = create_dialog_window(icons, 12, nullptr);
  ASSERT_NE(w, nullptr);
  plat::Wnd ud = tm_test::dlg_control(w, kIconUpDown);
  auto checked = [&](int button) {
    return plat::send_message(tm_test::dlg_control(w, kIconFirstButton + button), plat::BM_GETCHECK, 0, 0) ==
           plat::BST_CHECKED;
  };
  EXPECT_EQ(icon_chooser_first(), 10);  // 12 rounded down to ten
  EXPECT_TRUE(checked(2));
  struct Step {
    bool up;
    int clicks;
    int first;
    int checked_button;  // -1: the chosen icon is out of view, no button checked
  } steps[] = {
      {true, 1, 11, 1},
      {true, 9, 15, -1},  // stops at count - 10, past the chosen icon
      {false, 5, 10, 2},  // back in view: its button is checked again
      {false, 15, 0, -1},
  };
  for (const Step& st : steps) {
    for (int i = 0; i < st.clicks; ++i) ASSERT_TRUE(tm_test::click_updown(ud, st.up));
    tm_test::run_until_idle();
    EXPECT_EQ(icon_chooser_first(), st.first);
    for (int b = 0; b < 10; ++b) EXPECT_EQ(checked(b), b == st.checked_button) << st.first << " " << b;
  }
  EXPECT_EQ(icon_chooser_selected(), 12);
  tm_test::click_control(w, kIconFirstButton + 9);  // icon 0 + 9
  tm_test::run_until_idle();
  EXPECT_EQ(icon_chooser_selected(), 9);
  EXPECT_EQ(plat::dlg_item_text(w, kIconName), "item9");
  tm_test::click_control(w, kIconCancel);
  tm_test::run_until_idle();
  EXPECT_FALSE(plat::is_window(w));
  EXPECT_EQ(icon_chooser_selected(), -1);
  free_objects(icons, objs);
}

TEST_F(WinUtilTest, IconChooserGoesWithItsOwner) {
  std::vector<obj_t*> objs;
  container_t* icons = named_objects(&objs, 4);
  set_image_render_routine(record_icon);
  struct Case {
    bool owner_destroyed;  // else Cancel closes it
  } cases[] = {{false}, {true}};
  for (const Case& c : cases) {
    drawn_icons().clear();
    plat::Wnd owner = plat::create_window(0, "UtilFrame", "owner", plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE,
                                          0, 0, 300, 200, nullptr, 0);
    plat::set_active_window(owner);
    plat::Wnd w = create_dialog_window(icons, 1, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(plat::get_owner(w), owner);
    EXPECT_FALSE(plat::is_window_enabled(owner));
    ASSERT_EQ(drawn_icons().size(), 4u);
    if (c.owner_destroyed) {
      plat::destroy_window(owner);
    } else {
      tm_test::click_control(w, kIconCancel);
      tm_test::run_until_idle();
      EXPECT_TRUE(plat::is_window_enabled(owner));
    }
    EXPECT_FALSE(plat::is_window(w));
    EXPECT_EQ(icon_chooser_selected(), -1) << c.owner_destroyed;
    for (plat::Bitmap b : drawn_icons()) EXPECT_EQ(plat::get_object_kind(b), 0) << c.owner_destroyed;
    // The chooser is free for the next use.
    plat::Wnd again = create_dialog_window(icons, 0, nullptr);
    ASSERT_NE(again, nullptr);
    plat::send_message(again, plat::WM_CLOSE, 0, 0);
    if (plat::is_window(owner)) plat::destroy_window(owner);
  }
  set_image_render_routine(nullptr);
  free_objects(icons, objs);
}

// Enter and Escape close the table window, whichever of its parts has the focus.
TEST_F(WinUtilTest, TableWindowClosesOnEnterAndEscape) {
  struct Case {
    int vk;
    int focus;  // the control with the focus; 0: the window itself
  };
  const Case cases[] = {
      {plat::VK_RETURN, kTableClose}, {plat::VK_ESCAPE, kTableClose}, {plat::VK_ESCAPE, kTableList},
      {plat::VK_ESCAPE, 0},           {plat::VK_RETURN, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.vk) + " with the focus on " + std::to_string(c.focus));
    plat::Wnd w = create_table_window("a\nb\n", "T", 0, 1, 300, 1);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(plat::get_focus(), tm_test::dlg_control(w, kTableClose));
    EXPECT_EQ(plat::window_text(tm_test::dlg_control(w, kTableClose)), "Close");
    plat::set_focus(c.focus ? tm_test::dlg_control(w, c.focus) : w);
    tm_test::run_until_idle();
    tm_test::press_key(c.vk);
    tm_test::run_until_idle();
    EXPECT_FALSE(plat::is_window(w));
    EXPECT_TRUE(plat::is_window_enabled(frame));
  }
}

TEST_F(WinUtilTest, DroppedPathsAreKeptWhole) {
  plat::drag_accept_files(frame, true);
  static std::vector<std::string> got;
  got.clear();
  plat::set_window_proc(frame, [](plat::Wnd w, uint32_t m, plat::WParam wp, plat::LParam lp) -> plat::LResult {
    if (m == plat::WM_DROPFILES) {
      got = dropped_paths(reinterpret_cast<plat::Drop>(wp));
      plat::drag_finish(reinterpret_cast<plat::Drop>(wp));
      return 0;
    }
    return plat::def_window_proc(w, m, wp, lp);
  });
  std::string longp = "/" + std::string(300, 'p') + "/file.gpx";
  tm_test::drop_files(frame, 10, 10, {longp, "/short.gpx"});
  tm_test::run_until_idle();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], longp);
  EXPECT_EQ(got[1], "/short.gpx");
}

}  // namespace
