// A whole headless run of the diffusion program, as a separate process: it loads a GPS
// file given with -load, shows it, ends by itself once its commands are done and leaves
// the picture of its window as a PNG file. The program is the one built beside the
// test program; without it the test is skipped.
//
// The run sends its STOP markers to the fixed loopback destinations (ports 7551 and
// 7552), hence the suite's prefix: it shares the lock of the tests that bind them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/paths.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace {

std::string program_beside_tests() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string self(buf, size_t(n));
  return self.substr(0, self.find_last_of('/') + 1) + "quellix";
}

// Width and height of a PNG file from its header; false when it is none.
bool png_size(const std::string& path, uint32_t* w, uint32_t* h) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[24] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
  static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (int i = 0; i < 8; ++i)
    if (head[i] != sig[i]) return false;
  *w = uint32_t(head[16]) << 24 | uint32_t(head[17]) << 16 | uint32_t(head[18]) << 8 | head[19];
  *h = uint32_t(head[20]) << 24 | uint32_t(head[21]) << 16 | uint32_t(head[22]) << 8 | head[23];
  return true;
}

// Sets an environment variable for the scope, restoring what was there.
struct scoped_env {
  scoped_env(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~scoped_env() {
    if (had_)
      setenv(name_.c_str(), old_.c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  std::string name_, old_;
  bool had_ = false;
};

TEST(Ports7551QuellixRun, HeadlessRunLeavesThePictureOfItsWindow) {
  const std::string program = program_beside_tests();
  if (program.empty() || !file_exists(program.c_str())) GTEST_SKIP() << "no program " << program;
  const std::string picture = tm_test::fresh_dir("quellix-run") + "window.png";
  scoped_env display("DISPLAY", nullptr);
  scoped_env target("QUELLIX_PICTURE", picture.c_str());
  // The process ends without freeing the tables it read at start (as every run does).
  scoped_env leaks("ASAN_OPTIONS", "detect_leaks=0");
  std::string out;
  const int code = tm_test::run_tool({program, "-load", TM_SOURCE_DIR "/data/samples/boucle.gpx"}, &out, 120000);
  ASSERT_EQ(code, 0) << out;
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(png_size(picture, &w, &h)) << picture;
  // The whole window: the 536 x 472 client area with its caption, menu bar and frame.
  EXPECT_GE(w, 536u);
  EXPECT_LT(w, 536u + 40u);
  EXPECT_GE(h, 472u + 20u);
  EXPECT_LT(h, 472u + 120u);
}

}  // namespace
