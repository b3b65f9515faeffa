// Pages and frames of the shown file, and photos turned upright: the pages of a
// four-page TIFF laid out one below the other and stepped through in both directions,
// a file alone in the list paging round, the frames of an animated GIF on the virtual
// clock with their delays and loop counts, and the EXIF orientations 1 to 8 against the
// pixels of the unturned photo.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "map/extent_map.h"
#include "raster/image_load.h"
#include "raster/image_place.h"
#include "raster/raster_ops.h"
#include "tests/sorbinel/sb_browse_fixture.h"

namespace sb_test {
namespace {

class BrowsePages : public BrowseTest {
 protected:
  static int page() { return sb().filter->current_page; }
  // A folder of the test holding copies of the fixture files named.
  std::string folder_of(const std::string& name, const std::vector<std::string>& files) {
    const std::string d = dir_ + name;
    fs::create_directories(d);
    for (const std::string& f : files) fs::copy(fixture(f), d + "/" + fs::path(f).filename().string());
    return d;
  }
  static bool animating() { return (sb().mode & kSbModeAnimation) != 0; }
};

TEST_F(BrowsePages, TiffAloneWrapsBothWays) {
  start({folder_of("t", {"pages.tif"})});
  ASSERT_EQ(shown(), "t/pages.tif");
  EXPECT_EQ(sb().filter->first_page, 1);
  EXPECT_EQ(sb().filter->page_count, 4);
  std::vector<int> pages{page()};
  for (int i = 0; i < 4; ++i) {
    space();
    pages.push_back(page());
    // Pages one below the other all stay drawn.
    EXPECT_EQ(drawn_pages(), (std::vector<int>{1, 2, 3, 4}));
  }
  EXPECT_EQ(pages, (std::vector<int>{1, 2, 3, 4, 1}));
  std::vector<int> back;
  for (int i = 0; i < 3; ++i) {
    space(1);
    back.push_back(page());
  }
  EXPECT_EQ(back, (std::vector<int>{4, 3, 2}));
  EXPECT_EQ(shown(), "t/pages.tif");
}

TEST_F(BrowsePages, TiffEnteredForwardsAtItsFirstPageBackwardsAtItsLast) {
  start({folder_of("t", {"browse/01_red.png", "pages.tif"})});
  ASSERT_EQ(shown(), "t/01_red.png");
  space();
  EXPECT_EQ(shown(), "t/pages.tif");
  EXPECT_EQ(page(), 1);
  // Forwards the pages come first, then the next file.
  std::vector<int> pages;
  for (int i = 0; i < 3; ++i) {
    space();
    pages.push_back(page());
  }
  EXPECT_EQ(pages, (std::vector<int>{2, 3, 4}));
  space();
  EXPECT_EQ(shown(), "t/01_red.png");
  // Backwards from the first file the list wraps to the TIFF, shown at its last page.
  space(1);
  EXPECT_EQ(shown(), "t/pages.tif");
  EXPECT_EQ(page(), 4);
  EXPECT_EQ(drawn_pages(), (std::vector<int>{1, 2, 3, 4}));
  space(1);
  EXPECT_EQ(shown(), "t/01_red.png");
}

// Each page of the TIFF (200 x 150) sits below the ones before it through a
// georeference of scale 1.0: its rows land at the sum of the heights above it.
TEST_F(BrowsePages, TiffPagesAreLaidOutOneBelowTheOther) {
  start({folder_of("t", {"browse/01_red.png", "pages.tif"})});
  space();
  ASSERT_EQ(shown(), "t/pages.tif");
  EXPECT_EQ(sb().filter->single_image, 0);
  EXPECT_DOUBLE_EQ(sb().filter->stored_zoom, 1.0);  // pages of their own: actual size
  const std::vector<bitmap_t*> images = shown_images();
  ASSERT_EQ(images.size(), 4u);
  for (size_t i = 0; i < images.size(); ++i) {
    SCOPED_TRACE(i);
    const bitmap_t* b = images[i];
    const double top = 150.0 * double(i);
    EXPECT_EQ(int{b->frame_number}, int(i) + 1);
    const georef_t* georef = b->georef;
    ASSERT_NE(georef, nullptr);
    const extent_t e = b->extent;
    EXPECT_DOUBLE_EQ(e.xmin, 0.0);
    EXPECT_DOUBLE_EQ(e.xmax, 200.0);
    EXPECT_DOUBLE_EQ(e.ymin, top);
    EXPECT_DOUBLE_EQ(e.ymax, top + 150.0);
    // A pixel rectangle goes through unscaled, only moved down.
    extent_t world{};
    georef_image_to_world(b, extent_t{10, 30, 20, 25, 0}, &world);
    EXPECT_DOUBLE_EQ(world.xmin, 10.0);
    EXPECT_DOUBLE_EQ(world.xmax, 30.0);
    EXPECT_DOUBLE_EQ(world.ymin, top + 20.0);
    EXPECT_DOUBLE_EQ(world.ymax, top + 25.0);
  }
  // The document holds the four pages: 200 wide, 600 high.
  extent_t all{};
  graphspace_compute_extent(sb().document, &all);
  EXPECT_DOUBLE_EQ(all.ymin, 0.0);
  EXPECT_DOUBLE_EQ(all.ymax, 600.0);
  EXPECT_DOUBLE_EQ(all.xmax - all.xmin, 200.0);
  // Shown again (backwards, at its last page) its pages keep the same offsets.
  space(1);
  ASSERT_EQ(shown(), "t/01_red.png");
  space(1);
  ASSERT_EQ(shown(), "t/pages.tif");
  EXPECT_EQ(page(), 4);
  const std::vector<bitmap_t*> again = shown_images();
  ASSERT_EQ(again.size(), 4u);
  for (size_t i = 0; i < again.size(); ++i) {
    const extent_t e = again[i]->extent;
    EXPECT_DOUBLE_EQ(e.ymin, 150.0 * double(i));
  }
}

// Frames of a GIF are still shown one at a time: only the current one is drawn.
TEST_F(BrowsePages, GifFramesAreNotLaidOut) {
  start({folder_of("g", {"anim0.gif"})});
  ASSERT_GT(sb().filter->page_count, sb().filter->first_page);
  EXPECT_EQ(drawn_pages(), std::vector<int>{page()});
  for (const bitmap_t* b : shown_images()) {
    const extent_t e = b->extent;
    const georef_t* georef = b->georef;
    EXPECT_DOUBLE_EQ(e.ymin, 0.0);
    EXPECT_EQ(georef, nullptr);
  }
}

// The frames of anim3.gif: delays 100, 200, 300 and 400 ms.
constexpr int64_t kFrameDelay[] = {0, 100, 200, 300, 400};

TEST_F(BrowsePages, GifLoopCountThreePlaysTwiceMoreAndStopsOnItsFirstFrame) {
  start({folder_of("g", {"anim3.gif"})});
  ASSERT_EQ(shown(), "g/anim3.gif");
  ASSERT_TRUE(animating());
  std::vector<int> frames{page()};
  for (int step = 0; step < 12 && animating(); ++step) {
    const int64_t delay = kFrameDelay[page()];
    tm_test::advance_time(delay - 1);
    EXPECT_EQ(frames.back(), page()) << "a frame came before its delay";
    tm_test::advance_time(1);
    frames.push_back(page());
    EXPECT_EQ(drawn_pages(), std::vector<int>{page()});
  }
  EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 4, 1, 2, 3, 4, 1}));
  EXPECT_FALSE(animating());
  tm_test::advance_time(5000);
  EXPECT_EQ(page(), 1);
  // Stopped, the file counts as a single page.
  EXPECT_EQ(sb().filter->page_count, sb().filter->first_page);
}

TEST_F(BrowsePages, GifLoopForeverNeverStops) {
  start({folder_of("g", {"anim0.gif"})});
  ASSERT_TRUE(animating());
  std::vector<int> frames;
  for (int step = 0; step < 20; ++step) {
    tm_test::advance_time(kFrameDelay[page()]);
    frames.push_back(page());
  }
  EXPECT_TRUE(animating());
  const std::vector<int> expected = {2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1};
  EXPECT_EQ(frames, expected);
}

TEST_F(BrowsePages, GifDuringASlideshowPlaysOnceThenTheSlideshowGoesOn) {
  start({folder_of("g", {"browse/01_red.png", "anim3.gif"})});
  ASSERT_EQ(shown(), "g/01_red.png");
  sb().delay_ms = 300;
  sb_next_file(0, 1);  // Ctrl+Space
  settle();
  ASSERT_EQ(shown(), "g/anim3.gif");
  ASSERT_TRUE(animating());
  std::vector<int> frames{page()};
  // The first frame lasts its own delay and the slideshow's.
  tm_test::advance_time(100 + 300 - 1);
  EXPECT_EQ(page(), 1);
  tm_test::advance_time(1);
  frames.push_back(page());
  for (int step = 0; step < 8 && animating(); ++step) {
    tm_test::advance_time(kFrameDelay[page()]);
    if (shown() != "g/anim3.gif") break;
    frames.push_back(page());
  }
  EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 4, 1}));
  EXPECT_FALSE(animating());
  // The slideshow then takes the next file after its own delay.
  tm_test::advance_time(299);
  EXPECT_EQ(shown(), "g/anim3.gif");
  tm_test::advance_time(1);
  EXPECT_EQ(shown(), "g/01_red.png");
  EXPECT_TRUE(sb().mode & kSbModeSlideshow);
}

// The upright picture of an EXIF orientation: the pixel of the stored picture (w x h)
// that lands at (x, y).
void stored_pixel_of(int orientation, int w, int h, int x, int y, int* sx, int* sy) {
  switch (orientation) {
    case 2: *sx = w - 1 - x; *sy = y; break;
    case 3: *sx = w - 1 - x; *sy = h - 1 - y; break;
    case 4: *sx = x; *sy = h - 1 - y; break;
    case 5: *sx = y; *sy = x; break;
    case 6: *sx = y; *sy = h - 1 - x; break;
    case 7: *sx = w - 1 - y; *sy = h - 1 - x; break;
    case 8: *sx = w - 1 - y; *sy = x; break;
    default: *sx = x; *sy = y; break;
  }
}

// Every sample of `image` equals that of the stored picture at the place the
// orientation maps it to.
void expect_upright(bitmap_t* image, bitmap_t* stored, int orientation) {
  const bool turned = orientation >= 5;
  ASSERT_EQ(int{image->width}, turned ? int{stored->height} : int{stored->width});
  ASSERT_EQ(int{image->height}, turned ? int{stored->width} : int{stored->height});
  ASSERT_EQ(int{image->planes}, int{stored->planes});
  int wrong = 0;
  for (int y = 0; y < image->height; ++y)
    for (int p = 0; p < image->planes; ++p)
      for (int x = 0; x < image->width; ++x) {
        int sx = 0, sy = 0;
        stored_pixel_of(orientation, stored->width, stored->height, x, y, &sx, &sy);
        const uint8_t a = image_line(image, y, p)[x];
        const uint8_t b = image_line(stored, sy, p)[sx];
        if (a != b && ++wrong < 5)
          ADD_FAILURE() << "(" << x << "," << y << ") plane " << p << ": " << int(a) << " not " << int(b);
      }
  EXPECT_EQ(wrong, 0) << "orientation " << orientation;
}

TEST_F(BrowsePages, PhotosShownUprightForEveryOrientation) {
  // The reference: the same picture stored without a turn.
  const std::string d = copy_fixture("exif");
  fs::copy(d + "/photo_o1.jpg", dir_ + "plain.jpg");
  fileatt_t* plain = nullptr;
  file_open(nullptr, nullptr, (dir_ + "plain.jpg").c_str(), &plain);
  ASSERT_NE(plain, nullptr);
  file_identify_and_load_default(plain);
  ASSERT_EQ(file_load(plain, nullptr, 0), 0);
  bitmap_t* stored = file_get_bitmap(plain, static_cast<bitmap_t**>(nullptr));
  ASSERT_NE(stored, nullptr);
  ASSERT_EQ(int{stored->width}, 12);
  ASSERT_EQ(int{stored->height}, 8);

  start({d});
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    ASSERT_EQ(shown(), "exif/photo_o" + std::to_string(n) + ".jpg");
    const std::vector<bitmap_t*> images = shown_images();
    ASSERT_EQ(images.size(), 1u);
    expect_upright(images[0], stored, n);
    EXPECT_LE(image_rotation(images[0]), 0);
    EXPECT_EQ(sb().filter->single_image, 1);
    space();
  }
}

TEST_F(BrowsePages, OrientationSixIsOneClockwiseTurnAndNeverTwo) {
  const std::string d = copy_fixture("exif");
  fs::copy(d + "/photo_o1.jpg", dir_ + "plain.jpg");
  fileatt_t* plain = nullptr;
  file_open(nullptr, nullptr, (dir_ + "plain.jpg").c_str(), &plain);
  file_identify_and_load_default(plain);
  ASSERT_EQ(file_load(plain, nullptr, 0), 0);
  bitmap_t* stored = file_get_bitmap(plain, static_cast<bitmap_t**>(nullptr));
  ASSERT_NE(stored, nullptr);
  bitmap_t* turned = image_rotate(stored, 2, static_cast<bitmap_t**>(nullptr));
  ASSERT_NE(turned, nullptr);

  auto same_as_turned = [&](bitmap_t* image) {
    ASSERT_EQ(int{image->width}, int{turned->width});
    ASSERT_EQ(int{image->height}, int{turned->height});
    for (int y = 0; y < turned->height; ++y)
      for (int p = 0; p < turned->planes; ++p)
        ASSERT_EQ(0, std::memcmp(image_line(image, y, p), image_line(turned, y, p), size_t(turned->width)))
            << "line " << y;
  };
  // Alone in the list: Space pages round its one page, the shown image stays.
  start({d + "/photo_o6.jpg"});
  ASSERT_EQ(shown(), "exif/photo_o6.jpg");
  same_as_turned(shown_images().at(0));
  EXPECT_EQ(image_rotation(shown_images().at(0)), -2);
  space();
  same_as_turned(shown_images().at(0));
  // Shown again after another file: loaded again and turned once.
  sb_queue_path((d + "/photo_o1.jpg").c_str());
  space();
  ASSERT_EQ(shown(), "exif/photo_o1.jpg");
  space();
  ASSERT_EQ(shown(), "exif/photo_o6.jpg");
  same_as_turned(shown_images().at(0));
  free_obj(&turned);
}

}  // namespace
}  // namespace sb_test
