// The print set-up dialog driven as a user would: the default printer preselected, the
// printer change refilling the resolutions, the clamps of the ratio and the image
// resolutions, the factors back to "1.00" at each opening, the choices kept between
// prints, the map and image variants, the full-page box; pictures in both languages;
// and command 8 through the dispatcher, the dialog answered, into one PDF page.
#include <cstring>
#include <string>
#include <vector>

#include "map/print.h"
#include "map/redraw.h"
#include "platform/print/printer.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_updown.h"
#include "platform/ui/dialog.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "shell/framework/print_dialog.h"
#include "tests/platform/print_pdf.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/test_env.h"

namespace frame_test {
namespace {

// What a run of the dialog gave back.
struct outcome {
  int ok = -1;
  printer_entry_t* printer = nullptr;
  quality_entry_t* quality = nullptr;
  double font = -1, thickness = -1;
  int hres = 0, vres = 0, full_page = 0;
};

class PrintDialog : public FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    redraw_types_register();
    folder_ = tm_test::fresh_dir("printdlg");
    // The system's default printer is the first configured: "Grey", second by name.
    plat::set_printer_config({{"Grey", folder_, 600, false}, {"Colour", folder_, 300, true}});
    print_dialog_reset();
    printer_list_load();
    printer_index_by_name(&index_);
  }
  void TearDown() override {
    free_obj(reinterpret_cast<obj_t**>(&index_));
    print_dialog_reset();
    print_set_dialog_hooks(nullptr);
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_PRINTER_ENTRY, &cursor)) {
      obj_t* e = cursor;
      cursor = nullptr;
      free_obj(&e);
    }
    plat::set_printer_config({});
    FrameFixture::TearDown();
  }
  printer_entry_t* at(int pos) {
    printer_entry_t* e = nullptr;
    obj_list_get(index_, pos, &e);
    return e;
  }
  // Runs the dialog (a map print, or an image print when image is set); `act` plays
  // the user.
  outcome run(std::function<void(plat::Wnd)> act, bool image = false, bool full_option = false,
              int hres = 0, int vres = 0, int full_page = 0) {
    outcome o;
    o.hres = hres;
    o.vres = vres;
    o.full_page = full_page;
    tm_test::answer_next_dialog(std::move(act));
    o.ok = print_setup_dialog(nullptr, index_, &o.printer, &o.quality, &o.font, &o.thickness,
                              image ? &o.hres : nullptr, image ? &o.vres : nullptr,
                              full_option ? &o.full_page : nullptr);
    return o;
  }
  static std::string selected(plat::Wnd dlg, int id) {
    char text[64] = "";
    combo_selected_text(plat::get_dlg_item(dlg, id), text, sizeof text);
    return text;
  }
  static int count(plat::Wnd dlg, int id) {
    return int(plat::send_dlg_item_message(dlg, id, plat::CB_GETCOUNT, 0, 0));
  }
  static bool visible(plat::Wnd dlg, int id) { return plat::is_window_visible(plat::get_dlg_item(dlg, id)); }
  // Chooses the printer at a position as the list would.
  static void choose_printer(plat::Wnd dlg, int pos) {
    plat::send_dlg_item_message(dlg, IDC_PRINT_PRINTER, plat::CB_SETCURSEL, plat::WParam(pos), 0);
    plat::send_message(dlg, plat::WM_COMMAND,
                       plat::WParam(IDC_PRINT_PRINTER | (plat::CBN_SELCHANGE << 16)),
                       reinterpret_cast<plat::LParam>(plat::get_dlg_item(dlg, IDC_PRINT_PRINTER)));
  }

  static int windows_alive() {
    int n = 0;
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_MAPWIN, &cursor)) ++n;
    return n;
  }

  std::string folder_;
  container_t* index_ = nullptr;
};

TEST_F(PrintDialog, OpensOnTheDefaultPrinterAndConfirmsItsSettings) {
  ASSERT_EQ(obj_list_count(index_), 2);
  std::string printer, resolution, font, thickness;
  bool grey = false, factors_shown = false, image_shown = true, full_shown = true;
  outcome o = run([&](plat::Wnd dlg) {
    printer = selected(dlg, IDC_PRINT_PRINTER);
    resolution = selected(dlg, IDC_PRINT_RESOLUTION);
    font = plat::dlg_item_text(dlg, IDC_PRINT_FONT);
    thickness = plat::dlg_item_text(dlg, IDC_PRINT_THICK);
    grey = plat::is_dlg_button_checked(dlg, IDC_PRINT_GREY) != 0;
    factors_shown = visible(dlg, IDC_PRINT_FONT) && visible(dlg, IDC_PRINT_THICK);
    image_shown = visible(dlg, IDC_PRINT_IMG_H) || visible(dlg, IDC_PRINT_IMG_LABEL);
    full_shown = visible(dlg, IDC_PRINT_FULL_PAGE);
    tm_test::click_control(dlg, IDC_PRINT_OK);
  });
  EXPECT_EQ(printer, "Grey");
  EXPECT_EQ(resolution, " 600");
  EXPECT_EQ(font, "1.00");
  EXPECT_EQ(thickness, "1.00");
  EXPECT_TRUE(grey);
  EXPECT_TRUE(factors_shown);
  EXPECT_FALSE(image_shown);
  EXPECT_FALSE(full_shown);
  ASSERT_EQ(o.ok, 1);
  EXPECT_EQ(o.printer, at(1));
  ASSERT_NE(o.quality, nullptr);
  EXPECT_EQ(o.quality->value, 600);
  EXPECT_EQ(o.font, 1.0);
  EXPECT_EQ(o.thickness, 1.0);
  EXPECT_EQ(at(1)->page_depth, 8);
  EXPECT_EQ(at(1)->ratio, 100);
}

TEST_F(PrintDialog, ProfileDeviceValuePreselects) {
  const struct {
    const char* device;
    int pos;
  } cases[] = {{"Grey,pdf,file:", 1}, {"Grey", 1}, {"Colour,x,y", 0}, {"Nobody,x,y", 0},
               {"", 0},  {"NONETARMELO", 0}, {nullptr, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(default_printer_position_of(index_, c.device), c.pos) << (c.device ? c.device : "null");
  EXPECT_EQ(default_printer_position(index_), 1);
}

// The ratio and the factors typed, the printer changed: what OK stores; the choice of
// printer and factors is kept, the fields open at "1.00" again.
TEST_F(PrintDialog, PrinterChangeRatioClampsAndChoicesKept) {
  const struct {
    const char* typed;
    int stored;
  } ratios[] = {{"0", 1}, {"1", 1}, {"2", 2}, {"55", 55}, {"250", 100}};
  for (const auto& r : ratios) {
    SCOPED_TRACE(r.typed);
    int resolutions_before = 0, resolutions_after = 0;
    std::string resolution_after;
    outcome o = run([&](plat::Wnd dlg) {
      resolutions_before = count(dlg, IDC_PRINT_RESOLUTION);
      choose_printer(dlg, 0);  // "Colour"
      resolutions_after = count(dlg, IDC_PRINT_RESOLUTION);
      resolution_after = selected(dlg, IDC_PRINT_RESOLUTION);
      tm_test::type_into(dlg, IDC_PRINT_RATIO, r.typed);
      tm_test::type_into(dlg, IDC_PRINT_FONT, "1.5");
      tm_test::type_into(dlg, IDC_PRINT_THICK, "2.25");
      tm_test::click_control(dlg, IDC_PRINT_GREY);  // colour printer: now grey levels
      tm_test::click_control(dlg, IDC_PRINT_OK);
    });
    ASSERT_EQ(o.ok, 1);
    EXPECT_EQ(o.printer, at(0));
    EXPECT_GT(resolutions_before, resolutions_after);  // 600 dpi offers more than 300
    EXPECT_EQ(resolution_after, " 300");
    EXPECT_EQ(at(0)->ratio, r.stored);
    EXPECT_EQ(at(0)->page_depth, 8);
    EXPECT_EQ(o.font, 1.5);
    EXPECT_EQ(o.thickness, 2.25);
    // The next opening: the same printer, its ratio, the factors at "1.00" again.
    std::string printer, ratio, font;
    outcome again = run([&](plat::Wnd dlg) {
      printer = selected(dlg, IDC_PRINT_PRINTER);
      ratio = plat::dlg_item_text(dlg, IDC_PRINT_RATIO);
      font = plat::dlg_item_text(dlg, IDC_PRINT_FONT);
      tm_test::click_control(dlg, IDC_PRINT_GREY);
      tm_test::click_control(dlg, IDC_PRINT_OK);
    });
    EXPECT_EQ(printer, "Colour");
    EXPECT_EQ(ratio, std::to_string(r.stored));
    EXPECT_EQ(font, "1.00");
    EXPECT_EQ(again.font, 1.0);
    EXPECT_EQ(at(0)->page_depth, 32);
    print_dialog_reset();
  }
}

TEST_F(PrintDialog, CancelChangesNothing) {
  at(1)->ratio = 70;
  outcome o = run([](plat::Wnd dlg) {
    tm_test::type_into(dlg, IDC_PRINT_RATIO, "20");
    tm_test::click_control(dlg, IDC_PRINT_CANCEL);
  });
  EXPECT_EQ(o.ok, 0);
  EXPECT_EQ(o.printer, nullptr);
  EXPECT_EQ(at(1)->ratio, 70);
  o = run([](plat::Wnd) { tm_test::press_escape(); });
  EXPECT_EQ(o.ok, 0);
}

// The up-down control's position is written into the ratio field.
TEST_F(PrintDialog, UpDownWritesTheRatio) {
  std::string ratio;
  run([&](plat::Wnd dlg) {
    plat::Wnd ud = plat::get_dlg_item(dlg, IDC_PRINT_UPDOWN);
    plat::send_message(ud, plat::UDM_SETPOS, 0, 42);
    plat::send_message(dlg, plat::WM_VSCROLL, 4, reinterpret_cast<plat::LParam>(ud));
    ratio = plat::dlg_item_text(dlg, IDC_PRINT_RATIO);
    tm_test::click_control(dlg, IDC_PRINT_OK);
  });
  EXPECT_EQ(ratio, "42");
  EXPECT_EQ(at(1)->ratio, 42);
}

// An image print: the resolutions shown and clamped, the factors hidden; the full-page
// box disables the resolutions.
TEST_F(PrintDialog, ImagePrintResolutionsAndFullPage) {
  bool image_shown = false, factors_shown = true, full_shown = false, enabled_after = true;
  std::string h;
  outcome o = run(
      [&](plat::Wnd dlg) {
        image_shown = visible(dlg, IDC_PRINT_IMG_H) && visible(dlg, IDC_PRINT_IMG_V) &&
                      visible(dlg, IDC_PRINT_PPI);
        factors_shown = visible(dlg, IDC_PRINT_FONT) || visible(dlg, IDC_PRINT_THICK_LABEL);
        full_shown = visible(dlg, IDC_PRINT_FULL_PAGE);
        h = plat::dlg_item_text(dlg, IDC_PRINT_IMG_H);
        tm_test::type_into(dlg, IDC_PRINT_IMG_H, "12000");
        tm_test::type_into(dlg, IDC_PRINT_IMG_V, "0");
        plat::check_dlg_button(dlg, IDC_PRINT_FULL_PAGE, plat::BST_CHECKED);
        plat::send_message(dlg, plat::WM_COMMAND, plat::WParam(IDC_PRINT_FULL_PAGE),
                           reinterpret_cast<plat::LParam>(plat::get_dlg_item(dlg, IDC_PRINT_FULL_PAGE)));
        enabled_after = plat::is_window_enabled(plat::get_dlg_item(dlg, IDC_PRINT_IMG_H));
        tm_test::click_control(dlg, IDC_PRINT_OK);
      },
      true, true, 150, 150, 0);
  EXPECT_TRUE(image_shown);
  EXPECT_FALSE(factors_shown);
  EXPECT_TRUE(full_shown);
  EXPECT_EQ(h, "150");
  EXPECT_FALSE(enabled_after);
  ASSERT_EQ(o.ok, 1);
  EXPECT_EQ(o.hres, 9999);
  EXPECT_EQ(o.vres, 0);
  EXPECT_EQ(o.full_page, 1);
}

// A printer whose current resolution is not among its own preselects the last one; a
// printer without any resolution gives none (the caller keeps the printer's own).
TEST_F(PrintDialog, ResolutionNotListedOrNone) {
  at(1)->quality = 1234;
  std::string resolution;
  int last = 0;
  outcome o = run([&](plat::Wnd dlg) {
    resolution = selected(dlg, IDC_PRINT_RESOLUTION);
    last = count(dlg, IDC_PRINT_RESOLUTION) - 1;
    plat::send_dlg_item_message(dlg, IDC_PRINT_RESOLUTION, plat::CB_SETCURSEL, plat::WParam(last), 0);
    tm_test::click_control(dlg, IDC_PRINT_OK);
  });
  ASSERT_EQ(o.ok, 1);
  ASSERT_NE(o.quality, nullptr);
  std::string last_name = o.quality->name;
  EXPECT_EQ(resolution, last_name);
  // No resolutions at all.
  container_t* qs = nullptr;
  printer_qualities(at(1), &qs);
  obj_list_free_elements(qs);
  free_obj(reinterpret_cast<obj_t**>(&qs));
  o = run([](plat::Wnd dlg) { tm_test::click_control(dlg, IDC_PRINT_OK); });
  ASSERT_EQ(o.ok, 1);
  EXPECT_EQ(o.printer, at(1));
  EXPECT_EQ(o.quality, nullptr);
}

TEST_F(PrintDialog, NoPrinterOpensNothing) {
  container_t* empty = nullptr;
  obj_list_new(&empty);
  outcome o;
  tm_test::answer_next_dialog([](plat::Wnd dlg) { tm_test::click_control(dlg, IDC_PRINT_OK); });
  EXPECT_EQ(print_setup_dialog(nullptr, empty, &o.printer, &o.quality, &o.font, &o.thickness,
                               nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(o.printer, nullptr);
  free_obj(reinterpret_cast<obj_t**>(&empty));
}

TEST_F(PrintDialog, PictureEnglish) {
  const std::string path = folder_ + "/print_en.png";
  std::string title;
  run([&](plat::Wnd dlg) {
    char buf[64] = "";
    plat::get_window_text(dlg, buf, sizeof buf);
    title = buf;
    EXPECT_TRUE(tm_test::dialog_picture(dlg, path));
    EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
    tm_test::click_control(dlg, IDC_PRINT_CANCEL);
  });
  EXPECT_EQ(title, "Print");
}

class PrintDialogFr : public PrintDialog {
 protected:
  void SetUp() override { SetUpIn("FRANCAIS"); }
};

TEST_F(PrintDialogFr, PictureFrench) {
  const std::string path = folder_ + "/print_fr.png";
  std::string title, orientation, cancel;
  run(
      [&](plat::Wnd dlg) {
        char buf[64] = "";
    plat::get_window_text(dlg, buf, sizeof buf);
    title = buf;
        orientation = selected(dlg, IDC_PRINT_ORIENT);
        cancel = plat::dlg_item_text(dlg, IDC_PRINT_CANCEL);
        EXPECT_TRUE(tm_test::dialog_picture(dlg, path));
        EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
        tm_test::click_control(dlg, IDC_PRINT_CANCEL);
      },
      true, true, 300, 300, 0);
  EXPECT_EQ(title, "Impression");
  EXPECT_EQ(orientation, "Automatique");
  EXPECT_EQ(cancel, "Annuler");
}

// Command 8 as the program runs it: a worker task asks for the dialog on the
// user-interface thread and, on OK, makes the printer page window, which the redraw
// pass that follows draws and frees. The frame's graph space holds no object, so the
// page gets nothing drawn and leaves no file (what is drawn is checked in test_map).
TEST_F(PrintDialog, CommandEightRunsTheDialogOnTheUserInterfaceThread) {
  show_data_in_the_middle();
  install_print_routines();
  get_dispatcher_hooks().redraw_run = redraw_run;
  redraw_interrupt(0);  // no resize under way: the pass draws at once
  const int alive = windows_alive();
  bool on_ui = false;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    on_ui = plat::on_ui_thread();
    choose_printer(dlg, 0);  // the 300 dpi colour printer
    tm_test::click_control(dlg, IDC_PRINT_OK);
  });
  post_command(8, 0, (std::to_string(map_object_->id) + " 0").c_str());
  for (int i = 0; i < 100 && (tm_test::run_until_idle(), task_running_slot() != 0); ++i) {}
  EXPECT_TRUE(on_ui);
  EXPECT_EQ(task_running_slot(), 0);
  EXPECT_EQ(windows_alive(), alive);
  EXPECT_EQ(get_current_mapwin(), map_object_);
  // Cancelled: nothing.
  tm_test::answer_next_dialog([](plat::Wnd dlg) { tm_test::click_control(dlg, IDC_PRINT_CANCEL); });
  post_command(8, 0, (std::to_string(map_object_->id) + " 0").c_str());
  for (int i = 0; i < 100 && (tm_test::run_until_idle(), task_running_slot() != 0); ++i) {}
  EXPECT_EQ(task_running_slot(), 0);
  EXPECT_EQ(windows_alive(), alive);
}

}  // namespace
}  // namespace frame_test
