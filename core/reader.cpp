// Positions, bytes, numbers and strings of the buffered reader's current file.
//
// Every read is bounded twice: by the file's size, and by the bytes really present in
// the buffer (the last buffer of a file, or of a disk file that proved shorter than its
// recorded size, is short). Reaching either bound is the end of data: gblerr 2 and a
// value of 0, so that a format reader can read field after field and test once.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/reader_state.h"

namespace rd_detail {

bool have_byte() {
  entry& e = cur();
  keep_in_place_valid(e);
  if (e.data && e.pos >= e.buffer_start && e.pos < e.buffer_start + e.buffer_len) return true;
  if (e.pos < 0 || e.pos >= e.size || e.buffer_size <= 0) return false;
  fill_buffer(e);
  return e.data && e.pos >= e.buffer_start && e.pos < e.buffer_start + e.buffer_len;
}

void align() {
  entry& e = cur();
  if (e.bit_mask == 128) return;
  ++e.pos;
  e.bit_mask = 128;
  e.bit_counter = 1;
}

int peek_byte(entry& e, int64_t position) {
  uint8_t b;
  return read_raw(e, position, &b, 1) == 1 ? b : -1;
}

}  // namespace rd_detail

using namespace rd_detail;

namespace {

// Reads exactly n bytes into `out` (n at most 8), or sets gblerr 2 and returns false.
bool read_fixed(uint8_t* out, int n) { return rd_read_bytes(out, n) == n; }

uint64_t little_endian(const uint8_t* b, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | b[i];
  return v;
}

uint64_t big_endian(const uint8_t* b, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | b[i];
  return v;
}

}  // namespace

// ---- Positions ------------------------------------------------------------------------

void rd_refill() {
  entry& e = cur();
  e.bit_mask = 128;
  e.bit_counter = 1;
  fill_buffer(e);
}

void rd_seek(int64_t offset, int origin) {
  entry& e = cur();
  align();
  int64_t base;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = e.pos; break;
    case 2: base = e.size; break;
    default: set_gblerr(ERR_FILE_ACCESS); return;
  }
  int64_t target;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) {
    set_gblerr(ERR_FILE_ACCESS);  // before the start: the position stays
    return;
  }
  e.pos = target;
  e.bit_mask = 128;
  e.bit_counter = 1;
  if (target < e.buffer_start || target >= e.buffer_start + e.buffer_len) fill_buffer(e);
}

int64_t rd_tell() { return cur().pos; }
int64_t rd_size() { return cur().size; }
int64_t rd_bytes_left() { return std::max<int64_t>(0, cur().size - cur().pos); }
int rd_at_end() { return cur().pos >= cur().size ? 1 : 0; }

// ---- Bytes --------------------------------------------------------------------------

int rd_read_byte() {
  align();
  if (!have_byte()) {
    set_gblerr(ERR_FILE_ACCESS);
    return 0;
  }
  entry& e = cur();
  const int b = cur_byte(e);
  ++e.pos;
  return b;
}

int64_t rd_read_bytes(void* buffer, int64_t n) {
  align();
  if (n <= 0) return 0;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  entry& e = cur();
  int64_t done = 0;
  while (done < n && have_byte()) {
    const int64_t chunk = std::min(n - done, e.buffer_start + e.buffer_len - e.pos);
    std::memcpy(out + done, e.data + (e.pos - e.buffer_start), static_cast<size_t>(chunk));
    e.pos += chunk;
    done += chunk;
  }
  if (done < n) {
    std::memset(out + done, 0, static_cast<size_t>(n - done));
    set_gblerr(ERR_FILE_ACCESS);
  }
  return done;
}

int64_t rd_read_at(int64_t position, void* buffer, int64_t n) {
  if (n <= 0) return 0;
  const int64_t got = read_raw(cur(), position, buffer, n);
  if (got < n) {
    std::memset(static_cast<uint8_t*>(buffer) + got, 0, static_cast<size_t>(n - got));
    set_gblerr(ERR_FILE_ACCESS);
  }
  return got;
}

// ---- Numbers ------------------------------------------------------------------------

uint16_t rd_read_u16() {
  uint8_t b[2];
  return read_fixed(b, 2) ? static_cast<uint16_t>(little_endian(b, 2)) : 0;
}

uint32_t rd_read_u32() {
  uint8_t b[4];
  return read_fixed(b, 4) ? static_cast<uint32_t>(little_endian(b, 4)) : 0;
}

float rd_read_float() {
  const uint32_t bits = rd_read_u32();
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

double rd_read_double() {
  uint8_t b[8];
  if (!read_fixed(b, 8)) return 0.0;
  const uint64_t bits = little_endian(b, 8);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

uint16_t rd_read_u16_swapped() {
  uint8_t b[2];
  return read_fixed(b, 2) ? static_cast<uint16_t>(big_endian(b, 2)) : 0;
}

uint32_t rd_read_u32_swapped() {
  uint8_t b[4];
  return read_fixed(b, 4) ? static_cast<uint32_t>(big_endian(b, 4)) : 0;
}

double rd_read_double_swapped() {
  uint8_t b[8];
  if (!read_fixed(b, 8)) return 0.0;
  const uint64_t bits = big_endian(b, 8);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// ---- Strings ------------------------------------------------------------------------

char* rd_read_cstring(char** owner) {
  align();
  std::string text;
  entry& e = cur();
  bool ended = false;
  while (!ended && have_byte()) {
    const uint8_t* from = e.data + (e.pos - e.buffer_start);
    const int64_t avail = e.buffer_start + e.buffer_len - e.pos;
    const void* nul = std::memchr(from, 0, static_cast<size_t>(avail));
    const int64_t take = nul ? static_cast<const uint8_t*>(nul) - from : avail;
    if (static_cast<int64_t>(text.size()) + take > kReaderMaxString) break;
    text.append(reinterpret_cast<const char*>(from), static_cast<size_t>(take));
    e.pos += take + (nul ? 1 : 0);
    ended = nul != nullptr;
  }
  if (!ended) set_gblerr(ERR_FILE_ACCESS);  // no NUL before the end of the data
  str_cat(text.c_str(), owner);
  return owner_get(owner);
}

char* rd_read_string_n(int64_t n, char** owner) {
  align();
  const int64_t left = rd_bytes_left();
  if (n <= 0 || n > left) n = left;
  if (n == 0 || n > kReaderMaxString) {
    set_gblerr(ERR_FILE_ACCESS);
    str_set("", owner);
    return owner_get(owner);
  }
  std::string field(static_cast<size_t>(n), '\0');
  rd_read_bytes(field.data(), n);
  str_set(field.c_str(), owner);  // the text up to the first NUL
  return owner_get(owner);
}

int rd_scanf(const char* format, void* out) {
  align();
  // The field width: the digits after '%'.
  constexpr int kMaxField = 63;
  int width = 0;
  const char* p = format && format[0] == '%' ? format + 1 : nullptr;
  while (p && *p >= '0' && *p <= '9' && width <= kMaxField) width = width * 10 + (*p++ - '0');
  if (!p || width <= 0 || width > kMaxField || width > rd_bytes_left()) {
    set_gblerr(ERR_FILE_ACCESS);
    return 0;
  }
  char field[kMaxField + 1];
  rd_read_bytes(field, width);
  field[width] = '\0';
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  const int converted = std::sscanf(field, format, out);
#pragma GCC diagnostic pop
  if (converted != 1) {
    set_gblerr(ERR_FILE_ACCESS);
    return 0;
  }
  return 1;
}
