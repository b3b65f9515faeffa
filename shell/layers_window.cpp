// The layers window: a "ClasseTableau" window with its own procedure, a tree of the
// loaded files' folders with check boxes drawn from the program's bitmap 224, Apply
// and Close. It is not modal, but the frame's menu bar and toolbar stay off until it
// closes, so that nothing loads or closes files through them meanwhile; loads and
// timed reloads already under way may still free folders, hence the folder ids.
#include "shell/layers_window.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/obj_list.h"
#include "core/pairlist.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/image_list.h"
#include "platform/ui/ui.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/table_window.h"
#include "shell/framework/tree_checks.h"
#include "shell/framework/winutil.h"
#include "shell/menu.h"

namespace {

// The window's pixel layout.
constexpr int kWindowX = 100, kWindowY = 100, kWindowWidth = 600, kWindowHeight = 420;
constexpr int kMargin = 8, kButtonWidth = 100, kButtonHeight = 28;
constexpr int kTreeHeightLess = 52, kButtonRowFromBottom = 36, kCloseFromRight = 124;

constexpr int kStateImageWidth = 16;
constexpr plat::Color kStateMask = plat::rgb(255, 0, 255);
constexpr unsigned kUnchecked = 1, kChecked = 2;
// Folder trees deeper than this are not shown further down: every walk here and in the
// tree control recurses once per level.
constexpr int kMaxDepth = 200;

constexpr uint32_t kTreeStyle = plat::WS_BORDER | plat::WS_TABSTOP | plat::TVS_HASBUTTONS |
                                plat::TVS_HASLINES | plat::TVS_LINESATROOT | plat::TVS_SHOWSELALWAYS |
                                plat::TVS_DISABLEDRAGDROP | plat::TVS_FULLROWSELECT;

// What finds a folder again: its id and its file's; and whether its item has a box.
struct folder_key {
  int folder;
  int file;
  bool boxed = false;
};

// The open window (user-interface thread only).
struct layers_state {
  plat::Wnd wnd = nullptr;
  plat::Wnd tree = nullptr;
  pairlist* items = nullptr;     // (displayed value, folder id), one per folder visited
  std::vector<folder_key> keys;  // by pair index
  plat::ImageList states = nullptr;
};
layers_state& st() {
  static layers_state s;
  return s;
}

void release_items() {
  pairlist_free(&st().items);
  st().keys.clear();
}

folder_t* find_folder(const folder_key& key) {
  fileatt_t* file = file_of(obj_find_in_class(kFileClass, key.file, nullptr));
  folder_t* folder = folder_of(obj_find_in_class(kFolderClass, key.folder, nullptr));
  return file && folder && folder->file == file ? folder : nullptr;
}

// ---- Tree items ------------------------------------------------------------------------------

// The item's pair index, -1 when it names no pair.
int pair_of(plat::Wnd tree, plat::TreeItem item) {
  plat::LParam data = 0;
  if (!tree_item_data(tree, item, &data)) return -1;
  return data >= 0 && data < pairlist_count(st().items) ? int(data) : -1;
}

int add_pair(folder_t* folder) {
  const fileatt_t* file = file_of(folder->file);
  pairlist_add(&st().items, folder->displayed, folder->id);
  st().keys.push_back({folder->id, file ? file->id : 0, false});
  return pairlist_count(st().items) - 1;
}

plat::TreeItem insert_item(plat::Wnd tree, plat::TreeItem parent, const folder_t* folder, int pair,
                           unsigned image) {
  return tree_insert_item(tree, parent, folder->name, pair, image);
}

// The sub-folders of a folder under `parent`, each shown one with a check box. A folder
// the user may not show gets no item: its own shown sub-folders go under `parent`, the
// item of its nearest shown ancestor.
void add_sub_folders(plat::Wnd tree, folder_t* folder, plat::TreeItem parent, int depth) {
  if (depth >= kMaxDepth) return;
  const int n = obj_list_count(folder->sons);
  for (int i = 0; i < n; ++i) {
    folder_t* son = folder_of(folder->sons->elems[i]);
    if (!son || son->cls != kFolderClass) continue;
    const int pair = add_pair(son);
    plat::TreeItem item = son->userdisplay ? insert_item(tree, parent, son, pair, kUnchecked) : nullptr;
    st().keys.back().boxed = item != nullptr;
    add_sub_folders(tree, son, item ? item : parent, depth + 1);
  }
  plat::send_message(tree, plat::TVM_EXPAND, plat::TVE_COLLAPSE, plat::LParam(parent));
}

// Whether a folder has a sub-folder, at any depth, that the user may show or hide.
bool has_shown_sub_folder(const folder_t* folder, int depth) {
  if (depth >= kMaxDepth) return false;
  const int n = obj_list_count(folder->sons);
  for (int i = 0; i < n; ++i) {
    const folder_t* son = folder_of(folder->sons->elems[i]);
    if (!son || son->cls != kFolderClass) continue;
    if (son->userdisplay || has_shown_sub_folder(son, depth + 1)) return true;
  }
  return false;
}

// An item with a box whose folder was displayed is checked with all its descendants;
// any other passes the test on to its children.
void set_initial_checks(plat::Wnd tree, plat::TreeItem item) {
  for (; item; item = tree_next_item(tree, item, plat::TVGN_NEXT)) {
    const int pair = pair_of(tree, item);
    std::intptr_t displayed = 0;
    if (pair >= 0) pairlist_get(st().items, pair, &displayed, nullptr);
    if (tree_state_image(tree, item) != 0 && displayed > 0)
      tree_set_check_all(tree, item, 1);
    else
      set_initial_checks(tree, tree_next_item(tree, item, plat::TVGN_CHILD));
  }
}

std::vector<fileatt_t*> files_by_id() {
  std::vector<fileatt_t*> files;
  container_t* list = get_file_list();
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i)
    if (fileatt_t* f = file_of(list->elems[i])) files.push_back(f);
  std::sort(files.begin(), files.end(), [](const fileatt_t* a, const fileatt_t* b) { return a->id < b->id; });
  return files;
}

// ---- State images ----------------------------------------------------------------------------

// Bitmap 224 cut into 16-pixel images; the tree draws state image i from list image
// i - 1, so the bitmap's first image (no box) is left out. Null when it cannot be read.
plat::ImageList load_state_images() {
  const std::string path = std::string(get_program_dir() ? get_program_dir() : "") + kLayersStateBitmap;
  plat::Bitmap bmp = plat::load_bitmap_file(path.c_str(), 0);
  const plat::Surface* s = bmp ? plat::bitmap_surface(bmp) : nullptr;
  plat::ImageList list = nullptr;
  if (s && s->width >= 3 * kStateImageWidth && s->height > 0) {
    const int w = s->width - kStateImageWidth;
    std::vector<uint32_t> pixels;
    pixels.reserve(size_t(w) * size_t(s->height));
    for (int y = 0; y < s->height; ++y)
      for (int x = kStateImageWidth; x < s->width; ++x) pixels.push_back(s->at(x, y));
    plat::Bitmap boxes = plat::create_bitmap(w, s->height, pixels.data());
    list = plat::image_list_create(kStateImageWidth, s->height);
    if (list && plat::image_list_add_masked(list, boxes, kStateMask) < 0) {
      plat::image_list_destroy(list);
      list = nullptr;
    }
    if (boxes) plat::delete_object(boxes);
  }
  if (bmp) plat::delete_object(bmp);
  return list;
}

// ---- Actions ---------------------------------------------------------------------------------

// NM_CLICK: the item under the mouse is selected; a click on its icon, label or box
// flips its check (with its descendants; unchecking also unchecks its ancestors). An
// item whose folder is gone is left alone. Answers 1: the tree does nothing more.
plat::LResult on_click(plat::Wnd tree) {
  unsigned flags = 0;
  plat::TreeItem item = tree_select_under_cursor(tree, &flags);
  if (!item) return 1;
  if (!(flags & plat::TVHT_ONITEM) || tree_state_image(tree, item) == 0) return 1;
  if (!layers_item_folder(tree, item)) return 1;
  const int checked = tree_get_check(tree, item) ? 0 : 1;
  tree_set_check_all(tree, item, checked);
  tree_uncheck_parents(tree, item, checked);
  return 1;
}

// The check states become the pairs' display values (an item without box: 0), and the
// folders with a box that are still there are switched in the current map window. A
// root item without box: the user cannot have chosen anything for its folder, which is
// left as it is (switching it off would hide a file's own objects at every Apply). The
// switches only mark what changes; the redraw posted after them (it stays behind them
// in the queue) draws it.
void apply() {
  layers_state& s = st();
  tree_collect_checks_all(s.tree, tree_next_item(s.tree, nullptr, plat::TVGN_ROOT), s.items);
  pairlist* live = nullptr;
  const int n = pairlist_count(s.items);
  for (int i = 0; i < n && size_t(i) < s.keys.size(); ++i) {
    if (!s.keys[size_t(i)].boxed) continue;
    std::intptr_t flag = 0;
    pairlist_get(s.items, i, &flag, nullptr);
    if (folder_t* folder = find_folder(s.keys[size_t(i)])) pairlist_add(&live, flag, reinterpret_cast<std::intptr_t>(folder));
  }
  if (live) {
    folders_set_displayed(nullptr, live);
    post_redraw();
  }
  pairlist_free(&live);
}

void close_window(plat::Wnd wnd) {
  release_items();
  menu_disable_all(0);
  plat::destroy_window(wnd);
}

// The window is gone: what it held goes with it.
void forget_window(plat::Wnd wnd) {
  if (st().wnd != wnd) return;
  release_items();
  if (st().states) plat::image_list_destroy(st().states);
  st() = layers_state{};
}

void add_buttons(plat::Wnd wnd, int width, int height) {
  const bool fr = is_french() != 0;
  create_control(wnd, plat::kButtonClass, fr ? "Appliquer" : "Apply", plat::WS_TABSTOP | plat::BS_DEFPUSHBUTTON,
                 kMargin, height - kButtonRowFromBottom, kButtonWidth, kButtonHeight, kLayersApply);
  create_control(wnd, plat::kButtonClass, fr ? "Fermer" : "Close", plat::WS_TABSTOP | plat::BS_PUSHBUTTON,
                 width - kCloseFromRight, height - kButtonRowFromBottom, kButtonWidth, kButtonHeight,
                 kLayersClose);
}

}  // namespace

// ---- The window ------------------------------------------------------------------------------

plat::Wnd layers_window_handle() { return plat::is_window(st().wnd) ? st().wnd : nullptr; }

folder_t* layers_item_folder(plat::Wnd tree, plat::TreeItem item) {
  const int pair = pair_of(tree, item);
  return pair >= 0 && size_t(pair) < st().keys.size() ? find_folder(st().keys[size_t(pair)]) : nullptr;
}

plat::TreeItem layers_add_root(plat::Wnd tree, folder_t* folder) {
  if (!folder) return nullptr;
  const int pair = add_pair(folder);
  // A file whose folders offer no switch of their own (a GPX file, an image) gets its box
  // on its root item, so that it can be hidden; a file with switched sub-folders keeps
  // its root without box, so that unchecking one of them never hides the whole file.
  const bool boxed = !has_shown_sub_folder(folder, 1);
  plat::TreeItem root = insert_item(tree, plat::TVI_ROOT, folder, pair, boxed ? kUnchecked : 0);
  if (!root) return nullptr;
  st().keys[size_t(pair)].boxed = boxed;
  add_sub_folders(tree, folder, root, 1);
  plat::send_message(tree, plat::TVM_EXPAND, plat::TVE_EXPAND, plat::LParam(root));
  return root;
}

void layers_fill_tree(plat::Wnd tree) {
  release_items();
  plat::send_message(tree, plat::TVM_DELETEITEM, 0, plat::LParam(plat::TVI_ROOT));
  for (fileatt_t* file : files_by_id()) {
    folder_t* first = file_get_first_folder(file, nullptr);
    if (first && first->userdisplay) layers_add_root(tree, first);
  }
  if (pairlist_count(st().items) > 0) set_initial_checks(tree, tree_next_item(tree, nullptr, plat::TVGN_ROOT));
}

plat::LResult layers_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_CLOSE:
      close_window(wnd);
      return 0;
    case plat::WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const plat::NmHdr*>(lparam);
      if (hdr && hdr->id_from == uintptr_t(kLayersTree) && hdr->code == plat::NM_CLICK)
        return on_click(hdr->hwnd_from);
      return 0;
    }
    case plat::WM_COMMAND:
      switch (plat::loword(wparam)) {
        case kLayersApply: apply(); break;
        case kLayersClose: close_window(wnd); break;
        default: break;  // 1005 among them: nothing to do
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

void layers_window(const char* title) {
  if (plat::Wnd open = layers_window_handle()) {
    plat::set_foreground_window(open);
    return;
  }
  release_items();
  menu_disable_all(1);
  plat::register_controls();
  register_table_class();
  plat::Wnd wnd = plat::create_window(plat::WS_EX_DLGMODALFRAME, "ClasseTableau", title ? title : "",
                                      plat::WS_POPUP | plat::WS_CAPTION, kWindowX, kWindowY, kWindowWidth,
                                      kWindowHeight, main_frame_window(), 0);
  if (!wnd) {
    menu_disable_all(0);
    return;
  }
  plat::set_window_proc(wnd, layers_wndproc);
  layers_state& s = st();
  s.wnd = wnd;
  plat::Rect client;
  plat::get_client_rect(wnd, &client);
  const int w = client.width(), h = client.height();
  // Without the bitmap the tree draws check boxes of its own.
  s.states = load_state_images();
  const uint32_t style = kTreeStyle | (s.states ? 0 : plat::TVS_CHECKBOXES);
  s.tree = create_control(wnd, plat::kTreeViewClass, "", style, kMargin, kMargin, w - 2 * kMargin,
                          h - kTreeHeightLess, kLayersTree);
  if (s.states) plat::send_message(s.tree, plat::TVM_SETIMAGELIST, plat::TVSIL_STATE, plat::LParam(s.states));
  layers_fill_tree(s.tree);
  add_buttons(wnd, w, h);
  plat::show_window(wnd, plat::SW_SHOW);
  plat::enable_window(wnd, true);
  plat::set_foreground_window(wnd);
  plat::set_active_window(wnd);
  plat::set_focus(wnd);
  plat::set_focus(plat::get_dlg_item(wnd, kLayersClose));
}
