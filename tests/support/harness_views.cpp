// Harness helpers for list views, tree views and toolbars, and the notice recorder.
// The recorder copies each notification's record by the kind of control that sent it,
// since each kind sends its own record shapes.
#include "tests/support/harness_views.h"

#include <cstring>
#include <map>

#include "platform/ui/controls.h"

namespace tm_test {

namespace {

std::map<plat::Wnd, NoticeRecorder*>& recorders() {
  static std::map<plat::Wnd, NoticeRecorder*> r;
  return r;
}

bool is_class(plat::Wnd w, const char* name) { return w && plat::get_class_name(w) == name; }

void copy_list_record(const plat::NmHdr* h, ViewNotice* n) {
  if (h->code == plat::NM_RETURN) return;
  if (h->code == plat::LVN_KEYDOWN) {
    n->key = reinterpret_cast<const plat::NmLvKeyDown*>(h)->vkey;
    return;
  }
  // NmListView and NmItemActivate begin alike.
  const auto* lv = reinterpret_cast<const plat::NmListView*>(h);
  n->item = lv->item;
  n->sub_item = lv->sub_item;
  n->new_state = lv->new_state;
  n->old_state = lv->old_state;
  n->changed = lv->changed;
  n->point = lv->action;
  n->data = lv->param;
}

void copy_tree_record(const plat::NmHdr* h, ViewNotice* n) {
  switch (h->code) {
    case plat::TVN_KEYDOWN: n->key = reinterpret_cast<const plat::NmTvKeyDown*>(h)->vkey; return;
    case plat::TVN_SELCHANGED:
    case plat::TVN_ITEMEXPANDING:
    case plat::TVN_ITEMEXPANDED:
    case plat::TVN_DELETEITEM: {
      const auto* tv = reinterpret_cast<const plat::NmTreeView*>(h);
      n->action = tv->action;
      n->tree_old = tv->item_old.item;
      n->tree_item = h->code == plat::TVN_DELETEITEM ? tv->item_old.item : tv->item_new.item;
      n->data = h->code == plat::TVN_DELETEITEM ? tv->item_old.param : tv->item_new.param;
      return;
    }
    default: return;  // NM_* codes carry the header alone
  }
}

ViewNotice notice_of(uint32_t msg, plat::WParam wp, plat::LParam lp) {
  ViewNotice n;
  n.msg = msg;
  if (msg == plat::WM_COMMAND) {
    n.id = int(plat::loword(wp));
    n.code = int32_t(int16_t(plat::hiword(wp)));
    n.from = reinterpret_cast<plat::Wnd>(lp);
    return n;
  }
  const auto* h = reinterpret_cast<const plat::NmHdr*>(lp);
  n.id = int(h->id_from);
  n.code = h->code;
  n.from = h->hwnd_from;
  if (is_class(h->hwnd_from, plat::kListViewClass)) copy_list_record(h, &n);
  if (is_class(h->hwnd_from, plat::kTreeViewClass)) copy_tree_record(h, &n);
  return n;
}

plat::Point middle(const plat::Rect& r) { return plat::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// The point of a list item's cell; false for a missing item or column.
bool list_cell_point(plat::Wnd lv, int item, int sub_item, plat::Point* out) {
  using namespace plat;
  if (item < 0 || item >= int(send_message(lv, LVM_GETITEMCOUNT, 0, 0))) return false;
  send_message(lv, LVM_ENSUREVISIBLE, WParam(item), 0);
  Rect r;
  r.top = sub_item;
  r.left = sub_item == 0 ? LVIR_LABEL : LVIR_BOUNDS;
  const uint32_t msg = sub_item == 0 ? LVM_GETITEMRECT : LVM_GETSUBITEMRECT;
  if (!send_message(lv, msg, WParam(item), LParam(reinterpret_cast<intptr_t>(&r))) || r.empty()) return false;
  *out = middle(r);
  return true;
}

// Looks along a row (at height y) for the first point a hit test answers with `want`.
template <typename Test>
bool scan_row(plat::Wnd w, int y, Test test, plat::Point* out) {
  plat::Rect rc;
  plat::get_client_rect(w, &rc);
  for (int x = 0; x < rc.right; ++x)
    if (test(plat::Point{x, y})) {
      // The middle of the run of points that answer so.
      int end = x;
      while (end + 1 < rc.right && test(plat::Point{end + 1, y})) ++end;
      *out = plat::Point{(x + end) / 2, y};
      return true;
    }
  return false;
}

unsigned tree_flag(TreePart part) {
  switch (part) {
    case TreePart::label: return plat::TVHT_ONITEMLABEL;
    case TreePart::icon: return plat::TVHT_ONITEMICON;
    case TreePart::state_icon: return plat::TVHT_ONITEMSTATEICON;
    case TreePart::button: return plat::TVHT_ONITEMBUTTON;
  }
  return 0;
}

bool toolbar_button_point(plat::Wnd tb, int command, plat::Point* out) {
  using namespace plat;
  const LResult index = send_message(tb, TB_COMMANDTOINDEX, WParam(intptr_t(command)), 0);
  Rect r;
  if (index < 0) return false;
  if (!send_message(tb, TB_GETITEMRECT, WParam(index), LParam(reinterpret_cast<intptr_t>(&r)))) return false;
  *out = middle(r);
  return true;
}

}  // namespace

// ---- The recorder ----------------------------------------------------------------------------
NoticeRecorder::NoticeRecorder(plat::Wnd parent) : parent_(parent) {
  recorders()[parent] = this;
  old_ = plat::set_window_proc(parent, &NoticeRecorder::proc);
}

NoticeRecorder::~NoticeRecorder() {
  if (plat::is_window(parent_) && plat::get_window_proc(parent_) == &NoticeRecorder::proc)
    plat::set_window_proc(parent_, old_);
  recorders().erase(parent_);
}

plat::LResult NoticeRecorder::proc(plat::Wnd w, uint32_t msg, plat::WParam wp, plat::LParam lp) {
  auto it = recorders().find(w);
  if (it == recorders().end()) return plat::def_window_proc(w, msg, wp, lp);
  NoticeRecorder* r = it->second;
  if ((msg == plat::WM_NOTIFY && lp) || msg == plat::WM_COMMAND) {
    r->notices_.push_back(notice_of(msg, wp, lp));
    plat::LResult result = 0;
    if (msg == plat::WM_NOTIFY && r->answer_) {
      auto answer = r->answer_;  // a copy: the hook may replace itself
      if (answer(reinterpret_cast<plat::NmHdr*>(lp), &result)) return result;
    }
  }
  return plat::call_window_proc(r->old_, w, msg, wp, lp);
}

std::vector<int32_t> NoticeRecorder::codes(int id) const {
  std::vector<int32_t> out;
  for (const ViewNotice& n : notices_)
    if (n.id == id) out.push_back(n.code);
  return out;
}

std::vector<ViewNotice> NoticeRecorder::with_code(int32_t code) const {
  std::vector<ViewNotice> out;
  for (const ViewNotice& n : notices_)
    if (n.code == code) out.push_back(n);
  return out;
}

// ---- List views ----------------------------------------------------------------------------
bool click_list_item(plat::Wnd lv, int item, int sub_item, plat::MouseButton b) {
  plat::Point p;
  if (!list_cell_point(lv, item, sub_item, &p)) return false;
  click(lv, p.x, p.y, b);
  return true;
}

bool double_click_list_item(plat::Wnd lv, int item, int sub_item) {
  plat::Point p;
  if (!list_cell_point(lv, item, sub_item, &p)) return false;
  double_click(lv, p.x, p.y);
  return true;
}

bool click_list_check(plat::Wnd lv, int item) {
  plat::Point cell, p;
  if (!list_cell_point(lv, item, 0, &cell)) return false;
  auto on_box = [&](plat::Point q) {
    plat::LvHitTestInfo ht;
    ht.pt = q;
    const auto hit = plat::send_message(lv, plat::LVM_HITTEST, 0, plat::LParam(reinterpret_cast<intptr_t>(&ht)));
    return hit == item && (ht.flags & plat::LVHT_ONITEMSTATEICON);
  };
  if (!scan_row(lv, cell.y, on_box, &p)) return false;
  click(lv, p.x, p.y);
  return true;
}

bool click_list_header(plat::Wnd lv, int column) {
  using namespace plat;
  int x = 0;
  for (int c = 0; c < column; ++c) x += int(send_message(lv, LVM_GETCOLUMNWIDTH, WParam(c), 0));
  const int width = int(send_message(lv, LVM_GETCOLUMNWIDTH, WParam(column), 0));
  if (column < 0 || width <= 0) return false;
  click(lv, x + width / 2, 4);  // a header row is taller than 4 pixels
  return true;
}

// ---- Tree views ----------------------------------------------------------------------------
bool tree_part_point(plat::Wnd tv, plat::TreeItem item, TreePart part, plat::Point* out) {
  using namespace plat;
  if (!item || !send_message(tv, TVM_ENSUREVISIBLE, 0, LParam(reinterpret_cast<intptr_t>(item)))) return false;
  Rect r;
  std::memcpy(static_cast<void*>(&r), &item, sizeof item);  // the item goes in the rectangle's first bytes
  if (!send_message(tv, TVM_GETITEMRECT, 1, LParam(reinterpret_cast<intptr_t>(&r)))) return false;
  const unsigned want = tree_flag(part);
  auto on_part = [&](Point q) {
    TvHitTestInfo ht;
    ht.pt = q;
    const auto hit = send_message(tv, TVM_HITTEST, 0, LParam(reinterpret_cast<intptr_t>(&ht)));
    return reinterpret_cast<TreeItem>(hit) == item && (ht.flags & want);
  };
  return scan_row(tv, (r.top + r.bottom) / 2, on_part, out);
}

bool click_tree_item(plat::Wnd tv, plat::TreeItem item, TreePart part, plat::MouseButton b) {
  plat::Point p;
  if (!tree_part_point(tv, item, part, &p)) return false;
  click(tv, p.x, p.y, b);
  return true;
}

bool double_click_tree_item(plat::Wnd tv, plat::TreeItem item, TreePart part) {
  plat::Point p;
  if (!tree_part_point(tv, item, part, &p)) return false;
  double_click(tv, p.x, p.y);
  return true;
}

bool expand_tree_item(plat::Wnd tv, plat::TreeItem item) {
  using namespace plat;
  const auto state = send_message(tv, TVM_GETITEMSTATE, WParam(reinterpret_cast<uintptr_t>(item)), TVIS_EXPANDED);
  if (state & TVIS_EXPANDED) return false;
  return click_tree_item(tv, item, TreePart::button);
}

// ---- Toolbars ------------------------------------------------------------------------------
bool click_toolbar_button(plat::Wnd tb, int command) {
  plat::Point p;
  if (!toolbar_button_point(tb, command, &p)) return false;
  click(tb, p.x, p.y);
  return true;
}

plat::Wnd hover_toolbar_button(plat::Wnd tb, int command) {
  plat::Point p;
  if (!toolbar_button_point(tb, command, &p)) return nullptr;
  mouse_move(tb, p.x, p.y);
  advance_time(plat::kTooltipDelayMs + 50);
  auto tip = reinterpret_cast<plat::Wnd>(plat::send_message(tb, plat::TB_GETTOOLTIPS, 0, 0));
  return tip && plat::is_window_visible(tip) ? tip : nullptr;
}

}  // namespace tm_test
