// Clipped polylines and filled outlines.
//
// A polyline goes to the device in chunks of at most 500 points, consecutive chunks
// sharing one point so that no gap opens between them. Within a chunk the points are cut
// into runs that lie in the clipping window: a segment wholly on one outer side is
// skipped, the first point of a run is moved onto the window when it lies outside, the
// run ends at the first point outside (moved onto the edge), and points that land on the
// pixel of the point before them are left out; each run of two points or more is one
// polyline call.
//
// A filled outline is clipped as a polygon (each side of the window in turn), since cut
// runs of its edge would not enclose the right area; it is filled without pen, and its
// edge is then drawn as a polyline.
#include <algorithm>
#include <vector>

#include "map/draw_gdi_internal.h"

namespace {

// Appends a point as a device point unless it falls on the pixel of the last one.
void push_merged(std::vector<plat::Point>& run, screen_pt p) {
  const draw_state& s = draw_st();
  const plat::Point d{device_coord(p.x, s.page_x), device_coord(p.y, s.page_y)};
  if (!run.empty() && run.back().x == d.x && run.back().y == d.y) return;
  run.push_back(d);
}

void flush_run(std::vector<plat::Point>& run) {
  if (run.size() >= 2) gdi_polyline(run.data(), int(run.size()));
  run.clear();
}

// One chunk: runs of the points inside the window.
void draw_chunk(const screen_pt* pts, int m) {
  std::vector<plat::Point>& run = draw_st().run;
  int i = 0;
  while (i < m - 1) {
    const int ci = clip_outcode(pts[i]);
    if (ci & clip_outcode(pts[i + 1])) {  // the segment lies wholly on one outer side
      ++i;
      continue;
    }
    screen_pt first = pts[i];
    if (ci && !clip_point_to_window(&first, pts[i + 1], ci)) {
      ++i;
      continue;
    }
    run.clear();
    push_merged(run, first);
    int j = i + 1;
    for (; j < m; ++j) {
      const int cj = clip_outcode(pts[j]);
      if (cj) {
        screen_pt last = pts[j];
        if (clip_point_to_window(&last, pts[j - 1], cj)) push_merged(run, last);
        break;
      }
      push_merged(run, pts[j]);
    }
    flush_run(run);
    i = j;
  }
}

// ---- Polygon clipping against one side of the window at a time ---------------------------
enum class side { left, right, top, bottom };

bool inside(screen_pt p, side sd, const extent_t& w) {
  switch (sd) {
    case side::left: return p.x >= w.xmin;
    case side::right: return p.x <= w.xmax;
    case side::top: return p.y >= w.ymin;
    case side::bottom: return p.y <= w.ymax;
  }
  return false;
}

screen_pt crossing(screen_pt a, screen_pt b, side sd, const extent_t& w) {
  if (sd == side::left || sd == side::right) {
    const double x = sd == side::left ? w.xmin : w.xmax;
    const double t = (x - a.x) / (b.x - a.x);
    return screen_pt{x, a.y + t * (b.y - a.y)};
  }
  const double y = sd == side::top ? w.ymin : w.ymax;
  const double t = (y - a.y) / (b.y - a.y);
  return screen_pt{a.x + t * (b.x - a.x), y};
}

void clip_polygon_side(const std::vector<screen_pt>& in, std::vector<screen_pt>& out, side sd,
                       const extent_t& w) {
  out.clear();
  const size_t n = in.size();
  for (size_t k = 0; k < n; ++k) {
    const screen_pt a = in[(k + n - 1) % n], b = in[k];
    const bool ia = inside(a, sd, w), ib = inside(b, sd, w);
    if (ib) {
      if (!ia) out.push_back(crossing(a, b, sd, w));
      out.push_back(b);
    } else if (ia) {
      out.push_back(crossing(a, b, sd, w));
    }
  }
}

}  // namespace

void draw_clipped_polyline(const screen_pt* pts, int width, int motif, uint32_t colour, int fill,
                           int count) {
  if (!draw_st().dc || !pts || count < 2) return;
  clip_window_set(width);
  select_pen_brush(motif, width, colour, fill);
  for (int start = 0; start < count - 1; start += kPolylineChunk - 1) {
    const int m = std::min(kPolylineChunk, count - start);
    draw_chunk(pts + start, m);
  }
}

void draw_filled_outline(const screen_pt* pts, int count, uint32_t colour, int fill) {
  draw_state& s = draw_st();
  if (!s.dc || !pts || count < 3 || fill == 0) return;
  clip_window_set(s.width);
  const extent_t w = s.clip;
  std::vector<screen_pt> a, b;
  a.reserve(size_t(count));
  for (int i = 0; i < count; ++i)
    if (pts[i].x == pts[i].x && pts[i].y == pts[i].y) a.push_back(pts[i]);
  for (side sd : {side::left, side::right, side::top, side::bottom}) {
    clip_polygon_side(a, b, sd, w);
    a.swap(b);
    if (a.size() < 3) return;
  }
  std::vector<plat::Point> d;
  d.reserve(a.size());
  for (const screen_pt& p : a) d.push_back({device_coord(p.x, s.page_x), device_coord(p.y, s.page_y)});
  select_pen_brush(0, 1, colour, fill);  // motif 0: no pen, only the brush
  plat::polygon(s.dc, d.data(), int(d.size()));
}
