// Test support of the MrSID plug-in: the test program is the host. A fresh object store
// with the map model's classes and the raster module, the plug-in bound from the
// program's folder (where the build puts it beside the stand-in decoding library),
// the stand-in's call log in a file of the test's own, and test files of the stand-in's
// format written from a header record.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "platform/mrsid/ltic_api.h"
#include "platform/mrsid/msid_format.h"
#include "raster/sid_plugin.h"

namespace sid_test {

// The bytes of a stand-in file with this header.
std::vector<uint8_t> encode(const msid::header& h);
// The committed fixture of that name.
std::string fixture(const char* name);
// The stand-in's count of handles not yet closed (found in the decoding library).
int open_handles();

class SidTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A stand-in file with this header, in the test's folder.
  std::string write_file(const msid::header& h, const char* name = "image.sid");
  // A file object of kind 2, format 18, for the path.
  fileatt_t* image_file(const std::string& path);
  // A first load through the dispatcher; the image (kept by the fixture) or null.
  bitmap_t* load(const std::string& path, int* result = nullptr);
  // A record for the path, not loaded (the plug-in's exports are called on it directly);
  // kept by the fixture.
  bitmap_t* bare_record(const std::string& path);
  // Frees an image of the fixture now.
  void free_image(bitmap_t* image);
  // The call log's lines so far (each call's name, with ltic_decode's arguments), and
  // a fresh log.
  std::vector<std::string> calls() const;
  void clear_calls() const;
  // The trace log's text.
  std::string trace_log() const;

  std::string dir_;
  std::string log_file_;
  std::vector<container_t*> lists_;
  std::vector<bitmap_t*> made_;
};

// The plug-in's exports, found in the plug-in the host bound.
void load_sid(bitmap_t* image, int line, int* result);
void display_sid(bitmap_t* image, sid_window* window, int grey, uint8_t* d8, uint32_t* d32,
                 int stride);

}  // namespace sid_test
