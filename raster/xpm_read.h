// The XPM reader of the image loading dispatcher (decoder code 5).
//
// An XPM file is C source: double-quoted strings inside a brace-delimited array, with
// slash-star comments. A text automaton, driven by a table of byte classes and a
// transition table, skips the comments and collects each string; the strings are, in
// order: the values (width, height, number of colours, characters per pixel, and
// "XPMEXT" when extensions follow), one string per colour (its pixel characters, then
// pairs of a key and a colour), one string per line of pixels.
//
// Colours: of the keys "c", "g", "g4", "m" and "s" the one of highest priority (in that
// order) gives the colour; a value may hold spaces ("light blue"). "#" followed by 3, 6,
// 9 or 12 hexadecimal digits (1 to 4 per component) is scaled to 8 bits; "None" makes
// the colour the transparent value, shown white; any other value is a colour name of the
// system's colour dictionary (xpm_colour_names.inc), compared in lower case without
// spaces. An unknown name shows black. Pixels whose characters name no colour take
// colour 0, and a line shorter than the width ends with colour 0.
//
// Contract (that of every decoder row of the dispatcher): the record comes with its file
// object, decoder code, identity lookup tables and gamma -1.0 already set. The reader
// fills bits per sample (8), samples per pixel (1), the pixel kind (16), the lookup
// tables and the transparent value, allocates the image (store mode 2) and writes every
// line. It returns 0; 2 when the file cannot be opened; 3 for more than 256 colours; 7
// for a first string that is not the values (pixels before the values); 14 for values
// out of range, a string not closed on its line, a file that ends before the last line
// of pixels, or fewer bytes than the announced colours and lines need (checked before
// the image is allocated); 1 when the image is too large for memory. gblerr is clear on
// return; the record is left to the caller.
#pragma once
#include <cstdint>

struct bitmap_t;

constexpr int kXpmPixelKind = 16;
constexpr int kXpmMaxColours = 256;

int xpm_read(bitmap_t* image);

// The colour of a name of the colour dictionary (case and spaces ignored); false when
// the dictionary lacks it.
bool xpm_colour_by_name(const char* name, uint8_t rgb[3]);
