// The layers window: every loaded file the user sees as a tree of its folders, each
// folder the user may show or hide with a check box, the choices applied to the current
// map window by Apply. The frame's menu bar and toolbar are off while it is open.
//
// The item table holds one pair per folder visited, (displayed value, folder id); each
// tree item's data word is the index of its folder's pair. A folder is kept by its id
// and its file's id, never by address: a load or a timed reload may free folders while
// the window is open, and each use looks the folder up again, skipping those gone.
#pragma once
#include "map/file_object.h"
#include "platform/ui/ctl_treeview.h"
#include "platform/ui/types.h"

// Control ids.
constexpr int kLayersTree = 1002;
constexpr int kLayersApply = 1000;
constexpr int kLayersClose = 1001;
constexpr int kLayersQuietCommand = 1005;  // accepted and ignored

// The tree's state images (none, unchecked, checked; 16 pixels wide): bitmap 224 of the
// program, the file "bitmap224.bmp" of the program folder.
constexpr const char* kLayersStateBitmap = "bitmap224.bmp";

// Builds and shows the window with the title (the caller's language); an open window is
// only brought to the front.
void layers_window(const char* title);
// Its procedure (replaces the "ClasseTableau" class's on this window).
plat::LResult layers_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
// Empties the item table and fills the tree: a root item per file of the global file
// list (in id order) whose first folder the user may show, then the initial checks.
void layers_fill_tree(plat::Wnd tree);
// One root item for the folder (no check box), its sub-folders under it; the item.
plat::TreeItem layers_add_root(plat::Wnd tree, folder_t* folder);

// The open window, or null.
plat::Wnd layers_window_handle();
// The folder of a tree item's pair, looked up again; null when it is gone.
folder_t* layers_item_folder(plat::Wnd tree, plat::TreeItem item);
