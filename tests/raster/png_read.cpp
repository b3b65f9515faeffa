// The PNG reader: pixels of every colour type and depth, plain and interlaced, against
// PIL's reading of the same files; the ancillary chunks; refusals with their codes for
// bad headers, short chunks, truncated files, hostile sizes and over-long data; small
// images built byte by byte (stored Deflate blocks, image data over two chunks).
#include "raster/png_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/sys/checksum.h"
#include "tests/raster/decoder_fixture.h"
#include "tests/raster/png_builder.h"

namespace {

using raster_test::bytes;
using raster_test::png_builder;

class PngPixels : public raster_test::DecoderTest,
                  public ::testing::WithParamInterface<std::string> {};

// Every fixture decodes to the RGB pixels PIL gives for it (alpha dropped).
TEST_P(PngPixels, MatchPil) {
  bitmap_t* b = expect_reference_pixels("png", GetParam(), png_read, 4);
  EXPECT_EQ(+b->variant, kPngPixelKind);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PngPixels,
                         ::testing::ValuesIn(raster_test::fixture_images("png")),
                         raster_test::case_name);

class PngReader : public raster_test::DecoderTest {};

// The header's depth and colour type become bits per sample, samples per pixel and planes.
TEST_F(PngReader, HeaderFields) {
  struct Case {
    const char* file;
    int bits, samples, planes;
  };
  const Case cases[] = {{"t0_d1.png", 1, 1, 1}, {"t0_d4_adam7.png", 4, 1, 1},
                        {"t2_d8.png", 8, 3, 3}, {"t3_d2.png", 2, 1, 1},
                        {"t4_d8.png", 8, 2, 1}, {"t6_d8_adam7.png", 8, 4, 3}};
  for (const Case& c : cases) {
    bitmap_t* b = record_for_path(raster_test::fixture("png", c.file), 4);
    ASSERT_EQ(png_read(b), 0) << c.file;
    EXPECT_EQ(+b->bits_per_sample, c.bits) << c.file;
    EXPECT_EQ(+b->samples_per_pixel, c.samples) << c.file;
    EXPECT_EQ(+b->planes, c.planes) << c.file;
    EXPECT_EQ(+b->width, 13);
    EXPECT_EQ(+b->height, 11);
  }
}

// gAMA, pHYs (per metre to dots per inch), tRNS by colour type; bKGD never makes a
// colour transparent; the unknown ancillary chunk is skipped.
TEST_F(PngReader, AncillaryChunks) {
  struct Case {
    const char* file;
    int has_transparent;
    uint8_t transparent[3];
  };
  const Case cases[] = {
      {"t0_d2_chunks.png", 1, {1, 0, 0}},     // grey value 1 of 0..3
      {"t0_d8_adam7_chunks.png", 1, {127, 0, 0}},
      {"t2_d8_chunks.png", 1, {10, 20, 30}},  // not the background 1, 2, 3
      {"t3_d2_chunks.png", 1, {2, 0, 0}},     // alpha 255 128 0 64: the first 0
      {"t3_d1_chunks.png", 1, {1, 0, 0}},     // alpha 255 128: the smallest
      {"t4_d8_chunks.png", 0, {0, 0, 0}},
      {"t6_d8_chunks.png", 0, {0, 0, 0}},     // background only
  };
  for (const Case& c : cases) {
    bitmap_t* b = record_for_path(raster_test::fixture("png", c.file), 4);
    ASSERT_EQ(png_read(b), 0) << c.file;
    EXPECT_NEAR(+b->gamma, 0.45455, 1e-9) << c.file;
    EXPECT_EQ(+b->xres, 96) << c.file;  // 3780 per metre
    EXPECT_EQ(+b->yres, 72) << c.file;  // 2835 per metre
    EXPECT_EQ(+b->has_transparent, c.has_transparent) << c.file;
    if (!c.has_transparent) continue;
    for (int p = 0; p < b->planes; ++p) EXPECT_EQ(b->transparent[p], c.transparent[p]) << c.file;
  }
  bitmap_t* plain = record_for_path(raster_test::fixture("png", "t2_d8.png"), 4);
  ASSERT_EQ(png_read(plain), 0);
  EXPECT_EQ(+plain->gamma, -1.0);
  EXPECT_EQ(+plain->has_transparent, 0);
}

// The palette transparency rule: the first alpha 0, else the smallest alpha below 255
// (the first of equals); all opaque keeps the value but sets the flag.
TEST_F(PngReader, PaletteTransparency) {
  struct Case {
    bytes alpha;
    int index;
  };
  const Case cases[] = {{{255, 128, 0, 64}, 2}, {{255, 128, 64}, 2}, {{200, 100, 100, 0}, 3},
                        {{200, 100, 150, 100}, 1}, {{255, 255}, 77}};
  for (const Case& c : cases) {
    png_builder pb;
    pb.colour_type = 3;
    pb.chunks = {png_builder::chunk("PLTE", bytes(12, 9)), png_builder::chunk("tRNS", c.alpha)};
    bitmap_t* b = nullptr;
    bitmap_t* rec = record_for_bytes(pb.build(), 4);
    rec->transparent[0] = 77;
    b = rec;
    ASSERT_EQ(png_read(b), 0);
    EXPECT_EQ(+b->has_transparent, 1);
    EXPECT_EQ(b->transparent[0], c.index);
  }
}

// A palette chunk in a grey image (which PNG does not allow) leaves the grey levels.
TEST_F(PngReader, GreyImageIgnoresPalette) {
  png_builder pb;
  pb.depth = 2;
  pb.chunks = {png_builder::chunk("PLTE", bytes(12, 9))};
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(png_read, pb.build(), &b), 0);
  EXPECT_EQ(b->lut_r[1], 85);
  EXPECT_EQ(b->lut_b[3], 255);
}

// A background chunk of an RGB image fills the image but sets no transparency; rows
// that the data lacks keep the background.
TEST_F(PngReader, BackgroundIsNotTransparency) {
  png_builder pb;
  pb.colour_type = 2;
  pb.chunks = {png_builder::chunk("bKGD", {0, 40, 0, 50, 1, 0})};
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(png_read, pb.build(), &b), 0);
  EXPECT_EQ(+b->has_transparent, 0);
  // Only the first of two rows in the data: the second stays the background.
  pb.raw = bytes(1 + 2 * 3, 0);
  ASSERT_EQ(decode(png_read, pb.build(), &b), ERR_BAD_FILE);
  const uint8_t* line = get_img_line_adr(b, 1, 0);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line[0], 40);  // red
  EXPECT_EQ(line[2], 50);  // green
  EXPECT_EQ(line[4], 255); // blue, clamped
  EXPECT_EQ(get_img_line_adr(b, 0, 0)[0], 0);
}

// Each filter type undone over a row that depends on the row above and the pixel to
// the left; a filter type above 4 is refused.
TEST_F(PngReader, Filters) {
  // Two rows of 3 grey pixels: row 0 = 10 20 30 (filter 0); row 1 by each filter.
  struct Case {
    uint8_t filter;
    bytes stored;  // row 1 as stored
    bytes want;    // row 1 decoded
  };
  const Case cases[] = {{0, {1, 2, 3}, {1, 2, 3}},
                        {1, {5, 1, 1}, {5, 6, 7}},
                        {2, {1, 2, 3}, {11, 22, 33}},
                        {3, {1, 2, 3}, {6, 15, 25}},  // plus (left + up) / 2, left already decoded
                        {4, {1, 2, 3}, {11, 22, 33}}};
  for (const Case& c : cases) {
    png_builder pb;
    pb.width = 3;
    pb.raw = {0, 10, 20, 30, c.filter};
    pb.raw.insert(pb.raw.end(), c.stored.begin(), c.stored.end());
    bitmap_t* b = nullptr;
    ASSERT_EQ(decode(png_read, pb.build(), &b), 0) << int(c.filter);
    const uint8_t* row = get_img_line_adr(b, 1, 0);
    EXPECT_EQ(bytes(row, row + 3), c.want) << int(c.filter);
  }
  png_builder bad;
  bad.raw = {0, 1, 2, 5, 3, 4};
  EXPECT_EQ(decode(png_read, bad.build()), ERR_BAD_FILE);
}

// Rows longer than nothing and images larger than the inflater's output pieces: every
// filter on every pixel size, rows cut across the pieces the inflated data comes in, and
// a bad filter type far into the data, which keeps the rows before it.
TEST_F(PngReader, LargeImagesAcrossInflatedPieces) {
  // Colour type, channels, planes: grey, grey + alpha, RGB, RGBA.
  const int kinds[][3] = {{0, 1, 1}, {4, 2, 1}, {2, 3, 3}, {6, 4, 3}};
  const int w = 613, h = 401;
  for (const auto& kind : kinds) {
    const int ch = kind[1], planes = kind[2];
    SCOPED_TRACE("colour type " + std::to_string(kind[0]));
    const size_t n = size_t(w) * ch;
    // The decoded samples, a noisy pattern; rows filtered with types 0..4 in turn.
    std::vector<bytes> rows(h, bytes(n));
    uint32_t seed = 7u * uint32_t(kind[0]) + 1;
    for (int y = 0; y < h; ++y)
      for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        rows[size_t(y)][i] = uint8_t(i / 7 + size_t(y) / 3 + (seed >> 28));
      }
    bytes raw;
    const bytes zero(n, 0);
    for (int y = 0; y < h; ++y) {
      const int type = y % 5;
      const bytes& cur = rows[size_t(y)];
      const bytes& up = y ? rows[size_t(y) - 1] : zero;
      raw.push_back(uint8_t(type));
      for (size_t i = 0; i < n; ++i) {
        const int a = i >= size_t(ch) ? cur[i - size_t(ch)] : 0, b = up[i];
        const int c = i >= size_t(ch) ? up[i - size_t(ch)] : 0;
        int pred = 0;
        if (type == 1) pred = a;
        if (type == 2) pred = b;
        if (type == 3) pred = (a + b) / 2;
        if (type == 4) {
          const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        }
        raw.push_back(uint8_t(cur[i] - pred));
      }
    }
    const auto sample = [&](int y, int x, int p) { return rows[size_t(y)][size_t(x) * ch + size_t(p)]; };
    png_builder pb;
    pb.width = w;
    pb.height = h;
    pb.colour_type = uint8_t(kind[0]);
    pb.raw = raw;
    bitmap_t* b = nullptr;
    ASSERT_EQ(decode(png_read, pb.build(), &b), 0);
    ASSERT_EQ(+b->planes, planes);
    for (int y = 0; y < h; ++y)
      for (int p = 0; p < planes; ++p) {
        const uint8_t* line = get_img_line_adr(b, y, p);
        ASSERT_NE(line, nullptr);
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(line[x], sample(y, x, p)) << "x " << x << " y " << y << " plane " << p;
      }
    // Filter type 9 on row 300: refused, rows 0..299 decoded.
    pb.raw[size_t(300) * (n + 1)] = 9;
    bitmap_t* cut = nullptr;
    ASSERT_EQ(decode(png_read, pb.build(), &cut), ERR_BAD_FILE);
    for (int y = 0; y < 300; y += 37) {
      const uint8_t* line = get_img_line_adr(cut, y, 0);
      ASSERT_NE(line, nullptr);
      for (int x = 0; x < w; ++x) ASSERT_EQ(line[x], sample(y, x, 0)) << "x " << x << " y " << y;
    }
  }
}

// Each Adam7 pass row is as wide as its own pass: a 3 x 3 image of 4-bit grey has pass
// rows of 1, 1, 1 and 2 pixels; every pixel lands in its place.
TEST_F(PngReader, InterlacedPassWidths) {
  png_builder pb;
  pb.width = 3;
  pb.height = 3;
  pb.depth = 4;
  pb.interlace = 1;
  // Passes: 1 (0,0); 4 (0,2); 5 (2,0) (2,2); 6 (0,1) (2,1); 7 rows 1: (1,0) (1,1) (1,2).
  pb.raw = {0, 0x10,                 // pass 1: pixel (x0,y0) = 1
            0, 0x20,                 // pass 4: (x2,y0) = 2
            0, 0x34,                 // pass 5: (x0,y2) = 3, (x2,y2) = 4
            0, 0x50,                 // pass 6: (x1,y0) = 5
            0, 0x60,                 // pass 6 row 2: (x1,y2) = 6
            0, 0x78, 0x90};          // pass 7: (x0,y1) 7 (x1,y1) 8 (x2,y1) 9
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(png_read, pb.build(), &b), 0);
  const uint8_t want[3][3] = {{1, 5, 2}, {7, 8, 9}, {3, 6, 4}};
  for (int y = 0; y < 3; ++y) {
    const uint8_t* row = get_img_line_adr(b, y, 0);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(row[x], want[y][x]) << x << "," << y;
  }
}

// Bad headers, short chunks and misplaced chunks, each with its code.
TEST_F(PngReader, Refusals) {
  struct Case {
    const char* what;
    void (*change)(png_builder*);
    int rc;
  };
  const Case cases[] = {
      {"16-bit samples", [](png_builder* p) { p->depth = 16; }, ERR_UNKNOWN_FORMAT},
      {"16-bit RGB", [](png_builder* p) { p->depth = 16; p->colour_type = 2; }, ERR_UNKNOWN_FORMAT},
      {"palette depth 3", [](png_builder* p) { p->colour_type = 3; p->depth = 3; }, ERR_BAD_FILE},
      {"palette depth 5", [](png_builder* p) { p->colour_type = 3; p->depth = 5; }, ERR_BAD_FILE},
      {"palette depth 6", [](png_builder* p) { p->colour_type = 3; p->depth = 6; }, ERR_BAD_FILE},
      {"palette depth 7", [](png_builder* p) { p->colour_type = 3; p->depth = 7; }, ERR_BAD_FILE},
      {"grey depth 3", [](png_builder* p) { p->depth = 3; }, ERR_BAD_FILE},
      {"RGB depth 4", [](png_builder* p) { p->colour_type = 2; p->depth = 4; }, ERR_BAD_FILE},
      {"colour type 5", [](png_builder* p) { p->colour_type = 5; }, ERR_BAD_FILE},
      {"width 0", [](png_builder* p) { p->width = 0; }, ERR_BAD_FILE},
      {"height above 2^31", [](png_builder* p) { p->height = 0x80000000u; p->raw = {0, 0}; },
       ERR_BAD_FILE},
      {"interlace 2", [](png_builder* p) { p->interlace = 2; }, ERR_BAD_FILE},
      {"short header", [](png_builder* p) { p->ihdr_cut = 1; }, ERR_BAD_FILE},
      {"palette of 300", [](png_builder* p) {
         p->colour_type = 3;
         p->chunks = {png_builder::chunk("PLTE", bytes(900, 1))};
       }, ERR_BAD_FILE},
      {"palette not of triples", [](png_builder* p) {
         p->colour_type = 3;
         p->chunks = {png_builder::chunk("PLTE", bytes(10, 1))};
       }, ERR_BAD_FILE},
      {"short grey tRNS", [](png_builder* p) { p->chunks = {png_builder::chunk("tRNS", {0})}; },
       ERR_BAD_FILE},
      {"short RGB tRNS", [](png_builder* p) {
         p->colour_type = 2;
         p->chunks = {png_builder::chunk("tRNS", {0, 1, 0, 2})};
       }, ERR_BAD_FILE},
      {"short gAMA", [](png_builder* p) { p->chunks = {png_builder::chunk("gAMA", {0, 0, 1})}; },
       ERR_BAD_FILE},
      {"short pHYs", [](png_builder* p) { p->chunks = {png_builder::chunk("pHYs", bytes(8, 1))}; },
       ERR_BAD_FILE},
      {"pHYs unit 2", [](png_builder* p) {
         p->chunks = {png_builder::chunk("pHYs", {0, 0, 0, 1, 0, 0, 0, 1, 2})};
       }, ERR_BAD_FILE},
      {"short RGB bKGD", [](png_builder* p) {
         p->colour_type = 2;
         p->chunks = {png_builder::chunk("bKGD", bytes(5, 0))};
       }, ERR_BAD_FILE},
      {"short palette bKGD", [](png_builder* p) {
         p->colour_type = 3;
         p->chunks = {png_builder::chunk("bKGD", {})};
       }, ERR_BAD_FILE},
      {"second header", [](png_builder* p) {
         p->chunks = {png_builder::chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 0})};
       }, ERR_BAD_FILE},
      {"no image data", [](png_builder* p) { p->with_idat = false; }, ERR_BAD_FILE},
      {"no end chunk", [](png_builder* p) { p->with_iend = false; }, ERR_BAD_FILE},
      {"unknown critical chunk", [](png_builder* p) {
         p->chunks = {png_builder::chunk("ABCD", {1, 2})};
       }, ERR_UNKNOWN_FORMAT},
      {"unknown ancillary chunk", [](png_builder* p) {
         p->chunks = {png_builder::chunk("abCD", {1, 2})};
       }, 0},
      {"damaged stream", [](png_builder* p) {
         p->chunks = {png_builder::chunk("IDAT", {0x78, 0x01, 0xFF, 0xFF})};
         p->with_idat = false;
       }, ERR_BAD_FILE},
  };
  for (const Case& c : cases) {
    png_builder pb;
    c.change(&pb);
    EXPECT_EQ(decode(png_read, pb.build()), c.rc) << c.what;
  }
}

// An unknown critical chunk gives 3, yet the image is decoded.
TEST_F(PngReader, UnknownCriticalChunkStillDecodes) {
  png_builder pb;
  pb.width = 1;
  pb.height = 1;
  pb.raw = {0, 99};
  pb.chunks = {png_builder::chunk("ABCD", {1})};
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(png_read, pb.build(), &b), ERR_UNKNOWN_FORMAT);
  EXPECT_EQ(get_img_line_adr(b, 0, 0)[0], 99);
}

// The signature, a chunk before the header, a chunk longer than the file.
TEST_F(PngReader, FileStructure) {
  png_builder pb;
  bytes good = pb.build();
  bytes bad_sig = good;
  bad_sig[6] = 0;
  EXPECT_EQ(decode(png_read, bad_sig), ERR_BAD_FILE);
  bytes long_chunk = good;
  long_chunk[8] = 0x7F;  // the header's length
  EXPECT_EQ(decode(png_read, long_chunk), ERR_BAD_FILE);
  bytes first = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const bytes gama = png_builder::chunk("gAMA", {0, 0, 0, 1});
  first.insert(first.end(), gama.begin(), gama.end());
  first.insert(first.end(), good.begin() + 8, good.end());
  EXPECT_EQ(decode(png_read, first), ERR_BAD_FILE);
  EXPECT_EQ(decode(png_read, {}), ERR_BAD_FILE);
  EXPECT_EQ(png_read(record_for_path("/nonexistent/x.png", 4)), ERR_FILE_ACCESS);
}

// Every truncation of every kind of file is refused with 14, and nothing is left behind.
TEST_F(PngReader, EveryTruncation) {
  for (const char* name : {"t3_d4_adam7_chunks.png", "t2_d8_chunks.png", "t6_d8_adam7.png",
                           "pil_rgba.png", "im_p8_adam7.png", "t0_d1_chunks.png"}) {
    const bytes whole = raster_test::read_bytes(raster_test::fixture("png", name));
    ASSERT_FALSE(whole.empty()) << name;
    for (size_t n = 0; n < whole.size(); ++n) {
      const bytes cut(whole.begin(), whole.begin() + int64_t(n));
      ASSERT_EQ(decode(png_read, cut), ERR_BAD_FILE) << name << " cut at " << n;
    }
  }
}

// Sizes that no file of this length can fill are refused before any allocation;
// sizes whose row bytes overflow are refused too.
TEST_F(PngReader, HostileSizes) {
  const uint32_t sizes[][2] = {{0x7FFFFFFF, 0x7FFFFFFF}, {0x7FFFFFFF, 1}, {1, 0x7FFFFFFF},
                               {100000, 100000}};
  for (const auto& s : sizes) {
    for (uint8_t type : {uint8_t(0), uint8_t(6)}) {
      png_builder pb;
      pb.width = s[0];
      pb.height = s[1];
      pb.colour_type = type;
      pb.raw = {0, 0};
      EXPECT_EQ(decode(png_read, pb.build()), ERR_BAD_FILE) << s[0] << "x" << s[1];
    }
  }
}

// A tiny stream that inflates far past the image's size is cut at that size: refused,
// and the memory it takes stays bounded by the image.
TEST_F(PngReader, InflateBombIsBounded) {
  png_builder pb;
  pb.width = 4;
  pb.height = 4;
  pb.raw = bytes(size_t(16) << 20, 0);  // 16 MiB of zeros: a few KiB compressed
  const bytes file = pb.build();
  EXPECT_LT(file.size(), size_t(200000));
  const int64_t before = line_store_held_bytes();
  EXPECT_EQ(decode(png_read, file), ERR_BAD_FILE);
  EXPECT_LT(line_store_held_bytes() - before, int64_t(1) << 20);
}

}  // namespace

namespace {

void put32(bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

// A zlib stream of stored (uncompressed) blocks, with its Adler-32.
bytes zlib_stored(const bytes& raw) {
  bytes z = {0x78, 0x01};
  size_t pos = 0;
  do {
    const size_t n = std::min<size_t>(raw.size() - pos, 65535);
    z.push_back(pos + n == raw.size() ? 1 : 0);
    for (const size_t v : {n, ~n}) {
      z.push_back(uint8_t(v));
      z.push_back(uint8_t(v >> 8));
    }
    z.insert(z.end(), raw.begin() + long(pos), raw.begin() + long(pos + n));
    pos += n;
  } while (pos < raw.size());
  put32(z, plat::adler32_update(plat::kAdler32Init, raw.data(), raw.size()));
  return z;
}

// A file whose image data is stored, split in two chunks with a text chunk between.
bytes split_data_png(const bytes& header, const bytes& plte, const bytes& trns, const bytes& raw) {
  bytes png = {137, 80, 78, 71, 13, 10, 26, 10};
  const auto add = [&png](const char* type, const bytes& data) {
    const bytes c = png_builder::chunk(type, data);
    png.insert(png.end(), c.begin(), c.end());
  };
  add("IHDR", header);
  if (!plte.empty()) add("PLTE", plte);
  if (!trns.empty()) add("tRNS", trns);
  const bytes z = zlib_stored(raw);
  const long half = long(z.size() / 2);
  add("IDAT", bytes(z.begin(), z.begin() + half));
  add("tEXt", bytes{'a', 0, 'b'});
  add("IDAT", bytes(z.begin() + half, z.end()));
  add("IEND", {});
  return png;
}

bytes ihdr(uint32_t w, uint32_t h, uint8_t colour) {
  bytes d;
  put32(d, w);
  put32(d, h);
  for (const uint8_t v : {uint8_t(8), colour, uint8_t(0), uint8_t(0), uint8_t(0)}) d.push_back(v);
  return d;
}

class PngHandBuilt : public raster_test::DecoderTest {};

// Images built byte by byte: stored Deflate blocks over two data chunks, each colour
// type with a filter on its first and second rows (the first row has no row above).
TEST_F(PngHandBuilt, ColourTypesAndFilters) {
  struct Case {
    const char* what;
    bytes header, plte, trns, raw;
    int planes, has_transparent, transparent;
    bytes rgb;
  };
  const Case cases[] = {
      {"grey, None then Sub", ihdr(3, 2, 0), {}, {}, {0, 10, 20, 30, 1, 5, 5, 5}, 1, 0, 0,
       {10, 10, 10, 20, 20, 20, 30, 30, 30, 5, 5, 5, 10, 10, 10, 15, 15, 15}},
      {"palette, entry 1 see-through, Up", ihdr(2, 2, 3), {255, 0, 0, 0, 255, 0, 0, 0, 255},
       {255, 0}, {0, 0, 1, 2, 2, 1}, 1, 1, 1,
       {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255}},
      // Average on the first row: half of the left pixel only.
      {"RGB, Average", ihdr(2, 1, 2), {}, {}, {3, 10, 20, 30, 5, 5, 5}, 3, 0, 0,
       {10, 20, 30, 10, 15, 20}},
      // Paeth over (9, 8, 7, 255): each byte adds the one above; the alpha is dropped.
      {"RGBA, Paeth", ihdr(1, 2, 6), {}, {}, {0, 9, 8, 7, 255, 4, 1, 1, 1, 0}, 3, 0, 0,
       {9, 8, 7, 10, 9, 8}},
  };
  for (const Case& c : cases) {
    bitmap_t* b = nullptr;
    ASSERT_EQ(decode(png_read, split_data_png(c.header, c.plte, c.trns, c.raw), &b), 0) << c.what;
    EXPECT_EQ(+b->planes, c.planes) << c.what;
    EXPECT_EQ(raster_test::image_rgb(b), c.rgb) << c.what;
    EXPECT_EQ(+b->has_transparent, c.has_transparent) << c.what;
    if (c.has_transparent) {
      EXPECT_EQ(b->transparent[0], c.transparent) << c.what;
    }
  }
  bitmap_t* grey = nullptr;
  ASSERT_EQ(decode(png_read, split_data_png(ihdr(1, 1, 0), {}, {}, {0, 0}), &grey), 0);
  EXPECT_EQ(grey->lut_g[77], 77);
}

// Image data that ends a row early or runs a row past the image.
TEST_F(PngHandBuilt, DataOfTheWrongLength) {
  struct Case {
    const char* what;
    bytes header, plte, raw;
  };
  const Case cases[] = {
      {"one row of two", ihdr(2, 2, 0), {}, {0, 1, 2}},
      {"a row too many", ihdr(2, 1, 0), {}, {0, 1, 2, 0, 3, 4}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(decode(png_read, split_data_png(c.header, c.plte, {}, c.raw)), ERR_BAD_FILE) << c.what;
}

}  // namespace
