// The JPEG reader on bad input: header values out of range, over-subscribed Huffman
// tables, coded values too large for the precision, runs past the block, a second
// frame that does not match the first, hostile sizes, restart counts beyond 65535,
// every truncation and seeded byte flips. Each ends with result 0, gblerr clear and the
// lines decoded before the fault kept. Also a long scan of stuffed bytes, read ahead in
// several windows, decodes whole.
#include "raster/jpeg_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "tests/raster/decoder_fixture.h"

namespace {

using raster_test::bytes;

int jpeg_decode(bitmap_t* b) { return jpeg_read(b, nullptr); }

// Entropy-coded bits, most significant first, with 0xFF stuffed and 1s padding the end.
class bit_writer {
 public:
  void put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      byte_ = uint8_t(byte_ << 1 | ((value >> i) & 1));
      if (++count_ == 8) flush();
    }
  }
  void put(const char* bits) {
    for (; *bits; ++bits) put(*bits == '1' ? 1 : 0, 1);
  }
  bytes finish() {
    while (count_ != 0) put(1, 1);
    return out_;
  }

 private:
  void flush() {
    out_.push_back(byte_);
    if (byte_ == 0xFF) out_.push_back(0);
    byte_ = 0;
    count_ = 0;
  }
  bytes out_;
  uint8_t byte_ = 0;
  int count_ = 0;
};

bytes segment(uint8_t marker, const bytes& body) {
  bytes s = {0xFF, marker, uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)};
  s.insert(s.end(), body.begin(), body.end());
  return s;
}

void append(bytes* f, const bytes& part) { f->insert(f->end(), part.begin(), part.end()); }

// A grey image of blocks, every quantisation value 1 (a DC difference d gives samples of
// 128 + d / 8), with one DC and one AC table of two 1-bit codes each: "0" and "1".
struct grey_file {
  uint8_t sof = 0xC0;
  int precision = 8;
  int width = 16, height = 8;
  int components = 1;
  uint8_t sampling = 0x11, tq = 0;
  uint8_t dc_symbols[2] = {0, 0}, ac_symbols[2] = {0x00, 0x00};
  uint8_t table_counts_first = 2;  // codes of length 1 in each table
  uint8_t selector = 1, tables = 0x00, ss = 0, se = 63, approximation = 0;
  uint16_t restart_interval = 0;
  bool eoi = true;

  bytes frame_header() const {
    bytes sof_body = {uint8_t(precision), uint8_t(height >> 8), uint8_t(height),
                      uint8_t(width >> 8), uint8_t(width), uint8_t(components)};
    for (int c = 0; c < components; ++c) sof_body.insert(sof_body.end(), {uint8_t(1 + c), sampling, tq});
    return segment(sof, sof_body);
  }
  bytes scan_header() const {
    return segment(0xDA, {1, selector, tables, ss, se, approximation});
  }
  bytes build(const bytes& data) const {
    bytes f = {0xFF, 0xD8};
    bytes dqt(65, 1);
    dqt[0] = 0;
    append(&f, segment(0xDB, dqt));
    if (restart_interval)
      append(&f, segment(0xDD, {uint8_t(restart_interval >> 8), uint8_t(restart_interval)}));
    append(&f, frame_header());
    for (int cls = 0; cls < 2; ++cls) {
      bytes dht = {uint8_t(cls << 4), table_counts_first};
      dht.resize(17, 0);
      const uint8_t* symbols = cls ? ac_symbols : dc_symbols;
      for (int i = 0; i < table_counts_first && i < 2; ++i) dht.push_back(symbols[i]);
      for (int i = 2; i < table_counts_first; ++i) dht.push_back(0);
      append(&f, segment(0xC4, dht));
    }
    append(&f, scan_header());
    append(&f, data);
    if (eoi) append(&f, {0xFF, 0xD9});
    return f;
  }
};

// Block 0 valid (DC 0, end of block), block 1 as given.
bytes two_blocks(const char* second) {
  bit_writer w;
  w.put("00");
  w.put(second);
  return w.finish();
}

class JpegErrors : public raster_test::DecoderTest {
 protected:
  bitmap_t* run(const bytes& f) {
    bitmap_t* b = nullptr;
    EXPECT_EQ(decode(jpeg_decode, f, &b), 0);
    return b;
  }
  // Sample (x, y) of plane 0, or -1 without a bitmap.
  static int sample(bitmap_t* b, int x, int y) {
    const uint8_t* line = b->lines ? get_img_line_adr(b, y, 0) : nullptr;
    return line ? line[x] : -1;
  }
  static bytes file(const std::string& name) {
    return raster_test::read_bytes(raster_test::fixture("jpeg", name));
  }
};

// Coded values: block 0 is decoded and kept; the fault in block 1 ends the decoding and
// leaves that block 0.
TEST_F(JpegErrors, CodedValuesOutOfRange) {
  struct Case {
    const char* what;
    int precision;
    uint8_t dc1, ac1;
    const char* block1;
    int want0, want1;
  };
  const Case cases[] = {
      {"DC size 12 of an 8-bit file", 8, 12, 0, "1000000000000", 128, 0},
      {"AC size 11 of an 8-bit file", 8, 0, 0x0B, "0100000000000", 128, 0},
      {"run past coefficient 63", 8, 0, 0xF1, "0111111111", 128, 0},
      {"DC size 16 of a 12-bit file", 12, 16, 0, "10000000000000000", 128, 0},
      // Valid in 12-bit files: a DC of 32767, an AC(0, 1) of -16383 (bright on the right).
      {"DC size 15 of a 12-bit file", 12, 15, 0, "11111111111111110", 128, 255},
      {"AC size 14 of a 12-bit file", 12, 0, 0x0E, "01000000000000000", 128, 255},
  };
  for (const Case& c : cases) {
    grey_file g;
    g.sof = c.precision == 12 ? 0xC1 : 0xC0;
    g.precision = c.precision;
    g.dc_symbols[1] = c.dc1;
    g.ac_symbols[1] = c.ac1;
    bitmap_t* b = run(g.build(two_blocks(c.block1)));
    EXPECT_EQ(sample(b, 3, 3), c.want0) << c.what;
    EXPECT_EQ(sample(b, 15, 3), c.want1) << c.what;
  }
}

// A scan several read-ahead windows long, thick with stuffed 0xFF bytes, one of them
// astride the first window's edge (bytes 1023 and 1024 of the data): every block decodes.
// `lead` flat blocks (DC 0) shift the stream until that pair falls there; then DC 15 and
// 0 in turn give samples 130 and 128.
TEST_F(JpegErrors, LongScanOfStuffedBytes) {
  auto stream = [](int lead) {
    bit_writer w;
    for (int i = 0; i < lead; ++i) w.put("0" "0");  // no difference, end of block
    for (int i = 0; i < 2000; ++i) {
      w.put("1" "1111" "111" "0");  // +15, three runs of zeros, end of block
      w.put("1" "0000" "0");        // -15, end of block
    }
    return w.finish();
  };
  int lead = 0;
  bytes data = stream(lead);
  while (lead < 64 && !(data[1023] == 0xFF && data[1024] == 0)) data = stream(++lead);
  ASSERT_LT(lead, 64);
  ASSERT_GT(data.size(), size_t(3 * 1024));
  ASSERT_GT(std::count(data.begin(), data.end(), uint8_t(0xFF)), 200);
  grey_file g;
  g.width = 8 * (lead + 4000);
  g.dc_symbols[1] = 4;     // "1": a difference of four bits
  g.ac_symbols[1] = 0xF0;  // "1": sixteen zeros
  bitmap_t* b = run(g.build(data));
  int wrong = 0;
  for (int i = 0; i < lead + 4000; ++i) {
    const int want = i < lead || (i - lead) % 2 ? 128 : 130;
    for (int y : {0, 7}) wrong += sample(b, 8 * i + (i % 8), y) != want;
  }
  EXPECT_EQ(wrong, 0) << "lead " << lead;
}

// Header values that would index or divide out of range end the decoding: before the
// bitmap exists (no bitmap) or after it (all lines 0).
TEST_F(JpegErrors, HeaderValuesOutOfRange) {
  struct Case {
    const char* what;
    void (*change)(grey_file*);
    int want;  // sample (0, 0): -1 no bitmap
  };
  const Case cases[] = {
      {"H 0", [](grey_file* g) { g->sampling = 0x01; }, -1},
      {"V 0", [](grey_file* g) { g->sampling = 0x10; }, -1},
      {"H 5", [](grey_file* g) { g->sampling = 0x51; }, -1},
      {"Tq 4", [](grey_file* g) { g->tq = 4; }, -1},
      {"no components", [](grey_file* g) { g->components = 0; }, -1},
      {"five components", [](grey_file* g) { g->components = 5; }, -1},
      {"width 0", [](grey_file* g) { g->width = 0; }, -1},
      {"12-bit baseline", [](grey_file* g) { g->precision = 12; }, -1},
      {"Td 4", [](grey_file* g) { g->tables = 0x40; }, 0},
      {"Ta 4", [](grey_file* g) { g->tables = 0x04; }, 0},
      {"Al 14", [](grey_file* g) { g->approximation = 0x0E; }, 0},
      {"Se 64", [](grey_file* g) { g->se = 64; }, 0},
      {"unknown scan component", [](grey_file* g) { g->selector = 9; }, 0},
      {"over-subscribed Huffman table", [](grey_file* g) { g->table_counts_first = 3; }, 0},
      {"progressive DC scan with Se", [](grey_file* g) { g->sof = 0xC2; g->se = 5; }, 0},
      {"progressive AC band backwards", [](grey_file* g) { g->sof = 0xC2; g->ss = 9; g->se = 3; }, 0},
  };
  for (const Case& c : cases) {
    grey_file g;
    c.change(&g);
    bitmap_t* b = run(g.build(two_blocks("00")));
    EXPECT_EQ(sample(b, 0, 0), c.want) << c.what;
    EXPECT_EQ(sample(b, 12, 7), c.want) << c.what;
  }
}

// A second frame header of another size or kind ends the decoding; the first frame's
// lines stay. One of the same kind and size is decoded into the same bitmap.
TEST_F(JpegErrors, SecondFrame) {
  struct Case {
    const char* what;
    uint8_t sof;
    int width;
    int want;
  };
  const Case cases[] = {{"wider", 0xC0, 24, 128}, {"progressive", 0xC2, 16, 128},
                        {"extended", 0xC1, 16, 128}, {"same", 0xC0, 16, 136}};
  for (const Case& c : cases) {
    grey_file first;
    first.eoi = false;
    first.dc_symbols[1] = 1;  // "1": a difference of one bit
    bytes f = first.build(two_blocks("00"));
    bytes dqt(65, 1);  // the second frame's DC step is 64
    dqt[0] = 0;
    dqt[1] = 64;
    append(&f, segment(0xDB, dqt));
    grey_file second;
    second.sof = c.sof;
    second.width = c.width;
    append(&f, second.frame_header());
    append(&f, second.scan_header());
    bit_writer w;  // block 0: DC +1, end of block; block 1: DC +0, end of block
    w.put("110" "00");
    append(&f, w.finish());
    append(&f, {0xFF, 0xD9});
    bitmap_t* b = run(f);
    EXPECT_EQ(+b->width, 16) << c.what;
    EXPECT_EQ(sample(b, 3, 3), c.want) << c.what;
    EXPECT_EQ(sample(b, 12, 3), c.want) << c.what;
  }
}

// A scan header before any frame header ends the decoding with no bitmap.
TEST_F(JpegErrors, ScanBeforeFrame) {
  grey_file g;
  bytes f = {0xFF, 0xD8};
  append(&f, g.scan_header());
  append(&f, {0x00, 0xFF, 0xD9});
  EXPECT_EQ(sample(run(f), 0, 0), -1);
}

// 65535 x 65535 with no coded data ends at once; the progressive frame's coefficients
// would not fit memory, so nothing is allocated at all.
TEST_F(JpegErrors, HostileSize) {
  for (uint8_t sof : {uint8_t(0xC0), uint8_t(0xC2)}) {
    grey_file g;
    g.sof = sof;
    g.width = g.height = 65535;
    g.components = 3;
    g.se = sof == 0xC2 ? 0 : 63;
    bytes f = {0xFF, 0xD8};
    append(&f, g.frame_header());
    append(&f, segment(0xDA, {3, 1, 0, 2, 0, 3, 0, 0, g.se, 0}));
    append(&f, {0xFF, 0xD9});
    bitmap_t* b = run(f);
    if (sof == 0xC2) {
      EXPECT_TRUE(b->lines == nullptr);
    } else if (b->lines) {
      EXPECT_EQ(sample(b, 0, 0), 0);
      EXPECT_EQ(sample(b, 65534, 65534), 0);
    }
  }
}

// More than 65535 restart intervals: the intervals after the 65536th land at the bottom
// of the image, not over the top. One block per interval: DC 0 (128) for the first 65536
// blocks, DC +1 times 64 (136) after them.
TEST_F(JpegErrors, RestartCountBeyond16Bits) {
  grey_file g;
  g.width = 8 * 300;
  g.height = 8 * 220;  // 66000 blocks
  g.restart_interval = 1;
  g.dc_symbols[1] = 1;  // "1": a difference of one bit
  bytes f = g.build({});
  f.resize(f.size() - 2);  // the EOI goes after the data
  // The DC quantisation value becomes 64.
  f[2 + 4 + 1] = 64;
  for (int i = 0; i < 66000; ++i) {
    if (i > 0) append(&f, {0xFF, uint8_t(0xD0 + (i - 1) % 8)});
    bit_writer w;
    w.put(i < 65536 ? "00" : "110");  // DC size 0, or size 1 with bit 1; then end of block
    append(&f, w.finish());
  }
  append(&f, {0xFF, 0xD9});
  bitmap_t* b = run(f);
  ASSERT_EQ(+b->height, 8 * 220);
  EXPECT_EQ(sample(b, 0, 0), 128);
  EXPECT_EQ(sample(b, 2399, 7), 128);
  EXPECT_EQ(sample(b, 0, 8 * 219), 136);
  EXPECT_EQ(sample(b, 2399, 8 * 220 - 1), 136);
  EXPECT_EQ(sample(b, 8 * (65535 % 300), 8 * (65535 / 300)), 128);
  EXPECT_EQ(sample(b, 8 * (65536 % 300), 8 * (65536 / 300)), 136);
}

// A file cut short keeps the lines decoded before the cut; a progressive one, written
// only at its end, keeps none.
TEST_F(JpegErrors, TruncatedKeepsDecodedLines) {
  const bytes whole = file("s11.jpg");
  const bytes want = file("s11.rgb");
  bitmap_t* b = run(bytes(whole.begin(), whole.begin() + long(whole.size() * 3 / 4)));
  const bytes got = raster_test::image_rgb(b);
  ASSERT_EQ(got.size(), want.size());
  int worst = 0;
  for (size_t i = 0; i < 45 * 8 * 3; ++i) worst = std::max(worst, std::abs(got[i] - want[i]));
  EXPECT_LE(worst, 2);
  EXPECT_EQ(got[got.size() - 1], 0);
  const bytes prog = file("progressive.jpg");
  bitmap_t* p = run(bytes(prog.begin(), prog.end() - 2));
  const bytes none = raster_test::image_rgb(p);
  ASSERT_EQ(none.size(), want.size());
  EXPECT_EQ(none, bytes(none.size(), 0));
}

// Every cut and a few hundred seeded byte flips of each kind of file: result 0, gblerr
// clear, nothing read or written out of bounds.
TEST_F(JpegErrors, TruncationAndByteFlips) {
  const char* names[] = {"s22.jpg", "progressive.jpg", "scans_each.jpg", "restart_blocks.jpg",
                         "cmyk_adobe.jpg", "bits12_grey.jpg", "progressive_restart.jpg"};
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  for (const char* name : names) {
    const bytes whole = file(name);
    for (size_t cut = 0; cut < whole.size(); cut += 1 + whole.size() / 97) {
      EXPECT_EQ(decode(jpeg_decode, bytes(whole.begin(), whole.begin() + long(cut))), 0)
          << name << " cut " << cut;
    }
    for (int i = 0; i < 150; ++i) {
      bytes f = whole;
      const int flips = 1 + int(next() % 4);
      for (int k = 0; k < flips; ++k) f[next() % f.size()] ^= uint8_t(1 + next() % 255);
      EXPECT_EQ(decode(jpeg_decode, f), 0) << name << " flip " << i;
    }
  }
}

}  // namespace
