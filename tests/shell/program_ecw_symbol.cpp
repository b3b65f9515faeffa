// The map program itself, run headless on a KML file whose style gives a placemark an
// ECW image as its icon: the image, which has no pixels in memory and is read through
// the ECW decoding library (the stand-in built beside the program), is drawn at the
// point at its own size, every pixel the one the library gives there; a PNG picture of
// the same size used the same way lands on the same pixels.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/ecw/ecw_header.h"
#include "tests/shell/load_fixture.h"
#include "tests/support/program_run.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::picture;
using tm_test::rgb;

// raw.ecw of the fixtures: 40 x 30 pixels, three bands, seed 0.
constexpr int kWidth = 40, kHeight = 30;

rgb ecw_pixel(int x, int y) {
  using ecw_standin::sample;
  return {sample(0, uint32_t(x), uint32_t(y), 0, 1), sample(0, uint32_t(x), uint32_t(y), 1, 1),
          sample(0, uint32_t(x), uint32_t(y), 2, 1)};
}

// The stand-in's bands differ by 85 and 170 at every pixel: a mark no other drawing
// of the picture leaves.
bool ecw_like(const rgb& c) { return c.g == (c.r + 85) % 256 && c.b == (c.r + 170) % 256; }

struct box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  long count = 0;
  void add(int x, int y) {
    left = std::min(left, x);
    right = std::max(right, x);
    top = std::min(top, y);
    bottom = std::max(bottom, y);
    ++count;
  }
};

template <class Pred> box box_where(const picture& shot, Pred pred) {
  box b;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x)
      if (pred(shot.at(x, y))) b.add(x, y);
  return b;
}

bool have(const char* tool) {
  std::string out;
  return tm_test::run_tool({"sh", "-c", std::string("command -v ") + tool}, &out) == 0;
}

void copy_file(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  tm_test::write_file(to, bytes.str());
}

class ProgramEcwSymbol : public frame_test::LoadFixture {
 protected:
  // A placemark styled with the icon `href` at 6 E 45 N, and a plain one at 7 E 46 N so
  // that the fitted view has an extent; neither has a name, so no label covers the icon.
  picture run(const std::string& href) {
    const std::string kml = tm_test::write_file(
        dir_ + "symbol" + std::to_string(runs_) + ".kml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\n"
        "<Style id=\"s\"><IconStyle><Icon><href>" + href + "</href></Icon></IconStyle></Style>\n"
        "<Placemark><styleUrl>#s</styleUrl><Point><coordinates>6,45</coordinates></Point>"
        "</Placemark>\n"
        "<Placemark><Point><coordinates>7,46</coordinates></Point></Placemark>\n"
        "</Document></kml>\n");
    const std::string program = tm_test::program_folder() + "tarmelo";
    EXPECT_EQ(access(program.c_str(), X_OK), 0) << program << " is built beside the tests";
    const std::string picture_path = dir_ + "frame" + std::to_string(runs_++) + ".png";
    const std::string home = tm_test::fresh_dir("ecw-symbol-home");
    std::string out;
    EXPECT_EQ(tm_test::run_program_headless({program, kml}, picture_path, home, &out), 0) << out;
    return tm_test::read_picture(picture_path);
  }

  std::string dir_ = tm_test::fresh_dir("ecw-symbol");
  int runs_ = 0;
};

TEST_F(ProgramEcwSymbol, TheEcwImageIsDrawnAtThePoint) {
  copy_file(std::string(TM_FIXTURE_DIR) + "/ecw/raw.ecw", dir_ + "raw.ecw");
  const picture shot = run("raw.ecw");
  ASSERT_GT(shot.width, 0);
  const box b = box_where(shot, ecw_like);
  // The whole image, at its own size.
  ASSERT_GE(b.count, long(kWidth) * kHeight * 95 / 100) << "the ECW symbol is not drawn";
  EXPECT_EQ(b.right - b.left + 1, kWidth);
  EXPECT_EQ(b.bottom - b.top + 1, kHeight);
  // Each pixel the library's own, the image's top row on top.
  int wrong = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (shot.at(b.left + x, b.top + y).distance(ecw_pixel(x, y)) > 3) ++wrong;
  EXPECT_LE(wrong, kWidth * kHeight / 100);

  // Where a picture of the same size, drawn from its pixels in memory, goes: the point.
  if (!have("convert")) GTEST_SKIP() << "convert (ImageMagick) is not installed";
  std::string out;
  ASSERT_EQ(tm_test::run_tool({"convert", "-size", "40x30", "xc:rgb(255,0,0)", "PNG24:" + dir_ + "red.png"}, &out), 0) << out;
  const picture reference = run("red.png");
  const box red = box_where(reference, [](const rgb& c) { return c.distance({255, 0, 0}) <= 30; });
  ASSERT_GE(red.count, long(kWidth) * kHeight * 95 / 100);
  EXPECT_EQ(red.left, b.left);
  EXPECT_EQ(red.top, b.top);
  EXPECT_EQ(red.right, b.right);
  EXPECT_EQ(red.bottom, b.bottom);
}

}  // namespace
