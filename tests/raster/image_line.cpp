// Reading lines of an image: a line dropped from a store that never swaps, or any
// missing line in embedded mode, is decoded again into the same stores (the addresses
// of other lines stay valid and lines the second decode does not write are kept); the
// overview rows; giving way to a waiting command; the overview queue and its builder;
// and the display hooks the raster module fills.
#include <cstring>

#include "core/line_store.h"
#include "core/line_store_record.h"
#include "map/raster_display.h"
#include "tests/raster/image_load_fixture.h"

namespace {

class ImageLineTest : public raster_test::ImageLoadTest {};
using raster_test::pattern;
using raster_test::pattern_state;

bool line_is_pattern(const uint8_t* line, int width, int y, int plane) {
  if (!line) return false;
  for (int x = 0; x < width; ++x)
    if (line[x] != pattern(x, y, plane)) return false;
  return true;
}

int yes() { return 1; }

TEST_F(ImageLineTest, DroppedLineOfANeverSwappedStoreIsDecodedIntoTheSameStore) {
  bitmap_t* b = pattern_image(25, 7, 3, 3);
  ASSERT_NE(b, nullptr);
  filemobj_t* lines = b->lines;
  filemobj_t* overview = b->overview;
  const uint8_t* kept = image_line(b, 0, 2);  // held by a reader across the decode
  filemobj_release_line(b->lines, 4);
  ASSERT_FALSE(bitmap_line_loaded(b, 4));
  const uint8_t* again = image_line(b, 4, 1);
  EXPECT_EQ(pattern_state().calls, 2);
  EXPECT_EQ(pattern_state().last_requested_line, 4);
  EXPECT_EQ(val(b->lines), lines);
  EXPECT_EQ(val(b->overview), overview);
  EXPECT_TRUE(line_is_pattern(again, 25, 4, 1));
  EXPECT_TRUE(line_is_pattern(kept, 25, 0, 2));  // still a live block of the same store
  EXPECT_EQ(image_line(b, 0, 2), kept);
  ASSERT_NE(image_reopened_files(), nullptr);
  EXPECT_EQ(obj_list_count(image_reopened_files()), 1);
  image_close_reopened_files();
  EXPECT_EQ(obj_list_count(image_reopened_files()), 0);
}

TEST_F(ImageLineTest, SecondDecodeKeepsTheLinesItDoesNotWrite) {
  bitmap_t* b = pattern_image(12, 5, 1, 3);
  ASSERT_NE(b, nullptr);
  uint8_t* first = get_img_line_adr(b, 0, 0);
  std::memset(first, 0xEE, 12);
  pattern_state().only_requested = true;
  filemobj_release_line(b->lines, 3);
  EXPECT_TRUE(line_is_pattern(image_line(b, 3, 0), 12, 3, 0));
  const uint8_t* line0 = image_line(b, 0, 0);
  for (int x = 0; x < 12; ++x) EXPECT_EQ(line0[x], 0xEE);
}

TEST_F(ImageLineTest, SecondDecodeOfAnotherSizeLeavesTheStoreAsItWas) {
  bitmap_t* b = pattern_image(12, 5, 1, 3);
  ASSERT_NE(b, nullptr);
  filemobj_t* lines = b->lines;
  pattern_state().width = 40;  // the file changed under the image
  filemobj_release_line(b->lines, 2);
  const uint8_t* line = image_line(b, 2, 0);
  EXPECT_EQ(pattern_state().calls, 2);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(val(b->lines), lines);
  EXPECT_EQ(val(b->width), 12);
  ASSERT_NE(line, nullptr);
  for (int x = 0; x < 12; ++x) EXPECT_EQ(line[x], 0);  // a discarded line comes back empty
}

struct mode_case {
  bool embedded;
  int decodes;  // after the line was written to swap and released
};

TEST_F(ImageLineTest, SwappedLineComesBackFromSwapOrByDecodingInEmbeddedMode) {
  for (const mode_case c : {mode_case{false, 0}, mode_case{true, 1}}) {
    SCOPED_TRACE(c.embedded);
    set_embedded(false);
    bitmap_t* b = pattern_image(30, 6, 1, 2);
    ASSERT_NE(b, nullptr);
    const int before = pattern_state().calls;
    bitmap_swap_out_line(b, 5);
    ASSERT_FALSE(bitmap_line_loaded(b, 5));
    set_embedded(c.embedded);
    EXPECT_TRUE(line_is_pattern(image_line(b, 5, 0), 30, 5, 0));
    EXPECT_EQ(pattern_state().calls - before, c.decodes);
    set_embedded(false);
  }
}

TEST_F(ImageLineTest, LineOutsideTheImageIsNull) {
  bitmap_t* b = pattern_image(4, 4, 1, 2);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(image_line(b, -1, 0), nullptr);
  EXPECT_EQ(image_line(b, 4, 0), nullptr);
  EXPECT_EQ(image_line(b, 0, 1), nullptr);
  EXPECT_EQ(image_line(nullptr, 0, 0), nullptr);
}

struct overview_case {
  int width, height, across, down;
};

TEST_F(ImageLineTest, OverviewRowHoldsTheTopLeftPixelOfEachTile) {
  for (const overview_case c : {overview_case{25, 7, 3, 1}, overview_case{10, 10, 1, 1},
                                overview_case{11, 21, 2, 3}}) {
    SCOPED_TRACE(c.width);
    bitmap_t* b = pattern_image(c.width, c.height, 3, 2);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(val(b->tiles_across), c.across);
    ASSERT_EQ(val(b->tiles_down), c.down);
    for (int r = 0; r < c.down; ++r) {
      const uint8_t* row = image_line_or_overview(b, r, 1);
      ASSERT_NE(row, nullptr);
      for (int p = 0; p < 3; ++p)
        for (int j = 0; j < c.across; ++j)
          EXPECT_EQ(row[p * c.across + j], pattern(10 * j, 10 * r, p)) << r << " " << j;
    }
    EXPECT_TRUE(line_is_pattern(image_line_or_overview(b, c.height - 1, 0), c.width,
                                c.height - 1, 0));
  }
}

TEST_F(ImageLineTest, MissingLineGivesWayToAWaitingCommand) {
  bitmap_t* b = pattern_image(25, 17, 1, 2);
  ASSERT_NE(b, nullptr);
  get_image_load_hooks().yield_requested = yes;
  EXPECT_EQ(image_line_or_overview(b, 1, 1), nullptr);  // overview row not built yet
  EXPECT_NE(image_line_or_overview(b, 3, 0), nullptr);  // resident full line
  bitmap_swap_out_line(b, 3);
  EXPECT_EQ(image_line_or_overview(b, 3, 0), nullptr);
  get_image_load_hooks().yield_requested = nullptr;
  EXPECT_TRUE(line_is_pattern(image_line_or_overview(b, 3, 0), 25, 3, 0));
}

TEST_F(ImageLineTest, RasterModuleFillsTheDisplayHooks) {
  const raster_display_hooks& h = get_raster_display_hooks();
  ASSERT_NE(h.overview_factor, nullptr);
  EXPECT_EQ(h.overview_factor(), 10);
  bitmap_t* b = pattern_image(25, 7, 1, 2);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(line_is_pattern(raster_image_line(b, 6, 0), 25, 6, 0));
  const uint8_t* row = raster_image_line(b, 0, 1);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row[2], pattern(20, 0, 0));
  ASSERT_NE(get_bitmap_hooks().plugin_load, nullptr);
  ASSERT_NE(get_bitmap_hooks().destroyed, nullptr);
}

struct queue_case {
  int format;
  bool folder;
  int queued;
};

TEST_F(ImageLineTest, OnlyTiffImagesWithAReducedImageFolderAreQueued) {
  const queue_case cases[] = {{kDecoderPng, true, 0}, {kDecoderTiff, false, 0},
                              {kDecoderTiff, true, 1}};
  for (const queue_case& c : cases) {
    SCOPED_TRACE(c.format);
    overview_queue_clear();
    const std::string folder = tm_test::fresh_dir("ireduce");
    configure("ENGLISH", c.folder ? folder.c_str() : nullptr);
    bitmap_t* b = pattern_image(25, 27, 1, 2);
    ASSERT_NE(b, nullptr);
    b->format = c.format;
    overview_queue_image(b);
    EXPECT_EQ(overview_queue_count(), c.queued);
  }
}

TEST_F(ImageLineTest, QueuedOverviewIsBuiltUnlessACommandWaits) {
  configure("ENGLISH", tm_test::fresh_dir("ireduce").c_str());
  bitmap_t* b = pattern_image(25, 27, 1, 2);
  ASSERT_NE(b, nullptr);
  b->format = kDecoderTiff;
  overview_queue_image(b);
  ASSERT_EQ(overview_queue_count(), 1);
  get_image_load_hooks().yield_requested = yes;
  overview_build_queued();
  EXPECT_EQ(overview_queue_count(), 1);
  get_image_load_hooks().yield_requested = nullptr;
  overview_build_queued();
  EXPECT_EQ(overview_queue_count(), 0);
  for (int r = 0; r < b->tiles_down; ++r) {
    const uint8_t* row = filemobj_get_line(b->overview, r, 1);
    ASSERT_NE(row, nullptr);
    for (int j = 0; j < b->tiles_across; ++j) EXPECT_EQ(row[j], pattern(10 * j, 10 * r, 0));
  }
}

TEST_F(ImageLineTest, FreedImageLeavesTheQueue) {
  configure("ENGLISH", tm_test::fresh_dir("ireduce").c_str());
  bitmap_t* b = pattern_image(25, 27, 1, 2);
  ASSERT_NE(b, nullptr);
  b->format = kDecoderTiff;
  overview_queue_image(b);
  ASSERT_EQ(overview_queue_count(), 1);
  obj_list_remove_id(lists_.back(), b->id);
  free_obj(&b);
  EXPECT_EQ(overview_queue_count(), 0);
}

}  // namespace
