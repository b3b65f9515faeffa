// Merging tracklogs: the track points of several lists become one time-ordered track in
// a new list, in one coordinate system, drawn by a track style; the sources keep their
// other objects and lose their track descriptions.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/map/gps_file_fixture.h"

namespace tm_test {
namespace {

class GpsMerge : public GpsFileFixture {
 protected:
  // Seconds after 10:00 of a track point.
  static double second_of(const obj_t* p) {
    date_rec d{};
    gpsobj_point_time(p, &d);
    return std::round((d.day - 1.0) * 86400.0 - 10 * 3600.0);
  }
  static int count_class(const container_t* list, int cls) { return obj_list_count_of_class(list, cls); }
};

TEST_F(GpsMerge, PointsOfAllListsFormOneTrackInTimeOrder) {
  container_t* a = new_list();
  container_t* b = new_list();
  georef_t* ga = add_georef(a);
  add_georef(b);
  trackseg_t* sa = add_track(a, {{0, 0, 10}, {1, 0, 30}, {2, 0, 50}});
  trackseg_t* sb = add_track(b, {{5, 5, 20}, {6, 5, 40}, {7, 5, 0}});
  obj_t* style = nullptr;
  gpspos_style_create(a, sa, &style, 1.0);
  gpspos_style_create(b, sb, nullptr, 1.0);
  waypoint_t* w = nullptr;
  waypoint_create(9, 9, u"stay", nullptr, 1, 0, 0, 0.0, a, &w);
  folder_t* folder = nullptr;
  folder_get_or_create(nullptr, nullptr, 0, &folder);

  container_t* lists[] = {a, b};
  container_t* merged = nullptr;
  ASSERT_NE(gpsobj_build_gpspos_list(folder, 2, lists, &merged, 1000.0), nullptr);
  keep_list(merged);
  ASSERT_EQ(get_gblerr(), 0);

  // A copy of a georef of the sources, one tracklog, one segment of the six points.
  georef_t* g = static_cast<georef_t*>(obj_list_first_of_class(merged, CLS_GEOREF, nullptr));
  ASSERT_NE(g, nullptr);
  EXPECT_NE(g, ga);
  EXPECT_EQ(georef_differs(g, ga), 0);
  EXPECT_EQ(count_class(merged, CLS_TRACKLOG), 1);
  EXPECT_EQ(count_class(merged, CLS_GPSPOS), 6);
  ASSERT_EQ(count_class(merged, CLS_TRACKSEG), 1);
  tracklog_t* track = nullptr;
  obj_list_first_of_class(merged, CLS_TRACKLOG, reinterpret_cast<obj_t**>(&track));
  trackseg_t* seg = nullptr;
  obj_list_first_of_class(merged, CLS_TRACKSEG, reinterpret_cast<obj_t**>(&seg));
  EXPECT_EQ(val(seg->father), static_cast<obj_t*>(track));
  ASSERT_EQ(obj_list_count(seg->sons), 6);
  std::vector<double> seconds;
  for (int i = 0; i < 6; ++i) {
    const auto* p = static_cast<const gpspos_t*>(seg->sons->elems[i]);
    seconds.push_back(second_of(p));
    EXPECT_EQ(val(p->father), static_cast<obj_t*>(track));
  }
  EXPECT_EQ(seconds, (std::vector<double>{0, 10, 20, 30, 40, 50}));

  // The folder shows the new list, with the track style over the segment.
  EXPECT_EQ(val(folder->sot), merged);
  const auto styles = styles_in(merged, CLS_DSEGPOINT);
  ASSERT_EQ(styles.size(), 1u);
  EXPECT_EQ(val(static_cast<dsegpoint_t*>(styles[0])->contsrc), val(seg->sons));
  EXPECT_EQ(styles_in(merged, CLS_DTEXT).size(), 0u);  // without labels

  // The sources keep their other objects and lose their tracks.
  for (container_t* l : {a, b}) {
    EXPECT_EQ(count_class(l, CLS_GPSPOS), 0);
    EXPECT_EQ(count_class(l, CLS_TRACKLOG), 0);
    EXPECT_EQ(count_class(l, CLS_TRACKSEG), 0);
    EXPECT_EQ(count_class(l, CLS_DSEGPOINT), 0);
    EXPECT_EQ(count_class(l, CLS_GEOREF), 1);
  }
  EXPECT_EQ(count_class(a, CLS_WAYPOINT), 1);

  folder->sot = nullptr;
  free_obj(&folder);
}

// Points of a list in another system are converted into the merged list's system.
TEST_F(GpsMerge, PointsOfAnotherSystemAreConverted) {
  container_t* geo = new_list();
  container_t* utm = new_list();
  add_georef(geo);
  add_utm_georef(utm, 31);
  add_track(geo, {{3.0, 44.0, 0}});
  // 45 degrees north on the central meridian of zone 31 (3 degrees east).
  add_track(utm, {{500000.0, 4982950.4, 10}});
  container_t* lists[] = {utm, geo};  // the geographic list is taken first
  container_t* merged = nullptr;
  gpsobj_build_gpspos_list(nullptr, 2, lists, &merged, 1.0);
  ASSERT_NE(merged, nullptr);
  keep_list(merged);
  ASSERT_EQ(get_gblerr(), 0);
  auto* g = static_cast<georef_t*>(obj_list_first_of_class(merged, CLS_GEOREF, nullptr));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(val(g->refertype), GEOREF_GEOGRAPHIC);
  trackseg_t* seg = nullptr;
  obj_list_first_of_class(merged, CLS_TRACKSEG, reinterpret_cast<obj_t**>(&seg));
  ASSERT_EQ(obj_list_count(seg->sons), 2);
  const auto* first = static_cast<const gpspos_t*>(seg->sons->elems[0]);
  const auto* second = static_cast<const gpspos_t*>(seg->sons->elems[1]);
  EXPECT_EQ(val(first->coords.x), 3.0);
  EXPECT_EQ(val(first->coords.y), 44.0);
  EXPECT_NEAR(val(second->coords.x), 3.0, 1e-6);
  EXPECT_NEAR(val(second->coords.y), 45.0, 1e-5);
}

TEST_F(GpsMerge, StylesGoIntoAFolderThatShowsASource) {
  fileatt_t* f = new_file();
  container_t* shown = f->sot;
  add_georef(shown);
  trackseg_t* old = add_track(shown, {{0, 0, 5}, {1, 1, 6}});
  gpspos_style_create(shown, old, nullptr, 1.0);
  container_t* lists[] = {shown};
  container_t* merged = nullptr;
  gpsobj_build_gpspos_list(first_folder(f), 1, lists, &merged, 7.0);
  ASSERT_NE(merged, nullptr);
  keep_list(merged);
  ASSERT_EQ(get_gblerr(), 0);
  EXPECT_EQ(val(first_folder(f)->sot), shown);
  // The old style went with the old segment; the new one draws the merged segment.
  const auto styles = styles_in(shown, CLS_DSEGPOINT);
  ASSERT_EQ(styles.size(), 1u);
  trackseg_t* seg = nullptr;
  obj_list_first_of_class(merged, CLS_TRACKSEG, reinterpret_cast<obj_t**>(&seg));
  auto* s = static_cast<dsegpoint_t*>(styles[0]);
  EXPECT_EQ(val(s->contsrc), val(seg->sons));
  EXPECT_EQ(val(s->meterpixsize), 7.0);
  EXPECT_EQ(val(s->typeperesrc), CLS_TRACKLOG);
}

TEST_F(GpsMerge, EmptyAndBadArguments) {
  container_t* merged = reinterpret_cast<container_t*>(1);
  EXPECT_EQ(gpsobj_build_gpspos_list(nullptr, -1, nullptr, &merged, 1.0), nullptr);
  EXPECT_EQ(merged, nullptr);
  EXPECT_EQ(get_gblerr(), ERR_PARAMETERS);
  set_gblerr(0);
  EXPECT_EQ(gpsobj_build_gpspos_list(nullptr, 2, nullptr, &merged, 1.0), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_PARAMETERS);
  set_gblerr(0);

  // No lists, or null ones: a georef (the default one), a tracklog and an empty segment.
  container_t* lists[] = {nullptr};
  ASSERT_NE(gpsobj_build_gpspos_list(nullptr, 1, lists, &merged, 1.0), nullptr);
  keep_list(merged);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(obj_list_count_of_class(merged, CLS_GEOREF), 1);
  EXPECT_EQ(obj_list_count_of_class(merged, CLS_TRACKLOG), 1);
  trackseg_t* seg = nullptr;
  obj_list_first_of_class(merged, CLS_TRACKSEG, reinterpret_cast<obj_t**>(&seg));
  ASSERT_NE(seg, nullptr);
  EXPECT_EQ(obj_list_count(seg->sons), 0);
}

}  // namespace
}  // namespace tm_test
