// The Shapefile, Training Center and ROWSET readers reached through identification and
// the load dispatch, as start-up wires them (format codes 26, 61 and 76): each file is
// recognised, read into its content list and keeps its objects.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/obj_list.h"
#include "formats/rowset.h"
#include "formats/shapefile.h"
#include "formats/tcx.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"

namespace {

using tm_test::slurp_file;

class NewReadersDispatch : public tm_test::LoadFixture {
 protected:
  void SetUp() override {
    LoadFixture::SetUp();
    tcx_register_tables();
    register_format_reader(kShapefileFormat, shp_read);
    register_format_reader(kTcxFormat, read_tcx);
    register_format_reader(kRowsetFormat, read_rowset);
  }
  void TearDown() override {
    tcx_free_tables();
    LoadFixture::TearDown();
  }

  // A copy of a fixture identified and loaded; its file object.
  fileatt_t* load_copy(const std::string& fixture, const std::string& name) {
    fileatt_t* f = identify(name, slurp_file(std::string(TM_FIXTURE_DIR) + "/" + fixture));
    EXPECT_EQ(file_load(f, nullptr, 0), 0) << fixture;
    return f;
  }
};

TEST_F(NewReadersDispatch, AShapefileLoadsAsMapData) {
  fileatt_t* f = load_copy("shp/l93/polygonz.shp", "zones.shp");
  EXPECT_EQ(int(f->filetype), kFileKindMap);
  EXPECT_EQ(int(f->fileformat), kShapefileFormat);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_LOIL), 4);
}

TEST_F(NewReadersDispatch, ATrainingCenterFileLoadsAsGpsData) {
  fileatt_t* f = load_copy("tcx/course.tcx", "ride.tcx");
  EXPECT_EQ(int(f->filetype), kFileKindGps);
  EXPECT_EQ(int(f->fileformat), kTcxFormat);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_GPSPOS), 11);
}

TEST_F(NewReadersDispatch, ARowsetFileLoadsAsObjects) {
  fileatt_t* f = load_copy("rowset/points.xml", "rows.xml");
  EXPECT_EQ(int(f->filetype), kFileKindXmlObjects);
  EXPECT_EQ(int(f->fileformat), kRowsetFormat);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), 2);
}

}  // namespace
