// The list view's looks and geometry: texts painted in their cells, the header row,
// grid lines, the selection on the row or the label, columns auto-sized to their
// longest text (or header), and vertical scrolling to an item.
#include <memory>

#include "platform/ui/ctl_listview.h"
#include "tests/platform/ui_fixture.h"
#include "tests/support/harness_views.h"

using namespace plat;
using namespace ui_test;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kHighlight = 0xFF0078D7u;  // the selection colour of the system colours

int red(uint32_t px) { return int((px >> 16) & 255); }
int green(uint32_t px) { return int((px >> 8) & 255); }
int blue(uint32_t px) { return int(px & 255); }
bool inky(uint32_t px) { return red(px) + green(px) + blue(px) < 300; }
bool grey_line(uint32_t px) { return px != kWhite && red(px) == green(px) && green(px) == blue(px) && red(px) > 150; }

class ListViewPaint : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    register_listview_control();
    parent_ = top("Tableau", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{100, 100, 640, 480});
    tm_test::run_until_idle();
  }
  void TearDown() override {
    for (Wnd w : top_level_windows()) destroy_window(w);
    UiTest::TearDown();
  }
  Wnd make(uint32_t style, uint32_t ex_style, Rect r = Rect{10, 10, 410, 260}) {
    Wnd lv = create_window(0, kListViewClass, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | style, r.left, r.top,
                           r.width(), r.height(), parent_, 1002);
    send_message(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LParam(ex_style));
    return lv;
  }
  static void add_column(Wnd lv, const char16_t* text, int width) {
    LvColumn c;
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.text = const_cast<char16_t*>(text);
    c.cx = width;
    send_message(lv, LVM_INSERTCOLUMN, 1000, LParam(&c));
  }
  static void add_row(Wnd lv, std::vector<std::u16string> texts) {
    LvItem it;
    it.mask = LVIF_TEXT;
    it.item = int(send_message(lv, LVM_GETITEMCOUNT, 0, 0));
    it.text = texts[0].data();
    const int at = int(send_message(lv, LVM_INSERTITEM, 0, LParam(&it)));
    for (size_t s = 1; s < texts.size(); ++s) {
      LvItem sub;
      sub.sub_item = int(s);
      sub.text = texts[s].data();
      send_message(lv, LVM_SETITEMTEXT, WParam(at), LParam(&sub));
    }
  }
  static Rect cell(Wnd lv, int item, int column) {
    Rect r;
    r.top = column;
    r.left = LVIR_BOUNDS;
    send_message(lv, LVM_GETSUBITEMRECT, WParam(item), LParam(&r));
    return r;
  }
  // Whether a pixel inside the rectangle passes.
  static bool any(Wnd lv, const Rect& r, bool (*test)(uint32_t)) {
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (test(tm_test::pixel_at(lv, x, y))) return true;
    return false;
  }
  // The rightmost column of a rectangle holding ink, -1 without any.
  static int last_ink(Wnd lv, const Rect& r) {
    for (int x = r.right - 1; x >= r.left; --x)
      for (int y = r.top; y < r.bottom; ++y)
        if (inky(tm_test::pixel_at(lv, x, y))) return x;
    return -1;
  }
  static int column_width(Wnd lv, int c) { return int(send_message(lv, LVM_GETCOLUMNWIDTH, WParam(c), 0)); }

  Wnd parent_ = nullptr;
};

TEST_F(ListViewPaint, TextsHeaderAndGridLinesArePaintedInTheirCells) {
  for (uint32_t ex : {uint32_t(0), LVS_EX_GRIDLINES}) {
    Wnd lv = make(0, ex);
    add_column(lv, u"Nom", 150);
    add_column(lv, u"Type", 100);
    add_row(lv, {u"Saint-Étienne", u"ville"});
    add_row(lv, {u"Zürich", u""});
    tm_test::run_until_idle();
    const Rect a = cell(lv, 0, 0), b = cell(lv, 0, 1), c = cell(lv, 1, 0), empty = cell(lv, 1, 1);
    EXPECT_TRUE(any(lv, a, inky));
    EXPECT_TRUE(any(lv, b, inky));
    EXPECT_TRUE(any(lv, c, inky));
    EXPECT_FALSE(any(lv, Rect{empty.left + 1, empty.top, empty.right - 2, empty.bottom - 2}, inky));
    // The header row: the button face with the column names on it.
    const Rect header{0, 0, 150, a.top};
    ASSERT_GT(a.top, 10);
    EXPECT_NE(tm_test::pixel_at(lv, 75, 2), kWhite);
    EXPECT_TRUE(any(lv, header, inky));
    // Grid lines at the column's right edge and under each row.
    const bool grid = ex & LVS_EX_GRIDLINES;
    const int mid = (a.top + a.bottom) / 2;
    EXPECT_EQ(grey_line(tm_test::pixel_at(lv, a.right - 1, mid)), grid);
    EXPECT_EQ(grey_line(tm_test::pixel_at(lv, a.left + 3, a.bottom - 1)), grid);
    EXPECT_EQ(grey_line(tm_test::pixel_at(lv, 300, mid)), false) << "no grid right of the columns";
    destroy_window(lv);
  }
}

TEST_F(ListViewPaint, TheSelectionShowsOnTheRowOrTheLabel) {
  struct Case {
    uint32_t style, ex_style;
    bool focus;
    bool label_lit, sub_item_lit;
    bool grey;  // shown grey, without the focus
  };
  const Case cases[] = {
      {0, LVS_EX_FULLROWSELECT, true, true, true, false},
      {0, 0, true, true, false, false},
      {0, LVS_EX_FULLROWSELECT, false, false, false, false},  // hidden without the focus
      {LVS_SHOWSELALWAYS, LVS_EX_FULLROWSELECT, false, false, false, true},
  };
  for (const Case& c : cases) {
    Wnd lv = make(c.style, c.ex_style);
    add_column(lv, u"Nom", 150);
    add_column(lv, u"Type", 100);
    add_row(lv, {u"Albi", u"ville"});
    add_row(lv, {u"Caen", u"ville"});
    LvItem st;
    st.state = st.state_mask = LVIS_SELECTED;
    send_message(lv, LVM_SETITEMSTATE, 1, LParam(&st));
    set_focus(c.focus ? lv : parent_);
    tm_test::run_until_idle();
    const Rect label = cell(lv, 1, 0), sub = cell(lv, 1, 1);
    auto lit = [](uint32_t px) { return px == kHighlight; };
    EXPECT_EQ(any(lv, label, lit), c.label_lit) << c.style << "/" << c.ex_style << "/" << c.focus;
    EXPECT_EQ(any(lv, sub, lit), c.sub_item_lit) << c.style << "/" << c.ex_style << "/" << c.focus;
    EXPECT_EQ(tm_test::pixel_at(lv, sub.left + 60, sub.top + 2) != kWhite, c.sub_item_lit || c.grey);
    EXPECT_FALSE(any(lv, cell(lv, 0, 1), lit)) << "the other row";
    destroy_window(lv);
  }
}

TEST_F(ListViewPaint, AutoSizedColumnsFitTheirLongestText) {
  Wnd lv = make(LVS_NOSCROLL, LVS_EX_GRIDLINES);
  add_column(lv, u"Nom", 400);
  add_column(lv, u"Population de la commune", 60);
  add_column(lv, u"Code", 50);
  add_row(lv, {u"Aix", u"143", u"13"});
  add_row(lv, {u"Boulogne-Billancourt", u"121", u"92"});
  add_row(lv, {u"Sète", u"44", u"34"});
  tm_test::run_until_idle();
  // Where the longest text ends when nothing cuts it.
  const int wide_end = last_ink(lv, cell(lv, 1, 0));
  ASSERT_GT(wide_end, 40);

  EXPECT_EQ(send_message(lv, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE), 1);
  tm_test::run_until_idle();
  const int w0 = column_width(lv, 0);
  EXPECT_EQ(last_ink(lv, cell(lv, 1, 0)), wide_end) << "the longest text is shown whole";
  EXPECT_GT(w0, wide_end + 1);
  EXPECT_LT(w0, wide_end + 16);

  // The header's text counts with USEHEADER only.
  send_message(lv, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE);
  const int short_width = column_width(lv, 1);
  send_message(lv, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE_USEHEADER);
  const int header_width = column_width(lv, 1);
  EXPECT_LT(short_width, 40);
  EXPECT_GT(header_width, 100);
  tm_test::run_until_idle();
  const Rect head{w0, 0, w0 + header_width, cell(lv, 0, 1).top};
  EXPECT_LT(last_ink(lv, head), w0 + header_width - 3) << "the header text is not cut";

  // The last column with USEHEADER reaches the right edge.
  send_message(lv, LVM_SETCOLUMNWIDTH, 2, LVSCW_AUTOSIZE_USEHEADER);
  Rect rc;
  get_client_rect(lv, &rc);
  EXPECT_EQ(w0 + header_width + column_width(lv, 2), rc.right);
  EXPECT_EQ(send_message(lv, LVM_SETCOLUMNWIDTH, 5, LVSCW_AUTOSIZE), 0) << "no such column";
}

TEST_F(ListViewPaint, RowsScrollToShowAnItem) {
  Wnd lv = make(LVS_SINGLESEL, LVS_EX_FULLROWSELECT, Rect{10, 10, 310, 170});
  add_column(lv, u"Nom", 200);
  for (int i = 0; i < 60; ++i)
    add_row(lv, {u"Lieu " + std::u16string(1, char16_t(u'A' + i % 26)) + char16_t(u'0' + i / 26)});
  tm_test::run_until_idle();
  const int page = int(send_message(lv, LVM_GETCOUNTPERPAGE, 0, 0));
  ASSERT_GT(page, 3);
  ASSERT_LT(page, 10);
  ScrollInfo si;
  si.mask = SIF_RANGE | SIF_PAGE;
  ASSERT_TRUE(get_scroll_info(lv, SB_VERT, &si));
  EXPECT_EQ(si.max, 59);
  EXPECT_EQ(si.page, unsigned(page));
  EXPECT_TRUE(get_window_long(lv, GWL_STYLE) & WS_VSCROLL) << "the bar shows while the rows need it";

  Rect rc;
  get_client_rect(lv, &rc);
  struct Case {
    int item;
  };
  for (Case c : {Case{45}, Case{59}, Case{3}}) {
    send_message(lv, LVM_ENSUREVISIBLE, WParam(c.item), 0);
    Rect r;
    r.left = LVIR_BOUNDS;
    send_message(lv, LVM_GETITEMRECT, WParam(c.item), LParam(&r));
    EXPECT_GE(r.top, 0) << c.item;
    EXPECT_LE(r.bottom, rc.bottom) << c.item;
    const int top = int(send_message(lv, LVM_GETTOPINDEX, 0, 0));
    EXPECT_LE(top, c.item);
    EXPECT_GT(top + page, c.item);
  }

  // A click after scrolling selects the item under the mouse; Page Down moves a page.
  ASSERT_TRUE(tm_test::click_list_item(lv, 50));
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(lv, LVM_GETNEXTITEM, WParam(-1), LVNI_SELECTED), 50);
  tm_test::press_key(VK_NEXT);
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(lv, LVM_GETNEXTITEM, WParam(-1), LVNI_SELECTED), 50 + page - 1);
  // The wheel scrolls three rows.
  send_message(lv, LVM_ENSUREVISIBLE, 0, 0);
  tm_test::wheel(lv, 50, 60, -WHEEL_DELTA);
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(lv, LVM_GETTOPINDEX, 0, 0), 3);

  // Fewer rows than the page: the bar goes.
  send_message(lv, LVM_DELETEALLITEMS, 0, 0);
  tm_test::run_until_idle();
  EXPECT_FALSE(get_window_long(lv, GWL_STYLE) & WS_VSCROLL);
}

}  // namespace
