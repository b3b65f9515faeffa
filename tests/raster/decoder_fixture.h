// Test support of the image decoders: a fresh object store with the bitmap classes, the
// stand-in file objects, and image records prepared as the image loading dispatcher
// prepares them (file object, decoder code, identity lookup tables, gamma -1.0), so
// that each decoder is called directly, on a fixture file or on bytes held in memory.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/line_store.h"
#include "core/reader.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "tests/support/file_stub.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace raster_test {

using decoder_fn = int (*)(bitmap_t*);
using bytes = std::vector<uint8_t>;

inline std::string fixture(const std::string& format, const std::string& name) {
  return std::string(TM_FIXTURE_DIR) + "/raster/" + format + "/" + name;
}

inline bytes read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Names of a fixture folder's images (the files beside which a .rgb reference lies).
std::vector<std::string> fixture_images(const std::string& format);

class DecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    line_store_reset();
    get_line_store_hooks() = line_store_hooks{};
    get_bitmap_hooks() = bitmap_hooks{};
    line_store_register();
    xform_register_classes();
    config_temp_dir_set(tm_test::fresh_dir("rswap").c_str(), "s_");
    bitmap_module_init();
    tm_test::install_file_stub();
    set_gblerr(0);
  }
  void TearDown() override {
    set_gblerr(0);
    rd_close_all();
    for (bitmap_t*& b : made_) free_obj(&b);
    tm_test::free_stub_files();
    file_ops_install(nullptr);
    line_store_reset();
    get_line_store_hooks() = line_store_hooks{};
    config_reset();
  }

  // An image record on a file object, as the dispatcher hands it to a decoder.
  bitmap_t* record_for(obj_t* file, int code) {
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    made_.push_back(b);
    b->file = file;
    b->format = code;
    b->gamma = -1.0;
    set_graylevel_lut(b);
    return b;
  }
  bitmap_t* record_for_path(const std::string& path, int code) {
    return record_for(tm_test::stub_file(path.c_str()), code);
  }
  bitmap_t* record_for_bytes(const bytes& data, int code) {
    return record_for(tm_test::stub_memory_file(data.data(), int64_t(data.size())), code);
  }

  // Decodes bytes held in memory; checks that gblerr is left clear.
  int decode(decoder_fn fn, const bytes& data, bitmap_t** out = nullptr) {
    bitmap_t* b = record_for_bytes(data, 0);
    const int rc = fn(b);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    if (out) *out = b;
    return rc;
  }

  std::vector<bitmap_t*> made_;
};

// The image's pixels as RGB, row after row: one-plane images through the lookup tables.
bytes image_rgb(bitmap_t* b);

}  // namespace raster_test
