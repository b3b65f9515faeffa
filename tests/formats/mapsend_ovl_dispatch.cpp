// The MapSend, MapShow and Geogrid overlay fixtures loaded the way every file is: recognised
// by content (or by the "trl" extension), then read by the reader their init routine
// registered for the recognised format.
#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "core/obj_list.h"
#include "formats/file_load.h"
#include "formats/mapsend.h"
#include "formats/ovl.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"

namespace {

class MapsendOvlDispatch : public tm_test::LoadFixture {};

TEST_F(MapsendOvlDispatch, FixturesLoadThroughTheirFormats) {
  mapsend_init();
  ovl_init();
  struct load_case {
    const char* fixture;
    const char* name;
    uint32_t format;
    int cls;
  };
  const load_case cases[] = {
      {"mapsend/wpt_v3.ms", "w.dat", kMapsendFormat, CLS_WAYPOINT},
      {"mapsend/trk_v4.ms", "t.dat", kMapsendFormat, CLS_GPSPOS},
      {"mapsend/a.wpr", "a.dat", kMapshowWprFormat, CLS_ROUTE},
      {"mapsend/a.wpo", "b.dat", kMapshowWpoFormat, CLS_ROUTE},
      {"mapsend/a.trk", "c.dat", kMapshowTrkFormat, CLS_TRACKLOG},
      {"mapsend/a.trl", "d.TRL", kMapshowTrlFormat, CLS_TRACKLOG},
      {"ovl/babel.ovl", "e.txt", kOvlFormat, CLS_LOIL},
  };
  for (const load_case& lc : cases) {
    SCOPED_TRACE(lc.fixture);
    fileatt_t* f = open(put(lc.name, tm_test::slurp_file(std::string(TM_FIXTURE_DIR "/") + lc.fixture)));
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(file_load(f, nullptr, 0), 0);
    EXPECT_EQ(uint32_t(f->fileformat), lc.format);
    EXPECT_GT(obj_list_count_of_class(f->sot, lc.cls), 0);
    EXPECT_EQ(get_gblerr(), 0);
  }
}

}  // namespace
