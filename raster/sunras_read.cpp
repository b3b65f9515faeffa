// Placeholder until the reader lands: every file is unsupported.
#include "raster/sunras_read.h"
#include "core/error.h"
int sunras_read(bitmap_t*) { return ERR_UNKNOWN_FORMAT; }
