// The "Download data from GPS" window: its controls, its enabling rules, the receiver
// search (command 18) and its result, the file choice, and the download (command 13).
//
// The found list holds port objects by id. The window releases them whenever it empties
// the list (a new search, Cancel, closing), except the port handed to a posted download,
// which the download task frees. The result of a search may arrive after the window was
// closed: its ports are released then, since nobody else holds them.
#include <cstdio>
#include <string>
#include <vector>

#include "core/obj_list.h"
#include "core/object.h"
#include "core/paths.h"
#include "gps/gpsport.h"
#include "platform/ui/keys.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "shell/framework/choosers.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/gps_ui/gps_dialogs.h"
#include "shell/gps_ui/gps_dialogs_internal.h"

using namespace gps_dialogs;

namespace {

constexpr int kWidth = 550, kHeight = 366;

// The families in the order the list offers them, with their numbers.
struct family_entry {
  const char* name;
  int family;
};
constexpr family_entry kFamilies[] = {
    {"Emtac Trine", GPS_EMTAC},
    {"Garmin", GPS_GARMIN},
    {"GlobalSat Data Logger", GPS_GLOBALSAT},
    {"Magellan", GPS_MAGELLAN},
    {"MediaTek logger (i-Blue, Qstarz, i.Trek)", GPS_MEDIATEK},
    {"Navilink (Locosys, Amaryllo)", GPS_NAVILINK},
    {"Royaltek (RGM-3800, RBT-2300, RCD-1100)", GPS_ROYALTEK},
    {"SkyTraq", GPS_SKYTRAQ},
    {"Wintec (WBT-201, WGS-1000)", GPS_WINTEC},
};

// The item boxes and the capability bit that offers each.
struct item_box {
  int id;
  uint32_t flag;
};
constexpr item_box kItems[] = {{IDC_GPSDLG_WAYPOINTS, GPS_WAYPOINTS},
                               {IDC_GPSDLG_TRACKS, GPS_TRACKS},
                               {IDC_GPSDLG_ROUTES, GPS_ROUTES},
                               {IDC_GPSDLG_DATALOG, GPS_DATALOG}};

struct download_state {
  plat::Wnd wnd = nullptr, owner = nullptr;
};
download_state& st() {
  static download_state s;
  return s;
}

plat::Wnd item(int id) { return plat::get_dlg_item(st().wnd, id); }
bool is_checked(int id) { return checked(item(id)); }

std::string item_text(int id) {
  plat::Wnd w = item(id);
  const int units = plat::get_window_text_length(w);
  if (units <= 0) return {};
  std::vector<char> buf(size_t(units) * 3 + 1);
  plat::get_window_text(w, buf.data(), int(buf.size()));
  return buf.data();
}

void create_controls(plat::Wnd w) {
  group(w, "Port", 10, 6, 530, 96);
  check_box(w, IDC_GPSDLG_SERIAL, tr("Port s\xC3\xA9rie  :  COM", "Serial port  :  COM"), 24, 30, 186);
  number_edit(w, IDC_GPSDLG_COM, 214, 29, 64, kGpsdlgComChars);
  check_box(w, IDC_GPSDLG_USB, tr("USB Garmin", "Garmin USB"), 320, 30, 170);
  label(w, -1, tr("Protocole", "Protocol"), 24, 66, 84);
  plat::Wnd families = drop_list(w, IDC_GPSDLG_FAMILY, 112, 62, 270);
  for (const family_entry& f : kFamilies) combo_add_item(families, f.name, f.family);
  button(w, IDC_GPSDLG_PROBE, tr("Rechercher GPS", "Probe GPS"), 392, 60, 136);

  group(w, "GPS", 10, 108, 530, 56);
  drop_list(w, IDC_GPSDLG_FOUND, 24, 130, 504);

  group(w, tr("R\xC3\xA9" "cup\xC3\xA9ration", "Download"), 10, 170, 530, 146);
  check_box(w, IDC_GPSDLG_WAYPOINTS, "Waypoints", 24, 194, 110);
  check_box(w, IDC_GPSDLG_ROUTES, "Routes", 142, 194, 100);
  check_box(w, IDC_GPSDLG_TRACKS, "Tracklog(s)", 250, 194, 120);
  check_box(w, IDC_GPSDLG_DATALOG, "Datalog", 384, 194, 110);
  label(w, IDC_GPSDLG_FILE_LABEL, tr("Fichier", "File"), 24, 228, 60);
  takes_escape(create_control(w, plat::kEditClass, "", plat::WS_TABSTOP | plat::ES_AUTOHSCROLL, 88, 224, 386, 22,
                              IDC_GPSDLG_FILE, plat::WS_EX_CLIENTEDGE));
  button(w, IDC_GPSDLG_BROWSE, "...", 482, 222, 46);
  check_box(w, IDC_GPSDLG_DELETE,
            tr("Effacer le(s) tracklog(s) / datalog du GPS apr\xC3\xA8s r\xC3\xA9" "cup\xC3\xA9ration",
               "Delete tracklog(s) / datalog inside GPS after download"),
            24, 256, 504);
  check_box(w, IDC_GPSDLG_SWITCH_OFF,
            tr("Eteindre le GPS apr\xC3\xA8s r\xC3\xA9" "cup\xC3\xA9ration", "Switch GPS off after download"), 24,
            284, 504);

  button(w, IDC_GPSDLG_DOWNLOAD, tr("R\xC3\xA9" "cup\xC3\xA9rer", "Download"), 135, 328, 120, true);
  button(w, IDC_GPSDLG_CANCEL, tr("Annuler", "Cancel"), 295, 328, 120);
}

// ---- Enabling rules -----------------------------------------------------------------------

bool family_selected() { return combo_selected_data(item(IDC_GPSDLG_FAMILY)) > 0; }

// Rules 2 and 4: a serial search needs a port number and a family; otherwise (Garmin USB,
// whose family is set with its box) a family is enough.
void update_probe() {
  const bool serial = is_checked(IDC_GPSDLG_SERIAL);
  const bool com = has_text(item(IDC_GPSDLG_COM));
  plat::enable_window(item(IDC_GPSDLG_PROBE), family_selected() && (!serial || com));
}

// Rule 7: something to download and a file to write it to.
void update_download() {
  bool any = false;
  for (const item_box& b : kItems) any = any || is_checked(b.id);
  plat::enable_window(item(IDC_GPSDLG_DOWNLOAD), any && has_text(item(IDC_GPSDLG_FILE)));
}

uint32_t receiver_capabilities() {
  const gpsport_t* port = selected_receiver(item(IDC_GPSDLG_FOUND));
  return port ? port->capabilities : 0;
}

// Rule 6: the options the receiver offers for what is checked; then rule 7.
void update_options() {
  const uint32_t caps = receiver_capabilities();
  const bool logs = is_checked(IDC_GPSDLG_TRACKS) || is_checked(IDC_GPSDLG_DATALOG);
  bool any = false;
  for (const item_box& b : kItems) any = any || is_checked(b.id);
  enable_item(item(IDC_GPSDLG_DELETE), logs && (caps & GPS_DELETE));
  enable_item(item(IDC_GPSDLG_SWITCH_OFF), any && (caps & GPS_SWITCH_OFF));
  update_download();
}

// Rule 5: the items the chosen receiver offers, and the file; nothing without one.
void apply_receiver() {
  const gpsport_t* port = selected_receiver(item(IDC_GPSDLG_FOUND));
  const uint32_t caps = port ? port->capabilities : 0;
  for (const item_box& b : kItems) enable_item(item(b.id), (caps & b.flag) != 0);
  for (int id : {IDC_GPSDLG_FILE_LABEL, IDC_GPSDLG_FILE, IDC_GPSDLG_BROWSE}) enable_item(item(id), port != nullptr);
  update_options();
}

// Rule 1 (the serial box, which clears the USB box: one kind of port is searched).
void on_serial() {
  const bool on = is_checked(IDC_GPSDLG_SERIAL);
  if (on && is_checked(IDC_GPSDLG_USB)) {
    set_checked(item(IDC_GPSDLG_USB), false);
    plat::enable_window(item(IDC_GPSDLG_FAMILY), true);
  }
  plat::enable_window(item(IDC_GPSDLG_COM), on);
  if (on) plat::set_focus(item(IDC_GPSDLG_COM));
  update_probe();
}

// Rule 3 (the USB box, which clears the serial box).
void on_usb() {
  plat::Wnd families = item(IDC_GPSDLG_FAMILY);
  if (is_checked(IDC_GPSDLG_USB)) {
    set_checked(item(IDC_GPSDLG_SERIAL), false);
    plat::enable_window(item(IDC_GPSDLG_COM), false);
    combo_select_data(families, GPS_GARMIN);
    plat::enable_window(families, false);
    plat::enable_window(item(IDC_GPSDLG_PROBE), true);
  } else {
    plat::enable_window(families, true);
    update_probe();
  }
}

// ---- Search, file, download, close ----------------------------------------------------------

void probe() {
  plat::Wnd found = item(IDC_GPSDLG_FOUND);
  release_receivers(found, false);
  plat::enable_window(found, false);
  apply_receiver();
  const int kind = is_checked(IDC_GPSDLG_SERIAL) ? GPSPORT_SERIAL : GPSPORT_USB;
  const int number = edit_number(item(IDC_GPSDLG_COM), kGpsdlgComChars);
  const intptr_t family = combo_selected_data(item(IDC_GPSDLG_FAMILY));
  char text[64];
  std::snprintf(text, sizeof text, "%d %d %d", kind, number, family > 0 ? int(family) : 0);
  plat::enable_window(item(IDC_GPSDLG_PROBE), false);
  post_command(kGpsProbeCommand, 0, text);
}

void choose_file() {
  std::string path;
  if (file_dialog_single(&path, tr("Enregistrer les points sous", "Save points as"), nullptr, nullptr, 1) &&
      !path.empty())
    plat::set_window_text(item(IDC_GPSDLG_FILE), path.c_str());
}

void download() {
  const std::string path = item_text(IDC_GPSDLG_FILE);
  if (!path_is_absolute(path.c_str())) {
    msg_box(tr("Il faut un nom de fichier absolu.", "Absolute file path is required."),
            tr("Erreur de nom de fichier", "File name error"));
    return;
  }
  const gpsport_t* port = selected_receiver(item(IDC_GPSDLG_FOUND));
  if (!port) return;
  int flags = 0;
  for (const item_box& b : kItems)
    if (is_checked(b.id)) flags |= int(b.flag);
  if (is_checked(IDC_GPSDLG_DELETE)) flags |= GPS_DELETE;
  if (is_checked(IDC_GPSDLG_SWITCH_OFF)) flags |= GPS_SWITCH_OFF;
  const std::string text = std::to_string(port->id) + " " + std::to_string(flags) + " " + path;
  // The download task frees the port it was given; a command that was not posted
  // leaves it to the window, which releases it with the rest.
  const bool posted = post_command(kGpsDownloadCommand, 0, text.c_str()) != 0;
  release_receivers(item(IDC_GPSDLG_FOUND), posted);
  plat::destroy_window(st().wnd);
}

void on_command(plat::Wnd wnd, int id, int code) {
  switch (id) {
    case IDC_GPSDLG_COM:
      if (code == plat::EN_CHANGE) update_probe();
      return;
    case IDC_GPSDLG_FILE:
      if (code == plat::EN_CHANGE) update_download();
      return;
    case IDC_GPSDLG_FAMILY:
      if (code == plat::CBN_SELCHANGE) update_probe();
      return;
    case IDC_GPSDLG_FOUND:
      if (code == plat::CBN_SELCHANGE) apply_receiver();
      return;
    default:
      break;
  }
  if (code != plat::BN_CLICKED) return;
  switch (id) {
    case IDC_GPSDLG_SERIAL: on_serial(); break;
    case IDC_GPSDLG_USB: on_usb(); break;
    case IDC_GPSDLG_WAYPOINTS:
    case IDC_GPSDLG_TRACKS:
    case IDC_GPSDLG_ROUTES:
    case IDC_GPSDLG_DATALOG: update_options(); break;
    case IDC_GPSDLG_PROBE: probe(); break;
    case IDC_GPSDLG_BROWSE: choose_file(); break;
    case IDC_GPSDLG_DOWNLOAD: download(); break;
    case IDC_GPSDLG_CANCEL: plat::destroy_window(wnd); break;
    default: break;
  }
}

plat::LResult download_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_COMMAND:
      on_command(wnd, int(plat::loword(wparam)), int(plat::hiword(wparam)));
      return 0;
    case plat::WM_KEYDOWN:
      if (int(wparam) != plat::VK_ESCAPE) break;
      plat::post_message(wnd, plat::WM_CLOSE, 0, 0);
      return 0;
    case plat::WM_CLOSE:
      plat::destroy_window(wnd);
      return 0;
    case plat::WM_DESTROY:
      end_window_state(wnd, IDC_GPSDLG_FOUND, st());
      break;
    default:
      break;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}

}  // namespace

void gpsdlg_open() {
  if (plat::Wnd open = gpsdlg_window()) {
    plat::set_foreground_window(open);
    return;
  }
  plat::Wnd owner = nullptr;
  plat::Wnd wnd = open_window(tr("R\xC3\xA9" "cup\xC3\xA9ration de points GPS", "Download data from GPS"), kWidth,
                              kHeight, &owner);
  if (!wnd) return;
  st() = download_state{wnd, owner};
  set_gps_probe_result_routine(gpsdlg_on_result);
  create_controls(wnd);
  plat::set_window_proc(wnd, download_wndproc);
  set_checked(item(IDC_GPSDLG_SERIAL), true);
  plat::enable_window(item(IDC_GPSDLG_PROBE), false);
  plat::enable_window(item(IDC_GPSDLG_FOUND), false);
  apply_receiver();
  plat::show_window(wnd, plat::SW_SHOW);
  plat::set_focus(item(IDC_GPSDLG_COM));
}

plat::Wnd gpsdlg_window() {
  const plat::Wnd w = st().wnd;
  return w && plat::is_window(w) ? w : nullptr;
}

void gpsdlg_on_result(container_t* list) {
  if (!gpsdlg_window()) {
    // The window was closed meanwhile: nobody holds the ports found.
    if (list) {
      obj_list_free_elements(list);
      obj_t* l = reinterpret_cast<obj_t*>(list);
      free_obj(&l);
    }
    return;
  }
  plat::enable_window(item(IDC_GPSDLG_PROBE), true);
  set_busy_cursor(1);
  plat::Wnd found = item(IDC_GPSDLG_FOUND);
  if (list && obj_list_count(list) > 0) {
    // A list left from an earlier search goes first: its ports may be listed again.
    combo_clear(found);
    plat::enable_window(found, true);
    fill_receivers(found, list);
    plat::send_message(found, plat::CB_SETCURSEL, 0, 0);
    apply_receiver();
    return;
  }
  if (list) {
    obj_t* l = reinterpret_cast<obj_t*>(list);
    free_obj(&l);
  }
  msg_box(tr("Pas de GPS sur le port", "No GPS on this port"), tr("Erreur d'ouverture", "Open error"));
  if (!gpsdlg_window()) return;
  plat::set_window_text(item(IDC_GPSDLG_COM), "");
  set_checked(item(IDC_GPSDLG_SERIAL), true);
  on_serial();
  set_checked(item(IDC_GPSDLG_USB), false);
  plat::enable_window(item(IDC_GPSDLG_FAMILY), true);
  plat::enable_window(item(IDC_GPSDLG_PROBE), false);
  plat::enable_window(found, false);
}
