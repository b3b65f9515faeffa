// Placeholder until the reader lands: every file is unsupported.
#include "raster/jpeg_read.h"
#include "core/error.h"
int jpeg_read(bitmap_t*, int*) { return ERR_UNKNOWN_FORMAT; }
