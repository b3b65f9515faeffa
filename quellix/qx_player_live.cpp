// The live player: the hooks the live reader thread calls for each connection, event,
// fix, sentence and status, and the window-thread step (command 10) that shows what
// they recorded. Contract in qx_player.h.
//
// The hooks run on the reader thread: they change the live player and send through
// qx_diffuse (which holds the destination lists' lock) under the engine's lock, and
// never call a window routine. What is to be shown is recorded in the engine's pending
// display and command 10 is posted; qx_nav_display_step shows it on the window thread
// from its own copy of the live point, and gives the reader's fix back so that a reader
// that stops never waits for a display that does not come.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/command_hooks.h"
#include "gps/gpsport.h"
#include "gps/navig.h"
#include "gps/navig_internal.h"
#include "gps/nmea_parser.h"
#include "platform/sys/clock.h"
#include "quellix/qx_builders.h"
#include "quellix/qx_destinations.h"
#include "quellix/qx_player_internal.h"
#include "quellix/qx_ui_hooks.h"

namespace {

constexpr double kNoFix = -1e9;
constexpr double kEarthRadius = 6371008.8;  // mean radius, m
constexpr double kPi = 3.14159265358979323846;

using guard = std::lock_guard<std::recursive_mutex>;

// The window thread's copy of the live point (its text in `shown_text`).
replay_point g_shown{};
std::string g_shown_text;

double ground_distance(double lat1, double lon1, double lat2, double lon2) {
  const double r = kPi / 180.0;
  const double dlat = (lat2 - lat1) * r;
  const double dlon = (lon2 - lon1) * r;
  const double a = std::sin(dlat / 2) * std::sin(dlat / 2) +
                   std::cos(lat1 * r) * std::cos(lat2 * r) * std::sin(dlon / 2) * std::sin(dlon / 2);
  return 2.0 * kEarthRadius * std::asin(std::sqrt(a < 1.0 ? a : 1.0));
}

void clear_point(replay_point* p) {
  std::free(p->text);
  *p = replay_point{};
  p->cls = CLS_REPLAY_POINT;
  p->course = NULL_DOUBLE;
  p->satellites_used = NULL_INT;
  p->satellites_view = NULL_INT;
}

void post_display() { core_post_command(kQxLiveCommand, 0, nullptr); }

void rename_live_locked(qx_engine& e) {
  if (e.live_index < 0 || e.live_index >= int(e.players.size())) return;
  qx_player* p = e.players[size_t(e.live_index)];
  const size_t n = e.port_name.size();
  char* name = static_cast<char*>(std::malloc(n + 1));
  if (!name) return;
  std::memcpy(name, e.port_name.c_str(), n + 1);
  std::free(p->name);
  p->name = name;
  e.pending.state = true;
}

}  // namespace

void qx_live_reset_locked() {
  qx_engine& e = qx_engine_state();
  if (e.live_point) {
    std::free(e.live_point->text);
    delete e.live_point;
  }
  e.live_point = nullptr;
  e.live_index = -1;
  e.navigating = 0;
  e.last_fix_time = kNoFix;
  e.live_start_ms = 0;
  e.live_distance = 0.0;
  e.port_name.clear();
  e.pending = qx_live_display{};
}

int qx_live_player_index() {
  qx_engine& e = qx_engine_state();
  guard lock(e.lock);
  return e.live_index;
}

void qx_nav_prepare_player(gpsport_t* port) {
  if (port && port->kind == GPSPORT_UDP)
    qx_remove_local_destinations(port->device_path ? std::atoi(port->device_path) : 0);
  qx_engine& e = qx_engine_state();
  {
    guard lock(e.lock);
    if (port) e.port_name = port->display_name ? port->display_name : "";
    if (e.live_point && e.live_index >= 0) {
      clear_point(e.live_point);
      qx_select_locked(e.live_index);
      qx_player* p = qx_current_locked();
      std::free(p->name);
      p->name = static_cast<char*>(std::calloc(1, 1));
    } else {
      e.live_point = new replay_point{};
      clear_point(e.live_point);
      qx_player* p = new qx_player;
      p->mode = QX_MODE_LIVE;
      p->name = static_cast<char*>(std::calloc(1, 1));
      e.live_index = qx_append_player_locked(p);
      qx_select_locked(e.live_index);
    }
    if (port) rename_live_locked(e);
    e.pending.state = true;
  }
  qx_send_stop_marker();
  post_display();
}

void qx_nav_begin(gpsport_t* port) {
  qx_nav_prepare_player(port);
  qx_engine& e = qx_engine_state();
  guard lock(e.lock);
  e.last_fix_time = kNoFix;
  e.navigating = 1;
}

void qx_nav_event(int event) {
  qx_engine& e = qx_engine_state();
  if (event == 1) {
    qx_send_start_marker();
    guard lock(e.lock);
    e.navigating = 1;
  } else if (event == 2) {
    qx_send_stop_marker();
    guard lock(e.lock);
    e.last_fix_time = kNoFix;
    e.navigating = 0;
  }
}

void qx_nav_fix(const nmea_fix* fix) {
  if (!fix) return;
  qx_engine& e = qx_engine_state();
  guard lock(e.lock);
  replay_point* lp = e.live_point;
  if (!lp) return;
  // Position, heights, speed, course and satellite counts, each as far as the fix has it.
  qx_point_set_fix(lp, fix);
  qx_point_set_motion(lp, fix);
  // The sentence text as received, with its terminating byte.
  const int n = fix->raw && fix->raw_length > 0 ? fix->raw_length : 0;
  char* text = static_cast<char*>(std::realloc(lp->text, size_t(n) + 1));
  if (text) {
    if (n) std::memcpy(text, fix->raw, size_t(n));
    text[n] = 0;
    lp->text = text;
    lp->length = n;
  }
  const int64_t now = plat::now_ms();
  if (!fix->valid.position) {
    // Sentences without a position (a marker, satellites only) are relayed as they
    // came but take no part in the run's distance and time.
  } else if (e.last_fix_time != kNoFix && e.navigating == 1) {
    e.live_distance += std::fabs(
        ground_distance(e.prev_latitude, e.prev_longitude, lp->latitude, lp->longitude));
  } else {
    // The first fix, or the first after a STOP, begins a new run, which then goes on
    // adding up its distance (a receiver sends no START of its own).
    e.live_distance = 0.0;
    e.live_start_ms = now;
    e.navigating = 1;
    rename_live_locked(e);
  }
  if (fix->valid.position) {
    lp->distance = e.live_distance;
    lp->time = double(now - e.live_start_ms) / 86400000.0;
    e.prev_latitude = lp->latitude;
    e.prev_longitude = lp->longitude;
    e.last_fix_time = fix->valid.time ? fix->time : double(now) / 86400000.0;
  }
  // The relay (unforced) and the point for the display.
  qx_player* p = qx_current_locked();
  if (!p || !lp->text) return;
  if (qx_diffusion_on() && lp->length > 0) qx_diffuse(lp->text, lp->length, 0);
  p->current_point = lp;
  e.pending.point = true;
  post_display();
}

void qx_nav_sentence(const char* text) {
  qx_engine& e = qx_engine_state();
  {
    guard lock(e.lock);
    e.pending.sentence = true;
    e.pending.sentence_text = text ? text : "";
  }
  post_display();
}

void qx_nav_update(const char* status) {
  qx_engine& e = qx_engine_state();
  {
    guard lock(e.lock);
    e.pending.status = true;
    e.pending.status_text = status ? status : "";
  }
  post_display();
}

void qx_nav_display_step() {
  {
    // The reader hands each fix to the display: give it back at once. After a STOP a UDP
    // reader forgets the sender it answered to, as the map program's display step has
    // it do: the first datagram of a UDP input may be this program's own STOP marker,
    // sent before the loopback destination of the input was unselected.
    std::lock_guard<std::mutex> hold(navig_display_lock());
    if (navig_take_event() == 2) {
      gpsport_t* port = navig_current_port();
      if (port && port->kind == GPSPORT_UDP) navig_request_forget_sender();
    }
    navig_give_back();
  }
  qx_live_display shown;
  double total = 0.0;
  {
    qx_engine& e = qx_engine_state();
    guard lock(e.lock);
    shown = std::move(e.pending);
    e.pending = qx_live_display{};
    if (shown.point && e.live_point) {
      g_shown = *e.live_point;
      g_shown_text.assign(e.live_point->text ? e.live_point->text : "",
                          size_t(e.live_point->length > 0 ? e.live_point->length : 0));
      g_shown.text = g_shown_text.data();
      if (qx_player* p = qx_current_locked()) total = p->total_distance;
    } else {
      shown.point = false;
    }
  }
  qx_ui_hooks& ui = qx_get_ui_hooks();
  if (shown.state && ui.show_replay_state) ui.show_replay_state();
  if (shown.point && ui.show_position) ui.show_position(&g_shown, total);
  if (shown.sentence && ui.show_sentence) ui.show_sentence(shown.sentence_text.c_str());
  if (shown.status && ui.show_status) ui.show_status(shown.status_text.c_str());
}
