// Images resampled into the display: block means against PIL's reduce at exactly 1:5,
// the transparent colour left out of the means and of the plain samples, the overview
// read when a screen pixel covers a whole overview tile, the rows walked with the
// pane's y axis, and the drawing giving way when a row is missing while a command waits.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/map/raster_display_fixture.h"

namespace {

using rd_test::RasterFixture;

// A binary PPM (P6) or PGM (P5) of the fixture folder: size, channels and samples.
struct netpbm {
  int width = 0, height = 0, channels = 0;
  std::vector<uint8_t> samples;  // interleaved
};

netpbm read_netpbm(const std::string& name) {
  netpbm img;
  std::ifstream in(std::string(TM_FIXTURE_DIR) + "/raster_display/" + name, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> img.width >> img.height >> maxval;
  in.get();
  img.channels = magic == "P6" ? 3 : 1;
  img.samples.resize(size_t(img.width) * size_t(img.height) * size_t(img.channels));
  in.read(reinterpret_cast<char*>(img.samples.data()), std::streamsize(img.samples.size()));
  EXPECT_TRUE(in.good()) << name;
  EXPECT_EQ(maxval, 255);
  return img;
}

class RasterDisplayImage : public RasterFixture {
 protected:
  bitmap_t* from_netpbm(const netpbm& src) {
    return make_bitmap(src.width, src.height, src.channels, [&](int x, int y, int p) {
      return src.samples[(size_t(y) * src.width + x) * src.channels + p];
    });
  }
};

// At exactly 1:5 with an averaging depth of 5 each screen pixel is the mean of a 5 x 5
// block: PIL's Image.reduce(5) of the same picture, within 1 (PIL rounds, we truncate).
TEST_F(RasterDisplayImage, OneToFiveMatchesPilReduce) {
  const struct {
    const char* source;
    const char* reduced;
    int kind;
  } cases[] = {{"source_rgb.ppm", "reduced_rgb.ppm", 4}, {"source_rgb.ppm", "reduced_rgb.ppm", 0},
               {"source_grey.pgm", "reduced_grey.pgm", 1}, {"source_grey.pgm", "reduced_grey.pgm", 3}};
  config_set("NB_LINES_MEAN_IMAGE_DISPLAY", "5");
  set_mapping(0.2, 0.2, 0, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.source << " kind " << c.kind);
    const netpbm src = read_netpbm(c.source), want = read_netpbm(c.reduced);
    ASSERT_EQ(want.width * 5, src.width);
    ASSERT_EQ(want.height * 5, src.height);
    bitmap_t* b = from_netpbm(src);
    b->byte20 = uint8_t(c.kind);
    surface_ = plat::Surface(kW, kH, 0xFF123456u);
    ASSERT_EQ(compose({b}), 0);
    int worst = 0;
    for (int y = 0; y < want.height; ++y)
      for (int x = 0; x < want.width; ++x)
        for (int ch = 0; ch < 3; ++ch) {
          const int expected = want.samples[(size_t(y) * want.width + x) * want.channels +
                                            (want.channels == 3 ? ch : 0)];
          const int got = int(at(x, y) >> (16 - 8 * ch) & 255);
          worst = std::max(worst, std::abs(got - expected));
        }
    EXPECT_LE(worst, 1);
    EXPECT_EQ(at(want.width, 0), rgb(200, 200, 200));  // beside the image: background
  }
}

// The depth limits the rows of each block: with depth 1 only the first row of each
// 5 x 5 block counts.
TEST_F(RasterDisplayImage, DepthLimitsTheRowsOfABlock) {
  bitmap_t* b = make_bitmap(10, 10, 1, [](int, int y, int) { return y % 5 == 0 ? 100 : 0; });
  set_mapping(0.2, 0.2, 0, 0);
  const struct {
    const char* depth;
    int value;
  } cases[] = {{"1", 100}, {"2", 50}, {"5", 20}, {"9", 20}};
  for (const auto& c : cases) {
    config_reset();
    config_set("NB_LINES_MEAN_IMAGE_DISPLAY", c.depth);
    compose({b});
    EXPECT_EQ(at(1, 1), rgb(c.value, c.value, c.value)) << c.depth;
  }
}

// The public means: 5 columns at most, the depth's rows, transparent pixels left out,
// 1 when none counts, -1 when the line reader gives way.
TEST_F(RasterDisplayImage, BlockMeansSkipTheTransparentColour) {
  bitmap_t* grey = make_bitmap(8, 4, 1, [](int x, int, int) { return x * 10; });
  int v = -1;
  EXPECT_EQ(image_mean_gray(grey, 0, 8, 0, 4, 0, &v, 2), 0);
  EXPECT_EQ(v, 20);  // columns 0..4 only
  grey->has_transparent = 1;
  grey->transparent[0] = 0;
  EXPECT_EQ(image_mean_gray(grey, 0, 3, 0, 4, 0, &v, 2), 0);
  EXPECT_EQ(v, 15);  // 10 and 20
  v = -1;
  EXPECT_EQ(image_mean_gray(grey, 0, 1, 0, 4, 0, &v, 2), 1);  // every pixel transparent
  EXPECT_EQ(v, -1);
  EXPECT_EQ(image_mean_gray(grey, 0, 3, 0, 4, 1, &v, 2), 1);  // no such band

  bitmap_t* rgb_img = make_bitmap(4, 2, 3, [](int x, int, int p) { return x * 10 + p; });
  rgb_img->has_transparent = 1;
  rgb_img->transparent[0] = 10;
  rgb_img->transparent[1] = 11;
  rgb_img->transparent[2] = 12;
  int r = -1, g = -1, bl = -1;
  EXPECT_EQ(image_mean_rgb(rgb_img, 0, 2, 0, 2, &r, &g, &bl, 3), 0);
  EXPECT_EQ(r, 0);  // pixel 1 is the transparent colour
  EXPECT_EQ(g, 1);
  EXPECT_EQ(bl, 2);
  rgb_img->transparent[2] = 99;  // only a full match is transparent
  EXPECT_EQ(image_mean_rgb(rgb_img, 0, 2, 0, 2, &r, &g, &bl, 3), 0);
  EXPECT_EQ(r, 5);
  EXPECT_EQ(bl, 7);

  bitmap_t* pal = make_bitmap(4, 1, 1, [](int x, int, int) { return x; });
  for (int i = 0; i < 4; ++i) {
    pal->lut_r[i] = uint8_t(100 + i);
    pal->lut_g[i] = uint8_t(10 * i);
    pal->lut_b[i] = 7;
  }
  pal->has_transparent = 1;
  pal->transparent[0] = 3;
  EXPECT_EQ(image_mean_lut(pal, 0, 4, 0, 1, &r, &g, &bl, 1), 0);
  EXPECT_EQ(r, 101);
  EXPECT_EQ(g, 10);
  EXPECT_EQ(bl, 7);

  get_raster_display_hooks().image_line = [](bitmap_t*, int, int) -> uint8_t* { return nullptr; };
  EXPECT_EQ(image_mean_gray(grey, 0, 3, 0, 4, 0, &v, 2), -1);
  EXPECT_EQ(image_mean_lut(pal, 0, 4, 0, 1, &r, &g, &bl, 1), -1);
}

// A block wholly of the transparent colour leaves the background; a block partly of it
// gets the mean of the others; plain samples skip it as well.
TEST_F(RasterDisplayImage, TransparentPixelsLeaveTheBackground) {
  // Left half transparent (0), right half: columns of 0 and 90.
  bitmap_t* b = make_bitmap(10, 5, 1, [](int x, int, int) { return x < 5 ? 0 : x % 2 ? 90 : 0; });
  b->has_transparent = 1;
  b->transparent[0] = 0;
  b->byte20 = 1;
  set_mapping(0.2, 0.2, 0, 0);
  compose({b});
  EXPECT_EQ(at(0, 0), rgb(200, 200, 200));
  EXPECT_EQ(at(1, 0), rgb(90, 90, 90));
  // At 1:1 (plain samples through the tables).
  set_mapping(1, 1, 0, 0);
  compose({b});
  EXPECT_EQ(at(0, 0), rgb(200, 200, 200));
  EXPECT_EQ(at(6, 2), rgb(200, 200, 200));
  EXPECT_EQ(at(7, 2), rgb(90, 90, 90));
  // A colour image at 1:1.
  bitmap_t* c = make_bitmap(2, 1, 3, [](int x, int, int p) { return x == 0 ? 5 + p : 50; });
  c->has_transparent = 1;
  c->transparent[0] = 5;
  c->transparent[1] = 6;
  c->transparent[2] = 7;
  compose({c});
  EXPECT_EQ(at(0, 0), rgb(200, 200, 200));
  EXPECT_EQ(at(1, 0), rgb(50, 50, 50));
}

// At 1:1 and enlarged each screen pixel takes the source pixel under its centre, one
// plane through the lookup tables; images later in the list are drawn over earlier ones.
TEST_F(RasterDisplayImage, PlainSamplesThroughTheTables) {
  bitmap_t* pal = make_bitmap(4, 2, 1, [](int x, int y, int) { return x + 4 * y; });
  for (int i = 0; i < 8; ++i) {
    pal->lut_r[i] = uint8_t(i * 30);
    pal->lut_g[i] = uint8_t(255 - i);
    pal->lut_b[i] = 1;
  }
  set_mapping(2, 2, 0, 0);  // each source pixel covers 2 x 2 screen pixels
  compose({pal});
  const struct {
    int x, y, index;
  } cases[] = {{0, 0, 0}, {1, 1, 0}, {2, 0, 1}, {7, 3, 7}, {5, 2, 6}};
  for (const auto& c : cases)
    EXPECT_EQ(at(c.x, c.y), rgb(c.index * 30, 255 - c.index, 1)) << c.x << "," << c.y;
  EXPECT_EQ(at(8, 0), rgb(200, 200, 200));
  bitmap_t* top = uniform(1, 1, 1, 77);
  compose({pal, top});
  EXPECT_EQ(at(1, 1), rgb(77, 77, 77));
  EXPECT_EQ(at(2, 2), rgb(150, 250, 1));
}

// With the world's y axis up (negative scale), the image's first row is at the bottom.
TEST_F(RasterDisplayImage, FollowsThePaneAxes) {
  bitmap_t* b = make_bitmap(3, 4, 1, [](int x, int y, int) { return 10 * y + x; });
  set_mapping(1, -1, 0, -4);  // screen y = 4 - world y
  compose({b});
  EXPECT_EQ(at(0, 3), rgb(0, 0, 0));
  EXPECT_EQ(at(2, 3), rgb(2, 2, 2));
  EXPECT_EQ(at(1, 0), rgb(31, 31, 31));
  // Shifted and reduced, the first row still lands at the bottom.
  bitmap_t* big = make_bitmap(20, 20, 1, [](int, int y, int) { return y < 10 ? 40 : 80; });
  set_mapping(0.5, -0.5, 4, -20);  // image x 0..20 at screen 2..12, y 20..0 at screen 0..10
  compose({big});
  EXPECT_EQ(at(2, 9), rgb(40, 40, 40));
  EXPECT_EQ(at(11, 0), rgb(80, 80, 80));
  EXPECT_EQ(at(1, 5), rgb(200, 200, 200));
  EXPECT_EQ(at(12, 5), rgb(200, 200, 200));
}

// A screen pixel covering a whole overview tile reads the overview; below that the image.
TEST_F(RasterDisplayImage, OverviewSampledAtItsFactor) {
  bitmap_t* b = uniform(200, 100, 1, 60);
  ASSERT_EQ(int(b->tiles_across), 20);
  ASSERT_EQ(int(b->tiles_down), 10);
  for (int row = 0; row < b->tiles_down; ++row) {
    uint8_t* line = filemobj_get_line(b->overview, row, 0);
    for (int x = 0; x < b->tiles_across; ++x) line[x] = uint8_t(x);  // tile column number
  }
  set_mapping(0.1, 0.1, 0, 0);  // 10 source pixels per screen pixel
  compose({b});
  EXPECT_EQ(at(0, 0), rgb(0, 0, 0));
  EXPECT_EQ(at(7, 3), rgb(7, 7, 7));
  EXPECT_EQ(at(19, 9), rgb(19, 19, 19));
  EXPECT_EQ(at(20, 0), rgb(200, 200, 200));
  set_mapping(0.05, 0.05, 0, 0);  // 20 source pixels: means of 2 x 2 overview pixels
  compose({b});
  EXPECT_EQ(at(3, 1), rgb(6, 6, 6));  // (6 + 7) / 2, truncated
  EXPECT_EQ(at(10, 0), rgb(200, 200, 200));
  set_mapping(0.2, 0.2, 0, 0);  // 5 source pixels: the image
  compose({b});
  EXPECT_EQ(at(7, 3), rgb(60, 60, 60));
  // The loader's factor decides.
  get_raster_display_hooks().overview_factor = [] { return 5; };
  compose({b});
  EXPECT_EQ(at(7, 3), rgb(7, 7, 7));  // positions divided by the factor
}

// A row missing while a command waits ends the image with 1; the rows drawn so far stay.
TEST_F(RasterDisplayImage, GivesWayOnAMissingRow) {
  bitmap_t* b = uniform(4, 6, 1, 33);
  get_raster_display_hooks().image_line = [](bitmap_t* img, int row, int overview) -> uint8_t* {
    return row >= 3 || overview ? nullptr : get_img_line_adr(img, row, 0);
  };
  raster_display_begin();
  EXPECT_EQ(raster_display_draw(b), 1);
  raster_display_end();
  EXPECT_EQ(at(0, 2), rgb(33, 33, 33));
  EXPECT_EQ(at(0, 3), rgb(200, 200, 200));
  // The same through the block means.
  set_mapping(0.5, 0.5, 0, 0);
  raster_display_begin();
  EXPECT_EQ(raster_display_draw(b), 1);
  raster_display_end();
}

// The default reader loads a row that is not in memory only when no command waits.
TEST_F(RasterDisplayImage, DefaultReaderYieldsWhileWorkIsPending) {
  bitmap_t* b = nullptr;
  obj_new_registered(CLS_BITMAP, &b);
  made_.push_back(b);
  ASSERT_EQ(alloc_bitmap(b, 4, 4, 1, 0), 0);
  set_graylevel_lut(b);
  ASSERT_EQ(bitmap_line_loaded(b, 0), 0);
  static bool pending = true;
  visible_hooks h = visible_get_hooks();
  h.work_pending = [] { return pending ? 1 : 0; };
  visible_set_hooks(&h);
  raster_display_begin();
  EXPECT_EQ(raster_display_draw(b), 1);
  pending = false;
  EXPECT_EQ(raster_display_draw(b), 0);
  raster_display_end();
  EXPECT_EQ(at(0, 0), 0u);  // rows of zeros loaded and drawn
  pending = true;
  raster_display_begin();
  EXPECT_EQ(raster_display_draw(b), 0);  // now in memory: no need to give way
  raster_display_end();
}

}  // namespace
