// Regions as y-x banded rectangles. Every region is kept in one canonical form: bands
// sorted by top, rectangles in a band sorted by left and never touching, and no two
// vertically adjacent bands with the same spans (they are merged). Equal pixel sets
// therefore have equal rectangle lists, which makes operator== meaningful.
//
// All four set operations run one sweep (combine): the y breakpoints of both regions
// cut the plane into strips, each strip's spans are combined in one pass over x, and
// the result is appended band by band (append_band merges equal neighbours).
#include "platform/gdi/region.h"

#include <algorithm>
#include <limits>

namespace plat {

namespace {

using Span = Region::Span;

// Result of a set operation for pixel membership (in a, in b), as a 4-bit table
// indexed by a * 2 + b.
enum : unsigned { OP_AND = 0b1000, OP_OR = 0b1110, OP_DIFF = 0b0100, OP_XOR = 0b0110 };

// Index of the first rectangle whose bottom lies below y (bottoms never decrease).
size_t first_band_below(const std::vector<Rect>& rs, int y) {
  auto it = std::partition_point(rs.begin(), rs.end(), [y](const Rect& r) { return r.bottom <= y; });
  return size_t(it - rs.begin());
}

// The spans of the band of `rs` that covers the strip starting at y, if any; `at` is a
// cursor that only moves forward as the strips go down.
void strip_spans(const std::vector<Rect>& rs, size_t& at, int y, std::vector<Span>& out) {
  out.clear();
  while (at < rs.size() && rs[at].bottom <= y) ++at;
  if (at >= rs.size() || rs[at].top > y) return;
  for (size_t i = at; i < rs.size() && rs[i].top == rs[at].top; ++i) out.push_back({rs[i].left, rs[i].right});
}

// One-dimensional set operation on two sorted span lists.
void combine_spans(const std::vector<Span>& a, const std::vector<Span>& b, unsigned op,
                   std::vector<Span>& out) {
  out.clear();
  size_t i = 0, j = 0;
  bool in_a = false, in_b = false;
  // Walk the boundaries of both lists in x order; between two boundaries membership is
  // constant.
  auto next_a = [&]() { return i < a.size() * 2 ? (i % 2 ? a[i / 2].second : a[i / 2].first) : std::numeric_limits<int>::max(); };
  auto next_b = [&]() { return j < b.size() * 2 ? (j % 2 ? b[j / 2].second : b[j / 2].first) : std::numeric_limits<int>::max(); };
  bool was_in = false;
  int start = 0;
  while (i < a.size() * 2 || j < b.size() * 2) {
    int x = std::min(next_a(), next_b());
    while (next_a() == x && i < a.size() * 2) { in_a = !in_a; ++i; }
    while (next_b() == x && j < b.size() * 2) { in_b = !in_b; ++j; }
    bool in = (op >> (unsigned(in_a) * 2 + unsigned(in_b))) & 1u;
    if (in && !was_in) start = x;
    if (!in && was_in && x > start) out.push_back({start, x});
    was_in = in;
  }
}

Region combine(const Region& a, const Region& b, unsigned op) {
  const std::vector<Rect>& ra = a.rects();
  const std::vector<Rect>& rb = b.rects();
  std::vector<int> ys;
  ys.reserve((ra.size() + rb.size()) * 2);
  for (const Rect& r : ra) { ys.push_back(r.top); ys.push_back(r.bottom); }
  for (const Rect& r : rb) { ys.push_back(r.top); ys.push_back(r.bottom); }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  Region out;
  std::vector<Span> sa, sb, so;
  size_t ia = 0, ib = 0;
  for (size_t k = 0; k + 1 < ys.size(); ++k) {
    strip_spans(ra, ia, ys[k], sa);
    strip_spans(rb, ib, ys[k], sb);
    combine_spans(sa, sb, op, so);
    out.append_band(ys[k], ys[k + 1], so.data(), so.size());
  }
  return out;
}

}  // namespace

Region::Region(const Rect& r) {
  if (!r.empty()) rects_.push_back(r);
}

Rect Region::bounds() const {
  if (rects_.empty()) return Rect{};
  Rect b{rects_.front().left, rects_.front().top, rects_.front().right, rects_.back().bottom};
  for (const Rect& r : rects_) {
    b.left = std::min(b.left, r.left);
    b.right = std::max(b.right, r.right);
  }
  return b;
}

bool Region::contains(Point p) const {
  for (size_t i = first_band_below(rects_, p.y); i < rects_.size() && rects_[i].top <= p.y; ++i) {
    if (p.x < rects_[i].left) return false;
    if (p.x < rects_[i].right) return true;
  }
  return false;
}

bool Region::intersects(const Rect& r) const {
  if (r.empty()) return false;
  for (size_t i = first_band_below(rects_, r.top); i < rects_.size() && rects_[i].top < r.bottom; ++i)
    if (rects_[i].left < r.right && rects_[i].right > r.left) return true;
  return false;
}

void Region::unite(const Region& other) {
  if (other.empty()) return;
  if (empty()) { rects_ = other.rects_; return; }
  *this = combine(*this, other, OP_OR);
}

void Region::intersect(const Region& other) {
  if (empty()) return;
  if (other.empty()) { rects_.clear(); return; }
  *this = combine(*this, other, OP_AND);
}

void Region::subtract(const Region& other) {
  if (empty() || other.empty()) return;
  *this = combine(*this, other, OP_DIFF);
}

void Region::exclusive_or(const Region& other) {
  if (other.empty()) return;
  if (empty()) { rects_ = other.rects_; return; }
  *this = combine(*this, other, OP_XOR);
}

void Region::offset(int dx, int dy) {
  for (Rect& r : rects_) r = offset_rect(r, dx, dy);
}

// Spans are given sorted by left; overlapping or touching ones are merged on the way so
// that the stored form stays canonical.
void Region::append_band(int top, int bottom, const Span* spans, size_t count) {
  if (bottom <= top) return;
  auto for_each_merged = [&](auto&& visit) {
    size_t k = 0;
    size_t emitted = 0;
    while (k < count) {
      if (spans[k].second <= spans[k].first) { ++k; continue; }
      Span cur = spans[k++];
      while (k < count && spans[k].first <= cur.second) {
        cur.second = std::max(cur.second, spans[k].second);
        ++k;
      }
      if (!visit(emitted++, cur)) return emitted;
    }
    return emitted;
  };
  // The band just above, when it ends where this one starts, absorbs an identical band.
  size_t n = rects_.size();
  if (n && rects_[n - 1].bottom == top) {
    int prev_top = rects_[n - 1].top;
    size_t first = n;
    while (first > 0 && rects_[first - 1].top == prev_top) --first;
    bool same = true;
    size_t got = for_each_merged([&](size_t k, Span sp) {
      same = first + k < n && rects_[first + k].left == sp.first && rects_[first + k].right == sp.second;
      return same;
    });
    if (same && got == n - first) {
      for (size_t k = first; k < n; ++k) rects_[k].bottom = bottom;
      return;
    }
  }
  for_each_merged([&](size_t, Span sp) {
    rects_.push_back(Rect{sp.first, top, sp.second, bottom});
    return true;
  });
}

}  // namespace plat
