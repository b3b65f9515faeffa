// The state of one PNG read, shared by the chunk handlers and the row decoder.
#pragma once
#include <cstdint>

struct bitmap_t;
struct obj_t;
struct filemobj_t;

struct png_state {
  bitmap_t* image = nullptr;
  obj_t* idat = nullptr;          // in-memory file gathering the compressed data
  int64_t idat_bytes = 0;
  int64_t file_size = 0;
  bool seen_ihdr = false;
  bool seen_iend = false;
  int colour_type = 0;
  int depth = 0;
  int interlace = 0;
  int channels = 0;               // samples per pixel in the file (alpha included)
  int planes = 0;                 // 1 or 3 in the image
  int filter_bpp = 0;             // bytes per complete pixel for the filters
  int late_result = 0;            // 3 after an unknown critical chunk
};

// A chunk handler: reads what it needs of a chunk of `length` bytes at the reader's
// position. Returns 0, or sets gblerr and returns its code.
using png_chunk_fn = int (*)(png_state* st, uint32_t length);

// The handler of a chunk type: null for a type the reader does not know.
png_chunk_fn png_chunk_handler(const uint8_t type[4]);

// Raw (filtered) bytes of the whole image: one filter byte and the packed samples per
// row of each pass. -1 when the geometry does not fit 64 bits.
int64_t png_raw_size(const png_state* st);

// Decodes the inflated rows of `raw` (exactly png_raw_size bytes) into the image.
// Returns 0, or sets gblerr (14 for an unknown filter type) and returns it.
int png_decode_rows(png_state* st, filemobj_t* raw);
