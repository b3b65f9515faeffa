// The "EXPORT" dialog driven as a user would: each opening starts from the process's
// current directory and the kind's first format, the format list and title of each kind,
// the folder chooser over the folder field, what goes back to the caller after OK (an
// emptied folder leaving the current directory) and after Cancel, folders longer than
// 255 characters kept whole, no frame window; pictures and layout in both languages.
#include <filesystem>
#include <string>
#include <system_error>

#include "core/memory.h"
#include "platform/ui/common_dlg.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/dialog.h"
#include "shell/framework/winutil.h"
#include "shell/preference_dialogs.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness_common.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/test_env.h"

namespace frame_test {
namespace {

// What one run gave back.
struct outcome {
  int ok = -1;
  int format = -1;
  std::string folder, extension;
};

// Runs the dialog for the kind with the caller's strings holding "old"; `act` plays
// the user.
outcome run(int kind, std::function<void(plat::Wnd)> act) {
  tm_test::answer_next_dialog(std::move(act));
  char* folder = nullptr;
  char* extension = nullptr;
  str_set("old folder", &folder);
  str_set("old", &extension);
  outcome o;
  o.ok = export_dialog(kind, &o.format, &folder, &extension);
  o.folder = folder ? folder : "<null>";
  o.extension = extension ? extension : "<null>";
  free_mem(&folder);
  free_mem(&extension);
  return o;
}

class ExportDialog : public FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    std::error_code ec;
    saved_cwd_ = std::filesystem::current_path(ec);
    cwd_ = without_slash(tm_test::fresh_dir("exportcwd"));
    std::filesystem::current_path(cwd_);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::current_path(saved_cwd_, ec);
    FrameFixture::TearDown();
  }
  static std::string without_slash(std::string dir) {
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
  }
  static void choose_format(plat::Wnd dlg, int pos) {
    plat::send_dlg_item_message(dlg, IDC_EXPORT_TYPE, plat::CB_SETCURSEL, plat::WParam(pos), 0);
    plat::send_message(dlg, plat::WM_COMMAND, plat::WParam(IDC_EXPORT_TYPE | (plat::CBN_SELCHANGE << 16)),
                       reinterpret_cast<plat::LParam>(plat::get_dlg_item(dlg, IDC_EXPORT_TYPE)));
  }
  static std::string entry(plat::Wnd dlg, int pos) {
    plat::Wnd list = plat::get_dlg_item(dlg, IDC_EXPORT_TYPE);
    const int n = int(plat::send_message(list, plat::CB_GETLBTEXTLEN, plat::WParam(pos), 0));
    if (n < 0) return "<none>";
    std::u16string text(size_t(n) + 1, u'\0');
    plat::send_message(list, plat::CB_GETLBTEXT, plat::WParam(pos), reinterpret_cast<plat::LParam>(text.data()));
    text.resize(size_t(n));
    return std::string(text.begin(), text.end());  // the entries are ASCII
  }

  std::filesystem::path saved_cwd_;
  std::string cwd_;
};

// Each kind, opened twice: the first run chooses the second format and another folder
// and confirms; the second opens again on the current directory and the first format,
// and its Cancel still gives back the folder and the format it shows.
TEST_F(ExportDialog, EachOpeningStartsFromTheCurrentDirectoryAndTheFirstFormat) {
  const struct {
    int kind;
    const char* title;
    const char* entries[2];
    int codes[2];
    const char* extensions[2];
  } cases[] = {
      {3, "Graphic data export",
       {"Format MIF (Mapinfo Interchange File) (*.mif)", "Format KML (Google Earth) (*.kml)"}, {27, 38}, {"mif", "kml"}},
      {4, "GPS data export", {"Format GPX (*.gpx)", "Format NMEA (*.nmea)"}, {30, 39}, {"gpx", "nmea"}},
      {0, "GPS data export", {"Format GPX (*.gpx)", "Format NMEA (*.nmea)"}, {30, 39}, {"gpx", "nmea"}},
  };
  const std::string elsewhere = without_slash(tm_test::fresh_dir("exportelse"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    for (int round = 0; round < 2; ++round) {
      std::string title, shown, first, second;
      int selected = -1, count = -1;
      outcome o = run(c.kind, [&](plat::Wnd dlg) {
        title = plat::window_text(dlg);
        shown = plat::dlg_item_text(dlg, IDC_EXPORT_FOLDER);
        selected = int(plat::send_dlg_item_message(dlg, IDC_EXPORT_TYPE, plat::CB_GETCURSEL, 0, 0));
        count = int(plat::send_dlg_item_message(dlg, IDC_EXPORT_TYPE, plat::CB_GETCOUNT, 0, 0));
        first = entry(dlg, 0);
        second = entry(dlg, 1);
        if (round == 0) {
          choose_format(dlg, 1);
          tm_test::type_into(dlg, IDC_EXPORT_FOLDER, elsewhere.c_str());
          tm_test::click_control(dlg, IDC_EXPORT_OK);
        } else {
          tm_test::click_control(dlg, IDC_EXPORT_CANCEL);
        }
      });
      EXPECT_EQ(title, c.title);
      EXPECT_EQ(shown, cwd_);
      EXPECT_EQ(selected, 0);
      EXPECT_EQ(count, 2);
      EXPECT_EQ(first, c.entries[0]);
      EXPECT_EQ(second, c.entries[1]);
      EXPECT_EQ(o.ok, round == 0 ? 1 : 0);
      EXPECT_EQ(o.folder, round == 0 ? elsewhere : cwd_);
      EXPECT_EQ(o.format, c.codes[round == 0 ? 1 : 0]);
      EXPECT_EQ(o.extension, c.extensions[round == 0 ? 1 : 0]);
    }
  }
}

// The caller's folder holds the current directory unless OK confirms a non-empty
// folder; the format chosen goes back either way.
TEST_F(ExportDialog, WhatGoesBackAfterOkAndCancel) {
  const std::string typed = without_slash(tm_test::fresh_dir("exporttyped"));
  const struct {
    const char* name;
    bool empty_the_field;
    int format_pos;
    int end_id;
    int want_ok;
    bool want_typed;
  } cases[] = {
      {"emptied, OK", true, 0, IDC_EXPORT_OK, 1, false},
      {"emptied, second format, OK", true, 1, IDC_EXPORT_OK, 1, false},
      {"typed, Cancel", false, 1, IDC_EXPORT_CANCEL, 0, false},
      {"typed, Escape", false, 0, plat::IDCANCEL, 0, false},
      {"typed, OK", false, 0, IDC_EXPORT_OK, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    outcome o = run(kExportGraphics, [&](plat::Wnd dlg) {
      if (c.empty_the_field)
        plat::set_dlg_item_text(dlg, IDC_EXPORT_FOLDER, "");
      else
        tm_test::type_into(dlg, IDC_EXPORT_FOLDER, typed.c_str());
      choose_format(dlg, c.format_pos);
      if (c.end_id == plat::IDCANCEL)
        tm_test::press_escape();
      else
        tm_test::click_control(dlg, c.end_id);
    });
    EXPECT_EQ(o.ok, c.want_ok);
    EXPECT_EQ(o.folder, c.want_typed ? typed : cwd_);
    EXPECT_EQ(o.format, c.format_pos == 0 ? 27 : 38);
    EXPECT_EQ(o.extension, c.format_pos == 0 ? "mif" : "kml");
  }
}

// "..." opens the folder chooser on the folder shown, with its title; a choice replaces
// the field, a cancelled chooser leaves it.
TEST_F(ExportDialog, FolderChooserFillsTheField) {
  const std::string chosen = without_slash(tm_test::fresh_dir("exportchosen"));
  std::string chooser_title, chooser_start, after_choice, after_cancel;
  outcome o = run(4, [&](plat::Wnd dlg) {
    tm_test::answer_next_dialog([&](plat::Wnd chooser) {
      chooser_title = plat::dlg_item_text(chooser, plat::cdlg::kFolderTitle);
      chooser_start = plat::dlg_item_text(chooser, plat::cdlg::kFolderPath);
      tm_test::type_into(chooser, plat::cdlg::kFolderPath, chosen.c_str());
      tm_test::click_control(chooser, plat::IDOK);
    });
    tm_test::answer_next_dialog([&](plat::Wnd same) {
      after_choice = plat::dlg_item_text(same, IDC_EXPORT_FOLDER);
      tm_test::cancel_next_dialog();
      tm_test::answer_next_dialog([&](plat::Wnd again) {
        after_cancel = plat::dlg_item_text(again, IDC_EXPORT_FOLDER);
        tm_test::click_control(again, IDC_EXPORT_OK);
      });
      tm_test::click_control(same, IDC_EXPORT_BROWSE);
    });
    tm_test::click_control(dlg, IDC_EXPORT_BROWSE);
  });
  EXPECT_EQ(chooser_title, "Repertoire de sauvegarde");
  EXPECT_EQ(chooser_start, cwd_);
  EXPECT_EQ(after_choice, chosen);
  EXPECT_EQ(after_cancel, chosen);
  EXPECT_EQ(o.ok, 1);
  EXPECT_EQ(o.folder, chosen);
  EXPECT_EQ(o.extension, "gpx");
}

// Folders longer than 255 characters, as the current directory and as typed, come back
// whole.
TEST_F(ExportDialog, LongFoldersSurviveWhole) {
  std::string deep = cwd_;
  for (int i = 0; i < 6; ++i) deep += "/" + std::string(100, char('a' + i));
  std::filesystem::create_directories(deep);
  std::filesystem::current_path(deep);
  ASSERT_GT(deep.size(), 600u);
  const std::string typed = deep + "/" + std::string(200, 'z');
  const struct {
    const char* typed;  // null: the field left as it opened
    std::string want;
  } cases[] = {{nullptr, deep}, {typed.c_str(), typed}};
  for (const auto& c : cases) {
    std::string shown;
    outcome o = run(3, [&](plat::Wnd dlg) {
      shown = plat::dlg_item_text(dlg, IDC_EXPORT_FOLDER);
      if (c.typed) tm_test::type_into(dlg, IDC_EXPORT_FOLDER, c.typed);
      tm_test::click_control(dlg, IDC_EXPORT_OK);
    });
    EXPECT_EQ(shown, deep);
    EXPECT_EQ(o.ok, 1);
    EXPECT_EQ(o.folder, c.want);
  }
}

// Before start-up has built the frame window nothing is run and nothing goes back.
class ExportDialogNoFrame : public tm_test::ConfigFixture {
 protected:
  void SetUp() override {
    ConfigFixture::SetUp();
    session_ = std::make_unique<tm_test::UiSession>();
  }
  void TearDown() override {
    session_.reset();
    ConfigFixture::TearDown();
  }
  std::unique_ptr<tm_test::UiSession> session_;
};

TEST_F(ExportDialogNoFrame, NothingRunsWithoutTheFrameWindow) {
  ASSERT_EQ(main_frame_window(), nullptr);
  bool opened = false;
  outcome o = run(3, [&](plat::Wnd dlg) {
    opened = true;
    tm_test::click_control(dlg, IDC_EXPORT_OK);
  });
  EXPECT_FALSE(opened);
  EXPECT_EQ(o.ok, 0);
  EXPECT_EQ(o.folder, "old folder");
  EXPECT_EQ(o.extension, "old");
  EXPECT_EQ(o.format, -1);
}

TEST_F(ExportDialog, PictureEnglish) {
  const std::string path = tm_test::fresh_dir("exportdlg") + "export_en.png";
  std::string label, cancel;
  run(4, [&](plat::Wnd dlg) {
    label = plat::dlg_item_text(dlg, IDC_EXPORT_FOLDER_LABEL);
    cancel = plat::dlg_item_text(dlg, IDC_EXPORT_CANCEL);
    EXPECT_TRUE(tm_test::dialog_picture(dlg, path));
    EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
    tm_test::click_control(dlg, IDC_EXPORT_CANCEL);
  });
  EXPECT_EQ(label, "Directory");
  EXPECT_EQ(cancel, "Cancel");
}

class ExportDialogFr : public ExportDialog {
 protected:
  void SetUp() override { SetUpIn("FRANCAIS"); }
};

TEST_F(ExportDialogFr, PicturesFrench) {
  const struct {
    int kind;
    const char* title;
    const char* file;
  } cases[] = {{3, "Export des graphiques", "export_graphics_fr.png"},
               {4, "Export des donn\xC3\xA9" "es GPS", "export_gps_fr.png"}};
  const std::string dir = tm_test::fresh_dir("exportdlg");
  for (const auto& c : cases) {
    std::string title, label, cancel;
    run(c.kind, [&](plat::Wnd dlg) {
      title = plat::window_text(dlg);
      label = plat::dlg_item_text(dlg, IDC_EXPORT_FOLDER_LABEL);
      cancel = plat::dlg_item_text(dlg, IDC_EXPORT_CANCEL);
      EXPECT_TRUE(tm_test::dialog_picture(dlg, dir + c.file));
      EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
      tm_test::click_control(dlg, IDC_EXPORT_CANCEL);
    });
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(label, "R\xC3\xA9pertoire");
    EXPECT_EQ(cancel, "Annuler");
  }
}

}  // namespace
}  // namespace frame_test
