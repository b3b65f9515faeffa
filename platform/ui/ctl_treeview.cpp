// The tree view's window procedure and its messages: inserting, deleting, reading and
// changing items, relations, selection and expansion by code (silent), image lists,
// rectangles and hit tests. The user's input is in ctl_treeview_view.cpp.
#include <algorithm>
#include <cstring>

#include "platform/ui/ctl_state.h"
#include "platform/ui/ctl_treeview_state.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/paint.h"

namespace plat {

using namespace ui_detail;

namespace {

void redraw(Wnd wnd) { invalidate_rect(wnd, nullptr, true); }

LResult as_result(const TvNode* node) { return node ? LResult(reinterpret_cast<intptr_t>(node->handle)) : 0; }
TreeItem item_param(LParam lp) { return reinterpret_cast<TreeItem>(lp); }

LResult insert_item(Wnd wnd, TreeViewData& d, LParam lp) {
  const auto* ins = reinterpret_cast<const TvInsertStruct*>(lp);
  return ins ? as_result(tv_insert(wnd, d, *ins)) : 0;
}

LResult get_item(TreeViewData& d, LParam lp) {
  auto* it = reinterpret_cast<TvItem*>(lp);
  TvNode* node = it ? tv_find(d, it->item) : nullptr;
  if (!node) return 0;
  if (it->mask & TVIF_TEXT) copy_text_out(node->text, it->text, it->text_max);
  if (it->mask & TVIF_PARAM) it->param = node->data;
  if (it->mask & TVIF_IMAGE) it->image = node->image;
  if (it->mask & TVIF_SELECTEDIMAGE) it->selected_image = node->selected_image;
  if (it->mask & TVIF_CHILDREN) it->children = tv_has_children(node) ? 1 : 0;
  if (it->mask & TVIF_STATE) it->state = (node->state | (d.caret == node ? TVIS_SELECTED : 0)) & it->state_mask;
  return 1;
}

void set_state(Wnd wnd, TreeViewData& d, TvNode* node, unsigned state, unsigned mask) {
  const unsigned kept = mask & (TVIS_BOLD | TVIS_STATEIMAGEMASK);
  node->state = (node->state & ~kept) | (state & kept);
  if (mask & TVIS_EXPANDED) tv_set_expanded(wnd, d, node, (state & TVIS_EXPANDED) != 0);
  if (mask & TVIS_SELECTED) {
    if (state & TVIS_SELECTED) {
      d.caret = node;
    } else if (d.caret == node) {
      d.caret = nullptr;
    }
  }
}

LResult set_item(Wnd wnd, TreeViewData& d, LParam lp) {
  const auto* it = reinterpret_cast<const TvItem*>(lp);
  TvNode* node = it ? tv_find(d, it->item) : nullptr;
  if (!node) return 0;
  if (it->mask & TVIF_TEXT) node->text = it->text ? it->text : u"";
  if (it->mask & TVIF_PARAM) node->data = it->param;
  if (it->mask & TVIF_IMAGE) node->image = it->image;
  if (it->mask & TVIF_SELECTEDIMAGE) node->selected_image = it->selected_image;
  if (it->mask & TVIF_CHILDREN) node->children = it->children > 0 ? 1 : 0;
  if (it->mask & TVIF_STATE) set_state(wnd, d, node, it->state, it->state_mask);
  redraw(wnd);
  return 1;
}

LResult expand(Wnd wnd, TreeViewData& d, WParam code, LParam lp) {
  TvNode* node = tv_find(d, item_param(lp));
  if (!node) return 0;
  const unsigned how = unsigned(code) & 3u;
  if (how == 0) return 0;
  const bool open = how == TVE_TOGGLE ? !(node->state & TVIS_EXPANDED) : how == TVE_EXPAND;
  tv_set_expanded(wnd, d, node, open);
  if (!open && (code & TVE_COLLAPSERESET)) return tv_delete_children(wnd, node->handle) ? 1 : 0;
  return 1;
}

TvNode* visible_neighbour(TreeViewData& d, TvNode* node, int step) {
  const std::vector<TvNode*> rows = tv_rows(d);
  const auto at = std::find(rows.begin(), rows.end(), node);
  if (at == rows.end()) return nullptr;
  const auto i = (at - rows.begin()) + step;
  return i >= 0 && i < intptr_t(rows.size()) ? rows[size_t(i)] : nullptr;
}

LResult next_item(Wnd wnd, TreeViewData& d, WParam how, LParam lp) {
  const bool by_rows = how == TVGN_FIRSTVISIBLE || how == TVGN_LASTVISIBLE;
  const std::vector<TvNode*> rows = by_rows ? tv_rows(d) : std::vector<TvNode*>();
  TvNode* node = tv_find(d, item_param(lp));
  switch (how) {
    case TVGN_ROOT: return as_result(d.root.first);
    case TVGN_NEXT: return as_result(node ? node->next : nullptr);
    case TVGN_PREVIOUS: return as_result(node ? node->prev : nullptr);
    case TVGN_PARENT: return as_result(node && node->parent != &d.root ? node->parent : nullptr);
    case TVGN_CHILD: {
      TvNode* parent = tv_find_parent(d, item_param(lp));
      return as_result(parent ? parent->first : nullptr);
    }
    case TVGN_FIRSTVISIBLE: return as_result(size_t(d.top) < rows.size() ? rows[size_t(d.top)] : nullptr);
    case TVGN_NEXTVISIBLE: return as_result(node ? visible_neighbour(d, node, 1) : nullptr);
    case TVGN_PREVIOUSVISIBLE: return as_result(node ? visible_neighbour(d, node, -1) : nullptr);
    case TVGN_LASTVISIBLE: return as_result(rows.empty() ? nullptr : rows.back());
    case TVGN_CARET: return as_result(d.caret);
    default: (void)wnd; return 0;
  }
}

LResult select_item(Wnd wnd, TreeViewData& d, WParam how, LParam lp) {
  TvNode* node = tv_find(d, item_param(lp));
  if (lp && !node) return 0;
  if (how == TVGN_CARET) {
    d.caret = node;
    if (node) treeview_show_node(wnd, d, node);
    redraw(wnd);
    return 1;
  }
  if (how == TVGN_FIRSTVISIBLE && node) {
    tv_open_ancestors(d, node);
    treeview_set_top(wnd, d, tv_row_of(d, node));
    return 1;
  }
  return 0;
}

LResult item_rect(Wnd wnd, TreeViewData& d, WParam label_only, LParam lp) {
  auto* r = reinterpret_cast<Rect*>(lp);
  if (!r) return 0;
  TreeItem item = nullptr;
  static_assert(sizeof(TreeItem) <= sizeof(Rect));
  std::memcpy(&item, r, sizeof item);
  TvNode* node = tv_find(d, item);
  const int row = node ? tv_row_of(d, node) : -1;
  if (row < 0) return 0;
  const TvRowGeometry g = treeview_geometry(wnd, d, *node, row);
  *r = label_only ? g.label : g.row;
  return 1;
}

LResult set_image_list(Wnd wnd, TreeViewData& d, WParam which, LParam lp) {
  ImageList* slot = which == TVSIL_STATE ? &d.state_images : which == TVSIL_NORMAL ? &d.normal_images : nullptr;
  if (!slot) return 0;
  ImageList old = *slot;
  *slot = reinterpret_cast<ImageList>(lp);
  treeview_update_metrics(wnd, d);
  redraw(wnd);
  return LResult(reinterpret_cast<intptr_t>(old));
}

LResult tree_message(Wnd wnd, TreeViewData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case TVM_INSERTITEM: return insert_item(wnd, d, lp);
    case TVM_DELETEITEM: return tv_delete(wnd, item_param(lp)) ? 1 : 0;
    case TVM_EXPAND: return expand(wnd, d, wp, lp);
    case TVM_GETITEMRECT: return item_rect(wnd, d, wp, lp);
    case TVM_GETCOUNT: return LResult(d.items.size());
    case TVM_GETINDENT: return d.indent;
    case TVM_SETINDENT:
      d.indent = std::clamp(int(intptr_t(wp)), 4, 200);
      redraw(wnd);
      return 1;
    case TVM_GETIMAGELIST:
      return LResult(reinterpret_cast<intptr_t>(wp == TVSIL_STATE    ? d.state_images
                                                : wp == TVSIL_NORMAL ? d.normal_images
                                                                     : nullptr));
    case TVM_SETIMAGELIST: return set_image_list(wnd, d, wp, lp);
    case TVM_GETNEXTITEM: return next_item(wnd, d, wp, lp);
    case TVM_SELECTITEM: return select_item(wnd, d, wp, lp);
    case TVM_GETVISIBLECOUNT: return treeview_rows_shown(wnd, d);
    case TVM_HITTEST: {
      auto* info = reinterpret_cast<TvHitTestInfo*>(lp);
      return info ? LResult(reinterpret_cast<intptr_t>(treeview_hit_test(wnd, d, info))) : 0;
    }
    case TVM_ENSUREVISIBLE: {
      TvNode* node = tv_find(d, item_param(lp));
      if (!node) return 0;
      treeview_show_node(wnd, d, node);
      redraw(wnd);
      return 1;
    }
    case TVM_GETITEMSTATE: {
      TvNode* node = tv_find(d, reinterpret_cast<TreeItem>(wp));
      return node ? LResult((node->state | (d.caret == node ? TVIS_SELECTED : 0)) & unsigned(lp)) : 0;
    }
    case TVM_GETITEM: return get_item(d, lp);
    case TVM_SETITEM: return set_item(wnd, d, lp);
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

LResult window_message(Wnd wnd, TreeViewData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_CREATE: treeview_update_metrics(wnd, d); return 0;
    case WM_PAINT: treeview_paint(wnd, d); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT fills the client area
    case WM_SIZE: treeview_set_top(wnd, d, d.top); return 0;
    case WM_SETFONT:
      treeview_set_font(wnd, d, reinterpret_cast<Font>(wp));
      if (lp) redraw(wnd);
      return 0;
    case WM_GETFONT: return LResult(reinterpret_cast<intptr_t>(d.font));
    case WM_ENABLE: redraw(wnd); return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      d.focused = msg == WM_SETFOCUS;
      redraw(wnd);
      return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN: return treeview_on_key(wnd, int(wp));
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: return treeview_on_button(wnd, msg, lp);
    case WM_VSCROLL:
    case WM_MOUSEWHEEL: treeview_on_scroll(wnd, d, msg, wp); return 0;
    default: return tree_message(wnd, d, msg, wp, lp);
  }
}

// Without the window: the rows are laid out at WM_CREATE.
void set_up(Wnd, TreeViewData& d, const CreateStruct*) { treeview_set_font(nullptr, d, nullptr); }

}  // namespace

void register_treeview_control() {
  register_control_class(kTreeViewClass, control_proc<TreeViewData, window_message, set_up>, CS_DBLCLKS, IDC_ARROW);
}

}  // namespace plat
