// The toolbar: push, check and check-group buttons under the user's clicks (each sends
// its command to the parent), states set by code (which raise nothing), the vertical
// and horizontal layouts, and tooltips whose text the toolbar asks of its parent after
// the mouse rests on a button.
#include <map>
#include <memory>

#include "platform/ui/ctl_toolbar.h"
#include "tests/platform/ui_fixture.h"
#include "tests/support/harness_views.h"

using namespace plat;
using namespace ui_test;
using tm_test::NoticeRecorder;

namespace {

constexpr uint32_t kFace = 0xFFF0F0F0u;  // the button face of the system colours

TbButton button(int image, int command, uint8_t style = TBSTYLE_BUTTON, uint8_t state = TBSTATE_ENABLED) {
  TbButton b;
  b.bitmap = image;
  b.command = command;
  b.style = style;
  b.state = state;
  return b;
}

TbButton separator() { return button(0, -1, TBSTYLE_SEP, 0); }

class Toolbar : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    register_toolbar_control();
    parent_ = top("Tarmelo", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 640, 480});
    recorder_ = std::make_unique<NoticeRecorder>(parent_);
    tm_test::run_until_idle();
  }
  void TearDown() override {
    recorder_.reset();
    for (Wnd w : top_level_windows()) destroy_window(w);
    UiTest::TearDown();
  }
  // A toolbar as the frame window's: standard images first, then the buttons.
  Wnd make(uint32_t style, const std::vector<TbButton>& buttons) {
    Wnd tb = create_window(0, kToolbarClass, "", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent_, 10000);
    send_message(tb, TB_BUTTONSTRUCTSIZE, sizeof(TbButton), 0);
    TbAddBitmap std_images;
    std_images.instance = HINST_COMMCTRL;
    std_images.id = IDB_STD_SMALL_COLOR;
    EXPECT_EQ(send_message(tb, TB_ADDBITMAP, 0, LParam(&std_images)), 0);
    send_message(tb, TB_ADDBUTTONS, buttons.size(), LParam(buttons.data()));
    send_message(tb, TB_AUTOSIZE, 0, 0);
    tm_test::run_until_idle();
    recorder_->clear();
    return tb;
  }
  static Rect rect_of(Wnd tb, int command) {
    Rect r;
    send_message(tb, TB_GETITEMRECT, WParam(send_message(tb, TB_COMMANDTOINDEX, WParam(command), 0)), LParam(&r));
    return r;
  }
  static bool checked(Wnd tb, int command) { return send_message(tb, TB_ISBUTTONCHECKED, WParam(command), 0) != 0; }
  // The commands the parent received, in order.
  std::vector<int> commands(Wnd tb) const {
    std::vector<int> out;
    for (const auto& n : recorder_->notices())
      if (n.msg == WM_COMMAND) {
        EXPECT_EQ(n.from, tb);
        EXPECT_EQ(n.code, 0);
        out.push_back(n.id);
      }
    return out;
  }

  Wnd parent_ = nullptr;
  std::unique_ptr<NoticeRecorder> recorder_;
};

const std::vector<TbButton> kFrameButtons = {
    button(STD_FILEOPEN, 40058), separator(),
    button(STD_FIND, 40052),     button(STD_REPLACE, 40053),
    separator(),                 button(STD_PRINTPRE, 40018, TBSTYLE_CHECK, TBSTATE_ENABLED | TBSTATE_CHECKED),
    button(STD_UNDO, 40027, TBSTYLE_CHECK),
};

TEST_F(Toolbar, ClicksSendTheCommandAndCheckButtonsToggle) {
  Wnd tb = make(TBSTYLE_TOOLTIPS | TBSTYLE_FLAT | CCS_VERT | CCS_NODIVIDER, kFrameButtons);
  bool checked_when_told = false;
  handlers()[parent_] = [&](Wnd, uint32_t msg, WParam wp, LParam, LResult*) {
    if (msg == WM_COMMAND) checked_when_told = checked(tb, int(loword(wp)));
    return false;
  };
  struct Case {
    int command;
    bool checked_after;
  };
  const Case cases[] = {{40058, false}, {40018, false}, {40018, true}, {40027, true}, {40052, false}};
  for (const Case& c : cases) {
    recorder_->clear();
    ASSERT_TRUE(tm_test::click_toolbar_button(tb, c.command));
    tm_test::run_until_idle();
    EXPECT_EQ(commands(tb), std::vector<int>{c.command});
    EXPECT_EQ(checked(tb, c.command), c.checked_after) << c.command;
    EXPECT_EQ(checked_when_told, c.checked_after) << "the parent reads the new state";
    EXPECT_FALSE(send_message(tb, TB_ISBUTTONPRESSED, WParam(c.command), 0));
  }
  EXPECT_TRUE(checked(tb, 40027));
  EXPECT_FALSE(tm_test::click_toolbar_button(tb, 12345)) << "no such command";
  // A click on a separator does nothing.
  const Rect sep = [&] {
    Rect r;
    send_message(tb, TB_GETITEMRECT, 1, LParam(&r));
    return r;
  }();
  recorder_->clear();
  tm_test::click(tb, (sep.left + sep.right) / 2, (sep.top + sep.bottom) / 2);
  tm_test::run_until_idle();
  EXPECT_TRUE(commands(tb).empty());
}

TEST_F(Toolbar, ACheckGroupKeepsOneButtonChecked) {
  Wnd tb = make(0, {button(STD_CUT, 1, TBSTYLE_CHECKGROUP), button(STD_COPY, 2, TBSTYLE_CHECKGROUP),
                    button(STD_PASTE, 3, TBSTYLE_CHECKGROUP), separator(),
                    button(STD_HELP, 4, TBSTYLE_CHECKGROUP, TBSTATE_ENABLED | TBSTATE_CHECKED)});
  struct Case {
    int click;
    std::vector<bool> checked;  // buttons 1 to 4
  };
  const Case cases[] = {
      {2, {false, true, false, true}},  // the group after the separator is another group
      {3, {false, false, true, true}},
      {3, {false, false, true, true}},  // a checked group button stays checked
      {1, {true, false, false, true}},
  };
  for (const Case& c : cases) {
    tm_test::click_toolbar_button(tb, c.click);
    tm_test::run_until_idle();
    for (int id = 1; id <= 4; ++id) EXPECT_EQ(checked(tb, id), c.checked[size_t(id - 1)]) << "after " << c.click;
  }
  // By code too, the group keeps one.
  send_message(tb, TB_CHECKBUTTON, 2, 1);
  const std::vector<bool> group{checked(tb, 1), checked(tb, 2), checked(tb, 3)};
  EXPECT_EQ(group, (std::vector<bool>{false, true, false}));
}

TEST_F(Toolbar, StatesSetByCodeRaiseNothing) {
  Wnd tb = make(TBSTYLE_TOOLTIPS, kFrameButtons);
  EXPECT_EQ(send_message(tb, TB_BUTTONCOUNT, 0, 0), LResult(kFrameButtons.size()));
  EXPECT_EQ(send_message(tb, TB_ENABLEBUTTON, 40052, 0), 1);
  EXPECT_EQ(send_message(tb, TB_ISBUTTONENABLED, 40052, 0), 0);
  EXPECT_EQ(send_message(tb, TB_CHECKBUTTON, 40027, 1), 1);
  EXPECT_TRUE(checked(tb, 40027));
  EXPECT_EQ(send_message(tb, TB_SETSTATE, 40018, TBSTATE_ENABLED), 1);
  EXPECT_EQ(send_message(tb, TB_GETSTATE, 40018, 0), LResult(TBSTATE_ENABLED));
  EXPECT_EQ(send_message(tb, TB_GETSTATE, 777, 0), -1) << "an unknown id";
  EXPECT_EQ(send_message(tb, TB_ENABLEBUTTON, 777, 1), 0);
  tm_test::run_until_idle();
  EXPECT_TRUE(recorder_->notices().empty());

  // A disabled button and a disabled toolbar take no click.
  tm_test::click_toolbar_button(tb, 40052);
  tm_test::run_until_idle();
  EXPECT_TRUE(commands(tb).empty());
  enable_window(tb, false);
  tm_test::click_toolbar_button(tb, 40058);
  tm_test::run_until_idle();
  EXPECT_TRUE(commands(tb).empty());
  enable_window(tb, true);

  // A hidden button takes no room.
  const Rect before = rect_of(tb, 40053);
  send_message(tb, TB_HIDEBUTTON, 40052, 1);
  EXPECT_TRUE(send_message(tb, TB_ISBUTTONHIDDEN, 40052, 0));
  Rect r;
  EXPECT_EQ(send_message(tb, TB_GETITEMRECT, 2, LParam(&r)), 0);
  EXPECT_LT(rect_of(tb, 40053).left, before.left);

  // Reading, inserting and deleting buttons.
  TbButton got;
  ASSERT_EQ(send_message(tb, TB_GETBUTTON, 5, LParam(&got)), 1);
  EXPECT_EQ(got.command, 40018);
  EXPECT_EQ(got.style, TBSTYLE_CHECK);
  TbButton extra = button(STD_PRINT, 40006);
  EXPECT_EQ(send_message(tb, TB_INSERTBUTTON, 1, LParam(&extra)), 1);
  EXPECT_EQ(send_message(tb, TB_COMMANDTOINDEX, 40006, 0), 1);
  EXPECT_EQ(send_message(tb, TB_DELETEBUTTON, 0, 0), 1);
  EXPECT_EQ(send_message(tb, TB_COMMANDTOINDEX, 40058, 0), -1);
  EXPECT_EQ(send_message(tb, TB_DELETEBUTTON, 99, 0), 0);
  // Buttons given with a record of another size are refused.
  send_message(tb, TB_BUTTONSTRUCTSIZE, sizeof(TbButton) - 8, 0);
  EXPECT_EQ(send_message(tb, TB_ADDBUTTONS, 1, LParam(&extra)), 0);
}

TEST_F(Toolbar, ReleasingOffTheButtonIsNoClick) {
  Wnd tb = make(0, kFrameButtons);
  const Rect r = rect_of(tb, 40058);
  tm_test::mouse_down(tb, r.left + 5, r.top + 5);
  tm_test::run_until_idle();
  EXPECT_TRUE(send_message(tb, TB_ISBUTTONPRESSED, 40058, 0)) << "pressed while held";
  tm_test::mouse_move(tb, 300, 300);
  tm_test::mouse_up(tb, 300, 300);
  tm_test::run_until_idle();
  EXPECT_TRUE(commands(tb).empty());
  EXPECT_FALSE(send_message(tb, TB_ISBUTTONPRESSED, 40058, 0));
  EXPECT_EQ(get_capture(), nullptr);
}

TEST_F(Toolbar, ButtonsRunDownAColumnOrAlongARow) {
  for (uint32_t style : {CCS_VERT | CCS_NODIVIDER, uint32_t(0)}) {
    Wnd tb = make(TBSTYLE_FLAT | style, kFrameButtons);
    const bool down = style & CCS_VERT;
    const LResult size = send_message(tb, TB_GETBUTTONSIZE, 0, 0);
    const int bw = int(loword(uintptr_t(size))), bh = int(hiword(uintptr_t(size)));
    EXPECT_EQ(bw, 16 + 7);
    EXPECT_EQ(bh, 16 + 7);
    std::vector<Rect> rects;
    for (size_t i = 0; i < kFrameButtons.size(); ++i) {
      Rect r;
      ASSERT_EQ(send_message(tb, TB_GETITEMRECT, i, LParam(&r)), 1);
      rects.push_back(r);
    }
    for (size_t i = 1; i < rects.size(); ++i) {
      if (down) {
        EXPECT_EQ(rects[i].left, rects[0].left);
        EXPECT_EQ(rects[i].top, rects[i - 1].bottom) << "one button per row";
      } else {
        EXPECT_EQ(rects[i].top, rects[0].top);
        EXPECT_EQ(rects[i].left, rects[i - 1].right);
      }
    }
    EXPECT_EQ(down ? rects[1].height() : rects[1].width(), 8) << "a separator";
    // TB_AUTOSIZE: a column down the parent's left edge, or a row across its top.
    Rect wr, pc;
    get_window_rect(tb, &wr);
    get_client_rect(parent_, &pc);
    EXPECT_EQ(down ? wr.width() : wr.height(), (down ? bw : bh) + 4);
    EXPECT_EQ(down ? wr.height() : wr.width(), down ? pc.height() : pc.width());
    Size max;
    send_message(tb, TB_GETMAXSIZE, 0, LParam(&max));
    EXPECT_EQ(down ? max.cy : max.cx, 5 * (down ? bh : bw) + 2 * 8);
    destroy_window(tb);
  }
}

TEST_F(Toolbar, TooltipsAskTheParentAfterTheMouseRests) {
  const std::map<uintptr_t, const char16_t*> tips = {{40058, u"Ouvrir (Ctrl O)"}, {40052, u"Zoom + (F1)"}};
  recorder_->set_answer([&](NmHdr* h, LResult*) {
    if (h->code != TTN_GETDISPINFO) return false;
    auto* info = reinterpret_cast<NmTtDispInfo*>(h);
    auto it = tips.find(h->id_from);
    if (it != tips.end()) info->text = const_cast<char16_t*>(it->second);
    return true;
  });
  Wnd tb = make(TBSTYLE_TOOLTIPS | TBSTYLE_FLAT | CCS_VERT, kFrameButtons);
  Wnd tip = reinterpret_cast<Wnd>(send_message(tb, TB_GETTOOLTIPS, 0, 0));
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(get_class_name(tip), kTooltipsClass);

  // Nothing is asked before the delay has passed.
  const Rect r = rect_of(tb, 40058);
  tm_test::mouse_move(tb, r.left + 4, r.top + 4);
  tm_test::advance_time(kTooltipDelayMs / 2);
  EXPECT_TRUE(recorder_->with_code(TTN_GETDISPINFO).empty());
  EXPECT_FALSE(is_window_visible(tip));
  tm_test::advance_time(kTooltipDelayMs);
  ASSERT_EQ(recorder_->with_code(TTN_GETDISPINFO).size(), 1u);
  EXPECT_EQ(recorder_->with_code(TTN_GETDISPINFO)[0].id, 40058);
  EXPECT_EQ(recorder_->with_code(TTN_GETDISPINFO)[0].from, tip);
  EXPECT_TRUE(is_window_visible(tip));
  EXPECT_EQ(window_text_w(tip), u"Ouvrir (Ctrl O)");
  EXPECT_EQ(get_active_window(), parent_) << "the tip takes no activation";
  Rect tr;
  get_window_rect(tip, &tr);
  EXPECT_GT(tr.width(), 40) << "fitted to its text";

  // Leaving the button takes the tip away; another button asks again.
  tm_test::mouse_move(parent_, 400, 300);
  tm_test::advance_time(200);
  EXPECT_FALSE(is_window_visible(tip));
  recorder_->clear();
  EXPECT_EQ(tm_test::hover_toolbar_button(tb, 40052), tip);
  EXPECT_EQ(window_text_w(tip), u"Zoom + (F1)");
  // It goes by itself after a while, and a press takes it away at once.
  tm_test::advance_time(kTooltipShowMs + 200);
  EXPECT_FALSE(is_window_visible(tip));
  EXPECT_EQ(recorder_->with_code(TTN_GETDISPINFO).size(), 1u) << "not asked again while the mouse stays";
  EXPECT_EQ(tm_test::hover_toolbar_button(tb, 40058), tip);
  tm_test::mouse_down(tb, r.left + 4, r.top + 4);
  tm_test::run_until_idle();
  EXPECT_FALSE(is_window_visible(tip));
  tm_test::mouse_up(tb, r.left + 4, r.top + 4);
  tm_test::run_until_idle();

  // Without an answer, no tip (the button has no string).
  EXPECT_EQ(tm_test::hover_toolbar_button(tb, 40053), nullptr);
}

TEST_F(Toolbar, AButtonsStringIsTheTipOfLastResort) {
  Wnd tb = create_window(0, kToolbarClass, "", WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS, 0, 0, 0, 0, parent_, 10000);
  TbAddBitmap std_images;
  std_images.instance = HINST_COMMCTRL;
  std_images.id = IDB_STD_LARGE_COLOR;
  EXPECT_EQ(send_message(tb, TB_ADDBITMAP, 0, LParam(&std_images)), 0);
  EXPECT_EQ(send_message(tb, TB_ADDSTRING, 0, LParam(u"Imprimer\0Couper\0")), 0);
  EXPECT_EQ(send_message(tb, TB_ADDSTRING, 0, LParam(u"Coller\0")), 2);
  TbButton b[3] = {button(STD_PRINT, 1), button(STD_CUT, 2), button(STD_PASTE, 3)};
  b[0].string = 0;
  b[1].string = 1;
  b[2].string = intptr_t(u"Coller ici");  // a string of its own
  send_message(tb, TB_ADDBUTTONS, 3, LParam(b));
  send_message(tb, TB_AUTOSIZE, 0, 0);
  tm_test::run_until_idle();
  EXPECT_EQ(int(loword(uintptr_t(send_message(tb, TB_GETBUTTONSIZE, 0, 0)))), 24 + 7) << "large images";
  struct Case {
    int command;
    const char16_t* tip;
  };
  for (Case c : {Case{2, u"Couper"}, Case{1, u"Imprimer"}, Case{3, u"Coller ici"}}) {
    Wnd tip = tm_test::hover_toolbar_button(tb, c.command);
    ASSERT_NE(tip, nullptr) << c.command;
    EXPECT_EQ(window_text_w(tip), c.tip);
    EXPECT_EQ(recorder_->with_code(TTN_GETDISPINFO).back().id, c.command) << "the parent is asked first";
  }
  // No tooltips without TBSTYLE_TOOLTIPS.
  destroy_window(tb);
  Wnd plain = make(0, kFrameButtons);
  EXPECT_EQ(send_message(plain, TB_GETTOOLTIPS, 0, 0), 0);
  EXPECT_EQ(tm_test::hover_toolbar_button(plain, 40058), nullptr);
  EXPECT_TRUE(recorder_->with_code(TTN_GETDISPINFO).empty());
}

TEST_F(Toolbar, ButtonsShowTheirStates) {
  Wnd tb = make(TBSTYLE_FLAT | CCS_VERT, kFrameButtons);
  send_message(tb, TB_ENABLEBUTTON, 40052, 0);
  tm_test::run_until_idle();
  auto colours_in = [&](int command) {
    const Rect r = rect_of(tb, command);
    std::map<uint32_t, int> seen;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) ++seen[tm_test::pixel_at(tb, x, y)];
    return seen;
  };
  const auto open = colours_in(40058), disabled = colours_in(40052), checked_btn = colours_in(40018),
             unchecked = colours_in(40027);
  EXPECT_GT(open.size(), 2u) << "the image is drawn";
  EXPECT_TRUE(open.count(kFace)) << "around a transparent image the face shows";
  EXPECT_LE(disabled.size(), 4u) << "a disabled image is drawn in one grey";
  EXPECT_FALSE(checked_btn.count(kFace)) << "a checked button is sunken on a lighter face";
  EXPECT_TRUE(unchecked.count(kFace));
}

}  // namespace
