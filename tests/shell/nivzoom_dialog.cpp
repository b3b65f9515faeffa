// The zoom level dialog: the exponents, graduations, formats and slider positions of
// each kind of unit; the dialog run from the menu as a user runs it (sliders moved by
// keys, mouse and trackbar messages, values typed, the unit changed, an image shown at
// zoom 1/1) and what OK does to the map window's scale; pictures in both languages.
#include <cmath>
#include <string>

#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_trackbar.h"
#include "platform/ui/keys.h"
#include "platform/ui/messages.h"
#include "tests/shell/zoom_dialog_fixture.h"

namespace frame_test {
namespace {

// ---- The numbers ----------------------------------------------------------------------

TEST(ZoomScale, ExponentDecadesAndFormatOfEachUnit) {
  const struct {
    int refertype, unit, e, decades, ticks;
    const char* format;
  } cases[] = {
      {1, 0, 2, 8, 10, "%9.10lf"},  {1, 1, 0, 8, 10, "%9.8lf"},   {1, 2, 0, 8, 10, "%9.8lf"},
      {1, 3, 0, 8, 10, "%9.8lf"},   {1, 7, 0, 8, 10, "%9.8lf"},   {1, 4, -4, 8, 10, "%9.4lf"},
      {1, 6, -4, 8, 10, "%9.4lf"},  {1, 9, -4, 8, 10, "%9.4lf"},  {1, 5, -2, 8, 10, "%9.6lf"},
      {1, 8, -2, 8, 10, "%9.6lf"},  {1, 10, -2, 8, 10, "%9.6lf"}, {1, 11, -3, 8, 10, "%9.5lf"},
      {2, 0, -6, 8, 10, "%9.2lf"},  {2, 4, -6, 8, 10, "%9.2lf"},  {2, 5, -6, 8, 10, "%9.2lf"},
      {2, 10, -6, 8, 10, "%9.2lf"}, {2, 16, -6, 8, 10, "%9.2lf"}, {2, 1, -7, 8, 10, "%9.1lf"},
      {2, 6, -7, 8, 10, "%9.1lf"},  {2, 9, -7, 8, 10, "%9.1lf"},  {2, 13, -5, 8, 10, "%9.3lf"},
      {2, 3, -3, 8, 10, "%9.5lf"},  {2, 2, -3, 8, 10, "%9.5lf"},  {0, 0, -3, 4, 20, "%9.5lf"},
      {3, 0, -3, 4, 20, "%9.5lf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.refertype << "/" << c.unit);
    const zoom_scale s = zoom_scale_of(c.refertype, c.unit);
    EXPECT_EQ(s.e, c.e);
    EXPECT_EQ(s.decades, c.decades);
    EXPECT_EQ(s.ticks, c.ticks);
    EXPECT_EQ(zoom_value_format(s), c.format);
  }
}

TEST(ZoomScale, GraduationsPositionsAndClamps) {
  const zoom_scale metres = zoom_scale_of(2, 0), pixels = zoom_scale_of(0, 0), radians = zoom_scale_of(1, 0);
  const char* want_metres[] = {"1000000", "10000", "100", "1", "0.01"};
  const char* want_pixels[] = {"1000", "100", "10", "1", "0.1"};
  const char* want_radians[] = {"0.01", "0.0001", "0.000001", "0.00000001", "0.0000000001"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(zoom_graduation(metres, i), want_metres[i]);
    EXPECT_EQ(zoom_graduation(pixels, i), want_pixels[i]);
    EXPECT_EQ(zoom_graduation(radians, i), want_radians[i]);
  }
  const struct {
    zoom_scale s;
    double value;
    int position;
  } cases[] = {
      {metres, 1e6, 0},  {metres, 5e6, 0},   {metres, 0.01, 80}, {metres, 1e-5, 80}, {metres, 10, 50},
      {metres, 12, 49},  {metres, 8, 51},    {metres, -3, 80},   {pixels, 1000, 0},  {pixels, 0.1, 80},
      {pixels, 2, 54},   {pixels, 1, 60},    {radians, 1e-3, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(zoom_slider_position(c.s, c.value), c.position);
  }
  EXPECT_DOUBLE_EQ(zoom_slider_value(metres, 0), 1e6);
  EXPECT_DOUBLE_EQ(zoom_slider_value(metres, 20), 1e4);
  EXPECT_DOUBLE_EQ(zoom_slider_value(metres, 80), 0.01);
  EXPECT_DOUBLE_EQ(zoom_slider_value(pixels, 30), std::pow(10.0, 1.5));
  EXPECT_DOUBLE_EQ(zoom_clamp(metres, 5e6), 1e6);
  EXPECT_DOUBLE_EQ(zoom_clamp(metres, 0.001), 0.01);
  EXPECT_DOUBLE_EQ(zoom_clamp(metres, 42), 42);
}

// Shown values carried between units: a geographic unit held in seconds or minutes of
// arc is shown in degrees, and a round trip gives back the value.
TEST(ZoomScale, ValuesCarriedBetweenUnits) {
  const struct {
    int refertype, from, to;
    double value, want;
  } cases[] = {
      {1, 1, 2, 0.001, 0.001},   {1, 1, 7, 0.001, 0.001}, {1, 2, 7, 0.001, 0.001},
      {1, 1, 5, 0.001, 0.06},    {1, 1, 4, 0.001, 3.6},   {1, 2, 4, 0.001, 3.6},
      {2, 0, 3, 10, 0.01},       {2, 3, 0, 0.01, 10},     {2, 0, 1, 0.3048, 1},
      {0, 0, 0, 7, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.refertype << ": " << c.from << " -> " << c.to);
    double x = c.value, y = 2 * c.value;
    zoom_convert_values(c.refertype, c.from, c.to, &x, &y);
    EXPECT_NEAR(x, c.want, 1e-12 * c.want);
    EXPECT_NEAR(y, 2 * c.want, 2e-12 * c.want);
    zoom_convert_values(c.refertype, c.to, c.from, &x, &y);
    EXPECT_NEAR(x, c.value, 1e-12 * c.value);
  }
}

// ---- The dialog -----------------------------------------------------------------------

// UTM in metres, data 400 km square, the window at 10 m a pixel.
class NivzoomDialog : public ZoomDialogFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    ZoomDialogFixture::SetUpIn(lang);
    use_system(2, 0);
    show(kData, 500000, 4900000, 0.1);
  }
  void run(std::vector<dialog_step> steps) { run_from_menu(IDM_ZOOM_LEVEL, std::move(steps)); }
  static int slider(plat::Wnd dlg, int id) {
    return int(plat::send_dlg_item_message(dlg, id, plat::TBM_GETPOS, 0, 0));
  }

  static constexpr extent_t kData{300000, 700000, 4700000, 5100000, 0};
};

TEST_F(NivzoomDialog, OpensOnTheWindowsScaleInMetres) {
  redraw_requests() = 0;
  std::string x, y, unit_x, unit_y, grads[5], ttl;
  int pos_x = -1, pos_y = -1, max = -1, units = 0;
  bool same = false, ok = true, images = true, one_to_one = true;
  run({[&](plat::Wnd dlg) {
    ttl = title(dlg);
    x = text(dlg, IDC_NIVZOOM_X);
    y = text(dlg, IDC_NIVZOOM_Y);
    unit_x = selected(dlg, IDC_NIVZOOM_X_UNIT);
    unit_y = selected(dlg, IDC_NIVZOOM_Y_UNIT);
    units = int(plat::send_dlg_item_message(dlg, IDC_NIVZOOM_X_UNIT, plat::CB_GETCOUNT, 0, 0));
    for (int i = 0; i < 5; ++i) grads[i] = text(dlg, IDC_NIVZOOM_GRAD1 + i);
    pos_x = slider(dlg, IDC_NIVZOOM_X_SLIDER);
    pos_y = slider(dlg, IDC_NIVZOOM_Y_SLIDER);
    max = int(plat::send_dlg_item_message(dlg, IDC_NIVZOOM_X_SLIDER, plat::TBM_GETRANGEMAX, 0, 0));
    same = plat::is_dlg_button_checked(dlg, IDC_NIVZOOM_SAME) == plat::BST_CHECKED;
    ok = enabled(dlg, IDC_NIVZOOM_OK);
    images = enabled(dlg, IDC_NIVZOOM_IMAGES);
    one_to_one = enabled(dlg, IDC_NIVZOOM_ONE_TO_ONE);
    check_layout_and_picture(dlg, "nivzoom_en");
    tm_test::click_control(dlg, IDC_NIVZOOM_CANCEL);
  }});
  EXPECT_EQ(ttl, "Zoom level");
  EXPECT_EQ(x, "    10.00");
  EXPECT_EQ(y, "    10.00");
  EXPECT_EQ(unit_x, "M\xC3\xA8tre");  // the unit names are French in both languages
  EXPECT_EQ(unit_y, "M\xC3\xA8tre");
  EXPECT_EQ(units, 11);
  const char* want[] = {"1000000", "10000", "100", "1", "0.01"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(grads[i], want[i]) << i;
  EXPECT_EQ(pos_x, 50);
  EXPECT_EQ(pos_y, 50);
  EXPECT_EQ(max, 80);
  EXPECT_TRUE(same);
  EXPECT_FALSE(ok);
  EXPECT_FALSE(images);
  EXPECT_FALSE(one_to_one);
  EXPECT_DOUBLE_EQ(scale_x(), 0.1);  // cancelled
  EXPECT_EQ(redraw_requests(), 0);
}

// A system without georeference: pixels, four decades of twenty ticks.
TEST_F(NivzoomDialog, PixelsOfASystemWithoutGeoreference) {
  use_system(0, 0);
  show(extent_t{0, 10000, 0, 10000, 0}, 5000, 5000, 0.5);
  std::string x, unit, grads[5];
  int pos = -1, units = 0;
  double after = 0;
  run({[&](plat::Wnd dlg) {
         x = text(dlg, IDC_NIVZOOM_X);
         unit = selected(dlg, IDC_NIVZOOM_X_UNIT);
         units = int(plat::send_dlg_item_message(dlg, IDC_NIVZOOM_Y_UNIT, plat::CB_GETCOUNT, 0, 0));
         for (int i = 0; i < 5; ++i) grads[i] = text(dlg, IDC_NIVZOOM_GRAD1 + i);
         pos = slider(dlg, IDC_NIVZOOM_X_SLIDER);
         plat::set_focus(tm_test::dlg_control(dlg, IDC_NIVZOOM_X_SLIDER));
         tm_test::press_key(plat::VK_RIGHT);  // one twentieth of a decade
       },
       [&](plat::Wnd dlg) {
         after = std::stod(text(dlg, IDC_NIVZOOM_Y));
         tm_test::click_control(dlg, IDC_NIVZOOM_OK);
       }});
  EXPECT_EQ(x, "  2.00000");
  EXPECT_EQ(unit, "pixels");
  EXPECT_EQ(units, 1);
  const char* want[] = {"1000", "100", "10", "1", "0.1"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(grads[i], want[i]) << i;
  EXPECT_EQ(pos, 54);  // -round((log10 2 - 3) x 20)
  const double v = std::pow(10.0, -(55.0 / 20 - 3));
  EXPECT_NEAR(after, v, 1e-5);
  EXPECT_DOUBLE_EQ(scale_x(), 1 / v);
  EXPECT_DOUBLE_EQ(scale_y(), -1 / v);  // the axis direction is the window's
}

// The sliders moved by the keys, the mouse and the trackbar's own message: the value
// follows the position, the other slider and value follow with "Same values"; OK sets
// the scales and asks for a redraw.
TEST_F(NivzoomDialog, SlidersSetTheScale) {
  const struct {
    const char* how;
    std::function<void(plat::Wnd)> move;
    int x_position;
  } cases[] = {
      {"right key", [](plat::Wnd dlg) {
         plat::set_focus(tm_test::dlg_control(dlg, IDC_NIVZOOM_X_SLIDER));
         tm_test::press_key(plat::VK_RIGHT);
       }, 51},
      {"page down key", [](plat::Wnd dlg) {
         plat::set_focus(tm_test::dlg_control(dlg, IDC_NIVZOOM_X_SLIDER));
         tm_test::press_key(plat::VK_NEXT);
       }, 60},
      {"end key", [](plat::Wnd dlg) {
         plat::set_focus(tm_test::dlg_control(dlg, IDC_NIVZOOM_X_SLIDER));
         tm_test::press_key(plat::VK_END);
       }, 80},
      {"mouse left of the thumb", [](plat::Wnd dlg) {
         plat::Wnd bar = tm_test::dlg_control(dlg, IDC_NIVZOOM_X_SLIDER);
         plat::Rect channel{};
         plat::send_message(bar, plat::TBM_GETCHANNELRECT, 0, reinterpret_cast<plat::LParam>(&channel));
         tm_test::click(bar, channel.left + 2, (channel.top + channel.bottom) / 2);  // a page towards it
       }, 40},
      {"thumb dragged (message)", [](plat::Wnd dlg) {
         plat::Wnd bar = tm_test::dlg_control(dlg, IDC_NIVZOOM_X_SLIDER);
         plat::send_message(bar, plat::TBM_SETPOS, 1, 33);
         plat::send_message(dlg, plat::WM_HSCROLL, plat::WParam(plat::TB_THUMBPOSITION | (33 << 16)),
                            reinterpret_cast<plat::LParam>(bar));
       }, 33},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    show(kData, 500000, 4900000, 0.1);
    redraw_requests() = 0;
    int pos_x = -1, pos_y = -1;
    std::string x, y;
    bool ok = false;
    run({c.move, [&](plat::Wnd dlg) {
           pos_x = slider(dlg, IDC_NIVZOOM_X_SLIDER);
           pos_y = slider(dlg, IDC_NIVZOOM_Y_SLIDER);
           x = text(dlg, IDC_NIVZOOM_X);
           y = text(dlg, IDC_NIVZOOM_Y);
           ok = enabled(dlg, IDC_NIVZOOM_OK);
           tm_test::click_control(dlg, IDC_NIVZOOM_OK);
         }});
    const double v = std::pow(10.0, -(c.x_position / 10.0 - 6));
    EXPECT_EQ(pos_x, c.x_position);
    EXPECT_EQ(pos_y, c.x_position);
    EXPECT_NEAR(std::stod(x), v, 0.005);
    EXPECT_EQ(y, x);
    EXPECT_TRUE(ok);
    EXPECT_NEAR(scale_x(), 1 / v, 1e-9 / v);
    EXPECT_NEAR(scale_y(), -1 / v, 1e-9 / v);
    EXPECT_EQ(redraw_requests(), 1);  // the redraw asked for
  }
}

// Typed values: 0 (or no number) is ignored, others clamped into the slider's range;
// with "Same values" the other field, value and slider follow, and the typed field
// keeps its text.
TEST_F(NivzoomDialog, TypedValues) {
  const struct {
    const char* typed;
    bool same;
    const char* want_y;
    int want_pos_x;
    bool ok;
    double scale_x, scale_y;
  } cases[] = {
      {"25", true, "    25.00", 46, true, 1 / 25.0, 1 / 25.0},
      {"2,5", true, "     2.50", 56, true, 1 / 2.5, 1 / 2.5},
      {"0", true, "    10.00", 50, false, 0.1, 0.1},
      {"abc", true, "    10.00", 50, false, 0.1, 0.1},
      {"5000000", true, "1000000.00", 0, true, 1e-6, 1e-6},
      {"0.001", true, "     0.01", 80, true, 100, 100},
      {"25", false, "    10.00", 46, true, 1 / 25.0, 0.1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.typed << (c.same ? " same" : " apart"));
    show(kData, 500000, 4900000, 0.1);
    std::string x, y;
    int pos_x = -1, pos_y = -1;
    bool ok = false;
    run({[&](plat::Wnd dlg) {
      if (!c.same) tm_test::click_control(dlg, IDC_NIVZOOM_SAME);
    }, [&](plat::Wnd dlg) {
      tm_test::type_into(dlg, IDC_NIVZOOM_X, c.typed);
    }, [&](plat::Wnd dlg) {
      x = text(dlg, IDC_NIVZOOM_X);
      y = text(dlg, IDC_NIVZOOM_Y);
      pos_x = slider(dlg, IDC_NIVZOOM_X_SLIDER);
      pos_y = slider(dlg, IDC_NIVZOOM_Y_SLIDER);
      ok = enabled(dlg, IDC_NIVZOOM_OK);
      tm_test::click_control(dlg, IDC_NIVZOOM_OK);
    }});
    EXPECT_EQ(x, c.typed);
    EXPECT_EQ(y, c.want_y);
    EXPECT_EQ(pos_x, c.want_pos_x);
    EXPECT_EQ(pos_y, c.same ? c.want_pos_x : 50);
    EXPECT_EQ(ok, c.ok);
    // A disabled OK ends nothing: the dialog was closed as Escape would, scale kept.
    EXPECT_NEAR(scale_x(), c.scale_x, 1e-9 * c.scale_x);
    EXPECT_NEAR(scale_y(), -c.scale_y, 1e-9 * c.scale_y);
  }
}

// A unit change converts the values, rewrites the graduations and both combos; OK
// carries the values back into the system's unit, so the scale is the one shown.
TEST_F(NivzoomDialog, UnitChangeKeepsTheScale) {
  const struct {
    const char* what;
    int refertype, system_unit;
    extent_t data;
    double cx, cy, scale;  // pixels per graph unit
    int new_unit;
    const char* shown;
    const char* first_graduation;
    const char* unit_name;
  } cases[] = {
      {"metre to kilometre", 2, 0, kData, 500000, 4900000, 0.1, 3, "  0.01000", "1000", "Kilom\xC3\xA8tre"},
      {"metre to foot", 2, 0, kData, 500000, 4900000, 0.1, 1, "     32.8", "10000000", "Foot"},
      {"degree to minute", 1, 1, {0, 10, 40, 50, 0}, 5, 45, 1000, 5, " 0.060000", "100", "Minute"},
      {"degree to DMS", 1, 1, {0, 10, 40, 50, 0}, 5, 45, 1000, 2, "0.00100000", "1", "Degr\xC3\xA9 Minute Seconde"},
      {"DMS to degree", 1, 2, {0, 36000, 144000, 180000, 0}, 18000, 162000, 0.36, 1, "0.00077160",
       "1", "Degr\xC3\xA9"},
      {"DM to radian", 1, 7, {0, 600, 2400, 3000, 0}, 300, 2700, 60, 0, "0.0000048481", "0.01",
       "Radian"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    use_system(c.refertype, c.system_unit);
    show(c.data, c.cx, c.cy, c.scale);
    std::string x, y, unit_x, unit_y, grad;
    bool ok = false;
    run({[&](plat::Wnd dlg) { choose(dlg, IDC_NIVZOOM_X_UNIT, c.new_unit); },
         [&](plat::Wnd dlg) {
           x = text(dlg, IDC_NIVZOOM_X);
           y = text(dlg, IDC_NIVZOOM_Y);
           unit_x = selected(dlg, IDC_NIVZOOM_X_UNIT);
           unit_y = selected(dlg, IDC_NIVZOOM_Y_UNIT);
           grad = text(dlg, IDC_NIVZOOM_GRAD1);
           ok = enabled(dlg, IDC_NIVZOOM_OK);
           tm_test::click_control(dlg, IDC_NIVZOOM_OK);
         }});
    EXPECT_EQ(x, c.shown);
    EXPECT_EQ(y, c.shown);
    EXPECT_EQ(unit_x, c.unit_name);
    EXPECT_EQ(unit_y, c.unit_name);
    EXPECT_EQ(grad, c.first_graduation);
    EXPECT_TRUE(ok);
    EXPECT_NEAR(scale_x(), c.scale, 1e-9 * c.scale);
    EXPECT_NEAR(scale_y(), -c.scale, 1e-9 * c.scale);
  }
}

// A system whose unit is not among the eleven listed gets it added and selected, with
// its own exponent; a change to another unit and back keeps the scale.
TEST_F(NivzoomDialog, SystemUnitBeyondTheListIsOffered) {
  use_system(2, 13);  // British chain (Benoit)
  show(kData, 500000, 4900000, 0.1);
  int units = 0;
  std::string unit, x, grad, in_metres;
  run({[&](plat::Wnd dlg) {
         units = int(plat::send_dlg_item_message(dlg, IDC_NIVZOOM_X_UNIT, plat::CB_GETCOUNT, 0, 0));
         unit = selected(dlg, IDC_NIVZOOM_Y_UNIT);
         x = text(dlg, IDC_NIVZOOM_X);
         grad = text(dlg, IDC_NIVZOOM_GRAD1);
         choose(dlg, IDC_NIVZOOM_Y_UNIT, 0);
       },
       [&](plat::Wnd dlg) {
         in_metres = text(dlg, IDC_NIVZOOM_X);
         choose(dlg, IDC_NIVZOOM_X_UNIT, 13);
       },
       [&](plat::Wnd dlg) { tm_test::click_control(dlg, IDC_NIVZOOM_OK); }});
  EXPECT_EQ(units, 12);
  EXPECT_EQ(unit, "British chain (Benoit 1895 B)");
  EXPECT_EQ(x, "   10.000");
  EXPECT_EQ(grad, "100000");
  EXPECT_EQ(in_metres, "   201.17");
  EXPECT_NEAR(scale_x(), 0.1, 1e-12);
}

// A DMS system opens in degrees; a value typed there is applied in seconds of arc.
TEST_F(NivzoomDialog, DegreesShownForASystemInSeconds) {
  use_system(1, 2);
  show(extent_t{0, 36000, 144000, 180000, 0}, 18000, 162000, 0.36);
  std::string x;
  run({[&](plat::Wnd dlg) {
         x = text(dlg, IDC_NIVZOOM_X);
         tm_test::type_into(dlg, IDC_NIVZOOM_X, "0.001");  // 3.6 seconds a pixel
       },
       [&](plat::Wnd dlg) { tm_test::click_control(dlg, IDC_NIVZOOM_OK); }});
  EXPECT_EQ(x, "0.00077160");  // 1 / 0.36 seconds in degrees
  EXPECT_NEAR(scale_x(), 1 / 3.6, 1e-12);
}

// The images of the graph space in id order; zoom 1/1 disables the values; with no
// image chosen OK is disabled and a forced OK indexes nothing and leaves the dialog
// open; once an image is chosen OK shows it at one image pixel per screen pixel.
TEST_F(NivzoomDialog, ImageAtZoomOneToOne) {
  use_system(0, 0);
  show(extent_t{0, 10000, 0, 10000, 0}, 5000, 5000, 0.05);
  const bitmap_t* first = add_image("first.png", 400, 300);
  const bitmap_t* second = add_image("second.tif", 2000, 1000);
  ASSERT_LT(first->id, second->id);
  int count = 0;
  std::u16string item0, item1;
  bool list_on = false, box_on = false, ok_checked = true, values_on = true, ok_chosen = false;
  bool open_after_forced_ok = false;
  run({[&](plat::Wnd dlg) {
         count = int(plat::send_dlg_item_message(dlg, IDC_NIVZOOM_IMAGES, plat::CB_GETCOUNT, 0, 0));
         char16_t buf[64] = u"";
         plat::send_dlg_item_message(dlg, IDC_NIVZOOM_IMAGES, plat::CB_GETLBTEXT, 0, reinterpret_cast<plat::LParam>(buf));
         item0 = buf;
         plat::send_dlg_item_message(dlg, IDC_NIVZOOM_IMAGES, plat::CB_GETLBTEXT, 1, reinterpret_cast<plat::LParam>(buf));
         item1 = buf;
         list_on = enabled(dlg, IDC_NIVZOOM_IMAGES);
         box_on = enabled(dlg, IDC_NIVZOOM_ONE_TO_ONE);
         tm_test::click_control(dlg, IDC_NIVZOOM_ONE_TO_ONE);
       },
       [&](plat::Wnd dlg) {
         ok_checked = enabled(dlg, IDC_NIVZOOM_OK);
         values_on = enabled(dlg, IDC_NIVZOOM_X) || enabled(dlg, IDC_NIVZOOM_Y_SLIDER) ||
                     enabled(dlg, IDC_NIVZOOM_X_UNIT) || enabled(dlg, IDC_NIVZOOM_SAME);
         plat::send_message(dlg, plat::WM_COMMAND, plat::WParam(IDC_NIVZOOM_OK), 0);
         open_after_forced_ok = plat::is_window(dlg);
         choose(dlg, IDC_NIVZOOM_IMAGES, 1);
         ok_chosen = enabled(dlg, IDC_NIVZOOM_OK);
         tm_test::click_control(dlg, IDC_NIVZOOM_OK);
       }});
  EXPECT_EQ(count, 2);
  EXPECT_EQ(item0, u"first.png");
  EXPECT_EQ(item1, u"second.tif");
  EXPECT_TRUE(list_on);
  EXPECT_TRUE(box_on);
  EXPECT_FALSE(ok_checked);
  EXPECT_FALSE(values_on);
  EXPECT_TRUE(open_after_forced_ok);
  EXPECT_TRUE(ok_chosen);
  EXPECT_DOUBLE_EQ(scale_x(), 1.0);
  EXPECT_DOUBLE_EQ(std::fabs(scale_y()), 1.0);
  const extent_t seen = visible();
  EXPECT_NEAR((seen.xmin + seen.xmax) / 2, 1000, 1e-6);
  EXPECT_NEAR((seen.ymin + seen.ymax) / 2, 500, 1e-6);
}

class NivzoomDialogFr : public NivzoomDialog {
 protected:
  void SetUp() override { NivzoomDialog::SetUpIn("FRANCAIS"); }
};

TEST_F(NivzoomDialogFr, PictureFrench) {
  add_image("carte.png", 100, 100);
  std::string ttl, unit, same, cancel;
  run({[&](plat::Wnd dlg) {
    ttl = title(dlg);
    unit = selected(dlg, IDC_NIVZOOM_X_UNIT);
    same = text(dlg, IDC_NIVZOOM_SAME);
    cancel = text(dlg, IDC_NIVZOOM_CANCEL);
    check_layout_and_picture(dlg, "nivzoom_fr");
    tm_test::click_control(dlg, IDC_NIVZOOM_CANCEL);
  }});
  EXPECT_EQ(ttl, "Niveau de zoom");
  EXPECT_EQ(unit, "M\xC3\xA8tre");
  EXPECT_EQ(same, "Valeurs identiques");
  EXPECT_EQ(cancel, "Annuler");
}

}  // namespace
}  // namespace frame_test
