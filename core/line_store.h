// The line store: a large buffer held as numbered lines of equal size (class 25).
//
// Lines are allocated on first use; lines not used recently are written to swap files
// and released, so that the images and streams of a run can exceed the memory budget.
// A store serves either as an array of image lines (fixed count) or as a byte stream
// (lines added as bytes are appended, with a data size). Reduced images can be kept
// across runs in a persistent cache folder described by the swap index "mof2.sot".
//
// Sizes, offsets and line numbers are 64-bit; a line is at most 2 GiB.
//
// The record layout is in line_store_record.h. line_store.cpp creates and frees
// stores, line_store_access.cpp reads and writes their bytes, line_store_evict.cpp
// keeps the use list and evicts, line_store_swap.cpp writes and reads the swap files;
// the persistent cache index is swap_index.h / swap_index*.cpp.
//
// Threads: the user-interface thread's redraw and the running task both reach lines,
// so every routine here runs under one process-wide lock, taken for the length of the
// call only; hooks are called with the lock released. The lock is never held while a
// caller uses a line address.
//
// Line addresses: an address returned here stays valid until its line is released.
// A line is released by filemobj_release_line, filemobj_write_all(_stores),
// filemobj_flatten, filemobj_free, or by eviction, and eviction runs only inside a
// call that may bring a line into memory (filemobj_get_line, _span, _read_ptr,
// _append, _owner_append, _put_byte, _copy_back, _make_room, _evict, _evict_old), made
// by any thread. So an address is safe until the next such call; it stays safe across
// such calls only while its line counts among those used in the last F generations
// (the floor), which eviction never touches: in generation mode a line is stamped at
// each use, in budget mode only at its first use. A caller that writes into a line
// over many calls raises the floor (filemobj_set_min_generation) or fetches the
// address again. A caller that reads a line over many calls may instead note
// filemobj_released_lines() before it fetches the address, and fetch it again whenever
// that count has moved: while it stands still no line block has been freed.
#pragma once
#include <atomic>
#include <cstdint>

#include "core/object.h"

struct filemobj_t;  // class 25 record (defined in line_store_record.h)

constexpr int kLineStoreClass = 25;
constexpr int kSwapRecordClass = 28;  // `memobjfile`

// ---- Creation and release -------------------------------------------------------------
// mode: 0 ordinary, 2 cached in the reduced-image folder when the owner is a 24-bit
// bitmap (a store whose cache file is complete reads its lines from that file), 3
// discardable (lines are never written to swap). Returns 0, or -1 when the line size
// is not above 0 or a table cannot be made (*out null).
int filemobj_create(obj_t* owner, obj_t* file, int64_t line_count, int32_t line_size,
                    int mode, filemobj_t** out);
// Adds one line; 0, or -1 when the tables cannot grow.
int filemobj_add_line(filemobj_t* store);
// Registers class 25 with its free routine (and class 28 for the swap index).
void line_store_register();
// Free routine of class 25: closes the cached files of the store, releases its lines,
// deletes its swap files and frees its tables.
void filemobj_free(obj_t* store);

// ---- Access -----------------------------------------------------------------------------
// Address of line i (lines are added until it exists); null on failure.
uint8_t* filemobj_get_line(filemobj_t* store, int64_t i, int read_only);
// Write access to bytes from offset: *count is cut to the end of the line that holds it;
// the data size grows to offset + *count.
uint8_t* filemobj_span(filemobj_t* store, int64_t offset, int64_t* count);
// Read access: *count is cut to the data size and to the end of the line; no line added.
const uint8_t* filemobj_read_ptr(filemobj_t* store, int64_t offset, int64_t* count);
// Appends bytes at the data size; 0, or -1 when a line cannot be had.
int filemobj_append(filemobj_t* store, const void* bytes, int64_t count);
int filemobj_owner_append(obj_t* owner_file, const void* bytes, int64_t count);
int filemobj_put_byte(filemobj_t* store, uint8_t byte);
// Appends `count` bytes copied from `distance` bytes before the current end; a count
// above the distance repeats the bytes just copied (a Deflate run). -1, with nothing
// added, when the distance is not above 0 or reaches before the start of the data.
int filemobj_copy_back(filemobj_t* store, int64_t distance, int64_t count);
// A byte stream read once from start to end (data gathered, then consumed in order):
// with `on`, each filemobj_read_ptr releases the lines wholly before the offset it
// reads, unwritten; memory freed by the reading is there for what the reader makes
// meanwhile. The lines released read again as zeros. Off again with 0.
void filemobj_set_read_once(filemobj_t* store, int on);
// A store of more than one line becomes one line holding its whole data.
int filemobj_flatten(filemobj_t* store);

// Number of line blocks freed since the program started, by any store and any thread
// (it only grows). One atomic load: cheap enough to test before each read through a
// line address kept across calls.
namespace ls_detail {
extern std::atomic<uint64_t> g_released_lines;
}
inline uint64_t filemobj_released_lines() {
  return ls_detail::g_released_lines.load(std::memory_order_acquire);
}

int64_t filemobj_data_size(const filemobj_t* store);
int64_t filemobj_line_count(const filemobj_t* store);
int32_t filemobj_line_size(const filemobj_t* store);
obj_t* filemobj_owner(const filemobj_t* store);

// ---- Writing, eviction and the process-wide state ------------------------------------
void swap_write_lines(filemobj_t* store, int64_t line, int single);
void filemobj_write_all(filemobj_t* store);
void filemobj_write_all_stores();
// Path of the single swap file holding the whole store (owned: free_mem), or null.
char* filemobj_flush_named(filemobj_t* store);
void filemobj_release_line(filemobj_t* store, int64_t i);
void filemobj_evict(double size);
void filemobj_make_room(double size);
void filemobj_evict_old();
void filemobj_set_budget_eviction(int on);
void filemobj_set_min_generation(int64_t n);
int32_t filemobj_min_generation();
void filemobj_compact_use_list();
void filemobj_delete_swap(filemobj_t* store);

void swap_init();
void swap_close_files();
void swap_show_size();
double swap_total_bytes();

void app_set_closing(int on);
int app_is_closing();
int app_is_other_instance();

// ---- For tests only ---------------------------------------------------------------------
// Nothing in the programs calls these: they let a test age lines, choose the memory
// budget and the free disk space, and start again from a clean state.
//
// Forgets the process-wide state (use list, counters, cached files, the swap index
// with its records, the probes below). Call it before the object store is reset.
void line_store_reset();
// Current generation G, and setting it (the step counter returns to 0).
int32_t filemobj_generation();
void line_store_set_generation(int32_t generation);
// Bytes of line blocks currently in memory, over every store.
int64_t line_store_held_bytes();
// Source of the memory budget (null: compute_mem_budget).
using line_store_budget_fn = double (*)();
void line_store_set_budget_probe(line_store_budget_fn fn);
// Free bytes of the file system holding a folder, -1 unknown (null: the platform's).
// It is asked about the nearest existing folder of the swap files' folder.
using line_store_disk_free_fn = int64_t (*)(const char* folder);
void line_store_set_disk_free_probe(line_store_disk_free_fn fn);

// ---- Hooks to subsystems above the core ------------------------------------------------
// Filled by those subsystems when they start; null slots do nothing.
struct line_store_hooks {
  // Reads a saved table file into a class list index (the swap index "mof2.sot").
  int (*savfile_read)(const char* path, obj_t* index) = nullptr;
  // Queues an index to be saved to a file at exit.
  void (*savfile_queue)(const char* path, obj_t* index) = nullptr;
  // Shows a short text through the progress pulse.
  void (*progress_text)(const char* text) = nullptr;
  // 1 when the user has work pending (the compaction of the use list then stops early).
  int (*user_work_pending)() = nullptr;
  // Ends the views of images read through the outside ECW library (exit).
  void (*close_ecw_views)() = nullptr;
  // 1 when `owner` is a 24-bit bitmap (mode 2 caches only those).
  int (*is_rgb_bitmap)(obj_t* owner) = nullptr;
};
line_store_hooks& get_line_store_hooks();
