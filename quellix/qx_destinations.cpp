// The destination lists of the diffusion program, the opener that fills them at start-up
// and qx_diffuse, which sends a sentence group to every destination of the sending list.
// Contract in qx_destinations.h.
#include "quellix/qx_destinations.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/obj_list.h"
#include "core/socket.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "quellix/qx_dest_items.h"
#include "quellix/qx_fanout.h"
#include "quellix/qx_player.h"
#include "quellix/qx_ui_hooks.h"
#include "shell/framework/winutil.h"

namespace {

constexpr int kUdp = 2;  // protocol value of the channels (not SOCK_TCP)

std::mutex g_mutex;
container_t* g_lists[3] = {nullptr, nullptr, nullptr};  // by qx_list_kind
// Rate limit: the monotonic time of the last unforced send that went out.
bool g_have_last_send = false;
int64_t g_last_send_ms = 0;
std::atomic<bool> g_opening{false};
constexpr int64_t kOpenerPollMs = 5;  // pace of qx_wait_destinations_open

// A stream of relayed groups goes through sender threads (qx_fanout) so that the
// thread that relays them goes back to reading at once. A stream is kStreamGroups
// unforced groups in a row, each at most kStreamGapMs after the one before; a longer
// gap, a forced send, a rebuild or the freeing of the lists first waits until the
// queued groups went out, then sends in the caller's thread again. Markers and rebuilds
// therefore reach every destination after the groups queued before them.
constexpr int kStreamGroups = 64;
constexpr int64_t kStreamGapMs = 20;
constexpr int kFanoutSenders = 3;
qx_fanout& fanout() {
  static qx_fanout f(kFanoutSenders);
  return f;
}
int g_stream_run = 0;          // unforced groups in the current stream
int64_t g_stream_last_ms = 0;  // when its last one went
bool g_streaming = false;      // groups go through the fan-out

socket_t* slot_at(const container_t* list, int i) {
  obj_t* o = nullptr;
  obj_list_get(list, i, &o);
  return static_cast<socket_t*>(o);
}

const char* name_of(const socket_t* s) { return s && s->name ? s->name : ""; }

bool sends_to(const socket_t* s) { return s && s->handle != 0 && s->protocol != SOCK_TCP; }

// Where a channel's datagrams go: its remembered client, else its own address.
plat::net_addr target_of(const socket_t* s) {
  const sock_addr_v4& a = s->client.port != 0 ? s->client : s->own;
  plat::net_addr to;
  std::memcpy(&to.addr, a.addr, 4);
  to.port = uint16_t((a.port >> 8) | ((a.port & 0xFF) << 8));  // network to host order
  return to;
}

// The open UDP channels of the sending list, from its last slot to its first.
std::vector<qx_fanout_target> sending_targets_locked() {
  std::vector<qx_fanout_target> targets;
  const container_t* list = g_lists[QX_SENDING];
  for (int i = obj_list_count(list) - 1; i >= 0; --i) {
    const socket_t* s = slot_at(list, i);
    if (sends_to(s)) targets.push_back({int(s->handle), target_of(s)});
  }
  return targets;
}

// Back to sending in the caller's thread, once what was queued went out.
void end_stream_locked() {
  if (!g_streaming) return;
  fanout().drain();
  g_streaming = false;
}

// Counts an unforced group that goes out at `now` into the current stream; true when it
// goes through the fan-out.
bool stream_locked(int64_t now) {
  const bool close = g_stream_run > 0 && now - g_stream_last_ms <= kStreamGapMs;
  g_stream_run = close ? g_stream_run + 1 : 1;
  g_stream_last_ms = now;
  if (!close) end_stream_locked();
  if (!g_streaming && g_stream_run >= kStreamGroups) {
    std::vector<qx_fanout_target> targets = sending_targets_locked();
    // One channel gains nothing from a thread of its own.
    g_streaming = targets.size() > 1 && fanout().start(std::move(targets));
  }
  return g_streaming;
}

void diffuse_locked(const char* text, int length, int force) {
  container_t* list = g_lists[QX_SENDING];
  const int n = obj_list_count(list);
  if (!force) {
    const int64_t now = plat::now_ms();
    const int64_t threshold_ms = int64_t((n + 9) / 20) * 1000;
    if (g_have_last_send && threshold_ms > now - g_last_send_ms) return;
    g_have_last_send = true;
    g_last_send_ms = now;
    if (text && length > 0 && stream_locked(now)) {
      fanout().push(text, length);  // a group dropped from a full ring is counted there
      return;
    }
  } else {
    end_stream_locked();
  }
  if (!text || length < 1) return;
  for (int i = n - 1; i >= 0; --i) {
    socket_t* s = slot_at(list, i);
    if (!sends_to(s)) continue;
    socket_send(s, text, length);  // errors are not reported: the next group tries again
  }
}

// The STOP marker that frames a rebuild of the sending list.
void send_stop_locked() { diffuse_locked(qx_stop_marker_sentence, qx_stop_marker_length(), 1); }

int move_locked(int index, int from_not_selected, int* out_index, std::string* out_text) {
  container_t* from = g_lists[from_not_selected ? QX_NOT_SELECTED : QX_SELECTED];
  container_t* to = g_lists[from_not_selected ? QX_SELECTED : QX_NOT_SELECTED];
  if (!from || !to || index < 0 || index >= obj_list_count(from)) return 0;
  socket_t* s = slot_at(from, index);
  if (!s) return 0;
  obj_list_set(from, index, nullptr);
  *out_index = qx_insert_destination(s, to);
  *out_text = name_of(s);
  return 1;
}

void add_quietly(const std::string& host, int port) {
  int index;
  std::string text;
  qx_add_destination(host.c_str(), port, &index, &text, 0);
}

void open_keys(const char* prefix, bool selected) {
  for (int n = 1; n <= 9; ++n) {
    const std::string key = prefix + std::to_string(n);
    qx_dest_item item;
    if (!qx_key_item(config_get(key.c_str()), &item)) continue;
    add_quietly(item.host, item.port);
    if (!selected) qx_remove_destination(item.host.c_str(), item.port);
  }
}

void opener_thread(void*) {
  qx_open_destinations();
  g_opening = false;
}

void show_invalid_address(const char* host) {
  const bool fr = is_french() != 0;
  const std::string text =
      std::string(host) + "\n" +
      (fr ? "Nom de serveur ou\nadresse IP invalide" : "Invalid server name or\ninvalid IP adress");
  msg_box(text.c_str(), fr ? "Adresse invalide" : "Invalid address");
}

}  // namespace

void qx_init_destination_lists() {
  socket_register_type();
  std::lock_guard<std::mutex> lock(g_mutex);
  for (container_t*& list : g_lists)
    if (!list) obj_list_new(&list);
}

void qx_free_destination_lists() {
  std::lock_guard<std::mutex> lock(g_mutex);
  // The sender threads end before the channels they send on are closed.
  fanout().stop();
  g_streaming = false;
  g_stream_run = 0;
  g_stream_last_ms = 0;
  // Every channel is in the selected or the not-selected list; the sending list only
  // borrows them.
  for (int k : {QX_SELECTED, QX_NOT_SELECTED}) {
    container_t* list = g_lists[k];
    for (int i = 0; i < obj_list_count(list); ++i) {
      socket_t* s = slot_at(list, i);
      obj_list_set(list, i, nullptr);
      if (s) free_obj(&s);
    }
  }
  for (container_t*& list : g_lists) {
    if (!list) continue;
    obj_list_clear(list);
    free_obj(&list);
  }
  g_have_last_send = false;
  g_last_send_ms = 0;
}

std::mutex& qx_destinations_mutex() { return g_mutex; }

container_t* qx_destination_list(int selected) {
  return g_lists[selected ? QX_SELECTED : QX_NOT_SELECTED];
}

std::string qx_dest_text(const char* host, int port) {
  return std::string(host ? host : "") + ":" + std::to_string(port);
}

std::vector<std::string> qx_destination_texts(qx_list_kind which) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<std::string> texts;
  const container_t* list = g_lists[which];
  for (int i = 0; i < obj_list_count(list); ++i) {
    const socket_t* s = slot_at(list, i);
    texts.push_back(s ? name_of(s) : "");
  }
  return texts;
}

int qx_insert_destination(socket_t* dest, container_t* list) {
  for (int i = obj_list_count(list) - 1; i >= 0; --i) {
    if (!slot_at(list, i)) {
      obj_list_set(list, i, dest);
      return i;
    }
  }
  obj_list_append(list, dest);
  return obj_list_count(list) - 1;
}

int qx_find_destination(const container_t* list, const char* text) {
  if (!text) return -1;
  for (int i = obj_list_count(list) - 1; i >= 0; --i) {
    const socket_t* s = slot_at(list, i);
    if (s && std::strcmp(name_of(s), text) == 0) return i;
  }
  return -1;
}

int qx_move_destination(int index, int from_not_selected, int* out_index, std::string* out_text) {
  int new_index = -1;
  std::string text;
  int moved;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    moved = move_locked(index, from_not_selected, &new_index, &text);
  }
  if (out_index) *out_index = new_index;
  if (out_text) *out_text = text;
  return moved;
}

int qx_select_destination(int index, int* out_index, std::string* out_text) {
  return qx_move_destination(index, 1, out_index, out_text);
}

int qx_unselect_destination(int index, int* out_index, std::string* out_text) {
  return qx_move_destination(index, 0, out_index, out_text);
}

int qx_add_destination(const char* host, int port, int* out_index, std::string* out_text,
                       int show_error) {
  int new_index = -1;
  std::string new_text;
  if (!host) host = "";
  const std::string text = qx_dest_text(host, port);
  // Known already: nothing (selected) or a move (not selected).
  auto known = [&]() -> bool {
    if (qx_find_destination(g_lists[QX_SELECTED], text.c_str()) >= 0) return true;
    const int i = qx_find_destination(g_lists[QX_NOT_SELECTED], text.c_str());
    if (i >= 0) move_locked(i, 1, &new_index, &new_text);
    return i >= 0;
  };
  bool done;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    done = !g_lists[QX_SELECTED] || known();
  }
  if (!done) {
    // A name look-up may wait: the channel is made outside the lists' mutex.
    socket_t* s = nullptr;
    if (*host && port >= 1 && port <= 65535) socket_create(host, port, kUdp, &s);
    if (!s) {
      if (show_error) show_invalid_address(host);
    } else {
      std::lock_guard<std::mutex> lock(g_mutex);
      if (known()) {
        free_obj(&s);  // another thread added it meanwhile
      } else {
        new_index = qx_insert_destination(s, g_lists[QX_SELECTED]);
        new_text = name_of(s);
      }
    }
  }
  if (out_index) *out_index = new_index;
  if (out_text) *out_text = new_text;
  return new_index >= 0;
}

void qx_remove_destination(const char* host, int port) {
  const std::string text = qx_dest_text(host, port);
  std::lock_guard<std::mutex> lock(g_mutex);
  const int i = qx_find_destination(g_lists[QX_SELECTED], text.c_str());
  int new_index;
  std::string new_text;
  if (i >= 0) move_locked(i, 0, &new_index, &new_text);
}

void qx_remove_local_destinations(int port) {
  if (port == 0) return;
  qx_remove_destination("127.0.0.1", port);
  qx_remove_destination("localhost", port);
  core_post_command(kQxResetSlot, 0, nullptr);
}

void qx_reset_destinations() {
  std::lock_guard<std::mutex> lock(g_mutex);
  container_t* sending = g_lists[QX_SENDING];
  if (!sending) return;
  send_stop_locked();  // forced: the queued groups go out first
  obj_list_clear(sending);
  const container_t* selected = g_lists[QX_SELECTED];
  for (int i = 0; i < obj_list_count(selected); ++i)
    obj_list_append(sending, slot_at(selected, i));  // empty slots too
  send_stop_locked();
}

void qx_open_destinations() {
  const char* value = config_get("IPADR");
  const std::string ipadr = value ? value : "";
  for (int i = 1; i <= kQxLocalPortCount; ++i) {
    const int port = kQxFirstLocalPort + i;
    int index;
    std::string text;
    if (qx_add_destination("localhost", port, &index, &text, 0) && (i >= 3 || !ipadr.empty()))
      qx_remove_destination("localhost", port);
  }
  for (const qx_dest_item& item : qx_ipadr_items(ipadr.c_str())) add_quietly(item.host, item.port);
  open_keys("ACTIVE_NMEA_UDP_DIFFUSE_ADR", true);
  open_keys("INACTIVE_NMEA_UDP_DIFFUSE_ADR", false);
  qx_reset_destinations();
}

bool qx_start_destination_thread() {
  if (auto* off = qx_get_ui_hooks().set_replay_controls) off(0);
  g_opening = true;
  if (plat::start_thread(opener_thread, nullptr, plat::thread_priority::normal)) return true;
  g_opening = false;
  return false;
}

bool qx_destinations_opening() { return g_opening; }

bool qx_wait_destinations_open(int64_t bound_ms) {
  const int64_t until = plat::now_ms() + bound_ms;
  while (g_opening) {
    if (plat::now_ms() >= until) return false;
    plat::sleep_ms(kOpenerPollMs);
  }
  return true;
}

void qx_diffuse(const char* text, int length, int force) {
  std::lock_guard<std::mutex> lock(g_mutex);
  diffuse_locked(text, length, force);
}

void qx_diffuse_flush() {
  std::lock_guard<std::mutex> lock(g_mutex);
  end_stream_locked();
  g_stream_run = 0;
}

bool qx_diffuse_streaming() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_streaming;
}

long qx_diffuse_dropped() { return fanout().dropped(); }
