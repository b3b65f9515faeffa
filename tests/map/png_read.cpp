// The icon PNG decoder: images built here byte by byte (stored Deflate blocks, real CRCs
// and Adler-32), each colour type and row filter, and damaged files that must give a
// clear error.
#include "map/png_read.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/checksum.h"
#include "core/error.h"
#include "core/reader.h"
#include "tests/support/file_stub.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace tm_test {
namespace {

using bytes = std::vector<uint8_t>;

void put32(bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

void chunk(bytes& png, const char* type, const bytes& data, bool good_crc = true) {
  put32(png, uint32_t(data.size()));
  bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  put32(png, crc32_update(kCrc32Init, body.data(), body.size()) ^ (good_crc ? 0 : 1));
}

// A zlib stream of stored blocks.
bytes zlib_stored(const bytes& raw) {
  bytes z = {0x78, 0x01};
  size_t pos = 0;
  do {
    const size_t n = std::min<size_t>(raw.size() - pos, 65535);
    const bool final = pos + n == raw.size();
    z.push_back(final ? 1 : 0);
    z.push_back(uint8_t(n));
    z.push_back(uint8_t(n >> 8));
    z.push_back(uint8_t(~n));
    z.push_back(uint8_t(~n >> 8));
    z.insert(z.end(), raw.begin() + long(pos), raw.begin() + long(pos + n));
    pos += n;
  } while (pos < raw.size());
  put32(z, adler32_update(kAdler32Init, raw.data(), raw.size()));
  return z;
}

bytes ihdr(uint32_t w, uint32_t h, int depth, int colour, int interlace = 0) {
  bytes d;
  put32(d, w);
  put32(d, h);
  d.push_back(uint8_t(depth));
  d.push_back(uint8_t(colour));
  d.push_back(0);
  d.push_back(0);
  d.push_back(uint8_t(interlace));
  return d;
}

struct png_parts {
  bytes header;
  bytes plte, trns;
  bytes raw;  // filtered rows
};

bytes build(const png_parts& p) {
  bytes png = {137, 80, 78, 71, 13, 10, 26, 10};
  chunk(png, "IHDR", p.header);
  if (!p.plte.empty()) chunk(png, "PLTE", p.plte);
  if (!p.trns.empty()) chunk(png, "tRNS", p.trns);
  const bytes z = zlib_stored(p.raw);
  // Two image data chunks: the decoder joins them.
  const size_t half = z.size() / 2;
  chunk(png, "IDAT", bytes(z.begin(), z.begin() + long(half)));
  chunk(png, "tEXt", bytes{'a', 0, 'b'});
  chunk(png, "IDAT", bytes(z.begin() + long(half), z.end()));
  chunk(png, "IEND", {});
  return png;
}

class PngRead : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_object_store();
    install_file_stub();
  }
  void TearDown() override {
    set_gblerr(0);
    rd_close_all();
    free_stub_files();
  }
  int decode(const bytes& png, png_image* img, std::string* why) {
    const int rc = png_decode(png.data(), int64_t(png.size()), img, why);
    if (rc) {
      EXPECT_EQ(get_gblerr(), ERR_BAD_FILE) << *why;
    }
    set_gblerr(0);
    return rc;
  }
};

TEST_F(PngRead, ColourTypesBecomePlanesAndTables) {
  // Grey 3 x 2, rows filtered None and Sub.
  {
    png_image img;
    std::string why;
    ASSERT_EQ(decode(build({ihdr(3, 2, 8, 0), {}, {}, {0, 10, 20, 30, 1, 5, 5, 5}}), &img, &why), 0)
        << why;
    EXPECT_EQ(img.planes, 1);
    EXPECT_EQ(img.pixels, (bytes{10, 20, 30, 5, 10, 15}));
    EXPECT_EQ(img.lut[1][77], 77);
    EXPECT_EQ(img.has_transparent, 0);
  }
  // Palette 2 x 2 with entry 1 see-through: Up filter on the second row.
  {
    png_image img;
    std::string why;
    png_parts p{ihdr(2, 2, 8, 3), {255, 0, 0, 0, 255, 0, 0, 0, 255}, {255, 0}, {0, 0, 1, 2, 2, 1}};
    ASSERT_EQ(decode(build(p), &img, &why), 0) << why;
    EXPECT_EQ(img.planes, 1);
    EXPECT_EQ(img.pixels, (bytes{0, 1, 2, 2}));
    EXPECT_EQ(img.lut[0][0], 255);
    EXPECT_EQ(img.lut[2][2], 255);
    EXPECT_EQ(img.has_transparent, 1);
    EXPECT_EQ(img.transparent[0], 1);
  }
  // RGB 2 x 1 with Average, then RGBA with Paeth on the second row.
  {
    png_image img;
    std::string why;
    ASSERT_EQ(decode(build({ihdr(2, 1, 8, 2), {}, {}, {3, 10, 20, 30, 5, 5, 5}}), &img, &why), 0)
        << why;
    EXPECT_EQ(img.planes, 3);
    // Average: first pixel (0 + 0) / 2; second pixel adds half of the first.
    EXPECT_EQ(img.pixels, (bytes{10, 10, 20, 15, 30, 20}));
  }
  {
    png_image img;
    std::string why;
    png_parts p{ihdr(1, 2, 8, 6), {}, {}, {0, 9, 8, 7, 255, 4, 1, 1, 1, 0}};
    ASSERT_EQ(decode(build(p), &img, &why), 0) << why;
    EXPECT_EQ(img.planes, 3);
    EXPECT_EQ(img.has_transparent, 1);
    // Row 2 is Paeth of (1, 1, 1, 0) over (9, 8, 7, 255): each byte adds the one above,
    // so the pixel is the opaque (10, 9, 8). Each row holds its red, green, blue planes.
    EXPECT_EQ(img.pixels, (bytes{9, 8, 7, 10, 9, 8}));
  }
}

TEST_F(PngRead, DamagedFilesGiveAClearError) {
  const png_parts good{ihdr(2, 1, 8, 0), {}, {}, {0, 1, 2}};
  const bytes ok = build(good);
  struct damaged {
    const char* what;
    bytes png;
  };
  std::vector<damaged> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"signature", bytes(ok.begin() + 1, ok.end())});
  cases.push_back({"truncated", bytes(ok.begin(), ok.end() - 5)});
  {
    bytes b = ok;
    b[8 + 8 + 3] ^= 0x40;  // a header byte: the CRC no longer matches
    cases.push_back({"crc", b});
  }
  {
    bytes b = ok;
    b[8] = 0x7F;  // IHDR length far beyond the file
    cases.push_back({"length", b});
  }
  cases.push_back({"16-bit", build({ihdr(2, 1, 16, 0), {}, {}, {0, 1, 2, 3, 4}})});
  cases.push_back({"interlaced", build({ihdr(2, 1, 8, 0, 1), {}, {}, {0, 1, 2}})});
  cases.push_back({"zero width", build({ihdr(0, 1, 8, 0), {}, {}, {0}})});
  cases.push_back({"huge", build({ihdr(100000, 100000, 8, 0), {}, {}, {0, 1, 2}})});
  cases.push_back({"short data", build({ihdr(2, 2, 8, 0), {}, {}, {0, 1, 2}})});
  cases.push_back({"long data", build({ihdr(2, 1, 8, 0), {}, {}, {0, 1, 2, 0, 3, 4}})});
  cases.push_back({"bad filter", build({ihdr(2, 1, 8, 0), {}, {}, {7, 1, 2}})});
  cases.push_back({"no palette", build({ihdr(2, 1, 8, 3), {}, {}, {0, 1, 2}})});
  {
    bytes b = {137, 80, 78, 71, 13, 10, 26, 10};
    chunk(b, "IHDR", ihdr(1, 1, 8, 0));
    chunk(b, "QQQQ", {1});  // unknown critical chunk
    chunk(b, "IEND", {});
    cases.push_back({"critical", b});
  }
  {
    bytes b = {137, 80, 78, 71, 13, 10, 26, 10};
    chunk(b, "IHDR", ihdr(1, 1, 8, 0));
    chunk(b, "IDAT", {0x78, 0x01, 0x07, 0xFF});  // block type 3 after a stored header
    chunk(b, "IEND", {});
    cases.push_back({"deflate", b});
  }
  for (const damaged& c : cases) {
    png_image img;
    std::string why;
    EXPECT_EQ(decode(c.png, &img, &why), ERR_BAD_FILE) << c.what;
    EXPECT_FALSE(why.empty()) << c.what;
    EXPECT_TRUE(img.pixels.empty()) << c.what;
  }
}

TEST_F(PngRead, MissingFileIsAnAccessError) {
  png_image img;
  std::string why;
  const std::string path = fresh_dir("png") + "absent.png";
  EXPECT_EQ(png_read_file(path.c_str(), &img, &why), ERR_FILE_ACCESS);
  EXPECT_EQ(why, "cannot open the file");
  set_gblerr(0);
}

}  // namespace
}  // namespace tm_test
