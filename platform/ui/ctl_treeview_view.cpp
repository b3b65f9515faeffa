// The tree view's geometry (the parts of a row), its vertical scrolling, hit testing,
// and what the user's mouse and keys do. Every notification the tree raises for the
// user's actions is sent from here. After each notice the control and the item are
// looked up again, since the parent may have destroyed or changed them meanwhile.
#include <algorithm>

#include "platform/ui/ctl_paint.h"
#include "platform/ui/ctl_treeview_state.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/paint.h"
#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

namespace {

Rect client(Wnd wnd) {
  Rect rc;
  get_client_rect(wnd, &rc);
  return rc;
}

int lines_at_root(Wnd wnd) {
  const uint32_t s = treeview_style(wnd);
  return (s & TVS_LINESATROOT) && (s & (TVS_HASLINES | TVS_HASBUTTONS)) ? 1 : 0;
}

int state_slot(Wnd wnd, const TreeViewData& d) {
  if (d.state_images) return image_list_image_size(d.state_images).cx;
  return (treeview_style(wnd) & TVS_CHECKBOXES) ? kTvStateSlot : 0;
}

int icon_slot(const TreeViewData& d) { return d.normal_images ? image_list_image_size(d.normal_images).cx + 2 : 0; }

// ---- Notices -------------------------------------------------------------------------------------
LResult tell(Wnd wnd, int32_t code) {
  NmHdr nm;
  return notify_parent(wnd, &nm, code);
}

void user_select(Wnd wnd, TreeItem item, unsigned action) {
  TreeViewData* d = treeview_data(wnd);
  TvNode* node = tv_find(*d, item);
  if (!node || d->caret == node) return;
  NmTreeView nm;
  nm.action = action;
  if (d->caret) tv_fill_item(*d, *d->caret, &nm.item_old);
  d->caret = node;
  tv_fill_item(*d, *node, &nm.item_new);
  treeview_show_node(wnd, *d, node);
  invalidate_rect(wnd, nullptr, true);
  notify_parent(wnd, &nm.hdr, TVN_SELCHANGED);
}

// Opens, closes or toggles an item as the user asked, with the parent's consent.
void user_expand(Wnd wnd, TreeItem item, unsigned code, unsigned action) {
  TreeViewData* d = treeview_data(wnd);
  TvNode* node = tv_find(*d, item);
  if (!node || !tv_has_children(node)) return;
  const bool open = code == TVE_TOGGLE ? !(node->state & TVIS_EXPANDED) : code == TVE_EXPAND;
  if (open == ((node->state & TVIS_EXPANDED) != 0)) return;
  NmTreeView nm;
  nm.action = open ? TVE_EXPAND : TVE_COLLAPSE;
  tv_fill_item(*d, *node, &nm.item_new);
  if (notify_parent(wnd, &nm.hdr, TVN_ITEMEXPANDING) != 0 || !is_window(wnd)) return;
  d = treeview_data(wnd);
  node = tv_find(*d, item);
  if (!node) return;
  const TreeItem had_caret = d->caret ? d->caret->handle : nullptr;
  tv_set_expanded(wnd, *d, node, open);
  tv_fill_item(*d, *node, &nm.item_new);
  notify_parent(wnd, &nm.hdr, TVN_ITEMEXPANDED);
  if (!is_window(wnd) || !had_caret || had_caret == item) return;
  d = treeview_data(wnd);
  node = tv_find(*d, item);
  if (node && d->caret == node) {
    // The selection was inside the closed item and moved to it.
    NmTreeView sel;
    sel.action = action;
    if (TvNode* old = tv_find(*d, had_caret)) tv_fill_item(*d, *old, &sel.item_old);
    tv_fill_item(*d, *node, &sel.item_new);
    notify_parent(wnd, &sel.hdr, TVN_SELCHANGED);
  }
}

void user_toggle_check(Wnd wnd, TreeItem item) {
  TreeViewData* d = treeview_data(wnd);
  TvNode* node = tv_find(*d, item);
  if (!node) return;
  const unsigned image = tree_state_image_of(node->state);
  if (image == 0) return;
  node->state = (node->state & ~TVIS_STATEIMAGEMASK) | tree_state_image(image == 1 ? 2 : 1);
  invalidate_rect(wnd, nullptr, true);
}

bool checks(Wnd wnd) { return treeview_style(wnd) & TVS_CHECKBOXES; }

// Where a press lands on an item counts as the item for selecting.
bool selects(Wnd wnd, unsigned flags) {
  if (flags & (TVHT_ONITEMLABEL | TVHT_ONITEMICON)) return true;
  return (treeview_style(wnd) & TVS_FULLROWSELECT) && (flags & (TVHT_ONITEMRIGHT | TVHT_ONITEMINDENT));
}

void press(Wnd wnd, TreeItem item, unsigned flags) {
  if (flags & TVHT_ONITEMBUTTON) {
    user_expand(wnd, item, TVE_TOGGLE, TVC_BYMOUSE);
    return;
  }
  if (tell(wnd, NM_CLICK) != 0 || !is_window(wnd) || !item) return;
  if ((flags & TVHT_ONITEMSTATEICON) && checks(wnd)) {
    user_toggle_check(wnd, item);
  } else if (selects(wnd, flags)) {
    user_select(wnd, item, TVC_BYMOUSE);
  }
}

void double_press(Wnd wnd, TreeItem item, unsigned flags) {
  if (flags & TVHT_ONITEMBUTTON) {
    user_expand(wnd, item, TVE_TOGGLE, TVC_BYMOUSE);
    return;
  }
  if (tell(wnd, NM_DBLCLK) != 0 || !is_window(wnd) || !item) return;
  if ((flags & TVHT_ONITEMSTATEICON) && checks(wnd)) {
    user_toggle_check(wnd, item);
  } else if (selects(wnd, flags)) {
    user_expand(wnd, item, TVE_TOGGLE, TVC_BYMOUSE);
  }
}

TvNode* key_target(Wnd wnd, TreeViewData& d, int vk) {
  const std::vector<TvNode*> rows = tv_rows(d);
  const int at = d.caret ? tv_row_of(d, d.caret) : -1;
  const int to = rows_key_target(vk, at, int(rows.size()), treeview_rows_shown(wnd, d));
  return to >= 0 ? rows[size_t(to)] : nullptr;
}

// Left closes an open item or goes to its parent; right opens a closed item or goes
// to its first child.
void left_right(Wnd wnd, TreeViewData& d, bool right) {
  TvNode* node = d.caret;
  if (!node) return;
  const bool open = node->state & TVIS_EXPANDED;
  if (right) {
    if (!open && tv_has_children(node)) {
      user_expand(wnd, node->handle, TVE_EXPAND, TVC_BYKEYBOARD);
    } else if (node->first) {
      user_select(wnd, node->first->handle, TVC_BYKEYBOARD);
    }
  } else if (open && node->first) {
    user_expand(wnd, node->handle, TVE_COLLAPSE, TVC_BYKEYBOARD);
  } else if (node->parent && node->parent->handle) {
    user_select(wnd, node->parent->handle, TVC_BYKEYBOARD);
  }
}

}  // namespace

// ---- Geometry ----------------------------------------------------------------------------------
void treeview_set_font(Wnd wnd, TreeViewData& d, Font font) {
  d.font = font;
  d.text_height = font_text_height(font);
  treeview_update_metrics(wnd, d);
}

void treeview_update_metrics(Wnd wnd, TreeViewData& d) {
  int h = std::max(d.text_height + 4, 16);
  if (d.state_images) h = std::max(h, image_list_image_size(d.state_images).cy + 1);
  if (d.normal_images) h = std::max(h, image_list_image_size(d.normal_images).cy + 1);
  d.row_height = h;
  if (wnd) treeview_set_top(wnd, d, d.top);
}

int treeview_text_width(const TreeViewData& d, const std::u16string& s) {
  return text_width_in(d.font, s);
}

int treeview_rows_shown(Wnd wnd, const TreeViewData& d) { return rows_shown(wnd, treeview_layout(d)); }

bool treeview_has_button(Wnd wnd, const TvNode& node) {
  return (treeview_style(wnd) & TVS_HASBUTTONS) && tv_has_children(&node) && node.depth + lines_at_root(wnd) > 0;
}

TvRowGeometry treeview_geometry(Wnd wnd, const TreeViewData& d, const TvNode& node, int row) {
  TvRowGeometry g;
  g.row = rows_rect(treeview_layout(d), row, client(wnd).right);
  const int y = g.row.top, h = d.row_height;
  g.level_x = (node.depth + lines_at_root(wnd)) * d.indent;
  if (treeview_has_button(wnd, node)) {
    const int cx = g.level_x - d.indent / 2, cy = y + h / 2;
    const int left = cx - kTvButton / 2, top = cy - kTvButton / 2;
    g.button = Rect{left, top, left + kTvButton, top + kTvButton};
  }
  int x = g.level_x;
  if (const int s = state_slot(wnd, d)) {
    g.state_image = Rect{x, y, x + s, y + h};
    x += s;
  }
  if (const int i = icon_slot(d)) {
    g.icon = Rect{x, y, x + i, y + h};
    x += i;
  }
  g.label = Rect{x, y, x + treeview_text_width(d, node.text) + 4, y + h};
  return g;
}

// ---- Scrolling ---------------------------------------------------------------------------------
void treeview_set_top(Wnd wnd, TreeViewData& d, int top) {
  rows_move_top(wnd, d.top, top, tv_row_count(d), treeview_rows_shown(wnd, d));
  treeview_update_bar(wnd, d);
}

void treeview_show_node(Wnd wnd, TreeViewData& d, TvNode* node) {
  tv_open_ancestors(d, node);
  const int row = tv_row_of(d, node);
  if (row < 0) return;
  // Set even when the row shows: opening the ancestors may have changed the bar.
  treeview_set_top(wnd, d, rows_top_showing(d.top, treeview_rows_shown(wnd, d), row));
}

void treeview_update_bar(Wnd wnd, TreeViewData& d) {
  if (treeview_style(wnd) & TVS_NOSCROLL) return;
  const int rows = tv_row_count(d), shown = treeview_rows_shown(wnd, d);
  rows_update_bar(wnd, d.bar, rows, shown, d.top);
}

void treeview_on_scroll(Wnd wnd, TreeViewData& d, uint32_t msg, WParam wp) {
  // Past any row: the view clamps it to the last page.
  int top = 0;
  const int shown = treeview_rows_shown(wnd, d);
  if (rows_scroll_target(wnd, msg, wp, d.top, shown, 1 << 30, &top)) treeview_set_top(wnd, d, top);
}

// ---- Hit testing -------------------------------------------------------------------------------
TreeItem treeview_hit_test(Wnd wnd, TreeViewData& d, TvHitTestInfo* info) {
  const Rect rc = client(wnd);
  const Point p = info->pt;
  info->item = nullptr;
  info->flags = 0;
  if (p.x < 0) info->flags |= TVHT_TOLEFT;
  if (p.x >= rc.right) info->flags |= TVHT_TORIGHT;
  if (p.y < 0) info->flags |= TVHT_ABOVE;
  if (p.y >= rc.bottom) info->flags |= TVHT_BELOW;
  if (info->flags) return nullptr;
  const std::vector<TvNode*> rows = tv_rows(d);
  const int row = rows_at(treeview_layout(d), p.y);
  if (row >= int(rows.size())) {
    info->flags = TVHT_NOWHERE;
    return nullptr;
  }
  const TvNode& node = *rows[size_t(row)];
  const TvRowGeometry g = treeview_geometry(wnd, d, node, row);
  info->item = node.handle;
  if (p.x < g.level_x) {
    const bool on_button = !g.button.empty() && p.x >= g.level_x - d.indent;
    info->flags = on_button ? TVHT_ONITEMBUTTON : TVHT_ONITEMINDENT;
  } else if (g.state_image.contains(p)) {
    info->flags = tree_state_image_of(node.state) ? TVHT_ONITEMSTATEICON : TVHT_ONITEMINDENT;
  } else if (g.icon.contains(p)) {
    info->flags = TVHT_ONITEMICON;
  } else if (g.label.contains(p)) {
    info->flags = TVHT_ONITEMLABEL;
  } else {
    info->flags = TVHT_ONITEMRIGHT;
  }
  return node.handle;
}

// ---- The user's input --------------------------------------------------------------------------
LResult treeview_on_button(Wnd wnd, uint32_t msg, LParam lp) {
  if (get_focus() != wnd) set_focus(wnd);
  if (!is_window(wnd)) return 0;
  TvHitTestInfo ht;
  ht.pt = Point{x_of_lparam(lp), y_of_lparam(lp)};
  const TreeItem item = treeview_hit_test(wnd, *treeview_data(wnd), &ht);
  switch (msg) {
    case WM_LBUTTONDOWN: press(wnd, item, ht.flags); break;
    case WM_LBUTTONDBLCLK: double_press(wnd, item, ht.flags); break;
    case WM_RBUTTONDOWN: tell(wnd, NM_RCLICK); break;
    default: break;
  }
  return 0;
}

LResult treeview_on_key(Wnd wnd, int vk) {
  if (!rows_tell_key<NmTvKeyDown>(wnd, vk, TVN_KEYDOWN)) return 0;
  TreeViewData* d = treeview_data(wnd);
  switch (vk) {
    case VK_LEFT:
    case VK_RIGHT: left_right(wnd, *d, vk == VK_RIGHT); break;
    case VK_ADD:
    case VK_SUBTRACT:
      if (d->caret) user_expand(wnd, d->caret->handle, vk == VK_ADD ? TVE_EXPAND : TVE_COLLAPSE, TVC_BYKEYBOARD);
      break;
    case VK_SPACE:
      if (d->caret && checks(wnd)) user_toggle_check(wnd, d->caret->handle);
      break;
    case VK_RETURN: tell(wnd, NM_RETURN); break;
    default:
      if (TvNode* to = key_target(wnd, *d, vk)) user_select(wnd, to->handle, TVC_BYKEYBOARD);
      break;
  }
  return 0;
}

}  // namespace plat::ui_detail
