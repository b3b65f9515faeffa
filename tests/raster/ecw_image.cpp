// ECW images through the stand-in decoder: loading (no pixel decoded), the
// georeference of the file information, line blocks, and the display and printing path.
#include <cmath>
#include <cstring>
#include <thread>

#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "map/extent_map.h"
#include "tests/raster/ecw_fixture.h"

namespace {

using ecw_test::EcwTest;
using ecw_test::rgb_at;

// ---- Loading ---------------------------------------------------------------------------
struct load_case {
  const char* file;
  int width, height, bands, planes;
};

class EcwLoad : public EcwTest, public ::testing::WithParamInterface<load_case> {};

TEST_P(EcwLoad, OpensSizesAndDecodesNoPixel) {
  const load_case c = GetParam();
  bitmap_t* b = loaded(c.file);
  EXPECT_EQ(val(b->width), c.width);
  EXPECT_EQ(val(b->height), c.height);
  EXPECT_EQ(val(b->samples_per_pixel), c.bands);
  EXPECT_EQ(val(b->planes), c.planes);
  EXPECT_EQ(val(b->bits_per_sample), 8);
  EXPECT_EQ(val(b->variant), 25);
  EXPECT_EQ(val(b->lines), nullptr) << "an ECW image never gets a line store";
  EXPECT_EQ(ecw_has_view(b), 1);
  // Only the view and its information: no region, no line.
  EXPECT_EQ(calls(), (std::vector<std::string>{"73 open " + fixture(c.file), "71 info"}));
}

INSTANTIATE_TEST_SUITE_P(Files, EcwLoad,
                         ::testing::Values(load_case{"utm.ecw", 40, 30, 3, 3},
                                           load_case{"grey.ecw", 40, 30, 1, 1},
                                           load_case{"two_bands.ecw", 40, 30, 2, 1},
                                           load_case{"five_bands.ecw", 40, 30, 5, 3},
                                           load_case{"huge.ecw", 1000000, 1000000, 3, 3}));

TEST_F(EcwTest, OneBandGetsIdentityTables) {
  bitmap_t* b = record("grey.ecw");
  std::memset(b->lut_g, 0, 256);
  ASSERT_EQ(ecw_read(b, kImageFirstLoad), 0);
  for (int v : {0, 1, 128, 255}) EXPECT_EQ(b->lut_g[v], v);
}

TEST_F(EcwTest, SecondOpenOfAnOpenImageDoesNothing) {
  bitmap_t* b = loaded("utm.ecw");
  clear_calls();
  EXPECT_EQ(ecw_open(b), 0);
  EXPECT_TRUE(calls().empty());
}

// ---- Refused files ---------------------------------------------------------------------
TEST_F(EcwTest, RefusedFilesGiveSevenAndKeepNoView) {
  for (const char* name : {"fail_open.ecw", "fail_info.ecw", "short.ecw", "no_such.ecw"}) {
    bitmap_t* b = record(name);
    EXPECT_EQ(ecw_read(b, kImageFirstLoad), kEcwRefused) << name;
    EXPECT_EQ(get_gblerr(), 0) << name << ": the code is the result";
    EXPECT_EQ(ecw_has_view(b), 0) << name;
    EXPECT_EQ(val(b->decoder), nullptr) << name;
    set_gblerr(0);
  }
  // The view whose information failed was closed.
  EXPECT_EQ(count_calls("70 close 1"), 1);
}

TEST_F(EcwTest, MissingLibraryTurnsOnlyEcwOff) {
  EXPECT_EQ(ecw_library_bind("/nonexistent/libtm_ecw.so"), -1);
  bitmap_t* b = record("utm.ecw");
  EXPECT_EQ(ecw_read(b, kImageFirstLoad), kEcwRefused);
  set_gblerr(0);
  ecw_library_reset();
  EXPECT_EQ(ecw_read(b, kImageFirstLoad), 0) << "bound again from the program folder";
}

TEST_F(EcwTest, LoadThroughTheDispatcherRow) {
  image_decoders_install();
  bitmap_t* b = record("utm.ecw");
  image_decode_call call;
  call.image = &b;
  EXPECT_EQ(image_decode(kDecoderEcw, call), 0);
  EXPECT_EQ(val(b->width), 40);
}

// ---- Georeference ----------------------------------------------------------------------
struct georef_case {
  const char* file;
  int result;          // of the load
  int refertype;       // 0: no georeference
  int unit;
};

class EcwGeoref : public EcwTest, public ::testing::WithParamInterface<georef_case> {};

TEST_P(EcwGeoref, BuildsTheReferenceOfTheFileInformation) {
  const georef_case c = GetParam();
  bitmap_t* b = record(c.file);
  EXPECT_EQ(ecw_read(b, kImageFirstLoad), c.result) << c.file;
  EXPECT_EQ(get_gblerr(), 0);
  if (c.result != 0) {
    EXPECT_EQ(val(b->georef), nullptr);
    EXPECT_EQ(ecw_has_view(b), 0) << "a failed load frees the view";
    return;
  }
  EXPECT_EQ(get_gblerr(), 0);
  if (c.refertype == 0) {
    EXPECT_EQ(val(b->georef), nullptr);
    return;
  }
  ASSERT_NE(val(b->georef), nullptr);
  EXPECT_EQ(val(b->georef->refertype), c.refertype);
  EXPECT_EQ(val(b->georef->unit), c.unit);
  EXPECT_EQ(val(b->georef->transfotype), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Files, EcwGeoref,
    ::testing::Values(georef_case{"raw.ecw", 0, 0, 0},
                      georef_case{"geodetic.ecw", 0, GEOREF_GEOGRAPHIC, ANG_DEGREE},
                      georef_case{"geodetic_raw.ecw", 0, GEOREF_GEOGRAPHIC, ANG_DEGREE},
                      georef_case{"geodetic_feet.ecw", ERR_BAD_FILE, 0, 0},
                      georef_case{"geodetic_metres.ecw", ERR_BAD_FILE, 0, 0},
                      georef_case{"utm.ecw", 0, GEOREF_PROJECTED, LEN_METRE},
                      georef_case{"utm_unknown_unit.ecw", 0, GEOREF_PROJECTED, LEN_METRE},
                      georef_case{"utm_feet.ecw", 0, GEOREF_PROJECTED, LEN_FOOT},
                      georef_case{"utm_degrees.ecw", ERR_BAD_FILE, 0, 0},
                      georef_case{"utm_nad27.ecw", 0, GEOREF_PROJECTED, LEN_METRE},
                      georef_case{"unknown_datum.ecw", 0, 0, 0},
                      georef_case{"unknown_projection.ecw", ERR_GEOGRAPHIC, 0, 0}));

TEST_F(EcwTest, RawImageTakesRoundedCellSizesAsResolution) {
  bitmap_t* b = loaded("raw.ecw");  // cells 2.4 x 3.5
  EXPECT_EQ(val(b->xres), 2);
  EXPECT_EQ(val(b->yres), 4) << "halves away from zero";
}

TEST_F(EcwTest, PixelStepPlacesTheCornerOfTheFirstPixelAtTheOrigin) {
  bitmap_t* b = loaded("utm.ecw");  // cells 10 x -10 from (500000, 5400000)
  extent_t world{};
  georef_image_to_world(b, extent_t{0, 40, 0, 30, 0}, &world);
  EXPECT_DOUBLE_EQ(world.xmin, 500000.0);
  EXPECT_DOUBLE_EQ(world.xmax, 500400.0);
  EXPECT_DOUBLE_EQ(world.ymin, 5399700.0);
  EXPECT_DOUBLE_EQ(world.ymax, 5400000.0);
}

TEST_F(EcwTest, ProjectionOfAnotherDatumIsCopiedOntoTheFileDatum) {
  bitmap_t* b = loaded("utm_nad27.ecw");
  ASSERT_NE(val(b->georef), nullptr);
  ASSERT_NE(val(b->georef->projection), nullptr);
  geodatum_t* nad27 = nullptr;
  geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_ECW, "NAD27", &nad27);
  ASSERT_NE(nad27, nullptr);
  EXPECT_EQ(val(b->georef->datum), nad27);
  EXPECT_EQ(val(b->georef->projection->datum), nad27);
}

// ---- Line blocks ----------------------------------------------------------------------
TEST_F(EcwTest, LineBlockDecodesTwentyLinesIntoThePlanes) {
  struct block_case {
    const char* file;
    int line, end;
  };
  for (const block_case c : {block_case{"utm.ecw", 5, 25}, block_case{"utm.ecw", 25, 30},
                             block_case{"two_bands.ecw", 0, 20},
                             block_case{"five_bands.ecw", 3, 23},
                             block_case{"grey.ecw", 12, 30}}) {
    bitmap_t* b = loaded(c.file);
    ASSERT_EQ(alloc_bitmap(b, b->width, b->height, b->planes, 3), 0);
    clear_calls();
    ASSERT_EQ(ecw_read(b, c.line), 0) << c.file << " " << c.line;
    const uint32_t seed = std::strcmp(c.file, "grey.ecw") == 0 ? 7 : 0;
    EXPECT_EQ(count_calls("82 set " + std::to_string(b->samples_per_pixel) + " 0 " +
                          std::to_string(c.line) + " 39 " + std::to_string(c.end - 1) +
                          " 40 " + std::to_string(c.end - c.line)),
              1)
        << c.file;
    EXPECT_EQ(count_calls("78 line"), c.end - c.line);
    for (int y = c.line; y < c.end; ++y)
      for (int p = 0; p < b->planes; ++p) {
        const uint8_t* row = get_img_line_adr(b, y, p);
        for (int x : {0, 17, 39})
          EXPECT_EQ(row[x], ecw_standin::sample(seed, x, y, p, 1)) << c.file << y << p;
      }
  }
}

TEST_F(EcwTest, LineBlockWithoutLineStoreIsRefusedWithoutDecoding) {
  bitmap_t* b = loaded("utm.ecw");
  clear_calls();
  EXPECT_EQ(ecw_read(b, 0), kEcwRefused);
  EXPECT_TRUE(calls().empty());
}

TEST_F(EcwTest, FailingBandLineClosesTheViewAndGivesSeven) {
  bitmap_t* b = loaded("fail_band_line.ecw");
  ASSERT_EQ(alloc_bitmap(b, b->width, b->height, b->planes, 3), 0);
  EXPECT_EQ(ecw_read(b, 0), kEcwRefused);
  EXPECT_EQ(ecw_has_view(b), 0);
  EXPECT_EQ(count_calls("70 close 1"), 1);
  set_gblerr(0);
  // The next use opens the view again.
  EXPECT_EQ(ecw_open(b), 0);
  EXPECT_EQ(ecw_has_view(b), 1);
}

// ---- Display --------------------------------------------------------------------------
TEST_F(EcwTest, SameSizeWindowReadsEachLineStraight) {
  bitmap_t* b = loaded("raw.ecw");
  show_at_full_size(1, 1, 0, 0, 40, 30);
  ecw_window w = whole(40, 30);
  std::vector<uint32_t> out(size_t(42) * 30, 0xdeadbeef);  // stride 42
  clear_calls();
  EXPECT_EQ(ecw_read_lines(b, &w, 0, nullptr, out.data(), 42), 0);
  EXPECT_EQ(count_calls("82 set 3 0 0 39 29 40 30"), 1);
  EXPECT_EQ(count_calls("77 line"), 30);
  for (int y : {0, 13, 29})
    for (int x : {0, 21, 39}) EXPECT_EQ(out[size_t(y) * 42 + x], rgb_at(0, x, y)) << x << "," << y;
  EXPECT_EQ(out[40], 0xdeadbeefu) << "the stride's tail is not touched";
  EXPECT_EQ(ecw_flags(), 0);
  EXPECT_EQ(ecw_open_count(), 1);
}

TEST_F(EcwTest, GreyWindowAveragesThirdsOfEachChannel) {
  bitmap_t* b = loaded("raw.ecw");
  show_at_full_size(1, 1, 0, 0, 40, 30);
  ecw_window w = whole(40, 30);
  std::vector<uint8_t> out(size_t(40) * 30);
  EXPECT_EQ(ecw_read_lines(b, &w, 1, out.data(), nullptr, 40), 0);
  for (int y : {0, 29})
    for (int x : {0, 39}) {
      const uint32_t p = rgb_at(0, x, y);
      EXPECT_EQ(out[size_t(y) * 40 + x], ((p >> 16) & 255) / 3 + ((p >> 8) & 255) / 3 + (p & 255) / 3);
    }
}

TEST_F(EcwTest, RegionEndsOnTheImageEdge) {
  struct region_case {
    double origin, extent;
    int size, x0, x1;
  };
  for (const region_case c : {region_case{30, 10, 40, 30, 39}, region_case{0, 40, 40, 0, 39},
                              region_case{10.5, 5, 40, 10, 15}, region_case{39.5, 3, 40, 39, 39},
                              region_case{0, 0, 40, 0, 0}}) {
    const ecw_region r = ecw_region_of(c.origin, 0, c.extent, 1, c.size, 1);
    EXPECT_EQ(r.x0, c.x0) << c.origin << "+" << c.extent;
    EXPECT_EQ(r.x1, c.x1) << c.origin << "+" << c.extent;
  }
}

TEST_F(EcwTest, ZoomedInWindowAtTheEdgeStaysInsideTheRegion) {
  bitmap_t* b = loaded("raw.ecw");
  show_at_full_size(1, 1, 0, 0, 40, 30);
  // 4.5 x 3 image pixels at the bottom-right corner into 25 x 20 display pixels.
  ecw_window w = window(25, 20, 35.5, 27, 4.5, 3);
  std::vector<uint32_t> out(size_t(25) * 20);
  clear_calls();
  ASSERT_EQ(ecw_read_lines(b, &w, 0, nullptr, out.data(), 25), 0);
  EXPECT_EQ(count_calls("82 set 3 35 27 39 29 5 3"), 1);
  EXPECT_LE(count_calls("77 line"), 3);
  const double sx = 4.5 / 25 - 1e-8, sy = 3.0 / 20 - 1e-8;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 25; ++x) {
      const int ix = std::min(int(1e-8 + x * sx), 4), iy = std::min(int(y * sy), 2);
      ASSERT_EQ(out[size_t(y) * 25 + x], rgb_at(0, 35 + ix, 27 + iy)) << x << "," << y;
    }
}

TEST_F(EcwTest, ZoomedWindowReachingPastTheImageRepeatsItsLastPixels) {
  bitmap_t* b = loaded("raw.ecw");
  show_at_full_size(1, 1, 0, 0, 40, 30);
  // 4 x 4 image pixels from (38, 28) of a 40 x 30 image: the region keeps 2 x 2 of them.
  ecw_window w = window(20, 20, 38, 28, 4, 4);
  std::vector<uint32_t> out(size_t(20) * 20);
  clear_calls();
  ASSERT_EQ(ecw_read_lines(b, &w, 0, nullptr, out.data(), 20), 0);
  EXPECT_EQ(count_calls("82 set 3 38 28 39 29 2 2"), 1);
  EXPECT_EQ(count_calls("77 line"), 2) << "never more lines than the region has";
  EXPECT_EQ(count_calls("77 line 2"), 0);
  EXPECT_EQ(out[0], rgb_at(0, 38, 28));
  EXPECT_EQ(out[19], rgb_at(0, 39, 28)) << "columns past the region take its last one";
  EXPECT_EQ(out[size_t(19) * 20 + 19], rgb_at(0, 39, 29));
}

TEST_F(EcwTest, FailingOrEmptyDisplayLeavesNoReadFlag) {
  struct flag_case {
    const char* file;
    int width;
    int result;
  };
  for (const flag_case c : {flag_case{"fail_set.ecw", 40, -1}, flag_case{"fail_rgb_line.ecw", 40, -1},
                            flag_case{"raw.ecw", 0, 0}}) {
    bitmap_t* b = loaded(c.file);
    show_at_full_size(1, 1, 0, 0, 40, 30);
    ecw_window w = whole(40, 30);
    w.width = c.width;
    std::vector<uint32_t> out(size_t(40) * 30);
    EXPECT_EQ(ecw_read_lines(b, &w, 0, nullptr, out.data(), 40), c.result) << c.file;
    EXPECT_EQ(ecw_flags(), 0) << c.file;
  }
}

TEST_F(EcwTest, PrintingReadsInPassesUntilTheLibraryIsFast) {
  plat::use_virtual_clock(true);
  bitmap_t* b = loaded("slow.ecw");  // the first two settings of a view take 2 s
  show_at_full_size(1, 1, 0, 0, 40, 30);
  pane_.printing = 1;
  ecw_window w = whole(40, 30);
  std::vector<uint32_t> out(size_t(40) * 30);
  clear_calls();
  std::atomic<int> result{99};
  std::thread printer([&] { result = ecw_read_lines(b, &w, 0, nullptr, out.data(), 40); });
  // Time moves only while the library waits: the fast passes take no time.
  ASSERT_TRUE(tm_test::wait_for([&] {
    if (result.load() != 99) return true;
    if (plat::virtual_sleepers_waiting() > 0) plat::advance_virtual_ms(2000);
    return false;
  }));
  printer.join();
  EXPECT_EQ(result.load(), 0);
  // Two slow passes, one fast pass, then the drawing read.
  EXPECT_EQ(count_calls("82 set 3 0 0 39 29 40 30"), 4);
  EXPECT_EQ(count_calls("77 line"), 4 * 30);
  EXPECT_EQ(out[size_t(29) * 40 + 39], rgb_at(0, 39, 29));
  EXPECT_EQ(ecw_jobs_waiting(), 0) << "a printer page is never deferred";
}

}  // namespace
