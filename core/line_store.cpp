// Line stores: creation, the per-line tables, release, accessors, the process-wide
// lock and the reset used by tests.
//
// A store's tables (line blocks, states, stamps, use positions) grow geometrically so
// that a byte stream that adds line after line does not copy them each time; the line
// count says how many entries are in use. Every public routine runs under the one
// lock of the line store (line_store_state.h).
#include <atomic>
#include <cstring>
#include <mutex>

#include "core/config.h"
#include "core/error.h"
#include "core/file_info.h"
#include "core/file_ops.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/line_store_state.h"
#include "core/memory.h"
#include "core/swap_index.h"

namespace ls_detail {
namespace {

// A plain mutex with the nesting counted per thread: routines of the line store call
// one another, and only the outermost guard takes and releases the lock.
std::mutex g_mutex;
thread_local int t_depth = 0;
thread_local bool t_show_size = false;
thread_local bool t_queue_index = false;

state g_state;

// Each per-line table entry: block pointer, state, stamp and use position.
constexpr int64_t kLineEntryMax = 8;
constexpr double kTableBytesPerLine = sizeof(uint8_t*) + 1 + sizeof(int32_t) + sizeof(int64_t);
// Tables stay within the largest block the memory wrappers hand out.
constexpr int64_t kMaxLines = int64_t(kMaxBlock) / kLineEntryMax;

// A line number read from a damaged file must not make tables beyond the memory the
// program may ever use ("MAXMEM"): such a growth fails instead.
bool tables_fit(int64_t n) {
  return n <= kMaxLines && double(n) * kTableBytesPerLine <= config_maxmem();
}

template <class T> void grow_table(T** owner, int64_t old_cap, int64_t new_cap) {
  T* table = realloc_mem(owner, size_t(new_cap) * sizeof(T));
  std::memset(table + old_cap, 0, size_t(new_cap - old_cap) * sizeof(T));
}

int grow_capacity_to(filemobj_t* s, int64_t n) {
  const int64_t cap = s->capacity;
  if (n <= cap) return 0;
  if (!tables_fit(n)) return -1;
  int64_t want = cap < 16 ? 16 : cap * 2;
  if (want < n || !tables_fit(want)) want = n;
  grow_table(&s->lines, cap, want);
  grow_table(&s->states, cap, want);
  grow_table(&s->stamps, cap, want);
  grow_table(&s->uses, cap, want);
  s->capacity = want;
  return 0;
}

// Lines held by swap file f of a store whose lines are all written.
int64_t lines_in_file(const filemobj_t* s, int64_t f) {
  const int64_t left = s->line_count - f * s->lines_per_file;
  return left < s->lines_per_file ? left : s->lines_per_file;
}

// The cached files hold every line of this very shape: a file cut short, or written
// for another line size, would give lines of another image.
bool cached_files_complete(const filemobj_t* s) {
  for (int64_t f = 0; f < s->file_count; ++f) {
    char* path = swap_file_path(s, f);
    int type = 0;
    int64_t size = -1;
    if (path) file_info(path, &type, &size, nullptr);
    free_mem(&path);
    if (type != FILE_TYPE_LOCAL || size != lines_in_file(s, f) * int64_t(s->line_size)) return false;
  }
  return true;
}

// A store cached in the reduced-image folder whose files are complete: its lines are
// read from them rather than computed again.
void mark_cached_lines_saved(filemobj_t* s) {
  memobjfile_t* rec = s->swap_record;
  if (!rec || !rec->ondisk) return;
  if (!cached_files_complete(s)) {
    rec->ondisk = 0;  // the record no longer describes a cached store
    return;
  }
  std::memset(s->states, kLineSaved, size_t(s->line_count));
  for (int64_t f = 0; f < s->file_count; ++f) s->file_lines[f] = lines_in_file(s, f);
}

void free_tables(filemobj_t* s) {
  char** prefixes = s->file_prefix;
  for (int64_t f = 0; prefixes && f < s->file_count; ++f) free_mem(&prefixes[f]);
  free_mem(&s->file_prefix);
  free_mem(&s->file_lines);
  free_mem(&s->lines);
  free_mem(&s->states);
  free_mem(&s->stamps);
  free_mem(&s->uses);
  s->capacity = 0;
  s->file_count = 0;
  s->line_count = 0;
}

}  // namespace

guard::guard() {
  if (t_depth++ == 0) g_mutex.lock();
}

guard::~guard() {
  if (--t_depth > 0) return;
  const bool show = t_show_size;
  const bool queue = t_queue_index;
  t_show_size = t_queue_index = false;
  std::string path;
  obj_t* index = nullptr;
  if (queue) {
    path = swap_index_path();
    index = reinterpret_cast<obj_t*>(g_state.by_path);
  }
  g_mutex.unlock();
  if (show) swap_show_size();
  const line_store_hooks& hooks = get_line_store_hooks();
  if (queue && index && !path.empty() && hooks.savfile_queue) hooks.savfile_queue(path.c_str(), index);
}

void defer_show_size() { t_show_size = true; }
void defer_queue_index() { t_queue_index = true; }

state& st() { return g_state; }

// Line i of every store lies in swap file i / lines_per_file at position
// i % lines_per_file. The value depends on the line size alone, fixed when the store
// is made (or flattened), never on the line count: a byte stream swapped out while it
// still grows thus finds every line where it was written. A line of more than 2^30
// bytes gets a file of its own (never 0 lines per file).
int64_t lines_per_file_for(int32_t line_size) {
  const int64_t lpf = line_size > 0 ? (int64_t(1) << 30) / line_size : 1;
  return lpf > 0 ? lpf : 1;
}

void ensure_files(filemobj_t* s) {
  const int64_t lpf = s->lines_per_file;
  const int64_t needed = (s->line_count + lpf - 1) / lpf;
  const int64_t have = s->file_count;
  if (needed <= have) return;
  grow_table(&s->file_lines, have, needed);
  grow_table(&s->file_prefix, have, needed);
  s->file_count = needed;
}

int ensure_lines(filemobj_t* s, int64_t n) {
  const int64_t count = s->line_count;
  if (n <= count) return 0;
  if (grow_capacity_to(s, n) != 0) return -1;
  // Entries past the count may hold old values (a flattened store): start them afresh.
  const uint8_t fresh = s->flags == -1 ? kLineDiscardable : kLineUnsaved;
  std::memset(s->states + count, fresh, size_t(n - count));
  uint8_t** lines = s->lines;
  int32_t* stamps = s->stamps;
  int64_t* uses = s->uses;
  for (int64_t i = count; i < n; ++i) {
    lines[i] = nullptr;
    stamps[i] = 0;
    uses[i] = 0;
  }
  s->line_count = n;
  ensure_files(s);
  return 0;
}

}  // namespace ls_detail

using namespace ls_detail;

line_store_hooks& get_line_store_hooks() {
  static line_store_hooks hooks;
  return hooks;
}

void line_store_register() {
  obj_register_class(kLineStoreClass, int(sizeof(filemobj_t)), nullptr);
  obj_set_free_callback(kLineStoreClass, filemobj_free);
  swap_index_register();
}

int filemobj_create(obj_t* owner, obj_t* file, int64_t line_count, int32_t line_size,
                    int mode, filemobj_t** out) {
  if (out) *out = nullptr;
  if (!out || line_size <= 0 || line_count < 0) return -1;
  memobjfile_t* record = nullptr;
  const line_store_hooks& hooks = get_line_store_hooks();
  if (mode == 2 && hooks.is_rgb_bitmap && hooks.is_rgb_bitmap(owner))
    swap_record_for(&record, file);
  filemobj_t* s = nullptr;
  obj_new_registered(kLineStoreClass, &s);
  if (!s) return -1;
  bool made = false;
  {
    guard g;
    s->owner = owner;
    s->line_size = line_size;
    s->flags = mode == 3 ? -1 : 0;
    // Two live stores writing one cache file would undo each other's lines: while the
    // file is not complete, a second store of the same source swaps as usual.
    if (record && !record->ondisk && record_in_use(record)) record = nullptr;
    s->swap_record = record;
    s->lines_per_file = lines_per_file_for(line_size);
    s->next_read_line = -1;
    made = ensure_lines(s, line_count) == 0;
    if (made) mark_cached_lines_saved(s);
  }
  if (!made) {
    free_obj(&s);
    return -1;
  }
  *out = s;
  return 0;
}

void filemobj_free(obj_t* obj) {
  if (!obj) return;
  auto* s = reinterpret_cast<filemobj_t*>(obj);
  guard g;
  close_files_of(s);
  // First line first: the lines were taken from the heap in that order, so the heap's top
  // is reached last and given back to the system once, not trimmed again every few lines.
  for (int64_t i = 0; i < s->line_count; ++i) release_line(s, i);
  delete_swap(s);
  free_tables(s);
}

int filemobj_add_line(filemobj_t* s) {
  if (!s) return -1;
  guard g;
  return ensure_lines(s, s->line_count + 1);
}

int64_t filemobj_data_size(const filemobj_t* s) {
  if (!s) return 0;
  guard g;
  return s->data_size;
}

int64_t filemobj_line_count(const filemobj_t* s) {
  if (!s) return 0;
  guard g;
  return s->line_count;
}

int32_t filemobj_line_size(const filemobj_t* s) {
  if (!s) return 0;
  guard g;
  return s->line_size;
}

obj_t* filemobj_owner(const filemobj_t* s) {
  if (!s) return nullptr;
  guard g;
  return s->owner;
}

void line_store_reset() {
  guard g;
  close_all_files();
  reset_swap_index();
  state& gs = st();
  gs.uses.clear();
  gs.uses.shrink_to_fit();
  reset_eviction();
  reset_swap_state();
  line_store_set_budget_probe(nullptr);
  app_set_closing(0);
}
