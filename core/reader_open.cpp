// Opening files for the buffered reader: the open-file table ordered by last use, the
// resolution of a file object into the source of its bytes, and the filling of the
// buffer from a disk file or a line store.
//
// A file object's bytes come from one of four places: its own line store (a download,
// a decompressed member), its packed bytes (compressed bytes held in memory, decoded
// from there), the line store or disk file of the archive it is a member of (at the
// member's start offset), or its disk file. Compressed files (gzip, ZIP members)
// are first decompressed into a line store. A decoder marks the file's content state
// (partial or complete) before it reads the raw bytes through this reader, so a file
// whose content state is set but which has no store yet is read as the plain bytes it
// is: that is how the decoder's own opens, and a decoder called directly, read it.
//
// The table holds pointers to line stores. A store that was replaced or freed is
// noticed when its file is made current again (the file no longer leads to it), and
// the entry is closed before anything reads through it.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/inflate.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/reader_reopen.h"
#include "core/reader_state.h"

namespace rd_detail {
namespace {

constexpr int kFormatGzip = 52;
constexpr int kFormatZipMember = 53;
constexpr int kTypeArchive = 128;  // a ZIP archive shares its members' format code
constexpr int64_t kMinBuffer = 1024;
constexpr int kMaxArchiveDepth = 32;  // archives inside archives, read in place

entry g_table[kReaderOpenFiles];
bool g_in_place_next = false;  // rd_use_store_memory

// Where a file object's bytes lie.
struct source {
  const char* path = nullptr;   // disk file (when store is null)
  filemobj_t* store = nullptr;
  int64_t start = 0;
  int64_t size = 0;
};

filemobj_t* store_of(obj_t* file) { return reinterpret_cast<filemobj_t*>(file_store_of(file)); }

filemobj_t* packed_of(obj_t* file) { return reinterpret_cast<filemobj_t*>(file_packed_of(file)); }

// The line store a file's bytes are held in now: its own, else its packed bytes, else
// its archive's.
filemobj_t* held_store(obj_t* file) {
  if (filemobj_t* own = store_of(file)) return own;
  if (filemobj_t* packed = packed_of(file)) return packed;
  obj_t* archive = get_file_ops().container(file);
  return archive ? store_of(archive) : nullptr;
}

// Decompresses a gzip file or a ZIP member that has no data in memory yet (content
// state 0; a decoder sets it before reading the raw bytes, and a stored ZIP member
// keeps it while its bytes are read from the archive). A failure is not reported by
// code: the error is cleared and the file counts as unreadable.
bool extract_if_needed(obj_t* file) {
  const int64_t format = file_get(file, FF_FORMAT);
  if (format != kFormatGzip && format != kFormatZipMember) return true;
  if (file_get(file, FF_TYPE) == kTypeArchive) return true;  // read as it is
  if (store_of(file) || file_get(file, FF_CONTENT_STATE) != 0) return true;
  const int before = get_gblerr();
  const bool in_place = g_in_place_next;  // the decoder's own closes must not drop it
  const int rc = format == kFormatGzip ? gzip_open_member(file, 0) : zip_open_member(file, 0);
  g_in_place_next = in_place;
  if (rc != 0 || get_gblerr() != before) {
    set_gblerr(before);
    return false;
  }
  return true;
}

// The data size of a store seen from `start`, never negative.
int64_t store_bytes_from(filemobj_t* store, int64_t start) {
  return std::max<int64_t>(0, filemobj_data_size(store) - start);
}

bool resolve_source(obj_t* file, source* src, int depth = 0) {
  if (!extract_if_needed(file)) return false;
  src->start = file_get(file, FF_START);
  src->size = file_get(file, FF_SIZE);
  // Offsets come from file headers: the end of the data must be a representable offset.
  if (src->start < 0 || src->size < 0 || src->size > INT64_MAX - src->start) return false;
  if (filemobj_t* own = store_of(file)) {
    src->store = own;
    const int64_t held = store_bytes_from(own, src->start);
    src->size = src->size == 0 ? held : std::min(src->size, held);
    return true;
  }
  // Compressed bytes held in memory are the whole of the packed store.
  if (filemobj_t* packed = packed_of(file)) {
    src->store = packed;
    src->start = 0;
    src->size = store_bytes_from(packed, 0);
    return true;
  }
  if (obj_t* archive = get_file_ops().container(file)) {
    // A member lies at its start in its archive's bytes, wherever those lie: in the
    // archive's memory, on disk, or in turn in place inside an outer archive.
    source outer;
    if (depth >= kMaxArchiveDepth || !resolve_source(archive, &outer, depth + 1)) return false;
    if (src->start > INT64_MAX - outer.start) return false;
    src->size = std::min(src->size, std::max<int64_t>(0, outer.size - src->start));
    src->start += outer.start;
    src->store = outer.store;
    src->path = outer.path;
    return true;
  }
  src->path = file_name_of(file);
  return true;
}

// Buffer size for a request: 0 the whole file, at least 1024, never beyond the file
// (a file of size 0 gets 1). A memory-held file uses the store's lines, after making
// the store one line when the whole file is asked for.
int64_t wanted_buffer_size(const source& src, int64_t requested) {
  int64_t bs;
  if (src.store) {
    if (requested == 0 && filemobj_line_count(src.store) > 1) filemobj_flatten(src.store);
    bs = std::min<int64_t>(filemobj_line_size(src.store), src.size);
  } else {
    bs = requested <= 0 ? src.size : std::max(requested, kMinBuffer);
    bs = std::min(bs, src.size);
  }
  return std::clamp<int64_t>(bs, 1, kReaderMaxBuffer);
}

// A store's line can serve as the buffer itself only when every buffer of the file
// lies within one line.
bool in_place_possible(const source& src, int64_t bs) {
  const int64_t line = filemobj_line_size(src.store);
  if (line <= 0) return false;
  if (bs == line && src.start % line == 0) return true;
  return bs >= src.size && src.start % line + src.size <= line;
}

bool same_path(const char* a, const char* b) {
  return (!a && !b) || (a && b && std::strcmp(a, b) == 0);
}

// An entry that already holds a buffer keeps it when it still reads the same data.
bool entry_fits(const entry& e, const source& src, int64_t bs) {
  if (e.buffer_size < bs || e.size != src.size || e.start != src.start) return false;
  if (e.store != src.store) return false;
  if (e.store) return e.line_size == filemobj_line_size(e.store);
  return same_path(e.path, src.path);
}

void reset_bits(entry& e) {
  e.bit_mask = 128;
  e.bit_counter = 1;
}

void close_entry(entry& e) {
  if (e.handle) std::fclose(e.handle);
  free_mem(&e.owned);
  free_mem(&e.path);
  e = entry{};
}

bool start_entry(entry& e, const source& src, int64_t bs) {
  e.store = src.store;
  e.start = src.start;
  e.size = src.size;
  e.pos = 0;
  reset_bits(e);
  e.buffer_size = bs;
  if (src.store) {
    e.line_size = filemobj_line_size(src.store);
    e.in_place = g_in_place_next && in_place_possible(src, bs);
  } else {
    e.handle = open_file_resolved(src.path, "rb");
    if (!e.handle) return false;
    str_set(src.path, &e.path);
  }
  if (!e.in_place) e.data = alloc_mem(&e.owned, static_cast<size_t>(bs));
  fill_buffer(e);
  return true;
}

int find_entry(obj_t* file) {
  for (int i = 0; i < kReaderOpenFiles; ++i)
    if (g_table[i].file == file) return i;
  return -1;
}

// Makes `file` current again when it is still open (a decoder may have closed it).
void restore_current(obj_t* file) {
  if (file && cur().file != file && find_entry(file) >= 0) rd_make_current(file);
}

// Copies bytes of a store from an offset, line after line; returns the number copied.
int64_t copy_from_store(filemobj_t* store, int64_t offset, uint8_t* dst, int64_t n) {
  int64_t done = 0;
  while (done < n) {
    int64_t count = n - done;
    const uint8_t* p = filemobj_read_ptr(store, offset + done, &count);
    if (!p || count <= 0) break;
    count = std::min(count, n - done);
    std::memcpy(dst + done, p, static_cast<size_t>(count));
    done += count;
  }
  return done;
}

int64_t read_disk(std::FILE* handle, int64_t offset, uint8_t* dst, int64_t n) {
  if (!handle || file_seek_large(handle, offset, SEEK_SET) != 0) return 0;
  return static_cast<int64_t>(std::fread(dst, 1, static_cast<size_t>(n), handle));
}

}  // namespace

entry& cur() { return g_table[0]; }

void fill_buffer(entry& e) {
  // Noted before the line is fetched: a block freed from here on, even by the fetch
  // itself, makes the next read fetch the address again.
  if (e.in_place) e.released = filemobj_released_lines();
  e.buffer_len = 0;
  if (e.buffer_size <= 0 || e.pos < 0) return;
  e.buffer_start = e.pos / e.buffer_size * e.buffer_size;
  if (e.buffer_start >= e.size) return;
  const int64_t want = std::min(e.buffer_size, e.size - e.buffer_start);
  if (e.in_place) {
    int64_t count = want;
    e.data = filemobj_read_ptr(e.store, e.start + e.buffer_start, &count);
    e.buffer_len = e.data ? std::min(count, want) : 0;
  } else if (e.store) {
    e.buffer_len = copy_from_store(e.store, e.start + e.buffer_start, e.owned, want);
  } else {
    e.buffer_len = read_disk(e.handle, e.start + e.buffer_start, e.owned, want);
  }
  // Data that ends before its recorded size (a disk file cut short since it was listed,
  // a line that cannot be had) ends there: the size becomes the bytes really present,
  // so that every reader that tests for the end stops.
  if (e.buffer_len < want) e.size = e.buffer_start + e.buffer_len;
}

int64_t read_raw(entry& e, int64_t position, void* dst, int64_t n) {
  if (position < 0 || n <= 0 || position >= e.size) return 0;
  n = std::min(n, e.size - position);
  keep_in_place_valid(e);
  uint8_t* out = static_cast<uint8_t*>(dst);
  if (e.data && position >= e.buffer_start && position + n <= e.buffer_start + e.buffer_len) {
    std::memcpy(out, e.data + (position - e.buffer_start), static_cast<size_t>(n));
    return n;
  }
  if (e.store) return copy_from_store(e.store, e.start + position, out, n);
  return read_disk(e.handle, e.start + position, out, n);
}

}  // namespace rd_detail

using namespace rd_detail;

void rd_make_current(obj_t* file) {
  if (!file) return;
  int i = find_entry(file);
  if (i < 0) i = find_entry(nullptr);
  if (i < 0) {
    i = kReaderOpenFiles - 1;  // the least recently used falls off the table
    close_entry(g_table[i]);
  }
  entry moved = g_table[i];
  std::move_backward(g_table, g_table + i, g_table + i + 1);
  g_table[0] = moved;
  entry& e = g_table[0];
  e.file = file;
  if (e.buffer_size > 0 && e.store != held_store(file)) {
    // The file's content was replaced or freed meanwhile: the entry must not read it.
    close_entry(e);
    e.file = file;
  } else if (e.in_place) {
    fill_buffer(e);  // a line read in place may have been released meanwhile
  }
}

int rd_open(obj_t* file, int64_t buffer_size, int rewind) {
  if (!file) return 1;
  // A failed open leaves the file that was current before it current.
  obj_t* const before = cur().file;
  source src;
  if (!resolve_source(file, &src)) {
    restore_current(before);
    return 1;
  }
  const int64_t bs = wanted_buffer_size(src, buffer_size);
  rd_make_current(file);
  entry& e = cur();
  if (e.buffer_size > 0 && !entry_fits(e, src, bs)) {
    close_entry(e);
    e.file = file;
  }
  if (e.buffer_size == 0 && !start_entry(e, src, bs)) {
    close_entry(e);
    restore_current(before);
    return 1;
  }
  if (rewind) {
    e.pos = 0;
    reset_bits(e);
    if (e.buffer_start != 0 || e.buffer_len == 0) fill_buffer(e);
  }
  return 0;
}

void rd_close_file(obj_t* file) {
  g_in_place_next = false;
  if (!file) return;
  const int i = find_entry(file);
  if (i >= 0) close_entry(g_table[i]);
}

void rd_close_all() {
  g_in_place_next = false;
  for (entry& e : g_table) close_entry(e);
}

void rd_use_store_memory() { g_in_place_next = true; }

obj_t* rd_current_file() { return cur().file; }

FILE* rd_reopen_disk_file(int64_t* start, int64_t* size) {
  const entry& e = cur();
  if (!e.handle || !e.path || e.store) return nullptr;
  std::FILE* f = open_file_resolved(e.path, "rb");
  if (!f) return nullptr;
  *start = e.start;
  *size = e.size;
  return f;
}

int rd_table_holds(obj_t* file) { return file && find_entry(file) >= 0 ? 1 : 0; }

int64_t rd_buffer_size() { return cur().buffer_size; }
