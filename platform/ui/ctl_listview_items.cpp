// The list view's items: inserting and deleting them, their texts, data words and
// states, finding them and sorting them with the caller's comparison. Changes made
// here raise nothing, except the deletion notices that let a parent release the data
// words (see ctl_listview.h).
#include <algorithm>
#include <numeric>

#include "platform/ui/ctl_state.h"
#include "platform/ui/ctl_listview_state.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"

namespace plat::ui_detail {

namespace {

int count(const ListViewData& d) { return int(d.rows.size()); }
void redraw(Wnd wnd) { invalidate_rect(wnd, nullptr, true); }

// The sub-items an item may hold: one per column, and the item's own text without any.
bool valid_sub_item(const ListViewData& d, int sub_item) {
  return sub_item >= 0 && sub_item < std::max(1, int(d.columns.size()));
}

void set_text(LvRow& row, int sub_item, const char16_t* text) {
  if (row.texts.size() <= size_t(sub_item)) row.texts.resize(size_t(sub_item) + 1);
  row.texts[size_t(sub_item)] = text ? text : u"";
}

char16_t fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 32);
  if (c == 0xFF) return 0x178;
  return c;
}

LResult insert_item(Wnd wnd, ListViewData& d, LParam lp) {
  const auto* it = reinterpret_cast<const LvItem*>(lp);
  if (!it || it->sub_item != 0 || it->item < 0) return -1;
  const int at = std::min(it->item, count(d));
  LvRow row;
  row.texts.emplace_back((it->mask & LVIF_TEXT) && it->text ? it->text : u"");
  if (it->mask & LVIF_PARAM) row.data = it->param;
  if (it->mask & LVIF_IMAGE) row.image = it->image;
  unsigned state = 0, mask = 0;
  if (it->mask & LVIF_STATE) {
    state = it->state;
    mask = it->state_mask & kLvUserStates;
  }
  if ((d.ex_style & LVS_EX_CHECKBOXES) && !(mask & LVIS_STATEIMAGEMASK)) {
    state = (state & ~LVIS_STATEIMAGEMASK) | index_to_state_image(1);
    mask |= LVIS_STATEIMAGEMASK;
  }
  d.rows.insert(d.rows.begin() + at, row);
  if (d.anchor >= at) ++d.anchor;
  listview_set_state(wnd, d, at, state, mask);
  listview_set_top(wnd, d, d.top);
  redraw(wnd);
  return at;
}

// Tells the parent an item is going; false when the control went with the notice.
bool tell_deleted(Wnd wnd, int item, LParam data) {
  NmListView nm;
  nm.item = item;
  nm.param = data;
  notify_parent(wnd, &nm.hdr, LVN_DELETEITEM);
  return is_window(wnd);
}

void after_removal(Wnd wnd, ListViewData& d, int item) {
  if (d.anchor == item) d.anchor = -1;
  if (d.anchor > item) --d.anchor;
  listview_set_top(wnd, d, d.top);
  redraw(wnd);
}

LResult delete_item(Wnd wnd, WParam wp) {
  ListViewData* d = listview_data(wnd);
  if (!listview_valid(*d, intptr_t(wp))) return 0;
  const int item = int(wp);
  const LParam data = d->rows[size_t(item)].data;
  if (!tell_deleted(wnd, item, data)) return 0;
  d = listview_data(wnd);
  // The parent may have changed the items while it was told; delete what is still there.
  if (!d || !listview_valid(*d, item) || d->rows[size_t(item)].data != data) return 0;
  d->rows.erase(d->rows.begin() + item);
  after_removal(wnd, *d, item);
  return 1;
}

LResult delete_all(Wnd wnd) {
  ListViewData* d = listview_data(wnd);
  std::vector<LParam> words;
  for (const LvRow& r : d->rows) words.push_back(r.data);
  NmListView all;
  const bool each = notify_parent(wnd, &all.hdr, LVN_DELETEALLITEMS) == 0;
  for (size_t i = 0; each && i < words.size(); ++i)
    if (!tell_deleted(wnd, int(i), words[i])) return 0;
  if (!is_window(wnd)) return 0;
  d = listview_data(wnd);
  d->rows.clear();
  d->anchor = -1;
  listview_set_top(wnd, *d, 0);
  redraw(wnd);
  return 1;
}

LResult set_item(Wnd wnd, ListViewData& d, const LvItem* it) {
  if (!it || !listview_valid(d, it->item) || !valid_sub_item(d, it->sub_item)) return 0;
  LvRow& row = d.rows[size_t(it->item)];
  if (it->mask & LVIF_TEXT) set_text(row, it->sub_item, it->text);
  if (it->sub_item == 0) {
    if (it->mask & LVIF_PARAM) row.data = it->param;
    if (it->mask & LVIF_IMAGE) row.image = it->image;
    if (it->mask & LVIF_STATE) listview_set_state(wnd, d, it->item, it->state, it->state_mask);
  }
  redraw(wnd);
  return 1;
}

LResult get_item(const ListViewData& d, LvItem* it) {
  if (!it || !listview_valid(d, it->item) || !valid_sub_item(d, it->sub_item)) return 0;
  const LvRow& row = d.rows[size_t(it->item)];
  if (it->mask & LVIF_TEXT) copy_text_out(listview_text(row, it->sub_item), it->text, it->text_max);
  if (it->mask & LVIF_PARAM) it->param = row.data;
  if (it->mask & LVIF_IMAGE) it->image = row.image;
  if (it->mask & LVIF_STATE) it->state = row.state & it->state_mask;
  return 1;
}

LResult set_item_state(Wnd wnd, ListViewData& d, WParam wp, const LvItem* it) {
  if (!it) return 0;
  if (intptr_t(wp) == -1) {
    for (int i = 0; i < count(d); ++i) listview_set_state(wnd, d, i, it->state, it->state_mask);
    return 1;
  }
  if (!listview_valid(d, intptr_t(wp))) return 0;
  listview_set_state(wnd, d, int(wp), it->state, it->state_mask);
  return 1;
}

bool matches_flags(const LvRow& row, unsigned flags) {
  const unsigned want = (flags & LVNI_FOCUSED ? LVIS_FOCUSED : 0) | (flags & LVNI_SELECTED ? LVIS_SELECTED : 0);
  return (row.state & want) == want;
}

LResult next_item(const ListViewData& d, WParam wp, LParam flags) {
  const int start = int(intptr_t(wp));
  const unsigned f = unsigned(flags);
  if (f & LVNI_ABOVE) {
    for (int i = std::min(start, count(d)) - 1; i >= 0; --i)
      if (matches_flags(d.rows[size_t(i)], f)) return i;
    return -1;
  }
  for (int i = std::max(start + 1, 0); i < count(d); ++i)
    if (matches_flags(d.rows[size_t(i)], f)) return i;
  return -1;
}

bool found(const LvRow& row, const LvFindInfo& fi) {
  if (fi.flags & LVFI_PARAM) return row.data == fi.param;
  if (!(fi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !fi.text) return false;
  std::u16string want(fi.text);
  const std::u16string& text = listview_text(row, 0);
  if (fi.flags & LVFI_PARTIAL) {
    if (want.size() > text.size()) return false;
    return listview_compare_text(text.substr(0, want.size()), want) == 0;
  }
  return listview_compare_text(text, want) == 0;
}

LResult find_item(const ListViewData& d, WParam wp, LParam lp) {
  const auto* fi = reinterpret_cast<const LvFindInfo*>(lp);
  if (!fi) return -1;
  const int start = std::clamp(int(intptr_t(wp)), -1, count(d) - 1);
  for (int i = start + 1; i < count(d); ++i)
    if (found(d.rows[size_t(i)], *fi)) return i;
  if (fi->flags & LVFI_WRAP)
    for (int i = 0; i <= start; ++i)
      if (found(d.rows[size_t(i)], *fi)) return i;
  return -1;
}

// A bottom-up merge sort of positions: stable, and safe whatever the comparison
// answers (an inconsistent one only gives some order).
void merge_sort(std::vector<size_t>& order, const std::vector<LParam>& keys, LvCompare cmp, LParam word) {
  std::vector<size_t> tmp(order.size());
  for (size_t width = 1; width < order.size(); width *= 2) {
    for (size_t lo = 0; lo < order.size(); lo += 2 * width) {
      const size_t mid = std::min(lo + width, order.size()), hi = std::min(lo + 2 * width, order.size());
      size_t a = lo, b = mid, out = lo;
      while (a < mid && b < hi) tmp[out++] = cmp(keys[order[b]], keys[order[a]], word) < 0 ? order[b++] : order[a++];
      while (a < mid) tmp[out++] = order[a++];
      while (b < hi) tmp[out++] = order[b++];
    }
    order.swap(tmp);
  }
}

LResult sort_items(Wnd wnd, WParam word, LParam fn, bool by_index) {
  auto cmp = reinterpret_cast<LvCompare>(fn);
  ListViewData* d = listview_data(wnd);
  if (!cmp) return 0;
  const size_t n = d->rows.size();
  std::vector<LParam> keys(n);
  for (size_t i = 0; i < n; ++i) keys[i] = by_index ? LParam(i) : d->rows[i].data;
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t(0));
  merge_sort(order, keys, cmp, LParam(word));
  // The comparison may have sent messages; the items must still be those sorted.
  d = is_window(wnd) ? listview_data(wnd) : nullptr;
  if (!d || d->rows.size() != n) return 0;
  std::vector<LvRow> sorted;
  sorted.reserve(n);
  int anchor = -1;
  for (size_t i = 0; i < n; ++i) {
    if (int(order[i]) == d->anchor) anchor = int(i);
    sorted.push_back(std::move(d->rows[order[i]]));
  }
  d->rows.swap(sorted);
  d->anchor = anchor;
  redraw(wnd);
  return 1;
}

LResult selected_count(const ListViewData& d) {
  return std::count_if(d.rows.begin(), d.rows.end(), [](const LvRow& r) { return (r.state & LVIS_SELECTED) != 0; });
}

LResult item_rect(Wnd wnd, const ListViewData& d, WParam wp, LParam lp, bool sub) {
  auto* r = reinterpret_cast<Rect*>(lp);
  if (!r || !listview_valid(d, intptr_t(wp))) return 0;
  const int item = int(wp), part = r->left, column = sub ? r->top : 0;
  if (sub && (column < 0 || column >= int(d.columns.size()))) return 0;
  if (sub && column > 0) {
    *r = listview_cell_rect(wnd, d, item, column);
    return 1;
  }
  const Rect label = listview_label_rect(wnd, d, item);
  switch (part) {
    case LVIR_BOUNDS: *r = sub ? listview_cell_rect(wnd, d, item, 0) : listview_row_rect(wnd, d, item); return 1;
    case LVIR_ICON: *r = Rect{label.left, label.top, label.left, label.bottom}; return 1;
    case LVIR_LABEL: *r = label; return 1;
    case LVIR_SELECTBOUNDS:
      *r = (d.ex_style & LVS_EX_FULLROWSELECT) ? listview_row_rect(wnd, d, item) : label;
      return 1;
    default: return 0;
  }
}

LResult hit_test(Wnd wnd, const ListViewData& d, LParam lp, bool sub) {
  auto* info = reinterpret_cast<LvHitTestInfo*>(lp);
  return info ? listview_hit_test(wnd, d, info, sub) : -1;
}

}  // namespace

bool listview_valid(const ListViewData& d, intptr_t item) { return item >= 0 && item < intptr_t(d.rows.size()); }

const std::u16string& listview_text(const LvRow& row, int sub_item) {
  static const std::u16string empty;
  return sub_item >= 0 && size_t(sub_item) < row.texts.size() ? row.texts[size_t(sub_item)] : empty;
}

int listview_compare_text(const std::u16string& a, const std::u16string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = fold(a[i]), y = fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void listview_set_state(Wnd wnd, ListViewData& d, int item, unsigned state, unsigned mask) {
  if (!listview_valid(d, item)) return;
  mask &= kLvUserStates;
  LvRow& row = d.rows[size_t(item)];
  row.state = (row.state & ~mask) | (state & mask);
  const bool single = listview_style(wnd) & LVS_SINGLESEL;
  if (!(row.state & LVIS_FOCUSED) && !(single && (row.state & LVIS_SELECTED))) {
    redraw(wnd);
    return;
  }
  for (int i = 0; i < count(d); ++i) {
    if (i == item) continue;
    if (row.state & LVIS_FOCUSED) d.rows[size_t(i)].state &= ~LVIS_FOCUSED;
    if (single && (row.state & LVIS_SELECTED)) d.rows[size_t(i)].state &= ~LVIS_SELECTED;
  }
  redraw(wnd);
}

LResult listview_item_message(Wnd wnd, ListViewData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case LVM_GETITEMCOUNT: return count(d);
    case LVM_INSERTITEM: return insert_item(wnd, d, lp);
    case LVM_DELETEITEM: return delete_item(wnd, wp);
    case LVM_DELETEALLITEMS: return delete_all(wnd);
    case LVM_SETITEM: return set_item(wnd, d, reinterpret_cast<const LvItem*>(lp));
    case LVM_GETITEM: return get_item(d, reinterpret_cast<LvItem*>(lp));
    case LVM_SETITEMTEXT: {
      const auto* it = reinterpret_cast<const LvItem*>(lp);
      if (!it) return 0;
      LvItem one = *it;
      one.item = int(intptr_t(wp));
      one.mask = LVIF_TEXT;
      return set_item(wnd, d, &one);
    }
    case LVM_GETITEMTEXT: {
      auto* it = reinterpret_cast<LvItem*>(lp);
      if (!it || !listview_valid(d, intptr_t(wp)) || !valid_sub_item(d, it->sub_item)) return 0;
      return copy_text_out(listview_text(d.rows[wp], it->sub_item), it->text, it->text_max);
    }
    case LVM_SETITEMSTATE: return set_item_state(wnd, d, wp, reinterpret_cast<const LvItem*>(lp));
    case LVM_GETITEMSTATE:
      return listview_valid(d, intptr_t(wp)) ? LResult(d.rows[wp].state & unsigned(lp)) : 0;
    case LVM_GETNEXTITEM: return next_item(d, wp, lp);
    case LVM_GETSELECTEDCOUNT: return selected_count(d);
    case LVM_FINDITEM: return find_item(d, wp, lp);
    case LVM_SORTITEMS: return sort_items(wnd, wp, lp, false);
    case LVM_SORTITEMSEX: return sort_items(wnd, wp, lp, true);
    case LVM_GETITEMRECT: return item_rect(wnd, d, wp, lp, false);
    case LVM_GETSUBITEMRECT: return item_rect(wnd, d, wp, lp, true);
    case LVM_HITTEST: return hit_test(wnd, d, lp, false);
    case LVM_SUBITEMHITTEST: return hit_test(wnd, d, lp, true);
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

}  // namespace plat::ui_detail
