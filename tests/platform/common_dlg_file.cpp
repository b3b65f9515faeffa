// The open and save dialogs, driven as a user would: the list of a folder (".." and
// folders first, files filtered by the chosen type), navigation, single and multiple
// selection, the checks on the chosen names, the default extension, the overwrite
// prompt, the filter index given back, and Cancel leaving the record as it was.
#include <algorithm>
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

// A folder with sub-folders, a hidden file and files of several kinds.
std::string make_tree(const char* name) {
  const std::string dir = tm_test::fresh_dir(name);
  for (const char* sub : {"zeta", "Alpha/deep"}) std::filesystem::create_directories(dir + sub);
  for (const char* f : {"a.gpx", "B.GPX", "c.kml", "notes.txt", ".hidden.gpx"}) tm_test::write_file(dir + f, "x");
  tm_test::write_file(dir + "zeta/inner.gpx", "x");
  tm_test::write_file(dir + "Alpha/deep/one.txt", "x");
  return dir;
}

std::string no_slash(const std::string& dir) { return dir.substr(0, dir.size() - 1); }

std::vector<std::string> list_texts(Wnd dlg, int id) {
  std::vector<std::string> out;
  const int n = int(send_dlg_item_message(dlg, id, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    std::u16string s(size_t(send_dlg_item_message(dlg, id, LB_GETTEXTLEN, WParam(i), 0)) + 1, u'\0');
    send_dlg_item_message(dlg, id, LB_GETTEXT, WParam(i), LParam(s.data()));
    out.emplace_back(s.begin(), s.begin() + long(s.size() - 1));  // ASCII names
  }
  return out;
}

const std::vector<FileFilter> kFilters = {
    {"All files", "*.*"}, {"GPS data files", "*.gpx;*.KML"}, {"Text", "*.txt"}};

class FileDialog : public CtlTest {
 protected:
  OpenFileName record(const std::string& dir, uint32_t flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST) {
    OpenFileName ofn;
    ofn.owner = parent_;
    ofn.filters = kFilters;
    ofn.initial_dir = dir;
    ofn.flags = flags;
    return ofn;
  }
};

TEST(FileFilterList, PairsOfLabelAndPatterns) {
  struct Case {
    std::string pairs;  // with its NULs
    std::vector<std::pair<std::string, std::string>> want;
  };
  const Case cases[] = {
      {std::string("All\0*.*\0GPS\0*.gpx;*.kml\0\0", 25), {{"All", "*.*"}, {"GPS", "*.gpx;*.kml"}}},
      {std::string("\0", 1), {}},
      {std::string("Lone label\0\0", 12), {}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, std::string>> got;
    for (const FileFilter& f : parse_filter_list(c.pairs.c_str())) got.emplace_back(f.label, f.patterns);
    EXPECT_EQ(got, c.want);
  }
  EXPECT_TRUE(parse_filter_list(nullptr).empty());
}

TEST_F(FileDialog, ListsDotDotAndFoldersFirstThenFilesOfTheChosenType) {
  const std::string dir = make_tree("listing");
  struct Case {
    int filter_index;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {1, {"..", "Alpha/", "zeta/", "a.gpx", "B.GPX", "c.kml", "notes.txt"}},
      {2, {"..", "Alpha/", "zeta/", "a.gpx", "B.GPX", "c.kml"}},
      {3, {"..", "Alpha/", "zeta/", "notes.txt"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> seen;
    tm_test::answer_next_dialog([&](Wnd dlg) {
      seen = list_texts(dlg, cdlg::kFileList);
      tm_test::click_control(dlg, IDCANCEL);
    });
    OpenFileName ofn = record(dir);
    ofn.filter_index = c.filter_index;
    EXPECT_FALSE(get_open_file_name(&ofn));
    EXPECT_EQ(seen, c.want) << "filter " << c.filter_index;
  }
}

TEST_F(FileDialog, ChangingTheTypeOrTypingAPatternFiltersTheList) {
  const std::string dir = make_tree("retype");
  std::vector<std::string> after_type, after_pattern;
  bool still_open = false;
  tm_test::answer_next_dialog([&](Wnd dlg) {
    tm_test::select_combo_item(tm_test::dlg_control(dlg, cdlg::kFileType), 2);  // "Text"
    after_type = list_texts(dlg, cdlg::kFileList);
    tm_test::type_into(dlg, cdlg::kFileName, "*.KmL");
    tm_test::click_control(dlg, IDOK);
  });
  tm_test::answer_next_dialog([&](Wnd dlg) {
    still_open = true;
    after_pattern = list_texts(dlg, cdlg::kFileList);
    tm_test::click_control(dlg, IDCANCEL);
  });
  OpenFileName ofn = record(dir);
  EXPECT_FALSE(get_open_file_name(&ofn));
  EXPECT_EQ(after_type, (std::vector<std::string>{"..", "Alpha/", "zeta/", "notes.txt"}));
  EXPECT_TRUE(still_open) << "a pattern is not a file name";
  EXPECT_EQ(after_pattern, (std::vector<std::string>{"..", "Alpha/", "zeta/", "c.kml"}));
}

TEST_F(FileDialog, TheHarnessOpensOneFileWhileTheOwnerIsDisabled) {
  const std::string dir = make_tree("single");
  bool owner_disabled = false;
  tm_test::answer_next_dialog([&](Wnd) { owner_disabled = !is_window_enabled(parent_); });
  // The first answer only looks; the dialog idles again and the next answer types.
  tm_test::answer_next_open_dialog({dir + "zeta/../c.kml"});
  OpenFileName ofn = record(dir);
  ofn.filter_index = 2;
  ASSERT_TRUE(get_open_file_name(&ofn));
  EXPECT_TRUE(owner_disabled);
  EXPECT_TRUE(is_window_enabled(parent_));
  EXPECT_EQ(ofn.file, dir + "c.kml");
  EXPECT_EQ(ofn.files, std::vector<std::string>{dir + "c.kml"});
  EXPECT_EQ(ofn.folder, no_slash(dir));
  EXPECT_EQ(ofn.filter_index, 2);
}

TEST_F(FileDialog, FoldersAreEnteredByDoubleClickOrByTypingTheirName) {
  const std::string dir = make_tree("navigate");
  std::vector<std::string> labels;
  tm_test::answer_next_dialog([&](Wnd dlg) {
    labels.push_back(dlg_item_text(dlg, cdlg::kFolderLabel));
    tm_test::double_click_list_item(tm_test::dlg_control(dlg, cdlg::kFileList), 1);  // "Alpha/"
  });
  tm_test::answer_next_dialog([&](Wnd dlg) {
    labels.push_back(dlg_item_text(dlg, cdlg::kFolderLabel));
    tm_test::type_into(dlg, cdlg::kFileName, "deep");
    tm_test::click_control(dlg, IDOK);
  });
  tm_test::answer_next_dialog([&](Wnd dlg) {
    labels.push_back(dlg_item_text(dlg, cdlg::kFolderLabel));
    EXPECT_EQ(list_texts(dlg, cdlg::kFileList), (std::vector<std::string>{"..", "one.txt"}));
    tm_test::double_click_list_item(tm_test::dlg_control(dlg, cdlg::kFileList), 1);  // a file: chosen
  });
  OpenFileName ofn = record(dir);
  ASSERT_TRUE(get_open_file_name(&ofn));
  EXPECT_EQ(labels, (std::vector<std::string>{no_slash(dir), dir + "Alpha", dir + "Alpha/deep"}));
  EXPECT_EQ(ofn.file, dir + "Alpha/deep/one.txt");
}

TEST_F(FileDialog, MultipleSelectionGivesEveryChosenPath) {
  const std::string dir = make_tree("multi");
  std::string field;
  // Chosen in the list with Ctrl held: the names go into the field, quoted.
  tm_test::answer_next_dialog([&](Wnd dlg) {
    Wnd list = tm_test::dlg_control(dlg, cdlg::kFileList);
    tm_test::click_list_item(list, 3);                   // a.gpx
    tm_test::click_list_item(list, 5, tm_test::MOD_CTRL);  // c.kml
    tm_test::run_until_idle();
    field = dlg_item_text(dlg, cdlg::kFileName);
    tm_test::click_control(dlg, IDOK);
  });
  OpenFileName ofn = record(dir, OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST);
  ASSERT_TRUE(get_open_file_name(&ofn));
  EXPECT_EQ(field, "\"a.gpx\" \"c.kml\"");
  EXPECT_EQ(ofn.files, (std::vector<std::string>{dir + "a.gpx", dir + "c.kml"}));
  EXPECT_EQ(ofn.file, dir + "a.gpx");
  EXPECT_EQ(ofn.folder, no_slash(dir));

  // Typed by the harness as full paths.
  tm_test::answer_next_open_dialog({dir + "notes.txt", dir + "zeta/inner.gpx"});
  ASSERT_TRUE(get_open_file_name(&ofn));
  EXPECT_EQ(ofn.files, (std::vector<std::string>{dir + "notes.txt", dir + "zeta/inner.gpx"}));
}

TEST_F(FileDialog, NamesThatMustExistAreRefusedAndTheDialogStaysOpen) {
  const std::string dir = make_tree("exist");
  struct Case {
    std::string typed;
    uint32_t flags;
    const char* message;  // part of the warning; null: accepted
  };
  const Case cases[] = {
      {"missing.gpx", OFN_FILEMUSTEXIST, "File not found"},
      {"nowhere/missing.gpx", OFN_PATHMUSTEXIST, "Path does not exist"},
      {"missing.gpx", OFN_PATHMUSTEXIST, nullptr},
  };
  for (const Case& c : cases) {
    tm_test::clear_message_boxes();
    tm_test::answer_next_message_box(IDOK);
    tm_test::answer_next_open_dialog({c.typed});
    if (c.message) tm_test::cancel_next_dialog();
    OpenFileName ofn = record(dir, c.flags);
    const bool ok = get_open_file_name(&ofn);
    EXPECT_EQ(ok, c.message == nullptr) << c.typed;
    if (c.message) {
      ASSERT_EQ(tm_test::message_boxes().size(), 1u) << c.typed;
      EXPECT_NE(tm_test::message_boxes()[0].text.find(c.message), std::string::npos) << c.typed;
      EXPECT_TRUE(ofn.files.empty());
    } else {
      EXPECT_TRUE(tm_test::message_boxes().empty());
      EXPECT_EQ(ofn.file, dir + c.typed);
    }
  }
}

TEST_F(FileDialog, CancelLeavesTheRecordAsItWas) {
  const std::string dir = make_tree("cancel");
  for (bool save : {false, true}) {
    OpenFileName ofn = record(dir);
    ofn.file = "before.gpx";
    ofn.files = {"/earlier/one", "/earlier/two"};
    ofn.folder = "/earlier";
    ofn.filter_index = 3;
    tm_test::answer_next_dialog([](Wnd dlg) {
      tm_test::type_into(dlg, cdlg::kFileName, "a.gpx");
      tm_test::select_combo_item(tm_test::dlg_control(dlg, cdlg::kFileType), 0);
      tm_test::click_control(dlg, IDCANCEL);
    });
    EXPECT_FALSE(save ? get_save_file_name(&ofn) : get_open_file_name(&ofn));
    EXPECT_EQ(comm_dlg_extended_error(), 0u);
    EXPECT_EQ(ofn.file, "before.gpx");
    EXPECT_EQ(ofn.files, (std::vector<std::string>{"/earlier/one", "/earlier/two"}));
    EXPECT_EQ(ofn.folder, "/earlier");
    EXPECT_EQ(ofn.filter_index, 3);
  }
  // Nobody answers: the dialog is closed as Escape would.
  OpenFileName ofn = record(dir);
  EXPECT_FALSE(get_open_file_name(&ofn));
  EXPECT_TRUE(ofn.files.empty());
}

TEST_F(FileDialog, SaveAddsTheDefaultExtensionAndGivesTheFilterIndexBack) {
  const std::string dir = make_tree("save");
  struct Case {
    std::string typed;
    int filter_index;
    std::string want;
  };
  const Case cases[] = {
      {"track", 2, dir + "track.gpx"},
      {"track.kml", 3, dir + "track.kml"},
      {"zeta/route", 1, dir + "zeta/route.gpx"},
  };
  for (const Case& c : cases) {
    OpenFileName ofn = record(dir, OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST);
    ofn.def_ext = "gpx";
    tm_test::answer_next_save_dialog(c.typed, c.filter_index);
    ASSERT_TRUE(get_save_file_name(&ofn)) << c.typed;
    EXPECT_EQ(ofn.file, c.want);
    EXPECT_EQ(ofn.filter_index, c.filter_index);
  }
}

TEST_F(FileDialog, SavingOverAFileAsksFirst) {
  const std::string dir = make_tree("overwrite");
  struct Case {
    const char* typed;
    uint32_t flags;
    int answer;      // to the prompt; 0: no prompt expected
    bool accepted;
  };
  const Case cases[] = {
      {"a.gpx", OFN_OVERWRITEPROMPT, IDYES, true},
      {"a.gpx", OFN_OVERWRITEPROMPT, IDNO, false},
      {"fresh.gpx", OFN_OVERWRITEPROMPT, 0, true},
      {"a.gpx", 0, 0, true},
  };
  for (const Case& c : cases) {
    tm_test::clear_message_boxes();
    if (c.answer) tm_test::answer_next_message_box(c.answer);
    tm_test::answer_next_save_dialog(c.typed);
    if (!c.accepted) tm_test::cancel_next_dialog();
    OpenFileName ofn = record(dir, c.flags);
    EXPECT_EQ(get_save_file_name(&ofn), c.accepted) << c.typed;
    if (c.answer) {
      ASSERT_EQ(tm_test::message_boxes().size(), 1u) << c.typed;
      EXPECT_EQ(tm_test::message_boxes()[0].text, dir + "a.gpx already exists.\nDo you want to replace it?");
      EXPECT_EQ(tm_test::message_boxes()[0].flags & 0xF, MB_YESNO);
    } else {
      EXPECT_TRUE(tm_test::message_boxes().empty()) << c.typed;
    }
    if (c.accepted) {
      EXPECT_EQ(ofn.file, dir + c.typed);
    }
  }
}

}  // namespace
