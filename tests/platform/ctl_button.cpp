// The button control: what a user's click and Space raise for each kind of button,
// what changes by code raise (nothing), radio groups, and the look of the states.
#include "tests/platform/dialog_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

class CtlButton : public CtlTest {
 protected:
  Wnd button(const char* text, uint32_t style, int id, Rect r = Rect{20, 20, 140, 44}) {
    return make("Button", text, style | WS_TABSTOP, r, id);
  }
  void click_middle(Wnd b) {
    Rect r;
    get_client_rect(b, &r);
    tm_test::click(b, r.width() / 2, r.height() / 2);
  }
  unsigned check_of(Wnd b) { return unsigned(send_message(b, BM_GETCHECK, 0, 0)); }
};

TEST_F(CtlButton, AUserClickRaisesClickedAndWorksTheAutomaticKinds) {
  struct Case {
    uint32_t style;
    std::vector<unsigned> checks;  // the check state after each of three clicks
  };
  const Case cases[] = {
      {BS_PUSHBUTTON, {0, 0, 0}},
      {BS_DEFPUSHBUTTON, {0, 0, 0}},
      {BS_CHECKBOX, {0, 0, 0}},  // the parent checks it itself
      {BS_AUTOCHECKBOX, {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}},
      {BS_AUTO3STATE, {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}},
      {BS_RADIOBUTTON, {0, 0, 0}},
      {BS_AUTORADIOBUTTON, {BST_CHECKED, BST_CHECKED, BST_CHECKED}},
      {BS_AUTOCHECKBOX | BS_PUSHLIKE, {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}},
      {BS_OWNERDRAW, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    Wnd b = button("Niveaux de gris", c.style, 1094);
    tm_test::run_until_idle();
    for (unsigned expected : c.checks) {
      message_log().clear();
      click_middle(b);
      tm_test::run_until_idle();
      EXPECT_EQ(codes_from(parent_, 1094), std::vector<int>{BN_CLICKED}) << "style " << c.style;
      EXPECT_EQ(check_of(b), expected) << "style " << c.style;
    }
    EXPECT_EQ(get_focus(), b) << "a click gives the focus";
    destroy_window(b);
  }
}

TEST_F(CtlButton, ChangesByCodeRaiseNothing) {
  struct Case {
    uint32_t style;
    unsigned set;
    unsigned got;
  };
  const Case cases[] = {
      {BS_AUTOCHECKBOX, BST_CHECKED, BST_CHECKED},
      {BS_CHECKBOX, BST_CHECKED, BST_CHECKED},
      {BS_AUTO3STATE, BST_INDETERMINATE, BST_INDETERMINATE},
      {BS_AUTOCHECKBOX, BST_INDETERMINATE, BST_CHECKED},  // only three-state boxes have the third state
      {BS_AUTORADIOBUTTON, BST_CHECKED, BST_CHECKED},
      {BS_PUSHBUTTON, BST_CHECKED, BST_UNCHECKED},  // push buttons have no check state
  };
  for (const Case& c : cases) {
    Wnd b = button("Pleine page", c.style, 1102);
    tm_test::run_until_idle();
    message_log().clear();
    send_message(b, BM_SETCHECK, c.set, 0);
    send_message(b, BM_SETSTATE, 1, 0);
    EXPECT_EQ(send_message(b, BM_GETSTATE, 0, 0) & BST_PUSHED, LResult(BST_PUSHED));
    send_message(b, BM_SETSTATE, 0, 0);
    set_window_text(b, "Full page");
    tm_test::run_until_idle();
    EXPECT_EQ(check_of(b), c.got) << c.style;
    EXPECT_TRUE(commands_to(parent_).empty()) << c.style;
    destroy_window(b);
  }
}

TEST_F(CtlButton, BmClickWorksTheButtonAsAClickWould) {
  Wnd b = button("Pleine page", BS_AUTOCHECKBOX, 1102);
  tm_test::run_until_idle();
  message_log().clear();
  send_message(b, BM_CLICK, 0, 0);
  EXPECT_EQ(check_of(b), BST_CHECKED);
  EXPECT_EQ(codes_from(parent_, 1102), std::vector<int>{BN_CLICKED});
  enable_window(b, false);
  send_message(b, BM_CLICK, 0, 0);
  EXPECT_EQ(check_of(b), BST_CHECKED) << "a disabled button does not work";
  EXPECT_EQ(codes_from(parent_, 1102).size(), 1u);
}

TEST_F(CtlButton, ReleasingOutsideIsNoClick) {
  Wnd b = button("OK", BS_PUSHBUTTON, 1000);
  tm_test::run_until_idle();
  message_log().clear();
  tm_test::mouse_down(b, 10, 10);
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(b, BM_GETSTATE, 0, 0) & BST_PUSHED, LResult(BST_PUSHED)) << "pushed while held";
  tm_test::mouse_move(b, 300, 200);
  tm_test::mouse_up(b, 300, 200);
  tm_test::run_until_idle();
  EXPECT_TRUE(commands_to(parent_).empty());
  EXPECT_EQ(send_message(b, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
  EXPECT_EQ(get_capture(), nullptr);
}

TEST_F(CtlButton, SpaceWorksTheFocusedButton) {
  struct Case {
    uint32_t style;
    unsigned check;
  };
  for (Case c : {Case{BS_PUSHBUTTON, 0}, Case{BS_AUTOCHECKBOX, BST_CHECKED}, Case{BS_AUTORADIOBUTTON, BST_CHECKED}}) {
    Wnd b = button("Portrait", c.style, 1103);
    set_focus(b);
    tm_test::run_until_idle();
    message_log().clear();
    tm_test::key_down(VK_SPACE);
    tm_test::run_until_idle();
    EXPECT_EQ(send_message(b, BM_GETSTATE, 0, 0) & (BST_PUSHED | BST_FOCUS), LResult(BST_PUSHED | BST_FOCUS));
    EXPECT_TRUE(commands_to(parent_).empty()) << "nothing until Space is released";
    tm_test::key_up(VK_SPACE);
    tm_test::run_until_idle();
    EXPECT_EQ(codes_from(parent_, 1103), std::vector<int>{BN_CLICKED}) << c.style;
    EXPECT_EQ(check_of(b), c.check);
    destroy_window(b);
  }
}

TEST_F(CtlButton, EnterWorksAFocusedPushButtonOutsideADialog) {
  struct Case {
    uint32_t style;
    std::vector<int> codes;
  };
  for (Case c : {Case{BS_PUSHBUTTON, {BN_CLICKED}}, Case{BS_DEFPUSHBUTTON, {BN_CLICKED}}, Case{BS_AUTOCHECKBOX, {}}}) {
    Wnd b = button("Fermer", c.style, 1000);
    set_focus(b);
    tm_test::run_until_idle();
    message_log().clear();
    tm_test::press_key(VK_RETURN);
    tm_test::run_until_idle();
    EXPECT_EQ(codes_from(parent_, 1000), c.codes) << c.style;
    destroy_window(b);
  }
}

TEST_F(CtlButton, AnAutomaticRadioButtonUnchecksTheOthersOfItsGroupOnly) {
  // Two groups: 1..3 (the first with WS_GROUP) and 4..5 (WS_GROUP on 4); a check box
  // inside the first group is left alone.
  std::vector<Wnd> r;
  for (int i = 1; i <= 5; ++i) {
    const uint32_t group = (i == 1 || i == 4) ? WS_GROUP : 0;
    r.push_back(button("Choix", BS_AUTORADIOBUTTON | group, i, Rect{20, 20 + 26 * i, 140, 44 + 26 * i}));
    if (i == 2) r.push_back(button("Case", BS_AUTOCHECKBOX, 9, Rect{200, 20, 320, 44}));
  }
  Wnd box = r[2];
  r.erase(r.begin() + 2);
  send_message(box, BM_SETCHECK, BST_CHECKED, 0);
  send_message(r[0], BM_SETCHECK, BST_CHECKED, 0);
  send_message(r[2], BM_SETCHECK, BST_CHECKED, 0);  // by code: the others stay
  send_message(r[4], BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(check_of(r[0]), BST_CHECKED);
  tm_test::run_until_idle();
  struct Case {
    int click;                       // index in r
    std::vector<unsigned> after;     // the five radio buttons
  };
  const Case cases[] = {
      {1, {0, 1, 0, 0, 1}},
      {3, {0, 1, 0, 1, 0}},
      {2, {0, 0, 1, 1, 0}},
  };
  for (const Case& c : cases) {
    message_log().clear();
    click_middle(r[size_t(c.click)]);
    tm_test::run_until_idle();
    std::vector<unsigned> now;
    for (Wnd w : r) now.push_back(check_of(w));
    EXPECT_EQ(now, c.after) << "click " << c.click;
    EXPECT_EQ(commands_to(parent_), (std::vector<Command>{{c.click + 1, BN_CLICKED}})) << "only the clicked one tells";
  }
  EXPECT_EQ(check_of(box), BST_CHECKED);
}

TEST_F(CtlButton, AGroupBoxLetsClicksThroughToTheButtonsInsideIt) {
  Wnd group = button("Orientation", BS_GROUPBOX, 1104, Rect{10, 10, 300, 120});
  Wnd radio = button("Paysage", BS_AUTORADIOBUTTON, 1105, Rect{20, 40, 200, 60});
  tm_test::run_until_idle();
  message_log().clear();
  click_middle(radio);
  tm_test::run_until_idle();
  EXPECT_EQ(check_of(radio), BST_CHECKED);
  EXPECT_EQ(commands_to(parent_), (std::vector<Command>{{1105, BN_CLICKED}}));
  EXPECT_EQ(send_message(group, WM_GETDLGCODE, 0, 0), LResult(DLGC_STATIC));
  message_log().clear();
  tm_test::click(group, 250, 90);  // inside the box, on no button
  tm_test::run_until_idle();
  EXPECT_TRUE(commands_to(parent_).empty());
}

TEST_F(CtlButton, OwnerDrawnButtonsAskTheirParentForColourAndDrawing) {
  Brush olive = create_solid_brush(rgb(128, 128, 0));
  std::vector<uint32_t> order;
  DrawItemStruct seen;
  Wnd b = nullptr;
  handlers()[parent_] = [&](Wnd, uint32_t m, WParam wp, LParam lp, LResult* r) {
    if (m == WM_CTLCOLORBTN && reinterpret_cast<Wnd>(lp) == b) {
      order.push_back(m);
      *r = LResult(reinterpret_cast<intptr_t>(olive));
      return true;
    }
    if (m == WM_DRAWITEM) {
      order.push_back(m);
      seen = *reinterpret_cast<const DrawItemStruct*>(lp);
      EXPECT_EQ(wp, WParam(1020));
      // The owner paints a mark of its own.
      Brush mark = create_solid_brush(rgb(255, 0, 255));
      fill_rect(seen.dc, Rect{0, 0, 8, 8}, mark);
      delete_object(mark);
      *r = 1;
      return true;
    }
    return false;
  };
  b = button("", BS_OWNERDRAW, 1020, Rect{20, 20, 52, 52});
  tm_test::run_until_idle();
  EXPECT_EQ(order, (std::vector<uint32_t>{WM_CTLCOLORBTN, WM_DRAWITEM}));
  EXPECT_EQ(seen.ctl_type, ODT_BUTTON);
  EXPECT_EQ(seen.ctl_id, 1020u);
  EXPECT_EQ(seen.hwnd_item, b);
  EXPECT_EQ(seen.rc_item, (Rect{0, 0, 32, 32}));
  EXPECT_EQ(seen.item_state & ODS_SELECTED, 0u);
  EXPECT_EQ(tm_test::pixel_at(b, 4, 4), pixel_of(rgb(255, 0, 255)));
  EXPECT_EQ(tm_test::pixel_at(b, 20, 20), pixel_of(rgb(128, 128, 0))) << "the colour message's brush";
  tm_test::mouse_down(b, 16, 16);
  tm_test::run_until_idle();
  EXPECT_NE(seen.item_state & ODS_SELECTED, 0u) << "drawn pushed while held";
  EXPECT_NE(seen.item_state & ODS_FOCUS, 0u);
  tm_test::mouse_up(b, 16, 16);
  tm_test::run_until_idle();
  destroy_window(b);
  delete_object(olive);
}

TEST_F(CtlButton, ABitmapButtonShowsItsPicture) {
  std::vector<uint32_t> px(10 * 10, pixel_of(rgb(0, 160, 0)));
  Bitmap pic = create_bitmap(10, 10, px.data());
  Wnd b = button("", BS_PUSHBUTTON | BS_BITMAP, 1020, Rect{20, 20, 60, 60});
  EXPECT_EQ(send_message(b, BM_SETIMAGE, IMAGE_BITMAP, LParam(reinterpret_cast<intptr_t>(pic))), 0);
  EXPECT_EQ(send_message(b, BM_GETIMAGE, IMAGE_BITMAP, 0), LResult(reinterpret_cast<intptr_t>(pic)));
  tm_test::run_until_idle();
  EXPECT_EQ(tm_test::pixel_at(b, 20, 20), pixel_of(rgb(0, 160, 0)));
  destroy_window(b);
  delete_object(pic);
}

TEST_F(CtlButton, TheLookFollowsTheStates) {
  // Each state changes the picture of the button: checked, focused, default, disabled.
  auto picture = [&](Wnd b) {
    std::vector<uint32_t> px;
    Rect r;
    get_client_rect(b, &r);
    for (int y = 0; y < r.height(); ++y)
      for (int x = 0; x < r.width(); ++x) px.push_back(tm_test::pixel_at(b, x, y));
    return px;
  };
  Wnd box = button("Niveaux de gris", BS_AUTOCHECKBOX, 1);
  Wnd push = button("Annuler", BS_PUSHBUTTON, 2, Rect{20, 60, 140, 84});
  tm_test::run_until_idle();
  const auto box_plain = picture(box), push_plain = picture(push);
  send_message(box, BM_SETCHECK, BST_CHECKED, 0);
  tm_test::run_until_idle();
  EXPECT_NE(picture(box), box_plain) << "check mark";
  send_message(box, BM_SETCHECK, BST_UNCHECKED, 0);
  tm_test::run_until_idle();
  EXPECT_EQ(picture(box), box_plain);
  set_focus(push);
  tm_test::run_until_idle();
  EXPECT_NE(picture(push), push_plain) << "focus rectangle";
  set_focus(box);
  tm_test::run_until_idle();
  EXPECT_EQ(picture(push), push_plain);
  send_message(push, BM_SETSTYLE, BS_DEFPUSHBUTTON, 1);
  tm_test::run_until_idle();
  EXPECT_NE(picture(push), push_plain) << "default frame";
  EXPECT_EQ(send_message(push, WM_GETDLGCODE, 0, 0), LResult(DLGC_BUTTON | DLGC_DEFPUSHBUTTON));
  send_message(push, BM_SETSTYLE, BS_PUSHBUTTON, 1);
  enable_window(push, false);
  tm_test::run_until_idle();
  EXPECT_NE(picture(push), push_plain) << "greyed";
  EXPECT_FALSE(any_pixel(push, Rect{3, 3, 117, 21}, inky)) << "no black text when disabled";
  enable_window(push, true);
  tm_test::run_until_idle();
  EXPECT_EQ(picture(push), push_plain);
  EXPECT_TRUE(any_pixel(push, Rect{3, 3, 117, 21}, inky));
}

TEST_F(CtlButton, ACheckBoxTakesTheParentsBackground) {
  Brush pale = create_solid_brush(rgb(200, 220, 255));
  handlers()[parent_] = [&](Wnd, uint32_t m, WParam, LParam, LResult* r) {
    if (m != WM_CTLCOLORBTN) return false;
    *r = LResult(reinterpret_cast<intptr_t>(pale));
    return true;
  };
  Wnd b = button("Pleine page", BS_AUTOCHECKBOX, 1102);
  tm_test::run_until_idle();
  EXPECT_EQ(tm_test::pixel_at(b, 115, 2), pixel_of(rgb(200, 220, 255)));
  destroy_window(b);
  delete_object(pale);
}

}  // namespace
