// The picture compressor (page images, window pictures): whatever goes in comes out of
// a Deflate decoder unchanged, however the input is cut into pieces, and blank pages
// shrink to almost nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/sys/deflate_block.h"
#include "platform/sys/deflate_writer.h"
#include "tests/platform/print_pdf.h"

namespace {

std::vector<uint8_t> compress(const std::vector<uint8_t>& data, size_t piece) {
  std::vector<uint8_t> out;
  plat::DeflateWriter w([&](const uint8_t* b, size_t n) {
    out.insert(out.end(), b, b + n);
    return true;
  });
  for (size_t at = 0; at < data.size(); at += piece) EXPECT_TRUE(w.write(data.data() + at, std::min(piece, data.size() - at)));
  EXPECT_TRUE(w.finish());
  return out;
}

std::vector<uint8_t> bytes_of(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(DeflateWriter, RoundTripsAnyInput) {
  std::mt19937 rng(7);
  std::vector<uint8_t> noise(100000), runs, rows, far;
  for (uint8_t& b : noise) b = uint8_t(rng());
  // Runs of one value of every length around the longest match.
  for (int len = 1; len < 600; len += 7) runs.insert(runs.end(), size_t(len), uint8_t(len));
  // Page-like rows: white with a coloured band, more than two windows long.
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 900; ++x) {
      bool band = x >= 200 + y && x < 400 + y;
      for (uint8_t c : {uint8_t(255), uint8_t(band ? 0 : 255), uint8_t(band ? 0 : 255)}) rows.push_back(c);
    }
  // A string repeated at distances near the window's end.
  std::vector<uint8_t> word = bytes_of("a string worth repeating far away;");
  for (int k = 0; k < 4; ++k) {
    far.insert(far.end(), word.begin(), word.end());
    for (int i = 0; i < 32768 - int(word.size()) - 1 + k; ++i) far.push_back(uint8_t(rng()));
  }
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
  };
  const Case cases[] = {{"empty", {}},        {"one byte", {42}},     {"two bytes", {1, 2}},
                        {"text", bytes_of("to be or not to be, that is the question; to be or not")},
                        {"noise", noise},     {"runs", runs},         {"page rows", rows},
                        {"far matches", far}};
  for (const Case& c : cases) {
    for (size_t piece : {size_t(1) << 20, size_t(1), size_t(2700), size_t(65536)}) {
      if (piece == 1 && c.data.size() > 20000) continue;  // byte by byte only for the short ones
      SCOPED_TRACE(testing::Message() << c.what << ", pieces of " << piece);
      std::vector<uint8_t> z = compress(c.data, piece);
      std::vector<uint8_t> back;
      print_test::Inflate inflate(z.data(), z.size());
      ASSERT_TRUE(inflate.zlib(&back)) << inflate.error;
      EXPECT_EQ(inflate.used(), z.size());
      EXPECT_TRUE(back == c.data);
    }
  }
}

TEST(DeflateWriter, BlankPageShrinks) {
  std::vector<uint8_t> white(size_t(2480) * 3 * 400, 255);  // 400 rows of an A4 page at 300 dpi
  std::vector<uint8_t> z = compress(white, 2480 * 3);
  EXPECT_LT(z.size(), white.size() / 100);
}

// The codes of a dynamic block: every counted symbol has a code within the limit, and
// the code is complete (its Kraft sum is exactly one), even for counts whose plain
// Huffman tree would be far deeper than the limit (Fibonacci counts) and for alphabets
// with fewer than two counted symbols.
TEST(DeflateWriter, CodesAreCompleteWithinTheLengthLimit) {
  std::vector<uint32_t> fibonacci(30);
  for (size_t i = 0; i < fibonacci.size(); ++i) fibonacci[i] = i < 2 ? 1 : fibonacci[i - 1] + fibonacci[i - 2];
  std::vector<uint32_t> skewed_literals(286, 0);
  for (size_t i = 0; i < 30; ++i) skewed_literals[i * 9] = fibonacci[i];
  struct Case {
    const char* what;
    std::vector<uint32_t> counts;
    int limit;
  };
  const Case cases[] = {
      {"Fibonacci distances", fibonacci, 15},
      {"Fibonacci literals, spread", skewed_literals, 15},
      {"Fibonacci code lengths", std::vector<uint32_t>(fibonacci.begin(), fibonacci.begin() + 19), 7},
      {"all equal", std::vector<uint32_t>(286, 5), 15},
      {"one counted", {0, 0, 7, 0}, 15},
      {"none counted", std::vector<uint32_t>(30, 0), 15},
      {"two counted", {0, 1000000, 0, 1}, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    plat::deflate_detail::HuffmanCode code;
    plat::deflate_detail::build_code(c.counts.data(), int(c.counts.size()), c.limit, &code);
    uint64_t kraft = 0;  // in units of 2^-15
    std::vector<std::pair<int, int>> codes;
    for (size_t s = 0; s < c.counts.size(); ++s) {
      const int len = code.length[s];
      if (c.counts[s]) {
        EXPECT_GT(len, 0) << s;
      }
      EXPECT_LE(len, c.limit) << s;
      if (len) {
        kraft += uint64_t(1) << (15 - len);
        codes.push_back({len, code.bits[s]});
      }
    }
    EXPECT_EQ(kraft, uint64_t(1) << 15);
    std::sort(codes.begin(), codes.end());
    EXPECT_TRUE(std::adjacent_find(codes.begin(), codes.end()) == codes.end()) << "two symbols share a code";
  }
}

TEST(DeflateWriter, FailingSinkStopsTheEncoder) {
  int calls = 0;
  plat::DeflateWriter w([&](const uint8_t*, size_t) {
    ++calls;
    return false;
  });
  std::mt19937 rng(3);
  std::vector<uint8_t> noise(300000);
  for (uint8_t& b : noise) b = uint8_t(rng());
  bool ok = w.write(noise.data(), noise.size());
  ok = w.write(noise.data(), noise.size()) && ok;
  EXPECT_FALSE(ok && w.finish());
  EXPECT_EQ(calls, 1);
}

}  // namespace
