// The graphic index of a segment-point track computed link by link as a whole (the
// class's own extent routine in the slot) against the same track through the general
// path, one extent routine call per link (another routine in the slot, here one that
// calls the class's own): the same entries to the bit (extent, pixel margin, weight,
// representative point), the same layer extent, and the same values left in the style.
// Tracks of several thousand points follow seeded random walks, with repeated points,
// points at the origin, empty slots and records too short for the coordinates, link
// thickness and colour read from the points' fathers or from the points themselves, an
// unbound coordinate position, a layer linked to its graph space through a projection,
// a layer of moving objects, a margin pixel size, and the clip extent set or empty.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/core_classes.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"
#include "tests/map/draw_fixture.h"

namespace {

// The class's own routine, called through the slot: the general path, link by link.
int link_by_link(obj_t* style, obj_t* object, obj_t* father, gindex_entry_t* out) {
  return extent_dsegpoint(style, object, father, out);
}

struct track_case {
  const char* what;
  int points;
  unsigned seed;
  double step;              // walk step, in the layer's units
  bool repeats;             // points repeated in place
  bool origin;              // points at (0, 0), with links of no thickness
  bool holes;               // empty slots and records too short for coordinates
  bool from_fathers;        // colour and link thickness read from the tracklogs
  bool thick_from_points;   // link thickness read from each point (its record's bytes)
  bool unbound;             // no coordinate position: nothing to draw
  bool projected;           // degrees carried to UTM by the layer's link
  bool moving;              // a layer of moving objects: the margin goes to the step
  double margin_pixel;      // the layer's margin pixel size (< 0: none)
  bool clip;                // the graph space's fixed extent clips the entry
  bool last_unreadable;     // the last point unreadable: the first link takes the next
                            // point an earlier run left in the style
  bool style_in_its_list;   // the style listed among its own points
};

struct computed {
  std::vector<gindex_entry_t> entries;
  extent_t layer_extent{};
  std::vector<char> style_bytes;
};

struct both_paths {
  computed general, whole;
};

// The entries of the layer and the values left in the style after one computation.
computed read_back(const layer_t* layer, const dsegpoint_t* track) {
  computed out;
  const container_t* index = layer->gindex_sorted;
  for (int i = 0; i < obj_list_count(index); ++i)
    out.entries.push_back(*static_cast<const gindex_entry_t*>(index->elems[i]));
  out.layer_extent = layer->extent;
  // From the point thickness to the next point.
  const char* bytes = reinterpret_cast<const char*>(track);
  out.style_bytes.assign(bytes + offsetof(dsegpoint_t, vthickness), bytes + sizeof(dsegpoint_t));
  return out;
}

void restore_style(dsegpoint_t* track, const computed& before) {
  std::memcpy(reinterpret_cast<char*>(track) + offsetof(dsegpoint_t, vthickness),
              before.style_bytes.data(), before.style_bytes.size());
}

// The track of a case computed through the general path, then, from the same style
// values, as a whole.
both_paths compute_track(const track_case& tc) {
  tm_test::map_model_env();
  std::mt19937 rng(tc.seed);
  std::normal_distribution<double> step(0.0, tc.step);
  std::uniform_int_distribution<int> pick(0, 99);

  container_t* logs = tm_test::empty_list();
  tracklog_t* log[3] = {};
  const uint32_t colours[3] = {colour_word(255, 0, 0), colour_word(0, 0, 255),
                               colour_word(0, 128, 0)};
  for (int t = 0; t < 3; ++t) {
    obj_new(0, CLS_TRACKLOG, reinterpret_cast<obj_t**>(&log[t]));
    log[t]->colour = colours[t];
    log[t]->thickness = t + 1;
    obj_list_append(logs, log[t]);
  }
  container_t* pts = tm_test::empty_list();
  std::vector<obj_t*> others;
  double x = tc.projected ? 2.5 : 100.0, y = tc.projected ? 47.0 : -40.0;
  for (int i = 0; i < tc.points; ++i) {
    const bool last = i == tc.points - 1;
    if (tc.holes && !last && pick(rng) < 3) {
      obj_list_append(pts, nullptr);
      continue;
    }
    if ((tc.holes && pick(rng) < 3) || (tc.last_unreadable && last)) {
      // A record too short for coordinates at the point position.
      obj_t* o = nullptr;
      obj_new(0, CLS_IDPAIR, &o);
      others.push_back(o);
      obj_list_append(pts, o);
      continue;
    }
    if (tc.holes && pick(rng) < 3) {
      // A record of another class, long enough: its bytes are read as coordinates.
      obj_t* o = nullptr;
      obj_new(0, CLS_TRACKLOG, &o);
      others.push_back(o);
      obj_list_append(pts, o);
      continue;
    }
    if (!(tc.repeats && pick(rng) < 30)) {
      x += step(rng);
      y += step(rng);
    }
    double px = x, py = y;
    if (tc.origin && pick(rng) < 20) px = py = 0.0;
    gpspos_t* g = nullptr;
    gpspos_create(px, py, nullptr, 100.0 + i % 50, nullptr, logs, &g);
    // A small number in the point's own record, where a thickness may be read.
    const int32_t thickness = pick(rng) % 4;
    std::memcpy(&g->geoidh, &thickness, sizeof thickness);
    obj_set_father_link(g, pick(rng) < 5 ? nullptr : log[(i / 300) % 3]);
    obj_list_append(pts, g);
  }

  auto* track = tm_test::new_draw_style<dsegpoint_t>(CLS_DSEGPOINT);
  track->typesrc = CLS_GPSPOS;
  track->pptcoord = tc.unbound ? 0 : kPointCoordsOffset;
  track->contsrc = pts;
  track->vcolour = colour_word(1, 2, 3);
  track->vlinkmotif = 1;
  track->vlinkthick = tc.origin ? 0 : 2;
  track->geopixsize = tc.projected ? 3.0 : 0.25;
  track->next_x = tc.projected ? 2.0 : 90.0;  // what an earlier run left
  track->next_y = tc.projected ? 46.0 : -30.0;
  if (tc.from_fathers) {
    track->typeperesrc = CLS_TRACKLOG;
    track->pcolour = -int32_t(offsetof(tracklog_t, colour));
    track->plinkthick = -int32_t(offsetof(tracklog_t, thickness));
  }
  if (tc.thick_from_points) {
    track->plinkmotif = int32_t(offsetof(gpspos_t, altitude));
    track->plinkthick = int32_t(offsetof(gpspos_t, geoidh));
  }
  if (tc.style_in_its_list) obj_list_insert(pts, tc.points / 2, track);

  layer_t* layer = nullptr;
  obj_new(0, CLS_LAYER, reinterpret_cast<obj_t**>(&layer));
  container_t* objects = tm_test::empty_list();
  obj_list_append(objects, track);
  layer->objects = objects;
  layer->movobj = tc.moving ? 1 : 0;
  georef_t* view = nullptr;
  georef_t* degrees = nullptr;
  if (tc.projected) {
    view = tm_test::make_georef(214, 31);
    degrees = tm_test::make_georef(214, 0);
    xform_chain_t* chain = nullptr;
    georef_link_chain(view, degrees, &chain);
    EXPECT_NE(chain, nullptr);
    layer->cs_link = chain;  // the layer owns it
  }
  const gindex_extent_fn own = gindex_set_extent_routine(CLS_DSEGPOINT, extent_dsegpoint);
  const computed start = read_back(layer, track);
  graphspace_t gs{};
  gs.cls = CLS_GRAPHSPACE;
  if (tc.clip) {
    // Half of the track's area, taken from a first computation.
    gindex_compute(layer, 1);
    const extent_t e = layer->extent;
    gs.fixed_extent = extent_t{e.xmin, (e.xmin + e.xmax) / 2, (e.ymin + e.ymax) / 2, e.ymax, 0};
    layer->graphspace = &gs;
    restore_style(track, start);
  }
  if (tc.margin_pixel >= 0) layer_set_margin_pixel(layer, tc.margin_pixel);

  both_paths out;
  gindex_set_extent_routine(CLS_DSEGPOINT, link_by_link);
  gindex_compute(layer, 1);
  out.general = read_back(layer, track);
  restore_style(track, start);
  gindex_set_extent_routine(CLS_DSEGPOINT, extent_dsegpoint);
  gindex_compute(layer, 1);
  out.whole = read_back(layer, track);
  gindex_set_extent_routine(CLS_DSEGPOINT, own);

  layer->graphspace = nullptr;
  layer->objects = nullptr;
  free_obj(&layer);  // with its index, its link and its margin pixel size
  obj_list_set_count(objects, 0);
  free_obj(&objects);
  if (view) tm_test::free_one(view);
  if (degrees) tm_test::free_one(degrees);
  track->contsrc = nullptr;
  tm_test::free_one(track);
  obj_list_set_count(pts, 0);
  free_obj(&pts);
  for (obj_t*& o : others) free_obj(&o);
  tm_test::free_list(logs);
  set_gblerr(0);
  return out;
}

bool same_bytes(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n) == 0; }

TEST(GraphicIndexLinks, WholeTrackGivesTheEntriesOfTheGeneralPath) {
  const track_case cases[] = {
      // what, points, seed, step, repeats, origin, holes, fathers, thick from points,
      // unbound, projected, moving, margin pixel, clip, last unreadable, style listed
      {"walk", 5000, 1, 1.0, false, false, false, false, false, false, false, false, -1, false,
       false, false},
      {"walk, repeated points", 5000, 2, 0.5, true, false, false, false, false, false, false,
       false, -1, false, false, false},
      {"colours and widths of the fathers, holes", 6000, 3, 2.0, true, false, true, true, false,
       false, false, false, -1, false, false, false},
      {"thickness read from the points", 4000, 4, 1.0, false, false, true, false, true, false,
       false, false, -1, false, false, false},
      {"points at the origin, no thickness", 4000, 5, 0.01, true, true, false, false, false,
       false, false, false, -1, false, false, false},
      {"projected, fathers, holes, beyond one chunk", 9000, 6, 0.0005, true, false, true, true,
       false, false, true, false, -1, false, false, false},
      {"moving objects", 5000, 7, 1.0, true, false, true, true, false, false, false, true, -1,
       false, false, false},
      {"margin pixel size", 5000, 8, 1.0, false, false, false, true, false, false, false, false,
       0.1, false, false, false},
      {"clipped", 5000, 9, 1.0, true, false, true, true, false, false, false, false, -1, true,
       false, false},
      {"clipped, projected, moving", 5000, 10, 0.0005, false, false, false, true, false, false,
       true, true, -1, true, false, false},
      {"last point unreadable", 3000, 11, 1.0, false, false, false, false, false, false, false,
       false, -1, false, true, false},
      {"last point unreadable, projected", 3000, 12, 0.0005, false, false, false, false, false,
       false, true, false, -1, false, true, false},
      {"no coordinate position", 3000, 13, 1.0, false, false, false, true, false, true, false,
       false, -1, false, false, false},
      {"style among its own points", 3000, 14, 1.0, false, false, false, true, false, false,
       false, false, -1, false, false, true},
      {"two points", 2, 15, 1.0, false, false, false, false, false, false, false, false, -1,
       false, false, false},
      {"one point", 1, 16, 1.0, false, false, false, false, false, false, false, false, -1,
       false, false, false},
  };
  for (const track_case& tc : cases) {
    SCOPED_TRACE(tc.what);
    const both_paths both = compute_track(tc);
    const computed& general = both.general;
    const computed& whole = both.whole;
    const bool expect_entry = !tc.unbound && tc.points >= 2;
    EXPECT_EQ(general.entries.size(), expect_entry ? 1u : 0u);
    ASSERT_EQ(whole.entries.size(), general.entries.size());
    for (size_t i = 0; i < general.entries.size(); ++i) {
      const gindex_entry_t& g = general.entries[i];
      const gindex_entry_t& w = whole.entries[i];
      EXPECT_TRUE(same_bytes(&g.extent, &w.extent, sizeof g.extent))
          << g.extent.xmin << " " << w.extent.xmin << " / " << g.extent.ymax << " "
          << w.extent.ymax << " / step " << g.extent.step << " " << w.extent.step;
      EXPECT_EQ(+g.weight, +w.weight);
      EXPECT_EQ(+g.cx, +w.cx);
      EXPECT_EQ(+g.cy, +w.cy);
      EXPECT_EQ(g.object == nullptr, w.object == nullptr);
    }
    EXPECT_TRUE(same_bytes(&general.layer_extent, &whole.layer_extent, sizeof(extent_t)));
    EXPECT_EQ(general.style_bytes, whole.style_bytes);
  }
}

// The whole track's entry itself: one contribution per link, over the walk's area.
TEST(GraphicIndexLinks, WalkEntryCountsItsLinks) {
  const track_case tc{"walk", 3000, 21, 1.0, false, false, false, false, false, false, false,
                      false, -1, false, false, false};
  const computed whole = compute_track(tc).whole;
  ASSERT_EQ(whole.entries.size(), 1u);
  EXPECT_EQ(+whole.entries[0].weight, 2999u);
  const extent_t e = whole.entries[0].extent;
  EXPECT_LT(e.xmin, e.xmax);
  EXPECT_LT(e.ymin, e.ymax);
}

}  // namespace
