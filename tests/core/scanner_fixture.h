// The fixture of the scanner tests: a fresh object store with stand-in file objects,
// and texts made the reader's current file from memory-held files cut into lines of
// several sizes (so that line ends and give-backs fall across the reader's refills).
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/error.h"
#include "core/reader.h"
#include "tests/support/file_stub.h"
#include "tests/support/object_env.h"

namespace tm_test {

// Line sizes of the memory-held files: one buffer for everything, and small lines.
inline constexpr int32_t kLineSizes[] = {32768, 16, 3};

class ScannerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_object_store();
    install_file_stub();
  }
  void TearDown() override {
    set_gblerr(0);  // objects are never freed while an error is pending
    rd_close_all();
    free_stub_files();
  }
  // Makes `text` the reader's current file; returns its size, the usual budget.
  int64_t open_text(const std::string& text, int32_t line_size = 32768) {
    rd_close_all();
    obj_t* file = stub_memory_file(text.data(), static_cast<int64_t>(text.size()), line_size);
    EXPECT_EQ(rd_open(file, 1, 1), 0);
    set_gblerr(0);
    return static_cast<int64_t>(text.size());
  }
};

// A buffer of exactly `size` bytes, filled with '#' to show what was written.
inline std::unique_ptr<char[]> exact_buffer(size_t size) {
  auto buffer = std::make_unique<char[]>(size);
  std::memset(buffer.get(), '#', size);
  return buffer;
}

}  // namespace tm_test
