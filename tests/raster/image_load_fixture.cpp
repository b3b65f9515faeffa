// Test support of the image loading dispatcher (image_load_fixture.h).
#include "tests/raster/image_load_fixture.h"

#include <fstream>
#include <sstream>

#include "core/line_store_record.h"
#include "core/tracelog.h"
#include "raster/image_load_internal.h"
#include "raster/image_place.h"
#include "raster/raster_ops.h"
#include "tests/raster/image_env.h"

namespace raster_test {

pattern_row_state& pattern_state() {
  static pattern_row_state s;
  return s;
}

int pattern_row(const image_decode_call& call) {
  pattern_row_state& s = pattern_state();
  ++s.calls;
  s.last_requested_line = call.requested_line;
  s.floor_inside = filemobj_min_generation();
  bitmap_t* b = *call.image;
  b->bits_per_sample = 8;
  b->samples_per_pixel = s.planes;
  if (alloc_bitmap(b, s.width, s.height, s.planes, s.mode) != 0) return ERR_MEMORY;
  for (int y = 0; y < s.height; ++y) {
    if (s.only_requested && call.requested_line >= 0 && y != call.requested_line) continue;
    for (int p = 0; p < s.planes; ++p) {
      uint8_t* line = get_img_line_adr(b, y, p);
      if (!line) return ERR_MEMORY;
      for (int x = 0; x < s.width; ++x) line[x] = pattern(x, y, p);
    }
    s.lines_written.push_back(y);
  }
  return s.result;
}

int failing_row(const image_decode_call&) { return ERR_BAD_FILE; }

void ImageLoadTest::SetUp() {
  reset_image_env();
  swap_dir_ = tm_test::fresh_dir("iswap");
  image_decoder_register(kPatternCode, pattern_row);
  image_decoder_register(kFailingCode, failing_row);
  pattern_state() = pattern_row_state{};
  log_dir_ = tm_test::fresh_dir("ilog");
  configure("ENGLISH", nullptr);
  set_gblerr(0);
}

void ImageLoadTest::TearDown() {
  set_gblerr(0);
  set_embedded(false);
  raster_ops_set_budget_probe(nullptr);
  rd_close_all();
  image_close_reopened_files();
  image_reopened_free();
  overview_queue_clear();
  for (bitmap_t*& b : made_) free_obj(&b);
  made_.clear();
  for (georef_t*& g : georefs_) free_obj(&g);
  georefs_.clear();
  for (container_t*& list : lists_) tm_test::free_list(list);
  lists_.clear();
  end_image_env();
}

fileatt_t* ImageLoadTest::image_file(const std::string& path, int format) {
  fileatt_t* f = nullptr;
  file_open(nullptr, nullptr, path.c_str(), &f);
  EXPECT_NE(f, nullptr) << path;
  if (!f) return nullptr;
  f->filetype = kFileKindImage;
  f->fileformat = uint32_t(format);
  return f;
}

fileatt_t* ImageLoadTest::memory_image_file(const bytes& data, int format) {
  fileatt_t* f = nullptr;
  file_new_in_memory(&f);
  EXPECT_NE(f, nullptr);
  if (!f) return nullptr;
  filemobj_append(f->store, data.data(), int64_t(data.size()));
  file_set_size(f, int64_t(data.size()));
  f->filetype = kFileKindImage;
  f->fileformat = uint32_t(format);
  return f;
}

bitmap_t* ImageLoadTest::load(obj_t* file, int* result) {
  container_t* list = tm_test::empty_list();
  lists_.push_back(list);
  int status = 0;
  const int rc = image_load(file, list, nullptr, kImageFirstLoad, &status, 0);
  if (result) *result = rc;
  bitmap_t* b = nullptr;
  obj_list_first_of_class(list, CLS_BITMAP, reinterpret_cast<obj_t**>(&b));
  return b;
}

bitmap_t* ImageLoadTest::pattern_image(int width, int height, int planes, int mode) {
  pattern_row_state& s = pattern_state();
  s.width = width;
  s.height = height;
  s.planes = planes;
  s.mode = mode;
  const std::string path = tm_test::fresh_dir("ipat") + "pattern.img";
  std::ofstream(path) << "pattern";
  int rc = -1;
  bitmap_t* b = load(image_file(path, kPatternCode), &rc);
  EXPECT_EQ(rc, 0);
  return b;
}

void ImageLoadTest::configure(const char* lang, const char* reduce_dir) {
  config_reset();
  config_temp_dir_set(swap_dir_.c_str(), "s_");
  config_set("LOG_DIR", log_dir_.c_str());
  config_set("LOGERROR", "1");
  config_set("LANG", lang);
  config_set("REDUCE_IMAGE_DIR", reduce_dir);
  log_init("TARM");
}

bitmap_t* ImageLoadTest::new_image(int width, int height, int planes) {
  bitmap_t* b = nullptr;
  obj_new_registered(CLS_BITMAP, &b);
  EXPECT_NE(b, nullptr);
  if (!b) return nullptr;
  made_.push_back(b);
  set_graylevel_lut(b);
  b->gamma = -1.0;
  EXPECT_EQ(alloc_bitmap(b, width, height, planes, 2), 0);
  for (int y = 0; y < height; ++y)
    for (int p = 0; p < b->planes; ++p) {
      uint8_t* line = get_img_line_adr(b, y, p);
      for (int x = 0; line && x < width; ++x) line[x] = pattern(x, y, p);
    }
  return b;
}

bitmap_t* ImageLoadTest::own(bitmap_t* image) {
  if (image) made_.push_back(image);
  return image;
}

void ImageLoadTest::give_position(bitmap_t* image, double lon, double lat, int datum_code) {
  geodatum_t* d = nullptr;
  geo_find_by_code(CLS_GEODATUM, datum_code, &d);
  ASSERT_NE(d, nullptr);
  position_t* pos = nullptr;
  obj_new_registered(CLS_POSITION, &pos);
  ASSERT_NE(pos, nullptr);
  pos->coords.x = lon;
  pos->coords.y = lat;
  pos->datum = d;
  image_set_position(image, pos);
}

int ImageLoadTest::image_count() {
  int n = 0;
  obj_class_count(CLS_BITMAP, &n);
  return n;
}

std::string ImageLoadTest::trace_log() const { return file_text(log_path()); }

}  // namespace raster_test
