// The main window of the diffusion program: its class, the menu bar, every child control,
// the two subclassed value fields, the window procedure and the commands. Contract in
// qx_shell.h.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/strutil.h"
#include "gps/nmea_log.h"
#include "map/bitmap_record.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/surface.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/ctl_trackbar.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dropfiles.h"
#include "platform/ui/keys.h"
#include "platform/ui/menu.h"
#include "platform/ui/messages.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "quellix/qx_addresses.h"
#include "quellix/qx_player.h"
#include "quellix/qx_shell.h"
#include "raster/image_load.h"
#include "shell/framework/choosers.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"

namespace {

const char* tr(const char* fr, const char* en) { return is_french() ? fr : en; }

// ---- Menu -----------------------------------------------------------------------------------
struct qx_menu_row {
  int popup;  // 1: opens a popup of the bar, 2: a top-level item, 0: an item of the popup
  unsigned id;  // 0 for a separator (popup rows: none)
  const char* fr;
  const char* en;
};

const qx_menu_row kMenu[] = {
    {1, 0, "&Fichier", "&File"},
    {0, QX_IDM_OPEN, "&Ouvrir\tCtrl+O", "&Open\tCtrl+O"},
    {0, 0, nullptr, nullptr},
    {0, QX_IDM_QUIT, "&Quitter\tCtrl+Q", "&Quit\tCtrl+Q"},
    {1, 0, "&Gps", "&Gps"},
    {0, QX_IDM_NAVIGATION, "&Navigation\tCtrl+N", "&Navigation\tCtrl+N"},
    {0, 0, nullptr, nullptr},
    {0, QX_IDM_NAVIG_LOG, "Log navigation", "Log navigation"},
    {0, QX_IDM_RAW_LOG, "Log donnees phase brutes", "Log raw phase data"},
    {1, 0, "&Diffusion", "&Diffusion"},
    {0, QX_IDM_ADDRESSES, "Adresses de diffusion", "Diffusion addresses"},
    {0, 0, nullptr, nullptr},
    {0, QX_IDM_DIFFUSION, "Diffusion", "Diffusion"},
    {2, QX_IDM_ABOUT, "A propos de", "About"},
};

// ---- Icons ----------------------------------------------------------------------------------
// The button icons, in the order of qx_shell_state::icons, with their size.
struct icon_file {
  const char* name;
  int size;
};
const icon_file kIcons[6] = {{"valid.ico", 22}, {"boucle.ico", 24}, {"rev.ico", 22},
                             {"pause.ico", 22}, {"start.ico", 22}, {"stop.ico", 22}};
enum { ICON_VALID, ICON_LOOP, ICON_REV, ICON_PAUSE, ICON_START, ICON_STOP };

// One pixel of a decoded icon row as 0xAARRGGBB (the planes of a row follow each other).
uint32_t icon_pixel(const bitmap_t* b, const uint8_t* row, int x) {
  if (b->planes >= 3) {
    const size_t w = size_t(b->width);
    return 0xFF000000u | uint32_t(row[x]) << 16 | uint32_t(row[w + size_t(x)]) << 8 | row[2 * w + size_t(x)];
  }
  const uint8_t v = row[x];
  return 0xFF000000u | uint32_t(b->lut_r[v]) << 16 | uint32_t(b->lut_g[v]) << 8 | b->lut_b[v];
}

// The icon file of the system folder scaled to size x size; null when it cannot be read
// (a missing icon leaves its button plain and is no start-up error).
plat::Bitmap load_button_icon(const icon_file& f) {
  const int saved = get_gblerr();
  // The system folder, then the program folder, then the program's own data folder.
  bitmap_t* b = raster_icon_load(f.name);
  if (!b) b = raster_icon_load((std::string("quellix-data/") + f.name).c_str());
  set_gblerr(saved);
  if (!b) return nullptr;
  plat::Bitmap out = nullptr;
  if (b->width > 0 && b->height > 0 && b->lines && (b->planes == 1 || b->planes >= 3)) {
    std::vector<uint32_t> pixels(size_t(f.size) * size_t(f.size));
    bool ok = true;
    for (int y = 0; y < f.size && ok; ++y) {
      const uint8_t* row = filemobj_get_line(b->lines, int64_t(y) * b->height / f.size, 1);
      if (!row) ok = false;
      for (int x = 0; ok && x < f.size; ++x)
        pixels[size_t(y) * size_t(f.size) + size_t(x)] = icon_pixel(b, row, x * b->width / f.size);
    }
    if (ok) out = plat::create_bitmap(f.size, f.size, pixels.data());
  }
  free_obj(&b);
  set_gblerr(saved);
  return out;
}

// ---- Controls -------------------------------------------------------------------------------
plat::Wnd label(plat::Wnd parent, const char* text, int x, int y, int w, int h, int id = 0) {
  return create_control(parent, plat::kStaticClass, text, plat::SS_LEFTNOWORDWRAP | plat::SS_NOPREFIX, x, y, w, h,
                        id);
}

plat::Wnd icon_button(plat::Wnd parent, uint32_t style, int icon, int x, int y, int w, int h, int id) {
  plat::Wnd b = create_control(parent, plat::kButtonClass, "", style | plat::BS_BITMAP | plat::WS_TABSTOP, x, y,
                               w, h, id);
  if (b && qx_shell().icons[icon])
    plat::send_message(b, plat::BM_SETIMAGE, plat::IMAGE_BITMAP, plat::LParam(qx_shell().icons[icon]));
  return b;
}

plat::Wnd trackbar(plat::Wnd parent, uint32_t style, int x, int y, int w, int h, int id, int lo, int hi) {
  plat::Wnd t = create_control(parent, plat::kTrackbarClass, "", style | plat::WS_TABSTOP, x, y, w, h, id);
  if (t) {
    plat::send_message(t, plat::TBM_SETRANGEMIN, 0, lo);
    plat::send_message(t, plat::TBM_SETRANGEMAX, 1, hi);
  }
  return t;
}

std::atomic<plat::WndProc> g_edit_proc{nullptr};

// The value fields: Enter applies, Tab goes to the other field, Esc gives the focus back
// to the main window.
plat::LResult value_edit_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  qx_shell_state& s = qx_shell();
  const bool speed = wnd == s.speed_edit;
  // The edit class's procedure (the same for both fields); kept past a reset of the
  // shell's state, so that a field destroyed later still frees what it holds.
  const plat::WndProc previous = g_edit_proc.load();
  if ((msg == plat::WM_KEYDOWN || msg == plat::WM_CHAR) && (wnd == s.speed_edit || wnd == s.factor_edit)) {
    const int key = int(wparam);
    if (key == plat::VK_RETURN) {
      if (msg == plat::WM_KEYDOWN) qx_apply_value(speed ? 1 : 0);
      return 0;
    }
    if (key == plat::VK_TAB) {
      if (msg == plat::WM_KEYDOWN) plat::set_focus(speed ? s.factor_edit : s.speed_edit);
      return 0;
    }
    if (key == plat::VK_ESCAPE) {
      if (msg == plat::WM_KEYDOWN) plat::set_focus(s.main);
      return 0;
    }
  }
  if (!previous) return plat::def_window_proc(wnd, msg, wparam, lparam);
  return plat::call_window_proc(previous, wnd, msg, wparam, lparam);
}

// The rows of the two value fields: the label's room (the longest, "Facteur temps", at
// the suite's interface font), then the edit field and the trackbar shifted right by as
// much, the trackbar shortened so that the apply button and the value keep their place.
constexpr int kValueLabelWidth = 116;
constexpr int kValueEditX = 128;
constexpr int kValueTrackX = kValueEditX + 42;
constexpr int kValueTrackWidth = 444 - kValueTrackX;
// The status fields: label columns wide enough for "Longitude d\xC2\xB0" and "Distance km",
// the values after them.
constexpr int kLeftLabelWidth = 104, kLeftValueX = 116, kLeftValueWidth = 156;
constexpr int kRightLabelWidth = 102, kRightValueX = 380, kRightValueWidth = 146;

void create_value_group(plat::Wnd w, int y, bool speed) {
  qx_shell_state& s = qx_shell();
  const uint32_t edit_style = plat::WS_BORDER | plat::WS_TABSTOP | plat::ES_AUTOHSCROLL;
  if (speed) {
    label(w, tr("Vitesse km/h", "Speed km/h"), 10, y + 2, kValueLabelWidth, 24);
    s.speed_edit = create_control(w, plat::kEditClass, "", edit_style, kValueEditX, y, 40, 24, QX_ID_SPEED_EDIT);
    s.speed_track = trackbar(w, plat::TBS_HORZ, kValueTrackX, y - 6, kValueTrackWidth, 38, QX_ID_SPEED_TRACK, 1, 1000);
    s.speed_apply = icon_button(w, plat::BS_PUSHBUTTON, ICON_VALID, 448, y - 2, 28, 28, QX_ID_APPLY_SPEED);
    s.speed_value = create_control(w, plat::kStaticClass, "", plat::SS_RIGHT, 484, y, 40, 24, QX_ID_SPEED_VALUE);
    s.speed_edit_proc = plat::set_window_proc(s.speed_edit, value_edit_proc);
    if (s.speed_edit_proc) g_edit_proc.store(s.speed_edit_proc);
  } else {
    label(w, tr("Facteur temps", "Time factor"), 10, y + 2, kValueLabelWidth, 24);
    s.factor_edit = create_control(w, plat::kEditClass, "", edit_style, kValueEditX, y, 40, 24, QX_ID_FACTOR_EDIT);
    s.factor_track = trackbar(w, plat::TBS_HORZ, kValueTrackX, y - 6, kValueTrackWidth, 40, QX_ID_FACTOR_TRACK, 1, 100);
    s.factor_apply = icon_button(w, plat::BS_PUSHBUTTON, ICON_VALID, 448, y - 2, 28, 28, QX_ID_APPLY_FACTOR);
    s.factor_value = create_control(w, plat::kStaticClass, "", plat::SS_RIGHT, 484, y, 40, 24, QX_ID_FACTOR_VALUE);
    s.factor_edit_proc = plat::set_window_proc(s.factor_edit, value_edit_proc);
    if (s.factor_edit_proc) g_edit_proc.store(s.factor_edit_proc);
  }
}

void create_status_fields(plat::Wnd w) {
  qx_shell_state& s = qx_shell();
  const int lw = kLeftLabelWidth, lx = kLeftValueX, lv = kLeftValueWidth;
  const int rw = kRightLabelWidth, rx = kRightValueX, rv = kRightValueWidth;
  label(w, "Mode", 10, 194, lw, 24);
  s.mode = label(w, "", lx, 194, lv, 24, QX_ID_MODE_VALUE);
  label(w, "Distance km", 276, 194, rw, 24);
  s.distance = label(w, "", rx, 194, rv, 24, QX_ID_DISTANCE_VALUE);
  label(w, tr("Facteur", "Factor"), 10, 218, lw, 24);
  s.factor_shown = label(w, "", lx, 218, lv, 24, QX_ID_FACTOR_SHOWN);
  label(w, "Duration", 276, 218, rw, 24);
  s.duration = label(w, "", rx, 218, rv, 24, QX_ID_DURATION_VALUE);
  create_control(w, plat::kStaticClass, "", plat::SS_ETCHEDHORZ, 10, 254, 516, 2, 0);
  label(w, "Longitude d\xC2\xB0", 10, 266, lw, 24);
  s.longitude = label(w, "", lx, 266, lv, 24, QX_ID_LONGITUDE_VALUE);
  label(w, tr("Vitesse km/h", "Speed km/h"), 276, 266, rw, 24);
  s.ground_speed = label(w, "", rx, 266, rv, 24, QX_ID_GROUND_SPEED_VALUE);
  label(w, "Latitude d\xC2\xB0", 10, 290, lw, 24);
  s.latitude = label(w, "", lx, 290, lv, 24, QX_ID_LATITUDE_VALUE);
  label(w, "Direction", 276, 290, rw, 24);
  s.direction = label(w, "", rx, 290, rv, 24, QX_ID_DIRECTION_VALUE);
  label(w, "Altitude m", 10, 314, lw, 24);
  s.altitude = label(w, "", lx, 314, lv, 24, QX_ID_ALTITUDE_VALUE);
  label(w, "Satellites", 276, 314, rw, 24);
  s.satellites = label(w, "", rx, 314, rv, 24, QX_ID_SATELLITES_VALUE);
  label(w, tr("Trames NMEA", "NMEA Sentences"), 10, 350, 200, 24);
  s.nmea_box = create_control(w, plat::kEditClass, "",
                              plat::WS_BORDER | plat::WS_VSCROLL | plat::ES_MULTILINE | plat::ES_READONLY |
                                  plat::ES_AUTOVSCROLL,
                              10, 374, 516, 88, QX_ID_NMEA_BOX);
}

// ---- Commands -------------------------------------------------------------------------------
void toggle_check(unsigned id) { qx_menu_check(id, qx_menu_checked(id) ? 0 : 1); }

void play(double direction) {
  qx_lock_file_controls(1);
  qx_player_set_direction(direction);
  qx_player_play();
}

void show_about() {
  plat::message_box(qx_shell().main, qx_about_text(), qx_about_title(), plat::MB_OK | plat::MB_ICONINFORMATION);
}

void navigation_command() {
  toggle_check(QX_IDM_NAVIGATION);
  const qx_shell_hooks& h = qx_get_shell_hooks();
  if (qx_menu_checked(QX_IDM_NAVIGATION)) {
    if (h.navigation_dialog) h.navigation_dialog();
  } else if (h.navig_stop) {
    h.navig_stop();
  }
}

void combo_notification(unsigned code) {
  if (code == plat::CBN_SELCHANGE) qx_player_select(int(combo_selected_data(qx_shell().file_combo)));
  qx_send_stop_marker();
}

void edit_changed(bool speed) {
  qx_shell_state& s = qx_shell();
  const std::string text = plat::window_text(speed ? s.speed_edit : s.factor_edit);
  const double v = qx_field_value(text.c_str(), 1);
  plat::Wnd value = speed ? s.speed_value : s.factor_value;
  plat::set_window_long(value, plat::GWL_STYLE,
                        (plat::get_window_long(value, plat::GWL_STYLE) & ~intptr_t(plat::SS_TYPEMASK)) | plat::SS_LEFT);
  char buf[64];
  format_double_sig(v, buf, sizeof buf);
  plat::set_window_text(value, buf);
}

// A trackbar dragged: its position, pending, in the value label of its field.
void track_to_label(plat::Wnd track, plat::Wnd value) {
  const auto pos = plat::send_message(track, plat::TBM_GETPOS, 0, 0);
  plat::set_window_long(value, plat::GWL_STYLE,
                        (plat::get_window_long(value, plat::GWL_STYLE) & ~intptr_t(plat::SS_TYPEMASK)) | plat::SS_LEFT);
  plat::set_window_text(value, std::to_string(long(pos)).c_str());
}

void on_hscroll(plat::WParam wparam, plat::LParam lparam) {
  if (plat::loword(wparam) != plat::TB_THUMBTRACK) return;
  qx_shell_state& s = qx_shell();
  plat::Wnd from = reinterpret_cast<plat::Wnd>(lparam);
  if (from == s.position_track) {
    qx_player_seek(double(plat::send_message(from, plat::TBM_GETPOS, 0, 0)) * 0.001);
  } else if (from == s.factor_track) {
    track_to_label(from, s.factor_value);
  } else if (from == s.speed_track) {
    track_to_label(from, s.speed_value);
  }
}

plat::LResult colour_static(plat::WParam wparam, plat::LParam lparam) {
  qx_shell_state& s = qx_shell();
  plat::Wnd ctl = reinterpret_cast<plat::Wnd>(lparam);
  plat::Dc dc = reinterpret_cast<plat::Dc>(wparam);
  if (!s.face_brush) s.face_brush = plat::create_solid_brush(plat::get_sys_color(plat::COLOR_BTNFACE));
  if (ctl == s.factor_value || ctl == s.speed_value) {
    const bool applied = (plat::get_window_long(ctl, plat::GWL_STYLE) & plat::SS_TYPEMASK) == plat::SS_RIGHT;
    plat::set_text_color(dc, applied ? plat::rgb(0, 0, 0) : plat::rgb(255, 0, 0));
  }
  plat::set_bk_mode(dc, plat::TRANSPARENT);
  return plat::LResult(s.face_brush);
}

void on_drop(plat::Drop drop) {
  const std::vector<std::string> paths = dropped_paths(drop);
  plat::drag_finish(drop);
  if (!qx_shell().files_enabled) return;
  for (const std::string& p : paths) qx_load_file(p.c_str());
}

}  // namespace

// ---- Menu state ------------------------------------------------------------------------------
void qx_menu_check(unsigned id, int checked) {
  plat::check_menu_item(qx_shell().menu, id, plat::MF_BYCOMMAND | (checked ? plat::MF_CHECKED : plat::MF_UNCHECKED));
}
int qx_menu_checked(unsigned id) {
  const unsigned st = plat::get_menu_state(qx_shell().menu, id, plat::MF_BYCOMMAND);
  return st != plat::MENU_NOT_FOUND && (st & plat::MF_CHECKED) ? 1 : 0;
}
void qx_menu_enable(unsigned id, int enabled) {
  plat::enable_menu_item(qx_shell().menu, id, plat::MF_BYCOMMAND | (enabled ? plat::MF_ENABLED : plat::MF_GRAYED));
}
int qx_menu_enabled(unsigned id) {
  const unsigned st = plat::get_menu_state(qx_shell().menu, id, plat::MF_BYCOMMAND);
  return st != plat::MENU_NOT_FOUND && !(st & (plat::MF_GRAYED | plat::MF_DISABLED)) ? 1 : 0;
}

void qx_load_gps_files() {
  std::vector<std::string> files;
  static const char kFilter[] = "GPS\0*.*\0\0";
  if (!file_dialog_multi(qx_shell().main, &files, tr("Ouvrir", "Open"), kFilter)) return;
  for (const std::string& f : files) qx_load_file(f.c_str());
}

// ---- Values ----------------------------------------------------------------------------------
double qx_field_value(const char* text, int pending) {
  double v = 0.0;
  parse_number(text ? text : "", &v);
  if (!std::isfinite(v)) v = kQxValueMax;
  v = std::fabs(v);
  if (v >= kQxValueMax) v = kQxValueMax;
  if (pending) v = double(int64_t(v * 100.0)) * 0.01;
  return v;
}

void qx_apply_value(int speed) {
  qx_shell_state& s = qx_shell();
  const std::string text = plat::window_text(speed ? s.speed_edit : s.factor_edit);
  const double v = qx_field_value(text.c_str(), 0);
  if (speed)
    qx_player_set_speed(v);
  else
    qx_player_set_time_factor(v);
  plat::Wnd value = speed ? s.speed_value : s.factor_value;
  plat::set_window_long(value, plat::GWL_STYLE,
                        (plat::get_window_long(value, plat::GWL_STYLE) & ~intptr_t(plat::SS_TYPEMASK)) | plat::SS_RIGHT);
  char buf[64];
  format_double_sig(v, buf, sizeof buf);
  plat::set_window_text(value, buf);
  qx_show_replay_state();
}

// ---- Window ----------------------------------------------------------------------------------
int qx_register_main_class() {
  plat::WndClass c;
  c.proc = qx_main_wndproc;
  c.cursor = plat::load_cursor(plat::IDC_ARROW);
  c.background_sys_color = plat::COLOR_BTNFACE;
  c.name = kQxAppName;
  plat::WndClass existing;
  if (plat::get_class_info(kQxAppName, &existing)) return 1;
  return plat::register_class(c) != 0 ? 1 : 0;
}

plat::Menu qx_build_menu(plat::Wnd wnd) {
  const bool fr = is_french() != 0;
  plat::Menu bar = plat::create_menu();
  plat::Menu popup = nullptr;
  for (const qx_menu_row& r : kMenu) {
    const char* text = fr ? r.fr : r.en;
    if (r.popup == 1) {
      popup = plat::create_popup_menu();
      plat::append_menu(bar, plat::MF_POPUP | plat::MF_STRING, reinterpret_cast<uintptr_t>(popup), text);
    } else if (r.popup == 2) {
      plat::append_menu(bar, plat::MF_STRING, r.id, text);
    } else if (popup) {
      if (r.id == 0)
        plat::append_menu(popup, plat::MF_SEPARATOR, 0, nullptr);
      else
        plat::append_menu(popup, plat::MF_STRING, r.id, text);
    }
  }
  plat::set_menu(wnd, bar);
  plat::draw_menu_bar(wnd);
  qx_shell().menu = bar;
  return bar;
}

void qx_create_controls(plat::Wnd w) {
  qx_shell_state& s = qx_shell();
  for (int i = 0; i < 6; ++i)
    if (!s.icons[i]) s.icons[i] = load_button_icon(kIcons[i]);
  label(w, tr("Fichier", "File"), 10, 8, 56, 24);
  s.file_combo = create_control(w, plat::kComboBoxClass, "", plat::CBS_DROPDOWNLIST | plat::WS_VSCROLL | plat::WS_TABSTOP,
                                102, 6, 376, 160, QX_ID_FILE_COMBO);
  create_value_group(w, 44, false);
  create_value_group(w, 84, true);
  label(w, "Position", 10, 128, 80, 24);
  s.position_track = trackbar(w, plat::TBS_HORZ | plat::TBS_BOTH, 92, 116, 392, 36, QX_ID_POSITION_TRACK, 0, 1000);
  s.loop = icon_button(w, plat::BS_AUTOCHECKBOX | plat::BS_PUSHLIKE, ICON_LOOP, 156, 154, 40, 28, QX_ID_LOOP);
  s.backward = icon_button(w, plat::BS_AUTOCHECKBOX | plat::BS_PUSHLIKE, ICON_REV, 210, 154, 60, 28, QX_ID_BACKWARD);
  s.pause = icon_button(w, plat::BS_PUSHBUTTON, ICON_PAUSE, 274, 154, 28, 28, QX_ID_PAUSE);
  s.forward = icon_button(w, plat::BS_AUTOCHECKBOX | plat::BS_PUSHLIKE, ICON_START, 306, 154, 60, 28, QX_ID_FORWARD);
  s.stop = icon_button(w, plat::BS_PUSHBUTTON, ICON_STOP, 378, 154, 28, 28, QX_ID_STOP);
  create_status_fields(w);
}

plat::Wnd qx_create_main_window() {
  qx_shell_state& s = qx_shell();
  if (!qx_register_main_class()) return nullptr;
  const uint32_t style = plat::WS_VISIBLE | plat::WS_CAPTION | plat::WS_SYSMENU | plat::WS_MINIMIZEBOX;
  const uint32_t ex_style = plat::WS_EX_ACCEPTFILES;
  plat::Rect r{kQxWindowX, kQxWindowY, kQxWindowX + kQxClientWidth, kQxWindowY + kQxClientHeight};
  plat::adjust_window_rect(&r, style, true, ex_style);
  plat::Wnd wnd = plat::create_window(ex_style, kQxAppName, kQxAppName, style, kQxWindowX, kQxWindowY, r.width(),
                                      r.height(), nullptr, 0);
  if (!wnd) {
    set_gblerr(ERR_OS);
    return nullptr;
  }
  s.main = wnd;
  mapwin_t* obj = nullptr;
  attach_window_object(&obj, wnd, kQxWindowX, kQxWindowY, kQxClientWidth, kQxClientHeight, config_back_color(),
                       32, 0);
  return wnd;
}

void qx_on_command(unsigned id, unsigned code) {
  qx_shell_state& s = qx_shell();
  switch (id) {
    case QX_IDM_QUIT:
      plat::destroy_window(s.main);
      break;
    case QX_IDM_NAVIGATION:
      navigation_command();
      break;
    case QX_IDM_RAW_LOG:
      toggle_check(id);
      navig_rawlog_set(qx_menu_checked(id));
      break;
    case QX_IDM_OPEN:
      qx_load_gps_files();
      break;
    case QX_IDM_NAVIG_LOG:
      toggle_check(id);
      navig_log_set(qx_menu_checked(id));
      break;
    case QX_IDM_ADDRESSES:
      qx_open_addresses_window();
      break;
    case QX_ID_BACKWARD:
      play(-1.0);
      break;
    case QX_ID_FORWARD:
      play(1.0);
      break;
    case QX_ID_PAUSE:
      qx_lock_file_controls(0);
      qx_player_reset();
      qx_release_play_buttons();
      break;
    case QX_ID_STOP:
      qx_lock_file_controls(0);
      qx_player_stop();
      qx_release_play_buttons();
      break;
    case QX_ID_APPLY_FACTOR:
      qx_apply_value(0);
      break;
    case QX_ID_APPLY_SPEED:
      qx_apply_value(1);
      break;
    case QX_ID_LOOP:
      qx_player_set_loop(plat::send_message(s.loop, plat::BM_GETCHECK, 0, 0) == plat::BST_CHECKED ? 1 : 0);
      break;
    case QX_IDM_DIFFUSION:
      toggle_check(id);
      qx_set_diffusion(qx_menu_checked(id));
      break;
    case QX_IDM_ABOUT:
      show_about();
      break;
    case QX_ID_FILE_COMBO:
      combo_notification(code);
      break;
    case QX_ID_SPEED_EDIT:
    case QX_ID_FACTOR_EDIT:
      if (code == unsigned(plat::EN_CHANGE)) edit_changed(id == QX_ID_SPEED_EDIT);
      break;
    default:
      break;
  }
}

plat::LResult qx_main_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_COMMAND:
      qx_on_command(plat::loword(wparam), plat::hiword(wparam));
      return 0;
    case plat::WM_CLOSE:
    case plat::WM_DESTROY:
      if (wnd == qx_shell().main) qx_app_exit(0);
      break;
    case plat::WM_SETCURSOR: {
      const plat::LResult r = plat::def_window_proc(wnd, msg, wparam, lparam);
      set_busy_cursor(0);
      return r;
    }
    case plat::WM_TIMER:
    case plat::WM_USER:
      task_dispatch_message(wparam, lparam);
      return 0;
    case plat::WM_HSCROLL:
      on_hscroll(wparam, lparam);
      return 0;
    case plat::WM_CTLCOLORSTATIC:
      return colour_static(wparam, lparam);
    case plat::WM_DROPFILES:
      on_drop(reinterpret_cast<plat::Drop>(wparam));
      return 0;
    case kQxNavMarkMessage:
      qx_nav_mark(unsigned(wparam), int(lparam));
      return 0;
    default:
      break;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}
