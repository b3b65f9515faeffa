// Drawing styles: the extent routine of every class (box and pixel margin, on ordinary
// layers and on layers of moving objects, through a layer's link chain), the image
// extent, and the draw dispatch of one object through the styles of its layer.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

#include "core/obj_layout.h"
#include "core/wstring.h"
#include "geodesy/xform.h"
#include "map/draw_gdi.h"
#include "tests/map/map_model_fixture.h"

namespace {

// A layer outside any graph space that the extent routines read as the current layer.
struct current_layer_scope {
  layer_t* layer = nullptr;
  explicit current_layer_scope(int movobj) {
    obj_new(0, CLS_LAYER, reinterpret_cast<obj_t**>(&layer));
    layer->movobj = movobj;
    set_current_layer(layer);
  }
  ~current_layer_scope() {
    set_current_layer(nullptr);
    free_obj(&layer);
  }
};

template <class T> T* new_style(int cls, double geopixsize) {
  T* s = nullptr;
  obj_new(0, cls, reinterpret_cast<obj_t**>(&s));
  s->geopixsize = geopixsize;
  return s;
}

// The measure of the label "Col" at size 10 in the first face.
plat::Size col_size() {
  plat::Size sz;
  EXPECT_EQ(text_extent(0, 10, 0, 0, u"Col", &sz.cx, &sz.cy), 1);
  EXPECT_GT(sz.cx, 10);
  return sz;
}

// The styles of the table, each with fixed values and a source object of its own.
struct extent_case {
  const char* name;
  obj_t* style;
  obj_t* object;
  extent_t box;   // box before the margin
  double margin;  // pixels; NULL_DOUBLE: none
};

std::vector<extent_case> make_cases(container_t* list, bitmap_t* icon) {
  std::vector<extent_case> cases;
  geosegment_t* seg = nullptr;
  obj_new(0, CLS_GEOSEGMENT, reinterpret_cast<obj_t**>(&seg));
  seg->coords = gps_twopoints_t{1, 2, 3, 4, 0};
  obj_list_append(list, seg);
  auto* ds = new_style<dsegment_t>(CLS_DSEGMENT, 0.5);
  ds->prcoord = offsetof(geosegment_t, coords);
  ds->vthickness = 3;
  cases.push_back({"dsegment", ds, seg, {1, 3, 2, 4, 0}, 3});

  georectangle_t* rect = nullptr;
  obj_new(0, CLS_GEORECTANGLE, reinterpret_cast<obj_t**>(&rect));
  rect->coords = gps_twopoints_t{7, 8, -1, -2, 0};
  obj_list_append(list, rect);
  auto* dr = new_style<drectangle_t>(CLS_DRECTANGLE, 0.5);
  dr->prcoord = offsetof(georectangle_t, coords);
  dr->vthickness = 2;
  dr->vpixy = pixel_offset_t{3, 5};
  cases.push_back({"drectangle", dr, rect, {-1, 7, -2, 8, 0}, 7});

  loil_t* line = nullptr;
  obj_new(0, CLS_LOIL, reinterpret_cast<obj_t**>(&line));
  const double xy[] = {0, 0, 10, 5, 20, -5};
  coord_list c{};
  coords_set(&c, 3, xy);
  line->loicoord = c;
  obj_list_append(list, line);
  auto* dp = new_style<dpolycurve_t>(CLS_DPOLYCURVE, 0.5);
  dp->plcoord = offsetof(loil_t, loicoord);
  dp->vthickness = 4;
  cases.push_back({"dpolycurve", dp, line, {0, 20, -5, 5, 0}, 4});

  for (double orient : {0.0, std::numbers::pi / 2}) {
    geoarcellip_t* e = nullptr;
    obj_new(0, CLS_GEOARCELLIP, reinterpret_cast<obj_t**>(&e));
    e->center = gps_point_t{100, 200, 0};
    e->orient = orient;
    obj_list_append(list, e);
    auto* da = new_style<darcellip_t>(CLS_DARCELLIP, 0.5);
    da->pcenter = offsetof(geoarcellip_t, center);
    da->porient = offsetof(geoarcellip_t, orient);
    da->vgraxis = 4;
    da->vsmaxis = 2;
    da->vthickness = 1;
    da->vpixy = pixel_offset_t{2, 0};
    const extent_t box = orient == 0.0 ? extent_t{98, 102, 199, 201, 0}
                                       : extent_t{99, 101, 198, 202, 0};
    cases.push_back({"darcellip", da, e, box, 3});
  }

  waypoint_t* w = nullptr;
  waypoint_create(3, 4, u"Col", nullptr, 1, 0, 0, 0.0, list, &w);
  auto* dt = new_style<dtext_t>(CLS_DTEXT, 0.5);
  dt->pptcoord = kPointCoordsOffset;
  dt->pstring = offsetof(waypoint_t, name);
  dt->vsize = 0;  // measured at 10 (half a unit a pixel, twice the text's size)
  const plat::Size sz = col_size();
  cases.push_back({"dtext", dt, w, {3, 3.0 + sz.cx, 4.0 - sz.cy, 4, 0}, NULL_DOUBLE});

  auto* dpt = new_style<dpoint_t>(CLS_DPOINT, 0.5);
  waypoint_t* w2 = nullptr;
  waypoint_create(5, 6, u"p", nullptr, 1, 0, 0, 0.0, list, &w2);
  dpt->pptcoord = kPointCoordsOffset;
  dpt->vthickness = 2;
  dpt->vpixy = pixel_offset_t{1, 4};
  cases.push_back({"dpoint", dpt, w2, {5, 5, 6, 6, 0}, 8});

  gpspos_t* p0 = nullptr;
  gpspos_create(0, 1, nullptr, 0.0, nullptr, list, &p0);
  auto* dsp = new_style<dsegpoint_t>(CLS_DSEGPOINT, 0.5);
  dsp->pptcoord = kPointCoordsOffset;
  dsp->vlinkthick = 2;
  dsp->next_x = 10;
  dsp->next_y = 2;
  cases.push_back({"dsegpoint", dsp, p0, {0, 10, 1, 2, 0}, 2});

  waypoint_t* w3 = nullptr;
  waypoint_create(1, 2, u"i", nullptr, 1, 0, 0, 0.0, list, &w3);
  auto* di = new_style<dimage_t>(CLS_DIMAGE, 0.5);
  di->pptcoord = kPointCoordsOffset;
  di->vimg = icon;
  di->vsizew = 16;
  di->vsizeh = 24;
  di->vpixy = pixel_offset_t{2, 3};
  // max(2 + 16, 3 + 24) pixels, applied with twice geopixsize.
  cases.push_back({"dimage", di, w3, {1, 1, 2, 2, 0}, 2 * 27});
  return cases;
}

void free_cases(std::vector<extent_case>& cases, container_t* list) {
  for (extent_case& c : cases) free_obj(&c.style);
  obj_list_free_elements(list);
}

TEST(DrawStyleExtents, EveryClassOnAnOrdinaryLayer) {
  tm_test::map_model_env();
  container_t* list = tm_test::empty_list();
  bitmap_t* icon = nullptr;
  obj_new(0, CLS_BITMAP, reinterpret_cast<obj_t**>(&icon));
  std::vector<extent_case> cases = make_cases(list, icon);
  current_layer_scope scope(0);
  for (const extent_case& c : cases) {
    SCOPED_TRACE(c.name);
    gindex_entry_t out{};
    ASSERT_EQ(drawobj_extent_routine(c.style->cls)(c.style, c.object, nullptr, &out), 1);
    extent_t want = c.box;
    if (c.margin > NULL_DOUBLE) extent_inflate(&want, 0.5 * c.margin);
    const extent_t got = out.extent;
    EXPECT_NEAR(got.xmin, want.xmin, 1e-12);
    EXPECT_NEAR(got.xmax, want.xmax, 1e-12);
    EXPECT_NEAR(got.ymin, want.ymin, 1e-12);
    EXPECT_NEAR(got.ymax, want.ymax, 1e-12);
    EXPECT_EQ(got.step, 0.0);
    EXPECT_EQ(val(out.cx), 127);
    EXPECT_EQ(val(out.cy), 127);
    EXPECT_EQ(val(out.weight), 1u);
  }
  // A text of size 0 is measured, and then drawn, at size 10.
  EXPECT_EQ(val(reinterpret_cast<dtext_t*>(cases[5].style)->vsize), 10);
  free_cases(cases, list);
  tm_test::free_one(icon);
  free_obj(&list);
}

// Moving objects: the box stays as it is and the margin goes to the step, in pixels
// (a text: the point, with twice its width).
TEST(DrawStyleExtents, MovingObjectLayerKeepsMarginInPixels) {
  tm_test::map_model_env();
  container_t* list = tm_test::empty_list();
  bitmap_t* icon = nullptr;
  obj_new(0, CLS_BITMAP, reinterpret_cast<obj_t**>(&icon));
  std::vector<extent_case> cases = make_cases(list, icon);
  current_layer_scope scope(1);
  for (extent_case& c : cases) {
    SCOPED_TRACE(c.name);
    extent_t want = c.box;
    double step = c.margin;
    if (c.style->cls == CLS_DTEXT) {
      want = {3, 3, 4, 4, 0};
      step = 2 * col_size().cx;
    }
    if (c.style->cls == CLS_DIMAGE) step = 27;  // the factor 2 is geopixsize's only
    gindex_entry_t out{};
    ASSERT_EQ(drawobj_extent_routine(c.style->cls)(c.style, c.object, nullptr, &out), 1);
    const extent_t got = out.extent;
    EXPECT_EQ(got.xmin, want.xmin);
    EXPECT_EQ(got.xmax, want.xmax);
    EXPECT_EQ(got.ymin, want.ymin);
    EXPECT_EQ(got.ymax, want.ymax);
    EXPECT_EQ(got.step, step);
  }
  free_cases(cases, list);
  tm_test::free_one(icon);
  free_obj(&list);
}

// Nothing to draw: a line without points, an empty text, an image style without image,
// a point style without bound coordinates.
TEST(DrawStyleExtents, NothingToDrawGivesNoExtent) {
  tm_test::map_model_env();
  current_layer_scope scope(0);
  container_t* list = tm_test::empty_list();
  loil_t* line = nullptr;
  obj_new(0, CLS_LOIL, reinterpret_cast<obj_t**>(&line));
  obj_list_append(list, line);
  auto* dp = new_style<dpolycurve_t>(CLS_DPOLYCURVE, 1.0);
  dp->plcoord = offsetof(loil_t, loicoord);
  waypoint_t* w = nullptr;
  waypoint_create(1, 2, nullptr, nullptr, 1, 0, 0, 0.0, list, &w);
  auto* dt = new_style<dtext_t>(CLS_DTEXT, 1.0);
  dt->pptcoord = kPointCoordsOffset;
  dt->pstring = offsetof(waypoint_t, name);
  auto* di = new_style<dimage_t>(CLS_DIMAGE, 1.0);
  di->pptcoord = kPointCoordsOffset;
  auto* dpt = new_style<dpoint_t>(CLS_DPOINT, 1.0);
  const struct {
    obj_t* style;
    obj_t* object;
  } rows[] = {{dp, line}, {dt, w}, {di, w}, {dpt, w}};
  for (const auto& r : rows) {
    gindex_entry_t out{};
    EXPECT_EQ(drawobj_extent_routine(r.style->cls)(r.style, r.object, nullptr, &out), 0)
        << obj_class_name(r.style->cls);
  }
  for (const auto& r : rows) {
    obj_t* s = r.style;
    free_obj(&s);
  }
  tm_test::free_list(list);
}

// Through the layer's link: a point in UTM 31N on a layer of a geographic view lands on
// its longitude and latitude; an ellipse's half-axes are measured after the transform.
TEST(DrawStyleExtents, PointsAreCarriedThroughTheLayerLink) {
  tm_test::map_model_env();
  georef_t* view = tm_test::make_georef(214, 0);
  georef_t* utm = tm_test::make_georef(214, 31);
  current_layer_scope scope(0);
  xform_chain_t* chain = nullptr;
  georef_link_chain(view, utm, &chain);
  ASSERT_NE(chain, nullptr);
  scope.layer->cs_link = chain;
  container_t* list = tm_test::empty_list();
  waypoint_t* w = nullptr;
  waypoint_create(452482.5327026278, 5411717.1768689, u"Paris", nullptr, 1, 0, 0, 0.0, list, &w);
  auto* dpt = new_style<dpoint_t>(CLS_DPOINT, 1e-5);
  dpt->pptcoord = kPointCoordsOffset;
  gindex_entry_t out{};
  ASSERT_EQ(extent_dpoint(dpt, w, nullptr, &out), 1);
  extent_t e = out.extent;
  EXPECT_NEAR(e.xmin, 2.3522, 1e-8);
  EXPECT_NEAR(e.ymin, 48.8566, 1e-8);

  geoarcellip_t* el = nullptr;
  obj_new(0, CLS_GEOARCELLIP, reinterpret_cast<obj_t**>(&el));
  el->center = gps_point_t{452482.5327026278, 5411717.1768689, 0};
  el->graxis = 2000.0;  // 1 km each side
  el->smaxis = 2000.0;
  obj_list_append(list, el);
  auto* da = new_style<darcellip_t>(CLS_DARCELLIP, 1e-5);
  da->pcenter = offsetof(geoarcellip_t, center);
  da->pgraxis = offsetof(geoarcellip_t, graxis);
  da->psmaxis = offsetof(geoarcellip_t, smaxis);
  ASSERT_EQ(extent_darcellip(da, el, nullptr, &out), 1);
  e = out.extent;
  // 1 km is about 0.009 degree of latitude and 0.0137 of longitude at 48.9 degrees.
  EXPECT_NEAR((e.ymax - e.ymin) / 2, 1000.0 / 111180.0, 2e-4);
  EXPECT_NEAR((e.xmax - e.xmin) / 2, 1000.0 / (111320.0 * std::cos(48.8566 * M_PI / 180)), 3e-4);
  tm_test::free_one(dpt);
  tm_test::free_one(da);
  tm_test::free_list(list);
  tm_test::free_one(view);
  tm_test::free_one(utm);
}

// An image's extent: its pixel frame carried through its georef's step.
TEST(DrawStyleExtents, ImageExtentThroughItsGeoref) {
  tm_test::map_model_env();
  bitmap_t* bm = nullptr;
  obj_new(0, CLS_BITMAP, reinterpret_cast<obj_t**>(&bm));
  bm->width = 100;
  bm->height = 50;
  extent_t e{};
  current_layer_scope scope(0);
  EXPECT_EQ(image_extent(bm, &e), 0);  // no georef anywhere
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  xform_scale_t* scale = nullptr;
  xform_make_scale(2.0, -3.0, 1.0, &scale);
  g->transfo = scale;
  g->transfotype = XK_SCALE;
  bm->georef = g;
  ASSERT_EQ(image_extent(bm, &e), 1);
  EXPECT_EQ(e.xmin, 0.0);
  EXPECT_EQ(e.xmax, 200.0);
  EXPECT_EQ(e.ymin, -150.0);
  EXPECT_EQ(e.ymax, 0.0);
  bm->georef = nullptr;
  tm_test::free_one(g);
  tm_test::free_one(bm);
}

// ---- Draw dispatch ---------------------------------------------------------------------------
struct draw_call {
  obj_t* style;
  obj_t* object;
  obj_t* father;
  double next_x;
};
std::vector<draw_call> g_calls;
void record_draw(obj_t* style, obj_t* object, obj_t* father) {
  double nx = 0;
  if (style->cls == CLS_DSEGPOINT) nx = field_load<double>(style, offsetof(dsegpoint_t, next_x));
  g_calls.push_back({style, object, father, nx});
}

TEST(DrawStyleDispatch, EveryStyleOfTheObjectsClassDrawsIt) {
  tm_test::map_model_env();
  drawobj_init_table();
  for (int cls = CLS_DIMAGE; cls <= CLS_DARCELLIP; ++cls) drawobj_set_draw_routine(cls, record_draw);
  g_calls.clear();
  current_layer_scope scope(0);
  container_t* styles = nullptr;
  obj_list_new(&styles);
  scope.layer->styles = styles;
  auto* symbol = new_style<dpoint_t>(CLS_DPOINT, 1.0);
  symbol->typesrc = CLS_WAYPOINT;
  auto* label = new_style<dtext_t>(CLS_DTEXT, 1.0);
  label->typesrc = CLS_WAYPOINT;
  auto* other = new_style<dpoint_t>(CLS_DPOINT, 1.0);
  other->typesrc = CLS_POI;
  obj_list_append(styles, symbol);
  obj_list_append(styles, label);
  obj_list_append(styles, other);
  container_t* list = tm_test::empty_list();
  waypoint_t* w = nullptr;
  waypoint_create(1, 2, u"w", nullptr, 1, 0, 0, 0.0, list, &w);
  EXPECT_EQ(drawobj_draw(w), 0);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].style, static_cast<obj_t*>(symbol));
  EXPECT_EQ(g_calls[1].style, static_cast<obj_t*>(label));
  EXPECT_EQ(g_calls[0].father, nullptr);

  // A track style drawn as a whole: segments from the last to the first, each with
  // its next point and its father; a list of one point draws nothing.
  tracklog_t* t = nullptr;
  obj_new(0, CLS_TRACKLOG, reinterpret_cast<obj_t**>(&t));
  obj_list_append(list, t);
  container_t* pts = nullptr;
  obj_list_new(&pts);
  std::vector<gpspos_t*> ps;
  for (int i = 0; i < 3; ++i) {
    gpspos_t* p = nullptr;
    gpspos_create(10.0 * i, 0, nullptr, 0.0, nullptr, list, &p);
    obj_set_father_link(p, t);
    obj_list_append(pts, p);
    ps.push_back(p);
  }
  auto* track = new_style<dsegpoint_t>(CLS_DSEGPOINT, 1.0);
  track->typesrc = CLS_GPSPOS;
  track->typeperesrc = CLS_TRACKLOG;
  track->pptcoord = kPointCoordsOffset;
  track->contsrc = pts;
  g_calls.clear();
  drawobj_draw(track);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].object, static_cast<obj_t*>(ps[1]));
  EXPECT_EQ(g_calls[0].next_x, 20.0);
  EXPECT_EQ(g_calls[1].object, static_cast<obj_t*>(ps[0]));
  EXPECT_EQ(g_calls[1].next_x, 10.0);
  EXPECT_EQ(g_calls[1].father, static_cast<obj_t*>(t));
  obj_list_set_count(pts, 1);
  g_calls.clear();
  drawobj_draw(track);
  EXPECT_TRUE(g_calls.empty());

  drawobj_init_table();  // back to the drawing routines
  EXPECT_NE(drawobj_draw_routine(CLS_DPOINT), record_draw);
  track->contsrc = nullptr;
  for (obj_t* s : {static_cast<obj_t*>(symbol), static_cast<obj_t*>(label),
                   static_cast<obj_t*>(other), static_cast<obj_t*>(track)}) {
    tm_test::free_one(s);
  }
  free_obj(&pts);
  scope.layer->styles = nullptr;
  free_obj(&styles);
  tm_test::free_list(list);
}

// The load task computes a layer's index through the same styles (their working fields
// and source lists): a draw routine runs with the graph-space lock held, so no other
// thread can take it meanwhile.
int g_draws_locked_out = 0;
int g_draws = 0;
void probe_lock_draw(obj_t*, obj_t*, obj_t*) {
  ++g_draws;
  std::thread t([] {
    if (graphspace_mutex().try_lock())
      graphspace_mutex().unlock();
    else
      ++g_draws_locked_out;
  });
  t.join();
}

TEST(DrawStyleDispatch, DrawingHoldsTheGraphSpaceLock) {
  tm_test::map_model_env();
  drawobj_init_table();
  drawobj_set_draw_routine(CLS_DPOINT, probe_lock_draw);
  drawobj_set_draw_routine(CLS_DSEGPOINT, probe_lock_draw);
  current_layer_scope scope(0);
  container_t* styles = nullptr;
  obj_list_new(&styles);
  scope.layer->styles = styles;
  auto* symbol = new_style<dpoint_t>(CLS_DPOINT, 1.0);
  symbol->typesrc = CLS_WAYPOINT;
  obj_list_append(styles, symbol);
  container_t* list = tm_test::empty_list();
  waypoint_t* w = nullptr;
  waypoint_create(1, 2, u"w", nullptr, 1, 0, 0, 0.0, list, &w);
  waypoint_t* w2 = nullptr;
  waypoint_create(3, 4, u"v", nullptr, 1, 0, 0, 0.0, list, &w2);
  auto* track = new_style<dsegpoint_t>(CLS_DSEGPOINT, 1.0);
  track->contsrc = list;
  g_draws = g_draws_locked_out = 0;
  drawobj_draw(w);   // through the layer's styles
  drawobj_draw(track);  // a segment-point style drawn as a whole
  EXPECT_EQ(g_draws, 2);
  EXPECT_EQ(g_draws_locked_out, g_draws);

  drawobj_init_table();
  track->contsrc = nullptr;
  for (obj_t* s : {static_cast<obj_t*>(symbol), static_cast<obj_t*>(track)}) {
    tm_test::free_one(s);
  }
  scope.layer->styles = nullptr;
  free_obj(&styles);
  tm_test::free_list(list);
}

}  // namespace
