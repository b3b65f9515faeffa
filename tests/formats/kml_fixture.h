// Test support for the KML reader and writer: the load fixture (real file objects, the
// load dispatcher, the HTTP client) with the KML module and the image decoders wired as
// at start-up, KML documents written to disk and loaded through file_load, and lookups
// of the objects a load made.
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/wstring.h"
#include "formats/file_load.h"
#include "formats/kml.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "raster/image_load.h"
#include "tests/formats/load_fixture.h"

namespace tm_test {

inline const std::string kKmlFixtures = TM_FIXTURE_DIR "/kml/";

class KmlFixture : public LoadFixture {
 protected:
  void SetUp() override {
    LoadFixture::SetUp();
    kml_module_init();
    image_decoders_install();
    ASSERT_EQ(get_gblerr(), 0);
  }
  void TearDown() override {
    LoadFixture::TearDown();
    kml_free_tables();
  }

  // A KML document: the root with the KML 2.2 namespace around `body`.
  static std::string kml(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n" +
           body + "\n</Document>\n</kml>\n";
  }
  // A Placemark with a name and a geometry.
  static std::string placemark(const std::string& inner) {
    return "<Placemark>" + inner + "</Placemark>\n";
  }

  // Loads a disk file through the dispatcher: the result in *rc, the file object.
  fileatt_t* load_path(const std::string& path, int* rc = nullptr) {
    fileatt_t* f = open(path);
    const int r = f ? file_load(f, nullptr, 0) : -1;
    set_gblerr(0);
    if (rc) *rc = r;
    return f;
  }
  fileatt_t* load(const std::string& text, int* rc = nullptr, const std::string& name = "doc.kml") {
    return load_path(put(name, text), rc);
  }

  // The objects of a class in a list, in list order.
  template <class T> static std::vector<T*> of_class(const container_t* list, int cls) {
    return objects_of<T>(list, cls);
  }
  static std::vector<poi_t*> pois(const fileatt_t* f) { return of_class<poi_t>(f->sot, CLS_POI); }
  static std::vector<lois_t*> lines(const fileatt_t* f) {
    return of_class<lois_t>(f->sot, CLS_LOIS);
  }
  static std::vector<loipoint_t*> points_of(const lois_t* l) {
    return of_class<loipoint_t>(l->sons, CLS_LOIPOINT);
  }
  static std::vector<folder_t*> sub_folders(const folder_t* d) {
    std::vector<folder_t*> out;
    for (int i = 0; d && i < obj_list_count(d->sons); ++i)
      if (folder_t* s = folder_of(d->sons->elems[i])) out.push_back(s);
    return out;
  }
  static std::u16string text(const char16_t* s) { return s ? std::u16string(s) : u"<null>"; }
  static std::u16string text_of(const folder_t* d) { return d ? text(d->name) : u"<null>"; }
};

}  // namespace tm_test
