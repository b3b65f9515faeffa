// How the image decoders that read their file through the buffered reader open it,
// run and close it, so that each decoder holds only its own reading.
#pragma once
#include <cstdint>

struct bitmap_t;

// Opens the image's file as the reader's current file with a buffer of buffer_size
// bytes, runs `decode` on the image, then closes the file; gblerr is left clear. Returns
// what decode returned, ERR_BAD_FILE without an image, ERR_FILE_ACCESS when the file
// cannot be opened.
int decode_image_file(bitmap_t* image, int64_t buffer_size, int (*decode)(bitmap_t* image));
