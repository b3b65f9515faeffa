// Unloading what each reader made, through the load dispatch: the content list owns every
// object of a read (its georeference among them), the folders' lists only refer to them.
// A reload keeps the file's main folder (file_unload with flag 0); that folder must then
// refer to nothing of the content that went, so that the next unload, the end of the file
// object or a redraw never reaches a freed object. Each file is loaded, unloaded keeping
// its folder, unloaded again in full, loaded again and freed; the sanitizers watch every
// step.
#include <gtest/gtest.h>

#include <string>

#include "core/obj_list.h"
#include "formats/file_load.h"
#include "formats/mif.h"
#include "formats/ozi.h"
#include "formats/tcx.h"
#include "geodesy/georef.h"
#include "map/file_object.h"
#include "tests/formats/kml_fixture.h"

namespace {

class UnloadReaders : public tm_test::KmlFixture {
 protected:
  void SetUp() override {
    KmlFixture::SetUp();
    mif_module_init();
    ozi_files_init();
    tcx_register_tables();
  }
  void TearDown() override {
    KmlFixture::TearDown();
    tcx_free_tables();
    mif_free_tables();
  }
};

struct unload_case {
  const char* name;
  const char* fixture;  // under the fixture folder
  bool georef;          // the read makes a georeference of the file's own
};

TEST_F(UnloadReaders, EachObjectIsFreedOnceWhateverReaderMadeIt) {
  const unload_case cases[] = {
      // A KML document under a Training Center name: recognised by its content.
      {"kml under a tcx name", "kml/misnamed/walk.tcx", true},
      {"kml", "kml/written/trip.kml", true},
      {"mif", "mif/gdal_utm31.mif", true},
      {"ozi track", "ozi_files/babel.plt", true},
      {"training center", "tcx/course.tcx", true},
      {"shapefile", "shp/utm31/line.shp", false},
      {"geotiff", "raster/geotiff/lambert93_scale.tif", false},
  };
  for (const unload_case& c : cases) {
    SCOPED_TRACE(c.name);
    fileatt_t* f = load_path(std::string(TM_FIXTURE_DIR) + "/" + c.fixture);
    ASSERT_NE(f, nullptr);
    ASSERT_NE(f->sot, nullptr) << "not loaded";
    const int objects = obj_list_count(f->sot);
    EXPECT_GT(objects, 0);
    if (c.georef) {
      EXPECT_TRUE(obj_list_has_class(f->sot, CLS_GEOREF));
    }
    folder_t* main = folder_of(f->folder);
    ASSERT_NE(main, nullptr);

    // Unloaded for a reload: the main folder stays, referring to nothing that went.
    file_unload(f, 0);
    EXPECT_TRUE(f->sot == nullptr);
    ASSERT_EQ(folder_of(f->folder), main);
    EXPECT_TRUE(main->sot == nullptr);
    EXPECT_TRUE(main->image == nullptr);

    // Unloaded again in full: the kept folder's lists are walked once more.
    file_unload(f, 1);
    EXPECT_TRUE(f->folder == nullptr);

    // The same file loads again as it did, and goes with the fixture's end.
    EXPECT_EQ(file_load(f, nullptr, 0), 0);
    EXPECT_EQ(obj_list_count(f->sot), objects);
    file_unload(f, 0);
  }
}

}  // namespace
