// Printing from the map program as a user does, headless: a picture loaded, Ctrl+P's
// command 8, the set-up dialog answered. On a queue of a real CUPS scheduler run for the
// test, the job reaches the queue's file device as a PDF whose page shows the picture;
// on a queue that refuses jobs, the print-error box gives the server's reason; the dialog
// lists the server's default destination first; on the file printer, the status text
// gives the file's full path in the documents folder.
#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "core/memory.h"
#include "map/mapwin.h"
#include "platform/gdi/surface.h"
#include "platform/print/printer.h"
#include "platform/sys/sysinfo.h"
#include "platform/ui/ctl_combo.h"
#include "shell/framework/print_dialog.h"
#include "tests/platform/print_pdf.h"
#include "tests/shell/print_answer.h"
#include "tests/shell/load_fixture.h"
#include "tests/support/cups_server.h"
#include "tests/support/run_tool.h"

namespace frame_test {
namespace {

constexpr uint32_t kPicture = 0xFF3366CCu;  // red 0x33, green 0x66, blue 0xCC

class PrintSystem : public LoadFixture {
 protected:
  void SetUp() override {
    LoadFixture::SetUp();
    if (HasFatalFailure()) return;
    redraw_types_register();
    print_dialog_reset();
    install_print_routines();
    get_dispatcher_hooks().redraw_run = redraw_run;
    redraw_interrupt(0);
  }
  void TearDown() override {
    print_dialog_reset();
    print_set_dialog_hooks(nullptr);
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_PRINTER_ENTRY, &cursor)) {
      obj_t* e = cursor;
      cursor = nullptr;
      free_obj(&e);
    }
    plat::set_printer_config({});
    LoadFixture::TearDown();
    server_.stop();
  }

  // Starts the scheduler with its two queues; false (the test skipped) without cupsd.
  bool start_server() {
    std::string why;
    if (!server_.start(&why)) {
      skip_reason_ = "no private CUPS scheduler: " + why;
      return false;
    }
    EXPECT_TRUE(server_.add_queue("test", "test.pdf", true, &why)) << why;
    EXPECT_TRUE(server_.add_queue("off", "off.pdf", false, &why)) << why;
    plat::reset_printer_list();
    return true;
  }

  void show_picture() {
    const std::string path = tm_test::fresh_dir("print_png") + "plain.png";
    ASSERT_EQ(plat::write_png(plat::Surface(40, 30, kPicture), path.c_str()), 0);
    open_file(path.c_str());
    settle();
    const std::vector<std::string> shown = layer_files();
    ASSERT_NE(std::find(shown.begin(), shown.end(), path), shown.end());
  }

  // Ctrl+P's command on the map window, the dialog answered with the printer of that
  // name; the task and the page's pass run to their end.
  void print_on(const std::string& printer, bool* listed) {
    *listed = false;
    run_print_command([&](plat::Wnd dlg) {
      *listed = tm_test::choose_print_printer(dlg, printer);
      tm_test::click_control(dlg, *listed ? IDC_PRINT_OK : IDC_PRINT_CANCEL);
    });
  }

  // Ctrl+P's command on the map window with `act` playing the user in the dialog; the
  // task and the page's pass run to their end.
  void run_print_command(std::function<void(plat::Wnd)> act) {
    tm_test::answer_next_dialog(std::move(act));
    tm_test::clear_message_boxes();
    post_command(8, 0, (std::to_string(map_object_->id) + " 0").c_str());
    for (int i = 0; i < 100 && (tm_test::run_until_idle(), task_running_slot() != 0); ++i) {}
    tm_test::run_until_idle();
  }

  static std::string status_text() {
    char* text = nullptr;
    main_get_title_text(nullptr, &text);
    std::string s = text ? text : "";
    free_mem(&text);
    return s;
  }

  tm_test::CupsServer server_;
  std::string skip_reason_;
};

TEST_F(PrintSystem, TheMapReachesTheSystemPrintersDevice) {
  if (!start_server()) GTEST_SKIP() << skip_reason_;
  if (!tm_test::tool_present("pdftoppm")) GTEST_SKIP() << "no pdftoppm (poppler-utils)";
  ASSERT_NO_FATAL_FAILURE(show_picture());
  bool listed = false;
  print_on("test", &listed);
  ASSERT_TRUE(listed);
  EXPECT_THAT(tm_test::message_boxes(), ::testing::IsEmpty());
  EXPECT_THAT(status_text(), ::testing::HasSubstr("Sent to printer test (job "));
  const std::string file = server_.wait_for_device_file("test.pdf");
  ASSERT_FALSE(file.empty()) << "the job did not reach the device: " << server_.log_tail();
  const print_test::Raster r = print_test::render_page(file, 1, 30, tm_test::fresh_dir("print_page") + "page");
  ASSERT_GT(r.width, 0);
  long picture = 0;
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) {
      const auto c = r.at(x, y);
      picture += std::abs(c[0] - 0x33) + std::abs(c[1] - 0x66) + std::abs(c[2] - 0xCC) < 40;
    }
  // The picture fills the width of the page at least.
  EXPECT_GT(picture, long(r.width) * r.height / 5) << "pixels of the picture's colour: " << picture;
}

TEST_F(PrintSystem, ARefusedJobShowsThePrintErrorBoxWithTheServersReason) {
  if (!start_server()) GTEST_SKIP() << skip_reason_;
  ASSERT_NO_FATAL_FAILURE(show_picture());
  bool listed = false;
  print_on("off", &listed);
  ASSERT_TRUE(listed);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "Print error");
  EXPECT_THAT(tm_test::message_boxes()[0].text, ::testing::StartsWith("The document could not be printed."));
  EXPECT_THAT(tm_test::message_boxes()[0].text, ::testing::HasSubstr("not accepting jobs"));
  EXPECT_THAT(status_text(), ::testing::Not(::testing::HasSubstr("Sent to printer")));
}

// The print server's default destination comes first in the dialog's list and is
// preselected, though another sorts before it; the other destinations follow by name,
// then the file printer.
TEST_F(PrintSystem, TheServersDefaultComesFirstAndIsPreselected) {
  std::string why;
  if (!server_.start(&why)) GTEST_SKIP() << "no private CUPS scheduler: " << why;
  for (const std::string name : {"Archive", "Office", "Spare"})
    ASSERT_TRUE(server_.add_queue(name, name + ".pdf", true, &why)) << why;
  ASSERT_TRUE(server_.set_default("Office"));
  plat::reset_printer_list();
  ASSERT_NO_FATAL_FAILURE(show_picture());
  std::string preselected;
  std::vector<std::string> listed;
  run_print_command([&](plat::Wnd dlg) {
    plat::Wnd list = plat::get_dlg_item(dlg, IDC_PRINT_PRINTER);
    char text[128] = "";
    combo_selected_text(list, text, sizeof text);
    preselected = text;
    const int n = int(plat::send_message(list, plat::CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      plat::send_message(list, plat::CB_SETCURSEL, plat::WParam(i), 0);
      combo_selected_text(list, text, sizeof text);
      listed.push_back(text);
    }
    tm_test::click_control(dlg, IDC_PRINT_CANCEL);
  });
  EXPECT_EQ(listed, (std::vector<std::string>{"Office", "Archive", "Spare", "PDF"}));
  EXPECT_EQ(preselected, "Office");
  EXPECT_THAT(tm_test::message_boxes(), ::testing::IsEmpty());
}

// The file printer: the full path of the file in the status text, the file in the
// documents folder (the home folder here, which has no Documents folder).
TEST_F(PrintSystem, TheFilePrinterSaysWhereTheFileWent) {
  const std::string folder = plat::documents_dir();
  ASSERT_FALSE(folder.empty());
  ASSERT_NO_FATAL_FAILURE(show_picture());
  bool listed = false;
  print_on("PDF", &listed);
  ASSERT_TRUE(listed);
  EXPECT_THAT(tm_test::message_boxes(), ::testing::IsEmpty());
  const std::string status = status_text();
  const size_t at = status.find("Printed to ");
  ASSERT_NE(at, std::string::npos) << status;
  const std::string path = status.substr(at + 11);
  EXPECT_EQ(path.rfind(folder, 0), 0u) << path;
  EXPECT_TRUE(std::filesystem::exists(path)) << path;
  EXPECT_EQ(print_test::pdfinfo(path)["Pages"], "1");
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace frame_test
