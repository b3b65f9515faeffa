// Regions: the set operations against a pixel-by-pixel model, the canonical banded
// form (equal sets compare equal), queries, and region objects with their types.
#include "platform/gdi/gdi.h"
#include "platform/gdi/region.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <utility>

namespace {

using plat::Point;
using plat::Rect;
using plat::Region;

using PixelSet = std::set<std::pair<int, int>>;

PixelSet pixels_of(const Region& r) {
  PixelSet s;
  for (const Rect& rc : r.rects())
    for (int y = rc.top; y < rc.bottom; ++y)
      for (int x = rc.left; x < rc.right; ++x) s.insert({x, y});
  return s;
}

Region region_of_rects(std::initializer_list<Rect> rs) {
  Region r;
  for (const Rect& rc : rs) r.unite(Region(rc));
  return r;
}

// The banded form: disjoint rectangles, bands sorted, spans in a band sorted and not
// touching, and no two touching bands with the same spans.
void expect_canonical(const Region& r) {
  const auto& rs = r.rects();
  for (size_t i = 0; i < rs.size(); ++i) {
    EXPECT_FALSE(rs[i].empty());
    if (i == 0) continue;
    const Rect& a = rs[i - 1];
    const Rect& b = rs[i];
    if (a.top == b.top) {
      EXPECT_EQ(a.bottom, b.bottom);
      EXPECT_LT(a.right, b.left) << "spans of a band must not touch";
    } else {
      EXPECT_LE(a.bottom, b.top) << "bands overlap";
    }
  }
}

struct AlgebraCase {
  const char* name;
  std::initializer_list<Rect> a, b;
};

const AlgebraCase kAlgebra[] = {
    {"overlapping", {{0, 0, 10, 10}}, {{5, 5, 15, 15}}},
    {"disjoint", {{0, 0, 4, 4}}, {{10, 10, 12, 12}}},
    {"contained", {{0, 0, 20, 20}}, {{5, 5, 8, 8}}},
    {"touching edges", {{0, 0, 5, 5}}, {{5, 0, 10, 5}}},
    {"complex both", {{0, 0, 10, 3}, {2, 3, 4, 9}, {7, 5, 12, 8}}, {{1, 1, 9, 6}, {3, 7, 20, 9}}},
    {"empty b", {{0, 0, 3, 3}}, {}},
    {"frames", {{0, 0, 10, 10}}, {{2, 2, 8, 8}}},
};

TEST(RegionAlgebra, OperationsMatchPixelSets) {
  using Op = std::function<void(Region&, const Region&)>;
  struct OpCase {
    const char* name;
    Op op;
    std::function<bool(bool, bool)> in;
  };
  const OpCase ops[] = {
      {"unite", [](Region& a, const Region& b) { a.unite(b); }, [](bool x, bool y) { return x || y; }},
      {"intersect", [](Region& a, const Region& b) { a.intersect(b); }, [](bool x, bool y) { return x && y; }},
      {"subtract", [](Region& a, const Region& b) { a.subtract(b); }, [](bool x, bool y) { return x && !y; }},
      {"xor", [](Region& a, const Region& b) { a.exclusive_or(b); }, [](bool x, bool y) { return x != y; }},
  };
  for (const AlgebraCase& c : kAlgebra) {
    Region a = region_of_rects(c.a), b = region_of_rects(c.b);
    PixelSet pa = pixels_of(a), pb = pixels_of(b);
    for (const OpCase& op : ops) {
      SCOPED_TRACE(std::string(c.name) + " / " + op.name);
      Region r = a;
      op.op(r, b);
      expect_canonical(r);
      PixelSet want;
      for (int y = -2; y < 25; ++y)
        for (int x = -2; x < 25; ++x)
          if (op.in(pa.count({x, y}) > 0, pb.count({x, y}) > 0)) want.insert({x, y});
      EXPECT_EQ(pixels_of(r), want);
      for (int y = -2; y < 25; ++y)
        for (int x = -2; x < 25; ++x) ASSERT_EQ(r.contains(Point{x, y}), want.count({x, y}) > 0) << x << "," << y;
    }
  }
}

TEST(RegionAlgebra, EqualSetsHaveEqualForms) {
  // The same L shape built three ways.
  Region a = region_of_rects({{0, 0, 10, 5}, {0, 5, 4, 10}});
  Region b = region_of_rects({{0, 0, 4, 10}, {4, 0, 10, 5}});
  Region c(Rect{0, 0, 10, 10});
  c.subtract(Region(Rect{4, 5, 10, 10}));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, c);
  EXPECT_EQ(a.rects().size(), 2u);
  // Two halves of a rectangle merge back into one rectangle.
  Region d = region_of_rects({{0, 0, 10, 4}, {0, 4, 10, 9}});
  ASSERT_EQ(d.rects().size(), 1u);
  EXPECT_EQ(d.rects()[0], (Rect{0, 0, 10, 9}));
  // Subtracting everything leaves the empty region.
  d.subtract(Region(Rect{-5, -5, 50, 50}));
  EXPECT_TRUE(d.empty());
  EXPECT_EQ(d, Region());
}

TEST(RegionAlgebra, QueriesAndOffset) {
  Region r = region_of_rects({{0, 0, 4, 4}, {10, 2, 14, 6}});
  EXPECT_EQ(r.bounds(), (Rect{0, 0, 14, 6}));
  EXPECT_EQ(Region().bounds(), Rect{});
  struct Hit { Rect r; bool hits; };
  const Hit hits[] = {{{3, 3, 5, 5}, true},   {{4, 0, 10, 10}, false}, {{13, 5, 20, 20}, true},
                      {{0, 4, 10, 6}, false}, {{5, 5, 5, 9}, false},   {{-3, -3, 1, 1}, true}};
  for (const Hit& h : hits) EXPECT_EQ(r.intersects(h.r), h.hits) << h.r.left << "," << h.r.top;
  r.offset(5, -2);
  EXPECT_EQ(r.bounds(), (Rect{5, -2, 19, 4}));
  EXPECT_TRUE(r.contains(Point{5, -2}));
  EXPECT_FALSE(r.contains(Point{9, -2}));
  EXPECT_TRUE(Region(Rect{5, 5, 5, 10}).empty());
}

TEST(RegionAlgebra, AppendBandMergesEqualBandsAndTouchingSpans) {
  Region r;
  Region::Span row1[] = {{0, 3}, {3, 6}, {10, 12}};
  r.append_band(0, 1, row1, 3);
  Region::Span row2[] = {{0, 6}, {10, 12}};
  r.append_band(1, 2, row2, 2);
  ASSERT_EQ(r.rects().size(), 2u);
  EXPECT_EQ(r.rects()[0], (Rect{0, 0, 6, 2}));
  EXPECT_EQ(r.rects()[1], (Rect{10, 0, 12, 2}));
}

// ---- Region objects ---------------------------------------------------------------------

TEST(RegionObjects, CombineReturnsTypes) {
  plat::Rgn a = plat::create_rect_rgn(0, 0, 10, 10);
  plat::Rgn b = plat::create_rect_rgn(5, 5, 15, 15);
  plat::Rgn d = plat::create_rect_rgn(0, 0, 0, 0);
  struct Case { int mode; int type; Rect box; };
  const Case cases[] = {
      {plat::RGN_AND, plat::SIMPLEREGION, {5, 5, 10, 10}},
      {plat::RGN_OR, plat::COMPLEXREGION, {0, 0, 15, 15}},
      {plat::RGN_XOR, plat::COMPLEXREGION, {0, 0, 15, 15}},
      {plat::RGN_DIFF, plat::COMPLEXREGION, {0, 0, 10, 10}},
      {plat::RGN_COPY, plat::SIMPLEREGION, {0, 0, 10, 10}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plat::combine_rgn(d, a, b, c.mode), c.type) << c.mode;
    Rect box;
    EXPECT_EQ(plat::get_rgn_box(d, &box), c.type);
    EXPECT_EQ(box, c.box) << c.mode;
  }
  EXPECT_EQ(plat::combine_rgn(d, a, b, 99), plat::RGN_ERROR);
  plat::Rgn far = plat::create_rect_rgn(50, 50, 60, 60);
  EXPECT_EQ(plat::combine_rgn(d, a, far, plat::RGN_AND), plat::NULLREGION);
  EXPECT_EQ(plat::get_rgn_box(d, nullptr), plat::NULLREGION);
  // Sources may be the destination.
  EXPECT_EQ(plat::combine_rgn(a, a, b, plat::RGN_OR), plat::COMPLEXREGION);
  EXPECT_TRUE(plat::pt_in_region(a, 14, 14));
  EXPECT_FALSE(plat::pt_in_region(a, 14, 2));
  EXPECT_EQ(plat::offset_rgn(far, -50, -50), plat::SIMPLEREGION);
  EXPECT_TRUE(plat::pt_in_region(far, 0, 0));
  EXPECT_TRUE(plat::rect_in_region(far, Rect{9, 9, 20, 20}));
  EXPECT_FALSE(plat::rect_in_region(far, Rect{10, 0, 20, 20}));
  for (plat::Rgn r : {a, b, d, far}) EXPECT_EQ(plat::delete_object(r), 1);
  // A deleted handle is refused, not followed.
  EXPECT_EQ(plat::delete_object(a), 0);
  EXPECT_EQ(plat::get_rgn_box(a, nullptr), plat::RGN_ERROR);
}

// A move that would carry a region past the int range is refused and leaves it as it was.
TEST(RegionObjects, MovesPastTheCoordinateRangeAreRefused) {
  struct Case {
    Rect r;
    int dx, dy;
    int type;
  };
  const Case cases[] = {
      {{0, 0, 10, 10}, INT32_MAX - 10, 0, plat::SIMPLEREGION}, {{0, 0, 10, 10}, INT32_MAX - 9, 0, plat::RGN_ERROR},
      {{-5, 0, 5, 5}, INT32_MIN + 5, 0, plat::SIMPLEREGION},   {{-5, 0, 5, 5}, INT32_MIN + 4, 0, plat::RGN_ERROR},
      {{0, -3, 1, 3}, 0, INT32_MAX - 3, plat::SIMPLEREGION},   {{0, -3, 1, 3}, 0, INT32_MIN, plat::RGN_ERROR},
      {{0, 0, 0, 0}, INT32_MAX, INT32_MIN, plat::NULLREGION},
  };
  for (const Case& c : cases) {
    plat::Rgn rgn = plat::create_rect_rgn_indirect(c.r);
    EXPECT_EQ(plat::offset_rgn(rgn, c.dx, c.dy), c.type) << c.r.left << " by " << c.dx << "," << c.dy;
    Rect box;
    plat::get_rgn_box(rgn, &box);
    Rect want = c.r;  // refused: where it was
    if (c.type == plat::SIMPLEREGION) want = Rect{c.r.left + c.dx, c.r.top + c.dy, c.r.right + c.dx, c.r.bottom + c.dy};
    if (c.r.empty()) want = Rect{};
    EXPECT_EQ(box, want) << c.r.left << " by " << c.dx << "," << c.dy;
    plat::delete_object(rgn);
  }
}

TEST(RegionObjects, PolygonRegionsFollowTheFillRule) {
  // A right triangle: row y holds x in [0, y) (the slanted edge's crossing rounded up).
  const Point tri[] = {{0, 0}, {10, 10}, {0, 10}};
  plat::Rgn t = plat::create_polygon_rgn(tri, 3, plat::ALTERNATE);
  for (int y = 0; y < 10; ++y)
    for (int x = -1; x < 11; ++x) EXPECT_EQ(plat::pt_in_region(t, x, y), x >= 0 && x < y) << x << "," << y;
  EXPECT_FALSE(plat::pt_in_region(t, 0, 10));
  // Two overlapping squares drawn as one figure going round the same way: the overlap is
  // a hole under the even-odd rule and filled under the winding rule.
  const Point twice[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}, {5, 5}, {15, 5}, {15, 15}, {5, 15}, {5, 5}};
  plat::Rgn alt = plat::create_polygon_rgn(twice, 10, plat::ALTERNATE);
  plat::Rgn wind = plat::create_polygon_rgn(twice, 10, plat::WINDING);
  EXPECT_FALSE(plat::pt_in_region(alt, 7, 7));
  EXPECT_TRUE(plat::pt_in_region(wind, 7, 7));
  for (plat::Rgn r : {alt, wind}) {
    EXPECT_TRUE(plat::pt_in_region(r, 2, 2));
    EXPECT_TRUE(plat::pt_in_region(r, 12, 12));
    EXPECT_FALSE(plat::pt_in_region(r, 12, 2));
  }
  EXPECT_EQ(plat::create_polygon_rgn(tri, 3, 7), nullptr);
  for (plat::Rgn r : {t, alt, wind}) plat::delete_object(r);
}

}  // namespace
