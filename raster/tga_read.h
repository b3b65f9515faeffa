// The TGA reader of the image loading dispatcher (decoder code 14).
//
// An 18-byte little-endian header, an image id, a colour map, then the pixels raw or
// run-length coded (a packet byte whose low 7 bits plus 1 count pixels: one pixel
// repeated when its high bit is set, else that many pixels). Palette images (types 1
// and 9) keep their index, masked to the pixel depth; grey images (3 and 11) scale
// samples shorter than 8 bits to 0..255; true-colour images (2 and 10) are 24-bit blue,
// green, red or 15/16-bit 5-5-5. The origin corner (descriptor bits 4-5) sets the
// order of rows and columns. When the file ends in the "TRUEVISION-XFILE." footer,
// its extension area gives the key colour (the transparent value) and the gamma.
//
// Before anything else the file is tested: it is taken as TGA when it ends in the
// footer, or when its header is plausible (colour map type below 2, a known image
// type, at most 256 map entries with a non-zero entry size, header, id and map in the
// file, a pixel depth without its alpha bits of 1 to 32); a file that fails is refused
// with 2.
//
// Contract (that of every decoder row of the dispatcher): the record comes with its
// file object, decoder code, identity lookup tables and gamma -1.0 already set. The
// reader fills bits per sample (the pixel depth), samples per pixel (1), the pixel
// kind (29), the lookup tables, the transparent value and the gamma, allocates the
// image (store mode 2, one plane or three) and writes every line. It returns 0; 2 when
// the file cannot be opened or fails the test; 3 for another image type, more than
// 256 map entries, a map without entry size, a zero size, a depth outside 1..24 (above
// 8 for palette and grey images, other than 15, 16 or 24 for true colour) or a colour
// map type above 1; 14 for a map entry size above 32, a header, id or map that the file
// does not hold, or pixel data that ends before the image; 1 when the image is too
// large for memory. gblerr is clear on return; the record is left to the caller.
#pragma once

struct bitmap_t;

constexpr int kTgaPixelKind = 29;

int tga_read(bitmap_t* image);
