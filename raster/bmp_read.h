// The BMP reader of the image loading dispatcher (decoder code 19).
//
// Windows bitmaps with the 40-byte header: 1, 4 and 8 bits per pixel through a palette,
// 16 and 32 bits through bit masks (given by the file or the defaults 5-5-5 and
// 8-8-8), 24 bits as blue, green, red; rows bottom-up or top-down; RLE8 and RLE4 with
// their escapes, deltas and literal runs, every run cut at the image's bounds.
//
// Contract (that of every decoder row of the dispatcher): the record comes with its
// file object, decoder code, identity lookup tables and gamma -1.0 already set. The
// reader fills bits per sample, samples per pixel, the pixel kind (0 uncompressed,
// 1 RLE, 2 bit fields), the resolution and the palette's lookup tables, allocates the
// image (store mode 2, one plane up to 8 bits, else three) and writes every line. It
// returns 0; 2 when the file cannot be opened; 3 for another header size or a
// compression above 3; 14 for a short file, a bad size, bit depth or compression
// combination, or RLE data that ends before the image; 1 when the image is too large
// for memory. gblerr is clear on return; the record is left to the caller.
//
// Files: bmp_read.cpp (header, palette, uncompressed rows), bmp_rle.cpp (RLE8, RLE4).
#pragma once

struct bitmap_t;

int bmp_read(bitmap_t* image);
