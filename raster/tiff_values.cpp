// The TIFF header, the byte-order table and the values of directory entries.
#include "raster/tiff_values.h"

#include "core/error.h"
#include "core/reader.h"

namespace {

constexpr tiff_number_readers kOrders[2] = {
    {rd_read_u16, rd_read_u32, rd_read_double},
    {rd_read_u16_swapped, rd_read_u32_swapped, rd_read_double_swapped},
};

}  // namespace

const tiff_number_readers& tiff_numbers(int order) {
  return kOrders[order == kTiffLittleEndian ? 0 : 1];
}

int tiff_read_header(int64_t base, int* order) {
  rd_seek(base, 0);
  const int b0 = rd_read_byte();
  const int b1 = rd_read_byte();
  const int o = (b0 == 'I' && b1 == 'I') ? kTiffLittleEndian : kTiffBigEndian;
  const uint16_t magic = tiff_numbers(o).u16();
  const uint32_t first = tiff_numbers(o).u32();
  if (get_gblerr() != 0) return get_gblerr();
  if (magic != 42) {
    set_gblerr(ERR_BAD_FILE);
    return ERR_BAD_FILE;
  }
  if (order) *order = o;
  rd_seek(base + int64_t(first), 0);
  return 0;
}

int tiff_type_size(int type) {
  switch (type) {
    case kTiffByte:
    case kTiffAscii:
    case kTiffSByte:
    case kTiffUndefined:
      return 1;
    case kTiffShort:
    case kTiffSShort:
      return 2;
    case kTiffLong:
    case kTiffSLong:
    case kTiffFloat:
      return 4;
    case kTiffRational:
    case kTiffSRational:
    case kTiffDouble:
      return 8;
    default:
      return 0;
  }
}

void tiff_read_entry_head(int order, int* type, uint32_t* count) {
  const uint16_t t = tiff_numbers(order).u16();
  const uint32_t n = tiff_numbers(order).u32();
  if (type) *type = t;
  if (count) *count = n;
}

int tiff_seek_values(int order, int64_t base, int type, uint32_t count, int64_t limit) {
  const int size = tiff_type_size(type);
  if (size == 0) {
    set_gblerr(ERR_BAD_FILE);
    return ERR_BAD_FILE;
  }
  const int64_t bytes = int64_t(size) * int64_t(count);
  int64_t start = rd_tell();
  if (bytes > 4) {
    start = base + int64_t(tiff_numbers(order).u32());
    if (get_gblerr() != 0) return get_gblerr();
  }
  const int64_t end = limit > 0 ? limit : rd_size();
  if (start < 0 || start + bytes > end) {
    set_gblerr(ERR_BAD_FILE);
    return ERR_BAD_FILE;
  }
  if (bytes > 4) rd_seek(start, 0);
  return 0;
}

int64_t tiff_read_integer(int order, int type) {
  const tiff_number_readers& r = tiff_numbers(order);
  switch (type) {
    case kTiffByte:
    case kTiffUndefined:
      return rd_read_byte();
    case kTiffSByte:
      return int8_t(rd_read_byte());
    case kTiffShort:
      return r.u16();
    case kTiffSShort:
      return int16_t(r.u16());
    case kTiffLong:
      return r.u32();
    case kTiffSLong:
      return int32_t(r.u32());
    default:
      return 0;
  }
}

double tiff_read_rational(int order) {
  const uint32_t num = tiff_numbers(order).u32();
  const uint32_t den = tiff_numbers(order).u32();
  return den == 0 ? 0.0 : double(num) / double(den);
}

double tiff_read_srational(int order) {
  const int32_t num = int32_t(tiff_numbers(order).u32());
  const int32_t den = int32_t(tiff_numbers(order).u32());
  return den == 0 ? 0.0 : double(num) / double(den);
}
