// The JPEG reader on real files: every sampling, grey, restarts, progressive and
// multi-scan files, RGB, CMYK and YCCK, 12-bit samples and odd sizes against the
// decodings of outside decoders (djpeg -dct float -nosmooth, PIL, GDAL), within 2 per
// sample; the header fields; refused coding processes; fill bytes and foreign APP0
// segments; SPIFF and Exif segments; the default tables.
#include "raster/jpeg_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/config.h"
#include "core/tracelog.h"
#include "tests/raster/decoder_fixture.h"

namespace {

using raster_test::bytes;

int jpeg_decode(bitmap_t* b) { return jpeg_read(b, nullptr); }

std::vector<std::string> jpeg_fixtures() {
  std::vector<std::string> names;
  const std::filesystem::path dir = std::string(TM_FIXTURE_DIR) + "/raster/jpeg";
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".rgb") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string case_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string s = info.param;
  for (char& c : s)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return s;
}

// The largest difference of two equally long sample runs (-1 when their sizes differ).
int max_difference(const bytes& a, const bytes& b) {
  if (a.size() != b.size()) return -1;
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
  return worst;
}

// Offset of the first segment with this marker before the first scan, or npos.
size_t find_segment(const bytes& f, uint8_t marker) {
  size_t i = 2;
  while (i + 4 <= f.size() && f[i] == 0xFF && f[i + 1] != 0xDA) {
    if (f[i + 1] == marker) return i;
    i += 2 + size_t(f[i + 2] << 8 | f[i + 3]);
  }
  return std::string::npos;
}

bytes segment(uint8_t marker, const bytes& body) {
  bytes s = {0xFF, marker, uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)};
  s.insert(s.end(), body.begin(), body.end());
  return s;
}

bytes without_segments(bytes f, uint8_t marker) {
  for (size_t at; (at = find_segment(f, marker)) != std::string::npos;)
    f.erase(f.begin() + long(at), f.begin() + long(at + 2 + size_t(f[at + 2] << 8 | f[at + 3])));
  return f;
}

bytes with_segment_after_soi(bytes f, const bytes& seg) {
  f.insert(f.begin() + 2, seg.begin(), seg.end());
  return f;
}

bytes text_bytes(const char* s, size_t n) { return bytes(s, s + n); }

class JpegPixels : public raster_test::DecoderTest,
                   public ::testing::WithParamInterface<std::string> {};

// Each fixture decodes to the outside decoder's samples, within 2.
TEST_P(JpegPixels, MatchReference) {
  const std::string name = GetParam();
  bitmap_t* b = record_for_path(raster_test::fixture("jpeg", name + ".jpg"), kJpegDecoderCode);
  ASSERT_EQ(jpeg_read(b, nullptr), 0) << name;
  EXPECT_EQ(get_gblerr(), 0);
  const bytes want = raster_test::read_bytes(raster_test::fixture("jpeg", name + ".rgb"));
  ASSERT_EQ(size_t(b->width) * b->height * 3, want.size()) << name;
  const int diff = max_difference(raster_test::image_rgb(b), want);
  EXPECT_GE(diff, 0) << name;
  EXPECT_LE(diff, 2) << name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, JpegPixels, ::testing::ValuesIn(jpeg_fixtures()), case_name);

class JpegReader : public raster_test::DecoderTest {
 protected:
  bitmap_t* load(const std::string& name) {
    bitmap_t* b = record_for_path(raster_test::fixture("jpeg", name), kJpegDecoderCode);
    EXPECT_EQ(jpeg_read(b, nullptr), 0) << name;
    EXPECT_EQ(get_gblerr(), 0);
    return b;
  }
  bitmap_t* load_bytes(const bytes& f) {
    bitmap_t* b = nullptr;
    EXPECT_EQ(decode(jpeg_decode, f, &b), 0);
    return b;
  }
  static bytes file(const std::string& name) {
    return raster_test::read_bytes(raster_test::fixture("jpeg", name));
  }
};

// 1001 x 999, 4:2:0: the rows kept in the reference, on both sides of block and MCU edges.
TEST_F(JpegReader, LargeOddSize) {
  const int rows[] = {0, 7, 8, 15, 16, 17, 100, 333, 500, 501, 777, 990, 991, 992, 997, 998};
  bitmap_t* b = load("size_1001x999.jpg");
  ASSERT_EQ(+b->width, 1001);
  ASSERT_EQ(+b->height, 999);
  const bytes want = file("size_1001x999.rows");
  ASSERT_EQ(want.size(), sizeof rows / sizeof rows[0] * 1001 * 3);
  const bytes all = raster_test::image_rgb(b);
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    const size_t at = size_t(rows[i]) * 1001 * 3;
    const bytes got(all.begin() + long(at), all.begin() + long(at + 1001 * 3));
    const bytes ref(want.begin() + long(i * 1001 * 3), want.begin() + long((i + 1) * 1001 * 3));
    EXPECT_LE(max_difference(got, ref), 2) << "row " << rows[i];
  }
}

// Precision, planes, samples per pixel, pixel kind and grey tables of each kind of file.
TEST_F(JpegReader, HeaderFields) {
  struct Case {
    const char* file;
    int bits, planes, samples, kind;
  };
  const Case cases[] = {
      {"s22.jpg", 8, 3, 3, 3},         {"grey22.jpg", 8, 1, 1, 3},
      {"cmyk_adobe.jpg", 8, 3, 3, 0},  {"bits12_grey.jpg", 12, 1, 1, 3},
      {"bits12_rgb.jpg", 12, 3, 3, 3}, {"rgb.jpg", 8, 3, 3, 0},
  };
  for (const Case& c : cases) {
    bitmap_t* b = load(c.file);
    EXPECT_EQ(+b->bits_per_sample, c.bits) << c.file;
    EXPECT_EQ(+b->planes, c.planes) << c.file;
    EXPECT_EQ(+b->samples_per_pixel, c.samples) << c.file;
    EXPECT_EQ(+b->variant, c.kind) << c.file;
    if (c.planes == 1) {
      for (int i = 0; i < 256; ++i) ASSERT_EQ(b->lut_r[i] + b->lut_g[i] + b->lut_b[i], 3 * i);
    }
  }
}

// JFIF densities: dots per inch as given; dots per centimetre times 2.54, truncated.
TEST_F(JpegReader, JfifResolution) {
  struct Case {
    uint8_t units;
    int x, y, want_x, want_y;
  };
  const Case cases[] = {{1, 300, 150, 300, 150}, {2, 100, 37, 254, 93}, {0, 1, 1, 1, 1}};
  for (const Case& c : cases) {
    bytes f = file("s11.jpg");
    const size_t at = find_segment(f, 0xE0);
    ASSERT_NE(at, std::string::npos);
    f[at + 11] = c.units;
    f[at + 12] = uint8_t(c.x >> 8);
    f[at + 13] = uint8_t(c.x);
    f[at + 14] = uint8_t(c.y >> 8);
    f[at + 15] = uint8_t(c.y);
    bitmap_t* b = load_bytes(f);
    EXPECT_EQ(+b->xres, c.want_x);
    EXPECT_EQ(+b->yres, c.want_y);
  }
}

// Fill bytes 0xFF before markers, between segments and before the restart markers of
// the coded data, change nothing.
TEST_F(JpegReader, FillBytesBeforeMarkers) {
  const std::string name = "restart_blocks";
  const bytes plain = file(name + ".jpg");
  bytes filled(plain.begin(), plain.begin() + 2);
  size_t i = 2;
  while (i + 4 <= plain.size() && plain[i + 1] != 0xDA) {  // segments before the scan
    const size_t end = i + 2 + size_t(plain[i + 2] << 8 | plain[i + 3]);
    filled.insert(filled.end(), {0xFF, 0xFF, 0xFF});
    filled.insert(filled.end(), plain.begin() + long(i), plain.begin() + long(end));
    i = end;
  }
  filled.insert(filled.end(), {0xFF, 0xFF});
  for (; i < plain.size(); ++i) {  // the scan: before each restart marker and EOI
    if (i > 0 && plain[i] == 0xFF && i + 1 < plain.size() && plain[i + 1] >= 0xD0 &&
        plain[i + 1] <= 0xD9)
      filled.insert(filled.end(), {0xFF, 0xFF});
    filled.push_back(plain[i]);
  }
  ASSERT_GT(filled.size(), plain.size() + 30);
  const bytes want = file(name + ".rgb");
  EXPECT_LE(max_difference(raster_test::image_rgb(load_bytes(filled)), want), 2);
}

// A first APP0 that is neither JFIF nor JFXX (the "AVI1" of motion-JPEG frames) is
// skipped; so is a frame without Huffman tables, which uses the typical ones.
TEST_F(JpegReader, ForeignApp0AndDefaultHuffmanTables) {
  const bytes want = file("s22.rgb");
  bytes f = without_segments(file("s22.jpg"), 0xE0);
  f = with_segment_after_soi(f, segment(0xE0, text_bytes("AVI1\0\0\0\0\0\0\0\0", 12)));
  EXPECT_LE(max_difference(raster_test::image_rgb(load_bytes(f)), want), 2);
  EXPECT_LE(max_difference(raster_test::image_rgb(load_bytes(without_segments(f, 0xC4))), want), 2);
}

// Without DQT the Annex K tables apply: a file whose tables are those decodes the same
// with and without its DQT segments.
TEST_F(JpegReader, DefaultQuantisationTables) {
  static const uint8_t kLuma[64] = {
      16, 11, 12, 14, 12, 10, 16, 14, 13, 14, 18, 17, 16, 19, 24, 40, 26, 24, 22, 22, 24,
      49, 35, 37, 29, 40, 58, 51, 61, 60, 57, 51, 56, 55, 64, 72, 92, 78, 64, 68, 87, 69,
      55, 56, 80, 109, 81, 87, 95, 98, 103, 104, 103, 62, 77, 113, 121, 112, 100, 120, 92,
      101, 103, 99};
  static const uint8_t kChroma[64] = {
      17, 18, 18, 24, 21, 24, 47, 26, 26, 47, 99, 66, 56, 66, 99, 99, 99, 99, 99, 99, 99,
      99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
      99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
  bytes body = {0x00};
  body.insert(body.end(), kLuma, kLuma + 64);
  body.push_back(0x01);
  body.insert(body.end(), kChroma, kChroma + 64);
  const bytes bare = without_segments(file("s22.jpg"), 0xDB);
  const bytes with_k = with_segment_after_soi(bare, segment(0xDB, body));
  const bytes a = raster_test::image_rgb(load_bytes(with_k));
  const bytes b = raster_test::image_rgb(load_bytes(bare));
  ASSERT_EQ(a.size(), size_t(45 * 37 * 3));
  EXPECT_EQ(a, b);
}

// SPIFF: pixel kind 4, the resolutions of the header, and no colour conversion: the
// planes hold Y, Cb, Cr as decoded, as an Adobe "RGB" file of the same data does.
TEST_F(JpegReader, SpiffHeader) {
  bytes spiff = text_bytes("SPIFF\0", 6);
  const uint8_t rest[24] = {1, 0, 0, 3, 0, 0, 0, 37, 0, 0, 0, 45, 3, 8, 0, 1,
                            0, 0, 0, 72, 0, 0, 0, 96};
  spiff.insert(spiff.end(), rest, rest + 24);
  const bytes base = without_segments(file("s11.jpg"), 0xE0);
  bitmap_t* s = load_bytes(with_segment_after_soi(base, segment(0xE8, spiff)));
  EXPECT_EQ(+s->variant, 4);
  EXPECT_EQ(+s->yres, 72);
  EXPECT_EQ(+s->xres, 96);
  bytes adobe = text_bytes("Adobe\0\x64\0\0\0\0\0", 12);
  bitmap_t* a = load_bytes(with_segment_after_soi(base, segment(0xEE, adobe)));
  const bytes raw = raster_test::image_rgb(s);
  EXPECT_EQ(raw, raster_test::image_rgb(a));
  EXPECT_GT(max_difference(raw, file("s11.rgb")), 20);
  // An APP8 that is not SPIFF ends the decoding before any frame: no bitmap.
  bitmap_t* other = load_bytes(with_segment_after_soi(base, segment(0xE8, text_bytes("OTHER\0", 6))));
  EXPECT_TRUE(other->lines == nullptr);
}

// An Exif APP1 makes the pixel kind 27; the image decodes as before.
TEST_F(JpegReader, ExifSegment) {
  bytes exif = text_bytes("Exif\0\0II*\0\x08\0\0\0\0\0\0\0\0\0", 20);
  const bytes f = with_segment_after_soi(without_segments(file("s11.jpg"), 0xE0), segment(0xE1, exif));
  bitmap_t* b = load_bytes(f);
  EXPECT_EQ(+b->variant, 27);
  EXPECT_LE(max_difference(raster_test::image_rgb(b), file("s11.rgb")), 2);
  bitmap_t* empty = load_bytes(with_segment_after_soi(file("s11.jpg"), segment(0xE1, {})));
  EXPECT_EQ(+empty->variant, 3);
}

class JpegRefused : public raster_test::DecoderTest {
 protected:
  void SetUp() override {
    DecoderTest::SetUp();
    log_dir_ = tm_test::fresh_dir("jlog");
    config_set("LOG_DIR", log_dir_.c_str());
    config_set("LOGERROR", "1");
    log_init("TARM");
  }
  static std::string trace_log() {
    std::ifstream in(log_path(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string log_dir_;
};

// cjpeg -arithmetic: the trace-log line names the file, the read returns 0, no bitmap.
TEST_F(JpegRefused, ArithmeticFile) {
  const std::string path = raster_test::fixture("jpeg", "arithmetic.jpg");
  bitmap_t* b = record_for_path(path, kJpegDecoderCode);
  EXPECT_EQ(jpeg_read(b, nullptr), 0);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_TRUE(b->lines == nullptr);
  EXPECT_EQ(+b->width, 0);
  EXPECT_NE(trace_log().find("image " + path + " : JPEG Extended Sequential DCT Arithmetic non traite"),
            std::string::npos)
      << trace_log();
}

// Every refused frame kind writes its own line and leaves no bitmap.
TEST_F(JpegRefused, EveryRefusedKind) {
  struct Case {
    uint8_t marker;
    const char* text;
  };
  const Case cases[] = {
      {0xC3, "JPEG Lossless Huffman"},
      {0xC5, "JPEG Differential Sequential DCT Huffman"},
      {0xC6, "JPEG Differential Progressive DCT Huffman"},
      {0xC7, "JPEG Differential lossless Huffman"},
      {0xC9, "JPEG Extended Sequential DCT Arithmetic"},
      {0xCA, "JPEG Progressive DCT Arithmetic"},
      {0xCB, "JPEG Lossless Sequential DCT Arithmetic"},
      {0xCD, "JPEG Differential Sequential DCT Arithmetic"},
      {0xCE, "JPEG Differential Progressive DCT Arithmetic"},
      {0xCF, "JPEG Differential Lossless DCT Arithmetic"},
  };
  for (const Case& c : cases) {
    bytes f = {0xFF, 0xD8};
    const bytes sof = segment(c.marker, {8, 0, 16, 0, 16, 1, 1, 0x11, 0});
    f.insert(f.end(), sof.begin(), sof.end());
    f.insert(f.end(), {0xFF, 0xD9});
    bitmap_t* b = nullptr;
    EXPECT_EQ(decode(jpeg_decode, f, &b), 0);
    EXPECT_TRUE(b->lines == nullptr) << c.text;
    EXPECT_NE(trace_log().find(std::string(c.text) + " non traite"), std::string::npos) << c.text;
  }
}

// A code that no table holds: the trace-log line names the kind of table, the decoding
// ends there (nothing written) and the read still returns 0.
TEST_F(JpegRefused, MissingHuffmanCode) {
  bytes f = raster_test::read_bytes(raster_test::fixture("jpeg", "s11.jpg"));
  size_t sos = 2;
  while (f[sos + 1] != 0xDA) sos += 2 + size_t(f[sos + 2] << 8 | f[sos + 3]);
  f[sos + 6] = uint8_t(0x20 | (f[sos + 6] & 15));  // DC table 2, never defined
  bitmap_t* b = nullptr;
  EXPECT_EQ(decode(jpeg_decode, f, &b), 0);
  EXPECT_EQ(raster_test::image_rgb(b), bytes(45 * 37 * 3, 0));
  EXPECT_NE(trace_log().find("CODE HUFF DC NON TROUV"), std::string::npos) << trace_log();
}

}  // namespace
