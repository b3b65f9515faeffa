#pragma once
struct bitmap_t;
struct container_t;
int xpm_read(bitmap_t* image);
