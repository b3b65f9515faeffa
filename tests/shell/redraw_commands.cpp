// The redraw pass as the dispatcher runs it in the frame: command 6 with "1" draws to
// the end without giving way and is followed by command 9; without "1" no command 9
// follows, and the no-yield request never outlives its pass. A printer page that
// failed is abandoned with the print-error box in the program's language.
#include <cstdio>

#include "map/redraw.h"
#include "platform/print/printer.h"
#include "tests/support/test_env.h"
#include "tests/shell/frame_fixture.h"

namespace frame_test {
namespace {

class RedrawCommands : public FrameFixture {
 protected:
  void SetUp() override {
    FrameFixture::SetUp();
    redraw_interrupt(0);
    get_dispatcher_hooks().redraw_run = redraw_run;
  }
  static int nines() {
    int n = 0;
    for (const std::string& c : commands()) n += c.rfind("9:", 0) == 0;
    return n;
  }
};

TEST_F(RedrawCommands, NoYieldPassPostsNine) {
  graphspace_set_extent(get_current_graphspace(), extent_t{0, 10000, 0, 10000, 0});
  post_command(6, 0, "1");
  tm_test::run_until_idle();
  EXPECT_EQ(nines(), 1);
  EXPECT_EQ(get_stop_request(), 0);
  EXPECT_EQ(task_running_slot(), 0);
  // The window was invalidated whole and the pass used up every rectangle.
  EXPECT_EQ(extent_list_count(map_object_->invalid), 0);
}

TEST_F(RedrawCommands, PlainRedrawPostsNoNine) {
  graphspace_set_extent(get_current_graphspace(), extent_t{0, 10000, 0, 10000, 0});
  post_command(6, 0, nullptr);
  tm_test::run_until_idle();
  post_command(4, 0, nullptr);
  tm_test::run_until_idle();
  EXPECT_EQ(nines(), 0);
  EXPECT_EQ(get_stop_request(), 0);
  EXPECT_EQ(task_running_slot(), 0);
}

// A printer page on the frame's graph space, whose drawing failed: the pass abandons
// the document (no file) and tells the user, then frees the page window.
class RedrawPrintError : public RedrawCommands {
 protected:
  void run_failed_page(const std::string& path) {
    graphspace_set_extent(get_current_graphspace(), extent_t{0, 10000, 0, 10000, 0});
    info_ = print_doc_info{"failed", path.c_str()};
    mapwin_t* page = nullptr;
    mapwin_new(&page, 0, 0, 50, 40, colour_word(255, 255, 255), 32, 0);
    ASSERT_EQ(mapwin_attach_graphspace(page, get_current_graphspace()), 1);
    page->pane->printing = 1;
    page->dc = plat::create_printer_dc("PDF", nullptr);
    page->doc_info = &info_;
    page->print_error = 1;
    tm_test::clear_message_boxes();
    post_command(4, 0, nullptr);
    tm_test::run_until_idle();
  }
  static int windows_alive() {
    int n = 0;
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_MAPWIN, &cursor)) ++n;
    return n;
  }
  print_doc_info info_{};
};

TEST_F(RedrawPrintError, FailedPageIsAbandonedWithTheMessage) {
  const std::string path = tm_test::fresh_dir("redrawfail") + "/failed.pdf";
  const int alive = windows_alive();
  run_failed_page(path);
  EXPECT_EQ(windows_alive(), alive);  // the page's window was made and freed again
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "Print error");
  EXPECT_EQ(tm_test::message_boxes()[0].text.rfind("Not enough memory\n\nImages print", 0), 0u);
  FILE* f = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(f, nullptr);
  if (f) std::fclose(f);
}

class RedrawPrintErrorFr : public RedrawPrintError {
 protected:
  void SetUp() override {
    FrameFixture::SetUpWith("FRANCAIS");
    redraw_interrupt(0);
    get_dispatcher_hooks().redraw_run = redraw_run;
  }
};

TEST_F(RedrawPrintErrorFr, MessageIsFrench) {
  run_failed_page(tm_test::fresh_dir("redrawfailfr") + "/failed.pdf");
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "Erreur d'impression");
  EXPECT_EQ(tm_test::message_boxes()[0].text.rfind("M\xC3\xA9moire insuffisante\n", 0), 0u);
}

}  // namespace
}  // namespace frame_test
