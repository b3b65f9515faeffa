// The PCX reader of the image loading dispatcher (decoder code 12).
//
// Run-length coded lines of one to four bit planes of 1, 2 or 4 bits (the planes'
// bits make up a palette index), or of one or three planes of 8 bits (palette indices,
// or red, green and blue). The 16-colour palette of the header, or the 256-colour
// palette at the end of a version 5 file, fills the lookup tables; a monochrome image
// shows its set pixels white.
//
// Contract (that of every decoder row of the dispatcher): the record comes with its
// file object, decoder code, identity lookup tables and gamma -1.0 already set. The
// reader fills bits per sample, samples per pixel, the pixel kind (26), the resolution
// and the lookup tables, allocates the image (store mode 2) and writes every line. It
// returns 0; 2 when the file cannot be opened; 3 for an encoding above 1 or a plane
// layout it does not decode; 14 for a short file, a bad size or bytes per line, or
// data that ends before the last line; 1 when the image is too large for memory.
// gblerr is clear on return; the record is left to the caller.
#pragma once

struct bitmap_t;

constexpr int kPcxPixelKind = 26;

int pcx_read(bitmap_t* image);
