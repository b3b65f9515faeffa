// Shared by the replay engine's tests: a track of replay points made in memory, UDP
// listeners on 127.0.0.1 registered as the selected destinations, a stand-in dispatcher
// that records every posted command and runs the replay ticks on the virtual clock, and
// recorders for the window routines.
#pragma once
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "platform/sys/clock.h"
#include "quellix/qx_destinations.h"
#include "quellix/qx_player.h"
#include "quellix/qx_ui_hooks.h"
#include "quellix/replay_point.h"
#include "tests/support/net_loopback.h"
#include "tests/support/object_env.h"
#include "tests/support/wait.h"

namespace qx_test {

inline std::string stop_marker() { return "$PTMQT,STOP*78\r\n"; }
inline std::string start_marker() { return "$PTMQT,START*20\r\n"; }

// A UDP listener on 127.0.0.1 that collects datagrams.
struct Listener {
  tm_test::loopback_socket sock{false};
  std::vector<std::string> drain() {
    std::vector<std::string> out;
    char buf[65536];
    for (;;) {
      const ssize_t n = ::recv(sock.fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n < 0) break;
      out.emplace_back(buf, size_t(n));
    }
    return out;
  }
  // Waits (real time, bounded) until `count` datagrams came, then gives all of them.
  std::vector<std::string> take(size_t count, int bound_ms = 5000) {
    std::vector<std::string> got;
    tm_test::wait_for(
        [&] {
          auto more = drain();
          got.insert(got.end(), more.begin(), more.end());
          return got.size() >= count;
        },
        bound_ms);
    auto more = drain();
    got.insert(got.end(), more.begin(), more.end());
    return got;
  }
};

// The posted commands, and a dispatcher for slot 16 on the virtual clock.
struct Posts {
  struct post {
    int slot;
    int64_t due_ms;
    std::string text;
  };
  std::mutex m;
  std::vector<post> all;
  std::vector<post> timers;  // slot 16, not yet run

  static Posts*& instance() {
    static Posts* p = nullptr;
    return p;
  }
  static int capture(int slot, int64_t delay_ms, const char* text) {
    Posts* self = instance();
    if (!self) return 0;
    std::lock_guard<std::mutex> lock(self->m);
    post p{slot, plat::now_ms() + delay_ms, text ? text : ""};
    self->all.push_back(p);
    if (slot == kQxTimerCommand) self->timers.push_back(p);
    return 1;
  }
  int count(int slot) {
    std::lock_guard<std::mutex> lock(m);
    return int(std::count_if(all.begin(), all.end(), [&](const post& p) { return p.slot == slot; }));
  }
  // Runs every tick due up to `ms` from now, moving the virtual clock to each due time.
  void run_for(int64_t ms) {
    const int64_t until = plat::now_ms() + ms;
    for (;;) {
      post next;
      {
        std::lock_guard<std::mutex> lock(m);
        auto it = std::min_element(timers.begin(), timers.end(),
                                   [](const post& a, const post& b) { return a.due_ms < b.due_ms; });
        if (it == timers.end() || it->due_ms > until) break;
        next = *it;
        timers.erase(it);
      }
      if (next.due_ms > plat::now_ms()) plat::advance_virtual_ms(next.due_ms - plat::now_ms());
      qx_player_on_timer_text(next.text.c_str());
    }
    if (until > plat::now_ms()) plat::advance_virtual_ms(until - plat::now_ms());
  }
};

// Window routines: what was shown, and on which thread.
struct UiRecord {
  std::mutex m;
  std::vector<std::thread::id> threads;
  std::vector<std::string> shown_texts;  // show_position's point text
  int release_buttons = 0;
  std::vector<int> locks;
  int states = 0;
  std::vector<std::string> sentences;
  std::vector<std::string> statuses;
  std::vector<std::pair<std::string, int>> loaded;  // add_loaded_file

  static UiRecord*& instance() {
    static UiRecord* p = nullptr;
    return p;
  }
  void note() { threads.push_back(std::this_thread::get_id()); }
  static void install() {
    qx_ui_hooks& ui = qx_get_ui_hooks();
    ui.show_replay_state = [] {
      auto* r = instance();
      std::lock_guard<std::mutex> lock(r->m);
      r->note();
      ++r->states;
    };
    ui.show_position = [](const replay_point* p, double) {
      auto* r = instance();
      std::lock_guard<std::mutex> lock(r->m);
      r->note();
      r->shown_texts.emplace_back(p && p->text ? std::string(p->text, size_t(p->length)) : "");
    };
    ui.release_play_buttons = [] {
      auto* r = instance();
      std::lock_guard<std::mutex> lock(r->m);
      r->note();
      ++r->release_buttons;
    };
    ui.lock_file_controls = [](int locked) {
      auto* r = instance();
      std::lock_guard<std::mutex> lock(r->m);
      r->note();
      r->locks.push_back(locked);
    };
    ui.show_sentence = [](const char* t) {
      auto* r = instance();
      std::lock_guard<std::mutex> lock(r->m);
      r->note();
      r->sentences.emplace_back(t ? t : "");
    };
    ui.add_loaded_file = [](const char* name, int index) {
      auto* r = instance();
      std::lock_guard<std::mutex> lock(r->m);
      r->note();
      r->loaded.emplace_back(name ? name : "", index);
    };
    ui.show_status = [](const char* t) {
      auto* r = instance();
      std::lock_guard<std::mutex> lock(r->m);
      r->note();
      r->statuses.emplace_back(t ? t : "");
    };
  }
};

// One replay point: its text "P<n>" CR LF, its time (seconds) and distance (m).
struct PointAt {
  double seconds;
  double metres;
};

// The wire and the window around the engine: listeners selected as destinations,
// diffusion on, posted commands and window routines recorded, the virtual clock on.
// up() after the object store is ready, down() before it goes.
struct WireEnv {
  void up() {
    plat::use_virtual_clock(true);
    Posts::instance() = &posts;
    saved_hooks = get_command_hooks();
    get_command_hooks().post_command = &Posts::capture;
    UiRecord::instance() = &ui;
    saved_ui = qx_get_ui_hooks();
    UiRecord::install();
    qx_init_destination_lists();
    for (auto& l : listeners) {
      int index = -1;
      std::string text;
      ASSERT_EQ(qx_add_destination("127.0.0.1", l.sock.port, &index, &text, 0), 1);
    }
    qx_reset_destinations();
    qx_set_diffusion_flag(1);
    drain_all();
  }
  void down() {
    set_gblerr(0);  // the store frees nothing while an error is set
    qx_players_reset();
    qx_set_diffusion_flag(0);
    qx_free_destination_lists();
    get_command_hooks() = saved_hooks;
    qx_get_ui_hooks() = saved_ui;
    Posts::instance() = nullptr;
    UiRecord::instance() = nullptr;
    plat::use_virtual_clock(false);
  }
  // What the first listener received; the others must have received the same.
  std::vector<std::string> wire() {
    std::vector<std::string> first = listeners[0].take(0, 0);
    for (size_t i = 1; i < std::size(listeners); ++i) EXPECT_EQ(listeners[i].take(0, 0), first);
    return first;
  }
  void drain_all() {
    for (auto& l : listeners) l.drain();
  }

  Posts posts;
  UiRecord ui;
  command_hooks saved_hooks;
  qx_ui_hooks saved_ui;
  Listener listeners[2];
};

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    env_.up();
  }
  void TearDown() override {
    env_.down();
    for (replay_point* p : points_) {
      std::free(p->text);
      delete p;
    }
    obj_t* track = track_;
    free_obj(&track);
  }

  static std::string point_text(size_t i) { return "P" + std::to_string(i) + "\r\n"; }

  // A track of points in the given order of the list; the indexes sort them.
  container_t* make_track(const std::vector<PointAt>& places) {
    obj_list_new(&track_);
    for (size_t i = 0; i < places.size(); ++i) {
      auto* p = new replay_point{};
      p->id = int32_t(1000 + i);
      p->cls = CLS_REPLAY_POINT;
      const std::string t = point_text(i);
      p->text = static_cast<char*>(std::malloc(t.size() + 1));
      std::memcpy(p->text, t.c_str(), t.size() + 1);
      p->length = int32_t(t.size());
      p->time = places[i].seconds / 86400.0;
      p->distance = places[i].metres;
      p->course = NULL_DOUBLE;
      points_.push_back(p);
      obj_list_append(track_, p);
    }
    return track_;
  }
  // Points every `step_s` seconds and `step_m` metres.
  container_t* make_even_track(size_t n, double step_s, double step_m) {
    std::vector<PointAt> places;
    for (size_t i = 0; i < n; ++i) places.push_back({double(i) * step_s, double(i) * step_m});
    return make_track(places);
  }
  int create_player(container_t* track) {
    int index = -1;
    EXPECT_EQ(qx_player_create(nullptr, track, &index, "track.nmea"), 0);
    return index;
  }
  std::vector<std::string> wire() { return env_.wire(); }
  void drain_all() { env_.drain_all(); }

  WireEnv env_;
  Posts& posts_ = env_.posts;
  UiRecord& ui_ = env_.ui;
  container_t* track_ = nullptr;
  std::vector<replay_point*> points_;
};

}  // namespace qx_test
