// The SGI reader: verbatim and run-length files of netpbm, ImageMagick and the fixture
// script against sgitopnm's reading (the fourth channel against sgitopnm -channel 3);
// dithered images; the header fields; runs cut at the row end; line tables checked
// against the file; refusals with their codes; every truncation; flipped bytes;
// loading through the dispatcher.
#include "raster/sgi_read.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "raster/image_load.h"
#include "tests/raster/decoder_fixture.h"
#include "tests/raster/image_load_fixture.h"

namespace {

using raster_test::bytes;
using raster_test::ImageLoadTest;


// RGB of the first three planes (one plane through the lookup tables).
bytes first_three_planes(bitmap_t* b) {
  if (b->planes < 3) return raster_test::image_rgb(b);
  bytes out;
  for (int y = 0; y < b->height; ++y) {
    const uint8_t* l = get_img_line_adr(b, y, 0);
    if (!l) return {};
    for (int x = 0; x < b->width; ++x)
      for (int c = 0; c < 3; ++c) out.push_back(l[c * b->width + x]);
  }
  return out;
}

bytes plane(bitmap_t* b, int p) {
  bytes out;
  for (int y = 0; y < b->height; ++y) {
    const uint8_t* l = get_img_line_adr(b, y, p);
    if (!l) return {};
    out.insert(out.end(), l, l + b->width);
  }
  return out;
}

class SgiPixels : public raster_test::DecoderTest,
                  public ::testing::WithParamInterface<std::string> {};

TEST_P(SgiPixels, MatchReference) {
  const std::string name = GetParam();
  const std::string path = raster_test::fixture("sgi", name);
  bitmap_t* b = record_for_path(path, kDecoderSgi);
  ASSERT_EQ(sgi_read(b), 0) << name;
  EXPECT_EQ(get_gblerr(), 0);
  const std::string stem = name.substr(0, name.rfind('.'));
  const bytes want = raster_test::read_bytes(raster_test::fixture("sgi", stem + ".rgb"));
  ASSERT_EQ(size_t(b->width) * b->height * 3, want.size()) << name;
  EXPECT_EQ(first_three_planes(b), want) << name;
  const bytes file = raster_test::read_bytes(path);
  EXPECT_EQ(+b->variant, file[2] ? kSgiRlePixelKind : kSgiVerbatimPixelKind);
  const std::string alpha = raster_test::fixture("sgi", stem + ".a");
  if (std::filesystem::exists(alpha)) {
    ASSERT_EQ(+b->planes, 4) << name;
    EXPECT_EQ(plane(b, 3), raster_test::read_bytes(alpha)) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SgiPixels,
                         ::testing::ValuesIn(raster_test::fixture_images("sgi")),
                         raster_test::case_name);

void put16(bytes* f, size_t at, uint32_t v) {
  (*f)[at] = uint8_t(v >> 8);
  (*f)[at + 1] = uint8_t(v);
}
void put32(bytes* f, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*f)[at + i] = uint8_t(v >> (24 - 8 * i));
}

// An SGI header (512 bytes) followed by the data.
bytes make_sgi(int storage, int bpc, int dimension, int x, int y, int z, const bytes& data,
               uint32_t colormap = 0) {
  bytes f(512, 0);
  put16(&f, 0, 474);
  f[2] = uint8_t(storage);
  f[3] = uint8_t(bpc);
  put16(&f, 4, uint32_t(dimension));
  put16(&f, 6, uint32_t(x));
  put16(&f, 8, uint32_t(y));
  put16(&f, 10, uint32_t(z));
  put32(&f, 104, colormap);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// A run-length file of one channel: the tables for `rows` (offset, length), then data.
bytes make_rle(int x, const std::vector<std::pair<uint32_t, uint32_t>>& rows, const bytes& data,
               int z = 1) {
  bytes tables(rows.size() * 8, 0);
  for (size_t i = 0; i < rows.size(); ++i) {
    put32(&tables, 4 * i, rows[i].first);
    put32(&tables, 4 * (rows.size() + i), rows[i].second);
  }
  tables.insert(tables.end(), data.begin(), data.end());
  return make_sgi(1, 1, 3, x, int(rows.size()) / z, z, tables);
}

bytes line(bitmap_t* b, int y, int p = 0) {
  const uint8_t* l = get_img_line_adr(b, y, p);
  return l ? bytes(l, l + b->width) : bytes{};
}

class SgiReader : public raster_test::DecoderTest {};

TEST_F(SgiReader, HeaderFields) {
  struct Case {
    const char* file;
    int planes, width, height;
  };
  const Case cases[] = {{"np_verbatim_grey.sgi", 1, 21, 9}, {"np_rle_rgb.sgi", 3, 21, 9},
                        {"im_rgba.sgi", 4, 21, 9},          {"own_z5.sgi", 4, 21, 9},
                        {"own_dither_rle.sgi", 3, 21, 9},   {"own_dim1.sgi", 1, 21, 1}};
  for (const Case& c : cases) {
    bitmap_t* b = record_for_path(raster_test::fixture("sgi", c.file), kDecoderSgi);
    ASSERT_EQ(sgi_read(b), 0) << c.file;
    EXPECT_EQ(+b->planes, c.planes) << c.file;
    EXPECT_EQ(+b->bits_per_sample, 8) << c.file;
    EXPECT_EQ(+b->width, c.width) << c.file;
    EXPECT_EQ(+b->height, c.height) << c.file;
  }
}

// Rows are stored bottom first; a dithered byte splits into its raw bit fields.
TEST_F(SgiReader, RowOrderAndDither) {
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(sgi_read, make_sgi(0, 1, 2, 2, 2, 1, {1, 2, 3, 4}), &b), 0);
  EXPECT_EQ(line(b, 0), (bytes{3, 4}));
  EXPECT_EQ(line(b, 1), (bytes{1, 2}));
  ASSERT_EQ(decode(sgi_read, make_sgi(0, 1, 2, 2, 1, 1, {0xFF, 0x5D}, 1), &b), 0);
  EXPECT_EQ(+b->planes, 3);
  EXPECT_EQ(line(b, 0, 0), (bytes{7, 5}));
  EXPECT_EQ(line(b, 0, 1), (bytes{7, 3}));
  EXPECT_EQ(line(b, 0, 2), (bytes{3, 1}));
}

// Runs longer than the row are cut at its end; a literal run longer than the coded
// row is cut at the row's length; a row may end early (the rest stays 0), and the
// offsets need not follow one another.
TEST_F(SgiReader, RunsCutAtTheRow) {
  const uint32_t d = 512 + 3 * 8;
  // Row 0 (bottom): a run of 127 fives; row 1: literal count 100 with 2 bytes in its
  // length; row 2: a run of 2 then the end byte.
  const bytes data = {0x7F, 5, 0x80 | 100, 8, 9, 0xEE, 2, 6, 0};
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(sgi_read, make_rle(4, {{d, 2}, {d + 2, 3}, {d + 6, 3}}, data), &b), 0);
  EXPECT_EQ(line(b, 2), (bytes{5, 5, 5, 5}));
  EXPECT_EQ(line(b, 1), (bytes{8, 9, 0, 0}));
  EXPECT_EQ(line(b, 0), (bytes{6, 6, 0, 0}));
  // Rows pointing at the same bytes, in any order.
  ASSERT_EQ(decode(sgi_read, make_rle(3, {{d + 6, 3}, {d, 2}, {d + 6, 3}}, data), &b), 0);
  EXPECT_EQ(line(b, 0), (bytes{6, 6, 0}));
  EXPECT_EQ(line(b, 1), (bytes{5, 5, 5}));
  EXPECT_EQ(line(b, 2), (bytes{6, 6, 0}));
  // A length far beyond what a row can use, but inside the file.
  bytes big = {0x80 | 3, 1, 2, 3};
  big.resize(5000, 0x7F);
  ASSERT_EQ(decode(sgi_read, make_rle(3, {{512 + 8, 5000}}, big), &b), 0);
  EXPECT_EQ(line(b, 0), (bytes{1, 2, 3}));
}

TEST_F(SgiReader, Refusals) {
  struct Case {
    const char* what;
    bytes file;
    int rc;
  };
  const bytes px(64, 1);
  const uint32_t d = 512 + 2 * 8;
  const Case cases[] = {
      {"storage 2", make_sgi(2, 1, 2, 2, 2, 1, px), ERR_UNKNOWN_FORMAT},
      {"2 bytes per channel", make_sgi(0, 2, 2, 2, 2, 1, px), ERR_UNKNOWN_FORMAT},
      {"0 bytes per channel", make_sgi(0, 0, 2, 2, 2, 1, px), ERR_UNKNOWN_FORMAT},
      {"dimension 0", make_sgi(0, 1, 0, 2, 2, 1, px), ERR_BAD_FILE},
      {"dimension 4", make_sgi(0, 1, 4, 2, 2, 1, px), ERR_BAD_FILE},
      {"2 channels", make_sgi(0, 1, 3, 2, 2, 2, px), ERR_UNKNOWN_FORMAT},
      {"0 channels", make_sgi(0, 1, 3, 2, 2, 0, px), ERR_UNKNOWN_FORMAT},
      {"colour map id 3", make_sgi(0, 1, 2, 2, 2, 1, px, 3), ERR_UNKNOWN_FORMAT},
      {"colour map id 7", make_sgi(0, 1, 2, 2, 2, 1, px, 7), ERR_UNKNOWN_FORMAT},
      {"width 0", make_sgi(0, 1, 2, 0, 2, 1, px), ERR_BAD_FILE},
      {"height 0", make_sgi(0, 1, 2, 2, 0, 1, px), ERR_BAD_FILE},
      {"header cut short", bytes(511, 0), ERR_BAD_FILE},
      {"empty", {}, ERR_BAD_FILE},
      {"verbatim rows short", make_sgi(0, 1, 3, 4, 4, 3, bytes(47, 1)), ERR_BAD_FILE},
      {"dithered rows short", make_sgi(0, 1, 2, 4, 4, 1, bytes(15, 1), 1), ERR_BAD_FILE},
      {"tables short", make_sgi(1, 1, 3, 4, 4, 3, bytes(95, 0)), ERR_BAD_FILE},
      {"row offset beyond the file", make_rle(2, {{d, 1}, {900, 1}}, {0, 0}), ERR_BAD_FILE},
      {"row length beyond the file", make_rle(2, {{d, 1}, {d, 3}}, {0, 0}), ERR_BAD_FILE},
      {"offset near 4G", make_rle(2, {{d, 1}, {0xFFFFFFF0u, 0x20}}, {0, 0}), ERR_BAD_FILE},
      {"65535 x 65535 verbatim, no data", make_sgi(0, 1, 3, 65535, 65535, 3, {}), ERR_BAD_FILE},
      {"65535 x 65535 coded, no tables", make_sgi(1, 1, 3, 65535, 65535, 4, {}), ERR_BAD_FILE},
      {"65535 channels, no tables", make_sgi(1, 1, 3, 2, 2, 65535, px), ERR_BAD_FILE},
  };
  for (const Case& c : cases) EXPECT_EQ(decode(sgi_read, c.file), c.rc) << c.what;
  // Entries of a fifth channel, which is not read, are checked as well.
  std::vector<std::pair<uint32_t, uint32_t>> rows(5, {512 + 40, 2});
  EXPECT_EQ(decode(sgi_read, make_rle(1, rows, {0x01, 4}, 5)), 0);
  rows[4] = {999999, 5};
  EXPECT_EQ(decode(sgi_read, make_rle(1, rows, {0x01, 4}, 5)), ERR_BAD_FILE);
  for (const char* name : {"two_channels.bad", "colormap3.bad"}) {
    bitmap_t* b = record_for_path(raster_test::fixture("sgi", name), kDecoderSgi);
    EXPECT_EQ(sgi_read(b), ERR_UNKNOWN_FORMAT) << name;
  }
  EXPECT_EQ(sgi_read(record_for_path("/nonexistent/x.sgi", kDecoderSgi)), ERR_FILE_ACCESS);
}

const char* const kSamples[] = {"np_verbatim_grey.sgi", "np_rle_rgb.sgi",    "im_rgba.sgi",
                                "im_rgba_none.sgi",     "own_dither_rle.sgi", "own_z5.sgi",
                                "own_rle_shared.sgi"};

// Every cut before the end of the pixels is refused with 14.
TEST_F(SgiReader, EveryTruncation) {
  for (const char* name : kSamples) {
    const bytes whole = raster_test::read_bytes(raster_test::fixture("sgi", name));
    ASSERT_FALSE(whole.empty()) << name;
    for (size_t n = 0; n < whole.size(); ++n) {
      const bytes cut(whole.begin(), whole.begin() + int64_t(n));
      ASSERT_EQ(decode(sgi_read, cut), ERR_BAD_FILE) << name << " cut at " << n;
    }
  }
}

// Any byte flipped gives a result of the contract and a clear error state.
TEST_F(SgiReader, FlippedBytes) {
  for (const char* name : kSamples) {
    const bytes whole = raster_test::read_bytes(raster_test::fixture("sgi", name));
    for (size_t i = 0; i < whole.size(); ++i) {
      if (i >= 12 && i < 104) continue;  // unused header bytes
      bytes f = whole;
      f[i] ^= 0xFF;
      const int rc = decode(sgi_read, f);
      ASSERT_TRUE(rc == 0 || rc == ERR_UNKNOWN_FORMAT || rc == ERR_BAD_FILE || rc == ERR_MEMORY)
          << name << " byte " << i << " gives " << rc;
    }
  }
}

// Through the dispatcher: the image joins the list with its pixels; a refused file
// leaves no record and its loading error in the trace log.
TEST_F(ImageLoadTest, SgiLoadsThroughItsDecoderRow) {
  const std::string path = raster_test::fixture("sgi", "im_rgb.sgi");
  int rc = -1;
  bitmap_t* b = load(image_file(path, kDecoderSgi), &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_NE(b, nullptr);
  const std::string rgb = path.substr(0, path.rfind('.')) + ".rgb";
  EXPECT_EQ(raster_test::image_rgb(b), raster_test::read_bytes(rgb));
  configure("ENGLISH", nullptr);
  const std::string bad = raster_test::fixture("sgi", "two_channels.bad");
  const int before = image_count();
  EXPECT_EQ(load(image_file(bad, kDecoderSgi), &rc), nullptr);
  EXPECT_EQ(rc, ERR_UNKNOWN_FORMAT);
  EXPECT_EQ(image_count(), before);
  EXPECT_NE(trace_log().find("Loading error " + bad + " : "), std::string::npos) << trace_log();
}

}  // namespace
