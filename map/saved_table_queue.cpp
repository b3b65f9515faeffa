// The write queue of saved tables, written together at exit, and the line store's
// hooks through which its swap index ("mof2.sot") is read at start-up and queued for
// saving whenever it changes.
#include <mutex>
#include <string>
#include <vector>

#include "core/line_store.h"
#include "core/strutil.h"
#include "map/file_object.h"
#include "map/saved_tables.h"

namespace {

struct queued {
  container_t* table;
  fileatt_t* file;
  bool owned;  // a file object made for the queue (not in the file table)
};

std::mutex g_mutex;
std::vector<queued> g_queue;

bool same_name(const fileatt_t* a, const char* name) {
  return a && a->name && name && std::string(a->name) == name;
}

void release_if_owned(queued& q) {
  if (!q.owned) return;
  // Another queued pair may still name it.
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const queued& other : g_queue)
      if (other.file == q.file) return;
  }
  free_obj(&q.file);
}

// ---- Line store hooks ---------------------------------------------------------------

int hook_read(const char* path, obj_t* index) {
  return savfile_read(path, static_cast<container_t*>(index), nullptr);
}

// Under the lock.
bool queued_by_name(const container_t* table, const char* path) {
  for (const queued& q : g_queue)
    if (q.table == table && same_name(q.file, path)) return true;
  return false;
}

// Called whenever the index changes: the common case, a pair already queued, is
// answered before a file object is made; the test is made again when it is queued,
// since another thread may have queued the pair meanwhile.
void hook_queue(const char* path, obj_t* index) {
  container_t* table = static_cast<container_t*>(index);
  if (!path || !*path || !table) return;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (queued_by_name(table, path)) return;
  }
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, path, 1, 0, &f);
  if (!f) return;
  const bool owned = !f->in_table;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!queued_by_name(table, path)) {
      g_queue.push_back({table, f, owned});
      return;
    }
  }
  if (owned) free_obj(&f);
}

}  // namespace

void savfile_queue(container_t* table, fileatt_t* file) {
  if (!table || !file) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const queued& q : g_queue)
    if (q.table == table && q.file == file) return;
  g_queue.push_back({table, file, false});
}

void savfile_flush() {
  for (;;) {
    queued q{};
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      if (g_queue.empty()) return;
      q = g_queue.front();
      g_queue.erase(g_queue.begin());
    }
    savfile_write(q.file, q.table);
    release_if_owned(q);
  }
}

int savfile_queue_count() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return int(g_queue.size());
}

void savfile_reset() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_queue.clear();  // the objects went with the store they lived in
}

void savfile_install_hooks() {
  line_store_hooks& hooks = get_line_store_hooks();
  hooks.savfile_read = hook_read;
  hooks.savfile_queue = hook_queue;
}
