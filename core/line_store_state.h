// Process-wide state of the line store, shared by line_store*.cpp and swap_index*.cpp
// and nothing else.
//
// One lock guards the state below and every store's tables: the redraw on
// the user-interface thread and the running task both reach lines. A public routine
// takes a `guard` for its whole run; routines of this header expect it held. Requests
// to call a hook (show the swap size, queue the swap index for saving) are noted while
// the lock is held and run when the outermost guard has released it, so that no hook
// ever runs under the lock.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/obj_list.h"

namespace ls_detail {

class guard {
 public:
  guard();
  ~guard();
  guard(const guard&) = delete;
  guard& operator=(const guard&) = delete;
};

// Hook requests, run when the outermost guard is released.
void defer_show_size();
void defer_queue_index();

// One entry of the use list: a line of a store; a null store is a hole.
struct use_pair {
  filemobj_t* store;
  int64_t line;
};

// A cached swap file: the file of one store, with the byte position the stream is at
// (-1 unknown), so that sequential access skips the seek.
struct swap_file {
  std::FILE* fp = nullptr;
  const filemobj_t* store = nullptr;
  int32_t store_id = 0;
  int64_t file = -1;
  int64_t pos = -1;
};

constexpr int32_t kFirstGeneration = 8;
constexpr int32_t kFirstThreshold = 2;
constexpr int32_t kFirstFloor = 3;
constexpr int32_t kStepLength = 2000;           // S: counter steps per generation
constexpr int32_t kGenerationWrap = 100000000;  // G beyond this starts again low

struct state {
  // Use list, in order of last use, with its holes and the eviction scan's resume
  // position; a compaction in progress keeps where it reads and writes.
  std::vector<use_pair> uses;
  int64_t holes = 0;
  int64_t resume = 0;
  bool compacting = false;
  int64_t compact_read = 0;
  int64_t compact_write = 0;
  // Generation counters: G, threshold T, floor F, step counter N.
  int32_t generation = kFirstGeneration;
  int32_t threshold = kFirstThreshold;
  int32_t floor = kFirstFloor;
  int32_t steps = 0;
  bool budget_mode = false;
  // Bytes of line blocks in memory, and the memory budget last read from the system
  // with the bytes held at that moment (see line_store_evict.cpp).
  int64_t held = 0;
  bool budget_known = false;
  double budget_read = 0;
  int64_t held_at_read = 0;
  int64_t allocs_since_read = 0;
  int64_t read_ms = 0;
  // The cached write and read files.
  swap_file wfile;
  swap_file rfile;
  // The swap index (swap_index.cpp).
  container_t* by_path = nullptr;
  container_t* by_name = nullptr;
};

state& st();

// ---- Tables (line_store.cpp) ---------------------------------------------------------
// Makes the store hold at least n lines; 0, or -1 when a table would grow too large.
int ensure_lines(filemobj_t* s, int64_t n);
// Lines per swap file for a line size: 2^30 / line size, at least 1.
int64_t lines_per_file_for(int32_t line_size);
// Makes the file tables cover every line.
void ensure_files(filemobj_t* s);

// ---- Use list and eviction (line_store_evict.cpp) -------------------------------------
void stamp_line(filemobj_t* s, int64_t i);
void touch_line(filemobj_t* s, int64_t i);  // stamps when the mode says so
void release_line(filemobj_t* s, int64_t i);
void make_room(double size);
void evict(double size);
// Takes account of a line block newly in memory.
void note_line_allocated(int64_t bytes);
void compact_steps(int64_t limit);
void reset_eviction();

// ---- Swap files (line_store_swap.cpp) ------------------------------------------------
// Path of swap file f of a store (owned string), or null when it has none.
char* swap_file_path(const filemobj_t* s, int64_t f);
// Writes line `line` (alone, or with the unsaved lines of its block of 100) when it is
// in memory and unsaved. Lines of the block other than `line` stamped at or after
// `spare_from` are left alone: whoever fetched them recently may still be writing into
// them, and a line taken as saved would later be released without its last bytes.
void write_lines(filemobj_t* s, int64_t line, bool single, int32_t spare_from);
void read_line(filemobj_t* s, int64_t i, uint8_t* block);
void close_files_of(const filemobj_t* s);
void close_all_files();
void delete_swap(filemobj_t* s);
void write_all(filemobj_t* s);
// Forgets the swap total, the other-instance flag and the disk probe.
void reset_swap_state();

// ---- Swap index (swap_index*.cpp) ----------------------------------------------------
// What identifies the source of a cached store.
struct source_key {
  std::string path;
  double start = 0;
  double size = 0;
  double date = 0;
};
// Read through the file operations: call it without the lock held.
source_key source_key_of(obj_t* file);
// Path of the saved table ("mof2.sot" in the reduced-image folder), or "".
std::string swap_index_path();
void reset_swap_index();
// A new record under `name` in both indexes (null without indexes).
memobjfile_t* create_record(const char* name, const source_key& key);
// A new record under the next free name.
memobjfile_t* next_name_record(const source_key& key);
void rotate_cache();
// 1 when a live line store is cached under the record.
bool record_in_use(const memobjfile_t* r);

}  // namespace ls_detail
