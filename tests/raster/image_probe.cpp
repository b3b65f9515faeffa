// The size probe of the image loading dispatcher: the size a header gives is the size
// a full load gives (PNG of every colour type and interlaced, baseline, progressive,
// 12-bit and CMYK JPEG, GIF animations and a GIF whose frame outgrows its screen), the
// file object is left as it was (not identified, nothing loaded), and what the reader
// would refuse or what is no PNG, JPEG or GIF is left to a load. Loading a PNG writes
// nothing to swap: its working streams are released as they are read.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/obj_list.h"
#include "map/file_object.h"
#include "raster/image_load.h"
#include "tests/raster/image_load_fixture.h"
#include "tests/support/test_env.h"

namespace {

using raster_test::bytes;
using raster_test::ImageLoadTest;

class ImageProbe : public ImageLoadTest {
 protected:
  // A file object as the viewer queues it: opened by path, not identified.
  static fileatt_t* queued(const std::string& path) {
    fileatt_t* f = nullptr;
    file_open(nullptr, nullptr, path.c_str(), &f);
    return f;
  }
  // The largest width and height of the images a full load makes.
  void loaded_size(const std::string& path, int format, int* w, int* h) {
    *w = *h = 0;
    fileatt_t* f = image_file(path, format);
    ASSERT_NE(f, nullptr);
    container_t* list = tm_test::empty_list();
    lists_.push_back(list);
    int status = 0;
    ASSERT_EQ(image_load(f, list, nullptr, kImageFirstLoad, &status, 0), 0) << path;
    for (int i = 0; i < obj_list_count(list); ++i) {
      obj_t* o = obj_list_get(list, i, static_cast<obj_t**>(nullptr));
      if (!o || o->cls != CLS_BITMAP) continue;
      const auto* b = static_cast<bitmap_t*>(o);
      if (b->width > *w) *w = b->width;
      if (b->height > *h) *h = b->height;
    }
  }
  std::string write(const std::string& name, const bytes& data) {
    if (dir_.empty()) dir_ = tm_test::fresh_dir("iprobe");
    const std::string path = dir_ + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                std::streamsize(data.size()));
    return path;
  }
  std::string dir_;
};

// ---- A GIF whose second frame is larger than its screen -------------------------------
void put16(bytes* b, int v) {
  b->push_back(uint8_t(v));
  b->push_back(uint8_t(v >> 8));
}
// Each index after a clear code, so that codes never widen (min code size 2: 3 bits).
bytes plain_lzw(int pixels) {
  bytes out;
  uint32_t acc = 0;
  int n = 0;
  auto put = [&](int code) {
    acc |= uint32_t(code) << n;
    n += 3;
    while (n >= 8) {
      out.push_back(uint8_t(acc));
      acc >>= 8;
      n -= 8;
    }
  };
  for (int i = 0; i < pixels; ++i) {
    put(4);
    put(i % 4);
  }
  put(5);
  if (n) out.push_back(uint8_t(acc));
  return out;
}
void frame(bytes* b, int w, int h) {
  b->push_back(0x2C);
  put16(b, 0);
  put16(b, 0);
  put16(b, w);
  put16(b, h);
  b->push_back(0);
  b->push_back(2);
  const bytes data = plain_lzw(w * h);
  for (size_t i = 0; i < data.size(); i += 255) {
    const size_t n = std::min<size_t>(255, data.size() - i);
    b->push_back(uint8_t(n));
    b->insert(b->end(), data.begin() + long(i), data.begin() + long(i + n));
  }
  b->push_back(0);
}
bytes growing_gif() {
  bytes b = {'G', 'I', 'F', '8', '9', 'a'};
  put16(&b, 6);
  put16(&b, 4);
  b.push_back(0x81);  // global table of 4 colours
  b.push_back(0);
  b.push_back(0);
  for (int i = 0; i < 12; ++i) b.push_back(uint8_t(i * 20));
  frame(&b, 6, 4);
  frame(&b, 9, 3);  // wider than the screen: the screen grows to 9 x 4
  b.push_back(0x3B);
  return b;
}

TEST_F(ImageProbe, TheHeaderGivesTheSizeAFullLoadGives) {
  struct row {
    std::string path;
    int format;
  };
  const std::vector<row> rows = {
      {raster_test::fixture("png", "pil_rgb.png"), 4},
      {raster_test::fixture("png", "pil_p1.png"), 4},
      {raster_test::fixture("png", "pil_la.png"), 4},
      {raster_test::fixture("png", "im_rgba_adam7.png"), 4},
      {raster_test::fixture("png", "t0_d1_adam7_chunks.png"), 4},
      {raster_test::fixture("jpeg", "rgb.jpg"), 1},
      {raster_test::fixture("jpeg", "progressive.jpg"), 1},
      {raster_test::fixture("jpeg", "progressive_1000x20.jpg"), 1},
      {raster_test::fixture("jpeg", "bits12_grey.jpg"), 1},
      {raster_test::fixture("jpeg", "cmyk_adobe.jpg"), 1},
      {raster_test::fixture("gif", "pil_disposal.gif"), 2},
      {raster_test::fixture("gif", "own_past_edge.gif"), 2},
      {raster_test::fixture("gif", "im_interlaced.gif"), 2},
      {write("growing.gif", growing_gif()), 2},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.path);
    fileatt_t* f = queued(r.path);
    ASSERT_NE(f, nullptr);
    int w = -1, h = -1;
    EXPECT_EQ(image_probe_size(f, &w, &h), 1);
    // Nothing changed in the file object: still not identified, nothing loaded.
    EXPECT_EQ(f->filetype, uint32_t(kFileKindLocal));
    EXPECT_EQ(f->sot, nullptr);
    EXPECT_EQ(f->store, nullptr);
    const int images_before = image_count();
    int lw = 0, lh = 0;
    loaded_size(r.path, r.format, &lw, &lh);
    EXPECT_GT(image_count(), images_before);
    EXPECT_GT(lw, 0);
    EXPECT_EQ(w, lw);
    EXPECT_EQ(h, lh);
  }
}

TEST_F(ImageProbe, WhatTheReaderWouldRefuseOrCannotTellIsLeftToALoad) {
  bytes png16;
  {
    std::ifstream in(raster_test::fixture("png", "pil_rgb.png"), std::ios::binary);
    png16.assign(std::istreambuf_iterator<char>(in), {});
    png16[24] = 16;  // 16-bit samples: refused by the reader
  }
  bytes gif_no_frame = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0, 0x3B};
  bytes gif_cut = growing_gif();
  gif_cut.resize(gif_cut.size() / 2);
  if (dir_.empty()) dir_ = tm_test::fresh_dir("iprobe");
  const std::vector<std::string> paths = {
      raster_test::fixture("jpeg", "arithmetic.jpg"),  // a frame kind the reader refuses
      raster_test::fixture("bmp", "bf32_default.bmp"),      // no probe for this format
      write("deep.png", png16),
      write("cut.png", bytes(png16.begin(), png16.begin() + 20)),
      write("no_frame.gif", gif_no_frame),
      write("cut.gif", gif_cut),
      write("notes.txt", bytes{'h', 'e', 'l', 'l', 'o', '\n'}),
      dir_ + "missing.png",
  };
  for (const std::string& p : paths) {
    SCOPED_TRACE(p);
    fileatt_t* f = queued(p);
    if (!f) continue;  // a path that does not exist may give no file object
    int w = -1, h = -1;
    EXPECT_EQ(image_probe_size(f, &w, &h), 0);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(get_gblerr(), 0);
  }
  int w = -1, h = -1;
  EXPECT_EQ(image_probe_size(nullptr, &w, &h), 0);
  EXPECT_EQ(w, 0);
}

// The compressed data and the inflated rows of a PNG are working streams of the read:
// they go as they are read and none of them is written to swap, neither while the
// image is decoded nor when they are freed.
TEST_F(ImageProbe, LoadingAPngWritesNothingToSwap) {
  for (const char* name : {"pil_rgb.png", "im_rgb_adam7.png", "pil_p8.png"}) {
    SCOPED_TRACE(name);
    int w = 0, h = 0;
    loaded_size(raster_test::fixture("png", name), 4, &w, &h);
    EXPECT_GT(w, 0);
    EXPECT_EQ(swap_total_bytes(), 0.0);
  }
}

}  // namespace
