// The order of key values of the number key types, as inline routines on the values.
//
// index_compare_keys (attributes.cpp) compares the number types through these routines,
// and the index searches call them directly on the values, without the call and the
// switch of the generic comparison, since they compare one key with some twenty
// elements per search. Results as index_compare_keys: 1 when a comes before b, 0 when
// equal, -1 when a comes after b.
#pragma once
#include <cmath>
#include <cstdint>

// Types 1, 2, 6 and 16: signed 32-bit comparison (type 2 included, as the store does).
inline int key_order_int32(int32_t a, int32_t b) { return a < b ? 1 : (b < a ? -1 : 0); }

// Types 3 and 7: doubles upward, NaN before every number so that the order stays a
// strict weak ordering; -0 and +0 are equal.
inline int key_order_double(double a, double b) {
  const bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return na && nb ? 0 : (na ? 1 : -1);
  return a < b ? 1 : (b < a ? -1 : 0);
}
