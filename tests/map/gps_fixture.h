// Test support for the geographic and GPS classes: the real geodesy tables (the reference
// datum measures speeds), stand-in file objects for the PNG reader's in-memory data,
// the bitmap class, and the GPS classes with their icons from the source tree's data/.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "map/gps_classes.h"
#include "raster/image_load.h"  // kDecoderPng
#include "raster/png_read.h"
#include "tests/geodesy/geodesy_fixture.h"
#include "tests/support/file_stub.h"

namespace tm_test {

// The icon hook on the stand-in file objects: the file's bytes in a stand-in memory file,
// decoded by the image loading's PNG reader as its own hook does on the map model's
// files. The stand-in files are freed with the others after the case.
inline bitmap_t* stub_icon_load(const char* name) {
  std::FILE* f = open_file_resolved(name, "rb");
  if (!f) return set_gblerr(ERR_FILE_ACCESS), nullptr;
  std::vector<uint8_t> bytes;
  uint8_t block[4096];
  for (size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) bytes.insert(bytes.end(), block, block + n);
  std::fclose(f);
  bitmap_t* b = nullptr;
  obj_new_registered(CLS_BITMAP, &b);
  if (!b) return set_gblerr(ERR_MEMORY), nullptr;
  obj_t* file = stub_memory_file(bytes.data(), int64_t(bytes.size()));
  b->file = file;
  b->format = kDecoderPng;
  b->gamma = -1.0;
  b->frame_number = 1;
  set_graylevel_lut(b);
  const int rc = png_read(b);
  rd_close_file(file);
  b->file = nullptr;
  if (rc != 0) {
    free_obj(&b);
    set_gblerr(rc);
  }
  return b;
}

class GpsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(load_real_geodesy_tables(), 0);
    set_gblerr(0);
    rd_close_all();
    install_file_stub();
    bitmap_module_init();
    // The icons decode through the image loading's reader, as in every program (whose
    // start-up fills this hook with raster_icon_load).
    get_bitmap_hooks().icon_load = stub_icon_load;
    gpsobj_types_register();
    ASSERT_EQ(get_gblerr(), 0);
    obj_list_new(&list_);
  }
  // Frees the list and its objects (a derived fixture that frees it earlier leaves null).
  void TearDown() override {
    set_gblerr(0);
    obj_list_free_elements(list_);
    free_obj(&list_);
    rd_close_all();
    gpsobj_free_icons();
    get_bitmap_hooks().icon_load = nullptr;
    free_stub_files();
  }

  // A date-time of 2020-06-01 at `seconds` after 10:00.
  static date_rec at_second(double seconds) {
    const double fraction = (10 * 3600.0 + seconds) / 86400.0;
    return date_rec{20200601.0 + fraction, 1.0 + fraction};
  }

  container_t* list_ = nullptr;
};

inline std::u16string wide(const char16_t* s) { return s ? std::u16string(s) : std::u16string(u"<null>"); }

}  // namespace tm_test
