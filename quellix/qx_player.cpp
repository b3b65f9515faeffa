// The replay engine: the player list, the markers, play / pause / stop / seek, the replay
// clock and the tick of command 16. Contract in qx_player.h; the live hooks are in
// qx_player_live.cpp, the load task in qx_player_load.cpp.
#include "quellix/qx_player.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "platform/sys/clock.h"
#include "quellix/qx_destinations.h"
#include "quellix/qx_player_internal.h"
#include "quellix/qx_ui_hooks.h"
#include "quellix/replay_point.h"

const char qx_start_marker_sentence[] = "$PTMQT,START*20\r\n";
const char qx_stop_marker_sentence[] = "$PTMQT,STOP*78\r\n";
int qx_start_marker_length() { return int(sizeof(qx_start_marker_sentence) - 1); }
int qx_stop_marker_length() { return int(sizeof(qx_stop_marker_sentence) - 1); }

namespace {

constexpr int kKeyDouble = 3;                         // index key type of a double
constexpr double kKmhToMs = 0.2777777777777778;       // km/h to m/s
constexpr int64_t kDayMs = 86400000;
constexpr int64_t kEndLookBackMs = 1000;              // one second before "now"
// The clock counts whole milliseconds and the keys are sums of rounded products: a point
// counts as reached when the key has come within these of it (half a millisecond of
// track time, a micrometre of distance), or a key that lands exactly on a point in
// decimal would miss it by the last bit.
constexpr double kTimeSlack = 0.5 / double(kDayMs);
constexpr double kDistanceSlack = 1e-6;

qx_engine g_engine;

qx_player* current_locked() {
  qx_engine& e = g_engine;
  if (e.current < 0 || e.current >= int(e.players.size())) return nullptr;
  return e.players[size_t(e.current)];
}

void set_current_locked(int index) {
  g_engine.current = index;
  g_engine.has_current.store(current_locked() != nullptr, std::memory_order_release);
}

replay_point* index_end(const container_t* index, bool last) {
  obj_t* o = nullptr;
  if (!index || obj_list_count(index) == 0) return nullptr;
  if (last) obj_list_last(index, &o);
  else obj_list_first(index, &o);
  return static_cast<replay_point*>(o);
}

// The point the replay clock has reached at `key`: forwards the last point at or before
// the key, backwards the first at or after it, so that a point never goes out before its
// time. A key short of the run's first point (a run that starts before the track) finds
// that point; a key beyond the far end of the track finds none (the run has ended).
replay_point* search_reached(const container_t* index, bool by_distance, double key,
                             double direction, double slack) {
  if (!index || obj_list_count(index) == 0) return nullptr;
  const bool forwards = direction > 0;
  const replay_point* end = index_end(index, forwards);
  const double end_key = by_distance ? end->distance : end->time;
  if (forwards ? end_key < key - slack : key + slack < end_key) return nullptr;
  replay_point* p = nullptr;
  const double reached = forwards ? key + slack : key - slack;
  index_search(index, forwards ? IDX_LAST_EQUAL : IDX_EQUAL_OR_AFTER, &reached, &p);
  return p ? p : index_end(index, !forwards);
}

// The seek's look-up: the first point at or after the key.
replay_point* search_at_or_after(const container_t* index, double key) {
  if (!index || obj_list_count(index) == 0) return nullptr;
  replay_point* p = nullptr;
  index_search(index, IDX_EQUAL_OR_AFTER, &key, &p);
  return p;
}

// The index a run walks: by distance in speed mode, else by time.
const container_t* run_index(const qx_player* p) {
  return p->mode == QX_MODE_SPEED ? p->distance_index : p->time_index;
}

char* copy_text(const char* s) {
  if (!s) s = "";
  const size_t n = std::strlen(s);
  char* out = static_cast<char*>(std::malloc(n + 1));
  if (out) std::memcpy(out, s, n + 1);
  return out;
}

void free_player(qx_player* p) {
  if (!p) return;
  obj_t* index = p->time_index;
  free_obj(&index);
  index = p->distance_index;
  free_obj(&index);
  std::free(p->name);
  delete p;
}

void post_tick(qx_player* p, int64_t delay_ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(p->run_number));
  core_post_command(kQxTimerCommand, delay_ms, text);
}

// The fixes of the track that the replay clock passed between `last` (the point sent
// last in this run, or the run's start point) and `point`, sent in the run's order before
// it: a tick sends the point the clock reached, and every fix of the track goes out once,
// in order, even when two fall within one tick. Points the resampler inserted are only
// in-between positions and may be passed over.
void emit_passed_fixes(qx_player* p, replay_point* last, replay_point* point) {
  if (!last) return;
  const container_t* index = run_index(p);
  const int from = index_position_of(index, last);
  const int to = index_position_of(index, point);
  if (from < 0 || to < 0) return;
  const int step = p->running_direction > 0 ? 1 : -1;
  if ((to - from) * step <= 1) return;
  for (int i = from + step; i != to; i += step) {
    auto* q = static_cast<replay_point*>(index->elems[i]);
    if (q && !q->inserted) qx_player_emit(q, nullptr, 0);
  }
}

// A tick that finds the run past its end: the fixes between the point sent last and the
// end, and the end itself, that no tick has sent yet (the end was reached since).
void emit_up_to_end(qx_player* p) {
  replay_point* end = index_end(run_index(p), p->running_direction > 0);
  replay_point* last = g_engine.last_timer_run == p->run_number ? g_engine.last_timer_point : nullptr;
  if (!end || end == last) return;
  emit_passed_fixes(p, last, end);
  if (!end->inserted) qx_player_emit(end, nullptr, 0);
  g_engine.last_timer_point = end;
}

// The point the replay clock finds `e` days after the reference (no loop handling).
replay_point* point_after(const qx_player* p, double e) {
  const double dir = p->running_direction;
  if (p->mode == QX_MODE_SPEED) {
    const double key = p->speed * kKmhToMs * (e * 86400.0) * dir + p->start_distance;
    return search_reached(p->distance_index, true, key, dir, kDistanceSlack);
  }
  const double key = p->time_factor * dir * e + p->start_time;
  return search_reached(p->time_index, false, key, dir, kTimeSlack);
}

// The point for the replay clock at `now` (steps 1 to 4 of a tick).
replay_point* tick_at(qx_player* p, int64_t now, bool timer = false) {
  const double e = double(now - p->reference_ms) / double(kDayMs);
  const double dir = p->running_direction;
  replay_point* found = point_after(p, e);
  if (found || !p->loop || !p->time_index) return found;
  // The tick of a looping run that passed the end: the fixes up to the end go out before
  // the pass is closed.
  if (timer) emit_up_to_end(p);
  qx_send_stop_marker();
  qx_send_start_marker();
  found = index_end(p->time_index, dir <= 0);
  if (!found) return nullptr;
  p->start_time = found->time;
  p->start_distance = found->distance;
  p->reference_ms = now;
  return found;
}

replay_point* position_at(qx_player* p, int64_t now, bool timer = false) {
  replay_point* found = tick_at(p, now, timer);
  if (found || p->loop) return found;
  if (!tick_at(p, now - kEndLookBackMs)) return nullptr;
  // The run has just passed its end: the end point of the run's direction.
  const bool last = p->running_direction > 0;
  return index_end(run_index(p), last);
}

void refresh_display() {
  if (auto fn = qx_get_ui_hooks().show_replay_state) fn();
}

void show_point(const replay_point* point, double total) {
  if (auto fn = qx_get_ui_hooks().show_position) fn(point, total);
}

// Pause with the lock held.
void reset_locked(qx_player* p) {
  p->run_number = ++g_engine.run_counter;  // the pending tick finds another run
  qx_send_stop_marker();
  if (p->running) {
    replay_point* now = position_at(p, plat::now_ms());
    p->start_time = now ? now->time : 0.0;
    p->start_distance = now ? now->distance : 0.0;
  }
  p->running = 0;
  p->reference_ms = 0;
  p->running_direction = 0.0;
  if (qx_diffusion_on()) qx_send_stop_marker();
}

void play_locked(qx_player* p) {
  if (p->running_direction == p->requested_direction) return;
  if (p->running) reset_locked(p);
  p->reference_ms = plat::now_ms();
  p->running = 1;
  p->running_direction = p->requested_direction;
  p->run_number = ++g_engine.run_counter;
  qx_send_start_marker();
  refresh_display();
  post_tick(p, 0);
}

}  // namespace

// ---- Engine state shared with the live hooks and the load task ------------------------------
qx_engine& qx_engine_state() { return g_engine; }
qx_player* qx_current_locked() { return current_locked(); }
void qx_select_locked(int index) { set_current_locked(index); }

int qx_append_player_locked(qx_player* p) {
  g_engine.players.push_back(p);
  return int(g_engine.players.size()) - 1;
}

void qx_player_lock() { g_engine.lock.lock(); }
void qx_player_unlock() { g_engine.lock.unlock(); }

// ---- Markers and diffusion ------------------------------------------------------------------
// Markers read only the two flags, so the destination lists may send them while holding
// their own lock without reaching the engine's.
void qx_send_start_marker() {
  if (g_engine.has_current.load(std::memory_order_acquire) && qx_diffusion_on())
    qx_diffuse(qx_start_marker_sentence, qx_start_marker_length(), 1);
}

void qx_send_stop_marker() {
  if (g_engine.has_current.load(std::memory_order_acquire) && qx_diffusion_on())
    qx_diffuse(qx_stop_marker_sentence, qx_stop_marker_length(), 1);
}

void qx_send_final_stop() {
  qx_send_stop_marker();
  plat::sleep_ms(50);
}

void qx_set_diffusion(int on) {
  if (g_engine.has_current.load(std::memory_order_acquire)) {
    if (on) qx_diffuse(qx_start_marker_sentence, qx_start_marker_length(), 1);
    else qx_diffuse(qx_stop_marker_sentence, qx_stop_marker_length(), 1);
  }
  qx_set_diffusion_flag(on);
}

void qx_set_diffusion_flag(int on) { g_engine.diffusion.store(on ? 1 : 0, std::memory_order_release); }
int qx_diffusion_on() { return g_engine.diffusion.load(std::memory_order_acquire); }

// ---- Players --------------------------------------------------------------------------------
int qx_player_create(obj_t* document, container_t* track, int* out_index, const char* name) {
  if (out_index) *out_index = -1;
  qx_player* p = new qx_player;
  p->document = document;
  p->track = track;
  p->name = copy_text(name);
  if (track) {
    index_create_over(track, CLS_REPLAY_POINT, kKeyDouble, int(offsetof(replay_point, time)),
                      &p->time_index);
    index_create_over(track, CLS_REPLAY_POINT, kKeyDouble,
                      int(offsetof(replay_point, distance)), &p->distance_index);
    replay_point* last = index_end(p->distance_index, true);
    if (!last || !p->time_index) {
      free_player(p);
      set_gblerr(kQxNoTrackError);
      return kQxNoTrackError;
    }
    p->total_distance = last->distance;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
    const int index = qx_append_player_locked(p);
    set_current_locked(index);
    if (out_index) *out_index = index;
  }
  qx_send_stop_marker();
  return 0;
}

void qx_player_select(int index) {
  {
    std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
    if (index < 0 || index >= int(g_engine.players.size())) {
      set_current_locked(-1);
    } else {
      set_current_locked(index);
      qx_player* p = current_locked();
      std::free(p->name);
      p->name = copy_text("");
    }
  }
  refresh_display();
  qx_send_stop_marker();
}

void qx_player_rename(int index, const char* name) {
  {
    std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
    qx_player* p = qx_player_at(index);
    if (!p) return;
    char* copy = copy_text(name);
    std::free(p->name);
    p->name = copy;
  }
  refresh_display();
}

qx_player* qx_current_player() {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  return current_locked();
}

int qx_current_player_index() {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  return current_locked() ? g_engine.current : -1;
}

qx_player* qx_player_at(int index) {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  if (index < 0 || index >= int(g_engine.players.size())) return nullptr;
  return g_engine.players[size_t(index)];
}

int qx_player_count() {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  return int(g_engine.players.size());
}

void qx_player_set_mode(int mode) {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  qx_player* p = current_locked();
  if (p && mode >= QX_MODE_TIME && mode <= QX_MODE_LIVE) p->mode = mode;
}

void qx_player_set_direction(double d) {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  qx_player* p = current_locked();
  if (p && (d == 1.0 || d == -1.0)) p->requested_direction = d;
}

void qx_player_set_loop(int flag) {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  if (qx_player* p = current_locked()) p->loop = flag ? 1 : 0;
}

void qx_player_set_time_factor(double f) {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  qx_player* p = current_locked();
  if (!p) return;
  const bool was_running = p->running != 0;
  if (was_running) reset_locked(p);
  p->time_factor = f;
  p->mode = QX_MODE_TIME;
  if (was_running) play_locked(p);
}

void qx_player_set_speed(double v) {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  qx_player* p = current_locked();
  if (!p) return;
  const bool was_running = p->running != 0;
  if (was_running) reset_locked(p);
  p->speed = v;
  p->mode = QX_MODE_SPEED;
  if (was_running) play_locked(p);
}

void qx_player_play() {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  if (qx_player* p = current_locked()) play_locked(p);
}

void qx_player_reset() {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  if (qx_player* p = current_locked()) reset_locked(p);
}

void qx_player_stop() {
  {
    std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
    qx_player* p = current_locked();
    if (!p) return;
    p->run_number = ++g_engine.run_counter;
    qx_send_stop_marker();
    p->running = 0;
    p->reference_ms = 0;
    p->start_time = 0.0;
    p->current_point = nullptr;
    p->start_distance = 0.0;
    p->running_direction = 0.0;
  }
  refresh_display();
  qx_send_stop_marker();
}

void qx_player_seek(double fraction) {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  qx_player* p = current_locked();
  if (!p || p->running_direction != 0.0 || !p->distance_index) return;
  replay_point* point = search_at_or_after(p->distance_index, fraction * p->total_distance);
  if (!point) return;
  const int marker = qx_stop_marker_length();
  const int length = point->text && point->length > 0 ? point->length : 0;
  char* datagram = static_cast<char*>(std::malloc(size_t(marker + length) + 1));
  if (datagram) {
    std::memcpy(datagram, qx_stop_marker_sentence, size_t(marker));
    if (length) std::memcpy(datagram + marker, point->text, size_t(length));
    if (qx_diffusion_on()) qx_diffuse(datagram, marker + length, 1);
    std::free(datagram);
  }
  p->current_point = point;
  show_point(point, p->total_distance);
  p->start_time = point->time;
  p->start_distance = point->distance;
}

void qx_player_emit(replay_point* point, const char* text, int length) {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  qx_player* p = current_locked();
  if (!p || !point) return;
  if (qx_diffusion_on())
    qx_diffuse(text ? text : point->text, length ? length : point->length, 0);
  p->current_point = point;
  show_point(point, p->total_distance);
}

replay_point* qx_player_position_now() {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  qx_player* p = current_locked();
  if (!p || !p->running) return nullptr;
  return position_at(p, plat::now_ms());
}

void qx_player_on_timer() { qx_player_on_timer_text(core_current_task_text()); }

void qx_player_on_timer_text(const char* text) {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  qx_player* p = current_locked();
  if (!p || !p->running) return;
  if (text && *text && std::strtoll(text, nullptr, 10) != p->run_number) return;
  if (g_engine.last_timer_run != p->run_number) {
    // The first tick of a run comes some time after the run started (the clock reads
    // the real time since then): the point at the run's start goes out first, and the
    // fixes the clock passed since then follow as at any tick.
    replay_point* start = point_after(p, 0.0);
    if (start && start != g_engine.last_timer_point) qx_player_emit(start, nullptr, 0);
    g_engine.last_timer_point = start;
    g_engine.last_timer_run = p->run_number;
  }
  replay_point* point = position_at(p, plat::now_ms(), true);
  if (!point) {
    // A tick that came more than the look-back after the end still brings the end.
    emit_up_to_end(p);
    if (p->current_point) {
      p->start_time = p->current_point->time;
      p->start_distance = p->current_point->distance;
    }
    p->running = 0;
    p->reference_ms = 0;
    p->running_direction = 0.0;
    p->run_number = ++g_engine.run_counter;
    if (auto fn = qx_get_ui_hooks().release_play_buttons) fn();
    qx_send_stop_marker();
    if (auto fn = qx_get_ui_hooks().lock_file_controls) fn(0);
    return;
  }
  if (point != g_engine.last_timer_point) {
    emit_passed_fixes(p, g_engine.last_timer_point, point);
    qx_player_emit(point, nullptr, 0);
    g_engine.last_timer_point = point;
    g_engine.last_timer_run = p->run_number;
  }
  post_tick(p, kQxTickMs);
}

void qx_players_reset() {
  std::lock_guard<std::recursive_mutex> lock(g_engine.lock);
  for (qx_player* p : g_engine.players) free_player(p);
  g_engine.players.clear();
  set_current_locked(-1);
  g_engine.last_timer_point = nullptr;
  g_engine.last_timer_run = -1;
  qx_live_reset_locked();
}
