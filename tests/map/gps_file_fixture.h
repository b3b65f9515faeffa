// Test support for the default styles and the merge of tracks: the GPS fixture with the
// file objects, folders and drawing styles registered, and small builders of files whose
// folders hold GPS objects.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "core/file_ops.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/projection.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "tests/map/file_types_env.h"
#include "tests/map/gps_fixture.h"

namespace tm_test {

constexpr int kRefDatumCode = 214;

class GpsFileFixture : public GpsFixture {
 protected:
  void SetUp() override {
    GpsFixture::SetUp();
    register_file_types_once();
    drawobj_types_register();
    ASSERT_EQ(get_gblerr(), 0);
  }
  void TearDown() override {
    set_gblerr(0);
    for (fileatt_t* f : files_) free_file(f);
    for (container_t* l : lists_) {
      obj_list_free_elements(l);
      free_obj(&l);
    }
    obj_list_free_elements(list_);
    free_obj(&list_);
    file_ops_install(nullptr);
    GpsFixture::TearDown();
  }

  // A file whose first folder shows `content` (a new list when null); freed at the end.
  fileatt_t* new_file(container_t* content = nullptr) {
    if (!content) obj_list_new(&content);
    fileatt_t* f = nullptr;
    obj_new_registered(kFileClass, &f);
    f->sot = content;
    folder_t* d = nullptr;
    folder_get_or_create(f, content, 0, &d);
    files_.push_back(f);
    return f;
  }
  static folder_t* first_folder(fileatt_t* f) { return file_get_first_folder(f, nullptr); }

  // A sub-folder of `parent` with a list of its own (its objects are freed at the end).
  folder_t* new_sub_folder(folder_t* parent) {
    container_t* list = nullptr;
    obj_list_new(&list);
    folder_t* d = nullptr;
    folder_get_or_create(parent, list, 0, &d);
    sub_lists_.push_back(list);
    return d;
  }

  // A list the test fills and the fixture frees with its elements.
  container_t* new_list() {
    container_t* l = nullptr;
    obj_list_new(&l);
    lists_.push_back(l);
    return l;
  }
  // A list made by the code under test, freed with its elements at the end.
  void keep_list(container_t* l) {
    if (l) lists_.push_back(l);
  }

  static georef_t* add_georef(container_t* list) {
    georef_t* g = nullptr;
    georef_create(list, &g);
    return g;
  }
  // A georef in UTM (zone, north) on the reference datum.
  static georef_t* add_utm_georef(container_t* list, int zone) {
    georef_t* g = add_georef(list);
    cartproj_t* p = nullptr;
    crs_name_utm(g->datum, zone, 0, &p);
    EXPECT_NE(p, nullptr);
    g->refertype = GEOREF_PROJECTED;
    g->projection = p;
    g->unit = val(p->unit);
    return g;
  }

  // A tracklog with one segment holding points at (x, y) dated `seconds` after 10:00.
  struct timed_xy {
    double x, y, seconds;
  };
  static trackseg_t* add_track(container_t* list, std::initializer_list<timed_xy> points,
                               tracklog_t** track_out = nullptr) {
    tracklog_t* t = nullptr;
    tracklog_create(list, &t);
    trackseg_t* s = nullptr;
    trackseg_create(t, list, &s);
    for (const timed_xy& p : points) {
      const date_rec d = at_second(p.seconds);
      gpspos_create(p.x, p.y, &d, 0.0, s, list, nullptr);
    }
    if (track_out) *track_out = t;
    return s;
  }

  // Styles of a class in a list.
  static std::vector<obj_t*> styles_in(const container_t* list, int style_cls) {
    std::vector<obj_t*> out;
    for (int i = 0; i < obj_list_count(list); ++i)
      if (list->elems[i] && list->elems[i]->cls == style_cls) out.push_back(list->elems[i]);
    return out;
  }
  static int count_styles(const container_t* list) {
    int n = 0;
    for (int i = 0; i < obj_list_count(list); ++i)
      n += list->elems[i] && is_drawable_type(list->elems[i]->cls) ? 1 : 0;
    return n;
  }

 private:
  // The test's own sub-folder lists are freed with their elements here; the styles
  // made into the file's folders go with the file itself (its default unload).
  void free_file(fileatt_t* f) {
    folder_t* first = first_folder(f);
    std::vector<folder_t*> folders;
    folder_t* it = nullptr;
    for (folder_t* d = file_next_folder(f, &it); d; d = file_next_folder(f, &it))
      folders.push_back(d);
    for (folder_t* d : folders) {
      if (d == first || !d->sot) continue;
      for (container_t* l : sub_lists_)
        if (l == d->sot) obj_list_free_elements(d->sot);
    }
    free_obj(&f);
  }

  std::vector<fileatt_t*> files_;
  std::vector<container_t*> lists_;
  std::vector<container_t*> sub_lists_;
};

}  // namespace tm_test
