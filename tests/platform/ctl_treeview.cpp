// The tree view: inserting items in their places, data words, navigation between
// parents, children and siblings, state images as check boxes, opening and closing,
// deleting; what a user's clicks and keys raise, and what changes made by code raise
// (nothing but the deletion notices).
#include <memory>

#include "platform/ui/ctl_treeview.h"
#include "tests/platform/ui_fixture.h"
#include "tests/support/harness_views.h"

using namespace plat;
using namespace ui_test;
using tm_test::NoticeRecorder;
using tm_test::TreePart;

namespace {

constexpr uint32_t kCheckTree = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS |
                                TVS_DISABLEDRAGDROP | TVS_CHECKBOXES | TVS_FULLROWSELECT;

class TreeView : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    register_treeview_control();
    parent_ = top("Gestion des couches graphiques", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{100, 100, 700, 520});
    recorder_ = std::make_unique<NoticeRecorder>(parent_);
    tm_test::run_until_idle();
  }
  void TearDown() override {
    recorder_.reset();
    for (Wnd w : top_level_windows()) destroy_window(w);
    UiTest::TearDown();
  }
  Wnd make(uint32_t style = kCheckTree) {
    return create_window(0, kTreeViewClass, "", WS_CHILD | WS_VISIBLE | WS_BORDER | style, 8, 8, 400, 300, parent_,
                         1002);
  }
  static TreeItem insert(Wnd tv, TreeItem parent, const char16_t* text, LParam data, TreeItem after = TVI_LAST,
                         int state_image = -1) {
    TvInsertStruct ins;
    ins.parent = parent;
    ins.insert_after = after;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM;
    ins.item.text = const_cast<char16_t*>(text);
    ins.item.param = data;
    if (state_image >= 0) {
      ins.item.mask |= TVIF_STATE;
      ins.item.state = tree_state_image(unsigned(state_image));
      ins.item.state_mask = TVIS_STATEIMAGEMASK;
    }
    return reinterpret_cast<TreeItem>(send_message(tv, TVM_INSERTITEM, 0, LParam(&ins)));
  }
  static TreeItem next(Wnd tv, unsigned how, TreeItem item = nullptr) {
    return reinterpret_cast<TreeItem>(send_message(tv, TVM_GETNEXTITEM, how, LParam(item)));
  }
  static std::u16string text_of(Wnd tv, TreeItem item) {
    char16_t buf[64] = {};
    TvItem it;
    it.mask = TVIF_TEXT;
    it.item = item;
    it.text = buf;
    it.text_max = 64;
    send_message(tv, TVM_GETITEM, 0, LParam(&it));
    return buf;
  }
  static unsigned state_of(Wnd tv, TreeItem item) {
    return unsigned(send_message(tv, TVM_GETITEMSTATE, WParam(item), TVIS_SELECTED | TVIS_EXPANDED | TVIS_STATEIMAGEMASK));
  }
  static unsigned check_of(Wnd tv, TreeItem item) { return tree_state_image_of(state_of(tv, item)); }
  std::vector<int32_t> codes() const { return recorder_->codes(1002); }

  // Folders as the layers window shows them: two files, one with sub-folders.
  struct Folders {
    TreeItem carte, routes, nationales, departementales, rivieres, gps;
  };
  Folders folders(Wnd tv) {
    Folders f;
    f.carte = insert(tv, TVI_ROOT, u"Carte topographique", 0, TVI_LAST, 0);
    f.routes = insert(tv, f.carte, u"Routes", 1, TVI_LAST, 1);
    f.nationales = insert(tv, f.routes, u"Nationales", 2, TVI_LAST, 1);
    f.departementales = insert(tv, f.routes, u"Départementales", 3, TVI_LAST, 1);
    f.rivieres = insert(tv, f.carte, u"Rivières", 4, TVI_LAST, 1);
    f.gps = insert(tv, TVI_ROOT, u"Trace GPS 東京", 5, TVI_LAST, 0);
    send_message(tv, TVM_EXPAND, TVE_EXPAND, LParam(f.carte));
    tm_test::run_until_idle();
    recorder_->clear();
    return f;
  }

  Wnd parent_ = nullptr;
  std::unique_ptr<NoticeRecorder> recorder_;
};

TEST_F(TreeView, ItemsGoInTheirPlacesAndNavigationFollowsTheTree) {
  Wnd tv = make(TVS_HASBUTTONS | TVS_HASLINES);
  TreeItem c = insert(tv, TVI_ROOT, u"Caen", 3);
  TreeItem a = insert(tv, nullptr, u"albi", 1, TVI_FIRST);
  TreeItem b = insert(tv, TVI_ROOT, u"Brest", 2, TVI_SORT);  // between albi and Caen, case ignored
  TreeItem z = insert(tv, TVI_ROOT, u"Zürich", 4, TVI_SORT);
  TreeItem a2 = insert(tv, a, u"quartier 2", 12);
  TreeItem a1 = insert(tv, a, u"quartier 1", 11, TVI_FIRST);
  TreeItem a15 = insert(tv, a, u"quartier 1½", 15, a1);  // after a given sibling
  ASSERT_TRUE(c && a && b && z && a1 && a2 && a15);
  EXPECT_EQ(insert(tv, b, u"ailleurs", 0, a1), nullptr) << "a place that is not a child of the parent";
  EXPECT_EQ(insert(tv, reinterpret_cast<TreeItem>(uintptr_t(0x7777777)), u"x", 0), nullptr) << "an unknown parent";
  EXPECT_EQ(send_message(tv, TVM_GETCOUNT, 0, 0), 7);

  struct Case {
    unsigned how;
    TreeItem from, expected;
  };
  const Case cases[] = {
      {TVGN_ROOT, nullptr, a},       {TVGN_NEXT, a, b},          {TVGN_NEXT, b, c},
      {TVGN_NEXT, c, z},             {TVGN_NEXT, z, nullptr},    {TVGN_PREVIOUS, c, b},
      {TVGN_PREVIOUS, a, nullptr},   {TVGN_CHILD, a, a1},        {TVGN_NEXT, a1, a15},
      {TVGN_NEXT, a15, a2},          {TVGN_PARENT, a2, a},       {TVGN_PARENT, a, nullptr},
      {TVGN_CHILD, b, nullptr},      {TVGN_CHILD, nullptr, a},   {TVGN_CHILD, TVI_ROOT, a},
  };
  for (const Case& k : cases)
    EXPECT_EQ(next(tv, k.how, k.from), k.expected) << "relation " << k.how << " from " << text_of(tv, k.from).size();

  // Texts and data words come back as given; TVM_SETITEM changes them.
  TvItem it;
  it.mask = TVIF_PARAM | TVIF_CHILDREN;
  it.item = a;
  ASSERT_EQ(send_message(tv, TVM_GETITEM, 0, LParam(&it)), 1);
  EXPECT_EQ(it.param, 1);
  EXPECT_EQ(it.children, 1);
  EXPECT_EQ(text_of(tv, z), u"Zürich");
  TvItem set;
  set.mask = TVIF_TEXT | TVIF_PARAM;
  set.item = z;
  set.text = const_cast<char16_t*>(u"東京");
  set.param = LParam(intptr_t(0x7000000000000001ll));
  EXPECT_EQ(send_message(tv, TVM_SETITEM, 0, LParam(&set)), 1);
  EXPECT_EQ(text_of(tv, z), u"東京");
  it.item = z;
  send_message(tv, TVM_GETITEM, 0, LParam(&it));
  EXPECT_EQ(it.param, LParam(intptr_t(0x7000000000000001ll)));
  EXPECT_EQ(it.children, 0);

  // A deleted item's handle only makes calls fail.
  EXPECT_EQ(send_message(tv, TVM_DELETEITEM, 0, LParam(a)), 1);
  EXPECT_EQ(send_message(tv, TVM_GETCOUNT, 0, 0), 3);
  for (TreeItem gone : {a, a1, a15, a2}) {
    it.item = gone;
    EXPECT_EQ(send_message(tv, TVM_GETITEM, 0, LParam(&it)), 0);
  }
  EXPECT_EQ(next(tv, TVGN_NEXT, a1), nullptr);
  EXPECT_EQ(next(tv, TVGN_ROOT), b);
  TreeItem again = insert(tv, TVI_ROOT, u"Albi", 1, TVI_FIRST);
  EXPECT_NE(again, a) << "handles are not given twice";
}

TEST_F(TreeView, StateImagesAreCheckBoxesThatCodeSetsSilently) {
  Wnd tv = make();
  Folders f = folders(tv);
  EXPECT_EQ(check_of(tv, f.carte), 0u) << "inserted without a box";
  EXPECT_EQ(check_of(tv, f.routes), 1u);
  TreeItem plain = insert(tv, f.rivieres, u"Loire", 9);
  EXPECT_EQ(check_of(tv, plain), 1u) << "check-box trees give new items an unchecked box";

  TvItem set;
  set.mask = TVIF_STATE;
  set.item = f.nationales;
  set.state = tree_state_image(2);
  set.state_mask = TVIS_STATEIMAGEMASK;
  send_message(tv, TVM_SETITEM, 0, LParam(&set));
  EXPECT_EQ(check_of(tv, f.nationales), 2u);
  EXPECT_EQ(send_message(tv, TVM_GETITEMSTATE, WParam(f.nationales), TVIS_STATEIMAGEMASK), LResult(tree_state_image(2)));
  // Selecting and opening by code.
  send_message(tv, TVM_SELECTITEM, TVGN_CARET, LParam(f.departementales));
  send_message(tv, TVM_EXPAND, TVE_TOGGLE, LParam(f.rivieres));
  tm_test::run_until_idle();
  EXPECT_EQ(next(tv, TVGN_CARET), f.departementales);
  EXPECT_TRUE(state_of(tv, f.departementales) & TVIS_SELECTED);
  EXPECT_TRUE(state_of(tv, f.routes) & TVIS_EXPANDED) << "selecting opens the way to the item";
  EXPECT_TRUE(state_of(tv, f.rivieres) & TVIS_EXPANDED);
  EXPECT_TRUE(recorder_->notices().empty());
  EXPECT_EQ(send_message(tv, TVM_SELECTITEM, TVGN_CARET, LParam(uintptr_t(0x999999))), 0) << "an unknown item";
  EXPECT_EQ(next(tv, TVGN_CARET), f.departementales);
}

TEST_F(TreeView, OpeningAndClosingByCodeShowAndHideTheChildren) {
  Wnd tv = make();
  Folders f = folders(tv);
  // Carte is open, Routes closed: the rows in view are Carte, Routes, Rivières, GPS.
  const TreeItem open_rows[] = {f.carte, f.routes, f.rivieres, f.gps};
  TreeItem at = next(tv, TVGN_FIRSTVISIBLE);
  for (TreeItem expected : open_rows) {
    EXPECT_EQ(at, expected);
    at = next(tv, TVGN_NEXTVISIBLE, at);
  }
  EXPECT_EQ(at, nullptr);
  EXPECT_EQ(next(tv, TVGN_LASTVISIBLE), f.gps);
  EXPECT_EQ(next(tv, TVGN_PREVIOUSVISIBLE, f.gps), f.rivieres);

  struct Case {
    unsigned code;
    TreeItem item;
    bool open_after;
  };
  const Case cases[] = {
      {TVE_EXPAND, f.routes, true},   {TVE_EXPAND, f.routes, true}, {TVE_TOGGLE, f.routes, false},
      {TVE_TOGGLE, f.routes, true},   {TVE_COLLAPSE, f.carte, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(send_message(tv, TVM_EXPAND, c.code, LParam(c.item)), 1);
    EXPECT_EQ((state_of(tv, c.item) & TVIS_EXPANDED) != 0, c.open_after) << c.code;
  }
  EXPECT_EQ(next(tv, TVGN_NEXTVISIBLE, f.carte), f.gps) << "a closed item hides its children";

  // The selection inside an item closed by code moves to it, silently.
  send_message(tv, TVM_SELECTITEM, TVGN_CARET, LParam(f.nationales));
  send_message(tv, TVM_EXPAND, TVE_COLLAPSE, LParam(f.carte));
  EXPECT_EQ(next(tv, TVGN_CARET), f.carte);
  EXPECT_TRUE(recorder_->notices().empty());

  // Closing with a reset deletes the children, each told with its data word.
  send_message(tv, TVM_EXPAND, TVE_COLLAPSE | TVE_COLLAPSERESET, LParam(f.routes));
  EXPECT_EQ(codes(), (std::vector<int32_t>{TVN_DELETEITEM, TVN_DELETEITEM}));
  EXPECT_EQ(recorder_->notices()[0].data, 2);
  EXPECT_EQ(recorder_->notices()[1].data, 3);
  EXPECT_EQ(next(tv, TVGN_CHILD, f.routes), nullptr);
  EXPECT_EQ(send_message(tv, TVM_EXPAND, TVE_EXPAND, LParam(f.nationales)), 0) << "a deleted item";
}

TEST_F(TreeView, DeletingTellsEachItemDeepestFirst) {
  Wnd tv = make();
  Folders f = folders(tv);
  EXPECT_EQ(send_message(tv, TVM_DELETEITEM, 0, LParam(f.routes)), 1);
  std::vector<LParam> words;
  for (const auto& n : recorder_->with_code(TVN_DELETEITEM)) words.push_back(n.data);
  EXPECT_EQ(words, (std::vector<LParam>{2, 3, 1}));
  recorder_->clear();
  EXPECT_EQ(send_message(tv, TVM_DELETEITEM, 0, LParam(TVI_ROOT)), 1);
  EXPECT_EQ(recorder_->with_code(TVN_DELETEITEM).size(), 3u);
  EXPECT_EQ(send_message(tv, TVM_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(next(tv, TVGN_ROOT), nullptr);
  EXPECT_EQ(next(tv, TVGN_CARET), nullptr);
}

TEST_F(TreeView, AClickOnALabelRaisesClickThenSelects) {
  Wnd tv = make();
  Folders f = folders(tv);
  send_message(tv, TVM_SELECTITEM, TVGN_CARET, LParam(f.carte));
  TreeItem caret_in_click = nullptr, hit_in_click = nullptr;
  unsigned flags_in_click = 0;
  recorder_->set_answer([&](NmHdr* h, LResult*) {
    if (h->code != NM_CLICK) return false;
    // As the layers window does: the item under the cursor, by a hit test.
    caret_in_click = next(tv, TVGN_CARET);
    Point p;
    get_cursor_pos(&p);
    screen_to_client(tv, &p);
    TvHitTestInfo ht;
    ht.pt = p;
    hit_in_click = reinterpret_cast<TreeItem>(send_message(tv, TVM_HITTEST, 0, LParam(&ht)));
    flags_in_click = ht.flags;
    return false;
  });
  ASSERT_TRUE(tm_test::click_tree_item(tv, f.rivieres));
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), (std::vector<int32_t>{NM_CLICK, TVN_SELCHANGED}));
  EXPECT_EQ(caret_in_click, f.carte) << "NM_CLICK comes before the selection moves";
  EXPECT_EQ(hit_in_click, f.rivieres);
  EXPECT_EQ(flags_in_click, TVHT_ONITEMLABEL);
  const auto sel = recorder_->with_code(TVN_SELCHANGED)[0];
  EXPECT_EQ(sel.action, TVC_BYMOUSE);
  EXPECT_EQ(sel.tree_old, f.carte);
  EXPECT_EQ(sel.tree_item, f.rivieres);
  EXPECT_EQ(sel.data, 4);
  EXPECT_EQ(next(tv, TVGN_CARET), f.rivieres);
  EXPECT_EQ(get_focus(), tv);

  // A parent that answers NM_CLICK keeps the selection where it is.
  recorder_->clear();
  recorder_->set_answer([](NmHdr* h, LResult* r) {
    *r = 1;
    return h->code == NM_CLICK;
  });
  tm_test::click_tree_item(tv, f.gps);
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), std::vector<int32_t>{NM_CLICK});
  EXPECT_EQ(next(tv, TVGN_CARET), f.rivieres);
}

TEST_F(TreeView, AClickOnAStateImageFlipsTheCheckBox) {
  struct Case {
    LResult answer;       // to NM_CLICK
    uint32_t style;
    bool state_list;      // the parent's own state images
    unsigned expected;    // the box after the click
  };
  const Case cases[] = {
      {0, kCheckTree, false, 2},
      {0, kCheckTree, true, 2},
      {1, kCheckTree, false, 1},                     // the parent did it its own way
      {0, kCheckTree & ~TVS_CHECKBOXES, true, 1},    // state images without TVS_CHECKBOXES are the parent's
  };
  for (const Case& c : cases) {
    Wnd tv = make(c.style);
    ImageList states = image_list_create(16, 16);
    if (c.state_list) send_message(tv, TVM_SETIMAGELIST, TVSIL_STATE, LParam(states));
    Folders f = folders(tv);
    recorder_->set_answer([&](NmHdr* h, LResult* r) {
      *r = c.answer;
      return h->code == NM_CLICK;
    });
    ASSERT_TRUE(tm_test::click_tree_item(tv, f.rivieres, TreePart::state_icon));
    tm_test::run_until_idle();
    EXPECT_EQ(codes(), std::vector<int32_t>{NM_CLICK}) << "no selection change";
    EXPECT_EQ(check_of(tv, f.rivieres), c.expected) << c.answer << "/" << c.style;
    EXPECT_EQ(next(tv, TVGN_CARET), nullptr);
    recorder_->set_answer(nullptr);
    destroy_window(tv);
    image_list_destroy(states);
  }
  // Twice flips back; Space flips the selected item's box.
  Wnd tv = make();
  Folders f = folders(tv);
  tm_test::click_tree_item(tv, f.routes, TreePart::state_icon);
  tm_test::click_tree_item(tv, f.routes, TreePart::state_icon);
  tm_test::run_until_idle();
  EXPECT_EQ(check_of(tv, f.routes), 1u);
  tm_test::click_tree_item(tv, f.routes);
  tm_test::press_key(VK_SPACE);
  tm_test::run_until_idle();
  EXPECT_EQ(check_of(tv, f.routes), 2u);
  EXPECT_FALSE(tm_test::click_tree_item(tv, f.carte, TreePart::state_icon)) << "Carte has no box";
}

TEST_F(TreeView, TheButtonOpensAndClosesWithTheParentsConsent) {
  Wnd tv = make();
  Folders f = folders(tv);
  ASSERT_TRUE(tm_test::expand_tree_item(tv, f.routes));
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), (std::vector<int32_t>{TVN_ITEMEXPANDING, TVN_ITEMEXPANDED}));
  EXPECT_EQ(recorder_->notices()[0].action, TVE_EXPAND);
  EXPECT_EQ(recorder_->notices()[0].tree_item, f.routes);
  EXPECT_TRUE(state_of(tv, f.routes) & TVIS_EXPANDED);
  EXPECT_FALSE(tm_test::expand_tree_item(tv, f.routes)) << "already open";

  // Closing it with the selection inside moves the selection, and says so.
  send_message(tv, TVM_SELECTITEM, TVGN_CARET, LParam(f.nationales));
  recorder_->clear();
  ASSERT_TRUE(tm_test::click_tree_item(tv, f.routes, TreePart::button));
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), (std::vector<int32_t>{TVN_ITEMEXPANDING, TVN_ITEMEXPANDED, TVN_SELCHANGED}));
  EXPECT_EQ(recorder_->notices()[0].action, TVE_COLLAPSE);
  EXPECT_EQ(recorder_->with_code(TVN_SELCHANGED)[0].tree_old, f.nationales);
  EXPECT_EQ(next(tv, TVGN_CARET), f.routes);

  // A parent that refuses keeps it closed.
  recorder_->clear();
  recorder_->set_answer([](NmHdr* h, LResult* r) {
    *r = 1;
    return h->code == TVN_ITEMEXPANDING;
  });
  tm_test::expand_tree_item(tv, f.routes);
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), std::vector<int32_t>{TVN_ITEMEXPANDING});
  EXPECT_FALSE(state_of(tv, f.routes) & TVIS_EXPANDED);
}

TEST_F(TreeView, DoubleAndRightClicks) {
  Wnd tv = make();
  Folders f = folders(tv);
  ASSERT_TRUE(tm_test::double_click_tree_item(tv, f.routes));
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), (std::vector<int32_t>{NM_CLICK, TVN_SELCHANGED, NM_DBLCLK, TVN_ITEMEXPANDING, TVN_ITEMEXPANDED}));
  EXPECT_TRUE(state_of(tv, f.routes) & TVIS_EXPANDED) << "a double click opens the item";
  recorder_->clear();
  ASSERT_TRUE(tm_test::click_tree_item(tv, f.gps, TreePart::label, MouseButton::right));
  tm_test::run_until_idle();
  EXPECT_EQ(codes(), std::vector<int32_t>{NM_RCLICK});
  EXPECT_EQ(next(tv, TVGN_CARET), f.routes);
}

TEST_F(TreeView, KeysMoveTheSelectionAndOpenItems) {
  Wnd tv = make();
  Folders f = folders(tv);
  tm_test::click_tree_item(tv, f.carte);
  tm_test::run_until_idle();
  struct Case {
    int vk;
    TreeItem caret;
    bool routes_open;
    std::vector<int32_t> expected;
  };
  const Case cases[] = {
      {VK_DOWN, f.routes, false, {TVN_KEYDOWN, TVN_SELCHANGED}},
      {VK_RIGHT, f.routes, true, {TVN_KEYDOWN, TVN_ITEMEXPANDING, TVN_ITEMEXPANDED}},
      {VK_RIGHT, f.nationales, true, {TVN_KEYDOWN, TVN_SELCHANGED}},
      {VK_LEFT, f.routes, true, {TVN_KEYDOWN, TVN_SELCHANGED}},
      {VK_LEFT, f.routes, false, {TVN_KEYDOWN, TVN_ITEMEXPANDING, TVN_ITEMEXPANDED}},
      {VK_END, f.gps, false, {TVN_KEYDOWN, TVN_SELCHANGED}},
      {VK_UP, f.rivieres, false, {TVN_KEYDOWN, TVN_SELCHANGED}},
      {VK_HOME, f.carte, false, {TVN_KEYDOWN, TVN_SELCHANGED}},
      {VK_UP, f.carte, false, {TVN_KEYDOWN}},
  };
  for (const Case& c : cases) {
    recorder_->clear();
    tm_test::press_key(c.vk);
    tm_test::run_until_idle();
    EXPECT_EQ(next(tv, TVGN_CARET), c.caret) << "key " << c.vk;
    EXPECT_EQ((state_of(tv, f.routes) & TVIS_EXPANDED) != 0, c.routes_open) << "key " << c.vk;
    EXPECT_EQ(codes(), c.expected) << "key " << c.vk;
    if (!recorder_->with_code(TVN_SELCHANGED).empty()) {
      EXPECT_EQ(recorder_->with_code(TVN_SELCHANGED)[0].action, TVC_BYKEYBOARD);
    }
  }
}

TEST_F(TreeView, AParentThatDestroysTheControlWhileToldIsSafe) {
  for (int32_t code : {NM_CLICK, TVN_SELCHANGED, TVN_ITEMEXPANDING, TVN_DELETEITEM, TVN_KEYDOWN}) {
    Wnd tv = make();
    Folders f = folders(tv);
    recorder_->set_answer([&, code](NmHdr* h, LResult*) {
      if (h->code == code && is_window(tv)) destroy_window(tv);
      return false;
    });
    if (code == TVN_ITEMEXPANDING) {
      tm_test::expand_tree_item(tv, f.routes);
    } else if (code == TVN_DELETEITEM) {
      send_message(tv, TVM_DELETEITEM, 0, LParam(f.carte));
    } else if (code == TVN_KEYDOWN) {
      set_focus(tv);
      tm_test::press_key(VK_DOWN);
    } else {
      tm_test::click_tree_item(tv, f.rivieres);
    }
    tm_test::run_until_idle();
    EXPECT_FALSE(is_window(tv)) << "code " << code;
    recorder_->set_answer(nullptr);
  }
}

}  // namespace
