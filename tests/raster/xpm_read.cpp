// The XPM reader: files of ppmtoxpm and ImageMagick and hand-written ones (colour names
// with spaces and in any case, every width of hexadecimal colour, two characters per
// pixel, comments, extensions) against netpbm's decoding, or ImageMagick's for the files
// of colour names (X11 values); the transparent colour; key priorities; refusals with
// their codes.
#include "raster/xpm_read.h"

#include <gtest/gtest.h>

#include <cctype>

#include "tests/geodesy/geodesy_fixture.h"
#include "tests/raster/decoder_fixture.h"

namespace {

using raster_test::bytes;

class XpmPixels : public raster_test::DecoderTest,
                  public ::testing::WithParamInterface<std::string> {};

TEST_P(XpmPixels, MatchNetpbm) {
  bitmap_t* b = expect_reference_pixels("xpm", GetParam(), xpm_read, 5);
  EXPECT_EQ(val(b->variant), kXpmPixelKind);
  EXPECT_EQ(val(b->planes), 1);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, XpmPixels,
                         ::testing::ValuesIn(raster_test::fixture_images("xpm")),
                         raster_test::case_name);

bytes text(const std::string& s) { return bytes(s.begin(), s.end()); }

std::string xpm(const std::string& values, const std::vector<std::string>& strings) {
  std::string s = "/* XPM */\nstatic char *x[] = {\n\"" + values + "\"";
  for (const std::string& v : strings) s += ",\n\"" + v + "\"";
  return s + "\n};\n";
}

class XpmReader : public raster_test::DecoderTest {
 protected:
  int read(const std::string& data, bitmap_t** out = nullptr) {
    bitmap_t* b = record_for_bytes(text(data), 5);
    const int rc = xpm_read(b);
    EXPECT_EQ(get_gblerr(), 0);
    if (out) *out = b;
    return rc;
  }
};

TEST_F(XpmReader, NoneIsTheTransparentColourShownWhite) {
  bitmap_t* b = nullptr;
  ASSERT_EQ(read(xpm("2 1 2 1", {"a c #000000", "b c None", "ab"}), &b), 0);
  EXPECT_EQ(val(b->has_transparent), 1);
  EXPECT_EQ(b->transparent[0], 1);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{0, 0, 0, 255, 255, 255}));
}

TEST_F(XpmReader, KeyPriorityWinsWhateverTheOrder) {
  bitmap_t* b = nullptr;
  ASSERT_EQ(read(xpm("4 1 4 1", {"a m #ffffff c #102030", "b c #102030 m #ffffff",
                                 "c s name m #010101 g #020202", "d g4 #030303 m #040404",
                                 "abcd"}),
                 &b),
            0);
  EXPECT_EQ(raster_test::image_rgb(b),
            (bytes{16, 32, 48, 16, 32, 48, 2, 2, 2, 3, 3, 3}));
}

TEST_F(XpmReader, ColourNamesIgnoreCaseAndSpaces) {
  uint8_t rgb[3] = {0, 0, 0};
  ASSERT_TRUE(xpm_colour_by_name("Light Sky Blue", rgb));
  EXPECT_EQ(rgb[0], 135);
  ASSERT_TRUE(xpm_colour_by_name("WHITE", rgb));
  EXPECT_EQ(rgb[2], 255);
  EXPECT_FALSE(xpm_colour_by_name("no such colour", rgb));
  EXPECT_FALSE(xpm_colour_by_name("", rgb));
}

// The X Window System's values, which XPM files are written against (the x11_names
// fixture, decoded by ImageMagick, shows them in pixels): not the older values that
// netpbm's dictionary lists first for the same names.
TEST_F(XpmReader, ColourNamesTakeTheX11Values) {
  struct named {
    const char* name;
    uint8_t r, g, b;
  };
  for (const named& n : {named{"gray", 190, 190, 190}, named{"orange", 255, 165, 0},
                         named{"navy", 0, 0, 128}, named{"brown", 165, 42, 42},
                         named{"gold", 255, 215, 0}, named{"pink", 255, 192, 203},
                         named{"magenta", 255, 0, 255}, named{"forest green", 34, 139, 34},
                         named{"DarkGoldenrod", 184, 134, 11}, named{"maroon", 176, 48, 96},
                         named{"purple", 160, 32, 240}, named{"wheat", 245, 222, 179}}) {
    uint8_t rgb[3] = {1, 2, 3};
    ASSERT_TRUE(xpm_colour_by_name(n.name, rgb)) << n.name;
    EXPECT_EQ(bytes(rgb, rgb + 3), (bytes{n.r, n.g, n.b})) << n.name;
  }
  // Names only netpbm's dictionary has (ppmtoxpm writes them) are still known.
  uint8_t rgb[3] = {0, 0, 0};
  ASSERT_TRUE(xpm_colour_by_name("BlueLight", rgb));
  EXPECT_EQ(bytes(rgb, rgb + 3), (bytes{173, 216, 230}));
}

TEST_F(XpmReader, ShortLinesAndUnknownPixelsTakeColourZero) {
  bitmap_t* b = nullptr;
  ASSERT_EQ(read(xpm("3 2 2 1", {"a c #0a0a0a", "b c #ffffff", "bz", "b"}), &b), 0);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{255, 255, 255, 10, 10, 10, 10, 10, 10, 255, 255,
                                              255, 10, 10, 10, 10, 10, 10}));
}

TEST_F(XpmReader, RefusalsAndTheirCodes) {
  std::vector<std::string> colours;
  for (int i = 0; i < 300; ++i) colours.push_back(std::string(1, char('A' + i % 26)) +
                                                  char('A' + i / 26) + " c #000000");
  struct refusal {
    const char* what;
    std::string data;
    int code;
  };
  const std::vector<refusal> cases = {
      {"300 colours", xpm("1 1 300 2", colours), ERR_UNKNOWN_FORMAT},
      {"pixels before the values", xpm("ab", {"4 1 2 1", "a c red", "b c blue", "abab"}),
       ERR_LOADING},
      {"width 0", xpm("0 1 1 1", {"a c red", ""}), ERR_BAD_FILE},
      {"no colours", xpm("1 1 0 1", {"a"}), ERR_BAD_FILE},
      {"no characters per pixel", xpm("1 1 1 0", {"a c red", "a"}), ERR_BAD_FILE},
      {"65535 x 65535 over a few bytes", xpm("65535 65535 1 1", {"a c red", "aaaa"}),
       ERR_BAD_FILE},
      {"fewer lines than the height", xpm("2 3 1 1", {"a c red", "aa", "aa"}), ERR_BAD_FILE},
      {"file cut inside the colours", "/* XPM */\n{\"2 1 2 1\",\n\"a c red\",\n\"b c",
       ERR_BAD_FILE},
      {"string running over its line", "{\"1 1 1 1\",\n\"a c red\n\",\"a\"};", ERR_BAD_FILE},
      {"colour string shorter than its characters", xpm("1 1 1 2", {"a", "aa"}), ERR_BAD_FILE},
      {"comment never closed", "/* XPM \n{\"1 1 1 1\",\"a c red\",\"a\"};", ERR_BAD_FILE},
  };
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read(c.data), c.code);
  }
}

TEST_F(XpmReader, MissingFileIsAnAccessError) {
  bitmap_t* b = record_for_path(raster_test::fixture("xpm", "no_such.xpm"), 5);
  EXPECT_EQ(xpm_read(b), ERR_FILE_ACCESS);
}

}  // namespace
