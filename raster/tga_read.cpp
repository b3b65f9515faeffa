// Placeholder until the reader lands: every file is unsupported.
#include "raster/tga_read.h"
#include "core/error.h"
int tga_read(bitmap_t*) { return ERR_UNKNOWN_FORMAT; }
