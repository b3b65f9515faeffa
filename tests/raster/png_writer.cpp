// Pictures written by the platform's PNG writer, read back by the image loading's PNG
// reader (which checks the zlib stream and its Adler-32, and undoes every row filter):
// every pixel comes back, whatever filter each row took and however the
// rectangle is clipped, and a flat picture takes a few kilobytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/gdi/surface.h"
#include "raster/png_read.h"
#include "tests/raster/decoder_fixture.h"

namespace {

using plat::Rect;
using plat::Surface;

// A different colour in every pixel: gradients that the Sub, Up and Average filters
// predict well, and an exclusive-or pattern that they do not.
Surface pattern(int w, int h) {
  Surface s(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.row(y)[x] = plat::pixel_of(plat::rgb(x * 7, y * 5, (x ^ y) & 255));
  return s;
}

Surface noise(int w, int h) {
  Surface s(w, h);
  std::mt19937 rng(11);
  for (uint32_t& px : s.pixels) px = 0xFF000000u | (rng() & 0xFFFFFFu);
  return s;
}

// What a window looks like: a flat face, a caption band, a white panel with rows of
// dark strokes standing for text, and a coloured frame.
Surface window_like(int w, int h) {
  Surface s(w, h, plat::pixel_of(plat::rgb(212, 208, 200)));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t& px = s.row(y)[x];
      if (y < 20) px = plat::pixel_of(plat::rgb(10, 36, 106 + x * 100 / w));
      else if (x < 2 || y >= h - 2 || x >= w - 2) px = plat::pixel_of(plat::rgb(64, 64, 64));
      else if (x > 10 && x < w - 10 && y > 30 && y < h - 10) {
        const bool stroke = (y - 30) % 16 < 10 && ((x * 7 + y * 3) % 11 < 3) && (x / 40) % 3 != 2;
        px = stroke ? plat::pixel_of(plat::rgb(0, 0, 0)) : plat::pixel_of(plat::rgb(255, 255, 255));
      }
    }
  return s;
}

class PngWriterRoundTrip : public raster_test::DecoderTest {
 protected:
  // Writes the rectangle, decodes the file and compares every pixel; returns the
  // file's size.
  size_t round_trip(const Surface& s, const Rect& r, const std::string& path) {
    EXPECT_EQ(plat::write_png_rect(s, r, path.c_str()), 0);
    const size_t size = raster_test::read_bytes(path).size();
    bitmap_t* b = record_for_path(path, 4);
    EXPECT_EQ(png_read(b), 0);
    const Rect c = plat::intersect_rect(r, s.rect());
    EXPECT_EQ(+b->width, c.width());
    EXPECT_EQ(+b->height, c.height());
    EXPECT_EQ(+b->planes, 3);
    if (b->width != c.width() || b->height != c.height() || b->planes != 3) return size;
    const raster_test::bytes rgb = raster_test::image_rgb(b);
    for (int y = 0; y < c.height(); ++y)
      for (int x = 0; x < c.width(); ++x) {
        const uint32_t px = s.at(c.left + x, c.top + y);
        const uint8_t* got = &rgb[(size_t(y) * size_t(c.width()) + size_t(x)) * 3];
        const uint32_t want[3] = {(px >> 16) & 255, (px >> 8) & 255, px & 255};
        if (got[0] != want[0] || got[1] != want[1] || got[2] != want[2]) {
          ADD_FAILURE() << "pixel " << x << "," << y << std::hex << ": " << int(got[0]) << " "
                        << int(got[1]) << " " << int(got[2]) << " instead of " << px;
          return size;
        }
      }
    return size;
  }
};

TEST_F(PngWriterRoundTrip, EveryPixelComesBack) {
  struct Case {
    const char* what;
    Surface s;
    Rect r;
  };
  const Case cases[] = {
      {"one pixel", pattern(1, 1), {0, 0, 1, 1}},
      {"a few rows", pattern(7, 3), {0, 0, 7, 3}},
      {"gradients", pattern(300, 250), {0, 0, 300, 250}},
      {"clipped at the corner", pattern(300, 250), {290, 240, 400, 400}},
      {"inner rectangle", pattern(40, 30), {5, 6, 25, 16}},
      {"noise, in several blocks", noise(320, 240), {0, 0, 320, 240}},
      {"a window", window_like(640, 480), {0, 0, 640, 480}},
      {"one column", window_like(1, 300), {0, 0, 1, 300}},
  };
  const std::string dir = tm_test::fresh_dir("png-round-trip");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    round_trip(c.s, c.r, dir + "p" + std::to_string(&c - cases) + ".png");
  }
}

// A flat picture is runs of one value after filtering: a window-sized one is a few
// kilobytes, not the 2.3 MB of its samples.
TEST_F(PngWriterRoundTrip, FlatPictureIsSmall) {
  const Surface flat(1024, 768, plat::pixel_of(plat::rgb(212, 208, 200)));
  const size_t size = round_trip(flat, flat.rect(), tm_test::fresh_dir("png-flat") + "flat.png");
  EXPECT_LT(size, 6000u);  // zlib at its default level makes some 4 kB of it
}

}  // namespace
