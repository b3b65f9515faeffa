// The tree view's items: handles, insertion at a place among siblings, deletion of
// an item with its descendants, the relations between items, and the rows in view.
// Handles come from one counter for the run, so a deleted item's handle is never given
// again and only makes a later call fail.
#include <atomic>

#include "platform/ui/ctl_treeview_state.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"

namespace plat::ui_detail {

namespace {

TreeItem new_handle() {
  static std::atomic<uintptr_t> counter{0};
  return reinterpret_cast<TreeItem>(++counter);
}

bool special(TreeItem item) {
  return item == TVI_ROOT || item == TVI_FIRST || item == TVI_LAST || item == TVI_SORT;
}

char16_t fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 32);
  return c;
}

void link_after(TvNode* parent, TvNode* after, TvNode* node) {
  node->parent = parent;
  node->prev = after;
  node->next = after ? after->next : parent->first;
  if (node->next) {
    node->next->prev = node;
  } else {
    parent->last = node;
  }
  if (after) {
    after->next = node;
  } else {
    parent->first = node;
  }
}

void unlink(TvNode* node) {
  TvNode* parent = node->parent;
  (node->prev ? node->prev->next : parent->first) = node->next;
  (node->next ? node->next->prev : parent->last) = node->prev;
  node->prev = node->next = node->parent = nullptr;
}

// The sibling a new item goes after (null: first); false for a place that is not a
// child of the parent.
bool place_after(TvNode* parent, TreeItem where, const std::u16string& text, TreeViewData& d, TvNode** after) {
  if (where == TVI_FIRST) {
    *after = nullptr;
  } else if (where == TVI_LAST || where == nullptr || where == TVI_ROOT) {
    *after = parent->last;
  } else if (where == TVI_SORT) {
    TvNode* a = nullptr;
    for (TvNode* c = parent->first; c && tv_compare_text(c->text, text) <= 0; c = c->next) a = c;
    *after = a;
  } else {
    TvNode* sibling = tv_find(d, where);
    if (!sibling || sibling->parent != parent) return false;
    *after = sibling;
  }
  return true;
}

void collect_post_order(TvNode* node, std::vector<std::pair<TreeItem, LParam>>& out) {
  for (TvNode* c = node->first; c; c = c->next) collect_post_order(c, out);
  if (node->handle) out.emplace_back(node->handle, node->data);
}

// Every ancestor is open: the item has a row.
bool shown(const TvNode* node) {
  for (const TvNode* p = node->parent; p && p->handle; p = p->parent)
    if (!(p->state & TVIS_EXPANDED)) return false;
  return true;
}

void erase_subtree(TreeViewData& d, TvNode* node) {
  d.rows_dirty = true;
  while (node->first) erase_subtree(d, node->first);
  if (d.caret == node) d.caret = nullptr;
  if (!node->handle) return;  // the hidden root stays
  unlink(node);
  const TreeItem handle = node->handle;  // the key outlives the node it erases
  d.items.erase(handle);
}

// Tells the parent of each item going (deepest first), then deletes those still there.
bool delete_nodes(Wnd wnd, const std::vector<std::pair<TreeItem, LParam>>& going) {
  for (const auto& [item, data] : going) {
    NmTreeView nm;
    nm.item_old.mask = TVIF_HANDLE | TVIF_PARAM;
    nm.item_old.item = item;
    nm.item_old.param = data;
    notify_parent(wnd, &nm.hdr, TVN_DELETEITEM);
    if (!is_window(wnd)) return false;
  }
  TreeViewData* d = treeview_data(wnd);
  for (const auto& going_item : going)
    if (TvNode* n = tv_find(*d, going_item.first)) erase_subtree(*d, n);
  treeview_set_top(wnd, *d, d->top);
  invalidate_rect(wnd, nullptr, true);
  return true;
}

void add_rows(TvNode* parent, std::vector<TvNode*>& rows) {
  for (TvNode* c = parent->first; c; c = c->next) {
    rows.push_back(c);
    if (tv_expanded(c)) add_rows(c, rows);
  }
}

}  // namespace

TvNode* tv_find(TreeViewData& d, TreeItem item) {
  if (!item || special(item)) return nullptr;
  auto it = d.items.find(item);
  return it == d.items.end() ? nullptr : it->second.get();
}

TvNode* tv_find_parent(TreeViewData& d, TreeItem item) {
  return !item || item == TVI_ROOT ? &d.root : tv_find(d, item);
}

int tv_compare_text(const std::u16string& a, const std::u16string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = fold(a[i]), y = fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

TvNode* tv_insert(Wnd wnd, TreeViewData& d, const TvInsertStruct& ins) {
  TvNode* parent = tv_find_parent(d, ins.parent);
  if (!parent) return nullptr;
  const TvItem& it = ins.item;
  const std::u16string text = (it.mask & TVIF_TEXT) && it.text ? it.text : u"";
  TvNode* after = nullptr;
  if (!place_after(parent, ins.insert_after, text, d, &after)) return nullptr;
  auto node = std::make_unique<TvNode>();
  node->handle = new_handle();
  node->text = text;
  node->depth = parent == &d.root ? 0 : parent->depth + 1;
  if (it.mask & TVIF_PARAM) node->data = it.param;
  if (it.mask & TVIF_IMAGE) node->image = it.image;
  if (it.mask & TVIF_SELECTEDIMAGE) node->selected_image = it.selected_image;
  if (it.mask & TVIF_CHILDREN) node->children = it.children > 0 ? 1 : 0;
  unsigned mask = (it.mask & TVIF_STATE) ? it.state_mask & (TVIS_EXPANDED | TVIS_BOLD | TVIS_STATEIMAGEMASK) : 0;
  node->state = it.state & mask;
  if ((treeview_style(wnd) & TVS_CHECKBOXES) && !(mask & TVIS_STATEIMAGEMASK)) node->state |= tree_state_image(1);
  TvNode* raw = node.get();
  link_after(parent, after, raw);
  d.items.emplace(raw->handle, std::move(node));
  if (!d.rows_dirty && shown(raw)) ++d.row_count;
  treeview_set_top(wnd, d, d.top);
  invalidate_rect(wnd, nullptr, true);
  return raw;
}

bool tv_delete(Wnd wnd, TreeItem item) {
  TreeViewData* d = treeview_data(wnd);
  TvNode* node = tv_find_parent(*d, item);
  if (!node) return false;
  std::vector<std::pair<TreeItem, LParam>> going;
  collect_post_order(node, going);
  return delete_nodes(wnd, going);
}

bool tv_delete_children(Wnd wnd, TreeItem item) {
  TreeViewData* d = treeview_data(wnd);
  TvNode* node = tv_find(*d, item);
  if (!node) return false;
  std::vector<std::pair<TreeItem, LParam>> going;
  for (TvNode* c = node->first; c; c = c->next) collect_post_order(c, going);
  return delete_nodes(wnd, going);
}

bool tv_is_descendant(const TvNode* node, const TvNode* ancestor) {
  for (const TvNode* p = node ? node->parent : nullptr; p; p = p->parent)
    if (p == ancestor) return true;
  return false;
}

bool tv_has_children(const TvNode* node) { return node->first != nullptr || node->children > 0; }
bool tv_expanded(const TvNode* node) { return (node->state & TVIS_EXPANDED) && node->first; }

std::vector<TvNode*> tv_rows(TreeViewData& d) {
  std::vector<TvNode*> rows;
  add_rows(&d.root, rows);
  return rows;
}

int tv_row_count(TreeViewData& d) {
  if (d.rows_dirty) {
    d.row_count = int(tv_rows(d).size());
    d.rows_dirty = false;
  }
  return d.row_count;
}

int tv_row_of(TreeViewData& d, const TvNode* node) {
  for (const TvNode* p = node->parent; p && p != &d.root; p = p->parent)
    if (!(p->state & TVIS_EXPANDED)) return -1;
  const std::vector<TvNode*> rows = tv_rows(d);
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i] == node) return int(i);
  return -1;
}

void tv_open_ancestors(TreeViewData& d, TvNode* node) {
  for (TvNode* p = node->parent; p && p->handle; p = p->parent) {
    if (!(p->state & TVIS_EXPANDED)) d.rows_dirty = true;
    p->state |= TVIS_EXPANDED;
  }
}

void tv_set_expanded(Wnd wnd, TreeViewData& d, TvNode* node, bool open) {
  node->state = open ? (node->state | TVIS_EXPANDED) : (node->state & ~TVIS_EXPANDED);
  d.rows_dirty = true;
  if (!open && tv_is_descendant(d.caret, node)) d.caret = node;
  treeview_set_top(wnd, d, d.top);
  invalidate_rect(wnd, nullptr, true);
}

void tv_fill_item(const TreeViewData& d, const TvNode& node, TvItem* out) {
  out->mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
  out->item = node.handle;
  out->state = node.state | (d.caret == &node ? TVIS_SELECTED : 0);
  out->state_mask = 0xFFFFu;
  out->param = node.data;
}

}  // namespace plat::ui_detail
