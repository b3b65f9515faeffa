// A window resized over and over while its map is being drawn: the map program (an
// OziExplorer map over a large image) and the image viewer (the large image itself) run
// on a private X server under a window manager (openbox), and xdotool resizes the main
// window many times, a little more than the redraw's resize pause apart, so that redraw
// passes run between the resizes and are cut into by the next one. Each program must
// then end normally with status 0: under ThreadSanitizer (`make tsan`, halt_on_error)
// any data race between the resize on the user-interface thread and the pass on the
// task thread ends the program at once with another status; under AddressSanitizer a
// buffer freed or resized under the pass does. Skipped when Xvfb, openbox or xdotool is
// missing; the programs are built beside the tests.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_env.h"
#include "tests/x11/x_program.h"
#include "tests/x11/x_server.h"

namespace {

using x11_test::Clock;

// Large enough that drawing it at the size of the screen takes a while: every screen
// pixel is the mean of several image pixels.
constexpr int kImageWidth = 2400;
constexpr int kImageHeight = 1800;
constexpr int kResizes = 24;
// The redraw waits 100 ms after a resize before it draws: resizes further apart than
// that let passes start in between.
constexpr int kResizeGapMs = 180;

// A binary PPM of a pattern that differs from pixel to pixel (nothing a pass may skip).
std::string write_image(const std::string& dir) {
  const std::string path = dir + "large.ppm";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return {};
  std::fprintf(f, "P6\n%d %d\n255\n", kImageWidth, kImageHeight);
  std::vector<unsigned char> row(size_t(kImageWidth) * 3);
  for (int y = 0; y < kImageHeight; ++y) {
    for (int x = 0; x < kImageWidth; ++x) {
      row[size_t(x) * 3] = static_cast<unsigned char>(x * 7 + y);
      row[size_t(x) * 3 + 1] = static_cast<unsigned char>(y * 5);
      row[size_t(x) * 3 + 2] = static_cast<unsigned char>(x ^ y);
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  return std::fclose(f) == 0 ? path : std::string();
}

// An OziExplorer map of the image: its four corners on a small area in the Alps (WGS 84,
// latitude and longitude).
std::string write_map(const std::string& dir, const std::string& image) {
  const int w = kImageWidth, h = kImageHeight;
  std::string text =
      "OziExplorer Map Data File Version 2.2\r\nLarge\r\n" + image +
      "\r\n1 ,Map Code,\r\nWGS 84,WGS 84,   0.0000,   0.0000,WGS 84\r\nReserved 1\r\nReserved 2\r\n"
      "Magnetic Variation,,,E\r\n"
      "Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No\r\n";
  const int px[4][2] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
  const char* lat[4] = {"55.9200", "55.9200", "54.1200", "54.1200"};
  const char* lon[4] = {"50.7000", "53.1000", "53.1000", "50.7000"};
  for (int i = 0; i < 4; ++i) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "Point%02d,xy, %5d, %5d,in, deg,  45, %s,N,   6, %s,E, grid,   ,           ,"
                  "           ,N\r\n",
                  i + 1, px[i][0], px[i][1], lat[i], lon[i]);
    text += line;
  }
  text += "Projection Setup,,,,,,,,,,\r\nMM0,Yes\r\nMMPNUM,4\r\n";
  const char* ll[4] = {"6.845000,  45.932000", "6.885000,  45.932000", "6.885000,  45.902000",
                       "6.845000,  45.902000"};
  for (int i = 0; i < 4; ++i)
    text += "MMPXY," + std::to_string(i + 1) + "," + std::to_string(px[i][0]) + "," + std::to_string(px[i][1]) + "\r\n";
  for (int i = 0; i < 4; ++i) text += "MMPLL," + std::to_string(i + 1) + ",   " + ll[i] + "\r\n";
  text += "IWH,Map Image Width/Height," + std::to_string(w) + "," + std::to_string(h) + "\r\n";
  return tm_test::write_file(dir + "large.map", text);
}

class ResizeWhileDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool"})
      if (x11_test::find_program(tool).empty()) GTEST_SKIP() << tool << " is not installed: the test needs it";
    if (!x11_test::WindowManager::installed()) GTEST_SKIP() << "openbox or xprop is not installed";
    dir_ = tm_test::fresh_dir("resize-while-drawing");
    image_ = write_image(dir_);
    ASSERT_FALSE(image_.empty()) << "the image could not be written";
    std::string why;
    ASSERT_TRUE(server_.start(&why)) << why;
    ASSERT_TRUE(manager_.start(server_.display(), &why)) << why;
  }
  void TearDown() override {
    manager_.stop();
    server_.stop();
  }

  void start(const char* program, const std::string& file) {
    const std::string path = x11_test::program_beside_tests(program);
    ASSERT_EQ(access(path.c_str(), X_OK), 0) << path << " is not built beside the tests";
    ASSERT_TRUE(run_.start(server_.display(), {path, file}, dir_));
  }
  x11_test::ToolResult xdotool(std::vector<std::string> args) { return x11_test::xdotool(server_.display(), args); }
  // Whether the window's title comes to hold `part`, and not `absent`, within the bound.
  bool title_shows(const std::string& window, const std::string& part, const std::string& absent = {},
                   int bound_ms = 60000) {
    const auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
    while (Clock::now() < until) {
      const std::string title = xdotool({"getwindowname", window}).out;
      if (title.find(part) != std::string::npos && (absent.empty() || title.find(absent) == std::string::npos))
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  // Sizes from small to nearly the whole screen and back, each one different from the
  // last: every resize changes the page of the pass under way.
  void resize_many_times(const std::string& window) {
    for (int i = 0; i < kResizes; ++i) {
      const int width = 420 + (i * 263) % 760;
      const int height = 320 + (i * 197) % 560;
      xdotool({"windowsize", window, std::to_string(width), std::to_string(height)});
      std::this_thread::sleep_for(std::chrono::milliseconds(kResizeGapMs));
    }
  }

  std::string dir_, image_;
  x11_test::XServer server_;
  x11_test::WindowManager manager_;
  x11_test::RunningProgram run_;
};

TEST_F(ResizeWhileDrawing, TheMapProgramEndsCleanlyAfterResizesDuringRedraws) {
  const std::string map = write_map(dir_, "large.ppm");
  start("tarmelo", map);
  const std::string main = x11_test::window_named(server_.display(), "^Tarmelo");
  ASSERT_FALSE(main.empty()) << "the main window did not come";
  // The map's system in the title: the image is loaded and its first pass is posted.
  ASSERT_TRUE(title_shows(main, "WGS 84")) << "the map was not loaded";
  resize_many_times(main);
  xdotool({"windowactivate", "--sync", main});
  xdotool({"key", "ctrl+q"});
  EXPECT_EQ(run_.wait_exit(60000), 0) << "the map program did not end normally (66: a ThreadSanitizer report)";
}

TEST_F(ResizeWhileDrawing, TheViewerEndsCleanlyAfterResizesDuringRedraws) {
  start("sorbinel", image_);
  const std::string main = x11_test::window_named(server_.display(), "large\\.ppm", 60000);
  ASSERT_FALSE(main.empty()) << "the main window did not come";
  // "Loading ..." leaves the title once the image is read and its first pass posted.
  ASSERT_TRUE(title_shows(main, "large.ppm", "Loading")) << "the image was not loaded";
  resize_many_times(main);
  xdotool({"windowactivate", "--sync", main});
  xdotool({"key", "Escape"});
  EXPECT_EQ(run_.wait_exit(60000), 0) << "the viewer did not end normally (66: a ThreadSanitizer report)";
}

}  // namespace
