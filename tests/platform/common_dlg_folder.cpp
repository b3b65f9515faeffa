// The folder dialog: the list of sub-folders entered by double clicks, the path field,
// typed paths normalised, a missing folder refused, new folders, captions, Cancel.
#include <unistd.h>

#include <filesystem>

#include "platform/ui/common_dlg.h"
#include "platform/ui/ctl_listbox.h"
#include "tests/platform/dialog_fixture.h"
#include "tests/support/harness_common.h"
#include "tests/support/harness_lists.h"
#include "tests/support/test_env.h"

using namespace plat;
using namespace ui_test;

namespace {

std::string make_tree(const char* name) {
  const std::string dir = tm_test::fresh_dir(name);
  for (const char* sub : {"b/inner", "a"}) std::filesystem::create_directories(dir + sub);
  tm_test::write_file(dir + "b/inner/x.txt", "x");
  tm_test::write_file(dir + "a/y.txt", "x");
  tm_test::write_file(dir + "file.txt", "x");
  return dir;
}

std::string no_slash(const std::string& dir) { return dir.substr(0, dir.size() - 1); }

class FolderDialog : public CtlTest {
 protected:
  BrowseInfo record(const std::string& dir) {
    BrowseInfo bi;
    bi.owner = parent_;
    bi.initial_dir = dir;
    bi.title = "Dossier d'exportation";
    bi.caption = "Choisir un dossier";
    return bi;
  }
};

TEST_F(FolderDialog, TypedPathsAreNormalised) {
  const std::string dir = make_tree("typed");
  struct Case {
    std::string typed;
    std::string want;
  };
  const Case cases[] = {
      {dir + "b/inner/", dir + "b/inner"},
      {"b\\inner", dir + "b/inner"},
      {dir + "a/../b//./inner", dir + "b/inner"},
      {"/", "/"},
  };
  for (const Case& c : cases) {
    tm_test::answer_next_folder_dialog(c.typed);
    BrowseInfo bi = record(dir);
    ASSERT_TRUE(browse_for_folder(&bi)) << c.typed;
    EXPECT_EQ(bi.path, c.want);
  }
}

TEST_F(FolderDialog, DoubleClicksWalkTheTreeAndTheSelectionIsChosen) {
  const std::string dir = make_tree("walk");
  std::string caption, title, field_at_start;
  std::vector<int> counts;
  tm_test::answer_next_dialog([&](Wnd dlg) {
    caption = window_text(dlg);
    title = dlg_item_text(dlg, cdlg::kFolderTitle);
    field_at_start = dlg_item_text(dlg, cdlg::kFolderPath);
    counts.push_back(int(send_dlg_item_message(dlg, cdlg::kFolderList, LB_GETCOUNT, 0, 0)));
    tm_test::double_click_list_item(tm_test::dlg_control(dlg, cdlg::kFolderList), 2);  // "b"
  });
  tm_test::answer_next_dialog([&](Wnd dlg) {
    counts.push_back(int(send_dlg_item_message(dlg, cdlg::kFolderList, LB_GETCOUNT, 0, 0)));
    tm_test::double_click_list_item(tm_test::dlg_control(dlg, cdlg::kFolderList), 0);  // ".."
  });
  tm_test::answer_next_dialog([&](Wnd dlg) {
    tm_test::click_list_item(tm_test::dlg_control(dlg, cdlg::kFolderList), 1);  // "a"
    tm_test::click_control(dlg, IDOK);
  });
  BrowseInfo bi = record(dir);
  ASSERT_TRUE(browse_for_folder(&bi));
  EXPECT_EQ(caption, "Choisir un dossier");
  EXPECT_EQ(title, "Dossier d'exportation");
  EXPECT_EQ(field_at_start, no_slash(dir));
  EXPECT_EQ(counts, (std::vector<int>{3, 2})) << "'..', 'a', 'b'; then '..', 'inner' (no files)";
  EXPECT_EQ(bi.path, dir + "a");
}

TEST_F(FolderDialog, AMissingFolderIsRefusedAndCancelKeepsThePath) {
  const std::string dir = make_tree("missing");
  tm_test::clear_message_boxes();
  tm_test::answer_next_message_box(IDOK);
  tm_test::answer_next_folder_dialog(dir + "nowhere");
  tm_test::answer_next_folder_dialog(dir + "file.txt");
  tm_test::answer_next_message_box(IDOK);
  tm_test::cancel_next_dialog();
  BrowseInfo bi = record(dir);
  bi.path = "/kept";
  EXPECT_FALSE(browse_for_folder(&bi));
  EXPECT_EQ(bi.path, "/kept");
  ASSERT_EQ(tm_test::message_boxes().size(), 2u);
  EXPECT_EQ(tm_test::message_boxes()[0].text, dir + "nowhere\nThe folder does not exist.");
}

TEST_F(FolderDialog, MakeNewFolderMakesAndSelectsIt) {
  const std::string dir = make_tree("newdir");
  tm_test::answer_next_dialog([](Wnd dlg) {
    tm_test::click_control(dlg, cdlg::kNewFolder);
    tm_test::click_control(dlg, cdlg::kNewFolder);
    tm_test::click_control(dlg, IDOK);
  });
  BrowseInfo bi = record(dir);
  ASSERT_TRUE(browse_for_folder(&bi));
  EXPECT_EQ(bi.path, dir + "New folder (2)");
  EXPECT_EQ(access((dir + "New folder").c_str(), F_OK), 0);
  EXPECT_EQ(access((dir + "New folder (2)").c_str(), F_OK), 0);
}

}  // namespace
