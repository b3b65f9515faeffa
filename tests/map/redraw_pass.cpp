// The redraw pass on a headless map window: a whole pass draws the layers of a test
// graph space (an image, a filled square, a track, labelled waypoints) over the cleared
// background (pixels read at the screen positions of known world points), a pass that gives way after objects resumes with the next
// object and ends with the picture of an uninterrupted pass, resize notifications
// less than 100 ms apart draw nothing, and a graph space without data draws nothing.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "core/config.h"
#include "core/core_classes.h"
#include "map/draw_gdi.h"
#include "map/redraw.h"
#include "platform/print/printer.h"
#include "platform/sys/clock.h"
#include "tests/support/test_env.h"
#include "tests/map/draw_fixture.h"
#include "tests/map/mapwin_fixture.h"

namespace {

using mapwin_test::MapWinFixture;

constexpr int kW = 120, kH = 100;
constexpr uint32_t kUntouched = 0xFF123456u;  // the surface before any pass
const plat::Color kBackground = plat::rgb(128, 255, 128);

// The yield test and the drawing of objects, recorded: after every `yield_every`
// objects the pass is told that a command waits (0: never).
struct pass_record {
  std::mutex mu;
  std::vector<obj_t*> drawn;
  int yield_every = 0;
  int asked = 0;
};
pass_record& rec() {
  static pass_record r;
  return r;
}

int recording_draw(obj_t* object) {
  {
    std::lock_guard<std::mutex> lock(rec().mu);
    rec().drawn.push_back(object);
  }
  return drawobj_draw(object);
}

int yielding_work_pending() {
  std::lock_guard<std::mutex> lock(rec().mu);
  ++rec().asked;
  return rec().yield_every > 0 && rec().asked % rec().yield_every == 0 ? 1 : 0;
}

class RedrawPassFixture : public MapWinFixture {
 protected:
  void SetUp() override {
    MapWinFixture::SetUp();
    font_table_init();
    redraw_interrupt(0);
    {
      std::lock_guard<std::mutex> lock(rec().mu);
      rec().drawn.clear();
      rec().yield_every = 0;
      rec().asked = 0;
    }
    redraw_install_hooks(yielding_work_pending);
    visible_hooks h = visible_get_hooks();
    h.draw_object = recording_draw;
    visible_set_hooks(&h);
    surface_ = plat::Surface(kW, kH, kUntouched);
    dc_ = plat::create_surface_dc(&surface_, plat::Point{}, nullptr);
    win_ = window(kW, kH);
    set_current_mapwin(win_);  // new layers go to its pane
    win_->back_dc = dc_;
    win_->background = colour_word(128, 255, 128);
    win_->brush = plat::create_solid_brush(kBackground);
    win_->inverse_brush = plat::create_solid_brush(plat::rgb(0, 0, 0));
    // World (0, 0) at the lower-left corner, 2 pixels a unit, y upwards.
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    win_->map = screen_mapping{0, -50, 2, -2};
  }
  void TearDown() override {
    visible_list_reset();
    visible_set_hooks(nullptr);
    redraw_set_current_pane(nullptr);
    plat::delete_object(win_->brush);
    plat::delete_object(win_->inverse_brush);
    win_->brush = win_->inverse_brush = nullptr;
    plat::delete_dc(dc_);
    // The lines' points are the test's: the lines forget them before they are freed,
    // with their folders, once the graph space no longer shows them.
    shapes_.forget_points();
    MapWinFixture::TearDown();
    shapes_.free_folders();
    obj_t* icon = icon_;
    if (icon) free_obj(&icon);
  }

  // A layer of lines (world units) drawn with one style: filled outlines when fill is set.
  void shape_layer(std::vector<std::vector<double>>& lines, uint32_t colour, int fill) {
    shapes_.add(gs_, lines, colour, fill, &counter_);
  }


  // Waypoints drawn as icons (5 x 3 orange pixels centred on the point) with their
  // labels.
  void point_layer(std::initializer_list<tm_test::point_xy> points) {
    folder_t* f = tm_test::make_point_folder(nullptr, tm_test::make_georef(214, 0), points);
    folders_.push_back(f);
    obj_t* dots = nullptr;
    obj_list_first_of_class(f->sot, CLS_DPOINT, &dots);
    obj_list_remove_id(f->sot, dots->id);
    free_obj(&dots);
    config_temp_dir_set(tm_test::fresh_dir("redrawicon").c_str(), "s_");
    obj_new(0, CLS_BITMAP, reinterpret_cast<obj_t**>(&icon_));
    ASSERT_EQ(alloc_bitmap(icon_, 5, 3, 3, 0), 0);
    set_graylevel_lut(icon_);
    for (int row = 0; row < 3; ++row)
      for (int plane = 0; plane < 3; ++plane)
        std::memset(get_img_line_adr(icon_, row, plane), plane == 0 ? 255 : plane == 1 ? 128 : 0, 5);
    dimage_t* icon = nullptr;
    obj_new(0, CLS_DIMAGE, reinterpret_cast<obj_t**>(&icon));
    icon->typesrc = CLS_WAYPOINT;
    icon->pptcoord = kPointCoordsOffset;
    icon->vimg = icon_;
    // Designed for 100 km a pixel: large enough to show at this view's 2 pixels a degree.
    icon->meterpixsize = 100000.0;
    obj_list_append(f->sot, icon);
    // Each point's name as a purple label 10 pixels to its right.
    dtext_t* label = nullptr;
    obj_new(0, CLS_DTEXT, reinterpret_cast<obj_t**>(&label));
    label->typesrc = CLS_WAYPOINT;
    label->pptcoord = kPointCoordsOffset;
    label->pstring = int(offsetof(waypoint_t, name));
    label->meterpixsize = 1.0;
    label->vsize = 8;
    label->vthickness = 3;
    label->vcolour = colour_word(128, 0, 128);
    label->vpixy = pixel_offset_t{10, 0};
    obj_list_append(f->sot, label);
    ASSERT_EQ(graphspace_add_file(gs_, f, &counter_), 1);
    // Labels at their full size at any scale (no thinning of crowded texts).
    layer_t* layer = nullptr;
    mapwin_find_layer(gs_, f, &layer);
    ASSERT_NE(layer, nullptr);
    graphspace_lock lock(graphspace_mutex());
    layer->scale_threshold = 0.0;
  }

  // The whole window invalidated and scheduled, as command 6 does.
  void request_whole_window() {
    mapwin_request_redraw(win_);
    redraw_dirty_mapwins();
    redraw_schedule();
  }
  // Passes until one completes; their count (at most 1000).
  int run_to_completion() {
    int passes = 1;
    while (redraw_pass() == 0 && passes < 1000) ++passes;
    return passes;
  }

  plat::Color at(int x, int y) const { return plat::color_of_pixel(surface_.at(x, y)); }
  plat::Color at_world(double x, double y) const {
    return at(int(x * 2), int((y - 50) * -2));
  }
  int drawn_count() {
    std::lock_guard<std::mutex> lock(rec().mu);
    return int(rec().drawn.size());
  }
  int posted(int slot) {
    int n = 0;
    for (const auto& p : mapwin_test::record().posted) n += p.first == slot;
    return n;
  }

  plat::Surface surface_;
  plat::Dc dc_ = nullptr;
  mapwin_t* win_ = nullptr;
  int counter_ = 0;
  bitmap_t* icon_ = nullptr;
  tm_test::ShapeLayers shapes_;
};

// A filled square (blue), a track (red) and labelled waypoints (dark green).
class RedrawPicture : public RedrawPassFixture {
 protected:
  void build_graph_space() {
    polygon_ = {{5, 5, 25, 5, 25, 20, 5, 20, 5, 5}};
    track_ = {{30, 10, 55, 10, 55, 30}};
    shape_layer(polygon_, tm_test::kBlueWord, 1);
    shape_layer(track_, tm_test::kRedWord, 0);
    point_layer({{40, 40}, {10, 40}, {50, 20}});
    ASSERT_TRUE(graphspace_has_data(gs_));
  }
  // A grey image of 20 x 15 pixels on world 0..20 x 0..15 in the image layer (an image
  // without georeference lies on the world's units, pixel for unit).
  void image_layer() {
    config_temp_dir_set(tm_test::fresh_dir("redrawswap").c_str(), "s_");
    obj_new(0, CLS_BITMAP, reinterpret_cast<obj_t**>(&image_));
    ASSERT_EQ(alloc_bitmap(image_, 20, 15, 1, 0), 0);
    set_graylevel_lut(image_);
    for (int y = 0; y < 15; ++y) {
      uint8_t* line = get_img_line_adr(image_, y, 0);
      for (int x = 0; x < 20; ++x) line[x] = 60;
    }
    const extent_t e{0, 20, 0, 15, 0};
    std::memcpy(reinterpret_cast<char*>(image_) + offsetof(bitmap_t, extent), &e, sizeof e);
    layer_t* images = nullptr;
    graphspace_layer_of_priority(gs_, 0, &images);
    ASSERT_NE(images, nullptr);
    obj_new(0, CLS_LAYER_LINK, reinterpret_cast<obj_t**>(&link_));
    link_->object = image_;
    obj_list_append(images->objects, link_);
    obj_list_append(images->objects, image_);
    graphspace_update_layer(gs_, images, 1);
  }
  void TearDown() override {
    if (image_) graphspace_remove_object(gs_, image_);
    obj_t* b = image_;
    if (b) free_obj(&b);
    RedrawPassFixture::TearDown();
  }
  std::vector<std::vector<double>> polygon_, track_;
  bitmap_t* image_ = nullptr;
  layer_link_t* link_ = nullptr;
};

TEST_F(RedrawPicture, ImageUnderTheShapesAndBackgroundOnlyOutsideIt) {
  build_graph_space();
  image_layer();
  request_whole_window();
  EXPECT_EQ(redraw_pass(), 1);
  EXPECT_EQ(at_world(2, 2), plat::rgb(60, 60, 60));     // the image alone
  EXPECT_EQ(at_world(18, 3), plat::rgb(60, 60, 60));
  EXPECT_EQ(at_world(15, 12), plat::rgb(0, 0, 255));    // the square drawn over it
  EXPECT_EQ(at_world(21, 2), kBackground);              // just outside the image
  EXPECT_EQ(at_world(2, 16), kBackground);
  EXPECT_EQ(at_world(20, 30), kBackground);
}

TEST_F(RedrawPicture, WholePassDrawsEveryLayerOverTheBackground) {
  build_graph_space();
  request_whole_window();
  EXPECT_EQ(redraw_pass(), 1);
  EXPECT_EQ(at_world(15, 12), plat::rgb(0, 0, 255));   // inside the filled square
  EXPECT_EQ(at_world(42, 10), plat::rgb(255, 0, 0));   // on the track
  EXPECT_EQ(at_world(55, 20), plat::rgb(255, 0, 0));   // its second segment
  for (tm_test::point_xy p : {tm_test::point_xy{40, 40}, {10, 40}, {50, 20}}) {
    const int px = int(p.x * 2), py = int((p.y - 50) * -2);
    const plat::Color orange = plat::rgb(255, 128, 0);
    EXPECT_EQ(at(px, py), orange) << p.x << " " << p.y;
    EXPECT_EQ(at(px - 2, py - 1), orange);
    EXPECT_EQ(at(px + 2, py + 1), orange);
    EXPECT_EQ(at(px - 3, py), kBackground);
    EXPECT_EQ(at(px, py + 2), kBackground);
  }
  for (tm_test::point_xy p : {tm_test::point_xy{40, 40}, {10, 40}, {50, 20}}) {
    int label = 0;  // ink right of the point
    const int px = int(p.x * 2), py = int((p.y - 50) * -2);
    for (int y = std::max(py - 16, 0); y < std::min(py + 16, kH); ++y)
      for (int x = px + 8; x < std::min(px + 30, kW); ++x) label += at(x, y) != kBackground;
    EXPECT_GT(label, 3) << p.x << " " << p.y;
  }
  EXPECT_EQ(at_world(20, 30), kBackground);  // nothing there: cleared
  EXPECT_EQ(at(kW - 1, kH - 1), kBackground);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) ASSERT_NE(surface_.at(x, y), kUntouched) << x << "," << y;
  // The pass is complete: no list holds work, nothing posted, drawing ended.
  EXPECT_EQ(posted(4), 0);
  EXPECT_EQ(extent_list_count(win_->invalid), 0);
  for (int i = 0; i < obj_list_count(win_->pane->layer_rects); ++i) {
    extent_list_t* rects = nullptr;
    obj_list_get(win_->pane->layer_rects, i, &rects);
    EXPECT_EQ(extent_list_count(rects), 0) << i;
  }
  EXPECT_EQ(draw_target_dc(), nullptr);
  EXPECT_EQ(win_->dc, nullptr);
}

TEST_F(RedrawPicture, InterruptedPassResumesAndEndsWithTheSamePicture) {
  build_graph_space();
  request_whole_window();
  ASSERT_EQ(redraw_pass(), 1);
  const std::vector<uint32_t> whole = surface_.pixels;
  std::map<obj_t*, int> once;
  for (obj_t* o : rec().drawn) ++once[o];
  ASSERT_GE(once.size(), 5u);

  for (int every : {1, 2, 3}) {
    SCOPED_TRACE(every);
    surface_.pixels.assign(surface_.pixels.size(), kUntouched);
    {
      std::lock_guard<std::mutex> lock(rec().mu);
      rec().drawn.clear();
      rec().asked = 0;
      rec().yield_every = every;
    }
    mapwin_test::record().posted.clear();
    request_whole_window();
    const int passes = run_to_completion();
    EXPECT_GT(passes, 1);
    EXPECT_EQ(posted(4), passes - 1);  // each pass that gave way posted itself again
    std::map<obj_t*, int> counts;
    for (obj_t* o : rec().drawn) ++counts[o];
    EXPECT_EQ(counts, once);  // every object drawn, none twice
    EXPECT_EQ(surface_.pixels, whole);
  }
}

// The scheduling step keeps the background list off the image layer's extent (the
// raster display composes that part), and gives the image layer's rectangles to the
// raster list as well.
TEST_F(RedrawPicture, RectangleInsideTheImageLayerIsNotCleared) {
  build_graph_space();
  layer_t* images = nullptr;
  graphspace_layer_of_priority(gs_, 0, &images);
  ASSERT_NE(images, nullptr);
  const extent_t image_area{0, 30, 25, 50, 0};  // the upper-left quarter
  {
    graphspace_lock lock(graphspace_mutex());
    images->extent = image_area;
  }
  request_whole_window();
  const pane_t* pane = win_->pane;
  ASSERT_GT(extent_list_count(pane->background_rects), 0);
  for (int i = 0; i < extent_list_count(pane->background_rects); ++i) {
    extent_t r = extent_list_at(pane->background_rects, i);
    if (extent_intersect(&r, image_area)) {
      EXPECT_TRUE(extent_width(r) <= 0 || extent_height(r) <= 0) << i;
    }
  }
  EXPECT_GT(extent_list_count(pane->raster_rects), 0);
  // A rectangle wholly inside the image's extent: nothing to clear at all.
  EXPECT_EQ(redraw_pass(), 1);
  mapwin_invalidate_world_rect(win_, extent_t{5, 10, 30, 35, 0});
  redraw_schedule();
  EXPECT_EQ(extent_list_count(pane->background_rects), 0);
  EXPECT_EQ(extent_list_count(pane->raster_rects), 1);
}

TEST_F(RedrawPassFixture, GraphSpaceWithoutDataDrawsAndClearsNothing) {
  graphspace_set_extent(gs_, extent_t{});
  ASSERT_FALSE(graphspace_has_data(gs_));
  request_whole_window();
  EXPECT_EQ(extent_list_count(win_->invalid), 0);
  EXPECT_EQ(extent_list_count(win_->pane->background_rects), 0);
  EXPECT_EQ(redraw_pass(), 1);
  for (uint32_t p : surface_.pixels) ASSERT_EQ(p, kUntouched);
}

class RedrawResize : public RedrawPicture {
 protected:
  void SetUp() override {
    RedrawPicture::SetUp();
    plat::use_virtual_clock(true);
  }
  void TearDown() override {
    plat::use_virtual_clock(false);
    RedrawPicture::TearDown();
  }
  // Runs a pass on a thread; `during` runs once it sleeps; then 100 ms go by.
  template <class F> int pass_through_wait(F during) {
    int result = -1;
    std::thread t([&] { result = redraw_pass(); });
    while (plat::virtual_sleepers_waiting() == 0) std::this_thread::yield();
    during();
    plat::advance_virtual_ms(100);
    t.join();
    return result;
  }
};

TEST_F(RedrawResize, NotificationsLessThan100MsApartDrawNothing) {
  build_graph_space();
  request_whole_window();
  redraw_interrupt(1);
  // Another notification 50 ms into the wait: the pass gives way without drawing.
  EXPECT_EQ(pass_through_wait([] {
              plat::advance_virtual_ms(50);
              redraw_interrupt(1);
            }),
            0);
  EXPECT_EQ(drawn_count(), 0);
  EXPECT_EQ(posted(4), 1);
  for (uint32_t p : surface_.pixels) ASSERT_EQ(p, kUntouched);
  // The notifications stop: after its wait the next pass draws.
  EXPECT_EQ(pass_through_wait([] {}), 1);
  EXPECT_GT(drawn_count(), 0);
  EXPECT_EQ(at_world(15, 12), plat::rgb(0, 0, 255));
  EXPECT_EQ(redraw_interrupt_flag(), 0);
}

// The paint handler's rectangle: cleared first only when the window asks for it, and
// recorded as an invalid rectangle in both cases.
TEST_F(RedrawPassFixture, PaintRectangleIsClearedFirstOnlyWithFillFirst) {
  const extent_t r{10, 30, 20, 40, 0};
  for (int fill_first : {0, 1}) {
    SCOPED_TRACE(fill_first);
    surface_.pixels.assign(surface_.pixels.size(), kUntouched);
    mapwin_clear_invalid(win_);
    win_->fill_first = fill_first;
    invalid_rect_redraw(win_, r);
    EXPECT_EQ(extent_list_count(win_->invalid), 1);
    EXPECT_EQ(surface_.at(15, 25) == kUntouched, fill_first == 0);
    EXPECT_EQ(surface_.at(9, 25), kUntouched);
    EXPECT_EQ(surface_.at(30, 25), kUntouched);  // right edge excluded
  }
  // A printer page is never a paint target.
  win_->pane->printing = 1;
  mapwin_clear_invalid(win_);
  invalid_rect_redraw(win_, r);
  EXPECT_EQ(extent_list_count(win_->invalid), 0);
  win_->pane->printing = 0;
}

// A load task keeps adding rectangles while the user-interface thread schedules them:
// none is lost, and each ends in the layer list it meets.
TEST_F(RedrawPicture, RectanglesAddedWhileSchedulingAreNotLost) {
  build_graph_space();
  redraw_schedule();
  std::atomic<bool> done{false};
  std::thread loader([&] {
    for (int i = 0; i < 2000; ++i) {
      const double x = 5 + (i % 40);
      view_redraw_rect(gs_, extent_t{x, x + 1, 5, 6, 0});
    }
    done.store(true);
  });
  while (!done.load()) redraw_schedule();
  loader.join();
  redraw_schedule();
  EXPECT_EQ(extent_list_count(win_->invalid), 0);
  // The squares' layer (first after the image layer) meets every rectangle.
  extent_list_t* squares = nullptr;
  obj_list_get(win_->pane->layer_rects, 1, &squares);
  double covered = 0;
  for (int i = 0; i < extent_list_count(squares); ++i) {
    const extent_t e = extent_list_at(squares, i);
    covered += extent_width(e) * extent_height(e);
  }
  EXPECT_GE(covered, 20.0);  // 5..25 along the row 5..6, at the least
  EXPECT_EQ(redraw_pass(), 1);
}

// A printer page over the same graph space: its document is one page, ended and
// written only once the pass has drawn every layer, also when passes gave way on it.
class RedrawPrinterPage : public RedrawPicture {
 protected:
  mapwin_t* printer_page(print_doc_info* info) {
    mapwin_t* page = nullptr;
    mapwin_new(&page, 0, 0, 100, 80, colour_word(255, 255, 255), 32, 0);
    EXPECT_EQ(mapwin_attach_graphspace(page, gs_), 1);
    page->pane->printing = 1;
    page->dc = plat::create_printer_dc("PDF", nullptr);
    EXPECT_NE(page->dc, nullptr);
    page->doc_info = info;
    {
      std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
      page->map = screen_mapping{0, -50, 2, -2};
    }
    for (int i = 0; i < obj_list_count(gs_->layers); ++i) {
      layer_t* layer = nullptr;
      obj_list_get(gs_->layers, i, &layer);
      if (layer->priority != 0) mapwin_add_layer(page, layer);
    }
    mapwin_invalidate_screen_rect(page, page->pane->page);
    return page;
  }
  static int windows_alive() {
    int n = 0;
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_MAPWIN, &cursor)) ++n;
    return n;
  }
  static std::string read_all(const std::string& path) {
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
      char buf[4096];
      size_t n = 0;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
      std::fclose(f);
    }
    return out;
  }
  static int pdf_pages(const std::string& pdf) {
    int n = 0;
    for (size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
      n += pdf.compare(at, 12, "/Type /Pages") != 0;
    return n;
  }
};

TEST_F(RedrawPrinterPage, PageEndsOnlyAfterItsLastLayer) {
  build_graph_space();
  const std::string path = tm_test::fresh_dir("redrawprint") + "/page.pdf";
  print_doc_info info{"page", path.c_str()};
  printer_page(&info);
  redraw_schedule();
  const int alive = windows_alive();
  {
    std::lock_guard<std::mutex> lock(rec().mu);
    rec().yield_every = 2;
  }
  // Passes that give way leave the page open and its window alive.
  ASSERT_EQ(redraw_pass(), 0);
  EXPECT_EQ(windows_alive(), alive);
  EXPECT_TRUE(read_all(path).empty());
  ASSERT_EQ(redraw_pass(), 0);
  EXPECT_EQ(windows_alive(), alive);
  run_to_completion();
  // Complete: one document of one page, the page window and pane gone.
  EXPECT_EQ(windows_alive(), alive - 1);
  EXPECT_EQ(pdf_pages(read_all(path)), 1);
  obj_t* resume_pane = nullptr;
  redraw_resume_point(&resume_pane, nullptr);
  EXPECT_EQ(resume_pane, nullptr);
  EXPECT_EQ(get_current_mapwin(), win_);
}

}  // namespace
