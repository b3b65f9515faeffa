// The tab control: items, the display area and the window rectangle worked out from
// each other, the user's choice (asked first, then told; refused when the parent says
// so), Ctrl+Tab, changes by code that raise nothing, clicks reaching the page over the
// display area, and painting that leaves the page alone.
#include <cstdint>
#include <string>

#include "platform/ui/ctl_tab.h"
#include "tests/platform/dialog_fixture.h"
#include "tests/support/harness_lists.h"

using namespace plat;
using namespace ui_test;

namespace {

constexpr int kId = 1057;

class CtlTab : public CtlTest {
 protected:
  void SetUp() override {
    CtlTest::SetUp();
    register_tab_control();
    handlers()[parent_] = [this](Wnd, uint32_t msg, WParam, LParam lp, LResult* r) {
      if (msg != WM_NOTIFY) return false;
      const auto* nm = reinterpret_cast<const NmHdr*>(lp);
      if (nm->hwnd_from != tab_) return false;
      heard_.push_back(nm->code);
      // The selection is still the old one while the parent is asked.
      if (nm->code == TCN_SELCHANGING) cur_when_asked_ = int(send_message(tab_, TCM_GETCURSEL, 0, 0));
      *r = nm->code == TCN_SELCHANGING && refuse_ ? 1 : 0;
      return true;
    };
  }
  Wnd make_tab(std::initializer_list<const char16_t*> labels, Rect r = Rect{6, 6, 406, 306}) {
    tab_ = make(kTabClass, "", WS_TABSTOP | WS_CLIPSIBLINGS, r, kId);
    int i = 0;
    for (const char16_t* l : labels) {
      std::u16string s = l;
      TcItem it;
      it.mask = TCIF_TEXT | TCIF_PARAM;
      it.text = s.data();
      it.param = LParam(1000 + i);
      EXPECT_EQ(send_message(tab_, TCM_INSERTITEM, WParam(i), LParam(reinterpret_cast<intptr_t>(&it))), i);
      ++i;
    }
    return tab_;
  }
  int cur() { return int(send_message(tab_, TCM_GETCURSEL, 0, 0)); }
  void choose(int index) {
    ASSERT_TRUE(tm_test::click_tab(tab_, index));
    tm_test::run_until_idle();
  }

  Wnd tab_ = nullptr;
  std::vector<int32_t> heard_;
  bool refuse_ = false;
  int cur_when_asked_ = -2;
};

TEST_F(CtlTab, ItemsHoldTheirLabelsAndWords) {
  make_tab({u"OSM", u"Polish format"});
  EXPECT_EQ(send_message(tab_, TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(cur(), 0) << "the first tab is selected when it comes";
  std::u16string label = u"Garmin";
  TcItem in;
  in.mask = TCIF_TEXT | TCIF_PARAM;
  in.text = label.data();
  in.param = LParam(INTPTR_MIN + 3);
  EXPECT_EQ(send_message(tab_, TCM_INSERTITEM, 0, LParam(reinterpret_cast<intptr_t>(&in))), 0);
  EXPECT_EQ(cur(), 1) << "the selected tab moves along";
  EXPECT_EQ(send_message(tab_, TCM_INSERTITEM, 99, LParam(reinterpret_cast<intptr_t>(&in))), 3) << "beyond the end: last";
  char16_t buf[32];
  TcItem out;
  out.mask = TCIF_TEXT | TCIF_PARAM;
  out.text = buf;
  out.text_max = 32;
  ASSERT_TRUE(send_message(tab_, TCM_GETITEM, 2, LParam(reinterpret_cast<intptr_t>(&out))));
  EXPECT_EQ(std::u16string(buf), u"Polish format");
  EXPECT_EQ(out.param, 1001);
  out.text_max = 4;
  ASSERT_TRUE(send_message(tab_, TCM_GETITEM, 0, LParam(reinterpret_cast<intptr_t>(&out))));
  EXPECT_EQ(std::u16string(buf), u"Gar") << "cut to the room given";
  EXPECT_EQ(out.param, INTPTR_MIN + 3);
  EXPECT_TRUE(send_message(tab_, TCM_DELETEITEM, 0, 0));
  EXPECT_EQ(cur(), 0);
  EXPECT_FALSE(send_message(tab_, TCM_DELETEITEM, 7, 0));
  EXPECT_FALSE(send_message(tab_, TCM_GETITEM, 7, LParam(reinterpret_cast<intptr_t>(&out))));
  EXPECT_TRUE(send_message(tab_, TCM_DELETEALLITEMS, 0, 0));
  EXPECT_EQ(send_message(tab_, TCM_GETITEMCOUNT, 0, 0), 0);
  EXPECT_EQ(cur(), -1);
}

TEST_F(CtlTab, TheDisplayAreaAndTheWindowRectangleGiveEachOther) {
  make_tab({u"OSM", u"Polish format"});
  Rect tab0, tab1;
  send_message(tab_, TCM_GETITEMRECT, 0, LParam(reinterpret_cast<intptr_t>(&tab0)));
  send_message(tab_, TCM_GETITEMRECT, 1, LParam(reinterpret_cast<intptr_t>(&tab1)));
  EXPECT_EQ(tab0.right, tab1.left) << "side by side";
  EXPECT_GT(tab1.width(), tab0.width()) << "wide enough for its label";
  const Rect displays[] = {Rect{0, 0, 388, 368}, Rect{16, 36, 392, 392}, Rect{-5, -5, 5, 5}};
  for (const Rect& display : displays) {
    Rect r = display;
    send_message(tab_, TCM_ADJUSTRECT, 1, LParam(reinterpret_cast<intptr_t>(&r)));
    EXPECT_LT(r.left, display.left);
    EXPECT_LE(r.top + tab0.bottom, display.top) << "the tabs lie above the display area";
    EXPECT_GT(r.right, display.right);
    EXPECT_GT(r.bottom, display.bottom);
    send_message(tab_, TCM_ADJUSTRECT, 0, LParam(reinterpret_cast<intptr_t>(&r)));
    EXPECT_EQ(r, display) << "and back";
  }
}

TEST_F(CtlTab, AClickOnATabAsksThenTells) {
  make_tab({u"OSM", u"Polish format", u"Garmin"});
  choose(1);
  EXPECT_EQ(heard_, (std::vector<int32_t>{TCN_SELCHANGING, TCN_SELCHANGE}));
  EXPECT_EQ(cur_when_asked_, 0);
  EXPECT_EQ(cur(), 1);
  EXPECT_EQ(get_focus(), tab_);
  heard_.clear();
  choose(1);
  EXPECT_TRUE(heard_.empty()) << "the selected tab again";
  refuse_ = true;
  choose(2);
  EXPECT_EQ(heard_, (std::vector<int32_t>{TCN_SELCHANGING}));
  EXPECT_EQ(cur(), 1) << "the parent kept the tab";
}

TEST_F(CtlTab, KeysChooseTheNextAndPreviousTabs) {
  make_tab({u"A", u"B", u"C"});
  set_focus(tab_);
  tm_test::run_until_idle();
  struct Step {
    int vk;
    unsigned mods;
    int cur;
  };
  const Step steps[] = {{VK_TAB, tm_test::MOD_CTRL, 1},
                        {VK_TAB, tm_test::MOD_CTRL, 2},
                        {VK_TAB, tm_test::MOD_CTRL, 0},  // round
                        {VK_TAB, tm_test::MOD_CTRL | tm_test::MOD_SHIFT, 2},
                        {VK_LEFT, 0, 1},
                        {VK_RIGHT, 0, 2},
                        {VK_RIGHT, 0, 2}};
  for (const Step& s : steps) {
    heard_.clear();
    tm_test::press_key(s.vk, s.mods);
    tm_test::run_until_idle();
    EXPECT_EQ(cur(), s.cur) << s.vk << " " << s.mods;
  }
  EXPECT_TRUE(heard_.empty()) << "Right on the last tab";
}

TEST_F(CtlTab, TheParentMayDestroyTheControlWhileItIsTold) {
  for (int32_t when : {TCN_SELCHANGING, TCN_SELCHANGE}) {
    make_tab({u"A", u"B"});
    Wnd tab = tab_;
    handlers()[parent_] = [tab, when](Wnd, uint32_t msg, WParam, LParam lp, LResult*) {
      if (msg == WM_NOTIFY && reinterpret_cast<const NmHdr*>(lp)->code == when && is_window(tab)) destroy_window(tab);
      return false;
    };
    tm_test::click_tab(tab, 1);
    tm_test::run_until_idle();
    EXPECT_FALSE(is_window(tab)) << when;
  }
}

TEST_F(CtlTab, TabsRemovedWhileTheParentIsAskedAreNeverSelected) {
  make_tab({u"A", u"B", u"C"});
  Wnd tab = tab_;
  handlers()[parent_] = [tab](Wnd, uint32_t msg, WParam, LParam lp, LResult* r) {
    if (msg != WM_NOTIFY || reinterpret_cast<const NmHdr*>(lp)->code != TCN_SELCHANGING) return false;
    send_message(tab, TCM_DELETEITEM, 2, 0);  // the tab being chosen goes
    *r = 0;
    return true;
  };
  const int chosen = 2;
  Rect r;
  ASSERT_EQ(send_message(tab_, TCM_GETITEMRECT, WParam(chosen), LParam(reinterpret_cast<intptr_t>(&r))), 1);
  tm_test::click_window_point(tab_, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(tab_, TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(cur(), 0) << "the selection stays on a tab that exists";
}

TEST_F(CtlTab, ChangesByCodeRaiseNothing) {
  make_tab({u"A", u"B", u"C"});
  EXPECT_EQ(send_message(tab_, TCM_SETCURSEL, 2, 0), 0);
  EXPECT_EQ(cur(), 2);
  EXPECT_EQ(send_message(tab_, TCM_SETCURSEL, 5, 0), -1);
  EXPECT_EQ(cur(), 2);
  send_message(tab_, TCM_DELETEITEM, 0, 0);
  EXPECT_EQ(cur(), 1);
  tm_test::run_until_idle();
  EXPECT_TRUE(heard_.empty());
}

TEST_F(CtlTab, ThePageOverTheDisplayAreaGetsItsClicksAndKeepsItsPixels) {
  make_tab({u"OSM", u"Polish format"});
  Rect area{6, 6, 406, 306};
  send_message(tab_, TCM_ADJUSTRECT, 0, LParam(reinterpret_cast<intptr_t>(&area)));
  // A page made after the tab control, as the programs do, with a button on it.
  Wnd page = child(parent_, 2000, area, WS_CHILD | WS_VISIBLE);
  Wnd button = create_window(0, "Button", "Appliquer", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 24, page, 1014);
  tm_test::run_until_idle();
  message_log().clear();
  tm_test::click(button, 40, 12);
  tm_test::run_until_idle();
  bool clicked = false;
  for (const Logged& l : logged(WM_COMMAND))
    clicked = clicked || (l.wnd == page && loword(l.wp) == 1014 && hiword(l.wp) == BN_CLICKED);
  EXPECT_TRUE(clicked) << "the button on the page was pressed";
  EXPECT_TRUE(heard_.empty());
  // The page's own background (the window colour) stays; the tab row is drawn.
  invalidate_rect(tab_, nullptr, true);
  tm_test::run_until_idle();
  EXPECT_EQ(tm_test::pixel_at(page, area.width() - 5, area.height() - 5), pixel_of(get_sys_color(COLOR_WINDOW)));
  Rect t1;
  send_message(tab_, TCM_GETITEMRECT, 1, LParam(reinterpret_cast<intptr_t>(&t1)));
  EXPECT_TRUE(any_pixel(tab_, t1, inky)) << "the label of the second tab";
}

}  // namespace
