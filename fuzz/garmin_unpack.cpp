// Fuzz harness of the Garmin record codecs: every D-type unpacks the input (whole, and
// cut at a few places so that a transfer of several records is printed too), prints its
// records or header line and its flag line, counts its valid points and packs back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "gps/garmin/dtypes.h"

namespace {

void run_type(const garmin_dtype* dt, const uint8_t* data, size_t size, FILE* out) {
  constexpr size_t kRecords = 3;
  const size_t stride = garmin_dtype_stride(dt);
  std::vector<garmin_record> storage(kRecords * stride / sizeof(garmin_record) + 1);
  uint8_t* base = reinterpret_cast<uint8_t*>(storage.data());
  for (size_t i = 0; i < kRecords; ++i) {
    size_t from = size * i / kRecords;
    dt->unpack(dt, reinterpret_cast<garmin_record*>(base + i * stride), data + from, size - from);
  }
  const uint8_t* cursor = base;
  if (dt->print_records) dt->print_records(out, kRecords, &cursor);
  if (dt->print_record) dt->print_record(out, 5, &cursor);
  if (dt->print_flags) dt->print_flags(out);
  if (dt->count_valid) dt->count_valid(kRecords, base);
  uint8_t packed[1024];
  garmin_pack(dt, reinterpret_cast<garmin_record*>(base), packed, sizeof packed);
  for (size_t i = 0; i < kRecords; ++i) garmin_record_clear(reinterpret_cast<garmin_record*>(base + i * stride));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* out = std::fopen("/dev/null", "w");
  size_t count = 0;
  const garmin_dtype* table = garmin_dtype_table(&count);
  for (size_t i = 0; i < count; ++i)
    if (table[i].unpack) run_type(&table[i], data, size, out);
  return 0;
}
