// The bitmap record: its byte layout (shared with the plug-in), the pixel and overview
// stores made by alloc_bitmap, row addresses, lookup tables, destruction, header
// copies, the small queries, and the entry points bound by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/core_classes.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace {

class BitmapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    line_store_reset();
    get_line_store_hooks() = line_store_hooks{};
    get_bitmap_hooks() = bitmap_hooks{};
    line_store_register();
    xform_register_classes();
    swap_dir_ = tm_test::fresh_dir("bmswap");
    config_temp_dir_set(swap_dir_.c_str(), "s_");
    bitmap_module_init();
  }
  void TearDown() override {
    set_gblerr(0);
    for (bitmap_t*& b : made_) free_obj(&b);
    container_t* images = bitmap_image_list();
    (void)images;
    line_store_reset();
    get_line_store_hooks() = line_store_hooks{};
    config_reset();
  }
  bitmap_t* make() {
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    made_.push_back(b);
    return b;
  }
  int count_of(int cls) {
    int n = 0;
    obj_class_count(cls, &n);
    return n;
  }
  std::vector<bitmap_t*> made_;
  std::string swap_dir_;
};

// The plug-in reads fields by byte offset: a value written at an offset must be the
// field of that name, and the record must be registered at its full size.
TEST_F(BitmapTest, FieldsSitAtTheirByteOffsets) {
  EXPECT_EQ(obj_class_size(CLS_BITMAP), 994);
  EXPECT_EQ(obj_class_size(CLS_IMG_FRAME), 30);
  struct Case {
    int offset;
    int32_t (*read)(const bitmap_t*);
  };
  const Case cases[] = {
      {25, [](const bitmap_t* b) { return int32_t(b->format); }},
      {29, [](const bitmap_t* b) { return int32_t(b->bits_per_sample); }},
      {33, [](const bitmap_t* b) { return int32_t(b->samples_per_pixel); }},
      {45, [](const bitmap_t* b) { return int32_t(b->variant); }},
      {49, [](const bitmap_t* b) { return int32_t(b->width); }},
      {53, [](const bitmap_t* b) { return int32_t(b->height); }},
      {57, [](const bitmap_t* b) { return int32_t(b->tiles_across); }},
      {61, [](const bitmap_t* b) { return int32_t(b->tiles_down); }},
      {105, [](const bitmap_t* b) { return int32_t(b->planes); }},
      {109, [](const bitmap_t* b) { return int32_t(b->xres); }},
      {113, [](const bitmap_t* b) { return int32_t(b->yres); }},
      {125, [](const bitmap_t* b) { return int32_t(b->frame_number); }},
  };
  for (const Case& c : cases) {
    unsigned char raw[sizeof(bitmap_t)] = {};
    const int32_t v = 0x01020304 + c.offset;
    std::memcpy(raw + c.offset, &v, 4);
    bitmap_t rec;
    std::memcpy(&rec, raw, sizeof rec);
    EXPECT_EQ(c.read(&rec), v) << "offset " << c.offset;
  }
  // Pointers and doubles: 8 bytes each at the offsets of this build.
  unsigned char raw[sizeof(bitmap_t)] = {};
  const double gamma = 2.2;
  std::memcpy(raw + 142, &gamma, 8);
  void* p = raw;
  std::memcpy(raw + 16, &p, 8);
  std::memcpy(raw + 978, &p, 8);
  raw[150 + 7] = 70;
  raw[406 + 7] = 71;
  raw[662 + 7] = 72;
  bitmap_t rec;
  std::memcpy(&rec, raw, sizeof rec);
  EXPECT_EQ(+rec.gamma, 2.2);
  EXPECT_EQ(static_cast<void*>(+rec.file), p);
  EXPECT_EQ(+rec.decoder, p);
  EXPECT_EQ(+rec.lut_r[7], 70);
  EXPECT_EQ(+rec.lut_g[7], 71);
  EXPECT_EQ(+rec.lut_b[7], 72);
}

// Size, planes and overview tiles for a table of requests; both stores are made with
// the right line counts and sizes.
TEST_F(BitmapTest, AllocBitmapNormalisesAndMakesBothStores) {
  struct Case {
    int w, h, planes;
    int ew, eh, eplanes, tx, ty;
  };
  const Case cases[] = {
      {0, 0, 2, 1, 1, 3, 1, 1},      {25, 10, 1, 25, 10, 1, 3, 1},
      {10, 10, 3, 10, 10, 3, 1, 1},  {11, 21, 0, 11, 21, 1, 2, 3},
      {-7, 5, -1, 1, 5, 1, 1, 1},    {1000, 1, 3, 1000, 1, 3, 100, 1},
  };
  for (const Case& c : cases) {
    bitmap_t* b = make();
    ASSERT_EQ(alloc_bitmap(b, c.w, c.h, c.planes, 0), 0) << c.w << "x" << c.h;
    EXPECT_EQ(+b->width, c.ew);
    EXPECT_EQ(+b->height, c.eh);
    EXPECT_EQ(+b->planes, c.eplanes);
    EXPECT_EQ(+b->tiles_across, c.tx);
    EXPECT_EQ(+b->tiles_down, c.ty);
    filemobj_t* lines = b->lines;
    filemobj_t* overview = b->overview;
    ASSERT_NE(lines, nullptr);
    ASSERT_NE(overview, nullptr);
    EXPECT_EQ(filemobj_line_count(lines), c.eh);
    EXPECT_EQ(filemobj_line_size(lines), c.ew * c.eplanes);
    EXPECT_EQ(filemobj_line_count(overview), c.ty);
    EXPECT_EQ(filemobj_line_size(overview), c.tx * c.eplanes);
    EXPECT_EQ(filemobj_owner(lines), static_cast<obj_t*>(b));
  }
}

// Allocating again replaces the stores instead of leaking them.
TEST_F(BitmapTest, AllocBitmapAgainReplacesTheStores) {
  bitmap_t* b = make();
  ASSERT_EQ(alloc_bitmap(b, 4, 4, 1, 0), 0);
  ASSERT_EQ(alloc_bitmap(b, 8, 2, 3, 3), 0);
  EXPECT_EQ(count_of(kLineStoreClass), 2);
  EXPECT_EQ(filemobj_line_size(b->lines), 24);
}

// A header whose row cannot be one line, or whose line count is beyond every budget,
// fails cleanly with the memory code.
TEST_F(BitmapTest, AllocBitmapRefusesImpossibleSizes) {
  struct Case {
    int w, h, planes;
  };
  const Case cases[] = {{INT_MAX, 1, 3}, {INT_MAX / 2, 2, 3}, {1, INT_MAX, 1}};
  for (const Case& c : cases) {
    set_gblerr(0);
    bitmap_t* b = make();
    EXPECT_EQ(alloc_bitmap(b, c.w, c.h, c.planes, 0), -1);
    EXPECT_EQ(get_gblerr(), ERR_MEMORY);
    set_gblerr(0);
  }
  EXPECT_EQ(alloc_bitmap(nullptr, 1, 1, 1, 0), -1);
}

// Plane p of row r is the row's line + width * p; rows keep what is written; bad
// rows or planes give null instead of an address outside the image.
TEST_F(BitmapTest, RowAddressesAndBounds) {
  bitmap_t* b = make();
  ASSERT_EQ(alloc_bitmap(b, 7, 5, 3, 0), 0);
  for (int r = 0; r < 5; ++r) {
    uint8_t* line = filemobj_get_line(b->lines, r, 0);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(get_img_line_adr(b, r, p), line + 7 * p);
    std::memset(get_img_line_adr(b, r, 2), 10 + r, 7);
  }
  for (int r = 0; r < 5; ++r) EXPECT_EQ(get_img_line_adr(b, r, 2)[6], 10 + r);
  const int bad[][2] = {{-1, 0}, {5, 0}, {0, -1}, {0, 3}, {INT_MAX, 0}};
  for (const auto& rp : bad) EXPECT_EQ(get_img_line_adr(b, rp[0], rp[1]), nullptr);
  EXPECT_EQ(get_img_line_adr(nullptr, 0, 0), nullptr);
  bitmap_t* empty = make();  // no stores
  EXPECT_EQ(get_img_line_adr(empty, 0, 0), nullptr);

  bitmap_clear(b);
  for (int r = 0; r < 5; ++r)
    for (int i = 0; i < 21; ++i) ASSERT_EQ(get_img_line_adr(b, r, 0)[i], 0);
}

TEST_F(BitmapTest, LookupTables) {
  bitmap_t* b = make();
  set_graylevel_lut(b);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(b->lut_r[i], i);
    ASSERT_EQ(b->lut_g[i], i);
    ASSERT_EQ(b->lut_b[i], i);
  }
  struct Case {
    int n;
    int entry;
    int value;
  };
  const Case cases[] = {{1, 0, 0}, {1, 1, 255}, {4, 1, 17}, {4, 15, 255}, {8, 200, 200},
                        {2, 2, 170}, {3, 7, 252}};
  for (const Case& c : cases) {
    std::memset(b->lut_r, 9, 768);
    EXPECT_EQ(set_nbit_gray_lut(b, c.n), 0);
    EXPECT_EQ(+b->lut_r[c.entry], c.value) << "n=" << c.n;
    EXPECT_EQ(+b->lut_g[c.entry], c.value);
    EXPECT_EQ(+b->lut_b[c.entry], c.value);
    if (c.n < 8) {
      EXPECT_EQ(+b->lut_r[1 << c.n], 9) << "entries past 2^n stay";
    }
  }
  std::memset(b->lut_r, 9, 768);
  EXPECT_EQ(set_nbit_gray_lut(b, 9), ERR_VALUE);
  EXPECT_EQ(get_gblerr(), ERR_VALUE);
  EXPECT_EQ(+b->lut_r[0], 9);
  set_gblerr(0);
}

// The destructor frees both stores, the georef and the second object, the name, and
// hands the decoder to its release routine before freeing it.
TEST_F(BitmapTest, DestroyReleasesEverything) {
  static int released = 0;
  static void* seen = nullptr;
  released = 0;
  bitmap_t* b = make();
  made_.clear();
  ASSERT_EQ(alloc_bitmap(b, 3, 3, 1, 0), 0);
  georef_t* g = nullptr;
  obj_new_registered(CLS_GEOREF, &g);
  b->georef = g;
  obj_t* step = nullptr;
  obj_new_registered(CLS_XFORM_SCALE, &step);
  b->georef2 = step;
  b->name = dup_owned_string("photo");
  void* decoder = nullptr;
  alloc_mem(&decoder, 4);
  b->decoder = decoder;
  b->release = [](void* d) {
    ++released;
    seen = d;
  };
  EXPECT_EQ(count_of(kLineStoreClass), 2);
  free_obj(&b);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(count_of(kLineStoreClass), 0);
  EXPECT_EQ(count_of(CLS_GEOREF), 0);
  EXPECT_EQ(count_of(CLS_XFORM_SCALE), 0);
  EXPECT_EQ(released, 1);
  EXPECT_EQ(seen, decoder);
}

// ECW images have their view ended before the stores go; other images do not.
TEST_F(BitmapTest, DestroyEndsEcwViewsOnly) {
  static int ended = 0;
  ended = 0;
  get_bitmap_hooks().ecw_end_view = [](bitmap_t*) { ++ended; };
  bitmap_t* file_stand_in = make();  // any object stands for the file
  struct Case {
    obj_t* file;
    int format;
    int ends;
  };
  const Case cases[] = {{file_stand_in, kFormatEcw, 1}, {nullptr, kFormatEcw, 0},
                        {file_stand_in, kFormatTiff, 0}};
  for (const Case& c : cases) {
    ended = 0;
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    b->file = c.file;
    b->format = c.format;
    free_obj(&b);
    EXPECT_EQ(ended, c.ends);
  }
  bitmap_t* ecw = make();
  ecw->file = file_stand_in;
  ecw->format = kFormatEcw;
  ended = 0;
  bitmap_close_ecw_views();
  EXPECT_EQ(ended, 1);
}

TEST_F(BitmapTest, CloneHeaderCopiesTheHeaderWithoutStores) {
  bitmap_t* src = make();
  ASSERT_EQ(alloc_bitmap(src, 12, 9, 3, 0), 0);
  src->format = 5;
  src->bits_per_sample = 8;
  src->samples_per_pixel = 3;
  src->loader_words[0] = 41;
  src->loader_words[1] = 42;
  src->variant = 6;
  src->xres = 300;
  src->yres = 150;
  src->frame_number = 2;
  src->transparent[0] = 7;
  src->has_transparent = 1;
  src->gamma = 1.8;
  src->lut_b[255] = 3;
  src->name = dup_owned_string("scan");
  bitmap_t* copy = nullptr;
  bitmap_clone_header(src, &copy);
  ASSERT_NE(copy, nullptr);
  made_.push_back(copy);
  EXPECT_NE(+copy->id, src->id);
  EXPECT_EQ(+copy->format, 5);
  EXPECT_EQ(+copy->loader_words[1], 42);
  EXPECT_EQ(+copy->variant, 6);
  EXPECT_EQ(+copy->width, 12);
  EXPECT_EQ(+copy->height, 9);
  EXPECT_EQ(+copy->tiles_across, 2);
  EXPECT_EQ(+copy->planes, 3);
  EXPECT_EQ(+copy->yres, 150);
  EXPECT_EQ(+copy->frame_number, 2);
  EXPECT_EQ(+copy->transparent[0], 7);
  EXPECT_EQ(+copy->gamma, 1.8);
  EXPECT_EQ(+copy->lut_b[255], 3);
  EXPECT_EQ(+copy->lines, nullptr);
  EXPECT_EQ(+copy->overview, nullptr);
  char* name = copy->name;
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, "scan");
  EXPECT_NE(name, static_cast<char*>(src->name));
  EXPECT_EQ(bitmap_clone_header(nullptr, &copy), nullptr);
}

TEST_F(BitmapTest, SmallQueries) {
  int w = -1, h = -1;
  bitmap_get_size(nullptr, &w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  extent_t e{1, 2, 3, 4, 5};
  bitmap_extent(nullptr, &e);
  EXPECT_TRUE(extent_is_null(e));
  bitmap_t* b = make();
  ASSERT_EQ(alloc_bitmap(b, 30, 20, 1, 0), 0);
  bitmap_get_size(b, &w, &h);
  EXPECT_EQ(w, 30);
  EXPECT_EQ(h, 20);
  bitmap_extent(b, &e);
  EXPECT_EQ(e.xmin, 0);
  EXPECT_EQ(e.xmax, 30);
  EXPECT_EQ(e.ymin, 0);
  EXPECT_EQ(e.ymax, 20);
  EXPECT_EQ(bitmap_is_tiff(b), 0);
  b->format = kFormatTiff;
  EXPECT_EQ(bitmap_is_tiff(b), 1);
  EXPECT_EQ(bitmap_is_tiff(nullptr), 0);
}

// A row swapped out alone leaves memory and comes back with its bytes; a discardable
// store keeps its rows (they could never come back).
TEST_F(BitmapTest, SwapOutLineWritesThenDrops) {
  bitmap_t* b = make();
  ASSERT_EQ(alloc_bitmap(b, 16, 4, 1, 0), 0);
  std::memset(get_img_line_adr(b, 2, 0), 0x5A, 16);
  EXPECT_EQ(bitmap_line_loaded(b, 2), 1);
  EXPECT_EQ(bitmap_line_loaded(b, 3), 0);
  bitmap_swap_out_line(b, 2);
  EXPECT_EQ(bitmap_line_loaded(b, 2), 0);
  EXPECT_EQ(get_img_line_adr(b, 2, 0)[15], 0x5A);
  EXPECT_EQ(bitmap_line_loaded(b, 2), 1);

  bitmap_t* d = make();
  ASSERT_EQ(alloc_bitmap(d, 16, 4, 1, 3), 0);
  get_img_line_adr(d, 1, 0)[0] = 1;
  bitmap_swap_out_line(d, 1);
  EXPECT_EQ(bitmap_line_loaded(d, 1), 1);
  // Out of range rows do nothing.
  bitmap_swap_out_line(b, -1);
  bitmap_swap_out_line(b, 4);
  EXPECT_EQ(bitmap_line_loaded(b, 99), 0);
}

TEST_F(BitmapTest, FrameNumbersClearedUnderAList) {
  container_t* list = nullptr;
  obj_list_new(&list);
  container_t* sub = nullptr;
  obj_list_new(&sub);
  bitmap_t* a = make();
  bitmap_t* c = make();
  a->frame_number = 3;
  c->frame_number = 4;
  obj_list_append(list, a);
  obj_list_append(list, sub);
  obj_list_append(sub, c);
  obj_list_append(sub, sub);  // a list that holds itself ends the walk all the same
  bitmap_clear_frame_numbers(list);
  EXPECT_EQ(+a->frame_number, 0);
  EXPECT_EQ(+c->frame_number, 0);
  bitmap_clear_frame_numbers(nullptr);
  obj_list_clear(sub);
  obj_list_clear(list);
  free_obj(&list);
  free_obj(&sub);
}

TEST_F(BitmapTest, FileGetBitmapFindsTheFirstBitmap) {
  fileobj_types_register();
  fileatt_t* file = nullptr;
  obj_new_registered(kFileClass, &file);
  bitmap_t* found = make();
  EXPECT_EQ(file_get_bitmap(file, &found), nullptr);
  EXPECT_EQ(found, nullptr);
  container_t* sot = nullptr;
  obj_list_new(&sot);
  file->sot = sot;
  bitmap_t* first = make();
  bitmap_t* second = make();
  obj_t* other = nullptr;
  obj_new_registered(CLS_GEOREF, &other);
  obj_list_append(sot, other);
  obj_list_append(sot, first);
  obj_list_append(sot, second);
  EXPECT_EQ(file_get_bitmap(file, &found), first);
  EXPECT_EQ(found, first);
  EXPECT_EQ(file_get_bitmap(nullptr, &found), nullptr);
  obj_list_clear(sot);
  free_obj(&other);
  free_obj(&file);
}

// Start-up registers the classes, creates the image list and answers the line store's
// question about 24-bit bitmaps.
TEST_F(BitmapTest, ModuleInitInstallsTheLineStoreHooks) {
  EXPECT_NE(bitmap_image_list(), nullptr);
  const line_store_hooks& hooks = get_line_store_hooks();
  ASSERT_NE(hooks.is_rgb_bitmap, nullptr);
  ASSERT_NE(hooks.close_ecw_views, nullptr);
  bitmap_t* rgb = make();
  rgb->planes = 3;
  bitmap_t* grey = make();
  grey->planes = 1;
  EXPECT_EQ(hooks.is_rgb_bitmap(rgb), 1);
  EXPECT_EQ(hooks.is_rgb_bitmap(grey), 0);
  EXPECT_EQ(hooks.is_rgb_bitmap(nullptr), 0);
}

// The names the plug-in binds: the C names are the routines themselves.
TEST_F(BitmapTest, ExportsHavePlainNames) {
  const void* const* entries = nullptr;
  ASSERT_EQ(bitmap_exported_entries(&entries), 4);
  EXPECT_EQ(entries[0], reinterpret_cast<const void*>(&alloc_bitmap));
  obj_t* o = nullptr;
  EXPECT_EQ(alloc_obj_export(CLS_BITMAP, &o), o);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->cls, CLS_BITMAP);
  EXPECT_EQ(o->id, 0);
  free_obj(&o);
}

// Looked up by name in the program's own module, as the plug-in does. This needs the
// test program to be linked with exported symbols (ENABLE_EXPORTS / -rdynamic).
TEST_F(BitmapTest, ExportsResolveByNameInTheProgram) {
  void* self = dlopen(nullptr, RTLD_NOW);
  ASSERT_NE(self, nullptr);
  if (!dlsym(self, "gblerr")) {
    dlclose(self);
    GTEST_SKIP() << "the test program does not export its symbols (link it with -rdynamic)";
  }
  struct Name {
    const char* name;
    const void* expected;
  };
  const Name names[] = {
      {"alloc_bitmap", reinterpret_cast<const void*>(&alloc_bitmap)},
      {"get_img_line_adr", reinterpret_cast<const void*>(&get_img_line_adr)},
      {"set_graylevel_lut", reinterpret_cast<const void*>(&set_graylevel_lut)},
      {"alloc_obj", reinterpret_cast<const void*>(&alloc_obj_export)},
      {"alloc_mem", reinterpret_cast<const void*>(&alloc_mem_export)},
      {"get_loc_mem", reinterpret_cast<const void*>(&get_loc_mem)},
      {"gblerr", static_cast<const void*>(&gblerr)},
  };
  for (const Name& n : names) EXPECT_EQ(dlsym(self, n.name), n.expected) << n.name;
  // Through the name, the allocator makes a real bitmap with its stores.
  using alloc_fn = int (*)(bitmap_t*, int, int, int, int);
  auto fn = reinterpret_cast<alloc_fn>(dlsym(self, "alloc_bitmap"));
  bitmap_t* b = make();
  ASSERT_EQ(fn(b, 5, 5, 1, 3), 0);
  EXPECT_NE(get_img_line_adr(b, 4, 0), nullptr);
  dlclose(self);
}

}  // namespace
