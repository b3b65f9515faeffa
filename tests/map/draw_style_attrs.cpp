// Drawing styles: registration, the routine tables, and the attribute loading of every
// class, from the source record, from the father's record, or fixed.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "core/obj_layout.h"
#include "core/wstring.h"
#include "tests/map/map_model_fixture.h"

namespace {

template <class T> T* new_style(int cls) {
  T* s = nullptr;
  obj_new(0, cls, reinterpret_cast<obj_t**>(&s));
  return s;
}

TEST(DrawStyleClasses, RegisteredWithSchemaAndWorkingFields) {
  tm_test::map_model_env();
  struct row {
    int cls;
    const char* name;
    int size;
    int attrs;
  };
  const row rows[] = {
      {CLS_DIMAGE, "dimage", int(sizeof(dimage_t)), 19},
      {CLS_DSEGMENT, "dsegment", int(sizeof(dsegment_t)), 16},
      {CLS_DPOINT, "dpoint", int(sizeof(dpoint_t)), 22},
      {CLS_DTEXT, "dtext", int(sizeof(dtext_t)), 27},
      {CLS_DSEGPOINT, "dsegpoint", int(sizeof(dsegpoint_t)), 23},
      {CLS_DPOLYCURVE, "dpolycurve", int(sizeof(dpolycurve_t)), 20},
      {CLS_DRECTANGLE, "drectangle", int(sizeof(drectangle_t)), 20},
      {CLS_DARCELLIP, "darcellip", int(sizeof(darcellip_t)), 28},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_STREQ(obj_class_name(r.cls), r.name);
    EXPECT_EQ(obj_class_size(r.cls), r.size);
    EXPECT_EQ(obj_class_attr_count(r.cls), r.attrs);
    EXPECT_EQ(is_drawable_type(r.cls), 1);
    EXPECT_EQ(is_drawable_or_bitmap_type(r.cls), 1);
    EXPECT_NE(drawobj_attrs_routine(r.cls), nullptr);
    EXPECT_NE(drawobj_extent_routine(r.cls), nullptr);
    EXPECT_NE(drawobj_draw_routine(r.cls), nullptr);
    // The working fields start where the schema ends.
    int type = 0, offset = 0;
    obj_attr_info(r.cls, r.attrs - 1, &type, &offset, nullptr);
    EXPECT_LE(offset + attr_type_size(type), r.size);
  }
  for (int cls : {0, 1, 10}) {
    EXPECT_EQ(drawobj_draw_routine(cls), nullptr) << cls;
    EXPECT_EQ(drawobj_extent_routine(cls), nullptr) << cls;
  }
  EXPECT_EQ(is_drawable_type(1), 0);
  EXPECT_EQ(is_drawable_or_bitmap_type(1), 1);
  EXPECT_EQ(is_drawable_type(10), 0);
  EXPECT_EQ(drawobj_draw_routine(-1), nullptr);
  EXPECT_EQ(drawobj_draw_routine(11), nullptr);
}

// Positions 0: every value stays the fixed one.
TEST(DrawStyleAttrs, UnboundPositionsKeepFixedValues) {
  tm_test::map_model_env();
  container_t* list = tm_test::empty_list();
  waypoint_t* w = nullptr;
  waypoint_create(5.0, 6.0, u"a", nullptr, 1, 3, 0, 0.0, list, &w);
  w->colour = gps_rgb(1, 2, 3);
  dpoint_t* s = new_style<dpoint_t>(CLS_DPOINT);
  s->vthickness = 7;
  s->vcolour = gps_rgb(9, 9, 9);
  s->vmotif = 4;
  s->vshape = 2;
  s->vpixy = pixel_offset_t{3, -2};
  attrs_dpoint(s, w, nullptr);
  EXPECT_EQ(val(s->vthickness), 7);
  EXPECT_EQ(val(s->vcolour), gps_rgb(9, 9, 9));
  EXPECT_EQ(val(s->vmotif), 4);
  EXPECT_EQ(val(s->vshape), 2);
  EXPECT_EQ(val(s->vpixy.x), 3);
  EXPECT_EQ(val(s->vpixy.y), -2);
  tm_test::free_one(s);
  tm_test::free_list(list);
}

// Per class: what is read from the source record into the style.
TEST(DrawStyleAttrs, EveryClassLoadsItsBoundAttributes) {
  tm_test::map_model_env();
  container_t* list = tm_test::empty_list();

  {  // dsegment over a geosegment
    geosegment_t* g = nullptr;
    obj_new(0, CLS_GEOSEGMENT, reinterpret_cast<obj_t**>(&g));
    g->coords = gps_twopoints_t{1, 2, 3, 4, 0};
    g->colour = gps_rgb(10, 20, 30);
    g->thickness = 3;
    g->motif = 2;
    dsegment_t* s = new_style<dsegment_t>(CLS_DSEGMENT);
    s->prcoord = offsetof(geosegment_t, coords);
    s->pcolour = offsetof(geosegment_t, colour);
    s->pthickness = offsetof(geosegment_t, thickness);
    s->pmotif = offsetof(geosegment_t, motif);
    drawobj_attrs_routine(CLS_DSEGMENT)(s, g, nullptr);
    EXPECT_EQ(val(s->seg.x1), 1.0);
    EXPECT_EQ(val(s->seg.y1), 2.0);
    EXPECT_EQ(val(s->seg.y2), 4.0);
    EXPECT_EQ(val(s->vcolour), gps_rgb(10, 20, 30));
    EXPECT_EQ(val(s->vthickness), 3);
    EXPECT_EQ(val(s->vmotif), 2);
    obj_list_append(list, g);
    obj_list_append(list, s);
  }
  {  // drectangle over a georectangle
    georectangle_t* g = nullptr;
    obj_new(0, CLS_GEORECTANGLE, reinterpret_cast<obj_t**>(&g));
    g->coords = gps_twopoints_t{-1, -2, 7, 8, 0};
    g->edgemotif = 5;
    g->fillmotif = 6;
    drectangle_t* s = new_style<drectangle_t>(CLS_DRECTANGLE);
    s->prcoord = offsetof(georectangle_t, coords);
    s->pedgemotif = offsetof(georectangle_t, edgemotif);
    s->pfillmotif = offsetof(georectangle_t, fillmotif);
    drawobj_attrs_routine(CLS_DRECTANGLE)(s, g, nullptr);
    EXPECT_EQ(val(s->corner.x2), 7.0);
    EXPECT_EQ(val(s->corner.y2), 8.0);
    EXPECT_EQ(val(s->vedgemotif), 5);
    EXPECT_EQ(val(s->vfillmotif), 6);
    obj_list_append(list, g);
    obj_list_append(list, s);
  }
  {  // dpolycurve over a loi line
    loil_t* g = nullptr;
    obj_new(0, CLS_LOIL, reinterpret_cast<obj_t**>(&g));
    const double xy[] = {0, 0, 10, 5, 20, -5};
    coord_list c{};
    coords_set(&c, 3, xy);
    g->loicoord = c;
    g->edgemotif = 1;
    g->thickness = 4;
    dpolycurve_t* s = new_style<dpolycurve_t>(CLS_DPOLYCURVE);
    s->plcoord = offsetof(loil_t, loicoord);
    s->pedgemotif = offsetof(loil_t, edgemotif);
    s->pthickness = offsetof(loil_t, thickness);
    drawobj_attrs_routine(CLS_DPOLYCURVE)(s, g, nullptr);
    EXPECT_EQ(val(s->line.count), 3);
    EXPECT_EQ(val(s->vedgemotif), 1);
    EXPECT_EQ(val(s->vthickness), 4);
    obj_list_append(list, g);
    obj_list_append(list, s);
  }
  {  // dtext over a geotext
    geotext_t* g = nullptr;
    obj_new(0, CLS_GEOTEXT, reinterpret_cast<obj_t**>(&g));
    g->coords = gps_point_t{3, 4, 0};
    char16_t* t = nullptr;
    wstr_set(u"Col", &t);
    g->text = t;
    g->size = 14;
    g->font = 2;
    g->underital = 3;
    dtext_t* s = new_style<dtext_t>(CLS_DTEXT);
    s->pptcoord = offsetof(geotext_t, coords);
    s->pstring = offsetof(geotext_t, text);
    s->psize = offsetof(geotext_t, size);
    s->pfont = offsetof(geotext_t, font);
    s->punderital = offsetof(geotext_t, underital);
    drawobj_attrs_routine(CLS_DTEXT)(s, g, nullptr);
    EXPECT_EQ(val(s->text), val(g->text));
    EXPECT_EQ(val(s->vsize), 14);
    EXPECT_EQ(val(s->vfont), 2);
    EXPECT_EQ(val(s->vunderital), 3);
    EXPECT_EQ(val(s->pt.x), 3.0);
    obj_list_append(list, s);
    obj_t* go = g;  // its text is the geotext's to free
    char16_t* own = g->text;
    free_mem(&own);
    g->text = nullptr;
    free_obj(&go);
  }
  {  // dimage over a waypoint: icon, scale and size
    waypoint_t* w = nullptr;
    waypoint_create(1.0, 2.0, u"w", nullptr, 1, 0, 0, 0.0, list, &w);
    bitmap_t* icon = nullptr;
    obj_new(0, CLS_BITMAP, reinterpret_cast<obj_t**>(&icon));
    ASSERT_NE(icon, nullptr);
    w->icon = icon;
    w->icoscale = 0.5;
    w->icosize = gps_iconsize_t{16, 24};
    dimage_t* s = new_style<dimage_t>(CLS_DIMAGE);
    s->pptcoord = kPointCoordsOffset;
    s->pimg = offsetof(waypoint_t, icon);
    s->pscale = offsetof(waypoint_t, icoscale);
    s->psize = offsetof(waypoint_t, icosize);
    drawobj_attrs_routine(CLS_DIMAGE)(s, w, nullptr);
    EXPECT_EQ(val(s->vimg), static_cast<obj_t*>(icon));
    EXPECT_EQ(val(s->vscale), 0.5);
    EXPECT_EQ(val(s->vsizew), 16);
    EXPECT_EQ(val(s->vsizeh), 24);
    EXPECT_EQ(val(s->pt.y), 2.0);
    obj_list_append(list, s);
    w->icon = nullptr;
    tm_test::free_one(icon);
  }
  tm_test::free_list(list);
}

// Axes and orientation of an ellipse are doubles: 2.5 by 0.4 at 0.3 rad stay so.
TEST(DrawStyleAttrs, EllipseAxesAndOrientationAreReadAsDoubles) {
  tm_test::map_model_env();
  geoarcellip_t* g = nullptr;
  obj_new(0, CLS_GEOARCELLIP, reinterpret_cast<obj_t**>(&g));
  g->center = gps_point_t{100.0, 200.0, 0.0f};
  g->graxis = 2.5;
  g->smaxis = 0.4;
  g->orient = 0.3;
  g->angle = gps_angles_t{0.1, 3.0};
  g->colour = gps_rgb(4, 5, 6);
  darcellip_t* s = new_style<darcellip_t>(CLS_DARCELLIP);
  s->pcenter = offsetof(geoarcellip_t, center);
  s->pgraxis = offsetof(geoarcellip_t, graxis);
  s->psmaxis = offsetof(geoarcellip_t, smaxis);
  s->porient = offsetof(geoarcellip_t, orient);
  s->pangle = offsetof(geoarcellip_t, angle);
  s->pcolour = offsetof(geoarcellip_t, colour);
  attrs_darcellip(s, g, nullptr);
  EXPECT_EQ(val(s->vgraxis), 2.5);
  EXPECT_EQ(val(s->vsmaxis), 0.4);
  EXPECT_EQ(val(s->vorient), 0.3);
  EXPECT_EQ(val(s->vangle[0]), 0.1);
  EXPECT_EQ(val(s->vangle[1]), 3.0);
  EXPECT_EQ(val(s->vcolour), gps_rgb(4, 5, 6));
  EXPECT_EQ(val(s->center.x), 100.0);
  tm_test::free_one(g);
  tm_test::free_one(s);
}

// A negative colour position with a father class colours each point with its track's
// colour; without a father class (or without father) the fixed colour stays.
TEST(DrawStyleAttrs, NegativePositionReadsTheFather) {
  tm_test::map_model_env();
  container_t* list = tm_test::empty_list();
  tracklog_t* t = nullptr;
  obj_new(0, CLS_TRACKLOG, reinterpret_cast<obj_t**>(&t));
  t->colour = gps_rgb(200, 0, 0);
  t->thickness = 5;
  gpspos_t* p = nullptr;
  gpspos_create(1.0, 2.0, nullptr, 0.0, nullptr, list, &p);
  dsegpoint_t* s = new_style<dsegpoint_t>(CLS_DSEGPOINT);
  s->pptcoord = kPointCoordsOffset;
  s->pcolour = -int(offsetof(tracklog_t, colour));
  s->plinkthick = -int(offsetof(tracklog_t, thickness));
  s->vcolour = gps_rgb(1, 1, 1);
  s->vlinkthick = 1;
  struct row {
    int typeperesrc;
    obj_t* father;
    uint32_t colour;
    int thick;
  };
  const row rows[] = {
      {CLS_TRACKLOG, t, gps_rgb(200, 0, 0), 5},
      {0, t, gps_rgb(1, 1, 1), 1},
      {CLS_TRACKLOG, nullptr, gps_rgb(1, 1, 1), 1},
  };
  for (const row& r : rows) {
    s->vcolour = gps_rgb(1, 1, 1);
    s->vlinkthick = 1;
    s->typeperesrc = r.typeperesrc;
    attrs_dsegpoint(s, p, r.father);
    EXPECT_EQ(val(s->vcolour), r.colour) << r.typeperesrc;
    EXPECT_EQ(val(s->vlinkthick), r.thick) << r.typeperesrc;
    EXPECT_EQ(val(s->pt.x), 1.0);
  }
  tm_test::free_one(s);
  tm_test::free_one(t);
  tm_test::free_list(list);
}

// Positions that do not fit in the record they read (a style from a file may hold any
// number) leave the fixed values; nothing is read outside the record.
TEST(DrawStyleAttrs, OutOfRangePositionsAreIgnored) {
  tm_test::map_model_env();
  container_t* list = tm_test::empty_list();
  waypoint_t* w = nullptr;
  waypoint_create(5.0, 6.0, u"a", nullptr, 1, 0, 0, 0.0, list, &w);
  const int size = obj_class_size(CLS_WAYPOINT);
  const int32_t bad[] = {size, size - 2, 1 << 30, -(1 << 30), int32_t(0x80000000u), 4, -4};
  for (int32_t pos : bad) {
    dpoint_t* s = new_style<dpoint_t>(CLS_DPOINT);
    s->typeperesrc = CLS_WAYPOINT;
    s->pptcoord = pos;
    s->pcolour = pos;
    s->pthickness = pos;
    s->vcolour = 77;
    s->vthickness = 3;
    attrs_dpoint(s, w, w);
    EXPECT_EQ(val(s->vcolour), 77u) << pos;
    EXPECT_EQ(val(s->vthickness), 3) << pos;
    gindex_entry_t out{};
    EXPECT_EQ(extent_dpoint(s, w, w, &out), 0) << pos;
    tm_test::free_one(s);
  }
  tm_test::free_list(list);
}

// The loaded text goes to the working pointer: the style's own fixed text stays and is
// freed once with the style, after the source object is gone.
TEST(DrawStyleAttrs, TextOfTheObjectNeverReplacesTheOwnedFixedText) {
  tm_test::map_model_env();
  container_t* list = tm_test::empty_list();
  waypoint_t* w = nullptr;
  waypoint_create(5.0, 6.0, u"Summit", nullptr, 1, 0, 0, 0.0, list, &w);
  dtext_t* s = new_style<dtext_t>(CLS_DTEXT);
  char16_t* fixed = nullptr;
  wstr_set(u"BEGIN", &fixed);
  s->vstring = fixed;
  s->pptcoord = kPointCoordsOffset;
  s->pstring = offsetof(waypoint_t, name);
  attrs_dtext(s, w, nullptr);
  EXPECT_EQ(val(s->text), static_cast<const char16_t*>(val(w->name)));
  EXPECT_EQ(val(s->vstring), fixed);
  s->pstring = 0;
  attrs_dtext(s, w, nullptr);
  EXPECT_EQ(val(s->text), static_cast<const char16_t*>(fixed));
  s->pstring = offsetof(waypoint_t, name);
  attrs_dtext(s, w, nullptr);
  tm_test::free_list(list);  // the waypoint and its name are gone
  obj_t* so = s;
  free_obj(&so);  // frees "BEGIN" only
  EXPECT_EQ(so, nullptr);
}

// The dsegpoint's next point: element index + 1, or index itself for the last.
TEST(DrawStyleAttrs, StylePointTakesTheNextElement) {
  tm_test::map_model_env();
  container_t* list = tm_test::empty_list();
  container_t* pts = nullptr;
  obj_list_new(&pts);
  for (int i = 0; i < 3; ++i) {
    gpspos_t* p = nullptr;
    gpspos_create(10.0 * i, 1.0 + i, nullptr, 0.0, nullptr, list, &p);
    obj_list_append(pts, p);
  }
  dsegpoint_t* s = new_style<dsegpoint_t>(CLS_DSEGPOINT);
  s->pptcoord = kPointCoordsOffset;
  s->contsrc = pts;
  const struct {
    int index;
    double x, y;
  } rows[] = {{0, 10, 2}, {1, 20, 3}, {2, 20, 3}};
  for (const auto& r : rows) {
    drawobj_style_point(s, r.index);
    EXPECT_EQ(val(s->next_x), r.x) << r.index;
    EXPECT_EQ(val(s->next_y), r.y) << r.index;
  }
  s->next_x = -1;
  drawobj_style_point(s, 3);  // outside the list: unchanged
  drawobj_style_point(s, -1);
  EXPECT_EQ(val(s->next_x), -1.0);
  s->contsrc = nullptr;
  tm_test::free_one(s);
  free_obj(&pts);
  tm_test::free_list(list);
}

}  // namespace
