// Test support for the MIF reader and writer: the GPS file fixture with the map model's
// file objects, the MIF dictionaries, loads of disk files as the load dispatcher runs
// them, the objects of a load by class, and the reference files of the GDAL fixtures.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "formats/mif.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"

namespace tm_test {

inline std::string mif_fixture_dir() { return TM_SOURCE_DIR "/tests/fixtures/mif/"; }

class MifFixture : public ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    mif_module_init();
    ASSERT_EQ(get_gblerr(), 0);
  }
  void free_tables() override { mif_free_tables(); }

  std::string put(const std::string& text, const char* name = "doc.mif") {
    return write_file(dir_ + "/" + name, text);
  }

  // Loads a disk file as the dispatcher does: the reader's result; the file (freed at
  // the end) in *out. Unlike the dispatcher, a failed load keeps its objects, so that
  // the tests see what was read before the error.
  int load_path(const std::string& path, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -1;
    const int result = mif_read(f, f->sot);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    if (out) *out = f;
    return result;
  }
  int load(const std::string& text, fileatt_t** out = nullptr) { return load_path(put(text), out); }

 public:
  // The file's drawn objects (georeferences, steps and styles left out), in list order.
  static std::vector<obj_t*> shapes(const fileatt_t* f) {
    std::vector<obj_t*> out;
    const container_t* list = f ? f->sot : nullptr;
    for (int i = 0; i < obj_list_count(list); ++i) {
      obj_t* o = list->elems[i];
      if (o && o->cls >= CLS_GEOTEXT && o->cls <= CLS_GEOARCELLIP && o->cls != CLS_LOIPOINT &&
          o->cls != CLS_COURSEPOINT && o->cls != CLS_LAP_BEGIN && o->cls != CLS_LAP_END)
        out.push_back(o);
    }
    return out;
  }
  template <class T> static std::vector<T*> all_of(const fileatt_t* f, int cls) {
    return objects_of<T>(f ? f->sot : nullptr, cls);
  }
  static georef_t* georef_of(const fileatt_t* f) {
    obj_t* g = nullptr;
    obj_list_first_of_class(f ? f->sot : nullptr, CLS_GEOREF, &g);
    return static_cast<georef_t*>(g);
  }
  // The points of a loil as (x, y) pairs.
  static std::vector<double> points_of(const loil_t* l) {
    coord_list c;
    std::memcpy(&c, &l->loicoord, sizeof c);
    return std::vector<double>(c.pts, c.pts + 2 * c.count);
  }
  static std::u16string text_of(const geotext_t* t) {
    char16_t* s = nullptr;
    std::memcpy(&s, &t->text, sizeof s);
    return s ? std::u16string(s) : std::u16string();
  }
};

// Numbers as GDAL gives them: equal within 1e-9 relative.
inline bool near(double a, double b, double rel = 1e-9) {
  return std::fabs(a - b) <= rel * std::max(1.0, std::fabs(b));
}

// One line of a .ref / .ogr file: its keyword and its words.
struct ref_line {
  std::string key;
  std::vector<std::string> words;
  double d(size_t i) const { return std::stod(words.at(i)); }
  // The rest of the line after the first n words (a text's string).
  std::string rest;
};

inline std::vector<ref_line> read_ref(const std::string& path) {
  std::vector<ref_line> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::istringstream s(line);
    ref_line r;
    s >> r.key;
    std::string w;
    while (s >> w) r.words.push_back(w);
    if (r.key == "text" && r.words.size() >= 3) {
      size_t at = line.find(' ');
      for (int k = 0; k < 2; ++k) at = line.find(' ', at + 1);
      r.rest = line.substr(at + 1);
      r.words.resize(2);
    }
    out.push_back(r);
  }
  return out;
}

}  // namespace tm_test
