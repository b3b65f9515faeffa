// The PNM reader: P1 to P6 from netpbm and ImageMagick, 8-bit, 16-bit and odd maxvals,
// against netpbm's own decoding; the lookup tables of grey maps and bitmaps; refusals
// with their codes (maxval 0, bad magic, huge headers over no data, truncation); values
// above maxval.
#include "raster/pnm_read.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>

#include "tests/geodesy/geodesy_fixture.h"
#include "tests/raster/decoder_fixture.h"

namespace {

using raster_test::bytes;

// netpbm rounds when it scales to 8 bits, the reader truncates (value x 255 / maxval):
// the images listed here may differ by one.
std::set<std::string> rounded_references() {
  std::set<std::string> names;
  std::ifstream in(raster_test::fixture("pnm", "rounded.txt"));
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) names.insert(line);
  return names;
}

int kind_of(const bytes& f) { return f.size() > 1 ? kPnmFirstPixelKind + (f[1] - '1') : 0; }

class PnmPixels : public raster_test::DecoderTest,
                  public ::testing::WithParamInterface<std::string> {};

TEST_P(PnmPixels, MatchNetpbm) {
  const std::string name = GetParam();
  const std::string path = raster_test::fixture("pnm", name);
  const int kind = kind_of(raster_test::read_bytes(path));
  bitmap_t* b = record_for_path(path, kind - 12);
  ASSERT_EQ(pnm_read(b, kind), 0) << name;
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(val(b->variant), kind);
  const std::string stem = name.substr(0, name.rfind('.'));
  const bytes want = raster_test::read_bytes(raster_test::fixture("pnm", stem + ".rgb"));
  const bytes got = raster_test::image_rgb(b);
  ASSERT_EQ(got.size(), want.size()) << name;
  const int slack = rounded_references().count(name) ? 1 : 0;
  int worst = 0;
  for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(got[i] - want[i]));
  EXPECT_LE(worst, slack) << name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PnmPixels,
                         ::testing::ValuesIn(raster_test::fixture_images("pnm")),
                         raster_test::case_name);

bytes text(const std::string& s) { return bytes(s.begin(), s.end()); }

class PnmReader : public raster_test::DecoderTest {
 protected:
  int read(const bytes& data, bitmap_t** out = nullptr) {
    bitmap_t* b = record_for_bytes(data, kind_of(data) - 12);
    const int rc = pnm_read(b, kind_of(data));
    EXPECT_EQ(get_gblerr(), 0);
    if (out) *out = b;
    return rc;
  }
};

TEST_F(PnmReader, GreyTablesScaleMaxvalTo255) {
  bitmap_t* b = nullptr;
  ASSERT_EQ(read(text("P2 3 1 15\n15 1 0\n"), &b), 0);
  EXPECT_EQ(b->lut_r[15], 255);
  EXPECT_EQ(b->lut_r[1], 17);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{255, 255, 255, 17, 17, 17, 0, 0, 0}));
  EXPECT_EQ(val(b->bits_per_sample), 8);
}

TEST_F(PnmReader, BitmapsShowZeroWhiteAndOneBlack) {
  bitmap_t* b = nullptr;
  // Width 10: two bytes a line, the second's low six bits unused.
  ASSERT_EQ(read(bytes{'P', '4', ' ', '1', '0', ' ', '2', '\n', 0xA0, 0xFF, 0xFF, 0x40}, &b), 0);
  const bytes rgb = raster_test::image_rgb(b);
  ASSERT_EQ(rgb.size(), size_t(60));
  const int want[20] = {1, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1};
  for (int i = 0; i < 20; ++i) EXPECT_EQ(rgb[size_t(3 * i)], want[i] ? 0 : 255) << i;
  EXPECT_EQ(val(b->bits_per_sample), 1);
  // Plain bitmaps may run their digits together.
  ASSERT_EQ(read(text("P1\n# c\n3 2\n010\n1 1 0"), &b), 0);
  EXPECT_EQ(raster_test::image_rgb(b),
            (bytes{255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 255, 255, 255}));
}

TEST_F(PnmReader, AsciiValuesAboveMaxvalClamp) {
  bitmap_t* b = nullptr;
  ASSERT_EQ(read(text("P2 2 1 100 250 100"), &b), 0);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{255, 255, 255, 255, 255, 255}));
  ASSERT_EQ(read(text("P3 1 1 10 99999999999999999999 5 20"), &b), 0);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{255, 127, 255}));
}

TEST_F(PnmReader, TwoByteSamplesAreBigEndianAndScaled) {
  bitmap_t* b = nullptr;
  ASSERT_EQ(read(bytes{'P', '5', ' ', '2', ' ', '1', ' ', '6', '5', '5', '3', '5', '\n', 0xFF,
                       0xFF, 0x80, 0x00},
                 &b),
            0);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{255, 255, 255, 127, 127, 127}));
  ASSERT_EQ(read(bytes{'P', '6', ' ', '1', ' ', '1', ' ', '5', '1', '1', '\n', 0x01, 0xFF, 0x00,
                       0xFF, 0x00, 0x00},
                 &b),
            0);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{255, 127, 0}));
}

TEST_F(PnmReader, RefusalsAndTheirCodes) {
  struct refusal {
    const char* what;
    bytes data;
    int code;
  };
  const std::vector<refusal> cases = {
      {"maxval 0", text("P5 2 2 0\n\1\1\1\1"), ERR_BAD_FILE},
      {"maxval 0 in ASCII", text("P2 1 1 0\n0"), ERR_BAD_FILE},
      {"maxval above 65535", text("P5 1 1 65536\n\1\1"), ERR_BAD_FILE},
      {"width 0", text("P5 0 2 255\n"), ERR_BAD_FILE},
      {"no height", text("P6 5"), ERR_BAD_FILE},
      {"magic of another kind", text("P6 1 1 255\n\1\1\1"), ERR_BAD_FILE},
      {"65535 x 65535 over no data", text("P6 65535 65535 255\n"), ERR_BAD_FILE},
      {"65535 x 65535 bitmap over no data", text("P4 65535 65535\n"), ERR_BAD_FILE},
      {"65535 x 65535 plain over a few values", text("P2 65535 65535 255\n1 2 3"),
       ERR_BAD_FILE},
      {"2^31 wide", text("P5 2147483648 1 255\n"), ERR_BAD_FILE},
      {"binary data cut short", text("P5 3 2 255\n\1\2\3\4\5"), ERR_BAD_FILE},
      {"16-bit data cut short", text("P5 2 1 1000\n\1\2\3"), ERR_BAD_FILE},
      {"ASCII data cut short", text("P3 2 2 255\n1 2 3 4 5 6 7 8 9 10 11"), ERR_BAD_FILE},
      {"letter among the values", text("P2 2 2 255\n1 2 x 4 5 6"), ERR_BAD_FILE},
      {"digit 2 in a plain bitmap", text("P1 2 1\n0 2 1 1"), ERR_BAD_FILE},
  };
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.what);
    bitmap_t* b = record_for_bytes(c.data, 0);
    const int kind = std::string(c.what) == "magic of another kind" ? 22 : kind_of(c.data);
    EXPECT_EQ(pnm_read(b, kind), c.code);
    EXPECT_EQ(get_gblerr(), 0);
  }
}

TEST_F(PnmReader, PixelKindOutsideTheFamilyIsRefused) {
  bitmap_t* b = record_for_bytes(text("P5 1 1 255\n\1"), 0);
  EXPECT_EQ(pnm_read(b, 24), ERR_VALUE);
  EXPECT_EQ(pnm_read(b, 17), ERR_VALUE);
}

TEST_F(PnmReader, MissingFileIsAnAccessError) {
  bitmap_t* b = record_for_path(raster_test::fixture("pnm", "no_such.pnm"), 10);
  EXPECT_EQ(pnm_read(b, 22), ERR_FILE_ACCESS);
}

}  // namespace
