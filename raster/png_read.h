// The PNG reader of the image loading dispatcher (decoder code 4).
//
// Reads a PNG file chunk by chunk, gathers the compressed image data in memory,
// inflates it with the core's Deflate decoder, undoes the row filters and the Adam7
// interlacing, and writes 8-bit palette, grey or RGB lines into the image record.
// Alpha channels are dropped; 16-bit samples are refused.
//
// Contract (that of every decoder row of the dispatcher): the record comes with its
// file object, decoder code, identity lookup tables and gamma -1.0 already set. The
// reader fills bits per sample, samples per pixel, the pixel kind (15), the lookup
// tables of grey and palette images, the transparent value, the gamma and the
// resolution, allocates the image (store mode 2) and writes every line. It returns 0;
// 2 when the file cannot be opened; 3 for 16-bit samples or a critical chunk it does
// not know (the image is decoded all the same); 14 for a bad signature, header, chunk
// length or image data, or missing IHDR, IDAT or IEND; 1 when the image is too large
// for memory. gblerr is clear on return; the record is left to the caller.
//
// Files: png_read.cpp (chunk loop, inflating, the result), png_chunks.cpp (one handler
// per chunk type, in a table), png_rows.cpp (row geometry, filters, unpacking, Adam7).
#pragma once

struct bitmap_t;

constexpr int kPngPixelKind = 15;

int png_read(bitmap_t* image);
