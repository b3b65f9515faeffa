// Test support for the geographic and GPS classes: the real geodesy tables (the reference
// datum measures speeds), stand-in file objects for the PNG decoder's in-memory data,
// the bitmap class, and the GPS classes with their icons from the source tree's data/.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "map/gps_classes.h"
#include "tests/geodesy/geodesy_fixture.h"
#include "tests/support/file_stub.h"

namespace tm_test {

class GpsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(load_real_geodesy_tables(), 0);
    set_gblerr(0);
    rd_close_all();
    install_file_stub();
    bitmap_module_init();
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
