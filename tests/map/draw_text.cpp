// Texts and fonts: the font table, labels drawn at their point, the size rules ("Small
// Fonts" below 8, nothing below 2 once shrunk with the view), the font cache, and the
// measure of texts used by the graphic index.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/error.h"
#include "tests/map/draw_fixture.h"

namespace {

using tm_test::draw_canvas;

constexpr plat::Color kBlue = plat::rgb(0, 0, 255);

TEST(DrawFonts, TableNamesAndWeights) {
  font_table_init();
  const char* faces[] = {"MS Sans Serif", "Arial", "Times New Roman", "Courier New", "Small Fonts"};
  char name[kFontNameSize];
  for (int i = 0; i < 5; ++i) {
    font_name_at(i, name);
    EXPECT_STREQ(name, faces[i]);
  }
  font_name_at(7, name);
  EXPECT_STREQ(name, "MS Sans Serif");
  font_name_at(-1, name);
  EXPECT_STREQ(name, "MS Sans Serif");
  const int weights[] = {100, 400, 500, 700, 900};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(font_weight_of(i), weights[i]);
  EXPECT_EQ(font_weight_of(5), 400);
  EXPECT_EQ(font_weight_of(-3), 400);
}

// The face selected for a text: the table's, "Small Fonts" below size 8; height 2 ×
// size and width size; italic for 1 and 3, underline for 2 and 3.
TEST(DrawFonts, SelectedFontFollowsTheRules) {
  struct Case {
    int font, size, weight, underital;
    const char* face;
    int want_weight, italic, underline;
  };
  const Case cases[] = {
      {1, 10, 1, 0, "Arial", 400, 0, 0},          {2, 8, 3, 1, "Times New Roman", 700, 1, 0},
      {3, 12, 4, 2, "Courier New", 900, 0, 1},    {1, 7, 0, 3, "Small Fonts", 100, 1, 1},
      {2, 2, 1, 0, "Small Fonts", 400, 0, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.size);
    draw_canvas c;
    select_font(k.font, k.size, k.weight, k.underital, tm_test::kBlueWord);
    plat::LogFont lf;
    ASSERT_TRUE(plat::get_font_info(plat::get_current_object(c.dc, plat::OBJ_FONT), &lf));
    EXPECT_STREQ(lf.face_name, k.face);
    EXPECT_EQ(lf.height, 2 * k.size);
    EXPECT_EQ(lf.width, k.size);
    EXPECT_EQ(lf.weight, k.want_weight);
    EXPECT_EQ(lf.italic, k.italic);
    EXPECT_EQ(lf.underline, k.underline);
    EXPECT_EQ(plat::get_text_color(c.dc), kBlue);
  }
}

TEST(DrawFonts, SameLookSelectsOneFontAndAFailureSetsTheCode) {
  draw_canvas c;
  select_font(1, 10, 1, 0, tm_test::kBlueWord);
  plat::GdiObj f = plat::get_current_object(c.dc, plat::OBJ_FONT);
  select_font(1, 10, 1, 0, tm_test::kBlueWord);
  EXPECT_EQ(plat::get_current_object(c.dc, plat::OBJ_FONT), f);
  select_font(1, 11, 1, 0, tm_test::kBlueWord);
  EXPECT_NE(plat::get_current_object(c.dc, plat::OBJ_FONT), f);
  // A font too large for the drawing layer: code 11, and the text is not drawn.
  set_gblerr(0);
  draw_screen_text(1, 5000, 1, 0, tm_test::kBlueWord, u"big", screen_pt{10, 10});
  EXPECT_EQ(get_gblerr(), ERR_OS);
  EXPECT_TRUE(c.ink().empty());
  set_gblerr(0);
}

TEST(DrawFonts, TextExtentMeasuresTheString) {
  int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  ASSERT_EQ(text_extent(1, 10, 1, 0, u"Col", &w1, &h1), 1);
  ASSERT_EQ(text_extent(1, 10, 1, 0, u"Col de la Croix", &w2, &h2), 1);
  EXPECT_GT(w1, 10);
  EXPECT_GT(w2, 3 * w1);
  EXPECT_EQ(h1, h2);
  EXPECT_GE(h1, 14);  // a cell of 1.5 × size
  int wb = 0, hb = 0;
  text_extent(1, 20, 1, 0, u"Col", &wb, &hb);
  EXPECT_GT(wb, w1);
  EXPECT_GT(hb, h1);
  int w = 5, h = 5;
  EXPECT_EQ(text_extent(1, 10, 1, 0, nullptr, &w, &h), 0);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  set_gblerr(0);
  EXPECT_EQ(text_extent(1, 4000, 1, 0, u"Col", &w, &h), 0);
  EXPECT_EQ(get_gblerr(), ERR_OS);
  set_gblerr(0);
}

// A label of a waypoint: drawn from its point to the right and downwards, in its colour.
TEST(DrawText, LabelAtItsPoint) {
  struct Case {
    const char* name;
    int vsize;
    double threshold;  // the layer's scale threshold (0: none)
    bool drawn;
  };
  const Case cases[] = {
      {"size 12", 12, 0, true},
      {"size 0 is 10", 0, 0, true},
      {"view closer than the threshold", 12, 1.0, true},
      {"shrunk to 2.4", 12, 10.0, true},   // r = 2 / 10: 12 × 0.2
      {"shrunk below 2", 12, 20.0, false},  // 12 × 0.1
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    draw_canvas c;
    c.layer->scale_threshold = k.threshold;
    waypoint_t* w = tm_test::new_point(50, 50, u"Hello");
    auto* s = tm_test::new_draw_style<dtext_t>(CLS_DTEXT);
    s->typesrc = CLS_WAYPOINT;
    s->pptcoord = kPointCoordsOffset;
    s->pstring = offsetof(waypoint_t, name);
    s->vsize = k.vsize;
    s->vthickness = 1;
    s->vcolour = tm_test::kBlueWord;
    drawobj_draw_routine(CLS_DTEXT)(s, w, nullptr);
    const tm_test::pixel_set ink = c.ink();
    EXPECT_EQ(ink.empty(), !k.drawn);
    for (auto [x, y] : ink) {
      EXPECT_GE(x, 100);
      EXPECT_GE(y, 100);
      EXPECT_LT(x, 200);
      EXPECT_LT(y, 140);
    }
    if (k.drawn && k.threshold <= 1.0) {  // a text of 2 pixels has no solid pixel
      EXPECT_FALSE(c.pixels(kBlue).empty());
    }
    tm_test::free_one(s);
    tm_test::free_one(w);
  }
}

// A huge label is measured and drawn from its first kLabelMaxUnits units: the same size
// and the same pixels as that prefix alone, and a pair cut at the bound is left out.
TEST(DrawText, AHugeLabelIsMeasuredAndDrawnFromABoundedPrefix) {
  std::u16string huge(200000, u'W');
  for (size_t i = 0; i < huge.size(); i += 7) huge[i] = u'i';
  const std::u16string prefix = huge.substr(0, kLabelMaxUnits);
  EXPECT_EQ(label_units(huge.c_str()), kLabelMaxUnits);
  EXPECT_EQ(label_units(u"abc"), 3);
  EXPECT_EQ(label_units(nullptr), 0);
  int wh = 0, hh = 0, wp = 0, hp = 0, wl = 0, hl = 0;
  ASSERT_EQ(text_extent(1, 10, 1, 0, huge.c_str(), &wh, &hh), 1);
  ASSERT_EQ(text_extent(1, 10, 1, 0, prefix.c_str(), &wp, &hp), 1);
  const std::u16string longer = huge.substr(0, kLabelMaxUnits + 1);
  ASSERT_EQ(text_extent(1, 10, 1, 0, longer.c_str(), &wl, &hl), 1);
  EXPECT_EQ(wh, wp);
  EXPECT_EQ(hh, hp);
  EXPECT_EQ(wl, wp);
  // A surrogate pair across the bound: its high half is not measured alone.
  std::u16string pair = prefix;
  pair[kLabelMaxUnits - 1] = 0xD83D;
  pair += char16_t(0xDE00);
  EXPECT_EQ(label_units(pair.c_str()), kLabelMaxUnits - 1);
  // Drawn on a canvas wider than the prefix: the ink of the huge label is the ink of its
  // prefix, and it ends before the canvas does.
  tm_test::pixel_set ink_huge, ink_prefix;
  using run = std::pair<const std::u16string*, tm_test::pixel_set*>;
  for (auto [text, ink] : {run{&huge, &ink_huge}, run{&prefix, &ink_prefix}}) {
    draw_canvas c(24000, 40);
    draw_screen_text(1, 8, 1, 0, tm_test::kBlueWord, text->c_str(), screen_pt{0, 5});
    *ink = c.ink();
  }
  ASSERT_FALSE(ink_prefix.empty());
  EXPECT_LT(ink_prefix.rbegin()->first, 23000);
  EXPECT_EQ(ink_huge, ink_prefix);
}

TEST(DrawText, EmptyTextDrawsNothing) {
  draw_canvas c;
  waypoint_t* w = tm_test::new_point(50, 50, u"");
  auto* s = tm_test::new_draw_style<dtext_t>(CLS_DTEXT);
  s->typesrc = CLS_WAYPOINT;
  s->pptcoord = kPointCoordsOffset;
  s->pstring = offsetof(waypoint_t, name);
  s->vsize = 12;
  drawobj_draw_routine(CLS_DTEXT)(s, w, nullptr);
  draw_screen_text(0, 12, 1, 0, tm_test::kBlueWord, nullptr, screen_pt{10, 10});
  EXPECT_TRUE(c.ink().empty());
  tm_test::free_one(s);
  tm_test::free_one(w);
}

}  // namespace
