#pragma once
struct bitmap_t;
struct container_t;
int tiff_read(bitmap_t** image, container_t* list, int requested_line);
