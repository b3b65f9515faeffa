// A four-page TIFF in the viewer's window, its pages laid out one below the other: the
// page shown when the file is entered forwards or backwards, the current page following
// the visible area after every scroll (keys and drags), F3 bringing the current page
// back at actual size, and the window's picture showing the pages' colours where the
// layout puts them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "map/mapwin.h"
#include "platform/ui/keys.h"
#include "tests/sorbinel/sb_shell_fixture.h"

namespace sb_test {
namespace {

// pages.tif: four pages of 200 x 150, red, green, blue and yellow.
constexpr double kPageHeight = 150.0;
constexpr int kPages = 4;
constexpr uint32_t kPageColour[] = {0, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
constexpr uint32_t kGreenFile = 0x00FF00;

class ShellPages : public ShellTest {
 protected:
  std::string folder_of(const std::string& name, const std::vector<std::string>& files) {
    const std::string d = dir_ + name;
    fs::create_directories(d);
    for (const std::string& f : files) fs::copy(fixture(f), d + "/" + fs::path(f).filename().string());
    return d;
  }
  static int page() { return sb().filter->current_page; }
  static void key(int vk, unsigned mods = 0) {
    tm_test::press_key(vk, mods);
    drain();
  }
  static void step(int shift = 0) {
    sb_next_file(shift, 0);
    drain();
  }
  // The document's y at the half height of the document window.
  static double half_height_y() { return (view()->height / 2.0) / scale_y() - view()->map.origin_y; }
  // The page that the half height reaches, page heights added from the top.
  static int page_at_half_height() {
    const int p = int(std::ceil(half_height_y() / kPageHeight));
    return p < 1 ? 1 : (p > kPages ? kPages : p);
  }
  // The colour of a point of the document window once everything is drawn.
  static uint32_t pixel(int x, int y) {
    drain();
    plat::invalidate_rect(sb().document_window, nullptr, true);
    drain();
    return document_pixel(x, y);
  }
  static uint32_t centre() { return pixel(view()->width / 2, view()->height / 2); }
  static std::string label() { return sb().status_text; }
  static std::string page_text(int p) { return " page " + std::to_string(p) + "/4"; }
};

// Forwards the TIFF comes in at its first page, backwards at its last; the page is in
// view at actual size, with its neighbour drawn below (or above) it.
TEST_F(ShellPages, EnteredForwardsAtTheFirstPageBackwardsAtTheLast) {
  start({folder_of("d", {"browse/02_green.png", "pages.tif"})});
  drain();
  ASSERT_EQ(shown(), "d/02_green.png");
  struct row {
    int shift;  // the step that enters the TIFF
    int page;
    int neighbour_dy;  // from the window's centre to a point of the neighbouring page
    int neighbour;
  };
  const row rows[] = {{0, 1, 85, 2}, {1, 4, -85, 3}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.page);
    step(r.shift);
    ASSERT_EQ(shown(), "d/pages.tif");
    EXPECT_EQ(page(), r.page);
    EXPECT_DOUBLE_EQ(std::fabs(scale_x()), 1.0);
    EXPECT_EQ(sb_page_at_view(sb().current), r.page);
    EXPECT_NE(label().find(page_text(r.page)), std::string::npos) << label();
    EXPECT_EQ(centre(), kPageColour[r.page]);
    EXPECT_EQ(pixel(view()->width / 2, view()->height / 2 + r.neighbour_dy), kPageColour[r.neighbour]);
    // Out the other way, at the page it came in by: back to the other file.
    step(1 - r.shift);
    EXPECT_EQ(shown(), "d/02_green.png");
    EXPECT_EQ(centre(), kGreenFile);
  }
}

// After every scroll the current page is the one at half the height of the window,
// whichever key moved the view; the label and the picture follow.
TEST_F(ShellPages, ScrollKeysMoveTheCurrentPageWithTheVisibleArea) {
  start({folder_of("s", {"pages.tif"})});
  drain();
  ASSERT_EQ(page(), 1);
  const int keys[] = {plat::VK_HOME,  plat::VK_PRIOR, plat::VK_HOME, plat::VK_DOWN, plat::VK_DOWN,
                      plat::VK_END,   plat::VK_NEXT,  plat::VK_END,  plat::VK_UP,   plat::VK_PRIOR,
                      plat::VK_PRIOR, plat::VK_NEXT};
  std::vector<int> seen;
  double last_y = half_height_y();
  int moved = 0;
  for (int vk : keys) {
    SCOPED_TRACE(vk);
    key(vk);
    const double y = half_height_y();
    if (y != last_y) ++moved;
    last_y = y;
    EXPECT_EQ(page(), page_at_half_height()) << "half height at " << y;
    EXPECT_NE(label().find(page_text(page())), std::string::npos) << label();
    // Inside the document and off a page edge, the window's centre shows the page.
    const double in_page = std::fmod(y, kPageHeight);
    if (y > 0.0 && y < kPages * kPageHeight && in_page > 2.0 && in_page < kPageHeight - 2.0) {
      EXPECT_EQ(centre(), kPageColour[page()]);
    }
    if (seen.empty() || seen.back() != page()) seen.push_back(page());
  }
  EXPECT_GE(moved, 8);
  // Every page was reached on the way, the last as well as the first.
  for (int p = 1; p <= kPages; ++p) EXPECT_NE(std::find(seen.begin(), seen.end(), p), seen.end()) << p;
}

// A drag pans through the same pending scroll: the current page follows it too.
TEST_F(ShellPages, DraggingMovesTheCurrentPage) {
  start({folder_of("g", {"pages.tif"})});
  drain();
  ASSERT_EQ(page(), 1);
  plat::Wnd doc = sb().document_window;
  const int x = view()->width / 2, y = view()->height / 2;
  // The picture moves up by two pages: the half height lands two pages lower.
  tm_test::mouse_down(doc, x, y + 150);
  tm_test::mouse_move(doc, x, y - 150);
  tm_test::mouse_up(doc, x, y - 150);
  drain();
  EXPECT_EQ(page(), 3);
  EXPECT_EQ(page(), page_at_half_height());
  EXPECT_NE(label().find(page_text(3)), std::string::npos) << label();
  EXPECT_EQ(centre(), kPageColour[3]);
}

// F3 shows the current page at actual size, wherever the view was and whatever its zoom.
TEST_F(ShellPages, F3ShowsTheCurrentPageAtActualSize) {
  start({folder_of("f", {"pages.tif"})});
  drain();
  step();
  step();
  ASSERT_EQ(page(), 3);
  EXPECT_EQ(centre(), kPageColour[3]);
  struct row {
    std::vector<int> keys;  // what moves the view away first
  };
  const row rows[] = {{{plat::VK_F5}}, {{plat::VK_F2, plat::VK_F2}}, {{plat::VK_F1}}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.keys.front());
    for (int k : r.keys) key(k);
    EXPECT_NE(std::fabs(scale_x()), 1.0);
    EXPECT_EQ(page(), 3);  // zooming does not scroll: the page stays
    key(plat::VK_F3);
    EXPECT_DOUBLE_EQ(std::fabs(scale_x()), 1.0);
    EXPECT_EQ(page(), 3);
    EXPECT_EQ(sb_page_at_view(sb().current), 3);
    EXPECT_NE(label().find(page_text(3)), std::string::npos) << label();
    EXPECT_EQ(centre(), kPageColour[3]);
  }
  // F5 puts the whole document in the window: the four pages from top to bottom.
  key(plat::VK_F5);
  for (int p = 1; p <= kPages; ++p) {
    SCOPED_TRACE(p);
    const int py = int(((p - 0.5) * kPageHeight + view()->map.origin_y) * scale_y());
    EXPECT_EQ(pixel(view()->width / 2, py), kPageColour[p]);
  }
}

// A single image scrolled keeps its page numbers: only laid-out pages follow the view.
TEST_F(ShellPages, ScrollingASingleImageLeavesItsPage) {
  const std::string path = copy_fixture("dims/small_300x200.png");
  start({path});
  drain();
  const int before = page();
  const std::string name = label();
  key(plat::VK_DOWN);
  key(plat::VK_END);
  EXPECT_EQ(page(), before);
  EXPECT_EQ(label(), name);
}

}  // namespace
}  // namespace sb_test
