// Size checks shared by the image decoders, made before any pixel store is created.
//
// A header can announce any width and height; the line store then needs a table entry
// per row and each row is one block of memory. A decoder asks here before alloc_bitmap,
// so that a hostile size is refused at once instead of being allocated: rows too many
// for the line table under the memory budget, one row larger than a share of the
// budget, or more pixel bytes in all than the swap is allowed to take.
#pragma once
#include <cstdint>

// Bytes of line-store bookkeeping counted per row of an image.
constexpr int64_t kRasterRowOverhead = 64;

// 0 when an image of width x height pixels of `planes` bytes may be allocated; else
// gblerr 1 (not enough memory) and 1. Width and height must already be at least 1.
int raster_check_size(int64_t width, int64_t height, int planes);

// The largest total of pixel bytes an image may have (default 16 GiB: lines beyond
// the budget live in swap). Fuzz harnesses lower it; 0 restores the default.
void raster_set_max_image_bytes(int64_t bytes);
int64_t raster_max_image_bytes();
