// What the replay engine's files share: the engine state behind one recursive lock.
// Only quellix/qx_player*.cpp include it.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "quellix/qx_player.h"
#include "quellix/replay_point.h"

// What the live hooks leave for the window thread to show (command 10).
struct qx_live_display {
  bool state = false;      // refresh the player's display
  bool point = false;      // show the live point
  bool sentence = false;   // show `sentence_text` in the NMEA box
  bool status = false;     // show `status_text` in the title
  std::string sentence_text;
  std::string status_text;
};

struct qx_engine {
  std::recursive_mutex lock;
  std::vector<qx_player*> players;            // owned
  int current = -1;
  std::atomic<bool> has_current{false};       // mirror of current, read by the markers
  std::atomic<int> diffusion{0};
  replay_point* last_timer_point = nullptr;   // the point the tick sent last
  int64_t last_timer_run = -1;                // the run it was sent in
  int64_t run_counter = 0;
  // Live navigation.
  replay_point* live_point = nullptr;         // owned
  int live_index = -1;
  int navigating = 0;
  double last_fix_time = -1e9;                // -1e9: no fix yet
  int64_t live_start_ms = 0;
  double live_distance = 0.0;
  double prev_latitude = 0.0;
  double prev_longitude = 0.0;
  std::string port_name;
  qx_live_display pending;
};

qx_engine& qx_engine_state();
// With the lock held.
qx_player* qx_current_locked();
void qx_select_locked(int index);
int qx_append_player_locked(qx_player* p);
void qx_live_reset_locked();
