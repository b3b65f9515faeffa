#pragma once
struct bitmap_t;
struct container_t;
int sgi_read(bitmap_t* image);
