// The TIFF reader: every fixture (PIL, tiffcp, tiffset, ImageMagick) against PIL's
// pixels, decoded whole from memory and line by line on demand from disk; pages,
// reduced subfiles and orientations; the header fields; refused variants with code 3;
// damaged and hostile files (truncations, flipped bytes, circular directory chains,
// counts of 2^32-1, LZW tables run full, huge sizes without data) end with their code.
#include "raster/tiff_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "core/obj_list.h"
#include "core/reader.h"
#include "raster/raster_limits.h"
#include "raster/tiff_g4.h"
#include "raster/tiff_state.h"
#include "tests/raster/image_load_fixture.h"
#include "tests/raster/tiff_builder.h"

namespace {

using raster_test::bytes;
using tiff_test::entry;
using tiff_test::kDataOffset;

std::string fixture(const std::string& name) { return raster_test::fixture("tiff", name); }

std::vector<std::string> lines_of(const std::string& path) {
  std::vector<std::string> out;
  std::ifstream in(path);
  for (std::string s; std::getline(in, s);)
    if (!s.empty()) out.push_back(s);
  return out;
}

std::string stem(const std::string& name) { return name.substr(0, name.rfind('.')); }

// Fixtures that have a reference decoding.
std::vector<std::string> decodable() {
  std::vector<std::string> out;
  const std::filesystem::path dir = fixture("");
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (e.path().extension() == ".tif" && std::ifstream(fixture(stem(n) + ".rgb")).good())
      out.push_back(n);
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool group4_available() {
  uint8_t out[8] = {};
  const uint8_t data[2] = {0x80, 0};  // one V0 code: an all-white row
  return tiff_g4_decode(data, 2, 8, 1, 1, out) != ERR_UNKNOWN_FORMAT;
}

bool is_group4(const std::string& name) { return name.find("g4") != std::string::npos; }

// The pixels of one plane-wise image as RGB, every line read through image_line.
bytes rgb_through_image_line(bitmap_t* b) {
  bytes out;
  for (int y = 0; y < b->height; ++y) {
    std::vector<const uint8_t*> planes;
    for (int p = 0; p < b->planes; ++p) planes.push_back(image_line(b, y, p));
    for (const uint8_t* p : planes)
      if (!p) return {};
    for (int x = 0; x < b->width; ++x) {
      if (b->planes == 3) {
        for (int c = 0; c < 3; ++c) out.push_back(planes[size_t(c)][x]);
      } else {
        const uint8_t v = planes[0][x];
        out.push_back(b->lut_r[v]);
        out.push_back(b->lut_g[v]);
        out.push_back(b->lut_b[v]);
      }
    }
  }
  return out;
}

class TiffTest : public raster_test::ImageLoadTest {
 protected:
  // A load through the dispatcher from memory (every line decoded); the pages in order.
  std::vector<bitmap_t*> load_bytes(const bytes& data, int* rc) {
    return pages_of(load_list(memory_image_file(data, 3), rc));
  }
  // A load from disk (lines decoded on demand).
  std::vector<bitmap_t*> load_path(const std::string& path, int* rc) {
    return pages_of(load_list(image_file(path, 3), rc));
  }
  container_t* load_list(obj_t* file, int* rc) {
    container_t* list = tm_test::empty_list();
    lists_.push_back(list);
    int status = 0;
    *rc = image_load(file, list, nullptr, kImageFirstLoad, &status, 0);
    EXPECT_EQ(get_gblerr(), 0);
    return list;
  }
  static std::vector<bitmap_t*> pages_of(container_t* list) {
    std::vector<bitmap_t*> pages;
    for (int i = 0; i < obj_list_count(list); ++i) {
      obj_t* o = obj_list_get(list, i, static_cast<obj_t**>(nullptr));
      if (o && o->cls == CLS_BITMAP) pages.push_back(static_cast<bitmap_t*>(o));
    }
    std::sort(pages.begin(), pages.end(),
              [](bitmap_t* a, bitmap_t* b) { return a->frame_number < b->frame_number; });
    return pages;
  }
  // Result of a whole decode of the bytes.
  // Its pages and the in-memory file are freed at once: a test decoding every cut of
  // a file holds one copy at a time (the process's size is part of the memory budget).
  int decode_code(const bytes& data) {
    int rc = -1;
    fileatt_t* f = memory_image_file(data, 3);
    container_t* list = load_list(f, &rc);
    rd_close_all();
    lists_.pop_back();
    tm_test::free_list(list);
    tm_test::free_one(f);
    return rc;
  }
  // The only page of a file built here, decoded whole.
  bitmap_t* one_page(const bytes& data) {
    int rc = -1;
    auto pages = load_bytes(data, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(pages.size(), 1u);
    return pages.empty() ? nullptr : pages[0];
  }
  static bytes want(const std::string& ref) {
    return raster_test::read_bytes(fixture(ref + ".rgb"));
  }
};

// ---- Fixtures against PIL ------------------------------------------------------------

class TiffPixels : public TiffTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(TiffPixels, WholeDecodeMatchesPil) {
  const std::string name = GetParam();
  if (is_group4(name) && !group4_available()) GTEST_SKIP() << "no Group 4 decoder yet";
  int rc = -1;
  auto pages = load_bytes(raster_test::read_bytes(fixture(name)), &rc);
  ASSERT_EQ(rc, 0) << name;
  ASSERT_FALSE(pages.empty());
  const bytes ref = want(stem(name));
  ASSERT_EQ(size_t(pages[0]->width) * pages[0]->height * 3, ref.size()) << name;
  EXPECT_EQ(raster_test::image_rgb(pages[0]), ref) << name;
}

// A load from disk decodes nothing yet; each line read is decoded on demand (its strip
// or tile row) and equals the whole decode.
TEST_P(TiffPixels, OnDemandLinesMatchPil) {
  const std::string name = GetParam();
  if (is_group4(name) && !group4_available()) GTEST_SKIP() << "no Group 4 decoder yet";
  int rc = -1;
  auto pages = load_path(fixture(name), &rc);
  ASSERT_EQ(rc, 0) << name;
  ASSERT_FALSE(pages.empty());
  const tiff_state* st = tiff_state_of(pages[0]);
  ASSERT_NE(st, nullptr);
  if (tiff_turn_direction(st) == 0) {  // turned pages are decoded at load
    for (int y = 0; y < pages[0]->height; ++y)
      ASSERT_FALSE(bitmap_line_loaded(pages[0], y)) << name << " line " << y;
  }
  const bytes ref = want(stem(name));
  EXPECT_EQ(rgb_through_image_line(pages[0]), ref) << name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TiffPixels, ::testing::ValuesIn(decodable()),
                         raster_test::case_name);

// Every page of a multi-page file, numbered from 1; the reduced subfile is skipped.
TEST_F(TiffTest, PagesInFileOrder) {
  for (const char* name : {"pil_pages", "cp_reduced_first"}) {
    const auto refs = lines_of(fixture(std::string(name) + ".pages"));
    for (bool from_disk : {false, true}) {
      int rc = -1;
      auto pages =
          from_disk ? load_path(fixture(std::string(name) + ".tif"), &rc)
                    : load_bytes(raster_test::read_bytes(fixture(std::string(name) + ".tif")), &rc);
      ASSERT_EQ(rc, 0) << name;
      ASSERT_EQ(pages.size(), refs.size()) << name;
      for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(+pages[i]->frame_number, int(i + 1)) << name;
        EXPECT_EQ(rgb_through_image_line(pages[i]), want(refs[i])) << name << " page " << i + 1;
      }
    }
  }
  int rc = -1;
  auto single = load_bytes(raster_test::read_bytes(fixture("pil_rgb_lzw.tif")), &rc);
  ASSERT_EQ(single.size(), 1u);
  EXPECT_EQ(+single[0]->frame_number, 0);
}

// A line asked for decodes the strip holding it and no other; rows stored bottom-up
// (orientation 4) find their strip from the bottom.
TEST_F(TiffTest, OnDemandDecodesOneStrip) {
  int rc = -1;
  auto pages = load_path(fixture("cp_grey_lzw_pred_rows3.tif"), &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_NE(image_line(pages[0], 10, 0), nullptr);
  for (int y = 0; y < pages[0]->height; ++y)
    EXPECT_EQ(bitmap_line_loaded(pages[0], y) != 0, y >= 9 && y <= 11) << y;

  const bytes file = tiff_test::build_file(
      false, {tiff_test::page(1, 5, 8, 1, 1, 1, {10, 11, 12, 13, 14},
                              {{274, 3, {4}},
                               {278, 4, {2}},
                               {273, 4, {kDataOffset, kDataOffset + 2, kDataOffset + 4}},
                               {279, 4, {2, 2, 1}}})});
  const std::string path = tm_test::fresh_dir("tstrip") + "bottom_up.tif";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  pages = load_path(path, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(pages.size(), 1u);
  const uint8_t* top = image_line(pages[0], 0, 0);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top[0], 14);
  EXPECT_FALSE(bitmap_line_loaded(pages[0], 2));
  EXPECT_EQ(image_line(pages[0], 3, 0)[0], 11);
  EXPECT_EQ(image_line(pages[0], 4, 0)[0], 10);
}

// Open file handles of the process.
int open_handles() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// A page decoded on demand keeps its file open for its life: its lines come back after
// the file is gone from its folder and the reader's files are closed, and the file is
// closed with the page. Beyond the files kept open at once, pages read through the
// reader as before and decode alike.
TEST_F(TiffTest, OnDemandPagesKeepTheirFileOpen) {
  const std::string dir = tm_test::fresh_dir("tkeep");
  const std::string name = "cp_grey_lzw_pred_rows3";
  const bytes ref = want(name);
  const int before = open_handles();
  int rc = -1;
  {
    const std::string path = dir + "gone.tif";
    std::filesystem::copy_file(fixture(name + ".tif"), path);
    auto pages = load_path(path, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(pages.size(), 1u);
    rd_close_all();
    std::filesystem::remove(path);
    EXPECT_EQ(open_handles(), before + 1);
    EXPECT_EQ(rgb_through_image_line(pages[0]), ref);
    obj_list_free_elements(lists_.back());
    EXPECT_EQ(open_handles(), before);
  }
  std::vector<bitmap_t*> all;
  const int many = kTiffKeptFiles + 6;
  for (int i = 0; i < many; ++i) {
    const std::string path = dir + "copy" + std::to_string(i) + ".tif";
    std::filesystem::copy_file(fixture(name + ".tif"), path);
    auto pages = load_path(path, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(pages.size(), 1u);
    all.push_back(pages[0]);
  }
  rd_close_all();
  EXPECT_EQ(open_handles(), before + kTiffKeptFiles);
  for (int i = 0; i < many; ++i) EXPECT_EQ(rgb_through_image_line(all[size_t(i)]), ref) << i;
  rd_close_all();
  for (size_t i = lists_.size() - size_t(many); i < lists_.size(); ++i)
    obj_list_free_elements(lists_[i]);
  EXPECT_EQ(open_handles(), before);
}

// Lines of a page decoded on demand by another thread (as the display does) while this
// one loads files through the buffered reader: the page reads only the file it keeps.
TEST_F(TiffTest, OnDemandLinesBesideAnotherLoad) {
  int rc = -1;
  auto pages = load_path(fixture("cp_rgb_tiles_lzw_pred.tif"), &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(pages.size(), 1u);
  bitmap_t* page = pages[0];
  std::atomic<int> failures{0};
  std::thread lines([&] {
    for (int round = 0; round < 3; ++round)
      for (int y = 0; y < page->height; ++y) {
        bitmap_t* p = page;
        if (tiff_read(&p, nullptr, y) != 0) ++failures;
      }
  });
  for (int i = 0; i < 4; ++i) {
    int other_rc = -1;
    auto other = load_path(fixture("pil_rgb_lzw.tif"), &other_rc);
    EXPECT_EQ(other_rc, 0);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(rgb_through_image_line(other[0]), want("pil_rgb_lzw"));
  }
  lines.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(rgb_through_image_line(page), want("cp_rgb_tiles_lzw_pred"));
}

// A line dropped from a page is decoded again into the same store: from a page decoded on
// demand, and in embedded mode from a turned page (decoded whole and turned again).
TEST_F(TiffTest, DroppedLinesComeBack) {
  struct Case {
    const char* name;
    bool embedded;
  };
  for (const Case& c : {Case{"cp_rgb_tiles_lzw_pred", false}, Case{"set_orient6", true},
                        Case{"set_orient7_tiles", true}}) {
    set_embedded(c.embedded);
    int rc = -1;
    auto pages = load_path(fixture(std::string(c.name) + ".tif"), &rc);
    ASSERT_EQ(rc, 0) << c.name;
    ASSERT_EQ(pages.size(), 1u);
    bitmap_t* b = pages[0];
    const bytes ref = want(c.name);
    ASSERT_EQ(rgb_through_image_line(b), ref) << c.name;
    filemobj_t* store = b->lines;
    for (int y : {0, b->height / 2, b->height - 1}) filemobj_release_line(b->lines, y);
    EXPECT_FALSE(bitmap_line_loaded(b, 0));
    EXPECT_EQ(rgb_through_image_line(b), ref) << c.name;
    EXPECT_EQ(val(b->lines), store);
    set_embedded(false);
  }
}

// Byte counts: uncompressed rows without them take what the rows need; compressed data
// without them, and strips whose counts claim more than the file, are bad data.
TEST_F(TiffTest, ByteCounts) {
  bitmap_t* b = one_page(tiff_test::build_file(
      false, {tiff_test::page(2, 2, 8, 1, 1, 1, {1, 2, 3, 4}, {{279, 0, {}}})}));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(raster_test::image_rgb(b)[9], 4);
  EXPECT_EQ(decode_code(tiff_test::build_file(
                false, {tiff_test::page(4, 1, 8, 1, 1, 5, tiff_test::lzw_literals({1, 2, 3, 4}),
                                        {{279, 0, {}}})})),
            ERR_BAD_FILE);
  // 64 tiles across, each claiming the whole file from the same offset.
  const bytes tile = tiff_test::lzw_literals(bytes(256, 7));
  const std::vector<uint32_t> offsets(64, kDataOffset), counts(64, 1u << 30);
  EXPECT_EQ(decode_code(tiff_test::build_file(false, {tiff_test::page(1024, 16, 8, 1, 1, 5, tile,
                                                                      {{273, 0, {}},
                                                                       {278, 0, {}},
                                                                       {279, 0, {}},
                                                                       {322, 3, {16}},
                                                                       {323, 3, {16}},
                                                                       {324, 4, offsets},
                                                                       {325, 4, counts}})})),
            ERR_BAD_FILE);
}

// Orientation 6 turns a 37 x 21 page into 21 x 37; the others keep or swap the sides.
TEST_F(TiffTest, OrientationSizes) {
  for (int k = 1; k <= 8; ++k) {
    int rc = -1;
    auto pages = load_path(fixture("set_orient" + std::to_string(k) + ".tif"), &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(+pages[0]->width, k >= 5 ? 21 : 37) << k;
    EXPECT_EQ(+pages[0]->height, k >= 5 ? 37 : 21) << k;
  }
}

// The refused compressions and variants (Deflate 8 and 32946, JPEG, Group 3, ...) are
// refused when the directory is read: 3 and no page, whether every line is asked for or
// none yet (lines on demand), so that no page is placed whose lines would all fail. LZW
// with fill order 2 is refused with 14.
TEST_F(TiffTest, RefusedVariantsAreRefusedWithTheirDirectory) {
  std::vector<std::pair<std::string, int>> cases;
  for (const std::string& name : lines_of(fixture("refused.txt")))
    cases.emplace_back(name, ERR_UNKNOWN_FORMAT);
  for (const std::string& name : lines_of(fixture("refused_fill2.txt")))
    cases.emplace_back(name, ERR_BAD_FILE);
  ASSERT_GE(cases.size(), 9u);
  for (const auto& [name, code] : cases) {
    int rc = -1;
    EXPECT_TRUE(load_bytes(raster_test::read_bytes(fixture(name + ".tif")), &rc).empty()) << name;
    EXPECT_EQ(rc, code) << name;
    rc = -1;
    EXPECT_TRUE(load_path(fixture(name + ".tif"), &rc).empty()) << name;
    EXPECT_EQ(rc, code) << name;
  }
}

// ---- Header fields -------------------------------------------------------------------

TEST_F(TiffTest, HeaderFields) {
  // ResolutionUnit 3 (centimetre) with 100/1 gives 254 dots per inch.
  const bytes cm = tiff_test::build_file(
      false, {tiff_test::page(2, 1, 8, 1, 1, 1, {0, 0},
                              {{282, 5, {100, 1}}, {283, 5, {50, 1}}, {296, 3, {3}}})});
  bitmap_t* b = one_page(cm);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(+b->xres, 254);
  EXPECT_EQ(+b->yres, 127);
  EXPECT_EQ(+b->variant, 8);
  EXPECT_EQ(+b->bits_per_sample, 8);
  // ColorMap: 65535 gives 255, 32768 gives 128, 0 gives 0.
  std::vector<uint32_t> map(48, 0);
  map[1] = 65535;
  map[16 + 1] = 32768;
  map[32 + 1] = 257;
  const bytes pal =
      tiff_test::build_file(true, {tiff_test::page(2, 1, 4, 1, 3, 1, {0x10}, {{320, 3, map}})});
  b = one_page(pal);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{255, 128, 1, 0, 0, 0}));
  // A 4-bit BlackIsZero page maps 15 to 255 (step 17); WhiteIsZero inverts.
  b = one_page(tiff_test::build_file(false, {tiff_test::page(3, 1, 4, 1, 1, 1, {0xF1, 0x80})}));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{255, 255, 255, 17, 17, 17, 136, 136, 136}));
  b = one_page(tiff_test::build_file(false, {tiff_test::page(3, 1, 1, 1, 0, 1, {0x40})}));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{255, 255, 255, 0, 0, 0, 255, 255, 255}));
  // First two bytes neither "II" nor "MM": big-endian.
  bytes odd = tiff_test::build_file(true, {tiff_test::page(1, 1, 8, 1, 1, 1, {77})});
  odd[0] = 'X';
  odd[1] = 'Y';
  b = one_page(odd);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{77, 77, 77}));
}

// PackBits: a count of -128 is skipped; runs are cut at the row's end.
TEST_F(TiffTest, PackBitsRuns) {
  // Row 0: -128, two literals, a run of three 30 cut after two; row 1: a run of two 40,
  // -128, two single literals.
  const bytes data = {0x80, 0x01, 10, 20, 0xFE, 30, 0xFF, 40, 0x80, 0x00, 50, 0x00, 60};
  bitmap_t* b =
      one_page(tiff_test::build_file(false, {tiff_test::page(4, 2, 8, 1, 1, 32773, data)}));
  ASSERT_NE(b, nullptr);
  const bytes rgb = raster_test::image_rgb(b);
  const uint8_t grey[8] = {10, 20, 30, 30, 40, 40, 50, 60};
  ASSERT_EQ(rgb.size(), 24u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(rgb[size_t(3 * i)], grey[i]) << i;
  // Data that ends inside a row is bad data.
  EXPECT_EQ(
      decode_code(tiff_test::build_file(
          false, {tiff_test::page(4, 2, 8, 1, 1, 32773, bytes(data.begin(), data.end() - 2))})),
      ERR_BAD_FILE);
}

// The predictor is undone per sample in file order before unpacking: 16-bit samples of
// either byte order, RGB with WhiteIsZero-like maps and mirrored rows included.
TEST_F(TiffTest, PredictorInFileOrder) {
  // 3 x 1 grey, 16 bits, differences 0x1000, 0x0101, 0x0202: values 0x1000, 0x1101, 0x1303.
  for (bool be : {false, true}) {
    bytes raw;
    for (uint16_t d : {0x1000, 0x0101, 0x0202}) {
      raw.push_back(uint8_t(be ? d >> 8 : d));
      raw.push_back(uint8_t(be ? d : d >> 8));
    }
    bitmap_t* b = one_page(tiff_test::build_file(
        be, {tiff_test::page(3, 1, 16, 1, 1, 5, tiff_test::lzw_literals(raw), {{317, 3, {2}}})}));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(+b->planes, 1);
    EXPECT_EQ(raster_test::image_rgb(b),
              (bytes{0x10, 0x10, 0x10, 0x11, 0x11, 0x11, 0x13, 0x13, 0x13}))
        << be;
  }
  // WhiteIsZero 8-bit, mirrored (orientation 2): the sum is taken before the map.
  bitmap_t* b = one_page(tiff_test::build_file(
      false, {tiff_test::page(3, 1, 8, 1, 0, 5, tiff_test::lzw_literals({10, 5, 5}),
                              {{317, 3, {2}}, {274, 3, {2}}})}));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{235, 235, 235, 240, 240, 240, 245, 245, 245}));
  // CMYK: each of the four samples differenced on its own.
  b = one_page(tiff_test::build_file(
      false,
      {tiff_test::page(2, 1, 8, 4, 5, 5, tiff_test::lzw_literals({10, 20, 30, 5, 1, 2, 3, 4}),
                       {{317, 3, {2}}})}));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{240, 230, 220, 235, 224, 213}));
}

// ---- Refusals built here --------------------------------------------------------------

TEST_F(TiffTest, RefusedBuiltVariants) {
  const bytes lzw = tiff_test::lzw_literals({1, 2, 3, 4});
  struct Case {
    const char* what;
    bytes file;
  };
  const Case cases[] = {
      {"floating-point predictor",
       tiff_test::build_file(false, {tiff_test::page(4, 1, 8, 1, 1, 5, lzw, {{317, 3, {3}}})})},
      {"subsampled YCbCr",
       tiff_test::build_file(false,
                             {tiff_test::page(2, 2, 8, 3, 6, 1, bytes(8, 0), {{530, 3, {2, 2}}})})},
      {"YCbCr without subsampling tag (2 x 2)",
       tiff_test::build_file(false, {tiff_test::page(2, 2, 8, 3, 6, 1, bytes(12, 0))})},
      {"Deflate", tiff_test::build_file(false, {tiff_test::page(4, 1, 8, 1, 1, 8, lzw)})},
      {"Deflate (old code)",
       tiff_test::build_file(false, {tiff_test::page(4, 1, 8, 1, 1, 32946, lzw)})},
      {"modified Huffman", tiff_test::build_file(false, {tiff_test::page(4, 1, 1, 1, 0, 2, lzw)})},
      {"unknown compression",
       tiff_test::build_file(false, {tiff_test::page(4, 1, 8, 1, 1, 99, lzw)})},
      {"0-bit samples", tiff_test::build_file(false, {tiff_test::page(4, 1, 0, 1, 1, 1, {0})})},
      {"0-bit WhiteIsZero samples",
       tiff_test::build_file(false, {tiff_test::page(4, 1, 0, 1, 0, 1, {0})})},
      {"2-bit samples", tiff_test::build_file(false, {tiff_test::page(4, 1, 2, 1, 1, 1, {0})})},
      {"32-bit samples",
       tiff_test::build_file(false, {tiff_test::page(1, 1, 32, 1, 1, 1, bytes(4, 0))})},
      {"unequal bits per sample",
       tiff_test::build_file(
           false, {tiff_test::page(1, 1, 8, 3, 2, 1, bytes(3, 0), {{258, 3, {8, 8, 16}}})})},
  };
  for (const Case& c : cases) EXPECT_EQ(decode_code(c.file), ERR_UNKNOWN_FORMAT) << c.what;
  // Unsubsampled YCbCr samples are stored as they are.
  bitmap_t* b = one_page(tiff_test::build_file(
      false, {tiff_test::page(1, 1, 8, 3, 6, 1, {9, 8, 7}, {{530, 3, {1, 1}}})}));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(raster_test::image_rgb(b), (bytes{9, 8, 7}));
}

// With no usable page the reader gives the code that discarded the pages.
TEST_F(TiffTest, NoPageLeftGivesTheDiscardingCode) {
  EXPECT_EQ(decode_code(tiff_test::build_file(false, {tiff_test::page(4, 1, 2, 1, 1, 1, {0})})),
            ERR_UNKNOWN_FORMAT);
  EXPECT_EQ(decode_code(tiff_test::build_file(false, {tiff_test::page(0, 1, 8, 1, 1, 1, {0})})),
            ERR_BAD_FILE);
  EXPECT_EQ(decode_code(tiff_test::build_file(
                false, {tiff_test::page(4, 1, 8, 1, 1, 1, {0}, {{262, 3, {7}}})})),
            ERR_BAD_FILE);
  EXPECT_EQ(decode_code({'I', 'I', 43, 0, 8, 0, 0, 0}), ERR_BAD_FILE);
  EXPECT_EQ(decode_code({}), ERR_BAD_FILE);
  int rc = -1;
  load_path("/nonexistent/none.tif", &rc);
  EXPECT_NE(rc, 0);
}

// ---- Damaged and hostile files ----------------------------------------------------------

// A directory chain that comes back to a directory already seen ends there.
TEST_F(TiffTest, CircularChainsEnd) {
  for (size_t back_to : {0u, 1u}) {
    tiff_test::built f = tiff_test::build(
        false, {tiff_test::page(1, 1, 8, 1, 1, 1, {1}), tiff_test::page(1, 1, 8, 1, 1, 1, {2})});
    tiff_test::put_u32(&f.file, f.next_at(1), f.directories[back_to], false);
    int rc = -1;
    auto pages = load_bytes(f.file, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(pages.size(), 2u);
  }
  // A directory whose next offset is itself.
  tiff_test::built f = tiff_test::build(false, {tiff_test::page(1, 1, 8, 1, 1, 1, {1})});
  tiff_test::put_u32(&f.file, f.next_at(0), f.directories[0], false);
  int rc = -1;
  EXPECT_EQ(load_bytes(f.file, &rc).size(), 1u);
  EXPECT_EQ(rc, 0);
}

// Counts of 2^32-1 are refused before anything is allocated; RowsPerStrip 2^32-1 is
// the height.
TEST_F(TiffTest, HugeCounts) {
  const bytes data = {1, 2, 3, 4};
  EXPECT_EQ(decode_code(tiff_test::build_file(
                false, {tiff_test::page(4, 1, 8, 1, 1, 1, data,
                                        {{273, 4, {kDataOffset, 0}, 0xFFFFFFFF}})})),
            ERR_BAD_FILE);
  EXPECT_EQ(decode_code(tiff_test::build_file(
                false, {tiff_test::page(4, 1, 8, 1, 1, 1, data, {{279, 4, {4, 0}, 0xFFFFFFFF}})})),
            ERR_BAD_FILE);
  EXPECT_EQ(
      decode_code(tiff_test::build_file(
          false, {tiff_test::page(4, 1, 8, 1, 1, 1, data, {{320, 3, {0, 0, 0}, 0xFFFFFFFF}})})),
      ERR_BAD_FILE);
  EXPECT_EQ(decode_code(tiff_test::build_file(
                false, {tiff_test::page(4, 1, 8, 1, 1, 1, data, {{258, 3, {8, 8}, 0xFFFFFFFF}})})),
            ERR_BAD_FILE);
  for (int compression : {1, 5}) {
    const bytes strip = compression == 5 ? tiff_test::lzw_literals({5, 6, 7, 8, 9, 10, 11, 12})
                                         : bytes{5, 6, 7, 8, 9, 10, 11, 12};
    bitmap_t* b = one_page(tiff_test::build_file(
        false, {tiff_test::page(4, 2, 8, 1, 1, compression, strip, {{278, 4, {0xFFFFFFFF}}})}));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(raster_test::image_rgb(b)[21], 12);
  }
}

// LZW: a table run full without a clear keeps decoding without growing; a code past
// the next free entry is bad data (14); clears every so often are fine.
TEST_F(TiffTest, LzwTableBounds) {
  bytes pixels(6000);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7 + i / 13);
  for (int clear_every : {0, 1000}) {
    bitmap_t* b = one_page(tiff_test::build_file(
        false,
        {tiff_test::page(100, 60, 8, 1, 1, 5, tiff_test::lzw_literals(pixels, clear_every))}));
    ASSERT_NE(b, nullptr);
    const bytes rgb = raster_test::image_rgb(b);
    ASSERT_EQ(rgb.size(), 18000u);
    bool same = true;
    for (size_t i = 0; i < pixels.size(); ++i) same = same && rgb[3 * i] == pixels[i];
    EXPECT_TRUE(same) << clear_every;
  }
  // Clear, 'A', then code 300 (past the next free entry 258/259).
  const bytes bad = {0x80, 0x10, 0x65, 0x80};
  EXPECT_EQ(decode_code(tiff_test::build_file(false, {tiff_test::page(4, 1, 8, 1, 1, 5, bad)})),
            ERR_BAD_FILE);
  // A flood: each code names the entry being defined, then the longest entry again and
  // again; a few kilobytes decode to megabytes, and only the strip's rows are taken.
  const bytes flood = tiff_test::lzw_flood(2000);
  bitmap_t* f =
      one_page(tiff_test::build_file(false, {tiff_test::page(1000, 1000, 8, 1, 1, 5, flood)}));
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(raster_test::image_rgb(f)[3 * 999999], 0x55);
  EXPECT_EQ(
      decode_code(tiff_test::build_file(false, {tiff_test::page(4000, 4000, 8, 1, 1, 5, flood)})),
      ERR_BAD_FILE);
  // LZW with fill order 2 is bad data.
  EXPECT_EQ(decode_code(tiff_test::build_file(
                false, {tiff_test::page(4, 1, 8, 1, 1, 5, tiff_test::lzw_literals({1, 2, 3, 4}),
                                        {{266, 3, {2}}})})),
            ERR_BAD_FILE);
}

// A TIFF LZW encoder that matches strings (not only literals): each code is written
// with the width the decoder reads it at (its table lags the encoder's by one entry).
// With `clear_when_full` a clear code follows once the table is full; without, the
// full table is used as it is.
bytes lzw_encode(const bytes& in, bool clear_when_full) {
  bytes out;
  uint64_t acc = 0;
  int nbits = 0, width = 9, dec_next = 258, next = 258;
  bool dec_first = true;
  std::map<std::pair<int, int>, int> dict;
  auto emit = [&](int code) {
    acc = acc << width | uint64_t(code);
    nbits += width;
    while (nbits >= 8) {
      out.push_back(uint8_t(acc >> (nbits - 8)));
      nbits -= 8;
    }
    if (code == 256) {
      width = 9;
      dec_next = 258;
      dec_first = true;
      return;
    }
    if (!dec_first && dec_next < 4096) {
      ++dec_next;
      if (dec_next >= (1 << width) - 1 && width < 12) ++width;
    }
    dec_first = false;
  };
  emit(256);
  int w = -1;
  for (uint8_t b : in) {
    if (w < 0) {
      w = b;
      continue;
    }
    const auto found = dict.find({w, b});
    if (found != dict.end()) {
      w = found->second;
      continue;
    }
    emit(w);
    if (next < 4096) dict[{w, b}] = next++;
    if (next == 4096 && clear_when_full) {
      emit(256);
      dict.clear();
      next = 258;
    }
    w = b;
  }
  if (w >= 0) emit(w);
  emit(257);
  if (nbits > 0) out.push_back(uint8_t(acc << (8 - nbits)));
  return out;
}

// Decodes rows of `row` bytes until the data ends; the rows decoded, and the code that
// ended them (0 when `rows` rows were had).
bytes decode_rows(const bytes& coded, size_t row, size_t rows, int* rc) {
  std::unique_ptr<tiff_chunk_source> src(
      tiff_new_chunk_source(kTiffKindLzw, coded.data(), coded.size()));
  bytes out, line(row);
  *rc = 0;
  for (size_t r = 0; r < rows && *rc == 0; ++r) {
    *rc = src->next_row(line.data(), row);
    if (*rc == 0) out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

// The LZW reader's bit buffer and string table: codes at every alignment around the
// width changes (9 to 10 to 11 to 12 bits), strings longer than a row and handed out
// across rows, strings naming the entry being defined, a table full with and without
// clear codes, and data cut short anywhere (rows before the cut intact, then 14).
TEST_F(TiffTest, LzwCodeWidthBoundaries) {
  uint32_t seed = 12345;
  auto noise = [&](size_t n, int spread) {
    bytes b(n);
    for (auto& v : b) {
      seed = seed * 1103515245u + 12345u;
      v = uint8_t((seed >> 16) % unsigned(spread));
    }
    return b;
  };
  struct Case {
    std::string name;
    bytes data;
    size_t row;
    bool clear_when_full;
  };
  std::vector<Case> cases;
  // Literals only: the widths change after 252, 764 and 1788 codes; lengths around them
  // put the change at every bit of a byte and of the 64-bit buffer.
  for (size_t n : {250u, 251u, 252u, 253u, 254u, 255u, 256u, 257u, 258u, 259u, 260u, 261u,
                   762u, 763u, 764u, 765u, 766u, 767u, 1786u, 1787u, 1788u, 1789u, 1790u})
    cases.push_back({"literals" + std::to_string(n), noise(n, 256), 7, false});
  cases.push_back({"few values", noise(60000, 4), 333, false});
  cases.push_back({"few values, clears", noise(60000, 4), 333, true});
  cases.push_back({"wide noise", noise(50000, 256), 1000, false});
  cases.push_back({"wide noise, clears", noise(50000, 256), 1000, true});
  cases.push_back({"one value (defining codes)", bytes(100000, 9), 64, false});
  cases.push_back({"one value, one-byte rows", bytes(5000, 200), 1, true});
  bytes ramp(40000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i / 97 + (i % 5));
  cases.push_back({"ramp, long rows", ramp, 9999, true});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bytes coded = lzw_encode(c.data, c.clear_when_full);
    const size_t rows = c.data.size() / c.row;
    int rc = -1;
    const bytes got = decode_rows(coded, c.row, rows, &rc);
    EXPECT_EQ(rc, 0);
    ASSERT_EQ(got.size(), rows * c.row);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), c.data.begin()));
    // One row more than the data holds: the end code is bad data (rows still wanted).
    if (c.data.size() % c.row == 0) {
      decode_rows(coded, c.row, rows + 1, &rc);
      EXPECT_EQ(rc, ERR_BAD_FILE);
    }
    // Cut short: the rows that come out are the right ones, then 14.
    for (size_t cut : {size_t(0), size_t(1), size_t(2), coded.size() / 3, coded.size() / 2,
                       coded.size() - 3, coded.size() - 2}) {
      if (cut >= coded.size()) continue;
      const bytes part(coded.begin(), coded.begin() + int64_t(cut));
      const bytes some = decode_rows(part, c.row, rows, &rc);
      // Only the end code and the padding may go without losing a row.
      if (cut <= coded.size() / 2) {
        EXPECT_EQ(rc, ERR_BAD_FILE) << cut;
      }
      EXPECT_TRUE(rc == 0 || rc == ERR_BAD_FILE) << cut;
      EXPECT_EQ(some.size() == rows * c.row, rc == 0) << cut;
      EXPECT_TRUE(std::equal(some.begin(), some.end(), c.data.begin())) << cut;
    }
  }
}

// 65535 x 65535 pages without data end fast with 14, whole or on demand, and many such
// directories are held to the budget.
TEST_F(TiffTest, HostileSizesWithoutData) {
  const bytes one =
      tiff_test::build_file(false, {tiff_test::page(65535, 65535, 8, 3, 2, 1, {1, 2})});
  EXPECT_EQ(decode_code(one), ERR_BAD_FILE);
  for (int compression : {5, 32773, 4}) {
    const bytes f = tiff_test::build_file(
        false, {tiff_test::page(65535, 65535, 8, 1, 1, compression, {0x80, 0, 0, 0})});
    const int rc = decode_code(f);
    EXPECT_TRUE(rc == ERR_BAD_FILE || rc == ERR_MEMORY || (compression == 4 && rc == 3)) << rc;
  }
  // From disk: the load keeps the page, its lines fail to decode and come back empty.
  const std::string path = tm_test::fresh_dir("thostile") + "huge.tif";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(one.data()), std::streamsize(one.size()));
  int rc = -1;
  auto pages = load_path(path, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(pages.size(), 1u);
  const uint8_t* line = image_line(pages[0], 65534, 0);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line[0], 0);
  // A chain of many directories each claiming 65535 x 65535.
  std::vector<tiff_test::directory> dirs(300, tiff_test::page(65535, 65535, 8, 3, 2, 1, {1}));
  rc = -1;
  pages = load_bytes(tiff_test::build_file(false, dirs), &rc);
  EXPECT_EQ(rc, ERR_BAD_FILE);
  EXPECT_LE(pages.size(), 128u);
}

// Every truncation of a few fixtures, and bytes flipped at many places, end with a code
// and never read out of bounds.
TEST_F(TiffTest, TruncationsAndFlips) {
  for (const char* name : {"pil_rgb_lzw.tif", "cp_rgb_tiles_lzw_pred.tif", "cp_rgb_none_planar.tif",
                           "pil_pages.tif", "cp_rgb_packbits_mm.tif"}) {
    const bytes full = raster_test::read_bytes(fixture(name));
    for (size_t n = 0; n < full.size(); n += (n < 300 ? 1 : 37)) {
      const int rc = decode_code(bytes(full.begin(), full.begin() + long(n)));
      EXPECT_TRUE(rc == 0 || rc == ERR_BAD_FILE || rc == ERR_UNKNOWN_FORMAT) << name << " " << n;
    }
    uint32_t seed = 12345;
    for (int i = 0; i < 200; ++i) {
      bytes f = full;
      for (int k = 0; k < 3; ++k) {
        seed = seed * 1103515245u + 12345u;
        f[(seed >> 8) % f.size()] ^= uint8_t(1u << (seed >> 4 & 7));
      }
      const int rc = decode_code(f);
      EXPECT_TRUE(rc == 0 || rc == ERR_BAD_FILE || rc == ERR_UNKNOWN_FORMAT || rc == ERR_MEMORY)
          << name << " flip " << i;
    }
  }
}

// The viewer's walk reads the same pages.
TEST_F(TiffTest, ViewerVariantReadsThePages) {
  bitmap_t* b = nullptr;
  obj_new_registered(CLS_BITMAP, &b);
  ASSERT_NE(b, nullptr);
  b->file = image_file(fixture("cp_rgb_tiles_lzw_pred.tif"), 3);
  b->format = 3;
  b->gamma = -1.0;
  set_graylevel_lut(b);
  container_t* list = tm_test::empty_list();
  lists_.push_back(list);
  ASSERT_EQ(tiff_read_viewer(&b, list, kImageFirstLoadInMemory), 0);
  EXPECT_EQ(obj_list_count(list), 1);
  EXPECT_EQ(raster_test::image_rgb(b), want("cp_rgb_tiles_lzw_pred"));
}

}  // namespace
