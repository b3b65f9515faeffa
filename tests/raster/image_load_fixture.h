// Test support of the image loading dispatcher and the raster operations: a fresh object
// store with the geodesy tables and the map model's classes, a swap folder of its own,
// the raster module started, file objects of the map model for fixture files, and
// images of a known pattern made by a decoder row of the test itself.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/tracelog.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "raster/image_load.h"
#include "tests/map/map_model_fixture.h"
#include "tests/raster/decoder_fixture.h"

namespace raster_test {

// Codes of the test's own decoder rows (codes without a reader in this build).
constexpr int kPatternCode = 15;
constexpr int kFailingCode = 17;

// The sample of plane p at (x, y) of the pattern images.
inline uint8_t pattern(int x, int y, int p) { return uint8_t(x * 7 + y * 13 + p * 101 + 1); }

// What the pattern decoder row saw and does; one per test (reset by the fixture).
struct pattern_row_state {
  int width = 25, height = 7, planes = 1, mode = 2;
  int calls = 0;
  int last_requested_line = 0;
  int32_t floor_inside = 0;
  int result = 0;                  // a result other than 0 is returned after allocating
  std::vector<int> lines_written;  // null: every line
  bool only_requested = false;     // a second decode writes only the requested line
};
pattern_row_state& pattern_state();
// The pattern decoder row (fill it at a code with image_decoder_register).
int pattern_row(const image_decode_call& call);
// A decoder row that writes nothing and answers 14.
int failing_row(const image_decode_call& call);

class ImageLoadTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A file object of the map model for a path, of kind 2 and the given format code.
  fileatt_t* image_file(const std::string& path, int format);
  // A file object of kind 2 whose content is held in memory.
  fileatt_t* memory_image_file(const bytes& data, int format);
  // A first load into a fresh list (kept by the fixture); the image or null.
  bitmap_t* load(obj_t* file, int* result = nullptr);
  // A pattern image loaded through the dispatcher at code kPatternCode.
  bitmap_t* pattern_image(int width, int height, int planes, int mode);
  // An image of the pattern made in memory (mode 2), freed by the fixture; `own` hands
  // an image made by an operation to the fixture.
  bitmap_t* new_image(int width, int height, int planes);
  bitmap_t* own(bitmap_t* image);
  // A position record (degrees on the datum of the code) given to the image.
  void give_position(bitmap_t* image, double lon, double lat, int datum_code = 214);
  // A georeference freed by the fixture.
  georef_t* own_georef(georef_t* g) {
    georefs_.push_back(g);
    return g;
  }
  // Number of image records in the class list.
  static int image_count();
  // Forgets the configuration and sets it again: the swap folder, the trace log, the
  // language ("FRANCAIS" or "ENGLISH") and the reduced-image folder (null: none).
  void configure(const char* lang, const char* reduce_dir);
  // The text of the trace log.
  std::string trace_log() const;

  std::vector<container_t*> lists_;
  std::vector<bitmap_t*> made_;
  std::vector<georef_t*> georefs_;
  std::string log_dir_;
  std::string swap_dir_;
};

}  // namespace raster_test
