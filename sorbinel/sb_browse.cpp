// The browsing lists and the walk: the queue of given files, the browsing list in key
// name order, the set-aside list, the browse position, the filters and the search for
// the next file that can be shown.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/error.h"
#include "core/http.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "formats/file_load.h"
#include "map/file_object.h"
#include "platform/sys/clock.h"
#include "platform/sys/dir.h"
#include "sorbinel/sb_browse.h"
#include "sorbinel/sb_browse_internal.h"
#include "sorbinel/sb_state.h"

namespace {

// A browse step that starts loading later than this after the step began shows
// "Reading" with the file's name.
constexpr int64_t kReadingAfterMs = 300;
// Kinds the extension filter lets through whatever their name.
constexpr int kUnfilteredKinds[] = {1, 7, 8, 9, 10, 11, 12, 128};
// Kinds and formats a walk may show.
constexpr int kShownKinds[] = {2, 3, 4, 12, 14, 128};
constexpr uint32_t kFormatNmeaLog = 40;
constexpr uint32_t kFormatZip = 53;

bool in(const int* first, const int* last, int v) { return std::find(first, last, v) != last; }

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The extension of a path or URL (after the last '.' of its last component), lower-cased.
std::string extension_of(const char* name) {
  const std::string s = name ? name : "";
  const size_t slash = s.find_last_of("/\\");
  const size_t dot = s.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return lower(s.substr(dot + 1));
}

// Order of two file records in the browsing list: key name (case-blind, then exact),
// then id. Negative when a comes first.
int list_order(const container_t* list, const obj_t* a, const obj_t* b) {
  const int k = index_compare_elements(list, a, b);
  if (k == 1) return -1;
  if (k == -1) return 1;
  return a->id < b->id ? -1 : (a->id > b->id ? 1 : 0);
}

// Index of the first element that comes after `key` (count when none).
int first_after(const container_t* list, const obj_t* key) {
  int lo = 0, hi = obj_list_count(list);
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (list_order(list, list->elems[mid], key) <= 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

// Index of the first element that does not come before `key`.
int first_not_before(const container_t* list, const obj_t* key) {
  int lo = 0, hi = obj_list_count(list);
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (list_order(list, list->elems[mid], key) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

container_t* new_file_index(int offset) {
  container_t* index = nullptr;
  index_create(kFileClass, AT_STRING, offset, &index);
  return index;
}

void free_index(container_t** index) {
  if (!*index) return;
  obj_list_clear(*index);
  free_obj(index);
}

// A fresh browse position: the attributes of a new file object and id 0.
void reset_position() {
  sb_browse_state& b = sb_browse();
  if (b.position) free_obj(&b.position);
  alloc_obj(kFileClass, &b.position);
  if (b.position) b.position->id = 0;
}

// The browse position takes the attributes and the id of `file`.
void position_take(fileatt_t* file) {
  sb_browse_state& b = sb_browse();
  if (!b.position || !file) return;
  free_mem(&b.position->name);
  free_mem(&b.position->keyname);
  obj_copy(file, b.position);
  b.position->id = file->id;
}

// Releases what the shown file has loaded; there is no shown file afterwards.
void release_current() {
  sb_state& s = sb();
  sb_document_clear();
  if (s.current) file_unload(s.current, 0);
  s.current = nullptr;
}

// Next-candidate step: the file that follows (or precedes) the browse position in the
// browsing list, wrapping around; it becomes the shown file and the browse position.
fileatt_t* next_candidate() {
  sb_browse_state& b = sb_browse();
  sb_state& s = sb();
  release_current();
  const int n = obj_list_count(b.list);
  if (n == 0 || !b.position) return nullptr;
  int i = 0;
  if (s.direction >= 0) {
    i = first_after(b.list, b.position);
    if (i >= n) i = 0;
  } else {
    i = first_not_before(b.list, b.position) - 1;
    if (i < 0) i = n - 1;
  }
  fileatt_t* f = file_of(b.list->elems[i]);
  s.current = f;
  position_take(f);
  return f;
}

// The size filter alone (steps 1 and 2 of the image filter).
bool size_accepted(const sb_file_filter_t* flt, int64_t size) {
  if (flt->min_file_size > 0 && size < flt->min_file_size) return false;
  if (flt->max_file_size > 0 && size > flt->max_file_size) return false;
  return true;
}

bool is_folder_path(const char* path) {
  plat::path_info info;
  return path && plat::path_examine(path, true, &info) && info.kind == plat::entry_kind::folder;
}

// The links a page brought: further pages that may not be followed are set aside, the
// others take the page's web root and join the browsing list.
void add_links(fileatt_t* page, container_t* links) {
  const int n = obj_list_count(links);
  for (int i = 0; i < n; ++i) {
    fileatt_t* link = file_of(links->elems[i]);
    if (!link || link == page) continue;
    const std::string name = link->name ? link->name : "";
    const std::string ext = extension_of(link->name);
    const bool is_page = (!name.empty() && name.back() == '/') || ext == "htm" || ext == "html";
    if (is_page && !web_link_allowed(link)) {
      sb_set_aside(link);
      continue;
    }
    file_set_web_root(link, file_get_web_root(page));
    sb_list_add(link);
  }
}

// One pass of the walk; 1 when a file was shown or its failure reported, 0 when the walk
// must start again (a folder's files joined the list), -1 when no file can be shown.
int walk_once() {
  sb_state& s = sb();
  const int64_t deadline = plat::now_ms() + kReadingAfterMs;
  set_gblerr(0);
  // Every candidate that is not shown leaves the list, so the walk ends; the bound
  // only guards against a list that grows while it is walked.
  for (int guard = 0; guard < 1000000; ++guard) {
    fileatt_t* f = next_candidate();
    if (!f) return -1;
    const int64_t size = file_get_size(f);
    if (size != 0 && f->filetype == kFileKindLocal && !size_accepted(s.filter, size)) {
      sb_set_aside(f);
      continue;
    }
    if (plat::now_ms() > deadline) sb_show_reading(f);
    container_t* links = nullptr;
    obj_list_new(&links);
    file_identify_and_load(f, reinterpret_cast<obj_t*>(links), 0);
    if (get_gblerr() != 0) {
      set_gblerr(0);
      s.mode &= ~kSbModeAnimation;
      free_obj(&links);
      sb_set_aside(f);
      continue;
    }
    if (!sb_accepts_extension(f)) f->filetype = kFileKindNone;
    if (f->filetype == kFileKindHtml) {
      if (!file_get_web_root(f) && f->name) {
        char* root = nullptr;
        url_default_page(f->name, &root);
        file_set_web_root(f, root);
        free_mem(&root);
      }
      if (file_get_web_root(f) && !web_link_allowed(f)) obj_list_clear(links);
    }
    if (obj_list_count(links) > 0) {
      add_links(f, links);
      free_obj(&links);
      sb_set_aside(f);
      continue;
    }
    free_obj(&links);
    if (get_gblerr() != 0) {
      set_gblerr(0);
      f->filetype = kFileKindNone;
      s.mode &= ~kSbModeAnimation;
    }
    if (f->filetype == kFileKindFolder) {
      sb_expand_folder(f);
      return 0;
    }
    const bool shown_kind = in(std::begin(kShownKinds), std::end(kShownKinds), f->filetype) &&
                            f->fileformat != kFormatNmeaLog && f->fileformat != kFormatZip;
    if (shown_kind && sb_filter_accepts(f)) return sb_load_and_show(f) ? 0 : 1;
    sb_set_aside(f);
    set_gblerr(0);
  }
  return -1;
}

}  // namespace

sb_browse_state& sb_browse() {
  static sb_browse_state state;
  return state;
}

void sb_browse_init() {
  sb_browse_free();
  sb_browse_state& b = sb_browse();
  b.list = new_file_index(int(offsetof(fileatt_t, keyname)));
  b.aside = new_file_index(int(offsetof(fileatt_t, keyname)));
  reset_position();
}

void sb_browse_free() {
  sb_browse_state& b = sb_browse();
  free_index(&b.queue);
  free_index(&b.list);
  free_index(&b.aside);
  if (b.position) free_obj(&b.position);
  b.frame_delay_ms = 0;
  b.loop_counter = 0;
  b.busy = 0;
}

int sb_browse_count() { return obj_list_count(sb_browse().list); }
int sb_browse_busy() { return sb_browse().busy; }
int sb_queue_count() { return obj_list_count(sb_browse().queue); }

int sb_is_set_aside(const fileatt_t* file) {
  const sb_browse_state& b = sb_browse();
  if (!file || !file->keyname || !b.aside) return 0;
  int pos = -1;
  return index_find_exact(b.aside, file->keyname, &pos) == 1 ? 1 : 0;
}

void sb_list_add(fileatt_t* file) {
  sb_browse_state& b = sb_browse();
  if (!file || !b.list) return;
  file_rename(file);
  if (sb_is_set_aside(file)) return;
  if (index_position_of(b.list, file) >= 0) return;
  index_insert(b.list, file);
}

void sb_set_aside(fileatt_t* file) {
  sb_browse_state& b = sb_browse();
  sb_state& s = sb();
  if (!file) return;
  if (s.filter) {
    s.filter->page_count = 0;
    s.filter->first_page = 0;
  }
  if (b.list && index_position_of(b.list, file) >= 0) index_remove(b.list, file);
  if (b.aside && index_position_of(b.aside, file) < 0) index_insert(b.aside, file);
  if (file == s.current) {
    sb_document_clear();
    s.current = nullptr;
  }
  file_unload(file, 0);
}

void sb_browse_restart_at(fileatt_t* file) {
  if (!file) return;
  sb_state& s = sb();
  position_take(file);
  s.direction = -s.direction;
  next_candidate();
  s.direction = -s.direction;
  s.current = nullptr;
}

int sb_queue_path(const char* path, fileatt_t** queued) {
  sb_browse_state& b = sb_browse();
  sb().direction = 1;
  if (queued) *queued = nullptr;
  if (!path || !*path) return -1;
  // A path relative to the folder the viewer was started in (a command line such as
  // "sorbinel photo.jpg") is taken as the whole path of that file.
  std::string full = path;
  if (path[0] != '/' && !std::strstr(path, "://")) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (!ec) full = absolute.lexically_normal().string();
  }
  fileatt_t* f = nullptr;
  file_open(nullptr, nullptr, full.c_str(), &f);
  if (!f) {
    set_gblerr(0);
    return -1;
  }
  if (queued) *queued = f;
  if (!b.queue) b.queue = new_file_index(int(offsetof(fileatt_t, name)));
  if (index_position_of(b.queue, f) < 0) index_insert(b.queue, f);
  // The entries of a folder's content join the queue in its place.
  container_t* content = f->sot;
  while (content && obj_list_count(content) > 0) {
    obj_t* o = content->elems[obj_list_count(content) - 1];
    obj_list_remove_at(content, obj_list_count(content) - 1);
    if (fileatt_t* entry = file_of(o))
      if (index_position_of(b.queue, entry) < 0) index_insert(b.queue, entry);
  }
  return 0;
}

void sb_take_queue() {
  sb_browse_state& b = sb_browse();
  if (!b.queue) return;
  fileatt_t* first = nullptr;
  const int n = obj_list_count(b.queue);
  for (int i = 0; i < n; ++i) {
    fileatt_t* f = file_of(b.queue->elems[i]);
    if (!f) continue;
    if (!first) first = f;
    sb_list_add(f);
  }
  free_index(&b.queue);
  sb_browse_restart_at(first);
}

void sb_expand_folder(fileatt_t* folder) {
  if (!folder || !folder->name) return;
  std::string base = folder->name;
  if (base.back() != '/') base.push_back('/');
  plat::dir_listing* listing = plat::dir_open(base.c_str(), false);
  fileatt_t* first = nullptr;
  sb_browse_state& b = sb_browse();
  if (listing) {
    plat::dir_entry e;
    while (plat::dir_next(listing, &e)) {
      if (e.name == "." || e.name == "..") continue;
      if (e.info.kind != plat::entry_kind::file && e.info.kind != plat::entry_kind::folder)
        continue;
      fileatt_t* f = nullptr;
      file_open(nullptr, base.c_str(), e.name.c_str(), &f);
      if (!f) continue;
      sb_list_add(f);
      if (index_position_of(b.list, f) >= 0 && (!first || list_order(b.list, f, first) < 0))
        first = f;
    }
    plat::dir_close(listing);
  }
  set_gblerr(0);
  sb_set_aside(folder);
  sb_browse_restart_at(first);
}

int sb_accepts_extension(fileatt_t* file) {
  const sb_state& s = sb();
  if (s.extensions.empty() || !file) return 1;
  if (is_folder_path(file->name)) return 1;
  if (in(std::begin(kUnfilteredKinds), std::end(kUnfilteredKinds), file->filetype)) return 1;
  const std::string ext = extension_of(file->name);
  for (const std::string& e : s.extensions)
    if (e == ext) return 1;
  return 0;
}

int sb_filter_accepts(fileatt_t* file) {
  const sb_file_filter_t* flt = sb().filter;
  if (!flt || !file) return 1;
  if (!size_accepted(flt, file_get_size(file))) return 0;
  if (flt->min_dim <= 0 && flt->max_dim <= 0 && flt->orientation == 0) return 1;
  int w = 0, h = 0;
  sb_image_size(file, &w, &h);
  set_gblerr(0);
  if (w == 0 || h == 0) return 0;
  if (flt->orientation == 'H' && w < h) return 0;
  if (flt->orientation == 'V' && w > h) return 0;
  if (flt->min_dim > 0 && (w < flt->min_dim || h < flt->min_dim)) return 0;
  if (flt->max_dim > 0) return w <= flt->max_dim && h <= flt->max_dim ? 1 : 0;
  return 1;
}

void sb_show_next() {
  sb_browse_state& b = sb_browse();
  sb_state& s = sb();
  b.busy = 1;
  sb_take_queue();
  sb_focus_path_field(sb_browse_count() == 0 ? 1 : 0);
  s.mode &= ~kSbModeAnimation;
  if (sb_browse_count() == 0) {
    b.busy = 0;
    return;
  }
  const sb_file_filter_t* flt = s.filter;
  if (sb_browse_count() == 1 && s.current) {
    sb_page_step(s.current);
  } else if (s.current && s.direction == 1 && flt->current_page < flt->page_count) {
    sb_page_step(s.current);
  } else {
    int r = 0;
    while ((r = walk_once()) == 0) {
    }
    if (r < 0) sb_show_no_valid_file();
  }
  if (s.current && s.filter->current_page == s.filter->first_page) sb_animation_start(s.current);
  sb_page_label(s.current);
  sb_refresh_status();
  sb_redraw_now();
  b.busy = 0;
}
