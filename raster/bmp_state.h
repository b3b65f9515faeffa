// What the BMP reader knows of a file once its header is read, shared with the RLE
// decoder.
#pragma once
#include <cstdint>

struct bitmap_t;

struct bmp_header {
  int64_t file_size = 0;      // bytes really in the file
  int64_t stated_size = 0;    // the header's file size
  int64_t data_offset = 0;
  int32_t width = 0, height = 0;
  bool top_down = false;
  int bits = 0;
  int compression = 0;        // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
  uint32_t masks[3] = {};     // red, green, blue (16 and 32 bits)
};

// Decodes the RLE8 or RLE4 data at the reader's position into the allocated image.
// Returns 0, or sets gblerr 14 and returns it when the data ends before the image does.
int bmp_decode_rle(bitmap_t* image, const bmp_header& h);
