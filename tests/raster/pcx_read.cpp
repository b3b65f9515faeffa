// The PCX reader: bit-plane, palette, grey and RGB images against PIL's reading of the
// same files (or the writer's own pixels where PIL has no reading); the monochrome
// palette; runs cut at the line; refusals with their codes; every truncation.
#include "raster/pcx_read.h"

#include <gtest/gtest.h>

#include <cctype>

#include "tests/raster/decoder_fixture.h"

namespace {

using raster_test::bytes;

class PcxPixels : public raster_test::DecoderTest,
                  public ::testing::WithParamInterface<std::string> {};

TEST_P(PcxPixels, MatchReference) {
  bitmap_t* b = expect_reference_pixels("pcx", GetParam(), pcx_read, 12);
  EXPECT_EQ(+b->variant, kPcxPixelKind);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PcxPixels,
                         ::testing::ValuesIn(raster_test::fixture_images("pcx")),
                         raster_test::case_name);

// A PCX header: version 5, encoding 1, the size, 72 x 72 dpi, planes and bytes per line.
bytes make_pcx(int bits, int xmax, int ymax, int planes, int bytes_per_line, const bytes& data) {
  bytes f(128, 0);
  f[0] = 10;
  f[1] = 5;
  f[2] = 1;
  f[3] = uint8_t(bits);
  f[8] = uint8_t(xmax);
  f[9] = uint8_t(xmax >> 8);
  f[10] = uint8_t(ymax);
  f[11] = uint8_t(ymax >> 8);
  f[12] = 72;
  f[14] = 150;
  f[65] = uint8_t(planes);
  f[66] = uint8_t(bytes_per_line);
  f[67] = uint8_t(bytes_per_line >> 8);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

class PcxReader : public raster_test::DecoderTest {};

TEST_F(PcxReader, HeaderFields) {
  struct Case {
    const char* file;
    int bits, samples, planes;
  };
  const Case cases[] = {{"b1_p4.pcx", 1, 4, 1}, {"b2_p2.pcx", 2, 2, 1}, {"pil_rgb.pcx", 8, 3, 3},
                        {"p8_endpal.pcx", 8, 1, 1}, {"pil_1.pcx", 1, 1, 1}};
  for (const Case& c : cases) {
    bitmap_t* b = record_for_path(raster_test::fixture("pcx", c.file), 12);
    ASSERT_EQ(pcx_read(b), 0) << c.file;
    EXPECT_EQ(+b->bits_per_sample, c.bits) << c.file;
    EXPECT_EQ(+b->samples_per_pixel, c.samples) << c.file;
    EXPECT_EQ(+b->planes, c.planes) << c.file;
    EXPECT_EQ(+b->width, 13) << c.file;
    EXPECT_EQ(+b->height, 11) << c.file;
  }
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(pcx_read, make_pcx(8, 0, 0, 1, 2, {1, 2}), &b), 0);
  EXPECT_EQ(+b->xres, 72);
  EXPECT_EQ(+b->yres, 150);
}

// A monochrome image is black and white whatever its header palette says for entry 1.
TEST_F(PcxReader, MonochromeIsWhite) {
  bitmap_t* b = record_for_path(raster_test::fixture("pcx", "mono_redpal.pcx"), 12);
  ASSERT_EQ(pcx_read(b), 0);
  EXPECT_EQ(b->lut_r[1], 255);
  EXPECT_EQ(b->lut_g[1], 255);
  EXPECT_EQ(b->lut_b[1], 255);
  EXPECT_EQ(b->lut_r[0], 0);
}

// A run longer than the rest of its line is cut there: the next line starts afresh.
TEST_F(PcxReader, RunsCutAtTheLine) {
  bitmap_t* b = nullptr;
  // Two lines of 4 bytes: a run of 10 sevens, then the literals 1 2 3 4.
  ASSERT_EQ(decode(pcx_read, make_pcx(8, 3, 1, 1, 4, {0xCA, 7, 1, 2, 3, 4}), &b), 0);
  EXPECT_EQ(bytes(get_img_line_adr(b, 0, 0), get_img_line_adr(b, 0, 0) + 4), (bytes{7, 7, 7, 7}));
  EXPECT_EQ(bytes(get_img_line_adr(b, 1, 0), get_img_line_adr(b, 1, 0) + 4), (bytes{1, 2, 3, 4}));
}

TEST_F(PcxReader, Refusals) {
  struct Case {
    const char* what;
    bytes file;
    int rc;
  };
  bytes encoding2 = make_pcx(8, 1, 1, 1, 2, bytes(8, 1));
  encoding2[2] = 2;
  bytes reversed = make_pcx(8, 1, 1, 1, 2, bytes(8, 1));
  reversed[4] = 5;  // xmin above xmax
  const Case cases[] = {
      {"encoding 2", encoding2, ERR_UNKNOWN_FORMAT},
      {"0 bits", make_pcx(0, 1, 1, 1, 2, bytes(8, 1)), ERR_BAD_FILE},
      {"3 bits", make_pcx(3, 1, 1, 1, 2, bytes(8, 1)), ERR_BAD_FILE},
      {"no planes", make_pcx(8, 1, 1, 0, 2, bytes(8, 1)), ERR_BAD_FILE},
      {"two byte planes", make_pcx(8, 1, 1, 2, 2, bytes(8, 1)), ERR_UNKNOWN_FORMAT},
      {"4 planes of 4 bits", make_pcx(4, 1, 1, 4, 2, bytes(16, 1)), ERR_UNKNOWN_FORMAT},
      {"xmin above xmax", reversed, ERR_BAD_FILE},
      {"bytes per line short of the width", make_pcx(8, 12, 0, 1, 4, bytes(40, 1)), ERR_BAD_FILE},
      {"bytes per line short, bit planes", make_pcx(1, 16, 0, 4, 2, bytes(40, 1)), ERR_BAD_FILE},
      {"data ends before the last line", make_pcx(8, 3, 3, 1, 4, {0xC8, 1}), ERR_BAD_FILE},
      {"header cut short", bytes(100, 0), ERR_BAD_FILE},
      {"empty", {}, ERR_BAD_FILE},
      {"height beyond what the file holds", make_pcx(8, 0, 60000, 1, 2, bytes(64, 1)), ERR_BAD_FILE},
      {"size beyond what the file holds", make_pcx(8, 65535, 65535, 3, 65535, bytes(64, 1)), ERR_BAD_FILE},
  };
  for (const Case& c : cases) EXPECT_EQ(decode(pcx_read, c.file), c.rc) << c.what;
  EXPECT_EQ(pcx_read(record_for_path("/nonexistent/x.pcx", 12)), ERR_FILE_ACCESS);
}

// Every truncation inside the pixels is refused with 14; one that only cuts the palette
// at the end still decodes, with the header's colours.
TEST_F(PcxReader, EveryTruncation) {
  for (const char* name : {"b1_p4.pcx", "b2_p2.pcx", "pil_rgb.pcx", "p8_endpal.pcx", "im_p.pcx",
                           "pil_1.pcx"}) {
    const bytes whole = raster_test::read_bytes(raster_test::fixture("pcx", name));
    ASSERT_FALSE(whole.empty()) << name;
    const size_t palette_start = whole.size() >= 769 && whole[whole.size() - 769] == 12
                                     ? whole.size() - 769 : whole.size();
    for (size_t n = 0; n < whole.size(); ++n) {
      const bytes cut(whole.begin(), whole.begin() + int64_t(n));
      const int want = n >= palette_start ? 0 : ERR_BAD_FILE;
      ASSERT_EQ(decode(pcx_read, cut), want) << name << " cut at " << n;
    }
  }
}

}  // namespace
