// The "Real time navigation" window: the source of live navigation (a serial port and
// its speed, a Garmin USB receiver, a UDP port or one of the two ports of the diffusion
// program), the protocol, the logging switch, and the start of live navigation.
//
// The source boxes exclude each other: checking one clears the others, so that the
// source Navigate uses is always the one the window shows. The receiver list holds
// Garmin USB port objects by id; the port handed to live navigation is kept out of the
// release when the list is emptied (live navigation owns it from then on), every other
// one is released. Live navigation and the program's navigation mark are reached through
// the program's table (gps_dialog_hooks).
#include <cstdio>
#include <string>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "gps/gpsport.h"
#include "gps/gpsport_internal.h"
#include "gps/nmea_log.h"
#include "platform/ui/keys.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/gps_ui/gps_dialogs.h"
#include "shell/gps_ui/gps_dialogs_internal.h"

using namespace gps_dialogs;

namespace {

constexpr int kWidth = 420, kHeight = 340;
constexpr int kNumberChars = 8;  // characters of the COM and UDP edits read

// The protocols: the text is also the suffix of the port's display name.
struct protocol_entry {
  const char* text;
  int family;
};
constexpr protocol_entry kNmea{"NMEA", GPS_MAGELLAN};
constexpr protocol_entry kGarminPvt{"Garmin PVT", GPS_GARMIN};

// The source boxes in the order in which a later one wins.
constexpr int kSourceBoxes[] = {IDC_NAVDLG_SERIAL, IDC_NAVDLG_USB, IDC_NAVDLG_UDP, IDC_NAVDLG_UDP_7551,
                                IDC_NAVDLG_UDP_7552};

struct navig_state {
  plat::Wnd wnd = nullptr, owner = nullptr;
};
navig_state& st() {
  static navig_state s;
  return s;
}

plat::Wnd item(int id) { return plat::get_dlg_item(st().wnd, id); }
bool is_checked(int id) { return checked(item(id)); }

void create_controls(plat::Wnd w) {
  group(w, "Port", 10, 6, 400, 216);
  check_box(w, IDC_NAVDLG_SERIAL, tr("Port s\xC3\xA9rie  :  COM", "Serial port  :  COM"), 24, 28, 186);
  number_edit(w, IDC_NAVDLG_COM, 214, 27, 64, kNumberChars);
  label(w, -1, tr("Vitesse", "Speed"), 44, 60, 70);
  plat::Wnd speeds = drop_list(w, IDC_NAVDLG_SPEED, 118, 56, 110);
  for (int speed : kNavdlgSpeeds) combo_add_item(speeds, std::to_string(speed).c_str(), speed);
  check_box(w, IDC_NAVDLG_USB, tr("USB Garmin", "Garmin USB"), 24, 92, 140);
  drop_list(w, IDC_NAVDLG_RECEIVERS, 170, 90, 228);
  check_box(w, IDC_NAVDLG_UDP, tr("Port UDP", "UDP port"), 24, 124, 140);
  number_edit(w, IDC_NAVDLG_UDP_NUMBER, 170, 123, 70, kNumberChars);
  check_box(w, IDC_NAVDLG_UDP_7551, tr("Port UDP 7551", "UDP port 7551"), 24, 156, 180);
  check_box(w, IDC_NAVDLG_UDP_7552, tr("Port UDP 7552", "UDP port 7552"), 214, 156, 180);
  label(w, -1, tr("Protocole", "Protocol"), 24, 190, 84);
  plat::Wnd protocols = drop_list(w, IDC_NAVDLG_PROTOCOL, 112, 186, 150);
  combo_add_item(protocols, kNmea.text, kNmea.family);
  combo_add_item(protocols, kGarminPvt.text, kGarminPvt.family);

  group(w, "Log", 10, 228, 400, 56);
  check_box(w, IDC_NAVDLG_LOG, "Log navigation", 24, 252, 200);

  button(w, IDC_NAVDLG_NAVIGATE, tr("Naviguer", "Navigate"), 80, 298, 110);
  button(w, IDC_NAVDLG_CANCEL, tr("Annuler", "Cancel"), 230, 298, 110);
}

void set_protocol(const protocol_entry& p) { combo_select_data(item(IDC_NAVDLG_PROTOCOL), p.family); }

// The source chosen, the later box winning: kind (0 none), port number, speed.
struct source {
  int kind = 0, number = 0, speed = 0;
};
source chosen_source() {
  source s;
  if (is_checked(IDC_NAVDLG_SERIAL)) {
    const intptr_t speed = combo_selected_data(item(IDC_NAVDLG_SPEED));
    s = {GPSPORT_SERIAL, edit_number(item(IDC_NAVDLG_COM), kNumberChars), speed > 0 ? int(speed) : 0};
  }
  if (is_checked(IDC_NAVDLG_UDP)) s = {GPSPORT_UDP, edit_number(item(IDC_NAVDLG_UDP_NUMBER), kNumberChars), 0};
  if (is_checked(IDC_NAVDLG_UDP_7551)) s = {GPSPORT_UDP, kNavdlgPresetUdp[0], 0};
  if (is_checked(IDC_NAVDLG_UDP_7552)) s = {GPSPORT_UDP, kNavdlgPresetUdp[1], 0};
  return s;
}

bool receiver_has_realtime() {
  const gpsport_t* port = selected_receiver(item(IDC_NAVDLG_RECEIVERS));
  return port && (port->capabilities & GPS_REALTIME);
}

// Rules 2, 4 and 5 as one: Navigate is offered when the checked source can be used.
void update_navigate() {
  bool ok = false;
  if (is_checked(IDC_NAVDLG_UDP_7551) || is_checked(IDC_NAVDLG_UDP_7552))
    ok = true;
  else if (is_checked(IDC_NAVDLG_UDP))
    ok = has_text(item(IDC_NAVDLG_UDP_NUMBER));
  else if (is_checked(IDC_NAVDLG_SERIAL))
    ok = has_text(item(IDC_NAVDLG_COM));
  else if (is_checked(IDC_NAVDLG_USB))
    ok = receiver_has_realtime();
  plat::enable_window(item(IDC_NAVDLG_NAVIGATE), ok);
}

// A source box checked clears the others (and greys their edits).
void clear_other_sources(int id) {
  for (int other : kSourceBoxes)
    if (other != id) set_checked(item(other), false);
  if (id != IDC_NAVDLG_SERIAL) plat::enable_window(item(IDC_NAVDLG_COM), false);
  if (id != IDC_NAVDLG_UDP) plat::enable_window(item(IDC_NAVDLG_UDP_NUMBER), false);
}

// Rule 1: the serial and UDP boxes.
void on_numbered_source(int id, int edit_id) {
  const bool on = is_checked(id);
  if (on) clear_other_sources(id);
  plat::enable_window(item(edit_id), on);
  if (on) plat::set_focus(item(edit_id));
  plat::enable_window(item(IDC_NAVDLG_RECEIVERS), false);
  set_protocol(kNmea);
  update_navigate();
}

// Rule 3: the Garmin USB box searches the receivers connected now.
void on_usb() {
  plat::Wnd receivers = item(IDC_NAVDLG_RECEIVERS);
  if (!is_checked(IDC_NAVDLG_USB)) {
    plat::enable_window(receivers, false);
    update_navigate();
    return;
  }
  clear_other_sources(IDC_NAVDLG_USB);
  plat::enable_window(item(IDC_NAVDLG_NAVIGATE), false);
  set_protocol(kGarminPvt);
  set_busy_cursor(2);
  // The ports of an earlier search go first: the search lists every idle port again.
  release_receivers(receivers, false);
  container_t* list = nullptr;
  gps_search_receiver(GPSPORT_USB, 0, GPS_GARMIN, &list);
  set_gblerr(0);
  set_busy_cursor(1);
  const int found = list ? fill_receivers(receivers, list) : 0;
  plat::enable_window(receivers, found > 0);
}

// Rule 4: the ports of the diffusion program.
void on_preset(int id) {
  if (is_checked(id)) clear_other_sources(id);
  set_protocol(kNmea);
  plat::enable_window(item(IDC_NAVDLG_RECEIVERS), false);
  update_navigate();
}

void navigate() {
  plat::Wnd receivers = item(IDC_NAVDLG_RECEIVERS);
  gpsport_t* port = nullptr;
  bool from_list = false;
  if (is_checked(IDC_NAVDLG_USB)) {
    port = selected_receiver(receivers);
    from_list = port != nullptr;
    if (!port) gpsport_create(0, GPSPORT_USB, 0, GPS_GARMIN, nullptr, &port);
  } else {
    const source s = chosen_source();
    if (s.kind == 0) return;
    const bool pvt = combo_selected_data(item(IDC_NAVDLG_PROTOCOL)) == kGarminPvt.family;
    const protocol_entry& protocol = pvt ? kGarminPvt : kNmea;
    gpsport_create(s.number, s.kind, s.speed, protocol.family, protocol.text, &port);
  }
  if (!port) {
    set_gblerr(0);
    return;
  }
  const int log = is_checked(IDC_NAVDLG_LOG) ? 1 : 0;
  navig_log_set(log);
  const auto start = get_gps_dialog_hooks().navig_start;
  const bool taken = start && start(port, log) != 0;
  if (!taken && !from_list) gpsport_free(&port);  // nobody took it
  // Live navigation owns the port it was given: the rest of the list goes.
  release_receivers(receivers, from_list && taken);
  plat::destroy_window(st().wnd);
}

void cancel(plat::Wnd wnd) {
  if (const auto check = get_gps_dialog_hooks().navigation_check) check(0);
  release_receivers(plat::get_dlg_item(wnd, IDC_NAVDLG_RECEIVERS), false);
  plat::destroy_window(wnd);
}

void on_command(plat::Wnd wnd, int id, int code) {
  if (id == IDC_NAVDLG_COM || id == IDC_NAVDLG_UDP_NUMBER) {
    if (code != plat::EN_CHANGE) return;
    // Rule 2: typing a number means an NMEA source.
    set_protocol(kNmea);
    update_navigate();
    return;
  }
  if (id == IDC_NAVDLG_RECEIVERS) {
    if (code == plat::CBN_SELCHANGE) update_navigate();
    return;
  }
  if (code != plat::BN_CLICKED) return;
  switch (id) {
    case IDC_NAVDLG_SERIAL: on_numbered_source(id, IDC_NAVDLG_COM); break;
    case IDC_NAVDLG_UDP: on_numbered_source(id, IDC_NAVDLG_UDP_NUMBER); break;
    case IDC_NAVDLG_USB: on_usb(); break;
    case IDC_NAVDLG_UDP_7551:
    case IDC_NAVDLG_UDP_7552: on_preset(id); break;
    case IDC_NAVDLG_NAVIGATE: navigate(); break;
    case IDC_NAVDLG_CANCEL: cancel(wnd); break;
    default: break;
  }
}

plat::LResult navig_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_COMMAND:
      on_command(wnd, int(plat::loword(wparam)), int(plat::hiword(wparam)));
      return 0;
    case plat::WM_KEYDOWN:
      if (int(wparam) != plat::VK_ESCAPE) break;
      plat::post_message(wnd, plat::WM_CLOSE, 0, 0);
      return 0;
    case plat::WM_CLOSE:
      cancel(wnd);
      return 0;
    case plat::WM_DESTROY:
      end_window_state(wnd, IDC_NAVDLG_RECEIVERS, st());
      break;
    default:
      break;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}

}  // namespace

void navdlg_open() {
  if (plat::Wnd open = navdlg_window()) {
    plat::set_foreground_window(open);
    return;
  }
  plat::Wnd owner = nullptr;
  plat::Wnd wnd = open_window(tr("Navigation temps r\xC3\xA9" "el", "Real time navigation"), kWidth, kHeight, &owner);
  if (!wnd) return;
  st() = navig_state{wnd, owner};
  create_controls(wnd);
  plat::set_window_proc(wnd, navig_wndproc);
  set_checked(item(IDC_NAVDLG_SERIAL), true);
  plat::enable_window(item(IDC_NAVDLG_UDP_NUMBER), false);
  plat::enable_window(item(IDC_NAVDLG_RECEIVERS), false);
  set_protocol(kNmea);
  plat::enable_window(item(IDC_NAVDLG_PROTOCOL), false);
  set_checked(item(IDC_NAVDLG_LOG), navig_log_get() != 0);
  plat::enable_window(item(IDC_NAVDLG_NAVIGATE), false);
  plat::show_window(wnd, plat::SW_SHOW);
  plat::set_focus(item(IDC_NAVDLG_COM));
}

plat::Wnd navdlg_window() {
  const plat::Wnd w = st().wnd;
  return w && plat::is_window(w) ? w : nullptr;
}
