// The common open and save dialog and the folders the file dialogs remember: the name
// starts empty, Save gives back the chosen file type, the remembered folder of each kind
// is where the next dialog of that kind opens, and the remembered folders stay sound
// while several threads read and write them.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/common_dlg.h"
#include "platform/ui/dialog.h"
#include "shell/framework/choosers.h"
#include "tests/framework/winutil_fixture.h"
#include "tests/support/harness_common.h"
#include "tests/support/harness_dialogs.h"

namespace {

using winutil_test::ToolkitTest;

class FoldersTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    set_remembered_folder(0, "");
    set_remembered_folder(1, "");
  }
};

const char kFilters[] = "GPX\0*.gpx\0KML\0*.kml\0All\0*.*\0\0";

TEST_F(FoldersTest, CommonDialogNameAndFileType) {
  std::string dir = tm_test::fresh_dir("common");
  std::string a = tm_test::write_file(dir + "a.gpx", "x");
  struct Case {
    int save;
    std::string typed;   // empty: Cancel
    int type;            // the file type chosen (from 1), save only
    int want_ok;
    std::string want;
    int want_index;      // -1: left as it was
  } cases[] = {
      {0, a, 0, 1, a, -1},
      {1, dir + "b.kml", 2, 1, dir + "b.kml", 1},
      {1, dir + "c.gpx", 1, 1, dir + "c.gpx", 0},
      {0, "", 0, 0, "", -1},
      {1, "", 0, 0, "", -1},
  };
  for (const Case& c : cases) {
    if (c.typed.empty())
      tm_test::cancel_next_dialog();
    else if (c.save)
      tm_test::answer_next_save_dialog(c.typed, c.type);
    else
      tm_test::answer_next_open_dialog({c.typed});
    std::string out = "left from before";
    int index = 9;
    EXPECT_EQ(file_dialog(kFilters, frame, &out, "Title", c.save, &index), c.want_ok) << c.typed;
    EXPECT_EQ(out, c.want) << c.typed;
    EXPECT_EQ(index, c.want_index < 0 ? 9 : c.want_index) << c.typed;
  }
}

TEST_F(FoldersTest, EachKindOpensWhereItsLastChoiceWas) {
  std::string open_dir = tm_test::fresh_dir("opened");
  std::string save_dir = tm_test::fresh_dir("saved");
  std::string a = tm_test::write_file(open_dir + "a.gpx", "x");
  tm_test::answer_next_open_dialog({a});
  std::string out;
  ASSERT_EQ(file_dialog_single(&out, "Open", kFilters, nullptr, 0), 1);
  tm_test::answer_next_save_dialog(save_dir + "s.gpx", 1);
  int index = 1;
  ASSERT_EQ(file_dialog_single(&out, "Save", kFilters, &index, 1), 1);
  EXPECT_EQ(std::string(remembered_folder(0)), open_dir.substr(0, open_dir.size() - 1));
  EXPECT_EQ(std::string(remembered_folder(1)), save_dir.substr(0, save_dir.size() - 1));
  // The next dialog of each kind lists its own folder.
  for (int save : {0, 1}) {
    std::string shown;
    tm_test::answer_next_dialog([&](plat::Wnd dlg) {
      shown = plat::dlg_item_text(dlg, plat::cdlg::kFolderLabel);
      tm_test::click_control(dlg, plat::IDCANCEL);
    });
    file_dialog_single(&out, "Again", kFilters, nullptr, save);
    std::string want = save ? save_dir : open_dir;
    EXPECT_NE(shown.find(want.substr(0, want.size() - 1)), std::string::npos) << save << ": " << shown;
  }
}

TEST_F(FoldersTest, RememberedFoldersUnderManyThreads) {
  std::atomic<bool> stop{false};
  const std::string long_a = "/" + std::string(300, 'a'), short_b = "/b";
  std::vector<std::thread> writers;
  for (int t = 0; t < 2; ++t)
    writers.emplace_back([&, t] {
      for (int i = 0; i < 2000 && !stop; ++i) set_remembered_folder(t, (i % 2 ? long_a : short_b).c_str());
    });
  std::vector<std::thread> readers;
  std::atomic<int> bad{0};
  for (int t = 0; t < 2; ++t)
    readers.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        std::string got = remembered_folder(t);
        if (!got.empty() && got != long_a && got != short_b) ++bad;
      }
    });
  for (std::thread& r : readers) r.join();
  stop = true;
  for (std::thread& w : writers) w.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
