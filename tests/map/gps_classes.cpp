// The geographic and GPS classes: registered schemas against the records, default
// colours, constructors and the small services on points and lists.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "core/index.h"
#include "core/wstring.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "tests/map/gps_fixture.h"

namespace tm_test {
namespace {

using GpsClasses = GpsFixture;

// Every registered class: the record size and each attribute's offset come from the
// descriptor and agree with the packed record the code uses.
TEST_F(GpsClasses, RegisteredSchemasMatchTheRecords) {
  struct field {
    int cls;
    const char* name;
    int index;
    size_t offset;
    int type;
  };
  const field fields[] = {
      {CLS_WAYPOINT, "coords", 3, offsetof(waypoint_t, coords), AT_POINT},
      {CLS_WAYPOINT, "", 11, offsetof(waypoint_t, icon), AT_REF},
      {CLS_WAYPOINT, "", 12, offsetof(waypoint_t, label), AT_WSTRING},
      {CLS_WAYPOINT, "time", 17, offsetof(waypoint_t, time), AT_DATETIME},
      {CLS_TRACKLOG, "thickness", 9, offsetof(tracklog_t, thickness), AT_SMALL},
      {CLS_GPSPOS, "time", 6, offsetof(gpspos_t, time), AT_DATETIME},
      {CLS_GPSPOS, "raw", 13, offsetof(gpspos_t, raw), AT_REF},
      {CLS_LOIL, "loicoord", 5, offsetof(loil_t, loicoord), AT_COORDS},
      {CLS_GEOTEXT, "textzone", 11, offsetof(geotext_t, textzone), AT_EXTENT},
      {CLS_LOIPOINT, "pere", 2, offsetof(loipoint_t, pere), AT_FATHER},
      {CLS_GEOSEGMENT, "coords", 3, offsetof(geosegment_t, coords), AT_RECT},
      {CLS_GEOARCELLIP, "graxis", 4, offsetof(geoarcellip_t, graxis), AT_DOUBLE},
      {CLS_GEOARCELLIP, "smaxis", 5, offsetof(geoarcellip_t, smaxis), AT_DOUBLE},
      {CLS_GEOARCELLIP, "orient", 6, offsetof(geoarcellip_t, orient), AT_DOUBLE},
      {CLS_GEOARCELLIP, "angle", 7, offsetof(geoarcellip_t, angle), AT_ANGLE},
  };
  for (const field& f : fields) {
    int type = 0, offset = 0;
    const char* name = nullptr;
    ASSERT_TRUE(obj_attr_info(f.cls, f.index, &type, &offset, &name) >= 0) << f.cls;
    EXPECT_EQ(offset, int(f.offset)) << f.cls << " " << f.index;
    EXPECT_EQ(type, f.type) << f.cls << " " << f.index;
    EXPECT_STREQ(name, f.name) << f.cls << " " << f.index;
  }
  int count = 0;
  const gps_class_entry* table = gps_class_table(&count);
  ASSERT_EQ(count, 23);
  for (int i = 0; i < count; ++i) {
    const gps_class_entry& c = table[i];
    EXPECT_EQ(obj_class_size(c.cls), c.size) << c.cls;
    int sum = 0;
    for (int a = 0; a < c.desc->count; ++a) sum += attr_type_size(c.desc->attrs[a].type);
    EXPECT_EQ(sum, c.size) << c.cls;
    EXPECT_STREQ(obj_class_name(c.cls), c.desc->class_name) << c.cls;
  }
  EXPECT_STREQ(obj_class_name(CLS_LAP_BEGIN), "lap");
  EXPECT_STREQ(obj_class_name(CLS_LAP_END), "lap");
}

TEST_F(GpsClasses, DefaultColours) {
  const struct {
    int cls;
    uint32_t colour;
  } cases[] = {{CLS_WAYPOINT, gps_rgb(255, 128, 0)}, {CLS_TRACKLOG, gps_rgb(255, 0, 0)},
               {CLS_ROUTE, gps_rgb(0, 128, 0)},      {CLS_POI, 0},
               {CLS_LOIS, gps_rgb(255, 0, 0)},       {CLS_LOIL, gps_rgb(255, 0, 0)},
               {CLS_GPSPOS, gps_rgb(255, 0, 255)},   {CLS_GEOTEXT, gps_rgb(255, 255, 0)},
               {CLS_COURSEPOINT, gps_rgb(255, 255, 0)}};
  for (const auto& c : cases) EXPECT_EQ(gpsobj_default_colour(c.cls), c.colour) << c.cls;
}

// Constructors: class, colour, symbol, display and the style defaults they set.
TEST_F(GpsClasses, ConstructorsGiveTheirDefaults) {
  const struct {
    int cls;
    uint32_t colour;
  } points[] = {{CLS_WAYPOINT, gps_rgb(255, 128, 0)},
                {CLS_POI, gps_rgb(0, 0, 0)},
                {CLS_COURSEPOINT, gps_rgb(255, 0, 0)}};
  for (const auto& p : points) {
    obj_t* o = nullptr;
    ASSERT_TRUE(gpsobj_new_point(p.cls, list_, &o)) << p.cls;
    auto* w = static_cast<waypoint_t*>(o);
    EXPECT_EQ(o->cls, p.cls);
    EXPECT_EQ(val(w->colour), p.colour) << p.cls;
    EXPECT_EQ(val(w->symbol), 0);
    EXPECT_EQ(val(w->display), 0);
    EXPECT_EQ(obj_list_last(list_, nullptr), o);
  }
  route_t* r = nullptr;
  tracklog_t* t = nullptr;
  route_create(list_, &r);
  tracklog_create(list_, &t);
  ASSERT_TRUE(r && t);
  EXPECT_EQ(val(r->colour), gps_rgb(0, 128, 0));
  EXPECT_TRUE(r->sons != nullptr);
  EXPECT_EQ(obj_list_count(r->sons), 0);
  EXPECT_EQ(val(t->colour), gps_rgb(255, 0, 0));
  EXPECT_EQ(val(t->thickness), 2);
  EXPECT_EQ(val(t->number), NULL_INT);
}

TEST_F(GpsClasses, NewPointRefusesOtherClasses) {
  for (int cls : {CLS_GPSPOS, CLS_TRACKLOG, CLS_GEOTEXT, 0}) {
    obj_t* o = reinterpret_cast<obj_t*>(1);
    EXPECT_EQ(gpsobj_new_point(cls, list_, &o), nullptr) << cls;
    EXPECT_EQ(o, nullptr);
    EXPECT_EQ(get_gblerr(), ERR_PARAMETERS);
    set_gblerr(0);
  }
  EXPECT_EQ(obj_list_count(list_), 0);
}

TEST_F(GpsClasses, WaypointCreateCopiesTextsAndPosition) {
  waypoint_t* a = nullptr;
  waypoint_create(2.5, 48.25, u"Départ", u"note", 1, 7, 2, 123.5, list_, &a);
  ASSERT_TRUE(a);
  EXPECT_EQ(val(a->coords.x), 2.5);
  EXPECT_EQ(val(a->coords.y), 48.25);
  EXPECT_EQ(val(a->coords.z), 123.5f);
  EXPECT_EQ(val(a->altitude), 123.5f);
  EXPECT_EQ(val(a->symbol), 7);
  EXPECT_EQ(val(a->display), 2);
  EXPECT_EQ(wide(a->name), u"Départ");
  EXPECT_EQ(wide(a->comment), u"note");
  waypoint_t* b = nullptr;
  waypoint_create(0, 0, "Col \xc3\xa9", nullptr, 0, 0, 0, 0, list_, &b);
  ASSERT_TRUE(b);
  EXPECT_EQ(wide(b->name), u"Col é");
  EXPECT_EQ(val(b->comment), nullptr);
}

TEST_F(GpsClasses, TrackPointsJoinTheirSegmentAndTracklog) {
  tracklog_t* t = nullptr;
  trackseg_t* s = nullptr;
  tracklog_create(list_, &t);
  trackseg_create(t, list_, &s);
  ASSERT_TRUE(t && s);
  EXPECT_EQ(val(s->father), static_cast<obj_t*>(t));
  ASSERT_EQ(obj_list_count(t->sons), 1);
  EXPECT_EQ(t->sons->elems[0], s);
  gpspos_t* p[3] = {};
  for (int i = 0; i < 3; ++i) {
    const date_rec d = at_second(i);
    gpspos_create(1.0 + i, 2.0, &d, 50.0 + i, s, list_, &p[i]);
    ASSERT_TRUE(p[i]);
    EXPECT_EQ(val(p[i]->father), static_cast<obj_t*>(t));
    EXPECT_EQ(val(p[i]->altitude), float(50 + i));
    EXPECT_EQ(val(p[i]->time.date), d.date);
  }
  ASSERT_EQ(obj_list_count(s->sons), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(s->sons->elems[i], p[i]);
  // A point without segment has no father and stays only in the list.
  gpspos_t* lone = nullptr;
  gpspos_create(0, 0, nullptr, 0, nullptr, list_, &lone);
  ASSERT_TRUE(lone);
  EXPECT_EQ(val(lone->father), nullptr);
  EXPECT_EQ(val(lone->time.date), 0.0);
}

TEST_F(GpsClasses, PushToLogPointCopiesTheLivePosition) {
  gpspos_t* live = nullptr;
  const date_rec d = at_second(30);
  gpspos_create(5.5, 45.5, &d, 310.0, nullptr, list_, &live);
  ASSERT_TRUE(live);
  live->geoidh = 48.0f;
  live->tpre = 3.5;
  waypoint_t* w = nullptr;
  push_to_log_point(list_, live, &w);
  ASSERT_TRUE(w);
  EXPECT_EQ(wide(w->name), u"Push-to-log point");
  EXPECT_EQ(val(w->coords.x), 5.5);
  EXPECT_EQ(val(w->coords.y), 45.5);
  EXPECT_EQ(val(w->altitude), 310.0f);
  EXPECT_EQ(val(w->geoidh), 48.0f);
  EXPECT_EQ(val(w->tpre), 3.5);
  EXPECT_EQ(val(w->time.date), d.date);
  EXPECT_EQ(val(w->colour), gps_rgb(255, 128, 0));
  EXPECT_EQ(val(w->symbol), 0);
  EXPECT_EQ(val(w->display), 0);
}

// Merging two waypoint files: the same name, position and symbol is dropped, another
// symbol is kept.
TEST_F(GpsClasses, AddUniqueDropsOnlyTrueDuplicates) {
  container_t* index = nullptr;
  index_create(CLS_WAYPOINT, AT_WSTRING, int(offsetof(waypoint_t, name)), &index);
  ASSERT_TRUE(index);
  const struct {
    const char16_t* name;
    double x, y;
    int symbol;
    bool kept;
  } cases[] = {
      {u"A", 1, 2, 3, true},  {u"B", 1, 2, 3, true}, {u"A", 1, 2, 3, false},
      {u"A", 1, 2, 4, true},  {u"A", 1, 2.5, 3, true}, {u"A", 1, 2, 4, false},
  };
  for (const auto& c : cases) {
    waypoint_t* w = nullptr;
    waypoint_create(c.x, c.y, c.name, nullptr, 1, c.symbol, 0, 0, list_, &w);
    ASSERT_TRUE(w);
    obj_t* got = nullptr;
    gpsobj_add_unique(index, w, list_, &got);
    ASSERT_TRUE(got);
    if (c.kept) {
      EXPECT_EQ(got, w);
    } else {
      EXPECT_NE(got, static_cast<obj_t*>(nullptr));
      auto* kept = static_cast<waypoint_t*>(got);
      EXPECT_EQ(wide(kept->name), c.name);
      EXPECT_EQ(val(kept->symbol), c.symbol);
    }
  }
  EXPECT_EQ(obj_list_count(list_), 4);
  EXPECT_EQ(obj_list_count(index), 4);
  // Without index the object is only put in the list (once).
  waypoint_t* w = nullptr;
  waypoint_create(1, 2, u"A", nullptr, 1, 3, 0, 0, list_, &w);
  obj_t* got = nullptr;
  gpsobj_add_unique(nullptr, w, list_, &got);
  EXPECT_EQ(got, w);
  EXPECT_EQ(obj_list_count(list_), 5);
  free_obj(&index);
}

TEST_F(GpsClasses, LabelsFollowTheDisplayMode) {
  const struct {
    int cls, display;
    const char16_t* name;
    const char16_t* comment;
    const char16_t* before;
    const char16_t* after;
  } cases[] = {
      {CLS_WAYPOINT, 0, u"N", u"C", nullptr, u"N"},
      {CLS_POI, 2, u"N", u"C", nullptr, u"C"},
      {CLS_WAYPOINT, 2, u"N", nullptr, u"old", nullptr},
      {CLS_COURSEPOINT, 1, u"N", u"C", u"old", u"old"},
      {CLS_COURSEPOINT, 0, nullptr, u"C", u"old", nullptr},
  };
  for (const auto& c : cases) {
    obj_t* o = nullptr;
    gpsobj_new_point(c.cls, list_, &o);
    auto* w = static_cast<waypoint_t*>(o);
    ASSERT_TRUE(w);
    w->display = c.display;
    if (c.name) wstr_set(c.name, &w->name);
    if (c.comment) wstr_set(c.comment, &w->comment);
    if (c.before) wstr_set(c.before, &w->label);
    gpsobj_set_label(o);
    EXPECT_EQ(wide(w->label), wide(c.after)) << c.cls << " display " << c.display;
  }
}

TEST_F(GpsClasses, CentroidAndRing) {
  double c[2] = {9, 9};
  gpsobj_centroid(nullptr, c);
  EXPECT_EQ(c[0], 0.0);
  EXPECT_EQ(c[1], 0.0);
  route_t* r = nullptr;
  route_create(list_, &r);
  const double xy[3][2] = {{0, 0}, {4, 0}, {4, 3}};
  for (const auto& p : xy) {
    waypoint_t* w = nullptr;
    waypoint_create(p[0], p[1], nullptr, nullptr, 0, 0, 0, 0, list_, &w);
    obj_list_append(r->sons, w);
  }
  gpsobj_centroid(r->sons, c);
  EXPECT_DOUBLE_EQ(c[0], 8.0 / 3);
  EXPECT_DOUBLE_EQ(c[1], 1.0);
  gpsobj_close_ring(r);
  ASSERT_EQ(obj_list_count(r->sons), 4);
  EXPECT_EQ(r->sons->elems[3], r->sons->elems[0]);
  gpsobj_close_ring(r);  // already closed
  EXPECT_EQ(obj_list_count(r->sons), 4);
  route_t* empty = nullptr;
  route_create(list_, &empty);
  gpsobj_close_ring(empty);
  EXPECT_EQ(obj_list_count(empty->sons), 0);
}

// The extent of a line object: a tracklog's points across its segments in order, a
// route's points; nothing for an empty line or an object without point list.
TEST_F(GpsClasses, TrackExtentTakesFirstLastAndBox) {
  tracklog_t* t = nullptr;
  tracklog_create(list_, &t);
  const double xy[2][3][2] = {{{3, 7}, {-1, 2}, {5, 4}}, {{0, 9}, {2, -3}, {4, 1}}};
  for (const auto& seg : xy) {
    trackseg_t* s = nullptr;
    trackseg_create(t, list_, &s);
    for (const auto& p : seg) gpspos_create(p[0], p[1], nullptr, 0.0, s, list_, nullptr);
  }
  gps_track_extent e;
  EXPECT_EQ(gpsobj_track_extent(t, &e), 6);
  EXPECT_DOUBLE_EQ(e.first.x, 3.0);
  EXPECT_DOUBLE_EQ(e.first.y, 7.0);
  EXPECT_DOUBLE_EQ(e.last.x, 4.0);
  EXPECT_DOUBLE_EQ(e.last.y, 1.0);
  EXPECT_DOUBLE_EQ(e.box.xmin, -1.0);
  EXPECT_DOUBLE_EQ(e.box.xmax, 5.0);
  EXPECT_DOUBLE_EQ(e.box.ymin, -3.0);
  EXPECT_DOUBLE_EQ(e.box.ymax, 9.0);

  route_t* r = nullptr;
  route_create(list_, &r);
  waypoint_t* w = nullptr;
  waypoint_create(2, 8, nullptr, nullptr, 0, 0, 0, 0, list_, &w);
  obj_list_append(r->sons, w);
  EXPECT_EQ(gpsobj_track_extent(r, &e), 1);
  EXPECT_DOUBLE_EQ(e.box.xmin, 2.0);
  EXPECT_DOUBLE_EQ(e.box.xmax, 2.0);
  EXPECT_DOUBLE_EQ(e.last.y, 8.0);

  route_t* empty = nullptr;
  route_create(list_, &empty);
  EXPECT_EQ(gpsobj_track_extent(empty, &e), 0);
  EXPECT_DOUBLE_EQ(e.box.xmax, 0.0);
  EXPECT_EQ(gpsobj_track_extent(w, &e), 0);  // a point has no point list
  EXPECT_EQ(gpsobj_track_extent(nullptr, &e), 0);
}

// Longitudes are averaged the short way round: points on both sides of the 180th
// meridian have their mean on it or near it, not near 0; a track that runs the long way
// through 0 keeps the plain mean; projected coordinates are never carried.
TEST_F(GpsClasses, CentroidsAndTrackLabelsAcrossTheAntimeridian) {
  const struct {
    const char* name;
    std::vector<std::pair<double, double>> points;
    double x, y;
  } cases[] = {
      {"two points across 180", {{179.99, -17.0}, {-179.99, -17.2}}, 180.0, -17.1},
      {"more on the west side", {{179.0, 0}, {-179.0, 0}, {-178.0, 0}, {-177.0, 0}}, -178.75, 0},
      {"more on the east side", {{170.0, 10}, {175.0, 10}, {-175.0, 10}}, 176.666666666666667, 10},
      {"long way through 0", {{-100.0, 0}, {-50.0, 0}, {0.0, 0}, {50.0, 0}, {100.0, 0}}, 0.0, 0},
      {"one side only", {{-179.0, 5}, {-178.0, 7}}, -178.5, 6},
      {"projected metres", {{-150.0, 4000000.0}, {150.0, 4000100.0}}, 0.0, 4000050.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    route_t* r = nullptr;
    route_create(list_, &r);
    tracklog_t* t = nullptr;
    tracklog_create(list_, &t);
    trackseg_t* seg = nullptr;
    trackseg_create(t, list_, &seg);
    for (const auto& p : c.points) {
      waypoint_t* w = nullptr;
      waypoint_create(p.first, p.second, nullptr, nullptr, 0, 0, 0, 0, list_, &w);
      obj_list_append(r->sons, w);
      gpspos_create(p.first, p.second, nullptr, 0, seg, list_, nullptr);
    }
    double xy[2];
    gpsobj_centroid(r->sons, xy);
    EXPECT_NEAR(xy[0], c.x, 1e-9);
    EXPECT_NEAR(xy[1], c.y, 1e-9);
    gpsobj_track_label_positions(list_);
    EXPECT_NEAR(val(t->txtcoord.x), c.x, 1e-9);
    EXPECT_NEAR(val(t->txtcoord.y), c.y, 1e-9);
  }
}

TEST_F(GpsClasses, TrackHasTimesNeedsTenPointsMostlyDated) {
  const struct {
    int points, dated;
    int expected;
  } cases[] = {{9, 9, 0}, {10, 5, 0}, {10, 6, 1}, {20, 20, 1}, {0, 0, 0}};
  for (const auto& c : cases) {
    container_t* pts = nullptr;
    obj_list_new(&pts);
    for (int i = 0; i < c.points; ++i) {
      gpspos_t* p = nullptr;
      const date_rec d = at_second(i);
      gpspos_create(0, 0, i < c.dated ? &d : nullptr, 0, nullptr, list_, &p);
      obj_list_append(pts, p);
    }
    EXPECT_EQ(track_has_times(pts), c.expected) << c.points << "/" << c.dated;
    free_obj(&pts);
  }
  // Dates of 1900-01-01 and before do not count.
  container_t* old = nullptr;
  obj_list_new(&old);
  for (int i = 0; i < 10; ++i) {
    gpspos_t* p = nullptr;
    const date_rec d{19000101.0, 1.0};
    gpspos_create(0, 0, &d, 0, nullptr, list_, &p);
    obj_list_append(old, p);
  }
  EXPECT_EQ(track_has_times(old), 0);
  free_obj(&old);
}

TEST_F(GpsClasses, EmptyRoutesGoAndTrackLabelsCentre) {
  route_t* empty = nullptr;
  route_t* full = nullptr;
  route_create(list_, &empty);
  route_create(list_, &full);
  waypoint_t* w = nullptr;
  waypoint_create(1, 1, nullptr, nullptr, 0, 0, 0, 0, list_, &w);
  obj_list_append(full->sons, w);
  gpsobj_remove_empty_routes(list_);
  EXPECT_EQ(obj_list_count_of_class(list_, CLS_ROUTE), 1);
  EXPECT_EQ(obj_list_first_of_class(list_, CLS_ROUTE, nullptr), full);

  tracklog_t* t = nullptr;
  tracklog_create(list_, &t);
  const double pts[2][2][2] = {{{0, 0}, {2, 0}}, {{2, 4}, {4, 4}}};
  for (const auto& seg : pts) {
    trackseg_t* s = nullptr;
    trackseg_create(t, list_, &s);
    for (const auto& p : seg) gpspos_create(p[0], p[1], nullptr, 0, s, list_, nullptr);
  }
  gpsobj_track_label_positions(list_);
  EXPECT_DOUBLE_EQ(val(t->txtcoord.x), 2.0);
  EXPECT_DOUBLE_EQ(val(t->txtcoord.y), 2.0);
}

// Speeds on the reference datum: one minute of arc of latitude is about 1843 m.
TEST_F(GpsClasses, SpeedBetweenTrackPoints) {
  georef_t* g = nullptr;
  georef_create(list_, &g);
  ASSERT_TRUE(g);
  geodatum_t* ref = geo_get_ref_datum(nullptr);
  ASSERT_TRUE(ref);
  double metres = 0;
  georef_distance(ref, 0.0, 45.0, 0.0, 45.0 + 1.0 / 60, &metres);
  ASSERT_GT(metres, 1800.0);
  ASSERT_LT(metres, 1900.0);
  const struct {
    double t1, t2;
    bool dated1, dated2;
    int rc;
    double speed;
  } cases[] = {
      {0, 100, true, true, 0, metres / 100},
      {100, 0, true, true, -1, 0},   // reversed: the difference is not positive
      {50, 50, true, true, -1, 0},   // same time
      {0, 10, false, true, -1, 0},   // unset date
      {0, 10, true, false, -1, 0},
  };
  for (const auto& c : cases) {
    gpspos_t* a = nullptr;
    gpspos_t* b = nullptr;
    const date_rec d1 = at_second(c.t1), d2 = at_second(c.t2);
    gpspos_create(0.0, 45.0, c.dated1 ? &d1 : nullptr, 0, nullptr, list_, &a);
    gpspos_create(0.0, 45.0 + 1.0 / 60, c.dated2 ? &d2 : nullptr, 0, nullptr, list_, &b);
    double v = 99;
    EXPECT_EQ(gpspos_speed(g, a, b, &v), c.rc) << c.t1 << " " << c.t2;
    EXPECT_NEAR(v, c.speed, 1e-6) << c.t1 << " " << c.t2;
  }
  // Across midnight: 23:59:50 to 00:00:10 of the next day is 20 seconds.
  gpspos_t* a = nullptr;
  gpspos_t* b = nullptr;
  const double f1 = (86400.0 - 10) / 86400.0, f2 = 10.0 / 86400.0;
  const date_rec d1{20200601.0 + f1, 1.0 + f1}, d2{20200602.0 + f2, 2.0 + f2};
  gpspos_create(0.0, 45.0, &d1, 0, nullptr, list_, &a);
  gpspos_create(0.0, 45.0 + 1.0 / 60, &d2, 0, nullptr, list_, &b);
  double v = 0;
  EXPECT_EQ(gpspos_speed(g, a, b, &v), 0);
  EXPECT_NEAR(v, metres / 20, 1e-3);
}

TEST_F(GpsClasses, ProjectPointMovesCoordinatesAndGeoidHeight) {
  xform_scale_t* scale = nullptr;
  xform_make_scale(2.0, 3.0, 0.5, &scale);
  xform_chain_t* chain = nullptr;
  xform_chain_create(1, &chain);
  ASSERT_TRUE(scale && chain);
  xform_chain_append(chain, scale, 2);
  const struct {
    float altitude, geoidh;
    float expected_geoidh;
  } cases[] = {{130, 40, 130 - 100}, {0, 40, 40}, {130, 0, 0}};
  for (const auto& c : cases) {
    waypoint_t* w = nullptr;
    waypoint_create(1.0, 2.0, nullptr, nullptr, 0, 0, 0, 100.0, list_, &w);
    w->altitude = c.altitude;
    w->geoidh = c.geoidh;
    gpsobj_project_point(chain, w);
    EXPECT_DOUBLE_EQ(val(w->coords.x), 2.0);
    EXPECT_DOUBLE_EQ(val(w->coords.y), 6.0);
    EXPECT_FLOAT_EQ(val(w->coords.z), 100.0f);  // a scale step keeps z
    EXPECT_FLOAT_EQ(val(w->geoidh), c.expected_geoidh);
  }
  obj_t* c = chain;
  free_obj(&c);
  obj_t* s = scale;
  free_obj(&s);
}

TEST_F(GpsClasses, ListHasGpsPoints) {
  EXPECT_EQ(list_has_gps_points(nullptr), 0);
  obj_t* poi = nullptr;
  gpsobj_new_point(CLS_POI, list_, &poi);
  EXPECT_EQ(list_has_gps_points(list_), 0);
  gpspos_create(0, 0, nullptr, 0, nullptr, list_, nullptr);
  EXPECT_EQ(list_has_gps_points(list_), 1);
}

// Ellipse axes and orientation are doubles in the record and in the schema: a fractional
// size set through the generic attribute code is kept whole.
TEST_F(GpsClasses, EllipseAxesStayDoubles) {
  obj_t* o = nullptr;
  obj_new_in_list(list_, CLS_GEOARCELLIP, &o);
  ASSERT_TRUE(o);
  for (int i : {4, 5, 6}) {
    int type = 0, offset = 0;
    obj_attr_info(CLS_GEOARCELLIP, i, &type, &offset, nullptr);
    attr_from_text(type, reinterpret_cast<char*>(o) + offset, "2.75");
  }
  auto* e = static_cast<geoarcellip_t*>(o);
  EXPECT_EQ(val(e->graxis), 2.75);
  EXPECT_EQ(val(e->smaxis), 2.75);
  EXPECT_EQ(val(e->orient), 2.75);
}

}  // namespace
}  // namespace tm_test
