// The state of one PNG read, shared by the chunk handlers and the row decoder.
#pragma once
#include <cstdint>
#include <vector>

struct bitmap_t;
struct obj_t;
struct filemobj_t;

struct png_state {
  bitmap_t* image = nullptr;
  int64_t first_idat = -1;        // file position of the first IDAT chunk
  int64_t chunks_end = 0;         // file position after the last chunk walked
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

// Decodes the inflated rows as the inflater hands them over: each row is unfiltered and
// written to its image line once its last byte has come, so that the raw data is never
// held whole. Each pass is a small image of its own (png_rows.cpp).
class png_row_decoder {
 public:
  explicit png_row_decoder(png_state* st);
  // Takes the next inflated bytes; bytes past the last row are ignored. Returns 0, or
  // sets gblerr 14 and returns it for an unknown filter type (the rows before it stay).
  int feed(const uint8_t* bytes, int64_t count);
  // True once every row of every pass has been decoded.
  bool complete() const;

 private:
  void start_pass();
  png_state* st_;
  int pass_ = 0;              // current pass
  int64_t cols_ = 0, rows_ = 0, n_ = 0;  // its pixels across, rows, packed row bytes
  int64_t row_ = 0;           // row of the pass being gathered
  int64_t filled_ = 0;        // bytes of it gathered (filter byte included)
  std::vector<uint8_t> current_, prior_, pixels_;
};
