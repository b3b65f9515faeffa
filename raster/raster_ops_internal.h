// Shared by the files of the raster operations.
#pragma once
#include <cstdint>

struct bitmap_t;

// A new image with the source's header and stores of width x height (mode 2); null
// with gblerr set (1 for the stores) when it cannot be made.
bitmap_t* new_image_like(const bitmap_t* source, int width, int height);
// Every source line read once through image_line, so that an image decoded on demand
// is decoded whole before it is read column-wise.
void touch_all_lines(bitmap_t* source);
// Budget eviction for the length of an operation (never in embedded mode).
void begin_budget_eviction();
void end_budget_eviction();
// True when the budget is below 30 bytes per pixel of a line of `width` plus 10000
// (never in embedded mode).
bool budget_low(int width);
// Writes line `line` of the image to swap alone when it is not there yet and releases it.
void swap_out_line(bitmap_t* image, int line);
