// Generic attribute operations: typed assignment, conversion from text, copy,
// comparison and distance of key values, and coordinate lists.
//
// An attribute is reached by its address inside a packed record, so every value is
// read and written through memcpy. Key values (index_key_*) are given by address for
// every type: for strings (9, 10) and object references (11) the address of the
// attribute that holds the pointer.
#include <cmath>
#include <cstring>

#include "core/dates.h"
#include "core/key_order.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/object.h"
#include "core/strutil.h"
#include "core/wstring.h"

namespace {

template <class T> T load(const void* p) { return field_load<T>(p, 0); }
template <class T> void store(void* p, const T& v) { field_store(p, 0, v); }

// Bytes of a key value of each key type; 0 for the others.
int key_size(int type) {
  switch (type) {
    case AT_INT: case AT_UINT: case AT_ID: case AT_KEY: return 4;
    case AT_DOUBLE: case AT_DATE: return 8;
    case AT_DATETIME: return 16;
    case AT_WSTRING: case AT_STRING: case AT_REF: return int(sizeof(void*));
    default: return 0;
  }
}

template <class T> int order(T a, T b) { return a < b ? 1 : (b < a ? -1 : 0); }


// A null pointer sorts first: 1 when only a is null, -1 when only b is.
template <class P> int order_nulls(P a, P b) { return !a ? (b ? 1 : 0) : -1; }

int compare_refs(const obj_t* a, const obj_t* b) {
  if (!a || !b) return order_nulls(a, b);
  return order(a->id, b->id);
}

bool same_string(const char* a, const char* b) {
  if (!a || !b) return a == b;
  return std::strcmp(a, b) == 0;
}

bool same_wide(const char16_t* a, const char16_t* b) {
  if (!a || !b) return a == b;
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

int ref_id(const obj_t* o) { return o ? o->id : 0; }

// Three decimal integers separated by one character each, packed red, green, blue.
uint32_t parse_color(const char* text) {
  int32_t rgb[3] = {0, 0, 0};
  const char* p = text;
  for (int i = 0; i < 3 && p; ++i) {
    p = parse_int(p, &rgb[i]);
    if (i < 2 && p && *p) ++p;
  }
  return uint32_t(rgb[0] & 0xFF) | uint32_t(rgb[1] & 0xFF) << 8 | uint32_t(rgb[2] & 0xFF) << 16;
}

}  // namespace

// ---- Assignment ---------------------------------------------------------------------

// Strings: the attribute keeps an owned copy; the string it held before is freed (or
// its block reused), so assigning twice leaks nothing.
void attr_set_value(int type, void* attr, const void* value) {
  if (!attr || !value) return;
  switch (type) {
    case AT_INT: case AT_UINT: case AT_ID: case AT_KEY:
    case AT_DOUBLE: case AT_DATE: case AT_DATETIME:
      std::memcpy(attr, value, key_size(type));
      break;
    case AT_WSTRING: {
      char16_t* s = load<char16_t*>(attr);
      if (s == value) return;
      wstr_set(static_cast<const char16_t*>(value), &s);
      store(attr, s);
      break;
    }
    case AT_STRING: {
      char* s = load<char*>(attr);
      if (s == value) return;
      str_set(static_cast<const char*>(value), &s);
      store(attr, s);
      break;
    }
    case AT_REF: store(attr, value); break;
    default: break;
  }
}

// Ids and the pointer types 11 and 12 read from text hold the id number (zero-extended
// to the pointer's width) until the reader resolves it into an object.
void attr_from_text(int type, void* attr, const char* text) {
  if (!attr || !text) return;
  switch (type) {
    case AT_INT: case AT_NINT: case AT_SMALL: {
      int32_t v = 0;
      parse_int(text, &v);
      store(attr, v);
      break;
    }
    case AT_UINT: case AT_KEY: case AT_NUINT: case AT_FORMAT: case AT_SIZE: case AT_ID: {
      uint32_t v = 0;
      parse_uint(text, &v);
      store(attr, v);
      break;
    }
    case AT_REF: case AT_LIST: {
      uint32_t v = 0;
      parse_uint(text, &v);
      store(attr, uintptr_t(v));
      break;
    }
    case AT_DOUBLE: case AT_DATE: case AT_NDOUBLE: case AT_SCALE: {
      double v = 0;
      parse_number(text, &v);
      store(attr, v);
      break;
    }
    case AT_FLOAT: {
      float v = 0;
      parse_float(text, &v);
      store(attr, v);
      break;
    }
    case AT_WSTRING: {
      char16_t* s = load<char16_t*>(attr);
      wstr_set_from_utf8(text, &s);
      store(attr, s);
      break;
    }
    case AT_STRING: {
      char* s = load<char*>(attr);
      if (s == text) return;
      str_set(text, &s);
      store(attr, s);
      break;
    }
    case AT_COLOR: store(attr, parse_color(text)); break;
    default: break;
  }
}

// ---- Keys ---------------------------------------------------------------------------

void index_key_copy(int type, const void* src, void* dst) {
  if (src && dst && key_size(type)) std::memmove(dst, src, key_size(type));
}

void index_key_store(int type, void* dst, const void* src) { index_key_copy(type, src, dst); }

// 1 when a comes before b, 0 when equal, -1 when a comes after b. Null strings and
// null references come first.
int index_compare_keys(int type, const void* a, const void* b) {
  if (!a || !b) return 0;
  switch (type) {
    case AT_INT: case AT_UINT: case AT_ID: case AT_KEY:
      return key_order_int32(load<int32_t>(a), load<int32_t>(b));
    case AT_DOUBLE: case AT_DATE: return key_order_double(load<double>(a), load<double>(b));
    case AT_DATETIME: {
      const int first = key_order_double(load<double>(a), load<double>(b));
      return first ? first : key_order_double(field_load<double>(a, 8), field_load<double>(b, 8));
    }
    case AT_STRING: {
      const char* sa = load<char*>(a);
      const char* sb = load<char*>(b);
      return sa && sb ? str_compare_ci_then_cs(sa, sb) : order_nulls(sa, sb);
    }
    case AT_WSTRING: {
      const char16_t* sa = load<char16_t*>(a);
      const char16_t* sb = load<char16_t*>(b);
      return sa && sb ? wstr_compare_ci_then_cs(sa, sb) : order_nulls(sa, sb);
    }
    case AT_REF: return compare_refs(load<obj_t*>(a), load<obj_t*>(b));
    default: return 0;
  }
}

double index_key_distance(const void* a, int type, const void* b) {
  if (!a || !b) return -1;
  switch (type) {
    case AT_INT: case AT_ID:
      return std::fabs(double(load<int32_t>(a)) - double(load<int32_t>(b)));
    case AT_UINT: return std::fabs(double(load<uint32_t>(a)) - double(load<uint32_t>(b)));
    case AT_DOUBLE: case AT_DATE: return std::fabs(load<double>(a) - load<double>(b));
    case AT_REF:
      return std::fabs(double(ref_id(load<obj_t*>(a))) - double(ref_id(load<obj_t*>(b))));
    case AT_DATETIME:
      return std::fabs(date_time_diff(load<double>(a), field_load<double>(a, 8), load<double>(b),
                                      field_load<double>(b, 8)));
    case AT_STRING: return same_string(load<char*>(a), load<char*>(b)) ? 0 : 1;
    case AT_WSTRING: return same_wide(load<char16_t*>(a), load<char16_t*>(b)) ? 0 : 1;
    case AT_KEY: return load<int32_t>(b) < load<int32_t>(a) ? 1 : 0;
    default: return -1;
  }
}

// ---- Coordinate lists ---------------------------------------------------------------

void coords_add(coord_list* c, double x, double y) {
  if (!c) return;
  const int n = c->count > 0 ? c->count : 0;
  double* pts = c->pts;
  realloc_mem(&pts, size_t(n + 1) * 16 + 16);
  pts[2 * n] = x;
  pts[2 * n + 1] = y;
  c->pts = pts;
  c->count = n + 1;
}

void coords_set(coord_list* c, int n, const double* xy) {
  if (!c) return;
  if (n < 0 || !xy) n = 0;
  double* pts = c->pts;
  alloc_mem(&pts, size_t(n) * 16 + 20);
  if (n) std::memcpy(pts, xy, size_t(n) * 16);
  c->pts = pts;
  c->count = n;
}

void coords_close_ring(coord_list* c) {
  if (!c || c->count < 1 || !c->pts) return;
  const double* p = c->pts;
  const int last = c->count - 1;
  if (p[2 * last] != p[0] || p[2 * last + 1] != p[1]) coords_add(c, p[0], p[1]);
}

void coords_free(coord_list* c) {
  if (!c) return;
  double* pts = c->pts;
  free_mem(&pts);
  void* extra = c->extra;
  free_mem(&extra);
  c->pts = nullptr;
  c->extra = nullptr;
  c->count = 0;
}
