#pragma once
struct bitmap_t;
struct container_t;
int jpeg_read(bitmap_t* image, int* status);
