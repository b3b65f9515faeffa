// The main window's routines that the replay engine, the destination lists and the data
// builders call: the engine lies below the window and reaches it only through this table,
// which the shell fills at start-up. An empty slot does nothing, so the engine runs
// without a window in tests.
#pragma once

struct replay_point;

struct qx_ui_hooks {
  // Shows the current player: mode, factor or speed, play and loop buttons, title status,
  // current point (after every change of the current player).
  void (*show_replay_state)() = nullptr;
  // Shows a point: position trackbar, NMEA box and the value fields.
  void (*show_position)(const replay_point* point, double total_distance) = nullptr;
  // Disables (locked != 0) or enables the file controls and file dropping.
  void (*lock_file_controls)(int locked) = nullptr;
  // Enables or disables the value fields, trackbars and replay buttons together.
  void (*set_replay_controls)(int on) = nullptr;
  // Releases the forward and backward push buttons.
  void (*release_play_buttons)() = nullptr;
  // Adds a loaded file to the file combo box with its player index, and selects it.
  void (*add_loaded_file)(const char* name, int player_index) = nullptr;
  // Shows a sentence text in the NMEA box.
  void (*show_sentence)(const char* text) = nullptr;
  // Sets the status part of the title ("" clears it).
  void (*show_status)(const char* text) = nullptr;
};

qx_ui_hooks& qx_get_ui_hooks();
