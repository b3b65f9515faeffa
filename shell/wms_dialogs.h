// The two WMS windows of the map program: the service dialog "GESTOGC" (the known WMS
// services, one row each, and a field to add one by its address) and the layer window
// (a tree of a service's layers; in choice mode the layers that can be shown in the graph
// space's coordinate system have check boxes, and OK turns the checked ones into the
// service's image object of the map).
//
// The service dialog is modal over the command target's window and works on the graph
// space of the map window it was opened for. The layer window is a "ClasseTableau"
// window of 600 x 420 pixels at 100, 100; its owner (the service dialog) stays disabled
// while it is open. One layer window at a time: opening another closes the open one.
//
// The layer tree's items carry the ids of their objects (the service at the root, its
// layers nested as in the capabilities); every use looks the object up again by id.
// The window keeps the coordinate systems common to every checked layer and marks in
// bold each layer item whose layer offers none of them.
//
// Files: wms_dialogs.cpp (the service dialog), wms_dialogs_layers.cpp (the layer window).
#pragma once
#include <cstdint>

#include "platform/ui/ctl_treeview.h"
#include "platform/ui/dialog.h"
#include "platform/ui/types.h"

struct mapwin_t;
struct graphspace_t;
struct wms_service_t;

// The File menu's command that opens the service dialog.
constexpr unsigned IDM_WMS_SERVICES = 40066;

// ---- Service dialog "GESTOGC" ------------------------------------------------------------------
enum wmsdlg_id : int {
  IDC_WMSDLG_CLOSE = 1000,
  IDC_WMSDLG_LIST = 1079,
  IDC_WMSDLG_ADD = 1128,
  IDC_WMSDLG_ADDRESS = 1129,
  IDC_WMSDLG_LABEL = 1125,
};
// Characters of an address the dialog reads.
constexpr int kWmsAddressMax = 399;

const plat::DlgTemplate& wms_services_template();
intptr_t wms_services_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
// Runs the dialog for the graph space of the map window (the current one when null);
// returns when it closes.
void wms_manage_services(mapwin_t* context);

// ---- Layer window --------------------------------------------------------------------------------
enum wmslayer_id : int {
  IDC_WMSLAYER_OK = 1000,
  IDC_WMSLAYER_CANCEL = 1001,
  IDC_WMSLAYER_TREE = 1002,
};

// Opens the layer window of the service over `parent` (which it disables until it
// closes). Choice mode offers check boxes and OK / Cancel; otherwise Close alone. The
// image OK makes goes into `gs` (the current graph space when null). The window, or
// null when it cannot be made.
plat::Wnd wms_layer_tree_window(const char* title, wms_service_t* service, plat::Wnd parent, int choice,
                                graphspace_t* gs = nullptr);
// The open layer window, null when none.
plat::Wnd wms_layer_window();
// The tree item of an object id in the open window (null when none), and whether an
// item is marked as sharing no coordinate system with the checked layers.
plat::TreeItem wms_layer_item(int object_id);
bool wms_layer_item_marked(plat::TreeItem item);
