// A MIF file through the load dispatcher: recognised by its "Version" head as format 27,
// read by the reader mif_module_init puts in the slot, its shapes in the file's folder;
// a file that fails is unloaded by the dispatcher with the reader's code.
#include <gtest/gtest.h>

#include "formats/file_load.h"
#include "formats/mif.h"
#include "tests/formats/load_fixture.h"

namespace tm_test {
namespace {

class MifDispatch : public LoadFixture {
 protected:
  void SetUp() override {
    LoadFixture::SetUp();
    mif_module_init();
  }
  void TearDown() override {
    LoadFixture::TearDown();
    mif_free_tables();
  }
};

TEST_F(MifDispatch, RecognisedAndRead) {
  EXPECT_NE(format_reader_of(kMifFormat), nullptr);
  fileatt_t* f = open(put("shapes.mif", "Version 300\nCoordSys Earth Projection 1, 104\n"
                                        "Columns 1\n a Char(1)\nData\nPoint 6.5 45.25\n"
                                        "Line 0 0 1 1\n"));
  ASSERT_EQ(file_load(f, nullptr, 0), 0);
  EXPECT_EQ(int(f->fileformat), kMifFormat);
  ASSERT_NE(f->sot, nullptr);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_GEOPOINT), 1);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_GEOSEGMENT), 1);
  EXPECT_NE(file_get_first_folder(f, nullptr), nullptr);
}

TEST_F(MifDispatch, FailedReadIsUnloaded) {
  fileatt_t* f = open(put("bad.mif", "Version 300\nData\nPline 999999999\n0 0\n"));
  EXPECT_EQ(file_load(f, nullptr, 0), kMifBadData);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_TRUE(f->sot == nullptr);
}

}  // namespace
}  // namespace tm_test
