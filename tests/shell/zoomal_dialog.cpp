// The manual localisation dialog run from the menu: it opens on what the map window
// shows, derives corners, centre, size and percentages from one another as the user
// types, allows OK only while the extent overlaps the graph space's, and OK shows the
// typed extent; an empty graph space gets a box instead; pictures in both languages.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/strutil.h"
#include "platform/ui/ctl_combo.h"
#include "tests/shell/zoom_dialog_fixture.h"

namespace frame_test {
namespace {

std::string sig(double v) {
  char buf[40];
  return format_double_sig(v, buf, sizeof buf);
}
// A field's number, for the values derived through arithmetic of their own.
double num(const std::string& text) {
  double v = 0;
  parse_number(text.c_str(), &v);
  return v;
}

// UTM in metres, data 400 km square, the window at 100 m a pixel in its middle.
class ZoomalDialog : public ZoomDialogFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    ZoomDialogFixture::SetUpIn(lang);
    use_system(2, 0);
    show(kData, 500000, 4900000, 0.01);
    opening_ = visible();
  }
  void run(std::vector<dialog_step> steps) { run_from_menu(IDM_MANUAL_LOCALISATION, std::move(steps)); }
  // The window shows the extent as large as it can: same centre, the extent inside,
  // one side filling the window.
  void expect_shows(const extent_t& want) {
    const extent_t seen = visible();
    const double tol = 1e-6 * extent_max_side(want);
    EXPECT_NEAR(extent_center_x(seen), extent_center_x(want), tol);
    EXPECT_NEAR(extent_center_y(seen), extent_center_y(want), tol);
    EXPECT_LE(seen.xmin, want.xmin + tol);
    EXPECT_GE(seen.xmax, want.xmax - tol);
    EXPECT_LE(seen.ymin, want.ymin + tol);
    EXPECT_GE(seen.ymax, want.ymax - tol);
    const bool fills = std::fabs(extent_width(seen) - extent_width(want)) < tol ||
                       std::fabs(extent_height(seen) - extent_height(want)) < tol;
    EXPECT_TRUE(fills);
  }

  static constexpr extent_t kData{300000, 700000, 4700000, 5100000, 0};
  extent_t opening_{};
};

TEST_F(ZoomalDialog, OpensOnWhatTheWindowShows) {
  std::string ttl, xmin, ymax, xmax, ymin, cx, cy, w, h, wpct, hpct, refs[4], system, unit;
  bool ok = false, system_on = true, unit_on = true;
  int units = 0;
  run({[&](plat::Wnd dlg) {
    ttl = title(dlg);
    xmin = text(dlg, IDC_ZOOMAL_XMIN);
    ymax = text(dlg, IDC_ZOOMAL_YMAX);
    xmax = text(dlg, IDC_ZOOMAL_XMAX);
    ymin = text(dlg, IDC_ZOOMAL_YMIN);
    cx = text(dlg, IDC_ZOOMAL_CX);
    cy = text(dlg, IDC_ZOOMAL_CY);
    w = text(dlg, IDC_ZOOMAL_WIDTH);
    h = text(dlg, IDC_ZOOMAL_HEIGHT);
    wpct = text(dlg, IDC_ZOOMAL_WIDTH_PCT);
    hpct = text(dlg, IDC_ZOOMAL_HEIGHT_PCT);
    refs[0] = text(dlg, IDC_ZOOMAL_REF_XMIN);
    refs[1] = text(dlg, IDC_ZOOMAL_REF_YMAX);
    refs[2] = text(dlg, IDC_ZOOMAL_REF_XMAX);
    refs[3] = text(dlg, IDC_ZOOMAL_REF_YMIN);
    system = text(dlg, IDC_ZOOMAL_SYSTEM);
    unit = selected(dlg, IDC_ZOOMAL_UNIT);
    units = int(plat::send_dlg_item_message(dlg, IDC_ZOOMAL_UNIT, plat::CB_GETCOUNT, 0, 0));
    ok = enabled(dlg, IDC_ZOOMAL_OK);
    system_on = enabled(dlg, IDC_ZOOMAL_SYSTEM);
    unit_on = enabled(dlg, IDC_ZOOMAL_UNIT);
    check_layout_and_picture(dlg, "zoomal_en");
    tm_test::click_control(dlg, IDC_ZOOMAL_CANCEL);
  }});
  const extent_t& o = opening_;
  EXPECT_EQ(ttl, "Manual localization");
  EXPECT_EQ(xmin, sig(o.xmin));
  EXPECT_EQ(ymax, sig(o.ymax));
  EXPECT_EQ(xmax, sig(o.xmax));
  EXPECT_EQ(ymin, sig(o.ymin));
  EXPECT_NEAR(num(cx), extent_center_x(o), 1e-6);
  EXPECT_NEAR(num(cy), extent_center_y(o), 1e-6);
  EXPECT_NEAR(num(w), extent_width(o), 1e-6);
  EXPECT_NEAR(num(h), extent_height(o), 1e-6);
  EXPECT_NEAR(num(wpct), 100 * extent_width(o) / 400000, 1e-9);
  EXPECT_NEAR(num(hpct), 100 * extent_height(o) / 400000, 1e-9);
  EXPECT_EQ(refs[0], "300000.000000000");
  EXPECT_EQ(refs[1], "5100000.000000000");
  EXPECT_EQ(refs[2], "700000.000000000");
  EXPECT_EQ(refs[3], "4700000.000000000");
  EXPECT_EQ(system, georef_system_name(gs_->georef));
  EXPECT_FALSE(system.empty());
  EXPECT_EQ(unit, "Meter");
  EXPECT_EQ(units, 23);
  EXPECT_TRUE(ok);
  EXPECT_FALSE(system_on);
  EXPECT_FALSE(unit_on);
  const extent_t after = visible();  // cancelled: the window has not moved
  EXPECT_DOUBLE_EQ(after.xmin, o.xmin);
  EXPECT_DOUBLE_EQ(after.ymax, o.ymax);
  EXPECT_EQ(redraw_requests(), 0);
}

// The unit list is the unit dialog's: angular units for a geographic system, linear
// ones otherwise, the system's own selected; the system's name on the button.
TEST_F(ZoomalDialog, UnitListFollowsTheSystem) {
  const struct {
    int refertype, unit, count;
    const char* name;
  } cases[] = {{1, 1, 11, "Degree"}, {1, 2, 11, "Degree Minute Second"}, {2, 3, 23, "Kilometer"},
               {0, 0, 23, "Meter"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    use_system(c.refertype, c.unit);
    show(extent_t{0, 10, 40, 50, 0}, 5, 45, 50);
    int count = 0;
    std::string unit, system;
    run({[&](plat::Wnd dlg) {
      count = int(plat::send_dlg_item_message(dlg, IDC_ZOOMAL_UNIT, plat::CB_GETCOUNT, 0, 0));
      unit = selected(dlg, IDC_ZOOMAL_UNIT);
      system = text(dlg, IDC_ZOOMAL_SYSTEM);
      tm_test::click_control(dlg, IDC_ZOOMAL_CANCEL);
    }});
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(unit, c.name);
    EXPECT_EQ(system, georef_system_name(gs_->georef));
  }
}

// The four corners typed ('.' or ',' as the separator), then OK: the window shows them
// and its redraw is asked for.
TEST_F(ZoomalDialog, TypedCornersAreShown) {
  redraw_requests() = 0;
  std::string cx, w, hpct;
  run({[&](plat::Wnd dlg) {
         tm_test::type_into(dlg, IDC_ZOOMAL_XMIN, "350000");
         tm_test::type_into(dlg, IDC_ZOOMAL_YMAX, "5000000,5");
         tm_test::type_into(dlg, IDC_ZOOMAL_XMAX, "450000.25");
         tm_test::type_into(dlg, IDC_ZOOMAL_YMIN, "4950000");
       },
       [&](plat::Wnd dlg) {
    cx = text(dlg, IDC_ZOOMAL_CX);
    w = text(dlg, IDC_ZOOMAL_WIDTH);
    hpct = text(dlg, IDC_ZOOMAL_HEIGHT_PCT);
    tm_test::click_control(dlg, IDC_ZOOMAL_OK);
  }});
  EXPECT_EQ(cx, "400000.125");
  EXPECT_EQ(w, "100000.25");
  EXPECT_EQ(hpct, "12.500125");
  expect_shows(extent_t{350000, 450000.25, 4950000, 5000000.5, 0});
  EXPECT_EQ(redraw_requests(), 1);
}

// Centre, size and percentages typed: the extent is derived from centre and size, the
// corners rewritten; the field being typed keeps its text.
TEST_F(ZoomalDialog, CentreSizeAndPercentagesDeriveTheExtent) {
  const extent_t& o = opening_;
  const double ocx = extent_center_x(o), ocy = extent_center_y(o);
  const double ow = extent_width(o), oh = extent_height(o);
  const struct {
    int id;
    const char* typed;
    extent_t want;
  } cases[] = {
      {IDC_ZOOMAL_WIDTH, "20000", {ocx - 10000, ocx + 10000, o.ymin, o.ymax, 0}},
      {IDC_ZOOMAL_HEIGHT, "3000", {o.xmin, o.xmax, ocy - 1500, ocy + 1500, 0}},
      {IDC_ZOOMAL_WIDTH_PCT, "10", {ocx - 20000, ocx + 20000, o.ymin, o.ymax, 0}},
      {IDC_ZOOMAL_HEIGHT_PCT, "2,5", {o.xmin, o.xmax, ocy - 5000, ocy + 5000, 0}},
      {IDC_ZOOMAL_CX, "600000", {600000 - ow / 2, 600000 + ow / 2, o.ymin, o.ymax, 0}},
      {IDC_ZOOMAL_CY, "4800000", {o.xmin, o.xmax, 4800000 - oh / 2, 4800000 + oh / 2, 0}},
      {IDC_ZOOMAL_XMAX, "560000", {o.xmin, 560000, o.ymin, o.ymax, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    show(kData, 500000, 4900000, 0.01);
    std::string typed_field, xmin, xmax, ymin, ymax;
    run({[&](plat::Wnd dlg) { tm_test::type_into(dlg, c.id, c.typed); },
         [&](plat::Wnd dlg) {
      typed_field = text(dlg, c.id);
      xmin = text(dlg, IDC_ZOOMAL_XMIN);
      xmax = text(dlg, IDC_ZOOMAL_XMAX);
      ymin = text(dlg, IDC_ZOOMAL_YMIN);
      ymax = text(dlg, IDC_ZOOMAL_YMAX);
      tm_test::click_control(dlg, IDC_ZOOMAL_OK);
    }});
    EXPECT_EQ(typed_field, c.typed);
    EXPECT_NEAR(num(xmin), c.want.xmin, 1e-6);
    EXPECT_NEAR(num(xmax), c.want.xmax, 1e-6);
    EXPECT_NEAR(num(ymin), c.want.ymin, 1e-6);
    EXPECT_NEAR(num(ymax), c.want.ymax, 1e-6);
    expect_shows(c.want);
  }
}

// OK greys while the extent is disjoint from the graph space's (touching included) or
// a field holds no number, and comes back once it overlaps again; a disabled OK applies
// nothing.
TEST_F(ZoomalDialog, OkOnlyWhileTheExtentOverlaps) {
  const struct {
    int id;
    const char* typed;
    bool ok;
  } steps[] = {
      {IDC_ZOOMAL_CX, "900000", false},   // moved wholly to the east
      {IDC_ZOOMAL_CX, "500000", true},    // and back
      {IDC_ZOOMAL_CY, "4000000", false},  // to the south
      {IDC_ZOOMAL_CY, "4900000", true},
      {IDC_ZOOMAL_XMAX, "800000", true},
      {IDC_ZOOMAL_XMIN, "700000", false},  // touches the east side
      {IDC_ZOOMAL_XMIN, "699999", true},
      {IDC_ZOOMAL_CY, "4900000a", false},  // not a number
      {IDC_ZOOMAL_CY, "4900000", true},
      {IDC_ZOOMAL_XMIN, "900000", false},  // past xmax: no rectangle
  };
  std::vector<bool> seen;
  std::string xmin_after_east;
  std::vector<dialog_step> user;
  // Each step types, and the next one sees what the typing left.
  for (size_t i = 0; i < std::size(steps); ++i) {
    user.push_back([&, i](plat::Wnd dlg) {
      if (i > 0) seen.push_back(enabled(dlg, IDC_ZOOMAL_OK));
      if (i == 1) xmin_after_east = text(dlg, IDC_ZOOMAL_XMIN);
      tm_test::type_into(dlg, steps[i].id, steps[i].typed);
    });
  }
  user.push_back([&](plat::Wnd dlg) {
    seen.push_back(enabled(dlg, IDC_ZOOMAL_OK));
    tm_test::click_control(dlg, IDC_ZOOMAL_OK);
  });
  run(std::move(user));
  ASSERT_EQ(seen.size(), std::size(steps));
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], steps[i].ok) << steps[i].typed;
  // While disjoint only OK changed: the corners still show the last overlapping extent.
  EXPECT_EQ(xmin_after_east, sig(opening_.xmin));
  const extent_t after = visible();
  EXPECT_DOUBLE_EQ(after.xmin, opening_.xmin);
  EXPECT_DOUBLE_EQ(after.ymin, opening_.ymin);
}

// A graph space without width or height: a box, and no dialog.
TEST_F(ZoomalDialog, EmptyGraphSpaceGetsABox) {
  const extent_t empties[] = {{0, 0, 0, 0, 0}, {300000, 700000, 4900000, 4900000, 0},
                              {500000, 500000, 4700000, 5100000, 0}};
  for (const extent_t& e : empties) {
    graphspace_set_extent(gs_, e);
    tm_test::clear_message_boxes();
    bool opened = false;
    run({[&](plat::Wnd dlg) {
      opened = true;
      tm_test::click_control(dlg, IDC_ZOOMAL_CANCEL);
    }});
    EXPECT_FALSE(opened);
    ASSERT_EQ(tm_test::message_boxes().size(), 1u);
    EXPECT_EQ(tm_test::message_boxes()[0].text, "Graph space is empty.");
    EXPECT_EQ(tm_test::message_boxes()[0].caption, "No localization");
  }
}

class ZoomalDialogFr : public ZoomalDialog {
 protected:
  void SetUp() override { ZoomalDialog::SetUpIn("FRANCAIS"); }
};

TEST_F(ZoomalDialogFr, PictureFrench) {
  std::string ttl, ulc, unit, cancel;
  run({[&](plat::Wnd dlg) {
    ttl = title(dlg);
    ulc = text(dlg, IDC_ZOOMAL_ULC);
    unit = selected(dlg, IDC_ZOOMAL_UNIT);
    cancel = text(dlg, IDC_ZOOMAL_CANCEL);
    check_layout_and_picture(dlg, "zoomal_fr");
    tm_test::click_control(dlg, IDC_ZOOMAL_CANCEL);
  }});
  EXPECT_EQ(ttl, "Localisation manuelle");
  EXPECT_EQ(ulc, "CSG");
  EXPECT_EQ(unit, "M\xC3\xA8tre");
  EXPECT_EQ(cancel, "Annuler");
}

TEST_F(ZoomalDialogFr, EmptyGraphSpaceBoxInFrench) {
  graphspace_set_extent(gs_, extent_t{0, 0, 0, 0, 0});
  tm_test::clear_message_boxes();
  command(IDM_MANUAL_LOCALISATION);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].text, "L'espace graphique est vide.");
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "Pas de localisation");
}

}  // namespace
}  // namespace frame_test
