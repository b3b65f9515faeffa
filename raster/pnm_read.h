// The PNM reader of the image loading dispatcher (decoder codes 6 to 11): P1 to P6, the
// bitmaps, grey maps and colour images of the portable formats, in their ASCII and
// binary forms. The decoder code gives the variant; the pixel kind is the code + 12.
//
//   kind  magic  content            stored                    lookup tables
//   18    P1     ASCII bitmap       one byte per pixel, 0/1   0 white, 1 black
//   19    P2     ASCII grey map     the value (see below)     i -> i x 255 / maxval
//   20    P3     ASCII colour       three planes of 8 bits
//   21    P4     binary bitmap      as P1 (8 pixels a byte, each line a new byte)
//   22    P5     binary grey map    as P2
//   23    P6     binary colour      as P3
//
// Header: the magic, then blank-separated words (width, height and, except for bitmaps,
// maxval), '#' starting a comment to the end of its line. Colour samples are scaled to
// value x 255 / maxval. A maxval above 255 (up to 65535) has two-byte big-endian samples
// in the binary forms; grey values are then scaled to 8 bits too and the tables are the
// identity. An ASCII value above maxval counts as maxval.
//
// Contract (that of every decoder row of the dispatcher): the record comes with its
// file object, decoder code, identity lookup tables and gamma -1.0 already set. The
// reader fills bits per sample (1, 8 or 24), samples per pixel, the pixel kind and the
// lookup tables, allocates the image (store mode 2) and writes every line. It returns
// 0; 2 when the file cannot be opened; 12 for a pixel kind outside 18..23; 14 for a
// magic that is not that of the kind, a bad width, height or maxval (0 or above
// 65535), a bad pixel value, or data that ends before the last pixel (binary data is
// measured before the image is allocated); 1 when the image is too large for memory.
// gblerr is clear on return; the record is left to the caller.
#pragma once

struct bitmap_t;

constexpr int kPnmFirstPixelKind = 18;  // P1; P6 is 23

int pnm_read(bitmap_t* image, int pixel_kind);
