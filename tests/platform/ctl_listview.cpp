// The list view: columns, items and sub-items in UTF-16 with their data words, finding
// items, what a user's clicks and keys raise (selection changes, clicks, activation,
// column clicks, check boxes), what changes made by code raise (nothing but the
// deletion notices), sorting with a callback, and a parent that destroys the control
// while it is being told something.
#include <memory>

#include "platform/ui/ctl_listview.h"
#include "tests/platform/ui_fixture.h"
#include "tests/support/harness_views.h"

using namespace plat;
using namespace ui_test;
using tm_test::NoticeRecorder;

namespace {

class ListView : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    register_listview_control();
    parent_ = top("Recherche", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{100, 100, 640, 480});
    recorder_ = std::make_unique<NoticeRecorder>(parent_);
    tm_test::run_until_idle();
  }
  void TearDown() override {
    recorder_.reset();
    for (Wnd w : top_level_windows()) destroy_window(w);
    UiTest::TearDown();
  }

  Wnd make(uint32_t style, uint32_t ex_style = 0, Rect r = Rect{10, 10, 410, 260}) {
    Wnd lv = create_window(0, kListViewClass, "", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | style, r.left,
                           r.top, r.width(), r.height(), parent_, 1009);
    if (ex_style) send_message(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, ex_style, LParam(ex_style));
    return lv;
  }
  void add_column(Wnd lv, const char16_t* text, int width) {
    LvColumn c;
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.text = const_cast<char16_t*>(text);
    c.cx = width;
    send_message(lv, LVM_INSERTCOLUMN, 1000, LParam(&c));  // past the end: appended
  }
  // Appends a row: the item's text, then the sub-items.
  int add_row(Wnd lv, std::vector<std::u16string> texts, LParam data) {
    LvItem it;
    it.mask = LVIF_TEXT | LVIF_PARAM;
    it.item = int(send_message(lv, LVM_GETITEMCOUNT, 0, 0));
    it.text = texts[0].data();
    it.param = data;
    const int at = int(send_message(lv, LVM_INSERTITEM, 0, LParam(&it)));
    for (size_t s = 1; s < texts.size(); ++s) {
      LvItem sub;
      sub.sub_item = int(s);
      sub.text = texts[s].data();
      send_message(lv, LVM_SETITEMTEXT, WParam(at), LParam(&sub));
    }
    return at;
  }
  Wnd filled(uint32_t style = 0, uint32_t ex_style = LVS_EX_FULLROWSELECT) {
    Wnd lv = make(style, ex_style);
    add_column(lv, u"Nom", 200);
    add_column(lv, u"Type", 100);
    add_row(lv, {u"Saint-Étienne", u"ville"}, 101);
    add_row(lv, {u"Zürich", u"city"}, 102);
    add_row(lv, {u"Tōkyō 東京", u"都市"}, 103);
    add_row(lv, {u"Bois-Colombes", u"commune"}, 104);
    tm_test::run_until_idle();
    recorder_->clear();
    return lv;
  }
  static std::u16string text_of(Wnd lv, int item, int sub_item) {
    char16_t buf[64] = {};
    LvItem it;
    it.sub_item = sub_item;
    it.text = buf;
    it.text_max = 64;
    send_message(lv, LVM_GETITEMTEXT, WParam(item), LParam(&it));
    return buf;
  }
  static unsigned state_of(Wnd lv, int item) {
    return unsigned(send_message(lv, LVM_GETITEMSTATE, WParam(item), LVIS_SELECTED | LVIS_FOCUSED | LVIS_STATEIMAGEMASK));
  }
  static int selected(Wnd lv) { return int(send_message(lv, LVM_GETNEXTITEM, WParam(-1), LVNI_SELECTED)); }
  std::vector<int32_t> codes() const { return recorder_->codes(1009); }

  Wnd parent_ = nullptr;
  std::unique_ptr<NoticeRecorder> recorder_;
};

TEST_F(ListView, ItemsAndSubItemsKeepUtf16TextsAndDataWords) {
  Wnd lv = filled();
  EXPECT_EQ(send_message(lv, LVM_GETITEMCOUNT, 0, 0), 4);
  EXPECT_EQ(text_of(lv, 0, 0), u"Saint-Étienne");
  EXPECT_EQ(text_of(lv, 2, 0), u"Tōkyō 東京");
  EXPECT_EQ(text_of(lv, 2, 1), u"都市");
  EXPECT_EQ(text_of(lv, 3, 1), u"commune");

  // A data word is as wide as a pointer.
  const LParam wide = LParam(intptr_t(0x7123456789ABCDEFll));
  LvItem set;
  set.mask = LVIF_PARAM;
  set.item = 1;
  set.param = wide;
  EXPECT_EQ(send_message(lv, LVM_SETITEM, 0, LParam(&set)), 1);
  char16_t buf[5];
  LvItem get;
  get.mask = LVIF_TEXT | LVIF_PARAM;
  get.item = 1;
  get.text = buf;
  get.text_max = 5;
  ASSERT_EQ(send_message(lv, LVM_GETITEM, 0, LParam(&get)), 1);
  EXPECT_EQ(get.param, wide);
  EXPECT_EQ(std::u16string(buf), u"Züri") << "cut to the buffer and terminated";

  // Inserting in the middle moves the items after it, texts and data words together.
  LvItem ins;
  ins.mask = LVIF_TEXT | LVIF_PARAM;
  ins.item = 1;
  ins.text = const_cast<char16_t*>(u"Aix");
  ins.param = 200;
  EXPECT_EQ(send_message(lv, LVM_INSERTITEM, 0, LParam(&ins)), 1);
  EXPECT_EQ(text_of(lv, 2, 0), u"Zürich");
  get.item = 2;
  send_message(lv, LVM_GETITEM, 0, LParam(&get));
  EXPECT_EQ(get.param, wide);
  EXPECT_EQ(text_of(lv, 1, 1), u"") << "a new item's sub-items are empty";

  // Bad indices and sub-items are refused.
  LvItem bad;
  bad.sub_item = 2;  // only two columns
  bad.text = buf;
  EXPECT_EQ(send_message(lv, LVM_SETITEMTEXT, 0, LParam(&bad)), 0);
  EXPECT_EQ(send_message(lv, LVM_GETITEMTEXT, 9, LParam(&get)), 0);
  EXPECT_EQ(send_message(lv, LVM_DELETEITEM, 9, 0), 0);
  EXPECT_TRUE(recorder_->notices().empty());
}

TEST_F(ListView, ColumnsCarryTheirSubItems) {
  Wnd lv = filled();
  add_column(lv, u"Pays", 80);
  LvItem sub;
  sub.sub_item = 2;
  sub.text = const_cast<char16_t*>(u"Suisse");
  EXPECT_EQ(send_message(lv, LVM_SETITEMTEXT, 1, LParam(&sub)), 1);
  char16_t buf[16];
  LvColumn col;
  col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  col.text = buf;
  col.text_max = 16;
  ASSERT_EQ(send_message(lv, LVM_GETCOLUMN, 1, LParam(&col)), 1);
  EXPECT_EQ(std::u16string(buf), u"Type");
  EXPECT_EQ(col.cx, 100);
  EXPECT_EQ(col.sub_item, 1);
  EXPECT_EQ(send_message(lv, LVM_GETCOLUMNWIDTH, 2, 0), 80);

  // Deleting the middle column takes its sub-items; the next ones move down.
  EXPECT_EQ(send_message(lv, LVM_DELETECOLUMN, 1, 0), 1);
  EXPECT_EQ(text_of(lv, 1, 0), u"Zürich");
  EXPECT_EQ(text_of(lv, 1, 1), u"Suisse");
  EXPECT_EQ(send_message(lv, LVM_GETCOLUMNWIDTH, 1, 0), 80);
  // Inserting one before it gives empty sub-items there.
  LvColumn ins;
  ins.mask = LVCF_TEXT;
  ins.text = const_cast<char16_t*>(u"Région");
  EXPECT_EQ(send_message(lv, LVM_INSERTCOLUMN, 1, LParam(&ins)), 1);
  EXPECT_EQ(text_of(lv, 1, 1), u"");
  EXPECT_EQ(text_of(lv, 1, 2), u"Suisse");
  EXPECT_GT(send_message(lv, LVM_GETCOLUMNWIDTH, 1, 0), 20) << "as wide as its header without a width";
  EXPECT_EQ(send_message(lv, LVM_DELETECOLUMN, 7, 0), 0);
  EXPECT_EQ(send_message(lv, LVM_GETCOLUMN, 7, LParam(&col)), 0);
}

TEST_F(ListView, FindItemByDataWordOrText) {
  Wnd lv = filled();
  struct Case {
    unsigned flags;
    const char16_t* text;
    LParam data;
    int start;
    int expected;
  };
  const Case cases[] = {
      {LVFI_PARAM, nullptr, 103, -1, 2},
      {LVFI_PARAM, nullptr, 999, -1, -1},
      {LVFI_STRING, u"zürich", 0, -1, 1},          // case ignored, accents kept
      {LVFI_STRING, u"ZÜRICH", 0, -1, 1},
      {LVFI_STRING, u"Zur", 0, -1, -1},            // the whole text
      {LVFI_PARTIAL | LVFI_STRING, u"bois", 0, -1, 3},
      {LVFI_PARTIAL | LVFI_STRING, u"S", 0, 0, -1},  // the search starts after the start item
      {LVFI_PARTIAL | LVFI_STRING | LVFI_WRAP, u"S", 0, 0, 0},
      {LVFI_PARAM | LVFI_WRAP, nullptr, 101, 2, 0},
  };
  for (const Case& c : cases) {
    LvFindInfo fi;
    fi.flags = c.flags;
    fi.text = c.text;
    fi.param = c.data;
    EXPECT_EQ(send_message(lv, LVM_FINDITEM, WParam(intptr_t(c.start)), LParam(&fi)), c.expected)
        << "flags " << c.flags << " start " << c.start;
  }
}

TEST_F(ListView, AUserClickSelectsAndTellsTheParentTheNewSelection) {
  Wnd lv = filled(LVS_SINGLESEL | LVS_SHOWSELALWAYS);
  int selected_in_click = -2;
  recorder_->set_answer([&](NmHdr* h, LResult*) {
    if (h->code == NM_CLICK) selected_in_click = selected(lv);
    return false;
  });
  ASSERT_TRUE(tm_test::click_list_item(lv, 1));
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), (std::vector<int32_t>{LVN_ITEMCHANGED, NM_CLICK}));
  auto changes = recorder_->with_code(LVN_ITEMCHANGED);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].item, 1);
  EXPECT_EQ(changes[0].new_state, LVIS_SELECTED | LVIS_FOCUSED);
  EXPECT_EQ(changes[0].old_state, 0u);
  EXPECT_EQ(changes[0].changed, LVIF_STATE);
  EXPECT_EQ(changes[0].data, 102);
  EXPECT_EQ(selected_in_click, 1) << "the parent reads the new selection in NM_CLICK";
  EXPECT_EQ(recorder_->with_code(NM_CLICK)[0].item, 1);
  EXPECT_EQ(get_focus(), lv);

  // Another item: the old one loses the selection first.
  recorder_->clear();
  ASSERT_TRUE(tm_test::click_list_item(lv, 3, 1));
  tm_test::run_until_idle();
  changes = recorder_->with_code(LVN_ITEMCHANGED);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].item, 1);
  EXPECT_EQ(changes[0].new_state, 0u);
  EXPECT_EQ(changes[1].item, 3);
  EXPECT_EQ(changes[1].new_state, LVIS_SELECTED | LVIS_FOCUSED);
  EXPECT_EQ(recorder_->with_code(NM_CLICK)[0].sub_item, 1);
  EXPECT_EQ(selected(lv), 3);
  EXPECT_EQ(send_message(lv, LVM_GETSELECTEDCOUNT, 0, 0), 1);

  // Again on the same item: nothing changes, the click is still told.
  recorder_->clear();
  tm_test::click_list_item(lv, 3);
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), std::vector<int32_t>{NM_CLICK});
}

TEST_F(ListView, SelectingAndCheckingByCodeRaisesNothing) {
  struct Case {
    uint32_t style;
    std::vector<int> select;  // items selected by code, in order
    std::vector<int> expected;
  };
  const Case cases[] = {
      {LVS_SINGLESEL, {0, 2}, {2}},
      {0, {0, 2}, {0, 2}},
  };
  for (const Case& c : cases) {
    Wnd lv = filled(c.style, LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES);
    for (int i : c.select) {
      LvItem st;
      st.state = LVIS_SELECTED | LVIS_FOCUSED;
      st.state_mask = LVIS_SELECTED | LVIS_FOCUSED;
      send_message(lv, LVM_SETITEMSTATE, WParam(i), LParam(&st));
    }
    LvItem check;
    check.state = index_to_state_image(2);
    check.state_mask = LVIS_STATEIMAGEMASK;
    send_message(lv, LVM_SETITEMSTATE, 1, LParam(&check));
    LvItem set;
    set.mask = LVIF_STATE;
    set.item = 3;
    set.state = 0;
    set.state_mask = LVIS_SELECTED;
    send_message(lv, LVM_SETITEM, 0, LParam(&set));
    tm_test::run_until_idle();
    std::vector<int> got;
    for (int i = int(send_message(lv, LVM_GETNEXTITEM, WParam(-1), LVNI_SELECTED)); i >= 0;
         i = int(send_message(lv, LVM_GETNEXTITEM, WParam(i), LVNI_SELECTED)))
      got.push_back(i);
    EXPECT_EQ(got, c.expected) << "style " << c.style;
    EXPECT_EQ(send_message(lv, LVM_GETNEXTITEM, WParam(-1), LVNI_FOCUSED), c.select.back()) << "one focused item";
    EXPECT_EQ(state_image_of(state_of(lv, 1)), 2u);
    EXPECT_EQ(state_image_of(state_of(lv, 0)), 1u) << "items get an unchecked box";
    EXPECT_TRUE(recorder_->notices().empty()) << "style " << c.style;
    destroy_window(lv);
  }
}

TEST_F(ListView, DoubleClickAndEnterActivateTheItem) {
  Wnd lv = filled(LVS_SINGLESEL);
  ASSERT_TRUE(tm_test::double_click_list_item(lv, 2));
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), (std::vector<int32_t>{LVN_ITEMCHANGED, NM_CLICK, NM_DBLCLK, LVN_ITEMACTIVATE}));
  EXPECT_EQ(recorder_->with_code(LVN_ITEMACTIVATE)[0].item, 2);
  EXPECT_EQ(recorder_->with_code(LVN_ITEMACTIVATE)[0].data, 103);

  recorder_->clear();
  tm_test::press_key(VK_RETURN);
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), (std::vector<int32_t>{LVN_KEYDOWN, NM_RETURN, LVN_ITEMACTIVATE}));
  EXPECT_EQ(recorder_->with_code(LVN_KEYDOWN)[0].key, VK_RETURN);
  EXPECT_EQ(recorder_->with_code(LVN_ITEMACTIVATE)[0].item, 2);

  // Below the items: a double click, no activation, and the selection goes.
  recorder_->clear();
  tm_test::double_click(lv, 50, 200);
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), (std::vector<int32_t>{LVN_ITEMCHANGED, NM_CLICK, NM_DBLCLK}));
  EXPECT_EQ(recorder_->with_code(NM_DBLCLK)[0].item, -1);
  EXPECT_EQ(selected(lv), -1);
}

TEST_F(ListView, KeysMoveTheSelectionAndTellTheParent) {
  Wnd lv = filled(LVS_SINGLESEL);
  tm_test::click_list_item(lv, 0);
  tm_test::run_until_idle();
  struct Case {
    int vk;
    int expected;
  };
  for (Case c : {Case{VK_DOWN, 1}, Case{VK_END, 3}, Case{VK_DOWN, 3}, Case{VK_UP, 2}, Case{VK_HOME, 0}}) {
    recorder_->clear();
    tm_test::press_key(c.vk);
    tm_test::run_until_idle();
    EXPECT_EQ(selected(lv), c.expected) << "key " << c.vk;
    const auto changes = recorder_->with_code(LVN_ITEMCHANGED);
    const bool moved = !changes.empty();
    EXPECT_EQ(moved, c.vk != VK_DOWN || c.expected != 3) << "key " << c.vk;
    EXPECT_EQ(recorder_->codes(1009).front(), LVN_KEYDOWN);
  }
}

TEST_F(ListView, RightClickSelectsAndRaisesRClick) {
  Wnd lv = filled(LVS_SINGLESEL);
  ASSERT_TRUE(tm_test::click_list_item(lv, 2, 0, MouseButton::right));
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), (std::vector<int32_t>{LVN_ITEMCHANGED, NM_RCLICK}));
  EXPECT_EQ(recorder_->with_code(NM_RCLICK)[0].item, 2);
  EXPECT_EQ(selected(lv), 2);
}

TEST_F(ListView, CheckBoxesFlipOnAClickWithoutMovingTheSelection) {
  Wnd lv = filled(0, LVS_EX_CHECKBOXES);
  tm_test::click_list_item(lv, 0);
  tm_test::run_until_idle();
  recorder_->clear();
  ASSERT_TRUE(tm_test::click_list_check(lv, 2));
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), (std::vector<int32_t>{LVN_ITEMCHANGED, NM_CLICK}));
  const auto change = recorder_->with_code(LVN_ITEMCHANGED)[0];
  EXPECT_EQ(change.item, 2);
  EXPECT_EQ(state_image_of(change.old_state), 1u);
  EXPECT_EQ(state_image_of(change.new_state), 2u);
  EXPECT_EQ(selected(lv), 0);
  EXPECT_EQ(state_image_of(state_of(lv, 2)), 2u);

  // Space flips the focused item's box.
  recorder_->clear();
  tm_test::press_key(VK_SPACE);
  tm_test::run_until_idle();
  EXPECT_EQ(state_image_of(state_of(lv, 0)), 2u);
  EXPECT_EQ(recorder_->with_code(LVN_ITEMCHANGED).size(), 1u);
}

// The sort callbacks read their texts from a table indexed by the data words, or (by
// index) from the list itself while it sorts.
std::vector<std::u16string> g_names;
Wnd g_sorted = nullptr;

int by_name(LParam a, LParam b, LParam descending) {
  const int r = g_names[size_t(a)].compare(g_names[size_t(b)]);
  return descending ? -r : r;
}

int by_type_text(LParam a, LParam b, LParam) {
  char16_t x[32], y[32];
  LvItem ia, ib;
  ia.sub_item = ib.sub_item = 1;
  ia.text = x;
  ib.text = y;
  ia.text_max = ib.text_max = 32;
  send_message(g_sorted, LVM_GETITEMTEXT, WParam(a), LParam(&ia));
  send_message(g_sorted, LVM_GETITEMTEXT, WParam(b), LParam(&ib));
  return std::u16string(x).compare(y);
}

int always_less(LParam, LParam, LParam) { return -1; }

TEST_F(ListView, AColumnClickSortsWithTheCallback) {
  Wnd lv = make(LVS_SINGLESEL, LVS_EX_FULLROWSELECT);
  add_column(lv, u"Nom", 200);
  add_column(lv, u"Type", 100);
  g_names = {u"Nantes", u"Albi", u"Rennes", u"Caen"};
  const std::u16string types[] = {u"d", u"b", u"a", u"c"};
  for (size_t i = 0; i < g_names.size(); ++i) add_row(lv, {g_names[i], types[i]}, LParam(i));
  send_message(lv, LVM_ENSUREVISIBLE, 0, 0);
  LvItem st;
  st.state = st.state_mask = LVIS_SELECTED;
  send_message(lv, LVM_SETITEMSTATE, 2, LParam(&st));  // "Rennes"
  tm_test::run_until_idle();
  recorder_->clear();

  // The parent sorts when told of a click on the first column's header.
  recorder_->set_answer([&](NmHdr* h, LResult*) {
    if (h->code == LVN_COLUMNCLICK && reinterpret_cast<NmListView*>(h)->sub_item == 0)
      send_message(lv, LVM_SORTITEMS, 1, LParam(&by_name));
    return false;
  });
  ASSERT_TRUE(tm_test::click_list_header(lv, 0));
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), std::vector<int32_t>{LVN_COLUMNCLICK});
  EXPECT_EQ(recorder_->with_code(LVN_COLUMNCLICK)[0].sub_item, 0);
  EXPECT_EQ(recorder_->with_code(LVN_COLUMNCLICK)[0].item, -1);
  const std::u16string descending[] = {u"Rennes", u"Nantes", u"Caen", u"Albi"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(text_of(lv, i, 0), descending[i]);
  EXPECT_EQ(text_of(lv, 0, 1), u"a") << "sub-items move with their item";
  EXPECT_EQ(selected(lv), 0) << "the selection moves with its item";

  // By index, reading the list during the sort.
  g_sorted = lv;
  EXPECT_EQ(send_message(lv, LVM_SORTITEMSEX, 0, LParam(&by_type_text)), 1);
  const std::u16string by_type[] = {u"Rennes", u"Albi", u"Caen", u"Nantes"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(text_of(lv, i, 0), by_type[i]);

  // A comparison that contradicts itself gives some order and loses nothing.
  EXPECT_EQ(send_message(lv, LVM_SORTITEMS, 0, LParam(&always_less)), 1);
  EXPECT_EQ(send_message(lv, LVM_GETITEMCOUNT, 0, 0), 4);
  for (const std::u16string& n : g_names) {
    LvFindInfo fi;
    fi.flags = LVFI_STRING;
    fi.text = n.c_str();
    EXPECT_GE(send_message(lv, LVM_FINDITEM, WParam(-1), LParam(&fi)), 0);
  }
  EXPECT_EQ(send_message(lv, LVM_SORTITEMS, 0, 0), 0) << "no callback";
}

TEST_F(ListView, HeadersWithoutSortingRaiseNoColumnClick) {
  struct Case {
    uint32_t style;
    bool twice;  // a double click
    std::vector<int32_t> expected;
  };
  const Case cases[] = {
      {0, false, {LVN_COLUMNCLICK}},
      {0, true, {LVN_COLUMNCLICK}},  // the second press of a double click is no new click
      {LVS_NOSORTHEADER, false, {}},
  };
  for (const Case& c : cases) {
    Wnd lv = filled(c.style);
    if (c.twice) {
      tm_test::double_click(lv, 250, 4);
    } else {
      tm_test::click_list_header(lv, 1);
    }
    tm_test::run_until_idle();
    EXPECT_EQ(codes(), c.expected) << "style " << c.style;
    if (!c.expected.empty()) {
      EXPECT_EQ(recorder_->with_code(LVN_COLUMNCLICK)[0].sub_item, 1);
    }
    destroy_window(lv);
  }
}

TEST_F(ListView, HitTestsNameTheItemAndColumn) {
  Wnd lv = filled(0, LVS_EX_CHECKBOXES);  // no full-row selection
  Rect label, cell1, box;
  label.left = LVIR_LABEL;
  send_message(lv, LVM_GETITEMRECT, 1, LParam(&label));
  cell1.top = 1;
  cell1.left = LVIR_BOUNDS;
  send_message(lv, LVM_GETSUBITEMRECT, 1, LParam(&cell1));
  ASSERT_FALSE(label.empty());
  ASSERT_FALSE(cell1.empty());
  box = Rect{0, label.top, label.left, label.bottom};
  struct Case {
    Point pt;
    int item, flags;         // LVM_HITTEST
    int sub_item_item, sub;  // LVM_SUBITEMHITTEST
  };
  const int my = (label.top + label.bottom) / 2;
  const Case cases[] = {
      {Point{label.left + 10, my}, 1, int(LVHT_ONITEMLABEL), 1, 0},
      {Point{box.left + 10, my}, 1, int(LVHT_ONITEMSTATEICON), 1, 0},
      {Point{cell1.left + 10, my}, -1, int(LVHT_NOWHERE), 1, 1},  // a sub-item is not the item itself
      {Point{50, 230}, -1, int(LVHT_NOWHERE), -1, 0},             // below the items
      {Point{-5, my}, -1, int(LVHT_TOLEFT), -1, 0},
  };
  for (const Case& c : cases) {
    LvHitTestInfo ht;
    ht.pt = c.pt;
    EXPECT_EQ(send_message(lv, LVM_HITTEST, 0, LParam(&ht)), c.item) << c.pt.x << "," << c.pt.y;
    EXPECT_EQ(int(ht.flags), c.flags) << c.pt.x << "," << c.pt.y;
    LvHitTestInfo sub;
    sub.pt = c.pt;
    EXPECT_EQ(send_message(lv, LVM_SUBITEMHITTEST, 0, LParam(&sub)), c.sub_item_item) << c.pt.x;
    EXPECT_EQ(sub.sub_item, c.sub) << c.pt.x;
  }
  // With full-row selection the whole row is the item.
  send_message(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  LvHitTestInfo ht;
  ht.pt = Point{cell1.left + 10, my};
  EXPECT_EQ(send_message(lv, LVM_HITTEST, 0, LParam(&ht)), 1);
  EXPECT_EQ(ht.flags, LVHT_ONITEMLABEL);
}

TEST_F(ListView, DeletingByCodeTellsEachDataWord) {
  Wnd lv = filled();
  EXPECT_EQ(send_message(lv, LVM_DELETEITEM, 1, 0), 1);
  tm_test::run_until_idle();
  ASSERT_EQ(codes(), std::vector<int32_t>{LVN_DELETEITEM});
  EXPECT_EQ(recorder_->notices()[0].data, 102);
  EXPECT_EQ(text_of(lv, 1, 0), u"Tōkyō 東京");

  struct Case {
    LResult answer_to_all;
    std::vector<int32_t> expected;
  };
  const Case cases[] = {
      {0, {LVN_DELETEALLITEMS, LVN_DELETEITEM, LVN_DELETEITEM, LVN_DELETEITEM}},
      {1, {LVN_DELETEALLITEMS}},  // the parent needs no notice per item
  };
  for (const Case& c : cases) {
    Wnd other = filled();
    send_message(other, LVM_DELETEITEM, 0, 0);
    recorder_->clear();
    recorder_->set_answer([&](NmHdr* h, LResult* r) {
      *r = c.answer_to_all;
      return h->code == LVN_DELETEALLITEMS;
    });
    EXPECT_EQ(send_message(other, LVM_DELETEALLITEMS, 0, 0), 1);
    EXPECT_EQ(codes(), c.expected);
    if (c.expected.size() > 1) {
      EXPECT_EQ(recorder_->with_code(LVN_DELETEITEM)[2].data, 104);
    }
    EXPECT_EQ(send_message(other, LVM_GETITEMCOUNT, 0, 0), 0);
    recorder_->set_answer(nullptr);
    destroy_window(other);
  }
}

TEST_F(ListView, AParentThatDestroysTheControlWhileToldIsSafe) {
  for (int32_t code : {LVN_ITEMCHANGED, NM_CLICK, LVN_DELETEITEM, LVN_KEYDOWN}) {
    Wnd lv = filled(LVS_SINGLESEL);
    recorder_->set_answer([&, code](NmHdr* h, LResult*) {
      if (h->code == code && is_window(lv)) destroy_window(lv);
      return false;
    });
    if (code == LVN_DELETEITEM) {
      send_message(lv, LVM_DELETEALLITEMS, 0, 0);
    } else if (code == LVN_KEYDOWN) {
      set_focus(lv);
      tm_test::press_key(VK_DOWN);
    } else {
      tm_test::click_list_item(lv, 1);
    }
    tm_test::run_until_idle();
    EXPECT_FALSE(is_window(lv)) << "code " << code;
    recorder_->set_answer(nullptr);
  }
}

}  // namespace
