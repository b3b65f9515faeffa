// Test support of the MrSID plug-in (sid_fixture.h).
#include "tests/tmsid/sid_fixture.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/tracelog.h"
#include "raster/image_load.h"
#include "raster/image_load_internal.h"
#include "raster/sid_host.h"
#include "tests/map/map_model_fixture.h"
#include "tests/raster/image_env.h"
#include "tests/support/test_env.h"

namespace sid_test {

namespace {

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void put_f64(std::vector<uint8_t>& out, double d) {
  uint64_t v;
  std::memcpy(&v, &d, sizeof v);
  for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// A symbol of the plug-in (loaded by the host already: RTLD_NOLOAD finds it).
void* plugin_symbol(const char* name) {
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string dir = n > 0 ? std::string(exe, size_t(n)) : "";
  dir = dir.substr(0, dir.rfind('/') + 1);
  void* lib = dlopen((dir + kSidPluginFile).c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!lib) return nullptr;
  void* sym = dlsym(lib, name);
  dlclose(lib);
  return sym;
}

void* decoder_symbol(const char* name) {
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string dir = n > 0 ? std::string(exe, size_t(n)) : "";
  dir = dir.substr(0, dir.rfind('/') + 1);
  void* lib = dlopen((dir + kLticLibraryName).c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!lib) return nullptr;
  void* sym = dlsym(lib, name);
  dlclose(lib);
  return sym;
}

}  // namespace

std::vector<uint8_t> encode(const msid::header& h) {
  std::vector<uint8_t> out = {'m', 's', 'i', 'd'};
  for (uint32_t v : {msid::kVersion, h.width, h.height, uint32_t(h.bands), uint32_t(h.data_type),
                     uint32_t(h.colour_space), uint32_t(h.fail_call), uint32_t(h.delay_ms), 0u})
    put_u32(out, v);
  for (double d : {h.max_mag, h.min_mag, h.x_rot, h.y_rot, h.x_res, h.y_res, h.x_origin,
                   h.y_origin})
    put_f64(out, d);
  return out;
}

std::string fixture(const char* name) { return std::string(TM_FIXTURE_DIR "/tmsid/") + name; }

int open_handles() {
  using count_fn = int (*)();
  auto fn = reinterpret_cast<count_fn>(decoder_symbol("msid_open_handles"));
  return fn ? fn() : -1;
}

void load_sid(bitmap_t* image, int line, int* result) {
  auto fn = reinterpret_cast<sid_load_fn>(plugin_symbol("sid_load_sid"));
  ASSERT_NE(fn, nullptr);
  int32_t r = -1;
  fn(image, line, &r);
  *result = r;
}

void display_sid(bitmap_t* image, sid_window* window, int grey, uint8_t* d8, uint32_t* d32,
                 int stride) {
  auto fn = reinterpret_cast<sid_display_fn>(plugin_symbol("sid_display_sid"));
  ASSERT_NE(fn, nullptr);
  fn(image, window, grey, d8, d32, stride);
}

void SidTest::SetUp() {
  raster_test::reset_image_env();
  dir_ = tm_test::fresh_dir("tmsid");
  config_reset();
  config_temp_dir_set(dir_.c_str(), "s_");
  config_set("LOG_DIR", dir_.c_str());
  config_set("LOGERROR", "1");
  config_set("LANG", "ENGLISH");
  log_init("TARM");
  log_file_ = dir_ + "calls.log";
  setenv("MSID_CALL_LOG", log_file_.c_str(), 1);
  unsetenv("MSID_FAIL");
  unsetenv("MSID_DELAY_MS");
  sid_plugin_set_path(nullptr);
  int bound = 0;
  sid_plugin_load(&bound);
  ASSERT_EQ(bound, 1) << "the plug-in and its decoding library lie beside the test program";
  set_gblerr(0);
}

void SidTest::TearDown() {
  unsetenv("MSID_CALL_LOG");
  unsetenv("MSID_FAIL");
  unsetenv("MSID_DELAY_MS");
  set_gblerr(0);
  rd_close_all();
  image_close_reopened_files();
  image_reopened_free();
  for (bitmap_t*& b : made_) free_obj(&b);
  made_.clear();
  for (container_t*& list : lists_) tm_test::free_list(list);
  lists_.clear();
  // Every handle the tests opened is closed with its image.
  EXPECT_EQ(open_handles(), 0);
  raster_test::end_image_env();
}

std::string SidTest::write_file(const msid::header& h, const char* name) {
  const std::string path = dir_ + name;
  const std::vector<uint8_t> data = encode(h);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                               std::streamsize(data.size()));
  return path;
}

fileatt_t* SidTest::image_file(const std::string& path) {
  fileatt_t* f = nullptr;
  file_open(nullptr, nullptr, path.c_str(), &f);
  EXPECT_NE(f, nullptr) << path;
  if (!f) return nullptr;
  f->filetype = kFileKindImage;
  f->fileformat = uint32_t(kDecoderSid);
  return f;
}

bitmap_t* SidTest::load(const std::string& path, int* result) {
  container_t* list = tm_test::empty_list();
  lists_.push_back(list);
  int status = 0;
  const int rc = image_load(image_file(path), list, nullptr, kImageFirstLoad, &status, 0);
  if (result) *result = rc;
  bitmap_t* b = nullptr;
  obj_list_first_of_class(list, CLS_BITMAP, reinterpret_cast<obj_t**>(&b));
  return b;
}

bitmap_t* SidTest::bare_record(const std::string& path) {
  bitmap_t* b = nullptr;
  obj_new_registered(CLS_BITMAP, &b);
  EXPECT_NE(b, nullptr);
  if (!b) return nullptr;
  b->file = image_file(path);
  b->format = kDecoderSid;
  b->gamma = -1.0;
  set_graylevel_lut(b);
  made_.push_back(b);
  return b;
}

void SidTest::free_image(bitmap_t* image) {
  for (container_t* list : lists_) obj_list_remove_id(list, image->id);
  for (bitmap_t*& b : made_)
    if (b == image) b = nullptr;
  free_obj(&image);
}

std::vector<std::string> SidTest::calls() const {
  std::vector<std::string> out;
  std::ifstream in(log_file_);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

void SidTest::clear_calls() const { std::remove(log_file_.c_str()); }

std::string SidTest::trace_log() const { return raster_test::file_text(log_path()); }

}  // namespace sid_test
