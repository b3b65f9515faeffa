// Test support for the GPX reader and writer: the GPS classes with file objects, folders
// and drawing styles, the GPX dictionaries, and loads of documents written to disk files
// as the load dispatcher runs them (a content list made first, the reader's result, the
// content unloaded on failure).
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/xml.h"
#include "formats/gpx.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"

namespace tm_test {

class GpxFixture : public ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    xml_init();
    gpx_register_tables();
    ASSERT_EQ(get_gblerr(), 0);
  }
  void free_tables() override { gpx_free_tables(); }

  // A disk file holding `text`; its path.
  std::string put(const std::string& text, const char* name = "doc.gpx") {
    return write_file(dir_ + "/" + name, text);
  }

  // Loads a disk file: the reader's result, and the file object (freed at the end) in
  // *out. A failed load keeps nothing, as the dispatcher unloads it; gblerr is cleared.
  int load_path(const std::string& path, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -1;
    const int result = read_gpx(f, f->sot);
    set_gblerr(0);
    if (result != 0) file_detach_content(f);
    if (out) *out = f;
    return result;
  }
  int load(const std::string& text, fileatt_t** out = nullptr) { return load_path(put(text), out); }
  // Frees a loaded file object before the end of the test.
  void free_loaded(fileatt_t* f) { loaded_.free_one(f); }

  // The objects of a class in the file's content list, in list order.
  template <class T> static std::vector<T*> all_of(const fileatt_t* f, int cls) {
    return objects_of<T>(f ? f->sot : nullptr, cls);
  }
  static std::vector<waypoint_t*> waypoints(const fileatt_t* f) {
    return all_of<waypoint_t>(f, CLS_WAYPOINT);
  }
  static std::vector<gpspos_t*> trackpoints(const fileatt_t* f) {
    return all_of<gpspos_t>(f, CLS_GPSPOS);
  }
  static std::vector<route_t*> routes(const fileatt_t* f) { return all_of<route_t>(f, CLS_ROUTE); }
  static std::vector<tracklog_t*> tracklogs(const fileatt_t* f) {
    return all_of<tracklog_t>(f, CLS_TRACKLOG);
  }

  // A document: the GPX root (1.1 with both extension namespaces) around `body`.
  static std::string gpx(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\""
           " xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\""
           " xmlns:gpx_style=\"http://www.topografix.com/GPX/gpx_style/0/2\">\n" +
           body + "\n</gpx>\n";
  }
};

}  // namespace tm_test
