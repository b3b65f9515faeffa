// gzip files (RFC 1952): every member's header is skipped, its Deflate stream decoded
// into one line store, and its trailer (CRC-32 and size of the member's data) checked.
// The members of a multi-member file follow one another; bytes after the last member
// that do not begin another member are ignored.
//
// Once decoded, the file's size is the decoded size. The compressed size is kept
// aside at the first decoding, so that a later one (the whole file after a probe with
// a limit) reads the whole compressed file again rather than as many bytes as the
// probe produced.
#include "core/error.h"
#include "core/file_ops.h"
#include "core/inflate.h"
#include "core/line_store.h"
#include "core/object.h"
#include "core/reader.h"

namespace {

constexpr int kFlagHeaderCrc = 0x02;
constexpr int kFlagExtra = 0x04;
constexpr int kFlagName = 0x08;
constexpr int kFlagComment = 0x10;
constexpr int kFlagUnknown = 0x20;
constexpr int kHeaderSize = 10;
constexpr int64_t kWholeFileBuffer = 131072;
constexpr int kTypeUnreadable = 125;

int skip_bytes(int64_t n) {
  if (rd_bytes_left() < n) return ERR_BAD_FILE;
  rd_seek(n, 1);
  return 0;
}

// Skips a zero-terminated field (name or comment) and its zero.
int skip_text() {
  while (rd_bytes_left() > 0)
    if (rd_read_byte() == 0) return 0;
  return ERR_BAD_FILE;
}

// Reads the member header at the reader's position; the data follows it.
int read_header() {
  if (rd_bytes_left() < kHeaderSize) return ERR_BAD_FILE;
  rd_seek(3, 1);
  const int flags = rd_read_byte();
  if (flags & kFlagUnknown) return ERR_UNKNOWN_FORMAT;
  rd_seek(6, 1);  // modification time, extra flags, system
  if (flags & kFlagExtra) {
    if (rd_bytes_left() < 2) return ERR_BAD_FILE;
    if (int err = skip_bytes(rd_read_u16())) return err;
  }
  if (flags & kFlagName)
    if (int err = skip_text()) return err;
  if (flags & kFlagComment)
    if (int err = skip_text()) return err;
  if (flags & kFlagHeaderCrc) return skip_bytes(2);
  return 0;
}

// 1 when another member starts at the reader's position.
bool member_follows() {
  if (rd_bytes_left() < kHeaderSize) return false;
  const int id1 = rd_read_byte();
  const int id2 = rd_read_byte();
  rd_seek(-2, 1);
  return id1 == 0x1F && id2 == 0x8B;
}

// The trailer of a member decoded to its end: CRC-32, then size modulo 2^32.
int check_trailer(const inflater_t& inf) {
  if (rd_bytes_left() < 8) return ERR_FILE_ACCESS;
  const uint32_t crc = rd_read_u32();
  const uint32_t size = rd_read_u32();
  return crc == inf.check && size == uint32_t(inf.produced) ? 0 : ERR_BAD_FILE;
}

int decode_members(obj_t* file, filemobj_t* store, int64_t limit) {
  inflater_t inf;
  inf.input = file;
  inf.window_size = 32768;
  inf.output = inf.output_file = file;
  inf.store = store;
  inf.limit = limit;
  inf.wrap = INFLATE_GZIP;
  bool first = true;
  do {
    if (int err = read_header()) return err;
    if (first) file_set(file, FF_DATA_OFFSET, rd_tell());
    first = false;
    if (int err = inflate_blocks(&inf)) return err;
    if (!inf.finished) return 0;  // stopped at the limit
    if (int err = check_trailer(inf)) return err;
    if (limit > 0 && filemobj_data_size(store) > limit) return 0;
  } while (member_follows());
  return 0;
}

// Makes the file's size the size of its compressed bytes again, recording that size
// when the file is decoded for the first time.
void restore_source_size(obj_t* file) {
  const int64_t source = file_get(file, FF_SOURCE_SIZE);
  if (source > 0)
    file_set(file, FF_SIZE, source);
  else
    file_set(file, FF_SOURCE_SIZE, file_get(file, FF_SIZE));
}

}  // namespace

int gzip_open_member(obj_t* file, int64_t limit) {
  const file_ops& ops = get_file_ops();
  ops.set_store(file, nullptr);
  restore_source_size(file);
  file_set(file, FF_CONTENT_STATE, limit > 0 ? 1 : 2);
  filemobj_t* store = nullptr;
  int err = 0;
  if (rd_open(file, limit > 0 ? limit : kWholeFileBuffer, 1) != 0)
    err = ERR_FILE_ACCESS;
  else if (rd_size() < kHeaderSize)
    err = ERR_BAD_FILE;
  else if (filemobj_create(file, file, 0, 32768, 0, &store) != 0)
    err = ERR_MEMORY;
  else
    err = decode_members(file, store, limit);
  if (!err) err = get_gblerr();
  rd_close_file(file);
  if (err) {
    set_gblerr(0);  // objects are not freed while an error is pending
    obj_t* s = reinterpret_cast<obj_t*>(store);
    free_obj(&s);
    file_set(file, FF_TYPE, kTypeUnreadable);
    file_set(file, FF_SIZE, 0);
    file_set(file, FF_CONTENT_STATE, 0);
    return err;
  }
  // From now on the file's data is its memory, from its first byte.
  ops.set_store(file, reinterpret_cast<obj_t*>(store));
  file_set(file, FF_START, 0);
  file_set(file, FF_SIZE, filemobj_data_size(store));
  return 0;
}
