// Placeholder until the reader lands: every file is unsupported.
#include "raster/tiff_read.h"
#include "core/error.h"
int tiff_read(bitmap_t**, container_t*, int) { return ERR_UNKNOWN_FORMAT; }
