// The TIFF reader (tiff_read.h): the directory chain, the list of pages, and the lines
// decoded at load or on demand.
//
// The chain of directories ends at a next-directory offset of 0, at a directory already
// seen (a circular chain), or after kMaxDirectories directories. Each page's record is
// a header copy of the record given, with its own reader state; the line tables of all
// pages together are held to the memory budget, so that a file of many directories
// that each claim a huge image is refused instead of allocated.
#include "raster/tiff_read.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/reader_reopen.h"
#include "map/bitmap_record.h"
#include "raster/raster_limits.h"
#include "raster/raster_ops.h"
#include "raster/tiff_state.h"
#include "raster/tiff_values.h"

namespace {

constexpr int64_t kTiffBuffer = 4096;
constexpr int kMaxDirectories = 4096;
constexpr int kDiscardedQuietly = -1;  // a reduced-resolution subfile
// Rows of all pages of one file together: bounds the line tables a chain of directories
// that each claim a huge page can make.
constexpr int64_t kMaxRowsAllPages = int64_t(1) << 23;

std::atomic<int> g_kept_files{0};

// The current file kept open for the pages decoded on demand, or null (bytes held in
// memory, or kTiffKeptFiles files already kept).
std::shared_ptr<tiff_disk_file> keep_file_open() {
  if (g_kept_files.fetch_add(1) >= kTiffKeptFiles) {
    g_kept_files.fetch_sub(1);
    return nullptr;
  }
  auto disk = std::make_shared<tiff_disk_file>();
  disk->handle = rd_reopen_disk_file(&disk->start, &disk->size);
  if (!disk->handle) {
    g_kept_files.fetch_sub(1);
    return nullptr;
  }
  return disk;
}

// The upright size of a page (sides swapped for the orientations that turn it).
void upright_size(const tiff_state* st, int64_t* w, int64_t* h) {
  const bool turn = tiff_turn_direction(st) != 0;
  *w = turn ? st->height : st->width;
  *h = turn ? st->width : st->height;
}

// 1 when every bitmap row of group g is in memory.
bool group_resident(const tiff_state* st, bitmap_t* page, int64_t g) {
  const int64_t rows = tiff_group_rows(st);
  for (int64_t r = g * rows; r < (g + 1) * rows && r < st->height; ++r)
    if (!bitmap_line_loaded(page, int(tiff_target_row(st, r)))) return false;
  return true;
}

int decode_groups(const tiff_state* st, bitmap_t* target, bool only_missing) {
  const int64_t n = tiff_group_count(st);
  tiff_workspace ws;
  for (int64_t g = 0; g < n; ++g) {
    if (only_missing && group_resident(st, target, g)) continue;
    if (int rc = tiff_decode_group(st, target, g, &ws)) return rc;
  }
  return 0;
}

// Copies every line of `from` into `to` (same size and planes).
int copy_lines(bitmap_t* from, bitmap_t* to) {
  const size_t bytes = size_t(from->width) * size_t(from->planes);
  for (int y = 0; y < from->height; ++y) {
    uint8_t* dst = get_img_line_adr(to, y, 0);
    const uint8_t* src = get_img_line_adr(from, y, 0);
    if (!dst || !src) return ERR_MEMORY;
    dst = get_img_line_adr(to, y, 0);  // fetching the source may have evicted it
    if (!dst) return ERR_MEMORY;
    std::memcpy(dst, src, bytes);
  }
  return 0;
}

// A page of orientation 5 to 8: decoded whole into a bitmap of the stored size, turned,
// and the turned lines copied into the page's own store.
int decode_turned(bitmap_t* page, const tiff_state* st) {
  bitmap_t* flat = nullptr;
  if (!bitmap_clone_header(page, &flat)) return ERR_MEMORY;
  // Not a TIFF record: should the turn find a line of it gone, decoding it again is a
  // harmless refusal rather than a new read of the file's structure.
  flat->format = 0;
  int rc = alloc_bitmap(flat, int(st->width), int(st->height), page->planes, 2) ? ERR_MEMORY : 0;
  if (rc == 0) rc = decode_groups(st, flat, false);
  bitmap_t* turned = nullptr;
  if (rc == 0 && !image_rotate(flat, tiff_turn_direction(st), &turned)) rc = ERR_MEMORY;
  if (rc == 0) rc = copy_lines(turned, page);
  free_obj(&turned);
  free_obj(&flat);
  return rc;
}

// The lines a call asks for, into a page that has its reader state.
int decode_lines(bitmap_t* page, const tiff_state* st, int requested_line) {
  if (requested_line == -1) return 0;
  if (!page->lines) {
    int64_t w = 0, h = 0;
    upright_size(st, &w, &h);
    if (raster_check_size(w, h, page->planes)) return ERR_MEMORY;
    if (alloc_bitmap(page, int(w), int(h), page->planes, st->store_mode)) return ERR_MEMORY;
  }
  if (tiff_turn_direction(st)) return decode_turned(page, st);
  if (requested_line < 0) return decode_groups(st, page, true);
  if (requested_line >= page->height) return 0;
  const int64_t stored = tiff_target_row(st, requested_line);
  return tiff_decode_group(st, page, stored / tiff_group_rows(st));
}

struct chain {
  bitmap_t* proto;
  int order = 0;
  bool viewer = false;
  int requested_line = -1;
  int64_t rows_held = 0;  // line-table rows of the pages kept so far
};

// The page whose directory starts at `offset`; *next gets the next directory's offset.
int read_page(chain* c, int64_t offset, bitmap_t** out, int64_t* next) {
  *out = nullptr;
  *next = 0;
  set_gblerr(0);
  if (offset + 2 > rd_size()) return ERR_BAD_FILE;
  rd_seek(offset, 0);
  bitmap_t* page = nullptr;
  if (!bitmap_clone_header(c->proto, &page)) return ERR_MEMORY;
  tiff_state* st = tiff_attach_state(page);
  if (!st) {
    free_obj(&page);
    return ERR_MEMORY;
  }
  st->order = c->order;
  for (int i = 0; i < 256; ++i) st->sample_map[i] = uint8_t(i);
  int rc = tiff_walk_directory(page, st, c->viewer);
  set_gblerr(0);
  // The next-directory offset follows the entries; the page needs it in the file.
  if (st->next_directory_at > 0 && st->next_directory_at + 4 <= rd_size()) {
    rd_seek(st->next_directory_at, 0);
    *next = tiff_numbers(c->order).u32();
    if (get_gblerr()) *next = 0;
  } else if (rc == 0) {
    rc = ERR_BAD_FILE;
  }
  set_gblerr(0);
  int planes = 1;
  if (rc == 0) rc = tiff_check_page(st, &planes);
  if (rc == 0 && st->reduced) rc = kDiscardedQuietly;
  int64_t w = 0, h = 0;
  upright_size(st, &w, &h);
  if (rc == 0 && (raster_check_size(w, h, planes) || raster_check_size(1, c->rows_held + h, 1) ||
                  c->rows_held + h > kMaxRowsAllPages))
    rc = ERR_MEMORY;
  if (rc == 0) {
    st->store_mode = (tiff_turn_direction(st) || c->requested_line == -2) ? 2 : 3;
    page->bits_per_sample = st->bits_per_sample;
    page->samples_per_pixel = st->samples_per_pixel;
    page->variant = st->pixel_kind;
    if (alloc_bitmap(page, int(w), int(h), planes, st->store_mode)) rc = ERR_MEMORY;
  }
  set_gblerr(0);
  if (rc != 0) {
    free_obj(&page);
    return rc;
  }
  c->rows_held += h;
  *out = page;
  return 0;
}

// Reads the directory chain; the usable pages in file order, or the code that
// discarded them.
int read_structure(chain* c, std::vector<bitmap_t*>* pages) {
  if (tiff_read_header(0, &c->order)) return ERR_BAD_FILE;
  int64_t offset = rd_tell();
  int first_error = 0;
  std::unordered_set<int64_t> seen;
  for (int k = 0; offset != 0 && k < kMaxDirectories; ++k) {
    if (!seen.insert(offset).second) break;  // a circular chain
    bitmap_t* page = nullptr;
    int64_t next = 0;
    const int rc = read_page(c, offset, &page, &next);
    if (rc > 0 && first_error == 0) first_error = rc;
    if (page) pages->push_back(page);
    offset = next;
  }
  if (!pages->empty()) return 0;
  return first_error ? first_error : ERR_BAD_FILE;
}

int first_load(bitmap_t** image, container_t* list, int requested_line, bool viewer) {
  chain c;
  c.proto = *image;
  c.viewer = viewer;
  c.requested_line = requested_line;
  std::vector<bitmap_t*> pages;
  if (int rc = read_structure(&c, &pages)) return rc;
  const bool several = pages.size() > 1;
  std::shared_ptr<tiff_disk_file> disk;
  for (bitmap_t* page : pages) {
    tiff_state* st = tiff_state_of(page);
    if (st->store_mode != 3) continue;
    if (!disk && !(disk = keep_file_open())) break;
    st->disk = disk;
  }
  int result = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    bitmap_t* page = pages[i];
    page->frame_number = several ? int32_t(i + 1) : 0;
    const tiff_state* st = tiff_state_of(page);
    if (tiff_turn_direction(st) || requested_line == -2) {
      const int rc = decode_lines(page, st, -2);
      if (rc && result == 0) result = rc;
    }
    if (list) obj_add_to_id_list(list, page);
  }
  bitmap_t* given = *image;
  *image = pages[0];
  free_obj(&given);
  if (!list)  // nobody to hold the other pages
    for (size_t i = 1; i < pages.size(); ++i) free_obj(&pages[i]);
  return result;
}

int read_tiff(bitmap_t** image, container_t* list, int requested_line, bool viewer) {
  if (!image || !*image) return ERR_BAD_FILE;
  if (const tiff_state* st = tiff_state_of(*image); st && st->disk) {
    // Lines on demand from the file the page keeps open.
    const int rc = decode_lines(*image, st, requested_line);
    set_gblerr(0);
    return rc;
  }
  obj_t* file = (*image)->file;
  if (rd_open(file, kTiffBuffer, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  set_gblerr(0);
  int rc;
  if (const tiff_state* st = tiff_state_of(*image))
    rc = decode_lines(*image, st, requested_line);
  else
    rc = first_load(image, list, requested_line, viewer);
  set_gblerr(0);
  rd_close_file(file);
  return rc;
}

}  // namespace

tiff_disk_file::~tiff_disk_file() {
  if (!handle) return;
  std::fclose(handle);
  g_kept_files.fetch_sub(1);
}

int tiff_read(bitmap_t** image, container_t* list, int requested_line) {
  return read_tiff(image, list, requested_line, false);
}

int tiff_read_viewer(bitmap_t** image, container_t* list, int requested_line) {
  return read_tiff(image, list, requested_line, true);
}
