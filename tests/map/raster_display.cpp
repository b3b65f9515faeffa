// The raster display's frame: the exported colour shifts, the display buffer (row sizes,
// header, background, page clipping), the averaging depth read from the configuration,
// and the colour rules applied before the copy (monochrome ramp, inverse display).
#include <dlfcn.h>

#include <limits>

#include "tests/map/raster_display_fixture.h"

namespace {

using rd_test::RasterFixture;

class RasterDisplayFrame : public RasterFixture {};

// Looked up by name in the program's module, as the plug-in does.
TEST_F(RasterDisplayFrame, ShiftsAreExportedByName) {
  int r = -1, g = -1, b = -1, t = -1;
  get_colour_shifts(&r, &g, &b, &t);
  EXPECT_EQ(r, 16);
  EXPECT_EQ(g, 8);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(t, 24);
  const void* const* data = nullptr;
  ASSERT_EQ(raster_display_exported_data(&data), 4);
  void* self = dlopen(nullptr, RTLD_NOW);
  ASSERT_NE(self, nullptr);
  if (!dlsym(self, "gblerr")) {
    dlclose(self);
    GTEST_SKIP() << "the test program does not export its symbols (link it with -rdynamic)";
  }
  const struct {
    const char* name;
    const int32_t* address;
    int value;
  } names[] = {{"rshift", &rshift, 16}, {"vshift", &vshift, 8}, {"bshift", &bshift, 0},
               {"tshift", &tshift, 24}};
  for (int i = 0; i < 4; ++i) {
    const auto& n = names[i];
    const void* found = dlsym(self, n.name);
    EXPECT_EQ(found, static_cast<const void*>(n.address)) << n.name;
    EXPECT_EQ(found, data[i]) << n.name;
    if (found) {
      EXPECT_EQ(*static_cast<const int32_t*>(found), n.value) << n.name;
    }
  }
  dlclose(self);
}

TEST_F(RasterDisplayFrame, PrepareSizesRowsAndHeader) {
  const struct {
    int w, h, bpp;
    int result, row_bytes, header_width;
  } cases[] = {
      {6, 3, 8, 0, 8, 8},      // a 6-pixel rectangle: 8 bytes per row on a grey page
      {6, 3, 32, 0, 32, 8},
      {4, 1, 32, 0, 16, 4},
      {1, 1, 8, 0, 4, 4},
      {0, 5, 32, 1, 0, 0},     // no area
      {5, -1, 32, 1, 0, 0},
      {kDibMaxSide + 1, 1, 32, 1, 0, 0},  // beyond any page: refused, nothing allocated
      {3, 3, 16, 1, 0, 0},     // a depth the display does not compose
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "@" << c.bpp);
    int row_bytes = 0, shifts[4] = {-1, -1, -1, -1};
    uint8_t* buffer = nullptr;
    ASSERT_EQ(dib_prepare(7, 9, c.w, c.h, c.bpp, &row_bytes, &buffer, shifts), c.result);
    if (c.result != 0) continue;
    const raster_dib& d = raster_display_buffer();
    EXPECT_EQ(row_bytes, c.row_bytes);
    EXPECT_EQ(buffer, d.pixels);
    EXPECT_EQ(d.header.width, c.header_width);
    EXPECT_EQ(d.header.height, -c.h);  // rows top-down
    EXPECT_EQ(d.header.bit_count, c.bpp);
    EXPECT_EQ(d.palette_mode, c.bpp == 8);
    EXPECT_EQ(d.x, 7);
    EXPECT_EQ(d.y, 9);
    EXPECT_EQ(shifts[0], 16);
    EXPECT_EQ(shifts[3], 24);
    // The whole buffer is writable (ASan checks the size).
    std::memset(buffer, 0xAB, size_t(row_bytes) * size_t(c.h));
  }
}

TEST_F(RasterDisplayFrame, HeaderResolutionFollowsThePane) {
  const struct {
    int printing, resolution, expected;
  } cases[] = {{0, 0, 96}, {1, 0, 600}, {0, 300, 300}, {1, 150, 150}};
  for (const auto& c : cases) {
    pane_->printing = c.printing;
    pane_->resolution = c.resolution;
    raster_display_begin();
    EXPECT_EQ(raster_display_buffer().resolution, c.expected);
    raster_display_end();
  }
}

// Nothing but the background: the whole rectangle in the window's colour, on a
// truecolour window and on a grey page (the colour's green byte as grey level).
TEST_F(RasterDisplayFrame, BackgroundFillsTheRectangle) {
  win_->background = colour_word(10, 20, 30);
  set_rect(extent_t{2, 12, 3, 8, 0});
  compose({});
  EXPECT_EQ(at(2, 3), rgb(10, 20, 30));
  EXPECT_EQ(at(11, 7), rgb(10, 20, 30));
  EXPECT_EQ(at(12, 7), 0x123456u);  // outside the rectangle: untouched
  EXPECT_EQ(at(1, 3), 0x123456u);
  EXPECT_EQ(at(2, 8), 0x123456u);
  win_->depth = 8;
  win_->background = colour_word(10, 70, 30);
  compose({});
  EXPECT_EQ(at(5, 5), rgb(70, 70, 70));
}

// The rectangle is restored as the pane's and only its part on the page is copied.
TEST_F(RasterDisplayFrame, CopyIsClippedToThePage) {
  set_page(extent_t{0, 10, 0, 10, 0});
  set_rect(extent_t{5, 20, 5, 20, 0});
  compose({uniform(40, 30, 1, 99)});
  EXPECT_EQ(at(9, 9), rgb(99, 99, 99));
  EXPECT_EQ(at(10, 9), 0x123456u);
  EXPECT_EQ(at(9, 10), 0x123456u);
  extent_t now{};
  std::memcpy(&now, reinterpret_cast<char*>(pane_) + offsetof(pane_t, current), sizeof now);
  EXPECT_EQ(now.xmin, 5);
  EXPECT_EQ(now.xmax, 20);
  // A rectangle wholly off the page copies nothing.
  set_rect(extent_t{15, 20, 15, 20, 0});
  compose({uniform(40, 30, 1, 7)});
  EXPECT_EQ(at(17, 17), 0x123456u);
}

// Without a pane, a map window or a device context nothing is drawn and nothing fails.
TEST_F(RasterDisplayFrame, NothingToDrawIntoIsHarmless) {
  bitmap_t* b = uniform(4, 4, 1, 50);
  rd_test::pane_slot() = nullptr;
  EXPECT_EQ(compose({b}), 0);
  rd_test::pane_slot() = pane_;
  win_->dc = nullptr;
  EXPECT_EQ(compose({b}), 0);
  EXPECT_EQ(win_->print_error, 0);
  win_->dc = dc_;
  set_rect(extent_t{0, 1e300, 0, 5, 0});  // no DIB that size: refused
  EXPECT_EQ(compose({b}), 0);
  EXPECT_EQ(at(0, 0), 0x123456u);
  // Mappings that give no finite image pixel draw no image.
  set_rect(extent_t{0, 4, 0, 4, 0});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double mappings[][4] = {{0, 0, 0, 0}, {nan, 1, 0, 0}, {1, 1, nan, 0}, {1e300, 1e300, 1e300, 0}};
  for (const auto& m : mappings) {
    set_mapping(m[0], m[1], m[2], m[3]);
    EXPECT_EQ(compose({b}), 0);
    EXPECT_EQ(at(0, 0) == rgb(50, 50, 50) || at(0, 0) == rgb(200, 200, 200), true);
  }
}

TEST_F(RasterDisplayFrame, AveragingDepthFromTheConfiguration) {
  const struct {
    const char* value;
    bool embedded;
    int depth;
  } cases[] = {{nullptr, false, 3}, {"0", false, 1}, {"50", false, 10}, {"5", false, 5},
               {"-4", false, 1},    {"7", true, 1},  {nullptr, true, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(absent)");
    config_reset();
    config_set("NB_LINES_MEAN_IMAGE_DISPLAY", c.value);
    set_embedded(c.embedded);
    EXPECT_EQ(raster_averaging_depth(), c.depth);
  }
}

TEST_F(RasterDisplayFrame, MonochromeRampEntries) {
  const uint32_t red = colour_word(255, 0, 0);
  const uint32_t grey = colour_word(128, 64, 32);
  const struct {
    uint32_t colour;
    int inverse, i;
    uint32_t expected;
  } cases[] = {
      {red, 0, 0, 0},           {red, 0, 255, rgb(254, 0, 0)},  {red, 0, 128, rgb(127, 0, 0)},
      {red, 1, 0, rgb(254, 0, 0)}, {red, 1, 255, 0},            {grey, 0, 255, rgb(127, 63, 31)},
      {grey, 1, 55, rgb(100, 50, 25)},
  };
  for (const auto& c : cases) EXPECT_EQ(mono_ramp_entry(c.colour, c.inverse, c.i), c.expected);
}

// A white and a black pixel under the monochrome and inverse rules, on a truecolour
// window and on a grey page.
TEST_F(RasterDisplayFrame, MonochromeAndInverseDisplay) {
  bitmap_t* img = make_bitmap(2, 1, 3, [](int x, int, int p) { return x == 0 ? 255 : p == 0 ? 10 : 0; });
  const struct {
    int depth, monochrome, inverse;
    uint32_t white, other;
  } cases[] = {
      {32, 1, 0, rgb(254, 0, 0), rgb(0, 0, 0)},        // red ramp: white almost red
      {32, 1, 1, rgb(0, 0, 0), rgb(254, 0, 0)},        // the ramp the other way
      {32, 0, 1, rgb(0, 0, 0), rgb(245, 255, 255)},    // inverse alone
      {32, 0, 0, rgb(255, 255, 255), rgb(10, 0, 0)},
      {8, 1, 0, rgb(254, 0, 0), rgb(2, 0, 0)},         // grey page: (10,0,0) is grey 3
      {8, 1, 1, rgb(0, 0, 0), rgb(251, 0, 0)},
      {8, 0, 1, rgb(0, 0, 0), rgb(252, 252, 252)},
      {8, 0, 0, rgb(255, 255, 255), rgb(3, 3, 3)},     // grey page alone: luminance
  };
  set_rect(extent_t{0, 2, 0, 1, 0});
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.depth << " mono " << c.monochrome << " inverse " << c.inverse);
    win_->depth = c.depth;
    win_->monochrome = c.monochrome;
    win_->mono_colour = colour_word(255, 0, 0);
    win_->inverse = c.inverse;
    EXPECT_EQ(compose({img}), 0);
    EXPECT_EQ(at(0, 0), c.white);
    EXPECT_EQ(at(1, 0), c.other);
  }
}

}  // namespace
