// The default drawing styles of freshly loaded GPS data and drawn shapes: each style is
// checked through the drawing styles' own attribute loading, so that what it binds is
// what gets drawn; a second run adds nothing. Also the per-file label and GPS-point
// services.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/obj_layout.h"
#include "core/wstring.h"
#include "tests/map/gps_file_fixture.h"

namespace tm_test {
namespace {

class GpsStyles : public GpsFileFixture {};

// A new owned copy of a wide text (packed string fields are assigned, never pointed at).
char16_t* w16(const char16_t* text) {
  char16_t* owned = nullptr;
  wstr_set(text, &owned);
  return owned;
}

waypoint_t* add_waypoint(container_t* list, double x, double y, const char16_t* name,
                         const char16_t* comment, int display) {
  waypoint_t* w = nullptr;
  waypoint_create(x, y, name, comment, 1, 3, display, 0.0, list, &w);
  return w;
}

// ---- Points -------------------------------------------------------------------------------

TEST_F(GpsStyles, PointStylesBindCoordinatesColourAndLabel) {
  struct Case {
    int cls, size, label_size;
    int thickness, shape, text_size;
  };
  const Case cases[] = {
      {CLS_WAYPOINT, 4, 8, 4, 2, 8},
      {CLS_POI, 0, 0, 2, 1, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cls);
    fileatt_t* f = new_file();
    container_t* list = f->sot;
    add_georef(list);
    obj_t* p = nullptr;
    gpsobj_new_point(c.cls, list, &p);
    auto* w = static_cast<waypoint_t*>(p);
    w->coords = gps_point_t{2.5, 48.5, 0.0f};
    w->colour = gps_rgb(1, 2, 3);
    w->name = w16(u"Col");
    ASSERT_EQ(file_default_point_styles(f, c.cls, c.size, c.label_size, 400.0), 0);
    EXPECT_EQ(wide(w->label), u"Col");  // labels are set first

    const auto points = styles_in(list, CLS_DPOINT);
    ASSERT_EQ(points.size(), 1u);
    auto* s = static_cast<dpoint_t*>(points[0]);
    EXPECT_EQ(val(s->typesrc), c.cls);
    EXPECT_EQ(val(s->contsrc), list);
    EXPECT_EQ(val(s->meterpixsize), 400.0);
    EXPECT_EQ(val(s->vthickness), c.thickness);
    EXPECT_EQ(val(s->vshape), c.shape);
    EXPECT_EQ(val(s->vmotif), 0);
    attrs_dpoint(s, w, nullptr);
    EXPECT_EQ(val(s->pt.x), 2.5);
    EXPECT_EQ(val(s->pt.y), 48.5);
    EXPECT_EQ(val(s->vcolour), gps_rgb(1, 2, 3));

    const auto texts = styles_in(list, CLS_DTEXT);
    ASSERT_EQ(texts.size(), 1u);
    auto* t = static_cast<dtext_t*>(texts[0]);
    EXPECT_EQ(val(t->vsize), c.text_size);
    EXPECT_EQ(val(t->vthickness), 3);
    EXPECT_EQ(val(t->vfont), 0);
    EXPECT_EQ(val(t->vunderital), 0);
    EXPECT_EQ(val(t->vpixy.x), 10);
    EXPECT_EQ(val(t->vpixy.y), 0);
    attrs_dtext(t, w, nullptr);
    EXPECT_EQ(wide(val(t->text)), u"Col");
    EXPECT_EQ(val(t->vcolour), gps_rgb(1, 2, 3));

    // Loading the same file again adds nothing.
    const int before = count_styles(list);
    ASSERT_EQ(file_default_point_styles(f, c.cls, c.size, c.label_size, 400.0), 0);
    EXPECT_EQ(count_styles(list), before);
  }
}

TEST_F(GpsStyles, StyleRoutinesRefuseOtherClasses) {
  fileatt_t* f = new_file();
  add_waypoint(f->sot, 0, 0, u"a", nullptr, 0);
  struct Case {
    const char* what;
    int (*run)(obj_t*);
  };
  const Case cases[] = {
      {"point styles of routes",
       [](obj_t* file) { return file_default_point_styles(file, CLS_ROUTE, 2, 0, 1.0); }},
      {"point styles of course points",
       [](obj_t* file) { return file_default_point_styles(file, CLS_COURSEPOINT, 2, 0, 1.0); }},
      {"label styles of track points",
       [](obj_t* file) { return file_default_label_styles(file, CLS_GPSPOS, 0, 1, 1, 1, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    set_gblerr(0);
    EXPECT_EQ(c.run(f), -1);
    EXPECT_EQ(get_gblerr(), ERR_PARAMETERS);
    EXPECT_EQ(count_styles(f->sot), 0);
    EXPECT_EQ(obj_list_count(first_folder(f)->sons), 0);
  }
  set_gblerr(0);
  // Routes accept only routes and loi sets, and do nothing for others.
  EXPECT_EQ(file_default_route_styles(f, CLS_WAYPOINT, 1, 1.0), 0);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(count_styles(f->sot), 0);
}

TEST_F(GpsStyles, LabelStylesGoToASubFolderPerFolder) {
  fileatt_t* f = new_file();
  georef_t* g = add_georef(f->sot);
  waypoint_t* w = add_waypoint(f->sot, 1, 2, u"name", u"comment", 2);
  w->icoscale = 0.5;
  w->icosize = gps_iconsize_t{16, 12};
  folder_t* second = new_sub_folder(first_folder(f));
  add_waypoint(second->sot, 3, 4, u"other", nullptr, 0);
  gpsobj_attach_icons(f->sot, CLS_WAYPOINT);
  ASSERT_NE(val(w->icon), nullptr);

  const int offset = (-5 << 16) | 7;  // x 7, y -5
  ASSERT_EQ(file_default_label_styles(f, CLS_WAYPOINT, 0, 30000, 2000.0, 400.0, offset), 0);
  EXPECT_EQ(wide(w->label), u"comment");
  EXPECT_EQ(count_styles(f->sot), 0);  // nothing in the data's own list

  struct Expect {
    folder_t* folder;
    int priority;
  };
  for (const Expect& e : {Expect{first_folder(f), 30000}, Expect{second, 30001}}) {
    SCOPED_TRACE(e.priority);
    folder_t* sub = nullptr;
    for (int i = 0; i < obj_list_count(e.folder->sons); ++i) {
      folder_t* d = folder_of(e.folder->sons->elems[i]);
      if (d && d != second) sub = d;
    }
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(val(sub->layer), e.priority);
    EXPECT_EQ(val(sub->userdisplay), 0);
    const auto icons = styles_in(sub->sot, CLS_DIMAGE);
    const auto texts = styles_in(sub->sot, CLS_DTEXT);
    ASSERT_EQ(icons.size(), 1u);
    ASSERT_EQ(texts.size(), 1u);
    auto* s = static_cast<dimage_t*>(icons[0]);
    EXPECT_EQ(val(s->contsrc), e.folder->sot);
    EXPECT_EQ(val(s->typesrc), CLS_WAYPOINT);
    EXPECT_EQ(val(s->meterpixsize), 2000.0);
    EXPECT_EQ(val(s->vpixy.x), 7);
    EXPECT_EQ(val(s->vpixy.y), -5);
    EXPECT_EQ(val(static_cast<dtext_t*>(texts[0])->meterpixsize), 400.0);
    EXPECT_EQ(val(static_cast<dtext_t*>(texts[0])->vsize), kPointLabelSize);
    if (e.folder == first_folder(f)) {
      EXPECT_EQ(obj_list_first_of_class(sub->sot, CLS_GEOREF, nullptr), g);
      attrs_dimage(s, w, nullptr);
      EXPECT_EQ(val(s->vimg), static_cast<obj_t*>(val(w->icon)));
      EXPECT_EQ(val(s->vscale), 0.5);
      EXPECT_EQ(val(s->vsizew), 16);
      EXPECT_EQ(val(s->vsizeh), 12);
      EXPECT_EQ(val(s->pt.x), 1.0);
    }
  }
  // A second run finds the sub-folders' styles and adds no further sub-folder.
  const int subs = obj_list_count(first_folder(f)->sons);
  ASSERT_EQ(file_default_label_styles(f, CLS_WAYPOINT, 0, 30000, 2000.0, 400.0, 0), 0);
  EXPECT_EQ(obj_list_count(first_folder(f)->sons), subs);
  EXPECT_EQ(obj_list_count(second->sons), 1);
}

TEST_F(GpsStyles, CoursePointIconsHaveNoSizeOrScaleOfTheirOwn) {
  fileatt_t* f = new_file();
  obj_t* p = nullptr;
  gpsobj_new_point(CLS_COURSEPOINT, f->sot, &p);
  ASSERT_EQ(file_default_label_styles(f, CLS_COURSEPOINT, 14, 100, 1.0, 1.0, 0), 0);
  folder_t* sub = folder_of(first_folder(f)->sons->elems[0]);
  ASSERT_NE(sub, nullptr);
  auto* s = static_cast<dimage_t*>(styles_in(sub->sot, CLS_DIMAGE).at(0));
  EXPECT_EQ(val(s->pscale), 0);
  EXPECT_EQ(val(s->psize), 0);
  EXPECT_EQ(val(s->vscale), 1.0);
  attrs_dimage(s, p, nullptr);  // reads nothing beyond the course point's record
  EXPECT_EQ(val(s->vcolour), gps_rgb(255, 0, 0));
  EXPECT_EQ(val(static_cast<dtext_t*>(styles_in(sub->sot, CLS_DTEXT).at(0))->vsize), 14);
}

// ---- Tracks -----------------------------------------------------------------------------

TEST_F(GpsStyles, TrackStylesFollowTheirTracklog) {
  fileatt_t* f = new_file();
  container_t* list = f->sot;
  tracklog_t* t = nullptr;
  trackseg_t* seg = add_track(list, {{0, 0, 0}, {2, 0, 1}, {4, 6, 2}}, &t);
  trackseg_t* empty = nullptr;
  trackseg_create(t, list, &empty);
  t->colour = gps_rgb(0, 0, 255);
  t->thickness = 5;
  t->name = w16(u"Track");

  ASSERT_EQ(file_default_track_styles(f, 1, 1000.0), 0);
  const auto segs = styles_in(list, CLS_DSEGPOINT);
  ASSERT_EQ(segs.size(), 1u);  // the empty segment gets none
  auto* s = static_cast<dsegpoint_t*>(segs[0]);
  EXPECT_EQ(val(s->contsrc), val(seg->sons));
  EXPECT_EQ(val(s->typesrc), CLS_GPSPOS);
  EXPECT_EQ(val(s->typeperesrc), CLS_TRACKLOG);
  EXPECT_EQ(val(s->vthickness), 2);
  EXPECT_EQ(val(s->vshape), 0);
  EXPECT_EQ(val(s->vlinkmotif), 1);
  obj_t* p0 = seg->sons->elems[0];
  attrs_dsegpoint(s, p0, t);
  EXPECT_EQ(val(s->vcolour), gps_rgb(0, 0, 255));
  EXPECT_EQ(val(s->vlinkthick), 5);
  EXPECT_EQ(val(s->pt.x), 0.0);

  const auto labels = styles_in(list, CLS_DTEXT);
  ASSERT_EQ(labels.size(), 1u);
  auto* l = static_cast<dtext_t*>(labels[0]);
  EXPECT_EQ(val(l->typesrc), CLS_TRACKLOG);
  EXPECT_EQ(val(l->meterpixsize), 10.0);
  EXPECT_EQ(val(l->vsize), kLineLabelSize);
  attrs_dtext(l, t, nullptr);
  EXPECT_EQ(wide(val(l->text)), u"Track");
  EXPECT_EQ(val(l->pt.x), 2.0);  // the centroid of the points
  EXPECT_EQ(val(l->pt.y), 2.0);

  ASSERT_EQ(file_default_track_styles(f, 1, 1000.0), 0);
  EXPECT_EQ(count_styles(list), 2);
}

TEST_F(GpsStyles, TrackStylesWithoutLabelsAndWithoutTracks) {
  fileatt_t* f = new_file();
  add_track(f->sot, {{0, 0, 0}, {1, 1, 1}});
  ASSERT_EQ(file_default_track_styles(f, 0, 1000.0), 0);
  EXPECT_EQ(styles_in(f->sot, CLS_DSEGPOINT).size(), 1u);
  EXPECT_EQ(styles_in(f->sot, CLS_DTEXT).size(), 0u);

  fileatt_t* g = new_file();
  add_waypoint(g->sot, 0, 0, u"w", nullptr, 0);
  ASSERT_EQ(file_default_track_styles(g, 1, 1000.0), 0);
  EXPECT_EQ(count_styles(g->sot), 0);
}

TEST_F(GpsStyles, LiveTrackStyleHasFixedColours) {
  trackseg_t* seg = add_track(list_, {{0, 0, 0}, {1, 1, 1}});
  obj_t* o = nullptr;
  ASSERT_NE(gpspos_style_create(list_, seg, &o, 50.0), nullptr);
  auto* s = static_cast<dsegpoint_t*>(o);
  EXPECT_EQ(val(s->contsrc), val(seg->sons));
  EXPECT_EQ(val(s->typeperesrc), 0);
  attrs_dsegpoint(s, seg->sons->elems[0], nullptr);
  EXPECT_EQ(val(s->vcolour), gps_rgb(255, 0, 255));
  EXPECT_EQ(val(s->vthickness), 2);
  EXPECT_EQ(val(s->vlinkthick), 2);
  EXPECT_EQ(val(s->vlinkmotif), 1);
  EXPECT_EQ(val(s->meterpixsize), 50.0);

  o = reinterpret_cast<obj_t*>(1);
  EXPECT_EQ(gpspos_style_create(list_, nullptr, &o, 1.0), nullptr);
  EXPECT_EQ(o, nullptr);
  EXPECT_EQ(get_gblerr(), ERR_PARAMETERS);
}

// ---- Routes, loi sets and loi lines --------------------------------------------------------

TEST_F(GpsStyles, RouteAndLoiSetStylesPerObjectWithPoints) {
  struct Case {
    int cls, point_cls, link_thickness;
  };
  for (const Case& c : {Case{CLS_ROUTE, CLS_WAYPOINT, 2}, Case{CLS_LOIS, CLS_LOIPOINT, 4}}) {
    SCOPED_TRACE(c.cls);
    fileatt_t* f = new_file();
    container_t* list = f->sot;
    obj_t* line = nullptr;
    obj_t* bare = nullptr;
    obj_new_in_list(list, c.cls, &line);
    obj_new_in_list(list, c.cls, &bare);
    auto* r = static_cast<route_t*>(line);
    r->colour = gps_rgb(9, 8, 7);
    r->name = w16(u"R");
    if (c.cls == CLS_LOIS) static_cast<lois_t*>(line)->thickness = 4;
    container_t* points = obj_create_sons_list(line, 0, 0, 0);
    for (double x : {0.0, 3.0, 6.0}) {
      obj_t* p = nullptr;
      obj_new_in_list(list, c.point_cls, &p);
      field_store(p, kPointCoordsOffset, gps_point_t{x, 3.0, 0.0f});
      obj_list_append(points, p);
    }
    ASSERT_EQ(file_default_route_styles(f, c.cls, 1, 1000.0), 0);
    const auto segs = styles_in(list, CLS_DSEGPOINT);
    ASSERT_EQ(segs.size(), 1u);  // the route without points gets none
    auto* s = static_cast<dsegpoint_t*>(segs[0]);
    EXPECT_EQ(val(s->typesrc), c.point_cls);
    EXPECT_EQ(val(s->contsrc), points);
    attrs_dsegpoint(s, points->elems[0], nullptr);
    EXPECT_EQ(val(s->vcolour), gps_rgb(9, 8, 7));
    EXPECT_EQ(val(s->vlinkthick), c.link_thickness);
    EXPECT_EQ(val(s->vthickness), 2);
    EXPECT_EQ(val(s->vlinkmotif), 1);
    EXPECT_EQ(val(s->pt.x), 0.0);

    const auto labels = styles_in(list, CLS_DTEXT);
    ASSERT_EQ(labels.size(), 1u);
    auto* l = static_cast<dtext_t*>(labels[0]);
    EXPECT_EQ(val(l->typesrc), c.cls);
    EXPECT_EQ(val(l->vsize), kLineLabelSize);
    attrs_dtext(l, line, nullptr);
    EXPECT_EQ(wide(val(l->text)), u"R");
    EXPECT_EQ(val(l->pt.x), 3.0);
    EXPECT_EQ(val(l->pt.y), 3.0);

    ASSERT_EQ(file_default_route_styles(f, c.cls, 1, 1000.0), 0);
    EXPECT_EQ(count_styles(list), 2);
  }
}

TEST_F(GpsStyles, LoiLineStyleDrawsItsCoordinates) {
  fileatt_t* f = new_file();
  loil_t* l = nullptr;
  obj_new_in_list(f->sot, CLS_LOIL, reinterpret_cast<obj_t**>(&l));
  const double xy[] = {0, 0, 1, 0, 1, 1};
  coord_list c{};
  coords_set(&c, 3, xy);
  l->loicoord = c;
  l->colour = gps_rgb(4, 5, 6);
  l->thickness = 3;
  ASSERT_EQ(file_default_loil_styles(f, 1, 10.0), 0);
  const auto curves = styles_in(f->sot, CLS_DPOLYCURVE);
  ASSERT_EQ(curves.size(), 1u);
  auto* s = static_cast<dpolycurve_t*>(curves[0]);
  EXPECT_EQ(val(s->vedgemotif), 1);
  attrs_dpolycurve(s, l, nullptr);
  EXPECT_EQ(val(s->line.count), 3);
  EXPECT_EQ(val(s->vcolour), gps_rgb(4, 5, 6));
  EXPECT_EQ(val(s->vthickness), 3);
  EXPECT_EQ(styles_in(f->sot, CLS_DTEXT).size(), 1u);
  ASSERT_EQ(file_default_loil_styles(f, 1, 10.0), 0);
  EXPECT_EQ(count_styles(f->sot), 2);
}

// ---- Lap markers ----------------------------------------------------------------------------

TEST_F(GpsStyles, LapMarkersGetIconsAndTextsInASubFolder) {
  fileatt_t* f = new_file();
  folder_t* d = first_folder(f);
  georef_t* g = add_georef(f->sot);
  obj_t* begin = nullptr;
  obj_new_in_list(f->sot, CLS_LAP_BEGIN, &begin);
  obj_new_in_list(f->sot, CLS_LAP_END, nullptr);
  ASSERT_EQ(folder_add_lap_markers(d, 1.0), 0);
  EXPECT_EQ(val(d->layer), 30000);
  ASSERT_EQ(obj_list_count(d->sons), 1);
  folder_t* sub = folder_of(d->sons->elems[0]);
  EXPECT_EQ(val(sub->layer), 30000);
  EXPECT_EQ(obj_list_first_of_class(sub->sot, CLS_GEOREF, nullptr), g);
  bitmap_t* lap = nullptr;
  ASSERT_NE(gpsobj_get_lap_icon(&lap), nullptr);

  struct Expect {
    int cls;
    const char16_t* text;
  };
  for (const Expect& e : {Expect{CLS_LAP_BEGIN, u"BEGIN"}, Expect{CLS_LAP_END, u"END"}}) {
    SCOPED_TRACE(e.cls);
    dimage_t* icon = nullptr;
    for (obj_t* o : styles_in(sub->sot, CLS_DIMAGE))
      if (static_cast<dimage_t*>(o)->typesrc == e.cls) icon = static_cast<dimage_t*>(o);
    dtext_t* text = nullptr;
    for (obj_t* o : styles_in(sub->sot, CLS_DTEXT))
      if (static_cast<dtext_t*>(o)->typesrc == e.cls) text = static_cast<dtext_t*>(o);
    ASSERT_NE(icon, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(val(icon->contsrc), f->sot);
    EXPECT_EQ(val(icon->vimg), static_cast<obj_t*>(lap));
    EXPECT_EQ(val(icon->vscale), 1.0);
    EXPECT_EQ(val(icon->vcolour), gps_rgb(255, 128, 0));
    attrs_dtext(text, begin, nullptr);
    EXPECT_EQ(wide(val(text->text)), e.text);
    EXPECT_EQ(val(text->vcolour), gps_rgb(255, 128, 0));
    EXPECT_EQ(val(text->vsize), 12);
    EXPECT_EQ(val(text->vthickness), 3);
  }
  ASSERT_EQ(folder_add_lap_markers(d, 1.0), 0);
  EXPECT_EQ(obj_list_count(d->sons), 1);

  // A folder without markers is left as it is.
  fileatt_t* plain = new_file();
  add_waypoint(plain->sot, 0, 0, u"w", nullptr, 0);
  ASSERT_EQ(folder_add_lap_markers(first_folder(plain), 1.0), 0);
  EXPECT_EQ(val(first_folder(plain)->layer), 0);
  EXPECT_EQ(obj_list_count(first_folder(plain)->sons), 0);
}

// ---- Drawn shapes -----------------------------------------------------------------------------

TEST_F(GpsStyles, ShapeStylesTakeUnsetValuesFromTheObject) {
  const uint32_t fixed_colour = gps_rgb(10, 20, 30);
  geopoint_t* pt = nullptr;
  obj_new_in_list(list_, CLS_GEOPOINT, reinterpret_cast<obj_t**>(&pt));
  pt->coords = gps_point_t{5, 6, 0};
  pt->colour = gps_rgb(1, 1, 1);
  pt->thickness = 7;
  pt->shape = 3;
  pt->motif = 2;

  obj_t* o = nullptr;
  ASSERT_NE(geopoint_style_create(list_, &o, nullptr, NULL_INT, NULL_INT, NULL_INT, 3.0), nullptr);
  auto* from_object = static_cast<dpoint_t*>(o);
  EXPECT_EQ(val(from_object->contsrc), list_);
  EXPECT_EQ(val(from_object->typesrc), CLS_GEOPOINT);
  attrs_dpoint(from_object, pt, nullptr);
  EXPECT_EQ(val(from_object->vcolour), gps_rgb(1, 1, 1));
  EXPECT_EQ(val(from_object->vthickness), 7);
  EXPECT_EQ(val(from_object->vshape), 3);
  EXPECT_EQ(val(from_object->vmotif), 2);
  EXPECT_EQ(val(from_object->pt.x), 5.0);

  ASSERT_NE(geopoint_style_create(list_, &o, &fixed_colour, 1, 4, 0, 3.0), nullptr);
  auto* fixed = static_cast<dpoint_t*>(o);
  attrs_dpoint(fixed, pt, nullptr);
  EXPECT_EQ(val(fixed->vcolour), fixed_colour);
  EXPECT_EQ(val(fixed->vthickness), 1);
  EXPECT_EQ(val(fixed->vshape), 4);
  EXPECT_EQ(val(fixed->vmotif), 0);

  geotext_t* tx = nullptr;
  obj_new_in_list(list_, CLS_GEOTEXT, reinterpret_cast<obj_t**>(&tx));
  tx->text = w16(u"Hi");
  tx->size = 9;
  tx->font = 2;
  tx->thickness = 1;
  ASSERT_NE(geotext_style_create(list_, &o, &fixed_colour, NULL_INT, 4, NULL_INT, 3.0), nullptr);
  auto* ts = static_cast<dtext_t*>(o);
  attrs_dtext(ts, tx, nullptr);
  EXPECT_EQ(wide(val(ts->text)), u"Hi");
  EXPECT_EQ(val(ts->vsize), 9);
  EXPECT_EQ(val(ts->vthickness), 4);
  EXPECT_EQ(val(ts->vfont), 2);
  EXPECT_EQ(val(ts->vcolour), fixed_colour);

  geosegment_t* sg = nullptr;
  obj_new_in_list(list_, CLS_GEOSEGMENT, reinterpret_cast<obj_t**>(&sg));
  sg->coords = gps_twopoints_t{1, 2, 3, 4, 0};
  sg->motif = 5;
  ASSERT_NE(geosegment_style_create(list_, &o, nullptr, 6, NULL_INT, 3.0), nullptr);
  auto* ss = static_cast<dsegment_t*>(o);
  attrs_dsegment(ss, sg, nullptr);
  EXPECT_EQ(val(ss->seg.x2), 3.0);
  EXPECT_EQ(val(ss->vthickness), 6);
  EXPECT_EQ(val(ss->vmotif), 5);

  georectangle_t* rc = nullptr;
  obj_new_in_list(list_, CLS_GEORECTANGLE, reinterpret_cast<obj_t**>(&rc));
  rc->coords = gps_twopoints_t{0, 0, 8, 9, 0};
  rc->edgemotif = 2;
  rc->fillmotif = 3;
  ASSERT_NE(georectangle_style_create(list_, &o, nullptr, 2, NULL_INT, 0, 3.0), nullptr);
  auto* rs = static_cast<drectangle_t*>(o);
  attrs_drectangle(rs, rc, nullptr);
  EXPECT_EQ(val(rs->corner.y2), 9.0);
  EXPECT_EQ(val(rs->vedgemotif), 2);
  EXPECT_EQ(val(rs->vfillmotif), 0);

  for (obj_t* s : {static_cast<obj_t*>(from_object), static_cast<obj_t*>(fixed),
                   static_cast<obj_t*>(ts), static_cast<obj_t*>(ss), static_cast<obj_t*>(rs)})
    EXPECT_EQ(val(static_cast<drawstyle_t*>(s)->meterpixsize), 3.0);
}

// An ellipse of 2.5 by 0.4 units turned by 0.3 radians keeps its size and turn in the style.
TEST_F(GpsStyles, EllipseStyleKeepsAxesAndOrientationAsDoubles) {
  geoarcellip_t* e = nullptr;
  obj_new_in_list(list_, CLS_GEOARCELLIP, reinterpret_cast<obj_t**>(&e));
  e->center = gps_point_t{10, 20, 0};
  e->graxis = 2.5;
  e->smaxis = 0.4;
  e->orient = 0.3;
  e->angle = gps_angles_t{0.25, 1.75};
  e->colour = gps_rgb(3, 3, 3);
  e->fillmotif = 1;
  obj_t* o = nullptr;
  ASSERT_NE(geoarcellip_style_create(list_, &o, nullptr, NULL_INT, 4, NULL_INT, 2.0), nullptr);
  auto* s = static_cast<darcellip_t*>(o);
  EXPECT_EQ(val(s->vthickness), 1);  // an ellipse has no thickness to read
  attrs_darcellip(s, e, nullptr);
  EXPECT_EQ(val(s->vgraxis), 2.5);
  EXPECT_EQ(val(s->vsmaxis), 0.4);
  EXPECT_EQ(val(s->vorient), 0.3);
  EXPECT_EQ(val(s->vangle[0]), 0.25);
  EXPECT_EQ(val(s->vangle[1]), 1.75);
  EXPECT_EQ(val(s->center.x), 10.0);
  EXPECT_EQ(val(s->vcolour), gps_rgb(3, 3, 3));
  EXPECT_EQ(val(s->vedgemotif), 4);
  EXPECT_EQ(val(s->vfillmotif), 1);

  o = reinterpret_cast<obj_t*>(1);
  EXPECT_EQ(geoarcellip_style_create(nullptr, &o, nullptr, 1, 1, 1, 1.0), nullptr);
  EXPECT_EQ(o, nullptr);
  EXPECT_EQ(get_gblerr(), ERR_PARAMETERS);
}

// ---- Labels and GPS points of a file -----------------------------------------------------------

TEST_F(GpsStyles, FilePointLabelsCoverEveryFolderAndOnlyTheClass) {
  fileatt_t* f = new_file();
  waypoint_t* by_name = add_waypoint(f->sot, 0, 0, u"n1", u"c1", 0);
  folder_t* sub = new_sub_folder(first_folder(f));
  waypoint_t* by_comment = add_waypoint(sub->sot, 0, 0, u"n2", u"c2", 2);
  waypoint_t* no_comment = add_waypoint(sub->sot, 0, 0, u"n3", nullptr, 2);
  waypoint_t* kept = add_waypoint(sub->sot, 0, 0, u"n4", u"c4", 1);
  kept->label = w16(u"old");
  obj_t* poi = nullptr;
  gpsobj_new_point(CLS_POI, f->sot, &poi);
  static_cast<poi_t*>(poi)->name = w16(u"poi");

  file_set_point_labels(f, CLS_WAYPOINT);
  EXPECT_EQ(wide(by_name->label), u"n1");
  EXPECT_EQ(wide(by_comment->label), u"c2");
  EXPECT_EQ(val(no_comment->label), nullptr);
  EXPECT_EQ(wide(kept->label), u"old");
  EXPECT_EQ(val(static_cast<poi_t*>(poi)->label), nullptr);

  file_set_point_labels(f, CLS_POI);
  EXPECT_EQ(wide(static_cast<poi_t*>(poi)->label), u"poi");
  file_set_point_labels(nullptr, CLS_WAYPOINT);  // no file: nothing
}

TEST_F(GpsStyles, FileHasGpsPoints) {
  struct Case {
    const char* what;
    int cls;        // class of the one object, 0 for none
    bool in_sub;    // in a sub-folder rather than the file's own list
    int expected;
  };
  const Case cases[] = {
      {"empty", 0, false, 0},
      {"a route only", CLS_ROUTE, false, 0},
      {"a point of interest only", CLS_POI, false, 0},
      {"a waypoint", CLS_WAYPOINT, false, 1},
      {"a track point", CLS_GPSPOS, false, 1},
      {"a waypoint in a sub-folder", CLS_WAYPOINT, true, 1},
      {"a track point in a sub-folder", CLS_GPSPOS, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fileatt_t* f = new_file();
    container_t* list = c.in_sub ? new_sub_folder(first_folder(f))->sot : f->sot;
    if (c.cls) obj_new_in_list(list, c.cls, nullptr);
    EXPECT_EQ(file_has_gps_points(f), c.expected);
  }
  EXPECT_EQ(file_has_gps_points(nullptr), 0);
  EXPECT_EQ(file_has_gps_points(list_), 0);  // not a file
}

}  // namespace
}  // namespace tm_test
