// The folder walk's state, its steps and the loop that runs the transition table
// (see folder_walk.h). Listings come from the platform layer, which examines each
// entry without following links; full paths are built here, so nothing depends on
// the process's current folder.
#include "core/folder_walk.h"

#include <string>
#include <vector>

#include "core/error.h"
#include "core/paths.h"
#include "platform/sys/dir.h"

namespace {

struct level {
  plat::dir_listing* listing;
  plat::dir_entry saved;  // the parent's entry (this folder) when it was entered
};

struct walk_state {
  std::string path;        // the folder being listed, ending with '/'
  std::string entry_path;  // path + the current entry's name
  plat::dir_entry found;   // the current entry
  std::vector<level> levels;
  int event = 0;
  int finished = 0;
};

walk_state g_walk;

struct cell {
  int slot;
  int next;
};

// Rows: state 0..2; columns: event 0..4.
constexpr cell kTransitions[3][5] = {
    {{0, 0}, {0, 0}, {1, 1}, {0, 0}, {0, 0}},
    {{0, 0}, {2, 2}, {1, 1}, {6, 2}, {5, 1}},
    {{0, 0}, {5, 1}, {0, 0}, {4, 2}, {3, 2}},
};

bool is_dot_entry(const std::string& name) { return name == "." || name == ".."; }

// Reads entries of a listing past "." and ".."; sets the event for what it finds.
void scan_entry(plat::dir_listing* listing) {
  plat::dir_entry e;
  bool got;
  while ((got = plat::dir_next(listing, &e)) && is_dot_entry(e.name)) {
  }
  if (!got) {
    g_walk.event = DIRSCAN_NO_MORE;
    return;
  }
  g_walk.found = e;
  if (e.info.kind == plat::entry_kind::folder) {
    g_walk.path += e.name;
    g_walk.path += '/';
    g_walk.event = DIRSCAN_FOLDER;
  } else {
    g_walk.event = DIRSCAN_CONTINUE;  // a file, a link or anything else: never entered
  }
}

void close_all_levels() {
  for (level& l : g_walk.levels) plat::dir_close(l.listing);
  g_walk.levels.clear();
}

std::string top_path(const char* path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

bool can_list(const std::string& path) {
  plat::dir_listing* l = plat::dir_open(path.c_str());
  plat::dir_close(l);
  return l != nullptr;
}

void noop() {}

const dirscan_fn kStandard[kDirscanSlots] = {
    dirscan_abort,        dirscan_first, dirscan_entry_path,    dirscan_remove_entry,
    dirscan_reset_state,  dirscan_next,  dirscan_remove_folder,
};

}  // namespace

int dirscan_walk(const char* path, const dirscan_fn* callbacks) {
  close_all_levels();
  g_walk = walk_state{};
  if (!path || !*path || !callbacks) return set_gblerr(ERR_PARAMETERS);
  g_walk.path = top_path(path);
  if (!can_list(g_walk.path)) return set_gblerr(ERR_PARAMETERS);
  if (g_walk.path.back() != '/') g_walk.path += '/';
  g_walk.event = DIRSCAN_FOLDER;
  int state = 0;
  while (g_walk.finished == 0) {
    const cell c = kTransitions[state][g_walk.event];
    g_walk.event = 0;
    dirscan_fn step = callbacks[c.slot] ? callbacks[c.slot] : noop;
    step();
    if (get_gblerr() != 0) break;
    state = c.next;
    // A step that reports nothing would repeat forever through the abort cells.
    if (g_walk.finished == 0 && (g_walk.event < 1 || g_walk.event > 4)) dirscan_abort();
  }
  close_all_levels();
  return get_gblerr();
}

void dir_scan_if_exists(const char* path) {
  if (path && *path && path_is_dir(top_path(path).c_str())) dirscan_walk(path, kStandard);
}

const dirscan_fn* dirscan_standard_callbacks() { return kStandard; }

// ---- Steps --------------------------------------------------------------------------

void dirscan_abort() {
  g_walk.finished = -1;
  set_gblerr(ERR_OS);
}

void dirscan_first() {
  // Below the top, a folder is entered only if it still is one: a folder replaced by a
  // link since it was listed is refused rather than followed out of the tree.
  const bool top = g_walk.levels.empty();
  plat::dir_listing* listing = plat::dir_open(g_walk.path.c_str(), top);
  if (!listing) {
    set_gblerr(ERR_OS);
    return;
  }
  g_walk.levels.push_back({listing, g_walk.found});
  scan_entry(listing);
}

void dirscan_next() {
  if (g_walk.levels.empty() || !g_walk.levels.back().listing) {
    g_walk.event = DIRSCAN_NO_MORE;
    return;
  }
  scan_entry(g_walk.levels.back().listing);
}

void dirscan_entry_path() {
  g_walk.entry_path = g_walk.path + g_walk.found.name;
  g_walk.event = DIRSCAN_ENTRY_PATH;
}

void dirscan_reset_state() { g_walk.event = DIRSCAN_CONTINUE; }

void dirscan_close() {
  if (g_walk.levels.empty()) return;
  plat::dir_close(g_walk.levels.back().listing);
  g_walk.levels.back().listing = nullptr;
}

void dirscan_pop() {
  // Cut the path after the separator before its last component.
  std::string& p = g_walk.path;
  if (p.size() > 1) {
    const size_t cut = p.find_last_of('/', p.size() - 2);
    if (cut != std::string::npos) p.resize(cut + 1);
  }
  if (!g_walk.levels.empty()) {
    plat::dir_close(g_walk.levels.back().listing);
    g_walk.found = g_walk.levels.back().saved;
    g_walk.levels.pop_back();
  }
  if (g_walk.levels.empty())
    g_walk.finished = 1;
  else
    g_walk.event = DIRSCAN_CONTINUE;
}

void dirscan_up() {
  dirscan_close();
  dirscan_pop();
}

void dirscan_remove_entry() {
  path_remove(g_walk.entry_path.c_str());
  g_walk.event = DIRSCAN_NO_MORE;
}

void dirscan_remove_folder() {
  dirscan_close();
  if (g_walk.levels.size() > 1) path_remove(g_walk.path.c_str());
  dirscan_pop();
}

// ---- State --------------------------------------------------------------------------

const char* dirscan_path() { return g_walk.path.c_str(); }
const char* dirscan_entry_name() { return g_walk.entry_path.c_str(); }
int dirscan_depth() { return static_cast<int>(g_walk.levels.size()); }
void dirscan_set_event(int event) { g_walk.event = event; }
