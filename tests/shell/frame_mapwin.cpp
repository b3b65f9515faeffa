// The map window inside the frame: its scroll bars follow the view (read back from the
// platform's bars), its page follows the frame's resizing, command 21 switches a layer
// through the program's table, and the dispatcher's status text reaches the frame.
#include <cstdio>

#include "map/mapwin.h"
#include "platform/ui/input.h"
#include "shell/command_table.h"
#include "tests/shell/frame_fixture.h"

namespace frame_test {
namespace {

class MapWinFrame : public FrameFixture {
 protected:
  // Position and page of a bar of the map window, in units of its 0..10000 range.
  std::pair<int, unsigned> bar(int which) {
    plat::ScrollInfo si;
    si.mask = plat::SIF_ALL;
    EXPECT_TRUE(plat::get_scroll_info(main_map_window(), which, &si));
    return {si.pos, si.page};
  }
};

TEST_F(MapWinFrame, ScrollBarsFollowTheView) {
  show_data_in_the_middle();
  const int w = map_object_->width, h = map_object_->height;
  ASSERT_GT(w, 0);
  ASSERT_GT(h, 0);
  mapwin_sync_scrollbars(map_object_);
  // The view starts half-way across the data and shows w of its 10000 units.
  // (The bar truncates fractions to its units: a page may come out one unit short.)
  EXPECT_EQ(bar(plat::SB_HORZ).first, 5000);
  EXPECT_NEAR(double(bar(plat::SB_HORZ).second), w, 1.0);
  // Vertically the bar counts from the top of the data (world y upwards): the view's
  // world rows 5000 .. 5000 + h put the thumb at 1 - (5000 + h) / 10000.
  EXPECT_NEAR(double(bar(plat::SB_VERT).first), 5000 - h, 1.0);
  EXPECT_NEAR(double(bar(plat::SB_VERT).second), h, 1.0);
  // A view past the data's end is held at the bar's end, its page cut to what shows.
  map_object_->map = screen_mapping{-(10000.0 - w / 2.0), -5000.0, 1.0, 1.0};
  mapwin_sync_scrollbars(map_object_);
  EXPECT_NEAR(double(bar(plat::SB_HORZ).second), w - w / 2, 1.0);
  EXPECT_NEAR(double(bar(plat::SB_HORZ).first), 10000 - (w - w / 2), 1.0);
}

TEST_F(MapWinFrame, DragOfTheThumbMovesByTheTrackedPosition) {
  show_data_in_the_middle();
  mapwin_sync_scrollbars(map_object_);  // thumb at 0.5
  // The bar now reports the thumb where it was left: no tracked move, no scroll.
  mapwin_scroll_cmd(map_object_, 2, 11);
  EXPECT_EQ(int(map_object_->scroll_dx), 0);
}

// A drag of the horizontal thumb by the mouse: the bar reports its tracked position,
// the view moves by that fraction of the data, and the bar stays where it was dragged.
TEST_F(MapWinFrame, MouseDragOfTheThumbScrollsTheView) {
  show_data_in_the_middle();
  map_object_->map = screen_mapping{0.0, -5000.0, 1.0, 1.0};  // the data's left edge at 0
  const int w = map_object_->width;
  mapwin_set_scrollbars(map_object_, 0.0, w / 10000.0, 0.5, 0.5 + 0.01);
  tm_test::run_until_idle();
  plat::Rect frame_rect, map_rect;
  plat::get_window_rect(frame_, &frame_rect);
  plat::get_window_rect(main_map_window(), &map_rect);
  // The thumb sits at the start of the bar's track, right of its arrow (16 pixels).
  const plat::Point grab{map_rect.left - frame_rect.left + 16 + 3, map_rect.bottom - frame_rect.top - 8};
  plat::input_mouse_move(frame_, grab);
  plat::input_mouse_button(frame_, grab, plat::MouseButton::left, true);
  const plat::Point to{grab.x + 100, grab.y};
  plat::input_mouse_move(frame_, to);
  const int moved = map_object_->scroll_dx;
  EXPECT_GT(moved, 0);
  // The whole data is 10000 pixels wide and the bar 10000 units long: one unit a pixel.
  EXPECT_EQ(bar(plat::SB_HORZ).first, moved);
  plat::input_mouse_button(frame_, to, plat::MouseButton::left, false);
  tm_test::run_until_idle();
  EXPECT_DOUBLE_EQ(double(map_object_->map.origin_x), -double(moved));
}

TEST_F(MapWinFrame, FrameResizeResizesThePage) {
  plat::send_message(frame_, plat::WM_SIZE, plat::SIZE_RESTORED, plat::LParam(plat::make_lparam(640, 480)));
  tm_test::run_until_idle();
  const pane_t* pane = map_object_->pane;
  ASSERT_NE(pane, nullptr);
  EXPECT_GT(int(map_object_->width), 0);
  EXPECT_DOUBLE_EQ(double(pane->page_width), double(map_object_->width));
  EXPECT_DOUBLE_EQ(double(pane->page_height), double(map_object_->height));
  EXPECT_DOUBLE_EQ(double(pane->page.xmax), double(map_object_->width));
  EXPECT_DOUBLE_EQ(double(pane->page.ymax), double(map_object_->height));
  const int first_width = map_object_->width;
  plat::send_message(frame_, plat::WM_SIZE, plat::SIZE_RESTORED, plat::LParam(plat::make_lparam(500, 400)));
  tm_test::run_until_idle();
  EXPECT_EQ(int(map_object_->width), first_width - 140);
  EXPECT_DOUBLE_EQ(double(pane->page.xmax), double(map_object_->width));
}

TEST_F(MapWinFrame, CommandTwentyOneIsTheLayerToggle) {
  const command_entry& row = main_command_table()[21];
  EXPECT_EQ(row.where, CMD_UI);
  EXPECT_EQ(row.ui, &mapwin_toggle_layer_command);
}

TEST_F(MapWinFrame, DispatcherStatusTextReachesTheFrame) {
  ASSERT_NE(get_dispatcher_hooks().main_set_status_text, nullptr);
  get_dispatcher_hooks().main_set_status_text("working");
  char* title = nullptr;
  main_get_title_text(nullptr, &title);
  EXPECT_STREQ(title, "      working");
  free_mem(&title);
}

}  // namespace
}  // namespace frame_test
