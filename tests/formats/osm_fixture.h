// Test support for the OpenStreetMap reader: the representation fixture with the shipped
// representations and OSM vocabularies of the source tree's data/ folder, and loads of
// documents written to disk files as the load dispatcher runs them.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/osm.h"
#include "tests/formats/load_fixture.h"
#include "tests/map/repr_fixture.h"

namespace tm_test {

class OsmFixture : public ReprFixture {
 protected:
  void SetUp() override {
    ReprFixture::SetUp();
    ASSERT_EQ(repr_load_from((kReprDataDir + kReprFileName).c_str()), 0);
    ASSERT_EQ(osm_init_from(kReprDataDir.c_str(), nullptr), 4);
    ASSERT_EQ(get_gblerr(), 0);
    dir_ = fresh_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    set_gblerr(0);
    loaded_.free_all();
    osm_free();
    ReprFixture::TearDown();
  }

  std::string put(const std::string& text, const char* name = "doc.osm") {
    return write_file(dir_ + "/" + name, text);
  }
  // Runs the reader on a disk file: its result; the file object (freed at the end) in
  // *out. With `keep` the content stays whatever the result (as read_osm leaves it),
  // else a failed read is unloaded as the dispatcher does. gblerr is cleared.
  int load_path(const std::string& path, fileatt_t** out = nullptr, bool keep = false) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -1;
    const int result = read_osm(f, f->sot);
    EXPECT_EQ(result, get_gblerr());
    set_gblerr(0);
    if (result != 0 && !keep) file_detach_content(f);
    if (out) *out = f;
    return result;
  }
  int load(const std::string& text, fileatt_t** out = nullptr, bool keep = false) {
    return load_path(put(text), out, keep);
  }

  std::string dir_;
  loaded_files loaded_;
};

}  // namespace tm_test
