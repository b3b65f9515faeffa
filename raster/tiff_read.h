// The TIFF reader of the image loading dispatcher (decoder code 3).
//
// Reads the directory chain of a TIFF file, makes one image record per usable page and
// decodes strips or tiles into it, all at once or one strip (tile row) on demand.
// Decoded: uncompressed, PackBits, LZW with or without the horizontal predictor, and
// CCITT Group 4 (through tiff_g4_decode); pages stored chunky or plane by plane, in
// strips or tiles; 1, 4, 8 and 16-bit samples (16-bit samples give their high byte);
// bilevel, grey (WhiteIsZero and BlackIsZero), palette, RGB (alpha dropped), CMYK
// (turned into RGB), and YCbCr and CIELab samples as they are; orientations 1 to 8
// (5 to 8 decoded whole and turned, so that the image is upright). The directory walk
// hands Make, Model and the Exif and GPS directories to the EXIF reader and the tags
// above 33432 to the GeoTIFF reader.
//
// Contract (that of the dispatcher's decoder rows): *image is a record with its file
// object, decoder code, identity tables and gamma -1.0. A record without reader state
// is a first load: the file structure is read, each usable page becomes a record (a
// header copy of *image) with its reader state, numbered from 1 when there are several,
// and put in `list` (when given); the first page replaces *image (the record given is
// freed). Reduced-resolution subfiles are skipped. Pages get line-store mode 2 when
// `requested_line` is -2 (every line is then decoded) and mode 3 otherwise (lines
// decoded on demand; pages of orientation 5 to 8 are decoded and turned at once and keep
// mode 2). A record with reader state is a second decode: -2 decodes every line not in
// memory, a line >= 0 decodes the strip or tile row holding it (fresh stores are
// allocated when the record has none), -1 nothing.
//
// Returns 0; 2 when the file cannot be opened; 3 for an unsupported variant (MH, Group
// 3, JPEG, Deflate or an unknown compression, the floating-point predictor, subsampled
// YCbCr, other sample sizes) when a line is decoded; 14 for a bad header, directory or
// strip data; 1 when memory is short. When no page is usable the code that discarded
// the pages is returned (14 when none gave one). A page's directory with an error is
// discarded; a circular directory chain ends at the first directory seen again.
// gblerr is clear on return.
//
// Files: tiff_read.cpp (this entry, the page list, on-demand lines, turned pages),
// tiff_dir.cpp (the tag table and page checks), tiff_rows.cpp (strip and tile rows,
// predictor, unpacking), tiff_chunks.cpp (uncompressed, PackBits and LZW row sources).
#pragma once

struct bitmap_t;
struct container_t;

int tiff_read(bitmap_t** image, container_t* list, int requested_line);

// The image viewer's variant: the same reader whose directory walk takes the tags below
// 533 and the Exif directory only (no GPS directory, no GeoTIFF tags, no georeference).
int tiff_read_viewer(bitmap_t** image, container_t* list, int requested_line);
