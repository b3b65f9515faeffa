// Deflate, gzip and ZIP: the system's own decoder of compressed data.
//
// Output always goes to memory: the in-memory content (a line store) of a file object,
// which doubles as the sliding window from which back-references are copied. The
// buffered reader supplies the compressed bytes and bits.
//
// A raw or zlib-wrapped Deflate stream is decoded with an inflater record: the caller
// opens the input through the reader (zlib_read_header does it for zlib streams), fills
// the input, the window, the output store and the limit, and calls inflate_blocks.
// gzip files and ZIP members have their own entry points below, which do all of that.
#pragma once
#include <cstdint>

struct obj_t;
struct container_t;
struct filemobj_t;

// What surrounds the Deflate data, and so which check value guards it.
enum inflate_wrap : int32_t {
  INFLATE_RAW = 0,   // nothing: no check value
  INFLATE_ZLIB = 1,  // zlib header and big-endian Adler-32 trailer
  INFLATE_GZIP = 2,  // gzip member: CRC-32 and size trailer, read by gzip_open_member
  INFLATE_ZIP = 3,   // ZIP member: CRC-32 and size known from the local header
};

// One flat decoding table: entries indexed by the next `bits` bits of the input, with
// sub-tables for longer codes after the first 2^bits entries.
struct inflate_table {
  uint32_t* entries = nullptr;
  uint32_t capacity = 0;  // entries allocated (tables are reused and only grown)
  uint32_t bits = 0;      // index bits of the first level
};

// The inflater record: allocated zero-filled by the caller, freed by it.
struct inflater_t {
  obj_t* input = nullptr;        // the reader's file; the compressed data starts at its position
  // When set, the compressed bytes come from this routine instead of the reader (input
  // is then unused): it fills up to `count` bytes of `buffer` and returns how many it
  // gave, 0 at the end of the data. Bytes taken and not used are dropped at the end.
  int64_t (*source)(void* context, uint8_t* buffer, int64_t count) = nullptr;
  void* source_context = nullptr;
  int64_t input_size = 0;        // bytes the data may take at most (0: up to the end)
  uint32_t window_size = 0;      // distances beyond it are refused (0: 32768; at most 65536)
  obj_t* output = nullptr;       // file object whose content the output becomes (may be null)
  obj_t* output_file = nullptr;  // second reference to it
  filemobj_t* store = nullptr;   // the output line store: bytes are appended to it
  // When set, the decoded bytes go to this routine instead of the store (which may then be
  // null), in pieces as they are produced; the check value, the limits and the budget
  // apply to them as to a store's. It returns 0 to go on, else the error code that ends
  // the decoding (its bytes count as produced).
  int (*sink)(void* context, const uint8_t* bytes, int64_t count) = nullptr;
  void* sink_context = nullptr;
  inflate_table literal_table;   // literal/length code of the current block
  inflate_table distance_table;  // distance code of the current block
  inflate_table length_table;    // code-length code of the current dynamic block
  int64_t limit = 0;             // 0: decode everything; else stop after the first block
                                 // that leaves more output than this
  int64_t max_output = 0;        // 0: up to the memory budget; else a stream that decodes
                                 // to more than this is a bad file (a format that knows
                                 // its decoded size refuses a bomb at once)
  int32_t wrap = INFLATE_RAW;    // inflate_wrap
  uint32_t expected_check = 0;   // INFLATE_ZIP: the member's CRC-32
  int64_t expected_size = -1;    // INFLATE_ZIP: the member's size (-1: unknown)
  // Results of the last inflate_blocks.
  int64_t produced = 0;          // bytes appended to the store
  uint32_t check = 0;            // CRC-32 or Adler-32 of those bytes (by wrap)
  int32_t finished = 0;          // 1 when the final block was decoded
};

// Opens the input through the reader (131072-byte buffer) and reads the 2-byte zlib
// header: method 8, window up to 32768, no preset dictionary. Sets the window and the
// wrap. Returns 0; on failure gblerr 2 (cannot open) or 14 (bad header) and that code.
int zlib_read_header(inflater_t* inf);
// The checks of zlib_read_header on a header the caller has read itself (its two bytes):
// sets the window and the wrap. Returns 0, or gblerr 14 and that code.
int zlib_check_header(inflater_t* inf, int cmf, int flg);
// Decodes blocks until the final one (or the limit), appending to inf->store; checks
// the zlib trailer and the ZIP check value when the stream was decoded completely.
// Leaves the reader just after the last byte used. Returns 0, or the code left in
// gblerr: 14 bad data, 2 end of data, 1 output beyond the memory budget.
int inflate_blocks(inflater_t* inf);

// Decodes a gzip file into the file object's memory; limit 0 decodes everything,
// otherwise decoding stops after the first block that leaves more than `limit` bytes.
// Every member of a multi-member file is decoded, one after another. A damaged file
// becomes type 125 with size 0 (gblerr cleared). Returns 0 on success, else the error
// code met (3 for an unknown header flag).
int gzip_open_member(obj_t* file, int64_t limit);
// Decodes a compressed ZIP member into the member's memory (stored members are read in
// place). A damaged member becomes type 125 (gblerr cleared). Returns 0 on success,
// else the error code met.
int zip_open_member(obj_t* member, int64_t limit);
// Walks the local headers of a ZIP archive, makes one file object per member, loads
// each and moves what was loaded into `target_list`. Returns 0, or 2 when the archive
// cannot be opened.
int zip_list_archive(obj_t* archive, obj_t* target_list);
// Reads the local header at the reader's position (the archive is the reader's current
// file) and adds the member's file object to `members`. 1 to go on, 0 to stop.
int zip_read_local_header(container_t* members);
