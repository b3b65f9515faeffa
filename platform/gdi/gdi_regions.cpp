// Region objects: handles around the Region class, with the usual combination and query
// calls. Every call answers with the region's type (null, one rectangle, several) or
// RGN_ERROR for a handle that is not a live region.
#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/polygon_scan.h"

namespace plat {

namespace {

// Polygon regions are scanned over the rows a 16-bit device can address; anything
// beyond would only cost time.
constexpr int64_t kPolygonRowLimit = 32768;

Rgn new_region(Region r) {
  auto o = std::make_unique<GdiObjRec>();
  o->kind = OBJ_REGION;
  o->region = std::move(r);
  return gdi_register(std::move(o));
}

Rect normalized(int left, int top, int right, int bottom) {
  return Rect{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

// The region of a live handle (lock held).
Region* live_region(Rgn rgn) {
  return gdi_is_live(rgn) && rgn->kind == OBJ_REGION && !rgn->delete_pending ? &rgn->region : nullptr;
}

}  // namespace

int region_type(const Region& r) {
  return r.empty() ? NULLREGION : r.rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

Rgn create_rect_rgn(int left, int top, int right, int bottom) {
  return new_region(Region(normalized(left, top, right, bottom)));
}

Rgn create_rect_rgn_indirect(const Rect& r) { return create_rect_rgn(r.left, r.top, r.right, r.bottom); }

Rgn create_region_object(const Region& region) { return new_region(region); }

Rgn create_polygon_rgn(const Point* pts, int count, int fill_mode) {
  if (!pts || count < 0 || (fill_mode != ALTERNATE && fill_mode != WINDING)) return nullptr;
  std::vector<PointL> sp(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) sp[size_t(i)] = PointL{pts[i].x, pts[i].y};
  Region r;
  std::vector<Region::Span> spans;
  scan_polygons(sp.data(), &count, 1, fill_mode, -kPolygonRowLimit, kPolygonRowLimit,
                [&](int64_t y, const std::vector<SpanL>& row) {
                  spans.clear();
                  for (const SpanL& s : row)
                    spans.push_back({clamp_int(s.first),
                                     clamp_int(s.second)});
                  r.append_band(int(y), int(y + 1), spans.data(), spans.size());
                });
  return new_region(std::move(r));
}

int combine_rgn(Rgn dest, Rgn src1, Rgn src2, int mode) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  Region* d = live_region(dest);
  Region* a = live_region(src1);
  Region* b = mode == RGN_COPY ? a : live_region(src2);
  if (!d || !a || !b) return RGN_ERROR;
  Region out = *a;
  switch (mode) {
    case RGN_AND: out.intersect(*b); break;
    case RGN_OR: out.unite(*b); break;
    case RGN_XOR: out.exclusive_or(*b); break;
    case RGN_DIFF: out.subtract(*b); break;
    case RGN_COPY: break;
    default: return RGN_ERROR;
  }
  *d = std::move(out);
  return region_type(*d);
}

int set_rect_rgn(Rgn rgn, int left, int top, int right, int bottom) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  Region* r = live_region(rgn);
  if (!r) return RGN_ERROR;
  *r = Region(normalized(left, top, right, bottom));
  return region_type(*r);
}

int get_rgn_box(Rgn rgn, Rect* out) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  Region* r = live_region(rgn);
  if (!r) return RGN_ERROR;
  if (out) *out = r->bounds();
  return region_type(*r);
}

int offset_rgn(Rgn rgn, int dx, int dy) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  Region* r = live_region(rgn);
  if (!r) return RGN_ERROR;
  // A move that would carry the region past the coordinate range is refused.
  Rect b = r->bounds();
  auto fits = [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
  if (!r->empty() && !(fits(int64_t(b.left) + dx) && fits(int64_t(b.right) + dx) && fits(int64_t(b.top) + dy) &&
                       fits(int64_t(b.bottom) + dy)))
    return RGN_ERROR;
  r->offset(dx, dy);
  return region_type(*r);
}

bool pt_in_region(Rgn rgn, int x, int y) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  Region* r = live_region(rgn);
  return r && r->contains(Point{x, y});
}

bool rect_in_region(Rgn rgn, const Rect& rc) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  Region* r = live_region(rgn);
  return r && r->intersects(normalized(rc.left, rc.top, rc.right, rc.bottom));
}

bool equal_rgn(Rgn a, Rgn b) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  Region* ra = live_region(a);
  Region* rb = live_region(b);
  return ra && rb && *ra == *rb;
}

bool region_copy(Rgn rgn, Region* out) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  Region* r = live_region(rgn);
  if (r) *out = *r;
  return r != nullptr;
}

const Region* region_of(Rgn rgn) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  return live_region(rgn);
}

}  // namespace plat
