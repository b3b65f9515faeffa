// The colour dialog: numbers typed (and capped at 255), basic colours clicked, custom
// colours added and kept from one call to the next, and Cancel changing nothing.
#include <algorithm>

#include "platform/ui/common_dlg.h"
#include "tests/platform/dialog_fixture.h"
#include "tests/support/harness_common.h"

using namespace plat;
using namespace ui_test;

namespace {

class ColorDialog : public CtlTest {
 protected:
  void SetUp() override {
    CtlTest::SetUp();
    std::fill(custom_colors(), custom_colors() + 16, rgb(255, 255, 255));
  }
  ChooseColor record(Color start = 0) {
    ChooseColor cc;
    cc.owner = parent_;
    cc.rgb = start;
    cc.flags = CC_RGBINIT | CC_FULLOPEN;
    return cc;
  }
};

TEST_F(ColorDialog, TypedNumbersGiveTheColour) {
  struct Case {
    const char *r, *g, *b;
    Color want;
    const char* red_field;  // what the red field shows after typing
  };
  const Case cases[] = {
      {"12", "34", "56", rgb(12, 34, 56), "12"},
      {"300", "0", "7", rgb(255, 0, 7), "255"},
      {"0", "255", "128", rgb(0, 255, 128), "0"},
  };
  for (const Case& c : cases) {
    std::string red_field;
    tm_test::answer_next_dialog([&](Wnd dlg) {
      tm_test::type_into(dlg, cdlg::kRed, c.r);
      tm_test::type_into(dlg, cdlg::kGreen, c.g);
      tm_test::type_into(dlg, cdlg::kBlue, c.b);
      tm_test::run_until_idle();
      red_field = dlg_item_text(dlg, cdlg::kRed);
      tm_test::click_control(dlg, IDOK);
    });
    ChooseColor cc = record(rgb(1, 2, 3));
    ASSERT_TRUE(choose_color(&cc));
    EXPECT_EQ(cc.rgb, c.want);
    EXPECT_EQ(red_field, c.red_field);
  }
  // The harness's own answer.
  tm_test::answer_next_color_dialog(0x00563412);
  ChooseColor cc = record();
  ASSERT_TRUE(choose_color(&cc));
  EXPECT_EQ(cc.rgb, 0x00563412u);
}

TEST_F(ColorDialog, StartsOnTheGivenColourAndTakesABasicOneClicked) {
  std::string fields;
  tm_test::answer_next_dialog([&](Wnd dlg) {
    fields = dlg_item_text(dlg, cdlg::kRed) + "," + dlg_item_text(dlg, cdlg::kGreen) + "," +
             dlg_item_text(dlg, cdlg::kBlue);
    tm_test::click_control(dlg, cdlg::kBasic + 8);
    tm_test::click_control(dlg, IDOK);
  });
  ChooseColor cc = record(rgb(10, 200, 30));
  ASSERT_TRUE(choose_color(&cc));
  EXPECT_EQ(fields, "10,200,30");
  EXPECT_EQ(cc.rgb, basic_colors()[8]);
  EXPECT_EQ(cc.rgb, rgb(255, 0, 0));
}

TEST_F(ColorDialog, CustomColoursAreKeptFromOneCallToTheNext) {
  // First call: two colours added to the custom slots.
  tm_test::answer_next_dialog([](Wnd dlg) {
    tm_test::type_into(dlg, cdlg::kRed, "10");
    tm_test::type_into(dlg, cdlg::kGreen, "20");
    tm_test::type_into(dlg, cdlg::kBlue, "30");
    tm_test::click_control(dlg, cdlg::kAddCustom);
    tm_test::click_control(dlg, cdlg::kBasic + 28);  // blue
    tm_test::click_control(dlg, cdlg::kAddCustom);
    tm_test::click_control(dlg, IDOK);
  });
  ChooseColor first = record();
  ASSERT_TRUE(choose_color(&first));
  EXPECT_EQ(custom_colors()[0], rgb(10, 20, 30));
  EXPECT_EQ(custom_colors()[1], rgb(0, 0, 255));

  // Second call: the first custom swatch shows the colour, and choosing it gives it.
  uint32_t painted = 0;
  tm_test::answer_next_dialog([&](Wnd dlg) {
    Wnd swatch = tm_test::dlg_control(dlg, cdlg::kCustom);
    Rect r;
    get_client_rect(swatch, &r);
    painted = tm_test::pixel_at(swatch, r.width() / 2, r.height() / 2) & 0xFFFFFF;
    tm_test::click_control(dlg, cdlg::kCustom);
    tm_test::click_control(dlg, IDOK);
  });
  ChooseColor second = record(rgb(200, 200, 200));
  ASSERT_TRUE(choose_color(&second));
  EXPECT_EQ(painted, 0x0A141Eu) << "0xRRGGBB of the swatch";
  EXPECT_EQ(second.rgb, rgb(10, 20, 30));

  // A caller's own array is read and written the same way.
  Color own[16];
  std::fill(own, own + 16, rgb(1, 1, 1));
  own[3] = rgb(9, 8, 7);
  tm_test::answer_next_dialog([](Wnd dlg) {
    tm_test::click_control(dlg, cdlg::kCustom + 3);
    tm_test::click_control(dlg, cdlg::kBasic + 0);
    tm_test::click_control(dlg, cdlg::kAddCustom);  // into slot 3, the one clicked last
    tm_test::click_control(dlg, IDOK);
  });
  ChooseColor third = record();
  third.cust_colors = own;
  ASSERT_TRUE(choose_color(&third));
  EXPECT_EQ(own[3], basic_colors()[0]);
  EXPECT_EQ(own[0], rgb(1, 1, 1));
  EXPECT_EQ(custom_colors()[0], rgb(10, 20, 30)) << "the process's set is left alone";
}

TEST_F(ColorDialog, CancelChangesNothing) {
  custom_colors()[0] = rgb(5, 5, 5);
  tm_test::answer_next_dialog([](Wnd dlg) {
    tm_test::type_into(dlg, cdlg::kRed, "99");
    tm_test::click_control(dlg, cdlg::kAddCustom);
    tm_test::click_control(dlg, IDCANCEL);
  });
  ChooseColor cc = record(rgb(1, 2, 3));
  EXPECT_FALSE(choose_color(&cc));
  EXPECT_EQ(comm_dlg_extended_error(), 0u);
  EXPECT_EQ(cc.rgb, rgb(1, 2, 3));
  EXPECT_EQ(custom_colors()[0], rgb(5, 5, 5));
}

}  // namespace
