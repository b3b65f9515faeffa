// Reading a saved table. The whole file is read into new records first; the table is
// changed only when every check has passed (header, field widths against the class,
// record count against the bytes that remain, each row's class word, the check sum),
// so a corrupt file costs nothing already loaded.
//
// A backup left beside the file ("<name>sav") means a write was under way. When the
// file itself reads whole, that write completed and the file is the newest table: the
// backup is removed. Otherwise the backup is the last complete table and takes the
// file's place.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_info.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/paths.h"
#include "core/reader.h"
#include "map/file_object.h"
#include "map/saved_table_layout.h"
#include "map/saved_tables.h"

using namespace savfile_detail;

namespace {

uint32_t get_u32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool read_exact(void* out, int64_t n) {
  if (n == 0) return true;
  return rd_read_bytes(out, n) == n && get_gblerr() == 0;
}

// A field width is acceptable when the record can take it: a value field exactly its
// type's width, a text field any multiple of 4 from 4 up.
bool width_fits(const field_desc& f, uint32_t w) {
  const uint32_t base = base_width(f.type);
  switch (f.kind) {
    case FIELD_STRING:
    case FIELD_WIDE: return w >= 4 && w % 4 == 0 && w <= kSavedTableMaxRow;
    case FIELD_POINTER:
    case FIELD_VALUE: return w == base;
  }
  return false;
}

struct parsed {
  std::vector<obj_t*> records;
  ~parsed() { release(); }
  void release() {
    for (obj_t*& r : records) free_obj(&r);
    records.clear();
  }
};

// Fills a new record from one row (fields from the third on: the id is new, and the
// class word was checked).
obj_t* record_from_row(int cls, const unsigned char* row, const field_desc* fields,
                       const std::vector<uint32_t>& widths) {
  obj_t* rec = nullptr;
  obj_new_registered(cls, &rec);
  if (!rec) return nullptr;
  size_t at = widths[0] + widths[1];
  for (size_t i = 2; i < widths.size(); at += widths[i], ++i) {
    const unsigned char* src = row + at;
    char* dst = reinterpret_cast<char*>(rec) + fields[i].offset;
    switch (fields[i].kind) {
      case FIELD_STRING:
      case FIELD_WIDE: {
        char* s = nullptr;
        alloc_mem_zero(&s, size_t(widths[i]) + 2);  // the field and a terminator after it
        std::memcpy(s, src, widths[i]);
        std::memcpy(dst, &s, sizeof s);
        break;
      }
      case FIELD_POINTER: break;  // never read back
      case FIELD_VALUE: std::memcpy(dst, src, widths[i]); break;
    }
  }
  return rec;
}

// Reads the current reader file as a table of class `cls` into `out`.
int parse_current(int cls, parsed* out) {
  unsigned char head[kHeaderBytes];
  if (!read_exact(head, kHeaderBytes)) return SAVFILE_CORRUPT;
  if (std::memcmp(head, kMagic, 8) != 0 || get_u32(head + 8) != kSavedTableVersion ||
      get_u32(head + 12) != uint32_t(cls))
    return SAVFILE_FOREIGN;
  field_desc fields[kMaxFields];
  int n = 0;
  if (!class_fields(cls, fields, kMaxFields, &n) || get_u32(head + 20) != uint32_t(n))
    return SAVFILE_FOREIGN;
  const uint32_t count = get_u32(head + 16);
  std::vector<unsigned char> raw(static_cast<size_t>(n) * 4);
  if (!read_exact(raw.data(), int64_t(raw.size()))) return SAVFILE_CORRUPT;
  std::vector<uint32_t> widths(static_cast<size_t>(n));
  uint64_t row_size = 0;
  for (int i = 0; i < n; ++i) {
    widths[i] = get_u32(raw.data() + 4 * i);
    if (!width_fits(fields[i], widths[i])) return SAVFILE_CORRUPT;
    row_size += widths[i];
  }
  if (row_size > kSavedTableMaxRow) return SAVFILE_CORRUPT;
  // The rows and the check sum must all be there before anything is allocated.
  if (uint64_t(count) * row_size + 4 > uint64_t(rd_bytes_left())) return SAVFILE_CORRUPT;
  std::vector<unsigned char> row(row_size);
  uint32_t sum = 0;
  for (uint32_t r = 0; r < count; ++r) {
    if (!read_exact(row.data(), int64_t(row_size))) return SAVFILE_CORRUPT;
    if (get_u32(row.data() + widths[0]) != uint32_t(cls)) return SAVFILE_CORRUPT;
    obj_t* rec = record_from_row(cls, row.data(), fields, widths);
    if (!rec) return SAVFILE_CORRUPT;
    out->records.push_back(rec);
    sum += get_u32(row.data());
  }
  unsigned char tail[4];
  if (!read_exact(tail, 4) || get_u32(tail) != sum) return SAVFILE_CORRUPT;
  return SAVFILE_OK;
}

// Reads the file at `path` through a file object; the records stay in `out`.
int parse_file(fileatt_t* f, int cls, parsed* out) {
  int kind = 0;
  int64_t size = 0;
  double date = 0;
  // The object may predate the file (a table written in this run): sizes are fresh.
  file_info(file_get_name(f), &kind, &size, &date);
  if (kind != 7) return SAVFILE_NO_FILE;
  file_set_size(f, size);
  f->lastupdatedate = date;
  if (rd_open(f, kSavedTableBuffer, 1) != 0) return SAVFILE_NO_FILE;
  const int result = parse_current(cls, out);
  rd_close_file(f);
  set_gblerr(0);  // an end of data met while reading is this reader's own report
  if (result != SAVFILE_OK) out->release();
  return result;
}

}  // namespace

namespace {

int read_table(const char* name, fileatt_t* f, container_t* table);

}  // namespace

int savfile_read(const char* name, container_t* table, fileatt_t** out_file) {
  if (out_file) *out_file = nullptr;
  if (!name || !*name || !table || table->elem_class == 0 || get_gblerr() != 0)
    return SAVFILE_NO_FILE;
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, name, 1, 0, &f);
  if (!f) return SAVFILE_NO_FILE;
  const int result = read_table(name, f, table);
  // A file object made for this read and not wanted by the caller goes now; one the
  // file table holds belongs to others.
  if (out_file)
    *out_file = f;
  else if (!f->in_table)
    free_obj(&f);
  return result;
}

namespace {

int read_table(const char* name, fileatt_t* f, container_t* table) {
  const int cls = table->elem_class;
  parsed got;
  int result = SAVFILE_NO_FILE;
  const std::string backup = std::string(name) + "sav";
  if (file_exists(backup.c_str())) {
    result = parse_file(f, cls, &got);
    if (result == SAVFILE_OK) {
      path_remove(backup.c_str());  // the write had completed: the file is the newest
    } else {
      path_remove(name);
      std::rename(backup.c_str(), name);
      result = SAVFILE_NO_FILE;
    }
  }
  if (result != SAVFILE_OK) result = parse_file(f, cls, &got);
  if (result != SAVFILE_OK) return result;
  for (obj_t* rec : got.records) index_insert(table, rec);
  got.records.clear();
  return SAVFILE_OK;
}

}  // namespace
