// Points, sizes and rectangles shared by the window system and the drawing layer.
// A rectangle includes its left and top edges and excludes its right and bottom ones.
#pragma once

namespace plat {

struct Point {
  int x = 0, y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int cx = 0, cy = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
  bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Intersection (empty when they do not meet) and bounding union of two rectangles.
Rect intersect_rect(const Rect& a, const Rect& b);
Rect union_rect(const Rect& a, const Rect& b);
Rect offset_rect(const Rect& r, int dx, int dy);

}  // namespace plat
