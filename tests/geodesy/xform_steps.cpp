// Transformation steps and chains: the routines of the small step records, the "no
// height" value, chains forward and backwards, inverted steps, extents carried through
// a step, rotations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct xyz {
  double x, y, z;
};

xform_control_point_t* control_point(double sx, double sy, double tx, double ty) {
  xform_control_point_t* p = nullptr;
  obj_new_registered(CLS_XFORM_CONTROL_POINT, &p);
  p->sx = sx;
  p->sy = sy;
  p->tx = tx;
  p->ty = ty;
  return p;
}

xform_offset_scale_t* offset_scale(double sx, double sy, xform_control_point_t* origins) {
  xform_offset_scale_t* s = nullptr;
  obj_new_registered(CLS_XFORM_OFFSET_SCALE, &s);
  s->sx = sx;
  s->sy = sy;
  s->sz = 1.0;
  s->origins = origins;
  return s;
}

xform_affine3d_t* affine(const double f[16], const double g[16]) {
  xform_affine3d_t* a = nullptr;
  obj_new_registered(CLS_XFORM_AFFINE3D, &a);
  std::memcpy(a->f, f, sizeof a->f);
  std::memcpy(a->g, g, sizeof a->g);
  return a;
}

class XformTest : public ::testing::Test {
 protected:
  void SetUp() override { tm_test::fresh_geodesy_store(); }
};

// Each small step forward, then back; and "no height" comes out as 0.
TEST_F(XformTest, SmallStepsForwardAndBack) {
  xform_control_point_t* origins = control_point(10.0, 20.0, 1000.0, 2000.0);
  xform_offset_scale_t* os = offset_scale(2.0, -4.0, origins);
  xform_scale_t* sc = nullptr;
  xform_make_scale(0.5, 3.0, 1.0, &sc);
  const double f[16] = {2, 1, 0, 5, -1, 3, 0, 7, 0, 0, 1, 0, 0, 0, 0, 1};
  // The inverse of the linear part [[2, 1], [-1, 3]] is [[3, -1], [1, 2]] / 7.
  const double g[16] = {3.0 / 7, -1.0 / 7, 0, -(3.0 * 5 - 7) / 7, 1.0 / 7, 2.0 / 7, 0,
                        -(5.0 + 2 * 7) / 7, 0, 0, 1, 0, 0, 0, 0, 1};
  xform_affine3d_t* af = affine(f, g);
  xform_linear2d_t* rot = nullptr;
  xform_make_rotation(kPi / 2.0, &rot);
  const struct {
    obj_t* step;
    int kind;
    xyz in;
    xyz out;
  } cases[] = {
      {os, XK_OFFSET_SCALE, {11.0, 21.0, 5.0}, {1002.0, 1996.0, 5.0}},
      {sc, XK_SCALE, {4.0, 2.0, 5.0}, {2.0, 6.0, 5.0}},
      {af, XK_AFFINE3D, {1.0, 2.0, 3.0}, {9.0, 12.0, 3.0}},
      {rot, XK_LINEAR2D, {1.0, 0.0, 3.0}, {0.0, -1.0, 3.0}},
      {af, XK_IDENTITY, {1.0, 2.0, 3.0}, {1.0, 2.0, 3.0}},
      {af, XK_IDENTITY5, {1.0, 2.0, 3.0}, {1.0, 2.0, 3.0}},
      {sc, XK_SCALE, {4.0, 2.0, NULL_DOUBLE}, {2.0, 6.0, 0.0}},
      {rot, XK_LINEAR2D, {1.0, 0.0, NULL_DOUBLE}, {0.0, -1.0, 0.0}},
  };
  for (const auto& c : cases) {
    xyz p = c.in;
    xform_forward(c.step, c.kind, &p.x, &p.y, &p.z);
    EXPECT_NEAR(p.x, c.out.x, 1e-12) << "kind " << c.kind;
    EXPECT_NEAR(p.y, c.out.y, 1e-12) << "kind " << c.kind;
    EXPECT_EQ(p.z, c.out.z) << "kind " << c.kind;
    xform_inverse(c.step, c.kind, &p.x, &p.y, &p.z);
    EXPECT_NEAR(p.x, c.in.x, 1e-12) << "kind " << c.kind;
    EXPECT_NEAR(p.y, c.in.y, 1e-12) << "kind " << c.kind;
  }
  // Every kind turns "no height" into 0 before its routine, even the identity.
  for (int kind = 0; kind <= XK_LAST; ++kind) {
    if (kind == XK_CHAIN || (kind >= 7 && kind <= 32)) continue;  // need other records
    double x = 1.0, y = 2.0, z = NULL_DOUBLE;
    xform_forward(kind == XK_OFFSET_SCALE ? static_cast<obj_t*>(os)
                  : kind == XK_SCALE      ? static_cast<obj_t*>(sc)
                  : kind == XK_LINEAR2D   ? static_cast<obj_t*>(rot)
                                          : static_cast<obj_t*>(af),
                  kind, &x, &y, &z);
    EXPECT_NE(z, NULL_DOUBLE) << "kind " << kind;
  }
  // A step without origins, a null step or a kind outside the tables change nothing.
  xform_offset_scale_t* bare = offset_scale(2.0, 2.0, nullptr);
  const struct {
    obj_t* step;
    int kind;
  } inert[] = {{bare, XK_OFFSET_SCALE}, {nullptr, XK_SCALE}, {sc, -1}, {sc, 33}, {sc, 1000}};
  for (const auto& c : inert) {
    double x = 3.0, y = 4.0, z = 5.0;
    xform_forward_checked(c.step, c.kind, &x, &y, &z);
    xform_inverse(c.step, c.kind, &x, &y, &z);
    EXPECT_EQ(x, 3.0);
    EXPECT_EQ(y, 4.0);
    EXPECT_EQ(z, 5.0);
  }
  EXPECT_EQ(xform_kind_valid(0), 1);
  EXPECT_EQ(xform_kind_valid(32), 1);
  EXPECT_EQ(xform_kind_valid(33), 0);
  EXPECT_EQ(xform_kind_valid(-1), 0);
  for (obj_t* o : std::initializer_list<obj_t*>{os, origins, sc, af, rot, bare}) free_obj(&o);
}

TEST_F(XformTest, ChainsForwardBackwardAndNested) {
  xform_scale_t* twice = nullptr;
  xform_make_scale(2.0, 2.0, 1.0, &twice);
  xform_linear2d_t* rot = nullptr;
  xform_make_rotation(kPi / 2.0, &rot);
  xform_chain_t* chain = nullptr;
  xform_chain_create(0, &chain);
  xform_chain_append(chain, twice, XK_SCALE);
  xform_chain_append(chain, nullptr, XK_SCALE);  // ignored
  xform_chain_append(chain, rot, 0);             // ignored
  xform_chain_append(chain, rot, XK_LINEAR2D);
  ASSERT_EQ(xform_step_count(chain), 2);
  double x = 1.0, y = 0.0, z = NULL_DOUBLE;
  xform_chain_forward(chain, &x, &y, &z);
  EXPECT_NEAR(x, 0.0, 1e-12);
  EXPECT_NEAR(y, -2.0, 1e-12);
  EXPECT_EQ(z, 0.0);
  xform_chain_inverse(chain, &x, &y, &z);
  EXPECT_NEAR(x, 1.0, 1e-12);
  EXPECT_NEAR(y, 0.0, 1e-12);
  // A chain is a step: nested, it runs as one.
  xform_chain_t* outer = nullptr;
  xform_chain_create(0, &outer);
  xform_chain_append(outer, chain, XK_CHAIN);
  xform_chain_append(outer, twice, XK_SCALE);
  x = 1.0;
  y = 0.0;
  xform_forward(outer, XK_CHAIN, &x, &y, &z);
  EXPECT_NEAR(y, -4.0, 1e-12);
  xform_inverse(outer, XK_CHAIN, &x, &y, &z);
  EXPECT_NEAR(x, 1.0, 1e-12);
  // A null step in the middle: the inverse passes over it.
  xform_chain_t* holed = nullptr;
  xform_chain_create(3, &holed);
  holed->kinds[0] = XK_SCALE;
  holed->steps[0] = twice;
  holed->kinds[1] = XK_SCALE;
  holed->steps[1] = nullptr;
  holed->kinds[2] = XK_LINEAR2D;
  holed->steps[2] = rot;
  x = 0.0;
  y = -2.0;
  xform_chain_inverse(holed, &x, &y, &z);
  EXPECT_NEAR(x, 1.0, 1e-12);
  EXPECT_NEAR(y, 0.0, 1e-12);
  xform_chain_forward(nullptr, &x, &y, &z);
  EXPECT_EQ(xform_step_count(nullptr), 0);
  // A copy has arrays of its own.
  xform_chain_t* copy = nullptr;
  obj_new_registered(CLS_XFORM_CHAIN, &copy);
  obj_copy(chain, copy);
  free_obj(&chain);
  x = 1.0;
  y = 0.0;
  xform_chain_forward(copy, &x, &y, &z);
  EXPECT_NEAR(y, -2.0, 1e-12);
  for (obj_t* o : std::initializer_list<obj_t*>{outer, holed, copy, twice, rot}) free_obj(&o);
}

// An inverse projection followed by the projection returns the point.
TEST_F(XformTest, ProjectionThenItsInverse) {
  tm_test::load_real_geodesy_tables();
  cartproj_t* lambert93 = nullptr;
  geo_find_by_code(CLS_CARTPROJ, 2154, &lambert93);
  ASSERT_NE(lambert93, nullptr);
  xform_chain_t* chain = nullptr;
  xform_chain_create(0, &chain);
  xform_chain_append(chain, lambert93, 23);
  xform_chain_append(chain, lambert93, 13);
  double x = 652469.02, y = 6862035.26, z = NULL_DOUBLE;
  xform_chain_forward(chain, &x, &y, &z);
  EXPECT_NEAR(x, 652469.02, 1e-5);
  EXPECT_NEAR(y, 6862035.26, 1e-5);
  EXPECT_EQ(z, 0.0);
  free_obj(&chain);
  tm_test::fresh_geodesy_store();
}

// A run of points through a chain gives, bit for bit, what each point gives through it:
// projection steps (which carry the run at once), a nested chain, small steps, null
// steps, and "no height".
TEST_F(XformTest, ChainRunsGoAsPointByPoint) {
  tm_test::load_real_geodesy_tables();
  cartproj_t* lambert93 = nullptr;
  cartproj_t* utm31 = nullptr;
  geo_find_by_code(CLS_CARTPROJ, 2154, &lambert93);
  geo_find_by_code(CLS_CARTPROJ, 32631, &utm31);
  ASSERT_NE(lambert93, nullptr);
  ASSERT_NE(utm31, nullptr);
  xform_scale_t* half = nullptr;
  xform_make_scale(0.5, 0.5, 1.0, &half);
  xform_scale_t* twice = nullptr;
  xform_make_scale(2.0, 2.0, 1.0, &twice);
  xform_chain_t* inner = nullptr;
  xform_chain_create(0, &inner);
  xform_chain_append(inner, twice, XK_SCALE);
  xform_chain_append(inner, lambert93, 23);
  xform_chain_t* chain = nullptr;
  xform_chain_create(0, &chain);
  xform_chain_append(chain, half, XK_SCALE);
  xform_chain_append(chain, inner, XK_CHAIN);
  xform_chain_append(chain, utm31, 16);
  const double in[][3] = {{652469.02, 6862035.26, NULL_DOUBLE}, {700000.0, 6600000.0, 12.5},
                          {1200000.0, 7100000.0, 0.0},         {-3.0e5, 6.1e6, -40.0},
                          {1e300, 5e6, NULL_DOUBLE},           {std::nan(""), 6.6e6, 1.0}};
  constexpr int n = sizeof in / sizeof in[0];
  std::vector<double> run;
  for (const auto& p : in) run.insert(run.end(), {2 * p[0], 2 * p[1], p[2]});
  xform_chain_forward_points(chain, run.data(), n);
  for (int i = 0; i < n; ++i) {
    double x = 2 * in[i][0], y = 2 * in[i][1], z = in[i][2];
    xform_chain_forward(chain, &x, &y, &z);
    const double one[3] = {x, y, z};
    for (int c = 0; c < 3; ++c) {
      const double got = run[size_t(i) * 3 + c];
      EXPECT_TRUE((std::isnan(got) && std::isnan(one[c])) || std::memcmp(&got, &one[c], 8) == 0)
          << "point " << i << " value " << c << ": " << got << " vs " << one[c];
    }
  }
  EXPECT_EQ(run[2], 0.0);  // no height became 0
  // Without a chain only "no height" changes.
  double lone[3] = {1.0, 2.0, NULL_DOUBLE};
  xform_chain_forward_points(nullptr, lone, 1);
  EXPECT_EQ(lone[0], 1.0);
  EXPECT_EQ(lone[2], 0.0);
  free_obj(&chain);
  free_obj(&inner);
  free_obj(&half);
  free_obj(&twice);
  tm_test::fresh_geodesy_store();
}

// Inverted steps: the offset-scale, the scale (the unit step of a view) and the affine.
TEST_F(XformTest, InvertedSteps) {
  xform_control_point_t* origins = control_point(10.0, 20.0, 1000.0, 2000.0);
  xform_offset_scale_t* os = offset_scale(2.0, -4.0, origins);
  xform_scale_t* sc = nullptr;
  xform_make_scale(0.9, 0.9, 1.0, &sc);  // degrees to grads, say
  xform_affine3d_t* af = nullptr;
  ASSERT_EQ(xform_make_affine_rotation(0.3, 5.0, -2.0, &af), 0);
  const struct {
    obj_t* step;
    int kind;
  } cases[] = {{os, XK_OFFSET_SCALE}, {sc, XK_SCALE}, {af, XK_AFFINE3D}};
  for (const auto& c : cases) {
    obj_t* inv = nullptr;
    ASSERT_NE(xform_invert_step(c.kind, c.step, &inv), nullptr) << "kind " << c.kind;
    double x = 7.0, y = 11.0, z = 0.0, ix = x, iy = y, iz = z;
    xform_forward(inv, c.kind, &ix, &iy, &iz);
    xform_inverse(c.step, c.kind, &x, &y, &z);
    EXPECT_NEAR(ix, x, 1e-12) << "kind " << c.kind;
    EXPECT_NEAR(iy, y, 1e-12) << "kind " << c.kind;
    xform_free_step(c.kind, &inv);
    EXPECT_EQ(inv, nullptr);
  }
  // No inverted form: other kinds, a step without origins, a zero scale.
  xform_offset_scale_t* bare = offset_scale(2.0, 2.0, nullptr);
  xform_scale_t* flat = nullptr;
  xform_make_scale(0.0, 1.0, 1.0, &flat);
  xform_linear2d_t* rot = nullptr;
  xform_make_rotation(1.0, &rot);
  obj_t* inv = rot;  // overwritten with null
  EXPECT_EQ(xform_invert_step(XK_LINEAR2D, rot, &inv), nullptr);
  EXPECT_EQ(inv, nullptr);
  EXPECT_EQ(xform_invert_step(XK_OFFSET_SCALE, bare, &inv), nullptr);
  EXPECT_EQ(xform_invert_step(XK_SCALE, flat, &inv), nullptr);
  EXPECT_EQ(xform_invert_step(XK_SCALE, nullptr, &inv), nullptr);
  for (obj_t* o : std::initializer_list<obj_t*>{os, origins, sc, af, bare, flat, rot})
    free_obj(&o);
}

// A chain that owns a step (the inverted unit step of a view) is copied with a step of
// its own: the copy still carries points the same way once the original is freed.
TEST_F(XformTest, CopyOfAChainKeepsItsOwnedStep) {
  xform_control_point_t* origins = control_point(10.0, 20.0, 1000.0, 2000.0);
  xform_offset_scale_t* os = offset_scale(2.0, -4.0, origins);
  xform_scale_t* sc = nullptr;
  xform_make_scale(0.9, 0.9, 1.0, &sc);
  xform_affine3d_t* af = nullptr;
  ASSERT_EQ(xform_make_affine_rotation(0.3, 5.0, -2.0, &af), 0);
  xform_linear2d_t* rot = nullptr;
  xform_make_rotation(0.7, &rot);
  const struct {
    obj_t* step;
    int kind;
  } cases[] = {{os, XK_OFFSET_SCALE}, {sc, XK_SCALE}, {af, XK_AFFINE3D}};
  for (const auto& c : cases) {
    // The step, a rotation, and the step inverted (owned by the chain).
    xform_chain_t* chain = nullptr;
    xform_chain_create(0, &chain);
    obj_t* inv = nullptr;
    ASSERT_NE(xform_invert_step(c.kind, c.step, &inv), nullptr);
    xform_chain_append(chain, c.step, c.kind);
    xform_chain_append(chain, rot, XK_LINEAR2D);
    xform_chain_append(chain, inv, c.kind);
    xform_chain_own(chain, inv, c.kind);
    double wx = 7.0, wy = 11.0, wz = 0.0;
    xform_chain_forward(chain, &wx, &wy, &wz);
    xform_chain_t* copy = nullptr;
    obj_new_registered(CLS_XFORM_CHAIN, &copy);
    obj_copy(chain, copy);
    EXPECT_NE(xform_chain_step_at(copy, 2), nullptr) << "kind " << c.kind;
    EXPECT_NE(xform_chain_step_at(copy, 2), inv) << "kind " << c.kind;
    free_obj(&chain);
    double x = 7.0, y = 11.0, z = 0.0;
    xform_chain_forward(copy, &x, &y, &z);
    EXPECT_NEAR(x, wx, 1e-9) << "kind " << c.kind;
    EXPECT_NEAR(y, wy, 1e-9) << "kind " << c.kind;
    free_obj(&copy);
  }
  for (obj_t* o : std::initializer_list<obj_t*>{os, origins, sc, af, rot}) free_obj(&o);
}

TEST_F(XformTest, RotationsAboutAPoint) {
  xform_affine3d_t* af = nullptr;
  ASSERT_EQ(xform_make_affine_rotation(kPi / 2.0, 1.0, 1.0, &af), 0);
  const struct {
    xyz in, out;
  } cases[] = {{{1.0, 1.0, 0.0}, {1.0, 1.0, 0.0}},  // the centre stays
               {{2.0, 1.0, 4.0}, {1.0, 0.0, 4.0}},
               {{1.0, 3.0, 0.0}, {3.0, 1.0, 0.0}}};
  for (const auto& c : cases) {
    xyz p = c.in;
    xform_forward(af, XK_AFFINE3D, &p.x, &p.y, &p.z);
    EXPECT_NEAR(p.x, c.out.x, 1e-12);
    EXPECT_NEAR(p.y, c.out.y, 1e-12);
    EXPECT_NEAR(p.z, c.out.z, 1e-12);
    xform_inverse(af, XK_AFFINE3D, &p.x, &p.y, &p.z);
    EXPECT_NEAR(p.x, c.in.x, 1e-12);
    EXPECT_NEAR(p.y, c.in.y, 1e-12);
  }
  free_obj(&af);
}

// Mode 1 gives the box through the mid-points of the carried sides, mode 0 the box
// around the carried corners; other modes change nothing.
TEST_F(XformTest, ExtentThroughARotation) {
  xform_linear2d_t* rot = nullptr;
  xform_make_rotation(kPi / 4.0, &rot);
  const double h = std::sqrt(2.0);
  const struct {
    int mode;
    extent_t want;
  } cases[] = {
      {0, {-h, h, -h, h, 7.0}},
      {1, {-h / 2, h / 2, -h / 2, h / 2, 7.0}},
      {2, {-1, 1, -1, 1, 7.0}},
  };
  for (const auto& c : cases) {
    extent_t e{-1.0, 1.0, -1.0, 1.0, 7.0};
    xform_extent(rot, XK_LINEAR2D, c.mode, &e);
    EXPECT_NEAR(e.xmin, c.want.xmin, 1e-12) << "mode " << c.mode;
    EXPECT_NEAR(e.xmax, c.want.xmax, 1e-12) << "mode " << c.mode;
    EXPECT_NEAR(e.ymin, c.want.ymin, 1e-12) << "mode " << c.mode;
    EXPECT_NEAR(e.ymax, c.want.ymax, 1e-12) << "mode " << c.mode;
    EXPECT_EQ(e.step, 7.0);
  }
  free_obj(&rot);
}

}  // namespace
