#pragma once
struct bitmap_t;
struct container_t;
int tga_read(bitmap_t* image);
