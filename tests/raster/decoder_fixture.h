// Test support of the image decoders: a fresh object store with the bitmap classes, the
// stand-in file objects, and image records prepared as the image loading dispatcher
// prepares them (file object, decoder code, identity lookup tables, gamma -1.0), so
// that each decoder is called directly, on a fixture file or on bytes held in memory.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
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

// A fixture file's name without its extension.
inline std::string fixture_stem(const std::string& name) { return name.substr(0, name.rfind('.')); }

// The test name of a fixture file parameter: its stem, with every character other than a
// letter or a digit made '_'.
inline std::string case_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string s = fixture_stem(info.param);
  for (char& c : s)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return s;
}

// The image's pixels as RGB, row after row: one-plane images through the lookup tables.
bytes image_rgb(bitmap_t* b);

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

  // Decodes bytes held in memory; checks that gblerr is left clear. Without `out` the
  // record and its in-memory file are freed at once, so that a test decoding every cut
  // of a file holds one copy at a time, not thousands until it ends (the process's size
  // is part of the memory budget the next decoder sees).
  int decode(decoder_fn fn, const bytes& data, bitmap_t** out = nullptr) {
    bitmap_t* b = record_for_bytes(data, 0);
    const int rc = fn(b);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    if (out) {
      *out = b;
      return rc;
    }
    rd_close_all();
    obj_t* file = b->file;
    made_.pop_back();
    free_obj(&b);
    tm_test::free_stub_file(file);
    return rc;
  }

  // Decodes the fixture `name` of the `format` folder with `fn` (decoder code `code`) and
  // checks it against the RGB reference beside it (<stem>.rgb): the decoder succeeds,
  // leaves gblerr clear, and gives the reference's pixels. Returns the record, for checks
  // of its own fields.
  bitmap_t* expect_reference_pixels(const std::string& format, const std::string& name,
                                    decoder_fn fn, int code) {
    bitmap_t* b = record_for_path(fixture(format, name), code);
    const int rc = fn(b);
    EXPECT_EQ(rc, 0) << name;
    EXPECT_EQ(get_gblerr(), 0) << name;
    if (rc != 0) return b;
    const bytes want = read_bytes(fixture(format, fixture_stem(name) + ".rgb"));
    const size_t size = size_t(b->width) * b->height * 3;
    EXPECT_EQ(size, want.size()) << name;
    if (size == want.size()) {
      EXPECT_EQ(image_rgb(b), want) << name;
    }
    return b;
  }

  std::vector<bitmap_t*> made_;
};

}  // namespace raster_test
