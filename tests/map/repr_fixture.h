// Test support for the representation rules: the GPS file fixture (file objects,
// folders, drawing styles, waypoint icons) with the representation classes, the real file
// routines and the XML engine, and small builders of features, representations, nodes,
// ways and way lines.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "core/xml.h"
#include "map/file_internal.h"
#include "map/repr.h"
#include "map/saved_tables.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"

namespace tm_test {

inline const std::string kReprDataDir = TM_SOURCE_DIR "/data/";

class ReprFixture : public GpsFileFixture {
 protected:
  void SetUp() override {
    GpsFileFixture::SetUp();
    file_detail::file_ops_table_install();
    xml_init();
    repr_register_classes();
    savfile_reset();
    ASSERT_EQ(get_gblerr(), 0);
  }
  void TearDown() override {
    set_gblerr(0);
    repr_tables_free();
    for (int i = 0; i < kReprDescribeSlots; ++i) repr_set_describe_hook(i, nullptr);
    savfile_reset();
    for (obj_t* o : owned_) free_obj(&o);
    owned_.clear();
    GpsFileFixture::TearDown();
  }

  // A feature or representation freed at the end of the test.
  feature_t* feature(int maintype, int subtype, int elttype, const char* mnemo,
                     const char* name = "feature") {
    feature_t* f = nullptr;
    feature_create(nullptr, maintype, subtype, elttype, mnemo, name, &f);
    owned_.push_back(f);
    return f;
  }
  representation_t* representation(const char* mnemo, int thickmeter, int thickpixel,
                                    int motiforsymb, int filloricon, int fontsz, int lanes,
                                    int feattype, uint32_t colour = gps_rgb(10, 20, 30)) {
    representation_t* r = nullptr;
    representation_create(nullptr, mnemo, &r);
    r->thickmeter = thickmeter;
    r->thickpixel = thickpixel;
    r->motiforsymb = motiforsymb;
    r->filloricon = filloricon;
    r->fontsz = fontsz;
    r->lanes = lanes;
    r->feattype = feattype;
    r->colour = colour;
    owned_.push_back(r);
    return r;
  }

  static node_t* add_node(container_t* list, double x, double y, feature_t* f,
                          const char* name = nullptr) {
    obj_t* o = nullptr;
    obj_new_in_list(list, CLS_NODE, &o);
    auto* n = static_cast<node_t*>(o);
    n->coords.x = x;
    n->coords.y = y;
    n->feature = f;
    if (name) utf8_to_wcs(name, &n->name);
    return n;
  }
  static way_t* add_way(container_t* list, std::initializer_list<node_t*> nodes, feature_t* f,
                        int lanes = 0) {
    obj_t* o = nullptr;
    obj_new_in_list(list, CLS_WAY, &o);
    auto* w = static_cast<way_t*>(o);
    obj_list_new(&w->sons);
    for (node_t* n : nodes) obj_list_append(w->sons, n);
    w->feature = f;
    w->lanes = lanes;
    return w;
  }
  static wayline_t* add_wayline(container_t* list, std::initializer_list<double> xy,
                                feature_t* f) {
    obj_t* o = nullptr;
    obj_new_in_list(list, CLS_WAYLINE, &o);
    auto* l = static_cast<wayline_t*>(o);
    std::vector<double> pts(xy);
    coords_set(&l->loicoord, int(pts.size() / 2), pts.data());
    l->feature = f;
    return l;
  }

  // The objects of a class in a list.
  template <class T> static std::vector<T*> of_class(const container_t* list, int cls) {
    std::vector<T*> out;
    for (int i = 0; i < obj_list_count(list); ++i)
      if (list->elems[i] && list->elems[i]->cls == cls) out.push_back(static_cast<T*>(list->elems[i]));
    return out;
  }
  // The sub-folders of a folder.
  static std::vector<folder_t*> sub_folders(const folder_t* d) {
    std::vector<folder_t*> out;
    for (int i = 0; d && i < obj_list_count(d->sons); ++i)
      if (folder_t* s = folder_of(d->sons->elems[i])) out.push_back(s);
    return out;
  }
  static std::string folder_name(const folder_t* d) { return utf8(d ? d->name : nullptr); }
  // The objects of a class in a file's content list.
  template <class T> static std::vector<T*> all_of(const fileatt_t* f, int cls) {
    return of_class<T>(f ? f->sot : nullptr, cls);
  }
  // A wide text as UTF-8 ("" for none).
  static std::string utf8(const char16_t* s) {
    char* out = nullptr;
    wstr_to_utf8(s, &out);
    std::string r = out ? out : "";
    free_mem(&out);
    return r;
  }
  // The mnemonic of an element's feature ("" without feature).
  static std::string mnemo_of(const feature_t* f) { return f && f->mnemo ? f->mnemo : ""; }

  std::vector<obj_t*> owned_;
};

}  // namespace tm_test
