// The Group 4 decoder on its own: strips compressed by libtiff and PIL (every run-length
// code of both colours, runs past 2560, vertical and pass modes, fill orders 1 and 2)
// against the pixels they were made from; rows written bit by bit for the modes and the
// faults (negative runs, runs past the row, unknown codes, EOFB, endless empty runs);
// every truncation and flipped bytes of real strips. The output buffer is always of the
// exact size, so that the sanitizer sees any write past it.
#include "raster/tiff_g4.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/raster/decoder_fixture.h"

namespace {

using raster_test::bytes;

struct g4_case {
  std::string name;
  int width = 0, rows = 0, fill_order = 1;
};

void PrintTo(const g4_case& c, std::ostream* os) { *os << c.name; }

std::vector<g4_case> g4_cases() {
  std::vector<g4_case> out;
  std::ifstream in(raster_test::fixture("g4", "cases.txt"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    g4_case c;
    s >> c.name >> c.width >> c.rows >> c.fill_order;
    out.push_back(c);
  }
  return out;
}

// The pixels of a P4 PBM, one byte each (1 black).
bytes pbm_pixels(const std::string& path, int* width, int* height) {
  const bytes f = raster_test::read_bytes(path);
  int w = 0, h = 0, used = 0;
  if (std::sscanf(reinterpret_cast<const char*>(f.data()), "P4 %d %d%n", &w, &h, &used) != 2)
    return {};
  const size_t start = size_t(used) + 1;
  const size_t stride = size_t(w + 7) / 8;
  if (f.size() < start + stride * size_t(h)) return {};
  bytes px(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      px[size_t(y) * size_t(w) + size_t(x)] =
          (f[start + size_t(y) * stride + size_t(x / 8)] >> (7 - x % 8)) & 1;
  *width = w;
  *height = h;
  return px;
}

// The first row that differs, for the message.
int first_bad_row(const bytes& a, const bytes& b, int width) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i]) return int(i / size_t(width));
  return -1;
}

class G4Fixtures : public ::testing::TestWithParam<g4_case> {};

TEST_P(G4Fixtures, DecodeToTheImageTheyWereMadeFrom) {
  const g4_case& c = GetParam();
  const bytes strip = raster_test::read_bytes(raster_test::fixture("g4", c.name + ".g4"));
  int w = 0, h = 0;
  const bytes want = pbm_pixels(raster_test::fixture("g4", c.name + ".pbm"), &w, &h);
  ASSERT_EQ(w, c.width);
  ASSERT_EQ(h, c.rows);
  bytes got(size_t(c.width) * size_t(c.rows), 7);
  ASSERT_EQ(tiff_g4_decode(strip.data(), strip.size(), c.width, c.rows, c.fill_order,
                           got.data()),
            0);
  EXPECT_TRUE(got == want) << "first bad row " << first_bad_row(got, want, c.width);
}

INSTANTIATE_TEST_SUITE_P(Strips, G4Fixtures, ::testing::ValuesIn(g4_cases()),
                         [](const ::testing::TestParamInfo<g4_case>& info) {
                           return info.param.name;
                         });

// Every prefix of a real strip: no write past the rows; cut before half the data, the
// strip cannot hold all its rows and is refused.
TEST(G4Damage, EveryTruncationIsRefusedOrDecodedWithinTheRows) {
  for (const char* name : {"drawn", "random", "makeup", "terminating", "drawn_lsb"}) {
    for (const g4_case& c : g4_cases()) {
      if (c.name != name) continue;
      const bytes strip = raster_test::read_bytes(raster_test::fixture("g4", c.name + ".g4"));
      ASSERT_FALSE(strip.empty());
      for (size_t cut = 0; cut < strip.size(); ++cut) {
        const bytes part(strip.begin(), strip.begin() + long(cut));
        bytes out(size_t(c.width) * size_t(c.rows));
        const int rc =
            tiff_g4_decode(part.data(), part.size(), c.width, c.rows, c.fill_order, out.data());
        if (cut < strip.size() / 2) {
          EXPECT_EQ(rc, 14) << name << " cut at " << cut;
        } else {
          EXPECT_TRUE(rc == 0 || rc == 14) << name << " cut at " << cut;
        }
      }
    }
  }
}

// Each byte inverted in turn: decoded or refused, never past the rows.
TEST(G4Damage, FlippedBytesAreRefusedOrDecodedWithinTheRows) {
  for (const char* name : {"random", "drawn", "ladder", "makeup"}) {
    for (const g4_case& c : g4_cases()) {
      if (c.name != name) continue;
      const bytes strip = raster_test::read_bytes(raster_test::fixture("g4", c.name + ".g4"));
      int refused = 0;
      for (size_t i = 0; i < strip.size(); ++i) {
        bytes bad = strip;
        bad[i] ^= 0xFF;
        bytes out(size_t(c.width) * size_t(c.rows));
        const int rc =
            tiff_g4_decode(bad.data(), bad.size(), c.width, c.rows, c.fill_order, out.data());
        EXPECT_TRUE(rc == 0 || rc == 14) << name << " byte " << i;
        if (rc == 14) ++refused;
        for (uint8_t v : out) ASSERT_LE(v, 1) << name << " byte " << i;
      }
      EXPECT_GT(refused, 0) << name;
    }
  }
}

// ---- Rows written bit by bit ----------------------------------------------------------
// Mode codes and runs used below.
constexpr const char* kPass = "0001";
constexpr const char* kHoriz = "001";
constexpr const char* kV0 = "1";
constexpr const char* kVR1 = "011";
constexpr const char* kVL1 = "010";
constexpr const char* kVR2 = "000011";
constexpr const char* kVL2 = "000010";
constexpr const char* kVR3 = "0000011";
constexpr const char* kVL3 = "0000010";
constexpr const char* kEol = "000000000001";
constexpr const char* kW0 = "00110101";
constexpr const char* kW1 = "000111";
constexpr const char* kW2 = "0111";
constexpr const char* kW3 = "1000";
constexpr const char* kW10 = "00111";
constexpr const char* kB0 = "0000110111";
constexpr const char* kB1 = "010";
constexpr const char* kB2 = "11";
constexpr const char* kB3 = "10";
constexpr const char* kB4 = "011";
constexpr const char* kB7 = "00011";

// Bits given as text (spaces ignored), packed most significant first, zeros after.
bytes bits(const std::string& text, bool lsb_first = false) {
  bytes out;
  int n = 0;
  for (char ch : text) {
    if (ch != '0' && ch != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (ch == '1') out.back() |= uint8_t(lsb_first ? 1 << (n % 8) : 0x80 >> (n % 8));
    ++n;
  }
  return out;
}

std::string cat(std::initializer_list<const char*> parts) {
  std::string s;
  for (const char* p : parts) s += p;
  return s;
}

std::string row_text(const bytes& px, int width, int row) {
  std::string s;
  for (int x = 0; x < width; ++x) s += char('0' + px[size_t(row) * size_t(width) + size_t(x)]);
  return s;
}

struct coded_case {
  const char* what;
  std::string code;
  int width;
  std::vector<std::string> rows;  // expected rows ("" when refused)
  int rc;
};

std::vector<coded_case> coded_cases() {
  return {
      // Row 1 in horizontal mode; row 2 copies it with V0 at each change.
      {"horizontal then V0", cat({kHoriz, kW2, kB3, kV0, kV0, kV0, kV0}), 8,
       {"00111000", "00111000"}, 0},
      // Row 1 [2, 5); row 2 moves both edges: VR1 -> 3, VL1 -> 4, then V0 to the end.
      {"VR1 VL1", cat({kHoriz, kW2, kB3, kV0, kVR1, kVL1, kV0}), 8,
       {"00111000", "00010000"}, 0},
      // Row 2: VL2 -> 0, VR2 from b1 = 5 -> 7.
      {"VL2 VR2", cat({kHoriz, kW2, kB3, kV0, kVL2, kVR2, kV0}), 8,
       {"00111000", "11111110"}, 0},
      // Row 1 [2, 4); row 2 passes b1 b2 in white, then white 1 black 2 at 5.
      {"pass keeps the colour", cat({kHoriz, kW2, kB2, kV0, kPass, kHoriz, kW1, kB2, kV0}), 8,
       {"00110000", "00000110"}, 0},
      // A line that starts black: white run 0.
      {"black from the first pixel", cat({kHoriz, kW0, kB3, kV0}), 5, {"11100"}, 0},
      // EOFB after the first row: the others stay white.
      {"EOFB ends", cat({kHoriz, kW1, kB7, kEol, kEol}), 8,
       {"01111111", "00000000", "00000000"}, 0},
      {"lone EOL", cat({kHoriz, kW1, kB7, kEol, "1011"}), 8, {"", ""}, 14},
      // Row 1 [1, 2); row 2 V0 -> 1, then VL3 from b1 = 2 gives -1.
      {"negative run", cat({kHoriz, kW1, kB1, kV0, kV0, kVL3}), 8, {"", ""}, 14},
      // VL1 from b1 = 8 on the first row puts a1 at 7; VR1 from b1 = 8 at 9.
      {"VR1 past the row", cat({kVR1}), 8, {""}, 14},
      {"white run past the row", cat({kHoriz, kW10, kB0}), 8, {""}, 14},
      {"black run past the row", cat({kHoriz, kW3, kB7}), 8, {""}, 14},
      {"unknown run code", cat({kHoriz, "0000000000000"}), 8, {""}, 14},
      {"uncompressed mode", cat({"0000001111"}), 8, {""}, 14},
      {"rows missing", cat({kHoriz, kW1, kB7}), 8, {"", ""}, 14},
  };
}

TEST(G4Codes, ModesAndFaults) {
  for (const coded_case& c : coded_cases()) {
    for (bool lsb : {false, true}) {
      const bytes data = bits(c.code, lsb);
      const int rows = int(c.rows.size());
      bytes out(size_t(c.width) * size_t(rows));
      EXPECT_EQ(tiff_g4_decode(data.data(), data.size(), c.width, rows, lsb ? 2 : 1,
                               out.data()),
                c.rc)
          << c.what;
      if (c.rc != 0) continue;
      for (int r = 0; r < rows; ++r) EXPECT_EQ(row_text(out, c.width, r), c.rows[r]) << c.what;
    }
  }
}

TEST(G4Codes, VerticalModesThreeColumnsAway) {
  // Row 1 [3, 7); row 2: VL3 -> 0, VR3 -> 10: black from 0 to 10 on a row of 12.
  const std::string code = cat({kHoriz, kW3, kB4, kV0, kVL3, kVR3, kV0});
  const bytes data = bits(code);
  bytes out(24);
  ASSERT_EQ(tiff_g4_decode(data.data(), data.size(), 12, 2, 1, out.data()), 0);
  EXPECT_EQ(row_text(out, 12, 0), "000111100000");
  EXPECT_EQ(row_text(out, 12, 1), "111111111100");
}

// Empty runs make no progress along the row: their number is bounded, not endless.
TEST(G4Codes, EndlessEmptyRunsAreRefused) {
  std::string code;
  for (int i = 0; i < 200; ++i) code += cat({kHoriz, kW0, kB0});
  const bytes data = bits(code);
  bytes out(4);
  EXPECT_EQ(tiff_g4_decode(data.data(), data.size(), 4, 1, 1, out.data()), 14);
}

TEST(G4Codes, SizesOutsideTheirRange) {
  const bytes data = bits(cat({kV0}));
  bytes out(8);
  EXPECT_EQ(tiff_g4_decode(data.data(), data.size(), 0, 1, 1, out.data()), 14);
  EXPECT_EQ(tiff_g4_decode(data.data(), data.size(), 8, -1, 1, out.data()), 14);
  EXPECT_EQ(tiff_g4_decode(data.data(), data.size(), 8, 0, 1, out.data()), 0);
  EXPECT_EQ(tiff_g4_decode(nullptr, 0, 8, 1, 1, out.data()), 14);  // no data for the row
}

}  // namespace
