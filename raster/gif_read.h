#pragma once
struct bitmap_t;
struct container_t;
int gif_read(bitmap_t** image, container_t* list);
