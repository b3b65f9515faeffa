// The Sun raster reader of the image loading dispatcher (decoder code 13).
//
// A 32-byte big-endian header, an optional colour map, then rows padded to an even
// number of bytes: 1 bit per pixel (most significant bit first), 8-bit palette or
// grey indices, or 24 and 32-bit colour pixels (blue, green, red for the old and
// standard types, red, green, blue for the RGB type; a 32-bit pixel starts with a pad
// byte that is skipped). The byte-encoded type (8 bits only) runs 0x80 escapes over
// the whole image. An RGB map fills the red, green and blue tables from its three
// thirds, a raw map fills all three from its bytes; without a map 8-bit images are
// grey and 1-bit images show 0 as white and 1 as black.
//
// Contract (that of every decoder row of the dispatcher): the record comes with its
// file object, decoder code, identity lookup tables and gamma -1.0 already set. The
// reader fills bits per sample (the file's depth), samples per pixel (1), the pixel
// kind (28) and the lookup tables, allocates the image (store mode 2, one plane up to
// 8 bits, three above) and writes every line. It returns 0; 2 when the file cannot be
// opened; 3 for a type above 3, a colour map type above 2, a depth other than 1, 8,
// 24 or 32, or a byte-encoded image not of depth 8; 14 for a short file, a zero size,
// a colour map or pixel data that the file does not hold, or byte-encoded data that
// ends before the image; 1 when the image is too large for memory. gblerr is clear on
// return; the record is left to the caller.
#pragma once

struct bitmap_t;

constexpr int kSunRasterPixelKind = 28;

int sunras_read(bitmap_t* image);
