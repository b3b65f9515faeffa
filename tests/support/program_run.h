// Running the map program headless from a test and reading the picture it leaves.
//
// `program_folder` is the folder of the running test program (the programs are built
// beside it). `run_program_headless` runs a program with no display, a home folder of its
// own and "TARMELO_PICTURE" naming the PNG file its frame is written to, with the leak
// check off in the child (what a program leaves unfreed at its exit is not the test's
// concern); the test's own environment is restored afterwards. `read_picture` reads a PNG
// file through the raster library's reader into RGB pixels, row by row (a paletted file
// through its palette); an unreadable file gives an empty picture.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/object.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "raster/png_read.h"
#include "tests/support/run_tool.h"

namespace tm_test {

struct rgb {
  int r = 0, g = 0, b = 0;
  int distance(const rgb& o) const {
    return std::abs(r - o.r) + std::abs(g - o.g) + std::abs(b - o.b);
  }
};

struct picture {
  int width = 0, height = 0;
  std::vector<rgb> pixels;
  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  const rgb& at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

inline picture read_picture(const std::string& path) {
  picture out;
  fileatt_t* file = nullptr;
  file_open(nullptr, nullptr, path.c_str(), &file);
  if (!file) return out;
  bitmap_t* b = nullptr;
  obj_new_registered(CLS_BITMAP, &b);
  if (b) {
    b->file = file;
    b->format = 4;
    b->gamma = -1.0;
    set_graylevel_lut(b);
    if (png_read(b) == 0) {
      out.width = b->width;
      out.height = b->height;
      for (int y = 0; y < b->height; ++y) {
        const uint8_t* line = get_img_line_adr(b, y, 0);
        for (int x = 0; x < b->width; ++x) {
          if (b->planes == 3)
            out.pixels.push_back({line[x], line[b->width + x], line[2 * b->width + x]});
          else
            out.pixels.push_back({b->lut_r[line[x]], b->lut_g[line[x]], b->lut_b[line[x]]});
        }
      }
    }
    free_obj(&b);
  }
  obj_t* f = file;
  free_obj(&f);
  return out;
}

inline std::string program_folder() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  const std::string path = n > 0 ? std::string(buf, size_t(n)) : "";
  return path.substr(0, path.rfind('/') + 1);
}

// Sets or clears one variable of the environment for the lifetime of the object, then
// puts back what was there.
class scoped_env {
 public:
  scoped_env(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
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
  scoped_env(const scoped_env&) = delete;
  scoped_env& operator=(const scoped_env&) = delete;

 private:
  std::string name_, old_;
  bool had_ = false;
};

// Runs `args` (the program first) headless; `cleared` names more variables the child must
// not see. Returns run_tool's status; what the program printed goes to `out`.
inline int run_program_headless(const std::vector<std::string>& args,
                                const std::string& picture_path, const std::string& home,
                                std::string* out,
                                std::initializer_list<const char*> cleared = {},
                                int timeout_ms = 60000) {
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string child_asan =
      (asan && *asan ? std::string(asan) + ":" : std::string()) + "detect_leaks=0";
  scoped_env display("DISPLAY", nullptr);
  scoped_env picture("TARMELO_PICTURE", picture_path.c_str());
  scoped_env home_dir("HOME", home.c_str());
  scoped_env leaks("ASAN_OPTIONS", child_asan.c_str());
  std::vector<std::unique_ptr<scoped_env>> more;
  for (const char* name : cleared) more.push_back(std::make_unique<scoped_env>(name, nullptr));
  return run_tool(args, out, timeout_ms);
}

}  // namespace tm_test
