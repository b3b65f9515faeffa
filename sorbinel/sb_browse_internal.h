// What the browsing files share: the lists and the browse position, the animation's
// frame delay and loop counter, and the steps of the walk that more than one file calls.
#pragma once
#include <cstdint>

struct container_t;
struct fileatt_t;
struct img_frame_t;

struct sb_browse_state {
  container_t* queue = nullptr;     // files waiting: sorted by name, then id
  container_t* list = nullptr;      // the browsing list: sorted by key name, then id
  container_t* aside = nullptr;     // files set aside: sorted by key name
  fileatt_t* position = nullptr;    // copy of the file last taken from the list
  int64_t frame_delay_ms = 0;       // the animation's current frame delay
  int loop_counter = 0;             // loops left (65535: without end)
  int busy = 0;                     // a walk is being prepared
};
sb_browse_state& sb_browse();

constexpr int kSbLoopForever = 65535;

// Takes the file out of the browsing list into the set-aside list and releases its
// content; the shown file stops being shown.
void sb_set_aside(fileatt_t* file);
// 1 when the set-aside list holds the file's key name.
int sb_is_set_aside(const fileatt_t* file);
// Re-keys the file and puts it into the browsing list, unless it is there already or
// set aside.
void sb_list_add(fileatt_t* file);
// The browse position becomes the file before `file` in the walking direction, so that
// the next walk starts with it; no file is shown.
void sb_browse_restart_at(fileatt_t* file);
// Loads and shows a candidate of the walk: 1 when the walk must go on (a folder's files
// joined the list), 0 when it ends here (shown, or the failure shown).
int sb_load_and_show(fileatt_t* file);
// The files of a folder (one level, without "." and "..") into the browsing list; the
// folder is set aside and the browse restarts at the first of them.
void sb_expand_folder(fileatt_t* folder);
// The frame record of an image number among the file's objects, or null.
img_frame_t* sb_frame_of_page(fileatt_t* file, int page);
// Tries to start the animation of the shown file at its first page.
void sb_animation_start(fileatt_t* file);
