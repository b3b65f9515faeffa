// Message boxes over the command target's window, the bilingual texts of dialogs, the
// remembered focus, the dialog font, the folder chooser, and numbers typed into the pick
// list at the edge of what a number holds.
#include <string>
#include <thread>
#include <vector>

#include "core/obj_list.h"
#include "platform/ui/common_dlg.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "shell/framework/choosers.h"
#include "shell/framework/pick_list.h"
#include "tests/framework/winutil_fixture.h"
#include "tests/support/harness_common.h"
#include "tests/support/harness_dialogs.h"

namespace {

using winutil_test::ToolkitTest;

struct SeenBox {
  plat::Wnd owner;
  std::string text, caption;
  unsigned flags;
  bool owner_enabled;
};

class MessagesTest : public ToolkitTest {
 protected:
  // Boxes are answered here (with `answer`, 0: left to their default) and recorded with
  // their owner, and whether the owner was enabled while the box was open.
  void watch_boxes(int answer) {
    seen().clear();
    static int s_answer;
    s_answer = answer;
    plat::set_message_box_hook([](const plat::MessageBoxInfo& info) {
      seen().push_back({info.owner, info.text, info.caption, info.flags,
                        info.owner && plat::is_window_enabled(info.owner)});
      if (s_answer) plat::message_box_answer(info.box, s_answer);
    });
  }
  static std::vector<SeenBox>& seen() {
    static std::vector<SeenBox> v;
    return v;
  }
};

TEST_F(MessagesTest, OkBoxesClearTheErrorAndAreOwnedByTheTarget) {
  watch_boxes(plat::IDOK);
  set_gblerr(5);
  EXPECT_EQ(msg_box("Fichier absent", "Erreur"), plat::IDOK);
  EXPECT_EQ(get_gblerr(), 0);
  set_gblerr(7);
  EXPECT_EQ(msg_box_w(u"\u00e9t\u00e9", u"Caption"), plat::IDOK);
  EXPECT_EQ(get_gblerr(), 0);
  msg_box(nullptr, nullptr);
  ASSERT_EQ(seen().size(), 3u);
  struct Want {
    const char* text;
    const char* caption;
  } want[] = {{"Fichier absent", "Erreur"}, {"\xc3\xa9t\xc3\xa9", "Caption"}, {"", ""}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(seen()[i].owner, frame) << i;
    EXPECT_FALSE(seen()[i].owner_enabled) << i;
    EXPECT_EQ(seen()[i].text, want[i].text);
    EXPECT_EQ(seen()[i].caption, want[i].caption);
    EXPECT_EQ(seen()[i].flags & 0x0Fu, plat::MB_OK);
  }
  EXPECT_TRUE(plat::is_window_enabled(frame));
}

TEST_F(MessagesTest, YesNoQuestions) {
  struct Case {
    int answer;
    bool want;
  } cases[] = {{plat::IDYES, true}, {plat::IDNO, false}};
  for (const Case& c : cases) {
    watch_boxes(c.answer);
    set_gblerr(3);
    EXPECT_EQ(ask_yes_no("Remplacer ?", "Question"), c.want);
    EXPECT_EQ(get_gblerr(), 3);  // a question leaves the error code alone
    ASSERT_EQ(seen().size(), 1u);
    EXPECT_EQ(seen()[0].owner, frame);
    EXPECT_EQ(seen()[0].flags & (plat::MB_YESNO | plat::MB_ICONEXCLAMATION),
              plat::MB_YESNO | plat::MB_ICONEXCLAMATION);
    EXPECT_EQ(seen()[0].text, "Remplacer ?");
  }
  set_gblerr(0);
}

// ---- Dialog texts ---------------------------------------------------------------------------
intptr_t quiet_proc(plat::Wnd, uint32_t, plat::WParam, plat::LParam) { return 0; }

TEST_F(MessagesTest, DialogTextsInTheUsersLanguage) {
  plat::DlgTemplate t;
  t.title = "template";
  t.cx = 200;
  t.cy = 100;
  t.items = {{"Static", 10, "s", 0, 5, 5, 80, 10}, {"Button", 11, "b", 0, 5, 20, 80, 14},
             {"Edit", 12, "e", 0, 5, 40, 80, 12}};
  const dialog_text rows[] = {
      {10, "Nom", "Name"}, {11, "Annuler", "Cancel"}, {12, "\xc3\xa9t\xc3\xa9", "summer"}, {0, "Titre", "Title"}};
  struct Case {
    const char* lang;
    const char* item10;
    const char* item12;
    const char* title;
  } cases[] = {{"FRANCAIS", "Nom", "\xc3\xa9t\xc3\xa9", "Titre"}, {"ENGLISH", "Name", "summer", "Title"}};
  for (const Case& c : cases) {
    config_reset();
    config_set("LANG", c.lang);
    plat::Wnd dlg = plat::create_dialog_indirect(t, frame, quiet_proc);
    ASSERT_NE(dlg, nullptr);
    dialog_set_texts(dlg, rows);
    EXPECT_EQ(plat::dlg_item_text(dlg, 10), c.item10) << c.lang;
    EXPECT_EQ(plat::dlg_item_text(dlg, 12), c.item12) << c.lang;
    EXPECT_EQ(plat::window_text(dlg), c.title) << c.lang;
    plat::destroy_window(dlg);
  }
  // A table of only its end row sets the title; a row without a text, an item that is
  // not there, and an end row without titles change nothing else.
  plat::Wnd dlg = plat::create_dialog_indirect(t, frame, quiet_proc);
  const dialog_text title_only[] = {{0, "T", "Only title"}};
  dialog_set_texts(dlg, title_only);
  EXPECT_EQ(plat::window_text(dlg), "Only title");
  const dialog_text odd[] = {{10, "x", nullptr}, {99, "y", "y"}, {0, nullptr, nullptr}};
  dialog_set_texts(dlg, odd);
  EXPECT_EQ(plat::window_text(dlg), "Only title");
  dialog_set_texts(dlg, nullptr);
  dialog_set_texts(nullptr, rows);
  plat::destroy_window(dlg);
}

// ---- Focus -------------------------------------------------------------------------------------
TEST_F(MessagesTest, FocusIsGivenBack) {
  plat::register_controls();
  auto edit = [&](int id) {
    return plat::create_window(0, plat::kEditClass, "", plat::WS_CHILD | plat::WS_VISIBLE, 10, 10 + 30 * id, 100,
                               20, frame, uintptr_t(id));
  };
  plat::Wnd a = edit(1), b = edit(2);
  EXPECT_EQ(remembered_focus(), nullptr);
  restore_focus();  // nothing remembered: nothing happens
  set_focus_remember(a);
  EXPECT_EQ(plat::get_focus(), a);
  EXPECT_EQ(remembered_focus(), a);
  plat::set_focus(b);
  restore_focus();
  EXPECT_EQ(plat::get_focus(), a);
  // A remembered window that went away is left alone.
  plat::set_focus(b);
  plat::destroy_window(a);
  restore_focus();
  EXPECT_EQ(plat::get_focus(), b);
  winutil_state_reset();
  EXPECT_EQ(remembered_focus(), nullptr);
}

TEST_F(MessagesTest, FocusFromAnotherThread) {
  plat::register_controls();
  plat::Wnd a = plat::create_window(0, plat::kEditClass, "", plat::WS_CHILD | plat::WS_VISIBLE, 10, 10, 100, 20,
                                    frame, 1);
  set_focus_remember(a);
  plat::set_focus(frame);
  bool done = false;
  std::thread worker([&] { restore_focus(); });
  while (!done) {
    tm_test::run_until_idle();
    if (plat::get_focus() == a) done = true;
  }
  worker.join();
  EXPECT_EQ(plat::get_focus(), a);
}

// ---- Font --------------------------------------------------------------------------------------
TEST_F(MessagesTest, OneDialogFont) {
  std::vector<plat::Font> got(6, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < got.size(); ++i) threads.emplace_back([&got, i] { got[i] = create_ui_font(); });
  for (std::thread& t : threads) t.join();
  ASSERT_NE(got[0], nullptr);
  for (plat::Font f : got) EXPECT_EQ(f, got[0]);
  EXPECT_EQ(create_ui_font(), got[0]);
  EXPECT_EQ(ui_font(), got[0]);
  plat::LogFont lf;
  ASSERT_TRUE(plat::get_font_info(got[0], &lf));
  EXPECT_STREQ(lf.face_name, "MS Sans Serif");
  EXPECT_EQ(lf.height, 14);
  EXPECT_EQ(lf.width, 8);
  EXPECT_EQ(lf.weight, plat::FW_NORMAL);
}

// ---- Folder chooser -------------------------------------------------------------------------
TEST_F(MessagesTest, FolderChooserStoresTheChoice) {
  std::string start = tm_test::fresh_dir("start");
  std::string other = tm_test::fresh_dir("other");
  std::string other_path = other.substr(0, other.size() - 1);
  std::string path = start;
  tm_test::answer_next_folder_dialog(other_path);
  EXPECT_EQ(browse_for_folder(&path, "Export folder"), 1);
  EXPECT_EQ(path, other_path);
  // Cancel keeps the present path.
  tm_test::cancel_next_dialog();
  EXPECT_EQ(browse_for_folder(&path, "Export folder"), 0);
  EXPECT_EQ(path, other_path);
}

TEST_F(MessagesTest, FolderChooserOpensOnThePresentPathWithItsTexts) {
  std::string start = tm_test::fresh_dir("present");
  std::string start_path = start.substr(0, start.size() - 1);
  struct Case {
    const char* caption;
    std::string want_caption;
  } cases[] = {{"Dossier d'export", "Dossier d'export"}, {nullptr, "Browse for Folder"}};
  for (const Case& c : cases) {
    std::string title, caption, shown;
    plat::Wnd owner = nullptr;
    tm_test::answer_next_dialog([&](plat::Wnd dlg) {
      title = plat::dlg_item_text(dlg, plat::cdlg::kFolderTitle);
      caption = plat::window_text(dlg);
      shown = plat::dlg_item_text(dlg, plat::cdlg::kFolderPath);
      owner = plat::get_parent(dlg);
      tm_test::click_control(dlg, plat::IDOK);
    });
    std::string path = start_path;
    EXPECT_EQ(browse_for_folder_captioned(&path, "Choose the folder", c.caption), 1);
    EXPECT_EQ(title, "Choose the folder");
    EXPECT_EQ(caption, c.want_caption);
    EXPECT_EQ(shown, start_path);
    EXPECT_EQ(owner, frame);
    EXPECT_EQ(path, start_path);
  }
  // No path to store into: the choice is only made.
  tm_test::answer_next_folder_dialog(start_path);
  EXPECT_EQ(browse_for_folder(nullptr, nullptr), 1);
}

// ---- Pick list --------------------------------------------------------------------------------
TEST_F(MessagesTest, PickListNumbersAtTheEdges) {
  container_t* none = nullptr;
  obj_list_new(&none);
  struct Case {
    const char* typed;
    const char* want;
  } cases[] = {
      {"123", "-123"},
      {"-9223372036854775808", "9223372036854775807"},  // minus the smallest number
      {"99999999999999999999999", "-9223372036854775807"},
      {"-99999999999999999999", "9223372036854775807"},
      {"abc", "0"},
      {"  42x", "-42"},
  };
  for (const Case& c : cases) {
    winutil_test::posted().clear();
    plat::Wnd w = create_pick_list("Pick", none, 12);
    ASSERT_NE(w, nullptr);
    tm_test::type_into(w, kPickEdit, c.typed);
    tm_test::run_until_idle();
    tm_test::click_control(w, kPickOk);
    tm_test::run_until_idle();
    EXPECT_FALSE(plat::is_window(w));
    ASSERT_EQ(winutil_test::posted().size(), 1u) << c.typed;
    EXPECT_EQ(winutil_test::posted()[0].first, 12);
    EXPECT_EQ(winutil_test::posted()[0].second, c.want) << c.typed;
  }
  free_obj(&none);
}

}  // namespace
