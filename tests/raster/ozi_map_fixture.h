// Test support of the OziExplorer calibration decoder: the geodesy tables, real file
// objects, the bitmap classes and the image loading with its decoder rows, and an
// identification that goes by extension (".map" a calibration file, ".png" a PNG image,
// anything else unknown), so that the decoder loads the image it names as the program
// does. Calibration files are read from the fixture folder or written to a fresh folder
// beside a copy of the fixture image.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/line_store.h"
#include "core/reader.h"
#include "geodesy/geodesy_tables.h"
#include "map/bitmap_record.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "raster/image_load.h"
#include "raster/ozi_map.h"
#include "tests/geodesy/geodesy_fixture.h"
#include "tests/map/file_types_env.h"
#include "tests/support/test_env.h"

namespace raster_test {

inline std::string ozi_fixture(const std::string& name) {
  return std::string(TM_FIXTURE_DIR) + "/raster/ozi/" + name;
}

class OziMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0);
    rd_close_all();
    config_temp_dir_set(tm_test::fresh_dir("ozswap").c_str(), "s_");
    image_decoders_reset();
    raster_module_init();
    ozi_map_register();
    bitmap_module_init();
    tm_test::register_file_types_once();
    file_detail::file_ops_table_install();
    get_image_load_hooks().identify = identify_by_extension;
    set_gblerr(0);
    dir_ = tm_test::fresh_dir("ozi");
    std::filesystem::copy_file(ozi_fixture("tile.png"), dir_ + "/tile.png");
  }
  void TearDown() override {
    set_gblerr(0);
    rd_close_all();
    for (bitmap_t*& b : made_) free_obj(&b);
    // The image files the decoder opened are sons of the calibration files; in the
    // program they live on in the file table, here they go with the test.
    for (fileatt_t*& f : files_) {
      std::vector<obj_t*> sons;
      for (int i = 0; i < obj_list_count(f->sons); ++i) sons.push_back(f->sons->elems[i]);
      free_obj(&f);
      for (obj_t*& son : sons) free_obj(&son);
    }
    get_image_load_hooks() = image_load_hooks{};
    image_decoders_reset();
    file_ops_install(nullptr);
  }

  static void identify_by_extension(obj_t* obj) {
    fileatt_t* f = file_of(obj);
    if (!f || !f->name) return;
    const std::string name = f->name;
    auto ends = [&](const char* e) {
      const std::string s = e;
      return name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0;
    };
    f->filetype = ends(".map") || ends(".png") ? kFileKindImage : 125;
    f->fileformat = ends(".map") ? kDecoderOziMap : (ends(".png") ? kDecoderPng : 0);
  }

  fileatt_t* open(const std::string& path) {
    fileatt_t* f = nullptr;
    file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &f);
    EXPECT_NE(f, nullptr);
    if (f) files_.push_back(f);
    return f;
  }
  // A record of the calibration file as the dispatcher hands it to the decoder.
  bitmap_t* record_for(fileatt_t* f) {
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    b->file = f;
    b->format = kDecoderOziMap;
    b->gamma = -1.0;
    set_graylevel_lut(b);
    return b;
  }
  // Runs the decoder on a calibration file: its result, and the record it leaves in
  // *out (freed at the end of the test).
  int decode_path(const std::string& path, bitmap_t** out = nullptr) {
    bitmap_t* b = record_for(open(path));
    const int rc = ozi_read_map_file(&b, 0);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    made_.push_back(b);
    if (out) *out = b;
    return rc;
  }
  // A calibration file written beside the image copy.
  std::string put(const std::string& text, const std::string& name = "t.map") {
    return tm_test::write_file(dir_ + "/" + name, text);
  }

  // The calibration alone (the georeference and the fitted step), read from a file.
  int calibrate(const std::string& path, ozi_calibration* out) {
    ozi_map_text text;
    const int rc = ozi_map_read_text(open(path), &text);
    if (rc != 0) return rc;
    return ozi_map_calibrate(text, out);
  }

  std::string dir_;
  std::vector<bitmap_t*> made_;
  std::vector<fileatt_t*> files_;
};

}  // namespace raster_test
