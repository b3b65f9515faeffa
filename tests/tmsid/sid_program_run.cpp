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
#include <cstdlib>
#include <string>
#include <vector>

#include "core/line_store.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "raster/png_read.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"
#include "tests/tmsid/sid_fixture.h"

namespace sid_test {
namespace {

struct rgb {
  int r, g, b;
};

std::vector<rgb> read_png(const std::string& path, int* width, int* height) {
  std::vector<rgb> out;
  fileatt_t* file = nullptr;
  file_open(nullptr, nullptr, path.c_str(), &file);
  if (!file) return out;
  bitmap_t* b = nullptr;
  obj_new_registered(CLS_BITMAP, &b);
  b->file = file;
  b->format = 4;
  b->gamma = -1.0;
  set_graylevel_lut(b);
  if (png_read(b) == 0 && b->planes == 3) {
    *width = b->width;
    *height = b->height;
    for (int y = 0; y < b->height; ++y) {
      const uint8_t* line = get_img_line_adr(b, y, 0);
      for (int x = 0; x < b->width; ++x)
        out.push_back({line[x], line[b->width + x], line[2 * b->width + x]});
    }
  }
  free_obj(&b);
  return out;
}

bool signed_by_the_decoder(const rgb& p) {
  return ((p.g - p.r) & 255) == 85 && ((p.b - p.r) & 255) == 170;
}

std::string program_folder() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  const std::string path = n > 0 ? std::string(buf, size_t(n)) : "";
  return path.substr(0, path.rfind('/') + 1);
}

TEST_F(SidTest, TheMapProgramRunHeadlessShowsTheDecodersPixels) {
  const std::string program = program_folder() + "tarmelo";
  ASSERT_EQ(access(program.c_str(), X_OK), 0) << program << " is built beside the tests";
  const std::string picture = dir_ + "frame.png";
  const std::string home = tm_test::fresh_dir("tmsid-home");
  // The child runs without a display, with a home of its own and no call log.
  const char* display = std::getenv("DISPLAY");
  const std::string kept_display = display ? display : "";
  unsetenv("DISPLAY");
  unsetenv("MSID_CALL_LOG");
  setenv("TARMELO_PICTURE", picture.c_str(), 1);
  const char* old_home = std::getenv("HOME");
  const std::string kept_home = old_home ? old_home : "";
  setenv("HOME", home.c_str(), 1);
  // What the program leaves unfreed at its exit is not this test's concern.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string kept_asan = asan ? asan : "";
  setenv("ASAN_OPTIONS", (kept_asan.empty() ? "" : kept_asan + ":") .append("detect_leaks=0").c_str(), 1);
  std::string out;
  const int code = tm_test::run_tool({program, fixture("view.sid")}, &out, 60000);
  if (asan) setenv("ASAN_OPTIONS", kept_asan.c_str(), 1); else unsetenv("ASAN_OPTIONS");
  setenv("HOME", kept_home.c_str(), 1);
  unsetenv("TARMELO_PICTURE");
  if (!kept_display.empty()) setenv("DISPLAY", kept_display.c_str(), 1);
  ASSERT_EQ(code, 0) << out;
  EXPECT_EQ(out.find("MrSID images are off"), std::string::npos) << out;

  int width = 0, height = 0;
  const std::vector<rgb> shot = read_png(picture, &width, &height);
  ASSERT_GT(width, 0) << out;
  int left = width, right = -1, top = height, bottom = -1, signed_pixels = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (signed_by_the_decoder(shot[size_t(y) * size_t(width) + size_t(x)])) {
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
      const rgb& p = shot[size_t(y) * size_t(width) + size_t(x)];
      const rgb& r = shot[size_t(y) * size_t(width) + size_t(x + 1)];
      const rgb& d = shot[size_t(y + 1) * size_t(width) + size_t(x)];
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
