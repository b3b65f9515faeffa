// Swap files of the line store: writing lines out, reading them back, deleting the
// files, and the process-wide flags and counters of the swap.
//
// Swap file f of a store is named from the temporary-files prefix, the store id and f
// ("<prefix><id>_<f>"); a store cached in the reduced-image folder uses its record's
// path instead (with "_<f>" after it for files past the first). Each file remembers
// the prefix it was created under: when low disk space drops the temporary-files
// setting, later files go to the default folder while the lines already written keep
// being found where they are.
//
// One write file and one read file stay open between calls, so that sequential
// access neither reopens nor seeks. A file is created ("wb") only while it holds no
// line; once it holds lines it is opened for update ("r+b") and every write is
// positioned, so no reopening can ever truncate lines that were written and released,
// and a line after a short last line of a byte stream still lands at its own place.
// Lines written count as saved (and in the swap total) only once their file has been
// flushed without error; the write file is flushed before another file is opened, so
// no line is ever taken as saved on the word of an unchecked close.
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/line_store_state.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/swap_index.h"
#include "platform/sys/sysinfo.h"

namespace ls_detail {
namespace {

// Below this much free space (0.1 MB) the temporary-files setting is dropped.
constexpr int64_t kLowDiskBytes = 104857;
constexpr int64_t kWriteBlock = 100;

std::atomic<double> g_swap_total{0};
std::atomic<int> g_closing{0};
std::atomic<int> g_other_instance{0};
std::atomic<line_store_disk_free_fn> g_disk_probe{nullptr};

// The folder itself when it exists, else the nearest folder above it that does (the
// swap files' folder is made only when the first of them is opened); "" when the path
// is not absolute or no part of it exists.
std::string nearest_existing_folder(const char* folder) {
  if (!path_is_absolute(folder)) return "";
  std::string existing = folder;
  while (!path_is_dir(existing.c_str())) {
    const size_t end = existing.find_last_not_of("/\\");
    const size_t cut = end == std::string::npos ? end : existing.find_last_of("/\\", end);
    if (cut == std::string::npos) return "";
    existing.resize(cut + 1);  // each turn removes one name at least
  }
  return existing;
}

// Free bytes of the file system a folder is (or will be) on, asked as the core's
// disk-space query asks (absolute paths, through the nearest existing folder), but
// with -1 when they cannot be read: the query's 0 for a failure would read as a full
// disk, and a failed reading must never drop the temporary-files setting.
int64_t disk_free(const char* folder) {
  const std::string existing = nearest_existing_folder(folder);
  if (existing.empty()) return -1;
  const line_store_disk_free_fn probe = g_disk_probe.load(std::memory_order_acquire);
  return probe ? probe(existing.c_str()) : plat::disk_free_bytes(existing.c_str());
}

void close_file(swap_file& f) {
  if (f.fp) std::fclose(f.fp);
  f = swap_file{};
}

bool file_of(const swap_file& f, const filemobj_t* s) {
  return f.fp && f.store == s && f.store_id == s->id;
}

// Free space unknown (-1) counts as enough.
void drop_temp_dir_when_disk_low(const char* prefix) {
  char* folder = nullptr;
  path_folder(prefix, &folder);
  const int64_t free_bytes = folder ? disk_free(folder) : -1;
  free_mem(&folder);
  if (free_bytes >= 0 && free_bytes < kLowDiskBytes) config_temp_dir_set(nullptr, nullptr);
}

std::FILE* open_with_folders(const char* path, const char* mode) {
  std::FILE* fp = std::fopen(path, mode);
  if (fp) return fp;
  char* folder = nullptr;
  path_folder(path, &folder);
  if (folder) path_make_dirs(folder);
  free_mem(&folder);
  return std::fopen(path, mode);
}

// The prefix a file of a store is written under: the one it was made under once it
// holds lines, else the current one (after the low-disk rule has had its say).
bool choose_prefix(filemobj_t* s, int64_t f, std::string* prefix) {
  char** prefixes = s->file_prefix;
  if (s->file_lines[f] > 0 && prefixes[f]) {
    *prefix = prefixes[f];
    return true;
  }
  const char* current = get_temp_dir();
  if (!current) return false;
  drop_temp_dir_when_disk_low(current);
  current = get_temp_dir();
  if (!current) return false;
  *prefix = current;
  return true;
}

std::string prefixed_path(const std::string& prefix, const filemobj_t* s, int64_t f) {
  return prefix + std::to_string(s->id) + "_" + std::to_string(f);
}

// The write file for swap file f of a store, opened when needed.
std::FILE* open_for_write(filemobj_t* s, int64_t f) {
  state& g = st();
  if (file_of(g.rfile, s)) close_file(g.rfile);
  if (file_of(g.wfile, s) && g.wfile.file == f) return g.wfile.fp;
  close_file(g.wfile);
  const bool fresh = s->file_lines[f] == 0;
  std::string path;
  std::string prefix;
  if (s->swap_record) {
    char* p = swap_file_path(s, f);
    if (!p) return nullptr;
    path = p;
    free_mem(&p);
  } else {
    if (!choose_prefix(s, f, &prefix)) return nullptr;
    path = prefixed_path(prefix, s, f);
  }
  std::FILE* fp = open_with_folders(path.c_str(), fresh ? "wb" : "r+b");
  if (!fp) return nullptr;
  if (!s->swap_record && fresh) {
    char** prefixes = s->file_prefix;
    str_set(prefix.c_str(), &prefixes[f]);
  }
  g.wfile = swap_file{fp, s, s->id, f, fresh ? 0 : -1};
  return fp;
}

// Bytes of line i that hold data: the whole line, cut for a byte stream at its size.
int64_t bytes_to_write(const filemobj_t* s, int64_t i) {
  const int64_t ls = s->line_size;
  if (s->data_size <= 0) return ls;
  const int64_t left = s->data_size - i * ls;
  return left < 0 ? 0 : (left < ls ? left : ls);
}

// Writes line i into the write file (not yet flushed); false when the file is closed.
bool write_one_line(filemobj_t* s, int64_t i) {
  const int64_t f = i / s->lines_per_file;
  const int64_t p = i % s->lines_per_file;
  std::FILE* fp = open_for_write(s, f);
  if (!fp) return false;
  swap_file& w = st().wfile;
  const int64_t offset = p * int64_t(s->line_size);
  const int64_t size = bytes_to_write(s, i);
  if (w.pos != offset && std::fseek(fp, long(offset), SEEK_SET) != 0) {
    close_file(w);
    return false;
  }
  if (size > 0 && std::fwrite(s->lines[i], 1, size_t(size), fp) != size_t(size)) {
    close_file(w);
    return false;
  }
  w.pos = offset + size;
  int64_t* files = s->file_lines;
  if (files[f] < p + 1) files[f] = p + 1;
  return true;
}

// The lines of one file written since the last flush become saved when the flush
// succeeds; after a failure (the file already closed) they stay unsaved, in memory.
void confirm_batch(filemobj_t* s, std::vector<int64_t>* batch) {
  if (batch->empty()) return;
  swap_file& w = st().wfile;
  if (w.fp && std::fflush(w.fp) == 0) {
    for (int64_t i : *batch) {
      s->states[i] = kLineSaved;
      g_swap_total.fetch_add(double(bytes_to_write(s, i)));
    }
  } else {
    close_file(w);
  }
  batch->clear();
}

bool every_line_saved(const filemobj_t* s) {
  return std::memchr(s->states, kLineUnsaved, size_t(s->line_count)) == nullptr;
}

void mark_record_on_disk(filemobj_t* s) {
  memobjfile_t* rec = s->swap_record;
  if (!rec || rec->ondisk || !every_line_saved(s)) return;
  rec->ondisk = 1;
  defer_queue_index();
}

}  // namespace

char* swap_file_path(const filemobj_t* s, int64_t f) {
  char* path = nullptr;
  if (s->swap_record) {
    const char* full = s->swap_record->full_path;
    if (!full) return nullptr;
    str_set(full, &path);
    if (f > 0) {
      str_cat("_", &path);
      str_cat_long(f, &path);
    }
    return path;
  }
  if (f < 0 || f >= s->file_count || !s->file_prefix[f]) return nullptr;
  str_set(prefixed_path(s->file_prefix[f], s, f).c_str(), &path);
  return path;
}

void write_lines(filemobj_t* s, int64_t line, bool single, int32_t spare_from) {
  if (line < 0 || line >= s->line_count || !s->lines[line]) return;
  if (s->states[line] != kLineUnsaved || !get_temp_dir()) return;
  int64_t first = line;
  int64_t last = line;
  if (!single) {
    first = kWriteBlock * (line / kWriteBlock);
    last = first + kWriteBlock - 1 < s->line_count - 1 ? first + kWriteBlock - 1 : s->line_count - 1;
  }
  std::vector<int64_t> batch;
  int64_t batch_file = -1;
  for (int64_t i = first; i <= last; ++i) {
    if (!s->lines[i] || s->states[i] != kLineUnsaved) continue;
    if (i != line && s->stamps[i] >= spare_from) continue;
    const int64_t f = i / s->lines_per_file;
    if (f != batch_file) confirm_batch(s, &batch);
    batch_file = f;
    if (write_one_line(s, i)) {
      batch.push_back(i);
    } else {
      confirm_batch(s, &batch);  // the file was closed unchecked: none of them is sure
    }
  }
  confirm_batch(s, &batch);
  mark_record_on_disk(s);
  defer_show_size();
}

void read_line(filemobj_t* s, int64_t i, uint8_t* block) {
  state& g = st();
  const size_t ls = size_t(s->line_size);
  const int64_t f = i / s->lines_per_file;
  const int64_t p = i % s->lines_per_file;
  if (file_of(g.wfile, s)) close_file(g.wfile);
  swap_file& r = g.rfile;
  if (!(file_of(r, s) && r.file == f)) {
    close_file(r);
    char* path = swap_file_path(s, f);
    std::FILE* fp = path ? std::fopen(path, "rb") : nullptr;
    free_mem(&path);
    if (!fp) {
      std::memset(block, 0, ls);
      return;
    }
    r = swap_file{fp, s, s->id, f, 0};
    s->next_read_line = 0;
  }
  if (p != s->next_read_line && std::fseek(r.fp, long(p * int64_t(ls)), SEEK_SET) != 0) {
    close_file(r);
    std::memset(block, 0, ls);
    return;
  }
  const size_t n = std::fread(block, 1, ls, r.fp);
  if (n < ls) std::memset(block + n, 0, ls - n);
  s->next_read_line = n == ls ? p + 1 : -1;
}

void close_files_of(const filemobj_t* s) {
  state& g = st();
  if (file_of(g.wfile, s)) close_file(g.wfile);
  if (file_of(g.rfile, s)) close_file(g.rfile);
}

void close_all_files() {
  close_file(st().wfile);
  close_file(st().rfile);
}

// The files of a store cached in the reduced-image folder outlive it. After the
// deletion nothing is saved any more: lines still in memory must be written again.
void delete_swap(filemobj_t* s) {
  close_files_of(s);
  if (s->swap_record) return;
  // A file exists wherever a prefix was recorded for it, even when no line of it was
  // confirmed.
  int64_t* files = s->file_lines;
  char** prefixes = s->file_prefix;
  for (int64_t f = s->file_count - 1; f >= 0; --f) {
    char* path = swap_file_path(s, f);
    if (path) path_remove(path);
    free_mem(&path);
    files[f] = 0;
    free_mem(&prefixes[f]);
  }
  uint8_t* states = s->states;
  for (int64_t i = 0; i < s->line_count; ++i)
    if (states[i] == kLineSaved) states[i] = kLineUnsaved;
  s->written = 0;
}

void write_all(filemobj_t* s) {
  if (s->written) return;
  bool all_out = true;
  for (int64_t i = 0; i < s->line_count; ++i) {
    if (!s->lines[i]) continue;
    write_lines(s, i, true, INT32_MAX);
    if (s->states[i] != kLineUnsaved)
      release_line(s, i);
    else
      all_out = false;
  }
  s->written = all_out ? 1 : 0;
}

void reset_swap_state() {
  g_swap_total.store(0);
  g_other_instance.store(0);
  g_disk_probe.store(nullptr);
}

}  // namespace ls_detail

using namespace ls_detail;

void swap_write_lines(filemobj_t* s, int64_t line, int single) {
  if (!s) return;
  guard g;
  write_lines(s, line, single != 0, INT32_MAX);
}

void filemobj_write_all(filemobj_t* s) {
  if (!s) return;
  guard g;
  write_all(s);
}

void filemobj_write_all_stores() {
  guard g;
  if (!get_temp_dir()) return;
  obj_t* cursor = nullptr;
  while (obj_class_next(kLineStoreClass, &cursor))
    write_all(reinterpret_cast<filemobj_t*>(cursor));
}

// The lines are written (and stay in memory); the file is closed so that whoever
// opens it by name finds it complete.
char* filemobj_flush_named(filemobj_t* s) {
  if (!s || is_embedded()) return nullptr;
  guard g;
  if (s->line_count == 0 || s->line_count > s->lines_per_file) return nullptr;
  for (int64_t i = 0; i < s->line_count; ++i)
    if (s->lines[i]) write_lines(s, i, true, INT32_MAX);
  for (int64_t i = 0; i < s->line_count; ++i)
    if (s->lines[i] && s->states[i] == kLineUnsaved) return nullptr;
  close_files_of(s);
  if (!s->swap_record && s->file_lines[0] == 0) return nullptr;
  return swap_file_path(s, 0);
}

void filemobj_delete_swap(filemobj_t* s) {
  if (!s) return;
  guard g;
  delete_swap(s);
}

void swap_init() {
  g_other_instance.store(count_own_processes() > 1 ? 1 : 0);
  swap_index_init();
}

void swap_close_files() {
  const line_store_hooks& hooks = get_line_store_hooks();
  if (hooks.close_ecw_views) hooks.close_ecw_views();
  guard g;
  close_all_files();
  obj_t* cursor = nullptr;
  while (obj_class_next(kLineStoreClass, &cursor)) delete_swap(reinterpret_cast<filemobj_t*>(cursor));
}

void swap_show_size() {
  const line_store_hooks& hooks = get_line_store_hooks();
  if (!hooks.progress_text) return;
  const long long megabytes = static_cast<long long>(g_swap_total.load() / 1048576.0);
  const std::string text = is_french() ? "Taille du swap " + std::to_string(megabytes) + " Mo"
                                       : "Swap size " + std::to_string(megabytes) + "MB";
  hooks.progress_text(text.c_str());
}

double swap_total_bytes() { return g_swap_total.load(); }

void app_set_closing(int on) { g_closing.store(on ? 1 : 0, std::memory_order_release); }
int app_is_closing() { return g_closing.load(std::memory_order_acquire); }
int app_is_other_instance() { return g_other_instance.load(std::memory_order_acquire); }

void line_store_set_disk_free_probe(line_store_disk_free_fn fn) {
  g_disk_probe.store(fn, std::memory_order_release);
}
