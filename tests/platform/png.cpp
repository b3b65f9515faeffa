// Pictures written as PNG files, checked by outside decoders: Debian's python3 with PIL
// (zlib underneath) gives back every pixel, ImageMagick's identify the size and a
// pixel; bad targets fail cleanly and leave no file. The round trip through the
// system's own PNG reader is in tests/raster/png_writer.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>

#include "platform/gdi/surface.h"
#include "tests/support/test_env.h"

namespace {

using plat::Rect;
using plat::Surface;

// A different colour in every pixel.
Surface pattern(int w, int h) {
  Surface s(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.row(y)[x] = plat::pixel_of(plat::rgb(x * 7, y * 5, (x ^ y) & 255));
  return s;
}

// Flat areas, gradients and noise, so that rows take different filters and the
// stream has blocks of different kinds.
Surface mixed(int w, int h) {
  Surface s = pattern(w, h);
  std::mt19937 rng(5);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (y < h / 3) s.row(y)[x] = plat::pixel_of(plat::rgb(40, 90, 160));
      else if (y >= 2 * h / 3) s.row(y)[x] = 0xFF000000u | (rng() & 0xFFFFFFu);
    }
  return s;
}

std::string command_output(const std::string& cmd) {
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return "";
  std::string out;
  char buf[65536];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  return out;
}

TEST(PngWriter, PilReadsEveryPixel) {
  if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "python3 is not installed";
  const std::string script =
      "import sys\n"
      "from PIL import Image\n"
      "im = Image.open(sys.argv[1]); im.load()\n"
      "sys.stdout.write('%s %d %d\\n' % (im.mode, im.width, im.height)); sys.stdout.flush()\n"
      "sys.stdout.buffer.write(im.tobytes())\n";
  const std::string dir = tm_test::fresh_dir("png-pil");
  tm_test::write_file(dir + "read.py", script);
  const struct {
    Surface s;
    Rect r;
  } cases[] = {{mixed(300, 240), {0, 0, 300, 240}}, {pattern(50, 40), {10, 5, 60, 30}}};
  for (const auto& c : cases) {
    const std::string path = dir + "p" + std::to_string(&c - cases) + ".png";
    ASSERT_EQ(plat::write_png_rect(c.s, c.r, path.c_str()), 0);
    const std::string out = command_output("/usr/bin/python3 '" + dir + "read.py' '" + path + "' 2>&1");
    const Rect r = plat::intersect_rect(c.r, c.s.rect());
    const std::string head = "RGB " + std::to_string(r.width()) + " " + std::to_string(r.height()) + "\n";
    ASSERT_EQ(out.substr(0, head.size()), head) << out.substr(0, 300);
    std::string want;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) {
        const uint32_t px = c.s.at(x, y);
        want += {char(px >> 16), char(px >> 8), char(px)};
      }
    EXPECT_TRUE(out.substr(head.size()) == want) << "the pixels differ";
  }
}

TEST(PngWriter, BadTargetsFailCleanly) {
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
TEST(PngWriter, ImageMagickReadsTheFiles) {
  if (access("/usr/bin/identify", X_OK) != 0) GTEST_SKIP() << "ImageMagick is not installed";
  Surface s = pattern(300, 250);
  std::string path = tm_test::fresh_dir("png-im") + "im.png";
  ASSERT_EQ(plat::write_png(s, path.c_str()), 0);
  std::string cmd = "/usr/bin/identify -format '%w %h %[fx:int(255*p{17,9}.r+0.5)] %[fx:int(255*p{17,9}.g+0.5)] "
                    "%[fx:int(255*p{17,9}.b+0.5)]' '" + path + "' 2>&1";
  uint32_t px = s.at(17, 9);
  std::string want = "300 250 " + std::to_string((px >> 16) & 255) + " " + std::to_string((px >> 8) & 255) + " " +
                     std::to_string(px & 255);
  EXPECT_EQ(command_output(cmd), want);
}

}  // namespace
