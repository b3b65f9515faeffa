// Test support for the readers of the system's own GPS text files: the GPS classes with
// file objects, folders and styles, loads of text written to disk files through reader
// slot 0 (a content list made first), and the objects of a class a load made.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "core/reader.h"
#include "formats/gpstext.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"

namespace tm_test {

// A copy of a packed field, for the comparison macros.
template <class T> T packed(T value) { return value; }

class GpsTextFixture : public ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    ASSERT_EQ(get_gblerr(), 0);
  }

  std::string put(const std::string& text, const std::string& name = "data.txt") {
    return write_file(dir_ + "/" + name, text);
  }

  // Loads a disk file through gpstext_read: the result, and the file object (freed at
  // the end) in *out. gblerr is left cleared, as the reader leaves it.
  int load_path(const std::string& path, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -1;
    const int result = gpstext_read(f, f->sot);
    EXPECT_EQ(get_gblerr(), 0);
    if (out) *out = f;
    return result;
  }
  int load(const std::string& text, fileatt_t** out = nullptr) { return load_path(put(text), out); }

  template <class T> static std::vector<T*> all_of(const fileatt_t* f, int cls) {
    return objects_of<T>(f ? f->sot : nullptr, cls);
  }
  static std::vector<waypoint_t*> waypoints(const fileatt_t* f) { return all_of<waypoint_t>(f, CLS_WAYPOINT); }
  static std::vector<gpspos_t*> points(const fileatt_t* f) { return all_of<gpspos_t>(f, CLS_GPSPOS); }
  static std::vector<tracklog_t*> tracklogs(const fileatt_t* f) { return all_of<tracklog_t>(f, CLS_TRACKLOG); }
  static std::vector<trackseg_t*> segments(const fileatt_t* f) { return all_of<trackseg_t>(f, CLS_TRACKSEG); }
  static std::vector<route_t*> routes(const fileatt_t* f) { return all_of<route_t>(f, CLS_ROUTE); }
  static int count(const fileatt_t* f) { return obj_list_count(f->sot); }

  // The segment whose point list holds p, or null.
  static trackseg_t* segment_of(const fileatt_t* f, const gpspos_t* p) {
    for (trackseg_t* s : segments(f))
      for (int i = 0; i < obj_list_count(s->sons); ++i)
        if (s->sons->elems[i] == p) return s;
    return nullptr;
  }
};

}  // namespace tm_test
