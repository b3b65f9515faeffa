// The SGI image reader of the image loading dispatcher (decoder code 43).
//
// A 512-byte big-endian header, then 8-bit channels stored verbatim (each channel's
// rows one after another, bottom row first) or run-length coded (a table of row
// offsets and a table of row lengths, one entry per row per channel, then the coded
// rows wherever the tables point). One channel gives a grey image, three an RGB image,
// four RGB and a fourth plane (channels past the fourth are not read). A dithered
// image (colour map id 1) holds one byte per pixel, split into three planes of its raw
// bit fields: bits 0-2, bits 3-5 and bits 6-7.
//
// Contract (that of every decoder row of the dispatcher): the record comes with its
// file object, decoder code, identity lookup tables and gamma -1.0 already set. The
// reader fills bits per sample (8), samples per pixel (the planes), the pixel kind (36
// verbatim, 37 run-length), allocates the image (store mode 2) and writes every line.
// It returns 0; 2 when the file cannot be opened; 3 for a storage above 1, samples of
// other than one byte, two channels, or colour map id 3 or above; 14 for a file
// shorter than the header, a dimension outside 1..3, a zero size, pixel data or line
// tables that the file does not hold, or a table entry pointing outside the file; 1
// when the image is too large for memory. gblerr is clear on return; the record is
// left to the caller.
#pragma once

struct bitmap_t;

constexpr int kSgiVerbatimPixelKind = 36;
constexpr int kSgiRlePixelKind = 37;

int sgi_read(bitmap_t* image);
