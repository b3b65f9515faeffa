// The use list and eviction: which lines stay in memory.
//
// Every use of a line stamps it with the current generation G (in budget mode only
// its first use) and moves it to the end of the use list, leaving a hole where it was.
// A generation lasts S counter steps, a stamping counting one step plus one per 2048
// bytes of line, so generations measure bytes touched rather than calls. Eviction scans
// the list from where it last stopped, writing old lines to swap and releasing them;
// lines stamped in the last F generations (the floor) are never evicted, which is what
// keeps the address of a line just stamped valid while the next one is fetched (see
// line_store.h for what callers may rely on).
//
// The memory budget asks the system (/proc) for the process's size; the line store
// needs it before every line allocation, so it is read again only every
// kBudgetRereadAllocs allocations or kBudgetRereadMs milliseconds, and in between the
// line bytes allocated and released since the last reading are counted against it.
#include <atomic>
#include <climits>

#include "core/config.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/line_store_state.h"
#include "core/memory.h"
#include "platform/sys/clock.h"

namespace ls_detail {

std::atomic<uint64_t> g_released_lines{0};

namespace {

constexpr int64_t kBudgetRereadAllocs = 256;
constexpr int64_t kBudgetRereadMs = 100;
// The use list is compacted on the spot when its holes outnumber its lines and it is
// this long: the idle compaction may never come in a program without a user interface.
constexpr int64_t kAutoCompactHoles = int64_t(1) << 16;
// The idle compaction checks for pending user work after this many pairs.
constexpr int64_t kCompactChunk = 64;

std::atomic<line_store_budget_fn> g_budget_probe{nullptr};

double read_budget() {
  const line_store_budget_fn probe = g_budget_probe.load(std::memory_order_acquire);
  return probe ? probe() : compute_mem_budget();
}

double current_budget() {
  state& g = st();
  const int64_t now = plat::now_ms();
  if (!g.budget_known || g.allocs_since_read >= kBudgetRereadAllocs ||
      now - g.read_ms >= kBudgetRereadMs || now < g.read_ms) {
    g.budget_read = read_budget();
    g.held_at_read = g.held;
    g.allocs_since_read = 0;
    g.read_ms = now;
    g.budget_known = true;
  }
  return g.budget_read - double(g.held - g.held_at_read);
}

// Empties the use-list pair of line i, if it has one.
void empty_pair(filemobj_t* s, int64_t i) {
  state& g = st();
  int64_t* uses = s->uses;
  const int64_t u = uses[i];
  uses[i] = 0;
  if (u <= 0 || u > int64_t(g.uses.size())) return;
  use_pair& p = g.uses[size_t(u - 1)];
  if (p.store != s || p.line != i) return;
  p.store = nullptr;
  p.line = 0;
  ++g.holes;
}

void next_step(int32_t line_size) {
  state& g = st();
  g.steps += line_size / 2048 + 1;
  if (g.steps < kStepLength) return;
  g.generation += 1;
  if (g.generation > kGenerationWrap) {
    g.generation = g.floor + 2;
    g.threshold = 2;
  }
  g.steps = 0;
}

int32_t eviction_limit() { return st().generation - st().floor; }

}  // namespace

void stamp_line(filemobj_t* s, int64_t i) {
  state& g = st();
  next_step(s->line_size);
  s->stamps[i] = g.generation;
  empty_pair(s, i);
  g.uses.push_back(use_pair{s, i});
  s->uses[i] = int64_t(g.uses.size());
  if (g.holes > kAutoCompactHoles && g.holes * 2 > int64_t(g.uses.size())) compact_steps(INT64_MAX);
}

void touch_line(filemobj_t* s, int64_t i) {
  const int32_t stamp = s->stamps[i];
  if (st().budget_mode ? stamp == 0 : stamp != st().generation) stamp_line(s, i);
}

void release_line(filemobj_t* s, int64_t i) {
  if (i < 0 || i >= s->line_count) return;
  state& g = st();
  int32_t* stamps = s->stamps;
  if (stamps[i] != 0) {
    if (stamps[i] == g.generation && g.steps > 0) --g.steps;
    stamps[i] = 0;
  }
  empty_pair(s, i);
  uint8_t** lines = s->lines;
  if (!lines[i]) return;
  free_mem(&lines[i]);
  g.held -= s->line_size;
  // Counted once the block is gone: whoever fetches an address after noting the new
  // count gets the line as it is now.
  g_released_lines.fetch_add(1, std::memory_order_release);
}

void note_line_allocated(int64_t bytes) {
  state& g = st();
  g.held += bytes;
  ++g.allocs_since_read;
}

// One scan of the use list from the resume position (see the file comment).
void evict(double size) {
  state& g = st();
  const bool write = !is_embedded();
  int64_t i = g.resume < int64_t(g.uses.size()) ? g.resume : int64_t(g.uses.size());
  int32_t last_seen = -1;
  while (i < int64_t(g.uses.size())) {
    const use_pair p = g.uses[size_t(i)];
    if (!p.store) {
      ++i;
      continue;
    }
    const int32_t stamp = p.store->stamps[p.line];
    last_seen = stamp;
    if (!g.budget_mode && stamp > g.threshold) break;
    if (stamp >= eviction_limit()) break;
    if (write) write_lines(p.store, p.line, false, eviction_limit());
    if (p.store->states[p.line] != kLineUnsaved) release_line(p.store, p.line);
    ++i;
    if (g.budget_mode && size < current_budget()) break;
  }
  g.resume = i;
  if (g.budget_mode) return;
  int32_t t = g.threshold + 1 > last_seen ? g.threshold + 1 : last_seen;
  if (t > eviction_limit()) t = eviction_limit();
  g.threshold = t;
}

void make_room(double size) {
  state& g = st();
  if (size < current_budget()) return;
  if (g.budget_mode) {
    evict(size);
    return;
  }
  // Each scan raises T by at least one up to G - F, and G stands still meanwhile.
  do evict(size);
  while (g.threshold < eviction_limit());
}

// Moves the pairs down over the holes, at most `limit` pairs per call; the work left
// is kept for the next call. Between calls [write, read) holds only holes, so the list
// stays usable by every other routine while a compaction is under way.
void compact_steps(int64_t limit) {
  state& g = st();
  if (!g.compacting) {
    if (g.holes == 0) return;
    g.compacting = true;
    g.compact_read = 0;
    g.compact_write = 0;
  }
  int64_t r = g.compact_read;
  int64_t w = g.compact_write;
  for (int64_t done = 0; r < int64_t(g.uses.size()) && done < limit; ++done, ++r) {
    const use_pair p = g.uses[size_t(r)];
    if (!p.store) continue;
    if (r != w) {
      g.uses[size_t(w)] = p;
      g.uses[size_t(r)] = use_pair{nullptr, 0};
      p.store->uses[p.line] = w + 1;
    }
    ++w;
  }
  g.compact_read = r;
  g.compact_write = w;
  if (r < int64_t(g.uses.size())) return;
  g.holes -= int64_t(g.uses.size()) - w;
  g.uses.resize(size_t(w));
  g.compacting = false;
  g.resume = 0;
}

void reset_eviction() {
  state& g = st();
  g.holes = 0;
  g.resume = 0;
  g.compacting = false;
  g.compact_read = g.compact_write = 0;
  g.generation = kFirstGeneration;
  g.threshold = kFirstThreshold;
  g.floor = kFirstFloor;
  g.steps = 0;
  g.budget_mode = false;
  g.held = 0;
  g.budget_known = false;
  g.budget_read = 0;
  g.held_at_read = 0;
  g.allocs_since_read = 0;
  g.read_ms = 0;
}

}  // namespace ls_detail

using namespace ls_detail;

void filemobj_release_line(filemobj_t* s, int64_t i) {
  if (!s) return;
  guard g;
  release_line(s, i);
}

void filemobj_evict(double size) {
  guard g;
  evict(size);
}

void filemobj_make_room(double size) {
  guard g;
  make_room(size);
}

void filemobj_evict_old() {
  guard g;
  if (!get_temp_dir()) return;
  do evict(0);
  while (st().threshold < eviction_limit());
}

void filemobj_set_budget_eviction(int on) {
  guard g;
  st().budget_mode = on != 0;
}

// The floor stays below the generation at which G starts again (at F + 2), so that
// a huge line count can never make that restart overflow.
void filemobj_set_min_generation(int64_t n) {
  guard g;
  int64_t floor = n / 1000 + 2;
  if (floor > kGenerationWrap) floor = kGenerationWrap;
  if (floor >= st().floor) st().floor = int32_t(floor);
}

int32_t filemobj_min_generation() {
  guard g;
  return st().floor;
}

// The pass stops as soon as the user has work pending, and goes on at the next call.
void filemobj_compact_use_list() {
  const line_store_hooks& hooks = get_line_store_hooks();
  for (;;) {
    {
      guard g;
      if (!st().compacting && st().holes == 0) return;
    }
    if (hooks.user_work_pending && hooks.user_work_pending()) return;
    guard g;
    compact_steps(kCompactChunk);
    if (!st().compacting) return;
  }
}

int32_t filemobj_generation() {
  guard g;
  return st().generation;
}

void line_store_set_generation(int32_t generation) {
  guard g;
  st().generation = generation;
  st().steps = 0;
}

int64_t line_store_held_bytes() {
  guard g;
  return st().held;
}

void line_store_set_budget_probe(line_store_budget_fn fn) {
  guard g;
  g_budget_probe.store(fn, std::memory_order_release);
  st().budget_known = false;
}
