// The fixture of the Deflate, gzip and ZIP tests: a fresh object store with stand-in
// file objects, the fixture files made by tests/fixtures/deflate/make_fixtures.py, a
// bit writer and canonical codes for hand-made streams, helpers that decode bytes
// held in memory, and a fixture that sets the memory budget.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/inflate.h"
#include "core/line_store.h"
#include "core/paths.h"
#include "core/reader.h"
#include "tests/support/file_stub.h"
#include "tests/support/memory_release.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace tm_test {

inline std::string deflate_fixture_path(const std::string& name) {
  return std::string(TM_FIXTURE_DIR) + "/deflate/" + name;
}

inline std::string read_deflate_fixture(const std::string& name) {
  std::ifstream f(deflate_fixture_path(name), std::ios::binary);
  EXPECT_TRUE(f.good()) << name;
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The whole data of a line store.
inline std::string store_bytes(obj_t* store) {
  std::string out;
  filemobj_t* s = reinterpret_cast<filemobj_t*>(store);
  if (!s) return out;
  const int64_t size = filemobj_data_size(s);
  while (int64_t(out.size()) < size) {
    int64_t count = size - int64_t(out.size());
    const uint8_t* p = filemobj_read_ptr(s, int64_t(out.size()), &count);
    if (!p || count <= 0) break;
    out.append(reinterpret_cast<const char*>(p), size_t(count));
  }
  return out;
}

// Writes a Deflate bit stream: fields least significant bit first, Huffman codes most
// significant bit first.
class bit_writer {
 public:
  void bits(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) put((value >> i) & 1);
  }
  void code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) put((code >> i) & 1);
  }
  // A symbol of the fixed literal/length code (RFC 1951, 3.2.6).
  void fixed_symbol(int s) {
    if (s < 144) code(0x30 + s, 8);
    else if (s < 256) code(0x190 + s - 144, 9);
    else if (s < 280) code(s - 256, 7);
    else code(0xC0 + s - 280, 8);
  }
  void fixed_distance(int d) { code(d, 5); }
  void align() {
    while (used_ != 0) put(0);
  }
  void byte(uint8_t b) { bits(b, 8); }
  const std::string& data() const { return out_; }

 private:
  void put(uint32_t bit) {
    if (used_ == 0) out_.push_back('\0');
    out_.back() = char(uint8_t(out_.back()) | bit << used_);
    used_ = (used_ + 1) & 7;
  }
  std::string out_;
  int used_ = 0;
};

// A stored block of `data` (final or not), byte-aligned.
inline void stored_block(bit_writer& w, const std::string& data, bool final) {
  w.bits(final ? 1 : 0, 1);
  w.bits(0, 2);
  w.align();
  w.bits(uint32_t(data.size()), 16);
  w.bits(~uint32_t(data.size()) & 0xFFFF, 16);
  for (char c : data) w.byte(uint8_t(c));
}

// Canonical codes (RFC 1951, 3.2.2) of a list of code lengths.
struct canonical_code {
  std::vector<uint32_t> code;
  std::vector<int> length;
};

inline canonical_code canonical(const std::vector<int>& lengths) {
  canonical_code c{std::vector<uint32_t>(lengths.size()), lengths};
  int count[16] = {};
  for (int l : lengths) count[l]++;
  count[0] = 0;
  uint32_t next[16] = {};
  uint32_t code = 0;
  for (int l = 1; l < 16; ++l) {
    code = (code + count[l - 1]) << 1;
    next[l] = code;
  }
  for (size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s]) c.code[s] = next[lengths[s]]++;
  return c;
}

// Lengths of `n` symbols, all zero but the ones given.
inline std::vector<int> lengths_of(size_t n, std::initializer_list<std::pair<int, int>> set) {
  std::vector<int> v(n, 0);
  for (auto [symbol, length] : set) v[size_t(symbol)] = length;
  return v;
}

// The header of a dynamic block whose code lengths are written one by one with a
// code-length code of sixteen 4-bit codes (symbols 0-15).
inline void dynamic_header(bit_writer& w, bool final, const std::vector<int>& lit,
                           const std::vector<int>& dist) {
  w.bits(final ? 1 : 0, 1);
  w.bits(2, 2);
  w.bits(uint32_t(lit.size() - 257), 5);
  w.bits(uint32_t(dist.size() - 1), 5);
  w.bits(19 - 4, 4);
  const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  for (int symbol : order) w.bits(symbol < 16 ? 4 : 0, 3);
  for (int l : lit) w.code(uint32_t(l), 4);
  for (int l : dist) w.code(uint32_t(l), 4);
}

inline void put(bit_writer& w, const canonical_code& c, int symbol) {
  w.code(c.code[size_t(symbol)], c.length[size_t(symbol)]);
}

// A raw stream of 'A' and `copies` back-references of 258 bytes, two bits each: it
// decodes to 1 + 258 `copies` bytes, about 1000 times its size.
inline std::string bomb_stream(int copies) {
  bit_writer w;
  const auto lit = lengths_of(286, {{'A', 2}, {256, 2}, {285, 1}});
  dynamic_header(w, true, lit, {1});
  const canonical_code c = canonical(lit);
  put(w, c, 'A');
  for (int i = 0; i < copies; ++i) {
    put(w, c, 285);
    w.code(0, 1);
  }
  put(w, c, 256);
  return w.data();
}

struct inflate_result {
  int rc = -1;
  std::string out;
  int finished = 0;
  int64_t position = 0;  // reader position after decoding
  int gblerr = 0;
};

class InflateFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    rd_close_all();
    reset_object_store();
    install_file_stub();
  }

  void TearDown() override {
    rd_close_all();
    free_stub_files();
    set_gblerr(0);
  }

  // Decodes a raw (or, with `zlib`, a zlib-wrapped) stream held in memory.
  inflate_result inflate_bytes(const std::string& bytes, bool zlib, int64_t limit = 0,
                               uint32_t window = 32768, int64_t max_output = 0) {
    inflate_result r;
    obj_t* input = stub_memory_file(bytes.data(), int64_t(bytes.size()));
    obj_t* output = get_file_ops().new_in_memory();
    inflater_t inf;
    inf.input = input;
    inf.window_size = window;
    inf.output = inf.output_file = output;
    inf.store = reinterpret_cast<filemobj_t*>(file_store_of(output));
    inf.limit = limit;
    inf.max_output = max_output;
    if (zlib) {
      r.rc = zlib_read_header(&inf);
    } else {
      r.rc = rd_open(input, 131072, 1) == 0 ? 0 : -2;
    }
    if (r.rc == 0) r.rc = inflate_blocks(&inf);
    r.gblerr = get_gblerr();
    r.finished = inf.finished;
    r.position = rd_tell();
    r.out = store_bytes(file_store_of(output));
    EXPECT_EQ(inf.produced, int64_t(r.out.size()));
    set_gblerr(0);
    rd_close_all();
    get_file_ops().free_file(output);
    get_file_ops().free_file(input);
    return r;
  }

  // A disk file in the sandbox holding `bytes`, and its file object.
  obj_t* disk_file(const std::string& bytes, const std::string& name) {
    const std::string path = fresh_dir("deflate") + name;
    write_file(path, bytes);
    return stub_file(path.c_str());
  }

  // The file object of a fixture file, copied into the sandbox.
  obj_t* fixture_file(const std::string& name) { return disk_file(read_deflate_fixture(name), name); }
};

// A memory budget of about 100 MiB: a ceiling 100 MiB above what the process already
// holds (sanitizers keep freed memory for a while), whatever ran before.
class InflateBudgetFixture : public InflateFixture {
 protected:
  void SetUp() override {
    InflateFixture::SetUp();
    release_free_memory();
    double status[5] = {};
    get_memory_status(status);
    const int held = int(status[4] / 1048576);
    config_set("MAXMEM", std::to_string(held + 100).c_str());
  }
  void TearDown() override {
    InflateFixture::TearDown();
    config_reset();
  }
};

}  // namespace tm_test
