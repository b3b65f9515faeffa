// The raster display's slot for ECW images: an image without line store drawn into the
// composed rectangle of a map window at display resolution, at the same size and zoomed.
#include <string>

#include "core/file_ops.h"
#include "core/memory.h"
#include "core/reader.h"
#include "platform/ecw/ecw_header.h"
#include "raster/ecw.h"
#include "raster/ecw_library.h"
#include "raster/image_load.h"
#include "tests/map/raster_display_fixture.h"
#include "tests/support/file_stub.h"

namespace {

uint32_t rgb_at(uint32_t x, uint32_t y) {
  using ecw_standin::sample;
  return uint32_t(sample(0, x, y, 0, 1)) << 16 | uint32_t(sample(0, x, y, 1, 1)) << 8 |
         sample(0, x, y, 2, 1);
}

class EcwDisplaySlot : public rd_test::RasterFixture {
 protected:
  void SetUp() override {
    RasterFixture::SetUp();
    tm_test::install_file_stub();
    ecw_library_reset();
    ecw_init();
  }
  void TearDown() override {
    set_gblerr(0);
    for (bitmap_t*& b : made_) free_obj(&b);
    made_.clear();
    tm_test::free_stub_files();
    file_ops_install(nullptr);
    RasterFixture::TearDown();
  }
  // raw.ecw: 40 x 30 pixels, no georeference (image pixels are world units).
  bitmap_t* raw_image() {
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    made_.push_back(b);
    b->file = tm_test::stub_file((std::string(TM_FIXTURE_DIR) + "/ecw/raw.ecw").c_str());
    b->format = kDecoderEcw;
    EXPECT_EQ(ecw_read(b, kImageFirstLoad), 0);
    return b;
  }
};

TEST_F(EcwDisplaySlot, SameSizeFillsTheRectangleFromTheLibrary) {
  bitmap_t* b = raw_image();
  EXPECT_EQ(compose({b}), 0);
  for (int y : {0, 14, 29})
    for (int x : {0, 20, 39}) EXPECT_EQ(at(x, y), rgb_at(x, y)) << x << "," << y;
  EXPECT_EQ(ecw_open_count(), 1);
}

TEST_F(EcwDisplaySlot, ZoomedInRepeatsSourcePixels) {
  bitmap_t* b = raw_image();
  set_mapping(2, 2, 0, 0);  // two screen pixels per image pixel
  EXPECT_EQ(compose({b}), 0);
  // Odd display pixels lie inside a source pixel's span (the steps' guard moves the even
  // ones that fall exactly on a boundary).
  for (int y : {1, 11, 29})
    for (int x : {1, 17, 39}) EXPECT_EQ(at(x, y), rgb_at(x / 2, y / 2)) << x << "," << y;
  EXPECT_EQ(at(0, 0), rgb_at(0, 0));
}

TEST_F(EcwDisplaySlot, ImageOffTheLeftEdgeDrawsOnlyWhatShows) {
  bitmap_t* b = raw_image();
  set_mapping(1, 1, -10, 0);  // image column 10 at screen column 0
  EXPECT_EQ(compose({b}), 0);
  EXPECT_EQ(at(0, 0), rgb_at(10, 0));
  EXPECT_EQ(at(29, 29), rgb_at(39, 29));
  EXPECT_EQ(at(35, 5), 0xc8c8c8u) << "right of the image: the background";
}

// An ECW image used as a point symbol: the symbol copy is the whole image read from the
// library at the symbol's size, every pixel the one the decoder gives there.
TEST_F(EcwDisplaySlot, ASymbolCopyIsTheWholeImageAtTheSymbolSize) {
  bitmap_t* b = raw_image();  // 40 x 30
  struct size_case {
    int w, h, scale;  // the library's scale: region width / output width
  };
  for (const size_case& c : {size_case{20, 15, 2}, size_case{40, 30, 1}, size_case{10, 10, 4}}) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    uint32_t* pixels = nullptr;
    int size[2] = {0, 0};
    ASSERT_EQ(symbol_bitmap_prepare(b, 0, c.w, c.h, 1.0, &pixels, size), 0);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(size[0], c.w);
    ASSERT_EQ(size[1], c.h);
    int wrong = 0;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        // Output pixel i of n over 40 columns is column i * 40 / n (likewise for lines).
        const uint32_t sx = uint32_t(x * 40 / c.w), sy = uint32_t(y * 30 / c.h);
        using ecw_standin::sample;
        const uint32_t want = uint32_t(sample(0, sx, sy, 0, uint32_t(c.scale))) << 16 |
                              uint32_t(sample(0, sx, sy, 1, uint32_t(c.scale))) << 8 |
                              sample(0, sx, sy, 2, uint32_t(c.scale));
        if ((pixels[size_t(y) * size_t(c.w) + size_t(x)] & 0xFFFFFFu) != want) ++wrong;
      }
    EXPECT_EQ(wrong, 0);
    free_mem(&pixels);
  }
}

}  // namespace
