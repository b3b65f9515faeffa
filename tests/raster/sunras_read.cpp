// The Sun raster reader: files of netpbm, ImageMagick and the fixture script against
// rasttopnm's reading; the header fields; the default tables of 1-bit images; the
// byte encoding's runs across rows and at the image end; refusals with their codes
// (other depths, byte-encoded depths 1 and 24, sizes the file does not hold); every
// truncation; flipped bytes; loading through the dispatcher.
#include "raster/sunras_read.h"

#include <gtest/gtest.h>

#include <cctype>

#include "raster/image_load.h"
#include "tests/raster/decoder_fixture.h"
#include "tests/raster/image_load_fixture.h"

namespace {

using raster_test::bytes;
using raster_test::ImageLoadTest;


class SunPixels : public raster_test::DecoderTest,
                  public ::testing::WithParamInterface<std::string> {};

TEST_P(SunPixels, MatchReference) {
  bitmap_t* b = expect_reference_pixels("sun", GetParam(), sunras_read, kDecoderSunRaster);
  EXPECT_EQ(+b->variant, kSunRasterPixelKind);
  EXPECT_EQ(+b->samples_per_pixel, 1);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SunPixels,
                         ::testing::ValuesIn(raster_test::fixture_images("sun")),
                         raster_test::case_name);

void put32(bytes* f, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*f)[at + i] = uint8_t(v >> (24 - 8 * i));
}

// A Sun raster header with the given fields (data length = the data's size unless
// given), the colour map and the data.
bytes make_sun(uint32_t width, uint32_t height, uint32_t depth, uint32_t type, const bytes& data,
               uint32_t map_type = 0, const bytes& map = {}, int64_t length = -1) {
  bytes f(32, 0);
  put32(&f, 0, 0x59A66A95);
  put32(&f, 4, width);
  put32(&f, 8, height);
  put32(&f, 12, depth);
  put32(&f, 16, uint32_t(length < 0 ? data.size() : size_t(length)));
  put32(&f, 20, type);
  put32(&f, 24, map_type);
  put32(&f, 28, uint32_t(map.size()));
  f.insert(f.end(), map.begin(), map.end());
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

bytes line(bitmap_t* b, int y, int plane = 0) {
  const uint8_t* p = get_img_line_adr(b, y, plane);
  return p ? bytes(p, p + b->width) : bytes{};
}

class SunReader : public raster_test::DecoderTest {};

TEST_F(SunReader, HeaderFields) {
  struct Case {
    const char* file;
    int bits, planes, width, height;
  };
  const Case cases[] = {{"np_std_pbm.sun", 1, 1, 21, 9}, {"np_std_pgm.sun", 8, 1, 21, 9},
                        {"np_rle_pal.sun", 8, 1, 21, 9}, {"np_std_rgb.sun", 24, 3, 29, 11},
                        {"im_rgb.sun", 24, 3, 21, 9},    {"im_rgba.sun", 32, 3, 21, 9},
                        {"own_d32_bgr.sun", 32, 3, 21, 9}};
  for (const Case& c : cases) {
    bitmap_t* b = record_for_path(raster_test::fixture("sun", c.file), kDecoderSunRaster);
    ASSERT_EQ(sunras_read(b), 0) << c.file;
    EXPECT_EQ(+b->bits_per_sample, c.bits) << c.file;
    EXPECT_EQ(+b->planes, c.planes) << c.file;
    EXPECT_EQ(+b->width, c.width) << c.file;
    EXPECT_EQ(+b->height, c.height) << c.file;
  }
}

// Without a colour map a 1-bit image shows 0 as white and 1 as black; an 8-bit image
// is grey; a map shorter than 256 entries leaves the rest of the tables as they were.
TEST_F(SunReader, DefaultTables) {
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(sunras_read, make_sun(3, 1, 1, 1, {0xA0, 0}), &b), 0);
  EXPECT_EQ(line(b, 0), (bytes{1, 0, 1}));
  EXPECT_EQ(b->lut_r[0], 255);
  EXPECT_EQ(b->lut_b[0], 255);
  EXPECT_EQ(b->lut_g[1], 0);
  ASSERT_EQ(decode(sunras_read, make_sun(2, 1, 8, 1, {9, 200}), &b), 0);
  EXPECT_EQ(b->lut_r[200], 200);
  ASSERT_EQ(decode(sunras_read, make_sun(2, 1, 8, 1, {0, 1}, 1, {10, 20, 30, 40, 50, 60}), &b), 0);
  EXPECT_EQ(b->lut_r[1], 20);
  EXPECT_EQ(b->lut_g[1], 40);
  EXPECT_EQ(b->lut_b[1], 60);
  EXPECT_EQ(b->lut_r[2], 2);
}

// 32-bit pixels lead with a pad byte: blue, green, red follow in the standard type,
// red, green, blue in the RGB type; the image has three planes.
TEST_F(SunReader, ThirtyTwoBitPixels) {
  const bytes px = {0xEE, 1, 2, 3, 0xEE, 4, 5, 6};
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(sunras_read, make_sun(2, 1, 32, 1, px), &b), 0);
  EXPECT_EQ(+b->planes, 3);
  EXPECT_EQ(line(b, 0, 0), (bytes{3, 6}));
  EXPECT_EQ(line(b, 0, 1), (bytes{2, 5}));
  EXPECT_EQ(line(b, 0, 2), (bytes{1, 4}));
  ASSERT_EQ(decode(sunras_read, make_sun(2, 1, 32, 3, px), &b), 0);
  EXPECT_EQ(line(b, 0, 0), (bytes{1, 4}));
  EXPECT_EQ(line(b, 0, 2), (bytes{3, 6}));
}

// A run goes on into the next row; a run longer than what is left of the image is cut
// at its end; 0x80 0 is a literal 0x80.
TEST_F(SunReader, ByteEncodedRuns) {
  bitmap_t* b = nullptr;
  // 3 x 3, rows padded to 4 bytes: a run of 6 sevens fills row 0 and half of row 1.
  const bytes data = {0x80, 5, 7, 0x80, 0, 9, 0x80, 255, 3};
  ASSERT_EQ(decode(sunras_read, make_sun(3, 3, 8, 2, data), &b), 0);
  EXPECT_EQ(line(b, 0), (bytes{7, 7, 7}));
  EXPECT_EQ(line(b, 1), (bytes{7, 7, 0x80}));
  EXPECT_EQ(line(b, 2), (bytes{3, 3, 3}));
  // Pad bytes are part of the coded row: the literal after the pad starts row 1.
  ASSERT_EQ(decode(sunras_read, make_sun(1, 2, 8, 2, {1, 99, 2, 98}), &b), 0);
  EXPECT_EQ(line(b, 0), bytes{1});
  EXPECT_EQ(line(b, 1), bytes{2});
}

TEST_F(SunReader, Refusals) {
  struct Case {
    const char* what;
    bytes file;
    int rc;
  };
  const bytes px(64, 1);
  bytes long_map = make_sun(1, 1, 8, 1, {1, 0}, 1, bytes(6, 0));
  put32(&long_map, 28, 600);
  const Case cases[] = {
      {"type 4", make_sun(2, 2, 8, 4, px), ERR_UNKNOWN_FORMAT},
      {"type 0xffff", make_sun(2, 2, 8, 0xFFFF, px), ERR_UNKNOWN_FORMAT},
      {"colour map type 3", make_sun(2, 2, 8, 1, px, 3, bytes(6, 0)), ERR_UNKNOWN_FORMAT},
      {"depth 4", make_sun(2, 2, 4, 1, px), ERR_UNKNOWN_FORMAT},
      {"depth 16", make_sun(2, 2, 16, 1, px), ERR_UNKNOWN_FORMAT},
      {"depth 2", make_sun(2, 2, 2, 1, px), ERR_UNKNOWN_FORMAT},
      {"depth 0", make_sun(2, 2, 0, 1, px), ERR_UNKNOWN_FORMAT},
      {"depth 7", make_sun(2, 2, 7, 1, px), ERR_UNKNOWN_FORMAT},
      {"depth 33", make_sun(2, 2, 33, 1, px), ERR_UNKNOWN_FORMAT},
      {"byte-encoded depth 24", make_sun(2, 2, 24, 2, px), ERR_UNKNOWN_FORMAT},
      {"byte-encoded depth 1", make_sun(2, 2, 1, 2, px), ERR_UNKNOWN_FORMAT},
      {"width 0", make_sun(0, 2, 8, 1, px), ERR_BAD_FILE},
      {"height 0", make_sun(2, 0, 8, 1, px), ERR_BAD_FILE},
      {"header cut short", bytes(31, 0), ERR_BAD_FILE},
      {"empty", {}, ERR_BAD_FILE},
      {"map beyond the file", long_map, ERR_BAD_FILE},
      {"data length beyond the file, with a map",
       make_sun(2, 2, 8, 1, bytes(4, 0), 1, bytes(6, 0), 400), ERR_BAD_FILE},
      {"rows short of the height", make_sun(3, 5, 8, 1, bytes(16, 1)), ERR_BAD_FILE},
      {"24-bit rows short", make_sun(3, 3, 24, 1, bytes(29, 1)), ERR_BAD_FILE},
      {"coded data ends before the image", make_sun(4, 4, 8, 2, {0x80, 10, 1}), ERR_BAD_FILE},
      {"escape at the very end", make_sun(1, 1, 8, 2, {0x80}), ERR_BAD_FILE},
      {"run value missing", make_sun(1, 1, 8, 2, {0x80, 3}), ERR_BAD_FILE},
      {"65535 x 65535, no data", make_sun(65535, 65535, 24, 1, {}), ERR_BAD_FILE},
      {"65535 x 65535 coded, little data", make_sun(65535, 65535, 8, 2, bytes(300, 0x80)),
       ERR_BAD_FILE},
      {"4G x 4G", make_sun(0xFFFFFFFF, 0xFFFFFFFF, 32, 1, px), ERR_BAD_FILE},
      {"2G wide, 1 high", make_sun(0x7FFFFFFF, 1, 1, 1, px), ERR_BAD_FILE},
  };
  for (const Case& c : cases) EXPECT_EQ(decode(sunras_read, c.file), c.rc) << c.what;
  bitmap_t* b = record_for_path(raster_test::fixture("sun", "np_rle_pbm.bad"), kDecoderSunRaster);
  EXPECT_EQ(sunras_read(b), ERR_UNKNOWN_FORMAT);
  EXPECT_EQ(sunras_read(record_for_path("/nonexistent/x.ras", kDecoderSunRaster)), ERR_FILE_ACCESS);
}

const char* const kSamples[] = {"np_std_pbm.sun", "np_std_pal.sun", "np_rle_pgm.sun",
                                "np_rle_pal.sun", "im_rgba.sun",    "own_d1_map.sun",
                                "own_rle_cross.sun", "own_big_map.sun"};

// Every cut before the end of the pixels is refused with 14.
TEST_F(SunReader, EveryTruncation) {
  for (const char* name : kSamples) {
    const bytes whole = raster_test::read_bytes(raster_test::fixture("sun", name));
    ASSERT_FALSE(whole.empty()) << name;
    for (size_t n = 0; n < whole.size(); ++n) {
      const bytes cut(whole.begin(), whole.begin() + int64_t(n));
      ASSERT_EQ(decode(sunras_read, cut), ERR_BAD_FILE) << name << " cut at " << n;
    }
  }
}

// Any byte flipped gives a result of the contract and a clear error state.
TEST_F(SunReader, FlippedBytes) {
  for (const char* name : kSamples) {
    const bytes whole = raster_test::read_bytes(raster_test::fixture("sun", name));
    for (size_t i = 0; i < whole.size(); ++i) {
      bytes f = whole;
      f[i] ^= i < 32 ? 0x81 : 0xFF;
      const int rc = decode(sunras_read, f);
      ASSERT_TRUE(rc == 0 || rc == ERR_UNKNOWN_FORMAT || rc == ERR_BAD_FILE || rc == ERR_MEMORY)
          << name << " byte " << i << " gives " << rc;
    }
  }
}

// Through the dispatcher: the image joins the list with its pixels; a refused file
// leaves no record and its loading error in the trace log.
TEST_F(ImageLoadTest, SunRasterLoadsThroughItsDecoderRow) {
  const std::string path = raster_test::fixture("sun", "np_rle_pal.sun");
  int rc = -1;
  bitmap_t* b = load(image_file(path, kDecoderSunRaster), &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_NE(b, nullptr);
  const std::string rgb = path.substr(0, path.rfind('.')) + ".rgb";
  EXPECT_EQ(raster_test::image_rgb(b), raster_test::read_bytes(rgb));
  configure("ENGLISH", nullptr);
  const std::string bad = raster_test::fixture("sun", "np_rle_pbm.bad");
  const int before = image_count();
  EXPECT_EQ(load(image_file(bad, kDecoderSunRaster), &rc), nullptr);
  EXPECT_EQ(rc, ERR_UNKNOWN_FORMAT);
  EXPECT_EQ(image_count(), before);
  EXPECT_NE(trace_log().find("Loading error " + bad + " : "), std::string::npos) << trace_log();
}

}  // namespace
