// Active-edge scan conversion. Edges are sorted by their upper end; a row keeps the edges
// that cross it, works out their crossings exactly (rational x rounded up, in 128-bit
// arithmetic) and pairs them by the fill rule.
#include "platform/gdi/polygon_scan.h"

#include <algorithm>

namespace plat {

namespace {

struct Edge {
  int64_t y0, y1;  // rows y0 <= y < y1
  int64_t x0, x1;  // x at y0 and at y1
  int dir;         // +1 going down, -1 going up
};

int64_t crossing(const Edge& e, int64_t y) {
  __int128 dy = e.y1 - e.y0;
  __int128 num = __int128(e.x0) * dy + __int128(y - e.y0) * (e.x1 - e.x0);
  __int128 q = num / dy;
  if (num % dy != 0 && num > 0) ++q;  // ceiling (dy > 0)
  return int64_t(q);
}

}  // namespace

void scan_polygons(const PointL* pts, const int* counts, int figures, int mode, int64_t y_lo,
                   int64_t y_hi, const std::function<void(int64_t, const std::vector<SpanL>&)>& row) {
  std::vector<Edge> edges;
  size_t base = 0;
  for (int f = 0; f < figures; ++f) {
    int n = counts[f];
    for (int i = 0; n > 1 && i < n; ++i) {
      PointL a = pts[base + size_t(i)], b = pts[base + size_t((i + 1) % n)];
      if (a.y == b.y) continue;
      if (a.y < b.y) edges.push_back(Edge{a.y, b.y, a.x, b.x, 1});
      else edges.push_back(Edge{b.y, a.y, b.x, a.x, -1});
    }
    base += size_t(std::max(n, 0));
  }
  if (edges.empty()) return;
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
  int64_t bottom = 0;
  for (const Edge& e : edges) bottom = std::max(bottom, e.y1);
  int64_t y = std::max(edges.front().y0, y_lo);
  int64_t y_end = std::min(bottom, y_hi);
  std::vector<const Edge*> active;
  std::vector<std::pair<int64_t, int>> xs;
  std::vector<SpanL> spans;
  size_t next = 0;
  for (; y < y_end; ++y) {
    while (next < edges.size() && edges[next].y0 <= y) active.push_back(&edges[next++]);
    active.erase(std::remove_if(active.begin(), active.end(), [y](const Edge* e) { return e->y1 <= y; }),
                 active.end());
    if (active.empty()) {
      if (next >= edges.size()) break;
      y = std::max(y, edges[next].y0 - 1);  // jump over an empty stretch
      continue;
    }
    xs.clear();
    for (const Edge* e : active) xs.push_back({crossing(*e, y), e->dir});
    std::sort(xs.begin(), xs.end());
    spans.clear();
    int wind = 0;
    for (size_t i = 0; i < xs.size(); ++i) {
      bool was_in = mode == WINDING ? wind != 0 : (i % 2) == 1;
      wind += xs[i].second;
      bool now_in = mode == WINDING ? wind != 0 : (i % 2) == 0;
      if (!was_in && now_in) spans.push_back({xs[i].first, xs[i].first});
      else if (was_in && !now_in) spans.back().second = xs[i].first;
    }
    size_t out = 0;
    for (const SpanL& s : spans) {
      if (s.second <= s.first) continue;
      if (out && s.first <= spans[out - 1].second) spans[out - 1].second = std::max(spans[out - 1].second, s.second);
      else spans[out++] = s;
    }
    spans.resize(out);
    if (!spans.empty()) row(y, spans);
  }
}

}  // namespace plat
