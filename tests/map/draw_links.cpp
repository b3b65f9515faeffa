// A segment-point style drawn as a whole (draw_dsegpoint_links) against the same style
// drawn point by point through draw_dsegpoint, the path taken when another routine sits
// in the draw slot: the same pixels, and the same values left in the style and the
// drawing state, for thin, wide and dotted links, colours and widths read from the
// points' fathers, links running off the window, points repeated on one pixel, empty
// slots and records too short for the coordinates, points beyond one chunk, raster
// operations that are not a plain copy (thin and wide pens), and a layer linked to the
// view by a transformation chain with elevations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/core_classes.h"
#include "geodesy/xform.h"
#include "tests/map/draw_fixture.h"

namespace {

using tm_test::draw_canvas;

// The draw slot's routine called for one point at a time.
void point_by_point(obj_t* style, obj_t* object, obj_t* father) {
  draw_dsegpoint(style, object, father);
}

struct scene {
  const char* what;
  int points;
  double amplitude;  // world units around the canvas centre: beyond 50 the track leaves it
  int motif;
  int thickness;
  bool from_fathers;  // colour and link thickness read from the tracklogs
  bool holes;         // empty slots and short records among the points
  int rop2;
  bool linked;
};

struct drawn {
  std::vector<uint32_t> pixels;
  std::vector<char> style_bytes;
  double width = 0;
};

drawn draw_scene(const scene& sc, bool whole) {
  draw_canvas c;
  if (sc.rop2) plat::set_rop2(c.dc, sc.rop2);
  xform_chain_t* chain = nullptr;
  xform_scale_t* scale = nullptr;
  if (sc.linked) {
    xform_make_scale(1.01, 0.98, 1.0, &scale);
    xform_chain_create(0, &chain);
    xform_chain_append(chain, scale, XK_SCALE);
    c.layer->cs_link = chain;
  }
  container_t* list = tm_test::empty_list();
  tracklog_t* logs[3] = {};
  const uint32_t colours[3] = {colour_word(255, 0, 0), colour_word(0, 0, 255),
                               colour_word(0, 128, 0)};
  for (int t = 0; t < 3; ++t) {
    obj_new(0, CLS_TRACKLOG, reinterpret_cast<obj_t**>(&logs[t]));
    logs[t]->colour = colours[t];
    logs[t]->thickness = t == 2 ? 2 : 1;
    obj_list_append(list, logs[t]);
  }
  container_t* pts = tm_test::empty_list();
  std::vector<obj_t*> others;
  for (int i = 0; i < sc.points; ++i) {
    if (sc.holes && i % 97 == 13) {
      obj_list_append(pts, nullptr);
      continue;
    }
    if (sc.holes && (i % 89 == 40 || i % 83 == 20)) {
      // Records whose class is too short for coordinates at the point offset: a pair of
      // ids holds not even x and y, a pair of strings x and y without the elevation (it
      // reads as a next point, not as a link's start).
      obj_t* o = nullptr;
      obj_new(0, i % 89 == 40 ? CLS_IDPAIR : CLS_STRPAIR, &o);
      EXPECT_LT(obj_class_size(o->cls), int64_t(kPointCoordsOffset + sizeof(style_point_t)));
      others.push_back(o);
      obj_list_append(pts, o);
      continue;
    }
    const double x = 50 + sc.amplitude * std::sin(0.0137 * i * 7);
    const double y = 50 + sc.amplitude * std::sin(0.0219 * i * 7 + 0.5);
    gpspos_t* g = nullptr;
    gpspos_create(x, y, nullptr, 100.0 + i % 50, nullptr, list, &g);
    obj_set_father_link(g, logs[(i / 40) % 3]);
    obj_list_append(pts, g);
  }
  auto* track = tm_test::new_draw_style<dsegpoint_t>(CLS_DSEGPOINT);
  track->typesrc = CLS_GPSPOS;
  track->pptcoord = kPointCoordsOffset;
  track->contsrc = pts;
  track->vcolour = tm_test::kRedWord;
  track->vlinkmotif = sc.motif;
  track->vlinkthick = sc.thickness;
  track->next_x = 3.0;  // what an earlier drawing left
  track->next_y = 4.0;
  if (sc.from_fathers) {
    track->typeperesrc = CLS_TRACKLOG;
    track->pcolour = -int32_t(offsetof(tracklog_t, colour));
    track->plinkthick = -int32_t(offsetof(tracklog_t, thickness));
  }
  const draw_fn own = drawobj_draw_routine(CLS_DSEGPOINT);
  if (!whole) drawobj_set_draw_routine(CLS_DSEGPOINT, point_by_point);
  drawobj_draw(track);
  drawobj_set_draw_routine(CLS_DSEGPOINT, own);

  drawn out;
  out.pixels = c.surface.pixels;
  // The values a drawing leaves in the style: from the link thickness to the next point.
  const char* bytes = reinterpret_cast<const char*>(track);
  out.style_bytes.assign(bytes + offsetof(dsegpoint_t, vthickness), bytes + sizeof(dsegpoint_t));
  out.width = draw_current_width();

  track->contsrc = nullptr;
  tm_test::free_one(track);
  obj_list_set_count(pts, 0);
  free_obj(&pts);
  for (obj_t*& o : others) free_obj(&o);
  tm_test::free_list(list);
  if (chain) {
    c.layer->cs_link = nullptr;
    free_obj(&chain);
    free_obj(&scale);
  }
  return out;
}

TEST(DrawLinks, WholeStyleDrawsAsPointByPoint) {
  const scene scenes[] = {
      {"thin, inside", 3000, 40, 1, 1, false, false, 0, false},
      {"thin, off the window, chunks", 6000, 70, 1, 1, false, false, 0, false},
      {"colours and widths of the fathers", 3000, 60, 1, 1, true, false, 0, false},
      {"wide", 1500, 45, 1, 3, false, false, 0, false},
      {"wide, even", 1500, 45, 1, 2, false, false, 0, false},
      {"wide, off the window", 3000, 70, 1, 4, false, false, 0, false},
      {"wide, points repeated", 3000, 1.5, 1, 2, false, false, 0, false},
      {"wide, exclusive or", 1500, 45, 1, 3, false, false, plat::R2_XORPEN, false},
      {"wide, masked", 1500, 45, 1, 2, false, false, plat::R2_MASKPEN, false},
      {"dotted", 1500, 45, 8, 1, false, false, 0, false},
      {"no line", 500, 45, 0, 1, false, false, 0, false},
      {"empty slots and short records", 3000, 60, 1, 1, true, true, 0, false},
      {"exclusive or", 3000, 40, 1, 1, false, false, plat::R2_XORPEN, false},
      {"linked, with elevations", 5000, 55, 1, 1, true, true, 0, true},
  };
  for (const scene& sc : scenes) {
    const drawn one = draw_scene(sc, false);
    const drawn all = draw_scene(sc, true);
    int white = 0;
    for (uint32_t p : one.pixels) white += plat::color_of_pixel(p) == tm_test::kWhiteColour;
    if (sc.motif != 0) EXPECT_LT(white, int(one.pixels.size())) << sc.what << ": nothing drawn";
    int differ = 0;
    for (size_t i = 0; i < one.pixels.size(); ++i) differ += one.pixels[i] != all.pixels[i];
    EXPECT_EQ(differ, 0) << sc.what;
    EXPECT_EQ(one.style_bytes, all.style_bytes) << sc.what;
    EXPECT_EQ(one.width, all.width) << sc.what;
  }
}

}  // namespace
