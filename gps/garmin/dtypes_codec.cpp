// Unpacking and packing of Garmin records through a type's field table. Unpack never
// reads beyond the received data: a record shorter than the fixed part is refused and
// the zero-terminated strings stop at the end of the data. Receiver text is Latin-1 and
// is kept as UTF-8.
#include <cstring>
#include <string>

#include "core/memory.h"
#include "gps/garmin/dtypes.h"

namespace {

uint32_t get_le(const uint8_t* p, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void put_le(uint8_t* p, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Owned UTF-8 copy of `n` Latin-1 bytes.
char* latin1_to_owned(const uint8_t* p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < 0x80) {
      s += static_cast<char>(p[i]);
    } else {
      s += static_cast<char>(0xC0 | (p[i] >> 6));
      s += static_cast<char>(0x80 | (p[i] & 0x3F));
    }
  }
  char* out = nullptr;
  alloc_mem(&out, s.size() + 1);
  std::memcpy(out, s.c_str(), s.size() + 1);
  return out;
}

// Latin-1 bytes of UTF-8 text; characters beyond Latin-1 become '?'.
std::string utf8_to_latin1(const char* t) {
  std::string s;
  if (!t) return s;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(t); *p;) {
    unsigned c = *p++;
    if (c >= 0x80) {
      int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
      unsigned v = c & (0x3F >> more);
      for (int i = 0; i < more && (*p & 0xC0) == 0x80; ++i) v = (v << 6) | (*p++ & 0x3F);
      c = (more == 0 || v > 0xFF) ? '?' : v;
    }
    s += static_cast<char>(c);
  }
  return s;
}

size_t bounded_len(const uint8_t* p, size_t cap) {
  size_t n = 0;
  while (n < cap && p[n]) ++n;
  return n;
}

int field_bytes(uint8_t kind, uint8_t width) {
  switch (kind) {
    case GK_I32: case GK_U32: case GK_F32: return 4;
    case GK_U16: case GK_I16: return 2;
    case GK_U8: return 1;
    case GK_CHARS: case GK_BYTES: return width;
    default: return 0;
  }
}

void unpack_field(const garmin_field& fd, garmin_record* rec, const uint8_t* p) {
  switch (fd.kind) {
    case GK_F32: {
      uint32_t bits = get_le(p, 4);
      std::memcpy(&rec->flt[fd.slot], &bits, 4);
      break;
    }
    case GK_CHARS: case GK_BYTES:
      rec->text[fd.slot] = latin1_to_owned(p, bounded_len(p, fd.width));
      break;
    case GK_I16:
      rec->num[fd.slot] = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(get_le(p, 2))));
      break;
    default:
      rec->num[fd.slot] = get_le(p, field_bytes(fd.kind, fd.width));
      break;
  }
}

}  // namespace

size_t garmin_dtype_stride(const garmin_dtype* dt) {
  return dt ? (dt->record_size + 3) & ~size_t(3) : 0;
}

void garmin_record_clear(garmin_record* rec) {
  if (!rec) return;
  for (char*& t : rec->text) free_mem(&t);
  std::memset(rec, 0, sizeof *rec);
}

int garmin_unpack(const garmin_dtype* dt, garmin_record* rec, const uint8_t* data, size_t size) {
  if (!dt || !rec) return 17;
  garmin_record_clear(rec);
  if (!dt->fields || size < dt->fixed_size || (size && !data)) return 17;
  size_t cursor = dt->fixed_size;
  for (const garmin_field* fd = dt->fields; fd->kind != GK_END; ++fd) {
    if (fd->kind == GK_SKIP) continue;
    if (fd->kind != GK_STRING) {
      unpack_field(*fd, rec, data + fd->offset);
      continue;
    }
    size_t n = bounded_len(data + cursor, size - cursor);
    rec->text[fd->slot] = latin1_to_owned(data + cursor, n);
    cursor += n + (cursor + n < size ? 1 : 0);
  }
  return 0;
}

size_t garmin_pack(const garmin_dtype* dt, const garmin_record* rec, uint8_t* out, size_t cap) {
  if (!dt || !rec || !dt->fields || cap < dt->fixed_size) return 0;
  std::memset(out, 0, dt->fixed_size);
  size_t end = dt->fixed_size;
  for (const garmin_field* fd = dt->fields; fd->kind != GK_END; ++fd) {
    uint8_t* p = out + fd->offset;
    if (fd->kind == GK_SKIP) continue;
    if (fd->kind == GK_STRING) {
      std::string s = utf8_to_latin1(rec->text[fd->slot]);
      if (end + s.size() + 1 > cap) return 0;
      std::memcpy(out + end, s.c_str(), s.size() + 1);
      end += s.size() + 1;
    } else if (fd->kind == GK_CHARS || fd->kind == GK_BYTES) {
      std::string s = utf8_to_latin1(rec->text[fd->slot]);
      std::memcpy(p, s.data(), s.size() < fd->width ? s.size() : fd->width);
    } else if (fd->kind == GK_F32) {
      uint32_t bits;
      std::memcpy(&bits, &rec->flt[fd->slot], 4);
      put_le(p, bits, 4);
    } else {
      put_le(p, rec->num[fd->slot], field_bytes(fd->kind, fd->width));
    }
  }
  return end;
}
