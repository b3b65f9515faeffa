// Byte cursors: fixed-size values read from and written to a memory buffer, the cursor
// advancing by the size of each value; and the hexadecimal helpers of the text formats.
//
// A cursor knows the end of its buffer. A read or write that does not fit in what is
// left is refused whole: nothing is read or written, the cursor stays, a read returns 0,
// and the cursor's `failed` flag is raised and stays raised (every later read or write is
// refused too), so that a decoder can read field after field and test the flag once.
//
// Values are read byte by byte and assembled, so a cursor may sit at any address and the
// host's byte order never matters. (The hexadecimal helpers live in byte_cursor.cpp.)
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

struct byte_reader {
  const uint8_t* pos = nullptr;
  const uint8_t* end = nullptr;
  bool failed = false;
};

struct byte_writer {
  uint8_t* pos = nullptr;
  uint8_t* end = nullptr;
  bool failed = false;
};

inline byte_reader make_byte_reader(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  return byte_reader{p, p + size, false};
}
inline byte_writer make_byte_writer(void* data, size_t size) {
  auto* p = static_cast<uint8_t*>(data);
  return byte_writer{p, p + size, false};
}

inline size_t bytes_left(const byte_reader* c) { return static_cast<size_t>(c->end - c->pos); }
inline size_t bytes_left(const byte_writer* c) { return static_cast<size_t>(c->end - c->pos); }

// The n bytes at the cursor, the cursor moved past them; null (and the flag raised)
// when fewer than n are left.
inline const uint8_t* take_bytes(byte_reader* c, size_t n) {
  if (c->failed || bytes_left(c) < n) {
    c->failed = true;
    return nullptr;
  }
  const uint8_t* p = c->pos;
  c->pos += n;
  return p;
}
inline uint8_t* take_room(byte_writer* c, size_t n) {
  if (c->failed || bytes_left(c) < n) {
    c->failed = true;
    return nullptr;
  }
  uint8_t* p = c->pos;
  c->pos += n;
  return p;
}

// ---- Reading ------------------------------------------------------------------------------

inline uint16_t get_be16(byte_reader* c) {
  const uint8_t* p = take_bytes(c, 2);
  return p ? static_cast<uint16_t>(p[0] << 8 | p[1]) : 0;
}
inline uint32_t get_be32(byte_reader* c) {
  const uint8_t* p = take_bytes(c, 4);
  return p ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3] : 0;
}
inline uint16_t get_le16(byte_reader* c) {
  const uint8_t* p = take_bytes(c, 2);
  return p ? static_cast<uint16_t>(p[1] << 8 | p[0]) : 0;
}
inline uint32_t get_le32(byte_reader* c) {
  const uint8_t* p = take_bytes(c, 4);
  return p ? uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0] : 0;
}
inline uint64_t get_le64(byte_reader* c) {
  const uint8_t* p = take_bytes(c, 8);
  uint64_t v = 0;
  if (p)
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}
// IEEE values, little-endian.
inline double get_f64(byte_reader* c) {
  const uint64_t bits = get_le64(c);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
inline float get_f32(byte_reader* c) {
  const uint32_t bits = get_le32(c);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// ---- Writing ------------------------------------------------------------------------------

inline void put_be16(byte_writer* c, uint16_t value) {
  if (uint8_t* p = take_room(c, 2)) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
  }
}
inline void put_le16(byte_writer* c, uint16_t value) {
  if (uint8_t* p = take_room(c, 2)) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
  }
}
inline void put_le32(byte_writer* c, uint32_t value) {
  if (uint8_t* p = take_room(c, 4))
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// ---- Hexadecimal ----------------------------------------------------------------------------

// The value of a hexadecimal digit ('0'-'9', 'a'-'f', 'A'-'F'), or -1.
int hex_digit_value(char c);
// Zero-fills out[0..n-1], then reads the text as a big-endian hexadecimal number stored
// least significant byte first: the last two digits go to out[0], the two before them to
// out[1], and so on; an odd leading digit fills the low half of its byte. Of a text of
// 2n digits or more, the first 2n are used. A character that is not a hexadecimal digit
// counts as 0. A null text leaves zeros.
void hex_to_bytes(const char* text, size_t n, uint8_t* out);
// Two hexadecimal digits at the cursor into one byte (first digit high), the cursor
// moved past them. A character that is not a digit counts as 0; the NUL is never passed
// (it counts as 0 and the cursor stops on it). Returns 1 when both were digits.
int get_hex_byte(const char** cursor, uint8_t* out);
