// Lines, polygons and rectangles: the primitives drawn with the selected pen and brush,
// and the rectangle fills that take a brush of their own.
//
// Figures are filled first and outlined after, as the usual drawing order has it; a
// null pen leaves the whole figure to the brush, a null brush leaves the inside alone.
#include <cmath>

#include "platform/gdi/polygon_scan.h"
#include "platform/gdi/stroke.h"

namespace plat {

namespace {

bool brush_fills(const DcRec& dc) { return dc.brush && !dc.brush->null_brush && dc.surface; }

// Fills the rectangle [l, r) x [t, b) of surface pixels.
void fill_surface_rect(Painter& p, int64_t l, int64_t t, int64_t r, int64_t b) {
  t = std::max<int64_t>(t, p.box.top);
  b = std::min<int64_t>(b, p.box.bottom);
  l = std::max<int64_t>(l, p.box.left);
  r = std::min<int64_t>(r, p.box.right);
  if (l >= r) return;
  for (int64_t y = t; y < b; ++y) p.span(int(y), int(l), int(r));
}

std::vector<PointL> surface_points(const DcRec& dc, const Point* pts, int n) {
  std::vector<PointL> out(size_t(std::max(n, 0)));
  for (int i = 0; i < n; ++i) out[size_t(i)] = to_surface(dc, pts[i]);
  return out;
}

bool fill_and_outline(Dc dc, const Point* pts, const int* counts, int figures) {
  int64_t total = 0;
  refresh_clip(dc);
  for (int f = 0; f < figures; ++f) {
    if (counts[f] < 0) return false;
    total += counts[f];
  }
  if (total > INT32_MAX) return false;
  std::vector<PointL> sp = surface_points(*dc, pts, int(total));
  if (brush_fills(*dc) && !dc->clip_box.empty()) {
    Painter p(dc, dc->brush->color, dc->rop2);
    scan_polygons(sp.data(), counts, figures, dc->fill_mode, dc->clip_box.top, dc->clip_box.bottom,
                  [&](int64_t y, const std::vector<SpanL>& spans) {
                    for (const SpanL& s : spans)
                      p.span(int(y), clamp_int(s.first), clamp_int(s.second));
                  });
  }
  size_t base = 0;
  for (int f = 0; f < figures; ++f) {
    if (counts[f] >= 2) stroke_path(dc, sp.data() + base, size_t(counts[f]), true);
    base += size_t(counts[f]);
  }
  return true;
}

// A wide solid frame with square corners: the pen's band around the rectangle's edge
// pixels, or inside them for an inside-frame pen, and the hole it leaves inside.
struct Frame {
  int64_t ol, ot, orr, ob;  // outside
  int64_t il, it, ir, ib;   // hole
};

Frame wide_frame(const DcRec& dc, PointL tl, PointL br) {
  int w = pen_width(dc);
  int64_t lo = w / 2, hi = (int64_t(w) + 1) / 2;  // pixels before the edge, and on and after it
  if (dc.pen->pen_style == PS_INSIDEFRAME)
    return Frame{tl.x, tl.y, br.x, br.y, tl.x + w, tl.y + w, br.x - w, br.y - w};
  return Frame{tl.x - lo, tl.y - lo, br.x - 1 + hi, br.y - 1 + hi,
               tl.x + hi, tl.y + hi, br.x - 1 - lo, br.y - 1 - lo};
}

void paint_frame(Dc dc, const Frame& f) {
  Painter p(dc, dc->pen->color, dc->rop2);
  bool hole = f.il < f.ir && f.it < f.ib;
  int64_t a = std::max<int64_t>(f.ol, p.box.left), b = std::min<int64_t>(f.orr, p.box.right);
  if (a >= b) return;
  for (int64_t y = std::max<int64_t>(f.ot, p.box.top); y < std::min<int64_t>(f.ob, p.box.bottom); ++y) {
    if (hole && y >= f.it && y < f.ib) {
      p.span(int(y), int(a), int(std::clamp<int64_t>(f.il, a, b)));
      p.span(int(y), int(std::clamp<int64_t>(f.ir, a, b)), int(b));
    } else {
      p.span(int(y), int(a), int(b));
    }
  }
}

}  // namespace

// ---- Lines ------------------------------------------------------------------------------

Point move_to(Dc dc, int x, int y) {
  if (!dc) return Point{};
  Point old = dc->current;
  dc->current = Point{x, y};
  return old;
}

Point get_current_position(Dc dc) { return dc ? dc->current : Point{}; }

bool line_to(Dc dc, int x, int y) {
  if (!dc) return false;
  refresh_clip(dc);
  PointL seg[2] = {to_surface(*dc, dc->current), to_surface(*dc, Point{x, y})};
  dc->current = Point{x, y};
  if (seg[0].x == seg[1].x && seg[0].y == seg[1].y && pen_width(*dc) <= 1) return true;
  stroke_path(dc, seg, 2, false);
  return true;
}

bool polyline(Dc dc, const Point* pts, int count) {
  if (!dc || count < 1 || !pts) return false;
  refresh_clip(dc);
  // Short lines (a track drawn link by link calls this once per link) stay off the heap.
  constexpr int kShort = 32;
  if (count <= kShort) {
    PointL sp[kShort];
    for (int i = 0; i < count; ++i) sp[i] = to_surface(*dc, pts[i]);
    stroke_path(dc, sp, size_t(count), false);
    return true;
  }
  std::vector<PointL> sp = surface_points(*dc, pts, count);
  stroke_path(dc, sp.data(), sp.size(), false);
  return true;
}

bool polygon(Dc dc, const Point* pts, int count) {
  if (!dc || count < 2 || !pts) return false;
  return fill_and_outline(dc, pts, &count, 1);
}

bool poly_polygon(Dc dc, const Point* pts, const int* counts, int polygons) {
  if (!dc || !pts || !counts || polygons < 1) return false;
  return fill_and_outline(dc, pts, counts, polygons);
}

// ---- Rectangles -------------------------------------------------------------------------

bool rectangle(Dc dc, int left, int top, int right, int bottom) {
  if (!dc) return false;
  refresh_clip(dc);
  PointL tl = to_surface(*dc, Point{std::min(left, right), std::min(top, bottom)});
  PointL br = to_surface(*dc, Point{std::max(left, right), std::max(top, bottom)});
  if (br.x <= tl.x || br.y <= tl.y) return true;
  bool pen = pen_draws(*dc);
  int w = pen ? pen_width(*dc) : 0;
  bool styled = pen && dc->pen->pen_style >= PS_DASH && dc->pen->pen_style <= PS_DASHDOTDOT;
  // The hole the outline leaves for the brush.
  int64_t il = tl.x, it = tl.y, ir = br.x, ib = br.y;
  if (pen && (w <= 1 || styled)) {
    il = tl.x + 1; it = tl.y + 1; ir = br.x - 1; ib = br.y - 1;
  }
  if (pen && w > 1 && !styled) {
    Frame f = wide_frame(*dc, tl, br);
    if (brush_fills(*dc)) {
      Painter p(dc, dc->brush->color, dc->rop2);
      fill_surface_rect(p, f.il, f.it, f.ir, f.ib);
    }
    paint_frame(dc, f);
    return true;
  }
  if (brush_fills(*dc)) {
    Painter p(dc, dc->brush->color, dc->rop2);
    fill_surface_rect(p, il, it, ir, ib);
  }
  if (pen) {
    PointL path[4] = {tl, {br.x - 1, tl.y}, {br.x - 1, br.y - 1}, {tl.x, br.y - 1}};
    stroke_path(dc, path, 4, true);
  }
  return true;
}

int fill_rect(Dc dc, const Rect& r, Brush brush) {
  Color color;
  bool paints;
  if (!dc || !brush_paint(brush, &color, &paints)) return 0;
  refresh_clip(dc);
  if (!paints || !dc->surface) return 1;
  Painter p(dc, color, R2_COPYPEN);
  PointL tl = to_surface(*dc, Point{r.left, r.top}), br = to_surface(*dc, Point{r.right, r.bottom});
  fill_surface_rect(p, tl.x, tl.y, br.x, br.y);
  return 1;
}

int frame_rect(Dc dc, const Rect& r, Brush brush) {
  Color color;
  bool paints;
  if (!dc || !brush_paint(brush, &color, &paints)) return 0;
  refresh_clip(dc);
  if (!paints || !dc->surface || r.empty()) return 1;
  Painter p(dc, color, R2_COPYPEN);
  PointL tl = to_surface(*dc, Point{r.left, r.top}), br = to_surface(*dc, Point{r.right, r.bottom});
  fill_surface_rect(p, tl.x, tl.y, br.x, tl.y + 1);
  fill_surface_rect(p, tl.x, br.y - 1, br.x, br.y);
  fill_surface_rect(p, tl.x, tl.y + 1, tl.x + 1, br.y - 1);
  fill_surface_rect(p, br.x - 1, tl.y + 1, br.x, br.y - 1);
  return 1;
}

int invert_rect(Dc dc, const Rect& r) {
  if (!dc || !dc->surface) return 0;
  refresh_clip(dc);
  Painter p(dc, 0, R2_NOT);
  PointL tl = to_surface(*dc, Point{r.left, r.top}), br = to_surface(*dc, Point{r.right, r.bottom});
  fill_surface_rect(p, tl.x, tl.y, br.x, br.y);
  return 1;
}

bool fill_rgn(Dc dc, Rgn rgn, Brush brush) {
  Color color;
  bool paints;
  Region reg;
  if (!dc || !brush_paint(brush, &color, &paints) || !region_copy(rgn, &reg)) return false;
  refresh_clip(dc);
  if (!paints || !dc->surface) return true;
  Painter p(dc, color, R2_COPYPEN);
  for (const Rect& r : reg.rects()) {
    PointL tl = to_surface(*dc, Point{r.left, r.top}), br = to_surface(*dc, Point{r.right, r.bottom});
    fill_surface_rect(p, tl.x, tl.y, br.x, br.y);
  }
  return true;
}

// Every other pixel of the border, inverted, so that a second call restores it.
void draw_focus_rect(Dc dc, const Rect& r) {
  if (!dc || !dc->surface || r.empty()) return;
  refresh_clip(dc);
  Painter p(dc, 0, R2_NOT);
  PointL tl = to_surface(*dc, Point{r.left, r.top}), br = to_surface(*dc, Point{r.right, r.bottom});
  auto dot = [&](int64_t x, int64_t y) {
    if (((x + y) & 1) == 0 && x >= p.box.left && x < p.box.right && y >= p.box.top && y < p.box.bottom)
      p.pixel(int(x), int(y));
  };
  for (int64_t x = std::max<int64_t>(tl.x, p.box.left - 1); x < std::min<int64_t>(br.x, p.box.right + 1); ++x) {
    dot(x, tl.y);
    if (br.y - 1 != tl.y) dot(x, br.y - 1);
  }
  for (int64_t y = std::max<int64_t>(tl.y + 1, p.box.top - 1); y < std::min<int64_t>(br.y - 1, p.box.bottom + 1); ++y) {
    dot(tl.x, y);
    if (br.x - 1 != tl.x) dot(br.x - 1, y);
  }
}

// ---- Pixels -----------------------------------------------------------------------------

Color set_pixel(Dc dc, int x, int y, Color c) {
  if (!dc || !dc->surface) return CLR_INVALID;
  refresh_clip(dc);
  PointL s = to_surface(*dc, Point{x, y});
  Painter p(dc, c, R2_COPYPEN);
  if (s.x < p.box.left || s.x >= p.box.right || s.y < p.box.top || s.y >= p.box.bottom ||
      !p.visible(int(s.x), int(s.y)))
    return CLR_INVALID;
  p.put(int(s.x), int(s.y));
  return c & 0xFFFFFF;
}

Color get_pixel(Dc dc, int x, int y) {
  if (!dc || !dc->surface) return CLR_INVALID;
  refresh_clip(dc);
  PointL s = to_surface(*dc, Point{x, y});
  const Rect& b = dc->clip_box;
  if (s.x < b.left || s.x >= b.right || s.y < b.top || s.y >= b.bottom ||
      !(dc->clip_simple || dc->clip.contains(Point{int(s.x), int(s.y)})))
    return CLR_INVALID;
  return color_of_pixel(dc->surface->at(int(s.x), int(s.y)));
}

}  // namespace plat
