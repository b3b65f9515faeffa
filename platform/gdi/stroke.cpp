// Pen strokes. Thin lines step along their major axis with an exact rounding of the
// minor coordinate; a line is first cut to the steps that fall in the clip box (in
// 128-bit arithmetic), so a line from far away costs only its visible pixels. Styled
// thin lines follow a pattern of on and off pixels that carries on from one segment to
// the next; in the opaque background mode the off pixels take the background colour.
//
// Wide lines: every segment is a band of the pen's width and every point a disc of it;
// their pixel centres are gathered in a Coverage and painted once. Even widths put the
// shapes half a pixel up and left so that they stay symmetric on the pixel grid. Styled
// wide pens cut the path into dashes with the pattern scaled by the width, near the clip
// box only (the pattern is carried across the rest), so a far line costs what shows.
#include "platform/gdi/stroke.h"

#include <cmath>
#include <optional>

namespace plat {

namespace {

struct DashPattern {
  int runs[6];
  int count;
};
// On and off lengths in pixels, starting with on.
const DashPattern kPatterns[] = {
    {{0}, 0},                    // PS_SOLID
    {{18, 6}, 2},                // PS_DASH
    {{3, 3}, 2},                 // PS_DOT
    {{9, 6, 3, 6}, 4},           // PS_DASHDOT
    {{9, 3, 3, 3, 3, 3}, 6},     // PS_DASHDOTDOT
};

// The pattern unrolled into one flag per pixel.
struct Dash {
  bool on[64];
  int period = 0;
  int64_t phase = 0;
};

bool make_dash(int style, Dash& d) {
  if (style < PS_DASH || style > PS_DASHDOTDOT) return false;
  const DashPattern& p = kPatterns[style];
  d.period = 0;
  for (int i = 0; i < p.count; ++i)
    for (int k = 0; k < p.runs[i]; ++k) d.on[d.period++] = (i % 2) == 0;
  return true;
}

using i128 = __int128;

i128 floor_div(i128 a, i128 b) {  // b > 0
  i128 q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}
i128 ceil_div(i128 a, i128 b) { return -floor_div(-a, b); }

// Stores `count` pixels of a line stepped along its major axis, from the pixel at index
// `at`: each step moves the index by `major_step`, and by `minor_step` as well when the
// rounding remainder wraps. `e` is the remainder less 2 amaj, below 0 between steps; it
// reaches 0 or more exactly where the remainder reaches 2 amaj. The wrap is taken as a
// mask of all ones or all zeros rather than a branch: a line's wraps follow its slope,
// which a branch predictor cannot guess. Every pixel stepped on lies in the surface.
inline void store_steps(uint32_t* pixels, int64_t at, int64_t major_step, int64_t minor_step, int64_t two_maj,
                        int64_t two_min, int64_t e, int64_t count, uint32_t px) {
  for (; count > 0; --count) {
    pixels[at] = px;
    at += major_step;
    e += two_min;
    const int64_t wrap = ~(e >> 63);  // all ones when e >= 0
    at += minor_step & wrap;
    e -= two_maj & wrap;
  }
}

// Steps t0..t1 of a line along its major axis from (a0, b0): q is the minor offset at
// t0 and r the remainder of its rounding (in units of 1 / (2 amaj)).
void step_line(Painter& p, int64_t a0, int64_t b0, int64_t sa, int64_t sb, int64_t amaj, int64_t amin,
               int64_t t0, int64_t t1, int64_t q, int64_t r, Dash* dash, Painter* gap, bool xmaj) {
  int64_t two_maj = 2 * amaj, two_min = 2 * amin;
  int64_t ma = a0 + sa * t0, mb = b0 + sb * q;
  if (p.simple && !dash && p.copy) {
    // Plain solid line in a rectangular clip: every step lies in the box.
    const int64_t stride = int64_t(p.surface->width);
    const int64_t x = xmaj ? ma : mb, y = xmaj ? mb : ma;
    store_steps(p.surface->pixels.data(), y * stride + x, xmaj ? sa : sa * stride, xmaj ? sb * stride : sb,
                two_maj, two_min, r - two_maj, t1 - t0 + 1, p.px);
    return;
  }
  for (int64_t t = t0; t <= t1; ++t) {
    int x = int(xmaj ? ma : mb), y = int(xmaj ? mb : ma);
    if (p.simple || p.clip->contains(Point{x, y})) {
      if (!dash || dash->on[(dash->phase + t) % dash->period]) p.put(x, y);
      else if (gap) gap->put(x, y);
    }
    ma += sa;
    r += two_min;
    if (r >= two_maj) { r -= two_maj; mb += sb; }
  }
}

// Pixels of the segment a -> b, b excluded. `gap` paints the off pixels of a styled line
// (null: they stay as they are).
void thin_segment(Painter& p, PointL a, PointL b, Dash* dash, Painter* gap) {
  int64_t dx = b.x - a.x, dy = b.y - a.y;
  int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  int64_t n = std::max(adx, ady);
  if (n == 0) return;
  bool xmaj = adx >= ady;
  int64_t a0 = xmaj ? a.x : a.y, b0 = xmaj ? a.y : a.x;
  int64_t sa = (xmaj ? dx : dy) < 0 ? -1 : 1, sb = (xmaj ? dy : dx) < 0 ? -1 : 1;
  int64_t amaj = xmaj ? adx : ady, amin = xmaj ? ady : adx;
  const Rect& box = p.box;
  int64_t lo_a = xmaj ? box.left : box.top, hi_a = (xmaj ? box.right : box.bottom) - 1;
  int64_t lo_b = xmaj ? box.top : box.left, hi_b = (xmaj ? box.bottom : box.right) - 1;
  if (hi_a < lo_a || hi_b < lo_b) return;
  // Both ends in the box (the usual case): every step is, and no cutting is needed.
  if (a.x >= box.left && a.x < box.right && a.y >= box.top && a.y < box.bottom && b.x >= box.left &&
      b.x < box.right && b.y >= box.top && b.y < box.bottom) {
    step_line(p, a0, b0, sa, sb, amaj, amin, 0, n - 1, 0, amaj, dash, gap, xmaj);
    return;
  }
  // Steps whose major coordinate lies in the box.
  i128 t0 = 0, t1 = n - 1;
  if (sa > 0) { t0 = std::max<i128>(t0, lo_a - a0); t1 = std::min<i128>(t1, hi_a - a0); }
  else { t0 = std::max<i128>(t0, a0 - hi_a); t1 = std::min<i128>(t1, a0 - lo_a); }
  // Steps whose minor offset m(t) = floor((2 amin t + amaj) / (2 amaj)) lies in the box.
  i128 lo = sb > 0 ? lo_b - b0 : b0 - hi_b, hi = sb > 0 ? hi_b - b0 : b0 - lo_b;
  if (hi < 0) return;
  if (amin == 0) {
    if (lo > 0) return;
  } else {
    i128 two_maj = i128(2) * amaj, two_min = i128(2) * amin;
    t0 = std::max(t0, ceil_div(two_maj * lo - amaj, two_min));
    t1 = std::min(t1, ceil_div(two_maj * (hi + 1) - amaj, two_min) - 1);
  }
  if (t0 > t1) return;
  i128 num = i128(2) * amin * t0 + amaj;
  i128 two_maj = i128(2) * amaj;
  step_line(p, a0, b0, sa, sb, amaj, amin, int64_t(t0), int64_t(t1), int64_t(num / two_maj),
            int64_t(num % two_maj), dash, gap, xmaj);
}

// A solid path of plain stores in a rectangular clip (a track's links, a grid's lines):
// the pixels of thin_segment, a segment with both ends in the box stepped straight into
// the surface with no cutting and no test per pixel; any other goes through
// thin_segment.
void thin_solid_path(Painter& p, const PointL* pts, size_t n, bool closed) {
  const Rect box = p.box;
  uint32_t* const pixels = p.surface->pixels.data();
  const int64_t stride = int64_t(p.surface->width);
  const uint32_t px = p.px;
  auto inside = [&box](PointL q) { return q.x >= box.left && q.x < box.right && q.y >= box.top && q.y < box.bottom; };
  const size_t segs = closed ? n : n - 1;
  for (size_t i = 0; i < segs; ++i) {
    const PointL a = pts[i], b = i + 1 < n ? pts[i + 1] : pts[0];
    if (!inside(a) || !inside(b)) {
      thin_segment(p, a, b, nullptr, nullptr);
      continue;
    }
    const int64_t dx = b.x - a.x, dy = b.y - a.y;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const bool xmaj = adx >= ady;
    const int64_t amaj = xmaj ? adx : ady, amin = xmaj ? ady : adx;
    // Steps of one pixel in x and in y; a delta of 0 steps forwards, as thin_segment does.
    const int64_t step_x = dx < 0 ? -1 : 1, step_y = dy < 0 ? -stride : stride;
    store_steps(pixels, a.y * stride + a.x, xmaj ? step_x : step_y, xmaj ? step_y : step_x, 2 * amaj, 2 * amin,
                -amaj, amaj, px);
  }
}

void thin_path(Dc dc, const PointL* pts, size_t n, bool closed) {
  const GdiObjRec& pen = *dc->pen;
  Painter p(dc, pen.color, dc->rop2);
  if (n == 1) {
    if (p.box.contains(Point{clamp_int(pts[0].x), clamp_int(pts[0].y)}))
      p.pixel(int(pts[0].x), int(pts[0].y));
    return;
  }
  if (p.simple && p.copy && !pen_styled(pen.pen_style) && !p.box.empty()) {
    thin_solid_path(p, pts, n, closed);
    return;
  }
  Dash dash;
  bool styled = make_dash(pen.pen_style, dash);
  // The gaps of a styled pen are painted only over an opaque background.
  std::optional<Painter> gap;
  if (styled && dc->bk_mode == OPAQUE) gap.emplace(dc, dc->bk_color, dc->rop2);
  Painter* gp = gap ? &*gap : nullptr;
  size_t segs = closed ? n : n - 1;
  for (size_t i = 0; i < segs; ++i) {
    PointL a = pts[i], b = i + 1 < n ? pts[i + 1] : pts[0];
    thin_segment(p, a, b, styled ? &dash : nullptr, gp);
    if (styled) {
      int64_t len = std::max(std::llabs(b.x - a.x), std::llabs(b.y - a.y));
      dash.phase = (dash.phase + len) % dash.period;
    }
  }
}

// ---- Wide strokes -----------------------------------------------------------------------

void add_band(Coverage& cov, PointD a, PointD b, double r) {
  double dx = b.x - a.x, dy = b.y - a.y;
  if (dx == 0 && dy == 0) return;
  double len = std::hypot(dx, dy);
  if (len <= 0) return;
  double nx = -dy / len * r, ny = dx / len * r;
  PointD q[4] = {{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}};
  cov.add_convex(q, 4);
}

// The disc of a pen centred on points of the grid shifted by `shift` on both axes (x +
// shift, y + shift with whole x and y): the rows and spans that Coverage::add_disc gives
// at every such point, worked out once for a figure. With whole x and y, the row bounds
// and each row's dy and half-width h are the same at every point, and the span bounds
// ceil(x + shift - h), ceil(x + shift + h) are x plus those at x = 0: an exact half-width
// makes both sides exact, and otherwise shift - h lies at least 1 / (4 w + 2) from any
// whole number, far beyond the rounding of x + shift - h while |x| stays below 2^30.
class GridDisc {
 public:
  static constexpr int kMaxWidth = 64;
  static constexpr double kMaxCoord = 1073741824.0;  // 2^30

  GridDisc(double r, double shift) : shift_(shift) {
    first_ = int64_t(std::ceil(shift - r));
    const int64_t last = int64_t(std::ceil(shift + r)) - 1;
    for (int64_t j = first_; j <= last; ++j) {
      const double dy = double(j) - shift, h2 = r * r - dy * dy;
      if (h2 <= 0) continue;
      const double h = std::sqrt(h2);
      const double a = std::ceil(shift - h), b = std::ceil(shift + h);
      if (a < b) rows_[count_++] = Row{j, int64_t(a), int64_t(b)};
    }
  }
  // Whether the stamp gives add_disc's spans at c (a point of the grid, near enough).
  bool fits(PointD c) const {
    return std::fabs(c.x) < kMaxCoord && std::fabs(c.y) < kMaxCoord;
  }
  void add(Coverage& cov, PointD c) const {
    const int64_t x = int64_t(c.x - shift_), y = int64_t(c.y - shift_);
    for (int k = 0; k < count_; ++k) cov.add(y + rows_[k].dy, x + rows_[k].x0, x + rows_[k].x1);
  }

 private:
  struct Row {
    int64_t dy, x0, x1;
  };
  double shift_;
  int64_t first_ = 0;
  Row rows_[kMaxWidth + 2] = {};
  int count_ = 0;
};

// A point where the one before it lies adds the same disc again (a long track seen from
// afar repeats its device points many times over): its disc is left out, its band kept.
// `grid`, when given, stamps the discs of a piece whose points all lie on its grid.
void add_piece(Coverage& cov, const std::vector<PointD>& piece, double r, const GridDisc* grid = nullptr) {
  for (size_t i = 0; i < piece.size(); ++i) {
    if (i == 0 || piece[i].x != piece[i - 1].x || piece[i].y != piece[i - 1].y) {
      if (grid && grid->fits(piece[i])) grid->add(cov, piece[i]);
      else cov.add_disc(piece[i], r);
    }
    if (i + 1 < piece.size()) add_band(cov, piece[i], piece[i + 1], r);
  }
}

// Lengths [p0, p1] along a -> b (of length len) that lie in the box widened by m on
// every side; false when none does.
bool visible_part(PointD a, PointD b, double len, const Rect& box, double m, double& p0, double& p1) {
  double t0 = 0, t1 = 1, dx = b.x - a.x, dy = b.y - a.y;
  auto keep = [&](double p, double q) {  // keeps the t with p * t <= q
    if (p == 0) return q >= 0;
    double r = q / p;
    if (p < 0) t0 = std::max(t0, r);
    else t1 = std::min(t1, r);
    return t0 <= t1;
  };
  if (!keep(-dx, a.x - (box.left - m)) || !keep(dx, box.right + m - a.x) || !keep(-dy, a.y - (box.top - m)) ||
      !keep(dy, box.bottom + m - a.y))
    return false;
  p0 = t0 * len;
  p1 = t1 * len;
  return p0 < p1;
}

// Where a styled wide pen is in its pattern: the run (even runs are dashes) and what is
// left of it.
struct DashWalk {
  const DashPattern& pat;
  double width;
  int run = 0;
  double left;
  DashWalk(const DashPattern& p, double w) : pat(p), width(w), left(p.runs[0] * w) {}
  double run_length(int k) const { return pat.runs[k] * width; }
  // Moves on by d without drawing (the parts of a path far from the clip: a line from far
  // away costs only its visible length).
  void skip(double d) {
    if (d < left) {
      left -= d;
      return;
    }
    double period = 0;
    for (int k = 0; k < pat.count; ++k) period += run_length(k);
    d = std::fmod(d - left, period);
    run = (run + 1) % pat.count;
    while (d >= run_length(run)) {
      d -= run_length(run);
      run = (run + 1) % pat.count;
    }
    left = run_length(run) - d;
  }
};

// Cuts the path into its dashes (on pieces), the pattern scaled by the width. Only the
// parts of the path near the clip box are cut; the pattern carries on across the rest.
void dash_pieces(const std::vector<PointD>& path, int style, double width, const Rect& box, double margin,
                 std::vector<std::vector<PointD>>& out) {
  DashWalk walk(kPatterns[style], width);
  std::vector<PointD> cur;
  auto end_piece = [&]() {
    if (!cur.empty()) out.push_back(std::move(cur));
    cur.clear();
  };
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    PointD a = path[i], b = path[i + 1];
    double len = std::hypot(b.x - a.x, b.y - a.y), pos = 0, end = 0;
    if (len <= 0) continue;
    if (!visible_part(a, b, len, box, margin, pos, end)) {
      end_piece();
      walk.skip(len);
      continue;
    }
    if (pos > 0) {
      end_piece();
      walk.skip(pos);
    }
    while (pos < end) {
      double step = std::min(walk.left, end - pos);
      bool on = walk.run % 2 == 0;
      PointD e{a.x + (b.x - a.x) * (pos + step) / len, a.y + (b.y - a.y) * (pos + step) / len};
      if (on) {
        if (cur.empty()) cur.push_back(PointD{a.x + (b.x - a.x) * pos / len, a.y + (b.y - a.y) * pos / len});
        cur.push_back(e);
      }
      pos += step;
      walk.left -= step;
      if (walk.left <= 1e-9) {
        if (on) end_piece();
        walk.run = (walk.run + 1) % walk.pat.count;
        walk.left = walk.run_length(walk.run);
      }
    }
    if (end < len) {
      end_piece();
      walk.skip(len - end);
    }
  }
  end_piece();
}

void wide_path(Dc dc, const PointL* pts, size_t n, bool closed) {
  const GdiObjRec& pen = *dc->pen;
  double w = pen.pen_width, r = w / 2, shift = pen.pen_width % 2 == 0 ? -0.5 : 0.0;
  // Nothing to do when the figure's bounds stay clear of the clip.
  int64_t minx = pts[0].x, maxx = minx, miny = pts[0].y, maxy = miny;
  for (size_t i = 1; i < n; ++i) {
    minx = std::min(minx, pts[i].x); maxx = std::max(maxx, pts[i].x);
    miny = std::min(miny, pts[i].y); maxy = std::max(maxy, pts[i].y);
  }
  const Rect& box = dc->clip_box;
  int64_t m = int64_t(pen.pen_width) + 2;
  if (box.empty() || maxx + m < box.left || minx - m >= box.right || maxy + m < box.top || miny - m >= box.bottom)
    return;
  // The path's buffer is kept from one figure to the next (a track drawn a few links at a
  // time calls this a million times).
  thread_local std::vector<PointD> path;
  path.clear();
  path.reserve(n + 1);
  for (size_t i = 0; i < n; ++i) path.push_back(PointD{double(pts[i].x) + shift, double(pts[i].y) + shift});
  if (closed && n > 1) path.push_back(path.front());
  Painter p(dc, pen.color, dc->rop2);
  Coverage cov(box, p.copy ? &p : nullptr);
  if (pen.pen_style >= PS_DASH && pen.pen_style <= PS_DASHDOTDOT && path.size() > 1) {
    std::vector<std::vector<PointD>> pieces;
    dash_pieces(path, pen.pen_style, w, box, double(m), pieces);
    for (const auto& piece : pieces) add_piece(cov, piece, r);
  } else if (pen.pen_width <= GridDisc::kMaxWidth) {
    const GridDisc grid(r, shift);
    add_piece(cov, path, r, &grid);
  } else {
    add_piece(cov, path, r);
  }
  cov.paint(p);
}

}  // namespace

bool pen_styled(int style) { return style >= PS_DASH && style <= PS_DASHDOTDOT; }

bool dash_on(int style, int width, double pos) {
  if (!pen_styled(style)) return true;
  const DashPattern& p = kPatterns[style];
  double scale = width > 1 ? width : 1, period = 0;
  for (int i = 0; i < p.count; ++i) period += p.runs[i] * scale;
  double at = std::fmod(pos, period);
  if (at < 0) at += period;
  for (int i = 0; i < p.count; ++i) {
    at -= p.runs[i] * scale;
    if (at < 0) return i % 2 == 0;
  }
  return false;
}

int pen_width(const DcRec& dc) { return dc.pen ? std::max(1, dc.pen->pen_width) : 1; }

bool pen_draws(const DcRec& dc) { return dc.pen && dc.pen->pen_style != PS_NULL && dc.surface; }

void stroke_path(Dc dc, const PointL* pts, size_t n, bool closed) {
  if (n == 0 || !pen_draws(*dc) || dc->clip_box.empty()) return;
  if (dc->pen->pen_width <= 1) thin_path(dc, pts, n, closed);
  else wide_path(dc, pts, n, closed);
}

// ---- Coverage ---------------------------------------------------------------------------

// The rows keep their memory from one figure to the next on each thread, so drawing a
// wide line does not allocate once warm.
namespace {
struct ThreadRows {
  std::vector<std::vector<std::pair<int, int>>> rows;
  bool busy = false;
};
thread_local ThreadRows t_rows;
}  // namespace

Coverage::Coverage(const Rect& box, Painter* direct) : box_(box), direct_(direct) {
  if (direct_) return;
  if (!t_rows.busy) {
    t_rows.busy = true;
    borrowed_ = true;
    rows_ = &t_rows.rows;
  } else {
    own_ = std::make_unique<Rows>();
    rows_ = own_.get();
  }
  size_t need = size_t(std::max(0, box.height()));
  if (rows_->size() < need) rows_->resize(need);
}

Coverage::~Coverage() {
  for (int y : touched_) (*rows_)[size_t(y - box_.top)].clear();
  if (borrowed_) t_rows.busy = false;
}

void Coverage::add(int64_t y, int64_t x0, int64_t x1) {
  if (y < box_.top || y >= box_.bottom) return;
  x0 = std::max<int64_t>(x0, box_.left);
  x1 = std::min<int64_t>(x1, box_.right);
  if (x0 >= x1) return;
  if (direct_) {
    direct_->span(int(y), int(x0), int(x1));
    return;
  }
  auto& row = (*rows_)[size_t(y - box_.top)];
  if (row.empty()) touched_.push_back(int(y));
  row.push_back({int(x0), int(x1)});
}

// Rows [first, last] of pixel centres y with lo <= y < hi, clamped to the box.
static bool row_range(double lo, double hi, const Rect& box, int64_t& first, int64_t& last) {
  if (!(hi > lo)) return false;
  double f = std::ceil(lo), l = std::ceil(hi) - 1;
  f = std::max(f, double(box.top));
  l = std::min(l, double(box.bottom - 1));
  if (f > l) return false;
  first = int64_t(f);
  last = int64_t(l);
  return true;
}

static void add_row_interval(Coverage& cov, int64_t y, double xl, double xr) {
  // Pixel centres x with xl <= x < xr.
  double a = std::ceil(xl), b = std::ceil(xr);
  a = std::max(a, -4.0e18);
  b = std::min(b, 4.0e18);
  if (a < b) cov.add(y, int64_t(a), int64_t(b));
}

void Coverage::add_disc(PointD c, double r) {
  int64_t first, last;
  if (!row_range(c.y - r, c.y + r, box_, first, last)) return;
  for (int64_t y = first; y <= last; ++y) {
    double dy = double(y) - c.y, h2 = r * r - dy * dy;
    if (h2 <= 0) continue;
    double h = std::sqrt(h2);
    add_row_interval(*this, y, c.x - h, c.x + h);
  }
}

void Coverage::add_convex(const PointD* pts, int n) {
  double lo = pts[0].y, hi = lo;
  for (int i = 1; i < n; ++i) { lo = std::min(lo, pts[i].y); hi = std::max(hi, pts[i].y); }
  int64_t first, last;
  if (!row_range(lo, hi, box_, first, last)) return;
  // Edges with their y range and slope, worked out once.
  struct EdgeD { double y0, y1, x0, slope, ya; };
  EdgeD edges[8];
  int m = 0;
  for (int i = 0; i < n && m < 8; ++i) {
    PointD a = pts[i], b = pts[(i + 1) % n];
    if (a.y == b.y) continue;
    edges[m++] = EdgeD{std::min(a.y, b.y), std::max(a.y, b.y), a.x, (b.x - a.x) / (b.y - a.y), a.y};
  }
  for (int64_t y = first; y <= last; ++y) {
    double yc = double(y), xl = INFINITY, xr = -INFINITY;
    for (int i = 0; i < m; ++i) {
      const EdgeD& e = edges[i];
      if (yc < e.y0 || yc > e.y1) continue;
      double x = e.x0 + (yc - e.ya) * e.slope;
      xl = std::min(xl, x);
      xr = std::max(xr, x);
    }
    if (xl < xr) add_row_interval(*this, y, xl, xr);
  }
}

void Coverage::paint(Painter& p) {
  if (direct_) return;
  for (int y : touched_) {
    auto& row = (*rows_)[size_t(y - box_.top)];
    std::sort(row.begin(), row.end());
    size_t out = 0;
    for (size_t i = 0; i < row.size(); ++i) {
      if (out && row[i].first <= row[out - 1].second) row[out - 1].second = std::max(row[out - 1].second, row[i].second);
      else row[out++] = row[i];
    }
    row.resize(out);
    for (const auto& s : row) p.span(y, s.first, s.second);
  }
}

}  // namespace plat
