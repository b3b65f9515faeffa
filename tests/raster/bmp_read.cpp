// The BMP reader: pixels of every depth, compression and row order against PIL's
// reading of the same files; bit-field scaling and default masks; refusals with their
// codes; runs, deltas and literals that reach past the image; every truncation.
#include "raster/bmp_read.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstring>

#include "tests/raster/decoder_fixture.h"

namespace {

using raster_test::bytes;

class BmpPixels : public raster_test::DecoderTest,
                  public ::testing::WithParamInterface<std::string> {};

TEST_P(BmpPixels, MatchPil) {
  expect_reference_pixels("bmp", GetParam(), bmp_read, 19);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, BmpPixels,
                         ::testing::ValuesIn(raster_test::fixture_images("bmp")),
                         raster_test::case_name);

void put16(bytes* f, size_t at, uint32_t v) {
  (*f)[at] = uint8_t(v);
  (*f)[at + 1] = uint8_t(v >> 8);
}
void put32(bytes* f, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*f)[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A BMP of the 40-byte header followed by `extra` (masks or palette) and `data`.
bytes make_bmp(int32_t width, int32_t height, int bits, int compression, const bytes& extra,
               const bytes& data) {
  bytes f(54, 0);
  f[0] = 'B';
  f[1] = 'M';
  put32(&f, 2, uint32_t(54 + extra.size() + data.size()));
  put32(&f, 10, uint32_t(54 + extra.size()));
  put32(&f, 14, 40);
  put32(&f, 18, uint32_t(width));
  put32(&f, 22, uint32_t(height));
  put16(&f, 26, 1);
  put16(&f, 28, uint32_t(bits));
  put32(&f, 30, uint32_t(compression));
  put32(&f, 38, 2835);
  put32(&f, 42, 3780);
  f.insert(f.end(), extra.begin(), extra.end());
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

bytes masks(uint32_t r, uint32_t g, uint32_t b) {
  bytes m(12, 0);
  put32(&m, 0, r);
  put32(&m, 4, g);
  put32(&m, 8, b);
  return m;
}

class BmpReader : public raster_test::DecoderTest {
 protected:
  // The red, green and blue of pixel (x, y) of a decoded three-plane image.
  static std::array<int, 3> rgb_at(bitmap_t* b, int x, int y) {
    std::array<int, 3> v{};
    for (int p = 0; p < 3; ++p) v[size_t(p)] = get_img_line_adr(b, y, p)[x];
    return v;
  }
};

// Pixel kinds, sample fields and the resolution (2835 and 3780 per metre: 72 and 96 dpi).
TEST_F(BmpReader, HeaderFields) {
  struct Case {
    const char* file;
    int kind, bits, planes;
  };
  const Case cases[] = {{"p8_rle8.bmp", 1, 8, 1}, {"p4_rle4.bmp", 1, 4, 1},
                        {"bf16_565.bmp", 2, 16, 3}, {"pil_rgb.bmp", 0, 24, 3},
                        {"p1.bmp", 0, 1, 1}, {"bf32_default.bmp", 0, 32, 3}};
  for (const Case& c : cases) {
    bitmap_t* b = record_for_path(raster_test::fixture("bmp", c.file), 19);
    ASSERT_EQ(bmp_read(b), 0) << c.file;
    EXPECT_EQ(+b->variant, c.kind) << c.file;
    EXPECT_EQ(+b->bits_per_sample, c.bits) << c.file;
    EXPECT_EQ(+b->samples_per_pixel, 1) << c.file;
    EXPECT_EQ(+b->planes, c.planes) << c.file;
  }
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(bmp_read, make_bmp(1, 1, 24, 0, {}, bytes(4, 0)), &b), 0);
  EXPECT_EQ(+b->xres, 72);
  EXPECT_EQ(+b->yres, 96);
}

// Channels are (pixel AND mask) x 255 / mask without overflow, masks in the top bits
// included; the defaults are 5-5-5 for 16 bits and 8-8-8 for 32; an empty mask gives 0.
TEST_F(BmpReader, BitFields) {
  struct Case {
    const char* what;
    int bits, compression;
    bytes extra;
    uint32_t pixel;
    std::array<int, 3> want;
  };
  const Case cases[] = {
      {"16-bit default red", 16, 0, {}, 0x7C00, {255, 0, 0}},
      {"16-bit default mid", 16, 0, {}, 0x4210, {131, 131, 131}},  // 16 of 31 each
      {"16-bit top bit unused", 16, 0, {}, 0x8000, {0, 0, 0}},
      {"16-bit 5-6-5", 16, 3, masks(0xF800, 0x07E0, 0x001F), 0x07E0, {0, 255, 0}},
      {"32-bit default", 32, 0, {}, 0x00102030, {0x10, 0x20, 0x30}},
      {"32-bit top masks", 32, 3, masks(0xFF000000, 0x00FF0000, 0x0000FF00), 0x80FF4000,
       {128, 255, 64}},
      {"32-bit wide mask", 32, 3, masks(0xFFFFFFFF, 0, 0), 0xFFFFFFFF, {255, 0, 0}},
      {"zero masks", 32, 3, masks(0, 0, 0), 0xFFFFFFFF, {0, 0, 0}},
      {"zero masks 16", 16, 3, masks(0, 0, 0), 0xFFFF, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    bytes data(4, 0);
    put32(&data, 0, c.pixel);
    bitmap_t* b = nullptr;
    ASSERT_EQ(decode(bmp_read, make_bmp(1, 1, c.bits, c.compression, c.extra, data), &b), 0)
        << c.what;
    EXPECT_EQ(rgb_at(b, 0, 0), c.want) << c.what;
  }
}

// Variants and damaged headers, each with its code.
TEST_F(BmpReader, Refusals) {
  struct Case {
    const char* what;
    bytes file;
    int rc;
  };
  bytes os2 = make_bmp(2, 2, 24, 0, {}, bytes(16, 0));
  put32(&os2, 14, 12);
  bytes short_rows = make_bmp(2, 2, 24, 0, {}, bytes(15, 0));
  bytes past_end = make_bmp(1, 1, 24, 0, {}, bytes(4, 0));
  put32(&past_end, 10, 1000);
  bytes stated_long = make_bmp(4, 1, 8, 1, {}, {4, 1, 0, 1});
  bytes header_only = make_bmp(1, 1, 24, 0, {}, {});
  header_only.resize(40);
  put32(&stated_long, 2, 5000);
  const Case cases[] = {
      {"OS/2 header", os2, ERR_UNKNOWN_FORMAT},
      {"compression 4", make_bmp(2, 2, 24, 4, {}, bytes(16, 0)), ERR_UNKNOWN_FORMAT},
      {"2 bits", make_bmp(2, 2, 2, 0, {}, bytes(8, 0)), ERR_BAD_FILE},
      {"RLE8 of 4 bits", make_bmp(2, 2, 4, 1, {}, {0, 1}), ERR_BAD_FILE},
      {"RLE4 of 8 bits", make_bmp(2, 2, 8, 2, {}, {0, 1}), ERR_BAD_FILE},
      {"RLE8 top-down", make_bmp(2, -2, 8, 1, {}, {0, 1}), ERR_BAD_FILE},
      {"bit fields of 24 bits", make_bmp(1, 1, 24, 3, masks(1, 2, 4), bytes(4, 0)), ERR_BAD_FILE},
      {"bit fields cut short", make_bmp(1, 1, 16, 3, {}, bytes(4, 0)), ERR_BAD_FILE},
      {"negative width", make_bmp(-5, 2, 24, 0, {}, bytes(64, 0)), ERR_BAD_FILE},
      {"zero width", make_bmp(0, 2, 24, 0, {}, bytes(64, 0)), ERR_BAD_FILE},
      {"zero height", make_bmp(2, 0, 24, 0, {}, bytes(64, 0)), ERR_BAD_FILE},
      {"height -2^31", make_bmp(2, INT32_MIN, 24, 0, {}, bytes(64, 0)), ERR_BAD_FILE},
      {"rows past the end", short_rows, ERR_BAD_FILE},
      {"data offset past the end", past_end, ERR_BAD_FILE},
      {"RLE file shorter than stated", stated_long, ERR_BAD_FILE},
      {"RLE data without end", make_bmp(4, 3, 8, 1, {}, {4, 1, 0, 0}), ERR_BAD_FILE},
      {"header only", header_only, ERR_BAD_FILE},
      {"empty", {}, ERR_BAD_FILE},
  };
  for (const Case& c : cases) EXPECT_EQ(decode(bmp_read, c.file), c.rc) << c.what;
  EXPECT_EQ(bmp_read(record_for_path("/nonexistent/x.bmp", 19)), ERR_FILE_ACCESS);
}

// A palette region of more than 256 entries fills the 256 tables and no more; images of
// more than 8 bits read no palette.
TEST_F(BmpReader, LongPaletteRegion) {
  bytes pal(4 * 400, 0);
  for (size_t i = 0; i < 400; ++i) pal[4 * i + 2] = uint8_t(i);  // red = index
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(bmp_read, make_bmp(1, 1, 8, 0, pal, {255, 0, 0, 0}), &b), 0);
  EXPECT_EQ(b->lut_r[255], 255);
  EXPECT_EQ(b->lut_r[7], 7);
  ASSERT_EQ(decode(bmp_read, make_bmp(1, 1, 24, 0, pal, {1, 2, 3, 0}), &b), 0);
  EXPECT_EQ(b->lut_r[7], 7);  // identity, untouched
  EXPECT_EQ(rgb_at(b, 0, 0), (std::array<int, 3>{3, 2, 1}));
}

// Runs, literals and deltas that reach right of the image or above it are cut there;
// rows not written stay 0.
TEST_F(BmpReader, RleBounds) {
  struct Case {
    const char* what;
    int bits;
    bytes data;
    std::vector<bytes> rows;  // top line first
  };
  bytes many_deltas;
  for (int i = 0; i < 5000; ++i) many_deltas.insert(many_deltas.end(), {0, 2, 255, 0});
  many_deltas.insert(many_deltas.end(), {3, 9, 0, 0, 2, 5, 0, 1});
  const Case cases[] = {
      {"run past the width", 8, {200, 7, 0, 0, 1, 5, 0, 1}, {{0, 0, 0}, {5, 0, 0}, {7, 7, 7}}},
      {"literal past the width", 8, {0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 1, 9, 0, 1},
       {{0, 0, 0}, {9, 0, 0}, {1, 2, 3}}},
      {"delta above the top", 8, {1, 4, 0, 2, 1, 200, 6, 6}, {{0, 0, 0}, {0, 0, 0}, {4, 0, 0}}},
      {"delta right of the image", 8, many_deltas, {{0, 0, 0}, {5, 5, 0}, {0, 0, 0}}},
      {"delta then run", 8, {0, 2, 1, 1, 2, 8, 0, 1}, {{0, 0, 0}, {0, 8, 8}, {0, 0, 0}}},
      {"rle4 nibbles", 4, {3, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1},
       {{0, 0, 0}, {4, 5, 6}, {1, 2, 1}}},
      {"rle4 run past the width", 4, {9, 0x34, 0, 1}, {{0, 0, 0}, {0, 0, 0}, {3, 4, 3}}},
      {"lines past the top", 8, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
  };
  for (const Case& c : cases) {
    bitmap_t* b = nullptr;
    ASSERT_EQ(decode(bmp_read, make_bmp(3, 3, c.bits, c.bits == 8 ? 1 : 2, {}, c.data), &b), 0)
        << c.what;
    for (int y = 0; y < 3; ++y) {
      const uint8_t* line = get_img_line_adr(b, y, 0);
      EXPECT_EQ(bytes(line, line + 3), c.rows[size_t(y)]) << c.what << " row " << y;
    }
  }
}

// Sizes no file of this length can hold, or too large for memory, are refused before
// any allocation.
TEST_F(BmpReader, HostileSizes) {
  EXPECT_EQ(decode(bmp_read, make_bmp(INT32_MAX, INT32_MAX, 24, 0, {}, bytes(64, 0))), ERR_BAD_FILE);
  EXPECT_EQ(decode(bmp_read, make_bmp(INT32_MAX, 1, 32, 0, {}, bytes(64, 0))), ERR_BAD_FILE);
  EXPECT_EQ(decode(bmp_read, make_bmp(1, -INT32_MAX, 8, 0, {}, bytes(64, 0))), ERR_BAD_FILE);
  // RLE can describe a large empty image in a few bytes: the memory limits refuse it.
  EXPECT_EQ(decode(bmp_read, make_bmp(INT32_MAX, INT32_MAX, 8, 1, {}, {0, 1})), ERR_MEMORY);
  EXPECT_EQ(decode(bmp_read, make_bmp(1 << 20, 1 << 20, 4, 2, {}, {0, 1})), ERR_MEMORY);
}

// Every truncation of each kind of file is refused with 14.
TEST_F(BmpReader, EveryTruncation) {
  for (const char* name : {"p8_rle8_delta.bmp", "p4_rle4.bmp", "bf16_565.bmp", "pil_rgb.bmp",
                           "p1.bmp", "im_rle8.bmp", "bf32_topdown.bmp"}) {
    const bytes whole = raster_test::read_bytes(raster_test::fixture("bmp", name));
    ASSERT_FALSE(whole.empty()) << name;
    for (size_t n = 0; n < whole.size(); ++n) {
      const bytes cut(whole.begin(), whole.begin() + int64_t(n));
      ASSERT_EQ(decode(bmp_read, cut), ERR_BAD_FILE) << name << " cut at " << n;
    }
  }
}

}  // namespace
