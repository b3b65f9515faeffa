// The tree view's rows: the parts a hit test names from left to right (indent, button,
// state image, icon, label), item rectangles, painting of labels, check boxes, state
// images from a list, lines and the selection, and scrolling to an item.
#include <cstring>

#include "platform/ui/ctl_treeview.h"
#include "platform/ui/image_list.h"
#include "tests/platform/ui_fixture.h"
#include "tests/support/harness_views.h"

using namespace plat;
using namespace ui_test;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kHighlight = 0xFF0078D7u;

int red(uint32_t px) { return int((px >> 16) & 255); }
int green(uint32_t px) { return int((px >> 8) & 255); }
int blue(uint32_t px) { return int(px & 255); }
bool inky(uint32_t px) { return red(px) + green(px) + blue(px) < 300; }

class TreeViewRows : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    register_treeview_control();
    parent_ = top("Couches disponibles", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{100, 100, 700, 520});
    tm_test::run_until_idle();
  }
  void TearDown() override {
    for (Wnd w : top_level_windows()) destroy_window(w);
    for (ImageList l : lists_) image_list_destroy(l);
    UiTest::TearDown();
  }
  Wnd make(uint32_t style, Rect r = Rect{8, 8, 408, 308}) {
    return create_window(0, kTreeViewClass, "", WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.width(), r.height(),
                         parent_, 1002);
  }
  static TreeItem insert(Wnd tv, TreeItem parent, const char16_t* text, int state_image = -1) {
    TvInsertStruct ins;
    ins.parent = parent;
    ins.insert_after = TVI_LAST;
    ins.item.mask = TVIF_TEXT;
    ins.item.text = const_cast<char16_t*>(text);
    if (state_image >= 0) {
      ins.item.mask |= TVIF_STATE;
      ins.item.state = tree_state_image(unsigned(state_image));
      ins.item.state_mask = TVIS_STATEIMAGEMASK;
    }
    return reinterpret_cast<TreeItem>(send_message(tv, TVM_INSERTITEM, 0, LParam(&ins)));
  }
  // A list of `n` images of one colour each.
  ImageList solid_list(std::vector<Color> colours) {
    ImageList list = image_list_create(16, 16);
    for (Color c : colours) {
      std::vector<uint32_t> px(16 * 16, pixel_of(c));
      Bitmap b = create_bitmap(16, 16, px.data());
      image_list_add_masked(list, b, CLR_NONE);
      delete_object(b);
    }
    lists_.push_back(list);
    return list;
  }
  static Rect item_rect(Wnd tv, TreeItem item, bool label) {
    Rect r;
    std::memcpy(static_cast<void*>(&r), &item, sizeof item);
    if (!send_message(tv, TVM_GETITEMRECT, label ? 1 : 0, LParam(&r))) return Rect{};
    return r;
  }
  // The hit-test flags met along an item's row, each run once, left to right.
  static std::vector<unsigned> parts_along(Wnd tv, TreeItem item) {
    const Rect label = item_rect(tv, item, true);
    std::vector<unsigned> seen;
    for (int x = 0; x < label.right + 30; ++x) {
      TvHitTestInfo ht;
      ht.pt = Point{x, (label.top + label.bottom) / 2};
      const auto hit = reinterpret_cast<TreeItem>(send_message(tv, TVM_HITTEST, 0, LParam(&ht)));
      if (hit != item) return {};
      if (seen.empty() || seen.back() != ht.flags) seen.push_back(ht.flags);
    }
    return seen;
  }
  static bool any(Wnd tv, const Rect& r, bool (*test)(uint32_t)) {
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (test(tm_test::pixel_at(tv, x, y))) return true;
    return false;
  }

  Wnd parent_ = nullptr;
  std::vector<ImageList> lists_;
};

TEST_F(TreeViewRows, AHitTestNamesThePartsOfARowInOrder) {
  constexpr unsigned B = TVHT_ONITEMBUTTON, I = TVHT_ONITEMINDENT, S = TVHT_ONITEMSTATEICON, C = TVHT_ONITEMICON,
                     L = TVHT_ONITEMLABEL, R = TVHT_ONITEMRIGHT;
  struct Case {
    uint32_t style;
    bool icons;
    int which;  // 0 the root with children, 1 its child, 2 a child without a box
    std::vector<unsigned> expected;
  };
  const Case cases[] = {
      {TVS_HASBUTTONS | TVS_LINESATROOT | TVS_CHECKBOXES, true, 0, {B, I, C, L, R}},  // the root has no box
      {TVS_HASBUTTONS | TVS_LINESATROOT | TVS_CHECKBOXES, true, 1, {I, S, C, L, R}},
      {TVS_HASBUTTONS | TVS_LINESATROOT | TVS_CHECKBOXES, false, 1, {I, S, L, R}},
      {TVS_HASBUTTONS | TVS_LINESATROOT | TVS_CHECKBOXES, true, 2, {I, C, L, R}},
      {TVS_HASBUTTONS, false, 0, {L, R}},  // no lines at the root: no button there
      {TVS_HASBUTTONS, false, 1, {I, L, R}},
  };
  for (const Case& c : cases) {
    Wnd tv = make(c.style);
    if (c.icons) send_message(tv, TVM_SETIMAGELIST, TVSIL_NORMAL, LParam(solid_list({rgb(200, 0, 0)})));
    TreeItem root = insert(tv, TVI_ROOT, u"Service WMS", 0);
    TreeItem child = insert(tv, root, u"Ortho", 1);
    TreeItem bare = insert(tv, root, u"Sans nom", 0);
    send_message(tv, TVM_EXPAND, TVE_EXPAND, LParam(root));
    const TreeItem items[] = {root, child, bare};
    EXPECT_EQ(parts_along(tv, items[c.which]), c.expected) << "style " << c.style << " item " << c.which;
    destroy_window(tv);
  }

  // Off the items.
  Wnd tv = make(TVS_HASBUTTONS);
  insert(tv, TVI_ROOT, u"Seul");
  struct Off {
    Point pt;
    unsigned flags;
  };
  for (Off o : {Off{Point{20, 200}, TVHT_NOWHERE}, Off{Point{-3, 5}, TVHT_TOLEFT}, Off{Point{20, -4}, TVHT_ABOVE},
                Off{Point{20, 900}, TVHT_BELOW}, Off{Point{900, 5}, TVHT_TORIGHT}}) {
    TvHitTestInfo ht;
    ht.pt = o.pt;
    EXPECT_EQ(send_message(tv, TVM_HITTEST, 0, LParam(&ht)), 0);
    EXPECT_EQ(ht.flags, o.flags) << o.pt.x << "," << o.pt.y;
  }
}

TEST_F(TreeViewRows, ItemRectanglesFollowTheOpenItems) {
  Wnd tv = make(TVS_HASBUTTONS | TVS_LINESATROOT | TVS_HASLINES);
  TreeItem root = insert(tv, TVI_ROOT, u"Carte");
  TreeItem child = insert(tv, root, u"Routes");
  TreeItem second = insert(tv, TVI_ROOT, u"GPS");
  EXPECT_TRUE(item_rect(tv, child, true).empty()) << "a child of a closed item is not shown";
  const Rect before = item_rect(tv, second, false);
  send_message(tv, TVM_EXPAND, TVE_EXPAND, LParam(root));
  const Rect label = item_rect(tv, child, true), row = item_rect(tv, child, false), after = item_rect(tv, second, false);
  EXPECT_EQ(after.top, before.top + row.height()) << "the child's row comes in between";
  EXPECT_GT(label.left, item_rect(tv, root, true).left) << "indented";
  EXPECT_EQ(row.left, 0);
  EXPECT_EQ(row.top, label.top);
  EXPECT_LT(label.width(), row.width());
}

TEST_F(TreeViewRows, LabelsBoxesLinesAndTheSelectionArePainted) {
  Wnd tv = make(TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_CHECKBOXES | TVS_SHOWSELALWAYS);
  TreeItem root = insert(tv, TVI_ROOT, u"Carte topographique", 0);
  TreeItem unchecked = insert(tv, root, u"Routes", 1);
  TreeItem checked = insert(tv, root, u"Rivières", 2);
  send_message(tv, TVM_EXPAND, TVE_EXPAND, LParam(root));
  set_focus(tv);
  send_message(tv, TVM_SELECTITEM, TVGN_CARET, LParam(checked));
  tm_test::run_until_idle();

  const Rect root_label = item_rect(tv, root, true), off_label = item_rect(tv, unchecked, true),
             on_label = item_rect(tv, checked, true);
  EXPECT_TRUE(any(tv, root_label, inky));
  EXPECT_TRUE(any(tv, off_label, inky));
  auto lit = [](uint32_t px) { return px == kHighlight; };
  EXPECT_TRUE(any(tv, on_label, lit)) << "the selected label";
  EXPECT_FALSE(any(tv, off_label, lit));

  // The boxes sit just left of the labels: the checked one has ink inside its frame.
  auto box_of = [](const Rect& label) { return Rect{label.left - 13, label.top + 4, label.left - 5, label.bottom - 4}; };
  EXPECT_TRUE(any(tv, box_of(on_label), inky));
  EXPECT_FALSE(any(tv, box_of(off_label), inky));
  // A dotted line runs down left of the children.
  const Rect lines{0, off_label.top, off_label.left - 16, on_label.bottom};
  EXPECT_TRUE(any(tv, lines, [](uint32_t px) { return px != kWhite && !inky(px); }));

  // Without the focus the selection turns grey (TVS_SHOWSELALWAYS).
  set_focus(parent_);
  tm_test::run_until_idle();
  EXPECT_FALSE(any(tv, on_label, lit));
  EXPECT_NE(tm_test::pixel_at(tv, on_label.right - 2, on_label.top + 1), kWhite);
}

TEST_F(TreeViewRows, AStateImageListReplacesTheBoxes) {
  Wnd tv = make(TVS_HASBUTTONS | TVS_LINESATROOT | TVS_CHECKBOXES);
  send_message(tv, TVM_SETIMAGELIST, TVSIL_STATE, LParam(solid_list({rgb(0, 200, 0), rgb(0, 0, 200)})));
  TreeItem one = insert(tv, TVI_ROOT, u"un", 1);
  TreeItem two = insert(tv, TVI_ROOT, u"deux", 2);
  tm_test::run_until_idle();
  auto green_px = [](uint32_t px) { return px == 0xFF00C800u; };
  auto blue_px = [](uint32_t px) { return px == 0xFF0000C8u; };
  const Rect r1 = item_rect(tv, one, false), r2 = item_rect(tv, two, false);
  EXPECT_TRUE(any(tv, r1, green_px));
  EXPECT_FALSE(any(tv, r1, blue_px));
  EXPECT_TRUE(any(tv, r2, blue_px));
  // A click flips the image shown.
  tm_test::click_tree_item(tv, one, tm_test::TreePart::state_icon);
  tm_test::run_until_idle();
  EXPECT_TRUE(any(tv, r1, blue_px));
}

TEST_F(TreeViewRows, EnsureVisibleOpensAndScrollsToTheItem) {
  Wnd tv = make(TVS_HASBUTTONS | TVS_LINESATROOT, Rect{8, 8, 308, 128});
  std::vector<TreeItem> roots;
  for (int i = 0; i < 30; ++i) roots.push_back(insert(tv, TVI_ROOT, u"Couche"));
  TreeItem deep = insert(tv, roots[25], u"Profonde");
  const int shown = int(send_message(tv, TVM_GETVISIBLECOUNT, 0, 0));
  ASSERT_GT(shown, 2);
  ASSERT_LT(shown, 10);
  EXPECT_TRUE(get_window_long(tv, GWL_STYLE) & WS_VSCROLL);
  EXPECT_EQ(send_message(tv, TVM_ENSUREVISIBLE, 0, LParam(deep)), 1);
  EXPECT_TRUE(send_message(tv, TVM_GETITEMSTATE, WParam(roots[25]), TVIS_EXPANDED));
  Rect rc;
  get_client_rect(tv, &rc);
  const Rect r = item_rect(tv, deep, false);
  EXPECT_GE(r.top, 0);
  EXPECT_LE(r.bottom, rc.bottom);
  TreeItem first = reinterpret_cast<TreeItem>(send_message(tv, TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0));
  EXPECT_NE(first, roots[0]);
  // A click on it after the scroll lands on it.
  ASSERT_TRUE(tm_test::click_tree_item(tv, deep));
  tm_test::run_until_idle();
  EXPECT_EQ(reinterpret_cast<TreeItem>(send_message(tv, TVM_GETNEXTITEM, TVGN_CARET, 0)), deep);
  // Scrolling to the top by code.
  send_message(tv, TVM_SELECTITEM, TVGN_FIRSTVISIBLE, LParam(roots[0]));
  EXPECT_EQ(reinterpret_cast<TreeItem>(send_message(tv, TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0)), roots[0]);
}

}  // namespace
