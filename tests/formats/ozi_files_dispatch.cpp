// The OziExplorer data file reader reached through identification and the load
// dispatch, as its start-up routine wires it: each kind of data file is recognised as
// GPS data of format 34, read into its content list with its folder, and keeps its objects.
#include <gtest/gtest.h>

#include <string>

#include "core/obj_list.h"
#include "formats/ozi.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"

namespace {

// The file's first folder (the record is packed: read by value).
obj_t* val_folder(const fileatt_t* f) { return f->folder; }

class OziFilesDispatch : public tm_test::LoadFixture {
 protected:
  void SetUp() override {
    LoadFixture::SetUp();
    ozi_files_init();
  }
};

TEST_F(OziFilesDispatch, EachKindLoadsAsGpsData) {
  struct row {
    const char* fixture;
    int cls, count;
  };
  const row rows[] = {
      {"babel.wpt", CLS_WAYPOINT, 3}, {"babel.plt", CLS_GPSPOS, 3}, {"babel.rte", CLS_ROUTE, 2},
      {"events.evt", CLS_POI, 3},     {"points.pnt", CLS_POI, 2},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.fixture);
    const std::string name = std::string("copy_") + r.fixture;
    fileatt_t* f = identify(name, tm_test::slurp_file(std::string(TM_FIXTURE_DIR) +
                                                       "/ozi_files/" + r.fixture));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(int(f->filetype), kFileKindGps);
    EXPECT_EQ(int(f->fileformat), kOziFormat);
    ASSERT_EQ(file_load(f, nullptr, 0), 0);
    EXPECT_EQ(obj_list_count_of_class(f->sot, r.cls), r.count);
    EXPECT_NE(val_folder(f), nullptr) << "the file has its folder";
  }
}

}  // namespace
