// The map program itself, run headless on a SID file: the plug-in beside it is bound, the
// image is loaded and drawn, and the picture it leaves shows the stand-in decoder's
// pixels the right way up.
//
// The stand-in's samples of the three bands at (x, y) are v, v + 85 and v + 170 (mod 256)
// with v = 3x + 7y + 50 level: a picture pixel drawn from the image carries that
// signature, the window's background and the frame do not. Where the view puts the image
// is the program's choice; the test finds the drawn block by the signature and checks
// its extent and, inside it, that v grows by multiples of 3 to the right and of 7
// downwards (one display pixel spans the same number of image pixels throughout).
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/line_store.h"
#include "tests/support/program_run.h"
#include "tests/support/test_env.h"
#include "tests/tmsid/sid_fixture.h"

namespace sid_test {
namespace {

using tm_test::rgb;

bool signed_by_the_decoder(const rgb& p) {
  return ((p.g - p.r) & 255) == 85 && ((p.b - p.r) & 255) == 170;
}

TEST_F(SidTest, TheMapProgramRunHeadlessShowsTheDecodersPixels) {
  const std::string program = tm_test::program_folder() + "tarmelo";
  ASSERT_EQ(access(program.c_str(), X_OK), 0) << program << " is built beside the tests";
  const std::string picture = dir_ + "frame.png";
  const std::string home = tm_test::fresh_dir("tmsid-home");
  // The child runs without a display, with a home of its own and no call log.
  std::string out;
  const int code = tm_test::run_program_headless({program, fixture("view.sid")}, picture,
                                                 home, &out, {"MSID_CALL_LOG"});
  ASSERT_EQ(code, 0) << out;
  EXPECT_EQ(out.find("MrSID images are off"), std::string::npos) << out;

  const tm_test::picture shot = tm_test::read_picture(picture);
  const int width = shot.width, height = shot.height;
  ASSERT_GT(width, 0) << out;
  int left = width, right = -1, top = height, bottom = -1, signed_pixels = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (signed_by_the_decoder(shot.at(x, y))) {
        ++signed_pixels;
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
  ASSERT_GT(signed_pixels, 2000) << "the image is drawn";
  // One block, nearly all of it the image (a few pixels of the view's marks may cover it).
  const int area = (right - left + 1) * (bottom - top + 1);
  EXPECT_GT(double(signed_pixels) / area, 0.95);
  // The block keeps the image's proportions (200 x 150).
  EXPECT_NEAR(double(right - left + 1) / (bottom - top + 1), 200.0 / 150.0, 0.1);
  // Upright and not mirrored: v grows by multiples of 3 to the right and of 7 downwards.
  int across = 0, down = 0, wrong = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      const rgb& p = shot.at(x, y);
      const rgb& r = shot.at(x + 1, y);
      const rgb& d = shot.at(x, y + 1);
      if (!signed_by_the_decoder(p) || !signed_by_the_decoder(r) || !signed_by_the_decoder(d))
        continue;
      const int dx = (r.r - p.r) & 255, dy = (d.r - p.r) & 255;
      ++across, ++down;
      if (dx % 3 != 0 || dx > 30 || dy % 7 != 0 || dy > 70) ++wrong;
    }
  ASSERT_GT(across + down, 0);
  EXPECT_LT(wrong, (across + down) / 50) << wrong << " steps out of " << across + down;
}

}  // namespace
}  // namespace sid_test
