// The block means over source rows already read, shared by the public means
// (raster_display_means.cpp) and the drawing of an image (raster_display_image.cpp),
// which reads the rows of a destination row once for all its pixels.
#pragma once
#include <cstdint>

#include "map/bitmap_record.h"

// rows[i] is the source row y0 + i of a store `width` pixels wide (planar rows).
struct mean_rows {
  const bitmap_t* image;
  const uint8_t* const* rows;
  int count;
  int width;
};
// Means over columns [x0, x1) (the caller limits them to 5): 0 with the truncated mean,
// 1 when every pixel was transparent.
int rows_mean_gray(const mean_rows& r, int x0, int x1, int band, int* out);
int rows_mean_rgb(const mean_rows& r, int x0, int x1, int* out);
int rows_mean_lut(const mean_rows& r, int x0, int x1, int* out);
