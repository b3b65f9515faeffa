// Test support of the viewer's shell: the browsing environment (sb_browse_fixture.h)
// with the viewer's own windows in place of the plain frame: the main window with its
// toolbar and path field, the document window showing the shown document, the redraw
// pass and printing wired as the program wires them, and the program's command table.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "map/mapwin.h"
#include "map/print.h"
#include "map/view_records.h"
#include "platform/gdi/surface.h"
#include "raster/image_load_internal.h"
#include "platform/ui/controls.h"
#include "platform/ui/paint.h"
#include "shell/framework/table_window.h"
#include "shell/framework/winutil.h"
#include "sorbinel/sb_shell.h"
#include "tests/sorbinel/sb_browse_fixture.h"

namespace sb_test {

class ShellTest : public BrowseTest {
 protected:
  void SetUp() override {
    BrowseTest::SetUp();
    plat::destroy_window(frame_);
    frame_ = nullptr;
    graphspace_free(&sb().document);
    redraw_types_register();  // the printer entries
    set_run_command(sb_run_command);
    sb_install_window_routines();
    plat::register_controls();
    create_ui_font();
    register_edit_class("fdocument");
    register_table_class();
    ASSERT_NE(sb_create_main_window(kWidth, kHeight), nullptr);
    ASSERT_EQ(sb_create_toolbar(), 1);
    ASSERT_EQ(sb_create_document_window(), 1);
    set_command_target(sb().frame, sb().main);
    sb_document_clear();
    sb_resize_children();
    set_gblerr(0);
    settle();
  }
  // Runs until no task is left, the redraw pass included (it sleeps on the virtual
  // clock while it gives way).
  static void drain() {
    for (int i = 0; i < 200; ++i) {
      tm_test::run_until_idle();
      if (task_running_slot() == 0) return;
      tm_test::advance_time(20);
    }
  }
  void TearDown() override {
    settle();
    sb_shell_reset();
    // What the redraw pass and printing keep in the store across a run.
    image_close_reopened_files();
    image_reopened_free();
    for (int cls : {CLS_QUALITY_ENTRY, CLS_PRINTER_ENTRY}) {
      obj_t* cursor = nullptr;
      while (obj_class_next(cls, &cursor)) {
        obj_t* e = cursor;
        cursor = nullptr;
        free_obj(&e);
      }
    }
    BrowseTest::TearDown();
  }

  // The colour (0x00RRGGBB) of a point of the document window's client area, read from
  // the main window's picture.
  static uint32_t document_pixel(int x, int y) {
    plat::Point p{x, y};
    plat::client_to_screen(sb().document_window, &p);
    plat::Rect w;
    plat::get_window_rect(sb().main, &w);
    uint32_t out = 0xFFFFFFFFu;
    plat::with_window_surface(sb().main, [&](const plat::Surface& s) {
      const int px = p.x - w.left, py = p.y - w.top;
      if (px >= 0 && py >= 0 && px < s.width && py < s.height) out = s.at(px, py) & 0xFFFFFFu;
    });
    return out;
  }
  static mapwin_t* view() { return sb().view; }
  static double scale_x() { return view()->map.scale_x; }
  static double scale_y() { return view()->map.scale_y; }
  static std::string title() { return plat::window_text(sb().main); }

  static constexpr int kWidth = 700;
  static constexpr int kHeight = 500;
};

}  // namespace sb_test
