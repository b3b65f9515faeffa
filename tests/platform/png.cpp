// Pictures written as PNG files, read back by a small reader of our own that checks
// every chunk's CRC, the zlib header, the stored Deflate blocks and the Adler-32 sum,
// and by ImageMagick's identify when it is installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/gdi/surface.h"
#include "tests/support/test_env.h"

namespace {

using plat::Rect;
using plat::Surface;

uint32_t crc32_of(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return c ^ 0xFFFFFFFFu;
}

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

struct Decoded {
  int width = 0, height = 0;
  int idat_chunks = 0;
  std::vector<uint8_t> rgb;  // width * height * 3
};

// Reads what the writer produces: 8-bit RGB, filter 0, stored blocks. Any fault is a
// test failure.
Decoded read_png(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  Decoded d;
  const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_TRUE(b.size() > 8 && std::equal(sig, sig + 8, b.begin()));
  std::vector<uint8_t> z;
  size_t at = 8;
  bool ended = false;
  while (at + 12 <= b.size() && !ended) {
    uint32_t len = be32(&b[at]);
    EXPECT_LE(at + 12 + len, b.size());
    if (at + 12 + len > b.size()) return d;
    std::string type(b.begin() + long(at) + 4, b.begin() + long(at) + 8);
    const uint8_t* data = &b[at + 8];
    EXPECT_EQ(crc32_of(&b[at + 4], len + 4), be32(data + len)) << type;
    if (type == "IHDR") {
      EXPECT_EQ(len, 13u);
      d.width = int(be32(data));
      d.height = int(be32(data + 4));
      EXPECT_EQ(data[8], 8);
      EXPECT_EQ(data[9], 2);
    } else if (type == "IDAT") {
      z.insert(z.end(), data, data + len);
      ++d.idat_chunks;
    } else if (type == "IEND") {
      ended = true;
    }
    at += 12 + len;
  }
  EXPECT_TRUE(ended);
  EXPECT_EQ(at, b.size());
  // zlib: header, stored blocks, Adler-32.
  EXPECT_GE(z.size(), 6u);
  EXPECT_EQ(z[0] & 0x0F, 8);
  EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0);
  std::vector<uint8_t> raw;
  size_t p = 2;
  bool last = false;
  while (!last && p + 5 <= z.size()) {
    last = z[p] & 1;
    EXPECT_EQ((z[p] >> 1) & 3, 0) << "stored blocks only";
    uint16_t len = uint16_t(z[p + 1] | z[p + 2] << 8), nlen = uint16_t(z[p + 3] | z[p + 4] << 8);
    EXPECT_EQ(uint16_t(~len), nlen);
    p += 5;
    if (p + len > z.size()) { ADD_FAILURE() << "block past the end"; return d; }
    raw.insert(raw.end(), z.begin() + long(p), z.begin() + long(p + len));
    p += len;
  }
  EXPECT_TRUE(last);
  EXPECT_EQ(p + 4, z.size());
  uint32_t a = 1, s = 0;
  for (uint8_t c : raw) { a = (a + c) % 65521; s = (s + a) % 65521; }
  if (p + 4 <= z.size()) {
    EXPECT_EQ(be32(&z[p]), (s << 16) | a);
  }
  // Rows: a filter byte (0) and the samples.
  size_t row = size_t(d.width) * 3 + 1;
  EXPECT_EQ(raw.size(), row * size_t(d.height));
  if (raw.size() != row * size_t(d.height)) return d;
  for (int y = 0; y < d.height; ++y) {
    EXPECT_EQ(raw[row * size_t(y)], 0);
    d.rgb.insert(d.rgb.end(), raw.begin() + long(row * size_t(y) + 1), raw.begin() + long(row * size_t(y + 1)));
  }
  return d;
}

// A picture with a different colour in every pixel.
Surface pattern(int w, int h) {
  Surface s(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.row(y)[x] = plat::pixel_of(plat::rgb(x * 7, y * 5, (x ^ y) & 255));
  return s;
}

void expect_pixels(const Decoded& d, const Surface& s, const Rect& r) {
  ASSERT_EQ(d.width, r.width());
  ASSERT_EQ(d.height, r.height());
  for (int y = 0; y < d.height; ++y)
    for (int x = 0; x < d.width; ++x) {
      uint32_t px = s.at(r.left + x, r.top + y);
      const uint8_t* got = &d.rgb[(size_t(y) * size_t(d.width) + size_t(x)) * 3];
      ASSERT_EQ(got[0], (px >> 16) & 255);
      ASSERT_EQ(got[1], (px >> 8) & 255);
      ASSERT_EQ(got[2], px & 255);
    }
}

TEST(png_writer, pictures_read_back_exactly) {
  struct Case {
    int w, h;
    Rect r;
    int min_blocks;  // stored blocks hold at most 65535 bytes
  };
  const Case cases[] = {{1, 1, {0, 0, 1, 1}, 1},
                        {7, 3, {0, 0, 7, 3}, 1},
                        {300, 250, {0, 0, 300, 250}, 4},
                        {300, 250, {290, 240, 400, 400}, 1},
                        {40, 30, {5, 6, 25, 16}, 1}};
  std::string dir = tm_test::fresh_dir("png");
  for (const Case& c : cases) {
    Surface s = pattern(c.w, c.h);
    std::string path = dir + "p" + std::to_string(&c - cases) + ".png";
    ASSERT_EQ(plat::write_png_rect(s, c.r, path.c_str()), 0);
    Decoded d = read_png(path);
    Rect r = plat::intersect_rect(c.r, s.rect());
    expect_pixels(d, s, r);
    EXPECT_GE(d.idat_chunks, c.min_blocks);
  }
  Surface s = pattern(20, 10);
  std::string whole = dir + "whole.png";
  ASSERT_EQ(plat::write_png(s, whole.c_str()), 0);
  expect_pixels(read_png(whole), s, s.rect());
}

TEST(png_writer, bad_targets_fail_cleanly) {
  Surface s = pattern(4, 4);
  std::string dir = tm_test::fresh_dir("png-bad");
  EXPECT_NE(plat::write_png(s, (dir + "no/such/folder/x.png").c_str()), 0);
  EXPECT_NE(plat::write_png_rect(s, Rect{10, 10, 20, 20}, (dir + "outside.png").c_str()), 0);
  EXPECT_NE(access((dir + "outside.png").c_str(), F_OK), 0);
  Surface empty;
  EXPECT_NE(plat::write_png(empty, (dir + "empty.png").c_str()), 0);
  EXPECT_NE(plat::write_png(s, nullptr), 0);
}

// ImageMagick decodes the file with its own PNG reader (which checks CRCs and the zlib
// stream) and reports sizes and pixels.
TEST(png_writer, imagemagick_reads_the_files) {
  if (access("/usr/bin/identify", X_OK) != 0) GTEST_SKIP() << "ImageMagick is not installed";
  Surface s = pattern(300, 250);
  std::string path = tm_test::fresh_dir("png-im") + "im.png";
  ASSERT_EQ(plat::write_png(s, path.c_str()), 0);
  std::string cmd = "/usr/bin/identify -format '%w %h %[fx:int(255*p{17,9}.r+0.5)] %[fx:int(255*p{17,9}.g+0.5)] "
                    "%[fx:int(255*p{17,9}.b+0.5)]' '" + path + "' 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[256] = {};
  size_t n = fread(buf, 1, sizeof buf - 1, p);
  pclose(p);
  std::string out(buf, n);
  uint32_t px = s.at(17, 9);
  std::string want = "300 250 " + std::to_string((px >> 16) & 255) + " " + std::to_string((px >> 8) & 255) + " " +
                     std::to_string(px & 255);
  EXPECT_EQ(out, want);
}

}  // namespace
