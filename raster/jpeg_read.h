// The JPEG reader of the image loading dispatcher (decoder code 1).
//
// Decodes baseline and extended sequential Huffman files (SOF0, SOF1, 8- and 12-bit)
// and progressive Huffman files (SOF2) of one to four components: JFIF, JFXX, SPIFF,
// Adobe and Exif files. One table-driven marker automaton walks the file; its actions
// are the segment parsers and the scan decoders. The other coding processes (lossless,
// hierarchical, arithmetic) are refused with a line in the trace log
// ("image <name> : JPEG ... non traite") and leave no bitmap.
//
// Contract (that of every decoder row of the dispatcher): the record comes with its file
// object, decoder code, identity lookup tables and gamma -1.0 already set. The reader
// fills bits per sample (the frame's precision), samples per pixel (1 grey, 3 colour; a
// four-component file gives 3: its CMYK or YCCK samples become red, green and blue), the
// pixel kind (3 JFIF, 4 SPIFF, 27 Exif), the resolution, the grey lookup tables, the
// photo's EXIF records, and the lines (one plane per output channel). 12-bit samples are
// brought to 8 bits. The bitmap is created (store mode 2) by the first frame header.
//
// jpeg_read returns 2 when the file cannot be opened, else 0: a decoding error (bad
// segment, bad coded data, end of the file, a refused process, an image too large for
// memory) ends the decoding and keeps the lines written so far; lines never reached are
// 0. gblerr is clear on return. The caller's status is not used.
#pragma once

struct bitmap_t;
struct container_t;

constexpr int kJpegDecoderCode = 1;

int jpeg_read(bitmap_t* image, int* status);
