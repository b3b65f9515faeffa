// What the main window shows: the current player's replay state, a point's position
// fields, the title, and the enabled state of the file and replay controls. These are
// the routines the engine reaches through qx_ui_hooks.h. Contract in qx_shell.h.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/object.h"
#include "core/strutil.h"
#include "platform/ui/accel.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/styles.h"
#include "platform/ui/ctl_trackbar.h"
#include "platform/ui/dropfiles.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "quellix/qx_player.h"
#include "quellix/qx_shell.h"
#include "quellix/qx_ui_hooks.h"
#include "quellix/replay_point.h"
#include "shell/framework/winutil.h"

namespace {

constexpr double kUnsetCourse = -1e100;
constexpr int32_t kUnsetCount = int32_t(0x80000001u);

const char* tr(const char* fr, const char* en) { return is_french() ? fr : en; }

void set_text(plat::Wnd w, const char* text) {
  if (w) plat::set_window_text(w, text ? text : "");
}

void set_applied(plat::Wnd w, const char* text) {
  if (!w) return;
  plat::set_window_long(w, plat::GWL_STYLE,
                        (plat::get_window_long(w, plat::GWL_STYLE) & ~intptr_t(plat::SS_TYPEMASK)) | plat::SS_RIGHT);
  plat::set_window_text(w, text);
}

void enable(plat::Wnd w, bool on) {
  if (w) plat::enable_window(w, on);
}

void check(plat::Wnd w, bool on) {
  if (w) plat::send_message(w, plat::BM_SETCHECK, on ? plat::BST_CHECKED : plat::BST_UNCHECKED, 0);
}

// The NMEA box shows lines ending in CR LF as they are; a lone LF becomes CR LF.
std::string box_text(const char* text, int length) {
  std::string out;
  for (int i = 0; text && i < length && text[i]; ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

void clear_position_fields() {
  qx_shell_state& s = qx_shell();
  for (plat::Wnd w : {s.distance, s.duration, s.longitude, s.ground_speed, s.latitude, s.direction, s.altitude,
                      s.satellites})
    set_text(w, "");
}

void set_files_enabled(bool on) {
  qx_shell_state& s = qx_shell();
  qx_menu_enable(QX_IDM_OPEN, on);
  qx_menu_enable(QX_IDM_NAVIGATION, on);
  enable(s.position_track, on);
  enable(s.file_combo, on);
  s.files_enabled = on ? 1 : 0;
  if (s.main) plat::drag_accept_files(s.main, on);
}

}  // namespace

qx_shell_state& qx_shell() {
  static qx_shell_state s;
  return s;
}

void qx_show_title(int with_status) {
  qx_shell_state& s = qx_shell();
  if (!s.main) return;
  std::string title = qx_title_text();
  if (with_status && !s.status.empty()) title += " - " + s.status;
  plat::set_window_text(s.main, title.c_str());
}

void qx_show_status(const char* text) {
  qx_shell().status = text ? text : "";
  qx_show_title(1);
}

void qx_show_sentence(const char* text) {
  const std::string t = box_text(text, text ? int(std::strlen(text)) : 0);
  set_text(qx_shell().nmea_box, t.c_str());
}

void qx_lock_file_controls(int locked) { set_files_enabled(locked == 0); }

void qx_set_replay_controls(int on) {
  qx_shell_state& s = qx_shell();
  for (plat::Wnd w : {s.factor_edit, s.speed_edit, s.factor_track, s.speed_track, s.factor_apply, s.speed_apply,
                      s.loop, s.backward, s.pause, s.forward, s.stop})
    enable(w, on != 0);
  // The position trackbar is a file control as well: it stays off during a replay.
  enable(s.position_track, on != 0 && s.files_enabled);
}

void qx_release_play_buttons() {
  check(qx_shell().forward, false);
  check(qx_shell().backward, false);
}

void qx_add_loaded_file(const char* name, int player_index) {
  plat::Wnd combo = qx_shell().file_combo;
  if (!combo) return;
  combo_add_item(combo, name ? name : "", player_index);
  combo_select_data(combo, player_index);
}

void qx_show_position(const replay_point* p, double total_distance) {
  qx_shell_state& s = qx_shell();
  if (!p) {
    clear_position_fields();
    return;
  }
  char buf[128];
  if (s.position_track) {
    const double f = total_distance > 0.0 ? p->distance / total_distance * 1000.0 : 0.0;
    plat::send_message(s.position_track, plat::TBM_SETPOS, 1, plat::LParam(std::lround(f)));
  }
  const std::string text = box_text(p->text, p->length);
  set_text(s.nmea_box, text.c_str());
  std::snprintf(buf, sizeof buf, " %c %010.6lf", p->longitude >= 0.0 ? 'E' : 'W', std::fabs(p->longitude));
  set_text(s.longitude, buf);
  std::snprintf(buf, sizeof buf, " %c  %09.6lf", p->latitude >= 0.0 ? 'N' : 'S', std::fabs(p->latitude));
  set_text(s.latitude, buf);
  std::snprintf(buf, sizeof buf, "%7.2lf", p->speed);
  set_text(s.ground_speed, buf);
  if (p->course == kUnsetCourse)
    buf[0] = '\0';
  else
    std::snprintf(buf, sizeof buf, " %06.2lf", p->course);
  set_text(s.direction, buf);
  std::snprintf(buf, sizeof buf, " %7.1lf", p->altitude);
  set_text(s.altitude, buf);
  std::string sats;
  if (p->satellites_view != kUnsetCount) sats += std::to_string(p->satellites_view);
  sats += " / ";
  if (p->satellites_used != kUnsetCount) sats += std::to_string(p->satellites_used);
  set_text(s.satellites, sats.c_str());
  std::snprintf(buf, sizeof buf, "%7.2lf", p->distance * 0.001);
  set_text(s.distance, buf);
  // Hours keep counting past 24.
  const double seconds_total = std::isfinite(p->time) ? std::fabs(p->time) * 86400.0 : 0.0;
  const long long secs = (long long)(seconds_total + 0.5);
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d", int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
  set_text(s.duration, buf);
}

void qx_show_replay_state() {
  qx_shell_state& s = qx_shell();
  qx_player_lock();
  qx_player* p = qx_current_player();
  if (!p) {
    qx_player_unlock();
    for (plat::Wnd w : {s.factor_value, s.speed_value, s.mode, s.factor_shown}) set_text(w, "");
    clear_position_fields();
    set_text(s.nmea_box, "");
    qx_show_status("");
    return;
  }
  const qx_player copy = *p;
  const std::string name = p->name ? p->name : "";
  // The point is copied under the lock too: a live reader rewrites it in place.
  replay_point point{};
  std::string point_text;
  const bool have_point = copy.current_point != nullptr;
  if (have_point) {
    point = *copy.current_point;
    if (point.text && point.length > 0) point_text.assign(point.text, size_t(point.length));
    point.text = point_text.data();
    point.length = int32_t(point_text.size());
  }
  qx_player_unlock();
  char buf[64];
  // The player's own values are applied ones: black.
  format_double_sig(copy.time_factor, buf, sizeof buf);
  set_applied(s.factor_value, buf);
  if (copy.speed != 0.0) {
    format_double_sig(copy.speed, buf, sizeof buf);
    set_applied(s.speed_value, buf);
  }
  if (copy.mode == QX_MODE_TIME) {
    format_double_sig(copy.time_factor, buf, sizeof buf);
    set_text(s.factor_shown, buf);
    set_text(s.mode, tr("Rejeu temps", "Replay time"));
  } else if (copy.mode == QX_MODE_SPEED) {
    format_double_sig(copy.speed, buf, sizeof buf);
    set_text(s.factor_shown, buf);
    set_text(s.mode, tr("Rejeu vitesse", "Replay speed"));
  } else {
    set_text(s.factor_shown, "");
    set_text(s.mode, "Navigation");
  }
  qx_set_replay_controls(copy.mode == QX_MODE_TIME || copy.mode == QX_MODE_SPEED);
  qx_show_status(name.c_str());
  check(s.forward, copy.running_direction > 0.0);
  check(s.backward, copy.running_direction < 0.0);
  check(s.loop, copy.loop != 0);
  qx_show_position(have_point ? &point : nullptr, copy.total_distance);
}

void qx_nav_window_start() {
  set_files_enabled(false);
  qx_menu_enable(QX_IDM_NAVIGATION, 1);
  qx_shell().navigating = 1;
  qx_shell().last_fix_time = -1e9;
}

void qx_nav_window_stop() {
  qx_shell_state& s = qx_shell();
  qx_menu_check(QX_IDM_NAVIGATION, 0);
  set_files_enabled(true);
  s.navigating = 0;
  s.last_fix_time = -1e9;
  qx_show_status("");
  if (s.file_combo) {
    const intptr_t data = combo_selected_data(s.file_combo);
    if (data >= 0) qx_player_select(int(data));
  }
}

void qx_install_ui_hooks() {
  qx_ui_hooks& h = qx_get_ui_hooks();
  h.show_replay_state = qx_show_replay_state;
  h.show_position = qx_show_position;
  h.lock_file_controls = qx_lock_file_controls;
  h.set_replay_controls = qx_set_replay_controls;
  h.release_play_buttons = qx_release_play_buttons;
  h.add_loaded_file = qx_add_loaded_file;
  h.show_sentence = qx_show_sentence;
  h.show_status = qx_show_status;
}

void qx_shell_reset() {
  qx_shell_state& s = qx_shell();
  for (plat::Bitmap& b : s.icons)
    if (b) plat::delete_object(b);
  if (s.face_brush) plat::delete_object(s.face_brush);
  if (s.accel) plat::destroy_accelerator_table(s.accel);
  s = qx_shell_state{};
  qx_get_ui_hooks() = qx_ui_hooks{};
  qx_exit_reset();
}
