// The GIF reader: every frame of PIL and ImageMagick animations against ImageMagick's
// coalesced frames laid over white, delays and loop counts against PIL; pixel kinds,
// image numbers and frame records; the white background; palettes that change between
// frames; the LZW table at its limit; frames past the screen edge; plain text; sub-block
// lengths; the second decode; and bad input: truncation, flipped bytes, LZW floods,
// hostile sizes, bad codes, each with its code and nothing completed lost.
#include "raster/gif_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/obj_list.h"
#include "raster/raster_limits.h"
#include "tests/raster/decoder_fixture.h"

namespace {

using raster_test::bytes;

// ---- A small GIF writer ------------------------------------------------------------------
void put16(bytes* b, int v) {
  b->push_back(uint8_t(v));
  b->push_back(uint8_t(v >> 8));
}

// Codes of the given widths, least significant bit first.
bytes pack_codes(const std::vector<std::pair<int, int>>& codes) {
  bytes out;
  uint32_t acc = 0;
  int n = 0;
  for (auto [code, width] : codes) {
    acc |= uint32_t(code) << n;
    n += width;
    while (n >= 8) {
      out.push_back(uint8_t(acc));
      acc >>= 8;
      n -= 8;
    }
  }
  if (n) out.push_back(uint8_t(acc));
  return out;
}

// The simplest valid LZW data: a clear code before every index, so codes never widen.
bytes plain_lzw(const bytes& indices, int min_size) {
  const int clear = 1 << min_size, width = min_size + 1;
  std::vector<std::pair<int, int>> codes;
  for (uint8_t v : indices) {
    codes.push_back({clear, width});
    codes.push_back({v, width});
  }
  codes.push_back({clear + 1, width});
  return pack_codes(codes);
}

bytes sub_blocks(const bytes& data, size_t piece = 255) {
  bytes out;
  for (size_t i = 0; i < data.size(); i += piece) {
    const size_t n = std::min(piece, data.size() - i);
    out.push_back(uint8_t(n));
    out.insert(out.end(), data.begin() + long(i), data.begin() + long(i + n));
  }
  out.push_back(0);
  return out;
}

// Header with a global table of `colours` (padded to a power of two with black).
bytes header(int w, int h, const std::vector<uint32_t>& colours, const char* version = "89a") {
  bytes b = {'G', 'I', 'F'};
  b.insert(b.end(), version, version + 3);
  put16(&b, w);
  put16(&b, h);
  int bits = 1;
  while ((1u << bits) < colours.size()) ++bits;
  b.push_back(colours.empty() ? 0 : uint8_t(0x80 | (bits - 1)));
  b.push_back(0);
  b.push_back(0);
  if (colours.empty()) return b;
  for (int i = 0; i < (1 << bits); ++i) {
    const uint32_t c = size_t(i) < colours.size() ? colours[size_t(i)] : 0;
    b.push_back(uint8_t(c >> 16));
    b.push_back(uint8_t(c >> 8));
    b.push_back(uint8_t(c));
  }
  return b;
}

bytes descriptor(int x, int y, int w, int h, int packed = 0) {
  bytes b = {0x2C};
  put16(&b, x);
  put16(&b, y);
  put16(&b, w);
  put16(&b, h);
  b.push_back(uint8_t(packed));
  return b;
}

bytes image(int x, int y, int w, int h, const bytes& indices, int min_size = 2) {
  bytes b = descriptor(x, y, w, h);
  b.push_back(uint8_t(min_size));
  const bytes data = sub_blocks(plain_lzw(indices, min_size));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

bytes control(int delay, int disposal = 0, int transparent = -1) {
  bytes b = {0x21, 0xF9, 0x04};
  b.push_back(uint8_t(disposal << 2 | (transparent >= 0 ? 1 : 0)));
  put16(&b, delay);
  b.push_back(uint8_t(transparent >= 0 ? transparent : 0));
  b.push_back(0);
  return b;
}

bytes cat(std::initializer_list<bytes> parts) {
  bytes out;
  for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const std::vector<uint32_t> kFour = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
const bytes kTrailer = {0x3B};

// ---- The fixture -----------------------------------------------------------------------
struct reference {
  int width = 0, height = 0, frames = 0, loop = 0;
  std::vector<int> delays;
  bytes rgb;
};

reference read_reference(const std::string& stem) {
  reference r;
  std::istringstream in(std::string(
      [&] {
        const bytes t = raster_test::read_bytes(raster_test::fixture("gif", stem + ".txt"));
        return std::string(t.begin(), t.end());
      }()));
  in >> r.width >> r.height >> r.frames >> r.loop;
  for (int d; in >> d;) r.delays.push_back(d);
  r.rgb = raster_test::read_bytes(raster_test::fixture("gif", stem + ".rgb"));
  return r;
}

// Pixels as shown on white: a palette image's transparent index is white.
bytes shown(bitmap_t* b) {
  bytes out = raster_test::image_rgb(b);
  if (b->planes != 1 || !b->has_transparent) return out;
  for (int y = 0; y < b->height; ++y) {
    const uint8_t* line = get_img_line_adr(b, y, 0);
    for (int x = 0; x < b->width; ++x)
      if (line[x] == b->transparent[0])
        std::memset(&out[(size_t(y) * b->width + x) * 3], 255, 3);
  }
  return out;
}

class GifTest : public raster_test::DecoderTest {
 protected:
  void TearDown() override {
    obj_list_free_elements(list_);
    free_obj(&list_);
    DecoderTest::TearDown();
  }

  int load_file(obj_t* file) {
    obj_list_free_elements(list_);
    free_obj(&list_);
    obj_list_new(&list_);
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    b->file = file;
    b->format = 2;
    b->gamma = -1.0;
    set_graylevel_lut(b);
    const int rc = gif_read(&b, list_);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    return rc;
  }
  int load(const bytes& data) {
    return load_file(tm_test::stub_memory_file(data.data(), int64_t(data.size())));
  }
  int load_fixture(const std::string& name) {
    return load_file(tm_test::stub_file(raster_test::fixture("gif", name).c_str()));
  }

  // The list's images by image number, and its frame records in the same order.
  std::vector<bitmap_t*> images() const {
    std::vector<bitmap_t*> out;
    for (int i = 0; i < obj_list_count(list_); ++i) {
      obj_t* o = obj_list_get(list_, i, nullptr);
      if (o && o->cls == CLS_BITMAP) out.push_back(static_cast<bitmap_t*>(o));
    }
    std::sort(out.begin(), out.end(),
              [](bitmap_t* a, bitmap_t* b) { return a->frame_number < b->frame_number; });
    return out;
  }
  std::vector<img_frame_t*> frames() const {
    std::vector<img_frame_t*> out;
    for (int i = 0; i < obj_list_count(list_); ++i) {
      obj_t* o = obj_list_get(list_, i, nullptr);
      if (o && o->cls == CLS_IMG_FRAME) out.push_back(static_cast<img_frame_t*>(o));
    }
    std::sort(out.begin(), out.end(), [](img_frame_t* a, img_frame_t* b) {
      return a->frame_number < b->frame_number;
    });
    return out;
  }

  // The list holds images numbered 1..n and frame records that each point to one, and
  // no image or frame record lives outside it.
  void expect_consistent_list() const {
    const std::vector<bitmap_t*> imgs = images();
    int live = 0;
    obj_class_count(CLS_BITMAP, &live);
    EXPECT_EQ(live, int(imgs.size()));
    obj_class_count(CLS_IMG_FRAME, &live);
    EXPECT_EQ(live, int(frames().size()));
    for (size_t i = 0; i < imgs.size(); ++i) {
      EXPECT_EQ(int(imgs[i]->frame_number), int(i) + 1);
      EXPECT_NE(static_cast<void*>(imgs[i]->lines), nullptr);
    }
    for (img_frame_t* f : frames()) {
      bitmap_t* b = f->bitmap;
      ASSERT_NE(b, nullptr);
      EXPECT_NE(std::find(imgs.begin(), imgs.end(), b), imgs.end());
      EXPECT_EQ(int(f->frame_number), int(b->frame_number));
    }
  }

  container_t* list_ = nullptr;
};

// ---- Fixture files ----------------------------------------------------------------------
class GifFrames : public GifTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(GifFrames, EveryFrameMatchesCoalescedOverWhite) {
  const std::string name = GetParam();
  const std::string stem = name.substr(0, name.rfind('.'));
  const reference ref = read_reference(stem);
  ASSERT_EQ(load_fixture(name), 0) << name;
  const std::vector<bitmap_t*> imgs = images();
  ASSERT_EQ(int(imgs.size()), ref.frames) << name;
  const size_t frame_bytes = size_t(ref.width) * ref.height * 3;
  ASSERT_EQ(ref.rgb.size(), frame_bytes * size_t(ref.frames));
  for (int k = 0; k < ref.frames; ++k) {
    bitmap_t* b = imgs[size_t(k)];
    ASSERT_EQ(int(b->width), ref.width) << name;
    ASSERT_EQ(int(b->height), ref.height) << name;
    const bytes want(ref.rgb.begin() + long(frame_bytes * size_t(k)),
                     ref.rgb.begin() + long(frame_bytes * size_t(k + 1)));
    EXPECT_EQ(shown(b), want) << name << " frame " << k + 1;
  }
  expect_consistent_list();
  // Delays and loop count as PIL reads them, one frame record per frame of an animation.
  const std::vector<img_frame_t*> recs = frames();
  if (ref.frames > 1) {
    ASSERT_EQ(int(recs.size()), ref.frames) << name;
    for (int k = 0; k < ref.frames; ++k) {
      EXPECT_EQ(int(recs[size_t(k)]->delay), ref.delays[size_t(k)]) << name << " frame " << k + 1;
      EXPECT_EQ(int(recs[size_t(k)]->loop_count), ref.loop) << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GifFrames,
                         ::testing::ValuesIn(raster_test::fixture_images("gif")),
                         raster_test::case_name);

TEST_F(GifTest, SingleGif87aImageHasKind5Number1AndNoFrameRecord) {
  ASSERT_EQ(load_fixture("pil_single87a.gif"), 0);
  ASSERT_EQ(obj_list_count(list_), 1);
  bitmap_t* b = images().at(0);
  EXPECT_EQ(int(b->variant), kGifPixelKind87a);
  EXPECT_EQ(int(b->frame_number), 1);
  EXPECT_EQ(int(b->planes), 1);
  EXPECT_EQ(int(b->samples_per_pixel), 1);
  EXPECT_EQ(int(b->bits_per_sample), 3);  // 5 colours: a global table of 8
  EXPECT_TRUE(frames().empty());
}

TEST_F(GifTest, VersionGivesThePixelKind) {
  const bytes body = cat({image(0, 0, 2, 2, {0, 1, 2, 3}), kTrailer});
  for (auto [version, kind] : {std::pair{"87a", 5}, {"89a", 6}, {"90z", 7}}) {
    ASSERT_EQ(load(cat({header(2, 2, kFour, version), body})), 0) << version;
    EXPECT_EQ(int(images().at(0)->variant), kind) << version;
  }
}

TEST_F(GifTest, FrameRecordsCarryControlValues) {
  bytes netscape = {0x21, 0xFF, 0x0B};
  for (char c : std::string("NETSCAPE2.0")) netscape.push_back(uint8_t(c));
  netscape.insert(netscape.end(), {0x03, 0x01, 0x07, 0x00, 0x00});
  bytes user = control(33, 3);
  user[3] |= 0x02;  // user input
  ASSERT_EQ(load(cat({header(2, 2, kFour), netscape, user, image(0, 0, 2, 2, {0, 1, 2, 3}),
                      control(44, 1, 2), image(0, 0, 1, 1, {2}), kTrailer})),
            0);
  const std::vector<img_frame_t*> f = frames();
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(int(f[0]->delay), 33);
  EXPECT_EQ(int(f[0]->disposal), 3);
  EXPECT_EQ(int(f[0]->user_input), 1);
  EXPECT_EQ(int(f[0]->loop_count), 7);
  EXPECT_EQ(int(f[1]->delay), 44);
  EXPECT_EQ(int(f[1]->disposal), 1);
  EXPECT_EQ(int(f[1]->user_input), 0);
  EXPECT_EQ(int(images().at(1)->has_transparent), 1);
  EXPECT_EQ(images().at(1)->transparent[0], 2);
  expect_consistent_list();
}

TEST_F(GifTest, NetscapeLoopZeroIsStoredAs65535) {
  bytes netscape = {0x21, 0xFF, 0x0B};
  for (char c : std::string("NETSCAPE2.0")) netscape.push_back(uint8_t(c));
  netscape.insert(netscape.end(), {0x03, 0x01, 0x00, 0x00, 0x00});
  ASSERT_EQ(load(cat({header(1, 1, kFour), netscape, control(1), image(0, 0, 1, 1, {1}),
                      kTrailer})),
            0);
  EXPECT_EQ(int(frames().at(0)->loop_count), 65535);
}

// ---- The white background --------------------------------------------------------------
TEST_F(GifTest, WhiteIsAddedToAPaletteWithRoomAndFillsTheScreen) {
  ASSERT_EQ(load(cat({header(4, 3, kFour), image(1, 1, 2, 1, {1, 2}), kTrailer})), 0);
  bitmap_t* b = images().at(0);
  EXPECT_EQ(b->lut_r[4], 255);
  EXPECT_EQ(b->lut_g[4], 255);
  EXPECT_EQ(b->lut_b[4], 255);
  const uint8_t* row0 = get_img_line_adr(b, 0, 0);
  const uint8_t* row1 = get_img_line_adr(b, 1, 0);
  EXPECT_EQ(bytes(row0, row0 + 4), (bytes{4, 4, 4, 4}));
  EXPECT_EQ(bytes(row1, row1 + 4), (bytes{4, 1, 2, 4}));
}

TEST_F(GifTest, FullPaletteWithoutWhiteUsesTheNearestEntry) {
  std::vector<uint32_t> pal(256);
  for (int i = 0; i < 256; ++i) pal[size_t(i)] = uint32_t(i) << 16;  // reds
  pal[77] = 0xFAFAF0;
  ASSERT_EQ(load(cat({header(3, 2, pal), image(0, 0, 1, 1, {9}, 8), kTrailer})), 0);
  bitmap_t* b = images().at(0);
  const uint8_t* row0 = get_img_line_adr(b, 0, 0);
  const uint8_t* row1 = get_img_line_adr(b, 1, 0);
  EXPECT_EQ(bytes(row0, row0 + 3), (bytes{9, 77, 77}));
  EXPECT_EQ(bytes(row1, row1 + 3), (bytes{77, 77, 77}));
  EXPECT_EQ(b->lut_r[255], 255);  // the palette did not grow over its last entry
  EXPECT_EQ(b->lut_g[255], 0);
}

// ---- Palettes between frames -------------------------------------------------------------
TEST_F(GifTest, SamePaletteStaysOnePlane) {
  // Both frames on the global table, the same transparency: indices composed.
  ASSERT_EQ(load(cat({header(3, 1, kFour), control(1, 1, 0), image(0, 0, 3, 1, {1, 2, 0}),
                      control(1, 0, 0), image(0, 0, 2, 1, {0, 3}), kTrailer})),
            0);
  const std::vector<bitmap_t*> imgs = images();
  ASSERT_EQ(imgs.size(), 2u);
  for (bitmap_t* b : imgs) EXPECT_EQ(int(b->planes), 1) << int(b->frame_number);
  const uint8_t* row = get_img_line_adr(imgs[1], 0, 0);
  EXPECT_EQ(bytes(row, row + 3), (bytes{1, 3, 0}));
  EXPECT_EQ(shown(imgs[1]), (bytes{255, 0, 0, 0, 0, 255, 255, 255, 255}));
}

TEST_F(GifTest, LocalTableFrameKeepsThePictureBeneathInItsColours) {
  // Frame 1 red and green (global); frame 2, one pixel, with a local table whose
  // index 1 is blue: the rest keeps red and green.
  bytes local = descriptor(1, 0, 1, 1, 0x80 | 1);  // local table of 4
  for (uint32_t c : {0x000000u, 0x0000FFu, 0x000000u, 0x000000u}) {
    local.push_back(uint8_t(c >> 16));
    local.push_back(uint8_t(c >> 8));
    local.push_back(uint8_t(c));
  }
  local.push_back(2);
  const bytes data = sub_blocks(plain_lzw({1}, 2));
  local.insert(local.end(), data.begin(), data.end());
  ASSERT_EQ(load(cat({header(3, 1, kFour), control(1), image(0, 0, 3, 1, {1, 2, 1}),
                      control(1), local, kTrailer})),
            0);
  const std::vector<bitmap_t*> imgs = images();
  ASSERT_EQ(imgs.size(), 2u);
  EXPECT_EQ(int(imgs[0]->planes), 1);
  EXPECT_EQ(int(imgs[1]->planes), 3);
  EXPECT_EQ(int(imgs[1]->samples_per_pixel), 3);
  EXPECT_EQ(int(imgs[1]->has_transparent), 0);
  EXPECT_EQ(shown(imgs[1]), (bytes{255, 0, 0, 0, 0, 255, 255, 0, 0}));
  EXPECT_EQ(shown(imgs[0]), (bytes{255, 0, 0, 0, 255, 0, 255, 0, 0}));
}

TEST_F(GifTest, TransparentPixelsOfAFirstFrameKeepTheIndex) {
  ASSERT_EQ(load(cat({header(2, 1, kFour), control(1, 0, 3), image(0, 0, 2, 1, {3, 1}),
                      kTrailer})),
            0);
  bitmap_t* b = images().at(0);
  EXPECT_EQ(int(b->has_transparent), 1);
  const uint8_t* row = get_img_line_adr(b, 0, 0);
  EXPECT_EQ(bytes(row, row + 2), (bytes{3, 1}));
}

TEST_F(GifTest, ControlAppliesToTheNextImageOnly) {
  ASSERT_EQ(load(cat({header(2, 1, kFour), control(5, 0, 1), image(0, 0, 2, 1, {0, 1}),
                      image(0, 0, 1, 1, {1}), kTrailer})),
            0);
  const std::vector<bitmap_t*> imgs = images();
  ASSERT_EQ(imgs.size(), 2u);
  EXPECT_EQ(int(imgs[1]->has_transparent), 0);
  EXPECT_EQ(frames().size(), 1u);
  // Frame 2 draws index 1 as red over the transparent pixel beneath (RGB: the
  // transparency differs).
  EXPECT_EQ(shown(imgs[1]), (bytes{255, 0, 0, 255, 255, 255}));
}

TEST_F(GifTest, FrameLargerThanTheScreenGrowsIt) {
  ASSERT_EQ(load(cat({header(2, 1, kFour), image(0, 0, 3, 2, {1, 1, 1, 2, 2, 2}), kTrailer})),
            0);
  EXPECT_EQ(int(images().at(0)->width), 3);
  EXPECT_EQ(int(images().at(0)->height), 2);
}

TEST_F(GifTest, SubBlockOfLength59IsData) {
  bytes px(200);
  for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i % 4);
  bytes img = descriptor(0, 0, 20, 10);
  img.push_back(2);
  const bytes data = sub_blocks(plain_lzw(px, 2), 59);
  ASSERT_EQ(data[0], 59);
  img.insert(img.end(), data.begin(), data.end());
  ASSERT_EQ(load(cat({header(20, 10, kFour), img, kTrailer})), 0);
  bitmap_t* b = images().at(0);
  for (int y = 0; y < 10; ++y) {
    const uint8_t* row = get_img_line_adr(b, y, 0);
    EXPECT_EQ(bytes(row, row + 20), bytes(px.begin() + 20 * y, px.begin() + 20 * y + 20));
  }
}

TEST_F(GifTest, TrailerWhereASubBlockLengthRunsPastTheEndFinishesTheFrame) {
  bytes img = image(0, 0, 2, 1, {1, 2});
  img.pop_back();  // no block terminator: the trailer follows the data
  ASSERT_EQ(load(cat({header(2, 1, kFour), img, kTrailer})), 0);
  ASSERT_EQ(images().size(), 1u);
  const uint8_t* row = get_img_line_adr(images()[0], 0, 0);
  EXPECT_EQ(bytes(row, row + 2), (bytes{1, 2}));
}

TEST_F(GifTest, SecondDecodeRebuildsTheImageOfItsNumber) {
  ASSERT_EQ(load_fixture("im_dispose_background.gif"), 0);
  bitmap_t* b = images().at(2);
  const bytes before = shown(b);
  for (int y = 0; y < b->height; ++y)
    std::memset(get_img_line_adr(b, y, 0), 0, size_t(b->width) * b->planes);
  ASSERT_NE(shown(b), before);
  bitmap_t* target = b;
  EXPECT_EQ(gif_read(&target, nullptr), 0);
  EXPECT_EQ(target, b);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(shown(b), before);
  EXPECT_EQ(int(images().size()), 4);
}

// ---- Bad input ------------------------------------------------------------------------------
TEST_F(GifTest, MissingFileGives2) {
  EXPECT_EQ(load_file(tm_test::stub_file("/nonexistent/none.gif")), ERR_FILE_ACCESS);
  EXPECT_EQ(obj_list_count(list_), 0);
}

TEST_F(GifTest, RefusalsGive14AndKeepCompletedFrames) {
  const bytes good = cat({header(2, 2, kFour), control(1), image(0, 0, 2, 2, {0, 1, 2, 3})});
  bytes netscape_short = {0x21, 0xFF, 0x0B};
  for (char c : std::string("NETSCAPE2.0")) netscape_short.push_back(uint8_t(c));
  netscape_short.insert(netscape_short.end(), {0x02, 0x01, 0x07, 0x00});
  bytes app_short = {0x21, 0xFF, 0x0A};
  bytes min_size0 = descriptor(0, 0, 1, 1);
  min_size0.insert(min_size0.end(), {0, 1, 0, 0});
  bytes min_size9 = descriptor(0, 0, 1, 1);
  min_size9.insert(min_size9.end(), {9, 1, 0, 0});
  // After a clear (4) with minimum size 2: code 6 is above the clear code.
  bytes above_clear = descriptor(0, 0, 2, 1);
  above_clear.push_back(2);
  const bytes codes1 = sub_blocks(pack_codes({{4, 3}, {6, 3}, {5, 3}}));
  above_clear.insert(above_clear.end(), codes1.begin(), codes1.end());
  // A literal, then code 7 where only 6 may come next.
  bytes above_next = descriptor(0, 0, 4, 1);
  above_next.push_back(2);
  const bytes codes2 = sub_blocks(pack_codes({{4, 3}, {1, 3}, {7, 3}, {5, 3}}));
  above_next.insert(above_next.end(), codes2.begin(), codes2.end());
  const std::vector<std::pair<const char*, bytes>> cases = {
      {"bad magic", cat({bytes{'G', 'I', 'X', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, kTrailer})},
      {"unknown block", cat({good, bytes{0x2A}})},
      {"unknown extension", cat({good, bytes{0x21, 0x02, 0x00}})},
      {"control too short", cat({good, bytes{0x21, 0xF9, 0x03, 0, 0, 0, 0}})},
      {"control without terminator", cat({good, bytes{0x21, 0xF9, 0x04, 0, 0, 0, 0, 7}})},
      {"application block under 11", cat({good, app_short})},
      {"loop sub-block too short", cat({good, netscape_short})},
      {"minimum code size 0", cat({good, min_size0})},
      {"minimum code size 9", cat({good, min_size9})},
      {"code above clear", cat({good, above_clear})},
      {"code above next", cat({good, above_next})},
      {"extension cut short", cat({good, bytes{0x21, 0xFE, 0x09, 'a'}})},
  };
  for (const auto& [what, data] : cases) {
    EXPECT_EQ(load(data), ERR_BAD_FILE) << what;
    expect_consistent_list();
    const bool has_good = std::strcmp(what, "bad magic") != 0;
    EXPECT_EQ(images().size(), has_good ? 1u : 0u) << what;
    if (has_good) {
      EXPECT_EQ(frames().size(), 1u) << what;
    }
  }
}

// Every cut of an animation: 0 or 14, and every image but the last equals its frame.
TEST_F(GifTest, EveryTruncationEndsCleanly) {
  const std::string name = "im_dispose_previous";
  const bytes file = raster_test::read_bytes(raster_test::fixture("gif", name + ".gif"));
  const reference ref = read_reference(name);
  const size_t frame_bytes = size_t(ref.width) * ref.height * 3;
  for (size_t n = 0; n < file.size(); ++n) {
    const bytes cut(file.begin(), file.begin() + long(n));
    const int rc = load(cut);
    EXPECT_TRUE(rc == 0 || rc == ERR_BAD_FILE) << n << " gave " << rc;
    expect_consistent_list();
    const std::vector<bitmap_t*> imgs = images();
    ASSERT_LE(int(imgs.size()), ref.frames);
    const size_t complete = imgs.empty() ? 0 : imgs.size() - (rc == 0 ? 1 : 0);
    for (size_t k = 0; k < complete; ++k)
      EXPECT_EQ(shown(imgs[k]), bytes(ref.rgb.begin() + long(frame_bytes * k),
                                      ref.rgb.begin() + long(frame_bytes * (k + 1))))
          << "cut at " << n << " frame " << k + 1;
  }
}

TEST_F(GifTest, FlippedBytesNeverFailUnclearly) {
  const bytes file =
      raster_test::read_bytes(raster_test::fixture("gif", "pil_local_tables.gif"));
  for (size_t i = 0; i < file.size(); ++i) {
    for (uint8_t mask : {uint8_t(0xFF), uint8_t(0x10)}) {
      bytes bad = file;
      bad[i] ^= mask;
      const int rc = load(bad);
      EXPECT_TRUE(rc == 0 || rc == ERR_BAD_FILE || rc == ERR_MEMORY) << i << " gave " << rc;
      expect_consistent_list();
    }
  }
}

// Codes that never clear: the table fills, codes stay 12 bits wide with no entry
// added, nothing is written past the frame, and the rest of the data is ignored.
TEST_F(GifTest, LzwFloodWithoutClearStopsAtTheFrame) {
  std::vector<std::pair<int, int>> codes = {{256, 9}};
  int next = 258, width = 9;
  for (int i = 0; i < 60000; ++i) {
    codes.push_back({i * 7 % 256, width});
    if (i > 0 && next < 4096) ++next;  // each code after the first adds an entry
    if (next == (1 << width) && width < 12) ++width;
  }
  bytes img = descriptor(0, 0, 200, 150);
  img.push_back(8);
  const bytes data = sub_blocks(pack_codes(codes));
  img.insert(img.end(), data.begin(), data.end());
  std::vector<uint32_t> pal(256, 0x102030);
  ASSERT_EQ(load(cat({header(200, 150, pal), img, kTrailer})), 0);
  ASSERT_EQ(images().size(), 1u);
  bitmap_t* b = images()[0];
  for (int y : {0, 40, 149}) {
    const uint8_t* row = get_img_line_adr(b, y, 0);
    for (int x = 0; x < 200; ++x) ASSERT_EQ(row[x], (y * 200 + x) * 7 % 256) << y << "," << x;
  }
}

// ---- LZW streams made here ---------------------------------------------------------------
// A GIF LZW encoder that picks each code's width as the decoder will expect it, and
// notes how many pixels each code stands for.
struct lzw_stream {
  std::vector<std::pair<int, int>> codes;  // code, width
  std::vector<int> pixels;                 // pixels of each code
};

struct lzw_options {
  int leading_clears = 0;        // clear codes before the data (shift every later code)
  bool clear_when_full = true;   // else the table stays full, codes 12 bits wide
  int clear_every = 0;           // a clear code after this many data codes (0: never)
  bool end_code = true;
};

lzw_stream lzw_encode(const bytes& px, int min_size, const lzw_options& o) {
  lzw_stream out;
  const int clear = 1 << min_size, end = clear + 1;
  // The decoder's view: its next entry, its code width, whether a code came since a clear.
  int dnext = end + 1, dsize = min_size + 1;
  bool dprev = false;
  auto put = [&](int code, int pixels) {
    out.codes.push_back({code, dsize});
    out.pixels.push_back(pixels);
    if (code == clear) {
      dnext = end + 1;
      dsize = min_size + 1;
      dprev = false;
      return;
    }
    if (code == end) return;
    if (dprev && dnext < 4096) ++dnext;
    dprev = true;
    if (dnext == (1 << dsize) && dsize < 12) ++dsize;
  };
  std::map<std::pair<int, int>, int> dict;
  int enext = end + 1;
  auto restart = [&] {
    put(clear, 0);
    dict.clear();
    enext = end + 1;
  };
  for (int i = 0; i < o.leading_clears; ++i) put(clear, 0);
  restart();
  int w = -1, wlen = 0, since_clear = 0;
  for (uint8_t c : px) {
    if (w < 0) {
      w = c;
      wlen = 1;
      continue;
    }
    const auto it = dict.find({w, c});
    if (it != dict.end()) {
      w = it->second;
      ++wlen;
      continue;
    }
    put(w, wlen);
    ++since_clear;
    if (enext < 4096)
      dict[{w, c}] = enext++;
    else if (o.clear_when_full)
      restart();
    if (o.clear_every && since_clear >= o.clear_every) {
      restart();
      since_clear = 0;
    }
    w = c;
    wlen = 1;
  }
  if (w >= 0) put(w, wlen);
  if (o.end_code) put(end, 0);
  return out;
}

// Row of the frame that the k-th row of an interlaced frame's data fills.
int interlaced_row_of(int k, int h) {
  int r = 0;
  for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
    for (int y = start; y < h; y += step, ++r)
      if (r == k) return y;
  return -1;
}

struct lzw_case {
  std::string name;
  int min_size = 2;
  int width = 0, height = 0;
  int alphabet = 0;  // pixel values 0..alphabet-1 at random; 0: all zero (long strings)
  lzw_options options;
  size_t piece = 255;  // sub-block length
  bool interlaced = false;
  size_t cut = 0;      // LZW data bytes dropped from the end
};

// Decodes a case's file and checks every pixel: the data's pixels up to the last code
// whose bits all arrived (whole rows of them), the background beyond.
class GifLzwTest : public GifTest {
 protected:
  void run(const lzw_case& c) {
    SCOPED_TRACE(c.name);
    bytes px(size_t(c.width) * size_t(c.height));
    uint32_t seed = 12345;
    for (uint8_t& v : px) {
      seed = seed * 1103515245u + 12345u;
      v = c.alphabet ? uint8_t((seed >> 16) % uint32_t(c.alphabet)) : 0;
    }
    const lzw_stream s = lzw_encode(px, c.min_size, c.options);
    bytes data = pack_codes(s.codes);
    ASSERT_LT(c.cut, data.size());
    data.resize(data.size() - c.cut);
    // Pixels of the codes whose last bit lies inside the data kept.
    size_t decoded = 0, bit = 0;
    for (size_t i = 0; i < s.codes.size(); ++i) {
      bit += size_t(s.codes[i].second);
      if (bit > data.size() * 8) break;
      decoded += size_t(s.pixels[i]);
    }
    // Colours that are not white but the last of a full table; white is added past
    // the others.
    const int entries = 1 << c.min_size;
    std::vector<uint32_t> pal;
    for (int i = 0; i < entries; ++i) pal.push_back(uint32_t(i) << 16 | uint32_t(255 - i) << 8 | 7);
    if (entries == 256) pal.back() = 0xFFFFFF;
    bytes img = descriptor(0, 0, c.width, c.height, c.interlaced ? 0x40 : 0);
    img.push_back(uint8_t(c.min_size));
    const bytes blocks = sub_blocks(data, c.piece);
    img.insert(img.end(), blocks.begin(), blocks.end());
    ASSERT_EQ(load(cat({header(c.width, c.height, pal), img, kTrailer})), 0);
    ASSERT_EQ(images().size(), 1u);
    bitmap_t* b = images()[0];
    ASSERT_EQ(int(b->planes), 1);
    int white = -1;
    for (int i = 0; i < 256 && white < 0; ++i)
      if (b->lut_r[i] == 255 && b->lut_g[i] == 255 && b->lut_b[i] == 255) white = i;
    ASSERT_GE(white, 0);
    bytes want(px.size(), uint8_t(white));
    // A frame row is laid on its line once complete: a row the data leaves unfinished
    // stays background.
    decoded -= decoded % size_t(c.width);
    for (size_t k = 0; k < std::min(decoded, px.size()); ++k) {
      const int r = int(k / size_t(c.width));
      const int y = c.interlaced ? interlaced_row_of(r, c.height) : r;
      want[size_t(y) * size_t(c.width) + k % size_t(c.width)] = px[k];
    }
    for (int y = 0; y < c.height; ++y) {
      const uint8_t* line = get_img_line_adr(b, y, 0);
      ASSERT_EQ(bytes(line, line + c.width),
                bytes(want.begin() + long(y) * c.width, want.begin() + long(y + 1) * c.width))
          << "row " << y;
    }
  }
};

// Code widths change wherever the data puts them: leading clear codes (3 bits each)
// move every later code by 3 bits, so over 64 shifts each width change lands on every
// bit of a byte and of the 64-bit accumulator, with sub-blocks of many lengths.
TEST_F(GifLzwTest, WidthChangesAtEveryBitPosition) {
  for (int shift = 0; shift < 64; ++shift) {
    lzw_case c{"shift " + std::to_string(shift), 2, 41, 29, 4};
    c.options.leading_clears = shift;
    c.piece = shift % 2 ? 255 : size_t(1 + shift % 13);
    run(c);
    if (HasFatalFailure()) return;
  }
}

TEST_F(GifLzwTest, StreamsDecodeToTheirPixels) {
  // Options: leading clear codes, clear when the table is full, clear every n codes,
  // end code.
  const lzw_options full_stays{0, false, 0, true};
  const std::vector<lzw_case> cases = {
      {"minimum size 1", 1, 50, 20, 2},
      {"minimum size 3", 3, 33, 17, 8},
      {"minimum size 7", 7, 64, 40, 128},
      {"minimum size 8", 8, 100, 60, 255},
      {"few colours, long strings", 8, 97, 53, 3},
      {"one colour: strings over many narrow rows", 2, 3, 2000, 0},
      {"one colour, one column", 2, 1, 3000, 0},
      {"full table without a clear code", 4, 160, 120, 16,
       full_stays},
      {"full table without a clear code, small sub-blocks", 2, 200, 150, 4,
       full_stays, 7},
      {"full table cleared", 4, 160, 120, 16},
      // Strings whose earlier copies the decoder's window has left behind.
      {"full table without a clear code, far past its strings", 2, 400, 400, 4, full_stays},
      {"rows wider than the window's history", 8, 40000, 3, 200, full_stays},
      {"long strings over many rows", 2, 60, 3000, 0},
      {"clear code every 5 codes", 5, 70, 30, 32,
       lzw_options{0, true, 5, true}},
      {"clear code after every code", 2, 20, 20, 4,
       lzw_options{0, true, 1, true}, 1},
      {"no end code", 3, 31, 31, 8,
       lzw_options{0, true, 0, false}},
      {"interlaced", 3, 23, 19, 8, {}, 255, true},
      {"interlaced, long strings", 2, 5, 37, 0, {}, 9, true},
      {"one-byte sub-blocks", 6, 45, 25, 64, {}, 1},
      {"eight-byte sub-blocks", 6, 45, 25, 64, {}, 8},
  };
  for (const lzw_case& c : cases) {
    run(c);
    if (HasFatalFailure()) return;
  }
}

// Data that ends anywhere, inside a code or between two, without an end code: every
// whole code is decoded into its rows, and the rest of the frame is background.
TEST_F(GifLzwTest, DataEndingInsideACodeKeepsEveryWholeCode) {
  for (size_t cut = 1; cut < 40; ++cut) {
    lzw_case c{"cut " + std::to_string(cut), 3, 19, 11, 8};
    c.options.end_code = false;
    c.cut = cut;
    c.piece = 1 + cut % 10;
    run(c);
    if (HasFatalFailure()) return;
  }
}

TEST_F(GifTest, HostileScreenEndsFastWithoutAllocating) {
  // The screen alone, then a 1 x 1 frame: far more pixels than the data could fill.
  EXPECT_EQ(load(cat({header(65535, 65535, kFour), kTrailer})), 0);
  EXPECT_EQ(obj_list_count(list_), 0);
  EXPECT_EQ(load(cat({header(65535, 65535, kFour), image(0, 0, 1, 1, {1}), kTrailer})),
            ERR_BAD_FILE);
  EXPECT_EQ(obj_list_count(list_), 0);
  EXPECT_EQ(load(cat({header(1, 1, kFour), image(0, 0, 65535, 65535, {1}), kTrailer})),
            ERR_BAD_FILE);
  EXPECT_EQ(obj_list_count(list_), 0);
}

TEST_F(GifTest, FramesBeyondTheImageBudgetGive1) {
  // Each image costs its pixels and the bookkeeping of its rows: room for three.
  raster_set_max_image_bytes(3 * 30 * (40 + kRasterRowOverhead) + 100);
  const bytes frame = image(0, 0, 1, 1, {1});
  const int rc = load(cat({header(40, 30, kFour), frame, frame, frame, frame, kTrailer}));
  raster_set_max_image_bytes(0);
  EXPECT_EQ(rc, ERR_MEMORY);
  EXPECT_EQ(images().size(), 3u);
  expect_consistent_list();
}

}  // namespace
