// Opening a ZIP member: a compressed member is decoded into its memory, a stored one
// is read in place by the reader and only has its check value verified here.
//
// The member's file object records where its data lies in the archive, its sizes and
// its compression kind; the data is read from the archive itself, from the data
// offset and never beyond the compressed size. The check value lives in the member's
// local header just before the data: that header is found again from the data offset
// (its name length is known from the member's name, its extra-field length is
// searched), and its CRC-32 and size are compared with what the member holds.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/checksum.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/inflate.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/reader.h"

namespace {

constexpr int64_t kWholeFileBuffer = 131072;
constexpr int64_t kHeaderSize = 30;
constexpr int64_t kMaxExtra = 65535;
constexpr int64_t kShortExtra = 1024;
constexpr int kFlagDescriptor = 0x08;
constexpr int kTypeInMemory = 7;
constexpr int kTypeUnreadable = 125;
constexpr int kTypeArchive = 128;
constexpr int kKindStored = 0;
constexpr uint32_t kWindowOfKind[3] = {0, 32768, 65536};

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

struct member_check {
  bool has_check = false;  // false: the check value follows the data (a descriptor)
  uint32_t crc = 0;
  int64_t size = -1;
};

// The member's name inside the archive: its path without the archive's name and '/'.
bool entry_name(obj_t* member, obj_t* archive, std::string* out) {
  const char* path = file_name_of(member);
  const char* prefix = file_name_of(archive);
  const size_t n = std::strlen(prefix);
  if (std::strncmp(path, prefix, n) != 0 || path[n] != '/') return false;
  *out = path + n + 1;
  return true;
}

// Whether the bytes at `p` are the local header of `name` whose data starts `extra`
// bytes after the name.
bool header_matches(const uint8_t* p, const std::string& name, uint32_t extra) {
  return le32(p) == 0x04034b50 && le16(p + 26) == name.size() && le16(p + 28) == extra &&
         std::memcmp(p + kHeaderSize, name.data(), name.size()) == 0;
}

// Looks for the member's local header among the places it can start when its extra
// field holds at most `most_extra` bytes, nearest to the data first (the archive is
// the reader's current file). True when found; `out` then holds its check value, if
// it has one (with a descriptor it follows the data instead).
bool find_header(const std::string& name, int64_t data, int64_t most_extra,
                 member_check* out) {
  const int64_t fixed = kHeaderSize + int64_t(name.size());
  const int64_t first = std::max<int64_t>(0, data - fixed - most_extra);
  if (data - first < fixed) return false;
  uint8_t* bytes = nullptr;
  alloc_mem(&bytes, size_t(data - first));
  rd_seek(first, 0);
  bool found = false;
  if (rd_read_bytes(bytes, data - first) == data - first) {
    for (int64_t extra = 0; !found && data - fixed - extra >= first; ++extra) {
      const uint8_t* p = bytes + (data - fixed - extra - first);
      if (!header_matches(p, name, uint32_t(extra))) continue;
      found = true;
      out->has_check = !(le16(p + 6) & kFlagDescriptor);
      out->crc = le32(p + 14);
      out->size = le32(p + 22);
    }
  }
  free_mem(&bytes);
  return found;
}

// The member's check value from its local header; false when there is none. Extra
// fields are mostly short: the bytes just before the data are searched first, the
// whole reach of the longest extra field only when the header is not among them.
bool find_check(obj_t* member, obj_t* archive, int64_t data, member_check* out) {
  std::string name;
  if (!entry_name(member, archive, &name)) return false;
  for (int64_t most_extra : {kShortExtra, kMaxExtra})
    if (find_header(name, data, most_extra, out)) return out->has_check;
  return false;
}

// The CRC-32 of `n` bytes from the reader's position.
uint32_t crc_of_bytes(int64_t n) {
  uint8_t chunk[16384];
  uint32_t crc = kCrc32Init;
  while (n > 0 && get_gblerr() == 0) {
    const int64_t piece = n < int64_t(sizeof chunk) ? n : int64_t(sizeof chunk);
    const int64_t got = rd_read_bytes(chunk, piece);
    if (got <= 0) break;
    crc = crc32_update(crc, chunk, size_t(got));
    n -= got;
  }
  return crc;
}

int inflate_member(obj_t* member, obj_t* archive, int64_t kind, int64_t limit,
                   const member_check* check, filemobj_t** store) {
  if (filemobj_create(member, member, 0, 32768, 0, store) != 0) return ERR_MEMORY;
  inflater_t inf;
  inf.input = archive;
  inf.input_size = file_get(member, FF_PACKED_SIZE);
  inf.window_size = kWindowOfKind[kind];
  inf.output = inf.output_file = member;
  inf.store = *store;
  inf.limit = limit;
  inf.wrap = check ? INFLATE_ZIP : INFLATE_RAW;
  if (check) {
    inf.expected_check = check->crc;
    inf.expected_size = check->size;
  }
  return inflate_blocks(&inf);
}

// Decodes (or, for a stored member, verifies) the member; the store is made only for a
// compressed one.
int open_member(obj_t* member, int64_t limit, filemobj_t** store) {
  const int64_t kind = file_get(member, FF_PACK_KIND);
  if (kind < kKindStored || kind > 2) return ERR_UNKNOWN_FORMAT;
  obj_t* archive = get_file_ops().container(member);
  if (!archive || rd_open(archive, limit > 0 ? limit : kWholeFileBuffer, 0) != 0)
    return ERR_FILE_ACCESS;
  const int64_t data = file_get(member, FF_DATA_OFFSET);
  const int64_t packed = file_get(member, FF_PACKED_SIZE);
  if (data < 0 || packed < 0 || data > rd_size() || packed > rd_size() - data)
    return ERR_BAD_FILE;
  member_check check;
  const bool checked = find_check(member, archive, data, &check);
  if (get_gblerr() != 0) return get_gblerr();
  rd_seek(data, 0);
  if (kind != kKindStored) return inflate_member(member, archive, kind, limit,
                                                 checked ? &check : nullptr, store);
  if (!checked || limit > 0) return 0;
  const uint32_t crc = crc_of_bytes(packed);
  if (get_gblerr() != 0) return get_gblerr();
  return crc == check.crc && packed == check.size ? 0 : ERR_BAD_FILE;
}

}  // namespace

int zip_open_member(obj_t* member, int64_t limit) {
  // An archive shares the format code of its members but is read as it is.
  if (file_get(member, FF_TYPE) == kTypeArchive) return 0;
  file_set(member, FF_CONTENT_STATE, limit > 0 ? 1 : 2);
  const bool stored = file_get(member, FF_PACK_KIND) == kKindStored;
  const file_ops& ops = get_file_ops();
  if (!stored) ops.set_store(member, nullptr);
  filemobj_t* store = nullptr;
  int err = open_member(member, limit, &store);
  if (!err) err = get_gblerr();
  if (err) {
    set_gblerr(0);  // objects are not freed while an error is pending
    obj_t* s = reinterpret_cast<obj_t*>(store);
    free_obj(&s);
    file_set(member, FF_TYPE, kTypeUnreadable);
    file_set(member, FF_CONTENT_STATE, 0);
    return err;
  }
  if (stored) return 0;
  ops.set_store(member, reinterpret_cast<obj_t*>(store));
  file_set(member, FF_START, 0);
  file_set(member, FF_SIZE, filemobj_data_size(store));
  if (limit > 0) file_set(member, FF_TYPE, kTypeInMemory);
  return 0;
}
