// The static control: the parent's colours, text alignment and mnemonic marks,
// pictures, lines, and the clicks that SS_NOTIFY reports (and nothing else raises).
#include "tests/platform/dialog_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

class CtlStatic : public CtlTest {};

TEST_F(CtlStatic, TheParentsColourAnswerPaintsTheLabel) {
  struct Case {
    bool answer;  // the parent gives a brush and a text colour
    uint32_t back;
    std::function<bool(uint32_t)> ink;
  };
  Brush navy = create_solid_brush(rgb(0, 0, 160));
  const Case cases[] = {
      {true, pixel_of(rgb(0, 0, 160)), [](uint32_t p) { return red(p) > 150 && green(p) > 150 && blue(p) < 120; }},
      {false, pixel_of(get_sys_color(COLOR_BTNFACE)), inky},
  };
  for (const Case& c : cases) {
    Wnd label = make("Static", "Distances :", SS_LEFT, Rect{10, 10, 150, 30}, 1087);
    handlers()[parent_] = [&](Wnd, uint32_t m, WParam wp, LParam lp, LResult* r) {
      if (m != WM_CTLCOLORSTATIC || !c.answer) return false;
      EXPECT_EQ(reinterpret_cast<Wnd>(lp), label);
      set_text_color(reinterpret_cast<Dc>(wp), rgb(255, 255, 0));
      *r = LResult(reinterpret_cast<intptr_t>(navy));
      return true;
    };
    invalidate_rect(label, nullptr, true);
    tm_test::run_until_idle();
    EXPECT_EQ(tm_test::pixel_at(label, 139, 19), c.back) << "background, answer " << c.answer;
    EXPECT_TRUE(any_pixel(label, Rect{0, 0, 140, 20}, c.ink)) << "text, answer " << c.answer;
    destroy_window(label);
  }
  delete_object(navy);
}

TEST_F(CtlStatic, AlignmentPlacesTheText) {
  struct Case {
    uint32_t style;
    const char* name;
  };
  const Case cases[] = {{SS_LEFT, "left"}, {SS_CENTER, "centre"}, {SS_RIGHT, "right"}};
  int previous = -1;
  for (const Case& c : cases) {
    Wnd label = make("Static", "Ratio", c.style, Rect{10, 10, 210, 30}, 1);
    tm_test::run_until_idle();
    auto [lo, hi] = ink_columns(label, Rect{0, 0, 200, 20}, inky);
    ASSERT_GE(lo, 0) << c.name;
    EXPECT_GT(lo, previous) << c.name << " starts right of the previous alignment";
    if (c.style == SS_LEFT) {
      EXPECT_LT(lo, 4);
    }
    if (c.style == SS_RIGHT) {
      EXPECT_GT(hi, 190);
    }
    previous = lo;
    destroy_window(label);
  }
}

TEST_F(CtlStatic, AmpersandsAreMnemonicMarksUnlessNoPrefix) {
  // "&&&&&&&&" shows four '&' with marks, eight without.
  Wnd marked = make("Static", "&&&&&&&&", SS_LEFT, Rect{10, 10, 200, 30}, 1);
  Wnd plain = make("Static", "&&&&&&&&", SS_LEFT | SS_NOPREFIX, Rect{10, 40, 200, 60}, 2);
  tm_test::run_until_idle();
  auto [lo1, hi1] = ink_columns(marked, Rect{0, 0, 190, 20}, inky);
  auto [lo2, hi2] = ink_columns(plain, Rect{0, 0, 190, 20}, inky);
  ASSERT_GE(lo1, 0);
  ASSERT_GE(lo2, 0);
  EXPECT_GT(hi2 - lo2, (hi1 - lo1) * 3 / 2);
}

TEST_F(CtlStatic, TextSetByCodeIsShownAndRaisesNothing) {
  Wnd label = make("Static", "", SS_LEFT | SS_NOTIFY, Rect{10, 10, 200, 30}, 7);
  tm_test::run_until_idle();
  EXPECT_FALSE(any_pixel(label, Rect{0, 0, 190, 20}, inky));
  message_log().clear();
  EXPECT_TRUE(set_window_text(label, "Niveaux de gris"));
  tm_test::run_until_idle();
  EXPECT_EQ(window_text(label), "Niveaux de gris");
  EXPECT_TRUE(any_pixel(label, Rect{0, 0, 190, 20}, inky));
  EXPECT_TRUE(commands_to(parent_).empty());
  EXPECT_EQ(send_message(label, WM_GETDLGCODE, 0, 0), LResult(DLGC_STATIC));
}

TEST_F(CtlStatic, ClicksAreReportedOnlyWithNotify) {
  struct Case {
    uint32_t style;
    std::vector<int> codes;
  };
  const Case cases[] = {{SS_LEFT, {}}, {SS_LEFT | SS_NOTIFY, {STN_CLICKED}}};
  for (const Case& c : cases) {
    Wnd label = make("Static", "Cliquez", c.style, Rect{10, 10, 200, 30}, 9);
    tm_test::run_until_idle();
    message_log().clear();
    tm_test::click(label, 20, 10);
    tm_test::run_until_idle();
    EXPECT_EQ(codes_from(parent_, 9), c.codes) << c.style;
    destroy_window(label);
  }
}

TEST_F(CtlStatic, APictureIsShownAndSwapped) {
  std::vector<uint32_t> red_px(16 * 12, pixel_of(rgb(220, 0, 0))), green_px(16 * 12, pixel_of(rgb(0, 200, 0)));
  Bitmap a = create_bitmap(16, 12, red_px.data()), b = create_bitmap(16, 12, green_px.data());
  Wnd pic = make("Static", "", SS_BITMAP | SS_CENTERIMAGE, Rect{10, 10, 42, 42}, 3);
  EXPECT_EQ(send_message(pic, STM_SETIMAGE, IMAGE_BITMAP, LParam(reinterpret_cast<intptr_t>(a))), 0);
  tm_test::run_until_idle();
  EXPECT_EQ(tm_test::pixel_at(pic, 16, 16), pixel_of(rgb(220, 0, 0))) << "centred";
  EXPECT_EQ(tm_test::pixel_at(pic, 2, 2), pixel_of(get_sys_color(COLOR_BTNFACE))) << "around it";
  EXPECT_EQ(send_message(pic, STM_SETIMAGE, IMAGE_BITMAP, LParam(reinterpret_cast<intptr_t>(b))),
            LResult(reinterpret_cast<intptr_t>(a)));
  EXPECT_EQ(send_message(pic, STM_GETIMAGE, IMAGE_BITMAP, 0), LResult(reinterpret_cast<intptr_t>(b)));
  tm_test::run_until_idle();
  EXPECT_EQ(tm_test::pixel_at(pic, 16, 16), pixel_of(rgb(0, 200, 0)));
  destroy_window(pic);
  delete_object(a);
  delete_object(b);
}

TEST_F(CtlStatic, LinesAndEdgesAreDrawnInTheShadeColours) {
  const uint32_t shadow = pixel_of(get_sys_color(COLOR_3DSHADOW)), light = pixel_of(get_sys_color(COLOR_3DHILIGHT));
  Wnd line = make("Static", "", SS_ETCHEDHORZ, Rect{10, 10, 210, 12}, 1);
  Wnd sunken = make("Static", "", SS_LEFT | SS_SUNKEN, Rect{10, 30, 110, 60}, 2);
  tm_test::run_until_idle();
  EXPECT_EQ(tm_test::pixel_at(line, 100, 0), shadow);
  EXPECT_EQ(tm_test::pixel_at(line, 100, 1), light);
  EXPECT_EQ(tm_test::pixel_at(sunken, 50, 0), shadow) << "top edge";
  EXPECT_EQ(tm_test::pixel_at(sunken, 50, 29), light) << "bottom edge";
}

}  // namespace

// A label without SS_NOTIFY lets clicks through to the control beneath it; one with
// SS_NOTIFY keeps them.
TEST_F(CtlStatic, PlainLabelsLetClicksThroughToWhatLiesBeneath) {
  struct Case {
    uint32_t style;
    std::vector<int> button_codes;
  };
  const Case cases[] = {{SS_LEFT, {BN_CLICKED}}, {SS_LEFT | SS_NOTIFY, {}}};
  for (const Case& c : cases) {
    // Siblings made first lie on top: the label covers the button.
    Wnd label = make("Static", "Par-dessus", c.style, Rect{10, 10, 200, 40}, 9);
    Wnd button = make("Button", "OK", BS_PUSHBUTTON, Rect{10, 10, 200, 40}, 7);
    tm_test::run_until_idle();
    message_log().clear();
    tm_test::click(label, 20, 10);
    tm_test::run_until_idle();
    EXPECT_EQ(codes_from(parent_, 7), c.button_codes) << c.style;
    destroy_window(label);
    destroy_window(button);
  }
}
