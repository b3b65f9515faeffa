// Ellipses and their parts (arc, pie, chord). The ellipse of a box is the set of pixels
// whose centres fall inside the ellipse touching the box's outer edges; its outline is
// the ring of those pixels that have a side neighbour outside, which is symmetric and
// closed. A pen of width w widens the ring by (w - 1) / 2 on each side (or inwards only
// for an inside-frame pen); the brush fills what the ring encloses.
//
// Parts of the outline are chosen by angle around the centre, measured as seen on the
// surface (y upwards for the angle), from the ray through the start point to the ray
// through the end point, counter-clockwise unless the context says clockwise.
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "platform/gdi/stroke.h"

namespace plat {

namespace {

constexpr double kEps = 1e-9;

// The filled ellipse of centre (cx, cy) and half-axes a, b, row by row.
struct EllipseRows {
  double cx, cy, a, b;
  bool row(int64_t y, int64_t& xl, int64_t& xr) const {
    if (a <= 0 || b <= 0) return false;
    double dy = (double(y) - cy) / b, t = 1 - dy * dy;
    if (t < -kEps) return false;
    double h = a * std::sqrt(std::max(t, 0.0));
    xl = int64_t(std::ceil(cx - h - kEps));
    xr = int64_t(std::floor(cx + h + kEps));
    return xl <= xr;
  }
  // Pixels whose four side neighbours are in the ellipse too.
  bool inner_row(int64_t y, int64_t& xl, int64_t& xr) const {
    int64_t l0, r0, l1, r1, l2, r2;
    if (!row(y, l0, r0) || !row(y - 1, l1, r1) || !row(y + 1, l2, r2)) return false;
    xl = std::max({l0 + 1, l1, l2});
    xr = std::min({r0 - 1, r1, r2});
    return xl <= xr;
  }
};

// What one call draws: the ring (pen) and the inside (brush), with the rows they span.
struct EllipseShape {
  EllipseRows outer, inner;
  bool pen = false;
  int64_t top = 0, bottom = 0;  // rows [top, bottom)
};

EllipseShape make_shape(const DcRec& dc, int left, int top, int right, int bottom) {
  PointL tl = to_surface(dc, Point{std::min(left, right), std::min(top, bottom)});
  PointL br = to_surface(dc, Point{std::max(left, right), std::max(top, bottom)});
  EllipseShape s;
  double cx = (double(tl.x) + double(br.x) - 1) / 2, cy = (double(tl.y) + double(br.y) - 1) / 2;
  double a = double(br.x - tl.x) / 2, b = double(br.y - tl.y) / 2;
  s.pen = pen_draws(dc);
  double w = s.pen ? pen_width(dc) : 1;
  double out = (w - 1) / 2, in = (w - 1) / 2;
  if (s.pen && dc.pen->pen_style == PS_INSIDEFRAME) { out = 0; in = w - 1; }
  if (!s.pen) out = in = 0;
  s.outer = EllipseRows{cx, cy, a + out, b + out};
  s.inner = EllipseRows{cx, cy, a - in, b - in};
  s.top = int64_t(std::ceil(cy - b - out - kEps));
  s.bottom = int64_t(std::floor(cy + b + out + kEps)) + 1;
  return s;
}

// Angle of a surface point around the centre, in [0, 2 pi), y pointing up.
double angle_of(double cx, double cy, double x, double y) {
  double t = std::atan2(-(y - cy), x - cx);
  return t < 0 ? t + 2 * std::numbers::pi : t;
}

// Whether angle t lies on the sweep from `from` to `to` in the context's direction.
struct Sweep {
  double from = 0, span = 2 * std::numbers::pi;
  bool ccw = true;
  bool full = true;
  bool has(double t) const {
    if (full) return true;
    double d = ccw ? t - from : from - t;
    d = std::fmod(d + 4 * std::numbers::pi, 2 * std::numbers::pi);
    return d <= span + kEps;
  }
};

Sweep make_sweep(const DcRec& dc, const EllipseShape& s, PointL start, PointL end) {
  Sweep w;
  double cx = s.outer.cx, cy = s.outer.cy;
  double a0 = angle_of(cx, cy, double(start.x), double(start.y));
  double a1 = angle_of(cx, cy, double(end.x), double(end.y));
  w.ccw = dc.arc_direction != AD_CLOCKWISE;
  w.from = a0;
  double d = w.ccw ? a1 - a0 : a0 - a1;
  d = std::fmod(d + 4 * std::numbers::pi, 2 * std::numbers::pi);
  w.full = d < kEps;
  w.span = d;
  return w;
}

// Paints the pixels of [xl, xr] on row y that pass `keep`, in runs.
template <typename Keep>
void paint_run(Painter& p, int64_t y, int64_t xl, int64_t xr, Keep&& keep) {
  xl = std::max<int64_t>(xl, p.box.left);
  xr = std::min<int64_t>(xr, int64_t(p.box.right) - 1);
  int64_t start = -1;
  for (int64_t x = xl; x <= xr + 1; ++x) {
    bool in = x <= xr && keep(x);
    if (in && start < 0) start = x;
    if (!in && start >= 0) {
      p.span(int(y), int(start), int(x));
      start = -1;
    }
  }
}

void paint_all(Painter& p, int64_t y, int64_t xl, int64_t xr) {
  xl = std::max<int64_t>(xl, p.box.left);
  xr = std::min<int64_t>(xr, int64_t(p.box.right) - 1);
  if (xl <= xr) p.span(int(y), int(xl), int(xr + 1));
}

// Length along an ellipse's outline from angle 0 counter-clockwise to any angle, from a
// table of the outline's points at evenly spaced angles; styled pens lay their pattern
// out along it.
class OutlineLength {
 public:
  OutlineLength(double a, double b) : cum_(kSteps + 1, 0.0) {
    double px = 0, py = 0;
    for (int i = 0; i <= kSteps; ++i) {
      double x, y;
      point(a, b, 2 * std::numbers::pi * i / kSteps, x, y);
      if (i) cum_[size_t(i)] = cum_[size_t(i - 1)] + std::hypot(x - px, y - py);
      px = x;
      py = y;
    }
  }
  double total() const { return cum_.back(); }
  double at(double angle) const {
    double f = angle / (2 * std::numbers::pi) * kSteps;
    int i = std::clamp(int(f), 0, kSteps - 1);
    return cum_[size_t(i)] + (cum_[size_t(i + 1)] - cum_[size_t(i)]) * (f - i);
  }
  // The point of the outline on the ray at `angle` (y upwards).
  static void point(double a, double b, double angle, double& x, double& y) {
    double co = std::cos(angle), si = std::sin(angle);
    double den = std::sqrt(co * co * b * b + si * si * a * a);
    double rho = den > 0 ? a * b / den : 0;
    x = rho * co;
    y = rho * si;
  }

 private:
  static constexpr int kSteps = 720;
  std::vector<double> cum_;
};

enum class Part { whole, arc, pie, chord };

// Draws an ellipse or a part of one. For the arc only the ring's selected part; for pie
// and chord the inside part too, closed by straight lines drawn with the pen.
void draw_ellipse_part(Dc dc, int l, int t, int r, int b, PointL start, PointL end, Part part) {
  refresh_clip(dc);
  if (!dc->surface || dc->clip_box.empty() || l == r || t == b) return;
  EllipseShape s = make_shape(*dc, l, t, r, b);
  Sweep sweep = part == Part::whole ? Sweep{} : make_sweep(*dc, s, start, end);
  double cx = s.outer.cx, cy = s.outer.cy;
  // Chord side: the inside pixels on the arc's side of the line between the ends.
  double ex0 = 0, ey0 = 0, ex1 = 0, ey1 = 0, side = 0;
  auto ray_point = [&](double ang, double& x, double& y) {
    double dx, dy;
    OutlineLength::point(std::max(s.outer.a - 0.5, 0.0), std::max(s.outer.b - 0.5, 0.0), ang, dx, dy);
    x = cx + dx;
    y = cy - dy;
  };
  if (part == Part::pie || part == Part::chord) {
    ray_point(sweep.from, ex0, ey0);
    ray_point(sweep.ccw ? sweep.from + sweep.span : sweep.from - sweep.span, ex1, ey1);
    double mid = sweep.ccw ? sweep.from + sweep.span / 2 : sweep.from - sweep.span / 2;
    double mx, my;
    ray_point(mid, mx, my);
    side = (ex1 - ex0) * (my - ey0) - (ey1 - ey0) * (mx - ex0);
  }
  auto in_part = [&](int64_t x, int64_t y) {
    if (part == Part::whole || sweep.full) return true;
    if (part == Part::chord) {
      double c = (ex1 - ex0) * (double(y) - ey0) - (ey1 - ey0) * (double(x) - ex0);
      return c * side >= 0;
    }
    return sweep.has(angle_of(cx, cy, double(x), double(y)));
  };
  int64_t y0 = std::max<int64_t>(s.top, dc->clip_box.top), y1 = std::min<int64_t>(s.bottom, dc->clip_box.bottom);
  bool fill = part != Part::arc && dc->brush && !dc->brush->null_brush;
  if (fill) {
    Painter p(dc, dc->brush->color, dc->rop2);
    const EllipseRows& inside = s.pen ? s.inner : s.outer;
    for (int64_t y = y0; y < y1; ++y) {
      int64_t xl, xr;
      bool has = s.pen ? inside.inner_row(y, xl, xr) : inside.row(y, xl, xr);
      if (!has) continue;
      if (part == Part::whole || sweep.full) paint_all(p, y, xl, xr);
      else paint_run(p, y, xl, xr, [&](int64_t x) { return in_part(x, y); });
    }
  }
  if (!s.pen) return;
  Painter p(dc, dc->pen->color, dc->rop2);
  // A styled pen: the pattern runs along the outline from the start of the part, in the
  // drawing direction; in the opaque mode its gaps take the background colour.
  int style = dc->pen->pen_style, width = pen_width(*dc);
  bool styled = pen_styled(style);
  Painter gap(dc, dc->bk_color, dc->rop2);
  bool gaps = styled && dc->bk_mode == OPAQUE;
  // The length table costs hundreds of square roots: made for styled pens only.
  std::optional<OutlineLength> len;
  if (styled) len.emplace((s.outer.a + s.inner.a) / 2, (s.outer.b + s.inner.b) / 2);
  double from = part == Part::whole ? 0 : sweep.from, s0 = styled ? len->at(from) : 0;
  auto on = [&](int64_t x, int64_t y) {
    if (!styled) return true;
    double d = len->at(angle_of(cx, cy, double(x), double(y))) - s0;
    if (!sweep.ccw) d = -d;
    if (d < 0) d += len->total();
    return dash_on(style, width, d);
  };
  for (int64_t y = y0; y < y1; ++y) {
    int64_t xl, xr, il = 0, ir = 0;
    if (!s.outer.row(y, xl, xr)) continue;
    auto in = [&](int64_t x) { return part == Part::whole || sweep.has(angle_of(cx, cy, double(x), double(y))); };
    auto keep = [&](int64_t x) { return in(x) && on(x, y); };
    auto keep_gap = [&](int64_t x) { return in(x) && !on(x, y); };
    bool ring = s.inner.inner_row(y, il, ir) && il <= ir;
    int64_t parts[2][2] = {{xl, ring ? il - 1 : xr}, {ir + 1, xr}};
    for (int k = 0; k < (ring ? 2 : 1); ++k) {
      paint_run(p, y, parts[k][0], parts[k][1], keep);
      if (gaps) paint_run(gap, y, parts[k][0], parts[k][1], keep_gap);
    }
  }
  if ((part == Part::pie || part == Part::chord) && !sweep.full) {
    PointL a{std::llround(ex0), std::llround(ey0)}, e{std::llround(ex1), std::llround(ey1)};
    PointL c{std::llround(cx), std::llround(cy)};
    if (part == Part::pie) {
      PointL path[3] = {e, c, a};
      stroke_path(dc, path, 3, false);
    } else {
      PointL path[2] = {e, a};
      stroke_path(dc, path, 2, false);
    }
  }
}

}  // namespace

bool ellipse(Dc dc, int left, int top, int right, int bottom) {
  if (!dc) return false;
  draw_ellipse_part(dc, left, top, right, bottom, PointL{}, PointL{}, Part::whole);
  return true;
}

bool arc(Dc dc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
  if (!dc) return false;
  draw_ellipse_part(dc, left, top, right, bottom, to_surface(*dc, Point{xs, ys}), to_surface(*dc, Point{xe, ye}), Part::arc);
  return true;
}

bool pie(Dc dc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
  if (!dc) return false;
  draw_ellipse_part(dc, left, top, right, bottom, to_surface(*dc, Point{xs, ys}), to_surface(*dc, Point{xe, ye}), Part::pie);
  return true;
}

bool chord(Dc dc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
  if (!dc) return false;
  draw_ellipse_part(dc, left, top, right, bottom, to_surface(*dc, Point{xs, ys}), to_surface(*dc, Point{xe, ye}), Part::chord);
  return true;
}

}  // namespace plat
