// The layer window of a WMS service: a "ClasseTableau" window with a tree of the
// service's layers. In choice mode a layer that has a name and offers the graph space's
// coordinate system has a check box; checking or unchecking a box gives its state to
// every box under it, and OK makes the service's image object of the checked layers.
// The window keeps the systems common to the checked layers and marks in bold each
// layer item whose layer offers none of them, so that the user sees which choices do
// not go together.
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_records.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ui.h"
#include "raster/wms/wms.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/table_window.h"
#include "shell/framework/tree_checks.h"
#include "shell/framework/winutil.h"
#include "shell/wms_dialogs.h"

namespace {

// The window's pixel layout.
constexpr int kWindowX = 100, kWindowY = 100, kWindowWidth = 600, kWindowHeight = 420;
constexpr int kMargin = 8, kButtonWidth = 100, kButtonHeight = 28;
constexpr int kTreeHeightLess = 52, kButtonRowFromBottom = 36, kCloseFromRight = 124;
// Layers nested deeper than this are not shown: every walk here and in the tree control
// recurses once per level.
constexpr int kMaxDepth = 200;
// Posted to the window after Space has flipped the caret item's box.
constexpr uint32_t kSpaceToggled = plat::WM_APP + 41;

constexpr uint32_t kTreeStyle = plat::WS_BORDER | plat::WS_TABSTOP | plat::TVS_HASBUTTONS |
                                plat::TVS_HASLINES | plat::TVS_LINESATROOT | plat::TVS_SHOWSELALWAYS |
                                plat::TVS_DISABLEDRAGDROP | plat::TVS_FULLROWSELECT;

// The open window (user-interface thread only).
struct layer_window_state {
  plat::Wnd wnd = nullptr;
  plat::Wnd tree = nullptr;
  plat::Wnd parent = nullptr;  // disabled while the window is open
  int service = 0;             // the service's id
  graphspace_t* gs = nullptr;
  int choice = 0;
  container_t* common = nullptr;  // the systems every checked layer offers (georefs not owned)
  bool any_checked = false;
};
layer_window_state& st() {
  static layer_window_state s;
  return s;
}

const char* tr(const char* fr, const char* en) { return is_french() ? fr : en; }

int item_id(plat::Wnd tree, plat::TreeItem item) {
  plat::LParam data = 0;
  return tree_item_data(tree, item, &data) ? int(data) : 0;
}

// The layer of an item, looked up again by its id; null for the root and for a layer
// gone meanwhile.
wms_layer_t* item_layer(plat::Wnd tree, plat::TreeItem item) {
  const int id = item_id(tree, item);
  return id ? static_cast<wms_layer_t*>(obj_find_in_class(CLS_WMS_LAYER, id, nullptr)) : nullptr;
}

georef_t* space_georef() {
  georef_t* g = nullptr;
  if (st().gs) graph_get_georef(st().gs, &g);
  return g;
}

// ---- Building the tree -------------------------------------------------------------------------

// A layer can be chosen when the map can ask for it by name in the graph space's system.
bool choosable(const wms_layer_t* layer, const georef_t* georef) {
  return st().choice && layer->name && *layer->name && georef && wms_layer_has_crs(layer, georef, 1);
}

void add_layers(plat::Wnd tree, obj_t* father, plat::TreeItem parent, const georef_t* georef, int depth) {
  if (depth >= kMaxDepth) return;
  int iter = 0;
  while (wms_layer_t* layer = wms_next_layer(father, &iter)) {
    std::u16string label;
    if (layer->title && *layer->title) {
      label = layer->title;
    } else if (layer->name) {
      for (const char* p = layer->name; *p; ++p) label += char16_t(static_cast<unsigned char>(*p));
    }
    plat::TreeItem item = tree_insert_item(tree, parent, label.c_str(), layer->id, choosable(layer, georef) ? 1 : 0);
    if (!item) continue;
    add_layers(tree, layer, item, georef, depth + 1);
    if (tree_next_item(tree, item, plat::TVGN_CHILD))
      plat::send_message(tree, plat::TVM_EXPAND, plat::TVE_EXPAND, plat::LParam(item));
  }
}

void fill_tree(plat::Wnd tree, wms_service_t* service) {
  plat::TreeItem root = tree_insert_item(tree, plat::TVI_ROOT, service->title, service->id, 0);
  if (!root) return;
  add_layers(tree, service, root, space_georef(), 1);
  plat::send_message(tree, plat::TVM_EXPAND, plat::TVE_EXPAND, plat::LParam(root));
}

// ---- The systems common to the checked layers -------------------------------------------------

// The checked items with a layer, in the tree's order.
void checked_layers(plat::Wnd tree, plat::TreeItem item, int depth, std::vector<wms_layer_t*>* out) {
  if (depth >= kMaxDepth) return;
  for (; item; item = tree_next_item(tree, item, plat::TVGN_NEXT)) {
    if (tree_state_image(tree, item) != 0 && tree_get_check(tree, item))
      if (wms_layer_t* layer = item_layer(tree, item)) out->push_back(layer);
    checked_layers(tree, tree_next_item(tree, item, plat::TVGN_CHILD), depth + 1, out);
  }
}

// Every checked layer narrows the list; an empty list stays empty (the checked layers
// then share no system), it does not start again from the next layer.
void recompute_common(plat::Wnd tree) {
  layer_window_state& s = st();
  set_gblerr(0);  // a pending error would keep the lists below from being freed
  free_obj(&s.common);
  std::vector<wms_layer_t*> layers;
  checked_layers(tree, tree_next_item(tree, nullptr, plat::TVGN_ROOT), 0, &layers);
  s.any_checked = !layers.empty();
  for (size_t i = 0; i < layers.size(); ++i) {
    container_t* own = nullptr;
    wms_layer_crs_list(layers[i], &own);
    if (i == 0) {
      s.common = own;
      continue;
    }
    container_t* narrowed = nullptr;
    wms_common_crs(s.common, own, &narrowed);
    free_obj(&own);
    free_obj(&s.common);
    s.common = narrowed;
  }
}

bool shares_common(const wms_layer_t* layer) {
  const container_t* common = st().common;
  const int n = obj_list_count(common);
  for (int i = 0; i < n; ++i)
    if (common->elems[i] && wms_layer_has_crs(layer, reinterpret_cast<const georef_t*>(common->elems[i]), 1))
      return true;
  return false;
}

void set_marked(plat::Wnd tree, plat::TreeItem item, bool marked) {
  plat::TvItem tv;
  tv.mask = plat::TVIF_STATE | plat::TVIF_HANDLE;
  tv.item = item;
  tv.state = marked ? plat::TVIS_BOLD : 0;
  tv.state_mask = plat::TVIS_BOLD;
  plat::send_message(tree, plat::TVM_SETITEM, 0, plat::LParam(&tv));
}

// While some layer is checked, every layer item whose layer offers none of the common
// systems is bold (with a box or not: it shows which layers go with the choice); with
// nothing checked no item is.
void mark_items(plat::Wnd tree, plat::TreeItem item, int depth) {
  if (depth >= kMaxDepth) return;
  for (; item; item = tree_next_item(tree, item, plat::TVGN_NEXT)) {
    const wms_layer_t* layer = item_layer(tree, item);
    if (layer) set_marked(tree, item, st().any_checked && !shares_common(layer));
    mark_items(tree, tree_next_item(tree, item, plat::TVGN_CHILD), depth + 1);
  }
}

void checks_changed(plat::Wnd tree) {
  recompute_common(tree);
  mark_items(tree, tree_next_item(tree, nullptr, plat::TVGN_ROOT), 0);
  plat::invalidate_rect(tree, nullptr, true);
}

// ---- The user's actions --------------------------------------------------------------------------

// NM_CLICK: a click on a box flips it and gives its state to the boxes under it; a
// click elsewhere on an item selects it. Answers 1: the tree does nothing more.
plat::LResult on_click(plat::Wnd tree) {
  unsigned flags = 0;
  plat::TreeItem item = tree_select_under_cursor(tree, &flags);
  if (!item) return 1;
  if (!(flags & plat::TVHT_ONITEMSTATEICON) || tree_state_image(tree, item) == 0) return 1;
  tree_set_check_all(tree, item, tree_get_check(tree, item) ? 0 : 1);
  checks_changed(tree);
  return 1;
}

// Space flips the caret item's box in the tree itself; the window then spreads the new
// state (the tree tells the key before acting on it).
void on_space_toggled(plat::Wnd tree, plat::TreeItem item) {
  if (!plat::is_window(tree) || tree_state_image(tree, item) == 0) return;
  tree_set_check_all(tree, item, tree_get_check(tree, item));
  checks_changed(tree);
}

plat::LResult on_notify(plat::Wnd wnd, const plat::NmHdr* hdr) {
  if (!hdr || hdr->id_from != uintptr_t(IDC_WMSLAYER_TREE) || !st().choice) return 0;
  if (hdr->code == plat::NM_CLICK) return on_click(hdr->hwnd_from);
  if (hdr->code == plat::TVN_KEYDOWN && reinterpret_cast<const plat::NmTvKeyDown*>(hdr)->vkey == plat::VK_SPACE) {
    plat::TreeItem caret = tree_next_item(hdr->hwnd_from, nullptr, plat::TVGN_CARET);
    if (caret) plat::post_message(wnd, kSpaceToggled, 0, plat::LParam(caret));
  }
  return 0;
}

// OK: the checked layers (each has a name and the graph space's system) become the
// service's image object in the graph space; a refusal is told and keeps the window.
void on_ok(plat::Wnd wnd) {
  layer_window_state& s = st();
  std::vector<wms_layer_t*> layers;
  checked_layers(s.tree, tree_next_item(s.tree, nullptr, plat::TVGN_ROOT), 0, &layers);
  container_t* chosen = nullptr;
  obj_list_new(&chosen);
  for (wms_layer_t* layer : layers) obj_list_append(chosen, layer);
  set_gblerr(0);
  bitmap_t* image = wms_make_image(chosen, s.gs, space_georef(), nullptr);
  const int code = get_gblerr();
  set_gblerr(0);  // the list goes whatever came of it
  free_obj(&chosen);
  if (!image || code) {
    const int shown = code ? code : ERR_OBJECT;
    msg_box(get_error_text(shown), get_error_title(shown));
    return;
  }
  if (mapwin_t* map = get_current_mapwin()) mapwin_request_redraw(map);
  post_redraw();
  plat::send_message(wnd, plat::WM_CLOSE, 0, 0);
}

void close_window(plat::Wnd wnd) {
  // The owner comes back before this window goes, so that it takes the activation.
  if (st().wnd == wnd && st().parent) plat::enable_window(st().parent, true);
  plat::destroy_window(wnd);
}

void forget_window(plat::Wnd wnd) {
  layer_window_state& s = st();
  if (s.wnd != wnd) return;
  if (s.parent && plat::is_window(s.parent)) plat::enable_window(s.parent, true);
  const int code = get_gblerr();
  set_gblerr(0);
  free_obj(&s.common);
  set_gblerr(code);
  s = layer_window_state{};
}

void add_buttons(plat::Wnd wnd, int width, int height, int choice) {
  const int y = height - kButtonRowFromBottom;
  if (choice) {
    create_control(wnd, plat::kButtonClass, "OK", plat::WS_TABSTOP | plat::BS_DEFPUSHBUTTON, kMargin, y,
                   kButtonWidth, kButtonHeight, IDC_WMSLAYER_OK);
    create_control(wnd, plat::kButtonClass, tr("Annuler", "Cancel"), plat::WS_TABSTOP | plat::BS_PUSHBUTTON,
                   width - kCloseFromRight, y, kButtonWidth, kButtonHeight, IDC_WMSLAYER_CANCEL);
  } else {
    create_control(wnd, plat::kButtonClass, tr("Fermer", "Close"), plat::WS_TABSTOP | plat::BS_DEFPUSHBUTTON,
                   width - kCloseFromRight, y, kButtonWidth, kButtonHeight, IDC_WMSLAYER_CANCEL);
  }
}

plat::LResult layer_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_CLOSE:
      close_window(wnd);
      return 0;
    case plat::WM_NOTIFY:
      return on_notify(wnd, reinterpret_cast<const plat::NmHdr*>(lparam));
    case kSpaceToggled:
      if (st().wnd == wnd) on_space_toggled(st().tree, reinterpret_cast<plat::TreeItem>(lparam));
      return 0;
    case plat::WM_COMMAND:
      switch (int(plat::loword(wparam))) {
        case IDC_WMSLAYER_OK:
          if (st().choice) on_ok(wnd);
          break;
        case IDC_WMSLAYER_CANCEL: close_window(wnd); break;
        default: break;
      }
      return 0;
    case plat::WM_NCDESTROY:
      forget_window(wnd);
      break;
    default:
      break;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}

}  // namespace

plat::Wnd wms_layer_window() { return plat::is_window(st().wnd) ? st().wnd : nullptr; }

plat::TreeItem wms_layer_item(int object_id) {
  plat::Wnd tree = wms_layer_window() ? st().tree : nullptr;
  if (!tree) return nullptr;
  std::vector<plat::TreeItem> stack{tree_next_item(tree, nullptr, plat::TVGN_ROOT)};
  while (!stack.empty()) {
    plat::TreeItem item = stack.back();
    stack.pop_back();
    for (; item; item = tree_next_item(tree, item, plat::TVGN_NEXT)) {
      if (item_id(tree, item) == object_id) return item;
      stack.push_back(tree_next_item(tree, item, plat::TVGN_CHILD));
    }
  }
  return nullptr;
}

bool wms_layer_item_marked(plat::TreeItem item) {
  plat::Wnd tree = wms_layer_window() ? st().tree : nullptr;
  if (!tree || !item) return false;
  return (plat::send_message(tree, plat::TVM_GETITEMSTATE, plat::WParam(item), plat::TVIS_BOLD) &
          plat::TVIS_BOLD) != 0;
}

plat::Wnd wms_layer_tree_window(const char* title, wms_service_t* service, plat::Wnd parent, int choice,
                                graphspace_t* gs) {
  if (!service) return nullptr;
  if (plat::Wnd open = wms_layer_window()) close_window(open);
  plat::register_controls();
  register_table_class();
  plat::Wnd wnd = plat::create_window(plat::WS_EX_DLGMODALFRAME, "ClasseTableau", title ? title : "",
                                      plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU, kWindowX, kWindowY,
                                      kWindowWidth, kWindowHeight, parent, 0);
  if (!wnd) return nullptr;
  plat::set_window_proc(wnd, layer_wndproc);
  layer_window_state& s = st();
  s = layer_window_state{};
  s.wnd = wnd;
  s.parent = parent;
  s.service = service->id;
  s.gs = gs ? gs : get_current_graphspace();
  s.choice = choice ? 1 : 0;
  plat::Rect client;
  plat::get_client_rect(wnd, &client);
  const int w = client.width(), h = client.height();
  s.tree = create_control(wnd, plat::kTreeViewClass, "", kTreeStyle | (s.choice ? plat::TVS_CHECKBOXES : 0),
                          kMargin, kMargin, w - 2 * kMargin, h - kTreeHeightLess, IDC_WMSLAYER_TREE);
  fill_tree(s.tree, service);
  add_buttons(wnd, w, h, s.choice);
  if (parent) plat::enable_window(parent, false);
  plat::show_window(wnd, plat::SW_SHOW);
  plat::set_foreground_window(wnd);
  plat::set_active_window(wnd);
  plat::set_focus(s.tree);
  return wnd;
}
