// The window decode of the display export: the magnification chosen from the display
// scale, the region asked of the decoder, the extents clamped and written back, the
// nearest-neighbour resampling into 8-bit and 32-bit destinations, and windows that do
// not lie on the image.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/error.h"
#include "map/raster_display.h"
#include "tests/tmsid/sid_fixture.h"

namespace sid_test {
namespace {

// The image at the magnification the decoder was asked for, read back from the log.
struct decode_args {
  double x0 = -1, y0 = -1, w = -1, h = -1, mag = -1;
};
decode_args last_decode(const std::vector<std::string>& calls) {
  decode_args a;
  for (const std::string& c : calls)
    std::sscanf(c.c_str(), "ltic_decode %lf %lf %lf %lf %lf", &a.x0, &a.y0, &a.w, &a.h, &a.mag);
  return a;
}

uint32_t pack(int r, int g, int b) {
  return uint32_t(r) << rshift | uint32_t(g) << vshift | uint32_t(b) << bshift;
}

// The display pixel (c, r) as the resampling rule puts it: the region sample under it
// (an index a hair below a whole number counts as that number: the clamped extents are
// 0.000001 short of the image's edges).
constexpr double kAllowance = 0.00001;
struct expected_window {
  sid_window win;
  decode_args at;
  int sample_x(int c) const {
    const double step = at.mag * win.extent_x / win.width;
    const double fx = at.mag * win.origin_x - at.x0;
    double ax = fx;
    for (int i = 0; i < c; ++i) ax += step;
    return int(std::min<double>(std::trunc(ax + kAllowance), at.w - 1)) + int(at.x0);
  }
  int sample_y(int r) const {
    const double step = at.mag * win.extent_y / win.height;
    const double fy = at.mag * win.origin_y - at.y0;
    return int(std::min<double>(std::trunc((r + fy) * step + kAllowance), at.h - 1)) + int(at.y0);
  }
};

struct window_case {
  const char* what;
  int width, height;
  double ox, oy, ex, ey;
  double mag;  // the magnification the decoder is asked for
};
// rgb.sid is 40 x 30 and delivers magnifications 1/64 .. 1.
const window_case kWindows[] = {
    {"one display pixel per image pixel", 20, 10, 3, 4, 20, 10, 1.0},
    {"enlarged: never above full resolution", 40, 40, 5, 5, 10, 10, 1.0},
    {"scale 0.3 decodes at 0.5", 12, 9, 0, 0, 40, 30, 0.5},
    {"scale 0.25 decodes at 0.25", 10, 7, 0, 0, 40, 28, 0.25},
    {"scale 0.26 on one axis wins", 10, 2, 0, 0, 40, 20, 0.25},
    {"fractional origin", 7, 5, 2.6, 3.3, 21.5, 15.2, 0.5},
    {"extent past both far edges", 16, 16, 30, 22, 40, 40, 0.5},
};

TEST_F(SidTest, WindowsDecodeAtTheChosenMagnificationAndResample) {
  int result = -1;
  bitmap_t* b = load(fixture("rgb.sid"), &result);
  ASSERT_EQ(result, 0);
  for (const window_case& c : kWindows) {
    SCOPED_TRACE(c.what);
    clear_calls();
    sid_window win{c.width, c.height, c.ox, c.oy, c.ex, c.ey};
    std::vector<uint32_t> out(size_t(c.width) * size_t(c.height), 0xDEADBEEF);
    display_sid(b, &win, 0, nullptr, out.data(), c.width);
    const std::vector<std::string> log = calls();
    ASSERT_EQ(+log.size(), 3u);
    EXPECT_EQ(log[0], "ltic_getMaxMagnification");
    EXPECT_EQ(log[1], "ltic_getMinMagnification");
    const decode_args at = last_decode(log);
    EXPECT_EQ(+at.mag, c.mag);
    EXPECT_EQ(+at.x0, std::trunc(c.mag * c.ox));
    EXPECT_EQ(+at.y0, std::trunc(c.mag * c.oy));
    // The region never reaches past the image at that magnification.
    EXPECT_LE(at.x0 + at.w, std::ceil(40 * c.mag));
    EXPECT_LE(at.y0 + at.h, std::ceil(30 * c.mag));
    // The extents the host sees are clamped to the image.
    EXPECT_DOUBLE_EQ(+win.extent_x, std::min(c.ex, 40 - c.ox - 0.000001));
    EXPECT_DOUBLE_EQ(+win.extent_y, std::min(c.ey, 30 - c.oy - 0.000001));
    const expected_window e{win, at};
    const int level = msid::level_of(c.mag);
    for (int r = 0; r < c.height; ++r)
      for (int col = 0; col < c.width; ++col) {
        const uint32_t x = uint32_t(e.sample_x(col)), y = uint32_t(e.sample_y(r));
        ASSERT_EQ(out[size_t(r) * size_t(c.width) + size_t(col)],
                  pack(msid::sample(x, y, 0, level), msid::sample(x, y, 1, level),
                       msid::sample(x, y, 2, level)))
            << "display " << col << "," << r;
      }
  }
}

TEST_F(SidTest, TheDecoderBoundsTheMagnification) {
  struct bounded {
    double max_mag, min_mag;
    double ex;  // extent for a 10-pixel-wide window
    double mag;
  };
  const bounded cases[] = {
      {0.5, 0.125, 10, 0.5},   // scale 1 above the decoder's maximum
      {1.0, 0.5, 80, 0.5},     // scale 0.125 below its minimum
      {1.0, 0.125, 80, 0.125},
  };
  for (const bounded& c : cases) {
    SCOPED_TRACE(c.mag);
    msid::header h;
    h.width = 100;
    h.height = 100;
    h.bands = 1;
    h.data_type = 1;
    h.colour_space = 4;
    h.max_mag = c.max_mag;
    h.min_mag = c.min_mag;
    bitmap_t* b = bare_record(write_file(h));
    clear_calls();
    sid_window win{10, 10, 0, 0, c.ex, c.ex};
    std::vector<uint32_t> out(100);
    display_sid(b, &win, 0, nullptr, out.data(), 10);
    EXPECT_EQ(last_decode(calls()).mag, c.mag);
  }
}

// A decoder whose smallest magnification is huge (or whose bounds are no numbers) would
// ask for an image larger than any: nothing is decoded or drawn.
TEST_F(SidTest, AMagnificationBeyondAnyImageDrawsNothing) {
  for (double min_mag : {1e6, 1.5e177}) {
    SCOPED_TRACE(min_mag);
    msid::header h;
    h.width = 500;
    h.height = 400;
    h.bands = 3;
    h.data_type = 1;
    h.colour_space = 1;
    h.max_mag = 1e300;
    h.min_mag = min_mag;
    bitmap_t* b = bare_record(write_file(h));
    clear_calls();
    sid_window win{10, 10, 3, 3, 400, 300};
    std::vector<uint32_t> out(100, 9u);
    display_sid(b, &win, 0, nullptr, out.data(), 10);
    for (uint32_t v : out) ASSERT_EQ(v, 9u);
    for (const std::string& c : calls()) EXPECT_EQ(+c.find("ltic_decode"), std::string::npos);
    free_image(b);
  }
}

TEST_F(SidTest, OneBandGoesThroughTheLookupTables) {
  int result = -1;
  bitmap_t* b = load(fixture("grey.sid"), &result);
  ASSERT_EQ(result, 0);
  // Tables of the host's own: each entry divided by 3 before adding (grey), or packed.
  for (int i = 0; i < 256; ++i) {
    b->lut_r[i] = uint8_t(i);
    b->lut_g[i] = uint8_t(255 - i);
    b->lut_b[i] = uint8_t(i / 2);
  }
  b->lut_r[0] = b->lut_g[0] = b->lut_b[0] = 255;  // gives 255
  b->lut_r[7] = b->lut_g[7] = b->lut_b[7] = 1;    // gives 0
  sid_window win{33, 21, 0, 0, 33, 21};
  std::vector<uint8_t> grey(33 * 21);
  std::vector<uint32_t> colour(33 * 21);
  display_sid(b, &win, 1, grey.data(), nullptr, 33);
  display_sid(b, &win, 0, nullptr, colour.data(), 33);
  int zero_seen = 0, seven_seen = 0;
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 33; ++x) {
      const uint8_t v = msid::sample(uint32_t(x), uint32_t(y), 0, 0);
      const size_t i = size_t(y) * 33 + size_t(x);
      ASSERT_EQ(grey[i], uint8_t(b->lut_r[v] / 3 + b->lut_g[v] / 3 + b->lut_b[v] / 3));
      ASSERT_EQ(colour[i], pack(b->lut_r[v], b->lut_g[v], b->lut_b[v]));
      if (v == 0) {
        ++zero_seen;
        EXPECT_EQ(grey[i], 255);
      }
      if (v == 7) {
        ++seven_seen;
        EXPECT_EQ(grey[i], 0);
      }
    }
  EXPECT_GT(zero_seen + seven_seen, 0);
}

TEST_F(SidTest, ThreeBandsInGrey) {
  int result = -1;
  bitmap_t* b = load(fixture("rgb.sid"), &result);
  ASSERT_EQ(result, 0);
  sid_window win{40, 30, 0, 0, 40, 30};
  // Every other row of a wider buffer: the stride is in destination pixels.
  std::vector<uint8_t> out(50 * 30, 0x5A);
  display_sid(b, &win, 1, out.data(), nullptr, 50);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const uint32_t ux = uint32_t(x), uy = uint32_t(y);
      ASSERT_EQ(out[size_t(y) * 50 + size_t(x)],
                uint8_t(msid::sample(ux, uy, 0, 0) / 3 + msid::sample(ux, uy, 1, 0) / 3 +
                        msid::sample(ux, uy, 2, 0) / 3));
    }
    for (int x = 40; x < 50; ++x) ASSERT_EQ(out[size_t(y) * 50 + size_t(x)], 0x5A);
  }
}

TEST_F(SidTest, AnEmptyWindowReturnsAtOnceWithoutOpening) {
  bitmap_t* b = bare_record(fixture("rgb.sid"));
  for (auto size : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-3, 5}}) {
    sid_window win{size.first, size.second, 0, 0, 10, 10};
    uint32_t out[100] = {};
    display_sid(b, &win, 0, nullptr, out, 10);
  }
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(open_handles(), 0);
}

// Windows that do not lie on the image draw nothing and touch nothing: an origin past
// the image would otherwise ask for a negative region and buffer.
TEST_F(SidTest, WindowsOffTheImageDrawNothing) {
  int result = -1;
  bitmap_t* b = load(fixture("rgb.sid"), &result);
  ASSERT_EQ(result, 0);
  const sid_window windows[] = {
      {10, 10, 40, 0, 10, 10},       // origin on the right edge
      {10, 10, 500, 600, 10, 10},    // far past the image
      {10, 10, 0, 30.5, 10, 10},     // below it
      {10, 10, -5, 0, 10, 10},       // before it
      {10, 10, 0, 0, 0, 10},         // no extent
      {10, 10, 0, 0, -4, 10},
      {10, 10, NAN, 0, 10, 10},
      {10, 10, 0, 0, INFINITY, 10},
      {10, 10, 39.9999999, 0, 10, 10},  // clamped to nothing
  };
  for (const sid_window& w : windows) {
    SCOPED_TRACE(std::to_string(w.origin_x) + "," + std::to_string(w.origin_y));
    sid_window win = w;
    clear_calls();
    std::vector<uint32_t> out(100, 0x12345678);
    display_sid(b, &win, 0, nullptr, out.data(), 10);
    for (uint32_t v : out) ASSERT_EQ(v, 0x12345678u);
    for (const std::string& c : calls()) EXPECT_EQ(+c.find("ltic_decode"), std::string::npos);
  }
}

TEST_F(SidTest, ARefusedDecodeDrawsNothingAndSaysSo) {
  bitmap_t* b = bare_record(fixture("decode_fails.sid"));
  sid_window win{12, 6, 0, 0, 12, 6};
  std::vector<uint32_t> out(72, 0x01020304);
  display_sid(b, &win, 0, nullptr, out.data(), 12);
  for (uint32_t v : out) ASSERT_EQ(v, 0x01020304u);
  EXPECT_EQ(get_gblerr(), 7);
  set_gblerr(0);
}

TEST_F(SidTest, AFailingMagnificationQueryDrawsNothing) {
  for (const char* call : {"ltic_getMaxMagnification", "ltic_getMinMagnification"}) {
    SCOPED_TRACE(call);
    bitmap_t* b = bare_record(fixture("rgb.sid"));
    setenv("MSID_FAIL", call, 1);
    sid_window win{10, 10, 0, 0, 40, 30};
    std::vector<uint32_t> out(100, 7u);
    display_sid(b, &win, 0, nullptr, out.data(), 10);
    unsetenv("MSID_FAIL");
    for (uint32_t v : out) ASSERT_EQ(v, 7u);
    for (const std::string& c : calls()) EXPECT_EQ(+c.find("ltic_decode"), std::string::npos);
    free_image(b);
  }
}

TEST_F(SidTest, ABottomUpStrideFillsRowsFromTheLast) {
  int result = -1;
  bitmap_t* b = load(fixture("rgb.sid"), &result);
  ASSERT_EQ(result, 0);
  sid_window win{40, 30, 0, 0, 40, 30};
  std::vector<uint32_t> out(40 * 30);
  display_sid(b, &win, 0, nullptr, out.data() + 29 * 40, -40);
  for (int y = 0; y < 30; ++y) {
    const uint32_t uy = uint32_t(y);
    EXPECT_EQ(out[size_t(29 - y) * 40 + 5],
              pack(msid::sample(5, uy, 0, 0), msid::sample(5, uy, 1, 0), msid::sample(5, uy, 2, 0)));
  }
}

}  // namespace
}  // namespace sid_test
