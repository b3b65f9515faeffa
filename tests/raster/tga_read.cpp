// The TGA reader: files of netpbm, ImageMagick (every origin corner), PIL and the
// fixture script against tgatoppm's reading (PIL's for right-to-left origins); palette
// indices under 8 bits kept, grey levels scaled; the key colour and the gamma of the
// extension area; the file test; packets across rows and cut at the image end;
// refusals with their codes; every truncation; flipped bytes; loading through the
// dispatcher.
#include "raster/tga_read.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

#include "raster/image_load.h"
#include "tests/raster/decoder_fixture.h"
#include "tests/raster/image_load_fixture.h"

namespace {

using raster_test::bytes;
using raster_test::ImageLoadTest;


class TgaPixels : public raster_test::DecoderTest,
                  public ::testing::WithParamInterface<std::string> {};

TEST_P(TgaPixels, MatchReference) {
  bitmap_t* b = expect_reference_pixels("tga", GetParam(), tga_read, kDecoderTga);
  EXPECT_EQ(+b->variant, kTgaPixelKind);
  EXPECT_EQ(+b->samples_per_pixel, 1);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TgaPixels,
                         ::testing::ValuesIn(raster_test::fixture_images("tga")),
                         raster_test::case_name);

struct tga_layout {
  int type = 3, width = 1, height = 1, depth = 8, descriptor = 0;
  int map_type = 0, map_first = 0, map_length = 0, map_bits = 0;
  bytes id, map, data;
};

bytes make_tga(const tga_layout& s) {
  bytes f = {uint8_t(s.id.size()), uint8_t(s.map_type), uint8_t(s.type),
             uint8_t(s.map_first), uint8_t(s.map_first >> 8),
             uint8_t(s.map_length), uint8_t(s.map_length >> 8), uint8_t(s.map_bits),
             0, 0, 0, 0,
             uint8_t(s.width), uint8_t(s.width >> 8), uint8_t(s.height), uint8_t(s.height >> 8),
             uint8_t(s.depth), uint8_t(s.descriptor)};
  for (const bytes* part : {&s.id, &s.map, &s.data}) f.insert(f.end(), part->begin(), part->end());
  return f;
}

void put_le(bytes* f, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) (*f)[at + i] = uint8_t(v >> (8 * i));
}

// The footer, after an extension area when `ext` is given.
bytes with_footer(bytes f, const bytes* ext = nullptr) {
  const uint32_t at = ext ? uint32_t(f.size()) : 0;
  if (ext) f.insert(f.end(), ext->begin(), ext->end());
  bytes foot(26, 0);
  put_le(&foot, 0, at, 4);
  std::memcpy(foot.data() + 8, "TRUEVISION-XFILE.", 18);
  f.insert(f.end(), foot.begin(), foot.end());
  return f;
}

bytes extension(const uint8_t bgra[4], int numerator, int denominator) {
  bytes e(495, 0);
  put_le(&e, 0, 495, 2);
  std::memcpy(e.data() + 470, bgra, 4);
  put_le(&e, 478, uint32_t(numerator), 2);
  put_le(&e, 480, uint32_t(denominator), 2);
  return e;
}

bytes line(bitmap_t* b, int y, int plane = 0) {
  const uint8_t* p = get_img_line_adr(b, y, plane);
  return p ? bytes(p, p + b->width) : bytes{};
}

class TgaReader : public raster_test::DecoderTest {};

TEST_F(TgaReader, HeaderFields) {
  struct Case {
    const char* file;
    int bits, planes;
  };
  const Case cases[] = {{"np_cmap_rle.tga", 8, 1}, {"np_mono_raw.tga", 8, 1},
                        {"np_rgb_rle.tga", 24, 3}, {"own_rgb16.tga", 16, 3},
                        {"own_rgb15_rle.tga", 15, 3}, {"own_p4.tga", 4, 1}};
  for (const Case& c : cases) {
    bitmap_t* b = record_for_path(raster_test::fixture("tga", c.file), kDecoderTga);
    ASSERT_EQ(tga_read(b), 0) << c.file;
    EXPECT_EQ(+b->bits_per_sample, c.bits) << c.file;
    EXPECT_EQ(+b->planes, c.planes) << c.file;
    EXPECT_EQ(+b->width, 21) << c.file;
    EXPECT_EQ(+b->height, 9) << c.file;
    EXPECT_EQ(+b->has_transparent, 0) << c.file;
    EXPECT_EQ(double(b->gamma), -1.0) << c.file;
  }
}

// Palette indices shorter than 8 bits keep their value, masked to the depth; grey
// samples are scaled to 0..255 and seen through identity tables.
TEST_F(TgaReader, ShortSamples) {
  tga_layout s;
  s.type = 1;
  s.width = 4;
  s.depth = 4;
  s.map_type = 1;
  s.map_length = 16;
  s.map_bits = 24;
  for (int i = 0; i < 16; ++i) s.map.insert(s.map.end(), {uint8_t(i), uint8_t(100 + i), 200});
  s.data = {0x01, 0xF2, 0x0F, 0x35};
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(tga_read, make_tga(s), &b), 0);
  EXPECT_EQ(line(b, 0), (bytes{1, 2, 15, 5}));
  EXPECT_EQ(b->lut_r[15], 200);
  EXPECT_EQ(b->lut_g[15], 115);
  EXPECT_EQ(b->lut_b[15], 15);
  tga_layout g;
  g.width = 4;
  g.depth = 6;
  g.data = {0, 1, 0x3F, 0xE0};
  ASSERT_EQ(decode(tga_read, make_tga(g), &b), 0);
  EXPECT_EQ(line(b, 0), (bytes{0, 4, 255, 130}));
  EXPECT_EQ(b->lut_r[4], 4);
  EXPECT_EQ(b->lut_g[130], 130);
  g.depth = 1;
  g.data = {0, 1, 3, 2};
  ASSERT_EQ(decode(tga_read, make_tga(g), &b), 0);
  EXPECT_EQ(line(b, 0), (bytes{0, 255, 255, 0}));
}

// The key colour becomes the transparent value (a true colour, or the index of the
// map entry showing it); the gamma is numerator / denominator.
TEST_F(TgaReader, ExtensionArea) {
  bitmap_t* b = record_for_path(raster_test::fixture("tga", "own_ext_rgb.tga"), kDecoderTga);
  ASSERT_EQ(tga_read(b), 0);
  EXPECT_EQ(+b->has_transparent, 1);
  EXPECT_EQ(bytes(b->transparent, b->transparent + 3), (bytes{200, 0x80, 30}));
  EXPECT_DOUBLE_EQ(double(b->gamma), 2.2);
  b = record_for_path(raster_test::fixture("tga", "own_ext_pal.tga"), kDecoderTga);
  ASSERT_EQ(tga_read(b), 0);
  EXPECT_EQ(+b->has_transparent, 1);
  EXPECT_EQ(b->transparent[0], 3);  // (10, 200, 90) is entry 3 of the map
  EXPECT_DOUBLE_EQ(double(b->gamma), 1.0);

  tga_layout s;
  s.width = 2;
  s.data = {5, 6};
  const uint8_t grey_key[4] = {6, 6, 6, 0}, red_key[4] = {0, 0, 255, 0};
  // Grey image: the grey level; a colour no entry shows sets nothing; a denominator
  // of 0 leaves the gamma unset.
  const bytes grey = extension(grey_key, 1, 0);
  ASSERT_EQ(decode(tga_read, with_footer(make_tga(s), &grey), &b), 0);
  EXPECT_EQ(+b->has_transparent, 1);
  EXPECT_EQ(b->transparent[0], 6);
  EXPECT_EQ(double(b->gamma), -1.0);
  const bytes red = extension(red_key, 3, 2);
  ASSERT_EQ(decode(tga_read, with_footer(make_tga(s), &red), &b), 0);
  EXPECT_EQ(+b->has_transparent, 0);
  EXPECT_DOUBLE_EQ(double(b->gamma), 1.5);
  // An extension offset pointing past the footer, or into it, is ignored.
  bytes far = with_footer(make_tga(s), &red);
  put_le(&far, far.size() - 26, uint32_t(far.size() - 400), 4);
  ASSERT_EQ(decode(tga_read, far, &b), 0);
  EXPECT_EQ(+b->has_transparent, 0);
  EXPECT_EQ(double(b->gamma), -1.0);
  // Without the signature the last bytes are no footer.
  bytes unsigned_footer = with_footer(make_tga(s), &red);
  unsigned_footer.back() = '!';
  ASSERT_EQ(decode(tga_read, unsigned_footer, &b), 0);
  EXPECT_EQ(double(b->gamma), -1.0);
}

// The origin corner: rows upwards or downwards, columns rightwards or leftwards.
TEST_F(TgaReader, OriginCorners) {
  struct Case {
    int descriptor;
    bytes top, bottom;
  };
  const Case cases[] = {{0x00, {4, 5, 6}, {1, 2, 3}}, {0x10, {6, 5, 4}, {3, 2, 1}},
                        {0x20, {1, 2, 3}, {4, 5, 6}}, {0x30, {3, 2, 1}, {6, 5, 4}}};
  for (const Case& c : cases) {
    tga_layout s;
    s.width = 3;
    s.height = 2;
    s.descriptor = c.descriptor;
    s.data = {1, 2, 3, 4, 5, 6};
    bitmap_t* b = nullptr;
    ASSERT_EQ(decode(tga_read, make_tga(s), &b), 0) << c.descriptor;
    EXPECT_EQ(line(b, 0), c.top) << c.descriptor;
    EXPECT_EQ(line(b, 1), c.bottom) << c.descriptor;
  }
}

// A packet goes on into the next row; one longer than what is left of the image is
// cut at its end.
TEST_F(TgaReader, PacketsAcrossRows) {
  tga_layout s;
  s.type = 11;
  s.width = 3;
  s.height = 2;
  s.descriptor = 0x20;
  s.data = {0x83, 7, 0x01, 8, 9, 0xFF, 1};
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode(tga_read, make_tga(s), &b), 0);
  EXPECT_EQ(line(b, 0), (bytes{7, 7, 7}));
  EXPECT_EQ(line(b, 1), (bytes{7, 8, 9}));
  s.data = {0xFF, 4};
  ASSERT_EQ(decode(tga_read, make_tga(s), &b), 0);
  EXPECT_EQ(line(b, 1), (bytes{4, 4, 4}));
  s.type = 10;
  s.depth = 24;
  s.data = {0x81, 1, 2, 3, 0x03, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  ASSERT_EQ(decode(tga_read, make_tga(s), &b), 0);
  EXPECT_EQ(line(b, 0, 0), (bytes{3, 3, 6}));
  EXPECT_EQ(line(b, 1, 2), (bytes{7, 10, 13}));
}

// The test made before reading: without the footer an implausible header is refused
// with 2; with it the header's own checks give 3 or 14.
TEST_F(TgaReader, FileTest) {
  struct Case {
    const char* what;
    tga_layout layout;
    bool footer;
    int rc;
  };
  auto layout = [](auto change) {
    tga_layout s;
    s.width = 2;
    s.data = {1, 2, 3, 4};
    change(&s);
    return s;
  };
  const Case cases[] = {
      {"plain grey", layout([](tga_layout*) {}), false, 0},
      {"type 4", layout([](tga_layout* s) { s->type = 4; }), false, ERR_FILE_ACCESS},
      {"type 4, footer", layout([](tga_layout* s) { s->type = 4; }), true, ERR_UNKNOWN_FORMAT},
      {"map type 2", layout([](tga_layout* s) { s->map_type = 2; }), false, ERR_FILE_ACCESS},
      {"map type 2, footer", layout([](tga_layout* s) { s->map_type = 2; }), true, ERR_UNKNOWN_FORMAT},
      {"300 map entries", layout([](tga_layout* s) {
         s->type = 1, s->map_type = 1, s->map_length = 300, s->map_bits = 8, s->map = bytes(300, 0);
       }), false, ERR_FILE_ACCESS},
      {"300 map entries, footer", layout([](tga_layout* s) {
         s->type = 1, s->map_type = 1, s->map_length = 300, s->map_bits = 8, s->map = bytes(300, 0);
       }), true, ERR_UNKNOWN_FORMAT},
      {"map without entry size", layout([](tga_layout* s) {
         s->type = 1, s->map_type = 1, s->map_length = 2;
       }), false, ERR_FILE_ACCESS},
      {"map without entry size, footer", layout([](tga_layout* s) {
         s->type = 1, s->map_type = 1, s->map_length = 2;
       }), true, ERR_UNKNOWN_FORMAT},
      {"entry size 40, footer", layout([](tga_layout* s) {
         s->type = 1, s->map_type = 1, s->map_length = 1, s->map_bits = 40, s->map = bytes(5, 0);
       }), true, ERR_BAD_FILE},
      {"map beyond the file", layout([](tga_layout* s) {
         s->type = 1, s->map_type = 1, s->map_length = 200, s->map_bits = 24;
       }), false, ERR_FILE_ACCESS},
      {"map beyond the file, footer", layout([](tga_layout* s) {
         s->type = 1, s->map_type = 1, s->map_length = 200, s->map_bits = 24;
       }), true, ERR_BAD_FILE},
      {"no pixels after the id", layout([](tga_layout* s) { s->data.clear(); s->id = bytes(3, 'i'); }),
       false, ERR_BAD_FILE},
      {"depth all alpha", layout([](tga_layout* s) { s->descriptor = 8; }), false, ERR_FILE_ACCESS},
      {"32 bits", layout([](tga_layout* s) { s->type = 2, s->depth = 32, s->descriptor = 8; }),
       false, ERR_UNKNOWN_FORMAT},
      {"depth 0, footer", layout([](tga_layout* s) { s->depth = 0; }), true, ERR_UNKNOWN_FORMAT},
  };
  for (const Case& c : cases) {
    const bytes f = make_tga(c.layout);
    EXPECT_EQ(decode(tga_read, c.footer ? with_footer(f) : f), c.rc) << c.what;
  }
  EXPECT_EQ(decode(tga_read, bytes(19, 0)), ERR_FILE_ACCESS);
  bytes long_id = make_tga(layout([](tga_layout*) {}));
  long_id[0] = 200;
  EXPECT_EQ(decode(tga_read, long_id), ERR_FILE_ACCESS) << "id beyond the file";
  EXPECT_EQ(decode(tga_read, with_footer(long_id)), ERR_BAD_FILE) << "id beyond the file, footer";
  bytes tiny = with_footer({});
  EXPECT_EQ(decode(tga_read, tiny), ERR_UNKNOWN_FORMAT);  // the footer alone: type 0
  const char* bad[][2] = {{"im_rgba.bad", "3"}, {"map300_footer.bad", "3"}, {"map300.bad", "2"}};
  for (const auto& name : bad) {
    bitmap_t* b = record_for_path(raster_test::fixture("tga", name[0]), kDecoderTga);
    EXPECT_EQ(tga_read(b), std::atoi(name[1])) << name[0];
  }
  EXPECT_EQ(tga_read(record_for_path("/nonexistent/x.tga", kDecoderTga)), ERR_FILE_ACCESS);
}

TEST_F(TgaReader, Refusals) {
  struct Case {
    const char* what;
    tga_layout layout;
    int rc;
  };
  auto layout = [](int type, int width, int height, int depth, int data) {
    tga_layout s;
    s.type = type;
    s.width = width;
    s.height = height;
    s.depth = depth;
    s.data = bytes(size_t(data), 0x11);
    return s;
  };
  const Case cases[] = {
      {"palette of 16 bits", layout(1, 2, 2, 16, 8), ERR_UNKNOWN_FORMAT},
      {"grey of 12 bits", layout(3, 2, 2, 12, 8), ERR_UNKNOWN_FORMAT},
      {"true colour of 8 bits", layout(2, 2, 2, 8, 8), ERR_UNKNOWN_FORMAT},
      {"true colour of 20 bits", layout(2, 2, 2, 20, 12), ERR_UNKNOWN_FORMAT},
      {"depth 25", layout(2, 2, 2, 25, 16), ERR_UNKNOWN_FORMAT},
      {"width 0", layout(3, 0, 2, 8, 8), ERR_UNKNOWN_FORMAT},
      {"height 0", layout(3, 2, 0, 8, 8), ERR_UNKNOWN_FORMAT},
      {"raw pixels short", layout(2, 3, 3, 24, 26), ERR_BAD_FILE},
      {"raw 16-bit pixels short", layout(2, 3, 3, 16, 17), ERR_BAD_FILE},
      {"packets end before the image", layout(11, 40, 40, 8, 12), ERR_BAD_FILE},
      {"packet pixel cut", layout(10, 1, 1, 24, 3), ERR_BAD_FILE},
      {"65535 x 65535 raw, no data", layout(2, 65535, 65535, 24, 2), ERR_BAD_FILE},
      {"65535 x 65535 coded, little data", layout(10, 65535, 65535, 24, 400), ERR_BAD_FILE},
  };
  for (const Case& c : cases) EXPECT_EQ(decode(tga_read, make_tga(c.layout)), c.rc) << c.what;
  // Enough bytes for the check made before allocating, not for the packets they hold.
  tga_layout s = layout(11, 4, 4, 8, 0);
  s.data = {0x81, 5};
  EXPECT_EQ(decode(tga_read, make_tga(s)), ERR_BAD_FILE);
  s.type = 10;
  s.depth = 24;
  s.data = {0x8E, 1, 2, 3, 0x00, 4, 5};
  EXPECT_EQ(decode(tga_read, make_tga(s)), ERR_BAD_FILE);
}

const char* const kSamples[] = {"np_cmap_rle.tga", "np_mono_raw.tga",  "np_rgb_rle.tga",
                                "im_top_right.tga", "own_rgb15_rle.tga", "own_p4_rle.tga",
                                "own_id_top_right_rle.tga"};

// Every cut before the end of the pixels is refused: with 2 while the header, id and
// map are not all there, then with 14.
TEST_F(TgaReader, EveryTruncation) {
  for (const char* name : kSamples) {
    const bytes whole = raster_test::read_bytes(raster_test::fixture("tga", name));
    ASSERT_FALSE(whole.empty()) << name;
    const size_t map_bytes = whole[1] ? size_t(whole[5] | whole[6] << 8) * ((whole[7] + 7) / 8) : 0;
    const size_t data_start = std::max<size_t>(20, 18 + whole[0] + map_bytes);
    for (size_t n = 0; n < whole.size(); ++n) {
      const bytes cut(whole.begin(), whole.begin() + int64_t(n));
      const int want = n < data_start ? ERR_FILE_ACCESS : ERR_BAD_FILE;
      ASSERT_EQ(decode(tga_read, cut), want) << name << " cut at " << n;
    }
  }
}

// Any byte flipped gives a result of the contract and a clear error state.
TEST_F(TgaReader, FlippedBytes) {
  for (const char* name : {"np_cmap_rle.tga", "np_rgb_rle.tga", "pil_rgb_rle.tga",
                           "own_ext_pal.tga", "own_map16.tga", "own_g4.tga"}) {
    const bytes whole = raster_test::read_bytes(raster_test::fixture("tga", name));
    for (size_t i = 0; i < whole.size(); ++i) {
      bytes f = whole;
      f[i] ^= 0xFF;
      const int rc = decode(tga_read, f);
      ASSERT_TRUE(rc == 0 || rc == ERR_FILE_ACCESS || rc == ERR_UNKNOWN_FORMAT ||
                  rc == ERR_BAD_FILE || rc == ERR_MEMORY)
          << name << " byte " << i << " gives " << rc;
    }
  }
}

// Through the dispatcher: the image joins the list with its pixels; a refused file
// leaves no record and its loading error in the trace log.
TEST_F(ImageLoadTest, TgaLoadsThroughItsDecoderRow) {
  const std::string path = raster_test::fixture("tga", "im_top_right.tga");
  int rc = -1;
  bitmap_t* b = load(image_file(path, kDecoderTga), &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_NE(b, nullptr);
  const std::string rgb = path.substr(0, path.rfind('.')) + ".rgb";
  EXPECT_EQ(raster_test::image_rgb(b), raster_test::read_bytes(rgb));
  configure("ENGLISH", nullptr);
  const std::string bad = raster_test::fixture("tga", "map300.bad");
  const int before = image_count();
  EXPECT_EQ(load(image_file(bad, kDecoderTga), &rc), nullptr);
  EXPECT_EQ(rc, ERR_FILE_ACCESS);
  EXPECT_EQ(image_count(), before);
  EXPECT_NE(trace_log().find("Loading error " + bad + " : "), std::string::npos) << trace_log();
}

}  // namespace
