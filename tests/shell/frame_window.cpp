// The frame window and its map child window: the frame over the work area with the
// toolbar at its left and "fdocument" beside it, the toolbar's buttons and bitmaps,
// dropped files (each posts the load command, the last first, whole and with its
// case), the scroll bars, the mouse and the title.
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/ctl_toolbar.h"
#include "geodesy/geodesy_records.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "tests/shell/frame_fixture.h"

namespace frame_test {
namespace {

TEST_F(FrameFixture, FrameCoversTheWorkAreaWithToolbarAndMap) {
  EXPECT_EQ(plat::get_class_name(frame_), "Tarmelo");
  EXPECT_EQ(plat::window_text(frame_), "Tarmelo");
  plat::Rect wr, wa = plat::get_work_area();
  ASSERT_TRUE(plat::get_window_rect(frame_, &wr));
  EXPECT_EQ(wr, wa);
  EXPECT_EQ(get_command_target_wnd(), frame_);

  plat::Wnd map = main_map_window();
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(plat::get_class_name(map), "fdocument");
  EXPECT_EQ(plat::get_parent(map), frame_);
  EXPECT_TRUE(plat::get_window_long(map, plat::GWL_EXSTYLE) & plat::WS_EX_ACCEPTFILES);
  uint32_t style = uint32_t(plat::get_window_long(map, plat::GWL_STYLE));
  EXPECT_TRUE(style & plat::WS_VSCROLL);
  EXPECT_TRUE(style & plat::WS_HSCROLL);
  plat::Rect mr;
  ASSERT_TRUE(plat::get_window_rect(map, &mr));
  plat::Point origin{mr.left, mr.top};
  plat::screen_to_client(frame_, &origin);
  EXPECT_EQ(origin.x, main_toolbar_width());
  EXPECT_GT(main_toolbar_width(), 0);

  EXPECT_EQ(get_current_mapwin(), map_object_);
  EXPECT_EQ(get_current_graphspace(), get_current_graphspace());
  EXPECT_NE(get_current_graphspace(), nullptr);
  EXPECT_EQ(get_current_graphspace(), graphspace_current()) << "one current graph space";
}

// The frame's current graph space is the map model's: once that one is freed, the next
// request makes a new one instead of handing out the freed record.
TEST_F(FrameFixture, AFreedCurrentGraphSpaceIsMadeAnew) {
  graphspace_t* first = get_current_graphspace();
  ASSERT_NE(first, nullptr);
  georef_t* georef = first->georef;
  graphspace_free(&first);
  free_obj(&georef);
  EXPECT_EQ(graphspace_current(), nullptr);
  graphspace_t* second = get_current_graphspace();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(graphspace_current(), second);
}

// The toolbar's buttons in order: the command of each, and which are check buttons.
TEST_F(FrameFixture, ToolbarButtonsFollowTheTable) {
  struct Want {
    int command;
    bool check;
  };
  const Want wants[] = {{40058, false}, {-1, false},   {40052, false}, {40053, false},
                        {40054, false}, {-1, false},   {40018, true},  {40027, true},
                        {40019, true},  {-1, false},   {40036, true}};
  plat::Wnd tb = main_toolbar();
  ASSERT_NE(tb, nullptr);
  EXPECT_TRUE(plat::get_window_long(tb, plat::GWL_STYLE) & plat::CCS_VERT);
  int count = int(plat::send_message(tb, plat::TB_BUTTONCOUNT, 0, 0));
  ASSERT_GE(count, int(std::size(wants)));
  for (int i = 0; i < int(std::size(wants)); ++i) {
    plat::TbButton b;
    ASSERT_NE(plat::send_message(tb, plat::TB_GETBUTTON, unsigned(i), plat::LParam(&b)), 0);
    if (wants[i].command < 0) {
      EXPECT_TRUE(b.style & plat::TBSTYLE_SEP) << i;
      continue;
    }
    EXPECT_EQ(b.command, wants[i].command) << i;
    EXPECT_EQ((b.style & plat::TBSTYLE_CHECK) != 0, wants[i].check) << i;
    EXPECT_TRUE(b.state & plat::TBSTATE_ENABLED) << i;
  }
}

// Every bitmap the toolbar names is in the program folder and reads as a 16 x 16 image.
TEST(ToolbarBitmaps, EveryFileLoads) {
  for (const char* name : {"zoomplus32.bmp", "zoomoins32.bmp", "zoomobject32.bmp", "trajet.bmp",
                           "invert.bmp", "monochrome.bmp", "satellite24.bmp"}) {
    std::string path = std::string(TM_SOURCE_DIR "/data/") + name;
    plat::Bitmap bmp = plat::load_bitmap_file(path.c_str(), plat::LR_LOADTRANSPARENT);
    ASSERT_NE(bmp, nullptr) << name;
    plat::Size size = plat::get_bitmap_size(bmp);
    EXPECT_EQ(size.cx, 16) << name;
    EXPECT_EQ(size.cy, 16) << name;
    plat::delete_object(bmp);
  }
}

std::vector<std::string> load_commands() {
  std::vector<std::string> out;
  for (const std::string& c : commands())
    if (c.rfind("14:", 0) == 0) out.push_back(c.substr(3));
  return out;
}

// A drop posts one load command per file, the last one first, each path whole (also
// beyond 256 characters) and with its case.
TEST_F(FrameFixture, DroppedFilesPostTheLoadCommand) {
  std::string dir = tm_test::fresh_dir("Drop");
  std::string longname = dir;
  while (longname.size() < 300) longname += "Segment_Of_A_Long_Name/";
  longname += "Track.GPX";
  const std::vector<std::string> paths = {dir + "First.GPX", longname, dir + "MiXeD/Case.kml"};
  ASSERT_TRUE(tm_test::drop_files(main_map_window(), 20, 20, paths));
  tm_test::run_until_idle();
  std::vector<std::string> want = {"1" + paths[2], "1" + paths[1], "1" + paths[0]};
  EXPECT_EQ(load_commands(), want);
}

// open_file, the entry that drops, the command line and the open dialog share: the
// text keeps its case and its whole length; "file://" becomes a local path; nothing
// is posted for an empty text.
TEST_F(FrameFixture, OpenFilePostsTheTextWholeWithItsCase) {
  std::string long_path = "/Maps";
  while (long_path.size() < 5000) long_path += "/Sub_Folder_With_Case";
  long_path += "/Image.TIF";
  struct OpenCase {
    std::string given, posted;
  };
  const OpenCase cases[] = {
      {"/Data/Tracks/Track.GPX", "1/Data/Tracks/Track.GPX"},
      {"file:///Home/User/Route.KML", "1/Home/User/Route.KML"},
      {long_path, "1" + long_path},
  };
  for (const OpenCase& c : cases) {
    clear_seen();
    open_file(c.given.c_str());
    tm_test::run_until_idle();
    EXPECT_EQ(load_commands(), std::vector<std::string>{c.posted}) << c.given.substr(0, 40);
  }
  clear_seen();
  open_file("");
  open_file(nullptr);
  tm_test::run_until_idle();
  EXPECT_TRUE(load_commands().empty());
}

// Scroll-bar messages become the map model's scroll codes: each leaves its scroll
// pending for command 5. The thumb moves the view only by a drag of the bar itself
// (its tracked position read back from the bar), so a bare message moves nothing.
TEST_F(FrameFixture, ScrollBarsReachTheMapWindow) {
  show_data_in_the_middle();
  const int w = map_object_->width, h = map_object_->height;
  struct ScrollCase {
    uint32_t msg;
    unsigned sb;
    unsigned pos;
    int dx, dy;
  };
  const ScrollCase cases[] = {
      {plat::WM_HSCROLL, plat::SB_LINELEFT, 0, -5, 0},
      {plat::WM_HSCROLL, plat::SB_LINERIGHT, 0, 5, 0},
      {plat::WM_HSCROLL, plat::SB_PAGELEFT, 0, -w, 0},
      {plat::WM_HSCROLL, plat::SB_PAGERIGHT, 0, w, 0},
      {plat::WM_HSCROLL, plat::SB_THUMBTRACK, 2500, 0, 0},
      {plat::WM_HSCROLL, plat::SB_ENDSCROLL, 0, 0, 0},
      {plat::WM_HSCROLL, plat::SB_THUMBPOSITION, 100, 0, 0},
      {plat::WM_VSCROLL, plat::SB_LINEUP, 0, 0, -5},
      {plat::WM_VSCROLL, plat::SB_LINEDOWN, 0, 0, 5},
      {plat::WM_VSCROLL, plat::SB_PAGEUP, 0, 0, -h},
      {plat::WM_VSCROLL, plat::SB_PAGEDOWN, 0, 0, h},
      {plat::WM_VSCROLL, plat::SB_TOP, 0, 0, -5000},
      {plat::WM_VSCROLL, plat::SB_BOTTOM, 0, 0, 5000 - h},
      {plat::WM_VSCROLL, plat::SB_THUMBTRACK, 10000, 0, 0},
      {plat::WM_VSCROLL, plat::SB_ENDSCROLL, 0, 0, 0},
  };
  for (const ScrollCase& c : cases) {
    map_object_->scroll_dx = map_object_->scroll_dy = 0;
    plat::send_message(main_map_window(), c.msg, plat::make_wparam(int(c.sb), int(c.pos)), 0);
    EXPECT_EQ(int(map_object_->scroll_dx), c.dx) << c.msg << " " << c.sb;
    EXPECT_EQ(int(map_object_->scroll_dy), c.dy) << c.msg << " " << c.sb;
  }
}

TEST_F(FrameFixture, MouseOnTheMap) {
  plat::Wnd map = main_map_window();
  // A drag: the press starts it, the move follows it, and command 5 moves the view
  // with the pointer.
  show_data_in_the_middle();
  tm_test::mouse_down(map, 40, 30);
  tm_test::mouse_move(map, 50, 45);
  tm_test::mouse_up(map, 50, 45);
  tm_test::run_until_idle();
  EXPECT_DOUBLE_EQ(double(map_object_->map.origin_x), -5000.0 + 10);
  EXPECT_DOUBLE_EQ(double(map_object_->map.origin_y), -5000.0 + 15);
  EXPECT_EQ(int(map_object_->scroll_dx), 0);

  // Double clicks zoom around the point: 2 with the left button, 0.5 with the right;
  // the world point under the pointer stays there.
  auto world_at = [this](int x, int y) {
    const screen_mapping m = map_object_->map;
    return std::pair<double, double>(x / m.scale_x - m.origin_x, y / m.scale_y - m.origin_y);
  };
  const auto under = world_at(60, 70);
  tm_test::double_click(map, 60, 70);
  tm_test::run_until_idle();
  EXPECT_DOUBLE_EQ(double(map_object_->map.scale_x), 2.0);
  EXPECT_NEAR(world_at(60, 70).first, under.first, 1e-9);
  EXPECT_NEAR(world_at(60, 70).second, under.second, 1e-9);
  const auto under2 = world_at(61, 71);
  tm_test::double_click(map, 61, 71, plat::MouseButton::right);
  tm_test::run_until_idle();
  EXPECT_DOUBLE_EQ(double(map_object_->map.scale_x), 1.0);
  EXPECT_NEAR(world_at(61, 71).first, under2.first, 1e-9);
  EXPECT_NEAR(world_at(61, 71).second, under2.second, 1e-9);

  // A move without a button does not drag (what it shows in the cursor window is
  // tested with that window).
  const double origin_x = double(map_object_->map.origin_x);
  tm_test::mouse_move(map, 80, 80);
  tm_test::mouse_move(map, 81, 80);
  tm_test::run_until_idle();
  EXPECT_DOUBLE_EQ(double(map_object_->map.origin_x), origin_x);  // no button: no drag
}

// A fast drag: the pointer's arrival, the press and the moves all wait in the queue at
// once. The map still follows the pointer exactly: the moves behind the press are not
// taken ahead of it (they would start the drag from where the last one ended).
TEST_F(FrameFixture, FastDragEndsExactlyUnderThePointer) {
  plat::Wnd map = main_map_window();
  show_data_in_the_middle();
  // An earlier drag ends at (12, 12).
  tm_test::mouse_down(map, 10, 10);
  tm_test::mouse_move(map, 12, 12);
  tm_test::mouse_up(map, 12, 12);
  tm_test::run_until_idle();
  const double x0 = double(map_object_->map.origin_x), y0 = double(map_object_->map.origin_y);
  tm_test::mouse_move(map, 100, 100);
  tm_test::mouse_down(map, 100, 100);
  tm_test::mouse_move(map, 150, 120);
  tm_test::mouse_move(map, 200, 150);
  tm_test::mouse_up(map, 200, 150);
  tm_test::run_until_idle();
  EXPECT_DOUBLE_EQ(double(map_object_->map.origin_x), x0 + 100);
  EXPECT_DOUBLE_EQ(double(map_object_->map.origin_y), y0 + 50);
  // Moves queued right behind each other while dragging are still taken as one.
  tm_test::mouse_down(map, 200, 150);
  tm_test::mouse_move(map, 190, 140);
  tm_test::mouse_move(map, 180, 130);
  tm_test::mouse_move(map, 170, 120);
  tm_test::mouse_up(map, 170, 120);
  tm_test::run_until_idle();
  EXPECT_DOUBLE_EQ(double(map_object_->map.origin_x), x0 + 70);
  EXPECT_DOUBLE_EQ(double(map_object_->map.origin_y), y0 + 20);
}

// Focus given to the map goes to the frame, so that the frame's keys work.
TEST_F(FrameFixture, MapFocusGoesToTheFrame) {
  plat::set_focus(main_map_window());
  tm_test::run_until_idle();
  EXPECT_EQ(plat::get_focus(), frame_);
}

TEST_F(FrameFixture, TitleNamesTheProgram) {
  update_main_title();
  char* title = nullptr;
  main_get_title_text(frame_object_, &title);
  EXPECT_STREQ(title, "Tarmelo      ");
  free_mem(&title);
  EXPECT_STREQ(georef_system_name(nullptr), "");
}

TEST_F(FrameFixture, PaintedAreaBecomesARedraw) {
  plat::invalidate_rect(main_map_window(), nullptr, false);
  tm_test::run_until_idle();
  EXPECT_GE(redraws(), 1);
}

}  // namespace
}  // namespace frame_test
