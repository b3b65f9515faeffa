// Writing a saved table: field widths measured over the records, the header, one row
// per record in index order and the check sum; the previous file is kept as a backup
// until the new one is complete.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/paths.h"
#include "core/wstring.h"
#include "map/file_object.h"
#include "map/saved_table_layout.h"
#include "map/saved_tables.h"

namespace savfile_detail {

field_kind kind_of(int type) {
  switch (type) {
    case AT_STRING: return FIELD_STRING;
    case AT_WSTRING: return FIELD_WIDE;
    case AT_REF: case AT_LIST: case AT_FATHER: case AT_COORDS: case AT_OBJARRAY:
      return FIELD_POINTER;
    default: return FIELD_VALUE;
  }
}

uint32_t base_width(int type) {
  if (type < 0 || type >= AT_TYPE_COUNT) return 0;
  switch (type) {
    case AT_STRING: case AT_WSTRING: case AT_REF: case AT_LIST: case AT_FATHER: return 4;
    case AT_COORDS: return 20;
    case AT_OBJARRAY: return 12;
    default: return uint32_t(kAttrTypeSize[type]);
  }
}

bool class_fields(int cls, field_desc* out, int capacity, int* count) {
  const int n = obj_class_attr_count(cls);
  *count = 0;
  if (n < 2 || n > capacity) return false;
  for (int i = 0; i < n; ++i) {
    int type = 0, offset = 0;
    if (!obj_attr_info(cls, i, &type, &offset, nullptr)) return false;
    out[i] = {type, offset, kind_of(type)};
  }
  *count = n;
  return true;
}

}  // namespace savfile_detail

using namespace savfile_detail;

namespace {

uint32_t round4(uint64_t w) { return uint32_t((w + 3) / 4 * 4); }

// Widths of every field over all records (strings measured), each a multiple of 4.
// False when a row would be longer than a reader accepts.
bool measure(const container_t* table, const field_desc* fields, int n,
             std::vector<uint32_t>* widths) {
  widths->assign(size_t(n), 0);
  for (int i = 0; i < n; ++i) (*widths)[i] = base_width(fields[i].type);
  for (int r = 0; r < obj_list_count(table); ++r) {
    const obj_t* rec = table->elems[r];
    for (int i = 0; i < n; ++i) {
      uint64_t w = 0;
      if (fields[i].kind == FIELD_STRING) {
        const char* s = field_load<const char*>(rec, fields[i].offset);
        w = (s ? std::strlen(s) : 0) + 1;
      } else if (fields[i].kind == FIELD_WIDE) {
        const char16_t* s = field_load<const char16_t*>(rec, fields[i].offset);
        w = 2 * uint64_t(wstr_len(s)) + 4;
      }
      if (w > kSavedTableMaxRow) return false;
      if (w > (*widths)[i]) (*widths)[i] = uint32_t(w);
    }
  }
  uint64_t row = 0;
  for (uint32_t& w : *widths) row += (w = round4(w));
  return row <= kSavedTableMaxRow;
}

void fill_row(const obj_t* rec, const field_desc* fields, const std::vector<uint32_t>& widths,
              std::vector<unsigned char>* row) {
  std::fill(row->begin(), row->end(), 0);
  size_t at = 0;
  for (size_t i = 0; i < widths.size(); at += widths[i], ++i) {
    unsigned char* dst = row->data() + at;
    switch (fields[i].kind) {
      case FIELD_STRING: {
        const char* s = field_load<const char*>(rec, fields[i].offset);
        if (s) std::memcpy(dst, s, std::strlen(s));
        break;
      }
      case FIELD_WIDE: {
        const char16_t* s = field_load<const char16_t*>(rec, fields[i].offset);
        if (s) std::memcpy(dst, s, 2 * wstr_len(s));
        break;
      }
      case FIELD_POINTER: break;  // no address ever reaches a file
      case FIELD_VALUE:
        std::memcpy(dst, reinterpret_cast<const char*>(rec) + fields[i].offset, widths[i]);
        break;
    }
  }
}

void put_u32(std::vector<unsigned char>* out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out->push_back((unsigned char)(v >> (8 * k)));
}

bool write_all(FILE* fp, const void* data, size_t n) {
  return n == 0 || std::fwrite(data, 1, n, fp) == n;
}

// Header, widths, rows and check sum; false on any write error.
bool write_table(FILE* fp, const container_t* table, const field_desc* fields, int n,
                 const std::vector<uint32_t>& widths) {
  std::vector<unsigned char> head(kMagic, kMagic + 8);
  put_u32(&head, kSavedTableVersion);
  put_u32(&head, table->elem_class);
  put_u32(&head, uint32_t(obj_list_count(table)));
  put_u32(&head, uint32_t(n));
  uint32_t row_size = 0;
  for (uint32_t w : widths) {
    put_u32(&head, w);
    row_size += w;
  }
  if (!write_all(fp, head.data(), head.size())) return false;
  std::vector<unsigned char> row(row_size);
  uint32_t sum = 0;
  for (int r = 0; r < obj_list_count(table); ++r) {
    fill_row(table->elems[r], fields, widths, &row);
    sum += uint32_t(table->elems[r]->id);
    if (!write_all(fp, row.data(), row.size())) return false;
  }
  std::vector<unsigned char> tail;
  put_u32(&tail, sum);
  return write_all(fp, tail.data(), tail.size());
}

}  // namespace

int savfile_write(fileatt_t* file, container_t* table) {
  if (!file || !file->name || !*file->name || !table || table->elem_class == 0) return 2;
  field_desc fields[kMaxFields];
  int n = 0;
  std::vector<uint32_t> widths;
  if (!class_fields(table->elem_class, fields, kMaxFields, &n) ||
      !measure(table, fields, n, &widths))
    return 2;
  const std::string backup = std::string(file->name) + "sav";
  // Without a backup an interrupted write would lose the previous table: the previous
  // file then stays as it is.
  if (file_exists(file->name) && !file_copy(file->name, backup.c_str())) return 2;
  FILE* fp = file_reopen(file, "wb", nullptr);
  if (!fp) return 2;  // the previous file and its backup stay
  const bool written = write_table(fp, table, fields, n, widths);
  const bool closed = std::fclose(fp) == 0;
  if (!written || !closed) return 2;  // the backup stays for the next reader
  path_remove(backup.c_str());
  return 0;
}
