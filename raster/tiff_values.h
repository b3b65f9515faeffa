// The TIFF structure readers shared by the TIFF reader, the EXIF reader (the APP1 block
// of a JPEG photo is a small TIFF file) and the GeoTIFF tags: the file header, the byte
// order of the numbers, and the values of a directory entry.
//
// Every number goes through the byte-order table: column 0 for a file that starts with
// "II" (little-endian), column 1 for any other first two bytes (big-endian). All reads
// use the buffered reader's current file; a read past the end leaves gblerr 2.
//
// A directory entry is 12 bytes: tag (2), field type (2), value count (4), then the value
// itself when it fits in 4 bytes, else the 32-bit offset of the values from the base (the
// position of the TIFF header in the file).
#pragma once
#include <cstdint>

// Byte order index of a TIFF structure.
constexpr int kTiffLittleEndian = 0;  // "II"
constexpr int kTiffBigEndian = 1;     // "MM" or anything else

// Field types of directory entries.
enum tiff_field_type {
  kTiffByte = 1,
  kTiffAscii = 2,
  kTiffShort = 3,
  kTiffLong = 4,
  kTiffRational = 5,
  kTiffSByte = 6,
  kTiffUndefined = 7,
  kTiffSShort = 8,
  kTiffSLong = 9,
  kTiffSRational = 10,
  kTiffFloat = 11,
  kTiffDouble = 12,
};

// The byte-order table: one row per number width, one column per order.
struct tiff_number_readers {
  uint16_t (*u16)();
  uint32_t (*u32)();
  double (*f64)();
};
const tiff_number_readers& tiff_numbers(int order);

// Reads the header at the reader's position, taken as the base: two bytes ("II" selects
// little-endian), the 16-bit value 42, the 32-bit offset of the first directory; seeks to
// base + offset. Returns 0 with *order set, or 14 (gblerr 14) when the value is not 42;
// 2 when the header is cut short.
int tiff_read_header(int64_t base, int* order);

// Bytes of one value of a field type; 0 for a type this reader does not know.
int tiff_type_size(int type);

// Reads the field type and the value count of the entry whose tag was just read; the
// reader then stands on the 4-byte value field.
void tiff_read_entry_head(int order, int* type, uint32_t* count);

// With the reader on an entry's value field: values of count x type-size bytes up to 4
// stay where they are; longer ones are reached by reading the 32-bit offset and seeking
// to base + offset. Returns 0, or 14 (gblerr 14) when the type is unknown or the values
// would not end at or before `limit` (an absolute position; 0 means the end of the file).
int tiff_seek_values(int order, int64_t base, int type, uint32_t count, int64_t limit);

// One value of an integer field at the reader's position: BYTE or SBYTE (1 byte), SHORT or
// SSHORT (2), LONG or SLONG (4); signed types are sign-extended into the result.
int64_t tiff_read_integer(int order, int type);
// One RATIONAL at the reader's position: numerator / denominator, both unsigned 32-bit.
// A zero denominator gives 0 (no division by zero).
double tiff_read_rational(int order);
// One SRATIONAL: both parts signed 32-bit; a zero denominator gives 0.
double tiff_read_srational(int order);
