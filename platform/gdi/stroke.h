// Drawing with the pen: thin lines (one pixel wide, solid or styled) stepped pixel by
// pixel, and wide lines built from filled pieces (a band along each segment and a disc
// at each point, which gives round joins and ends without gaps). Shapes whose outline is
// not a polyline (ellipses, arcs) use the span coverage directly.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/raster.h"

namespace plat {

struct PointD {
  double x = 0, y = 0;
};

// A logical point on the surface, without overflow for points far off.
inline PointL to_surface(const DcRec& dc, Point p) {
  return PointL{int64_t(p.x) + dc.shift.x, int64_t(p.y) + dc.shift.y};
}

// Strokes a path of surface points with the context's pen (nothing for a null pen);
// `closed` adds the segment back to the first point. A path of one point is a dot.
void stroke_path(Dc dc, const PointL* pts, size_t n, bool closed);

// Spans gathered row by row over the clip box and painted once each, so overlapping
// pieces of one figure never mix a pixel twice. With a plain copy painter (where painting
// a pixel twice changes nothing) spans go straight to it instead.
class Coverage {
 public:
  explicit Coverage(const Rect& box, Painter* direct = nullptr);
  ~Coverage();
  Coverage(const Coverage&) = delete;
  Coverage& operator=(const Coverage&) = delete;
  int top() const { return box_.top; }
  int bottom() const { return box_.bottom; }
  void add(int64_t y, int64_t x0, int64_t x1);  // [x0, x1)
  // Pixel centres of the disc, a convex polygon, or between two ellipse-like row
  // extents; boundaries follow the fill rule (left and top in, right and bottom out).
  void add_disc(PointD c, double r);
  void add_convex(const PointD* pts, int n);
  void paint(Painter& p);

 private:
  using Rows = std::vector<std::vector<std::pair<int, int>>>;
  Rect box_;
  Painter* direct_ = nullptr;
  Rows* rows_ = nullptr;  // the thread's reusable rows, or own_ when those are in use
  std::unique_ptr<Rows> own_;
  bool borrowed_ = false;
  std::vector<int> touched_;
};

// Whether a styled pen's pattern is on at `pos` pixels along a line (the pattern is
// scaled by the width of wide pens); true for unstyled pens.
bool pen_styled(int style);
bool dash_on(int style, int width, double pos);

// The pen's width in pixels (1 for thin pens) and whether it draws at all.
int pen_width(const DcRec& dc);
bool pen_draws(const DcRec& dc);

}  // namespace plat
