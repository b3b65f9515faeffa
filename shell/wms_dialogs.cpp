// The service dialog "GESTOGC": the WMS services known to the program, one row each
// (title, GetMap address), and a field to add a service by its address. A double click
// on a row opens the service's layer window in choice mode for the dialog's graph space.
#include <algorithm>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/wstring.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_records.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listview.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/styles.h"
#include "platform/ui/ui.h"
#include "raster/wms/wms.h"
#include "shell/frame.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/wms_dialogs.h"

namespace {

// The running dialog (user-interface thread only): its graph space and its list of
// services, by id in the order they were added.
struct services_state {
  plat::Wnd dlg = nullptr;
  graphspace_t* gs = nullptr;
  std::vector<int> services;
};
services_state& st() {
  static services_state s;
  return s;
}

const char* tr(const char* fr, const char* en) { return is_french() ? fr : en; }

std::u16string wide_text(const char* text) {
  char16_t* w = nullptr;
  utf8_to_wcs(text, &w);
  std::u16string out = w ? w : u"";
  free_mem(&w);
  return out;
}

void set_cell(plat::Wnd lv, int row, int column, const char* text) {
  listview_set_cell(lv, row, column, wide_text(text ? text : "").c_str());
}

// Every known service, in id order (the order they were added in).
void collect_services() {
  std::vector<int>& ids = st().services;
  ids.clear();
  const container_t* list = wms_services();
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i)
    if (const obj_t* o = list->elems[i]; o && o->cls == CLS_WMS_SERVICE) ids.push_back(o->id);
  std::sort(ids.begin(), ids.end());
}

wms_service_t* find_service(int id) {
  return static_cast<wms_service_t*>(obj_find_in_class(CLS_WMS_SERVICE, id, nullptr));
}

void fill_list(plat::Wnd dlg) {
  plat::Wnd lv = plat::get_dlg_item(dlg, IDC_WMSDLG_LIST);
  plat::send_message(lv, plat::LVM_DELETEALLITEMS, 0, 0);
  collect_services();
  for (int id : st().services) {
    wms_service_t* s = find_service(id);
    if (!s) continue;
    const int row = listview_add_row(lv, s->title, id);
    if (row >= 0) set_cell(lv, row, 1, s->getmap_url);
  }
}

void on_init(plat::Wnd dlg) {
  st().dlg = dlg;
  plat::set_window_text(dlg, tr("Gestion des WebServices WMS", "Manage WMS WebServices"));
  plat::Wnd lv = plat::get_dlg_item(dlg, IDC_WMSDLG_LIST);
  plat::send_message(lv, plat::LVM_SETEXTENDEDLISTVIEWSTYLE, 0, plat::LVS_EX_FULLROWSELECT);
  plat::Rect rc;
  plat::get_client_rect(lv, &rc);
  const int first = rc.width() * 2 / 5;
  listview_add_column(lv, 0, tr("Titre", "Title"), first);
  listview_add_column(lv, 1, tr("Adresse", "Address"), rc.width() - first);
  plat::send_dlg_item_message(dlg, IDC_WMSDLG_ADDRESS, plat::EM_LIMITTEXT, kWmsAddressMax, 0);
  fill_list(dlg);
  plat::set_focus(plat::get_dlg_item(dlg, IDC_WMSDLG_ADDRESS));
}

// "Ajouter un WebService": the address is fetched and read; the list shows the new
// service. A failure leaves the list as it was and tells why.
void on_add(plat::Wnd dlg) {
  std::string address = plat::dlg_item_text(dlg, IDC_WMSDLG_ADDRESS);
  if (address.size() > size_t(kWmsAddressMax)) address.resize(size_t(kWmsAddressMax));
  if (address.empty()) return;
  set_busy_cursor(2);
  set_gblerr(0);
  const int found = wms_get_capabilities(address.c_str(), nullptr, nullptr);
  const int code = get_gblerr();
  set_busy_cursor(1);
  plat::Wnd field = plat::get_dlg_item(dlg, IDC_WMSDLG_ADDRESS);
  if (found) {
    plat::set_window_text(field, "");
    fill_list(dlg);
  }
  // A fetch that failed says why in the HTTP client's words (the server name that cannot
  // be resolved, the connection refused, no answer in time) rather than the bare code.
  const std::string why = found ? std::string() : std::string(wms_last_fetch_error());
  if (code && !why.empty())
    msg_box(why.c_str(), get_error_title(ERR_HTTP));
  else if (code)
    msg_box(get_error_text(code), get_error_title(code));
  else if (!found)
    msg_box(tr("Aucun WebService trouve", "No WebService found"), tr("Erreur d'adresse", "Address error"));
  if (plat::is_window(field)) plat::set_focus(field);
}

void on_open_row(int row) {
  if (row < 0 || size_t(row) >= st().services.size()) return;
  plat::Wnd lv = plat::get_dlg_item(st().dlg, IDC_WMSDLG_LIST);
  plat::LvItem it;
  it.mask = plat::LVIF_PARAM;
  it.item = row;
  if (!plat::send_message(lv, plat::LVM_GETITEM, 0, plat::LParam(&it))) return;
  if (wms_service_t* s = find_service(int(it.param))) wms_layer_tree_window(tr("Couches disponibles", "Available layers"), s, st().dlg, 1, st().gs);
}

plat::LResult on_notify(const plat::NmHdr* hdr) {
  if (!hdr || hdr->id_from != uintptr_t(IDC_WMSDLG_LIST) || hdr->code != plat::NM_DBLCLK) return 0;
  on_open_row(reinterpret_cast<const plat::NmItemActivate*>(hdr)->item);
  return 0;
}

}  // namespace

const plat::DlgTemplate& wms_services_template() {
  static const plat::DlgTemplate t = [] {
    plat::DlgTemplate d;
    d.title = "Gestion des WebServices WMS";
    d.style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU | plat::DS_MODALFRAME;
    d.cx = 401;
    d.cy = 155;
    d.items = {
        {"Button", IDC_WMSDLG_CLOSE, "Fermer", plat::BS_PUSHBUTTON | plat::WS_TABSTOP, 162, 134, 50, 14},
        {"Static", IDC_WMSDLG_LABEL, "WebServices WMS disponibles", plat::SS_LEFT, 7, 7, 387, 12},
        {plat::kListViewClass, IDC_WMSDLG_LIST, "",
         plat::LVS_REPORT | plat::LVS_SINGLESEL | plat::LVS_SHOWSELALWAYS | plat::WS_BORDER | plat::WS_TABSTOP, 7,
         19, 387, 71},
        {"Edit", IDC_WMSDLG_ADDRESS, "", plat::WS_BORDER | plat::WS_TABSTOP | plat::ES_AUTOHSCROLL, 7, 95, 387, 14},
        {"Button", IDC_WMSDLG_ADD, "Ajouter un WebService", plat::BS_DEFPUSHBUTTON | plat::WS_TABSTOP, 7, 113, 387,
         14},
    };
    return d;
  }();
  return t;
}

intptr_t wms_services_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_INITDIALOG:
      on_init(dlg);
      return 0;  // the focus is set
    case plat::WM_NOTIFY:
      return on_notify(reinterpret_cast<const plat::NmHdr*>(lparam));
    case plat::WM_COMMAND:
      switch (int(plat::loword(wparam))) {
        case IDC_WMSDLG_ADD: on_add(dlg); break;
        case IDC_WMSDLG_CLOSE:
        case plat::IDCANCEL:
          if (plat::Wnd w = wms_layer_window()) plat::destroy_window(w);
          plat::end_dialog(dlg, 0);
          break;
        default: break;
      }
      return 1;
    default:
      return 0;
  }
}

void wms_manage_services(mapwin_t* context) {
  plat::register_controls();
  services_state& s = st();
  mapwin_t* win = context ? context : get_current_mapwin();
  graphspace_t* gs = nullptr;
  if (win) mapwin_get_graphspace(win, &gs);
  s = services_state{};
  s.gs = gs ? gs : get_current_graphspace();
  plat::dialog_box_indirect(wms_services_template(), dialog_owner_window(), wms_services_dlgproc);
  if (plat::Wnd w = wms_layer_window()) plat::destroy_window(w);
  st() = services_state{};
}
