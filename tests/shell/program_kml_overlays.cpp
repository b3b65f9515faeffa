// The map program itself, run headless on a KML file of two overlapping ground overlays
// (two PNG pictures of one solid colour each, written by ImageMagick): the load fits the
// view to the overlays, each is drawn on its box, and in the overlap the overlay of the
// higher drawOrder is on top, whatever the order of the two in the file.
//
// The picture is read through the colours alone: the box of each colour's pixels. The
// overlay on top shows its whole box; the other shows the rest of its own, so the overlap
// is where the two boxes meet.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/shell/load_fixture.h"
#include "tests/support/program_run.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::picture;
using tm_test::rgb;

const rgb kRed{255, 0, 0}, kBlue{0, 0, 255};

struct colour_box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  long count = 0;
  bool holds(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

colour_box box_of(const picture& shot, const rgb& colour) {
  colour_box b;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x)
      if (shot.at(x, y).distance(colour) <= 30) {
        b.left = std::min(b.left, x);
        b.right = std::max(b.right, x);
        b.top = std::min(b.top, y);
        b.bottom = std::max(b.bottom, y);
        ++b.count;
      }
  return b;
}

bool have(const char* tool) {
  std::string out;
  return tm_test::run_tool({"sh", "-c", std::string("command -v ") + tool}, &out) == 0;
}

// One ground overlay: a picture on a box of one degree whose south-west corner is given.
std::string overlay(const std::string& href, int draw_order, double west, double south) {
  return "<GroundOverlay><name>" + href + "</name><drawOrder>" + std::to_string(draw_order) +
         "</drawOrder><Icon><href>" + href + "</href></Icon><LatLonBox><north>" +
         std::to_string(south + 1.0) + "</north><south>" + std::to_string(south) +
         "</south><east>" + std::to_string(west + 1.0) + "</east><west>" + std::to_string(west) +
         "</west></LatLonBox></GroundOverlay>\n";
}

class ProgramKmlOverlays : public frame_test::LoadFixture {
 protected:
  picture run(const std::string& kml) {
    const std::string program = tm_test::program_folder() + "tarmelo";
    EXPECT_EQ(access(program.c_str(), X_OK), 0) << program << " is built beside the tests";
    const std::string picture_path = dir_ + "frame" + std::to_string(runs_++) + ".png";
    const std::string home = tm_test::fresh_dir("kml-overlays-home");
    std::string out;
    EXPECT_EQ(tm_test::run_program_headless({program, kml}, picture_path, home, &out), 0) << out;
    return tm_test::read_picture(picture_path);
  }

  std::string dir_ = tm_test::fresh_dir("kml-overlays");
  int runs_ = 0;
};

TEST_F(ProgramKmlOverlays, TheHigherDrawOrderIsOnTopWhateverTheFileOrder) {
  if (!have("convert")) GTEST_SKIP() << "convert (ImageMagick) is not installed";
  // Eight-bit RGB files (ImageMagick would write a one-colour palette otherwise).
  std::string out;
  ASSERT_EQ(tm_test::run_tool({"convert", "-size", "40x40", "xc:rgb(255,0,0)", "PNG24:" + dir_ + "red.png"}, &out), 0) << out;
  ASSERT_EQ(tm_test::run_tool({"convert", "-size", "40x40", "xc:rgb(0,0,255)", "PNG24:" + dir_ + "blue.png"}, &out), 0) << out;

  // Red on 5..6 E, 45..46 N; blue half a degree north-east of it. The file lists red
  // first; the draw orders decide which is on top.
  const struct {
    const char* name;
    int red_order, blue_order;
    bool red_on_top;
  } cases[] = {
      {"drawOrder reverses the file order", 2, 1, true},
      {"drawOrder follows the file order", 1, 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string kml = tm_test::write_file(
        dir_ + "overlays" + std::to_string(runs_) + ".kml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\n" +
            overlay("red.png", c.red_order, 5.0, 45.0) + overlay("blue.png", c.blue_order, 5.5, 45.5) +
            "</Document></kml>\n");
    const picture shot = run(kml);
    ASSERT_GT(shot.width, 0);
    const colour_box red = box_of(shot, kRed), blue = box_of(shot, kBlue);
    // Both drawn, large (the view was fitted to them), red south-west of blue.
    ASSERT_GT(red.count, 2000);
    ASSERT_GT(blue.count, 2000);
    EXPECT_LT(red.left, blue.left);
    EXPECT_GT(red.bottom, blue.bottom);
    // The overlap: the meeting of the two boxes, in the colour on top.
    const int ox = (blue.left + red.right) / 2, oy = (blue.bottom + red.top) / 2;
    ASSERT_TRUE(red.holds(ox, oy) && blue.holds(ox, oy));
    const rgb top = c.red_on_top ? kRed : kBlue;
    EXPECT_LE(shot.at(ox, oy).distance(top), 30) << "overlap at " << ox << "," << oy;
    // Where only one lies, its own colour.
    EXPECT_LE(shot.at(red.left + 5, red.bottom - 5).distance(kRed), 30);
    EXPECT_LE(shot.at(blue.right - 5, blue.top + 5).distance(kBlue), 30);
    // The one underneath shows the part of its box outside the other's.
    const colour_box& under = c.red_on_top ? blue : red;
    const colour_box& over = c.red_on_top ? red : blue;
    EXPECT_LT(under.count, over.count);
  }
}

}  // namespace
