// The fixture of the buffered reader's tests: a fresh object store with stand-in file
// objects, an empty open-file table, and helpers that make disk files of given bytes
// in the sandbox.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/reader.h"
#include "tests/support/file_stub.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace tm_test {

// Bytes 0, 1, 2 ... wrapping at 251 (a prime, so that no buffer size lines up with it).
inline std::string pattern_bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

inline std::string bytes_of(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// Reads everything left of the current file byte by byte.
inline std::string read_rest_by_bytes() {
  std::string out;
  while (!rd_at_end()) out.push_back(static_cast<char>(rd_read_byte()));
  return out;
}

class ReaderFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    rd_close_all();
    reset_object_store();
    install_file_stub();
    dir_ = fresh_dir("reader");
  }

  void TearDown() override {
    rd_close_all();
    set_gblerr(0);  // objects are not freed while an error is pending
    free_stub_files();
  }

  // A disk file holding `bytes`, and its file object.
  obj_t* disk_file(const std::string& bytes, const std::string& name = "") {
    const std::string path = dir_ + (name.empty() ? "f" + std::to_string(++count_) : name);
    write_file(path, bytes);
    return stub_file(path.c_str());
  }

  static std::string read_rest_by_bytes() { return tm_test::read_rest_by_bytes(); }

  std::string dir_;
  int count_ = 0;
};

}  // namespace tm_test
