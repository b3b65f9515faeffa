// The fixture of the line-store tests: a fresh object store with the stand-in file
// objects, a fresh line store, and a temporary-files folder of the test's own inside
// the sandbox ("<folder>/s_" is the swap prefix). The memory budget comes from a
// probe: `limit_` minus the bytes the line store holds, so that a test decides
// exactly when lines must be evicted.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "tests/support/file_stub.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace tm_test {

class LineStoreFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_object_store();
    install_file_stub();
    line_store_reset();
    get_line_store_hooks() = line_store_hooks{};
    set_program_name("lstest");
    swap_dir_ = fresh_dir("swap");
    config_temp_dir_set(swap_dir_.c_str(), "s_");
    prefix_ = swap_dir_ + "s_";
    limit_ = 1e12;
    line_store_set_budget_probe(&budget_probe);
  }

  void TearDown() override {
    set_gblerr(0);
    for (filemobj_t*& s : stores_) free_obj(&s);
    stores_.clear();
    free_stub_files();
    line_store_reset();
    get_line_store_hooks() = line_store_hooks{};
    config_reset();
    set_program_name(nullptr);
  }

  filemobj_t* make_store(int64_t lines, int32_t line_size, int mode = 0, obj_t* owner = nullptr,
                         obj_t* file = nullptr) {
    filemobj_t* s = nullptr;
    EXPECT_EQ(filemobj_create(owner, file, lines, line_size, mode, &s), 0);
    if (s) stores_.push_back(s);
    return s;
  }

  void free_store(filemobj_t* s) {
    for (filemobj_t*& held : stores_)
      if (held == s) {
        free_obj(&held);
        held = nullptr;
      }
    std::erase(stores_, nullptr);
  }

  // The budget the line store sees from now on.
  void set_limit(double bytes) {
    limit_ = bytes;
    line_store_set_budget_probe(&budget_probe);  // forgets the reading made before
  }

  // Fills every line of an image store with a pattern of its line number.
  static void fill_lines(filemobj_t* s, int64_t lines, int32_t size, int seed = 0) {
    for (int64_t i = 0; i < lines; ++i) {
      uint8_t* line = filemobj_get_line(s, i, 0);
      ASSERT_NE(line, nullptr);
      for (int32_t k = 0; k < size; ++k) line[k] = pattern(i, k, seed);
    }
  }

  static bool lines_intact(filemobj_t* s, int64_t lines, int32_t size, int seed = 0) {
    for (int64_t i = 0; i < lines; ++i) {
      const uint8_t* line = filemobj_get_line(s, i, 1);
      if (!line) return false;
      for (int32_t k = 0; k < size; ++k)
        if (line[k] != pattern(i, k, seed)) return false;
    }
    return true;
  }

  static uint8_t pattern(int64_t line, int32_t k, int seed) {
    return static_cast<uint8_t>(line * 31 + k * 7 + seed);
  }

  static std::string stream_bytes(int64_t n, int seed = 0) {
    std::string s(size_t(n), '\0');
    for (int64_t i = 0; i < n; ++i) s[size_t(i)] = char(i * 13 + i / 251 + seed);
    return s;
  }

  // The whole data of a byte stream, read through filemobj_read_ptr.
  static std::string read_all(filemobj_t* s) {
    std::string out;
    const int64_t size = filemobj_data_size(s);
    while (int64_t(out.size()) < size) {
      int64_t n = size;
      const uint8_t* p = filemobj_read_ptr(s, int64_t(out.size()), &n);
      if (!p || n <= 0) break;
      out.append(reinterpret_cast<const char*>(p), size_t(n));
    }
    return out;
  }

  std::string swap_path(const filemobj_t* s, int f) const {
    return prefix_ + std::to_string(s->id) + "_" + std::to_string(f);
  }

  static int64_t file_size(const std::string& path) {
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    return ec ? -1 : int64_t(n);
  }

  static std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static double budget_probe() { return limit_ - double(line_store_held_bytes()); }

  std::string swap_dir_;
  std::string prefix_;
  std::vector<filemobj_t*> stores_;
  static inline double limit_ = 1e12;
};

}  // namespace tm_test
