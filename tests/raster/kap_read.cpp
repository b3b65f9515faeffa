// The chart reader: charts of every depth against gdal's RGB expansion of the same files
// (rows numbered from 0 and from 1, continuation lines, long runs, 20000 rows); header
// records and their refusals; raster faults; every truncation of a chart.
#include "raster/kap_read.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/config.h"
#include "core/dict.h"
#include "core/tracelog.h"
#include "raster/raster_limits.h"
#include "tests/raster/decoder_fixture.h"

namespace {

using raster_test::bytes;

class ChartTest : public raster_test::DecoderTest {
 protected:
  void SetUp() override {
    DecoderTest::SetUp();
    sb_chart_register();
  }
  void TearDown() override {
    sb_chart_unregister();
    DecoderTest::TearDown();
  }

  // Parses chart bytes as decoder `code`; checks that gblerr is left clear.
  int parse(const bytes& data, bitmap_t** out = nullptr, int code = kDecoderChart) {
    bitmap_t* b = record_for_bytes(data, code);
    const int rc = sb_chart_parse(b);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    if (out) *out = b;
    return rc;
  }
};

class ChartPixels : public ChartTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ChartPixels, MatchGdalExpansion) {
  bitmap_t* b = expect_reference_pixels("kap", GetParam(), sb_chart_parse, kDecoderChart);
  EXPECT_EQ(+b->variant, kChartKindBsb);
  EXPECT_EQ(+b->xres, 254);
  EXPECT_EQ(+b->yres, 254);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ChartPixels,
                         ::testing::ValuesIn(raster_test::fixture_images("kap")),
                         raster_test::case_name);

// ---- Charts built in memory -------------------------------------------------------------

bytes text(const std::string& s) { return bytes(s.begin(), s.end()); }

// A row: its number (7-bit groups), the run bytes, the end byte.
bytes row(const bytes& number, const bytes& runs) {
  bytes r = number;
  r.insert(r.end(), runs.begin(), runs.end());
  r.push_back(0);
  return r;
}

// The header, Ctrl-Z, NUL, depth, the rows and (when `table`) a row offset table.
bytes chart(const std::string& header, int depth, const std::vector<bytes>& rows,
            bool table = true) {
  bytes f = text(header);
  f.push_back(26);
  f.push_back(0);
  f.push_back(uint8_t(depth));
  for (const bytes& r : rows) f.insert(f.end(), r.begin(), r.end());
  if (table) f.insert(f.end(), {0, 0, 0, 0});
  return f;
}

// A 3 x 2 chart of depth 3 (colour in bits 6-4, run length in bits 3-0): row 0 is one
// run of colour 2, row 1 colour 1 then two pixels of colour 5.
const std::string kHeader =
    "BSB/NA=Small,NU=7,RA=3,2,DU=100\r\nIFM/3\r\nRGB/1,10,20,30\r\nRGB/2,40,50,60\r\n";
const std::vector<bytes> kRows = {row({1}, {0x22}), row({2}, {0x10, 0x51})};

std::vector<uint8_t> indices(bitmap_t* b) {
  std::vector<uint8_t> out;
  for (int y = 0; y < b->height; ++y) {
    const uint8_t* line = get_img_line_adr(b, y, 0);
    out.insert(out.end(), line, line + b->width);
  }
  return out;
}

TEST_F(ChartTest, SmallChartFields) {
  bitmap_t* b = nullptr;
  ASSERT_EQ(parse(chart(kHeader, 3, kRows), &b), 0);
  EXPECT_EQ(+b->width, 3);
  EXPECT_EQ(+b->height, 2);
  EXPECT_EQ(+b->bits_per_sample, 3);
  EXPECT_EQ(+b->variant, kChartKindBsb);
  EXPECT_EQ(+b->xres, 100);
  EXPECT_EQ(+b->yres, 100);
  EXPECT_EQ(b->lut_r[2], 40);
  EXPECT_EQ(b->lut_g[2], 50);
  EXPECT_EQ(b->lut_b[2], 60);
  EXPECT_EQ(indices(b), (std::vector<uint8_t>{2, 2, 2, 1, 5, 5}));
}

// Header variants that all give the small chart: continuation lines, comments, records
// without line rules (decoder 23), a NOS record, VER 3.
TEST_F(ChartTest, HeaderVariants) {
  struct Case {
    const char* name;
    std::string header;
    int code, kind;
  };
  const Case cases[] = {
      {"continued RA", "BSB/NA=Small,NU=7\r\n    RA=3,2,DU=100\r\nIFM/3\r\n", kDecoderChart,
       kChartKindBsb},
      {"TAB continuation", "BSB/NA=Small\n\t \t RA=3,2\nIFM/3\n", kDecoderChart, kChartKindBsb},
      {"blank-led record", "BSB/RA=3,2\r\n IFM/3\r\n", kDecoderChart, kChartKindBsb},
      {"comments", "!RA=9,9\r\n!IFM/5\r\nBSB/RA=3,2\r\n!\r\nIFM/3\r\n", kDecoderChart,
       kChartKindBsb},
      {"version 3", "VER/3.0\r\nBSB/RA=3,2\r\nIFM/3\r\n", kDecoderChart, kChartKindBsb},
      {"skipped records", "KNP/SC=5,RA=9,9\r\n    RA=8,8\r\nREF/1,RA=7,7\r\nOST/1\r\nNO1/x\r\n"
       "    RA=6,6\r\nPLY/1,2\r\nBSB/RA=3,2\r\nIFM/3\r\n", kDecoderChart, kChartKindBsb},
      {"NOS size", "NOS/NA=x,RA=640,480,3,2\r\nIFM/3\r\n", kDecoderChart, kChartKindNos},
      {"no line rules", "\r\n   BSB/RA=3,2\r\n\t IFM/3 \r\n", kDecoderChartOther, kChartKindBsb},
      {"no CR", "BSB/RA=3,2\nIFM/3", kDecoderChart, kChartKindBsb},
  };
  for (const Case& c : cases) {
    bitmap_t* b = nullptr;
    ASSERT_EQ(parse(chart(c.header, 3, kRows), &b, c.code), 0) << c.name;
    EXPECT_EQ(+b->width, 3) << c.name;
    EXPECT_EQ(+b->height, 2) << c.name;
    EXPECT_EQ(+b->variant, c.kind) << c.name;
    EXPECT_EQ(indices(b), (std::vector<uint8_t>{2, 2, 2, 1, 5, 5})) << c.name;
  }
}

// IFM depths: 7 is stored as 8 bits; colour bits lie above 7 - depth length bits, and
// depths 6 and 7 need an extension byte for a run of 4 pixels.
TEST_F(ChartTest, Depths) {
  struct Case {
    int depth, bits;
    bytes runs;  // one run over the 4 pixels
    uint8_t colour;
  };
  const Case cases[] = {{1, 1, {0x43}, 1},       {2, 2, {0x63}, 3},       {3, 3, {0x63}, 6},
                        {4, 4, {0x2B}, 5},       {5, 5, {0x47}, 17},      {6, 6, {0xFE, 0x03}, 63},
                        {7, 8, {0xC1, 0x03}, 0x41}};
  for (const Case& c : cases) {
    const std::string header = "BSB/RA=4,1\r\nIFM/" + std::to_string(c.depth) + "\r\n";
    bitmap_t* b = nullptr;
    ASSERT_EQ(parse(chart(header, c.depth, {row({1}, c.runs)}), &b), 0) << c.depth;
    EXPECT_EQ(+b->bits_per_sample, c.bits) << c.depth;
    EXPECT_EQ(indices(b), std::vector<uint8_t>(4, c.colour)) << c.depth;
  }
}

// A run byte with its top bit set takes seven more length bits from the next byte.
TEST_F(ChartTest, RunLengthExtension) {
  // Depth 3: 0x92 is colour 1, length 2, extended by 0x05: 2 x 128 + 5 = 261 -> 262 pixels.
  bitmap_t* b = nullptr;
  ASSERT_EQ(parse(chart("BSB/RA=263,1\r\nIFM/3\r\n", 3, {row({0}, {0x92, 0x05, 0x20})}), &b), 0);
  const std::vector<uint8_t> px = indices(b);
  EXPECT_EQ(px[0], 1);
  EXPECT_EQ(px[261], 1);
  EXPECT_EQ(px[262], 2);
  // Two extension bytes at depth 7: 1 x 128 x 128 + 0 x 128 + 4 = 16388 -> 16389 pixels.
  ASSERT_EQ(parse(chart("BSB/RA=16389,1\r\nIFM/7\r\n", 7, {row({1}, {0x85, 0x81, 0x80, 0x04})}),
                  &b), 0);
  EXPECT_EQ(indices(b), std::vector<uint8_t>(16389, 5));
}

// Row numbers of more than two 7-bit groups (charts of 16384 rows and more, as the
// 20000-row fixture) are read whole: every group counts, up to four.
TEST_F(ChartTest, LongRowNumbers) {
  bitmap_t* b = nullptr;
  // Rows 0 and 1 written with redundant leading zero groups: three and four groups.
  ASSERT_EQ(parse(chart("BSB/RA=1,2\r\nIFM/1\r\n", 1, {row({0x80, 0x80, 0x00}, {0x40}),
                                                      row({0x80, 0x80, 0x80, 0x01}, {0x00})}),
                  &b), 0);
  EXPECT_EQ(indices(b), (std::vector<uint8_t>{1, 0}));
  // 16384 = 1 x 128 x 128: read whole, it is neither 0 nor 1.
  EXPECT_EQ(parse(chart("BSB/RA=1,1\r\nIFM/1\r\n", 1, {row({0x81, 0x80, 0x00}, {0x40})})),
            ERR_BAD_FILE);
  // Five groups are no row number.
  const bytes five_groups = {0x80, 0x80, 0x80, 0x80, 0x01};
  EXPECT_EQ(parse(chart("BSB/RA=1,1\r\nIFM/1\r\n", 1, {row(five_groups, {0x40})})), ERR_BAD_FILE);
}

// An RGB entry whose index lies outside the tables changes nothing around them.
TEST_F(ChartTest, PaletteIndexOutsideTables) {
  bitmap_t* b = nullptr;
  const std::string header = kHeader + "RGB/256,1,2,3\r\nRGB/-1,4,5,6\r\nRGB/100000,7,8,9\r\n"
                                        "RGB/4294967297,9,9,9\r\nRGB/255,300,-5,77\r\n";
  ASSERT_EQ(parse(chart(header, 3, kRows), &b), 0);
  EXPECT_EQ(b->lut_g[0], 0);
  EXPECT_EQ(b->lut_b[0], 0);
  EXPECT_EQ(b->lut_r[1], 10);
  const double gamma = b->gamma;
  EXPECT_EQ(gamma, -1.0);
  EXPECT_EQ(b->lut_r[255], 255);
  EXPECT_EQ(b->lut_g[255], 0);
  EXPECT_EQ(b->lut_b[255], 77);
  EXPECT_EQ(indices(b), (std::vector<uint8_t>{2, 2, 2, 1, 5, 5}));
}

TEST_F(ChartTest, VersionFourRefusedWithTraceLine) {
  const std::string dir = tm_test::fresh_dir("kaplog");
  config_set("LOG_DIR", dir.c_str());
  config_set("LOGERROR", "1");
  log_init("TARM");
  EXPECT_EQ(parse(chart("VER/3.0\r\n" + kHeader, 3, kRows)), 0);
  EXPECT_EQ(parse(chart("VER/4.0\r\n" + kHeader, 3, kRows)), ERR_UNKNOWN_FORMAT);
  EXPECT_EQ(parse(chart(kHeader + "VER/5\r\n", 3, kRows)), ERR_UNKNOWN_FORMAT);
  std::ifstream in(log_path(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_NE(s.str().find("Version >= 4 non geree"), std::string::npos) << s.str();
}

// Header faults: bit depths outside 1 to 7, no depth, no or bad size, no raster data.
TEST_F(ChartTest, HeaderRefusals) {
  struct Case {
    const char* name;
    std::string header;
    int depth_byte, code;
  };
  const Case cases[] = {
      {"IFM 0", "BSB/RA=3,2\r\nIFM/0\r\n", 0, ERR_UNKNOWN_FORMAT},
      {"IFM 8", "BSB/RA=3,2\r\nIFM/8\r\n", 8, ERR_UNKNOWN_FORMAT},
      {"IFM -3", "BSB/RA=3,2\r\nIFM/-3\r\n", 3, ERR_UNKNOWN_FORMAT},
      {"no IFM", "BSB/RA=3,2\r\n", 3, ERR_UNKNOWN_FORMAT},
      {"no RA", "BSB/NA=x\r\nIFM/3\r\n", 3, ERR_BAD_FILE},
      {"RA zero", "BSB/RA=0,2\r\nIFM/3\r\n", 3, ERR_BAD_FILE},
      {"RA negative", "BSB/RA=3,-2\r\nIFM/3\r\n", 3, ERR_BAD_FILE},
      {"RA only in KNP", "KNP/RA=3,2\r\nIFM/3\r\n", 3, ERR_BAD_FILE},
      {"height beyond the file", "BSB/RA=3,2000000\r\nIFM/3\r\n", 3, ERR_BAD_FILE},
      {"huge size", "BSB/RA=99999999999999,99999999999999\r\nIFM/3\r\n", 3, ERR_BAD_FILE},
      {"depth byte differs", kHeader, 4, ERR_BAD_FILE},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parse(chart(c.header, c.depth_byte, kRows)), c.code) << c.name;
  EXPECT_EQ(parse(text(kHeader)), ERR_BAD_FILE) << "no Ctrl-Z";
  bytes no_nul = chart(kHeader, 3, kRows);
  no_nul[kHeader.size() + 1] = 1;
  EXPECT_EQ(parse(no_nul), ERR_BAD_FILE) << "no NUL after Ctrl-Z";
}

// A width larger than the memory budget allows is refused before allocation.
TEST_F(ChartTest, OversizeRefusedBeforeAllocation) {
  raster_set_max_image_bytes(1 << 20);
  EXPECT_EQ(parse(chart("BSB/RA=2000000,2\r\nIFM/3\r\n", 3, kRows)), ERR_MEMORY);
  raster_set_max_image_bytes(0);
}

// Raster faults of the small chart.
TEST_F(ChartTest, RasterRefusals) {
  struct Case {
    const char* name;
    std::vector<bytes> rows;
    bool table;
  };
  const Case cases[] = {
      {"row numbered 5 at position 1", {row({1}, {0x22}), row({5}, {0x10, 0x51})}, true},
      {"row numbered 2 at position 0", {row({2}, {0x22}), row({3}, {0x10, 0x51})}, true},
      {"run past the width", {row({1}, {0x23}), row({2}, {0x10, 0x51})}, true},
      {"second run past the width", {row({1}, {0x22}), row({2}, {0x11, 0x51})}, true},
      {"extended run past the width", {row({1}, {0xA1, 0x01}), row({2}, {0x10, 0x51})}, true},
      {"no row end", {bytes{1, 0x22, 7}, row({2}, {0x10, 0x51})}, true},
      {"rows without a table after them", kRows, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parse(chart(kHeader, 3, c.rows, c.table)), ERR_BAD_FILE) << c.name;
}

// Every prefix of a valid chart is refused with a code, never read past its end.
TEST_F(ChartTest, TruncatedChartsRefused) {
  const bytes whole = raster_test::read_bytes(raster_test::fixture("kap", "d3_longruns.kap"));
  ASSERT_FALSE(whole.empty());
  const bytes small = chart(kHeader, 3, kRows);
  ASSERT_EQ(parse(small), 0);
  // The row offset table (4 bytes a row and 4) is cut last: up to there every cut fails.
  const std::pair<const bytes*, size_t> files[] = {{&small, small.size() - 4},
                                                   {&whole, whole.size() - 4 * 7}};
  for (const auto& [f, rows_end] : files) {
    for (size_t n = 0; n <= rows_end; ++n) {
      const bytes cut(f->begin(), f->begin() + std::ptrdiff_t(n));
      const int rc = parse(cut);
      EXPECT_TRUE(rc == ERR_BAD_FILE || rc == ERR_UNKNOWN_FORMAT) << n << " rc " << rc;
    }
  }
}

TEST_F(ChartTest, MissingFile) {
  bitmap_t* b = record_for_path(tm_test::fresh_dir("kapnone") + "none.kap", kDecoderChart);
  EXPECT_EQ(sb_chart_parse(b), ERR_FILE_ACCESS);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(ChartTest, KeywordDictionaries) {
  ASSERT_NE(bsb_record_keywords(), nullptr);
  ASSERT_NE(bsb_sub_keywords(), nullptr);
  struct Case {
    const container_t* dict;
    const char* name;
    int code;
  };
  const Case cases[] = {{bsb_record_keywords(), "NO1", 0}, {bsb_record_keywords(), "BSB", 1},
                        {bsb_record_keywords(), "RGB", 2}, {bsb_record_keywords(), "VER", 3},
                        {bsb_record_keywords(), "OST", 4}, {bsb_record_keywords(), "IFM", 5},
                        {bsb_record_keywords(), "NOS", 6}, {bsb_record_keywords(), "REF", 7},
                        {bsb_record_keywords(), "KNP", 8}, {bsb_sub_keywords(), "RA", 1},
                        {bsb_sub_keywords(), "DU", 2},     {bsb_sub_keywords(), "GD", 3},
                        {bsb_sub_keywords(), "PR", 4},     {bsb_sub_keywords(), "UN", 5},
                        {bsb_sub_keywords(), "PP", 6},     {bsb_sub_keywords(), "P1", 7},
                        {bsb_sub_keywords(), "P4", 10},    {bsb_sub_keywords(), "NA", -1}};
  for (const Case& c : cases) {
    int code = 0;
    dict_lookup(c.dict, c.name, -1, &code);
    EXPECT_EQ(code, c.code) << c.name;
  }
}

}  // namespace
