#pragma once
struct bitmap_t;
struct container_t;
int sunras_read(bitmap_t* image);
