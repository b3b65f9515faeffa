#pragma once
struct bitmap_t;
struct container_t;
int pnm_read(bitmap_t* image, int pixel_kind);
